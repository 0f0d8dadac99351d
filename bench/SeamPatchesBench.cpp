// Seam matching on a 2 x 2 arrangement of bicubic patches of 10 x 10 control
// points over a smooth bump, each patch lifted by a random amount of up to
// +-0.005 so that the four inner seams open by up to 0.01: the net's
// position-only call (d = 0.001, 10 iterations) and a tangent-continuous run
// (G1, 0.5 degree, 100 iterations).
//
// Counters: "iterations" and "evaluations" of the minimiser, "maxDistance"
// and "maxAngleDeg" over all seam samples afterwards, "variables".
#include "foundation/Progress.h"
#include "geometry/FitHelpers.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "healing/SeamPatches.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>
#include <numbers>
#include <random>
#include <sstream>
#include <vector>

namespace {

constexpr int kCount = 10; // control points per direction

class CountingSeamPatches : public CSeamPatches {
public:
    int evaluations = 0;
    double evaluate(int mode, Vector& grad, const Vector& x, double alpha, const Vector& p) override
    {
        ++evaluations;
        return CSeamPatches::evaluate(mode, grad, x, alpha, p);
    }
};

struct Arrangement {
    std::unique_ptr<GB::Face> faces[2][2];
    std::vector<std::unique_ptr<CCoEdge>> seams;

    explicit Arrangement(unsigned seed)
    {
        std::mt19937 random(seed);
        std::uniform_real_distribution<double> lift(-0.005, 0.005);
        const knots k(kCount - 1, 3, 0.0, 1.0);
        for (int a = 0; a < 2; ++a)
            for (int b = 0; b < 2; ++b) {
                auto* s = new Fenwo::NurbsSurf(k, &k);
                const double dz = lift(random);
                for (int i = 0; i < kCount; ++i)
                    for (int j = 0; j < kCount; ++j) {
                        const double x = a + double(i) / (kCount - 1);
                        const double y = b + double(j) / (kCount - 1);
                        s->setControlPoint(i, j,
                                           Vector(x, y, 0.3 * std::sin(x) * std::cos(y) + dz));
                    }
                faces[a][b] = std::make_unique<GB::Face>(new GB::Loop);
                faces[a][b]->surface = s;
            }
        // Seams across x = 1 (east of the left patches) and y = 1 (north of
        // the lower patches).
        for (int b = 0; b < 2; ++b)
            addSeam(faces[0][b].get(), uvEast, faces[1][b].get(), uvWest);
        for (int a = 0; a < 2; ++a)
            addSeam(faces[a][0].get(), uvNorth, faces[a][1].get(), uvSouth);
    }

    void addSeam(GB::Face* left, BoundaryPosition lp, GB::Face* right, BoundaryPosition rp)
    {
        auto seam = std::make_unique<CCoEdge>(0, 1, nullptr);
        seam->setLeftLoop(left->firstLoop);
        seam->setRightLoop(right->firstLoop);
        seam->leftPosition = lp;
        seam->rightPosition = rp;
        seam->leftInterval = Interval(0.0, 1.0);
        seam->rightInterval = Interval(0.0, 1.0);
        seams.push_back(std::move(seam));
    }

    void measure(double& distance, double& angleDegrees)
    {
        distance = 0.0;
        angleDegrees = 0.0;
        CSeamSide l, r;
        for (auto& seam : seams)
            for (int k = 0; k < seam->samples.count; ++k)
                if (seam->evaluateSample(k, l, r, 1)) {
                    distance = std::max(distance, norm(l.d[0][0] - r.d[0][0]));
                    const double angle = angleBetween(crossProduct(l.d[1][0], l.d[0][1]),
                                                      crossProduct(r.d[1][0], r.d[0][1]));
                    angleDegrees = std::max(angleDegrees, angle * 180.0 / std::numbers::pi);
                }
    }
};

void healArrangement(benchmark::State& state, bool g1)
{
    const int maxIter = g1 ? 100 : 10;
    double iterations = 0.0, evaluations = 0.0, distance = 0.0, angle = 0.0, variables = 0.0;
    unsigned seed = 1;
    // The matching reports on standard output; keep it off the report.
    std::ostringstream sink;
    std::streambuf* saved = std::cout.rdbuf(sink.rdbuf());
    for (auto _ : state) {
        state.PauseTiming();
        auto arrangement = std::make_unique<Arrangement>(seed++);
        CountingSeamPatches patches;
        for (auto& seam : arrangement->seams)
            patches.seams.append(seam.get());
        state.ResumeTiming();
        patches.healSeams(0.001, maxIter, g1, 0.5, 0);
        state.PauseTiming();
        double d = 0.0, a = 0.0;
        arrangement->measure(d, a);
        iterations += patches.m_iter;
        evaluations += patches.evaluations;
        distance = std::max(distance, d);
        angle = std::max(angle, a);
        variables = patches.variables.count;
        sink.str("");
        arrangement.reset();
        state.ResumeTiming();
    }
    std::cout.rdbuf(saved);
    const double runs = static_cast<double>(state.iterations());
    state.counters["iterations"] = iterations / runs;
    state.counters["evaluations"] = evaluations / runs;
    state.counters["maxDistance"] = distance;
    state.counters["maxAngleDeg"] = angle;
    state.counters["variables"] = variables;
}

void BM_HealSeamsPositions(benchmark::State& state)
{
    healArrangement(state, false);
}
BENCHMARK(BM_HealSeamsPositions)->Unit(benchmark::kMillisecond);

void BM_HealSeamsG1(benchmark::State& state)
{
    healArrangement(state, true);
}
BENCHMARK(BM_HealSeamsG1)->Unit(benchmark::kMillisecond);

} // namespace
