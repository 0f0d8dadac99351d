#include "curves/CurveFamilySurface.h"

#include "curves/SubCurves.h"
#include "geometry/NurbsSurf.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

using Fenwo::NurbsSurf;
using Owned = std::vector<std::unique_ptr<NurbsSurf>>;

namespace {

double distance(const Vector& a, const Vector& b)
{
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                     (a[2] - b[2]) * (a[2] - b[2]));
}

knots clamped(std::vector<double> positions, int p)
{
    const int count = static_cast<int>(positions.size());
    return knots(Vector(positions.data(), count), count - p - 2, p);
}

// A bent surface, cubic in u, on the given v knots; weights vary when rational.
std::unique_ptr<NurbsSurf> makeSurface(const knots& v, bool rational)
{
    auto s = std::make_unique<NurbsSurf>(clamped({0, 0, 0, 0, 0.7, 1.5, 3, 3, 3, 3}, 3), &v);
    for (int j = 0; j < s->getVCount(); ++j)
        for (int i = 0; i < s->getUCount(); ++i) {
            const double a = 2.0 * M_PI * j / s->getVCount();
            s->setControlPoint(
                i, j,
                Vector(3.0 * i + std::cos(a), std::sin(a) * (1 + 0.3 * i), 0.4 * i * i - 0.5 * j),
                rational ? 1.0 + 0.3 * ((i + 2 * j) % 3) : 1.0);
        }
    return s;
}

Kor::Array<NurbsSurf*> isoCurves(NurbsSurf& s, const Vector& v, Owned& owners)
{
    Kor::Array<NurbsSurf*> curves;
    for (int k = 0; k < v.size(); ++k) {
        owners.emplace_back(extractIsoCurve(&s, v[k], 3));
        curves.append(owners.back().get());
    }
    return curves;
}

double surfaceDeviation(NurbsSurf& a, NurbsSurf& b)
{
    const Interval du = a.getDomain(0), dv = a.getDomain(1);
    double worst = 0.0;
    Vector Pa, Pb;
    for (int i = 0; i <= 12; ++i)
        for (int j = 0; j <= 12; ++j) {
            const double u = du.min + du.getLength() * i / 12.0;
            const double v = dv.min + dv.getLength() * j / 12.0;
            a.evaluatePoint(Pa, u, v);
            b.evaluatePoint(Pb, u, v);
            worst = std::max(worst, distance(Pa, Pb));
        }
    return worst;
}

} // namespace

TEST(FitRationalNurbsToPoints, IsoCurvesOfASurfaceReproduceIt)
{
    const knots clampedV = clamped({0, 0, 0, 0.5, 1.2, 2, 2, 2}, 2);
    Vector greville;
    clampedV.getGrevilleAbscissae(greville);
    // Periodic v: the spans near the end wrap onto the first curves' columns.
    const knots cyclicV(4, 2, 0.0, 5.0, knots::CyclicEnd, knots::Uniform);
    Vector offKnots(5);
    for (int k = 0; k < 5; ++k)
        offKnots[k] = 0.3 + k;
    struct Case {
        const knots& v;
        const Vector& params;
        bool rational;
    } cases[] = {
        {clampedV, greville, false}, {clampedV, greville, true}, {cyclicV, offKnots, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rational);
        auto s = makeSurface(c.v, c.rational);
        Owned owners;
        std::unique_ptr<NurbsSurf> fit(
            fitRationalNurbsToPoints(isoCurves(*s, c.params, owners), c.params, c.v));
        ASSERT_NE(fit, nullptr);
        EXPECT_EQ(fit->rational, c.rational);
        ASSERT_EQ(fit->getVCount(), s->getVCount());
        EXPECT_LT(surfaceDeviation(*s, *fit), 1e-6);
        for (int j = 0; j < s->getVCount(); ++j) // weights come back, not just the shape
            EXPECT_NEAR(fit->getWrappedControlPoint(2, j)[3], s->getWrappedControlPoint(2, j)[3],
                        1e-6);
    }
}

TEST(FitRationalNurbsToPoints, ConstantWeightCurvesKeepTheirShape)
{
    // Weights all 2 make no curve rational: the surface (weights 1) must be
    // built from Euclidean points, not homogeneous ones twice as far out.
    const knots v = clamped({0, 0, 0, 1, 2, 2, 2}, 2);
    auto s = makeSurface(v, false);
    Vector g;
    v.getGrevilleAbscissae(g);
    Owned owners;
    Kor::Array<NurbsSurf*> curves = isoCurves(*s, g, owners);
    for (auto& c : owners)
        for (int i = 0; i < c->getUCount(); ++i) {
            Vector P;
            c->getControlPoint(i, 0, P);
            c->setControlPoint(i, 0, P, 2.0);
        }
    std::unique_ptr<NurbsSurf> fit(fitRationalNurbsToPoints(curves, g, v));
    ASSERT_NE(fit, nullptr);
    EXPECT_LT(surfaceDeviation(*s, *fit), 1e-6);
}

TEST(FitRationalNurbsToPoints, UnusableFamiliesGiveNull)
{
    const knots v = clamped({0, 0, 0, 1, 2, 2, 2}, 2);
    auto s = makeSurface(v, false);
    Vector params(4);
    params[1] = params[2] = 1.0; // two curves at one parameter
    params[3] = 2.0;
    Owned owners;
    Kor::Array<NurbsSurf*> curves = isoCurves(*s, params, owners);
    EXPECT_EQ(fitRationalNurbsToPoints(curves, Vector(3), v), nullptr);
    EXPECT_EQ(fitRationalNurbsToPoints(curves, params, clamped({0, 0, 0, 1, 1.5, 2, 2, 2}, 2)),
              nullptr);
    // A curve with more control points than the first.
    std::unique_ptr<NurbsSurf> refined(new NurbsSurf(*owners[1]));
    refineKnots(refined.get(), 0, 1, false);
    curves.data[1] = refined.get();
    EXPECT_EQ(fitRationalNurbsToPoints(curves, params, v), nullptr);
    curves.data[1] = owners[1].get();
    EXPECT_NE(std::unique_ptr<NurbsSurf>(fitRationalNurbsToPoints(curves, params, v)), nullptr);
    // Contradictory curves at the same parameter leave a large x residual.
    for (int i = 0; i < owners[2]->getUCount(); ++i) {
        Vector P;
        owners[2]->getControlPoint(i, 0, P);
        P[0] += 50.0;
        owners[2]->setControlPoint(i, 0, P, 1.0);
    }
    testing::internal::CaptureStdout();
    EXPECT_EQ(fitRationalNurbsToPoints(curves, params, v), nullptr);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("resx too large:", 0), 0u) << out;
    EXPECT_EQ(out.find("resy"), std::string::npos);
}

namespace {

// Samples of a smooth space curve with chord-length parameters.
CFitPointArray sampleSpaceCurve(int count, double scale)
{
    CFitPointArray pts;
    Vector uv(2), previous;
    for (int i = 0; i < count; ++i) {
        const double s = 2.0 * i / (count - 1);
        const Vector P(scale * s, scale * std::sin(1.5 * s), scale * 0.3 * s * s);
        uv[0] += i > 0 ? distance(P, previous) : 0.0;
        previous = P;
        pts.append(CFitPoint(P, uv));
    }
    return pts;
}

} // namespace

TEST(NewtonCurveThroughPoints, FitReducesTheErrorToTheSamples)
{
    for (double scale : {1.0, 1e-3, 1e3}) {
        SCOPED_TRACE(scale);
        CFitPointArray pts = sampleSpaceCurve(9, scale);
        IndexSubset<CFitPoint> sel(pts);
        sel.selectAll();
        std::unique_ptr<NurbsSurf> c(newtonCurveThroughPoints(sel, 3));
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->getUCount(), 11);
        Vector P;
        c->evaluatePoint(P, c->getDomain(0).max, 0.0); // the fixed end holds
        EXPECT_LT(distance(P, pts.data[8].Point), 1e-9 * scale);
        // The poly-line start deviates by about 1e-2 scale between samples.
        for (int i = 0; i < pts.count; ++i) {
            c->evaluatePoint(P, pts.data[i].uv[0], 0.0);
            EXPECT_LT(distance(P, pts.data[i].Point), 1e-3 * scale);
            EXPECT_EQ(pts.data[i].group, 1);
        }
    }
}

TEST(NewtonCurveThroughPoints, TwoPointsOfDegreeOneKeepTheirFixedEnds)
{
    // One segment has no inner control point to place near the ends.
    CFitPointArray pts;
    Vector uv(2);
    pts.append(CFitPoint(Vector(0, 0, 0), uv));
    uv[0] = 1.0;
    pts.append(CFitPoint(Vector(2, 0, 0), uv, Vector(0, 0, 1)));
    IndexSubset<CFitPoint> sel(pts);
    sel.selectAll();
    std::unique_ptr<NurbsSurf> c(newtonCurveThroughPoints(sel, 1));
    ASSERT_NE(c, nullptr);
    Vector P;
    c->getControlPoint(0, 0, P);
    EXPECT_NEAR(P[0], 0.0, 1e-12);
    c->getControlPoint(1, 0, P);
    EXPECT_NEAR(P[0], 2.0, 1e-12);
    EXPECT_EQ(pts.data[1].group, 2);
}

TEST(NewtonCurveThroughPoints, UnusableSelectionsGiveNull)
{
    CFitPointArray pts = sampleSpaceCurve(6, 1.0);
    IndexSubset<CFitPoint> sel(pts);
    sel.append(0);
    EXPECT_EQ(newtonCurveThroughPoints(sel, 3), nullptr);
    sel.selectAll();
    EXPECT_EQ(newtonCurveThroughPoints(sel, 0), nullptr);
    std::swap(pts.data[2].uv[0], pts.data[3].uv[0]); // descending parameters
    EXPECT_EQ(newtonCurveThroughPoints(sel, 3), nullptr);
    for (int i = 1; i < 5; ++i) // inner knot of multiplicity 4 > p
        pts.data[i].uv[0] = pts.data[1].uv[0];
    testing::internal::CaptureStdout();
    EXPECT_EQ(newtonCurveThroughPoints(sel, 2), nullptr);
    testing::internal::GetCapturedStdout();
}
