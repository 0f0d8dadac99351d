#include "curves/CurveOperations.h"

#include "curves/ArcLength.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "support/AnalyticCurves.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

using Fenwo::NurbsSurf;

namespace {

constexpr double kPi = std::numbers::pi;

std::unique_ptr<NurbsSurf> makeNurbsLine(const Vector& a, const Vector& b)
{
    auto c = std::make_unique<NurbsSurf>(knots(1, 1, 0.0, 1.0));
    c->setControlPoint(0, 0, a);
    c->setControlPoint(1, 0, b);
    return c;
}

// The plane z = 0.5 x over a bi-quadratic net, x in [0, 2], y in [0, 3].
std::unique_ptr<NurbsSurf> makeTiltedPlane()
{
    knots k(2, 2, 0.0, 1.0);
    auto s = std::make_unique<NurbsSurf>(k, &k);
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
            s->setControlPoint(i, j, Vector(i, 1.5 * j, 0.5 * i));
    return s;
}

void expectNear(const Vector& v, double x, double y, double z, double tol = 1e-12)
{
    ASSERT_GE(v.size(), 3);
    EXPECT_NEAR(v[0], x, tol);
    EXPECT_NEAR(v[1], y, tol);
    EXPECT_NEAR(v[2], z, tol);
}

template <class List> auto values(const List& l)
{
    return std::vector(l.begin(), l.end());
}

} // namespace

TEST(CurveChaining, ShuffledReversedSquareClosesAndGapsFail)
{
    AnalyticLine s0(Vector(0, 0, 0), Vector(1, 0, 0)), s2(Vector(1, 1, 0), Vector(0, 1, 0));
    AnalyticLine s1rev(Vector(1, 1, 0), Vector(1, 0, 0)), s3(Vector(0, 1, 0), Vector(0, 0, 0));
    Kor::Array<CParametricGeometry*> curves, chain;
    for (CParametricGeometry* c : {&s0, &s2, &s1rev, &s3})
        curves.append(c);
    Kor::List<int> directions, order;
    EXPECT_EQ(buildCurveChain(curves, chain, directions, 1e-6, 1, &order), 0);
    EXPECT_EQ(values(chain), (std::vector<CParametricGeometry*>{&s0, &s1rev, &s2, &s3}));
    EXPECT_EQ(values(directions), (std::vector<int>{1, -1, 1, 1}));
    EXPECT_EQ(values(order), (std::vector<int>{0, 2, 1, 3}));
    EXPECT_EQ(buildCurveChain(curves, chain, directions, 1e-6, -1), 0); // the other way round
    EXPECT_EQ(chain[1], &s3);

    // Every curve chained but the ends apart: open, not failed.
    curves.count = 2;
    curves[1] = &s1rev;
    EXPECT_EQ(buildCurveChain(curves, chain, directions, 1e-6, 1), 1);
    // An unreachable curve (a gap exactly tol counts as one) fails; the partial chain stays.
    AnalyticLine far(Vector(1, 1.5, 0), Vector(5, 5, 0));
    curves.append(&far);
    EXPECT_EQ(buildCurveChain(curves, chain, directions, 0.5, 1), -1);
    EXPECT_EQ(chain.getCount(), 2);
    curves.count = 0;
    EXPECT_EQ(buildCurveChain(curves, chain, directions, 1e-6, 1), -1);
}

TEST(CurveChaining, OrientationFollowsThePreviouslyReversedCurve)
{
    auto c0 = makeNurbsLine(Vector(0, 0, 0), Vector(1, 0, 0));
    auto c1 = makeNurbsLine(Vector(2, 0, 0), Vector(1, 0, 0));
    // Agrees with c1 as given, disagrees with c1 once that is reversed.
    auto c2 = makeNurbsLine(Vector(3, 1, 0), Vector(2, 0, 0));
    Kor::Array<NurbsSurf*> curves;
    for (NurbsSurf* c : {c0.get(), c1.get(), c2.get()})
        curves.append(c);
    orientCurvesConsistently(curves);
    Vector p;
    expectNear(curveStartPoint(p, c0.get()), 0, 0, 0);
    expectNear(curveStartPoint(p, c1.get()), 1, 0, 0);
    expectNear(curveEndPoint(p, c2.get()), 3, 1, 0);
}

TEST(ParameterSampling, ArcLengthParametersOfOpenAndClosedCurves)
{
    AnalyticLine line(Vector(0, 0, 0), Vector(2, 0, 0), 0.0, 1.0);
    AnalyticCircle circle(Vector(0, 0, 0), 1.0, 0.0, 2.0 * kPi);
    Kor::List<double> open, closed, bounded;
    ASSERT_TRUE(arcLengthParameters(&line, 4, open, 100));
    ASSERT_TRUE(arcLengthParameters(&circle, 4, closed, 100));
    ASSERT_EQ(open.getCount(), 5);
    ASSERT_EQ(closed.getCount(), 5); // a closed curve does not repeat its start
    for (int i = 0; i <= 4; ++i) {
        EXPECT_NEAR(open[i], i / 4.0, 1e-9);
        EXPECT_NEAR(closed[i], 2.0 * kPi * i / 5.0, 1e-3);
    }
    ASSERT_TRUE(arcLengthParameters(&line, 10, bounded, 3));
    EXPECT_EQ(bounded.getCount(), 4);
    EXPECT_FALSE(arcLengthParameters(nullptr, 4, bounded, 10));
}

TEST(ParameterSampling, ArcLengthParametersWithBoundBelowOneSamplesOneInterval)
{
    // A bound of 0 would divide 0 by 0 on an open curve.
    AnalyticLine line(Vector(0, 0, 0), Vector(1, 0, 0));
    Kor::List<double> params;
    ASSERT_TRUE(arcLengthParameters(&line, 4, params, 0));
    EXPECT_EQ(values(params), (std::vector<double>{0.0, 1.0}));
}

TEST(ParameterSampling, StepSamplesSubdivisionAndGrevilleAbscissae)
{
    AnalyticLine line(Vector(0, 0, 0), Vector(3, 0, 0), 0.0, 3.0);
    Kor::List<double> params;
    ASSERT_TRUE(arcLengthSamples(&line, 10.0, params)); // longer than the curve: n = 2
    ASSERT_EQ(params.getCount(), 3);
    EXPECT_NEAR(params[1], 1.5, 1e-9);
    params.clear();
    ASSERT_TRUE(arcLengthSamples(&line, std::nan(""), params)); // capped at 10000 steps
    EXPECT_EQ(params.getCount(), 10001);
    const CArcLengthParametrisation empty(nullptr);
    EXPECT_FALSE(sampleArcLengthParameters(4, params, empty));

    Kor::List<double> unit;
    unit.append(0.0);
    unit.append(1.0);
    EXPECT_EQ(subdivideParameterList(unit, 3), 3);
    EXPECT_EQ(values(unit), (std::vector<double>{0.0, 0.25, 0.5, 0.75, 1.0}));

    // Greville abscissae of this cubic: 0, 1/3, 1, 2, 8/3, 3.
    const double positions[] = {0, 0, 0, 1, 2, 3, 3, 3};
    NurbsSurf cubic(knots(Vector(positions, 8), 5, 3));
    const double inner[2] = {0.2, 2.9}, gap[2] = {1.2, 1.8};
    EXPECT_EQ(grevilleAbscissaeInInterval(&cubic, inner, params, 0), 4);
    EXPECT_EQ(values(params), (std::vector<double>{0.2, 1.0, 2.0, 2.9}));
    EXPECT_EQ(grevilleAbscissaeInInterval(&cubic, gap, params, 1), 3); // ends only, then split
    EXPECT_NEAR(params[1], 1.5, 1e-15);
}

TEST(CurveGeometry, DerivativeFramesAndSignedAngles)
{
    auto plane = makeTiltedPlane();
    Vector du, dv, normal;
    const double s = 1.0 / std::sqrt(1.25);
    ASSERT_TRUE(surfaceDerivativesAndNormal(plane.get(), 0.3, 0.6, du, dv, normal));
    expectNear(du, 2.0, 0.0, 1.0);
    expectNear(dv, 0.0, 3.0, 0.0);
    expectNear(normal, -0.5 * s, 0.0, s);
    ASSERT_TRUE(surfaceDerivativesAndNormalEx(plane.get(), 0.3, 0.6, du, dv, normal));
    expectNear(du, 2.0 / std::sqrt(5.0), 0.0, 1.0 / std::sqrt(5.0));
    expectNear(normal, -0.5 * s, 0.0, s);
    auto line = makeNurbsLine(Vector(0, 0, 0), Vector(0, 4, 0));
    Vector keep(7, 7, 7);
    ASSERT_TRUE(surfaceDerivativesAndNormal(line.get(), 0.5, 0.0, du, keep, keep));
    expectNear(du, 0.0, 4.0, 0.0);
    expectNear(keep, 7, 7, 7); // a curve has no v derivative or normal

    const Vector x(1, 0, 0), y(0, 1, 0), z(0, 0, 1);
    EXPECT_NEAR(signedAngleAroundAxis(x, y, z), kPi / 2, 1e-15);
    EXPECT_NEAR(signedAngleAroundAxis(x, y, -z), 3 * kPi / 2, 1e-15);
    EXPECT_NEAR(signedAngleAroundAxis(Vector(1, 0, 5), Vector(-1, -1, -3), z), 5 * kPi / 4, 1e-14);
    EXPECT_LT(signedAngleAroundAxis(x, Vector(1, -1e-17, 0), z), 2 * kPi);
}

TEST(CurveGeometry, BasisPartialSumsAndPlaneOfSurfaces)
{
    knots k(5, 3, 0.0, 3.0);
    double t = 1.3;
    const int span = k.clampToKnots(t);
    const Vector basis = k.basisFunctions(span, t);
    double below = -1, above = -1, expected = 0.0;
    for (int i = -1; i <= 6; ++i) {
        if (i >= span - 3 && i <= span)
            expected += basis[i - span + 3];
        basisPartialSums(k, i, t, below, above);
        EXPECT_NEAR(below, expected, 1e-15) << i;
        EXPECT_NEAR(below + above, 1.0, 1e-14) << i;
    }
    basisPartialSums(k, 4, 3.0, below, above); // the domain end belongs to the last point
    EXPECT_NEAR(above, 1.0, 1e-15);

    auto plane = makeTiltedPlane();
    auto straight = makeNurbsLine(Vector(0, 0, 0), Vector(3, 4, 0));
    Kor::Array<NurbsSurf*> surfaces;
    surfaces.append(plane.get());
    surfaces.append(nullptr);
    Vector centre, normal;
    ASSERT_TRUE(fitPlaneToSurface(surfaces, centre, normal));
    EXPECT_NEAR(std::fabs(normal[2]), 1.0 / std::sqrt(1.25), 1e-9);
    expectNear(centre, 1.0, 1.5, 0.5, 1e-9);
    surfaces[0] = straight.get(); // one straight curve determines no plane
    EXPECT_FALSE(fitPlaneToSurface(surfaces, centre, normal));
}

TEST(CurveOperationHelpers, FindKnotValueTakesTheFirstMatch)
{
    struct Knot {
        int multiplicity;
        int owner;
        double value;
    };
    Kor::Set<Knot> set;
    set.insertAt(new Knot{1, 0, 0.5}, -1);
    set.insertAt(new Knot{2, 0, 1.0}, 0);
    set.insertAt(new Knot{1, 0, 1.0 + 5e-9}, 1);
    int index = -1;
    EXPECT_TRUE(findKnotValue(set, 1.0 + 9e-9, index));
    EXPECT_EQ(index, 1); // the first match, not the nearest
    EXPECT_FALSE(findKnotValue(set, 0.7, index));
    EXPECT_EQ(index, 3);
    set.removeAll(true, false);
}
