#pragma once
// The facets around each vertex of a mesh, in one table, for walking the
// mesh from facet to facet across the sides they share (the part of the
// mesh a face encloses: net/FaceMeshDistance.cpp). Built in one pass over
// the mesh's facets; a walk then reads plain arrays, not the mesh.
//
// Ownership: plain values, a copy of the mesh's corner indices as they were
// when built (later changes of its facets are not seen).
// Thread-safety: building reads the mesh through its facet operations (one
// caller per mesh); the built table is only read.

#include "mesh/BaseMesh.h"

#include <span>
#include <vector>

namespace Mesh {

class CVertexFacets {
public:
    // The table of facets 0 .. getFacetCount() - 1 around vertices
    // 0 .. getVertexCount() - 1; a corner index outside that range is left
    // out of both (its facet keeps its other corners).
    explicit CVertexFacets(CBaseMesh& mesh);

    int vertexCount() const { return int(vertexStart.size()) - 1; }
    int facetCount() const { return int(facetStart.size()) - 1; }
    // The facet's corners in order; empty for a facet outside the table.
    std::span<const int> corners(int facet) const;
    // The facets with the vertex for a corner, ascending; empty for a
    // vertex outside the table.
    std::span<const int> around(int vertex) const;
    // out (emptied first) := the facets other than `facet` that have both a
    // and b for corners: those across the side a-b, ascending (more than one
    // where the mesh is not manifold).
    void across(int facet, int a, int b, std::vector<int>& out) const;

private:
    std::vector<int> facetStart,
        cornerList; // facet f's corners: [facetStart[f], facetStart[f + 1])
    std::vector<int> vertexStart,
        facetList; // vertex v's facets: [vertexStart[v], vertexStart[v + 1])
};

} // namespace Mesh
