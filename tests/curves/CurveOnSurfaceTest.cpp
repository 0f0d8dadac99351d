#include "curves/CurveOnSurface.h"

#include "curves/ParCurve.h"
#include "curves/ReInterpolation.h"
#include "geometry/GeoRef.h"
#include "geometry/NurbsSurf.h"
#include "mesh/FlatMesh.h"
#include "mesh/StlFormat.h"
#include "support/AnalyticCurves.h"

#include "support/RealData.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <numbers>
#include <sstream>
#include <string>

using Fenwo::NurbsSurf;

namespace {

constexpr double kPi = std::numbers::pi;

// The plane S(u, v) = (u, v, 0) over [0, 1]^2.
AnalyticPlane unitPlane()
{
    return AnalyticPlane(Vector(0.0, 0.0, 0.0), Vector(1.0, 0.0, 0.0), Vector(0.0, 1.0, 0.0),
                         Interval(0.0, 1.0), Interval(0.0, 1.0));
}

std::unique_ptr<NurbsSurf> uvLine(double u0, double v0, double u1, double v1)
{
    const double a[3] = {u0, v0, 0.0}, b[3] = {u1, v1, 0.0};
    return std::unique_ptr<NurbsSurf>(makeCurve(a, b));
}

std::string replaceAll(std::string s, const std::string& from, const std::string& to)
{
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}

} // namespace

TEST(CurveOnSurface, ChainRuleRowsOnAPlane)
{
    AnalyticPlane plane = unitPlane();
    AnalyticLine diagonal(Vector(0.0, 0.0, 0.0), Vector(1.0, 1.0, 0.0));
    CCONS cons(&diagonal, &plane);
    Vector** D = cons.evaluate(0, 0.3, 0.0);
    EXPECT_LE(norm(D[0][0] - Vector(0.3, 0.3, 0.0)), 1e-15);
    EXPECT_EQ(norm(D[1][0] - Vector(3)), 0.0); // order 0 fills row 0 only
    D = cons.evaluate(3, 0.3, 0.0);
    EXPECT_LE(norm(D[1][0] - Vector(1.0, 1.0, 0.0)), 1e-15);
    EXPECT_LE(norm(D[2][0] - Vector(3)), 1e-15);
    EXPECT_EQ(norm(D[3][0] - Vector(3)), 0.0);
    EXPECT_NEAR(cons.getLength(), std::sqrt(2.0), 1e-14);

    AnalyticLine along(Vector(0.0, 0.5, 0.0), Vector(1.0, 0.5, 0.0));
    CCONS side(&along, &plane);
    EXPECT_LE(norm(side.getSideVector(0.4) - Vector(0.0, -1.0, 0.0)), 1e-15);
}

TEST(CurveOnSurface, PointsStayOnTheSurfaceAndDerivativesMatchDifferences)
{
    auto cylinder = makeRationalCylinder(2.0, 3.0);
    auto line = uvLine(0.05, 0.4, 0.95, 0.4);
    CCONS around(line.get(), cylinder.get());
    for (int k = 0; k <= 100; ++k) {
        const Vector p = around.getPoint(k / 100.0, 0.0);
        EXPECT_NEAR(std::hypot(p[0], p[1]), 2.0, 1e-12);
        EXPECT_NEAR(p[2], 1.2, 1e-12);
    }

    auto patch = makeWavyBicubic(Interval(0.0, 2.0), Interval(1.0, 5.0));
    NurbsSurf uv{knots(3, 3, 0.0, 1.0)};
    const double cp[4][2] = {{0.2, 1.5}, {0.9, 4.6}, {1.3, 1.2}, {1.8, 4.1}};
    for (int i = 0; i < 4; ++i)
        uv.setControlPoint(i, 0, Vector(cp[i][0], cp[i][1], 0.0));
    CCONS wavy(&uv, patch.get());
    const double h = 1e-5;
    for (double t : {0.1, 0.45, 0.8}) {
        const Vector d1 = wavy.evaluate(2, t, 0.0)[1][0];
        const Vector d2 = wavy.evaluate(2, t, 0.0)[2][0];
        const Vector f1 = (1.0 / (2 * h)) * (wavy.getPoint(t + h, 0.0) - wavy.getPoint(t - h, 0.0));
        const Vector f2 =
            (1.0 / (2 * h)) * (wavy.getDerivativeU(t + h, 0.0) - wavy.getDerivativeU(t - h, 0.0));
        EXPECT_LT(norm(d1 - f1), 1e-6 * norm(d1)) << t;
        EXPECT_LT(norm(d2 - f2), 1e-6 * norm(d2)) << t;
    }
}

TEST(CurveOnSurface, ClosedCurveWrapsOnlyOnceClosednessIsKnown)
{
    AnalyticPlane plane = unitPlane();
    NurbsSurf square{knots(4, 1, 0.0, 1.0)};
    const double corner[5][2] = {{0.2, 0.2}, {0.8, 0.2}, {0.8, 0.8}, {0.2, 0.8}, {0.2, 0.2}};
    for (int i = 0; i < 5; ++i)
        square.setControlPoint(i, 0, Vector(corner[i][0], corner[i][1], 0.0));
    CCONS loop(&square, &plane);
    // Beyond its end the uv curve clamps: the parameter is used unchanged.
    EXPECT_LE(norm(loop.getPoint(1.25, 0.0) - Vector(0.2, 0.2, 0.0)), 1e-15);
    ASSERT_TRUE(loop.isClosed());
    EXPECT_LE(norm(loop.getPoint(1.25, 0.0) - loop.getPoint(0.25, 0.0)), 1e-15);
    EXPECT_LE(norm(loop.getPoint(-0.5, 0.0) - Vector(0.8, 0.8, 0.0)), 1e-15);
}

TEST(CurveOnSurface, NormalAtADegenerateSideTakesDerivativesJustInside)
{
    AnalyticSphere sphere(Vector(0.0, 0.0, 0.0), 1.0);
    AnalyticLine fromPole(Vector(0.3, -kPi / 2, 0.0), Vector(1.3, 0.0, 0.0));
    CCONS meridian(&fromPole, &sphere);
    Vector Su, Sv;
    const Vector n = meridian.getNormalWithDerivatives(0.0, &Su, &Sv);
    EXPECT_EQ(norm(n - sphere.getNormal(0.3, -kPi / 2)), 0.0);
    const Vector inside = fromPole.getPoint(1e-6, 0.0);
    EXPECT_LE(norm(Su - sphere.getDerivativeU(inside[0], inside[1])), 1e-15);
    EXPECT_LE(norm(Sv - sphere.getDerivativeV(inside[0], inside[1])), 1e-15);
    EXPECT_GT(norm(Su), 0.0);
    EXPECT_EQ(norm(meridian.getNormal(0.0, 0.0) - n), 0.0);
}

TEST(CurveOnSurface, TextBlockRoundTripsThroughTheRegistry)
{
    CGeoRef registry;
    auto surface = makeWavyBicubic(Interval(0.0, 1.0), Interval(0.0, 1.0));
    auto uv = uvLine(0.1, 0.2, 0.9, 0.7);
    CCONS written(uv.get(), surface.get());
    written.layer = 4;
    std::ostringstream os;
    ASSERT_TRUE(written.writeGeometry(os));
    const std::string text = os.str();

    // Only the uv curve registered: the surface cannot be relocated.
    ASSERT_TRUE(registry.addUnique(uv.get()));
    CCONS partial(nullptr, nullptr);
    std::istringstream missing(text);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(partial.read(missing, registry));
    EXPECT_NE(testing::internal::GetCapturedStdout().find("relocation failure for CONS surface"),
              std::string::npos);
    EXPECT_EQ(partial.getUVCurve(), uv.get());
    EXPECT_EQ(partial.surface, nullptr);

    ASSERT_TRUE(registry.addUnique(surface.get()));
    for (const std::string& form : {text, replaceAll(text, "\n", "\r\n")}) {
        CCONS read(nullptr, nullptr);
        std::istringstream is(form);
        ASSERT_TRUE(read.read(is, registry));
        EXPECT_EQ(read.getUVCurve(), uv.get());
        EXPECT_EQ(read.surface, surface.get());
        EXPECT_EQ(std::string(read.id.text, read.id.length),
                  std::string(written.id.text, written.id.length));
        EXPECT_EQ(read.layer, 4);
        EXPECT_EQ(norm(read.getPoint(0.5, 0.0) - written.getPoint(0.5, 0.0)), 0.0);
    }
    CCONS stopped(nullptr, nullptr);
    std::istringstream stop(replaceAll(text, "CONS End", "CONS Stop"));
    EXPECT_FALSE(stopped.read(stop, registry));
    EXPECT_EQ(stopped.getUVCurve(), uv.get());
    EXPECT_EQ(stopped.surface, surface.get());

    // A curve without references still writes its block.
    CCONS bare(nullptr, surface.get());
    std::ostringstream bareText;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(bare.writeGeometry(bareText));
    EXPECT_NE(testing::internal::GetCapturedStdout().find("warning: CONS without refs !"),
              std::string::npos);
    EXPECT_NE(bareText.str().find("7Hunknown\n7Hunknown\nCONS End"), std::string::npos);
}

TEST(CurveOnSurface, ConversionAndCloneOwnTheUvCurvesTheyMake)
{
    AnalyticPlane plane = unitPlane();
    AnalyticLine space(Vector(0.1, 0.1, 0.0), Vector(0.9, 0.6, 0.0));
    testing::internal::CaptureStdout();
    CCONS failed(&space, &plane, 3, 1e-3);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(failed.getUVCurve(), nullptr);
    const size_t first = out.find("parCurve-Creation failed !");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(out.find("parCurve-Creation failed !", first + 1), std::string::npos);
    EXPECT_EQ(failed.clone(), nullptr);

    auto surface = makeWavyBicubic(Interval(0.0, 1.0), Interval(0.0, 1.0));
    auto uv = uvLine(0.1, 0.2, 0.9, 0.7);
    CCONS original(uv.get(), surface.get());
    std::unique_ptr<CCONS> copy(dynamic_cast<CCONS*>(original.clone()));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->surface, surface.get());
    EXPECT_NE(copy->getUVCurve(), uv.get());
    copy->reverseU();
    EXPECT_TRUE(copy->isUReversed());
    EXPECT_FALSE(original.isUReversed());
    EXPECT_LE(norm(copy->getStartPoint() - original.getEndPoint()), 1e-14);
}

TEST(CurveOnSurface, CircleOnABicubicFittedToARealSphereMeshAndItsReInterpolation)
{
    MW_REALDATA_DIR_OR_SKIP(dir, "stl");
    const std::filesystem::path path = std::filesystem::path(dir) / "unit_sphere.STL";
    CFlatMesh mesh;
    ASSERT_TRUE(readSTL(mesh, path.string().c_str(), true));

    // A bicubic over [-0.9, 0.9]^2 starting as a paraboloid near the cap,
    // fitted by the Newton approximation to the vertices with z > 0.5.
    const knots k(5, 3, -0.9, 0.9);
    NurbsSurf cap(k, &k);
    for (int j = 0; j < 6; ++j)
        for (int i = 0; i < 6; ++i) {
            const double x = k.getGrevilleAbscissa(i), y = k.getGrevilleAbscissa(j);
            const double r2 = x * x + y * y;
            cap.setControlPoint(i, j, Vector(x, y, 1.0 - 0.5 * r2 - 0.125 * r2 * r2));
        }
    CFitPointArray points;
    CVertex<float, 3> p;
    for (int v = 0; v < mesh.getVertexCount(true); ++v)
        if (mesh.getVertex(v, p) && p.data[2] > 0.5) {
            Vector uv(2);
            uv[0] = p.data[0];
            uv[1] = p.data[1];
            points.append(CFitPoint(Vector(p.data[0], p.data[1], p.data[2]), uv));
        }
    ASSERT_GT(points.count, 50);
    IndexSubset<CFitPoint> all(points);
    all.selectAll();
    cap.PointInversion(all, 20);
    cap.newtonApproximation(all, 0, 10, false, true, 1, nullptr, 1.0, 0.0, -1.0);

    AnalyticCircle circle(Vector(0.0, 0.0, 0.8), 0.6, 0.0, 2.0 * kPi);
    CCONS onCap(&circle, &cap, 3, 1e-3);
    ASSERT_NE(onCap.getUVCurve(), nullptr);
    for (int s = 0; s < 200; ++s) {
        const double t = onCap.getUMin() + (onCap.getUMax() - onCap.getUMin()) * s / 199;
        EXPECT_NEAR(norm(onCap.getPoint(t, 0.0)), 1.0, 5e-3) << t;
    }

    // Its re-interpolation and the facet image of a parameter curve made
    // from it stay on the sphere too.
    std::unique_ptr<NurbsSurf> again(reInterpolate(&onCap, 1e-3, 3, true, nullptr));
    ASSERT_NE(again, nullptr);
    for (int s = 0; s < 200; ++s) {
        const double t = again->getUMin() + (again->getUMax() - again->getUMin()) * s / 199;
        EXPECT_NEAR(norm(again->getPoint(t, 0.0)), 1.0, 5e-3) << t;
    }
    CParCurve image(onCap.getUVCurve()->clone(), &cap, false);
    ASSERT_GT(image.updateSpacePoints(1e-3), 10);
    for (const CVertex<double, 3>& p : image.spacePoints)
        EXPECT_NEAR(
            std::sqrt(p.data[0] * p.data[0] + p.data[1] * p.data[1] + p.data[2] * p.data[2]), 1.0,
            5e-3);
}
