#include "geometry/SparseSolvers.h"

#include "foundation/MatrixThreads.h"
#include "foundation/Progress.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <vector>

namespace {

// Counts begin/step calls and cancels after a given number of steps; can run
// a callback on every step (to re-enter the solver).
class TestProgress : public CProgress {
public:
    bool isCancelled() override { return cancelAfter >= 0 && steps >= cancelAfter; }
    void begin(int from, int to) override
    {
        ++begins;
        beginTo = to;
        (void)from;
    }
    void step(int n) override
    {
        steps += n;
        if (onStep)
            onStep();
    }
    void reset(int) override {}
    bool setLabel(const char*) override { return true; }
    const char* getLabel() const override { return nullptr; }
    void setCancelled(bool c) override { cancelAfter = c ? 0 : -1; }

    int cancelAfter = -1;
    int steps = 0;
    int begins = 0;
    int beginTo = -1;
    std::function<void()> onStep;
};

// rows x cols matrix with a dominant entry per column and a few random ones
// per row: well conditioned, full column rank.
void fillWellConditioned(SparseMatrix& A, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-0.3, 0.3);
    std::uniform_int_distribution<int> col(0, A.columns - 1);
    for (int i = 0; i < A.rows; ++i) {
        A[i].append(i % A.columns, 2.0 + (i / A.columns));
        for (int k = 0; k < 3; ++k) {
            const int c = col(rng);
            if (c != i % A.columns)
                A[i].append(c, u(rng));
        }
    }
}

Vector randomVector(int n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    Vector v(n);
    for (int i = 0; i < n; ++i)
        v[i] = u(rng);
    return v;
}

Vector times(const SparseMatrix& A, const Vector& x)
{
    Vector y;
    A.multiply(x, y);
    return y;
}

bool sameBits(const Vector& a, const Vector& b)
{
    return a.n == b.n && std::memcmp(a.data, b.data, sizeof(double) * a.n) == 0;
}

struct LeastSquaresProblem {
    SparseMatrix A{60, 20};
    Vector solution = randomVector(20, 7);
    Vector b;
    LeastSquaresProblem()
    {
        fillWellConditioned(A, 3);
        A.multiply(solution, b);
    }
};

} // namespace

TEST(SparseLScg, NullOrIllSizedArgumentsReturnFltMaxAndLeaveX)
{
    LeastSquaresProblem p;
    Vector x = randomVector(20, 11);
    const Vector start = x;
    int iterations = -5;
    EXPECT_EQ(3.4028234663852886e38, sparseLScg(nullptr, &p.b, &x, 10, 0, 0.0, 0, &iterations));
    EXPECT_EQ(3.4028234663852886e38, sparseLScg(&p.A, nullptr, &x, 10, 0, 0.0, 0, &iterations));
    EXPECT_EQ(kSparseLScgFailed, sparseLScgSerial(nullptr, &p.b, &x, 10, 0, 0.0, 0, nullptr));
    Vector shortX(19);
    EXPECT_EQ(kSparseLScgFailed, sparseLScg(&p.A, &p.b, &shortX, 10, 0, 0.0, 0, nullptr));
    Vector shortB(59);
    EXPECT_EQ(kSparseLScgFailed, sparseLScg(&p.A, &shortB, &x, 10, 0, 0.0, 0, nullptr));
    p.A[5].columnIndices[0] = 20; // outside the matrix
    EXPECT_EQ(kSparseLScgFailed, sparseLScg(&p.A, &p.b, &x, 10, 0, 0.0, 0, nullptr));
    EXPECT_EQ(-5, iterations);
    EXPECT_TRUE(sameBits(start, x));
}

TEST(SparseLScg, ConsistentSystemIsSolvedWellBeforeMaxIter)
{
    LeastSquaresProblem p;
    TestProgress progress;
    p.A.progress = &progress;
    for (auto solver : {&sparseLScg, &sparseLScgSerial}) {
        Vector x(20);
        int iterations = -1;
        const double f = solver(&p.A, &p.b, &x, 500, 0, 0.0, 0, &iterations);
        EXPECT_GT(iterations, 0);
        EXPECT_LT(iterations, 100);
        const Vector g = multiplyTransposed(times(p.A, x) - p.b, p.A);
        EXPECT_TRUE(f <= 1e-16 || dot(g, g) <= 1e-14) << f;
        for (int i = 0; i < 20; ++i)
            EXPECT_NEAR(p.solution[i], x[i], 1e-7);
    }
    EXPECT_EQ(2, progress.begins);
    EXPECT_EQ(500, progress.beginTo);
}

TEST(SparseLScg, SharedAndSerialSolversAgreeBitForBit)
{
    LeastSquaresProblem p;
    Vector b = p.b + randomVector(60, 5) * 0.01; // inconsistent: a true least-squares fit
    Vector x1 = randomVector(20, 9), x2 = x1;
    int it1 = 0, it2 = 0;
    const double f1 = sparseLScg(&p.A, &b, &x1, 7, 0, 0.0, 0, &it1);
    const double f2 = sparseLScgSerial(&p.A, &b, &x2, 7, 0, 0.0, 0, &it2);
    EXPECT_EQ(f1, f2);
    EXPECT_EQ(8, it1); // stops once the count before the increment reached maxIter
    EXPECT_EQ(it1, it2);
    EXPECT_TRUE(sameBits(x1, x2));
}

TEST(SparseLScg, NormBoundUndoesTheStepThatLeavesIt)
{
    LeastSquaresProblem p;
    Vector x(20);
    int iterations = -1;
    // maxNorm 0 switches the bound off.
    sparseLScg(&p.A, &p.b, &x, 500, 0, 0.0, 0, &iterations);
    EXPECT_NEAR(norm(p.solution), norm(x), 1e-7);

    Vector start = randomVector(20, 4) * 0.01;
    Vector y = start;
    const double f0 = 0.5 * normSquared(times(p.A, y) - p.b);
    const double f = sparseLScg(&p.A, &p.b, &y, 500, 0, 0.5, 0, &iterations);
    EXPECT_TRUE(sameBits(start, y));
    EXPECT_EQ(0, iterations);
    EXPECT_DOUBLE_EQ(f0, f); // the value at the point x was put back to
}

TEST(SparseLScg, NonFiniteDataReportFailureNotPerfectFit)
{
    LeastSquaresProblem p;
    p.b[3] = std::numeric_limits<double>::quiet_NaN();
    Vector x = randomVector(20, 2);
    const Vector start = x;
    int iterations = -1;
    EXPECT_EQ(kSparseLScgFailed, sparseLScg(&p.A, &p.b, &x, 50, 0, 0.0, 0, &iterations));
    EXPECT_EQ(0, iterations);
    EXPECT_TRUE(sameBits(start, x));
    p.b[3] = 0.0;
    p.A[4].values[0] = std::numeric_limits<double>::infinity();
    EXPECT_EQ(kSparseLScgFailed, sparseLScgSerial(&p.A, &p.b, &x, 50, 0, 0.0, 0, nullptr));
    EXPECT_FALSE(InitNewSearchDirection(x, x)); // and the shared slots were freed
}

TEST(SparseLScg, CancellationReleasesSharedWorkStorage)
{
    LeastSquaresProblem p;
    TestProgress progress;
    progress.cancelAfter = 3;
    p.A.progress = &progress;
    Vector x(20);
    int iterations = -1;
    const double f = sparseLScg(&p.A, &p.b, &x, 500, 0, 0.0, 0, &iterations);
    EXPECT_EQ(2, iterations);
    EXPECT_GT(f, 1e-16);
    // No solve holds the shared slots any more.
    Vector g;
    EXPECT_FALSE(InitNewSearchDirection(x, x));
    EXPECT_EQ(kSparseLScgFailed, sparseLSObjective(1, g, x, 0.0));
    // And the next solve runs normally.
    p.A.progress = nullptr;
    sparseLScg(&p.A, &p.b, &x, 500, 0, 0.0, 0, &iterations);
    EXPECT_NEAR(p.solution[0], x[0], 1e-7);
}

TEST(SparseLScg, SolveStartedFromInsideASolveDoesNotDisturbIt)
{
    LeastSquaresProblem outer;
    LeastSquaresProblem inner;
    Vector reference(20);
    sparseLScg(&outer.A, &outer.b, &reference, 500, 0, 0.0, 0, nullptr);

    TestProgress progress;
    int innerSolves = 0;
    progress.onStep = [&] {
        Vector y(20);
        sparseLScg(&inner.A, &inner.b, &y, 500, 0, 0.0, 0, nullptr);
        EXPECT_NEAR(inner.solution[1], y[1], 1e-7);
        ++innerSolves;
    };
    outer.A.progress = &progress;
    Vector x(20);
    sparseLScg(&outer.A, &outer.b, &x, 500, 0, 0.0, 0, nullptr);
    EXPECT_GT(innerSolves, 0);
    EXPECT_TRUE(sameBits(reference, x));
}

TEST(SparseLScg, ThreadedProductsEqualSerialBitForBit)
{
    resetMatrixThreadSwitches();
    SparseMatrix A(997, 120);
    fillWellConditioned(A, 21);
    Vector b = randomVector(997, 22);
    Vector serial(120), threaded(120);
    int itSerial = 0, itThreaded = 0;
    const double fSerial = sparseLScg(&A, &b, &serial, 40, 0, 0.0, 0, &itSerial);

    multithreadingAllowed = true;
    matrixThreadsEnabled = true;
    if (processorCount() < 2) {
        resetMatrixThreadSwitches();
        GTEST_SKIP() << "one processor: the threaded path cannot run";
    }
    EXPECT_TRUE(matrixThreadsActive());
    const double fThreaded = sparseLScg(&A, &b, &threaded, 40, 0, 0.0, 0, &itThreaded);
    resetMatrixThreadSwitches();

    EXPECT_EQ(fSerial, fThreaded);
    EXPECT_EQ(itSerial, itThreaded);
    EXPECT_TRUE(sameBits(serial, threaded));
}

TEST(SparseCG, SolvesSymmetricSystemsAndStopsAtOnceOnASolution)
{
    // The 1-D Laplacian with a shift: symmetric positive definite.
    const int n = 30;
    SparseMatrix A(n, n);
    for (int i = 0; i < n; ++i) {
        if (i > 0)
            A[i].append(i - 1, -1.0);
        A[i].append(i, 2.5);
        if (i + 1 < n)
            A[i].append(i + 1, -1.0);
    }
    const Vector solution = randomVector(n, 8);
    Vector b;
    A.multiply(solution, b);
    Vector x(n);
    const double residual = sparseCG(&A, &b, &x, 5 * n, 1e-16);
    EXPECT_LE(residual, 1e-16);
    for (int i = 0; i < n; ++i)
        EXPECT_NEAR(solution[i], x[i], 1e-7);

    // Already a solution: r = 0, so p.q = 0 ends the loop before any step.
    Vector exact = solution;
    Vector exactB;
    A.multiply(exact, exactB);
    EXPECT_EQ(0.0, sparseCG(&A, &exactB, &exact, 5 * n, 1e-16));
    EXPECT_TRUE(sameBits(solution, exact));

    SparseMatrix tall(n + 1, n);
    Vector tallB(n + 1);
    EXPECT_EQ(std::numeric_limits<double>::max(), sparseCG(&tall, &tallB, &x, 10, 1e-16));
    EXPECT_EQ(std::numeric_limits<double>::max(), sparseCG(nullptr, &b, &x, 10, 1e-16));
}

namespace {

// r(x) = A x - b, J = A.
class LinearProblem : public CNLS {
public:
    LinearProblem(const SparseMatrix& A, const Vector& b)
        : CNLS(A.columns, A.rows), matrix(A), rhs(b)
    {
    }
    bool residuals(int mode, Vector& at, Vector& res, SparseMatrix& J) override
    {
        matrix.multiply(at, res);
        res -= rhs;
        if (mode == 1)
            for (int i = 0; i < J.rows; ++i)
                J[i] = matrix[i];
        return true;
    }
    bool applyStep(Vector& v, double alpha, const Vector& s) override
    {
        alphas.push_back(alpha);
        return CNLS::applyStep(v, alpha, s);
    }
    const SparseMatrix& matrix;
    Vector rhs;
    std::vector<double> alphas;
};

// Exponential fit r_i = a exp(c t_i) - y_i in the variables (a, c); the
// residual function rejects points beyond `limit` in the first variable.
class ExponentialFit : public CNLS {
public:
    ExponentialFit() : CNLS(2, 12) {}
    bool residuals(int mode, Vector& at, Vector& res, SparseMatrix& J) override
    {
        if (at[0] > limit)
            return false;
        visited.push_back(at[0]);
        for (int i = 0; i < m; ++i) {
            const double t = 0.1 * i;
            const double e = std::exp(at[1] * t);
            res[i] = at[0] * e - 3.0 * std::exp(-0.7 * t);
            if (mode == 1) {
                J[i].clear();
                J[i].append(0, e);
                J[i].append(1, at[0] * t * e);
            }
        }
        return true;
    }
    bool applyStep(Vector& v, double alpha, const Vector& s) override
    {
        CNLS::applyStep(v, alpha, s);
        steppedTo.push_back(v[0]);
        return true;
    }
    double limit = 1e300;
    std::vector<double> visited;
    std::vector<double> steppedTo;
};

} // namespace

TEST(CNLS, LinearProblemConvergesInOneFullGaussNewtonStep)
{
    LeastSquaresProblem p;
    LinearProblem problem(p.A, p.b);
    EXPECT_EQ(-1.0, problem.gradNorm2);
    EXPECT_TRUE(problem.solve(20));
    ASSERT_EQ(1u, problem.alphas.size());
    EXPECT_EQ(-1.0, problem.alphas[0]); // t = 1
    EXPECT_LT(problem.gradNorm2, 1e-8);
    for (int i = 0; i < 20; ++i)
        EXPECT_NEAR(p.solution[i], problem.x[i], 1e-7);
}

TEST(CNLS, NonlinearFitConverges)
{
    ExponentialFit fit;
    fit.x[0] = 1.0;
    fit.x[1] = 0.0;
    EXPECT_TRUE(fit.solve(50));
    EXPECT_NEAR(3.0, fit.x[0], 1e-5);
    EXPECT_NEAR(-0.7, fit.x[1], 1e-5);
}

TEST(CNLS, NeverStepsToATrialPointTheResidualsRejected)
{
    // r(x) = x - 10 from x = 0: the full step lands on 10, which is rejected.
    SparseMatrix A(1, 1);
    A[0].append(0, 1.0);
    Vector b(1);
    b[0] = 10.0;
    class Bounded : public LinearProblem {
    public:
        using LinearProblem::LinearProblem;
        bool residuals(int mode, Vector& at, Vector& res, SparseMatrix& J) override
        {
            if (at[0] > 5.0)
                return false;
            return LinearProblem::residuals(mode, at, res, J);
        }
    } problem(A, b);
    EXPECT_FALSE(problem.solve(10));
    EXPECT_TRUE(problem.alphas.empty());
    EXPECT_EQ(0.0, problem.x[0]);

    // The same with the nonlinear fit: every point stepped to was accepted.
    ExponentialFit fit;
    fit.x[0] = 1.0;
    fit.limit = 2.0;
    fit.solve(30);
    for (double v : fit.steppedTo)
        EXPECT_LE(v, 2.0);
    EXPECT_LE(fit.x[0], 2.0);
}

TEST(CNLS, FailingJacobianHookStopsBeforeTheFirstIteration)
{
    class Refusing : public ExponentialFit {
    public:
        bool prepareJacobian(SparseMatrix& J) override
        {
            EXPECT_EQ(12, J.rows);
            EXPECT_EQ(2, J.columns);
            return false;
        }
    } fit;
    EXPECT_FALSE(fit.solve(10));
    EXPECT_TRUE(fit.visited.empty());
    EXPECT_EQ(-1.0, fit.gradNorm2);
}

namespace {

std::vector<Vector> affineGrid(int width, int height, const Vector& origin)
{
    std::vector<Vector> grid;
    for (int j = 0; j < height; ++j)
        for (int i = 0; i < width; ++i)
            grid.push_back(origin + Vector(1.0 * i + 0.2 * j, 0.5 * j, 0.3 * i - 0.1 * j));
    return grid;
}

} // namespace

TEST(FairControlNet, CompleteGridKeepsPointsAndGainsUnitWeight)
{
    std::vector<Vector> grid = affineGrid(4, 3, Vector(1.0, 2.0, 3.0));
    const std::vector<Vector> original = grid;
    ASSERT_TRUE(fairControlNet(grid.data(), 4, 3, 0.98));
    for (size_t k = 0; k < grid.size(); ++k) {
        ASSERT_EQ(4, grid[k].n);
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(original[k][c], grid[k][c]);
        EXPECT_EQ(1.0, grid[k][3]);
    }
}

TEST(FairControlNet, MissingInteriorNodesOfAnAffineGridAreRecovered)
{
    const Vector origin(-4.0, 7.0, 1.5);
    std::vector<Vector> grid = affineGrid(7, 6, origin);
    const std::vector<Vector> original = grid;
    for (int k : {8, 9, 16, 17, 24, 30})
        grid[k] = Vector();
    ASSERT_TRUE(fairControlNet(grid.data(), 7, 6, 0.98));
    for (size_t k = 0; k < grid.size(); ++k)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(original[k][c], grid[k][c], 1e-7) << k;

    // Weights given with the points are kept and filled like coordinates.
    std::vector<Vector> weighted(3);
    weighted[0] = Vector(4);
    weighted[0][3] = 2.0;
    weighted[2] = Vector(4);
    weighted[2][0] = 2.0;
    weighted[2][3] = 4.0;
    ASSERT_TRUE(fairControlNet(weighted.data(), 3, 1, 0.5));
    EXPECT_NEAR(1.0, weighted[1][0], 1e-12);
    EXPECT_NEAR(3.0, weighted[1][3], 1e-12);
}

TEST(FairControlNet, MissingBorderNodeIsNotPulledTowardsTheOrigin)
{
    // A missing node on the grid border must move with the grid: fairing the
    // translated grid gives the translated result.
    const Vector shift(1000.0, -2000.0, 500.0);
    std::vector<Vector> near = affineGrid(5, 4, Vector(0.0, 0.0, 0.0));
    std::vector<Vector> far = affineGrid(5, 4, shift);
    for (int k : {0, 2, 19}) {
        near[k] = Vector();
        far[k] = Vector();
    }
    ASSERT_TRUE(fairControlNet(near.data(), 5, 4, 0.98));
    ASSERT_TRUE(fairControlNet(far.data(), 5, 4, 0.98));
    for (size_t k = 0; k < near.size(); ++k)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(near[k][c] + shift[c], far[k][c], 1e-6) << k;
    // The filled corner lies among its neighbours, not near the origin.
    EXPECT_NEAR(far[1][0], far[0][0], 1.5);
    EXPECT_NEAR(far[5][1], far[0][1], 1.5);
}

TEST(FairControlNet, RefusesUnusableGrids)
{
    std::vector<Vector> empty(6);
    EXPECT_FALSE(fairControlNet(empty.data(), 3, 2, 0.98));
    EXPECT_FALSE(fairControlNet(nullptr, 3, 2, 0.98));
    std::vector<Vector> wide(2, Vector(5));
    EXPECT_FALSE(fairControlNet(wide.data(), 2, 1, 0.98));
    EXPECT_EQ(5, wide[0].n);
    EXPECT_FALSE(fairControlNet(wide.data(), 0, 1, 0.98));
}
