#pragma once
// A flat mirror of a mesh's facet hash for the hit searches: the cells in
// key order as plain records (box, reach of their items, range of their
// items) and the items of every cell side by side (point, reach to the
// farthest corner of its facet, facet), found by key through an array over
// the key box or a table. The items of a crowded cell are kept by the
// octants of its box, each octant a group with a box and reach of its own. A search reads a cell and its items from a few
// adjacent places instead of following the pointers of the hash's cells,
// boxes and items. The searches it serves give what the hash gives: the
// same cells and items, tested by the same arithmetic.
//
// Ownership: plain values; it refers to nothing. It mirrors the hash as it
// was when built: `mirrors` tells whether the hash has changed since
// through its own operations (a change of a cell's fields made directly
// goes unseen, as the facet hash is only filled by its build).
// Thread-safety: none; built and read by the mesh's one caller.

#include "mesh/SpatialHash.h"

#include <cstdint>
#include <vector>

namespace Mesh {

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
        bool alone; // the facet's only item in the hash
    };

    std::vector<Cell> cells; // in key order
    std::vector<Item> items; // cell by cell; a crowded cell's by group
    std::vector<Group> groups;
    // Whether some cell carries user data (its facets are a list of its
    // own): the searches then go through the hash itself.
    bool userData = false;

    // True when built from `hash` and the hash has not changed since.
    bool mirrors(const C3DHash<CFacetCentroid, float>& hash) const
    {
        return built && source == &hash && version == hash.version;
    }
    void build(const C3DHash<CFacetCentroid, float>& hash);

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
        if (!dense.empty()) {
            // A bit per key first: most keys along a line hold no cell, and
            // the bits stay in the caches where the array would not.
            const std::size_t at =
                std::size_t(((long long)(key[0] - keyLow[0]) * extent[1] + (key[1] - keyLow[1])) *
                                extent[2] +
                            (key[2] - keyLow[2]));
            if ((occupied[at >> 6] >> (at & 63) & 1u) == 0)
                return -1;
            return dense[at];
        }
        const Keyed* found = table.find(key[0], key[1], key[2]);
        return found != nullptr ? found->index : -1;
    }
    const int* lowestKey() const { return keyLow; }
    const int* highestKey() const { return keyHigh; }

private:
    // Cells of more items than this keep them by groups.
    static constexpr int kGroupedCell = 8;
    void groupItems(Cell& cell);

    struct Keyed {
        int i, j, k;
        int index;
    };
    bool built = false;
    const void* source = nullptr;
    std::uint64_t version = 0;
    int keyLow[3] = {0, 0, 0};
    int keyHigh[3] = {0, 0, 0};
    long long extent[3] = {0, 0, 0};
    std::vector<int> dense;                // over the key box, when it is small enough
    std::vector<std::uint64_t> occupied; // a bit per key of dense: a cell is there
    std::vector<Keyed> keyed;
    C3DCellIndex<Keyed> table;
};

} // namespace Mesh
