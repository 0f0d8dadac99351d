#include "platform/host/DocumentFile.h"

#include "platform/RegularFile.h"
#include "platform/host/App.h"
#include "platform/host/Document.h"
#include "platform/host/GeometryRecords.h"
#include "platform/host/HostText.h"
#include "platform/host/PlugIn.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace VezadHost {

namespace {

constexpr unsigned char magic[8] = {'V', 'Z', 'D', 'O', 'C', '\r', '\n', 0x1A};
constexpr int formatVersion = 1;

// The object's type when it is a built-in object, else 0: custom objects
// are stored by their plug-ins.
ON::object_type storedType(const CVezadObject& object)
{
    if (dynamic_cast<const CVezadMeshObject*>(&object))
        return ON::mesh_object;
    if (dynamic_cast<const CVezadCurveObject*>(&object))
        return ON::curve_object;
    if (dynamic_cast<const CVezadSurfaceObject*>(&object))
        return ON::surface_object;
    if (dynamic_cast<const CVezadBrepObject*>(&object))
        return ON::brep_object;
    return ON::unknown_object_type;
}

bool writeBlock(ON_BinaryArchive& out, const std::vector<unsigned char>& bytes)
{
    return out.WriteInt64(static_cast<std::int64_t>(bytes.size())) &&
           out.WriteByte(bytes.size(), bytes.data());
}

// Writes bytes to a new file in path's folder and renames it to path, so
// that path holds either its old contents or all the new ones.
bool writeFileAtomically(const std::string& path, const std::vector<unsigned char>& bytes,
                         std::string& error)
{
    const std::filesystem::path target(path);
    const std::filesystem::path folder = target.parent_path().empty() ? "." : target.parent_path();
    // open applies the user's file-creation mask, unlike mkstemp's owner-only
    // mode, so the saved file gets the permissions of any other new file.
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        char suffix[48];
        std::snprintf(suffix, sizeof suffix, ".%ld-%d", static_cast<long>(::getpid()), attempt);
        std::string name = target.filename().string();
        name.insert(0, 1, '.');
        name += suffix;
        temporary = (folder / name).string();
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        error = std::string("cannot write in its folder: ") + std::strerror(errno);
        return false;
    }
    int failure = 0;
    for (std::size_t done = 0; failure == 0 && done < bytes.size();) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n == 0 || errno != EINTR)
            failure = n == 0 ? EIO : errno;
    }
    if (failure == 0 && ::fsync(fd) != 0)
        failure = errno;
    if (::close(fd) != 0 && failure == 0)
        failure = errno;
    if (failure == 0 && std::rename(temporary.c_str(), path.c_str()) != 0)
        failure = errno;
    if (failure == 0)
        return true;
    std::remove(temporary.c_str());
    error = std::string("cannot write the file: ") + std::strerror(failure);
    return false;
}

} // namespace

bool saveDocument(CVezadDoc& doc, const std::string& path, std::string& error)
{
    ON_MemoryArchive out;
    const CVezadLayerTable& layers = doc.LayerTable();
    bool ok = out.WriteByte(sizeof magic, magic) && out.WriteInt(formatVersion) &&
              out.WriteDouble(doc.AbsoluteTolerance()) && out.WriteInt(layers.LayerCount()) &&
              out.WriteInt(layers.CurrentLayerIndex());
    for (int i = 0; ok && i < layers.LayerCount(); ++i)
        ok = out.WriteString(layers.LayerName(i));

    std::vector<const CVezadObject*> stored;
    for (int i = 0; i < doc.ObjectCount(); ++i) {
        const CVezadObject* object = doc.ObjectAt(i);
        if (!object->IsDeleted() && storedType(*object) != ON::unknown_object_type)
            stored.push_back(object);
    }
    ok = ok && out.WriteInt(static_cast<int>(stored.size()));
    for (const CVezadObject* object : stored) {
        ON_MemoryArchive record;
        if (!object->Attributes().Write(record) || !writeGeometry(record, *object->Geometry())) {
            error = "object " + object->ModelObjectId().ToString() + " cannot be written";
            return false;
        }
        ok = ok && out.WriteInt(storedType(*object)) && out.WriteUuid(object->ModelObjectId()) &&
             writeBlock(out, record.Buffer());
    }

    struct Chunk {
        ON_UUID plugInId;
        std::vector<unsigned char> bytes;
    };
    std::vector<Chunk> chunks;
    CVezadFileWriteOptions options;
    for (const auto& loaded : VezadApp().LoadedPlugIns()) {
        if (!loaded.plugIn->CallWriteDocument(options))
            continue;
        ON_MemoryArchive chunk;
        if (!loaded.plugIn->WriteDocument(doc, chunk, options)) {
            error = "plug-in " + toUtf8(loaded.name) + " failed to write its data";
            return false;
        }
        chunks.push_back({loaded.plugIn->PlugInID(), chunk.Buffer()});
    }
    // The data of plug-ins that are not loaded goes back as it was read,
    // unless its plug-in has come and written its own since.
    for (const CVezadDoc::UnreadPlugInData& unread : doc.unreadPlugInData()) {
        bool written = false;
        for (const Chunk& chunk : chunks)
            written = written || chunk.plugInId == unread.plugInId;
        if (!written)
            chunks.push_back({unread.plugInId, unread.bytes});
    }
    ok = ok && out.WriteInt(static_cast<int>(chunks.size()));
    for (const Chunk& chunk : chunks)
        ok = ok && out.WriteUuid(chunk.plugInId) && writeBlock(out, chunk.bytes);
    if (!ok) {
        error = "the document cannot be put into a file";
        return false;
    }
    return writeFileAtomically(path, out.Buffer(), error);
}

namespace {

struct StoredObject {
    ON::object_type type = ON::unknown_object_type;
    ON_UUID id;
    ON_3dmObjectAttributes attributes;
    std::unique_ptr<ON_Geometry> geometry;
};

struct StoredChunk {
    ON_UUID plugInId;
    std::size_t offset = 0;
    std::size_t length = 0;
};

struct StoredDocument {
    double tolerance = 0.0;
    std::vector<ON_wString> layers;
    int currentLayer = 0;
    std::vector<StoredObject> objects;
    std::vector<StoredChunk> chunks;
};

// A count of items of at least itemBytes each that the bytes left can hold.
bool readCount(ON_BinaryArchive& in, std::size_t itemBytes, int& count)
{
    return in.ReadInt(&count) && count >= 0 &&
           static_cast<std::size_t>(count) <= in.BytesLeft() / itemBytes;
}

bool readLength(ON_BinaryArchive& in, std::size_t& length)
{
    std::int64_t value = 0;
    if (!in.ReadInt64(&value) || value < 0 || static_cast<std::uint64_t>(value) > in.BytesLeft())
        return false;
    length = static_cast<std::size_t>(value);
    return true;
}

bool readObject(ON_BinaryArchive& in, int layerCount, std::vector<StoredObject>& objects,
                std::string& error)
{
    StoredObject object;
    int type = 0;
    std::size_t length = 0;
    if (!in.ReadInt(&type) || !in.ReadUuid(object.id) || !readLength(in, length)) {
        error = "an object's header is cut short";
        return false;
    }
    object.type = static_cast<ON::object_type>(type);
    const std::string which = "object " + object.id.ToString();
    if (type != ON::mesh_object && type != ON::curve_object && type != ON::surface_object &&
        type != ON::brep_object) {
        error = which + " has the unknown type " + std::to_string(type);
        return false;
    }
    if (object.id.IsNil()) {
        error = "an object has no id";
        return false;
    }
    for (const StoredObject& other : objects)
        if (other.id == object.id) {
            error = which + " is stored twice";
            return false;
        }
    ON_BoundedArchive record(in, length);
    if (!object.attributes.Read(record) || object.attributes.m_layer_index < 0 ||
        object.attributes.m_layer_index >= layerCount) {
        error = which + " has damaged attributes";
        return false;
    }
    object.geometry.reset(readGeometry(record, object.type));
    if (!object.geometry || !record.AtEnd()) {
        error = which + " has damaged geometry";
        return false;
    }
    objects.push_back(std::move(object));
    return true;
}

bool readDocument(ON_BinaryArchive& in, StoredDocument& stored, std::string& error)
{
    unsigned char head[sizeof magic] = {};
    int version = 0;
    if (!in.ReadByte(sizeof head, head) || std::memcmp(head, magic, sizeof magic) != 0) {
        error = "not a Vezad document";
        return false;
    }
    if (!in.ReadInt(&version) || version != formatVersion) {
        error = "document format " + std::to_string(version) + " is not known";
        return false;
    }
    int layerCount = 0;
    if (!in.ReadDouble(&stored.tolerance) || !(stored.tolerance > 0.0) ||
        !std::isfinite(stored.tolerance) || !readCount(in, 4, layerCount) || layerCount < 1 ||
        !in.ReadInt(&stored.currentLayer) || stored.currentLayer < 0 ||
        stored.currentLayer >= layerCount) {
        error = "the document settings are damaged";
        return false;
    }
    for (int i = 0; i < layerCount; ++i) {
        ON_wString name;
        if (!in.ReadString(name)) {
            error = "the layer table is cut short";
            return false;
        }
        stored.layers.push_back(name);
    }
    int count = 0;
    if (!readCount(in, 28, count)) {
        error = "the object table is damaged";
        return false;
    }
    for (int i = 0; i < count; ++i)
        if (!readObject(in, layerCount, stored.objects, error))
            return false;
    if (!readCount(in, 24, count)) {
        error = "the plug-in data table is damaged";
        return false;
    }
    for (int i = 0; i < count; ++i) {
        StoredChunk chunk;
        if (!in.ReadUuid(chunk.plugInId) || !readLength(in, chunk.length)) {
            error = "plug-in data is cut short";
            return false;
        }
        for (const StoredChunk& other : stored.chunks)
            if (other.plugInId == chunk.plugInId) {
                error = "the data of plug-in " + chunk.plugInId.ToString() + " is stored twice";
                return false;
            }
        chunk.offset = in.CurrentPosition();
        in.SeekFromStart(chunk.offset + chunk.length);
        stored.chunks.push_back(chunk);
    }
    if (!in.AtEnd()) {
        error = "unknown bytes follow the document";
        return false;
    }
    return true;
}

CVezadObject* builtInObject(StoredObject& object)
{
    ON_Geometry* geometry = object.geometry.release();
    switch (object.type) {
    case ON::mesh_object:
        return new CVezadMeshObject(static_cast<ON_Mesh*>(geometry));
    case ON::curve_object:
        return new CVezadCurveObject(static_cast<ON_Curve*>(geometry));
    case ON::surface_object:
        return new CVezadSurfaceObject(static_cast<ON_Surface*>(geometry));
    default:
        return new CVezadBrepObject(static_cast<ON_Brep*>(geometry));
    }
}

} // namespace

OpenResult openDocument(CVezadDoc& doc, const std::string& path, std::string& error)
{
    // Only a regular file is read: a folder, a FIFO or a device is refused
    // before the document changes.
    std::vector<unsigned char> bytes;
    std::string problem;
    if (!Platform::readRegularFile(path, bytes, &problem)) {
        error = "file " + problem;
        return OpenResult::refused;
    }
    ON_MemoryArchive in(std::move(bytes));
    StoredDocument stored;
    if (!readDocument(in, stored, error))
        return OpenResult::refused;
    CVezadApp& app = VezadApp();
    CVezadFileReadOptions options;
    // The loaded plug-ins check their data first: a record one of them
    // cannot read whole refuses the file while the document is as it was.
    std::vector<CVezadPlugIn*> checked;
    for (const StoredChunk& chunk : stored.chunks) {
        const CVezadApp::LoadedPlugIn* loaded = app.findLoadedPlugIn(chunk.plugInId);
        if (!loaded)
            continue;
        in.SeekFromStart(chunk.offset);
        ON_BoundedArchive data(in, chunk.length);
        ON_wString problem;
        checked.push_back(loaded->plugIn);
        if (!loaded->plugIn->CheckDocument(data, options, problem)) {
            for (CVezadPlugIn* plugIn : checked)
                plugIn->ForgetCheckedDocument();
            error = "the data of plug-in " + toUtf8(loaded->name) + " cannot be read whole" +
                    (problem.IsEmpty() ? std::string() : ": " + problem.ToUtf8());
            return OpenResult::refused;
        }
    }

    doc.closeContents();
    doc.announceNewDocument();
    doc.SetAbsoluteTolerance(stored.tolerance);
    doc.LayerTable().assign(stored.layers, stored.currentLayer);
    for (StoredObject& object : stored.objects) {
        CVezadObject* built = builtInObject(object);
        if (!doc.addStoredObject(built, object.id, object.attributes))
            delete built;
    }
    std::string lost, unread;
    error.clear();
    for (const StoredChunk& chunk : stored.chunks) {
        in.SeekFromStart(chunk.offset);
        const CVezadApp::LoadedPlugIn* loaded = app.findLoadedPlugIn(chunk.plugInId);
        if (!loaded) {
            // Kept byte for byte for the next save.
            std::vector<unsigned char> bytes(chunk.length);
            if (chunk.length > 0)
                in.ReadByte(chunk.length, bytes.data());
            doc.keepUnreadPlugInData(chunk.plugInId, std::move(bytes));
            unread += (unread.empty() ? "" : ", ") + chunk.plugInId.ToString();
            continue;
        }
        ON_BoundedArchive data(in, chunk.length);
        if (!loaded->plugIn->ReadDocument(doc, data, options))
            lost += (lost.empty() ? "" : ", ") + toUtf8(loaded->name);
    }
    if (!lost.empty())
        error = "plug-in " + lost + " could not read its data";
    if (!unread.empty())
        error += (error.empty() ? "" : "; ") + std::string("the data of plug-in ") + unread +
                 " is kept unread, as no such plug-in is loaded";
    return error.empty() ? OpenResult::opened : OpenResult::openedWithLoss;
}

} // namespace VezadHost
