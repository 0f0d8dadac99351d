// Surfaces of the openNURBS subset: the abstract ON_Surface, ON_SurfaceProxy
// (a surface that evaluates another one it does not own) and ON_NurbsSurface
// with the subset's own tensor-product B-spline evaluation.
//
// Direction 0 is s (u), direction 1 is t (v). Evaluation of a surface that is
// not valid fails; it never reads outside the surface's storage. Not
// thread-safe for concurrent changes.
#pragma once

#include "platform/on/Object.h"

#include <vector>

class ON_NurbsSurface;

class ON_Surface : public ON_Geometry {
public:
    ON::object_type ObjectType() const override { return ON::surface_object; }

    virtual ON_Interval Domain(int dir) const = 0;
    // Point and the derivatives d/ds, d/dt, d2/ds2, d2/dsdt, d2/dt2 at
    // (s, t). quadrant 2 or 3 evaluates from below in s at a knot, 3 or 4
    // from below in t; hint is accepted and unused. False (outputs unchanged)
    // when the surface cannot be evaluated there.
    bool Ev2Der(double s, double t, ON_3dPoint& point, ON_3dVector& ds, ON_3dVector& dt,
                ON_3dVector& dss, ON_3dVector& dst, ON_3dVector& dtt, int quadrant = 0,
                int* hint = nullptr) const;
    // The point and its derivatives up to derCount (0, 1 or 2) at (s, t): v
    // receives the point, d/ds, d/dt, d2/ds2, d2/dsdt, d2/dt2 as far as
    // asked (one, three or six vectors), the derivatives not asked for left
    // out; each value is the one a full evaluation gives. False (v
    // unchanged) as for Ev2Der.
    virtual bool EvDerivatives(double s, double t, int derCount, ON_3dVector* v, int quadrant = 0,
                               int* hint = nullptr) const = 0;
    bool EvPoint(double s, double t, ON_3dPoint& point, int quadrant = 0,
                 int* hint = nullptr) const;
    // The unit normal d/ds x d/dt. Where the two derivatives are parallel (a
    // pole or a collapsed edge) the normal is taken a little way into the
    // domain. False when there is none.
    bool EvNormal(double s, double t, ON_3dVector& normal, int quadrant = 0,
                  int* hint = nullptr) const;
    // The point at (s, t) and the normal there, from one evaluation where
    // the normal needs no step: the values EvPoint and EvNormal give. False
    // when either has none.
    bool EvNormal(double s, double t, ON_3dPoint& point, ON_3dVector& normal, int quadrant = 0,
                  int* hint = nullptr) const;
    // The point at (s, t); ON_UNSET_VALUE coordinates when it cannot be
    // evaluated.
    ON_3dPoint PointAt(double s, double t) const;

    // The NURBS form of the surface (or of its part over the subdomains)
    // into *nurbs: 1 exact, 2 approximate within tolerance, 0 none (then
    // *nurbs is unchanged).
    virtual int NurbsSurface(ON_NurbsSurface* nurbs, double tolerance = 0.0,
                             const ON_Interval* sSubdomain = nullptr,
                             const ON_Interval* tSubdomain = nullptr) const = 0;
    // A new copy of the same kind, owned by the caller.
    virtual ON_Surface* DuplicateSurface() const = 0;
};

// Evaluates a surface it borrows; the surface must outlive the proxy.
class ON_SurfaceProxy : public ON_Surface {
public:
    ON_SurfaceProxy() = default;
    explicit ON_SurfaceProxy(const ON_Surface* surface) : m_surface(surface) {}

    static ON_SurfaceProxy* Cast(ON_Object* object)
    {
        return dynamic_cast<ON_SurfaceProxy*>(object);
    }
    static const ON_SurfaceProxy* Cast(const ON_Object* object)
    {
        return dynamic_cast<const ON_SurfaceProxy*>(object);
    }

    void SetProxySurface(const ON_Surface* surface) { m_surface = surface; }
    const ON_Surface* ProxySurface() const { return m_surface; }

    bool IsValid(ON_TextLog* textLog = nullptr) const override;
    int Dimension() const override;
    bool GetBBox(double* boxmin, double* boxmax, bool bGrowBox = false) const override;
    ON_Interval Domain(int dir) const override;
    bool EvDerivatives(double s, double t, int derCount, ON_3dVector* v, int quadrant = 0,
                       int* hint = nullptr) const override;
    int NurbsSurface(ON_NurbsSurface* nurbs, double tolerance = 0.0,
                     const ON_Interval* sSubdomain = nullptr,
                     const ON_Interval* tSubdomain = nullptr) const override;
    ON_Surface* DuplicateSurface() const override { return new ON_SurfaceProxy(*this); }

private:
    const ON_Surface* m_surface = nullptr;
};

// A NURBS surface: orders Order(0) x Order(1), CVCount(0) x CVCount(1)
// control points of m_dim coordinates (plus the weight when m_is_rat),
// Order(dir) + CVCount(dir) - 2 knots per direction.
class ON_NurbsSurface : public ON_Surface {
public:
    int m_dim = 0;
    int m_is_rat = 0;

    ON_NurbsSurface() = default;
    ON_NurbsSurface(int dim, bool isRational, int order0, int order1, int cvCount0, int cvCount1)
    {
        Create(dim, isRational, order0, order1, cvCount0, cvCount1);
    }

    static ON_NurbsSurface* Cast(ON_Object* object)
    {
        return dynamic_cast<ON_NurbsSurface*>(object);
    }
    static const ON_NurbsSurface* Cast(const ON_Object* object)
    {
        return dynamic_cast<const ON_NurbsSurface*>(object);
    }

    // Allocates control points (zero, weight 1) and knots (zero). False for
    // dim < 1, an order below 2 or fewer points than the order: the surface
    // is then empty.
    bool Create(int dim, bool isRational, int order0, int order1, int cvCount0, int cvCount1);
    void Destroy();

    int Order(int dir) const { return m_order[dir ? 1 : 0]; }
    int CVCount(int dir) const { return m_cvCount[dir ? 1 : 0]; }
    int KnotCount(int dir) const;
    int CVSize() const { return m_dim + (m_is_rat ? 1 : 0); }
    bool IsRational() const { return m_is_rat != 0; }

    double* CV(int i, int j);
    const double* CV(int i, int j) const;
    // As ON_NurbsCurve::SetCV: homogeneous points are kept on a rational
    // surface and stored as Euclidean points on a non-rational one.
    bool SetCV(int i, int j, const ON_4dPoint& point);
    bool SetCV(int i, int j, const ON_3dPoint& point);
    bool GetCV(int i, int j, ON_3dPoint& point) const;
    bool GetCV(int i, int j, ON_4dPoint& point) const;
    double Weight(int i, int j) const;

    bool SetKnot(int dir, int k, double value);
    double Knot(int dir, int k) const;

    bool IsValid(ON_TextLog* textLog = nullptr) const override;
    int Dimension() const override { return m_dim; }
    bool GetBBox(double* boxmin, double* boxmax, bool bGrowBox = false) const override;
    bool Transform(const ON_Xform& xform) override;
    ON_Interval Domain(int dir) const override;
    bool EvDerivatives(double s, double t, int derCount, ON_3dVector* v, int quadrant = 0,
                       int* hint = nullptr) const override;
    // A copy of the whole surface; 0 for an invalid surface and for
    // subdomains strictly inside the domain.
    int NurbsSurface(ON_NurbsSurface* nurbs, double tolerance = 0.0,
                     const ON_Interval* sSubdomain = nullptr,
                     const ON_Interval* tSubdomain = nullptr) const override;
    ON_Surface* DuplicateSurface() const override { return new ON_NurbsSurface(*this); }

private:
    bool storageFits() const;

    int m_order[2] = {0, 0};
    int m_cvCount[2] = {0, 0};
    int m_cvStride = 0;
    std::vector<double> m_knot[2];
    std::vector<double> m_cv;
};
