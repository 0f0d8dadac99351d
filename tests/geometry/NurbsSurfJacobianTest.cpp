#include "geometry/IJConstraints.h"
#include "geometry/NurbsSurf.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

using Fenwo::NurbsSurf;
using JTable = NurbsSurf::FitJacobianTable;

namespace {

// nU x nV net of degrees p, q on a wavy grid; rational when asked (weights
// between 0.6 and 1.6). nV = 0 gives a curve.
std::unique_ptr<NurbsSurf> makeSurface(int nU, int p, int nV, int q, bool rational,
                                       knots::EndCondition uEnd = knots::ClampedEnd)
{
    const knots u(nU - 1, p, 0.0, 1.0, uEnd);
    std::unique_ptr<NurbsSurf> s;
    if (nV > 0) {
        const knots v(nV - 1, q, 0.0, 1.0);
        s = std::make_unique<NurbsSurf>(u, &v);
    } else {
        s = std::make_unique<NurbsSurf>(u, nullptr);
    }
    for (int j = 0; j < s->getVCount(); ++j)
        for (int i = 0; i < s->getUCount(); ++i) {
            const double w = rational ? 1.1 + 0.5 * std::sin(1.3 * i + 2.1 * j) : 1.0;
            s->setControlPoint(i, j,
                               Vector(i + 0.2 * std::sin(j + 0.5 * i), j + 0.1 * std::cos(2.0 * i),
                                      0.3 * std::sin(0.9 * i) * std::cos(0.7 * j)),
                               w);
        }
    return s;
}

// Control net and knot values of a surface, to move it and put it back.
struct Snapshot {
    std::vector<Vector> net;
    Vector knotValues;
    explicit Snapshot(const NurbsSurf& s)
        : net(s.controlNet.get(), s.controlNet.get() + s.controlNetSize),
          knotValues(s.uKnots->values)
    {
    }
    void restore(NurbsSurf& s) const
    {
        std::copy(net.begin(), net.end(), s.controlNet.get());
        s.uKnots->values = knotValues;
    }
};

// The surface moved by h times the full increment dx: Euclidean coordinates
// and weights of the control points, knot values of the knot variables.
void applyIncrement(NurbsSurf& s, const Snapshot& base, const Vector& dx, double h)
{
    base.restore(s);
    const int N = s.getUCount() * s.getVCount();
    for (int c = 0; c < N; ++c) {
        const Vector& P0 = base.net[c];
        const double w0 = P0[3];
        const double w = w0 + h * dx[4 * c + 3];
        Vector& P = s.controlNet[c];
        for (int d = 0; d < 3; ++d)
            P[d] = (P0[d] / w0 + h * dx[4 * c + d]) * w;
        P[3] = w;
    }
    for (int v = 4 * N; v < dx.n; ++v) {
        const int m = s.getKnotPosition(v);
        if (m >= 0 && dx[v] != 0.0)
            s.uKnots->values[s.uKnots->positionToDistinct[m]] += h * dx[v];
    }
}

// Central differences of S_ab along the full increment of every reduced
// variable compared with J; inactive reduced variables must have zero
// columns, active ones must cover every non-zero difference.
void expectJacobianMatchesDifferences(NurbsSurf& s, double u, double v, int o, double tol,
                                      double h = 1e-6)
{
    Vector** P = nullptr;
    JTable* J = nullptr;
    Kor::Array<int> active;
    Vector params(2);
    params[0] = u;
    params[1] = v;
    s.evaluateFitJacobian(params, P, J, active, o);
    ASSERT_NE(J, nullptr);
    const int m = s.getSystemSize();
    ASSERT_EQ(J->columns, m);
    for (int k = 1; k < active.count; ++k)
        ASSERT_LT(active[k - 1], active[k]);

    // The rational basis is a partition of unity.
    double sumR = 0.0;
    for (int c = 0; c < s.rationalBasis.n; ++c)
        sumR += s.rationalBasis[c];
    EXPECT_NEAR(sumR, 1.0, 1e-14);

    // The point table is the surface's own derivative table.
    s.rational = true;
    Vector** T = s.computeDerivatives(o, u, v, nullptr);
    for (int a = 0; a <= o; ++a)
        for (int b = 0; a + b <= o; ++b)
            for (int d = 0; d < 3; ++d)
                EXPECT_NEAR(P[a][b][d], T[a][b][d], 1e-10 * (1.0 + std::fabs(T[a][b][d])))
                    << a << b;

    const Snapshot base(s);
    Vector** Tp = nullptr;
    Vector** Tm = nullptr;
    const bool surface = s.isSurface();
    for (int e = 0; e < m; ++e) {
        Vector unit(m), dx;
        unit[e] = 1.0;
        s.expandUnknowns(dx, unit);
        applyIncrement(s, base, dx, h);
        Tp = s.computeDerivatives(o, u, v, Tp);
        applyIncrement(s, base, dx, -h);
        Tm = s.computeDerivatives(o, u, v, Tm);
        base.restore(s);
        const bool isActive = std::find(active.begin(), active.end(), e) != active.end();
        for (int a = 0; a <= o; ++a)
            for (int b = 0; a + b <= o; ++b)
                for (int d = 0; d < 3; ++d) {
                    const double fd = (Tp[a][b][d] - Tm[a][b][d]) / (2 * h);
                    const double jv = J->at(a, b, e)[d];
                    EXPECT_NEAR(jv, fd, tol * (1.0 + std::fabs(fd)))
                        << "reduced " << e << " order " << a << b << " coordinate " << d;
                    if (!isActive) {
                        EXPECT_EQ(jv, 0.0) << "inactive " << e;
                    }
                    if (!surface && b > 0) {
                        EXPECT_EQ(jv, 0.0);
                    }
                }
    }
    NurbsSurf::freeDerivativeTable(T, o);
    NurbsSurf::freeDerivativeTable(Tp, o);
    NurbsSurf::freeDerivativeTable(Tm, o);
    NurbsSurf::freeDerivativeTable(P, o);
    delete J;
}

} // namespace

TEST(NurbsSurfJacobian, MatchesDifferencesOnSurfacesAndCurves)
{
    struct Case {
        const char* name;
        int nU, p, nV, q;
        bool rational;
    };
    const Case cases[] = {
        {"bicubic", 6, 3, 5, 2, false},
        {"rational", 6, 3, 5, 2, true},
        {"rational degree 1 x 2", 4, 1, 4, 2, true},
        {"curve", 7, 3, 0, 0, false},
        {"rational curve", 7, 2, 0, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto s = makeSurface(c.nU, c.p, c.nV, c.q, c.rational);
        s->constraints.deleteAll(); // weights free as well
        for (int o = 0; o <= 2; ++o) {
            SCOPED_TRACE(o);
            expectJacobianMatchesDifferences(*s, 0.37, 0.61, o, 1e-6);
        }
    }
}

TEST(NurbsSurfJacobian, RationalDegreeOneSecondDerivativesAreNotDropped)
{
    // With p = 1 the basis has no second derivative, but a varying weight
    // function still bends S: S_uu and its control-point derivatives are not
    // zero on a rational surface.
    auto s = makeSurface(4, 1, 0, 0, true);
    s->constraints.deleteAll();
    Vector** P = nullptr;
    JTable* J = nullptr;
    Kor::Array<int> active;
    Vector params(2);
    params[0] = 0.5;
    s->evaluateFitJacobian(params, P, J, active, 2);
    EXPECT_GT(norm(P[2][0]), 1e-3);
    EXPECT_GT(std::fabs(J->at(2, 0, active[0])[0]), 1e-3);
    NurbsSurf::freeDerivativeTable(P, 2);
    delete J;
    expectJacobianMatchesDifferences(*s, 0.5, 0.0, 2, 1e-6);
}

TEST(NurbsSurfJacobian, CyclicLastSpanTakesWrappedControlPoints)
{
    auto s = makeSurface(7, 3, 4, 2, false, knots::CyclicEnd);
    s->constraints.deleteAll();
    const int nU = s->getUCount();
    ASSERT_EQ(nU, 7);
    const double u = s->uKnots->t1 - 0.01; // inside the last span
    Vector** P = nullptr;
    JTable* J = nullptr;
    Kor::Array<int> active;
    Vector params(2);
    params[0] = u;
    params[1] = 0.2;
    s->evaluateFitJacobian(params, P, J, active, 1);
    auto isActive = [&](int i, int j) {
        return std::find(active.begin(), active.end(), s->getUnknownIndex(i, j, 0)) != active.end();
    };
    int uIndices = 0;
    for (int i = 0; i < nU; ++i)
        uIndices += isActive(i, 0);
    EXPECT_EQ(uIndices, 4);
    EXPECT_TRUE(isActive(0, 0));      // wrapped past the seam
    EXPECT_TRUE(isActive(nU - 1, 0)); // before the seam
    NurbsSurf::freeDerivativeTable(P, 1);
    delete J;
    expectJacobianMatchesDifferences(*s, u, 0.2, 2, 1e-6);
}

TEST(NurbsSurfJacobian, ConstrainedVariablesEnterThroughTheNullSpace)
{
    // Fixed weights, a fixed point in the span (no derivative, never active)
    // and relations whose null-space columns mix points inside and outside
    // the span.
    auto s = makeSurface(6, 2, 5, 2, true);
    s->addConstraint(
        new Fenwo::CIJSingleConstraint(*s, 2, 2, Vector(3), Vector(3), Fenwo::SingleCpKind::fixed));
    s->addConstraint(new Fenwo::CIJRelationConstraint(2, 1, 5, 4));
    s->addConstraint(new Fenwo::CIJRelationConstraint(3, 2, 2, 3, 3, 3, 0.4));
    ASSERT_TRUE(s->prepareFitWorkspace());
    ASSERT_GT(s->nullSpace->cols, 0);
    Vector** P = nullptr;
    JTable* J = nullptr;
    Kor::Array<int> active;
    Vector params(2);
    params[0] = 0.5;
    params[1] = 0.5;
    s->evaluateFitJacobian(params, P, J, active, 1);
    const int fixedX = s->getUnknownIndex(2, 2, 0);
    EXPECT_EQ(s->variableState[fixedX], 0);
    EXPECT_EQ(norm(s->fitWorkspace->entries[0][0][fixedX]), 0.0);
    EXPECT_EQ(norm(s->fitWorkspace->entries[1][0][fixedX]), 0.0);
    // The coupled x of (2, 1) lies in the span: its D entry is set.
    EXPECT_GT(norm(s->fitWorkspace->entries[0][0][s->getUnknownIndex(2, 1, 0)]), 0.0);
    NurbsSurf::freeDerivativeTable(P, 1);
    delete J;
    expectJacobianMatchesDifferences(*s, 0.5, 0.5, 2, 1e-6);

    // A point far away touches none of the span's variables of the last one:
    // the workspace entries of the previous span are cleared.
    P = nullptr;
    J = nullptr;
    params[0] = 0.02;
    params[1] = 0.02;
    s->evaluateFitJacobian(params, P, J, active, 1);
    EXPECT_EQ(norm(s->fitWorkspace->entries[0][0][s->getUnknownIndex(3, 3, 1)]), 0.0);
    EXPECT_EQ(norm(s->fitWorkspace->entries[1][0][s->getUnknownIndex(3, 3, 1)]), 0.0);
    NurbsSurf::freeDerivativeTable(P, 1);
    delete J;
}

TEST(NurbsSurfJacobian, KnotVariablesAndNullSpaceKeepSeparateIndices)
{
    // Free knots together with a null space: knot columns must describe the
    // knots alone and null-space columns the coupled points alone.
    auto s = makeSurface(7, 3, 0, 0, false);
    s->freeKnots = true;
    s->addConstraint(new Fenwo::CIJRelationConstraint(2, 0, 3, 0));
    ASSERT_TRUE(s->prepareFitWorkspace());
    ASSERT_EQ(s->nullSpace->cols, 3);
    // The knot sensitivities are forward differences of step 1e-6.
    expectJacobianMatchesDifferences(*s, 0.47, 0.0, 2, 1e-4, 1e-5);
}

TEST(NurbsSurfJacobian, RationalKnotDerivativesFollowTheQuotientRule)
{
    // On a rational surface moving a knot changes the weight function too.
    auto s = makeSurface(6, 2, 4, 2, true);
    s->constraints.deleteAll();
    s->freeKnots = true;
    ASSERT_TRUE(s->prepareFitWorkspace());
    expectJacobianMatchesDifferences(*s, 0.55, 0.4, 2, 1e-4, 1e-5);
}

TEST(NurbsSurfJacobian, KnotJacobianIncludesVDerivatives)
{
    // The knot columns of S_v, S_uv and S_vv are filled, not only the u ones
    // (weights 1, so only the v direction is at stake here).
    auto s = makeSurface(6, 3, 4, 2, false);
    s->freeKnots = true;
    ASSERT_TRUE(s->prepareFitWorkspace());
    expectJacobianMatchesDifferences(*s, 0.45, 0.3, 2, 1e-4, 1e-5);
}

TEST(NurbsSurfJacobian, TablesAreReusedAndReshaped)
{
    auto s = makeSurface(5, 2, 4, 2, false);
    Vector** P = nullptr;
    JTable* J = nullptr;
    Kor::Array<int> active;
    Vector params(2);
    params[0] = 0.3;
    params[1] = 0.3;
    // Prepared on demand, then the same tables serve the next point.
    s->evaluateFitJacobian(params, P, J, active, 2);
    ASSERT_NE(s->nullSpace, nullptr);
    Vector** firstP = P;
    JTable* firstJ = J;
    const int firstActive = active.count;
    params[0] = 0.9;
    s->evaluateFitJacobian(params, P, J, active, 2);
    EXPECT_EQ(P, firstP);
    EXPECT_EQ(J, firstJ);
    EXPECT_EQ(active.count, firstActive);
    // A table of another width is reshaped to the system size.
    *J = JTable(1, 3);
    s->evaluateFitJacobian(params, P, J, active, 2);
    EXPECT_EQ(J->columns, s->getSystemSize());
    EXPECT_EQ(J->order, 2);
    NurbsSurf::freeDerivativeTable(P, 2);
    delete J;
}
