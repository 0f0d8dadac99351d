#pragma once
// CRotation: the 3 x 3 rotation matrix about an axis by an angle (Rodrigues'
// formula). It is a full Matrix, so `rotation * v` turns a 3-vector.
//
// A plain value: owns its storage, copyable. Not thread-safe.

#include "foundation/Matrix.h"
#include "foundation/Vector.h"

class CRotation : public Matrix {
public:
    double angle = 0.0; // radians
    Vector axis;        // unit axis
    double cosAngle = 1.0;
    double sinAngle = 0.0;

    // The identity (angle 0 about z).
    CRotation();
    // The rotation about `axis` (any length, at least 3 entries) by `angleRad`
    // radians, counter-clockwise when looking against the axis.
    CRotation(const Vector& axis, double angleRad);
    // The rotation that turns direction `from` into direction `to` (any
    // lengths): about the unit cross product by the angle between them. When
    // the two are parallel the axis is a unit vector orthogonal to `from`
    // (the angle is 0 or pi); a zero direction gives the identity.
    CRotation(const Vector& from, const Vector& to);

    // Rebuilds the matrix R = cos I + (1 - cos) a a^T + sin [a]x with a the
    // normalised axis. A zero axis leaves a zero axis and R = cos I.
    void set(const Vector& axis, double angleRad);
};
