// Jacobian of the constrained Newton surface fit: the rational surface point
// with its derivatives at a fit point, and their derivatives with respect to
// the control-point coordinates, the weights and the free knots, mapped onto
// the reduced variables (free variables, null-space coordinates, knots).
//
// Every derivative follows from the quotient rule on the homogeneous surface
// A = sum N_i N_j w P and its weight function W = A_w:
//   A_ab = sum_{i <= a, j <= b} C(a, i) C(b, j) W_ij S_{a-i, b-j},
// differentiated with respect to the variable and solved for the derivative
// of S_ab, in an order in which every right-hand term is already known.
#include "geometry/NurbsSurf.h"

#include <algorithm>
#include <cmath>

namespace Fenwo {

namespace {

inline int wrapIndex(int i, int n)
{
    const int r = i % n;
    return r < 0 ? r + n : r;
}

// Binomial coefficients up to order 3, all the derivative tables need.
constexpr double kBinomial[4][4] = {{1, 0, 0, 0}, {1, 1, 0, 0}, {1, 2, 1, 0}, {1, 3, 3, 1}};

// 3 x 3 tables of scalars and 3-vectors indexed by derivative orders.
using ScalarTable = double[3][3];
struct Vec3 {
    double x[3] = {0.0, 0.0, 0.0};
};
using VectorTable = Vec3[3][3];

void setVector(Vector& out, const double* x)
{
    if (out.n != 3)
        out.resize(3);
    out[0] = x[0];
    out[1] = x[1];
    out[2] = x[2];
}

} // namespace

int NurbsSurf::getKnotUnknownIndex(int m) const
{
    const knots& k = *uKnots;
    if (m <= k.p || m > k.n || k.getMultiplicityAt(m) != 1)
        return -1;
    int index = 4 * getUCount() * getVCount();
    for (int i = k.p + 1; i < m; ++i)
        if (k.getMultiplicityAt(i) == 1)
            ++index;
    return index;
}

int NurbsSurf::getKnotPosition(int variable) const
{
    const knots& k = *uKnots;
    int index = 4 * getUCount() * getVCount();
    if (variable < index)
        return -1;
    for (int m = k.p + 1; m <= k.n; ++m)
        if (k.getMultiplicityAt(m) == 1 && index++ == variable)
            return m;
    return -1;
}

Vector** NurbsSurf::evaluateRationalBasis(int order, double u, double v, Vector** P, Vector& R,
                                          double* W)
{
    order = std::clamp(order, 0, 3);
    if (P == nullptr)
        allocateDerivativeTable(P, order);
    const int p = uKnots->p;
    const int q = vKnots->p;
    const int nU = getUCount();
    const int nV = getVCount();
    FitJacobianScratch& s = fitJacobianScratch;

    double uu = u;
    double vv = v;
    const int su = uKnots->clampToKnots(uu);
    const int sv = vKnots->clampToKnots(vv);
    lastUSpan = su;
    lastVSpan = sv;
    // Copies of the basis rows: the knot vectors' work arrays are overwritten
    // by later evaluations (the knot sensitivities among them).
    const Vector* Nu = uKnots->basisDerivatives(su, order, uu);
    for (int a = 0; a < 4; ++a) {
        if (a <= order) {
            s.basisU[a] = Nu[a];
        } else {
            s.basisU[a].resize(p + 1);
            s.basisU[a].fill(0.0);
        }
    }
    const Vector* Nv = vKnots->basisDerivatives(sv, order, vv);
    for (int b = 0; b < 4; ++b) {
        if (b <= order) {
            s.basisV[b] = Nv[b];
        } else {
            s.basisV[b].resize(q + 1);
            s.basisV[b].fill(0.0);
        }
    }

    // Homogeneous derivatives of all four entries, rational or not, so that
    // the weight derivatives are always at hand.
    sumSpan(su, sv, s.basisU, std::min(order, p), s.basisV, std::min(order, q), order, 4);
    const double w0 = getHomogeneousDerivative(0, 0)[3];
    if (W != nullptr)
        *W = w0;

    // R holds the span's (p + 1)(q + 1) values only: a vector of every
    // control point, cleared for every fit point, made a fit of n points on
    // n control points cost n^2.
    const int spanCount = (p + 1) * (q + 1);
    R.resize(spanCount);
    R.fill(0.0);
    for (int a = 0; a <= order; ++a)
        for (int b = 0; b <= order; ++b)
            if (P[a][b].n != 3)
                P[a][b].resize(3);
    for (int a = 0; a <= order; ++a)
        for (int b = 0; b <= order; ++b)
            P[a][b].fill(0.0);
    if (w0 == 0.0 || nU * nV > controlNetSize)
        return P;

    for (int k = 0; k <= p; ++k) {
        const int i = wrapIndex(su - p + k, nU);
        for (int l = 0; l <= q; ++l) {
            const int c = i + nU * wrapIndex(sv - q + l, nV);
            const Vector& Pw = controlNet.point(c);
            if (Pw.n >= 4)
                R[k * (q + 1) + l] = s.basisU[0][k] * s.basisV[0][l] * Pw[3] / w0;
        }
    }

    auto weightAt = [&](int a, int b) { return getHomogeneousDerivative(a, b)[3]; };
    for (int a = 0; a <= order; ++a) {
        for (int b = 0; a + b <= order; ++b) {
            double x[3];
            const double* A = getHomogeneousDerivative(a, b);
            std::copy(A, A + 3, x);
            for (int i = 0; i <= a; ++i) {
                for (int j = 0; j <= b; ++j) {
                    if (i == 0 && j == 0)
                        continue;
                    const double c = kBinomial[a][i] * kBinomial[b][j] * weightAt(i, j);
                    if (c == 0.0)
                        continue;
                    const double* t = P[a - i][b - j].data;
                    for (int d = 0; d < 3; ++d)
                        x[d] -= c * t[d];
                }
            }
            for (int d = 0; d < 3; ++d)
                P[a][b][d] = x[d] / w0;
        }
    }
    return P;
}

void NurbsSurf::evaluateFitJacobian(const Vector& params, Vector**& P, FitJacobianTable*& J,
                                    Kor::Array<int>& active, int o)
{
    o = std::clamp(o, 0, 2);
    active.count = 0;
    const int V = countUnknowns();
    if (nullSpace == nullptr || fitWorkspace == nullptr || fitWorkspace->variableCount != V ||
        variableState.count != V)
        prepareFitWorkspace();
    FitDerivativeWorkspace& D = *fitWorkspace;
    FitJacobianScratch& s = fitJacobianScratch;
    const Matrix& Z = *nullSpace;
    const int zCols = Z.cols;
    const int m = getSystemSize();
    const int knotCount = freeKnots ? uKnots->countSimpleInteriorKnots() : 0;
    // Free control-point variables come first, then the null-space
    // coordinates, then the knot variables (the layout of expandUnknowns).
    const int f = std::max(freeVariables.count - knotCount, 0);

    if (s.slotSystemSize != m || static_cast<int>(s.reducedSlot.size()) != V) {
        s.reducedSlot.assign(V, -1);
        for (int e = 0; e < freeVariables.count; ++e) {
            const int v = freeVariables[e];
            if (v >= 0 && v < V)
                s.reducedSlot[v] = e < f ? e : e + zCols;
        }
        for (int r = 0; r < constrainedVariables.count && r < Z.rows; ++r) {
            const int v = constrainedVariables[r];
            if (v >= 0 && v < V)
                s.reducedSlot[v] = -2 - r;
        }
        s.slotSystemSize = m;
    }

    // The workspace is zero except where the previous point wrote.
    for (int v : s.touched)
        for (int a = 0; a <= s.touchedOrder; ++a)
            for (int b = 0; a + b <= s.touchedOrder; ++b)
                D.entries[a][b][v].fill(0.0);
    s.touched.clear();
    s.touchedOrder = o;

    // J is zero except in the columns the previous point wrote.
    if (J == nullptr) {
        J = new FitJacobianTable(o, m);
    } else if (J->order < o || J->columns != m) {
        *J = FitJacobianTable(o, m);
    } else {
        for (int e : J->written)
            for (int a = 0; a <= J->order; ++a)
                for (int b = 0; a + b <= J->order; ++b)
                    J->entries[a][b][e].fill(0.0);
    }
    J->written.clear();

    const double u = params.n > 0 ? params[0] : 0.0;
    const double v = params.n > 1 ? params[1] : 0.0;
    double W = 0.0;
    P = evaluateRationalBasis(o, u, v, P, rationalBasis, &W);
    const int nU = getUCount();
    const int nV = getVCount();
    if (W == 0.0 || nU * nV > controlNetSize)
        return;

    const int p = uKnots->p;
    const int q = vKnots->p;
    const int su = lastUSpan;
    const int sv = lastVSpan;
    const bool surface = vKnots->n != 0;
    // Highest v order of row a.
    auto lastB = [&](int a) { return surface ? o - a : 0; };

    ScalarTable Wd = {};
    VectorTable S;
    for (int a = 0; a <= o; ++a)
        for (int b = 0; b <= lastB(a); ++b) {
            Wd[a][b] = getHomogeneousDerivative(a, b)[3];
            std::copy(P[a][b].data, P[a][b].data + 3, S[a][b].x);
        }

    // The distinct control points of the span with their basis products
    // g_ab = N_a N_b (a point met twice on a short cyclic net adds up).
    s.spanPoints.clear();
    s.spanProducts.clear();
    for (int k = 0; k <= p; ++k) {
        const int i = wrapIndex(su - p + k, nU);
        for (int l = 0; l <= q; ++l) {
            const int c = i + nU * wrapIndex(sv - q + l, nV);
            auto it = std::find(s.spanPoints.begin(), s.spanPoints.end(), c);
            size_t at = it - s.spanPoints.begin();
            if (it == s.spanPoints.end()) {
                s.spanPoints.push_back(c);
                s.spanProducts.resize(s.spanProducts.size() + 9, 0.0);
            }
            double* g = s.spanProducts.data() + 9 * at;
            for (int a = 0; a <= o; ++a)
                for (int b = 0; b <= lastB(a); ++b)
                    g[3 * a + b] += s.basisU[a][k] * s.basisV[b][l];
        }
    }

    auto markTouched = [&](int var) { s.touched.push_back(var); };
    for (size_t n = 0; n < s.spanPoints.size(); ++n) {
        const int c = s.spanPoints[n];
        const double* g = s.spanProducts.data() + 9 * n;
        const Vector& Pw = controlNet.point(c);
        if (Pw.n < 4)
            continue;
        const double w = Pw[3];

        // Coordinate d of the control point: only entry d of A_ab depends on
        // it (through g_ab w); the weight function does not.
        ScalarTable X = {};
        for (int a = 0; a <= o; ++a)
            for (int b = 0; b <= lastB(a); ++b) {
                double x = g[3 * a + b] * w;
                for (int i = 0; i <= a; ++i)
                    for (int j = 0; j <= b; ++j)
                        if (i != 0 || j != 0)
                            x -= kBinomial[a][i] * kBinomial[b][j] * Wd[i][j] * X[a - i][b - j];
                X[a][b] = x / W;
            }
        for (int d = 0; d < 3; ++d) {
            const int var = 4 * c + d;
            if (var >= V || variableState[var] == 0)
                continue;
            for (int a = 0; a <= o; ++a)
                for (int b = 0; b <= lastB(a); ++b) {
                    Vector& e = D.entries[a][b][var];
                    e[d] = X[a][b];
                }
            markTouched(var);
        }

        // The weight moves both A_ab (g_ab Pc) and W_ab (g_ab).
        const int wvar = 4 * c + 3;
        if (wvar >= V || variableState[wvar] == 0)
            continue;
        double Pc[3] = {0.0, 0.0, 0.0};
        if (w != 0.0)
            for (int d = 0; d < 3; ++d)
                Pc[d] = Pw[d] / w;
        VectorTable Y;
        for (int a = 0; a <= o; ++a)
            for (int b = 0; b <= lastB(a); ++b) {
                double y[3];
                for (int d = 0; d < 3; ++d)
                    y[d] = g[3 * a + b] * Pc[d];
                for (int i = 0; i <= a; ++i)
                    for (int j = 0; j <= b; ++j) {
                        const double c2 = kBinomial[a][i] * kBinomial[b][j];
                        const double gij = g[3 * i + j];
                        const Vec3& Sr = S[a - i][b - j];
                        for (int d = 0; d < 3; ++d)
                            y[d] -= c2 * gij * Sr.x[d];
                        if (i == 0 && j == 0)
                            continue;
                        const Vec3& Yr = Y[a - i][b - j];
                        for (int d = 0; d < 3; ++d)
                            y[d] -= c2 * Wd[i][j] * Yr.x[d];
                    }
                for (int d = 0; d < 3; ++d)
                    Y[a][b].x[d] = y[d] / W;
                setVector(D.entries[a][b][wvar], Y[a][b].x);
            }
        markTouched(wvar);
    }

    // Knot variables: the basis functions move with the knots, the control
    // points stay; the sensitivities of the basis come from the knot vector.
    if (freeKnots && knotCount > 0) {
        int sk = su;
        const KnotDerivativeTable& T = uKnots->basisKnotDerivatives(u, sk);
        for (int mRel = 0; mRel <= 2 * p + 1 && mRel < T.knotCount; ++mRel) {
            const int var = getKnotUnknownIndex(sk - p + mRel);
            if (var < 0 || var >= V)
                continue;
            // H_ab: the derivative of the homogeneous A_ab (4 entries).
            double H[3][3][4] = {};
            for (int a = 0; a <= o; ++a)
                for (int b = 0; b <= lastB(a); ++b)
                    for (int k = 0; k <= p; ++k) {
                        const double t = T(k, a, mRel);
                        if (t == 0.0)
                            continue;
                        const int i = wrapIndex(sk - p + k, nU);
                        for (int l = 0; l <= q; ++l) {
                            const Vector& Pw = controlNet.point(i + nU * wrapIndex(sv - q + l, nV));
                            const double tn = t * s.basisV[b][l];
                            for (int e = 0; e < std::min(Pw.n, 4); ++e)
                                H[a][b][e] += tn * Pw[e];
                        }
                    }
            VectorTable dS;
            for (int a = 0; a <= o; ++a)
                for (int b = 0; b <= lastB(a); ++b) {
                    double y[3] = {H[a][b][0], H[a][b][1], H[a][b][2]};
                    for (int i = 0; i <= a; ++i)
                        for (int j = 0; j <= b; ++j) {
                            const double c2 = kBinomial[a][i] * kBinomial[b][j];
                            const Vec3& Sr = S[a - i][b - j];
                            for (int d = 0; d < 3; ++d)
                                y[d] -= c2 * H[i][j][3] * Sr.x[d];
                            if (i == 0 && j == 0)
                                continue;
                            const Vec3& Yr = dS[a - i][b - j];
                            for (int d = 0; d < 3; ++d)
                                y[d] -= c2 * Wd[i][j] * Yr.x[d];
                        }
                    for (int d = 0; d < 3; ++d)
                        dS[a][b].x[d] = y[d] / W;
                    setVector(D.entries[a][b][var], dS[a][b].x);
                }
            markTouched(var);
        }
    }

    // Onto the reduced variables. Free variables and knots copy their
    // derivatives; coupled variables add theirs to every null-space
    // coordinate whose column moves them.
    const auto coupled = std::partition(s.touched.begin(), s.touched.end(),
                                        [&](int var) { return s.reducedSlot[var] >= 0; });
    std::vector<int> knotSlots; // stays empty without free knots
    for (auto it = s.touched.begin(); it != coupled; ++it) {
        const int slot = s.reducedSlot[*it];
        if (slot >= m)
            continue;
        if (slot < f)
            active.append(slot);
        else
            knotSlots.push_back(slot);
        for (int a = 0; a <= o; ++a)
            for (int b = 0; b <= lastB(a); ++b)
                J->at(a, b, slot) = D.entries[a][b][*it];
    }
    // The active list ascends: free control-point variables, null-space
    // coordinates, knots.
    std::sort(active.begin(), active.end());
    std::sort(knotSlots.begin(), knotSlots.end());
    if (coupled != s.touched.end()) {
        for (int z = 0; z < zCols && f + z < m; ++z) {
            bool moved = false;
            for (auto it = coupled; it != s.touched.end(); ++it) {
                const double coefficient = Z.at(-2 - s.reducedSlot[*it], z);
                if (coefficient == 0.0)
                    continue;
                moved = true;
                for (int a = 0; a <= o; ++a)
                    for (int b = 0; b <= lastB(a); ++b)
                        J->at(a, b, f + z).addScaled(coefficient, D.entries[a][b][*it]);
            }
            if (moved)
                active.append(f + z);
        }
    }
    for (int slot : knotSlots)
        active.append(slot);
    J->written.assign(active.begin(), active.end());
}

} // namespace Fenwo
