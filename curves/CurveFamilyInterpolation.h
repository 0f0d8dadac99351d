// Interpolation through an ordered family of curves (open or closed), as
// used for blends and lofted sections: the curves become the iso-curves
// v = const of one surface. The curves are copied, oriented, given a common
// degree and knot vector; a mid-curve through one corresponding point of every
// curve fixes the cross parameters and knots and is tested for oscillation;
// then the surface through the merged curves is fitted on those knots.
//
// Ownership: the input curves are only read (the work runs on copies); the
// result is new and owned by the caller.
// Thread-safety: none; the fits use the process-wide slots of the sparse
// least-squares solver and the projection solvers.
#pragma once

#include "foundation/KorArray.h"
#include "foundation/KorSubSet.h"
#include "foundation/Vector.h"

class CParametricGeometry;
namespace Fenwo {
class NurbsSurf;
}

// The surface through the curves in list order; null entries are skipped.
//   degree:  degree across the curves (lowered to count - 1 when fewer
//            curves are given);
//   closed:  the family closes on itself (cyclic across the curves);
//   outParameters: when given, receives the cross parameter (v) of every
//            curve once the mid-curve exists;
//   s:       fraction of each curve's domain at which its mid-point is taken
//            (0 its start, 1 its end);
//   orient:  on an open family, reverse the curves that run against their
//            predecessor first.
// Returns null:
// - without a message for fewer than two curves;
// - printing "interpolCurves: a member of the family is a surface, not a
//   curve." for a member with more than one row of control points;
// - printing "merge all knots failed." when the curves get no common knots;
// - printing "interpolation to mid-curve failed " n " curves" when no curve
//   passes through the mid-points (with FENWO_LOGGING their poly-line goes to
//   the debug file "c:/tmp/midIpolFAil.out");
// - printing "interpolCurves::interpolation is oscillatory. len=" L
//   " target=" T when the mid-curve is more than twice as long as the
//   poly-line through the mid-points (with FENWO_LOGGING the merged copies go
//   to "c:/tmp/interpolCurves-osc.out");
// - printing "final curve interpolation failed." when the surface fit fails.
Fenwo::NurbsSurf* interpolCurves(const Kor::Array<Fenwo::NurbsSurf*>& curves, int degree,
                                 bool closed, Vector* outParameters, double s, bool orient);

// interpolCurves over the curves of the set, in set order. A member that is
// not a NURBS curve gives null and prints "interpolCurvesOfSet: a member of
// the set is not a NURBS curve."; null members are skipped.
Fenwo::NurbsSurf* interpolCurvesOfSet(const Kor::SubSet<CParametricGeometry>& curves, int degree,
                                      bool closed, Vector* outParameters, double s, bool orient);
