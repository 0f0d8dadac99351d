// Edge fitting: refits an edge (a NURBS curve, typically the side row of a
// surface) until it follows a given curve within a tolerance, inserting knots
// where it does not, and reports every knot value it inserts so that the
// caller can replay the insertions on the surface the edge belongs to.
//
// Two strategies: tearToCurveInterpolate re-interpolates the edge through the
// feet of its Greville points on the curve; tearToCurve refits it by the
// constrained Newton approximation, keeps the best solution seen and stops
// early when the error grows. tearToCurves chooses and can check that the
// edge and the matched piece of the curve have about the same length.
//
// Ownership: the edge is changed in place (a restore copies another edge's
// content into it, so the pointer never changes); the knot list (may be
// null) is the caller's. Temporary copies are freed on every exit.
// Thread-safety: none; the projections and the Newton fit use process-wide
// solvers, and the curve and edge are evaluated.
#pragma once

#include "foundation/FitPoint.h"
#include "foundation/KorArray.h"
#include "foundation/KorList.h"
#include "geometry/Interval.h"

class CParametricGeometry;
namespace Fenwo {
class NurbsSurf;
}

// With useNewton tearToCurve, else tearToCurveInterpolate (matched range then
// empty). With checkLength and a matched range of at least 2.2e-15, an edge
// whose length lies outside [0.85 L, 1.15 L] of the matched piece's length L
// prints "Length of Curves (tier to Curve) do not match." with both lengths
// and fails. Otherwise the strategy's result.
bool tearToCurves(Fenwo::NurbsSurf*& edge, CParametricGeometry& curve, double tol,
                  Kor::List<double>* knotList, bool useNewton, bool trackBest, bool reparametrize,
                  bool fixEnds, bool checkLength, int nuMax);

// At most 11 passes. Each projects the edge at its distinct knots and p
// values between them onto the curve, walking along it; the edge is accepted
// when the largest distance is below tol, or from the second pass on when no
// sample is farther than 1.2 tol. From the second pass on, the midpoint of
// every span with a sample beyond 1.2 tol is inserted (and appended to the
// knot list); then the edge is re-interpolated on its knots through the
// feet of its Greville points ("Interpolation to a new curve failed." keeps
// it as it was). False after the last pass.
bool tearToCurveInterpolate(Fenwo::NurbsSurf*& edge, CParametricGeometry& curve, double tol,
                            Kor::List<double>* knotList);

// At most 7 Newton fits of the edge to the feet of its samples (distinct
// knots and 4p values between them) on the curve. True as soon as
// isEdgeWithinTolerance holds for 1.2 tol (the edge as fitted, the knot list
// holding every insertion). matchedRange receives the curve parameters the
// samples projected onto. With reparametrize the edge's knots are made
// uniform first; with fixEnds an open edge keeps its end control points.
// More than nuMax control points prints "nuMax reached. terminating." and
// writes the samples to "c:/tmp/tearToCurvenu.mp" and the edge and its best
// copy to "c:/tmp/solutionsnu.out". An error that grows beyond 1.5 times the
// best one prints "emergency break in tear to Curve, error is increasing .".
// Both stops, and the last pass, restore the best edge seen and the knot list
// as it stood then, and give false (the last pass: the tolerance test of
// that edge). Without trackBest the first Newton fit ends with false.
// An edge with a v direction (a surface whose side v = 0 is fitted) gets 25
// Newton iterations instead of 5, and its fit points the parameter-space
// direction (0, 1) with state 3: their point inversion moves them along u
// only, so they stay on that side.
bool tearToCurve(Fenwo::NurbsSurf*& edge, CParametricGeometry& curve, double tol,
                 Interval& matchedRange, Kor::List<double>* knotList, bool trackBest,
                 bool reparametrize, bool fixEnds, int nuMax);

// Whether the edge stays within tol of the curve at five points between the
// edge parameters (uv[0]) of every two consecutive fit points; the feet are
// found walking along the curve. Fewer than two fit points: true.
bool isEdgeWithinTolerance(CParametricGeometry& curve, Fenwo::NurbsSurf& edge, double tol,
                           const Kor::Array<CFitPoint>& fitPoints);
