#include "mesh/MeshBoundaryCurves.h"

#include "curves/BoundaryLoopCurves.h"
#include "foundation/Vector.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "mesh/MeshGeometry.h"

#include <algorithm>
#include <iostream>
#include <memory>
#include <vector>

namespace {

using Edge = Mesh::CBaseMesh::CPolygonEdge;

constexpr double kCornerAngle = 60.0;

bool isBoundary(const Edge& e)
{
    return e.facet1 != -1 && e.facet2 == -1;
}

// The unit direction of edge e (zero when its ends cannot be read or
// coincide).
CVector<float, 3> edgeDirection(Mesh::CBaseMesh* mesh, const Edge& e)
{
    CVertex<float, 3> a, b;
    CVector<float, 3> d;
    if (mesh != nullptr && mesh->getVertex(e.vertex0, a) && mesh->getVertex(e.vertex1, b)) {
        d = b - a;
        normalize(d);
    }
    return d;
}

} // namespace

namespace {

// Builds the mesh's topology when it has no edge table and copies every
// boundary edge into edges. False for a null mesh.
bool collectBoundaryEdges(Mesh::CBaseMesh* mesh, BoundaryEdgeList& edges)
{
    edges.count = 0;
    if (mesh == nullptr)
        return false;
    if (mesh->edges.count == 0)
        mesh->buildTopology();
    for (const Edge& e : mesh->edges)
        if (isBoundary(e))
            edges.append(e);
    return true;
}

// The closed degree-1 curve through the loop's vertices (its first vertex
// repeated at its end).
std::unique_ptr<Fenwo::NurbsSurf> loopCurve(Mesh::CBaseMesh* mesh, const BoundaryLoop& loop)
{
    const int m = loop.count;
    const knots u(m, 1, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    auto curve = std::make_unique<Fenwo::NurbsSurf>(u, nullptr);
    CVertex<float, 3> p;
    auto put = [&](int k, int vertex) {
        mesh->getVertex(vertex, p);
        curve->setControlPoint(k, 0, Vector(p.data[0], p.data[1], p.data[2]), 1.0);
    };
    put(0, loop.data[0]->vertex0);
    for (int k = 1; k <= m; ++k)
        put(k, loop.data[k - 1]->vertex1);
    return curve;
}

} // namespace

bool collectBoundaryLoops(Mesh::CBaseMesh* mesh, BoundaryEdgeList& edges, BoundaryLoopList& loops)
{
    loops.removeAll();
    if (!collectBoundaryEdges(mesh, edges))
        return false;
    chainBoundaryEdges(edges, loops, mesh);
    return true;
}

bool chainBoundaryEdges(BoundaryEdgeList& edges, BoundaryLoopList& loops, Mesh::CBaseMesh* mesh)
{
    loops.removeAll();
    for (Edge& e : edges)
        e.mark = false;
    if (edges.count == 0)
        return false;
    std::stable_sort(edges.begin(), edges.end(),
                     [](const Edge& a, const Edge& b) { return a.vertex0 < b.vertex0; });
    // The edges' unit directions, side by side in edge order: a vertex where
    // many boundary edges meet compares each walk's direction with all of
    // them.
    std::vector<float> directions(3 * std::size_t(edges.count));
    for (int k = 0; k < edges.count; ++k) {
        const CVector<float, 3> d = edgeDirection(mesh, edges.data[k]);
        std::copy_n(d.data, 3, directions.data() + 3 * std::size_t(k));
    }
    auto directionOf = [&](const Edge* e) {
        return CVector<float, 3>(directions.data() + 3 * (e - edges.begin()), VertexStorage::View);
    };

    // The edge leaving vertex v whose direction is closest to d (the first
    // found on a tie).
    auto straightest = [&](int v, const CVector<float, 3>& d) -> Edge* {
        Edge* chosen = nullptr;
        double best = -1e10;
        auto first = std::lower_bound(edges.begin(), edges.end(), v,
                                      [](const Edge& e, int vertex) { return e.vertex0 < vertex; });
        for (Edge* e = first; e != edges.end() && e->vertex0 == v; ++e) {
            const double score = dotProduct(directionOf(e), d);
            if (score > best) {
                best = score;
                chosen = e;
            }
        }
        return chosen;
    };

    int unused = 0;
    for (;;) {
        while (unused < edges.count && edges.data[unused].mark)
            ++unused;
        if (unused == edges.count)
            return true;
        BoundaryLoop loop;
        Edge* current = &edges.data[unused];
        const int startVertex = current->vertex0;
        for (;;) {
            current->mark = true;
            loop.append(current);
            Edge* chosen = straightest(current->vertex1, directionOf(current));
            if (chosen == nullptr)
                break; // an open walk: dropped
            // Back at the start, the loop closes, even where the boundary
            // touches itself there: the edges still leaving the start begin
            // a loop of their own.
            if (chosen->vertex1 == startVertex || chosen->mark) {
                if (!chosen->mark) {
                    chosen->mark = true;
                    loop.append(chosen);
                }
                if (loop.count > 2)
                    loops.append(loop);
                break;
            }
            current = chosen;
        }
    }
}

bool meshBoundaryToCurves(Mesh::CBaseMesh* mesh, Kor::List<Fenwo::NurbsSurf*>& curves, bool split)
{
    BoundaryEdgeList edges;
    BoundaryLoopList loops;
    collectBoundaryLoops(mesh, edges, loops);
    for (const BoundaryLoop& loop : loops) {
        if (loop.count < 3)
            continue;
        std::unique_ptr<Fenwo::NurbsSurf> curve = loopCurve(mesh, loop);
        if (!split) {
            curves.append(curve.release());
            continue;
        }
        Kor::List<Fenwo::NurbsSurf*> pieces = boundaryLoopToCurves(curve.get(), kCornerAngle);
        for (Fenwo::NurbsSurf* piece : pieces)
            curves.append(piece);
    }
    return curves.count > 0;
}

bool meshBoundaryToCurvesWithin(Mesh::CBaseMesh* mesh, Kor::List<Fenwo::NurbsSurf*>& curves,
                                int maxLoops)
{
    BoundaryEdgeList edges;
    if (!collectBoundaryEdges(mesh, edges) || edges.count == 0)
        return true;
    // Each edge is walked once, and each step compares the edges leaving
    // the vertex it reaches: the steps reaching a vertex v compare in(v)
    // times out(v) edges.
    std::vector<int> starts(std::size_t(edges.count));
    for (int k = 0; k < edges.count; ++k)
        starts[std::size_t(k)] = edges.data[k].vertex0;
    std::sort(starts.begin(), starts.end());
    long long comparisons = 0;
    for (const Edge& e : edges) {
        const auto run = std::equal_range(starts.begin(), starts.end(), e.vertex1);
        comparisons += run.second - run.first;
    }
    if (comparisons > kMostBoundaryPasses * (long long)edges.count) {
        std::cout << "the mesh's boundary passes each of its vertices " << comparisons / edges.count
                  << " times on average: it is left out of its outline." << std::endl;
        return false;
    }
    BoundaryLoopList loops;
    chainBoundaryEdges(edges, loops, mesh);
    if (maxLoops > 0 && loops.count > maxLoops) {
        std::cout << "the mesh's boundary breaks into more than " << maxLoops
                  << " loops: it is left out of its outline." << std::endl;
        return false;
    }
    for (const BoundaryLoop& loop : loops)
        if (loop.count >= 3)
            curves.append(loopCurve(mesh, loop).release());
    return true;
}
