#pragma once
// CFitPointGrid: a regular 3-D grid of buckets over the bounding box of a
// fit-point array, each bucket listing the indices of the points inside it,
// so that a fit point near a query position is found without scanning the
// whole array. The nearest-point query looks only into the query's own
// bucket: a nearer point in a neighbouring bucket is never returned.
//
// Ownership: the grid owns its buckets; the fit-point array belongs to the
// caller, is not copied and must outlive the grid (its points must not move
// while the grid is used).
// Thread-safety: none needed for queries (const), but building and filling
// write the buckets; one thread per grid.

#include "foundation/FitPoint.h"
#include "foundation/KorArray.h"
#include "foundation/Vector.h"

#include <vector>

class CFitPointGrid {
public:
    // Upper bound of nx ny nz. A bucket size far below the extent of the
    // points would otherwise ask for more buckets than memory holds; the
    // grid then coarsens until it fits.
    static constexpr long kMaxBuckets = 1L << 22;

    // Buckets of about cellSize (at least 1e-8) per axis: floor(extent /
    // size + 1) buckets on each axis (at least 1, so a flat axis gets one),
    // the bucket size being extent / count. Every point is filled in.
    CFitPointGrid(const Kor::Array<CFitPoint>& pts, double cellSize);
    // Given bucket counts (values below 1 count as 1). The bucket size per
    // axis is extent / (count - 1), so that the maximum corner opens the last
    // bucket; an axis with a single bucket takes the whole extent as its
    // size. Every point is filled in.
    CFitPointGrid(const Kor::Array<CFitPoint>& pts, int nx, int ny, int nz);
    ~CFitPointGrid() = default;
    CFitPointGrid(const CFitPointGrid&) = delete;
    CFitPointGrid& operator=(const CFitPointGrid&) = delete;

    // Empties every bucket, then puts the index of every point of pts into
    // the bucket of its position and recounts the occupied buckets. The grid
    // refers to pts afterwards; its box and bucket sizes stay as built.
    void fill(const Kor::Array<CFitPoint>& pts);

    // The bucket of p, its indices in i, j, k. Per axis the offset from the
    // origin is clamped into [1e-16, 1e32] and the bucket size into
    // [2.2e-16, 1e32], and the index floor(offset / size) into [0, count - 1]:
    // a position outside the box falls into the nearest border bucket. A
    // non-finite coordinate gives index 0 on its axis. p needs 3 entries.
    Kor::Array<int>& cellOf(const Vector& p, int& i, int& j, int& k);
    const Kor::Array<int>& cellOf(const Vector& p, int& i, int& j, int& k) const;

    // The point of p's own bucket nearest to p (squared distance; the first
    // listed of equal distances wins): found = true and index its array
    // index. When that bucket is empty found = false, index = -1 and the
    // first point of the array is returned, or null when the array is empty
    // (no element is touched then).
    const CFitPoint* findNearest(const Vector& p, bool& found, int& index) const;

    // The point nearest to p over the whole array (squared distance; the
    // lowest index of equal distances, as a scan in array order would find),
    // its array index in index. Searches boxes of buckets around p's bucket,
    // as far along each axis as its bucket size asks, and stops once no
    // bucket outside the box can hold a nearer point. Null with index -1
    // when the array is empty or no distance is a number.
    const CFitPoint* findNearestOverall(const Vector& p, int& index) const;

    // The centre of bucket (i, j, k): origin + (index + 0.5) x bucket size per
    // axis. Indices outside the grid give the centre the grid would continue
    // with there.
    Vector gridCellCenter(int i, int j, int k) const;

    int getCountX() const { return nx; }
    int getCountY() const { return ny; }
    int getCountZ() const { return nz; }
    int getOccupiedCount() const { return occupied; }
    const Vector& getCellSize() const { return cellSize; }
    const Vector& getOrigin() const { return origin; }
    // The bucket with indices (i, j, k), each 0 <= index < count.
    const Kor::Array<int>& bucketAt(int i, int j, int k) const
    {
        return buckets[static_cast<size_t>(i) +
                       static_cast<size_t>(nx) * (j + static_cast<size_t>(ny) * k)];
    }

private:
    // Box of pts, then the buckets for the counts already set.
    void build(const Kor::Array<CFitPoint>& pts);
    size_t bucketIndex(const Vector& p, int& i, int& j, int& k) const;

    std::vector<Kor::Array<int>> buckets; // nx ny nz lists, i + nx (j + ny k)
    int nx = 1;
    int ny = 1;
    int nz = 1;
    int occupied = 0;
    Vector cellSize{3};
    Vector origin{3};
    const Kor::Array<CFitPoint>* points = nullptr; // not owned
};
