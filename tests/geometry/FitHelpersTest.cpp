#include "geometry/FitHelpers.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(FitHelpers, AnglesAndParallelism)
{
    EXPECT_NEAR(angleBetween(Vector(1.0, 0.0, 0.0), Vector(0.0, 2.0, 0.0)), M_PI / 2, 1e-15);
    EXPECT_NEAR(angleBetween(Vector(1.0, 1.0, 0.0), Vector(-3.0, -3.0, 0.0)), M_PI, 1e-7);
    EXPECT_EQ(angleBetween(Vector(1.0, 1.0, 1.0), Vector(2.0, 2.0, 2.0)), 0.0);
    EXPECT_TRUE(areParallel(Vector(1.0, 2.0, 3.0), Vector(-2.0, -4.0, -6.0)));
    EXPECT_FALSE(areParallel(Vector(1.0, 2.0, 3.0), Vector(1.0, 2.0, 3.01)));
    EXPECT_FALSE(areParallel(Vector(3), Vector(1.0, 0.0, 0.0)));
    const Vector m = lerp(Vector(0.0, 2.0, 4.0), Vector(1.0, 0.0, 8.0), 0.25);
    EXPECT_DOUBLE_EQ(m[0], 0.25);
    EXPECT_DOUBLE_EQ(m[1], 1.5);
    EXPECT_DOUBLE_EQ(m[2], 5.0);
}

TEST(FitHelpers, PointSegmentDistanceClampsButReportsTheLineParameter)
{
    const double a[2] = {0.0, 0.0};
    const double b[2] = {2.0, 0.0};
    const double p[2] = {3.0, 1.0};
    double t = 0.0;
    EXPECT_DOUBLE_EQ(pointSegmentDistance(a, b, p, 2, &t), 2.0);
    EXPECT_DOUBLE_EQ(t, 1.5);
    const double q[2] = {1.0, -2.0};
    EXPECT_DOUBLE_EQ(pointSegmentDistance(a, b, q, 2, nullptr), 4.0);
    EXPECT_DOUBLE_EQ(pointSegmentDistance(a, a, p, 2, &t), 10.0);
    EXPECT_EQ(t, -1.0);
}

TEST(FitHelpers, AxisProjectionsAndClosestPoints)
{
    const CAxis axis(Vector(0.0, 0.0, 1.0), Vector(0.0, 0.0, 4.0));
    EXPECT_DOUBLE_EQ(axis.direction[2], 1.0);
    const Vector onPlane = axis.footOnPlane(Vector(1.0, 2.0, 3.0));
    EXPECT_DOUBLE_EQ(onPlane[2], 1.0);
    const Vector onLine = axis.footOnLine(Vector(1.0, 2.0, 3.0));
    EXPECT_DOUBLE_EQ(onLine[0], 0.0);
    EXPECT_DOUBLE_EQ(onLine[2], 3.0);
    Vector u;
    Vector v;
    axis.orthonormalPair(u, v);
    EXPECT_NEAR(dot(u, axis.direction), 0.0, 1e-15);
    EXPECT_NEAR(dot(v, u), 0.0, 1e-15);
    EXPECT_NEAR(norm(v), 1.0, 1e-15);

    // Skew lines: x axis and the line through (1, 0, 2) along y.
    const CAxis A(Vector(3), Vector(2.0, 0.0, 0.0));
    const CAxis B(Vector(1.0, -3.0, 2.0), Vector(0.0, 1.0, 0.0));
    double s = 0.0;
    double t = 0.0;
    double d = 0.0;
    Vector mid;
    EXPECT_TRUE(closestPointsOfAxes(A, B, &s, &t, mid, &d));
    EXPECT_NEAR(s, 1.0, 1e-15);
    EXPECT_NEAR(t, 3.0, 1e-15);
    EXPECT_NEAR(d, 2.0, 1e-15);
    EXPECT_NEAR(mid[0], 1.0, 1e-15);
    EXPECT_NEAR(mid[1], 0.0, 1e-15);
    EXPECT_NEAR(mid[2], 1.0, 1e-15);

    // Parallel lines: A's point and its foot on the other line.
    const CAxis C(Vector(5.0, 0.0, 3.0), Vector(-1.0, 0.0, 0.0));
    EXPECT_FALSE(closestPointsOfAxes(A, C, &s, &t, mid, &d));
    EXPECT_EQ(s, 0.0);
    EXPECT_NEAR(t, 5.0, 1e-15);
    EXPECT_NEAR(d, 3.0, 1e-15);
    EXPECT_NEAR(mid[2], 1.5, 1e-15);
}
