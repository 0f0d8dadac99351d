#include "plugin/SharedEdgeGaps.h"

#include "curves/ParCurve.h"
#include "net/Face.h"
#include "platform/on/Brep.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <utility>

namespace {

constexpr int kSamplesPerEdge = 50;
constexpr int kPolylinePoints = 400;
constexpr double kSharedShare = 0.8;
constexpr double kReachShare = 0.25;
// Samples of an edge a face must be given to share it: one alone may be a
// stray at a junction.
constexpr int kLeastSamples = 2;

double distance(const EdgePoint& p, const EdgePoint& q)
{
    return std::hypot(p[0] - q[0], p[1] - q[1], p[2] - q[2]);
}

double distanceToSegment(const EdgePoint& p, const EdgePoint& a, const EdgePoint& b)
{
    double ab[3], ap[3], length2 = 0.0, along = 0.0;
    for (int k = 0; k < 3; ++k) {
        ab[k] = b[k] - a[k];
        ap[k] = p[k] - a[k];
        length2 += ab[k] * ab[k];
        along += ab[k] * ap[k];
    }
    const double s = length2 > 0.0 ? std::clamp(along / length2, 0.0, 1.0) : 0.0;
    return distance(p, {a[0] + s * ab[0], a[1] + s * ab[1], a[2] + s * ab[2]});
}

// The edge of a curve given by its domain and evaluator.
EdgeOutline outlineOfCurve(double t0, double t1, const std::function<EdgePoint(double)>& at)
{
    EdgeOutline edge;
    for (int k = 0; k < kSamplesPerEdge; ++k) {
        const double share = (k + 0.5) / kSamplesPerEdge;
        edge.samples.push_back(at((1.0 - share) * t0 + share * t1));
    }
    for (int k = 0; k < kPolylinePoints; ++k) {
        const double share = double(k) / (kPolylinePoints - 1);
        edge.polyline.push_back(at((1.0 - share) * t0 + share * t1));
        if (k > 0)
            edge.length += distance(edge.polyline[std::size_t(k) - 1], edge.polyline.back());
    }
    return edge;
}

void closeBox(FaceOutline& face)
{
    const double inf = std::numeric_limits<double>::infinity();
    face.low = {inf, inf, inf};
    face.high = {-inf, -inf, -inf};
    for (const EdgeOutline& edge : face.edges)
        for (const EdgePoint& p : edge.polyline)
            for (int k = 0; k < 3; ++k) {
                face.low[std::size_t(k)] = std::min(face.low[std::size_t(k)], p[std::size_t(k)]);
                face.high[std::size_t(k)] = std::max(face.high[std::size_t(k)], p[std::size_t(k)]);
            }
}

// Whether p lies within reach of the box [low, high].
bool withinBox(const EdgePoint& p, const EdgePoint& low, const EdgePoint& high, double reach)
{
    for (std::size_t k = 0; k < 3; ++k)
        if (p[k] < low[k] - reach || p[k] > high[k] + reach)
            return false;
    return true;
}

// Whether the boxes of the two faces come within reach of each other.
bool boxesMeet(const FaceOutline& a, const FaceOutline& b, double reach)
{
    for (std::size_t k = 0; k < 3; ++k)
        if (a.low[k] > b.high[k] + reach || b.low[k] > a.high[k] + reach)
            return false;
    return true;
}

// Whether a sample p of the edge lies nearer than `than` to another edge of
// its own face. A sample that lies within twice its distance from the other
// faces of another edge of its own face has those faces beyond its own face
// (or along that other edge), not across its edge: a free side of a narrow
// face (a thin triangle at the net's border, cut off by a diagonal) runs
// within a quarter of its length of the face beyond that diagonal, as far
// from it as from its own diagonal but for their gap.
bool nearerToOwnFace(const EdgePoint& p, const EdgeOutline& edge, const FaceOutline& own,
                     double than)
{
    for (const EdgeOutline& line : own.edges)
        if (&line != &edge)
            for (std::size_t k = 1; k < line.polyline.size(); ++k)
                if (distanceToSegment(p, line.polyline[k - 1], line.polyline[k]) < than)
                    return true;
    return false;
}

// The samples of an edge that lie along other faces, each given to the face
// it is nearest to, and its distance from the nearest face; `near` counts
// them. A sample nearer to an end of its edge than twice that distance is
// given to the face of the nearest sample of the edge that is not: there a
// face that meets the edge's end only at a corner (the face across a
// junction) may lie nearer than the neighbour the edge runs along, and
// would be taken for sharing the edge on a few samples at its end. Only
// faces whose boxes come within reach of the edge's face are asked.
struct SampleOwners {
    std::vector<int> face; // per sample: the face it is given to, -1 for none
    std::vector<double> distance;
    int near = 0;
};

SampleOwners ownersOfSamples(const EdgeOutline& edge, const FaceOutline& own,
                             const std::vector<FaceOutline>& faces,
                             const std::vector<std::size_t>& candidates)
{
    const double reach = kReachShare * edge.length;
    SampleOwners owners;
    std::vector<bool> atEnd; // near, within twice its distance of an end
    std::vector<int> nearestFaces;
    for (const EdgePoint& p : edge.samples) {
        double best = std::numeric_limits<double>::infinity();
        const EdgeOutline* nearest = nullptr;
        int nearestFace = -1;
        for (std::size_t b : candidates) {
            if (!withinBox(p, faces[b].low, faces[b].high, reach))
                continue;
            for (const EdgeOutline& line : faces[b].edges)
                for (std::size_t k = 1; k < line.polyline.size(); ++k)
                    if (const double d =
                            distanceToSegment(p, line.polyline[k - 1], line.polyline[k]);
                        d < best) {
                        best = d;
                        nearest = &line;
                        nearestFace = int(b);
                    }
        }
        const double fromEnds =
            std::min(distance(p, edge.polyline.front()), distance(p, edge.polyline.back()));
        const bool near = nearest != nullptr &&
                          best <= kReachShare * std::min(edge.length, nearest->length) &&
                          !(2.0 * best < fromEnds && nearerToOwnFace(p, edge, own, 2.0 * best));
        atEnd.push_back(near && 2.0 * best >= fromEnds);
        nearestFaces.push_back(near ? nearestFace : -1);
        owners.face.push_back(near && !atEnd.back() ? nearestFace : -1);
        owners.distance.push_back(near ? best : 0.0);
        if (near)
            ++owners.near;
    }
    const std::vector<int> given = owners.face;
    // An edge that lies as far from the faces as a quarter of its length
    // (the farthest a sample is near them) has all its samples at its ends:
    // each goes to the face it is nearest to.
    if (std::all_of(given.begin(), given.end(), [](int f) { return f < 0; })) {
        owners.face = nearestFaces;
        return owners;
    }
    const int count = int(given.size());
    for (int k = 0; k < count; ++k) {
        if (!atEnd[std::size_t(k)])
            continue;
        for (int step = 1; step < count && owners.face[std::size_t(k)] < 0; ++step)
            for (int j : {k - step, k + step})
                if (j >= 0 && j < count && given[std::size_t(j)] >= 0) {
                    owners.face[std::size_t(k)] = given[std::size_t(j)];
                    break;
                }
    }
    return owners;
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
    closeBox(outline);
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
    closeBox(outline);
    return outline;
}

std::vector<SharedEdgeGap> sharedEdgeGaps(const std::vector<FaceOutline>& faces)
{
    std::map<std::pair<int, int>, double> pairs;
    std::vector<std::size_t> candidates;
    for (std::size_t a = 0; a < faces.size(); ++a)
        for (const EdgeOutline& edge : faces[a].edges) {
            // Samples beyond the reach of a face's box are not near it: a
            // face far from this one is passed at once.
            candidates.clear();
            for (std::size_t b = 0; b < faces.size(); ++b)
                if (b != a && !faces[b].edges.empty() &&
                    boxesMeet(faces[a], faces[b], kReachShare * edge.length))
                    candidates.push_back(b);
            const SampleOwners owners = ownersOfSamples(edge, faces[a], faces, candidates);
            if (owners.near < kSharedShare * kSamplesPerEdge)
                continue;
            std::map<int, std::pair<int, double>> along; // face -> samples, gap
            for (std::size_t k = 0; k < owners.face.size(); ++k)
                if (const int b = owners.face[k]; b >= 0) {
                    auto& [count, gap] = along[b];
                    ++count;
                    gap = std::max(gap, owners.distance[k]);
                }
            for (const auto& [b, share] : along) {
                if (share.first < kLeastSamples)
                    continue;
                const std::pair<int, int> key(std::min(int(a), b), std::max(int(a), b));
                const auto [at, added] = pairs.emplace(key, share.second);
                if (!added)
                    at->second = std::max(at->second, share.second);
            }
        }
    std::vector<SharedEdgeGap> gaps;
    for (const auto& [key, gap] : pairs)
        gaps.push_back({key.first, key.second, gap});
    return gaps;
}
