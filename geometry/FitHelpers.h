#pragma once
// Small geometric helpers shared by the surface fitting and its constraints:
// angles and parallelism of vectors, linear interpolation, point-to-segment
// distance, and the axis record (a point and a unit direction) that serves as
// a line or as a plane with its normal.
//
// Ownership: plain values and free functions; nothing is allocated for the
// caller. Thread-safety: no shared state.

#include "foundation/Vector.h"

// A point and a unit direction, both 3 entries: a line, or a plane through
// the point with the direction as its normal.
class CAxis {
public:
    Vector point;
    Vector direction;

    CAxis() : point(3), direction(3) {}
    // Copies the first three entries of each (missing ones are 0) and
    // normalises the direction; a zero direction stays zero.
    CAxis(const Vector& p, const Vector& dir);

    // u: a unit vector orthogonal to the direction; v = direction x u.
    void orthonormalPair(Vector& u, Vector& v) const;
    // Orthogonal projection of x onto the line: point + ((x - point).d) d.
    Vector footOnLine(const Vector& x) const;
    // Orthogonal projection of x onto the plane: x - ((x - point).d) d.
    Vector footOnPlane(const Vector& x) const;
};

// The angle between a and b in radians, in [0, pi]: acos of their cosine
// clamped to [-1, 1]. A zero vector gives pi/2 (its cosine counts as 0).
double angleBetween(const Vector& a, const Vector& b);

// True when a and b are parallel or antiparallel: | |cos(a, b)| - 1 | < 1e-6.
// A zero vector is parallel to nothing.
bool areParallel(const Vector& a, const Vector& b);

// out = (1 - t) a + t b over the entries both have; returns out.
Vector& lerp(Vector& out, const Vector& a, const Vector& b, double t);
Vector lerp(const Vector& a, const Vector& b, double t);

// Squared distance from p to the segment a-b in n dimensions. *tOut (when
// not null) receives the unclamped parameter t = ((p - a).(b - a)) / |b - a|^2
// of the foot on the line, or -1 when |b - a|^2 < 2.2e-16; the distance is
// measured to a + clamp(t, 0, 1) (b - a).
double pointSegmentDistance(const double* a, const double* b, const double* p, int n, double* tOut);

// The least distance from p, across the unit normal n (the part of the
// offset along n left out), of the points of the segment a-b (3 entries
// each) that lie within `radius` of p; HUGE_VAL when none does.
double segmentDistanceAcross(const double* a, const double* b, const double* p, const double* n,
                             double radius);

// Closest points of the lines A (point + s dirA) and B (point + t dirB):
// *s and *t the parameters of the closest points along each axis's unit
// direction, mid the midpoint of the two points (3 entries) and *d their
// distance. Nearly parallel lines (|dirA x dirB|^2 < 1e-16) have no single
// pair: the result is false, with *s = 0 (A's own point), *t the parameter of
// that point's foot on B, mid their midpoint and *d the distance of the lines.
// Null output pointers are skipped.
bool closestPointsOfAxes(const CAxis& a, const CAxis& b, double* s, double* t, Vector& mid,
                         double* d);
