// The offset of the flat mesh along its vertex normals and its dual mesh.

#include "foundation/Progress.h"
#include "foundation/StopUhr.h"
#include "mesh/FlatMesh.h"
#include "mesh/FlatMeshNormals.h"
#include "mesh/MeshGeometry.h"
#include "mesh/MeshProjection.h"
#include "mesh/MeshVertex.h"

#include <cmath>
#include <iostream>
#include <vector>

namespace {

using Point = CVertex<float, 3>;

// Vertices are welded at this distance before and after.
constexpr double kWeldTolerance = 1e-8;
// Probe points closer than this fraction of the probe distance to a facet
// centre drop their vertex.
constexpr double kClearanceFraction = 0.995;
// Polygons of this many corners or more are not offset.
constexpr int kMaxOffsetCorners = 100;

} // namespace

int CFlatMesh::offset(double a, double b, CFlatMesh* target, CProgress* progress)
{
    StopUhr watch(true, "FlatMesh offset");
    if (target == nullptr)
        return 0;
    if ((b < 0.0) != (a < 0.0))
        b = -b;
    const double probe = a + b;

    mergeVertices(kWeldTolerance, 0);
    buildTopology();
    computeBoundingBox();
    // Without a probe distance every vertex is kept: no hash of cell size 0.
    if (probe != 0.0 && facetHash.cells.count == 0)
        buildFacetHash(-1.0, std::fabs(probe), nullptr);

    const int n = getVertexCount(true);
    if (progress != nullptr)
        progress->begin(0, n);
    computeDerivedData();

    std::vector<char> kept(static_cast<std::size_t>(std::max(n, 0)), 0);
    std::vector<Point> moved(kept.size());
    const float clearance = float(kClearanceFraction * std::fabs(probe));
    for (int i = 0; i < n && i < derived.vertexCount; ++i) {
        if (progress != nullptr) {
            progress->step(1);
            if (progress->isCancelled())
                return 0;
        }
        const MeshVertex& v = derived.vertices[i];
        if (v.data == nullptr)
            continue;
        if (probe != 0.0) {
            Point probePoint(v);
            addScaled(probePoint, probe, v.normal);
            if (!facetHash.isAtLeast(probePoint, clearance, true))
                continue;
        }
        kept[i] = 1;
        moved[i] = v;
        addScaled(moved[i], a, v.normal);
    }

    CEstimatePolygonNormal estimate;
    std::vector<Point> corners;
    std::vector<int> indices;
    int tumbled = 0;
    const int polygons = getFacetCount();
    for (int f = 0; f < polygons; ++f) {
        const int size = getFacetSize(f);
        if (size < 3 || size >= kMaxOffsetCorners)
            continue;
        corners.clear();
        bool allKept = true;
        for (int k = 0; k < size && allKept; ++k) {
            const int v = getPolygonVertexIndex(f, k);
            allKept = v >= 0 && v < n && kept[v] != 0;
            if (allKept)
                corners.push_back(moved[v]);
        }
        if (!allKept || !estimate.estimate(corners.data(), size))
            continue;
        Direction own;
        getFacetNormal(f, own);
        if (dotProduct(estimate.normal, own) <= 0.0f) {
            ++tumbled;
            continue;
        }
        indices.clear();
        for (const Point& p : corners)
            indices.push_back(target->addVertex(p));
        target->addPolygon(indices.data(), size, -1);
    }
    std::cout << "tumbleCount=" << tumbled << std::endl;

    clearDerivedData();
    target->mergeVertices(kWeldTolerance, 0);
    target->computeBoundingBox();
    return target->getFacetCount();
}

CFlatMesh* CFlatMesh::buildVoronoiFaces(Mesh::CBaseMesh* projectOnto)
{
    auto* result = new CFlatMesh;
    computeDerivedData();

    const int polygons = getFacetCount();
    std::vector<Point> centres(static_cast<std::size_t>(std::max(polygons, 0)));
    for (int f = 0; f < polygons; ++f)
        getFacetCentroid(f, centres[f]);
    if (projectOnto != nullptr) {
        int failed = 0;
        Mesh::HitSet hits;
        Direction n;
        for (int f = 0; f < polygons; ++f) {
            if (!getFacetNormal(f, n))
                std::cout << "polynormal failed" << std::endl;
            if (Mesh::meshHitsAlongDirection(projectOnto, centres[f], n, hits, 1.6, false))
                centres[f] = *hits.items[0];
            else
                ++failed;
        }
        if (failed != 0)
            std::cout << "voronoi midfailcount=" << failed << std::endl;
    }

    int generated = 0;
    Kor::List<int> ring, ringPolygons;
    std::vector<int> dual;
    for (int v = 0; v < derived.vertexCount; ++v) {
        if (!getVertexRing(v, ring, &ringPolygons) || ringPolygons.count <= 2 ||
            ring.count != ringPolygons.count)
            continue;
        dual.clear();
        for (int f : ringPolygons)
            if (f >= 0 && f < polygons)
                dual.push_back(result->addVertex(centres[f]));
        if (int(dual.size()) != ringPolygons.count)
            continue;
        result->addPolygon(dual.data(), int(dual.size()), -1);
        ++generated;
    }
    result->mergeVertices(kWeldTolerance, 0);
    result->buildTopology();
    std::cout << " generated " << generated << " Voronoi faces " << std::endl;
    return result;
}
