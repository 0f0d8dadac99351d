#pragma once
// Operations on lists of curves shared by the blending code: finding the
// loose curve that continues a chain at either end, ordering curves longest
// first, and giving all curves of a list one degree and one knot vector.
//
// Ownership: the lists never own their curves; nothing here deletes one.
// mergeCurveListKnots changes the listed curves in place.
// Thread-safety: the curves are evaluated (their derivative tables are
// overwritten); one thread per curve.

#include "foundation/KorList.h"

class CParametricGeometry;
namespace Fenwo {
class NurbsSurf;
}

// The index in `curves` of the curve one of whose end points lies nearest to
// an end point of `chain`, strictly closer than `tolerance`; -1 when none.
// The chain's end is tried before its start, a curve's start before its end,
// lower indices first, and a later candidate wins only when strictly closer.
// Outputs (each may be null):
//   orientation  +1 when the curve keeps its direction in the chain, -1 when
//                it must be reversed (+1 when nothing is found);
//   endCode      0 chain end - curve start, 1 chain end - curve end,
//                2 chain start - curve start, 3 chain start - curve end;
//   gapCode      0 the points are at most 0.001 apart, 1 the curve's point
//                lies outside the chain along its tangent there, 2 inside (an
//                overlap);
//   reversal     the oriented curve's unit tangent at the joint points back
//                against the chain's (dot product below -0.9).
// endCode and gapCode are -1, reversal false when nothing is found. A null
// chain finds nothing; null entries of the list are skipped.
int findNextChainCurve(CParametricGeometry* chain, const Kor::List<CParametricGeometry*>& curves,
                       int* orientation, double tolerance, int* endCode, int* gapCode,
                       bool* reversal);

// Reorders the list longest first, each length the chord sum over 100
// uniform parameter steps; a null entry measures 0. Equal lengths keep the
// order the index sort gives them. Always true.
bool sortCurvesByLength(Kor::List<CParametricGeometry*>& curves);

// The same for a list of NURBS curves, whose null entries are dropped.
// Always true.
bool sortCurvesByLength(Kor::List<Fenwo::NurbsSurf*>& curves);

// Raises the curves to a common degree and gives them one knot vector (the
// classic merge) so that their control points correspond one to one. False
// when the merge fails or an entry is not a NURBS curve; the curves may then
// have been raised in degree, their shapes are kept either way.
bool mergeCurveListKnots(Kor::List<CParametricGeometry*>& curves);
