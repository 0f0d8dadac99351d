#include "geometry/ParametricGeometry.h"

#include "geometry/NumericRoutines.h"
#include "support/AnalyticCurves.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <sstream>

namespace {

constexpr double pi = std::numbers::pi;

Vector origin3()
{
    return Vector(0.0, 0.0, 0.0);
}

// Circle arc of radius 1 starting at t = 0 whose end-point gap is `ratio`
// times its length: the chord 2 sin(d/2) of the missing angle d equals
// ratio * (2 pi - d), solved by bisection.
AnalyticCircle arcWithGapRatio(double ratio)
{
    double lo = 0.0, hi = 1.0;
    for (int i = 0; i < 200; ++i) {
        const double d = 0.5 * (lo + hi);
        if (2.0 * std::sin(0.5 * d) < ratio * (2.0 * pi - d))
            lo = d;
        else
            hi = d;
    }
    return AnalyticCircle(origin3(), 1.0, 0.0, 2.0 * pi - 0.5 * (lo + hi));
}

} // namespace

TEST(GaussLegendreLength, UnitLineIsOneForEveryRule)
{
    for (double scale : {1.0, 1e-8, 1e8}) {
        AnalyticLine line(Vector(0.0, 0.0, 0.0), Vector(0.6 * scale, 0.0, 0.8 * scale));
        for (int n = 3; n <= 10; ++n)
            EXPECT_NEAR(gaussLegendreLength(line, 0.0, 1.0, n), scale, 1e-14 * scale) << n;
        // Over a part of the domain and backwards.
        EXPECT_NEAR(gaussLegendreLength(line, 0.25, 0.75, 5), 0.5 * scale, 1e-14 * scale);
        EXPECT_NEAR(gaussLegendreLength(line, 1.0, 0.0, 5), -scale, 1e-14 * scale);
    }
}

TEST(GaussLegendreLength, PointCountIsClampedIntoThreeToTen)
{
    AnalyticLine line(Vector(0.0, 0.0, 0.0), Vector(1.0, 0.0, 0.0));
    for (int n : {-5, 0, 1, 2, 11, 1000})
        EXPECT_NEAR(gaussLegendreLength(line, 0.0, 1.0, n), 1.0, 1e-14) << n;
    // The clamped rules evaluate 3 and 10 points.
    line.evaluations = 0;
    gaussLegendreLength(line, 0.0, 1.0, 1);
    EXPECT_EQ(line.evaluations, 3);
    line.evaluations = 0;
    gaussLegendreLength(line, 0.0, 1.0, 50);
    EXPECT_EQ(line.evaluations, 10);
}

TEST(GaussLegendreLength, CircleArcLengthForEveryRule)
{
    // The weights of each rule sum to 2: a constant speed integrates exactly.
    AnalyticCircle arc(origin3(), 2.5, 0.3, 2.0);
    for (int n = 3; n <= 10; ++n)
        EXPECT_NEAR(gaussLegendreLength(arc, 0.3, 2.0, n), 2.5 * 1.7, 1e-13) << n;
}

TEST(ParametricGeometry, LengthAndEndsOfCurves)
{
    AnalyticCircle arc(origin3(), 2.0, 0.0, pi / 2.0);
    EXPECT_NEAR(arc.getLength(), pi, 1e-13);
    Vector s = arc.getStartPoint();
    Vector e = arc.getEndPoint();
    EXPECT_NEAR(s[0], 2.0, 1e-15);
    EXPECT_NEAR(e[1], 2.0, 1e-15);
    Vector ts = arc.getStartTangent();
    Vector te = arc.getEndTangent();
    EXPECT_NEAR(ts[1], 2.0, 1e-15);
    EXPECT_NEAR(te[0], -2.0, 1e-15);
    EXPECT_DOUBLE_EQ(arc.getUMin(), 0.0);
    EXPECT_DOUBLE_EQ(arc.getUMax(), pi / 2.0);
}

TEST(ParametricGeometry, IsClosedAtRelativeGap)
{
    AnalyticCircle nearlyClosed = arcWithGapRatio(0.004);
    AnalyticCircle open = arcWithGapRatio(0.006);
    EXPECT_TRUE(nearlyClosed.isClosed());
    EXPECT_FALSE(open.isClosed());

    AnalyticLine line(origin3(), Vector(1.0, 0.0, 0.0));
    EXPECT_FALSE(line.isClosed());
    AnalyticSphere sphere(origin3(), 1.0);
    EXPECT_FALSE(sphere.isClosed());
}

TEST(ParametricGeometry, IsClosedIsCached)
{
    AnalyticCircle arc = arcWithGapRatio(0.004);
    ASSERT_TRUE(arc.isClosed());
    const int evaluations = arc.evaluations;
    // Changing the curve through the base keeps the cached answer.
    arc.setDomain(0, Interval(0.0, pi));
    EXPECT_TRUE(arc.isClosed());
    EXPECT_EQ(arc.evaluations, evaluations);
    arc.closedComputed = false;
    EXPECT_FALSE(arc.isClosed());
}

TEST(ParametricGeometry, SampleParametersAndBreakpoints)
{
    AnalyticCircle arc(origin3(), 1.0, 0.5, 2.0);
    Vector us, vs;
    arc.getUSampleParameters(us);
    arc.getVSampleParameters(vs);
    ASSERT_EQ(us.n, 2);
    EXPECT_DOUBLE_EQ(us[0], 0.5);
    EXPECT_DOUBLE_EQ(us[1], 2.0);
    ASSERT_EQ(vs.n, 1);
    EXPECT_DOUBLE_EQ(vs[0], 0.0);

    AnalyticSphere sphere(origin3(), 1.0);
    sphere.getVSampleParameters(vs);
    ASSERT_EQ(vs.n, 2);
    EXPECT_DOUBLE_EQ(vs[0], -pi / 2.0);
    EXPECT_DOUBLE_EQ(vs[1], pi / 2.0);

    Kor::List<double> breaks;
    EXPECT_TRUE(arc.getUBreakpoints(breaks, false));
    EXPECT_EQ(breaks.count, 0);
    EXPECT_TRUE(arc.getUBreakpoints(breaks, true));
    EXPECT_TRUE(sphere.getVBreakpoints(breaks, true));
    ASSERT_EQ(breaks.count, 4);
    EXPECT_DOUBLE_EQ(breaks[0], 0.5);
    EXPECT_DOUBLE_EQ(breaks[1], 2.0);
    EXPECT_DOUBLE_EQ(breaks[2], -pi / 2.0);
    EXPECT_DOUBLE_EQ(breaks[3], pi / 2.0);
}

TEST(ParametricGeometry, BoundingBoxSamplesSevenPointsPerDirection)
{
    AnalyticPlane plane(origin3(), Vector(1.0, 0.0, 0.0), Vector(0.0, 2.0, 0.0),
                        Interval(-1.0, 1.0), Interval(0.0, 3.0));
    Vector min, max;
    plane.evaluations = 0;
    EXPECT_TRUE(plane.getBoundingBox(min, max, 0));
    EXPECT_EQ(plane.evaluations, 49);
    EXPECT_DOUBLE_EQ(min[0], -1.0);
    EXPECT_DOUBLE_EQ(max[0], 1.0);
    EXPECT_DOUBLE_EQ(min[1], 0.0);
    EXPECT_DOUBLE_EQ(max[1], 6.0);
    EXPECT_FLOAT_EQ(plane.box.max.data[1], 6.0f);
    EXPECT_FLOAT_EQ(plane.box.min.data[0], -1.0f);
}

TEST(ParametricGeometry, CurveBoxIsRefinedBeyondTheSampledMinMax)
{
    // Seven samples at 0.1 + k (2.9 / 6) miss the top of the circle at pi/2;
    // the 20 extra points per interval widen the float box, not min and max.
    AnalyticCircle arc(origin3(), 1.0, 0.1, 3.0);
    Vector min, max;
    arc.evaluations = 0;
    EXPECT_TRUE(arc.getBoundingBox(min, max, 0));
    EXPECT_EQ(arc.evaluations, 7 + 6 * 20);
    ASSERT_EQ(max.n, 3);
    EXPECT_LT(max[1], 0.9999);
    EXPECT_GT(arc.box.max.data[1], max[1]);
    EXPECT_NEAR(arc.box.max.data[1], 1.0, 1e-3);
    EXPECT_FLOAT_EQ(arc.box.min.data[0], static_cast<float>(std::cos(3.0)));

    EXPECT_TRUE(arc.updateBoundingBox(0));
    EXPECT_NEAR(arc.box.max.data[1], 1.0, 1e-3);
}

TEST(ParametricGeometry, ReverseUTwiceClearsTheFlagAndKeepsTheMirror)
{
    AnalyticCircle arc(origin3(), 1.0, 0.0, 1.0);
    arc.reverseU();
    EXPECT_TRUE(arc.isUReversed());
    EXPECT_DOUBLE_EQ(arc.uMirror.max, 1.0);
    arc.setDomain(0, Interval(0.0, 2.0));
    arc.reverseU();
    EXPECT_FALSE(arc.isUReversed());
    EXPECT_DOUBLE_EQ(arc.uMirror.max, 1.0);

    AnalyticPlane plane(origin3(), Vector(1.0, 0.0, 0.0), Vector(0.0, 1.0, 0.0), Interval(0.0, 1.0),
                        Interval(2.0, 5.0));
    plane.reverseV();
    EXPECT_TRUE(plane.isVReversed());
    EXPECT_DOUBLE_EQ(plane.vMirror.min, 2.0);
    EXPECT_DOUBLE_EQ(plane.vMirror.max, 5.0);
}

TEST(ParametricGeometry, ToInternalParametersMirrorsReversedDirections)
{
    AnalyticPlane plane(origin3(), Vector(1.0, 0.0, 0.0), Vector(0.0, 1.0, 0.0), Interval(1.0, 3.0),
                        Interval(10.0, 20.0));
    double u = 1.5, v = 12.0;
    EXPECT_TRUE(plane.toInternalParameters(u, v));
    EXPECT_DOUBLE_EQ(u, 1.5);
    EXPECT_DOUBLE_EQ(v, 12.0);
    plane.reverseU();
    plane.reverseV();
    EXPECT_TRUE(plane.toInternalParameters(u, v));
    EXPECT_DOUBLE_EQ(u, 2.5);
    EXPECT_DOUBLE_EQ(v, 18.0);
}

TEST(ParametricGeometry, EvaluateCurveFillsRequestedOutputs)
{
    AnalyticCircle arc(Vector(1.0, 2.0, 3.0), 2.0, 0.0, pi);
    const double t = 0.7;
    double p[3], d1[3], d2[3], n[3] = {9.0, 9.0, 9.0};
    EXPECT_TRUE(arc.evaluateCurve(t, p, d1, d2, n));
    EXPECT_NEAR(p[0], 1.0 + 2.0 * std::cos(t), 1e-15);
    EXPECT_NEAR(p[1], 2.0 + 2.0 * std::sin(t), 1e-15);
    EXPECT_NEAR(p[2], 3.0, 1e-15);
    EXPECT_NEAR(d1[0], -2.0 * std::sin(t), 1e-15);
    EXPECT_NEAR(d2[1], -2.0 * std::sin(t), 1e-15);
    EXPECT_EQ(n[0], 0.0);
    EXPECT_EQ(n[2], 0.0);
    EXPECT_TRUE(arc.evaluateCurve(t, nullptr, nullptr, d2, nullptr));

    AnalyticPlane plane(origin3(), Vector(2.0, 0.0, 0.0), Vector(0.0, 3.0, 0.0), Interval(0.0, 1.0),
                        Interval(0.0, 1.0));
    EXPECT_TRUE(plane.evaluateCurve(0.5, p, nullptr, nullptr, n));
    EXPECT_DOUBLE_EQ(n[2], 1.0);
}

TEST(ParametricGeometry, NormalsAndSideVectors)
{
    AnalyticPlane plane(origin3(), Vector(2.0, 0.0, 0.0), Vector(0.0, 0.0, 3.0), Interval(0.0, 1.0),
                        Interval(0.0, 1.0));
    Vector n = plane.getNormal(0.3, 0.4);
    EXPECT_NEAR(n[1], -1.0, 1e-15);
    EXPECT_TRUE(plane.hasNormal());
    Vector side = plane.getSideVector(0.9);
    EXPECT_EQ(side[0], 0.0);
    EXPECT_EQ(side[1], 0.0);
    EXPECT_EQ(side[2], 1.0);
    Vector raw = plane.getRawNormal(0.3, 0.4);
    EXPECT_NEAR(raw[1], -1.0, 1e-15);

    AnalyticCircle arc(origin3(), 1.0, 0.0, pi);
    EXPECT_FALSE(arc.hasNormal());
    for (double t : {0.0, 0.4, 1.3, 3.0}) {
        Vector s = arc.getSideVector(t);
        EXPECT_NEAR(dot(s, arc.getTangent(t)), 0.0, 1e-14) << t;
        EXPECT_GT(norm(s), 0.5);
    }
}

TEST(ParametricGeometry, PrincipalCurvatures)
{
    AnalyticPlane plane(origin3(), Vector(1.0, 0.0, 0.0), Vector(1.0, 1.0, 0.0), Interval(0.0, 1.0),
                        Interval(0.0, 1.0));
    Vector n;
    double k1 = 7.0, k2 = 7.0;
    EXPECT_TRUE(plane.getPrincipalCurvatures(0.5, 0.5, n, k1, k2));
    EXPECT_EQ(k1, 0.0);
    EXPECT_EQ(k2, 0.0);
    ASSERT_EQ(n.n, 3);
    EXPECT_NEAR(n[2], 1.0, 1e-15);

    AnalyticSphere sphere(Vector(1.0, -2.0, 0.5), 4.0);
    EXPECT_TRUE(sphere.getPrincipalCurvatures(1.0, 0.3, n, k1, k2));
    EXPECT_NEAR(std::fabs(k1), 0.25, 1e-12);
    EXPECT_NEAR(std::fabs(k2), 0.25, 1e-12);

    // At the pole Du vanishes: the first fundamental form is degenerate.
    EXPECT_FALSE(sphere.getPrincipalCurvatures(1.0, pi / 2.0, n, k1, k2));
    EXPECT_EQ(k1, 0.0);
    EXPECT_EQ(k2, 0.0);

    AnalyticCircle arc(origin3(), 1.0, 0.0, 1.0);
    k1 = k2 = 5.0;
    Vector untouched(1.0, 2.0, 3.0);
    EXPECT_FALSE(arc.getPrincipalCurvatures(0.5, 0.0, untouched, k1, k2));
    EXPECT_EQ(k1, 5.0);
    EXPECT_EQ(untouched[1], 2.0);
}

TEST(ParametricGeometry, PrincipalCurvaturesAtUmbilicPointsAreNotNaN)
{
    // Every point of a sphere is umbilic: the discriminant is zero up to
    // rounding and must not produce NaN when rounding makes it negative.
    AnalyticSphere sphere(origin3(), 3.0);
    Vector n;
    for (int i = 0; i < 40; ++i) {
        for (int j = 1; j < 40; ++j) {
            double k1 = 0.0, k2 = 0.0;
            const double u = 2.0 * pi * i / 40.0;
            const double v = -pi / 2.0 + pi * j / 40.0;
            ASSERT_TRUE(sphere.getPrincipalCurvatures(u, v, n, k1, k2));
            ASSERT_FALSE(std::isnan(k1)) << u << " " << v;
            ASSERT_NEAR(std::fabs(k1), 1.0 / 3.0, 1e-6);
            ASSERT_NEAR(std::fabs(k2), 1.0 / 3.0, 1e-6);
        }
    }
}

TEST(ParametricGeometry, DerivativeTableIsMadeOnceAndFreed)
{
    const double a[2] = {0.0, 0.0}, b[2] = {1.0, 1.0};
    AnalyticLine line(Vector(a, 2), Vector(b, 2)); // dimension 2
    Vector** table = nullptr;
    line.allocateDerivativeTable(table, 2);
    ASSERT_NE(table, nullptr);
    for (int i = 0; i <= 2; ++i) {
        for (int j = 0; j <= 2; ++j) {
            ASSERT_EQ(table[i][j].n, 2);
            EXPECT_EQ(table[i][j][1], 0.0);
        }
    }
    table[1][1][0] = 5.0;
    Vector** same = table;
    line.allocateDerivativeTable(table, 4);
    EXPECT_EQ(table, same);
    EXPECT_EQ(table[1][1][0], 5.0);
    CParametricGeometry::freeDerivativeTable(table, 2);
    EXPECT_EQ(table, nullptr);
    CParametricGeometry::freeDerivativeTable(table, 2);
}

TEST(ParametricGeometry, DrawOfSurfacePrintsMessage)
{
    AnalyticSphere sphere(origin3(), 1.0);
    testing::internal::CaptureStdout();
    sphere.draw(0.01, true, 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "render of base surfaces not supported\n");

    AnalyticCircle arc(origin3(), 1.0, 0.0, 1.0);
    testing::internal::CaptureStdout();
    arc.draw(0.01, false, 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(ParametricGeometry, CloneIsANewObjectOfTheSameShape)
{
    AnalyticCircle arc(origin3(), 1.5, 0.0, 1.0);
    arc.setColour(1.0, 0.0, 0.0);
    arc.layer = 4;
    std::unique_ptr<CParametricGeometry> copy(arc.clone());
    EXPECT_NE(std::string(copy->id.c_str()), std::string(arc.id.c_str()));
    EXPECT_TRUE(copy->isCurve());
    EXPECT_EQ(copy->getDimension(), 3);
    EXPECT_EQ(copy->layer, -1);
    EXPECT_EQ(copy->colour.n, 0);
    EXPECT_NEAR(copy->getLength(), 1.5, 1e-13);

    std::ostringstream os;
    EXPECT_TRUE(arc.write(os));
    EXPECT_EQ(os.str().rfind("GeoObject Begin\n", 0), 0u);
    EXPECT_EQ(arc.colour.n, 3);
    arc.setBkColour(0.0, 0.5, 1.0);
    EXPECT_EQ(arc.bkColour[1], 0.5);
}
