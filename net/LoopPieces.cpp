// The boundary of a face loop taken from its ring of half-edges: the points
// along it, whether the face must be computed again, and the pieces of the
// poly-lines' curves that bound the face.

#include "curves/CurveJoins.h"
#include "curves/SubCurves.h"
#include "foundation/IndexSubset.h"
#include "foundation/KorArray.h"
#include "geometry/Interval.h"
#include "geometry/NurbsSurf.h"
#include "mesh/GridPoint.h"
#include "net/FaceRecords.h"
#include "net/PointList.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <functional>
#include <utility>
#include <vector>

namespace {

// The grid point a node of the ring stands for; null for another node.
CVertex<float, 3>* nodePoint(const GraphAlgorithm::Vertex* node)
{
    const auto* v = dynamic_cast<const _CVertex*>(node);
    return v != nullptr ? v->point : nullptr;
}

// The entries of half-edge h's target and start in its poly-line pl: the
// piece's own while they still hold its ends (a point the poly-line passes
// twice has two entries; a piece round the closing segment of a closed
// poly-line ends at an entry past the last), else the first entries of its
// end points.
void pieceEnds(const GraphAlgorithm::CHalfEdge* h, const COffset_PointList* pl, int& target,
               int& start)
{
    target = pl->entryOf(h->targetEntry, nodePoint(h->target));
    start =
        h->previous != nullptr ? pl->entryOf(h->sourceEntry, nodePoint(h->previous->target)) : -1;
}

// The period of a closed poly-line's periodic curve; false for any other
// poly-line or curve.
bool periodOf(const COffset_PointList* pl, double& period)
{
    const auto* c =
        pl != nullptr && pl->closed ? dynamic_cast<Fenwo::NurbsSurf*>(pl->getCurve()) : nullptr;
    if (c == nullptr || c->uKnots == nullptr || c->uKnots->endCondition != knots::CyclicEnd)
        return false;
    period = c->getUMax() - c->getUMin();
    return period > 0.0;
}

// The piece of a closed poly-line's periodic curve from entry lo on to entry
// hi past its last (round the closing segment); the whole curve for a piece
// once round. Null without a periodic curve.
CParametricGeometry* pieceRoundTheClosing(COffset_PointList* pl, int lo, int hi)
{
    if (pl->currentCurve() == nullptr)
        return nullptr;
    auto* c = dynamic_cast<Fenwo::NurbsSurf*>(pl->getCurve());
    double period = 0.0, t0 = 0.0, t1 = 0.0;
    if (!periodOf(pl, period) || !pl->entryParameter(lo, t0) || !pl->entryParameter(hi, t1))
        return nullptr;
    if (t1 - t0 >= period)
        return new Fenwo::NurbsSurf(*c);
    return ::getSubCurve(c, t0, t1);
}

// A face's boundary piece ends at its corners, the grid points a and b. A
// poly-line's curve passes its junctions; should one still pass a junction
// inside the poly-line (where it is no end) at a distance, where the
// neighbouring piece along another poly-line ends at the grid point itself,
// the gap between them would be an edge of its own.
// Each end of a clamped piece farther than the poly-line's held-entry miss
// (the accuracy its curve keeps at its ends and junctions, a share of the
// net's tolerance) from the nearer corner is moved onto it; only the end
// spans change.
void endAtCorners(CParametricGeometry* piece, const CVertex<float, 3>* a,
                  const CVertex<float, 3>* b, double miss)
{
    auto* c = dynamic_cast<Fenwo::NurbsSurf*>(piece);
    if (c == nullptr || a == nullptr || b == nullptr || c->uKnots == nullptr ||
        c->uKnots->endCondition != knots::ClampedEnd || c->getUCount() < 2)
        return;
    Vector first, last;
    c->getControlPointXYZ(first, 0, 0);
    c->getControlPointXYZ(last, -1, 0);
    const auto gap = [](const Vector& p, const CVertex<float, 3>* q) {
        double sum = 0.0;
        for (int k = 0; k < 3; ++k)
            sum += (p[k] - q->data[k]) * (p[k] - q->data[k]);
        return std::sqrt(sum);
    };
    if (gap(first, b) + gap(last, a) < gap(first, a) + gap(last, b))
        std::swap(a, b);
    if (gap(first, a) > miss)
        c->setControlPointPosition(0, 0, Vector(a->data[0], a->data[1], a->data[2]));
    if (gap(last, b) > miss)
        c->setControlPointPosition(-1, 0, Vector(b->data[0], b->data[1], b->data[2]));
}

// Whether the poly-line passes one of its points twice, other than an open
// poly-line drawn back to its first point. Only such a poly-line's curve
// passes a junction inside it off the grid point where another stretch of
// it, or another poly-line, ends there; along any other poly-line the faces
// on both sides take the curve as it runs, and moving a piece's end would
// part it from the run of the face across it.
bool passesAPointTwice(const COffset_PointList& pl)
{
    const int n = pl.vertices.count;
    std::vector<const CVertex<float, 3>*> points(pl.vertices.begin(), pl.vertices.end());
    if (!pl.closed && n > 1 && points.front() == points.back())
        points.pop_back();
    std::sort(points.begin(), points.end(), std::less<>());
    return std::adjacent_find(points.begin(), points.end()) != points.end();
}

// A run of a face's boundary along one poly-line as getBoundaryCurves puts
// it out: its curve's place in the output, its poly-line, and whether it
// reaches the end and the start of the poly-line's curve.
struct BoundaryRun {
    int curve = -1;
    const COffset_PointList* polyLine = nullptr;
    bool atCurveEnd = false, atCurveStart = false;
};

// A poly-line drawn back to its first point runs on round that point as a
// closed one runs round its closing segment: two runs along it that meet
// there, one ending at the end of its curve and the other starting at its
// start, are one side of the face and become one curve (the first of them
// along the poly-line's curve, then the second), in the first one's place.
void joinRunsRoundTheirFirstPoint(Kor::List<CParametricGeometry*>& out,
                                  std::vector<BoundaryRun>& runs)
{
    for (bool joined = true; joined && runs.size() >= 2;) {
        joined = false;
        for (std::size_t k = 0; k < runs.size() && !joined; ++k) {
            const BoundaryRun& a = runs[k];
            const BoundaryRun& b = runs[(k + 1) % runs.size()];
            const COffset_PointList* pl = a.polyLine;
            if (pl == nullptr || b.polyLine != pl || pl->closed || pl->vertices.count < 3 ||
                pl->vertices[0] != pl->vertices[pl->vertices.count - 1])
                continue;
            const std::size_t first = a.atCurveEnd && b.atCurveStart   ? k
                                      : b.atCurveEnd && a.atCurveStart ? (k + 1) % runs.size()
                                                                       : runs.size();
            if (first == runs.size())
                continue;
            const std::size_t second = first == k ? (k + 1) % runs.size() : k;
            Kor::Array<Fenwo::NurbsSurf*> pair;
            pair.append(dynamic_cast<Fenwo::NurbsSurf*>(out[runs[first].curve]));
            pair.append(dynamic_cast<Fenwo::NurbsSurf*>(out[runs[second].curve]));
            if (pair[0] == nullptr || pair[1] == nullptr)
                continue;
            IndexSubset<Fenwo::NurbsSurf*> chosen{pair};
            chosen.selectAll();
            Kor::Array<int> keep;
            keep.append(1);
            keep.append(1);
            Fenwo::NurbsSurf* whole = joinCurvesC1(chosen, keep, 0.0, false, false);
            if (whole == nullptr)
                continue;
            const int gone = runs[second].curve;
            delete out[runs[first].curve];
            delete out[gone];
            out[runs[first].curve] = whole;
            out.removeAt(gone);
            runs[first].atCurveStart = runs[first].atCurveEnd = false;
            runs.erase(runs.begin() + std::ptrdiff_t(second));
            for (BoundaryRun& run : runs)
                if (run.curve > gone)
                    --run.curve;
            joined = true;
        }
    }
}

} // namespace

namespace GB {

void Loop::getVertexList(Kor::List<CVertex<float, 3>*>& out) const
{
    for (int i = 0; i < cycle.count; ++i) {
        const GraphAlgorithm::CHalfEdge* h = cycle.items[i];
        if (h == nullptr || h->polyLine == nullptr)
            continue;
        const COffset_PointList* pl = h->polyLine;
        int ia, ib;
        pieceEnds(h, pl, ia, ib);
        if (ia < 0 || ib < 0) {
            std::cout << ia << " " << ib << " loop is referencing a deleted Vertex." << std::endl;
            continue;
        }
        // From the start (ib) to the target (ia): the pieces follow the ring.
        const int step = ib >= ia ? -1 : 1;
        for (int k = ib;; k += step) {
            out.append(pl->entryAt(k));
            if (k == ia)
                break;
        }
    }
}

void Loop::getNodePoints(Kor::List<CVertex<float, 3>*>& out) const
{
    for (int i = 0; i < cycle.count; ++i)
        if (cycle.items[i] != nullptr)
            out.append(nodePoint(cycle.items[i]->target));
}

bool Loop::isModified() const
{
    if (owner == nullptr)
        return true;
    if (owner->requestedState != Trimmed && owner->surface == nullptr)
        return true;
    return pointsChanged();
}

bool Loop::pointsChanged() const
{
    Kor::List<CVertex<float, 3>*> points;
    getVertexList(points);
    for (CVertex<float, 3>* v : points) {
        const auto* g = dynamic_cast<const Gridbench::CGridPoint*>(v);
        if (g != nullptr && g->changed)
            return true;
    }
    return false;
}

int Loop::countPolyLines() const
{
    Kor::List<COffset_PointList*> seen;
    for (int i = 0; i < cycle.count; ++i) {
        const GraphAlgorithm::CHalfEdge* h = cycle.items[i];
        if (h != nullptr && h->polyLine != nullptr && !seen.contains(h->polyLine))
            seen.append(h->polyLine);
    }
    return seen.count;
}

bool Loop::continuesPiece(int i) const
{
    const int n = cycle.count;
    if (n == 0)
        return false;
    const GraphAlgorithm::CHalfEdge* h = cycle.items[((i % n) + n) % n];
    const GraphAlgorithm::CHalfEdge* g = cycle.items[((i + 1) % n + n) % n];
    if (h == nullptr || g == nullptr || h->polyLine == nullptr || h->polyLine != g->polyLine)
        return false;
    const COffset_PointList* pl = h->polyLine;
    int hTarget, hStart, gTarget, gStart;
    pieceEnds(h, pl, hTarget, hStart);
    pieceEnds(g, pl, gTarget, gStart);
    if (hTarget < 0 || gStart < 0)
        return false;
    const int count = pl->vertices.count;
    return hTarget == gStart || (pl->closed && count > 0 && (hTarget - gStart) % count == 0);
}

int Loop::countDrawnPieces(const Kor::List<COffset_PointList*>& polyLines) const
{
    int pieces = 0;
    for (int i = 0; i < cycle.count; ++i) {
        const GraphAlgorithm::CHalfEdge* h = cycle.items[i];
        if (h == nullptr || h->polyLine == nullptr || !polyLines.contains(h->polyLine))
            return -1;
        int target, start;
        pieceEnds(h, h->polyLine, target, start);
        if (target < 0 || start < 0)
            return -1;
        ++pieces;
        const int step = start < target ? 1 : -1;
        for (int k = start + step; k != target; k += step) {
            const auto* g = dynamic_cast<const Gridbench::CGridPoint*>(h->polyLine->entryAt(k));
            if (g != nullptr && g->useCount > 1)
                ++pieces;
        }
    }
    return pieces;
}

int Loop::countLockedPieces() const
{
    int n = 0;
    for (const CCoEdge* c : coedges)
        if (c != nullptr && c->polyLine != nullptr && c->polyLine->curveLocked)
            ++n;
    return n;
}

bool Loop::getPieceInterval(int i, COffset_PointList* pl, Interval& out) const
{
    if (i < 0 || i >= cycle.count || pl == nullptr || cycle.items[i] == nullptr)
        return false;
    int ia, ib;
    pieceEnds(cycle.items[i], pl, ia, ib);
    if (ia < 0 || ib < 0)
        return false;
    // The parameters exist once the curve does.
    if (pl->closed && pl->currentCurve() == nullptr)
        return false;
    if (ib == 0 && pl->closed && cycle.items[i]->sourceEntry < 0) {
        // A piece without its entries that starts at the first one of a
        // closed poly-line is taken for the piece round the closing segment.
        ib = pl->parameters.count;
    }
    const int lo = std::min(ia, ib), hi = std::max(ia, ib);
    if (pl->closed && hi > pl->vertices.count) {
        // Round the closing segment, past the end of the periodic curve.
        double t0 = 0.0, t1 = 0.0;
        if (!pl->entryParameter(lo, t0) || !pl->entryParameter(hi, t1))
            return false;
        out = Interval(t0, t1);
        return true;
    }
    return pl->getParameterInterval(lo, hi, out);
}

CParametricGeometry* Loop::getPieceCurve(int i, COffset_PointList* pl) const
{
    if (i < 0 || i >= cycle.count || pl == nullptr || cycle.items[i] == nullptr)
        return nullptr;
    int ia, ib;
    pieceEnds(cycle.items[i], pl, ia, ib);
    if (ia < 0 || ib < 0)
        return nullptr;
    CParametricGeometry* piece =
        pl->closed && std::max(ia, ib) >= pl->vertices.count
            ? pieceRoundTheClosing(pl, std::min(ia, ib), std::max(ia, ib))
            : pl->getSubCurve(std::min(ia, ib), std::max(ia, ib), false, 5);
    if (passesAPointTwice(*pl))
        endAtCorners(piece, pl->entryAt(ib), pl->entryAt(ia), pl->heldEntryMiss());
    return piece;
}

bool Loop::getBoundaryCurves(Kor::List<CParametricGeometry*>& out, bool merge) const
{
    Kor::List<COffset_PointList*> lines;
    Kor::List<Interval> intervals;
    Kor::List<int> pieceAt; // the half-edge of each piece
    Kor::List<bool> goesOn; // the piece goes on along its poly-line into the next
    bool allLocked = true;
    for (int i = 0; i < cycle.count; ++i) {
        COffset_PointList* pl = cycle.items[i] != nullptr ? cycle.items[i]->polyLine : nullptr;
        if (pl == nullptr)
            continue;
        lines.append(pl);
        pieceAt.append(i);
        goesOn.append(continuesPiece(i));
        allLocked = allLocked && pl->curveLocked;
        Interval iv;
        if (getPieceInterval(i, pl, iv))
            intervals.append(iv);
    }
    if (allLocked) {
        std::cout << "skipping an 'outer' loop" << std::endl;
        return false;
    }
    const int before = out.count;
    if (!merge) {
        for (int i = 0; i < cycle.count; ++i) {
            COffset_PointList* pl = cycle.items[i] != nullptr ? cycle.items[i]->polyLine : nullptr;
            if (pl == nullptr)
                continue;
            if (CParametricGeometry* c = getPieceCurve(i, pl))
                out.append(c);
        }
        return out.count > before;
    }
    if (lines.count != intervals.count)
        return false;
    // Start where a run starts, so that no run is split by the start of the
    // ring. A poly-line that passes a node twice may bound the face with
    // two runs that meet there: they stay two.
    const int n = lines.count;
    int s = 0;
    for (int k = 0; k < n; ++k)
        if (!goesOn[(k + n - 1) % n]) {
            s = k;
            break;
        }
    std::vector<BoundaryRun> runs;
    for (int done = 0; done < n;) {
        COffset_PointList* pl = lines[(s + done) % n];
        const int first = pieceAt[(s + done) % n];
        // On a closed poly-line the run may go on round its closing segment:
        // each piece's interval is taken a period on or back where it
        // continues the run.
        double period = 0.0;
        const bool periodic = periodOf(pl, period);
        double lo = intervals[(s + done) % n].min, hi = intervals[(s + done) % n].max;
        for (++done; done < n && goesOn[(s + done - 1) % n]; ++done) {
            double pieceLo = intervals[(s + done) % n].min, pieceHi = intervals[(s + done) % n].max;
            if (periodic) {
                const auto gap = [&](double shift) {
                    return std::min(std::fabs(pieceLo + shift - hi),
                                    std::fabs(pieceHi + shift - lo));
                };
                double shift = 0.0;
                for (double other : {-period, period})
                    if (gap(other) < gap(shift))
                        shift = other;
                pieceLo += shift;
                pieceHi += shift;
            }
            lo = std::min(lo, pieceLo);
            hi = std::max(hi, pieceHi);
        }
        auto* c = dynamic_cast<Fenwo::NurbsSurf*>(pl->getCurve());
        if (c == nullptr)
            continue;
        const double reach = 1e-12 * std::max(1.0, std::fabs(c->getUMax() - c->getUMin()));
        runs.push_back({out.count, pl, !periodic && hi >= c->getUMax() - reach,
                        !periodic && lo <= c->getUMin() + reach});
        // Once round a closed poly-line: the whole curve.
        if (periodic && hi - lo >= period * (1.0 - 1e-12)) {
            out.append(new Fenwo::NurbsSurf(*c));
        } else if (Fenwo::NurbsSurf* piece = ::getSubCurve(c, lo, hi)) {
            // The run from the target of the half-edge before its first to
            // the target of its last.
            const GraphAlgorithm::CHalfEdge* before =
                cycle.items[(first + cycle.count - 1) % cycle.count];
            const int last = pieceAt[(s + done - 1) % n];
            if (passesAPointTwice(*pl))
                endAtCorners(piece, before != nullptr ? nodePoint(before->target) : nullptr,
                             nodePoint(cycle.items[last]->target), pl->heldEntryMiss());
            out.append(piece);
        } else {
            runs.pop_back();
        }
    }
    joinRunsRoundTheirFirstPoint(out, runs);
    return out.count > before;
}

} // namespace GB
