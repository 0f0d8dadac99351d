#pragma once
// Principal axes of a set of fit points: the best-fit plane (normal along the
// direction of least spread) and the best-fit line (direction of largest
// spread), both through the centroid, from the eigenvectors of the 3 x 3
// scatter matrix of the points; and the orthonormal plane frame built from
// them, with the extents of the points in that plane.
//
// Ownership: the functions read the fit points and write only their outputs.
// Thread-safety: no shared state; distinct calls may run concurrently.

#include "foundation/FitPoint.h"
#include "foundation/IndexSubset.h"
#include "foundation/Vector.h"

// centroid := the centroid of the indexed points; normal := the unit normal
// of their best-fit plane (eigenvector of the smallest eigenvalue of the
// scatter matrix). False when the points do not determine a plane (none,
// all coincident, or all on one line): centroid is still set, normal is then
// the zero 3-vector.
bool fitPlaneToSubset(const IndexSubset<CFitPoint>& subset, Vector& centroid, Vector& normal);

// centroid := the centroid of the indexed points; axis := the unit direction
// of their largest spread (eigenvector of the largest eigenvalue of the
// scatter matrix). False when there are no points or all coincide: centroid
// is still set, axis is then the zero 3-vector.
bool fitAxisToSubset(const IndexSubset<CFitPoint>& subset, Vector& centroid, Vector& axis);

// fitPlaneToSubset over all points of the array.
bool fitPlane(const CFitPointArray& points, Vector& centroid, Vector& normal);

// The unit normal of the plane on which the closed polygon of `count`
// points (xyz: three coordinates a point, in order round the polygon, the
// last joined to the first) encloses the most area: the direction of its
// vector area, half the sum of the cross products of consecutive points
// about their centroid. Unlike the best-fit plane of the points, it does
// not take a narrow polygon on a bent sheet for a curve in the plane of its
// bend. False, with normal unchanged, when the polygon encloses no area
// seen from any side (fewer than three points, or all on one line).
bool enclosedAreaNormal(const double* xyz, int count, double normal[3]);

// An orthonormal frame (normal, uAxis, vAxis) through centre for the indexed
// points, with the extents of the points in the (u, v) plane.
// - A normal given with 3 finite entries, not all zero, is kept (scaled to
//   unit length); so is a centre given with 3 entries alongside it, else the
//   centre is the centroid. Without a given normal the centre is the centroid
//   and the normal is the normalised sum of the points' normals when every
//   point carries a 3-entry Normal (and the sum is not zero), else the normal
//   of the best-fit plane.
// - A u axis given with 3 finite entries, not all zero, is kept; otherwise it
//   is the direction of largest spread of the points. Either is made
//   perpendicular to the normal and normalised; vAxis = normal x uAxis.
// - uMin .. uMax and vMin .. vMax are the smallest and largest coordinates
//   (p - centre).u and (p - centre).v of the points (0 without points).
// Returns false when the points determine no plane and none was given: no
// points, or all on one line or one point, with neither a given normal nor
// point normals to sum. The normal and u axis are then chosen perpendicular
// to the points' line (and to each other) so the outputs are still an
// orthonormal frame that bounds the points; without points the centre is
// the origin (or the given one).
bool fitPlaneFrame(const IndexSubset<CFitPoint>& pts, Vector& normal, Vector& uAxis, Vector& vAxis,
                   Vector& centre, double& uMin, double& uMax, double& vMin, double& vMax);

// Eigenvalues (ascending) and unit eigenvectors (the columns of V, in the
// same order) of the symmetric 3 x 3 matrix S, by cyclic Jacobi rotations.
// Inverse and power iteration cannot leave the subspace of their start
// vector when S is exactly singular (points lying exactly in a plane through
// a coordinate axis); the rotations have no such blind spot and keep the
// eigenvectors orthonormal. S must be symmetric.
void symmetricEigen3(const double S[3][3], double lambda[3], double V[3][3]);
