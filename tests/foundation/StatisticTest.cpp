#include "foundation/Statistic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

namespace {

std::string text(const CStatistic& s)
{
    std::ostringstream os;
    os << s;
    return os.str();
}

} // namespace

TEST(Statistic, EmptyPrintsOpenInterval)
{
    CStatistic s;
    EXPECT_EQ(text(s), "n=0 in [-infty,infty]");
    EXPECT_FALSE(s.holdsValues());
}

TEST(Statistic, OneTwoThree)
{
    CStatistic s;
    for (double x : {2.0, 1.0, 3.0})
        s.add(x);
    std::ostringstream rms;
    rms << std::sqrt(7.0);
    EXPECT_EQ(text(s), "n=3 in [1,3] mean=2 rms=" + rms.str());
    EXPECT_EQ(s.sum, 6.0);
    EXPECT_EQ(s.sumSquares, 14.0);
    EXPECT_DOUBLE_EQ(s.rms(), std::sqrt(7.0));
    EXPECT_EQ(s.values.count, 0); // values are not kept by default
}

TEST(Statistic, SingleValueHasMeanButNoRms)
{
    CStatistic s;
    s.add(-4.5);
    EXPECT_EQ(text(s), "n=1 in [-4.5,-4.5] mean=-4.5");
}

TEST(Statistic, FirstValueSetsBothBoundsEvenWhenNegative)
{
    // The bounds start inverted (min at -DBL_MAX, max at DBL_MAX): the first
    // value must overwrite both, later ones only widen.
    CStatistic s;
    s.add(-1e300);
    EXPECT_EQ(s.min, -1e300);
    EXPECT_EQ(s.max, -1e300);
    s.add(5.0);
    s.add(-2.0);
    EXPECT_EQ(s.min, -1e300);
    EXPECT_EQ(s.max, 5.0);
}

TEST(Statistic, KeepsValuesWhenAsked)
{
    CStatistic s(true);
    for (double x : {3.0, 1.0, 2.0})
        s.add(x);
    ASSERT_EQ(s.values.count, 3);
    EXPECT_EQ(s.values[0], 3.0);
    EXPECT_EQ(s.values[2], 2.0);
    const CStatistic copy = s;
    EXPECT_EQ(copy.values.count, 3);
    EXPECT_EQ(copy.count, 3);
}
