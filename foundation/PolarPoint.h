#pragma once
// CPolarPoint: a point seen from a centre (its offset, squared distance and
// polar angle); the entries of the convex-hull walk of CConvexHull2D.
//
// A plain value: owns its vectors, copyable, no shared state.

#include "foundation/Vector.h"

#include <cmath>

class CPolarPoint {
public:
    double angle = 0.0; // atan2 of the offset's y and x
    double dist2 = 0.0; // offset . offset
    Vector point;
    Vector offset; // point - centre

    CPolarPoint() = default;
    // Needs at least two coordinates in p and c.
    CPolarPoint(const Vector& p, const Vector& centre) : point(p), offset(p - centre)
    {
        dist2 = dot(offset, offset);
        angle = std::atan2(offset[1], offset[0]);
    }
};
