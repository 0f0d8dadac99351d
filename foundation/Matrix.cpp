// Dense matrix: storage, products, Householder QR, LDLt, LLt, solves, null
// space, eigenvalue iterations and dense conjugate gradients.
#include "foundation/Matrix.h"

#include "foundation/Progress.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <utility>

namespace {

// Pivot that replaces a singular one under regularisation: the fourth root of
// the smallest subnormal double, so that its square and the products formed
// with it in the solves stay representable.
constexpr double kTinyPivot = 1.4908919308538355e-81;
// LDLt pivot threshold; fixed, independent of the caller's eps.
constexpr double kLdltPivotThreshold = 1e-16;

// y[i] += s * x[i], i < n. The inner loop of the Householder and Cholesky
// updates; built twice on x86-64 with GCC, for processors with four-lane
// vectors and for all others (each element's product and sum are the same in
// both).
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
[[gnu::target_clones("avx2", "default")]]
#endif
void addScaledRange(double* y, double s, const double* x, int n)
{
    int i = 0;
    for (; i + 3 < n; i += 4) {
        y[i] += s * x[i];
        y[i + 1] += s * x[i + 1];
        y[i + 2] += s * x[i + 2];
        y[i + 3] += s * x[i + 3];
    }
    for (; i < n; ++i)
        y[i] += s * x[i];
}

// -sgn(a) with sgn(0) = +1: the sign of the Householder alpha that avoids
// cancellation in a_kk - alpha.
double householderSign(double a)
{
    return a >= 0.0 ? -1.0 : 1.0;
}

} // namespace

// ---------------------------------------------------------------------------
// Construction and storage

Matrix::Matrix(int rows, int cols)
{
    build(rows, cols, FullMatrix);
}

Matrix::Matrix(int n, MatrixType type)
{
    build(n, n, type);
}

Matrix::Matrix(const Matrix& other)
    : singularColumn(other.singularColumn), progress(other.progress), type(other.type),
      solveMethod(other.solveMethod), zero(0.0), rows(other.rows), cols(other.cols),
      beta(other.beta), diag(other.diag), work(other.work), work2(other.work2),
      removedColumns(other.removedColumns), factorFailed(other.factorFailed),
      factoredSteps(other.factoredSteps), lastFactorizeResult(other.lastFactorizeResult)
{
    int count = other.storedRowCount();
    if (other.rowData && count > 0) {
        rowData = std::make_unique<Vector[]>(count);
        for (int i = 0; i < count; ++i)
            rowData[i] = other.rowData[i];
    }
}

Matrix::Matrix(Matrix&& other) noexcept
{
    swap(other);
}

Matrix& Matrix::operator=(const Matrix& other)
{
    if (this != &other) {
        Matrix copy(other);
        swap(copy);
    }
    return *this;
}

Matrix& Matrix::operator=(Matrix&& other) noexcept
{
    if (this != &other) {
        Matrix taken(std::move(other));
        swap(taken);
    }
    return *this;
}

void Matrix::swap(Matrix& other) noexcept
{
    using std::swap;
    swap(singularColumn, other.singularColumn);
    swap(progress, other.progress);
    swap(type, other.type);
    swap(solveMethod, other.solveMethod);
    swap(zero, other.zero);
    swap(rows, other.rows);
    swap(cols, other.cols);
    swap(rowData, other.rowData);
    swap(beta, other.beta);
    swap(diag, other.diag);
    swap(work, other.work);
    swap(work2, other.work2);
    swap(removedColumns, other.removedColumns);
    swap(factorFailed, other.factorFailed);
    swap(factoredSteps, other.factoredSteps);
    swap(lastFactorizeResult, other.lastFactorizeResult);
}

void Matrix::resize(int newRows, int newCols)
{
    build(newRows, newCols, FullMatrix);
}

void Matrix::resize(int n, MatrixType newType)
{
    build(n, n, newType);
}

int Matrix::storedRowCount() const
{
    if (!rowData)
        return 0;
    return type == DiagonalMatrix ? 1 : rows;
}

// Releases everything and rebuilds an unfactorised zero matrix.
void Matrix::build(int newRows, int newCols, int newType)
{
    rowData.reset();
    removedColumns.clear();
    singularColumn = -1;
    solveMethod = NoSolveMethod;
    factorFailed = false;
    factoredSteps = 0;
    lastFactorizeResult = -1;
    zero = 0.0;
    newRows = std::max(newRows, 0);
    newCols = std::max(newCols, 0);

    if (newType < FullMatrix || newType > SymmetricLLtMatrix) {
        std::cerr << "unknown Matrix-type" << std::endl;
        type = 0;
        rows = cols = 0;
        beta.resize(0, true);
        diag.resize(0, true);
        work.resize(0, true);
        work2.resize(0, true);
        return;
    }

    type = newType;
    rows = newRows;
    cols = newCols;
    const int m = std::min(rows, cols);
    beta.resize(m, true);
    diag.resize(m, true);
    work.resize(rows, true);
    work2.resize(cols, true);
    if (rows == 0 || cols == 0)
        return;

    if (type == DiagonalMatrix) {
        rowData = std::make_unique<Vector[]>(1);
        rowData[0].resize(rows);
    } else {
        rowData = std::make_unique<Vector[]>(rows);
        for (int i = 0; i < rows; ++i)
            rowData[i].resize(type == FullMatrix ? cols : i + 1);
    }
}

bool Matrix::removeRow(int row)
{
    if (type == FullMatrix && solveMethod == NoSolveMethod && row >= 0 && row < rows) {
        if (rowData)
            for (int i = row; i + 1 < rows; ++i)
                std::swap(rowData[i], rowData[i + 1]);
        --rows;
        return true;
    }
    const Vector noRow;
    std::cerr << "tried to delete row " << (rowData && rows > 0 ? rowData[0] : noRow)
              << " impossible on matrix" << std::endl;
    return false;
}

// ---------------------------------------------------------------------------
// Products

double Matrix::columnDot(int fromRow, int c1, int c2) const
{
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
    int r = std::max(fromRow, 0);
    for (; r + 3 < rows; r += 4) {
        s0 += rowData[r][c1] * rowData[r][c2];
        s1 += rowData[r + 1][c1] * rowData[r + 1][c2];
        s2 += rowData[r + 2][c1] * rowData[r + 2][c2];
        s3 += rowData[r + 3][c1] * rowData[r + 3][c2];
    }
    for (; r < rows; ++r)
        s0 += rowData[r][c1] * rowData[r][c2];
    return (s0 + s1) + (s2 + s3);
}

Vector& Matrix::multiply(const Vector& x, Vector& y) const
{
    // Entries the matrix reads beyond x's length count as zero.
    const int needed = type == FullMatrix ? cols : rows;
    const Vector* input = &x;
    Vector padded;
    if (x.n < needed) {
        padded = Vector(needed);
        for (int i = 0; i < x.n; ++i)
            padded[i] = x[i];
        input = &padded;
    }

    if (&x == &y) {
        std::cout << " A*x will go wron!" << std::endl;
        Vector result;
        if (multiplyInto(*input, result))
            y = std::move(result);
        return y;
    }
    multiplyInto(*input, y);
    return y;
}

// y = A x for x of sufficient length, x and y distinct. False, y untouched,
// for a type without a product.
bool Matrix::multiplyInto(const Vector& x, Vector& y) const
{
    const bool symmetricFactor =
        (type == SymmetricMatrix || type == SymmetricLLtMatrix || type == FactorizedMatrix) &&
        (solveMethod == LLt || solveMethod == LDLt);

    if (type == FullMatrix) {
        y.resize(rows);
        if (!rowData) { // no columns
            y.fill(0.0);
            return true;
        }
        if (solveMethod != HouseholderQR) {
            for (int i = 0; i < rows; ++i)
                y[i] = dotRange(rowData[i].data, x.data, cols);
            return true;
        }
        // y = H_0 ... H_{f-1} M x, M holding R in its first f rows and the
        // not yet reduced block (rows and columns from f on) when the
        // factorisation stopped early.
        const int f = factoredSteps;
        for (int i = 0; i < rows; ++i) {
            const double* Ai = rowData[i].data;
            if (i < f)
                y[i] = diag[i] * x[i] + dotRange(Ai + i + 1, x.data + i + 1, cols - i - 1);
            else
                y[i] = dotRange(Ai + f, x.data + f, cols - f);
        }
        for (int k = f - 1; k >= 0; --k) {
            double s = 0.0;
            for (int r = k; r < rows; ++r)
                s += rowData[r][k] * y[r];
            s *= beta[k];
            if (s != 0.0)
                for (int r = k; r < rows; ++r)
                    y[r] -= s * rowData[r][k];
        }
        return true;
    }
    if (symmetricFactor) {
        multiplySymmetricFactor(x, y);
        return true;
    }
    if (type == SymmetricMatrix || type == SymmetricLLtMatrix) {
        y.resize(rows);
        y.fill(0.0);
        for (int i = 0; i < rows; ++i) {
            const double* Ai = rowData[i].data;
            y[i] += dotRange(Ai, x.data, i + 1);
            addScaledRange(y.data, x[i], Ai, i); // the upper half by symmetry
        }
        return true;
    }
    if (type == DiagonalMatrix) {
        y.resize(rows);
        for (int i = 0; i < rows; ++i)
            y[i] = rowData[0][i] * x[i];
        return true;
    }
    if (type == FactorizedMatrix) {
        std::cerr << "not known Ax=" << std::endl;
        return false;
    }
    std::cerr << "no known method for Ax" << std::endl;
    return false;
}

// Product of a symmetric matrix whose first f = factoredSteps packed rows hold
// the factor (L L^T, or L D L^T with D on the diagonal) of the leading f x f
// block and whose later rows still hold the original entries: the leading
// block is multiplied through the factor, the rest as packed symmetric rows.
void Matrix::multiplySymmetricFactor(const Vector& x, Vector& y) const
{
    const int n = rows;
    const int f = std::min(factoredSteps, n);
    y.resize(n);
    y.fill(0.0);

    Vector t(f);
    if (solveMethod == LLt) {
        // t = L^T x, y = L t
        for (int r = 0; r < f; ++r)
            addScaledRange(t.data, x[r], rowData[r].data, r + 1);
        for (int i = 0; i < f; ++i)
            y[i] = dotRange(rowData[i].data, t.data, i + 1);
    } else {
        // t = D L^T x (unit L), y = L t
        for (int i = 0; i < f; ++i)
            t[i] = x[i];
        for (int r = 0; r < f; ++r)
            addScaledRange(t.data, x[r], rowData[r].data, r);
        for (int i = 0; i < f; ++i)
            t[i] *= rowData[i][i];
        for (int i = 0; i < f; ++i)
            y[i] = t[i] + dotRange(rowData[i].data, t.data, i);
    }
    for (int i = f; i < n; ++i) {
        const double* Ai = rowData[i].data;
        y[i] += dotRange(Ai, x.data, i + 1);
        addScaledRange(y.data, x[i], Ai, i);
    }
}

Vector mulMatrixVector(const Matrix& A, const Vector& x)
{
    Vector y(A.rows);
    const int n = std::min(A.cols, x.n);
    for (int i = 0; i < A.rows; ++i) {
        double s = 0.0;
        for (int j = 0; j < n; ++j)
            s += A.at(i, j) * x[j];
        y[i] = s;
    }
    return y;
}

Vector operator*(const Matrix& A, const Vector& x)
{
    return mulMatrixVector(A, x);
}

// ---------------------------------------------------------------------------
// Factorisation

bool Matrix::stepAndCheckCancel()
{
    if (!progress)
        return false;
    progress->step(1);
    return progress->isCancelled();
}

int Matrix::factorize(int regularise, double eps)
{
    if (solveMethod == HouseholderQR || solveMethod == LLt || solveMethod == LDLt)
        return factorFailed ? FactorizeSingular : FactorizeDone;
    work.resize(rows);
    singularColumn = -1;

    int result;
    switch (type) {
    case FullMatrix:
        result = factorizeHouseholder(regularise, eps);
        break;
    case SymmetricMatrix:
        result = factorizeLDLt(regularise);
        break;
    case SymmetricLLtMatrix:
        result = factorizeLLt(regularise, eps);
        break;
    default:
        std::cerr << "can't handle matrix \n" << std::endl;
        return FactorizeSingular;
    }
    lastFactorizeResult = result;
    return result;
}

double Matrix::householderAlpha(int k, int c) const
{
    return householderSign(rowData[k][c]) * std::sqrt(columnDot(k, c, c));
}

// Reflection k built on column c (rows k..rows-1): H = I - beta v v^T with
// v = a - alpha e_k stored in place of the column, applied to every later
// column. The update runs along the rows so that both passes are contiguous.
void Matrix::applyReflection(int k, int c, double alpha)
{
    const double denominator = (alpha - rowData[k][c]) * alpha;
    const double b = denominator != 0.0 ? 1.0 / denominator : 0.0;
    beta[k] = b;
    diag[k] = alpha;
    rowData[k][c] -= alpha;

    const int first = c + 1;
    const int count = cols - first;
    if (count <= 0 || b == 0.0)
        return;
    work2.resize(cols);
    double* s = work2.data + first;
    std::fill(s, s + count, 0.0);
    for (int r = k; r < rows; ++r) {
        const double v = rowData[r][c];
        if (v != 0.0)
            addScaledRange(s, v, rowData[r].data + first, count);
    }
    for (int j = 0; j < count; ++j)
        s[j] *= b;
    for (int r = k; r < rows; ++r) {
        const double v = rowData[r][c];
        if (v != 0.0)
            addScaledRange(rowData[r].data + first, -v, s, count);
    }
}

// Householder QR. Reflection k (row k of R) is normally built on column k.
//
// With regularise 2 a column whose remaining norm at row k is below eps is
// dependent on the columns already reduced: it is recorded as removed, and the
// next column is tried at the same row k. The first column that passes becomes
// the pivot of row k, and the elimination continues with row k + 1 and the
// column after that pivot, so every column is examined exactly once, in
// order, and a removed column never receives a reflection. When the rows run
// out, the columns not yet examined lie in the span of the pivots and are
// removed too. At the end the pivot columns move left into places 0..k-1
// (their Householder vectors and R entries travel with them; beta and diag are
// already indexed by reflection), `cols` becomes the rank k, and the result is
// a complete QR factorisation of the retained columns with |diag| >= eps, so
// computeZ yields rows - rank orthonormal columns.
int Matrix::factorizeHouseholder(int regularise, double eps)
{
    solveMethod = HouseholderQR;
    factorFailed = false;
    factoredSteps = 0;
    removedColumns.clear();
    beta.resize(cols, true);
    diag.resize(cols, true);
    work2.resize(cols);
    const int m = std::min(rows, cols);
    if (progress) {
        progress->begin(0, m);
        progress->reset(0);
    }

    int result = FactorizeDone;
    std::vector<int> pivotColumns;
    int k = 0; // next reflection, row of R
    int c = 0; // next column to examine
    bool cancelled = false;
    while (k < rows && c < cols) {
        if (stepAndCheckCancel()) {
            cancelled = true;
            break;
        }
        double alpha = householderAlpha(k, c);
        if (std::fabs(alpha) < eps) {
            singularColumn = c;
            if (regularise == 0) {
                factorFailed = true;
                factoredSteps = k;
                return FactorizeSingular;
            }
            if (regularise == 1) {
                result = FactorizeRegularized;
                rowData[k][c] = kTinyPivot;
                alpha = householderAlpha(k, c);
            } else if (regularise == 2) {
                removedColumns.push_back(c);
                for (++c; c < cols; ++c) {
                    alpha = householderAlpha(k, c);
                    if (std::fabs(alpha) >= eps)
                        break;
                    removedColumns.push_back(c);
                }
                if (c == cols)
                    break;
            }
        }
        applyReflection(k, c, alpha);
        pivotColumns.push_back(c);
        ++k;
        ++c;
    }
    factoredSteps = k;

    if (regularise == 2) {
        if (!cancelled)
            for (; c < cols; ++c)
                removedColumns.push_back(c);
        if (!removedColumns.empty())
            compactColumns(pivotColumns, c);
        if (!removedColumns.empty())
            result = FactorizeColumnsRemoved;
    }
    if (cancelled) {
        factorFailed = true;
        return FactorizeSingular;
    }
    return result;
}

// Moves the pivot columns into places 0..k-1 and the columns not yet examined
// (only after a cancellation) behind them; the removed columns disappear.
void Matrix::compactColumns(const std::vector<int>& pivotColumns, int firstUnprocessed)
{
    const int k = static_cast<int>(pivotColumns.size());
    const int newCols = k + (cols - firstUnprocessed);
    for (int r = 0; r < rows; ++r) {
        double* Ar = rowData[r].data;
        for (int i = 0; i < k; ++i)
            Ar[i] = Ar[pivotColumns[i]];
        for (int j = firstUnprocessed; j < cols; ++j)
            Ar[k + j - firstUnprocessed] = Ar[j];
        rowData[r].resize(newCols);
    }
    cols = newCols;
    beta.resize(cols);
    diag.resize(cols);
}

// LDLt without square roots. Row i of L is formed in work2 (with the products
// L[i][k] D[k] in work) and written back only when its pivot is accepted, so a
// stop leaves rows >= factoredSteps as they were and multiply stays exact.
int Matrix::factorizeLDLt(int regularise)
{
    solveMethod = LDLt;
    factorFailed = false;
    factoredSteps = 0;
    const int n = rows;
    work.resize(n);
    work2.resize(n);
    if (progress) {
        progress->begin(0, n);
        progress->reset(0);
    }

    int result = FactorizeDone;
    for (int i = 0; i < n; ++i) {
        if (stepAndCheckCancel()) {
            factorFailed = true;
            type = FactorizedMatrix;
            return FactorizeSingular;
        }
        double* Ai = rowData[i].data;
        double* L = work2.data;
        double* LD = work.data;
        for (int j = 0; j < i; ++j) {
            const double* Aj = rowData[j].data;
            const double s = dotRange(Aj, LD, j);
            L[j] = (Ai[j] - s) / Aj[j];
            LD[j] = L[j] * Aj[j];
        }
        double d = Ai[i] - dotRange(L, LD, i);
        if (!(std::fabs(d) >= kLdltPivotThreshold)) {
            if (regularise != 1) {
                factorFailed = true;
                factoredSteps = i;
                return FactorizeSingular;
            }
            d = kTinyPivot;
            result = FactorizeRegularized;
        }
        for (int j = 0; j < i; ++j)
            Ai[j] = L[j];
        Ai[i] = d;
        factoredSteps = i + 1;
    }
    type = FactorizedMatrix;
    return result;
}

// Cholesky. As for LDLt, row i is formed in work2 and written back once its
// pivot is accepted.
int Matrix::factorizeLLt(int regularise, double eps)
{
    solveMethod = LLt;
    factorFailed = false;
    factoredSteps = 0;
    const int n = rows;
    work2.resize(n);
    if (progress) {
        progress->begin(0, n);
        progress->reset(0);
    }

    int result = FactorizeDone;
    for (int i = 0; i < n; ++i) {
        if (stepAndCheckCancel()) {
            factorFailed = true;
            type = FactorizedMatrix;
            return FactorizeSingular;
        }
        double* Ai = rowData[i].data;
        double* L = work2.data;
        for (int j = 0; j < i; ++j) {
            const double* Lj = rowData[j].data;
            L[j] = (Ai[j] - dotRange(L, Lj, j)) / Lj[j];
        }
        double v = Ai[i] - dotRange(L, L, i);
        if (!std::isfinite(v) || v < eps) {
            std::cout << "LLt singular or not pos def. " << v << " col=" << i << std::endl;
            if (regularise == 0) {
                factorFailed = true;
                factoredSteps = i;
                return FactorizeSingular;
            }
            if (regularise == 1) {
                v = kTinyPivot;
                result = FactorizeRegularized;
            }
        }
        for (int j = 0; j < i; ++j)
            Ai[j] = L[j];
        Ai[i] = std::sqrt(v);
        factoredSteps = i + 1;
    }
    type = FactorizedMatrix;
    return result;
}

// ---------------------------------------------------------------------------
// Solves

bool Matrix::solve(Vector& x, const Vector& b)
{
    const bool known = solveMethod == HouseholderQR || solveMethod == LLt || solveMethod == LDLt;
    if (!known) {
        std::cerr << "no known Solution method" << std::endl;
        return false;
    }
    if (factorFailed || b.n < rows)
        return false;

    if (solveMethod == HouseholderQR) {
        // w = Q^T b, then back substitution with R.
        work2 = b;
        double* w = work2.data;
        const int p = std::min(rows, cols);
        for (int k = 0; k < p; ++k) {
            double s = 0.0;
            for (int r = k; r < rows; ++r)
                s += rowData[r][k] * w[r];
            s *= beta[k];
            if (s != 0.0)
                for (int r = k; r < rows; ++r)
                    w[r] -= s * rowData[r][k];
        }
        if (x.n < cols)
            x.resize(cols);
        for (int i = p - 1; i >= 0; --i) {
            const double* Ai = rowData[i].data;
            x[i] = (w[i] - dotRange(Ai + i + 1, x.data + i + 1, p - i - 1)) / diag[i];
        }
        return true;
    }

    const int n = rows;
    work2.resize(n);
    double* w = work2.data;
    // Forward substitution with L.
    for (int i = 0; i < n; ++i) {
        const double* Li = rowData[i].data;
        const double s = b[i] - dotRange(Li, w, i);
        w[i] = solveMethod == LLt ? s / Li[i] : s;
    }
    // Back substitution with L^T (after D for LDLt), row by row: once x[i] is
    // final, its row of L updates every earlier unknown.
    x.resize(n);
    for (int i = 0; i < n; ++i)
        x[i] = solveMethod == LDLt ? w[i] / rowData[i][i] : w[i];
    for (int i = n - 1; i >= 0; --i) {
        const double* Li = rowData[i].data;
        if (solveMethod == LLt)
            x[i] /= Li[i];
        addScaledRange(x.data, -x[i], Li, i);
    }
    return true;
}

Matrix* Matrix::computeZ(Matrix* z)
{
    if (solveMethod != HouseholderQR) {
        std::cerr << "Z-computation only for HouseholderQR, sorry" << std::endl;
        return nullptr;
    }
    if (factorFailed)
        return nullptr;
    const int k = rows - cols;
    if (k < 1)
        return new Matrix();

    Matrix* Z = z;
    if (!Z || Z->type != FullMatrix || Z->rows != rows || Z->cols != k || !Z->rowData)
        Z = new Matrix(rows, k);
    for (int r = 0; r < rows; ++r)
        Z->rowData[r].fill(0.0);
    for (int j = 0; j < k; ++j)
        Z->rowData[cols + j][j] = 1.0;

    // Z = H_0 ... H_{cols-1} [0; I]: apply the reflections in reverse order to
    // all k columns at once, row by row.
    Vector s(k);
    for (int i = cols - 1; i >= 0; --i) {
        s.fill(0.0);
        for (int r = i; r < rows; ++r) {
            const double v = rowData[r][i];
            if (v != 0.0)
                addScaledRange(s.data, v, Z->rowData[r].data, k);
        }
        s *= beta[i];
        for (int r = i; r < rows; ++r) {
            const double v = rowData[r][i];
            if (v != 0.0)
                addScaledRange(Z->rowData[r].data, -v, s.data, k);
        }
    }
    return Z;
}

// ---------------------------------------------------------------------------
// Eigenvalue iterations

double Matrix::largestEigenvalue(Vector& x)
{
    const int n = rows;
    x.resize(n);
    if (norm(x) < 0.1)
        x.fill(n > 0 ? 1.0 / std::sqrt(static_cast<double>(n)) : 0.0);

    Vector y;
    multiply(x, y);
    double lambda = 1e100;
    for (int pass = 0;; ++pass) {
        x = normalized(y);
        const double previous = lambda;
        multiply(x, y);
        lambda = dot(x, y);
        if (pass >= 6 * n || std::fabs(lambda - previous) <= 1e-16)
            break;
    }
    return lambda;
}

double Matrix::smallestEigenvalue(Vector& x)
{
    const int n = rows;
    x.resize(n);
    if (type == DiagonalMatrix) {
        // The eigenvectors are the unit vectors: pick the smallest magnitude.
        int best = -1;
        for (int i = 0; i < n; ++i)
            if (best < 0 || std::fabs(rowData[0][i]) < std::fabs(rowData[0][best]))
                best = i;
        x.fill(0.0);
        if (best < 0)
            return 0.0;
        x[best] = 1.0;
        const double d = rowData[0][best];
        return std::fabs(d) < kLdltPivotThreshold ? 0.0 : d;
    }

    factorize(1, 2.2e-16);
    if (!isFactorized())
        return 0.0;
    if (norm(x) < 0.1)
        x.fill(n > 0 ? static_cast<double>(n) * n / std::sqrt(static_cast<double>(n)) : 0.0);

    Vector y;
    solve(y, x);
    double lambda = 1e100;
    for (int pass = 0;; ++pass) {
        x = y;
        x.normalize();
        const double previous = lambda;
        solve(y, x);
        lambda = dot(x, y);
        if (pass >= 6 * n || std::fabs(lambda - previous) <= 1e-16)
            break;
    }
    x.normalize();
    if (lastFactorizeResult == FactorizeRegularized || lambda == 0.0)
        return 0.0;
    return 1.0 / lambda;
}

// ---------------------------------------------------------------------------
// Dense conjugate gradients

Vector& Matrix::productForCG(const Vector& p, Vector& q)
{
    return multiply(p, q);
}

MatrixCGResult Matrix::solveCG(const Vector& b, Vector& x, double iterFactor, double tol,
                               bool showProgress)
{
    MatrixCGResult result;
    const int n = x.n;
    Vector x0 = x;
    Vector q;
    multiply(x0, q);
    Vector r = b - q;
    double rho = dot(r, r);
    double best = rho;
    Vector xBest = x;
    double betaCG = 0.0;
    Vector pPrev(n);
    const int maxIter = static_cast<int>(std::ceil(n * iterFactor));
    if (progress && showProgress) {
        progress->begin(0, maxIter);
        progress->reset(0);
    }

    Vector p;
    for (;;) {
        if (progress) {
            progress->step(1);
            if (progress->isCancelled()) {
                result.cancelled = true;
                break;
            }
        }
        p = r;
        p.addScaled(betaCG, pPrev);
        productForCG(p, q);
        const double pq = dot(p, q);
        const double alpha = std::fabs(pq) <= 2.2e-16 ? 0.0 : rho / pq;
        x = x0;
        x.addScaled(alpha, p);
        r.addScaled(-alpha, q);
        const double rhoNext = dot(r, r);
        if (rhoNext < best) {
            best = rhoNext;
            xBest = x;
        }
        betaCG = rhoNext / std::max(rho, 2.2e-16);
        x0 = x;
        std::swap(pPrev, p);
        rho = rhoNext;
        ++result.iterations;
        if (rhoNext <= tol) {
            result.converged = true;
            break;
        }
        if (result.iterations >= maxIter)
            break;
    }
    if (!result.cancelled) {
        x = xBest;
        result.residual = best;
    } else {
        result.residual = rho;
    }
    return result;
}
