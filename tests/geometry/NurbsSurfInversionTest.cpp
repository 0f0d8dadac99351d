#include "geometry/NurbsSurf.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

using Fenwo::NurbsSurf;

namespace {

// Uniform clamped bicubic of 20 x 20 control points on [0, 1]^2 over a wavy
// height field, coordinates scaled by `scale`; weights in [0.7, 1.3] when
// rational.
std::unique_ptr<NurbsSurf> wavyBicubic(double scale = 1.0, bool rational = false)
{
    const knots u(19, 3, 0.0, 1.0);
    const knots v(19, 3, 0.0, 1.0);
    auto s = std::make_unique<NurbsSurf>(u, &v);
    for (int j = 0; j < 20; ++j)
        for (int i = 0; i < 20; ++i) {
            const Vector p(scale * i, scale * j,
                           scale * (1.5 * std::sin(0.45 * i) * std::cos(0.3 * j) + 0.05 * i));
            const double w = rational ? 1.0 + 0.3 * std::sin(1.3 * i + 0.7 * j) : 1.0;
            s->setControlPoint(i, j, p, w);
        }
    return s;
}

// Cubic curve of 8 control points on [0, 1] along a gentle arc.
std::unique_ptr<NurbsSurf> cubicCurve()
{
    const knots u(7, 3, 0.0, 1.0);
    auto c = std::make_unique<NurbsSurf>(u, nullptr);
    for (int i = 0; i < 8; ++i)
        c->setControlPoint(i, 0, Vector(i, 0.3 * std::sin(0.6 * i), 0.1 * i));
    return c;
}

struct SurfacePoint {
    Vector S, Su, Sv, N; // position, first derivatives, unit normal Su x Sv
};

// a / |a| at any scale (normalized() gives zero below 1e-9).
Vector unit(const Vector& a)
{
    return a / norm(a);
}

SurfacePoint surfaceAt(NurbsSurf& s, double u, double v)
{
    Vector** T = s.computeDerivatives(1, u, v, nullptr);
    SurfacePoint sp{T[0][0], T[1][0], T[0][1], unit(crossProduct(T[1][0], T[0][1]))};
    NurbsSurf::freeDerivativeTable(T, 1);
    return sp;
}

CFitPoint pointAt(const Vector& position, double u, double v)
{
    Vector uv(2);
    uv[0] = u;
    uv[1] = v;
    return CFitPoint(position, uv);
}

IndexSubset<CFitPoint> all(CFitPointArray& a)
{
    IndexSubset<CFitPoint> s(a, a.count);
    s.selectAll();
    return s;
}

// Points offset by +-0.01 scale along the normal at known interior
// parameters; start values displaced by (0.02, -0.015).
void expectRecoveredParameters(NurbsSurf& s, double scale)
{
    CFitPointArray pts;
    Vector truth(0);
    const double us[] = {0.17, 0.33, 0.5, 0.71, 0.9};
    const double vs[] = {0.12, 0.41, 0.66, 0.85};
    for (double u : us)
        for (double v : vs) {
            const SurfacePoint sp = surfaceAt(s, u, v);
            const double sign = pts.count % 2 == 0 ? 1.0 : -1.0;
            pts.append(pointAt(sp.S + (sign * 0.01 * scale) * sp.N, u + 0.02, v - 0.015));
        }
    IndexSubset<CFitPoint> subset = all(pts);
    EXPECT_GT(s.PointInversion(subset, 10), 0);
    int m = 0;
    for (double u : us)
        for (double v : vs) {
            const CFitPoint& p = pts[m];
            SCOPED_TRACE("u=" + std::to_string(u) + " v=" + std::to_string(v));
            EXPECT_NEAR(p.uv[0], u, 1e-8);
            EXPECT_NEAR(p.uv[1], v, 1e-8);
            EXPECT_NEAR(p.dist2, 1e-4 * scale * scale, 1e-10 * scale * scale);
            // r = S - P points against the offset: +N gives side -1.
            EXPECT_EQ(p.side, m % 2 == 0 ? -1 : 1);
            EXPECT_EQ(p.boundary, 0);
            ++m;
        }
}

} // namespace

TEST(NurbsSurfInversion, OffsetSamplesInvertToTheirParametersSideAndDistance)
{
    expectRecoveredParameters(*wavyBicubic(), 1.0);
    expectRecoveredParameters(*wavyBicubic(1.0, true), 1.0);
}

TEST(NurbsSurfInversion, ScaledModelsInvertLikeTheUnitModel)
{
    // At 1e-9 the 2 x 2 Hessian is of order 1e-18 (an absolute pivot test
    // would call it singular); at 1e8 the first squared distance is 1e12,
    // above any fixed "best so far" start value.
    expectRecoveredParameters(*wavyBicubic(1e-9), 1e-9);
    expectRecoveredParameters(*wavyBicubic(1e8), 1e8);
}

TEST(NurbsSurfInversion, ControlIndicesNameTheLargestBasisFunction)
{
    auto s = wavyBicubic();
    CFitPointArray pts;
    // At the Greville abscissa of control point i of uniform cubic knots
    // (an interior knot) basis function i is the largest (2/3).
    const int is[] = {4, 9, 15};
    const int js[] = {3, 12};
    for (int i : is)
        for (int j : js) {
            const double u = s->uKnots->getGrevilleAbscissa(i);
            const double v = s->vKnots->getGrevilleAbscissa(j);
            const SurfacePoint sp = surfaceAt(*s, u, v);
            pts.append(pointAt(sp.S + 0.01 * sp.N, u - 0.01, v + 0.01));
        }
    IndexSubset<CFitPoint> subset = all(pts);
    s->PointInversion(subset, 10);
    int m = 0;
    for (int i : is)
        for (int j : js) {
            EXPECT_EQ(pts[m].uIndex, i);
            EXPECT_EQ(pts[m].vIndex, j);
            ++m;
        }
}

TEST(NurbsSurfInversion, PointsBeyondAnEdgeEndOnItWithTheBoundaryFlag)
{
    auto s = wavyBicubic();
    CFitPointArray pts;
    // Beyond the v maximum edge: outward along S_v and a little above.
    const SurfacePoint e = surfaceAt(*s, 0.4, 1.0);
    pts.append(pointAt(e.S + 0.5 * unit(e.Sv) + 0.05 * e.N, 0.45, 0.8));
    // Beyond the corner (u max, v min).
    const SurfacePoint c = surfaceAt(*s, 1.0, 0.0);
    pts.append(pointAt(c.S + 0.5 * unit(c.Su) - 0.5 * unit(c.Sv), 0.9, 0.1));
    IndexSubset<CFitPoint> subset = all(pts);
    s->PointInversion(subset, 10);

    EXPECT_EQ(pts[0].uv[1], 1.0);
    EXPECT_EQ(pts[0].boundary, 4);
    EXPECT_NEAR(pts[0].uv[0], 0.4, 0.02);
    // Stationary along the edge and nearer than the foot it started from.
    Vector** T = s->computeDerivatives(1, pts[0].uv[0], 1.0, nullptr);
    const Vector r = T[0][0] - pts[0].Point;
    EXPECT_NEAR(dot(r, T[1][0]) / (norm(r) * norm(T[1][0])), 0.0, 1e-9);
    EXPECT_NEAR(pts[0].dist2, normSquared(r), 1e-12);
    NurbsSurf::freeDerivativeTable(T, 1);

    EXPECT_EQ(pts[1].uv[0], 1.0);
    EXPECT_EQ(pts[1].uv[1], 0.0);
    EXPECT_TRUE(pts[1].boundary == 2 || pts[1].boundary == 3) << pts[1].boundary;
    EXPECT_NEAR(pts[1].dist2, squaredDistance(c.S, pts[1].Point), 1e-12);
}

TEST(NurbsSurfInversion, StartOnABoundGetsFourTimesTheIterationBudget)
{
    auto s = wavyBicubic();
    const SurfacePoint sp = surfaceAt(*s, 0.3, 0.5);
    const Vector P = sp.S + 0.01 * sp.N;
    // Within (umax - umin) / 500 of u min: snapped onto the bound, which
    // the iteration has to release before it can travel to u = 0.3.
    CFitPointArray snapped;
    snapped.append(pointAt(P, 0.001, 0.5));
    IndexSubset<CFitPoint> a = all(snapped);
    const long snappedIterations = s->PointInversion(a, 2);
    EXPECT_GT(snappedIterations, 3);
    EXPECT_LE(snappedIterations, 9);
    EXPECT_NEAR(snapped[0].uv[0], 0.3, 1e-8);
    EXPECT_EQ(snapped[0].boundary, 0);

    CFitPointArray free;
    free.append(pointAt(P, 0.01, 0.5));
    IndexSubset<CFitPoint> b = all(free);
    EXPECT_LE(s->PointInversion(b, 2), 3);
}

TEST(NurbsSurfInversion, StateTwoKeepsParametersAndStateThreeMovesAcrossItsDirection)
{
    auto s = wavyBicubic();
    const SurfacePoint sp = surfaceAt(*s, 0.6, 0.3);
    CFitPointArray pts;
    pts.append(pointAt(sp.S + 0.01 * sp.N, 0.55, 0.35));
    pts[0].state = 2;
    pts[0].boundary = 9;
    pts.append(pointAt(sp.S + 0.01 * sp.N, 0.55, 0.35));
    pts[1].state = 3;
    pts[1].dirU = 2.0; // not unit: only its direction counts
    pts[1].dirV = 0.0;
    IndexSubset<CFitPoint> subset = all(pts);
    s->PointInversion(subset, 10);

    EXPECT_EQ(pts[0].uv[0], 0.55);
    EXPECT_EQ(pts[0].uv[1], 0.35);
    Vector S;
    s->evaluatePoint(S, 0.55, 0.35);
    EXPECT_NEAR(pts[0].dist2, squaredDistance(S, pts[0].Point), 1e-14);
    EXPECT_EQ(pts[0].boundary, 9);

    // Only v moves, to the nearest point on the line u = 0.55.
    EXPECT_EQ(pts[1].uv[0], 0.55);
    EXPECT_NE(pts[1].uv[1], 0.35);
    Vector** T = s->computeDerivatives(1, 0.55, pts[1].uv[1], nullptr);
    EXPECT_NEAR(dot(T[0][0] - pts[1].Point, T[0][1]), 0.0, 1e-10);
    NurbsSurf::freeDerivativeTable(T, 1);
}

TEST(NurbsSurfInversion, CurvePointsGoToTheCurveAndItsEnds)
{
    auto c = cubicCurve();
    CFitPointArray pts;
    Vector** T = c->computeDerivatives(1, 0.42, 0.0, nullptr);
    // Off the curve perpendicular to the tangent.
    const Vector side = normalized(crossProduct(T[1][0], Vector(0, 0, 1)));
    pts.append(pointAt(T[0][0] + 0.05 * side, 0.5, 0.0));
    NurbsSurf::freeDerivativeTable(T, 1);
    Vector start, end;
    c->evaluatePoint(start, 0.0, 0.0);
    c->evaluatePoint(end, 1.0, 0.0);
    pts.append(pointAt(start - Vector(1, 0, 0), 0.2, 0.0));
    pts.append(pointAt(end + Vector(1, 0, 0), 0.8, 0.0));
    IndexSubset<CFitPoint> subset = all(pts);
    c->PointInversion(subset, 10);

    EXPECT_NEAR(pts[0].uv[0], 0.42, 1e-8);
    EXPECT_EQ(pts[0].uv[1], 0.0);
    EXPECT_NEAR(pts[0].dist2, 0.0025, 1e-10);
    EXPECT_EQ(pts[0].boundary, 0);
    EXPECT_EQ(pts[1].uv[0], 0.0);
    EXPECT_EQ(pts[1].boundary, 1);
    EXPECT_EQ(pts[2].uv[0], 1.0);
    EXPECT_EQ(pts[2].boundary, 2);
    EXPECT_EQ(pts[2].uIndex, 7);
}

TEST(NurbsSurfInversion, CyclicDirectionHasNoBoundsAtTheSeam)
{
    // Closed cubic around the unit circle (8 points, cyclic knots).
    const knots u(7, 3, 0.0, 1.0, knots::CyclicEnd);
    NurbsSurf c(u, nullptr);
    ASSERT_EQ(c.getUCount(), 8);
    for (int i = 0; i < 8; ++i)
        c.setControlPoint(i, 0, Vector(std::cos(0.785398 * i), std::sin(0.785398 * i), 0.0));
    const double umin = c.getUMin();
    const double umax = c.getUMax();
    const double target = umax - 0.05 * (umax - umin);
    Vector** T = c.computeDerivatives(1, target, 0.0, nullptr);
    const Vector off = unit(crossProduct(T[1][0], Vector(0, 0, 1)));
    // Start just after the seam: the nearest point lies just before it.
    CFitPointArray pts;
    pts.append(pointAt(T[0][0] + 0.1 * off, umin + 0.03 * (umax - umin), 0.0));
    NurbsSurf::freeDerivativeTable(T, 1);
    IndexSubset<CFitPoint> subset = all(pts);
    c.PointInversion(subset, 10);
    EXPECT_NEAR(pts[0].uv[0], target, 1e-8);
    EXPECT_EQ(pts[0].boundary, 0);
    EXPECT_GE(pts[0].uIndex, 0);
    EXPECT_LT(pts[0].uIndex, 8);
}

TEST(NurbsSurfInversion, PolylineTakesTheNearestSegmentAndKeepsParametersOfStateTwoPoints)
{
    // Vertices (0,0,0), (1,0,0), (1,1,0), (0,1,0) on knots 0, 1/3, 2/3, 1.
    const knots u(3, 1, 0.0, 1.0);
    NurbsSurf line(u, nullptr);
    line.setControlPoint(0, 0, Vector(0, 0, 0));
    line.setControlPoint(1, 0, Vector(1, 0, 0));
    line.setControlPoint(2, 0, Vector(1, 1, 0));
    line.setControlPoint(3, 0, Vector(0, 1, 0));
    CFitPointArray pts;
    pts.append(pointAt(Vector(0.5, -0.2, 0), 0.9, 0.0)); // first segment, middle
    pts.append(pointAt(Vector(-1, 1.5, 0), 0.0, 0.0));   // beyond the last vertex
    pts.append(pointAt(Vector(1.5, 0.5, 0), 0.0, 0.0));  // second segment
    pts.append(pointAt(Vector(-0.005, 0, 0), 0.5, 0.0)); // before the start, but close
    pts.append(pointAt(Vector(2, 2, 0), 0.25, 0.0));     // state 2: parameters stay
    pts[4].state = 2;
    IndexSubset<CFitPoint> subset = all(pts);
    EXPECT_EQ(line.PointInversion(subset, 10), 0);

    EXPECT_NEAR(pts[0].uv[0], 0.5 / 3.0, 1e-15);
    EXPECT_NEAR(pts[0].dist2, 0.04, 1e-15);
    EXPECT_EQ(pts[0].boundary, 0);
    EXPECT_EQ(pts[1].uv[0], 1.0);
    EXPECT_NEAR(pts[1].dist2, 1.25, 1e-15);
    EXPECT_EQ(pts[1].boundary, 2);
    EXPECT_NEAR(pts[2].uv[0], 0.5, 1e-15);
    EXPECT_EQ(pts[3].uv[0], 0.0);
    EXPECT_EQ(pts[3].boundary, 0); // 2.5e-5 is not above 1e-4
    EXPECT_EQ(pts[4].uv[0], 0.25);
    EXPECT_NEAR(pts[4].dist2, 1.5625 + 4.0, 1e-14); // from (0.75, 0, 0)
}

TEST(NurbsSurfInversion, GridStartValuesThenNewtonRecoverEveryPoint)
{
    auto s = wavyBicubic();
    CFitPointArray pts;
    Vector truth;
    for (int k = 0; k < 400; ++k) {
        const double u = 0.02 + 0.96 * std::fmod(0.618034 * k, 1.0);
        const double v = 0.02 + 0.96 * std::fmod(0.414214 * k + 0.1, 1.0);
        const SurfacePoint sp = surfaceAt(*s, u, v);
        pts.append(pointAt(sp.S + 0.01 * sp.N, u, v)); // uv holds the truth for now
    }
    Vector expected(2 * pts.count);
    for (int k = 0; k < pts.count; ++k) {
        expected[2 * k] = pts[k].uv[0];
        expected[2 * k + 1] = pts[k].uv[1];
        pts[k].uv.fill(-1.0);
    }
    IndexSubset<CFitPoint> subset = all(pts);
    testing::internal::CaptureStdout();
    EXPECT_EQ(s->invertPoints(subset, 3, 3, true), 400);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "hits=400 out of 400\n");
    EXPECT_GT(subset.count, 300);
    s->PointInversion(subset, 10);
    for (int m = 0; m < subset.count; ++m) {
        const int k = subset.indices[m];
        EXPECT_NEAR(pts[k].uv[0], expected[2 * k], 1e-8) << k;
        EXPECT_NEAR(pts[k].uv[1], expected[2 * k + 1], 1e-8) << k;
    }
}

TEST(NurbsSurfInversion, HitsCountEveryMovablePointAndOnlyOwnCellFindsStay)
{
    auto s = wavyBicubic();
    // Resolution 2: 40 x 40 samples at parameters i / 39. Points on samples
    // find them in their own cell; points far above or below the middle of
    // the surface fall into border cells that hold no sample.
    const SurfacePoint a = surfaceAt(*s, 10.0 / 39.0, 12.0 / 39.0);
    const SurfacePoint b = surfaceAt(*s, 30.0 / 39.0, 22.0 / 39.0);
    const SurfacePoint mid = surfaceAt(*s, 0.5, 0.5);
    CFitPointArray pts;
    pts.append(pointAt(a.S, -1, -1));
    pts.append(pointAt(mid.S + Vector(0, 0, 200), -1, -1));
    pts.append(pointAt(b.S, 0.1, 0.9)); // state 2 on a sample
    pts[2].state = 2;
    pts.append(pointAt(mid.S + Vector(0, 0, -300), 0.2, 0.2)); // state 2 far below
    pts[3].state = 2;
    pts.append(pointAt(b.S, -1, -1));
    pts.append(pointAt(mid.S + Vector(0, 0, 180), -1, -1));
    IndexSubset<CFitPoint> subset = all(pts);
    testing::internal::CaptureStdout();
    EXPECT_EQ(s->invertPoints(subset, 2, 2, true), 4);
    // Four points got parameters and are counted; of them the two that found
    // a sample in their own cell stay, and the state-2 points leave.
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "hits=4 out of 6\n");
    ASSERT_EQ(subset.count, 2);
    EXPECT_EQ(subset.indices[0], 0);
    EXPECT_EQ(subset.indices[1], 4);
    EXPECT_NEAR(pts[0].uv[0], 10.0 / 39.0, 1e-15);
    EXPECT_NEAR(pts[0].uv[1], 12.0 / 39.0, 1e-15);
    EXPECT_NEAR(pts[4].uv[0], 30.0 / 39.0, 1e-15);
    // The dropped point keeps what the full search found (a sample near the
    // top of the surface), the state-2 points keep theirs.
    EXPECT_NE(pts[1].uv[0], -1.0);
    EXPECT_EQ(pts[2].uv[0], 0.1);
    EXPECT_EQ(pts[3].uv[1], 0.2);
}

TEST(NurbsSurfInversion, StartValuesWithoutGridTouchOnlyMovableSubsetPoints)
{
    auto s = wavyBicubic();
    CFitPointArray pts;
    const double params[][2] = {{0.2, 0.3}, {0.8, 0.7}, {0.5, 0.5}, {0.3, 0.9}};
    for (const auto& p : params) {
        const SurfacePoint sp = surfaceAt(*s, p[0], p[1]);
        pts.append(pointAt(sp.S + 0.01 * sp.N, -5, -5));
    }
    pts[2].state = 2;
    IndexSubset<CFitPoint> subset(pts);
    subset.append(0);
    subset.append(1);
    subset.append(2); // point 3 belongs to another fit
    testing::internal::CaptureStdout();
    EXPECT_EQ(s->invertPoints(subset, 3, 3, false), 2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(subset.count, 3);
    for (int k = 0; k < 2; ++k) {
        EXPECT_NEAR(pts[k].uv[0], params[k][0], 0.03) << k;
        EXPECT_NEAR(pts[k].uv[1], params[k][1], 0.03) << k;
    }
    EXPECT_EQ(pts[2].uv[0], -5.0);
    EXPECT_EQ(pts[3].uv[0], -5.0);
    EXPECT_EQ(pts[3].uv[1], -5.0);

    // The curve path ignores the grid switch.
    auto c = cubicCurve();
    Vector P;
    c->evaluatePoint(P, 0.6, 0.0);
    CFitPointArray cp;
    cp.append(pointAt(P, -3, -3));
    IndexSubset<CFitPoint> cs = all(cp);
    testing::internal::CaptureStdout();
    EXPECT_EQ(c->invertPoints(cs, 4, 4, true), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_NEAR(cp[0].uv[0], 0.6, 0.04);
    EXPECT_EQ(cp[0].uv[1], c->getVMin());
}

TEST(NurbsSurfInversion, InvertDirectionKeepsTheShape)
{
    auto s = wavyBicubic(1.0, true);
    auto original = std::make_unique<NurbsSurf>(*s);
    s->addDegenerateSide(uvWest);
    s->addDegenerateSide(uvSouth);
    s->invertDirection(0);
    EXPECT_TRUE(s->hasDegenerateSide(uvEast));
    EXPECT_TRUE(s->hasDegenerateSide(uvSouth));
    EXPECT_FALSE(s->hasDegenerateSide(uvWest));
    Vector a, b;
    for (double u : {0.0, 0.23, 0.5, 0.91})
        for (double v : {0.0, 0.37, 1.0}) {
            s->evaluatePoint(a, 1.0 - u, v);
            original->evaluatePoint(b, u, v);
            EXPECT_NEAR(norm(a - b), 0.0, 1e-12);
        }
    s->invertDirection(1);
    EXPECT_TRUE(s->hasDegenerateSide(uvNorth));
    EXPECT_FALSE(s->hasDegenerateSide(uvSouth));
    s->evaluatePoint(a, 1.0 - 0.23, 1.0 - 0.37);
    original->evaluatePoint(b, 0.23, 0.37);
    EXPECT_NEAR(norm(a - b), 0.0, 1e-12);

    // Twice restores the net; other directions do nothing on a surface.
    s->invertDirection(1);
    s->invertDirection(0);
    s->invertDirection(2);
    for (int j = 0; j < 20; ++j)
        for (int i = 0; i < 20; ++i)
            EXPECT_EQ(norm(s->controlPointAt(i, j) - original->controlPointAt(i, j)), 0.0);
}

TEST(NurbsSurfInversion, InvertDirectionOfACyclicCurveKeepsTheShape)
{
    const knots u(7, 3, 0.0, 1.0, knots::CyclicEnd);
    NurbsSurf c(u, nullptr);
    for (int i = 0; i < 8; ++i)
        c.setControlPoint(i, 0, Vector(std::cos(0.8 * i) * (1 + 0.1 * i), std::sin(0.8 * i), i));
    NurbsSurf original(c);
    c.invertDirection(1); // any direction reverses a curve
    const double umin = c.getUMin();
    const double umax = c.getUMax();
    Vector a, b;
    for (double t : {0.0, 0.1, 0.45, 0.8, 0.99}) {
        const double x = umin + t * (umax - umin);
        c.evaluatePoint(a, umin + umax - x, 0.0);
        original.evaluatePoint(b, x, 0.0);
        EXPECT_NEAR(norm(a - b), 0.0, 1e-12) << t;
    }
}

TEST(NurbsSurfInversion, FeetReachTheRoundingFloorAtEveryScaleAndDistance)
{
    // Points offset along the normal at known parameters (well inside the
    // radius of curvature, so those parameters are the true foot), start
    // values from the samples. The foot must come out within 1e-13 of the
    // domain, on the unit model and scaled by 1e-6 and 1e6, and the Newton
    // iterations per point must stay few.
    for (double scale : {1e-6, 1.0, 1e6}) {
        auto s = wavyBicubic(scale);
        for (double distance : {0.0, 1e-6, 0.01, 1.0}) {
            SCOPED_TRACE("scale=" + std::to_string(scale) +
                         " distance=" + std::to_string(distance));
            CFitPointArray pts;
            Vector truth;
            truth.resize(800);
            unsigned x = 12345u;
            auto next = [&x] {
                x = x * 1664525u + 1013904223u;
                return 0.05 + 0.9 * ((x >> 8) / double(1u << 24));
            };
            for (int k = 0; k < 400; ++k) {
                const double u = next();
                const double v = next();
                truth[2 * k] = u;
                truth[2 * k + 1] = v;
                const SurfacePoint sp = surfaceAt(*s, u, v);
                const double sign = k % 2 == 0 ? 1.0 : -1.0;
                pts.append(pointAt(sp.S + (sign * distance * scale) * sp.N, 0.0, 0.0));
            }
            IndexSubset<CFitPoint> subset = all(pts);
            ASSERT_EQ(s->invertPoints(subset, 3, 3, false), 400);
            const long iterations = s->PointInversion(subset, 10);
            EXPECT_LE(iterations, 6 * 400);
            double worst = 0.0;
            for (int k = 0; k < 400; ++k)
                worst = std::max({worst, std::fabs(pts[k].uv[0] - truth[2 * k]),
                                  std::fabs(pts[k].uv[1] - truth[2 * k + 1])});
            EXPECT_LT(worst, 1e-13);
            for (int k = 0; k < 400; ++k)
                EXPECT_NEAR(std::sqrt(pts[k].dist2), distance * scale, 1e-12 * scale);
        }
    }
}
