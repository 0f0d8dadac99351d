#pragma once
// The surface of one four-sided face of the net, fitted to the mesh inside
// its boundary within a tolerance: start curves laid on the mesh along the
// four sides, a start surface spanned by them and turned to face the mesh,
// a first constrained fit, three passes of knot refinement and refitting
// with spike healing, optional tightening of the sides to the boundary
// curves, and in automatic mode the adaptive refinement to the tolerance.
// Each stage writes its surface to a debug file of the diagnostics folder
// ("start.out", "1.out", "1-healed.out", "2.out" .. "4.out", appended
// "2plus.out"); a file that cannot be opened is skipped.
//
// Ownership: the boundary curves belong to the caller and are not changed;
// the result is new and owned by the caller. The facet hash built on a mesh
// without one stays with the mesh.
// Thread-safety: the fits use process-wide solver state; one face at a time.

#include "foundation/KorArray.h"
#include "foundation/Vector.h"

class CProgress;
namespace Fenwo {
class NurbsSurf;
}
namespace Mesh {
class CBaseMesh;
}

// The surface spanning the four boundary curves (in loop order: 0 and 2,
// 1 and 3 opposite) and following the mesh. nCtrlPts is the count along the
// longer pair of sides (the shorter pair gets its share by length); with
// automatic and nCtrlPts below 2 it comes from ctrlPtsForTolerance. Each
// side's start curve has ceil((n + 21) / 8) spans (2 .. 200) of degree
// min(degree, spans); after the three passes every direction has 8 times
// that. tightenBoundaries keeps the start curves off the mesh, holds the
// boundary rows in the refits and pulls the sides onto the curves.
// maxDeviation (may be null) receives the last deviation of the adaptive
// refinement. Null without exactly four curves or without a start surface;
// a cancelled sink after the first fit returns that fit.
Fenwo::NurbsSurf* createFaceSurface(Mesh::CBaseMesh* mesh,
                                    const Kor::Array<Fenwo::NurbsSurf*>& boundaryCurves,
                                    int nCtrlPts, CProgress* progress, bool automatic, double dTol,
                                    int degree, bool tightenBoundaries, double* maxDeviation);

// The control-point count the tolerance asks for: the mesh is cut by 14
// planes across the two pairs of opposite sides (each through a point of
// one side at 1/8 .. 7/8 of its domain and the point of the other at the
// mirrored fraction, containing planeNormal), the first section curve of
// each is faceted at 0.5 dTol, and the result is ceil(2.5 x the mean facet
// count), printed as "#ctrlPts = N for dTol=..". 0 when cancelled, and 0
// with a message when no section succeeds.
int ctrlPtsForTolerance(const Kor::Array<Fenwo::NurbsSurf*>& boundaryCurves, Mesh::CBaseMesh* mesh,
                        double dTol, const Vector& planeNormal, CProgress* progress);
