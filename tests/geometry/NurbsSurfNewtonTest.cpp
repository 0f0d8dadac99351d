#include "foundation/Progress.h"
#include "geometry/BoundaryConstraint.h"
#include "geometry/FitOptions.h"
#include "geometry/NurbsSurf.h"
#include "platform/FitStopFlag.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

using Fenwo::NurbsSurf;

namespace {

Vector uv2(double u, double v)
{
    Vector out(2);
    out[0] = u;
    out[1] = v;
    return out;
}

// Bicubic on [0, 1]^2 with 5 x 5 control points; `height` scales the wave.
std::unique_ptr<NurbsSurf> bicubic(double height)
{
    const knots k(4, 3, 0.0, 1.0);
    auto s = std::make_unique<NurbsSurf>(k, &k);
    for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 5; ++i) {
            const double z = height * std::sin(1.3 * i + 0.7 * j) * (i % 2 == 0 ? 1.0 : 0.6);
            s->setControlPoint(i, j, Vector(i / 4.0 + 0.02 * j, j / 4.0, z));
        }
    return s;
}

// n x n samples of `target` with their parameters as start values.
void sampleSurface(NurbsSurf& target, int n, CFitPointArray& pts, IndexSubset<CFitPoint>& sel)
{
    Vector p(3);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const double u = (i + 0.5) / n, v = (j + 0.5) / n;
            target.evaluatePoint(p, u, v);
            pts.append(CFitPoint(p, uv2(u, v)));
        }
    sel = IndexSubset<CFitPoint>(pts);
    sel.selectAll();
}

// Cubic curve with `count` control points on a straight line along x.
std::unique_ptr<NurbsSurf> straightCurve(int count)
{
    const knots k(count - 1, 3, 0.0, 1.0);
    auto c = std::make_unique<NurbsSurf>(k);
    for (int i = 0; i < count; ++i)
        c->setControlPoint(i, 0, Vector(i / double(count - 1), 0.0, 0.0));
    return c;
}

// Samples of y = 0.2 sin(2 pi x) with a deterministic +-noise.
void sineSamples(NurbsSurf& curve, int n, double noise, CFitPointArray& pts,
                 IndexSubset<CFitPoint>& sel)
{
    for (int i = 0; i < n; ++i) {
        const double x = i / double(n - 1);
        const double y = 0.2 * std::sin(2.0 * M_PI * x) + noise * ((i * 7919) % 13 - 6) / 6.0;
        pts.append(CFitPoint(Vector(x, y, 0.0), uv2(x, 0.0)));
    }
    sel = IndexSubset<CFitPoint>(pts);
    sel.selectAll();
    curve.PointInversion(sel, 10);
}

double errorSum(NurbsSurf& s, IndexSubset<CFitPoint>& sel)
{
    double f = 0.0, P = 0.0;
    s.lineSearchObjective(sel, 0.0, true, f, P);
    return f;
}

double maxError(const IndexSubset<CFitPoint>& sel)
{
    double e = 0.0;
    for (int k = 0; k < sel.count; ++k)
        e = std::max(e, std::sqrt(sel.at(k).dist2));
    return e;
}

Vector controlPoint(const NurbsSurf& s, int i, int j)
{
    Vector p(3);
    s.getControlPoint(i, j, p);
    return p;
}

struct RecordingNotification : Platform::FitNotification {
    int improved = 0;
    int ended = 0;
    int cancelAfter = -1; // set the cancel flag at this improved notification
    void notify(Kind kind) override
    {
        if (kind == IterationImproved) {
            ++improved;
            if (improved == cancelAfter)
                cancel = true;
        } else {
            ++ended;
        }
    }
};

// Progress sink that counts the sample loops (ranges of `samples`) and
// raises the interrupt request after `interruptAfter` steps.
struct InterruptingProgress : CProgress {
    int samples = 0;
    int sampleLoops = 0;
    int steps = 0;
    int interruptAfter = -1;
    bool isCancelled() override { return false; }
    void begin(int, int to) override { sampleLoops += to == samples; }
    void step(int) override
    {
        if (++steps == interruptAfter)
            Platform::onCtrlC();
    }
    void reset(int) override {}
    bool setLabel(const char*) override { return true; }
    const char* getLabel() const override { return nullptr; }
    void setCancelled(bool) override {}
};

} // namespace

TEST(NurbsSurfNewton, BicubicConvergesToSampledBicubicOfSameKnots)
{
    auto target = bicubic(0.3);
    auto s = bicubic(0.0);
    CFitPointArray pts;
    IndexSubset<CFitPoint> sel;
    sampleSurface(*target, 12, pts, sel);
    s->newtonApproximation(sel, 0, 25, false, true, 1, nullptr, 0.0, 0.0, -1.0);
    EXPECT_LT(maxError(sel), 1e-5);
    EXPECT_LT(errorSum(*s, sel), 1e-9);
    for (int k = 0; k < sel.count; ++k)
        EXPECT_NEAR(sel.at(k).AbsErr, std::sqrt(sel.at(k).dist2), 1e-15);
    for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 5; ++i)
            EXPECT_LT(norm(controlPoint(*s, i, j) - controlPoint(*target, i, j)), 1e-3)
                << i << " " << j;
}

TEST(NurbsSurfNewton, ConstraintsHoldAfterFit)
{
    auto target = bicubic(0.3);
    auto s = bicubic(0.0);
    // Lift (2, 2) so that keeping it costs the fit something.
    s->setControlPoint(2, 2, Vector(0.54, 0.5, 0.05));
    const Vector fixedBefore = controlPoint(*s, 2, 2);
    Vector southBefore[5];
    for (int i = 0; i < 5; ++i)
        southBefore[i] = controlPoint(*s, i, 0);
    s->addFixedPointConstraint(2, 2);
    s->addConstraint(new Fenwo::CBoundaryConstraint(uvSouth, Fenwo::BoundaryConstraintKind::C0Fix));
    CFitPointArray pts;
    IndexSubset<CFitPoint> sel;
    sampleSurface(*target, 10, pts, sel);
    const double before = errorSum(*s, sel);
    for (bool sparse : {true, false}) {
        s->newtonApproximation(sel, 0, 5, false, sparse, 1, nullptr, 0.0, 0.0, -1.0);
        EXPECT_LT(norm(controlPoint(*s, 2, 2) - fixedBefore), 1e-12);
        for (int i = 0; i < 5; ++i)
            EXPECT_LT(norm(controlPoint(*s, i, 0) - southBefore[i]), 1e-12) << i;
    }
    EXPECT_LT(errorSum(*s, sel), 0.5 * before);
    // The free interior point did move.
    EXPECT_GT(norm(controlPoint(*s, 3, 3) - controlPoint(*bicubic(0.0), 3, 3)), 1e-3);
}

TEST(NurbsSurfNewton, NoisyCurveFitReducesError)
{
    auto c = straightCurve(8);
    CFitPointArray pts;
    IndexSubset<CFitPoint> sel;
    sineSamples(*c, 60, 0.01, pts, sel);
    const double before = errorSum(*c, sel);
    // The two passes of the poly-line approximation: Gauss-Newton, then Newton
    // with bounded steps.
    c->newtonApproximation(sel, 0, 2, false, true, 0, nullptr, 1.0, 0.0, -1.0);
    const double afterFirst = errorSum(*c, sel);
    c->dampSteps = 1;
    c->stepLimit = 3.0;
    c->newtonApproximation(sel, 0, 3, false, true, 1, nullptr, 1.0, 0.0, -1.0);
    const double after = errorSum(*c, sel);
    EXPECT_LT(afterFirst, 0.2 * before);
    EXPECT_LE(after, afterFirst);
    // Left with roughly the noise.
    EXPECT_LT(maxError(sel), 0.03);
}

TEST(NurbsSurfNewton, TinyNormalWeightAddsNoNormalRows)
{
    // lambda 1e-9 is below the threshold: the run is that of lambda 0 even
    // though every point carries a normal.
    auto a = straightCurve(6);
    auto b = straightCurve(6);
    CFitPointArray pa, pb;
    IndexSubset<CFitPoint> sa, sb;
    sineSamples(*a, 30, 0.0, pa, sa);
    sineSamples(*b, 30, 0.0, pb, sb);
    for (int k = 0; k < pb.count; ++k)
        pb[k].Normal = Vector(0.0, 1.0, 0.0);
    a->newtonApproximation(sa, 0, 3, false, true, 1, nullptr, 0.0, 0.0, -1.0);
    b->newtonApproximation(sb, 0, 3, false, true, 1, nullptr, 1e-9, 0.0, -1.0);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(norm(controlPoint(*a, i, 0) - controlPoint(*b, i, 0)), 0.0) << i;
}

TEST(NurbsSurfNewton, NormalRowsAlignTangentsWithoutSpoilingTheFit)
{
    // Exact samples of the sine with their true normals: both the distances
    // and the normal penalty go down to nearly zero, in both variants.
    for (bool sparse : {true, false}) {
        auto c = straightCurve(10);
        CFitPointArray pts;
        IndexSubset<CFitPoint> sel;
        sineSamples(*c, 50, 0.0, pts, sel);
        for (int k = 0; k < pts.count; ++k) {
            const double x = pts[k].Point[0];
            pts[k].Normal = normalized(Vector(-0.4 * M_PI * std::cos(2.0 * M_PI * x), 1.0, 0.0));
        }
        double f0 = 0.0, P0 = 0.0;
        c->lineSearchObjective(sel, 1.0, true, f0, P0);
        c->newtonApproximation(sel, 0, 10, false, sparse, 1, nullptr, 1.0, 0.0, -1.0);
        double f = 0.0, P = 0.0;
        c->lineSearchObjective(sel, 1.0, true, f, P);
        EXPECT_LT(f, 1e-3 * f0) << sparse;
        EXPECT_LT(P, 1e-2 * P0) << sparse;
    }
}

TEST(NurbsSurfNewton, SparseAndDenseAgreeOnSmallCurve)
{
    auto target = straightCurve(6);
    for (int i = 1; i < 5; ++i)
        target->setControlPoint(i, 0, Vector(i / 5.0, 0.15 * ((i % 2) ? 1 : -1), 0.05 * i));
    CFitPointArray base;
    Vector p(3);
    for (int k = 0; k < 40; ++k) {
        const double t = (k + 0.5) / 40.0;
        target->evaluatePoint(p, t, 0.0);
        base.append(CFitPoint(p, uv2(t, 0.0)));
    }
    for (int mode : {0, 1, 2}) {
        NurbsSurf* fitted[2];
        std::unique_ptr<NurbsSurf> curves[2];
        CFitPointArray pts[2] = {base, base};
        for (int v = 0; v < 2; ++v) {
            curves[v] = straightCurve(6);
            IndexSubset<CFitPoint> sel(pts[v]);
            sel.selectAll();
            curves[v]->newtonApproximation(sel, 0, 12, false, v == 0, mode, nullptr, 0.0, 0.0,
                                           -1.0);
            EXPECT_LT(maxError(sel), 1e-4) << "mode " << mode << " sparse " << (v == 0);
            fitted[v] = curves[v].get();
        }
        for (int i = 0; i < 6; ++i)
            EXPECT_LT(norm(controlPoint(*fitted[0], i, 0) - controlPoint(*fitted[1], i, 0)), 1e-3)
                << "mode " << mode << " point " << i;
    }
}

TEST(NurbsSurfNewton, NothingHappensForEmptySelectionOrZeroIterations)
{
    auto c = straightCurve(6);
    CFitPointArray pts;
    IndexSubset<CFitPoint> sel;
    sineSamples(*c, 20, 0.0, pts, sel);
    const auto net = c->saveEuclideanNet();
    RecordingNotification note;
    Fenwo::FitOptions options;
    options.notification = &note;
    IndexSubset<CFitPoint> empty(pts);
    c->newtonApproximation(empty, 0, 5, false, true, 1, &options, 0.0, 0.0, -1.0);
    const double d2 = pts[3].dist2;
    c->newtonApproximation(sel, 0, 0, false, true, 1, &options, 0.0, 0.0, -1.0);
    EXPECT_EQ(note.improved + note.ended, 0);
    EXPECT_EQ(pts[3].dist2, d2);
    const auto after = c->saveEuclideanNet();
    for (size_t k = 0; k < net.size(); ++k)
        for (int d = 0; d < 4; ++d)
            EXPECT_EQ(net[k][d], after[k][d]);
}

TEST(NurbsSurfNewton, StopRequestsEndTheFit)
{
    // Interrupt during the first sample loop: the fit ends without a step,
    // says so, and the notification still hears of the end.
    {
        auto c = straightCurve(8);
        CFitPointArray pts;
        IndexSubset<CFitPoint> sel;
        sineSamples(*c, 40, 0.0, pts, sel);
        const auto net = c->saveEuclideanNet();
        InterruptingProgress progress;
        progress.samples = sel.count;
        progress.interruptAfter = 10;
        c->progress = &progress;
        RecordingNotification note;
        Fenwo::FitOptions options;
        options.notification = &note;
        testing::internal::CaptureStdout();
        c->newtonApproximation(sel, 0, 50, false, true, 1, &options, 0.0, 0.0, -1.0);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find("CTRL-C received, terminating on next iteration.\n"), std::string::npos);
        EXPECT_EQ(progress.sampleLoops, 1);
        EXPECT_EQ(note.ended, 1);
        EXPECT_EQ(note.improved, 0);
        const auto after = c->saveEuclideanNet();
        for (size_t k = 0; k < net.size(); ++k)
            EXPECT_EQ(norm(net[k] - after[k]), 0.0);
        c->progress = nullptr;
    }
    // The user's cancel after the first improving iteration.
    {
        auto c = straightCurve(8);
        CFitPointArray pts;
        IndexSubset<CFitPoint> sel;
        sineSamples(*c, 40, 0.01, pts, sel);
        RecordingNotification note;
        note.cancelAfter = 1;
        Fenwo::FitOptions options;
        options.notification = &note;
        c->newtonApproximation(sel, 0, 50, false, true, 1, &options, 0.0, 0.0, -1.0);
        EXPECT_EQ(note.improved, 1);
        EXPECT_EQ(note.ended, 1);
        EXPECT_TRUE(Platform::fitStopRequested());
    }
    // The error target: the median below dTol after the first iteration.
    {
        auto c = straightCurve(8);
        CFitPointArray pts;
        IndexSubset<CFitPoint> sel;
        sineSamples(*c, 40, 0.0, pts, sel);
        InterruptingProgress progress;
        progress.samples = sel.count;
        c->progress = &progress;
        testing::internal::CaptureStdout();
        c->newtonApproximation(sel, 0, 50, false, true, 1, nullptr, 0.0, 1.0, 0.5);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find("q-quantile q=0.5 dTol = 1 reached with value="), std::string::npos);
        EXPECT_EQ(progress.sampleLoops, 1);
        c->progress = nullptr;
    }
    Platform::resetFitStopFlag();
}

namespace {

// Progress sink that counts its ranges by length and answers cancelled from
// the `cancelAtRange`-th range on.
struct RangeCountingProgress : CProgress {
    std::vector<int> ranges; // the `to` of every begin
    int cancelAtRange = 0;   // 0: never
    bool isCancelled() override { return cancelAtRange > 0 && int(ranges.size()) >= cancelAtRange; }
    void begin(int, int to) override { ranges.push_back(to); }
    void step(int) override {}
    void reset(int) override {}
    bool setLabel(const char*) override { return true; }
    const char* getLabel() const override { return nullptr; }
    void setCancelled(bool) override {}
};

} // namespace

// A sample of weight 4 pulls the fit as four copies of it do: its rows and
// right-hand side carry the square root of the weight, so the solve and the
// line search minimise the same sum of w d^2, and the solver's sanity check
// (first residual against the distance sum) stays quiet.
TEST(NurbsSurfNewton, WeightedSampleActsAsRepeatedSample)
{
    struct Fit {
        std::unique_ptr<NurbsSurf> curve;
        double liftedDistance = 0.0;
        std::string output;
    };
    auto fit = [](int copies, double weight) {
        Fit r;
        r.curve = straightCurve(6);
        CFitPointArray pts;
        IndexSubset<CFitPoint> sel;
        sineSamples(*r.curve, 30, 0.0, pts, sel);
        pts[12].Point[1] += 0.1;
        pts[12].weight = weight;
        const CFitPoint lifted = pts[12];
        for (int k = 1; k < copies; ++k)
            pts.append(lifted);
        IndexSubset<CFitPoint> all(pts);
        all.selectAll();
        r.curve->PointInversion(all, 10);
        testing::internal::CaptureStdout();
        r.curve->newtonApproximation(all, 0, 5, false, true, 1, nullptr, 0.0, 0.0, -1.0);
        r.output = testing::internal::GetCapturedStdout();
        r.liftedDistance = std::sqrt(pts[12].dist2);
        return r;
    };
    const Fit weighted = fit(1, 4.0);
    const Fit repeated = fit(4, 1.0);
    const Fit plain = fit(1, 1.0);
    for (int i = 0; i < 6; ++i)
        EXPECT_LT(norm(controlPoint(*weighted.curve, i, 0) - controlPoint(*repeated.curve, i, 0)),
                  1e-9)
            << i;
    EXPECT_LT(weighted.liftedDistance, 0.9 * plain.liftedDistance);
    EXPECT_EQ(weighted.output.find("something is very wrong"), std::string::npos)
        << weighted.output;
}

// One iteration runs one sample loop, one solve and one line search. A cancel
// while the dense normal matrix is factorised leaves no direction: "Matrix is
// Singular" on the error stream, and the fit ends with the curve as it was.
TEST(NurbsSurfNewton, OneIterationAndACancelledFactorisation)
{
    CFitPointArray pts;
    IndexSubset<CFitPoint> sel;
    auto c = straightCurve(6);
    sineSamples(*c, 20, 0.0, pts, sel);
    const double before = errorSum(*c, sel);
    const auto net = c->saveEuclideanNet();
    RangeCountingProgress sink;
    c->progress = &sink;
    sink.cancelAtRange = 2; // the sample loop runs, the factorisation is cancelled
    testing::internal::CaptureStderr();
    c->newtonApproximation(sel, 0, 5, false, false, 1, nullptr, 0.0, 0.0, -1.0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Matrix is Singular\n");
    EXPECT_EQ(std::count(sink.ranges.begin(), sink.ranges.end(), 20), 1); // one sample loop
    const auto after = c->saveEuclideanNet();
    for (size_t k = 0; k < net.size(); ++k)
        for (int d = 0; d < 4; ++d)
            EXPECT_EQ(net[k][d], after[k][d]);

    sink.cancelAtRange = 0;
    sink.ranges.clear();
    c->newtonApproximation(sel, 0, 1, false, true, 1, nullptr, 0.0, 0.0, -1.0);
    EXPECT_EQ(sink.ranges, (std::vector<int>{20, 10})); // samples, then the line search's trials
    EXPECT_LT(errorSum(*c, sel), 0.5 * before);
    c->progress = nullptr;
}
