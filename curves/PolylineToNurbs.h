#pragma once
// Poly-line to NURBS curve: turns an ordered row of fit points (a net
// poly-line, or the samples of a curve being re-approximated) into a NURBS
// curve that follows it within a tolerance, with pinned ends and, where the
// end points carry one, imposed end tangents.
//
// Ownership: the returned curve is new and owned by the caller. The fit
// points belong to the caller; their parameters (uv[0]) and, after an
// approximation, their errors (dist2, AbsErr) are rewritten in place.
// Thread-safety: none; the Newton approximation uses process-wide solver
// slots and the stop flag.

#include "foundation/FitPoint.h"
#include "foundation/KorArray.h"

namespace Fenwo {
class NurbsSurf;
}

// A curve through the significant vertices of the poly-line `points`:
//  - the poly-line is thinned (simplifyPolyline, tolerance 25 tol, open, with
//    refinement); its first and last point are always kept;
//  - the m kept vertices become the control points of a curve of degree
//    min(degree, m - 1) (1 for degree < 1) on uniform knots over [0, 1],
//    cyclic when `closed`, clamped otherwise;
//  - an open curve keeps its end points (a C0Fix boundary constraint at each
//    end); with m >= 4, a first or last fit point whose Tangent has three
//    entries and length above 1e-6 moves the neighbouring control point onto
//    the tangent line and adds an epsG1Fix constraint there;
//  - every point gets a curve parameter in uv[0]: by index between the
//    Greville abscissae of its neighbouring kept vertices, or by point
//    inversion when the curve's ends (nearly) meet;
//  - with `approximate`, the parameters are refined and the control points
//    moved by the constrained Newton approximation (two Gauss-Newton and
//    three damped Newton iterations), then the error statistics are printed
//    on standard output after "polyLineToNurbs, approx, Histo(sub)=".
// The work runs on coordinates brought to unit size, so the result does not
// depend on the model's scale; a tangent leg perpendicular to the given
// tangent keeps its length along the tangent instead of collapsing, and after
// the fit the inner points are put back exactly onto their tangent lines.
// The curve is returned whatever error the approximation reaches; callers
// judge it from the points' dist2. Null (points untouched) for fewer than two
// points or when no knot vector can be built.
Fenwo::NurbsSurf* polyLineToNurbs(Kor::Array<CFitPoint>& points, bool closed, double tol,
                                  int degree, bool approximate);
