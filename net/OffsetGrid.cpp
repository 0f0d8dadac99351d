#include "net/OffsetGrid.h"

#include "curves/SubCurves.h"
#include "display/OpenGLPoint.h"
#include "geometry/NurbsSurf.h"
#include "mesh/GridPoint.h"
#include "mesh/MeshGeometry.h"
#include "net/OpenGLPointList.h"
#include "platform/MessageBox.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <iostream>

namespace {

const float kDisplayColours[11][4] = {
    {0.5f, 0.5f, 0.5f, 1.0f}, {1.0f, 0.5f, 0.0f, 1.0f}, {1.0f, 0.0f, 1.0f, 1.0f},
    {0.0f, 1.0f, 1.0f, 1.0f}, {1.0f, 0.0f, 0.0f, 1.0f}, {1.0f, 0.41f, 0.506f, 1.0f},
    {1.0f, 1.0f, 0.0f, 1.0f}, {1.0f, 1.0f, 1.0f, 1.0f}, {1.0f, 0.0f, 0.0f, 1.0f},
    {1.0f, 1.0f, 1.0f, 1.0f}, {0.5f, 0.0f, 0.0f, 1.0f}};

const float kVertexMarkerColour[4] = {0.69f, 0.24f, 0.53f, 1.0f};

bool lessPoint(const CVertex<float, 3>* a, const CVertex<float, 3>* b)
{
    return isLessVertex(*a, *b);
}

} // namespace

// ---- Construction and destruction ------------------------------------------------

COffset_Grid::COffset_Grid(Mesh::CBaseMesh* m) : mesh(m)
{
    std::copy(&kDisplayColours[0][0], &kDisplayColours[0][0] + 44, &colours[0][0]);
    pointSet.ownsItems = 0;
    colorCoding.count = 360;
    colorCoding.hueCarried = 0;
    colorCoding.hueLow = 0;
    colorCoding.setRange(-0.1, 0.1);
    colorCoding.mode = 3;
    colorCoding.setRange(-0.15, 0.15);
    setMode(0);
    setLiveEdit(true);
}

COffset_Grid::~COffset_Grid()
{
    showAllPointLists(false);
    displayContainer.removeEntityByName("SelectedPoint");
    displayContainer.removeEntityByName("HighlightPoint");
    deleteGridContents();
}

void COffset_Grid::deleteGridContents()
{
    // Every point dies with the grid: no use count needs to be given back.
    for (COffset_PointList* pl : pointLists)
        pl->usesCounted = false;
    for (COffset_PointList* pl : retiredPointLists)
        pl->usesCounted = false;
    currentPointList = nullptr;
    segmentList = nullptr;
    pointLists.deleteAll();
    retiredPointLists.deleteAll();
    undoList.deleteAll();
    undoMarks.removeAll();
    ++undoStretch;
    pointSet.removeAll(false, false);
    auto forget = [this](auto*& p) {
        if (ownedGridPoints.count(dynamic_cast<Gridbench::CGridPoint*>(p)) != 0)
            p = nullptr;
    };
    forget(lastSnappedPoint);
    forget(lastMouseHit);
    forget(pendingStartPoint);
    selectedPoint = grabbedPoint = highlightedPoint = nullptr;
    for (Gridbench::CGridPoint* g : ownedGridPoints)
        delete g;
    ownedGridPoints.clear();
    seenStretches.reset();
    ++editCount;
}

void COffset_Grid::takePointLists(COffset_Grid& from)
{
    // What `from` points at of its poly-lines and grid points leaves with
    // them.
    const auto forget = [&from](auto*& p) {
        if (from.ownedGridPoints.count(dynamic_cast<Gridbench::CGridPoint*>(p)) != 0)
            p = nullptr;
    };
    forget(from.lastSnappedPoint);
    forget(from.lastMouseHit);
    forget(from.pendingStartPoint);
    from.selectedPoint = from.grabbedPoint = from.highlightedPoint = nullptr;
    from.currentPointList = from.segmentList = nullptr;
    for (Kor::List<COffset_PointList*>* lists : {&from.pointLists, &from.retiredPointLists}) {
        Kor::List<COffset_PointList*>& into =
            lists == &from.pointLists ? pointLists : retiredPointLists;
        for (COffset_PointList* pl : *lists) {
            pl->owner = this;
            into.append(pl);
        }
        lists->removeAll();
    }
    ownedGridPoints.insert(from.ownedGridPoints.begin(), from.ownedGridPoints.end());
    from.ownedGridPoints.clear();
    for (CVertex<float, 3>* point : from.pointSet)
        registerGridPoint(point);
    from.pointSet.removeAll(false, false);
    // The lines cross where they crossed in `from`: at its junctions.
    takeStretchesAsSeen();
    from.seenStretches.reset();
}

bool COffset_Grid::confirmDeleteAll()
{
    return Platform::showMessageBox("delete all point lists ?",
                                    Platform::MessageBoxButtons::YesNo) ==
           Platform::MessageBoxAnswer::Yes;
}

// ---- Virtual operations ------------------------------------------------------------

bool COffset_Grid::setCurrentPointList(COffset_PointList* pl)
{
    if (pl == currentPointList)
        return false;
    COffset_PointList* old = currentPointList;
    // The point that follows the cursor belongs to the poly-line drawn:
    // left on one no longer current, it stayed in its net, closing a
    // poly-line it ran back to for the next topology step.
    if (old != nullptr && old->hasPending())
        old->RollBack();
    showPointList(old, false, false);
    showPointList(pl, false, false);
    currentPointList = pl;
    showPointList(old, true, false);
    showPointList(pl, true, true);
    updateDirectionsOfPointList(pl);
    notify();
    return true;
}

bool COffset_Grid::selectPointList(int index)
{
    COffset_PointList* pl = getPointList(index);
    if (pl == nullptr)
        return false;
    setCurrentPointList(pl);
    return true;
}

bool COffset_Grid::selectPointList(COffset_PointList* pl)
{
    pl = getPointList(pl);
    if (pl == nullptr)
        return false;
    setCurrentPointList(pl);
    return true;
}

int COffset_Grid::getSurfaces(Kor::List<Fenwo::NurbsSurf*>&)
{
    return 0;
}

void COffset_Grid::recountUse()
{
    for (COffset_PointList* pl : pointLists)
        for (CVertex<float, 3>* v : pl->vertices)
            if (auto* g = dynamic_cast<Gridbench::CGridPoint*>(v))
                g->useCount = 0;
    for (COffset_PointList* pl : pointLists)
        for (CVertex<float, 3>* v : pl->vertices)
            if (auto* g = dynamic_cast<Gridbench::CGridPoint*>(v)) {
                g->useCount += 1;
                unregisterGridPoint(g);
            }
}

int COffset_Grid::deleteAll(bool ask)
{
    if (ask && pointLists.count > 0 && !confirmDeleteAll())
        return 0;
    const int removed = pointLists.count;
    currentPointList = nullptr;
    while (displayContainer.removeEntityByName("PointList Curve")) {
    }
    while (displayContainer.removeEntityByName("PointList")) {
    }
    showAllPointLists(false);
    // The selected, grabbed and highlighted points go with the poly-lines.
    for (const char* marker : {"SelectedPoint", "HighlightPoint", "SelectedPointOnSegment"})
        displayContainer.removeEntityByName(marker);
    deleteGridContents();
    displayContainer.removeEntityByName("d_i errors");
    displayContainer.removeEntityByName("geometry-errors");
    if (removed > 0)
        notify();
    return removed;
}

bool COffset_Grid::update()
{
    if (busy || mesh == nullptr)
        return false;
    notify();
    return true;
}

bool COffset_Grid::setDepthTest(bool on)
{
    if (on == depthTest)
        return false;
    depthTest = on;
    notify();
    return true;
}

void COffset_Grid::setWireframe(bool on)
{
    wireframe = on;
    notify();
}

void COffset_Grid::setMode(int newMode)
{
    if (newMode == mode)
        return;
    mode = newMode;
    if (newMode < 0 || newMode > 3)
        return;
    constrainedStart = newMode == 1;
    directCoons = newMode == 2;
    notify();
    if (!showPointLists) {
        showPointLists = true;
        showAllPointLists(true);
        notify();
    }
}

void COffset_Grid::showSurfaces(bool show)
{
    showSurfacesFlag = show;
    for (COpenGLEntity* entity : displayContainer.entities)
        if (entity->isFaceDisplay())
            entity->hidden = !show;
}

int COffset_Grid::setSurfaceQuality(int quality)
{
    surfaceQuality = quality;
    return quality;
}

bool COffset_Grid::removePointList(COffset_PointList* pl, bool)
{
    if (pl == nullptr)
        return false;
    showPointList(pl, false, false);
    if (currentPointList == pl)
        currentPointList = nullptr;
    pl->setModified(true);
    int removed = 0;
    int at = -1;
    for (int i = pointLists.count - 1; i >= 0; --i)
        if (pointLists[i] == pl) {
            pointLists.removeAt(i);
            ++removed;
            at = i;
        }
    if (removed != 1)
        return false;
    auto* item = new CUndoRemovePointList(pl, true);
    item->index = at;
    addUndo(item);
    if (segmentList == pl)
        clearSelectedPointOnSegment();
    topologyChanged = true;
    return true;
}

int COffset_Grid::showPointList(COffset_PointList* pl, bool show, bool highlight)
{
    if (pl == nullptr)
        return 0;
    COpenGLEntity* found = displayContainer.findEntity(displayKeyOf(*pl));
    auto* display = dynamic_cast<COpenGLPointList*>(found);
    if (!show) {
        if (display != nullptr)
            displayContainer.removeEntity(display);
        return 0;
    }
    if (found != nullptr && display == nullptr)
        return 0; // the key belongs to another kind of entity
    if (display == nullptr) {
        display = new COpenGLPointList(pl);
        displayContainer.addEntity(display);
    }
    display->layer = highlight ? COpenGLEntity::LayerTop : 0;
    display->onTop = highlight;
    const bool current = pl == currentPointList;
    const int role = current        ? CurrentPointListColour
                     : pl->modified ? ModifiedPointListColour
                                    : PointListColour;
    std::copy(colours[role], colours[role] + 4, display->lineColour);
    std::copy(colours[VertexColour], colours[VertexColour] + 4, display->vertexColour);
    display->lineWidth = float(pointSize) + (current ? 4.0f : 0.0f);
    display->drawVertices = editAllowed;
    display->setDirty();
    if (!editAllowed)
        return 0;
    display->vertexDepthTest = current ? false : depthTest;
    display->vertexSize = 2.0f * float(pointSize);
    display->useMarkerColour = markerColour;
    if (markerColour)
        std::copy(kVertexMarkerColour, kVertexMarkerColour + 4, display->markerColour);
    return pl->getCount();
}

int COffset_Grid::redisplayCurrent(bool show)
{
    if (currentPointList == nullptr)
        return 0;
    const int r = showPointList(currentPointList, show, true);
    if (pointLists.count == 1 && r == 1)
        notify();
    return r;
}

// ---- Settings ------------------------------------------------------------------------

bool COffset_Grid::notify()
{
    return Platform::sendChangeNotification(window, message);
}

void COffset_Grid::setLiveEdit(bool on)
{
    if (currentPointList != nullptr && currentPointList->hasPending()) {
        currentPointList->RollBack();
        redisplayCurrent(true);
    }
    liveEdit = on;
    if (!on)
        pendingStartPoint = nullptr;
}

void COffset_Grid::setShowPointLists(bool show)
{
    if (show == showPointLists)
        return;
    showPointLists = show;
    showAllPointLists(show);
    notify();
}

// ---- Poly-lines ------------------------------------------------------------------------

void COffset_Grid::addUndo(UndoGridEdit* item)
{
    if (item == nullptr)
        return;
    undoList.append(item);
    ++editCount;
}

void COffset_Grid::addUndoMark()
{
    addUndoMark(undoList.count);
}

void COffset_Grid::addUndoMark(int from)
{
    undoMarks.append(std::clamp(from, 0, undoList.count));
    ++undoStretch;
}

int COffset_Grid::indexOfPointList(const COffset_PointList* pl) const
{
    for (int i = 0; i < pointLists.count; ++i)
        if (pointLists[i] == pl)
            return i;
    return -1;
}

COffset_PointList* COffset_Grid::getPointList(int index) const
{
    if (pointLists.count == 0)
        return nullptr;
    int i = index % pointLists.count;
    if (i < 0)
        i += pointLists.count;
    return pointLists[i];
}

COffset_PointList* COffset_Grid::getPointList(COffset_PointList* pl) const
{
    return indexOfPointList(pl) >= 0 ? pl : nullptr;
}

bool COffset_Grid::addPointList(COffset_PointList* pl)
{
    if (pl == nullptr || indexOfPointList(pl) >= 0)
        return false;
    pointLists.append(pl);
    return true;
}

COffset_PointList* COffset_Grid::firstPointListAt(const CVertex<float, 3>* point) const
{
    for (COffset_PointList* pl : pointLists)
        if (pl->contains(point))
            return pl;
    return nullptr;
}

int COffset_Grid::showAllPointLists(bool show)
{
    for (COffset_PointList* pl : pointLists)
        showPointList(pl, show, false);
    return pointLists.count;
}

int COffset_Grid::showPointListsAt(bool show, const CVertex<float, 3>* point)
{
    refreshVertexList();
    if (point == nullptr)
        return 0;
    for (COffset_PointList* pl : pointLists)
        if (pl->contains(point))
            showPointList(pl, show, pl == currentPointList);
    return pointLists.count;
}

bool COffset_Grid::deleteCurrentPointList()
{
    COffset_PointList* pl = currentPointList;
    if (pl == nullptr)
        return false;
    currentPointList = nullptr;
    const bool removed = removePointList(pl, true);
    if (removed && pointLists.count > 0)
        setCurrentPointList(pointLists[pointLists.count - 1]);
    return removed;
}

int COffset_Grid::removeSinglePointLists()
{
    auto firstSingle = [this]() -> COffset_PointList* {
        for (COffset_PointList* pl : pointLists)
            if (pl->getCount() == 1)
                return pl;
        return nullptr;
    };
    if (firstSingle() == nullptr)
        return 0;
    notify();
    while (COffset_PointList* pl = firstSingle()) {
        if (pl == currentPointList)
            selectPointList(0);
        if (pl->vertices[0] == highlightedPoint)
            clearHighlightPoint();
        clearSelectedPoint();
        if (!removePointList(pl, false))
            break;
    }
    notify();
    return 0;
}

// ---- Grid points -----------------------------------------------------------------------

void COffset_Grid::adoptGridPoint(CVertex<float, 3>* v)
{
    if (auto* g = dynamic_cast<Gridbench::CGridPoint*>(v))
        ownedGridPoints.insert(g);
}

bool COffset_Grid::registerGridPoint(CVertex<float, 3>* point)
{
    if (point == nullptr)
        return false;
    int index = -1;
    if (!pointSet.find(point, index, lessPoint))
        pointSet.insertAt(point, index);
    else if (pointSet.items[index] != point)
        std::cout << "double delete! a Vertex " << std::endl;
    return true;
}

void COffset_Grid::unregisterGridPoint(CVertex<float, 3>* point)
{
    for (int i = 0; i < pointSet.count; ++i)
        if (pointSet.items[i] == point) {
            for (int k = i; k + 1 < pointSet.count; ++k)
                pointSet.items[k] = pointSet.items[k + 1];
            --pointSet.count;
            return;
        }
}

CVertex<float, 3>* COffset_Grid::findNearestVertex(const CVertex<float, 3>& point, double maxDist,
                                                   COffset_PointList** pl, bool skipCurrent,
                                                   CVertex<float, 3>** beyond) const
{
    if (beyond != nullptr)
        *beyond = nullptr;
    double bestWithin = FLT_MAX;
    double bestBeyond = FLT_MAX;
    CVertex<float, 3>* result = nullptr;
    COffset_PointList* listWithin = nullptr;
    COffset_PointList* listBeyond = nullptr;
    for (COffset_PointList* p : pointLists) {
        if (p == currentPointList && (p->hasPending() || skipCurrent))
            continue;
        CVertex<float, 3>* found = nullptr;
        double d = 10000.0;
        if (p->findNearestVertex(point, maxDist, found, d, false)) {
            if (d < bestWithin) {
                bestWithin = d;
                result = found;
                listWithin = p;
            }
        } else if (found != nullptr && beyond != nullptr && d < bestBeyond) {
            bestBeyond = d;
            *beyond = found;
            listBeyond = p;
        }
    }
    // The poly-line reported is always the one of the point reported.
    if (pl != nullptr)
        *pl = result != nullptr ? listWithin : listBeyond;
    return result;
}

bool COffset_Grid::findListsAtVertex(const CVertex<float, 3>* point, COffset_PointList** interior,
                                     int& count) const
{
    COffset_PointList* inside = nullptr;
    COffset_PointList* seen[2] = {nullptr, nullptr};
    count = 0;
    for (COffset_PointList* pl : pointLists) {
        if (!pl->contains(point))
            continue;
        if (count < 2)
            seen[count] = pl;
        ++count;
        if (!pl->isEndVertex(point))
            inside = pl;
    }
    if (inside == nullptr && count == 2) {
        auto endsIn = [](const COffset_PointList* a, const COffset_PointList* b) {
            return a->getCount() > 0 && b->contains(a->vertices[0]) &&
                   b->contains(a->vertices[a->getCount() - 1]);
        };
        if (endsIn(seen[0], seen[1]) || endsIn(seen[1], seen[0]))
            count = 0;
    }
    if (interior != nullptr)
        *interior = inside;
    return inside != nullptr;
}

namespace {

// The first and the last poly-line through point; false unless they differ.
bool firstAndLastThrough(const Kor::List<COffset_PointList*>& lists, const CVertex<float, 3>* point,
                         COffset_PointList*& first, COffset_PointList*& last)
{
    first = last = nullptr;
    for (COffset_PointList* pl : lists)
        if (pl->contains(point)) {
            if (first == nullptr)
                first = pl;
            last = pl;
        }
    return first != nullptr && first != last;
}

} // namespace

bool COffset_Grid::isTJunction(const CVertex<float, 3>* point) const
{
    COffset_PointList *a, *b;
    if (!firstAndLastThrough(pointLists, point, a, b))
        return false;
    return (a->isInteriorVertex(point) && b->isEndVertex(point)) ||
           (b->isInteriorVertex(point) && a->isEndVertex(point));
}

bool COffset_Grid::isCrossing(const CVertex<float, 3>* point) const
{
    COffset_PointList *a, *b;
    if (!firstAndLastThrough(pointLists, point, a, b))
        return false;
    return a->isInteriorVertex(point) && b->isInteriorVertex(point);
}

bool COffset_Grid::getStemTangent(const CVertex<float, 3>* point, CVector<float, 3>& out) const
{
    if (!isTJunction(point) || useCountOf(point) != 2)
        return false;
    for (COffset_PointList* pl : pointLists) {
        const int n = pl->getCount();
        if (n == 0 || !pl->contains(point))
            continue;
        const bool atStart = pl->vertices[0] == point;
        if (!atStart && pl->vertices[n - 1] != point)
            continue;
        if (pl->getEndTangent(atStart, out) && atStart)
            for (int c = 0; c < 3; ++c)
                out.data[c] *= -1.0f;
    }
    return true;
}

bool COffset_Grid::splitPointList(const CVertex<float, 3>* point, COffset_PointList* pl)
{
    if (point == nullptr)
        return false;
    CVertex<float, 3>* at = nullptr;
    double d = 0.0;
    if (pl != nullptr) {
        // A poly-line that is not the grid's would be left half split.
        if (indexOfPointList(pl) < 0)
            return false;
        const int i = pl->indexOf(point);
        if (i >= 0)
            at = pl->vertices[i];
        else if (!pl->findNearestVertex(*point, pickRadius, at, d, false))
            at = nullptr;
    } else {
        if (currentPointList != nullptr &&
            currentPointList->findNearestVertex(*point, pickRadius, at, d, false))
            pl = currentPointList;
        for (int k = 0; pl == nullptr && k < pointLists.count; ++k)
            if (pointLists[k]->findNearestVertex(*point, pickRadius, at, d, false))
                pl = pointLists[k];
    }
    if (pl == nullptr || at == nullptr)
        return false;

    const int n = pl->getCount();
    const int i = pl->indexOf(at);
    // An end of an open poly-line is no place to split it: one half would
    // be the end alone.
    if (!pl->closed && !pl->optionFlag && (i <= 0 || i >= n - 1))
        return false;
    auto* a = new COffset_PointList(this);
    auto* b = new COffset_PointList(this);
    // The second half runs on to the first point with the option flag, and
    // on a closed poly-line, whose closing segment it then keeps.
    const int last = pl->optionFlag || pl->closed ? n : n - 1;
    for (int k = 0; k <= last; ++k) {
        CVertex<float, 3>* v = pl->vertices[k % n];
        if (k < i) {
            a->appendVertex(v);
        } else if (k == i) {
            a->appendVertex(v);
            b->appendVertex(v);
        } else {
            b->appendVertex(v);
        }
    }
    auto* curve = dynamic_cast<Fenwo::NurbsSurf*>(pl->getCurve());
    if (pl->curveLocked && curve != nullptr && pl->parameters.count >= n) {
        const Kor::List<double>& t = pl->parameters;
        if (Fenwo::NurbsSurf* first = getSubCurve(curve, t[0], t[i]))
            a->setCurve(first, t, 0, i);
        if (Fenwo::NurbsSurf* second = getSubCurve(curve, t[i], t[n - 1]))
            b->setCurve(second, t, i, n - 1);
    }
    // Undo puts the old poly-line back and takes the halves out again. The
    // halves enter before the old one goes: its removal rebuilds the net's
    // faces, which the split leaves as they were.
    for (COffset_PointList* half : {a, b}) {
        addPointList(half);
        addUndo(new CUndoAddPointList(half));
        showPointList(half, true, false);
    }
    removePointList(pl, false);
    setCurrentPointList(a);
    notify();
    return true;
}

int COffset_Grid::selectSegment(const CVertex<float, 3>* a, const CVertex<float, 3>* b,
                                const CVertex<float, 3>& point, float* buffer, bool ownsBuffer)
{
    int found = 0;
    CVector<float, 3> direction(point);
    for (COffset_PointList* pl : pointLists) {
        const int ia = pl->indexOf(a);
        const int ib = pl->indexOf(b);
        if (ia < 0 || ib < 0)
            continue;
        found += pl->segmentSide(ia, ib, direction);
        if (pl->hasValidCurve())
            break;
    }
    if (ownsBuffer)
        delete[] buffer;
    return found;
}

Kor::SubSet<CVertex<float, 3>> COffset_Grid::collectGridPoints(bool withCurves) const
{
    Kor::SubSet<CVertex<float, 3>> points;
    for (COffset_PointList* pl : pointLists) {
        if (pl->curveLocked && !withCurves)
            continue;
        for (CVertex<float, 3>* v : pl->vertices)
            if (v != nullptr)
                points.append(v);
    }
    points.sortUnique(lessPoint);
    return points;
}

int COffset_Grid::nextChainPoint(CChainCursor& cursor)
{
    if (cursor.lists == nullptr)
        return 0;
    const Kor::List<Kor::List<int>>& lists = *cursor.lists;
    while (cursor.list < lists.count) {
        const Kor::List<int>& items = lists[cursor.list];
        if (cursor.item < items.count - 1)
            return items[cursor.item++];
        ++cursor.list;
        cursor.item = 0;
    }
    if (!cursor.closed && lists.count > 0 && lists[0].count > 0) {
        cursor.closed = true;
        return lists[0][0];
    }
    return 0;
}

float COffset_Grid::distanceToLine(const CVertex<float, 3>* p, const CVertex<float, 3>* a,
                                   const CVector<float, 3>* d)
{
    if (p == nullptr || a == nullptr || d == nullptr)
        return FLT_MAX;
    const CVertex<float, 3> ap = *p - *a;
    const float t = dot(ap, static_cast<const CVertex<float, 3>&>(*d));
    return pointDistance(*p, *a + t * static_cast<const CVertex<float, 3>&>(*d));
}

// ---- Selection and markers ---------------------------------------------------------------

bool COffset_Grid::clearSelectedPointOnSegment()
{
    const bool held = grabbedPoint != nullptr || segmentList != nullptr;
    grabbedPoint = nullptr;
    segmentList = nullptr;
    const bool removed = displayContainer.removeEntityByName("SelectedPointOnSegment");
    return held || removed;
}

void COffset_Grid::refreshVertexList()
{
    displayContainer.findEntityByName(vertexListName.c_str());
}

void COffset_Grid::highlightPoint(CVertex<float, 3>* point)
{
    selectedPoint = point;
    if (point == nullptr) {
        displayContainer.removeEntityByName("SelectedPoint");
        return;
    }
    showSelectedPoint(true);
    if (currentPointList == nullptr)
        if (COffset_PointList* pl = firstPointListAt(point))
            setCurrentPointList(pl);
}

bool COffset_Grid::showSelectedPoint(bool show)
{
    if (!show) {
        displayContainer.removeEntityByName("SelectedPoint");
        return true;
    }
    auto* marker = dynamic_cast<COpenGLPoint*>(displayContainer.findEntityByName("SelectedPoint"));
    if (marker != nullptr && selectedPoint != nullptr) {
        marker->setPosition(*selectedPoint);
        return true;
    }
    if (selectedPoint == nullptr)
        return false;
    const float* c = colours[SelectedPointColour];
    displayContainer.addEntity(new COpenGLPoint("SelectedPoint", *selectedPoint, c[0], c[1], c[2],
                                                c[3], 1, pointSize + 2, -1),
                               true);
    return false;
}

bool COffset_Grid::clearSelectedPoint()
{
    if (selectedPoint == nullptr)
        return false;
    displayContainer.removeEntityByName("SelectedPoint");
    selectedPoint = nullptr;
    return true;
}

void COffset_Grid::clearHighlightPoint()
{
    if (highlightedPoint == nullptr)
        return;
    displayContainer.removeEntityByName("HighlightPoint");
    highlightedPoint = nullptr;
}

// ---- Undo items ------------------------------------------------------------------------------

CUndoRemovePointList::CUndoRemovePointList(COffset_PointList* pl, bool current)
    : pointList(pl), makeCurrent(current)
{
    pointList->dropCurve();
    pointList->withdrawUses();
}

CUndoRemovePointList::~CUndoRemovePointList()
{
    delete pointList;
}

void CUndoRemovePointList::undo(COffset_Grid* grid)
{
    if (grid == nullptr || pointList == nullptr)
        return;
    COffset_PointList* pl = pointList;
    pointList = nullptr; // the grid owns it again
    // Back at its former place, so that the order of the poly-lines (the
    // "last" one included) is what it was.
    if (grid->indexOfPointList(pl) < 0) {
        if (index >= 0 && index <= grid->pointLists.count)
            grid->pointLists.insertAfter(pl, index - 1);
        else
            grid->pointLists.append(pl);
    }
    pl->restoreUses();
    if (makeCurrent)
        grid->setCurrentPointList(pl);
    grid->showPointList(pl, true, false);
}

CUndoMoveVertex::CUndoMoveVertex(Gridbench::CGridPoint* p, const Mesh::CBaseMesh::CBaseHitInfo& hit)
    : point(p), saved(new Mesh::CBaseMesh::CBaseHitInfo(hit))
{
}

CUndoMoveVertex::~CUndoMoveVertex()
{
    delete saved;
}
