// Composite curves: CCompositeCurve::evaluate of order 2 on chains of 10 and
// 1,000 cubic members, beside evaluating the member that holds the point
// directly at its own parameter. The member look-up is a binary search over
// the member intervals, so the composite's cost should stay within twice the
// member's at both sizes.
#include "curves/CompositeCurve.h"
#include "geometry/NurbsSurf.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

using Fenwo::NurbsSurf;

namespace {

// n cubic pieces of a wave along x, piece k over [0, 1] from x = k to k + 1;
// every other piece runs backwards, so the chain reads it reversed.
std::vector<std::unique_ptr<NurbsSurf>> wavePieces(int n)
{
    std::vector<std::unique_ptr<NurbsSurf>> pieces;
    for (int k = 0; k < n; ++k) {
        auto c = std::make_unique<NurbsSurf>(knots(3, 3, 0.0, 1.0));
        for (int i = 0; i < 4; ++i) {
            const double x = k + (k % 2 == 0 ? i : 3 - i) / 3.0;
            c->setControlPoint(i, 0, Vector(x, std::sin(x), 0.1 * std::cos(3 * x)));
        }
        pieces.push_back(std::move(c));
    }
    return pieces;
}

// Parameters spread over [0, length), so that every call finds another member.
double parameterAt(long i, double length)
{
    return length * std::fmod(0.618033988749895 * static_cast<double>(i), 1.0);
}

void BM_CompositeEvaluate(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    auto pieces = wavePieces(n);
    CCompositeCurve composite;
    for (auto& p : pieces)
        composite.curves.append(p.get());
    composite.orderCurves(0);
    long i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(composite.evaluate(2, parameterAt(i++, n), 0.0));
}

void BM_MemberEvaluate(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    auto pieces = wavePieces(n);
    long i = 0;
    for (auto _ : state) {
        const double t = parameterAt(i++, n);
        const int k = static_cast<int>(t);
        benchmark::DoNotOptimize(pieces[k]->evaluate(2, t - k, 0.0));
    }
}

} // namespace

BENCHMARK(BM_CompositeEvaluate)->Arg(10)->Arg(1000);
BENCHMARK(BM_MemberEvaluate)->Arg(10)->Arg(1000);
