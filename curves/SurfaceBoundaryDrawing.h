// The boundary curves of a surface's inspection drawing: the four sides as
// iso-parametric curves, each drawn as one line strip at chord tolerance
// 0.01 in the current colour.
//
// The surface drawing lives below the curve classes and calls this drawer
// through the hook it offers; installBoundaryCurveDrawing puts it there.
// Thread-safety: the hook is process-wide; install before drawing.
#pragma once

namespace Fenwo {
class NurbsSurf;
}

// Draws the sides u = umin, u = umax, v = vmin and v = vmax of the surface.
void drawSurfaceBoundaryCurves(Fenwo::NurbsSurf& surface);

// Installs drawSurfaceBoundaryCurves as the surface drawing's boundary-curve
// drawer (repeated calls change nothing).
void installBoundaryCurveDrawing();
