#pragma once
// Spatial hash of points: Mesh::C3DHash<T,R> keeps items derived from
// CVertex<R,3> in a sparse grid of cubic cells (Mesh::C3DCell<T,R>), of which
// only the occupied ones exist. Cells are kept in a Kor::Set ordered by their
// integer key (i, j, k), items inside a cell in the exact lexicographic order
// of their positions. A cell is found by its key through an index kept beside
// the ordered set (an open-addressing table, and a dense array over the key
// box for the walks along a line), so a probe costs no search.
// Also the items of the mesh hashes: Mesh::CFacetCentroid (one point of a
// facet) and Mesh::CBaseHashVertex<N> (the base of hashed mesh vertices).
//
// Ownership: a hash owns its cells; a cell owns its items and deletes them
// when it is destroyed. Items inserted by pointer (storePointer) belong to
// someone else: such a hash must be emptied with clear() before it is
// destroyed. A cell's user data is never freed by the hash.
// Thread-safety: queries use the hash's scratch cells and result lists, so a
// hash serves one caller at a time.

#include "foundation/Box.h"
#include "foundation/KorList.h"
#include "foundation/KorSet.h"
#include "foundation/Vertex.h"
#include "mesh/MeshGeometry.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <limits>
#include <vector>

namespace Mesh {

// The key of the cell of side 1 / inverseCellSize that holds the coordinate
// x: a coordinate beyond an int's range of cells takes the outermost key, and
// one that is not a number key 0, so no coordinate makes an undefined key.
inline int cellKeyOf(double x, double inverseCellSize)
{
    const double f = std::floor(x * inverseCellSize);
    if (std::isnan(f))
        return 0;
    if (f <= double(INT_MIN))
        return INT_MIN;
    if (f >= double(INT_MAX))
        return INT_MAX;
    return int(f);
}

// A hash of a cell's three keys for open-addressing tables of cells.
inline std::uint64_t cellKeyHash(int i, int j, int k)
{
    std::uint64_t h = std::uint32_t(i) * 0x9E3779B97F4A7C15ull;
    h ^= std::uint32_t(j) * 0xC2B2AE3D27D4EB4Full;
    h ^= std::uint32_t(k) * 0x165667B19E3779F9ull;
    h ^= h >> 29;
    return h;
}

// One occupied cell of a C3DHash.
template <class T, class R> class C3DCell {
public:
    int i = 0, j = 0, k = 0;
    Kor::Set<T> items; // owning, ordered by lessVertex
    CBox<R, 3> box;    // box of the items, kept by the hash
    void* m_pUserData = nullptr;
    // How far what the items stand for reaches beyond their points, set by
    // whoever fills the hash; infinite when not known. Inserting an item
    // makes it unknown again.
    R itemReach = std::numeric_limits<R>::infinity();

    C3DCell() = default;
    C3DCell(int ci, int cj, int ck) : i(ci), j(cj), k(ck) {}
    // Owning copies of the source's items; the box, the user data and the
    // reach copied.
    C3DCell(const C3DCell& other)
        : i(other.i), j(other.j), k(other.k), items(other.items), box(other.box),
          m_pUserData(other.m_pUserData), itemReach(other.itemReach)
    {
    }
    C3DCell& operator=(const C3DCell&) = delete;

    // Warns when user data is still attached (it is not freed), then deletes
    // the items with the item set.
    virtual ~C3DCell()
    {
        if (m_pUserData != nullptr)
            std::cout << "Destroying Cell, m_pUserData is not NULL ! " << std::endl;
    }

    // Cell order: i, then j, then k, as signed integers.
    static bool less(const C3DCell* a, const C3DCell* b)
    {
        if (a->i != b->i)
            return a->i < b->i;
        if (a->j != b->j)
            return a->j < b->j;
        return a->k < b->k;
    }

    // The box reset and grown by every item.
    void updateBox()
    {
        box.setEmpty();
        for (int n = 0; n < items.count; ++n)
            box.add(*items.items[n]);
    }
};

// The cell order under the name the fitting code uses.
template <class T, class R> bool lessCellIndex(const C3DCell<T, R>* a, const C3DCell<T, R>* b)
{
    return C3DCell<T, R>::less(a, b);
}

// Cells by key: an open-addressing table (linear probing, grown at half
// load) from (i, j, k) to the cell. Holds pointers only; the hash owns the
// cells.
template <class Cell> class C3DCellIndex {
public:
    Cell* find(int i, int j, int k) const
    {
        if (slots.empty())
            return nullptr;
        for (std::size_t s = slotOf(i, j, k);; s = (s + 1) & mask) {
            const Slot& slot = slots[s];
            if (slot.cell == nullptr)
                return nullptr;
            if (slot.i == i && slot.j == j && slot.k == k)
                return slot.cell;
        }
    }
    void add(Cell* cell)
    {
        if (2 * (used + 1) > slots.size())
            grow();
        place(cell);
        ++used;
    }
    // Room for n cells in all without growing.
    void reserve(std::size_t n)
    {
        std::size_t size = slots.empty() ? 64 : slots.size();
        while (2 * n > size)
            size *= 2;
        if (size > slots.size())
            rehash(size);
    }
    void clear()
    {
        slots.clear();
        used = 0;
        mask = 0;
    }

private:
    struct Slot {
        int i = 0, j = 0, k = 0;
        Cell* cell = nullptr;
    };
    std::vector<Slot> slots;
    std::size_t used = 0;
    std::size_t mask = 0;

    std::size_t slotOf(int i, int j, int k) const
    {
        return std::size_t(cellKeyHash(i, j, k)) & mask;
    }
    void place(Cell* cell)
    {
        std::size_t s = slotOf(cell->i, cell->j, cell->k);
        while (slots[s].cell != nullptr)
            s = (s + 1) & mask;
        slots[s] = Slot{cell->i, cell->j, cell->k, cell};
    }
    void grow() { rehash(slots.empty() ? 64 : 2 * slots.size()); }
    void rehash(std::size_t size)
    {
        std::vector<Slot> old;
        old.swap(slots);
        slots.assign(size, Slot());
        mask = slots.size() - 1;
        for (const Slot& slot : old)
            if (slot.cell != nullptr)
                place(slot.cell);
    }
};

// Visits every key of the box [keyLow, keyHigh] whose cell (edge 1 /
// inverseCellSize) can hold a point within `radius` of the line through p
// along the unit direction d: slab by slab along the dominant axis of d,
// the keys of each slab that come within the radius (with a margin for the
// rounding of keys and distances) of the part of the line that crosses it.
// The keys come as rows: visitRow(key, along, from, to) stands for the keys
// whose coordinate on axis `along` runs from `from` to `to` (ascending), the
// other two coordinates those of key (an int[3] whose entry `along` the
// visitor may use as it likes). A superset of the keys asked for, each
// visited once, in no particular order. False, with nothing visited, when
// the line cannot be walked (d zero, anything not finite).
template <class R, class VisitRow>
bool forKeyRowsNearLine(const R* p, const R* d, double radius, double inverseCellSize,
                        const int* keyLow, const int* keyHigh, VisitRow visitRow)
{
    double P[3], D[3];
    double largest = 0.0;
    int a = 0;
    for (int c = 0; c < 3; ++c) {
        P[c] = double(p[c]) * inverseCellSize;
        D[c] = double(d[c]);
        if (std::fabs(D[c]) > largest) {
            largest = std::fabs(D[c]);
            a = c;
        }
    }
    const double magnitude = std::max({std::fabs(P[0]), std::fabs(P[1]), std::fabs(P[2])});
    const double reach = radius * inverseCellSize * 1.001 + 1e-6 * (magnitude + 1.0) + 0.01;
    if (!(largest > 0.0) || !std::isfinite(reach) || !std::isfinite(magnitude) ||
        !std::isfinite(D[0] + D[1] + D[2]) || reach > 1e6)
        return false;
    const int b = (a + 1) % 3;
    const int c = (a + 2) % 3;
    int key[3];
    for (long long s = keyLow[a]; s <= keyHigh[a]; ++s) {
        double t0 = (double(s) - reach - P[a]) / D[a];
        double t1 = (double(s) + 1.0 + reach - P[a]) / D[a];
        if (t0 > t1)
            std::swap(t0, t1);
        long long from[3], to[3];
        for (int e : {b, c}) {
            const double x0 = P[e] + D[e] * t0;
            const double x1 = P[e] + D[e] * t1;
            from[e] = std::max((long long)keyLow[e], (long long)std::floor(std::min(x0, x1) - reach));
            to[e] = std::min((long long)keyHigh[e], (long long)std::floor(std::max(x0, x1) + reach));
        }
        if (from[c] > to[c])
            continue;
        key[a] = int(s);
        for (long long u = from[b]; u <= to[b]; ++u) {
            key[b] = int(u);
            visitRow(static_cast<int*>(key), c, int(from[c]), int(to[c]));
        }
    }
    return true;
}

// forKeyRowsNearLine key by key: visitKey(key), key an int[3].
template <class R, class VisitKey>
bool forKeysNearLine(const R* p, const R* d, double radius, double inverseCellSize,
                     const int* keyLow, const int* keyHigh, VisitKey visitKey)
{
    return forKeyRowsNearLine(p, d, radius, inverseCellSize, keyLow, keyHigh,
                              [&](int* key, int along, int from, int to) {
                                  for (int w = from; w <= to; ++w) {
                                      key[along] = w;
                                      visitKey(static_cast<const int*>(key));
                                  }
                              });
}

template <class T, class R> class C3DHash {
public:
    using Cell = C3DCell<T, R>;

    Kor::Set<Cell> cells; // owning, ordered by key
    double cellSize = 5.0;
    double inverseCellSize = 0.2; // keys are always computed with this value
    Cell queryCell;               // scratch: the key cell of the current query
    Cell probeCell;               // scratch: the neighbour cell being probed
    Kor::List<T*> results;        // items found by findNearest
    Kor::List<float> distances;   // their distances, index for index
    // Counts the changes of cells, items and boxes made through the hash's
    // operations, so that a mirror of the hash can tell that it is stale.
    std::uint64_t version = 0;

    C3DHash() = default;
    C3DHash(const C3DHash&) = delete;
    C3DHash& operator=(const C3DHash&) = delete;
    virtual ~C3DHash() { cells.removeAll(true, false); }

    // Sets the cell size before items are inserted (existing cells are not
    // rebuilt). The inverse is 1/s, or 1e8 when s is below 1e-8.
    void setCellSize(double s)
    {
        cellSize = s;
        inverseCellSize = s >= 1e-8 ? 1.0 / s : 1e8;
    }

    // The key of p: floor of each coordinate times the inverse cell size, in
    // double. Keys beyond the int range are clamped to it (NaN gives 0).
    bool cellKey(const CVertex<R, 3>& p, int& ci, int& cj, int& ck) const
    {
        ci = keyOf(p.data[0]);
        cj = keyOf(p.data[1]);
        ck = keyOf(p.data[2]);
        return true;
    }

    // cellKey under the name the fitting code uses.
    bool cellIndex(const CVertex<R, 3>& p, int& ci, int& cj, int& ck) const
    {
        return cellKey(p, ci, cj, ck);
    }

    // The cell with the given key, or null.
    Cell* findCell(int ci, int cj, int ck) const { return index.find(ci, cj, ck); }
    // Room for n cells in all, so that a build that knows its cell count
    // grows neither the cell set nor the key index cell by cell.
    void reserveCells(int n)
    {
        if (n > cells.capacity)
            cells.setCapacity(n);
        index.reserve(std::size_t(std::max(n, 0)));
    }
    // The cell with the given key, created and inserted at its ordered place
    // when there is none.
    Cell* findOrCreateCell(int ci, int cj, int ck)
    {
        if (Cell* cell = index.find(ci, cj, ck))
            return cell;
        queryCell.i = ci;
        queryCell.j = cj;
        queryCell.k = ck;
        // A key beyond the last cell's (items entered in key order) is
        // appended without a search.
        int at = cells.count - 1;
        if (cells.count > 0 && !Cell::less(cells.items[cells.count - 1], &queryCell))
            cells.find(&queryCell, at, &Cell::less);
        Cell* cell = cells.insertAt(new Cell(ci, cj, ck), at);
        index.add(cell);
        ++version;
        if (cells.count == 1) {
            keyLow[0] = keyHigh[0] = ci;
            keyLow[1] = keyHigh[1] = cj;
            keyLow[2] = keyHigh[2] = ck;
        } else {
            const int key[3] = {ci, cj, ck};
            for (int a = 0; a < 3; ++a) {
                keyLow[a] = std::min(keyLow[a], key[a]);
                keyHigh[a] = std::max(keyHigh[a], key[a]);
            }
        }
        return cell;
    }
    // The stored item equal to `item` (exact coordinates). When there is none,
    // `item` itself (storePointer) or a new copy of it is stored and returned.
    // growBox grows the cell's box by the result's position.
    T* insert(T& item, bool growBox, bool storePointer)
    {
        int ci, cj, ck;
        cellKey(item, ci, cj, ck);
        Cell* cell = findOrCreateCell(ci, cj, ck);
        int index = -1;
        T* result = nullptr;
        if (cell->items.find(&item, index, &lessVertex<T>))
            result = cell->items.items[index];
        else {
            result = cell->items.insertAt(storePointer ? &item : new T(item), index);
            cell->itemReach = std::numeric_limits<R>::infinity();
        }
        if (growBox)
            cell->box.add(*result);
        ++version;
        return result;
    }

    // The stored item whose coordinates equal p's exactly, or null.
    T* findVertex(const T& p)
    {
        int ci, cj, ck;
        cellKey(p, ci, cj, ck);
        Cell* cell = findCell(ci, cj, ck);
        if (cell == nullptr)
            return nullptr;
        int index = -1;
        return cell->items.find(&p, index, &lessVertex<T>) ? cell->items.items[index] : nullptr;
    }

    // Collects in `results` / `distances` every item closer than `radius`
    // (the cell size when radius <= 0) to p, visiting the cells around p's
    // cell in key order. Without searchNeighbours only p's own cell (or the
    // cell preceding its key) is read, and every item of it is returned.
    // True when at least one item was found.
    bool findNearest(const CVertex<R, 3>& p, float radius, bool searchNeighbours)
    {
        results.count = 0;
        distances.count = 0;
        if (cells.count == 0)
            return false;
        results.setCapacity(100, false);
        distances.setCapacity(100, false);
        if (radius <= 0.0f)
            radius = float(cellSize);
        const float r2 = radius * radius;
        cellKey(p, queryCell.i, queryCell.j, queryCell.k);
        if (searchNeighbours) {
            const double m = std::ceil(double(radius) * 0.95 / cellSize);
            forCellsAround(m, [&](Cell* cell) {
                if (!(boxSquaredDistance(cell->box, p) < R(r2)))
                    return true;
                for (int n = 0; n < cell->items.count; ++n) {
                    T* item = cell->items.items[n];
                    const R d2 = squaredDistance<R, 3>(*item, p);
                    if (d2 < R(r2))
                        addResult(item, d2);
                }
                return true;
            });
            return results.count > 0;
        }
        Cell* cell = ownOrPrecedingCell();
        for (int n = 0; n < cell->items.count; ++n) {
            T* item = cell->items.items[n];
            const R d2 = squaredDistance<R, 3>(*item, p);
            if (std::isfinite(double(d2)) && double(d2) < double(FLT_MAX))
                addResult(item, d2);
        }
        return results.count > 0;
    }

    // The distance from p to the nearest item of the whole hash; the largest
    // double when the hash is empty. Cells whose (grown) box lies further
    // than the best distance so far are passed over.
    double nearestDistance(const CVertex<R, 3>& p) const
    {
        double best2 = DBL_MAX;
        for (int n = 0; n < cells.count; ++n) {
            const Cell* cell = cells.items[n];
            const bool boxed = cell->box.min.data[0] <= cell->box.max.data[0];
            if (cell->items.count == 0 ||
                (boxed && !(double(boxSquaredDistance(cell->box, p)) < best2)))
                continue;
            for (int m = 0; m < cell->items.count; ++m)
                best2 = std::min(best2, double(squaredDistance<R, 3>(*cell->items.items[m], p)));
        }
        return best2 == DBL_MAX ? DBL_MAX : std::sqrt(best2);
    }

    // True when no item within the cells searched lies closer than
    // |distance| to p (an item exactly at that distance does not count).
    bool isAtLeast(const CVertex<R, 3>& p, float distance, bool searchNeighbours)
    {
        if (cells.count == 0) {
            std::cout << "Warning: isAtLeast called with an empty Hash. " << std::endl;
            return true;
        }
        const float d = std::fabs(distance);
        const float r2 = d * d;
        cellKey(p, queryCell.i, queryCell.j, queryCell.k);
        Cell* own = ownOrPrecedingCell();
        if (boxSquaredDistance(own->box, p) <= R(r2) && hasItemCloser(*own, p, r2))
            return false;
        if (!searchNeighbours)
            return true;
        bool free = true;
        const double m = std::ceil(double(d) / cellSize);
        forCellsAround(m, [&](Cell* cell) {
            if (boxSquaredDistance(cell->box, p) < R(r2) && hasItemCloser(*cell, p, r2)) {
                free = false;
                return false;
            }
            return true;
        });
        return free;
    }

    // Every cell's box reset and grown by each of its items.
    void updateCellBoxes()
    {
        for (int n = 0; n < cells.count; ++n)
            cells.items[n]->updateBox();
        ++version;
    }

    // Recomputes the cell boxes and returns their union (empty without cells).
    virtual CBox<R, 3> getBoundingBox()
    {
        ++version;
        CBox<R, 3> result;
        for (int n = 0; n < cells.count; ++n) {
            Cell* cell = cells.items[n];
            cell->updateBox();
            if (cell->items.count == 0)
                continue;
            result.add(cell->box.min);
            result.add(cell->box.max);
        }
        return result;
    }

    // The stored item nearest to v other than v itself (an item at v's exact
    // position counts as v). With insertFirst a copy of v is stored first.
    // Searched are the items within one cell size of v (the cells around v
    // with searchNeighbours, else v's own cell or the one preceding its key);
    // the first of equally near ones wins. When that finds none, the cell
    // whose box centre lies nearest to v (cells holding only v left out)
    // gives its item nearest to v. Null when the hash holds no other item.
    T* findOrInsertVertex(T& v, bool searchNeighbours, bool insertFirst)
    {
        if (insertFirst)
            insert(v, true, false);
        auto isV = [&](const T* item) {
            return !isLessVertex<R>(*item, v) && !isLessVertex<R>(v, *item);
        };
        T* best = nullptr;
        float bestDistance = FLT_MAX;
        if (findNearest(v, 0.0f, searchNeighbours))
            for (int n = 0; n < results.count; ++n)
                if (!isV(results.data[n]) && distances.data[n] < bestDistance) {
                    best = results.data[n];
                    bestDistance = distances.data[n];
                }
        if (best != nullptr)
            return best;
        Cell* nearestCell = nullptr;
        double nearestCentre = DBL_MAX;
        for (int n = 0; n < cells.count; ++n) {
            Cell* cell = cells.items[n];
            if (cell->items.count == 0 || (cell->items.count == 1 && isV(cell->items.items[0])))
                continue;
            double d2 = 0.0;
            for (int c = 0; c < 3; ++c) {
                const double centre = 0.5 * (double(cell->box.min.data[c]) + cell->box.max.data[c]);
                d2 += (centre - v.data[c]) * (centre - v.data[c]);
            }
            if (d2 < nearestCentre) {
                nearestCentre = d2;
                nearestCell = cell;
            }
        }
        if (nearestCell == nullptr)
            return nullptr;
        double nearest2 = DBL_MAX;
        for (int n = 0; n < nearestCell->items.count; ++n) {
            T* item = nearestCell->items.items[n];
            const double d2 = double(squaredDistance<R, 3>(*item, v));
            if (!isV(item) && d2 < nearest2) {
                nearest2 = d2;
                best = item;
            }
        }
        return best;
    }

    // Empties every cell's item set without deleting the items, then deletes
    // the cells. The way to empty a hash whose items are owned elsewhere.
    void clear()
    {
        for (int n = 0; n < cells.count; ++n)
            cells.items[n]->items.removeAll(false, false);
        cells.removeAll(true, false);
        index.clear();
        dense.clear();
        denseFor = 0;
        ++version;
    }

    // Visits every cell that can hold an item within `radius` of the line
    // through p along the unit direction d: slab by slab along the dominant
    // axis of d, the cells of each slab whose keys come within the radius
    // (with a margin for the rounding of keys and distances) of the part of
    // the line that crosses it. A superset of the cells asked for, each
    // visited once, in no particular order; the caller tests each cell
    // itself. False, with nothing visited, when the line cannot be walked (d
    // zero, anything not finite): the caller then scans every cell.
    template <class Visit>
    bool forCellsNearLine(const CVertex<R, 3>& p, const CVertex<R, 3>& d, double radius,
                          Visit visit)
    {
        if (cells.count == 0)
            return true;
        const bool useDense = buildDense();
        const long long extent[3] = {(long long)keyHigh[0] - keyLow[0] + 1,
                                     (long long)keyHigh[1] - keyLow[1] + 1,
                                     (long long)keyHigh[2] - keyLow[2] + 1};
        const bool walked = forKeysNearLine(
            p.data, d.data, radius, inverseCellSize, keyLow, keyHigh, [&](const int* key) {
                Cell* cell;
                if (useDense) {
                    const long long at =
                        ((long long)(key[0] - keyLow[0]) * extent[1] + (key[1] - keyLow[1])) *
                            extent[2] +
                        (key[2] - keyLow[2]);
                    cell = dense[std::size_t(at)];
                } else {
                    cell = index.find(key[0], key[1], key[2]);
                }
                if (cell != nullptr)
                    visit(cell);
            });
        if (walked)
            quietQueries = kSettledQueries;
        return walked;
    }

    // The key box of the cells (valid when there are cells).
    const int* lowestKey() const { return keyLow; }
    const int* highestKey() const { return keyHigh; }

private:
    C3DCellIndex<Cell> index;  // every cell of `cells` by key
    int keyLow[3] = {0, 0, 0}; // key box of the cells
    int keyHigh[3] = {0, 0, 0};
    // Cells over the key box (x-major), built for the line walks when the box
    // holds few enough keys; valid while the cell count is denseFor.
    std::vector<Cell*> dense;
    int denseFor = 0;

    // A hash that has answered this many queries since its last new cell is
    // taken as settled: its dense array is then built for the probes too.
    static constexpr int kSettledQueries = 64;
    int quietQueries = 0;
    int quietFor = -1; // cell count the quiet queries were counted at

    void settle()
    {
        if (quietFor != cells.count) {
            quietFor = cells.count;
            quietQueries = 0;
        }
        if (++quietQueries == kSettledQueries)
            buildDense();
    }
    // The cell of a key: from the dense array while it is valid, else from
    // the table.
    Cell* cellAtKey(int ci, int cj, int ck) const
    {
        if (denseFor == cells.count && !dense.empty()) {
            if (ci < keyLow[0] || ci > keyHigh[0] || cj < keyLow[1] || cj > keyHigh[1] ||
                ck < keyLow[2] || ck > keyHigh[2])
                return nullptr;
            const long long e1 = (long long)keyHigh[1] - keyLow[1] + 1;
            const long long e2 = (long long)keyHigh[2] - keyLow[2] + 1;
            return dense[std::size_t(((long long)(ci - keyLow[0]) * e1 + (cj - keyLow[1])) * e2 +
                                     (ck - keyLow[2]))];
        }
        return index.find(ci, cj, ck);
    }

    bool buildDense()
    {
        if (denseFor == cells.count && !dense.empty())
            return true;
        double volume = 1.0;
        for (int a = 0; a < 3; ++a)
            volume *= double(keyHigh[a]) - keyLow[a] + 1.0;
        if (volume > std::max(double(1 << 22), 16.0 * cells.count))
            return false;
        const long long e1 = (long long)keyHigh[1] - keyLow[1] + 1;
        const long long e2 = (long long)keyHigh[2] - keyLow[2] + 1;
        dense.assign(std::size_t(volume), nullptr);
        for (int n = 0; n < cells.count; ++n) {
            Cell* cell = cells.items[n];
            const long long at =
                ((long long)(cell->i - keyLow[0]) * e1 + (cell->j - keyLow[1])) * e2 +
                (cell->k - keyLow[2]);
            dense[std::size_t(at)] = cell;
        }
        denseFor = cells.count;
        return true;
    }

    int keyOf(R x) const { return cellKeyOf(double(x), inverseCellSize); }

    void addResult(T* item, R d2)
    {
        results.append(item);
        distances.append(float(std::sqrt(double(d2))));
    }

    bool hasItemCloser(const Cell& cell, const CVertex<R, 3>& p, float r2) const
    {
        for (int n = 0; n < cell.items.count; ++n)
            if (squaredDistance<R, 3>(*cell.items.items[n], p) < R(r2))
                return true;
        return false;
    }

    // p's own cell (key in queryCell), else the cell preceding that key in
    // the cell order, else the first cell. Requires at least one cell.
    Cell* ownOrPrecedingCell()
    {
        int index = -1;
        cells.find(&queryCell, index, &Cell::less);
        return cells.items[index < 0 ? 0 : index];
    }

    // Visits the existing cells whose keys lie within m of the query key on
    // every axis, in key order (di outermost, dk innermost); stops when
    // visit returns false. When the block of candidate keys is larger than
    // the number of cells, the cell set is scanned instead: the same cells
    // in the same order, without probing keys that cannot exist.
    template <class Visit> void forCellsAround(double m, Visit visit)
    {
        const long long ci = queryCell.i, cj = queryCell.j, ck = queryCell.k;
        const double side = 2.0 * m + 1.0;
        if (!(m < 1e6) || side * side * side > double(cells.count)) {
            const long long reach = m < 1e12 ? (long long)m : (long long)1e12;
            for (int n = 0; n < cells.count; ++n) {
                Cell* cell = cells.items[n];
                if (llabs(cell->i - ci) <= reach && llabs(cell->j - cj) <= reach &&
                    llabs(cell->k - ck) <= reach && !visit(cell))
                    return;
            }
            return;
        }
        const long long reach = (long long)m;
        settle();
        for (long long di = -reach; di <= reach; ++di)
            for (long long dj = -reach; dj <= reach; ++dj)
                for (long long dk = -reach; dk <= reach; ++dk) {
                    const long long a = ci + di, b = cj + dj, c = ck + dk;
                    if (a < INT_MIN || a > INT_MAX || b < INT_MIN || b > INT_MAX || c < INT_MIN ||
                        c > INT_MAX)
                        continue;
                    Cell* cell = cellAtKey(int(a), int(b), int(c));
                    if (cell != nullptr && !visit(cell))
                        return;
                }
    }
};

// The item of a mesh's facet hash: a point of facet `facet` (its centroid or
// a sample point of a large facet) and the distance from it to the facet's
// farthest corner, infinite when not known (the facet-hash build sets it).
// The point's coordinates are held in the item itself, not on the heap of
// their own: a mesh of a few large facets has a quarter of a million.
class CFacetCentroid : public CVertex<float, 3> {
public:
    int facet = -1;
    float radius = std::numeric_limits<float>::infinity();

    // The origin.
    CFacetCentroid() : CVertex<float, 3>(coordinates, VertexStorage::View) {}
    CFacetCentroid(const CVertex<float, 3>& p, int f)
        : CVertex<float, 3>(coordinates, VertexStorage::View), facet(f)
    {
        set(p.data);
    }
    CFacetCentroid(const CFacetCentroid& other)
        : CVertex<float, 3>(coordinates, VertexStorage::View), facet(other.facet),
          radius(other.radius)
    {
        set(other.data);
    }
    CFacetCentroid& operator=(const CFacetCentroid& other)
    {
        CVertex<float, 3>::operator=(other);
        facet = other.facet;
        radius = other.radius;
        return *this;
    }
    ~CFacetCentroid() override = default;

private:
    float coordinates[3] = {0.0f, 0.0f, 0.0f};
};

// Base of the hashed mesh vertices (the triangle mesh's vertex, the edge
// vertex of the plane sections): a position with a direction, a 32-bit value
// and a list of ints, all owned.
template <int N> class CBaseHashVertex : public CVertex<float, 3> {
public:
    CVector<float, 3> direction; // (0, 0, 0) at construction
    int value = 0;
    Kor::List<int> indices;

    CBaseHashVertex() = default;
    explicit CBaseHashVertex(const CVertex<float, 3>& p) : CVertex<float, 3>(p) {}
    CBaseHashVertex(const CBaseHashVertex& other) = default;
    CBaseHashVertex& operator=(const CBaseHashVertex& other) = default;
    ~CBaseHashVertex() override = default;
};

} // namespace Mesh
