#include "foundation/FitPointGrid.h"

#include <algorithm>
#include <cmath>

namespace {

// floor(extent / h + 1), at least 1, kept in double so that a huge ratio
// cannot overflow an int.
double bucketCountFor(double extent, double h)
{
    const double c = std::floor(extent / h + 1.0);
    return c >= 1.0 ? c : 1.0;
}

} // namespace

CFitPointGrid::CFitPointGrid(const Kor::Array<CFitPoint>& pts, double size)
{
    const std::array<Vector, 2> box = boundingBox(pts);
    double h = size >= 1e-8 ? size : 1e-8; // also catches a NaN size
    double counts[3];
    for (;;) {
        double total = 1.0;
        for (int a = 0; a < 3; ++a) {
            counts[a] = bucketCountFor(box[1][a] - box[0][a], h);
            total *= counts[a];
        }
        if (total <= static_cast<double>(kMaxBuckets))
            break;
        // Too fine for memory: coarsen by the cube root of the excess (at
        // least by a factor 1.25 so that rounding cannot stall the loop).
        h *= std::max(std::cbrt(total / static_cast<double>(kMaxBuckets)), 1.25);
    }
    nx = static_cast<int>(counts[0]);
    ny = static_cast<int>(counts[1]);
    nz = static_cast<int>(counts[2]);
    origin = box[0];
    for (int a = 0; a < 3; ++a)
        cellSize[a] = (box[1][a] - box[0][a]) / counts[a];
    build(pts);
}

CFitPointGrid::CFitPointGrid(const Kor::Array<CFitPoint>& pts, int cx, int cy, int cz)
{
    long c[3] = {std::max(cx, 1), std::max(cy, 1), std::max(cz, 1)};
    // Keep the total within kMaxBuckets: shrink the largest count first.
    while (c[0] * c[1] * c[2] > kMaxBuckets) {
        long* largest = std::max_element(c, c + 3);
        *largest = std::max(*largest / 2, 1L);
    }
    nx = static_cast<int>(c[0]);
    ny = static_cast<int>(c[1]);
    nz = static_cast<int>(c[2]);
    const std::array<Vector, 2> box = boundingBox(pts);
    origin = box[0];
    for (int a = 0; a < 3; ++a) {
        // count - 1 buckets span the box and the last one starts at its
        // maximum. A single bucket has no such division: it takes the whole
        // extent (every point lands in it whatever the size).
        const long divisor = std::max(c[a] - 1, 1L);
        cellSize[a] = (box[1][a] - box[0][a]) / static_cast<double>(divisor);
    }
    build(pts);
}

void CFitPointGrid::build(const Kor::Array<CFitPoint>& pts)
{
    buckets.assign(static_cast<size_t>(nx) * ny * nz, Kor::Array<int>());
    fill(pts);
}

void CFitPointGrid::fill(const Kor::Array<CFitPoint>& pts)
{
    points = &pts;
    for (Kor::Array<int>& b : buckets)
        b.count = 0;
    occupied = 0;
    int i, j, k;
    for (int n = 0; n < pts.count; ++n) {
        Kor::Array<int>& b = cellOf(pts.data[n].Point, i, j, k);
        if (b.count == 0)
            ++occupied;
        b.append(n);
    }
}

size_t CFitPointGrid::bucketIndex(const Vector& p, int& i, int& j, int& k) const
{
    const int counts[3] = {nx, ny, nz};
    int index[3] = {0, 0, 0};
    const int m = std::min(p.n, 3);
    for (int a = 0; a < m; ++a) {
        // Written as negated comparisons so that NaN takes the lower bound.
        double offset = p[a] - origin[a];
        if (!(offset >= 1e-16))
            offset = 1e-16;
        else if (offset > 1e32)
            offset = 1e32;
        double size = cellSize[a];
        if (!(size >= 2.2e-16))
            size = 2.2e-16;
        else if (size > 1e32)
            size = 1e32;
        // Clamped in double: offset / size can exceed the int range.
        const double cell = std::min(std::floor(offset / size), static_cast<double>(counts[a] - 1));
        index[a] = std::max(static_cast<int>(cell), 0);
    }
    i = index[0];
    j = index[1];
    k = index[2];
    return static_cast<size_t>(i) + static_cast<size_t>(nx) * (j + static_cast<size_t>(ny) * k);
}

Kor::Array<int>& CFitPointGrid::cellOf(const Vector& p, int& i, int& j, int& k)
{
    return buckets[bucketIndex(p, i, j, k)];
}

const Kor::Array<int>& CFitPointGrid::cellOf(const Vector& p, int& i, int& j, int& k) const
{
    return buckets[bucketIndex(p, i, j, k)];
}

Vector CFitPointGrid::gridCellCenter(int i, int j, int k) const
{
    return Vector((i + 0.5) * cellSize[0] + origin[0], (j + 0.5) * cellSize[1] + origin[1],
                  (k + 0.5) * cellSize[2] + origin[2]);
}

const CFitPoint* CFitPointGrid::findNearest(const Vector& p, bool& found, int& index) const
{
    int i, j, k;
    const Kor::Array<int>& b = cellOf(p, i, j, k);
    found = false;
    index = -1;
    if (points == nullptr || b.count == 0)
        return points != nullptr && points->count > 0 ? &points->data[0] : nullptr;
    double best = 0.0;
    for (int n = 0; n < b.count; ++n) {
        double d = squaredDistance(points->data[b.data[n]].Point, p);
        if (!(d >= 0.0))
            d = HUGE_VAL; // a NaN coordinate never wins
        if (index < 0 || d < best) {
            best = d;
            index = b.data[n];
        }
    }
    found = true;
    return &points->data[index];
}

const CFitPoint* CFitPointGrid::findNearestOverall(const Vector& p, int& index) const
{
    index = -1;
    if (points == nullptr || points->count == 0)
        return nullptr;
    int c[3];
    bucketIndex(p, c[0], c[1], c[2]);
    // A bucket d buckets away from p's own along an axis lies at least
    // (d - 1) bucket sizes (as cellOf uses them) away along it. The search
    // visits boxes of buckets round p's bucket that reach a radius along
    // every axis (one bucket beyond it), first the buckets next to p's, then
    // doubling the radius from the smallest bucket size, and stops once the
    // nearest point found lies within the least distance of a bucket outside
    // the box. Per axis, not by the smallest bucket size alone: on a thin
    // sheet (buckets far flatter than wide) a box as many buckets wide each
    // way would take nearly every bucket of the grid. On an axis of zero
    // extent every point sits in bucket 0 at the same coordinate: the search
    // stays in that layer.
    const int counts[3] = {nx, ny, nz};
    int lo[3], hi[3];
    double size[3];
    double unit = HUGE_VAL;
    for (int a = 0; a < 3; ++a) {
        size[a] = 0.0;
        lo[a] = hi[a] = 0;
        if (cellSize[a] == 0.0) {
            c[a] = 0;
            continue;
        }
        hi[a] = counts[a] - 1;
        if (counts[a] > 1) {
            size[a] = std::clamp(cellSize[a], 2.2e-16, 1e32);
            unit = std::min(unit, size[a]);
        }
    }
    // The squared least distance of a bucket d buckets away along axis a.
    auto axisBound = [&](int a, int at) {
        const int d = std::abs(at - c[a]) - 1;
        const double g = d > 0 ? d * size[a] : 0.0;
        return g * g;
    };
    double best = HUGE_VAL;
    auto visit = [&](int i, int j, int k) {
        const Kor::Array<int>& b = bucketAt(i, j, k);
        for (int n = 0; n < b.count; ++n) {
            const int idx = b.data[n];
            const double d = squaredDistance(points->data[idx].Point, p);
            if (d < best || (d == best && idx < index)) {
                best = d;
                index = idx;
            }
        }
    };
    // The box visited before, empty at first.
    int was[3][2] = {{1, 0}, {1, 0}, {1, 0}};
    double radius = 0.0;
    for (;;) {
        int from[3], to[3];
        // The least distance of a bucket outside the box.
        double beyond = HUGE_VAL;
        for (int a = 0; a < 3; ++a) {
            const double span = size[a] > 0.0 ? std::floor(radius / size[a]) + 1.0 : 0.0;
            const int s = span < counts[a] ? static_cast<int>(span) : counts[a];
            from[a] = std::max(c[a] - s, lo[a]);
            to[a] = std::min(c[a] + s, hi[a]);
            if (from[a] > lo[a] || to[a] < hi[a])
                beyond = std::min(beyond, s * size[a]);
        }
        for (int k = from[2]; k <= to[2]; ++k) {
            const double bk = axisBound(2, k);
            if (bk * (1.0 - 1e-9) > best)
                continue;
            const bool kWas = k >= was[2][0] && k <= was[2][1];
            for (int j = from[1]; j <= to[1]; ++j) {
                const double bj = bk + axisBound(1, j);
                if (bj * (1.0 - 1e-9) > best)
                    continue;
                // The row's buckets inside the box before were visited then.
                const bool rowWas = kWas && j >= was[1][0] && j <= was[1][1];
                for (int i = from[0]; i <= to[0]; ++i) {
                    if (rowWas && i == was[0][0])
                        i = was[0][1] + 1;
                    if (i > to[0])
                        break;
                    // A bucket that cannot hold a point as near as the best.
                    if ((bj + axisBound(0, i)) * (1.0 - 1e-9) > best)
                        continue;
                    visit(i, j, k);
                }
            }
        }
        // Every bucket not visited lies outside the box: the best point found
        // is the nearest once it lies within their least distance (the small
        // margin keeps rounding at bucket borders from cutting off an equal
        // distance), and nothing is left once the box holds every bucket.
        if (!(beyond < HUGE_VAL) || (index >= 0 && best * (1.0 + 1e-9) <= beyond * beyond))
            break;
        for (int a = 0; a < 3; ++a) {
            was[a][0] = from[a];
            was[a][1] = to[a];
        }
        radius = radius > 0.0 ? 2.0 * radius : unit;
    }
    return index >= 0 ? &points->data[index] : nullptr;
}
