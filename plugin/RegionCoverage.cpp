#include "plugin/RegionCoverage.h"

#include "curves/ParCurve.h"
#include "foundation/Containers.h"
#include "geometry/FitHelpers.h"
#include "geometry/NurbsSurf.h"
#include "geometry/ParametricGeometry.h"
#include "mesh/BaseMesh.h"
#include "mesh/GridPoint.h"
#include "mesh/MeshProjection.h"
#include "mesh/SpatialHash.h"
#include "mesh/VertexFacets.h"
#include "net/Face.h"
#include "net/FaceApproximation.h"
#include "net/FaceRecords.h"
#include "net/FailureMessages.h"
#include "net/PointList.h"
#include "net/SurfaceNet.h"
#include "net/Topology.h"
#include "platform/on/Brep.h"
#include "plugin/BoxTree.h"
#include "plugin/OpenNurbsConversion.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <tuple>
#include <utility>

namespace {

using P3 = Point3;

// ---- The samples' spacing ---------------------------------------------------------------------
//
// The mesh is sampled coarser the farther from the net's lines: a sample's
// spacing is at most its distance from the lines over kGrade, in levels each
// twice as coarse as the one before (a quarter of a fit tolerance first,
// kept from half a tolerance off a line on, so that a strip a tolerance wide
// has samples), kLevels of them. Beside a line, on its sheet, the samples
// are no finer than the wide level (kWideLevel, a tolerance apart and kept
// from two tolerances off the line on) unless the place is narrow: the way
// on from it across its nearest line, to kNarrowReach times the wide level's
// reach off that line, passes another line (crosses it on the sheet, off it
// within kNarrowSlack of how far along: a line on a sheet curved along the
// way lies below or above it). A strip up to some ten tolerances wide, a
// sliver and an acute corner take the finer levels; a place is wide only
// where the wide level's samples lie well inside it, so that the finer
// samples of a narrowing strip reach those of its wide part. The samples
// number about the lines' length over the wide spacing, whatever the net's
// size against its tolerance.
constexpr double kSpacingShare = 0.25;
constexpr double kGrade = 2.5;
constexpr int kLevels = 8;
constexpr int kWideLevel = 2;
constexpr double kNarrowReach = 2.0;
constexpr double kNarrowSlack = 0.5;
constexpr double kBeyondShare = 1.01;
constexpr double kSkipShare = 0.2;
// The mesh's facets are halved into pieces no longer than this share of the
// spacing, and the pieces in a cube of it are one sample: about one piece a
// cube, and a sample a spacing or two from its neighbours.
constexpr double kPieceShare = 2.0;
// A sample lies beside its nearest line, on the line's sheet, where its way
// from the line lies within 30 degrees of its facets' plane.
constexpr double kBesideShare = 0.5;
// The samples beside the lines face alike where the sum of their normals by
// area is at least this share of their area (a part's walls all round the
// net face every way).
constexpr double kAlikeShare = 0.25;
// A sample lies under a line (or over it) where its way from the line's
// nearest point runs along the normal of the sheet the line was drawn on,
// within 25 degrees: on a sheet stacked below the line's (the far skin of
// a thin part, a web inside it) or a wall hanging under the line. The
// lines part no such sheet, and what lies on it is not judged.
constexpr double kUnderShare = 0.9;
// A sample within kDropShare of its spacing of a line is left out; two
// samples within kLinkShare of the sum of their spacings are of one area,
// unless the chord between them passes a line: nearer than kNearShare of
// the nearer sample's distance, for samples facing alike, or than
// kPartShare of the larger spacing, for samples across a crease (the rim
// of a part that a line runs along, where samples on either side of the
// line lie nearer than their distances from it add up to).
constexpr double kDropShare = 2.0;
constexpr double kLinkShare = 1.75;
constexpr double kPartShare = 1.9;
constexpr double kNearShare = 0.9;
// Samples facing apart by about 84 degrees or more join only across a fold
// of the mesh of less than 120 degrees, where a facet of one and a facet of
// the other share a side (a step's wall and the sheets it stands on and
// carries; not the two sides of a sharp edge), and only where the areas
// they make one do not face apart by 120 degrees or more as a whole (a thin
// part's rim joins one of its skins, never both): two sheets that merely
// lie near (the two sides of a thin part, a limb folded against a body)
// never join. Others join only along their sheet: not where the chord
// between them leaves both their planes the same way by more than
// kSheetOffShare tolerances and a hundredth of its length (a second sheet
// stacked over the first, or crossing under it at a slant). Samples facing
// alike are those within 25 degrees.
constexpr double kOppositeFacing = 0.1;
constexpr double kFoldApartFacing = -0.5;
constexpr double kAlikeFacing = 0.9;
constexpr double kSheetOffShare = 0.5;
constexpr double kSheetSlope = 0.01;
// How far off the mesh (in tolerances) a line's curve is followed down onto
// it: lines drawn through junctions far apart across a wave run under its
// crests by several tolerances.
constexpr double kLineOffMeshShare = 10.0;
// The step of the points of a line whose feet on the mesh are sought, in
// tolerances.
constexpr double kFootStepShare = 2.0;
// A line is also taken at the height of the chords between its points (the
// grid points drawn on the mesh) up to this many tolerances apart: its
// curve, fitted to the mesh, may fall onto another sheet near by (the far
// side of a thin part) between them.
constexpr double kChordShare = 20.0;

// ---- The Breps over the samples ---------------------------------------------------------------
//
// A Brep lies over a sample where the sample's foot on the Brep's surface,
// along the surface's normal, lies inside its trim: the surface is taken in
// cells inside the trim, each standing for the disk of kDiskShare of its
// size about its middle, a cell as wide as its distance from the edges over
// kBrepGrade; the cells the edges cross, as wide as the samples beside a
// line alone, stand for the points whose foot on the surface (by up to
// kFootSteps Newton steps, straight off it within kFootSlackShare
// tolerances) lies inside the trim, however narrow the region. Of the Breps
// over a sample within kReachShare tolerances, those within kSheetMargin
// tolerances of the nearest lie over it (a stacked sheet's Brep lies
// farther by the sheets' distance). A sample no Brep lies over within the
// reach, but one does farther along its normal (the top of a spike, of a
// column standing on the sheet, of a rib), lies off the Brep: that is the
// Brep's distance from the mesh, which the commit measures and names, and
// the sample is not judged here.
constexpr double kBrepGrade = 1.25;
constexpr double kDiskShare = 0.8;
constexpr int kFootSteps = 8;
constexpr double kFootSlackShare = 0.05;
constexpr double kReachShare = 3.0;
constexpr double kSheetMargin = 1.0;
// A cell's extent taken as its middle's derivatives give it, times this;
// and the cells a Brep face is parted into at the most.
constexpr double kCellSlack = 1.25;
constexpr std::size_t kMostBrepCells = std::size_t(1) << 20;

// ---- The verdicts -----------------------------------------------------------------------------
//
// An area is judged to lie bare, or under two faces, where at least
// kFaultSamples finest samples' area and kFaultShare of its judged area do.
constexpr double kFaultSamples = 4.0;
constexpr double kFaultShare = 0.02;
// An area whose samples stand for less than the least region (the net's
// topology gives a sliver to its neighbour) is not judged; an area with no
// judged sample (narrower than the band along its lines on both sides) is
// judged on its middle samples, farther than kMiddleShare of its largest
// distance from the lines.
constexpr double kMiddleShare = 0.6;
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
P3 plus(const P3& a, const P3& b)
{
    return {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
}
P3 times(double s, const P3& a)
{
    return {s * a[0], s * a[1], s * a[2]};
}
P3 cross(const P3& a, const P3& b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double length(const P3& a)
{
    return std::sqrt(dot(a, a));
}
double distance(const P3& a, const P3& b)
{
    return length(minus(a, b));
}
P3 unit(const P3& a)
{
    const double l = length(a);
    return l > 0.0 ? times(1.0 / l, a) : P3{0.0, 0.0, 0.0};
}

P3 toP3(const Vector& v)
{
    return {v.n > 0 ? v[0] : 0.0, v.n > 1 ? v[1] : 0.0, v.n > 2 ? v[2] : 0.0};
}
template <class T> P3 toP3(const CVertex<T, 3>& v)
{
    return {double(v.data[0]), double(v.data[1]), double(v.data[2])};
}
template <class T> P3 toP3(const CVector<T, 3>& v)
{
    return {double(v.data[0]), double(v.data[1]), double(v.data[2])};
}

// The box of a point inflated by `radius` across the unit direction n and
// by `reach` along it: the box of the cylinder of that radius and
// half-height about the point.
Box3 cylinderBox(const P3& p, const P3& n, double radius, double reach)
{
    Box3 box;
    for (std::size_t k = 0; k < 3; ++k) {
        const double across = std::sqrt(std::max(0.0, 1.0 - n[k] * n[k]));
        const double half = reach * std::fabs(n[k]) + radius * across;
        box.lo[k] = p[k] - half;
        box.hi[k] = p[k] + half;
    }
    return box;
}

// Poly-lines of points (the net's lines, a Brep's edges, a region's sides)
// as segments in a box tree: the distance from a point to the nearest
// segment, and the least distance across a direction.
class Segments {
public:
    // Adds the poly-line, with the normal of the sheet it lies on (none:
    // zero).
    void add(const std::vector<P3>& line, const P3& normal = {0.0, 0.0, 0.0})
    {
        if (line.size() == 1)
            m_segments.emplace_back(line[0], line[0]);
        for (std::size_t k = 0; k + 1 < line.size(); ++k)
            m_segments.emplace_back(line[k], line[k + 1]);
        m_normals.resize(m_segments.size(), normal);
    }
    void build()
    {
        std::vector<Box3> boxes;
        boxes.reserve(m_segments.size());
        for (const auto& [a, b] : m_segments) {
            Box3 box;
            for (std::size_t k = 0; k < 3; ++k) {
                box.lo[k] = std::min(a[k], b[k]);
                box.hi[k] = std::max(a[k], b[k]);
            }
            boxes.push_back(box);
        }
        m_tree.build(std::move(boxes));
    }
    bool empty() const { return m_segments.empty(); }
    // The distance to the nearest segment within `within`, else within.
    double nearest(const P3& p, double within) const
    {
        return m_tree.nearest(p, within, [&](int s, const P3& q) { return toSegment(s, q); })
            .first;
    }
    // The same, with the point of that segment nearest p (p itself when
    // none lies within) and the normal of the sheet it lies on (zero when
    // none, or none given).
    double nearest(const P3& p, double within, P3& foot, P3* normal = nullptr) const
    {
        const auto [d, s] =
            m_tree.nearest(p, within, [&](int k, const P3& q) { return toSegment(k, q); });
        foot = s >= 0 ? footOn(s, p) : p;
        if (normal != nullptr)
            *normal = s >= 0 ? m_normals[std::size_t(s)] : P3{0.0, 0.0, 0.0};
        return d;
    }
    // Whether a segment crosses the straight way from a to b on a sheet of
    // unit normal n, beyond `skip` from a (the line the way leaves, and the
    // copies of it, lie behind): passing it sideways (across n and the way)
    // within `least`, and along n within `slack` of how far along it lies
    // and `least` (a line drawn on a sheet curved along the way lies below
    // or above a straight way across it).
    bool crossed(const P3& a, const P3& b, const P3& n, double slack, double least,
                 double skip) const
    {
        const double wayLength = distance(a, b);
        const P3 side = unit(cross(n, minus(b, a)));
        const P3 radius = {least + slack * wayLength * std::fabs(n[0]),
                           least + slack * wayLength * std::fabs(n[1]),
                           least + slack * wayLength * std::fabs(n[2])};
        return m_tree.alongSegment(a, b, radius, [&](int s) {
            const auto [t, gap] = closestOnWay(s, a, b);
            return t * wayLength > skip && std::fabs(dot(gap, side)) <= least &&
                   std::fabs(dot(gap, n)) <= slack * t * wayLength + least;
        });
    }
    // The least distance across the unit direction n (the part along n not
    // counted) from p to the points of the segments that lie within
    // `radius` of p; radius when none does.
    double nearestAcross(const P3& p, const P3& n, double radius) const
    {
        double best = radius;
        m_tree.within(p, radius, [&](int s) {
            const P3 &a = m_segments[std::size_t(s)].first, &b = m_segments[std::size_t(s)].second;
            best = std::min(best,
                            segmentDistanceAcross(a.data(), b.data(), p.data(), n.data(), radius));
        });
        return best;
    }

private:
    P3 footOn(int s, const P3& p) const
    {
        const P3 &a = m_segments[std::size_t(s)].first, &b = m_segments[std::size_t(s)].second;
        const P3 d = minus(b, a);
        const double length2 = dot(d, d);
        const double t = length2 > 0.0 ? std::clamp(dot(minus(p, a), d) / length2, 0.0, 1.0) : 0.0;
        return plus(a, times(t, d));
    }
    double toSegment(int s, const P3& p) const { return distance(p, footOn(s, p)); }
    // The share along the way from a to b of the point nearest segment s,
    // and the way from that point to the segment's nearest point.
    std::pair<double, P3> closestOnWay(int s, const P3& a, const P3& b) const
    {
        const P3 &c = m_segments[std::size_t(s)].first, &e = m_segments[std::size_t(s)].second;
        const P3 u = minus(b, a), v = minus(e, c), w = minus(a, c);
        const double uu = dot(u, u), uv = dot(u, v), vv = dot(v, v), uw = dot(u, w),
                     vw = dot(v, w);
        const double det = uu * vv - uv * uv;
        double t = det > 1e-12 * uu * vv ? std::clamp((uv * vw - vv * uw) / det, 0.0, 1.0) : 0.0;
        double r = vv > 0.0 ? std::clamp((uv * t + vw) / vv, 0.0, 1.0) : 0.0;
        t = uu > 0.0 ? std::clamp((uv * r - uw) / uu, 0.0, 1.0) : 0.0;
        return {t, minus(plus(c, times(r, v)), plus(a, times(t, u)))};
    }
    std::vector<std::pair<P3, P3>> m_segments;
    std::vector<P3> m_normals;
    BoxTree m_tree;
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

// A stretch of a poly-line between two of its entries: the points of its
// curve about a step apart (the entries themselves without a curve), the
// same points at the height of the chord between the entries (along their
// mean normal; none where the entries lie far apart or carry no normal),
// and the normal of the sheet it was drawn on (its entries' mean; none for
// entries that carry none); the entry it starts at (-1 for a lone point).
struct Stretch {
    std::vector<P3> points, lifted;
    P3 normal{0.0, 0.0, 0.0};
    int entry = -1;
};

// The stretches of the poly-lines (each poly-line with the entry a stretch
// starts at) the faces' loops run along: the pieces of the net's topology.
// A piece the topology passed over (drawn again within the least region's
// width of another between the same two places, a spur, a line that bounds
// no face) bounds no region.
std::set<std::pair<const COffset_PointList*, int>> regionStretches(const GB::CSurfaceNet& net)
{
    std::set<std::pair<const COffset_PointList*, int>> stretches;
    for (const GB::Face* face = net.firstFace; face != nullptr; face = face->next) {
        std::vector<const GB::Loop*> loops;
        for (const GB::Loop* loop = face->firstLoop; loop != nullptr; loop = loop->next)
            loops.push_back(loop);
        for (const std::unique_ptr<GB::Loop>& hole : face->holes)
            loops.push_back(hole.get());
        for (const GB::Loop* loop : loops)
            for (const GB::Loop::RingRun& run : loop->ringRuns()) {
                const int count = run.polyLine != nullptr ? run.polyLine->vertices.count : 0;
                for (int k = std::min(run.from, run.to); count > 0 && k < std::max(run.from, run.to);
                     ++k)
                    stretches.insert({run.polyLine, k % count});
            }
    }
    return stretches;
}

// The stretches of the poly-line, each sampled on its own (the entries'
// parameters need not rise: a spur's tip), their points about `step` apart;
// lifted for entries no more than `longest` apart: the line at the height
// of the points drawn on the mesh, where its curve, fitted to the mesh,
// falls onto another sheet near by (the far side of a thin part) but runs
// beside the chord as drawn.
std::vector<Stretch> lineStretches(const COffset_PointList& pl, double step, double longest)
{
    std::vector<Stretch> stretches;
    const int count = pl.vertices.count;
    CParametricGeometry* curve = pl.getCurve();
    const int last = pl.closed ? count : count - 1;
    for (int k = 0; k < last; ++k) {
        const CVertex<float, 3>* a = pl.entryAt(k);
        const CVertex<float, 3>* b = pl.entryAt(k + 1);
        if (a == nullptr || b == nullptr)
            continue;
        Stretch stretch;
        stretch.entry = k;
        const auto* ga = dynamic_cast<const Gridbench::CGridPoint*>(a);
        const auto* gb = dynamic_cast<const Gridbench::CGridPoint*>(b);
        if (ga != nullptr && gb != nullptr)
            stretch.normal = unit(plus(toP3(ga->normal), toP3(gb->normal)));
        const P3 pa = toP3(*a), pb = toP3(*b);
        double ta = 0.0, tb = 0.0;
        const bool onCurve =
            curve != nullptr && pl.entryParameter(k, ta) && pl.entryParameter(k + 1, tb);
        const bool lift = onCurve && length(stretch.normal) > 0.0 && distance(pa, pb) <= longest;
        const int n = std::clamp(int(std::ceil(1.5 * distance(pa, pb) / step)), 1, 400);
        for (int s = 0; s <= n; ++s) {
            const double t = double(s) / n;
            const P3 chord = plus(times(1.0 - t, pa), times(t, pb));
            const P3 p = onCurve ? toP3(curve->getPoint((1.0 - t) * ta + t * tb, 0.0)) : chord;
            stretch.points.push_back(p);
            if (lift)
                stretch.lifted.push_back(
                    plus(p, times(dot(minus(chord, p), stretch.normal), stretch.normal)));
        }
        stretches.push_back(std::move(stretch));
    }
    if (stretches.empty() && count == 1 && pl.vertices[0] != nullptr)
        stretches.push_back({{toP3(*pl.vertices[0])}, {}, {0.0, 0.0, 0.0}, -1});
    return stretches;
}

// A right-handed frame (u, v, n) about the unit vector n.
struct Frame {
    P3 u, v, n;
    explicit Frame(P3 normal)
    {
        n = length(normal) > 0.0 ? unit(normal) : P3{0.0, 0.0, 1.0};
        const P3 axis = std::fabs(n[0]) < 0.6 ? P3{1.0, 0.0, 0.0} : P3{0.0, 1.0, 0.0};
        u = unit(minus(axis, times(dot(axis, n), n)));
        v = cross(n, u);
    }
    P3 local(const P3& p) const { return {dot(p, u), dot(p, v), dot(p, n)}; }
};

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

// The trim loops of a face as (u, v) polygons, by bands of v: a point lies
// inside the trim where the polygons' segments of its band cross its row an
// odd number of times on its left.
class TrimIndex {
public:
    explicit TrimIndex(const std::vector<std::vector<std::array<double, 2>>>& loops)
    {
        double lo = HUGE_VAL, hi = -HUGE_VAL;
        std::size_t count = 0;
        for (const auto& polygon : loops)
            for (const auto& q : polygon) {
                lo = std::min(lo, q[1]);
                hi = std::max(hi, q[1]);
                ++count;
            }
        if (!(hi > lo))
            return;
        const std::size_t bands = std::clamp<std::size_t>(count / 8, 1, 4096);
        m_v0 = lo;
        m_step = (hi - lo) / double(bands);
        m_bands.resize(bands);
        for (const auto& polygon : loops)
            for (std::size_t k = 0; k < polygon.size(); ++k) {
                const auto& a = polygon[k];
                const auto& b = polygon[(k + 1) % polygon.size()];
                const std::size_t first = band(std::min(a[1], b[1]));
                const std::size_t last = band(std::max(a[1], b[1]));
                for (std::size_t j = first; j <= last; ++j)
                    m_bands[j].push_back({a[0], a[1], b[0], b[1]});
            }
    }
    bool inside(double u, double v) const
    {
        if (m_bands.empty() || v < m_v0 || v > m_v0 + m_step * double(m_bands.size()))
            return false;
        bool in = false;
        for (const auto& s : m_bands[band(v)])
            if ((s[1] <= v) != (s[3] <= v) && s[0] + (v - s[1]) / (s[3] - s[1]) * (s[2] - s[0]) < u)
                in = !in;
        return in;
    }

private:
    std::size_t band(double v) const
    {
        const double at = std::floor((v - m_v0) / m_step);
        return std::size_t(std::clamp(at, 0.0, double(m_bands.size() - 1)));
    }
    double m_v0 = 0.0, m_step = 1.0;
    std::vector<std::vector<std::array<double, 4>>> m_bands;
};

// A cell of a Brep's surface: its middle, the surface's normal there, the
// radius of the disk about it that it stands for, the Brep and face it is
// of and its (u, v); an edge cell (one the Brep's edges cross) stands only
// for the points whose foot on the surface lies inside the trim.
struct BrepPoint {
    P3 p, n;
    double radius = 0.0;
    int brep = 0, face = 0;
    double u = 0.0, v = 0.0;
    bool edge = false;
};

// A face of a Brep as the check reads it: its surface and its trim, the
// cells of its surface inside the trim, and whether a point's foot on the
// surface lies inside the trim. The surface's evaluation tables are used.
class BrepFaceShape {
public:
    // False for a face without a NURBS surface or trim loop.
    bool read(const ON_BrepFace& brepFace)
    {
        m_face.reset(faceFromBrepFace(brepFace));
        m_surface = m_face != nullptr ? m_face->getNurbsSurf() : nullptr;
        if (m_surface == nullptr)
            return false;
        // The trim loops as closed (u, v) polygons, each trim curve's (u, v)
        // curve at 256 points (a loop of one closed curve has no chords to
        // facet by).
        std::vector<std::vector<std::array<double, 2>>> loops;
        for (const CLoop* loop : m_face->trimLoops) {
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
                return false;
        }
        if (loops.empty())
            return false;
        m_trim = std::make_unique<TrimIndex>(loops);
        m_lo[0] = m_lo[1] = HUGE_VAL;
        m_hi[0] = m_hi[1] = -HUGE_VAL;
        for (const std::array<double, 2>& q : loops.front())
            for (std::size_t k = 0; k < 2; ++k) {
                m_lo[k] = std::min(m_lo[k], q[k]);
                m_hi[k] = std::max(m_hi[k], q[k]);
            }
        return m_hi[0] > m_lo[0] && m_hi[1] > m_lo[1];
    }

    // The cells of the surface inside the trim, by a (u, v) quadtree:
    // `finest` wide (in space, by the surface's derivatives at a cell's
    // middle) where the Brep's edges cross them, coarser farther from the
    // edges (a cell at most its distance from them over kBrepGrade wide,
    // `coarsest` at most), appended to `cells` as points of brep and face.
    void cells(const Segments& edges, double finest, double coarsest, int brep, int face,
               std::vector<BrepPoint>& out)
    {
        struct Cell {
            double u0, u1, v0, v1;
        };
        std::vector<Cell> cells{{m_lo[0], m_hi[0], m_lo[1], m_hi[1]}};
        std::size_t visited = 0;
        while (!cells.empty()) {
            const Cell c = cells.back();
            cells.pop_back();
            const double uc = 0.5 * (c.u0 + c.u1), vc = 0.5 * (c.v0 + c.v1);
            Vector** d = m_surface->evaluate(1, uc, vc);
            const P3 p = toP3(d[0][0]);
            // The cell's extent in space by the derivatives at its middle,
            // with room for their change across it.
            const double su = kCellSlack * norm(d[1][0]) * (c.u1 - c.u0);
            const double sv = kCellSlack * norm(d[0][1]) * (c.v1 - c.v0);
            const double size = std::max(su, sv);
            const P3 n = unit(cross(toP3(d[1][0]), toP3(d[0][1])));
            // A cell farther from every edge than its size lies wholly inside
            // the trim or wholly outside. Past the budget of cells (a surface
            // folded far off its region), the cells are taken as they stand.
            const double fromEdges = edges.nearest(p, size + kGrade * coarsest);
            if (fromEdges > size || ++visited > kMostBrepCells) {
                if (!m_trim->inside(uc, vc))
                    continue;
                if (size <= std::clamp(fromEdges / kBrepGrade, finest, coarsest) ||
                    visited > kMostBrepCells) {
                    out.push_back({p, n, kDiskShare * size, brep, face, uc, vc, false});
                    continue;
                }
            } else if (size <= finest) {
                out.push_back({p, n, size, brep, face, uc, vc, true});
                continue;
            }
            // The longer side is halved, both where they are alike.
            const bool splitU = su >= 0.5 * sv, splitV = sv >= 0.5 * su;
            for (int i = 0; i < (splitU ? 2 : 1); ++i)
                for (int j = 0; j < (splitV ? 2 : 1); ++j) {
                    Cell child = c;
                    if (splitU) {
                        child.u0 = i == 0 ? c.u0 : uc;
                        child.u1 = i == 0 ? uc : c.u1;
                    }
                    if (splitV) {
                        child.v0 = j == 0 ? c.v0 : vc;
                        child.v1 = j == 0 ? vc : c.v1;
                    }
                    cells.push_back(child);
                }
        }
    }

    // Whether the foot of `at` on the surface, sought from (u, v) by Newton
    // steps, lies inside the trim, straight off it along the surface's
    // normal (within `slack`) and within `within` of it; `along` receives
    // how far along the normal.
    bool footInside(const P3& at, double u, double v, double within, double slack,
                    double& along)
    {
        const Interval du = m_surface->getDomain(0), dv = m_surface->getDomain(1);
        P3 r{0.0, 0.0, 0.0}, n{0.0, 0.0, 0.0};
        for (int step = 0; step < kFootSteps; ++step) {
            Vector** d = m_surface->evaluate(1, u, v);
            const P3 su = toP3(d[1][0]), sv = toP3(d[0][1]);
            r = minus(at, toP3(d[0][0]));
            n = unit(cross(su, sv));
            const double a = dot(su, su), b = dot(su, sv), c = dot(sv, sv);
            const double e = dot(su, r), f = dot(sv, r), det = a * c - b * b;
            if (!(det > 0.0))
                break;
            const double stepU = (c * e - b * f) / det, stepV = (a * f - b * e) / det;
            u = std::clamp(u + stepU, du.min, du.max);
            v = std::clamp(v + stepV, dv.min, dv.max);
            if (std::fabs(stepU) * std::sqrt(a) + std::fabs(stepV) * std::sqrt(c) < 0.01 * slack)
                break;
        }
        const Vector point = m_surface->getPoint(u, v);
        r = minus(at, toP3(point));
        along = dot(r, n);
        return std::fabs(along) <= within && dot(r, r) - along * along <= slack * slack &&
               m_trim->inside(u, v);
    }

private:
    std::unique_ptr<CFace> m_face;
    Fenwo::NurbsSurf* m_surface = nullptr;
    std::unique_ptr<TrimIndex> m_trim;
    double m_lo[2] = {0.0, 0.0}, m_hi[2] = {0.0, 0.0};
};

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

// A face's first loop and its holes.
std::vector<const GB::Loop*> loopsOf(const GB::Face& face)
{
    std::vector<const GB::Loop*> loops;
    if (face.firstLoop != nullptr)
        loops.push_back(face.firstLoop);
    for (const std::unique_ptr<GB::Loop>& hole : face.holes)
        loops.push_back(hole.get());
    return loops;
}

// The sides of the face's region: the boundary curves of its first loop
// and its holes as the face is fitted to them (each run along a poly-line
// one curve, ending at its corners), as points about `step` apart; and the
// nodes of the loops, the junctions and corners the region was drawn
// through.
void regionSides(const GB::Face& face, double step, std::vector<std::vector<P3>>& curves,
                 std::vector<P3>& nodes)
{
    const std::vector<const GB::Loop*> loops = loopsOf(face);
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
// other side of a thin or closed surface) out. The distance across is never
// more than the nearest distance: it is sought only for points nearer than
// the farthest found so far.
double farthestFrom(const std::vector<std::vector<P3>>& from,
                    const std::vector<std::vector<P3>>& to, double reach,
                    const std::function<P3(const P3&)>& normalAt)
{
    Segments lines;
    for (const std::vector<P3>& line : to)
        lines.add(line);
    lines.build();
    double farthest = 0.0;
    for (const std::vector<P3>& line : from)
        for (const P3& p : line) {
            P3 foot = p;
            double d = lines.empty() ? reach : lines.nearest(p, reach, foot);
            if (d <= farthest)
                continue;
            if (d < reach) {
                // The mesh's normal where the point lies, or where its
                // nearest point does (a Brep lifted off the mesh).
                P3 n = normalAt(p);
                if (length(n) == 0.0)
                    n = normalAt(foot);
                d = lines.nearestAcross(p, n, std::min(kTiltReach * d, reach));
            }
            farthest = std::max(farthest, d);
        }
    return farthest;
}

// Each Brep's edges against its region's sides, both ways, across the
// mesh: a side's curve may run off the mesh (a little through a sharp
// corner it was drawn with; under the crests of a wavy mesh between
// junctions drawn far apart), where its edge, put onto the face's surface,
// lies on it; the edge leaves its side where it lies beside it on the mesh.
// The allowance is the fit's slack (edgesOffSidesAllowance), as the sides'
// curves and the faces lie that close to the mesh they were drawn on.
// Hands each Brep's edges back for the Brep's points.
std::vector<std::vector<std::vector<P3>>> checkEdgesAlongSides(GB::CSurfaceNet& net,
                                                               const std::vector<CommittedBrep>& breps,
                                                               double tol, RegionCoverage& result)
{
    // Edge points a quarter tolerance apart mostly meet the same facets.
    Mesh::NearNormalReuse reuse;
    CVector<float, 3> n;
    CVertex<float, 3> at;
    const auto normalAt = [&](const P3& p) {
        for (int k = 0; k < 3; ++k)
            at.data[k] = static_cast<float>(p[std::size_t(k)]);
        if (net.mesh == nullptr || !Mesh::meshNormalNearPoint(net.mesh, at, n, &reuse))
            return P3{0.0, 0.0, 0.0};
        return unit(toP3(n));
    };
    const double step = 0.25 * tol;
    const double allowance = edgesOffSidesAllowance(tol);
    std::vector<std::vector<std::vector<P3>>> allEdges(breps.size());
    for (std::size_t b = 0; b < breps.size(); ++b) {
        const CommittedBrep& committed = breps[b];
        if (committed.brep == nullptr)
            continue;
        allEdges[b] = brepEdgePoints(*committed.brep, step);
        const std::vector<std::vector<P3>>& edges = allEdges[b];
        if (committed.face == nullptr)
            continue;
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
        const double off = std::max(farthestFrom(edges, along, reach, normalAt),
                                    farthestFrom(atNodes, edges, reach, normalAt));
        result.edgesOffSides = std::max(result.edgesOffSides, off);
        if (off > allowance)
            result.faults.push_back("Face " + std::to_string(committed.number) + " " +
                                    FailureMessages::kEdgesOffSides + ": its Brep's edges lie " +
                                    figure(off) + " from them, " + figure(off / tol) +
                                    " x the fit tolerance " + figure(tol) + " where " +
                                    figure(allowance / tol) + " are accepted");
    }
    return allEdges;
}

// Junctions' serials as a name reads them: in order, a space apart.
std::string serialsText(const std::set<long>& serials)
{
    std::string text;
    for (long serial : serials) {
        if (!text.empty())
            text += ' ';
        text += std::to_string(serial);
    }
    return text;
}

// A region named by the junctions its loops pass, else by a point of its
// outer loop.
std::string regionName(const GB::Face& face)
{
    std::set<long> serials;
    const CVertex<float, 3>* first = nullptr;
    for (const GB::Loop* loop : loopsOf(face)) {
        Kor::List<CVertex<float, 3>*> nodes;
        loop->getNodePoints(nodes);
        for (const CVertex<float, 3>* p : nodes) {
            if (p == nullptr)
                continue;
            if (first == nullptr)
                first = p;
            const auto* g = dynamic_cast<const Gridbench::CGridPoint*>(p);
            if (g != nullptr && g->useCount > 1)
                serials.insert(g->serial);
        }
    }
    if (!serials.empty())
        return "The area within the net's junctions " + serialsText(serials);
    if (first == nullptr)
        return "An area of the net";
    const P3 at = toP3(*first);
    return "The area round " + figure(at[0]) + " " + figure(at[1]) + " " + figure(at[2]);
}

// The outlines of the net's regions (each face's loops, as their sides'
// curves run) seen along the normal of a frame, by their boxes: the first
// region, in the net's order, a point of the frame's plane lies inside (its
// row crosses an odd number of the region's sides on its left).
class RegionOutlines {
public:
    RegionOutlines(const GB::CSurfaceNet& net, const Frame& frame, double step)
    {
        for (const GB::Face* face = net.firstFace; face != nullptr; face = face->next) {
            std::vector<std::vector<P3>> curves;
            std::vector<P3> nodes;
            regionSides(*face, step, curves, nodes);
            Region region;
            for (const std::vector<P3>& curve : curves)
                for (std::size_t k = 0; k + 1 < curve.size(); ++k) {
                    const P3 a = frame.local(curve[k]), b = frame.local(curve[k + 1]);
                    region.sides.push_back({a[0], a[1], b[0], b[1]});
                    region.heights.push_back({a[2], b[2]});
                    for (const P3& q : {a, b})
                        for (std::size_t c = 0; c < 2; ++c) {
                            region.lo[c] = std::min(region.lo[c], q[c]);
                            region.hi[c] = std::max(region.hi[c], q[c]);
                        }
                }
            region.face = face;
            if (!region.sides.empty())
                m_regions.push_back(std::move(region));
        }
        std::vector<Box3> boxes;
        for (const Region& region : m_regions)
            boxes.push_back({{region.lo[0], region.lo[1], 0.0}, {region.hi[0], region.hi[1], 0.0}});
        m_tree.build(std::move(boxes));
    }
    // The region q (in the frame) lies inside, -1 for none.
    int regionOf(const P3& q) const
    {
        int first = -1;
        m_tree.containing({q[0], q[1], 0.0}, [&](int r) {
            if ((first < 0 || r < first) && inside(r, q))
                first = r;
        });
        return first;
    }
    // Of the regions q (in the frame) lies inside, the one on q's sheet: of
    // regions stacked along the frame's normal (the sheets of a thin part,
    // one over another), the one whose side nearest to q in the frame's
    // plane lies nearest to q's height there; -1 for none.
    int nearestRegionOf(const P3& q) const
    {
        int nearest = -1;
        double least = HUGE_VAL;
        m_tree.containing({q[0], q[1], 0.0}, [&](int r) {
            if (!inside(r, q))
                return;
            const Region& region = m_regions[std::size_t(r)];
            double across = HUGE_VAL, height = 0.0;
            for (std::size_t k = 0; k < region.sides.size(); ++k) {
                const auto& s = region.sides[k];
                const double a[2] = {s[0], s[1]}, b[2] = {s[2], s[3]};
                double t = 0.0;
                const double d = pointSegmentDistance(a, b, q.data(), 2, &t); // squared
                t = std::clamp(t, 0.0, 1.0);
                if (d < across) {
                    across = d;
                    height = region.heights[k][0] + t * (region.heights[k][1] - region.heights[k][0]);
                }
            }
            const double off = std::fabs(q[2] - height);
            if (off < least) {
                least = off;
                nearest = r;
            }
        });
        return nearest;
    }

    int count() const { return int(m_regions.size()); }
    const GB::Face* faceOf(int r) const { return m_regions[std::size_t(r)].face; }

private:
    bool inside(int r, const P3& q) const
    {
        bool in = false;
        for (const auto& s : m_regions[std::size_t(r)].sides)
            if ((s[1] <= q[1]) != (s[3] <= q[1]) &&
                s[0] + (q[1] - s[1]) / (s[3] - s[1]) * (s[2] - s[0]) < q[0])
                in = !in;
        return in;
    }
    struct Region {
        const GB::Face* face = nullptr;
        std::vector<std::array<double, 4>> sides;
        std::vector<std::array<double, 2>> heights; // of the sides' ends along the normal
        double lo[2] = {HUGE_VAL, HUGE_VAL}, hi[2] = {-HUGE_VAL, -HUGE_VAL};
    };
    std::vector<Region> m_regions;
    BoxTree m_tree;
};

// ---- The mesh's samples -----------------------------------------------------------------------

// A sample of the mesh: where it lies, its normal (the mean of the facets
// it stands for), the area it stands for, its distance from the lines and
// its level of spacing; whether it is kept (off the lines), judged (beyond
// the band along them) and seeds the outside.
struct Sample {
    P3 p, n;
    P3 offLine{0.0, 0.0, 0.0};    // from the nearest point of the lines
    P3 lineNormal{0.0, 0.0, 0.0}; // of the sheet that line was drawn on
    double weight = 0.0;
    double fromLines = 0.0;
    int level = 0;
    // The facets it stands for: [firstFacet, firstFacet + facets) of the
    // samples' facet list (SampleFacets).
    int firstFacet = 0, facets = 0;
    bool kept = false, judged = false, seed = false;
};

// What judging the areas needs of a sample once they are found: where it
// lies, the area it stands for, its distance from the lines and its level,
// and whether it is judged.
struct JudgedSample {
    P3 p;
    double weight = 0.0, fromLines = 0.0;
    int level = 0;
    bool judged = false;
};

// The facets the samples stand for, each sample's ascending, and the mesh's
// sides between facets: whether two samples meet across a fold.
class SampleFacets {
public:
    explicit SampleFacets(Mesh::CBaseMesh& mesh) : m_table(Mesh::CVertexFacets::of(mesh)) {}
    std::vector<int> list;
    // Whether a facet of a and a facet of b share a side of the mesh.
    bool meet(const Sample& a, const Sample& b) const
    {
        const auto* from = list.data() + b.firstFacet;
        const auto* to = from + b.facets;
        for (int k = a.firstFacet; k < a.firstFacet + a.facets; ++k) {
            const int f = list[std::size_t(k)];
            const std::span<const int> corners = m_table.corners(f);
            for (std::size_t c = 0; c < corners.size(); ++c) {
                m_table.across(f, corners[c], corners[(c + 1) % corners.size()], m_across);
                for (int g : m_across)
                    if (std::binary_search(from, to, g))
                        return true;
            }
        }
        return false;
    }

private:
    const Mesh::CVertexFacets& m_table;
    mutable std::vector<int> m_across;
};

// What the samples are spaced by: the finest spacing, the box they are
// taken in (in the frame), the band along the lines left unjudged.
struct Sampling {
    Sampling(double finestSpacing, double edgeSlack) : finest(finestSpacing), slack(edgeSlack)
    {
        for (int level = 0; level <= kLevels; ++level)
            spacings[std::size_t(level)] = std::ldexp(finest, level);
    }
    double finest = 0.0;
    double slack = 0.0; // how far a Brep's edge may lie from its side
    // Each level's spacing, and the one beyond the last (a dropped piece's).
    std::array<double, kLevels + 1> spacings{};
    double spacing(int level) const
    {
        return level >= 0 && level <= kLevels ? spacings[std::size_t(level)]
                                              : std::ldexp(finest, level);
    }
    // The level of a point `fromLines` from the lines.
    int levelAt(double fromLines) const
    {
        const double want = fromLines / kGrade;
        int level = 0;
        while (level + 1 < kLevels && spacing(level + 1) <= want)
            ++level;
        return level;
    }
    double band(int level) const { return slack + spacing(level); }
};

// A cube of space at a level of spacing, and a facing class (the axis and
// sign of a normal's largest part): the key of the samples thinned into one.
struct CubeKey {
    std::int64_t x, y, z;
    int level;
    bool operator==(const CubeKey& o) const
    {
        return x == o.x && y == o.y && z == o.z && level == o.level;
    }
};
CubeKey cubeOf(const P3& p, double cell, int level)
{
    return {std::int64_t(std::floor(p[0] / cell)), std::int64_t(std::floor(p[1] / cell)),
            std::int64_t(std::floor(p[2] / cell)), level};
}
int facingClass(const P3& n)
{
    std::size_t axis = 0;
    for (std::size_t k = 1; k < 3; ++k)
        if (std::fabs(n[k]) > std::fabs(n[axis]))
            axis = k;
    return int(axis) * 2 + (n[axis] < 0.0 ? 1 : 0);
}

// Whether the way on from `at` (`fromLines` off the lines) across its
// nearest line (at `foot`), on its sheet of normal n, to the wide level's
// narrow reach off that line passes another line, or another part of the
// line, within `beside` of it across the sheet: the far side of a strip, a
// sliver's other line, the other side of an acute corner (not the other
// side of a square corner, which runs along the way: its wedge widens into
// the region's wide part).
bool narrowAt(const Segments& lines, const P3& at, const P3& foot, const P3& n, double fromLines,
              double beside, const Sampling& sampling)
{
    if (!(fromLines > 0.0))
        return false;
    const double reach = kNarrowReach * kGrade * sampling.spacing(kWideLevel);
    const P3 across = times(1.0 / fromLines, minus(at, foot));
    // The way starts beyond `beside` of the nearest line, which it leaves.
    const double from = std::max(fromLines, kBeyondShare * beside);
    return from < reach && lines.crossed(plus(foot, times(from, across)),
                                         plus(foot, times(reach, across)), n, kNarrowSlack, beside,
                                         kSkipShare * sampling.spacing(1));
}

// The samples of the mesh's facets in the box (in the frame): each facet's
// triangles (a polygon's fan) halved until they are no larger than
// kPieceShare times the spacing of their distance from the lines, each
// piece a point at its middle; the points of one level that fall into one
// cube of its spacing and face alike are one sample, standing for their
// area, at the first one's place (in the facets' order), and for their
// facets (listed in `sampleFacets`). A sample of a piece the box's side
// walls cut seeds the outside (the mesh runs on beyond the box), its middle
// inside the box or not.
std::vector<Sample> sampleMesh(Mesh::CBaseMesh& mesh, const Frame& frame, const double boxLo[3],
                               const double boxHi[3], const Segments& lines,
                               const Sampling& sampling, SampleFacets& sampleFacets)
{
    // The pieces are thinned into their cubes' samples as they come, each
    // cube's sample at its first piece's place, with the sum of the pieces'
    // normals and areas in the pieces' order; each cube's facets are kept
    // beside its number once each, ascending as the facets come in order.
    // A mesh makes many more pieces than samples.
    struct CubeHash {
        std::size_t operator()(const CubeKey& k) const
        {
            return std::size_t(Mesh::cellKeyHash(int(k.x), int(k.y), int(k.z)) ^
                               std::uint64_t(k.level) * 0x9E3779B97F4A7C15ull);
        }
    };
    // Each cube's sample, key and last facet, by the cube's number.
    std::vector<Sample> samples;
    std::vector<CubeKey> keys;
    std::vector<int> lastFacets;
    std::vector<std::pair<std::size_t, int>> cubeFacets;
    // Each cube's number by its key: a table of numbers plus one (0 for an
    // empty slot), at most half full, searched from the slot the key's hash
    // gives (Fibonacci hashing over the table's power-of-two size). At a
    // fine tolerance the cubes are millions, and a node of a hash map for
    // each weighed more than half what its sample does.
    std::vector<std::size_t> cubeTable(std::size_t(1) << 10, 0);
    int tableBits = 10;
    const auto slotOf = [&](const CubeKey& key) {
        return std::size_t((std::uint64_t(CubeHash()(key)) * 0x9E3779B97F4A7C15ull) >>
                           (64 - tableBits));
    };
    const auto place = [&](std::size_t cube) {
        const std::size_t mask = cubeTable.size() - 1;
        std::size_t slot = slotOf(keys[cube]);
        while (cubeTable[slot] != 0)
            slot = (slot + 1) & mask;
        cubeTable[slot] = cube + 1;
    };
    // The number of the key's cube, and whether the cube is new (numbered
    // next: the samples' count).
    const auto cubeOfKey = [&](const CubeKey& key) -> std::pair<std::size_t, bool> {
        const std::size_t mask = cubeTable.size() - 1;
        std::size_t slot = slotOf(key);
        for (; cubeTable[slot] != 0; slot = (slot + 1) & mask)
            if (keys[cubeTable[slot] - 1] == key)
                return {cubeTable[slot] - 1, false};
        return {samples.size(), true};
    };
    const double coarsest = sampling.spacing(kLevels - 1);
    const auto inBox = [&](const P3& q, double margin) {
        bool inside = true;
        for (int m = 0; m < 3; ++m)
            inside = inside && q[std::size_t(m)] >= boxLo[m] - margin &&
                     q[std::size_t(m)] <= boxHi[m] + margin;
        return inside;
    };
    struct Triangle {
        P3 a, b, c;
    };
    std::vector<Triangle> pieces;
    std::vector<P3> corners;
    const int facets = mesh.getFacetCount();
    // A corner and a normal read last, made once for the mesh.
    Mesh::CBaseMesh::Point c;
    Mesh::CBaseMesh::Direction facetNormal;
    for (int f = 0; f < facets; ++f) {
        const int size = mesh.getFacetSize(f);
        if (size < 3)
            continue;
        corners.clear();
        double flo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, fhi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
        for (int k = 0; k < size; ++k) {
            if (!mesh.getFacetCorner(f, k, c))
                break;
            corners.push_back(toP3(c));
            const P3 q = frame.local(corners.back());
            for (int j = 0; j < 3; ++j) {
                flo[j] = std::min(flo[j], q[std::size_t(j)]);
                fhi[j] = std::max(fhi[j], q[std::size_t(j)]);
            }
        }
        bool inside = int(corners.size()) == size;
        for (int j = 0; j < 3; ++j)
            inside = inside && fhi[j] >= boxLo[j] && flo[j] <= boxHi[j];
        if (!inside)
            continue;
        if (!mesh.getFacetNormal(f, facetNormal))
            continue;
        const P3 n = unit(toP3(facetNormal));
        for (int t = 1; t + 1 < size; ++t) {
            pieces.assign(1, {corners[0], corners[std::size_t(t)], corners[std::size_t(t) + 1]});
            while (!pieces.empty()) {
                const Triangle tri = pieces.back();
                pieces.pop_back();
                const double longest =
                    std::max({distance(tri.a, tri.b), distance(tri.b, tri.c), distance(tri.c, tri.a)});
                const P3 middle = times(1.0 / 3.0, plus(plus(tri.a, tri.b), tri.c));
                P3 foot = middle, lineNormal{0.0, 0.0, 0.0};
                const double fromLines =
                    lines.empty() ? HUGE_VAL
                                  : lines.nearest(middle, longest + kGrade * 2.0 * coarsest, foot,
                                                  &lineNormal);
                // The piece's points lie within two thirds of its longest
                // side of its middle. The finest level is for narrow places
                // only; a piece wholly within the reach of the lines where
                // samples are left out counts only for the areas' sizes, a
                // level coarser.
                // Beside a line, on its sheet, whether the place is narrow
                // is asked of pieces no larger than the wide level's pieces
                // or their distance from the line, for all their points (the
                // ways across from them, a band as wide as the piece).
                int level = sampling.levelAt(std::max(0.0, fromLines - longest));
                bool undecided = false;
                if (level < kWideLevel &&
                    std::fabs(dot(minus(middle, foot), n)) <= kBesideShare * fromLines) {
                    if (longest > std::max(kPieceShare * sampling.spacing(kWideLevel), fromLines))
                        undecided = true;
                    else if (!narrowAt(lines, middle, foot, n, fromLines,
                                       0.5 * (sampling.finest + longest), sampling))
                        level = kWideLevel;
                }
                const bool dropped = fromLines + longest < kDropShare * sampling.spacing(level);
                const double largest =
                    kPieceShare * sampling.spacing(dropped ? level + 1 : level);
                if (undecided || (longest > largest && longest > sampling.finest)) {
                    const P3 ab = times(0.5, plus(tri.a, tri.b)), bc = times(0.5, plus(tri.b, tri.c)),
                             ca = times(0.5, plus(tri.c, tri.a));
                    pieces.push_back({tri.a, ab, ca});
                    pieces.push_back({ab, tri.b, bc});
                    pieces.push_back({ca, bc, tri.c});
                    pieces.push_back({ab, bc, ca});
                    continue;
                }
                // A piece the box's side walls cut (across the net's normal)
                // seeds the outside; one rising through its top or bottom
                // (a column standing on the sheet) does not.
                bool atWall = false;
                for (const P3& corner : {tri.a, tri.b, tri.c}) {
                    const P3 q = frame.local(corner);
                    for (int m = 0; m < 2; ++m)
                        atWall = atWall || q[std::size_t(m)] < boxLo[m] || q[std::size_t(m)] > boxHi[m];
                }
                if (!inBox(frame.local(middle), atWall ? longest : 0.0))
                    continue;
                Sample sample;
                sample.p = middle;
                sample.weight = 0.5 * length(cross(minus(tri.b, tri.a), minus(tri.c, tri.a)));
                sample.n = times(sample.weight, n);
                sample.fromLines = fromLines;
                sample.offLine = minus(middle, foot);
                sample.lineNormal = lineNormal;
                sample.level = level;
                sample.seed = atWall;
                const CubeKey key =
                    cubeOf(middle, sampling.spacing(level), level * 8 + facingClass(n));
                const auto [at, added] = cubeOfKey(key);
                if (added) {
                    samples.push_back(sample);
                    keys.push_back(key);
                    lastFacets.push_back(-1);
                    if (2 * samples.size() > cubeTable.size()) {
                        cubeTable.assign(cubeTable.size() * 2, 0);
                        ++tableBits;
                        for (std::size_t cube = 0; cube < keys.size(); ++cube)
                            place(cube);
                    } else {
                        place(at);
                    }
                } else {
                    Sample& cube = samples[at];
                    cube.n = plus(cube.n, sample.n);
                    cube.weight += sample.weight;
                    cube.seed = cube.seed || sample.seed;
                }
                if (lastFacets[at] != f)
                    cubeFacets.emplace_back(at, f);
                lastFacets[at] = f;
            }
        }
    }
    release(cubeTable);
    release(lastFacets);
    // The samples in the order of their cubes, each with its facets
    // ascending.
    const std::size_t count = samples.size();
    std::vector<std::size_t> order(count);
    for (std::size_t k = 0; k < count; ++k)
        order[k] = k;
    std::sort(order.begin(), order.end(), [&keys](std::size_t i, std::size_t j) {
        const CubeKey &x = keys[i], &y = keys[j];
        return std::tie(x.level, x.x, x.y, x.z) < std::tie(y.level, y.x, y.y, y.z);
    });
    release(keys);
    // Each cube's facets together, in the order they came.
    std::vector<std::size_t> facetsFrom(count + 1, 0);
    for (const auto& [cube, facet] : cubeFacets)
        ++facetsFrom[cube + 1];
    for (std::size_t k = 0; k < count; ++k)
        facetsFrom[k + 1] += facetsFrom[k];
    std::vector<int> byCube(cubeFacets.size());
    std::vector<std::size_t> next(facetsFrom.begin(), facetsFrom.end() - 1);
    for (const auto& [cube, facet] : cubeFacets)
        byCube[next[cube]++] = facet;
    release(cubeFacets);
    release(next);
    sampleFacets.list.reserve(byCube.size());
    for (std::size_t k : order) {
        Sample& s = samples[k];
        s.firstFacet = int(sampleFacets.list.size());
        sampleFacets.list.insert(sampleFacets.list.end(), byCube.begin() + long(facetsFrom[k]),
                                 byCube.begin() + long(facetsFrom[k + 1]));
        s.facets = int(sampleFacets.list.size()) - s.firstFacet;
        s.n = unit(s.n);
    }
    // The samples put into that order where they stand, cycle by cycle
    // (sample i becomes the one at order[i]): at a fine tolerance they run
    // to millions, and a sorted copy would hold them twice.
    std::vector<bool> placed(count, false);
    for (std::size_t start = 0; start < count; ++start) {
        if (placed[start])
            continue;
        const Sample first = samples[start];
        std::size_t at = start;
        for (;;) {
            placed[at] = true;
            const std::size_t from = order[at];
            if (from == start) {
                samples[at] = first;
                break;
            }
            samples[at] = samples[from];
            at = from;
        }
    }
    return samples;
}

// ---- The areas --------------------------------------------------------------------------------

// The samples' areas (union-find), each with the sum of its samples'
// normals by area.
class Areas {
public:
    // Of the samples `of` (all of them when empty).
    Areas(const std::vector<Sample>& samples, const std::vector<int>& of)
        : m_parent(of.empty() ? samples.size() : of.size()), m_facing(m_parent.size())
    {
        for (std::size_t i = 0; i < m_parent.size(); ++i) {
            m_parent[i] = int(i);
            const Sample& s = samples[of.empty() ? i : std::size_t(of[i])];
            m_facing[i] = times(s.weight, s.n);
        }
    }
    int rootOf(int i)
    {
        while (m_parent[std::size_t(i)] != i) {
            const int up = m_parent[std::size_t(i)];
            m_parent[std::size_t(i)] = m_parent[std::size_t(up)];
            i = up;
        }
        return i;
    }
    void join(int a, int b)
    {
        a = rootOf(a);
        b = rootOf(b);
        if (a == b)
            return;
        m_parent[std::size_t(std::max(a, b))] = std::min(a, b);
        m_facing[std::size_t(std::min(a, b))] =
            plus(m_facing[std::size_t(a)], m_facing[std::size_t(b)]);
    }
    // Joins the pairs met across folds, once every pair along a sheet is
    // joined, in their order: each only where the two areas it makes one do
    // not face apart as a whole (a sheet and its rim join, but the far skin
    // beyond the rim's second fold faces against both).
    void joinAcrossFolds(const std::vector<std::pair<int, int>>& pairs)
    {
        for (const auto& [a, b] : pairs) {
            const int ra = rootOf(a), rb = rootOf(b);
            if (dot(unit(m_facing[std::size_t(ra)]), unit(m_facing[std::size_t(rb)])) >
                kFoldApartFacing)
                join(ra, rb);
        }
    }

private:
    std::vector<int> m_parent;
    std::vector<P3> m_facing;
};

// Whether two kept samples are of one area: near enough for their
// spacings, facing not apart unless their facets meet across a fold
// (AcrossFold: joined once the sheets are, Areas::joinAcrossFolds), those
// facing alike along one sheet, and no line passing between them: none
// where they lie far enough from the lines, or off the lines on one side,
// else the chord's quarter points tried (across a crease a line runs along,
// in the middle of a narrow strip, round the end of a spur).
enum class Join { None, AlongSheet, AcrossFold };
Join joins(const Sample& a, const Sample& b, const Sampling& sampling, double tol,
           const Segments& lines, const SampleFacets& facets)
{
    const P3 chord = minus(b.p, a.p);
    const double sa = sampling.spacing(a.level), sb = sampling.spacing(b.level);
    const double reach = kLinkShare * (sa + sb);
    const double chord2 = dot(chord, chord);
    if (chord2 > reach * reach)
        return Join::None;
    const double facing = dot(a.n, b.n);
    const bool fold = facing <= kOppositeFacing;
    if (fold && (facing <= kFoldApartFacing || !facets.meet(a, b)))
        return Join::None;
    const Join joined = fold ? Join::AcrossFold : Join::AlongSheet;
    const double chordLength = std::sqrt(chord2);
    // One sheet over the other: the chord leaves both planes the same way
    // by their distance; along one sheet, curved, faceted or across a
    // crease, it runs below one plane and above the other.
    const double offA = dot(chord, a.n), offB = dot(chord, b.n);
    if (offA * offB > 0.0 &&
        std::min(std::fabs(offA), std::fabs(offB)) > kSheetOffShare * tol + kSheetSlope * chordLength)
        return Join::None;
    // Along a sheet the chord between two samples on one side of a line
    // stays about as far from it as the nearer sample; across a crease a
    // line runs along, it passes the line at less than its ends' distance,
    // and must keep a spacing's reach from it.
    const double part = facing >= kAlikeFacing ? kNearShare * std::min(a.fromLines, b.fromLines)
                                               : kPartShare * std::max(sa, sb);
    if (0.5 * (a.fromLines + b.fromLines - chordLength) >= part)
        return joined;
    // Off the same line on the same side (within 60 degrees): no line
    // passes between them.
    if (dot(a.offLine, b.offLine) > 0.5 * a.fromLines * b.fromLines)
        return joined;
    for (const double t : {0.25, 0.5, 0.75})
        if (lines.nearest(plus(a.p, times(t, chord)), part) < part)
            return Join::None;
    return joined;
}

} // namespace

double edgesOffSidesAllowance(double fitTolerance)
{
    return sideAllowance(fitTolerance);
}

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

    const std::vector<std::vector<std::vector<P3>>> brepEdges =
        checkEdgesAlongSides(net, breps, tol, result);

    Mesh::CBaseMesh* mesh = net.mesh;
    if (mesh == nullptr)
        return result;

    const Sampling sampling(kSpacingShare * tol, edgesOffSidesAllowance(tol));
    // The step of the lines' points, half a tolerance.
    const double step = sampling.spacing(1);

    // ---- The net's lines, the junctions and the frame of the net.
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
    const auto grow = [&](const P3& p) {
        const P3 q = frame.local(p);
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], q[std::size_t(k)]);
            hi[k] = std::max(hi[k], q[std::size_t(k)]);
        }
    };
    // The lines as their curves run, which may bulge past their points; a
    // line's curve may run off the mesh between its points (under a wave's
    // crest, across a bend), where the samples over it would lie beyond its
    // reach and the areas on either side of it would join: each line is
    // also taken where it lies on the mesh, its points' feet on the nearest
    // facets within kLineOffMeshShare tolerances. The lines are the pieces
    // of the regions' loops, as the topology took them (all of them for a
    // net without faces).
    Segments lines;
    const double footStep = kFootStepShare * tol;
    const std::set<std::pair<const COffset_PointList*, int>> sides = regionStretches(net);
    for (const COffset_PointList* pl : net.pointLists) {
        if (pl == nullptr)
            continue;
        for (const Stretch& stretch : lineStretches(*pl, step, kChordShare * tol)) {
            if (!sides.empty() && sides.count({pl, stretch.entry}) == 0)
                continue;
            const std::vector<P3>& line = stretch.points;
            lines.add(line, stretch.normal);
            lines.add(stretch.lifted, stretch.normal);
            for (const P3& p : line)
                grow(p);
            std::vector<P3> feet;
            double sinceFoot = HUGE_VAL;
            for (std::size_t k = 0; k <= line.size(); ++k) {
                if (k > 0 && k < line.size())
                    sinceFoot += distance(line[k - 1], line[k]);
                if (k < line.size() && k + 1 < line.size() && sinceFoot < footStep)
                    continue;
                sinceFoot = 0.0;
                Mesh::MeshFoot foot;
                const bool on = k < line.size() &&
                                Mesh::nearestMeshPoint(mesh, line[k].data(),
                                                       kLineOffMeshShare * tol, foot);
                if (on)
                    feet.push_back({foot.point[0], foot.point[1], foot.point[2]});
                if (!on && !feet.empty()) {
                    lines.add(feet, stretch.normal);
                    feet.clear();
                }
            }
        }
    }
    lines.build();
    if (!(hi[0] >= lo[0]))
        return result;
    // The box around the net: beside it by a band and a few samples, and
    // along the net's normal as far as it reaches across (a dome inside a
    // ring of the net rises above its lines).
    const double beside = sampling.band(1) + 3.0 * step;
    const double along = std::hypot(hi[0] - lo[0], hi[1] - lo[1]) + beside;
    const double boxLo[3] = {lo[0] - beside, lo[1] - beside, lo[2] - along};
    const double boxHi[3] = {hi[0] + beside, hi[1] + beside, hi[2] + along};

    // ---- The mesh's samples, kept off the lines, judged beyond the band
    // where they lie beside the lines, not under them.
    SampleFacets facets(*mesh);
    std::vector<Sample> samples = sampleMesh(*mesh, frame, boxLo, boxHi, lines, sampling, facets);
    for (Sample& s : samples) {
        s.kept = s.fromLines >= kDropShare * sampling.spacing(s.level);
        const bool under = std::fabs(dot(s.offLine, s.lineNormal)) > kUnderShare * s.fromLines;
        s.judged = s.kept && s.fromLines >= sampling.band(s.level) && !under;
    }

    // ---- The areas: each kept sample joins those within the reach of their
    // two spacings (found by the boxes of half that reach about them).
    // The joins are dropped once the areas are known, and the tree of the
    // samples' reaches once the regions' parts are: at a fine tolerance
    // they are hundreds of megabytes.
    std::vector<int> keptSamples;
    keptSamples.reserve(std::size_t(
        std::count_if(samples.begin(), samples.end(), [](const Sample& s) { return s.kept; })));
    for (int i = 0; i < int(samples.size()); ++i)
        if (samples[std::size_t(i)].kept)
            keptSamples.push_back(i);
    // Each area's samples.
    std::vector<int> areaOf(samples.size(), -1);
    std::vector<std::vector<int>> members;
    BoxTree byReach;
    {
        Areas joined(samples, {});
        std::vector<std::pair<int, int>> folds;
        {
            std::vector<Box3> reachBoxes;
            reachBoxes.reserve(keptSamples.size());
            for (int i : keptSamples) {
                const Sample& s = samples[std::size_t(i)];
                const double half = kLinkShare * sampling.spacing(s.level);
                reachBoxes.push_back(
                    {minus(s.p, {half, half, half}), plus(s.p, {half, half, half})});
            }
            byReach.build(std::move(reachBoxes));
            // Each pair once, from its first sample; a pair already of one
            // area is not judged again (joining it would change nothing).
            for (int q = 0; q < int(keptSamples.size()); ++q) {
                const int i = keptSamples[std::size_t(q)];
                const Sample& s = samples[std::size_t(i)];
                byReach.withinAfter(s.p, kLinkShare * sampling.spacing(s.level), q, [&](int k) {
                    const int j = keptSamples[std::size_t(k)];
                    if (joined.rootOf(i) == joined.rootOf(j))
                        return;
                    const Join how =
                        joins(s, samples[std::size_t(j)], sampling, tol, lines, facets);
                    if (how == Join::AlongSheet)
                        joined.join(i, j);
                    else if (how == Join::AcrossFold)
                        folds.emplace_back(i, j);
                });
            }
        }
        joined.joinAcrossFolds(folds);
        std::map<int, int> areaOfRoot;
        for (int i : keptSamples) {
            const auto [at, added] = areaOfRoot.emplace(joined.rootOf(i), int(members.size()));
            if (added)
                members.emplace_back();
            members[std::size_t(at->second)].push_back(i);
            areaOf[std::size_t(i)] = at->second;
        }
    }

    // ---- Which areas the lines enclose: an area reaching the box's walls is
    // outside, and so is one whose middle lies outside every region the net
    // draws (the mesh beyond the net's outer lines, up to its edge or a part's
    // rim; a hole through a sheet inside a region is part of the region). On a
    // closed part the lines part the mesh into areas none of which reaches
    // beyond them: the one round the outside of the net is the part's other
    // side, whose sheet faces away from the sheet its lines were drawn on (the
    // normals of their points), and a part's walls, facing across the lines'
    // sheet, enclose nothing. An area is enclosed where it faces as a whole (the
    // sum of its normals by area) as the sheet of the lines beside it does,
    // those lines facing alike, and its middle lies inside a region's outline,
    // seen along the net's normal.
    const RegionOutlines regions(net, frame, step);
    // The samples by the lines: those within the wide level's reach beyond
    // the band, beside a line on their sheet (not on a sheet under it); each
    // counts the normal of the sheet its line was drawn on.
    const double byLinesWithin = sampling.band(kWideLevel) + 2.0 * sampling.spacing(kWideLevel);
    const auto enclosedBy = [&](const std::vector<int>& in, bool seedsCount = true) {
        P3 sum{0.0, 0.0, 0.0}, byLines{0.0, 0.0, 0.0};
        double byLinesWeight = 0.0;
        const Sample* middle = nullptr;
        for (int i : in) {
            const Sample& s = samples[std::size_t(i)];
            if (s.seed && seedsCount)
                return false;
            sum = plus(sum, times(s.weight, s.n));
            const P3& lineNormal = length(s.lineNormal) > 0.0 ? s.lineNormal : s.n;
            if (s.fromLines < byLinesWithin &&
                std::fabs(dot(s.offLine, s.n)) <= kBesideShare * s.fromLines) {
                byLines = plus(byLines, times(s.weight, lineNormal));
                byLinesWeight += s.weight;
            }
            if (middle == nullptr || s.fromLines > middle->fromLines)
                middle = &s;
        }
        return byLinesWeight > 0.0 && dot(sum, byLines) > 0.0 &&
               length(byLines) >= kAlikeShare * byLinesWeight &&
               regions.regionOf(frame.local(middle->p)) >= 0;
    };
    std::vector<bool> enclosed;
    for (const std::vector<int>& in : members)
        enclosed.push_back(enclosedBy(in));
    // A region's sheet may reach the outside under its lines (through a slot
    // the lines bridge, down a sheet crossing it, round a tunnel): within
    // each region's outline seen along the net's normal, the samples of an
    // area not enclosed joined only among themselves, and each part so
    // joined that is enclosed is of the region's area (a part raised on
    // the region's sheet, a plate lying across its line, is of it too).
    // Such a part lies inside the outline: a coarse sample of it whose
    // piece the box's walls cut (a wall folding down from the region's
    // sheet and running out under its lines) does not make it outside.
    {
        const auto middleOf = [&](const std::vector<int>& in) {
            const Sample* middle = nullptr;
            for (int i : in)
                if (middle == nullptr || samples[std::size_t(i)].fromLines > middle->fromLines)
                    middle = &samples[std::size_t(i)];
            return middle->p;
        };
        std::map<int, int> areaOfRegion;
        for (std::size_t a = 0; a < members.size(); ++a)
            if (enclosed[a])
                areaOfRegion.emplace(regions.regionOf(frame.local(middleOf(members[a]))), int(a));
        std::vector<int> localOf(samples.size(), -1);
        const std::size_t found = members.size();
        for (std::size_t a = 0; a < found; ++a) {
            if (enclosed[a])
                continue;
            std::vector<int> local, regionOfLocal;
            for (int i : members[a]) {
                const int r = regions.regionOf(frame.local(samples[std::size_t(i)].p));
                if (r < 0)
                    continue;
                localOf[std::size_t(i)] = int(local.size());
                local.push_back(i);
                regionOfLocal.push_back(r);
            }
            Areas parts(samples, local);
            std::vector<std::pair<int, int>> partFolds;
            // The local samples ascend with the kept ones: those after a
            // sample's own place among the kept are the ones after it here.
            const bool ascending = std::is_sorted(local.begin(), local.end());
            for (std::size_t k = 0; k < local.size(); ++k) {
                const Sample& s = samples[std::size_t(local[k])];
                const int after =
                    ascending ? int(std::lower_bound(keptSamples.begin(), keptSamples.end(),
                                                     local[k]) -
                                    keptSamples.begin())
                              : -1;
                byReach.withinAfter(s.p, kLinkShare * sampling.spacing(s.level), after, [&](int m) {
                    const int l = localOf[std::size_t(keptSamples[std::size_t(m)])];
                    if (l <= int(k) || regionOfLocal[std::size_t(l)] != regionOfLocal[k] ||
                        parts.rootOf(int(k)) == parts.rootOf(l))
                        return;
                    const Join how = joins(s, samples[std::size_t(local[std::size_t(l)])],
                                           sampling, tol, lines, facets);
                    if (how == Join::AlongSheet)
                        parts.join(int(k), l);
                    else if (how == Join::AcrossFold)
                        partFolds.emplace_back(int(k), l);
                });
            }
            parts.joinAcrossFolds(partFolds);
            std::map<int, std::vector<int>> partOfRoot;
            for (std::size_t k = 0; k < local.size(); ++k)
                partOfRoot[parts.rootOf(int(k))].push_back(local[k]);
            for (auto& [root, part] : partOfRoot) {
                if (!enclosedBy(part, false))
                    continue;
                const auto [at, added] = areaOfRegion.emplace(
                    regionOfLocal[std::size_t(localOf[std::size_t(part.front())])], int(members.size()));
                if (added) {
                    members.emplace_back();
                    enclosed.push_back(true);
                }
                for (int i : part) {
                    areaOf[std::size_t(i)] = at->second;
                    members[std::size_t(at->second)].push_back(i);
                }
            }
            for (int i : local)
                localOf[std::size_t(i)] = -1;
            std::erase_if(members[a], [&](int i) { return areaOf[std::size_t(i)] != int(a); });
        }
    }
    byReach = BoxTree();
    // Once the areas are found, the samples keep only what judging them
    // needs, beside the Breps' cells: at a fine tolerance they are millions.
    std::vector<JudgedSample> judgedSamples;
    judgedSamples.reserve(samples.size());
    for (const Sample& s : samples)
        judgedSamples.push_back({s.p, s.weight, s.fromLines, s.level, s.judged});
    release(samples);
    release(facets.list);
    // An area's middle: its sample farthest from the lines.
    const auto middleOfArea = [&](std::size_t area) {
        const JudgedSample* middle = nullptr;
        for (int i : members[area])
            if (middle == nullptr || judgedSamples[std::size_t(i)].fromLines > middle->fromLines)
                middle = &judgedSamples[std::size_t(i)];
        return middle->p;
    };
    // Each area's size: the area its samples stand for.
    const std::size_t areaCount = members.size();
    std::vector<double> size(areaCount, 0.0);
    for (int i : keptSamples)
        size[std::size_t(areaOf[std::size_t(i)])] += judgedSamples[std::size_t(i)].weight;
    const double least = leastRegionArea(net.pointLists, net.surfaceTolerance);
    // The regions the samples judge: those the middle of an enclosed area of
    // a region's size lies in. A region no such area lies in (a sliver about
    // a tolerance wide between two lines, whose samples all lie within the
    // band along them) is still one of the net's regions: it is judged by
    // its sides, its Brep's edges following them as checked above.
    std::vector<bool> sampled(std::size_t(regions.count()), false);
    for (std::size_t a = 0; a < areaCount; ++a) {
        if (!enclosed[a] || size[a] < least)
            continue;
        if (const int r = regions.nearestRegionOf(frame.local(middleOfArea(a))); r >= 0)
            sampled[std::size_t(r)] = true;
    }

    // ---- The Breps' points, and the Breps over the samples of enclosed
    // areas: near (within the reach along the Brep's normal), the nearest
    // sheet's; else whether one lies over it farther off.
    std::vector<BrepPoint> points;
    std::vector<std::vector<std::unique_ptr<BrepFaceShape>>> shapes(breps.size());
    for (std::size_t b = 0; b < breps.size(); ++b) {
        const ON_Brep* brep = breps[b].brep;
        if (brep == nullptr)
            continue;
        Segments edges;
        for (const std::vector<P3>& edge : brepEdges[b])
            edges.add(edge);
        edges.build();
        for (int f = 0; f < brep->m_F.Count(); ++f) {
            auto shape = std::make_unique<BrepFaceShape>();
            if (!shape->read(brep->m_F[f]))
                continue;
            shape->cells(edges, sampling.spacing(kWideLevel), sampling.spacing(kLevels - 1), int(b),
                         int(shapes[b].size()), points);
            shapes[b].push_back(std::move(shape));
        }
    }
    const double reach = kReachShare * tol;
    const double far = boxHi[2] - boxLo[2];
    std::vector<Box3> nearBoxes;
    nearBoxes.reserve(points.size());
    for (const BrepPoint& p : points)
        nearBoxes.push_back(cylinderBox(p.p, p.n, p.radius, reach));
    const BoxTree nearTree(std::move(nearBoxes));
    // Made when a sample first needs it.
    BoxTree farTree;
    // The Breps over each sample (four at the most, the nearest sheet's),
    // or the Brep over it farther off.
    struct Over {
        std::array<int, 4> breps{-1, -1, -1, -1};
        int count = 0;
        int farBrep = -1;
    };
    std::vector<Over> over(judgedSamples.size());
    // Whether the sample at s lies over cell k, within `within` along the
    // surface's normal (`along` receives how far): in the cell's disk, and
    // for an edge cell with its foot inside the trim.
    const double footSlack = kFootSlackShare * tol;
    const auto lateral = [&](int k, const P3& s, double within, double& along) {
        const BrepPoint& p = points[std::size_t(k)];
        const P3 d = minus(s, p.p);
        along = dot(d, p.n);
        if (std::fabs(along) > within || dot(d, d) - along * along > p.radius * p.radius)
            return false;
        return !p.edge || shapes[std::size_t(p.brep)][std::size_t(p.face)]->footInside(
                              s, p.u, p.v, within, footSlack, along);
    };
    for (int i = 0; i < int(judgedSamples.size()); ++i) {
        const JudgedSample& s = judgedSamples[std::size_t(i)];
        const int a = areaOf[std::size_t(i)];
        if (a < 0 || !enclosed[std::size_t(a)])
            continue;
        // The Breps over the sample with their least distances along, in
        // the order of the Breps.
        std::array<std::pair<int, double>, 8> nearest;
        std::size_t found = 0;
        nearTree.containing(s.p, [&](int k) {
            double along = 0.0;
            if (!lateral(k, s.p, reach, along))
                return;
            const int b = points[std::size_t(k)].brep;
            std::size_t at = 0;
            while (at < found && nearest[at].first < b)
                ++at;
            if (at < found && nearest[at].first == b) {
                nearest[at].second = std::min(nearest[at].second, std::fabs(along));
                return;
            }
            if (found == nearest.size())
                return;
            std::move_backward(nearest.begin() + long(at), nearest.begin() + long(found),
                               nearest.begin() + long(found) + 1);
            nearest[at] = {b, std::fabs(along)};
            ++found;
        });
        Over& o = over[std::size_t(i)];
        if (found > 0) {
            double least = HUGE_VAL;
            for (std::size_t k = 0; k < found; ++k)
                least = std::min(least, nearest[k].second);
            for (std::size_t k = 0; k < found; ++k)
                if (nearest[k].second <= least + kSheetMargin * tol && o.count < 4)
                    o.breps[std::size_t(o.count++)] = nearest[k].first;
            continue;
        }
        if (farTree.empty() && !points.empty()) {
            std::vector<Box3> farBoxes;
            farBoxes.reserve(points.size());
            for (const BrepPoint& p : points)
                farBoxes.push_back(cylinderBox(p.p, p.n, p.radius, far));
            farTree.build(std::move(farBoxes));
        }
        farTree.containing(s.p, [&](int k) {
            double along = 0.0;
            if (o.farBrep < 0 && lateral(k, s.p, far, along))
                o.farBrep = points[std::size_t(k)].brep;
        });
    }

    // ---- The areas' names: the junctions beside them, else a point.
    std::vector<Box3> junctionBoxes;
    for (const auto& [p, serial] : junctions)
        junctionBoxes.push_back({p, p});
    const BoxTree junctionTree(std::move(junctionBoxes));
    const auto corners = [&](int area) {
        std::set<long> serials;
        for (int i : members[std::size_t(area)]) {
            const JudgedSample& s = judgedSamples[std::size_t(i)];
            const double within = sampling.band(s.level) + 2.0 * sampling.spacing(s.level);
            if (s.fromLines < within)
                junctionTree.within(s.p, within, [&](int j) {
                    serials.insert(junctions[std::size_t(j)].second);
                });
        }
        return serialsText(serials);
    };
    const auto areaName = [&](int area) {
        const std::string text = corners(area);
        if (!text.empty())
            return "The area within the net's junctions " + text;
        const P3 middle = middleOfArea(std::size_t(area));
        return "The area round " + figure(middle[0]) + " " + figure(middle[1]) + " " +
               figure(middle[2]);
    };
    const auto number = [&](int b) { return std::to_string(breps[std::size_t(b)].number); };

    // ---- Each enclosed area under one Brep, each Brep over one area.
    const double faultWeight = kFaultSamples * step * step;
    std::vector<std::map<int, double>> areasOfBrep(breps.size());
    std::vector<double> judgedWeight(areaCount, 0.0);
    std::vector<bool> overAny(breps.size(), false);
    result.areas = 0;
    for (std::size_t area = 0; area < areaCount; ++area) {
        if (!enclosed[area])
            continue;
        // The areas counted are the regions: those the net's topology takes
        // for one.
        if (size[area] >= least)
            ++result.areas;
        const std::vector<int>& in = members[area];
        for (int i : in) {
            const Over& o = over[std::size_t(i)];
            for (int k = 0; k < o.count; ++k)
                overAny[std::size_t(o.breps[std::size_t(k)])] = true;
            if (o.farBrep >= 0)
                overAny[std::size_t(o.farBrep)] = true;
        }
        // A sample with a Brep over it only far off is the Brep's distance
        // from the mesh, not judged here.
        const auto isBare = [&](int i) {
            return over[std::size_t(i)].count == 0 && over[std::size_t(i)].farBrep < 0;
        };
        const auto isNear = [&](int i) { return over[std::size_t(i)].count > 0; };
        // An area whose samples stand for less than a region (a sliver the
        // net's topology gives to its neighbour, a pocket off a junction's
        // corner) is no region of its own: its neighbour is judged.
        if (size[area] < least)
            continue;
        double weight = 0.0, bare = 0.0, farthest = 0.0;
        std::map<int, double> byBrep;
        std::map<std::pair<int, int>, double> byPair;
        for (int i : in) {
            const JudgedSample& s = judgedSamples[std::size_t(i)];
            farthest = std::max(farthest, s.fromLines);
            if (!s.judged || (!isNear(i) && !isBare(i)))
                continue;
            weight += s.weight;
            const Over& o = over[std::size_t(i)];
            if (o.count == 0)
                bare += s.weight;
            for (int k = 0; k < o.count; ++k)
                byBrep[o.breps[std::size_t(k)]] += s.weight;
            if (o.count >= 2)
                byPair[{o.breps[0], o.breps[1]}] += s.weight;
        }
        if (weight < faultWeight) {
            // Narrower than the band along its lines: its middle must lie
            // under a face.
            bool middleBare = true, anyMiddle = false;
            for (int i : in)
                if (judgedSamples[std::size_t(i)].fromLines >= kMiddleShare * farthest) {
                    anyMiddle = true;
                    middleBare = middleBare && isBare(i);
                }
            if (anyMiddle && middleBare)
                faults.push_back(areaName(int(area)) + " " + FailureMessages::kAreaWithoutFace);
            continue;
        }
        judgedWeight[area] = weight;
        for (const auto& [b, w] : byBrep)
            areasOfBrep[std::size_t(b)][int(area)] = w;
        const auto fault = [&](double w) { return w >= faultWeight && w >= kFaultShare * weight; };
        if (byBrep.empty()) {
            faults.push_back(areaName(int(area)) + " " + FailureMessages::kAreaWithoutFace);
            continue;
        }
        if (fault(bare)) {
            int most = byBrep.begin()->first;
            for (const auto& [b, w] : byBrep)
                if (w > byBrep[most])
                    most = b;
            faults.push_back(areaName(int(area)) + " " + FailureMessages::kAreaPartlyBare +
                             " over " + percent(bare / weight) + " % of it, beside face " +
                             number(most));
        }
        for (const auto& [pair, w] : byPair)
            if (fault(w)) {
                faults.push_back(areaName(int(area)) + " " + FailureMessages::kAreaUnderTwoFaces +
                                 ", " + number(pair.first) + " and " + number(pair.second) +
                                 ", over " + percent(w / weight) + " % of it");
                break;
            }
    }
    std::vector<bool> bySides(breps.size(), false);
    for (int r = 0; r < regions.count(); ++r) {
        if (sampled[std::size_t(r)])
            continue;
        ++result.areas;
        bool covered = false;
        for (std::size_t b = 0; b < breps.size(); ++b)
            if (breps[b].brep != nullptr && breps[b].face == regions.faceOf(r))
                covered = bySides[b] = true;
        if (!covered)
            faults.push_back(regionName(*regions.faceOf(r)) + " " +
                             FailureMessages::kAreaWithoutFace);
    }
    for (std::size_t b = 0; b < breps.size(); ++b) {
        if (breps[b].brep == nullptr || bySides[b])
            continue;
        if (!overAny[b]) {
            faults.push_back("Face " + number(int(b)) + " " + FailureMessages::kFaceOverNoArea +
                             ": the check could not judge it");
            continue;
        }
        std::vector<int> overAreas;
        for (const auto& [area, w] : areasOfBrep[b])
            if (w >= faultWeight && w >= kFaultShare * judgedWeight[std::size_t(area)])
                overAreas.push_back(area);
        if (overAreas.size() < 2)
            continue;
        std::string line =
            "Face " + number(int(b)) + " " + FailureMessages::kFaceOverTwoAreas + ":";
        for (std::size_t k = 0; k < overAreas.size(); ++k) {
            const std::string text = corners(overAreas[k]);
            line += k == 0 ? " " : " and ";
            line += text.empty() ? areaName(overAreas[k]) : "within its junctions " + text;
        }
        faults.push_back(line);
    }
    return result;
}
