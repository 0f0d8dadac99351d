// The host's render meshes of Brep faces, as a CAD host makes them to shade
// its surfaces: each face's surface sampled on a grid of its parameter
// plane, clipped to the face's trim loops.
//
// The grid covers the box of the outer loop in 32 x 32 cells. A cell that no
// trim crosses is kept whole (two triangles) when it lies inside the face
// (inside the outer loop and outside every inner one); a cell a trim crosses
// is split in four, down to an eighth of a cell, and each smallest piece is
// kept when its middle lies inside. The trims are taken as poly-lines of 16
// points per span. Normals are the surface's, turned over for a reversed
// face.
//
// Plain values; safe on any thread.
#pragma once

#include "platform/on/OpenNurbsSubset.h"

#include <vector>

namespace VezadHost {

struct RenderMesh {
    std::vector<ON_3dPoint> points;
    std::vector<ON_3dVector> normals; // unit, one per point
    std::vector<int> triangles;       // three point indices each, counter-clockwise in (u, v)

    int triangleCount() const { return static_cast<int>(triangles.size() / 3); }
};

// Adds the render mesh of one face; nothing for a face without surface or
// outer loop.
void appendFaceRenderMesh(const ON_BrepFace& face, RenderMesh& mesh);
// The render meshes of all faces of the Brep in one.
RenderMesh brepRenderMesh(const ON_Brep& brep);

} // namespace VezadHost
