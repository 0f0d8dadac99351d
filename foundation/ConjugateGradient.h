// Bounded nonlinear conjugate-gradient minimisation: the base of every small
// optimisation problem (basis-function peaks, curve and surface projections,
// curve-plane intersections, facet refinement, least-squares solves, ...).
//
// A subclass supplies the objective through `evaluate` (and its gradient, or
// sets `m_numericGradient` to have the base difference it), optionally sets
// per-coordinate bounds, and calls `solve`. The base runs conjugate-gradient
// iterations with restarts and either an interpolating line search with
// bracketing and sectioning (the default) or a Goldstein line search.
// Objectives are expected to be non-negative: the iteration stops as soon as
// the objective reaches `m_fLowerLimit`, and the interpolating search aims at
// the value 0.
//
// Ownership: the object owns its work vectors and copies of the bound vectors.
// `solve` writes an optional iteration log to "c:/tmp/cg.log" (in the
// diagnostics folder) and a few messages to standard output.
// Thread-safety: all state lives in the object; one object must not run two
// solves at once. Distinct objects may run on distinct threads.
#pragma once

#include "foundation/KorList.h"
#include "foundation/Vector.h"

#include <limits>
#include <memory>

// One trial step of the interpolating line search.
struct LineSearchValues {
    double alpha = 0.0;                                // the step
    double f = 0.0;                                    // objective at the step
    double slope = std::numeric_limits<double>::max(); // g.p at the step; max when not evaluated

    bool hasSlope() const { return slope < 1.7976931348623158e+307; }
    bool operator==(const LineSearchValues& o) const
    {
        return alpha == o.alpha && f == o.f && slope == o.slope;
    }
};

// c[0] + c[1] z + c[2] z^2 + ... by Horner's rule (0 for no coefficients).
double evaluatePolynomial(const double* coeffs, int count, double z);
double evaluatePolynomial(const Vector& coeffs, double z);

// Step from the polynomial model through the trial records i and j: the
// quadratic through (f_i, slope_i, f_j) when record j has no slope, else the
// cubic Hermite polynomial through both values and slopes. Candidates are the
// two records, the model's stationary points and the ends of `bounds` (which
// may be given in either order); the one with the smallest model value wins,
// the earliest on ties. `sameSignFlag` (when given) becomes 1 when both scaled
// slopes of the cubic have the same sign, else 0. Records with equal steps, or
// without any slope, give record i's step (resp. the middle of `bounds`).
double interpolatedStep(const Kor::List<LineSearchValues>& records, int i, int j,
                        const double bounds[2], int* sameSignFlag);

// out := x with each entry raised to lo[i] when below it and then lowered to
// hi[i] when above it (over the entries the bound vectors have). out may be x.
void lineSearchVectorHelper(Vector& out, const Vector& x, const Vector& lo, const Vector& hi);

class CConjugateGradient {
public:
    // n unknowns; useGoldstein selects the Goldstein line search.
    CConjugateGradient(int n, bool useGoldstein);
    virtual ~CConjugateGradient();

    CConjugateGradient(const CConjugateGradient&) = delete;
    CConjugateGradient& operator=(const CConjugateGradient&) = delete;

    // Hook called once before the first iteration and once per iteration after
    // the new search direction p is formed. The base does nothing.
    virtual void onIteration(const Vector& x, Vector& p);
    // True forces a restart of the search direction; the base answers false.
    virtual bool restartRequested(const Vector& x, const Vector& g);
    // True applies the built-in restart test in this iteration (the base).
    virtual bool checkRestart(int iter);
    // True stops the iteration; the base answers false.
    virtual bool isCancelled();
    // The objective at x + alpha p (the subclass forms that point itself);
    // with mode 1 also its gradient there into g (mode 0: value only).
    virtual double evaluate(int mode, Vector& g, const Vector& x, double alpha,
                            const Vector& p) = 0;
    // x := x + alpha p, then clamped into the bounds that are set.
    virtual void applyStep(Vector& x, double alpha, const Vector& p);

    // m_n := n; the work vectors are resized, keeping their values.
    void setDimension(int n);
    // Replace the owned bound vector by a copy of the argument.
    void setLowerBounds(const Vector& lo);
    void setUpperBounds(const Vector& hi);
    // Drops both bound vectors.
    void clearBounds();
    bool hasBounds() const { return m_lowerBounds || m_upperBounds; }

    // Minimises from x, leaves the last accepted point in x and returns the
    // objective there (`m_f`). maxIter 0 means 5 n iterations. An iteration
    // log is appended to "c:/tmp/cg.log" when 0 < logInterval < maxIter (after
    // that substitution); when the file cannot be opened the run goes on
    // without it. Never fails: it stops on its tests and returns the last
    // value. When x's length differs from m_n the dimension follows x.
    double solve(Vector& x, int maxIter, int logInterval);

    // The one way the base calls the objective. With `m_numericGradient` and
    // mode 1 the gradient is taken by forward differences of step
    // `m_gradientStep` (n + 1 evaluations, `m_inNumericGradient` set during the
    // probes); x is handed back exactly as it came.
    double evaluateAt(int mode, Vector& g, Vector& x, double alpha, const Vector& p);

    int m_maxIter = 0;                 // the limit as last passed to solve
    double m_restartWeightSlope = 3.0; // weights of the restart measure
    double m_restartWeightGradient = 1.0;
    double m_goldsteinLow = 0.25; // the Goldstein band
    double m_goldsteinHigh = 0.75;
    double m_gradientStep = 1e-7;          // forward-difference step
    double m_epsilon = 1e-8;               // small quantity of the Goldstein search
    double m_fLowerLimit = 1e-16;          // stop at or below this objective
    Vector m_work;                         // free for subclasses; the base never uses it
    Vector m_p;                            // current search direction
    Vector m_g;                            // gradient at the current point
    double m_f = 0.0;                      // objective at the current point
    double m_falt = 0.0;                   // objective at the previous iterate
    bool m_numericGradient = false;        // difference the objective instead of asking for g
    bool m_useGoldstein = false;           // Goldstein instead of interpolating line search
    int m_n = 0;                           // number of unknowns
    int m_iter = 0;                        // iterations of the current or last solve
    std::unique_ptr<Vector> m_lowerBounds; // null when absent
    std::unique_ptr<Vector> m_upperBounds; // null when absent
    double m_relTolerance = 1e-16;         // relative-decrease stop tolerance
    bool m_inNumericGradient = false;      // true while difference probes run

protected:
    // Interpolating line search along p from x (objective f0, slope g.p < 0)
    // with the incoming trial step alpha and the lowest value of interest fbar.
    // result receives the chosen step and its value; result.slope is set
    // (not the largest double) exactly when g holds the gradient at
    // x + result.alpha p. A direction that is not a descent direction, or
    // f0 <= fbar, gives the step 0 with f0. x is not moved.
    void lineSearch(double alpha, LineSearchValues& result, Vector& g, const Vector& p, Vector& x,
                    double f0, double fbar, int& nf, int& ng, double rho, double sigma, double tau1,
                    double tau2, double tau3);

    // Goldstein line search: aims at (f(alpha) - f0)/(alpha g.p) near 0.5
    // within [m_goldsteinLow, m_goldsteinHigh]. A direction that climbs is
    // replaced by -1/g (with a message). On success x is moved, f and g belong
    // to the new x, info is 0 and the step is returned. Otherwise 0 is
    // returned with x, g unchanged, f = f0 and info 3 (no decrease) or 4 (no
    // usable direction, or the step ran away).
    double lineSearchGoldstein(double f0, double& f, Vector& g, Vector& p, Vector& x, double alpha,
                               int& nf, int& ng, double& ratio, int& info, int& expansions,
                               int& contractions);

private:
    // Sectioning between records low and high; returns the index of the
    // record it ends on and leaves the final low index in low.
    int lineSearchZoom(Kor::List<LineSearchValues>& records, int& low, int high, Vector& g,
                       const Vector& p, Vector& x, double f0, double gp, int& nf, int& ng,
                       double rho, double sigma, double tau2, double tau3, double& gradientAlpha);
    // Moves x by alpha p (applyStep, then the bounds) and makes f and g belong
    // to the point reached; gradientCurrent says g already holds the gradient
    // at x + alpha p. When the point reached is off the line (the bounds cut
    // the step) and no better than f0, x is put back, f := f0, g := gPrevious
    // and false is returned.
    bool settleStep(Vector& x, double alpha, const Vector& p, bool gradientCurrent, double f0,
                    double& f, Vector& g, const Vector& gPrevious, int& ng);
    // Clamps x into the bounds that are set.
    void clampToBounds(Vector& x) const;

    Vector m_probeGradient; // receives whatever a value-only evaluation writes
    Vector m_previousX;     // the point before the step being settled
};
