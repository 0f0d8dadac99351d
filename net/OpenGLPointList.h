// The display entities the grid makes: COpenGLPointList, the drawable of one
// poly-line (its line, its vertices and their markers), and
// COpenGLVertexList, a drawable of grid points with a depth-test switch.
//
// Ownership: the entity refers to its poly-line without owning it; it owns a
// GLU quadric (made at construction, freed by the destructor). The container
// that stores the entity owns it.
// Thread-safety: none; draw inside a view's drawing.
#pragma once

#include "display/OpenGLEntity.h"

class COffset_PointList;
class GLUquadric;

class COpenGLPointList : public COpenGLEntity {
public:
    float lineColour[4] = {0.f, 0.f, 0.f, 1.f};
    float vertexColour[4] = {0.f, 0.f, 0.f, 1.f};
    float markerColour[4] = {0.f, 0.f, 0.f, 1.f}; // the third colour
    COffset_PointList* pointList;                 // not owned
    bool depthTest = false;
    GLUquadric* quadric; // owned
    float lineWidth = 1.f;
    bool onTop = false;        // drawn over everything (the current poly-line)
    bool drawVertices = false; // its points as well as its line
    float vertexSize = 1.f;    // point size of the vertices
    bool vertexDepthTest = false;
    bool useMarkerColour = false; // the vertices' markers take the third colour

    // The display of pl, keyed by pl (by its own address without one).
    explicit COpenGLPointList(COffset_PointList* pl);
    ~COpenGLPointList() override;

    // Stores the switch and recompiles.
    void applyDepthTest(bool on) override;

protected:
    // The poly-line's drawing comes with the poly-line display; until then
    // the entity draws nothing.
    void compileCommands() override {}
};

class COpenGLVertexList : public COpenGLEntity {
public:
    bool depthTest = false;

    // Stores the switch and recompiles.
    void applyDepthTest(bool on) override;
};
