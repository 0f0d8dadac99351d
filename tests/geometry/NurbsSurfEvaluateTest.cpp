#include "geometry/NurbsSurf.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

using Fenwo::NurbsSurf;

namespace {

// Rational quadratic quarter circle of radius r in the xy plane.
std::unique_ptr<NurbsSurf> quarterCircle(double r = 1.0)
{
    const knots u(2, 2, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    auto c = std::make_unique<NurbsSurf>(u, nullptr);
    c->setControlPoint(0, 0, Vector(r, 0, 0), 1.0);
    c->setControlPoint(1, 0, Vector(r, r, 0), std::sqrt(2.0) / 2.0);
    c->setControlPoint(2, 0, Vector(0, r, 0), 1.0);
    return c;
}

// Bicubic patch over non-uniform knots with a wavy net; weights in
// [0.6, 1.8] when rational. Coordinates scaled by `scale`.
std::unique_ptr<NurbsSurf> bicubic(bool rational, double scale = 1.0)
{
    const double uk[] = {0.0, 0.0, 0.0, 0.0, 0.3, 0.55, 1.0, 1.0, 1.0, 1.0};
    const double vk[] = {-1.0, -1.0, -1.0, -1.0, 0.2, 2.0, 2.0, 2.0, 2.0};
    Kor::List<double> ul, vl;
    for (double x : uk)
        ul.append(x);
    for (double x : vk)
        vl.append(x);
    const knots u(ul, 5, 3);
    const knots v(vl, 4, 3);
    auto s = std::make_unique<NurbsSurf>(u, &v);
    for (int j = 0; j < s->getVCount(); ++j) {
        for (int i = 0; i < s->getUCount(); ++i) {
            const Vector p(scale * (i + 0.3 * std::sin(1.7 * j)), scale * (j + 0.2 * std::cos(i)),
                           scale * (std::sin(0.9 * i) * std::cos(0.6 * j) + 0.1 * i * j));
            const double w = rational ? 1.2 + 0.6 * std::sin(2.3 * i + 1.1 * j) : 1.0;
            s->setControlPoint(i, j, p, w);
        }
    }
    return s;
}

double maxAbsDiff(const Vector& a, const Vector& b)
{
    double m = 0.0;
    for (int k = 0; k < std::min(a.n, b.n); ++k)
        m = std::max(m, std::fabs(a[k] - b[k]));
    return m;
}

} // namespace

TEST(NurbsSurfEvaluate, RationalQuarterCircleHasRadiusOne)
{
    auto c = quarterCircle();
    EXPECT_TRUE(c->rational);
    EXPECT_TRUE(c->isCurve());
    EXPECT_EQ(c->getVCount(), 1);
    Vector p;
    for (int k = 0; k < 100; ++k) {
        const double t = k / 99.0;
        c->evaluatePoint(p, t, 0.0);
        EXPECT_NEAR(std::hypot(p[0], p[1]), 1.0, 1e-12) << t;
        EXPECT_EQ(p[2], 0.0);
        Vector** D = c->evaluate(2, t, 0.0);
        EXPECT_NEAR(norm(D[0][0]), 1.0, 1e-12) << t;
        EXPECT_NEAR(dot(D[0][0], D[1][0]), 0.0, 1e-12) << t; // tangent of a circle
        // A curve has no v dependence: every v derivative vanishes.
        EXPECT_EQ(norm(D[0][1]), 0.0);
        EXPECT_EQ(norm(D[1][1]), 0.0);
        EXPECT_EQ(norm(D[0][2]), 0.0);
        // Curvature |C' x C''| / |C'|^3 of the unit circle.
        const double speed = norm(D[1][0]);
        EXPECT_NEAR(norm(crossProduct(D[1][0], D[2][0])) / (speed * speed * speed), 1.0, 1e-9);
    }
    // The ends are the first and last control points.
    c->evaluatePoint(p, 0.0, 0.0);
    EXPECT_NEAR(p[0], 1.0, 1e-15);
    c->evaluatePoint(p, 1.0, 0.0);
    EXPECT_NEAR(p[1], 1.0, 1e-15);
}

TEST(NurbsSurfEvaluate, PolynomialCurveHasZeroVDerivatives)
{
    const knots u(4, 3, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    NurbsSurf c(u, nullptr);
    for (int i = 0; i < c.getUCount(); ++i)
        c.setControlPoint(i, 0, Vector(i, i * i, 1.0 - i));
    EXPECT_FALSE(c.rational);
    Vector** D = c.evaluate(3, 0.37, 0.0);
    for (int k = 0; k <= 3; ++k)
        for (int l = 1; l + k <= 3; ++l)
            EXPECT_EQ(norm(D[k][l]), 0.0) << k << "," << l;
    EXPECT_GT(norm(D[1][0]), 0.1);
    // Parameters outside the domain are clamped to its ends.
    Vector a, b;
    c.evaluatePoint(a, -3.0, 0.0);
    c.evaluatePoint(b, 0.0, 0.0);
    EXPECT_EQ(maxAbsDiff(a, b), 0.0);
}

// Derivatives up to order 3 against central differences of the next lower
// order, on polynomial and rational bicubics at three scales.
TEST(NurbsSurfEvaluate, DerivativesMatchCentralDifferences)
{
    const double params[][2] = {{0.13, -0.7}, {0.42, 0.05}, {0.71, 1.3}, {0.9, 1.9}};
    for (bool rational : {false, true}) {
        for (double scale : {1e-8, 1.0, 1e8}) {
            auto s = bicubic(rational, scale);
            EXPECT_EQ(s->rational, rational);
            const double h = 1e-5;
            for (const auto& uv : params) {
                Vector** T = s->computeDerivatives(3, uv[0], uv[1], nullptr);
                Vector** up = s->computeDerivatives(3, uv[0] + h, uv[1], nullptr);
                Vector** um = s->computeDerivatives(3, uv[0] - h, uv[1], nullptr);
                Vector** vp = s->computeDerivatives(3, uv[0], uv[1] + h, nullptr);
                Vector** vm = s->computeDerivatives(3, uv[0], uv[1] - h, nullptr);
                for (int k = 0; k <= 3; ++k) {
                    for (int l = 0; k + l <= 3; ++l) {
                        if (k == 0 && l == 0)
                            continue;
                        const Vector fd = k > 0 ? (up[k - 1][l] - um[k - 1][l]) / (2 * h)
                                                : (vp[k][l - 1] - vm[k][l - 1]) / (2 * h);
                        const double tol = 2e-5 * scale * (1.0 + norm(T[k][l]) / scale);
                        EXPECT_LT(maxAbsDiff(T[k][l], fd), tol)
                            << "rational " << rational << " scale " << scale << " at " << uv[0]
                            << "," << uv[1] << " order " << k << "," << l;
                    }
                }
                // The point itself agrees with evaluatePoint.
                Vector p;
                s->evaluatePoint(p, uv[0], uv[1]);
                EXPECT_LT(maxAbsDiff(p, T[0][0]), 1e-14 * scale * 10);
                for (Vector** t : {T, up, um, vp, vm})
                    NurbsSurf::freeDerivativeTable(t, 3);
            }
        }
    }
}

// The quotient rule gives non-zero rational derivatives beyond the degree;
// they are kept instead of being cut to zero like polynomial ones.
TEST(NurbsSurfEvaluate, RationalDerivativesBeyondDegreeAreNotZeroed)
{
    auto c = quarterCircle();
    const double t = 0.3;
    const double h = 1e-5;
    Vector** T = c->computeDerivatives(3, t, 0.0, nullptr);
    Vector** p = c->computeDerivatives(3, t + h, 0.0, nullptr);
    Vector** m = c->computeDerivatives(3, t - h, 0.0, nullptr);
    const Vector fd = (p[2][0] - m[2][0]) / (2 * h);
    EXPECT_GT(norm(T[3][0]), 0.1);
    EXPECT_LT(maxAbsDiff(T[3][0], fd), 1e-4 * norm(fd));
    for (Vector** x : {T, p, m})
        NurbsSurf::freeDerivativeTable(x, 3);
}

TEST(NurbsSurfEvaluate, CyclicCurveIsSmoothAcrossTheSeam)
{
    // Six distinct control points around a hexagon, cubic, periodic.
    const knots u(5, 3, 0.0, 1.0, knots::CyclicEnd, knots::Uniform);
    NurbsSurf c(u, nullptr);
    const int n = c.getUCount();
    ASSERT_GE(n, 3);
    for (int i = 0; i < n; ++i)
        c.setControlPoint(i, 0, Vector(std::cos(i * 2 * M_PI / n), std::sin(i * 2 * M_PI / n), 0));
    const double t0 = c.getUMin();
    const double t1 = c.getUMax();
    Vector** D = c.evaluate(2, t0, 0.0);
    const Vector p0 = D[0][0], d0 = D[1][0], dd0 = D[2][0];
    D = c.evaluate(2, t1, 0.0);
    EXPECT_LT(maxAbsDiff(p0, D[0][0]), 1e-12);
    EXPECT_LT(maxAbsDiff(d0, D[1][0]), 1e-9);
    EXPECT_LT(maxAbsDiff(dd0, D[2][0]), 1e-7);
}

TEST(NurbsSurfEvaluate, ReversedUNegatesOddUDerivatives)
{
    auto s = bicubic(true);
    Vector** D = s->evaluate(2, 0.3, 0.4);
    const Vector su = D[1][0], suu = D[2][0], sv = D[0][1], suv = D[1][1];
    const double mirrored = s->getUMax() - (0.3 - s->getUMin());
    s->reverseU();
    D = s->evaluate(2, mirrored, 0.4);
    EXPECT_LT(maxAbsDiff(D[1][0], -su), 1e-12);
    EXPECT_LT(maxAbsDiff(D[2][0], suu), 1e-12);
    EXPECT_LT(maxAbsDiff(D[0][1], sv), 1e-12);
    EXPECT_LT(maxAbsDiff(D[1][1], -suv), 1e-12);
}

// A cone-like patch whose south row is collapsed to its apex.
TEST(NurbsSurfEvaluate, CollapsedSideGetsNonZeroTangent)
{
    const knots u(2, 2, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    const knots v(1, 1, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    NurbsSurf s(u, &v);
    for (int i = 0; i < 3; ++i) {
        s.setControlPoint(i, 0, Vector(0, 0, 1));
        s.setControlPoint(i, 1, Vector(std::cos(i * 0.6), std::sin(i * 0.6), 0));
    }
    s.addDegenerateSide(uvSouth);

    // Without the repair the u derivative vanishes along the apex.
    Vector** raw = s.computeDerivatives(1, 0.2, 0.0, nullptr);
    EXPECT_LT(norm(raw[1][0]), 1e-12);
    NurbsSurf::freeDerivativeTable(raw, 1);

    Vector** east = s.computeDerivatives(1, 1.0, 0.0, nullptr);
    Vector** west = s.computeDerivatives(1, 0.0, 0.0, nullptr);
    Vector** D = s.evaluate(1, 0.2, 0.0); // u below the middle: the east side
    EXPECT_LT(maxAbsDiff(D[1][0], east[0][1]), 1e-15);
    EXPECT_GT(norm(crossProduct(D[1][0], D[0][1])), 0.1);
    D = s.evaluate(1, 0.8, 0.0); // u above the middle: the west side, negated
    EXPECT_LT(maxAbsDiff(D[1][0], -west[0][1]), 1e-15);
    EXPECT_GT(norm(crossProduct(D[1][0], D[0][1])), 0.1);
    NurbsSurf::freeDerivativeTable(east, 1);
    NurbsSurf::freeDerivativeTable(west, 1);

    // Away from the domain border nothing is repaired.
    D = s.evaluate(1, 0.2, 0.05);
    raw = s.computeDerivatives(1, 0.2, 0.05, nullptr);
    EXPECT_LT(maxAbsDiff(D[1][0], raw[1][0]), 1e-15);
    NurbsSurf::freeDerivativeTable(raw, 1);
}

TEST(NurbsSurfEvaluate, ParallelCornerIsEvaluatedInside)
{
    const knots k(1, 1, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    NurbsSurf s(k, &k);
    // At (0, 0) both tangents point along x; just inside S_v turns towards y.
    s.setControlPoint(0, 0, Vector(0, 0, 0));
    s.setControlPoint(1, 0, Vector(1, 0, 0));
    s.setControlPoint(0, 1, Vector(1e-7, 0, 0));
    s.setControlPoint(1, 1, Vector(1, 1, 0));
    Vector** inside = s.computeDerivatives(1, 1e-6, 1e-6, nullptr);
    testing::internal::CaptureStdout();
    Vector** D = s.evaluate(1, 0.0, 0.0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    for (int k2 = 0; k2 <= 1; ++k2)
        for (int l = 0; k2 + l <= 1; ++l)
            EXPECT_LT(maxAbsDiff(D[k2][l], inside[k2][l]), 1e-15);
    NurbsSurf::freeDerivativeTable(inside, 1);

    // Fully folded: the tangents stay parallel inside as well.
    s.setControlPoint(0, 1, Vector(1, 0, 0));
    s.setControlPoint(1, 1, Vector(2, 0, 0));
    testing::internal::CaptureStdout();
    s.evaluate(1, 0.0, 1.0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "u,v still Collinear!\n");
}

TEST(NurbsSurfEvaluate, WrapCyclicParametersMovesAcrossTheSeam)
{
    const knots cyc(5, 3, 0.0, 1.0, knots::CyclicEnd, knots::Uniform);
    const knots clamped(3, 3, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    NurbsSurf s(cyc, &clamped);
    const double umin = s.getUMin();
    const double period = s.getUMax() - umin;
    Vector uv(2);
    uv[0] = umin - 0.25 * period;
    uv[1] = -0.5;
    s.wrapCyclicParameters(uv);
    EXPECT_NEAR(uv[0], umin + 0.75 * period, 1e-12);
    EXPECT_EQ(uv[1], -0.5); // v is not cyclic

    NurbsSurf t(clamped, &cyc);
    const double vmin = t.getVMin();
    const double vperiod = t.getVMax() - vmin;
    uv[0] = -0.5;
    uv[1] = vmin + 1.25 * vperiod;
    t.wrapCyclicParameters(uv);
    EXPECT_EQ(uv[0], -0.5);
    EXPECT_NEAR(uv[1], vmin + 0.25 * vperiod, 1e-12);
}

// Linear precision: control points at the Greville abscissae reproduce the
// parameters, for low degrees (unrolled sums) and high ones (generic sums),
// rational nets with equal weights included.
TEST(NurbsSurfEvaluate, LinearPrecisionForEveryDegree)
{
    for (int p = 1; p <= 6; ++p) {
        for (int q : {0, 2, 5}) {
            const knots u(p + 2, p, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
            const knots v(q + 1, q, -1.0, 2.0, knots::ClampedEnd, knots::Uniform);
            NurbsSurf s(u, q > 0 ? &v : nullptr);
            for (int j = 0; j < s.getVCount(); ++j) {
                for (int i = 0; i < s.getUCount(); ++i) {
                    const double g = s.uKnots->getGrevilleAbscissa(i);
                    const double h = q > 0 ? s.vKnots->getGrevilleAbscissa(j) : 0.0;
                    s.setControlPoint(i, j, Vector(g, h, g + 2 * h), 1.0 + (p % 2));
                }
            }
            EXPECT_EQ(s.rational, p % 2 == 1);
            for (double t : {0.0, 0.17, 0.5, 0.93, 1.0}) {
                const double vt = q > 0 ? -1.0 + 3.0 * t * t : 0.0;
                Vector** D = s.evaluate(2, t, vt);
                EXPECT_NEAR(D[0][0][0], t, 1e-14) << p << " " << q;
                EXPECT_NEAR(D[0][0][1], vt, 1e-14) << p << " " << q;
                EXPECT_NEAR(D[0][0][2], t + 2 * vt, 1e-13) << p << " " << q;
                EXPECT_NEAR(D[1][0][0], 1.0, 1e-12) << p << " " << q;
                EXPECT_NEAR(D[1][0][2], 1.0, 1e-12) << p << " " << q;
                EXPECT_NEAR(norm(D[2][0]), 0.0, 1e-10) << p << " " << q;
                if (q > 0) {
                    EXPECT_NEAR(D[0][1][1], 1.0, 1e-12) << p << " " << q;
                    EXPECT_NEAR(D[0][1][2], 2.0, 1e-12) << p << " " << q;
                    EXPECT_NEAR(norm(D[1][1]), 0.0, 1e-10) << p << " " << q;
                }
            }
        }
    }
}

// A control point that was never set adds nothing to the sums; it is not read
// beyond its (empty) storage.
TEST(NurbsSurfEvaluate, UnsetControlPointContributesNothing)
{
    const knots u(1, 1, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    NurbsSurf c(u, nullptr);
    c.setControlPoint(0, 0, Vector(2, 4, 6));
    Vector p;
    c.evaluatePoint(p, 0.5, 0.0); // (0.5 (2, 4, 6), 0.5) over weight 0.5
    EXPECT_EQ(p[0], 2.0);
    EXPECT_EQ(p[2], 6.0);
    Vector** D = c.evaluate(1, 0.5, 0.0);
    EXPECT_EQ(D[0][0][1], 2.0);   // polynomial path: the weighted sum itself
    c.evaluatePoint(p, 1.0, 0.0); // only the unset point: zero weight
    EXPECT_EQ(norm(p), 0.0);
}

namespace {

// Independent oracle of the derivative table: every basis function by the
// Cox-de Boor recursion in long double over the knot positions (half-open
// intervals, the last non-empty one closed at the domain end), the
// homogeneous sums over the whole net, then the quotient rule. Alongside each
// entry it carries the scale of its rounding: the sums of absolute terms,
// carried through the quotient rule.
struct Oracle {
    using LD = long double;
    NurbsSurf& s;

    static LD basis(const std::vector<LD>& U, int i, int p, int k, LD t, int last)
    {
        if (p == 0) {
            if (k > 0)
                return 0;
            return (U[i] <= t && t < U[i + 1]) || (i == last && t == U[i + 1]) ? 1 : 0;
        }
        auto term = [&](int j, LD den) {
            if (den == 0)
                return LD(0);
            return (k == 0 ? (j == i ? t - U[i] : U[i + p + 1] - t) : LD(p)) *
                   basis(U, j, p - 1, k == 0 ? 0 : k - 1, t, last) / den;
        };
        const LD a = term(i, U[i + p] - U[i]);
        const LD b = term(i + 1, U[i + p + 1] - U[i + 1]);
        return k == 0 ? a + b : a - b;
    }

    // Rows k = 0..3 of all basis functions of a direction at t (clamped or
    // wrapped as the surface does), each function naming its control point.
    static void rows(const knots& K, double t, std::vector<std::vector<LD>>& N,
                     std::vector<int>& idx, int count)
    {
        const int positions = K.n + K.p + 2;
        std::vector<LD> U(positions);
        for (int i = 0; i < positions; ++i)
            U[i] = K.valueAt(i);
        K.clampToRange(t);
        int last = 0;
        for (int i = 0; i <= K.n; ++i)
            if (U[i] < U[i + 1])
                last = i;
        N.assign(4, std::vector<LD>(K.n + 1));
        idx.resize(K.n + 1);
        for (int i = 0; i <= K.n; ++i) {
            idx[i] = i % count;
            for (int k = 0; k < 4; ++k)
                N[k][i] = basis(U, i, K.p, k, t, last);
        }
    }

    // S[k][l] and its bound B[k][l] for k + l <= 3.
    void table(double u, double v, LD S[4][4][3], LD B[4][4])
    {
        std::vector<std::vector<LD>> Nu, Nv;
        std::vector<int> iu, iv;
        rows(*s.uKnots, u, Nu, iu, s.getUCount());
        if (s.vKnots->n == 0) {
            Nv = {{1}, {0}, {0}, {0}};
            iv = {0};
        } else {
            rows(*s.vKnots, v, Nv, iv, s.getVCount());
        }
        LD A[4][4][4] = {}, absA[4][4] = {}, absW[4][4] = {};
        for (size_t i = 0; i < iu.size(); ++i)
            for (size_t j = 0; j < iv.size(); ++j) {
                const Vector& P = s.getWrappedControlPoint(iu[i], iv[j]);
                for (int k = 0; k < 4; ++k)
                    for (int l = 0; k + l < 4; ++l) {
                        const LD b = Nu[k][i] * Nv[l][j];
                        for (int c = 0; c < 4; ++c) {
                            A[k][l][c] += b * P[c];
                            (c < 3 ? absA : absW)[k][l] += std::fabs(b * P[c]);
                        }
                    }
            }
        const LD C[4][4] = {{1}, {1, 1}, {1, 2, 1}, {1, 3, 3, 1}};
        const LD w = A[0][0][3];
        for (int k = 0; k < 4; ++k)
            for (int l = 0; k + l < 4; ++l) {
                B[k][l] = absA[k][l] / std::fabs(w);
                for (int c = 0; c < 3; ++c)
                    S[k][l][c] = A[k][l][c];
                for (int i = 0; i <= k; ++i)
                    for (int j = 0; j <= l; ++j) {
                        if (i == 0 && j == 0)
                            continue;
                        const LD f = C[k][i] * C[l][j] * A[i][j][3];
                        for (int c = 0; c < 3; ++c)
                            S[k][l][c] -= f * S[k - i][l - j][c];
                        B[k][l] += C[k][i] * C[l][j] * absW[i][j] / std::fabs(w) * B[k - i][l - j];
                    }
                for (int c = 0; c < 3; ++c)
                    S[k][l][c] /= w;
            }
    }
};

// Clamped knots of degree p on [0, 1] with an interior knot of multiplicity
// 2 (simple for degree 1).
knots clampedKnots(int p)
{
    Kor::List<double> l;
    for (int i = 0; i <= p; ++i)
        l.append(0.0);
    for (double x : {0.2, 0.45, 0.45, 0.7})
        if (x != l.data[l.count - 1] || p > 1)
            l.append(x);
    for (int i = 0; i <= p; ++i)
        l.append(1.0);
    return knots(l, l.count - p - 2, p);
}

std::unique_ptr<NurbsSurf> netOver(const knots& u, const knots* v, bool rational,
                                   bool collapseSouth)
{
    auto s = std::make_unique<NurbsSurf>(u, v);
    for (int j = 0; j < s->getVCount(); ++j)
        for (int i = 0; i < s->getUCount(); ++i) {
            Vector p(i + 0.4 * std::sin(2.1 * j), j + 0.3 * std::cos(1.3 * i),
                     std::sin(0.9 * i) * std::cos(0.7 * j));
            if (collapseSouth && j == 0)
                p = Vector(1.5, -0.5, 0.25);
            s->setControlPoint(i, j, p, rational ? 1.0 + 0.4 * std::sin(1.1 * i + 0.6 * j) : 1.0);
        }
    return s;
}

} // namespace

TEST(NurbsSurfEvaluate, DerivativeTablesAgreeWithTheRecursiveDefinition)
{
    struct Case {
        const char* name;
        std::unique_ptr<NurbsSurf> surface;
    };
    std::vector<Case> cases;
    for (int p : {1, 2, 3, 5})
        for (bool rational : {false, true}) {
            const knots u = clampedKnots(p);
            const knots v = clampedKnots(p == 5 ? 2 : p);
            cases.push_back({"clamped", netOver(u, &v, rational, false)});
        }
    const knots cyclic(6, 3, 0.0, 1.0, knots::CyclicEnd);
    const knots cubic = clampedKnots(3);
    cases.push_back({"cyclic", netOver(cyclic, &cubic, false, false)});
    cases.push_back({"cyclic rational", netOver(cyclic, &cubic, true, false)});
    cases.push_back({"collapsed side", netOver(cubic, &cubic, true, true)});
    cases.push_back({"curve", netOver(clampedKnots(5), nullptr, true, false)});
    cases.push_back({"cyclic curve", netOver(cyclic, nullptr, false, false)});

    unsigned x = 2024u;
    auto random = [&x] {
        x = x * 1664525u + 1013904223u;
        return (x >> 8) / double(1u << 24);
    };
    for (Case& c : cases) {
        NurbsSurf& s = *c.surface;
        SCOPED_TRACE(std::string(c.name) + " p=" + std::to_string(s.uKnots->p) +
                     (s.rational ? " rational" : ""));
        // Every knot value, the domain ends and values just beside them, and
        // random parameters (beyond the domain too, wrapped on a cyclic knot
        // vector).
        std::vector<double> us, vs;
        for (const knots* k : {s.uKnots, s.vKnots}) {
            std::vector<double>& out = k == s.uKnots ? us : vs;
            for (int i = 0; i < k->n + k->p + 2; ++i)
                for (double d : {0.0, 1e-13, -1e-13})
                    out.push_back(k->valueAt(i) + d);
            for (int m = 0; m < 1000; ++m)
                out.push_back(-0.1 + 1.2 * random());
        }
        Oracle oracle{s};
        Vector** T = nullptr;
        for (size_t m = 0; m < std::max(us.size(), vs.size()); ++m) {
            const double u = us[m % us.size()];
            const double v = s.vKnots->n == 0 ? 0.0 : vs[(m * 7) % vs.size()];
            Oracle::LD S[4][4][3], B[4][4];
            oracle.table(u, v, S, B);
            T = s.computeDerivatives(3, u, v, T);
            for (int k = 0; k < 4; ++k)
                for (int l = 0; k + l < 4; ++l)
                    for (int e = 0; e < 3; ++e) {
                        const double err =
                            std::fabs(T[k][l][e] - double(S[k][l][e])) / double(B[k][l] + 1e-300L);
                        ASSERT_LE(err, 1e-14)
                            << "u=" << u << " v=" << v << " k=" << k << " l=" << l;
                    }
            Vector point;
            s.evaluatePoint(point, u, v);
            for (int e = 0; e < 3; ++e)
                ASSERT_LE(std::fabs(point[e] - double(S[0][0][e])), 1e-14 * double(B[0][0]));
        }
        NurbsSurf::freeDerivativeTable(T, 3);
    }
}
