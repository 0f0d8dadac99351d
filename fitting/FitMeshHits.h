#pragma once
// Conversions between the fitting's Vectors and the mesh's float points and
// hit records, shared by the hit selection, the approximation on mesh hits
// and the adaptive refinement.
//
// Ownership: plain values. Thread-safety: no shared state.

#include "foundation/Vector.h"
#include "mesh/BaseMesh.h"

// The first three entries of v as the mesh's float point / direction.
inline Mesh::CBaseMesh::Point toMeshPoint(const Vector& v)
{
    return Mesh::CBaseMesh::Point(float(v[0]), float(v[1]), float(v[2]));
}
inline Mesh::CBaseMesh::Direction toMeshDirection(const Vector& v)
{
    return Mesh::CBaseMesh::Direction(float(v[0]), float(v[1]), float(v[2]));
}

// The hit's position and facet normal as 3-vectors.
inline Vector hitPosition(const Mesh::CBaseMesh::CBaseHitInfo& hit)
{
    return Vector(double(hit[0]), double(hit[1]), double(hit[2]));
}
inline Vector hitNormal(const Mesh::CBaseMesh::CBaseHitInfo& hit)
{
    return Vector(double(hit.normal[0]), double(hit.normal[1]), double(hit.normal[2]));
}

// The facet normal of the hit dotted with n (0 when n has fewer than 3 entries).
inline double facetNormalDot(const Mesh::CBaseMesh::CBaseHitInfo& hit, const Vector& n)
{
    if (n.n < 3)
        return 0.0;
    return hit.normal[0] * n[0] + hit.normal[1] * n[1] + hit.normal[2] * n[2];
}
