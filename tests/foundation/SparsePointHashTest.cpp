#include "foundation/SparsePointHash.h"

#include "foundation/Random15.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <vector>

namespace {

Kor::List<float*> pointersTo(std::vector<float>& xyz)
{
    Kor::List<float*> points;
    for (std::size_t k = 0; k + 2 < xyz.size(); k += 3)
        points.append(&xyz[k]);
    return points;
}

} // namespace

TEST(SparsePointHash, KeysFloorClampAndSkipNonFinitePoints)
{
    CSparsePointHash hash;
    float origin[3] = {1.0f, 2.0f, 3.0f};
    hash.origin = origin;
    hash.cellSize = 0.5;
    hash.invCellSize = 2.0;
    struct Case {
        float p[3];
        int key[3];
        bool hashed;
    } cases[] = {
        {{2.0f, 2.0f, 3.0f}, {2, 0, 0}, true},     // on a cell boundary: the higher cell
        {{0.9f, 1.0f, 2.75f}, {-1, -2, -1}, true}, // floor, not truncation
        {{3e38f, -3e38f, 3.0f}, {INT_MAX, INT_MIN, 0}, true},
        {{std::numeric_limits<float>::quiet_NaN(), 0.0f, 0.0f}, {0, 0, 0}, false},
        {{std::numeric_limits<float>::infinity(), 0.0f, 0.0f}, {0, 0, 0}, false},
    };
    for (Case& c : cases) {
        int key[3] = {7, 7, 7};
        EXPECT_EQ(hash.cellIndex(c.p, key[0], key[1], key[2]), c.hashed);
        EXPECT_EQ(std::vector<int>(key, key + 3), std::vector<int>(c.key, c.key + 3));
        EXPECT_EQ(hash.insert(c.p), c.hashed);
    }
    EXPECT_EQ(hash.leafCellCount(), 3);

    // Leaves come in key order whatever the insertion order.
    int previous[3] = {INT_MIN, INT_MIN, INT_MIN};
    int seen = 0;
    while (CSparsePointHash::Leaf* leaf = hash.nextCell()) {
        int key[3];
        hash.cellIndex(leaf->points[0], key[0], key[1], key[2]);
        EXPECT_TRUE(tupleLess(&previous, &key));
        std::copy(key, key + 3, previous);
        ++seen;
    }
    EXPECT_EQ(seen, 3);
    EXPECT_EQ(hash.nextCell(), nullptr);

    hash.displayList = 5; // no OpenGL context: only the id is dropped
    hash.clear();
    EXPECT_EQ(hash.displayList, -1);
    EXPECT_EQ(hash.leafCellCount(), 0);
    EXPECT_EQ(hash.nextCell(), nullptr);
}

TEST(SparsePointHash, FitCellSizeStopsNearTheTargetOrAfterThirteenRounds)
{
    // A 40 x 40 grid of unit spacing: about 100 occupied cells wanted.
    std::vector<float> grid;
    for (int i = 0; i < 40; ++i)
        for (int j = 0; j < 40; ++j)
            grid.insert(grid.end(), {float(i), float(j), 0.0f});
    CSparsePointHash hash;
    double size = 1.0;
    const int occupied = hash.fitCellSize(pointersTo(grid), 100, size, 0.1);
    EXPECT_NEAR(occupied, 100, 10);
    EXPECT_EQ(hash.leafCellCount(), 0);

    // Equal points always occupy one cell: the size shrinks by sqrt(1 / 4)
    // in each of the 13 rounds. A target below 1 counts as 1 and stops at once.
    std::vector<float> same(30, 2.5f);
    size = 10.0;
    EXPECT_EQ(hash.fitCellSize(pointersTo(same), 4, size, 0.1), 1);
    EXPECT_NEAR(size, 10.0 * std::pow(0.5, 13), 1e-15);
    size = 10.0;
    EXPECT_EQ(hash.fitCellSize(pointersTo(same), 0, size, 0.1), 1);
    EXPECT_EQ(size, 10.0);
    EXPECT_EQ(hash.fitCellSize(Kor::List<float*>(), 4, size, 0.1), 0);
}

TEST(SparsePointHash, NearestInACellAndTheGenerator)
{
    // Two points equally far from the centroid: the first wins.
    CSparsePointHash::Leaf cell;
    float a[3] = {-1.0f, 0.0f, 0.0f}, b[3] = {1.0f, 0.0f, 0.0f}, c[3] = {0.0f, 3.0f, 0.0f};
    for (float* q : {a, b, c})
        cell.points.append(q);
    EXPECT_DOUBLE_EQ(cell.centroid().data[1], 1.0);
    const double centre[3] = {0.0, 0.0, 0.0};
    int index = -1;
    double d2 = 0.0;
    ASSERT_TRUE(cell.findNearest(centre, index, d2));
    EXPECT_EQ(index, 0);
    EXPECT_DOUBLE_EQ(d2, 1.0);

    // The C standard's portable generator: seed 1 starts with 16838; a seed
    // repeats its sequence.
    CRandom15 generator;
    EXPECT_EQ(generator.next(), 16838);
    std::vector<int> runs[2];
    for (std::vector<int>& run : runs) {
        generator.seed(42);
        for (int n = 0; n < 1000; ++n)
            run.push_back(generator.next());
    }
    EXPECT_EQ(runs[0], runs[1]);
    EXPECT_EQ(*std::max_element(runs[0].begin(), runs[0].end()) <= CRandom15::maxValue, true);
}
