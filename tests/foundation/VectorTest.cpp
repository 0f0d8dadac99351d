#include "foundation/Vector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iomanip>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

Vector makeVector(std::initializer_list<double> values)
{
    Vector v(int(values.size()));
    int i = 0;
    for (double x : values)
        v[i++] = x;
    return v;
}

std::string toText(const Vector& v)
{
    std::ostringstream os;
    os << v;
    return os.str();
}

struct ReadResult {
    Vector v;
    bool failed;
    std::string message;
};

ReadResult readText(const std::string& text, Vector start = Vector())
{
    std::istringstream is(text);
    ReadResult r{start, false, {}};
    testing::internal::CaptureStdout();
    is >> r.v;
    r.message = testing::internal::GetCapturedStdout();
    r.failed = is.fail();
    return r;
}

// True when values[index[0..n-1]] is ordered by `before` and index is a permutation.
template <typename Before>
bool isSortedPermutation(const Vector& v, const int* index, Before before)
{
    std::vector<int> seen(v.n, 0);
    for (int i = 0; i < v.n; ++i)
        if (++seen[index[i]] > 1 || (i > 0 && before(v[index[i]], v[index[i - 1]])))
            return false;
    return true;
}

class VectorTextTest : public testing::Test {
protected:
    void TearDown() override { resetVectorOutputPrecision(); }
};

} // namespace

TEST(VectorStorage, AssignmentKeepsStorageAndResizeZeroesGrowth)
{
    Vector a(1.0, 2.0, 3.0);
    Vector copy(a);
    copy[0] = 9.0;
    EXPECT_EQ(a[0], 1.0);

    // A long vector assigned a short one (copied or moved) keeps its storage.
    Vector longer(5);
    double* storage = longer.data;
    longer = a;
    longer = Vector(4.0, 5.0, 6.0);
    EXPECT_EQ(longer.n, 3);
    EXPECT_EQ(longer.data, storage);
    EXPECT_EQ(longer[2], 6.0);
    Vector empty;
    empty = std::move(copy);
    EXPECT_EQ(empty[0], 9.0);
    EXPECT_EQ(copy.data, nullptr);

    longer.resize(6);
    EXPECT_EQ(longer[2], 6.0);
    EXPECT_EQ(longer[5], 0.0);
    storage = longer.data;
    longer.resize(2);
    EXPECT_EQ(longer.data, storage);
    longer.setSize(1, true);
    EXPECT_EQ(longer[0], 0.0);
}

TEST(VectorArithmetic, DegenerateOperands)
{
    const Vector a(3.0, 0.0, 4.0);
    EXPECT_EQ((a / 0.0)[2], 4.0);
    EXPECT_NEAR(cosineBetween(a, a), 1.0, 1e-15);
    EXPECT_EQ(cosineBetween(a, Vector(3)), 0.0);
    EXPECT_EQ(normalized(Vector(1e-10, 0.0, 0.0))[0], 0.0);
    Vector zero(3);
    zero.normalize();
    EXPECT_EQ(zero[0], 0.0);

    int index = -5;
    EXPECT_EQ(minElement(makeVector({3, 1, 1}), &index), 1.0);
    EXPECT_EQ(index, 1);

    const Vector p(1.0, 2.0, 3.0), q(-4.0, 0.5, 2.0);
    const Vector r = crossProduct(p, q);
    EXPECT_NEAR(dot(r, p), 0.0, 1e-12);
    EXPECT_NEAR(dot(r, q), 0.0, 1e-12);
    EXPECT_EQ(crossProduct(Vector(1.0, 0.0, 0.0), Vector(0.0, 1.0, 0.0))[2], 1.0);

    Vector v(1.0, 1.0, 5.0);
    orthogonalize(v, q);
    EXPECT_NEAR(dot(v, q), 0.0, 1e-14);
    orthogonalize(v, Vector(3)); // zero axis: nothing to remove
    EXPECT_TRUE(std::isfinite(v[0]));
}

TEST(VectorArithmetic, MismatchedLengthsStayInBounds)
{
    // The sanitizer build turns any access beyond the shorter array into a failure.
    Vector shortV(2);
    const Vector longV(1.0, 2.0, 3.0);
    shortV += longV;
    shortV.addScaled(2.0, longV);
    EXPECT_DOUBLE_EQ(shortV[1], 6.0);
    EXPECT_EQ((longV - Vector(2))[2], 3.0);
    EXPECT_DOUBLE_EQ(squaredDistance(longV, Vector(1)), 1.0);
}

TEST(VectorArithmetic, PointOnHyperplaneSatisfiesEquation)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-10.0, 10.0);
    for (int n = 1; n <= 6; ++n) {
        Vector a(n);
        for (int i = 0; i < n; ++i)
            a[i] = u(rng);
        const Vector x = pointOnHyperplane(a, 3.5);
        EXPECT_NEAR(dot(a, x), 3.5, 1e-12 * (1.0 + norm(a) * norm(x)));
    }
    // Equal magnitudes: x[0] = 1 and x[1] solves the equation.
    const Vector x = pointOnHyperplane(makeVector({2, -2, 2}), 1.0);
    EXPECT_EQ(x[0], 1.0);
    EXPECT_DOUBLE_EQ(x[1], 0.5);
}

TEST(VectorArithmetic, PointOnHyperplaneOfZeroVectorDoesNotDivideByZero)
{
    const Vector x = pointOnHyperplane(Vector(3), 1.0);
    ASSERT_EQ(x.n, 3);
    EXPECT_EQ(norm(x), 0.0);
}

TEST(VectorArithmetic, RefineValues)
{
    const Vector half = refineValues(makeVector({0, 1}), 1);
    ASSERT_EQ(half.n, 3);
    EXPECT_EQ(half[1], 0.5);
    EXPECT_EQ(half[2], 1.0);
    EXPECT_EQ(refineValues(makeVector({0, 1}), 0).n, 2);
    EXPECT_EQ(refineValues(Vector(), 3).n, 0);

    const Vector r = refineValues(makeVector({0, 3, 9}), 2);
    ASSERT_EQ(r.n, 7);
    const double expected[7] = {0, 1, 2, 3, 5, 7, 9};
    for (int i = 0; i < 7; ++i)
        EXPECT_NEAR(r[i], expected[i], 1e-14);
}

TEST(VectorSort, SortIndexOrdersValuesMagnitudesAndNaN)
{
    const auto less = [](double a, double b) { return a < b; };
    const Vector v = makeVector({3, -5, 1, 4, -1, 1, 0});
    int* index = nullptr;
    sortIndex(v, &index);
    EXPECT_TRUE(isSortedPermutation(v, index, less));
    int* const given = index;
    sortIndex(v.data, &index, v.n, false, true);
    EXPECT_EQ(index, given);
    EXPECT_TRUE(isSortedPermutation(v, index, [](double a, double b) { return a > b; }));
    sortIndex(v.data, &index, v.n, true, false);
    EXPECT_TRUE(isSortedPermutation(
        v, index, [](double a, double b) { return std::fabs(a) < std::fabs(b); }));
    delete[] index;

    // NaNs keep the sort well defined: numbers ascend, NaNs come last.
    Vector w(40);
    for (int i = 0; i < w.n; ++i)
        w[i] = (i % 3 == 0) ? std::numeric_limits<double>::quiet_NaN() : double((i * 17) % 11);
    index = nullptr;
    sortIndex(w, &index);
    EXPECT_TRUE(isSortedPermutation(w, index, [](double a, double b) {
        return std::isnan(a) ? false : (std::isnan(b) || a < b);
    }));
    delete[] index;
}

TEST(VectorSort, SortIndexKeepsNoSharedStateBetweenThreads)
{
    // Two sorts in flight at once with different data and directions.
    auto work = [](bool ascending, unsigned seed, bool* ok) {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> u(-1.0, 1.0);
        Vector v(20000);
        for (int i = 0; i < v.n; ++i)
            v[i] = u(rng);
        *ok = true;
        for (int round = 0; round < 5; ++round) {
            int* index = nullptr;
            sortIndex(v.data, &index, v.n, ascending, true);
            *ok = *ok && isSortedPermutation(v, index, [ascending](double a, double b) {
                return ascending ? a < b : a > b;
            });
            delete[] index;
        }
    };
    bool ok1 = false, ok2 = false;
    std::thread t1(work, true, 1u, &ok1);
    std::thread t2(work, false, 2u, &ok2);
    t1.join();
    t2.join();
    EXPECT_TRUE(ok1 && ok2);
}

TEST(VectorSort, QuantileClampsAndPicksPosition)
{
    const Vector v = makeVector({5, -7, 2, 9, 1});
    int position = -1;
    int* index = nullptr;
    EXPECT_EQ(quantile(v, 1.0, &index, &position), 9.0);
    EXPECT_EQ(position, 4);
    EXPECT_EQ(quantile(v, -3.0, &index, &position), -7.0);
    EXPECT_EQ(position, 0);
    EXPECT_EQ(quantile(v, 0.5, &index, &position, true), 2.0); // floor(0.5 * 5) = 2
    delete[] index;
    EXPECT_EQ(quantile(v, 7.0), 9.0);

    // Magnitudes: |-8| is the largest; the plain overload keeps the sign.
    const Vector w = makeVector({3, -8, 2, -1});
    EXPECT_EQ(quantile(w.data, w.n, 1.0, nullptr, nullptr, false, false), 8.0);
    EXPECT_EQ(quantile(w, 0.0), -8.0);

    position = 3;
    EXPECT_EQ(quantile(Vector(), 0.5, nullptr, &position), 0.0);
    EXPECT_EQ(position, 0);
}

TEST_F(VectorTextTest, WriterFormatsEntriesAndLineBreaks)
{
    EXPECT_EQ(toText(makeVector({1e-323, -0.0, -2.5, 1e20})), "[0,0,-2.5,1e+20]");
    EXPECT_EQ(toText(makeVector({1, 2, 3, 4, 5, 6})), "[1,2,3,4,5,\n 6]");
    EXPECT_EQ(toText(makeVector({1, 2, 3, 4, 5})), "[1,2,3,4,5\n ]");

    EXPECT_EQ(setVectorOutputPrecision(16), 20);
    EXPECT_EQ(toText(makeVector({0.1, 2, 3, 4, 5, 6, 7})), "[0.1,2,3,4,5,6,\n 7]");
    resetVectorOutputPrecision();
    {
        ScopedVectorOutputPrecision scoped(3);
        EXPECT_EQ(toText(makeVector({0.123456})), "[0.123]");
    }
    EXPECT_EQ(vectorOutputPrecision(), 20);

    // A stream width pads every entry and shortens the lines: 119 / (10 + 20 + 3) = 3.
    // The stream's own precision is restored afterwards.
    std::ostringstream os;
    os.precision(4);
    os << std::setw(10) << makeVector({1, 2, 3, 0.1}) << ' ' << 1.0 / 3.0;
    EXPECT_EQ(os.str(), "[         1,         2,         3,\n 0.10000000000000000555] 0.3333");
}

TEST_F(VectorTextTest, ReaderAcceptsSeparatorsAndSigns)
{
    ReadResult r = readText("[1, 2,3]");
    EXPECT_FALSE(r.failed);
    EXPECT_EQ(r.v.n, 3);
    EXPECT_EQ(r.message, "");

    r = readText("  [1 -2]", makeVector({1, 2, 3, 4}));
    ASSERT_EQ(r.v.n, 2);
    EXPECT_EQ(r.v[1], -2.0);

    r = readText("[1.5e3,\r\n +2 ,\t-0.25]");
    ASSERT_EQ(r.v.n, 3);
    EXPECT_EQ(r.v[0], 1500.0);
    EXPECT_EQ(r.v[2], -0.25);

    std::istringstream is("4 5 6");
    Vector v(2);
    double rest = 0;
    is >> v >> rest;
    EXPECT_EQ(v[1], 5.0);
    EXPECT_EQ(rest, 6.0);
}

TEST_F(VectorTextTest, ReaderKeepsEntriesReadAfterFormatError)
{
    ReadResult r = readText("[1;2]");
    EXPECT_EQ(r.message, "format error/empty number reading vector:';'\n");
    EXPECT_TRUE(r.failed);
    ASSERT_EQ(r.v.n, 1);
    EXPECT_EQ(r.v[0], 1.0);

    r = readText("[1, 2, x]");
    EXPECT_EQ(r.message, "format error/empty number reading vector:','\n");
    EXPECT_EQ(r.v.n, 2);

    r = readText("[1, 2"); // input ends inside the list
    EXPECT_TRUE(r.failed);
    EXPECT_EQ(r.v.n, 2);
}

TEST_F(VectorTextTest, EmptyVectorWrittenAsBracketsReadsBack)
{
    std::ostringstream os;
    os << Vector() << ' ' << makeVector({1, 2});
    EXPECT_EQ(os.str(), "[] [1,2]");
    for (const char* text : {"[] [1,2]", "[ ]\r\n[1,2]"}) {
        std::istringstream is(text);
        Vector empty = makeVector({8, 9});
        Vector next;
        testing::internal::CaptureStdout();
        is >> empty >> next;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_FALSE(is.fail());
        EXPECT_EQ(empty.n, 0);
        ASSERT_EQ(next.n, 2);
        EXPECT_EQ(next[1], 2.0);
    }
}

TEST_F(VectorTextTest, WriteReadWriteRoundTrip)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-300, 300);
    for (int precision : {20, 17}) {
        setVectorOutputPrecision(precision);
        for (int n : {1, 5, 6, 40}) {
            Vector v(n);
            for (int i = 1; i < n; ++i)
                v[i] = mantissa(rng) * std::pow(10.0, exponent(rng));
            const std::string first = toText(v);
            std::istringstream is(first + " [2,3]");
            Vector back, next;
            is >> back >> next;
            ASSERT_FALSE(is.fail()) << first;
            ASSERT_EQ(back.n, n);
            for (int i = 0; i < n; ++i)
                EXPECT_EQ(back[i], v[i]) << "entry " << i << " of " << first;
            EXPECT_EQ(toText(back), first);
            EXPECT_EQ(next.n, 2);
        }
    }
}
