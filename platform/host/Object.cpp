#include "platform/host/Object.h"

#include "platform/host/RenderMesh.h"

#include "platform/host/App.h"
#include "platform/host/Document.h"
#include "platform/host/Get.h"

CVezadObject::CVezadObject() = default;

CVezadObject::~CVezadObject()
{
    delete m_grips;
    delete m_geometry;
}

ON::object_type CVezadObject::ObjectType() const
{
    return m_geometry ? m_geometry->ObjectType() : ON::unknown_object_type;
}

bool CVezadObject::ModifyAttributes(const ON_3dmObjectAttributes& attributes, bool bEnableUndo,
                                    bool bQuiet)
{
    if (m_document)
        return m_document->storeAttributes(*this, attributes, bEnableUndo, bQuiet);
    if (attributes.m_layer_index < 0)
        return false;
    m_attributes = attributes;
    return true;
}

int CVezadObject::IsHighlighted(bool bCheckSubObjects) const
{
    return IsSelected(bCheckSubObjects);
}

int CVezadObject::IsSelected(bool) const
{
    return m_selected ? 1 : 0;
}

int CVezadObject::Select(bool bSelect)
{
    m_selected = bSelect && !IsDeleted() && !IsHidden();
    return m_selected ? 1 : 0;
}

bool CVezadObject::PickFilter(const CVezadGetObject& getter, bool) const
{
    unsigned int filter = getter.GeometryFilter();
    return filter == 0 || (static_cast<unsigned int>(ObjectType()) & filter) != 0;
}

bool CVezadObject::EnableCustomGrips(CVezadObjectGrips* grips)
{
    if (grips != m_grips) {
        delete m_grips;
        m_grips = grips;
    }
    return true;
}

void CVezadObject::SetGeometry(ON_Geometry* geometry)
{
    if (geometry != m_geometry) {
        delete m_geometry;
        m_geometry = geometry;
    }
}

CVezadMeshObject::CVezadMeshObject(ON_Mesh* mesh)
{
    SetGeometry(mesh);
}

CVezadCurveObject::CVezadCurveObject(ON_Curve* curve)
{
    SetGeometry(curve);
}

CVezadSurfaceObject::CVezadSurfaceObject(ON_Surface* surface)
{
    SetGeometry(surface);
}

CVezadBrepObject::CVezadBrepObject(ON_Brep* brep)
{
    SetGeometry(brep);
}

CVezadBrepObject::~CVezadBrepObject() = default;

CVezadObjRef::CVezadObjRef(const CVezadObject* object)
{
    if (object)
        m_uuid = object->ModelObjectId();
}

CVezadObjRef::CVezadObjRef(const CVezadObject* object, ComponentType componentType,
                           int componentIndex)
    : CVezadObjRef(object)
{
    m_component_type = componentType;
    m_component_index = componentIndex;
}

const CVezadObject* CVezadObjRef::Object() const
{
    const CVezadDoc* doc = VezadApp().ActiveDoc();
    return doc && !m_uuid.IsNil() ? doc->LookupObject(m_uuid) : nullptr;
}

const ON_Mesh* CVezadObjRef::Mesh() const
{
    const CVezadObject* object = Object();
    return object ? ON_Mesh::Cast(object->Geometry()) : nullptr;
}

const ON_Brep* CVezadObjRef::Brep() const
{
    const CVezadObject* object = Object();
    return object ? ON_Brep::Cast(object->Geometry()) : nullptr;
}

const ON_Curve* CVezadObjRef::Curve() const
{
    if (m_component_type == brep_edge) {
        const ON_Brep* brep = Brep();
        return brep ? brep->m_E.At(m_component_index) : nullptr;
    }
    const CVezadObject* object = Object();
    return object && m_component_type == no_component
               ? dynamic_cast<const ON_Curve*>(object->Geometry())
               : nullptr;
}

const ON_Surface* CVezadObjRef::Surface() const
{
    const ON_Brep* brep = Brep();
    if (m_component_type == brep_face)
        return brep ? brep->m_F.At(m_component_index) : nullptr;
    if (m_component_type != no_component)
        return nullptr;
    if (brep)
        return brep->m_F.Count() == 1 ? brep->m_F.At(0) : nullptr;
    const CVezadObject* object = Object();
    return object ? dynamic_cast<const ON_Surface*>(object->Geometry()) : nullptr;
}

void CVezadObjRef::SetSelectionPoint(const ON_3dPoint& point)
{
    m_selectionPoint = point;
    m_hasSelectionPoint = true;
}

bool CVezadObjRef::SelectionPoint(ON_3dPoint& point) const
{
    if (!m_hasSelectionPoint)
        return false;
    point = m_selectionPoint;
    return true;
}

void CVezadObjRef::setSelectionNormal(const ON_3dVector& normal)
{
    m_selectionNormal = normal;
    m_hasSelectionNormal = true;
}

bool CVezadObjRef::selectionNormal(ON_3dVector& normal) const
{
    if (!m_hasSelectionNormal)
        return false;
    normal = m_selectionNormal;
    return true;
}

namespace VezadHost {

const char* objectTypeName(ON::object_type type)
{
    switch (type) {
    case ON::mesh_object:
        return "mesh";
    case ON::curve_object:
        return "curve";
    case ON::surface_object:
        return "surface";
    case ON::brep_object:
        return "brep";
    case ON::point_object:
        return "point";
    default:
        return "object";
    }
}

} // namespace VezadHost
