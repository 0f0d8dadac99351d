#pragma once
// Placing points and pieces of a face's boundary on the sides and corners of
// a surface patch: the corner a point stands at, the parameter of a point
// along a given side, and the side (with the parameter range and the two
// ends) that a boundary piece between two points runs along.
//
// Corners are the corner control points: (0, 0) south-west, (last u, 0)
// south-east, (last u, last v) north-east, (0, last v) north-west. South and
// north run in u (v at its minimum or maximum), west and east in v.
//
// Ownership: nothing is allocated; the surface is only evaluated (its own
// tables are written). Thread-safety: the projections use the process-wide
// projection solvers; one caller at a time.

#include "foundation/Vector.h"
#include "foundation/Vertex.h"
#include "geometry/BoundaryPosition.h"

class CParametricGeometry;
class CPointOnSurfaceBoundary;
class Interval;

// The corner whose control point is nearest to p (tested in the order
// south-west, south-east, north-west, north-east; the first of equals wins)
// when its distance is at most tol, else undefinedPosition. A geometry that
// is not a NURBS surface has no corners: undefinedPosition.
BoundaryPosition nearestCorner(const Vector& p, CParametricGeometry* s, double tol);
BoundaryPosition nearestCorner(const CVertex<float, 3>& p, CParametricGeometry* s, double tol);

// The parameter of p along `side` into *t (-1.0 until found). Near a corner
// (within tol) the result is that corner and *t the domain bound where the
// corner lies along the side (it stays -1.0 when the side does not meet the
// corner). Otherwise p is projected onto s: *t is the u of the foot for
// uvSouth and uvNorth, its v for uvWest and uvEast; any other side prints
// "unhandled searchPos " with its keyword and leaves -1.0. The result is
// then `side`.
BoundaryPosition boundaryParameter(const Vector& p, CParametricGeometry* s, double* t,
                                   BoundaryPosition side, double tol);

// The side of s along which the piece from a to b runs: along v (uvWest, or
// uvEast when the middle of the two u values is at least as near the u
// maximum) when the v values of the two points' start parameters differ
// more than their u values, else along u (uvSouth, or uvNorth likewise).
// range (when given) receives the ordered interval of the two parameters
// along the side, each snapped to the domain bound it lies within 1e-5 of,
// or to its bound when its end is a corner (the smaller value to the
// minimum, the larger to the maximum). endA and endB (when given) refer to s
// and hold the corner within cornerReach of their point, or else the side
// with the snapped parameter. cornerReach is a length: a caller that knows
// its model's tolerance takes it from there. Null s: undefinedPosition and
// nothing changes; a point that cannot be located prints "Attention:
// getBoundaryPOs returnung an undefined Position." and gives
// undefinedPosition.
constexpr double kDefaultCornerReach = 0.1;
BoundaryPosition getBoundaryPOs(const CVertex<float, 3>& a, const CVertex<float, 3>& b,
                                CParametricGeometry* s, Interval* range,
                                CPointOnSurfaceBoundary* endA, CPointOnSurfaceBoundary* endB,
                                double cornerReach = kDefaultCornerReach);
// The same for two points given in double precision (taken in single).
BoundaryPosition getBoundaryPOsOfPoints(const Vector& a, const Vector& b, CParametricGeometry* s,
                                        Interval* range, CPointOnSurfaceBoundary* endA,
                                        CPointOnSurfaceBoundary* endB,
                                        double cornerReach = kDefaultCornerReach);
