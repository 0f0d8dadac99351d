#include "plugin/RegionCoverage.h"

#include "curves/ParCurve.h"
#include "geometry/NurbsSurf.h"
#include "geometry/ParametricGeometry.h"
#include "mesh/BaseMesh.h"
#include "mesh/GridPoint.h"
#include "mesh/MeshProjection.h"
#include "net/Face.h"
#include "net/FaceApproximation.h"
#include "net/FaceRecords.h"
#include "net/FailureMessages.h"
#include "net/PointList.h"
#include "net/SurfaceNet.h"
#include "platform/on/Brep.h"
#include "plugin/OpenNurbsConversion.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <numeric>
#include <set>
#include <unordered_map>
#include <utility>

namespace {

using P3 = std::array<double, 3>;

// The samples' spacing, in tolerances, and the samples of one area: within
// 1.5 spacings of one another. A Brep lies over the samples within 0.75
// spacings beside its points, which lie half a spacing apart. A line parts
// the areas on either side of it by a link's width (wider than half a
// link); the band along it left unjudged is the fit's slack (as far as a
// Brep's edge may lie from its side) and a spacing wide, so that the Breps
// on either side of a side each lie over the samples beyond it on their own
// side alone. The samples within that band still join their area: a line
// that ends a few tolerances short of another (a spur into a cell) leaves
// the area round its end whole.
constexpr double kSpacingShare = 0.5;
constexpr double kLinkShare = 1.5;
constexpr double kBesideShare = 0.75;
constexpr double kBrepPointShare = 0.5;
constexpr int kMaxSamples = 300000;
// How far off the mesh (in tolerances) a Brep still lies over its samples:
// twice the fit's slack.
constexpr double kReachShare = 3.0;
// An area is judged to lie bare, or under two faces, where at least this
// many of its samples and this share of them do.
constexpr int kFaultSamples = 4;
constexpr double kFaultShare = 0.02;
// How far off the mesh (in tolerances) a line's curve is followed down onto
// it: lines drawn through junctions far apart across a wave run under its
// crests by several tolerances.
constexpr double kLineOffMeshShare = 10.0;
// How far beyond the nearest point of a side, in its distance, the point
// nearest across the surface's normal is sought: 1 / cos(60 degrees).
constexpr double kTiltReach = 2.0;

double dot(const P3& a, const P3& b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
P3 minus(const P3& a, const P3& b)
{
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
double distance(const P3& a, const P3& b)
{
    const P3 d = minus(a, b);
    return std::sqrt(dot(d, d));
}
P3 toP3(const Vector& v)
{
    return {v.n > 0 ? v[0] : 0.0, v.n > 1 ? v[1] : 0.0, v.n > 2 ? v[2] : 0.0};
}
template <class T> P3 toP3(const CVertex<T, 3>& v)
{
    return {double(v.data[0]), double(v.data[1]), double(v.data[2])};
}

// Items by the cube of space they lie in (cubes `cell` wide), for finding
// those near a point; the lookups hand the items out in the order they
// went in, cube by cube.
class CubeHash {
public:
    explicit CubeHash(double cell) : m_cell(cell > 0.0 ? cell : 1.0) {}
    void insert(int item, const P3& p) { m_cubes[key(cube(p))].push_back(item); }
    // Every item of a cube within `radius` of p (a superset of those within it).
    template <class F> void near(const P3& p, double radius, F&& f) const
    {
        const std::array<long long, 3> lo = cube({p[0] - radius, p[1] - radius, p[2] - radius});
        const std::array<long long, 3> hi = cube({p[0] + radius, p[1] + radius, p[2] + radius});
        for (long long x = lo[0]; x <= hi[0]; ++x)
            for (long long y = lo[1]; y <= hi[1]; ++y)
                for (long long z = lo[2]; z <= hi[2]; ++z)
                    if (const auto at = m_cubes.find(key({x, y, z})); at != m_cubes.end())
                        for (int item : at->second)
                            f(item);
    }

private:
    std::array<long long, 3> cube(const P3& p) const
    {
        return {(long long)std::floor(p[0] / m_cell), (long long)std::floor(p[1] / m_cell),
                (long long)std::floor(p[2] / m_cell)};
    }
    static std::uint64_t key(const std::array<long long, 3>& c)
    {
        const auto part = [](long long v) { return std::uint64_t(v + (1LL << 20)) & 0x1FFFFFu; };
        return part(c[0]) | part(c[1]) << 21 | part(c[2]) << 42;
    }
    double m_cell;
    std::unordered_map<std::uint64_t, std::vector<int>> m_cubes;
};

// Poly-lines of points (the net's lines, a Brep's edges, a region's sides),
// with the distance from a point to the nearest of them.
class Polylines {
public:
    explicit Polylines(double cell) : m_cell(cell > 0.0 ? cell : 1.0), m_hash(m_cell) {}
    void add(const std::vector<P3>& line)
    {
        if (line.size() == 1)
            addSegment(line[0], line[0]);
        for (std::size_t k = 0; k + 1 < line.size(); ++k)
            addSegment(line[k], line[k + 1]);
    }
    // The distance to the nearest segment within `radius`, else radius:
    // sought within a cube of p first, then twice as far, and so on.
    double nearest(const P3& p, double radius) const
    {
        for (double within = std::min(m_cell, radius);; within = std::min(2.0 * within, radius)) {
            double best = within;
            m_hash.near(p, within, [&](int s) {
                const P3 &a = m_segments[std::size_t(s)].first,
                         &b = m_segments[std::size_t(s)].second;
                const P3 d = minus(b, a);
                const double length2 = dot(d, d);
                const double t =
                    length2 > 0.0 ? std::clamp(dot(minus(p, a), d) / length2, 0.0, 1.0) : 0.0;
                const P3 q = {a[0] + t * d[0], a[1] + t * d[1], a[2] + t * d[2]};
                best = std::min(best, distance(p, q));
            });
            if (best < within || within >= radius)
                return best;
        }
    }
    // The least distance across the unit normal n (the part along n not
    // counted) from p to the points of the segments that lie within
    // `radius` of p; radius when none does. With a zero n, the distance to
    // the nearest segment within radius.
    double nearestAcross(const P3& p, const P3& n, double radius) const
    {
        double best = radius;
        const auto across = [&](const P3& v) {
            const double along = dot(v, n);
            return P3{v[0] - along * n[0], v[1] - along * n[1], v[2] - along * n[2]};
        };
        const auto measure = [&](int s) {
            const P3 &a = m_segments[std::size_t(s)].first, &b = m_segments[std::size_t(s)].second;
            // The stretch of the segment within radius of p: |a - p + t d| <= radius.
            const P3 d = minus(b, a), ap = minus(a, p);
            const double dd = dot(d, d), half = dot(ap, d);
            const double c = dot(ap, ap) - radius * radius;
            double t0 = 0.0, t1 = 0.0;
            if (dd > 0.0) {
                const double disc = half * half - dd * c;
                if (disc < 0.0)
                    return;
                const double root = std::sqrt(disc);
                t0 = std::max(0.0, (-half - root) / dd);
                t1 = std::min(1.0, (-half + root) / dd);
            } else if (c > 0.0) {
                return;
            }
            if (t0 > t1)
                return;
            // The distance across n is least where the segment, seen along
            // n, passes nearest p.
            const P3 a2 = across(ap), d2 = across(d);
            const double dd2 = dot(d2, d2);
            const double t = std::clamp(dd2 > 0.0 ? -dot(a2, d2) / dd2 : t0, t0, t1);
            const P3 q = {a2[0] + t * d2[0], a2[1] + t * d2[1], a2[2] + t * d2[2]};
            best = std::min(best, std::sqrt(dot(q, q)));
        };
        // Far out, the cubes within radius outnumber the segments: each
        // segment is looked at instead.
        if (std::pow(2.0 * radius / m_cell + 2.0, 3.0) > double(m_segments.size()))
            for (int s = 0; s < int(m_segments.size()); ++s)
                measure(s);
        else
            m_hash.near(p, radius, measure);
        return best;
    }
    bool empty() const { return m_segments.empty(); }

private:
    // A segment goes into the cubes of points along it no farther apart
    // than a cube.
    void addSegment(const P3& a, const P3& b)
    {
        const int segment = int(m_segments.size());
        m_segments.emplace_back(a, b);
        const int steps = int(std::ceil(distance(a, b) / m_cell)) + 1;
        for (int s = 0; s <= steps; ++s) {
            const double t = double(s) / steps;
            m_hash.insert(segment, {a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1]),
                                    a[2] + t * (b[2] - a[2])});
        }
    }
    double m_cell;
    CubeHash m_hash;
    std::vector<std::pair<P3, P3>> m_segments;
};

// Points along the curve over its domain, about `step` apart (by a first
// look at 16 chords), 2000 at the most.
std::vector<P3> curvePoints(CParametricGeometry& curve, double step)
{
    const Interval domain = curve.getDomain(0);
    double length = 0.0;
    P3 last = toP3(curve.getPoint(domain.min, 0.0));
    for (int k = 1; k <= 16; ++k) {
        const P3 p = toP3(curve.getPoint(domain.min + domain.getLength() * k / 16.0, 0.0));
        length += distance(last, p);
        last = p;
    }
    const int n = std::clamp(int(std::ceil(1.25 * length / step)), 16, 2000);
    std::vector<P3> points;
    for (int k = 0; k <= n; ++k)
        points.push_back(toP3(curve.getPoint(domain.min + domain.getLength() * k / n, 0.0)));
    return points;
}

// The points of the poly-line's curve about `step` apart, each stretch
// between two entries sampled on its own (the entries' parameters need not
// rise: a spur's tip); the entries themselves without a curve.
std::vector<P3> netLinePoints(const COffset_PointList& pl, double step)
{
    std::vector<P3> points;
    const int count = pl.vertices.count;
    CParametricGeometry* curve = pl.getCurve();
    const int stretches = pl.closed ? count : count - 1;
    for (int k = 0; k < stretches; ++k) {
        const CVertex<float, 3>* a = pl.entryAt(k);
        const CVertex<float, 3>* b = pl.entryAt(k + 1);
        if (a == nullptr || b == nullptr)
            continue;
        double ta = 0.0, tb = 0.0;
        const bool onCurve =
            curve != nullptr && pl.entryParameter(k, ta) && pl.entryParameter(k + 1, tb);
        const int n = std::clamp(int(std::ceil(1.5 * distance(toP3(*a), toP3(*b)) / step)), 1, 400);
        for (int s = k == 0 ? 0 : 1; s <= n; ++s) {
            const double t = double(s) / n;
            if (onCurve)
                points.push_back(toP3(curve->getPoint((1.0 - t) * ta + t * tb, 0.0)));
            else
                points.push_back({(1.0 - t) * a->data[0] + t * b->data[0],
                                  (1.0 - t) * a->data[1] + t * b->data[1],
                                  (1.0 - t) * a->data[2] + t * b->data[2]});
        }
    }
    if (points.empty() && count == 1 && pl.vertices[0] != nullptr)
        points.push_back(toP3(*pl.vertices[0]));
    return points;
}

// A right-handed frame (u, v, n) about the unit vector n.
struct Frame {
    P3 u, v, n;
    explicit Frame(P3 normal)
    {
        const double length = std::sqrt(dot(normal, normal));
        n = length > 0.0 ? P3{normal[0] / length, normal[1] / length, normal[2] / length}
                         : P3{0.0, 0.0, 1.0};
        const P3 axis = std::fabs(n[0]) < 0.6 ? P3{1.0, 0.0, 0.0} : P3{0.0, 1.0, 0.0};
        u = minus(axis, {dot(axis, n) * n[0], dot(axis, n) * n[1], dot(axis, n) * n[2]});
        const double lu = std::sqrt(dot(u, u));
        u = {u[0] / lu, u[1] / lu, u[2] / lu};
        v = {n[1] * u[2] - n[2] * u[1], n[2] * u[0] - n[0] * u[2], n[0] * u[1] - n[1] * u[0]};
    }
    P3 local(const P3& p) const { return {dot(p, u), dot(p, v), dot(p, n)}; }
};

// A sample of the mesh: where it lies, the facet's normal, whether it seeds
// the outside and the areas it lies in (its union-find parent).
struct Sample {
    P3 p, n;
    bool seed = false;
    bool judged = true; // beyond the band along the lines
    int parent = -1;
};

int rootOf(std::vector<Sample>& samples, int i)
{
    while (samples[std::size_t(i)].parent != i) {
        const int up = samples[std::size_t(i)].parent;
        samples[std::size_t(i)].parent = samples[std::size_t(up)].parent;
        i = up;
    }
    return i;
}

void join(std::vector<Sample>& samples, int a, int b)
{
    a = rootOf(samples, a);
    b = rootOf(samples, b);
    if (a != b)
        samples[std::size_t(std::max(a, b))].parent = std::min(a, b);
}

std::string percent(double share)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", 100.0 * share);
    return text;
}

std::string figure(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

// The points of a Brep face inside its trim, on a (u, v) grid about
// `spacing` apart in space (by the surface's largest derivatives over a
// first grid), 400000 at the most.
std::vector<P3> brepFacePoints(const ON_BrepFace& brepFace, double spacing)
{
    std::vector<P3> points;
    const std::unique_ptr<CFace> face(faceFromBrepFace(brepFace));
    Fenwo::NurbsSurf* surface = face != nullptr ? face->getNurbsSurf() : nullptr;
    if (surface == nullptr)
        return points;
    // The trim loops as closed (u, v) polygons, each trim curve's (u, v)
    // curve at 256 points (a loop of one closed curve has no chords to
    // facet by); a point lies inside the trim when a row through it crosses
    // the loops an odd number of times on its left.
    std::vector<std::vector<std::array<double, 2>>> loops;
    for (const CLoop* loop : face->trimLoops) {
        std::vector<std::array<double, 2>> polygon;
        for (int c = 0; loop != nullptr && c < loop->curves.count; ++c) {
            CParametricGeometry* uv =
                loop->curves[c] != nullptr ? loop->curves[c]->getUVCurve() : nullptr;
            if (uv == nullptr)
                continue;
            const Interval domain = uv->getDomain(0);
            for (int k = 0; k < 256; ++k) {
                const Vector q = uv->getPoint(domain.min + domain.getLength() * k / 256.0, 0.0);
                polygon.push_back({q[0], q[1]});
            }
        }
        if (polygon.size() >= 3)
            loops.push_back(std::move(polygon));
        else if (loops.empty())
            return points;
    }
    if (loops.empty())
        return points;
    double lo[2] = {HUGE_VAL, HUGE_VAL}, hi[2] = {-HUGE_VAL, -HUGE_VAL};
    for (const std::array<double, 2>& q : loops.front())
        for (int k = 0; k < 2; ++k) {
            lo[k] = std::min(lo[k], q[std::size_t(k)]);
            hi[k] = std::max(hi[k], q[std::size_t(k)]);
        }
    double most[2] = {0.0, 0.0};
    for (int i = 0; i <= 8; ++i)
        for (int j = 0; j <= 8; ++j) {
            Vector** d = surface->evaluate(1, lo[0] + (hi[0] - lo[0]) * i / 8.0,
                                           lo[1] + (hi[1] - lo[1]) * j / 8.0);
            if (d == nullptr)
                continue;
            most[0] = std::max(most[0], norm(d[1][0]));
            most[1] = std::max(most[1], norm(d[0][1]));
        }
    int steps[2];
    for (int k = 0; k < 2; ++k)
        steps[k] = std::clamp(int(std::ceil(most[k] * (hi[k] - lo[k]) / spacing)), 1, 630);
    std::vector<double> crossings;
    for (int j = 0; j <= steps[1]; ++j) {
        const double v = lo[1] + (hi[1] - lo[1]) * j / steps[1];
        crossings.clear();
        for (const std::vector<std::array<double, 2>>& polygon : loops)
            for (std::size_t k = 0; k < polygon.size(); ++k) {
                const std::array<double, 2>& a = polygon[k];
                const std::array<double, 2>& b = polygon[(k + 1) % polygon.size()];
                if ((a[1] <= v) != (b[1] <= v))
                    crossings.push_back(a[0] + (v - a[1]) / (b[1] - a[1]) * (b[0] - a[0]));
            }
        std::sort(crossings.begin(), crossings.end());
        std::size_t left = 0;
        for (int i = 0; i <= steps[0]; ++i) {
            const double u = lo[0] + (hi[0] - lo[0]) * i / steps[0];
            while (left < crossings.size() && crossings[left] < u)
                ++left;
            if (left % 2 == 1)
                points.push_back(toP3(surface->getPoint(u, v)));
        }
    }
    return points;
}

// The edges of the Brep as points about `step` apart.
std::vector<std::vector<P3>> brepEdgePoints(const ON_Brep& brep, double step)
{
    std::vector<std::vector<P3>> edges;
    for (int e = 0; e < brep.m_E.Count(); ++e) {
        const ON_BrepEdge& edge = brep.m_E[e];
        const ON_Interval domain = edge.Domain();
        double length = 0.0;
        ON_3dPoint last = edge.PointAt(domain.ParameterAt(0.0));
        for (int k = 1; k <= 16; ++k) {
            const ON_3dPoint p = edge.PointAt(domain.ParameterAt(k / 16.0));
            length += p.DistanceTo(last);
            last = p;
        }
        const int n = std::clamp(int(std::ceil(1.25 * length / step)), 16, 2000);
        edges.emplace_back();
        for (int k = 0; k <= n; ++k) {
            const ON_3dPoint p = edge.PointAt(domain.ParameterAt(double(k) / n));
            edges.back().push_back({p.x, p.y, p.z});
        }
    }
    return edges;
}

// The sides of the face's region: the boundary curves of its first loop
// and its holes as the face is fitted to them (each run along a poly-line
// one curve, ending at its corners), as points about `step` apart; and the
// nodes of the loops, the junctions and corners the region was drawn
// through.
void regionSides(const GB::Face& face, double step, std::vector<std::vector<P3>>& curves,
                 std::vector<P3>& nodes)
{
    std::vector<const GB::Loop*> loops;
    if (face.firstLoop != nullptr)
        loops.push_back(face.firstLoop);
    for (const std::unique_ptr<GB::Loop>& hole : face.holes)
        loops.push_back(hole.get());
    for (const GB::Loop* loop : loops) {
        Kor::List<CParametricGeometry*> pieces;
        loop->getBoundaryCurves(pieces, true);
        for (CParametricGeometry* curve : pieces) {
            const std::unique_ptr<CParametricGeometry> owned(curve);
            curves.push_back(curvePoints(*curve, step));
        }
        Kor::List<CVertex<float, 3>*> points;
        loop->getNodePoints(points);
        for (const CVertex<float, 3>* p : points)
            if (p != nullptr)
                nodes.push_back(toP3(*p));
    }
}

// The largest distance from the points of `from` to the poly-lines of `to`
// (searched up to `reach`), across the surface: the part along the normal
// `normalAt` gives at a point (none: zero) not counted. The point of `to`
// that counts is the one nearest across the normal, not the nearest in
// space: a side whose curve runs off the mesh by h, tilted against it by a,
// is put onto the face's surface along the surface's normal, and its point
// nearest in space lies h sin(a) cos(a) along the side from the edge's point
// it gave. That point is sought within kTiltReach times the distance to the
// nearest point, which holds the point straight off the edge's point for
// sides tilted by up to 60 degrees and keeps a far part of the lines (the
// other side of a thin or closed surface) out.
double farthestFrom(const std::vector<std::vector<P3>>& from,
                    const std::vector<std::vector<P3>>& to, double cell, double reach,
                    const std::function<P3(const P3&)>& normalAt)
{
    Polylines lines(cell);
    for (const std::vector<P3>& line : to)
        lines.add(line);
    double farthest = 0.0;
    for (const std::vector<P3>& line : from)
        for (const P3& p : line) {
            double d = lines.empty() ? reach : lines.nearest(p, reach);
            if (d < reach)
                d = lines.nearestAcross(p, normalAt(p), std::min(kTiltReach * d, reach));
            farthest = std::max(farthest, d);
        }
    return farthest;
}

// The samples of the mesh's facets in the box (in the frame): on each
// triangle (a polygon's fan) a lattice `spacing` or finer, each with its
// facet's normal; those within a spacing of the box's walls seed the
// outside.
std::vector<Sample> sampleMesh(Mesh::CBaseMesh& mesh, const Frame& frame, const double boxLo[3],
                               const double boxHi[3], double spacing)
{
    std::vector<Sample> samples;
    const int facets = mesh.getFacetCount();
    for (int f = 0; f < facets; ++f) {
        const int size = mesh.getFacetSize(f);
        if (size < 3)
            continue;
        std::vector<P3> corners;
        bool inBox = true;
        double flo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, fhi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
        for (int k = 0; k < size; ++k) {
            Mesh::CBaseMesh::Point c;
            if (!mesh.getFacetCorner(f, k, c))
                break;
            corners.push_back(toP3(c));
            const P3 q = frame.local(corners.back());
            for (int j = 0; j < 3; ++j) {
                flo[j] = std::min(flo[j], q[std::size_t(j)]);
                fhi[j] = std::max(fhi[j], q[std::size_t(j)]);
            }
        }
        for (int j = 0; j < 3; ++j)
            inBox = inBox && fhi[j] >= boxLo[j] && flo[j] <= boxHi[j];
        if (!inBox || int(corners.size()) != size)
            continue;
        Mesh::CBaseMesh::Direction facetNormal;
        if (!mesh.getFacetNormal(f, facetNormal))
            continue;
        const P3 n = toP3(facetNormal);
        for (int t = 1; t + 1 < size; ++t) {
            const P3 &a = corners[0], &b = corners[std::size_t(t)],
                     &c = corners[std::size_t(t) + 1];
            const double longest = std::max({distance(a, b), distance(b, c), distance(c, a)});
            const int k = std::max(1, int(std::ceil(longest / spacing)));
            for (int i = 0; i <= k; ++i)
                for (int j = 0; i + j <= k; ++j) {
                    const double s = double(i) / k, r = double(j) / k;
                    Sample sample;
                    for (int m = 0; m < 3; ++m)
                        sample.p[std::size_t(m)] = a[std::size_t(m)] +
                                                   s * (b[std::size_t(m)] - a[std::size_t(m)]) +
                                                   r * (c[std::size_t(m)] - a[std::size_t(m)]);
                    const P3 q = frame.local(sample.p);
                    bool inside = true, atWall = false;
                    for (int m = 0; m < 3; ++m) {
                        inside = inside && q[std::size_t(m)] >= boxLo[m] &&
                                 q[std::size_t(m)] <= boxHi[m];
                        atWall = atWall || q[std::size_t(m)] < boxLo[m] + spacing ||
                                 q[std::size_t(m)] > boxHi[m] - spacing;
                    }
                    if (!inside)
                        continue;
                    sample.n = n;
                    sample.seed = atWall;
                    samples.push_back(sample);
                }
        }
    }
    return samples;
}

// The samples parted into areas by the net's lines.
struct Areas {
    std::vector<int> kept;                 // the samples off the lines
    std::vector<std::vector<int>> members; // of each area, in the samples' order
    std::vector<bool> outside;             // the area reaches beyond the lines
};

// The samples a link or more from the lines, parted into areas: those
// within a link of one another on facets facing alike are one area; those
// within `band` of a line are not judged. One at the mesh's edge where no
// line runs along it seeds the outside.
Areas splitIntoAreas(std::vector<Sample>& samples, Mesh::CBaseMesh& mesh,
                     const std::vector<std::vector<P3>>& lines, double band, double link,
                     double offMesh)
{
    Areas areas;
    // Samples on the net's lines are left out; those at the mesh's edge
    // where no line runs along it seed the outside. A line's curve may run
    // off the mesh between its points (under a wave's crest, across a
    // bend), where the samples over it lie beyond the band and the areas on
    // either side of it would join: each line is also taken where it lies
    // on the mesh, its points' feet on the nearest facets within offMesh.
    Polylines netLines(band);
    for (const std::vector<P3>& line : lines) {
        netLines.add(line);
        std::vector<P3> feet;
        for (std::size_t k = 0; k <= line.size(); ++k) {
            Mesh::MeshFoot foot;
            const bool on =
                k < line.size() && Mesh::nearestMeshPoint(&mesh, line[k].data(), offMesh, foot);
            if (on)
                feet.push_back({foot.point[0], foot.point[1], foot.point[2]});
            if (!on && !feet.empty()) {
                netLines.add(feet);
                feet.clear();
            }
        }
    }
    Polylines meshEdge(link);
    for (const Mesh::CBaseMesh::CPolygonEdge& e : mesh.edges)
        if (e.facet1 >= 0 && e.facet2 < 0) {
            Mesh::CBaseMesh::Point a, b;
            if (mesh.getVertex(e.vertex0, a) && mesh.getVertex(e.vertex1, b))
                meshEdge.add({toP3(a), toP3(b)});
        }
    for (int i = 0; i < int(samples.size()); ++i) {
        Sample& s = samples[std::size_t(i)];
        const double fromLines = netLines.empty() ? band : netLines.nearest(s.p, band);
        if (fromLines < link)
            continue;
        s.judged = fromLines >= band;
        // Only beyond the band: a line along the mesh's edge, its curve a
        // little off it, keeps the area inside it from the outside.
        if (s.judged && !meshEdge.empty() && meshEdge.nearest(s.p, link) < link)
            s.seed = true;
        s.parent = i;
        areas.kept.push_back(i);
    }

    // Samples within a link of one another on facets facing alike are one
    // area.
    CubeHash near(link);
    for (int i : areas.kept)
        near.insert(i, samples[std::size_t(i)].p);
    for (int i : areas.kept)
        near.near(samples[std::size_t(i)].p, link, [&](int j) {
            if (j > i && distance(samples[std::size_t(i)].p, samples[std::size_t(j)].p) <= link &&
                dot(samples[std::size_t(i)].n, samples[std::size_t(j)].n) > 0.0)
                join(samples, i, j);
        });
    std::map<int, int> areaOfRoot;
    for (int i : areas.kept) {
        const int root = rootOf(samples, i);
        const auto [at, added] = areaOfRoot.emplace(root, int(areas.members.size()));
        if (added) {
            areas.members.emplace_back();
            areas.outside.push_back(false);
        }
        areas.members[std::size_t(at->second)].push_back(i);
        areas.outside[std::size_t(at->second)] =
            areas.outside[std::size_t(at->second)] || samples[std::size_t(i)].seed;
    }
    return areas;
}

// Each Brep's edges against its region's sides, both ways, across the
// mesh: a side's curve may run off the mesh (a little through a sharp
// corner it was drawn with; under the crests of a wavy mesh between
// junctions drawn far apart), where its edge, put onto the face's surface,
// lies on it; the edge leaves its side where it lies beside it on the mesh.
// The fit's slack is allowed, as the sides' curves and the faces lie that
// close to the mesh they were drawn on.
void checkEdgesAlongSides(GB::CSurfaceNet& net, const std::vector<CommittedBrep>& breps, double tol,
                          RegionCoverage& result)
{
    const auto normalAt = [&](const P3& p) {
        CVector<float, 3> n;
        const CVertex<float, 3> at{static_cast<float>(p[0]), static_cast<float>(p[1]),
                                   static_cast<float>(p[2])};
        if (net.mesh == nullptr || !Mesh::meshNormalNearPoint(net.mesh, at, n))
            return P3{0.0, 0.0, 0.0};
        const P3 v = toP3(n);
        const double length = std::sqrt(dot(v, v));
        return length > 0.0 ? P3{v[0] / length, v[1] / length, v[2] / length} : P3{0.0, 0.0, 0.0};
    };
    for (const CommittedBrep& committed : breps) {
        if (committed.brep == nullptr || committed.face == nullptr)
            continue;
        const double step = 0.25 * tol;
        const std::vector<std::vector<P3>> edges = brepEdgePoints(*committed.brep, step);
        std::vector<std::vector<P3>> sides;
        std::vector<P3> nodes;
        regionSides(*committed.face, step, sides, nodes);
        if (edges.empty() || sides.empty())
            continue;
        // The edges lie along the sides, or between a side and a node of it
        // where the side's curve passes that junction a little off (the heal
        // brings the edge to the junction, where its neighbours end); every
        // node lies on an edge.
        std::vector<std::vector<P3>> along = sides, atNodes;
        for (const P3& node : nodes) {
            const P3* nearest = nullptr;
            for (const std::vector<P3>& side : sides)
                for (const P3& p : side)
                    if (nearest == nullptr || distance(p, node) < distance(*nearest, node))
                        nearest = &p;
            along.push_back({node, *nearest});
            atNodes.push_back({node});
        }
        const double reach = 100.0 * tol;
        const double off = std::max(farthestFrom(edges, along, tol, reach, normalAt),
                                    farthestFrom(atNodes, edges, tol, reach, normalAt));
        result.edgesOffSides = std::max(result.edgesOffSides, off);
        if (off > sideAllowance(tol))
            result.faults.push_back("Face " + std::to_string(committed.number) + " " +
                                    FailureMessages::kEdgesOffSides + ": its Brep's edges lie " +
                                    figure(off) + " from them, " + figure(off / tol) +
                                    " x the fit tolerance " + figure(tol) + " where " +
                                    figure(sideAllowance(tol) / tol) + " are accepted");
    }
}

} // namespace

std::vector<CommittedBrep> committedBreps(const GB::CSurfaceNet& net,
                                          const std::vector<std::unique_ptr<ON_Brep>>& breps,
                                          const std::vector<int>& numbers)
{
    std::vector<const GB::Face*> faces;
    for (const GB::Face* f = net.firstFace; f != nullptr; f = f->next)
        faces.push_back(f);
    std::vector<CommittedBrep> committed;
    for (std::size_t b = 0; b < breps.size() && b < numbers.size(); ++b) {
        const int number = numbers[b];
        committed.push_back({number,
                             number >= 1 && std::size_t(number) <= faces.size()
                                 ? faces[std::size_t(number) - 1]
                                 : nullptr,
                             breps[b].get()});
    }
    return committed;
}

RegionCoverage checkRegionCoverage(GB::CSurfaceNet& net, const std::vector<CommittedBrep>& breps,
                                   double tolerance)
{
    RegionCoverage result;
    std::vector<std::string>& faults = result.faults;
    const double tol = net.surfaceTolerance > 0.0 ? net.surfaceTolerance : tolerance;
    if (!(tol > 0.0) || !(tolerance > 0.0))
        return result;

    checkEdgesAlongSides(net, breps, tol, result);

    Mesh::CBaseMesh* mesh = net.mesh;
    if (mesh == nullptr)
        return result;

    // ---- The net's lines, the junctions and the frame of the net.
    double spacing = kSpacingShare * tol;
    std::vector<std::vector<P3>> lines;
    P3 normal{0.0, 0.0, 0.0};
    std::vector<std::pair<P3, long>> junctions;
    std::set<const CVertex<float, 3>*> seen;
    for (const COffset_PointList* pl : net.pointLists) {
        if (pl == nullptr)
            continue;
        for (const CVertex<float, 3>* v : pl->vertices) {
            const auto* g = dynamic_cast<const Gridbench::CGridPoint*>(v);
            if (g == nullptr || !seen.insert(v).second)
                continue;
            for (int k = 0; k < 3; ++k)
                normal[std::size_t(k)] += g->normal.data[k];
            if (g->useCount > 1)
                junctions.emplace_back(toP3(*g), g->serial);
        }
    }
    const Frame frame(normal);
    double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (const COffset_PointList* pl : net.pointLists)
        if (pl != nullptr)
            for (const CVertex<float, 3>* v : pl->vertices)
                if (v != nullptr) {
                    const P3 q = frame.local(toP3(*v));
                    for (int k = 0; k < 3; ++k) {
                        lo[k] = std::min(lo[k], q[std::size_t(k)]);
                        hi[k] = std::max(hi[k], q[std::size_t(k)]);
                    }
                }
    if (!(hi[0] >= lo[0]))
        return result;
    // A net too large for the samples at half a tolerance is sampled
    // coarser, its band widened with them.
    const double spread = (hi[0] - lo[0] + 6.0 * tol) * (hi[1] - lo[1] + 6.0 * tol);
    spacing = std::max(spacing, std::sqrt(spread / kMaxSamples));
    const double band = sideAllowance(tol) + spacing;
    const double link = kLinkShare * spacing;
    // The lines as their curves run, which may bulge past their points.
    for (const COffset_PointList* pl : net.pointLists)
        if (pl != nullptr) {
            lines.push_back(netLinePoints(*pl, 0.5 * spacing));
            for (const P3& p : lines.back()) {
                const P3 q = frame.local(p);
                for (int k = 0; k < 3; ++k) {
                    lo[k] = std::min(lo[k], q[std::size_t(k)]);
                    hi[k] = std::max(hi[k], q[std::size_t(k)]);
                }
            }
        }
    // The box around the net: beside it by a band and a few samples, and
    // along the net's normal as far as it reaches across (a dome inside a
    // ring of the net rises above its lines).
    const double beside = band + 3.0 * spacing;
    const double along = std::hypot(hi[0] - lo[0], hi[1] - lo[1]) + beside;
    const double boxLo[3] = {lo[0] - beside, lo[1] - beside, lo[2] - along};
    const double boxHi[3] = {hi[0] + beside, hi[1] + beside, hi[2] + along};

    // ---- The mesh's samples in the box.
    std::vector<Sample> samples = sampleMesh(*mesh, frame, boxLo, boxHi, spacing);

    const Areas areas = splitIntoAreas(samples, *mesh, lines, band, link, kLineOffMeshShare * tol);
    const std::vector<int>& kept = areas.kept;
    const std::vector<std::vector<int>>& members = areas.members;
    const std::vector<bool>& outside = areas.outside;

    // ---- The Breps over the samples: each point of a Brep inside its trim
    // lies over the samples within a spacing beside it and the reach along
    // their normal.
    const double reach = kReachShare * tol;
    std::vector<std::vector<int>> under(samples.size());
    // The samples by where they lie across the net's normal: a Brep's point
    // looks for them beside it, whatever its height over them.
    const auto across = [&](const P3& p) {
        const P3 q = frame.local(p);
        return P3{q[0], q[1], 0.0};
    };
    CubeHash sideBySide(spacing);
    for (int i : kept)
        sideBySide.insert(i, across(samples[std::size_t(i)].p));
    for (std::size_t b = 0; b < breps.size(); ++b) {
        const ON_Brep* brep = breps[b].brep;
        if (brep == nullptr)
            continue;
        for (int f = 0; f < brep->m_F.Count(); ++f)
            for (const P3& p : brepFacePoints(brep->m_F[f], kBrepPointShare * spacing))
                sideBySide.near(across(p), kBesideShare * spacing, [&](int i) {
                    const Sample& s = samples[std::size_t(i)];
                    const P3 d = minus(p, s.p);
                    const double normalPart = dot(d, s.n);
                    if (std::fabs(normalPart) > reach ||
                        dot(d, d) - normalPart * normalPart >
                            kBesideShare * kBesideShare * spacing * spacing)
                        return;
                    std::vector<int>& faces = under[std::size_t(i)];
                    if (faces.empty() || faces.back() != int(b))
                        faces.push_back(int(b));
                });
    }

    // ---- Each enclosed area under one Brep, each Brep over one area.
    CubeHash junctionHash(band);
    for (int j = 0; j < int(junctions.size()); ++j)
        junctionHash.insert(j, junctions[std::size_t(j)].first);
    const auto corners = [&](int area) {
        std::set<long> serials;
        for (int i : members[std::size_t(area)])
            junctionHash.near(samples[std::size_t(i)].p, band + 2.0 * spacing, [&](int j) {
                if (distance(samples[std::size_t(i)].p, junctions[std::size_t(j)].first) <=
                    band + 2.0 * spacing)
                    serials.insert(junctions[std::size_t(j)].second);
            });
        std::string text;
        for (long s : serials) {
            if (!text.empty())
                text += ' ';
            text += std::to_string(s);
        }
        return text.empty() ? std::string("(none)") : text;
    };
    const auto areaName = [&](int area) {
        return std::string("The area within the net's junctions ") + corners(area);
    };
    std::vector<std::map<int, int>> areasOfBrep(breps.size());
    std::vector<int> judgedCount(members.size(), 0);
    result.areas = 0;
    for (int area = 0; area < int(members.size()); ++area) {
        if (outside[std::size_t(area)])
            continue;
        ++result.areas;
        std::vector<int> in;
        for (int i : members[std::size_t(area)])
            if (samples[std::size_t(i)].judged)
                in.push_back(i);
        const int count = int(in.size());
        judgedCount[std::size_t(area)] = count;
        std::map<int, int> byBrep;
        std::map<std::pair<int, int>, int> byPair;
        int bare = 0;
        for (int i : in) {
            const std::vector<int>& faces = under[std::size_t(i)];
            if (faces.empty())
                ++bare;
            for (int b : faces)
                ++byBrep[b];
            if (faces.size() >= 2)
                ++byPair[{faces[0], faces[1]}];
        }
        for (const auto& [b, n] : byBrep)
            areasOfBrep[std::size_t(b)][area] = n;
        const auto fault = [&](int n) { return n >= kFaultSamples && n >= kFaultShare * count; };
        const auto number = [&](int b) { return std::to_string(breps[std::size_t(b)].number); };
        if (byBrep.empty()) {
            if (count >= kFaultSamples)
                faults.push_back(areaName(area) + " " + FailureMessages::kAreaWithoutFace);
            continue;
        }
        if (fault(bare))
            faults.push_back(areaName(area) + " " + FailureMessages::kAreaPartlyBare + " over " +
                             percent(double(bare) / count) + " % of it, beside face " +
                             number(byBrep.begin()->first));
        for (const auto& [pair, n] : byPair)
            if (fault(n)) {
                faults.push_back(areaName(area) + " " + FailureMessages::kAreaUnderTwoFaces + ", " +
                                 number(pair.first) + " and " + number(pair.second) + ", over " +
                                 percent(double(n) / count) + " % of it");
                break;
            }
    }
    for (std::size_t b = 0; b < breps.size(); ++b) {
        std::vector<int> over;
        for (const auto& [area, n] : areasOfBrep[b])
            if (n >= kFaultSamples && n >= kFaultShare * double(judgedCount[std::size_t(area)]))
                over.push_back(area);
        if (over.size() < 2)
            continue;
        std::string line = "Face " + std::to_string(breps[b].number) + " " +
                           FailureMessages::kFaceOverTwoAreas + ":";
        for (std::size_t k = 0; k < over.size(); ++k) {
            line += k == 0 ? " within its junctions " : " and within its junctions ";
            line += corners(over[k]);
        }
        faults.push_back(line);
    }
    return result;
}
