// The host document: its objects in the order they were added, the layer
// table, the absolute tolerance, undo records, the running object getter,
// and an iterator over objects by state.
//
// Every change of an object (add, delete, undelete, replace, attributes,
// hide, show) raises its watcher events and, while an undo record is open,
// is recorded in it. A record is closed into the undo history unless it
// stayed empty; undo reverts the newest record's changes newest first,
// raising their events, then runs its custom undo events newest first. The
// history is never trimmed and there is no redo.
//
// Wrong input (a null object, an object of another document, a layer the
// document does not have, invalid geometry) prints a message (unless quiet)
// and fails with the document unchanged.
//
// Ownership: the document owns its objects (deleted ones included) and the
// custom undo events of its records. Not thread-safe.
#pragma once

#include "platform/host/Events.h"
#include "platform/host/Object.h"
#include "platform/win32/WindowsSubset.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

class CVezadGetObject;
class CVezadHistory;
class CVezadView;

class CVezadLayerTable {
public:
    CVezadLayerTable() { reset(); }

    int LayerCount() const { return static_cast<int>(m_names.size()); }
    int CurrentLayerIndex() const { return m_current; }
    // The name of a layer; empty for an index out of range.
    ON_wString LayerName(int index) const;
    // Appends a layer ("Layer 01", "Layer 02", ...) and answers its index.
    // Reference layers are not kept apart from the model's.
    int AddLayer(bool bReference = false);

    // Host side: back to the one layer 0, current; or a table read from a
    // file (at least one layer, current index in range).
    void reset();
    bool assign(const std::vector<ON_wString>& names, int current);

private:
    std::vector<ON_wString> m_names;
    int m_current = 0;
};

class CVezadDoc {
public:
    static constexpr double defaultAbsoluteTolerance = 0.001;

    CVezadDoc();
    CVezadDoc(const CVezadDoc&) = delete;
    CVezadDoc& operator=(const CVezadDoc&) = delete;
    ~CVezadDoc();

    // Adds an object made by the caller and takes it over (a failure leaves
    // it with the caller): false for null, an object already in a document,
    // or attributes on a layer the document lacks. An object without an id,
    // or with one another object of the document has, gets a new id that no
    // object of the document has. bQuiet suppresses the messages; reference
    // objects are not kept apart.
    bool AddObject(CVezadObject* object, bool bQuiet = false, bool bReference = false);

    // Built-in objects holding a copy of the geometry (a proxy curve or
    // surface is stored in its NURBS form). With null attributes the object
    // goes on the current layer. Null for invalid geometry or attributes.
    // History is not kept; reference objects are not kept apart.
    CVezadMeshObject* AddMeshObject(const ON_Mesh& mesh,
                                    const ON_3dmObjectAttributes* attributes = nullptr,
                                    CVezadHistory* history = nullptr, BOOL bReference = FALSE);
    CVezadCurveObject* AddCurveObject(const ON_Curve& curve,
                                      const ON_3dmObjectAttributes* attributes = nullptr,
                                      CVezadHistory* history = nullptr, BOOL bReference = FALSE);
    CVezadSurfaceObject* AddSurfaceObject(const ON_Surface& surface,
                                          const ON_3dmObjectAttributes* attributes = nullptr,
                                          CVezadHistory* history = nullptr,
                                          BOOL bReference = FALSE);
    CVezadBrepObject* AddBrepObject(const ON_Brep& brep,
                                    const ON_3dmObjectAttributes* attributes = nullptr,
                                    CVezadHistory* history = nullptr, BOOL bReference = FALSE);

    // Replaces the referenced object by newObject, which the document takes
    // over, and gives it the old object's id so references keep resolving;
    // the old object stays as a deleted object (with a new id) for undo.
    // Raises OnReplaceObject, then OnDeleteObject of the old and OnAddObject
    // of the new object. False (nothing changed, newObject left with the
    // caller) when the reference resolves to no live object or newObject is
    // null or already in a document.
    bool ReplaceObject(const CVezadObjRef& objref, CVezadObject* newObject,
                       bool bIgnoreModes = false);
    // Marks the object deleted (it stays in the document); false when it is
    // missing or deleted already.
    bool DeleteObject(const CVezadObjRef& objref, bool bQuiet = false, bool bIgnoreModes = false);
    // Brings a deleted object of this document back; false otherwise.
    bool UndeleteObject(const CVezadObject* object);
    // Removes the object from the document and destroys it at once; its
    // steps in the undo history are dropped. False when it is not in this
    // document.
    bool PurgeObject(const CVezadObject* object);
    // Hide and show change the visibility of the object's attributes through
    // its ModifyAttributes (recorded for undo); false for a missing or
    // deleted object or one already in that state.
    bool HideObject(const CVezadObjRef& objref, bool bIgnoreLayerMode = false);
    bool ShowObject(const CVezadObjRef& objref, bool bIgnoreLayerMode = false);
    // The object's ModifyAttributes with undo; false for a missing object.
    bool ModifyObjectAttributes(const CVezadObjRef& objref,
                                const ON_3dmObjectAttributes& attributes, bool bQuiet = false);

    // The object with this id (deleted ones included); null when none.
    CVezadObject* LookupObject(const ON_UUID& id) const;
    // The objects in the order they were added (deleted ones included).
    int ObjectCount() const { return static_cast<int>(m_objects.size()); }
    CVezadObject* ObjectAt(int index) const;
    // The object itself when it is in this document; null otherwise.
    CVezadObject* ownObject(const CVezadObject* object) const;
    void UnselectAll();

    // Redraws every view of the document.
    void UpdateAllViews();
    // Fills views with the document's views in the order they were made and
    // answers their count.
    int GetViewList(ON_SimpleArray<CVezadView*>& views) const;

    double AbsoluteTolerance() const { return m_absoluteTolerance; }
    // False (unchanged) for a value that is not positive and finite.
    bool SetAbsoluteTolerance(double tolerance);
    CVezadLayerTable& LayerTable() { return m_layers; }
    const CVezadLayerTable& LayerTable() const { return m_layers; }

    // The object getter waiting for picks; null when none runs.
    const CVezadGetObject* InGetObject() const { return m_getObject; }

    // Opens an undo record and answers its serial number (from 1). While a
    // record is open, further calls join it (same number) and the record
    // closes with the outermost EndUndoRecord. 0 while an undo runs.
    unsigned int BeginUndoRecord(const wchar_t* name);
    // Adds a custom step to the open record and takes the handler over in
    // every case (without an open record it is deleted: false).
    bool AddCustomUndoEvent(CVezadUndoEventHandler* handler);
    // Closes the open record (serialNumber 0 or the record's number); false
    // when none is open or the number is another record's.
    bool EndUndoRecord(unsigned int serialNumber = 0);

    // ---- Host side ----

    // Undoes the newest record of the history; false when there is none.
    bool undo();
    int undoRecordCount() const { return static_cast<int>(m_history.size()); }
    // The name of the newest record; empty when there is none.
    std::wstring newestUndoRecordName() const;
    // The automatic record of a command: opened before it runs, and at its
    // end closed whatever the plug-in left open.
    // beginCommandRecord answers the nesting depth to end at (-1: no
    // record, as while an undo runs).
    int beginCommandRecord(const wchar_t* commandName);
    void endCommandRecord(int depthBefore);

    // Raises OnCloseDocument and destroys everything: objects (newest
    // first), undo history, layers and tolerance back to a new document's,
    // and the unread data of plug-ins.
    void closeContents();
    // Raises OnNewDocument.
    void announceNewDocument();
    // Adds a built-in object read from a file with its id and attributes.
    bool addStoredObject(CVezadObject* object, const ON_UUID& id,
                         const ON_3dmObjectAttributes& attributes);

    // The data a file opened held for plug-ins that are not loaded, in the
    // file's order, each as it stood there: the document keeps it unread
    // and a save writes it back unchanged, so that opening and saving never
    // drops what this host could not read. Gone with closeContents.
    struct UnreadPlugInData {
        ON_UUID plugInId;
        std::vector<unsigned char> bytes;
    };
    const std::vector<UnreadPlugInData>& unreadPlugInData() const { return m_unreadPlugInData; }
    void keepUnreadPlugInData(const ON_UUID& plugInId, std::vector<unsigned char> bytes);

    void setGetObject(const CVezadGetObject* getter) { m_getObject = getter; }

private:
    struct UndoChange;
    struct UndoRecord;

    bool insertObject(CVezadObject* object, const ON_3dmObjectAttributes* attributes, bool bQuiet);
    // A new id that no object of the document has (deleted ones included);
    // nil when no id can be made.
    ON_UUID freeId() const;
    // Built-in objects go on the current layer unless attributes are given.
    bool insertBuiltIn(CVezadObject* object, const ON_3dmObjectAttributes* attributes);
    bool attributesFit(const ON_3dmObjectAttributes& attributes, bool bQuiet) const;
    CVezadObject* liveObject(const CVezadObjRef& objref) const;
    // The changes themselves, with their events and visibility slots.
    void markDeleted(CVezadObject& object);
    void markUndeleted(CVezadObject& object);
    void replace(CVezadObject& oldObject, CVezadObject& newObject, bool newIsAdded);
    void setVisible(CVezadObject& object, bool visible);
    bool storeAttributes(CVezadObject& object, const ON_3dmObjectAttributes& attributes,
                         bool bEnableUndo, bool bQuiet);
    void record(const UndoChange& change);
    void closeRecord();
    void print(bool quiet, const char* message) const;
    friend class CVezadObject;

    std::vector<std::unique_ptr<CVezadObject>> m_objects;
    std::map<ON_UUID, CVezadObject*> m_byId;
    CVezadLayerTable m_layers;
    double m_absoluteTolerance = defaultAbsoluteTolerance;
    const CVezadGetObject* m_getObject = nullptr;
    std::unique_ptr<UndoRecord> m_openRecord;
    int m_openDepth = 0;
    std::vector<std::unique_ptr<UndoRecord>> m_history;
    unsigned int m_nextSerial = 1;
    bool m_undoing = false;
    std::vector<UnreadPlugInData> m_unreadPlugInData;
};

// Walks a document's objects by state. The walk works on the objects
// present when First is called; objects purged meanwhile are skipped.
class CVezadObjectIterator {
public:
    enum object_state {
        normal_objects = 1,
        locked_objects = 2,
        hidden_objects = 4,
        deleted_objects = 8,
        normal_or_locked_objects = 3,
        undeleted_objects = 7,
        all_objects = 15,
    };
    enum object_category {
        active_objects = 1,
        reference_objects = 2,
        active_and_reference_objects = 3,
    };

    explicit CVezadObjectIterator(CVezadDoc& doc, object_state state = undeleted_objects,
                                  object_category category = active_objects);

    // The first or next object in the states asked for; null at the end.
    // Objects are never locked here, and every object is active.
    CVezadObject* First();
    CVezadObject* Next();

private:
    bool wanted(const CVezadObject& object) const;

    CVezadDoc& m_doc;
    int m_state;
    int m_category;
    std::vector<const CVezadObject*> m_objects;
    std::size_t m_next = 0;
};
