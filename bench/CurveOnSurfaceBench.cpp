// Curves on surfaces: CCONS::evaluate of order 2 (a cubic uv curve on a 20 x 20
// bicubic) beside the two evaluations it is made of (the uv curve and the
// surface), with the heap allocations per call ("allocs_per_call") counted
// by a replaced global operator new; and reInterpolate of that curve at
// tolerance 1e-4, with its passes and interpolations per call.
#include "curves/CurveOnSurface.h"
#include "curves/ReInterpolation.h"
#include "geometry/NurbsSurf.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>

using Fenwo::NurbsSurf;

namespace {

std::atomic<long> allocations{0};

std::unique_ptr<NurbsSurf> wavyBicubic()
{
    const knots k(19, 3, 0.0, 1.0);
    auto s = std::make_unique<NurbsSurf>(k, &k);
    for (int j = 0; j < 20; ++j)
        for (int i = 0; i < 20; ++i)
            s->setControlPoint(
                i, j, Vector(i, j, 1.5 * std::sin(0.45 * i) * std::cos(0.3 * j) + 0.05 * i));
    return s;
}

std::unique_ptr<NurbsSurf> cubicUvCurve()
{
    auto uv = std::make_unique<NurbsSurf>(knots(5, 3, 0.0, 1.0));
    const double cp[6][2] = {{0.05, 0.1}, {0.3, 0.9}, {0.45, 0.2},
                             {0.6, 0.8},  {0.8, 0.3}, {0.95, 0.9}};
    for (int i = 0; i < 6; ++i)
        uv->setControlPoint(i, 0, Vector(cp[i][0], cp[i][1], 0.0));
    return uv;
}

// Parameters spread over the curve, so that every call finds another span.
double parameterAt(long i)
{
    return std::fmod(0.618033988749895 * static_cast<double>(i), 1.0);
}

void setAllocationCounter(benchmark::State& state, long before)
{
    state.counters["allocs_per_call"] = benchmark::Counter(
        static_cast<double>(allocations.load() - before), benchmark::Counter::kAvgIterations);
}

void BM_CCONSEvaluate(benchmark::State& state)
{
    auto surface = wavyBicubic();
    auto uv = cubicUvCurve();
    CCONS cons(uv.get(), surface.get());
    cons.evaluate(2, 0.5, 0.0); // the first call makes the table
    long i = 0;
    const long before = allocations.load();
    for (auto _ : state)
        benchmark::DoNotOptimize(cons.evaluate(2, parameterAt(i++), 0.0));
    setAllocationCounter(state, before);
}
BENCHMARK(BM_CCONSEvaluate);

void BM_InnerEvaluations(benchmark::State& state)
{
    auto surface = wavyBicubic();
    auto uv = cubicUvCurve();
    uv->evaluate(2, 0.5, 0.0);
    surface->evaluate(2, 0.5, 0.5);
    long i = 0;
    const long before = allocations.load();
    for (auto _ : state) {
        Vector** C = uv->evaluate(2, parameterAt(i++), 0.0);
        benchmark::DoNotOptimize(surface->evaluate(2, C[0][0][0], C[0][0][1]));
    }
    setAllocationCounter(state, before);
}
BENCHMARK(BM_InnerEvaluations);

void BM_ReInterpolateCCONS(benchmark::State& state)
{
    auto surface = wavyBicubic();
    auto uv = cubicUvCurve();
    CCONS cons(uv.get(), surface.get());
    long passes = 0, interpolations = 0;
    for (auto _ : state) {
        ReInterpolationRecord record;
        std::unique_ptr<NurbsSurf> c(reInterpolate(&cons, 1e-4, 3, true, nullptr, &record));
        benchmark::DoNotOptimize(c.get());
        passes += record.passes;
        interpolations += record.interpolations;
    }
    state.counters["passes"] =
        benchmark::Counter(static_cast<double>(passes), benchmark::Counter::kAvgIterations);
    state.counters["interpolations"] =
        benchmark::Counter(static_cast<double>(interpolations), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ReInterpolateCCONS)->Unit(benchmark::kMillisecond);

} // namespace

// Kept out of line so that the compiler never pairs a malloc it inlined with
// a delete it did not.
[[gnu::noinline]] void* operator new(std::size_t size)
{
    ++allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

[[gnu::noinline]] void operator delete(void* p) noexcept
{
    std::free(p);
}

[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
