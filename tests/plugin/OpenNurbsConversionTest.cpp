// The kernel's NURBS curves and surfaces against the openNURBS subset's:
// the two evaluators must agree on every converted object, and a round trip
// must give back the kernel knots and homogeneous control points exactly.
#include "plugin/OpenNurbsConversion.h"
#include "geometry/NurbsSurf.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

namespace {

template <class T> using Owned = std::unique_ptr<T>;

// Knot positions of degree p for count control points: clamped ends, the
// interior values random and increasing; or uniform cyclic knots.
knots makeKnots(std::mt19937& rng, int p, int count, bool cyclic)
{
    if (cyclic)
        return knots(count - 1, p, 0.0, 1.0, knots::CyclicEnd);
    std::uniform_real_distribution<double> step(0.2, 1.0);
    std::vector<double> values(static_cast<size_t>(count + p + 1), 0.0);
    double t = 0.0;
    for (int k = p + 1; k < count; ++k)
        values[static_cast<size_t>(k)] = t += step(rng);
    const double end = t + step(rng);
    for (int k = count; k < count + p + 1; ++k)
        values[static_cast<size_t>(k)] = end;
    return knots(values.data(), static_cast<int>(values.size()), p, false);
}

void setRandomPoint(std::mt19937& rng, Fenwo::NurbsSurf& s, int i, int j, bool rational)
{
    std::uniform_real_distribution<double> coordinate(-2.0, 2.0), weight(0.5, 2.0);
    const Vector p(coordinate(rng), coordinate(rng), coordinate(rng));
    s.setControlPoint(i, j, p, rational ? weight(rng) : 1.0);
}

Owned<Fenwo::NurbsSurf> randomCurve(std::mt19937& rng, int p, int count, bool rational, bool cyclic)
{
    auto curve = std::make_unique<Fenwo::NurbsSurf>(makeKnots(rng, p, count, cyclic));
    for (int i = 0; i < curve->getUCount(); ++i)
        setRandomPoint(rng, *curve, i, 0, rational);
    return curve;
}

Owned<Fenwo::NurbsSurf> randomSurface(std::mt19937& rng, int pu, int nu, int pv, int nv,
                                      bool rational, bool cyclic)
{
    const knots u = makeKnots(rng, pu, nu, cyclic);
    const knots v = makeKnots(rng, pv, nv, false);
    auto surface = std::make_unique<Fenwo::NurbsSurf>(u, &v);
    for (int i = 0; i < surface->getUCount(); ++i)
        for (int j = 0; j < surface->getVCount(); ++j)
            setRandomPoint(rng, *surface, i, j, rational);
    return surface;
}

void expectSamePoint(const Vector& kernel, const ON_3dPoint& on, double tol)
{
    EXPECT_NEAR(kernel[0], on.x, tol);
    EXPECT_NEAR(kernel[1], on.y, tol);
    EXPECT_NEAR(kernel.n > 2 ? kernel[2] : 0.0, on.z, tol);
}

double parameter(const Interval& domain, int k)
{
    return domain.min + (domain.max - domain.min) * k / 10.0;
}

// Every knot position and stored homogeneous control point equal.
void expectSameCurveData(const Fenwo::NurbsSurf& a, const Fenwo::NurbsSurf& b)
{
    ASSERT_EQ(a.uKnots->p, b.uKnots->p);
    ASSERT_EQ(a.uKnots->n, b.uKnots->n);
    for (int k = 0; k <= a.uKnots->n + a.uKnots->p + 1; ++k)
        EXPECT_EQ(*a.uKnots->knotAt(k), *b.uKnots->knotAt(k)) << "knot " << k;
    ASSERT_EQ(a.getUCount(), b.getUCount());
    ASSERT_EQ(a.getVCount(), b.getVCount());
    for (int i = 0; i < a.getUCount(); ++i)
        for (int j = 0; j < a.getVCount(); ++j)
            for (int c = 0; c < 4; ++c)
                EXPECT_EQ(a.getWrappedControlPoint(i, j)[c], b.getWrappedControlPoint(i, j)[c])
                    << i << " " << j << " " << c;
}

TEST(OpenNurbsConversion, ClampedCubicKeepsItsKnotsAndControlPointsBothWays)
{
    auto curve = std::make_unique<Fenwo::NurbsSurf>(knots(3, 3, 0.0, 1.0));
    for (int i = 0; i < 4; ++i)
        curve->setControlPoint(i, 0, Vector(i, i * i, 1.0 - i));
    Owned<ON_NurbsCurve> on(toONNurbsCurve(curve.get(), true));
    ASSERT_NE(on, nullptr);
    EXPECT_EQ(on->Order(), 4);
    EXPECT_EQ(on->CVCount(), 4);
    ASSERT_EQ(on->KnotCount(), 6);
    const double expected[6] = {0, 0, 0, 1, 1, 1};
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(on->Knot(k), expected[k]);
    Owned<Fenwo::NurbsSurf> back(fromONNurbsCurve(*on));
    ASSERT_NE(back, nullptr);
    expectSameCurveData(*curve, *back);
}

TEST(OpenNurbsConversion, CurvesAgreeWithTheLayersEvaluatorAndComeBackExactly)
{
    struct Case {
        const char* name;
        int degree, count;
        bool rational, cyclic, spatial;
    } cases[] = {
        {"line", 1, 2, false, false, true},          {"quadratic", 2, 7, false, false, true},
        {"rational cubic", 3, 9, true, false, true}, {"rational quintic", 5, 8, true, false, true},
        {"cyclic cubic", 3, 8, true, true, true},    {"trim", 3, 6, false, false, false},
        {"rational trim", 2, 5, true, false, false},
    };
    std::mt19937 rng(7);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Owned<Fenwo::NurbsSurf> curve = randomCurve(rng, c.degree, c.count, c.rational, c.cyclic);
        Owned<ON_NurbsCurve> on(toONNurbsCurve(curve.get(), c.spatial));
        ASSERT_NE(on, nullptr);
        ASSERT_TRUE(on->IsValid());
        EXPECT_EQ(on->Dimension(), c.spatial ? 3 : 2);
        EXPECT_EQ(on->IsRational(), c.rational);
        const Interval domain = curve->getDomain(0);
        EXPECT_DOUBLE_EQ(on->Domain().m_t[0], domain.min);
        EXPECT_DOUBLE_EQ(on->Domain().m_t[1], domain.max);
        for (int k = 0; k <= 10; ++k) {
            const double t = parameter(domain, k);
            Vector kernel = curve->getPoint(t, 0.0);
            if (!c.spatial)
                kernel[2] = 0.0;
            expectSamePoint(kernel, on->PointAt(t), 1e-12);
        }
        Owned<Fenwo::NurbsSurf> back(fromONNurbsCurve(*on));
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->rational, c.rational);
        if (c.cyclic)
            continue; // comes back opened, checked by its points above
        if (c.spatial) {
            expectSameCurveData(*curve, *back);
            continue;
        }
        // A parameter-plane curve keeps (w u, w v, w) and reads back z = 0.
        for (int i = 0; i < curve->getUCount(); ++i) {
            const Vector& a = curve->getWrappedControlPoint(i, 0);
            const Vector& b = back->getWrappedControlPoint(i, 0);
            EXPECT_EQ(b[0], a[0]);
            EXPECT_EQ(b[1], a[1]);
            EXPECT_EQ(b[2], 0.0);
            EXPECT_EQ(b[3], a[3]);
        }
    }
}

TEST(OpenNurbsConversion, SurfacesAgreeWithTheLayersEvaluatorAndKeepHomogeneousValues)
{
    std::mt19937 rng(11);
    for (bool rational : {false, true})
        for (bool cyclic : {false, true}) {
            SCOPED_TRACE(std::string(rational ? "rational" : "polynomial") +
                         (cyclic ? " cyclic" : ""));
            Owned<Fenwo::NurbsSurf> s = randomSurface(rng, 3, 7, 2, 5, rational, cyclic);
            Owned<ON_NurbsSurface> on(toONNurbsSurface(s.get()));
            ASSERT_NE(on, nullptr);
            ASSERT_TRUE(on->IsValid());
            EXPECT_EQ(on->IsRational(), rational);
            const Interval du = s->getDomain(0), dv = s->getDomain(1);
            for (int a = 0; a <= 10; ++a)
                for (int b = 0; b <= 10; ++b) {
                    const double u = parameter(du, a), v = parameter(dv, b);
                    expectSamePoint(s->getPoint(u, v), on->PointAt(u, v), 1e-12);
                }
            Owned<Fenwo::NurbsSurf> back(fromONNurbsSurface(*on));
            ASSERT_NE(back, nullptr);
            EXPECT_EQ(back->rational, rational);
            if (cyclic)
                continue;
            expectSameCurveData(*s, *back);
            for (int k = 0; k <= s->vKnots->n + s->vKnots->p + 1; ++k)
                EXPECT_EQ(*s->vKnots->knotAt(k), *back->vKnots->knotAt(k));
        }
}

TEST(OpenNurbsConversion, ReversedCurveConvertsInItsLogicalDirectionAndStaysAsItWas)
{
    std::mt19937 rng(3);
    for (bool cyclic : {false, true}) {
        SCOPED_TRACE(cyclic ? "cyclic" : "clamped");
        Owned<Fenwo::NurbsSurf> curve = randomCurve(rng, 3, 8, true, cyclic);
        curve->reverseU();
        const Fenwo::NurbsSurf before(*curve);
        Owned<ON_NurbsCurve> on(toONNurbsCurve(curve.get(), true));
        ASSERT_NE(on, nullptr);
        expectSamePoint(curve->getStartPoint(), on->PointAtStart(), 1e-12);
        const Interval domain = curve->getDomain(0);
        for (int k = 0; k <= 10; ++k)
            expectSamePoint(curve->getPoint(parameter(domain, k), 0.0),
                            on->PointAt(parameter(domain, k)), 1e-12);
        EXPECT_TRUE(curve->isUReversed());
        expectSameCurveData(before, *curve);
    }
}

TEST(OpenNurbsConversion, InvalidKnotListsGiveNull)
{
    // An empty domain and a knot repeated beyond the degree.
    ON_NurbsCurve curve(3, false, 3, 4);
    for (int k = 0; k < 5; ++k)
        curve.SetKnot(k, 1.0);
    EXPECT_EQ(fromONNurbsCurve(curve), nullptr);
    EXPECT_EQ(fromONNurbsCurve(ON_NurbsCurve()), nullptr);

    ON_NurbsSurface surface(3, false, 2, 2, 2, 4);
    for (int k = 0; k < 2; ++k)
        surface.SetKnot(0, k, k);
    const double vKnots[4] = {0.0, 0.5, 0.5, 1.0};
    for (int k = 0; k < 4; ++k)
        surface.SetKnot(1, k, vKnots[k]);
    EXPECT_EQ(fromONNurbsSurface(surface), nullptr);
    EXPECT_EQ(toONNurbsSurface(nullptr), nullptr);
    EXPECT_EQ(toONNurbsCurve(nullptr, true), nullptr);
}

} // namespace
