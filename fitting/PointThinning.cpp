#include "fitting/PointThinning.h"

#include "foundation/Logging.h"
#include "foundation/SparsePointHash.h"

#include <algorithm>
#include <cmath>
#include <ostream>
#include <vector>

namespace {

// Below this spacing the thinning keeps every point.
constexpr double kNoSpacing = 1e-8;

// The points' first three coordinates, contiguous, missing ones 0.
template <class T> std::vector<T> packCoordinates(const Kor::List<Vector*>& pts)
{
    std::vector<T> xyz(3 * std::size_t(pts.count), T(0));
    for (int i = 0; i < pts.count; ++i) {
        const Vector* p = pts.data[i];
        for (int c = 0; p != nullptr && c < 3 && c < p->n; ++c)
            xyz[3 * std::size_t(i) + c] = T((*p)[c]);
    }
    return xyz;
}

// Inserts every point into the hash with the given cell size and returns
// the number of occupied cells.
int fillHash(CSparsePointHash& hash, const Kor::List<float*>& points, double cellSize)
{
    hash.clear();
    hash.cellSize = cellSize;
    hash.invCellSize = 1.0 / std::max(cellSize, 1e-8);
    for (float* q : points)
        hash.insert(q);
    return hash.leafCellCount();
}

} // namespace

bool thinPoints(const Kor::List<Vector*>& pts, Kor::List<int>& kept, double minDist)
{
    if (pts.count == 0)
        return false;
    if (!(minDist > kNoSpacing)) {
        for (int i = 0; i < pts.count; ++i)
            kept.append(i);
        return true;
    }
    std::vector<double> xyz = packCoordinates<double>(pts);
    CThinningHash hash;
    hash.setCellSize(minDist);
    // The hash takes its radius in single precision; asking with the next
    // float above minDist and deciding in double keeps the test strict at
    // exactly minDist, whatever the rounding of minDist to float.
    const float radius = std::nextafter(float(minDist), HUGE_VALF);
    const double limit2 = minDist * minDist;
    for (int i = 0; i < pts.count; ++i) {
        CSimpleVertex3d p(&xyz[3 * std::size_t(i)]);
        bool crowded = false;
        if (hash.thinningQuery(p, radius, true))
            for (CSimpleVertex3d* q : hash.results)
                if (squaredDistance<double, 3>(*q, p) < limit2) {
                    crowded = true;
                    break;
                }
        if (crowded)
            continue;
        kept.append(i);
        hash.thinningInsert(p, true, false);
    }
    return true;
}

bool thinToTargetCount(const Kor::List<Vector*>& pts, int targetCount, Kor::List<int>& chosen)
{
    if (pts.count == 0)
        return false;
    targetCount = std::max(targetCount, 1);
    std::vector<float> xyz = packCoordinates<float>(pts);
    Kor::List<float*> points;
    points.setCapacity(pts.count, false);
    for (int i = 0; i < pts.count; ++i)
        points.append(&xyz[3 * std::size_t(i)]);

    // The tuning starts from the cells that share the points' box out among
    // the wanted count as a sheet of points would occupy them: a size of the
    // points' own scale, so that points in metres are thinned as the same
    // points in millimetres.
    float lo[3] = {xyz[0], xyz[1], xyz[2]}, hi[3] = {xyz[0], xyz[1], xyz[2]};
    for (int i = 1; i < pts.count; ++i)
        for (int c = 0; c < 3; ++c) {
            lo[c] = std::min(lo[c], xyz[3 * std::size_t(i) + c]);
            hi[c] = std::max(hi[c], xyz[3 * std::size_t(i) + c]);
        }
    const double side = std::max({double(hi[0]) - lo[0], double(hi[1]) - lo[1], double(hi[2]) - lo[2]});
    CSparsePointHash hash;
    double cellSize = side > 0.0 && std::isfinite(side) ? side / std::sqrt(double(targetCount)) : 1.0;
    hash.fitCellSize(points, targetCount, cellSize, 0.2);
    fillHash(hash, points, cellSize);

    while (CSparsePointHash::Leaf* cell = hash.nextCell()) {
        if (cell->points.count == 0)
            continue;
        const CVertex<double, 3>& centre = cell->centroid();
        int nearest = 0;
        double d2 = 0.0;
        if (!cell->findNearest(centre.data, nearest, d2))
            nearest = 0;
        const float* q = cell->points.data[nearest];
        const std::ptrdiff_t offset = q - xyz.data();
        const long index = long(offset / 3);
        if (offset < 0 || index >= pts.count) {
            profileLog() << "pointer computations are wrong" << std::endl;
            continue;
        }
        if (points.data[index] != q) {
            profileLog() << "pointer compute wrong!" << std::endl;
            continue;
        }
        chosen.append(int(index));
    }
    hash.clear();
    return true;
}

bool selectThinnedSubset(IndexSubset<CFitPoint>& pts, int targetCount, double minDist)
{
    auto pointsOf = [&pts]() {
        Kor::List<Vector*> list;
        list.setCapacity(pts.count, false);
        for (int k = 0; k < pts.count; ++k)
            list.append(&pts[k].Point);
        return list;
    };
    auto keepOnly = [&pts](const Kor::List<int>& positions) {
        std::vector<int> indices;
        indices.reserve(std::size_t(positions.count));
        for (int k : positions)
            indices.push_back(pts.indices[k]);
        pts.clear();
        for (int index : indices)
            pts.append(index);
    };
    if (pts.count > targetCount) {
        Kor::List<int> chosen;
        thinToTargetCount(pointsOf(), targetCount, chosen);
        keepOnly(chosen);
    }
    if (pts.count > 0) {
        Kor::List<int> kept;
        thinPoints(pointsOf(), kept, minDist);
        keepOnly(kept);
    }
    return true;
}

IndexSubset<CFitPoint> intersectSubsets(IndexSubset<CFitPoint>& a, IndexSubset<CFitPoint>& b)
{
    IndexSubset<CFitPoint> common(a.array, 0);
    if (a.array != b.array)
        return common;
    std::sort(a.indices, a.indices + a.count);
    std::sort(b.indices, b.indices + b.count);
    for (int i = 0, j = 0; i < a.count && j < b.count;) {
        if (a.indices[i] < b.indices[j])
            ++i;
        else if (b.indices[j] < a.indices[i])
            ++j;
        else {
            common.append(a.indices[i]);
            ++i;
            ++j;
        }
    }
    return common;
}
