#include "foundation/PlanarGeometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

using V3 = CVertex<double, 3>;

} // namespace

TEST(PlanarGeometry, IntersectSegmentsCrossingAndMisses)
{
    double t = -1.0, s = -1.0;
    EXPECT_TRUE(intersectSegments(V3(0, 0, 0), V3(4, 0, 0), V3(1, -1, 0), V3(1, 3, 0), t, s));
    EXPECT_DOUBLE_EQ(t, 0.25);
    EXPECT_DOUBLE_EQ(s, 0.25);
    // The lines cross beyond the second segment: t is still reported.
    EXPECT_FALSE(intersectSegments(V3(0, 0, 0), V3(4, 0, 0), V3(2, 1, 0), V3(2, 3, 0), t));
    EXPECT_DOUBLE_EQ(t, 0.5);
    // Parallel and collinear overlapping segments never intersect.
    t = 7.0;
    EXPECT_FALSE(intersectSegments(V3(0, 0, 0), V3(1, 0, 0), V3(0, 1, 0), V3(1, 1, 0), t));
    EXPECT_FALSE(intersectSegments(V3(0, 0, 0), V3(2, 0, 0), V3(1, 0, 0), V3(3, 0, 0), t));
    EXPECT_EQ(t, 7.0);
    // A degenerate segment never intersects.
    EXPECT_FALSE(intersectSegments(V3(0, 0, 0), V3(0, 0, 0), V3(-1, -1, 0), V3(1, 1, 0), t));
}

TEST(PlanarGeometry, SegmentsMeetingAtEndPoints)
{
    const V3 a(0.1, 0.3, 0), b(0.7, 0.9, 0), c(0.2, 1.4, 0), d(-0.3, 0.2, 0);
    double t = -1.0;
    EXPECT_TRUE(intersectSegments(a, b, a, c, t));
    EXPECT_EQ(t, 0.0);
    EXPECT_TRUE(intersectSegments(a, b, d, a, t));
    EXPECT_EQ(t, 0.0);
    EXPECT_TRUE(intersectSegments(a, b, b, c, t));
    EXPECT_EQ(t, 1.0);
    EXPECT_TRUE(intersectSegments(a, b, c, b, t));
    EXPECT_NEAR(t, 1.0, 1e-15);
}

TEST(PlanarGeometry, ParallelTestIsScaleInvariant)
{
    // Two crossing segments at a tiny scale still intersect.
    const double k = 1e-6;
    double t = -1.0;
    EXPECT_TRUE(intersectSegments(V3(0, 0, 0), V3(k, 0, 0), V3(k / 2, -k, 0), V3(k / 2, k, 0), t));
    EXPECT_DOUBLE_EQ(t, 0.5);
}

TEST(PlanarGeometry, SignedAngle)
{
    const V3 o(1, 1, 5);
    EXPECT_NEAR(signedAngle(V3(2, 1, 0), o, V3(1, 2, 0)), std::numbers::pi / 2, 1e-15);
    EXPECT_NEAR(signedAngle(V3(1, 2, 0), o, V3(2, 1, 0)), -std::numbers::pi / 2, 1e-15);
    EXPECT_NEAR(signedAngle(V3(2, 1, 0), o, V3(0, 1, 0)), std::numbers::pi, 1e-15);
    // A zero leg: the floored norms give a right angle.
    EXPECT_NEAR(signedAngle(o, o, V3(0, 1, 0)), std::numbers::pi / 2, 1e-15);
    // Nearly straight at a tiny scale: the size stays pi (the sign is noise).
    EXPECT_NEAR(std::fabs(signedAngle(V3(0.3, 0.1, 0), V3(0.3 + 1e-9, 0.1 + 1e-9, 0),
                                      V3(0.3 + 3e-9, 0.1 + 3e-9, 0))),
                std::numbers::pi, 1e-6);
}

TEST(PlanarGeometry, PointInPolygonBoundaryCountsAsInside)
{
    // L-shaped polygon.
    Kor::List<V3*> poly;
    const double xy[][2] = {{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}};
    for (const auto& p : xy)
        poly.append(new V3(p[0], p[1], 0));
    for (bool axis : {false, true}) {
        EXPECT_TRUE(pointInPolygon(poly, V3(0.5, 0.5, 0), axis));
        EXPECT_TRUE(pointInPolygon(poly, V3(1.5, 0.5, 0), axis));
        EXPECT_FALSE(pointInPolygon(poly, V3(1.5, 1.5, 0), axis)); // the notch
        EXPECT_FALSE(pointInPolygon(poly, V3(-0.5, 0.5, 0), axis));
        EXPECT_FALSE(pointInPolygon(poly, V3(3, 0.5, 0), axis));
    }
    // On edges (axis-parallel in both directions) and on vertices.
    for (const V3& p : {V3(1, 0, 0), V3(2, 0.5, 0), V3(1.5, 1, 0), V3(1, 1.5, 0), V3(0, 1, 0),
                        V3(0, 0, 0), V3(2, 1, 0), V3(1, 1, 0), V3(1, 2, 0)})
        EXPECT_TRUE(pointInPolygon(poly, p, true)) << p[0] << "," << p[1];

    const V3* tri[3] = {poly[0], poly[1], poly[5]};
    EXPECT_TRUE(pointInVertexArray(tri, 3, V3(1, 1, 0), true)); // on the hypotenuse
    EXPECT_FALSE(pointInVertexArray(tri, 3, V3(1.1, 1.1, 0), true));
    EXPECT_FALSE(pointInVertexArray(tri, 0, V3(0, 0, 0), true));
    poly.deleteAll();
}
