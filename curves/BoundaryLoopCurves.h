#pragma once
// Splitting a boundary poly-line at its corners: the degree-1 curve of a
// mesh boundary loop becomes one degree-1 piece per run between corners, or,
// without corners, one smooth curve interpolating the loop.
//
// Ownership: the returned curves are new objects owned by the caller; the
// loop curve is only evaluated. Thread-safety: evaluation writes the loop
// curve's derivative table; one thread per loop curve.

#include "foundation/KorList.h"

namespace Fenwo {
class NurbsSurf;
}

// The pieces of a degree-1 curve split at its corners: control points where
// consecutive legs turn by strictly more than angleDegrees. A cyclic curve
// (CyclicEnd knots, or a clamped poly-line whose first and last points
// coincide) is walked around: its start is a corner only when it turns
// there, and the last piece runs through the start to the first corner. An
// open curve is cut at its corners, its ends always bounding the first and
// the last piece. Each piece is a clamped degree-1 curve through the control
// points from one corner to the next. Without corners the list holds the
// loop resampled and interpolated at degree 3 (resampleAndInterpolate),
// when that succeeds. Empty for a null curve, a curve not of degree 1 in u,
// or a surface. The loop curve is only evaluated, never changed.
Kor::List<Fenwo::NurbsSurf*> boundaryLoopToCurves(Fenwo::NurbsSurf* curve, double angleDegrees);
