// How far a trimmed face lies from the mesh it was fitted to, measured both
// ways on the face as it stands (the commit's faces before and after their
// heal, the Breps the commit made of them):
// - the surface inside the trim, on a grid about a tolerance fine in space
//   (finer than the mesh points a fit on a coarse mesh has, where a surface
//   may bulge between them), each grid point to the nearest point of the
//   mesh's facets;
// - the mesh's vertices around those nearest points whose nearest point of
//   the surface lies inside the trim (every mesh point of a fine mesh's
//   region), each to the surface, where they belong to the sheet the face
//   follows: found on facets that face as that sheet does, and, beyond the
//   limit, with no facet across the surface's normal line nearer to the
//   surface (not a thin part's far side). A vertex beyond the limit counts
//   at its nearest foot (inverted again from the surface's samples when
//   the first inversion, started along a long facet, ended farther), only
//   at a true foot (the line to it along the surface's normal), and not
//   beyond the reach (another sheet: a floor under a body seen along a
//   wall; the surface points show a face that far off its own, each
//   measured to its nearest facet however far).
// Both go through the mesh's facet hash (Mesh::nearestMeshPoint,
// Mesh::facetsNearPoint): the cost follows the face's size and the facets
// under it, not the mesh's facet count.
//
// Plain values; the face's surface evaluation tables and the mesh's hash
// queries are used, so neither may be in use elsewhere meanwhile. The
// mesh's facet hash must be built (without it nothing is measured).
#pragma once

#include "foundation/FitPoint.h"

class CFace;
class CVertexList;
namespace Fenwo {
class NurbsSurf;
}
namespace Mesh {
class CBaseMesh;
}

struct FaceMeshDistance {
    // Points of the surface measured to the mesh, and their largest distance
    // (however far: a point with no facet within the reach is sought
    // farther).
    int surfacePoints = 0;
    double surfaceLargest = 0.0;
    // Mesh vertices measured to the surface, and their largest distance.
    int meshVertices = 0;
    double vertexLargest = 0.0;
    // The larger of the two.
    double largest = 0.0;
    // The share of the surface points farther from the mesh than the limit
    // asked for: about the share of the face's area off the mesh.
    double shareBeyond = 0.0;
};

// The face's distance from the mesh on a grid of spacing about `tolerance`
// (coarser on a face too large for kMaxFaceMeshPoints such points), with the
// share of it farther than `limit`; a mesh vertex whose foot lies farther
// than `reach` from the surface is not measured (another sheet), while a
// surface point with no facet within `reach` is measured to the nearest
// facet however far (without a foot: no vertex is sought around it).
// Nothing measured (counts 0) for a face without a NURBS
// surface or trim loop, or a mesh without a facet hash.
FaceMeshDistance measureFaceMeshDistance(CFace& face, Mesh::CBaseMesh& mesh, double tolerance,
                                         double limit, double reach);

// The same measure of a surface inside a polygon of its domain ((u, v, 0)
// vertices, a trim loop's or a fit's boundary samples'), on a grid of
// spacing about `grid` in space. With beyondPoints, every mesh point found
// farther than `limit` from the surface is appended to it, with the
// parameters it was measured at as start values: for a surface point beyond,
// where its normal line meets the mesh within twice its distance (else its
// nearest mesh point; none for a point with no facet within the reach),
// and the mesh vertices beyond. Without withVertices
// only the surface points are measured (a fit whose own points are those
// vertices). Nothing measured for a polygon of fewer than 3 vertices or
// without area.
FaceMeshDistance measureSurfaceMeshDistance(Fenwo::NurbsSurf& surface, const CVertexList& polygon,
                                            Mesh::CBaseMesh& mesh, double grid, double limit,
                                            double reach, CFitPointArray* beyondPoints,
                                            bool withVertices);

// The surface points of one face at the most.
constexpr int kMaxFaceMeshPoints = 40000;
