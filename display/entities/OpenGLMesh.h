// COpenGLMesh: the display entity of a loaded mesh. It compiles the mesh's
// own drawing (lit, flat-shaded, in the entity's front and back colours) into
// its display list, and draws a list of highlighted facets on every redraw
// outside the list, so that highlighting never recompiles the mesh. A mesh
// of more than kListedFacets facets is drawn straight on every redraw
// instead: the driver keeps a list's vertices twice (about 170 bytes a
// facet), and compiling one costs as much as several straight drawings,
// while a headless view draws only when its pixels are read.
//
// Ownership: the mesh is not owned; it must outlive the entity. Destroying
// the entity sets the mesh's modified flag, so that the mesh rebuilds its own
// display when it is drawn again.
// Thread-safety: none; draw inside a view's drawing.
#pragma once

#include "display/OpenGLEntity.h"
#include "foundation/KorList.h"

namespace Mesh {
class CBaseMesh;
}

class COpenGLMesh : public COpenGLEntity {
public:
    static constexpr int kListedFacets = 500000;

    Mesh::CBaseMesh* mesh; // not owned
    float frontColour[4] = {0.f, 0.f, 0.f, 1.f};
    float backColour[4] = {0.f, 0.f, 0.f, 1.f};
    Kor::List<int> highlight; // facets drawn highlighted on every redraw
    bool drawMesh = true;
    int meshDrawMode = 8;
    bool highlightOnly = false; // only the highlighted facets are drawn
    int pointSize = 1;

    // Keyed by the mesh (displayKeyOf; 0 without one), depth-tested; name
    // becomes the entity's name.
    COpenGLMesh(const char* name, Mesh::CBaseMesh* mesh, float fr, float fg, float fb, float fa,
                float br, float bg, float bb, float ba);
    ~COpenGLMesh() override;

    // Transformed when asked; unless highlightOnly the list protocol of the
    // entity (compiling the mesh when dirty), or for a mesh drawn straight
    // (above) its drawing unless hidden; then the highlighted facets (mode
    // 8, 264 when highlightOnly) without depth test. Returns the OpenGL
    // error code.
    unsigned int draw() override;

protected:
    // Forces front polygons filled (printing "OpenGL forcing:GL_FILL " when
    // they were not), sets the lighting and materials and draws the mesh
    // with meshDrawMode.
    void compileCommands() override;
};
