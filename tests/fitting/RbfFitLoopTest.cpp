#include "fitting/RbfFitLoop.h"

#include "fitting/PointThinning.h"

#include "RbfTestSupport.h"
#include "support/TestMeshes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace {

double bump(double x, double y)
{
    return 0.4 * std::exp(-((x - 5.0) * (x - 5.0) + (y - 4.0) * (y - 4.0)) / 8.0) +
           0.05 * std::sin(x / 2.0);
}

} // namespace

TEST(RbfFitLoop, Rbf3BendsABicubicOntoNearbyPoints)
{
    rbftest::GeneralLog log;
    auto S = rbftest::heightSurface(10, 10, 3, 3, rbftest::flat);
    CFitPointArray array;
    rbftest::scatterNear(*S, 723, bump, array);
    IndexSubset<CFitPoint> pts(array);
    pts.selectAll();
    const double dTol = 0.01;
    ASSERT_TRUE(rbf3(*S, dTol, pts, 723, nullptr, 0, false, true, 0.01, -1.0, true));
    EXPECT_GE(pts.count, 3);
    EXPECT_LT(rbftest::largestDistance(*S, pts), dTol);
    EXPECT_NE(log.text().find("interpolation success!"), std::string::npos);

    // Also approximating afterwards reports on the general log.
    auto T = rbftest::heightSurface(10, 10, 3, 3, rbftest::flat);
    IndexSubset<CFitPoint> again(array);
    again.selectAll();
    EXPECT_TRUE(rbf3(*T, dTol, again, 723, nullptr, 0, true, true, 0.01, -1.0, true));
    EXPECT_NE(log.text().find("Approximation success!"), std::string::npos) << log.text();
}

TEST(RbfFitLoop, Rbf3RefusesFarPointsAndAcceptsTooFew)
{
    auto S = rbftest::heightSurface(6, 6, 3, 3, rbftest::flat);
    Fenwo::NurbsSurf before(*S);
    CFitPointArray array;
    rbftest::scatterNear(
        *S, 40, [](double, double) { return 2.0; }, array);
    IndexSubset<CFitPoint> pts(array);
    pts.selectAll();
    bool ok = true;
    const std::string out = mwtest::capturedStdout(
        [&] { ok = rbf3(*S, 0.01, pts, 40, nullptr, 0, true, false, 0.01, -1.0, true); });
    EXPECT_FALSE(ok);
    EXPECT_NE(out.find("rbf3::error too large, abort\n"), std::string::npos) << out;
    EXPECT_TRUE(rbftest::sameNet(*S, before));

    IndexSubset<CFitPoint> two(array);
    two.append(0);
    two.append(1);
    EXPECT_TRUE(rbf3(*S, 0.01, two, 2, nullptr, 0, false, false, 0.01, -1.0, true));
    EXPECT_TRUE(rbftest::sameNet(*S, before));
}

TEST(RbfFitLoop, ImprintBuildsTheRequestedNet)
{
    struct Case {
        int nU, nV, degreeU, degreeV;
    };
    for (const Case& c : {Case{1, 1, 1, 1}, Case{2, 1, 2, 1}, Case{4, 5, 3, 3}}) {
        SCOPED_TRACE(c.nU);
        auto S = rbftest::heightSurface(6, 6, 3, 3, rbftest::flat);
        CFitPointArray array;
        rbftest::scatterNear(
            *S, 60, [](double, double) { return 0.5; }, array);
        IndexSubset<CFitPoint> pts(array);
        pts.selectAll();
        ASSERT_TRUE(imprintSurface(*S, pts, 0, c.nU, c.nV, 2, true));
        EXPECT_EQ(S->getUCount(), c.nU + 1);
        EXPECT_EQ(S->getVCount(), c.nV + 1);
        EXPECT_EQ(S->uKnots->p, c.degreeU);
        EXPECT_EQ(S->vKnots->p, c.degreeV);
        // A constant lift moves the net by that lift: the corners lie 0.5
        // above the old plane's corners.
        Vector corner;
        S->getControlPoint(c.nU, c.nV, corner);
        EXPECT_NEAR(norm(corner - Vector(10.0, 10.0, 0.5)), 0.0, 1e-9);
        EXPECT_EQ(pts.count, 60); // all project inside the new surface
    }
}

TEST(RbfFitLoop, ShapeHealingNeedsSharedPoints)
{
    auto S = rbftest::heightSurface(6, 6, 3, 3, rbftest::flat);
    Fenwo::NurbsSurf before(*S);
    CFitPointArray array;
    rbftest::scatterNear(*S, 60, bump, array);
    IndexSubset<CFitPoint> test(array), shape(array);
    for (int k = 0; k < 60; ++k)
        (k < 30 ? test : shape).append(k);
    bool ok = true;
    const std::string out = mwtest::capturedStdout([&] {
        ok = fitShapeToTestSet(*S, 0.01, test, shape, 100, nullptr, 0, false, true, 0.01, -1.0,
                               true);
    });
    EXPECT_FALSE(ok);
    EXPECT_NE(out.find("oops, testSet and shapeSet have nothing common.\nmaybe the Surface is "
                       "too small ? \n"),
              std::string::npos)
        << out;
    EXPECT_TRUE(rbftest::sameNet(*S, before));

    // Shared points inside the surface: healed within the tolerance on them.
    IndexSubset<CFitPoint> all(array);
    all.selectAll();
    EXPECT_TRUE(
        fitShapeToTestSet(*S, 0.01, all, shape, 100, nullptr, 0, false, true, 0.01, -1.0, true));
    IndexSubset<CFitPoint> judged = intersectSubsets(shape, all);
    EXPECT_LT(rbftest::largestDistance(*S, judged), 0.01);
}

TEST(RbfFitLoop, ParameterLookupOfATrimmedFace)
{
    auto S = rbftest::heightSurface(8, 8, 3, 3, bump);
    // Samples along the iso-lines of a disc-shaped trim, as a face's
    // tessellation gives them.
    Kor::List<Vector> uv;
    for (int k = 1; k < 12; ++k) {
        const double c = k / 12.0;
        const double half = std::sqrt(std::max(0.0, 0.2025 - (c - 0.5) * (c - 0.5)));
        for (int s = 0; s <= 150; ++s) {
            const double t = 0.5 - half + 2.0 * half * s / 150.0;
            uv.append(Vector(c, t, 0.0));
            uv.append(Vector(t, c, 0.0));
        }
    }
    std::unique_ptr<iPolScatteredData> lookup(newParameterLookup(*S, uv));
    const int kept = lookup->getSampleCount();
    EXPECT_LE(kept, 500);
    EXPECT_GT(kept, 250);
    for (int i = 0; i < kept; ++i) {
        Vector position, value;
        ASSERT_TRUE(lookup->getSample(i, position, value));
        EXPECT_EQ(value[2], 0.0);
        const Vector back = lookup->evaluate(S->getPoint(value[0], value[1]));
        ASSERT_LT(norm(back - value), 1e-8) << i;
    }
}

// Points on three of six flat strips around a cylinder of radius 5 (angles
// -0.8 .. 0.8 about +z, along x), a cubic of 8 or 10 x 4 control points on
// the round cylinder over them. Approximating after the interpolation slides
// the control points along the surface; with 10 columns it folds the net the
// interpolation left smooth, and the interpolation is kept; with 8 the
// approximation is kept.
TEST(RbfFitLoop, ApproximationThatFoldsTheControlNetIsNotKept)
{
    const double r = 5.0, step = 1.6 / 6.0;
    auto onStrips = [&](double x, double a) {
        const double a0 = -0.8 + std::clamp(std::floor((a + 0.8) / step), 0.0, 5.0) * step;
        const double f = (a - a0) / step;
        return Vector(x, r * ((1.0 - f) * std::sin(a0) + f * std::sin(a0 + step)),
                      r * ((1.0 - f) * std::cos(a0) + f * std::cos(a0 + step)));
    };
    for (const auto& [columns, folds] : {std::pair{8, false}, std::pair{10, true}}) {
        SCOPED_TRACE(columns);
        const knots u(columns - 1, 3, 0.0, 1.0), v(3, 3, 0.0, 1.0);
        Fenwo::NurbsSurf S(u, &v);
        for (int j = 0; j < 4; ++j)
            for (int i = 0; i < columns; ++i) {
                const double a = 0.56 - 1.12 * u.getGrevilleAbscissa(i);
                S.setControlPoint(i, j,
                                  Vector(0.4755 + 7.05 * v.getGrevilleAbscissa(j), r * std::sin(a),
                                         r * std::cos(a)),
                                  1.0);
            }
        CFitPointArray array;
        for (int i = 0; i <= 18; ++i)
            for (int j = 0; j <= 18; ++j)
                array.append(CFitPoint(onStrips(1.36 + 5.3 * i / 18.0, -0.42 + 0.84 * j / 18.0),
                                       Vector(0.5, 0.5)));
        IndexSubset<CFitPoint> pts(array), again(array);
        pts.selectAll();
        rbftest::largestDistance(S, pts); // the points' parameters on S
        again.selectAll();
        Fenwo::NurbsSurf interpolated(S), approximated(S);
        rbf3(interpolated, 0.05, pts, 350, nullptr, 2, false, false, 0.01, -1.0, false);
        rbf3(approximated, 0.05, again, 350, nullptr, 2, true, false, 0.01, -1.0, false);
        EXPECT_FALSE(approximated.checkControlNetAngles());
        EXPECT_EQ(rbftest::sameNet(approximated, interpolated), folds);
    }
}
