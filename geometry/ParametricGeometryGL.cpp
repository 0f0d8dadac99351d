// The OpenGL colour of a geometry and the drawing of a curve as a line strip
// through its facet points.

#include "geometry/ParametricGeometry.h"
#include "platform/GLContext.h"

#include <GL/gl.h>

#include <iostream>

namespace {

// RGBA floats of a three-entry colour, alpha 1.
void toRgba(const Vector& c, GLfloat rgba[4])
{
    for (int k = 0; k < 3; ++k)
        rgba[k] = static_cast<GLfloat>(c[k]);
    rgba[3] = 1.0f;
}

} // namespace

void CParametricGeometry::setGLColour() const
{
    if (colour.n != 3 || !Platform::GLContext::isAnyCurrent())
        return;
    glColor3dv(colour.data);
    if (!isSurface())
        return;
    GLfloat front[4];
    toRgba(colour, front);
    if (bkColour.n != 3) {
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, front);
        return;
    }
    GLfloat back[4];
    toRgba(bkColour, back);
    glMaterialfv(GL_FRONT, GL_AMBIENT_AND_DIFFUSE, front);
    glMaterialfv(GL_BACK, GL_AMBIENT_AND_DIFFUSE, back);
}

void CParametricGeometry::draw(double tolerance, bool withColour, int n)
{
    if (!isCurve()) {
        std::cout << "render of base surfaces not supported" << std::endl;
        return;
    }
    Kor::List<double> parameters;
    facetCurve(parameters, tolerance, n != 0, 2000, false, false, -1.0);
    if (withColour)
        setGLColour();
    glBegin(GL_LINE_STRIP);
    for (int i = 0; i < parameters.count; ++i) {
        const Vector p = getPoint(parameters.data[i], 0.0);
        glVertex3d(p.n > 0 ? p[0] : 0.0, p.n > 1 ? p[1] : 0.0, p.n > 2 ? p[2] : 0.0);
    }
    glEnd();
}
