#include "plugin/MeshObject.h"

#include "display/entities/OpenGLMesh.h"
#include "mesh/BaseMesh.h"
#include "plugin/MeshwrightPlugIn.h"

#include <cstdint>

namespace {

void deleteCurves(Kor::List<ON_NurbsCurve*>& curves)
{
    for (ON_NurbsCurve* curve : curves)
        delete curve;
    curves.removeAll();
}

} // namespace

CMWMeshObject::~CMWMeshObject()
{
    CMeshwrightPlugIn& plugIn = MeshwrightPlugIn();
    if (COpenGLEntity* entity = glEntity())
        plugIn.net.displayContainer.removeEntity(entity);
    if (mesh != nullptr && plugIn.net.mesh == mesh) {
        plugIn.net.setMesh(nullptr);
        plugIn.net.deleteAll(false);
    }
    for (int i = plugIn.meshObjects.count - 1; i >= 0; --i)
        if (plugIn.meshObjects[i] == this)
            plugIn.meshObjects.removeAt(i);
    delete mesh;
    deleteCurves(curves);
}

COpenGLEntity* CMWMeshObject::glEntity() const
{
    if (mesh == nullptr)
        return nullptr;
    return MeshwrightPlugIn().net.displayContainer.findEntity(
        reinterpret_cast<std::intptr_t>(mesh));
}

void CMWMeshObject::hideGLEntity()
{
    shown = false;
    if (COpenGLEntity* entity = glEntity())
        entity->hidden = true;
}

void CMWMeshObject::showGLEntity()
{
    shown = true;
    if (mesh == nullptr)
        return;
    if (COpenGLEntity* entity = glEntity()) {
        entity->hidden = false;
        return;
    }
    GB::CSurfaceNet& net = MeshwrightPlugIn().net;
    auto* entity = new COpenGLMesh("MeshwrightMesh", mesh, 0.870588f, 0.721569f, 0.529412f, 1.0f,
                                   0.45f, 0.721569f, 0.729412f, 1.0f);
    entity->mesh = mesh;
    entity->hidden = false;
    net.displayContainer.addEntity(entity, true);
    net.setDepthTest(true);
    entity->layer = COpenGLEntity::LayerBottom;
}

bool CMWMeshObject::createGrips(bool on)
{
    CMeshwrightPlugIn& plugIn = MeshwrightPlugIn();
    if (on) {
        EnableCustomGrips(new CVezadObjectGrips(1000));
        if (!plugIn.editGrid)
            plugIn.setEditGridMode(true);
    } else {
        plugIn.setEditGridMode(false);
        EnableCustomGrips(nullptr);
    }
    return true;
}

void attachMesh(CMWMeshObject* object, Mesh::CBaseMesh* mesh)
{
    if (object == nullptr)
        return;
    if (mesh == nullptr || (object->mesh != nullptr && object->mesh != mesh))
        deleteCurves(object->curves);
    object->mesh = mesh;
}
