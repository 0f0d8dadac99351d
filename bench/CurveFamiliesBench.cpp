// The direct fits and the Coons patch of the curve-family code at sizes the
// net produces: fitNurbsToPoints of a 100 x 100 grid on its default bicubic
// knots (10,000 unknowns per coordinate), and orderCurveLoops of four cubic
// boundary curves of 50 control points each. The grid fit reports the
// conjugate-gradient iterations of each coordinate, counted through the
// cancel polls of its progress sink (the solver polls once per iteration).
#include "curves/CurveLoops.h"
#include "curves/LeastSquaresFits.h"
#include "foundation/Progress.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

// Counts the cancel polls between the fit's progress steps.
class PollCounter : public CSimpleProgress {
public:
    std::vector<long> polls; // one entry per step; the polls after it
    bool isCancelled() override
    {
        if (!polls.empty())
            ++polls.back();
        return false;
    }
    void step(int) override { polls.push_back(0); }
};

void BM_FitNurbsToGrid100x100(benchmark::State& state)
{
    const int n = 100;
    CFitPointArray2D grid(n, n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const double x = 0.1 * i, y = 0.1 * j;
            grid.at(i, j) = CFitPoint(Vector(x, y, std::sin(x) * std::cos(0.7 * y)),
                                      Vector(double(i), double(j), 0.0));
        }
    PollCounter counter;
    counter.setPrint(false);
    for (auto _ : state) {
        counter.polls.clear();
        std::unique_ptr<Fenwo::NurbsSurf> s(
            fitNurbsToPoints(grid, nullptr, nullptr, &counter, false, 3, 3));
        if (s == nullptr)
            state.SkipWithError("fit failed");
        benchmark::DoNotOptimize(s.get());
    }
    // Each coordinate's count includes the fit's own poll after its step.
    for (size_t d = 0; d < counter.polls.size() && d < 3; ++d)
        state.counters[std::string("cgIterations") + "xyz"[d]] = double(counter.polls[d] - 2);
}
BENCHMARK(BM_FitNurbsToGrid100x100)->Unit(benchmark::kMillisecond);

// Cubic sides with 50 control points each around a saddle-shaped loop.
std::vector<std::unique_ptr<Fenwo::NurbsSurf>> saddleLoop()
{
    const int m = 50;
    std::vector<std::unique_ptr<Fenwo::NurbsSurf>> sides;
    const double corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int s = 0; s < 4; ++s) {
        auto curve = std::make_unique<Fenwo::NurbsSurf>(
            knots(m - 1, 3, 0.0, 1.0, knots::ClampedEnd, knots::Uniform));
        for (int i = 0; i < m; ++i) {
            const double t = double(i) / (m - 1);
            const double x = corners[s][0] + t * (corners[(s + 1) % 4][0] - corners[s][0]);
            const double y = corners[s][1] + t * (corners[(s + 1) % 4][1] - corners[s][1]);
            curve->setControlPoint(i, 0, Vector(x, y, x * y + 0.05 * std::sin(9 * t)), 1.0);
        }
        sides.push_back(std::move(curve));
    }
    return sides;
}

void BM_OrderCurveLoopsOfFourCubics(benchmark::State& state)
{
    const auto loop = saddleLoop();
    for (auto _ : state) {
        Kor::Array<Fenwo::NurbsSurf*> curves;
        std::vector<std::unique_ptr<Fenwo::NurbsSurf>> copies;
        for (const auto& c : loop) {
            copies.emplace_back(new Fenwo::NurbsSurf(*c));
            curves.append(copies.back().get());
        }
        std::unique_ptr<Fenwo::NurbsSurf> patch(orderCurveLoops(curves, 1, 1, nullptr));
        if (patch == nullptr)
            state.SkipWithError("no patch");
        benchmark::DoNotOptimize(patch.get());
    }
}
BENCHMARK(BM_OrderCurveLoopsOfFourCubics)->Unit(benchmark::kMicrosecond);

} // namespace
