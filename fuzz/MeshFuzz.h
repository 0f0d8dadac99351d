// Shared check of the mesh-reader harnesses: a reader is handed a mesh that
// already holds one triangle, and a failed read must leave it exactly so.
#pragma once

#include "FuzzTarget.h"
#include "mesh/FlatMesh.h"

namespace mwfuzz {

inline void addOneTriangle(CFlatMesh& mesh)
{
    const int corners[3] = {mesh.addVertex(CVertex<float, 3>(0.0f, 0.0f, 0.0f)),
                            mesh.addVertex(CVertex<float, 3>(1.0f, 0.0f, 0.0f)),
                            mesh.addVertex(CVertex<float, 3>(0.0f, 1.0f, 0.0f))};
    mesh.addPolygon(corners, 3, -1);
}

inline void requireUnchangedAfterFailure(bool ok, CFlatMesh& mesh)
{
    if (!ok)
        require(mesh.getVertexCount(true) == 3 && mesh.getFacetCount() == 1,
                "a failed read leaves the mesh as it was");
}

} // namespace mwfuzz
