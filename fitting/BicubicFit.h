#pragma once
// The bicubic fit of a point cloud without prior parameters: a 3 x 3
// biquadratic net on the points' best-fit plane, the points parametrised on
// it, a short Gauss-Newton fit, then exact refinement to a 7 x 7 bicubic on
// [0, 1] x [0, 1]. It is a start surface for the per-face approximation and
// the source of the parameters of the boundary samples of the surface over a
// boundary loop.
//
// Ownership: the result is a new surface owned by the caller.
// Thread-safety: none; it runs the Newton approximation, whose stop flag and
// solver slots are process-wide.

#include "foundation/FitPoint.h"

namespace Fenwo {
class NurbsSurf;
}

// The bicubic surface (degree 3, 7 x 7 control points, knots(6, 3, 0, 1)
// in both directions) fitted to the points; null, with nothing written, for
// fewer than 5 points. Every point keeps the parameters and squared
// distance the last inversion or fit step gave it. The points go to the
// debug file "c:/tmp/fit0.mp" and the start and fitted nets to
// "c:/tmp/fitbicubic.out" on every call (skipped when a file cannot be
// opened). There is no other failure: whatever the fit achieves is refined
// and returned.
Fenwo::NurbsSurf* fitBicubic(CFitPointArray& points);
