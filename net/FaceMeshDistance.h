// How far a trimmed face lies from the mesh it was fitted to, measured both
// ways on the face as it stands (the fit's own check, the commit's faces
// before and after their heal, the Breps the commit made of them):
// - the surface inside the trim, on a grid about a tolerance fine in space
//   (finer than the mesh points a fit on a coarse mesh has, where a surface
//   may bulge between them), each grid point to the nearest point of the
//   mesh's facets;
// - every vertex of the mesh under the face (its nearest point of the
//   surface, a true foot, inside the trim, and the vertex inside the face's
//   outline seen along its mean normal, or within a tolerance of it) that
//   lies on the face's sheet, to the surface, however far and whichever way
//   its facets face, whatever the sheet's slope and however near the face's
//   sides: a spike, a pit, a rib, a bump or a fold inside the face, and a
//   separate piece lying on the sheet with what stands on it. The sheet is
//   the facets the surface lies on (the nearest facets of the grid points
//   within the limit, and any facet near the surface with a corner within
//   the limit, facing as the sheet the face follows does) and those reached from them across the
//   sides they share, from facets that do not face against the sheet. Another
//   sheet stays out: a thin part's far side or a body's underside faces
//   against the face's sheet, a body or sheet over or under the face apart
//   from it is never reached, a web hanging behind a shell model's sheet is
//   not walked into, and a vertex on the rim of a facet facing against the
//   sheet (a hole through a thin part) is the far side's; a vertex beyond
//   the limit whose foot lies within a tolerance of the trim, on facets
//   whose other corners lie there too, is taken for a wall that stands on
//   the face's side (the body's whose top the face is). The vertices under
//   the face beyond the limit that are not measured are counted as left
//   out, with the farthest.
// The surface points go through the mesh's facet hash
// (Mesh::nearestMeshPoint, and its cells round them and along their normals
// for the facets near the surface); the walk over the sheet reads the mesh's table of the facets
// around each vertex (Mesh::CVertexFacets::of, built once for the mesh).
// Beyond that, time and memory follow the grid (at most kMaxFaceMeshPoints
// points) and the part of the mesh under the face, each of its facets and
// vertices taken once, however far the surface strays.
//
// Plain values; the face's surface evaluation tables, the mesh's hash
// queries and the marks of its table of facets round the vertices are used,
// so none of them may be in use elsewhere meanwhile. The mesh's facet hash
// must be built (without it nothing is measured).
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
    // Mesh vertices under the face on its sheet, measured to the surface,
    // and their largest distance.
    int meshVertices = 0;
    double vertexLargest = 0.0;
    // Mesh vertices under the face (their feet inside the trim) farther
    // than the limit that were not measured, and the farthest of them:
    // those of another sheet (a thin part's far side, a body or a sheet
    // over or under the face apart from the one it lies on, reached only
    // through facets facing against it or not at all) and those whose feet
    // lie within a tolerance of the trim (where the mesh may turn down or
    // up a wall that stands on the face's side).
    int leftOut = 0;
    double leftOutLargest = 0.0;
    // The larger of the two measured.
    double largest = 0.0;
    // The share of the surface points farther from the mesh than the limit
    // asked for: about the share of the face's area off the mesh.
    double shareBeyond = 0.0;
};

// The face's distance from the mesh on a grid of spacing about `tolerance`
// (coarser on a face too large for kMaxFaceMeshPoints such points), with the
// share of it farther than `limit`; a surface point with no facet within
// `reach` is measured to the nearest facet however far (without a foot:
// it seeds no part of the mesh and seeks no point to meet).
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
// and the mesh vertices beyond that lie on facets facing as the sheet does
// and within the reach (not the top of a spike or a rib, which a smooth
// fit cannot follow and would chase into a bulge). Without withVertices
// only the surface points are measured (a fit whose own points are those
// vertices). Nothing measured for a polygon of fewer than 3 vertices or
// without area.
FaceMeshDistance measureSurfaceMeshDistance(Fenwo::NurbsSurf& surface, const CVertexList& polygon,
                                            Mesh::CBaseMesh& mesh, double grid, double limit,
                                            double reach, CFitPointArray* beyondPoints,
                                            bool withVertices);

// The surface points of one face at the most.
constexpr int kMaxFaceMeshPoints = 40000;
