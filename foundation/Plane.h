// Plane given by a point and a normal, both 3-entry Vectors.
//
// The normal is used as given; callers that want true distances keep it at
// unit length. Thread-safety: a plain value.
#pragma once

#include "foundation/Vector.h"

#include <algorithm>

class CPlane {
public:
    Vector point;
    Vector normal;

    CPlane() : point(3), normal(3) {}
    CPlane(const Vector& p, const Vector& nrm) : point(p), normal(nrm) {}

    // point + t normal.
    Vector pointAlongNormal(double t) const { return point + t * normal; }

    // (x - point).normal over the three coordinates.
    double signedDistance(const Vector& x) const
    {
        const int m = std::min({3, x.n, point.n, normal.n});
        double s = 0.0;
        for (int i = 0; i < m; ++i)
            s += (x[i] - point[i]) * normal[i];
        return s;
    }

    // x - ((x - point).normal) normal: the foot of x on the plane when the
    // normal has unit length.
    Vector project(const Vector& x) const { return x - signedDistance(x) * normal; }
};
