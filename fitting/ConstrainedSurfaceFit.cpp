// Surface fit with weight and relation constraints: the hit road and the
// Newton road.
#include "fitting/ConstrainedSurfaceFit.h"

#include "curves/PlaneFit.h"
#include "fitting/FitPointDisplay.h"
#include "fitting/HitSelection.h"
#include "foundation/FitPoint.h"
#include "foundation/PointSequence.h"
#include "geometry/IJConstraints.h"
#include "geometry/NurbsSurf.h"

#include <cmath>
#include <iostream>
#include <memory>

namespace {

// Copies the stored first and last rows, then the first and last columns,
// of `from` into `to` (nets of equal size only).
void restoreBoundary(Fenwo::NurbsSurf& to, const Fenwo::NurbsSurf& from)
{
    const int nU = to.getUCount(), nV = to.getVCount();
    if (nU != from.getUCount() || nV != from.getVCount())
        return;
    for (int i = 0; i < nU; ++i) {
        to.setHomogeneousControlPoint(i, 0, from.controlPointAt(i, 0));
        to.setHomogeneousControlPoint(i, nV - 1, from.controlPointAt(i, nV - 1));
    }
    for (int j = 0; j < nV; ++j) {
        to.setHomogeneousControlPoint(0, j, from.controlPointAt(0, j));
        to.setHomogeneousControlPoint(nU - 1, j, from.controlPointAt(nU - 1, j));
    }
}

// Every control point onto its foot on the plane.
void flattenOntoPlane(Fenwo::NurbsSurf& surface, const Vector& point, const Vector& normal)
{
    Vector P(3);
    for (int j = 0; j < surface.getVCount(); ++j)
        for (int i = 0; i < surface.getUCount(); ++i) {
            surface.getControlPoint(i, j, P);
            surface.setControlPointPosition(i, j, P - dot(P - point, normal) * normal);
        }
}

// The relation records that tie each collapsed side's control points to the
// side's first one.
void addSideRelations(Fenwo::NurbsSurf& surface)
{
    const int nU = surface.getUCount(), nV = surface.getVCount();
    for (int s = 0; s < surface.degenerateSides.count; ++s) {
        const BoundaryPosition side = *surface.degenerateSides[s];
        switch (side) {
        case uvSouth:
            for (int k = 1; k < nU; ++k)
                surface.addConstraint(new Fenwo::CIJRelationConstraint(0, 0, k, 0));
            break;
        case uvNorth:
            for (int k = 1; k < nU; ++k)
                surface.addConstraint(new Fenwo::CIJRelationConstraint(0, nV - 1, k, nV - 1));
            break;
        case uvWest:
            for (int k = 1; k < nV; ++k)
                surface.addConstraint(new Fenwo::CIJRelationConstraint(0, 0, 0, k));
            break;
        case uvEast:
            for (int k = 1; k < nV; ++k)
                surface.addConstraint(new Fenwo::CIJRelationConstraint(nU - 1, 0, nU - 1, k));
            break;
        default:
            break;
        }
    }
}

} // namespace

bool fitSurfaceWithConstraints(Fenwo::NurbsSurf* surface, Mesh::CBaseMesh* mesh, bool selectHits,
                               bool keepBoundary, CColorCoding* colourCoding,
                               Kor::List<float>* errorValues, bool peakCorrection, bool snapToHits,
                               bool consistentOrientation, CProgress* progress, bool planar,
                               double rayTolerance, bool nearestFallback, double minCosine)
{
    if (surface == nullptr || mesh == nullptr)
        return false;
    std::unique_ptr<Fenwo::NurbsSurf> entry;
    if (keepBoundary)
        entry = std::make_unique<Fenwo::NurbsSurf>(*surface);

    CFitPointArray fitPoints;
    if (selectHits) {
        selectHitsSecondStage(surface, mesh, fitPoints, true, peakCorrection, snapToHits,
                              consistentOrientation, progress, rayTolerance, minCosine, nullptr,
                              nearestFallback);
        if (keepBoundary)
            restoreBoundary(*surface, *entry);
        Vector centre, normal;
        if (planar && fitPlane(fitPoints, centre, normal))
            flattenOntoPlane(*surface, centre, normal);
    } else if (!planar) {
        selectHitsSecondStage(surface, mesh, fitPoints, false, peakCorrection, snapToHits,
                              consistentOrientation, progress, rayTolerance, minCosine, nullptr,
                              nearestFallback);
        IndexSubset<CFitPoint> all(fitPoints);
        all.selectAll();
        surface->PointInversion(all, 10);
        surface->clearRecords();
        surface->constraints.deleteAll();
        surface->addConstraint(new Fenwo::CFixWeightsConstraint());
        addSideRelations(*surface);
        surface->dampSteps = 1;
        surface->stepLimit = 5.0;
        surface->newtonApproximation(all, 0, 3, false, true, 1, nullptr, 1.0, 0.0, -1.0);
        std::cout << fitErrorStatistics(all, nullptr, "", 0.0, 0) << std::endl;
        if (keepBoundary)
            restoreBoundary(*surface, *entry);
    }

    if (errorValues != nullptr) {
        errorValues->removeAll();
        for (int k = 0; k < fitPoints.count; ++k) {
            const CFitPoint& fp = fitPoints[k];
            errorValues->append(float(fp.uv.n > 0 ? fp.uv[0] : 0.0));
            errorValues->append(float(fp.uv.n > 1 ? fp.uv[1] : 0.0));
            errorValues->append(float(signedError(fp)));
            errorValues->append(float(fp.Point[0]));
            errorValues->append(float(fp.Point[1]));
            errorValues->append(float(fp.Point[2]));
        }
    }
    if (colourCoding != nullptr)
        drawErrorColouredPoints(fitPoints, *colourCoding);
    return true;
}
