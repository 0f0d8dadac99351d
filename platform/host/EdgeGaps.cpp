#include "platform/host/EdgeGaps.h"

#include "platform/host/Document.h"
#include "platform/host/Object.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <utility>
#include <vector>

namespace VezadHost {

namespace {

constexpr int kSamplesPerEdge = 50;
constexpr int kPolylinePoints = 400;
// Segments of a poly-line per run with a box of its own.
constexpr std::size_t kRunSegments = 16;
// Runs per leaf of the tree of boxes.
constexpr std::size_t kLeafRuns = 4;
// The share of an edge's samples that must be paired for it to be shared.
constexpr double kPairedShare = 0.5;
// How much nearer than p another point may lie to q with p still q's
// nearest: edges along each other that cross at an angle of up to 40
// degrees are each other's nearest.
constexpr double kMutualShare = 0.75;
// The reach of a pairing, as a share of the smaller Brep's diagonal.
constexpr double kReachShare = 0.25;
// Points measured along a stretch of an edge that follows a shared side,
// besides its poly-line's points.
constexpr int kSamplesPerSide = 50;
// Points of a shared side, evenly spread from end to end, that weigh which
// edge of a Brep follows it.
constexpr std::size_t kChoosingPoints = 13;

using Polyline = std::vector<ON_3dPoint>;

SharedSidesQuery& installedQuery()
{
    static SharedSidesQuery query;
    return query;
}

struct Box {
    ON_3dPoint low, high;

    void grow(const ON_3dPoint& p)
    {
        for (int c = 0; c < 3; ++c) {
            low[c] = std::min(low[c], p[c]);
            high[c] = std::max(high[c], p[c]);
        }
    }
    void grow(const Box& b)
    {
        grow(b.low);
        grow(b.high);
    }
    double distanceTo(const ON_3dPoint& p) const
    {
        double d2 = 0.0;
        for (int k = 0; k < 3; ++k) {
            const double out = std::max({low[k] - p[k], 0.0, p[k] - high[k]});
            d2 += out * out;
        }
        return std::sqrt(d2);
    }
};

struct Run {
    std::size_t edge = 0;
    std::size_t first = 0, last = 0; // segments first .. last - 1 of the edge's line
    Box box;
};

struct Edge {
    int brep = 0;
    Polyline line;
    Polyline samples;                      // where it is paired by its edges alone
    std::size_t firstRun = 0, lastRun = 0; // its runs, last excluded
};

struct Nearest {
    double distance = std::numeric_limits<double>::infinity();
    ON_3dPoint point;
    int brep = -1;
    double at = 0.0; // along the edge's poly-line: a point index with the share after it
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

ON_3dPoint nearestOnSegment(const ON_3dPoint& p, const ON_3dPoint& a, const ON_3dPoint& b,
                            double& share)
{
    const ON_3dVector ab = b - a;
    const double length2 = ab * ab;
    share = length2 > 0.0 ? std::clamp(((p - a) * ab) / length2, 0.0, 1.0) : 0.0;
    return a + share * ab;
}

// The edges of the Breps measured, the runs of their poly-lines, and the
// nearest points of the edges to a point.
class EdgeSet {
public:
    std::vector<Edge> edges;
    std::vector<Run> runs;

    void add(int brep, Polyline line, Polyline samples)
    {
        Edge edge{brep, std::move(line), std::move(samples), runs.size(), runs.size()};
        for (std::size_t first = 0; first + 1 < edge.line.size(); first += kRunSegments) {
            Run run{edges.size(),
                    first,
                    std::min(first + kRunSegments, edge.line.size() - 1),
                    {edge.line[first], edge.line[first]}};
            for (std::size_t k = run.first; k <= run.last; ++k)
                run.box.grow(edge.line[k]);
            runs.push_back(run);
        }
        edge.lastRun = runs.size();
        edges.push_back(std::move(edge));
    }

    // The point of edge e nearest to p. The run *hint is searched first and
    // receives the run of the point found; the search ends once a point
    // nearer than `enough` is found (the distance answered is then no more
    // than that, not the least).
    Nearest nearestOnEdge(std::size_t e, const ON_3dPoint& p, std::size_t* hint = nullptr,
                          double enough = -1.0) const
    {
        Nearest found;
        if (edges[e].firstRun == edges[e].lastRun)
            return found;
        const std::size_t first =
            hint != nullptr && *hint >= edges[e].firstRun && *hint < edges[e].lastRun
                ? *hint
                : edges[e].firstRun;
        searchRun(first, p, -1, found, hint);
        for (std::size_t r = edges[e].firstRun; r < edges[e].lastRun && found.distance > enough;
             ++r)
            if (r != first)
                searchRun(r, p, -1, found, hint);
        return found;
    }

    // Builds the tree of the runs' boxes for nearest().
    void buildTree()
    {
        order.resize(runs.size());
        for (std::size_t r = 0; r < runs.size(); ++r)
            order[r] = r;
        nodes.clear();
        if (runs.empty())
            return;
        nodes.resize(1);
        buildNode(0, 0, runs.size());
    }

    // The point nearest to p on the edges of the Breps other than `other`,
    // when one lies nearer than `limit`; farther ones are not sought.
    Nearest nearest(const ON_3dPoint& p, int other, double limit) const
    {
        Nearest found;
        found.distance = limit;
        if (nodes.empty())
            return Nearest();
        // Depth first, the nearer child first; a box no nearer than the
        // point found holds no nearer point.
        std::vector<std::size_t> stack{0};
        while (!stack.empty()) {
            const Node& node = nodes[stack.back()];
            stack.pop_back();
            if (node.box.distanceTo(p) >= found.distance)
                continue;
            if (node.left == 0) {
                for (std::size_t k = node.first; k < node.last; ++k)
                    searchRun(order[k], p, other, found);
                continue;
            }
            const bool leftFirst =
                nodes[node.left].box.distanceTo(p) <= nodes[node.left + 1].box.distanceTo(p);
            stack.push_back(leftFirst ? node.left + 1 : node.left);
            stack.push_back(leftFirst ? node.left : node.left + 1);
        }
        if (found.brep < 0)
            return Nearest();
        return found;
    }

private:
    struct Node {
        Box box;
        std::size_t first = 0, last = 0; // of `order`, for a leaf
        std::size_t left = 0;            // its children left and left + 1; 0 for a leaf
    };
    std::vector<std::size_t> order; // the runs, grouped by the leaves
    std::vector<Node> nodes;

    void searchRun(std::size_t r, const ON_3dPoint& p, int other, Nearest& found,
                   std::size_t* hint = nullptr) const
    {
        const Run& run = runs[r];
        const Edge& edge = edges[run.edge];
        if (edge.brep == other || run.box.distanceTo(p) >= found.distance)
            return;
        double best2 = found.distance * found.distance;
        for (std::size_t k = run.first; k < run.last; ++k) {
            double share = 0.0;
            const ON_3dPoint q = nearestOnSegment(p, edge.line[k], edge.line[k + 1], share);
            const ON_3dVector d = q - p;
            if (const double d2 = d * d; d2 < best2) {
                best2 = d2;
                found.distance = std::sqrt(d2);
                found.point = q;
                found.brep = edge.brep;
                found.at = double(k) + share;
                if (hint != nullptr)
                    *hint = r;
            }
        }
    }

    // Node `at`, of runs order[first .. last), split at the median of their
    // boxes' middles along the widest side of its box.
    void buildNode(std::size_t at, std::size_t first, std::size_t last)
    {
        Box box = runs[order[first]].box;
        for (std::size_t k = first + 1; k < last; ++k)
            box.grow(runs[order[k]].box);
        nodes[at].box = box;
        nodes[at].first = first;
        nodes[at].last = last;
        if (last - first <= kLeafRuns)
            return;
        int axis = 0;
        for (int c = 1; c < 3; ++c)
            if (box.high[c] - box.low[c] > box.high[axis] - box.low[axis])
                axis = c;
        const std::size_t middle = first + (last - first) / 2;
        const auto centre = [&](std::size_t r) {
            return runs[r].box.low[axis] + runs[r].box.high[axis];
        };
        // Ties by the run's place: the tree depends on the runs alone.
        std::nth_element(order.begin() + std::ptrdiff_t(first),
                         order.begin() + std::ptrdiff_t(middle),
                         order.begin() + std::ptrdiff_t(last), [&](std::size_t a, std::size_t b) {
                             return centre(a) != centre(b) ? centre(a) < centre(b) : a < b;
                         });
        const std::size_t left = nodes.size();
        nodes[at].left = left;
        nodes.resize(left + 2);
        buildNode(left, first, middle);
        buildNode(left + 1, middle, last);
    }
};

// The point `at` along the poly-line (see Nearest::at).
ON_3dPoint pointAlong(const Polyline& line, double at)
{
    const std::size_t k = std::min(std::size_t(std::max(at, 0.0)), line.size() - 1);
    if (k + 1 >= line.size())
        return line.back();
    const double share = at - double(k);
    return line[k] + share * (line[k + 1] - line[k]);
}

// Whether the edge's poly-line comes back to its first point: its ends lie
// apart by less than a millionth of its mean step (a ring's curve evaluated
// at the two ends of its domain meets itself only within rounding).
bool closedLine(const Polyline& line)
{
    double length = 0.0;
    for (std::size_t k = 1; k < line.size(); ++k)
        length += line[k - 1].DistanceTo(line[k]);
    return line.front().DistanceTo(line.back()) <= 1e-6 * length / double(line.size() - 1);
}

// The stretch of a Brep's edge that follows a shared side (see the header).
struct Stretch {
    std::size_t edge = 0;
    double from = 0.0, to = 0.0; // along its poly-line
    bool round = false;          // over the closing point of a closed edge
};

Stretch followingStretch(const EdgeSet& set, std::size_t firstEdge, std::size_t lastEdge,
                         const Polyline& side)
{
    Stretch stretch{firstEdge};
    double best = std::numeric_limits<double>::infinity();
    for (std::size_t e = firstEdge; e < lastEdge; ++e) {
        std::size_t hint = set.edges[e].firstRun;
        double sum = 0.0;
        for (std::size_t k = 0; k < kChoosingPoints && sum < best; ++k)
            sum += set.nearestOnEdge(e, side[k * (side.size() - 1) / (kChoosingPoints - 1)], &hint)
                       .distance;
        if (sum < best) {
            best = sum;
            stretch.edge = e;
        }
    }
    const Polyline& line = set.edges[stretch.edge].line;
    // Where the edge passes an end of the side; at its own end (a corner of
    // the Brep) when that lies within twice as far from the side's end.
    const auto passing = [&](const ON_3dPoint& end) {
        const Nearest foot = set.nearestOnEdge(stretch.edge, end);
        double at = foot.at, along = std::numeric_limits<double>::infinity();
        for (const std::size_t corner : {std::size_t(0), line.size() - 1})
            if (end.DistanceTo(line[corner]) <= 2.0 * foot.distance &&
                std::fabs(double(corner) - foot.at) < along) {
                at = double(corner);
                along = std::fabs(double(corner) - foot.at);
            }
        return at;
    };
    stretch.from = passing(side.front());
    stretch.to = passing(side.back());
    const double middle = set.nearestOnEdge(stretch.edge, side[side.size() / 2]).at;
    if (stretch.from > stretch.to)
        std::swap(stretch.from, stretch.to);
    stretch.round = line.size() > 2 && closedLine(line) &&
                    (middle < stretch.from || middle > stretch.to);
    return stretch;
}

// The largest distance of the stretch from edge `other`.
double farthestFrom(const EdgeSet& set, const Stretch& stretch, std::size_t other)
{
    const Polyline& line = set.edges[stretch.edge].line;
    const double last = double(line.size() - 1);
    const double from = stretch.round ? stretch.to : stretch.from;
    const double length =
        stretch.round ? last - stretch.to + stretch.from : stretch.to - stretch.from;
    std::size_t hint = set.edges[other].firstRun;
    double far = 0.0;
    // A point within the farthest distance so far cannot be the farthest.
    const auto measure = [&](double at) {
        if (at > last)
            at -= last;
        far = std::max(far, set.nearestOnEdge(other, pointAlong(line, at), &hint, far).distance);
    };
    for (int k = 0; k <= kSamplesPerSide; ++k)
        measure(from + length * k / kSamplesPerSide);
    for (double at = std::floor(from) + 1.0; at < from + length; at += 1.0)
        measure(at);
    return far;
}

// The side's points with its two ends before and after them.
Polyline sideWithEnds(const std::vector<ON_3dPoint>& along)
{
    Polyline side;
    const std::size_t n = along.size();
    side.push_back(n > 1 ? along[0] + 0.5 * (along[0] - along[1]) : along[0]);
    side.insert(side.end(), along.begin(), along.end());
    side.push_back(n > 1 ? along[n - 1] + 0.5 * (along[n - 1] - along[n - 2]) : along[n - 1]);
    return side;
}

void keepLargest(EdgeGaps& gaps, double gap, int a, int b)
{
    if (gaps.largestBetween[0] < 0 || gap > gaps.largest) {
        gaps.largest = gap;
        gaps.largestBetween[0] = a;
        gaps.largestBetween[1] = b;
    }
}

} // namespace

void setSharedSidesQuery(SharedSidesQuery query)
{
    installedQuery() = std::move(query);
}

EdgeGaps sharedEdgeGaps(const CVezadDoc& doc)
{
    EdgeGaps gaps;
    // The Breps, by their place among those measured: their ids, edges
    // and the diagonals of the boxes of their edges.
    std::vector<ON_UUID> ids;
    std::vector<const ON_Brep*> breps;
    for (int i = 0; i < doc.ObjectCount(); ++i) {
        const auto* object = dynamic_cast<const CVezadBrepObject*>(doc.ObjectAt(i));
        if (!object || object->IsDeleted() || object->IsHidden())
            continue;
        ids.push_back(object->ModelObjectId());
        breps.push_back(object->Brep());
        gaps.edgesPerBrep.push_back(object->Brep()->m_E.Count());
    }
    gaps.brepCount = int(breps.size());
    std::map<ON_UUID, int> placeOf;
    for (std::size_t b = 0; b < ids.size(); ++b)
        placeOf.emplace(ids[b], int(b));
    BrepSides described;
    if (installedQuery())
        described = installedQuery()(doc);
    std::vector<bool> isDescribed(breps.size(), false);
    for (const ON_UUID& id : described.breps)
        if (const auto found = placeOf.find(id); found != placeOf.end())
            isDescribed[std::size_t(found->second)] = true;
    gaps.describedBreps = int(std::count(isDescribed.begin(), isDescribed.end(), true));

    // The described Breps' edges and the undescribed ones', each set with
    // the range of every Brep's edges in it.
    EdgeSet sides, paired;
    std::vector<std::pair<std::size_t, std::size_t>> edgesOf(breps.size());
    std::vector<double> diagonals(breps.size(), 0.0);
    for (std::size_t b = 0; b < breps.size(); ++b) {
        EdgeSet& set = isDescribed[b] ? sides : paired;
        edgesOf[b].first = set.edges.size();
        Box box;
        bool any = false;
        for (int e = 0; e < breps[b]->m_E.Count(); ++e) {
            const ON_Curve& curve = breps[b]->m_E[e];
            if (!curve.Domain().IsValid())
                continue;
            Polyline line = sampleCurve(curve, kPolylinePoints, false);
            for (const ON_3dPoint& p : line) {
                if (!any)
                    box = {p, p};
                box.grow(p);
                any = true;
            }
            set.add(int(b), std::move(line),
                    isDescribed[b] ? Polyline() : sampleCurve(curve, kSamplesPerEdge, true));
        }
        edgesOf[b].second = set.edges.size();
        diagonals[b] = any ? box.low.DistanceTo(box.high) : 0.0;
    }

    // Along the sides the query gave, between live described Breps.
    std::set<std::size_t> following; // the edges that follow a side
    for (const BrepSharedSide& side : described.sides) {
        const auto a = placeOf.find(side.a), b = placeOf.find(side.b);
        if (a == placeOf.end() || b == placeOf.end() || !isDescribed[std::size_t(a->second)] ||
            !isDescribed[std::size_t(b->second)])
            continue;
        ++gaps.describedSides;
        const auto [a0, a1] = edgesOf[std::size_t(a->second)];
        const auto [b0, b1] = edgesOf[std::size_t(b->second)];
        if (side.along.empty() || a0 == a1 || b0 == b1)
            continue;
        ++gaps.measuredSides;
        const Polyline points = sideWithEnds(side.along);
        const Stretch onA = followingStretch(sides, a0, a1, points);
        const Stretch onB = followingStretch(sides, b0, b1, points);
        following.insert(onA.edge);
        following.insert(onB.edge);
        const double gap =
            std::max(farthestFrom(sides, onA, onB.edge), farthestFrom(sides, onB, onA.edge));
        keepLargest(gaps, gap, std::min(a->second, b->second), std::max(a->second, b->second));
    }
    gaps.sharedEdges = int(following.size());

    // The others by their edges alone.
    paired.buildTree();
    for (const Edge& edge : paired.edges) {
        const double ownReach = kReachShare * diagonals[std::size_t(edge.brep)];
        int count = 0;
        double gap = 0.0;
        int neighbour = -1;
        for (const ON_3dPoint& p : edge.samples) {
            const Nearest q = paired.nearest(p, edge.brep, ownReach);
            if (q.brep < 0 ||
                q.distance > kReachShare * std::min(diagonals[std::size_t(edge.brep)],
                                                    diagonals[std::size_t(q.brep)]))
                continue;
            // p must be about the nearest point to q beyond q's own Brep.
            const double mutual = kMutualShare * q.distance;
            if (paired.nearest(q.point, q.brep, mutual).brep >= 0)
                continue;
            ++count;
            if (neighbour < 0 || q.distance > gap) {
                gap = q.distance;
                neighbour = q.brep;
            }
        }
        if (count >= kPairedShare * kSamplesPerEdge) {
            ++gaps.sharedEdges;
            keepLargest(gaps, gap, edge.brep, neighbour);
        }
    }
    return gaps;
}

} // namespace VezadHost
