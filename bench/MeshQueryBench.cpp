// Cost of the mesh queries of the fitting: ray hits through the facet hash
// (`hit`), hits near a point (`meshHitsNearPoint`) and hits along a direction
// (`meshHitsAlongDirection`), on generated tori of about 70,000 and 1,000,000
// triangles whose hash cells are about two facet edges wide. Every iteration
// answers one query of a fixed set of 100,000 (rays from random points of the
// box in random directions; points within 0.2 cell sizes of the surface, the
// direction of an along-direction query within 30 degrees of the normal);
// "hits_per_query" counts the hits found, a check that the work is real.
// Mesh 2 is a scan-like patch of 70,000 jittered, uneven triangles (about
// 100 x 70 x 16 units) hashed as the loader hashes a mesh (divisor 200), with
// the same kinds of queries scaled to its box; mesh 3 is the same patch of
// 1,280,000 triangles, whose cells (as the loader makes them) hold a few
// hundred facets each, as a fine scan's do. BM_HashBuild reports the
// build of the facet hash of each mesh on its own.
#include "mesh/FlatMesh.h"
#include "mesh/MeshProjection.h"
#include "support/ScanLikeMesh.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace {

using Point = CVertex<float, 3>;
using Direction = CVector<float, 3>;

constexpr int kQueries = 100000;

// Torus of major radius 3 and minor radius 1 (extent 8), `around` x `across`
// quads each split into two triangles, with a slight ripple so that facets
// are not all alike.
std::unique_ptr<CFlatMesh> torus(int around, int across)
{
    auto mesh = std::make_unique<CFlatMesh>();
    for (int j = 0; j < across; ++j)
        for (int i = 0; i < around; ++i) {
            const double a = 2.0 * M_PI * i / around;
            const double b = 2.0 * M_PI * j / across;
            const double r = 1.0 + 0.02 * std::sin(7.0 * a) * std::cos(5.0 * b);
            mesh->addVertex(Point(float((3.0 + r * std::cos(b)) * std::cos(a)),
                                  float((3.0 + r * std::cos(b)) * std::sin(a)),
                                  float(r * std::sin(b))));
        }
    for (int j = 0; j < across; ++j)
        for (int i = 0; i < around; ++i) {
            const int v00 = j * around + i;
            const int v10 = j * around + (i + 1) % around;
            const int v01 = ((j + 1) % across) * around + i;
            const int v11 = ((j + 1) % across) * around + (i + 1) % around;
            const int t0[3] = {v00, v10, v11};
            const int t1[3] = {v00, v11, v01};
            mesh->addPolygon(t0, 3, -1);
            mesh->addPolygon(t1, 3, -1);
        }
    mesh->computeBoundingBox();
    // Cells about two facet edges wide: cell size = 2 * 8 / divisor.
    const double edge = 2.0 * M_PI * 4.0 / around;
    mesh->buildFacetHash(8.0 / edge, -1.0, nullptr);
    return mesh;
}

// The scan-like patch, its facet hash as the loader builds it (divisor 200)
// unless told not to.
std::unique_ptr<CFlatMesh> scanLike(bool hashed = true, int across = 250, int along = 140)
{
    auto mesh = std::make_unique<CFlatMesh>();
    const mwtest::ScanLikeMesh scan = mwtest::scanLikeMesh(across, along);
    for (std::size_t v = 0; v < scan.xyz.size(); v += 3)
        mesh->addVertex(Point(float(scan.xyz[v]), float(scan.xyz[v + 1]), float(scan.xyz[v + 2])));
    for (std::size_t t = 0; t < scan.triangles.size(); t += 3)
        mesh->addPolygon(&scan.triangles[t], 3, -1);
    mesh->computeBoundingBox();
    if (hashed)
        mesh->buildFacetHash(200.0, -1.0, nullptr);
    return mesh;
}

// Queries on the scan-like patch: rays from random points of its box in
// random directions; points within 0.2 cell sizes above or below the patch
// (found by a vertical ray), directions within about 30 degrees of the
// vertical.
struct Queries;
Queries makeScanQueries(CFlatMesh& mesh, bool rays);

struct Queries {
    std::vector<Point> points;
    std::vector<Direction> directions;
};

// Points near the surface (or anywhere in the box for rays) and directions.
Queries makeQueries(bool rays, double cellSize)
{
    std::mt19937 gen(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::normal_distribution<double> normal(0.0, 1.0);
    Queries q;
    for (int k = 0; k < kQueries; ++k) {
        if (rays) {
            q.points.emplace_back(float(-4.5 + 9.0 * unit(gen)), float(-4.5 + 9.0 * unit(gen)),
                                  float(-1.5 + 3.0 * unit(gen)));
            q.directions.emplace_back(float(normal(gen)), float(normal(gen)), float(normal(gen)));
            continue;
        }
        const double a = 2.0 * M_PI * unit(gen);
        const double b = 2.0 * M_PI * unit(gen);
        const double off = 0.2 * cellSize * (2.0 * unit(gen) - 1.0);
        const double n[3] = {std::cos(b) * std::cos(a), std::cos(b) * std::sin(a), std::sin(b)};
        const double r = 1.0 + off;
        q.points.emplace_back(float((3.0 + r * std::cos(b)) * std::cos(a)),
                              float((3.0 + r * std::cos(b)) * std::sin(a)), float(r * std::sin(b)));
        // Within about 30 degrees of the normal.
        q.directions.emplace_back(float(n[0] + 0.3 * normal(gen)), float(n[1] + 0.3 * normal(gen)),
                                  float(n[2] + 0.3 * normal(gen)));
    }
    return q;
}

Queries makeScanQueries(CFlatMesh& mesh, bool rays)
{
    std::mt19937 gen(9);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::normal_distribution<double> normal(0.0, 1.0);
    const double cell = mesh.facetHash.cellSize;
    Queries q;
    Mesh::HitSet hits;
    while (int(q.points.size()) < kQueries) {
        const double x = 2.0 + 96.0 * unit(gen), y = 2.0 + 66.0 * unit(gen);
        if (rays) {
            q.points.emplace_back(float(x), float(y), float(-10.0 + 20.0 * unit(gen)));
            q.directions.emplace_back(float(normal(gen)), float(normal(gen)), float(normal(gen)));
            continue;
        }
        if (!mesh.hit(Point(float(x), float(y), 0.0f), Direction(0.0f, 0.0f, 1.0f), hits, true,
                      false, false, nullptr, 0.0))
            continue;
        const float z = hits.items[0]->data[2] + float(0.2 * cell * (2.0 * unit(gen) - 1.0));
        q.points.emplace_back(float(x), float(y), z);
        q.directions.emplace_back(float(0.3 * normal(gen)), float(0.3 * normal(gen)), 1.0f);
    }
    hits.removeAll(false, true);
    return q;
}

CFlatMesh& meshOf(int size)
{
    static std::unique_ptr<CFlatMesh> small, large, scan, fineScan;
    std::unique_ptr<CFlatMesh>& m = size == 0 ? small : size == 1 ? large : size == 2 ? scan : fineScan;
    if (!m)
        m = size == 0   ? torus(190, 184)
            : size == 1 ? torus(708, 707)
            : size == 2 ? scanLike()
                        : scanLike(true, 1000, 640);
    return *m;
}

// args: mesh (0: torus of ~70,000 triangles, 1: torus of ~1,000,000, 2: the
// scan-like patch of 70,000, 3: that patch of 1,280,000), query (0 ray, 1
// near point, 2 along direction).
void BM_Query(benchmark::State& state)
{
    CFlatMesh& mesh = meshOf(static_cast<int>(state.range(0)));
    const int kind = static_cast<int>(state.range(1));
    const Queries q = state.range(0) >= 2 ? makeScanQueries(mesh, kind == 0)
                                          : makeQueries(kind == 0, mesh.facetHash.cellSize);
    Mesh::HitSet hits;
    long found = 0;
    size_t k = 0;
    for (auto _ : state) {
        const Point& p = q.points[k % kQueries];
        const Direction& d = q.directions[k % kQueries];
        if (kind == 0)
            mesh.hit(p, d, hits, true, false, false, nullptr, 0.0);
        else if (kind == 1)
            Mesh::meshHitsNearPoint(&mesh, p, hits, 1.0, false);
        else
            Mesh::meshHitsAlongDirection(&mesh, p, d, hits, 1.0, false);
        found += hits.count;
        ++k;
    }
    hits.removeAll(false, true);
    state.counters["facets"] = mesh.getFacetCount();
    state.counters["hits_per_query"] = double(found) / double(state.iterations());
}
BENCHMARK(BM_Query)
    ->ArgNames({"mesh", "query"})
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1, 2}})
    ->Unit(benchmark::kMicrosecond);

// The facet hash build alone. args: mesh as above.
void BM_HashBuild(benchmark::State& state)
{
    const int size = static_cast<int>(state.range(0));
    std::unique_ptr<CFlatMesh> mesh = size == 2 ? scanLike(false) : nullptr;
    if (size != 2)
        mesh = size == 0 ? torus(190, 184) : torus(708, 707);
    const double divisor = size == 2 ? 200.0 : 8.0 / (2.0 * M_PI * 4.0 / (size == 0 ? 190 : 708));
    for (auto _ : state) {
        mesh->releaseFacetHash();
        mesh->buildFacetHash(divisor, -1.0, nullptr);
    }
    state.counters["cells"] = mesh->facetHash.cells.count;
}
BENCHMARK(BM_HashBuild)->ArgName("mesh")->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

} // namespace
