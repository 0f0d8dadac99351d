#include "platform/host/EdgeGaps.h"

#include "platform/host/Document.h"
#include "platform/host/Object.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <unordered_map>
#include <vector>

namespace VezadHost {

namespace {

constexpr int kSamplesPerEdge = 50;
constexpr int kPolylinePoints = 400;
// Segments of a poly-line per run listed in the grid.
constexpr std::size_t kRunSegments = 16;
// The share of an edge's samples that must be paired for it to be shared.
constexpr double kPairedShare = 0.5;
// How much nearer than p another point may lie to q with p still q's
// nearest: edges along each other that cross at an angle of up to 40
// degrees are each other's nearest.
constexpr double kMutualShare = 0.75;
// The reach of a pairing, as a share of the smaller Brep's diagonal.
constexpr double kReachShare = 0.25;

using Polyline = std::vector<ON_3dPoint>;

struct Edge {
    int brep = 0;
    Polyline line;
    Polyline samples;
};

struct Run {
    std::size_t edge = 0;
    std::size_t first = 0, last = 0; // segments first .. last - 1 of the edge's line
    ON_3dPoint low, high;
};

struct Nearest {
    double distance = std::numeric_limits<double>::infinity();
    ON_3dPoint point;
    int brep = -1;
};

Polyline sampleCurve(const ON_Curve& curve, int count, bool midpoints)
{
    Polyline points;
    const ON_Interval domain = curve.Domain();
    for (int k = 0; k < count; ++k)
        points.push_back(curve.PointAt(
            domain.ParameterAt(midpoints ? (k + 0.5) / count : double(k) / (count - 1))));
    return points;
}

ON_3dPoint nearestOnSegment(const ON_3dPoint& p, const ON_3dPoint& a, const ON_3dPoint& b)
{
    const ON_3dVector ab = b - a;
    const double length2 = ab * ab;
    const double s = length2 > 0.0 ? std::clamp(((p - a) * ab) / length2, 0.0, 1.0) : 0.0;
    return a + s * ab;
}

double distanceToBox(const ON_3dPoint& p, const ON_3dPoint& low, const ON_3dPoint& high)
{
    double d2 = 0.0;
    for (int k = 0; k < 3; ++k) {
        const double out = std::max({low[k] - p[k], 0.0, p[k] - high[k]});
        d2 += out * out;
    }
    return std::sqrt(d2);
}

// The runs of the edges' poly-lines, listed in the cells of a grid their
// boxes cross.
class RunGrid {
public:
    RunGrid(const std::vector<Edge>& edges, double cell) : edges(edges), cell(cell)
    {
        for (std::size_t e = 0; e < edges.size(); ++e) {
            const Polyline& line = edges[e].line;
            for (std::size_t first = 0; first + 1 < line.size(); first += kRunSegments) {
                Run run{e, first, std::min(first + kRunSegments, line.size() - 1), line[first],
                        line[first]};
                for (std::size_t k = run.first; k <= run.last; ++k)
                    for (int c = 0; c < 3; ++c) {
                        run.low[c] = std::min(run.low[c], line[k][c]);
                        run.high[c] = std::max(run.high[c], line[k][c]);
                    }
                const Key low = keyOf(run.low), high = keyOf(run.high);
                for (std::int64_t i = low.i; i <= high.i; ++i)
                    for (std::int64_t j = low.j; j <= high.j; ++j)
                        for (std::int64_t k = low.k; k <= high.k; ++k)
                            cells[Key{i, j, k}].push_back(runs.size());
                runs.push_back(run);
            }
        }
        seen.assign(runs.size(), 0);
    }

    // The point nearest to p on the edges of the Breps other than `other`,
    // when one lies within `limit`; farther ones may be missed.
    Nearest nearest(const ON_3dPoint& p, int other, double limit)
    {
        Nearest found;
        ++query;
        const Key at = keyOf(p);
        for (std::int64_t ring = 0;; ++ring) {
            for (std::int64_t i = -ring; i <= ring; ++i)
                for (std::int64_t j = -ring; j <= ring; ++j)
                    for (std::int64_t k = -ring; k <= ring; ++k) {
                        if (std::max({std::abs(i), std::abs(j), std::abs(k)}) != ring)
                            continue;
                        const auto listed = cells.find(Key{at.i + i, at.j + j, at.k + k});
                        if (listed != cells.end())
                            for (std::size_t r : listed->second)
                                search(r, p, other, found);
                    }
            // Every cell beyond this ring lies farther than ring cells from p.
            if (found.distance <= double(ring) * cell || double(ring) * cell > limit)
                break;
        }
        return found;
    }

private:
    struct Key {
        std::int64_t i, j, k;
        bool operator==(const Key& o) const { return i == o.i && j == o.j && k == o.k; }
    };
    struct KeyHash {
        std::size_t operator()(const Key& key) const
        {
            std::uint64_t h = std::uint64_t(key.i) * 0x9E3779B97F4A7C15ULL;
            h ^= std::uint64_t(key.j) + 0xC2B2AE3D27D4EB4FULL + (h << 6) + (h >> 2);
            h ^= std::uint64_t(key.k) + 0x165667B19E3779F9ULL + (h << 6) + (h >> 2);
            return std::size_t(h);
        }
    };

    Key keyOf(const ON_3dPoint& p) const
    {
        // Far coordinates are held to cells a grid of this size can name.
        const auto index = [&](double x) {
            return std::int64_t(std::floor(std::clamp(x / cell, -1e15, 1e15)));
        };
        return {index(p.x), index(p.y), index(p.z)};
    }

    void search(std::size_t r, const ON_3dPoint& p, int other, Nearest& found)
    {
        if (seen[r] == query)
            return;
        seen[r] = query;
        const Run& run = runs[r];
        const Edge& edge = edges[run.edge];
        if (edge.brep == other || distanceToBox(p, run.low, run.high) >= found.distance)
            return;
        for (std::size_t k = run.first; k < run.last; ++k) {
            const ON_3dPoint q = nearestOnSegment(p, edge.line[k], edge.line[k + 1]);
            if (const double d = p.DistanceTo(q); d < found.distance) {
                found.distance = d;
                found.point = q;
                found.brep = edge.brep;
            }
        }
    }

    const std::vector<Edge>& edges;
    double cell;
    std::vector<Run> runs;
    std::unordered_map<Key, std::vector<std::size_t>, KeyHash> cells;
    std::vector<std::uint64_t> seen; // the last query that looked at each run
    std::uint64_t query = 0;
};

double polylineLength(const Polyline& line)
{
    double length = 0.0;
    for (std::size_t k = 1; k < line.size(); ++k)
        length += line[k - 1].DistanceTo(line[k]);
    return length;
}

} // namespace

EdgeGaps sharedEdgeGaps(const CVezadDoc& doc)
{
    EdgeGaps gaps;
    std::vector<Edge> edges;
    std::vector<double> diagonals; // of the box of each Brep's edges
    std::vector<double> lengths;
    for (int i = 0; i < doc.ObjectCount(); ++i) {
        const auto* object = dynamic_cast<const CVezadBrepObject*>(doc.ObjectAt(i));
        if (!object || object->IsDeleted() || object->IsHidden())
            continue;
        const ON_Brep& brep = *object->Brep();
        ON_3dPoint low, high;
        bool any = false;
        for (int e = 0; e < brep.m_E.Count(); ++e) {
            const ON_Curve& curve = brep.m_E[e];
            if (!curve.Domain().IsValid())
                continue;
            Edge edge{gaps.brepCount, sampleCurve(curve, kPolylinePoints, false),
                      sampleCurve(curve, kSamplesPerEdge, true)};
            for (const ON_3dPoint& p : edge.line)
                for (int c = 0; c < 3; ++c) {
                    low[c] = any ? std::min(low[c], p[c]) : p[c];
                    high[c] = any ? std::max(high[c], p[c]) : p[c];
                    any = any || c == 2;
                }
            lengths.push_back(polylineLength(edge.line));
            edges.push_back(std::move(edge));
        }
        diagonals.push_back(any ? low.DistanceTo(high) : 0.0);
        gaps.edgesPerBrep.push_back(brep.m_E.Count());
        ++gaps.brepCount;
    }
    if (edges.empty())
        return gaps;
    // Cells a quarter of the median edge long: a search for the neighbour
    // of a shared edge stays within a cell or two.
    std::vector<double> sorted(lengths);
    std::nth_element(sorted.begin(), sorted.begin() + std::ptrdiff_t(sorted.size() / 2),
                     sorted.end());
    double cell = 0.25 * sorted[sorted.size() / 2];
    if (!(cell > 0.0) || !std::isfinite(cell))
        cell = 1.0;
    RunGrid grid(edges, cell);
    for (const Edge& edge : edges) {
        const double ownReach = kReachShare * diagonals[std::size_t(edge.brep)];
        int paired = 0;
        double gap = 0.0;
        int neighbour = -1;
        for (const ON_3dPoint& p : edge.samples) {
            const Nearest q = grid.nearest(p, edge.brep, ownReach);
            if (q.brep < 0 ||
                q.distance > kReachShare * std::min(diagonals[std::size_t(edge.brep)],
                                                    diagonals[std::size_t(q.brep)]))
                continue;
            // p must be about the nearest point to q beyond q's own Brep.
            const double mutual = kMutualShare * q.distance;
            if (grid.nearest(q.point, q.brep, mutual).distance < mutual)
                continue;
            ++paired;
            if (neighbour < 0 || q.distance > gap) {
                gap = q.distance;
                neighbour = q.brep;
            }
        }
        if (paired >= kPairedShare * kSamplesPerEdge) {
            ++gaps.sharedEdges;
            if (gaps.largestBetween[0] < 0 || gap > gaps.largest) {
                gaps.largest = gap;
                gaps.largestBetween[0] = edge.brep;
                gaps.largestBetween[1] = neighbour;
            }
        }
    }
    return gaps;
}

} // namespace VezadHost
