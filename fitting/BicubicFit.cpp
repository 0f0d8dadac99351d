// The bicubic fit of a point cloud.
#include "fitting/BicubicFit.h"

#include "curves/PlaneFit.h"
#include "curves/SubCurves.h"
#include "foundation/IndexSubset.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "platform/Diagnostics.h"

#include <fstream>
#include <memory>

Fenwo::NurbsSurf* fitBicubic(CFitPointArray& points)
{
    if (points.count < 5)
        return nullptr;

    const knots quadratic(2, 2, 0.0, 1.0);
    auto S = std::make_unique<Fenwo::NurbsSurf>(quadratic, &quadratic);
    IndexSubset<CFitPoint> all(points);
    all.selectAll();

    Vector normal, U, V, C;
    double uMin = 0.0, uMax = 0.0, vMin = 0.0, vMax = 0.0;
    fitPlaneFrame(all, normal, U, V, C, uMin, uMax, vMin, vMax);
    U *= 1.2;
    V *= 1.2;
    // The middle row and column pass through the centre, not through the
    // middle of the extents, so a lopsided cloud keeps its centre inside.
    const double a[3] = {uMin, 0.0, uMax};
    const double b[3] = {vMin, 0.0, vMax};
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
            S->setControlPointPosition(i, j, C + a[i] * U + b[j] * V);

    {
        std::ofstream mp;
        Platform::openDiagnosticsStream(mp, "c:/tmp/fit0.mp");
        for (const CFitPoint& p : points) {
            printFitPoint(mp, p);
            mp << '\n';
        }
    }
    std::ofstream out;
    Platform::openDiagnosticsStream(out, "c:/tmp/fitbicubic.out");
    S->write(out);
    out << '\n';

    S->invertPoints(all, 4, 4, false);
    S->PointInversion(all, 20);
    S->newtonApproximation(all, 0, 5, false, true, 0, nullptr, 1.0, 0.0, -1.0);
    S->write(out);
    out << '\n';

    // Degree elevation and knot insertion keep the shape exactly.
    elevateCurveDegree(S.get(), 0);
    elevateCurveDegree(S.get(), 1);
    refineKnots(S.get(), 0, 3, false);
    refineKnots(S.get(), 1, 3, false);
    S->reparametrizeU();
    S->reparametrizeV();
    if (S->uKnots->n > 3)
        S->reparametrizeU(new knots(S->uKnots->n, 3, 0.0, 1.0));
    if (S->vKnots->n > 3)
        S->reparametrizeV(new knots(S->vKnots->n, 3, 0.0, 1.0));
    return S.release();
}
