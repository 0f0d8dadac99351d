#include "plugin/MeshLoading.h"

#include "foundation/Progress.h"
#include "geometry/ParametricGeometry.h"
#include "mesh/AutoFormReader.h"
#include "mesh/FlatMesh.h"
#include "mesh/NastranReader.h"
#include "mesh/StlFormat.h"
#include "mesh/VrmlReader.h"
#include "platform/RegularFile.h"
#include "platform/host/VezadSdk.h"
#include "plugin/FileFormats.h"
#include "plugin/MeshObject.h"

#include <memory>
#include <string>

namespace {

constexpr int largeMeshFacets = 750000;

// Format numbers of the readers (plugin/FileFormats.h).
enum MeshFormat : int {
    stlFormat = 16,
    polFormat = 18,
    autoFormFormat = 24,
    nastranFormat = 26,
    vrmlFormat = 28,
};

// Reads the file into mesh with the reader of its extension. The readers'
// own results are not used: the facet count tells whether anything came.
void readByExtension(CFlatMesh& mesh, const char* path)
{
    switch (formatFromExtension(path)) {
    case stlFormat:
        readSTL(mesh, path, true);
        break;
    case polFormat:
        mesh.readPOL(path);
        break;
    case autoFormFormat:
        readAutoForm(mesh, path, 0, nullptr);
        break;
    case nastranFormat:
        readNastran(mesh, path);
        break;
    case vrmlFormat: {
        // Other geometry of the file is not wanted here.
        Kor::List<CParametricGeometry*> scratch;
        readVRML(mesh, path, scratch);
        scratch.deleteAll();
        break;
    }
    default:
        break;
    }
}

// The read of loadMeshFile of the file at path.
std::unique_ptr<CFlatMesh> readMeshFile(const std::wstring& path)
{
    auto mesh = std::make_unique<CFlatMesh>();
    const std::string narrowPath = Platform::narrowFileName(path);
    CWaitCursor wait;
    readByExtension(*mesh, narrowPath.c_str());
    const int facets = mesh->getFacetCount();
    if (facets == 0) {
        VezadMessageBox(L"No facets have been imported", L"Meshwright");
        // The command line keeps which file it was.
        VezadApp().Print("No facets have been imported from %s\n", narrowPath.c_str());
        return mesh;
    }
    if (facets > largeMeshFacets)
        VezadMessageBox(L"Note: the Mesh consists of more than 750'000 facets. Graphic performace "
                        L"may be degraded. Split or decimate the mesh for faster response.",
                        L"Meshwright");
    mesh->computeBoundingBox();
    mesh->buildFacetHash(200.0, -1.0, nullptr);
    return mesh;
}

// The dialog and the read of loadMeshFile; path receives the chosen file.
// A path given is read without the dialog.
std::unique_ptr<CFlatMesh> readChosenMeshFile(std::wstring& path, const std::wstring* given)
{
    if (given != nullptr) {
        path = *given;
        return readMeshFile(path);
    }
    CFileDialog dialog(TRUE, L"Mesh", nullptr, OFN_EXPLORER | OFN_FILEMUSTEXIST,
                       L"Mesh (*.stl,*.pol)|*.stl;*.pol|Mesh (*.wrl,*.vrml)|*.wrl;*.vrml|"
                       L"AutoForm (*.af)|*.af|Nastran (*.nas)|*.nas|All Files (*.*)|*.*||",
                       nullptr);
    if (dialog.DoModal() != IDOK)
        return nullptr;
    path = dialog.GetPathName().GetString();
    return readMeshFile(path);
}

} // namespace

CFlatMesh* loadMeshFile(const std::wstring* path)
{
    std::wstring chosen;
    return readChosenMeshFile(chosen, path).release();
}

CMWMeshObject* loadMeshObject(bool* cancelled, const std::wstring* given)
{
    std::wstring path;
    std::unique_ptr<CFlatMesh> mesh = readChosenMeshFile(path, given);
    if (cancelled != nullptr)
        *cancelled = mesh == nullptr;
    if (mesh == nullptr || mesh->getFacetCount() == 0)
        return nullptr;
    auto* object = new CMWMeshObject;
    attachMesh(object, mesh.release());
    ON_3dmObjectAttributes attributes = object->Attributes();
    attributes.m_name = ON_wString(path.c_str());
    object->ModifyAttributes(attributes, true, false);
    return object;
}

CFlatMesh* meshFromVezadMesh(CProgress* progress, const ON_SimpleArray<const ON_Mesh*>& meshes)
{
    auto mesh = std::make_unique<CFlatMesh>();
    mesh->progress = progress;
    int offset = 0;
    for (int m = 0; m < meshes.Count(); ++m) {
        if (meshes[m] == nullptr)
            continue;
        // Topological vertices: the host keeps a vertex once per face
        // corner where normals or texture coordinates differ.
        const ON_MeshTopology& topology = meshes[m]->Topology();
        for (int j = 0; j < topology.TopVertexCount(); ++j) {
            const ON_3dPoint p = topology.TopVertexPoint(j);
            mesh->addVertex(Mesh::CBaseMesh::Point(static_cast<float>(p.x), static_cast<float>(p.y),
                                                   static_cast<float>(p.z)));
        }
        if (progress != nullptr)
            progress->begin(0, topology.TopFaceCount());
        for (int k = 0; k < topology.TopFaceCount(); ++k) {
            if (progress != nullptr) {
                progress->step(1);
                if (progress->isCancelled())
                    break;
            }
            int corners[4];
            if (!topology.GetTopFaceVertices(k, corners))
                continue;
            const int n = corners[2] == corners[3] ? 3 : 4;
            for (int& corner : corners)
                corner += offset;
            mesh->addPolygon(corners, n, -1);
        }
        offset += topology.TopVertexCount();
    }
    if (progress != nullptr) {
        progress->setLabel("stitch");
        progress->step(1);
    }
    mesh->mergeVertices(1e-8, 0);
    if (progress != nullptr) {
        progress->setLabel("init search");
        progress->step(1);
    }
    mesh->computeBoundingBox();
    mesh->buildFacetHash(350.0, -1.0, nullptr);
    mesh->progress = nullptr;
    if (progress == nullptr)
        return mesh.release();
    const bool cancelled = progress->isCancelled();
    progress->setCancelled(false);
    return cancelled ? nullptr : mesh.release();
}
