// Polygon legs of the flat mesh's derived data: for every vertex one leg per
// polygon corner at it, the polygon areas and normals, and a vertex normal
// from the vertex's ordered ring of neighbours.

#include "mesh/FlatMesh.h"
#include "mesh/MeshVertex.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <iostream>
#include <numbers>
#include <vector>

namespace {

using Edge = Mesh::CBaseMesh::CPolygonEdge;
using Leg = CFlatMesh::CPolygonLeg;

// The ring of neighbours of a vertex in order around it, built from its legs:
// forward from the first leg along "far end = previous corner", and for a
// boundary fan backwards from the first leg as well. Each far end enters
// once; the walk is bounded by the leg count, so inconsistent legs cannot
// make it loop.
std::deque<int> orderedRing(const Leg* legs, int legCount, int edgeCount)
{
    std::deque<int> ring;
    if (legCount == 0)
        return ring;
    auto legReaching = [&](int farEnd) -> const Leg* {
        for (int k = 0; k < legCount; ++k)
            if (legs[k].next == farEnd)
                return &legs[k];
        return nullptr;
    };
    auto legComingFrom = [&](int previous) -> const Leg* {
        for (int k = 0; k < legCount; ++k)
            if (legs[k].previous == previous)
                return &legs[k];
        return nullptr;
    };

    const Leg* current = &legs[0];
    for (int steps = 0; int(ring.size()) < edgeCount && steps < legCount; ++steps) {
        const Leg* following = legReaching(current->previous);
        if (following == nullptr)
            break;
        ring.push_back(following->next);
        current = following;
    }
    if (int(ring.size()) >= edgeCount)
        return ring;

    // A boundary fan: close the forward side, then walk back from the first leg.
    ring.push_back(current->previous);
    current = &legs[0];
    for (int steps = 0; steps < legCount; ++steps) {
        const Leg* before = legComingFrom(current->next);
        if (before == nullptr)
            break;
        ring.push_front(current->next);
        current = before;
    }
    ring.push_front(current->next);
    return ring;
}

} // namespace

bool CFlatMesh::pairPolygonLegs()
{
    const int nv = derived.vertexCount;
    if (edges.count == 0 || nv == 0 || derived.vertices == nullptr)
        return false;

    // Legs are the edges that leave their vertex.
    int largestRing = 0; // most edges at one vertex
    long legTotal = 0;
    for (int i = 0; i < nv; ++i) {
        const MeshVertex& vertex = derived.vertices[i];
        for (int k = 0; k < vertex.edges.count; ++k)
            if (vertex.edges.items[k]->vertex0 == i)
                ++legTotal;
        largestRing = std::max(largestRing, vertex.edges.count);
    }
    // cosines[m][j] = cos(2 pi (j + 1) / m): the weights of ring position j
    // in a ring of m neighbours.
    std::vector<std::vector<float>> cosines(std::size_t(largestRing) + 1);
    for (int m = 0; m <= largestRing; ++m) {
        cosines[m].resize(m);
        for (int j = 0; j < m; ++j)
            cosines[m][j] = float(std::cos(2.0 * std::numbers::pi * (j + 1) / std::max(m, 1)));
    }

    // A fresh leg array sized for this edge table: a leg array left from an
    // earlier table could be too small for this one.
    delete[] derived.legs;
    derived.legs = new Leg[std::max(legTotal, 1L)];
    long used = 0;
    for (int i = 0; i < nv; ++i) {
        MeshVertex& vertex = derived.vertices[i];
        Leg* slice = derived.legs + used;
        int count = 0;
        for (int k = 0; k < vertex.edges.count; ++k) {
            const Edge& e = *vertex.edges.items[k];
            if (e.vertex0 != i)
                continue;
            Leg& leg = slice[count++];
            leg.next = e.vertex1;
            leg.polygon = e.facet1;
            leg.previous = getCornerBeforeEdge(e.facet1, i, e.vertex1);
            if (leg.previous == -1)
                std::cout << "second leg not found." << std::endl;
        }
        vertex.legs.attach(slice, count);
        used += count;
    }

    for (int f = 0; f < derived.facetCount; ++f) {
        CFacetRecord& record = derived.facets[f];
        record.area = float(getFacetAreaAndNormal(f, record.normal));
    }

    Direction t1, t2, facetNormal, facetSum;
    for (int i = 0; i < nv; ++i) {
        MeshVertex& vertex = derived.vertices[i];
        CSimpleVector3f& normal = vertex.normal;
        for (int k = 0; k < 3; ++k)
            normal[k] = 0.0f;
        const int edgeCount = vertex.edges.count;
        if (edgeCount < 2)
            continue;
        if (edgeCount == 2) {
            if (getFacetNormal(vertex.edges.items[0]->facet1, facetNormal))
                normal = facetNormal;
        } else {
            const std::deque<int> ring =
                orderedRing(vertex.legs.data, vertex.legs.count, edgeCount);
            const int m = std::clamp(int(ring.size()), 0, largestRing);
            if (int(ring.size()) != m)
                std::cout << " uc=" << ring.size() << " nb=" << m << std::endl;
            for (int k = 0; k < 3; ++k)
                t1[k] = t2[k] = 0.0f;
            // Positions relative to the vertex: the weights of a ring sum to
            // zero, so this changes nothing but keeps the float sums of a
            // mesh far from the origin accurate.
            Point p;
            for (int j = 0; j < m; ++j) {
                if (!getVertex(ring[j], p))
                    continue;
                p -= vertex;
                addScaled(t1, cosines[m][j], p);
                addScaled(t2, cosines[m][(j + 1) % m], p);
            }
            crossProductInto(t2, t1, normal); // -(t1 x t2)
            ::normalize(normal);
        }
        // Orient the normal like the polygons around the vertex.
        for (int k = 0; k < 3; ++k)
            facetSum[k] = 0.0f;
        for (int k = 0; k < edgeCount; ++k) {
            const int f = vertex.edges.items[k]->facet1;
            if (f >= 0 && f < derived.facetCount)
                facetSum += derived.facets[f].normal;
        }
        if (dotProduct(normal, facetSum) < 0.0f)
            for (int k = 0; k < 3; ++k)
                normal[k] = -normal[k];
    }
    return true;
}
