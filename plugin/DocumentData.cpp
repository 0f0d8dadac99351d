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
//
// A record is read whole before anything changes: its references, its
// meshes (with their facet hashes) and its net (read on the last of them)
// go into a record of their own, and only then into the plug-in and the
// document. The host's open asks CheckDocument first, which refuses a
// record whose counts do not match its bytes or whose meshes or net text
// cannot be read whole; the ReadDocument that follows takes what the check
// read.
#include "foundation/Logging.h"
#include "mesh/BaseMesh.h"
#include "mesh/PolFormat.h"
#include "platform/Diagnostics.h"
#include "plugin/MeshObject.h"
#include "plugin/MeshwrightPlugIn.h"

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <istream>
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
// A compressed buffer's record begins with its sizes and check sum.
constexpr std::size_t kBufferRecordHead = 20;
// The fewest bytes an object reference and a mesh's buffer take.
constexpr std::size_t kReferenceBytes = 28;
constexpr std::size_t kBufferBytes = 8;

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

// The FNV-1a hash of the bytes from the archive's position to its end, and
// their count; the archive stays where it was. It tells the chunk a check
// read from any other.
std::uint64_t chunkFingerprint(ON_BinaryArchive& archive, std::size_t& length)
{
    const std::size_t start = archive.CurrentPosition();
    std::uint64_t hash = 14695981039346656037ull;
    std::vector<unsigned char> piece(std::size_t(1) << 16);
    length = 0;
    while (!archive.AtEnd()) {
        const std::size_t step = std::min(piece.size(), archive.BytesLeft());
        if (!archive.ReadByte(step, piece.data()))
            break;
        for (std::size_t k = 0; k < step; ++k)
            hash = (hash ^ piece[k]) * 1099511628211ull;
        length += step;
    }
    archive.SeekFromStart(start);
    return hash;
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
    // The mesh the net lies on comes back; one a load replaced (deleted
    // for the load's undo) stays deleted beside it.
    std::vector<CMWMeshObject*> back;
    for (CMWMeshObject* object : deleted)
        if (object->mesh != nullptr && object->mesh == net.mesh)
            back.push_back(object);
    for (CMWMeshObject* object : back.empty() ? deleted : back) {
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

struct CMeshwrightPlugIn::CheckedRecord {
    std::size_t length = 0; // of the chunk read, and its fingerprint
    std::uint64_t fingerprint = 0;
    Kor::List<CVezadObjRef> refs;
    bool displayRead = false; // the record holds display settings
    int edges = 0, mode = 0;
    std::vector<std::unique_ptr<CMWMeshObject>> meshes; // restored, in record order
    int lostMeshes = 0;                                 // those that could not be
    // The net read on the last restored mesh (without one, on the plug-in
    // net's mesh); null when the record holds no net text or its buffer
    // failed.
    std::unique_ptr<GB::CSurfaceNet> net;
    // The stored faces of the net text whose loop the net read does not
    // hold, rebuilt from the net.
    int rebuiltFaces = 0;
    // The first part of the record that could not be read whole; empty
    // for a whole record.
    std::string problem;

    void fail(const std::string& what)
    {
        if (problem.empty())
            problem = what;
    }
};

void CMeshwrightPlugIn::CheckedRecordDeleter::operator()(CheckedRecord* record) const
{
    // The net lives on a mesh of the record: it goes first.
    if (record != nullptr)
        record->net.reset();
    delete record;
}

namespace {

// What passCheckedBuffer found.
enum class BufferSum { passed, damaged, unchecked };

// Passes over the compressed buffer at the archive's position when it
// inflates to its size and check sum (passed); damaged, the archive unmoved,
// when it does not. Unchecked, the archive unmoved, when no buffer record
// starts there or it inflates beyond what a mesh image or net text does
// (both are bounded alike): the full read says what is wrong with it.
BufferSum passCheckedBuffer(ON_BinaryArchive& archive)
{
    std::size_t size = 0, packed = 0;
    if (!archive.ReadCompressedBufferSize(&size, &packed) ||
        size > kNetTextInflation * (packed + kBufferRecordHead) + kNetTextSlack)
        return BufferSum::unchecked;
    if (!ON_CompressedBufferStream::Check(archive))
        return BufferSum::damaged;
    archive.SeekFromStart(archive.CurrentPosition() +
                          (size > 0 ? kBufferRecordHead + packed : sizeof(std::int64_t)));
    return BufferSum::passed;
}

// Reads the record at the archive's position into `record`, up to the first
// field that cannot be read; a mesh that cannot be restored is passed over
// when its buffer can be, and the rest read on. Every count is checked
// against the bytes left, and the record must end where its counts say;
// record.problem names the first part that is not whole. With sumsOnly the
// buffers are only checked against their sizes and check sums, and passed
// over: the check that comes before any of them is parsed; a buffer that
// is missing or cannot be checked ends it, for the full read to say why.
void readRecord(CMeshwrightPlugIn& plugIn, ON_BinaryArchive& archive,
                CMeshwrightPlugIn::CheckedRecord& record, bool sumsOnly = false)
{
    const auto left = [&archive] { return std::to_string(archive.BytesLeft()); };
    int version = 0;
    if (!archive.ReadInt(&version)) {
        record.fail("the record ends before its version");
        return;
    }
    if (version == 2 || version >= 4) {
        int count = 0;
        if (!archive.ReadInt(&count)) {
            record.fail("the record ends before its reference count");
            return;
        }
        if (count < 0 || std::size_t(count) > archive.BytesLeft() / kReferenceBytes) {
            record.fail("its reference count " + std::to_string(count) +
                        (count < 0 ? " is negative"
                                   : " is more than the " + left() + " bytes after it can hold"));
            return;
        }
        for (int i = 0; i < count; ++i) {
            CVezadObjRef ref;
            if (!ref.Read(archive)) {
                record.fail("reference " + std::to_string(i + 1) + " of " + std::to_string(count) +
                            " is damaged");
                return;
            }
            record.refs.append(ref);
        }
    }
    if (version >= 3) {
        if (!archive.ReadInt(&record.edges) || !archive.ReadInt(&record.mode)) {
            record.fail("the record ends inside its display settings");
            return;
        }
        record.displayRead = true;
    }
    int meshCount = 0;
    if (!archive.ReadInt(&meshCount)) {
        record.fail("the record ends before its mesh count");
        return;
    }
    if (meshCount < 0 || std::size_t(meshCount) > archive.BytesLeft() / kBufferBytes) {
        record.fail("its mesh count " + std::to_string(meshCount) +
                    (meshCount < 0 ? " is negative"
                                   : " is more than the " + left() + " bytes after it can hold"));
        return;
    }
    for (int i = 0; i < meshCount; ++i) {
        const std::size_t before = archive.CurrentPosition();
        if (sumsOnly) {
            const BufferSum sum = passCheckedBuffer(archive);
            if (sum == BufferSum::damaged)
                record.fail("mesh " + std::to_string(i + 1) + " of " + std::to_string(meshCount) +
                            " cannot be restored");
            if (sum != BufferSum::passed)
                return;
            continue;
        }
        auto object = std::make_unique<CMWMeshObject>();
        if (!object->Read(archive) || object->mesh == nullptr) {
            ++record.lostMeshes;
            record.fail("mesh " + std::to_string(i + 1) + " of " + std::to_string(meshCount) +
                        " cannot be restored");
            // A buffer that could not even be passed over leaves nothing
            // readable behind it.
            if (archive.CurrentPosition() == before)
                return;
            continue;
        }
        record.meshes.push_back(std::move(object));
    }
    // A record without meshes ends at its count.
    if (meshCount == 0) {
        if (!archive.AtEnd())
            record.fail("its mesh count 0 ends the record, but " + left() + " bytes follow");
        return;
    }

    std::size_t size = 0, packed = 0;
    if (sumsOnly) {
        if (passCheckedBuffer(archive) == BufferSum::damaged &&
            archive.ReadCompressedBufferSize(&size, &packed))
            record.fail("its net text does not inflate to its " + std::to_string(size) +
                        " bytes and their check sum");
        return;
    }
    if (!archive.ReadCompressedBufferSize(&size, &packed)) {
        record.fail("the net text after mesh " + std::to_string(meshCount) +
                    " is missing or cut short");
        return;
    }

    // Checked before anything is allocated or read.
    if (size > kNetTextInflation * (packed + kBufferRecordHead) + kNetTextSlack) {
        std::cout << "the net text of " << size << " bytes inflates from "
                  << packed + kBufferRecordHead << ", more than " << kNetTextInflation
                  << " times: a net text repeating itself is not read." << std::endl;
        record.fail("its net text of " + std::to_string(size) + " bytes inflates more than " +
                    std::to_string(kNetTextInflation) + " times");
        return;
    }
    // The text's check sum is checked before anything of it is read: a
    // damaged text costs its inflation, not a parse and the faces built
    // from it.
    std::size_t nulAt = 0;
    if (!ON_CompressedBufferStream::Check(archive)) {
        record.fail("its net text does not inflate to its " + std::to_string(size) +
                    " bytes and their check sum");
        return;
    }
    // The text is read as it inflates, up to its terminating NUL, into a net
    // of its own on the last mesh.
    ON_CompressedBufferStream text;
    if (!text.Open(archive, true)) {
        record.fail("the net text's buffer is damaged");
        return;
    }
    auto net = std::make_unique<GB::CSurfaceNet>();
    net->setMesh(record.meshes.empty() ? plugIn.net.mesh : record.meshes.back()->mesh);
    plugIn.net.prepareTextRead(*net);
    std::istream in(&text);
    const bool read = net->read(in);
    if (!text.Finish(&nulAt)) {
        record.fail("its net text does not inflate to its " + std::to_string(size) +
                    " bytes and their check sum");
        return;
    }
    if (nulAt + 1 != size)
        record.fail(nulAt == size ? "its net text of " + std::to_string(size) +
                                        " bytes has no terminating NUL"
                                  : "its net text ends at byte " + std::to_string(nulAt) +
                                        " of its " + std::to_string(size));
    else if (!read && net->lostStoredFaces() == 0)
        record.fail("its net text cannot be read whole");
    // A whole text whose stored loop the net read does not hold opens with
    // the whole net, that face rebuilt.
    record.rebuiltFaces = net->lostStoredFaces();
    record.net = std::move(net);
    if (!archive.AtEnd())
        record.fail(left() + " bytes follow the net text, the record's end");
}

} // namespace

BOOL CMeshwrightPlugIn::CheckDocument(ON_BinaryArchive& archive, const CVezadFileReadOptions&,
                                      ON_wString& problem)
{
    checkedRecord.reset();
    std::unique_ptr<CheckedRecord, CheckedRecordDeleter> record(new CheckedRecord);
    record->fingerprint = chunkFingerprint(archive, record->length);
    // Every buffer's check sum first: a damaged mesh or net is refused
    // before any mesh or net of the record is parsed.
    const std::size_t start = archive.CurrentPosition();
    CheckedRecord sums;
    readRecord(*this, archive, sums, true);
    if (!sums.problem.empty()) {
        problem = ON_wString(sums.problem.c_str());
        return FALSE;
    }
    archive.SeekFromStart(start);
    readRecord(*this, archive, *record);
    if (!record->problem.empty()) {
        problem = ON_wString(record->problem.c_str());
        return FALSE;
    }
    checkedRecord = std::move(record);
    return TRUE;
}

void CMeshwrightPlugIn::ForgetCheckedDocument()
{
    checkedRecord.reset();
}

BOOL CMeshwrightPlugIn::ReadDocument(CVezadDoc& doc, ON_BinaryArchive& archive,
                                     const CVezadFileReadOptions&)
{
    objectRefs.removeAll();
    net.deleteAll(false);
    // The display lists go; the net's own drawable is one of the container's
    // entities, so the entities stay and compile anew.
    net.displayContainer.releaseLists();

    std::unique_ptr<CheckedRecord, CheckedRecordDeleter> record = std::move(checkedRecord);
    std::size_t length = 0;
    const std::uint64_t fingerprint = chunkFingerprint(archive, length);
    if (!record || record->fingerprint != fingerprint || record->length != length) {
        record.reset(new CheckedRecord);
        readRecord(*this, archive, *record);
    }

    for (const CVezadObjRef& ref : record->refs)
        objectRefs.append(ref);
    if (record->displayRead)
        net.displayContainer.setFaceDisplayMode(
            record->mode >= 1 && record->mode <= 4 ? record->mode : 0, record->edges != 0);
    for (int i = 0; i < record->lostMeshes; ++i)
        VezadMessageBox(L"Mesh restore failed", L"Meshwright");
    bool whole = record->problem.empty();
    for (std::unique_ptr<CMWMeshObject>& restored : record->meshes) {
        CMWMeshObject* object = restored.release();
        if (!doc.AddObject(object, true, false)) {
            // The net read on this mesh goes with it.
            if (record->net && record->net->mesh == object->mesh)
                record->net.reset();
            delete object;
            whole = false;
            continue;
        }
        meshObjects.append(object);
        watcher.AddUuid(object->ModelObjectId(), true);
        net.setMesh(object->mesh);
        infoDialog.showMeshInfo(object->mesh);
        if (isLoggingEnabled())
            Platform::writeDiagnosticsFile("c:/tmp/import.stl", [&](const std::string& path) {
                return object->mesh->writeBinarySTL(path.c_str(), nullptr, -1);
            });
    }
    if (record->net) {
        net.takeTextRead(*record->net);
        // A face whose stored loop the net read does not hold is rebuilt
        // from the net, as after an edit; its stored surface and states are
        // lost.
        if (record->rebuiltFaces > 0) {
            whole = false;
            net.computeSurfaces(net.draftOnly, true, nullptr);
        }
        net.showSurfaces(false);
    }
    // The gap check measures the Breps of the last commit along the sides
    // their faces share, as it did before the document was saved.
    restoreCommittedSides(doc);
    return whole ? TRUE : FALSE;
}
