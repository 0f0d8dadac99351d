#pragma once
// Geometric and numeric helpers of the surface fitting: control-point counts
// from turning angles, parameter wrapping, extrusion of a curve, a plane
// through points, the derivative of a unit vector, curvature from
// derivatives, the planar segment record and small surface queries.
//
// Ownership: extrudeCurve returns a new surface owned by the caller; the
// rest returns plain values. Thread-safety: no shared state.

#include "foundation/KorList.h"
#include "foundation/Vector.h"
#include "geometry/Interval.h"

namespace Fenwo {
class NurbsSurf;
}

// Span count for a tangent turn in degrees: 1 up to 5 (and for a turn that is
// no number), 2 below 20, 3 below 35, 4 below 60, 5 below 100, 6 below 150,
// 8 below 220, 9 from there on.
int spanCountForAngle(double turn);

// Distinct u breakpoints less one, plus one on a cyclic u knot vector; 0 for
// a null surface.
int uSpanCount(const Fenwo::NurbsSurf* surface);

// The ruled surface swept by the curve along dir over [lo, hi] of `range`:
// the curve's u knots, v knots of degree 1 on [0, max(|hi - lo|, 1e-6)];
// control point (i, 0) = P_i + hi dir and (i, 1) = P_i + lo dir, each with
// P_i's weight. New surface owned by the caller; null for a null curve.
Fenwo::NurbsSurf* extrudeCurve(const Fenwo::NurbsSurf* curve, Vector dir, Interval range);

// Wraps x into the period [lo, hi): r = fmod(x - lo, hi - lo); |r| < 1e-8
// gives lo, else lo + r for x >= lo and hi + r below lo (so hi maps to lo).
void wrapParameter(double& x, double lo, double hi);

// centroid := the mean of the points (the origin for none); normal := the
// unit normal of their best-fit plane (the zero vector when the points
// determine none). False when they determine no plane.
bool fitPlaneToVectors(const Kor::List<Vector>& points, Vector& centroid, Vector& normal);

// out := dv / len - ((v . dv) / len^3) v: the derivative of v / |v| for a
// derivative dv of v, len = |v|.
void normalizedDerivative(const Vector& v, const Vector& dv, double len, Vector& out);

// |d1 x d2| / |d1|^3: the curvature from first and second derivative; 0 where
// d1 vanishes.
double curvature(const Vector& d1, const Vector& d2);

// A planar segment from a to b: start a, direction b - a, its length (0 when
// the squared length is not positive) and its angle atan2(dy, dx).
class CSegment {
public:
    double angle = 0.0;
    double length = 0.0;
    Vector start;
    Vector direction;

    CSegment(const Vector& a, const Vector& b);
};

// The last index n of the v knot vector; 0 for a null surface.
int getVLastIndex(const Fenwo::NurbsSurf* surface);
