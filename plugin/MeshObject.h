// CMWMeshObject: a loaded mesh as an object of the host document. The object
// owns the system's mesh and a set of section curves that show the mesh in
// wireframe views, where it also draws the grid's poly-lines; it answers the
// host's picks and bounding-box questions and stores itself in the
// document's archive as one compressed buffer holding the mesh's POL image.
// The shaded mesh is not drawn by the object: its display entity (a
// COpenGLMesh keyed by the mesh) lives in the net's display container, where
// the object shows, hides and finds it. The plug-in keeps the loaded objects
// in its list meshObjects; the first one is the mesh the commands work on.
//
// CMWMeshGeometry is the object's host geometry: it answers dimension,
// validity and box from its owner and refuses every transformation, so the
// host can neither move, rotate nor scale a mesh object.
//
// Ownership: the object owns its mesh, its section curves and its geometry;
// once added, the host document owns the object. Not thread-safe: the
// host's user-interface thread only.
#pragma once

#include "foundation/KorList.h"
#include "platform/host/VezadSdk.h"

class COpenGLEntity;
class CMWMeshObject;
namespace Mesh {
class CBaseMesh;
}

class CMWMeshGeometry : public ON_Geometry {
public:
    CMWMeshObject* owner; // not owned

    explicit CMWMeshGeometry(CMWMeshObject* owner) : owner(owner) {}

    bool IsValid(ON_TextLog* textLog = nullptr) const override;
    int Dimension() const override { return dimension(); }
    bool GetBBox(double* boxmin, double* boxmax, bool bGrowBox = false) const override
    {
        return boundingBox(boxmin, boxmax, bGrowBox);
    }
    bool Transform(const ON_Xform& xform) override { return transform(xform); }

    // 3.
    virtual int dimension() const;
    // The owner's cached box into both arrays, grow ignored; true.
    virtual bool boundingBox(double* boxmin, double* boxmax, bool grow) const;
    // Prints "XTrans on Object called." and refuses: false, nothing changes.
    virtual bool transform(const ON_Xform& xform);
};

class CMWMeshObject : public CVezadObject {
public:
    Mesh::CBaseMesh* mesh = nullptr; // owned; null while no mesh is attached
    bool shown = false;              // the display entity was last shown, not hidden
    // The box the geometry answers, refreshed from the mesh whenever one is
    // attached.
    ON_BoundingBox cachedBox;

    // No mesh, no curves; a CMWMeshGeometry installed as the host geometry.
    CMWMeshObject();

    // The section curves that show the mesh held in wireframe views (25
    // sections along each principal direction, and the boundary), owned.
    // They are made at the first call after a mesh is attached: a mesh of
    // millions of facets takes a second for them, and views that are all
    // shaded never draw them. None without a mesh.
    const Kor::List<ON_NurbsCurve*>& sectionCurves() const;
    // Takes the mesh's display out of the net's container, frees the net
    // (its grid lives on this mesh) when this is the net's mesh, leaves the
    // plug-in's list, then deletes the mesh and the curves.
    ~CMWMeshObject() override;

    // Prints "MWMeshObject::Write called", then with a mesh "obuffer size="
    // and the image size, and writes the mesh's POL image as one compressed
    // buffer. False only when writing the buffer fails; an object without a
    // mesh, or whose image cannot be made, writes nothing and answers true.
    bool Write(ON_BinaryArchive& archive) const override;
    // Replaces the mesh by the one in the compressed buffer (printing
    // "ibuffer size=" and its size, and keeping the image as the diagnostics
    // file "c:/tmp/test.pol"), with its facet hash built. The image is read
    // as it inflates, never held whole. False, with no mesh held, when the
    // buffer is missing, fails its size or CRC or holds no readable POL
    // image (the archive then after the buffer), and when the buffer would
    // inflate more than 32 times its record, the most a POL image deflates
    // by far ("... a mesh image repeating itself is not read.", the archive
    // unmoved and nothing allocated).
    bool Read(ON_BinaryArchive& archive) override;
    // ON::mesh_object (32).
    ON::object_type ObjectType() const override;
    virtual bool reserved14() const { return true; }
    // hidden set on the display entity; shown false.
    void hideGLEntity() override;
    // shown true; the display entity's hidden flag cleared, the entity
    // created first when the mesh has none (which switches the net's depth
    // test on). Nothing more without a mesh.
    void showGLEntity() override;
    virtual int reserved21() const { return 0; }
    virtual int reserved22() const { return 0; }
    virtual bool reserved27() const { return true; }
    // On: grips of type 1000 installed, and grid editing switched on unless
    // it is on. Off: grid editing switched off and the grips deleted. True.
    virtual bool createGrips(bool on);
    // The host's grips slot, with "Eanble custom the grips" printed.
    bool EnableCustomGrips(CVezadObjectGrips* grips) override;
    virtual void reserved31() const {}

    // The host's drawing, picking and box slots, answered by the object's
    // own operations below.
    void Draw(CVezadDisplayPipeline& pipeline) const override { draw(pipeline); }
    bool PickFilter(const CVezadGetObject& getter, bool bCheckSubObjects) const override
    {
        return pickFilter(getter, bCheckSubObjects);
    }
    int Pick(const CVezadPickContext& context, ON_ClassArray<CVezadObjRef>& picks) const override
    {
        return pick(context, picks);
    }
    ON_BoundingBox BoundingBox() const override { return boundingBoxForward(); }

    // Registers the plug-in's draw callback with the active view when it has
    // none. A deleted or hidden object hides its display entity and draws
    // nothing; in a view that is not shaded it draws its section curves and
    // the grid's poly-lines (curves and points) through the viewport. In
    // shaded views the draw callback draws the mesh and the net.
    virtual void draw(CVezadDisplayPipeline& pipeline) const;
    // Print "DrawHighLiht vp" and "DrawHighLiht pipe".
    virtual void drawHighlightVp(CVezadViewport& viewport) const;
    virtual void drawHighlightPipe(CVezadDisplayPipeline& pipeline) const;
    // True: the object can always be picked.
    virtual bool pickFilter(const CVezadGetObject& getter, bool checkSubObjects) const;
    // 1, with a reference whose selection point is where the pick line first
    // meets the mesh appended to picks; 0 (nothing appended) without a mesh
    // or a hit.
    virtual int pick(const CVezadPickContext& context, ON_ClassArray<CVezadObjRef>& picks) const;
    ON_BoundingBox boundingBoxForward() const { return boundingBox(); }
    // The mesh's box; empty without a mesh.
    virtual ON_BoundingBox boundingBox() const;
    // The display entity's hidden flag follows the new visibility; then the
    // host's attribute change, whose result is returned.
    bool ModifyAttributes(const ON_3dmObjectAttributes& attributes, bool bEnableUndo = true,
                          bool bQuiet = false) override;
    // "MW Large Mesh Objects".
    virtual const wchar_t* typeDescription() const;
    virtual bool reserved60() const { return false; }

    // The display entity keyed by the mesh; null without mesh or entity.
    COpenGLEntity* glEntity() const;

private:
    mutable Kor::List<ON_NurbsCurve*> curves; // the section curves, once made
    mutable bool curvesMade = false;

    // Deletes the mesh as the destructor does (entity, net, curves).
    void releaseMesh();
    friend void attachMesh(CMWMeshObject* object, Mesh::CBaseMesh* mesh);
};

// Replaces the object's mesh (null detaches it); the section curves held
// are deleted (those of the new mesh are made when first asked for) and the
// cached box refreshed. The old mesh is not deleted: its owner decides.
void attachMesh(CMWMeshObject* object, Mesh::CBaseMesh* mesh);

// Marks the object's display entity for recompilation, so that a mesh
// changed in place is drawn anew; nothing without an entity.
void markMeshEntityChanged(CMWMeshObject* object);
