// Editing the grid with the mouse: the left-button edit that starts,
// extends and splits poly-lines, adding and re-using grid points, the
// direction vectors of grid points, dragging, the snaps and insertions at
// mouse-up, splitting and joining at a grid point, removing points and
// poly-lines, and the undo to the last checkpoint with its undo items.
//
// Every edit records what undo needs: the poly-line items (CUndoInsert,
// CUndoSnapVertex) where the poly-line records them, and here an item for
// every poly-line an edit adds, every rewritten vertex list and every
// dragged point, so that undoing to a checkpoint restores the poly-lines,
// their points and the use counts exactly.

#include "geometry/ParametricGeometry.h"
#include "mesh/GridPoint.h"
#include "mesh/MeshGeometry.h"
#include "mesh/MeshProjection.h"
#include "net/OffsetGrid.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <functional>
#include <iostream>
#include <numbers>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

// A poly-line's end may turn by at most this angle (72 degrees, 2 pi / 5)
// before the poly-line is split at the corner.
constexpr double kMaxEndTurn = 1.2566370614359172;
// Reach of a new point into the poly-line, in pick radii.
constexpr double kAddReach = 3.0;
// Reach of a point inserted from a curve pick, in pick radii.
constexpr double kCurveInsertReach = 15.0;
// "Within any distance" of the searches over one poly-line.
constexpr double kAnyDistance = 10000.0;

Gridbench::CGridPoint* asGridPoint(CVertex<float, 3>* v)
{
    return dynamic_cast<Gridbench::CGridPoint*>(v);
}

CVertex<float, 3> toVertex(const Vector& p)
{
    return CVertex<float, 3>(float(p[0]), float(p[1]), float(p[2]));
}

// The angle between two single-precision directions, in radians.
double turnAngle(const CVertex<float, 3>& a, const CVertex<float, 3>& b)
{
    const double la = std::sqrt(double(dot(a, a)));
    const double lb = std::sqrt(double(dot(b, b)));
    if (!(la > 0.0) || !(lb > 0.0))
        return 0.0;
    return std::acos(std::clamp(double(dot(a, b)) / (la * lb), -1.0, 1.0));
}

// The entry of pl nearest p (the pending one skipped when asked), when
// closer than maxDist; null otherwise. The poly-line's own search answers the
// first entry within its distance, which is not the nearest.
CVertex<float, 3>* nearestEntry(const COffset_PointList* pl, const CVertex<float, 3>& p,
                                double maxDist, bool skipPending)
{
    CVertex<float, 3>* found = nullptr;
    double d = FLT_MAX;
    pl->findNearestVertex(p, 0.0, found, d, skipPending);
    return found != nullptr && d < maxDist ? found : nullptr;
}

// The points of b, in the order that continues a poly-line arriving at b's
// entry `joint` (an end of b), without the joint itself when it is shared.
std::vector<CVertex<float, 3>*> continuation(const COffset_PointList* b, int joint, bool shared)
{
    std::vector<CVertex<float, 3>*> out(b->vertices.begin(), b->vertices.end());
    if (joint != 0)
        std::reverse(out.begin(), out.end());
    if (shared && !out.empty())
        out.erase(out.begin());
    return out;
}

} // namespace

// ---- The left-button edit -------------------------------------------------------------

bool COffset_Grid::editAtMouseDown(const CGridMouseEvent& event, int)
{
    if (busy || mesh == nullptr)
        return false;
    if (mesh->facetHash.cells.count == 0)
        mesh->buildFacetHash(500.0, -1.0, nullptr);
    if (!editAllowed)
        return false;
    const CVertex<float, 3>& origin = event.rayOrigin;
    const CVector<float, 3>& direction = event.rayDirection;
    if (pointLists.count == 0) {
        addPickedPoint(origin, direction, true);
        topologyChanged = false;
    }
    if (selectPointAt(origin, direction)) {
        redisplayCurrent(true);
        notify();
        return true;
    }
    if (!addPickedPoint(origin, direction, false))
        return false;
    splitAtSharpEndTurn(&direction);
    return true;
}

bool COffset_Grid::splitAtSharpEndTurn(const CVector<float, 3>* seenAlong)
{
    COffset_PointList* pl = currentPointList;
    if (pl == nullptr || pl->getCount() < 3)
        return false;
    const Kor::List<CVertex<float, 3>*>& p = pl->vertices;
    const int n = p.count;
    if (pl->insertionCase == 2) {
        if (!(turnAngleSeenAlong(*p[n - 2] - *p[n - 3], *p[n - 1] - *p[n - 2], seenAlong) >
              kMaxEndTurn))
            return false;
        if (!splitPointList(p[n - 2], pl))
            return false;
        // Drawing goes on from the new corner.
        selectPointList(pointLists.count - 1);
        return true;
    }
    if (pl->insertionCase == 0) {
        if (!(turnAngleSeenAlong(*p[1] - *p[0], *p[2] - *p[1], seenAlong) > kMaxEndTurn))
            return false;
        return splitPointList(p[1], pl);
    }
    return false;
}

bool COffset_Grid::addPickedPoint(const CVertex<float, 3>& origin,
                                  const CVector<float, 3>& direction, bool newList)
{
    auto* point = new Gridbench::CGridPoint();
    if (!pickPoint(origin, direction, *point, true, false, true)) {
        delete point;
        return false;
    }
    const bool added = addGridPoint(point, newList, false, &direction);
    discardUnowned(point);
    if (!added)
        return false;
    updateDirectionsOfPointList(currentPointList);
    return true;
}

bool COffset_Grid::addGridPoint(CVertex<float, 3>* point, bool newList, bool useAlternative,
                                const CVector<float, 3>* direction)
{
    if (point == nullptr)
        return false;
    COffset_PointList* target = currentPointList;
    if (newList) {
        target = new COffset_PointList(this);
        addPointList(target);
        addUndo(new CUndoAddPointList(target));
    }
    if (target == nullptr)
        return false;

    const double snapDistance = useAlternative ? alternativeSnapDistance : pickRadius * snapFactor;
    CVertex<float, 3>* existing = findNearestVertex(*point, snapDistance, nullptr, false, nullptr);
    bool placed = false;
    if (existing != nullptr) {
        placed = insertCommitted(target, existing, -1.0, nullptr, direction);
        topologyChanged = true;
    } else {
        placed = insertCommitted(target, point, pickRadius * kAddReach, direction);
        // With live editing a point the current poly-line refuses starts a
        // poly-line of its own, once.
        if (!placed && liveEdit && !newList)
            return addGridPoint(point, true, useAlternative, direction);
        updateDirectionsAt(*point);
    }

    if (!setCurrentPointList(target))
        redisplayCurrent(true);
    CVertex<float, 3>* nearest = nearestEntry(target, *point, kAnyDistance, true);
    if (nearest == nullptr)
        nearest = existing;
    if (nearest != nullptr) {
        highlightPoint(nearest);
        clearHighlightPoint();
    }
    return placed;
}

bool COffset_Grid::insertCommitted(COffset_PointList* pl, CVertex<float, 3>* v, double maxDistance,
                                   const CVector<float, 3>* direction,
                                   const CVector<float, 3>* seenAlong)
{
    const int recorded = undoList.count;
    if (!pl->insertPoints(v, maxDistance, direction, true, nullptr, nullptr, seenAlong))
        return false;
    const int at = pl->indexOf(v);
    if (undoList.count == recorded && at >= 0)
        addUndo(new CUndoInsert(pl, at));
    return true;
}

void COffset_Grid::discardUnowned(Gridbench::CGridPoint* point)
{
    if (point != nullptr && ownedGridPoints.count(point) == 0)
        delete point;
}

// ---- Directions of grid points ------------------------------------------------------------

bool COffset_Grid::setDirectionsAt(const CVertex<float, 3>& point)
{
    CVertex<float, 3>* v = findNearestVertex(point, pickRadius, nullptr, false, nullptr);
    Gridbench::CGridPoint* g = asGridPoint(v);
    if (g == nullptr || currentPointList == nullptr || !currentPointList->contains(v))
        return false;
    const Kor::List<CVertex<float, 3>*>& p = currentPointList->vertices;
    const int i = currentPointList->indexOf(v);
    const CVertex<float, 3>& next = *p[std::min(i + 1, p.count - 1)];
    const CVertex<float, 3>& previous = *p[std::max(i - 1, 0)];
    // Across the poly-line within the mesh's tangent plane.
    CVector<float, 3> d = crossProduct(next - previous, CVertex<float, 3>(g->normal));
    if (d.normalize() > 0.0) {
        g->setDirection1(d, g->direction1Set);
        g->setDirection2(-d, g->direction2Set);
    }
    return true;
}

bool COffset_Grid::updateDirectionsAt(const CVertex<float, 3>& point)
{
    return updateDirections(findNearestVertex(point, pickRadius, nullptr, false, nullptr));
}

int COffset_Grid::updateDirectionsOfPointList(COffset_PointList* pl)
{
    if (pl == nullptr)
        return 0;
    int updated = 0;
    // The entries themselves: a search by position could find a neighbour
    // closer than the pick radius first.
    for (CVertex<float, 3>* v : pl->vertices)
        if (updateDirections(v))
            ++updated;
    return updated;
}

bool COffset_Grid::updateDirections(CVertex<float, 3>* v)
{
    Gridbench::CGridPoint* g = asGridPoint(v);
    if (g == nullptr || currentPointList == nullptr || !currentPointList->contains(v))
        return false;
    setDirectionsAt(*v);
    if (currentPointList->isEndVertex(v))
        return true;
    if (isTJunction(v)) {
        // Only the direction along the stem that ends here stays set.
        bool keep1 = g->direction1Set;
        bool keep2 = !keep1 && g->direction2Set;
        CVector<float, 3> stem;
        if (getStemTangent(v, stem)) {
            const bool first = dot(g->direction1, stem) >= dot(g->direction2, stem);
            keep1 = first && g->direction1Set;
            keep2 = !first && g->direction2Set;
        }
        g->direction1Set = keep1;
        g->direction2Set = keep2;
        notify();
    } else if (isCrossing(v)) {
        g->direction1Set = false;
        g->direction2Set = false;
        notify();
    }
    return true;
}

// ---- Dragging and mouse-up -------------------------------------------------------------

bool COffset_Grid::moveVertex(CVertex<float, 3>*& vertex)
{
    if (busy)
        return false;
    COffset_PointList* found = nullptr;
    if (vertex == nullptr && lastMouseHit != nullptr)
        vertex = findNearestVertex(*lastMouseHit, pickRadius, &found, false, nullptr);
    Gridbench::CGridPoint* g = asGridPoint(vertex);
    if (g == nullptr)
        return false;
    if (found == nullptr)
        found = firstPointListAt(g);
    for (COffset_PointList* pl : pointLists)
        if (pl->contains(g))
            pl->dropCurve();
    addUndo(new CUndoMoveVertex(g, *g));
    g->changed = true;
    if (lastMouseHit != nullptr)
        static_cast<Mesh::CBaseMesh::CBaseHitInfo&>(*g) = *lastMouseHit;
    if (g == selectedPoint)
        showSelectedPoint(true);
    for (COffset_PointList* pl : pointLists)
        if (pl->contains(g))
            showPointList(pl, true, pl == currentPointList);
    if (currentPointList == nullptr && found != nullptr)
        setCurrentPointList(found);
    return true;
}

bool COffset_Grid::mergeWithNeighbourAtItsPosition(CVertex<float, 3>* v)
{
    if (asGridPoint(v) == nullptr)
        return false;
    CVertex<float, 3>* neighbour = nullptr;
    for (const COffset_PointList* pl : pointLists) {
        const int n = pl->vertices.count;
        for (int i = 0; i < n && neighbour == nullptr; ++i) {
            if (pl->vertices[i] != v)
                continue;
            for (int j : {i - 1, i + 1}) {
                CVertex<float, 3>* w = pl->closed        ? pl->vertices[(j + n) % n]
                                       : j >= 0 && j < n ? pl->vertices[j]
                                                         : nullptr;
                if (w != v && asGridPoint(w) != nullptr && samePosition(w, v))
                    neighbour = w;
            }
        }
    }
    if (neighbour == nullptr)
        return false;
    for (COffset_PointList* pl : pointLists)
        while (pl->contains(v))
            if (!pl->snapVertex(v, neighbour))
                break;
    if (grabbedPoint == v)
        grabbedPoint = neighbour;
    if (selectedPoint == v)
        highlightPoint(neighbour);
    topologyChanged = true;
    return true;
}

bool COffset_Grid::onMouseUp(bool insertIntoCurrent)
{
    if (currentPointList != nullptr && currentPointList->hasPending())
        currentPointList->commitPending();
    replacePendingPoint();
    // A point dragged onto its neighbour is one point with it.
    const bool merged = mergeWithNeighbourAtItsPosition(selectedPoint);

    if (grabbedPoint != nullptr) {
        COffset_PointList* pl = currentPointList;
        // The selected point moves onto the grabbed one where it is an entry:
        // in the current poly-line, or else in the first that holds it.
        if (pl != nullptr && !pl->contains(selectedPoint))
            if (COffset_PointList* holding = firstPointListAt(selectedPoint))
                pl = holding;
        if (pl == nullptr)
            return merged;
        CVertex<float, 3>* grabbed = grabbedPoint;
        Gridbench::CGridPoint* g = asGridPoint(grabbed);
        if (g != nullptr)
            g->changed = true;
        if (grabbed != selectedPoint && pl->contains(selectedPoint)) {
            // The selected point moves onto the grabbed one; a copy of the
            // grabbed one already in the poly-line goes first (taken out of
            // a poly-line that does not hold the selected point, it would
            // leave that poly-line without the point and nothing in its
            // place).
            if (pl->contains(grabbed)) {
                addUndo(new CUndoVertexList(pl));
                pl->removeVertex(grabbed);
            }
            pl->snapVertex(selectedPoint, grabbed);
            redisplayCurrent(true);
            highlightPoint(grabbed);
        }
        if (g != nullptr) {
            putJunctionsAtNewCrossings();
            buildTopology(false);
            computeSurfaces(draftOnly, true, nullptr);
        }
        grabbedPoint = nullptr;
        return true;
    }

    Gridbench::CGridPoint* point = insertOnSegmentCurve();
    COffset_PointList* pl = currentPointList;
    if (point == nullptr || pl == nullptr)
        return merged;
    if (!insertIntoCurrent) {
        if (!insertCommitted(pl, point, pickRadius * kCurveInsertReach, nullptr))
            return merged;
    } else {
        pl->snapVertex(selectedPoint, point);
        highlightPoint(point);
    }
    redisplayCurrent(true);
    putJunctionsAtNewCrossings();
    buildTopology(false);
    computeSurfaces(draftOnly, true, nullptr);
    return true;
}

Gridbench::CGridPoint* COffset_Grid::insertOnSegmentCurve()
{
    COffset_PointList* segment = segmentList;
    if (segment == nullptr || segment->getCurve() == nullptr || mesh == nullptr)
        return nullptr;
    // A press on a grid point of the poly-line picks that point, not a place
    // on its curve (the picked parameter is an earlier pick's): a point
    // stands there already, and a second one beside it would make a piece
    // of no length.
    if (Gridbench::CGridPoint* grabbed = asGridPoint(grabbedPoint);
        grabbed != nullptr && segment->contains(grabbed)) {
        clearSelectedPointOnSegment();
        return grabbed;
    }
    const CVertex<float, 3> onCurve =
        toVertex(segment->getCurve()->getPoint(segment->pickedParameter, 0.0));
    Mesh::HitSet hits;
    if (!meshHitsNearPoint(mesh, onCurve, hits, 1.2, false) || hits.count == 0)
        return nullptr;
    // So does a place on the curve at one of its entries (a pick at an end
    // of the curve, or beside a node): that entry is the point there, as a
    // click that near a grid point takes the grid point.
    CVertex<float, 3>* existing = nullptr;
    double distance = 0.0;
    segment->findNearestVertex(*hits[0], 0.0, existing, distance, true);
    if (Gridbench::CGridPoint* entry = asGridPoint(existing);
        entry != nullptr && !(distance >= pickRadius * snapFactor)) {
        clearSelectedPointOnSegment();
        return entry;
    }
    auto* point = new Gridbench::CGridPoint(*hits[0]);
    if (!insertCommitted(segment, point, pickRadius * kCurveInsertReach, nullptr)) {
        discardUnowned(point);
        return nullptr;
    }
    segment->interpolate();
    // The pick is used once: the curve it was taken on has changed, and a
    // second insertion (the release after the menu's insert, or its snap)
    // would put a point beside this one and snap it onto it, leaving the
    // poly-line passing one point twice in a row.
    clearSelectedPointOnSegment();
    return point;
}

bool COffset_Grid::snapPoint()
{
    COffset_PointList* segment = segmentList;
    Gridbench::CGridPoint* point = insertOnSegmentCurve();
    if (point == nullptr)
        return false;
    highlightPoint(point);
    setCurrentPointList(segment);
    redisplayCurrent(true);
    lastSnappedPoint = point;
    return true;
}

// ---- Split and join --------------------------------------------------------------------

bool COffset_Grid::splitAtPoint(CVertex<float, 3>* point)
{
    if (point == nullptr) {
        if (snapPoint())
            return splitPointList(lastSnappedPoint, currentPointList);
        point = grabbedPoint;
    }
    if (asGridPoint(point) == nullptr)
        return false;
    // The poly-line holding this very point, the current one first; a copy
    // of its position is looked for among the poly-lines otherwise.
    COffset_PointList* pl = currentPointList != nullptr && currentPointList->contains(point)
                                ? currentPointList
                                : firstPointListAt(point);
    return splitPointList(point, pl);
}

bool COffset_Grid::joinAtPoint(CVertex<float, 3>* point)
{
    if (point == nullptr)
        point = grabbedPoint;
    if (asGridPoint(point) == nullptr)
        return false;
    const CVertex<float, 3> at(*point);
    joinPointListsAt(at);
    return true;
}

bool COffset_Grid::joinPointListsAt(const CVertex<float, 3>& point)
{
    struct Meeting {
        COffset_PointList* pl;
        CVertex<float, 3>* v;
    };
    Meeting meets[3];
    int count = 0;
    for (COffset_PointList* pl : pointLists) {
        if (count == 3)
            break;
        if (CVertex<float, 3>* v = nearestEntry(pl, point, pickRadius, false))
            meets[count++] = {pl, v};
    }
    if (count < 2)
        return false;
    // The pair that continues each other most nearly straight.
    int bestA = 0, bestB = 1;
    double bestDeviation = DBL_MAX;
    for (int a = 0; a < count; ++a)
        for (int b = a + 1; b < count; ++b) {
            CVector<float, 3> da, db;
            meets[a].pl->getDirectionAtVertex(meets[a].v, da);
            meets[b].pl->getDirectionAtVertex(meets[b].v, db);
            const double angle = turnAngle(da, db) * 180.0 / std::numbers::pi;
            const double deviation = std::min(angle, 180.0 - angle);
            if (deviation < bestDeviation) {
                bestDeviation = deviation;
                bestA = a;
                bestB = b;
            }
        }
    COffset_PointList* first = meets[bestA].pl;
    COffset_PointList* second = meets[bestB].pl;
    CVertex<float, 3>* va = meets[bestA].v;
    CVertex<float, 3>* vb = meets[bestB].v;
    if (first->closed || second->closed || !first->isEndVertex(va) || !second->isEndVertex(vb))
        return false;

    const int jointA = first->indexOf(va);
    const int jointB = second->indexOf(vb);
    // Joints at one position are one node: the second's joint goes, or the
    // joined poly-line would hold a piece of no length there.
    const std::vector<CVertex<float, 3>*> added =
        continuation(second, jointB, samePosition(va, vb));
    // Strokes joined back and forth along one path would make a poly-line
    // that passes its points more often than a net's poly-line does: the
    // net text refuses it, so a net holding it could be saved but not read
    // back. Such a join is not made.
    std::vector<const CVertex<float, 3>*> joined(first->vertices.begin(), first->vertices.end());
    joined.insert(joined.end(), added.begin(), added.end());
    if (passesItsPointsTooOften(joined)) {
        std::sort(joined.begin(), joined.end(), std::less<const CVertex<float, 3>*>());
        const auto distinct = std::unique(joined.begin(), joined.end()) - joined.begin();
        std::cout << "not joined: the poly-line would pass its " << distinct << " points "
                  << joined.size() << " times, a poly-line passes a point twice at most"
                  << std::endl;
        return false;
    }
    addUndo(new CUndoVertexList(first));
    if (jointA == 0 && first->getCount() > 1) {
        // The second's points go in front, running into the joint.
        for (CVertex<float, 3>* v : added)
            first->changeUse(v, +1);
        for (CVertex<float, 3>* v : added)
            first->vertices.append(v, true);
    } else {
        for (CVertex<float, 3>* v : added)
            first->appendVertex(v);
    }
    first->modified = true;
    // The joined poly-line's curve is made again before the second goes:
    // its removal rebuilds the net's faces, whose pieces along the joined
    // poly-line take their parameters from that curve.
    first->dropCurve();
    currentPointList = nullptr;
    removePointList(second, false);
    setCurrentPointList(first);
    redisplayCurrent(true);
    notify();
    if (first->getCount() > 2)
        highlightPoint(nullptr);
    return true;
}

// ---- Removing ------------------------------------------------------------------------------

bool COffset_Grid::onRButtonDown(const CGridMouseEvent& event, int)
{
    if (busy || mesh == nullptr || !editAllowed)
        return false;
    if (!removePointAt(event.rayOrigin, event.rayDirection))
        return false;
    updateDirectionsOfPointList(currentPointList);
    redisplayCurrent(true);
    notify();
    return true;
}

bool COffset_Grid::removePointAt(const CVertex<float, 3>& origin,
                                 const CVector<float, 3>& direction)
{
    Gridbench::CGridPoint record;
    if (!pickPoint(origin, direction, record, true, false, false))
        return false;
    const CVertex<float, 3> at(record);
    return removeGridPoint(at);
}

bool COffset_Grid::removeGridPoint(const CVertex<float, 3>& point)
{
    COffset_PointList* pl = nullptr;
    CVertex<float, 3>* v = nullptr;
    bool onCurrent = false;
    if (currentPointList != nullptr) {
        v = nearestEntry(currentPointList, point, kAnyDistance, false);
        onCurrent = v != nullptr;
        if (onCurrent)
            pl = currentPointList;
    }
    if (v == nullptr)
        v = findNearestVertex(point, pickRadius, &pl, false, nullptr);
    if (v == nullptr && selectedPoint != nullptr) {
        v = selectedPoint;
        pl = firstPointListAt(v);
    }
    if (v == nullptr || pl == nullptr || pl->closed)
        return false;

    pl->RollBack();
    addUndo(new CUndoVertexList(pl));
    pl->removeVertex(v);
    const int use = useCountOf(v);
    if (use < 0)
        std::cout << "upps " << use << " < 0 !" << std::endl;
    if (v == selectedPoint)
        highlightPoint(nullptr);
    if (v == pendingStartPoint)
        pendingStartPoint = nullptr;
    if (use < 1)
        registerGridPoint(v);
    if (pl->getCount() == 0)
        return removePointList(pl, false);
    if (!onCurrent)
        setCurrentPointList(pl);
    redisplayCurrent(true);
    return true;
}

bool COffset_Grid::deleteSelection()
{
    if (selectedPoint != nullptr) {
        const CVertex<float, 3> at(*selectedPoint);
        const bool removed = removeGridPoint(at);
        clearSelectedPoint();
        return removed;
    }
    return deleteCurrentPointList();
}

bool COffset_Grid::replacePendingPoint()
{
    if (pendingStartPoint == nullptr || lastMouseHit == nullptr)
        return false;
    addGridPoint(pendingStartPoint, true, false, nullptr);
    auto* point = new Gridbench::CGridPoint(*lastMouseHit);
    addGridPoint(point, false, false, nullptr);
    discardUnowned(point);
    pendingStartPoint = nullptr;
    return true;
}

bool COffset_Grid::discardPointList(COffset_PointList* pl)
{
    const int at = indexOfPointList(pl);
    if (at < 0)
        return false;
    showPointList(pl, false, false);
    if (currentPointList == pl)
        currentPointList = nullptr;
    if (segmentList == pl)
        clearSelectedPointOnSegment();
    pointLists.removeAt(at);
    pl->withdrawUses();
    pl->dropCurve();
    retiredPointLists.append(pl);
    topologyChanged = true;
    ++editCount;
    return true;
}

// ---- Undo ------------------------------------------------------------------------------

void COffset_Grid::undo()
{
    // The items after the last mark, which was taken with the host's undo
    // record that is undone now: one record, one mark. A record whose edit
    // changed nothing encloses no items and undoes nothing; passing over it
    // to an earlier mark would take back an edit whose own record then
    // finds nothing left, so every later undo ran one edit ahead. A mark
    // above the list's length encloses nothing either.
    int n = undoList.count;
    if (undoMarks.count > 0) {
        n = undoList.count - undoMarks[undoMarks.count - 1];
        undoMarks.removeAt(undoMarks.count - 1);
    }
    n = std::clamp(n, 0, undoList.count);
    ++undoStretch;
    // A point the mouse is placing is no edit: its entry would shift the
    // places the undo items name.
    for (COffset_PointList* pl : pointLists)
        pl->RollBack();
    if (n > 0)
        ++editCount;

    std::vector<Gridbench::CGridPoint*> used;
    for (COffset_PointList* pl : pointLists)
        for (CVertex<float, 3>* v : pl->vertices)
            if (Gridbench::CGridPoint* g = asGridPoint(v))
                used.push_back(g);

    for (; n > 0; --n) {
        UndoGridEdit* item = undoList[undoList.count - 1];
        undoList.removeAt(undoList.count - 1);
        if (item == nullptr)
            continue;
        item->undo(this);
        delete item;
    }

    // The counts from the poly-lines as they now stand; a point that left
    // every poly-line is unused.
    for (Gridbench::CGridPoint* g : used)
        g->useCount = 0;
    recountUse();
    std::unordered_set<const CVertex<float, 3>*> unused(pointSet.items,
                                                        pointSet.items + pointSet.count);
    for (Gridbench::CGridPoint* g : used)
        if (g->useCount == 0 && unused.insert(g).second)
            registerGridPoint(g);
    if (showPointLists)
        for (COffset_PointList* pl : pointLists)
            showPointList(pl, true, pl == currentPointList);
    // A selected point the undo took out of every poly-line is gone for the
    // user: kept, a Delete would remove the current poly-line's point
    // nearest to where it was.
    if (selectedPoint != nullptr && firstPointListAt(selectedPoint) == nullptr)
        highlightPoint(nullptr);
    showSelectedPoint(true);
    // The lines given back cross where they crossed: their junctions came
    // back with them.
    takeStretchesAsSeen();
}

// ---- Undo items ----------------------------------------------------------------------------

void CUndoMoveVertex::undo(COffset_Grid* grid)
{
    if (point == nullptr || saved == nullptr)
        return;
    static_cast<Mesh::CBaseMesh::CBaseHitInfo&>(*point) = *saved;
    point->changed = true;
    if (grid == nullptr)
        return;
    for (COffset_PointList* pl : grid->pointLists)
        if (pl->contains(point)) {
            pl->dropCurve();
            grid->showPointList(pl, true, false);
        }
}

void CUndoAddPointList::undo(COffset_Grid* grid)
{
    if (grid != nullptr)
        grid->discardPointList(pointList);
}

namespace {

// The entry before (step -1) or after (step 1) the i-th of the list, round
// a closed one; null past an end.
const CVertex<float, 3>* entryBeside(const Kor::List<CVertex<float, 3>*>& list, bool closed, int i,
                                     int step)
{
    const int k = i + step;
    if (k >= 0 && k < list.count)
        return list[k];
    return closed && list.count > 1 ? list[(k + list.count) % list.count] : nullptr;
}

} // namespace

void CUndoVertexList::undo(COffset_Grid*)
{
    COffset_PointList& pl = *pointList;
    if (pl.usesCounted) {
        // Uses of the former points first, so no shared point counts as
        // unused on the way.
        for (CVertex<float, 3>* v : vertices)
            pl.changeUse(v, +1);
        for (CVertex<float, 3>* v : pl.vertices)
            pl.changeUse(v, -1);
    }
    const Kor::List<CVertex<float, 3>*> replaced = pl.vertices;
    const bool wasClosed = pl.closed && !pl.closedByPending;
    pl.vertices = vertices;
    pl.closed = closed;
    pl.pendingVertex = nullptr;
    pl.closedByPending = false;
    pl.modified = true;
    // Changed are the entries given back between other neighbours than they
    // had, and the points taken out: the faces along them are fitted again.
    // A face along a stretch the undo leaves as it stood keeps its surface,
    // as the edit undone left it (marking every entry refitted faces no edit
    // had touched, and the undo gave them back changed).
    // Each point's first entry in the list replaced, and the points given
    // back, looked up by table: a poly-line may hold a hundred thousand.
    std::unordered_map<const CVertex<float, 3>*, int> entryOf;
    for (int j = 0; j < replaced.count; ++j)
        entryOf.emplace(replaced[j], j);
    for (int i = 0; i < pl.vertices.count; ++i) {
        const auto at = entryOf.find(pl.vertices[i]);
        if (at == entryOf.end() ||
            entryBeside(pl.vertices, closed, i, -1) !=
                entryBeside(replaced, wasClosed, at->second, -1) ||
            entryBeside(pl.vertices, closed, i, 1) != entryBeside(replaced, wasClosed, at->second, 1))
            pl.markChanged(i);
    }
    const std::unordered_set<const CVertex<float, 3>*> givenBack(pl.vertices.data,
                                                                 pl.vertices.data + pl.vertices.count);
    for (CVertex<float, 3>* v : replaced)
        if (auto* g = dynamic_cast<Gridbench::CGridPoint*>(v);
            g != nullptr && givenBack.count(g) == 0)
            g->changed = true;
    pl.dropCurve();
}
