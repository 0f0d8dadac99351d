// Sparse least squares shaped like a surface fit: a 20 x 20 bicubic B-spline
// (400 unknowns per coordinate) fitted to 10,000 points at random (u, v). Each
// row holds the 16 tensor products of the cubic basis values at its point.
// One benchmark iteration solves one coordinate from zero; the iteration
// count and the final objective are reported as counters. The threaded
// variant sets both matrix-thread switches for its run.
#include "foundation/MatrixThreads.h"
#include "geometry/SparseSolvers.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

namespace {

constexpr int kDegree = 3;
constexpr int kControl = 20;                   // control points per direction
constexpr int kSpans = kControl - kDegree;     // 17 uniform spans
constexpr int kUnknowns = kControl * kControl; // 400

// The four non-zero cubic basis values at t in [0, 1] of the clamped uniform
// knot vector, and the index of the first of them (de Boor's recurrence).
int cubicBasis(double t, double N[4])
{
    double knots[kControl + kDegree + 1];
    for (int i = 0; i <= kControl + kDegree; ++i)
        knots[i] = std::clamp(static_cast<double>(i - kDegree) / kSpans, 0.0, 1.0);
    int span = kDegree + std::min(static_cast<int>(t * kSpans), kSpans - 1);
    double left[kDegree + 1], right[kDegree + 1];
    N[0] = 1.0;
    for (int j = 1; j <= kDegree; ++j) {
        left[j] = t - knots[span + 1 - j];
        right[j] = knots[span + j] - t;
        double saved = 0.0;
        for (int r = 0; r < j; ++r) {
            const double temp = N[r] / (right[r + 1] + left[j - r]);
            N[r] = saved + right[r + 1] * temp;
            saved = left[j - r] * temp;
        }
        N[j] = saved;
    }
    return span - kDegree;
}

struct FitSystem {
    SparseMatrix A{10000, kUnknowns};
    Vector b{10000};

    FitSystem()
    {
        std::mt19937 rng(2024);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        for (int k = 0; k < A.rows; ++k) {
            const double u = unit(rng);
            const double v = unit(rng);
            double Nu[4], Nv[4];
            const int iu = cubicBasis(u, Nu);
            const int iv = cubicBasis(v, Nv);
            A[k].reserve(16);
            for (int b2 = 0; b2 < 4; ++b2)
                for (int a = 0; a < 4; ++a)
                    A[k].append((iu + a) + kControl * (iv + b2), Nu[a] * Nv[b2]);
            b[k] = 40.0 * std::sin(3.0 * u) * std::cos(2.0 * v) + 5.0 * u * v;
        }
    }
};

const FitSystem& fitSystem()
{
    static const FitSystem system;
    return system;
}

void runFit(benchmark::State& state, bool threaded)
{
    FitSystem& fit = const_cast<FitSystem&>(fitSystem());
    const int maxIter = static_cast<int>(state.range(0));
    if (threaded) {
        multithreadingAllowed = true;
        matrixThreadsEnabled = true;
    }
    int iterations = 0;
    double f = 0.0;
    for (auto _ : state) {
        Vector x(kUnknowns);
        f = sparseLScg(&fit.A, &fit.b, &x, maxIter, 0, 0.0, 0, &iterations);
        benchmark::DoNotOptimize(x.data);
    }
    resetMatrixThreadSwitches();
    state.counters["iterations"] = iterations;
    state.counters["objective"] = f;
    state.counters["rmsError"] = std::sqrt(2.0 * f / fit.A.rows);
}

void BM_SparseLScgBicubicFit(benchmark::State& state)
{
    runFit(state, false);
}
BENCHMARK(BM_SparseLScgBicubicFit)->Arg(100)->Arg(400)->Unit(benchmark::kMillisecond);

void BM_SparseLScgBicubicFitThreaded(benchmark::State& state)
{
    runFit(state, true);
}
BENCHMARK(BM_SparseLScgBicubicFitThreaded)->Arg(400)->Unit(benchmark::kMillisecond);

void BM_SparseLScgSerialBicubicFit(benchmark::State& state)
{
    FitSystem& fit = const_cast<FitSystem&>(fitSystem());
    int iterations = 0;
    for (auto _ : state) {
        Vector x(kUnknowns);
        benchmark::DoNotOptimize(sparseLScgSerial(&fit.A, &fit.b, &x, 400, 0, 0.0, 0, &iterations));
    }
    state.counters["iterations"] = iterations;
}
BENCHMARK(BM_SparseLScgSerialBicubicFit)->Unit(benchmark::kMillisecond);

} // namespace
