// The trimmed face of one four-sided net face (selectAndApprox) on a
// Gaussian bump of about 100,000 triangles, in draft mode (rerun after every
// grid edit) and in full mode, at a tolerance of 5e-4 of the extent. The
// counters report the Newton runs and, outside the timed region, the 0.98
// quantile and largest distance of the mesh vertices inside the face in
// units of the tolerance.
#include "mesh/GridPoint.h"
#include "net/Face.h"
#include "net/FaceApproximation.h"
#include "net/SurfaceNet.h"

#include "FitBenchSupport.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

constexpr double kLow = 20.0, kHigh = 80.0;

// The square [kLow, kHigh]^2 on the bump as four poly-lines of six segments.
void addSquare(GB::CSurfaceNet& net)
{
    auto point = [](double x, double y) {
        auto* p = new Gridbench::CGridPoint();
        p->data[0] = float(x);
        p->data[1] = float(y);
        p->data[2] = float(bumpHeight(x, y));
        p->normal.data[2] = 1.f;
        return p;
    };
    const double cx[4] = {kLow, kHigh, kHigh, kLow}, cy[4] = {kLow, kLow, kHigh, kHigh};
    Gridbench::CGridPoint* corners[4];
    for (int k = 0; k < 4; ++k)
        corners[k] = point(cx[k], cy[k]);
    for (int k = 0; k < 4; ++k) {
        auto* pl = new COffset_PointList(&net);
        const int n = (k + 1) % 4;
        pl->appendVertex(corners[k]);
        for (int i = 1; i < 6; ++i)
            pl->appendVertex(
                point(cx[k] + i * (cx[n] - cx[k]) / 6, cy[k] + i * (cy[n] - cy[k]) / 6));
        pl->appendVertex(corners[n]);
        net.addPointList(pl);
    }
}

int countOf(const std::string& text, const std::string& word)
{
    int n = 0;
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        ++n;
    return n;
}

// Argument: 1 draft, 0 full.
void BM_SelectAndApprox(benchmark::State& state)
{
    const bool draft = state.range(0) != 0;
    const double tol = 5e-4 * kSize;
    std::unique_ptr<CFlatMesh> mesh = bumpMesh(224);
    GB::CSurfaceNet net;
    addSquare(net);
    {
        QuietStdout quiet;
        net.buildTopology(false);
    }
    GB::Face* face = net.firstFace;
    if (face == nullptr) {
        state.SkipWithError("no face");
        return;
    }
    std::unique_ptr<CFace> result;
    int newtonRuns = 0;
    for (auto _ : state) {
        QuietStdout quiet;
        face->surface = nullptr; // the face's surface belongs to the trimmed face
        result.reset(selectAndApprox(face->firstLoop, mesh.get(), nullptr, nullptr, false, nullptr,
                                     tol, draft, false));
        newtonRuns = countOf(quiet.sink.str(), " lauf=");
    }
    face->surface = nullptr;
    if (result == nullptr) {
        state.SkipWithError("no face surface");
        return;
    }
    const VertexDistances d = vertexDistances(*mesh, *result->getNurbsSurf(), [](const Vector& p) {
        return p[0] > kLow + 1.0 && p[0] < kHigh - 1.0 && p[1] > kLow + 1.0 && p[1] < kHigh - 1.0;
    });
    state.counters["newtonRuns"] = newtonRuns;
    state.counters["q98/tol"] = d.q98 / tol;
    state.counters["max/tol"] = d.max / tol;
}
BENCHMARK(BM_SelectAndApprox)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
