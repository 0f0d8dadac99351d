// Plane sections of a mesh: segments per facet and plane, merged end points,
// traced paths, degree-1 curves.

#include "mesh/PlaneSection.h"

#include "curves/CurveJoins.h"
#include "curves/CurveLoops.h"
#include "curves/CurveOperations.h"
#include "foundation/IndexSubset.h"
#include "foundation/KorArray.h"
#include "foundation/Statistic.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "mesh/MeshGeometry.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace MeshFunctions {

namespace {

using Point = CVertex<float, 3>;
using EdgeHash = Mesh::C3DHash<CEdgeVertex_, float>;

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

bool keepSegment(const Point& a, const Point& b, const CVertex<float, 3>& p,
                 const CVector<float, 3>* side, const Point* start, const Point* end,
                 double maxDistance)
{
    if (side == nullptr) {
        if (maxDistance > 0.0) {
            const double m2 = maxDistance * maxDistance;
            if (double(squaredDistance(a, p)) > m2 && double(squaredDistance(b, p)) > m2)
                return false;
        }
        return true;
    }
    if (start != nullptr && dot3(a - *start, *side) < 0.0 && dot3(b - *start, *side) < 0.0)
        return false;
    if (end != nullptr && dot3(a - *end, *side) > 0.0 && dot3(b - *end, *side) > 0.0)
        return false;
    return true;
}

void unlink(CEdgeVertex_* v, CEdgeVertex_* w)
{
    auto removeAll = [](CEdgeVertex_* from, CEdgeVertex_* what) {
        int kept = 0;
        for (int i = 0; i < from->neighbours.count; ++i)
            if (from->neighbours.data[i] != what)
                from->neighbours.data[kept++] = from->neighbours.data[i];
        from->neighbours.count = kept;
    };
    removeAll(v, w);
    removeAll(w, v);
}

// Joins two vertices once; a segment whose ends merged into one vertex
// joins nothing.
void join(CEdgeVertex_* a, CEdgeVertex_* b)
{
    if (a == b || a->neighbours.contains(b))
        return;
    a->neighbours.append(b);
    b->neighbours.append(a);
}

Fenwo::NurbsSurf* pathCurve(const std::vector<CEdgeVertex_*>& path, bool closed)
{
    const int count = int(path.size());
    const knots u(count - 1, 1, 0.0, 1.0, closed ? knots::CyclicEnd : knots::ClampedEnd,
                  knots::Uniform);
    auto* curve = new Fenwo::NurbsSurf(u, nullptr);
    for (int k = 0; k < count; ++k)
        curve->setControlPoint(k, 0, Vector(path[k]->data[0], path[k]->data[1], path[k]->data[2]),
                               1.0);
    return curve;
}

// The vertices of the hash in cell order, items in cell order.
std::vector<CEdgeVertex_*> vertexOrder(EdgeHash& hash)
{
    std::vector<CEdgeVertex_*> order;
    for (int c = 0; c < hash.cells.count; ++c) {
        auto* cell = hash.cells.items[c];
        for (int n = 0; n < cell->items.count; ++n)
            order.push_back(cell->items.items[n]);
    }
    return order;
}

// The walks over the traced graph. Degrees only fall, so a cursor over the
// vertex order never has to look back for the "first vertex with
// neighbours"; vertices that fall to degree 1 are queued as preferred path
// starts (a path from a free end is never cut in two).
class PathTracer {
public:
    PathTracer(EdgeHash& h, double mergeRadius2) : hash(h), g(mergeRadius2)
    {
        order = vertexOrder(hash);
        for (auto it = order.rbegin(); it != order.rend(); ++it)
            if ((*it)->degree() == 1)
                ends.push_back(*it);
    }

    CEdgeVertex_* nextStart()
    {
        while (!ends.empty()) {
            CEdgeVertex_* v = ends.back();
            ends.pop_back();
            if (v->degree() == 1)
                return v;
        }
        while (cursor < order.size() && order[cursor]->degree() == 0)
            ++cursor;
        return cursor < order.size() ? order[cursor] : nullptr;
    }

    // Walks from v along first neighbours; path receives the vertices.
    bool walk(CEdgeVertex_* v, std::vector<CEdgeVertex_*>& path)
    {
        path.clear();
        for (;;) {
            path.push_back(v);
            CEdgeVertex_* w = v->neighbours.data[0];
            cut(v, w);
            const bool backAtStart = path.size() > 1 && w == path.front();
            if (w->degree() == 0 && !backAtStart) {
                if (CEdgeVertex_* next = continuation(w, v)) {
                    path.push_back(w);
                    w = next;
                }
            }
            if (w->degree() == 0) {
                const bool closed =
                    path.size() > 1 &&
                    (w == path.front() || double(squaredDistance(*w, *path.front())) < kClosedGap2);
                // A cyclic curve closes by its knots: the start is not repeated.
                if (w != path.back() && !(closed && w == path.front()))
                    path.push_back(w);
                return closed;
            }
            v = w;
        }
    }

private:
    EdgeHash& hash;
    double g;
    std::vector<CEdgeVertex_*> order;
    std::size_t cursor = 0;
    std::vector<CEdgeVertex_*> ends;

    void cut(CEdgeVertex_* v, CEdgeVertex_* w)
    {
        unlink(v, w);
        if (v->degree() == 1)
            ends.push_back(v);
        if (w->degree() == 1)
            ends.push_back(w);
    }

    // The vertex of w's plane with untraced neighbours nearest to w within
    // the merge radius, other than the vertex the walk came from; null when
    // there is none. Ends farther apart than the merge radius are separate
    // ends of the section, so a path stops at them. A path never continues
    // onto the section of a neighbouring plane.
    CEdgeVertex_* continuation(CEdgeVertex_* w, CEdgeVertex_* from)
    {
        if (!hash.findNearest(*w, float(std::sqrt(g)), true))
            return nullptr;
        CEdgeVertex_* best = nullptr;
        float fMin = 0.0f;
        for (int n = 0; n < hash.results.count; ++n) {
            CEdgeVertex_* u = hash.results.data[n];
            if (u == w || u == from || u->degree() == 0 || u->mark != w->mark)
                continue;
            if (best == nullptr || hash.distances.data[n] < fMin) {
                best = u;
                fMin = hash.distances.data[n];
            }
        }
        if (best != nullptr)
            std::cout << "new Path continuation found, fMin=" << fMin << std::endl;
        return best;
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
    const double factor = sameVector(n, m) ? 1.0 : dot3(n, m);
    std::vector<double> levels(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const double t = double(i) / double(std::max(count - 1, 1));
        levels[i] = factor * ((1.0 - t) * range.min + t * range.max);
    }

    // Segments gathered per plane, so that the list comes out plane by
    // plane while every facet is read only once.
    std::vector<std::vector<PolyPlaneIntersection>> perPlane(static_cast<std::size_t>(count));
    // A segment a plane already has (coincident facets, or the two facets
    // beside an edge that lies in the plane) is kept once: it would join the
    // same two ends again, and coincident facets would otherwise multiply
    // the segments, and the merging of their ends, by their number.
    std::vector<std::unordered_set<SegmentKey, SegmentKeyHash>> known(
        static_cast<std::size_t>(count));
    // A facet's corners side by side, x, y, z each (a polygon may have tens
    // of thousands).
    std::vector<float> corners;
    Point corner;
    std::vector<double> heights;
    std::vector<FacetEdge> edges;
    FacetCrossings crossings;
    const int facetCount = mesh->getFacetCount();
    for (int f = 0; f < facetCount; ++f) {
        const int size = mesh->getFacetSize(f);
        if (size < 2)
            continue;
        corners.resize(3 * std::size_t(size));
        heights.resize(std::size_t(size));
        double lo = INFINITY, hi = -INFINITY;
        // At once where the mesh can, else corner by corner.
        const bool atOnce = mesh->readFacetCorners(f, corners.data(), size) == size;
        bool readable = true;
        for (int k = 0; k < size && readable; ++k) {
            if (atOnce)
                std::copy_n(corners.data() + 3 * k, 3, corner.data);
            else
                readable = mesh->getFacetCorner(f, k, corner);
            std::copy_n(corner.data, 3, corners.data() + 3 * k);
            heights[k] = heightAlong(corner, p, n);
            lo = std::min(lo, heights[k]);
            hi = std::max(hi, heights[k]);
        }
        if (!readable)
            continue;
        bool edgesRead = false;
        for (int i = 0; i < count; ++i) {
            if (!(levels[i] >= lo && levels[i] <= hi))
                continue;
            if (!edgesRead) {
                facetEdges(corners, edges);
                edgesRead = true;
            }
            crossFacet(corners, heights, edges, levels[i], crossings);
            if (crossings.raw == 3)
                std::cout << "efCount=3, mystery" << std::endl;
            if (crossings.points.size() < 2)
                continue;
            // A segment the plane has already was kept or dropped as this
            // one would be.
            if (!known[i]
                     .insert(segmentKey(crossings.points.front(), crossings.points.back()))
                     .second)
                continue;
            const Point a(crossings.points.front().data());
            const Point b(crossings.points.back().data());
            if (keepSegment(a, b, p, side, start, end, maxDistance))
                perPlane[i].emplace_back(a, b, i, 0);
        }
    }
    std::size_t total = 0;
    for (const auto& list : perPlane)
        total += list.size();
    segments.setCapacity(int(total), false);
    for (const auto& list : perPlane)
        for (const PolyPlaneIntersection& s : list)
            segments.append(s);
    return segments.count > 0;
}

bool followSectionPath(const SegmentList& segments, CurveList& curves, double tolerance)
{
    if (segments.count == 0)
        return true;
    CStatistic lengths;
    for (const PolyPlaneIntersection& s : segments)
        lengths.add(double(squaredDistance(s.first, s.last)));
    const float g = float(std::max(tolerance * tolerance, lengths.min / 5.0));
    const float r = std::sqrt(g);

    EdgeHash hash;
    hash.setCellSize(std::max(2.0 * double(r), 1e-8));
    // Ends of different planes never merge, however close the planes lie.
    auto vertexAt = [&](const Point& q, int plane) -> CEdgeVertex_* {
        if (hash.findNearest(q, r, true))
            for (int k = 0; k < hash.results.count; ++k)
                if (hash.results.data[k]->mark == plane)
                    return hash.results.data[k];
        CEdgeVertex_ fresh(q);
        fresh.mark = plane;
        return hash.insert(fresh, true, false);
    };
    for (const PolyPlaneIntersection& s : segments) {
        CEdgeVertex_* a = vertexAt(s.first, s.plane);
        CEdgeVertex_* b = vertexAt(s.last, s.plane);
        join(a, b);
    }

    PathTracer tracer(hash, double(g));
    std::vector<CEdgeVertex_*> path;
    while (CEdgeVertex_* start = tracer.nextStart()) {
        bool closed = tracer.walk(start, path);
        if (path.size() > 2 && double(squaredDistance(*path[path.size() - 1],
                                                      *path[path.size() - 2])) < kDuplicateEnd2)
            path.pop_back();
        if (path.size() < 2)
            continue;
        closed = closed && path.size() >= 3;
        std::unique_ptr<Fenwo::NurbsSurf> curve(pathCurve(path, closed));
        if (curve->computeLength() >= 2.0 * double(g))
            curves.append(curve.release());
    }
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

bool meshPlaneSection(Mesh::CBaseMesh* mesh, const CVertex<float, 3>& p, const CVector<float, 3>& n,
                      const CVector<float, 3>& m, int count, Interval range, CurveList& curves,
                      const CVector<float, 3>* side, const CVertex<float, 3>* start,
                      const CVertex<float, 3>* end, double maxDistance, bool perPlane)
{
    SegmentList segments;
    intersectMeshWithPlanes(mesh, p, n, m, count, range, segments, side, start, end, maxDistance);
    if (!perPlane) {
        followSectionPath(segments, curves, kSectionTolerance);
        return curves.count > 0;
    }
    // The segments come plane by plane.
    SegmentList planeSegments;
    int next = 0;
    for (int i = 0; i < count; ++i) {
        planeSegments.count = 0;
        while (next < segments.count && segments.data[next].plane == i)
            planeSegments.append(segments.data[next++]);
        CurveList pieces;
        followSectionPath(planeSegments, pieces, kSectionTolerance);
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

void orientSectionCurves(CurveList& curves)
{
    Kor::Array<Fenwo::NurbsSurf*> array;
    array.setCapacity(curves.count);
    for (Fenwo::NurbsSurf* c : curves)
        array.append(c);
    orientCurvesConsistently(array);
}

} // namespace MeshFunctions
