// Least-squares and linear solvers on a SparseMatrix: the fits of curves and
// surfaces run through them.
//
// - `sparseLScg`: conjugate gradients on the normal equations of
//   min 0.5 |A x - b|^2 (Fletcher-Reeves, direction scaled by 1/|g|^2), with an
//   exact line search from stored products A x0 and A p. Its work vectors live
//   in process-wide slots while a solve runs; `sparseLScgSerial` is the same
//   solver with local work vectors.
// - `sparseCG`: conjugate gradients for a square symmetric system.
// - `CNLS`: Gauss-Newton driver for nonlinear least squares with a sparse
//   Jacobian; a subclass supplies the residuals.
// - `fairControlNet`: fills the missing nodes of a grid of points and fairs
//   them with a 3 x 3 mask.
//
// The products A x0 and A p of `sparseLScg` are split over threads only when
// both switches of foundation/MatrixThreads.h are set; the results are the
// same bit for bit either way.
//
// Ownership: the solvers borrow A, b and x; x is the start point and receives
// the result. The matrix's progress sink is borrowed and polled.
// Thread-safety: `sparseLScg`, `InitNewSearchDirection` and
// `sparseLSObjective` use the shared slots: one solve at a time (a solve
// started while the slots are taken falls back to local work vectors).
// `sparseLScgSerial`, `sparseCG`, `CNLS` objects and `fairControlNet` keep
// their state local.
#pragma once

#include "foundation/Vector.h"
#include "geometry/SparseMatrix.h"

// Failure value of the least-squares solvers (FLT_MAX as a double).
constexpr double kSparseLScgFailed = 3.4028234663852886e38;

// Minimises 0.5 |A x - b|^2 from x. The fifth and seventh arguments are not
// used. maxNorm bounds |x|: a step that would take |x| beyond |maxNorm| is
// undone and ends the solve (0.0 switches the bound off). Ends when f <= 1e-16,
// g.g <= 1e-16, after maxIter + 1 iterations, on a non-finite step (undone),
// or when A's progress sink cancels (after A->progress->begin(0, maxIter) and
// one step(1) per iteration). Returns f at the final x; `iterations` (when
// given) receives the iterations done.
// Failure returns kSparseLScgFailed with x untouched and *iterations = 0: a
// null A, b or x, x not of A's column count, b shorter than A's rows, a column
// index outside the matrix, or a start whose value or gradient is not finite.
double sparseLScg(SparseMatrix* A, const Vector* b, Vector* x, int maxIter, int, double maxNorm,
                  int, int* iterations);
// The same solver on local work vectors; re-entrant.
double sparseLScgSerial(SparseMatrix* A, const Vector* b, Vector* x, int maxIter, int,
                        double maxNorm, int, int* iterations);

// Fills the shared products of the running `sparseLScg`: A x0 and A p, row by
// row (on worker threads when the matrix threads are active). False, nothing
// done, when no shared solve is running or the lengths do not fit.
bool InitNewSearchDirection(const Vector& x0, const Vector& p);

// Objective of the running `sparseLScg` at x0 + alpha p from the shared
// products: 0.5 sum_i (A x0 + alpha A p - b)_i^2; with mode 1 also the
// gradient A^T (A x0 + alpha A p) - A^T b into g. x is not read (the point is
// the one the products were formed for). kSparseLScgFailed when no shared
// solve is running.
double sparseLSObjective(int mode, Vector& g, const Vector& x, double alpha);

// Conjugate gradients for a square symmetric A x = b from x. Ends when the
// squared residual is at most tol, after maxIter iterations, when p.A p falls
// below 2.2e-16 in magnitude or is not finite, or when A's progress sink
// cancels. x receives the iterate of smallest squared residual seen, which is
// returned. DBL_MAX, x untouched, for a null argument, a non-square A, b or x
// of the wrong length, or a column index outside the matrix.
double sparseCG(SparseMatrix* A, const Vector* b, Vector* x, int maxIter, double tol);

// Nonlinear least squares min 0.5 |r(x)|^2 by Gauss-Newton steps with a
// halving line search; the linearised problems are solved by `sparseLScg`.
class CNLS {
public:
    // n variables, m residuals; x, step (zero) and r are sized.
    CNLS(int n, int m);
    virtual ~CNLS() = default;

    // x := x + alpha step; true when the step was applied.
    virtual bool applyStep(Vector& x, double alpha, const Vector& step);
    // Fills r (m entries) at x and, with mode 1, the Jacobian J (m x n; its
    // rows hold what the previous call left, so they are to be refilled).
    // False when x cannot be evaluated.
    virtual bool residuals(int mode, Vector& x, Vector& r, SparseMatrix& J) = 0;
    // Called once with the Jacobian before the first iteration. False stops
    // the solve before it starts. The base answers true.
    virtual bool prepareJacobian(SparseMatrix& J);

    // Runs at most maxIter + 1 Gauss-Newton iterations from x. True when the
    // squared gradient norm |J^T r|^2 of the last iteration is below 1e-8.
    // x only ever moves to points the residual function accepted.
    bool solve(int maxIter);

    int tag = 0;             // free for subclasses
    int n = 0;               // number of variables
    int m = 0;               // number of residuals
    Vector x;                // the variables
    Vector r;                // the residuals of the last evaluation
    Vector step;             // the last Gauss-Newton step (x moves by -t step)
    double gradNorm2 = -1.0; // |J^T r|^2 of the last iteration; -1 before
};

// Fills and fairs a width x height grid of points (node (i, j) at
// grid[width j + i]); a node whose Vector is empty is missing. Missing nodes
// get start values from the nearest present nodes along the grid axes and then
// the values that make each of them the mask average of its neighbours (mask
// weight w: edge neighbours (1 + w)/4, corner neighbours -w/4; on the grid
// border the average runs over the neighbours inside the grid, normalised by
// their mask sum); present nodes keep their values. The system is solved by
// `sparseCG` (tolerance 1e-16, at most 5 width height iterations). Every node ends with 4 entries;
// points given with fewer coordinates get the weight 1.0 as fourth entry. False, grid untouched,
// for a null grid, a non-positive size, no present node, or points of more than 4 coordinates.
bool fairControlNet(Vector* grid, int width, int height, double w);
