#pragma once
// Parameter (uv) curve of a space curve lying on a NURBS surface: the curve
// is sampled, the samples are projected onto the surface and a curve is fitted
// through their (u, v) parameters in the parameter plane, with care for
// closed curves and for surfaces that are periodic (cyclic knots) in u or v.
// A uv curve is a one-row Fenwo::NurbsSurf of dimension 3 whose third
// coordinate is 0. Also holds the index thinning of fit-point poly-lines used
// by these fits.
//
// Ownership: every returned curve is new and owned by the caller; input
// curves, surfaces and fit points stay the caller's. The builder and the
// seam-aware fit work on their own copies of the fit points.
// Thread-safety: none; the projections run on the process-wide solvers and
// evaluation overwrites the geometries' derivative tables.

#include "foundation/FitPoint.h"
#include "foundation/IndexSubset.h"
#include "foundation/KorArray.h"
#include "foundation/KorList.h"

class CParametricGeometry;
namespace Fenwo {
class NurbsSurf;
}

// The accuracy in space of a uv curve built for a caller that knows no
// tolerance of its model.
constexpr double kDefaultPCurveAccuracy = 0.001;

// The uv curve of `curve` on `surface` (builder with interpolate false).
// A surface that is not a NURBS surface prints
// "Euclidian to PCurve must fail on Non-Nurbs-Surfaces, sorry" on standard
// output and gives null; null also when every fit fails or an input is null.
Fenwo::NurbsSurf* euclideanToPCurve(CParametricGeometry* curve, CParametricGeometry* surface,
                                    int degree, double tol,
                                    double accuracy = kDefaultPCurveAccuracy);

// The p-curve builder: samples the curve (faceting, or equal arc-length steps
// for a straight curve), projects the samples onto the surface, fits them by
// the seam-aware uv fit, then (interpolate only) by a plain interpolation of
// the uv points, and last by approximating their degree-1 poly-line (with
// tol). The samples follow the curve, and the fit keeps to them, within
// `accuracy` in space: a length, which the caller takes from its model's
// tolerance, so that a model in metres gets the uv curve of the same model
// in millimetres. A closed (cyclic) result has its seam moved to the first
// sample. Null for a null curve or surface, a curve that cannot be sampled,
// or when every fit fails.
Fenwo::NurbsSurf* buildPCurve(CParametricGeometry* curve, Fenwo::NurbsSurf* surface,
                              bool interpolate, int degree, double tol,
                              double accuracy = kDefaultPCurveAccuracy);

// Fits a uv curve through the selected points' uv = (u, v) (the points are
// not changed). With wrap the parameters are first wrapped into the
// surface's knot ranges. When no direction of the surface is cyclic (or wrap
// is off) the thinned points (tolerance tol2) are interpolated, closed as
// `closed`, with the given degree. Otherwise the sequence is made continuous
// across the seams: a closed sequence starts at its seam crossing and gets a
// seam point on the domain boundary at each end, and the thinned points are
// interpolated as an open curve of degree 2. Null for fewer than two points
// or when the interpolation fails (and, with the message
// "unknown cross-sign, return nothing.", for a crossing without direction).
Fenwo::NurbsSurf* fitUVPointsAcrossSeams(Fenwo::NurbsSurf* surface, bool closed,
                                         const IndexSubset<CFitPoint>& selection, bool wrap,
                                         double tol2, int degree);

// Approximates the control polygon of P: fit points at its control points
// with uv = (i / max(count - 1, 1), 0), then polyLineToNurbs (closed when P's
// u knots are cyclic, with approximation). Null for a null P or when
// polyLineToNurbs fails.
Fenwo::NurbsSurf* approximateControlPolygon(Fenwo::NurbsSurf* P, double tol, int degree);

// Index thinning of the selection's poly-line (Points): out is cleared and
// receives the positions within the selection of the kept points, ascending
// (an open sequence starts with 0 and ends with n - 1). Returns their count;
// 0 for fewer than two points.
int thinPolylineIndices(const IndexSubset<CFitPoint>& selection, double tol, Kor::List<int>& out,
                        bool closed);
// The same over every point of the array.
int thinPolylineIndices(Kor::Array<CFitPoint>& points, double tol, Kor::List<int>& out,
                        bool closed);
