// Fuzz harness: POL binary images read from a stream, into a mesh that holds
// one triangle.
#include "MeshFuzz.h"
#include "mesh/PolFormat.h"

#include <sstream>
#include <string>

MW_FUZZ_TARGET()
{
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size), std::ios::binary);
    CFlatMesh mesh;
    mwfuzz::addOneTriangle(mesh);
    mwfuzz::requireUnchangedAfterFailure(mesh.readPOL(in, std::uint32_t(size)), mesh);
    return 0;
}
