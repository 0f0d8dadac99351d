#pragma once
// Two fits of the curve algorithms: the surface through a family of
// compatible NURBS curves (skinning at given v parameters), and the NURBS
// curve through an ordered selection of fit points whose breakpoints are the
// points' parameters, finished by the constrained Newton approximation.
//
// Ownership: both return a new object owned by the caller, or null on
// failure. The input curves are only read; the fit points' parameters,
// distances and groups are updated in place.
// Thread-safety: none. The least-squares solves use the process-wide slots of
// sparseLScg, and the Newton fit the process-wide stop flag.

#include "foundation/FitPoint.h"
#include "foundation/IndexSubset.h"
#include "foundation/KorArray.h"
#include "foundation/Vector.h"
#include "geometry/Knots.h"

namespace Fenwo {
class NurbsSurf;
}

// The surface whose iso-curve at v = vParameters[k] (internal parameters,
// wrapped into vKnots' range) is curves[k], on the u knots of the first curve
// and on vKnots in v. The control points follow from one sparse least-squares
// problem per coordinate (x, y, z, and the weight when any curve is
// rational), solved by sparseLScg; curves that are not rational are taken by
// their Euclidean points and give a surface of weights 1.0. A residual above
// 1.0 prints "resx too large:" (resy, resz, resw) with its value on standard
// output and gives null; the later coordinates are not solved.
// Also null, with nothing printed, for an empty family, a null or invalid
// curve, a control point not set, curves of differing control-point counts,
// fewer parameters than curves, or an unhealthy vKnots whose control-point
// count is not the number of curves.
Fenwo::NurbsSurf* fitRationalNurbsToPoints(const Kor::Array<Fenwo::NurbsSurf*>& curves,
                                           const Vector& vParameters, const knots& vKnots);

// A clamped curve of the given degree through the selected fit points, in
// selection order: its knots are the points' parameters (uv[0], ascending;
// the first and the last bound the domain), it starts as the poly-line of the
// points with its first and last control points fixed at the end points, and
// is finished by Newton approximation of the points (5 iterations, normal
// alignment weight 10 for points with a 3-vector Normal). Every point's group
// becomes 2 when it has such a Normal, otherwise 1; its parameters and dist2
// are left as the fit found them. Null for fewer than two points, a degree
// below 1, a point without a 3-D Point or a parameter, descending parameters,
// an empty domain, or a knot vector the repair cannot make healthy (too many
// equal parameters); the points are then unchanged.
Fenwo::NurbsSurf* newtonCurveThroughPoints(IndexSubset<CFitPoint>& points, int degree);
