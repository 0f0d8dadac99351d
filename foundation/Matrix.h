// Dense matrix of doubles with in-place factorisations.
//
// A `Matrix` stores a full rectangular matrix (one `Vector` per row), a
// symmetric matrix as its packed lower triangle (row i holds columns 0..i), or
// a diagonal (one `Vector`). It factorises itself in place - a full matrix by
// Householder QR (least squares, null spaces, optional removal of dependent
// columns), a symmetric matrix by LDLt or Cholesky (LLt) - and afterwards
// solves systems while `multiply` still gives products with the matrix it was
// built from. Power and inverse iteration and a dense conjugate-gradient
// solver complete it.
//
// Ownership: a Matrix owns its row storage and its work vectors; copies are
// deep. The progress sink is borrowed. `computeZ` returns either the caller's
// target matrix or a new Matrix that the caller owns.
//
// Thread-safety: none. Factorisation, solves and the eigenvalue iterations use
// the matrix's own work vectors, so one Matrix serves one thread at a time.
#pragma once

#include "foundation/Vector.h"

#include <memory>
#include <vector>

class CProgress;

// Storage kind of a Matrix (its `type`).
enum MatrixType : int {
    FullMatrix = 1,         // rows x cols, one Vector of cols entries per row
    SymmetricMatrix = 2,    // packed lower triangle, factorised by LDLt
    DiagonalMatrix = 3,     // one Vector of n entries
    FactorizedMatrix = 4,   // packed triangle after LDLt or LLt
    SymmetricLLtMatrix = 5, // packed lower triangle, factorised by LLt
};

// Factorisation held by a Matrix (its `solveMethod`).
enum SolveMethod : int {
    NoSolveMethod = 0,
    HouseholderQR = 2, // full matrices
    LLt = 3,           // SymmetricLLtMatrix
    LDLt = 4,          // SymmetricMatrix
};

// Results of Matrix::factorize.
enum FactorizeResult : int {
    FactorizeDone = 0,
    FactorizeSingular = 1,       // stopped: singular pivot, cancelled, or no method for the type
    FactorizeRegularized = 2,    // done, tiny pivots replaced small ones
    FactorizeColumnsRemoved = 3, // done, dependent columns taken out (Householder, regularise 2)
};

// Outcome of Matrix::solveCG.
struct MatrixCGResult {
    bool converged = false; // the last squared residual reached the tolerance
    bool cancelled = false; // the progress sink asked to stop
    int iterations = 0;     // iterations performed
    double residual = 0.0;  // squared residual norm of the returned iterate
};

class Matrix {
public:
    // Column at which the last Householder factorisation met a column norm
    // below eps (original column numbering); -1 when it met none.
    int singularColumn = -1;
    // Polled for steps and cancellation by factorize and solveCG; not owned.
    CProgress* progress = nullptr;
    int type = 0;                    // MatrixType; 0 for an empty matrix
    int solveMethod = NoSolveMethod; // SolveMethod
    double zero = 0.0;               // what `at` hands out off the diagonal of a diagonal matrix
    int rows = 0;
    int cols = 0;
    // Row storage: `rows` Vectors (packed rows for the symmetric types), or a
    // single Vector for a diagonal matrix; null when rows * cols is 0.
    std::unique_ptr<Vector[]> rowData;
    Vector beta;  // Householder scales, one per reflection
    Vector diag;  // diagonal of R of the Householder factorisation
    Vector work;  // scratch of the factorisations
    Vector work2; // scratch of the factorisations and of solve
    // Columns taken out by factorize(2, ...), in the numbering before the
    // factorisation, ascending.
    std::vector<int> removedColumns;

    // Empty matrix: type 0, no rows.
    Matrix() = default;
    // rows x cols full matrix of zeros.
    Matrix(int rows, int cols);
    // n x n matrix of the given type, all zeros. A type outside 1..5 writes
    // "unknown Matrix-type" on the error stream and leaves an empty matrix.
    // The type must be passed as a MatrixType: Matrix(3, 2) is a 3 x 2 full matrix.
    Matrix(int n, MatrixType type);

    Matrix(const Matrix& other);
    Matrix(Matrix&& other) noexcept;
    Matrix& operator=(const Matrix& other);
    Matrix& operator=(Matrix&& other) noexcept;
    ~Matrix() = default;
    void swap(Matrix& other) noexcept;

    // Rebuild as a zero matrix (full rows x cols, or n x n of the given type),
    // unfactorised. An unknown type writes "unknown Matrix-type" and leaves an
    // empty matrix.
    void resize(int rows, int cols);
    void resize(int n, MatrixType type);

    // Entry (i, j). Symmetric storage maps (i, j) and (j, i) to the same packed
    // entry (so does a factorised one: (i, j) above the diagonal reads the
    // mirrored factor entry). Off the diagonal of a diagonal matrix the
    // reference is to `zero`, which is reset to 0.0 on every call, so a write
    // through it never shows up in a later read. Indices are not checked.
    double& at(int i, int j)
    {
        switch (type) {
        case FullMatrix:
            return rowData[i][j];
        case SymmetricMatrix:
        case FactorizedMatrix:
        case SymmetricLLtMatrix:
            return i >= j ? rowData[i][j] : rowData[j][i];
        case DiagonalMatrix:
            if (i == j)
                return rowData[0][i];
            break;
        default:
            break;
        }
        zero = 0.0;
        return zero;
    }
    double at(int i, int j) const
    {
        switch (type) {
        case FullMatrix:
            return rowData[i][j];
        case SymmetricMatrix:
        case FactorizedMatrix:
        case SymmetricLLtMatrix:
            return i >= j ? rowData[i][j] : rowData[j][i];
        case DiagonalMatrix:
            return i == j ? rowData[0][i] : 0.0;
        default:
            return 0.0;
        }
    }

    // Sum over r = fromRow..rows-1 of A[r][c1] * A[r][c2] (full storage).
    double columnDot(int fromRow, int c1, int c2) const;

    // y = A x with the matrix as built, in every state: after a factorisation
    // the product is formed from the factors (a regularised factorisation gives
    // the regularised matrix; column removal leaves the retained columns).
    // x shorter than the matrix counts as padded with zeros. When x and y are
    // the same object " A*x will go wron!" is written and the product is
    // formed in a temporary. A type without a product writes "no known method
    // for Ax" (or "not known Ax=" for an unfactorised type 4) on the error
    // stream and leaves y unchanged. Returns y.
    Vector& multiply(const Vector& x, Vector& y) const;

    // Factorises in place: full matrices by Householder QR, SymmetricMatrix by
    // LDLt, SymmetricLLtMatrix by LLt (both then become FactorizedMatrix).
    // regularise 0 stops at a singular pivot (FactorizeSingular); 1 replaces it
    // by a tiny pivot (FactorizeRegularized); 2 (Householder only) removes
    // dependent columns, lowering `cols` to the rank (FactorizeColumnsRemoved).
    // eps bounds the Householder column norms and the LLt pivots; LDLt uses a
    // fixed 1e-16. A second call returns FactorizeDone after a completed
    // factorisation and FactorizeSingular after a failed or cancelled one,
    // without work. A type that cannot be factorised writes "can't handle
    // matrix \n" on the error stream and returns FactorizeSingular.
    int factorize(int regularise, double eps);

    // True after a factorisation that ran to its end (whatever its result).
    bool isFactorized() const { return solveMethod != NoSolveMethod && !factorFailed; }
    // Result of the factorisation held, -1 when there is none.
    int factorizeResult() const { return lastFactorizeResult; }

    // Solves A x = b with the held factorisation (least squares for a tall
    // full matrix; entries of x beyond the rank stay as they are, x grows to
    // `cols` when shorter). Returns false - x untouched - when there is no
    // complete factorisation or b is shorter than `rows`; an unknown method
    // also writes "no known Solution method" on the error stream.
    bool solve(Vector& x, const Vector& b);

    // After Householder QR (rows >= cols): an orthonormal basis of the
    // complement of the column space, rows x (rows - cols). The result is z
    // when z is given with that shape, else a new Matrix owned by the caller
    // (an empty one when rows - cols < 1). Null, with "Z-computation only for
    // HouseholderQR, sorry" on the error stream, without a Householder
    // factorisation; null after a failed one.
    Matrix* computeZ(Matrix* z = nullptr);

    // Power iteration: the eigenvalue of largest magnitude; x receives the unit
    // eigenvector. A starting x of norm below 0.1 is replaced by a uniform one.
    double largestEigenvalue(Vector& x);
    // Inverse iteration on the matrix factorised in place with regularisation:
    // the eigenvalue of smallest magnitude, x its unit eigenvector. 0.0 when
    // the matrix is singular (a pivot had to be regularised) or cannot be
    // factorised. A diagonal matrix is read directly.
    double smallestEigenvalue(Vector& x);

    // Conjugate gradients for a symmetric positive matrix, at most
    // ceil(n * iterFactor) iterations (n = length of x, at least one), until the
    // squared residual is at most tol or the progress sink cancels. x receives
    // the iterate of smallest residual seen.
    MatrixCGResult solveCG(const Vector& b, Vector& x, double iterFactor, double tol,
                           bool showProgress);

    // Removes a row of an unfactorised full matrix. Any other matrix (or a row
    // out of range) writes "tried to delete row " + first row + " impossible
    // on matrix" on the error stream and stays unchanged (false).
    bool removeRow(int row);

private:
    void build(int rows, int cols, int type);
    int storedRowCount() const;
    int factorizeHouseholder(int regularise, double eps);
    int factorizeLDLt(int regularise);
    int factorizeLLt(int regularise, double eps);
    bool stepAndCheckCancel();
    double householderAlpha(int k, int c) const;
    void applyReflection(int k, int c, double alpha);
    void compactColumns(const std::vector<int>& pivotColumns, int firstUnprocessed);
    bool multiplyInto(const Vector& x, Vector& y) const;
    void multiplySymmetricFactor(const Vector& x, Vector& y) const;
    // The product of one CG iteration; the place where a row-split product
    // over worker threads would take over from the serial multiply.
    Vector& productForCG(const Vector& p, Vector& q);

    // Set when a factorisation stopped early; its data is then only partly
    // factorised and solve refuses it.
    bool factorFailed = false;
    // Householder reflections or symmetric factor rows completed.
    int factoredSteps = 0;
    int lastFactorizeResult = -1;
};

// y[i] = sum over j < cols of A.at(i, j) x[j]: the product with the stored
// entries, meant for unfactorised matrices (Matrix::multiply covers all states).
Vector mulMatrixVector(const Matrix& A, const Vector& x);
Vector operator*(const Matrix& A, const Vector& x);
