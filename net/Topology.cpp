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
#include <set>
#include <string>
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
// Longest cycle searched, in half-edges.
constexpr int kMaxCycleLength = 24;
// The work one cycle search may do, per half-edge of the graph: walk steps
// (a step into the walk, and one for each half-edge of a walk kept), and
// judging work (a cycle of n pieces whose junctions have s half-edges
// leaving them costs n (1 + s): its outline takes 25 curve points a piece,
// and each leaving half-edge is a spoke tested against it). A safety net
// only: the search walks each node once and only where a cycle of the
// length sought can close, and a cycle judged no face is not judged again,
// so valid nets stay far below it (the nets of the tests, grids of faces
// of 24 pieces and drawn nets of some thousands of half-edges take at most
// 31 steps and 60 units per half-edge). What reaches it is a small net
// whose junctions are all joined to one another (a few hundred bytes of
// net text): its cycles multiply with the ways through them.
constexpr long kSearchStepsPerHalfEdge = 4096;
constexpr long kJudgingWorkPerHalfEdge = 4096;

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
int outlineOrientation(const CVertexList& outline)
{
    const int n = outline.getCount();
    if (n < 3)
        return 0;
    double area = 0.0;
    for (int i = 0; i < n; ++i) {
        const double* p = outline.getVertex(i)->data;
        const double* q = outline.getVertex(i + 1)->data;
        area += p[0] * q[1] - q[0] * p[1];
    }
    return area > 0.0 ? -1 : 1;
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

bool anyLinked(const Cycle& c)
{
    for (int i = 0; i < c.count; ++i)
        if (c.items[i]->next != nullptr)
            return true;
    return false;
}

// Whether c walks backwards around a face already linked: the twins of its
// half-edges follow one another as that face's walk.
bool reversesLinkedFace(const Cycle& c)
{
    const int n = c.count;
    for (int i = 0; i < n; ++i) {
        const CHalfEdge* twin = c.items[i]->twin;
        const CHalfEdge* before = c.items[(i + n - 1) % n]->twin;
        if (twin == nullptr || before == nullptr || twin->next != before)
            return false;
    }
    return n > 0;
}

// The walk that linkReversedCycle linked: twin(c[0]), then its successors.
void replaceByReversedWalk(Cycle& c)
{
    Cycle reversed;
    CHalfEdge* h = c.items[0]->twin;
    for (int i = 0; i < c.count && h != nullptr; ++i, h = h->next)
        reversed.append(h);
    reversed.freeTwins = c.freeTwins;
    c = reversed;
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
// side must meet along one edge.
//
// A ring, a piece that comes back to the point it starts at (a poly-line
// drawn back to its first point, or a closed one with one junction or none,
// then taken from its first entry round to it), that no other piece meets
// bounds the region inside it as any cycle does; the search walks cycles of
// two pieces or more, so the ring is cut at its middle entry into two
// pieces. A ring at a point where other pieces meet (a pen's hook that
// joins back onto a junction it ran past) stays one piece from the node to
// itself, which closes nothing: a region there would touch its neighbours'
// at that point, and no face could leave it out.
void addPolyLineEdges(const Kor::List<COffset_PointList*>& polyLines, GraphAlgorithm::Graph& graph)
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

    // The pieces' ends at each position, where the graph makes one node.
    using Place = std::array<float, 3>;
    const auto placeOf = [](const CVertex<float, 3>* p) {
        return Place{p->data[0] + 0.0f, p->data[1] + 0.0f, p->data[2] + 0.0f};
    };
    std::map<Place, int> ends;
    for (const Piece& piece : pieces) {
        ++ends[placeOf(piece.from)];
        ++ends[placeOf(piece.to)];
    }

    std::set<PiecePath> paths;
    const auto addEdge = [&](const Piece& piece) {
        if (!paths.insert(piecePath(*piece.polyLine, piece.fromEntry, piece.toEntry)).second)
            return;
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
        const bool freeRing = placeOf(piece.from) == placeOf(piece.to) &&
                              piece.toEntry - piece.fromEntry >= 3 &&
                              ends[placeOf(piece.from)] == 2;
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

// The work of judging c: its outline of 25 curve points per piece, and the
// test of every half-edge that leaves one of its junctions against that
// outline.
long judgingWork(const Cycle& c)
{
    long leaving = 0;
    for (int i = 0; i < c.count; ++i)
        if (c.items[i] != nullptr && c.items[i]->target != nullptr)
            leaving += c.items[i]->target->outgoing.count;
    return long(c.count) * (1 + leaving);
}

// The half-edges of c by their creation, from the first of them on: the
// same for every rotation of the walk, as the search finds it from each of
// its half-edges. Empty for a cycle with an empty slot.
std::vector<std::int64_t> cycleKey(const Cycle& c)
{
    std::vector<std::int64_t> key;
    int first = 0;
    for (int i = 0; i < c.count; ++i) {
        if (c.items[i] == nullptr)
            return {};
        if (c.items[i]->creation < c.items[first]->creation)
            first = i;
    }
    for (int i = 0; i < c.count; ++i)
        key.push_back(c.items[(first + i) % c.count]->creation.value());
    return key;
}

// A cycle getOrientation found no face: the walk with its region on the
// left (for a clockwise cycle the twins, backwards) and why.
struct RejectedRegion {
    std::vector<const CHalfEdge*> walk;
    std::string cause;
    bool faceTaken = false; // a face was linked along it, then given up
};

// A face the search linked: its walk in the graph, the region on the left,
// and the face that took it.
struct AcceptedRegion {
    Cycle cycle;
    Face* face = nullptr;
};

RejectedRegion rejectedRegion(const Cycle& c, const CycleRejection& rejection)
{
    RejectedRegion region;
    region.cause = rejection.cause;
    for (int i = 0; i < c.count; ++i)
        region.walk.push_back(rejection.orientation == 1 ? c.items[c.count - 1 - i]->twin
                                                         : c.items[i]);
    return region;
}

// Says, one line each, the regions that a cycle closes, that getOrientation
// found no face and that no face took a side of since: what the net closes
// there has no face. The outer boundary of a net and a region holding faces
// of its own have their sides taken by those faces, and are not said. A
// region is said once, whichever way round its cycles ran; the regions said
// go to `regions`.
void sayRejectedRegions(const std::vector<RejectedRegion>& rejected,
                        std::vector<CSurfaceNet::RegionWithoutFace>& regions)
{
    std::set<std::vector<std::int64_t>> said;
    for (const RejectedRegion& region : rejected) {
        std::vector<std::int64_t> pieces;
        bool free = true;
        for (const CHalfEdge* h : region.walk) {
            free = free && h != nullptr && h->next == nullptr;
            if (h != nullptr)
                pieces.push_back(h->twin != nullptr
                                     ? std::min(h->creation.value(), h->twin->creation.value())
                                     : h->creation.value());
        }
        std::sort(pieces.begin(), pieces.end());
        if ((!free && !region.faceTaken) || !said.insert(pieces).second)
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

// Judges one found cycle: a face is linked into the graph (a clockwise one
// by its reversed walk, when that is free) and matched with the net's loops.
// A cycle getOrientation finds no face goes to `rejected`, one accepted to
// `accepted`. True when accepted.
bool judgeCycle(CSurfaceNet& net, GraphAlgorithm::Graph& graph, Cycle& c, bool collectCycles,
                std::vector<RejectedRegion>& rejected, std::vector<AcceptedRegion>& accepted)
{
    for (int i = 0; i < c.count; ++i)
        if (c.items[i] == nullptr)
            return false;
    Kor::List<int> corners = savedIndicesOf(c);

    bool bad = false;
    CycleRejection rejection;
    const int orientation = getOrientation(c, net.pointLists, bad, &rejection);
    if (bad)
        rejected.push_back(rejectedRegion(c, rejection));
    // A half-edge linked by another cycle of the same batch is taken: the
    // cycles of one batch all begin with the same half-edge, and a second one
    // over a taken half-edge would be a second face on the same side of it,
    // overlapping the first where the spoke test cannot see (junctions whose
    // mesh normals face away). Nor is a region a face twice, once walked
    // each way: an outline that crosses itself (a junction picked on the
    // next sheet, seen from the plane of the corners) can show the same
    // orientation both ways round, and the second face would take the
    // other side of every side of the first from its neighbours.
    bool taken = false;
    if (!bad && orientation == 1) {
        if (c.freeTwins && cycleTwinsFree(c)) {
            graph.linkReversedCycle(c);
            replaceByReversedWalk(c);
            taken = true;
        }
    } else if (!bad && !anyLinked(c) && !reversesLinkedFace(c)) {
        GraphAlgorithm::linkCycle(c);
        taken = true;
    }
    if (collectCycles)
        net.examinedCycles.append(corners);
    if (!taken)
        return false;

    Kor::List<EdgeData> entries;
    collectEdgeEntries(c, entries);
    if (entries.count > 0) {
        Kor::Set<std::intptr_t> cornerSet;
        collectCornerSet(entries, cornerSet);
        const Kor::List<CCoEdge*> noCoedges;
        Loop* loop = nullptr;
        net.findMatchingLoop(c, noCoedges, cornerSet, &loop);
        if (loop != nullptr && loop->owner != nullptr)
            accepted.push_back({c, loop->owner});
    }
    return true;
}

// The regions inside other regions. The parts of the net (nodes joined by
// pieces that do not hang off it) that lie inside a face of another part,
// with every node, belong to the smallest such face: a part that is a
// single ring (every node on two pieces) is a face of its own and a hole of
// that face, found by its walk the other way round (`holes`); a part of
// more regions than one no face can leave out, so the face around it is
// given up (its first loop marked unmatched again, the region said with the
// cause in `rejected`). A face takes in only what lies on the side its mesh
// normals face, within its own extent of its plane.
void findInnerRegions(const GraphAlgorithm::Graph& graph,
                      const std::vector<AcceptedRegion>& accepted,
                      std::map<const Face*, std::vector<Cycle>>& holes,
                      std::vector<RejectedRegion>& rejected)
{
    const int count = graph.vertices.count;
    std::vector<int> part(std::size_t(count), -1);
    std::vector<std::vector<int>> members;
    std::vector<bool> ring;
    for (int i = 0; i < count; ++i)
        graph.vertices.items[i]->index = i;
    const auto nodeOf = [&](const Vertex* v) {
        return v != nullptr && v->index >= 0 && v->index < count &&
                       graph.vertices.items[v->index] == v
                   ? v->index
                   : -1;
    };
    for (int first = 0; first < count; ++first) {
        if (part[std::size_t(first)] >= 0)
            continue;
        const int p = int(members.size());
        members.emplace_back(1, first);
        ring.push_back(true);
        part[std::size_t(first)] = p;
        for (std::size_t next = 0; next < members[std::size_t(p)].size(); ++next) {
            const Vertex* v = graph.vertices.items[members[std::size_t(p)][next]];
            int pieces = 0;
            for (int k = 0; k < v->outgoing.count; ++k) {
                const CHalfEdge* h = v->outgoing.items[k];
                if (h == nullptr || h->dangling)
                    continue;
                ++pieces;
                const int w = nodeOf(h->target);
                if (w >= 0 && part[std::size_t(w)] < 0) {
                    part[std::size_t(w)] = p;
                    members[std::size_t(p)].push_back(w);
                }
            }
            if (pieces != 2)
                ring[std::size_t(p)] = false;
        }
    }
    std::map<int, std::vector<std::size_t>> regionsOfPart;
    std::vector<int> partOf(accepted.size(), -1);
    for (std::size_t r = 0; r < accepted.size(); ++r) {
        const int node = nodeOf(accepted[r].cycle.items[0]->target);
        if (node < 0)
            continue;
        partOf[r] = part[std::size_t(node)];
        regionsOfPart[partOf[r]].push_back(r);
    }
    if (regionsOfPart.size() < 2)
        return;

    // Each region seen as getOrientation sees it, when first asked.
    struct Seen {
        bool made = false, seen = false;
        ProjectionPlane plane;
        CVertexList outline;
        double area = 0.0, extent = 0.0;
    };
    std::vector<Seen> seen(accepted.size());
    const auto see = [&](std::size_t r) -> const Seen& {
        Seen& s = seen[r];
        if (s.made)
            return s;
        s.made = true;
        std::string cause;
        s.seen = seeCycle(accepted[r].cycle, s.plane, s.outline, cause);
        double lo[2] = {HUGE_VAL, HUGE_VAL}, hi[2] = {-HUGE_VAL, -HUGE_VAL};
        const int n = s.outline.getCount();
        for (int i = 0; i < n; ++i) {
            const double* p = s.outline.getVertex(i)->data;
            const double* q = s.outline.getVertex(i + 1)->data;
            s.area += 0.5 * (p[0] * q[1] - q[0] * p[1]);
            for (int k = 0; k < 2; ++k) {
                lo[k] = std::min(lo[k], p[k]);
                hi[k] = std::max(hi[k], p[k]);
            }
        }
        s.area = std::fabs(s.area);
        s.extent = n > 0 ? std::hypot(hi[0] - lo[0], hi[1] - lo[1]) : 0.0;
        return s;
    };
    const auto holds = [&](std::size_t r, const Vertex* node) {
        const Seen& s = see(r);
        const Gridbench::CGridPoint* g = gridPointOf(node);
        if (!s.seen || g == nullptr)
            return false;
        const double d[3] = {g->data[0] - s.plane.origin[0], g->data[1] - s.plane.origin[1],
                             g->data[2] - s.plane.origin[2]};
        const double normal[3] = {g->normal.data[0], g->normal.data[1], g->normal.data[2]};
        if (std::fabs(dot3(d, s.plane.n)) > s.extent || dot3(normal, s.plane.n) <= 0.0)
            return false;
        const Vector q = s.plane.project(*g);
        return s.outline.isInside(CVertex<double, 3>(q[0], q[1], 0.0), false);
    };
    for (const auto& [p, regions] : regionsOfPart) {
        std::size_t around = accepted.size();
        for (std::size_t r = 0; r < accepted.size(); ++r) {
            if (partOf[r] == p || partOf[r] < 0 ||
                (around < accepted.size() && see(r).area >= see(around).area))
                continue;
            const std::vector<int>& nodes = members[std::size_t(p)];
            if (std::all_of(nodes.begin(), nodes.end(),
                            [&](int node) { return holds(r, graph.vertices.items[node]); }))
                around = r;
        }
        if (around == accepted.size())
            continue;
        const AcceptedRegion& outer = accepted[around];
        if (ring[std::size_t(p)] && regions.size() == 1) {
            const Cycle& inner = accepted[regions.front()].cycle;
            Cycle hole;
            for (int i = inner.count - 1; i >= 0; --i)
                hole.append(inner.items[i]->twin);
            holes[outer.face].push_back(hole);
            continue;
        }
        RejectedRegion region;
        for (int i = 0; i < outer.cycle.count; ++i)
            region.walk.push_back(outer.cycle.items[i]);
        region.cause = "the regions the net closes inside it (from its junction " +
                       std::to_string(junctionNumber(
                           gridPointOf(graph.vertices.items[members[std::size_t(p)].front()]))) +
                       " on) meet one another, and its face cannot leave them out";
        region.faceTaken = true;
        rejected.push_back(region);
        outer.face->firstLoop->unmatched = true;
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
    topologyEditCount = editCount;
    markAllLoopsUnmatched();

    GraphAlgorithm::Graph graph;
    addPolyLineEdges(pointLists, graph);
    graph.markDanglingPieces();
    while (displayContainer.removeEntityByName("cycle-numbers")) {
    }

    // Shortest cycles first, at most 24 half-edges, within the work the
    // graph's size allows. A cycle judged no face stays no face: half-edges
    // are only ever linked, never freed, so the same walk found again from
    // another of its half-edges is not judged again.
    const int lengthLimit = std::min(graph.vertexCount() + 1, kMaxCycleLength + 1);
    graph.stepsLeft = kSearchStepsPerHalfEdge * graph.halfEdges.count;
    long workLeft = kJudgingWorkPerHalfEdge * graph.halfEdges.count;
    int cutAt = 0; // the length the search was cut at; 0: it ran to its end
    std::set<std::vector<std::int64_t>> noFaces;
    std::vector<RejectedRegion> rejected;
    std::vector<AcceptedRegion> accepted;
    Kor::List<Cycle> batch;
    for (int length = 2; length < lengthLimit && cutAt == 0; ++length) {
        graph.setCycleLength(length);
        bool cut = false;
        while (!cut && graph.nextCycles(batch))
            for (Cycle& c : batch) {
                std::vector<std::int64_t> key = cycleKey(c);
                if (!key.empty() && noFaces.count(key) > 0) {
                    if (collectCycles)
                        examinedCycles.append(savedIndicesOf(c));
                    continue;
                }
                const long work = judgingWork(c);
                if (workLeft < work) {
                    cut = true;
                    break;
                }
                workLeft -= work;
                if (!judgeCycle(*this, graph, c, collectCycles, rejected, accepted) && !key.empty())
                    noFaces.insert(std::move(key));
            }
        if (cut || graph.searchCut)
            cutAt = length;
    }
    // A search cut short has not seen every region, nor what lies in them:
    // the faces keep the holes they had.
    std::map<const Face*, std::vector<Cycle>> holes;
    if (cutAt == 0)
        findInnerRegions(graph, accepted, holes, rejected);
    regionsWithoutFace.clear();
    sayRejectedRegions(rejected, regionsWithoutFace);

    // Cut short, the search has not looked for the loops of cutAt pieces
    // or more: such a loop that no cycle took stays with its face while its
    // boundary is still drawn.
    int kept = 0;
    if (cutAt > 0)
        for (Face* face = firstFace; face != nullptr; face = face->next)
            for (Loop* loop = face->firstLoop; loop != nullptr; loop = loop->next)
                if (loop->unmatched && loop->countDrawnPieces(pointLists) >= cutAt) {
                    loop->unmatched = false;
                    ++kept;
                }
    int loops = 0;
    for (Face* face = firstFace; face != nullptr; face = face->next)
        for (Loop* loop = face->firstLoop; loop != nullptr; loop = loop->next)
            if (!loop->unmatched)
                ++loops;
    // The faces that stay take their holes before the others go.
    if (cutAt == 0)
        for (const AcceptedRegion& region : accepted)
            if (region.face->firstLoop != nullptr && !region.face->firstLoop->unmatched)
                takeHoles(*region.face, holes[region.face]);
    removeUnmatchedLoops();
    if (cutAt > 0)
        std::cout << "cycle search stopped at length " << cutAt << ", cycles of up to " << cutAt - 1
                  << " pieces searched: the work of " << graph.halfEdges.count
                  << " half-edges is used up; " << kept << " loops of " << cutAt
                  << " pieces or more kept as they were" << std::endl;
    std::cout << "model has " << loops << " loops" << std::endl;
    return true;
}

} // namespace GB
