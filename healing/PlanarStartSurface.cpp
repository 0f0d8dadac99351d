#include "healing/PlanarStartSurface.h"

#include "curves/CurveUtilities.h"
#include "curves/PlaneFit.h"
#include "fitting/RbfFitLoop.h"
#include "foundation/Logging.h"
#include "foundation/Rotation.h"
#include "foundation/Vertex.h"
#include "geometry/FitHelpers.h"
#include "geometry/NurbsSurf.h"

#include <algorithm>
#include <cmath>
#include <numbers>

Fenwo::NurbsSurf* planarImprintSurface(IndexSubset<CFitPoint>& points, Vector direction, int n,
                                       bool square)
{
    const int count = points.getCount();
    if (count == 0)
        return nullptr;
    Vector origin(3), normal(3);
    fitPlaneToSubset(points, origin, normal);
    if (std::fabs(norm(direction) - 1.0) < 0.01)
        normal = direction;
    const CAxis plane(origin, normal);
    Vector u, v;
    plane.orthonormalPair(u, v);

    Kor::List<CVertex<float, 2>> flat;
    for (int k = 0; k < count; ++k) {
        const Vector d = points[k].Point - origin;
        flat.append(
            CVertex<float, 2>(static_cast<float>(dot(d, u)), static_cast<float>(dot(d, v))));
    }
    Kor::List<CVertex<float, 2>> corners;
    double angle = 0.0;
    minAreaBoundingRectangle(flat, corners, angle, 0.0);
    const CRotation turn(plane.direction, std::max(angle, 0.0) * std::numbers::pi / 180.0);
    const Vector ut = turn * u, vt = turn * v;

    double aMin = 0, aMax = 0, bMin = 0, bMax = 0;
    for (int k = 0; k < count; ++k) {
        const Vector d = points[k].Point - origin;
        const double a = dot(d, ut), b = dot(d, vt);
        if (k == 0) {
            aMin = aMax = a;
            bMin = bMax = b;
        }
        aMin = std::min(aMin, a);
        aMax = std::max(aMax, a);
        bMin = std::min(bMin, b);
        bMax = std::max(bMax, b);
        points[k].uv.resize(2);
        points[k].uv[0] = a;
        points[k].uv[1] = b;
    }

    knots ku(1, 1, 0.0, 1.0), kv(1, 1, 0.0, 1.0);
    ku.rescale(aMin, aMax);
    kv.rescale(bMin, bMax);
    auto* surface = new Fenwo::NurbsSurf(ku, &kv);
    const double ea = std::fabs(aMax - aMin), eb = std::fabs(bMax - bMin);
    const double A[2] = {aMin - 0.1 * ea, aMax + 0.1 * ea};
    const double B[2] = {bMin - 0.1 * eb, bMax + 0.1 * eb};
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i)
            surface->setControlPointPosition(i, j, origin + A[i] * ut + B[j] * vt);
    surface->PointInversion(points, 10);

    if (n > 1) {
        int nU = n, nV = n;
        if (!square) {
            if (eb > ea)
                nU = static_cast<int>(std::ceil(n * ea / eb));
            else if (ea > 0.0) // both zero: a point, no imprint
                nV = static_cast<int>(std::ceil(n * eb / ea));
            else
                nU = nV = 0;
        }
        imprintSurface(*surface, points, 1, nU, nV, 50, true);
        surface->write(ioLog());
        ioLog() << std::endl;
    }
    return surface;
}
