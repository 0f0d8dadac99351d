// Cost of the net's topology step (GB::CSurfaceNet::buildTopology) on a
// 30 x 30 grid of poly-lines in the plane z = 0 (31 lines each way, every
// crossing a junction, grid points with mesh normals +z, each line with an
// attached straight curve): 900 faces. "FirstBuild" makes every face anew;
// "RebuildAfterEdit" follows one edit (a poly-line gets a new curve and its
// points are marked changed), as after every mouse edit, and keeps every
// face. The step reads only grid points and curves, not the mesh.
// "faces" counts the faces after the step, a check that the work is real.
// Aim: a rebuild well under 0.1 s on one core.
#include "geometry/NurbsSurf.h"
#include "mesh/GridPoint.h"
#include "net/SurfaceNet.h"

#include <benchmark/benchmark.h>

#include <iostream>
#include <memory>
#include <sstream>

namespace {

constexpr int kCells = 30;

// Sets the straight curve from the line's first to its last point, point i
// at parameter i / (n - 1).
void attachStraightCurve(COffset_PointList* line)
{
    const int n = line->vertices.count;
    const CVertex<float, 3>& a = *line->vertices[0];
    const CVertex<float, 3>& b = *line->vertices[n - 1];
    const double from[3] = {a[0], a[1], a[2]};
    const double to[3] = {b[0], b[1], b[2]};
    Kor::List<double> t;
    for (int i = 0; i < n; ++i)
        t.append(double(i) / (n - 1));
    line->setCurve(makeCurve(from, to), t, 0, n - 1);
}

std::unique_ptr<GB::CSurfaceNet> gridNet()
{
    auto net = std::make_unique<GB::CSurfaceNet>();
    Gridbench::CGridPoint* at[kCells + 1][kCells + 1];
    for (int i = 0; i <= kCells; ++i)
        for (int j = 0; j <= kCells; ++j) {
            auto* p = new Gridbench::CGridPoint();
            p->data[0] = float(i);
            p->data[1] = float(j);
            p->normal.data[2] = 1.f;
            at[i][j] = p;
        }
    for (int k = 0; k <= kCells; ++k)
        for (bool across : {false, true}) {
            auto* line = new COffset_PointList(net.get());
            for (int m = 0; m <= kCells; ++m)
                line->appendVertex(across ? at[m][k] : at[k][m]);
            attachStraightCurve(line);
            net->addPointList(line);
        }
    return net;
}

int faceCount(const GB::CSurfaceNet& net)
{
    int n = 0;
    for (const GB::Face* f = net.firstFace; f != nullptr; f = f->next)
        ++n;
    return n;
}

// The step prints one line per build; keep it off the benchmark's report.
struct QuietOutput {
    std::ostringstream sink;
    std::streambuf* previous = std::cout.rdbuf(sink.rdbuf());
    ~QuietOutput() { std::cout.rdbuf(previous); }
};

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
