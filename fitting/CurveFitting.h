#pragma once
// Curve-level services of the fitting: a NURBS curve of a chosen control-
// point count fitted to a given curve, two curves fitted with one shared
// count, the count chosen from the turning of a poly-line, the largest turn
// of a curve's tangent, and the chaining of a list of curves.
// Curves are Fenwo::NurbsSurf objects with one row of control points.
//
// Ownership: fitted curves are new objects owned by the caller; curves handed
// in are only evaluated (chainCurveList may reverse them in place).
// Thread-safety: the Newton fit uses process-wide solvers; one fit at a time.

#include "foundation/KorArray.h"

class CParametricGeometry;
namespace Fenwo {
class NurbsSurf;
}

// A curve with m + 1 = n + 3 control points fitted to c: n + 1 parameters
// at equal arc-length steps plus the midpoints of the first and last step;
// knots of degree m (bezier: one span) or min(m, 4) on [0, 1]. Control point
// i starts at c's point of parameter i and is held there (the two ends) or
// in the plane through it normal to c's tangent (inner points); then a sparse
// Newton approximation (5 iterations) of the points of those parameters and
// of 5 m + 1 equally spaced ones. Null for a null curve, n < 1 or a curve
// that cannot be measured.
Fenwo::NurbsSurf* fitCurveToPoints(CParametricGeometry* c, int n, bool bezier);

// Both curves fitted with one count: the mean of their largest tangent turns
// over 3 requested samples gives c = ceil(0.8 spanCountForAngle + 1), the
// count n = min(requested, c) (1 when c < 1). Always true; outA and outB
// receive the fits (null where a fit fails).
bool fitCompatibleCurves(CParametricGeometry* a, CParametricGeometry* b, Fenwo::NurbsSurf*& outA,
                         Fenwo::NurbsSurf*& outB, int requested, bool bezier);

// fitCurveToPoints with n = min(requested, spanCountForAngle(turn) + 1), the
// turn taken over 3 requested samples: a straight poly-line gets at most 2.
Fenwo::NurbsSurf* fitCurveToPolyline(CParametricGeometry* c, int requested, bool bezier);

// The largest angle in degrees between the unit tangents of c at n + 1
// equal arc-length parameters (any two of them); 0 for a null curve, n < 1
// or a curve that cannot be measured.
double maxTangentTurnAngle(CParametricGeometry* c, int n);

// Orders and orients the curves into one chain (orientCurveChain, gap
// divisor 10) and replaces the list by the chained order. False, the list
// untouched, when it is empty or the curves do not chain.
bool chainCurveList(Kor::Array<Fenwo::NurbsSurf*>& curves);
