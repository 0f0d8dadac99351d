// Approximation on mesh hits and the V2 refinement: a surface lying on its
// mesh comes back unchanged, held rows stay, the refinement stops at the
// tolerance and reports what it measured, and claims no success where it
// measured nothing.
#include "fitting/HitApproximation.h"
#include "fitting/RefineV2.h"

#include "fitting/FitFixtures.h"
#include "foundation/Progress.h"
#include "geometry/NurbsSurf.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>
#include <string>

namespace {

using fitfix::SurfaceFrame;

constexpr double kSize = 10.0, kHeight = 2.0;

// A bicubic in the plane z = 0.5 whose control points are spread unevenly.
std::unique_ptr<Fenwo::NurbsSurf> unevenPlanarSurface()
{
    auto s = fitfix::heightFieldSurface(6, 5, SurfaceFrame{1.0, 1.0, 5.0, 4.0}, fitfix::flat(0.5));
    Vector p(3);
    for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 6; ++i) {
            s->getControlPoint(i, j, p);
            p[0] += 0.3 * std::sin(1.7 * i + j);
            p[1] += 0.2 * std::cos(i - 2.1 * j);
            s->setControlPointPosition(i, j, p);
        }
    return s;
}

// A silent sink that keeps the step labels it was given, one a line.
class StepLabels : public CSimpleProgress {
public:
    std::string labels;
    StepLabels() { setPrint(false); }
    bool setLabel(const char* label) override
    {
        if (label != nullptr && std::strstr(label, "step (") != nullptr)
            labels += label;
        return CSimpleProgress::setLabel(label);
    }
};

bool sameKnots(const knots& a, const knots& b)
{
    if (a.n != b.n || a.p != b.p)
        return false;
    for (int k = 0; k <= a.n + a.p + 1; ++k)
        if (*a.knotAt(k) != *b.knotAt(k))
            return false;
    return true;
}

TEST(HitApproximation, SurfaceLyingOnItsMeshComesBackUnchanged)
{
    auto mesh = fitfix::heightFieldMesh(28, 7.0, fitfix::flat(0.5));
    auto s = unevenPlanarSurface();
    std::unique_ptr<Fenwo::NurbsSurf> r;
    const std::string out = mwtest::capturedStdout(
        [&] { r.reset(approximateOnHits(s.get(), mesh.get(), false, false, nullptr)); });
    ASSERT_NE(nullptr, r);
    EXPECT_TRUE(sameKnots(*s->uKnots, *r->uKnots));
    EXPECT_TRUE(sameKnots(*s->vKnots, *r->vKnots));
    Vector a(3), b(3);
    for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 6; ++i) {
            s->getControlPoint(i, j, a);
            r->getControlPoint(i, j, b);
            EXPECT_LT(std::sqrt(squaredDistance(a, b)), 1e-6 * 7.0) << i << "," << j;
        }
    EXPECT_NE(std::string::npos, out.find("start interpoaltion on 30 6,5"));
    EXPECT_NE(std::string::npos, out.find("interpolate dStat = "));
}

TEST(HitApproximation, HeldBoundaryAndTangentRowsEqualTheInput)
{
    auto mesh = fitfix::bumpMesh(40, kSize, kHeight);
    auto s = fitfix::heightFieldSurface(8, 8, SurfaceFrame{1.0, 1.0, 8.0, 8.0},
                                        fitfix::bump(kSize, kHeight), 0.2);
    std::unique_ptr<Fenwo::NurbsSurf> r(
        approximateOnHits(s.get(), mesh.get(), true, true, nullptr));
    ASSERT_NE(nullptr, r);
    bool innerMoved = false;
    for (int j = 0; j < 8; ++j)
        for (int i = 0; i < 8; ++i) {
            const Vector& p = s->controlPointAt(i, j);
            const Vector& q = r->controlPointAt(i, j);
            const bool same = std::memcmp(p.data, q.data, sizeof(double) * 4) == 0;
            if (std::min({i, j, 7 - i, 7 - j}) < 2)
                EXPECT_TRUE(same) << i << "," << j;
            else
                innerMoved = innerMoved || !same;
        }
    EXPECT_TRUE(innerMoved);
}

TEST(HitApproximation, NullMeshOrCancelGiveNothingAndCurvesTakeTheCurveRoad)
{
    auto mesh = fitfix::heightFieldMesh(28, 7.0, fitfix::flat(0.5));
    auto s = unevenPlanarSurface();
    EXPECT_EQ(nullptr, approximateOnHits(s.get(), nullptr, false, false, nullptr));
    CSimpleProgress cancelled;
    cancelled.setCancelled(true);
    EXPECT_EQ(nullptr, approximateOnHits(s.get(), mesh.get(), false, false, &cancelled));

    auto curve = clampedCurve({Vector(1.0, 1.0, 1.0), Vector(3.0, 2.0, 1.2), Vector(5.0, 4.0, 0.8),
                               Vector(6.0, 6.0, 1.0)},
                              3);
    std::unique_ptr<Fenwo::NurbsSurf> c(
        approximateOnHits(curve.get(), mesh.get(), false, false, nullptr));
    ASSERT_NE(nullptr, c);
    EXPECT_FALSE(c->isSurface());
    Vector p(3);
    for (int i = 0; i < c->getUCount(); ++i) {
        c->getControlPoint(i, 0, p);
        EXPECT_NEAR(0.5, p[2], 1e-6);
    }
}

// A curve leaving the mesh: the samples over the mesh come down onto it,
// the ones beyond its border keep their places instead of dropping out, so
// the pulled curve still ends where the curve does. A curve with fewer
// than two samples over the mesh gives none.
TEST(HitApproximation, CurveSamplesWithoutHitKeepTheCurvePoint)
{
    auto mesh = fitfix::heightFieldMesh(28, 7.0, fitfix::flat(0.5));
    auto leaving =
        clampedCurve({Vector(2.0, 3.0, 0.7), Vector(4.0, 3.5, 0.7), Vector(6.0, 3.0, 0.7),
                      Vector(8.0, 3.5, 0.7), Vector(10.0, 3.0, 0.7)},
                     3);
    std::unique_ptr<Fenwo::NurbsSurf> c(
        approximateOnHits(leaving.get(), mesh.get(), false, false, nullptr));
    ASSERT_NE(nullptr, c);
    EXPECT_NEAR(c->getPoint(c->getUMin(), 0.0)[2], 0.5, 1e-6);
    EXPECT_LT(norm(c->getPoint(c->getUMax(), 0.0) - Vector(10.0, 3.0, 0.7)), 1e-9);

    auto away = clampedCurve({Vector(6.0, 3.0, 0.7), Vector(20.0, 3.0, 0.7)}, 1);
    EXPECT_EQ(nullptr, approximateOnHits(away.get(), mesh.get(), false, false, nullptr));
}

TEST(RefineV2, SurfaceWithinToleranceTakesOneStep)
{
    auto mesh = fitfix::heightFieldMesh(28, 7.0, fitfix::flat(0.5));
    auto s = unevenPlanarSurface();
    double deviation = -2.0;
    bool ok = false;
    const std::string out = mwtest::capturedStdout(
        [&] { ok = refineV2(s.get(), mesh.get(), 1e-3, nullptr, &deviation); });
    EXPECT_TRUE(ok);
    EXPECT_EQ(1, fitfix::occurrences(out, "V2 Maximal Deviation (0.98%quantile)= "));
    EXPECT_EQ(1, fitfix::occurrences(out, "V2 success!, tolerance level reached."));
    EXPECT_GE(deviation, 0.0);
    EXPECT_LT(deviation, 1e-3);
}

TEST(RefineV2, CoarseSurfaceOnABumpGrowsUntilTheTolerance)
{
    auto mesh = fitfix::bumpMesh(60, kSize, kHeight);
    auto s =
        fitfix::heightFieldSurface(4, 4, SurfaceFrame{0.0, 0.0, kSize, kSize}, fitfix::flat(0.0));
    const double dTol = 0.01 * kHeight;
    double deviation = -2.0;
    bool ok = false;
    StepLabels sink;
    const std::string out = mwtest::capturedStdout(
        [&] { ok = refineV2(s.get(), mesh.get(), dTol, &sink, &deviation); });
    const std::string mark = "V2 Maximal Deviation (0.98%quantile)= ";
    const int steps = fitfix::occurrences(out, mark);
    EXPECT_GE(steps, 2);
    // Every step is shown against the limit of 50 steps (a run to the limit
    // grows the surface to some 340 x 340 control points: too slow here).
    std::string labels;
    for (int k = 0; k < steps; ++k)
        labels += "step (" + std::to_string(k) + "/50)\n" +
                  (k + 1 < steps ? "intermediate step (" + std::to_string(2 * k + 2) + "/100)\n"
                                 : "");
    EXPECT_EQ(sink.labels, labels);
    EXPECT_GT(s->getUCount() * s->getVCount(), 16);
    std::istringstream last(out.substr(out.rfind(mark) + mark.size()));
    double printed = -1.0;
    last >> printed;
    EXPECT_NEAR(printed, deviation, 1e-5 * std::fabs(printed));
    EXPECT_TRUE(ok);
    EXPECT_GE(deviation, 0.0);
    EXPECT_LT(deviation, dTol);
    EXPECT_EQ(1, fitfix::occurrences(out, "V2 success!, tolerance level reached."));
}

TEST(RefineV2, SurfaceOfMoreThan160000ControlPointsIsLeftAsItIs)
{
    auto mesh = fitfix::bumpMesh(20, kSize, kHeight);
    auto huge = fitfix::heightFieldSurface(401, 400, SurfaceFrame{0.0, 0.0, kSize, kSize},
                                           fitfix::flat(0.0), 0.0, 1, 1);
    const Vector before = huge->controlPointAt(200, 200);
    double deviation = 7.0;
    bool ok = true;
    const std::string out = mwtest::capturedStdout(
        [&] { ok = refineV2(huge.get(), mesh.get(), 1.0, nullptr, &deviation); });
    EXPECT_FALSE(ok);
    EXPECT_EQ(7.0, deviation);
    EXPECT_EQ(out.find("V2"), std::string::npos);
    EXPECT_EQ(huge->getUCount() * huge->getVCount(), 401 * 400);
    EXPECT_EQ(norm(huge->controlPointAt(200, 200) - before), 0.0);
}

TEST(RefineV2, NoMeshHitAtAnySpanMidpointIsNoSuccess)
{
    // Nothing measured gives no quantile: the refinement must not report the
    // tolerance reached.
    CFlatMesh empty;
    auto s =
        fitfix::heightFieldSurface(4, 4, SurfaceFrame{0.0, 0.0, kSize, kSize}, fitfix::flat(0.0));
    double deviation = 7.0;
    bool ok = true;
    const std::string out =
        mwtest::capturedStdout([&] { ok = refineV2(s.get(), &empty, 1.0, nullptr, &deviation); });
    EXPECT_FALSE(ok);
    EXPECT_EQ(7.0, deviation);
    EXPECT_EQ(out.find("V2 success!"), std::string::npos);
}

TEST(RefineV2, CancelledBeforeAnyMeasurementReportsNoSuccess)
{
    auto mesh = fitfix::bumpMesh(20, kSize, kHeight);
    auto s =
        fitfix::heightFieldSurface(4, 4, SurfaceFrame{0.0, 0.0, kSize, kSize}, fitfix::flat(0.0));
    CSimpleProgress cancelled;
    cancelled.setCancelled(true);
    double deviation = 7.0;
    EXPECT_FALSE(refineV2(s.get(), mesh.get(), 1.0, &cancelled, &deviation));
    EXPECT_EQ(7.0, deviation);
}

} // namespace
