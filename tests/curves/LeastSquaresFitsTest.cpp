#include "curves/LeastSquaresFits.h"

#include "foundation/Progress.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "support/NurbsFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using Fenwo::NurbsSurf;

namespace {

// A grid of records at the positions f(i, j), with parameters (i, j).
void fillGrid(CFitPointArray2D& grid, const std::function<Vector(double, double)>& f)
{
    for (int j = 0; j < grid.cols; ++j)
        for (int i = 0; i < grid.rows; ++i)
            grid.at(i, j) = CFitPoint(f(i, j), Vector(double(i), double(j), 0.0));
}

} // namespace

TEST(LeastSquaresFits, CurveFitKeepsFreeControlPointsNearTheData)
{
    CFitPointArray segment;
    segment.append(CFitPoint(Vector(1, 2, 3), Vector(0.5, 0, 0)));
    segment.append(CFitPoint(Vector(4, 0, -1), Vector(2.5, 0, 0)));
    IndexSubset<CFitPoint> two(segment);
    two.selectAll();
    std::unique_ptr<NurbsSurf> line(fitCurveThroughPoints(two, 1));
    ASSERT_NE(nullptr, line);
    ASSERT_EQ(2, line->getUCount());
    EXPECT_LT(squaredDistance(pointAt(*line, 1.5, 0), Vector(2.5, 1, 1)), 1e-24);

    // Ten points on a half circle of radius 5 at chord-length parameters.
    CFitPointArray arc;
    double t = 0.0;
    for (int i = 0; i < 10; ++i) {
        const double a = M_PI * i / 9;
        const Vector p(5 * std::cos(a), 5 * std::sin(a), 0);
        if (i > 0)
            t += std::sqrt(squaredDistance(p, arc[i - 1].Point));
        arc.append(CFitPoint(p, Vector(t, 0, 0)));
    }
    arc[0].Normal = Vector(0, 1, 0); // the start's derivative, a unit tangent
    IndexSubset<CFitPoint> all(arc);
    all.selectAll();
    std::unique_ptr<NurbsSurf> curve(fitCurveThroughPoints(all, 3));
    ASSERT_NE(nullptr, curve);
    EXPECT_EQ(12, curve->getUCount());
    EXPECT_LT(std::sqrt(squaredDistance(curve->evaluate(1, 0.0, 0.0)[1][0], arc[0].Normal)), 1e-6);
    for (int i = 0; i < 10; ++i)
        EXPECT_LT(std::sqrt(squaredDistance(pointAt(*curve, arc[i].uv[0], 0), arc[i].Point)), 1e-6);
    for (int k = 0; k <= 200; ++k)
        EXPECT_NEAR(5.0, norm(pointAt(*curve, t * k / 200, 0)), 0.05);

    // Derivative data on both ends (and inside) goes to the Newton fit, which
    // regroups every point; the interior loses its data first.
    for (int i = 0; i < 10; ++i)
        arc[i].Normal = Vector(-std::sin(M_PI * i / 9), std::cos(M_PI * i / 9), 0);
    std::unique_ptr<NurbsSurf> newton(fitCurveThroughPoints(all, 3));
    ASSERT_NE(nullptr, newton);
    for (int i = 0; i < 10; ++i) {
        const bool end = i == 0 || i == 9;
        EXPECT_EQ(end ? 3 : 0, arc[i].Normal.size());
        EXPECT_EQ(end ? 2 : 1, arc[i].group);
    }

    // Four equal parameters exceed a cubic's knot multiplicity: the knot
    // vector reports it, the fit adds nothing.
    for (int i = 3; i <= 6; ++i)
        arc[i].uv[0] = arc[3].uv[0];
    arc[0].Normal.resize(0);
    testing::internal::CaptureStdout();
    std::unique_ptr<NurbsSurf> none(fitCurveThroughPoints(all, 3));
    EXPECT_EQ(std::string::npos, testing::internal::GetCapturedStdout().find("fitCurve"));
    EXPECT_EQ(nullptr, none);
}

TEST(LeastSquaresFits, GridFitsReproduceTheirSurfaces)
{
    // 2 x 2 records: the bilinear surface through them.
    CFitPointArray2D quad(2, 2);
    fillGrid(quad, [](double i, double j) { return Vector(i, j, i * j + 0.5 * i); });
    std::unique_ptr<NurbsSurf> bilinear(
        fitNurbsToPoints(quad, nullptr, nullptr, nullptr, false, 3, 3));
    ASSERT_NE(nullptr, bilinear);
    EXPECT_EQ(1, bilinear->uKnots->p);
    EXPECT_LT(squaredDistance(pointAt(*bilinear, 0.5, 0.5), Vector(0.5, 0.5, 0.5)), 1e-20);

    // 10 x 10 samples of a bicubic with 6 x 6 control points on its own knots.
    const knots k(5, 3, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    NurbsSurf bicubic(k, &k);
    for (int j = 0; j < 6; ++j)
        for (int i = 0; i < 6; ++i)
            bicubic.setControlPoint(i, j, Vector(i, j, std::sin(i + 2.0 * j)), 1.0);
    CFitPointArray2D samples(10, 10);
    fillGrid(samples, [&](double i, double j) { return pointAt(bicubic, i / 9, j / 9); });
    for (int r = 0; r < 100; ++r)
        samples.items[r].uv = Vector(samples.items[r].uv[0] / 9, samples.items[r].uv[1] / 9, 0);
    std::unique_ptr<NurbsSurf> refit(fitNurbsToPoints(samples, &k, &k, nullptr, false, 3, 3));
    ASSERT_NE(nullptr, refit);
    for (int j = 0; j < 6; ++j)
        for (int i = 0; i < 6; ++i) {
            Vector a, b;
            bicubic.getControlPoint(i, j, a);
            refit->getControlPoint(i, j, b);
            EXPECT_LT(std::sqrt(squaredDistance(a, b)), 1e-6);
        }
    // The same bicubic made rational, refitted with its own weights.
    double weights[36];
    for (int c = 0; c < 36; ++c) {
        weights[c] = 1.0 + 0.4 * std::sin(1.3 * c);
        Vector a;
        bicubic.getControlPoint(c % 6, c / 6, a);
        bicubic.setControlPoint(c % 6, c / 6, a, weights[c]);
    }
    fillGrid(samples, [&](double i, double j) { return pointAt(bicubic, i / 9, j / 9); });
    for (int r = 0; r < 100; ++r)
        samples.items[r].uv = Vector(samples.items[r].uv[0] / 9, samples.items[r].uv[1] / 9, 0);
    std::unique_ptr<NurbsSurf> rational(
        fitNurbsToPoints(samples, &k, &k, nullptr, false, 3, 3, weights));
    ASSERT_NE(nullptr, rational);
    for (int c = 0; c < 36; ++c)
        EXPECT_LT(norm(rational->getWrappedControlPoint(c % 6, c / 6) -
                       bicubic.getWrappedControlPoint(c % 6, c / 6)),
                  1e-6);

    // A half cylinder of radius 2, parameterised on the fly.
    CFitPointArray2D cylinder(20, 20);
    fillGrid(cylinder, [](double i, double j) {
        return Vector(2 * std::cos(M_PI * i / 19), 2 * std::sin(M_PI * i / 19), 0.3 * j);
    });
    std::unique_ptr<NurbsSurf> half(
        fitNurbsToPoints(cylinder, nullptr, nullptr, nullptr, true, 3, 3));
    ASSERT_NE(nullptr, half);
    for (int j = 0; j < 20; ++j)
        for (int i = 0; i < 20; ++i) {
            const CFitPoint& r = cylinder.at(i, j);
            EXPECT_LT(std::sqrt(squaredDistance(pointAt(*half, r.uv[0], r.uv[1]), r.Point)), 1e-6);
            EXPECT_TRUE(r.uv[0] >= 0 && r.uv[0] <= 19 && r.uv[1] >= 0 && r.uv[1] <= 19);
            EXPECT_TRUE(i == 0 || r.uv[0] > cylinder.at(i - 1, j).uv[0]);
            EXPECT_TRUE(j == 0 || r.uv[1] > cylinder.at(i, j - 1).uv[1]);
        }
    for (int j = 0; j <= 40; ++j)
        for (int i = 0; i <= 40; ++i) {
            const Vector p = pointAt(*half, 19.0 * i / 40, 19.0 * j / 40);
            EXPECT_NEAR(2.0, std::hypot(p[0], p[1]), 1.5e-3);
        }
}

TEST(LeastSquaresFits, GridFitsRefuseWhatTheyCannotFollow)
{
    CFitPointArray2D noisy(8, 8);
    fillGrid(noisy, [](double i, double j) { return Vector(i, j, std::sin(7.3 * i + 3.1 * j)); });
    const knots bilinear(1, 1, 0.0, 7.0, knots::ClampedEnd, knots::Uniform);
    const knots tooMany(9, 3, 0.0, 7.0, knots::ClampedEnd, knots::Uniform);
    CSimpleProgress cancelled;
    cancelled.setPrint(false);
    cancelled.setCancelled(true);
    struct Case {
        const char* name;
        const knots* u;
        CProgress* progress;
        const char* message;
    };
    const Case cases[] = {
        {"noise against bilinear knots", &bilinear, nullptr, "resz too large:"},
        {"cancelled", nullptr, &cancelled, ""},
        {"UnderdeterminedKnotsAreRefused", &tooMany, nullptr, "more control points"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::internal::CaptureStdout();
        std::unique_ptr<NurbsSurf> s(fitNurbsToPoints(noisy, c.u, c.u, c.progress, false, 3, 3));
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(nullptr, s);
        EXPECT_NE(std::string::npos, out.find(c.message)) << out;
        EXPECT_EQ(7.0, noisy.at(7, 7).uv[0]);
    }
}
