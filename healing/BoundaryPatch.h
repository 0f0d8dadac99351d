#pragma once
// The trimmed patch that fills a closed boundary chosen by the user: the
// boundary (and interior) curves are sampled into fit points, a start
// surface is chosen, fitted to the points within the tolerance by the
// scattered-data loop, turned to face the way the surfaces along the
// boundary face, and trimmed by the boundary curves projected onto it.
//
// It lives above the surface net (the trimmed face) and the blending (the
// planar start surface), so it sits in this library.
//
// Ownership: the face returned is new and owned by the caller; it owns its
// surface and loop. The curves and extra points stay the caller's. All
// working data are freed on every exit.
// Thread-safety: none; the fits use the Newton approximation's process-wide
// stop flag and solver slots.

#include "foundation/FitPoint.h"
#include "foundation/KorList.h"
#include "foundation/Vector.h"

class CFace;
class CParametricGeometry;
class CProgress;

// The patch over `boundary` (at least one curve):
// - dTol: the fitting tolerance;
// - direction: the reference direction compared with the point normals and
//   handed to the planar start surface; a norm below 0.1 means none (the
//   normal of the boundary's best-fit plane is used);
// - rcCurves: further curves that close the loop; the surface is then fitted
//   more loosely first, and the loop ends with the first of them;
// - interior: curves inside the boundary that the patch must follow;
// - extraPoints: further fit points that count as boundary points (may be null);
// - progress: progress and cancel sink (may be null), one step per curve;
// - startSurfaceOnly: the start-surface fitters only build their start
//   surface, and the give-up test on steep normals is skipped;
// - continuity: 0 position only, 1 also the tangent planes of the surfaces
//   along the boundary (curves that carry normals).
// A failed tolerance fit prints "Interpolation to dTol = " dTol " failed "
// and still gives the face. Null (nothing left behind) for an empty boundary,
// a cancel during the sampling, all normals more than 75 degrees off the
// direction (unless startSurfaceOnly), no start surface, or no curve that
// can be projected onto the surface. Debug files "c:/tmp/ipol-fail.out",
// "c:/tmp/ipol-fail.mp", "c:/tmp/facelog.out" and "c:/tmp/approxAndTrim.mp"
// are written when FENWO_LOGGING is set.
CFace* approxAndTrim(const Kor::List<CParametricGeometry*>& boundary, double dTol,
                     const Vector& direction, const Kor::List<CParametricGeometry*>& rcCurves,
                     const Kor::List<CParametricGeometry*>& interior, CFitPointArray* extraPoints,
                     CProgress* progress, bool startSurfaceOnly, int continuity);
