// What a plug-in hooks into the document: event watchers that hear of
// document and object changes, a set of ids to recognise its own objects by,
// and custom undo events that undo the plug-in's own state with a host undo
// record.
//
// The registry of watchers is constructed on first use, so a watcher may be
// a static global that registers itself while it is constructed. A watcher
// unregisters itself when destroyed. Not thread-safe.
#pragma once

#include "platform/on/OpenNurbsSubset.h"

#include <functional>
#include <set>

class CVezadDoc;
class CVezadObject;

class CVezadEventWatcher {
public:
    CVezadEventWatcher() = default;
    CVezadEventWatcher(const CVezadEventWatcher&) = delete;
    CVezadEventWatcher& operator=(const CVezadEventWatcher&) = delete;
    virtual ~CVezadEventWatcher();

    // Registered watchers hear events while they are enabled, in the order
    // they registered. Registering twice changes nothing.
    void Register();
    void UnRegister();
    bool IsRegistered() const;
    void Enable(bool enable = true) { m_enabled = enable; }
    bool IsEnabled() const { return m_enabled; }

    // The document is about to be emptied (a new or opened document
    // replaces it, or the host shuts down); its objects are still there.
    virtual void OnCloseDocument(CVezadDoc& doc) { (void)doc; }
    // The document starts afresh, before any object of it is added.
    virtual void OnNewDocument(CVezadDoc& doc) { (void)doc; }
    virtual void OnAddObject(CVezadDoc& doc, CVezadObject& object)
    {
        (void)doc;
        (void)object;
    }
    virtual void OnDeleteObject(CVezadDoc& doc, CVezadObject& object)
    {
        (void)doc;
        (void)object;
    }
    // Raised first when oldObject is replaced by newObject; the deletion of
    // the old and the addition of the new follow as events of their own.
    virtual void OnReplaceObject(CVezadDoc& doc, CVezadObject& oldObject, CVezadObject& newObject)
    {
        (void)doc;
        (void)oldObject;
        (void)newObject;
    }
    virtual void OnUndeleteObject(CVezadDoc& doc, CVezadObject& object)
    {
        (void)doc;
        (void)object;
    }

private:
    bool m_enabled = false;
};

// A set of object ids.
class CVezadUuidCollection {
public:
    virtual ~CVezadUuidCollection() = default;

    // False for the nil id, and for an id already present when bCheckUnique
    // (the set holds each id once either way).
    bool AddUuid(const ON_UUID& id, bool bCheckUnique = false);
    bool FindUuid(const ON_UUID& id) const { return m_ids.count(id) > 0; }
    bool RemoveUuid(const ON_UUID& id) { return m_ids.erase(id) > 0; }
    void Empty() { m_ids.clear(); }
    int Count() const { return static_cast<int>(m_ids.size()); }

private:
    std::set<ON_UUID> m_ids;
};

// A plug-in's own step inside a host undo record: when the record is undone,
// after its object changes are reverted, Undo runs once and the handler is
// deleted.
class CVezadUndoEventHandler {
public:
    virtual ~CVezadUndoEventHandler() = default;
    virtual void Undo() = 0;
};

namespace VezadHost {

// Raises an event on every registered, enabled watcher in registration
// order. A watcher that unregisters during the walk is skipped from then on.
void notifyWatchers(const std::function<void(CVezadEventWatcher&)>& event);

} // namespace VezadHost
