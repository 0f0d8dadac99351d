#pragma once
// A flat mirror of a mesh's facet hash for the hit searches: the cells in
// key order as plain records (box, reach of their items, range of their
// items) and the items of every cell side by side (point, reach to the
// farthest corner of its facet, facet), found by key through a bit per key
// of the key box (with the count of the bits before it giving the cell) or
// a table. The items of a crowded cell are kept by the octants of its box,
// each octant a group with a box and reach of its own. Beside each item
// whose facet is a triangle lie that triangle's corners, so that a search
// tests and weighs the facet without reading the mesh. A search reads a
// cell and its items from a few adjacent places instead of following the
// pointers of the hash's cells, boxes and items. The searches it serves
// give what the hash gives: the same cells and items, tested by the same
// arithmetic.
//
// Ownership: plain values; it refers to nothing. It mirrors the hash and
// the facets as they were when built: `mirrors` tells whether the hash or
// the mesh's geometry has changed since through their own operations (a
// change of a cell's fields made directly goes unseen, as the facet hash is
// only filled by its build).
// Thread-safety: none; built and read by the mesh's one caller.

#include "mesh/SpatialHash.h"

#include <bit>
#include <cstdint>
#include <vector>

namespace Mesh {

class CBaseMesh;

class CFacetHashIndex {
public:
    struct Cell {
        float min[3], max[3]; // the cell's box
        float reach;          // how far its items' facets reach beyond them
        int first, count;     // its items
        int group, groups;    // its groups of items (none: the items at once)
    };
    // Part of a crowded cell's items (those in one octant of its box), with
    // their own box and reach, so that a ray test can pass them over whole.
    struct Group {
        float min[3], max[3];
        float reach;
        int first, count; // items
    };
    struct Item {
        float xyz[3];
        float radius; // distance to the farthest corner of the facet
        int facet;
        bool alone;    // the facet's only item in the hash
        bool triangle; // the facet is a triangle whose corners lie in `corners`
    };

    std::vector<Cell> cells; // in key order
    std::vector<Item> items; // cell by cell; a crowded cell's by group
    std::vector<Group> groups;
    // Item n's facet corners at 9 n .. 9 n + 8 (corner k at 9 n + 3 k) when
    // the item is marked a triangle.
    std::vector<float> corners;
    // Whether some cell carries user data (its facets are a list of its
    // own): the searches then go through the hash itself.
    bool userData = false;
    // Every point of every facet lies within this distance of one of its
    // facet's items (a facet with interior samples within a step of the
    // sampling, one entered once within its item's radius): a search for the
    // facet nearest a point that has met every item within the distance
    // found plus this one has met that facet.
    float coverage = 0.0f;

    // True when built from `hash` and neither the hash nor the geometry of
    // the mesh (counted by `geometryVersion`) has changed since.
    bool mirrors(const C3DHash<CFacetCentroid, float>& hash, std::uint64_t geometryVersion) const
    {
        return built && source == &hash && version == hash.version &&
               geometry == geometryVersion;
    }
    // Mirrors `hash` of `mesh`, whose geometry is at `geometryVersion`. The
    // corners of a triangle come from `storedCorners` when given (9 floats
    // per entry of the array `entries` the hash's items point into, NaN
    // first for a facet that is not a triangle), else from the mesh. Where
    // every item is such an entry the index takes the list over, its
    // corners moved into the items' order, and leaves it empty.
    void build(const C3DHash<CFacetCentroid, float>& hash, CBaseMesh& mesh,
               std::uint64_t geometryVersion, std::vector<float>* storedCorners = nullptr,
               const CFacetCentroid* entries = nullptr, int entryCount = 0);

    // Item n's corners, null unless its facet is a triangle.
    const float* cornersOf(const Item& item) const
    {
        return item.triangle ? corners.data() + 9 * std::size_t(&item - items.data()) : nullptr;
    }

    // Index of the cell with the given key, -1 when there is none.
    int cellAt(int i, int j, int k) const
    {
        if (i < keyLow[0] || i > keyHigh[0] || j < keyLow[1] || j > keyHigh[1] || k < keyLow[2] ||
            k > keyHigh[2] || cells.empty())
            return -1;
        const int key[3] = {i, j, k};
        return cellInBox(key);
    }
    // The same for a key known to lie in the key box.
    int cellInBox(const int* key) const
    {
        if (!rows[2].empty()) {
            const std::size_t at = std::size_t(
                ((long long)(key[0] - keyLow[0]) * extent[1] + (key[1] - keyLow[1])) * extent[2] +
                (key[2] - keyLow[2]));
            if ((rows[2][at >> 6] >> (at & 63) & 1u) == 0)
                return -1;
            return cellOfBit(at);
        }
        const Keyed* found = table.find(key[0], key[1], key[2]);
        return found != nullptr ? found->index : -1;
    }
    // Visits (visit(cellIndex)) the cells of the keys whose coordinate on
    // axis `along` runs from `from` to `to` (ascending), the other two
    // coordinates those of `key`; every key lies in the key box.
    template <class Visit> void forCellsInRow(int* key, int along, int from, int to, Visit visit) const
    {
        if (rows[2].empty()) {
            for (int w = from; w <= to; ++w) {
                key[along] = w;
                const Keyed* found = table.find(key[0], key[1], key[2]);
                if (found != nullptr)
                    visit(found->index);
            }
            return;
        }
        // The bits of the row lie side by side in the bits kept with this
        // axis running fastest.
        const int y = (along + 1) % 3, z = (along + 2) % 3;
        const std::size_t base =
            std::size_t(((long long)(key[y] - keyLow[y]) * extent[z] + (key[z] - keyLow[z])) *
                        extent[along]);
        const std::vector<std::uint64_t>& bits = rows[along];
        const std::size_t first = base + std::size_t(from - keyLow[along]);
        const std::size_t last = base + std::size_t(to - keyLow[along]);
        for (std::size_t word = first >> 6; word <= last >> 6; ++word) {
            std::uint64_t w = bits[word];
            if (word == first >> 6)
                w &= ~std::uint64_t(0) << (first & 63);
            if (word == last >> 6 && (last & 63) != 63)
                w &= (std::uint64_t(1) << ((last & 63) + 1)) - 1;
            while (w != 0) {
                const std::size_t at = (word << 6) + std::size_t(std::countr_zero(w));
                w &= w - 1;
                key[along] = keyLow[along] + int(at - base);
                const std::size_t main =
                    along == 2 ? at
                               : std::size_t(((long long)(key[0] - keyLow[0]) * extent[1] +
                                              (key[1] - keyLow[1])) *
                                                 extent[2] +
                                             (key[2] - keyLow[2]));
                visit(cellOfBit(main));
            }
        }
    }
    const int* lowestKey() const { return keyLow; }
    const int* highestKey() const { return keyHigh; }

private:
    // Cells of more items than this keep them by groups.
    static constexpr int kGroupedCell = 8;
    // Sorts the cell's items (and their corners) by octant, through the
    // scratch arrays, and makes their groups.
    void groupItems(Cell& cell, std::vector<Item>& sorted, std::vector<float>& sortedCorners);

    struct Keyed {
        int i, j, k;
        int index;
    };
    // The cell of the set bit `at` of the key box (axis 2 fastest): the
    // number of set bits before it, as the cells lie in key order.
    int cellOfBit(std::size_t at) const
    {
        const std::uint64_t below = rows[2][at >> 6] & ((std::uint64_t(1) << (at & 63)) - 1);
        return bitsBefore[at >> 6] + std::popcount(below);
    }

    bool built = false;
    const void* source = nullptr;
    std::uint64_t version = 0;
    std::uint64_t geometry = 0;
    int keyLow[3] = {0, 0, 0};
    int keyHigh[3] = {0, 0, 0};
    long long extent[3] = {0, 0, 0};
    // A bit per key of the key box when it is small enough: rows[a] with
    // axis a running fastest, the other two in the order a + 1, a + 2.
    // rows[2] is the key order (i, j, k) of the cells.
    std::vector<std::uint64_t> rows[3];
    std::vector<int> bitsBefore; // set bits of rows[2] before each of its words
    std::vector<Keyed> keyed;
    C3DCellIndex<Keyed> table;
};

} // namespace Mesh
