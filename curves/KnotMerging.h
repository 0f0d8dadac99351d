// Knot merging of curve and surface families: gives every member of a list of
// curves (one-row NurbsSurf objects) or of surfaces a common degree and a
// common knot vector in one parameter direction without changing its shape.
// Each member's knot vector is mapped affinely onto the hull of all members'
// domains, the union of all knots (with their highest multiplicities) is
// formed, and each member receives the knots it lacks by knot insertion.
//
// Ownership: the member lists do not own their curves; the curves are changed
// in place (rescaled knots, inserted knots, raised degrees, reversal).
// Thread-safety: none; the members are edited and evaluated in place.
#pragma once

#include "foundation/KorArray.h"
#include "foundation/KorSet.h"

class knots;
namespace Fenwo {
class NurbsSurf;
}

// One knot of a merged knot set. `owner` is not used by the merge.
struct tempKnot {
    int multiplicity = 0;
    int owner = 0;
    double value = 0.0;
};

// Orders knot records by value (the order of CallKnots).
bool tempKnotLess(const tempKnot* a, const tempKnot* b);

// The merged knot set of a family: distinct values ascending, each with the
// highest multiplicity any member gave it. Two values closer than 1e-8 are the
// same knot (the first value entered is kept).
class CallKnots {
public:
    Kor::Set<tempKnot> knotSet; // owns its records

    // Enters a knot: a value already present (within 1e-8) keeps the larger
    // multiplicity, a new value is inserted at its sorted place.
    void insertUnique(double value, int multiplicity);
    // Enters the knots of positions p .. n + 1 of k (p .. n + 1 - p when
    // cyclic) with their multiplicities.
    void addKnotsOf(const knots& k);
    // Appends to out the knots of this set that k lacks, ascending: the whole
    // multiplicity when k has no knot within 1e-8, otherwise the amount by
    // which k's multiplicity falls short (only when at least 1).
    void missingKnots(const knots& k, Kor::Array<tempKnot>& out) const;

    int getCount() const { return knotSet.getCount(); }
    const tempKnot& operator[](int i) const { return *knotSet[i]; }
};

// Gives the members a common knot vector in direction 0 (u) or 1 (v): every
// knot vector is marked NonUniform and mapped onto the hull of the members'
// domains, then receives the knots of the merged set it lacks. True when every
// member ends with as many control points in that direction as the first; an
// empty list succeeds at once.
// False with nothing changed for a null member, a member without a knot
// vector in that direction, a direction other than 0 or 1, or members of
// different degrees in that direction (the last prints
// "classicmerge failed, u-degrees are not homogen. " or the v form on
// standard output). False after a failing count check leaves the members
// rescaled and refined; in direction 1 it prints "ClassicKnotMergeFailed:"
// and both v knot vectors first.
bool ClassicKnotMerge(Kor::Array<Fenwo::NurbsSurf*>& members, int direction);

// Merges the u knots of two curves. When flagA equals flagB, b is first
// reversed in u (and flagB negated). Returns the result of ClassicKnotMerge
// on {a, b} in direction 0; false for a null curve.
bool pairwiseKnotMerge(Fenwo::NurbsSurf* a, Fenwo::NurbsSurf* b, int& flagA, int& flagB);

// Raises every curve to the highest u degree of the list (null entries are
// skipped).
void equalizeCurveDegrees(Kor::Array<Fenwo::NurbsSurf*>& curves);

// Raises all curves to the highest u degree, then by mode:
// 1 the classic merge in u (its result is returned);
// 2 pairwise merges against the curve with the most control points, followed
//   by a closing pass that hands the grown knot vector back to every curve;
//   true when every curve then has that curve's knot vector;
// 3 knot-count equalisation against the curve with the most control points
//   (distributeKnotsToMatch; the curves take its knots, so their shapes are
//   approximated, not kept); true when every curve then has its count;
// other modes: degrees only, true.
// False with nothing changed when the list holds a null curve.
bool mergeAllKnots(Kor::Array<Fenwo::NurbsSurf*>& curves, int mode);

// As mergeAllKnots; the degrees are raised first whenever the curves do not
// share one u degree.
bool mergeCurveKnots(Kor::Array<Fenwo::NurbsSurf*>& curves, int mode);
