#include "curves/CurveFamilyInterpolation.h"

#include "geometry/NurbsSurf.h"
#include "support/AnalyticCurves.h"
#include "support/NurbsFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using Fenwo::NurbsSurf;

TEST(CurveFamilyInterpolation, CirclesOfCylinderAndSphere)
{
    const Vector X(1, 0, 0), Y(0, 1, 0);
    struct Case {
        const char* name;
        std::vector<double> heights;
        std::function<double(double)> radius; // of the circle at height z
        double shapeTolerance;
    };
    const Case cases[] = {
        {"cylinder", {0, 1, 2, 3}, [](double) { return 2.0; }, 1e-6},
        {"sphere",
         {-0.8, -0.6, -0.4, -0.2, 0, 0.2, 0.4, 0.6, 0.8},
         [](double z) { return std::sqrt(1 - z * z); },
         2.5e-3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OwnedCurves family;
        for (double z : c.heights)
            family.curves.push_back(rationalArc(Vector(0, 0, z), X, Y, c.radius(z), 4));
        const OwnedCurves copies = family.copy();
        Vector v;
        std::unique_ptr<NurbsSurf> s(interpolCurves(family.list(), 3, false, &v, 0.5, true));
        ASSERT_NE(nullptr, s);
        ASSERT_EQ(int(c.heights.size()), v.size());
        for (size_t k = 0; k < c.heights.size(); ++k) {
            EXPECT_TRUE(k == 0 || v[k - 1] < v[k]);
            NurbsSurf& circle = *family.curves[k];
            for (int i = 0; i <= 16; ++i) {
                EXPECT_LT(
                    squaredDistance(pointAt(*s, i / 16.0, v[k]), pointAt(circle, i / 16.0, 0)),
                    1e-12);
                for (int d = 0; d < 4; ++d)
                    ASSERT_EQ(copies.curves[k]->getWrappedControlPoint(i / 2, 0)[d],
                              circle.getWrappedControlPoint(i / 2, 0)[d]);
            }
        }
        const Interval V = s->getDomain(1);
        for (int i = 0; i < 50; ++i)
            for (int j = 0; j < 50; ++j) {
                const Vector p = pointAt(*s, i / 49.0, V.min + j / 49.0 * (V.max - V.min));
                const double r = c.heights.size() == 4 ? std::hypot(p[0], p[1]) / 2 : norm(p);
                EXPECT_NEAR(1.0, r, c.shapeTolerance); // on the cylinder or the sphere
            }
    }
}

TEST(CurveFamilyInterpolation, MixedDegreesAndRejectedFamilies)
{
    OwnedCurves lines;
    for (int k = 0; k < 3; ++k) {
        std::vector<Vector> cps;
        for (int i = 0; i <= k + 1; ++i)
            cps.push_back(Vector(i / (k + 1.0), k, 0.3 * k * k));
        lines.curves.push_back(clampedCurve(cps, k + 1));
    }
    Vector v;
    std::unique_ptr<NurbsSurf> s(interpolCurves(lines.list(), 2, false, &v, 0.5, true));
    ASSERT_NE(nullptr, s);
    EXPECT_EQ(3, s->uKnots->p);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(k + 1, lines.curves[k]->uKnots->p);
        EXPECT_EQ(k + 2, lines.curves[k]->getUCount());
        EXPECT_LT(squaredDistance(pointAt(*s, 0.3, v[k]), Vector(0.3, k, 0.3 * k * k)), 1e-20);
    }

    OwnedCurves hairpin, single;
    for (const Vector& m :
         {Vector(0, 0, 0), Vector(10, 0, 0), Vector(10, 0.01, 0), Vector(0, 0.01, 0)})
        hairpin.curves.push_back(clampedCurve({m - Vector(0, 0, 1), m + Vector(0, 0, 1)}, 1));
    single.curves.push_back(clampedCurve({Vector(0, 0, 0), Vector(1, 0, 0)}, 1));
    single.curves.emplace_back(nullptr);
    AnalyticLine line(Vector(0, 1, 0), Vector(1, 1, 0));
    Kor::SubSet<CParametricGeometry> mixed;
    mixed.append(single.curves[0].get());
    mixed.append(&line);
    struct Case {
        const char* name;
        std::function<NurbsSurf*()> run;
        const char* message; // empty: none
    };
    const Case cases[] = {
        {"hairpin", [&] { return interpolCurves(hairpin.list(), 3, false, nullptr, 0.5, true); },
         "interpolCurves::interpolation is oscillatory. len="},
        {"one curve", [&] { return interpolCurves(single.list(), 3, false, nullptr, 0.5, true); },
         ""},
        {"not NURBS", [&] { return interpolCurvesOfSet(mixed, 3, false, nullptr, 0.5, true); },
         "is not a NURBS curve"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::internal::CaptureStdout();
        std::unique_ptr<NurbsSurf> result(c.run());
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(nullptr, result);
        if (*c.message == 0)
            EXPECT_EQ("", out);
        else
            EXPECT_NE(std::string::npos, out.find(c.message)) << out;
    }
}
