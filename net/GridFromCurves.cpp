// Poly-lines of the grid made from given curves (the boundary of a loaded
// mesh): each curve becomes a poly-line between two shared grid points that
// follows the curve.

#include "curves/SubCurves.h"
#include "geometry/NurbsSurf.h"
#include "mesh/GridPoint.h"
#include "mesh/MeshGeometry.h"
#include "net/OffsetGrid.h"

#include <iostream>
#include <memory>

namespace {

// Grid points closer than this share one place.
constexpr double kMatchDistance = 0.001;

} // namespace

bool COffset_Grid::addPointListsFromPoints(Fenwo::NurbsSurf* curve)
{
    if (curve == nullptr)
        return false;
    const knots* k = curve->uKnots;
    if (k != nullptr && k->endCondition == knots::CyclicEnd && k->n - k->p > k->p) {
        const double t = *k->knotAt((k->n + k->p + 1) / 2);
        const std::unique_ptr<Fenwo::NurbsSurf> first(::getSubCurve(curve, curve->getUMin(), t));
        const std::unique_ptr<Fenwo::NurbsSurf> second(::getSubCurve(curve, t, curve->getUMax()));
        const bool a = addPointListsFromPoints(first.get());
        const bool b = addPointListsFromPoints(second.get());
        std::cout << "settting a periodic edge " << std::endl;
        return a && b;
    }

    // The grid point at one end: an existing one nearby, else a new one on
    // the mesh (`made` then owns it until a poly-line takes it).
    auto endPoint = [this](const Vector& p, const char* message,
                           std::unique_ptr<Gridbench::CGridPoint>& made) -> CVertex<float, 3>* {
        made = std::make_unique<Gridbench::CGridPoint>();
        for (int d = 0; d < 3; ++d)
            made->data[d] = float(p[d]);
        if (CVertex<float, 3>* existing =
                findNearestVertex(*made, kMatchDistance, nullptr, false, nullptr)) {
            made.reset();
            if (dynamic_cast<Gridbench::CGridPoint*>(existing) == nullptr)
                std::cout << message << std::endl;
            return existing;
        }
        CVector<float, 3> normal;
        if (nearestMeshPoint(mesh, *made, normal))
            made->normal = normal;
        return made.get();
    };
    std::unique_ptr<Gridbench::CGridPoint> made0, made1;
    CVertex<float, 3>* v0 =
        endPoint(curve->getStartPoint(), "oops, pV0 is not a CGridPoint!", made0);
    CVertex<float, 3>* v1 = endPoint(curve->getEndPoint(), "oops, pV1 is not a CGridPoint!", made1);
    // Two new ends that fall together are one point.
    if (made0 != nullptr && made1 != nullptr && pointDistance(*made0, *made1) < kMatchDistance)
        v1 = v0;
    if (v0 == v1)
        return true;

    auto* pl = new COffset_PointList(this);
    pl->appendVertex(v0);
    pl->appendVertex(v1);
    made0.release();
    made1.release();
    pl->setRibbonCurve(curve, 0.1, -1);
    if (!addPointList(pl)) {
        delete pl;
        return true;
    }
    setCurrentPointList(pl);
    return true;
}
