// CIsoParametricCurve: the line of a surface along which one parameter is
// constant, typically a side of a patch. It has no uv curve: it evaluates its
// surface directly at (value, t) or (t, value).
//
// Ownership: the surface is not owned; clone returns a new curve owned by
// the caller.
// Thread-safety: evaluation writes into the curve's table and the surface's;
// one thread per surface.
#pragma once

#include "curves/CurveOnSurface.h"

class CIsoParametricCurve : public CCONS {
public:
    double value = 0.0; // the constant parameter
    double u = 0.0;     // (u, v) of the last evaluation
    double v = 0.0;
    int direction = 3; // 2: u = value, running along v; 3: v = value, running along u
    int side = 0;      // 0 none; 1 v = vmin, 2 v = vmax, 3 u = umin, 4 u = umax
    Interval domain;   // the running direction's domain of the surface, or as set

    // The line at `value` in direction 2 or 3; the side is derived by exact
    // comparison of the value with the ends of the constant direction's
    // domain.
    CIsoParametricCurve(CParametricGeometry* surface, double value, int direction);
    // The side 1 to 4 of the surface's domain (any other side gives side 0,
    // direction 3 at the lower end of the v domain).
    CIsoParametricCurve(CParametricGeometry* surface, int side);

    using CCONS::getSideVector;

    // A new curve on the same surface, value and direction; a domain set by
    // setDomain is not carried over.
    CParametricGeometry* clone() const override;
    // Row 0 the surface point, row 1 and 2 the first and second derivative
    // along the running direction.
    Vector** evaluate(int order, double t, double v) override;
    // The stored domain, whatever direction is asked.
    Interval getDomain(int) const override { return domain; }
    void setDomain(int, const Interval& d) override { domain = d; }
    // The surface's kinks (sample parameters) of the running direction that
    // lie strictly inside the domain, between the domain's ends; kinks:
    // false (out unchanged) when none lies inside.
    bool getUKinks(Vector& kinks) const override;
    void getUSampleParameters(Vector& out) const override;
    // The unit derivative across the line (with orthogonal its part
    // orthogonal to the line), negated when the value lies below the middle
    // of the constant direction's domain: on a side it points away from the
    // patch.
    Vector getSideVector(double t, bool orthogonal) override;
    // The surface's normal at the point of t.
    Vector getNormal(double t, double v) override;

private:
    // (u, v) of the parameter t into the work fields.
    void setParameters(double t);
    // The surface's domain in the constant direction.
    Interval constantDomain() const;
    // lo, every value of `values` but its first and last that lies strictly
    // inside the domain, hi; inner counts those.
    Vector insideDomain(const Vector& values, int& inner) const;
};
