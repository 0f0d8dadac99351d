#include "curves/ParameterCurve.h"

#include "curves/Projections.h"
#include "geometry/NurbsSurf.h"
#include "support/AnalyticCurves.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <numbers>

using Fenwo::NurbsSurf;

namespace {

constexpr double kPi = std::numbers::pi;

// The image S(u(t), v(t)) of a uv curve on a surface, t in [0, 1];
// derivatives by central differences.
class ImageCurve : public AnalyticGeometry {
public:
    ImageCurve(NurbsSurf* s, std::function<Vector(double)> uv)
        : AnalyticGeometry(0, Interval(0.0, 1.0), Interval(0.0, 0.0)), surface(s), uvOf(uv)
    {
    }
    bool writeGeometry(std::ostream&) const override { return true; }
    CParametricGeometry* clone() const override { return new ImageCurve(*this); }
    Vector at(double t) const
    {
        const Vector uv = uvOf(t);
        return surface->getPoint(uv[0], uv[1]);
    }

protected:
    void evaluateAt(int order, double u, double, Vector** d) const override
    {
        for (int i = 0; i <= order; ++i)
            for (int j = 0; j <= order; ++j)
                d[i][j].fill(0.0);
        d[0][0] = at(u);
        if (order >= 1)
            d[1][0] = (1.0 / 2e-5) * (at(u + 1e-5) - at(u - 1e-5));
        if (order >= 2)
            d[2][0] = (1.0 / 1e-6) * (at(u + 1e-3) - 2.0 * at(u) + at(u - 1e-3));
    }

private:
    NurbsSurf* surface;
    std::function<Vector(double)> uvOf;
};

// A wavy bicubic patch over [0, 4] x [0, 4] on clamped knots, scaled.
std::unique_ptr<NurbsSurf> makeBicubicPatch(double scale = 1.0)
{
    knots k(4, 3, 0.0, 1.0);
    auto s = std::make_unique<NurbsSurf>(k, &k);
    for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 5; ++i)
            s->setControlPoint(
                i, j, scale * Vector(i, j, 0.6 * std::sin(1.3 * i) * std::cos(0.9 * j)));
    return s;
}

// A bicubic tube, cyclic in u (eight control points around the axis),
// clamped in v along the axis.
std::unique_ptr<NurbsSurf> makeTube()
{
    knots ku(7, 3, 0.0, 1.0, knots::CyclicEnd);
    knots kv(3, 3, 0.0, 1.0);
    auto s = std::make_unique<NurbsSurf>(ku, &kv);
    const int nu = s->getUCount();
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < nu; ++i) {
            const double a = 2.0 * kPi * i / nu;
            s->setControlPoint(i, j, Vector(std::cos(a), std::sin(a), 1.5 * j));
        }
    return s;
}

// Largest distance of the image of the uv curve from the space curve, and
// the largest |third coordinate| of the uv curve.
void imageDeviation(NurbsSurf* pcurve, NurbsSurf* surface, ImageCurve& space, double& dev,
                    double& flat)
{
    dev = flat = 0.0;
    const Interval D = pcurve->getDomain(0);
    for (int i = 0; i <= 200; ++i) {
        const Vector uv = pcurve->getPoint(D.min + (D.max - D.min) * i / 200, 0.0);
        flat = std::max(flat, std::fabs(uv[2]));
        const Vector p = surface->getPoint(uv[0], uv[1]);
        double best = 1e300, tBest = 0.0;
        for (int k = 0; k <= 2000; ++k) {
            const double d = norm(space.at(k / 2000.0) - p);
            if (d < best) {
                best = d;
                tBest = k / 2000.0;
            }
        }
        const float d = projectPointOnCurve(&space, p, tBest);
        dev = std::max(dev, d >= 0.0f ? std::min<double>(best, d) : best);
    }
}

} // namespace

TEST(ParameterCurve, ImageOfKnownUvCurveLiesOnTheSpaceCurve)
{
    auto surface = makeBicubicPatch();
    ImageCurve open(surface.get(), [](double t) {
        return Vector(0.1 + 0.8 * t, 0.2 + 0.5 * t + 0.3 * t * t * (1.0 - t), 0.0);
    });
    std::unique_ptr<NurbsSurf> pc(euclideanToPCurve(&open, surface.get(), 3, 0.01));
    ASSERT_NE(pc, nullptr);
    EXPECT_EQ(pc->getDimension(), 3);
    double dev = 0.0, flat = 0.0;
    imageDeviation(pc.get(), surface.get(), open, dev, flat);
    EXPECT_LT(dev, 2e-3);
    EXPECT_LT(flat, 1e-9);
    // The uv curve runs the way the space curve does.
    const Vector s = pc->getStartPoint();
    EXPECT_NEAR(s[0], 0.1, 1e-3);
    EXPECT_NEAR(s[1], 0.2, 1e-3);

    // The same curve on the same patch in metres, asked for the same share
    // of its size, gives the same uv curve: an absolute accuracy of 0.001
    // (two tolerances of a model in metres) thinned it to a few points.
    int counts[2] = {0, 0};
    for (const int at : {0, 1}) {
        const double scale = at == 0 ? 1.0 : 1e-3;
        SCOPED_TRACE(scale);
        auto scaled = makeBicubicPatch(scale);
        ImageCurve image(scaled.get(), [](double t) {
            return Vector(0.1 + 0.8 * t, 0.2 + 0.5 * t + 0.3 * t * t * (1.0 - t), 0.0);
        });
        std::unique_ptr<NurbsSurf> uv(
            euclideanToPCurve(&image, scaled.get(), 3, 0.01, 1e-4 * scale));
        ASSERT_NE(uv, nullptr);
        imageDeviation(uv.get(), scaled.get(), image, dev, flat);
        EXPECT_LT(dev, 2e-4 * scale);
        counts[at] = uv->getUCount();
    }
    EXPECT_EQ(counts[1], counts[0]);

    // A straight image facets into its two ends and is resampled by length.
    knots k(3, 3, 0.0, 1.0);
    NurbsSurf plane(k, &k);
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i)
            plane.setControlPoint(i, j, Vector(i, j, 0.0));
    ImageCurve line(&plane, [](double t) { return Vector(0.2 + 0.6 * t, 0.3 + 0.4 * t, 0.0); });
    std::unique_ptr<NurbsSurf> pl(euclideanToPCurve(&line, &plane, 3, 0.01));
    ASSERT_NE(pl, nullptr);
    imageDeviation(pl.get(), &plane, line, dev, flat);
    EXPECT_LT(dev, 2e-3);
}

TEST(ParameterCurve, ClosedCurveOnOpenSurfaceStartsAtItsFirstSample)
{
    auto surface = makeBicubicPatch();
    ImageCurve loop(surface.get(), [](double t) {
        const double a = 2.0 * kPi * t + 0.7;
        return Vector(0.5 + 0.3 * std::cos(a), 0.5 + 0.25 * std::sin(a), 0.0);
    });
    ASSERT_TRUE(loop.isClosed());
    std::unique_ptr<NurbsSurf> pc(euclideanToPCurve(&loop, surface.get(), 3, 0.01));
    ASSERT_NE(pc, nullptr);
    ASSERT_NE(pc->uKnots, nullptr);
    EXPECT_EQ(pc->uKnots->endCondition, knots::CyclicEnd);
    double dev = 0.0, flat = 0.0;
    imageDeviation(pc.get(), surface.get(), loop, dev, flat);
    EXPECT_LT(dev, 2e-3);
    const Vector s = pc->getStartPoint();
    EXPECT_NEAR(s[0], 0.5 + 0.3 * std::cos(0.7), 2e-3);
    EXPECT_NEAR(s[1], 0.5 + 0.25 * std::sin(0.7), 2e-3);
}

TEST(ParameterCurve, ClosedCurveAcrossTheSeamBecomesOpenSeamToSeamCurve)
{
    auto tube = makeTube();
    const Interval U = tube->getDomain(0);
    for (double dir : {1.0, -1.0}) {
        ImageCurve ring(tube.get(), [U, dir](double t) {
            const double u = U.min + (U.max - U.min) * (0.3 + dir * t);
            return Vector(u, 0.5 + 0.15 * std::sin(2.0 * kPi * t), 0.0);
        });
        ASSERT_TRUE(ring.isClosed());
        std::unique_ptr<NurbsSurf> pc(euclideanToPCurve(&ring, tube.get(), 3, 0.01));
        ASSERT_NE(pc, nullptr) << dir;
        EXPECT_NE(pc->uKnots->endCondition, knots::CyclicEnd);
        EXPECT_EQ(pc->uKnots->p, 2);
        const Vector a = pc->getStartPoint(), b = pc->getEndPoint();
        EXPECT_NEAR(std::min(a[0], b[0]), U.min, 1e-9) << dir;
        EXPECT_NEAR(std::max(a[0], b[0]), U.max, 1e-9) << dir;
        // Both seam points sit at the same place on the surface.
        EXPECT_NEAR(a[1], b[1], 1e-9);
        // Degree 2 through the thinned points: a little looser than the
        // sampling tolerance between the kept points.
        double dev = 0.0, flat = 0.0;
        imageDeviation(pc.get(), tube.get(), ring, dev, flat);
        EXPECT_LT(dev, 5e-3) << dir;
    }
}

TEST(ParameterCurve, FailuresGiveNull)
{
    auto surface = makeBicubicPatch();
    EXPECT_EQ(euclideanToPCurve(nullptr, surface.get(), 3, 0.01), nullptr);
    EXPECT_EQ(buildPCurve(nullptr, surface.get(), true, 3, 0.01), nullptr);
    EXPECT_EQ(approximateControlPolygon(nullptr, 0.01, 3), nullptr);

    AnalyticLine line(Vector(0, 0, 0), Vector(1, 0, 0));
    AnalyticLine notNurbs(Vector(0, 0, 0), Vector(0, 1, 0));
    testing::internal::CaptureStdout();
    EXPECT_EQ(euclideanToPCurve(&line, &notNurbs, 3, 0.01), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Euclidian to PCurve must fail on Non-Nurbs-Surfaces, sorry\n");

    CFitPointArray one;
    one.append(CFitPoint(Vector(0, 0, 0)));
    IndexSubset<CFitPoint> sel(one);
    sel.selectAll();
    EXPECT_EQ(fitUVPointsAcrossSeams(surface.get(), false, sel, true, 1e-4, 3), nullptr);
}

TEST(ParameterCurve, IndexThinningKeepsEndsAndCorners)
{
    CFitPointArray pts;
    for (int i = 0; i <= 10; ++i)
        pts.append(CFitPoint(Vector(i < 6 ? i : 5, i < 6 ? 0 : i - 5, 0)));
    Kor::List<int> out;
    ASSERT_EQ(thinPolylineIndices(pts, 1e-6, out, false), 3);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 5);
    EXPECT_EQ(out[2], 10);
    CFitPointArray single;
    single.append(CFitPoint(Vector(1, 2, 3)));
    out.append(7);
    EXPECT_EQ(thinPolylineIndices(single, 1e-6, out, false), 0);
    EXPECT_EQ(out.getCount(), 0);
}
