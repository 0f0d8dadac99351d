#pragma once
// Shaping of the profile curves of a rail-section blend: scaling a profile
// about a centre along two directions, the weighted combination of two
// profiles with the same control-point layout, and the test whether a curve
// is nearly straight.
//
// Ownership: scaleCurveAlongAxes changes the profile in place;
// blendCurvesLinear returns a new curve owned by the caller.
// Thread-safety: the curves are evaluated; one thread per curve.

#include "foundation/Vector.h"

class CParametricGeometry;
namespace Fenwo {
class NurbsSurf;
}

// How scaleCurveAlongAxes scales: s1 along dir1 and s2 along dir2, about the
// centre. A negative s2 takes the value of s1.
struct CAxisScaling {
    Vector dir1;
    Vector dir2;
    Vector centre;
    double s1 = 1.0;
    double s2 = -1.0;
};

// Every control point p (Euclidean, relative to the centre) gets its
// component along dir1 scaled by s1 (exactly so for a unit dir1), then the
// result its component along dir2 by s2; weights are kept. A zero direction
// leaves its component alone. A null profile does nothing.
void scaleCurveAlongAxes(Fenwo::NurbsSurf* profile, CAxisScaling scaling);

// A copy of a whose homogeneous control points (weights included) are
// wa a_i + wb b_i. Null when a or b is null or b has fewer control points
// than a (its points would be missing). The caller owns the result.
Fenwo::NurbsSurf* blendCurvesLinear(const Fenwo::NurbsSurf* a, const Fenwo::NurbsSurf* b, double wa,
                                    double wb);

// True when the curve turns by less than one degree in all: a curve that
// facets into one chord within 0.001 is straight; otherwise the angles between
// the tangents just before and after every inner facet parameter and between
// the tangents at the middles of neighbouring facets are summed. False for a
// null curve.
bool isNearlyStraightCurve(CParametricGeometry* curve);
