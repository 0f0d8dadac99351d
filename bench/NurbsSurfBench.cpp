// Evaluation cost of bicubic NURBS surfaces: a point, a point with first
// derivatives, and a point with first and second derivatives, on polynomial
// and rational nets of 10 x 10 and 100 x 100 control points.
#include "geometry/NurbsSurf.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

std::unique_ptr<Fenwo::NurbsSurf> makeBicubic(int n, bool rational)
{
    const knots k(n - 1, 3, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    auto s = std::make_unique<Fenwo::NurbsSurf>(k, &k);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            s->setControlPoint(i, j, Vector(i, j, std::sin(0.3 * i) * std::cos(0.2 * j)),
                               rational ? 1.0 + 0.5 * std::sin(1.3 * i + 0.7 * j) : 1.0);
    return s;
}

// Fixed pseudo-random parameters, so that every run visits the same spans.
std::vector<double> parameters()
{
    std::vector<double> t(1024);
    unsigned x = 12345u;
    for (double& v : t) {
        x = x * 1664525u + 1013904223u;
        v = (x >> 8) / double(1u << 24);
    }
    return t;
}

void BM_Point(benchmark::State& state)
{
    auto s = makeBicubic(static_cast<int>(state.range(0)), state.range(1) != 0);
    const std::vector<double> t = parameters();
    Vector out(3);
    size_t k = 0;
    for (auto _ : state) {
        s->evaluatePoint(out, t[k & 1023], t[(k + 511) & 1023]);
        benchmark::DoNotOptimize(out.data[0]);
        ++k;
    }
}

void BM_Derivatives(benchmark::State& state)
{
    auto s = makeBicubic(static_cast<int>(state.range(0)), state.range(1) != 0);
    const int order = static_cast<int>(state.range(2));
    const std::vector<double> t = parameters();
    size_t k = 0;
    for (auto _ : state) {
        Vector** D = s->evaluate(order, t[k & 1023], t[(k + 511) & 1023]);
        benchmark::DoNotOptimize(D[order][0].data[0]);
        ++k;
    }
}

} // namespace

// Arguments: control points per direction, rational.
BENCHMARK(BM_Point)->ArgNames({"n", "rational"})->ArgsProduct({{10, 100}, {0, 1}});
// Arguments: control points per direction, rational, derivative order.
BENCHMARK(BM_Derivatives)
    ->ArgNames({"n", "rational", "order"})
    ->ArgsProduct({{10, 100}, {0, 1}, {1, 2}});
