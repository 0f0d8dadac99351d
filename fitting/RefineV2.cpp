// V2 adaptive refinement.
#include "fitting/RefineV2.h"

#include "fitting/FitMeshHits.h"
#include "fitting/HitApproximation.h"
#include "foundation/FitPoint.h"
#include "foundation/PointSequence.h"
#include "foundation/Progress.h"
#include "geometry/NurbsSurf.h"
#include "mesh/MeshProjection.h"

#include <iostream>
#include <memory>
#include <sstream>
#include <string>

namespace {

constexpr int kMaxSteps = 50;
constexpr long kMaxControlPoints = 160000;
constexpr double kQuantile = 0.98;

// Fit points at the middle of every span pair that found a mesh hit; false
// when the sink cancelled.
bool collectSpanMidpointHits(Fenwo::NurbsSurf& surface, Mesh::CBaseMesh* mesh, CProgress* progress,
                             CFitPointArray& points)
{
    Vector ub, vb, P(3), N(3);
    surface.uKnots->getBreakpoints(ub, 1);
    surface.vKnots->getBreakpoints(vb, 1);
    if (progress != nullptr) {
        progress->setLabel("check distance");
        progress->begin(0, ub.n * vb.n);
    }
    const bool curveLike = !surface.isSurface();
    Mesh::HitSet hits;
    for (int i = 1; i < ub.n; ++i)
        for (int j = 1; j < vb.n; ++j) {
            if (progress != nullptr) {
                progress->step(1);
                if (progress->isCancelled()) {
                    hits.removeAll(true, true);
                    return false;
                }
            }
            const double u = 0.5 * (ub[i - 1] + ub[i]), v = 0.5 * (vb[j - 1] + vb[j]);
            surface.evaluatePoint(P, u, v);
            surface.getRawNormal(N, u, v);
            const Mesh::CBaseMesh::Point p = toMeshPoint(P);
            const Mesh::CBaseMesh::Direction d = toMeshDirection(N);
            const bool found = (curveLike && Mesh::meshHitsNearPoint(mesh, p, hits, 0.6, false)) ||
                               Mesh::meshHitsAlongDirection(mesh, p, d, hits, 0.6, false) ||
                               mesh->hit(p, d, hits, true, true, false, nullptr, 0.0);
            if (found)
                points.append(CFitPoint(hitPosition(*hits[0]), Vector(u, v)));
        }
    hits.removeAll(true, true);
    return true;
}

} // namespace

bool refineV2(Fenwo::NurbsSurf* surface, Mesh::CBaseMesh* mesh, double dTol, CProgress* progress,
              double* maxDeviation)
{
    if (surface == nullptr || mesh == nullptr || surface->uKnots == nullptr ||
        surface->vKnots == nullptr)
        return false;
    double deviation = -1.0;
    bool measured = false;
    for (int k = 0; k < kMaxSteps; ++k) {
        if (long(surface->getUCount()) * surface->getVCount() > kMaxControlPoints)
            break;
        if (progress != nullptr) {
            std::ostringstream label;
            label << "step (" << k << "/" << kMaxSteps << ")" << std::endl;
            progress->setLabel(label.str().c_str());
            if (progress->isCancelled())
                break;
        }
        if (std::unique_ptr<Fenwo::NurbsSurf> next{
                approximateOnHits(surface, mesh, false, false, progress)})
            surface->copyFrom(*next);

        CFitPointArray points;
        if (!collectSpanMidpointHits(*surface, mesh, progress, points))
            break;
        // A surface that no ray from its span midpoints meets the mesh from
        // has nothing measured: no quantile, so no success either.
        if (points.count == 0) {
            measured = false;
            break;
        }
        IndexSubset<CFitPoint> all(points);
        all.selectAll();
        surface->PointInversion(all, 10);
        deviation = errorQuantile(all, kQuantile);
        measured = true;
        if (maxDeviation != nullptr)
            *maxDeviation = deviation;
        std::cout << "V2 Maximal Deviation (" << kQuantile << "%quantile)= " << deviation
                  << std::endl;
        if (dTol > deviation) {
            std::cout << "V2 success!, tolerance level reached." << std::endl;
            break;
        }
        if (!surface->fixControlPoints(all, dTol, false, true, true, 7))
            break;
        surface->reparametrizeU();
        surface->reparametrizeV();
        if (progress != nullptr) {
            std::ostringstream label;
            label << "intermediate step (" << 2 * k + 2 << "/" << 2 * kMaxSteps << ")" << std::endl;
            progress->setLabel(label.str().c_str());
        }
        if (surface->healSpikes(30.0))
            break;
    }
    if (maxDeviation != nullptr && measured)
        *maxDeviation = deviation;
    if (progress != nullptr)
        progress->setLabel(nullptr);
    // A refinement cancelled before any measurement has reached nothing.
    return measured && dTol > deviation;
}
