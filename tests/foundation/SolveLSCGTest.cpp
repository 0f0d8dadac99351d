#include "foundation/SolveLSCG.h"

#include "foundation/Matrix.h"
#include "foundation/Progress.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

class StopAfter : public CProgress {
public:
    explicit StopAfter(int n) : limit(n) {}
    bool isCancelled() override { return steps >= limit; }
    void begin(int, int to) override { beginTo = to; }
    void step(int n) override { steps += n; }
    void reset(int) override { ++resets; }
    bool setLabel(const char*) override { return true; }
    const char* getLabel() const override { return nullptr; }
    void setCancelled(bool) override {}
    int limit;
    int steps = 0;
    int resets = 0;
    int beginTo = -1;
};

int countOccurrences(const std::string& text, const std::string& word)
{
    int count = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        ++count;
    return count;
}

} // namespace

TEST(CountEntriesByType, IsTheTransposedProductForEveryStorage)
{
    Matrix full(3, 2);
    full.at(0, 0) = 1.0;
    full.at(0, 1) = 2.0;
    full.at(1, 0) = -1.0;
    full.at(2, 1) = 4.0;
    Vector x(1.0, 2.0, 3.0);
    Vector y(7); // resized to the column count
    countEntriesByType(y, x, full);
    ASSERT_EQ(2, y.n);
    EXPECT_EQ(-1.0, y[0]);
    EXPECT_EQ(14.0, y[1]);

    Matrix sym(3, SymmetricMatrix);
    sym.at(1, 0) = 2.0; // also (0, 1)
    sym.at(2, 2) = 5.0;
    countEntriesByType(y, x, sym);
    EXPECT_EQ(4.0, y[0]);
    EXPECT_EQ(2.0, y[1]);
    EXPECT_EQ(15.0, y[2]);

    Matrix diagonal(3, DiagonalMatrix);
    diagonal.at(0, 0) = 2.0;
    diagonal.at(2, 2) = -1.0;
    countEntriesByType(y, x, diagonal);
    EXPECT_EQ(2.0, y[0]);
    EXPECT_EQ(0.0, y[1]);
    EXPECT_EQ(-3.0, y[2]);
}

TEST(SolveLScg, FullMatrixGivesTheLeastSquaresSolution)
{
    std::mt19937 rng(12);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    Matrix A(9, 3);
    Vector b(9);
    for (int i = 0; i < 9; ++i) {
        for (int j = 0; j < 3; ++j)
            A.at(i, j) = u(rng) + (i % 3 == j ? 2.0 : 0.0);
        b[i] = u(rng);
    }
    Vector x(3);
    testing::internal::CaptureStdout();
    const double f = solveLScg(&A, &b, &x, 100);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::string::npos, out.find("not supported"));
    EXPECT_GT(countOccurrences(out, "residual="), 0);
    // Optimality of a least-squares solution: A^T (A x - b) = 0.
    Vector r = A * x - b;
    Vector g;
    countEntriesByType(g, r, A);
    EXPECT_LT(norm(g), 1e-6);
    EXPECT_GT(norm(r), 0.1); // an inconsistent system
    EXPECT_NEAR(0.5 * dot(r, r), f, 1e-10);
}

TEST(SolveLScg, PackedSymmetricMatrixIsReportedAndStillSolved)
{
    Matrix S(3, SymmetricMatrix);
    S.at(0, 0) = 4.0;
    S.at(1, 1) = 3.0;
    S.at(2, 2) = 5.0;
    S.at(1, 0) = 1.0;
    S.at(2, 1) = -1.0;
    Vector solution(1.0, -2.0, 0.5);
    Vector b(3);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            b[i] += S.at(i, j) * solution[j];
    Vector x(3);
    testing::internal::CaptureStdout();
    solveLScg(&S, &b, &x, 200);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(0u, out.find(" Matrix Type is not supported by solveLScg \n"));
    for (int j = 0; j < 3; ++j)
        EXPECT_NEAR(solution[j], x[j], 1e-6);

    Matrix D(2, DiagonalMatrix);
    D.at(0, 0) = 2.0;
    D.at(1, 1) = 4.0;
    Vector bd(2);
    bd[0] = 1.0;
    bd[1] = 1.0;
    Vector xd(2);
    testing::internal::CaptureStdout();
    solveLScg(&D, &bd, &xd, 50);
    testing::internal::GetCapturedStdout();
    EXPECT_NEAR(0.5, xd[0], 1e-7);
    EXPECT_NEAR(0.25, xd[1], 1e-7);
}

TEST(SolveLScg, CancellationEndsTheSolveEarly)
{
    Matrix A(4, 4);
    for (int i = 0; i < 4; ++i) {
        A.at(i, i) = 1.0 + i;
        if (i > 0)
            A.at(i, i - 1) = 0.5;
    }
    Vector b(4);
    b.fill(1.0);
    StopAfter progress(1);
    A.progress = &progress;
    Vector x(4);
    testing::internal::CaptureStdout();
    CSolveLSCG solver(&A, &b, &x, 40);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(40, progress.beginTo);
    EXPECT_EQ(1, progress.resets);
    EXPECT_EQ(1, progress.steps); // the first gradient cancels
    EXPECT_EQ(0, countOccurrences(out, "residual="));
    EXPECT_EQ(0.0, solver.result);
    EXPECT_EQ(0, solver.m_iter);
}

TEST(SolveLScg, NullOrIllSizedArgumentsSolveNothing)
{
    Matrix A(3, 2);
    Vector b(3), x(2), wrongX(3);
    EXPECT_EQ(3.4028234663852886e38, solveLScg(nullptr, &b, &x, 10));
    EXPECT_EQ(3.4028234663852886e38, solveLScg(&A, nullptr, &x, 10));
    EXPECT_EQ(3.4028234663852886e38, solveLScg(&A, &b, nullptr, 10));
    wrongX[0] = 7.0;
    EXPECT_EQ(3.4028234663852886e38, solveLScg(&A, &b, &wrongX, 10));
    EXPECT_EQ(7.0, wrongX[0]);
}
