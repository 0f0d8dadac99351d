// The mouse callback: grid editing with the mouse in the host's views. Every
// event turns the cursor into a ray through the view and hits the mesh
// through the net; presses and releases then choose the net's edit, moves
// give the feedback (pick radius, read-outs, hover highlight, tool-tips and
// the pending vertex that follows the cursor while a poly-line is drawn).
#include "plugin/Callbacks.h"

#include "mesh/GridPoint.h"
#include "platform/InputState.h"
#include "plugin/MeshwrightPlugIn.h"

#include <algorithm>
#include <cfloat>

namespace {

// The pick radius covers this many pixels around the cursor.
constexpr double kPickPixels = 15.0;
// Context-menu items by mask bit.
const struct {
    int bit;
    UINT id;
} kMenuItems[] = {{0x01, 33023}, {0x02, 33019}, {0x04, 33024},
                  {0x10, 33020}, {0x08, 33017}, {0x20, 33021}};

using Point = CVertex<float, 3>;

float distanceTo(const CVertex<float, 3>* a, const CVertex<float, 3>& b)
{
    return pointDistance(*a, b);
}

// The grid point at index i of pl; null out of range and for a plain point.
Gridbench::CGridPoint* gridPointAt(const COffset_PointList& pl, int i)
{
    return i >= 0 && i < pl.getCount() ? dynamic_cast<Gridbench::CGridPoint*>(pl.vertices[i])
                                       : nullptr;
}

// The grid's context menu at the click, its first sub-menu greyed but for
// the items of mask; the chosen item reaches the plug-in's menu handler.
void openContextMenu(CVezadView& view, int x, int y, int mask)
{
    CMenu* items = MeshwrightPlugIn().contextMenu.GetSubMenu(0);
    if (items == nullptr)
        return;
    POINT at{x, y};
    view.ClientToScreen(&at);
    for (int i = 0; i < items->GetMenuItemCount(); ++i)
        items->EnableMenuItem(i, MF_BYPOSITION | MF_GRAYED);
    for (const auto& item : kMenuItems)
        if ((mask & item.bit) != 0)
            items->EnableMenuItem(item.id, MF_BYCOMMAND | MF_ENABLED);
    items->TrackPopupMenu(TPM_RIGHTBUTTON | TPM_CENTERALIGN, at.x, at.y, VezadApp().MainWnd());
}

// The grid point and poly-line that a right click at p would split or join
// at: v is the nearest grid point within the pick radius (null when none
// qualifies). A grid point of the current poly-line while it holds a pending
// vertex, and a poly-line reported without a point, leave nothing.
CVertex<float, 3>* splitOrJoinCandidate(GB::CSurfaceNet& net, const Point& p)
{
    COffset_PointList* list = nullptr;
    CVertex<float, 3>* v = net.findNearestVertex(p, net.getPickRadius(), &list, false, nullptr);
    if (list != nullptr && (v == nullptr || (list == net.currentPointList && list->hasPending())))
        return nullptr;
    return v;
}

} // namespace

CMWMouseCallback::~CMWMouseCallback()
{
    if (net != nullptr) {
        delete net->lastMouseHit;
        net->lastMouseHit = nullptr;
    }
}

int CMWMouseCallback::PassThrough()
{
    IsEnabled();
    return 0;
}

bool CMWMouseCallback::castRay(CVezadView& view, int x, int y, Point& p, CVector<float, 3>& dir)
{
    if (!view.ActiveViewport().VP().GetFrustumLine(x, y, line))
        return false;
    p = Point(float(line.to.x), float(line.to.y), float(line.to.z));
    const ON_3dVector d = line.Direction();
    dir = CVector<float, 3>(Point(float(d.x), float(d.y), float(d.z)));
    dir.normalize();
    // The line runs through the whole frustum; the hit nearest its near end
    // is the surface the user sees.
    Gridbench::CGridPoint hit;
    if (!net->pickPoint(p, dir, hit, true, true, true))
        return false;
    p.set(hit.data);
    storeGridHit(net, hit);
    return true;
}

int CMWMouseCallback::mouseDown(CVezadView& view, int button, UINT, int x, int y)
{
    moveCount = 0;
    dragging = false;
    VezadApp().SetCursorToolTip(L"");
    const bool toHost = !IsEnabled() || Platform::isKeyDown("Shift") || Platform::isKeyDown("Ctrl");
    if (button == 1) {
        leftPress = toHost ? LeftPress::host : LeftPress::edit;
        pressMarkAt = pressMark = -1;
    }
    if (toHost)
        return 0;
    delete net->lastMouseHit;
    net->lastMouseHit = nullptr;
    Point p;
    CVector<float, 3> dir;
    castRay(view, x, y, p, dir);

    switch (button) {
    case 1: {
        pressMark = addUndoRecord(L"MW LButtonDown");
        pressMarkAt = pressMark >= 0 ? net->undoMarks.count - 1 : -1;
        if (Platform::isKeyDown("Y")) {
            leftPress = LeftPress::viewTarget;
            Point target;
            if (castRay(view, x, y, target, dir))
                view.ActiveViewport().SetTarget(ON_3dPoint(target[0], target[1], target[2]), true);
            return 1;
        }
        if (net->getSelectedSegmentList() != nullptr) {
            leftPress = LeftPress::menu;
            openContextMenu(view, x, y, 0x17);
            return 1;
        }
        // A grid point selected away from where drawing goes on (the current
        // poly-line or the activated start point) asks what to do with it.
        // The points of the current poly-line never ask: every click selects
        // the point it adds, so the next one would ask instead of drawing.
        const COffset_PointList* current = net->currentPointList;
        const CVertex<float, 3>* selected = net->selectedPoint;
        const bool active = selected == net->pendingStartPoint ||
                            (current != nullptr && current->contains(selected));
        if (selected != nullptr && !active &&
            ((current != nullptr && current->hasPending() && net->lastMouseHit != nullptr) ||
             net->lastSnappedPoint != nullptr)) {
            leftPress = LeftPress::menu;
            openContextMenu(view, x, y, 3);
            return 1;
        }
        editAtLeftButton(p, dir);
        return 1;
    }
    case 2:
        addUndoRecord(L"MW RButtonDown");
        return rightButtonDown(p, dir);
    case 3:
        if (Platform::isKeyDown("Alt")) {
            net->pickPointListAt(p, dir);
            redrawAllViews();
        }
        return 1;
    default:
        return 1;
    }
}

void CMWMouseCallback::editAtLeftButton(const Point& p, const CVector<float, 3>& dir)
{
    CDlgEditInfo& info = MeshwrightPlugIn().infoDialog;
    info.pumpMessages = false;
    COffset_PointList* current = net->currentPointList;
    // The pending vertex followed the cursor along the sheet of the last
    // hit; where the click picks the surface the user sees elsewhere (the
    // sheet followed lies behind another one there), the vertex follows the
    // click's hit first, so that the click commits the point it picks.
    if (current != nullptr && current->hasPending() && net->lastMouseHit != nullptr &&
        pointDistance(*current->pendingVertex, *net->lastMouseHit) > net->getPickRadius()) {
        current->RollBack();
        followCursor(dir);
    }
    if (current != nullptr && current->hasPending()) {
        net->highlightPoint(current->pendingVertex);
        current->commitPending();
        // A marked poly-line goes on as a new one from its middle.
        if (current->markFlag)
            if (Gridbench::CGridPoint* middle = gridPointAt(*current, current->getCount() / 2))
                net->splitAtPoint(middle);
        // The committed vertex may close a region: the net catches up
        // before the click goes on, with no mouse event let in meanwhile.
        Enable(false);
        net->replacePendingPoint();
        net->putJunctionsAtNewCrossings();
        net->buildTopology(false);
        net->computeSurfaces(net->draftOnly, true, nullptr);
        Enable(true);
    }
    net->replacePendingPoint();
    const CGridMouseEvent event{p, dir, CVertex<double, 3>(p[0], p[1], p[2])};
    net->onMouseDown(event, 0);
    // The faces follow every edit of the click, not only those that joined
    // poly-lines: a point added to a side shifts the entries its face's
    // loop runs over.
    Enable(false);
    net->updateAfterEdit();
    Enable(true);
    dragging = true;
    info.pumpMessages = true;
    info.step(1);
    info.disableControls();
    redrawAllViews();
}

int CMWMouseCallback::rightButtonDown(const Point& p, const CVector<float, 3>& dir)
{
    if (COffset_PointList* current = net->currentPointList; current && current->hasPending()) {
        current->RollBack();
        net->redisplayCurrent(true);
    }
    net->lastSnappedPoint = nullptr;
    bool handled = false;
    if (CVertex<float, 3>* v = splitOrJoinCandidate(*net, p)) {
        net->highlightPoint(v);
        COffset_PointList* l = nullptr;
        int count = 0;
        if (net->findListsAtVertex(v, &l, count)) {
            net->setCurrentPointList(l);
            handled = net->splitAtPoint(v);
        } else if (count > 1) {
            handled = net->joinAtPoint(v);
        }
    }
    if (Platform::isKeyDown("Alt")) {
        const CGridMouseEvent event{p, dir, CVertex<double, 3>(p[0], p[1], p[2])};
        net->onRButtonDown(event, 0);
        handled = true;
    }
    // A split or join replaces poly-lines: the faces are found on the net
    // it leaves, with no mouse event let in meanwhile.
    Enable(false);
    net->updateAfterEdit();
    Enable(true);
    if (handled)
        redrawAllViews();
    return handled ? 1 : 0;
}

int CMWMouseCallback::mouseMove(CVezadView& view, UINT, int x, int y)
{
    if (!IsEnabled())
        return 0;
    Point p;
    CVector<float, 3> dir;
    const bool hit = castRay(view, x, y, p, dir);
    if (hit) {
        double scale = 0.0;
        if (!view.ActiveViewport().VP().GetWorldToScreenScale(ON_3dPoint(p[0], p[1], p[2]), &scale))
            scale = 0.0;
        net->pickRadius = kPickPixels / std::max(scale, 1e-16);
    } else {
        delete net->lastMouseHit;
        net->lastMouseHit = nullptr;
    }
    COffset_PointList* current = net->currentPointList;
    if (current != nullptr)
        net->lastSnappedPoint = nullptr;

    CDlgEditInfo& info = MeshwrightPlugIn().infoDialog;
    if (!hit) {
        info.showCurrentPoint(nullptr);
        if (current != nullptr) {
            current->RollBack();
            net->redisplayCurrent(true);
            redrawAllViews();
        }
    } else {
        info.showCurrentPoint(&p);
    }
    info.showCurveInfo(current);

    net->clearSelectedPointOnSegment();
    COffset_PointList* hoveredList = nullptr;
    CVertex<float, 3>* hoveredPoint = nullptr;
    if (net->hoverPick(p, dir, hoveredList, hoveredPoint))
        redrawAllViews();

    VezadApp().SetCursorToolTip(L"");
    if (!dragging && hit)
        if (CVertex<float, 3>* v = splitOrJoinCandidate(*net, p)) {
            COffset_PointList* l = nullptr;
            int count = 0;
            if (net->findListsAtVertex(v, &l, count))
                VezadApp().SetCursorToolTip(L"RButton:Split");
            else if (count > 1)
                VezadApp().SetCursorToolTip(L"RButton:Join");
        }

    if (dragging) {
        if (hit)
            net->moveVertex(net->selectedPoint);
        redrawAllViews();
        return 1;
    }
    if (current != nullptr && net->lastMouseHit != nullptr)
        followCursor(dir);
    else if (current == nullptr)
        redrawAllViews();
    return 0;
}

void CMWMouseCallback::followCursor(const CVector<float, 3>& dir)
{
    COffset_PointList* current = net->currentPointList;
    const Gridbench::CGridPoint& lastHit = *net->lastMouseHit;
    CVertex<float, 3>* near = nullptr;
    double distance = 0.0;
    if (current->findNearestVertex(lastHit, net->getPickRadius(), near, distance, true)) {
        // Over a vertex of its own the poly-line takes no pending vertex.
        const bool atEnd = current->isPendingAtEnd();
        if (current->RollBack() && !atEnd &&
            (net->getSelectedSegmentList() != nullptr || net->selectedPoint != nullptr))
            net->redisplayCurrent(true);
        net->redisplayCurrent(true);
        redrawAllViews();
        return;
    }
    auto* pending = new Gridbench::CGridPoint(lastHit);
    double limitStart = 0.0, limitEnd = 0.0;
    // The point follows the cursor as the poly-line's own insertion places
    // it, the turn at an end judged as the user sees it.
    const CVector<float, 3>* noDirection = nullptr;
    if (!current->insertPoints(pending, -1.0, noDirection, false, &limitStart, &limitEnd, &dir)) {
        delete pending;
        chooseSnapTarget(limitStart, limitEnd);
    }
    net->redisplayCurrent(true);
    redrawAllViews();
}

void CMWMouseCallback::chooseSnapTarget(double limitStart, double limitEnd)
{
    const COffset_PointList* current = net->currentPointList;
    const Gridbench::CGridPoint& lastHit = *net->lastMouseHit;
    // First the end the poly-line grows at, where a sharp turn refused the
    // point; an end farther than its reach leaves the active grid point
    // nothing to be nearer than.
    double best = FLT_MAX;
    const int growth = current->insertionCase;
    if (growth == 0 || growth == 2) {
        const bool atStart = growth == 0;
        Gridbench::CGridPoint* end = gridPointAt(*current, atStart ? 0 : current->getCount() - 1);
        net->lastSnappedPoint = end;
        if (end != nullptr) {
            best = distanceTo(end, lastHit);
            if ((atStart ? limitStart : limitEnd) < best)
                best = FLT_MAX;
        }
    }
    Gridbench::CGridPoint* active = net->pendingStartPoint;
    if (active == nullptr)
        return;
    if (current->markFlag)
        net->lastSnappedPoint = active;
    const double d = distanceTo(active, lastHit);
    if (d < best)
        net->lastSnappedPoint = active;
    if (std::max(limitStart, limitEnd) < d)
        net->lastSnappedPoint = nullptr;
}

int CMWMouseCallback::mouseUp(CVezadView&, int button, UINT, int, int)
{
    moveCount = 0;
    if (button == 1)
        dragging = false;
    // A press that made no edit (the host's Shift or Ctrl click selects
    // objects; "Y" only sets the view's target) leaves its release nothing
    // to finish: the grid's selection stays as it is and nothing is
    // recorded.
    const LeftPress press = button == 1 ? leftPress : LeftPress::edit;
    if (button == 1)
        leftPress = LeftPress::edit;
    if (!IsEnabled() || net->busy || press == LeftPress::host)
        return 0;
    VezadApp().SetCursorToolTip(L"");
    if (button != 1)
        return 0;
    if (press == LeftPress::viewTarget)
        return 1;
    Enable(false);
    // Press, moves and release are one gesture to the user, and one undo
    // takes it back: undone alone, the release's snap would leave a dragged
    // point on the one it was dropped onto, two grid points at one place.
    // The press's mark must still stand (an undo between the two takes it).
    const bool pressStands = pressMarkAt >= 0 && pressMarkAt < net->undoMarks.count &&
                             net->undoMarks[pressMarkAt] == pressMark;
    addUndoRecord(L"MW LButtonUp", pressStands ? pressMark : -1);
    pressMarkAt = pressMark = -1;
    // With a point on a segment or a selected grid point the edit's insert
    // or snap is finished; where there was none to finish (a grid point
    // dragged onto the mesh) the surfaces catch up as after any other edit.
    const bool selection =
        net->getSelectedSegmentList() != nullptr || net->selectedPoint != nullptr;
    // After a press that opened the context menu, the pick on a poly-line
    // the menu was about is used: the item chosen made its edit, a menu
    // dismissed none. The release commits what the menu left pending and
    // no more (it snapped the selected point onto the one under the press,
    // taking that one out of its poly-line).
    if (press == LeftPress::menu)
        net->clearSelectedPointOnSegment();
    const bool finished = selection && net->onMouseUp(true);
    // A dragged point may have changed which regions are faces; otherwise
    // only the surfaces of the modified faces are computed again.
    if (!net->updateAfterEdit() && !finished)
        net->computeSurfaces(net->draftOnly, true, nullptr);
    MeshwrightPlugIn().infoDialog.disableControls();
    Enable(true);
    redrawAllViews();
    return 1;
}
