#include "curves/ReInterpolation.h"

#include "curves/CurveOnSurface.h"
#include "curves/Projections.h"
#include "curves/StartValues.h"
#include "foundation/Progress.h"
#include "geometry/NurbsSurf.h"
#include "platform/Diagnostics.h"
#include "support/AnalyticCurves.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <numbers>

using Fenwo::NurbsSurf;

namespace {

constexpr double kPi = std::numbers::pi;

// An open cubic over [0, 1] with uneven knots.
std::unique_ptr<NurbsSurf> wavyCubic()
{
    const double values[] = {0.0, 0.0, 0.0, 0.0, 0.2, 0.55, 1.0, 1.0, 1.0, 1.0};
    Kor::List<double> k;
    for (double v : values)
        k.append(v);
    auto c = std::make_unique<NurbsSurf>(knots(k, 5, 3));
    for (int i = 0; i < 6; ++i)
        c->setControlPoint(i, 0, Vector(2.0 * i, std::sin(1.7 * i), 0.3 * i * i));
    return c;
}

// Largest distance of the curve points at the values from the curve r.
double largestGap(CParametricGeometry& curve, const Vector& values, NurbsSurf& r)
{
    double worst = 0.0;
    for (int i = 0; i < values.n; ++i) {
        const Vector p = curve.getPoint(values[i], 0.0);
        double t = r.getUMin();
        startParameterOnCurve(r, p, t);
        projectPointOnCurve(&r, p, t);
        worst = std::max(worst, norm(r.getPoint(t, 0.0) - p));
    }
    return worst;
}

} // namespace

TEST(ReInterpolation, ClosedCircleWithinToleranceAndSamplesMatched)
{
    AnalyticCircle circle(Vector(0.0, 0.0, 0.0), 10.0, 0.0, 2.0 * kPi);
    ReInterpolationRecord record;
    std::unique_ptr<NurbsSurf> c(reInterpolate(&circle, 1e-3, 3, true, nullptr, &record));
    ASSERT_NE(c, nullptr);
    for (int k = 0; k <= 1000; ++k) {
        const Vector p = c->getPoint(c->getUMin() + (c->getUMax() - c->getUMin()) * k / 1000, 0.0);
        EXPECT_NEAR(std::hypot(p[0], p[1]), 10.0, 1e-3);
    }
    // One output pair per sample; the duplicate end of the closed circle is
    // not a sample.
    ASSERT_GT(record.parameters.count, 8);
    ASSERT_EQ(record.parameters.count, record.curveParameters.count);
    EXPECT_EQ(record.parameters[0], 0.0);
    EXPECT_LT(record.parameters[record.parameters.count - 1], 2.0 * kPi - 1e-3);
    for (int i = 0; i < record.parameters.count; ++i)
        EXPECT_LT(norm(c->getPoint(record.curveParameters[i], 0.0) -
                       circle.getPoint(record.parameters[i], 0.0)),
                  1e-9);

    ReInterpolationRecord once;
    std::unique_ptr<NurbsSurf> unchecked(reInterpolate(&circle, 1e-7, 3, false, nullptr, &once));
    EXPECT_NE(unchecked, nullptr);
    EXPECT_EQ(once.passes, 1);
    EXPECT_EQ(once.interpolations, 1);

    CSimpleProgress stop;
    stop.setPrint(false);
    stop.setCancelled(true);
    EXPECT_EQ(reInterpolate(&circle, 1e-3, 3, true, &stop, nullptr), nullptr);
}

TEST(ReInterpolation, GrevilleResamplingOfNurbsAndCurvesOnSurfaces)
{
    auto cubic = wavyCubic();
    Vector greville;
    cubic->uKnots->getGrevilleAbscissae(greville);
    std::unique_ptr<NurbsSurf> again(resampleAndInterpolate(cubic.get(), 3));
    ASSERT_NE(again, nullptr);
    EXPECT_LT(largestGap(*cubic, greville, *again), 1e-5);
    EXPECT_EQ(resampleAndInterpolate(nullptr, 3), nullptr);

    // A curve on a surface with a NURBS uv curve: its 6 distinct Greville
    // abscissae make the 6 control points of the interpolant.
    auto surface = makeWavyBicubic(Interval(0.0, 1.0), Interval(0.0, 1.0));
    NurbsSurf uv(*cubic);
    for (int i = 0; i < 6; ++i)
        uv.setControlPoint(i, 0, Vector(0.1 + 0.15 * i, 0.5 + 0.3 * std::sin(1.7 * i), 0.0));
    CCONS cons(&uv, surface.get());
    std::unique_ptr<NurbsSurf> onSurface(resampleAndReInterpolate(&cons, 1e-3, 3));
    ASSERT_NE(onSurface, nullptr);
    EXPECT_EQ(onSurface->getUCount(), 6);
    EXPECT_LT(largestGap(cons, greville, *onSurface), 1e-5);

    // Anything else is re-interpolated.
    AnalyticCircle arc(Vector(0.0, 0.0, 0.0), 10.0, 0.0, 2.0);
    std::unique_ptr<NurbsSurf> viaSamples(resampleAndReInterpolate(&arc, 1e-3, 3));
    std::unique_ptr<NurbsSurf> direct(reInterpolate(&arc, 1e-3, 3, true, nullptr));
    ASSERT_NE(viaSamples, nullptr);
    ASSERT_NE(direct, nullptr);
    EXPECT_EQ(viaSamples->getUCount(), direct->getUCount());
}

TEST(ReInterpolation, DumpedCurveReadsBack)
{
    auto cubic = wavyCubic();
    EXPECT_FALSE(dumpCurveToFile(nullptr, cubic.get(), false));
    EXPECT_FALSE(dumpCurveToFile("c:/tmp/dump.out", nullptr, false));
    ASSERT_TRUE(dumpCurveToFile("c:/tmp/dump.out", cubic.get(), false));
    std::ifstream in(Platform::diagnosticsPath("c:/tmp/dump.out"));
    NurbsSurf back(in, false);
    ASSERT_TRUE(back.valid);
    for (double t : {0.0, 0.3, 0.77, 1.0})
        EXPECT_LT(norm(back.getPoint(t, 0.0) - cubic->getPoint(t, 0.0)), 1e-12);
}
