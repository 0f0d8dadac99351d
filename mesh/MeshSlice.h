#pragma once
// Mesh::CBaseMesh::Slice: one crossing of the plane across the boundary at a
// boundary vertex with another boundary edge, as CBaseMesh::slice collects
// them. The crossing is given in the vertex's boundary frame: x along the
// frame's side vector (out of the mesh), y along its normal.
//
// Ownership: a slice refers to, but does not own, the crossed record of the
// mesh's edge table; the pointer is valid until the edge table is rebuilt.
// Slices are collected in an owning Kor::Set ordered by x (lessSliceX).
// Thread-safety: plain data, no shared state.

#include "mesh/BaseMesh.h"

namespace Mesh {

struct CBaseMesh::Slice {
    float x = 0.0f;               // along the slice vertex's side vector
    float y = 0.0f;               // along the slice vertex's normal
    float r = 0.0f;               // sqrt(x^2 + y^2)
    CPolygonEdge* edge = nullptr; // the crossed boundary edge (not owned)
    float t = 0.0f;               // crossing parameter, vertex0 (0) to vertex1 (1)

    virtual ~Slice() = default;
};

// The order of a slice set: a before b when a.x < b.x. Two slices with the
// same x are the same slice for the set.
inline bool lessSliceX(const CBaseMesh::Slice* a, const CBaseMesh::Slice* b)
{
    return a->x < b->x;
}

} // namespace Mesh
