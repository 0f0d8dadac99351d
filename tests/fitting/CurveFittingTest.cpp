// Curve fitting helpers and the small geometric and numeric helpers of the
// fitting: control-point counts, end points kept, turning angles, chaining,
// span counts, parameter wrapping, extrusion and the container helpers.
#include "fitting/CurveFitting.h"
#include "fitting/FitGeometry.h"

#include "fitting/FitFixtures.h"
#include "foundation/KorList.h"
#include "geometry/Interval.h"
#include "geometry/NurbsSurf.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr double kRadius = 5.0;

double distance(const Vector& a, const Vector& b)
{
    return std::sqrt(squaredDistance(a, b));
}

TEST(CurveFitting, FittedCurvesHaveTheirCountDegreeAndEnds)
{
    auto arc = fitfix::circularArc(kRadius, 1);
    const struct {
        int n;
        bool bezier;
        int count, degree;
    } cases[] = {{1, false, 4, 3}, {2, false, 5, 4}, {4, false, 7, 4}, {3, true, 6, 5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.n);
        std::unique_ptr<Fenwo::NurbsSurf> f(fitCurveToPoints(arc.get(), c.n, c.bezier));
        ASSERT_NE(nullptr, f);
        EXPECT_EQ(c.count, f->getUCount());
        EXPECT_EQ(c.degree, f->uKnots->p);
        Vector P(3);
        f->getControlPoint(0, 0, P);
        EXPECT_LT(distance(P, arc->getStartPoint()), 1e-9);
        f->getControlPoint(-1, 0, P);
        EXPECT_LT(distance(P, arc->getEndPoint()), 1e-9);
        for (int k = 0; k <= 20; ++k) { // on the circle
            f->evaluatePoint(P, k / 20.0, 0.0);
            EXPECT_NEAR(kRadius, std::hypot(P[0], P[1]), 2e-2 * kRadius);
        }
    }
    EXPECT_EQ(nullptr, fitCurveToPoints(arc.get(), 0, false));
}

TEST(CurveFitting, CountsFollowTheTangentTurn)
{
    auto line = fitfix::straightCurve(Vector(0.0, 0.0, 0.0), Vector(10.0, 2.0, 1.0));
    auto arc = fitfix::circularArc(kRadius, 1);
    EXPECT_NEAR(0.0, maxTangentTurnAngle(line.get(), 9), 1e-6);
    EXPECT_NEAR(90.0, maxTangentTurnAngle(arc.get(), 9), 1e-6);
    // A straight poly-line passes min(requested, 2): n + 3 control points.
    for (auto [requested, count] : {std::pair{1, 4}, {2, 5}, {8, 5}}) {
        std::unique_ptr<Fenwo::NurbsSurf> f(fitCurveToPolyline(line.get(), requested, false));
        ASSERT_NE(nullptr, f);
        EXPECT_EQ(count, f->getUCount()) << requested;
    }
    // A quarter turn: spanCountForAngle(90) = 5, so n = min(8, 6).
    std::unique_ptr<Fenwo::NurbsSurf> q(fitCurveToPolyline(arc.get(), 8, false));
    EXPECT_EQ(9, q->getUCount());
    // Two curves share one count: ceil(0.8 spanCountForAngle(45) + 1) = 5.
    Fenwo::NurbsSurf *a = nullptr, *b = nullptr;
    EXPECT_TRUE(fitCompatibleCurves(line.get(), arc.get(), a, b, 8, false));
    std::unique_ptr<Fenwo::NurbsSurf> ownA(a), ownB(b);
    ASSERT_TRUE(a != nullptr && b != nullptr);
    EXPECT_EQ(8, a->getUCount());
    EXPECT_EQ(8, b->getUCount());
}

TEST(FitGeometry, SpanCountsWrappingAndExtrusion)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (auto [turn, spans] : {std::pair{nan, 1},
                               {5.0, 1},
                               {5.5, 2},
                               {20.0, 3},
                               {59.9, 4},
                               {99.0, 5},
                               {149.0, 6},
                               {219.0, 8},
                               {220.0, 9},
                               {400.0, 9}})
        EXPECT_EQ(spans, spanCountForAngle(turn)) << turn;

    const struct {
        double x, lo, hi, wrapped;
    } wraps[] = {
        {3.0, 1.0, 3.0, 1.0}, {0.5, 1.0, 3.0, 2.5}, {4.5, 1.0, 3.0, 2.5}, {2.0, 1.0, 3.0, 2.0}};
    for (const auto& w : wraps) {
        double x = w.x;
        wrapParameter(x, w.lo, w.hi);
        EXPECT_NEAR(w.wrapped, x, 1e-12) << w.x;
    }

    auto arc = fitfix::circularArc(kRadius, 2);
    std::unique_ptr<Fenwo::NurbsSurf> wall(
        extrudeCurve(arc.get(), Vector(0.0, 0.0, 1.0), Interval(-1.0, 2.0)));
    ASSERT_NE(nullptr, wall);
    EXPECT_EQ(3.0, wall->vKnots->getDomain().max);
    Vector P(3);
    wall->evaluatePoint(P, 0.3, 0.0); // v min: the curve lifted by hi
    EXPECT_NEAR(2.0, P[2], 1e-12);
    EXPECT_NEAR(kRadius, std::hypot(P[0], P[1]), 1e-12);
    EXPECT_EQ(2, uSpanCount(arc.get()));
    EXPECT_EQ(1, getVLastIndex(wall.get()));
    EXPECT_EQ(0, getVLastIndex(nullptr));
    EXPECT_EQ(nullptr, extrudeCurve(nullptr, Vector(0.0, 0.0, 1.0), Interval(0.0, 1.0)));
}

TEST(FitGeometry, DerivativesOfUnitVectorsAndCurvature)
{
    // d(v/|v|)/ds against a central difference along v(s) = (1 + s, 2 s^2, 3).
    auto v = [](double s) { return Vector(1.0 + s, 2.0 * s * s, 3.0); };
    const double s = 0.4, h = 1e-6;
    Vector out;
    normalizedDerivative(v(s), Vector(1.0, 4.0 * s, 0.0), norm(v(s)), out);
    const Vector fd = (normalized(v(s + h)) - normalized(v(s - h))) / (2.0 * h);
    EXPECT_LT(distance(out, fd), 1e-8);
    // A circle of radius 5: C' = (-5 sin, 5 cos, 0), C'' = (-5 cos, -5 sin, 0).
    EXPECT_NEAR(1.0 / kRadius,
                curvature(Vector(-5.0 * std::sin(0.3), 5.0 * std::cos(0.3), 0.0),
                          Vector(-5.0 * std::cos(0.3), -5.0 * std::sin(0.3), 0.0)),
                1e-12);
}

TEST(FitGeometry, SortedInsertionWithoutRepeats)
{
    Kor::List<double> list;
    const double first[] = {3.0, 1.0, 2.0, 1.0};
    EXPECT_EQ(3, list.addUnique(first, 4));
    const double again[] = {2.0, 3.0};
    EXPECT_EQ(0, list.addUnique(again, 2));
    EXPECT_EQ(1.0, list[0]);
    EXPECT_EQ(3.0, list[2]);

    Vector v(1.0, 3.0);
    v.insertAfter(2.0, 0);
    v.insertAfter(0.0, -1);
    ASSERT_EQ(4, v.n);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(double(k), v[k]);

}

} // namespace
