// Joining an ordered list of NURBS curves into one curve, optionally with
// tangent-continuous (G1) and then parametrically continuous (C1) joints.
// A joint is repaired in two stages: makeJointC1 lines up the end legs of the
// two control polygons, optimiseJointC1 then rescales the second curve's
// parameter so that the first derivatives agree in magnitude as well.
//
// Ownership: joinCurvesC1 returns a new curve owned by the caller; the curves
// of the selection stay the caller's but are changed in place (reversed,
// reparametrised, degree-elevated, simplified, end control points moved).
// CMakeC1Parametric refers to its two curves without owning them.
// Thread-safety: none; evaluation writes into the curves' tables.
#pragma once

#include "foundation/ConjugateGradient.h"
#include "foundation/IndexSubset.h"
#include "foundation/KorArray.h"
#include "foundation/Vector.h"

#include <memory>

namespace Fenwo {
class NurbsSurf;
}

// The parametric part of a C1 joint between A's end and B's start: finds the
// first interior knot of B (variable 0) for which B's start derivative equals
// A's end derivative. Variables 1..3 are B's control point 1; the objective
// clamps every variable into [lowerBounds, upperBounds] itself (the bounds are
// not handed to the base). Each evaluation restores B's knot and control
// point, so the optimisation never changes B.
class CMakeC1Parametric : public CConjugateGradient {
public:
    CMakeC1Parametric(Fenwo::NurbsSurf* A, Fenwo::NurbsSurf* B);
    ~CMakeC1Parametric() override;

    // Half the distance between B's start derivative (with the trial knot and
    // control point of x + alpha p) and the target tangent. mode and grad are
    // not used: the base differences the objective.
    double evaluate(int mode, Vector& grad, const Vector& x, double alpha,
                    const Vector& p) override;

    Fenwo::NurbsSurf* A = nullptr;       // first curve of the joint, not owned
    Fenwo::NurbsSurf* B = nullptr;       // second curve, probed by the objective, not owned
    Vector** table = nullptr;            // derivative table of the last evaluation (owned)
    Vector breakpointsA;                 // distinct knots of A's active range
    Vector breakpointsB;                 // distinct knots of B's active range
    Vector targetTangent;                // A's first derivative at its end
    std::unique_ptr<Vector> upperBounds; // 4 entries
    std::unique_ptr<Vector> lowerBounds; // 4 entries
    double savedKnot = 0.0;              // B's knot at position p + 1 at construction
};

// Lines up the joint of A's end and B's start: the last two control points of
// A and the first two of B are projected onto the line through the midpoint
// of A's last and B's first point along the mean direction of the two end
// legs; A's last and B's first point both become that midpoint. Weights are
// kept. Always true.
bool makeJointC1(Fenwo::NurbsSurf* A, Fenwo::NurbsSurf* B);

// Rescales B's u knots so that it starts at A's end parameter with the first
// derivative A has there. True when that succeeded (B's start derivative then
// matches A's end derivative; "delta1 = " and the trial span are printed on
// standard output). False, with nothing changed, for null curves, different
// u degrees or knot vectors that are not clamped; false, with B reparametrised
// by its length onto [A's end, A's end + length], when the end legs are not
// parallel or when no rescaling of B can match the derivatives.
bool optimiseJointC1(Fenwo::NurbsSurf* A, Fenwo::NurbsSurf* B);

// Raises the degree of every selected curve in u (v when vDirection) to the
// highest degree of the selection, one step at a time. Curves have no v
// direction and are left alone when vDirection is set; null entries are
// skipped.
void elevateDegreesToCommon(IndexSubset<Fenwo::NurbsSurf*>& curves, bool vDirection);

// Joins the selected curves, in order, into one new curve (owned by the
// caller). keepDirection[i] = 1 keeps the direction of the i-th selected curve,
// any other value reverses it; a missing entry keeps it. With makeC1 every
// joint is made tangent-continuous and, where possible, C1 (otherwise the
// curve is reparametrised by its length); without it each curve is moved onto
// the parameter range following its predecessor. With simplify each curve
// loses the knots removable within 1e-6 first, and a joined curve with at
// least one C1 joint loses those removable within `tolerance`. The joints keep
// the previous curve's end point; the next curve's weights are scaled to it so
// that rational pieces keep their shape. Null for an empty selection, a null
// curve in it, or pieces that do not come out on one degree or on healthy
// joined knots (the curves may then already have been changed).
Fenwo::NurbsSurf* joinCurvesC1(IndexSubset<Fenwo::NurbsSurf*>& curves,
                               Kor::Array<int> keepDirection, double tolerance, bool simplify,
                               bool makeC1);
