#include "geometry/SparseMatrix.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// A random sparse matrix and its dense twin.
struct Pair {
    SparseMatrix sparse;
    std::vector<std::vector<double>> dense;
    Pair(int rows, int cols, unsigned seed)
        : sparse(rows, cols), dense(rows, std::vector<double>(cols, 0.0))
    {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> value(-1.0, 1.0);
        for (int i = 0; i < rows; ++i) {
            for (int j = 0; j < cols; ++j) {
                if (rng() % 3 == 0) {
                    const double v = value(rng);
                    EXPECT_TRUE(sparse[i].append(j, v));
                    dense[i][j] = v;
                }
            }
        }
    }
};

} // namespace

TEST(SparseMatrix, ProductsMatchTheDenseMatrix)
{
    Pair m(7, 5, 3);
    Vector x(5), y;
    for (int j = 0; j < 5; ++j)
        x[j] = 0.5 * j - 1.0;
    m.sparse.multiply(x, y);
    ASSERT_EQ(y.n, 7);
    for (int i = 0; i < 7; ++i) {
        double expected = 0.0;
        for (int j = 0; j < 5; ++j)
            expected += m.dense[i][j] * x[j];
        EXPECT_NEAR(y[i], expected, 1e-15);
    }

    Vector r(7);
    for (int i = 0; i < 7; ++i)
        r[i] = 1.0 + i;
    Vector t = multiplyTransposed(r, m.sparse);
    ASSERT_EQ(t.n, 5);
    for (int j = 0; j < 5; ++j) {
        double expected = 0.0;
        for (int i = 0; i < 7; ++i)
            expected += m.dense[i][j] * r[i];
        EXPECT_NEAR(t[j], expected, 1e-14);
    }
}

TEST(SparseMatrixRow, AppendGrowsAndRejectsColumnsOutsideTheMatrix)
{
    SparseMatrixRow row(0, 100);
    for (int k = 0; k < 40; ++k)
        ASSERT_TRUE(row.append(k * 2, k + 0.5));
    EXPECT_EQ(row.count, 40);
    EXPECT_GE(row.capacity, 40);
    EXPECT_FALSE(row.append(100, 1.0));
    EXPECT_FALSE(row.append(-1, 1.0));
    EXPECT_EQ(row.count, 40);
    EXPECT_EQ(row.columnIndices[39], 78);
    EXPECT_EQ(row.values[39], 39.5);

    SparseMatrixRow copy(row);
    row.values[0] = 99.0;
    EXPECT_EQ(copy.values[0], 0.5);
    EXPECT_EQ(copy.count, 40);
    SparseMatrixRow assigned;
    assigned = copy;
    EXPECT_EQ(assigned.columnIndices[10], 20);
    EXPECT_EQ(assigned.columnCount, 100);

    SparseMatrixRow sized(5, 9);
    EXPECT_EQ(sized.values.n, 5);
    EXPECT_EQ(sized.count, 0);
}

TEST(SparseMatrixRow, GatherKeepsSignificantEntriesInListOrder)
{
    Vector dense(6);
    dense[0] = 1.0;
    dense[1] = 1e-17;
    dense[2] = -3.0;
    dense[4] = 5.0;
    const int indices[] = {4, 1, 0, 2, 3, 9};
    SparseMatrixRow row;
    row.gather(dense, indices, 6);
    EXPECT_EQ(row.columnCount, 6);
    ASSERT_EQ(row.count, 3);
    EXPECT_EQ(row.columnIndices[0], 4);
    EXPECT_EQ(row.columnIndices[1], 0);
    EXPECT_EQ(row.columnIndices[2], 2);
    EXPECT_DOUBLE_EQ(row.dot(dense), 25.0 + 1.0 + 9.0);
}
