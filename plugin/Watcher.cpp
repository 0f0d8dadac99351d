#include "plugin/Watcher.h"

#include "mesh/GridPoint.h"
#include "plugin/MeshObject.h"
#include "plugin/MeshwrightPlugIn.h"

#include <algorithm>
#include <iostream>
#include <vector>

CMWWatcher::CMWWatcher(CMeshwrightPlugIn* plugIn) : plugIn(plugIn)
{
    Register();
    Enable(true);
    CVezadAppSettings& settings = VezadApp().AppSettings();
    CVezadCursorToolTipSettings toolTips = settings.CursorToolTipSettings();
    toolTips.m_bEnableCursorToolTips = true;
    settings.SetCursorToolTipSettings(toolTips);
}

void CMWWatcher::clearLists()
{
    plugIn->meshObjects.removeAll();
    plugIn->objectRefs.removeAll();
    plugIn->committedSides = {};
    plugIn->net.lastSnappedPoint = nullptr;
}

void CMWWatcher::resetSession()
{
    plugIn->meshObjects.removeAll();
    plugIn->objectRefs.removeAll();
    plugIn->committedSides = {};
    plugIn->setEditGridMode(false);
    plugIn->net.lastSnappedPoint = nullptr;
    // The new document starts without a net: the grid's undo items and
    // marks stood for the undo records of the document that closed, so an
    // undo in the new one reaches only what is done in it.
    plugIn->net.deleteAll(false);
    plugIn->net.setMesh(nullptr);
    // Nor does it keep the cursor's last hit and pick radius, taken on the
    // closed document's mesh at its scale: the first events in the new one
    // would pick with them.
    delete plugIn->net.lastMouseHit;
    plugIn->net.lastMouseHit = nullptr;
    plugIn->net.pickRadius = COffset_Grid::kDefaultPickRadius;
    showToolbar(false);
}

bool CMWWatcher::isOurs(CVezadDoc&, CVezadObject& object) const
{
    return FindUuid(object.ModelObjectId());
}

namespace {

// The first listed mesh object that is not deleted and holds a mesh; null
// when none is.
CMWMeshObject* firstLiveMeshObject(const CMeshwrightPlugIn& plugIn)
{
    for (CMWMeshObject* object : plugIn.meshObjects)
        if (object != nullptr && !object->IsDeleted() && object->mesh != nullptr)
            return object;
    return nullptr;
}

} // namespace

void CMWWatcher::onDeleteObject(CVezadDoc& doc, CVezadObject& object)
{
    if (!isOurs(doc, object))
        return;
    hideMeshEntities();
    Kor::List<CMWMeshObject*>& list = plugIn->meshObjects;
    bool removed = false;
    for (int i = list.count - 1; i >= 0; --i)
        if (list[i] == &object)
            removed = list.removeAt(i);
    if (!removed)
        std::cout << "Remove MeshObject failed!" << std::endl;
    // The net on the deleted mesh goes onto the mesh object left in its
    // place (the one an undone load had replaced); without one it stays on
    // the deleted mesh, for the undo of the deletion.
    const auto* meshObject = dynamic_cast<const CMWMeshObject*>(&object);
    if (meshObject != nullptr && meshObject->mesh != nullptr &&
        plugIn->net.mesh == meshObject->mesh)
        if (CMWMeshObject* live = firstLiveMeshObject(*plugIn))
            plugIn->netFollowsMesh(live->mesh);
}

void CMWWatcher::onUndeleteObject(CVezadDoc& doc, CVezadObject& object)
{
    auto* meshObject = dynamic_cast<CMWMeshObject*>(&object);
    if (meshObject == nullptr || !isOurs(doc, object))
        return;
    plugIn->meshObjects.append(meshObject);
    // A net left on a deleted mesh, or on none, goes onto the mesh that
    // comes back.
    bool netOnLiveMesh = false;
    for (const CMWMeshObject* listed : plugIn->meshObjects)
        if (listed != nullptr && !listed->IsDeleted() && plugIn->net.mesh != nullptr &&
            listed->mesh == plugIn->net.mesh)
            netOnLiveMesh = true;
    if (!netOnLiveMesh && meshObject->mesh != nullptr)
        plugIn->netFollowsMesh(meshObject->mesh);
}

void CMWWatcher::OnCloseDocument(CVezadDoc&)
{
    clearLists();
    Empty();
}

void CMWWatcher::OnNewDocument(CVezadDoc&)
{
    resetSession();
}

void CMWWatcher::OnDeleteObject(CVezadDoc& doc, CVezadObject& object)
{
    onDeleteObject(doc, object);
}

void CMWWatcher::OnUndeleteObject(CVezadDoc& doc, CVezadObject& object)
{
    onUndeleteObject(doc, object);
}

void CMWUndo::Undo()
{
    CMeshwrightPlugIn& plugIn = MeshwrightPlugIn();
    if (editing && !plugIn.editGrid)
        plugIn.setEditGridMode(true);
    GB::CSurfaceNet& net = plugIn.net;
    // What the undo changes belongs to no edit left to undo: it records no
    // face.
    ++net.faceRecordsHeld;
    net.undo();
    // A region the undo opened loses its face, as after an edit; no mouse
    // event may reach the grid meanwhile.
    const bool enabled = plugIn.mouseCallback.IsEnabled();
    plugIn.mouseCallback.Enable(false);
    net.updateAfterEdit(true);
    --net.faceRecordsHeld;
    // The faces' states the undo handed over are given back by that update
    // or not at all: a later edit's update must not take them.
    net.faceStatesToGiveBack.clear();
    plugIn.mouseCallback.Enable(enabled);
    if (CVezadView* view = VezadApp().ActiveView())
        view->Redraw();
}

namespace {

// The import steps alive in the undo history, in the order made.
std::vector<CMWImportUndo*>& importSteps()
{
    static std::vector<CMWImportUndo*> steps;
    return steps;
}

} // namespace

CMWImportUndo::CMWImportUndo(std::unique_ptr<GB::CSurfaceNet> replacedNet)
    : replaced(std::move(replacedNet))
{
    importSteps().push_back(this);
}

CMWImportUndo::~CMWImportUndo()
{
    std::vector<CMWImportUndo*>& steps = importSteps();
    steps.erase(std::remove(steps.begin(), steps.end(), this), steps.end());
}

void CMWImportUndo::forgetMesh(const Mesh::CBaseMesh* mesh)
{
    for (CMWImportUndo* step : importSteps())
        if (step->replaced != nullptr && step->replaced->mesh == mesh)
            step->replaced.reset();
}

void CMWImportUndo::Undo()
{
    CMeshwrightPlugIn& plugIn = MeshwrightPlugIn();
    GB::CSurfaceNet& net = plugIn.net;
    if (replaced == nullptr || replaced->mesh != net.mesh) {
        std::cout << "the net replaced by the import lay on a mesh that is no longer the net's: "
                     "it is not brought back"
                  << std::endl;
        return;
    }
    const bool enabled = plugIn.mouseCallback.IsEnabled();
    plugIn.mouseCallback.Enable(false);
    net.restoreContents(*replaced);
    replaced.reset();
    plugIn.mouseCallback.Enable(enabled);
    if (CVezadView* view = VezadApp().ActiveView())
        view->Redraw();
}
