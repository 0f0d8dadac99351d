// Point inversion of 10,000 points scattered within 0.05 of a 20 x 20
// bicubic: start values from the samples (with and without the bucket grid
// of samples, and on a nearly flat bicubic too), the Newton refinement alone,
// and both together. Reported per
// point: the time ("per_point", seconds, shown inverted) and the Newton
// iterations ("newton_per_point").
//
// BM_InversionAccuracy inverts 10,000 points offset along the normal by a
// fixed distance from known parameters (0.05 .. 0.95; the offsets stay below
// the radius of curvature, so those parameters are the true foot) on the
// same surface scaled by 1e-6, 1 or 1e6, start values included, and reports
// "max_parameter_error", the largest distance of a returned parameter from
// its true foot, beside the time and iterations per point.
#include "geometry/NurbsSurf.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>
#include <random>
#include <streambuf>
#include <vector>

using Fenwo::NurbsSurf;

namespace {

constexpr int kPoints = 10000;

// The waves' height is `height` (1.5; a nearly flat face at 0.01, whose
// samples' buckets are far flatter than wide).
std::unique_ptr<NurbsSurf> wavyBicubic(double scale = 1.0, double height = 1.5)
{
    const knots u(19, 3, 0.0, 1.0);
    const knots v(19, 3, 0.0, 1.0);
    auto s = std::make_unique<NurbsSurf>(u, &v);
    for (int j = 0; j < 20; ++j)
        for (int i = 0; i < 20; ++i)
            s->setControlPoint(
                i, j,
                scale *
                    Vector(i, j, height * std::sin(0.45 * i) * std::cos(0.3 * j) + 0.05 * i));
    return s;
}

CFitPointArray pointsNear(NurbsSurf& s)
{
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> param(0.0, 1.0);
    std::uniform_real_distribution<double> offset(-0.05, 0.05);
    CFitPointArray pts;
    pts.setCapacity(kPoints);
    Vector** T = nullptr;
    for (int k = 0; k < kPoints; ++k) {
        const double u = param(gen);
        const double v = param(gen);
        T = s.computeDerivatives(1, u, v, T);
        Vector n = crossProduct(T[1][0], T[0][1]);
        n /= norm(n);
        pts.append(CFitPoint(T[0][0] + offset(gen) * n));
    }
    NurbsSurf::freeDerivativeTable(T, 1);
    return pts;
}

// Swallows the "hits=" line of the grid start values.
class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
};

void setCounters(benchmark::State& state, long newton)
{
    state.counters["per_point"] = benchmark::Counter(
        kPoints, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["newton_per_point"] =
        static_cast<double>(newton) / (static_cast<double>(kPoints) * state.iterations());
}

// args: 0 start values only, 1 start values and Newton; grid switch; the
// waves' height in hundredths.
void BM_InvertPoints(benchmark::State& state)
{
    const bool newtonToo = state.range(0) != 0;
    const bool useGrid = state.range(1) != 0;
    auto s = wavyBicubic(1.0, 0.01 * static_cast<double>(state.range(2)));
    CFitPointArray pts = pointsNear(*s);
    NullBuffer sink;
    std::streambuf* previous = std::cout.rdbuf(&sink);
    long newton = 0;
    for (auto _ : state) {
        IndexSubset<CFitPoint> subset(pts, pts.count);
        subset.selectAll();
        benchmark::DoNotOptimize(s->invertPoints(subset, 3, 3, useGrid));
        if (newtonToo) {
            subset.selectAll(); // also the points the grid left out
            newton += s->PointInversion(subset, 10);
        }
        benchmark::ClobberMemory();
    }
    std::cout.rdbuf(previous);
    setCounters(state, newton);
}
BENCHMARK(BM_InvertPoints)
    ->ArgNames({"newton", "grid", "height"})
    ->Args({0, 1, 150})
    ->Args({0, 0, 150})
    ->Args({1, 1, 150})
    ->Args({1, 0, 150})
    ->Args({0, 0, 1})
    ->Unit(benchmark::kMillisecond);

// The Newton refinement alone from the grid's start values (restored
// outside the timing).
void BM_PointInversion(benchmark::State& state)
{
    auto s = wavyBicubic();
    CFitPointArray pts = pointsNear(*s);
    IndexSubset<CFitPoint> subset(pts, pts.count);
    subset.selectAll();
    NullBuffer sink;
    std::streambuf* previous = std::cout.rdbuf(&sink);
    s->invertPoints(subset, 3, 3, state.range(0) != 0);
    std::cout.rdbuf(previous);
    subset.selectAll();
    Vector starts(2 * pts.count);
    for (int k = 0; k < pts.count; ++k) {
        starts[2 * k] = pts[k].uv[0];
        starts[2 * k + 1] = pts[k].uv[1];
    }
    long newton = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (int k = 0; k < pts.count; ++k) {
            pts[k].uv[0] = starts[2 * k];
            pts[k].uv[1] = starts[2 * k + 1];
        }
        state.ResumeTiming();
        newton += s->PointInversion(subset, 10);
    }
    setCounters(state, newton);
}
BENCHMARK(BM_PointInversion)->ArgName("grid")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// args: decimal exponent of the scale, distance in thousandths of the scale.
void BM_InversionAccuracy(benchmark::State& state)
{
    const double scale = std::pow(10.0, static_cast<double>(state.range(0)));
    const double distance = 1e-3 * static_cast<double>(state.range(1)) * scale;
    auto s = wavyBicubic(scale);
    std::mt19937 gen(11);
    std::uniform_real_distribution<double> param(0.05, 0.95);
    CFitPointArray pts;
    pts.setCapacity(kPoints);
    std::vector<double> truth;
    Vector** T = nullptr;
    for (int k = 0; k < kPoints; ++k) {
        const double u = param(gen);
        const double v = param(gen);
        truth.push_back(u);
        truth.push_back(v);
        T = s->computeDerivatives(1, u, v, T);
        Vector n = crossProduct(T[1][0], T[0][1]);
        n /= norm(n);
        pts.append(CFitPoint(T[0][0] + (k % 2 == 0 ? distance : -distance) * n));
    }
    NurbsSurf::freeDerivativeTable(T, 1);
    long newton = 0;
    for (auto _ : state) {
        IndexSubset<CFitPoint> subset(pts, pts.count);
        subset.selectAll();
        benchmark::DoNotOptimize(s->invertPoints(subset, 3, 3, false));
        newton += s->PointInversion(subset, 10);
        benchmark::ClobberMemory();
    }
    double worst = 0.0;
    for (int k = 0; k < kPoints; ++k)
        worst = std::max({worst, std::fabs(pts[k].uv[0] - truth[2 * k]),
                          std::fabs(pts[k].uv[1] - truth[2 * k + 1])});
    setCounters(state, newton);
    state.counters["max_parameter_error"] = worst;
}
BENCHMARK(BM_InversionAccuracy)
    ->ArgNames({"scale_exp", "distance_milli"})
    ->ArgsProduct({{-6, 0, 6}, {0, 10, 1000}})
    ->Unit(benchmark::kMillisecond);

} // namespace
