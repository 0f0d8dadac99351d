#include "geometry/Edge.h"

#include "geometry/ParametricGeometry.h"

CEdge::~CEdge()
{
    delete curve;
}

CEdgeLoop::~CEdgeLoop()
{
    edges.deleteAll();
}
