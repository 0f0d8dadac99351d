#include "curves/StartValues.h"

#include "curves/ArcLength.h"
#include "curves/Projections.h"
#include "geometry/NurbsSurf.h"
#include "support/AnalyticCurves.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

namespace {

constexpr double kPi = std::numbers::pi;

Vector uvOf(double u, double v)
{
    Vector uv(2);
    uv[0] = u;
    uv[1] = v;
    return uv;
}

} // namespace

TEST(StartValues, CurveStartLeadsProjectionToTheNearestPointAtEveryScale)
{
    for (double radius : {1e-8, 10.0, 1e8}) {
        AnalyticCircle circle(Vector(0.0, 0.0, 0.0), radius, 0.0, 2.0 * kPi);
        const double r = 1.2 * radius; // 2 outside the circle of radius 10
        const Vector p(r * std::cos(1.0), r * std::sin(1.0), 0.0);
        double t = 5.0; // the far side: a projection from here stays there
        ASSERT_TRUE(startParameterOnCurve(circle, p, t)) << radius;
        projectPointOnCurve(&circle, p, t);
        EXPECT_NEAR(t, 1.0, 5e-4) << radius;
    }
    // Points that are not numbers give no segment distance.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    AnalyticLine broken(Vector(nan, 0.0, 0.0), Vector(1.0, nan, 0.0));
    double t = 0.25;
    EXPECT_FALSE(startParameterOnCurve(broken, Vector(0.0, 0.0, 0.0), t));
    EXPECT_EQ(t, 0.25);
}

TEST(StartValues, SurfaceStartsByInversionOnNurbsAndByCornersElsewhere)
{
    auto s = makeWavyBicubic(Interval(0.0, 1.0), Interval(0.0, 1.0));
    const Vector p = s->getPoint(0.3, 0.7) + 0.01 * s->getNormal(0.3, 0.7);
    double u = -1.0, v = -1.0;
    ASSERT_TRUE(startParametersOnSurface(s.get(), u, v, p, 10));
    EXPECT_NEAR(u, 0.3, 1e-6);
    EXPECT_NEAR(v, 0.7, 1e-6);

    AnalyticPlane plane(Vector(0.0, 0.0, 0.0), Vector(1.0, 0.0, 0.0), Vector(0.0, 1.0, 0.0),
                        Interval(0.0, 4.0), Interval(-1.0, 1.0));
    const Vector q(1.3, 0.2, 0.5);
    double ub = 0.0, vb = 0.0;
    ASSERT_TRUE(startParametersByBisection(&plane, ub, vb, q, 10));
    ASSERT_TRUE(startParametersOnSurface(&plane, u, v, q, 10));
    EXPECT_EQ(u, ub);
    EXPECT_EQ(v, vb);
    EXPECT_NEAR(u, 1.3, 4.0 / 1024);
    EXPECT_NEAR(v, 0.2, 2.0 / 1024);
}

TEST(StartValues, BisectionVisitsFourCornersPerPassAndKeepsTheFirstOfEqualOnes)
{
    struct Case {
        Vector point;
        int passes;
        double u, v;
        int evaluations;
    };
    const Case cases[] = {
        {Vector(2.0, 0.0, 1.0), 0, 0.0, -1.0, 4},  // every corner equally far: the first
        {Vector(9.0, 3.0, 0.0), 10, 4.0, 1.0, 44}, // beyond (hi, hi): exactly that corner
        {Vector(9.0, 3.0, 0.0), 0, 4.0, 1.0, 4},
    };
    for (const Case& c : cases) {
        AnalyticPlane plane(Vector(0.0, 0.0, 0.0), Vector(1.0, 0.0, 0.0), Vector(0.0, 1.0, 0.0),
                            Interval(0.0, 4.0), Interval(-1.0, 1.0));
        double u = 0.0, v = 0.0;
        ASSERT_TRUE(startParametersByBisection(&plane, u, v, c.point, c.passes));
        EXPECT_EQ(u, c.u);
        EXPECT_EQ(v, c.v);
        EXPECT_EQ(plane.evaluations, c.evaluations);
    }
}

TEST(StartValues, LengthBetweenParametersAndCachedBox)
{
    AnalyticCircle circle(Vector(1.0, -2.0, 0.5), 2.0, 0.0, 2.0 * kPi);
    EXPECT_NEAR(curveLengthBetween(circle, 0.0, kPi / 2), kPi, 1e-9);
    EXPECT_EQ(curveLengthBetween(circle, 2.5, 0.3), curveLengthBetween(circle, 0.3, 2.5));
    EXPECT_NEAR(curveLengthBetween(circle, 0.3, 2.5), 2.0 * 2.2, 1e-9);
    EXPECT_EQ(curveLengthBetween(circle, 1.1, 1.1), 0.0);

    const CBox<float, 3> box = circle.getCachedBoundingBox();
    for (int k = 0; k <= 100; ++k) {
        const Vector p = circle.getPoint(2.0 * kPi * k / 100, 0.0);
        for (int c = 0; c < 3; ++c) {
            EXPECT_LE(box.min.data[c], p[c] + 1e-6);
            EXPECT_GE(box.max.data[c], p[c] - 1e-6);
        }
    }
    const int evaluations = circle.evaluations;
    circle.getCachedBoundingBox();
    EXPECT_EQ(circle.evaluations, evaluations);
}

TEST(StartValues, UvScalesConvertSurfaceLengthsIntoTheParameterPlane)
{
    // S = (2u, 3v, 0).
    AnalyticPlane plane(Vector(0.0, 0.0, 0.0), Vector(2.0, 0.0, 0.0), Vector(0.0, 3.0, 0.0),
                        Interval(0.0, 1.0), Interval(0.0, 1.0));
    EXPECT_DOUBLE_EQ(uvDirectionScale(&plane, 0.5, 0.5, uvOf(1.0, 0.0)), 0.5);
    EXPECT_DOUBLE_EQ(uvDirectionScale(&plane, 0.5, 0.5, uvOf(0.0, 2.0)), 1.0 / 3.0);
    AnalyticPlane point(Vector(1.0, 1.0, 1.0), Vector(3), Vector(3), Interval(0.0, 1.0),
                        Interval(0.0, 1.0));
    EXPECT_EQ(uvDirectionScale(&point, 0.5, 0.5, uvOf(1.0, 0.0)), 1e16);

    CFitPointArray points;
    for (const Vector& uv : {uvOf(0.1, 0.1), uvOf(0.4, 0.1), uvOf(0.4, 0.3), uvOf(0.4, 0.3)})
        points.append(CFitPoint(plane.getPoint(uv[0], uv[1]), uv));
    IndexSubset<CFitPoint> all(points), none(points);
    all.selectAll();
    EXPECT_DOUBLE_EQ(uvToleranceAlongPoints(&plane, all, 0.03), 0.01);
    EXPECT_EQ(uvToleranceAlongPoints(&plane, none, 0.03), -1.0);
    EXPECT_EQ(uvToleranceAlongPoints(nullptr, all, 0.03), -1.0);
}
