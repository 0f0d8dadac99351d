#include "geometry/Interval.h"

#include <gtest/gtest.h>

#include <sstream>

TEST(Interval, ConstructionOrdersEndsAndPrints)
{
    Interval i(2, 1);
    EXPECT_EQ(i.min, 1.0);
    EXPECT_EQ(i.max, 2.0);
    EXPECT_TRUE(i.valid);
    EXPECT_DOUBLE_EQ(i.getLength(), 1.0);
    std::ostringstream os;
    os << i;
    EXPECT_EQ(os.str(), "[1,2]");

    Interval empty;
    EXPECT_EQ(empty.min, 0.0);
    EXPECT_EQ(empty.max, 0.0);
    EXPECT_TRUE(empty.valid);

    std::ostringstream precise;
    precise.precision(3);
    precise << Interval(-0.123456, 0.5);
    EXPECT_EQ(precise.str(), "[-0.123,0.5]");
}

TEST(Interval, ContainsIncludesEnds)
{
    Interval unit(0, 1);
    EXPECT_TRUE(unit.contains(0.0));
    EXPECT_TRUE(unit.contains(1.0));
    EXPECT_TRUE(unit.contains(0.5));
    EXPECT_FALSE(unit.contains(-1e-300));
    EXPECT_FALSE(unit.contains(1.0 + 1e-15));
}

TEST(Interval, DegenerateIntervalTestsDistanceToStart)
{
    Interval point(0.5, 0.5);
    EXPECT_TRUE(point.contains(0.5 + 1e-15));
    EXPECT_FALSE(point.contains(0.5 + 2e-15));
    EXPECT_TRUE(point.contains(0.5 - 1e-15));

    // Shorter than 2.2e-15: measured from min, so a value between the ends
    // but 1.5e-15 from min is outside.
    Interval tiny(0, 2e-15);
    EXPECT_FALSE(tiny.contains(1.5e-15));
    EXPECT_TRUE(tiny.contains(1e-15));
}

TEST(Interval, EqualWithinEps2)
{
    const double a[2] = {0.25, 1.0};
    const double same[2] = {0.25, 1.0};
    const double near[2] = {0.25 + 2.5e-16, 1.0 - 2.2e-16};
    const double off[2] = {0.25, 1.0 + 1e-14};
    const double offFirst[2] = {0.2501, 1.0};
    EXPECT_TRUE(equalWithinEps2(a, same));
    EXPECT_TRUE(equalWithinEps2(a, near));
    EXPECT_FALSE(equalWithinEps2(a, off));
    EXPECT_FALSE(equalWithinEps2(a, offFirst));
}
