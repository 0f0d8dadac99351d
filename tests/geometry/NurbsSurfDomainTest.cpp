#include "geometry/NurbsSurf.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <memory>
#include <string>

using Fenwo::NurbsSurf;

namespace {

// Bicubic 6 x 5 surface on [0, 1]^2 with a curved, rational net.
std::unique_ptr<NurbsSurf> bicubic(bool weighted = true)
{
    const knots u(5, 3, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    const knots v(4, 3, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    auto s = std::make_unique<NurbsSurf>(u, &v);
    for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 6; ++i)
            s->setControlPoint(i, j, Vector(i, j + 0.3 * i, std::sin(i + 2.0 * j)),
                               weighted ? 1.0 + 0.1 * ((i + j) % 3) : 1.0);
    return s;
}

std::unique_ptr<NurbsSurf> curve(const knots& u, const double (*points)[3], int count)
{
    auto c = std::make_unique<NurbsSurf>(u, nullptr);
    for (int i = 0; i < count; ++i)
        c->setControlPoint(i, 0, Vector(points[i][0], points[i][1], points[i][2]));
    return c;
}

// Largest distance between a(u, v) and b(mapU(u), mapV(v)) over 50 x 50
// samples of a's domain (swap: b is evaluated at (v, u)).
template <class MapU, class MapV>
double shapeDistance(NurbsSurf& a, NurbsSurf& b, MapU mapU, MapV mapV, bool swap = false)
{
    const Interval du = a.getDomain(0), dv = a.getDomain(1);
    double worst = 0.0;
    for (int j = 0; j < 50; ++j) {
        for (int i = 0; i < 50; ++i) {
            const double u = du.min + (du.max - du.min) * i / 49.0;
            const double v = dv.min + (dv.max - dv.min) * j / 49.0;
            const Vector pa = a.getPoint(u, v);
            const Vector pb = swap ? b.getPoint(mapV(v), mapU(u)) : b.getPoint(mapU(u), mapV(v));
            worst = std::max(worst, std::sqrt(squaredDistance(pa, pb)));
        }
    }
    return worst;
}

double identity(double t)
{
    return t;
}

} // namespace

TEST(NurbsSurfDomain, SampleParametersAndBreakpoints)
{
    auto s = bicubic();
    Vector samples;
    s->getUSampleParameters(samples);
    // Greville abscissae of 0,0,0,0,1/3,2/3,1,1,1,1 plus the ends, each once.
    ASSERT_EQ(samples.n, 6);
    const double expected[6] = {0.0, 1.0 / 9, 1.0 / 3, 2.0 / 3, 8.0 / 9, 1.0};
    for (int k = 0; k < 6; ++k)
        EXPECT_NEAR(samples[k], expected[k], 1e-15);

    // Only abscissae inside a narrowed domain are kept.
    s->setDomain(0, Interval(0.2, 0.7));
    s->getUSampleParameters(samples);
    ASSERT_EQ(samples.n, 4);
    EXPECT_EQ(samples[0], 0.2);
    EXPECT_NEAR(samples[1], 1.0 / 3, 1e-15);
    EXPECT_EQ(samples[3], 0.7);

    // A degenerate domain yields exactly its two ends.
    s->setDomain(1, Interval(0.5, 0.5 + 1e-15));
    s->getVSampleParameters(samples);
    ASSERT_EQ(samples.n, 2);
    EXPECT_EQ(samples[0], 0.5);
    EXPECT_EQ(samples[1], 0.5 + 1e-15);

    auto t = bicubic();
    Kor::List<double> inner, all;
    EXPECT_TRUE(t->getUBreakpoints(inner, false));
    EXPECT_TRUE(t->getUBreakpoints(all, true));
    ASSERT_EQ(inner.count, 2);
    EXPECT_NEAR(inner[0], 1.0 / 3, 1e-15);
    ASSERT_EQ(all.count, 4);
    EXPECT_EQ(all[0], 0.0);
    EXPECT_EQ(all[3], 1.0);
    Kor::List<double> v;
    t->getVBreakpoints(v, true);
    EXPECT_EQ(v.count, 3);
}

TEST(NurbsSurfDomain, ComputeLengthPolygonBelowDegreeThreeGaussAbove)
{
    // Degree 2: the length of the control polygon, leg by leg.
    const double pts[4][3] = {{0, 0, 0}, {3, 4, 0}, {3, 4, 12}, {3, 4, 13}};
    auto quadratic = curve(knots(3, 2, 0.0, 1.0), pts, 4);
    Vector legs;
    EXPECT_DOUBLE_EQ(quadratic->computeLength(&legs), 5.0 + 12.0 + 1.0);
    ASSERT_EQ(legs.n, 3);
    EXPECT_DOUBLE_EQ(legs[0], 5.0);
    EXPECT_DOUBLE_EQ(legs[2], 1.0);
    EXPECT_DOUBLE_EQ(quadratic->getLength(), 18.0);

    // Degree 3 with collinear, unevenly spaced points: |C'| is a quadratic
    // polynomial on each span, so the 3-point rule is exact and the length is
    // the distance of the ends.
    const double line[6][3] = {{0, 0, 0},    {0.5, 1, 2}, {2, 4, 8},
                               {2.5, 5, 10}, {4, 8, 16},  {5, 10, 20}};
    auto cubic = curve(knots(5, 3, 0.0, 1.0), line, 6);
    Vector spans;
    const double total = cubic->computeLength(&spans);
    EXPECT_NEAR(total, std::sqrt(25.0 + 100.0 + 400.0), 1e-12);
    ASSERT_EQ(spans.n, 3);
    EXPECT_NEAR(spans[0] + spans[1] + spans[2], total, 1e-12);
    EXPECT_GT(spans[1], 0.0);

    // A clamped cubic has empty spans inside its positions only when knots
    // repeat: a double inner knot contributes a zero-length span.
    Vector values(10);
    const double kv[10] = {0, 0, 0, 0, 0.5, 0.5, 1, 1, 1, 1};
    for (int k = 0; k < 10; ++k)
        values[k] = kv[k];
    auto doubled = curve(knots(values, 5, 3), line, 6);
    doubled->computeLength(&spans);
    ASSERT_EQ(spans.n, 3);
    EXPECT_EQ(spans[1], 0.0);
}

TEST(NurbsSurfDomain, RawNormalUsesInternalParametersAndLeavesEvaluation)
{
    const knots k(1, 1, 0.0, 2.0);
    NurbsSurf plane(k, &k);
    plane.setControlPoint(0, 0, Vector(0, 0, 0));
    plane.setControlPoint(1, 0, Vector(1e-8, 0, 0));
    plane.setControlPoint(0, 1, Vector(0, 1e-8, 0));
    plane.setControlPoint(1, 1, Vector(1e-8, 1e-8, 0));
    Vector** table = plane.evaluate(1, 0.5, 0.5);
    const Vector before = table[0][0];
    plane.reverseU();
    // A tiny model keeps its unit normal, and reversal does not flip the raw one.
    const Vector n = plane.getRawNormal(0.3, 1.2);
    ASSERT_EQ(n.n, 3);
    EXPECT_NEAR(n[2], 1.0, 1e-12);
    EXPECT_EQ(plane.getEvaluation(), table);
    EXPECT_EQ(table[0][0][0], before[0]);
}

TEST(NurbsSurfDomain, RawNormalAtDegeneratePointIsZeroNotNaN)
{
    // The south row collapses to one point: S_u vanishes along it.
    const knots k(2, 2, 0.0, 1.0);
    NurbsSurf cone(k, &k);
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
            cone.setControlPoint(i, j, Vector(j * (i - 1.0), j * (i * 0.5), j));
    Vector n;
    cone.getRawNormal(n, 0.4, 0.0);
    ASSERT_EQ(n.n, 3);
    for (int c = 0; c < 3; ++c) {
        EXPECT_TRUE(std::isfinite(n[c]));
        EXPECT_EQ(n[c], 0.0);
    }
    cone.getRawNormal(n, 0.4, 0.5);
    EXPECT_NEAR(norm(n), 1.0, 1e-12);
}

TEST(NurbsSurfDomain, UnitTangentBisectsAtCornerKnot)
{
    // Degree 2 with the inner knot 1 doubled: a corner at P2.
    Vector values(8);
    const double kv[8] = {0, 0, 0, 1, 1, 2, 2, 2};
    for (int k = 0; k < 8; ++k)
        values[k] = kv[k];
    const double pts[5][3] = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {2, 2, 0}};
    auto c = curve(knots(values, 4, 2), pts, 5);
    Vector t;
    c->getUnitTangent(t, 1.0);
    EXPECT_NEAR(t[0], std::sqrt(0.5), 1e-3);
    EXPECT_NEAR(t[1], std::sqrt(0.5), 1e-3);
    c->getUnitTangent(t, 0.5);
    EXPECT_NEAR(t[0], 1.0, 1e-12);
    c->getUnitTangent(t, 2.0); // the end: one-sided
    EXPECT_NEAR(t[1], 1.0, 1e-12);
}

TEST(NurbsSurfDomain, ReparametrizeKeepsShapeNetAndSides)
{
    auto original = bicubic();
    auto s = bicubic();
    s->addDegenerateSide(uvSouth);
    s->addConstraint(new Fenwo::CFixWeightsConstraint(Fenwo::fixCornerWeights));
    EXPECT_TRUE(s->reparametrizeU());
    // Uniform knots on [0, nU - p] = [0, 3]: u' = 3 u.
    EXPECT_EQ(s->getDomain(0).max, 3.0);
    EXPECT_LT(shapeDistance(
                  *original, *s, [](double u) { return 3.0 * u; }, identity),
              1e-12);
    EXPECT_TRUE(s->hasDegenerateSide(uvSouth));
    ASSERT_EQ(s->constraints.count, 1);
    EXPECT_EQ(static_cast<Fenwo::CFixWeightsConstraint*>(s->constraints[0])->m_mode,
              Fenwo::fixAllWeights);

    // A knot vector for another number of points is refused.
    s->reparametrizeV(new knots(7, 3, 0.0, 1.0));
    EXPECT_EQ(s->getVCount(), 5);
    EXPECT_EQ(s->getDomain(1).max, 1.0);
    s->reparametrizeV(new knots(4, 3, 0.0, 5.0));
    EXPECT_EQ(s->getDomain(1).max, 5.0);
    EXPECT_LT(
        shapeDistance(
            *original, *s, [](double u) { return 3.0 * u; }, [](double v) { return 5.0 * v; }),
        1e-12);
}

TEST(NurbsSurfDomain, EqualWeightsOtherThanOneKeepRationalPath)
{
    auto s = bicubic(false);
    auto doubled = bicubic(false);
    for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 6; ++i) {
            Vector p;
            doubled->getControlPoint(i, j, p);
            doubled->setControlPoint(i, j, p, 2.0);
        }
    // All weights 2: not "rational" by differing weights, yet the stored
    // coordinates are homogeneous, so evaluation must divide.
    EXPECT_TRUE(doubled->reparametrizeU(new knots(5, 3, 0.0, 1.0)));
    EXPECT_TRUE(doubled->rational);
    const Vector a = s->getPoint(0.3, 0.6);
    const Vector b = doubled->getPoint(0.3, 0.6);
    EXPECT_NEAR(std::sqrt(squaredDistance(a, b)), 0.0, 1e-12);
}

TEST(NurbsSurfDomain, SwapuvExchangesDirectionsAndTwiceRestores)
{
    auto original = bicubic();
    auto s = bicubic();
    s->addDegenerateSide(uvWest);
    s->addDegenerateSide(uvNorth);
    testing::internal::CaptureStdout();
    s->swapuv();
    EXPECT_EQ(s->getUCount(), 5);
    EXPECT_EQ(s->getVCount(), 6);
    EXPECT_TRUE(s->hasDegenerateSide(uvSouth));
    EXPECT_TRUE(s->hasDegenerateSide(uvEast));
    EXPECT_FALSE(s->hasDegenerateSide(uvWest));
    EXPECT_LT(shapeDistance(*original, *s, identity, identity, true), 1e-12);
    s->swapuv();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(s->hasDegenerateSide(uvWest));
    EXPECT_TRUE(s->hasDegenerateSide(uvNorth));
    EXPECT_EQ(s->degenerateSides.count, 2);
    EXPECT_LT(shapeDistance(*original, *s, identity, identity), 1e-12);
    for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 6; ++i)
            for (int c = 0; c < 4; ++c)
                EXPECT_EQ(s->getWrappedControlPoint(i, j)[c],
                          original->getWrappedControlPoint(i, j)[c]);
    EXPECT_EQ(s->uKnots->p, 3);
    EXPECT_EQ(s->uKnots->n, 5);
}

TEST(NurbsSurfDomain, ClassifySideFindsCollapsedBorders)
{
    const knots k(2, 2, 0.0, 1.0);
    NurbsSurf s(k, &k);
    auto fill = [&](bool collapseRow0, bool collapseRowLast, bool collapseCol0) {
        for (int j = 0; j < 3; ++j)
            for (int i = 0; i < 3; ++i) {
                Vector p(i, j, 0.1 * i * j);
                if ((collapseRow0 && j == 0) || (collapseRowLast && j == 2))
                    p = Vector(5, j, 0.0001 * i); // extent 0.0002 < 0.0005
                if (collapseCol0 && i == 0)
                    p = Vector(-1, -1, -1);
                s.setControlPoint(i, j, p);
            }
    };
    fill(false, false, false);
    EXPECT_EQ(s.classifySide(0), 0);
    EXPECT_EQ(s.classifySide(1), 0);
    fill(true, false, false);
    EXPECT_EQ(s.classifySide(0), 1);
    fill(false, true, false);
    EXPECT_EQ(s.classifySide(0), 2);
    fill(true, true, false);
    EXPECT_EQ(s.classifySide(0), 3);
    fill(false, false, true);
    EXPECT_EQ(s.classifySide(1), 1);
    EXPECT_EQ(s.classifySide(0), 0);
}

TEST(NurbsSurfDomain, SmallestPositiveSlopeAndDotProduct)
{
    Vector x(4), t(4), s;
    const double xs[4] = {4, 2, 3, 0}, ts[4] = {0, 1, 1, 3};
    for (int k = 0; k < 4; ++k) {
        x[k] = xs[k];
        t[k] = ts[k];
    }
    // Slopes: 2, (repeated t) huge, 1.5.
    EXPECT_DOUBLE_EQ(NurbsSurf::smallestPositiveSlope(x, t, s), 1.5);
    ASSERT_EQ(s.n, 3);
    EXPECT_EQ(s[1], std::sqrt(DBL_MAX));
    Vector rising(2), times(2);
    rising[1] = 1.0;
    times[1] = 1.0;
    EXPECT_EQ(NurbsSurf::smallestPositiveSlope(rising, times, s), std::sqrt(DBL_MAX));

    double a[7], b[7];
    for (int k = 0; k < 7; ++k) {
        a[k] = k + 1;
        b[k] = 1.0 / (k + 1);
    }
    EXPECT_DOUBLE_EQ(NurbsSurf::dotProduct(a, b, 7), 7.0);
    EXPECT_DOUBLE_EQ(NurbsSurf::dotProduct(a, b, 3), 3.0);
    EXPECT_EQ(NurbsSurf::dotProduct(a, b, 0), 0.0);
}
