#include "curves/CurveUtilities.h"

#include "curves/CompositeCurve.h"
#include "curves/SubCurves.h"
#include "geometry/NurbsSurf.h"
#include "mesh/FlatMesh.h"
#include "mesh/StlFormat.h"
#include "support/AnalyticCurves.h"
#include "support/NurbsFixtures.h"
#include "support/TestMeshes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr double pi = std::numbers::pi;

void expectNear(const Vector& a, const Vector& b, double tol)
{
    ASSERT_GE(a.n, 3);
    ASSERT_GE(b.n, 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(a[i], b[i], tol) << i;
}

// A degree-1 curve on clamped uniform knots through the points.
Fenwo::NurbsSurf polygon(const std::vector<Vector>& points)
{
    Fenwo::NurbsSurf c(knots(static_cast<int>(points.size()) - 1, 1, 0.0, 1.0));
    for (int i = 0; i < static_cast<int>(points.size()); ++i)
        c.setControlPoint(i, 0, points[i]);
    return c;
}

double rectangleArea(const Kor::List<CVertex<float, 2>>& c)
{
    return std::hypot(c[1].data[0] - c[0].data[0], c[1].data[1] - c[0].data[1]) *
           std::hypot(c[2].data[0] - c[1].data[0], c[2].data[1] - c[1].data[1]);
}

} // namespace

TEST(CurveUtilities, TurningAndCurvatureOfCirclesAndLines)
{
    AnalyticCircle circle(Vector(1, 1, 0), 2.0, 0.0, 2 * pi);
    AnalyticLine line(Vector(0, 0, 0), Vector(3, 4, 0));
    EXPECT_NEAR(totalTangentTurnAngle(&circle), 360.0, 0.5);
    EXPECT_NEAR(totalTangentTurnAngle(&line), 0.0, 1e-9);
    EXPECT_EQ(totalTangentTurnAngle(nullptr), 0.0);

    // The analytic circle and the rational NURBS circle (breakpoints as base).
    std::unique_ptr<Fenwo::NurbsSurf> cylinder = makeRationalCylinder(2.0, 1.0);
    std::unique_ptr<Fenwo::NurbsSurf> rim(extractIsoCurve(cylinder.get(), 0.0, 3));
    ASSERT_NE(rim, nullptr);
    for (CParametricGeometry* c : {static_cast<CParametricGeometry*>(&circle),
                                   static_cast<CParametricGeometry*>(rim.get())}) {
        double length = 0, maxRadius = 0, minRadius = 0, kMin = 0, kMax = 0;
        ASSERT_TRUE(curvatureStatistics(c, length, maxRadius, minRadius, kMin, kMax));
        EXPECT_NEAR(length, 4 * pi, 1e-9);
        EXPECT_NEAR(maxRadius, 2.0, 1e-6);
        EXPECT_NEAR(minRadius, 2.0, 1e-6);
    }
    double length = 0, maxRadius = 0, minRadius = 0, kMin = 0, kMax = 0;
    ASSERT_TRUE(curvatureStatistics(&line, length, maxRadius, minRadius, kMin, kMax));
    EXPECT_DOUBLE_EQ(length, 5.0);
    EXPECT_EQ(maxRadius, 1.0 / 2.2e-16); // straight: no curvature anywhere
    EXPECT_FALSE(curvatureStatistics(nullptr, length, maxRadius, minRadius, kMin, kMax));
}

TEST(CurveUtilities, BoundingRectangleOfATurnedSquare)
{
    // The unit square turned by 30 degrees about (2, 1).
    const double a = pi / 6;
    const double c = std::cos(a), s = std::sin(a);
    Kor::List<CVertex<float, 2>> square;
    for (auto [x, y] : {std::pair{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0.5, 0}})
        square.append(CVertex<float, 2>(float(2 + x * c - y * s), float(1 + x * s + y * c)));
    for (double margin : {0.0, 0.1}) {
        Kor::List<CVertex<float, 2>> corners;
        double angle = 0;
        ASSERT_TRUE(minAreaBoundingRectangle(square, corners, angle, margin));
        EXPECT_EQ(angle, 30.0);
        ASSERT_EQ(corners.getCount(), 4);
        EXPECT_NEAR(rectangleArea(corners), (1 + 2 * margin) * (1 + 2 * margin), 1e-5);
        // Turned back with the axes turned by the angle, the first corner is
        // the square's first one, less the margin on both sides; the corners
        // run counter-clockwise.
        const double x = corners[0].data[0] * c - corners[0].data[1] * s;
        const double y = corners[0].data[0] * s + corners[0].data[1] * c;
        EXPECT_NEAR(x, 2 - margin * (c - s), 1e-5);
        EXPECT_NEAR(y, 1 - margin * (s + c), 1e-5);
        EXPECT_GT(corners[1].data[0], corners[0].data[0]);
        EXPECT_GT(corners[2].data[1], corners[1].data[1]);
    }
    Kor::List<CVertex<float, 2>> none, corners;
    double angle = 0;
    EXPECT_FALSE(minAreaBoundingRectangle(none, corners, angle, 0.0));
    EXPECT_EQ(angle, -1.0);
    EXPECT_EQ(corners.getCount(), 0);
}

TEST(CurveUtilities, CyclicPolylineDropsTheMidSidePoint)
{
    const std::vector<Vector> square = {Vector(0, 0, 0), Vector(2, 0, 0), Vector(2, 2, 0),
                                        Vector(0, 2, 0)};
    for (int extra = 0; extra < 4; ++extra) {
        std::vector<Vector> points = square;
        points.insert(points.begin() + extra + 1, 0.5 * (square[extra] + square[(extra + 1) % 4]));
        Fenwo::NurbsSurf outline = polygon(points);
        std::unique_ptr<Fenwo::NurbsSurf> cyclic(buildCyclicPolyline(&outline, 4));
        ASSERT_NE(cyclic, nullptr);
        EXPECT_EQ(cyclic->uKnots->endCondition, knots::CyclicEnd);
        ASSERT_EQ(cyclic->getUCount(), 4);
        // The corners in cyclic order, starting anywhere.
        Vector p(3), q(3);
        cyclic->getControlPoint(0, 0, p);
        const int at = p[0] > 1 ? (p[1] > 1 ? 2 : 1) : (p[1] > 1 ? 3 : 0);
        for (int i = 0; i < 4; ++i) {
            cyclic->getControlPoint(i, 0, q);
            expectNear(q, square[(at + i) % 4], 1e-12);
        }
    }
    Fenwo::NurbsSurf two = polygon({Vector(0, 0, 0), Vector(1, 0, 0)});
    EXPECT_EQ(buildCyclicPolyline(&two, 4), nullptr);
}

TEST(CurveUtilities, MiterOffsetOfControlPolygons)
{
    const double d = 0.01;
    const struct {
        std::vector<Vector> points;
        Vector moved; // the new position of point 1
    } cases[] = {
        {{Vector(0, 0, 0), Vector(1, 1, 1), Vector(2, 2, 2), Vector(3, 3, 3)}, Vector(1, 1, 1)},
        {{Vector(0, 0, 0), Vector(1, 0, 0), Vector(1, 1, 0)}, Vector(1 + d, -d, 0)},
        {{Vector(0, 0, 0), Vector(1, 0, 0), Vector(0, 0, 0)}, Vector(1 + 10 * d, 0, 0)},
    };
    for (const auto& k : cases) {
        Fenwo::NurbsSurf c = polygon(k.points);
        ASSERT_TRUE(adjustControlPointsAlongDifferences(&c, d));
        Vector p(3);
        c.getControlPoint(1, 0, p);
        expectNear(p, k.moved, 1e-15);
        c.getControlPoint(0, 0, p);
        expectNear(p, k.points[0], 0.0);
        c.getControlPoint(c.getUCount() - 1, 0, p);
        expectNear(p, k.points.back(), 0.0);
    }
    EXPECT_FALSE(adjustControlPointsAlongDifferences(nullptr, d));
}

TEST(CurveUtilities, EstimatorDeletesAnOwnedCurveOfAnyType)
{
    CEstimateCurveParam estimator;
    estimator.curve = new AnalyticLine(Vector(0, 0, 0), Vector(10, 0, 0), 2.0, 3.0);
    estimator.ownsCurve = true;
    EXPECT_EQ(estimator.estimate(Vector(3, 0, 0), true), 2.0); // no samples: the domain start
    EXPECT_EQ(estimator.distance, 3.4028234663852886e38);
    for (double t : {2.0, 2.5, 3.0})
        estimator.parameters.append(t);
    // (3, 1, 0) lies 1 above the line at 2.3, between the samples 2.0 and 2.5.
    EXPECT_DOUBLE_EQ(estimator.estimate(Vector(3, 1, 0), false), 2.5);
    EXPECT_DOUBLE_EQ(estimator.distance, std::sqrt(5.0));
    EXPECT_NEAR(estimator.estimate(Vector(3, 1, 0), true), 2.3, 1e-15);
    EXPECT_NEAR(estimator.distance, 1.0, 1e-15);
    // Beyond the last chord no foot falls within a chord.
    EXPECT_EQ(estimator.estimate(Vector(12, 0, 0), true), 2.0);
    EXPECT_EQ(estimator.distance, 3.4028234663852886e38);
}

TEST(CurveUtilities, EstimatorFacetsACurveOrTheLowerIsoLineOfASurface)
{
    // A curve: its own facets, not owned; a point beside it finds its parameter.
    AnalyticLine line(Vector(0, 0, 0), Vector(10, 0, 0), 2.0, 3.0);
    CEstimateCurveParam onCurve(&line, 0.01);
    EXPECT_FALSE(onCurve.ownsCurve);
    ASSERT_GE(onCurve.parameters.count, 2);
    EXPECT_EQ(2.0, onCurve.parameters[0]);
    EXPECT_EQ(3.0, onCurve.parameters[onCurve.parameters.count - 1]);
    EXPECT_NEAR(2.3, onCurve.estimate(Vector(3, 1, 0), true), 1e-12);

    // The iso-line v = v min of a surface replaces the curve and is owned.
    const knots k(3, 3, 0.0, 1.0);
    Fenwo::NurbsSurf patch(k, &k);
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i)
            patch.setControlPoint(i, j, Vector(i, j, 0.3 * i * j));
    const std::string out =
        mwtest::capturedStdout([&] { EXPECT_TRUE(onCurve.tryIsoCurves(&patch, 0.01)); });
    EXPECT_NE(std::string::npos, out.find("trying pIso, uvSouth "));
    EXPECT_TRUE(onCurve.ownsCurve);
    ASSERT_GE(onCurve.parameters.count, 2);
    EXPECT_NEAR(0.5, onCurve.estimate(pointAt(patch, 0.5, 0.0), true), 1e-3);
    EXPECT_FALSE(onCurve.tryIsoCurves(nullptr, 0.01));
}

TEST(CurveUtilities, EquatorOfARealSphereMesh)
{
    MW_REQUIRE_REAL_FILE(path, "stl", "unit_sphere.STL");
    CFlatMesh mesh;
    ASSERT_TRUE(readSTL(mesh, path.c_str(), true));
    std::vector<std::pair<double, Vector>> equator; // (angle, point)
    Kor::List<CVertex<float, 2>> plane;
    CVertex<float, 3> p;
    for (int v = 0; v < mesh.getVertexCount(true); ++v)
        if (mesh.getVertex(v, p) && std::fabs(p.data[2]) < 1e-5 &&
            std::none_of(equator.begin(), equator.end(), [&](const auto& e) {
                return squaredDistance(e.second, Vector(p.data[0], p.data[1], p.data[2])) == 0.0;
            })) {
            equator.emplace_back(std::atan2(p.data[1], p.data[0]),
                                 Vector(p.data[0], p.data[1], p.data[2]));
            plane.append(CVertex<float, 2>(p.data[0], p.data[1]));
        }
    ASSERT_EQ(equator.size(), 32u);
    std::sort(equator.begin(), equator.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });

    // Four quarter arcs of 9 points each, interpolated, given shuffled.
    std::vector<std::unique_ptr<Fenwo::NurbsSurf>> arcs;
    for (int q = 0; q < 4; ++q) {
        CFitPointArray points;
        for (int i = 0; i <= 8; ++i)
            points.append(CFitPoint(equator[(8 * q + i) % 32].second, Vector(2)));
        arcs.emplace_back(interpolatePoints(points, 1, 3, false, false));
        ASSERT_NE(arcs.back(), nullptr);
    }
    arcs[1]->reverseU();
    CCompositeCurve rim;
    for (int q : {2, 0, 3, 1})
        rim.curves.append(arcs[q].get());
    rim.orderCurves(0);
    EXPECT_TRUE(rim.chainClosed);
    const Interval d = rim.getDomain(0);
    for (int s = 0; s < 1000; ++s)
        EXPECT_NEAR(norm(rim.getPoint(d.min + d.getLength() * s / 1000, 0.0)), 1.0, 1e-3);
    Kor::Set<double> kinks;
    rim.getKinks(kinks, 10.0);
    EXPECT_EQ(kinks.getCount(), 0);
    EXPECT_NEAR(totalTangentTurnAngle(&rim), 360.0, 3.6);

    Kor::List<CVertex<float, 2>> corners;
    double angle = 0;
    ASSERT_TRUE(minAreaBoundingRectangle(plane, corners, angle, 0.0));
    EXPECT_NEAR(rectangleArea(corners), 4.0, 0.08);
}
