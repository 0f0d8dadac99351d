// The skin of trimmed faces: buildSkin over a 20 x 20 grid of planar unit
// squares (every inner edge paired), and healSkin over 3 x 3 bicubic
// faces on a smooth bump whose neighbours are lifted apart by 0.01, in
// position-only mode 0 and in mode 2, and over 2 x 2 to 16 x 16 such faces
// in mode 2 at sizes from 10^-2 to 10^3.
//
// Counters: "sPerFace", the time per face, and for the healing "gapBefore"
// and "gapAfter", the largest distance between the two curves of a shared
// edge before and after.
#include "tests/healing/SkinTestSupport.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <iostream>
#include <sstream>

namespace {

// Quiets the skin's and the healing's reports on standard output.
struct Quiet {
    std::ostringstream sink;
    std::streambuf* saved = std::cout.rdbuf(sink.rdbuf());
    ~Quiet() { std::cout.rdbuf(saved); }
};

benchmark::Counter perFace(int faces)
{
    return benchmark::Counter(faces, benchmark::Counter::kIsIterationInvariantRate |
                                         benchmark::Counter::kInvert);
}

void BM_BuildSkin(benchmark::State& state)
{
    constexpr int n = 20;
    skintest::Faces faces;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            faces.add(skintest::rectangle(i, j, i + 1, j + 1));
    Quiet quiet;
    int inner = 0;
    for (auto _ : state) {
        FENWO_SKIN::CSkinTopology skin;
        Kor::List<CParametricGeometry*> curves;
        skintest::buildOver(skin, faces.list, 0.01, curves);
        inner = skin.getInnerEdgePairs().count;
    }
    state.counters["sPerFace"] = perFace(n * n);
    state.counters["innerEdges"] = inner;
}
BENCHMARK(BM_BuildSkin)->Unit(benchmark::kMillisecond);

// Face (a, b) of the 3 x 3 arrangement: a bicubic patch of the bump
// reaching 0.25 beyond its unit square, lifted by +-0.005 like a
// chessboard; every coordinate times scale.
CFace* bumpFace(int a, int b, double scale = 1.0)
{
    const double lift = (a + b) % 2 == 0 ? 0.005 : -0.005;
    auto* s = skintest::bicubic([&](int i, int j) {
        const double x = a - 0.25 + 1.5 * i / 3.0, y = b - 0.25 + 1.5 * j / 3.0;
        return scale * Vector(x, y, 0.2 * std::sin(x) * std::cos(y) + lift);
    });
    return skintest::trimmed(s, 0.25 / 1.5, 0.25 / 1.5, 1.25 / 1.5, 1.25 / 1.5);
}

void BM_HealSkin(benchmark::State& state)
{
    const int mode = int(state.range(0));
    const double dTol = 0.001;
    double before = 0.0, after = 0.0;
    Quiet quiet;
    for (auto _ : state) {
        state.PauseTiming();
        skintest::Faces faces;
        for (int a = 0; a < 3; ++a)
            for (int b = 0; b < 3; ++b)
                faces.add(bumpFace(a, b));
        before = skintest::largestEdgeGap(faces.list, 0.1, dTol);
        state.ResumeTiming();
        healSkin(faces.list, dTol, nullptr, nullptr, 0.0, mode, true);
        state.PauseTiming();
        after = skintest::largestEdgeGap(faces.list, 0.1, dTol);
        quiet.sink.str("");
        state.ResumeTiming();
    }
    state.counters["sPerFace"] = perFace(9);
    state.counters["gapBefore"] = before;
    state.counters["gapAfter"] = after;
}
BENCHMARK(BM_HealSkin)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond);

// The heal of n x n such faces (seams of 0.01 at a tolerance of 0.001) in
// mode 2, the whole arrangement and the tolerance scaled by 10^k: the cost
// grows with the seams healed and stays with the scale, and so do the
// seams left ("gapAfter" in tolerances).
void BM_HealSkinGrid(benchmark::State& state)
{
    const int n = int(state.range(0));
    const double scale = std::pow(10.0, double(state.range(1)));
    const double dTol = 0.001 * scale;
    double after = 0.0;
    Quiet quiet;
    for (auto _ : state) {
        state.PauseTiming();
        skintest::Faces faces;
        for (int a = 0; a < n; ++a)
            for (int b = 0; b < n; ++b)
                faces.add(bumpFace(a, b, scale));
        state.ResumeTiming();
        healSkin(faces.list, dTol, nullptr, nullptr, 0.0, 2, true);
        state.PauseTiming();
        after = skintest::largestEdgeGap(faces.list, 0.1 * scale, dTol) / dTol;
        quiet.sink.str("");
        state.ResumeTiming();
    }
    state.counters["sPerFace"] = perFace(n * n);
    state.counters["gapAfter"] = after;
}
BENCHMARK(BM_HealSkinGrid)
    ->Args({2, 0})
    ->Args({4, 0})
    ->Args({8, 0})
    ->Args({16, 0})
    ->Args({4, -2})
    ->Args({4, 2})
    ->Args({4, 3})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

} // namespace
