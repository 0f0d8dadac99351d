// Dense factorisations: Householder QR of least-squares systems and LDLt of a
// symmetric positive definite matrix. Each iteration copies the prepared
// matrix (outside the timing) and factorises and solves the copy.
#include "foundation/Matrix.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

Matrix randomFull(int rows, int cols, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    Matrix m(rows, cols);
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j)
            m.at(i, j) = dist(gen);
    return m;
}

Vector randomVector(int n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    Vector v(n);
    for (int i = 0; i < n; ++i)
        v[i] = dist(gen);
    return v;
}

void BM_HouseholderLeastSquares(benchmark::State& state)
{
    const int rows = static_cast<int>(state.range(0));
    const int cols = static_cast<int>(state.range(1));
    const Matrix prepared = randomFull(rows, cols, 1);
    const Vector b = randomVector(rows, 2);
    Vector x;
    for (auto _ : state) {
        state.PauseTiming();
        Matrix m = prepared;
        state.ResumeTiming();
        benchmark::DoNotOptimize(m.factorize(0, 2.2e-16));
        benchmark::DoNotOptimize(m.solve(x, b));
    }
}
BENCHMARK(BM_HouseholderLeastSquares)
    ->Args({200, 50})
    ->Args({2000, 200})
    ->Unit(benchmark::kMicrosecond);

void BM_LDLtSpd(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    // A^T A + n I of a random square A: symmetric positive definite.
    const Matrix a = randomFull(n, n, 3);
    Matrix prepared(n, SymmetricMatrix);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j <= i; ++j)
            prepared.at(i, j) = a.columnDot(0, i, j) + (i == j ? n : 0.0);
    const Vector b = randomVector(n, 4);
    Vector x;
    for (auto _ : state) {
        state.PauseTiming();
        Matrix m = prepared;
        state.ResumeTiming();
        benchmark::DoNotOptimize(m.factorize(0, 2.2e-16));
        benchmark::DoNotOptimize(m.solve(x, b));
    }
}
BENCHMARK(BM_LDLtSpd)->Arg(200)->Unit(benchmark::kMicrosecond);

} // namespace
