// Analytic curves and surfaces for tests: exact points and derivatives of
// every order, so that tests of the geometry interface and of the curve and
// surface algorithms can compare against closed forms.
//
// All of them derive from AnalyticGeometry, which owns the derivative table,
// stores the domain and honours the reversal flags (a reversed direction runs
// backwards over the same domain; odd derivatives in it change sign).
//
// Ownership: clone returns a new object owned by the caller.
// Thread-safety: evaluation writes the object's table; one thread per object.
#pragma once

#include "geometry/ParametricGeometry.h"

#include <functional>
#include <memory>
#include <vector>

namespace Fenwo {
class NurbsSurf;
}

class AnalyticGeometry : public CParametricGeometry {
public:
    ~AnalyticGeometry() override;

    long memorySize() const override { return static_cast<long>(sizeof(*this)); }
    Vector** evaluate(int order, double u, double v) override;
    Interval getDomain(int dir) const override { return dir == 0 ? uDomain : vDomain; }
    void setDomain(int dir, const Interval& domain) override;
    // No interior breaks: the two ends, false.
    bool getUKinks(Vector& kinks) const override;
    bool getVKinks(Vector& kinks) const override;

    // Number of evaluate calls so far (tests of caching count them).
    int evaluations = 0;

protected:
    AnalyticGeometry(int kind, const Interval& u, const Interval& v);
    AnalyticGeometry(const AnalyticGeometry& other);
    // Fills d[i][j], i, j <= order, at internal parameters (u, v).
    virtual void evaluateAt(int order, double u, double v, Vector** d) const = 0;

    Interval uDomain;
    Interval vDomain;

private:
    Vector** table = nullptr;
    int tableOrder = -1;
};

// The segment from a to b, parameter t in [t0, t1] running linearly.
class AnalyticLine : public AnalyticGeometry {
public:
    AnalyticLine(const Vector& a, const Vector& b, double t0 = 0.0, double t1 = 1.0);
    bool writeGeometry(std::ostream& os) const override;
    CParametricGeometry* clone() const override { return new AnalyticLine(*this); }

    Vector start;
    Vector end;

protected:
    void evaluateAt(int order, double u, double v, Vector** d) const override;
};

// Circle arc centre + radius (cos t, sin t, 0), t in [t0, t1] (radians).
class AnalyticCircle : public AnalyticGeometry {
public:
    AnalyticCircle(const Vector& centre, double radius, double t0, double t1);
    bool writeGeometry(std::ostream& os) const override;
    CParametricGeometry* clone() const override { return new AnalyticCircle(*this); }

    Vector centre;
    double radius;

protected:
    void evaluateAt(int order, double u, double v, Vector** d) const override;
};

// Circle arc in space: centre + radius (cos t e1 + sin t e2), t in [t0, t1]
// (radians); e1 and e2 orthonormal.
class AnalyticSpaceArc : public AnalyticGeometry {
public:
    AnalyticSpaceArc(const Vector& centre, const Vector& e1, const Vector& e2, double radius,
                     double t0, double t1);
    bool writeGeometry(std::ostream& os) const override;
    CParametricGeometry* clone() const override { return new AnalyticSpaceArc(*this); }

    Vector centre, e1, e2;
    double radius;

protected:
    void evaluateAt(int order, double u, double v, Vector** d) const override;
};

// A curve that carries the normals of a surface it lies on, as the edges of
// surfaces do: the points and derivatives of the wrapped curve, and as its
// normal the field's value at the curve point. Owns the wrapped curve.
class CurveWithNormals : public CParametricGeometry {
public:
    using NormalField = std::function<Vector(const Vector& point)>;
    CurveWithNormals(CParametricGeometry* curve, NormalField field);

    long memorySize() const override { return curve->memorySize(); }
    bool writeGeometry(std::ostream& os) const override { return curve->writeGeometry(os); }
    CParametricGeometry* clone() const override;
    Vector** evaluate(int order, double u, double v) override
    {
        return curve->evaluate(order, u, v);
    }
    Interval getDomain(int dir) const override { return curve->getDomain(dir); }
    void setDomain(int dir, const Interval& d) override { curve->setDomain(dir, d); }
    bool getUKinks(Vector& kinks) const override { return curve->getUKinks(kinks); }
    bool getVKinks(Vector& kinks) const override { return curve->getVKinks(kinks); }
    bool isUReversed() const override { return curve->isUReversed(); }
    void reverseU() override { curve->reverseU(); }
    bool hasNormal() const override { return true; }
    Vector getNormal(double t, double) override { return normalized(field(getPoint(t, 0.0))); }

    std::unique_ptr<CParametricGeometry> curve;
    NormalField field;
};

using CurveVector = std::vector<std::unique_ptr<CParametricGeometry>>;

// The curves as the list of plain pointers the curve algorithms take.
inline Kor::List<CParametricGeometry*> listOf(const CurveVector& curves)
{
    Kor::List<CParametricGeometry*> list;
    for (const auto& c : curves)
        list.append(c.get());
    return list;
}

// The four arcs that bound the cap |x|, |y| <= half of the sphere of the
// radius about the origin (z > 0), counter-clockwise seen from +z. With side
// not 0 they carry the sphere's outward normals times side (curves with
// normals, as the edges of a surface would).
CurveVector sphereCapBoundary(double radius, double half, double side);

// The plane origin + u a + v b over [u0, u1] x [v0, v1].
class AnalyticPlane : public AnalyticGeometry {
public:
    AnalyticPlane(const Vector& origin, const Vector& a, const Vector& b, const Interval& u,
                  const Interval& v);
    bool writeGeometry(std::ostream& os) const override;
    CParametricGeometry* clone() const override { return new AnalyticPlane(*this); }

    Vector origin;
    Vector a;
    Vector b;

protected:
    void evaluateAt(int order, double u, double v, Vector** d) const override;
};

// The sphere centre + radius (cos v cos u, cos v sin u, sin v), u the
// longitude in [0, 2 pi], v the latitude in [-pi/2, pi/2]; the poles are
// degenerate (Du = 0).
class AnalyticSphere : public AnalyticGeometry {
public:
    AnalyticSphere(const Vector& centre, double radius);
    bool writeGeometry(std::ostream& os) const override;
    CParametricGeometry* clone() const override { return new AnalyticSphere(*this); }

    Vector centre;
    double radius;

protected:
    void evaluateAt(int order, double u, double v, Vector** d) const override;
};

// A rational NURBS cylinder about the z axis: the full circle of the radius
// in u over [0, 1] (quadratic, nine control points, weights 1 and sqrt(2)/2
// at the corners of the square around it), straight in v over [0, 1] from
// z = 0 to z = height. Every point lies exactly at the radius.
std::unique_ptr<Fenwo::NurbsSurf> makeRationalCylinder(double radius, double height);

// A wavy bicubic patch over U x V (5 x 5 control points on clamped uniform
// knots): x and y run linearly with u and v, z = 0.6 sin(1.3 i) cos(0.9 j)
// over the control-point indices.
std::unique_ptr<Fenwo::NurbsSurf> makeWavyBicubic(const Interval& U, const Interval& V);
