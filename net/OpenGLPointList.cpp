#include "net/OpenGLPointList.h"

#include "display/Markers.h"
#include "display/ViewProjection.h"
#include "geometry/ParametricGeometry.h"
#include "net/OffsetGrid.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cstdint>

COpenGLPointList::COpenGLPointList(COffset_PointList* pl) : pointList(pl), quadric(gluNewQuadric())
{
    if (pl != nullptr)
        key = displayKeyOf(*pl);
}

COpenGLPointList::~COpenGLPointList()
{
    if (quadric != nullptr)
        gluDeleteQuadric(quadric);
}

void COpenGLPointList::applyDepthTest(bool on)
{
    depthTest = on;
    setDirty();
}

void COpenGLVertexList::applyDepthTest(bool on)
{
    depthTest = on;
    setDirty();
}

void COpenGLPointList::compileCommands()
{
    if (pointList == nullptr)
        return;
    pushAttrib();
    if (depthTest)
        glEnable(GL_DEPTH_TEST);
    else
        glDisable(GL_DEPTH_TEST);
    if (pointList->getCurve() == nullptr)
        pointList->interpolate();
    glDisable(GL_LIGHTING);
    glLineWidth(2.0f);
    static const float dragged[3] = {0.596f, 0.984f, 0.196f};
    glColor3fv(pointList->hasPending() ? dragged : lineColour);
    if (CParametricGeometry* curve = pointList->getCurve())
        curve->draw(std::min(0.01, pixelSize() / 5000.0), 1, 0);
    glColor3fv(pointColour());
    popAttrib();
}

unsigned int COpenGLPointList::draw()
{
    const unsigned int error = COpenGLEntity::draw();
    if (hidden || pointList == nullptr)
        return error;
    const COffset_Grid* grid = pointList->owner;
    pushAttrib();
    glPushAttrib(GL_ENABLE_BIT);
    for (const CVertex<float, 3>* v : pointList->vertices) {
        if (v == nullptr ||
            (grid != nullptr && (v == grid->selectedPoint || v == grid->highlightedPoint)))
            continue;
        drawSphereMarker(*v, pointColour(), 200.0, true);
    }
    glPopAttrib();
    popAttrib();
    return error != 0 ? error : glGetError();
}
