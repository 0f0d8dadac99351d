#include "geometry/SparseSolvers.h"

#include "foundation/MatrixThreads.h"
#include "foundation/Progress.h"

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <climits>
#include <cmath>
#include <iostream>

namespace {

// Work vectors of one least-squares solve: the problem and the products the
// line search works from.
struct LScgWork {
    const SparseMatrix* A = nullptr;
    const Vector* b = nullptr;
    Vector Atb; // A^T b
    Vector Ax0; // A x0 of the point the direction starts from
    Vector Ap;  // A p of the direction

    void release()
    {
        A = nullptr;
        b = nullptr;
        Atb.resize(0, true);
        Ax0.resize(0, true);
        Ap.resize(0, true);
    }
};

// The process-wide slots of sparseLScg and the flag that says they are taken.
LScgWork sharedWork;
std::atomic<bool> sharedWorkBusy{false};

// Frees the shared slots on every way out of a solve.
class SharedWorkLease {
public:
    SharedWorkLease() : held(!sharedWorkBusy.exchange(true)) {}
    ~SharedWorkLease()
    {
        if (held) {
            sharedWork.release();
            sharedWorkBusy = false;
        }
    }
    SharedWorkLease(const SharedWorkLease&) = delete;
    SharedWorkLease& operator=(const SharedWorkLease&) = delete;
    bool held;
};

bool allFinite(const Vector& v)
{
    for (int i = 0; i < v.n; ++i)
        if (!std::isfinite(v[i]))
            return false;
    return true;
}

// Every row's column indices lie inside the matrix (the products index x by
// them unchecked).
bool columnsInside(const SparseMatrix& A)
{
    for (int i = 0; i < A.rows; ++i) {
        const SparseMatrixRow& row = A.rowData[i];
        if (row.count < 0 || row.count > row.values.n)
            return false;
        for (int k = 0; k < row.count; ++k)
            if (row.columnIndices[k] < 0 || row.columnIndices[k] >= A.columns)
                return false;
    }
    return true;
}

void productRows(LScgWork& w, const Vector& x0, const Vector& p, int first, int end)
{
    const SparseMatrixRow* rows = w.A->rowData;
    for (int i = first; i < end; ++i) {
        w.Ap[i] = rows[i].dot(p);
        w.Ax0[i] = rows[i].dot(x0);
    }
}

// A x0 and A p into the work vectors. Each row is one dot product whichever
// thread computes it, so the threaded and serial results agree exactly.
void initProducts(LScgWork& w, const Vector& x0, const Vector& p)
{
    const int rows = w.A->rows;
    if (matrixThreadsActive() && rows > 1) {
        const int error =
            runRowRangesOnThreads(rows, processorCount(), [&w, &x0, &p](int first, int end) {
                productRows(w, x0, p, first, end);
            });
        if (error == 0)
            return;
        std::cout << "threading error: could not create thread !, returning "
                     "unsolved(InitNewSearchDirection)"
                  << std::endl;
        std::cout << "error code=" << error << std::endl;
        std::cout.flush();
        // The rows of the threads that ran are recomputed here as well, so
        // the solver never works from half-filled products.
    }
    productRows(w, x0, p, 0, rows);
}

double objective(const LScgWork& w, int mode, Vector& g, double alpha)
{
    const int rows = w.A->rows;
    const Vector& b = *w.b;
    Vector fitted(rows);
    double f = 0.0;
    for (int i = 0; i < rows; ++i) {
        fitted[i] = w.Ax0[i] + alpha * w.Ap[i];
        const double d = fitted[i] - b[i];
        f += d * d;
    }
    f *= 0.5;
    if (mode == 1) {
        g = multiplyTransposed(fitted, *w.A);
        g -= w.Atb;
    }
    return f;
}

bool lscgArgumentsFit(const SparseMatrix* A, const Vector* b, const Vector* x)
{
    return A && b && x && x->n == A->columns && b->n >= A->rows && columnsInside(*A);
}

double runLScg(LScgWork& w, SparseMatrix& A, const Vector& b, Vector& x, int maxIter,
               double maxNorm, int* iterations)
{
    w.A = &A;
    w.b = &b;
    w.Atb = multiplyTransposed(b, A);
    w.Ax0.resize(A.rows, true);
    w.Ap.resize(A.rows, true);

    CProgress* sink = A.progress;
    if (sink)
        sink->begin(0, maxIter);

    Vector p(x.n);
    Vector g;
    initProducts(w, x, p);
    double f = objective(w, 1, g, 0.0);
    double gg = dot(g, g);
    if (!std::isfinite(f) || !std::isfinite(gg)) {
        // Data that give no finite value cannot be fitted: a failure, not a
        // perfect fit.
        if (iterations)
            *iterations = 0;
        return kSparseLScgFailed;
    }

    const double normBound = std::fabs(maxNorm);
    Vector xPrevious;
    int count = 0;
    for (;;) {
        if (sink) {
            sink->step(1);
            if (sink->isCancelled())
                break;
        }
        p.addScaled(-1.0 / std::max(gg, 4.4e-16), g);
        initProducts(w, x, p);
        const double alpha =
            (dot(p, w.Atb) - dot(w.Ap, w.Ax0)) / std::max(dot(w.Ap, w.Ap), 4.4e-16);
        if (!std::isfinite(alpha))
            break;
        xPrevious = x;
        const double fPrevious = f;
        x.addScaled(alpha, p);
        f = objective(w, 1, g, alpha);
        gg = dot(g, g);
        if (!std::isfinite(f) || !std::isfinite(gg) || !allFinite(x) ||
            (normBound > 1e-8 && norm(x) > normBound)) {
            // Undo the step exactly: the last finite point within the bound.
            x = xPrevious;
            f = fPrevious;
            break;
        }
        const int before = count++;
        if (before >= maxIter || f <= 1e-16 || gg <= 1e-16)
            break;
    }
    if (iterations)
        *iterations = count;
    return f;
}

} // namespace

double sparseLScg(SparseMatrix* A, const Vector* b, Vector* x, int maxIter, int, double maxNorm,
                  int, int* iterations)
{
    if (!lscgArgumentsFit(A, b, x))
        return kSparseLScgFailed;
    SharedWorkLease lease;
    if (!lease.held) {
        // The slots are taken by a solve in progress (a caller's sink
        // re-entering, or another thread): work locally instead of
        // overwriting its products.
        LScgWork local;
        return runLScg(local, *A, *b, *x, maxIter, maxNorm, iterations);
    }
    return runLScg(sharedWork, *A, *b, *x, maxIter, maxNorm, iterations);
}

double sparseLScgSerial(SparseMatrix* A, const Vector* b, Vector* x, int maxIter, int,
                        double maxNorm, int, int* iterations)
{
    if (!lscgArgumentsFit(A, b, x))
        return kSparseLScgFailed;
    LScgWork local;
    return runLScg(local, *A, *b, *x, maxIter, maxNorm, iterations);
}

bool InitNewSearchDirection(const Vector& x0, const Vector& p)
{
    if (!sharedWork.A || x0.n != sharedWork.A->columns || p.n != sharedWork.A->columns)
        return false;
    initProducts(sharedWork, x0, p);
    return true;
}

double sparseLSObjective(int mode, Vector& g, const Vector&, double alpha)
{
    if (!sharedWork.A)
        return kSparseLScgFailed;
    return objective(sharedWork, mode, g, alpha);
}

double sparseCG(SparseMatrix* A, const Vector* b, Vector* xp, int maxIter, double tol)
{
    if (!A || !b || !xp || A->rows != A->columns || b->n < A->rows || xp->n != A->columns ||
        !columnsInside(*A))
        return DBL_MAX;
    Vector& x = *xp;
    Vector x0 = x;
    Vector xBest = x;
    double best = DBL_MAX;
    Vector r;
    A->multiply(x, r);
    for (int i = 0; i < r.n; ++i)
        r[i] = (*b)[i] - r[i];
    double beta = 0.0;
    Vector pPrevious(x.n);
    Vector p(x.n);
    Vector q;
    int count = 0;
    for (;;) {
        if (A->progress && A->progress->isCancelled())
            break;
        for (int i = 0; i < p.n; ++i)
            p[i] = r[i] + beta * pPrevious[i];
        A->multiply(p, q);
        const double rho = dot(r, r);
        if (rho < best)
            best = rho;
        const double pq = dot(p, q);
        if (std::fabs(pq) < 2.2e-16 || !std::isfinite(pq))
            break;
        const double alpha = rho / pq;
        x = x0;
        x.addScaled(alpha, p);
        r.addScaled(-alpha, q);
        const double rhoNew = dot(r, r);
        if (rhoNew < best) {
            best = rhoNew;
            xBest = x;
        }
        beta = rhoNew / rho;
        x0 = x;
        std::swap(pPrevious, p);
        ++count;
        if (rhoNew <= tol || count >= maxIter)
            break;
    }
    x = xBest;
    return best;
}

CNLS::CNLS(int variables, int residualCount)
    : n(std::max(variables, 0)), m(std::max(residualCount, 0)), x(n), r(m), step(n)
{
}

bool CNLS::applyStep(Vector& v, double alpha, const Vector& s)
{
    v.addScaled(alpha, s);
    return true;
}

bool CNLS::prepareJacobian(SparseMatrix&)
{
    return true;
}

bool CNLS::solve(int maxIter)
{
    gradNorm2 = -1.0;
    SparseMatrix J(m, n);
    if (!prepareJacobian(J))
        return false;
    step.resize(n, true);
    step.fill(0.0);
    const int limit = std::min(n, 250);
    int currentLimit = limit;
    int count = 0;
    Vector trial;
    while (residuals(1, x, r, J)) {
        const double f = 0.5 * dot(r, r);
        const Vector g = multiplyTransposed(r, J);
        gradNorm2 = dot(g, g);

        const int cgIterations = 3 * n < 2 ? 2 : std::min(3 * n, currentLimit);
        int used = 0;
        sparseLScg(&J, &r, &step, cgIterations, 0, 0.0, 0, &used);

        // Halve the step until the sum of squares does not grow. A trial the
        // residual function rejects ends the search without a usable value.
        double t = 2.0;
        double fNew = f;
        bool trialAccepted = false;
        do {
            t *= 0.5;
            trial = x;
            trial.addScaled(-t, step);
            trialAccepted = residuals(0, trial, r, J);
            if (!trialAccepted)
                break;
            fNew = 0.5 * dot(r, r);
        } while (!(fNew <= f) && t > 1e-12);

        bool lastPass = false;
        if (!trialAccepted || !((f - fNew) / (f + 1.0) > 1e-12)) {
            // No progress: retry with a shorter inner solve next time; give
            // up once that would be trivially short.
            currentLimit = used / 5;
            lastPass = currentLimit < 2;
        } else {
            applyStep(x, -t, step);
            currentLimit = limit;
        }
        const int before = count++;
        if (lastPass || before >= maxIter || gradNorm2 <= 1e-8)
            break;
    }
    return gradNorm2 >= 0.0 && gradNorm2 < 1e-8;
}

namespace {

// Mask entry for the neighbour at offset (di, dj) of a node, di, dj in -1..1,
// not both 0: edge neighbours (1 + w)/4, corner neighbours -w/4.
double maskEntry(int di, int dj, double w)
{
    return (di != 0 && dj != 0) ? -w / 4.0 : (1.0 + w) / 4.0;
}

} // namespace

bool fairControlNet(Vector* grid, int width, int height, double w)
{
    if (!grid || width <= 0 || height <= 0 || static_cast<long>(width) * height > INT_MAX / 9)
        return false;
    const int count = width * height;
    int dim = 0;
    for (int k = 0; k < count; ++k)
        dim = std::max(dim, grid[k].n);
    if (dim == 0 || dim > 4)
        return false;

    auto present = [&](int i, int j) { return !grid[width * j + i].empty(); };
    auto coordinate = [&](int k, int c) { return c < grid[k].n ? grid[k][c] : 0.0; };

    // Start values: nearest present node along each axis direction, weighted
    // by the inverse distance in nodes.
    Vector start(count * dim);
    const int dirs[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
    for (int j = 0; j < height; ++j) {
        for (int i = 0; i < width; ++i) {
            const int k = width * j + i;
            if (present(i, j)) {
                for (int c = 0; c < dim; ++c)
                    start[k * dim + c] = coordinate(k, c);
                continue;
            }
            double weightSum = 0.0;
            for (const auto& d : dirs) {
                int ii = i + d[0];
                int jj = j + d[1];
                int distance = 1;
                while (ii >= 0 && ii < width && jj >= 0 && jj < height && !present(ii, jj)) {
                    ii += d[0];
                    jj += d[1];
                    ++distance;
                }
                if (ii < 0 || ii >= width || jj < 0 || jj >= height)
                    continue;
                const double weight = 1.0 / distance;
                weightSum += weight;
                for (int c = 0; c < dim; ++c)
                    start[k * dim + c] += weight * coordinate(width * jj + ii, c);
            }
            if (weightSum > 0.0)
                for (int c = 0; c < dim; ++c)
                    start[k * dim + c] /= weightSum;
        }
    }

    // One row per node: the identity for present nodes; for a missing node
    // the node minus the mask average of its neighbours. Where the 3 x 3
    // block leaves the grid, the node's coefficient is the sum of the mask
    // entries that remain, so the row still sums to zero: a missing border
    // node then stays an average of its neighbours instead of being pulled
    // towards the coordinate origin. Inside the grid that sum is 1.
    SparseMatrix S(count, count);
    for (int j = 0; j < height; ++j) {
        for (int i = 0; i < width; ++i) {
            const int k = width * j + i;
            SparseMatrixRow& row = S[k];
            if (present(i, j)) {
                row.append(k, 1.0);
                continue;
            }
            row.reserve(9);
            row.append(k, 1.0);
            double inside = 0.0;
            bool interior = true;
            for (int dj = -1; dj <= 1; ++dj) {
                for (int di = -1; di <= 1; ++di) {
                    if (di == 0 && dj == 0)
                        continue;
                    const int ii = i + di;
                    const int jj = j + dj;
                    if (ii < 0 || ii >= width || jj < 0 || jj >= height) {
                        interior = false;
                        continue;
                    }
                    const double e = maskEntry(di, dj, w);
                    inside += e;
                    row.append(width * jj + ii, -e);
                }
            }
            if (!interior && inside > 1e-12)
                row.values[0] = inside;
        }
    }

    Vector b(count);
    Vector x(count);
    Vector solved(count * dim);
    for (int c = 0; c < dim; ++c) {
        for (int k = 0; k < count; ++k) {
            b[k] = grid[k].empty() ? 0.0 : coordinate(k, c);
            x[k] = start[k * dim + c];
        }
        sparseCG(&S, &b, &x, 5 * count, 1e-16);
        for (int k = 0; k < count; ++k)
            solved[k * dim + c] = x[k];
    }

    for (int k = 0; k < count; ++k) {
        Vector node(4);
        for (int c = 0; c < dim; ++c)
            node[c] = solved[k * dim + c];
        if (dim < 4)
            node[3] = 1.0;
        grid[k] = node;
    }
    return true;
}
