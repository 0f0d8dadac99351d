#include "geometry/NumericRoutines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

Kor::List<std::array<double, 2>> pointList(const std::vector<std::array<double, 2>>& points)
{
    Kor::List<std::array<double, 2>> list;
    for (const auto& p : points)
        list.append(p);
    return list;
}

} // namespace

TEST(FitLine, ExactLineIsRecoveredAtEveryScale)
{
    for (double scale : {1.0, 1e-8, 1e8}) {
        std::vector<std::array<double, 2>> pts;
        for (int i = 0; i < 7; ++i) {
            const double x = (i - 2.5) * scale;
            pts.push_back({x, 2.0 * x + 1.0 * scale});
        }
        double a = 0.0, b = 0.0;
        ASSERT_TRUE(fitLine(pointList(pts), a, b)) << scale;
        EXPECT_NEAR(a, 2.0, 1e-9) << scale;
        EXPECT_NEAR(b, scale, 1e-9 * scale) << scale;
    }
}

TEST(FitLine, LeastSquaresOfScatteredPoints)
{
    // y = x + noise: the closed-form least-squares line.
    std::vector<std::array<double, 2>> pts = {{0, 0.1}, {1, 0.9}, {2, 2.2}, {3, 2.8}, {4, 4.1}};
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (auto& p : pts) {
        sx += p[0];
        sy += p[1];
        sxx += p[0] * p[0];
        sxy += p[0] * p[1];
    }
    const double n = static_cast<double>(pts.size());
    const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
    const double intercept = (sy - slope * sx) / n;
    double a = 0, b = 0;
    ASSERT_TRUE(fitLine(pointList(pts), a, b));
    EXPECT_NEAR(a, slope, 1e-13);
    EXPECT_NEAR(b, intercept, 1e-13);
}

TEST(FitLine, EqualXFailsEvenWhenThePivotIsRoundingNoise)
{
    // 0.1 and 1/3 are not representable: the second pivot of the normal
    // equations is rounding noise, not an exact zero.
    for (double x : {2.0, 0.1, 1.0 / 3.0, -7e5, 1e-9}) {
        std::vector<std::array<double, 2>> pts;
        for (int i = 0; i < 7; ++i)
            pts.push_back({x, 0.37 * i});
        double a = 11.0, b = 12.0;
        EXPECT_FALSE(fitLine(pointList(pts), a, b)) << x;
        EXPECT_EQ(a, 11.0);
        EXPECT_EQ(b, 12.0);
    }
    double a = 11.0, b = 12.0;
    EXPECT_FALSE(fitLine(pointList({{1.0, 2.0}}), a, b));
    EXPECT_FALSE(fitLine(pointList({}), a, b));
    EXPECT_EQ(a, 11.0);
}

TEST(SortIntArrayByKey, SortsLikeTheStandardSort)
{
    std::mt19937 rng(7);
    for (int n : {2, 3, 10, 257}) {
        std::vector<int> values(n);
        for (int& v : values)
            v = static_cast<int>(rng() % 50) - 25; // with duplicates
        std::vector<int> expected = values;
        std::sort(expected.begin(), expected.end());
        sortIntArrayByKey(values.data(), n);
        EXPECT_EQ(values, expected) << n;
    }
    int one = 5;
    sortIntArrayByKey(&one, 1);
    EXPECT_EQ(one, 5);
    sortIntArrayByKey(nullptr, 0);
}
