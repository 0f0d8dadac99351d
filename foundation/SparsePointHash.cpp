#include "foundation/SparsePointHash.h"

#include "platform/GLContext.h"

#include <GL/gl.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

namespace {

constexpr int kMaxFitRounds = 13;

int clampedKey(double f)
{
    if (f <= double(INT_MIN))
        return INT_MIN;
    if (f >= double(INT_MAX))
        return INT_MAX;
    return int(f);
}

} // namespace

bool CSparsePointHash::cellIndex(const float* p, int& i, int& j, int& k) const
{
    int* out[3] = {&i, &j, &k};
    for (int c = 0; c < 3; ++c)
        *out[c] = 0;
    if (p == nullptr)
        return false;
    for (int c = 0; c < 3; ++c) {
        const double o = origin != nullptr ? double(origin[c]) : 0.0;
        const double f = std::floor((double(p[c]) - o) * invCellSize);
        if (!std::isfinite(double(p[c])) || std::isnan(f)) {
            i = j = k = 0;
            return false;
        }
        *out[c] = clampedKey(f);
    }
    return true;
}

bool CSparsePointHash::insert(float* p)
{
    int i, j, k;
    if (!cellIndex(p, i, j, k))
        return false;
    key[0] = i;
    key[1] = j;
    key[2] = k;
    cells.findOrInsert(i).findOrInsert(j).findOrInsert(k).points.append(p);
    resetIteration();
    return true;
}

void CSparsePointHash::clear()
{
    if (displayList >= 0 && Platform::GLContext::isAnyCurrent())
        glDeleteLists(GLuint(displayList), 1);
    displayList = -1;
    cells.clear();
    resetIteration();
}

int CSparsePointHash::leafCellCount() const
{
    int n = 0;
    for (int x = 0; x < cells.records.count; ++x) {
        const YLevel& ys = cells.records.items[x]->value;
        for (int y = 0; y < ys.records.count; ++y)
            n += ys.records.items[y]->value.getCount();
    }
    return n;
}

void CSparsePointHash::resetIteration()
{
    cursor[0] = 0;
    cursor[1] = -1;
    cursor[2] = -1;
}

CSparsePointHash::Leaf* CSparsePointHash::nextCell()
{
    // cursor[1] and cursor[2] point at the last leaf returned; -1 before the
    // first one.
    while (cursor[0] < cells.records.count) {
        YLevel& ys = cells.records.items[cursor[0]]->value;
        if (cursor[1] < 0)
            cursor[1] = 0;
        while (cursor[1] < ys.records.count) {
            ZLevel& zs = ys.records.items[cursor[1]]->value;
            if (++cursor[2] < zs.records.count)
                return &zs.records.items[cursor[2]]->value;
            ++cursor[1];
            cursor[2] = -1;
        }
        ++cursor[0];
        cursor[1] = -1;
        cursor[2] = -1;
    }
    return nullptr;
}

int CSparsePointHash::fitCellSize(const Kor::List<float*>& points, int targetCount, double& size,
                                  double tolerance)
{
    if (points.count < 1)
        return 0;
    clear();
    origin = points.data[0];
    const double target = double(std::max(targetCount, 1));
    std::vector<CCellKey> keys;
    keys.reserve(std::size_t(points.count));
    int occupied = 0;
    for (int round = 0; round < kMaxFitRounds; ++round) {
        invCellSize = 1.0 / std::max(size, 1e-8);
        keys.clear();
        CCellKey k;
        for (int n = 0; n < points.count; ++n)
            if (cellIndex(points.data[n], k[0], k[1], k[2]))
                keys.push_back(k);
        tupleQuickSort(keys.data(), 0, int(keys.size()) - 1, &tupleLess<CCellKey>);
        occupied = countDistinctKeys(keys.data(), int(keys.size()));
        const double ratio = occupied / target;
        size *= std::sqrt(ratio);
        if (!(std::fabs(1.0 - ratio) > tolerance))
            break;
    }
    return occupied;
}
