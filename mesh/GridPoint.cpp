#include "mesh/GridPoint.h"

#include "mesh/MeshGeometry.h"
#include "mesh/MeshProjection.h"

namespace Gridbench {

std::atomic<int> CGridPoint::nextSerial{0};

CGridPoint::CGridPoint() : serial(nextSerial.fetch_add(1)) {}

CGridPoint::CGridPoint(const Mesh::CBaseMesh::CBaseHitInfo& hit) : CGridPoint()
{
    CVertex<float, 3>::operator=(hit);
    normal = hit.normal;
    facet = hit.facet;
}

bool CGridPoint::getDirection1(CVector<float, 3>& out) const
{
    out = direction1;
    return direction1Set;
}

bool CGridPoint::getDirection2(CVector<float, 3>& out) const
{
    out = direction2;
    return direction2Set;
}

const CVector<float, 3>& CGridPoint::setDirection1(const CVector<float, 3>& v, bool set)
{
    direction1Set = set;
    direction1 = v;
    normalize(direction1);
    return direction1;
}

const CVector<float, 3>& CGridPoint::setDirection2(const CVector<float, 3>& v, bool set)
{
    direction2Set = set;
    direction2 = v;
    normalize(direction2);
    return direction2;
}

int CGridPoint::peekNextSerial()
{
    return nextSerial.load();
}

} // namespace Gridbench

bool nearestMeshPoint(Mesh::CBaseMesh* mesh, Gridbench::CGridPoint& point,
                      CVector<float, 3>& normal)
{
    if (mesh == nullptr)
        return false;
    Mesh::HitSet hits;
    if (!Mesh::meshHitsNearPoint(mesh, point, hits, 0.6, false) &&
        !Mesh::meshHitsNearPoint(mesh, point, hits, 1.75, false))
        return false;
    const Mesh::CBaseMesh::CBaseHitInfo& nearest = *hits.items[0];
    point.CVertex<float, 3>::operator=(nearest);
    point.facet = nearest.facet;
    normal = nearest.normal;
    return true;
}
