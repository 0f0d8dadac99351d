// Fuzz harness: AutoForm ".af" text with its post variable, read into a mesh
// that holds one triangle.
#include "MeshFuzz.h"
#include "mesh/AutoFormReader.h"

MW_FUZZ_TARGET()
{
    mwfuzz::InputFile file(data, size, ".af");
    CFlatMesh mesh;
    mwfuzz::addOneTriangle(mesh);
    float* values = nullptr;
    mwfuzz::requireUnchangedAfterFailure(readAutoForm(mesh, file.path(), 0, &values), mesh);
    delete[] values;
    return 0;
}
