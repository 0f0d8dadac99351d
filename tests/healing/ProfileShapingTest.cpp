#include "healing/ProfileShaping.h"

#include "support/AnalyticCurves.h"
#include "support/NurbsFixtures.h"
#include "support/TestMeshes.h"

#include <gtest/gtest.h>

#include <numbers>

TEST(ProfileShaping, ScaleAlongAxesAboutCentre)
{
    const std::vector<Vector> P = {Vector(1, 2, 3), Vector(-2, 0.5, 1), Vector(4, -1, -2)};
    auto c = clampedCurve(P, 2);
    CAxisScaling s{Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 0), 2.0, -1.0};
    scaleCurveAlongAxes(c.get(), s);
    for (int i = 0; i < 3; ++i) {
        const Vector q = mwtest::controlPoint(*c, i);
        EXPECT_NEAR(q[0], 2 * P[i][0], 1e-15);
        EXPECT_NEAR(q[1], 2 * P[i][1], 1e-15);
        EXPECT_NEAR(q[2], P[i][2], 1e-15);
    }

    // About a centre, with a zero second direction and a skew unit first one.
    auto d = clampedCurve(P, 2);
    const Vector centre(1, 1, 1), u = normalized(Vector(1, 1, 0));
    scaleCurveAlongAxes(d.get(), CAxisScaling{u, Vector(3), centre, 3.0, 0.5});
    for (int i = 0; i < 3; ++i) {
        const Vector r = P[i] - centre;
        const Vector expected = centre + r + 2.0 * dot(r, u) * u;
        EXPECT_LT(norm(mwtest::controlPoint(*d, i) - expected), 1e-14) << i;
    }
}

TEST(ProfileShaping, BlendCurvesLinearCombinesHomogeneousPoints)
{
    auto arc = rationalArc(Vector(0, 0, 0), Vector(1, 0, 0), Vector(0, 1, 0), 1.0, 1);
    auto other = rationalArc(Vector(0, 0, 2), Vector(1, 0, 0), Vector(0, 1, 0), 3.0, 1);
    std::unique_ptr<Fenwo::NurbsSurf> copy(blendCurvesLinear(arc.get(), other.get(), 1.0, 0.0));
    ASSERT_TRUE(copy);
    EXPECT_TRUE(copy->rational);
    for (double t : {0.0, 0.3, 0.77, 1.0})
        EXPECT_LT(norm(pointAt(*copy, t) - pointAt(*arc, t)), 1e-15) << t;
}

TEST(ProfileShaping, BlendCurvesLinearRefusesShorterSecondCurve)
{
    auto a = clampedCurve({Vector(0, 0, 0), Vector(1, 1, 0), Vector(2, 0, 0)}, 2);
    auto b = clampedCurve({Vector(0, 0, 0), Vector(2, 0, 0)}, 1);
    EXPECT_EQ(blendCurvesLinear(a.get(), b.get(), 0.5, 0.5), nullptr);
    EXPECT_EQ(blendCurvesLinear(nullptr, b.get(), 0.5, 0.5), nullptr);
}

TEST(ProfileShaping, NearlyStraightMeansLessThanOneDegreeOfTurning)
{
    const double deg = std::numbers::pi / 180.0;
    AnalyticLine line(Vector(0, 0, 0), Vector(10, 3, 1));
    AnalyticCircle quarter(Vector(0, 0, 0), 1.0, 0.0, 90 * deg);
    AnalyticCircle slight(Vector(0, 0, 0), 1000.0, 0.0, 0.8 * deg);
    AnalyticCircle beyond(Vector(0, 0, 0), 1000.0, 0.0, 1.5 * deg);
    EXPECT_TRUE(isNearlyStraightCurve(&line));
    EXPECT_FALSE(isNearlyStraightCurve(&quarter));
    EXPECT_TRUE(isNearlyStraightCurve(&slight));
    EXPECT_FALSE(isNearlyStraightCurve(&beyond));
    EXPECT_FALSE(isNearlyStraightCurve(nullptr));
}
