#include "foundation/SolveLSCG.h"

#include "foundation/Matrix.h"
#include "foundation/Progress.h"

#include <iostream>

namespace {

constexpr double kNotSolved = 3.4028234663852886e38; // FLT_MAX

// Row i of A times v: row dot products for full storage, `Matrix::at`
// otherwise (symmetric and diagonal storage hold only part of a row).
double rowTimes(const Matrix& A, int i, const Vector& v)
{
    double sum = 0.0;
    if (A.type == FullMatrix) {
        const Vector& row = A.rowData[i];
        for (int j = 0; j < A.cols; ++j)
            sum += row[j] * v[j];
        return sum;
    }
    for (int j = 0; j < A.cols; ++j)
        sum += A.at(i, j) * v[j];
    return sum;
}

bool sameEntries(const Vector& a, const Vector& b)
{
    if (a.n != b.n)
        return false;
    for (int i = 0; i < a.n; ++i)
        if (!(a[i] == b[i]))
            return false;
    return true;
}

} // namespace

void countEntriesByType(Vector& y, const Vector& x, const Matrix& M)
{
    y.resize(M.cols, true);
    y.fill(0.0);
    const int rows = x.n < M.rows ? x.n : M.rows;
    for (int i = 0; i < rows; ++i) {
        const double xi = x[i];
        if (M.type == FullMatrix) {
            const Vector& row = M.rowData[i];
            for (int j = 0; j < M.cols; ++j)
                y[j] += xi * row[j];
        } else {
            for (int j = 0; j < M.cols; ++j)
                y[j] += xi * M.at(i, j);
        }
    }
}

CSolveLSCG::CSolveLSCG(Matrix* A, const Vector* b, Vector* x, int maxIter)
    : CConjugateGradient(x ? x->n : 0, true), m_A(A), m_b(b)
{
    if (!A || !b || !x || A->rows <= 0 || A->cols <= 0 || b->n < A->rows || x->n != A->cols)
        return;
    if (A->progress) {
        A->progress->begin(0, maxIter);
        A->progress->reset(0);
    }
    result = solve(*x, maxIter, 0);
}

void CSolveLSCG::ensureProducts(const Vector& x, const Vector& p)
{
    if (!sameEntries(x, m_productX)) {
        m_Ax.resize(m_A->rows);
        for (int i = 0; i < m_A->rows; ++i)
            m_Ax[i] = rowTimes(*m_A, i, x);
        m_productX = x;
    }
    if (!sameEntries(p, m_productP)) {
        m_Ap.resize(m_A->rows);
        for (int i = 0; i < m_A->rows; ++i)
            m_Ap[i] = rowTimes(*m_A, i, p);
        m_productP = p;
    }
}

void CSolveLSCG::onIteration(const Vector& x, Vector& p)
{
    ensureProducts(x, p);
}

double CSolveLSCG::evaluate(int mode, Vector& g, const Vector& x, double alpha, const Vector& p)
{
    ensureProducts(x, p);
    const Vector& b = *m_b;
    const int rows = m_A->rows;
    Vector residual(rows);
    double f = 0.0;
    for (int i = 0; i < rows; ++i) {
        residual[i] = m_Ax[i] + alpha * m_Ap[i] - b[i];
        f += residual[i] * residual[i];
    }
    f *= 0.5;
    if (mode != 1)
        return f;
    if (m_A->progress) {
        m_A->progress->step(1);
        if (m_A->progress->isCancelled()) {
            g.resize(m_A->cols);
            g.fill(0.0);
            return 0.0;
        }
    }
    countEntriesByType(g, residual, *m_A); // A^T (A x - b) = A^T A x - A^T b
    std::cout << "residual=" << f << std::endl;
    return f;
}

double solveLScg(Matrix* A, const Vector* b, Vector* x, int maxIter)
{
    if (!A || !b || !x)
        return kNotSolved;
    if (A->type != FullMatrix)
        std::cout << " Matrix Type is not supported by solveLScg " << std::endl;
    CSolveLSCG solver(A, b, x, maxIter);
    return solver.result;
}
