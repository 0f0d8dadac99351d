#include "net/Topology.h"

#include "curves/PlaneFit.h"
#include "foundation/FitPoint.h"
#include "foundation/Statistic.h"
#include "foundation/VertexList.h"
#include "geometry/FitHelpers.h"
#include "geometry/ParametricGeometry.h"
#include "mesh/GridPoint.h"
#include "mesh/MeshGeometry.h"
#include "net/Face.h"
#include "net/Graph.h"
#include "net/PointList.h"
#include "net/SurfaceNet.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

using GraphAlgorithm::CHalfEdge;
using GraphAlgorithm::Cycle;
using GraphAlgorithm::Vertex;

namespace {

// Points along each piece of the outline.
constexpr int kOutlineSteps = 25;
// Share of a spoke's way from its junction to the far one at which its first
// test point lies, and the steps between the next ones.
constexpr double kSpokeShare = 0.05;
// The most of the outline's extent (the diagonal of its box in the plane)
// within which a spoke's test point lies along the outline.
constexpr double kMarginOfExtent = 0.02;
// Largest |n . P| at or below which the mesh normals stand across the
// corners' plane and the cycle is no face.
constexpr double kBadLoopAlignment = 0.1;
const Vertex* sourceOf(const CHalfEdge* h)
{
    return h->twin != nullptr ? h->twin->target : nullptr;
}

Gridbench::CGridPoint* gridPointOf(const Vertex* v)
{
    const auto* node = dynamic_cast<const _CVertex*>(v);
    return node != nullptr ? dynamic_cast<Gridbench::CGridPoint*>(node->point) : nullptr;
}

// Index of p in the poly-line: the piece's own entry when it holds p (a
// point the poly-line passes twice has two entries; the piece runs from
// one of them; the closing piece of a closed poly-line ends at an entry
// past the last, see COffset_PointList::entryAt), else the entry p itself,
// else the first entry at exactly p's position (the graph joins grid points
// that lie at one position into one node, whose point may be another
// poly-line's). -1 when none.
int indexInPolyLine(const COffset_PointList* polyLine, const CVertex<float, 3>* p, int entry)
{
    if (polyLine == nullptr || p == nullptr)
        return -1;
    const int at = polyLine->entryOf(entry, p);
    if (at >= 0)
        return at;
    for (int i = 0; i < polyLine->vertices.count; ++i) {
        const CVertex<float, 3>* q = polyLine->vertices.data[i];
        if (q != nullptr && q->data[0] == p->data[0] && q->data[1] == p->data[1] &&
            q->data[2] == p->data[2])
            return i;
    }
    return -1;
}

// The curve parameter of the entry at index, when the poly-line has a curve
// and a parameter there (past the end of a periodic curve for an entry
// reached round the closing segment; the curve is evaluated there as one
// period earlier).
bool parameterAt(const COffset_PointList* polyLine, int index, double& t)
{
    if (polyLine == nullptr || polyLine->getCurve() == nullptr)
        return false;
    return polyLine->entryParameter(index, t);
}

bool curvePoint(CParametricGeometry* curve, double t, double out[3])
{
    Vector** d = curve->evaluate(0, t, 0.0);
    if (d == nullptr)
        return false;
    const Vector& p = d[0][0];
    for (int k = 0; k < 3; ++k)
        out[k] = k < p.n ? p[k] : 0.0;
    return true;
}

double dot3(const double* a, const double* b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// The plane the outline is drawn in: origin O and the right-handed frame
// (u, v, n).
struct ProjectionPlane {
    double origin[3];
    double u[3];
    double v[3];
    double n[3];

    void set(const double* o, const double* normal)
    {
        CAxis axis(Vector(o[0], o[1], o[2]), Vector(normal[0], normal[1], normal[2]));
        Vector uAxis(3), vAxis(3);
        axis.orthonormalPair(uAxis, vAxis);
        for (int k = 0; k < 3; ++k) {
            origin[k] = o[k];
            n[k] = axis.direction[k];
            u[k] = uAxis[k];
            v[k] = vAxis[k];
        }
    }

    Vector project(const double* q) const
    {
        const double d[3] = {q[0] - origin[0], q[1] - origin[1], q[2] - origin[2]};
        return Vector(dot3(d, u), dot3(d, v), 0.0);
    }
    Vector project(const CVertex<float, 3>& q) const
    {
        const double p[3] = {q.data[0], q.data[1], q.data[2]};
        return project(p);
    }
};

// Appends the piece of h from its source to its target junction, in space
// (three coordinates a point): 25 points of the poly-line's curve, the last
// at the target; without a curve the poly-line's own points after the
// source up to the target; the target alone when the junctions cannot be
// found in the poly-line.
void appendPiecePoints(const CHalfEdge* h, const Gridbench::CGridPoint* source,
                       const Gridbench::CGridPoint* target, std::vector<double>& points)
{
    const COffset_PointList* polyLine = h->polyLine;
    const int i0 = indexInPolyLine(polyLine, source, h->sourceEntry);
    const int i1 = indexInPolyLine(polyLine, target, h->targetEntry);
    const auto appendVertex = [&](const CVertex<float, 3>& q) {
        points.insert(points.end(), {q.data[0], q.data[1], q.data[2]});
    };
    double t0 = 0.0, t1 = 0.0;
    if (parameterAt(polyLine, i0, t0) && parameterAt(polyLine, i1, t1)) {
        CParametricGeometry* curve = polyLine->getCurve();
        const std::size_t before = points.size();
        double p[3];
        bool complete = true;
        for (int k = 1; k <= kOutlineSteps && complete; ++k) {
            const double s = double(k) / kOutlineSteps;
            complete = curvePoint(curve, (1.0 - s) * t0 + s * t1, p);
            if (complete)
                points.insert(points.end(), p, p + 3);
        }
        if (complete)
            return;
        points.resize(before);
    }
    if (i0 >= 0 && i1 >= 0 && i0 != i1) {
        const int step = i1 > i0 ? 1 : -1;
        for (int j = i0 + step; j != i1 + step; j += step)
            if (const CVertex<float, 3>* p = polyLine->entryAt(j))
                appendVertex(*p);
        return;
    }
    appendVertex(*target);
}

// The point of the spoke e leaving junction J at the share s of its way
// towards its far junction F: along e's curve, or along the straight line
// between the two.
void spokePoint(const CHalfEdge* e, const Gridbench::CGridPoint* J, const Gridbench::CGridPoint* F,
                double s, double out[3])
{
    const COffset_PointList* polyLine = e->polyLine;
    double tJ = 0.0, tF = 0.0;
    if (parameterAt(polyLine, indexInPolyLine(polyLine, J, e->sourceEntry), tJ) &&
        parameterAt(polyLine, indexInPolyLine(polyLine, F, e->targetEntry), tF) &&
        curvePoint(polyLine->getCurve(), (1.0 - s) * tJ + s * tF, out))
        return;
    for (int k = 0; k < 3; ++k)
        out[k] = (1.0 - s) * J->data[k] + s * F->data[k];
}

// The distance in the plane from q to the closed outline.
double distanceToOutline(const CVertexList& outline, const CVertex<double, 3>& q)
{
    double nearest = HUGE_VAL;
    const int n = outline.getCount();
    for (int i = 0; i < n; ++i)
        nearest = std::min(nearest, pointSegmentDistance2(outline.getVertex(i)->data,
                                                          outline.getVertex(i + 1)->data, q.data, 2,
                                                          nullptr));
    return std::sqrt(nearest);
}

// Whether the spoke e leaving junction J runs into the outline: judged at
// the one of its points (at every kSpokeShare of its way) that lies
// farthest from the outline. A pen that ran past a junction and came back
// leaves a spur along the pieces there, on the spoke or on the outline
// itself, which the curve draws as a narrow loop that may reach to either
// side by a little: only the spoke's way on from the junction tells where it
// runs. A point a fifth of the spoke's chord from the outline is no spur's:
// the point a quarter of the way along is tried first, and the search ends
// at the first such point. A spoke within `margin` of the outline all the
// way runs into nothing.
bool spokeRunsInside(const CHalfEdge* e, const Gridbench::CGridPoint* J,
                     const Gridbench::CGridPoint* F, const ProjectionPlane& plane,
                     const CVertexList& outline, double margin)
{
    const Vector a = plane.project(*J), b = plane.project(*F);
    const double enough = std::max(margin, 0.2 * std::hypot(b[0] - a[0], b[1] - a[1]));
    double farthest = margin;
    bool inside = false;
    const auto probe = [&](double share) {
        double p[3];
        spokePoint(e, J, F, share, p);
        const Vector projected = plane.project(p);
        const CVertex<double, 3> q(projected[0], projected[1], 0.0);
        const double d = distanceToOutline(outline, q);
        if (d > farthest) {
            farthest = d;
            inside = outline.isInside(q, false);
        }
    };
    probe(0.25);
    const int steps = int(std::lround(1.0 / kSpokeShare));
    for (int k = 1; k < steps && farthest <= enough; ++k)
        probe(k * kSpokeShare);
    return inside;
}

// The distance from the outline within which a spoke's point tells nothing:
// the net's tolerance, as far as it is less than a share of the outline's
// extent (a net whose tolerance was never set keeps the default of 0.1
// whatever its size).
double spokeMargin(const Cycle& c, const CVertexList& outline)
{
    double lo[2] = {HUGE_VAL, HUGE_VAL}, hi[2] = {-HUGE_VAL, -HUGE_VAL};
    for (int i = 0; i < outline.getCount(); ++i)
        for (int k = 0; k < 2; ++k) {
            lo[k] = std::min(lo[k], outline.getVertex(i)->data[k]);
            hi[k] = std::max(hi[k], outline.getVertex(i)->data[k]);
        }
    double margin =
        outline.getCount() > 0 ? kMarginOfExtent * std::hypot(hi[0] - lo[0], hi[1] - lo[1]) : 0.0;
    const COffset_PointList* polyLine = c.count > 0 ? c.items[0]->polyLine : nullptr;
    if (polyLine != nullptr && polyLine->owner != nullptr &&
        polyLine->owner->surfaceTolerance > 0.0)
        margin = std::min(margin, polyLine->owner->surfaceTolerance);
    return margin;
}

// -1 when the outline runs counter-clockwise in the plane, +1 clockwise, by
// the sign of the area it encloses; 0 for fewer than three points. A spur
// where a pen ran past a junction and came back, drawn by the curve as a
// narrow loop of its own, weighs by its own small area: the region decides.
// An outline that encloses nothing but rounding (two pieces along one path)
// runs clockwise, round no region: the sign of its rounding would decide
// otherwise, and a net and the same net read back would differ there.
int outlineOrientation(const CVertexList& outline)
{
    const int n = outline.getCount();
    if (n < 3)
        return 0;
    double area = 0.0;
    double lo[2] = {HUGE_VAL, HUGE_VAL}, hi[2] = {-HUGE_VAL, -HUGE_VAL};
    for (int i = 0; i < n; ++i) {
        const double* p = outline.getVertex(i)->data;
        const double* q = outline.getVertex(i + 1)->data;
        area += p[0] * q[1] - q[0] * p[1];
        for (int k = 0; k < 2; ++k) {
            lo[k] = std::min(lo[k], p[k]);
            hi[k] = std::max(hi[k], p[k]);
        }
    }
    const double extent2 = (hi[0] - lo[0]) * (hi[0] - lo[0]) + (hi[1] - lo[1]) * (hi[1] - lo[1]);
    return area > 1e-9 * extent2 ? -1 : 1;
}

// The number that names a junction in messages: its grid point's serial
// number.
int junctionNumber(const Gridbench::CGridPoint* g)
{
    return g != nullptr ? g->serial : -1;
}

// The index of a piece's end in the four-sided merge: its entry, where a
// poly-line that returns to its first point counts its last entry as the
// first, and a closed poly-line an entry reached round its closing segment
// as that entry, so that the pieces on either side of that point meet there
// as along the rest of the poly-line.
int cornerIndex(const COffset_PointList* polyLine, const CVertex<float, 3>* p, int entry)
{
    const int at = indexInPolyLine(polyLine, p, entry);
    const int last = polyLine != nullptr ? polyLine->vertices.count - 1 : -1;
    if (at > last && polyLine->closed)
        return at - (last + 1);
    if (at > 0 && at == last && polyLine->vertices[0] == polyLine->vertices[last])
        return 0;
    return at;
}

bool inCycleOrTwin(const Cycle& c, const CHalfEdge* e)
{
    for (int i = 0; i < c.count; ++i)
        if (c.items[i] == e || c.items[i]->twin == e)
            return true;
    return false;
}

int rejectCycle(bool& bad, CycleRejection* rejection, std::string cause, int orientation = 0)
{
    bad = true;
    if (rejection != nullptr) {
        rejection->cause = std::move(cause);
        rejection->orientation = orientation;
    }
    return -1;
}

} // namespace

namespace {

// The outline of c (the poly-lines' curves between its junctions) projected
// into the plane of its corners, seen from the side the mesh normals point
// to. False, with the cause, where c is no face for its nodes (one is no
// grid point) or the mesh normals at its corners.
bool seeCycle(const Cycle& c, ProjectionPlane& plane, CVertexList& outline, std::string& cause)
{
    const int n = c.count;
    for (int i = 0; i < n; ++i)
        if (c.items[i] == nullptr || gridPointOf(c.items[i]->target) == nullptr ||
            gridPointOf(sourceOf(c.items[i])) == nullptr) {
            std::cout << "runtime cast failed!   aborting the loop " << std::endl;
            cause = "a node is no grid point";
            return false;
        }

    // Corners with their mesh normals; N the mean normal, C the centroid.
    CFitPointArray corners;
    double normalSum[3] = {0.0, 0.0, 0.0};
    double centre[3] = {0.0, 0.0, 0.0};
    for (int i = 0; i < n; ++i) {
        const Gridbench::CGridPoint* g = gridPointOf(c.items[i]->target);
        const Vector position(g->data, 3);
        const Vector normal(g->normal.data, 3);
        corners.append(CFitPoint(position, Vector(2), normal));
        for (int k = 0; k < 3; ++k) {
            normalSum[k] += normal[k];
            centre[k] += position[k] / n;
        }
    }
    const double length = std::sqrt(dot3(normalSum, normalSum));
    for (int k = 0; k < 3 && length > 0.0; ++k)
        normalSum[k] /= length;

    std::vector<double> points;
    for (int i = 0; i < n; ++i)
        appendPiecePoints(c.items[i], gridPointOf(sourceOf(c.items[i])),
                          gridPointOf(c.items[i]->target), points);

    Vector fittedCentre, fittedNormal;
    if (n > 2 && fitPlane(corners, fittedCentre, fittedNormal)) {
        double P[3] = {fittedNormal[0], fittedNormal[1], fittedNormal[2]};
        const auto alignmentWith = [&](const double* normal) {
            CStatistic alignment;
            for (const CFitPoint& corner : corners)
                alignment.add(std::fabs(corner.Normal[0] * normal[0] +
                                        corner.Normal[1] * normal[1] +
                                        corner.Normal[2] * normal[2]));
            return alignment;
        };
        const CStatistic alignment = alignmentWith(P);
        if (alignment.max <= kBadLoopAlignment) {
            // The plane that fits the corners best need not be the one the
            // region lies across: the corners of a narrow region on a bent
            // sheet lie near the plane of its bend, to which the mesh
            // normals stand across. The region is seen from the side on
            // which its outline encloses the most area; only where the mesh
            // normals stand across that plane as well does the mesh turn
            // away from it.
            double across[3];
            if (!enclosedAreaNormal(points.data(), int(points.size() / 3), across) ||
                alignmentWith(across).max <= kBadLoopAlignment) {
                std::cout << "getOrientation::badloop, spstat = " << alignment << std::endl;
                cause = "the mesh normals at its corners lie across their plane";
                return false;
            }
            for (int k = 0; k < 3; ++k)
                P[k] = across[k];
        }
        const double sign = dot3(P, normalSum) < 0.0 ? -1.0 : 1.0;
        const double facing[3] = {sign * P[0], sign * P[1], sign * P[2]};
        const double origin[3] = {fittedCentre[0], fittedCentre[1], fittedCentre[2]};
        plane.set(origin, facing);
    } else {
        // Two corners, or corners on one line: no plane of their own.
        plane.set(centre, normalSum);
    }

    for (std::size_t k = 0; k + 2 < points.size(); k += 3)
        outline.appendPoint(plane.project(&points[k]));
    return true;
}

} // namespace

int getOrientation(const Cycle& c, const Kor::List<COffset_PointList*>&, bool& bad,
                   CycleRejection* rejection)
{
    bad = false;
    const int n = c.count;
    ProjectionPlane plane;
    CVertexList outline;
    std::string cause;
    if (!seeCycle(c, plane, outline, cause))
        return rejectCycle(bad, rejection, cause);

    // A piece of the net that leaves a junction of the cycle towards its
    // inside makes it no face. Spokes whose far end faces away from the
    // plane's side are not judged, nor are pieces that hang off the net:
    // they divide nothing.
    const double margin = spokeMargin(c, outline);
    for (int i = 0; i < n; ++i) {
        const Vertex* junction = c.items[i]->target;
        const Gridbench::CGridPoint* J = gridPointOf(junction);
        for (int k = 0; k < junction->outgoing.count; ++k) {
            const CHalfEdge* e = junction->outgoing.items[k];
            if (e == nullptr || e->dangling || inCycleOrTwin(c, e))
                continue;
            const Gridbench::CGridPoint* F = gridPointOf(e->target);
            if (F == nullptr)
                continue;
            const double farNormal[3] = {F->normal.data[0], F->normal.data[1], F->normal.data[2]};
            if (dot3(farNormal, plane.n) <= 0.0)
                continue;
            if (spokeRunsInside(e, J, F, plane, outline, margin))
                return rejectCycle(bad, rejection,
                                   "the piece from its corner " +
                                       std::to_string(junctionNumber(J)) + " to " +
                                       std::to_string(junctionNumber(F)) + " runs into it",
                                   outlineOrientation(outline));
        }
    }
    return outlineOrientation(outline);
}

void collectEdgeEntries(const Cycle& c, Kor::List<EdgeData>& entries)
{
    const int first = entries.count;
    Kor::List<const COffset_PointList*> polyLines;
    for (int i = 0; i < c.count; ++i) {
        const CHalfEdge* h = c.items[i];
        if (h == nullptr)
            continue;
        const auto* source = dynamic_cast<const _CVertex*>(sourceOf(h));
        const auto* target = dynamic_cast<const _CVertex*>(h->target);
        if (source == nullptr || target == nullptr)
            continue;
        EdgeData entry;
        entry.sourceId = source->getId();
        entry.targetId = target->getId();
        entry.polyLine = h->polyLine;
        entry.sourceIndex = cornerIndex(h->polyLine, source->point, h->sourceEntry);
        entry.targetIndex = cornerIndex(h->polyLine, target->point, h->targetEntry);
        entries.append(entry);
        if (!polyLines.contains(h->polyLine))
            polyLines.append(h->polyLine);
    }
    if (polyLines.count != 4 || entries.count - first <= 3)
        return;

    // Four-sided merge: two consecutive pieces of one poly-line that meet at
    // one point (three distinct indices among their four) become one piece
    // from the smallest to the largest index; on a closed poly-line, whose
    // pieces may run on round its closing segment, between the two indices
    // they do not share.
    for (int i = 1; i < entries.count - first + 1;) {
        const int n = entries.count - first;
        EdgeData& a = entries.data[first + i - 1];
        const int bAt = first + i % n;
        const EdgeData& b = entries.data[bAt];
        if (&a == &b || a.polyLine != b.polyLine) {
            ++i;
            continue;
        }
        int indices[4] = {a.sourceIndex, a.targetIndex, b.sourceIndex, b.targetIndex};
        std::sort(indices, indices + 4);
        if (std::unique(indices, indices + 4) - indices != 3) {
            ++i;
            continue;
        }
        if (a.polyLine != nullptr && a.polyLine->closed) {
            const int shared = a.sourceIndex == b.sourceIndex || a.sourceIndex == b.targetIndex
                                   ? a.sourceIndex
                                   : a.targetIndex;
            const int aEnd = a.sourceIndex == shared ? a.targetIndex : a.sourceIndex;
            const int bEnd = b.sourceIndex == shared ? b.targetIndex : b.sourceIndex;
            a.sourceIndex = aEnd;
            a.targetIndex = bEnd;
        } else {
            a.sourceIndex = indices[0];
            a.targetIndex = indices[2];
        }
        if (a.sourceId == b.sourceId)
            a.sourceId = b.targetId;
        else if (a.sourceId == b.targetId)
            a.sourceId = b.sourceId;
        else if (a.targetId == b.sourceId)
            a.targetId = b.targetId;
        else if (a.targetId == b.targetId)
            a.targetId = b.sourceId;
        entries.removeAt(bAt);
    }
}

void collectCornerSet(const Kor::List<EdgeData>& entries, Kor::Set<std::intptr_t>& corners)
{
    for (const EdgeData& e : entries) {
        corners.findOrInsert(e.sourceId, lessCornerId);
        corners.findOrInsert(e.targetId, lessCornerId);
    }
}

namespace {

// The ring's entries from..to projected on the plane of the mesh normal at
// its first point (its first point a grid point; none when it is none).
std::vector<std::array<double, 2>> projectedRing(const COffset_PointList& polyLine, int from,
                                                 int to)
{
    std::vector<std::array<double, 2>> ring;
    const auto* g = dynamic_cast<const Gridbench::CGridPoint*>(polyLine.entryAt(from));
    if (g == nullptr)
        return ring;
    const double origin[3] = {g->data[0], g->data[1], g->data[2]};
    double normal[3] = {g->normal.data[0], g->normal.data[1], g->normal.data[2]};
    if (!(dot3(normal, normal) > 1e-24)) {
        normal[0] = normal[1] = 0.0;
        normal[2] = 1.0;
    }
    ProjectionPlane plane;
    plane.set(origin, normal);
    for (int i = from; i <= to; ++i)
        if (const CVertex<float, 3>* p = polyLine.entryAt(i)) {
            const Vector a = plane.project(*p);
            ring.push_back({a[0], a[1]});
        }
    return ring;
}

double signedArea(const std::vector<std::array<double, 2>>& ring)
{
    double area = 0.0;
    for (std::size_t i = 0; i + 1 < ring.size(); ++i)
        area += 0.5 * (ring[i][0] * ring[i + 1][1] - ring[i + 1][0] * ring[i][1]);
    return area;
}

// The area the closed ring winds round, each place counted as often as it
// winds round it whichever way: a figure-eight's two lobes add up where
// its signed area has them cancel. Scanned along kWindingRows lines across
// the ring's box.
constexpr int kWindingRows = 256;
double windingArea(const std::vector<std::array<double, 2>>& ring)
{
    if (ring.size() < 3)
        return 0.0;
    double lo = HUGE_VAL, hi = -HUGE_VAL;
    for (const auto& p : ring) {
        lo = std::min(lo, p[1]);
        hi = std::max(hi, p[1]);
    }
    const double step = (hi - lo) / kWindingRows;
    if (!(step > 0.0))
        return 0.0;
    double area = 0.0;
    std::vector<std::pair<double, int>> cuts;
    for (int row = 0; row < kWindingRows; ++row) {
        const double y = lo + (row + 0.5) * step;
        cuts.clear();
        for (std::size_t i = 0; i < ring.size(); ++i) {
            const auto& a = ring[i];
            const auto& b = ring[(i + 1) % ring.size()];
            if ((a[1] <= y) == (b[1] <= y))
                continue;
            const double x = a[0] + (y - a[1]) / (b[1] - a[1]) * (b[0] - a[0]);
            cuts.emplace_back(x, a[1] <= y ? 1 : -1);
        }
        std::sort(cuts.begin(), cuts.end());
        int winding = 0;
        for (std::size_t k = 0; k + 1 < cuts.size(); ++k) {
            winding += cuts[k].second;
            area += std::abs(winding) * (cuts[k + 1].first - cuts[k].first);
        }
    }
    return area * step;
}

} // namespace

bool smallRing(const COffset_PointList& polyLine, int from, int to, double least)
{
    const std::vector<std::array<double, 2>> ring = projectedRing(polyLine, from, to);
    return std::fabs(signedArea(ring)) < least && windingArea(ring) < least;
}

namespace {

// A region that encloses less area than a square this many tolerances wide
// (or this many hundredths of the net's extent, when that is less) is no
// region: a face cannot be fitted inside it (a pen's small hook at a
// junction, a ring of no area drawn out and back). A narrow region is a
// region all the same, as long as it encloses that much.
constexpr double kLeastRegionWidth = 3.0;
constexpr double kTolerancesOfExtent = 0.01;

} // namespace

// The area below which a region is no region: that of a square
// kLeastRegionWidth tolerances wide, or as many hundredths of the extent
// of the net's junctions when that is less (a net whose tolerance was never
// set keeps the default of 0.1 whatever its size).
double leastRegionArea(const Kor::List<COffset_PointList*>& polyLines, double tolerance)
{
    double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (const COffset_PointList* pl : polyLines)
        for (int i = 0; pl != nullptr && i < pl->vertices.count; ++i)
            for (int k = 0; useCountOf(pl->vertices[i]) > 1 && k < 3; ++k) {
                lo[k] = std::min(lo[k], double(pl->vertices[i]->data[k]));
                hi[k] = std::max(hi[k], double(pl->vertices[i]->data[k]));
            }
    if (!(hi[0] >= lo[0]))
        return 0.0;
    const double d[3] = {hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]};
    double unit = kTolerancesOfExtent * std::sqrt(dot3(d, d));
    if (tolerance > 0.0)
        unit = std::min(unit, tolerance);
    return (kLeastRegionWidth * unit) * (kLeastRegionWidth * unit);
}

// ---- The net's topology step ------------------------------------------------

namespace GB {

namespace {

// The corner ids of a set, in its order: two sets are equal when their keys
// are.
std::vector<std::intptr_t> cornerKey(const Kor::Set<std::intptr_t>& corners)
{
    std::vector<std::intptr_t> key;
    key.reserve(std::size_t(corners.count));
    for (int i = 0; i < corners.count; ++i)
        key.push_back(*corners.items[i]);
    return key;
}

// The saved index (node number of the net text) of every target, -1 for a
// target that is no grid point.
Kor::List<int> savedIndicesOf(const Cycle& c)
{
    Kor::List<int> corners;
    for (int i = 0; i < c.count; ++i) {
        const Gridbench::CGridPoint* g = gridPointOf(c.items[i]->target);
        corners.append(g != nullptr ? g->savedIndex : -1);
    }
    return corners;
}

// Removes the first loop still marked unmatched outside Ribbon faces; a
// face whose first loop it is goes as a whole. False when there is none.
bool removeFirstUnmatchedLoop(CSurfaceNet& net)
{
    for (Face* face = net.firstFace; face != nullptr; face = face->next) {
        if (face->requestedState == Ribbon)
            continue;
        Loop* previous = nullptr;
        for (Loop* loop = face->firstLoop; loop != nullptr; previous = loop, loop = loop->next) {
            if (!loop->unmatched)
                continue;
            if (previous == nullptr) {
                net.removeFace(face);
            } else {
                previous->next = loop->next;
                delete loop;
            }
            return true;
        }
    }
    return false;
}

} // namespace

void CSurfaceNet::markAllLoopsUnmatched()
{
    unmatchedLoops.clear();
    for (Face* face = firstFace; face != nullptr; face = face->next)
        for (Loop* loop = face->firstLoop; loop != nullptr; loop = loop->next) {
            loop->unmatched = true;
            if (loop == face->firstLoop)
                unmatchedLoops[cornerKey(loop->cornerSet)].push_back(loop);
        }
}

bool CSurfaceNet::findMatchingLoop(const Cycle& c, const Kor::List<CCoEdge*>& coedges,
                                   const Kor::Set<std::intptr_t>& corners, Loop** taken)
{
    // Only a loop that no cycle of this rebuild took yet may match: two
    // cycles with one corner set are two faces. The loops marked are found
    // by their corners, in the chain's order.
    // Among them the loop that walks the cycle's very pieces comes first:
    // two regions can share their corners (three poly-lines between two
    // junctions), and each keeps its own face. A loop that takes another
    // walk is another region's now: its face is recorded for the undo first.
    const auto at = unmatchedLoops.find(cornerKey(corners));
    if (at != unmatchedLoops.end()) {
        const std::vector<std::int64_t> pieces = loopPieces(c);
        std::vector<Loop*> loops = at->second;
        std::stable_partition(loops.begin(), loops.end(),
                              [&](const Loop* l) { return loopPieces(l->cycle) == pieces; });
        for (Loop* loop : loops)
            if (loop->unmatched) {
                loop->unmatched = false;
                if (loopPieces(loop->cycle) != pieces)
                    recordFaceState(loop->owner);
                loop->setCycle(c);
                loop->coedges = coedges;
                if (taken != nullptr)
                    *taken = loop;
                return false;
            }
    }
    auto* loop = new Loop();
    loop->setCycle(c);
    loop->coedges = coedges;
    loop->cornerSet = corners;
    loop->unmatched = false;
    auto* face = new Face(loop);
    face->next = firstFace;
    firstFace = face;
    if (taken != nullptr)
        *taken = loop;
    return true;
}

void CSurfaceNet::removeUnmatchedLoops()
{
    unmatchedLoops.clear();
    // Each removal changes the chains: walk again from the first face.
    while (removeFirstUnmatchedLoop(*this)) {
    }
}

namespace {

// The path of the piece over the poly-line's entries from..to: the exact
// positions of its points, in the one of its two directions that orders
// first, so that a piece and the same path walked backwards have one path.
using PiecePath = std::vector<std::uint32_t>;
PiecePath piecePath(const COffset_PointList& polyLine, int from, int to)
{
    PiecePath forward, backward;
    const auto append = [](PiecePath& path, const CVertex<float, 3>* p) {
        if (p == nullptr)
            return;
        for (int k = 0; k < 3; ++k) {
            const float x = p->data[k] + 0.0f; // -0 and 0 are one position
            std::uint32_t bits = 0;
            std::memcpy(&bits, &x, sizeof bits);
            path.push_back(bits);
        }
    };
    for (int i = from; i <= to; ++i)
        append(forward, polyLine.entryAt(i));
    for (int i = to; i >= from; --i)
        append(backward, polyLine.entryAt(i));
    return std::min(forward, backward);
}

// The graph's edges: the pieces of every poly-line between consecutive
// junctions (grid points used more than once). Points before the first and
// after the last junction of an open poly-line belong to no edge. A closed
// poly-line runs on from its last junction round its closing segment to its
// first junction (entries past the last, see COffset_PointList::entryAt):
// that piece is an edge too, and the regions the closing segment bounds are
// found like any other. A piece over the same points as one already in the
// graph (a poly-line drawn along another one, or back along itself) is that
// edge: the two would bound a region of no area, and the regions on either
// side must meet along one edge. So is a piece between the same two places
// as one in the graph that runs within the least region's width of it all
// the way (a side drawn again a tolerance or two off, whose pieces
// between the junctions where the strokes cross bound slivers no face can
// be fitted in).
//
// A ring, a piece that comes back to the point it starts at (a poly-line
// drawn back to its first point, or a closed one with one junction or none,
// then taken from its first entry round to it), bounds the region inside it
// as any cycle does, whether other pieces meet at that point or not (a ring
// at the end of a spur, the lobes of a figure-eight, an island touching a
// side at one node). It is cut at its middle entry into two pieces, so that
// every region's boundary has two pieces at least and runs through the
// point it starts at as through any other. A ring that encloses less than
// `least` (a pen's hook at a junction, a ring drawn out and back along
// itself) closes nothing and is no edge.
void addPolyLineEdges(const Kor::List<COffset_PointList*>& polyLines, GraphAlgorithm::Graph& graph,
                      double least)
{
    struct Piece {
        COffset_PointList* polyLine;
        int rank;
        Gridbench::CGridPoint* from;
        int fromEntry;
        Gridbench::CGridPoint* to;
        int toEntry;
    };
    std::vector<Piece> pieces;
    int rank = 0;
    for (COffset_PointList* polyLine : polyLines) {
        ++rank;
        if (polyLine == nullptr)
            continue;
        // The regions are judged on the curve through the poly-line's ends
        // and junctions as they now stand, not as they stood at its fit.
        polyLine->currentCurve();
        Gridbench::CGridPoint* first = nullptr;
        int firstEntry = -1;
        Gridbench::CGridPoint* previous = nullptr;
        int previousEntry = -1;
        for (int entry = 0; entry < polyLine->vertices.count; ++entry) {
            auto* junction = dynamic_cast<Gridbench::CGridPoint*>(polyLine->vertices[entry]);
            if (junction == nullptr || junction->useCount <= 1)
                continue;
            if (previous != nullptr) {
                pieces.push_back({polyLine, rank, previous, previousEntry, junction, entry});
            } else {
                first = junction;
                firstEntry = entry;
            }
            previous = junction;
            previousEntry = entry;
        }
        if (polyLine->closed && first != nullptr) {
            pieces.push_back({polyLine, rank, previous, previousEntry, first,
                              firstEntry + polyLine->vertices.count});
        } else if (polyLine->closed && polyLine->vertices.count >= 3) {
            // A closed poly-line that no other one meets: a ring from its
            // first point.
            if (auto* start = dynamic_cast<Gridbench::CGridPoint*>(polyLine->vertices[0]))
                pieces.push_back({polyLine, rank, start, 0, start, polyLine->vertices.count});
        }
    }

    // A piece's end by its position, where the graph makes one node.
    using Place = std::array<float, 3>;
    const auto placeOf = [](const CVertex<float, 3>* p) {
        return Place{p->data[0] + 0.0f, p->data[1] + 0.0f, p->data[2] + 0.0f};
    };

    std::set<PiecePath> paths;
    // The pieces added between two places (in their order), by their entries.
    using Track = std::vector<std::array<double, 3>>;
    std::map<std::pair<Place, Place>, std::vector<Track>> between;
    const double alongside = std::sqrt(std::max(least, 0.0));
    const auto trackOf = [](const Piece& piece) {
        Track track;
        for (int i = piece.fromEntry; i <= piece.toEntry; ++i)
            if (const CVertex<float, 3>* p = piece.polyLine->entryAt(i))
                track.push_back({p->data[0], p->data[1], p->data[2]});
        return track;
    };
    // Whether every point of a lies within `alongside` of the polyline b.
    const auto within = [&](const Track& a, const Track& b) {
        for (const auto& p : a) {
            double nearest = HUGE_VAL;
            for (std::size_t k = 0; k + 1 < b.size() && nearest > alongside * alongside; ++k)
                nearest = std::min(nearest, pointSegmentDistance2(b[k].data(), b[k + 1].data(),
                                                                  p.data(), 3, nullptr));
            if (!(nearest <= alongside * alongside))
                return false;
        }
        return true;
    };
    const auto addEdge = [&](const Piece& piece) {
        if (!paths.insert(piecePath(*piece.polyLine, piece.fromEntry, piece.toEntry)).second)
            return;
        if (placeOf(piece.from) != placeOf(piece.to) && alongside > 0.0) {
            std::vector<Track>& added = between[std::minmax(placeOf(piece.from), placeOf(piece.to))];
            Track track = trackOf(piece);
            for (const Track& other : added)
                if (within(track, other) && within(other, track))
                    return;
            added.push_back(std::move(track));
        }
        GraphAlgorithm::Vertex* a = new _CVertex(piece.from);
        if (placeOf(piece.from) == placeOf(piece.to)) {
            GraphAlgorithm::Vertex* node = graph.findOrAddVertex(a);
            if (node != a)
                delete a;
            a = node;
            std::cout << "adding a sel pointing edge " << node->getId() << std::endl;
        }
        graph.addEdge(a, new _CVertex(piece.to), piece.polyLine, piece.fromEntry, piece.toEntry,
                      piece.rank);
    };
    for (const Piece& piece : pieces) {
        const int count = piece.polyLine->vertices.count;
        const int middle = (piece.fromEntry + piece.toEntry) / 2;
        const bool freeRing =
            placeOf(piece.from) == placeOf(piece.to) && piece.toEntry - piece.fromEntry >= 2;
        // A ring too small to hold a face (a pen's hook at a junction)
        // closes nothing.
        if (placeOf(piece.from) == placeOf(piece.to) &&
            smallRing(*piece.polyLine, piece.fromEntry, piece.toEntry, least))
            continue;
        auto* cut = freeRing ? dynamic_cast<Gridbench::CGridPoint*>(piece.polyLine->entryAt(middle))
                             : nullptr;
        if (cut == nullptr || placeOf(cut) == placeOf(piece.from)) {
            addEdge(piece);
            continue;
        }
        addEdge({piece.polyLine, piece.rank, piece.from, piece.fromEntry, cut, middle});
        // Both entries round the closing segment are the entries before it.
        const int shift = middle >= count ? count : 0;
        addEdge({piece.polyLine, piece.rank, cut, middle - shift, piece.to, piece.toEntry - shift});
    }
}

// The part of a piece's reach from its node within which the way it leaves
// is not read: a pen that ran past the junction and came back, or hooked
// out and joined back onto it, left a stretch there that may run along a
// neighbouring piece or anywhere (up to a third of the way between the
// nodes of a net drawn stroke by stroke).
constexpr double kDepartureShare = 0.35;

// The points of h's piece from its source to its target, in space (three
// coordinates a point): the source, then as appendPiecePoints gives them.
std::vector<double> pieceTrack(const CHalfEdge* h)
{
    std::vector<double> points;
    const auto append = [&](const Vertex* v) {
        CVertex<float, 3> p;
        v->getPoint(p);
        points.insert(points.end(), {p.data[0], p.data[1], p.data[2]});
    };
    const Vertex* source = sourceOf(h);
    if (source == nullptr || h->target == nullptr)
        return points;
    append(source);
    const Gridbench::CGridPoint *s = gridPointOf(source), *t = gridPointOf(h->target);
    if (s != nullptr && t != nullptr)
        appendPiecePoints(h, s, t, points);
    else
        append(h->target);
    return points;
}

// The mesh normal at a node, or the z axis where it has none.
void nodeNormal(const Vertex* v, double out[3])
{
    const Gridbench::CGridPoint* g = gridPointOf(v);
    double length = 0.0;
    for (int k = 0; k < 3; ++k) {
        out[k] = g != nullptr ? g->normal.data[k] : 0.0;
        length += out[k] * out[k];
    }
    if (!(length > 1e-24)) {
        out[0] = out[1] = 0.0;
        out[2] = 1.0;
    }
}

// The angle, counter-clockwise in the plane about its origin, of the way
// the track (from the plane's origin) leaves the ball of `radius` about its
// start for the last time: towards its first point outside after the last
// one inside.
double angleOut(const std::vector<double>& track, const ProjectionPlane& plane, double radius)
{
    const std::size_t n = track.size() / 3;
    std::size_t leaving = 1;
    for (std::size_t k = 1; k < n; ++k) {
        const double d[3] = {track[3 * k] - track[0], track[3 * k + 1] - track[1],
                             track[3 * k + 2] - track[2]};
        if (dot3(d, d) < radius * radius)
            leaving = std::min(k + 1, n - 1);
    }
    const Vector q = plane.project(&track[3 * leaving]);
    return std::atan2(q[1], q[0]);
}

// The angle from a to b, in (-pi, pi].
double turnFrom(double a, double b)
{
    double d = std::remainder(b - a, 2.0 * M_PI);
    return d <= -M_PI ? d + 2.0 * M_PI : d;
}

// The points of h's piece and on through the nodes where one other piece
// goes on (the middle of a ring cut in two, a node between two strokes of
// one side), up to a node of more pieces or back at h's source, cut at the
// farthest of them from the source: the way the line leaves the node, seen
// along the line, not its first piece alone (a pen's hook runs its first
// leg along the line it hooks off).
std::vector<double> lineTrack(const CHalfEdge* h)
{
    std::vector<double> track = pieceTrack(h);
    const Vertex* start = sourceOf(h);
    for (const CHalfEdge* at = h; at->target != start && track.size() >= 3;) {
        const Vertex* v = at->target;
        const CHalfEdge* on = nullptr;
        int pieces = 0;
        for (int k = 0; k < v->outgoing.count; ++k) {
            const CHalfEdge* e = v->outgoing.items[k];
            if (e == nullptr || e->dangling || e->twin == nullptr)
                continue;
            ++pieces;
            if (e != at->twin)
                on = e;
        }
        if (pieces != 2 || on == nullptr || on == h)
            break;
        const std::vector<double> more = pieceTrack(on);
        if (more.size() > 3)
            track.insert(track.end(), more.begin() + 3, more.end());
        at = on;
    }
    std::size_t farthest = 0;
    double most = -1.0;
    for (std::size_t k = 0; k + 2 < track.size(); k += 3) {
        const double d[3] = {track[k] - track[0], track[k + 1] - track[1], track[k + 2] - track[2]};
        if (dot3(d, d) > most) {
            most = dot3(d, d);
            farthest = k;
        }
    }
    track.resize(farthest + 3);
    return track;
}

// Orders the half-edges leaving one node counter-clockwise about its mesh
// normal, by the way each one's line (lineTrack) leaves the ball about the
// node of kDepartureShare of the farthest it reaches (the stretch a pen
// left there, running past the junction and back, runs anywhere).
// Two that leave within kTieAngle of each other (a hook's first leg along
// the line it hooks off) are told apart farther out, where both still
// reach: non-crossing pieces keep their order at every distance. The order
// starts after the widest gap between them, so that no such pair is cut
// apart.
void orderRoundNode(std::vector<CHalfEdge*>& around)
{
    constexpr double kTieAngle = 10.0 * M_PI / 180.0;
    const std::size_t n = around.size();
    if (n < 2)
        return;
    struct Leaving {
        CHalfEdge* h;
        std::vector<double> track;
        double reach = 0.0, angle = 0.0;
    };
    std::vector<Leaving> leaving;
    ProjectionPlane plane;
    for (CHalfEdge* h : around) {
        Leaving l{h, lineTrack(h)};
        if (l.track.size() < 6)
            return;
        if (leaving.empty()) {
            double normal[3];
            nodeNormal(sourceOf(h), normal);
            plane.set(l.track.data(), normal);
        }
        for (std::size_t k = 1; k < l.track.size() / 3; ++k) {
            const double d[3] = {l.track[3 * k] - l.track[0], l.track[3 * k + 1] - l.track[1],
                                 l.track[3 * k + 2] - l.track[2]};
            l.reach = std::max(l.reach, std::sqrt(dot3(d, d)));
        }
        l.angle = angleOut(l.track, plane, kDepartureShare * l.reach);
        leaving.push_back(std::move(l));
    }
    std::stable_sort(leaving.begin(), leaving.end(),
                     [](const Leaving& a, const Leaving& b) { return a.angle < b.angle; });
    std::size_t widest = 0;
    double gap = -1.0;
    for (std::size_t k = 0; k < n; ++k) {
        const double to = k + 1 < n ? leaving[k + 1].angle : leaving[0].angle + 2.0 * M_PI;
        if (to - leaving[k].angle > gap) {
            gap = to - leaving[k].angle;
            widest = k;
        }
    }
    std::rotate(leaving.begin(), leaving.begin() + std::ptrdiff_t((widest + 1) % n), leaving.end());
    const auto outOfOrder = [&](const Leaving& a, const Leaving& b) {
        const double apart = turnFrom(a.angle, b.angle);
        if (std::fabs(apart) >= kTieAngle || std::min(a.reach, b.reach) <= 0.0)
            return false;
        const double radius = 0.9 * std::min(a.reach, b.reach);
        const double turn =
            turnFrom(angleOut(a.track, plane, radius), angleOut(b.track, plane, radius));
        return turn < 0.0 || (turn == 0.0 && b.h->creation < a.h->creation);
    };
    // Neighbours in near-ties change places where farther out they lie the
    // other way round.
    for (std::size_t k = 1; k < n; ++k)
        for (std::size_t j = k; j > 0 && outOfOrder(leaving[j - 1], leaving[j]); --j)
            std::swap(leaving[j - 1], leaving[j]);
    for (std::size_t k = 0; k < n; ++k)
        around[k] = leaving[k].h;
}

// The walk cut at the nodes it passes more than once into closed walks that
// pass each of their nodes once, each in the walk's order: the boundary of
// a region that touches itself there (a ring touching its side at a node
// is a hole meeting the outer boundary).
std::vector<Cycle> simpleCycles(const Cycle& walk)
{
    std::vector<Cycle> cycles;
    if (walk.count == 0)
        return cycles;
    std::vector<CHalfEdge*> stack;
    // The place in the stack where the walk left each node it is at.
    std::unordered_map<const Vertex*, std::size_t> leftAt{{sourceOf(walk.items[0]), 0}};
    for (int i = 0; i < walk.count; ++i) {
        CHalfEdge* h = walk.items[i];
        stack.push_back(h);
        const auto again = leftAt.find(h->target);
        if (again == leftAt.end()) {
            leftAt[h->target] = stack.size();
            continue;
        }
        const std::size_t from = again->second;
        Cycle cycle;
        for (std::size_t k = from; k < stack.size(); ++k) {
            cycle.append(stack[k]);
            if (k + 1 < stack.size())
                leftAt.erase(stack[k]->target);
        }
        stack.resize(from);
        cycles.push_back(cycle);
    }
    if (!stack.empty()) {
        Cycle rest;
        for (CHalfEdge* h : stack)
            rest.append(h);
        cycles.push_back(rest);
    }
    return cycles;
}

// One closed walk of a region walk, as seeCycle sees it.
struct SeenCycle {
    Cycle cycle;
    bool seen = false;
    std::string cause; // why it could not be seen
    ProjectionPlane plane;
    std::unique_ptr<CVertexList> outline = std::make_unique<CVertexList>();
    double area = 0.0;   // enclosed, positive counter-clockwise
    double length = 0.0; // of the outline
    double lo[2] = {HUGE_VAL, HUGE_VAL}, hi[2] = {-HUGE_VAL, -HUGE_VAL};
    double extent = 0.0; // the diagonal of the box
};

SeenCycle seeWalkCycle(const Cycle& c)
{
    SeenCycle s;
    s.cycle = c;
    s.seen = seeCycle(c, s.plane, *s.outline, s.cause);
    const int n = s.outline->getCount();
    for (int i = 0; i < n; ++i) {
        const double* p = s.outline->getVertex(i)->data;
        const double* q = s.outline->getVertex(i + 1)->data;
        s.area += 0.5 * (p[0] * q[1] - q[0] * p[1]);
        s.length += std::hypot(q[0] - p[0], q[1] - p[1]);
        for (int k = 0; k < 2; ++k) {
            s.lo[k] = std::min(s.lo[k], p[k]);
            s.hi[k] = std::max(s.hi[k], p[k]);
        }
    }
    s.extent = n > 0 ? std::hypot(s.hi[0] - s.lo[0], s.hi[1] - s.lo[1]) : 0.0;
    return s;
}

// The signed area the walk's outline encloses seen along the mean of its
// nodes' mesh normals, positive counter-clockwise, and the square of the
// outline's extent: the side of a walk whose corners seeCycle could not see.
std::pair<double, double> areaAlongMeanNormal(const Cycle& c)
{
    std::vector<double> points;
    double normal[3] = {0.0, 0.0, 0.0}, centre[3] = {0.0, 0.0, 0.0};
    for (int i = 0; i < c.count; ++i) {
        const std::vector<double> track = pieceTrack(c.items[i]);
        points.insert(points.end(), track.begin(), track.end());
        double n[3];
        nodeNormal(c.items[i]->target, n);
        for (int k = 0; k < 3; ++k)
            normal[k] += n[k];
    }
    const std::size_t count = points.size() / 3;
    if (count < 3 || !(dot3(normal, normal) > 1e-24))
        return {0.0, 0.0};
    for (std::size_t k = 0; k < count; ++k)
        for (int j = 0; j < 3; ++j)
            centre[j] += points[3 * k + j] / double(count);
    ProjectionPlane plane;
    plane.set(centre, normal);
    double area = 0.0, lo[2] = {HUGE_VAL, HUGE_VAL}, hi[2] = {-HUGE_VAL, -HUGE_VAL};
    for (std::size_t k = 0; k < count; ++k) {
        const Vector p = plane.project(&points[3 * k]);
        const Vector q = plane.project(&points[3 * ((k + 1) % count)]);
        area += 0.5 * (p[0] * q[1] - q[0] * p[1]);
        for (int j = 0; j < 2; ++j) {
            lo[j] = std::min(lo[j], p[j]);
            hi[j] = std::max(hi[j], p[j]);
        }
    }
    return {area, (hi[0] - lo[0]) * (hi[0] - lo[0]) + (hi[1] - lo[1]) * (hi[1] - lo[1])};
}

// A closed walk round a region of the net's drawing (see
// Graph::linkRegionWalks), cut into its closed walks that pass each node
// once and seen. The walk round a region has exactly one of them running
// counter-clockwise about the mesh normals, the region's outer boundary;
// the others run clockwise round what the region leaves out where it
// touches it. Every closed walk of the walk round the outside of a part of
// the net runs clockwise.
struct RegionWalk {
    std::vector<SeenCycle> cycles;
    int outer = -1;           // the counter-clockwise cycle; -1 round the outside of a part
    bool unseen = false;      // no side could be told: a region, or the outside of a part?
    bool region = false;      // the walk runs round a region of the drawing
    std::string cause;        // why a region is no face
    int part = -1;            // the part of the net (nodes joined by pieces) it runs along
    std::vector<Cycle> inner; // the walks round the outside of parts inside the region

    // The area the region encloses, what it leaves out where it touches
    // itself taken off.
    double area() const
    {
        double enclosed = 0.0;
        for (std::size_t k = 0; k < cycles.size(); ++k)
            enclosed += int(k) == outer ? std::fabs(cycles[k].area) : -std::fabs(cycles[k].area);
        return enclosed;
    }
};

RegionWalk seeWalk(const Cycle& walk)
{
    RegionWalk w;
    int counterClockwise = 0, unseen = 0;
    for (const Cycle& c : simpleCycles(walk)) {
        w.cycles.push_back(seeWalkCycle(c));
        const SeenCycle& s = w.cycles.back();
        if (!s.seen) {
            ++unseen;
            if (w.cause.empty())
                w.cause = s.cause;
        } else if (outlineOrientation(*s.outline) == -1) {
            ++counterClockwise;
            w.outer = int(w.cycles.size()) - 1;
        }
    }
    if (counterClockwise == 1) {
        w.region = true;
        w.cause.clear();
        return w;
    }
    w.outer = -1;
    if (counterClockwise > 1) {
        w.region = true;
        w.cause = "its boundary runs counter-clockwise round more than one region";
    } else if (unseen > 0) {
        // Seen along the mean of its mesh normals, a walk that encloses
        // its region clockwise runs round the outside of a part.
        const auto [area, extent2] = areaAlongMeanNormal(walk);
        w.unseen = true;
        w.region = !(area < -1e-6 * extent2);
    }
    return w;
}

// The regions of less area than `least` go into a neighbour: each one's pieces
// along the neighbour it shares most pieces with (a region before the
// outside of a part, then the first) hang off the net from now on. True
// when a piece was marked.
bool dropSlivers(const std::vector<RegionWalk>& walks, double least)
{
    std::unordered_map<const CHalfEdge*, std::size_t> walkOf;
    for (std::size_t w = 0; w < walks.size(); ++w)
        for (const SeenCycle& s : walks[w].cycles)
            for (int i = 0; i < s.cycle.count; ++i)
                walkOf[s.cycle.items[i]] = w;
    const auto isSliver = [&](std::size_t w) {
        return walks[w].region && walks[w].outer >= 0 && walks[w].area() < least;
    };
    bool dropped = false;
    for (std::size_t w = 0; w < walks.size(); ++w) {
        if (!isSliver(w))
            continue;
        std::map<std::size_t, int> shared;
        for (const SeenCycle& s : walks[w].cycles)
            for (int i = 0; i < s.cycle.count; ++i)
                if (const auto at = walkOf.find(s.cycle.items[i]->twin);
                    at != walkOf.end() && at->second != w)
                    ++shared[at->second];
        std::size_t into = walks.size();
        int most = 0;
        for (const auto& [neighbour, pieces] : shared) {
            const auto rank = [&](std::size_t n) {
                return walks[n].region && walks[n].outer >= 0 && !isSliver(n) ? 1 : 0;
            };
            if (into == walks.size() || rank(neighbour) > rank(into) ||
                (rank(neighbour) == rank(into) && pieces > most)) {
                into = neighbour;
                most = pieces;
            }
        }
        if (into == walks.size())
            continue;
        for (const SeenCycle& s : walks[w].cycles)
            for (int i = 0; i < s.cycle.count; ++i) {
                CHalfEdge* h = s.cycle.items[i];
                if (const auto at = walkOf.find(h->twin); at != walkOf.end() && at->second == into)
                    h->dangling = h->twin->dangling = dropped = true;
            }
    }
    return dropped;
}

// Numbers the parts of the net (nodes joined by pieces that do not hang off
// it), sets each walk's part and returns each node's part (by its index in
// the graph, which is set here).
std::vector<int> numberParts(const GraphAlgorithm::Graph& graph, std::vector<RegionWalk>& walks)
{
    const int count = graph.vertices.count;
    for (int i = 0; i < count; ++i)
        graph.vertices.items[i]->index = i;
    std::vector<int> part(std::size_t(count), -1);
    int parts = 0;
    for (int first = 0; first < count; ++first) {
        if (part[std::size_t(first)] >= 0)
            continue;
        std::vector<int> reached{first};
        part[std::size_t(first)] = parts;
        for (std::size_t k = 0; k < reached.size(); ++k) {
            const Vertex* v = graph.vertices.items[reached[k]];
            for (int e = 0; e < v->outgoing.count; ++e) {
                const CHalfEdge* h = v->outgoing.items[e];
                if (h == nullptr || h->dangling || h->target == nullptr)
                    continue;
                const int w = h->target->index;
                if (w >= 0 && w < count && graph.vertices.items[w] == h->target &&
                    part[std::size_t(w)] < 0) {
                    part[std::size_t(w)] = parts;
                    reached.push_back(w);
                }
            }
        }
        ++parts;
    }
    for (RegionWalk& w : walks)
        if (!w.cycles.empty() && w.cycles.front().cycle.count > 0)
            w.part = part[std::size_t(w.cycles.front().cycle.items[0]->target->index)];
    return part;
}

// Whether the node lies inside the region's outer boundary, seen as
// getOrientation sees it: on the side its mesh normals face, within its
// extent of its plane.
bool regionHolds(const SeenCycle& s, const Vertex* node)
{
    const Gridbench::CGridPoint* g = gridPointOf(node);
    if (!s.seen || g == nullptr)
        return false;
    const double d[3] = {g->data[0] - s.plane.origin[0], g->data[1] - s.plane.origin[1],
                         g->data[2] - s.plane.origin[2]};
    const double normal[3] = {g->normal.data[0], g->normal.data[1], g->normal.data[2]};
    if (std::fabs(dot3(d, s.plane.n)) > s.extent || dot3(normal, s.plane.n) <= 0.0)
        return false;
    const Vector q = s.plane.project(*g);
    if (q[0] < s.lo[0] || q[0] > s.hi[0] || q[1] < s.lo[1] || q[1] > s.hi[1])
        return false;
    return s.outline->isInside(CVertex<double, 3>(q[0], q[1], 0.0), false);
}

// The parts inside other parts' regions: the walk round the outside of a
// part whose nodes all lie inside a region of another part belongs to the
// smallest such region, which leaves out what that walk encloses (a ring
// or a net drawn inside a face, a ring at the end of a spur): its closed
// walks, each running clockwise with the region on its left, join the
// region's holes.
void nestParts(const GraphAlgorithm::Graph& graph, std::vector<RegionWalk>& walks)
{
    numberParts(graph, walks);
    for (RegionWalk& outside : walks) {
        if (outside.region || outside.cycles.empty())
            continue;
        std::size_t around = walks.size();
        for (std::size_t r = 0; r < walks.size(); ++r) {
            const RegionWalk& w = walks[r];
            if (!w.region || w.outer < 0 || w.part == outside.part ||
                (around < walks.size() &&
                 std::fabs(w.cycles[std::size_t(w.outer)].area) >=
                     std::fabs(walks[around].cycles[std::size_t(walks[around].outer)].area)))
                continue;
            bool all = true;
            for (const SeenCycle& s : outside.cycles)
                for (int i = 0; all && i < s.cycle.count; ++i)
                    all = regionHolds(w.cycles[std::size_t(w.outer)], s.cycle.items[i]->target);
            if (all)
                around = r;
        }
        if (around == walks.size())
            continue;
        for (const SeenCycle& s : outside.cycles)
            walks[around].inner.push_back(s.cycle);
    }
}

// A region of the drawing that is no face: its walk, the region on the
// left, and why.
struct RejectedRegion {
    std::vector<const CHalfEdge*> walk;
    std::string cause;
};

// A face the step made of a region: the region's outer boundary in the
// graph, and the face that took it.
struct AcceptedRegion {
    Cycle cycle;
    Face* face = nullptr;
};

// Says, one line each, the regions of the drawing that are no face, each
// once (by its pieces); the regions said go to `regions`.
void sayRejectedRegions(const std::vector<RejectedRegion>& rejected,
                        std::vector<CSurfaceNet::RegionWithoutFace>& regions)
{
    std::set<std::vector<std::int64_t>> said;
    for (const RejectedRegion& region : rejected) {
        std::vector<std::int64_t> pieces;
        for (const CHalfEdge* h : region.walk)
            if (h != nullptr)
                pieces.push_back(h->twin != nullptr
                                     ? std::min(h->creation.value(), h->twin->creation.value())
                                     : h->creation.value());
        std::sort(pieces.begin(), pieces.end());
        if (!said.insert(pieces).second)
            continue;
        std::string corners;
        for (const CHalfEdge* h : region.walk) {
            if (!corners.empty())
                corners += ' ';
            corners += std::to_string(junctionNumber(gridPointOf(h->target)));
        }
        std::cout << "the region of corners " << corners << " is no face: " << region.cause
                  << std::endl;
        regions.push_back({corners, region.cause});
    }
}

// The kinds of the half-edges of the faces' boundaries: 2 where a face lies
// on both sides of a piece, 3 on the half-edge along which only the other
// side has one.
void markFaceSides(const std::vector<AcceptedRegion>& accepted)
{
    std::unordered_set<const CHalfEdge*> taken;
    for (const AcceptedRegion& region : accepted)
        for (int i = 0; i < region.cycle.count; ++i) {
            CHalfEdge* h = region.cycle.items[i];
            if (h->twin == nullptr)
                continue;
            if (taken.count(h->twin) > 0)
                h->kind = h->twin->kind = 2;
            else
                h->twin->kind = 3;
            taken.insert(h);
        }
}

} // namespace

void CSurfaceNet::takeHoles(Face& face, const std::vector<Cycle>& cycles)
{
    std::vector<std::unique_ptr<Loop>> holes;
    bool moved = false;
    for (const Cycle& c : cycles) {
        auto hole = std::make_unique<Loop>();
        hole->setCycle(c);
        Kor::List<EdgeData> entries;
        collectEdgeEntries(c, entries);
        collectCornerSet(entries, hole->cornerSet);
        Kor::List<CVertex<float, 3>*> points;
        hole->getVertexList(points);
        for (const CVertex<float, 3>* p : points)
            if (const auto* g = dynamic_cast<const Gridbench::CGridPoint*>(p))
                moved = moved || g->changed;
        holes.push_back(std::move(hole));
    }
    bool same = !moved && holes.size() == face.holes.size();
    for (std::size_t i = 0; same && i < holes.size(); ++i)
        same = cornerKey(holes[i]->cornerSet) == cornerKey(face.holes[i]->cornerSet);
    // A face read with its trimmed face holds the holes it was trimmed by.
    const bool read = face.holes.empty() && face.trimmedFace != nullptr &&
                      face.trimmedFace->trimLoops.count == 1 + int(holes.size());
    face.holes = std::move(holes);
    if (same || (read && !moved))
        return;
    // Trimmed by other holes, the face's surface is computed again: what it
    // was goes to the undo first.
    recordFaceState(&face);
    if (face.requestedState == Trimmed)
        face.requestedState = ComplexApprox;
    clearFaceSurface(&face);
}

bool CSurfaceNet::buildTopology(bool collectCycles)
{
    recountUse();
    if (collectCycles)
        examinedCycles.removeAll();
    if (!topologySwitch)
        return false;
    topologyPending = false;
    markAllLoopsUnmatched();
    // The regions meet at the poly-lines' shared points: the edits that
    // made lines cross put junctions there (putJunctionsAtNewCrossings).
    const double least = leastRegionArea(pointLists, surfaceTolerance);
    topologyEditCount = editCount;

    GraphAlgorithm::Graph graph;
    addPolyLineEdges(pointLists, graph, least);
    while (displayContainer.removeEntityByName("cycle-numbers")) {
    }

    // The walks round the regions of the drawing, with the pieces that
    // hang off the net left out; a region too small to be one gives its
    // pieces along a neighbour up, and the walks are taken again.
    std::vector<RegionWalk> walks;
    do {
        graph.markDanglingPieces();
        graph.linkRegionWalks(orderRoundNode);
        walks.clear();
        for (const Cycle& walk : graph.regionWalks())
            walks.push_back(seeWalk(walk));
    } while (dropSlivers(walks, least));
    nestParts(graph, walks);

    std::vector<RejectedRegion> rejected;
    std::vector<AcceptedRegion> accepted;
    std::map<const Face*, std::vector<Cycle>> holes;
    for (RegionWalk& w : walks) {
        if (collectCycles)
            for (const SeenCycle& s : w.cycles)
                examinedCycles.append(savedIndicesOf(s.cycle));
        if (!w.region)
            continue;
        if (w.outer < 0) {
            RejectedRegion region;
            for (const SeenCycle& s : w.cycles)
                for (int i = 0; i < s.cycle.count; ++i)
                    region.walk.push_back(s.cycle.items[i]);
            region.cause = w.cause;
            rejected.push_back(region);
            continue;
        }
        const Cycle& c = w.cycles[std::size_t(w.outer)].cycle;
        Kor::List<EdgeData> entries;
        collectEdgeEntries(c, entries);
        if (entries.count == 0)
            continue;
        Kor::Set<std::intptr_t> cornerSet;
        collectCornerSet(entries, cornerSet);
        const Kor::List<CCoEdge*> noCoedges;
        Loop* loop = nullptr;
        findMatchingLoop(c, noCoedges, cornerSet, &loop);
        if (loop == nullptr || loop->owner == nullptr)
            continue;
        accepted.push_back({c, loop->owner});
        std::vector<Cycle>& left = holes[loop->owner];
        for (std::size_t k = 0; k < w.cycles.size(); ++k)
            if (int(k) != w.outer)
                left.push_back(w.cycles[k].cycle);
        left.insert(left.end(), w.inner.begin(), w.inner.end());
    }
    markFaceSides(accepted);
    regionsWithoutFace.clear();
    sayRejectedRegions(rejected, regionsWithoutFace);

    int loops = 0;
    for (Face* face = firstFace; face != nullptr; face = face->next)
        for (Loop* loop = face->firstLoop; loop != nullptr; loop = loop->next)
            if (!loop->unmatched)
                ++loops;
    // The faces that stay take their holes before the others go.
    for (const AcceptedRegion& region : accepted)
        if (region.face->firstLoop != nullptr && !region.face->firstLoop->unmatched)
            takeHoles(*region.face, holes[region.face]);
    removeUnmatchedLoops();
    std::cout << "model has " << loops << " loops" << std::endl;
    return true;
}

} // namespace GB
