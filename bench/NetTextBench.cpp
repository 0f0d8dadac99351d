// Cost of the net text, written with every document save and read when a
// document opens: the 30 x 30 grid net with its 900 faces, each face holding
// a bicubic surface of 4 x 4 control points over its cell. "Write" writes
// the whole text; "Read" reads it into an empty net, which rebuilds the
// topology and relocates every stored face onto its face. "bytes" is the
// length of the text, "faces" the faces with a surface after the read: both
// check that the work is real.
// Aim: each well under a second on one core.
#include "NetBenchSupport.h"

#include "geometry/Knots.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

using netbench::gridNet;
using netbench::QuietOutput;

// The grid net after its topology step, every face with a flat bicubic
// patch over the bounding box of its corners.
std::unique_ptr<GB::CSurfaceNet> netWithFaces()
{
    std::unique_ptr<GB::CSurfaceNet> net = gridNet();
    net->buildTopology(false);
    for (GB::Face* f = net->firstFace; f != nullptr; f = f->next) {
        Kor::List<CVertex<float, 3>*> corners;
        f->firstLoop->getNodePoints(corners);
        float lo[2] = {1e30f, 1e30f}, hi[2] = {-1e30f, -1e30f};
        for (const CVertex<float, 3>* p : corners)
            for (int k = 0; k < 2; ++k) {
                lo[k] = std::min(lo[k], (*p)[k]);
                hi[k] = std::max(hi[k], (*p)[k]);
            }
        const knots k(3, 3, 0.0, 1.0);
        auto* s = new Fenwo::NurbsSurf(k, &k);
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                s->setControlPoint(i, j,
                                   Vector(lo[0] + (hi[0] - lo[0]) * i / 3.0,
                                          lo[1] + (hi[1] - lo[1]) * j / 3.0, 0.01 * i * j),
                                   1.0);
        net->setFaceSurface(f, s);
        f->computedState = Draft;
    }
    return net;
}

void BM_Write(benchmark::State& state)
{
    QuietOutput quiet;
    std::unique_ptr<GB::CSurfaceNet> net = netWithFaces();
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::ostringstream out;
        net->write(out);
        bytes = out.str().size();
        quiet.sink.str("");
    }
    state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_Write)->Unit(benchmark::kMillisecond);

void BM_Read(benchmark::State& state)
{
    QuietOutput quiet;
    std::string text;
    {
        std::unique_ptr<GB::CSurfaceNet> net = netWithFaces();
        std::ostringstream out;
        net->write(out);
        text = out.str();
    }
    int faces = 0;
    for (auto _ : state) {
        auto net = std::make_unique<GB::CSurfaceNet>();
        std::istringstream in(text);
        net->read(in);
        faces = net->countSurfaces(nullptr);
        state.PauseTiming();
        net.reset();
        quiet.sink.str("");
        state.ResumeTiming();
    }
    state.counters["faces"] = faces;
}
BENCHMARK(BM_Read)->Unit(benchmark::kMillisecond);

} // namespace
