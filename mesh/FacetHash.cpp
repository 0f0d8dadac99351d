// The facet hash of a mesh (one point per facet plus interior samples of large
// facets) and the ray and point hits of Mesh::CBaseMesh.

#include "mesh/FacetHash.h"

#include "foundation/Logging.h"
#include "foundation/Progress.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <climits>
#include <cmath>
#include <iostream>
#include <limits>
#include <numeric>
#include <set>
#include <vector>

bool lessByThirdDouble(const Mesh::CBaseMesh::CBaseHitInfo* a,
                       const Mesh::CBaseMesh::CBaseHitInfo* b)
{
    return a->distance < b->distance;
}

namespace Mesh {

void sortHits(CBaseMesh::CBaseHitInfo** items, int n)
{
    if (items == nullptr || n < 2)
        return;
    std::stable_sort(items, items + n,
                     [](const CBaseMesh::CBaseHitInfo* a, const CBaseMesh::CBaseHitInfo* b) {
                         return ::lessByThirdDouble(a, b);
                     });
}

namespace {

// Facets below this quality are slivers: never entered in the hash and never
// the facet of a fallback hit.
constexpr double kMinFacetQuality = 1e-4;
// Sample points of a large facet lie at most this many cell sizes apart.
constexpr double kSampleSpacing = 0.9;
// Division counts of the sampling are kept in this range.
constexpr int kMinDivisions = 2;
constexpr int kMaxDivisions = 100;
// Interior samples of long facets at the most. The real meshes of large flat
// facets take up to some 170000; a few hundred bytes of compressed mesh
// record can hold thousands of facets as large as the mesh, some 5000
// samples each. Facets past the budget are found from their centroid's cell
// only.
constexpr int kMaxSamples = 1 << 18;

// The corner count and the corners of a facet in ascending order: coincident
// facets (the same corners, in any order or turn) give the same key. Empty
// for corners that are not all finite.
using CornerKey = std::array<float, 13>;

CornerKey cornerKey(const CVertex<float, 3>* corners, int n)
{
    std::array<std::array<float, 3>, 4> sorted{};
    for (int k = 0; k < n; ++k)
        for (int a = 0; a < 3; ++a) {
            if (!std::isfinite(corners[k].data[a]))
                return {};
            sorted[k][a] = corners[k].data[a] + 0.0f; // both zeros as one
        }
    // By insertion: n is 3 or 4 (a library sort of the first n of four
    // arrays draws an out-of-bounds warning from the optimiser).
    for (int i = 1; i < n; ++i)
        for (int j = i; j > 0 && sorted[j] < sorted[j - 1]; --j)
            std::swap(sorted[j], sorted[j - 1]);
    CornerKey key{};
    key[0] = float(n);
    for (int k = 0; k < n; ++k)
        std::copy(sorted[k].begin(), sorted[k].end(), key.begin() + 1 + 3 * k);
    return key;
}

// Points of the hash with their facets (the facet centroids, then the interior
// samples of large facets), collected before the centroid array is allocated.
struct SamplePoints {
    std::vector<float> xyz;
    std::vector<int> facet;

    void append(const CVertex<float, 3>& p, int f) { append(p.data, f); }
    void append(const float* p, int f)
    {
        xyz.insert(xyz.end(), p, p + 3);
        facet.push_back(f);
    }
    int count() const { return int(facet.size()); }
};

int divisionCount(double length, double cellSize)
{
    const double n = std::ceil(length / (kSampleSpacing * cellSize));
    if (!(n >= kMinDivisions))
        return kMinDivisions;
    return n > kMaxDivisions ? kMaxDivisions : int(n);
}

// Covers triangle (p0, p1, p2) of facet f with interior points at most about
// 0.9 cell sizes apart: the two longer edges are divided from their common
// corner into the same number of parts, and every pair of division points is
// joined by a row of points.
void sampleTriangle(const CVertex<float, 3>& p0, const CVertex<float, 3>& p1,
                    const CVertex<float, 3>& p2, int f, double cellSize, SamplePoints& out)
{
    const CVertex<float, 3>* corner[3] = {&p0, &p1, &p2};
    double length[3];
    for (int k = 0; k < 3; ++k)
        length[k] = pointDistance(*corner[k], *corner[(k + 1) % 3]);
    // Edge k runs from corner k to corner k + 1; leave out the shortest.
    int shortest = 0;
    for (int k = 1; k < 3; ++k)
        if (length[k] < length[shortest])
            shortest = k;
    const CVertex<float, 3>& apex = *corner[(shortest + 2) % 3];
    const CVertex<float, 3>& endA = *corner[shortest];
    const CVertex<float, 3>& endB = *corner[(shortest + 1) % 3];
    const int n = std::max(divisionCount(length[(shortest + 2) % 3], cellSize),
                           divisionCount(length[(shortest + 1) % 3], cellSize));
    for (int i = 1; i < n; ++i) {
        const double s = double(i) / n;
        const CVertex<float, 3> a = lerp(s, apex, endA);
        const CVertex<float, 3> b = lerp(s, apex, endB);
        const int m = divisionCount(pointDistance(a, b), cellSize);
        float point[3];
        for (int j = 1; j < m; ++j) {
            lerpInto(double(j) / m, a.data, b.data, point);
            out.append(point, f);
        }
    }
}

// The ray of the frame against triangle (a, b, c), the ray taken as a full
// line. The corners are projected into the plane across the ray (origin
// relative to each corner) and the origin is tested for lying inside the
// projected triangle by counting edge crossings of the positive x half-axis.
// The absolute thresholds apply to triangles of unit size and shrink with
// smaller ones, so a small model is not hit from beside its facets.
bool rayTriangleHit(CRayFrame& frame, const CVertex<float, 3>& a, const CVertex<float, 3>& b,
                    const CVertex<float, 3>& c, double tolerance)
{
    const CVertex<float, 3>* corner[3] = {&a, &b, &c};
    float x[3], y[3];
    float longest = 0.0f;
    for (int k = 0; k < 3; ++k) {
        for (int i = 0; i < 3; ++i)
            frame.relative[k].data[i] = frame.origin.data[i] - corner[k]->data[i];
        x[k] = dotProduct(frame.relative[k], frame.u);
        y[k] = dotProduct(frame.relative[k], frame.v);
        longest = std::max(longest, pointDistance(*corner[k], *corner[(k + 1) % 3]));
    }
    const double scale = std::min(1.0, double(longest));
    const double bound = 1e-8 * scale;
    const double snap = 1e-4 * scale;
    const double tol = tolerance;

    const float minX = std::min({x[0], x[1], x[2]}), maxX = std::max({x[0], x[1], x[2]});
    if (minX - tol > bound || maxX + tol < -bound)
        return false;
    for (int k = 0; k < 3; ++k)
        if (std::fabs(x[k]) < snap && std::fabs(y[k]) < snap)
            return true;
    const float minY = std::min({y[0], y[1], y[2]}), maxY = std::max({y[0], y[1], y[2]});
    if (minY - tol > bound || maxY + tol < -bound)
        return false;

    // Half-open crossing rule: an edge crosses the axis when its ends lie on
    // different sides of y > 0, so a corner lying on the axis is counted once.
    int crossings = 0;
    for (int k = 0; k < 3; ++k) {
        const int l = (k + 1) % 3;
        if ((y[k] > 0.0f) == (y[l] > 0.0f))
            continue;
        const double ya = std::fabs(double(y[k])), yb = std::fabs(double(y[l]));
        const double crossing = (double(x[k]) * yb + double(x[l]) * ya) / (ya + yb);
        if (crossing >= -1e-16 * scale)
            ++crossings;
    }
    return crossings % 2 == 1;
}

void setZero(CVertex<float, 3>& v)
{
    v.data[0] = v.data[1] = v.data[2] = 0.0f;
}

// Corners a facet may have for the side test to read them at once.
constexpr int kCornerCapacity = 64;
// Corners of the largest polygon the hash build reads at once.
constexpr int kLargestPolygonReadAtOnce = 1 << 20;

// How far beyond the ray, across it, a facet's projected corners may lie for
// the triangle test still to hit one of its triangles: the larger of that
// test's bound (at most 1e-8) and snap distance (at most 1e-4), plus the
// tolerance.
double sideMargin(double tolerance)
{
    return 1e-4 + 1e-8 + std::fabs(tolerance);
}

// Distance from p to the farthest of the n corners (x, y, z each) of a
// facet; infinite when the side test cannot read them at once (n < 3: it
// then lets the facet through).
// The order of the keys (i, j, k) as a stable sort gives it, by a counting
// sort per coordinate when the keys lie close enough together.
std::vector<int> stableKeyOrder(const std::vector<std::array<int, 3>>& keys)
{
    const std::size_t n = keys.size();
    std::vector<int> order(n);
    for (std::size_t k = 0; k < n; ++k)
        order[k] = int(k);
    if (n < 2)
        return order;
    int low[3], high[3];
    for (int a = 0; a < 3; ++a) {
        low[a] = high[a] = keys[0][a];
        for (const std::array<int, 3>& key : keys) {
            low[a] = std::min(low[a], key[a]);
            high[a] = std::max(high[a], key[a]);
        }
        if (double(high[a]) - low[a] > 4.0 * double(n) + 1024.0) {
            std::stable_sort(order.begin(), order.end(),
                             [&](int x, int y) { return keys[std::size_t(x)] < keys[std::size_t(y)]; });
            return order;
        }
    }
    // Least significant coordinate first; each pass keeps the order of the
    // one before among equal coordinates.
    std::vector<int> other(n);
    std::vector<std::size_t> start;
    for (int a = 2; a >= 0; --a) {
        start.assign(std::size_t(high[a] - low[a]) + 2, 0);
        for (const std::array<int, 3>& key : keys)
            ++start[std::size_t(key[a] - low[a]) + 1];
        for (std::size_t b = 1; b < start.size(); ++b)
            start[b] += start[b - 1];
        for (int k : order)
            other[start[std::size_t(keys[std::size_t(k)][a] - low[a])]++] = k;
        order.swap(other);
    }
    return order;
}

float cornerRadius(const float* corners, int n, const CVertex<float, 3>& p)
{
    if (n < 3)
        return std::numeric_limits<float>::infinity();
    double far2 = 0.0;
    for (int k = 0; k < n; ++k) {
        double d2 = 0.0;
        for (int c = 0; c < 3; ++c) {
            const double e = double(corners[3 * k + c]) - p.data[c];
            d2 += e * e;
        }
        if (!std::isfinite(d2))
            return std::numeric_limits<float>::infinity();
        far2 = std::max(far2, d2);
    }
    const float r = float(std::sqrt(far2));
    return std::isfinite(r) ? r : std::numeric_limits<float>::infinity();
}

// True when the ray of the frame passes so far from hash point xyz that
// every corner of its facet (all within `radius` of the point) projects
// beyond `margin` on one side of the ray along the frame's u or v: the side
// test (rayMayHitFacet) would reject the facet. The allowance of 1e-5 of the
// distances involved covers that test's float rounding. Never rejects with
// an infinite radius, with anything not finite, or at distances where that
// test's float arithmetic could overflow.
bool rayPassesFacetOf(const CRayFrame& frame, const float* xyz, float radius, double margin)
{
    double x = 0.0, y = 0.0, size = radius;
    for (int c = 0; c < 3; ++c) {
        const double w = double(frame.origin.data[c]) - xyz[c];
        x += w * frame.u.data[c];
        y += w * frame.v.data[c];
        size += std::fabs(w);
    }
    if (!(size < 1e30))
        return false;
    const double limit = double(radius) + margin + 1e-5 * size;
    return std::max(std::fabs(x), std::fabs(y)) > limit;
}

// The same for every facet with a point in a cell of box [min, max] whose
// items reach `reach` beyond it: the ray passes the box, grown by that
// reach, by more than `margin` along u or v.
bool rayPassesFacetsOf(const CRayFrame& frame, const float* min, const float* max, float reach,
                       double margin)
{
    double x = 0.0, y = 0.0, spreadX = reach, spreadY = reach, size = reach;
    for (int c = 0; c < 3; ++c) {
        const double half = 0.5 * (double(max[c]) - min[c]);
        const double w = double(frame.origin.data[c]) - 0.5 * (double(min[c]) + max[c]);
        x += w * frame.u.data[c];
        y += w * frame.v.data[c];
        spreadX += half * std::fabs(frame.u.data[c]);
        spreadY += half * std::fabs(frame.v.data[c]);
        size += std::fabs(w) + half;
    }
    if (!(size < 1e30))
        return false;
    const double slack = margin + 1e-5 * size;
    return std::fabs(x) > spreadX + slack || std::fabs(y) > spreadY + slack;
}

} // namespace

namespace {

// Moves the entries' corners (9 floats per entry of `entries`) into the
// order of the hash's items, cell by cell, in place, and cuts the list to
// them: the index keeps the array instead of a copy of tens of megabytes.
// False, the list left as it was, where an item lies outside the entries.
bool cornersInItemOrder(const C3DHash<CFacetCentroid, float>& hash,
                        std::vector<float>& storedCorners, const CFacetCentroid* entries,
                        int entryCount, std::size_t itemCount)
{
    const std::size_t count = std::size_t(std::max(entryCount, 0));
    if (entries == nullptr || storedCorners.size() != 9 * count || itemCount > count)
        return false;
    // The entry each place takes its corners from: the items' entries, then
    // the entries no item holds (each entry is stored once at the most).
    std::vector<int> source;
    source.reserve(count);
    std::vector<char> held(count, 0);
    for (int c = 0; c < hash.cells.count; ++c)
        for (const CFacetCentroid* item : hash.cells.items[c]->items) {
            const std::ptrdiff_t entry = item - entries;
            if (entry < 0 || std::size_t(entry) >= count || held[std::size_t(entry)] != 0)
                return false;
            held[std::size_t(entry)] = 1;
            source.push_back(int(entry));
        }
    for (std::size_t e = 0; e < count; ++e)
        if (held[e] == 0)
            source.push_back(int(e));
    // The permutation applied cycle by cycle; `held` marks the places done.
    std::fill(held.begin(), held.end(), 0);
    float* xyz = storedCorners.data();
    for (std::size_t start = 0; start < count; ++start) {
        if (held[start] != 0 || std::size_t(source[start]) == start)
            continue;
        float first[9];
        std::copy_n(xyz + 9 * start, 9, first);
        std::size_t at = start;
        for (;;) {
            held[at] = 1;
            const std::size_t from = std::size_t(source[at]);
            if (from == start) {
                std::copy_n(first, 9, xyz + 9 * at);
                break;
            }
            std::copy_n(xyz + 9 * from, 9, xyz + 9 * at);
            at = from;
        }
    }
    storedCorners.resize(9 * itemCount);
    return true;
}

} // namespace

void CFacetHashIndex::build(const C3DHash<CFacetCentroid, float>& hash, CBaseMesh& mesh,
                            std::uint64_t geometryVersion, std::vector<float>* storedCorners,
                            const CFacetCentroid* entries, int entryCount)
{
    cells.clear();
    items.clear();
    groups.clear();
    corners.clear();
    coverage = 0.0f;
    for (std::vector<std::uint64_t>& r : rows)
        r.clear();
    bitsBefore.clear();
    keyed.clear();
    table.clear();
    userData = false;
    built = true;
    source = &hash;
    version = hash.version;
    geometry = geometryVersion;
    const int n = hash.cells.count;
    cells.reserve(std::size_t(n));
    keyed.reserve(std::size_t(n));
    std::size_t itemCount = 0;
    for (int c = 0; c < n; ++c)
        itemCount += std::size_t(hash.cells.items[c]->items.count);
    items.reserve(itemCount);
    const bool inPlace = storedCorners != nullptr &&
                         cornersInItemOrder(hash, *storedCorners, entries, entryCount, itemCount);
    if (inPlace)
        corners.swap(*storedCorners);
    else
        corners.resize(9 * itemCount);
    float read[3 * kCornerCapacity];
    std::vector<Item> sorted;
    std::vector<float> sortedCorners;
    for (int c = 0; c < n; ++c) {
        const C3DCell<CFacetCentroid, float>* cell = hash.cells.items[c];
        userData = userData || cell->m_pUserData != nullptr;
        Cell flat;
        for (int a = 0; a < 3; ++a) {
            flat.min[a] = cell->box.min.data[a];
            flat.max[a] = cell->box.max.data[a];
        }
        flat.reach = cell->itemReach;
        flat.first = int(items.size());
        flat.count = cell->items.count;
        flat.group = int(groups.size());
        flat.groups = 0;
        for (const CFacetCentroid* item : cell->items) {
            float* to = corners.data() + 9 * items.size();
            const std::ptrdiff_t entry = item - entries;
            bool triangle = false;
            if (inPlace) {
                triangle = to[0] == to[0];
            } else if (storedCorners != nullptr && entry >= 0 && entry < entryCount) {
                const float* from = storedCorners->data() + 9 * entry;
                triangle = from[0] == from[0];
                std::copy_n(from, 9, to);
            } else if (mesh.readFacetCorners(item->facet, read, kCornerCapacity) == 3) {
                triangle = true;
                std::copy_n(read, 9, to);
            }
            items.push_back(Item{{item->data[0], item->data[1], item->data[2]}, item->radius,
                                 item->facet, false, triangle});
        }
        if (flat.count > kGroupedCell)
            groupItems(flat, sorted, sortedCorners);
        cells.push_back(flat);
        keyed.push_back(Keyed{cell->i, cell->j, cell->k, c});
    }
    if (n == 0)
        return;
    int largest = -1;
    for (const Item& item : items)
        largest = std::max(largest, item.facet);
    std::vector<unsigned char> seen(std::size_t(largest) + 1, 0);
    for (const Item& item : items)
        if (item.facet >= 0 && seen[std::size_t(item.facet)] < 2)
            ++seen[std::size_t(item.facet)];
    for (Item& item : items)
        item.alone = item.facet >= 0 && seen[std::size_t(item.facet)] == 1;
    // A facet with interior samples has them in rows along its two longer
    // edges and along each row, at most a sampling step apart: 0.9 cell
    // sizes, or a hundredth of the edge (no longer than twice an item's
    // radius) where the division count is capped. A point of it lies within
    // a row step and a point step of a sample, and within its item's radius
    // of any item.
    coverage = 0.0f;
    const double step = kSampleSpacing * hash.cellSize;
    for (const Item& item : items) {
        if (!std::isfinite(item.radius))
            continue;
        double reach = item.radius;
        if (!item.alone)
            reach = std::min(reach, 2.0 * std::max(step, 2.0 * item.radius / kMaxDivisions));
        coverage = std::max(coverage, float(reach));
    }
    for (int a = 0; a < 3; ++a) {
        keyLow[a] = keyHigh[a] = (&keyed[0].i)[a];
        for (const Keyed& k : keyed) {
            keyLow[a] = std::min(keyLow[a], (&k.i)[a]);
            keyHigh[a] = std::max(keyHigh[a], (&k.i)[a]);
        }
        extent[a] = (long long)keyHigh[a] - keyLow[a] + 1;
    }
    const double volume = double(extent[0]) * double(extent[1]) * double(extent[2]);
    if (volume <= std::max(double(1 << 22), 16.0 * n)) {
        const std::size_t words = (std::size_t(volume) + 63) / 64;
        for (int along = 0; along < 3; ++along) {
            rows[along].assign(words, 0u);
            const int y = (along + 1) % 3, z = (along + 2) % 3;
            for (const Keyed& k : keyed) {
                const int* key = &k.i;
                const std::size_t at = std::size_t(
                    ((long long)(key[y] - keyLow[y]) * extent[z] + (key[z] - keyLow[z])) *
                        extent[along] +
                    (key[along] - keyLow[along]));
                rows[along][at >> 6] |= std::uint64_t(1) << (at & 63);
            }
        }
        bitsBefore.resize(words);
        int before = 0;
        for (std::size_t w = 0; w < words; ++w) {
            bitsBefore[w] = before;
            before += std::popcount(rows[2][w]);
        }
    } else {
        for (Keyed& k : keyed)
            table.add(&k);
    }
}

void CFacetHashIndex::groupItems(Cell& cell, std::vector<Item>& sorted,
                                 std::vector<float>& sortedCorners)
{
    // Items by the octant of the cell's box they lie in (the order within an
    // octant kept), each octant with the box and reach of its items.
    Item* first = items.data() + cell.first;
    float middle[3];
    for (int a = 0; a < 3; ++a)
        middle[a] = 0.5f * (cell.min[a] + cell.max[a]);
    auto octant = [&](const Item& item) {
        return (item.xyz[0] > middle[0] ? 1 : 0) | (item.xyz[1] > middle[1] ? 2 : 0) |
               (item.xyz[2] > middle[2] ? 4 : 0);
    };
    // A stable counting sort by octant, the items' corners moving with them.
    int start[9] = {};
    for (int n = 0; n < cell.count; ++n)
        ++start[octant(first[n]) + 1];
    for (int o = 0; o < 8; ++o)
        start[o + 1] += start[o];
    sorted.resize(std::size_t(cell.count));
    sortedCorners.resize(9 * std::size_t(cell.count));
    float* cornersOfFirst = corners.data() + 9 * std::size_t(cell.first);
    for (int n = 0; n < cell.count; ++n) {
        const int at = start[octant(first[n])]++;
        sorted[std::size_t(at)] = first[n];
        std::copy_n(cornersOfFirst + 9 * n, 9, sortedCorners.data() + 9 * at);
    }
    std::copy_n(sorted.begin(), cell.count, first);
    std::copy_n(sortedCorners.begin(), 9 * cell.count, cornersOfFirst);
    for (int n = 0; n < cell.count;) {
        Group group;
        group.first = cell.first + n;
        group.reach = 0.0f;
        for (int a = 0; a < 3; ++a) {
            group.min[a] = first[n].xyz[a];
            group.max[a] = first[n].xyz[a];
        }
        const int o = octant(first[n]);
        int m = n;
        for (; m < cell.count && octant(first[m]) == o; ++m) {
            for (int a = 0; a < 3; ++a) {
                group.min[a] = std::min(group.min[a], first[m].xyz[a]);
                group.max[a] = std::max(group.max[a], first[m].xyz[a]);
            }
            // A reach that is not a number leaves the group's test open.
            const float r = first[m].radius;
            group.reach = r >= group.reach ? r : (r == r ? group.reach
                                                         : std::numeric_limits<float>::infinity());
        }
        group.count = m - n;
        groups.push_back(group);
        ++cell.groups;
        n = m;
    }
}

const CFacetHashIndex* CBaseMesh::flatFacetHash()
{
    if (facetHash.cells.count == 0)
        return nullptr;
    if (!facetIndex.mirrors(facetHash, geometryVersion))
        facetIndex.build(facetHash, *this, geometryVersion);
    return facetIndex.userData ? nullptr : &facetIndex;
}

bool CBaseMesh::rayPassesFacetNear(const float* xyz, float radius, double tolerance) const
{
    return rayPassesFacetOf(rayFrame, xyz, radius, sideMargin(tolerance));
}

void CBaseMesh::buildFacetHash(double divisor, double size, void*)
{
    if (facetHash.cells.count > 0 || getVertexCount(true) < 3)
        return;
    const int facetCount = getFacetCount();
    if (facetCount <= 0)
        return;
    // A box never computed would give an infinite cell size.
    if (box.isEmpty())
        computeBoundingBox();
    const double s = 2.0 * double(maxExtent(box)) / divisor;
    const double cellSize = size > 0.0 ? size : s;
    // A zero, negative or infinite cell size (a mesh without extent, or a
    // divisor that is not positive) gives no usable keys.
    if (!(cellSize > 0.0) || !std::isfinite(cellSize))
        return;
    facetHash.setCellSize(cellSize);
    if (isLoggingEnabled())
        std::cout << "::initsearch r=" << facetHash.cellSize << std::endl;

    // The facet centroids in facet order, each facet's corners read at once
    // where the mesh can (else one by one): its quality, its centroid and,
    // without an edge table, whether it has a long edge.
    SamplePoints pending;
    int sampleCount = 0;
    Kor::List<int> longFacets;
    const bool scanEdges = size < 0.0 && edges.count == 0;
    const double limit2 = 2.56 * s * s;
    {
        std::vector<float> buffer(3 * kCornerCapacity);
        CVertex<float, 3> centroid, prev, cur;
        for (int f = 0; f < facetCount; ++f) {
            int n = readFacetCorners(f, buffer.data(), kCornerCapacity);
            // A larger polygon is read at once too (read corner by corner,
            // its edges, quality and centroid take each corner some ten
            // times), up to a bound on the buffer.
            const int cornerCount = n < 1 ? getFacetSize(f) : n;
            if (n < 1 && cornerCount > kCornerCapacity &&
                cornerCount <= kLargestPolygonReadAtOnce) {
                buffer.resize(std::max(buffer.size(), 3 * std::size_t(cornerCount)));
                n = readFacetCorners(f, buffer.data(), cornerCount);
            }
            const float* corners = buffer.data();
            if (n < 1) {
                if (scanEdges) {
                    for (int k = 1; k <= cornerCount; ++k) {
                        if (!getFacetCorner(f, k - 1, prev) || !getFacetCorner(f, k, cur))
                            continue;
                        if (double(squaredPointDistance(prev, cur)) > limit2) {
                            longFacets.append(f);
                            break;
                        }
                    }
                }
                if (facetQuality(f) >= kMinFacetQuality && getFacetCentroid(f, centroid))
                    pending.append(centroid, f);
                continue;
            }
            if (scanEdges) {
                for (int k = 1; k <= n; ++k) {
                    const CVertex<float, 3> a(buffer.data() + 3 * (k - 1), VertexStorage::View);
                    const CVertex<float, 3> b(buffer.data() + 3 * (k % n), VertexStorage::View);
                    if (double(squaredPointDistance(a, b)) > limit2) {
                        longFacets.append(f);
                        break;
                    }
                }
            }
            if (cornerQuality(corners, n) >= kMinFacetQuality) {
                cornerCentroid(corners, n, centroid);
                pending.append(centroid, f);
            }
        }
    }
    // Facets with a long edge get interior samples so that they are found
    // from every cell they cross; they are entered after the centroids.
    if (size < 0.0) {
        if (edges.count > 0) {
            for (const CPolygonEdge& e : edges) {
                if (!(double(e.length) > 0.8 * s))
                    continue;
                // Both facets of the edge carry it.
                if (e.facet1 >= 0)
                    longFacets.append(e.facet1);
                if (e.facet2 >= 0)
                    longFacets.append(e.facet2);
            }
        }
        longFacets.count = sortUnique(longFacets.data, longFacets.count);
        CVertex<float, 3> p[4];
        // The samples go after the centroids.
        const int centroids = pending.count();
        std::set<CornerKey> sampled;
        int leftOut = 0;
        for (int f : longFacets) {
            if (f < 0 || f >= facetCount)
                continue;
            // Only triangles and quadrilaterals are sampled; the quality of
            // another polygon matters only to the count of those left out.
            const int n = getFacetSize(f);
            const bool full = pending.count() - centroids >= kMaxSamples;
            if (!full && n != 3 && n != 4)
                continue;
            if (!(facetQuality(f) >= kMinFacetQuality))
                continue;
            if (full) {
                ++leftOut;
                continue;
            }
            bool readable = true;
            for (int k = 0; k < n; ++k)
                readable = readable && getFacetCorner(f, k, p[k]);
            if (!readable)
                continue;
            // A facet coincident with one sampled already would repeat its
            // samples: it is found from its centroid's cell, as the other
            // is found from all of them.
            const CornerKey key = cornerKey(p, n);
            if (key[0] != 0.0f && !sampled.insert(key).second)
                continue;
            sampleTriangle(p[0], p[1], p[2], f, s, pending);
            if (n == 4)
                sampleTriangle(p[2], p[3], p[0], f, s, pending);
        }
        if (leftOut > 0)
            std::cout << "facet hash: " << leftOut << " long facets without interior samples"
                      << std::endl;
        sampleCount = pending.count() - centroids;
    }
    // Stored cell by cell (in key order, entering order within a cell), so
    // that a walk over a cell's items reads adjacent memory.
    const int count = pending.count();
    std::vector<std::array<int, 3>> keys(static_cast<size_t>(count));
    for (int k = 0; k < count; ++k) {
        const CVertex<float, 3> point(&pending.xyz[3 * size_t(k)], VertexStorage::View);
        facetHash.cellKey(point, keys[k][0], keys[k][1], keys[k][2]);
    }
    const std::vector<int> order = stableKeyOrder(keys);
    delete[] facetCentroids;
    facetCentroids = new CFacetCentroid[std::max(count, 1)];
    // The corners of each entry's facet are read once: for its reach, and,
    // when the facet is a triangle, kept for the flat mirror. The samples of
    // a large facet that share a cell follow one another: its corners are
    // read once for them.
    std::vector<float> storedCorners(9 * std::size_t(count));
    float corners[3 * kCornerCapacity];
    int read = 0, readFacet = -1;
    for (int n = 0; n < count; ++n) {
        const int k = order[n];
        CFacetCentroid& stored = facetCentroids[n];
        stored.set(&pending.xyz[3 * size_t(k)]);
        stored.facet = pending.facet[k];
        if (n == 0 || stored.facet != readFacet) {
            read = readFacetCorners(stored.facet, corners, kCornerCapacity);
            readFacet = stored.facet;
        }
        stored.radius = cornerRadius(corners, read, stored);
        float* keep = storedCorners.data() + 9 * std::size_t(n);
        if (read == 3)
            std::copy_n(corners, 9, keep);
        else
            keep[0] = std::numeric_limits<float>::quiet_NaN();
    }

    if (progress != nullptr)
        progress->begin(0, facetCount + sampleCount);
    // The entries go in by key (the order they are stored in), so that each
    // new cell is appended to the ordered cell set instead of moving every
    // cell after it (a mesh of a few large facets has tens of thousands of
    // samples in as many cells), and within a cell by position, so that each
    // is appended to the cell's ordered items instead of moving those after
    // it (a cell of thousands of coincident or crowded facets would otherwise
    // cost the square of its count). The sort is stable, so of equal
    // positions the first entry is kept. Each entry is reported as a step; a
    // cancellation leaves the entries made so far in the hash.
    std::vector<int> entry(static_cast<size_t>(count));
    std::iota(entry.begin(), entry.end(), 0);
    int cellCount = 0;
    for (int a = 0; a < count; ++cellCount) {
        int b = a + 1;
        while (b < count && keys[order[b]] == keys[order[a]])
            ++b;
        if (b - a > 1)
            std::stable_sort(entry.begin() + a, entry.begin() + b, [&](int x, int y) {
                return lessVertex(&facetCentroids[x], &facetCentroids[y]);
            });
        a = b;
    }
    facetHash.reserveCells(cellCount);
    for (int k : entry) {
        facetHash.insert(facetCentroids[k], false, true);
        if (progress != nullptr) {
            progress->step(1);
            if (progress->isCancelled())
                break;
        }
    }
    facetHash.updateCellBoxes();
    for (auto* cell : facetHash.cells) {
        float reach = 0.0f;
        for (const CFacetCentroid* item : cell->items)
            reach = std::max(reach, item->radius);
        cell->itemReach = reach;
    }
    facetIndex.build(facetHash, *this, geometryVersion, &storedCorners, facetCentroids, count);
}

void CBaseMesh::setRay(const Point& p, const Direction& d)
{
    rayFrame.origin = p;
    rayFrame.d = d;
    normalize(rayFrame.d);
    rayFrame.u = anyPerpendicular(rayFrame.d);
    normalize(rayFrame.u);
    crossProductInto(rayFrame.d, rayFrame.u, rayFrame.v);
    normalize(rayFrame.v);
}

bool CBaseMesh::rayMayHitFacet(int i, double tolerance)
{
    float corners[3 * kCornerCapacity];
    const int n = readFacetCorners(i, corners, kCornerCapacity);
    return rayMayHitCorners(corners, n, tolerance);
}

bool CBaseMesh::rayMayHitCorners(const float* corners, int n, double tolerance)
{
    if (n < 3)
        return true;
    // Every triangle of the polygon has its corners among the polygon's, so
    // its projected extent lies within the polygon's. The triangle test
    // rejects a triangle lying beyond its bound plus the tolerance on one
    // side in x or y, and accepts one only with a corner within its snap
    // distance: beyond the side margin on one side, every triangle is
    // rejected.
    const double margin = sideMargin(tolerance);
    double minX = DBL_MAX, maxX = -DBL_MAX, minY = DBL_MAX, maxY = -DBL_MAX;
    // The same float arithmetic as the triangle test (a view, no storage).
    float relativeStore[3];
    const CVector<float, 3> relative(relativeStore, VertexStorage::View);
    for (int k = 0; k < n; ++k) {
        for (int c = 0; c < 3; ++c)
            relativeStore[c] = rayFrame.origin.data[c] - corners[3 * k + c];
        const double x = dotProduct(relative, rayFrame.u);
        const double y = dotProduct(relative, rayFrame.v);
        if (!std::isfinite(x) || !std::isfinite(y))
            return true;
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
    }
    if (minX <= margin && maxX >= -margin && minY <= margin && maxY >= -margin)
        return true;
    // The full test would have read the corners of every triangle, the last
    // call one past them: leave the frame's corners as it would.
    CPolyTriangulator triangulator(nullptr, 0);
    triangulator.n = n;
    int ka = 0, kb = 0, kc = 0;
    while (triangulator.nextCorners(ka, kb, kc)) {
    }
    const int last[3] = {ka, kb, kc};
    for (int k = 0; k < 3; ++k)
        std::copy_n(corners + 3 * (((last[k] % n) + n) % n), 3, rayFrame.corner[k].data);
    return false;
}

bool CBaseMesh::rayFacetHit(int i, CBaseHitInfo& hit, bool bothSides, double tolerance,
                            bool sideTested)
{
    const int size = getFacetSize(i);
    if (size < 3)
        return false;
    // Only when both sides count: otherwise the side test, which comes first,
    // may leave the frame's corners untouched.
    if (bothSides && !sideTested && !rayMayHitFacet(i, tolerance))
        return false;
    getFacetNormal(i, rayFrame.normal);
    const double dn = dotProduct(rayFrame.d, rayFrame.normal);
    // A facet facing away from the ray is rejected whichever triangle is hit.
    if (dn > 0.0 && !bothSides)
        return false;
    CPolyTriangulator triangulator(this, i);
    bool found = false;
    while (triangulator.next(rayFrame.corner[0], rayFrame.corner[1], rayFrame.corner[2])) {
        if (rayTriangleHit(rayFrame, rayFrame.corner[0], rayFrame.corner[1], rayFrame.corner[2],
                           tolerance)) {
            found = true;
            break;
        }
    }
    if (!found)
        return false;

    hit.facet = i;
    const double denom = std::fabs(dn) < 1e-14 ? 1e-14 : dn;
    double an = 0.0;
    for (int c = 0; c < 3; ++c)
        an += (double(rayFrame.corner[0].data[c]) - rayFrame.origin.data[c]) *
              rayFrame.normal.data[c];
    const double t = an / denom;
    if (std::fabs(t) > 1e10) {
        const Point ao = rayFrame.corner[0] - rayFrame.origin;
        std::cout << "hit.z too large " << t << " " << ao << " " << an << " " << rayFrame.normal
                  << " " << rayFrame.d << " denom=" << dn << std::endl;
    }
    for (int c = 0; c < 3; ++c)
        hit.data[c] = float(rayFrame.origin.data[c] + t * rayFrame.d.data[c]);
    hit.distance = std::fabs(t);
    hit.normal = rayFrame.normal;
    hit.flag = 0;
    return true;
}

CBaseMesh::CBaseHitInfo* CBaseMesh::addHit(Kor::Set<CBaseHitInfo>& hits, const CBaseHitInfo& h)
{
    int index = -1;
    if (hits.find(&h, index, [](const CBaseHitInfo* a, const CBaseHitInfo* b) {
            return ::lessByThirdDouble(a, b);
        }))
        return hits.items[index];
    return hits.insertAt(new CBaseHitInfo(h), index);
}

bool CBaseMesh::hit(const Point& p, const Direction& d, Kor::Set<CBaseHitInfo>& hits,
                    bool bothSides, bool fallback, bool firstOnly, Kor::List<int>* cells,
                    double tolerance)
{
    hits.removeAll(false, true);
    if (facetHash.cells.count > 0)
        return hitWithFacetHash(p, d, hits, bothSides, fallback, firstOnly, cells, tolerance);
    setRay(p, d);
    CBaseHitInfo h;
    const int facetCount = getFacetCount();
    for (int i = 0; i < facetCount; ++i) {
        if (!rayFacetHit(i, h, bothSides, tolerance))
            continue;
        addHit(hits, h);
        if (firstOnly)
            break;
    }
    if (hits.count > 1)
        sortHits(hits.items, hits.count);
    if (hits.count == 0 && fallback)
        hitNearest(p, d, hits, -1, tolerance);
    return hits.count > 0;
}

bool CBaseMesh::hitWithFacetHash(const Point& p, const Direction& d, Kor::Set<CBaseHitInfo>& hits,
                                 bool bothSides, bool fallback, bool, Kor::List<int>* cells,
                                 double tolerance)
{
    const auto& cellSet = facetHash.cells;
    if (cellSet.count == 0)
        return hits.count > 0;
    Direction unit(d);
    normalize(unit);
    const float reach = float(2.0 * facetHash.cellSize);
    const float reach2 = reach * reach;
    setRay(p, d);
    const int facetCount = getFacetCount();
    if (int(facetMarks.size()) < facetCount || markNumber == UINT_MAX) {
        facetMarks.assign(std::max(facetCount, 0), 0u);
        markNumber = 0;
    }
    ++markNumber;
    // Each facet once, and only those the ray may hit (both sides counting),
    // as the cells are met. The reach of a cell's items, then the radius of
    // a hash point, reject most facets without reading their corners; a
    // facet they reject the side test rejects too. A facet named beyond the
    // mesh is kept (its hit test fails).
    const double margin = sideMargin(tolerance);
    Kor::List<int> candidates;
    // xyz: the hash point of the facet, null when there is none; alone: the
    // facet has no other, so that it cannot be met twice; corners: the
    // facet's triangle as the mirror keeps it, null to read the mesh.
    auto consider = [&](int f, const float* xyz, float radius, bool alone,
                        const float* corners) {
        if (f >= 0 && f < facetCount) {
            if (bothSides && xyz != nullptr && rayPassesFacetOf(rayFrame, xyz, radius, margin))
                return;
            if (!alone) {
                if (facetMarks[f] == markNumber)
                    return;
                facetMarks[f] = markNumber;
            }
            if (bothSides && !(corners != nullptr ? rayMayHitCorners(corners, 3, tolerance)
                                                  : rayMayHitFacet(f, tolerance)))
                return;
        }
        candidates.append(f);
    };
    auto collect = [&](const C3DCell<CFacetCentroid, float>* cell) {
        if (cell->m_pUserData != nullptr) {
            const auto* facets = static_cast<const Kor::List<int>*>(cell->m_pUserData);
            for (int f : *facets)
                consider(f, nullptr, 0.0f, false, nullptr);
        } else {
            for (const CFacetCentroid* item : cell->items)
                consider(item->facet, item->data, item->radius, false, nullptr);
        }
    };
    Point centre;
    auto nearLine = [&](const C3DCell<CFacetCentroid, float>* cell, float& dist2) {
        for (int c = 0; c < 3; ++c)
            centre.data[c] = 0.5f * (cell->box.min.data[c] + cell->box.max.data[c]);
        dist2 = pointLineDistance2(centre, p, unit);
        return dist2 < reach2;
    };
    // The cells whose box centre lies within the reach of the line: without
    // a list of cells, only those the walk along the line meets are tested
    // (the same cells a scan of all of them would keep). Of those, a cell
    // whose facets the ray passes is left out whole.
    float dist2 = 0.0f;
    auto visit = [&](const C3DCell<CFacetCentroid, float>* cell) {
        if (!nearLine(cell, dist2))
            return;
        if (bothSides && cell->m_pUserData == nullptr &&
            rayPassesFacetsOf(rayFrame, cell->box.min.data, cell->box.max.data, cell->itemReach,
                              margin))
            return;
        collect(cell);
    };
    // The same through the flat mirror of the hash: the same cells, met in
    // the same order, the same tests.
    const CFacetHashIndex* flat = cells == nullptr ? flatFacetHash() : nullptr;
    auto visitFlat = [&](int c) {
        const CFacetHashIndex::Cell& cell = flat->cells[std::size_t(c)];
        for (int a = 0; a < 3; ++a)
            centre.data[a] = 0.5f * (cell.min[a] + cell.max[a]);
        if (!(pointLineDistance2(centre, p, unit) < reach2))
            return;
        if (bothSides && rayPassesFacetsOf(rayFrame, cell.min, cell.max, cell.reach, margin))
            return;
        auto considerItems = [&](int first, int count) {
            const CFacetHashIndex::Item* item = flat->items.data() + first;
            for (int n = 0; n < count; ++n, ++item)
                consider(item->facet, item->xyz, item->radius, item->alone,
                         flat->cornersOf(*item));
        };
        if (cell.groups == 0 || !bothSides) {
            considerItems(cell.first, cell.count);
            return;
        }
        // A crowded cell by its groups: one the ray passes is left out.
        for (int g = cell.group; g < cell.group + cell.groups; ++g) {
            const CFacetHashIndex::Group& group = flat->groups[std::size_t(g)];
            if (!rayPassesFacetsOf(rayFrame, group.min, group.max, group.reach, margin))
                considerItems(group.first, group.count);
        }
    };
    const bool walked =
        cells == nullptr &&
        (flat != nullptr
             ? forKeyRowsNearLine(p.data, unit.data, reach, facetHash.inverseCellSize,
                                  flat->lowestKey(), flat->highestKey(),
                                  [&](int* key, int along, int from, int to) {
                                      flat->forCellsInRow(key, along, from, to, visitFlat);
                                  })
             : facetHash.forCellsNearLine(
                   p, unit, reach, [&](C3DCell<CFacetCentroid, float>* cell) { visit(cell); }));
    if (!walked) {
        const int listed = cells != nullptr ? cells->count : cellSet.count;
        for (int n = 0; n < listed; ++n) {
            const int index = cells != nullptr ? cells->data[n] : n;
            if (index < 0 || index >= cellSet.count)
                continue; // a stale cell index names no cell
            visit(cellSet.items[index]);
        }
    }
    // Tested in ascending facet order.
    candidates.count = sortUnique(candidates.data, candidates.count);
    CBaseHitInfo h;
    // Each candidate has passed the side test already.
    for (int f : candidates)
        if (rayFacetHit(f, h, bothSides, tolerance, true))
            addHit(hits, h);
    if (hits.count > 1)
        sortHits(hits.items, hits.count);
    if (hits.count == 0 && fallback) {
        // The fallback names the nearest of the cells searched that lay
        // beyond the reach.
        int nearestCell = -1;
        float nearest2 = FLT_MAX;
        const int listed = cells != nullptr ? cells->count : cellSet.count;
        for (int n = 0; n < listed; ++n) {
            const int index = cells != nullptr ? cells->data[n] : n;
            if (index < 0 || index >= cellSet.count)
                continue;
            if (!nearLine(cellSet.items[index], dist2) && dist2 < nearest2) {
                nearest2 = dist2;
                nearestCell = index;
            }
        }
        hitNearest(p, d, hits, nearestCell, tolerance);
    }
    return hits.count > 0;
}

bool CBaseMesh::hitNearest(const Point& p, const Direction& d, Kor::Set<CBaseHitInfo>& hits, int,
                           double)
{
    if (edges.count == 0)
        buildTopology();
    const int facetCount = getFacetCount();
    double dir[3] = {d.data[0], d.data[1], d.data[2]};
    const double dirLength = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
    if (!(dirLength > 0.0) || !std::isfinite(dirLength))
        return hits.count > 0;
    for (double& c : dir)
        c /= dirLength;

    // The boundary edge nearest to the line p + s dir.
    int best = -1;
    double best2 = DBL_MAX, bestT = 0.0;
    Point a, b;
    for (int n = 0; n < edges.count; ++n) {
        const CPolygonEdge& e = edges.data[n];
        if (e.facet1 < 0 || e.facet2 != -1 || e.facet1 >= facetCount)
            continue;
        if (!getVertex(e.vertex0, a) || !getVertex(e.vertex1, b))
            continue;
        if (!(facetQuality(e.facet1) >= kMinFacetQuality))
            continue;
        // Nearest points of the line and the segment a + t (b - a): the 2 x 2
        // normal equations, t clamped to [0, 1], then the line point is taken
        // again for the clamped segment point.
        double w[3], ed[3];
        double be = 0.0, ce = 0.0, dw = 0.0, ew = 0.0;
        for (int c = 0; c < 3; ++c) {
            w[c] = double(p.data[c]) - a.data[c];
            ed[c] = double(b.data[c]) - a.data[c];
            be += dir[c] * ed[c];
            ce += ed[c] * ed[c];
            dw += dir[c] * w[c];
            ew += ed[c] * w[c];
        }
        const double det = ce - be * be;
        double t = 0.0;
        if (ce > 0.0 && det > 1e-12 * ce)
            t = (ew - be * dw) / det;
        else if (ce > 0.0)
            t = ew / ce; // line parallel to the edge: any foot will do
        t = clampValue(0.0, 1.0, t);
        double s = 0.0;
        for (int c = 0; c < 3; ++c)
            s += (a.data[c] + t * ed[c] - p.data[c]) * dir[c];
        double dist2 = 0.0;
        for (int c = 0; c < 3; ++c) {
            const double r = p.data[c] + s * dir[c] - (a.data[c] + t * ed[c]);
            dist2 += r * r;
        }
        if (dist2 < best2) {
            best2 = dist2;
            best = n;
            bestT = t;
        }
    }
    if (best < 0)
        return hits.count > 0;

    const CPolygonEdge& e = edges.data[best];
    getVertex(e.vertex0, a);
    getVertex(e.vertex1, b);
    CBaseHitInfo h;
    getFacetNormal(e.facet1, h.normal);
    double qp[3], dn = 0.0, qn = 0.0, qd = 0.0;
    for (int c = 0; c < 3; ++c) {
        qp[c] = a.data[c] + bestT * (double(b.data[c]) - a.data[c]) - p.data[c];
        dn += dir[c] * h.normal.data[c];
        qn += qp[c] * h.normal.data[c];
        qd += qp[c] * dir[c];
    }
    // Where the line meets the facet's plane through the edge point; a line
    // parallel to that plane takes the foot of the edge point instead.
    const double s = std::fabs(dn) > 1e-12 ? qn / dn : qd;
    for (int c = 0; c < 3; ++c)
        h.data[c] = float(p.data[c] + s * dir[c]);
    h.distance = std::fabs(s);
    h.facet = e.facet1;
    h.flag = 1;

    // The normal is averaged over the facets hashed near the hit point.
    const Direction facetNormal(h.normal);
    if (facetHash.findNearest(h, float(0.5 * facetHash.cellSize), true)) {
        setZero(h.normal);
        Direction n;
        for (const CFacetCentroid* item : facetHash.results)
            if (getFacetNormal(item->facet, n))
                h.normal += n;
        if (normalize(h.normal) < 1e-12)
            h.normal = facetNormal; // opposite normals cancelled
    }
    addHit(hits, h);
    return hits.count > 0;
}

bool CBaseMesh::getFirstHit(const Point& p, const Direction& d, Point& out, double tolerance)
{
    Kor::Set<CBaseHitInfo> hits;
    const bool found = hit(p, d, hits, true, true, false, nullptr, tolerance);
    if (found)
        out = *hits.items[0];
    return found;
}

bool CBaseMesh::pickAlongRay(const Point& p, Direction dir, const Direction& rayDir, float dist)
{
    Point q(p);
    addScaled(q, dist, dir);
    Kor::Set<CBaseHitInfo> hits;
    hit(q, rayDir, hits, true, false, false, nullptr, 0.0);
    return !(hits.count > 0 && hits.items[0]->distance < 3.0 * double(dist));
}

bool CBaseMesh::findNearestVertex(const Point& p, int& index)
{
    index = INT_MAX;
    if (!facetHash.findNearest(p, -1.0f, true))
        return false;
    Kor::List<int> facets;
    for (const CFacetCentroid* item : facetHash.results)
        facets.append(item->facet);
    facets.count = sortUnique(facets.data, facets.count);
    Kor::List<int> vertices;
    for (int f : facets) {
        const int size = getFacetSize(f);
        for (int k = 0; k < size; ++k) {
            const int v = getPolygonVertexIndex(f, k);
            if (v >= 0)
                vertices.append(v);
        }
    }
    vertices.count = sortUnique(vertices.data, vertices.count);
    double best2 = DBL_MAX;
    Point q;
    for (int v : vertices) {
        if (!getVertex(v, q))
            continue;
        const double d2 = squaredPointDistance(q, p);
        if (d2 < best2) {
            best2 = d2;
            index = v;
        }
    }
    return index != INT_MAX;
}

} // namespace Mesh
