#pragma once
// Boundary tightening: pulls one side of a fitted surface onto a boundary
// curve. The side's row of control points is taken out as a curve (the
// edge), refitted until it follows the curve within a tolerance (knots are
// inserted where it does not), the inserted knots are inserted into the
// surface along the side, and the edge is written back into the side row.
// Optionally the edge's ends are first snapped onto the curve's ends, and the
// surface's second row is turned so that its cross-boundary direction lies
// in the tangent plane given by the curve's normal.
//
// Side codes: 1 v minimum and 2 v maximum (running in u), 3 u minimum and
// 4 u maximum (running in v). The row of side 1 is (i, 0), of side 2
// (i, last), of side 3 (0, j), of side 4 (last, j); the second row the next
// one inwards.
//
// Ownership: the surface is changed in place; the curve is only evaluated.
// Every temporary (edge, iso curve, rulings, ribbon) is freed on every exit.
// Thread-safety: the edge fit and the projections use process-wide solvers.

class CParametricGeometry;
namespace Fenwo {
class NurbsSurf;
}

// In this order: a side with two control points in its running direction is
// raised to degree 3 there; the edge is extracted (false without one); with
// snapNearestEnd or snapBothEnds the edge end nearest to a curve end (the
// smallest of |es - cs|, |es - ce|, |ee - cs|, |ee - ce|, the first on ties)
// moves onto that curve end and is fixed, and with snapBothEnds the other
// edge end onto the other curve end; with fixEnds both end control points
// are fixed; the edge (fold checks on) is refitted to the curve by
// interpolation (tearToCurves without Newton, keeping the best edge when
// requireSuccess). A failed fit with requireSuccess gives false, the surface
// keeping only the degree raise. Otherwise the edge's inserted knots are
// inserted into the surface in list order along the side, the edge is
// copied into the side row, and with alignTangents the second row is aligned
// to a ribbon of rulings in the curve's tangent planes (" dStat = " and
// " aStat = " report the distances and normal angles along the side).
bool tightenBoundaryCurves(Fenwo::NurbsSurf& surface, int side, CParametricGeometry& curve,
                           bool alignTangents, bool snapBothEnds, bool snapNearestEnd, bool fixEnds,
                           bool requireSuccess, double tol, int nuMax);

// Writes the edge's stored control points (weights included) into the side
// row; with moveSecondRow each second-row point moves by the same Euclidean
// displacement as its row point. False, nothing changed, for a null surface
// or edge, a side outside 1..4 or an edge whose control-point count differs
// from the side's.
bool copyEdgeToSide(Fenwo::NurbsSurf* surface, int side, Fenwo::NurbsSurf* edge,
                    bool moveSecondRow);

// Moves every second-row point P1 of the side to its foot on the line from
// the row point P0 towards the ribbon's control point (1, k): the cross-
// boundary leg then lies in the ribbon. An index whose ribbon point coincides
// with its row point is left as it is. False, nothing changed, for a side
// outside 1..4 or a ribbon whose v count differs from the side's.
bool alignSecondRowToRibbon(Fenwo::NurbsSurf& surface, int side, Fenwo::NurbsSurf& ribbon);
