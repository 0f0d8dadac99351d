// The switch between viewing and editing the grid, the plug-in's menu
// handler, the Delete-key hook and the grid's host undo records.
#include "mesh/BaseMesh.h"
#include "mesh/GridPoint.h"
#include "plugin/Callbacks.h"
#include "plugin/MeshObject.h"
#include "plugin/MeshwrightPlugIn.h"

namespace {

// The Delete-key hook; one plug-in object exists, so one handle does.
HHOOK g_deleteKeyHook = nullptr;

constexpr UINT firstMenuId = 33001;
constexpr UINT lastMenuId = 33024;

void runScript(const wchar_t* script)
{
    VezadApp().RunScript(script, 1);
}

void menuMessage(const wchar_t* text)
{
    VezadMessageBox(text, L"mw");
}

// Whether objects of the active document are selected: the Delete key is
// then the host's, for them, and not the net's.
bool hostHasSelection()
{
    CVezadDoc* doc = VezadApp().ActiveDoc();
    if (doc == nullptr)
        return false;
    CVezadObjectIterator it(*doc);
    for (CVezadObject* object = it.First(); object != nullptr; object = it.Next())
        if (object->IsSelected())
            return true;
    return false;
}

} // namespace

HHOOK deleteKeyHookHandle()
{
    return g_deleteKeyHook;
}

// ---- The grid-editing switch ----------------------------------------------------------------

void CMeshwrightPlugIn::setEditGridMode(bool on)
{
    editGrid = on;
    if (on && (meshObjects.count == 0 || net.mesh == nullptr || net.mesh->getFacetCount() <= 0)) {
        VezadMessageBox(L"no mesh to work on", L"Fenwo::MWEditGrid");
        editGrid = false;
        return;
    }
    if (on) {
        // Switching on twice must not leave a second hook behind.
        if (g_deleteKeyHook == nullptr)
            g_deleteKeyHook =
                SetWindowsHookExW(WH_GETMESSAGE, deleteKeyHookProc, nullptr, GetCurrentThreadId());
        if (net.currentPointList == nullptr && net.getNumPointLists() > 0)
            net.setCurrentPointList(net.getPointList(net.getNumPointLists() - 1));
    } else if (g_deleteKeyHook != nullptr) {
        UnhookWindowsHookEx(g_deleteKeyHook);
        g_deleteKeyHook = nullptr;
    }
    mouseCallback.Enable(on);
    if (meshObjects.count > 0) {
        CMWMeshObject* first = meshObjects[0];
        if (on && first->IsHidden()) {
            ON_3dmObjectAttributes attributes = first->Attributes();
            attributes.SetVisible(true);
            first->ModifyAttributes(attributes);
        }
        first->EnableCustomGrips(on ? new CVezadObjectGrips(1000) : nullptr);
    }
    applyEditDisplay(true);
    infoDialog.ShowWindow(on ? SW_SHOW : SW_HIDE);
}

bool CMeshwrightPlugIn::applyEditDisplay(bool redraw)
{
    const bool hidden = meshObjects.count > 0 && meshObjects[0]->IsHidden();
    if (hidden)
        hideMeshEntities();
    else if (!editGrid)
        showMeshEntities();
    const bool show = !hidden && editGrid;
    net.showSurfaces(show);
    net.setWireframe(show);
    net.setShowPointLists(show);
    net.showGridEntities(show);
    if (!show) {
        net.highlightPoint(nullptr);
        net.clearSelectedPointOnSegment();
    }
    mouseCallback.Enable(show);
    CVezadView* view = VezadApp().ActiveView();
    if (view == nullptr || view->GetDocument() == nullptr)
        return false;
    if (redraw)
        redrawAllViews();
    return true;
}

// ---- The menu handler ---------------------------------------------------------------------------

BOOL CMeshwrightPlugIn::OnPlugInMenuCommand(WPARAM wParam)
{
    mouseCallback.Enable(false);
    const bool handled = runMenuAction(LOWORD(wParam));
    // An insert, snap, split or join leaves the faces to the net as it
    // stands.
    net.updateAfterEdit();
    // Mouse editing must survive every menu choice, also one without action.
    mouseCallback.Enable(editGrid);
    return handled ? TRUE : FALSE;
}

bool CMeshwrightPlugIn::runMenuAction(UINT id)
{
    if (id < firstMenuId || id > lastMenuId)
        return false;
    switch (id) {
    case 33001:
        runScript(L"_MWLoadMesh");
        break;
    case 33002:
        runScript(L"_MWUnloadMesh");
        break;
    case 33004:
        runScript(L"_MWOptions");
        break;
    case 33005:
        runScript(L"_MWPatch");
        runScript(L"_MWHeal");
        break;
    case 33006:
        runScript(L"_MWEditGrid");
        break;
    case 33007:
        runScript(L"_MWHeal");
        break;
    case 33008:
        runScript(L"_MWCommit");
        break;
    case 33009:
        runScript(L"_MWCommitCurves");
        break;
    case 33010:
        runScript(L"_MWImportGridV1");
        break;
    case 33011:
        runScript(L"_MWMatchSrf");
        break;
    case 33012:
        runScript(L"_MWUsageInfo");
        break;
    case 33013:
        runScript(L"_MWHideMesh");
        break;
    case 33016:
        menuMessage(L"pop1");
        break;
    case 33017:
        menuMessage(L"C");
        break;
    case 33018:
        menuMessage(L"snapv");
        break;
    case 33019:
        net.onMouseUp(true);
        redrawAllViews();
        break;
    case 33020:
        net.splitAtPoint(nullptr);
        break;
    case 33021:
        net.joinAtPoint(nullptr);
        break;
    case 33023:
        activateSelection();
        break;
    case 33024:
        addUndoRecord(L"MW insert vertex into list");
        net.snapPoint();
        break;
    default:
        return false;
    }
    return true;
}

void CMeshwrightPlugIn::activateSelection()
{
    for (COffset_PointList* pl : net.pointLists)
        if (pl != nullptr && pl->hasPending())
            pl->RollBack();
    bool activated = false;
    if (CVertex<float, 3>* point = net.selectedPoint) {
        net.setCurrentPointList(nullptr);
        net.highlightPoint(point);
        net.pendingStartPoint = dynamic_cast<Gridbench::CGridPoint*>(point);
        activated = true;
    }
    if (COffset_PointList* segment = net.getSelectedSegmentList()) {
        CVertex<float, 3>* vertex = segment->getVertexNearestParameter();
        net.setCurrentPointList(segment);
        net.highlightPoint(vertex);
        activated = true;
    }
    if (activated)
        redrawAllViews();
}

// ---- The Delete key and undo records ----------------------------------------------------------

LRESULT CALLBACK deleteKeyHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    const MSG* message = reinterpret_cast<const MSG*>(lParam);
    if (code >= 0 && wParam == PM_REMOVE && message != nullptr && message->message >= WM_KEYFIRST &&
        message->message <= 264) {
        CMeshwrightPlugIn& plugIn = MeshwrightPlugIn();
        const CWnd* mainWindow = AfxGetMainWnd();
        if (mainWindow != nullptr && GetActiveWindow() == mainWindow->m_hWnd &&
            message->message == WM_KEYDOWN && message->wParam == VK_DELETE &&
            plugIn.mouseCallback.IsEnabled() && !hostHasSelection()) {
            addUndoRecord(L"MW delete");
            plugIn.mouseCallback.Enable(false);
            plugIn.net.deleteSelection();
            plugIn.net.updateAfterEdit();
            redrawAllViews();
            plugIn.mouseCallback.Enable(true);
        }
    }
    return CallNextHookEx(g_deleteKeyHook, code, wParam, lParam);
}

int addUndoRecord(const wchar_t* name, int from)
{
    CVezadView* view = VezadApp().ActiveView();
    CVezadDoc* doc = view != nullptr ? view->GetDocument() : nullptr;
    if (doc == nullptr)
        return -1;
    const unsigned int record = doc->BeginUndoRecord(name);
    if (record == 0)
        return -1;
    doc->AddCustomUndoEvent(new CMWUndo);
    doc->EndUndoRecord(record);
    GB::CSurfaceNet& net = MeshwrightPlugIn().net;
    net.addUndoMark(from >= 0 ? from : net.undoList.count);
    return net.undoMarks[net.undoMarks.count - 1];
}
