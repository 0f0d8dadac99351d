#include "foundation/ConvexHull2D.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace {

Kor::List<Vector> pointsOf(std::initializer_list<std::pair<double, double>> xy)
{
    Kor::List<Vector> list;
    for (const auto& p : xy)
        list.append(Vector(p.first, p.second, 0.0));
    return list;
}

double turn(const Vector& a, const Vector& b, const Vector& c)
{
    return (b[0] - a[0]) * (c[1] - b[1]) - (b[1] - a[1]) * (c[0] - b[0]);
}

} // namespace

TEST(ConvexHull2D, FewPointsAreAllKept)
{
    // Even a collinear triple is kept whole.
    const CConvexHull2D tri(pointsOf({{0, 0}, {1, 1}, {2, 2}}));
    ASSERT_EQ(tri.getCount(), 3);
    EXPECT_EQ(tri.hull.indices[2], 2);
    const CConvexHull2D none(pointsOf({}));
    EXPECT_EQ(none.getCount(), 0);
}

TEST(ConvexHull2D, DropsCollinearAndInteriorPoints)
{
    // Square with edge midpoints and a centre point; pivot is (1, 0)
    // (lowest y, then largest x).
    const CConvexHull2D h(pointsOf(
        {{0.5, 0.5}, {0, 0}, {0.5, 0}, {1, 0}, {1, 0.5}, {1, 1}, {0.5, 1}, {0, 1}, {0, 0.5}}));
    EXPECT_EQ(h.centre[0], 1.0);
    EXPECT_EQ(h.centre[1], 0.0);
    // Closed walk: the start is listed again at the end.
    ASSERT_EQ(h.getCount(), 5);
    EXPECT_EQ(h.hull.indices[0], h.hull.indices[4]);
    std::set<std::pair<double, double>> corners;
    for (int i = 0; i < 4; ++i)
        corners.insert({h.hullPoint(i)[0], h.hullPoint(i)[1]});
    const std::set<std::pair<double, double>> expected{{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    EXPECT_EQ(corners, expected);
    for (int i = 0; i + 2 < 5; ++i)
        EXPECT_GT(turn(h.hullPoint(i), h.hullPoint(i + 1), h.hullPoint(i + 2)), 0.0);
}

TEST(ConvexHull2D, RandomCloudLiesInsideCounterClockwiseHull)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-5.0, 5.0);
    Kor::List<Vector> cloud;
    for (int i = 0; i < 200; ++i)
        cloud.append(Vector(u(rng), u(rng), 0.0));
    const CConvexHull2D h(cloud);
    const int m = h.getCount();
    ASSERT_GE(m, 4);
    EXPECT_EQ(h.hull.indices[0], h.hull.indices[m - 1]);
    for (int i = 0; i + 1 < m; ++i) {
        const Vector& a = h.hullPoint(i);
        const Vector& b = h.hullPoint(i + 1);
        for (int k = 0; k < cloud.count; ++k)
            EXPECT_GE(turn(a, b, cloud[k]), -1e-9) << "point " << k << " outside edge " << i;
    }
}
