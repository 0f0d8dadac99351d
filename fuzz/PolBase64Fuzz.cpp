// Fuzz harness: the base64 text image of a POL mesh, decoded and read into a
// mesh that holds one triangle.
#include "MeshFuzz.h"
#include "mesh/PolFormat.h"

#include <sstream>
#include <string>

MW_FUZZ_TARGET()
{
    char* image = nullptr;
    std::size_t length = 0;
    if (!base64DecodeBuffer(reinterpret_cast<const char*>(data), size, &image, &length))
        return 0;
    std::istringstream in(std::string(image, length), std::ios::binary);
    delete[] image;
    CFlatMesh mesh;
    mwfuzz::addOneTriangle(mesh);
    mwfuzz::requireUnchangedAfterFailure(mesh.readPOL(in, std::uint32_t(length)), mesh);
    return 0;
}
