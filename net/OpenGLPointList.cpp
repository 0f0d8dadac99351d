#include "net/OpenGLPointList.h"

#include <GL/glu.h>

#include <cstdint>

COpenGLPointList::COpenGLPointList(COffset_PointList* pl) : pointList(pl), quadric(gluNewQuadric())
{
    if (pl != nullptr)
        key = reinterpret_cast<std::intptr_t>(pl);
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
