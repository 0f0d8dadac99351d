// A curve seen as a three-dimensional function of one parameter.
//
// Wrappers of curves held elsewhere (the host's curves and trims) implement
// this interface so that geometry code can evaluate them like its own curves.
// Every output is three doubles.
//
// Ownership: an implementation does not own the curve it reads.
// Thread-safety: implementations may keep scratch results; one thread per
// object.
#pragma once

class C3DCurveInterface {
public:
    virtual ~C3DCurveInterface() = default;

    // The parameter interval [t0, t1]; false when the curve has none.
    virtual bool getDomain(double& t0, double& t1) = 0;
    // Point, first and second derivative at t.
    virtual bool getPoint(double t, double& x, double& y, double& z) = 0;
    virtual bool getFirstDerivative(double t, double& x, double& y, double& z) = 0;
    virtual bool getSecondDerivative(double t, double& x, double& y, double& z) = 0;
    // Unit normal of the surface the curve lies on; false (and a zero normal)
    // for a free curve.
    virtual bool getNormal(double t, double& x, double& y, double& z) = 0;
    // All of the above in one evaluation; a null pointer skips that output.
    virtual bool evaluate(double t, double* point, double* first, double* second,
                          double* normal) = 0;
    // Kept free for a later operation; implementations answer false.
    virtual bool reserved7() = 0;
};
