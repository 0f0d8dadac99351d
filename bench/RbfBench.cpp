// Radial-basis-function interpolants: the build (assembly and solve) for 1k
// and 10k centres with the linear (0), thin-plate (1) and cubic (2) kernels,
// by the direct factorisation of the full matrix and by conjugate gradients
// on the packed one; the evaluation per point; and the RBF fit loop of a
// 12 x 12 bicubic to 723 points of a bump at a tolerance of 1e-3 of its size;
// and the cost of the direct solve's repairs of repeated samples.
//
// Counters: "matrixMB" the system matrix (full n^2, packed n(n+1)/2 doubles),
// "peakRssMB" the process's peak resident size so far (run one case per
// process, --benchmark_filter, for the peak of that case alone), "passes" and
// "controlPoints" of the fit loop. The 10k direct build needs about 800 MB
// and a long time; the iterative builds on indefinite systems run until
// their iteration budget.
#include "fitting/RbfFitLoop.h"
#include "fitting/ScatteredDataRBF.h"
#include "foundation/PointSequence.h"
#include "foundation/Progress.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <sys/resource.h>
#include <utility>
#include <vector>

namespace {

std::vector<Vector> randomCentres(int n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<Vector> out;
    out.reserve(std::size_t(n));
    for (int i = 0; i < n; ++i)
        out.emplace_back(unit(gen), unit(gen), unit(gen));
    return out;
}

std::unique_ptr<iPolScatteredData> withSamples(int kernel, const std::vector<Vector>& centres)
{
    std::unique_ptr<iPolScatteredData> f(newScatteredDataRBF());
    f->setKernelType(kernel);
    for (const Vector& p : centres)
        f->setSample(p, Vector(std::sin(3.0 * p[0]), p[1] * p[2], std::cos(p[0] + p[2])));
    return f;
}

double peakRssMB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

// The solver's CG and least-squares paths report on standard output; keep
// the benchmark table readable.
class QuietStdout {
public:
    QuietStdout() : previous(std::cout.rdbuf(sink.rdbuf())) {}
    ~QuietStdout() { std::cout.rdbuf(previous); }

private:
    std::ostringstream sink;
    std::streambuf* previous;
};

void BM_RbfBuild(benchmark::State& state)
{
    const int kernel = int(state.range(0));
    const int n = int(state.range(1));
    const bool iterative = state.range(2) != 0;
    const std::vector<Vector> centres = randomCentres(n, 1);
    double worst = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        auto f = withSamples(kernel, centres);
        state.ResumeTiming();
        QuietStdout quiet;
        f->recompute(iterative);
        state.PauseTiming();
        worst = 0.0;
        for (int i = 0; i < n; ++i) {
            Vector p, v;
            f->getSample(i, p, v);
            worst = std::max(worst, norm(f->evaluate(p) - v));
        }
        state.ResumeTiming();
    }
    const int N = n + (kernel == 2 ? 10 : 4);
    const double entries = iterative ? 0.5 * N * (N + 1.0) : double(N) * N;
    state.counters["matrixMB"] = entries * 8.0 / (1024.0 * 1024.0);
    state.counters["peakRssMB"] = peakRssMB();
    state.counters["reproError"] = worst; // largest |f(p_i) - v_i| over the samples
}
BENCHMARK(BM_RbfBuild)
    ->ArgNames({"kernel", "centres", "iterative"})
    ->ArgsProduct({{0, 1, 2}, {1000}, {0, 1}})
    ->ArgsProduct({{0, 1, 2}, {10000}, {1}})
    ->ArgsProduct({{0, 1, 2}, {10000}, {0}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// The direct solve repairs a repeated sample by refactorising once per
// dropped column: 1k centres of which `repeats` repeat an earlier one.
void BM_RbfBuildWithRepeats(benchmark::State& state)
{
    const int repeats = int(state.range(0));
    std::vector<Vector> centres = randomCentres(1000 - repeats, 4);
    for (int r = 0; r < repeats; ++r)
        centres.push_back(centres[std::size_t(7 * r)]);
    int active = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto f = withSamples(0, centres);
        state.ResumeTiming();
        f->recompute(false);
        active = static_cast<iPolScatteredDataRBF&>(*f).active.count;
    }
    state.counters["activeSamples"] = active;
}
BENCHMARK(BM_RbfBuildWithRepeats)
    ->ArgNames({"repeats"})
    ->Arg(0)
    ->Arg(10)
    ->Arg(40)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// The solved interpolant of a case, built once: the benchmark runner calls
// a case several times while it sizes the iteration count, and a 10k solve
// takes minutes.
iPolScatteredData& solvedInterpolant(int kernel, int n)
{
    static std::map<std::pair<int, int>, std::unique_ptr<iPolScatteredData>> cache;
    std::unique_ptr<iPolScatteredData>& f = cache[{kernel, n}];
    if (f == nullptr) {
        f = withSamples(kernel, randomCentres(n, 2));
        QuietStdout quiet;
        f->recompute(n > 2000);
    }
    return *f;
}

void BM_RbfEvaluate(benchmark::State& state)
{
    iPolScatteredData& f = solvedInterpolant(int(state.range(0)), int(state.range(1)));
    const std::vector<Vector> queries = randomCentres(256, 3);
    std::size_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(f.evaluate(queries[k]));
        k = (k + 1) % queries.size();
    }
}
BENCHMARK(BM_RbfEvaluate)
    ->ArgNames({"kernel", "centres"})
    ->ArgsProduct({{0, 1, 2}, {1000, 10000}})
    ->Unit(benchmark::kMicrosecond);

// Counts the starts of the sink: the factorisation of the displacement
// field starts it once, then every pass of the fit loop once for its grid.
class StartCounter : public CProgress {
public:
    int starts = 0;
    bool isCancelled() override { return false; }
    void begin(int, int) override { ++starts; }
    void step(int) override {}
    void reset(int) override {}
    bool setLabel(const char*) override { return true; }
    const char* getLabel() const override { return nullptr; }
    void setCancelled(bool) override {}
};

void BM_Rbf3Bump(benchmark::State& state)
{
    const knots k(11, 3, 0.0, 1.0);
    std::mt19937 gen(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    int passes = 0, controlPoints = 0;
    bool ok = false;
    for (auto _ : state) {
        state.PauseTiming();
        Fenwo::NurbsSurf S(k, &k);
        for (int j = 0; j < 12; ++j)
            for (int i = 0; i < 12; ++i)
                S.setControlPoint(i, j, Vector(10.0 * i / 11, 10.0 * j / 11, 0.0), 1.0);
        CFitPointArray array;
        for (int m = 0; m < 723; ++m) {
            Vector uv(2);
            uv[0] = unit(gen);
            uv[1] = unit(gen);
            const double x = 10.0 * uv[0], y = 10.0 * uv[1];
            const double z = 0.8 * std::exp(-((x - 5) * (x - 5) + (y - 5) * (y - 5)) / 6.0);
            array.append(CFitPoint(Vector(x, y, z), uv));
        }
        IndexSubset<CFitPoint> pts(array);
        pts.selectAll();
        StartCounter counter;
        state.ResumeTiming();
        QuietStdout quiet;
        ok = rbf3(S, 1e-3 * 10.0, pts, 723, &counter, 0, false, true, 0.01, -1.0, true);
        passes = counter.starts - 1;
        controlPoints = S.getUCount() * S.getVCount();
    }
    state.counters["passes"] = passes;
    state.counters["controlPoints"] = controlPoints;
    state.counters["reached"] = ok ? 1 : 0;
}
BENCHMARK(BM_Rbf3Bump)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace
