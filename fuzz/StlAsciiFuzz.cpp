// Fuzz harness: ASCII STL text through its own reader, read into a mesh that holds one triangle.
#include "MeshFuzz.h"
#include "mesh/StlFormat.h"

MW_FUZZ_TARGET()
{
    mwfuzz::InputFile file(data, size, ".stl");
    CFlatMesh mesh;
    mwfuzz::addOneTriangle(mesh);
    mwfuzz::requireUnchangedAfterFailure(readAsciiSTL(mesh, file.path(), true), mesh);
    return 0;
}
