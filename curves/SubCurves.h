// Curve and surface surgery shared by the curve algorithms, the surface fit
// and the net update: sub-curves between two parameters (across the seam of
// a cyclic curve too), Bezier decomposition, degree elevation, knot
// refinement and removal within a tolerance, iso-curves and control-polygon
// curves of a surface, Hermite segments, poly-lines of fit points and a few
// parametrisation changes.
//
// A curve is a Fenwo::NurbsSurf with one row of control points; its parameter
// runs in u. Parameters are internal ones (no reversal mapping) unless a
// function says otherwise.
//
// Ownership: functions returning a NurbsSurf* return a new object owned by
// the caller (null on failure); functions taking a surface to edit change it
// in place and never take ownership.
// Thread-safety: none. Evaluation writes into the surfaces' tables and the
// sub-curve of a cyclic curve uses the process-wide projection solvers.
#pragma once

#include "foundation/FitPoint.h"
#include "foundation/IndexSubset.h"
#include "foundation/KorList.h"
#include "foundation/Vector.h"
#include "geometry/Knots.h"

class CProgress;
namespace Fenwo {
class NurbsSurf;
}

// The piece of `curve` over [t1, t2] (internal parameters, t1 < t2) cut out by
// inserting both parameters to full multiplicity; a clamped curve asked for
// its whole domain gives a plain copy. Null when |t1 - t2| < 1e-8, when the
// knot range of the piece is empty or too short for the degree, or when its
// knot vector is unhealthy; a zero-width index range also prints
// "getTrivialSubCurve: degenerate Span, returning NULL" on standard output.
Fenwo::NurbsSurf* getTrivialSubCurve(Fenwo::NurbsSurf* curve, double t1, double t2);

// The piece of `curve` between t1 and t2 in the curve's own parameters
// (reversal mapped). Open and clamped curves: both parameters are clamped to
// the domain and ordered; a curve reversed in u gives a piece reversed in u.
// Cyclic curves: both are wrapped into the period; t1 > t2 gives the piece
// from t1 across the seam to t2. The piece carries the source's layer. Null
// on failure (see getTrivialSubCurve).
Fenwo::NurbsSurf* getSubCurve(Fenwo::NurbsSurf* curve, double t1, double t2);

// The piece of a cyclic curve from t1 across the seam to t2 (t1 > t2); null
// for any other curve, for t1 <= t2, or when the seam cannot be moved to t2.
Fenwo::NurbsSurf* wrappedSubCurve(Fenwo::NurbsSurf* curve, double t1, double t2);

// Raises every breakpoint of the u knots to multiplicity p (the shape is
// kept). values (when given) receives the breakpoints in order, counts (when
// given) the number of knots actually inserted at each; both are emptied
// first.
void decomposeToBezier(Fenwo::NurbsSurf* curve, Kor::List<int>* counts, Kor::List<double>* values);

// Raises the degree of a curve (direction ignored) or of a surface in the
// given direction (0 u, 1 v) by one keeping the shape: Bezier decomposition,
// elevation of every segment, then removal of the knots the decomposition
// added (tolerance 1e-6). The rational flag is kept. A surface whose rows do
// not come out on the same knots is left unchanged.
void elevateCurveDegree(Fenwo::NurbsSurf* g, int direction);
void elevateSurfaceDegree(Fenwo::NurbsSurf* s, int direction);

// Inserts knots into direction 0 (u) or 1 (v) without changing the shape:
// with twoKnots one knot near each end (the midpoints of the first and last
// span, or the points at 0.2 and 0.8 of a single span); otherwise k equally
// spaced knots into every span. False (nothing changed) for an invalid
// surface, a missing or unhealthy knot vector, no control points, direction
// 1 on a curve or another direction.
bool refineKnots(Fenwo::NurbsSurf* s, int direction, int k, bool twoKnots);

// Removes every interior u knot that can go while the control polygon moves
// by less than tol; steps the progress sink (when given) once per knot
// position tried and stops when it reports cancellation (removed knots stay
// removed). Returns the number of knots removed.
int removeKnotsWithinTolerance(Fenwo::NurbsSurf* s, double tol, CProgress* progress = nullptr);

// removeKnotsWithinTolerance in u, then in v (through swapuv). The progress
// sink (when given) is labelled "simplify". Returns the total removed; 0 for
// a null surface.
int simplify(Fenwo::NurbsSurf* s, double tol, CProgress* progress = nullptr);

// The iso-curve of a surface: code 2 the curve along v at u = t (null on a
// single-row surface), code 3 the curve along u at v = t; other codes null.
// It coincides with the surface along that line, weights included.
Fenwo::NurbsSurf* extractIsoCurve(Fenwo::NurbsSurf* s, double t, int code);

// Degree-1 curve through control points first .. last (swapped when last <
// first; a negative first counts as 0, a negative last or one beyond the net
// means the last point) of column `index` along v (codes 1 and 2) or of row
// `index` along u (codes 0 and 3), on uniform knots [0, last - first] with the
// end condition of that direction. Null for code 2 on a single-row surface,
// another code, an index outside the net or fewer than two points.
Fenwo::NurbsSurf* controlPolygonCurves(const Fenwo::NurbsSurf* s, int index, int code, int first,
                                       int last);

// Cubic Hermite-like segment from P0 (tangent direction T0) to P1 (T1) on
// [0, 1]: the inner control points lie f0 |P1 - P0| along T0 and f1 |P1 - P0|
// back along T1. For degree <= 3 the factors are limited so the inner points
// do not pass the projection of the chord onto the tangent (a third of it);
// for degree d > 3 the cubic gets d - 3 uniform interior knots. A zero tangent
// puts the inner control point on its end point.
Fenwo::NurbsSurf* hermiteSegment(const Vector& P0, const Vector& T0, const Vector& P1,
                                 const Vector& T1, int degree, double f0, double f1);

// Degree-1 curve on [0, 1] (cyclic when closed) through the Points of the
// selected fit points in selection order; null for fewer than two points.
Fenwo::NurbsSurf* polylineOfFitPoints(const IndexSubset<CFitPoint>& sel, bool closed);
Fenwo::NurbsSurf* polylineOfAllFitPoints(CFitPointArray& points, bool closed);

// Degree-1, non-cyclic curves only: the knots become the cumulative lengths
// of the control-polygon legs (domain [0, length]). Nothing changes for other
// curves or when the legs would give an unhealthy knot vector.
void reparametrizeByChordLength(Fenwo::NurbsSurf* c);

// A copy of a surface with a cyclic direction on open, non-periodic knots
// with the same values, the wrapped control points written out; null when no
// direction is cyclic or the new knots are unhealthy.
Fenwo::NurbsSurf* expandCyclicKnots(Fenwo::NurbsSurf* s);

// Turns a surface or curve so that the side `code` becomes the u-maximum
// side: on a surface code 1 swaps u and v and reverses u, 2 swaps, 3
// reverses u; on a curve codes 1 and 3 reverse u. parameter receives the
// upper end of the resulting u domain, reversed and swapped what was done.
// False only for code 0 on a surface (or a null surface).
bool orientSurfaceSide(Fenwo::NurbsSurf* s, int code, bool& reversed, bool& swapped,
                       double& parameter);

// Inserts knots into the curve so that it has as many control points as the
// target knot vector, spread over its spans, then takes the target's
// knots (reparametrizeU). When the counts still differ the curve keeps its
// own (refined) knots.
void distributeKnotsToMatch(Fenwo::NurbsSurf*& c, const knots& target);
