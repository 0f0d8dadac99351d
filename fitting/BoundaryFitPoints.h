#pragma once
// Fit points of a patch from the curves the user selected: samples on the
// curves and, for curves that carry the normals of a neighbouring surface
// (surface edges), points beside the curve in that surface's tangent plane,
// so that a surface fitted through all of them takes the tangent plane over.
// Also the best-fit plane of a boundary.
//
// Ownership: the points are appended to the caller's array; subsets and
// statistics belong to the caller. Thread-safety: evaluation writes into the
// curves' tables; one thread per curve.

#include "foundation/FitPoint.h"
#include "foundation/KorList.h"

class CParametricGeometry;
class CPlane;
class CStatistic;

// Samples a curve at its facet parameters for the chord tolerance s.
// A curve with normals: every sample (point, uv (t, 0), normal) and, between
// each two samples k - 1 and k, two side points at the distance of the two
// samples on either side of the middle point along normal x tangent there
// (uv (tm, 0), no normal). A plain curve: its samples without the two end
// points, which the neighbouring curves provide. The indices of all points
// added go into the subset when one is given. With a statistic and more
// than one point in the array, |first point's normal . sample normal| is
// added per sample. True when the curve gave any facet parameter.
bool sampleCurveFitPoints(CParametricGeometry* curve, CFitPointArray& points,
                          IndexSubset<CFitPoint>* subset, double s, CStatistic* statistic);

// Samples a boundary curve. A plain curve goes to sampleCurveFitPoints. A
// curve with normals gives its samples (point, uv (t, 0), normal, unit
// tangent), whose indices go into the subset; with continuity > 0 also two
// side points per sample (uv (0, 0), in no subset) at the offset
// h = 2 tol / atan(angleDeg) / 10 along the curve's side vector, or along
// the axis the normals turn about where they turn across the curve. True
// when the curve gave at least 2 samples (a plain curve: see
// sampleCurveFitPoints).
bool sampleBoundaryCurve(CParametricGeometry* curve, CFitPointArray& points,
                         IndexSubset<CFitPoint>& subset, double s, double tol, double angleDeg,
                         int continuity);

// The best-fit plane of 21 equally spaced points of every curve into plane
// (point and unit normal). False when fewer than 3 points were sampled,
// that is for an empty list.
bool boundaryPlane(const Kor::List<CParametricGeometry*>& curves, CPlane& plane);
