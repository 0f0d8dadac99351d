#pragma once
// The fitting step of every stage of a face's approximation: moves the
// control points of a surface towards the mesh and reports the remaining
// error. Two roads: the hit-driven fit (control points sampled, paired with
// mesh hits and snapped or corrected; optionally flattened onto the best-fit
// plane of the hits), or the constrained Newton approximation of samples
// pulled onto the mesh, with the weights fixed and every collapsed side of
// the surface held together by relation constraints.
//
// Ownership: the surface is changed in place; the error list and colour
// coding are the caller's. Fit points and the boundary copy are local.
// Thread-safety: the Newton road is not re-entrant (process-wide solver
// state); the colour display needs the caller's current OpenGL context.

#include "foundation/KorList.h"

class CColorCoding;
class CProgress;
namespace Fenwo {
class NurbsSurf;
}
namespace Mesh {
class CBaseMesh;
}

// selectHits: the hit road (selectHitsSecondStage in control-point mode with
// peakCorrection, snapToHits, consistentOrientation, progress, rayTolerance,
// minCosine and nearestFallback), then with `planar` every control point
// moved to its foot on the best-fit plane of the fit points.
// Otherwise, unless planar is set, the Newton road: samples in sample mode,
// point inversion, the fit records cleared and every constraint replaced by
// one CFixWeightsConstraint plus, for every collapsed side (the surface's
// degenerateSides, ascending), relation records tying control point k of the
// side to its first one (k = 1 .. count - 1); then 3 sparse Newton
// iterations (mode 1, normal weight 1.0) with damped steps (limit 5.0), and
// the error statistic printed on standard output.
// keepBoundary: the first and last rows and columns end bit-identical to the
// entry surface on both roads.
// errorValues (emptied first): six floats per fit point, u, v, the signed
// error sqrt(dist2) side, x, y, z. colourCoding: the fit points drawn as
// points of size 4 coloured by their signed error over the coding's range;
// the OpenGL state it changes is restored.
// False for a null surface or mesh (nothing changed), else true; a cancelled
// sink only ends the sampling early.
bool fitSurfaceWithConstraints(Fenwo::NurbsSurf* surface, Mesh::CBaseMesh* mesh, bool selectHits,
                               bool keepBoundary, CColorCoding* colourCoding,
                               Kor::List<float>* errorValues, bool peakCorrection, bool snapToHits,
                               bool consistentOrientation, CProgress* progress, bool planar,
                               double rayTolerance, bool nearestFallback, double minCosine);
