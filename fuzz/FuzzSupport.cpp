#include "FuzzTarget.h"

#include "mesh/FlatMesh.h"
#include "mesh/PolFormat.h"
#include "platform/host/App.h"
#include "platform/host/Document.h"
#include "platform/host/HeadlessHost.h"
#include "platform/on/Archive.h"
#include "plugin/MeshObject.h"
#include "plugin/MeshwrightPlugIn.h"

#include <zlib.h>

#include <filesystem>
#include <memory>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace mwfuzz {

InputFile::InputFile(const std::uint8_t* data, std::size_t size, const char* extension)
{
    const char* dir = std::getenv("TMPDIR");
    path_ = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/mwfuzz-" +
            std::to_string(::getpid()) + extension;
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
}

InputFile::~InputFile()
{
    std::remove(path_.c_str());
}

void require(bool holds, const char* what)
{
    if (!holds) {
        std::fprintf(stderr, "broken promise: %s\n", what);
        std::abort();
    }
}

CVezadDoc& hostDocument()
{
    static HeadlessHost host;
    if (!host.isRunning()) {
        HeadlessHostSettings settings;
        settings.plugInFolder = std::filesystem::temp_directory_path().string();
        settings.outputFolder = settings.plugInFolder;
        settings.plugIns = {L"Meshwright"};
        settings.captureStandardOutput = false;
        // No views: nothing a reader does needs drawing, and the offscreen
        // contexts would outlive the exit of the process.
        settings.views = {};
        require(host.start(settings), "the host starts with the plug-in");
    }
    return host.doc();
}

void startHost()
{
    CVezadDoc& doc = hostDocument();
    const std::string image = smallPolImage();
    ON_MemoryArchive written;
    written.WriteCompressedBuffer(image.size(), image.data());
    ON_MemoryArchive record(written.Buffer());
    auto object = std::make_unique<CMWMeshObject>();
    if (object->Read(record) && doc.AddObject(object.get(), true))
        object.release();
    endHostRun();
}

void endHostRun()
{
    hostDocument().closeContents();
    MeshwrightPlugIn().net.deleteAll(false);
    VezadApp().resetSession();
}

std::string smallPolImage()
{
    CFlatMesh mesh;
    const float corners[4][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0.5f}};
    for (const auto& c : corners)
        mesh.addVertex(Mesh::CBaseMesh::Point(c[0], c[1], c[2]));
    const int first[3] = {0, 1, 2}, second[3] = {0, 2, 3};
    mesh.addPolygon(first, 3, -1);
    mesh.addPolygon(second, 3, -1);
    char* bytes = nullptr;
    unsigned size = 0;
    require(serializeMesh(&mesh, &bytes, false, &size) && bytes != nullptr,
            "a small mesh has a POL image");
    std::string image(bytes, size);
    delete[] bytes;
    return image;
}

std::vector<unsigned char> compressedBufferOf(const std::uint8_t* stream, std::size_t size)
{
    // The readers refuse a stored size above 1040 bytes for each compressed
    // one (deflate's own limit is near 1032); a byte beyond that is enough
    // to show them a size they refuse.
    const std::size_t room = size * 1040 + 64 + 1;
    std::vector<unsigned char> output(std::min<std::size_t>(room, 4096));
    z_stream z{};
    require(inflateInit2(&z, -MAX_WBITS) == Z_OK, "zlib starts a raw inflation");
    z.next_in = const_cast<Bytef*>(stream);
    z.avail_in = static_cast<uInt>(size);
    int status = Z_OK;
    while (status == Z_OK) {
        if (z.total_out == output.size()) {
            if (output.size() == room)
                break;
            output.resize(std::min(room, 2 * output.size()));
        }
        z.next_out = output.data() + z.total_out;
        z.avail_out = static_cast<uInt>(output.size() - z.total_out);
        status = inflate(&z, Z_NO_FLUSH);
    }
    output.resize(z.total_out);
    const std::size_t used = status == Z_STREAM_END ? size - z.avail_in : size;
    inflateEnd(&z);

    ON_MemoryArchive record;
    record.WriteInt64(static_cast<std::int64_t>(output.size()));
    if (output.empty())
        return record.Buffer();
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), output.data(), static_cast<uInt>(output.size()));
    const uLong adler =
        adler32(adler32(0L, Z_NULL, 0), output.data(), static_cast<uInt>(output.size()));
    // The zlib header of the default level, and the trailer big-endian.
    std::vector<unsigned char> zlibData{0x78, 0x9c};
    zlibData.insert(zlibData.end(), stream, stream + used);
    for (int shift : {24, 16, 8, 0})
        zlibData.push_back(static_cast<unsigned char>(adler >> shift));
    record.WriteInt(static_cast<int>(static_cast<std::uint32_t>(crc)));
    record.WriteInt64(static_cast<std::int64_t>(zlibData.size()));
    record.WriteByte(zlibData.size(), zlibData.data());
    return record.Buffer();
}

} // namespace mwfuzz
