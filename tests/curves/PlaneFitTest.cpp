#include "curves/PlaneFit.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

CFitPoint fitPoint(const Vector& p)
{
    CFitPoint f;
    f.Point = p;
    return f;
}

// Two unit vectors spanning the plane orthogonal to the unit vector n.
void planeBasis(const Vector& n, Vector& a, Vector& b)
{
    const Vector helper = std::fabs(n[0]) < 0.9 ? Vector(1.0, 0.0, 0.0) : Vector(0.0, 1.0, 0.0);
    a = normalized(helper - dot(helper, n) * n);
    b = Vector(n[1] * a[2] - n[2] * a[1], n[2] * a[0] - n[0] * a[2], n[0] * a[1] - n[1] * a[0]);
}

} // namespace

TEST(PlaneFit, CoplanarPointsGiveTheirPlaneAtEveryScaleEvenWithSingularScatter)
{
    // Normals include axis directions (an exactly singular scatter matrix) and
    // one orthogonal to the uniform start vector of the eigen solvers.
    const Vector normals[] = {Vector(0.0, 0.0, 1.0), normalized(Vector(1.0, -1.0, 0.0)),
                              normalized(Vector(0.3, 0.5, -0.8))};
    for (double scale : {1e-6, 1e-3, 1.0, 1e3, 1e6}) {
        for (const Vector& n : normals) {
            Vector a, b;
            planeBasis(n, a, b);
            const Vector origin = scale * Vector(3.0, -2.0, 5.0);
            CFitPointArray points;
            for (int i = 0; i < 5; ++i)
                for (int j = 0; j < 4; ++j)
                    points.append(
                        fitPoint(origin + scale * ((i - 2.0) * a + (0.7 * j * j - 1.0) * b)));

            Vector c, normal;
            ASSERT_TRUE(fitPlane(points, c, normal)) << "scale " << scale;
            EXPECT_NEAR(std::fabs(dot(normal, n)), 1.0, 1e-9) << "scale " << scale;
            EXPECT_NEAR(norm(normal), 1.0, 1e-12);
            // Every point lies on the fitted plane.
            for (int k = 0; k < points.count; ++k)
                EXPECT_NEAR(dot(points.data[k].Point - c, normal), 0.0, 1e-9 * scale);

            // The axis of the same points runs along their longer extent (the
            // b direction spreads most: 0.7 j^2 - 1 spans 6.3 against 4).
            Vector c2, axis;
            ASSERT_TRUE(fitAxisToSubset(
                [&] {
                    IndexSubset<CFitPoint> all(points);
                    all.selectAll();
                    return all;
                }(),
                c2, axis));
            EXPECT_NEAR(norm(c2 - c), 0.0, 1e-12 * scale);
            EXPECT_NEAR(dot(axis, n), 0.0, 1e-6);
        }
    }
}

TEST(PlaneFit, SubsetUsesOnlyItsPoints)
{
    // Points of the plane z = 1 plus two outliers that are not selected.
    CFitPointArray points;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            points.append(fitPoint(Vector(i, j, 1.0)));
    points.append(fitPoint(Vector(0.0, 0.0, 50.0)));
    points.append(fitPoint(Vector(9.0, 0.0, -40.0)));
    IndexSubset<CFitPoint> subset(points);
    for (int k = 0; k < 9; ++k)
        subset.append(k);

    Vector c, normal;
    ASSERT_TRUE(fitPlaneToSubset(subset, c, normal));
    EXPECT_NEAR(norm(c - Vector(1.0, 1.0, 1.0)), 0.0, 1e-12);
    EXPECT_NEAR(std::fabs(normal[2]), 1.0, 1e-12);
}

TEST(PlaneFit, DegenerateSetsReportFailure)
{
    CFitPointArray none;
    Vector c, normal;
    EXPECT_FALSE(fitPlane(none, c, normal));
    EXPECT_EQ(norm(normal), 0.0);
    EXPECT_EQ(norm(c), 0.0);

    CFitPointArray same;
    for (int k = 0; k < 4; ++k)
        same.append(fitPoint(Vector(2.0, 3.0, 4.0)));
    EXPECT_FALSE(fitPlane(same, c, normal));
    EXPECT_NEAR(norm(c - Vector(2.0, 3.0, 4.0)), 0.0, 1e-15);
    IndexSubset<CFitPoint> sameAll(same);
    sameAll.selectAll();
    Vector axis;
    EXPECT_FALSE(fitAxisToSubset(sameAll, c, axis));
    EXPECT_EQ(norm(axis), 0.0);

    // Collinear points fix an axis but no plane.
    CFitPointArray line;
    for (int k = 0; k < 5; ++k)
        line.append(fitPoint(Vector(k, 2.0 * k, 0.0)));
    EXPECT_FALSE(fitPlane(line, c, normal));
    EXPECT_EQ(norm(normal), 0.0);
    IndexSubset<CFitPoint> lineAll(line);
    lineAll.selectAll();
    ASSERT_TRUE(fitAxisToSubset(lineAll, c, axis));
    EXPECT_NEAR(std::fabs(dot(axis, normalized(Vector(1.0, 2.0, 0.0)))), 1.0, 1e-9);
}
