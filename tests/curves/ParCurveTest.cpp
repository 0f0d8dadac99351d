#include "curves/ParCurve.h"

#include "curves/Projections.h"
#include "curves/ReInterpolation.h"
#include "curves/StartValues.h"
#include "geometry/NurbsSurf.h"
#include "support/AnalyticCurves.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

using Fenwo::NurbsSurf;

namespace {

NurbsSurf* uvLine(double u0, double v0, double u1, double v1)
{
    const double a[3] = {u0, v0, 0.0}, b[3] = {u1, v1, 0.0};
    return makeCurve(a, b);
}

double distance(const CVertex<double, 3>& a, const CVertex<double, 3>& b)
{
    return std::sqrt(std::pow(a.data[0] - b.data[0], 2) + std::pow(a.data[1] - b.data[1], 2) +
                     std::pow(a.data[2] - b.data[2], 2));
}

} // namespace

TEST(ParCurve, FacetImageAndEdgeStayOnTheCylinder)
{
    auto cylinder = makeRationalCylinder(2.0, 3.0);
    CParCurve curve(uvLine(0.05, 0.4, 0.9, 0.4), cylinder.get(), true);
    const int n = curve.spacePoints.count;
    ASSERT_GT(n, 4);
    EXPECT_EQ(curve.uvPoints.count, n);
    EXPECT_EQ(curve.facetParameters.count, n);
    for (const CVertex<double, 3>& p : curve.spacePoints)
        EXPECT_NEAR(std::hypot(p.data[0], p.data[1]), 2.0, 1e-12);
    // The edge is the exact iso curve of the cylinder over the line's range.
    ASSERT_NE(curve.edge, nullptr);
    CParametricGeometry* edge = curve.edge->curve;
    ASSERT_NE(edge, nullptr);
    for (double u : {0.05, 0.3, 0.61, 0.9})
        EXPECT_LT(norm(edge->getPoint(u, 0.0) - cylinder->getPoint(u, 0.4)), 1e-12) << u;

    const CVertex<double, 3> first = curve.spacePoints[0], last = curve.spacePoints[n - 1];
    curve.reverseU();
    EXPECT_LT(distance(curve.spacePoints[0], last), 1e-12);
    EXPECT_LT(distance(curve.spacePoints[curve.spacePoints.count - 1], first), 1e-12);
    EXPECT_LT(norm(curve.edge->curve->getStartPoint() - curve.getStartPoint()), 1e-12);

    // A clone has its lists and no edge; reversing it leaves the original.
    std::unique_ptr<CParCurve> copy(dynamic_cast<CParCurve*>(curve.clone()));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->edge, nullptr);
    EXPECT_EQ(copy->spacePoints.count, curve.spacePoints.count);
    copy->reverseU();
    EXPECT_LT(distance(curve.spacePoints[0], last), 1e-12);
    EXPECT_LT(distance(copy->spacePoints[0], first), 1e-12);
}

TEST(ParCurve, ReApproximationOfABentLineMeetsItsTolerance)
{
    // Off the parameter lines the samples are approximated by a poly-line
    // fit at a fifteenth of the tolerance; asked for the tolerance itself
    // that fit strays many times beyond it.
    auto s = makeWavyBicubic(Interval(0.0, 2.0), Interval(1.0, 5.0));
    const struct {
        double u0, v0, u1, v1, tol;
    } cases[] = {
        {0.2, 1.3, 1.8, 4.6, 1e-3}, {1.9, 1.1, 0.1, 4.9, 1e-3}, {0.1, 1.2, 1.9, 1.9, 1e-3},
        {0.2, 1.3, 1.8, 4.6, 1e-2}, {1.9, 1.1, 0.1, 4.9, 1e-2}, {0.1, 1.2, 1.9, 1.9, 1e-2}};
    for (const auto& c : cases) {
        CParCurve line(uvLine(c.u0, c.v0, c.u1, c.v1), s.get(), false);
        testing::internal::CaptureStdout();
        std::unique_ptr<NurbsSurf> fitted(line.reApproximateCurve(3, c.tol, true));
        const std::string out = testing::internal::GetCapturedStdout();
        ASSERT_NE(fitted, nullptr);
        for (const char* text : {"dTol=", " Positional Error:", "tangent statistic = "})
            EXPECT_NE(out.find(text), std::string::npos) << text;
        line.updateSpacePoints(0.1 * c.tol);
        double worst = 0.0;
        for (const CVertex<double, 3>& p : line.spacePoints) {
            const Vector x(p.data[0], p.data[1], p.data[2]);
            double t = fitted->getUMin();
            startParameterOnCurve(*fitted, x, t);
            projectPointOnCurve(fitted.get(), x, t);
            worst = std::max(worst, norm(fitted->getPoint(t, 0.0) - x));
        }
        EXPECT_LT(worst, c.tol) << c.u0 << ' ' << c.tol;
    }
}

TEST(ParCurve, ReApproximationIsExactAlongParameterLines)
{
    auto s = makeWavyBicubic(Interval(0.0, 2.0), Interval(1.0, 5.0));
    for (bool backwards : {false, true}) {
        CParCurve line(backwards ? uvLine(1.7, 2.5, 0.3, 2.5) : uvLine(0.3, 2.5, 1.7, 2.5), s.get(),
                       false);
        std::unique_ptr<NurbsSurf> iso(line.reApproximateCurve(3, 1e-3, true));
        ASSERT_NE(iso, nullptr);
        EXPECT_NEAR(iso->getUMin(), 0.3, 1e-12);
        EXPECT_NEAR(iso->getUMax(), 1.7, 1e-12);
        for (int k = 0; k <= 10; ++k) {
            const double t = 0.3 + 0.14 * k;
            const double u = backwards ? 2.0 - t : t;
            EXPECT_LT(norm(iso->getPoint(t, 0.0) - s->getPoint(u, 2.5)), 1e-12) << t;
        }
    }

    // The four sides of the domain are iso lines with codes 1 to 4.
    const double lines[4][4] = {{0, 1, 2, 1}, {2, 5, 0, 5}, {0, 5, 0, 1}, {2, 1, 2, 5}};
    for (int side = 0; side < 4; ++side) {
        std::unique_ptr<NurbsSurf> uv(
            uvLine(lines[side][0], lines[side][1], lines[side][2], lines[side][3]));
        double start = 0.0, end = 0.0, fixed = 0.0;
        int code = 0;
        ASSERT_TRUE(classifyIsoUVCurve(uv.get(), s.get(), start, end, code, fixed));
        EXPECT_EQ(code, side + 1);
    }
    std::unique_ptr<NurbsSurf> diagonal(uvLine(0.2, 1.3, 1.8, 4.6));
    double start = 0.0, end = 0.0, fixed = 0.0;
    int code = 0;
    EXPECT_FALSE(classifyIsoUVCurve(diagonal.get(), s.get(), start, end, code, fixed));
}
