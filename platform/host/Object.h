// Document objects of the host: CVezadObject, the base of the built-in mesh,
// curve, surface and Brep objects and of a plug-in's custom objects; the
// custom grips type; and CVezadObjRef, a reference to an object (or to an
// edge or face of a Brep object) that resolves through the active document.
//
// Ownership: an object owns its geometry and grips. Once added, the document
// owns the object: it dies when it is purged or when its document closes,
// never on deletion (a deleted object stays in the document for undo).
// References own nothing and never dangle: they hold the object's id.
// Not thread-safe.
#pragma once

#include "platform/on/OpenNurbsSubset.h"

#include <memory>

class CVezadDisplayPipeline;
class CVezadDoc;
class CVezadGetObject;
class CVezadObjRef;
class CVezadPickContext;
namespace VezadHost {
struct RenderMesh;
}

// Custom grips installed on an object; only their type is kept.
class CVezadObjectGrips {
public:
    explicit CVezadObjectGrips(int gripType = 0) : m_grip_type(gripType) {}
    virtual ~CVezadObjectGrips() = default;

    int m_grip_type;
};

class CVezadObject : public ON_Object {
public:
    CVezadObject();
    CVezadObject(const CVezadObject&) = delete;
    CVezadObject& operator=(const CVezadObject&) = delete;
    ~CVezadObject() override;

    // The type of the object's geometry; unknown without geometry.
    ON::object_type ObjectType() const override;
    const ON_Geometry* Geometry() const { return m_geometry; }

    // The document holding the object; null before it is added.
    CVezadDoc* Document() const { return m_document; }
    // The object's id: set when it is added to a document (a nil id or one
    // already in use there is replaced by a new one).
    ON_UUID ModelObjectId() const { return m_id; }

    const ON_3dmObjectAttributes& Attributes() const { return m_attributes; }
    // Replaces the attributes. In a document the change is recorded for undo
    // when bEnableUndo; a layer index the document does not have is refused
    // (false, attributes unchanged; a message unless bQuiet). Custom objects
    // override it to follow the change and then call this base.
    virtual bool ModifyAttributes(const ON_3dmObjectAttributes& attributes, bool bEnableUndo = true,
                                  bool bQuiet = false);

    virtual bool IsDeleted() const { return m_deleted; }
    // Hidden objects have invisible attributes.
    virtual bool IsHidden() const { return !m_attributes.IsVisible(); }
    // 1 for a selected object (the host highlights what is selected), else 0.
    virtual int IsHighlighted(bool bCheckSubObjects = false) const;
    int IsSelected(bool bCheckSubObjects = false) const;
    // Selects or unselects; deleted and hidden objects cannot be selected.
    // Answers 1 when the object is selected afterwards, else 0.
    int Select(bool bSelect = true);

    // Whether a getter may pick this object: by default, whether its type
    // passes the getter's geometry filter.
    virtual bool PickFilter(const CVezadGetObject& getter, bool bCheckSubObjects) const;

    // Installs custom grips, taking ownership; any grips installed before are
    // deleted, null only removes them. True.
    virtual bool EnableCustomGrips(CVezadObjectGrips* grips);
    CVezadObjectGrips* CustomGrips() const { return m_grips; }

    // The host calls showGLEntity when the object becomes visible in its
    // document (added, undeleted or shown) and hideGLEntity when it stops
    // being visible (deleted or hidden). Custom objects that draw through a
    // display entity of their own override them; the base does nothing.
    virtual void showGLEntity() {}
    virtual void hideGLEntity() {}

    // Draws the object while a view redraws (the view's context is current
    // and its matrices loaded). The host's own objects draw themselves (see
    // platform/host/View.h); the base draws nothing.
    virtual void Draw(CVezadDisplayPipeline& pipeline) const;
    // Appends a reference for each place the pick line meets the object,
    // with the point hit as its selection point, and answers how many were
    // appended. The host's own objects answer their hits; the base none.
    virtual int Pick(const CVezadPickContext& context, ON_ClassArray<CVezadObjRef>& picks) const;
    // The box the object fills, for zooming to the extents: the geometry's
    // box; empty without geometry.
    virtual ON_BoundingBox BoundingBox() const;

protected:
    // Installs the object's geometry; the object owns it and deletes the one
    // installed before.
    void SetGeometry(ON_Geometry* geometry);

private:
    friend class CVezadDoc;

    ON_Geometry* m_geometry = nullptr;
    CVezadObjectGrips* m_grips = nullptr;
    CVezadDoc* m_document = nullptr;
    ON_UUID m_id;
    ON_3dmObjectAttributes m_attributes;
    bool m_deleted = false;
    bool m_selected = false;
};

// Built-in objects; each takes ownership of the geometry it is made with.
// Meshes are picked where the pick line meets a face; curves, surfaces
// (by their boundary) and Breps (by their edges) where they pass within the
// pick radius of the picked pixel.
class CVezadMeshObject : public CVezadObject {
public:
    explicit CVezadMeshObject(ON_Mesh* mesh);
    const ON_Mesh* Mesh() const { return static_cast<const ON_Mesh*>(Geometry()); }
    void Draw(CVezadDisplayPipeline& pipeline) const override;
    int Pick(const CVezadPickContext& context, ON_ClassArray<CVezadObjRef>& picks) const override;
};

class CVezadCurveObject : public CVezadObject {
public:
    explicit CVezadCurveObject(ON_Curve* curve);
    const ON_Curve* Curve() const { return static_cast<const ON_Curve*>(Geometry()); }
    void Draw(CVezadDisplayPipeline& pipeline) const override;
    int Pick(const CVezadPickContext& context, ON_ClassArray<CVezadObjRef>& picks) const override;
};

class CVezadSurfaceObject : public CVezadObject {
public:
    explicit CVezadSurfaceObject(ON_Surface* surface);
    const ON_Surface* Surface() const { return static_cast<const ON_Surface*>(Geometry()); }
    void Draw(CVezadDisplayPipeline& pipeline) const override;
    int Pick(const CVezadPickContext& context, ON_ClassArray<CVezadObjRef>& picks) const override;
};

// A Brep draws as its edges in wireframe views; in shaded views its faces
// are shaded from its render mesh (platform/host/RenderMesh.h, made at the
// first shaded draw; the Brep does not change afterwards) with the edges on
// top.
class CVezadBrepObject : public CVezadObject {
public:
    explicit CVezadBrepObject(ON_Brep* brep);
    ~CVezadBrepObject() override;
    const ON_Brep* Brep() const { return static_cast<const ON_Brep*>(Geometry()); }
    void Draw(CVezadDisplayPipeline& pipeline) const override;
    int Pick(const CVezadPickContext& context, ON_ClassArray<CVezadObjRef>& picks) const override;

private:
    mutable std::unique_ptr<VezadHost::RenderMesh> m_renderMesh;
};

// A reference to a document object, or to an edge or face of a Brep object,
// by id; written and read through an archive as its ON_ObjRef record.
class CVezadObjRef : public ON_ObjRef {
public:
    CVezadObjRef() = default;
    explicit CVezadObjRef(const CVezadObject* object);
    CVezadObjRef(const CVezadObject* object, ComponentType componentType, int componentIndex);

    // The object in the active document; null when there is none.
    const CVezadObject* Object() const;
    // The referenced geometry, each null when the reference has none of
    // that kind: a mesh of a mesh object; the curve of a curve object or the
    // edge of a referenced Brep edge; the surface of a surface object, the
    // face of a referenced Brep face or the one face of a one-face Brep.
    const ON_Mesh* Mesh() const;
    const ON_Curve* Curve() const;
    const ON_Surface* Surface() const;
    const ON_Brep* Brep() const;

    // Where the object was picked.
    void SetSelectionPoint(const ON_3dPoint& point);
    // False (point unchanged) when no point was set.
    bool SelectionPoint(ON_3dPoint& point) const;

    // ---- Host side ----
    // The outward normal of a surface or facet where it was picked (a pick
    // of a curve has none).
    void setSelectionNormal(const ON_3dVector& normal);
    // False (normal unchanged) when no normal was set.
    bool selectionNormal(ON_3dVector& normal) const;

private:
    ON_3dPoint m_selectionPoint;
    ON_3dVector m_selectionNormal;
    bool m_hasSelectionPoint = false;
    bool m_hasSelectionNormal = false;
};

namespace VezadHost {

// "mesh", "curve", "surface", "brep", "point", or "object" for other types:
// the type names of scripts and document dumps.
const char* objectTypeName(ON::object_type type);

} // namespace VezadHost
