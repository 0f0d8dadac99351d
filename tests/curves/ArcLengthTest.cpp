#include "curves/ArcLength.h"

#include "geometry/NurbsSurf.h"
#include "support/AnalyticCurves.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <numbers>

using Fenwo::NurbsSurf;

namespace {

constexpr double pi = std::numbers::pi;

// A clamped curve on the given knot positions; rational: weights 1, 1.5, 2, 1, ...
std::unique_ptr<NurbsSurf> nurbsCurve(std::initializer_list<double> positions, int p,
                                      std::initializer_list<Vector> points, bool rational)
{
    Kor::List<double> values;
    for (double x : positions)
        values.append(x);
    auto c = std::make_unique<NurbsSurf>(
        knots(values, static_cast<int>(positions.size()) - p - 2, p), nullptr);
    int i = 0;
    for (const Vector& q : points) {
        c->setControlPoint(i, 0, q, rational ? 1.0 + 0.5 * (i % 3) : 1.0);
        ++i;
    }
    return c;
}

// Lengths and parameters both increase; the last length is the total.
void expectIncreasing(const CArcLengthParametrisation& a)
{
    ASSERT_GT(a.getPairCount(), 1);
    for (int k = 1; k < a.getPairCount(); ++k) {
        EXPECT_GT(a.getPair(k).length, a.getPair(k - 1).length) << k;
        EXPECT_GT(a.getPair(k).parameter, a.getPair(k - 1).parameter) << k;
    }
    EXPECT_EQ(a.getTotalLength(), a.getPair(a.getPairCount() - 1).length);
}

} // namespace

TEST(ArcLength, LinesAndCirclesAtEveryScale)
{
    for (double scale : {1e-6, 1e-3, 1.0, 1e3, 1e6}) {
        AnalyticLine line(Vector(scale, 0, 0), Vector(scale, 6 * scale, 8 * scale));
        EXPECT_NEAR(sampledCurveLength(&line, 25, false), 10 * scale, 1e-12 * scale);
        EXPECT_NEAR(sampledCurveLength(&line, 25, true), 10 * scale, 1e-9 * scale);
        CArcLengthParametrisation a(&line);
        expectIncreasing(a);
        EXPECT_NEAR(a.getTotalLength(), 10 * scale, 1e-12 * scale);
        EXPECT_NEAR(a.getParameter(0.3), 0.3, 1e-12);

        // A full circle (the ends of its single facet interval meet). The
        // Hermite form follows the bending between samples; the table's
        // chords of about 2.5 % of the length keep it within a few 1e-3.
        const double exact = 2 * pi * scale;
        AnalyticCircle circle(Vector(scale, 0, 0), scale, 1.0, 1.0 + 2 * pi);
        const double chordError = std::fabs(sampledCurveLength(&circle, 100, false) - exact);
        EXPECT_LT(chordError, 2e-4 * exact);
        EXPECT_LT(std::fabs(sampledCurveLength(&circle, 100, true) - exact), 0.2 * chordError);
        CArcLengthParametrisation c(&circle);
        expectIncreasing(c);
        EXPECT_NEAR(c.getTotalLength(), exact, 5e-3 * exact);
        for (double s : {0.1, 0.5, 0.77})
            EXPECT_NEAR(c.getParameter(s), 1.0 + 2 * pi * s, 2e-3) << scale << " " << s;
    }
}

TEST(ArcLength, ParameterAtLengthInvertsInterpolateTable)
{
    auto c = nurbsCurve({0, 0, 0, 0, 0.2, 0.7, 1, 1, 1, 1}, 3,
                        {Vector(0, 0, 0), Vector(1, 3, 0), Vector(2, -1, 1), Vector(6, 2, 0),
                         Vector(7, 0, 2), Vector(9, 1, 0)},
                        true);
    CArcLengthParametrisation a(c.get());
    expectIncreasing(a);
    const double reference = sampledCurveLength(c.get(), 20000, false);
    EXPECT_NEAR(a.getTotalLength(), reference, 5e-4 * reference);
    for (int i = 1; i < 20; ++i) { // both look-ups are linear over the same pairs
        EXPECT_NEAR(a.interpolateTable(a.getParameter(i / 20.0)), i / 20.0, 1e-12);
        EXPECT_NEAR(a.getParameter(a.interpolateTable(0.05 * i)), 0.05 * i, 1e-12);
    }
}

TEST(ArcLength, NurbsCurveWithAKink)
{
    // An L of two legs of length 1, the corner at t = 0.5.
    auto ell = nurbsCurve({0, 0, 0.5, 1, 1}, 1, {Vector(0, 0, 0), Vector(1, 0, 0), Vector(1, 1, 0)},
                          false);
    CArcLengthParametrisation a(ell.get());
    EXPECT_NEAR(a.getTotalLength(), 2.0, 1e-12);
    for (double L : {0.5, 1.0, 1.5})
        EXPECT_NEAR(a.parameterAtLength(L), L / 2, 1e-12);

    // Degree 2 with a double knot at 0.4: the table steps onto the corner.
    auto corner = nurbsCurve(
        {0.0, 0.0, 0.0, 0.4, 0.4, 1.0, 1.0, 1.0}, 2,
        {Vector(0, 0, 0), Vector(1, 1, 0), Vector(2, 0, 0), Vector(3, 2, 0), Vector(4, 0, 1)},
        true);
    CArcLengthParametrisation b(corner.get());
    expectIncreasing(b);
    bool hasCorner = false;
    for (int k = 0; k < b.getPairCount(); ++k)
        hasCorner = hasCorner || b.getPair(k).parameter == 0.4;
    EXPECT_TRUE(hasCorner);
    const double reference = sampledCurveLength(corner.get(), 20000, false);
    EXPECT_NEAR(b.getTotalLength(), reference, 5e-4 * reference);
}

TEST(ArcLength, TableFromSegmentLengths)
{
    AnalyticLine line(Vector(0, 0, 0), Vector(10, 0, 0));
    Kor::List<double> params;
    EXPECT_EQ(sampleDomainUniform(&line, params, 0), 0);
    EXPECT_EQ(sampleDomainUniform(&line, params, 2), 2); // 0, 0.5, 1
    params.insertAfter(0.2, 0);
    params[2] = 0.4;
    Vector lengths(3);
    lengths[0] = 1.0;
    lengths[2] = 2.0; // the zero-length segment adds no pair
    CArcLengthParametrisation a(&line, lengths, params);
    ASSERT_EQ(a.getPairCount(), 3);
    EXPECT_EQ(a.getPair(1).parameter, 0.2);
    EXPECT_EQ(a.getPair(2).parameter, 1.0);
    EXPECT_EQ(a.getTotalLength(), 3.0);
    // Sizes that do not match: the curve is measured instead.
    EXPECT_NEAR(CArcLengthParametrisation(&line, Vector(2), params).getTotalLength(), 10.0, 1e-12);
}

TEST(ArcLength, LookUpsStayWithinTheTableAndEmptyTablesAnswerZero)
{
    AnalyticLine line(Vector(0, 0, 0), Vector(3, 4, 0), 2.0, 5.0);
    CArcLengthParametrisation a(&line);
    EXPECT_EQ(a.getParameter(-0.5), 2.0);
    EXPECT_EQ(a.getParameter(std::numeric_limits<double>::quiet_NaN()), 2.0);
    EXPECT_EQ(a.getParameter(2.0), 5.0);
    EXPECT_EQ(a.parameterAtLength(20.0), 5.0); // no extrapolation beyond the end
    EXPECT_EQ(a.interpolateTable(1.0), 0.0);
    EXPECT_EQ(a.interpolateTable(6.0), 1.0);

    CArcLengthParametrisation none(nullptr);
    EXPECT_TRUE(none.isEmpty());
    EXPECT_EQ(none.getParameter(0.5), 0.0);
    EXPECT_EQ(none.interpolateTable(0.5), 0.0);
    EXPECT_EQ(sampledCurveLength(nullptr, 25, false), 0.0);
}

// With a fixed minimum sub-step of 0.001 a circle of radius 0.001 was measured
// by four chords, about 10 % short.
TEST(ArcLength, ShortCurveStepScalesWithItsLength)
{
    AnalyticCircle circle(Vector(0, 0, 0), 1e-3, 0.0, 2 * pi);
    EXPECT_NEAR(CArcLengthParametrisation(&circle).getTotalLength(), 2 * pi * 1e-3, 3e-5);
}
