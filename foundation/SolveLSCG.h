// Dense least squares by the conjugate-gradient optimiser.
//
// `CSolveLSCG` minimises 0.5 |A x - b|^2 for a dense `Matrix` A with the
// Goldstein variant of `CConjugateGradient`. It keeps A x and A p of the
// current point and direction, so that every trial step of the line search
// costs no product with A. Symmetric and diagonal storage are read through
// `Matrix::at`, so every matrix type gives the right products.
//
// Ownership: A and b are borrowed and must outlive the solver; the solver
// owns its product vectors.
// Thread-safety: all state is in the object; A's progress sink is stepped
// from the calling thread. Every gradient evaluation writes a "residual="
// line to standard output.
#pragma once

#include "foundation/ConjugateGradient.h"
#include "foundation/Vector.h"

class Matrix;

// y := M^T x with the elements read as `Matrix::at` reads them: y gets one
// entry per column of M, y[j] = sum over rows i of x[i] M(i, j). x shorter than
// M's row count counts as padded with zeros. y and x must be distinct.
void countEntriesByType(Vector& y, const Vector& x, const Matrix& M);

class CSolveLSCG : public CConjugateGradient {
public:
    // Runs the whole solve: x (length A's column count) is the start point on
    // entry and receives the result. maxIter 0 means five times the number of
    // unknowns. With a null A, b or x, or sizes that do not fit (b shorter
    // than A's rows, x not of A's column count), nothing is solved and
    // `result` stays 3.4028234663852886e38.
    CSolveLSCG(Matrix* A, const Vector* b, Vector* x, int maxIter);
    ~CSolveLSCG() override = default;

    // Forms A x and A p for the point and direction the line search starts
    // from.
    void onIteration(const Vector& x, Vector& p) override;
    // 0.5 |A (x + alpha p) - b|^2 from the stored products; with mode 1 also
    // the gradient A^T (A (x + alpha p) - b) into g, formed from the residual
    // so that no cancellation against A^T b occurs (and a "residual=" line on
    // standard output). When the progress sink cancels, g := 0 and the value 0
    // is returned, which ends the solve.
    double evaluate(int mode, Vector& g, const Vector& x, double alpha, const Vector& p) override;

    Vector m_Ax;                           // A x of the point of the last onIteration
    Vector m_Ap;                           // A p of its direction
    Matrix* m_A = nullptr;                 // not owned
    const Vector* m_b = nullptr;           // not owned
    double result = 3.4028234663852886e38; // final objective, FLT_MAX when not solved

private:
    // Recomputes the stored products when x or p differ from the ones they
    // were made for (the Goldstein search may replace a climbing direction).
    void ensureProducts(const Vector& x, const Vector& p);

    Vector m_productX; // the point and direction m_Ax and m_Ap belong to
    Vector m_productP;
};

// Least squares A x ~ b on a dense matrix through CSolveLSCG, starting from x
// and leaving the result in x. A matrix of a type other than full storage
// writes " Matrix Type is not supported by solveLScg " and a line end on
// standard output and is solved all the same. Returns the final objective
// 0.5 |A x - b|^2, or 3.4028234663852886e38 (x untouched) for null or
// ill-sized arguments.
double solveLScg(Matrix* A, const Vector* b, Vector* x, int maxIter);
