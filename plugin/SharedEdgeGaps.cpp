#include "plugin/SharedEdgeGaps.h"

#include "curves/ParCurve.h"
#include "geometry/Interval.h"
#include "net/Face.h"
#include "net/FaceRecords.h"
#include "net/PointList.h"
#include "platform/on/Brep.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <unordered_map>
#include <utility>

namespace {

constexpr int kSamplesPerSide = 50;
constexpr int kPolylinePoints = 400;
// Segments of an edge's poly-line per run with a box of its own.
constexpr std::size_t kRunSegments = 16;

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

// The point of the face's edges nearest to p, and its squared distance;
// hint is the run searched first (the one the last query of a sample
// nearby ended in, so that most runs are passed on their boxes), and
// receives the run the point lies on. False for a face without edges.
bool nearestOnOutline(const FaceOutline& face, const EdgePoint& p, std::size_t& hint,
                      EdgePoint& nearest, double& best2)
{
    best2 = std::numeric_limits<double>::infinity();
    if (face.runs.empty())
        return false;
    const auto search = [&](std::size_t r) {
        const OutlineRun& run = face.runs[r];
        if (squaredDistanceToBox(p, run.low, run.high) >= best2)
            return;
        const std::vector<EdgePoint>& line = face.edges[run.edge].polyline;
        for (std::size_t k = run.first; k < run.last; ++k) {
            const EdgePoint q = nearestOnSegment(p, line[k], line[k + 1]);
            if (const double d2 = squaredDistance(p, q); d2 < best2) {
                best2 = d2;
                nearest = q;
                hint = r;
            }
        }
    };
    if (hint >= face.runs.size())
        hint = 0;
    const std::size_t first = hint;
    search(first);
    for (std::size_t r = 0; r < face.runs.size(); ++r)
        if (r != first)
            search(r);
    return true;
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
    for (std::size_t f = 0; f < faces.size(); ++f) {
        if (faces[f] == nullptr)
            continue;
        for (const GB::Loop* loop = faces[f]->firstLoop; loop != nullptr; loop = loop->next)
            for (const CCoEdge* c : loop->coedges) {
                if (c == nullptr || c->polyLine == nullptr)
                    continue;
                const auto [at, added] = lineAt.emplace(c->polyLine, lines.size());
                if (added) {
                    lines.push_back(c->polyLine);
                    covered.emplace_back();
                }
                covered[at->second].push_back(
                    {int(f), std::min(c->firstIndex, c->secondIndex),
                     std::max(c->firstIndex, c->secondIndex)});
            }
    }
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

double sideGap(const SharedSide& side, const FaceOutline& a, const FaceOutline& b)
{
    if (a.runs.empty() || b.runs.empty())
        return HUGE_VAL;
    double gap2 = 0.0;
    std::size_t hintA = 0, hintB = 0, backA = 0, backB = 0;
    for (const EdgePoint& c : side.along) {
        EdgePoint onA{}, onB{}, unused{};
        double d2 = 0.0, fromB2 = 0.0, fromA2 = 0.0;
        nearestOnOutline(a, c, hintA, onA, d2);
        nearestOnOutline(b, c, hintB, onB, d2);
        nearestOnOutline(b, onA, backB, unused, fromB2);
        nearestOnOutline(a, onB, backA, unused, fromA2);
        gap2 = std::max({gap2, fromB2, fromA2});
    }
    return std::sqrt(gap2);
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
