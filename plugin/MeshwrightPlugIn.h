// The system as a plug-in of the host: CMeshwrightApp, the library's
// application object, and CMeshwrightPlugIn, the one plug-in object, reached
// everywhere through MeshwrightPlugIn(). The plug-in object owns the state
// of the system inside the host: the surface net with its display container,
// the event watcher, the two modeless dialogs, the menus, the mouse and draw
// callbacks, the views' OpenGL contexts and the loaded mesh objects.
//
// Start-up: the library's globals come to life in one file, in this order:
// the eleven commands, the application object, the plug-in object, the
// plug-in file's exports (plugin/StartUp.cpp). The host then calls
// OnLoadPlugIn (menus, dialogs, draw callback) and, at shutdown after the
// document is closed, OnUnloadPlugIn.
//
// Ownership: the plug-in lives as long as the library; the host document
// owns the mesh objects the plug-in lists. Not thread-safe: everything runs
// on the host's user-interface thread.
#pragma once

#include "foundation/KorList.h"
#include "foundation/Tuple.h"
#include "net/FaceMeshDistance.h"
#include "net/SurfaceNet.h"
#include "platform/host/EdgeGaps.h"
#include "platform/host/VezadSdk.h"
#include "plugin/Callbacks.h"
#include "plugin/ProgressDialogs.h"
#include "plugin/Watcher.h"

#include <memory>
#include <utility>
#include <vector>

class CMWMeshObject;

class CMeshwrightApp : public CWinApp {
public:
    BOOL InitInstance() override;
};

class CMeshwrightPlugIn : public CVezadFileImportPlugIn {
public:
    CMWWatcher watcher;
    CDlgEditInfo infoDialog;                 // its sink is the net's progress sink
    CMWDlgProgress progressDialog;           // the sink of long commands
    CMenu contextMenu;                       // menu 6023, the grid editor's context menu
    CMWDrawCallBack* drawCallback = nullptr; // owned; null while none is registered
    GB::CSurfaceNet net;
    CMenu mainMenu; // menu 6017, "Fenwo Tools"
    ON_wString versionText;
    Kor::List<c_pair<CVezadView*, HGLRC>> viewContexts; // one context per view
    Kor::List<CMWMeshObject*> meshObjects;              // in load order; the document owns them
    CMWMouseCallback mouseCallback;                     // bound to the net; enabled while editing
    bool editGrid = false;                              // grid editing is on
    Kor::List<CVezadObjRef> objectRefs;                 // written with the document
    // How far each Brep of the last commit lies from the mesh, with the
    // number of its net face (net/FaceMeshDistance.h); not written.
    std::vector<std::pair<int, FaceMeshDistance>> committedDistances;
    // The Breps the commits of this document made, and the pieces of the
    // net their faces share, by the Breps' ids: what the host's gap check
    // asks (VezadHost::setSharedSidesQuery); not written, but restored
    // from objectRefs and the net when the document is opened
    // (restoreCommittedSides).
    VezadHost::BrepSides committedSides;

    // A document record read whole by CheckDocument, with its mesh objects
    // (not yet in a document) and its net, until ReadDocument takes it; the
    // chunk's length and fingerprint tell that the read is of that record.
    struct CheckedRecord;
    struct CheckedRecordDeleter {
        void operator()(CheckedRecord* record) const;
    };
    // Declared last, so that it goes first, while the net and the lists its
    // mesh objects leave are still there.
    std::unique_ptr<CheckedRecord, CheckedRecordDeleter> checkedRecord;

    CMeshwrightPlugIn();
    ~CMeshwrightPlugIn() override;

    ON_UUID PlugInID() const override;
    const wchar_t* PlugInName() const override;
    const wchar_t* PlugInVersion() const override;
    // Clears the threaded matrix products, opens the logs when FENWO_LOGGING
    // is set, registers a draw callback with the active view (none without
    // one), inserts "Fenwo Tools" into the host's menu bar ("Menu Load
    // failed" when that fails; loading goes on), creates the two dialogs and
    // hands the information dialog's sink to the net; answers the host's
    // gap check from committedSides.
    BOOL OnLoadPlugIn() override;
    // Switches grid editing off (the Delete-key hook goes with it), removes
    // and deletes the draw callback, takes the menu out of the host's bar
    // and stops answering the gap check.
    void OnUnloadPlugIn() override;
    BOOL ShowInPluginList() const override { return TRUE; }
    BOOL CanUnload() const override { return TRUE; }
    // Opens "Meshwright/Tutorial/Tutorial_Eng.pdf" beside the plug-in file.
    void OnDisplayPlugInHelp(HWND window) const override;
    // The menu handler: runs the action of a menu id of 33001 .. 33024 and
    // brings the net's faces after an edit it made; FALSE for other ids and
    // ids without action. The mouse callback is disabled while the action
    // runs and enabled again exactly when grid editing is on, whatever the
    // result.
    BOOL OnPlugInMenuCommand(WPARAM wParam) override;
    // "Knotwork Files (*.out)", "STL Mesh Files (*.stl)", "POL Mesh Files
    // (*.pol)", in this order.
    void AddFileType(ON_ClassArray<CVezadFileType>& fileTypes,
                     const CVezadFileReadOptions& options) override;
    // Imports a ".out" file (the name's last four characters, any case):
    // its surfaces with their names and own colours, curves and trimmed
    // faces as Breps, up to the first record of an unknown type ("Unknown
    // type in input-stream, input stopped.") or the end of the file. Each
    // trimmed face left out (not read whole, or not converted) says "failed
    // to import a trimmed face"; a last line counts the faces, and the
    // surfaces and curves, left out. FALSE when nothing of a ".out" file
    // came into the document (an empty, unreadable or foreign file). An STL
    // or POL file is loaded as "MWLoadMesh" loads a mesh file (the mesh
    // object, or the question whether to replace or merge into the one
    // loaded); FALSE when it gives no facet or the question is cancelled.
    // A file of another type adds nothing and answers FALSE with one line.
    BOOL ReadFile(const wchar_t* fileName, int fileTypeIndex, CVezadDoc& doc,
                  const CVezadFileReadOptions& options) override;

    // Document data (plugin/DocumentData.cpp). Whether there is anything to
    // write: a mesh object that is not deleted; when all are deleted, the
    // user's answer (No undeletes them and writes).
    BOOL CallWriteDocument(const CVezadFileWriteOptions& options) override;
    // The record: version 4, the last commit's references, the faces'
    // display settings, the mesh objects' POL images and the net's text. An
    // image that cannot be made ("writeMesh failed") is left out of the
    // count. TRUE.
    BOOL WriteDocument(CVezadDoc& doc, ON_BinaryArchive& archive,
                       const CVezadFileWriteOptions& options) override;
    // Empties the references and the net, then rebuilds them, the display
    // settings and the mesh objects from the record (versions 2 to 4): from
    // the record CheckDocument read when it is this chunk's, else read here.
    // A mesh that cannot be restored ("Mesh restore failed") is dropped and
    // the rest read on; reading stops at the first field that cannot be
    // read. FALSE when anything of the record was lost so (a mesh, the
    // net's buffer, a field, bytes the counts leave unread, a net text not
    // read whole, or a stored face whose loop the net read does not hold),
    // so that the host tells the open lost data; TRUE otherwise. The net of
    // a whole text is kept whole: its faces that no stored face took are
    // computed as after an edit.
    BOOL ReadDocument(CVezadDoc& doc, ON_BinaryArchive& archive,
                      const CVezadFileReadOptions& options) override;
    // Reads the whole record, its meshes and its net, into checkedRecord
    // without touching the document, the net or the lists. FALSE, with
    // problem naming the first part of the record that cannot be read (a
    // count the bytes do not match, a mesh image, the net text or bytes
    // left after the record's end) and checkedRecord empty, for a record
    // that is not whole. A whole net text whose stored loop the net read
    // does not hold is no refusal: ReadDocument rebuilds that face.
    BOOL CheckDocument(ON_BinaryArchive& archive, const CVezadFileReadOptions& options,
                       ON_wString& problem) override;
    // Lets the checked record go.
    void ForgetCheckedDocument() override;

    // Switches grid editing. On needs a mesh object and a net mesh with
    // facets, else the box "no mesh to work on" and editing stays off. On:
    // the Delete-key hook, the mouse callback, grips of type 1000 on the
    // first mesh object (made visible when hidden) and the information
    // dialog; off removes them again.
    void setEditGridMode(bool on);
    // Brings the display of the meshes and the net in line with editGrid;
    // redraws all views when asked. False without an active view with a
    // document.
    bool applyEditDisplay(bool redraw);
    // The mesh under the net changed (a load put another mesh or other
    // facets under it, a deletion or undeletion another mesh object first):
    // the net goes onto mesh and its curves, regions and surfaces follow it
    // (GB::CSurfaceNet::followMesh), with no mouse event let in meanwhile.
    void netFollowsMesh(Mesh::CBaseMesh* mesh);
    // Commits the net's surfaces to the document (plugin/Commit.cpp): the
    // surfaces recomputed (fully approximated with approx), their trimmed
    // faces healed (heal) and converted into Breps; with deleteOld the Breps
    // of the last commit go first; the new Breps go to the first layer
    // holding no objects (a new one when all do) and their references into
    // objectRefs. Breps that part along a shared edge by more than the
    // document's tolerance are named on the command line after the
    // "Converted" line, in one line "Gap between faces ..." (gapLine,
    // plugin/Commit.h). Each Brep is measured against the mesh
    // (committedDistances), and the farthest beyond the fit's slack named in
    // a line of its own before the gaps (brepOffTheMeshLine), as the cause
    // of the gaps its face leaves; the Breps and the pieces of the net their
    // faces share join committedSides. False without an active view with a document, or when the
    // run was cancelled (then nothing is added or deleted); true otherwise,
    // also when no face has a surface.
    bool convertFacesToVezad(bool heal, bool deleteOld, bool approx);
    // committedSides as the last commit left them, for a document just
    // opened with its net: each Brep of objectRefs in the document is
    // matched to the face of the net it was made of, by their surfaces
    // (matchSurfaces, plugin/SharedEdgeGaps.h), and the pieces those faces
    // share join them. Breps whose surface is no face's (the net edited
    // since the commit) are left out: the gap check pairs them by their
    // edges alone.
    void restoreCommittedSides(CVezadDoc& doc);

private:
    bool runMenuAction(UINT id);
    // Context-menu "activate": the selected grid point, or the vertex of the
    // selected point on a segment, becomes the point editing goes on from.
    void activateSelection();
};

// The plug-in object.
CMeshwrightPlugIn& MeshwrightPlugIn();

// "Meshwright V2 8.0".
ON_wString makeVersionText();
// The build's date and time as "Mmm dd yyyy  hh:mm:ss".
const char* buildDateText();
// Shows (hide false) or hides the toolbar "Meshwright" of the ".tb" file
// beside the plug-in file; the result of the show call, 0 when nothing was
// done (no plug-in file, no or an unreadable ".tb" file, no such toolbar, or
// the toolbar already in that state).
int showToolbar(bool hide);
// Removes from the menu tree every pop-up that directly holds an item of that
// id; true when a pop-up at this level was removed (then at once).
bool removeMenuItemRecursive(HMENU menu, UINT id);
// Brings viewContexts in line with the active document's views: new views
// are appended without context, entries of views that are gone removed.
void syncViewContexts();
// The hidden flag of every mesh object's display entity set, cleared or
// flipped; objects without an entity are skipped.
void hideMeshEntities();
void showMeshEntities();
void toggleMeshEntities();

// The Delete-key hook while grid editing is on (a WH_GETMESSAGE hook of the
// user-interface thread): with the host's main window active and the mouse
// callback enabled and no object of the document selected (Delete then
// deletes the host's selection), Delete records "MW delete", deletes the
// net's selection and brings the net's faces after it. Every message is
// passed on.
LRESULT CALLBACK deleteKeyHookProc(int code, WPARAM wParam, LPARAM lParam);
// The hook's handle; null while grid editing is off.
HHOOK deleteKeyHookHandle();
// Records one host undo step of the grid: a record of that name holding a
// CMWUndo, and the grid's undo mark at its current undo-list length, or at
// `from` (an earlier length: the mark of the press a release finishes, so
// that undoing the release takes the whole gesture back). Answers the
// length the mark holds; -1 when no record could be made (no document, or
// an undo running), and then no mark is taken either.
int addUndoRecord(const wchar_t* name, int from = -1);

// The plug-in file's exports.
int VezadPlugInSdkVersion();
int VezadPlugInSdkServiceRelease();
const wchar_t* VezadPlugInDeveloperOrganization();
const wchar_t* VezadPlugInDeveloperAddress();
const wchar_t* VezadPlugInDeveloperCountry();
const wchar_t* VezadPlugInDeveloperPhone();
const wchar_t* VezadPlugInDeveloperFax();
const wchar_t* VezadPlugInDeveloperEmail();
const wchar_t* VezadPlugInDeveloperWebsite();
