#pragma once
// Adaptive refinement of a fitted surface until the 98 % quantile of its
// deviations from the mesh, measured at the middle of every knot span, is
// below a tolerance: each step approximates the mesh on the surface's
// Greville grid of hits, measures, and inserts knots where points are too
// far.
//
// Ownership: the surface is changed in place. Thread-safety: the sparse
// solvers are process-wide; one refinement at a time.

class CProgress;
namespace Fenwo {
class NurbsSurf;
}
namespace Mesh {
class CBaseMesh;
}

// At most 50 steps; a step stops the refinement when the surface has more
// than 160000 control points or the sink is cancelled. Each step: the
// surface takes over approximateOnHits of itself (when that gives one), the
// mesh hits at the span midpoints are inverted onto it and their 0.98 error
// quantile is printed as "V2 Maximal Deviation (0.98%quantile)= "; below
// dTol it prints "V2 success!, tolerance level reached." and stops;
// otherwise knots are inserted where points are farther than dTol (at most 7
// per direction; none: stop), both directions reparametrised uniformly and
// spikes sharper than 30 degrees healed (healing many makes it the last
// step). maxDeviation (may be null) receives every measured deviation.
// True when the last measured deviation is below dTol; false when nothing
// was measured, also when a step finds no mesh hit at any span midpoint
// (the refinement stops there).
bool refineV2(Fenwo::NurbsSurf* surface, Mesh::CBaseMesh* mesh, double dTol, CProgress* progress,
              double* maxDeviation);
