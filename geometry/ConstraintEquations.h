#pragma once
// Builders of the linear equations that the fitting constraints put on the
// increments of a surface's fit variables.
//
// Unknown (d, i, j) is d + 4 (i + nU j): d = 0, 1, 2 the coordinates and
// d = 3 the weight of control point (i, j). Every equation holds increments,
// so right-hand sides are 0 except where stated. Each builder appends whole
// equations to the list and returns how many it appended.
//
// Rules shared by all builders:
// - Fixing requests and in-plane / in-line rows skip a control point that is
//   already in the surface's fixed control-point list (i + nU j); only
//   addFixControlPointEquations adds to that list.
// - Coefficients that meet on one unknown are summed; a row never holds a
//   zero coefficient, and a row left without any coefficient is not added
//   (it would state 0 = 0).
// - A row that would name a control point outside the surface's grid is not
//   added: its unknowns do not exist in the fit system. Indices along a
//   cyclic knot vector wrap.
//
// Ownership: the list owns the appended equations; the surface is only read,
// except for its fixed list and its evaluation tables (evaluation writes
// into the surface and its knot vectors). Thread-safety: none.

#include "foundation/KorList.h"
#include "foundation/Vector.h"
#include "geometry/BoundaryPosition.h"
#include "geometry/SparseLinearEquation.h"

namespace Fenwo {

class NurbsSurf;

using EquationList = Kor::List<CSparseLinearEquation>;

// First derivatives S_u, S_v (3 entries each) of the surface at (u, v) given
// in the knot vectors' own parameters, the parameters of the control net,
// whatever the geometry's reversal flags. Evaluates the surface.
void firstDerivativesInKnotParameters(NurbsSurf* surf, double u, double v, Vector& Su, Vector& Sv);

// True when control point (i, j) is in the surface's fixed list.
bool isControlPointFixed(const NurbsSurf* surf, int i, int j);

// Three rows (x, y, z increment of (i, j) = 0) and (i, j) joins the fixed
// list; nothing when it is fixed already. The weight stays free.
int addFixControlPointEquations(NurbsSurf* surf, int i, int j, EquationList& eqs);
// One row n . increment(i, j) = rhs (first three entries of n); nothing when
// (i, j) is fixed. Does not add (i, j) to the fixed list.
int addInPlaneEquation(NurbsSurf* surf, int i, int j, const Vector& n, double rhs,
                       EquationList& eqs);
// Two in-plane rows with the unit vectors e1 (perpendicular to dir) and
// e2 = dir x e1, so that (i, j) may move only along dir.
int addInLineEquations(NurbsSurf* surf, int i, int j, const Vector& dir, EquationList& eqs);
// addFixControlPointEquations for every point of row j / column i.
int fixControlPointRow(NurbsSurf* surf, int j, EquationList& eqs);
int fixControlPointColumn(NurbsSurf* surf, int i, EquationList& eqs);
// Three rows: increment(i0, j0) - increment(i1, j1) = 0.
int addRelationEquation(NurbsSurf* surf, int i0, int j0, int i1, int j1, EquationList& eqs);
// Three rows: increment(i0, j0) - (1 - t) increment(i1, j1) - t increment(i2, j2) = 0.
int addRelationEquations(NurbsSurf* surf, int i0, int j0, int i1, int j1, int i2, int j2, double t,
                         EquationList& eqs);
// Three rows: increment(i0, j0) = (I - n n^T) increment(i1, j1), the
// neighbour's increment without its component along n (n as given; a unit n
// gives the orthogonal projection).
int addSymmetryEquations(NurbsSurf* surf, int i0, int j0, int i1, int j1, const Vector& n,
                         EquationList& eqs);
// Three rows stating that the r-th derivative (r = p - m + 1, m the
// multiplicity of the knot at position k) is continuous across that knot of
// the u knots (inU) or the v knots, along the control points of cross index
// c. `count` and `option` are carried for the caller and not read.
int addKnotContinuityEquations(NurbsSurf* surf, int count, int k, int c, bool inU, bool option,
                               EquationList& eqs);
// Per Greville abscissa along the side (uvSouth .. uvEast): two rows keeping
// both first-derivative increments orthogonal to the current unit normal, so
// the tangent plane along the side stays to first order. Another position
// prints "invalid boundary position for fixNormal" and adds nothing.
int fixNormal(NurbsSurf* surf, BoundaryPosition position, EquationList& eqs);
// Per control point k of the side: two rows letting it move only along the
// surface normal at the side point of its Greville abscissa. Another position
// prints "invalid boundary position for fixNormal" and adds nothing.
int fixNormalDirection(NurbsSurf* surf, BoundaryPosition position, EquationList& eqs);
// Surface: per Greville abscissa along the side one row keeping the increment
// of the cross-boundary derivative in the current tangent plane (right-hand
// side -(n . D), zero up to rounding); another position than uvSouth .. uvEast
// prints "invalid boundary position for fixg1" and adds nothing. Curve: the
// second control point from the start (from the end for uvEast) may move only
// along the end tangent.
int fixg1(NurbsSurf* surf, BoundaryPosition position, EquationList& eqs);

} // namespace Fenwo
