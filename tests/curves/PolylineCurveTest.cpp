#include "curves/PolylineCurve.h"

#include "geometry/NurbsSurf.h"
#include "support/AnalyticCurves.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

using Fenwo::NurbsSurf;

namespace {

constexpr double pi = std::numbers::pi;

} // namespace

TEST(PolylineCurve, ControlPointsAreTheCurvePointsAtTheParameters)
{
    AnalyticCircle circle(Vector(1.0, 2.0, 3.0), 2.0, 0.0, pi);
    Kor::List<double> t;
    for (double x : {0.0, 0.5, 1.7, pi})
        t.append(x);
    std::unique_ptr<NurbsSurf> poly(makePolylineCurve(&circle, t));
    ASSERT_NE(poly, nullptr);
    EXPECT_TRUE(poly->isCurve());
    EXPECT_EQ(poly->getUCount(), 4);
    EXPECT_EQ(poly->getDomain(0).min, 0.0);
    EXPECT_EQ(poly->getDomain(0).max, 1.0);
    for (int i = 0; i < 4; ++i) {
        Vector p;
        poly->getControlPoint(i, 0, p);
        EXPECT_NEAR(std::sqrt(squaredDistance(p, circle.getPoint(t[i], 0.0))), 0.0, 1e-14) << i;
        // Degree 1 on uniform knots: control point i is reached at i/3.
        const Vector q = poly->getPoint(i / 3.0, 0.0);
        EXPECT_NEAR(std::sqrt(squaredDistance(q, p)), 0.0, 1e-14) << i;
    }
}

TEST(PolylineCurve, TooFewParametersOrNoCurveGiveNull)
{
    AnalyticLine line(Vector(0, 0, 0), Vector(1, 0, 0));
    Kor::List<double> t;
    t.append(0.5);
    EXPECT_EQ(makePolylineCurve(&line, t), nullptr);
    t.append(1.0);
    EXPECT_EQ(makePolylineCurve(nullptr, t), nullptr);
    EXPECT_EQ(facetCurveToPolyline(nullptr, 0.01, &t), nullptr);
    EXPECT_EQ(t.getCount(), 2);
}

TEST(PolylineCurve, FacetPolylineStaysWithinTheTolerance)
{
    AnalyticCircle circle(Vector(0, 0, 0), 5.0, 0.0, 2.0 * pi);
    Kor::List<double> t;
    std::unique_ptr<NurbsSurf> poly(facetCurveToPolyline(&circle, 0.01, &t));
    ASSERT_NE(poly, nullptr);
    ASSERT_GT(t.getCount(), 2);
    EXPECT_EQ(poly->getUCount(), t.getCount());
    // Every poly-line point lies within tol of the circle (inside it), and the
    // vertices lie on it.
    for (int k = 0; k <= 2000; ++k) {
        const Vector p = poly->getPoint(k / 2000.0, 0.0);
        const double r = std::sqrt(p[0] * p[0] + p[1] * p[1]);
        EXPECT_LE(r, 5.0 + 1e-12);
        EXPECT_GE(r, 5.0 - 0.01);
    }

    // Without a list of its own the same poly-line results.
    std::unique_ptr<NurbsSurf> again(facetCurveToPolyline(&circle, 0.01));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->getUCount(), poly->getUCount());
}

TEST(PolylineCurve, StraightLineGivesOneSegment)
{
    AnalyticLine line(Vector(0, 0, 0), Vector(3, 4, 0), 2.0, 5.0);
    std::unique_ptr<NurbsSurf> poly(facetCurveToPolyline(&line, 0.01));
    ASSERT_NE(poly, nullptr);
    EXPECT_EQ(poly->getUCount(), 2);
    const Vector e = poly->getEndPoint();
    EXPECT_NEAR(e[0], 3.0, 1e-15);
    EXPECT_NEAR(e[1], 4.0, 1e-15);
}
