// Newton approximation of a NURBS surface or curve to fit points: the
// linearised least-squares system per iteration (sparse rows or dense normal
// equations), its solve, the line search on the surface, and the stopping
// rules (iteration limit, error quantile, stop flag, vanishing step).

#include "foundation/Matrix.h"
#include "foundation/PointSequence.h"
#include "foundation/Profiler.h"
#include "foundation/Progress.h"
#include "geometry/FitOptions.h"
#include "geometry/NurbsSurf.h"
#include "geometry/SparseMatrix.h"
#include "geometry/SparseSolvers.h"
#include "platform/FitStopFlag.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cmath>
#include <iostream>
#include <vector>

namespace Fenwo {

namespace {

constexpr double kTiny = 1e-16;     // smallest magnitude kept in a sparse row
constexpr double kWeightTol = 1e-8; // a weight this close to 1 counts as 1
constexpr double kLambdaMin = 1e-8; // normal rows only above this weight
constexpr double kFactorEps = 2.2e-16;
constexpr double kMinMove = 1e-10; // |d| step at or below this ends the fit
constexpr double kFallbackStep = 1e-6;
// Share of the tangential term the dense Newton matrix keeps. Moving a
// control point along the surface only reparametrises it, so with the
// parameters eliminated those directions would be singular; the small share
// keeps the normal matrix positive definite without changing the step across
// the surface.
constexpr double kTangentialShare = 1e-6;

void sendNotification(FitOptions* options, Platform::FitNotification::Kind kind)
{
    if (options != nullptr && options->notification != nullptr)
        options->notification->notify(kind);
}

double dot3(const double* a, const double* b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// Inverse of the symmetric dim x dim matrix H (dim 1 or 2). False when H is
// not safely positive definite relative to the scale of G's diagonal.
bool invertPositive(int dim, const double H[2][2], double Hi[2][2])
{
    if (dim == 1) {
        if (!(H[0][0] > 1e-30))
            return false;
        Hi[0][0] = 1.0 / H[0][0];
        return true;
    }
    const double det = H[0][0] * H[1][1] - H[0][1] * H[1][0];
    if (!(H[0][0] > 1e-30) || !(H[1][1] > 1e-30) || !(det > 1e-12 * H[0][0] * H[1][1]))
        return false;
    Hi[0][0] = H[1][1] / det;
    Hi[1][1] = H[0][0] / det;
    Hi[0][1] = Hi[1][0] = -H[0][1] / det;
    return true;
}

// M = I - c T Hi T^T for the tangents T (dim of them, 3 entries each).
void projectorComplement(int dim, const double T[2][3], const double Hi[2][2], double c,
                         double M[3][3])
{
    for (int r = 0; r < 3; ++r)
        for (int s = 0; s < 3; ++s) {
            double p = 0.0;
            for (int a = 0; a < dim; ++a)
                for (int b = 0; b < dim; ++b)
                    p += T[a][r] * Hi[a][b] * T[b][s];
            M[r][s] = (r == s ? 1.0 : 0.0) - c * p;
        }
}

void identity3(double M[3][3])
{
    for (int r = 0; r < 3; ++r)
        for (int s = 0; s < 3; ++s)
            M[r][s] = r == s ? 1.0 : 0.0;
}

// Marks the one running Newton approximation. Its stop flag and the sparse
// solver's slots are process-wide, so a second run must never start while
// one is active; the fits take turns on one thread, so a check suffices
// where a lock would only hide the fault.
class SingleRunGuard {
public:
    SingleRunGuard()
    {
        [[maybe_unused]] const bool wasActive = running().exchange(true);
        assert(!wasActive && "a second Newton approximation started while one is running");
    }
    ~SingleRunGuard() { running() = false; }
    SingleRunGuard(const SingleRunGuard&) = delete;
    SingleRunGuard& operator=(const SingleRunGuard&) = delete;

private:
    static std::atomic<bool>& running()
    {
        static std::atomic<bool> flag{false};
        return flag;
    }
};

} // namespace

void NurbsSurf::newtonApproximation(IndexSubset<CFitPoint>& points, int /*unused*/,
                                    int maxIterations, bool doubleSparseBudget, bool sparse,
                                    int mode, FitOptions* options, double lambda, double dTol,
                                    double q)
{
    if (points.count == 0 || maxIterations <= 0)
        return;
    const SingleRunGuard guard;
    if (!prepareFitWorkspace()) {
        std::cout << "something with the constraints is wrong." << std::endl;
        sendNotification(options, Platform::FitNotification::FitEnded);
        return;
    }
    const int m = getSystemSize();
    if (m <= 0) {
        sendNotification(options, Platform::FitNotification::FitEnded);
        return;
    }
    CSimpleProfiler profiler("newtonApproximation");

    const int N = points.count;
    const bool surface = vKnots != nullptr && vKnots->n > 0;
    const int dim = surface ? 2 : 1;
    const int pu = uKnots != nullptr ? uKnots->p : 0;
    const int pv = surface ? vKnots->p : 0;
    const int k = (pu + 1) * (pv + 1);

    // Normal-alignment rows: one block of dim rows per point with a normal.
    const bool useNormals = lambda > kLambdaMin;
    const double lambdaEff = useNormals ? lambda : 0.0;
    std::vector<int> normalSlot(N, -1);
    int normalCount = 0;
    if (useNormals)
        for (int s = 0; s < N; ++s)
            if (points[s].Normal.n >= 3)
                normalSlot[s] = normalCount++;

    int effMode = 0;
    if (mode == 2 || normalCount > 0)
        effMode = 2;
    else if (mode == 1)
        effMode = 1;
    // Derivative order of the point evaluation: tangents for the parameter
    // elimination and the normal rows, second derivatives for the curvature
    // terms of the dense Newton matrix.
    int order = 0;
    if (effMode >= 1 || normalCount > 0)
        order = 1;
    if (!sparse && effMode == 2)
        order = 2;

    const int rowCount = 3 * N + normalCount * dim;
    std::unique_ptr<SparseMatrix> A;
    Vector b;
    Matrix normalMatrix;
    Vector rhs;
    if (sparse) {
        A = std::make_unique<SparseMatrix>(rowCount, m);
        const int reserve = std::min(m, 4 * k);
        for (int r = 0; r < rowCount; ++r)
            (*A)[r].reserve(reserve);
        b.resize(rowCount);
    } else {
        rhs.resize(m);
    }

    double step = 1.0;
    double damping = 1.0;
    int budget = 3 * k / 2;
    if (doubleSparseBudget)
        budget *= 2;
    budget = std::max(budget, 4);

    for (int s = 0; s < N; ++s)
        points[s].uv2 = points[s].uv;
    Platform::resetFitStopFlag();

    Vector** P = nullptr;
    FitJacobianTable* J = nullptr;
    Kor::Array<int> active;
    Vector params(2);
    std::vector<double> rowValues;  // per active variable, scratch
    std::vector<double> normalRows; // dim x active, scratch
    std::vector<double> da;         // 3 x active: d S / d y
    std::vector<double> Mda;        // 3 x active: M d S / d y
    Vector d(m);

    int iteration = 0;
    for (;;) {
        if (options != nullptr && options->notification != nullptr &&
            options->notification->cancel.load())
            Platform::setFitStopFlag(1);

        // ---- Linearisation at the current surface and parameters ----
        double distSum = 0.0;
        double normalRaw = 0.0;
        bool stopped = false;
        if (sparse) {
            for (int r = 0; r < rowCount; ++r)
                (*A)[r].clear();
            b.fill(0.0);
        } else {
            normalMatrix.resize(m, SymmetricMatrix);
            rhs.fill(0.0);
        }
        if (progress != nullptr)
            progress->begin(0, N);

        for (int s = 0; s < N; ++s) {
            if (Platform::fitStopRequested()) {
                stopped = true;
                break;
            }
            CFitPoint& fp = points[s];
            if (fp.uv.n >= 1 && fp.Point.n >= 3) {
                params[0] = fp.uv[0];
                params[1] = fp.uv.n > 1 ? fp.uv[1] : 0.0;
                evaluateFitJacobian(params, P, J, active, order);
                const int na = active.count;

                double r[3];
                for (int c = 0; c < 3; ++c)
                    r[c] = fp.Point[c] - P[0][0][c];
                const double d2 = dot3(r, r);
                fp.dist2 = d2;
                const bool weighted = std::fabs(fp.weight - 1.0) >= kWeightTol;
                distSum += weighted ? fp.weight * d2 : d2;
                // Rows carry sqrt(weight) so that the squared residuals are
                // the weighted distances the line search measures.
                const double sw = weighted ? std::sqrt(std::max(fp.weight, 0.0)) : 1.0;

                double T[2][3] = {{0, 0, 0}, {0, 0, 0}};
                if (order >= 1) {
                    for (int c = 0; c < 3; ++c) {
                        T[0][c] = P[1][0][c];
                        if (surface)
                            T[1][c] = P[0][1][c];
                    }
                }

                // Row transform: with the parameters eliminated (modes 1, 2)
                // only the part of a control-point move across the surface
                // changes the distance to the foot point; the tangential part
                // is taken up by the parameters.
                double M[3][3];
                identity3(M);
                if (effMode >= 1) {
                    double G[2][2] = {{0, 0}, {0, 0}};
                    for (int a = 0; a < dim; ++a)
                        for (int c = 0; c < dim; ++c)
                            G[a][c] = dot3(T[a], T[c]);
                    double Gi[2][2];
                    if (invertPositive(dim, G, Gi)) {
                        if (sparse) {
                            // The damping scales the tangential projection: short
                            // steps lead back towards plain Gauss-Newton rows.
                            projectorComplement(dim, T, Gi, damping, M);
                        } else {
                            double H[2][2] = {{G[0][0], G[0][1]}, {G[1][0], G[1][1]}};
                            bool curvature = false;
                            if (effMode == 2) {
                                // Curvature term r . S_ab of the parameter Hessian,
                                // taken where it keeps the point's contribution
                                // positive semi-definite (-C >= 0).
                                double C[2][2] = {{0, 0}, {0, 0}};
                                C[0][0] = dot3(r, &P[2][0][0]);
                                if (surface) {
                                    C[0][1] = C[1][0] = dot3(r, &P[1][1][0]);
                                    C[1][1] = dot3(r, &P[0][2][0]);
                                }
                                const bool negative =
                                    dim == 1 ? C[0][0] <= 0.0
                                             : (C[0][0] <= 0.0 && C[1][1] <= 0.0 &&
                                                C[0][0] * C[1][1] - C[0][1] * C[1][0] >= 0.0);
                                if (negative) {
                                    for (int a = 0; a < dim; ++a)
                                        for (int c = 0; c < dim; ++c)
                                            H[a][c] -= C[a][c];
                                    double Hi[2][2];
                                    if (invertPositive(dim, H, Hi)) {
                                        projectorComplement(dim, T, Hi, 1.0 - kTangentialShare, M);
                                        curvature = true;
                                    }
                                }
                            }
                            if (!curvature)
                                projectorComplement(dim, T, Gi, 1.0 - kTangentialShare, M);
                        }
                    }
                }

                da.assign(3 * static_cast<size_t>(na), 0.0);
                Mda.assign(3 * static_cast<size_t>(na), 0.0);
                for (int t = 0; t < na; ++t) {
                    const Vector& D = J->at(0, 0, active[t]);
                    for (int c = 0; c < 3; ++c)
                        da[3 * t + c] = D[c];
                    for (int c = 0; c < 3; ++c)
                        Mda[3 * t + c] = M[c][0] * D[0] + M[c][1] * D[1] + M[c][2] * D[2];
                }
                double Mr[3];
                for (int c = 0; c < 3; ++c)
                    Mr[c] = M[c][0] * r[0] + M[c][1] * r[1] + M[c][2] * r[2];

                // Normal-alignment residuals lambda n . unit(S_e) and their
                // derivatives lambda n . (dS_e - t (t . dS_e)) / |S_e|.
                const int slot = normalSlot[s];
                double normalRes[2] = {0.0, 0.0};
                if (slot >= 0) {
                    normalRows.assign(static_cast<size_t>(dim) * na, 0.0);
                    const double* n = &fp.Normal[0];
                    for (int e = 0; e < dim; ++e) {
                        const double len = std::sqrt(dot3(T[e], T[e]));
                        if (len <= 0.0)
                            continue;
                        double t[3];
                        for (int c = 0; c < 3; ++c)
                            t[c] = T[e][c] / len;
                        const double ct = dot3(n, t);
                        normalRaw += ct * ct;
                        normalRes[e] = lambda * ct;
                        for (int a = 0; a < na; ++a) {
                            const Vector& D = J->at(e == 0 ? 1 : 0, e == 0 ? 0 : 1, active[a]);
                            const double tD = t[0] * D[0] + t[1] * D[1] + t[2] * D[2];
                            double nd = 0.0;
                            for (int c = 0; c < 3; ++c)
                                nd += n[c] * (D[c] - t[c] * tD);
                            normalRows[static_cast<size_t>(e) * na + a] = lambda * nd / len;
                        }
                    }
                }

                if (sparse) {
                    for (int c = 0; c < 3; ++c) {
                        SparseMatrixRow& row = (*A)[3 * s + c];
                        for (int a = 0; a < na; ++a) {
                            const double v = sw * Mda[3 * a + c];
                            if (std::fabs(v) > kTiny)
                                row.append(active[a], v);
                        }
                        b[3 * s + c] = sw * Mr[c];
                    }
                    if (slot >= 0)
                        for (int e = 0; e < dim; ++e) {
                            const int ri = 3 * N + slot * dim + e;
                            SparseMatrixRow& row = (*A)[ri];
                            for (int a = 0; a < na; ++a) {
                                const double v = normalRows[static_cast<size_t>(e) * na + a];
                                if (std::fabs(v) > kTiny)
                                    row.append(active[a], v);
                            }
                            // A full step drives the residual to zero.
                            b[ri] = -normalRes[e];
                        }
                } else {
                    const double w2 = sw * sw;
                    for (int a = 0; a < na; ++a) {
                        const int ea = active[a];
                        for (int c2 = 0; c2 <= a; ++c2) {
                            const double v = da[3 * a] * Mda[3 * c2] +
                                             da[3 * a + 1] * Mda[3 * c2 + 1] +
                                             da[3 * a + 2] * Mda[3 * c2 + 2];
                            normalMatrix.at(ea, active[c2]) += w2 * v;
                        }
                        rhs[ea] += w2 * dot3(&da[3 * a], Mr);
                    }
                    if (slot >= 0)
                        for (int e = 0; e < dim; ++e) {
                            const double* nr = &normalRows[static_cast<size_t>(e) * na];
                            for (int a = 0; a < na; ++a) {
                                for (int c2 = 0; c2 <= a; ++c2)
                                    normalMatrix.at(active[a], active[c2]) += nr[a] * nr[c2];
                                rhs[active[a]] -= nr[a] * normalRes[e];
                            }
                        }
                }
            }
            if (progress != nullptr) {
                progress->step(1);
                if (progress->isCancelled()) {
                    iteration = maxIterations;
                    Platform::setFitStopFlag(1);
                }
            }
        }
        // A stop inside the sample loop ends the fit; the surface keeps the
        // state of the last accepted step.
        if (stopped)
            break;
        const double normalSum = lambdaEff * lambdaEff * normalRaw;

        // ---- Direction ----
        d.fill(0.0);
        double gd = 0.0;
        bool solveOk = true;
        Matrix unfactored;
        double trace = 0.0;
        double maxDiag = 0.0;
        if (sparse) {
            if (step < 0.5) {
                damping *= 0.98;
                budget = budget * 4 / 7;
            } else if (iteration > 0) {
                damping = 1.0;
                budget = budget * 7 / 5;
            }
            budget = std::clamp(budget, k / 2, 5 * k);
            budget = std::max(budget, 4);
            const double bNorm = norm(b);
            const double firstResidual = 0.5 * bNorm * bNorm;
            if (2.0 * firstResidual > 1.05 * (distSum + normalSum) && firstResidual > kFactorEps) {
                std::cout << "**something is very wrong !! norm(b)=" << bNorm << " Norm(x) " << 0.0
                          << " Norm(res) " << firstResidual << std::endl;
            }
            sparseLScg(A.get(), &b, &d, budget, 0, 0.0, 0, nullptr);
            if (progress != nullptr && progress->isCancelled())
                Platform::setFitStopFlag(1);
            const Vector g = multiplyTransposed(b, *A);
            gd = dot(g, d);
        } else {
            for (int i = 0; i < m; ++i) {
                const double v = normalMatrix.at(i, i);
                trace += v;
                maxDiag = std::max(maxDiag, v);
            }
            if (effMode != 0)
                unfactored = normalMatrix;
            // A long factorisation polls the progress sink; a cancel there
            // leaves no direction and ends the fit.
            normalMatrix.progress = progress;
            const int result = normalMatrix.factorize(1, kFactorEps);
            if (progress != nullptr && progress->isCancelled())
                Platform::setFitStopFlag(1);
            solveOk = result == FactorizeDone;
            if ((result == FactorizeDone || result == FactorizeRegularized) &&
                normalMatrix.solve(d, rhs)) {
                gd = dot(rhs, d);
            } else {
                std::cerr << "Matrix is Singular" << std::endl;
                solveOk = false;
                d.fill(0.0);
            }
        }

        // ---- Line search: the surface moves by step * d ----
        for (int s = 0; s < N; ++s)
            points[s].uv2 = points[s].uv;
        double scale = distSum / N;
        double fNew = distSum;
        double pNew = normalSum;
        double f0 = distSum;
        Vector negD = d;
        negD *= -1.0;
        step = newtonLineSearch(negD, 1.0, points, &f0, &scale, -2.0 * gd, &fNew, 0, &pNew,
                                lambdaEff, normalSum);

        // ---- Dense fallback: a regularised Newton matrix when no step helped ----
        if (!sparse && effMode != 0 && std::fabs(step) < kFallbackStep && unfactored.rows == m) {
            const double shift = (trace / m + maxDiag) * 1e-5 * 0.5;
            for (int i = 0; i < m; ++i)
                unfactored.at(i, i) += shift;
            Vector d2(m);
            const int result = unfactored.factorize(1, kFactorEps);
            if ((result == FactorizeDone || result == FactorizeRegularized) &&
                unfactored.solve(d2, rhs)) {
                for (int i = 0; i < m; ++i)
                    d[i] = step * d[i] + (1.0 - step) * d2[i];
                gd = dot(rhs, d);
                negD = d;
                negD *= -1.0;
                double f1 = fNew;
                double p1 = pNew;
                step = newtonLineSearch(negD, 0.5, points, &f1, &scale, -2.0 * gd, &fNew, 0, &pNew,
                                        lambdaEff, p1);
            }
        }
        for (int s = 0; s < N; ++s)
            points[s].AbsErr = std::sqrt(std::max(points[s].dist2, 0.0));

        // ---- Error target ----
        if (q > 0.0) {
            const double e = errorQuantile(points, q);
            if (e < dTol) {
                std::cout << "q-quantile q=" << q << " dTol = " << dTol
                          << " reached with value=" << e << std::endl;
                Platform::setFitStopFlag(1);
            }
        }

        ++iteration;
        const bool stop = Platform::fitStopRequested();
        const bool improved = solveOk && fNew <= distSum && pNew <= normalSum;
        if (!improved) {
            if (iteration < maxIterations && step > 0.0 && !stop)
                continue;
        } else {
            sendNotification(options, Platform::FitNotification::IterationImproved);
        }
        if (iteration >= maxIterations || norm(d) * std::fabs(step) <= kMinMove ||
            Platform::fitStopRequested())
            break;
    }

    if (P != nullptr)
        freeDerivativeTable(P, order);
    delete J;
    // The workspace holds 3-vectors per fit variable that the next fit
    // makes anew: a fitted curve of n points would keep several per point.
    releaseFitScratch();
    sendNotification(options, Platform::FitNotification::FitEnded);
}

} // namespace Fenwo
