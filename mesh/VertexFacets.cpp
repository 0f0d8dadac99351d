// The facets around each vertex of a mesh (see the header).
#include "mesh/VertexFacets.h"

#include <algorithm>

namespace Mesh {

CVertexFacets::CVertexFacets(CBaseMesh& mesh)
{
    const int facets = std::max(mesh.getFacetCount(), 0);
    const int vertices = std::max(mesh.getVertexCount(true), 0);
    facetStart.assign(std::size_t(facets) + 1, 0);
    vertexStart.assign(std::size_t(vertices) + 1, 0);
    for (int f = 0; f < facets; ++f) {
        const int size = mesh.getFacetSize(f);
        for (int k = 0; k < size; ++k)
            if (const int v = mesh.getPolygonVertexIndex(f, k); v >= 0 && v < vertices) {
                cornerList.push_back(v);
                ++vertexStart[std::size_t(v) + 1];
            }
        facetStart[std::size_t(f) + 1] = int(cornerList.size());
    }
    for (int v = 0; v < vertices; ++v)
        vertexStart[std::size_t(v) + 1] += vertexStart[std::size_t(v)];
    // Facets in ascending order around each vertex: the facets are visited
    // in order. A facet with a corner twice is listed twice there.
    facetList.resize(cornerList.size());
    std::vector<int> next(vertexStart.begin(), vertexStart.end() - 1);
    for (int f = 0; f < facets; ++f)
        for (int v : corners(f))
            facetList[std::size_t(next[std::size_t(v)]++)] = f;
}

std::span<const int> CVertexFacets::corners(int facet) const
{
    if (facet < 0 || facet >= facetCount())
        return {};
    return {cornerList.data() + facetStart[std::size_t(facet)],
            cornerList.data() + facetStart[std::size_t(facet) + 1]};
}

std::span<const int> CVertexFacets::around(int vertex) const
{
    if (vertex < 0 || vertex >= vertexCount())
        return {};
    return {facetList.data() + vertexStart[std::size_t(vertex)],
            facetList.data() + vertexStart[std::size_t(vertex) + 1]};
}

void CVertexFacets::across(int facet, int a, int b, std::vector<int>& out) const
{
    out.clear();
    for (int g : around(a)) {
        if (g == facet || (!out.empty() && out.back() == g))
            continue;
        const std::span<const int> c = corners(g);
        if (std::find(c.begin(), c.end(), b) != c.end())
            out.push_back(g);
    }
}

} // namespace Mesh
