// Small algorithms on curves and control polygons called by the net, the
// fitting and the healing: a parameter estimate for a point near a curve,
// the simplification of a closed control polygon into a cyclic poly-line, a
// miter offset of a control polygon, the total turning of a tangent, the
// smallest-area bounding rectangle of planar points, curvature statistics
// and the interpolation of a whole point array.
//
// Ownership: functions returning a NurbsSurf* return a new curve owned by
// the caller (null on failure). CEstimateCurveParam deletes its curve only
// when it owns it. Curves handed in are only evaluated or, where a function
// says so, changed in place.
// Thread-safety: evaluation writes into the curves' tables; one thread per
// curve. No process-wide state.
#pragma once

#include "foundation/FitPoint.h"
#include "foundation/KorList.h"
#include "foundation/Vector.h"
#include "foundation/Vertex.h"

class CParametricGeometry;
namespace Fenwo {
class NurbsSurf;
}

// Estimates the parameter of a point near a curve from the curve's points at
// a list of sample parameters (ascending).
class CEstimateCurveParam {
public:
    Kor::List<double> parameters;         // sample parameters
    CParametricGeometry* curve = nullptr; // owned when ownsCurve
    bool ownsCurve = false;
    double distance = 3.4028234663852886e38; // of the last estimate; the largest float until found

    CEstimateCurveParam() = default;
    // The facet parameters of g for the chord tolerance tol (at most 3000,
    // facets longer than 20 tol split); g is not owned. When g gives none,
    // tryIsoCurves takes g's iso-line v = v min instead. A null g leaves the
    // estimator empty.
    CEstimateCurveParam(CParametricGeometry* g, double tol);
    CEstimateCurveParam(const CEstimateCurveParam&) = delete;
    CEstimateCurveParam& operator=(const CEstimateCurveParam&) = delete;
    // Deletes the curve when it is owned, whatever its type.
    virtual ~CEstimateCurveParam();

    // Point form (segments false): the sample parameter whose curve point is
    // nearest to p (the first on ties). Segment form: the parameter
    // interpolated along the nearest chord between consecutive samples,
    // counting only feet that fall within a chord. distance receives the
    // distance found. Without samples, or without a chord that takes the
    // point, the start of the curve's domain (0 without a curve) with
    // distance left at the largest float.
    double estimate(const Vector& p, bool segments);

    // Prints "trying pIso, uvSouth ", makes the iso-line v = v min of g
    // running along u (owned from then on, in place of an owned curve) and
    // refills the parameters with its facets. False, nothing changed, for a
    // null g.
    bool tryIsoCurves(CParametricGeometry* g, double tol);
};

// A work record of the polygon simplification: the vertex position (the
// Vector part), its neighbours in a cyclic doubly linked list (not owned) and
// the two candidate moves (distance and position) that would let a
// neighbour go.
class CVInfo : public Vector {
public:
    CVInfo* next = nullptr;
    CVInfo* previous = nullptr;
    double firstDistance = 0.0;  // candidate that removes the previous neighbour
    double secondDistance = 0.0; // candidate that removes the next neighbour
    Vector firstPosition;
    Vector secondPosition;

    CVInfo() = default;
    explicit CVInfo(const Vector& position) : Vector(position) {}
    ~CVInfo() override = default;
};

// A topological vertex: a position. Base of the point-on-curve records of
// the healing.
class CTopoVertex {
public:
    CVertex<double, 3> position;

    CTopoVertex() = default;
    explicit CTopoVertex(const CVertex<double, 3>& p) : position(p) {}
    virtual ~CTopoVertex() = default;
};

// A point of the healing's skin on one curve: its position, the curve (not
// owned) and the curve parameter there. Copies carry all three.
class CPointOnCurve : public CTopoVertex {
public:
    CParametricGeometry* curve = nullptr; // not owned
    double parameter = 0.0;

    CPointOnCurve() = default;
    CPointOnCurve(const CVertex<double, 3>& p, CParametricGeometry* c, double t)
        : CTopoVertex(p), curve(c), parameter(t)
    {
    }
    CPointOnCurve(const CPointOnCurve&) = default;
    CPointOnCurve& operator=(const CPointOnCurve&) = default;
    ~CPointOnCurve() override = default;
};

// A new cyclic degree-1 curve (uniform knots over [0, 1]) through the
// control polygon of `curve` simplified to at most `target` vertices: while
// too many remain, the vertex whose move onto the meeting point of its
// neighbouring legs is shortest takes that place and lets a neighbour go.
// Null for a null curve, a target below 3 or fewer than 3 control points.
Fenwo::NurbsSurf* buildCyclicPolyline(Fenwo::NurbsSurf* curve, int target);

// Moves every inner control point of the curve by `distance` along the
// bisector of its two legs, scaled as a miter (distance / sin of half the
// turn, the sine taken as at least 0.1, so no point moves further than
// 10 x distance); a straight run of points stays where it is. Weights are
// kept. False only for a null curve.
bool adjustControlPointsAlongDifferences(Fenwo::NurbsSurf* curve, double distance);

// The total turning of the curve's tangent in degrees, summed over 10000
// equal arc-length steps; 0 when fewer than two samples result.
double totalTangentTurnAngle(CParametricGeometry* curve);

// The orientation (degrees, steps of 0.5 in [0, 90)) of the smallest-area
// axis-aligned bounding rectangle of the points turned by it: a point (x, y)
// turns to (x cos a + y sin a, y cos a - x sin a), its coordinates along the
// axes turned by a. Four corners of that rectangle, widened by margin on
// every side, are appended to `corners` in the turned frame, counter-
// clockwise from (min, min): (min, min), (max, min), (max, max), (min, max).
// A caller maps a corner (X, Y) back as X u' + Y v' with its axes u, v turned
// by the angle. False, with angle -1 and nothing appended, without points.
bool minAreaBoundingRectangle(const Kor::List<CVertex<float, 2>>& points,
                              Kor::List<CVertex<float, 2>>& corners, double& angle, double margin);

// The curve's length over its domain, and over its sample parameters (a
// NURBS curve: its breakpoints) refined 15-fold the smallest and largest
// curvature and the radii 1 / max(curvature, 2.2e-16) of both. False
// (outputs untouched) for a null curve.
bool curvatureStatistics(CParametricGeometry* curve, double& length, double& maxRadius,
                         double& minRadius, double& minCurvature, double& maxCurvature);

// interpolateCurve through every point of the array, in array order, with
// the further arguments handed on; its result (a new curve or null).
Fenwo::NurbsSurf* interpolatePoints(CFitPointArray& points, int mode, int degree,
                                    bool improveOnBase, bool closed);
