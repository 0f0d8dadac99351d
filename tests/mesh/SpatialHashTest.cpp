#include "mesh/SpatialHash.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>

namespace {

using Hash = Mesh::C3DHash<Mesh::CFacetCentroid, float>;
using Item = Mesh::CFacetCentroid;

Item at(float x, float y, float z, int f = 0)
{
    return Item(CVertex<float, 3>(x, y, z), f);
}

struct DoublePoint : CVertex<double, 3> {
    using CVertex<double, 3>::CVertex;
};

TEST(SpatialHash, CellKeysFloorNegativeCoordinates)
{
    Hash hash;
    int i, j, k;
    hash.cellKey(at(-0.1f, 0.1f, -5.0f), i, j, k);
    EXPECT_EQ(i, -1);
    EXPECT_EQ(j, 0);
    EXPECT_EQ(k, -1);
    hash.cellKey(at(-5.01f, 4.99f, 5.0f), i, j, k);
    EXPECT_EQ(i, -2);
    EXPECT_EQ(j, 0);
    EXPECT_EQ(k, 1);
}

TEST(SpatialHash, CellSizeGuardsOnlyTheInverse)
{
    Hash hash;
    EXPECT_EQ(hash.cellSize, 5.0);
    EXPECT_EQ(hash.inverseCellSize, 0.2);
    hash.setCellSize(0.0);
    EXPECT_EQ(hash.cellSize, 0.0);
    EXPECT_EQ(hash.inverseCellSize, 1e8);
    hash.setCellSize(1e-8);
    EXPECT_EQ(hash.cellSize, 1e-8);
    EXPECT_DOUBLE_EQ(hash.inverseCellSize, 1e8);
    hash.setCellSize(-2.0);
    EXPECT_EQ(hash.cellSize, -2.0);
    EXPECT_EQ(hash.inverseCellSize, 1e8);
}

TEST(SpatialHash, InsertKeepsOneItemPerExactPosition)
{
    Hash hash;
    Item a = at(1.0f, 2.0f, 3.0f, 7);
    Item* stored = hash.insert(a, true, false);
    ASSERT_NE(stored, &a); // a copy is stored
    Item same = at(1.0f, 2.0f, 3.0f, 8);
    EXPECT_EQ(hash.insert(same, true, false), stored);
    EXPECT_EQ(stored->facet, 7);
    Item next = at(std::nextafter(1.0f, 2.0f), 2.0f, 3.0f, 9);
    Item* other = hash.insert(next, true, false);
    EXPECT_NE(other, stored);
    ASSERT_EQ(hash.cells.count, 1);
    EXPECT_EQ(hash.cells[0]->items.count, 2);
    EXPECT_EQ(hash.findVertex(same), stored);
    EXPECT_EQ(hash.findVertex(at(1.0f, 2.0f, 3.5f)), nullptr);
    EXPECT_EQ(hash.findVertex(at(100.0f, 2.0f, 3.0f)), nullptr);
    // Cells are ordered by key.
    Item far = at(-20.0f, 0.0f, 0.0f);
    hash.insert(far, false, false);
    EXPECT_EQ(hash.cells[0]->i, -4);
}

TEST(SpatialHash, ClearKeepsItemsStoredByPointer)
{
    Item* items = new Item[3]{at(0, 0, 0, 0), at(10, 0, 0, 1), at(0, 0, 0, 2)};
    {
        Hash hash;
        EXPECT_EQ(hash.insert(items[0], true, true), &items[0]);
        EXPECT_EQ(hash.insert(items[1], true, true), &items[1]);
        EXPECT_EQ(hash.insert(items[2], true, true), &items[0]);
        hash.setCellSize(2.0);
        hash.clear();
        EXPECT_EQ(hash.cells.count, 0);
        EXPECT_EQ(hash.cellSize, 2.0);
    }
    EXPECT_EQ(items[1].facet, 1); // still alive (ASan checks the access)
    delete[] items;
}

TEST(SpatialHash, FindNearestRadiusIsStrictAndDefaultsToCellSize)
{
    Hash hash;
    EXPECT_FALSE(hash.findNearest(at(0, 0, 0), 1.0f, true));
    Item a = at(1, 0, 0, 1), b = at(0, 4, 0, 2), c = at(0, 0, 5, 3), d = at(-6, 0, 0, 4);
    for (Item* p : {&a, &b, &c, &d})
        hash.insert(*p, true, false);
    // radius 0 searches with the cell size 5: c at exactly 5 is left out.
    ASSERT_TRUE(hash.findNearest(at(0, 0, 0), 0.0f, true));
    std::set<int> found;
    for (int n = 0; n < hash.results.count; ++n)
        found.insert(hash.results[n]->facet);
    EXPECT_EQ(found, (std::set<int>{1, 2}));
    for (int n = 0; n < hash.results.count; ++n)
        EXPECT_FLOAT_EQ(hash.distances[n], hash.results[n]->facet == 1 ? 1.0f : 4.0f);
    EXPECT_FALSE(hash.findNearest(at(100, 100, 100), 1.0f, true));
    EXPECT_EQ(hash.results.count, 0);
}

TEST(SpatialHash, FindNearestMatchesBruteForceAtEveryRadius)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(-20.0f, 20.0f);
    Hash hash;
    hash.setCellSize(3.0);
    std::vector<Item> points;
    for (int n = 0; n < 400; ++n)
        points.push_back(at(u(rng), u(rng), u(rng), n));
    for (Item& p : points)
        hash.insert(p, true, false);
    for (float radius : {0.5f, 2.9f, 7.0f, 1e30f}) {
        for (int q = 0; q < 20; ++q) {
            const Item query = at(u(rng), u(rng), u(rng));
            const float r2 = radius * radius;
            std::set<int> expected;
            for (const Item& p : points)
                if (squaredDistance(p, query) < r2)
                    expected.insert(p.facet);
            hash.findNearest(query, radius, true);
            std::set<int> found;
            for (int n = 0; n < hash.results.count; ++n)
                found.insert(hash.results[n]->facet);
            EXPECT_EQ(found, expected) << "radius " << radius;
            EXPECT_EQ(found.size(), size_t(hash.results.count));
        }
    }
}

TEST(SpatialHash, OwnCellSearchFallsBackToPrecedingCell)
{
    Hash hash;
    Item a = at(1, 1, 1, 1), b = at(11, 1, 1, 2);
    hash.insert(a, true, false);
    hash.insert(b, true, false);
    // p's own cell (1,0,0) does not exist: the preceding cell (0,0,0) is read
    // and all its items are returned, whatever the radius.
    ASSERT_TRUE(hash.findNearest(at(6, 1, 1), 0.1f, false));
    ASSERT_EQ(hash.results.count, 1);
    EXPECT_EQ(hash.results[0]->facet, 1);
    // A key before every cell takes the first cell.
    ASSERT_TRUE(hash.findNearest(at(-50, 1, 1), 0.1f, false));
    EXPECT_EQ(hash.results[0]->facet, 1);
}

TEST(SpatialHash, IsAtLeastCountsOnlyStrictlyCloserItems)
{
    Hash hash;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(hash.isAtLeast(at(0, 0, 0), 1.0f, true));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Warning: isAtLeast called with an empty Hash. \n");
    Item a = at(2, 0, 0);
    Item b = at(4.5f, 0, 0);
    hash.insert(a, true, false);
    Item c = at(9, 0, 0);
    hash.insert(b, true, false);
    hash.insert(c, true, false);
    EXPECT_TRUE(hash.isAtLeast(at(0, 0, 0), 2.0f, true));   // exactly at 2
    EXPECT_FALSE(hash.isAtLeast(at(0, 0, 0), -2.5f, true)); // |distance|
    // b lies in the next cell: found only with the neighbour search.
    EXPECT_TRUE(hash.isAtLeast(at(5.5f, 0, 0), 1.1f, false));
    EXPECT_FALSE(hash.isAtLeast(at(5.5f, 0, 0), 1.1f, true));
}

TEST(SpatialHash, CellBoxesAndBoundingBox)
{
    Hash hash;
    EXPECT_TRUE(hash.getBoundingBox().isEmpty());
    Item a = at(1, 2, 3), b = at(-7, 8, 1);
    hash.insert(a, false, false);
    hash.insert(b, false, false);
    EXPECT_TRUE(hash.cells[1]->box.isEmpty()); // not grown on insert
    hash.updateCellBoxes();
    const CBox<float, 3>& box = hash.cells[1]->box;
    EXPECT_TRUE((box.min == CVertex<float, 3>(1, 2, 3)));
    EXPECT_TRUE((box.max == CVertex<float, 3>(1, 2, 3)));
    EXPECT_EQ(box.count, 0);
    const CBox<float, 3> all = hash.getBoundingBox();
    EXPECT_TRUE((all.min == CVertex<float, 3>(-7, 2, 1)));
    EXPECT_TRUE((all.max == CVertex<float, 3>(1, 8, 3)));
}

TEST(SpatialHash, CellCopyOwnsItsItemsAndDestructionWarnsAboutUserData)
{
    int userData = 0;
    auto* cell = new Mesh::C3DCell<Item, float>(1, 2, 3);
    cell->items.insertAt(new Item(at(1, 1, 1, 5)), -1);
    {
        Mesh::C3DCell<Item, float> copy(*cell);
        ASSERT_EQ(copy.items.count, 1);
        EXPECT_NE(copy.items[0], cell->items[0]);
        EXPECT_EQ(copy.items[0]->facet, 5);
        EXPECT_EQ(copy.k, 3);
    }
    cell->m_pUserData = &userData;
    testing::internal::CaptureStdout();
    delete cell;
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Destroying Cell, m_pUserData is not NULL ! \n");
}

TEST(SpatialHash, HugeCoordinatesAndRadiiStayDefined)
{
    // Keys beyond the int range are clamped instead of overflowing, and a
    // radius far beyond the cell size scans the cells instead of probing
    // billions of keys.
    Hash hash;
    hash.setCellSize(1e-8);
    Item a = at(1e30f, -1e30f, 0.0f, 1), b = at(0.0f, 0.0f, 0.0f, 2);
    hash.insert(a, true, false);
    hash.insert(b, true, false);
    EXPECT_EQ(hash.findVertex(a)->facet, 1);
    EXPECT_EQ(hash.cells[1]->i, INT_MAX);
    EXPECT_TRUE(hash.findNearest(at(0, 0, 0), 1e20f, true));
    EXPECT_EQ(hash.results.count, 1);
    EXPECT_FALSE(hash.isAtLeast(at(0, 0, 1), 10.0f, true));
}

TEST(SpatialHash, DoubleItemsAndHashVertices)
{
    Mesh::C3DHash<DoublePoint, double> hash;
    DoublePoint p(0.1, 0.2, 0.3);
    hash.insert(p, true, false);
    EXPECT_NE(hash.findVertex(DoublePoint(0.1, 0.2, 0.3)), nullptr);
    EXPECT_TRUE(hash.findNearest(DoublePoint(0.1, 0.2, 0.4), 0.2f, true));
    EXPECT_NEAR(hash.distances[0], 0.1f, 1e-6f);

    Mesh::CBaseHashVertex<3> v;
    EXPECT_TRUE((v == CVertex<float, 3>(0, 0, 0)));
    EXPECT_TRUE((v.direction == CVertex<float, 3>(0, 0, 0)));
    EXPECT_EQ(v.indices.count, 0);
    v.value = 42;
    v.indices.append(3);
    Mesh::CBaseHashVertex<3> copy(v);
    EXPECT_EQ(copy.value, 42);
    EXPECT_EQ(copy.indices.count, 1);
}

} // namespace
