// Cost of one measure of a face's distance from the mesh
// (measureFaceMeshDistance: the surface's grid to the facets, the mesh's
// vertices under the face to the surface), as the fit's check, the commit and
// the runner's `!face-fits` take it for every face. BM_FaceOnPlate measures
// the same flat face, 5 x 5 units at a tolerance of 0.05 over plates of facets
// 0.25 units wide, of 20,000, 320,000 and 1,280,000 facets (25, 100 and 200
// units a side, the facet hash's cells half a unit wide on all): what the
// measure visits is the part of the mesh under the face, so the time per
// measure stays the same however large the mesh. BM_FaceSize measures faces
// of 2.5, 5 and 10 units a side on the largest plate: the time follows the
// face's area. The table of facets round the vertices is built once per mesh,
// before the timing ("vertices" counts those measured, a check that the work
// is real).
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "mesh/FlatMesh.h"
#include "net/Face.h"
#include "net/FaceMeshDistance.h"

#include <benchmark/benchmark.h>

#include <iostream>
#include <map>
#include <memory>
#include <sstream>

namespace {

constexpr double kFacet = 0.25, kTolerance = 0.05;

// The plane z = 0 over [0, side]^2 in cells of kFacet, two triangles a cell,
// its facet hash of cells two facets wide.
std::unique_ptr<CFlatMesh> plate(int side)
{
    auto mesh = std::make_unique<CFlatMesh>();
    const int n = int(side / kFacet);
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i)
            mesh->addVertex(CVertex<float, 3>(float(i * kFacet), float(j * kFacet), 0.0f));
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int a = j * (n + 1) + i, b = a + 1, c = a + n + 2, d = a + n + 1;
            const int t0[3] = {a, b, c}, t1[3] = {a, c, d};
            mesh->addPolygon(t0, 3, -1);
            mesh->addPolygon(t1, 3, -1);
        }
    mesh->computeBoundingBox();
    mesh->buildFacetHash(-1.0, 2.0 * kFacet, nullptr);
    return mesh;
}

// The plates, made once each (the largest takes a second).
CFlatMesh& plateOf(int side)
{
    static std::map<int, std::unique_ptr<CFlatMesh>> plates;
    std::unique_ptr<CFlatMesh>& mesh = plates[side];
    if (mesh == nullptr)
        mesh = plate(side);
    return *mesh;
}

// The flat face z = 0 over [x0, x0 + size]^2 (a bicubic patch whose domain's
// boundary bounds it).
std::unique_ptr<CFace> flatFace(double x0, double size)
{
    const knots k(3, 3, 0.0, 1.0);
    auto* s = new Fenwo::NurbsSurf(k, &k);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            s->setControlPoint(i, j, Vector(x0 + size * i / 3.0, x0 + size * j / 3.0, 0.0));
    return std::make_unique<CFace>(s);
}

void measure(benchmark::State& state, CFlatMesh& mesh, double x0, double size)
{
    const std::unique_ptr<CFace> face = flatFace(x0, size);
    // The inversions report to standard output.
    std::ostringstream quiet;
    std::streambuf* was = std::cout.rdbuf(quiet.rdbuf());
    FaceMeshDistance d =
        measureFaceMeshDistance(*face, mesh, kTolerance, 1.5 * kTolerance, 10.0 * kTolerance);
    for (auto _ : state) {
        d = measureFaceMeshDistance(*face, mesh, kTolerance, 1.5 * kTolerance, 10.0 * kTolerance);
        benchmark::DoNotOptimize(d.largest);
        quiet.str({});
    }
    std::cout.rdbuf(was);
    state.counters["vertices"] = d.meshVertices;
    state.counters["facets"] = mesh.getFacetCount();
}

void BM_FaceOnPlate(benchmark::State& state)
{
    const int side = int(state.range(0));
    measure(state, plateOf(side), 0.5 * side - 2.5, 5.0);
}
BENCHMARK(BM_FaceOnPlate)
    ->ArgName("side")
    ->Arg(25)
    ->Arg(100)
    ->Arg(200)
    ->Unit(benchmark::kMillisecond);

void BM_FaceSize(benchmark::State& state)
{
    const double size = 0.5 * double(state.range(0));
    measure(state, plateOf(200), 100.0 - 0.5 * size, size);
}
BENCHMARK(BM_FaceSize)
    ->ArgName("twice_side")
    ->Arg(5)
    ->Arg(10)
    ->Arg(20)
    ->Unit(benchmark::kMillisecond);

} // namespace
