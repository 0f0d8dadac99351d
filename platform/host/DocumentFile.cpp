#include "platform/host/DocumentFile.h"

#include "platform/RegularFile.h"
#include "platform/host/App.h"
#include "platform/host/Document.h"
#include "platform/host/GeometryRecords.h"
#include "platform/host/HostText.h"
#include "platform/host/PlugIn.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <vector>

#include <zlib.h>

#include <fcntl.h>
#include <unistd.h>

namespace VezadHost {

namespace {

constexpr unsigned char magic[8] = {'V', 'Z', 'D', 'O', 'C', '\r', '\n', 0x1A};
// Version 1 stores its records bare; version 2, the one written, declares
// the file's length and wraps every record in a block with its check sum.
constexpr int formatVersion = 2;
constexpr int firstVersion = 1;
// A block: int64 length, uint32 CRC-32 of the length's eight bytes and the
// body, then the body.
constexpr std::size_t kBlockHead = 12;

// The CRC-32 of a block starts with its length field, then takes the body
// piece by piece. The start is a call of its own: a running value of 0 is a
// value like any other (one piece in 2^32 ends on it), never a sign that
// nothing was taken yet.
std::uint32_t blockCrcStart(std::uint64_t length)
{
    unsigned char field[8];
    for (int k = 0; k < 8; ++k)
        field[k] = static_cast<unsigned char>(length >> (8 * k));
    return static_cast<std::uint32_t>(::crc32(0L, field, sizeof field));
}

std::uint32_t blockCrcUpdate(std::uint32_t crc, const unsigned char* body, std::size_t count)
{
    for (std::size_t done = 0; done < count;) {
        const std::size_t step = std::min<std::size_t>(count - done, 1u << 30);
        crc = static_cast<std::uint32_t>(::crc32(crc, body + done, static_cast<uInt>(step)));
        done += step;
    }
    return crc;
}

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

// A block of the current format: length, check sum, body.
bool writeCheckedBlock(ON_BinaryArchive& out, const std::vector<unsigned char>& body)
{
    const std::uint32_t crc = blockCrcUpdate(blockCrcStart(body.size()), body.data(), body.size());
    return out.WriteInt64(static_cast<std::int64_t>(body.size())) &&
           out.WriteInt(static_cast<int>(crc)) && out.WriteByte(body.size(), body.data());
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

bool saveDocument(CVezadDoc& doc, const std::string& path, std::string& error, int version)
{
    if (version != formatVersion && version != firstVersion) {
        error = "document format " + std::to_string(version) + " is not known";
        return false;
    }
    const CVezadLayerTable& layers = doc.LayerTable();
    std::vector<const CVezadObject*> stored;
    for (int i = 0; i < doc.ObjectCount(); ++i) {
        const CVezadObject* object = doc.ObjectAt(i);
        if (!object->IsDeleted() && storedType(*object) != ON::unknown_object_type)
            stored.push_back(object);
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

    const bool first = version == firstVersion;
    ON_MemoryArchive settings;
    bool ok = settings.WriteDouble(doc.AbsoluteTolerance()) &&
              settings.WriteInt(layers.LayerCount()) &&
              settings.WriteInt(layers.CurrentLayerIndex());
    for (int i = 0; ok && i < layers.LayerCount(); ++i)
        ok = settings.WriteString(layers.LayerName(i));
    ok = ok && settings.WriteInt(static_cast<int>(stored.size()));
    if (!first)
        ok = ok && settings.WriteInt(static_cast<int>(chunks.size()));

    ON_MemoryArchive out;
    ok = ok && out.WriteByte(sizeof magic, magic) && out.WriteInt(version);
    if (first)
        ok = ok && out.WriteByte(settings.Buffer().size(), settings.Buffer().data());
    else
        ok = ok && out.WriteInt64(0) && writeCheckedBlock(out, settings.Buffer());
    for (const CVezadObject* object : stored) {
        ON_MemoryArchive record;
        if ((!first && (!record.WriteInt(storedType(*object)) ||
                        !record.WriteUuid(object->ModelObjectId()))) ||
            !object->Attributes().Write(record) || !writeGeometry(record, *object->Geometry())) {
            error = "object " + object->ModelObjectId().ToString() + " cannot be written";
            return false;
        }
        if (first)
            ok = ok && out.WriteInt(storedType(*object)) &&
                 out.WriteUuid(object->ModelObjectId()) && writeBlock(out, record.Buffer());
        else
            ok = ok && writeCheckedBlock(out, record.Buffer());
    }
    if (first)
        ok = ok && out.WriteInt(static_cast<int>(chunks.size()));
    for (const Chunk& chunk : chunks) {
        if (first) {
            ok = ok && out.WriteUuid(chunk.plugInId) && writeBlock(out, chunk.bytes);
            continue;
        }
        ON_MemoryArchive block;
        ok = ok && block.WriteUuid(chunk.plugInId) &&
             block.WriteByte(chunk.bytes.size(), chunk.bytes.data()) &&
             writeCheckedBlock(out, block.Buffer());
    }
    if (!ok) {
        error = "the document cannot be put into a file";
        return false;
    }
    // The file's length goes into its head, after the version.
    std::vector<unsigned char> bytes = out.Buffer();
    const std::uint64_t length = bytes.size();
    for (int k = 0; !first && k < 8; ++k)
        bytes[sizeof magic + 4 + std::size_t(k)] = static_cast<unsigned char>(length >> (8 * k));
    return writeFileAtomically(path, bytes, error);
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

// The block that starts at the archive's position: its length is checked
// against the bytes left, and its check sum over the whole body before
// anything of it is read. The archive is left at the body's start, whose
// length `length` receives. False, with the archive where it was, for a
// block cut short or damaged.
bool readCheckedBlock(ON_BinaryArchive& in, std::size_t& length)
{
    const std::size_t start = in.CurrentPosition();
    std::int64_t value = 0;
    int stored = 0;
    if (!in.ReadInt64(&value) || !in.ReadInt(&stored) || value < 0 ||
        static_cast<std::uint64_t>(value) > in.BytesLeft()) {
        in.SeekFromStart(start);
        return false;
    }
    length = static_cast<std::size_t>(value);
    const std::size_t body = in.CurrentPosition();
    std::vector<unsigned char> piece(std::min<std::size_t>(length, std::size_t(1) << 20));
    std::uint32_t crc = blockCrcStart(length);
    for (std::size_t done = 0; done < length;) {
        const std::size_t step = std::min(piece.size(), length - done);
        if (!in.ReadByte(step, piece.data())) {
            in.SeekFromStart(start);
            return false;
        }
        crc = blockCrcUpdate(crc, piece.data(), step);
        done += step;
    }
    if (crc != static_cast<std::uint32_t>(stored)) {
        in.SeekFromStart(start);
        return false;
    }
    in.SeekFromStart(body);
    return true;
}

// An object's type and id, then its record of attributes and geometry. In
// the first version the type, id and record length stand in the object
// table; in the current one the type, id and record are the body of a
// checked block. With headsOnly the record is passed over unread (its
// block still checked).
bool readObject(ON_BinaryArchive& in, int version, int layerCount, bool headsOnly,
                std::vector<StoredObject>& objects, std::string& error)
{
    StoredObject object;
    int type = 0;
    std::size_t length = 0;
    const std::string number = std::to_string(objects.size() + 1);
    if (version == firstVersion) {
        if (!in.ReadInt(&type) || !in.ReadUuid(object.id) || !readLength(in, length)) {
            error = "an object's header is cut short";
            return false;
        }
    } else if (!readCheckedBlock(in, length)) {
        error = "object record " + number + " is cut short or damaged (its check sum differs)";
        return false;
    }
    const std::size_t end = in.CurrentPosition() + length;
    ON_BoundedArchive record(in, length);
    if (version != firstVersion && (!record.ReadInt(&type) || !record.ReadUuid(object.id))) {
        error = "object record " + number + " is cut short";
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
    if (headsOnly) {
        in.SeekFromStart(end);
        objects.push_back(std::move(object));
        return true;
    }
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

// The document's settings: tolerance, layers and (in the current version)
// the object and chunk counts, which the first version stores before its
// tables.
bool readSettings(ON_BinaryArchive& in, StoredDocument& stored, int& layerCount, std::string& error)
{
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
    return true;
}

// Reads the document at the archive's start. With headsOnly the objects'
// records are passed over and nothing is kept but what the tables say: the
// check made on the file itself, before its body is read, which costs the
// reads of the tables and the check sums.
bool readDocument(ON_BinaryArchive& in, StoredDocument& stored, bool headsOnly, std::string& error)
{
    unsigned char head[sizeof magic] = {};
    int version = 0;
    if (!in.ReadByte(sizeof head, head) || std::memcmp(head, magic, sizeof magic) != 0) {
        error = "not a Vezad document";
        return false;
    }
    if (!in.ReadInt(&version) || (version != firstVersion && version != formatVersion)) {
        error = "document format " + std::to_string(version) + " is not known";
        return false;
    }
    int layerCount = 0, objectCount = 0, chunkCount = 0;
    if (version == firstVersion) {
        if (!readSettings(in, stored, layerCount, error))
            return false;
        if (!readCount(in, 28, objectCount)) {
            error = "the object table is damaged";
            return false;
        }
    } else {
        // The length declared is the file's: a file cut short or with bytes
        // after the document is refused before its records are read.
        std::int64_t declared = 0;
        const std::size_t fileLength = in.CurrentPosition() + in.BytesLeft();
        if (!in.ReadInt64(&declared) || declared != static_cast<std::int64_t>(fileLength)) {
            error = std::string(declared < static_cast<std::int64_t>(fileLength)
                                    ? "unknown bytes follow the document"
                                    : "the document is cut short") +
                    " (it declares " + std::to_string(declared) + " bytes, the file holds " +
                    std::to_string(fileLength) + ")";
            return false;
        }
        std::size_t length = 0;
        if (!readCheckedBlock(in, length)) {
            error = "the document settings are cut short or damaged (their check sum differs)";
            return false;
        }
        ON_BoundedArchive settings(in, length);
        if (!readSettings(settings, stored, layerCount, error))
            return false;
        if (!settings.ReadInt(&objectCount) || !settings.ReadInt(&chunkCount) ||
            !settings.AtEnd() || objectCount < 0 || chunkCount < 0 ||
            std::size_t(objectCount) > in.BytesLeft() / kBlockHead ||
            std::size_t(chunkCount) > in.BytesLeft() / kBlockHead) {
            error = "the document settings are damaged";
            return false;
        }
    }
    for (int i = 0; i < objectCount; ++i)
        if (!readObject(in, version, layerCount, headsOnly, stored.objects, error))
            return false;
    if (version == firstVersion && !readCount(in, 24, chunkCount)) {
        error = "the plug-in data table is damaged";
        return false;
    }
    for (int i = 0; i < chunkCount; ++i) {
        StoredChunk chunk;
        std::size_t length = 0;
        if (version != firstVersion &&
            (!readCheckedBlock(in, length) || length < 16 || !in.ReadUuid(chunk.plugInId))) {
            error = "plug-in data record " + std::to_string(i + 1) +
                    " is cut short or damaged (its check sum differs)";
            return false;
        }
        if (version != firstVersion)
            chunk.length = length - 16;
        else if (!in.ReadUuid(chunk.plugInId) || !readLength(in, chunk.length)) {
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
    // before the document changes. Its signature, the lengths its tables
    // declare and every check sum are checked on the file itself before its
    // body is read, so that a file that is no document, or a damaged one,
    // is refused at the cost of its tables, whatever its size.
    std::string problem;
    const int fd = Platform::openRegularFile(path, &problem);
    FILE* file = fd < 0 ? nullptr : ::fdopen(fd, "rb");
    if (file == nullptr) {
        if (fd >= 0)
            ::close(fd);
        error = "file " + (fd < 0 ? problem : std::string("cannot be read"));
        return OpenResult::refused;
    }
    std::vector<unsigned char> bytes;
    {
        ON_BinaryFile on(ON::read, file);
        StoredDocument heads;
        if (!readDocument(on, heads, true, error)) {
            std::fclose(file);
            return OpenResult::refused;
        }
        // What was checked is read whole; a body that memory cannot hold is
        // refused like a damaged one.
        const std::size_t size = on.BytesLeft() + on.CurrentPosition();
        try {
            bytes.resize(size);
        } catch (const std::bad_alloc&) {
            std::fclose(file);
            error = "the document of " + std::to_string(size) + " bytes does not fit in memory";
            return OpenResult::refused;
        }
        const bool read = on.SeekFromStart(0) && (size == 0 || on.ReadByte(size, bytes.data()));
        std::fclose(file);
        if (!read) {
            error = "file cannot be read";
            return OpenResult::refused;
        }
    }
    ON_MemoryArchive in(std::move(bytes));
    StoredDocument stored;
    if (!readDocument(in, stored, false, error))
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
