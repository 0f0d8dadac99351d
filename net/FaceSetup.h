#pragma once
// Set-up of a four-sided face from the curves of its boundary loop: the
// curves are chained and oriented, sides whose inner grid points do not
// shape them are straightened, opposite sides get one common knot vector,
// each side is optionally pulled onto a target curve, and a surface bounded
// by the four sides is spanned, with uniform knots on [0, 1] of a limited
// degree. Curves are Fenwo::NurbsSurf objects with one row of control
// points.
//
// Ownership: the caller's curves, target curves and points are only read
// (the set-up works on copies); the surface and the curves returned through
// the outputs are new and owned by the caller.
// Thread-safety: the Newton fits use process-wide solver state; one set-up
// at a time.

#include "foundation/KorArray.h"
#include "foundation/KorList.h"
#include "foundation/Vertex.h"

namespace Fenwo {
class NurbsSurf;
}

// The grid points along one side of a loop, in the side's order.
using SidePoints = Kor::List<CVertex<float, 3>*>;

// The surface of a loop of exactly four curves (given in any order and
// orientation; chained within half the shortest curve's length). k is the
// largest degree of the result (p = min(n, k) per direction, n the last
// index). sidePoints (when given) holds for every curve the grid points
// along it: an inner point whose two directions are not both set and that
// does not see the opposite boundary (Face_SideSeesPoint) has its control
// point dropped from the side (Face_StraightenSide). targets and
// targetIndices (when given) name for every curve the target curve its side
// is pulled onto (an index outside the targets: none).
// Null: the curves do not chain ("order Curve Loops failed"), not four
// curves, a side shorter than 1e-8, or no surface from the sides.
Fenwo::NurbsSurf* Face_OrderLoopAndInit(const Kor::Array<Fenwo::NurbsSurf*>& curves,
                                        const Kor::Array<Fenwo::NurbsSurf*>* targets, int k,
                                        const Kor::List<int>* targetIndices,
                                        const Kor::List<SidePoints>* sidePoints = nullptr);

// Two new curves outA and outC (owned by the caller) on one common knot
// vector of degree min(d, m) on [0, 1]: the breakpoints are the relative
// lengths at the span ends of both sides, merged where closer than 0.025
// (0.0005 when one side has more than five times the other's control
// points); the ends are the sides' end control points and inner control
// point i is the side's point at the i-th breakpoint as a fraction of its
// domain. a and c are reparametrised by chord length (degree-1 curves). False,
// both outputs null, for a null side or one shorter than 1e-8.
bool Face_MakeOppositeSidesCompatible(Fenwo::NurbsSurf* a, Fenwo::NurbsSurf* c,
                                      Fenwo::NurbsSurf*& outA, Fenwo::NurbsSurf*& outC, int d);

// Pulls the side onto the target: its end control points are fixed, the
// inner ones may move only in the plane normal to the side's tangent at
// their Greville abscissa; the side is then fitted (Newton, 5 iterations) to
// 5 x (control points) + 1 evenly spaced points of the target. Returns the
// side, changed in place (unchanged for a null target).
Fenwo::NurbsSurf* Face_FitSideToCurve(Fenwo::NurbsSurf* side, Fenwo::NurbsSurf* target);

// Drops the control points whose indices are in `dropped`: with more than
// one left, the side becomes the degree-1 curve through the rest, on uniform
// knots over [0, 1]. Returns whether more than one was left (otherwise the
// side is unchanged).
bool Face_StraightenSide(Fenwo::NurbsSurf* side, const Kor::List<int>& dropped);

// Whether the grid point, looking along its set direction, sees the loop
// ahead of it: the plane through the point that holds the direction and the
// point's normal is cut with the polygon of the sides' points (pairs with
// the point itself skipped; a pair counts when its ends lie on both sides
// or on the plane, with different distances); true when there is a cut and
// every cut lies ahead by more than 5e-6 of the diagonal of the points' box.
// False without a set direction.
bool Face_SideSeesPoint(const CVertex<float, 3>* point, const Kor::List<SidePoints>& sides);
