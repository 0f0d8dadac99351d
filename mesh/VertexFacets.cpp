// The facets around each vertex of a mesh (see the header).
#include "mesh/VertexFacets.h"

#include <algorithm>
#include <memory>

namespace Mesh {

CVertexFacets::CVertexFacets(CBaseMesh& mesh)
    : version(mesh.geometryVersion), meshFacets(std::max(mesh.getFacetCount(), 0)),
      meshVertices(std::max(mesh.getVertexCount(true), 0))
{
    const int facets = meshFacets, vertices = meshVertices;
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

CVertexFacets& CVertexFacets::of(CBaseMesh& mesh)
{
    CVertexFacets* table = mesh.vertexFacets.get();
    if (table == nullptr || table->version != mesh.geometryVersion ||
        table->meshFacets != std::max(mesh.getFacetCount(), 0) ||
        table->meshVertices != std::max(mesh.getVertexCount(true), 0)) {
        // The old table goes first: two at once would double the peak.
        mesh.vertexFacets.reset();
        mesh.vertexFacets = std::make_shared<CVertexFacets>(mesh);
        table = mesh.vertexFacets.get();
    }
    return *table;
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

void CVertexFacets::startWalk()
{
    vertexMarks.clear();
    facetMarks.clear();
}

// ---- Marks ----

std::size_t CVertexFacets::Marks::slotOf(int key) const
{
    // Fibonacci hashing of the key over the table's power-of-two size.
    return std::size_t(std::uint32_t(key) * 2654435769u) & (slots.size() - 1);
}

int CVertexFacets::Marks::get(int key) const
{
    if (slots.empty())
        return -1;
    for (std::size_t s = slotOf(key);; s = (s + 1) & (slots.size() - 1)) {
        const Slot& slot = slots[s];
        if (slot.walk != walk)
            return -1;
        if (slot.key == key)
            return slot.value;
    }
}

void CVertexFacets::Marks::set(int key, int value)
{
    if (2 * (used + 1) > slots.size())
        grow();
    for (std::size_t s = slotOf(key);; s = (s + 1) & (slots.size() - 1)) {
        Slot& slot = slots[s];
        if (slot.walk != walk) {
            slot = {walk, key, value};
            ++used;
            return;
        }
        if (slot.key == key) {
            slot.value = value;
            return;
        }
    }
}

void CVertexFacets::Marks::clear()
{
    used = 0;
    // A walk number that wraps round could meet slots of a walk 2^32 walks
    // ago: those are emptied first.
    if (++walk == 0) {
        std::fill(slots.begin(), slots.end(), Slot{});
        walk = 1;
    }
}

void CVertexFacets::Marks::grow()
{
    std::vector<Slot> old;
    old.swap(slots);
    slots.assign(old.empty() ? 1024 : 2 * old.size(), Slot{});
    used = 0;
    for (const Slot& slot : old)
        if (slot.walk == walk)
            set(slot.key, slot.value);
}

} // namespace Mesh
