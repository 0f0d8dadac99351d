#include "curves/SurfaceBoundaryDrawing.h"

#include "curves/IsoParametricCurve.h"
#include "geometry/NurbsSurf.h"

namespace {
constexpr double kChordTolerance = 0.01;
}

void drawSurfaceBoundaryCurves(Fenwo::NurbsSurf& surface)
{
    // Sides 3 and 4 are u = umin and u = umax, sides 1 and 2 v = vmin and
    // v = vmax.
    for (int side : {3, 4, 1, 2}) {
        CIsoParametricCurve curve(&surface, side);
        curve.draw(kChordTolerance, false, 0);
    }
}

void installBoundaryCurveDrawing()
{
    Fenwo::NurbsSurf::setBoundaryCurveDrawer(&drawSurfaceBoundaryCurves);
}
