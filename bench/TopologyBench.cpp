// Cost of the net's topology step (GB::CSurfaceNet::buildTopology) on a
// 30 x 30 grid of poly-lines in the plane z = 0 (31 lines each way, every
// crossing a junction, grid points with mesh normals +z, each line with an
// attached straight curve): 900 faces. "FirstBuild" makes every face anew;
// "RebuildAfterEdit" follows one edit (a poly-line gets a new curve and its
// points are marked changed), as after every mouse edit, and keeps every
// face. The step reads only grid points and curves, not the mesh.
// "faces" counts the faces after the step, a check that the work is real.
// Aim: a rebuild well under 0.1 s on one core.
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

} // namespace
