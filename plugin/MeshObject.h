// CMWMeshObject: a loaded mesh as an object of the host document. The object
// owns the system's mesh; the mesh's display entity (a COpenGLMesh keyed by
// the mesh) lives in the net's display container, where the object shows,
// hides and finds it. The plug-in keeps the loaded objects in its list
// meshObjects; the first one is the mesh the commands work on.
//
// Ownership: the object owns its mesh and its section curves; once added,
// the host document owns the object. Not thread-safe: the host's user-
// interface thread only.
#pragma once

#include "foundation/KorList.h"
#include "platform/host/VezadSdk.h"

class COpenGLEntity;
namespace Mesh {
class CBaseMesh;
}

class CMWMeshObject : public CVezadObject {
public:
    Mesh::CBaseMesh* mesh = nullptr;  // owned; null while no mesh is attached
    Kor::List<ON_NurbsCurve*> curves; // section curves shown in wireframe views; owned
    bool shown = false;               // the display entity was last shown, not hidden

    CMWMeshObject() = default;
    // Takes the mesh's display out of the net's container, frees the net
    // (its grid lives on this mesh) when this is the net's mesh, leaves the
    // plug-in's list, then deletes the mesh and the curves.
    ~CMWMeshObject() override;

    // hidden set on the display entity; shown false.
    void hideGLEntity() override;
    // shown true; the display entity's hidden flag cleared, the entity
    // created first when the mesh has none (which switches the net's depth
    // test on). Nothing more without a mesh.
    void showGLEntity() override;
    // On: grips of type 1000 installed, and grid editing switched on unless
    // it is on. Off: grid editing switched off and the grips deleted. True.
    virtual bool createGrips(bool on);

    // The display entity keyed by the mesh; null without mesh or entity.
    COpenGLEntity* glEntity() const;
};

// Replaces the object's mesh (null detaches it); the section curves of a
// mesh that is replaced or detached are deleted. The old mesh is not
// deleted: its owner decides.
void attachMesh(CMWMeshObject* object, Mesh::CBaseMesh* mesh);
