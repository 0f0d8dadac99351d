// Refinement of one chord of a curve facet: the small optimisation problem
// that places the chord's end u so that the chord from C(t0) to C(u) deviates
// from the curve by the chord tolerance, no more and little less.
//
// Unknowns (u, v): u the chord's end, v the parameter of the curve point whose
// distance from the chord line should equal the tolerance. The objective is 0
// at a match (the deviation at v within 5 % of the tolerance and the curve
// samples between t0 and u hardly beyond it), otherwise the squared miss of
// the deviation plus the squared excess of the samples. The gradient is taken
// by the optimiser's forward differences (step 5e-8); the Goldstein line
// search runs it.
//
// Ownership: the curve is not owned. Thread-safety: a run evaluates the curve,
// which overwrites its derivative table; one run per curve at a time.
#pragma once

#include "foundation/ConjugateGradient.h"
#include "foundation/Vector.h"

class CParametricGeometry;

class CExactFacetPoint : public CConjugateGradient {
public:
    CExactFacetPoint();
    ~CExactFacetPoint() override = default;

    // Runs the minimisation from (tEnd, tMid), both variables bounded to
    // [t0 + 5e-8, the end of the curve's u domain], at most 25 iterations, and
    // returns the refined chord end (the first variable). `matched` then says
    // whether the deviation at the returned point matches tol. A null curve
    // returns tEnd with matched false.
    double findMaxDeviation(CParametricGeometry* curve, double t0, double tEnd, double tMid,
                            double tol);

    // The objective at (u, v) = x + alpha p (see the file comment). A chord
    // shorter than 2.2e-8, or not finite, and a problem without a curve give
    // 0.5 tol^2 and a zero gradient.
    double evaluate(int mode, Vector& g, const Vector& x, double alpha, const Vector& p) override;

    Vector m_x;                             // the two unknowns of the last run
    Vector m_chordStart;                    // C(t0)
    Vector m_chordEnd;                      // C(u) of the last evaluation
    Vector m_curvePoint;                    // C(v) of the last evaluation
    CParametricGeometry* m_curve = nullptr; // not owned
    double m_t0 = 0.0;                      // the chord's start parameter
    double m_tol = 0.0;                     // the target deviation
    double m_chordLength = 0.0;             // |C(u) - C(t0)| of the last evaluation
    double m_deviation = 0.0;               // distance of C(v) from the chord line, last evaluation
    bool matched = false; // the deviation matched the tolerance (see findMaxDeviation)

private:
    // What an evaluation at (u, v) computes from u alone (the chord and the
    // excess of the samples along it) and from v alone (the curve point),
    // kept for the last u and the last v with the curve, t0 and tol they were
    // computed for; findMaxDeviation forgets them, as the curve may have
    // changed between runs. The difference probes move one variable at a
    // time, and a chord end held at its bound repeats u over the whole run,
    // so most evaluations find one of them here.
    bool m_chordKnown = false;
    double m_chordU = 0.0;
    const CParametricGeometry* m_chordCurve = nullptr;
    double m_chordT0 = 0.0;
    double m_chordTol = 0.0;
    Vector m_chord;         // C(u) - C(t0)
    double m_chordSq = 0.0; // |C(u) - C(t0)|^2
    double m_excess = 0.0;  // squared excess of the samples along the chord
    bool m_pointKnown = false;
    double m_pointV = 0.0;
    const CParametricGeometry* m_pointCurve = nullptr;
    Vector m_sample; // scratch for the samples along the chord
};
