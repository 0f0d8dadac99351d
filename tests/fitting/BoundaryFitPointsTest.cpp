// Fit points from boundary and interior curves: counts per facet parameter,
// side points in the neighbouring tangent plane at the offset of the angle,
// plain curves without their ends, and the boundary plane.
#include "fitting/BoundaryFitPoints.h"
#include "foundation/Plane.h"
#include "foundation/Statistic.h"

#include "support/AnalyticCurves.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

// The straight edge from (0, 0, 0) to (10, 0, 0) of the plane z = 0.
CurveWithNormals planeEdge()
{
    return CurveWithNormals(new AnalyticLine(Vector(0.0, 0.0, 0.0), Vector(10.0, 0.0, 0.0)),
                            [](const Vector&) { return Vector(0.0, 0.0, 1.0); });
}

} // namespace

TEST(BoundaryFitPoints, BoundarySamplesAndSidePointsInTheTangentPlane)
{
    const double tol = 0.01;
    const double h = 2.0 * tol / std::atan(0.5 * std::numbers::pi / 180.0) / 10.0;
    EXPECT_NEAR(h / tol, 22.9, 0.05);
    // A plane's edge (the side vector) and an arc of a sphere (normals that
    // turn across the curve).
    CurveWithNormals edge = planeEdge();
    const CurveVector arcs = sphereCapBoundary(10.0, 4.0, 1.0);
    for (CParametricGeometry* curve : {static_cast<CParametricGeometry*>(&edge), arcs[0].get()}) {
        CFitPointArray plain, sided;
        IndexSubset<CFitPoint> plainSamples(plain), sidedSamples(sided);
        ASSERT_TRUE(sampleBoundaryCurve(curve, plain, plainSamples, 2.0 * tol, tol, 0.5, 0));
        ASSERT_TRUE(sampleBoundaryCurve(curve, sided, sidedSamples, 2.0 * tol, tol, 0.5, 1));
        const int n = plain.count;
        ASSERT_GE(n, 2);
        EXPECT_EQ(plainSamples.count, n);
        EXPECT_EQ(sided.count, 3 * n);
        EXPECT_EQ(sidedSamples.count, n);
        for (int k = 0; k < n; ++k) {
            const CFitPoint &s = sided[k], &minus = sided[n + 2 * k], &plus = sided[n + 2 * k + 1];
            EXPECT_NEAR(norm(s.Tangent), 1.0, 1e-12);
            EXPECT_NEAR(norm(s.Normal - curve->getNormal(s.uv[0], 0.0)), 0.0, 1e-12);
            EXPECT_TRUE(minus.Normal.empty());
            const Vector offset = plus.Point - s.Point;
            EXPECT_NEAR(norm(offset), h, 1e-9);
            EXPECT_NEAR(norm(minus.Point - s.Point + offset), 0.0, 1e-9);
            // Within the neighbouring surface's tangent plane, across the
            // curve (across the chord of the neighbouring samples).
            EXPECT_NEAR(dot(offset, s.Normal), 0.0, 1e-3 * h);
            EXPECT_NEAR(dot(offset, s.Tangent), 0.0, 1e-2 * h);
            if (curve == &edge) {
                EXPECT_NEAR(norm(offset - h * edge.getSideVector(s.uv[0])), 0.0, 1e-12);
            }
        }
    }
}

TEST(BoundaryFitPoints, CurveSamplesAndPlane)
{
    // A plain curve short enough for two facet parameters gives nothing; a
    // longer one its samples without the ends.
    AnalyticLine shortLine(Vector(0.0, 0.0, 0.0), Vector(0.1, 0.0, 0.0)),
        line(Vector(0.0, 0.0, 0.0), Vector(10.0, 0.0, 0.0));
    CFitPointArray points;
    IndexSubset<CFitPoint> chosen(points);
    EXPECT_TRUE(sampleCurveFitPoints(&shortLine, points, &chosen, 0.02, nullptr));
    EXPECT_EQ(points.count, 0);
    ASSERT_TRUE(sampleCurveFitPoints(&line, points, &chosen, 0.02, nullptr));
    EXPECT_GT(points.count, 0);
    EXPECT_EQ(chosen.count, points.count);
    EXPECT_GT(points[0].uv[0], 0.0);
    EXPECT_LT(points[points.count - 1].uv[0], 1.0);

    // An edge: side points either side of every facet, and the statistic of
    // its normals against the array's first point.
    CFitPointArray withEdge;
    withEdge.append(CFitPoint(Vector(0.0, 0.0, 0.0), Vector(0.0, 0.0), Vector(0.0, 0.0, -1.0)));
    CurveWithNormals edge = planeEdge();
    CStatistic aligned;
    ASSERT_TRUE(sampleCurveFitPoints(&edge, withEdge, nullptr, 0.02, &aligned));
    EXPECT_GE(aligned.count, 2);
    EXPECT_EQ(withEdge.count - 1, aligned.count + 2 * (aligned.count - 1));
    EXPECT_EQ(aligned.min, 1.0);
    EXPECT_EQ(aligned.max, 1.0);

    CPlane plane;
    EXPECT_FALSE(boundaryPlane(Kor::List<CParametricGeometry*>(), plane));
    AnalyticCircle circle(Vector(1.0, 2.0, 3.0), 2.0, 0.0, std::numbers::pi);
    Kor::List<CParametricGeometry*> one;
    one.append(&circle);
    ASSERT_TRUE(boundaryPlane(one, plane));
    EXPECT_NEAR(std::fabs(plane.normal[2]), 1.0, 1e-12);
    EXPECT_NEAR(plane.point[2], 3.0, 1e-12);
}
