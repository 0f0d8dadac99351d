#pragma once
// The start surface of a four-sided face from its boundary curves: a
// rail-section sweep between the two long sides when they are opposite, the
// short sides are short enough and no corner is too flat; otherwise, when
// opposite sides have similar lengths, the surface spanning all four curves.
//
// Ownership: makeBlendingSurface works on copies and never changes the
// caller's curves; buildBlendingSurface changes, reorders and replaces the
// curves of its array (it deletes a curve it replaces). The surface is new
// and owned by the caller.
// Thread-safety: none; the fits use process-wide solvers.

#include "foundation/KorArray.h"
#include "foundation/KorList.h"

namespace Fenwo {
class NurbsSurf;
}

// buildBlendingSurface on copies of the curves; null for a null entry.
Fenwo::NurbsSurf* makeBlendingSurface(const Kor::List<Fenwo::NurbsSurf*>& curves, double tolerance);

// The surface of the four curves, or null: for another count, when the two
// longest curves are neighbours in the chained loop, and when the fall-back
// finds opposite length ratios below 0.75 or no spanning surface. Prints
// "sumRest=" ... " L0=" ... " L1=" ... and, when it sweeps, "ok we have a
// blending surface!"; with logging on the corner angles ("angle =") and
// the curves go to "c:/tmp/n0log.out" as well.
Fenwo::NurbsSurf* buildBlendingSurface(Kor::Array<Fenwo::NurbsSurf*>& curves, double tolerance);
