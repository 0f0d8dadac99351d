// The OpenGL colour of a geometry: the one place where the geometry library
// talks to OpenGL, so that everything else in it stays free of a context.

#include "geometry/ParametricGeometry.h"
#include "platform/GLContext.h"

#include <GL/gl.h>

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
