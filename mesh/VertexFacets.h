#pragma once
// The facets around each vertex of a mesh, in one table, for walking the
// mesh from facet to facet across the sides they share (the part of the
// mesh a face encloses: net/FaceMeshDistance.cpp). Built in one pass over
// the mesh's facets and kept with the mesh (CVertexFacets::of), so that
// every walk over the same mesh reads the same table: a walk then reads
// plain arrays, not the mesh, and costs what it visits.
//
// A walk keeps what it visited as marks (a value per vertex and per facet
// it met), in tables of the walk's own size that startWalk empties at once:
// neither the marks nor their clearing cost the mesh's size.
//
// Ownership: plain values, a copy of the mesh's corner indices as they were
// when built (CVertexFacets::of builds anew when the mesh's facets or
// geometry have changed since).
// Thread-safety: building reads the mesh through its facet operations, and
// the marks are the walk's scratch: one caller per mesh at a time.

#include "mesh/BaseMesh.h"

#include <cstdint>
#include <span>
#include <vector>

namespace Mesh {

class CVertexFacets {
public:
    // The table of facets 0 .. getFacetCount() - 1 around vertices
    // 0 .. getVertexCount() - 1; a corner index outside that range is left
    // out of both (its facet keeps its other corners).
    explicit CVertexFacets(CBaseMesh& mesh);

    // The mesh's table (CBaseMesh::vertexFacets), built when the mesh has
    // none or its facets, vertices or geometry changed since it was built.
    static CVertexFacets& of(CBaseMesh& mesh);

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

    // Starts a walk: every mark reads -1 again.
    void startWalk();
    // The mark of a vertex or a facet in the walk, -1 until set (a value
    // set must not be -1).
    int vertexMark(int vertex) const { return vertexMarks.get(vertex); }
    int facetMark(int facet) const { return facetMarks.get(facet); }
    void setVertexMark(int vertex, int value) { vertexMarks.set(vertex, value); }
    void setFacetMark(int facet, int value) { facetMarks.set(facet, value); }

private:
    // Values by key for one walk: open addressing (linear probing, at most
    // half full), each slot counting in the walk whose number it holds, so
    // that a new walk empties the table without touching it. Grows with the
    // largest walk, never with the mesh.
    class Marks {
    public:
        int get(int key) const;
        void set(int key, int value);
        void clear();

    private:
        struct Slot {
            std::uint32_t walk = 0;
            int key = 0, value = -1;
        };
        std::vector<Slot> slots;
        std::uint32_t walk = 1;
        std::size_t used = 0;
        std::size_t slotOf(int key) const;
        void grow();
    };

    std::vector<int> facetStart,
        cornerList; // facet f's corners: [facetStart[f], facetStart[f + 1])
    std::vector<int> vertexStart,
        facetList; // vertex v's facets: [vertexStart[v], vertexStart[v + 1])
    // What the table was built from: the mesh's geometry version and counts.
    std::uint64_t version = 0;
    int meshFacets = 0, meshVertices = 0;
    Marks vertexMarks, facetMarks;
};

} // namespace Mesh
