#include "foundation/KorArray.h"
#include "foundation/Tuple.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(KorArray, AppendGrowsTwoThreeFiveEightTwelve)
{
    Kor::Array<int> a;
    std::vector<int> capacities;
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(a.append(i * 10), i);
        capacities.push_back(a.capacity);
    }
    EXPECT_EQ(capacities, (std::vector<int>{2, 2, 3, 5, 5, 8, 8, 8, 12}));
    EXPECT_EQ(a[8], 80);
    a.setCapacity(4);
    EXPECT_EQ(a.count, 4);
    EXPECT_EQ(a.capacity, 4);
    a.setCapacity(0);
    EXPECT_EQ(a.data, nullptr);
}

TEST(KorArray, AppendOwnElementWhileGrowing)
{
    Kor::Array<std::string> a;
    a.append(std::string(40, 'x')); // longer than any small-string buffer
    for (int i = 0; i < 20; ++i)
        a.append(a[a.count - 1]);
    for (const std::string& s : a)
        EXPECT_EQ(s, std::string(40, 'x'));
}

TEST(KorArray, CopiesAreDeep)
{
    Kor::Array<std::vector<double>> a;
    for (int i = 0; i < 5; ++i)
        a.append(std::vector<double>(3, i));
    Kor::Array<std::vector<double>> b(a);
    Kor::Array<std::vector<double>> c;
    c = a;
    a[0][0] = 99.0;
    EXPECT_EQ(b[0][0], 0.0);
    EXPECT_EQ(c.count, 5);
    EXPECT_EQ(c[4], std::vector<double>(3, 4.0));
    c = Kor::Array<std::vector<double>>();
    EXPECT_EQ(c.count, 0);
    b = b;
    EXPECT_EQ(b.count, 5);
}

TEST(KorArray, AppendUniqueAndReverse)
{
    int x = 0, y = 0;
    Kor::Array<int*> a;
    EXPECT_EQ(a.appendUnique(&x), 0);
    EXPECT_EQ(a.appendUnique(&y), 1);
    EXPECT_EQ(a.appendUnique(&x), 0);
    a.reverse();
    EXPECT_EQ(a[0], &y);
    EXPECT_EQ(a[1], &x);
}

TEST(IntArray, SizeFillResizeAndCopy)
{
    IntArray a(3);
    EXPECT_EQ(a.count, 3);
    EXPECT_EQ(a[2], 0);
    a.fill(7);
    a.resize(2);
    EXPECT_EQ(a.count, 2);
    a.resize(5);
    EXPECT_EQ(a[1], 7);
    IntArray b(a);
    IntArray c(1);
    c = a;
    a[0] = -1;
    EXPECT_EQ(b[0], 7);
    EXPECT_EQ(c.count, 5);
    EXPECT_EQ(c[1], 7);
    c = IntArray();
    EXPECT_EQ(c.count, 0);
    EXPECT_EQ(IntArray(-2).count, 0);
}

TEST(Tuple, NormAndDeepCopy)
{
    tuple<double, 2> t;
    EXPECT_EQ(t[0], 0.0);
    t[0] = 3.0;
    t[1] = 4.0;
    EXPECT_DOUBLE_EQ(t.squaredNorm(), 25.0);
    EXPECT_DOUBLE_EQ(t.norm(), 5.0);
    tuple<double, 2> u(t);
    tuple<double, 2> w;
    w = t;
    t[0] = 0.0;
    EXPECT_EQ(u[0], 3.0);
    EXPECT_EQ(w.data()[0], 3.0);
    const double* p = w;
    EXPECT_EQ(p[1], 4.0);
    tuple<int, 3> i3;
    i3[2] = 2;
    EXPECT_DOUBLE_EQ(i3.norm(), 2.0);
}
