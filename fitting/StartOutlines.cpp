#include "fitting/StartOutlines.h"

#include "curves/CurveUtilities.h"
#include "curves/SubCurves.h"
#include "fitting/FitGeometry.h"
#include "foundation/ConvexHull2D.h"
#include "foundation/Rotation.h"
#include "geometry/FitHelpers.h"
#include "geometry/NurbsSurf.h"
#include "geometry/Transformation.h"
#include "mesh/SpatialHash.h"

#include <cmath>
#include <memory>
#include <numbers>

namespace {

// The cyclic degree-1 curve with the corners as its control points.
Fenwo::NurbsSurf* closedOutline(const Kor::List<Vector>& corners)
{
    CFitPointArray points;
    for (const Vector& c : corners)
        points.append(CFitPoint(c));
    return polylineOfAllFitPoints(points, true);
}

} // namespace

Fenwo::NurbsSurf* createStartSurface(const Kor::List<Fenwo::NurbsSurf*>& boundaryCurves,
                                     const CAxis& plane)
{
    Vector u, v;
    plane.orthonormalPair(u, v);
    Kor::List<CVertex<float, 2>> points;
    for (Fenwo::NurbsSurf* c : boundaryCurves) {
        if (c == nullptr)
            continue;
        for (int i = 0; i < c->getUCount(); ++i) {
            Vector p;
            c->getControlPointXYZ(p, i, 0);
            const Vector d = p - plane.point;
            points.append(CVertex<float, 2>(float(dot(d, u)), float(dot(d, v))));
        }
    }
    Kor::List<CVertex<float, 2>> corners;
    double angle = 0.0;
    if (!minAreaBoundingRectangle(points, corners, angle, 0.0))
        return nullptr;
    const CRotation turn(plane.direction, angle * std::numbers::pi / 180.0);
    const Vector u1 = turn * u, v1 = turn * v;
    Kor::List<Vector> outline;
    for (const CVertex<float, 2>& c : corners)
        outline.append(plane.point + double(c.data[0]) * u1 + double(c.data[1]) * v1);
    return closedOutline(outline);
}

Fenwo::NurbsSurf* createStartSurface(const Kor::List<Fenwo::NurbsSurf*>& boundaryCurves,
                                     const C3DTransformation& transformation)
{
    Kor::List<Fenwo::NurbsSurf*> copies;
    for (Fenwo::NurbsSurf* c : boundaryCurves)
        if (c != nullptr)
            copies.append(transformSurfaceCopy(c, transformation));
    const std::unique_ptr<Fenwo::NurbsSurf> hull(planarHullOfCurves(copies, nullptr));
    copies.deleteAll();
    return hull != nullptr ? buildCyclicPolyline(hull.get(), 4) : nullptr;
}

Fenwo::NurbsSurf* planarHullOfCurves(const Kor::List<Fenwo::NurbsSurf*>& curves, const CAxis* plane)
{
    Kor::List<Vector> points;
    for (Fenwo::NurbsSurf* c : curves) {
        if (c == nullptr)
            continue;
        Kor::List<double> t;
        c->facetCurve(t, 0.01, true, 2000, false, false, -1.0);
        for (double u : t)
            points.append(c->getPoint(u, 0.0));
    }
    return planarHullCurve(points, plane);
}

Fenwo::NurbsSurf* planarHullCurve(const Kor::List<Vector>& points, const CAxis* plane)
{
    CAxis frame;
    if (plane != nullptr) {
        frame = *plane;
    } else {
        Vector centre, normal;
        if (!fitPlaneToVectors(points, centre, normal))
            return nullptr;
        frame = CAxis(centre, normal);
    }
    Vector u, v;
    frame.orthonormalPair(u, v);
    Mesh::C3DHash<CVertex<double, 3>, double> seen;
    Kor::List<Vector> flat;
    for (const Vector& p : points) {
        const Vector d = p - frame.point;
        CVertex<double, 3> q(dot(d, u), dot(d, v), 0.0);
        if (seen.findNearest(q, 1e-6f, true))
            continue;
        seen.insert(q, true, false);
        flat.append(Vector(q.data[0], q.data[1], 0.0));
    }
    if (flat.count < 3)
        return nullptr;
    const CConvexHull2D hull(flat);
    int n = hull.getCount();
    // A closed hull walk lists its start again at its end.
    if (n > 3 && hull.hull.indices[0] == hull.hull.indices[n - 1])
        --n;
    // Three points on a line span no outline.
    double area = 0.0;
    for (int i = 0; i < n; ++i) {
        const Vector &a = hull.hullPoint(i), &b = hull.hullPoint((i + 1) % n);
        area += a[0] * b[1] - a[1] * b[0];
    }
    if (n < 3 || !(std::fabs(area) > 0.0))
        return nullptr;
    Kor::List<Vector> corners;
    for (int i = 0; i < n; ++i) {
        const Vector& h = hull.hullPoint(i);
        corners.append(frame.point + h[0] * u + h[1] * v);
    }
    return closedOutline(corners);
}
