// Fuzz harness: VRML 1.0 and 2.0 files, read into a mesh that holds one
// triangle, with a curve list and a mesh list.
#include "MeshFuzz.h"
#include "geometry/ParametricGeometry.h"
#include "mesh/VrmlReader.h"

MW_FUZZ_TARGET()
{
    mwfuzz::InputFile file(data, size, ".wrl");
    CFlatMesh mesh;
    mwfuzz::addOneTriangle(mesh);
    Kor::List<CParametricGeometry*> curves;
    Kor::List<CFlatMesh*> meshes;
    const bool ok = readVRML(mesh, file.path(), curves, &meshes);
    mwfuzz::requireUnchangedAfterFailure(ok, mesh);
    mwfuzz::require(ok || (curves.getCount() == 0 && meshes.getCount() == 0),
                    "a failed VRML read adds no curve and no mesh");
    for (CParametricGeometry* c : curves)
        delete c;
    for (CFlatMesh* m : meshes)
        delete m;
    return 0;
}
