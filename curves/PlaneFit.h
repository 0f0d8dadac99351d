#pragma once
// Principal axes of a set of fit points: the best-fit plane (normal along the
// direction of least spread) and the best-fit line (direction of largest
// spread), both through the centroid, from the eigenvectors of the 3 x 3
// scatter matrix of the points.
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
