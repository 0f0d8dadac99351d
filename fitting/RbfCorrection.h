// Correction of a NURBS surface towards fit points by a radial-basis-function
// displacement field.
//
// `harmonicRecompute` measures, for every fit point, the displacement from
// the surface point at the fit point's parameters to the fit point and
// returns an interpolant of that field over the surface points.
// `interpolateToTolerance` moves a surface by such a field: it samples the
// displaced surface at the Greville abscissae of its control net,
// interpolates the samples with the surface's own knots and repeats with
// more control points until the fit points are within a tolerance.
// `approximateToTolerance` fits a second surface to a denser displaced grid
// with the constrained Newton approximation.
//
// Fit points are read through IndexSubset<CFitPoint>: their point, uv, the
// boundary flag (0 after an inversion that landed inside the domain; any
// other value marks a point these operations may skip) and the inversion
// state (1 = parameters to be computed, 2 = keep them).
//
// Ownership: harmonicRecompute returns a new interpolant owned by the
// caller; the other two change the given surfaces in place and own nothing.
// Thread-safety: none. approximateToTolerance runs the Newton approximation,
// whose stop flag and solver slots are process-wide: one at a time.
#pragma once

#include "fitting/ScatteredDataRBF.h"
#include "foundation/FitPoint.h"
#include "foundation/IndexSubset.h"

class CProgress;
namespace Fenwo {
class NurbsSurf;
}

// The displacement interpolant of the points on S. Every point's inversion
// state becomes 1; with prepare the points' parameters are recomputed on S
// first (batch inversion, then point inversion). kernelType is the public
// kernel code and shape its parameter. With skipFlagged, points whose
// boundary flag is not 0 are neither sampled nor kept in pts. The field is
// solved directly. For kernels without a polynomial part (kernelType not 0,
// 1 or 2) the reproduction statistic is printed ("type = ... repro
// Statistic=..."). With th > 0 the overshoot check compares the largest
// displacement with the largest field value on the inner 11 x 11 grid of
// the domain: when their ratio is below 1/th ("harmonic recompute val=...
// th= ..." on standard output) and the kernel is not the linear one, the
// linear kernel is used instead, without the check. Null when the progress
// sink cancels.
iPolScatteredData* harmonicRecompute(Fenwo::NurbsSurf& S, IndexSubset<CFitPoint>& pts,
                                     int kernelType, bool skipFlagged, CProgress* progress,
                                     double shape, double th, bool prepare);

// Moves S by the field rbf until every fit point lies within dTol of it.
// S's directions of degree 1 or 2 are raised to degree 3 first. Each pass
// re-measures the points (one inversion step) and returns true at once when
// all are within dTol, then interpolates the displaced original surface at
// the Greville abscissae of S's knots; when the points are still not within
// dTol, S gets new knots where the errors are large (or one more knot in
// every span). At most 16 passes; new knots that would take the net to
// (floor(nU / 2) nV) / 2 >= 5000, or beyond 32 control points for each fit
// point of pts and 625 in all, are not inserted and end the passes, so
// that S, corrected again, stays within that net. The outcome goes to the
// first global log:
// "interpolGrid failed", "Interpolation failed dMax=... for dTol = ..." or
// "interpolation success! dMax=... for Tol=...". False without rbf, on a
// failed grid fit, on a cancel (S as the last pass left it) or when dTol is
// not reached. With applyField the first pass runs even when the points lie
// within dTol already: a field that asks moves smaller than dTol (a side
// going half a small gap) is still applied.
bool interpolateToTolerance(Fenwo::NurbsSurf& S, iPolScatteredData* rbf, double dTol,
                            IndexSubset<CFitPoint>& pts, CProgress* progress,
                            bool applyField = false);

// Fits T to S displaced by rbf: T's directions of degree 1 or 2 are raised
// to 3, the displaced S is sampled on T's Greville abscissae refined by one
// value between neighbours, and T is fitted to those samples by three Newton
// iterations. Writes "Max=" the largest error and, on success, "Approximation
// success!" to the first global log. False on a cancel or when the fit's
// error is not finite.
bool approximateToTolerance(const Fenwo::NurbsSurf& S, iPolScatteredData& rbf, Fenwo::NurbsSurf& T,
                            CProgress* progress);

// Raises every direction of S of degree 1 or 2 to degree 3 (the shape is
// kept).
void raiseToCubic(Fenwo::NurbsSurf& S);

// S takes over T's knot vectors and control net (weights included); S keeps
// its own constraints, layer, colours and degenerate sides.
void adoptKnotsAndNet(Fenwo::NurbsSurf& S, const Fenwo::NurbsSurf& T);
