#include "platform/host/Document.h"

#include "platform/host/App.h"
#include "platform/host/HostText.h"
#include "platform/host/View.h"

#include <algorithm>
#include <cmath>

ON_wString CVezadLayerTable::LayerName(int index) const
{
    return index >= 0 && index < LayerCount() ? m_names[static_cast<std::size_t>(index)]
                                              : ON_wString();
}

int CVezadLayerTable::AddLayer(bool)
{
    ON_wString name;
    name.Format(L"Layer %02d", LayerCount());
    m_names.push_back(name);
    return LayerCount() - 1;
}

void CVezadLayerTable::reset()
{
    m_names.assign(1, ON_wString(L"Default"));
    m_current = 0;
}

bool CVezadLayerTable::assign(const std::vector<ON_wString>& names, int current)
{
    if (names.empty() || current < 0 || current >= static_cast<int>(names.size()))
        return false;
    m_names = names;
    m_current = current;
    return true;
}

// One recorded change: what to put back when its record is undone.
struct CVezadDoc::UndoChange {
    enum Kind { added, deleted, undeleted, replaced, attributes };
    Kind kind = added;
    CVezadObject* object = nullptr; // for replaced: the old object
    CVezadObject* other = nullptr;  // for replaced: the new object
    ON_3dmObjectAttributes oldAttributes;
};

struct CVezadDoc::UndoRecord {
    unsigned int serial = 0;
    std::wstring name;
    std::vector<UndoChange> changes;
    std::vector<std::unique_ptr<CVezadUndoEventHandler>> handlers;

    bool empty() const { return changes.empty() && handlers.empty(); }
};

CVezadDoc::CVezadDoc() = default;

CVezadDoc::~CVezadDoc()
{
    m_history.clear();
    m_openRecord.reset();
    while (!m_objects.empty())
        m_objects.pop_back();
}

void CVezadDoc::print(bool quiet, const char* message) const
{
    if (!quiet)
        VezadApp().Print("%s\n", message);
}

bool CVezadDoc::attributesFit(const ON_3dmObjectAttributes& attributes, bool bQuiet) const
{
    if (attributes.m_layer_index >= 0 && attributes.m_layer_index < m_layers.LayerCount())
        return true;
    if (!bQuiet)
        VezadApp().Print("Layer %d does not exist; the document has %d layers\n",
                         attributes.m_layer_index, m_layers.LayerCount());
    return false;
}

bool CVezadDoc::insertObject(CVezadObject* object, const ON_3dmObjectAttributes* attributes,
                             bool bQuiet)
{
    if (!object) {
        print(bQuiet, "No object to add");
        return false;
    }
    if (object->m_document) {
        print(bQuiet, "The object is in a document already");
        return false;
    }
    const ON_3dmObjectAttributes& wanted = attributes ? *attributes : object->m_attributes;
    if (!attributesFit(wanted, bQuiet))
        return false;
    if (object->m_id.IsNil() || m_byId.count(object->m_id)) {
        ON_UUID id = freeId();
        if (id.IsNil()) {
            print(bQuiet, "No id can be made for a new object");
            return false;
        }
        object->m_id = id;
    }
    object->m_attributes = wanted;
    object->m_document = this;
    object->m_deleted = false;
    object->m_selected = false;
    m_byId[object->m_id] = object;
    m_objects.emplace_back(object);
    record({UndoChange::added, object, nullptr, {}});
    if (!object->IsHidden())
        object->showGLEntity();
    VezadHost::notifyWatchers([&](CVezadEventWatcher& w) { w.OnAddObject(*this, *object); });
    return true;
}

ON_UUID CVezadDoc::freeId() const
{
    // The process never makes one id twice, but an object read from a file
    // of another run may hold one of the ids it makes: those are passed over.
    // The loop ends, as the document holds finitely many ids.
    for (;;) {
        ON_UUID id = ON_UUID::Create();
        if (id.IsNil() || m_byId.count(id) == 0)
            return id;
    }
}

bool CVezadDoc::AddObject(CVezadObject* object, bool bQuiet, bool)
{
    return insertObject(object, nullptr, bQuiet);
}

namespace {

// Built-in objects keep geometry of their own: a proxy borrows what it
// evaluates, so it is stored in its NURBS form.
ON_Curve* ownCopy(const ON_Curve& curve)
{
    if (!ON_CurveProxy::Cast(&curve))
        return curve.DuplicateCurve();
    auto* nurbs = new ON_NurbsCurve;
    if (curve.NurbsCurve(nurbs) == 0) {
        delete nurbs;
        return nullptr;
    }
    return nurbs;
}

ON_Surface* ownCopy(const ON_Surface& surface)
{
    if (!ON_SurfaceProxy::Cast(&surface))
        return surface.DuplicateSurface();
    auto* nurbs = new ON_NurbsSurface;
    if (surface.NurbsSurface(nurbs) == 0) {
        delete nurbs;
        return nullptr;
    }
    return nurbs;
}

// The new built-in object when the document took it; else it is deleted.
template <class Object> Object* keptOrDeleted(Object* object, bool added)
{
    if (added)
        return object;
    delete object;
    return nullptr;
}

} // namespace

bool CVezadDoc::insertBuiltIn(CVezadObject* object, const ON_3dmObjectAttributes* attributes)
{
    ON_3dmObjectAttributes onCurrentLayer;
    onCurrentLayer.m_layer_index = m_layers.CurrentLayerIndex();
    return insertObject(object, attributes ? attributes : &onCurrentLayer, false);
}

CVezadMeshObject* CVezadDoc::AddMeshObject(const ON_Mesh& mesh,
                                           const ON_3dmObjectAttributes* attributes, CVezadHistory*,
                                           BOOL)
{
    if (!mesh.IsValid()) {
        print(false, "Invalid mesh: not added");
        return nullptr;
    }
    auto* object = new CVezadMeshObject(new ON_Mesh(mesh));
    return keptOrDeleted(object, insertBuiltIn(object, attributes));
}

CVezadCurveObject* CVezadDoc::AddCurveObject(const ON_Curve& curve,
                                             const ON_3dmObjectAttributes* attributes,
                                             CVezadHistory*, BOOL)
{
    ON_Curve* copy = curve.IsValid() ? ownCopy(curve) : nullptr;
    if (!copy) {
        print(false, "Invalid curve: not added");
        return nullptr;
    }
    auto* object = new CVezadCurveObject(copy);
    return keptOrDeleted(object, insertBuiltIn(object, attributes));
}

CVezadSurfaceObject* CVezadDoc::AddSurfaceObject(const ON_Surface& surface,
                                                 const ON_3dmObjectAttributes* attributes,
                                                 CVezadHistory*, BOOL)
{
    ON_Surface* copy = surface.IsValid() ? ownCopy(surface) : nullptr;
    if (!copy) {
        print(false, "Invalid surface: not added");
        return nullptr;
    }
    auto* object = new CVezadSurfaceObject(copy);
    return keptOrDeleted(object, insertBuiltIn(object, attributes));
}

CVezadBrepObject* CVezadDoc::AddBrepObject(const ON_Brep& brep,
                                           const ON_3dmObjectAttributes* attributes, CVezadHistory*,
                                           BOOL)
{
    ON_wString why;
    ON_TextLog log(why);
    if (!brep.IsValid(&log)) {
        VezadApp().Print("Invalid Brep: not added (%s)\n", VezadHost::toUtf8(why.Str()).c_str());
        return nullptr;
    }
    auto* object = new CVezadBrepObject(new ON_Brep(brep));
    return keptOrDeleted(object, insertBuiltIn(object, attributes));
}

bool CVezadDoc::addStoredObject(CVezadObject* object, const ON_UUID& id,
                                const ON_3dmObjectAttributes& attributes)
{
    if (!object || id.IsNil() || m_byId.count(id))
        return false;
    object->m_id = id;
    return insertObject(object, &attributes, false);
}

CVezadObject* CVezadDoc::LookupObject(const ON_UUID& id) const
{
    auto it = m_byId.find(id);
    return it == m_byId.end() ? nullptr : it->second;
}

CVezadObject* CVezadDoc::ObjectAt(int index) const
{
    return index >= 0 && index < ObjectCount() ? m_objects[static_cast<std::size_t>(index)].get()
                                               : nullptr;
}

CVezadObject* CVezadDoc::ownObject(const CVezadObject* object) const
{
    if (!object || object->m_document != this)
        return nullptr;
    for (const auto& own : m_objects)
        if (own.get() == object)
            return own.get();
    return nullptr;
}

CVezadObject* CVezadDoc::liveObject(const CVezadObjRef& objref) const
{
    CVezadObject* object = objref.m_uuid.IsNil() ? nullptr : LookupObject(objref.m_uuid);
    return object && !object->m_deleted ? object : nullptr;
}

void CVezadDoc::markDeleted(CVezadObject& object)
{
    object.m_deleted = true;
    object.m_selected = false;
    object.hideGLEntity();
    VezadHost::notifyWatchers([&](CVezadEventWatcher& w) { w.OnDeleteObject(*this, object); });
}

void CVezadDoc::markUndeleted(CVezadObject& object)
{
    object.m_deleted = false;
    if (!object.IsHidden())
        object.showGLEntity();
    VezadHost::notifyWatchers([&](CVezadEventWatcher& w) { w.OnUndeleteObject(*this, object); });
}

void CVezadDoc::replace(CVezadObject& oldObject, CVezadObject& newObject, bool newIsAdded)
{
    VezadHost::notifyWatchers(
        [&](CVezadEventWatcher& w) { w.OnReplaceObject(*this, oldObject, newObject); });
    markDeleted(oldObject);
    // The object that takes the place keeps the id, so references to the
    // replaced object resolve to its replacement.
    std::swap(oldObject.m_id, newObject.m_id);
    m_byId[oldObject.m_id] = &oldObject;
    m_byId[newObject.m_id] = &newObject;
    if (!newIsAdded) {
        markUndeleted(newObject);
        return;
    }
    newObject.m_document = this;
    newObject.m_deleted = false;
    newObject.m_selected = false;
    m_objects.emplace_back(&newObject);
    if (!newObject.IsHidden())
        newObject.showGLEntity();
    VezadHost::notifyWatchers([&](CVezadEventWatcher& w) { w.OnAddObject(*this, newObject); });
}

bool CVezadDoc::ReplaceObject(const CVezadObjRef& objref, CVezadObject* newObject, bool)
{
    CVezadObject* oldObject = liveObject(objref);
    if (!oldObject) {
        print(false, "The object to replace is not in the document");
        return false;
    }
    if (!newObject || newObject->m_document) {
        print(false, "No free object to replace it with");
        return false;
    }
    if (!attributesFit(newObject->m_attributes, false))
        return false;
    ON_UUID id = freeId();
    if (id.IsNil()) {
        print(false, "No id can be made for a new object");
        return false;
    }
    newObject->m_id = id;
    replace(*oldObject, *newObject, true);
    record({UndoChange::replaced, oldObject, newObject, {}});
    return true;
}

bool CVezadDoc::DeleteObject(const CVezadObjRef& objref, bool bQuiet, bool)
{
    CVezadObject* object = liveObject(objref);
    if (!object) {
        print(bQuiet, "The object to delete is not in the document");
        return false;
    }
    markDeleted(*object);
    record({UndoChange::deleted, object, nullptr, {}});
    return true;
}

bool CVezadDoc::UndeleteObject(const CVezadObject* object)
{
    CVezadObject* own = ownObject(object);
    if (!own || !own->m_deleted)
        return false;
    markUndeleted(*own);
    record({UndoChange::undeleted, own, nullptr, {}});
    return true;
}

bool CVezadDoc::PurgeObject(const CVezadObject* object)
{
    CVezadObject* own = ownObject(object);
    if (!own)
        return false;
    auto mentions = [own](const UndoChange& c) { return c.object == own || c.other == own; };
    auto dropMentions = [&](UndoRecord& r) {
        r.changes.erase(std::remove_if(r.changes.begin(), r.changes.end(), mentions),
                        r.changes.end());
    };
    for (auto& r : m_history)
        dropMentions(*r);
    if (m_openRecord)
        dropMentions(*m_openRecord);
    auto byId = m_byId.find(own->m_id);
    if (byId != m_byId.end() && byId->second == own)
        m_byId.erase(byId);
    auto it = std::find_if(m_objects.begin(), m_objects.end(),
                           [own](const auto& p) { return p.get() == own; });
    std::unique_ptr<CVezadObject> dying = std::move(*it);
    m_objects.erase(it);
    dying->m_document = nullptr;
    return true; // the object dies here
}

bool CVezadDoc::storeAttributes(CVezadObject& object, const ON_3dmObjectAttributes& attributes,
                                bool bEnableUndo, bool bQuiet)
{
    if (!attributesFit(attributes, bQuiet))
        return false;
    const bool wasVisible = object.m_attributes.IsVisible();
    if (bEnableUndo)
        record({UndoChange::attributes, &object, nullptr, object.m_attributes});
    object.m_attributes = attributes;
    if (object.m_deleted || wasVisible == attributes.IsVisible())
        return true;
    if (attributes.IsVisible()) {
        object.showGLEntity();
    } else {
        object.m_selected = false;
        object.hideGLEntity();
    }
    return true;
}

void CVezadDoc::setVisible(CVezadObject& object, bool visible)
{
    ON_3dmObjectAttributes attributes = object.Attributes();
    attributes.SetVisible(visible);
    object.ModifyAttributes(attributes, true, false);
}

bool CVezadDoc::HideObject(const CVezadObjRef& objref, bool)
{
    CVezadObject* object = liveObject(objref);
    if (!object || object->IsHidden())
        return false;
    setVisible(*object, false);
    return object->IsHidden();
}

bool CVezadDoc::ShowObject(const CVezadObjRef& objref, bool)
{
    CVezadObject* object = liveObject(objref);
    if (!object || !object->IsHidden())
        return false;
    setVisible(*object, true);
    return !object->IsHidden();
}

bool CVezadDoc::ModifyObjectAttributes(const CVezadObjRef& objref,
                                       const ON_3dmObjectAttributes& attributes, bool bQuiet)
{
    CVezadObject* object = objref.m_uuid.IsNil() ? nullptr : LookupObject(objref.m_uuid);
    if (!object) {
        print(bQuiet, "The object to change is not in the document");
        return false;
    }
    return object->ModifyAttributes(attributes, true, bQuiet);
}

void CVezadDoc::UnselectAll()
{
    for (const auto& object : m_objects)
        object->m_selected = false;
}

void CVezadDoc::UpdateAllViews()
{
    ON_SimpleArray<CVezadView*> views;
    GetViewList(views);
    for (int i = 0; i < views.Count(); ++i)
        views[i]->Redraw();
}

int CVezadDoc::GetViewList(ON_SimpleArray<CVezadView*>& views) const
{
    views.Empty();
    for (const auto& view : VezadApp().views())
        if (view->GetDocument() == this)
            views.Append(view.get());
    return views.Count();
}

bool CVezadDoc::SetAbsoluteTolerance(double tolerance)
{
    if (!(tolerance > 0.0) || !std::isfinite(tolerance))
        return false;
    m_absoluteTolerance = tolerance;
    return true;
}

unsigned int CVezadDoc::BeginUndoRecord(const wchar_t* name)
{
    if (m_undoing)
        return 0;
    if (m_openRecord) {
        ++m_openDepth;
        return m_openRecord->serial;
    }
    m_openRecord = std::make_unique<UndoRecord>();
    m_openRecord->serial = m_nextSerial++;
    m_openRecord->name = name ? name : L"";
    m_openDepth = 1;
    return m_openRecord->serial;
}

bool CVezadDoc::AddCustomUndoEvent(CVezadUndoEventHandler* handler)
{
    std::unique_ptr<CVezadUndoEventHandler> owned(handler);
    if (!owned || !m_openRecord || m_undoing)
        return false;
    m_openRecord->handlers.push_back(std::move(owned));
    return true;
}

bool CVezadDoc::EndUndoRecord(unsigned int serialNumber)
{
    if (!m_openRecord || (serialNumber != 0 && serialNumber != m_openRecord->serial))
        return false;
    if (--m_openDepth <= 0)
        closeRecord();
    return true;
}

void CVezadDoc::closeRecord()
{
    if (m_openRecord && !m_openRecord->empty())
        m_history.push_back(std::move(m_openRecord));
    m_openRecord.reset();
    m_openDepth = 0;
}

int CVezadDoc::beginCommandRecord(const wchar_t* commandName)
{
    int depthBefore = m_openDepth;
    return BeginUndoRecord(commandName) == 0 ? -1 : depthBefore;
}

void CVezadDoc::endCommandRecord(int depthBefore)
{
    if (depthBefore < 0 || !m_openRecord)
        return;
    // Records the plug-in left open inside the command close with it.
    m_openDepth = depthBefore;
    if (m_openDepth == 0)
        closeRecord();
}

void CVezadDoc::record(const UndoChange& change)
{
    if (m_openRecord && !m_undoing)
        m_openRecord->changes.push_back(change);
}

std::wstring CVezadDoc::newestUndoRecordName() const
{
    return m_history.empty() ? std::wstring() : m_history.back()->name;
}

bool CVezadDoc::undo()
{
    if (m_history.empty() || m_undoing)
        return false;
    std::unique_ptr<UndoRecord> record = std::move(m_history.back());
    m_history.pop_back();
    m_undoing = true;
    for (auto c = record->changes.rbegin(); c != record->changes.rend(); ++c) {
        CVezadObject& object = *c->object;
        switch (c->kind) {
        case UndoChange::added:
        case UndoChange::undeleted:
            if (!object.m_deleted)
                markDeleted(object);
            break;
        case UndoChange::deleted:
            if (object.m_deleted)
                markUndeleted(object);
            break;
        case UndoChange::replaced:
            if (object.m_deleted && !c->other->m_deleted)
                replace(*c->other, object, false);
            break;
        case UndoChange::attributes:
            object.ModifyAttributes(c->oldAttributes, false, true);
            break;
        }
    }
    for (auto h = record->handlers.rbegin(); h != record->handlers.rend(); ++h)
        (*h)->Undo();
    m_undoing = false;
    return true; // the record and its handlers die here
}

void CVezadDoc::closeContents()
{
    VezadHost::notifyWatchers([&](CVezadEventWatcher& w) { w.OnCloseDocument(*this); });
    m_getObject = nullptr;
    m_history.clear();
    m_openRecord.reset();
    m_openDepth = 0;
    while (!m_objects.empty()) {
        std::unique_ptr<CVezadObject> dying = std::move(m_objects.back());
        m_objects.pop_back();
        m_byId.erase(dying->m_id);
        dying->m_document = nullptr;
    }
    m_byId.clear();
    m_layers.reset();
    m_absoluteTolerance = defaultAbsoluteTolerance;
    m_unreadPlugInData.clear();
}

void CVezadDoc::keepUnreadPlugInData(const ON_UUID& plugInId, std::vector<unsigned char> bytes)
{
    m_unreadPlugInData.push_back({plugInId, std::move(bytes)});
}

void CVezadDoc::announceNewDocument()
{
    VezadHost::notifyWatchers([&](CVezadEventWatcher& w) { w.OnNewDocument(*this); });
}

CVezadObjectIterator::CVezadObjectIterator(CVezadDoc& doc, object_state state,
                                           object_category category)
    : m_doc(doc), m_state(state), m_category(category)
{
}

bool CVezadObjectIterator::wanted(const CVezadObject& object) const
{
    if ((m_category & active_objects) == 0)
        return false;
    if (object.IsDeleted())
        return (m_state & deleted_objects) != 0;
    if (object.IsHidden())
        return (m_state & hidden_objects) != 0;
    return (m_state & normal_objects) != 0;
}

CVezadObject* CVezadObjectIterator::First()
{
    m_objects.clear();
    for (int i = 0; i < m_doc.ObjectCount(); ++i)
        m_objects.push_back(m_doc.ObjectAt(i));
    m_next = 0;
    return Next();
}

CVezadObject* CVezadObjectIterator::Next()
{
    while (m_next < m_objects.size()) {
        CVezadObject* object = m_doc.ownObject(m_objects[m_next++]);
        if (object && wanted(*object))
            return object;
    }
    return nullptr;
}
