#include "FuzzTarget.h"

#include "mesh/FlatMesh.h"
#include "mesh/PolFormat.h"
#include "platform/host/App.h"
#include "platform/host/Document.h"
#include "platform/host/HeadlessHost.h"
#include "plugin/MeshwrightPlugIn.h"

#include <filesystem>
#include <memory>

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

} // namespace mwfuzz
