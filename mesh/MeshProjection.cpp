// Projection of points, lines and rays onto a mesh through its facet hash,
// and the mesh normal near a point.

#include "mesh/MeshProjection.h"

#include "foundation/Containers.h"
#include "mesh/FacetHash.h"
#include "mesh/MeshGeometry.h"
#include "mesh/VertexSampling.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <vector>
#include <limits>
#include <climits>

namespace Mesh {

namespace {

using Point = CBaseMesh::Point;
using Direction = CBaseMesh::Direction;
using HitInfo = CBaseMesh::CBaseHitInfo;

// Widening of the point search when the first radius finds nothing.
constexpr double kNearPointWidening = 35.0 / 12.0;
constexpr double kAlongDirectionWidening = 19.0 / 6.0;
// Radius factors of the normal query: narrow first, then wide.
constexpr double kNormalNarrowFactor = 0.6;
constexpr double kNormalWideFactor = 1.75;
// Radius factor of the facets whose normals smooth a fallback hit's normal.
constexpr double kFallbackNormalFactor = 0.98;
// Facets with more corners never take part in the nearest-edge fallback.
constexpr int kMaxFallbackCorners = 20;
// Corners closer than this (for facets of unit size and larger) are shared.
constexpr double kSharedCornerDistance = 1e-3;
// A line closer to parallel with the candidates' plane gets no synthetic hit.
constexpr double kMinSyntheticCosine = 1e-8;
// The facets a nearest-point search remembers as measured (a short list,
// searched from its start).
constexpr std::size_t kMeasuredFacetsKept = 64;
// The fewest keys sortRuns merges by runs.
constexpr std::size_t kMergedKeys = 128;
// The most entries a radius query's lists keep room for between queries.
constexpr std::size_t kKeptCandidates = std::size_t(1) << 16;

// Holds the mesh's lock for the lifetime of the guard.
class MeshLock {
public:
    explicit MeshLock(CBaseMesh* m) : mesh(m) { mesh->lock(); }
    ~MeshLock() { mesh->unlock(); }
    MeshLock(const MeshLock&) = delete;
    MeshLock& operator=(const MeshLock&) = delete;

private:
    CBaseMesh* mesh;
};

bool hasHashCells(const CBaseMesh* mesh)
{
    return mesh != nullptr && mesh->facetHash.cells.count > 0;
}

double dot3(const double* a, const double* b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

void toDouble(const CVertex<float, 3>& v, double out[3])
{
    for (int c = 0; c < 3; ++c)
        out[c] = v.data[c];
}

// Squared length of a direction, or -1 when it is not usable as a ray
// direction (zero, NaN or infinite).
double usableLength2(const CVertex<float, 3>& d)
{
    double v[3];
    toDouble(d, v);
    const double l2 = dot3(v, v);
    return l2 > 0.0 && std::isfinite(l2) ? l2 : -1.0;
}

bool isZero(const CVertex<float, 3>& v)
{
    return v.data[0] == 0.0f && v.data[1] == 0.0f && v.data[2] == 0.0f;
}

// A synthetic hit: no facet, flag 1.
HitInfo syntheticHit(const double point[3], const Direction& normal, double distance)
{
    HitInfo h;
    for (int c = 0; c < 3; ++c)
        h.data[c] = float(point[c]);
    h.facet = -1;
    h.distance = distance;
    h.normal = normal;
    h.flag = 1;
    return h;
}

// The nearest-edge fallback of meshHitSearch: adds at most one hit.
void addNearestEdgeHit(CBaseMesh* mesh, const Kor::List<int>& list, const Point& p, const Point& d,
                       HitSet& hits)
{
    // Frame across the line.
    Direction u = anyPerpendicular(d);
    Direction v;
    crossProductInto(d, u, v);
    normalize(u);
    normalize(v);

    Point corners[kMaxFallbackCorners];
    int winner = -1, winnerEdge = 0;
    double best = DBL_MAX;
    for (int f : list) {
        const int size = mesh->getFacetSize(f);
        if (size < 2 || size > kMaxFallbackCorners)
            continue;
        bool readable = true;
        for (int k = 0; k < size && readable; ++k)
            readable = mesh->getFacetCorner(f, k, corners[k]);
        if (!readable)
            continue;
        int e0 = -1, e1 = -1;
        const double d2 = nearestPolygonEdgeInPlane(corners, size, p, u, v, e0, e1);
        if (d2 < best) {
            best = d2;
            winner = f;
            winnerEdge = e0;
        }
    }
    if (winner < 0)
        return;

    HitInfo h;
    mesh->getFacetNormal(winner, h.normal);
    Point a, b;
    mesh->getFacetCorner(winner, winnerEdge, a);
    mesh->getFacetCorner(winner, winnerEdge + 1, b);
    // The edge point seen from the line: the foot of the line's point on the
    // edge, measured across the line. The line's meeting point with the
    // facet's plane differs from p by a multiple of d and so has the same
    // foot; p is used because that meeting point runs off towards infinity
    // when the line is nearly parallel to the facet.
    double t = 0.0;
    pointSegmentDistance2InPlane(a, b, p, d, t);
    t = clampValue(0.0, 1.0, t);
    double q[3], pd[3], dd[3];
    toDouble(p, pd);
    toDouble(d, dd);
    const double length = std::sqrt(dot3(dd, dd));
    for (int c = 0; c < 3; ++c) {
        q[c] = (1.0 - t) * a.data[c] + t * b.data[c] - pd[c];
        dd[c] /= length;
    }
    // The hit is the point of the line nearest to the edge point.
    const double s = dot3(q, dd);
    for (int c = 0; c < 3; ++c)
        h.data[c] = float(pd[c] + s * dd[c]);
    h.facet = winner;
    h.distance = DBL_MAX; // marks a hit that lies beside the mesh
    h.flag = 1;

    Kor::List<int> around;
    if (facetsNearPoint(mesh, h, around, kFallbackNormalFactor))
        h.normal = smoothedFacetNormal(mesh, around, winner, true);
    mesh->addHit(hits, h);
}

// A candidate facet of a point query: one of its hash points (that of its
// first entry met), the reach from there to the facet's corners (infinite
// where it is not known) and, where the flat mirror keeps it, the facet's
// triangle.
struct Candidate {
    int facet;
    float xyz[3];
    float radius;
    const float* corners;
};

// The working lists of a radius query, kept between queries (they come by
// the thousand): the entries met, their keys, and the room a sort of the
// keys by runs needs.
struct QueryRoom {
    std::vector<Candidate> met;
    std::vector<std::uint64_t> keys, scratch;
    std::vector<std::size_t> starts, merged;
    // A query that met a large part of the mesh gives its room back.
    void giveBackWhenLarge()
    {
        if (met.capacity() <= kKeptCandidates && starts.capacity() <= kKeptCandidates)
            return;
        release(met);
        release(keys);
        release(scratch);
        release(starts);
        release(merged);
    }
};

// Sorts the room's unique keys ascending by merging the ascending runs they
// come in: the entries a radius query meets come cell by cell, each cell's
// in facet order, so that a few runs make up hundreds of keys. Keys are
// unique, so the order is the one any sort gives.
void sortRuns(QueryRoom& room)
{
    std::vector<std::uint64_t>& keys = room.keys;
    const std::size_t n = keys.size();
    // A short list sorts faster whole.
    if (n < kMergedKeys) {
        std::sort(keys.begin(), keys.end());
        return;
    }
    std::vector<std::size_t>& starts = room.starts;
    starts.clear();
    for (std::size_t k = 0; k < n; ++k)
        if (k == 0 || keys[k] < keys[k - 1])
            starts.push_back(k);
    if (starts.size() <= 1)
        return;
    room.scratch.resize(n);
    std::uint64_t* from = keys.data();
    std::uint64_t* to = room.scratch.data();
    while (starts.size() > 1) {
        room.merged.clear();
        for (std::size_t r = 0; r < starts.size(); r += 2) {
            const std::size_t a = starts[r];
            const std::size_t b = r + 1 < starts.size() ? starts[r + 1] : n;
            const std::size_t c = r + 2 < starts.size() ? starts[r + 2] : n;
            std::merge(from + a, from + b, from + b, from + c, to + a);
            room.merged.push_back(a);
        }
        starts.swap(room.merged);
        std::swap(from, to);
    }
    if (from != keys.data())
        std::copy(from, from + n, keys.data());
}

// A cell of fewer items than this is read at once: the test of a group's
// box costs about what an item's does, and such a cell's groups hold a few
// items each.
constexpr int kGroupsTestedFrom = 64;

// The squared distance of p from the box, in float: each axis's gap is no
// larger than that of any point inside, rounded alike, so that a box at
// r2 or beyond holds no point within r2 by the items' own test below.
float boxDistance2(const float p[3], const float min[3], const float max[3])
{
    float box2 = 0.0f;
    for (int a = 0; a < 3; ++a) {
        const float x = p[a];
        const float d = x < min[a] ? min[a] - x : x > max[a] ? x - max[a] : 0.0f;
        box2 += d * d;
    }
    return box2;
}

// Appends the items first .. first + count - 1 of the flat hash that lie
// within r2 (squared) of p to met, in their order.
void collectWithin(const CFacetHashIndex& flat, int first, int count, const float p[3],
                   float r2, std::vector<Candidate>& met)
{
    const CFacetHashIndex::Item* item = flat.items.data() + first;
    for (int n = 0; n < count; ++n, ++item) {
        float d2 = 0.0f;
        for (int a = 0; a < 3; ++a) {
            const float d = item->xyz[a] - p[a];
            d2 += d * d;
        }
        if (d2 < r2)
            met.push_back(Candidate{item->facet, {item->xyz[0], item->xyz[1], item->xyz[2]},
                                    item->radius, flat.cornersOf(*item)});
    }
}

// facetsNearPoint, and with `found` for each listed facet its candidate
// record (in the order of the list). The radius query runs over the flat
// mirror of the facet hash where there is one (the same cells, boxes and
// items, tested by the same arithmetic), else through the hash.
bool candidatesNearPoint(CBaseMesh* mesh, const CVertex<float, 3>& p, Kor::List<int>& list,
                         double factor, std::vector<Candidate>* found)
{
    list.count = 0;
    if (found != nullptr)
        found->clear();
    if (!hasHashCells(mesh))
        return false;
    const float radius = float(factor * mesh->facetHash.cellSize);
    // The hash reads a radius that is not positive as "one cell size"; a
    // factor that is not positive finds nothing instead.
    if (!(radius > 0.0f))
        return false;
    // The entries within the radius in the order the search meets them.
    thread_local QueryRoom room;
    std::vector<Candidate>& met = room.met;
    met.clear();
    const CFacetHashIndex* flat = mesh->flatFacetHash();
    const double m = std::ceil(double(radius) * 0.95 / mesh->facetHash.cellSize);
    const double side = 2.0 * m + 1.0;
    if (flat == nullptr || !(side * side * side <= 4.0 * double(flat->cells.size()) + 1024.0)) {
        mesh->facetHash.findNearest(p, radius, true);
        for (const CFacetCentroid* item : mesh->facetHash.results)
            met.push_back(Candidate{item->facet, {item->data[0], item->data[1], item->data[2]},
                                    item->radius, nullptr});
    } else {
        const float r2 = radius * radius;
        int key[3];
        mesh->facetHash.cellKey(p, key[0], key[1], key[2]);
        const int reach = int(m);
        for (long long di = -reach; di <= reach; ++di)
            for (long long dj = -reach; dj <= reach; ++dj)
                for (long long dk = -reach; dk <= reach; ++dk) {
                    const long long i = key[0] + di, j = key[1] + dj, k = key[2] + dk;
                    if (i < INT_MIN || i > INT_MAX || j < INT_MIN || j > INT_MAX || k < INT_MIN ||
                        k > INT_MAX)
                        continue;
                    const int c = flat->cellAt(int(i), int(j), int(k));
                    if (c < 0)
                        continue;
                    const CFacetHashIndex::Cell& cell = flat->cells[std::size_t(c)];
                    if (!(boxDistance2(p.data, cell.min, cell.max) < r2))
                        continue;
                    if (cell.groups == 0 || cell.count < kGroupsTestedFrom) {
                        collectWithin(*flat, cell.first, cell.count, p.data, r2, met);
                        continue;
                    }
                    // A crowded cell by its groups (its items in the same
                    // order): a group whose box lies beyond the radius holds
                    // no item within it.
                    for (int g = cell.group; g < cell.group + cell.groups; ++g) {
                        const CFacetHashIndex::Group& group = flat->groups[std::size_t(g)];
                        if (boxDistance2(p.data, group.min, group.max) < r2)
                            collectWithin(*flat, group.first, group.count, p.data, r2, met);
                    }
                }
    }
    // Facets ascending, each once, with the record of its first entry: the
    // entries ordered by facet, then by the order met.
    std::vector<std::uint64_t>& order = room.keys;
    order.resize(met.size());
    for (std::size_t n = 0; n < met.size(); ++n)
        order[n] = std::uint64_t(std::uint32_t(met[n].facet) ^ 0x80000000u) << 32 | n;
    sortRuns(room);
    for (std::size_t n = 0; n < order.size(); ++n) {
        const Candidate& c = met[std::size_t(order[n] & 0xffffffffu)];
        if (list.count > 0 && list.data[list.count - 1] == c.facet)
            continue;
        list.append(c.facet);
        if (found != nullptr)
            found->push_back(c);
    }
    room.giveBackWhenLarge();
    return list.count > 0;
}

// The facets' mean normal of meanFacetNormal; a facet whose triangle the
// candidate record holds is weighed from there, and one that `known` lists
// (ascending, as the list is) takes the area and normal it was weighed with
// there, which are a function of the facet alone. With `weighed`, each
// facet's area and normal are handed back in the list's order.
CVector<float, 3> meanCandidateNormal(CBaseMesh* mesh, const Kor::List<int>& list,
                                      const std::vector<Candidate>* found,
                                      const NearNormalReuse* known = nullptr,
                                      std::vector<NearNormalReuse::Weight>* weighed = nullptr)
{
    double sum[3] = {0.0, 0.0, 0.0};
    bool started = false;
    Direction n;
    if (known != nullptr && known->weights.size() != std::size_t(known->facets.count))
        known = nullptr;
    if (weighed != nullptr)
        weighed->clear();
    int at = 0; // the first of the known facets not below the list's facet
    for (int k = 0; k < list.count; ++k) {
        const int facet = list.data[k];
        if (known != nullptr)
            while (at < known->facets.count && known->facets.data[at] < facet)
                ++at;
        double area;
        if (known != nullptr && at < known->facets.count && known->facets.data[at] == facet) {
            const NearNormalReuse::Weight& w = known->weights[std::size_t(at)];
            area = w.area;
            std::copy_n(w.normal, 3, n.data);
        } else {
            const float* corners = found != nullptr ? (*found)[std::size_t(k)].corners : nullptr;
            area = corners != nullptr ? cornerAreaAndNormal(corners, 3, n)
                                      : mesh->getFacetAreaAndNormal(facet, n);
        }
        if (weighed != nullptr)
            weighed->push_back({area, {n.data[0], n.data[1], n.data[2]}});
        if (!std::isfinite(area))
            continue;
        double w[3];
        for (int c = 0; c < 3; ++c)
            w[c] = area * n.data[c];
        const double sign = !started || dot3(w, sum) >= 0.0 ? 1.0 : -1.0;
        started = true;
        for (int c = 0; c < 3; ++c)
            sum[c] += sign * w[c];
    }
    // The sum is of the order of the candidates' area, far below any fixed
    // length floor on a small model: divide by its own length whenever it has
    // one, so the result is a unit vector at every scale.
    const double length = std::sqrt(dot3(sum, sum));
    Direction result;
    if (!(length > 0.0) || !std::isfinite(length))
        return result;
    for (int c = 0; c < 3; ++c)
        result.data[c] = float(sum[c] / length);
    return result;
}

// meshHitSearch; with `found` (from candidatesNearPoint) a listed facet that
// the ray passes beyond the reach of its hash point is left out unread (its
// hit test would reject it), and one whose triangle the record holds takes
// the side test from there.
bool hitSearch(CBaseMesh* mesh, const Kor::List<int>& list, const std::vector<Candidate>* found,
               const CVertex<float, 3>& p, const CVertex<float, 3>& d, HitSet& hits,
               bool fallback, double tolerance)
{
    if (mesh == nullptr || usableLength2(d) < 0.0)
        return hits.count > 0;
    mesh->setRay(p, Direction(d));
    HitInfo record;
    for (int n = 0; n < list.count; ++n) {
        const Candidate* c = found != nullptr ? &(*found)[std::size_t(n)] : nullptr;
        if (c != nullptr && mesh->rayPassesFacetNear(c->xyz, c->radius, tolerance))
            continue;
        bool hit;
        if (c != nullptr && c->corners != nullptr)
            hit = mesh->rayMayHitCorners(c->corners, 3, tolerance) &&
                  mesh->rayFacetHit(list.data[n], record, true, tolerance, true);
        else
            hit = mesh->rayFacetHit(list.data[n], record, true, tolerance);
        if (hit)
            mesh->addHit(hits, record);
    }
    if (fallback && hits.count == 0)
        addNearestEdgeHit(mesh, list, p, d, hits);
    if (hits.count > 1)
        sortHits(hits.items, hits.count);
    return hits.count > 0;
}

// The point of triangle abc nearest p (the regions of its corners, edges and
// inside told apart by the signs of the barycentric parts).
void nearestOnTriangle(const double p[3], const double a[3], const double b[3], const double c[3],
                       double out[3])
{
    double ab[3], ac[3], ap[3], bp[3], cp[3];
    for (int k = 0; k < 3; ++k) {
        ab[k] = b[k] - a[k];
        ac[k] = c[k] - a[k];
        ap[k] = p[k] - a[k];
        bp[k] = p[k] - b[k];
        cp[k] = p[k] - c[k];
    }
    const auto set = [out](const double* from, const double* along, double t) {
        for (int k = 0; k < 3; ++k)
            out[k] = from[k] + (along != nullptr ? t * along[k] : 0.0);
    };
    const double d1 = dot3(ab, ap), d2 = dot3(ac, ap);
    if (d1 <= 0.0 && d2 <= 0.0)
        return set(a, nullptr, 0.0);
    const double d3 = dot3(ab, bp), d4 = dot3(ac, bp);
    if (d3 >= 0.0 && d4 <= d3)
        return set(b, nullptr, 0.0);
    const double vc = d1 * d4 - d3 * d2;
    if (vc <= 0.0 && d1 >= 0.0 && d3 <= 0.0)
        return set(a, ab, d1 / (d1 - d3));
    const double d5 = dot3(ab, cp), d6 = dot3(ac, cp);
    if (d6 >= 0.0 && d5 <= d6)
        return set(c, nullptr, 0.0);
    const double vb = d5 * d2 - d1 * d6;
    if (vb <= 0.0 && d2 >= 0.0 && d6 <= 0.0)
        return set(a, ac, d2 / (d2 - d6));
    const double va = d3 * d6 - d5 * d4;
    if (va <= 0.0 && d4 - d3 >= 0.0 && d5 - d6 >= 0.0) {
        double bc[3];
        for (int k = 0; k < 3; ++k)
            bc[k] = c[k] - b[k];
        return set(b, bc, (d4 - d3) / ((d4 - d3) + (d5 - d6)));
    }
    const double sum = va + vb + vc;
    // A triangle without area whose corners the tests above did not settle
    // (all corners on one line, p beside its middle): its nearest corner.
    if (!(sum != 0.0) || !std::isfinite(sum)) {
        const double* corner[3] = {a, b, c};
        const double* nearest = a;
        double least = HUGE_VAL;
        for (const double* q : corner) {
            double d[3] = {p[0] - q[0], p[1] - q[1], p[2] - q[2]};
            if (const double e = dot3(d, d); e < least) {
                least = e;
                nearest = q;
            }
        }
        return set(nearest, nullptr, 0.0);
    }
    for (int k = 0; k < 3; ++k)
        out[k] = a[k] + ab[k] * (vb / sum) + ac[k] * (vc / sum);
}

// The facet's point nearest p, when nearer than `best` (which it then
// lowers): its triangle from the corners given, else the facet fanned into
// triangles as the mesh reads it.
void measureFacet(CBaseMesh* mesh, int facet, const float* corners, const double p[3],
                  double& best, MeshFoot& foot)
{
    double q[3];
    const auto triangle = [&](const double a[3], const double b[3], const double c[3]) {
        nearestOnTriangle(p, a, b, c, q);
        double d[3] = {q[0] - p[0], q[1] - p[1], q[2] - p[2]};
        const double distance = std::sqrt(dot3(d, d));
        if (distance < best) {
            best = distance;
            foot.distance = distance;
            foot.facet = facet;
            std::copy_n(q, 3, foot.point);
        }
    };
    double a[3], b[3], c[3];
    if (corners != nullptr) {
        for (int k = 0; k < 3; ++k) {
            a[k] = corners[k];
            b[k] = corners[3 + k];
            c[k] = corners[6 + k];
        }
        triangle(a, b, c);
        return;
    }
    CPolyTriangulator fan(mesh, facet);
    CVertex<float, 3> ca, cb, cc;
    while (fan.next(ca, cb, cc)) {
        toDouble(ca, a);
        toDouble(cb, b);
        toDouble(cc, c);
        triangle(a, b, c);
    }
}

} // namespace

bool facetsNearPoint(CBaseMesh* mesh, const CVertex<float, 3>& p, Kor::List<int>& list,
                     double factor)
{
    return candidatesNearPoint(mesh, p, list, factor, nullptr);
}

bool facetsNearLine(CBaseMesh* mesh, const CVertex<float, 3>& p, const CVertex<float, 3>& d,
                    Kor::List<int>& list, double factor)
{
    list.count = 0;
    if (!hasHashCells(mesh))
        return false;
    // The line distance takes a unit direction.
    Direction unit(d);
    normalize(unit);
    const float radius = float(factor * mesh->facetHash.cellSize);
    const float radius2 = radius * radius;
    Point centre;
    auto take = [&](const C3DCell<CFacetCentroid, float>* cell) {
        for (int c = 0; c < 3; ++c)
            centre.data[c] = 0.5f * (cell->box.min.data[c] + cell->box.max.data[c]);
        if (!(pointLineDistance2(centre, p, unit) <= radius2))
            return;
        for (const CFacetCentroid* item : cell->items)
            list.append(item->facet);
    };
    // Only the cells along the line are tested, unless the line cannot be
    // walked (then all of them).
    if (!mesh->facetHash.forCellsNearLine(p, unit, radius, take))
        for (const auto* cell : mesh->facetHash.cells)
            take(cell);
    list.count = sortUnique(list.data, list.count);
    return list.count > 0;
}

CVector<float, 3> meanFacetNormal(CBaseMesh* mesh, const Kor::List<int>& list)
{
    return meanCandidateNormal(mesh, list, nullptr);
}

CVertex<float, 3> facetVertexCentroid(CBaseMesh* mesh, const Kor::List<int>& list)
{
    Kor::List<int> vertices;
    collectFacetVertices(mesh, list, vertices);
    double sum[3] = {0.0, 0.0, 0.0};
    int count = 0;
    Point q;
    auto add = [&]() {
        for (int c = 0; c < 3; ++c)
            sum[c] += q.data[c];
        ++count;
    };
    for (int v : vertices)
        if (mesh->getVertex(v, q))
            add();
    // A mesh that does not index its corners gives them as points.
    for (int f : list) {
        const int size = mesh->getFacetSize(f);
        for (int k = 0; k < size; ++k)
            if (mesh->getPolygonVertexIndex(f, k) < 0 && mesh->getFacetCorner(f, k, q))
                add();
    }
    Point result;
    const int divisor = std::max(count, 1);
    for (int c = 0; c < 3; ++c)
        result.data[c] = float(sum[c] / divisor);
    return result;
}

CVector<float, 3> smoothedFacetNormal(CBaseMesh* mesh, const Kor::List<int>& list, int facet,
                                      bool smooth)
{
    Direction n;
    mesh->getFacetNormal(facet, n);
    if (!smooth)
        return n;
    const int size = mesh->getFacetSize(facet);
    if (size <= 0)
        return n;
    Kor::List<Point> own;
    Point q, next;
    double longest = 0.0;
    for (int k = 0; k < size; ++k) {
        if (!mesh->getFacetCorner(facet, k, q) || !mesh->getFacetCorner(facet, k + 1, next))
            continue;
        own.append(q);
        longest = std::max(longest, double(pointDistance(q, next)));
    }
    // The sharing distance shrinks with small facets so that a small model
    // does not take every nearby facet for a neighbour.
    const double tolerance = kSharedCornerDistance * std::min(1.0, longest);
    const double tolerance2 = tolerance * tolerance;
    Kor::List<int> sharing;
    for (int g : list) {
        const int gSize = mesh->getFacetSize(g);
        bool shares = false;
        for (int k = 0; k < gSize && !shares; ++k) {
            if (!mesh->getFacetCorner(g, k, q))
                continue;
            for (const Point& c : own)
                if (double(squaredPointDistance(q, c)) <= tolerance2) {
                    shares = true;
                    break;
                }
        }
        if (shares)
            sharing.append(g);
    }
    sharing.count = sortUnique(sharing.data, sharing.count);
    if (sharing.count == 0)
        return n;
    const Direction mean = meanFacetNormal(mesh, sharing);
    return isZero(mean) ? n : mean;
}

bool meshHitSearch(CBaseMesh* mesh, const Kor::List<int>& list, const CVertex<float, 3>& p,
                   const CVertex<float, 3>& d, HitSet& hits, bool fallback, double tolerance)
{
    return hitSearch(mesh, list, nullptr, p, d, hits, fallback, tolerance);
}

CBaseMesh::CBaseHitInfo* appendHit(HitSet& hits, const CBaseMesh::CBaseHitInfo& hit)
{
    return hits.insertAt(new HitInfo(hit), hits.count - 1);
}

bool meshNormalNearPoint(CBaseMesh* mesh, const CVertex<float, 3>& p, CVector<float, 3>& out,
                         NearNormalReuse* reuse)
{
    if (!hasHashCells(mesh))
        return false;
    MeshLock guard(mesh);
    Kor::List<int> list;
    std::vector<Candidate> found;
    if (!candidatesNearPoint(mesh, p, list, kNormalNarrowFactor, &found) &&
        !candidatesNearPoint(mesh, p, list, kNormalWideFactor, &found))
        return false;
    // The mean normal is a function of the facets alone.
    const bool same = reuse != nullptr && reuse->facets.count == list.count &&
                      std::equal(list.data, list.data + list.count, reuse->facets.data);
    Direction n;
    if (same) {
        n = reuse->normal;
    } else if (reuse == nullptr) {
        n = meanCandidateNormal(mesh, list, &found);
    } else {
        thread_local std::vector<NearNormalReuse::Weight> weighed;
        n = meanCandidateNormal(mesh, list, &found, reuse, &weighed);
        reuse->facets = list;
        reuse->weights.swap(weighed);
        reuse->normal = n;
    }
    if (isZero(n))
        return false; // no facet of finite, non-zero area
    out = n;
    return true;
}

bool meshHitsNearPoint(CBaseMesh* mesh, const CVertex<float, 3>& p, HitSet& hits, double factor,
                       bool synthesise)
{
    hits.removeAll(false, true);
    if (!hasHashCells(mesh))
        return false;
    MeshLock guard(mesh);
    Kor::List<int> list;
    std::vector<Candidate> candidates;
    bool widened = false;
    bool found = candidatesNearPoint(mesh, p, list, factor, &candidates);
    if (!found) {
        widened = true;
        found = candidatesNearPoint(mesh, p, list, factor * kNearPointWidening, &candidates);
    }
    // The ray runs through p along the local mean normal.
    const Direction d = meanCandidateNormal(mesh, list, &candidates);
    if (found) {
        hitSearch(mesh, list, &candidates, p, d, hits, false, 0.0);
        if (hits.count == 0 && !widened &&
            candidatesNearPoint(mesh, p, list, factor * kNearPointWidening, &candidates))
            hitSearch(mesh, list, &candidates, p, d, hits, false, 0.0);
    }
    if (synthesise && hits.count == 0 && list.count >= 3) {
        const double dd = usableLength2(d);
        if (dd > 0.0) {
            // p moved along d onto the plane through the candidates' centroid.
            const Point centroid = facetVertexCentroid(mesh, list);
            double c[3], pd[3], nd[3];
            toDouble(centroid, c);
            toDouble(p, pd);
            toDouble(d, nd);
            double cp[3] = {c[0] - pd[0], c[1] - pd[1], c[2] - pd[2]};
            const double s = dot3(cp, nd) / dd;
            double point[3];
            for (int k = 0; k < 3; ++k)
                point[k] = pd[k] + s * nd[k];
            appendHit(hits, syntheticHit(point, d, std::fabs(s) * std::sqrt(dd)));
        }
    }
    return hits.count > 0;
}

bool meshHitsOnLine(CBaseMesh* mesh, const CVertex<float, 3>& p, const CVertex<float, 3>& d,
                    HitSet& hits, double factor)
{
    hits.removeAll(false, true);
    if (!hasHashCells(mesh))
        return false;
    Kor::List<int> list;
    if (facetsNearLine(mesh, p, d, list, factor))
        meshHitSearch(mesh, list, p, d, hits, true, 0.0);
    return hits.count > 0;
}

bool meshHitsAlongDirection(CBaseMesh* mesh, const CVertex<float, 3>& p, const CVertex<float, 3>& d,
                            HitSet& hits, double factor, bool synthesise)
{
    hits.removeAll(false, true);
    if (!hasHashCells(mesh))
        return false;
    MeshLock guard(mesh);
    Kor::List<int> list;
    std::vector<Candidate> candidates;
    bool wideTried = false;
    if (!candidatesNearPoint(mesh, p, list, factor, &candidates)) {
        wideTried = true;
        candidatesNearPoint(mesh, p, list, factor * kAlongDirectionWidening, &candidates);
    }
    hitSearch(mesh, list, &candidates, p, d, hits, false, 0.0);
    // The wide query is repeated only when it has not run yet: it would find
    // the same facets again.
    if (hits.count == 0 && !wideTried &&
        candidatesNearPoint(mesh, p, list, factor * kAlongDirectionWidening, &candidates))
        hitSearch(mesh, list, &candidates, p, d, hits, false, 0.0);
    if (hits.count > 0 || !synthesise || list.count == 0)
        return hits.count > 0;

    const double dd = usableLength2(d);
    if (dd < 0.0)
        return false;
    const Direction n = meanCandidateNormal(mesh, list, &candidates);
    double nd[3], dv[3], pd[3], c[3];
    toDouble(n, nd);
    toDouble(d, dv);
    toDouble(p, pd);
    toDouble(facetVertexCentroid(mesh, list), c);
    const double cosine = dot3(nd, dv) / std::sqrt(dd);
    // The test is made on the unit direction, so that the length of d does
    // not decide whether the line counts as parallel.
    if (!(std::fabs(cosine) > kMinSyntheticCosine))
        return false;
    const double cp[3] = {c[0] - pd[0], c[1] - pd[1], c[2] - pd[2]};
    const double s = dot3(cp, nd) / dot3(nd, dv);
    double point[3];
    for (int k = 0; k < 3; ++k)
        point[k] = pd[k] + s * dv[k];
    appendHit(hits, syntheticHit(point, n, std::fabs(s) * std::sqrt(dd)));
    return true;
}

} // namespace Mesh

float pointSegmentDistance2InPlane(const CVertex<float, 3>& a, const CVertex<float, 3>& b,
                                   const CVertex<float, 3>& p, const CVertex<float, 3>& normal,
                                   double& t)
{
    double n[3], ab[3], ap[3];
    for (int c = 0; c < 3; ++c) {
        n[c] = normal.data[c];
        ab[c] = double(b.data[c]) - a.data[c];
        ap[c] = double(p.data[c]) - a.data[c];
    }
    const double nn = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
    if (nn > 0.0 && std::isfinite(nn)) {
        // Remove the components along the normal.
        const double sab = (ab[0] * n[0] + ab[1] * n[1] + ab[2] * n[2]) / nn;
        const double sap = (ap[0] * n[0] + ap[1] * n[1] + ap[2] * n[2]) / nn;
        for (int c = 0; c < 3; ++c) {
            ab[c] -= sab * n[c];
            ap[c] -= sap * n[c];
        }
    }
    const double length2 = ab[0] * ab[0] + ab[1] * ab[1] + ab[2] * ab[2];
    t = length2 > 0.0 ? (ap[0] * ab[0] + ap[1] * ab[1] + ap[2] * ab[2]) / length2 : 0.0;
    const double tc = std::clamp(t, 0.0, 1.0);
    double d2 = 0.0;
    for (int c = 0; c < 3; ++c) {
        const double r = ap[c] - tc * ab[c];
        d2 += r * r;
    }
    return float(d2);
}

namespace Mesh {

bool nearestMeshPoint(CBaseMesh* mesh, const double p[3], double within, MeshFoot& foot)
{
    foot = MeshFoot();
    if (!hasHashCells(mesh) || !(within > 0.0))
        return false;
    MeshLock guard(mesh);
    double best = within;
    // The facets measured so far (a large facet has an item in every cell it
    // crosses, each of which the search meets): each is measured once. On
    // the stack: a query makes nothing on the heap.
    std::array<int, kMeasuredFacetsKept> measured;
    std::size_t kept = 0;
    const auto measure = [&](int facet, const float* corners) {
        if (std::find(measured.begin(), measured.begin() + kept, facet) != measured.begin() + kept)
            return;
        if (kept < kMeasuredFacetsKept)
            measured[kept++] = facet;
        measureFacet(mesh, facet, corners, p, best, foot);
    };
    const auto lowerBound = [p](const float* xyz) {
        double d2 = 0.0;
        for (int a = 0; a < 3; ++a) {
            const double d = double(xyz[a]) - p[a];
            d2 += d * d;
        }
        return std::sqrt(d2);
    };
    const CFacetHashIndex* flat = mesh->flatFacetHash();
    if (flat == nullptr) {
        // Cells whose facets are lists of their own: every item of the hash.
        for (const auto* cell : mesh->facetHash.cells)
            for (const CFacetCentroid* item : cell->items)
                if (lowerBound(item->data) - double(item->radius) < best)
                    measure(item->facet, nullptr);
        return foot.facet >= 0;
    }
    const double cellSize = mesh->facetHash.cellSize;
    const double coverage = flat->coverage;
    int key[3];
    const Point at{float(p[0]), float(p[1]), float(p[2])};
    mesh->facetHash.cellKey(at, key[0], key[1], key[2]);
    const int* low = flat->lowestKey();
    const int* high = flat->highestKey();
    // How near a facet with an item in the box, reaching `reach` beyond it,
    // may come to p: no farther than lowerBound less the radius of any such
    // item, as each axis's gap is no larger than that item's, rounded alike.
    const auto boxBound = [p](const float* min, const float* max, float reach) {
        double box2 = 0.0;
        for (int a = 0; a < 3; ++a) {
            const double d = p[a] < min[a] ? min[a] - p[a] : p[a] > max[a] ? p[a] - max[a] : 0.0;
            box2 += d * d;
        }
        return std::sqrt(box2) - double(reach);
    };
    const auto measureItems = [&](int first, int count) {
        const CFacetHashIndex::Item* item = flat->items.data() + first;
        for (int n = 0; n < count; ++n, ++item)
            if (lowerBound(item->xyz) - double(item->radius) < best)
                measure(item->facet, flat->cornersOf(*item));
    };
    const auto visitCell = [&](int c) {
        const CFacetHashIndex::Cell& cell = flat->cells[std::size_t(c)];
        if (!(boxBound(cell.min, cell.max, cell.reach) < best))
            return;
        if (cell.groups == 0 || cell.count < kGroupsTestedFrom) {
            measureItems(cell.first, cell.count);
            return;
        }
        // A crowded cell by its groups (its items in the same order): a group
        // no nearer than the best so far holds no item that passes the test,
        // and the best only shrinks.
        for (int g = cell.group; g < cell.group + cell.groups; ++g) {
            const CFacetHashIndex::Group& group = flat->groups[std::size_t(g)];
            if (boxBound(group.min, group.max, group.reach) < best)
                measureItems(group.first, group.count);
        }
    };
    const auto visit = [&](long long i, long long j, long long k) {
        if (const int c = flat->cellAt(int(i), int(j), int(k)); c >= 0)
            visitCell(c);
    };
    // Shell r holds the cells r keys from p's cell along some axis; every
    // item beyond it lies more than r cell sizes from p. The shells nearer
    // than the key box hold no cell: the walk starts at the first that
    // reaches it. A point farther off than the box is across (a surface
    // strayed far from the mesh) would walk as many shells as it lies cells
    // away, each across the whole box: every cell is looked at once instead.
    long long first = 0, across = 0;
    for (int a = 0; a < 3; ++a) {
        first = std::max({first, (long long)low[a] - key[a], (long long)key[a] - high[a]});
        across = std::max(across, (long long)high[a] - low[a] + 1);
    }
    if (first > across) {
        for (std::size_t c = 0; c < flat->cells.size(); ++c)
            visitCell(int(c));
        return foot.facet >= 0;
    }
    for (long long r = first;; ++r) {
        long long from[3], to[3];
        bool beyond = true; // the shell lies wholly outside the key box
        for (int a = 0; a < 3; ++a) {
            from[a] = std::max<long long>(key[a] - r, low[a]);
            to[a] = std::min<long long>(key[a] + r, high[a]);
            beyond = beyond && key[a] - r <= low[a] && key[a] + r >= high[a];
        }
        for (long long i = from[0]; i <= to[0]; ++i)
            for (long long j = from[1]; j <= to[1]; ++j) {
                const bool rim = i == key[0] - r || i == key[0] + r || j == key[1] - r ||
                                 j == key[1] + r;
                if (rim) {
                    // A whole row of the shell's rim: its cells found from
                    // the index's key bits, the empty keys skipped by word.
                    if (from[2] <= to[2]) {
                        int row[3] = {int(i), int(j), int(from[2])};
                        flat->forCellsInRow(row, 2, int(from[2]), int(to[2]), visitCell);
                    }
                } else {
                    if (key[2] - r >= low[2])
                        visit(i, j, key[2] - r);
                    if (r > 0 && key[2] + r <= high[2])
                        visit(i, j, key[2] + r);
                }
            }
        if (beyond || double(r) * cellSize >= best + coverage)
            break;
    }
    return foot.facet >= 0;
}

} // namespace Mesh
