#pragma once
// CSparsePointHash: float points (three floats each, held by pointer) sorted
// into cubic cells of an adjustable size, without allocating empty cells:
// three nested sparse levels, one per axis, each a sorted array keyed by the
// integer cell index along its axis (CSparseVector). The leaves are
// C3DHashCell records holding the cell's points. fitCellSize tunes the cell
// size until the number of occupied cells is close to a wanted count by
// sorting plain key arrays (no hash is built per trial size); the mesh's
// vertex thinning (sampleVerticesByHash) is its main user.
// Also the key helpers tupleLess, tupleQuickSort and countDistinctKeys.
//
// Ownership: the hash owns its levels and cells, never the points: the
// coordinates must outlive the hash (or its next clear). The display list
// id belongs to a drawing of the cells by the display layer; the hash only
// deletes that list when it is cleared.
// Thread-safety: none; the iteration cursor lives in the hash.

#include "foundation/KorList.h"
#include "foundation/KorSet.h"
#include "foundation/Sort.h"
#include "foundation/Vertex.h"

#include <cfloat>

// Lexicographic order of cell keys: i, then j, then k. Key is any record of
// three ints reached by operator[] (tuple<int,3>, CCellKey).
template <class Key> bool tupleLess(const Key* a, const Key* b)
{
    for (int c = 0; c < 3; ++c)
        if ((*a)[c] != (*b)[c])
            return (*a)[c] < (*b)[c];
    return false;
}

// Sorts keys[first..last] in place with less (a tupleLess).
template <class Key, class Less> void tupleQuickSort(Key* keys, int first, int last, Less less)
{
    if (keys != nullptr && first < last)
        quickSort(keys, first, last, less);
}

// The number of distinct keys in the sorted keys[0..n); 0 for n < 1.
template <class Key> int countDistinctKeys(const Key* keys, int n)
{
    if (keys == nullptr || n < 1)
        return 0;
    int distinct = 1;
    for (int m = 1; m < n; ++m)
        if (tupleLess(&keys[m - 1], &keys[m]))
            ++distinct;
    return distinct;
}

// A cell key held by value: three contiguous ints, so that key arrays sort
// without touching the heap.
struct CCellKey {
    int key[3] = {0, 0, 0};
    int& operator[](int c) { return key[c]; }
    const int& operator[](int c) const { return key[c]; }
};

// A leaf cell: its points (not owned), their centroid and a free vector.
template <class L, class P> class C3DHashCell {
public:
    L points;
    CVertex<double, 3> centroidPoint; // (0, 0, 0) until centroid() runs
    CVector<double, 3> vector;        // (0, 0, 0); free for the cell's user

    virtual ~C3DHashCell() = default;

    // The index of the point nearest to p (three floats or doubles) by
    // squared distance, formed in double (the first of equally near ones),
    // with that squared distance; false (index -1, dist2 the largest double)
    // for a cell without points.
    template <class S> bool findNearest(const S* p, int& index, double& dist2) const
    {
        index = -1;
        dist2 = DBL_MAX;
        for (int n = 0; n < points.count; ++n) {
            const float* q = points.data[n];
            double d2 = 0.0;
            for (int c = 0; c < 3; ++c)
                d2 += (double(q[c]) - p[c]) * (double(q[c]) - p[c]);
            if (d2 < dist2) {
                dist2 = d2;
                index = n;
            }
        }
        return index != -1;
    }

    // Computes, stores and returns the mean of the cell's points ((0, 0, 0)
    // for a cell without points).
    const CVertex<double, 3>& centroid()
    {
        double sum[3] = {0.0, 0.0, 0.0};
        for (int n = 0; n < points.count; ++n)
            for (int c = 0; c < 3; ++c)
                sum[c] += points.data[n][c];
        const double divisor = points.count > 0 ? double(points.count) : 2.2e-16;
        for (int c = 0; c < 3; ++c)
            centroidPoint.data[c] = sum[c] / divisor;
        return centroidPoint;
    }
};

// One sparse level: records (index, value) kept sorted by index.
template <class T> class CSparseVector {
public:
    struct Record {
        int index = 0;
        T value;
    };

    Kor::Set<Record> records; // owning, ascending by index

    // The value stored under index, or a new default value inserted at its
    // sorted place.
    T& findOrInsert(int index)
    {
        Record probe;
        probe.index = index;
        int at = -1;
        if (records.find(&probe, at, &lessRecord))
            return records.items[at]->value;
        Record* fresh = new Record;
        fresh->index = index;
        return records.insertAt(fresh, at)->value;
    }

    int getCount() const { return records.count; }
    void clear() { records.removeAll(true, false); }

    static bool lessRecord(const Record* a, const Record* b) { return a->index < b->index; }
};

class CSparsePointHash {
public:
    using Leaf = C3DHashCell<Kor::List<float*>, float*>;
    using ZLevel = CSparseVector<Leaf>;
    using YLevel = CSparseVector<ZLevel>;
    using XLevel = CSparseVector<YLevel>;

    const float* origin = nullptr; // first point of the last fitCellSize; (0,0,0) when null
    double cellSize = 1.0;
    double invCellSize = 1.0;
    int key[3] = {0, 0, 0}; // key of the last point hashed
    XLevel cells;
    int displayList = -1;        // -1 when no display list is held
    int cursor[3] = {0, -1, -1}; // iteration position per level

    CSparsePointHash() = default;
    CSparsePointHash(const CSparsePointHash&) = delete;
    CSparsePointHash& operator=(const CSparsePointHash&) = delete;
    ~CSparsePointHash() { clear(); }

    // The key of p: floor((p - origin) x invCellSize) per axis, clamped into
    // the int range. False (key 0, 0, 0) for a point with a non-finite
    // coordinate, which is never hashed.
    bool cellIndex(const float* p, int& i, int& j, int& k) const;

    // Appends p to the leaf of its key, creating the cells on the way.
    // False (nothing stored) for a null or non-finite point.
    bool insert(float* p);

    // Deletes the display list when one is held and an OpenGL context is
    // current (the id becomes -1 either way), then deletes every cell.
    void clear();

    // The number of leaf cells over all levels.
    int leafCellCount() const;

    // The leaf cells in key order (x, then y, then z): the first call after
    // an insert, a clear or resetIteration gives the first cell; null at the
    // end and on an empty hash.
    Leaf* nextCell();
    void resetIteration();

    // Tunes cellSize so that the points occupy about targetCount cells
    // (a targetCount below 1 counts as 1). Each of at most 13 rounds keys
    // every point with the current size, counts the distinct keys and
    // scales the size by sqrt(occupied / targetCount); the rounds stop when
    // that ratio is within tolerance of 1. origin becomes the first point.
    // Returns the occupied count of the last round (cellSize then already
    // holds the next, adjusted size); 0 without points. The hash ends empty.
    int fitCellSize(const Kor::List<float*>& points, int targetCount, double& size,
                    double tolerance);
};
