#include "platform/host/EdgeGaps.h"

#include "platform/host/Document.h"
#include "platform/host/Object.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace VezadHost {

namespace {

constexpr int kSamplesPerEdge = 50;
constexpr int kPolylinePoints = 400;
constexpr double kSharedShare = 0.8;
constexpr double kReachShare = 0.25;

using Polyline = std::vector<ON_3dPoint>;

struct Edge {
    int brep;
    std::size_t line; // its poly-line among its Brep's
    Polyline samples;
    double length = 0.0;
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

double distanceToSegment(const ON_3dPoint& p, const ON_3dPoint& a, const ON_3dPoint& b)
{
    const ON_3dVector ab = b - a;
    const double length2 = ab * ab;
    const double s = length2 > 0.0 ? std::clamp(((p - a) * ab) / length2, 0.0, 1.0) : 0.0;
    return p.DistanceTo(a + s * ab);
}

// The distance of p from the nearest of the lines; nearest is its index.
double distanceToPolylines(const ON_3dPoint& p, const std::vector<const Polyline*>& lines,
                           std::size_t& nearest)
{
    double best = std::numeric_limits<double>::infinity();
    nearest = 0;
    for (std::size_t l = 0; l < lines.size(); ++l)
        for (std::size_t k = 1; k < lines[l]->size(); ++k)
            if (const double d = distanceToSegment(p, (*lines[l])[k - 1], (*lines[l])[k]);
                d < best) {
                best = d;
                nearest = l;
            }
    return best;
}

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
    std::vector<std::vector<Polyline>> outlines; // each Brep's edges as poly-lines
    for (int i = 0; i < doc.ObjectCount(); ++i) {
        const auto* object = dynamic_cast<const CVezadBrepObject*>(doc.ObjectAt(i));
        if (!object || object->IsDeleted() || object->IsHidden())
            continue;
        const ON_Brep& brep = *object->Brep();
        outlines.emplace_back();
        for (int e = 0; e < brep.m_E.Count(); ++e) {
            const ON_Curve& curve = brep.m_E[e];
            if (!curve.Domain().IsValid())
                continue;
            Polyline line = sampleCurve(curve, kPolylinePoints, false);
            Edge edge{gaps.brepCount, outlines.back().size(),
                      sampleCurve(curve, kSamplesPerEdge, true), 0.0};
            for (std::size_t k = 1; k < line.size(); ++k)
                edge.length += line[k - 1].DistanceTo(line[k]);
            outlines.back().push_back(std::move(line));
            edges.push_back(std::move(edge));
        }
        gaps.edgesPerBrep.push_back(brep.m_E.Count());
        ++gaps.brepCount;
    }
    for (const Edge& edge : edges) {
        std::vector<const Polyline*> lines;
        std::vector<double> lengths;
        std::vector<int> owners; // the Brep of each line
        for (int other = 0; other < gaps.brepCount; ++other)
            if (other != edge.brep)
                for (const Polyline& line : outlines[static_cast<std::size_t>(other)]) {
                    lines.push_back(&line);
                    lengths.push_back(polylineLength(line));
                    owners.push_back(other);
                }
        int along = 0;
        double gap = 0.0;
        int neighbour = -1;
        // The Brep's other edges: a sample within twice its distance from the
        // other Breps of them (and farther than that from the ends of its
        // edge) has those Breps beyond its own face, not across its edge.
        std::vector<const Polyline*> ownLines;
        const std::vector<Polyline>& own = outlines[static_cast<std::size_t>(edge.brep)];
        for (std::size_t l = 0; l < own.size(); ++l)
            if (l != edge.line)
                ownLines.push_back(&own[l]);
        const ON_3dPoint& first = own[edge.line].front();
        const ON_3dPoint& last = own[edge.line].back();
        for (const ON_3dPoint& p : edge.samples) {
            std::size_t nearest = 0;
            const double d = distanceToPolylines(p, lines, nearest);
            const auto acrossOwnFace = [&] {
                std::size_t ownNearest = 0;
                return 2.0 * d < std::min(p.DistanceTo(first), p.DistanceTo(last)) &&
                       distanceToPolylines(p, ownLines, ownNearest) < 2.0 * d;
            };
            if (!lines.empty() && d <= kReachShare * std::min(edge.length, lengths[nearest]) &&
                !acrossOwnFace()) {
                ++along;
                if (neighbour < 0 || d > gap) {
                    gap = d;
                    neighbour = owners[nearest];
                }
            }
        }
        if (along >= kSharedShare * kSamplesPerEdge) {
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
