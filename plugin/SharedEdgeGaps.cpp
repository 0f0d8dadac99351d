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

// The largest gap of the edge from the other face when it runs along it;
// negative when it does not.
double gapAlong(const EdgeOutline& edge, const FaceOutline& other)
{
    const double reach = kReachShare * edge.length;
    int near = 0;
    double gap = 0.0;
    for (const EdgePoint& p : edge.samples) {
        if (!withinBox(p, other.low, other.high, reach))
            continue;
        double best = std::numeric_limits<double>::infinity();
        const EdgeOutline* nearest = nullptr;
        for (const EdgeOutline& line : other.edges)
            for (std::size_t k = 1; k < line.polyline.size(); ++k)
                if (const double d = distanceToSegment(p, line.polyline[k - 1], line.polyline[k]);
                    d < best) {
                    best = d;
                    nearest = &line;
                }
        if (nearest != nullptr && best <= kReachShare * std::min(edge.length, nearest->length)) {
            ++near;
            gap = std::max(gap, best);
        }
    }
    return near >= kSharedShare * kSamplesPerEdge ? gap : -1.0;
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
    for (std::size_t a = 0; a < faces.size(); ++a)
        for (const EdgeOutline& edge : faces[a].edges)
            for (std::size_t b = 0; b < faces.size(); ++b) {
                // Samples beyond the reach of the other face's box are
                // not near it: a face far from this one is passed at once.
                if (b == a || faces[b].edges.empty() ||
                    !boxesMeet(faces[a], faces[b], kReachShare * edge.length))
                    continue;
                const double gap = gapAlong(edge, faces[b]);
                if (gap < 0.0)
                    continue;
                const std::pair<int, int> key(int(std::min(a, b)), int(std::max(a, b)));
                const auto [at, added] = pairs.emplace(key, gap);
                if (!added)
                    at->second = std::max(at->second, gap);
            }
    std::vector<SharedEdgeGap> gaps;
    for (const auto& [key, gap] : pairs)
        gaps.push_back({key.first, key.second, gap});
    return gaps;
}
