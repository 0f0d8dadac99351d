#include "plugin/SharedEdgeGaps.h"

#include "curves/ParCurve.h"
#include "geometry/Interval.h"
#include "net/Face.h"
#include "net/FaceRecords.h"
#include "net/GraphRecords.h"
#include "net/PointList.h"
#include "platform/on/Brep.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <tuple>
#include <unordered_map>
#include <utility>

namespace {

constexpr int kSamplesPerSide = 50;
// Points of a piece, evenly spread over it from end to end, that weigh
// which edge of a face follows it.
constexpr std::size_t kChoosingPoints = 13;
constexpr int kPolylinePoints = 400;
// Segments of an edge's poly-line per run with a box of its own.
constexpr std::size_t kRunSegments = 16;
// A Brep's surface and a face's match when their points at the same shares
// of their domains lie within this share of the smaller span of the two.
constexpr double kMatchShare = 0.25;
// The points of a surface compared, kGridSide each way.
constexpr std::size_t kGridSide = 5;

double squaredDistance(const EdgePoint& p, const EdgePoint& q)
{
    const double x = p[0] - q[0], y = p[1] - q[1], z = p[2] - q[2];
    return x * x + y * y + z * z;
}

// The point of segment ab nearest to p.
EdgePoint nearestOnSegment(const EdgePoint& p, const EdgePoint& a, const EdgePoint& b)
{
    double ab[3], length2 = 0.0, along = 0.0;
    for (std::size_t k = 0; k < 3; ++k) {
        ab[k] = b[k] - a[k];
        length2 += ab[k] * ab[k];
        along += ab[k] * (p[k] - a[k]);
    }
    const double s = length2 > 0.0 ? std::clamp(along / length2, 0.0, 1.0) : 0.0;
    return {a[0] + s * ab[0], a[1] + s * ab[1], a[2] + s * ab[2]};
}

double squaredDistanceToBox(const EdgePoint& p, const EdgePoint& low, const EdgePoint& high)
{
    double d2 = 0.0;
    for (std::size_t k = 0; k < 3; ++k) {
        const double out = std::max({low[k] - p[k], 0.0, p[k] - high[k]});
        d2 += out * out;
    }
    return d2;
}

void growBox(EdgePoint& low, EdgePoint& high, const EdgePoint& p)
{
    for (std::size_t k = 0; k < 3; ++k) {
        low[k] = std::min(low[k], p[k]);
        high[k] = std::max(high[k], p[k]);
    }
}

// The edge of a curve given by its domain and evaluator.
EdgeOutline outlineOfCurve(double t0, double t1, const std::function<EdgePoint(double)>& at)
{
    EdgeOutline edge;
    for (int k = 0; k < kPolylinePoints; ++k) {
        const double share = double(k) / (kPolylinePoints - 1);
        edge.polyline.push_back(at((1.0 - share) * t0 + share * t1));
    }
    return edge;
}

// The runs of the edges' poly-lines with their boxes, and the face's box.
void closeRuns(FaceOutline& face)
{
    const double inf = std::numeric_limits<double>::infinity();
    face.low = {inf, inf, inf};
    face.high = {-inf, -inf, -inf};
    face.runs.clear();
    for (std::size_t e = 0; e < face.edges.size(); ++e) {
        const std::vector<EdgePoint>& line = face.edges[e].polyline;
        for (const EdgePoint& p : line)
            growBox(face.low, face.high, p);
        for (std::size_t first = 0; first + 1 < line.size(); first += kRunSegments) {
            OutlineRun run;
            run.edge = e;
            run.first = first;
            run.last = std::min(first + kRunSegments, line.size() - 1);
            run.low = {inf, inf, inf};
            run.high = {-inf, -inf, -inf};
            for (std::size_t k = run.first; k <= run.last; ++k)
                growBox(run.low, run.high, line[k]);
            face.runs.push_back(run);
        }
    }
}

// The run of one poly-line a face's coedge covers: entries first..second,
// the second past the last entry where the run goes round the closing
// segment of a closed poly-line.
struct CoveredRun {
    int face = 0;
    int first = 0;
    int second = 0;
};

// Points at the middles of kSamplesPerSide equal steps of the piece of pl
// from entry lo to entry hi: on the poly-line's curve between the entries'
// parameters, or along its grid points by their length when it has no
// curve or the entries no parameters.
std::vector<EdgePoint> piecePoints(const COffset_PointList& pl, int lo, int hi)
{
    std::vector<EdgePoint> points;
    CParametricGeometry* curve = pl.getCurve();
    double t0 = 0.0, t1 = 0.0;
    if (curve != nullptr && pl.entryParameter(lo, t0) && pl.entryParameter(hi, t1)) {
        const Interval domain = curve->getDomain(0);
        const double period = domain.max - domain.min;
        for (int k = 0; k < kSamplesPerSide; ++k) {
            const double share = (k + 0.5) / kSamplesPerSide;
            double t = (1.0 - share) * t0 + share * t1;
            // An entry reached round the closing segment of a closed
            // poly-line lies one period further on.
            if (pl.closed && period > 0.0 && t > domain.max)
                t -= period;
            t = std::clamp(t, domain.min, domain.max);
            const Vector p = curve->getPoint(t, 0.0);
            points.push_back({p[0], p[1], p[2]});
        }
        return points;
    }
    std::vector<EdgePoint> grid;
    for (int i = lo; i <= hi; ++i)
        if (const CVertex<float, 3>* v = pl.entryAt(i))
            grid.push_back({double(v->data[0]), double(v->data[1]), double(v->data[2])});
    std::vector<double> at(grid.size(), 0.0);
    for (std::size_t k = 1; k < grid.size(); ++k)
        at[k] = at[k - 1] + std::sqrt(squaredDistance(grid[k - 1], grid[k]));
    if (grid.size() < 2 || !(at.back() > 0.0))
        return points;
    std::size_t k = 1;
    for (int s = 0; s < kSamplesPerSide; ++s) {
        const double length = (s + 0.5) / kSamplesPerSide * at.back();
        while (k + 1 < grid.size() && at[k] < length)
            ++k;
        const double span = at[k] - at[k - 1];
        const double share = span > 0.0 ? (length - at[k - 1]) / span : 0.0;
        EdgePoint p;
        for (std::size_t c = 0; c < 3; ++c)
            p[c] = (1.0 - share) * grid[k - 1][c] + share * grid[k][c];
        points.push_back(p);
    }
    return points;
}

// The runs of one edge of a face: closeRuns lists each edge's runs together,
// in the edge's order.
std::pair<std::size_t, std::size_t> runsOfEdge(const FaceOutline& face, std::size_t edge)
{
    const auto first =
        std::lower_bound(face.runs.begin(), face.runs.end(), edge,
                         [](const OutlineRun& r, std::size_t e) { return r.edge < e; });
    auto last = first;
    while (last != face.runs.end() && last->edge == edge)
        ++last;
    return {std::size_t(first - face.runs.begin()), std::size_t(last - face.runs.begin())};
}

// The point of one edge nearest to p: its squared distance, and where it
// lies along the edge's poly-line (a point index with the share of the
// segment after it). The run *hint is searched first, and receives the run
// of the point found (consecutive points along a line have their nearest
// points in the same run or the next, and the others are passed on their
// boxes); the search ends once a point within `enough` (squared) is found:
// the distance answered is then no more than that, not the least.
double nearestOnEdge(const FaceOutline& face, std::pair<std::size_t, std::size_t> runs,
                     const EdgePoint& p, double* at = nullptr, std::size_t* hint = nullptr,
                     double enough = -1.0)
{
    double best2 = std::numeric_limits<double>::infinity();
    std::size_t first =
        hint != nullptr && *hint >= runs.first && *hint < runs.second ? *hint : runs.first;
    const auto search = [&](std::size_t r) {
        const OutlineRun& run = face.runs[r];
        if (squaredDistanceToBox(p, run.low, run.high) >= best2)
            return;
        const std::vector<EdgePoint>& line = face.edges[run.edge].polyline;
        for (std::size_t k = run.first; k < run.last; ++k) {
            const EdgePoint q = nearestOnSegment(p, line[k], line[k + 1]);
            if (const double d2 = squaredDistance(p, q); d2 < best2) {
                best2 = d2;
                if (hint != nullptr)
                    *hint = r;
                if (at != nullptr) {
                    const double span = squaredDistance(line[k], line[k + 1]);
                    *at = double(k) +
                          (span > 0.0 ? std::sqrt(squaredDistance(line[k], q) / span) : 0.0);
                }
            }
        }
    };
    search(first);
    for (std::size_t r = runs.first; r < runs.second && best2 > enough; ++r)
        if (r != first)
            search(r);
    return best2;
}

// The piece's points with its two ends before and after them: the points
// stand at the middles of equal steps, so each end lies half a step beyond
// the point next to it.
std::vector<EdgePoint> pieceWithEnds(const std::vector<EdgePoint>& along)
{
    std::vector<EdgePoint> piece;
    const std::size_t n = along.size();
    const auto beyond = [](const EdgePoint& p, const EdgePoint& q) {
        return EdgePoint{p[0] + 0.5 * (p[0] - q[0]), p[1] + 0.5 * (p[1] - q[1]),
                         p[2] + 0.5 * (p[2] - q[2])};
    };
    piece.push_back(n > 1 ? beyond(along[0], along[1]) : along[0]);
    piece.insert(piece.end(), along.begin(), along.end());
    piece.push_back(n > 1 ? beyond(along[n - 1], along[n - 2]) : along[n - 1]);
    return piece;
}

// Whether the poly-line comes back to its first point: its ends lie apart
// by less than a millionth of its mean step (rounding, not an opening).
bool closedLine(const std::vector<EdgePoint>& line)
{
    double length = 0.0;
    for (std::size_t k = 1; k < line.size(); ++k)
        length += std::sqrt(squaredDistance(line[k - 1], line[k]));
    const double trace = 1e-6 * length / double(line.size() - 1);
    return squaredDistance(line.front(), line.back()) <= trace * trace;
}

// The stretch of a face's edge that follows a piece of the net: the edge
// nearest to the piece on the mean over points along it (the face's edge along
// the side the piece belongs to: its other edges leave the piece at its
// ends at the latest), from where it passes the piece's one end to where
// it passes the other (a T-junction's piece covers a part of the edge).
struct EdgeStretch {
    std::size_t edge = 0;
    double from = 0.0, to = 0.0; // along its poly-line, as nearestOnEdge gives
    bool round = false;          // over the closing point of a closed edge
};

EdgeStretch followingStretch(const FaceOutline& face, const std::vector<EdgePoint>& piece)
{
    EdgeStretch stretch;
    double best = std::numeric_limits<double>::infinity();
    for (std::size_t e = 0; e < face.edges.size(); ++e) {
        const auto runs = runsOfEdge(face, e);
        std::size_t hint = runs.first;
        double sum = 0.0;
        for (std::size_t k = 0; k < kChoosingPoints && sum < best; ++k)
            sum += std::sqrt(nearestOnEdge(
                face, runs, piece[k * (piece.size() - 1) / (kChoosingPoints - 1)], nullptr, &hint));
        if (sum < best) {
            best = sum;
            stretch.edge = e;
        }
    }
    const auto runs = runsOfEdge(face, stretch.edge);
    const std::vector<EdgePoint>& line = face.edges[stretch.edge].polyline;
    // Where the edge passes an end of the piece; at the edge's own end (a
    // corner of the face) when that lies about as near to the piece's end
    // as the edge's nearest point does: a corner that parts from its
    // neighbour's counts in full.
    const auto passing = [&](const EdgePoint& end) {
        double at = 0.0, along = std::numeric_limits<double>::infinity();
        const double d2 = nearestOnEdge(face, runs, end, &at), foot = at;
        for (const std::size_t corner : {std::size_t(0), line.size() - 1})
            if (squaredDistance(end, line[corner]) <= 4.0 * d2 &&
                std::fabs(double(corner) - foot) < along) {
                at = double(corner);
                along = std::fabs(double(corner) - foot);
            }
        return at;
    };
    double middle = 0.0;
    stretch.from = passing(piece.front());
    stretch.to = passing(piece.back());
    nearestOnEdge(face, runs, piece[piece.size() / 2], &middle);
    if (stretch.from > stretch.to)
        std::swap(stretch.from, stretch.to);
    // On a closed edge the piece may pass its closing point: the stretch
    // then goes the other way round, through the piece's middle. An edge
    // is closed when its ends lie within a trace of its step apart: a ring's
    // curve evaluated at the two ends of its domain meets itself only
    // within rounding.
    stretch.round = line.size() > 2 && closedLine(line) &&
                    (middle < stretch.from || middle > stretch.to);
    return stretch;
}

// The point at `at` along the poly-line (see nearestOnEdge).
EdgePoint pointAlong(const std::vector<EdgePoint>& line, double at)
{
    const std::size_t k = std::min(std::size_t(std::max(at, 0.0)), line.size() - 1);
    if (k + 1 >= line.size())
        return line.back();
    const double share = at - double(k);
    EdgePoint p;
    for (std::size_t c = 0; c < 3; ++c)
        p[c] = (1.0 - share) * line[k][c] + share * line[k + 1][c];
    return p;
}

// The largest distance of the stretch of face f from edge `other` of face
// g, over the stretch's poly-line points and kSamplesPerSide points evenly
// spread along it: the whole stretch counts, not only the points nearest
// the net's line, so a side that leaves the line (where a face bends away
// over a step) shows how far it leaves its neighbour.
double farthestFrom(const FaceOutline& f, const EdgeStretch& stretch, const FaceOutline& g,
                    std::size_t other)
{
    const std::vector<EdgePoint>& line = f.edges[stretch.edge].polyline;
    const double last = double(line.size() - 1);
    // Round the closing point the stretch runs from `to` on past the end
    // and on from the start to `from`.
    const double from = stretch.round ? stretch.to : stretch.from;
    const double length =
        stretch.round ? last - stretch.to + stretch.from : stretch.to - stretch.from;
    const auto runs = runsOfEdge(g, other);
    std::size_t hint = runs.first;
    double far2 = 0.0;
    // A point within the farthest distance so far of the other edge cannot
    // be the farthest: its search ends there.
    const auto measure = [&](double at) {
        if (at > last)
            at -= last;
        far2 = std::max(far2, nearestOnEdge(g, runs, pointAlong(line, at), nullptr, &hint, far2));
    };
    for (int k = 0; k <= kSamplesPerSide; ++k)
        measure(from + length * k / kSamplesPerSide);
    for (double at = std::floor(from) + 1.0; at < from + length; at += 1.0)
        measure(at);
    return std::sqrt(far2);
}

// Calls visit(f, coedge) for each coedge on a poly-line of every loop of
// face f, the faces in their order; null faces are passed over.
template <typename Visit>
void forEachCoEdge(const std::vector<const GB::Face*>& faces, Visit&& visit)
{
    for (std::size_t f = 0; f < faces.size(); ++f) {
        if (faces[f] == nullptr)
            continue;
        for (const GB::Loop* loop = faces[f]->firstLoop; loop != nullptr; loop = loop->next)
            for (const CCoEdge* c : loop->coedges)
                if (c != nullptr && c->polyLine != nullptr)
                    visit(int(f), *c);
    }
}

// Calls visit(f, polyLine, from, to) for each run of a poly-line that a
// hole of face f covers. A hole is the outer ring of an island walked the
// other way round and keeps no coedges of its own: its runs are those its
// ring follows, shared with whichever faces of the island lie along them
// (one face, or the outer faces of a net drawn inside the face).
template <typename Visit>
void forEachHoleRun(const std::vector<const GB::Face*>& faces, Visit&& visit)
{
    for (std::size_t f = 0; f < faces.size(); ++f) {
        if (faces[f] == nullptr)
            continue;
        for (const std::unique_ptr<GB::Loop>& hole : faces[f]->holes)
            if (hole != nullptr)
                for (const GB::Loop::RingRun& run : hole->ringRuns())
                    visit(int(f), run.polyLine, run.from, run.to);
    }
}

} // namespace

FaceOutline faceOutline(CFace& face)
{
    FaceOutline outline;
    for (CLoop* loop : face.trimLoops)
        for (CParCurve* curve : loop->curves) {
            const Interval d = curve->getDomain(0);
            outline.edges.push_back(outlineOfCurve(d.min, d.max, [&](double t) {
                const Vector p = curve->getPoint(t, 0.0);
                return EdgePoint{p[0], p[1], p[2]};
            }));
        }
    closeRuns(outline);
    return outline;
}

FaceOutline brepOutline(const ON_Brep& brep)
{
    FaceOutline outline;
    for (int e = 0; e < brep.m_E.Count(); ++e) {
        const ON_Curve& curve = brep.m_E[e];
        const ON_Interval domain = curve.Domain();
        if (!domain.IsValid())
            continue;
        outline.edges.push_back(outlineOfCurve(domain.Min(), domain.Max(), [&](double t) {
            const ON_3dPoint p = curve.PointAt(t);
            return EdgePoint{p.x, p.y, p.z};
        }));
    }
    closeRuns(outline);
    return outline;
}

std::vector<SharedSide> sharedSides(const std::vector<const GB::Face*>& faces)
{
    // The runs each poly-line's coedges cover, by poly-line in the order
    // first met (the faces' order, never the poly-lines' addresses).
    std::vector<const COffset_PointList*> lines;
    std::vector<std::vector<CoveredRun>> covered;
    std::unordered_map<const COffset_PointList*, std::size_t> lineAt;
    const auto cover = [&](int f, const COffset_PointList* line, int from, int to) {
        const auto [at, added] = lineAt.emplace(line, lines.size());
        if (added) {
            lines.push_back(line);
            covered.emplace_back();
        }
        covered[at->second].push_back({f, std::min(from, to), std::max(from, to)});
    };
    forEachCoEdge(
        faces, [&](int f, const CCoEdge& c) { cover(f, c.polyLine, c.firstIndex, c.secondIndex); });
    // The face around an island shares the island's outer ring.
    forEachHoleRun(faces, cover);
    std::vector<SharedSide> sides;
    for (std::size_t l = 0; l < lines.size(); ++l) {
        const COffset_PointList& pl = *lines[l];
        const int count = pl.vertices.count;
        const std::vector<CoveredRun>& runs = covered[l];
        for (std::size_t i = 0; i < runs.size(); ++i)
            for (std::size_t j = i + 1; j < runs.size(); ++j) {
                if (runs[i].face == runs[j].face)
                    continue;
                // On a closed poly-line a run may go round its closing
                // segment: the other run is tried a round earlier and later.
                const std::vector<int> shifts =
                    pl.closed && count > 0 ? std::vector<int>{0, count, -count} : std::vector<int>{0};
                for (int shift : shifts) {
                    int lo = std::max(runs[i].first, runs[j].first + shift);
                    int hi = std::min(runs[i].second, runs[j].second + shift);
                    if (hi - lo < 1)
                        continue;
                    if (lo < 0) {
                        lo += count;
                        hi += count;
                    }
                    SharedSide side;
                    side.a = std::min(runs[i].face, runs[j].face);
                    side.b = std::max(runs[i].face, runs[j].face);
                    side.along = piecePoints(pl, lo, hi);
                    sides.push_back(std::move(side));
                }
            }
    }
    std::stable_sort(sides.begin(), sides.end(), [](const SharedSide& x, const SharedSide& y) {
        return x.a != y.a ? x.a < y.a : x.b < y.b;
    });
    return sides;
}

std::vector<SharedPoint> sharedPoints(const std::vector<const GB::Face*>& faces)
{
    std::map<std::array<float, 3>, std::vector<int>> facesAt;
    const auto passes = [&](int f, const COffset_PointList* line, int from, int to) {
        for (int i = std::min(from, to); i <= std::max(from, to); ++i)
            if (const CVertex<float, 3>* v = line->entryAt(i)) {
                std::vector<int>& at = facesAt[{v->data[0], v->data[1], v->data[2]}];
                if (at.empty() || at.back() != f)
                    at.push_back(f);
            }
    };
    forEachCoEdge(faces, [&](int f, const CCoEdge& c) {
        passes(f, c.polyLine, c.firstIndex, c.secondIndex);
    });
    forEachHoleRun(faces, passes);
    std::vector<SharedPoint> points;
    for (const auto& [point, at] : facesAt) {
        const EdgePoint p{double(point[0]), double(point[1]), double(point[2])};
        for (std::size_t i = 0; i < at.size(); ++i)
            for (std::size_t j = i + 1; j < at.size(); ++j)
                if (at[i] != at[j])
                    points.push_back({std::min(at[i], at[j]), std::max(at[i], at[j]), p});
    }
    const auto key = [](const SharedPoint& s) { return std::make_tuple(s.a, s.b, s.at); };
    std::sort(points.begin(), points.end(),
              [&](const SharedPoint& x, const SharedPoint& y) { return key(x) < key(y); });
    points.erase(
        std::unique(points.begin(), points.end(),
                    [&](const SharedPoint& x, const SharedPoint& y) { return key(x) == key(y); }),
        points.end());
    return points;
}

double sideGap(const SharedSide& side, const FaceOutline& a, const FaceOutline& b)
{
    if (a.runs.empty() || b.runs.empty())
        return HUGE_VAL;
    if (side.along.empty())
        return 0.0;
    const std::vector<EdgePoint> piece = pieceWithEnds(side.along);
    const EdgeStretch onA = followingStretch(a, piece), onB = followingStretch(b, piece);
    return std::max(farthestFrom(a, onA, b, onB.edge), farthestFrom(b, onB, a, onA.edge));
}

std::vector<SharedEdgeGap> sharedEdgeGaps(const std::vector<FaceOutline>& faces,
                                          const std::vector<SharedSide>& sides)
{
    std::vector<SharedEdgeGap> gaps;
    for (const SharedSide& side : sides) {
        if (side.a < 0 || side.b < 0 || std::size_t(side.a) >= faces.size() ||
            std::size_t(side.b) >= faces.size())
            continue;
        const FaceOutline& a = faces[std::size_t(side.a)];
        const FaceOutline& b = faces[std::size_t(side.b)];
        if (a.runs.empty() || b.runs.empty())
            continue;
        const double gap = sideGap(side, a, b);
        // The sides come ordered by their faces: a pair's pieces follow
        // each other.
        if (!gaps.empty() && gaps.back().a == side.a && gaps.back().b == side.b)
            gaps.back().gap = std::max(gaps.back().gap, gap);
        else
            gaps.push_back({side.a, side.b, gap});
    }
    return gaps;
}

std::vector<EdgePoint> surfaceGrid(CParametricGeometry& surface)
{
    std::vector<EdgePoint> grid;
    const Interval u = surface.getDomain(0), v = surface.getDomain(1);
    for (std::size_t j = 0; j < kGridSide; ++j)
        for (std::size_t i = 0; i < kGridSide; ++i) {
            const double a = double(i) / (kGridSide - 1), b = double(j) / (kGridSide - 1);
            const Vector p =
                surface.getPoint((1.0 - a) * u.min + a * u.max, (1.0 - b) * v.min + b * v.max);
            grid.push_back({p[0], p[1], p[2]});
        }
    return grid;
}

std::vector<EdgePoint> surfaceGrid(const ON_Brep& brep)
{
    std::vector<EdgePoint> grid;
    const ON_Surface* surface = brep.m_F.Count() > 0 ? brep.m_F[0].SurfaceOf() : nullptr;
    if (surface == nullptr)
        return grid;
    const ON_Interval u = surface->Domain(0), v = surface->Domain(1);
    for (std::size_t j = 0; j < kGridSide; ++j)
        for (std::size_t i = 0; i < kGridSide; ++i) {
            const ON_3dPoint p = surface->PointAt(u.ParameterAt(double(i) / (kGridSide - 1)),
                                                  v.ParameterAt(double(j) / (kGridSide - 1)));
            grid.push_back({p.x, p.y, p.z});
        }
    return grid;
}

std::vector<int> matchSurfaces(const std::vector<std::vector<EdgePoint>>& breps,
                               const std::vector<std::vector<EdgePoint>>& faces)
{
    // The smaller span of a grid: across its rows, and across its columns
    // (the farthest a row's, or a column's, ends lie apart).
    const auto extent = [](const std::vector<EdgePoint>& grid) {
        double rows2 = 0.0, columns2 = 0.0;
        const std::size_t last = kGridSide - 1;
        for (std::size_t k = 0; k < kGridSide; ++k) {
            rows2 =
                std::max(rows2, squaredDistance(grid[k * kGridSide], grid[k * kGridSide + last]));
            columns2 = std::max(columns2, squaredDistance(grid[k], grid[last * kGridSide + k]));
        }
        return std::sqrt(std::min(rows2, columns2));
    };
    struct Pair {
        double distance;
        std::size_t brep, face;
    };
    std::vector<Pair> pairs;
    for (std::size_t b = 0; b < breps.size(); ++b)
        for (std::size_t f = 0; f < faces.size(); ++f) {
            if (breps[b].empty() || breps[b].size() != faces[f].size())
                continue;
            double far2 = 0.0;
            for (std::size_t k = 0; k < faces[f].size(); ++k)
                far2 = std::max(far2, squaredDistance(breps[b][k], faces[f][k]));
            const double distance = std::sqrt(far2);
            if (distance < kMatchShare * std::min(extent(breps[b]), extent(faces[f])))
                pairs.push_back({distance, b, f});
        }
    std::sort(pairs.begin(), pairs.end(), [](const Pair& x, const Pair& y) {
        return x.distance != y.distance ? x.distance < y.distance
               : x.brep != y.brep       ? x.brep < y.brep
                                        : x.face < y.face;
    });
    std::vector<int> made(breps.size(), -1);
    std::vector<bool> taken(faces.size(), false);
    for (const Pair& p : pairs)
        if (made[p.brep] < 0 && !taken[p.face]) {
            made[p.brep] = int(p.face);
            taken[p.face] = true;
        }
    return made;
}
