#include "display/entities/OpenGLSasSurf.h"

#include <GL/gl.h>

#include <algorithm>

#include "curves/SurfaceBoundaryDrawing.h"
#include "display/ColorCoding.h"
#include "geometry/NurbsSurf.h"

namespace {

constexpr int kRecord = 6; // floats per error point
constexpr int kBoundaryCurves = 0x200;
constexpr int kIsoLines = 0x3;
constexpr int kControlNet = 0x8;

void setDepthTest(bool on)
{
    if (on)
        glEnable(GL_DEPTH_TEST);
    else
        glDisable(GL_DEPTH_TEST);
}

bool hasControlPoints(const Fenwo::NurbsSurf& s)
{
    return s.controlNet != nullptr && s.controlNetSize > 0 && !s.controlNet[0].empty();
}

} // namespace

COpenGLSasSurf::COpenGLSasSurf(const char* name, Fenwo::NurbsSurf* surface_, float r, float g,
                               float b, float a, bool shaded_, bool controlNet_, bool depthTest_)
    : surface(surface_), shaded(shaded_), controlNet(controlNet_), depthTest(depthTest_)
{
    // The shaded drawing outlines the surface with its boundary curves.
    installBoundaryCurveDrawing();
    setRgba(r, g, b, a);
    setName(name);
}

void COpenGLSasSurf::setColour(float r, float g, float b, float a)
{
    setRgba(r, g, b, a);
    setDirty();
}

void COpenGLSasSurf::compileCommands()
{
    pushAttrib();
    if (surface != nullptr && hasControlPoints(*surface)) {
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
        glShadeModel(GL_SMOOTH);
        glDisable(GL_CULL_FACE);
        glLineWidth(1.0f);
        static const GLfloat ambient[4] = {0.9f, 0.9f, 0.2f, 1.0f};
        static const GLfloat diffuse[4] = {0.7f, 0.7f, 0.7f, 1.0f};
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
        glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
        glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 50.0f);
        glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 1);
        const int nU = surface->getUCount(), nV = surface->getVCount();
        if (shaded) {
            setDepthTest(depthTest);
            glEnable(GL_LIGHTING);
            surface->drawShaded(7, 7, 15000);
            if (!depthTest) {
                glDisable(GL_LIGHTING);
                glDisable(GL_DEPTH_TEST);
                glColor3f(0.498f, 1.0f, 0.0f);
                surface->render(2 * nU, 2 * nV, std::max(nU, nV), kBoundaryCurves, 0.498f, 1.0f,
                                0.0f, 0.5f);
            }
        } else if (!controlNet) {
            glDisable(GL_LIGHTING);
            glColor3f(1.0f, 1.0f, 0.0f);
            surface->render(5, 5, 30, kIsoLines, 0.9f, 0.9f, 0.0f, 0.5f);
        }
        if (controlNet) {
            glDisable(GL_LIGHTING);
            setDepthTest(depthTest);
            surface->render(1, 1, 1, kControlNet, 0.9f, 0.9f, 0.0f, 0.5f);
        }
    }
    if (surface != nullptr && surface->isCurve()) {
        glColor3fv(colour);
        setDepthTest(depthTest);
        glDisable(GL_LIGHTING);
        glLineWidth(2.0f);
        surface->draw(0.01, true, 0);
        glLineWidth(1.0f);
    }
    const int records = errorPoints.count / kRecord;
    if (showErrorPoints && colourMap != nullptr && records > 0) {
        glPointSize(3.0f);
        glDisable(GL_LIGHTING);
        float rgba[4];
        glBegin(GL_POINTS);
        for (int k = 0; k < records; ++k) {
            const float* e = errorPoints.data + kRecord * k;
            colourMap->getColour(rgba, e[2], colourMap->minimum, colourMap->maximum);
            glColor4fv(rgba);
            glVertex3f(e[3], e[4], e[5]);
        }
        glEnd();
    }
    popAttrib();
}
