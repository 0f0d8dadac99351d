// Plane sections of a mesh: segments per facet and plane, merged end points,
// traced paths, degree-1 curves.

#include "mesh/PlaneSection.h"

#include "curves/CurveJoins.h"
#include "curves/CurveLoops.h"
#include "curves/CurveOperations.h"
#include "foundation/IndexSubset.h"
#include "foundation/KorArray.h"
#include "foundation/Sort.h"
#include "foundation/Statistic.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "mesh/MeshGeometry.h"
#include "mesh/SpatialHash.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <unordered_map>
#include <vector>

namespace MeshFunctions {

namespace {

using Point = CVertex<float, 3>;

// Squared distance of two ends below which a closing path counts as closed.
constexpr double kClosedGap2 = 0.1;
// A path's last two vertices closer than this (squared) are one.
constexpr double kDuplicateEnd2 = 1e-6;
// Tolerance of the section curves of meshPlaneSection.
constexpr double kSectionTolerance = 0.001;
// Gap between piece ends bridged when the pieces of one plane are chained.
constexpr double kPieceChainGap = 1000.0;

double dot3(const CVertex<float, 3>& a, const CVertex<float, 3>& b)
{
    return double(a.data[0]) * b.data[0] + double(a.data[1]) * b.data[1] +
           double(a.data[2]) * b.data[2];
}

bool sameVector(const CVertex<float, 3>& a, const CVertex<float, 3>& b)
{
    return a.data[0] == b.data[0] && a.data[1] == b.data[1] && a.data[2] == b.data[2];
}

// The crossings of one facet with one plane at level c: the distinct points
// in edge order, and how many crossings were found before equal ones were
// merged.
struct FacetCrossings {
    std::vector<std::array<float, 3>> points;
    int raw = 0;
};

// An edge of a facet, from corner `from` to the next corner `to`, which the
// facet runs along `times` times.
struct FacetEdge {
    int from, to, times;
};

// Polygons of more corners than this have their repeated edges merged.
constexpr int kPlainEdgeCorners = 8;

// The facet's edges in order, an edge whose corners repeat those of an
// earlier one (the same coordinates, bit for bit, the same way round) only
// counted with it: its crossing of any plane is the earlier one's, point
// for point, so a polygon that runs round a few vertices thousands of
// times is crossed along its few distinct edges. Small polygons keep every
// edge.
void facetEdges(const std::vector<float>& corners, std::vector<FacetEdge>& out)
{
    out.clear();
    const int size = int(corners.size() / 3);
    if (size <= kPlainEdgeCorners) {
        for (int k = 0; k < size; ++k)
            out.push_back(FacetEdge{k, (k + 1) % size, 1});
        return;
    }
    using Bits = std::array<std::uint32_t, 6>;
    struct BitsHash {
        std::size_t operator()(const Bits& b) const
        {
            std::size_t h = 0;
            for (std::uint32_t w : b)
                h = h * 1000003u ^ w;
            return h;
        }
    };
    std::unordered_map<Bits, int, BitsHash> first;
    for (int k = 0; k < size; ++k) {
        const int k1 = (k + 1) % size;
        Bits bits;
        std::memcpy(bits.data(), corners.data() + 3 * k, 3 * sizeof(float));
        std::memcpy(bits.data() + 3, corners.data() + 3 * k1, 3 * sizeof(float));
        const auto [at, added] = first.try_emplace(bits, int(out.size()));
        if (added)
            out.push_back(FacetEdge{k, k1, 1});
        else
            ++out[std::size_t(at->second)].times;
    }
}

void crossFacet(const std::vector<float>& corners, const std::vector<double>& heights,
                const std::vector<FacetEdge>& edges, double c, FacetCrossings& out)
{
    out.points.clear();
    out.raw = 0;
    for (const FacetEdge& edge : edges) {
        const int k = edge.from, k1 = edge.to;
        const double hk = heights[k], hk1 = heights[k1];
        if (!((hk - c) * (hk1 - c) <= 0.0))
            continue;
        // The slope from the same heights that placed the plane: a crossing
        // found by the sign test always lies on the edge.
        const double s = hk1 - hk;
        if (s == 0.0)
            continue; // an edge in the plane is given by its corners
        const double u = std::clamp((c - hk) / s, 0.0, 1.0);
        const float* a = corners.data() + 3 * k;
        const float* b = corners.data() + 3 * k1;
        std::array<float, 3> q;
        for (int i = 0; i < 3; ++i)
            q[i] = float((1.0 - u) * a[i] + u * b[i]);
        out.raw += edge.times;
        // Equal as floats: both zeros are one point, a NaN is never known.
        bool known = false;
        for (const std::array<float, 3>& known_point : out.points)
            known = known || known_point == q;
        if (!known)
            out.points.push_back(q);
    }
}

// The two ends of a segment, the lesser first, as a key: a segment and its
// reverse give the same key. Equal keys compare their coordinates as floats,
// so a segment with a NaN end equals none; the hash reads the bits of the
// coordinates with both zeros made one.
using SegmentKey = std::array<float, 6>;

SegmentKey segmentKey(const std::array<float, 3>& a, const std::array<float, 3>& b)
{
    const bool aFirst = a < b;
    const std::array<float, 3>& first = aFirst ? a : b;
    const std::array<float, 3>& second = aFirst ? b : a;
    return {first[0], first[1], first[2], second[0], second[1], second[2]};
}

struct SegmentKeyHash {
    std::size_t operator()(const SegmentKey& key) const
    {
        std::size_t h = 0;
        for (float f : key) {
            std::uint32_t bits;
            const float zeroAsOne = f + 0.0f;
            std::memcpy(&bits, &zeroAsOne, sizeof bits);
            h = h * 1000003u ^ bits;
        }
        return h;
    }
};

// One segment of a section as the tracing reads it: its two ends and the
// index of its plane. Plain values, so that the hundreds of thousands of
// segments a large section has sit side by side.
struct SectionSegment {
    std::array<float, 3> first, last;
    int plane;
};
using SectionSegments = std::vector<SectionSegment>;

// Sum of the squared coordinate differences accumulated in float, as
// squaredDistance of two float vertices.
float squaredDistance3(const float* a, const float* b)
{
    float s = 0.0f;
    for (int i = 0; i < 3; ++i) {
        const float d = a[i] - b[i];
        s += d * d;
    }
    return s;
}

// (a - o).s with the difference formed in float and the products summed in
// double, as dot3 of a vertex difference.
double heightFrom(const float* a, const CVertex<float, 3>& o, const CVector<float, 3>& s)
{
    float d[3];
    for (int i = 0; i < 3; ++i)
        d[i] = a[i] - o.data[i];
    return double(d[0]) * s.data[0] + double(d[1]) * s.data[1] + double(d[2]) * s.data[2];
}

bool keepSegment(const float* a, const float* b, const CVertex<float, 3>& p,
                 const CVector<float, 3>* side, const Point* start, const Point* end,
                 double maxDistance)
{
    if (side == nullptr) {
        if (maxDistance > 0.0) {
            const double m2 = maxDistance * maxDistance;
            if (double(squaredDistance3(a, p.data)) > m2 &&
                double(squaredDistance3(b, p.data)) > m2)
                return false;
        }
        return true;
    }
    if (start != nullptr && heightFrom(a, *start, *side) < 0.0 &&
        heightFrom(b, *start, *side) < 0.0)
        return false;
    if (end != nullptr && heightFrom(a, *end, *side) > 0.0 && heightFrom(b, *end, *side) > 0.0)
        return false;
    return true;
}

// The distinct segments of one plane in the order they were found. A
// segment equal to one found before (the same two ends, either way round)
// is not added: it would join the same two ends again, and coincident
// facets would otherwise multiply the segments, and the merging of their
// ends, by their number. Found segments are looked up through an
// open-addressing table of their indices.
class DistinctSegments {
public:
    // Forgets the segments found (the table keeps its size).
    void clear()
    {
        std::fill(slots.begin(), slots.end(), 0u);
        found = 0;
    }

    // True when the segment from a to b is new; the caller then appends it
    // to `out`, which holds the segments found so far in order.
    bool add(const std::array<float, 3>& a, const std::array<float, 3>& b,
             const std::vector<SectionSegment>& out)
    {
        if (2 * (found + 1) > slots.size())
            rehash(slots.empty() ? 64 : 2 * slots.size(), out);
        const SegmentKey key = segmentKey(a, b);
        std::size_t s = slotOf(key);
        for (; slots[s] != 0; s = (s + 1) & mask) {
            const SectionSegment& known = out[slots[s] - 1];
            if (segmentKey(known.first, known.last) == key)
                return false;
        }
        slots[s] = std::uint32_t(++found);
        return true;
    }

private:
    std::vector<std::uint32_t> slots; // 1 + index into the found segments; 0 free
    std::size_t mask = 0;
    std::size_t found = 0;

    // The key's hash with its high bits folded into the low ones that pick
    // the slot.
    std::size_t slotOf(const SegmentKey& key) const
    {
        const std::uint64_t h = std::uint64_t(SegmentKeyHash()(key)) * 0x9E3779B97F4A7C15ull;
        return std::size_t(h ^ (h >> 32)) & mask;
    }

    void rehash(std::size_t size, const std::vector<SectionSegment>& out)
    {
        slots.assign(size, 0u);
        mask = size - 1;
        for (std::size_t k = 0; k < found; ++k) {
            std::size_t s = slotOf(segmentKey(out[k].first, out[k].last));
            while (slots[s] != 0)
                s = (s + 1) & mask;
            slots[s] = std::uint32_t(k + 1);
        }
    }
};

// The segments of intersectMeshWithPlanes, handed out plane by plane. A
// first pass over the facets notes which facets the planes cross and the
// squared lengths of the segments the filter keeps; the segments of a plane
// are then formed from those facets when the plane's turn comes, so that
// only one plane's segments, and one plane's table of the segments found,
// are held at a time.
class PlaneCuts {
public:
    PlaneCuts(Mesh::CBaseMesh* m, const CVertex<float, 3>& origin, const CVector<float, 3>& normal,
              const CVector<float, 3>& direction, int count, Interval range,
              const CVector<float, 3>* sideNormal, const CVertex<float, 3>* startPoint,
              const CVertex<float, 3>* endPoint, double distance)
        : mesh(m), p(origin), n(normal), side(sideNormal), start(startPoint), end(endPoint),
          maxDistance(distance)
    {
        if (mesh == nullptr || count < 1)
            return;
        const double factor = sameVector(normal, direction) ? 1.0 : dot3(normal, direction);
        levels.resize(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            const double t = double(i) / double(std::max(count - 1, 1));
            levels[i] = factor * ((1.0 - t) * range.min + t * range.max);
        }
        // The first kept segment of each plane, and the smallest kept
        // squared length that is a number.
        std::vector<double> firstLength(levels.size(), 0.0);
        std::vector<char> planeHasOne(levels.size(), 0);
        double smallest = INFINITY;
        bool anyNumber = false;
        const int facetCount = mesh->getFacetCount();
        for (int f = 0; f < facetCount; ++f) {
            double lo, hi;
            if (!readFacet(f, lo, hi))
                continue;
            bool edgesRead = false;
            for (std::size_t i = 0; i < levels.size(); ++i) {
                if (!(levels[i] >= lo && levels[i] <= hi))
                    continue;
                if (!edgesRead) {
                    facetEdges(corners, edges);
                    crossed.push_back(CrossedFacet{f, lo, hi});
                    edgesRead = true;
                }
                crossFacet(corners, heights, edges, levels[i], crossings);
                if (crossings.raw == 3)
                    std::cout << "efCount=3, mystery" << std::endl;
                if (crossings.points.size() < 2)
                    continue;
                const std::array<float, 3>& a = crossings.points.front();
                const std::array<float, 3>& b = crossings.points.back();
                if (!keepSegment(a.data(), b.data(), p, side, start, end, maxDistance))
                    continue;
                // A later segment equal to a kept one has its length; the
                // tracing reads the lengths of the distinct ones.
                const double length2 = double(squaredDistance3(a.data(), b.data()));
                if (planeHasOne[i] == 0) {
                    planeHasOne[i] = 1;
                    firstLength[i] = length2;
                }
                if (!std::isnan(length2)) {
                    smallest = std::min(smallest, length2);
                    anyNumber = true;
                }
            }
        }
        // The smallest of the lengths taken plane by plane as a CStatistic
        // takes them: a first value that is no number stays the smallest.
        for (std::size_t i = 0; i < levels.size(); ++i)
            if (planeHasOne[i] != 0) {
                hasSegments = true;
                shortest2 = std::isnan(firstLength[i]) || !anyNumber ? firstLength[i] : smallest;
                break;
            }
    }

    // The number of planes.
    int planes() const { return int(levels.size()); }
    // True when some plane has a segment; shortest2 then holds the smallest
    // squared segment length as followSectionPath finds it.
    bool hasSegments = false;
    double shortest2 = 0.0;

    // The segments of plane i in facet order, each once, those the filter
    // drops left out.
    void planeSegments(int i, SectionSegments& out)
    {
        out.clear();
        kept.clear();
        distinct.clear();
        const double level = levels[std::size_t(i)];
        for (const CrossedFacet& facet : crossed) {
            if (!(level >= facet.lo && level <= facet.hi))
                continue;
            double lo, hi;
            readFacet(facet.index, lo, hi);
            facetEdges(corners, edges);
            crossFacet(corners, heights, edges, level, crossings);
            if (crossings.points.size() < 2)
                continue;
            const std::array<float, 3>& a = crossings.points.front();
            const std::array<float, 3>& b = crossings.points.back();
            // A segment the plane has already was kept or dropped as this
            // one would be.
            if (!distinct.add(a, b, out))
                continue;
            out.push_back(SectionSegment{a, b, i});
            kept.push_back(keepSegment(a.data(), b.data(), p, side, start, end, maxDistance));
        }
        std::size_t at = 0;
        for (std::size_t k = 0; k < out.size(); ++k)
            if (kept[k])
                out[at++] = out[k];
        out.resize(at);
    }

private:
    // A facet some plane crosses, with the range of its corners' heights.
    struct CrossedFacet {
        int index;
        double lo, hi;
    };
    Mesh::CBaseMesh* mesh;
    const CVertex<float, 3>& p;
    const CVector<float, 3>& n;
    const CVector<float, 3>* side;
    const CVertex<float, 3>* start;
    const CVertex<float, 3>* end;
    double maxDistance;
    std::vector<double> levels;
    std::vector<CrossedFacet> crossed; // in facet order
    DistinctSegments distinct;
    std::vector<bool> kept; // whether the filter keeps each distinct segment
    // The facet read last: its corners side by side, x, y, z each (a polygon
    // may have tens of thousands), their heights, its edges and crossings.
    std::vector<float> corners;
    std::vector<double> heights;
    std::vector<FacetEdge> edges;
    FacetCrossings crossings;
    Point corner;

    // Reads facet f's corners and heights; lo and hi receive the range of
    // the heights. False for a facet of fewer than 2 corners or one whose
    // corners cannot be read.
    bool readFacet(int f, double& lo, double& hi)
    {
        const int size = mesh->getFacetSize(f);
        if (size < 2)
            return false;
        corners.resize(3 * std::size_t(size));
        heights.resize(std::size_t(size));
        lo = INFINITY;
        hi = -INFINITY;
        // At once where the mesh can, else corner by corner.
        const bool atOnce = mesh->readFacetCorners(f, corners.data(), size) == size;
        for (int k = 0; k < size; ++k) {
            if (atOnce)
                std::copy_n(corners.data() + 3 * k, 3, corner.data);
            else if (!mesh->getFacetCorner(f, k, corner))
                return false;
            std::copy_n(corner.data, 3, corners.data() + 3 * k);
            heights[k] = heightAlong(corner, p, n);
            lo = std::min(lo, heights[k]);
            hi = std::max(hi, heights[k]);
        }
        return true;
    }
};

// isLessVertex on three floats.
bool lessPosition(const float* a, const float* b)
{
    if (a[0] != b[0])
        return a[0] < b[0];
    if (a[1] != b[1])
        return a[1] < b[1];
    return a[2] < b[2];
}

// The merged ends of a section. A vertex lies at the first end point that
// made it and keeps that end's plane. Vertices sit in the cells of a grid
// keyed as the spatial hash (Mesh::C3DHash) keys its cells, the items of a
// cell in the order of their positions (isLessVertex); a query visits the
// cells around a point in key order and each cell's items in order, as the
// hash's radius query does, so every end merges into the vertex the hash
// would give it. Vertices are plain values in one array and cells are found
// through an open-addressing table: adding a cell moves no other.
class SectionVertices {
public:
    struct Vertex {
        float xyz[3];
        int plane;
    };
    std::vector<Vertex> vertices;

    // The cell size (the inverse is 1/s, or 1e8 when s is below 1e-8).
    explicit SectionVertices(double s) : cellSize(s), inverseCellSize(s >= 1e-8 ? 1.0 / s : 1e8) {}

    // Calls visit(vertex, d2) for every vertex whose squared distance d2 to
    // q (summed in float) is below radius^2 (the cell size when radius <=
    // 0), in the order of C3DHash::findNearest with neighbours searched;
    // stops when visit returns false.
    template <class Visit> void forNear(const float* q, float radius, Visit visit)
    {
        if (cells.empty())
            return;
        if (radius <= 0.0f)
            radius = float(cellSize);
        const float r2 = radius * radius;
        const long long key[3] = {keyOf(q[0]), keyOf(q[1]), keyOf(q[2])};
        auto visitCell = [&](const Cell& cell) {
            for (int v : cell.items) {
                const float d2 = squaredDistance3(vertices[std::size_t(v)].xyz, q);
                if (d2 < r2 && !visit(v, d2))
                    return false;
            }
            return true;
        };
        const double m = std::ceil(double(radius) * 0.95 / cellSize);
        if (m >= 0.0 && m < 2.0) {
            // The cells whose keys lie within m of q's, in key order, less
            // those that lie wholly farther than the radius from q along an
            // axis: the radius is widened by a hundredth (and by a billionth
            // of the coordinate, for the rounding of q -/+ radius) so that
            // an item of a cell passed over differs from q by more than the
            // radius in that coordinate even after float rounding, and its
            // squared distance cannot come out below radius^2.
            const long long reach = (long long)m;
            long long from[3], to[3];
            for (int c = 0; c < 3; ++c) {
                from[c] = key[c] - reach;
                to[c] = key[c] + reach;
                const double x = double(q[c]);
                const double wide = double(radius) * 1.01 + 1e-9 * std::fabs(x);
                const double below = std::floor((x - wide) * inverseCellSize);
                const double above = std::floor((x + wide) * inverseCellSize);
                if (reach == 1 && key[c] > INT_MIN && key[c] < INT_MAX && std::isfinite(below) &&
                    std::isfinite(above)) {
                    from[c] = std::max(from[c], (long long)std::max(below, double(INT_MIN)));
                    to[c] = std::min(to[c], (long long)std::min(above, double(INT_MAX)));
                }
            }
            for (long long a = from[0]; a <= to[0]; ++a)
                for (long long b = from[1]; b <= to[1]; ++b)
                    for (long long c = from[2]; c <= to[2]; ++c) {
                        if (a < INT_MIN || a > INT_MAX || b < INT_MIN || b > INT_MAX ||
                            c < INT_MIN || c > INT_MAX)
                            continue;
                        const int at = findCell(int(a), int(b), int(c));
                        if (at >= 0 && !visitCell(cells[std::size_t(at)]))
                            return;
                    }
            return;
        }
        // A radius the cells do not bound (not finite): every cell within
        // reach, in key order.
        const long long reach = m < 1e12 ? (long long)m : (long long)1e12;
        for (int at : sortedCells()) {
            const Cell& cell = cells[std::size_t(at)];
            if (llabs(cell.i - key[0]) <= reach && llabs(cell.j - key[1]) <= reach &&
                llabs(cell.k - key[2]) <= reach && !visitCell(cell))
                return;
        }
    }

    // The vertex at exactly q's position in q's cell (of whichever plane),
    // else a new vertex at q of the given plane, as C3DHash::insert.
    int insert(const std::array<float, 3>& q, int plane)
    {
        Cell& cell = cells[std::size_t(findOrCreateCell(keyOf(q[0]), keyOf(q[1]), keyOf(q[2])))];
        int index = -1;
        const auto position = [&](int i) { return vertices[std::size_t(cell.items[i])].xyz; };
        if (binarySearchPosition(
                int(cell.items.size()), index,
                [&](int i) { return lessPosition(position(i), q.data()); },
                [&](int i) { return lessPosition(q.data(), position(i)); }))
            return cell.items[std::size_t(index)];
        const int v = int(vertices.size());
        vertices.push_back(Vertex{{q[0], q[1], q[2]}, plane});
        cell.items.insert(cell.items.begin() + (index + 1), v);
        return v;
    }

    // Every vertex, cells in key order, a cell's items in order.
    std::vector<int> order()
    {
        std::vector<int> all;
        all.reserve(vertices.size());
        for (int at : sortedCells())
            for (int v : cells[std::size_t(at)].items)
                all.push_back(v);
        return all;
    }

private:
    struct Cell {
        int i, j, k;
        std::vector<int> items; // vertex indices by position
    };
    double cellSize;
    double inverseCellSize;
    std::vector<Cell> cells;          // in the order they were made
    std::vector<std::uint32_t> slots; // 1 + index into cells; 0 free
    std::size_t mask = 0;
    std::vector<int> sorted; // cells in key order, when current

    int keyOf(float x) const { return Mesh::cellKeyOf(double(x), inverseCellSize); }

    std::size_t slotOf(int i, int j, int k) const
    {
        return std::size_t(Mesh::cellKeyHash(i, j, k)) & mask;
    }

    int findCell(int i, int j, int k) const
    {
        for (std::size_t s = slotOf(i, j, k); slots[s] != 0; s = (s + 1) & mask) {
            const Cell& cell = cells[slots[s] - 1];
            if (cell.i == i && cell.j == j && cell.k == k)
                return int(slots[s] - 1);
        }
        return -1;
    }

    int findOrCreateCell(int i, int j, int k)
    {
        if (!cells.empty()) {
            const int at = findCell(i, j, k);
            if (at >= 0)
                return at;
        }
        // A quarter full at most: most probes ask for cells that do not
        // exist, and end at the first free slot.
        if (4 * (cells.size() + 1) > slots.size()) {
            slots.assign(slots.empty() ? 256 : 2 * slots.size(), 0);
            mask = slots.size() - 1;
            for (std::size_t c = 0; c < cells.size(); ++c)
                place(c);
        }
        cells.push_back(Cell{i, j, k, {}});
        place(cells.size() - 1);
        sorted.clear();
        return int(cells.size() - 1);
    }

    void place(std::size_t c)
    {
        std::size_t s = slotOf(cells[c].i, cells[c].j, cells[c].k);
        while (slots[s] != 0)
            s = (s + 1) & mask;
        slots[s] = std::uint32_t(c + 1);
    }

    const std::vector<int>& sortedCells()
    {
        if (sorted.size() != cells.size()) {
            sorted.resize(cells.size());
            for (std::size_t c = 0; c < cells.size(); ++c)
                sorted[c] = int(c);
            std::sort(sorted.begin(), sorted.end(), [&](int a, int b) {
                const Cell& x = cells[std::size_t(a)];
                const Cell& y = cells[std::size_t(b)];
                if (x.i != y.i)
                    return x.i < y.i;
                if (x.j != y.j)
                    return x.j < y.j;
                return x.k < y.k;
            });
        }
        return sorted;
    }
};

// The untraced joins of a section's vertices: each vertex's neighbours in
// the order they were joined (its degree their count), held as doubly
// linked lists of half-joins in one array, so that tracing a join cuts it
// at both its ends at once, however many neighbours a vertex has.
class SectionJoins {
public:
    // Room for a vertex more.
    void addVertex()
    {
        head.push_back(-1);
        tail.push_back(-1);
        degrees.push_back(0);
    }

    // Joins two vertices once; a segment whose ends merged into one vertex
    // joins nothing. True when the join is new.
    bool join(int a, int b)
    {
        if (a == b)
            return false;
        const std::uint64_t key =
            (std::uint64_t(std::uint32_t(std::min(a, b))) << 32) | std::uint32_t(std::max(a, b));
        if (!known.insert(key))
            return false;
        append(a, b);
        append(b, a);
        return true;
    }

    // Forgets which pairs were joined once the joining is done.
    void endJoining() { known = KeySet(); }

    int degree(int v) const { return degrees[std::size_t(v)]; }
    // The first untraced neighbour of a vertex of degree > 0.
    int first(int v) const { return halves[std::size_t(head[std::size_t(v)])].to; }
    // Cuts the join between v and its first neighbour.
    void cutFirst(int v)
    {
        const int h = head[std::size_t(v)];
        const int w = halves[std::size_t(h)].to;
        unlinkHalf(v, h);
        unlinkHalf(w, h ^ 1);
    }

private:
    struct Half {
        int to, prev, next;
    };
    // Pairs of vertex indices, open addressing.
    class KeySet {
    public:
        bool insert(std::uint64_t key)
        {
            if (2 * (used + 1) > slots.size())
                rehash(slots.empty() ? 64 : 2 * slots.size());
            std::size_t s = slotOf(key);
            for (; slots[s] != kFree; s = (s + 1) & mask)
                if (slots[s] == key)
                    return false;
            slots[s] = key;
            ++used;
            return true;
        }

    private:
        static constexpr std::uint64_t kFree = ~std::uint64_t(0);
        std::vector<std::uint64_t> slots;
        std::size_t mask = 0, used = 0;
        std::size_t slotOf(std::uint64_t key) const
        {
            key *= 0x9E3779B97F4A7C15ull;
            return std::size_t(key ^ (key >> 31)) & mask;
        }
        void rehash(std::size_t size)
        {
            std::vector<std::uint64_t> old(size, kFree);
            old.swap(slots);
            mask = size - 1;
            for (std::uint64_t key : old)
                if (key != kFree) {
                    std::size_t s = slotOf(key);
                    while (slots[s] != kFree)
                        s = (s + 1) & mask;
                    slots[s] = key;
                }
        }
    };

    std::vector<Half> halves; // a join's two halves at 2j and 2j + 1
    std::vector<int> head, tail, degrees;
    KeySet known;

    void append(int v, int to)
    {
        const int h = int(halves.size());
        halves.push_back(Half{to, tail[std::size_t(v)], -1});
        if (tail[std::size_t(v)] >= 0)
            halves[std::size_t(tail[std::size_t(v)])].next = h;
        else
            head[std::size_t(v)] = h;
        tail[std::size_t(v)] = h;
        ++degrees[std::size_t(v)];
    }

    void unlinkHalf(int v, int h)
    {
        const Half& half = halves[std::size_t(h)];
        if (half.prev >= 0)
            halves[std::size_t(half.prev)].next = half.next;
        else
            head[std::size_t(v)] = half.next;
        if (half.next >= 0)
            halves[std::size_t(half.next)].prev = half.prev;
        else
            tail[std::size_t(v)] = half.prev;
        --degrees[std::size_t(v)];
    }
};

Fenwo::NurbsSurf* pathCurve(const SectionVertices& graph, const std::vector<int>& path, bool closed)
{
    const int count = int(path.size());
    const knots u(count - 1, 1, 0.0, 1.0, closed ? knots::CyclicEnd : knots::ClampedEnd,
                  knots::Uniform);
    auto* curve = new Fenwo::NurbsSurf(u, nullptr);
    for (int k = 0; k < count; ++k) {
        const float* xyz = graph.vertices[std::size_t(path[std::size_t(k)])].xyz;
        curve->setControlPoint(k, 0, Vector(xyz[0], xyz[1], xyz[2]), 1.0);
    }
    return curve;
}

// The walks over the traced graph. Degrees only fall, so a cursor over the
// vertex order never has to look back for the "first vertex with
// neighbours"; vertices that fall to degree 1 are queued as preferred path
// starts (a path from a free end is never cut in two).
class PathTracer {
public:
    PathTracer(SectionVertices& v, SectionJoins& j, double mergeRadius2)
        : graph(v), joins(j), g(mergeRadius2)
    {
        order = graph.order();
        for (auto it = order.rbegin(); it != order.rend(); ++it)
            if (joins.degree(*it) == 1)
                ends.push_back(*it);
    }

    // The next path's start; -1 when no vertex keeps neighbours.
    int nextStart()
    {
        while (!ends.empty()) {
            const int v = ends.back();
            ends.pop_back();
            if (joins.degree(v) == 1)
                return v;
        }
        while (cursor < order.size() && joins.degree(order[cursor]) == 0)
            ++cursor;
        return cursor < order.size() ? order[cursor] : -1;
    }

    // Walks from v along first neighbours; path receives the vertices.
    bool walk(int v, std::vector<int>& path)
    {
        path.clear();
        for (;;) {
            path.push_back(v);
            int w = joins.first(v);
            cut(v, w);
            const bool backAtStart = path.size() > 1 && w == path.front();
            if (joins.degree(w) == 0 && !backAtStart) {
                const int next = continuation(w, v);
                if (next >= 0) {
                    path.push_back(w);
                    w = next;
                }
            }
            if (joins.degree(w) == 0) {
                const bool closed =
                    path.size() > 1 &&
                    (w == path.front() ||
                     double(squaredDistance3(position(w), position(path.front()))) < kClosedGap2);
                // A cyclic curve closes by its knots: the start is not repeated.
                if (w != path.back() && !(closed && w == path.front()))
                    path.push_back(w);
                return closed;
            }
            v = w;
        }
    }

private:
    SectionVertices& graph;
    SectionJoins& joins;
    double g;
    std::vector<int> order;
    std::size_t cursor = 0;
    std::vector<int> ends;

    const float* position(int v) const { return graph.vertices[std::size_t(v)].xyz; }

    void cut(int v, int w)
    {
        joins.cutFirst(v);
        if (joins.degree(v) == 1)
            ends.push_back(v);
        if (joins.degree(w) == 1)
            ends.push_back(w);
    }

    // The vertex of w's plane with untraced neighbours nearest to w within
    // the merge radius, other than the vertex the walk came from; -1 when
    // there is none. Ends farther apart than the merge radius are separate
    // ends of the section, so a path stops at them. A path never continues
    // onto the section of a neighbouring plane.
    int continuation(int w, int from)
    {
        int best = -1;
        float fMin = 0.0f;
        const int plane = graph.vertices[std::size_t(w)].plane;
        graph.forNear(position(w), float(std::sqrt(g)), [&](int u, float d2) {
            const float distance = float(std::sqrt(double(d2)));
            if (u == w || u == from || joins.degree(u) == 0 ||
                graph.vertices[std::size_t(u)].plane != plane)
                return true;
            if (best < 0 || distance < fMin) {
                best = u;
                fMin = distance;
            }
            return true;
        });
        if (best >= 0)
            std::cout << "new Path continuation found, fMin=" << fMin << std::endl;
        return best;
    }
};

// The tracing of followSectionPath, fed segment by segment: the merge
// radius comes from the shortest segment, known before the first is added.
class SectionTrace {
public:
    // g = max(tolerance^2, shortest2 / 5) as a float, r = sqrt(g), and
    // cells of edge 2 r.
    SectionTrace(double tolerance, double shortest2)
        : g(float(std::max(tolerance * tolerance, shortest2 / 5.0))), r(std::sqrt(g)),
          graph(std::max(2.0 * double(r), 1e-8))
    {
    }

    // Merges the segment's ends into vertices and joins them. Ends of
    // different planes never merge, however close the planes lie (only an
    // end at exactly a vertex's position takes that vertex).
    void add(const SectionSegment& s)
    {
        const int a = vertexAt(s.first, s.plane);
        const int b = vertexAt(s.last, s.plane);
        if (!joins.join(a, b))
            return;
        // A vertex joined for the first time is a part of its own until the
        // join unites it with the other end's part.
        parts += (joins.degree(a) == 1) + (joins.degree(b) == 1);
        const int ra = root(a), rb = root(b);
        if (ra != rb) {
            part[std::size_t(std::max(ra, rb))] = std::min(ra, rb);
            --parts;
        }
    }

    // The separate parts of the segments added so far: sets of segments
    // connected through their merged ends, each open path and each loop of
    // the section one.
    long long partCount() const { return parts; }

    // Traces the paths and appends their curves.
    void trace(CurveList& curves)
    {
        joins.endJoining();
        PathTracer tracer(graph, joins, double(g));
        std::vector<int> path;
        for (int start = tracer.nextStart(); start >= 0; start = tracer.nextStart()) {
            bool closed = tracer.walk(start, path);
            const std::size_t size = path.size();
            if (size > 2 && double(squaredDistance3(position(path[size - 1]),
                                                    position(path[size - 2]))) < kDuplicateEnd2)
                path.pop_back();
            if (path.size() < 2)
                continue;
            closed = closed && path.size() >= 3;
            std::unique_ptr<Fenwo::NurbsSurf> curve(pathCurve(graph, path, closed));
            if (curve->computeLength() >= 2.0 * double(g))
                curves.append(curve.release());
        }
    }

private:
    float g, r;
    SectionVertices graph;
    SectionJoins joins;
    // The parts: each vertex's parent towards its part's root (the least
    // index of the part), and how many parts there are.
    std::vector<int> part;
    long long parts = 0;

    int root(int v)
    {
        int r = v;
        while (part[std::size_t(r)] != r)
            r = part[std::size_t(r)];
        while (part[std::size_t(v)] != r) {
            const int next = part[std::size_t(v)];
            part[std::size_t(v)] = r;
            v = next;
        }
        return r;
    }

    const float* position(int v) const { return graph.vertices[std::size_t(v)].xyz; }

    // The first vertex of the plane within r of q, else the vertex the hash
    // insert gives.
    int vertexAt(const std::array<float, 3>& q, int plane)
    {
        int found = -1;
        graph.forNear(q.data(), r, [&](int v, float) {
            if (graph.vertices[std::size_t(v)].plane != plane)
                return true;
            found = v;
            return false;
        });
        if (found >= 0)
            return found;
        const std::size_t before = graph.vertices.size();
        found = graph.insert(q, plane);
        if (graph.vertices.size() > before) {
            joins.addVertex();
            part.push_back(found);
        }
        return found;
    }
};

} // namespace

double heightAlong(const CVertex<float, 3>& v, const CVertex<float, 3>& o,
                   const CVertex<float, 3>& a)
{
    double h = 0.0;
    for (int i = 0; i < 3; ++i)
        h += (double(v.data[i]) - double(o.data[i])) * double(a.data[i]);
    return h;
}

bool intersectMeshWithPlanes(Mesh::CBaseMesh* mesh, const CVertex<float, 3>& p,
                             const CVector<float, 3>& n, const CVector<float, 3>& m, int count,
                             Interval range, SegmentList& segments, const CVector<float, 3>* side,
                             const CVertex<float, 3>* start, const CVertex<float, 3>* end,
                             double maxDistance)
{
    segments.count = 0;
    if (mesh == nullptr || count < 1)
        return false;
    PlaneCuts cuts(mesh, p, n, m, count, range, side, start, end, maxDistance);
    SectionSegments plane;
    for (int i = 0; i < cuts.planes(); ++i) {
        cuts.planeSegments(i, plane);
        for (const SectionSegment& s : plane)
            segments.append(
                PolyPlaneIntersection(Point(s.first.data()), Point(s.last.data()), s.plane, 0));
    }
    return segments.count > 0;
}

bool followSectionPath(const SegmentList& segments, CurveList& curves, double tolerance)
{
    if (segments.count == 0)
        return true;
    CStatistic lengths;
    for (const PolyPlaneIntersection& s : segments)
        lengths.add(double(squaredDistance(s.first, s.last)));
    SectionTrace trace(tolerance, lengths.min);
    for (const PolyPlaneIntersection& s : segments) {
        SectionSegment segment;
        std::copy_n(s.first.data, 3, segment.first.data());
        std::copy_n(s.last.data, 3, segment.last.data());
        segment.plane = s.plane;
        trace.add(segment);
    }
    trace.trace(curves);
    return true;
}

namespace {

// Joins the pieces of one plane into one curve: chained from the first
// piece by their ends, then joined end to end on consecutive parameter
// ranges (each joint keeps the previous piece's end). The pieces keep their
// points on the mesh: no tangent repair moves them. Null when nothing could
// be joined.
Fenwo::NurbsSurf* joinPlanePieces(CurveList& pieces)
{
    Kor::Array<Fenwo::NurbsSurf*> array;
    array.setCapacity(pieces.count);
    for (Fenwo::NurbsSurf* piece : pieces)
        array.append(piece);
    Kor::List<int> indices, flags;
    findCurveChain(array, indices, flags, kPieceChainGap);
    if (indices.count == 0)
        return nullptr;
    IndexSubset<Fenwo::NurbsSurf*> chain(&array, indices.count);
    Kor::Array<int> keep;
    for (int k = 0; k < indices.count; ++k) {
        chain.append(indices[k]);
        keep.append(flags[k]);
    }
    return joinCurvesC1(chain, keep, kSectionTolerance, false, false);
}

} // namespace

namespace {

// The section of the planes' segments, all planes together, given up as
// meshPlaneSectionWithin says when maxPieces > 0. False (nothing appended)
// when given up.
bool sectionOfPlanes(PlaneCuts& cuts, CurveList& curves, int maxPieces)
{
    if (!cuts.hasSegments)
        return true;
    SectionTrace trace(kSectionTolerance, cuts.shortest2);
    SectionSegments plane;
    for (int i = 0; i < cuts.planes(); ++i) {
        cuts.planeSegments(i, plane);
        for (const SectionSegment& s : plane)
            trace.add(s);
        if (maxPieces > 0 && !plane.empty() && trace.partCount() > maxPieces)
            return false;
    }
    trace.trace(curves);
    return true;
}

} // namespace

bool meshPlaneSection(Mesh::CBaseMesh* mesh, const CVertex<float, 3>& p, const CVector<float, 3>& n,
                      const CVector<float, 3>& m, int count, Interval range, CurveList& curves,
                      const CVector<float, 3>* side, const CVertex<float, 3>* start,
                      const CVertex<float, 3>* end, double maxDistance, bool perPlane)
{
    PlaneCuts cuts(mesh, p, n, m, count, range, side, start, end, maxDistance);
    if (!perPlane) {
        sectionOfPlanes(cuts, curves, 0);
        return curves.count > 0;
    }
    SectionSegments plane;
    for (int i = 0; i < cuts.planes(); ++i) {
        cuts.planeSegments(i, plane);
        CurveList pieces;
        if (!plane.empty()) {
            CStatistic lengths;
            for (const SectionSegment& s : plane)
                lengths.add(double(squaredDistance3(s.first.data(), s.last.data())));
            SectionTrace trace(kSectionTolerance, lengths.min);
            for (const SectionSegment& s : plane)
                trace.add(s);
            trace.trace(pieces);
        }
        if (pieces.count == 1) {
            curves.append(pieces.data[0]);
            continue;
        }
        if (pieces.count > 1) {
            if (Fenwo::NurbsSurf* joined = joinPlanePieces(pieces))
                curves.append(joined);
            pieces.deleteAll();
        }
    }
    orientSectionCurves(curves);
    return curves.count > 0;
}

bool meshPlaneSectionWithin(Mesh::CBaseMesh* mesh, const CVertex<float, 3>& p,
                            const CVector<float, 3>& n, int count, Interval range,
                            CurveList& curves, int maxPieces)
{
    PlaneCuts cuts(mesh, p, n, n, count, range, nullptr, nullptr, nullptr, -1.0);
    return sectionOfPlanes(cuts, curves, maxPieces);
}

void orientSectionCurves(CurveList& curves)
{
    Kor::Array<Fenwo::NurbsSurf*> array;
    array.setCapacity(curves.count);
    for (Fenwo::NurbsSurf* c : curves)
        array.append(c);
    orientCurvesConsistently(array);
}

} // namespace MeshFunctions
