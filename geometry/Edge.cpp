#include "geometry/Edge.h"

#include "geometry/ParametricGeometry.h"

CEdge::~CEdge()
{
    delete curve;
}

CLoop::~CLoop()
{
    edges.deleteAll();
}
