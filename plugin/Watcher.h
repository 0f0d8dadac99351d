// CMWWatcher keeps the plug-in in step with the host document: closing or
// renewing the document forgets the plug-in's lists (renewing also ends
// grid editing, empties the net and shows the toolbar), and the deletion
// and undeletion of the plug-in's own mesh objects, recognised by their ids
// in the watcher's collection, keep the list of loaded meshes, their
// display and the mesh under the net right. The collection forgets the ids
// when the document closes: its objects are gone, and a file opened later
// may give one of those ids to another object.
// CMWUndo is the custom step of every grid-editing undo record: undoing the
// record rolls the grid back to the mark taken with it, faces and surfaces
// included. CMWImportUndo is the custom step of a grid import's record: its
// undo gives back the net the import replaced.
//
// Ownership: the plug-in owns the watcher; the document owns each CMWUndo
// and CMWImportUndo, which owns the net it holds.
// Not thread-safe: the host's user-interface thread only.
#pragma once

#include "net/SurfaceNet.h"
#include "platform/host/VezadSdk.h"

#include <memory>

class CMeshwrightPlugIn;

class CMWWatcher : public CVezadEventWatcher, public CVezadUuidCollection {
public:
    CMeshwrightPlugIn* plugIn;

    // Registers and enables the watcher and switches the host's cursor
    // tool-tips on (the grid editing shows its hints there).
    explicit CMWWatcher(CMeshwrightPlugIn* plugIn);

    // Empties meshObjects, objectRefs and committedSides and clears the
    // net's snap target.
    void clearLists();
    // As clearLists, with grid editing switched off in between, and the
    // net emptied (its undo items and marks with it) and off every mesh;
    // then the toolbar is shown.
    void resetSession();
    // Whether the object's id is in the collection (one of the plug-in's
    // mesh objects).
    bool isOurs(CVezadDoc& doc, CVezadObject& object) const;
    // One of ours: every mesh entity hidden and the object taken out of
    // meshObjects ("Remove MeshObject failed!" when it was not there). A
    // net on its mesh follows the first mesh object left (see
    // CMeshwrightPlugIn::netFollowsMesh); with none it stays.
    void onDeleteObject(CVezadDoc& doc, CVezadObject& object);
    // One of ours: appended to meshObjects again; a net that lies on no
    // mesh of a live listed object follows its mesh.
    void onUndeleteObject(CVezadDoc& doc, CVezadObject& object);

    void OnCloseDocument(CVezadDoc& doc) override;
    void OnNewDocument(CVezadDoc& doc) override;
    void OnDeleteObject(CVezadDoc& doc, CVezadObject& object) override;
    void OnUndeleteObject(CVezadDoc& doc, CVezadObject& object) override;
};

class CMWUndo : public CVezadUndoEventHandler {
public:
    // The step of an edit's record (editing: its undo switches grid editing
    // on) or of a load's, which leaves editing as it is.
    explicit CMWUndo(bool editing = true) : editing(editing) {}
    // Switches grid editing on when it is off (for an edit), rolls the grid
    // back to its last mark, brings the net's regions and surfaces after
    // the grid when it changed since the last topology step (unless a
    // surface update runs) with the faces' states the undo gives back, and
    // redraws the active view.
    void Undo() override;

private:
    bool editing;
};

// The custom step of a grid import's undo record: it holds the net the
// import replaced, with that net's undo items and marks, so that undoing
// the import gives that net back and the undo records of its edits undo
// them again. The records of the imported net's own edits are undone
// before it (the history is undone newest first).
class CMWImportUndo : public CVezadUndoEventHandler {
public:
    explicit CMWImportUndo(std::unique_ptr<GB::CSurfaceNet> replaced);
    ~CMWImportUndo() override;
    CMWImportUndo(const CMWImportUndo&) = delete;
    CMWImportUndo& operator=(const CMWImportUndo&) = delete;
    // Puts the replaced net back in place of the imported one and redraws
    // the active view; when the mesh the replaced net lay on went or is no
    // longer the net's, nothing is put back ("the net replaced by the
    // import lay on a mesh that is no longer the net's: it is not brought
    // back").
    void Undo() override;
    // The mesh goes: every replaced net held on it is deleted, as it can no
    // longer come back.
    static void forgetMesh(const Mesh::CBaseMesh* mesh);

private:
    std::unique_ptr<GB::CSurfaceNet> replaced;
};
