#pragma once
// Interpolating NURBS curve through an ordered selection of fit points, open
// or closed: the general routine that turns point rows into curves.
//
// The point parameters come from parameterizePoints (or from the caller),
// the knots are averages of the parameters, and on request the parameters
// are first improved on a rough base curve whose control points are the fit
// points themselves; the collocation system is solved by
// interpolateWithKnots.
//
// Ownership: the returned curve is new and owned by the caller. The fit
// points and their array belong to the caller; uv[0] of every selected point
// is rewritten (its curve parameter), and a closed interpolation appends and
// removes temporary copies at the end of the underlying array, so no other
// code may hold references into that array during the call.
// Thread-safety: none; the improvement of the parameters uses the
// process-wide projection solvers.

#include "foundation/FitPoint.h"
#include "foundation/IndexSubset.h"

namespace Fenwo {
class NurbsSurf;
}

// Curve of degree min(degree, n - 1) (at least 1) through the n selected
// points in selection order; uv[0] of every point is its curve parameter.
//   mode:    parameterisation of parameterizePoints (1 chord length,
//            2 centripetal, 3 angle-corrected chord, 4 through a fitted
//            curve, others uniform); 5 uses the parameters stored in the
//            points, which must lie in [0, 1] and ascend (otherwise the
//            knots are unsound, see below).
//   improveOnBase: refine the parameters on the curve whose control points
//            are the points (degree above 1 only).
//   closed:  a cyclic curve with n control points, smooth across its seam.
// A degree-1 result has the points as control points. The selection and the
// underlying array have their original entries again on return.
// Null for fewer than two points, in mode 5 for a point without a parameter,
// when interpolateWithKnots fails, and when the derived knots are unsound
// (merged beyond the degree or out of order); the last case prints
// "emergency case in Interpolation of N points encountered." and the first
// and last (at most five each) points as "mp=" lines on standard output.
Fenwo::NurbsSurf* interpolateCurve(IndexSubset<CFitPoint>& points, int mode, int degree,
                                   bool improveOnBase, bool closed);
