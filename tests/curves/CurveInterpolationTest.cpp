#include "curves/CurveInterpolation.h"

#include "geometry/NurbsSurf.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <tuple>

using Fenwo::NurbsSurf;
using Curve = std::unique_ptr<NurbsSurf>;

namespace {

// n points on a twisted open arc, or around a wavy closed loop, scaled.
CFitPointArray makeRow(int n, bool closed, double scale = 1.0)
{
    CFitPointArray a;
    for (int i = 0; i < n; ++i) {
        const double s = closed ? 2.0 * M_PI * i / n : 2.5 * i / std::max(n - 1, 1);
        Vector p = closed ? Vector(3.0 * std::cos(s), 2.0 * std::sin(s), 0.5 * std::sin(3.0 * s))
                          : Vector(s + 0.1 * i * i / n, std::sin(1.7 * s), 0.3 * s * s);
        p *= scale;
        a.append(CFitPoint(p));
    }
    return a;
}

double distance(const Vector& a, const Vector& b)
{
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                     (a[2] - b[2]) * (a[2] - b[2]));
}

// Largest distance between a selected point and the curve at its parameter.
double largestDeviation(NurbsSurf& c, IndexSubset<CFitPoint>& sel)
{
    double worst = 0.0;
    for (int i = 0; i < sel.count; ++i)
        worst = std::max(worst, distance(c.getPoint(sel[i].uv[0], 0.0), sel[i].Point));
    return worst;
}

// Mode-5 interpolation with its standard output.
std::string interpolateCapturing(IndexSubset<CFitPoint>& sel, int degree, Curve& result)
{
    testing::internal::CaptureStdout();
    result.reset(interpolateCurve(sel, 5, degree, true, false));
    return testing::internal::GetCapturedStdout();
}

} // namespace

TEST(CurveInterpolation, CurvePassesThroughEveryPointOpenAndClosed)
{
    for (bool closed : {false, true})
        for (int degree = 1; degree <= 5; ++degree)
            for (bool improve : {false, true}) {
                CFitPointArray a = makeRow(11, closed);
                IndexSubset<CFitPoint> sel(a);
                sel.selectAll();
                Curve c(
                    interpolateCurve(sel, closed ? 2 : 1 + degree % 3, degree, improve, closed));
                ASSERT_NE(c, nullptr) << "degree " << degree;
                EXPECT_EQ(c->uKnots->p, degree);
                EXPECT_EQ(c->getUCount(), 11);
                // The wrap-around copies of a closed row do not survive.
                ASSERT_EQ(a.count, 11);
                ASSERT_EQ(sel.count, 11);
                EXPECT_EQ(distance(a[0].Point, makeRow(11, closed)[0].Point), 0.0);
                EXPECT_LT(largestDeviation(*c, sel), 1e-9) << "degree " << degree;
                if (!closed)
                    continue;
                EXPECT_EQ(c->uKnots->endCondition, knots::CyclicEnd);
                const Interval dom = c->getDomain(0);
                EXPECT_LT(distance(c->getPoint(dom.min, 0.0), c->getPoint(dom.max, 0.0)), 1e-9);
                const Vector t0 = c->getTangent(dom.min);
                const double kink = distance(t0, c->getTangent(dom.max)) / distance(t0, 0 * t0);
                EXPECT_LT(degree >= 2 ? kink : 0.0, 1e-7) << "degree " << degree;
            }
}

TEST(CurveInterpolation, FewPointsLowerTheDegree)
{
    CFitPointArray a = makeRow(3, false);
    IndexSubset<CFitPoint> sel(a);
    sel.append(0);
    EXPECT_EQ(interpolateCurve(sel, 2, 3, true, false), nullptr);
    sel.append(2); // two points: the straight segment
    Curve line(interpolateCurve(sel, 1, 3, true, false));
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->uKnots->p, 1);
    EXPECT_DOUBLE_EQ(a[2].uv[0], 1.0);
    EXPECT_LT(distance(line->getPoint(0.5, 0.0), 0.5 * (a[0].Point + a[2].Point)), 1e-12);
    Curve loop(interpolateCurve(sel, 2, 3, true, true));
    ASSERT_NE(loop, nullptr);
    EXPECT_EQ(a.count, 3);
    sel.selectAll(); // three points, degree 3: a parabola
    Curve parabola(interpolateCurve(sel, 2, 3, true, false));
    ASSERT_NE(parabola, nullptr);
    EXPECT_EQ(parabola->uKnots->p, 2);
    EXPECT_LT(largestDeviation(*parabola, sel), 1e-9);
}

TEST(CurveInterpolation, KeptParametersAreUsedUnchanged)
{
    for (bool closed : {false, true}) {
        CFitPointArray a = makeRow(9, closed);
        IndexSubset<CFitPoint> sel(a);
        sel.selectAll();
        for (int i = 0; i < 9; ++i)
            a[i].uv[0] = closed ? i / 9.0 : std::pow(i / 8.0, 1.5);
        Curve c(interpolateCurve(sel, 5, 3, false, closed));
        ASSERT_NE(c, nullptr);
        EXPECT_DOUBLE_EQ(a[4].uv[0], closed ? 4 / 9.0 : std::pow(0.5, 1.5));
        EXPECT_DOUBLE_EQ(c->getDomain(0).max - c->getDomain(0).min, 1.0);
        EXPECT_LT(largestDeviation(*c, sel), 1e-9);
        // A closed row with kept parameters keeps all of the caller's points.
        EXPECT_EQ(a.count, 9);
        EXPECT_EQ(distance(a[8].Point, makeRow(9, closed)[8].Point), 0.0);
        // A point without a parameter gives no curve instead of a bad read.
        a[3].uv = Vector();
        EXPECT_EQ(interpolateCurve(sel, 5, 3, false, closed), nullptr);
    }
}

TEST(CurveInterpolation, UnsoundKnotsTakeTheEmergencyPath)
{
    // Coincident parameters pile the knots up; descending ones disorder them.
    for (auto [n, degree, descending] :
         {std::tuple{3, 1, false}, std::tuple{12, 3, false}, std::tuple{6, 2, true}}) {
        CFitPointArray a = makeRow(n, false);
        IndexSubset<CFitPoint> sel(a);
        sel.selectAll();
        for (int i = 0; i < n; ++i)
            a[i].uv[0] = descending ? 1.0 - i / (n - 1.0) : 0.0;
        Curve c;
        const std::string out = interpolateCapturing(sel, degree, c);
        EXPECT_EQ(c, nullptr);
        const std::string message =
            "emergency case in Interpolation of " + std::to_string(n) + " points encountered.\n";
        EXPECT_NE(out.find(message), std::string::npos) << out;
        int lines = 0;
        for (size_t at = out.find("\nmp="); at != std::string::npos; at = out.find("\nmp=", at + 1))
            ++lines;
        EXPECT_EQ(lines, 2 * std::min(n, 5));
    }
}

// The collocation solver stops and judges its residual at absolute
// thresholds; the interpolation must not inherit them (tiny models came out
// coarse).
TEST(CurveInterpolation, AbsoluteSolverThresholdsDoNotDependOnModelScale)
{
    for (bool closed : {false, true}) {
        CFitPointArray ref = makeRow(11, closed);
        IndexSubset<CFitPoint> refSel(ref);
        refSel.selectAll();
        Curve r(interpolateCurve(refSel, 2, 3, true, closed));
        ASSERT_NE(r, nullptr);
        for (double scale : {1e-6, 1e-3, 1e3, 1e6}) {
            CFitPointArray a = makeRow(11, closed, scale);
            IndexSubset<CFitPoint> sel(a);
            sel.selectAll();
            Curve c(interpolateCurve(sel, 2, 3, true, closed));
            ASSERT_NE(c, nullptr) << "scale " << scale;
            EXPECT_LT(largestDeviation(*c, sel), 1e-9 * scale) << "scale " << scale;
            for (int i = 0; i < 11; ++i)
                EXPECT_NEAR(a[i].uv[0], ref[i].uv[0], 1e-7) << "scale " << scale;
        }
    }
}
