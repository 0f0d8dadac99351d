#pragma once
// Principal sections of a mesh: the principal frame of its vertices (or of
// its boundary vertices), its extent along the frame's axes, and two
// families of plane sections laid across it along its largest and middle
// principal directions, optionally with its boundary loops. The mesh
// document object keeps these curves as the sketch of a loaded mesh.
//
// Ownership: curves appended to a caller's list are new objects owned by the
// caller. Thread-safety: one caller per mesh (the topology may be built).

#include "foundation/KorList.h"
#include "foundation/Vertex.h"
#include "geometry/Interval.h"
#include "mesh/BaseMesh.h"

namespace Fenwo {
class NurbsSurf;
}

// The principal frame of count points (xyz, 3 doubles each): centre := their
// mean, major := the unit eigenvector of the largest eigenvalue of their
// scatter matrix, minor := that of the smallest (for a sheet its normal).
// The eigen-solver finds the axes of singular scatter matrices (flat or
// straight point sets) at every scale. With fewer than 2 points, or points
// that all coincide, centre is their mean (0 without points) and the axes
// are left as given.
void principalFrame(const double* xyz, int count, double centre[3], double minor[3],
                    double major[3]);

// The principal frame of the mesh's points: the distinct end vertices of its
// boundary edges with boundaryOnly (the topology is built when missing),
// otherwise the vertices its facets use. True when at least 3 points were
// used; the outputs are set by principalFrame even when fewer were.
bool meshPrincipalAxes(Mesh::CBaseMesh* mesh, CVertex<float, 3>& centre, CVector<float, 3>& minor,
                       CVector<float, 3>& major, bool boundaryOnly);

// The extents of the vertices the facets use (all stored vertices for a
// mesh without facets) along three axes from origin: each interval runs
// from the smallest to the largest height (heightAlong, the formula of the
// plane sections). False, with the intervals invalid, when there is no
// vertex.
bool meshExtentAlongAxes(Mesh::CBaseMesh* mesh, const CVertex<float, 3>& origin,
                         const CVector<float, 3>& a1, const CVector<float, 3>& a2,
                         const CVector<float, 3>& a3, Interval& i1, Interval& i2, Interval& i3);

// The most pieces a family of principal sections, or the boundary, may
// break into and still be drawn. The sections of a mesh that is a surface
// break where the planes leave it, and its boundary has a loop per hole:
// the real meshes' families have from 25 to a few hundred pieces (379 the
// most) and their boundaries up to 54 loops, while a mesh of facets that
// share no edges gives a piece per cut facet and a loop per facet, hundreds
// of thousands, each a curve to build and draw.
inline constexpr int kMostSectionPieces = 20000;

// Appends the section curves of n + 2 planes spread over the mesh's extent
// along its major axis, the outermost through its extreme points, then
// those across its middle axis (major x minor), and with withBoundary its
// boundary loops (meshBoundaryToCurves without split). The frame comes from
// the boundary vertices, or from all vertices when they give none. A family
// that breaks into more than kMostSectionPieces pieces is left out
// (meshPlaneSectionWithin), and one line names the axes whose sections were
// left out; so is a boundary of more loops, or one that is no surface's
// (meshBoundaryToCurvesWithin). False when there is no frame or no extent;
// otherwise true when the list is not empty.
bool meshPrincipalSections(Mesh::CBaseMesh* mesh, Kor::List<Fenwo::NurbsSurf*>& curves, int n,
                           bool withBoundary);
