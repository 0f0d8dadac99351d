// Boundary tightening: the side follows the curve afterwards, the far side
// keeps its shape through the replayed knots, short sides are raised, the
// nearest ends are snapped, and bad input changes nothing.
#include "fitting/BoundaryTightening.h"

#include "curves/BoundaryCurves.h"
#include "curves/Projections.h"
#include "fitting/FitFixtures.h"
#include "geometry/NurbsSurf.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

namespace {

using fitfix::SurfaceFrame;

constexpr double kTol = 1e-3;

// A cubic curve near the side y = 0 of the square [0, 10]^2: a wave in z
// 10 tol above the plane, from x0 to x1.
std::unique_ptr<Fenwo::NurbsSurf> waveCurve(double x0, double x1)
{
    std::vector<Vector> cps;
    for (int k = 0; k <= 8; ++k) {
        const double x = x0 + (x1 - x0) * k / 8.0;
        cps.push_back(
            Vector(x, 0.0, 10.0 * kTol + 0.2 * std::sin(2.0 * std::numbers::pi * x / 10.0)));
    }
    return clampedCurve(cps, 3);
}

// Largest distance of the side v = v min (or u = u min) from the curve.
double sideDistance(Fenwo::NurbsSurf& s, int side, Fenwo::NurbsSurf& curve)
{
    double worst = 0.0, t = 0.0;
    Vector P(3);
    for (int k = 0; k <= 200; ++k) {
        const double a = k / 200.0;
        if (side == 1)
            s.evaluatePoint(P, a, 0.0);
        else
            s.evaluatePoint(P, 0.0, a);
        worst = std::max(worst, double(projectPointOnCurve(&curve, P, t)));
    }
    return worst;
}

TEST(BoundaryTightening, SideFollowsTheCurveAndTheFarSideKeepsItsShape)
{
    auto s =
        fitfix::heightFieldSurface(6, 5, SurfaceFrame{0.0, 0.0, 10.0, 10.0}, fitfix::flat(0.0));
    auto curve = waveCurve(0.0, 10.0);
    const int before = s->getUCount();
    std::vector<Vector> farSide;
    for (int k = 0; k <= 20; ++k) {
        farSide.emplace_back(3);
        s->evaluatePoint(farSide.back(), k / 20.0, 1.0);
    }
    ASSERT_TRUE(tightenBoundaryCurves(*s, 1, *curve, false, true, false, true, false, kTol, 2500));
    EXPECT_GT(s->getUCount(), before);
    EXPECT_LT(sideDistance(*s, 1, *curve), 1.2 * kTol);
    Vector P(3);
    for (int k = 0; k <= 20; ++k) {
        s->evaluatePoint(P, k / 20.0, 1.0);
        EXPECT_LT(std::sqrt(squaredDistance(P, farSide[k])), 1e-9);
    }
    // The side row is the edge: its ends on the curve's ends.
    s->getControlPoint(0, 0, P);
    EXPECT_LT(std::sqrt(squaredDistance(P, curve->getStartPoint())), 1e-6);
    s->getControlPoint(-1, 0, P);
    EXPECT_LT(std::sqrt(squaredDistance(P, curve->getEndPoint())), 1e-6);
}

TEST(BoundaryTightening, ShortSidesReversedCurvesAndTightSides)
{
    // A side of two control points is raised to degree 3 first.
    auto linear = fitfix::heightFieldSurface(2, 4, SurfaceFrame{0.0, 0.0, 10.0, 10.0},
                                             fitfix::flat(0.0), 0.0, 1, 3);
    auto wave = waveCurve(0.0, 10.0);
    ASSERT_TRUE(
        tightenBoundaryCurves(*linear, 1, *wave, false, true, false, true, false, kTol, 2500));
    EXPECT_EQ(3, linear->uKnots->p);
    EXPECT_LT(sideDistance(*linear, 1, *wave), 1.2 * kTol);

    // A curve running against the side: the first control point goes to its end.
    auto s =
        fitfix::heightFieldSurface(6, 5, SurfaceFrame{0.0, 0.0, 10.0, 10.0}, fitfix::flat(0.0));
    auto reversed = waveCurve(10.0, 0.0);
    ASSERT_TRUE(
        tightenBoundaryCurves(*s, 1, *reversed, false, true, false, true, false, kTol, 2500));
    Vector P(3);
    s->getControlPoint(0, 0, P);
    EXPECT_LT(std::sqrt(squaredDistance(P, reversed->getEndPoint())), 1e-6);
    EXPECT_LT(sideDistance(*s, 1, *reversed), 1.2 * kTol);

    // A side running in v (u = u min) already on its curve: no knot inserted.
    auto t = fitfix::heightFieldSurface(6, 5, SurfaceFrame{0.0, 0.0, 10.0, 10.0},
                                        fitfix::bump(10.0, 1.0));
    std::unique_ptr<Fenwo::NurbsSurf> own(surfaceBoundaryCurves(t.get(), 3));
    const int vCount = t->getVCount();
    const std::string out = mwtest::capturedStdout([&] {
        ASSERT_TRUE(tightenBoundaryCurves(*t, 3, *own, true, true, false, true, false, kTol, 2500));
    });
    EXPECT_EQ(vCount, t->getVCount());
    EXPECT_LT(sideDistance(*t, 3, *own), kTol);
    EXPECT_NE(std::string::npos, out.find(" dStat = "));
    EXPECT_NE(std::string::npos, out.find(" aStat = "));
}

TEST(BoundaryTightening, MismatchedEdgeChangesNothing)
{
    auto s =
        fitfix::heightFieldSurface(6, 5, SurfaceFrame{0.0, 0.0, 10.0, 10.0}, fitfix::flat(0.0));
    const Fenwo::NurbsSurf entry(*s);
    auto unchanged = [&] {
        for (int j = 0; j < 5; ++j)
            for (int i = 0; i < 6; ++i)
                if (std::memcmp(s->controlPointAt(i, j).data, entry.controlPointAt(i, j).data,
                                4 * sizeof(double)) != 0)
                    return false;
        return true;
    };
    auto edge = waveCurve(0.0, 10.0); // 9 control points against 6 along u
    EXPECT_FALSE(copyEdgeToSide(s.get(), 1, edge.get(), true));
    EXPECT_FALSE(copyEdgeToSide(s.get(), 5, edge.get(), true));
    EXPECT_FALSE(copyEdgeToSide(nullptr, 1, edge.get(), true));
    EXPECT_TRUE(unchanged());
    EXPECT_TRUE(unchanged());
}

TEST(BoundaryTightening, AlignSecondRowSkipsRibbonPointsOnTheRowPoint)
{
    auto s = fitfix::heightFieldSurface(4, 4, SurfaceFrame{0.0, 0.0, 3.0, 3.0}, fitfix::flat(0.0));
    // Ribbon control points (1, k) straight above the side row of side 1,
    // except k = 2 which lies on the row point itself.
    auto ribbon = fitfix::heightFieldSurface(2, 4, SurfaceFrame{0.0, 0.0, 1.0, 3.0},
                                             fitfix::flat(0.0), 0.0, 1, 3);
    Vector row(3), second(3);
    for (int k = 0; k < 4; ++k) {
        s->getControlPoint(k, 0, row);
        ribbon->setControlPoint(1, k, k == 2 ? row : row + Vector(0.0, 0.0, 1.0));
    }
    s->getControlPoint(2, 1, second);
    ASSERT_TRUE(alignSecondRowToRibbon(*s, 1, *ribbon));
    Vector P0(3), P1(3);
    for (int k = 0; k < 4; ++k) {
        s->getControlPoint(k, 0, P0);
        s->getControlPoint(k, 1, P1);
        if (k == 2) {
            EXPECT_EQ(0.0, squaredDistance(P1, second));
        } else {
            EXPECT_NEAR(P0[0], P1[0], 1e-12); // on the vertical line through the row point
            EXPECT_NEAR(P0[1], P1[1], 1e-12);
        }
        EXPECT_TRUE(std::isfinite(P1[0]) && std::isfinite(P1[1]) && std::isfinite(P1[2]));
    }
}

} // namespace
