#include "foundation/MatrixThreads.h"

#include "foundation/Matrix.h"
#include "foundation/Progress.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <random>
#include <vector>

namespace {

// Switches set for one test and put back afterwards.
struct ThreadSwitchesOn {
    ThreadSwitchesOn()
    {
        multithreadingAllowed = true;
        matrixThreadsEnabled = true;
    }
    ~ThreadSwitchesOn() { resetMatrixThreadSwitches(); }
};

class CancellingProgress : public CProgress {
public:
    bool isCancelled() override { return cancelled.load(); }
    void begin(int, int) override {}
    void step(int) override {}
    void reset(int) override {}
    bool setLabel(const char*) override { return true; }
    const char* getLabel() const override { return nullptr; }
    void setCancelled(bool c) override { cancelled = c; }
    std::atomic<bool> cancelled{false};
};

Matrix randomMatrix(int rows, int cols, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    Matrix A(rows, cols);
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j)
            A.at(i, j) = u(rng);
    return A;
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

bool sameBits(const Vector& a, const Vector& b)
{
    return a.n == b.n && std::memcmp(a.data, b.data, sizeof(double) * a.n) == 0;
}

} // namespace

TEST(MatrixThreads, SwitchesStartOffAndKeepEverythingSerial)
{
    EXPECT_FALSE(multithreadingAllowed.load());
    EXPECT_FALSE(matrixThreadsEnabled.load());
    EXPECT_EQ(1, processorCount());
    EXPECT_FALSE(matrixThreadsActive());
    Matrix A = randomMatrix(5, 5, 1);
    Vector x(5), y;
    EXPECT_EQ(nullptr, makeAXControl(A, x, y));

    // One switch alone does not turn the threads on.
    matrixThreadsEnabled = true;
    EXPECT_FALSE(matrixThreadsActive());
    EXPECT_EQ(nullptr, makeAXControl(A, x, y));
    resetMatrixThreadSwitches();
    multithreadingAllowed = true;
    EXPECT_GE(processorCount(), 1);
    EXPECT_FALSE(matrixThreadsActive());
    resetMatrixThreadSwitches();
}

TEST(MatrixThreads, RowRangesCoverEveryRowOnce)
{
    for (int rows : {1, 3, 10, 1001}) {
        for (int threads : {1, 2, 4, 7, 16}) {
            std::vector<std::atomic<int>> hits(rows);
            std::atomic<int> calls{0};
            EXPECT_EQ(0, runRowRangesOnThreads(rows, threads, [&](int first, int end) {
                          EXPECT_LT(first, end);
                          ++calls;
                          for (int i = first; i < end; ++i)
                              ++hits[i];
                      }));
            for (int i = 0; i < rows; ++i)
                EXPECT_EQ(1, hits[i].load()) << rows << " " << threads;
            EXPECT_EQ(std::min(rows, threads), calls.load());
        }
    }
    EXPECT_EQ(0, runRowRangesOnThreads(0, 4, [](int, int) { FAIL(); }));
}

TEST(MatrixThreads, RowProductSumsLikeMatrixMultiply)
{
    for (int cols : {1, 3, 4, 9, 64}) {
        Matrix A = randomMatrix(6, cols, 30 + cols);
        Vector x = randomVector(cols, 40 + cols);
        Vector y;
        A.multiply(x, y);
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(y[i], matrixRowTimes(A, i, x));
    }
    Matrix S(3, SymmetricMatrix);
    S.at(0, 0) = 2.0;
    S.at(2, 1) = -1.0;
    Vector x(1.0, 2.0, 3.0);
    EXPECT_EQ(-3.0, matrixRowTimes(S, 1, x)); // (1, 2) read from the packed (2, 1)
}

TEST(MatrixThreads, PoolProductsEqualSerialBitForBit)
{
    ThreadSwitchesOn on;
    if (processorCount() < 2)
        GTEST_SKIP() << "one processor: the pool cannot run";
    Matrix A = randomMatrix(37, 23, 5);
    Vector x = randomVector(23, 6);
    Vector y;
    std::unique_ptr<CAXControl> pool = makeAXControl(A, x, y);
    ASSERT_NE(nullptr, pool);
    EXPECT_EQ(processorCount(), pool->n);
    EXPECT_EQ(0, pool->tasks[0]->firstRow);
    EXPECT_EQ(37, pool->tasks[pool->n - 1]->endRow);
    for (int run = 0; run < 5; ++run) {
        x = randomVector(23, 100 + run); // same storage, new values
        ASSERT_TRUE(pool->run());
        Vector serial;
        A.multiply(x, serial);
        EXPECT_TRUE(sameBits(serial, y)) << run;
    }
    Vector viaHelper;
    Vector other = randomVector(23, 9);
    multiplyWithPool(pool.get(), A, other, viaHelper); // not the pool's vectors: serial
    Vector serial;
    A.multiply(other, serial);
    EXPECT_TRUE(sameBits(serial, viaHelper));
}

TEST(MatrixThreads, PoolOnOneByOneSystemHasOneTaskForRowZero)
{
    ThreadSwitchesOn on;
    if (processorCount() < 2)
        GTEST_SKIP() << "one processor: the pool cannot run";
    Matrix A(1, 1);
    A.at(0, 0) = 3.0;
    Vector x(1), y;
    x[0] = 0.7;
    std::unique_ptr<CAXControl> pool = makeAXControl(A, x, y);
    ASSERT_NE(nullptr, pool);
    int covering = 0;
    for (int k = 0; k < pool->n; ++k)
        if (pool->tasks[k]->firstRow < pool->tasks[k]->endRow) {
            ++covering;
            EXPECT_EQ(0, pool->tasks[k]->firstRow);
        }
    EXPECT_EQ(1, covering);
    ASSERT_TRUE(pool->run());
    EXPECT_EQ(3.0 * 0.7, y[0]);

    // Packed and factorised matrices keep the serial product.
    Matrix S(4, SymmetricMatrix);
    EXPECT_EQ(nullptr, makeAXControl(S, x, y));
}

TEST(MatrixThreads, CancelledWorkerEndsRunWithoutHanging)
{
    Matrix A = randomMatrix(8, 4, 2);
    Vector x = randomVector(4, 3), y(8);
    CancellingProgress progress;
    auto** tasks = new CAXTask*[2];
    for (int k = 0; k < 2; ++k) {
        tasks[k] = new CAXTask;
        tasks[k]->firstRow = 4 * k;
        tasks[k]->endRow = 4 * k + 4;
        tasks[k]->A = &A;
        tasks[k]->x = &x;
        tasks[k]->y = &y;
        tasks[k]->progress = &progress;
        ASSERT_TRUE(tasks[k]->startThread());
    }
    CAXControl control(tasks, 2);
    ASSERT_TRUE(control.run());
    Vector serial;
    A.multiply(x, serial);
    EXPECT_TRUE(sameBits(serial, y));

    progress.setCancelled(true);
    EXPECT_FALSE(control.run()); // the workers leave; nobody waits forever
    EXPECT_FALSE(control.run());
    EXPECT_EQ(0, axTaskThreadProc(nullptr));
}

TEST(MatrixThreads, ControlWithoutTasksRunsNothing)
{
    CAXControl none(nullptr, 0);
    EXPECT_FALSE(none.run());
    Matrix A = randomMatrix(3, 3, 4);
    Vector x = randomVector(3, 5), y;
    multiplyWithPool(nullptr, A, x, y);
    Vector serial;
    A.multiply(x, serial);
    EXPECT_TRUE(sameBits(serial, y));
}
