// Boundary frames, angles, slicing and the free-space test at a boundary
// edge of Mesh::CBaseMesh. In this build they answer "not supported"
// (false or 0), which every caller tests for.

#include "mesh/BaseMesh.h"

namespace Mesh {

double CBaseMesh::getBoundaryAngle(int)
{
    return 0.0;
}

double CBaseMesh::getVertexAngle(int, int, int, const Direction*)
{
    return 0.0;
}

bool CBaseMesh::getBoundaryEdgeFrameByVertices(int, int, Direction&, Direction&)
{
    return false;
}

bool CBaseMesh::getBoundaryVertexFrame(int, Direction&, Direction&)
{
    return false;
}

bool CBaseMesh::getBoundaryEdgeFrame(const CPolygonEdge&, Direction&, Direction&)
{
    return false;
}

bool CBaseMesh::slice(int, Kor::Set<Slice>&, const Kor::List<int>*, float, int)
{
    return false;
}

bool CBaseMesh::pickNearBoundaryEdge(const CPolygonEdge&, float, float)
{
    return false;
}

} // namespace Mesh
