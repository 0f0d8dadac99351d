// How far a trimmed face lies from the mesh it was fitted to, measured both
// ways on the face as it stands (the commit's faces before and after their
// heal, the Breps the commit made of them):
// - the surface inside the trim, on a grid about a tolerance fine in space
//   (finer than the mesh points a fit on a coarse mesh has, where a surface
//   may bulge between them), each grid point to the nearest point of the
//   mesh's facets;
// - the mesh's vertices of the part of the mesh the face encloses, each to
//   the surface however far and whichever way its facets face (a spike, a
//   pit, a rib inside the face): the facets reached from those the surface
//   lies on (the nearest facets of the grid points within the limit,
//   facing as the sheet the face follows does) through the sides they
//   share, walking on only across sides whose ends' feet on the surface lie
//   inside the trim and beyond a band along it. Another sheet (a thin
//   part's far side, a floor under a body, a second body beside) joins the
//   part only across the face's boundary, where the walk stops; one
//   reached through a hole in the face is left out where its vertex lies
//   behind the face's sheet (a facet across the surface's normal line
//   nearer to the surface). A vertex beyond the limit counts at its
//   nearest foot (inverted again from the surface's samples when the
//   first inversion, started from the foot of the vertex it was reached
//   from, ended farther), and only at a true foot (the line to it along
//   the surface's normal).
// The surface points go through the mesh's facet hash
// (Mesh::nearestMeshPoint); the walk over the part reads the mesh's table
// of the facets around each vertex (Mesh::CVertexFacets::of, built once for
// the mesh, its marks of the walk's size). Beyond that, time
// and memory follow the grid (at most kMaxFaceMeshPoints points) and the
// part under the face, each of its facets and vertices taken once, however
// far the surface strays.
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
    // Mesh vertices measured to the surface, and their largest distance (of
    // those beyond the limit, the ones looked at: the farthest of the
    // face's sheet and those a fit takes).
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
