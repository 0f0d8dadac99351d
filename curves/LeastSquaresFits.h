// Two direct least-squares fits with residual checks: a curve of given degree
// through ordered fit points (with optional end-derivative data), and a
// surface through a grid of fit points, with the grid parameterisation that
// may precede it. Both set up a sparse system of basis-function values and
// solve it coordinate by coordinate with the sparse conjugate-gradient
// solvers.
//
// Ownership: the fits return new objects owned by the caller, or null. The
// fit points belong to the caller; what each function writes into them is
// stated at the function.
// Thread-safety: none. The curve fit uses the process-wide slots of
// sparseLScg (and the Newton fit its process-wide stop flag).
#pragma once

#include "foundation/FitPoint.h"
#include "foundation/IndexSubset.h"

class CProgress;
class knots;
namespace Fenwo {
class NurbsSurf;
}

// The clamped curve of the given degree through the selected fit points, in
// selection order: with n points and parameters u_0 <= .. <= u_{n-1} (uv[0])
// the knots are the parameters, the curve has n + degree - 1 control points.
// A point whose Normal has 3 entries carries the derivative of the curve at
// its parameter; interior points lose that data (Normal emptied, group set
// to 2), so only the ends keep it. When both ends carry it the fit is handed
// to newtonCurveThroughPoints. Otherwise one row per point, plus the
// derivative row of an end with derivative data (scaled by the mean
// parameter step, so that its residual is a length like that of the point
// rows), are solved by sparseLScg from the control polygon that interpolates
// the points linearly at the Greville abscissae: the control points the
// points do not determine stay near the data.
// Null (points unchanged) without a message for fewer than two points and
// for parameters repeated more often than the degree allows (an unhealthy
// knot vector); null with a message for a degree below 1 or a point without a
// 3-D position or parameter, or with parameters that descend. A coordinate
// whose least-squares objective stays above 1.0 prints "resx too large:"
// ("resy too large:", "resz too large:") and the value, and gives null.
Fenwo::NurbsSurf* fitCurveThroughPoints(IndexSubset<CFitPoint>& points, int degree);

// The surface through the grid of records (record (i, j) = grid.at(i, j),
// i < rows = nu along u, j < cols = nv along v), at the records' parameters
// (uv[0], uv[1]), or at parameters found first by parameterizeGrid when
// parameterize is set. Knots: copies of u and v when given, otherwise
// uniform clamped knots of degree min(uDegree, nu - 1) on [0, nu - 1] (and
// likewise in v), one control point per record. One row per record holds
// the products of the u and v basis functions; each coordinate is solved on
// the normal equations by sparseCG (at most twice as many iterations as
// control points) from start values taken from the records nearest to the
// Greville abscissae, and, when the least-squares objective 0.5 |A x - b|^2
// is still above 0.1, again by sparseLScgSerial (six times as many). When it
// stays above 0.1, "resx too large:" ("resy too large:", "resz too large:")
// and the value are printed and the result is null.
// progress (may be null) gets begin(0, 3) and one step per coordinate; a
// cancel ends the fit with null. Null with a message, nothing changed, for a
// grid smaller than 2 x 2, a record without a 3-D point (or without
// parameters when parameterize is off), an unhealthy knot vector, or given
// knots with more control points in a direction than the grid has records
// (the system would be underdetermined). With parameterize, the records'
// uv are rewritten as parameterizeGrid states.
// weights, when given, holds one weight per control point (index i + nU j):
// the result is the rational surface with those weights whose control
// points are fitted (with fixed weights the surface is linear in them).
Fenwo::NurbsSurf* fitNurbsToPoints(CFitPointArray2D& grid, const knots* u, const knots* v,
                                   CProgress* progress, bool parameterize, int uDegree, int vDegree,
                                   const double* weights = nullptr);

// Writes (u, v) into every record of the grid: the parameters of the
// record's nearest point on the surface whose control point (i, j) is record
// (i, j), over the given knots (or uniform clamped knots of degree
// min(count - 1, 3) on [0, count - 1]; given knots whose control-point count
// is not the grid's are replaced by such knots over their range). Start
// values by batch inversion with nU / 10 (clamped to 1 .. 4) samples per
// span and direction, refined by point inversion (limit 20); then the
// records of the border rows and columns take the domain's end values, so
// the parameters span the whole domain. False, records unchanged, for a
// grid smaller than 2 x 2, a record without a 3-D point, or an unhealthy
// knot vector.
bool parameterizeGrid(CFitPointArray2D& grid, const knots* u, const knots* v);
