// Approximation of any curve by a NURBS curve, optionally refined by the edge
// fit until it follows the curve within the tolerance, and its form that is
// accepted only when the lengths of the curve and of the result agree.
//
// Ownership: results are new curves owned by the caller; the input curve is
// only evaluated.
// Thread-safety: none; the fits use the process-wide solvers.
#pragma once

class CParametricGeometry;
class CProgress;
namespace Fenwo {
class NurbsSurf;
}

struct CurveApproximationSettings {
    // Fit points per sample interval of the curve, and the degree of the fit.
    int samplesPerInterval = 3;
    // Refine the fitted curve by the edge fit (Newton strategy).
    bool refine = false;
    // Edge-fit settings: uniform knots before each fit, fixed end control
    // points (which also keeps the result uncut).
    bool reparametrize = false;
    bool fixEnds = false;
    // Fit points carry the curve's tangents (where longer than 1e-6).
    bool tangents = false;
};

// Fit points on the curve (the control points of a degree-1 NURBS curve;
// otherwise the facet parameters at chord tolerance 0.75 tol, at most 2000,
// each interval cut into samplesPerInterval parts), approximated by
// polyLineToNurbs at tol / 15 (at most 0.5). With refine the result is
// fitted to the curve; a fit that fails on an unfolded control polygon ends
// with *failed set and, unless the result is cyclic or fixEnds is set, the
// result cut to the curve's ends. A fit that succeeds, or fails on a folded
// control polygon, is made once more from the start at a fifth of the
// tolerance, and that second result stands (cut as above when its fit fails
// on an unfolded polygon). Null for a null curve or when no curve can be
// fitted. The progress sink (may be null) is reset and begun.
Fenwo::NurbsSurf* approximateCurve(CParametricGeometry* curve, double tol,
                                   const CurveApproximationSettings& settings, bool* failed,
                                   CProgress* progress);

// approximateCurve; with checkLength the result must have a length within
// [0.85, 1.15] of the curve's (getLength). Otherwise "Length of Curves do not
// match. " is printed and the approximation is made again at a fifth of the
// tolerance; when that misses too, " lNew not Reached at second stage,
// returning NULL lNew=" is printed and the result is null. *failed (may be
// null) is cleared first and set as approximateCurve sets it.
Fenwo::NurbsSurf* approximateCurveWithLengthCheck(CParametricGeometry* curve, double tol,
                                                  const CurveApproximationSettings& settings,
                                                  bool checkLength, bool* failed,
                                                  CProgress* progress);
