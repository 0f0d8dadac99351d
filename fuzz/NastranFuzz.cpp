// Fuzz harness: Nastran bulk data, read into a mesh that holds one triangle.
#include "MeshFuzz.h"
#include "mesh/NastranReader.h"

MW_FUZZ_TARGET()
{
    mwfuzz::InputFile file(data, size, ".bdf");
    CFlatMesh mesh;
    mwfuzz::addOneTriangle(mesh);
    mwfuzz::requireUnchangedAfterFailure(readNastran(mesh, file.path()), mesh);
    return 0;
}
