// Start values for the projections of a point onto a curve or a surface, and
// the scale between lengths on a surface and lengths in its parameter plane.
//
// The Newton and conjugate-gradient projections converge to the nearest
// local minimum; these routines find a start near the global one: the
// nearest facet segment of a curve, the best of a grid of inverted points on
// a NURBS surface, or a corner search that halves any surface's domain.
//
// Ownership: nothing is kept; the geometries are only evaluated.
// Thread-safety: evaluation overwrites the geometries' derivative tables and
// the surface start uses point inversion; one thread per geometry.
#pragma once

#include "foundation/FitPoint.h"
#include "foundation/IndexSubset.h"
#include "foundation/Vector.h"

class CParametricGeometry;

// The parameter of the point of the curve's facet poly-line nearest to p
// (its first three entries). The curve is faceted with the chord tolerance
// min(1.0, 0.01 x its length), so the start is equally good at every model
// size; a curve that facets into its two ends only is faceted again with
// verification. The nearest segment's foot gives the parameter by linear
// interpolation, or the segment's midpoint when the foot lies beyond its
// ends. A curve without usable facets is faceted through its boundary curve
// on its own domain. False, t unchanged, when no segment gives a distance
// (a null curve, or points that are not numbers).
bool startParameterOnCurve(CParametricGeometry& curve, const Vector& p, double& t);

// Start parameters of p on a surface. A NURBS surface inverts an
// (n + 1) x (n + 1) grid of its parameters onto p (point inversion, 20
// iterations) and takes the best; any other surface takes the corner
// bisection below. True unless the surface is null or n < 1 on a NURBS
// surface (u and v then unchanged).
bool startParametersOnSurface(CParametricGeometry* surface, double& u, double& v, const Vector& p,
                              int n);

// Corner search: n + 1 passes, each visiting the four corners of the current
// rectangle ((lo, lo), (hi, lo), (hi, hi), (lo, hi)) and halving it towards the
// nearest corner seen so far (a strictly smaller distance replaces it, so a
// tie keeps the earlier corner). The result is that corner; 4 (n + 1) surface
// points are evaluated. False (u, v unchanged) for a null surface.
bool startParametersByBisection(CParametricGeometry* surface, double& u, double& v, const Vector& p,
                                int n);

// 1 / |d_u S_u + d_v S_v| at (u, v) for the unit uv direction d (normalised
// when it is not one already): the parameter-plane length of a unit length
// on the surface along d. 1e16 where that derivative vanishes (below 1e-16).
double uvDirectionScale(CParametricGeometry* surface, double u, double v, const Vector& direction);

// A parameter-plane tolerance for a 3-D tolerance along the uv poly-line of
// the selected fit points: tol times the smallest uvDirectionScale of the
// steps between consecutive points, taken at each step's later point. The
// smallest scale is where the surface stretches the parameter plane most, so
// the tolerance holds at every point. -1 for a null surface, an empty
// selection, or when no step has a direction.
double uvToleranceAlongPoints(CParametricGeometry* surface, const IndexSubset<CFitPoint>& points,
                              double tol);
