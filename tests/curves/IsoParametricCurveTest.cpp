#include "curves/IsoParametricCurve.h"

#include "geometry/NurbsSurf.h"
#include "support/AnalyticCurves.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using Fenwo::NurbsSurf;

namespace {

// A bicubic with a C0 kink at u = 0.7 and at v = 3 (triple knots).
std::unique_ptr<NurbsSurf> kinkedBicubic()
{
    Kor::List<double> u, v;
    for (double t : {0.0, 0.0, 0.0, 0.0, 0.7, 0.7, 0.7, 2.0, 2.0, 2.0, 2.0})
        u.append(t);
    for (double t : {1.0, 1.0, 1.0, 1.0, 3.0, 3.0, 3.0, 5.0, 5.0, 5.0, 5.0})
        v.append(t);
    const knots ku(u, 6, 3), kv(v, 6, 3);
    auto s = std::make_unique<NurbsSurf>(ku, &kv);
    for (int j = 0; j < 7; ++j)
        for (int i = 0; i < 7; ++i)
            s->setControlPoint(i, j, Vector(i, j, std::sin(0.9 * i + 0.4 * j)));
    return s;
}

} // namespace

TEST(IsoParametricCurve, SidesValuesAndDerivativesAlongTheRunningDirection)
{
    auto s = makeWavyBicubic(Interval(0.0, 2.0), Interval(1.0, 5.0));
    CIsoParametricCurve west(s.get(), 3);
    EXPECT_EQ(west.value, 0.0);
    EXPECT_EQ(west.direction, 2);
    EXPECT_EQ(west.getDomain(0).min, 1.0);
    EXPECT_EQ(west.getDomain(1).max, 5.0);
    Vector** D = west.evaluate(2, 2.0, 0.0);
    EXPECT_LE(norm(D[0][0] - s->getPoint(0.0, 2.0)), 1e-15);
    EXPECT_LE(norm(D[1][0] - s->getDerivativeV(0.0, 2.0)), 1e-13);
    EXPECT_EQ(west.getUVCurve(), nullptr);

    EXPECT_EQ(CIsoParametricCurve(s.get(), 0.0, 2).side, 3);
    EXPECT_EQ(CIsoParametricCurve(s.get(), 1.0, 2).side, 0);
    EXPECT_EQ(CIsoParametricCurve(s.get(), 5.0, 3).side, 2);
    CIsoParametricCurve south(s.get(), 1);
    EXPECT_EQ(south.direction, 3);
    EXPECT_EQ(south.value, 1.0);
    EXPECT_LE(norm(south.getPoint(0.5, 0.0) - s->getPoint(0.5, 1.0)), 1e-15);

    // Side vectors point away from the patch on both u sides.
    CIsoParametricCurve east(s.get(), 4);
    for (double t : {1.5, 4.0}) {
        EXPECT_LE(norm(west.getSideVector(t) + normalized(s->getDerivativeU(0.0, t))), 1e-12);
        EXPECT_LE(norm(east.getSideVector(t) - normalized(s->getDerivativeU(2.0, t))), 1e-12);
        const Vector orth = west.getSideVector(t, true);
        EXPECT_NEAR(dot(orth, s->getDerivativeV(0.0, t)), 0.0, 1e-12);
        EXPECT_LE(norm(west.getNormal(t, 0.0) - s->getNormal(0.0, t)), 1e-15);
    }
}

TEST(IsoParametricCurve, KinksAndSamplesOfTheRunningDirectionWithinTheDomain)
{
    auto s = kinkedBicubic();
    CIsoParametricCurve alongV(s.get(), 0.5, 2);
    Vector kinks;
    ASSERT_TRUE(alongV.getUKinks(kinks));
    EXPECT_EQ(norm(kinks - Vector(1.0, 3.0, 5.0)), 0.0);
    alongV.setDomain(0, Interval(1.5, 4.5));
    ASSERT_TRUE(alongV.getUKinks(kinks));
    EXPECT_EQ(norm(kinks - Vector(1.5, 3.0, 4.5)), 0.0);

    Vector samples, vSamples;
    alongV.getUSampleParameters(samples);
    s->getVSampleParameters(vSamples);
    ASSERT_GE(samples.n, 3);
    EXPECT_EQ(samples[0], 1.5);
    EXPECT_EQ(samples[samples.n - 1], 4.5);
    for (int i = 1; i + 1 < samples.n; ++i) {
        bool isVSample = false;
        for (int k = 0; k < vSamples.n; ++k)
            isVSample = isVSample || vSamples[k] == samples[i];
        EXPECT_TRUE(isVSample) << samples[i];
    }

    alongV.setDomain(0, Interval(3.5, 4.5));
    EXPECT_FALSE(alongV.getUKinks(kinks));
    std::unique_ptr<CParametricGeometry> copy(alongV.clone());
    EXPECT_EQ(copy->getDomain(0).min, 1.0);
    EXPECT_EQ(copy->getDomain(0).max, 5.0);
}

// An iso curve has no uv curve, yet a length (it measured 0, so that a
// blend took the boundary curves of its neighbours all for one rail): on
// the plane rectangle 3 x 4 its sides measure 3 and 4.
TEST(IsoParametricCurve, IsoCurveHasTheLengthOfItsSide)
{
    const knots k(1, 1, 0.0, 1.0);
    NurbsSurf plane(k, &k);
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j)
            plane.setControlPoint(i, j, Vector(3.0 * i, 4.0 * j, 0.0));
    for (int side = 1; side <= 4; ++side)
        EXPECT_NEAR(CIsoParametricCurve(&plane, side).getLength(), side <= 2 ? 3.0 : 4.0, 1e-12)
            << side;
}
