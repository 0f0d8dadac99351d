// Null space of a surface's constraint equations, the derivative workspace of
// the constrained Newton fit, and the interpolation of fit points on a given
// knot vector.
//
// The constraints restrict increments of the fit variables (homogeneous
// equations). Variables that no equation mentions stay free, variables that
// a single equation of their own pins are fixed, and the rest are coupled:
// their admissible increments are the span of an orthonormal basis Z of the
// null space of the remaining equations, taken from the Householder QR of
// the transposed constraint matrix.
#include "foundation/KorList.h"
#include "geometry/NurbsSurf.h"
#include "geometry/SparseLinearEquation.h"
#include "geometry/SparseMatrix.h"
#include "geometry/SparseSolvers.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <vector>

namespace Fenwo {

namespace {

// A Z row whose entries are all at most this large belongs to a variable
// that the equations pin down.
constexpr double kPinnedRowTolerance = 1e-16;
// Column norms below this count as linearly dependent in the QR.
constexpr double kRankTolerance = 1e-10;

bool rowIsPinned(const Matrix& Z, int r)
{
    for (int c = 0; c < Z.cols; ++c)
        if (std::fabs(Z.at(r, c)) > kPinnedRowTolerance)
            return false;
    return true;
}

} // namespace

NurbsSurf::FitJacobianTable::FitJacobianTable(int o, int m)
    : order(std::clamp(o, 0, 2)), columns(std::max(m, 0))
{
    for (int a = 0; a <= order; ++a)
        for (int b = 0; a + b <= order; ++b)
            entries[a][b].assign(columns, Vector(3));
}

Matrix* NurbsSurf::buildConstraintNullSpace()
{
    if (nullSpace != nullptr)
        return nullSpace.get();

    const int N = getUCount() * getVCount();
    const int U = 4 * N;
    Kor::List<CSparseLinearEquation> eqs;
    addConstraintEquations(eqs);
    fixedVariables.count = 0;
    freeVariables.count = 0;
    constrainedVariables.count = 0;
    // The variable slots of the Jacobian describe the previous classification.
    fitJacobianScratch.reducedSlot.clear();
    fitJacobianScratch.slotSystemSize = -1;

    // How many equations mention each variable. Cells outside the control
    // net's variables name nothing the fit can move and are ignored.
    std::vector<int> occurrences(U, 0);
    for (const CSparseLinearEquation& eq : eqs)
        for (int k = 0; k < eq.row.getCellCount(); ++k) {
            const int v = eq.row.cellAt(k).index;
            if (v >= 0 && v < U)
                ++occurrences[v];
        }

    // A single-cell equation on a variable that no other equation mentions
    // just fixes that variable; it never enters the dense system.
    std::vector<char> isFixed(U, 0);
    std::vector<char> equationSettled(eqs.count, 0);
    for (int e = 0; e < eqs.count; ++e) {
        const CSparseNumericVector<double>& row = eqs[e].row;
        if (row.getCellCount() != 1)
            continue;
        const int v = row.cellAt(0).index;
        if (v < 0 || v >= U || occurrences[v] != 1)
            continue;
        fixedVariables.append(v);
        isFixed[v] = 1;
        equationSettled[e] = 1;
    }
    for (int v = 0; v < U; ++v)
        if (occurrences[v] == 0)
            freeVariables.append(v);

    // The remaining equations couple the remaining variables: A holds one row
    // per such variable and one column per equation (the transposed
    // constraint matrix), so that the null space of A^T is the complement of
    // A's column space.
    std::vector<int> rowOfVariable(U, -1);
    for (int v = 0; v < U; ++v)
        if (occurrences[v] > 0 && !isFixed[v]) {
            rowOfVariable[v] = constrainedVariables.count;
            constrainedVariables.append(v);
        }
    std::vector<int> keptEquations;
    for (int e = 0; e < eqs.count; ++e)
        if (!equationSettled[e])
            keptEquations.push_back(e);
    const int rows = constrainedVariables.count;
    const int E = static_cast<int>(keptEquations.size());

    std::unique_ptr<Matrix> Z;
    if (rows > 0) {
        Matrix A(rows, E);
        for (int c = 0; c < E; ++c) {
            const CSparseNumericVector<double>& row = eqs[keptEquations[c]].row;
            for (int k = 0; k < row.getCellCount(); ++k) {
                const CSparseCell<double>& cell = row.cellAt(k);
                if (cell.index >= 0 && cell.index < U)
                    A.at(rowOfVariable[cell.index], c) = cell.value;
            }
        }
        if (E > 0) {
            const int before = A.cols;
            if (A.factorize(2, kRankTolerance) == FactorizeColumnsRemoved)
                std::cout << "loss of rank " << before - A.cols << " columns from " << before
                          << " columns " << std::endl;
            Z.reset(A.computeZ());
        } else {
            // No equation left on them: every direction is admissible.
            Z = std::make_unique<Matrix>(rows, rows);
            for (int r = 0; r < rows; ++r)
                Z->at(r, r) = 1.0;
        }
    }

    // Variables whose Z row vanishes cannot move: they join the fixed ones,
    // and Z keeps only the rows of variables that still move.
    std::vector<int> keptRows;
    std::vector<char> pinned(rows, 1);
    if (Z != nullptr && Z->rows == rows && Z->cols > 0) {
        for (int r = 0; r < rows; ++r)
            if (!rowIsPinned(*Z, r)) {
                keptRows.push_back(r);
                pinned[r] = 0;
            }
    }
    for (int r = rows - 1; r >= 0; --r)
        if (pinned[r])
            fixedVariables.append(constrainedVariables[r]);
    const int dof = keptRows.empty() ? 0 : Z->cols;
    auto compact = std::make_unique<Matrix>();
    if (!keptRows.empty()) {
        compact = std::make_unique<Matrix>(static_cast<int>(keptRows.size()), dof);
        for (int r = 0; r < static_cast<int>(keptRows.size()); ++r) {
            for (int c = 0; c < dof; ++c)
                compact->at(r, c) = Z->at(keptRows[r], c);
            constrainedVariables[r] = constrainedVariables[keptRows[r]];
        }
    }
    constrainedVariables.count = static_cast<int>(keptRows.size());

    const int knotCount = freeKnots ? uKnots->countSimpleInteriorKnots() : 0;
    for (int k = 0; k < knotCount; ++k)
        freeVariables.append(U + k);

    variableState.count = 0;
    for (int v = 0; v < U + knotCount; ++v)
        variableState.append(0);
    for (int v : freeVariables)
        variableState[v] = 1;
    for (int v : constrainedVariables)
        variableState[v] = 2;

    nullSpace = std::move(compact);
    return nullSpace.get();
}

bool NurbsSurf::prepareFitWorkspace()
{
    const int V = countUnknowns();
    fitWorkspace = std::make_unique<FitDerivativeWorkspace>();
    fitWorkspace->variableCount = V;
    // The fit evaluates derivatives up to order 2 (evaluateFitJacobian).
    for (int a = 0; a <= 2; ++a)
        for (int b = 0; a + b <= 2; ++b)
            fitWorkspace->entries[a][b].assign(V, Vector(3));
    fitJacobianScratch.touched.clear();
    fitJacobianScratch.touchedOrder = -1;
    // A null space built before freeKnots changed describes other variables.
    if (nullSpace != nullptr && variableState.count != V)
        nullSpace.reset();
    if (nullSpace == nullptr)
        buildConstraintNullSpace();
    return nullSpace != nullptr;
}

} // namespace Fenwo

namespace {

// Solves the square collocation system A x = b for the three right-hand
// sides directly, where each row's entries lie in one band of columns that
// moves along with the rows (the points in order along an open curve): a
// B-spline collocation matrix is totally positive, so the elimination needs
// no pivoting, and it costs the rows times the band's width squared, where
// an iterative solve of a long curve's thousands of points takes as many
// steps as the band needs to carry a change along it. False, with nothing
// solved, for rows that wrap round (a closed curve) or run back, a band
// wider than the degree asks, or a pivot that vanishes.
bool solveBanded(const SparseMatrix& A, const Vector* const rhs[3], Vector* const solution[3])
{
    const int n = A.rows;
    if (n <= 0 || A.columns != n)
        return false;
    std::vector<int> first(std::size_t(n), 0), last(std::size_t(n), 0);
    int below = 0, above = 0;
    for (int m = 0; m < n; ++m) {
        const SparseMatrixRow& row = A[m];
        if (row.count <= 0)
            return false;
        int lo = n, hi = -1;
        for (int q = 0; q < row.count; ++q) {
            lo = std::min(lo, row.columnIndices[q]);
            hi = std::max(hi, row.columnIndices[q]);
        }
        if (hi - lo >= 8 || (m > 0 && lo < first[std::size_t(m) - 1]))
            return false;
        first[std::size_t(m)] = lo;
        last[std::size_t(m)] = hi;
        below = std::max(below, m - lo);
        above = std::max(above, hi - m);
    }
    if (below > 8 || above > 8)
        return false;
    // The band, row m's column c at band[m][c - m + below]; as wide as the
    // elimination fills it.
    const int width = below + above + 1;
    std::vector<double> band(std::size_t(n) * std::size_t(width), 0.0);
    const auto at = [&](int m, int c) -> double& {
        return band[std::size_t(m) * std::size_t(width) + std::size_t(c - m + below)];
    };
    for (int m = 0; m < n; ++m)
        for (int q = 0; q < A[m].count; ++q)
            at(m, A[m].columnIndices[q]) += A[m].values[q];
    std::vector<double> b[3];
    for (int c = 0; c < 3; ++c)
        b[c].assign(rhs[c]->data, rhs[c]->data + n);
    double scale = 0.0;
    for (const double v : band)
        scale = std::max(scale, std::fabs(v));
    for (int k = 0; k < n; ++k) {
        const double pivot = at(k, k);
        if (!(std::fabs(pivot) > 1e-12 * scale))
            return false;
        for (int m = k + 1; m <= std::min(n - 1, k + below); ++m) {
            if (first[std::size_t(m)] > k)
                break;
            const double factor = at(m, k) / pivot;
            if (factor == 0.0)
                continue;
            for (int c = k; c <= std::min(n - 1, k + above); ++c)
                at(m, c) -= factor * at(k, c);
            for (int d = 0; d < 3; ++d)
                b[d][std::size_t(m)] -= factor * b[d][std::size_t(k)];
        }
    }
    for (int d = 0; d < 3; ++d) {
        Vector& x = *solution[d];
        for (int k = n - 1; k >= 0; --k) {
            double sum = b[d][std::size_t(k)];
            for (int c = k + 1; c <= std::min(n - 1, k + above); ++c)
                sum -= at(k, c) * x[c];
            x[k] = sum / at(k, k);
            if (!std::isfinite(x[k]))
                return false;
        }
    }
    return true;
}

} // namespace

Fenwo::NurbsSurf* interpolateWithKnots(const knots& k, const IndexSubset<CFitPoint>& pts)
{
    const int n = pts.count;
    if (n <= 0 || k.getControlPointCount() != n)
        return nullptr;
    // The basis evaluation writes into the knot vector's work arrays.
    knots basis(k);
    const int p = basis.p;
    SparseMatrix A(n, n);
    Vector bx(n), by(n), bz(n);
    for (int m = 0; m < n; ++m) {
        const CFitPoint& fp = pts[m];
        if (fp.uv.n < 1)
            return nullptr;
        double t = fp.uv[0];
        const int s = basis.clampToKnots(t);
        const Vector& N = basis.basisFunctions(s, t);
        // The modulo wraps the last rows of a cyclic vector onto its first
        // control points.
        A[m].reserve(p + 1);
        for (int q = 0; q <= p; ++q)
            A[m].append(((s - p + q) % n + n) % n, N[q]);
        bx[m] = fp.Point.n > 0 ? fp.Point[0] : 0.0;
        by[m] = fp.Point.n > 1 ? fp.Point[1] : 0.0;
        bz[m] = fp.Point.n > 2 ? fp.Point[2] : 0.0;
    }

    Vector x(bx), y(by), z(bz);
    const Vector* rhs[3] = {&bx, &by, &bz};
    Vector* solution[3] = {&x, &y, &z};
    if (!solveBanded(A, rhs, solution)) {
        const char* names[3] = {"resx too large:", "resy too large:", "resz too large:"};
        for (int c = 0; c < 3; ++c) {
            const double f = sparseLScg(&A, rhs[c], solution[c], 3 * n, 0, 0.0, 0, nullptr);
            if (!(f <= 1.0)) {
                std::cout << names[c] << f << std::endl;
                return nullptr;
            }
        }
    }

    auto* curve = new Fenwo::NurbsSurf(k, nullptr);
    const int count = curve->getUCount();
    for (int i = 0; i < count && i < n; ++i)
        curve->setControlPoint(i, 0, Vector(x[i], y[i], z[i]), 1.0);
    return curve;
}
