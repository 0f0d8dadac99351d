#pragma once
// Parallel projection of a curve onto a plane: the control points of a NURBS
// copy of the curve are moved to their feet on the plane, which by the affine
// invariance of NURBS gives exactly the projected curve.
//
// Ownership: the result is a new object owned by the caller; the input curve
// is not changed.
// Thread-safety: no shared state.

#include "foundation/Plane.h"
#include "geometry/NurbsSurf.h"
#include "geometry/ParametricGeometry.h"

// The projection of g onto the plane (orthogonal to the plane's normal, of
// any non-zero length) as a new NURBS object with the same knots and weights.
// Any other curve is first approximated by a NURBS curve (tolerance 0.005,
// degree 3, ends kept, tangents followed) and the approximation projected.
// Null for a null g, a zero normal, a g whose points do not have three
// coordinates, or when the approximation fails.
Fenwo::NurbsSurf* projectCurveToPlane(CParametricGeometry* g, const CPlane& plane);
