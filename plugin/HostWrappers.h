// Host geometry seen as the system's own: host curves and trims through the
// curve-evaluation interface (CVezadCurveInterface, a trim lifted to space
// through its face), a parametric curve over that interface (ciCurve), a
// parametric surface over a host surface (ciSurface), and the kernel curve
// of one picked host curve (collectPatchBoundary): a curve on a surface for
// an edge or trim, a space curve otherwise. The patch command fits faces to
// host edges through them without converting the edges to NURBS first.
//
// Ownership: no wrapper owns the host object it reads, which must outlive
// it. A ciCurve owns its interface only when told so; what
// collectPatchBoundary returns owns every wrapper it made.
// Thread-safety: evaluation writes the wrappers' own tables; one thread.
#pragma once

#include "geometry/CurveInterface.h"
#include "geometry/Interval.h"
#include "geometry/ParametricGeometry.h"
#include "platform/on/OpenNurbsSubset.h"

class CVezadCurveInterface : public C3DCurveInterface {
public:
    explicit CVezadCurveInterface(const ON_Curve* curve) : curve(curve) {}

    // The curve's domain; true.
    bool getDomain(double& t0, double& t1) override;
    bool getPoint(double t, double& x, double& y, double& z) override;
    bool getFirstDerivative(double t, double& x, double& y, double& z) override;
    bool getSecondDerivative(double t, double& x, double& y, double& z) override;
    // True when the evaluation worked and the normal is not (nearly) zero:
    // false for every curve that is not the trim of a face.
    bool getNormal(double t, double& x, double& y, double& z) override;
    // The curve's point and derivatives; a requested normal is zero. A trim
    // of a face gives the face's point and unit normal at its (u, v) point,
    // its derivatives staying those in the parameter plane. True exactly
    // when the curve could be evaluated.
    bool evaluate(double t, double* point, double* first, double* second, double* normal) override;
    bool reserved7() override { return false; }

private:
    // One of evaluate's four results (0 point, 1 first and 2 second
    // derivative, 3 normal) into x, y, z.
    bool evaluateOne(double t, int which, double& x, double& y, double& z);

    const ON_Curve* curve; // not owned
    ON_3dPoint p;
    ON_3dVector d1, d2, n;
};

// A curve evaluated through a curve interface. An interface whose domain
// runs backwards (t0 > t1) is a curve periodic on [0, 1] taken across its
// seam: the curve's domain is [t0, t1 + 1], and parameters wrap into [0, 1)
// before they reach the interface.
class ciCurve : public CParametricGeometry {
public:
    Interval domain;
    Interval sourceDomain;
    bool wrapped = false;

    // owns: the interface is deleted with the curve.
    explicit ciCurve(C3DCurveInterface* curve, bool owns = false);
    ciCurve(const ciCurve&) = delete;
    ~ciCurve() override;

    long memorySize() const override { return 0; }
    bool writeGeometry(std::ostream&) const override { return false; }
    CParametricGeometry* clone() const override { return nullptr; }
    // Rows 0..min(order, 2): point, first derivative (negated when the curve
    // is reversed, whose parameter is mirrored in the domain) and second
    // derivative. Row 0 keeps its last value when the interface fails.
    Vector** evaluate(int order, double t, double v) override;
    Interval getDomain(int) const override { return domain; }
    void setDomain(int, const Interval& d) override { domain = d; }
    bool getUKinks(Vector&) const override { return false; }
    bool getVKinks(Vector&) const override { return false; }
    // The interface's normal answer at the middle of the domain.
    bool hasNormal() const override;
    // The interface's normal at (wrapped) t, whatever its answer.
    Vector getNormal(double t, double v) override;
    // The interface's evaluation at t as it stands.
    bool evaluateCurve(double t, double* point, double* d1, double* d2, double* normal) override;
    bool getUnitRange(double& a, double& b) const;

    // t wrapped into [a, b) of sourceDomain.
    double wrap(double t) const;

private:
    C3DCurveInterface* curve;
    bool ownsCurve;
    Vector** table = nullptr;
};

// A surface evaluated through a host surface, over the surface's domains.
class ciSurface : public CParametricGeometry {
public:
    Interval u;
    Interval v;

    explicit ciSurface(const ON_Surface* s);
    ciSurface(const ciSurface&) = delete;
    ~ciSurface() override;

    long memorySize() const override { return 0; }
    bool writeGeometry(std::ostream&) const override { return false; }
    CParametricGeometry* clone() const override { return nullptr; }
    // Entries up to second order: point; du, dv (negated in a reversed
    // direction); duu, duv, dvv.
    Vector** evaluate(int order, double u, double v) override;
    Interval getDomain(int dir) const override { return dir == 0 ? u : v; }
    void setDomain(int dir, const Interval& d) override { (dir == 0 ? u : v) = d; }
    bool getUKinks(Vector&) const override { return false; }
    bool getVKinks(Vector&) const override { return false; }

private:
    const ON_Surface* surface;
    Vector** table = nullptr;
};

// The kernel curve of a picked host curve, new and the caller's: for an
// edge (through its last trim) or a trim with a parameter-plane curve and a
// surface, the curve on a ciSurface of that surface with a ciCurve of the
// trim curve; otherwise a ciCurve of the curve in space (a trim lifted to
// its face). Null for a null curve.
CParametricGeometry* collectPatchBoundary(const ON_Curve* c);
