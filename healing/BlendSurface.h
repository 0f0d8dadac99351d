#pragma once
// The blend surface of a face from its boundary curves: the short sides of a
// three- or four-sided boundary are dropped so that two opposite sides
// remain, the remaining curves are chained into two rails, and the surface
// is interpolated between the rails.
//
// Ownership: the curves stay the caller's; these functions never delete one.
// The surface is new and owned by the caller.
// Thread-safety: none; the interpolation uses process-wide solvers.

#include "foundation/KorList.h"

class CCONS;
namespace Fenwo {
class NurbsSurf;
}

// Chains the curves into rail A (from the first curve, each next one the
// curve with an end within 0.5 of an end of the one taken last) and rail B
// (the same from the first curve left) and interpolates between them
// (interpolateBetweenRails). Null with fewer than two curves, when a rail
// stays empty, or when the interpolation fails.
Fenwo::NurbsSurf* blendFromCurveChain(const Kor::List<CCONS*>& curves, double chordTolerance,
                                      double startArm, double endArm);

// The blend of a face bounded by these curves, in boundary order: the curves
// are ordered end to end and the gaps at their junctions measured; unless a
// gap is 0.5 or more, a closed three-sided boundary loses its shortest side,
// an open one its middle side, and a four-sided boundary its shorter pair of
// opposite sides (none when both pairs are equally long). The dropped curves
// are taken out of the list (not deleted); then blendFromCurveChain(curves,
// 0.001, 0.4, 0.4).
Fenwo::NurbsSurf* blendFromBoundaryCurves(Kor::List<CCONS*>& curves);
