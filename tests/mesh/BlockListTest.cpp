#include "mesh/BlockList.h"

#include <gtest/gtest.h>

TEST(BlockList, InitAllocatesWholeBlocksForTheRequestedCount)
{
    CBlockList<int> list;
    list.init(10000, 8192);
    EXPECT_EQ(list.count, 0);
    EXPECT_EQ(list.blockCount, 2);
    EXPECT_EQ(list.capacity, 16384);
    list.init(10000, 24000);
    EXPECT_EQ(list.capacity, 24000);
    // A block size below 1 would divide by zero; it is taken as 1.
    list.init(-5, 0);
    EXPECT_EQ(list.blockSize, 1);
    EXPECT_EQ(list.capacity, 0);
    EXPECT_EQ(list.blocks, nullptr);
}

TEST(BlockList, GrowthAddsOneBlockWithoutMovingStoredElements)
{
    CBlockList<float> list(6, 6);
    for (int i = 0; i < 6; ++i)
        list.push(float(i));
    float* first = list.pointer(0);
    EXPECT_EQ(list.push(6.0f), 6);
    EXPECT_EQ(list.blockCount, 2);
    EXPECT_EQ(list.capacity, 12);
    EXPECT_EQ(list.pointer(0), first);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(list[i], float(i));
    EXPECT_EQ(&list[6], &list.blocks[1][0]);

    // After release the list refills with the same block size.
    list.release();
    EXPECT_EQ(list.count, 0);
    list.push(2.0f);
    EXPECT_EQ(list.capacity, 6);
    EXPECT_EQ(list[0], 2.0f);

    CBlockList<float> moved(std::move(list));
    EXPECT_EQ(list.blocks, nullptr);
    EXPECT_EQ(moved[0], 2.0f);
}
