// The plug-in's record in the host's document file: the loaded meshes and
// the whole net, the faces' display settings and the references to the
// Breps of the last commit.
//
// Record (integers four bytes little-endian, buffers compressed):
//   version (4); reference count and that many object references;
//   face edges (0 or 1); face display mode (0 .. 4);
//   mesh count, then one buffer per mesh holding its POL image;
//   one buffer holding the net's text and a terminating NUL.
// A mesh count of 0 ends the record. Version 2 records carry references but
// no display settings, version 3 records display settings but no
// references.
#include "foundation/Logging.h"
#include "mesh/BaseMesh.h"
#include "mesh/PolFormat.h"
#include "platform/Diagnostics.h"
#include "plugin/MeshObject.h"
#include "plugin/MeshwrightPlugIn.h"

#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int recordVersion = 4;
// The most a net text read from a record may inflate: the text of a net is
// mostly coordinates and normals of 16 digits, surfaces and runs of node
// indices, and deflates 3:1 to 7:1 (grids of a few nodes to long poly-lines
// and faces with surfaces); a text that inflates far beyond that repeats
// itself, and would have the reader fit every repetition. A few kilobytes
// are read however well they deflate.
constexpr std::size_t kNetTextInflation = 32;
constexpr std::size_t kNetTextSlack = 4096;

bool isListed(const CMeshwrightPlugIn& plugIn, const CVezadObject* object)
{
    for (const CMWMeshObject* listed : plugIn.meshObjects)
        if (listed == object)
            return true;
    return false;
}

// The deleted mesh objects of the document that the watcher follows: the
// watcher takes deleted objects off the plug-in's list, but they still hold
// the user's meshes until the document lets them go.
std::vector<CMWMeshObject*> deletedMeshObjects(CMeshwrightPlugIn& plugIn, CVezadDoc& doc)
{
    std::vector<CMWMeshObject*> found;
    CVezadObjectIterator it(doc, CVezadObjectIterator::deleted_objects);
    for (CVezadObject* object = it.First(); object != nullptr; object = it.Next())
        if (auto* mesh = dynamic_cast<CMWMeshObject*>(object);
            mesh != nullptr && plugIn.watcher.FindUuid(mesh->ModelObjectId()))
            found.push_back(mesh);
    for (CMWMeshObject* listed : plugIn.meshObjects)
        if (listed != nullptr && listed->IsDeleted())
            found.push_back(listed);
    return found;
}

// The mesh objects written: those listed, not deleted and holding a mesh.
std::vector<CMWMeshObject*> liveMeshObjects(const CMeshwrightPlugIn& plugIn)
{
    std::vector<CMWMeshObject*> live;
    for (CMWMeshObject* object : plugIn.meshObjects)
        if (object != nullptr && !object->IsDeleted() && object->mesh != nullptr)
            live.push_back(object);
    return live;
}

struct PolImage {
    std::unique_ptr<char[]> bytes;
    unsigned size = 0;
};

// A count read from the record: negative counts are none.
int readCount(ON_BinaryArchive& archive, bool& ok)
{
    int count = 0;
    ok = ok && archive.ReadInt(&count);
    return ok && count > 0 ? count : 0;
}

} // namespace

BOOL CMeshwrightPlugIn::CallWriteDocument(const CVezadFileWriteOptions&)
{
    for (CMWMeshObject* object : meshObjects)
        if (object != nullptr && !object->IsDeleted())
            return TRUE;
    CVezadView* view = VezadApp().ActiveView();
    CVezadDoc* doc = view != nullptr ? view->GetDocument() : VezadApp().ActiveDoc();
    const std::vector<CMWMeshObject*> deleted =
        doc != nullptr ? deletedMeshObjects(*this, *doc) : std::vector<CMWMeshObject*>();
    if (deleted.empty())
        return FALSE;
    if (VezadMessageBox(L"There are deleted MWMeshObjects and Grids. Do you really want to loose "
                        L"them ?",
                        L"Meshwright", MB_YESNO) == IDYES)
        return FALSE;
    if (view == nullptr || doc == nullptr)
        return FALSE;
    for (CMWMeshObject* object : deleted) {
        doc->UndeleteObject(object);
        if (!isListed(*this, object) && !object->IsDeleted())
            meshObjects.append(object);
    }
    return TRUE;
}

BOOL CMeshwrightPlugIn::WriteDocument(CVezadDoc&, ON_BinaryArchive& archive,
                                      const CVezadFileWriteOptions&)
{
    archive.WriteInt(recordVersion);
    archive.WriteInt(objectRefs.count);
    for (const CVezadObjRef& ref : objectRefs)
        ref.Write(archive);
    int mode = 0;
    bool edges = false;
    net.displayContainer.getFaceDisplayMode(mode, edges);
    archive.WriteInt(edges ? 1 : 0);
    archive.WriteInt(mode >= 0 && mode <= 4 ? mode : 0);

    // Every image is made before the count is written, so an image that
    // cannot be made leaves no gap between the buffers that follow.
    std::vector<PolImage> images;
    for (CMWMeshObject* object : liveMeshObjects(*this)) {
        char* bytes = nullptr;
        PolImage image;
        if (!serializeMesh(object->mesh, &bytes, false, &image.size) || bytes == nullptr) {
            VezadMessageBox(L"writeMesh failed", L"Meshwright");
            continue;
        }
        image.bytes.reset(bytes);
        images.push_back(std::move(image));
    }
    archive.WriteInt(static_cast<int>(images.size()));
    if (images.empty())
        return TRUE;
    for (const PolImage& image : images)
        archive.WriteCompressedBuffer(image.size, image.bytes.get());

    std::ostringstream text;
    net.write(text);
    const std::string netText = text.str();
    archive.WriteCompressedBuffer(netText.size() + 1, netText.c_str());
    return TRUE;
}

BOOL CMeshwrightPlugIn::ReadDocument(CVezadDoc& doc, ON_BinaryArchive& archive,
                                     const CVezadFileReadOptions&)
{
    objectRefs.removeAll();
    net.deleteAll(false);
    // The display lists go; the net's own drawable is one of the container's
    // entities, so the entities stay and compile anew.
    net.displayContainer.releaseLists();

    bool ok = true;
    int version = 0;
    ok = archive.ReadInt(&version);
    if (ok && (version == 2 || version >= 4)) {
        const int count = readCount(archive, ok);
        for (int i = 0; ok && i < count; ++i) {
            CVezadObjRef ref;
            ok = ref.Read(archive);
            if (ok)
                objectRefs.append(ref);
        }
    }
    if (ok && version >= 3) {
        int edges = 0, mode = 0;
        ok = archive.ReadInt(&edges) && archive.ReadInt(&mode);
        if (ok)
            net.displayContainer.setFaceDisplayMode(mode >= 1 && mode <= 4 ? mode : 0, edges != 0);
    }

    bool whole = true; // nothing of the record was lost
    const int meshCount = readCount(archive, ok);
    for (int i = 0; ok && i < meshCount; ++i) {
        const std::size_t before = archive.CurrentPosition();
        auto* object = new CMWMeshObject;
        if (!object->Read(archive) || object->mesh == nullptr) {
            delete object;
            VezadMessageBox(L"Mesh restore failed", L"Meshwright");
            whole = false;
            // A buffer that could not even be passed over leaves nothing
            // readable behind it.
            ok = archive.CurrentPosition() != before;
            continue;
        }
        if (!doc.AddObject(object, true, false)) {
            delete object;
            continue;
        }
        meshObjects.append(object);
        watcher.AddUuid(object->ModelObjectId(), true);
        net.setMesh(object->mesh);
        infoDialog.showMeshInfo(object->mesh);
        if (isLoggingEnabled())
            object->mesh->writeBinarySTL(Platform::diagnosticsPath("c:/tmp/import.stl").c_str(),
                                         nullptr, -1);
    }

    std::size_t size = 0;
    if (ok && meshCount > 0 && archive.ReadCompressedBufferSize(&size)) {
        std::vector<char> buffer(size);
        int crcFailed = 0;
        const std::size_t start = archive.CurrentPosition();
        if (archive.ReadCompressedBuffer(size, buffer.data(), &crcFailed) && crcFailed == 0) {
            const std::size_t packed = archive.CurrentPosition() - start;
            std::size_t length = 0;
            while (length < size && buffer[length] != '\0')
                ++length;
            if (length > kNetTextInflation * packed + kNetTextSlack) {
                std::cout << "the net text of " << length << " bytes inflates from " << packed
                          << ", more than " << kNetTextInflation
                          << " times: a net text repeating itself is not read." << std::endl;
                whole = false;
            } else {
                std::istringstream in(std::string(buffer.data(), length));
                // A face the read could not give its stored surface is
                // rebuilt from the net, as after an edit.
                if (!net.read(in)) {
                    whole = false;
                    net.computeSurfaces(net.draftOnly, true, nullptr);
                }
                net.showSurfaces(false);
            }
        } else {
            whole = false;
        }
    }
    return ok && whole ? TRUE : FALSE;
}
