// COpenGLPoint: one point marker of the display (the selected point, the
// point found on a poly-line). It draws directly on every redraw instead of
// through a display list, so a sphere marker keeps its screen size at every
// zoom without recompiling.
//
// Ownership: a plain entity; the container that stores it owns it.
// Thread-safety: none; draw inside a view's drawing.
#pragma once

#include "display/OpenGLEntity.h"
#include "foundation/Vertex.h"

class COpenGLPoint : public COpenGLEntity {
public:
    CVertex<float, 3> point;
    double pointSize = 1.0;
    int shape = -1;         // -1 a plain point, else a sphere marker
    unsigned char flag = 0; // kept for the creator; the drawing does not read it

    // Copies the point and takes the colour (alpha kept in the entity's
    // alpha), the flag, the size and the shape; name becomes the entity's
    // name.
    COpenGLPoint(const char* name, const CVertex<float, 3>& position, float r, float g, float b,
                 float a, unsigned char flag, double size, int shape);

    // Copies the coordinates and marks the entity for recompilation.
    void setPosition(const CVertex<float, 3>& position);

    // Unless hidden: shape -1 a single point of the size and colour with depth
    // test and lighting off, any other shape a sphere marker (divisor 190,
    // depth test on unless depthTestOff). The OpenGL state is restored
    // afterwards. Returns the OpenGL error code.
    unsigned int draw() override;
};
