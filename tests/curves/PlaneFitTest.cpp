#include "curves/PlaneFit.h"

#include <gtest/gtest.h>

#include <algorithm>
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

namespace {

// Checks that (n, u, v) is a right-handed orthonormal frame and that the
// extents are the tight bounds of the points' frame coordinates.
void expectFrameBoundingPoints(const CFitPointArray& points, const Vector& n, const Vector& u,
                               const Vector& v, const Vector& centre, const double ext[4])
{
    ASSERT_TRUE(n.n == 3 && u.n == 3 && v.n == 3 && centre.n == 3);
    EXPECT_NEAR(norm(n), 1.0, 1e-12);
    EXPECT_NEAR(norm(u), 1.0, 1e-12);
    EXPECT_NEAR(dot(n, u), 0.0, 1e-12);
    EXPECT_NEAR(norm(crossProduct(n, u) - v), 0.0, 1e-12);
    if (points.count == 0)
        return;
    double lo[2] = {1e300, 1e300}, hi[2] = {-1e300, -1e300};
    for (int k = 0; k < points.count; ++k) {
        const Vector d = points[k].Point - centre;
        const double c[2] = {dot(d, u), dot(d, v)};
        for (int i = 0; i < 2; ++i) {
            lo[i] = std::min(lo[i], c[i]);
            hi[i] = std::max(hi[i], c[i]);
        }
    }
    EXPECT_NEAR(ext[0], lo[0], 1e-12);
    EXPECT_NEAR(ext[1], hi[0], 1e-12);
    EXPECT_NEAR(ext[2], lo[1], 1e-12);
    EXPECT_NEAR(ext[3], hi[1], 1e-12);
}

// A 6 x 3 grid through `origin` spanned by a (10 long) and b (2 long).
CFitPointArray gridInPlane(const Vector& origin, const Vector& a, const Vector& b)
{
    CFitPointArray points;
    for (int i = 0; i < 6; ++i)
        for (int j = 0; j < 3; ++j)
            points.append(fitPoint(origin + (2.0 * i) * a + (1.0 * j) * b));
    return points;
}

} // namespace

TEST(PlaneFit, FrameFollowsPointsUnlessNormalAxisOrCentreGiven)
{
    const Vector n = normalized(Vector(0.3, 0.5, -0.8));
    Vector a, b;
    planeBasis(n, a, b);
    CFitPointArray points = gridInPlane(Vector(3.0, -2.0, 5.0), a, b);
    IndexSubset<CFitPoint> all(points);
    all.selectAll();

    Vector normal, u, v, centre;
    double e[4];
    ASSERT_TRUE(fitPlaneFrame(all, normal, u, v, centre, e[0], e[1], e[2], e[3]));
    expectFrameBoundingPoints(points, normal, u, v, centre, e);
    EXPECT_NEAR(std::fabs(dot(normal, n)), 1.0, 1e-12);
    EXPECT_NEAR(std::fabs(dot(u, a)), 1.0, 1e-12); // the longest spread
    EXPECT_NEAR(norm(centre - centroid(all)), 0.0, 1e-12);
    EXPECT_NEAR(e[1] - e[0], 10.0, 1e-9);

    // Given normal (not unit), axis and centre are kept.
    normal = Vector(0.0, 0.0, 2.0);
    u = Vector(0.0, 1.0, 0.0);
    centre = Vector(1.0, 1.0, 1.0);
    ASSERT_TRUE(fitPlaneFrame(all, normal, u, v, centre, e[0], e[1], e[2], e[3]));
    expectFrameBoundingPoints(points, normal, u, v, centre, e);
    EXPECT_EQ(normal[2], 1.0);
    EXPECT_EQ(u[1], 1.0);
    EXPECT_EQ(centre[0], 1.0);

    // A given axis leaning on the normal is tilted into the plane.
    u = Vector(1.0, 0.0, 1.0);
    ASSERT_TRUE(fitPlaneFrame(all, normal, u, v, centre, e[0], e[1], e[2], e[3]));
    EXPECT_NEAR(norm(u - Vector(1.0, 0.0, 0.0)), 0.0, 1e-15);
}

TEST(PlaneFit, FrameNormalIsSumOfPointNormalsOnlyWhenAllHaveOne)
{
    CFitPointArray points =
        gridInPlane(Vector(0.0, 0.0, 0.0), Vector(1.0, 0.0, 0.0), Vector(0.0, 1.0, 0.0));
    for (int k = 0; k < points.count; ++k)
        points[k].Normal = k % 2 == 0 ? Vector(1.0, 0.0, 1.0) : Vector(0.0, 1.0, 1.0);
    IndexSubset<CFitPoint> all(points);
    all.selectAll();

    Vector normal, u, v, centre;
    double e[4];
    ASSERT_TRUE(fitPlaneFrame(all, normal, u, v, centre, e[0], e[1], e[2], e[3]));
    EXPECT_NEAR(norm(normal - normalized(Vector(1.0, 1.0, 2.0))), 0.0, 1e-12);
    expectFrameBoundingPoints(points, normal, u, v, centre, e);

    points[5].Normal = Vector(); // one point without: the points' plane decides
    normal = u = Vector();
    ASSERT_TRUE(fitPlaneFrame(all, normal, u, v, centre, e[0], e[1], e[2], e[3]));
    EXPECT_NEAR(std::fabs(normal[2]), 1.0, 1e-12);
}

TEST(PlaneFit, FrameOfCollinearOrNoPointsIsStillOrthonormal)
{
    CFitPointArray points;
    for (int i = 0; i < 5; ++i)
        points.append(fitPoint(Vector(1.0 + i, 2.0 + i, 3.0)));
    IndexSubset<CFitPoint> all(points);
    all.selectAll();
    Vector normal, u, v, centre;
    double e[4];
    EXPECT_FALSE(fitPlaneFrame(all, normal, u, v, centre, e[0], e[1], e[2], e[3]));
    expectFrameBoundingPoints(points, normal, u, v, centre, e);
    EXPECT_NEAR(e[1] - e[0], 4.0 * std::sqrt(2.0), 1e-12); // u along the line

    IndexSubset<CFitPoint> none(points);
    normal = u = centre = Vector();
    EXPECT_FALSE(fitPlaneFrame(none, normal, u, v, centre, e[0], e[1], e[2], e[3]));
    expectFrameBoundingPoints(CFitPointArray(), normal, u, v, centre, e);
    for (double x : e)
        EXPECT_EQ(x, 0.0);
}
