// Topology of the flat mesh: the edge table with paired neighbours and the
// repair of isolated wrongly oriented polygons, vertex merging by tolerance
// and exact welding, the derived per-vertex and per-polygon records, the
// boundary queries answered from them and the ordered vertex ring.

#include "foundation/Logging.h"
#include "foundation/StopUhr.h"
#include "geometry/NurbsSurf.h"
#include "mesh/FlatMesh.h"
#include "mesh/MeshVertex.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <limits>
#include <memory>
#include <new>
#include <numbers>
#include <numeric>
#include <vector>

namespace {

using Edge = Mesh::CBaseMesh::CPolygonEdge;

// Above this many vertices the tolerance merge is replaced by the exact weld
// (one sort instead of a hash query per vertex).
constexpr int kLargestTolerantMerge = 500000;
constexpr float kShortestEdge = 2.2e-16f;
// Buckets of the edge sort, and the corners of a polygon, up to this size
// are ordered by insertion.
constexpr int kInsertionSortLimit = 32;
// Coedges found on their own polygon that the edge-table build names a line
// each; a polygon running round a few vertices thousands of times has as
// many, and the rest are counted.
constexpr long kNamedCoedgeErrors = 100;

int lowKey(const Edge& e)
{
    return std::min(e.vertex0, e.vertex1);
}
int highKey(const Edge& e)
{
    return std::max(e.vertex0, e.vertex1);
}

bool sameUndirectedEdge(const Edge& a, const Edge& b)
{
    return lowKey(a) == lowKey(b) && highKey(a) == highKey(b);
}

// One bucket of records sharing their lower vertex (a few, side by side)
// ordered by the higher vertex, keeping the order of equal keys; a crowded
// one (thousands of coincident facets) by merge sort instead of insertion.
void orderByHighKey(Edge* bucket, int size)
{
    if (size > kInsertionSortLimit) {
        std::stable_sort(bucket, bucket + size,
                         [](const Edge& x, const Edge& y) { return highKey(x) < highKey(y); });
        return;
    }
    for (int x = 1; x < size; ++x) {
        const Edge e = bucket[x];
        const int key = highKey(e);
        int y = x;
        while (y > 0 && highKey(bucket[y - 1]) > key) {
            bucket[y] = bucket[y - 1];
            --y;
        }
        bucket[y] = e;
    }
}

// order[0..count) := 0..count-1 ordered by key(i), equal keys in index
// order: by insertion for a few (a polygon's corners), by merge sort for
// more, so that a polygon of a hundred thousand corners costs n log n.
template <class Key> void stableOrderBy(int* order, int count, Key key)
{
    std::iota(order, order + count, 0);
    if (count > kInsertionSortLimit) {
        std::stable_sort(order, order + count, [&](int a, int b) { return key(a) < key(b); });
        return;
    }
    for (int i = 1; i < count; ++i) {
        int j = i;
        while (j > 0 && key(order[j - 1]) > key(i)) {
            order[j] = order[j - 1];
            --j;
        }
        order[j] = i;
    }
}

// Stable least-significant-digit radix sort of recs by 11-bit digits:
// digit(rec, d) is digit d of the key (d = 0 the least significant, d <
// digits), each below 2048. The counts of every digit are taken in one pass
// over the records; a pass whose digit is the same for every record is
// skipped. Digits of 11 bits keep the scatter to 2048 places at a time, few
// enough for the caches, where wider digits spread each pass over as many
// pages as there are buckets.
constexpr int kRadixBits = 8;
constexpr std::size_t kRadixBuckets = std::size_t(1) << kRadixBits;

template <class Rec, class Digit> void radixSort(std::vector<Rec>& recs, int digits, Digit digit)
{
    if (recs.size() < 2)
        return;
    std::vector<std::size_t> count(std::size_t(digits) * kRadixBuckets, 0);
    for (const Rec& r : recs)
        for (int d = 0; d < digits; ++d)
            ++count[std::size_t(d) * kRadixBuckets + digit(r, d)];
    std::vector<Rec> other(recs.size());
    for (int d = 0; d < digits; ++d) {
        std::size_t* c = count.data() + std::size_t(d) * kRadixBuckets;
        if (c[digit(recs[0], d)] == recs.size())
            continue;
        std::size_t at = 0;
        for (std::size_t k = 0; k < kRadixBuckets; ++k) {
            const std::size_t here = c[k];
            c[k] = at;
            at += here;
        }
        for (const Rec& r : recs)
            other[c[digit(r, d)]++] = r;
        recs.swap(other);
    }
}

// Number of bits needed for values 0 .. v.
int bitWidth(std::uint64_t v)
{
    int bits = 0;
    while (v != 0) {
        ++bits;
        v >>= 1;
    }
    return bits;
}

// The records sorted by their undirected key (lower, then higher vertex
// index), as a new array; null when there is nothing to sort. The polygon
// and the start vertex only make the order of coedges on one edge
// reproducible: the records arrive polygon by polygon, so a stable sort by
// the undirected key, started from an order by polygon and start vertex,
// gives that order. The keys are plain integers: bucketed by the lower
// vertex when the indices lie close together, else sorted by digits.
Edge* sortByUndirectedKey(const Edge* records, int n)
{
    if (n < 2)
        return nullptr;
    // The start order: polygon by polygon, one polygon's records by start
    // vertex.
    std::vector<int> start(static_cast<std::size_t>(n));
    for (int first = 0; first < n;) {
        int last = first + 1;
        while (last < n && records[last].facet1 == records[first].facet1)
            ++last;
        stableOrderBy(start.data() + first, last - first,
                      [&](int i) { return records[first + i].vertex0; });
        for (int i = first; i < last; ++i)
            start[i] += first;
        first = last;
    }
    int lowest = records[0].vertex0, highest = lowest;
    for (int i = 0; i < n; ++i) {
        lowest = std::min({lowest, records[i].vertex0, records[i].vertex1});
        highest = std::max({highest, records[i].vertex0, records[i].vertex1});
    }
    const std::int64_t range = std::int64_t(highest) - lowest + 1;
    if (range <= 4 * std::int64_t(n) + 1024) {
        // Vertex indices of a mesh lie in a range of the order of the record
        // count: the records go into buckets by their lower vertex, in the
        // start order, and each bucket is ordered by the higher vertex,
        // keeping the start order among equal keys: a few records side by
        // side by insertion, a crowded bucket (many polygons on one vertex,
        // coincident polygons) by a merge sort, which stays n log n.
        std::vector<int> first(static_cast<std::size_t>(range) + 1, 0);
        for (int i = 0; i < n; ++i)
            ++first[std::size_t(lowKey(records[i]) - lowest) + 1];
        for (std::size_t k = 1; k < first.size(); ++k)
            first[k] += first[k - 1];
        Edge* sorted = new Edge[n];
        {
            std::vector<int> fill(first.begin(), first.end() - 1);
            for (int s = 0; s < n; ++s) {
                const Edge& e = records[start[s]];
                sorted[fill[std::size_t(lowKey(e) - lowest)]++] = e;
            }
        }
        for (std::size_t k = 0; k + 1 < first.size(); ++k)
            orderByHighKey(sorted + first[k], first[k + 1] - first[k]);
        return sorted;
    }
    // Indices spread wider than the records: the keys, counted from the
    // lowest vertex index, sorted by digits without a comparison.
    std::vector<int> order(static_cast<std::size_t>(n));
    {
        struct Key {
            std::uint64_t edge;
            int index;
        };
        const int width = bitWidth(std::uint64_t(std::int64_t(highest) - lowest));
        auto offset = [lowest](int v) { return std::uint64_t(std::int64_t(v) - lowest); };
        std::vector<Key> keys(static_cast<std::size_t>(n));
        for (int s = 0; s < n; ++s) {
            const Edge& e = records[start[s]];
            keys[s] = Key{offset(lowKey(e)) << width | offset(highKey(e)), start[s]};
        }
        const int digits = std::max((2 * width + kRadixBits - 1) / kRadixBits, 1);
        radixSort(keys, digits, [](const Key& k, int d) {
            return unsigned(k.edge >> (kRadixBits * d)) & unsigned(kRadixBuckets - 1);
        });
        for (int s = 0; s < n; ++s)
            order[s] = keys[s].index;
    }
    Edge* sorted = new Edge[n];
    for (int s = 0; s < n; ++s)
        sorted[s] = records[order[s]];
    return sorted;
}

// A float as an unsigned number of the same order; both zeros give the same
// number, as they compare equal.
std::uint32_t ordered(float f)
{
    if (f == 0.0f)
        return 0x80000000u;
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return (u & 0x80000000u) != 0 ? ~u : (u | 0x80000000u);
}

// Contiguous copies of a flat mesh's polygon starts, polygon stream and
// vertex coordinates, read as the mesh's own accessors read its block lists
// (getFacetSize, getPolygonVertexIndex, getVertex), without a division per
// element.
class FlatStorage {
public:
    explicit FlatStorage(CFlatMesh& mesh)
        : starts(copyOf(mesh.polygonStarts)), stream(copyOf(mesh.polygonStream)),
          coordinates(copyOf(mesh.coordinates)),
          vertexCount(std::min<long>(mesh.getVertexCount(true), (long(coordinates.size()) - 0) / 3))
    {
    }

    // The corner count of polygon p, 0 for a record outside the stream.
    int polygonSize(int p) const
    {
        if (p < 0 || p >= int(starts.size()))
            return 0;
        const int start = starts[p];
        if (start < 0 || long(start) + 1 >= long(stream.size()))
            return 0;
        return stream[start + 1];
    }
    // The `corners` vertex indices of polygon p, or null for a record that
    // runs past the end of the stream.
    const int* cornerIndices(int p, int corners) const
    {
        const int start = starts[p];
        const long at = long(start) + 1;
        if (start < 0 || at >= long(stream.size()) || at + corners >= long(stream.size()))
            return nullptr;
        return stream.data() + at + 1;
    }
    // Vertex v's three coordinates; null for an index outside the stored
    // vertices.
    const float* vertexAt(int v) const
    {
        if (v < 0 || v >= vertexCount)
            return nullptr;
        return coordinates.data() + 3 * std::size_t(v);
    }

private:
    std::vector<int> starts;
    std::vector<int> stream;
    std::vector<float> coordinates;
    long vertexCount;

    template <class T> static std::vector<T> copyOf(const CBlockList<T>& list)
    {
        std::vector<T> out(std::size_t(std::max(list.count, 0)));
        for (int at = 0; at < list.count; at += list.blockSize) {
            const int n = std::min(list.blockSize, list.count - at);
            std::copy_n(list.pointer(at), n, out.data() + at);
        }
        return out;
    }
};

// The length an edge record keeps: the distance of its two vertices, 0 when
// one is not stored, raised to the shortest edge length.
float recordLength(const FlatStorage& storage, int v0, int v1)
{
    const float* a = storage.vertexAt(v0);
    const float* b = storage.vertexAt(v1);
    float length = 0.0f;
    if (a != nullptr && b != nullptr)
        length = std::sqrt(squaredDistance(CVertex<float, 3>(const_cast<float*>(a), VertexStorage::View),
                                           CVertex<float, 3>(const_cast<float*>(b), VertexStorage::View)));
    if (!std::isfinite(length))
        std::cout << "dij is bad" << std::endl;
    return length < kShortestEdge ? kShortestEdge : length;
}

// The edge table of a mesh whose n corners all lie in readable polygons and
// whose vertex indices lie close together, written straight into the order
// sortByUndirectedKey gives (lower vertex, higher vertex, polygon, start
// vertex, corner): the records are counted by their lower vertex, dealt
// polygon by polygon, one polygon's records by start vertex, into their
// buckets, and each bucket is ordered by the higher vertex, keeping the
// order of equal keys. The lengths are taken afterwards in that order, where
// the lower vertices come one after the other and their coordinates are read
// in turn. Null for any other mesh (and
// when the table cannot be allocated): the records are then built and sorted
// as they stand.
Edge* edgeTableInKeyOrder(const FlatStorage& storage, int polygonCount, int n)
{
    long corners = 0;
    int lowest = std::numeric_limits<int>::max(), highest = std::numeric_limits<int>::min();
    int widest = 0;
    for (int p = 0; p < polygonCount; ++p) {
        const int size = storage.polygonSize(p);
        if (size <= 0)
            continue;
        const int* corner = storage.cornerIndices(p, size);
        if (corner == nullptr)
            return nullptr;
        for (int k = 0; k < size; ++k) {
            lowest = std::min(lowest, corner[k]);
            highest = std::max(highest, corner[k]);
        }
        corners += size;
        widest = std::max(widest, size);
    }
    if (corners != n || n < 2)
        return nullptr;
    const std::int64_t range = std::int64_t(highest) - lowest + 1;
    if (range > 4 * std::int64_t(n) + 1024)
        return nullptr;
    std::vector<int> first(static_cast<std::size_t>(range) + 1, 0);
    for (int p = 0; p < polygonCount; ++p) {
        const int size = storage.polygonSize(p);
        if (size <= 0)
            continue;
        const int* corner = storage.cornerIndices(p, size);
        for (int k = 1; k <= size; ++k)
            ++first[std::size_t(std::min(corner[k - 1], corner[k % size]) - lowest) + 1];
    }
    for (std::size_t k = 1; k < first.size(); ++k)
        first[k] += first[k - 1];
    Edge* table = new (std::nothrow) Edge[n];
    if (table == nullptr)
        return nullptr;
    // The buckets in a few hundred groups: the records are dealt first into
    // their group's part of the table, a few hundred places written at a
    // time, and then each group, copied aside, into its buckets, within a
    // part of the table small enough for the caches to hold while its
    // buckets are ordered and its lengths taken. Both deals keep the order
    // in which records arrive.
    int shift = 0;
    while (((range - 1) >> shift) >= 512)
        ++shift;
    const std::size_t groups = std::size_t((range - 1) >> shift) + 1;
    auto groupStart = [&](std::size_t g) {
        return std::min(g << shift, std::size_t(range));
    };
    {
        std::vector<int> fill(groups);
        for (std::size_t g = 0; g < groups; ++g)
            fill[g] = first[groupStart(g)];
        std::vector<int> byStart(static_cast<std::size_t>(widest));
        for (int p = 0; p < polygonCount; ++p) {
            const int size = storage.polygonSize(p);
            if (size <= 0)
                continue;
            const int* corner = storage.cornerIndices(p, size);
            // The polygon's corners by start vertex, equal ones in corner order.
            stableOrderBy(byStart.data(), size, [corner](int i) { return corner[i]; });
            for (int i = 0; i < size; ++i) {
                const int v0 = corner[byStart[i]];
                const int v1 = corner[(byStart[i] + 1) % size];
                table[fill[std::size_t(std::min(v0, v1) - lowest) >> shift]++] = Edge{v0, v1, p};
            }
        }
    }
    std::vector<Edge> aside;
    std::vector<int> fill;
    for (std::size_t g = 0; g < groups; ++g) {
        const std::size_t low = groupStart(g), high = groupStart(g + 1);
        aside.assign(table + first[low], table + first[high]);
        fill.assign(first.begin() + std::ptrdiff_t(low), first.begin() + std::ptrdiff_t(high));
        for (const Edge& e : aside)
            table[fill[std::size_t(lowKey(e) - lowest) - low]++] = e;
        for (std::size_t k = low; k < high; ++k) {
            Edge* bucket = table + first[k];
            const int size = first[k + 1] - first[k];
            orderByHighKey(bucket, size);
            for (int x = 0; x < size; ++x)
                bucket[x].length = recordLength(storage, bucket[x].vertex0, bucket[x].vertex1);
        }
    }
    return table;
}

// Gives `record` the neighbour polygon `partner`: an unknown partner makes
// the record broken on both sides; otherwise the first free facet slot is
// filled, a full record is left alone.
void givePartner(Edge& record, int partner)
{
    if (partner == -1) {
        record.facet1 = -1;
        record.facet2 = -1;
    } else if (record.facet1 == -1) {
        record.facet1 = partner;
    } else if (record.facet2 == -1) {
        record.facet2 = partner;
    }
}

// A straight-line curve between two mesh vertices, in the curve text format,
// so that the faulty edge can be loaded and looked at: one entry of the dump.
void writeEdgeCurve(CFlatMesh& mesh, CBoundedDump& dump, int a, int b)
{
    std::ostream* out = dump.entry();
    if (out == nullptr)
        return;
    Mesh::CBaseMesh::Point pa, pb;
    if (!mesh.getVertex(a, pa) || !mesh.getVertex(b, pb))
        return;
    const double da[3] = {pa[0], pa[1], pa[2]};
    const double db[3] = {pb[0], pb[1], pb[2]};
    std::unique_ptr<Fenwo::NurbsSurf> curve(makeCurve(da, db));
    if (curve)
        curve->write(*out);
}

// Visits every vertex index of every loop of every live polygon record;
// visit(int& index) may rewrite it. Records that run past the end of the
// stream are visited only as far as they lie inside it.
template <class Visit> void forEachPolygonIndex(CFlatMesh& mesh, Visit visit)
{
    CBlockList<int>& stream = mesh.polygonStream;
    const int blockSize = stream.blockSize;
    for (int p = 0; p < mesh.polygonStarts.count; ++p) {
        int pos = mesh.polygonStarts[p];
        if (pos < 0 || pos >= stream.count)
            continue;
        // A record within one block (nearly every one) is walked through
        // a pointer.
        const int offset = pos % blockSize;
        int* at = stream.blocks[pos / blockSize] + offset;
        const int inBlock = std::min(blockSize - offset, stream.count - pos);
        if (inBlock >= 2 && at[1] >= 0 && at[0] == 1 && at[1] <= inBlock - 2) {
            for (int j = 0; j < at[1]; ++j)
                visit(at[2 + j]);
            continue;
        }
        const int loops = stream[pos++];
        for (int l = 0; l < loops && pos < stream.count; ++l) {
            const int n = stream[pos++];
            for (int j = 0; j < n && pos < stream.count; ++j)
                visit(stream[pos++]);
        }
    }
}

// Frees the five derived arrays and zeroes both counts; the edge table stays.
void freeDerivedArrays(CFlatMesh::CDerivedData& d)
{
    delete[] d.vertices;
    delete[] d.facets;
    delete[] d.vertexVectors;
    delete[] d.facetNormals;
    delete[] d.legs;
    d = CFlatMesh::CDerivedData();
}

// The vertices in coordinate order: x, then y, then z (as the coordinates'
// order-preserving integer forms compare, so both zeros are one value),
// then index. The vertices are dealt into a few thousand slices of x by a
// rising function of x and each slice is sorted on its own, a piece that
// stays in the caches; coordinates that are not all finite take a stable
// sort by digits of the integer forms, z first, from the order by index.
std::vector<int> coordinateOrder(const float* xyz, int n)
{
    struct Key {
        std::uint64_t xy;
        std::uint64_t zi;
        bool operator<(const Key& o) const { return xy < o.xy || (xy == o.xy && zi < o.zi); }
    };
    auto keyOf = [xyz](int v) {
        const float* c = xyz + 3 * std::size_t(v);
        return Key{std::uint64_t(ordered(c[0])) << 32 | ordered(c[1]),
                   std::uint64_t(ordered(c[2])) << 32 | std::uint32_t(v)};
    };
    std::vector<int> order(static_cast<std::size_t>(n));
    double low = std::numeric_limits<double>::infinity(), high = -low;
    bool finite = true;
    for (int v = 0; v < n; ++v) {
        const float* c = xyz + 3 * std::size_t(v);
        finite = finite && std::isfinite(c[0]) && std::isfinite(c[1]) && std::isfinite(c[2]);
        low = std::min(low, double(c[0]));
        high = std::max(high, double(c[0]));
    }
    if (!finite) {
        struct Digits {
            std::uint64_t yz;
            std::uint32_t x;
            int index;
        };
        std::vector<Digits> keys(static_cast<std::size_t>(n));
        for (int v = 0; v < n; ++v) {
            const float* c = xyz + 3 * std::size_t(v);
            keys[v] = {std::uint64_t(ordered(c[1])) << 32 | ordered(c[2]), ordered(c[0]), v};
        }
        constexpr unsigned mask = unsigned(kRadixBuckets - 1);
        radixSort(keys, (96 + kRadixBits - 1) / kRadixBits, [](const Digits& k, int d) {
            const int bit = kRadixBits * d;
            if (bit + kRadixBits <= 64)
                return unsigned(k.yz >> bit) & mask;
            if (bit >= 64)
                return unsigned(k.x >> (bit - 64)) & mask;
            return unsigned((k.yz >> bit) | (std::uint64_t(k.x) << (64 - bit))) & mask;
        });
        for (int s = 0; s < n; ++s)
            order[s] = keys[s].index;
        return order;
    }
    const int slices = std::clamp(n / 1024, 1, 4096);
    const double scale = high > low ? (slices - 1e-9) / (high - low) : 0.0;
    auto sliceOf = [&](int v) {
        return std::min(int((double(xyz[3 * std::size_t(v)]) - low) * scale), slices - 1);
    };
    std::vector<int> first(static_cast<std::size_t>(slices) + 1, 0);
    for (int v = 0; v < n; ++v)
        ++first[sliceOf(v) + 1];
    for (int k = 0; k < slices; ++k)
        first[k + 1] += first[k];
    std::vector<Key> keys(static_cast<std::size_t>(n));
    {
        std::vector<int> fill(first.begin(), first.end() - 1);
        for (int v = 0; v < n; ++v)
            keys[fill[sliceOf(v)]++] = keyOf(v);
    }
    for (int k = 0; k < slices; ++k)
        std::sort(keys.begin() + first[k], keys.begin() + first[k + 1]);
    for (int s = 0; s < n; ++s)
        order[s] = int(keys[s].zi & 0xffffffffu);
    return order;
}

// The weld's numbering of finite points: equal points (both zeros alike)
// share one new index, new indices follow the coordinate order, and each
// new point keeps the coordinates of its lowest-numbered vertex. The
// points are made unique through a table first, so that only the distinct
// ones are sorted. False, with nothing written, when some coordinate is not
// finite.
bool equalPointIndices(const float* xyz, int n, std::vector<int>& newIndex,
                       std::vector<float>& points)
{
    for (long k = 0; k < 3L * n; ++k)
        if (!std::isfinite(xyz[k]))
            return false;
    struct Slot {
        std::uint32_t key[3];
        int id; // -1: empty
    };
    // Sized for a mesh whose points are shared by a few vertices each, as
    // those of a triangle soup are; grown when half full.
    std::size_t size = 1024;
    while (size < std::size_t(n) / 4)
        size *= 2;
    std::vector<Slot> table(size, Slot{{0, 0, 0}, -1});
    std::vector<int> distinctOf(static_cast<std::size_t>(n));
    std::vector<int> firstVertex;
    auto slotOf = [](const std::uint32_t* key, std::size_t mask) {
        std::uint64_t h = key[0] * 0x9E3779B97F4A7C15ull;
        h ^= key[1] * 0xC2B2AE3D27D4EB4Full;
        h ^= key[2] * 0x165667B19E3779F9ull;
        h ^= h >> 31;
        return std::size_t(h) & mask;
    };
    // The points met last, by the same hash in a small table: a vertex of a
    // triangle soup comes back a few triangles later, and is then found
    // there, in the caches, instead of in the large table.
    constexpr std::size_t kRecent = 8192;
    std::vector<Slot> recent(kRecent, Slot{{0, 0, 0}, -1});
    // The slot of the vertex a few places ahead is fetched into the caches
    // while this one is placed: the first meeting of a point always probes
    // the large table, at a place no cache holds.
    constexpr int kAhead = 16;
    for (int v = 0; v < n; ++v) {
        if (v + kAhead < n) {
            const float* a = xyz + 3 * std::size_t(v + kAhead);
            const std::uint32_t ahead[3] = {ordered(a[0]), ordered(a[1]), ordered(a[2])};
            __builtin_prefetch(table.data() + slotOf(ahead, size - 1));
        }
        const float* c = xyz + 3 * std::size_t(v);
        const std::uint32_t key[3] = {ordered(c[0]), ordered(c[1]), ordered(c[2])};
        Slot& last = recent[slotOf(key, kRecent - 1)];
        if (last.id >= 0 && last.key[0] == key[0] && last.key[1] == key[1] &&
            last.key[2] == key[2]) {
            distinctOf[v] = last.id;
            continue;
        }
        std::size_t s = slotOf(key, size - 1);
        while (table[s].id >= 0 && !(table[s].key[0] == key[0] && table[s].key[1] == key[1] &&
                                     table[s].key[2] == key[2]))
            s = (s + 1) & (size - 1);
        if (table[s].id < 0) {
            table[s] = Slot{{key[0], key[1], key[2]}, int(firstVertex.size())};
            firstVertex.push_back(v);
            if (2 * firstVertex.size() > size) {
                // Half full: twice the slots, every entry placed again.
                std::vector<Slot> old(2 * size, Slot{{0, 0, 0}, -1});
                old.swap(table);
                size *= 2;
                for (const Slot& e : old) {
                    if (e.id < 0)
                        continue;
                    std::size_t t = slotOf(e.key, size - 1);
                    while (table[t].id >= 0)
                        t = (t + 1) & (size - 1);
                    table[t] = e;
                }
                s = std::size_t(-1);
            }
        }
        distinctOf[v] = s == std::size_t(-1) ? int(firstVertex.size()) - 1 : table[s].id;
        last = Slot{{key[0], key[1], key[2]}, distinctOf[v]};
    }
    const int m = int(firstVertex.size());
    std::vector<float> distinct(3 * std::size_t(m));
    for (int d = 0; d < m; ++d)
        std::copy_n(xyz + 3 * std::size_t(firstVertex[d]), 3, distinct.data() + 3 * std::size_t(d));
    const std::vector<int> order = coordinateOrder(distinct.data(), m);
    std::vector<int> rank(static_cast<std::size_t>(m));
    points.resize(3 * std::size_t(m));
    for (int r = 0; r < m; ++r) {
        rank[order[r]] = r;
        std::copy_n(distinct.data() + 3 * std::size_t(order[r]), 3, points.data() + 3 * std::size_t(r));
    }
    for (int v = 0; v < n; ++v)
        newIndex[v] = rank[distinctOf[v]];
    return true;
}

// The weld's numbering of the n points at xyz (newIndex) and its points:
// through the table of equal points, or where some coordinate is not finite
// by the coordinate order alone.
void weldPoints(const float* xyz, int n, std::vector<int>& newIndex, std::vector<float>& points)
{
    if (equalPointIndices(xyz, n, newIndex, points))
        return;
    auto coordinate = [&](int v, int axis) { return xyz[3 * std::size_t(v) + axis]; };
    const std::vector<int> order = coordinateOrder(xyz, n);
    points.reserve(3 * std::size_t(n));
    for (int s = 0; s < n; ++s) {
        const int v = order[s];
        const bool differs = s == 0 || coordinate(v, 0) != coordinate(order[s - 1], 0) ||
                             coordinate(v, 1) != coordinate(order[s - 1], 1) ||
                             coordinate(v, 2) != coordinate(order[s - 1], 2);
        if (differs)
            for (int axis = 0; axis < 3; ++axis)
                points.push_back(coordinate(v, axis));
        newIndex[v] = int(points.size() / 3) - 1;
    }
}

float* coordinatesOf(CFlatMesh& mesh, int i);

// The tolerance merge's representatives through a grid of its own, with
// the result of the spatial hash the merge is defined by (cells of the
// tolerance, each vertex's query over the 27 cells around its own in key
// order, the first stored vertex strictly closer than the cell size in that
// order, else the vertex is stored): a stored vertex found in cells four
// tolerances wide, of which a vertex needs only the 8 on its side, chosen
// by the key order of the hash's cells and then by the coordinate order.
// A vertex at the exact place of an earlier one takes the same answer
// without a search: a stored place stays its own, and the answer of a place
// that is not stored changes only when vertices were stored after it.
// Keys are 64-bit, so a mesh far from the origin keeps one cell per place
// (keys clamped to the int range would crowd every vertex beyond 2^31
// tolerances into a few cells). keptCount: the number of vertices kept (the
// stored ones). False, with nothing done, when some coordinate is not finite
// or lies beyond 2^50 tolerances: the hash then runs itself.
bool mergeWithinTolerance(CFlatMesh& mesh, int n, double cellSize, std::vector<int>& representative,
                          int& keptCount)
{
    const double inverse = cellSize >= 1e-8 ? 1.0 / cellSize : 1e8;
    const float radius = float(cellSize);
    const float r2 = radius * radius;
    const double coarseInverse = inverse / 4.0;
    std::vector<float> xyz(3 * std::size_t(n));
    std::vector<bool> present(static_cast<std::size_t>(n), false);
    for (int i = 0; i < n; ++i) {
        const float* c = coordinatesOf(mesh, i);
        if (c == nullptr)
            continue;
        present[i] = true;
        for (int a = 0; a < 3; ++a) {
            if (!std::isfinite(c[a]) || !(std::fabs(double(c[a]) * inverse) < 0x1p50))
                return false;
            xyz[3 * std::size_t(i) + a] = c[a];
        }
    }
    struct Entry {
        int vertex;       // first vertex at this place
        int next;         // next entry of the coarse cell, -1 at the end
        int answer;       // representative (the vertex itself when stored)
        int storedAt;     // stored count when the answer was found
        long long key[3]; // key of the hash's cell
    };
    std::vector<Entry> entries;
    struct Slot {
        long long key[3];
        int head; // -1: empty
    };
    std::size_t size = 1024;
    while (size < std::size_t(n) / 2)
        size *= 2;
    std::vector<Slot> table(size, Slot{{0, 0, 0}, -1});
    auto slotOf = [](const long long* key, std::size_t mask) {
        std::uint64_t h = std::uint64_t(key[0]) * 0x9E3779B97F4A7C15ull;
        h ^= std::uint64_t(key[1]) * 0xC2B2AE3D27D4EB4Full;
        h ^= std::uint64_t(key[2]) * 0x165667B19E3779F9ull;
        h ^= h >> 31;
        return std::size_t(h) & mask;
    };
    auto find = [&](const long long* key) -> Slot& {
        std::size_t s = slotOf(key, size - 1);
        while (table[s].head >= 0 &&
               !(table[s].key[0] == key[0] && table[s].key[1] == key[1] && table[s].key[2] == key[2]))
            s = (s + 1) & (size - 1);
        return table[s];
    };
    int used = 0;
    auto grow = [&]() {
        std::vector<Slot> old(2 * size, Slot{{0, 0, 0}, -1});
        old.swap(table);
        size *= 2;
        for (const Slot& e : old)
            if (e.head >= 0)
                find(e.key) = e;
    };
    auto point = [&](int v) { return xyz.data() + 3 * std::size_t(v); };
    // The stored vertex the hash's query gives for place p (key k), or -1.
    auto query = [&](const float* p, const long long* k, const double* coarse) {
        int best = -1;
        const long long* bestKey = nullptr;
        long long base[3];
        int side[3];
        for (int a = 0; a < 3; ++a) {
            base[a] = (long long)std::floor(coarse[a]);
            side[a] = coarse[a] - double(base[a]) < 0.5 ? -1 : 1;
        }
        for (int cell = 0; cell < 8; ++cell) {
            const long long key[3] = {base[0] + ((cell & 1) ? side[0] : 0),
                                      base[1] + ((cell & 2) ? side[1] : 0),
                                      base[2] + ((cell & 4) ? side[2] : 0)};
            const Slot& slot = find(key);
            for (int e = slot.head; e >= 0; e = entries[e].next) {
                const Entry& entry = entries[e];
                if (entry.answer != entry.vertex)
                    continue; // not stored
                if (std::abs(entry.key[0] - k[0]) > 1 || std::abs(entry.key[1] - k[1]) > 1 ||
                    std::abs(entry.key[2] - k[2]) > 1)
                    continue;
                const float* q = point(entry.vertex);
                float d2 = 0.0f;
                for (int a = 0; a < 3; ++a) {
                    const float d = q[a] - p[a];
                    d2 += d * d;
                }
                if (!(d2 < r2))
                    continue;
                bool before = best < 0;
                if (!before) {
                    const long long* bk = bestKey;
                    if (entry.key[0] != bk[0] || entry.key[1] != bk[1] || entry.key[2] != bk[2])
                        before = std::lexicographical_compare(entry.key, entry.key + 3, bk, bk + 3);
                    else
                        before = isLessVertex(CVertex<float, 3>(const_cast<float*>(q), VertexStorage::View),
                                              CVertex<float, 3>(point(best), VertexStorage::View));
                }
                if (before) {
                    best = entry.vertex;
                    bestKey = entry.key;
                }
            }
        }
        return best;
    };

    // The entries of the places met last, by a hash of the place's bits: a
    // vertex of a triangle soup comes back a few triangles later.
    constexpr std::size_t kRecentPlaces = 4096;
    std::vector<int> recentPlaces(kRecentPlaces, -1);
    auto placeSlot = [](const float* p) {
        std::uint32_t bits[3];
        std::memcpy(bits, p, sizeof bits);
        std::uint64_t h = bits[0] * 0x9E3779B97F4A7C15ull;
        h ^= bits[1] * 0xC2B2AE3D27D4EB4Full;
        h ^= bits[2] * 0x165667B19E3779F9ull;
        h ^= h >> 29;
        return std::size_t(h) & (kRecentPlaces - 1);
    };
    representative.assign(n, -1);
    int stored = 0;
    for (int i = 0; i < n; ++i) {
        if (!present[i])
            continue;
        const float* p = point(i);
        long long k[3];
        double coarse[3];
        for (int a = 0; a < 3; ++a) {
            k[a] = (long long)std::floor(double(p[a]) * inverse);
            coarse[a] = double(p[a]) * coarseInverse;
        }
        const long long own[3] = {(long long)std::floor(coarse[0]), (long long)std::floor(coarse[1]),
                                  (long long)std::floor(coarse[2])};
        // A place has one entry; the entry of a place met a few vertices
        // before is found through the small table without a search.
        int& recent = recentPlaces[placeSlot(p)];
        int same = -1;
        if (recent >= 0) {
            const float* q = point(entries[recent].vertex);
            if (q[0] == p[0] && q[1] == p[1] && q[2] == p[2])
                same = recent;
        }
        for (int e = same < 0 ? find(own).head : -1; e >= 0; e = entries[e].next) {
            const float* q = point(entries[e].vertex);
            if (q[0] == p[0] && q[1] == p[1] && q[2] == p[2]) {
                same = e;
                break;
            }
        }
        if (same >= 0) {
            recent = same;
            Entry& entry = entries[same];
            if (entry.answer != entry.vertex && entry.storedAt != stored) {
                entry.answer = query(p, k, coarse);
                entry.storedAt = stored;
            }
            representative[i] = entry.answer;
            continue;
        }
        const int found = query(p, k, coarse);
        Entry entry{i, -1, found >= 0 ? found : i, stored, {k[0], k[1], k[2]}};
        if (found < 0)
            ++stored;
        representative[i] = entry.answer;
        Slot* slot = &find(own);
        if (slot->head < 0) {
            if (2 * (used + 1) > int(size)) {
                grow();
                slot = &find(own);
            }
            ++used;
            *slot = Slot{{own[0], own[1], own[2]}, -1};
        }
        entry.next = slot->head;
        slot->head = int(entries.size());
        recent = slot->head;
        entries.push_back(entry);
    }
    keptCount = stored;
    return true;
}

// The tolerance merge's representatives through the spatial hash itself;
// returns the number of vertices kept.
int mergeThroughHash(CFlatMesh& mesh, int n, double cellSize, std::vector<int>& representative)
{
    Mesh::C3DHash<CSimpleVertex3f, float> hash;
    hash.setCellSize(cellSize);
    // Views of the vertices; only vertices held by the coordinate blocks take
    // part (a header count beyond them would read outside the storage).
    std::vector<CSimpleVertex3f> views(n);
    representative.assign(n, -1);
    int kept = 0;
    for (int i = 0; i < n; ++i) {
        float* xyz = coordinatesOf(mesh, i);
        if (xyz == nullptr)
            continue;
        views[i].view(xyz);
        // Only stored vertices become representatives, so merging never
        // chains along a row of close vertices.
        if (hash.findNearest(views[i], float(hash.cellSize), true)) {
            representative[i] = int(hash.results[0] - views.data());
        } else {
            hash.insert(views[i], true, true);
            representative[i] = i;
            ++kept;
        }
    }
    // The views are owned by the vector, not by the cells.
    hash.clear();
    return kept;
}

// One pass of the edge-table build; with repair allowed, polygons found
// wrongly oriented are flipped and the table is built once more without it.
bool buildEdgeTable(CFlatMesh& mesh, bool repairAllowed)
{
    const int polygonCount = mesh.getFacetCount();
    long total = 0;
    for (int p = 0; p < polygonCount; ++p)
        total += mesh.getPolygonSize(p);
    if (total <= 2)
        return true;
    if (total > long(INT32_MAX)) {
        std::cout << "Memory Low." << std::endl;
        return false;
    }
    const int n = int(total);
    // Corner indices and coordinates are read from the mesh's own storage,
    // as getPolygonVertexIndex and getVertex give them, through contiguous
    // copies of the block lists.
    const FlatStorage storage(mesh);
    // A table dealt straight into key order needs neither the records in
    // polygon order below nor their sort.
    Edge* records = edgeTableInKeyOrder(storage, polygonCount, n);
    const bool inKeyOrder = records != nullptr;
    if (records == nullptr)
        records = new (std::nothrow) Edge[n];
    if (records == nullptr) {
        std::cout << "Memory Low." << std::endl;
        return false;
    }
    // The vertex records point into the edge table that is replaced now;
    // drop them rather than leave them dangling.
    freeDerivedArrays(mesh.derived);
    mesh.edges.attach(records, n);
    int written = inKeyOrder ? n : 0;
    for (int p = 0; p < polygonCount && written < n; ++p) {
        const int corners = storage.polygonSize(p);
        if (corners <= 0)
            continue;
        const int* corner = storage.cornerIndices(p, corners);
        for (int k = 1; k <= corners && written < n; ++k) {
            Edge& e = records[written++];
            e.vertex0 = corner != nullptr ? corner[k - 1] : -1;
            e.vertex1 = corner != nullptr ? corner[k % corners] : -1;
            e.facet1 = p;
            e.facet2 = -1;
            e.mark = false;
            e.length = recordLength(storage, e.vertex0, e.vertex1);
        }
    }
    if (written != n)
        std::cout << " nedges and eCount do not match!." << std::endl;

    if (Edge* sorted = inKeyOrder ? nullptr : sortByUndirectedKey(records, n)) {
        mesh.edges.attach(sorted, n);
        records = sorted;
    }

    // One curve per edge with coedges on their own polygon, the first half
    // megabyte of them: a polygon that runs around one edge many times gives
    // it once.
    CBoundedDump diagnostics("c:/tmp/coedge-error.out");

    // Pair the coedges of one edge with the first coedge on it (the
    // reference); a third coedge of a non-manifold edge gets the reference's
    // polygon as its neighbour too. The first coedges on their own polygon
    // are named a line each, the rest counted in one line.
    int reference = 0, dumped = -1;
    long onOwnPolygon = 0;
    for (int c = 1; c < n; ++c) {
        Edge& R = records[reference];
        Edge& C = records[c];
        if (!sameUndirectedEdge(R, C)) {
            reference = c;
            continue;
        }
        if (C.facet1 == R.facet1) {
            if (++onOwnPolygon <= kNamedCoedgeErrors)
                std::cout << "uups coedges on the same polygon ! " << C.facet1 << " "
                          << C.vertex0 << " " << C.vertex1 << std::endl;
            if (dumped != reference)
                writeEdgeCurve(mesh, diagnostics, C.vertex0, C.vertex1);
            dumped = reference;
        }
        const int partnerOfR = C.facet1;
        givePartner(R, partnerOfR);
        givePartner(C, R.facet1);
    }
    if (onOwnPolygon > kNamedCoedgeErrors)
        std::cout << "uups coedges on the same polygon: " << onOwnPolygon - kNamedCoedgeErrors
                  << " more" << std::endl;
    // The nested pass below rewrites the file; close ours before it does.
    diagnostics.close();

    if (!repairAllowed)
        return true;

    // Two coedges that run the same way on one edge belong to polygons of
    // opposite orientation. A polygon all of whose sides are such is an
    // isolated wrongly oriented one: flip it.
    std::vector<int> sameWay;
    for (int i = 0; i + 1 < n; ++i) {
        const Edge& e = records[i];
        if (e.facet2 == -1)
            continue;
        const Edge& f = records[i + 1];
        // A lone third coedge of a non-manifold edge has no partner record;
        // taking the next edge's record along would misalign the pairs after it.
        if (!sameUndirectedEdge(e, f))
            continue;
        if (e.vertex0 == f.vertex0 && e.vertex1 == f.vertex1 && e.facet1 == f.facet2 &&
            e.facet2 == f.facet1) {
            sameWay.push_back(e.facet1);
            sameWay.push_back(e.facet2);
        }
        ++i; // the partner record is consumed with this one
    }
    std::sort(sameWay.begin(), sameWay.end());
    std::vector<int> flip;
    for (std::size_t i = 0; i < sameWay.size();) {
        std::size_t j = i;
        while (j < sameWay.size() && sameWay[j] == sameWay[i])
            ++j;
        const int p = sameWay[i];
        if (p >= 0 && int(j - i) == mesh.getPolygonSize(p))
            flip.push_back(p);
        i = j;
    }
    if (flip.empty())
        return true;
    mesh.flipFacets(flip.data(), int(flip.size()));
    mesh.edges.removeAll();
    return buildEdgeTable(mesh, false);
}

// The three coordinates of vertex i in the coordinate blocks, or null when
// the blocks do not hold them.
float* coordinatesOf(CFlatMesh& mesh, int i)
{
    const long first = 3L * i;
    if (i < 0 || first + 2 >= long(mesh.coordinates.count))
        return nullptr;
    return mesh.coordinates.pointer(int(first));
}

bool validVertexRecord(const CFlatMesh& mesh, int v)
{
    return v >= 0 && v < mesh.derived.vertexCount && mesh.derived.vertices[v].data != nullptr;
}

void addEdgeOnce(CFlatMesh::MeshVertex& vertex, Edge* e)
{
    for (int k = 0; k < vertex.edges.count; ++k)
        if (vertex.edges.items[k] == e)
            return;
    vertex.edges.append(e);
}

} // namespace

bool CFlatMesh::clearDerivedData()
{
    freeDerivedArrays(derived);
    edges.removeAll();
    facetValues.removeAll();
    return true;
}

bool CFlatMesh::buildTopology()
{
    return buildEdgeTable(*this, true);
}

bool CFlatMesh::mergeVertices(double dTol, int exact)
{
    const int n = getVertexCount(true);
    // A cell size of zero or less cannot hold a neighbourhood: such a
    // tolerance asks for exactly equal vertices.
    if (exact != 0 || n > kLargestTolerantMerge || !(dTol > 0.0))
        return weldEqualVertices(dTol);

    // Checked before anything is cleared, so a refused merge changes nothing.
    if (n < 3)
        return false;
    clearDerivedData();
    std::vector<int> representative;
    // The new count is the number of vertices kept, each one place.
    int keptCount = 0;
    if (!mergeWithinTolerance(*this, n, std::max(dTol, 1e-8), representative, keptCount))
        keptCount = mergeThroughHash(*this, n, std::max(dTol, 1e-8), representative);
    std::cout << "new count =" << keptCount << " old # v=" << n << " dTol= " << dTol << std::endl;
    ++geometryVersion;
    forEachPolygonIndex(*this, [&](int& j) {
        if (j >= 0 && j < n && representative[j] >= 0)
            j = representative[j];
        else
            std::cout << "eqIndex out of range." << std::endl;
    });
    return true;
}

bool CFlatMesh::weldEqualVertices(double /*dTol*/)
{
    int n = getVertexCount(true);
    if (n < 3)
        return false;
    clearDerivedData();
    n = std::min(n, coordinates.count / 3);

    std::vector<float> flat(3 * std::size_t(n));
    for (int at = 0; at < 3 * n; at += coordinates.blockSize)
        std::copy_n(coordinates.pointer(at), std::min(coordinates.blockSize, 3 * n - at),
                    flat.data() + at);

    std::vector<int> newIndex(n, -1);
    std::vector<float> points;
    weldPoints(flat.data(), n, newIndex, points);

    forEachPolygonIndex(*this, [&](int& j) {
        if (j >= 0 && j < n)
            j = newIndex[j];
        else
            std::cout << "eqIndex out of range." << std::endl;
    });

    takeWeldedPoints(points);
    return true;
}

void CFlatMesh::takeWeldedPoints(const std::vector<float>& points)
{
    coordinates.init(0, coordinates.blockSize);
    for (float coordinate : points)
        coordinates.push(coordinate);
    header.setWord(CPOLHeader::vertexCountOffset, std::uint32_t(points.size() / 3));
    ++geometryVersion;
    // Deletions recorded for undo refer to the old vertex numbering.
    clearUndo();
    computeBoundingBox();
}

bool CFlatMesh::addWeldedTriangles(const float* corners, int triangles, double dTol)
{
    const long n = 3L * triangles;
    if (triangles < 1 || n > long(INT32_MAX) || (n <= kLargestTolerantMerge && dTol > 0.0) ||
        getVertexCount(true) != 0 || coordinates.count != 0 || polygonStarts.count != 0)
        return false;
    std::vector<int> newIndex(static_cast<std::size_t>(n), -1);
    std::vector<float> points;
    weldPoints(corners, int(n), newIndex, points);

    // As mergeVertices leaves the mesh after the triangles were added vertex
    // by vertex: each triangle's corners renumbered, the welded points in
    // their order, the derived data and undo list cleared, a new geometry.
    clearDerivedData();
    for (int f = 0; f < triangles; ++f)
        addPolygon(newIndex.data() + 3 * std::size_t(f), 3, -1);
    takeWeldedPoints(points);
    return true;
}

bool CFlatMesh::computeDerivedData()
{
    StopUhr watch(true, "compute Derived Data");
    if (edges.count == 0)
        buildTopology();

    freeDerivedArrays(derived);
    const int nv = std::max(getVertexCount(true), 0);
    const int nf = std::max(getFacetCount(), 0);
    derived.vertices = new MeshVertex[std::max(nv, 1)];
    derived.facets = new CFacetRecord[std::max(nf, 1)];
    derived.vertexVectors = new float[9 * std::size_t(std::max(nv, 1))]();
    derived.facetNormals = new float[3 * std::size_t(std::max(nf, 1))]();
    derived.vertexCount = nv;
    derived.facetCount = nf;
    for (int i = 0; i < nv; ++i) {
        MeshVertex& record = derived.vertices[i];
        if (float* xyz = coordinatesOf(*this, i))
            record.view(xyz);
        record.normal.view(derived.vertexVectors + 3 * std::size_t(i));
        record.target.view(derived.vertexVectors + 3 * (std::size_t(nv) + i));
        record.displacement.view(derived.vertexVectors + 3 * (2 * std::size_t(nv) + i));
    }
    for (int p = 0; p < nf; ++p)
        derived.facets[p].normal.view(derived.facetNormals + 3 * std::size_t(p));

    // The sorted edge table holds the two coedges of an interior edge next to
    // each other; each goes to the edge list of its start vertex. Boundary
    // edges go to both of their vertices.
    auto inRange = [&](int v) { return v >= 0 && v < nv; };
    int wrong = 0;
    for (int i = 0; i < edges.count;) {
        Edge& e = edges.data[i];
        if (e.facet2 < 0) {
            if (inRange(e.vertex0))
                addEdgeOnce(derived.vertices[e.vertex0], &e);
            if (inRange(e.vertex1))
                addEdgeOnce(derived.vertices[e.vertex1], &e);
            ++i;
            continue;
        }
        // A lone interior record (a third coedge of a non-manifold edge)
        // consumes only itself, so the pairs after it stay aligned.
        if (i + 1 >= edges.count || !sameUndirectedEdge(e, edges.data[i + 1])) {
            ++wrong;
            ++i;
            continue;
        }
        Edge& f = edges.data[i + 1];
        if (f.vertex0 == e.vertex1 && f.vertex1 == e.vertex0 && inRange(e.vertex0) &&
            inRange(f.vertex0)) {
            addEdgeOnce(derived.vertices[e.vertex0], &e);
            addEdgeOnce(derived.vertices[f.vertex0], &f);
        } else {
            ++wrong;
        }
        i += 2;
    }
    if (wrong > 0)
        std::cout << "partner Indices wrong: " << wrong << std::endl;
    return pairPolygonLegs();
}

int CFlatMesh::getCornerBeforeEdge(int p, int a, int b)
{
    if (p < 0 || p >= getFacetCount())
        return -1;
    const int n = getPolygonSize(p);
    for (int k = 1; k <= n; ++k)
        if (getPolygonVertexIndex(p, k - 1) == a && getPolygonVertexIndex(p, k) == b)
            return getPolygonVertexIndex(p, k - 2);
    return -1;
}

bool CFlatMesh::getBoundaryEdgeFrame(const CPolygonEdge& e, Direction& side, Direction& normal)
{
    if (derived.vertexCount == 0)
        return Mesh::CBaseMesh::getBoundaryEdgeFrame(e, side, normal);
    if (e.facet1 < 0 || e.facet2 != -1 || e.facet1 >= derived.facetCount ||
        !validVertexRecord(*this, e.vertex0) || !validVertexRecord(*this, e.vertex1))
        return false;
    const Direction d(derived.vertices[e.vertex1] - derived.vertices[e.vertex0]);
    normal = derived.facets[e.facet1].normal;
    if (dotProduct(normal, normal) < 1e-10f)
        return false;
    ::normalize(normal);
    crossProductInto(d, normal, side);
    ::normalize(side);
    return true;
}

bool CFlatMesh::getBoundaryVertexFrame(int v, Direction& side, Direction& normal)
{
    if (derived.vertexCount == 0)
        return Mesh::CBaseMesh::getBoundaryVertexFrame(v, side, normal);
    for (int k = 0; k < 3; ++k)
        side[k] = normal[k] = 0.0f;
    if (v < 0 || v >= derived.vertexCount)
        return false;
    const MeshVertex& vertex = derived.vertices[v];
    Direction edgeSide, edgeNormal;
    bool any = false;
    for (int k = 0; k < vertex.edges.count; ++k) {
        const CPolygonEdge& e = *vertex.edges.items[k];
        if (e.facet2 != -1 || !getBoundaryEdgeFrame(e, edgeSide, edgeNormal))
            continue;
        side += edgeSide;
        normal += edgeNormal;
        any = true;
    }
    if (!any)
        return false;
    ::normalize(side);
    ::normalize(normal);
    return true;
}

double CFlatMesh::getBoundaryAngle(int v)
{
    if (derived.vertexCount == 0)
        return Mesh::CBaseMesh::getBoundaryAngle(v);
    if (!validVertexRecord(*this, v) || edges.count == 0)
        return -1.0;
    const MeshVertex& vertex = derived.vertices[v];
    int next = -1, previous = -1;
    Direction s;
    for (int k = 0; k < vertex.edges.count && (next < 0 || previous < 0); ++k) {
        const CPolygonEdge& e = *vertex.edges.items[k];
        if (e.facet1 < 0 || e.facet2 != -1 || e.facet1 >= derived.facetCount)
            continue;
        if (e.vertex0 == v && next < 0) {
            next = e.vertex1;
            s += derived.facets[e.facet1].normal;
        } else if (e.vertex1 == v && previous < 0) {
            previous = e.vertex0;
            s += derived.facets[e.facet1].normal;
        }
    }
    if (!validVertexRecord(*this, next) || !validVertexRecord(*this, previous))
        return -1.0;
    ::normalize(s);
    Direction a(vertex - derived.vertices[previous]);
    Direction b(derived.vertices[next] - vertex);
    addScaled(a, -dotProduct(a, s), s);
    addScaled(b, -dotProduct(b, s), s);
    ::normalize(a);
    ::normalize(b);
    // Rounding may push the cosine just outside [-1, 1].
    const double cosine = std::clamp(double(dotProduct(a, b)), -1.0, 1.0);
    const double angle = std::acos(cosine);
    Direction axb;
    crossProductInto(a, b, axb);
    return dotProduct(axb, s) >= 0.0f ? angle : 2.0 * std::numbers::pi - angle;
}

bool CFlatMesh::getVertexRing(int v, Kor::List<int>& vertices, Kor::List<int>* polygons)
{
    vertices.count = 0;
    if (polygons != nullptr)
        polygons->count = 0;
    if (derived.vertexCount == 0 || v < 0 || v >= derived.vertexCount)
        return false;
    const MeshVertex& vertex = derived.vertices[v];
    const int legCount = vertex.legs.count;
    if (legCount == 0)
        return false;
    const CPolygonLeg* legs = vertex.legs.data;
    // The leg that continues `leg` around the vertex: its far end is the
    // vertex that precedes v in leg's polygon.
    auto nextLeg = [&](const CPolygonLeg& leg) -> const CPolygonLeg* {
        for (int k = 0; k < legCount; ++k)
            if (legs[k].next == leg.previous)
                return &legs[k];
        return nullptr;
    };
    auto add = [&](const CPolygonLeg& leg) {
        vertices.append(leg.next);
        if (polygons != nullptr)
            polygons->append(leg.polygon);
    };

    if (legCount == vertex.edges.count) {
        const CPolygonLeg* leg = &legs[0];
        while (vertices.count < vertex.edges.count) {
            leg = nextLeg(*leg);
            if (leg == nullptr)
                break;
            add(*leg);
        }
        return vertices.count >= 2;
    }

    // A boundary vertex: start at the leg whose far end no leg comes back from.
    const CPolygonLeg* leg = nullptr;
    for (int k = 0; k < legCount && leg == nullptr; ++k) {
        bool reached = false;
        for (int m = 0; m < legCount && !reached; ++m)
            reached = legs[m].previous == legs[k].next;
        if (!reached)
            leg = &legs[k];
    }
    if (leg == nullptr)
        return false;
    add(*leg);
    for (int steps = 0; steps < legCount; ++steps) {
        const CPolygonLeg* following = nextLeg(*leg);
        if (following == nullptr)
            break;
        leg = following;
        add(*leg);
    }
    vertices.append(leg->previous);
    return vertices.count >= 2;
}
