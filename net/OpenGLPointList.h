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

    // The display of pl, keyed by pl (displayKeyOf; its own key without one).
    explicit COpenGLPointList(COffset_PointList* pl);
    ~COpenGLPointList() override;

    // Stores the switch and recompiles.
    void applyDepthTest(bool on) override;
    // The list (compiled when dirty), then, unless hidden, a lit sphere at
    // every point of the poly-line but the grid's selected and highlighted
    // points, sized by the current view (pixelSize() / 200 x 0.75) on every
    // redraw, so zooming needs no new list. The OpenGL state is restored.
    unsigned int draw() override;

protected:
    // The poly-line's curve (built first when it has none) as a line of width
    // 2 in the line colour, or in (0.596, 0.984, 0.196) while a point is
    // being dragged, faceted within min(0.01, pixelSize() / 5000).
    void compileCommands() override;

private:
    // The colour of the points: the third colour when asked, else the
    // vertex colour.
    const float* pointColour() const { return useMarkerColour ? markerColour : vertexColour; }
};

class COpenGLVertexList : public COpenGLEntity {
public:
    bool depthTest = false;

    // Stores the switch and recompiles.
    void applyDepthTest(bool on) override;
};
