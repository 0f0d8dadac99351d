// Cost of the net's topology step (GB::CSurfaceNet::buildTopology) on a
// 30 x 30 grid of poly-lines in the plane z = 0 (31 lines each way, every
// crossing a junction, grid points with mesh normals +z, each line with an
// attached straight curve): 900 faces. "FirstBuild" makes every face anew;
// "RebuildAfterEdit" follows one edit (a poly-line gets a new curve and its
// points are marked changed), as after every mouse edit, and keeps every
// face. The step reads only grid points and curves, not the mesh.
// "faces" counts the faces after the step, a check that the work is real.
// Aim: a rebuild well under 0.1 s on one core.
//
// The crossing step an import takes (putJunctionsWhereLinesCross over every
// stretch): "CrossingsOfOneLongLine/n" on one open poly-line of n points in
// rows of 1000 two units apart that never crosses itself (it grows about as
// n log n; a quadratic search took minutes at 100,000 points),
// "CrossingsOfAHash/n" on
// n x n lines of two points each that cross one another n^2 times.
#include "NetBenchSupport.h"

#include <benchmark/benchmark.h>

namespace {

using netbench::attachStraightCurve;
using netbench::faceCount;
using netbench::gridNet;
using netbench::kCells;
using netbench::QuietOutput;

void BM_FirstBuild(benchmark::State& state)
{
    QuietOutput quiet;
    int faces = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<GB::CSurfaceNet> net = gridNet();
        state.ResumeTiming();
        net->buildTopology(false);
        faces = faceCount(*net);
        state.PauseTiming();
        net.reset();
        quiet.sink.str("");
        state.ResumeTiming();
    }
    state.counters["faces"] = faces;
}
BENCHMARK(BM_FirstBuild)->Unit(benchmark::kMillisecond);

void BM_RebuildAfterEdit(benchmark::State& state)
{
    QuietOutput quiet;
    std::unique_ptr<GB::CSurfaceNet> net = gridNet();
    net->buildTopology(false);
    COffset_PointList* edited = net->pointLists[kCells];
    for (auto _ : state) {
        attachStraightCurve(edited);
        for (int i = 0; i < edited->vertices.count; ++i)
            edited->markChanged(i);
        net->buildTopology(false);
        quiet.sink.str("");
    }
    state.counters["faces"] = faceCount(*net);
}
BENCHMARK(BM_RebuildAfterEdit)->Unit(benchmark::kMillisecond);

// Times the crossing step of every stretch on the nets `draw` makes (its
// making untimed); the junctions it put go to the counters.
template <typename Draw>
void timeCrossings(benchmark::State& state, double tolerance, Draw draw)
{
    QuietOutput quiet;
    int junctions = 0;
    for (auto _ : state) {
        state.PauseTiming();
        GB::CSurfaceNet net;
        net.surfaceTolerance = tolerance;
        draw(net);
        state.ResumeTiming();
        junctions = net.putJunctionsWhereLinesCross(true, false);
        state.PauseTiming();
        quiet.sink.str("");
        state.ResumeTiming();
    }
    state.counters["junctions"] = junctions;
}

void BM_CrossingsOfOneLongLine(benchmark::State& state)
{
    const int n = int(state.range(0));
    timeCrossings(state, 0.25, [n](GB::CSurfaceNet& net) {
        auto* line = new COffset_PointList(&net);
        const int perRow = 1000;
        for (int i = 0; i < n; ++i) {
            const int row = i / perRow, k = i % perRow;
            auto* p = new Gridbench::CGridPoint();
            p->data[0] = float(row % 2 == 0 ? k : perRow - 1 - k) * 0.1f;
            p->data[1] = float(2 * row);
            p->normal.data[2] = 1.f;
            line->appendVertex(p);
        }
        net.addPointList(line);
    });
    state.SetComplexityN(n);
}
BENCHMARK(BM_CrossingsOfOneLongLine)
    ->Arg(10000)
    ->Arg(40000)
    ->Arg(160000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

void BM_CrossingsOfAHash(benchmark::State& state)
{
    const int n = int(state.range(0));
    timeCrossings(state, 0.01, [n](GB::CSurfaceNet& net) {
        for (int k = 0; k < n; ++k)
            for (const bool across : {false, true}) {
                auto* line = new COffset_PointList(&net);
                for (const float end : {-1.f, float(n)}) {
                    auto* p = new Gridbench::CGridPoint();
                    p->data[0] = across ? end : float(k) + 0.5f;
                    p->data[1] = across ? float(k) + 0.5f : end;
                    p->normal.data[2] = 1.f;
                    line->appendVertex(p);
                }
                attachStraightCurve(line);
                net.addPointList(line);
            }
    });
}
BENCHMARK(BM_CrossingsOfAHash)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

} // namespace
