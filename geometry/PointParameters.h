#pragma once
// Parameterisation of an ordered point sequence: the parameters that curve
// interpolation and approximation assign to their fit points, from chord
// lengths, their square roots, angle-corrected chords, uniform steps, or the
// closest points on the B-spline curve whose control polygon is the sequence.
//
// Ownership: writes only the uv of the caller's points; the curve of the
// projection mode is a temporary of the call.
// Thread-safety: no shared state; distinct calls may run concurrently.

#include "foundation/FitPoint.h"
#include "foundation/IndexSubset.h"

// Writes a parameter into uv[0] of each point of the ordered subset (uv[1]
// becomes 0.0; uv is made 2 entries long when shorter), running from 0 at
// the first point to `length` at the last. Steps between neighbours:
//   mode 1: chord length;
//   mode 2: centripetal (square root of the chord);
//   mode 3: chord length corrected by the turning angles at both ends of the
//           chord (modified chord length);
//   mode 4: the parameter of each point's closest point on the clamped
//           uniform B-spline curve of degree min(degree, n - 1) on
//           [0, length] whose control points are the points themselves;
//   any other mode: 1 (uniform).
// Mode 4 gives the chord-length parameters instead when it cannot order the
// points: degree below 1, a length that is not positive and finite, or
// closest points that do not follow the order of the sequence (a parameter
// below its predecessor's, or equal to it for distinct points). Only uv is
// written; dist2, state and the inversion records of the points are left as
// they were.
void parameterizePoints(IndexSubset<CFitPoint>& points, double length, int mode, int degree);
