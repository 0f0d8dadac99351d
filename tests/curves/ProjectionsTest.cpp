#include "curves/Projections.h"

#include "geometry/NurbsSurf.h"
#include "support/AnalyticCurves.h"

#include <gtest/gtest.h>

#include <cmath>

using Fenwo::NurbsSurf;

namespace {

const double kScales[] = {1e-6, 1.0, 1e6};
// Residuals are formed in single precision and the line search compares
// values, so distances come out to float accuracy but parameters only to
// about the square root of it (the objective is flat to second order).
const double kParamTol = 5e-4;

Vector unitSphere(double u, double v)
{
    return Vector(std::cos(v) * std::cos(u), std::cos(v) * std::sin(u), std::sin(v));
}

// Smallest distance from p over a dense sampling of the geometry's domain.
double sampledDistance(CParametricGeometry& g, const Vector& p, int n = 400)
{
    const Interval U = g.getDomain(0), V = g.getDomain(1);
    const int nv = g.isSurface() ? n : 0;
    double best = 1e300;
    for (int i = 0; i <= n; ++i)
        for (int j = 0; j <= nv; ++j) {
            const double u = U.min + (U.max - U.min) * i / n;
            const double v = nv ? V.min + (V.max - V.min) * j / nv : 0.0;
            best = std::min(best, norm(g.getPoint(u, v) - p));
        }
    return best;
}

// A circle whose evaluation projects onto another curve first, as a curve on
// a surface or a composite curve might.
class NestedCircle : public AnalyticCircle {
public:
    NestedCircle() : AnalyticCircle(Vector(0, 0, 0), 1.0, 0.0, M_PI) {}
    Vector** evaluate(int order, double u, double v) override
    {
        double t = 0.5;
        innerT = projectPointOnCurve(&inner, Vector(0.25, 1, 0), t) >= 0.0f ? t : -1.0;
        return AnalyticCircle::evaluate(order, u, v);
    }
    AnalyticLine inner{Vector(0, 0, 0), Vector(1, 0, 0)};
    double innerT = 0.0;
};

} // namespace

TEST(Projections, PointOntoCircleAndLineIndependentOfModelScale)
{
    for (double s : kScales) {
        const Vector c = s * Vector(1, -2, 0.5);
        AnalyticCircle arc(c, s, 0.0, M_PI);
        for (double angle : {0.4, 1.3, 2.7})
            for (double radial : {0.6, 1.3}) {
                double t = 1.57;
                const Vector p = c + (radial * s) * Vector(std::cos(angle), std::sin(angle), 0);
                const float d = projectPointOnCurve(&arc, p, t);
                EXPECT_NEAR(t, angle, kParamTol) << s;
                EXPECT_NEAR(d, std::fabs(radial - 1.0) * s, 1e-5 * s) << s;
            }
        // A line, the target off it by a perpendicular offset.
        AnalyticLine line(s * Vector(1, 1, 1), s * Vector(3, 2, 1));
        const Vector p = line.getPoint(0.3, 0) + (0.5 * s) * Vector(-1, 2, 1);
        double t = 0.9;
        EXPECT_NEAR(projectPointOnCurve(&line, p, t), 0.5 * s * std::sqrt(6.0), 1e-6 * s);
        EXPECT_NEAR(t, 0.3, kParamTol);
    }
}

TEST(Projections, CurveBoundsAreRespected)
{
    AnalyticLine line(Vector(0, 0, 0), Vector(1, 0, 0));
    double t = 0.5;
    EXPECT_NEAR(projectPointOnCurve(&line, Vector(1.5, 0.2, 0), t), std::hypot(0.5, 0.2), 1e-6);
    EXPECT_EQ(t, 1.0);
    // A sub-range, given in either order.
    t = 0.2;
    projectPointOnCurveInRange(&line, Vector(0.7, 1, 0), t, 0.1, 0.4);
    EXPECT_EQ(t, 0.4);
    t = 0.2;
    projectPointOnCurveInRange(&line, Vector(0.05, 1, 0), t, 0.4, 0.1);
    EXPECT_EQ(t, 0.1);
}

TEST(Projections, RangeBeyondCurveDomainIsCutToDomain)
{
    AnalyticLine line(Vector(0, 0, 0), Vector(1, 0, 0));
    double t = 0.5;
    projectPointOnCurveInRange(&line, Vector(2.5, 0, 0), t, 0.5, 3.0);
    EXPECT_EQ(t, 1.0);
}

TEST(Projections, ClosedCurveConvergesAcrossSeam)
{
    AnalyticCircle circle(Vector(0, 0, 0), 2.0, 0.0, 2 * M_PI);
    ASSERT_TRUE(circle.isClosed());
    const Vector p(2.5 * std::cos(0.15), 2.5 * std::sin(0.15), 0);
    double t = 6.1;
    EXPECT_NEAR(projectPointOnCurve(&circle, p, t), 0.5, 1e-6);
    EXPECT_NEAR(t, 0.15, kParamTol);
    t = 0.3;
    const Vector q(2 * std::cos(-0.2), 2 * std::sin(-0.2), 0);
    const CVertex<float, 3> vq{float(q[0]), float(q[1]), float(q[2])};
    EXPECT_NEAR(projectVertexOnCurve(&circle, vq, t), 0.0, 1e-6);
    EXPECT_NEAR(t, 2 * M_PI - 0.2, kParamTol);
}

TEST(Projections, PartialRangeOnClosedCurveIsRespected)
{
    AnalyticCircle circle(Vector(0, 0, 0), 1.0, 0.0, 2 * M_PI);
    double t = 1.5;
    projectPointOnCurveInRange(&circle, Vector(std::cos(0.15), std::sin(0.15), 0), t, 1.0, 2.0);
    EXPECT_EQ(t, 1.0);
}

TEST(Projections, PointOntoPlaneAndSphereAtAllScales)
{
    for (double s : kScales) {
        AnalyticPlane plane(s * Vector(1, 2, 3), s * Vector(1, 0, 0), s * Vector(0, 1, 1),
                            Interval(0, 1), Interval(0, 2));
        const Vector n = normalized(Vector(0, -1, 1));
        double u = 0.9, v = 0.1;
        EXPECT_NEAR(projectPointOnSurface(&plane, plane.getPoint(0.3, 1.2) + (0.4 * s) * n, u, v),
                    0.4 * s, 1e-6 * s);
        EXPECT_NEAR(u, 0.3, kParamTol);
        EXPECT_NEAR(v, 1.2, kParamTol);
        // Beyond two edges: the result stays on the corner.
        u = 0.5, v = 1.0;
        projectPointOnSurface(&plane, plane.getPoint(1.5, -0.5) + s * n, u, v);
        EXPECT_EQ(u, 1.0);
        EXPECT_EQ(v, 0.0);
        // Exactly on the surface: its own parameters, no distance.
        u = 0.1, v = 1.9;
        EXPECT_NEAR(projectPointOnSurface(&plane, plane.getPoint(0.7, 0.8), u, v), 0.0, 1e-6 * s);
        EXPECT_NEAR(u, 0.7, kParamTol);
        EXPECT_NEAR(v, 0.8, kParamTol);

        const Vector c = s * Vector(1, 1, 1);
        AnalyticSphere sphere(c, s);
        u = 2.5, v = -0.3;
        EXPECT_NEAR(projectPointOnSurface(&sphere, c + (2 * s) * unitSphere(1.0, 0.4), u, v), s,
                    1e-6 * s);
        EXPECT_NEAR(u, 1.0, kParamTol);
        EXPECT_NEAR(v, 0.4, kParamTol);
    }
}

TEST(Projections, CurveOntoLineWithNonUnitDirection)
{
    for (double s : kScales) {
        AnalyticCircle arc(Vector(0, 0, 0), s, 0.0, M_PI / 2);
        double t = 0.2;
        // The line x = 0.5 s, z = s, with a direction of length 3.
        const float d = projectLineOnCurve(&arc, s * Vector(0.5, -5, 1), Vector(0, 3, 0), t);
        EXPECT_NEAR(d, s, 1e-6 * s);
        EXPECT_NEAR(t, M_PI / 3, kParamTol);
        EXPECT_NEAR(curveLineProjection().projectedLength(), s * (std::sin(M_PI / 3) + 5),
                    1e-5 * s);
    }
}

TEST(Projections, NurbsCurvesAndSurfaces)
{
    // Rational quarter circle: the nearest point to (1, 1) is its midpoint.
    NurbsSurf quarter(knots(2, 2, 0.0, 1.0, knots::ClampedEnd, knots::Uniform));
    quarter.setControlPoint(0, 0, Vector(1, 0, 0), 1.0);
    quarter.setControlPoint(1, 0, Vector(1, 1, 0), std::sqrt(0.5));
    quarter.setControlPoint(2, 0, Vector(0, 1, 0), 1.0);
    double t = 0.1;
    EXPECT_NEAR(projectPointOnCurve(&quarter, Vector(1, 1, 0), t), std::sqrt(2.0) - 1, 1e-6);
    EXPECT_NEAR(t, 0.5, kParamTol);

    // A gently curved bicubic patch.
    const knots k(3, 3, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    NurbsSurf patch(k, &k);
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i)
            patch.setControlPoint(i, j, Vector(i, j, 0.3 * std::sin(i + 0.5 * j)), 1.0);
    const Vector target = patch.getPoint(0.35, 0.6) + 0.05 * patch.getNormal(0.35, 0.6);
    double u = 0.8, v = 0.2;
    EXPECT_NEAR(projectPointOnSurface(&patch, target, u, v), 0.05, 1e-5);
    EXPECT_NEAR(u, 0.35, kParamTol);
    EXPECT_NEAR(v, 0.6, kParamTol);
}

TEST(Projections, CyclicSurfaceResultWrappedIntoDomain)
{
    // A cylinder-like surface, cyclic in u, and its cyclic base curve.
    const knots cyc(7, 3, 0.0, 1.0, knots::CyclicEnd, knots::Uniform);
    const knots lin(1, 1, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    NurbsSurf surface(cyc, &lin);
    NurbsSurf curve(cyc);
    const int n = surface.getUCount();
    for (int i = 0; i < n; ++i) {
        const Vector ring(std::cos(2 * M_PI * i / n), std::sin(2 * M_PI * i / n), 0);
        surface.setControlPoint(i, 0, ring);
        surface.setControlPoint(i, 1, ring + Vector(0, 0, 1));
        curve.setControlPoint(i, 0, ring);
    }
    const Interval U = surface.getDomain(0);
    const double period = U.max - U.min;
    // The target sits just past the seam, the start just before it.
    const Vector p = surface.getPoint(U.min + 0.05 * period, 0.5) + Vector(0.05, 0.05, 0);
    double u = U.max - 0.05 * period, v = 0.5;
    const float d = projectPointOnSurface(&surface, p, u, v);
    EXPECT_GE(u, U.min);
    EXPECT_LE(u, U.max);
    const double sampled = sampledDistance(surface, p, 150);
    EXPECT_LE(d, sampled + 1e-6);
    EXPECT_GE(d, sampled - 1e-3);

    ASSERT_TRUE(curve.isClosed());
    const Vector q = curve.getPoint(U.min + 0.05 * period, 0) * 1.2;
    double t = U.max - 0.05 * period;
    const float dc = projectPointOnCurve(&curve, q, t);
    EXPECT_GE(t, U.min);
    EXPECT_LE(t, U.max);
    EXPECT_NEAR(dc, sampledDistance(curve, q, 4000), 1e-5);
    EXPECT_NEAR(dc, norm(curve.getPoint(t, 0) - q), 1e-6);
}

TEST(Projections, NullGeometryFailsAndLeavesParameters)
{
    double t = 0.25, u = 0.5, v = 0.75;
    EXPECT_EQ(projectPointOnCurve(nullptr, Vector(1, 2, 3), t), -1.0f);
    EXPECT_EQ(projectLineOnCurve(nullptr, Vector(1, 2, 3), Vector(0, 0, 1), t), -1.0f);
    EXPECT_EQ(projectPointOnSurface(nullptr, Vector(1, 2, 3), u, v), -1.0f);
    EXPECT_EQ(t, 0.25);
    EXPECT_EQ(u, 0.5);
    EXPECT_EQ(v, 0.75);
}

TEST(Projections, NestedProjectionDoesNotDisturbOuterOne)
{
    NestedCircle circle;
    double t = 0.3;
    const float d =
        projectPointOnCurve(&circle, Vector(2 * std::cos(2.0), 2 * std::sin(2.0), 0), t);
    EXPECT_NEAR(t, 2.0, kParamTol);
    EXPECT_NEAR(d, 1.0, 1e-6);
    EXPECT_NEAR(circle.innerT, 0.25, kParamTol);
}
