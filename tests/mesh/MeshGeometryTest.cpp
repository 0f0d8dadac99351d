#include "mesh/MeshGeometry.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using Point = CVertex<float, 3>;

TEST(MeshGeometry, SortUniqueAndRounding)
{
    int a[] = {5, 1, 5, 3, 1, 1};
    ASSERT_EQ(sortUnique(a, 6), 3);
    EXPECT_EQ(a[0], 1);
    EXPECT_EQ(a[1], 3);
    EXPECT_EQ(a[2], 5);
    double d[] = {2.5, -1.0, 2.5};
    ASSERT_EQ(sortUnique(d, 3), 2);
    EXPECT_EQ(d[0], -1.0);
    EXPECT_EQ(sortUnique(d, 1), 1);
    EXPECT_DOUBLE_EQ(roundToDigits(1.234567, 4), 1.23457);
    EXPECT_DOUBLE_EQ(roundToDigits(1234.0, -3), 1200.0); // two places before the point
}

TEST(MeshGeometry, TriangleNormalsDistancesAndQuality)
{
    Point n;
    EXPECT_DOUBLE_EQ(triangleNormalAndArea(Point(0, 0, 0), Point(2, 0, 0), Point(0, 2, 0), n), 2.0);
    EXPECT_TRUE((n == Point(0, 0, 1)));
    EXPECT_EQ(triangleNormalAndArea(Point(1, 1, 1), Point(1, 1, 1), Point(1, 1, 1), n), 0.0);
    EXPECT_TRUE(std::isfinite(n[0]));
    EXPECT_FLOAT_EQ(pointLineDistance2(Point(0, 3, 4), Point(5, 0, 0), Point(1, 0, 0)), 25.0f);
    const double a[2] = {0, 0}, b[2] = {2, 0}, p[2] = {3, 1};
    double t = 0;
    EXPECT_DOUBLE_EQ(pointSegmentDistance2(a, b, p, 2, &t), 2.0);
    EXPECT_DOUBLE_EQ(t, 1.5);
    EXPECT_DOUBLE_EQ(pointSegmentDistance2(a, a, p, 2, &t), 10.0);
    EXPECT_EQ(t, -1.0);
    EXPECT_NEAR(triangleQuality(1, 1, 1), 1.0, 1e-12);
    EXPECT_EQ(triangleQuality(0, 0, 0), 0.0);
    EXPECT_LT(triangleQuality(1, 1, 2), 1e-6);
    for (const Point& v : {Point(1, 2, 3), Point(0, 0, 1), Point(1, 1, 1), Point(-4, 0.5f, 0)})
        EXPECT_NEAR(dotProduct(anyPerpendicular(v), v), 0.0f, 1e-6f);
}

TEST(MeshGeometry, OrdersAndSearches)
{
    EXPECT_TRUE(isLessVertex(Point(0, 5, 5), Point(1, 0, 0)));
    EXPECT_TRUE(isLessVertex(Point(1, 0, 4), Point(1, 0, 5)));
    EXPECT_FALSE(isLessVertex(Point(1, 0, 5), Point(1, 0, 5)));
    const int p[2] = {3, 1}, q[2] = {1, 4};
    EXPECT_TRUE(lessUnorderedPair(p, q));
    EXPECT_FALSE(lessUnorderedPair(q, p));
    const int sorted[] = {1, 4, 9, 12};
    auto less = [](int x, int y) { return x < y; };
    EXPECT_EQ(findSortedRecord(9, sorted, 4, less), 2);
    EXPECT_EQ(findSortedRecord(5, sorted, 4, less), -1);
    EXPECT_EQ(findSortedRecord(5, sorted, 0, less), -1);

    // The unit square around the origin, seen in the xy plane: the nearest
    // edge is the one at distance 0.25.
    const Point square[4] = {Point(-1, -0.25f, 0), Point(1, -0.25f, 0), Point(1, 1, 0),
                             Point(-1, 1, 0)};
    int e0 = -1, e1 = -1;
    EXPECT_DOUBLE_EQ(nearestPolygonEdgeInPlane(square, 4, Point(0, 0, 0), Point(1, 0, 0),
                                               Point(0, 1, 0), e0, e1),
                     0.0625);
    EXPECT_EQ(e0, 0);
    EXPECT_EQ(e1, 1);
    EXPECT_EQ(nearestPolygonEdgeInPlane(square, 1, Point(), Point(), Point(), e0, e1), DBL_MAX);
}

} // namespace
