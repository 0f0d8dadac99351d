#pragma once
// Plane of a NURBS curve: the plane of its start and end tangents when the
// curve lies in it, otherwise the least-squares plane of its points at the
// Greville abscissae.
//
// Ownership: reads the curve (evaluating it, which overwrites the curve's
// evaluation table) and writes only the plane.
// Thread-safety: evaluates the curve, so one thread per curve.

#include "foundation/Plane.h"
#include "geometry/NurbsSurf.h"

// Sets plane to the plane of the curve and returns it; a geometry that is not
// a curve leaves the plane unchanged.
// The normal is the unit cross product of the start and end tangents (a
// tangent parallel to the other is replaced by the one at 52 %, then at 33 %
// of the domain) and the plane passes through the start point. When the
// tangents stay parallel, the normal is any unit vector perpendicular to the
// tangent. When the curve points at the Greville abscissae lie off that
// plane (standard deviation of their distances 1e-5 or more), the result is
// the least-squares plane of the surface points at all pairs of u and v
// Greville abscissae instead (its centroid and normal).
CPlane& curvePlane(Fenwo::NurbsSurf& curve, CPlane& plane);
