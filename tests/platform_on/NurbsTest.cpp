#include "platform/on/OpenNurbsSubset.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

ON_3dVector cross(const ON_3dVector& a, const ON_3dVector& b)
{
    return ON_3dVector(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

void expectNear(const ON_3dVector& a, const ON_3dVector& b, double tol, const char* what)
{
    EXPECT_LE((a - b).Length(), tol) << what << ": (" << a.x << ", " << a.y << ", " << a.z
                                     << ") vs (" << b.x << ", " << b.y << ", " << b.z << ")";
}

ON_NurbsCurve bezier(const ON_3dPoint (&p)[4])
{
    ON_NurbsCurve c(3, false, 4, 4);
    for (int i = 0; i < 4; ++i)
        c.SetCV(i, p[i]);
    const double knots[] = {0, 0, 0, 1, 1, 1};
    for (int k = 0; k < 6; ++k)
        c.SetKnot(k, knots[k]);
    return c;
}

// A bicubic with an interior knot in each direction, bumpy control points
// and, when rational, uneven weights.
ON_NurbsSurface bumpyBicubic(bool rational)
{
    ON_NurbsSurface s(3, rational, 4, 4, 5, 6);
    const double u[] = {0, 0, 0, 0.4, 1, 1, 1};
    const double v[] = {-1, -1, -1, 0, 0.5, 2, 2, 2};
    for (int k = 0; k < 7; ++k)
        s.SetKnot(0, k, u[k]);
    for (int k = 0; k < 8; ++k)
        s.SetKnot(1, k, v[k]);
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 6; ++j) {
            double w = rational ? 0.6 + 0.15 * ((i * 7 + j * 3) % 5) : 1.0;
            double z = std::sin(1.3 * i) * std::cos(0.7 * j);
            s.SetCV(i, j, ON_4dPoint(w * i, w * (j + 0.3 * i), w * z, w));
        }
    return s;
}

} // namespace

TEST(OnNurbs, ClampedCubicMatchesDeCasteljau)
{
    const ON_3dPoint P[4] = {{0, 0, 0}, {1, 2, 0}, {3, 3, 1}, {4, 0, 2}};
    ON_NurbsCurve c = bezier(P);
    EXPECT_EQ(c.KnotCount(), 6);
    ASSERT_TRUE(c.IsValid());
    EXPECT_EQ(c.Domain(), ON_Interval(0, 1));
    for (double t : {0.0, 0.25, 0.5, 0.8, 1.0}) {
        // de Casteljau on the points, their differences and second differences.
        auto lerp = [](ON_3dPoint a, ON_3dPoint b, double s) { return (1 - s) * a + s * b; };
        ON_3dPoint q[3], r[2];
        for (int i = 0; i < 3; ++i)
            q[i] = lerp(P[i], P[i + 1], t);
        for (int i = 0; i < 2; ++i)
            r[i] = lerp(q[i], q[i + 1], t);
        ON_3dPoint point = lerp(r[0], r[1], t);
        ON_3dVector first = 3.0 * (r[1] - r[0]);
        ON_3dVector d[3] = {P[1] - P[0], P[2] - P[1], P[3] - P[2]};
        ON_3dVector second = 6.0 * ((1 - t) * (d[1] - d[0]) + t * (d[2] - d[1]));
        ON_3dPoint p;
        ON_3dVector d1, d2;
        ASSERT_TRUE(c.Ev2Der(t, p, d1, d2));
        expectNear(p - point, ON_3dVector(), 1e-13, "point");
        expectNear(d1, first, 1e-12, "first derivative");
        expectNear(d2, second, 1e-12, "second derivative");
    }
}

TEST(OnNurbs, UniformCubicUsesTheRightKnots)
{
    // Unclamped uniform knots 0..5: the domain is [2, 3] and the four basis
    // functions are the uniform cubic B-spline pieces.
    ON_NurbsCurve c(2, false, 4, 4);
    const double y[4] = {1, -2, 5, 3};
    for (int i = 0; i < 4; ++i)
        c.SetCV(i, ON_3dPoint(i, y[i], 0));
    for (int k = 0; k < 6; ++k)
        c.SetKnot(k, k);
    ASSERT_TRUE(c.IsValid());
    EXPECT_EQ(c.Domain(), ON_Interval(2, 3));
    for (double u : {0.0, 0.3, 0.7, 1.0}) {
        const double b[4] = {std::pow(1 - u, 3) / 6, (3 * u * u * u - 6 * u * u + 4) / 6,
                             (-3 * u * u * u + 3 * u * u + 3 * u + 1) / 6, u * u * u / 6};
        double expected = 0;
        for (int i = 0; i < 4; ++i)
            expected += b[i] * y[i];
        ON_3dPoint p;
        ON_3dVector d1, d2;
        ASSERT_TRUE(c.Ev2Der(2 + u, p, d1, d2));
        EXPECT_NEAR(p.y, expected, 1e-13) << u;
        EXPECT_EQ(p.z, 0.0) << "2-D curves report z = 0";
    }
}

TEST(OnNurbs, RationalQuarterCircleIsExactWithCurvatureOne)
{
    ON_NurbsCurve arc(3, true, 3, 3);
    const double w = std::sqrt(0.5);
    arc.SetCV(0, ON_4dPoint(1, 0, 0, 1));
    arc.SetCV(1, ON_4dPoint(w, w, 0, w));
    arc.SetCV(2, ON_4dPoint(0, 1, 0, 1));
    for (int k = 0; k < 4; ++k)
        arc.SetKnot(k, k < 2 ? 0.0 : 1.0);
    ASSERT_TRUE(arc.IsValid());
    for (int i = 0; i <= 20; ++i) {
        ON_3dPoint p;
        ON_3dVector d1, d2;
        ASSERT_TRUE(arc.Ev2Der(i / 20.0, p, d1, d2));
        EXPECT_NEAR(ON_3dVector(p).Length(), 1.0, 1e-12) << i;
        EXPECT_NEAR(ON_3dVector(p) * d1, 0.0, 1e-12) << "tangent across the radius";
        EXPECT_NEAR(cross(d1, d2).Length() / std::pow(d1.Length(), 3), 1.0, 1e-12)
            << "curvature of the unit circle";
    }
}

TEST(OnNurbs, ControlPointsKeepTheirFormPerRationalFlag)
{
    const ON_4dPoint h(2, 4, 6, 2); // Euclidean (1, 2, 3)
    struct Case {
        int dim;
        bool rational;
        double stored[4];
    } cases[] = {
        {3, true, {2, 4, 6, 2}},
        {3, false, {1, 2, 3}},
        {2, true, {2, 4, 2}},
        {2, false, {1, 2}},
    };
    for (const Case& k : cases) {
        ON_NurbsCurve c(k.dim, k.rational, 2, 3);
        ON_NurbsSurface s(k.dim, k.rational, 2, 2, 3, 2);
        ASSERT_TRUE(c.SetCV(1, h) && s.SetCV(1, 1, h));
        const int size = k.dim + (k.rational ? 1 : 0);
        for (int i = 0; i < size; ++i) {
            EXPECT_EQ(c.CV(1)[i], k.stored[i]) << k.dim << k.rational << i;
            EXPECT_EQ(s.CV(1, 1)[i], k.stored[i]) << k.dim << k.rational << i;
        }
        ON_3dPoint e;
        ASSERT_TRUE(c.GetCV(1, e));
        EXPECT_EQ(e, ON_3dPoint(1, 2, k.dim == 3 ? 3 : 0));
        // A Euclidean point gets weight 1 on a rational object.
        ASSERT_TRUE(c.SetCV(2, ON_3dPoint(7, 8, 9)));
        EXPECT_EQ(c.Weight(2), 1.0);
        EXPECT_EQ(c.CV(2)[1], 8.0);
        EXPECT_EQ(c.CV(3), nullptr);
        EXPECT_EQ(s.CV(3, 0), nullptr);
        EXPECT_FALSE(c.SetCV(-1, h));
    }
}

TEST(OnNurbs, BicubicDerivativesMatchCentralDifferences)
{
    for (bool rational : {false, true}) {
        ON_NurbsSurface s = bumpyBicubic(rational);
        ASSERT_TRUE(s.IsValid());
        const double h = 1e-5;
        for (double u : {0.1, 0.39, 0.41, 0.77}) {
            for (double v : {-0.6, 0.2, 1.3}) {
                ON_3dPoint p, pp, pm;
                ON_3dVector su, sv, suu, suv, svv, a[5], b[5];
                ASSERT_TRUE(s.Ev2Der(u, v, p, su, sv, suu, suv, svv));
                // Differences of the point and of the first derivatives.
                s.Ev2Der(u + h, v, pp, a[0], a[1], a[2], a[3], a[4]);
                s.Ev2Der(u - h, v, pm, b[0], b[1], b[2], b[3], b[4]);
                ON_3dVector fdU = (1 / (2 * h)) * (pp - pm);
                ON_3dVector fdUU = (1 / (2 * h)) * (a[0] - b[0]);
                ON_3dVector fdUV = (1 / (2 * h)) * (a[1] - b[1]);
                s.Ev2Der(u, v + h, pp, a[0], a[1], a[2], a[3], a[4]);
                s.Ev2Der(u, v - h, pm, b[0], b[1], b[2], b[3], b[4]);
                ON_3dVector fdV = (1 / (2 * h)) * (pp - pm);
                ON_3dVector fdVV = (1 / (2 * h)) * (a[1] - b[1]);
                const double scale = 1 + su.Length() + sv.Length() + suu.Length() + svv.Length();
                expectNear(su, fdU, 1e-6 * scale, "du");
                expectNear(sv, fdV, 1e-6 * scale, "dv");
                expectNear(suu, fdUU, 1e-6 * scale, "duu");
                expectNear(suv, fdUV, 1e-6 * scale, "duv");
                expectNear(svv, fdVV, 1e-6 * scale, "dvv");
                ON_3dVector n;
                ASSERT_TRUE(s.EvNormal(u, v, n));
                EXPECT_NEAR(n.Length(), 1.0, 1e-14);
                EXPECT_NEAR(n * su, 0.0, 1e-12 * su.Length());
                EXPECT_NEAR(n * sv, 0.0, 1e-12 * sv.Length());
                // The lower orders are the full evaluation's values to the
                // bit, and the point with the normal is EvPoint's.
                ON_3dVector low[3], withPoint;
                ASSERT_TRUE(s.EvDerivatives(u, v, 1, low));
                EXPECT_TRUE(low[0] == ON_3dVector(p.x, p.y, p.z) && low[1] == su && low[2] == sv);
                ASSERT_TRUE(s.EvDerivatives(u, v, 0, low));
                EXPECT_TRUE(low[0] == ON_3dVector(p.x, p.y, p.z));
                ON_3dPoint q;
                ASSERT_TRUE(s.EvNormal(u, v, q, withPoint));
                EXPECT_TRUE(q == p && withPoint == n);
            }
        }
    }
}

TEST(OnNurbs, NormalAtACollapsedEdgeIsTakenNearby)
{
    // A bilinear patch whose edge v = 0 is collapsed to one point.
    ON_NurbsSurface s(3, false, 2, 2, 2, 2);
    s.SetCV(0, 0, ON_3dPoint(0, 0, 0));
    s.SetCV(1, 0, ON_3dPoint(0, 0, 0));
    s.SetCV(0, 1, ON_3dPoint(0, 1, 0));
    s.SetCV(1, 1, ON_3dPoint(1, 1, 0));
    for (int dir = 0; dir < 2; ++dir)
        for (int k = 0; k < 2; ++k)
            s.SetKnot(dir, k, k);
    ON_3dVector n;
    ASSERT_TRUE(s.EvNormal(0.5, 0.0, n));
    EXPECT_NEAR(std::fabs(n.z), 1.0, 1e-9);
    // The point that comes with it is the pole, not the point stepped to.
    ON_3dPoint p(9, 9, 9);
    ON_3dVector m;
    ASSERT_TRUE(s.EvNormal(0.5, 0.0, p, m));
    EXPECT_TRUE(p == ON_3dPoint(0, 0, 0) && m == n);
}

TEST(OnNurbs, LinesAndProxiesConvertAndCastRight)
{
    ON_LineCurve line(ON_3dPoint(1, 2, 3), ON_3dPoint(4, 6, 3));
    EXPECT_EQ(line.Domain(), ON_Interval(0, 5));
    ON_NurbsCurve nc;
    ASSERT_EQ(line.NurbsCurve(&nc, 0.0, nullptr), 1);
    EXPECT_EQ(nc.Order(), 2);
    EXPECT_EQ(nc.CVCount(), 2);
    EXPECT_EQ(nc.Domain(), line.Domain());
    EXPECT_EQ(nc.PointAtStart(), line.m_line.from);
    EXPECT_EQ(nc.PointAtEnd(), line.m_line.to);
    expectNear(nc.PointAt(2.5) - line.PointAt(2.5), ON_3dVector(), 1e-15, "midpoint");

    ON_CurveProxy proxy(&nc);
    const ON_Object* objects[] = {&line, &nc, &proxy};
    const bool isProxy[] = {false, false, true}, isNurbs[] = {false, true, false},
               isLine[] = {true, false, false};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ON_CurveProxy::Cast(objects[i]) != nullptr, isProxy[i]) << i;
        EXPECT_EQ(ON_NurbsCurve::Cast(objects[i]) != nullptr, isNurbs[i]) << i;
        EXPECT_EQ(ON_LineCurve::Cast(objects[i]) != nullptr, isLine[i]) << i;
        EXPECT_EQ(ON_SurfaceProxy::Cast(objects[i]), nullptr);
    }
    ON_NurbsCurve viaProxy;
    EXPECT_EQ(proxy.NurbsCurve(&viaProxy), 1);
    EXPECT_EQ(viaProxy.Knot(1), 5.0);
    ON_Interval inner(1, 2);
    EXPECT_EQ(proxy.NurbsCurve(&viaProxy, 0.0, &inner), 0) << "no trimming of NURBS here";
    EXPECT_EQ(line.NurbsCurve(&viaProxy, 0.0, &inner), 1);
    EXPECT_EQ(viaProxy.PointAtStart(), line.PointAt(1));
}

TEST(OnNurbs, BadShapesFailCleanly)
{
    ON_NurbsCurve c;
    for (auto [order, count] : {std::pair{0, 4}, {4, 0}, {-1, 3}, {1, 3}, {4, 3}}) {
        EXPECT_FALSE(c.Create(3, false, order, count)) << order << " " << count;
        EXPECT_FALSE(c.IsValid());
        EXPECT_EQ(c.CVCount(), 0);
        EXPECT_EQ(c.KnotCount(), 0);
        EXPECT_EQ(c.CV(0), nullptr);
        ON_3dPoint p;
        ON_3dVector d1, d2;
        EXPECT_FALSE(c.Ev2Der(0.0, p, d1, d2));
    }
    EXPECT_FALSE(ON_NurbsSurface().Create(3, false, 4, 0, 4, 4));

    // Knot vectors that decrease, repeat order times or have an empty domain.
    const double bad[][6] = {{0, 0, 1, 0.5, 1, 1}, {0, 0, 0, 0, 1, 1}, {1, 1, 1, 1, 1, 1}};
    for (const auto& knots : bad) {
        ON_NurbsCurve k(3, false, 4, 4);
        for (int i = 0; i < 6; ++i)
            k.SetKnot(i, knots[i]);
        ON_wString why;
        ON_TextLog log(why);
        EXPECT_FALSE(k.IsValid(&log));
        EXPECT_FALSE(why.IsEmpty());
    }
    ON_NurbsCurve k(3, true, 2, 2);
    k.SetKnot(0, 0);
    k.SetKnot(1, 1);
    EXPECT_FALSE(k.SetKnot(2, 1));
    EXPECT_EQ(k.Knot(2), ON_UNSET_VALUE);
    k.SetCV(0, ON_4dPoint(0, 0, 0, 0));
    EXPECT_FALSE(k.IsValid()) << "zero weight";
    k.m_dim = 7; // changed behind the curve's back: never read past the storage
    EXPECT_FALSE(k.IsValid());
    EXPECT_EQ(k.CV(0), nullptr);
}
