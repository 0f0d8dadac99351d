#include "geometry/FitRecords.h"

#include "geometry/Edge.h"
#include "support/AnalyticCurves.h"

#include <gtest/gtest.h>

TEST(PtrArray, AppendGrowsByHalf)
{
    Kor::Array<int*> a;
    initPtrArray(a);
    int values[20];
    const int expected[] = {2, 2, 3, 5, 5, 8, 8, 8, 12};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(appendPtrArray(a, &values[i]), i);
        EXPECT_EQ(a.capacity, expected[i]) << i;
    }
    EXPECT_TRUE(removeFromPtrArray(a, &values[3]));
    EXPECT_FALSE(removeFromPtrArray(a, &values[15]));
    ASSERT_EQ(a.count, 8);
    EXPECT_EQ(a.data[3], &values[4]);
    EXPECT_EQ(a.data[7], &values[8]);

    resizePtrArray(a, 4);
    EXPECT_EQ(a.count, 4);
    EXPECT_EQ(a.capacity, 4);
    EXPECT_EQ(a.data[3], &values[4]);
    freeArray(a);
    EXPECT_EQ(a.data, nullptr);
    EXPECT_EQ(a.count, 0);
}

TEST(FitRecords, CellsKeepIndexListsAndCopyThem)
{
    CCtrlPtInfo cell;
    EXPECT_EQ(cell.count, 0);
    EXPECT_EQ(cell.indices, nullptr);
    for (int i = 0; i < 10; ++i)
        cell.append(3 * i);
    EXPECT_EQ(cell.capacity, 12);
    CCtrlPtInfo copy(cell);
    cell.indices[0] = 77;
    EXPECT_EQ(copy.indices[0], 0);
    EXPECT_EQ(copy.indices[9], 27);

    CSegmentInfo other;
    other.append(1);
    other = CSegmentInfo();
    EXPECT_EQ(other.count, 0);
}

TEST(EdgeLoop, LoopDeletesEdgesAndEdgesDeleteTheirCurves)
{
    static int destroyed = 0;
    struct CountedLine : AnalyticLine {
        CountedLine() : AnalyticLine(Vector(0.0, 0.0, 0.0), Vector(1.0, 0.0, 0.0)) {}
        ~CountedLine() override { ++destroyed; }
    };
    AnalyticSphere surface(Vector(0.0, 0.0, 0.0), 1.0);
    {
        CEdgeLoop loop;
        for (int i = 0; i < 3; ++i)
            loop.edges.append(new CEdge(&surface, new CountedLine));
        loop.edges.append(new CEdge(&surface, nullptr));
    }
    EXPECT_EQ(destroyed, 3);
    EXPECT_TRUE(surface.isSurface()); // the surface is only referred to
}
