#include "foundation/FitPoint.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

namespace {

std::string text(const CFitPoint& p)
{
    std::ostringstream os;
    os << p;
    return os.str();
}

CFitPoint pointAt(double x, double y, double z, int group = 0)
{
    CFitPoint p{Vector(x, y, z)};
    p.group = group;
    return p;
}

} // namespace

TEST(FitPoint, DefaultRecordAndItsTextForm)
{
    const CFitPoint p;
    EXPECT_EQ(p.Point.n, 0);
    EXPECT_EQ(p.state, 1);
    EXPECT_EQ(p.boundary, 9);
    EXPECT_EQ(text(p), "Point=[] group=0 AbsErr=0 weight=1 dist2=1e+10");
}

TEST(FitPoint, TextFormListsPresentVectorsInOrderAndHidesNonFinite)
{
    CFitPoint p(Vector(1, 2, 3), Vector(0.5, 0.25, 0.0), Vector(0, 0, 1));
    p.uv.resize(2);
    p.Tangent = Vector(1, 0, 0);
    p.ot = Vector(0, 1, 0);
    p.SurfNormal = Vector(0, -1, 0);
    p.uv2 = Vector(9, 9, 9); // never written out
    p.group = 4;
    p.AbsErr = std::numeric_limits<double>::quiet_NaN();
    p.weight = std::numeric_limits<double>::infinity();
    p.dist2 = -std::numeric_limits<double>::infinity();
    EXPECT_EQ(text(p), "Point=[1,2,3] uv=[0.5,0.25] Normal=[0,0,1] ot=[0,1,0] Tangent=[1,0,0] "
                       "SurfNormal=[0,-1,0] group=4 AbsErr=0 weight=1 dist2=0");
    std::ostringstream os;
    printFitPoint(os, p);
    EXPECT_EQ(os.str(), text(p));
}

TEST(FitPoint, PointConstructorSizesParameters)
{
    const CFitPoint p{Vector(1, 2, 3)};
    EXPECT_EQ(p.uv.n, 2);
    const CFitPoint copy = p;
    EXPECT_EQ(copy.Point[2], 3.0);
    EXPECT_EQ(copy.uv.n, 2);
}

TEST(FitPointArray, InsertAfterAppendsFrontsAndShifts)
{
    CFitPointArray a;
    insertAfter(a, pointAt(0, 0, 0, 0), -1); // empty: append
    insertAfter(a, pointAt(1, 0, 0, 1), a.count - 1);
    insertAfter(a, pointAt(2, 0, 0, 2), -1); // in front
    insertAfter(a, pointAt(3, 0, 0, 3), 0);  // after the first
    ASSERT_EQ(a.count, 4);
    const int groups[] = {2, 3, 0, 1};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(a[i].group, groups[i]);
    // Inserting an element of the array itself, with the array full.
    a.setCapacity(a.count);
    insertAfter(a, a[3], 0);
    ASSERT_EQ(a.count, 5);
    EXPECT_EQ(a[1].group, 1);
    EXPECT_EQ(a[4].group, 1);

    EXPECT_TRUE(removeAt(a, 1));
    EXPECT_FALSE(removeAt(a, 4));
    EXPECT_FALSE(removeAt(a, -1));
    ASSERT_EQ(a.count, 4);
    EXPECT_EQ(a[1].group, 3);
}

TEST(IndexSubset, SelectAllAppendCopyAndRemove)
{
    CFitPointArray a;
    for (int i = 0; i < 12; ++i)
        a.append(pointAt(i, 0, 0, i));
    IndexSubset<CFitPoint> s(a);
    EXPECT_EQ(s.capacity, 10);
    s.selectAll();
    ASSERT_EQ(s.count, 12);
    EXPECT_EQ(s.at(11).group, 11);
    s.removeAt(0);
    EXPECT_EQ(s.at(0).group, 1);
    IndexSubset<CFitPoint> copy = s;
    copy.append(0);
    EXPECT_EQ(s.count, 11);
    EXPECT_EQ(copy.count, 12);
    EXPECT_EQ(copy.at(11).group, 0);
    copy = s;
    EXPECT_EQ(copy.count, 11);
}

TEST(FitPoint, CentroidAndBoundingBox)
{
    CFitPointArray a;
    EXPECT_EQ(norm(centroid(a)), 0.0);
    auto box = boundingBox(a);
    EXPECT_EQ(norm(box[0]), 0.0);
    EXPECT_EQ(norm(box[1]), 0.0);

    a.append(pointAt(1, -2, 3));
    a.append(pointAt(3, 4, -1));
    a.append(pointAt(-1, 1, 1));
    const Vector c = centroid(a);
    EXPECT_DOUBLE_EQ(c[0], 1.0);
    EXPECT_DOUBLE_EQ(c[1], 1.0);
    EXPECT_DOUBLE_EQ(c[2], 1.0);
    box = boundingBox(a);
    EXPECT_EQ(box[0][0], -1.0);
    EXPECT_EQ(box[0][1], -2.0);
    EXPECT_EQ(box[0][2], -1.0);
    EXPECT_EQ(box[1][0], 3.0);
    EXPECT_EQ(box[1][1], 4.0);
    EXPECT_EQ(box[1][2], 3.0);

    IndexSubset<CFitPoint> two(a);
    two.append(0);
    two.append(2);
    EXPECT_DOUBLE_EQ(centroid(two)[0], 0.0);
    EXPECT_EQ(boundingBox(two)[1][1], 1.0);
}
