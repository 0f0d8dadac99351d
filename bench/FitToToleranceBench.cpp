// Fitting a bicubic to a smooth bump mesh within tolerance, the road of one
// face in automatic mode: a flat 4 x 4-span start surface turned towards the
// mesh (selectHitsAndUpdate), the hit road with snapping
// (fitSurfaceWithConstraints) and the V2 refinement to 1e-3 of the bump's
// size, for meshes of about 1k, 10k and 100k vertices. Outside the timed
// region the mesh vertices are inverted onto the result: the counters report
// the refinement steps, the control points, the 0.98 quantile and the
// largest distance. Also the hit selection per sample and the approximation
// on the hits of a 20 x 20 bicubic.
#include "fitting/ConstrainedSurfaceFit.h"
#include "fitting/HitApproximation.h"
#include "fitting/HitSelection.h"
#include "fitting/RefineV2.h"

#include "foundation/FitPoint.h"
#include "foundation/PointSequence.h"
#include "foundation/Progress.h"
#include "geometry/NurbsSurf.h"
#include "mesh/FlatMesh.h"

#include "FitBenchSupport.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>

namespace {

// A bicubic with `spans` spans per direction over the square at height z,
// or on the bump (onBump).
std::unique_ptr<Fenwo::NurbsSurf> flatStart(int spans, double z, bool onBump = false)
{
    const knots k(spans + 2, 3, 0.0, 1.0);
    auto s = std::make_unique<Fenwo::NurbsSurf>(k, &k);
    for (int j = 0; j <= spans + 2; ++j)
        for (int i = 0; i <= spans + 2; ++i) {
            const double x = kSize * k.getGrevilleAbscissa(i), y = kSize * k.getGrevilleAbscissa(j);
            s->setControlPoint(i, j, Vector(x, y, onBump ? bumpHeight(x, y) : z));
        }
    return s;
}

// Counts the refinement steps by their labels.
class StepCounter : public CSimpleProgress {
public:
    int steps = 0;
    bool setLabel(const char* label) override
    {
        if (label != nullptr && std::strncmp(label, "step (", 6) == 0)
            ++steps;
        return CSimpleProgress::setLabel(label);
    }
};

void BM_FitBumpToTolerance(benchmark::State& state)
{
    const int n = int(state.range(0));
    auto mesh = bumpMesh(n);
    const double dTol = 1e-3 * kSize;
    std::unique_ptr<Fenwo::NurbsSurf> s;
    StepCounter counter;
    counter.setPrint(false);
    bool ok = false;
    for (auto _ : state) {
        state.PauseTiming();
        s = flatStart(4, 0.0);
        counter.steps = 0;
        state.ResumeTiming();
        QuietStdout quiet;
        selectHitsAndUpdate(s.get(), mesh.get());
        fitSurfaceWithConstraints(s.get(), mesh.get(), true, false, nullptr, nullptr, false, true,
                                  false, nullptr, false, 2.0, true, -1.0);
        double deviation = -1.0;
        ok = refineV2(s.get(), mesh.get(), dTol, &counter, &deviation);
    }
    const VertexDistances d = vertexDistances(*mesh, *s);
    state.counters["samples"] = d.count;
    state.counters["steps"] = counter.steps;
    state.counters["controlPoints"] = s->getUCount() * s->getVCount();
    state.counters["q98/dTol"] = d.q98 / dTol;
    state.counters["max/dTol"] = d.max / dTol;
    state.counters["reached"] = ok;
}
BENCHMARK(BM_FitBumpToTolerance)->Arg(31)->Arg(99)->Arg(315)->Unit(benchmark::kMillisecond);

void BM_SelectHitsPerSample(benchmark::State& state)
{
    auto mesh = bumpMesh(315);
    auto s = flatStart(17, 0.0, true); // 20 x 20 control points on the bump
    long samples = 0, hits = 0;
    for (auto _ : state) {
        CFitPointArray points;
        QuietStdout quiet;
        hits = selectHitsSecondStage(s.get(), mesh.get(), points, false, false, false, false,
                                     nullptr, 0.0, -1.0, nullptr, true);
        samples += (4 * 19 + 1) * (4 * 19 + 1);
    }
    state.counters["hits"] = double(hits);
    state.counters["perSample"] = benchmark::Counter(
        double(samples), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SelectHitsPerSample)->Unit(benchmark::kMillisecond);

void BM_ApproximateOnHits20x20(benchmark::State& state)
{
    auto mesh = bumpMesh(315);
    auto s = flatStart(17, 0.0, true);
    for (auto _ : state) {
        QuietStdout quiet;
        std::unique_ptr<Fenwo::NurbsSurf> r(
            approximateOnHits(s.get(), mesh.get(), false, false, nullptr));
        if (r == nullptr)
            state.SkipWithError("approximation failed");
        benchmark::DoNotOptimize(r.get());
    }
    state.counters["hits"] = 20 * 20;
}
BENCHMARK(BM_ApproximateOnHits20x20)->Unit(benchmark::kMillisecond);

} // namespace
