// The tessellation of a trimmed face as the display and the healing build
// it: a 20 x 20 bicubic of side 100, trimmed by a circle (a 96-gon) or by a
// square with three round holes (48-gons), cut by iso lines at MeshDistance
// or MeshArcTol 1e-2 and 1e-3 of the side, and the scan-line hatching of
// the same faces. The counters report the iso lines, quads and triangles
// (or the scan rows and their crossings).
#include "net/Face.h"

#include "curves/ParCurve.h"
#include "foundation/Vector.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "net/Faceter.h"
#include "net/IsoParameters.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <utility>
#include <vector>

namespace {

constexpr double kSide = 100.0;

Fenwo::NurbsSurf* wavyPatch()
{
    const knots k(19, 3, 0.0, 1.0);
    auto* s = new Fenwo::NurbsSurf(k, &k);
    for (int i = 0; i < 20; ++i)
        for (int j = 0; j < 20; ++j) {
            const double x = i / 19.0, y = j / 19.0;
            s->setControlPoint(
                i, j,
                Vector(kSide * x, kSide * y, 0.1 * kSide * std::sin(3.0 * x) * std::cos(2.0 * y)));
        }
    return s;
}

// The closed polygon through corners in (u, v), one straight trim curve per
// side; a hole runs clockwise.
CLoop* polygonLoop(CParametricGeometry* s, const std::vector<std::pair<double, double>>& corners)
{
    auto* loop = new CLoop();
    for (std::size_t i = 0; i < corners.size(); ++i) {
        const auto& a = corners[i];
        const auto& b = corners[(i + 1) % corners.size()];
        const double pa[3] = {a.first, a.second, 0.0}, pb[3] = {b.first, b.second, 0.0};
        loop->curves.append(new CParCurve(makeCurve(pa, pb), s, false));
    }
    return loop;
}

CLoop* circleLoop(CParametricGeometry* s, double cu, double cv, double r, int sides, bool hole)
{
    std::vector<std::pair<double, double>> corners;
    for (int k = 0; k < sides; ++k) {
        const double a = (hole ? -1.0 : 1.0) * 2.0 * M_PI * (k + 0.3) / sides;
        corners.push_back({cu + r * std::cos(a), cv + r * std::sin(a)});
    }
    return polygonLoop(s, corners);
}

std::unique_ptr<CFace> makeFace(int shape)
{
    auto face = std::make_unique<CFace>(wavyPatch(), nullptr);
    if (shape == 0) {
        face->setOuterLoop(circleLoop(face->surface, 0.5, 0.5, 0.41, 96, false));
        return face;
    }
    face->setOuterLoop(polygonLoop(
        face->surface, {{0.043, 0.051}, {0.957, 0.051}, {0.957, 0.947}, {0.043, 0.947}}));
    face->addTrimLoop(circleLoop(face->surface, 0.27, 0.31, 0.13, 48, true));
    face->addTrimLoop(circleLoop(face->surface, 0.71, 0.29, 0.11, 48, true));
    face->addTrimLoop(circleLoop(face->surface, 0.52, 0.69, 0.17, 48, true));
    return face;
}

// Arguments: shape (0 circle, 1 square with three holes), -log10 of the
// tolerance relative to the side, MeshType (1 by distance, 17 by arc
// tolerance).
void BM_FacetFace(benchmark::State& state)
{
    std::unique_ptr<CFace> face = makeFace(int(state.range(0)));
    const double tol = std::pow(10.0, -double(state.range(1))) * kSide;
    face->MeshType = int(state.range(2));
    face->MeshDistance = tol;
    face->MeshArcTol = tol;
    int quads = 0, triangles = 0;
    for (auto _ : state) {
        CFaceter f;
        quads = f.facetFace(*face);
        triangles = f.triangles.count;
        benchmark::DoNotOptimize(quads);
    }
    Vector U, V;
    if (face->MeshType == 17)
        isoParametersForArcTolerance(face->getNurbsSurf(), tol, U, V);
    else
        isoParametersForDistance(face->surface, tol, U, V);
    state.counters["isoLines"] = U.size() + V.size();
    state.counters["quads"] = quads;
    state.counters["triangles"] = triangles;
}
BENCHMARK(BM_FacetFace)->ArgsProduct({{0, 1}, {2, 3}, {1, 17}})->Unit(benchmark::kMillisecond);

// The share of facetFace that samples the trim loops into the (u, v)
// polygon (at a tenth of MeshDistance). Arguments: shape, -log10 as above.
void BM_TrimPolygon(benchmark::State& state)
{
    std::unique_ptr<CFace> face = makeFace(int(state.range(0)));
    const double tol = std::pow(10.0, -double(state.range(1))) * kSide / 10.0;
    for (auto _ : state) {
        face->clearUVSamples();
        face->uvPolygon.deleteVertices();
        benchmark::DoNotOptimize(face->buildUVPolygon(face->uvPolygon, 0, tol));
    }
    state.counters["vertices"] = face->uvPolygon.getCount();
}
BENCHMARK(BM_TrimPolygon)->ArgsProduct({{0, 1}, {2, 3}})->Unit(benchmark::kMillisecond);

// Arguments: shape as above.
void BM_FacetByVertexList(benchmark::State& state)
{
    std::unique_ptr<CFace> face = makeFace(int(state.range(0)));
    int rows = 0, crossings = 0;
    for (auto _ : state) {
        CFaceter f;
        rows = f.facetByVertexList(*face, true);
        crossings = f.scanCrossings.count;
        benchmark::DoNotOptimize(rows);
    }
    state.counters["rows"] = rows;
    state.counters["crossings"] = crossings;
}
BENCHMARK(BM_FacetByVertexList)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
