// Boundary loops of curves: chaining curves whose ends meet into one chain,
// orienting the curves along it, and spanning a loop of three or four
// boundary curves by a bilinearly blended Coons patch, the start or fallback
// surface of a face of the net.
//
// Ownership: the curve lists hold pointers they do not own. orientCurveChain
// and orderCurveLoops change the caller's curves in place (reversal, knot
// refinement) without changing their shapes; orderCurveLoops returns a new
// surface owned by the caller.
// Thread-safety: none. The curves are evaluated and edited in place.
#pragma once

#include "foundation/KorArray.h"
#include "foundation/KorList.h"

namespace Fenwo {
class NurbsSurf;
}

// Chains the curves by their end points, starting with curves[0] run
// forwards: each next curve is the remaining one whose start or end lies
// nearest to the chain's free end, strictly within gapTol. When the forward
// walk gets stuck, the walk is repeated backwards from the start of curves[0]
// over the curves not yet chained, and those curves are put in front (their
// order reversed, their flags negated).
// indices receives the position in `curves` of each chained curve, flags its
// orientation (1: runs along the chain, -1: runs against it and is to be
// reversed); chain (when given) receives the curves in chain order. All
// outputs are emptied first.
// Returns 0 when every curve is chained and the chain closes (its free end
// meets its free start within gapTol): a loop; 1 when every curve is chained
// but the chain stays open; -1 when some curve cannot be attached (the
// outputs then hold the partial chain), for an empty list and for a null
// curves[0].
int findCurveChain(const Kor::Array<Fenwo::NurbsSurf*>& curves, Kor::List<int>& indices,
                   Kor::List<int>& flags, double gapTol,
                   Kor::Array<Fenwo::NurbsSurf*>* chain = nullptr);

// Chains the curves (findCurveChain) with gapTol = (length of the shortest
// curve) / divisor, reverses in u every chained curve that runs against the
// chain, and fills `ordered` (emptied first) with the curves in chain order.
// True when all curves form one chain, open or closed. False, with the
// curves unchanged and `ordered` empty, for an empty list, a null curve, a
// divisor that is not positive, or curves that do not form one chain.
bool orientCurveChain(const Kor::Array<Fenwo::NurbsSurf*>& curves,
                      Kor::Array<Fenwo::NurbsSurf*>& ordered, double divisor);

// The Coons patch of a closed loop of three or four boundary curves, given in
// any order and orientation. The curves are chained with a gap tolerance of
// half the length of the shortest one. A three-sided loop gets a fourth side
// collapsed to one point: the corner at the end of the shortest side's
// successor, opposite the shortest side. Along the loop, side 0 becomes the
// patch's row v = v min, side 1 its column u = u max, side 2 (reversed) its
// row v = v max and side 3 (reversed) its column u = u min; opposite sides
// receive common knot vectors (mergeCurveKnots, classic merge). The inner
// control points are the Coons combination of the boundary control points in
// homogeneous coordinates, blended by the basis sums of a Bezier vector of
// degree uDegree (vDegree): with degree 1 the bilinear blend 1 - s, s at the
// abscissae s_i = i / (nU - 1), t_j = j / (nV - 1).
// positions (when given, 4 entries) receives for each side the index of its
// curve in `curves`, -1 for the collapsed side.
// The caller's curves are reversed and knot-refined in place as their sides
// require: their shapes are kept, their directions and knot vectors are not,
// also when the result is null after a failing knot merge. The caller's list
// itself is not changed; the collapsed side is a temporary of this function.
// Returns the new patch (owned by the caller), or null:
// - without a message for an empty list and for other than three or four
//   curves;
// - printing "orderCurveLoopsfailed" when the curves do not close into one
//   loop (or one is null); the curves are then written in their text form to
//   the debug file "c:/tmp/orderfailed.out", whether or not logging is on;
// - when the knot merge of a pair of opposite sides fails.
Fenwo::NurbsSurf* orderCurveLoops(const Kor::Array<Fenwo::NurbsSurf*>& curves, int uDegree,
                                  int vDegree, int* positions);
