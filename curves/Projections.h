// Nearest-point projections: a point onto a curve, a point onto a surface and
// a curve onto a line, each a small bounded minimisation on the
// conjugate-gradient optimiser.
//
// Residuals are formed in single precision (the evaluated point rounded to
// float minus the float target), so distances and parameters are as accurate
// as float coordinates allow. The objective is half the squared residual
// measured in units of the residual at the start value, which makes the
// optimiser's absolute stop tests (objective at or below 1e-16, relative
// decrease) and its first trial step independent of the size of the model.
//
// Ownership: the problem objects keep plain pointers to the geometry and the
// target for the duration of one `project` call; they own nothing else but
// their vectors.
//
// Thread-safety: NOT thread-safe. The projection functions run on three
// process-wide solver objects (see the accessors below) whose members every
// projection overwrites; call them from one thread at a time. A projection
// started while the same solver is already running (a geometry whose
// evaluation itself projects) runs on a temporary solver instead, so nested
// use gives correct results on that one thread.
#pragma once

#include "foundation/ConjugateGradient.h"
#include "foundation/Vector.h"
#include "foundation/Vertex.h"
#include "geometry/Interval.h"

class CParametricGeometry;

// Point onto curve; one variable, the curve parameter t.
class CSimpleCurvePointProjection : public CConjugateGradient {
public:
    CSimpleCurvePointProjection();
    ~CSimpleCurvePointProjection() override = default;

    // Moves t (the start value in, the result out) to the parameter of the
    // point of `curve` nearest to `point` within [lo, hi] (taken in either
    // order) intersected with the curve's domain; a range outside the domain
    // shrinks to the nearer domain end. A closed curve whose range covers its
    // whole domain is searched across its seam, and t comes back wrapped into
    // the domain. Returns the distance |C(t) - point| in single precision.
    // Failure: -1 with t unchanged when curve is null or cannot be evaluated.
    float project(CParametricGeometry* curve, const CVertex<float, 3>& point, double& t, double lo,
                  double hi);

    // Half the scaled squared residual at x + alpha p; g receives its
    // derivative in t when mode is 1.
    double evaluate(int mode, Vector& g, const Vector& x, double alpha, const Vector& p) override;
    // Clamps to the bounds, or on a closed curve wraps t into the domain.
    void applyStep(Vector& x, double alpha, const Vector& p) override;

    // Squared distance at the last evaluation, and the number of objective
    // evaluations of the last projection.
    double lastSquaredDistance() const { return m_dist2; }
    int evaluations() const { return m_loop; }
    // True while a projection runs on this object.
    bool isBusy() const { return m_busy; }

private:
    CParametricGeometry* m_curve = nullptr;     // not owned; set by project
    const CVertex<float, 3>* m_point = nullptr; // not owned; set by project
    Vector m_r;                                 // residual scratch (3)
    double m_dist2 = 0.0;
    int m_loop = 0;
    Vector m_x;               // the variable t
    Vector m_lo;              // lower bound
    Vector m_hi;              // upper bound
    bool m_closed = false;    // wrap instead of clamp in applyStep
    double m_invScale2 = 1.0; // 1 / (start residual)^2
    bool m_busy = false;
};

// Point onto surface; two variables, u and v.
class CSimpleSurfacePointProjection : public CConjugateGradient {
public:
    CSimpleSurfacePointProjection();
    ~CSimpleSurfacePointProjection() override = default;

    // Moves (u, v) (start values in, result out) to the parameters of the point
    // of `surface` nearest to `point` within U x V. A direction whose interval
    // equals the domain of a NURBS surface with cyclic knots in that direction
    // is searched across the seam and its result wrapped into the domain; all
    // other directions stay within their interval. The best point seen by the
    // search within the bounds is the result. Returns the distance in single
    // precision. Failure: -1 with u, v unchanged when surface is null or
    // cannot be evaluated.
    float project(CParametricGeometry* surface, const CVertex<float, 3>& point, double& u,
                  double& v, const Interval& U, const Interval& V);

    double evaluate(int mode, Vector& g, const Vector& x, double alpha, const Vector& p) override;

    double lastSquaredDistance() const { return m_dist2; }
    bool isBusy() const { return m_busy; }

private:
    CParametricGeometry* m_surface = nullptr;   // not owned
    const CVertex<float, 3>* m_point = nullptr; // not owned
    Vector m_r;                                 // residual scratch (3)
    Vector m_trial;                             // (u, v) of the evaluation
    double m_dist2 = 0.0;
    double m_bestDist2 = 0.0; // best squared distance of this projection
    Vector m_best;            // its (u, v)
    Vector m_x;               // (u, v)
    Vector m_lo;
    Vector m_hi;
    double m_invScale2 = 1.0;
    bool m_busy = false;
};

// Curve onto line: the parameter t of the curve point nearest to the line
// through A with direction D.
class CSimpleCurveLineProjection : public CConjugateGradient {
public:
    CSimpleCurveLineProjection();
    ~CSimpleCurveLineProjection() override = default;

    // Moves t (start in, result out) within [lo, hi] intersected with the
    // curve's domain to the curve point nearest to the line; D need not be a
    // unit vector (a zero D makes the line the point A). Returns the distance
    // of C(t) from the line in single precision; `projectedLength` is then the
    // position of the foot along the line from A. Failure: -1 with t unchanged
    // when curve is null or cannot be evaluated.
    float project(CParametricGeometry* curve, const CVertex<float, 3>& a,
                  const CVertex<float, 3>& d, double& t, double lo, double hi);

    double evaluate(int mode, Vector& g, const Vector& x, double alpha, const Vector& p) override;

    double projectedLength() const { return m_length; }
    double lastSquaredDistance() const { return m_dist2; }
    bool isBusy() const { return m_busy; }

private:
    CParametricGeometry* m_curve = nullptr; // not owned
    const CVertex<float, 3>* m_a = nullptr; // not owned
    CVertex<float, 3> m_d;                  // unit direction (or zero)
    Vector m_r;
    double m_length = 0.0;
    double m_dist2 = 0.0;
    Vector m_x;
    Vector m_lo;
    Vector m_hi;
    double m_invScale2 = 1.0;
    bool m_busy = false;
};

// The process-wide solvers, created on first use and destroyed at exit. Not
// thread-safe (see the file comment).
CSimpleCurvePointProjection& curvePointProjection();
CSimpleSurfacePointProjection& surfacePointProjection();
CSimpleCurveLineProjection& curveLineProjection();

// Point p (its first three entries, missing ones 0, rounded to float) onto
// the curve within [lo, hi]; t is the start value in and the result out.
// Returns the distance, or -1 (t unchanged) when curve is null.
float projectPointOnCurveInRange(CParametricGeometry* curve, const Vector& p, double& t, double lo,
                                 double hi);
// The same over the curve's whole domain.
float projectPointOnCurve(CParametricGeometry* curve, const Vector& p, double& t);
// A float vertex over the whole domain; a closed curve is searched across its
// seam.
float projectVertexOnCurve(CParametricGeometry* curve, const CVertex<float, 3>& p, double& t);
// Point p onto the surface over its whole u and v domains; u and v are the
// start values in and the result out. -1 (u, v unchanged) when surface is null.
float projectPointOnSurface(CParametricGeometry* surface, const Vector& p, double& u, double& v);
float projectVertexOnSurface(CParametricGeometry* surface, const CVertex<float, 3>& p, double& u,
                             double& v);
// The curve parameter t nearest to the line through a with direction d, over
// the curve's domain. Returns the distance of C(t) from the line, or -1 (t
// unchanged) when curve is null.
float projectLineOnCurve(CParametricGeometry* curve, const Vector& a, const Vector& d, double& t);
