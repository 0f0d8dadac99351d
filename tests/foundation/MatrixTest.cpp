#include "foundation/Matrix.h"

#include "foundation/Progress.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

namespace {

using Dense = std::vector<std::vector<double>>;

Dense randomDense(int rows, int cols, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    Dense a(rows, std::vector<double>(cols));
    for (auto& row : a)
        for (double& v : row)
            v = dist(gen);
    return a;
}

// a * b
Dense product(const Dense& a, const Dense& b)
{
    Dense c(a.size(), std::vector<double>(b[0].size(), 0.0));
    for (size_t i = 0; i < a.size(); ++i)
        for (size_t k = 0; k < b.size(); ++k)
            for (size_t j = 0; j < b[0].size(); ++j)
                c[i][j] += a[i][k] * b[k][j];
    return c;
}

Matrix fullFrom(const Dense& a)
{
    Matrix m(static_cast<int>(a.size()), static_cast<int>(a[0].size()));
    for (int i = 0; i < m.rows; ++i)
        for (int j = 0; j < m.cols; ++j)
            m.at(i, j) = a[i][j];
    return m;
}

Matrix symmetricFrom(const Dense& a, MatrixType type)
{
    Matrix m(static_cast<int>(a.size()), type);
    for (int i = 0; i < m.rows; ++i)
        for (int j = 0; j <= i; ++j)
            m.at(i, j) = a[i][j];
    return m;
}

// A + A^T + n I: symmetric positive definite.
Dense spd(int n, unsigned seed)
{
    Dense a = randomDense(n, n, seed);
    Dense s(n, std::vector<double>(n));
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            s[i][j] = a[i][j] + a[j][i] + (i == j ? n : 0.0);
    return s;
}

Vector denseTimes(const Dense& a, const Vector& x)
{
    Vector y(static_cast<int>(a.size()));
    for (size_t i = 0; i < a.size(); ++i)
        for (size_t j = 0; j < a[i].size(); ++j)
            y[static_cast<int>(i)] += a[i][j] * x[static_cast<int>(j)];
    return y;
}

Vector randomVector(int n, unsigned seed)
{
    Dense d = randomDense(1, n, seed);
    return Vector(d[0].data(), n);
}

double maxDiff(const Vector& a, const Vector& b)
{
    EXPECT_EQ(a.n, b.n);
    double m = 0.0;
    for (int i = 0; i < std::min(a.n, b.n); ++i)
        m = std::max(m, std::fabs(a[i] - b[i]));
    return m;
}

// Z has orthonormal columns, each orthogonal to every column of a.
void expectOrthonormalComplement(Matrix& z, const Dense& a, double tol)
{
    for (int p = 0; p < z.cols; ++p) {
        for (int q = 0; q < z.cols; ++q) {
            double s = 0.0;
            for (int r = 0; r < z.rows; ++r)
                s += z.at(r, p) * z.at(r, q);
            EXPECT_NEAR(s, p == q ? 1.0 : 0.0, tol);
        }
        for (size_t c = 0; c < a[0].size(); ++c) {
            double s = 0.0;
            for (int r = 0; r < z.rows; ++r)
                s += z.at(r, p) * a[r][c];
            EXPECT_NEAR(s, 0.0, tol);
        }
    }
}

// Counts steps and cancels after a given number of them.
class CancelAfter : public CSimpleProgress {
public:
    explicit CancelAfter(int steps) : limit(steps) { setPrint(false); }
    void step(int n) override { taken += n; }
    bool isCancelled() override { return taken > limit; }
    int limit;
    int taken = 0;
};

} // namespace

TEST(Matrix, StorageKindsAndEntryAccess)
{
    Matrix sym(3, SymmetricMatrix);
    sym.at(0, 2) = 4.0;
    EXPECT_EQ(sym.at(2, 0), 4.0);
    EXPECT_EQ(sym.rowData[2].n, 3);
    EXPECT_EQ(sym.rowData[0].n, 1);

    Matrix empty(0, 0);
    EXPECT_EQ(empty.rowData, nullptr);
    Vector y;
    empty.multiply(Vector(), y);
    EXPECT_EQ(y.n, 0);
    EXPECT_EQ(empty.factorize(0, 2.2e-16), FactorizeDone);

    Matrix copy = sym;
    copy.at(1, 1) = 7.0;
    EXPECT_EQ(sym.at(1, 1), 0.0);
    EXPECT_EQ(copy.at(0, 2), 4.0);

    sym.resize(2, 3);
    EXPECT_EQ(sym.type, FullMatrix);
    EXPECT_EQ(sym.at(1, 2), 0.0);
}

TEST(Matrix, DiagonalOffDiagonalWriteDoesNotCorruptLaterReads)
{
    Matrix d(3, DiagonalMatrix);
    d.at(1, 1) = 2.0;
    d.at(0, 1) = 9.0; // lands in the shared zero
    EXPECT_EQ(d.at(2, 0), 0.0);
    Vector y;
    d.multiply(Vector(1.0, 1.0, 1.0), y);
    EXPECT_EQ(maxDiff(y, Vector(0.0, 2.0, 0.0)), 0.0);
}

TEST(Matrix, UnknownTypeReportsAndProcessGoesOn)
{
    CaptureStderr();
    Matrix m(3, static_cast<MatrixType>(7));
    Vector y(1.0, 2.0, 3.0);
    m.multiply(Vector(1.0, 1.0, 1.0), y);
    std::string err = GetCapturedStderr();
    EXPECT_NE(err.find("unknown Matrix-type"), std::string::npos);
    EXPECT_NE(err.find("no known method for Ax"), std::string::npos);
    EXPECT_EQ(m.rows, 0);
    EXPECT_EQ(y[2], 3.0);
}

TEST(Matrix, ProductAgreesBeforeAndAfterEveryFactorisation)
{
    const int n = 7;
    Dense s = spd(n, 3);
    Dense full = randomDense(9, n, 4);
    Vector x = randomVector(n, 5);
    Vector expectedSym = denseTimes(s, x);
    Vector expectedFull = denseTimes(full, x);

    for (MatrixType t : {SymmetricMatrix, SymmetricLLtMatrix}) {
        Matrix m = symmetricFrom(s, t);
        Vector y;
        EXPECT_LT(maxDiff(m.multiply(x, y), expectedSym), 1e-12);
        ASSERT_EQ(m.factorize(0, 2.2e-16), FactorizeDone);
        EXPECT_EQ(m.type, FactorizedMatrix);
        EXPECT_LT(maxDiff(m.multiply(x, y), expectedSym), 1e-12);
    }
    Matrix f = fullFrom(full);
    Vector y;
    EXPECT_LT(maxDiff(f.multiply(x, y), expectedFull), 1e-12);
    EXPECT_LT(maxDiff(mulMatrixVector(f, x), expectedFull), 1e-12);
    ASSERT_EQ(f.factorize(0, 2.2e-16), FactorizeDone);
    EXPECT_LT(maxDiff(f.multiply(x, y), expectedFull), 1e-12);

    Dense wide = randomDense(4, n, 6); // fewer rows than columns
    Matrix w = fullFrom(wide);
    ASSERT_EQ(w.factorize(0, 2.2e-16), FactorizeDone);
    EXPECT_LT(maxDiff(w.multiply(x, y), denseTimes(wide, x)), 1e-12);
}

TEST(Matrix, MultiplyWithSameVectorComputesIntoTemporary)
{
    Dense a = {{1, 2, 0}, {0, 1, 3}, {4, 0, 1}};
    Matrix m = fullFrom(a);
    Vector x(1.0, 2.0, 3.0);
    Vector expected = denseTimes(a, x);
    CaptureStdout();
    m.multiply(x, x);
    EXPECT_NE(GetCapturedStdout().find(" A*x will go wron!"), std::string::npos);
    EXPECT_EQ(maxDiff(x, expected), 0.0);
}

TEST(Matrix, HouseholderSingularFirstColumn)
{
    Dense a = {{0, 1}, {0, 2}, {0, 3}};
    Matrix m = fullFrom(a);
    EXPECT_EQ(m.factorize(0, 2.2e-16), FactorizeSingular);
    EXPECT_EQ(m.singularColumn, 0);

    Matrix r = fullFrom(a);
    EXPECT_EQ(r.factorize(1, 2.2e-16), FactorizeRegularized);
    EXPECT_EQ(r.factorize(1, 2.2e-16), FactorizeDone); // no work the second time
    Vector x;
    EXPECT_TRUE(r.solve(x, Vector(1.0, 2.0, 3.0)));
    EXPECT_NEAR(x[1], 1.0, 1e-12);
}

TEST(Matrix, FailedFactorizationIsRemembered)
{
    Dense a = {{0, 1}, {0, 2}, {0, 3}};
    Matrix qr = fullFrom(a);
    ASSERT_EQ(qr.factorize(0, 2.2e-16), FactorizeSingular);
    EXPECT_EQ(qr.factorize(0, 2.2e-16), FactorizeSingular);
    Vector x(5.0, 6.0, 7.0);
    EXPECT_FALSE(qr.solve(x, Vector(1.0, 2.0, 3.0)));
    EXPECT_EQ(x[0], 5.0);
    EXPECT_EQ(qr.computeZ(), nullptr);
    // The partly factorised matrix still multiplies as built.
    Vector y;
    Vector v(2.0, -1.0, 0.0);
    EXPECT_LT(maxDiff(qr.multiply(v, y), denseTimes(a, v)), 1e-12);

    // LDLt with a zero pivot in the second row.
    Dense s = {{1, 1, 2}, {1, 1, 0}, {2, 0, 3}};
    Matrix ldlt = symmetricFrom(s, SymmetricMatrix);
    ASSERT_EQ(ldlt.factorize(0, 2.2e-16), FactorizeSingular);
    EXPECT_EQ(ldlt.factorize(1, 2.2e-16), FactorizeSingular);
    EXPECT_FALSE(ldlt.solve(x, v));
    EXPECT_LT(maxDiff(ldlt.multiply(v, y), denseTimes(s, v)), 1e-12);
}

TEST(Matrix, LeastSquaresAgreesWithNormalEquations)
{
    Dense a = randomDense(40, 6, 11);
    Vector b = randomVector(40, 12);
    Matrix qr = fullFrom(a);
    ASSERT_EQ(qr.factorize(0, 2.2e-16), FactorizeDone);
    Vector x;
    ASSERT_TRUE(qr.solve(x, b));

    // Normal equations A^T A x = A^T b through columnDot of the unfactorised A.
    Matrix plain = fullFrom(a);
    Dense ata(6, std::vector<double>(6));
    Vector atb(6);
    for (int i = 0; i < 6; ++i) {
        for (int j = 0; j < 6; ++j)
            ata[i][j] = plain.columnDot(0, i, j);
        for (int r = 0; r < 40; ++r)
            atb[i] += a[r][i] * b[r];
    }
    for (MatrixType t : {SymmetricLLtMatrix, SymmetricMatrix}) {
        Matrix normal = symmetricFrom(ata, t);
        ASSERT_EQ(normal.factorize(0, 2.2e-16), FactorizeDone);
        Vector xn;
        ASSERT_TRUE(normal.solve(xn, atb));
        EXPECT_LT(maxDiff(x, xn), 1e-10);
    }
}

TEST(Matrix, LLtNotPositiveDefinitePrintsPivotAndColumn)
{
    Dense s = {{1, 2}, {2, 1}}; // second pivot 1 - 4 = -3
    Matrix m = symmetricFrom(s, SymmetricLLtMatrix);
    CaptureStdout();
    EXPECT_EQ(m.factorize(0, 2.2e-16), FactorizeSingular);
    EXPECT_EQ(GetCapturedStdout(), "LLt singular or not pos def. -3 col=1\n");

    Matrix r = symmetricFrom(s, SymmetricLLtMatrix);
    CaptureStdout();
    EXPECT_EQ(r.factorize(1, 2.2e-16), FactorizeRegularized);
    GetCapturedStdout();
    EXPECT_DOUBLE_EQ(r.rowData[1][1], 3.8612069756150545e-41);
}

TEST(Matrix, ComputeZ)
{
    Dense a = {{1}, {2}, {2}};
    Matrix m = fullFrom(a);
    ASSERT_EQ(m.factorize(0, 2.2e-16), FactorizeDone);
    Matrix* z = m.computeZ();
    ASSERT_NE(z, nullptr);
    EXPECT_EQ(z->rows, 3);
    EXPECT_EQ(z->cols, 2);
    expectOrthonormalComplement(*z, a, 1e-14);
    Matrix target(3, 2);
    EXPECT_EQ(m.computeZ(&target), &target);
    delete z;

    Matrix square = fullFrom(randomDense(3, 3, 1));
    square.factorize(0, 2.2e-16);
    std::unique_ptr<Matrix> none(square.computeZ());
    EXPECT_EQ(none->rows, 0);

    Matrix sym(2, SymmetricMatrix);
    CaptureStderr();
    EXPECT_EQ(sym.computeZ(), nullptr);
    EXPECT_EQ(GetCapturedStderr(), "Z-computation only for HouseholderQR, sorry\n");
}

TEST(Matrix, ColumnRemovalLeavesRankAndOrthonormalNullSpace)
{
    struct Case {
        int rows, cols, rank;
    };
    for (Case c : {Case{8, 5, 3}, Case{6, 6, 2}, Case{4, 7, 3}, Case{5, 3, 3}, Case{6, 3, 0}}) {
        // Columns of a rank-r product, plus an exact copy of column 0 at the end.
        Dense a;
        if (c.rank > 0)
            a = product(randomDense(c.rows, c.rank, c.rows), randomDense(c.rank, c.cols, c.cols));
        else
            a = Dense(c.rows, std::vector<double>(c.cols, 0.0));
        for (auto& row : a)
            row.push_back(row[0]);
        Matrix m = fullFrom(a);
        const int before = m.cols;
        const int result = m.factorize(2, 1e-10);
        EXPECT_EQ(result, FactorizeColumnsRemoved) << c.rows << "x" << c.cols;
        EXPECT_EQ(m.cols, c.rank);
        EXPECT_EQ(static_cast<int>(m.removedColumns.size()), before - c.rank);
        std::unique_ptr<Matrix> z(m.computeZ());
        ASSERT_NE(z, nullptr);
        EXPECT_EQ(z->cols, c.rows - c.rank);
        if (z->cols > 0)
            expectOrthonormalComplement(*z, a, 1e-12);
    }
}

TEST(Matrix, ColumnRemovalKeepsIndependentColumnsAndSolves)
{
    // Column 1 is twice column 0; columns 0, 2, 3 are independent.
    Dense a = {{1, 2, 0, 1}, {0, 0, 1, 1}, {1, 2, 1, 0}, {2, 4, 0, 0}, {0, 0, 3, 1}};
    Matrix m = fullFrom(a);
    ASSERT_EQ(m.factorize(2, 1e-10), FactorizeColumnsRemoved);
    EXPECT_EQ(m.removedColumns, std::vector<int>{1});
    EXPECT_EQ(m.singularColumn, 1);
    // Least squares over the retained columns 0, 2, 3 reproduces a combination of them.
    Vector coeff(0.5, -2.0, 3.0);
    Vector b(5);
    for (int r = 0; r < 5; ++r)
        b[r] = 0.5 * a[r][0] - 2.0 * a[r][2] + 3.0 * a[r][3];
    Vector x;
    ASSERT_TRUE(m.solve(x, b));
    EXPECT_LT(maxDiff(x, coeff), 1e-12);
    Vector y;
    EXPECT_LT(maxDiff(m.multiply(coeff, y), b), 1e-12);
}

TEST(Matrix, ExtremeEigenvaluesOfDiagonal)
{
    Dense d = {{1, 0, 0}, {0, 2, 0}, {0, 0, 5}};
    Matrix diagonal(3, DiagonalMatrix);
    for (int i = 0; i < 3; ++i)
        diagonal.at(i, i) = d[i][i];
    std::vector<Matrix> forms;
    forms.push_back(std::move(diagonal));
    forms.push_back(symmetricFrom(d, SymmetricMatrix));
    forms.push_back(symmetricFrom(d, SymmetricLLtMatrix));
    forms.push_back(fullFrom(d));
    for (Matrix& m : forms) {
        Vector x;
        EXPECT_NEAR(m.largestEigenvalue(x), 5.0, 1e-8) << "type " << m.type;
        EXPECT_NEAR(std::fabs(x[2]), 1.0, 1e-6);
        Vector v;
        EXPECT_NEAR(m.smallestEigenvalue(v), 1.0, 1e-8) << "type " << m.type;
        EXPECT_NEAR(std::fabs(v[0]), 1.0, 1e-6);
    }
}

TEST(Matrix, SmallestEigenvalueOfSingularMatrixIsZero)
{
    Dense s = {{1, 1, 0}, {1, 1, 0}, {0, 0, 2}};
    Matrix sym = symmetricFrom(s, SymmetricMatrix);
    Vector x;
    EXPECT_EQ(sym.smallestEigenvalue(x), 0.0);
    Matrix full = fullFrom(s);
    EXPECT_EQ(full.smallestEigenvalue(x), 0.0);
    Matrix diagonal(2, DiagonalMatrix);
    diagonal.at(0, 0) = 3.0;
    EXPECT_EQ(diagonal.smallestEigenvalue(x), 0.0);
}

TEST(Matrix, ConjugateGradients)
{
    const int n = 12;
    Dense s = spd(n, 21);
    Matrix m = symmetricFrom(s, SymmetricMatrix);
    Vector expected = randomVector(n, 22);
    Vector b = denseTimes(s, expected);
    Vector x(n);
    MatrixCGResult r = m.solveCG(b, x, 2.0, 1e-24, false);
    EXPECT_TRUE(r.converged);
    EXPECT_LT(maxDiff(x, expected), 1e-10);

    Vector zero(n);
    r = m.solveCG(Vector(n), zero, 2.0, 0.0, false);
    EXPECT_EQ(r.iterations, 1);
    EXPECT_EQ(normSquared(zero), 0.0);

    CancelAfter sink(3);
    m.progress = &sink;
    Vector xc(n);
    r = m.solveCG(b, xc, 2.0, 0.0, true);
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(r.iterations, 3);
}

TEST(Matrix, CancelledFactorizationIsAFailure)
{
    Dense s = spd(6, 31);
    Matrix m = symmetricFrom(s, SymmetricMatrix);
    CancelAfter sink(2);
    m.progress = &sink;
    EXPECT_EQ(m.factorize(0, 2.2e-16), FactorizeSingular);
    EXPECT_EQ(m.type, FactorizedMatrix);
    Vector x;
    Vector v = randomVector(6, 32);
    EXPECT_FALSE(m.solve(x, v));
    Vector y;
    EXPECT_LT(maxDiff(m.multiply(v, y), denseTimes(s, v)), 1e-12);

    Matrix q = fullFrom(randomDense(6, 4, 33));
    CancelAfter qsink(1);
    q.progress = &qsink;
    EXPECT_EQ(q.factorize(2, 1e-10), FactorizeSingular);
    EXPECT_FALSE(q.solve(x, v));
}

TEST(Matrix, RemoveRow)
{
    Dense a = {{1, 2}, {3, 4}, {5, 6}};
    Matrix m = fullFrom(a);
    EXPECT_TRUE(m.removeRow(0));
    EXPECT_EQ(m.rows, 2);
    EXPECT_EQ(m.at(0, 0), 3.0);
    EXPECT_EQ(m.at(1, 1), 6.0);
    EXPECT_TRUE(m.removeRow(1));
    EXPECT_EQ(m.rows, 1);
    EXPECT_EQ(m.at(0, 1), 4.0);

    Matrix f = fullFrom(a);
    f.factorize(0, 2.2e-16);
    Matrix before = f;
    CaptureStderr();
    EXPECT_FALSE(f.removeRow(1));
    std::string err = GetCapturedStderr();
    EXPECT_EQ(err.rfind("tried to delete row [", 0), 0u);
    EXPECT_NE(err.find("] impossible on matrix\n"), std::string::npos);
    EXPECT_EQ(f.rows, 3);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 2; ++j)
            EXPECT_EQ(f.at(i, j), before.at(i, j));

    Matrix sym(2, SymmetricMatrix);
    CaptureStderr();
    EXPECT_FALSE(sym.removeRow(0));
    EXPECT_FALSE(GetCapturedStderr().empty());
    EXPECT_EQ(sym.rows, 2);
}
