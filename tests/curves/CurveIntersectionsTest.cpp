#include "curves/CurveIntersections.h"
#include "curves/CurveProjection.h"
#include "support/AnalyticCurves.h"

#include "geometry/NurbsSurf.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>

namespace {

constexpr double kPi = std::numbers::pi;

Kor::List<double> uniformParameters(double a, double b, int intervals)
{
    Kor::List<double> params;
    for (int k = 0; k <= intervals; ++k)
        params.append(a + (b - a) * k / intervals);
    return params;
}

// A cyclic cubic NURBS curve over [0, 1] round the hexagon of the given radius
// at height z.
std::unique_ptr<Fenwo::NurbsSurf> cyclicCurve(double radius, double z)
{
    knots u(5, 3, 0.0, 1.0, knots::CyclicEnd, knots::Uniform);
    auto c = std::make_unique<Fenwo::NurbsSurf>(u);
    for (int i = 0; i < c->getUCount(); ++i) {
        const double a = 2.0 * kPi * i / c->getUCount();
        c->setControlPoint(i, 0, Vector(radius * std::cos(a), radius * std::sin(a), z), 1.0);
    }
    return c;
}

// A rational clamped cubic wandering through space.
std::unique_ptr<Fenwo::NurbsSurf> spaceCurve()
{
    knots u(4, 3, 0.0, 1.0);
    auto c = std::make_unique<Fenwo::NurbsSurf>(u);
    const double pts[5][3] = {{0, 0, 0}, {1, 2, -1}, {2, -1, 1}, {3, 1, 2}, {4, 0, -1}};
    for (int i = 0; i < 5; ++i)
        c->setControlPoint(i, 0, Vector(pts[i][0], pts[i][1], pts[i][2]), i == 2 ? 2.0 : 1.0);
    return c;
}

// A curve whose projection does not fold, so the untangling after the
// projection leaves the control polygon as projected.
std::unique_ptr<Fenwo::NurbsSurf> gentleCurve()
{
    knots u(4, 3, 0.0, 1.0);
    auto c = std::make_unique<Fenwo::NurbsSurf>(u);
    const double pts[5][3] = {{0, 0, 0}, {1, 0.5, 0.2}, {2, 0.8, -0.1}, {3, 0.6, 0.3}, {4, 0, 0}};
    for (int i = 0; i < 5; ++i)
        c->setControlPoint(i, 0, Vector(pts[i][0], pts[i][1], pts[i][2]), i == 2 ? 2.0 : 1.0);
    return c;
}

} // namespace

TEST(IntersectCurvePlane, CircleCrossesPlaneTwice)
{
    AnalyticCircle circle(Vector(0.0, 0.0, 0.0), 2.0, 0.0, 2.0 * kPi);
    const CPlane plane(Vector(1.0, 0.0, 0.0), Vector(1.0, 0.0, 0.0));
    Kor::List<double> out;
    ASSERT_TRUE(intersectCurvePlaneIntervals(&circle, plane, uniformParameters(0.0, 2.0 * kPi, 8),
                                             out, 1e-7));
    ASSERT_EQ(out.count, 2);
    EXPECT_NEAR(out.data[0], kPi / 3.0, 1e-6);
    EXPECT_NEAR(out.data[1], 5.0 * kPi / 3.0, 1e-6);
}

TEST(IntersectCurvePlane, ClosedCurveSearchesWrapAroundInterval)
{
    // The root at angle 0 lies between the last parameter and the first one
    // plus the period; it is reported inside the domain.
    AnalyticCircle circle(Vector(0.0, 0.0, 0.0), 1.0, 0.0, 2.0 * kPi);
    const CPlane plane(Vector(0.0, 0.0, 0.0), Vector(0.0, 1.0, 0.0));
    const Kor::List<double> params = uniformParameters(0.3, 0.3 + 5.0 * kPi / 3.0, 5);
    Kor::List<double> out;
    ASSERT_TRUE(intersectCurvePlaneIntervals(&circle, plane, params, out, 1e-7));
    ASSERT_EQ(out.count, 2);
    EXPECT_NEAR(out.data[0], kPi, 1e-6);
    EXPECT_GE(out.data[1], 0.0);
    EXPECT_LE(out.data[1], 2.0 * kPi);
    EXPECT_NEAR(std::sin(out.data[1]), 0.0, 1e-6);
    EXPECT_GT(std::cos(out.data[1]), 0.0);

    // An open arc over the same parameters has no such interval.
    AnalyticCircle arc(Vector(0.0, 0.0, 0.0), 1.0, 0.3, 0.3 + 5.0 * kPi / 3.0);
    Kor::List<double> arcOut;
    ASSERT_TRUE(intersectCurvePlaneIntervals(&arc, plane, params, arcOut, 1e-7));
    EXPECT_EQ(arcOut.count, 1);
}

TEST(IntersectCurvePlane, TouchingAndMissingCurves)
{
    // The plane y = 2 touches the circle at a listed parameter: found without
    // a sign change.
    AnalyticCircle circle(Vector(0.0, 0.0, 0.0), 2.0, 0.0, kPi);
    const CPlane tangent(Vector(0.0, 2.0, 0.0), Vector(0.0, 1.0, 0.0));
    Kor::List<double> out;
    ASSERT_TRUE(
        intersectCurvePlaneIntervals(&circle, tangent, uniformParameters(0.0, kPi, 4), out, 1e-7));
    for (int k = 0; k < out.count; ++k)
        EXPECT_NEAR(out.data[k], kPi / 2.0, 1e-6);

    // A plane the curve never reaches gives nothing, even where neighbouring
    // distances are small enough to be searched.
    const CPlane above(Vector(0.0, 2.01, 0.0), Vector(0.0, 1.0, 0.0));
    Kor::List<double> none;
    EXPECT_FALSE(
        intersectCurvePlaneIntervals(&circle, above, uniformParameters(0.0, kPi, 4), none, 1e-7));
    EXPECT_EQ(none.count, 0);

    // Fewer than two parameters, or no curve.
    Kor::List<double> one;
    one.append(0.5);
    EXPECT_FALSE(intersectCurvePlaneIntervals(&circle, tangent, one, none, 1e-7));
    EXPECT_FALSE(
        intersectCurvePlaneIntervals(nullptr, tangent, uniformParameters(0, 1, 2), none, 1e-7));
}

TEST(IntersectCurvePlane, RationalNurbsRootsLieOnPlane)
{
    auto curve = spaceCurve();
    const CPlane plane(Vector(0.0, 0.0, 0.2), Vector(0.0, 0.0, 1.0));
    Kor::List<double> out;
    ASSERT_TRUE(intersectCurvePlaneIntervals(curve.get(), plane, uniformParameters(0.0, 1.0, 20),
                                             out, 1e-7));
    for (int k = 0; k < out.count; ++k) {
        EXPECT_GE(out.data[k], 0.0);
        EXPECT_LE(out.data[k], 1.0);
        EXPECT_NEAR(curve->getPoint(out.data[k], 0.0)[2], 0.2, 1e-7);
    }
}

TEST(CorrectCurveCurve, ClosestDistanceAndGap)
{
    // Skew lines 0.05 apart: along x at z = 0 and along y at z = 0.05,
    // closest at s = t = 0.5.
    AnalyticLine l1(Vector(-1.0, 0.0, 0.0), Vector(1.0, 0.0, 0.0));
    AnalyticLine l2(Vector(0.0, -1.0, 0.05), Vector(0.0, 1.0, 0.05));
    double s = 0.9;
    double t = 0.2;
    EXPECT_NEAR(correctCurveCurve(&l1, &l2, s, t, 0.0), 0.05, 1e-7);
    EXPECT_NEAR(s, 0.5, 1e-6);
    EXPECT_NEAR(t, 0.5, 1e-6);

    // With a gap wider than their distance any pair of points within the gap
    // will do, and the gap is reported.
    s = 0.9;
    t = 0.2;
    EXPECT_NEAR(correctCurveCurve(&l1, &l2, s, t, 0.1), 0.1, 1e-7);
    EXPECT_LE(norm(l1.getPoint(s, 0.0) - l2.getPoint(t, 0.0)), 0.1 + 1e-6);

    // A start already closer than the gap stays where it is.
    s = t = 0.5;
    EXPECT_NEAR(correctCurveCurve(&l1, &l2, s, t, 0.1), 0.1, 1e-12);
    EXPECT_EQ(s, 0.5);

    // Bounded curves stop at their domain: circle arc against a far line.
    AnalyticCircle arc(Vector(0.0, 0.0, 0.0), 1.0, 0.0, kPi / 2.0);
    AnalyticLine far(Vector(3.0, -1.0, 0.0), Vector(3.0, -2.0, 0.0));
    s = 1.0;
    t = 0.5;
    EXPECT_NEAR(correctCurveCurve(&arc, &far, s, t, 0.0), std::sqrt(5.0), 1e-6);
    EXPECT_NEAR(s, 0.0, 1e-6);
    EXPECT_NEAR(t, 0.0, 1e-6);

    EXPECT_EQ(correctCurveCurve(nullptr, &l2, s, t, 0.0), -1.0);
}

TEST(CorrectCurveCurve, CyclicCurvesRunUnboundedAcrossTheSeam)
{
    auto lower = cyclicCurve(2.0, 0.0);
    auto upper = cyclicCurve(2.0, 0.05);
    ASSERT_TRUE(isCyclicCurve(lower.get()));
    // Starting on both sides of the seam: the shortest way to s = t crosses it.
    double s = 0.97;
    double t = 0.03;
    EXPECT_NEAR(correctCurveCurve(lower.get(), upper.get(), s, t, 0.0), 0.05, 1e-6);
    EXPECT_GE(s, 0.0);
    EXPECT_LE(s, 1.0);
    EXPECT_GE(t, 0.0);
    EXPECT_LE(t, 1.0);
    EXPECT_NEAR(norm(lower->getPoint(s, 0.0) - upper->getPoint(t, 0.0)), 0.05, 1e-6);
}

TEST(ProjectCurveToPlane, NurbsCurveProjectsPointwise)
{
    auto curve = gentleCurve();
    // A normal of length 3: the projection is still orthogonal.
    const Vector n(1.0, 2.0, 2.0);
    const CPlane plane(Vector(0.5, 0.0, 1.0), n);
    std::unique_ptr<Fenwo::NurbsSurf> flat(projectCurveToPlane(curve.get(), plane));
    ASSERT_NE(flat, nullptr);
    const CPlane unit(plane.point, (1.0 / 3.0) * n);
    for (int k = 0; k <= 10; ++k) {
        const double u = 0.1 * k;
        const Vector p = flat->getPoint(u, 0.0);
        EXPECT_NEAR(unit.signedDistance(p), 0.0, 1e-12);
        EXPECT_NEAR(norm(p - unit.project(curve->getPoint(u, 0.0))), 0.0, 1e-12);
    }
    Vector xyz(3);
    double w = 0.0;
    flat->getControlPointAndWeight(xyz, 2, 0, w);
    EXPECT_EQ(w, 2.0);

    // Nothing projects onto a plane without a normal.
    EXPECT_EQ(projectCurveToPlane(nullptr, plane), nullptr);
    EXPECT_EQ(projectCurveToPlane(curve.get(), CPlane(Vector(0.0, 0.0, 0.0), Vector(3))), nullptr);
}
