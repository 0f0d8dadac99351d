#pragma once
// The start surface for a cloud of fit points: a bilinear patch in the
// points' best-fit plane, oriented along their smallest-area bounding
// rectangle and a tenth of their extent larger on every side, optionally bent
// towards the points by a scattered-data imprint.
//
// Ownership: the surface is new and owned by the caller; the points' records
// are written (their parameters), never taken over.
// Thread-safety: none; the imprint uses process-wide solvers.

#include "foundation/FitPoint.h"
#include "foundation/IndexSubset.h"
#include "foundation/Vector.h"

namespace Fenwo {
class NurbsSurf;
}

// The patch over the listed points. A direction whose norm is within 0.01 of
// 1 is taken as the plane's normal instead of the fitted one. The listed
// points receive their parameters on the patch. With n > 1 the patch is
// imprinted with n control-point steps along the longer extent and
// proportionally fewer along the shorter one (n along both with `square`),
// and written to the second log stream. Points on one line or one point give
// a degenerate patch; an empty list gives null.
Fenwo::NurbsSurf* planarImprintSurface(IndexSubset<CFitPoint>& points, Vector direction, int n,
                                       bool square);
