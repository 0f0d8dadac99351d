#pragma once
// The surface spanned over a closed loop of boundary samples: the loop is
// developed into the plane by transporting a frame along its normals, the
// plane is mapped back onto the samples by a radial-basis-function
// interpolant, a start surface g0 is sampled from that map over the
// developed loop's box, and the final surface g is fitted to a grid of the
// map whose size follows the turning of g0's normal. No knots are inserted:
// the refinement is the choice of the control-point counts.
//
// Ownership: the result is a new surface owned by the caller; every working
// object is freed on every exit.
// Thread-safety: none (the bicubic parameters run the Newton approximation,
// whose stop flag and solver slots are process-wide).

#include "foundation/FitPoint.h"

namespace Fenwo {
class NurbsSurf;
}

// The surface over the loop of N boundary samples (positions and normals,
// in loop order). Every sample's Tangent and SurfNormal are overwritten by
// the frame transport. With useBicubicParameters the developed loop is
// replaced by the parameters a bicubic fit of the samples gives them. With
// startSurfaceOnly the result is the sampled start surface g0 (12 x 13 at
// most). Otherwise the counts are printed ("uMaxChange=" ... " vMaxChange="
// ..., "new nu=" ... " new nv = " ...) and the fitted g is returned; a g
// whose control net fails the spike test is replaced by a copy of g0 with a
// message. Null for fewer than 3 samples, a developed loop that crosses
// itself, one of zero width or height, or a grid fit that fails. Debug files
// "c:/tmp/x0map.out" and "c:/tmp/makroTriangulate.out" (appended) are
// written when FENWO_LOGGING is set.
Fenwo::NurbsSurf* fitWithKnotRefinement(CFitPointArray& loop, bool startSurfaceOnly,
                                        bool useBicubicParameters);

// Turns a planar curve about the z axis so that the smallest-area bounding
// rectangle of its control points becomes axis-parallel. False (the curve
// unchanged) for a curve without control points or one that is no NURBS.
bool alignToMinAreaRectangle(Fenwo::NurbsSurf* planarCurve);
