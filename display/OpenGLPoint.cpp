#include "display/OpenGLPoint.h"

#include <GL/gl.h>

#include "display/Markers.h"

namespace {
constexpr double kSphereDivisor = 190.0;
}

COpenGLPoint::COpenGLPoint(const char* name, const CVertex<float, 3>& position, float r, float g,
                           float b, float a, unsigned char flag_, double size, int shape_)
    : point(position), pointSize(size), shape(shape_), flag(flag_)
{
    setRgba(r, g, b, a);
    setName(name);
}

void COpenGLPoint::setPosition(const CVertex<float, 3>& position)
{
    point = position;
    setDirty();
}

unsigned int COpenGLPoint::draw()
{
    if (hidden)
        return glGetError();
    pushAttrib();
    if (shape == -1) {
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_LIGHTING);
        glPointSize(float(pointSize));
        glColor3fv(colour);
        glBegin(GL_POINTS);
        glVertex3fv(point.data);
        glEnd();
    } else {
        drawSphereMarker(point, colour, kSphereDivisor, !depthTestOff);
    }
    popAttrib();
    // Nothing is compiled: the point is drawn anew each time.
    dirty = false;
    return glGetError();
}
