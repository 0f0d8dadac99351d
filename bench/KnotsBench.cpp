// Span search plus basis functions of a clamped cubic knot vector.
#include "geometry/Knots.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

// Non-uniform clamped cubic with `spans` spans on [0, 1].
knots cubicWithSpans(int spans)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> jitter(-0.3, 0.3);
    std::vector<double> positions(4, 0.0);
    for (int i = 1; i < spans; ++i)
        positions.push_back((i + jitter(rng)) / spans);
    positions.insert(positions.end(), 4, 1.0);
    return knots(positions.data(), static_cast<int>(positions.size()), 3, false);
}

std::vector<double> randomParameters()
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<double> t(4096);
    for (double& x : t)
        x = u(rng);
    return t;
}

void BM_FindKnotIntervalAndBasis(benchmark::State& state)
{
    knots k = cubicWithSpans(static_cast<int>(state.range(0)));
    const std::vector<double> ts = randomParameters();
    std::size_t i = 0;
    for (auto _ : state) {
        const double t = ts[i++ & 4095];
        const int interval = k.findKnotInterval(t);
        const int span = k.cumulativeMultiplicities[interval] - 1;
        benchmark::DoNotOptimize(k.basisFunctions(span, t).data);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_ClampToKnotsAndBasis(benchmark::State& state)
{
    knots k = cubicWithSpans(static_cast<int>(state.range(0)));
    const std::vector<double> ts = randomParameters();
    std::size_t i = 0;
    for (auto _ : state) {
        double t = ts[i++ & 4095];
        const int span = k.clampToKnots(t);
        benchmark::DoNotOptimize(k.basisFunctions(span, t).data);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_BasisOnly(benchmark::State& state)
{
    knots k = cubicWithSpans(static_cast<int>(state.range(0)));
    const std::vector<double> ts = randomParameters();
    std::vector<int> spans(ts.size());
    for (std::size_t j = 0; j < ts.size(); ++j) {
        double t = ts[j];
        spans[j] = k.clampToKnots(t);
    }
    std::size_t i = 0;
    for (auto _ : state) {
        const std::size_t j = i++ & 4095;
        benchmark::DoNotOptimize(k.basisFunctions(spans[j], ts[j]).data);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_BasisDerivativesOrder2(benchmark::State& state)
{
    knots k = cubicWithSpans(static_cast<int>(state.range(0)));
    const std::vector<double> ts = randomParameters();
    std::size_t i = 0;
    for (auto _ : state) {
        double t = ts[i++ & 4095];
        const int span = k.clampToKnots(t);
        benchmark::DoNotOptimize(k.basisDerivatives(span, 2, t));
    }
    state.SetItemsProcessed(state.iterations());
}

} // namespace

BENCHMARK(BM_FindKnotIntervalAndBasis)->Arg(100)->Arg(10000);
BENCHMARK(BM_ClampToKnotsAndBasis)->Arg(100)->Arg(10000);
BENCHMARK(BM_BasisOnly)->Arg(100)->Arg(10000);
BENCHMARK(BM_BasisDerivativesOrder2)->Arg(100)->Arg(10000);
