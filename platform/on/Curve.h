// Curves of the openNURBS subset: the abstract ON_Curve, ON_CurveProxy (a
// curve that evaluates another one it does not own), ON_LineCurve and
// ON_NurbsCurve with the subset's own B-spline evaluation.
//
// Parameter-plane curves have dimension 2; their points and derivatives are
// reported with z = 0. Evaluation of a curve that is not valid fails; it never
// reads outside the curve's storage. Not thread-safe for concurrent changes.
#pragma once

#include "platform/on/Object.h"

#include <vector>

class ON_NurbsCurve;

class ON_Curve : public ON_Geometry {
public:
    ON::object_type ObjectType() const override { return ON::curve_object; }

    virtual ON_Interval Domain() const = 0;
    // Point, first and second derivative at t. At an interior knot side < 0
    // evaluates from below, else from above; hint is accepted and unused.
    // False (outputs unchanged) when the curve cannot be evaluated at t.
    virtual bool Ev2Der(double t, ON_3dPoint& point, ON_3dVector& firstDerivative,
                        ON_3dVector& secondDerivative, int side = 0, int* hint = nullptr) const = 0;
    bool EvPoint(double t, ON_3dPoint& point, int side = 0, int* hint = nullptr) const;
    // The point at t; ON_UNSET_VALUE coordinates when it cannot be evaluated.
    ON_3dPoint PointAt(double t) const;
    ON_3dPoint PointAtStart() const { return PointAt(Domain().m_t[0]); }
    ON_3dPoint PointAtEnd() const { return PointAt(Domain().m_t[1]); }

    // The NURBS form of the curve, or of its part over subdomain, into
    // *nurbs: 1 when exact, 2 when approximated within tolerance, 0 when the
    // curve has none (then *nurbs is unchanged).
    virtual int NurbsCurve(ON_NurbsCurve* nurbs, double tolerance = 0.0,
                           const ON_Interval* subdomain = nullptr) const = 0;
    // A new copy of the same kind, owned by the caller.
    virtual ON_Curve* DuplicateCurve() const = 0;
};

// Evaluates a curve it borrows, over a domain that is the curve's own or a
// part of it (parameters are the curve's; no reparametrization). The curve
// must outlive the proxy.
class ON_CurveProxy : public ON_Curve {
public:
    ON_CurveProxy() = default;
    explicit ON_CurveProxy(const ON_Curve* curve) { SetProxyCurve(curve); }

    static ON_CurveProxy* Cast(ON_Object* object) { return dynamic_cast<ON_CurveProxy*>(object); }
    static const ON_CurveProxy* Cast(const ON_Object* object)
    {
        return dynamic_cast<const ON_CurveProxy*>(object);
    }

    // The whole curve (null: none).
    void SetProxyCurve(const ON_Curve* curve);
    // Part of the curve; a domain not inside the curve's makes the proxy
    // invalid.
    void SetProxyCurve(const ON_Curve* curve, const ON_Interval& domain);
    const ON_Curve* ProxyCurve() const { return m_curve; }

    bool IsValid(ON_TextLog* textLog = nullptr) const override;
    int Dimension() const override;
    bool GetBBox(double* boxmin, double* boxmax, bool bGrowBox = false) const override;
    ON_Interval Domain() const override { return m_domain; }
    bool Ev2Der(double t, ON_3dPoint& point, ON_3dVector& firstDerivative,
                ON_3dVector& secondDerivative, int side = 0, int* hint = nullptr) const override;
    int NurbsCurve(ON_NurbsCurve* nurbs, double tolerance = 0.0,
                   const ON_Interval* subdomain = nullptr) const override;
    ON_Curve* DuplicateCurve() const override { return new ON_CurveProxy(*this); }

private:
    const ON_Curve* m_curve = nullptr;
    ON_Interval m_domain;
};

// A straight segment from m_line.from (at m_t[0]) to m_line.to (at m_t[1]).
class ON_LineCurve : public ON_Curve {
public:
    ON_Line m_line;
    ON_Interval m_t{0.0, 1.0};
    int m_dim = 3;

    ON_LineCurve() = default;
    // Domain [0, length] (or [0, 1] for a zero-length line).
    ON_LineCurve(const ON_3dPoint& from, const ON_3dPoint& to);
    explicit ON_LineCurve(const ON_Line& line) : ON_LineCurve(line.from, line.to) {}

    static ON_LineCurve* Cast(ON_Object* object) { return dynamic_cast<ON_LineCurve*>(object); }
    static const ON_LineCurve* Cast(const ON_Object* object)
    {
        return dynamic_cast<const ON_LineCurve*>(object);
    }

    bool IsValid(ON_TextLog* textLog = nullptr) const override;
    int Dimension() const override { return m_dim; }
    bool GetBBox(double* boxmin, double* boxmax, bool bGrowBox = false) const override;
    bool Transform(const ON_Xform& xform) override;
    ON_Interval Domain() const override { return m_t; }
    bool Ev2Der(double t, ON_3dPoint& point, ON_3dVector& firstDerivative,
                ON_3dVector& secondDerivative, int side = 0, int* hint = nullptr) const override;
    // Degree 1 with two control points; exact.
    int NurbsCurve(ON_NurbsCurve* nurbs, double tolerance = 0.0,
                   const ON_Interval* subdomain = nullptr) const override;
    ON_Curve* DuplicateCurve() const override { return new ON_LineCurve(*this); }
};

// A NURBS curve: order k (degree k - 1), n control points of m_dim
// coordinates (plus the weight when m_is_rat), n + k - 2 knots.
class ON_NurbsCurve : public ON_Curve {
public:
    int m_dim = 0;
    int m_is_rat = 0;

    ON_NurbsCurve() = default;
    ON_NurbsCurve(int dim, bool isRational, int order, int cvCount)
    {
        Create(dim, isRational, order, cvCount);
    }

    static ON_NurbsCurve* Cast(ON_Object* object) { return dynamic_cast<ON_NurbsCurve*>(object); }
    static const ON_NurbsCurve* Cast(const ON_Object* object)
    {
        return dynamic_cast<const ON_NurbsCurve*>(object);
    }

    // Allocates control points (zero, weight 1) and knots (zero). False for
    // dim < 1, order < 2 or cvCount < order: the curve is then empty.
    bool Create(int dim, bool isRational, int order, int cvCount);
    void Destroy();

    int Order() const { return m_order; }
    int CVCount() const { return m_cvCount; }
    int KnotCount() const { return m_cvCount > 0 ? m_order + m_cvCount - 2 : 0; }
    // Doubles per control point: m_dim, plus one for the weight.
    int CVSize() const { return m_dim + (m_is_rat ? 1 : 0); }
    bool IsRational() const { return m_is_rat != 0; }

    // The stored control point i (homogeneous when rational); null out of
    // range.
    double* CV(int i);
    const double* CV(int i) const;
    // A homogeneous point (w·x, w·y, w·z, w): kept as it is on a rational
    // curve, stored as the Euclidean point on a non-rational one (false for
    // w = 0). A 2-D curve keeps x and y.
    bool SetCV(int i, const ON_4dPoint& point);
    // A Euclidean point (weight 1 on a rational curve).
    bool SetCV(int i, const ON_3dPoint& point);
    // The Euclidean point (z = 0 for a 2-D curve).
    bool GetCV(int i, ON_3dPoint& point) const;
    // The homogeneous point (w = 1 for a non-rational curve).
    bool GetCV(int i, ON_4dPoint& point) const;
    double Weight(int i) const;

    // False (unchanged) for an index out of range.
    bool SetKnot(int k, double value);
    // ON_UNSET_VALUE for an index out of range.
    double Knot(int k) const;

    bool IsValid(ON_TextLog* textLog = nullptr) const override;
    int Dimension() const override { return m_dim; }
    bool GetBBox(double* boxmin, double* boxmax, bool bGrowBox = false) const override;
    bool Transform(const ON_Xform& xform) override;
    ON_Interval Domain() const override;
    bool Ev2Der(double t, ON_3dPoint& point, ON_3dVector& firstDerivative,
                ON_3dVector& secondDerivative, int side = 0, int* hint = nullptr) const override;
    // A copy of the whole curve; 0 for an invalid curve and for a subdomain
    // strictly inside the domain (no knot insertion here).
    int NurbsCurve(ON_NurbsCurve* nurbs, double tolerance = 0.0,
                   const ON_Interval* subdomain = nullptr) const override;
    ON_Curve* DuplicateCurve() const override { return new ON_NurbsCurve(*this); }

private:
    // Storage fits the shape: false when m_dim or m_is_rat were changed
    // after Create so that a control point no longer fits its stride.
    bool storageFits() const;

    int m_order = 0;
    int m_cvCount = 0;
    int m_cvStride = 0;
    std::vector<double> m_knot;
    std::vector<double> m_cv;
};
