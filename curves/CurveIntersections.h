#pragma once
// Intersections of a curve with a plane and the closest approach (or a
// prescribed gap) between two curves, as one- and two-variable problems of
// the conjugate-gradient optimiser: the classes supply the objective and its
// gradient, the base runs the bounded minimisation.
//
// Ownership: the solvers keep pointers to the curves but do not own them;
// the curves must outlive the solvers. The plane is copied.
// Thread-safety: the solvers evaluate the curves, which writes the curves'
// derivative tables; a curve serves one solver at a time.

#include "foundation/ConjugateGradient.h"
#include "foundation/KorList.h"
#include "foundation/Plane.h"
#include "foundation/Vector.h"
#include "geometry/ParametricGeometry.h"

// Minimises 0.5 s(t)^2, s(t) = (P0 - C(t)).n the signed distance of the curve
// point from the plane (in units of |n|), over one parameter t.
class CIntersectCurvePlane : public CConjugateGradient {
public:
    CIntersectCurvePlane(CParametricGeometry* curve, const CPlane& plane);

    // Restricts t to [a, b].
    void setBounds(double a, double b);

    // Objective at t = x + alpha p, gradient -(C'(t).n) s with mode 1. A
    // curve that cannot be evaluated gives a huge value and a zero gradient.
    double evaluate(int mode, Vector& g, const Vector& x, double alpha, const Vector& p) override;

    // (C(t) - P0).n into s; false (s untouched) when the curve cannot be
    // evaluated. Parameters beyond the domain's end are taken back by
    // `period` first when it is set.
    bool signedDistance(double t, double& s);
    // t taken back into the domain by `period` when it lies beyond its end.
    double wrapParameter(double t) const;

    CParametricGeometry* curve; // not owned
    CPlane plane;
    Vector work; // the current curve point
    // Period of a closed curve (the length of its domain) or 0: lets the
    // search run over the interval that wraps past the domain's end.
    double period = 0.0;
};

// Minimises the squared distance |C1(s) - C2(t)|^2 / 2 over (s, t) or, with
// `useGap`, the squared excess of that squared distance over gap^2, which
// vanishes wherever the curves are within the gap of each other.
// A curve whose knots are cyclic runs without parameter bounds; any other is
// bounded by its domain.
class CCurveCurveCorrector : public CConjugateGradient {
public:
    CCurveCurveCorrector(CParametricGeometry* c1, CParametricGeometry* c2);

    double evaluate(int mode, Vector& g, const Vector& x, double alpha, const Vector& p) override;

    CParametricGeometry* curve1; // not owned
    CParametricGeometry* curve2; // not owned
    Vector delta;                // C1(s) - C2(t)
    Vector point;                // (s, t)
    Vector tangent1;             // C1'(s)
    Vector tangent2;             // C2'(t)
    Vector** table1 = nullptr;   // the curves' own derivative tables
    Vector** table2 = nullptr;
    double gap = 1e-8;
    double gapSquared = 1e-16;
    bool useGap = false;
};

// True when the curve is a NURBS curve with cyclic u knots (periodic, no
// parameter bounds).
bool isCyclicCurve(const CParametricGeometry* curve);

// Moves (s, t) from the given start to the closest approach of the curves
// (gap <= 1e-6) or to points at most gap apart (when the curves come that
// close) and returns |C1(s) - C2(t)| there: the plain distance, or gap when the
// curves are closer than gap. Parameters of cyclic curves are wrapped into
// their domain. A null curve, or a curve that cannot be evaluated, gives
// -1.0 with s and t unchanged.
double correctCurveCurve(CParametricGeometry* c1, CParametricGeometry* c2, double& s, double& t,
                         double gap);

// Intersections of the curve with the plane: every interval between
// neighbouring parameters of `params` (and, on a closed curve, the interval
// from the last parameter to the first one plus the domain length) whose end
// points lie within tol of the plane, on both sides of it, or nearly so is
// searched for a root; each root within tol of the plane is appended to out
// (inside the domain). True when this call appended a parameter; false for
// fewer than two parameters or a null curve.
bool intersectCurvePlaneIntervals(CParametricGeometry* curve, const CPlane& plane,
                                  const Kor::List<double>& params, Kor::List<double>& out,
                                  double tol);
