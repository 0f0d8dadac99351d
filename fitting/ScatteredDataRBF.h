// Radial-basis-function interpolation of a vector field in space.
//
// An interpolant is given samples (a 3-D position and a 3-D value), solves one
// linear system for the three value coordinates and then evaluates the field
// anywhere: f(x) = sum_j c_j phi(|x - p_j|) plus a polynomial of degree 1 or 2
// for the kernels that need one. The fitting turns the deviations between
// fit points and a surface into a smooth displacement field with it, and the
// trimmed face maps surface points back to their parameters.
//
// `iPolScatteredData` is the abstract interface, `iPolScatteredDataRBF` its
// one implementation (created by `newScatteredDataRBF`); `CRBFSystem` holds
// the system matrix and `CRBFComponent` the coefficients of one value
// coordinate.
//
// Ownership: the caller owns what newScatteredDataRBF returns and deletes it
// through the virtual destructor. The interpolant owns its samples, the system
// and the components; the progress sink is borrowed.
// Thread-safety: none. `evaluate` only reads, so a solved interpolant may be
// evaluated from several threads while nobody changes it.
#pragma once

#include "foundation/FitPoint.h"
#include "foundation/IndexSubset.h"
#include "foundation/KorList.h"
#include "foundation/Matrix.h"
#include "foundation/Vector.h"

#include <vector>

class CProgress;

// phi(r) of the kernel with the given internal code (0 and any code outside
// 1..6: r; 1: r^2 ln r, 0 for r <= 1e-12; 2: r^3; 3: exp(-(eps r)^2);
// 4: sqrt((eps r)^2 + 1); 5: 1 / sqrt((eps r)^2 + 1); 6: 1 / ((eps r)^2 + 1)).
double rbfKernel(int code, double r, double eps);

// The internal kernel code of a public one: 1 -> 1 (thin plate), 2 -> 2
// (cubic), 3 -> 4 (multiquadric), 4 -> 5 (inverse multiquadric), 5 -> 6
// (inverse quadratic), 6 -> 3 (Gaussian), anything else -> 0 (linear).
int rbfInternalKernel(int publicCode);

// Degree of the polynomial part of an internal kernel: 1 for 0 and 1, 2 for
// 2, -1 (none) otherwise; and its number of terms (4, 10 or 0). The terms are
// 1, x, y, z, x^2, y^2, z^2, xy, xz, yz in that order.
int rbfPolynomialDegree(int code);
int rbfPolynomialTerms(int code);

class iPolScatteredData {
public:
    virtual ~iPolScatteredData() = default;
    virtual bool isValid() = 0;
    // (f_x(x), f_y(x), f_z(x)).
    virtual Vector evaluate(const Vector& x) = 0;
    virtual void setSample(const Vector& position, const Vector& value) = 0;
    virtual int getSampleCount() = 0;
    virtual bool getSample(int i, Vector& position, Vector& value) = 0;
    virtual void setKernelType(int publicCode) = 0;
    virtual void recompute(bool iterative) = 0;
    virtual double getPolynomialDegreeValue() = 0;
    virtual void setShapeParameter(double eps) = 0;
    virtual void setKernelParameter(int k) = 0;
    virtual int getPolynomialDegree() = 0;
};

// A new interpolant with no samples, the linear kernel, no progress sink and
// the direct solve; the caller owns it.
iPolScatteredData* newScatteredDataRBF();

// The coefficients of one value coordinate d.
class CRBFComponent {
public:
    int kernel = 0;                           // internal code
    IndexSubset<CFitPoint>* active = nullptr; // the system's active samples
    Vector c;                                 // n kernel, then m polynomial coefficients
    Vector b;                                 // right-hand side, length n + m
    int d = 0;                                // value coordinate 0, 1 or 2
    double eps = 1.0;                         // shape parameter
    int kernelParameter = 0;                  // stored, read by nothing

    // b := the active samples' d-th values followed by m zeros; c sized to match.
    void buildRightHandSide(int m);
};

class CRBFSystem {
public:
    CProgress* progress = nullptr; // borrowed, copied from the interpolant
    bool iterative = false;        // conjugate gradients instead of a factorisation
    IndexSubset<CFitPoint>* active = nullptr;
    Matrix A;
    bool flat[3] = {false, false, false}; // active positions nearly constant in x, y, z
    int kernel = 0;                       // internal code
    Kor::List<int> removedTerms;          // polynomial terms taken out in this solve
    CRBFComponent components[3];
    // The solution of the last solve that ran to its end, copied so that
    // evaluation reads contiguous data and stays consistent while samples
    // are added or a later solve is cancelled: the centres (x y z per
    // sample), their coefficients (x y z per sample), the polynomial
    // coefficients (m per coordinate), the kernel and its shape parameter.
    bool solved = false;
    std::vector<double> centres;
    std::vector<double> weights;
    std::vector<double> polynomial;
    int solvedKernel = 0;
    double solvedEps = 1.0;
    // The system is set up in coordinates of the active samples' own frame:
    // positions less the middle of their box, over half its largest side
    // (x y z, then the scale). The kernels and the polynomial part then see
    // entries of one size whatever the model's units and where it lies, and
    // the field of a model scaled or moved is that field scaled or moved,
    // to rounding (the shape parameter scales with the frame). The direct
    // solve takes this frame; the iterative one, whose stopping residuals
    // are set in model units, the model's own (no shift, scale 1). The
    // solved centres are in the frame of the solve that made them,
    // solvedFrame.
    double frame[4] = {0.0, 0.0, 0.0, 1.0};
    double solvedFrame[4] = {0.0, 0.0, 0.0, 1.0};

    // Builds the system matrix of the active samples (packed symmetric for
    // the iterative solve, full otherwise), with the polynomial block, the
    // flat-coordinate and removed-term diagonals; withRightHandSides also
    // rebuilds every component's b and sizes its c.
    void rbfAssemble(bool withRightHandSides);
    // Solves for the three components. Quadratic terms the samples leave
    // nearly undetermined (samples on or near a quadric) are dropped first,
    // so the field does not swing between and beside them. The direct solve repairs a singular
    // system by dropping the sample or polynomial term of the column the
    // factorisation names, one per retry, each logged ("removing point=",
    // "removing local Coordinate=") to the first global log; a column is
    // singular when its remainder falls below 2.2e-16 times the square root
    // of the order times the largest column norm (at least 2.2e-16), so
    // repeated samples are found whatever the units and the sample count. The iterative
    // solve logs "finally the matrix is singular!" when a coordinate fails.
    // A cancel through the progress sink leaves the coefficients as they were.
    void rbfSolve(bool iterative);
    // Conjugate gradients for component d on the packed matrix, with the
    // fall-backs for a residual above 0.1. True when the residual ends <= 0.1.
    bool rbfSolveCG(int d);

    // The field at x into out[0..2] (zeros when no solve has ended).
    void evaluate(const double* x, double* out) const;

private:
    bool solveDirect();
    bool cancelled() const;
    void keepSolution();
};

class iPolScatteredDataRBF : public iPolScatteredData {
public:
    CProgress* progress = nullptr; // set by the caller before recompute; borrowed
    CFitPointArray samples;        // every setSample, in call order
    IndexSubset<CFitPoint> active; // the samples the solver works on
    CRBFSystem system;

    iPolScatteredDataRBF();
    iPolScatteredDataRBF(const iPolScatteredDataRBF&) = delete;
    iPolScatteredDataRBF& operator=(const iPolScatteredDataRBF&) = delete;
    ~iPolScatteredDataRBF() override = default;

    bool isValid() override { return true; }
    // The zero 3-vector until a recompute has ended, or without active samples.
    Vector evaluate(const Vector& x) override;
    // Appends a sample; ignored unless both vectors have exactly 3 entries.
    // The coefficients change only at the next recompute.
    void setSample(const Vector& position, const Vector& value) override;
    // All samples given, also those a solve dropped.
    int getSampleCount() override { return samples.count; }
    // False, outputs untouched, for i outside [0, count).
    bool getSample(int i, Vector& position, Vector& value) override;
    void setKernelType(int publicCode) override;
    // Makes every stored sample active again, in order, and solves.
    void recompute(bool iterative) override;
    double getPolynomialDegreeValue() override { return getPolynomialDegree(); }
    void setShapeParameter(double eps) override;
    void setKernelParameter(int k) override;
    int getPolynomialDegree() override { return rbfPolynomialDegree(system.components[0].kernel); }
};
