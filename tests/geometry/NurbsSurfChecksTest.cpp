#include "curves/CurvePlane.h"
#include "geometry/NurbsSurf.h"
#include "platform/Diagnostics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <string>

using Fenwo::NurbsSurf;

namespace {

std::unique_ptr<NurbsSurf> polygonCurve(const std::vector<Vector>& pts, int degree = 1)
{
    const knots u(static_cast<int>(pts.size()) - 1, degree, 0.0, 1.0);
    auto c = std::make_unique<NurbsSurf>(u, nullptr);
    for (int i = 0; i < static_cast<int>(pts.size()); ++i)
        c->setControlPoint(i, 0, pts[i]);
    return c;
}

// Flat bicubic n x n net on the integer grid, z = 0.
std::unique_ptr<NurbsSurf> flatNet(int n)
{
    const knots u(n - 1, 3, 0.0, 1.0);
    auto s = std::make_unique<NurbsSurf>(u, &u);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            s->setControlPoint(i, j, Vector(i, j, 0.0));
    return s;
}

Vector point(const NurbsSurf& s, int i, int j)
{
    Vector p(3);
    s.getControlPointXYZ(p, i, j);
    return p;
}

// Cyclic cubic curve through an irregular closed polygon.
std::unique_ptr<NurbsSurf> cyclicCurve()
{
    const knots u(7, 3, 0.0, 1.0, knots::CyclicEnd);
    auto c = std::make_unique<NurbsSurf>(u, nullptr);
    const int nU = c->getUCount();
    for (int i = 0; i < nU; ++i) {
        const double a = 2.0 * M_PI * i / nU;
        const double r = 1.0 + 0.3 * ((i * 5) % 3);
        c->setControlPoint(i, 0, Vector(r * std::cos(a), r * std::sin(a), 0.1 * i),
                           1.0 + 0.2 * (i % 2));
    }
    return c;
}

} // namespace

TEST(NurbsSurfChecks, FoldTestsOnStraightFoldedAndInvalidPolygons)
{
    auto straight =
        polygonCurve({Vector(0, 0, 0), Vector(1, 0, 0), Vector(2, 0, 0), Vector(3, 0, 0)});
    EXPECT_FALSE(straight->checkTurningAngles());
    EXPECT_FALSE(straight->checkControlNetAngles());

    // A leg running back along the previous one turns by almost pi.
    auto folded =
        polygonCurve({Vector(0, 0, 0), Vector(2, 0, 0), Vector(1, 0.05, 0), Vector(3, 0, 0)});
    EXPECT_TRUE(folded->checkTurningAngles());
    EXPECT_TRUE(folded->checkControlNetAngles());

    // Two consecutive turns of 0.65 pi each: neither alone is a fold.
    const double a = 0.65 * M_PI;
    auto zigzag =
        polygonCurve({Vector(0, 0, 0), Vector(1, 0, 0), Vector(1 + std::cos(a), std::sin(a), 0),
                      Vector(1 + std::cos(a) + std::cos(2 * a), std::sin(a) + std::sin(2 * a), 0)});
    EXPECT_TRUE(zigzag->checkTurningAngles());

    auto two = polygonCurve({Vector(0, 0, 0), Vector(1, 0, 0)});
    EXPECT_FALSE(two->checkTurningAngles());
    EXPECT_TRUE(two->checkControlNetAngles()); // fewer than 4 points: not testable

    straight->valid = false;
    EXPECT_TRUE(straight->checkTurningAngles());
    EXPECT_TRUE(straight->checkControlNetAngles());
    EXPECT_FALSE(straight->untangleControlPolygon());
}

TEST(NurbsSurfChecks, UntangleSwapsZigZagOnceAndKeepsWeights)
{
    auto c = polygonCurve({Vector(0, 0, 0), Vector(2, 0, 0), Vector(1, 0, 0), Vector(3, 0, 0)});
    c->setControlPoint(1, 0, Vector(2, 0, 0), 3.0);
    EXPECT_TRUE(c->untangleControlPolygon());
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(point(*c, i, 0)[0], i, 1e-12);
    // The weight stays with its slot; the position moved.
    EXPECT_DOUBLE_EQ(c->controlPointAt(1, 0)[3], 3.0);
    EXPECT_FALSE(c->untangleControlPolygon());
    EXPECT_FALSE(c->checkTurningAngles());
}

TEST(NurbsSurfChecks, HealSpikesMovesPulledPointAndPrintsCount)
{
    auto s = flatNet(7);
    EXPECT_FALSE(s->checkControlNetAngles());
    s->setControlPoint(3, 3, Vector(3, 3, 10.0), 2.0);
    EXPECT_TRUE(s->checkControlNetAngles());

    testing::internal::CaptureStdout();
    EXPECT_FALSE(s->healSpikes(35.0)); // 1 of 49 is not more than 49 / 10
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "healed #spikes=1\n");
    for (int j = 0; j < 7; ++j)
        for (int i = 0; i < 7; ++i) {
            const Vector p = point(*s, i, j);
            EXPECT_NEAR(p[0], i, 1e-6);
            EXPECT_NEAR(p[1], j, 1e-6);
            EXPECT_NEAR(p[2], 0.0, 1e-6);
        }
    EXPECT_DOUBLE_EQ(s->controlPointAt(3, 3)[3], 2.0);
    EXPECT_FALSE(s->checkControlNetAngles());

    // A net without spikes prints nothing.
    testing::internal::CaptureStdout();
    EXPECT_FALSE(s->healSpikes(35.0));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    // Many spikes: more than a tenth of the points.
    for (int i = 1; i < 6; ++i)
        s->setControlPoint(i, 1 + (i % 2) * 4, Vector(i, 1 + (i % 2) * 4, 20.0));
    testing::internal::CaptureStdout();
    EXPECT_TRUE(s->healSpikes(35.0));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "healed #spikes=5\n");
}

// fairControlNet keeps every point it is given, so a window handed over whole
// would come back unchanged: the inner points must be left out to be faired.
TEST(NurbsSurfChecks, FairWindowRecomputesInnerPointsOfFullWindow)
{
    auto s = flatNet(7);
    s->setControlPoint(3, 3, Vector(3.2, 2.9, 0.5), 1.5);
    s->setControlPoint(0, 0, Vector(0, 0, 4.0)); // outside the window
    EXPECT_TRUE(fairControlNetWindow(1, 1, 5, 5, s.get(), 1));
    const Vector p = point(*s, 3, 3);
    EXPECT_NEAR(p[0], 3.0, 1e-6);
    EXPECT_NEAR(p[1], 3.0, 1e-6);
    EXPECT_NEAR(p[2], 0.0, 1e-6);
    EXPECT_DOUBLE_EQ(s->controlPointAt(3, 3)[3], 1.5);
    EXPECT_NEAR(point(*s, 0, 0)[2], 4.0, 1e-12);

    EXPECT_FALSE(fairControlNetWindow(0, 0, 3, 3, nullptr, 1));
    EXPECT_FALSE(fairControlNetWindow(2, 0, 2, 3, s.get(), 1));
    // Reversed and out-of-range corners are ordered and clamped.
    EXPECT_TRUE(fairControlNetWindow(9, 9, -3, -3, s.get(), 0));
}

TEST(NurbsSurfChecks, RegularizeNetEqualisesSpacingAlongRowsAndClosedPolygons)
{
    auto c = polygonCurve({Vector(0, 0, 0), Vector(0.1, 0, 0), Vector(0.2, 0, 0), Vector(3, 0, 0)});
    c->regularizeNet(false);
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(point(*c, i, 0)[0], i, 1e-12);

    // A closed square whose points crowd at one corner.
    const knots u(3, 2, 0.0, 1.0, knots::CyclicEnd);
    NurbsSurf closed(u, nullptr);
    ASSERT_EQ(closed.getUCount(), 4);
    closed.setControlPoint(0, 0, Vector(0, 0, 0));
    closed.setControlPoint(1, 0, Vector(0.5, 0, 0));
    closed.setControlPoint(2, 0, Vector(1, 0.5, 0));
    closed.setControlPoint(3, 0, Vector(0, 1, 0));
    closed.regularizeNet(true);
    // Point k sits at arc length k L / 4 along the closed polygon.
    const double L = 0.5 + std::sqrt(0.5) + std::sqrt(1.25) + 1.0;
    const double f = (L / 4 - 0.5) / std::sqrt(0.5);
    EXPECT_NEAR(norm(point(closed, 0, 0)), 0.0, 1e-12);
    EXPECT_NEAR(point(closed, 1, 0)[0], 0.5 + 0.5 * f, 1e-12);
    EXPECT_NEAR(point(closed, 1, 0)[1], 0.5 * f, 1e-12);
    EXPECT_EQ(closed.getUCount(), 4);
}

TEST(NurbsSurfChecks, SeamMoveKeepsShapeOfCyclicCurve)
{
    auto c = cyclicCurve();
    auto original = cyclicCurve();
    const Interval before = c->getDomain(0);
    const double period = before.max - before.min;
    const double t = before.min + 0.37 * period;
    ASSERT_TRUE(c->updateCyclicKnotList(t, false));
    EXPECT_EQ(c->getUCount(), original->getUCount() + 1);
    const Interval after = c->getDomain(0);
    EXPECT_NEAR(after.max - after.min, period, 1e-12);

    Vector a(3), b(3);
    c->evaluatePoint(a, after.min, 0.0);
    original->evaluatePoint(b, t, 0.0);
    EXPECT_LT(norm(a - b), 1e-9);
    for (int k = 0; k <= 40; ++k) {
        const double d = period * k / 40.0;
        c->evaluatePoint(a, after.min + d, 0.0);
        original->evaluatePoint(b, t + d, 0.0);
        EXPECT_LT(norm(a - b), 1e-9) << k;
    }

    // At an existing knot nothing is inserted; removal takes out the knot
    // inserted first, since it is removable within the tolerance.
    auto d = cyclicCurve();
    Vector knotsBefore;
    const int nBefore = d->uKnots->n;
    ASSERT_TRUE(d->updateCyclicKnotList(d->uKnots->valueAt(d->uKnots->p + 2), false));
    EXPECT_EQ(d->uKnots->n, nBefore);
    ASSERT_TRUE(c->updateCyclicKnotList(after.min + 0.5 * period, true));
    EXPECT_LE(c->getUCount(), original->getUCount() + 1);
}

TEST(NurbsSurfChecks, SeamMoveOnOpenKnotsPrintsAndChangesNothing)
{
    auto c = polygonCurve({Vector(0, 0, 0), Vector(1, 1, 0), Vector(2, 0, 0), Vector(3, 1, 0)}, 3);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(c->updateCyclicKnotList(0.5, false));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "sorry, not a cyclic knot vector! \n");
    EXPECT_EQ(c->uKnots->n, 3);
}

TEST(NurbsSurfChecks, BoundaryPositionsFromCollapsedSides)
{
    auto s = flatNet(4);
    EXPECT_TRUE(s->updateBoundaryPositions());
    EXPECT_EQ(s->degenerateSides.getCount(), 0);
    for (int i = 0; i < 4; ++i) {
        s->setControlPoint(i, 0, Vector(1, 1, 1)); // south collapsed
        s->setControlPoint(0, i, Vector(1, 1, 1)); // west collapsed
    }
    EXPECT_TRUE(s->updateBoundaryPositions());
    EXPECT_TRUE(s->updateBoundaryPositions());
    EXPECT_EQ(s->degenerateSides.getCount(), 2);
    EXPECT_TRUE(s->hasDegenerateSide(uvSouth));
    EXPECT_TRUE(s->hasDegenerateSide(uvWest));
}

TEST(NurbsSurfChecks, CurveCurvatureAtRegularPointsJointsAndPolylines)
{
    // Parabola (t, t^2): curvature 2 at t = 0, towards +y.
    auto parabola = polygonCurve({Vector(0, 0, 0), Vector(0.5, 0, 0), Vector(1, 1, 0)}, 2);
    Vector dir;
    EXPECT_NEAR(parabola->curveCurvature(0.0, dir), 2.0, 1e-9);
    EXPECT_NEAR(dir[1], 1.0, 1e-9);
    EXPECT_NEAR(parabola->getCurvature(0.0), 2.0, 1e-9);

    // A quadratic with a simple interior knot is only C1 there: the joint
    // gets the mean of the one-sided curvatures.
    auto joint =
        polygonCurve({Vector(0, 0, 0), Vector(1, 0, 0), Vector(2, 1, 0), Vector(2, 3, 0)}, 2);
    Vector d1, d2;
    const double left = joint->curveCurvature(0.5 - 1e-4, d1);
    const double right = joint->curveCurvature(0.5 + 1e-4, d2);
    EXPECT_GT(std::fabs(left - right), 0.1);
    EXPECT_NEAR(joint->curveCurvature(0.5, dir), 0.5 * (left + right), 1e-9);

    // Degree 1: turning angle against arc length. On a regular polygon of
    // 12 corners inscribed in a circle of radius R every corner turns by
    // pi/6 over a leg of 2 R sin(pi/12), at every scale; the direction points
    // to the centre.
    for (double R : {1e-3, 2.0, 5e4}) {
        std::vector<Vector> corners;
        for (int k = 0; k < 8; ++k)
            corners.push_back(Vector(R * std::cos(k * M_PI / 6), R * std::sin(k * M_PI / 6), 0));
        auto polygon = polygonCurve(corners);
        const double leg = 2.0 * R * std::sin(M_PI / 12);
        const double t = polygon->uKnots->getGrevilleAbscissa(3);
        EXPECT_NEAR(polygon->curveCurvature(t, dir), (M_PI / 6) / leg, 1e-9 / R) << R;
        EXPECT_NEAR(dir[0], -std::cos(3 * M_PI / 6), 1e-12) << R;
        EXPECT_NEAR(dir[1], -std::sin(3 * M_PI / 6), 1e-12) << R;
    }
    // A right-angled corner turns by more than 0.4 pi: no curvature, though
    // the direction still points into the corner.
    auto corner = polygonCurve({Vector(0, 0, 0), Vector(1, 0, 0), Vector(1, 1, 0)});
    EXPECT_EQ(corner->curveCurvature(0.5, dir), 0.0);
    EXPECT_NEAR(dir[0], -std::sqrt(0.5), 1e-12);
    EXPECT_NEAR(dir[1], std::sqrt(0.5), 1e-12);
    auto line = polygonCurve({Vector(0, 0, 0), Vector(1, 0, 0), Vector(2, 0, 0)});
    EXPECT_EQ(line->curveCurvature(0.5, dir), 0.0);

    EXPECT_EQ(flatNet(4)->curveCurvature(0.5, dir), 0.0);
}

TEST(NurbsSurfChecks, CurvePlaneOfPlanarCurveAndHelix)
{
    // A planar closed-looking curve in the plane z = 2.
    auto planar = polygonCurve(
        {Vector(1, 0, 2), Vector(1, 1, 2), Vector(-1, 1, 2), Vector(-1, -1, 2), Vector(0.5, -1, 2)},
        3);
    CPlane plane;
    curvePlane(*planar, plane);
    EXPECT_NEAR(std::fabs(plane.normal[2]), 1.0, 1e-9);
    EXPECT_NEAR(plane.point[2], 2.0, 1e-9);

    // A helix is off the tangent plane: the least-squares plane of its points.
    std::vector<Vector> helix;
    for (int i = 0; i < 12; ++i) {
        const double a = 2.0 * M_PI * i / 11.0;
        helix.emplace_back(std::cos(a), std::sin(a), 0.05 * i);
    }
    auto h = polygonCurve(helix, 3);
    curvePlane(*h, plane);
    EXPECT_NEAR(norm(plane.normal), 1.0, 1e-9);
    EXPECT_GT(std::fabs(plane.normal[2]), 0.9);
    EXPECT_GT(plane.point[2], 0.1); // the centroid, not the start point

    // A straight line: a plane through it, normal perpendicular to it.
    auto line = polygonCurve({Vector(0, 0, 0), Vector(1, 1, 0), Vector(2, 2, 0)}, 2);
    curvePlane(*line, plane);
    EXPECT_NEAR(norm(plane.normal), 1.0, 1e-9);
    EXPECT_NEAR(plane.normal[0] + plane.normal[1], 0.0, 1e-9);

    // A surface leaves the plane unchanged.
    CPlane untouched(Vector(7, 7, 7), Vector(0, 1, 0));
    curvePlane(*flatNet(4), untouched);
    EXPECT_EQ(untouched.point[0], 7.0);
}
