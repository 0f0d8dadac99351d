#include "foundation/FitPointGrid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

CFitPointArray makePoints(std::initializer_list<Vector> positions)
{
    CFitPointArray a;
    for (const Vector& p : positions)
        a.append(CFitPoint(p));
    return a;
}

TEST(FitPointGrid, BucketCountsFollowTheCellSizeAndAFlatAxisGetsOneBucket)
{
    // Box 10 x 4 x 0: floor(10/2 + 1) = 6, floor(4/2 + 1) = 3, flat z: 1.
    CFitPointArray pts = makePoints({Vector(0, 0, 5), Vector(10, 4, 5), Vector(3, 1, 5)});
    CFitPointGrid grid(pts, 2.0);
    EXPECT_EQ(grid.getCountX(), 6);
    EXPECT_EQ(grid.getCountY(), 3);
    EXPECT_EQ(grid.getCountZ(), 1);
    EXPECT_DOUBLE_EQ(grid.getCellSize()[0], 10.0 / 6.0);
    EXPECT_EQ(grid.getOccupiedCount(), 3);

    int i, j, k;
    const Kor::Array<int>& corner = grid.cellOf(pts[1].Point, i, j, k);
    EXPECT_EQ(i, 5);
    EXPECT_EQ(j, 2);
    EXPECT_EQ(k, 0);
    ASSERT_EQ(corner.count, 1);
    EXPECT_EQ(corner[0], 1);
    // Every point lies within half a bucket of its bucket's centre.
    for (const CFitPoint& p : pts) {
        grid.cellOf(p.Point, i, j, k);
        const Vector centre = grid.gridCellCenter(i, j, k);
        for (int a = 0; a < 3; ++a)
            EXPECT_LE(std::fabs(p.Point[a] - centre[a]), 0.5 * grid.getCellSize()[a] + 1e-12);
    }
    EXPECT_DOUBLE_EQ(grid.gridCellCenter(5, 2, 0)[0], 10.0 * 5.5 / 6.0);
    // Filling again replaces the lists instead of adding to them.
    grid.fill(pts);
    EXPECT_EQ(grid.cellOf(pts[1].Point, i, j, k).count, 1);
    EXPECT_EQ(grid.getOccupiedCount(), 3);
}

TEST(FitPointGrid, QueriesOutsideTheBoxClampToTheBorderBucket)
{
    CFitPointArray pts = makePoints({Vector(0, 0, 0), Vector(9, 9, 9), Vector(0.5, 9.0, 0.2)});
    CFitPointGrid grid(pts, 10, 10, 10);
    int i, j, k;
    grid.cellOf(Vector(-100, 50, 1e40), i, j, k);
    EXPECT_EQ(i, 0);
    EXPECT_EQ(j, 9);
    EXPECT_EQ(k, 9);

    bool found = false;
    int index = -1;
    const CFitPoint* p = grid.findNearest(Vector(-3, 20, -1), found, index);
    EXPECT_TRUE(found);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(p, &pts[2]);

    // A non-finite coordinate lands in the first bucket of its axis.
    grid.cellOf(Vector(std::nan(""), 9, 9), i, j, k);
    EXPECT_EQ(i, 0);
    EXPECT_EQ(j, 9);
}

TEST(FitPointGrid, FindNearestLooksOnlyIntoItsOwnBucket)
{
    CFitPointArray pts = makePoints(
        {Vector(0, 0, 0), Vector(10, 10, 10), Vector(6, 0, 0), Vector(4, 0, 0), Vector(4, 0, 0)});
    CFitPointGrid grid(pts, 2, 2, 2); // bucket size 10: the split is at x = 10
    bool found = true;
    int index = 7;
    // Own bucket (1, 0, 0) holds nothing although (0, 0, 0) is close.
    const CFitPoint* p = grid.findNearest(Vector(10, 1, 1), found, index);
    EXPECT_FALSE(found);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(p, &pts[0]);

    // Nearest within the bucket; equal distances: the first listed wins.
    p = grid.findNearest(Vector(5, 0, 0), found, index);
    EXPECT_TRUE(found);
    EXPECT_EQ(index, 2);
    p = grid.findNearest(Vector(4.1, 0, 0), found, index);
    EXPECT_EQ(index, 3);
    EXPECT_EQ(p, &pts[3]);
}

TEST(FitPointGrid, SingleBucketCountDoesNotDivideByZero)
{
    CFitPointArray pts = makePoints({Vector(0, 0, 0), Vector(8, 2, 1), Vector(4, 1, 0.5)});
    CFitPointGrid grid(pts, 1, 3, 1);
    EXPECT_TRUE(std::isfinite(grid.getCellSize()[0]));
    EXPECT_TRUE(std::isfinite(grid.getCellSize()[2]));
    EXPECT_DOUBLE_EQ(grid.getCellSize()[1], 1.0);
    EXPECT_EQ(grid.bucketAt(0, 0, 0).count, 1);
    EXPECT_EQ(grid.bucketAt(0, 1, 0).count, 1);
    EXPECT_EQ(grid.bucketAt(0, 2, 0).count, 1);
    // Counts below 1 count as 1.
    CFitPointGrid degenerate(pts, 0, -4, 1);
    EXPECT_EQ(degenerate.getCountX() * degenerate.getCountY() * degenerate.getCountZ(), 1);
    EXPECT_EQ(degenerate.bucketAt(0, 0, 0).count, 3);
}

TEST(FitPointGrid, EmptyArrayFindsNothingAndTouchesNoElement)
{
    CFitPointArray none;
    CFitPointGrid grid(none, 0.5);
    EXPECT_EQ(grid.getOccupiedCount(), 0);
    bool found = true;
    int index = 3;
    EXPECT_EQ(grid.findNearest(Vector(1, 2, 3), found, index), nullptr);
    EXPECT_FALSE(found);
    EXPECT_EQ(index, -1);
}

TEST(FitPointGrid, TinyCellSizeOnALargeBoxStaysWithinTheBucketLimit)
{
    CFitPointArray pts = makePoints({Vector(0, 0, 0), Vector(1e6, 1e6, 1e6)});
    CFitPointGrid grid(pts, 1e-12);
    const long total = static_cast<long>(grid.getCountX()) * grid.getCountY() * grid.getCountZ();
    EXPECT_LE(total, CFitPointGrid::kMaxBuckets);
    EXPECT_GT(total, 1);
    EXPECT_EQ(grid.getOccupiedCount(), 2);
}

TEST(FitPointGrid, NearestOverallMatchesAScanOfAllPoints)
{
    std::mt19937 gen(3);
    std::uniform_real_distribution<double> x(-1.0, 1.0);
    // A curved sheet, a flat one (zero extent in z), a line of repeated
    // points (equal distances: the lowest index must win) and a thin sheet
    // (buckets a thousand times flatter than wide).
    for (int shape = 0; shape < 4; ++shape) {
        CFitPointArray pts;
        for (int n = 0; n < 600; ++n) {
            const double a = x(gen), b = x(gen);
            if (shape == 0)
                pts.append(CFitPoint(Vector(a, b, 0.3 * a * a - 0.2 * b)));
            else if (shape == 1)
                pts.append(CFitPoint(Vector(a, b, 2.0)));
            else if (shape == 2)
                pts.append(CFitPoint(Vector(std::round(4 * a), 0, 0)));
            else
                pts.append(CFitPoint(Vector(a, b, 1e-3 * a * b)));
        }
        CFitPointGrid grid(pts, 30, 30, 30);
        for (int q = 0; q < 200; ++q) {
            const Vector p(3 * x(gen), 3 * x(gen), 3 * x(gen));
            int scan = 0;
            for (int n = 1; n < pts.count; ++n)
                if (squaredDistance(pts[n].Point, p) < squaredDistance(pts[scan].Point, p))
                    scan = n;
            int index = -1;
            const CFitPoint* nearest = grid.findNearestOverall(p, index);
            ASSERT_EQ(index, scan) << "shape " << shape << " query " << q;
            EXPECT_EQ(nearest, &pts[scan]);
        }
    }
    CFitPointArray none;
    CFitPointGrid empty(none, 1, 1, 1);
    int index = 5;
    EXPECT_EQ(empty.findNearestOverall(Vector(0, 0, 0), index), nullptr);
    EXPECT_EQ(index, -1);
}

} // namespace
