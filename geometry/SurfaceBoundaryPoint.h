// CPointOnSurfaceBoundary: a point on a side or at a corner of a surface
// patch, with the rules that turn a side point at the end of its side into
// the corner there; the test for a surface that cannot be evaluated; the
// exchange of corners along a collapsed side; and the span count the knot
// refinement takes for a turning angle.
//
// South is the side v = vmin, North v = vmax, West u = umin, East u = umax.
// Ownership: the record refers to its surface and fallback curve; it owns
// neither. Thread-safety: plain values; evaluation writes into the surface's
// own tables.
#pragma once

#include "foundation/Vector.h"
#include "geometry/BoundaryPosition.h"

class CParametricGeometry;
namespace Fenwo {
class NurbsSurf;
}

class CPointOnSurfaceBoundary {
public:
    BoundaryPosition position = undefinedPosition;
    Fenwo::NurbsSurf* surface = nullptr;          // not owned
    CParametricGeometry* fallbackCurve = nullptr; // not owned; used without a surface
    double parameter = 0.0;                       // along the side

    // Stores both. With a surface, a side whose parameter equals an end of
    // the surface's domain along that side (exactly) becomes the corner there.
    void setPosition(BoundaryPosition where, double t);

    // True for the four corners.
    bool isCorner() const;

    // The point in space: without a surface the fallback curve at the
    // parameter, else (0, 0, 0); a side evaluates the surface along that
    // side, a corner gives its corner control point. An unusable surface
    // and an unknown position print their message and give (0, 0, 0).
    Vector getPoint() const;
};

// True unless surface is a surface (kind 1) with both knot vectors holding
// knots and a valid control net. True for null.
bool isSurfaceUnusable(const Fenwo::NurbsSurf* surface);

// The corner at the other end of the surface's first collapsed side, when
// the surface has one and corner lies on it; any other corner is returned
// as it is.
BoundaryPosition mirrorCorner(BoundaryPosition corner, const Fenwo::NurbsSurf* surface);

// Spans the knot refinement uses for a turning angle in degrees: 2 below 3,
// 3 below 10, 4 below 15, 5 below 30, 6 below 60, 7 below 120, 8 below 180,
// 9 below 270, else 12.
int spansForAngle(double angle);
