// "MWLoadMesh": brings a mesh into the system, from host mesh objects the
// user picks or from a mesh file, as the plug-in's mesh object that the net
// lives on; a file may also replace or merge into the mesh loaded already.
// Whatever fails or is cancelled, the user's meshes stay: host meshes are
// deleted only once a mesh was made of them, and a loaded object gives way
// only to a mesh that was read.
#include "display/OpenGLContainer.h"
#include "display/OpenGLEntity.h"
#include "geometry/NurbsSurf.h"
#include "mesh/FlatMesh.h"
#include "mesh/MeshBoundaryCurves.h"
#include "plugin/Commands.h"
#include "plugin/MeshLoading.h"
#include "plugin/MeshObject.h"
#include "plugin/MeshwrightPlugIn.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

const wchar_t* const kTitle = L"MWLoadMesh";

// The boundary loops of the net's mesh become poly-lines of the net; the
// net finds its regions anew as it follows the loaded mesh (workOn).
void convertMeshBoundary(GB::CSurfaceNet& net)
{
    Kor::List<Fenwo::NurbsSurf*> curves;
    if (!meshBoundaryToCurves(net.mesh, curves, true)) {
        VezadMessageBox(L"Mesh does not contain a boundary.", L"Meshwright");
        return;
    }
    for (Fenwo::NurbsSurf* curve : curves)
        net.addPointListsFromPoints(curve);
    curves.deleteAll();
}

// The net goes onto the object's mesh, another one or one with other
// facets than it lay on: its curves, regions and surfaces follow the mesh
// as after an edit, so that the net shown is the net a save writes and an
// open reads back on that mesh. The commit after this load deletes nothing
// of earlier commits.
void workOn(CMeshwrightPlugIn& plugIn, CMWMeshObject& object, bool boundary)
{
    plugIn.objectRefs.removeAll();
    plugIn.net.setMesh(object.mesh);
    if (boundary)
        convertMeshBoundary(plugIn.net);
    plugIn.netFollowsMesh(object.mesh);
}

// A load that gives the loaded object's place to a new one is undone by
// the host, which brings the old object back and the net onto it: the
// faces' states, fitted on the old mesh, go into the load's undo record
// first, so that its undo gives them back as they were.
void recordFacesForUndo(CMeshwrightPlugIn& plugIn, CVezadDoc& doc)
{
    if (plugIn.net.firstFace == nullptr)
        return;
    doc.AddCustomUndoEvent(new CMWUndo(false));
    plugIn.net.addUndoMark();
    plugIn.net.recordFaceStates();
}

// The shaded view around the new mesh, drawn at once, and editing on.
void showLoaded(CMWMeshObject& object, const std::vector<const wchar_t*>& scripts)
{
    for (const wchar_t* script : scripts)
        VezadApp().RunScript(script, 0);
    if (CVezadView* view = VezadApp().ActiveView())
        RedrawWindow(view->m_hWnd, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    object.createGrips(true);
}

// Enters the object into the document (once), the plug-in's list and the
// watcher's collection.
void enter(CMeshwrightPlugIn& plugIn, CVezadDoc& doc, CMWMeshObject* object)
{
    if (!plugIn.meshObjects.contains(object)) {
        plugIn.meshObjects.append(object);
        plugIn.infoDialog.showMeshInfo(object->mesh);
    }
    if (doc.ownObject(object) == nullptr)
        doc.AddObject(object, false, false);
    plugIn.watcher.AddUuid(object->ModelObjectId(), true);
}

// The answer of a file road that read no mesh: the user cancelled the file
// dialog, or the file chosen gave no facet (a missing, empty, cut or
// unreadable file, or one whose every facet was left out), which is a
// failure; the loader has said which file it was.
CVezadCommand::result noMeshRead(bool cancelled)
{
    return cancelled ? CVezadCommand::cancel : CVezadCommand::failure;
}

// A mesh with facets read from a file the user chooses; null otherwise, and
// then cancelled tells whether the dialog was cancelled.
CFlatMesh* readMeshWithFacets(bool& cancelled, const std::wstring* path)
{
    CFlatMesh* mesh = loadMeshFile(path);
    cancelled = mesh == nullptr;
    if (mesh != nullptr && mesh->getFacetCount() == 0) {
        delete mesh;
        mesh = nullptr;
    }
    return mesh;
}

// The kept object's mesh merged with a file's (merge) or replaced by it. The
// net stays as it is and goes onto the new mesh. Without a mesh read the
// object stays as it was, and the answer is noMeshRead's.
CVezadCommand::result changeContents(CMeshwrightPlugIn& plugIn, CMWMeshObject& kept, bool merge,
                                     const std::wstring* path)
{
    bool cancelled = false;
    CFlatMesh* loaded = readMeshWithFacets(cancelled, path);
    if (loaded == nullptr)
        return noMeshRead(cancelled);
    Mesh::CBaseMesh* old = kept.mesh;
    if (merge) {
        old->copyMesh(*loaded);
        delete loaded;
    } else {
        COpenGLContainer& container = plugIn.net.displayContainer;
        const std::intptr_t key = displayKeyOf(*old);
        while (COpenGLEntity* entity = container.findEntity(key))
            container.removeEntity(entity);
        if (plugIn.net.mesh == old)
            plugIn.net.setMesh(loaded);
        attachMesh(&kept, loaded);
        // A net an import replaced on the old mesh cannot come back.
        CMWImportUndo::forgetMesh(old);
        delete old;
        kept.showGLEntity();
    }
    kept.mesh->buildFacetHash(350.0, -1.0, nullptr);
    if (COpenGLEntity* entity = kept.glEntity())
        entity->setDirty();
    // The read-out follows the mesh that changed under the kept object.
    plugIn.infoDialog.showMeshInfo(kept.mesh);
    return CVezadCommand::success;
}

} // namespace

CVezadCommand::result loadFromFile(CMeshwrightPlugIn& plugIn, CVezadDoc& doc, bool boundary,
                                   const std::wstring* path)
{
    CMWMeshObject* object = nullptr;
    if (plugIn.meshObjects.count > 0) {
        CMWMeshObject* kept = plugIn.meshObjects[0];
        if (kept->IsDeleted())
            doc.UndeleteObject(kept);
        const int replace = VezadMessageBox(
            L"There is already a MW Mesh Object. Replace contents ?", kTitle, MB_YESNOCANCEL);
        if (replace == IDCANCEL)
            return CVezadCommand::cancel;
        if (replace == IDNO) {
            const int merge =
                VezadMessageBox(L"Merge new mesh into existing ?", kTitle, MB_YESNOCANCEL);
            if (merge == IDCANCEL)
                return CVezadCommand::cancel;
            const CVezadCommand::result changed =
                changeContents(plugIn, *kept, merge == IDYES, path);
            if (changed != CVezadCommand::success)
                return changed;
            object = kept;
        } else {
            // The old object goes once the new one was read, deleted as
            // an undo can bring it back (and the net onto it): the watcher
            // takes it out of the plug-in's list.
            bool cancelled = false;
            object = loadMeshObject(&cancelled, path);
            if (object == nullptr)
                return noMeshRead(cancelled);
            recordFacesForUndo(plugIn, doc);
            doc.DeleteObject(CVezadObjRef(kept), true, false);
        }
    } else {
        bool cancelled = false;
        object = loadMeshObject(&cancelled, path);
        if (object == nullptr)
            return noMeshRead(cancelled);
    }
    workOn(plugIn, *object, boundary);
    enter(plugIn, doc, object);
    showLoaded(*object, {L"_ShadedViewport", L"_Zoom _A _E", L"_MaxViewPort"});
    return CVezadCommand::success;
}

namespace {

CVezadCommand::result loadPicked(CMeshwrightPlugIn& plugIn, CVezadDoc& doc,
                                 const CVezadGetObject& getter, bool deleteHostMeshes,
                                 bool boundary)
{
    ON_SimpleArray<const ON_Mesh*> meshes;
    std::vector<CVezadObjRef> sources;
    for (int i = 0; i < getter.ObjectCount(); ++i)
        if (const ON_Mesh* mesh = getter.Object(i).Mesh()) {
            meshes.Append(mesh);
            sources.push_back(getter.Object(i));
        }
    CFlatMesh* mesh = meshFromVezadMesh(&plugIn.progressDialog, meshes);
    plugIn.progressDialog.ShowWindow(SW_HIDE);
    if (mesh == nullptr || mesh->getFacetCount() == 0) {
        delete mesh;
        return CVezadCommand::success;
    }
    if (deleteHostMeshes)
        for (const CVezadObjRef& source : sources)
            doc.DeleteObject(source, true, false);

    if (plugIn.meshObjects.count == 1)
        recordFacesForUndo(plugIn, doc);
    auto* object = new CMWMeshObject;
    attachMesh(object, mesh);
    workOn(plugIn, *object, boundary);
    plugIn.infoDialog.showMeshInfo(mesh);
    // The one loaded object gives its place to the new one: the replacement
    // takes over its id, and the watcher has taken the old one out of the
    // list.
    bool replaced = false;
    if (plugIn.meshObjects.count == 1 &&
        doc.ReplaceObject(CVezadObjRef(plugIn.meshObjects[0]), object, false)) {
        replaced = true;
        if (!plugIn.meshObjects.contains(object))
            plugIn.meshObjects.insertAfter(object, -1);
        plugIn.watcher.AddUuid(object->ModelObjectId(), true);
    }
    if (!replaced)
        enter(plugIn, doc, object);
    showLoaded(*object, {L"_ShadedViewport"});
    return CVezadCommand::success;
}

} // namespace

CVezadCommand::result CCommandMWLoadMesh::run()
{
    CVezadDoc* doc = VezadApp().ActiveDoc();
    if (doc == nullptr)
        return failure;
    bool deleteHostMeshes = true;
    bool fromFile = false;
    bool boundary = false;
    CVezadGetObject getter;
    getter.SetCommandPrompt(L"Select Mesh Objects for Import");
    getter.EnablePressEnterWhenDonePrompt();
    getter.SetGeometryFilter(ON::mesh_object);
    getter.EnablePreSelect(false);
    getter.AddCommandOptionToggle(L"DeleteVezadMesh", L"No", L"Yes", &deleteHostMeshes);
    getter.AddCommandOptionToggle(L"File", L"No", L"Yes", &fromFile);
    getter.AddCommandOptionToggle(L"ConvertMeshBoundary", L"No", L"Yes", &boundary);
    CVezadGet::result answer;
    while ((answer = getter.GetObjects(0, 0)) == CVezadGet::option && !fromFile) {
    }
    CMeshwrightPlugIn& plugIn = MeshwrightPlugIn();
    if (fromFile)
        return loadFromFile(plugIn, *doc, boundary);
    // A cancelled pick yields no objects.
    if (answer == CVezadGet::cancel)
        getter.ClearObjects();
    return loadPicked(plugIn, *doc, getter, deleteHostMeshes, boundary);
}
