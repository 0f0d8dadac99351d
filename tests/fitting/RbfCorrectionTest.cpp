#include "fitting/RbfCorrection.h"

#include "RbfTestSupport.h"
#include "support/TestMeshes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

namespace {

double wave(double x, double y)
{
    return 0.3 * std::sin(x / 3.0) * std::cos(y / 4.0);
}

std::unique_ptr<iPolScatteredData> field(Fenwo::NurbsSurf& S, IndexSubset<CFitPoint>& pts,
                                         int kernel, double th)
{
    return std::unique_ptr<iPolScatteredData>(
        harmonicRecompute(S, pts, kernel, false, nullptr, -1.0, th, true));
}

int kernelOf(iPolScatteredData& f)
{
    return dynamic_cast<iPolScatteredDataRBF&>(f).system.kernel;
}

} // namespace

TEST(RbfCorrection, OvershootCheckFallsBackToTheLinearKernel)
{
    auto S = rbftest::heightSurface(6, 6, 3, 3, rbftest::flat);
    CFitPointArray array;
    rbftest::scatterNear(*S, 144, wave, array);
    IndexSubset<CFitPoint> pts(array);
    pts.selectAll();

    struct Case {
        int kernel;
        double th;
        bool fallsBack;
    };
    for (const Case& c : {Case{2, 0.5, true}, Case{0, 0.5, false}, Case{2, -1.0, false}}) {
        SCOPED_TRACE(c.kernel);
        std::unique_ptr<iPolScatteredData> f;
        const std::string out = mwtest::capturedStdout([&] { f = field(*S, pts, c.kernel, c.th); });
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(out.find("harmonic recompute val=") != std::string::npos, c.fallsBack) << out;
        EXPECT_EQ(out.find(" th= 2") != std::string::npos, c.fallsBack) << out;
        EXPECT_EQ(kernelOf(*f), c.fallsBack ? 0 : c.kernel);
        // The field carries every point from the surface onto itself.
        for (int k = 0; k < pts.count; k += 13) {
            const Vector p = S->getPoint(pts[k].uv[0], pts[k].uv[1]);
            EXPECT_LT(norm(p + f->evaluate(p) - pts[k].Point), 1e-8);
        }
    }
}

// A smooth displacement is followed within the tolerance; a step of 2 no
// smooth surface follows stops the refinement at 32 control points a point
// (25 x 25 for a few), and a second call (a heal's denser round) keeps that
// net: it grew by a refinement a call, into grid fits of minutes.
TEST(RbfCorrection, InterpolationFollowsADisplacementWithinTolerance)
{
    rbftest::GeneralLog log;
    const auto step = +[](double x, double) { return x < 5.0 ? 0.0 : 2.0; };
    const struct {
        double (*offset)(double, double);
        int points;
        int largestNet; // 0: the displacement is followed
    } cases[] = {{wave, 625, 0}, {step, 40, 32 * 40}, {step, 12, 625}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.points);
        auto S = rbftest::heightSurface(6, 6, 3, 3, rbftest::flat);
        CFitPointArray array;
        rbftest::scatterNear(*S, c.points, c.offset, array);
        IndexSubset<CFitPoint> pts(array);
        pts.selectAll();
        auto f = field(*S, pts, 0, -1.0);
        for (int k = 0; k < pts.count; ++k)
            pts[k].state = 2;

        const double dTol = 1e-3;
        if (c.largestNet > 0) {
            EXPECT_FALSE(interpolateToTolerance(*S, f.get(), dTol, pts, nullptr));
            const int net = S->getUCount() * S->getVCount();
            EXPECT_LE(net, c.largestNet);
            EXPECT_FALSE(interpolateToTolerance(*S, f.get(), dTol, pts, nullptr));
            EXPECT_EQ(S->getUCount() * S->getVCount(), net);
            continue;
        }
        ASSERT_TRUE(interpolateToTolerance(*S, f.get(), dTol, pts, nullptr));
        EXPECT_NE(log.text().find("interpolation success! dMax="), std::string::npos) << log.text();
        EXPECT_NE(log.text().find(" for Tol=0.001"), std::string::npos);
        EXPECT_LT(rbftest::largestDistance(*S, pts), dTol); // also with free parameters
    }
}

TEST(RbfCorrection, PointsWithinToleranceLeaveTheNetAsItIs)
{
    rbftest::GeneralLog log;
    struct Case {
        int p, q;
    };
    for (const Case& c : {Case{3, 3}, Case{1, 2}}) {
        auto S = rbftest::heightSurface(5, 5, c.p, c.q, wave);
        Fenwo::NurbsSurf before(*S);
        CFitPointArray array;
        rbftest::scatterNear(*S, 64, rbftest::flat, array);
        IndexSubset<CFitPoint> pts(array);
        pts.selectAll();
        auto f = field(*S, pts, 0, -1.0);
        const std::string out = mwtest::capturedStdout(
            [&] { EXPECT_TRUE(interpolateToTolerance(*S, f.get(), 1e-6, pts, nullptr)); });
        EXPECT_EQ(out, "");
        EXPECT_EQ(S->uKnots->p, 3);
        EXPECT_EQ(S->vKnots->p, 3);
        if (c.p == 3 && c.q == 3) {
            EXPECT_TRUE(rbftest::sameNet(*S, before));
        }
    }
    EXPECT_EQ(log.text().find("nterpolation"), std::string::npos) << log.text();
    IndexSubset<CFitPoint> none;
    EXPECT_FALSE(interpolateToTolerance(*rbftest::heightSurface(4, 4, 3, 3, rbftest::flat), nullptr,
                                        1.0, none, nullptr));
}
