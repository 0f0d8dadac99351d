#include "curves/CurveProjection.h"

#include "curves/CurveApproximation.h"

#include <memory>

Fenwo::NurbsSurf* projectCurveToPlane(CParametricGeometry* g, const CPlane& plane)
{
    if (g == nullptr || g->getDimension() != 3)
        return nullptr;
    // Any other curve is projected through a NURBS approximation of it.
    std::unique_ptr<Fenwo::NurbsSurf> approximation;
    const Fenwo::NurbsSurf* nurbs = asNurbsSurf(g);
    if (nurbs == nullptr) {
        CurveApproximationSettings settings;
        settings.samplesPerInterval = 3;
        settings.fixEnds = true;
        settings.tangents = true;
        approximation.reset(
            approximateCurveWithLengthCheck(g, 0.005, settings, false, nullptr, nullptr));
        nurbs = approximation.get();
        if (nurbs == nullptr)
            return nullptr;
    }

    // Feet on the plane need a unit normal; the caller's plane may have any.
    const double length = norm(plane.normal);
    if (!(length > 0.0))
        return nullptr;
    const CPlane unitPlane(plane.point, (1.0 / length) * plane.normal);

    auto result = std::make_unique<Fenwo::NurbsSurf>(*nurbs);
    Vector xyz(3);
    for (int j = 0; j < result->getVCount(); ++j)
        for (int i = 0; i < result->getUCount(); ++i) {
            result->getControlPointXYZ(xyz, i, j);
            result->setControlPointPosition(i, j, unitPlane.project(xyz));
        }
    // Projection can fold the control polygon where the curve runs along the
    // normal: untangle it.
    result->untangleControlPolygon();
    return result.release();
}
