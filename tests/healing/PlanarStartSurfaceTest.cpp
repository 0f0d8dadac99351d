#include "healing/PlanarStartSurface.h"

#include "support/NurbsFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

// Points on the 10 x 2 rectangle [0, 10] x [0, 2], z = slope x.
CFitPointArray rectanglePoints(double slope)
{
    CFitPointArray pts;
    for (int i = 0; i <= 10; ++i)
        for (int j = 0; j <= 4; ++j)
            pts.append(CFitPoint(Vector(i, 0.5 * j, slope * i)));
    return pts;
}

std::vector<Vector> corners(const Fenwo::NurbsSurf& s)
{
    std::vector<Vector> out;
    for (int j : {0, s.getVCount() - 1})
        for (int i : {0, s.getUCount() - 1}) {
            Vector p;
            s.getControlPoint(i, j, p);
            out.push_back(p);
        }
    return out;
}

} // namespace

TEST(PlanarStartSurface, PatchCoversTheRectangleWithATenthMargin)
{
    CFitPointArray pts = rectanglePoints(0.0);
    IndexSubset<CFitPoint> all(pts);
    all.selectAll();
    std::unique_ptr<Fenwo::NurbsSurf> s(planarImprintSurface(all, Vector(0, 0, 1), 1, false));
    ASSERT_TRUE(s);
    ASSERT_EQ(s->getUCount(), 2);
    ASSERT_EQ(s->getVCount(), 2);
    for (const Vector& c : corners(*s)) {
        EXPECT_NEAR(std::min(std::fabs(c[0] + 1.0), std::fabs(c[0] - 11.0)), 0.0, 1e-9) << c;
        EXPECT_NEAR(std::min(std::fabs(c[1] + 0.2), std::fabs(c[1] - 2.2)), 0.0, 1e-9) << c;
        EXPECT_NEAR(c[2], 0.0, 1e-12);
    }
    // Every point has its parameters on the patch.
    for (const CFitPoint& p : pts) {
        ASSERT_EQ(p.uv.n, 2);
        EXPECT_LT(norm(pointAt(*s, p.uv[0], p.uv[1]) - p.Point), 1e-9) << p.Point;
    }

    // Imprinted: ten steps along the long side, proportionally fewer across.
    for (bool square : {false, true}) {
        CFitPointArray again = rectanglePoints(0.0);
        IndexSubset<CFitPoint> subset(again);
        subset.selectAll();
        std::unique_ptr<Fenwo::NurbsSurf> imprinted(
            planarImprintSurface(subset, Vector(0, 0, 1), 10, square));
        ASSERT_TRUE(imprinted);
        const int a = std::max(imprinted->getUCount(), imprinted->getVCount());
        const int b = std::min(imprinted->getUCount(), imprinted->getVCount());
        EXPECT_EQ(a, 11) << square;
        EXPECT_EQ(b, square ? 11 : 3) << square;
    }
}

TEST(PlanarStartSurface, DirectionNearUnitLengthReplacesTheFittedNormal)
{
    // The points lie on the tilted plane z = 0.1 x.
    for (double length : {1.02, 1.005}) {
        CFitPointArray pts = rectanglePoints(0.1);
        IndexSubset<CFitPoint> all(pts);
        all.selectAll();
        std::unique_ptr<Fenwo::NurbsSurf> s(
            planarImprintSurface(all, Vector(0, 0, length), 1, false));
        ASSERT_TRUE(s);
        const std::vector<Vector> c = corners(*s);
        for (const Vector& p : c) {
            if (length > 1.01)
                EXPECT_NEAR(p[2], 0.1 * p[0], 1e-9) << "fitted plane";
            else
                EXPECT_NEAR(p[2], c[0][2], 1e-12) << "plane across the given direction";
        }
    }
}
