// The gaps between neighbouring faces of plate nets of n x n square faces
// (100 and 400, each a little above or below its neighbours): the job's
// `!edge-gaps` judge over a document of their Breps, which pairs the edges
// that are each other's nearest, and the commit's measure along the pieces
// the faces share. Both should grow with the edge samples, about four
// times from 100 to 400 faces, where a judge that measures every edge
// against every other Brep grows sixteen times (46 s of CPU for 100 Breps).
// And the job's judge where the Breps' sizes differ a hundredfold, by their
// edges alone and told the sides they share: it should cost about the same
// whatever the large face's size.
#include "BrepBenchSupport.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "net/Face.h"
#include "platform/host/Document.h"
#include "platform/host/EdgeGaps.h"
#include "platform/host/Object.h"
#include "plugin/SharedEdgeGaps.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

using brepbench::rectangleBrep;

// The height of square (i, j): a pattern of a few thousandths.
double heightOf(int i, int j)
{
    return 0.001 * double((i * 7 + j * 3) % 5);
}

void BM_JobEdgeGaps(benchmark::State& state)
{
    const int n = int(state.range(0));
    CVezadDoc doc;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            doc.AddBrepObject(rectangleBrep(i, j, heightOf(i, j)));
    for (auto _ : state) {
        const VezadHost::EdgeGaps gaps = VezadHost::sharedEdgeGaps(doc);
        benchmark::DoNotOptimize(gaps.largest);
        if (gaps.sharedEdges != 4 * n * (n - 1))
            state.SkipWithError("not every inner side shared");
    }
    state.counters["breps"] = double(n * n);
}
BENCHMARK(BM_JobEdgeGaps)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond);

// Ten unit squares along the side 10 long of a face 10 x W, a little above
// it: Breps of sizes a hundred and sixty times apart. Cells a quarter of
// the median edge long, searched out to a quarter of the large face's
// diagonal, took 24 s at W = 80 and over 400 s at W = 160. By their edges
// alone (0), and told the sides the faces share (1).
void BM_JobEdgeGapsMixedSizes(benchmark::State& state)
{
    const double w = double(state.range(0));
    CVezadDoc doc;
    VezadHost::BrepSides told;
    const ON_UUID face = doc.AddBrepObject(rectangleBrep(0.0, 0.0, 0.0, 10.0, w))->ModelObjectId();
    told.breps.push_back(face);
    const auto side = [](double x0, double y0, double x1, double y1) {
        std::vector<ON_3dPoint> along;
        for (int m = 0; m < 50; ++m) {
            const double t = (m + 0.5) / 50;
            along.emplace_back((1 - t) * x0 + t * x1, (1 - t) * y0 + t * y1, 0.0);
        }
        return along;
    };
    for (int i = 0; i < 10; ++i) {
        told.breps.push_back(
            doc.AddBrepObject(rectangleBrep(i, w, heightOf(i, 1)))->ModelObjectId());
        told.sides.push_back({face, told.breps.back(), side(i, w, i + 1, w)});
        if (i > 0)
            told.sides.push_back(
                {told.breps[std::size_t(i)], told.breps.back(), side(i, w, i, w + 1)});
    }
    if (state.range(1) != 0)
        VezadHost::setSharedSidesQuery([told](const CVezadDoc&) { return told; });
    for (auto _ : state) {
        const VezadHost::EdgeGaps gaps = VezadHost::sharedEdgeGaps(doc);
        benchmark::DoNotOptimize(gaps.largest);
        // The face's side along the squares, their sides along it and along
        // each other.
        if (gaps.sharedEdges != 1 + 10 + 18)
            state.SkipWithError("not every shared side found");
    }
    VezadHost::setSharedSidesQuery({});
    state.counters["W"] = w;
}
BENCHMARK(BM_JobEdgeGapsMixedSizes)
    ->ArgsProduct({{10, 40, 160}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

void BM_CommitSharedEdgeGaps(benchmark::State& state)
{
    const int n = int(state.range(0));
    std::vector<FaceOutline> outlines;
    const knots k(1, 1, 0.0, 1.0);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            auto* s = new Fenwo::NurbsSurf(k, &k);
            for (int c = 0; c < 4; ++c)
                s->setControlPoint(c % 2, c / 2, Vector(i + c % 2, j + c / 2, heightOf(i, j)));
            const std::unique_ptr<CFace> face(new CFace(s));
            outlines.push_back(faceOutline(*face));
        }
    // The pieces of the lattice neighbours share.
    std::vector<SharedSide> sides;
    const auto piece = [&](int a, int b, double x0, double y0, double x1, double y1) {
        SharedSide side{a, b, {}};
        for (int m = 0; m < 50; ++m) {
            const double t = (m + 0.5) / 50;
            side.along.push_back({(1 - t) * x0 + t * x1, (1 - t) * y0 + t * y1, 0.0});
        }
        sides.push_back(std::move(side));
    };
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            if (i > 0)
                piece(j * n + i - 1, j * n + i, i, j, i, j + 1);
            if (j > 0)
                piece((j - 1) * n + i, j * n + i, i, j, i + 1, j);
        }
    for (auto _ : state) {
        const std::vector<SharedEdgeGap> gaps = sharedEdgeGaps(outlines, sides);
        benchmark::DoNotOptimize(gaps.data());
    }
    state.counters["faces"] = double(n * n);
}
BENCHMARK(BM_CommitSharedEdgeGaps)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond);

} // namespace
