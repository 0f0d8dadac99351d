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
    // A bucket r rings away lies at least (r - 1) bucket sizes (as cellOf
    // uses them) away along some axis, so the smallest size bounds every
    // farther ring from below. On an axis of zero extent every point sits in
    // bucket 0 at the same coordinate: the search stays in that layer.
    const int counts[3] = {nx, ny, nz};
    int lo[3], hi[3];
    double minSize = HUGE_VAL;
    int rings = 1;
    for (int a = 0; a < 3; ++a) {
        if (cellSize[a] == 0.0) {
            c[a] = 0;
            lo[a] = hi[a] = 0;
            continue;
        }
        lo[a] = 0;
        hi[a] = counts[a] - 1;
        if (counts[a] > 1)
            minSize = std::min(minSize, std::clamp(cellSize[a], 2.2e-16, 1e32));
        rings = std::max(rings, counts[a]);
    }
    if (!(minSize < HUGE_VAL))
        minSize = 0.0;
    const int ci = c[0], cj = c[1], ck = c[2];
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
    for (int r = 0; r < rings; ++r) {
        const int i0 = std::max(ci - r, lo[0]), i1 = std::min(ci + r, hi[0]);
        const int j0 = std::max(cj - r, lo[1]), j1 = std::min(cj + r, hi[1]);
        const int k0 = std::max(ck - r, lo[2]), k1 = std::min(ck + r, hi[2]);
        for (int k = k0; k <= k1; ++k) {
            const bool kOnRing = k == ck - r || k == ck + r;
            for (int j = j0; j <= j1; ++j) {
                const bool jOnRing = kOnRing || j == cj - r || j == cj + r;
                if (jOnRing) {
                    for (int i = i0; i <= i1; ++i)
                        visit(i, j, k);
                } else {
                    if (ci - r >= lo[0])
                        visit(ci - r, j, k);
                    if (r > 0 && ci + r <= hi[0])
                        visit(ci + r, j, k);
                }
            }
        }
        // Ring r + 1 is at least r bucket sizes away; the small margin
        // keeps rounding at bucket borders from cutting off an equal
        // distance.
        const double bound = r * minSize;
        if (index >= 0 && bound * bound * (1.0 - 1e-9) > best)
            break;
    }
    return index >= 0 ? &points->data[index] : nullptr;
}
