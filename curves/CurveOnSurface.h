// CCONS: a curve on a surface, given by a curve in the surface's (u, v)
// parameter plane. Its point at t is S(u(t), v(t)), (u, v) the first two
// coordinates of the uv curve at t. Face boundaries, trim loops and the edges
// the healing matches are curves on surfaces; every algorithm that takes a
// curve takes one. The "CONS Begin" ... "CONS End" text block refers to the
// uv curve and the surface by their ids.
//
// Ownership: the surface is never owned. The uv curve is owned only when the
// curve made it itself (the conversion constructor, clone, boundary curves);
// a curve built from the caller's pointers owns nothing, and the caller
// keeps both objects alive as long as the curve.
// Thread-safety: evaluation writes into the curve's own table and into those
// of its uv curve and surface; one thread for the curve and any curve that
// shares its surface.
#pragma once

#include "curves/ParameterCurve.h"
#include "foundation/KorList.h"
#include "foundation/Tuple.h"
#include "geometry/ParametricGeometry.h"

#include <iosfwd>

class CGeoRef;

class CCONS : public CParametricGeometry {
public:
    Kor::List<c_pair<float, float>> floatPairs; // kept for the text formats; empty
    CParametricGeometry* surface = nullptr;     // not owned
    CParametricGeometry* uvCurve = nullptr;     // owned when ownsUVCurve
    Vector** table = nullptr;                   // rows 0..3 of the chain-rule derivatives
    bool ownsUVCurve = false;

    // Stores both pointers unchanged (either may be null); owns neither.
    CCONS(CParametricGeometry* uvCurve, CParametricGeometry* surface);
    // The uv curve of the space curve on the surface (euclideanToPCurve with
    // the option as degree, the tolerance and the accuracy in space), owned
    // by this curve. A failed conversion prints "parCurve-Creation failed !"
    // and is tried once more; a second failure leaves getUVCurve null. A null
    // curve makes nothing.
    CCONS(CParametricGeometry* curve, CParametricGeometry* surface, int option, double tolerance,
          double accuracy = kDefaultPCurveAccuracy);
    CCONS(const CCONS&) = delete;
    CCONS& operator=(const CCONS&) = delete;
    // Frees the table; deletes the uv curve only when owned.
    ~CCONS() override;

    // Hands the uv curve to the caller, who owns it from then on; the curve
    // keeps pointing at it.
    CParametricGeometry* takeUVCurve();

    using CParametricGeometry::read;

    bool isUReversed() const override;
    // Reverses the uv curve; the curve on the surface runs the other way.
    void reverseU() override;
    long memorySize() const override { return 320; }
    // The CONS block; true (a curve without references writes "7Hunknown"
    // twice and prints "warning: CONS without refs !").
    bool writeGeometry(std::ostream& os) const override;
    // A curve on the same surface with a clone of the uv curve, which it
    // owns; null without a uv curve.
    CParametricGeometry* clone() const override;
    // Rows k = 0..2 in D[k][0]: S, u' Su + v' Sv, and u'^2 Suu + 2 u'v' Suv
    // + v'^2 Svv + u'' Su + v'' Sv; row 3 is not formed. Once closedness is
    // known, a closed curve wraps t into its domain. Null without a uv curve
    // or a surface, or when either cannot be evaluated.
    Vector** evaluate(int order, double t, double v) override;
    Interval getDomain(int dir) const override;
    void setDomain(int dir, const Interval& domain) override;
    bool getUKinks(Vector& kinks) const override;
    bool getVKinks(Vector&) const override { return false; }
    bool getUBreakpoints(Kor::List<double>& out, bool withEnds) const override;
    void getUSampleParameters(Vector& out) const override;
    // Leaves out unchanged.
    void getVSampleParameters(Vector&) const override {}
    // Sum of the 50 chords between 51 equally spaced parameters (0 without
    // surface; a curve that cannot be evaluated has only zero points).
    double getLength() override;
    bool hasNormal() const override { return true; }
    Vector getSideVector(double t) override { return getSideVector(t, false); }
    // v' Su - u' Sv, with orthogonal its part orthogonal to the tangent,
    // normalised: the tangent turned clockwise within the surface seen
    // against Su x Sv.
    virtual Vector getSideVector(double t, bool orthogonal);
    // The surface's normal at the curve point.
    Vector getNormal(double t, double v) override;
    // The surface's normal at the curve point; Su and Sv (when given) receive
    // the surface derivatives there, or where they nearly vanish (below
    // 1e-4) those 1e-6 further inside the uv curve's domain.
    Vector getNormalWithDerivatives(double t, Vector* Su, Vector* Sv);

    // Reads the CONS block and resolves its two ids in the registry ("relocation
    // failure for CONS uvCurve", "... surface"). True when both resolved and the
    // block closed with "CONS End"; references resolved before a failure stay.
    virtual bool read(std::istream& is, const CGeoRef& registry);
    // The uv curve's table at (order, t, 0).
    virtual Vector** evaluateUV(int order, double t);
    // The surface's own table at the uv point of t (no chain rule).
    virtual Vector** evaluateSurface(int order, double t);
    virtual Vector getSurfaceNormal(double& u, double& v);
    virtual Vector getUVPoint(double t);
    virtual Vector getUVTangent(double t);
    virtual Vector getStartUVPoint();
    virtual Vector getStartUVTangent();
    virtual Vector getEndUVPoint();
    virtual Vector getEndUVTangent();
    virtual CParametricGeometry* getUVCurve() const { return uvCurve; }

protected:
    // The member table (4 x 4, each Vector of the dimension), made once.
    Vector** memberTable();
};
