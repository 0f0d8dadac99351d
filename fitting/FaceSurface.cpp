#include "fitting/FaceSurface.h"

#include "curves/CurveLoops.h"
#include "curves/CurveOperations.h"
#include "curves/ReInterpolation.h"
#include "curves/SubCurves.h"
#include "fitting/BoundaryPlacement.h"
#include "fitting/BoundaryTightening.h"
#include "fitting/ConstrainedSurfaceFit.h"
#include "fitting/HitSelection.h"
#include "fitting/RefineV2.h"
#include "foundation/Progress.h"
#include "foundation/Statistic.h"
#include "geometry/NurbsSurf.h"
#include "mesh/BaseMesh.h"
#include "mesh/PlaneSection.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>

namespace {

using CurvePtr = std::unique_ptr<Fenwo::NurbsSurf>;

// Spike healing moves control points whose control-polygon angle to their
// neighbours is below this many degrees.
constexpr double kSpikeAngle = 30.0;

void label(CProgress* progress, const char* text)
{
    if (progress != nullptr)
        progress->setLabel(text);
}

bool cancelled(CProgress* progress)
{
    return progress != nullptr && progress->isCancelled();
}

// The point at fraction t of the curve's domain.
Vector pointAtFraction(Fenwo::NurbsSurf* curve, double t)
{
    return curve->getPoint((1.0 - t) * curve->getUMin() + t * curve->getUMax(), 0.0);
}

CVertex<float, 3> toFloat(const Vector& v)
{
    return CVertex<float, 3>(float(v[0]), float(v[1]), float(v[2]));
}

// The start curve along one side: m spans of the given degree through the
// side's points at equal arc-length steps, each moved to where a ray along
// the projection direction meets the mesh (or its nearest facet).
CurvePtr startCurve(Fenwo::NurbsSurf* side, int n, int degree, Mesh::CBaseMesh* mesh,
                    const Vector& direction, bool onMesh)
{
    const int m = std::clamp(int(std::ceil((n + 21) * 0.125)), 2, 200);
    Kor::List<double> t;
    if (!equalArcLengthParameters(side, m, t) || t.count != m + 1)
        return nullptr;
    auto curve = std::make_unique<Fenwo::NurbsSurf>(
        knots(m, std::clamp(degree, 1, m), 0.0, 1.0, knots::ClampedEnd, knots::Uniform));
    Kor::Set<Mesh::CBaseMesh::CBaseHitInfo> hits;
    const CVector<float, 3> ray = toFloat(direction);
    for (int j = 0; j <= m; ++j) {
        const Vector p = side->getPoint(t[j], 0.0);
        curve->setControlPoint(j, 0, p, 1.0);
        if (onMesh && mesh->hit(toFloat(p), ray, hits, true, true, false, nullptr, 0.0) &&
            hits.count > 0)
            curve->setControlPointPosition(j, 0, Vector(hits.items[0]->data, 3));
    }
    hits.removeAll(true, true);
    return curve;
}

void dump(const char* name, const Fenwo::NurbsSurf* s, bool append)
{
    dumpCurveToFile(name, s, append);
}

} // namespace

int ctrlPtsForTolerance(const Kor::Array<Fenwo::NurbsSurf*>& boundaryCurves, Mesh::CBaseMesh* mesh,
                        double dTol, const Vector& planeNormal, CProgress* progress)
{
    if (progress != nullptr) {
        progress->setLabel("automagic #ctrlpts");
        progress->begin(1, 15);
        progress->reset(0);
    }
    CStatistic facets;
    if (boundaryCurves.count >= 4 && mesh != nullptr) {
        for (const auto& [a, c] : {std::pair{0, 2}, std::pair{1, 3}}) {
            Fenwo::NurbsSurf* first = boundaryCurves[a];
            Fenwo::NurbsSurf* second = boundaryCurves[c];
            if (first == nullptr || second == nullptr)
                continue;
            for (int n = 1; n <= 7; ++n) {
                if (progress != nullptr) {
                    progress->step(1);
                    if (progress->isCancelled())
                        return 0;
                }
                const Vector p1 = pointAtFraction(first, n * 0.125);
                const Vector p2 = pointAtFraction(second, (8 - n) * 0.125);
                const Vector normal = normalized(crossProduct(p2 - p1, planeNormal));
                if (!(norm(normal) > 0.5))
                    continue;
                const CVector<float, 3> nf = toFloat(normal), chord = toFloat(p2 - p1);
                const CVertex<float, 3> start = toFloat(p1), end = toFloat(p2);
                MeshFunctions::CurveList sections;
                if (MeshFunctions::meshPlaneSection(mesh, start, nf, nf, 1,
                                                    Interval(-4.4e-16, 4.4e-16), sections, &chord,
                                                    &start, &end, -1.0, true) &&
                    sections.count > 0 && sections[0] != nullptr) {
                    // The section is a poly-line through the facets: its
                    // corners tell the mesh's density, not the shape, so
                    // only the chord tolerance sets the facet count.
                    Kor::List<double> t;
                    sections[0]->facetCurve(t, 0.5 * dTol, true, sections[0]->getUCount(), false,
                                            true, -1.0);
                    facets.add(t.count);
                }
                sections.deleteAll();
            }
        }
    }
    if (facets.count == 0) {
        std::cout << "ctrlPtsForTolerance: no section of the mesh across the face, no count for "
                     "dTol="
                  << dTol << std::endl;
        return 0;
    }
    const int count = int(std::ceil(2.5 * facets.mean()));
    std::cout << "#ctrlPts = " << count << " for dTol=" << dTol << std::endl;
    return count;
}

Fenwo::NurbsSurf* createFaceSurface(Mesh::CBaseMesh* mesh,
                                    const Kor::Array<Fenwo::NurbsSurf*>& boundaryCurves,
                                    int nCtrlPts, CProgress* progress, bool automatic, double dTol,
                                    int degree, bool tightenBoundaries, double* maxDeviation)
{
    if (mesh == nullptr)
        return nullptr;
    if (mesh->facetHash.cells.count == 0)
        mesh->buildFacetHash(500.0, -1.0, nullptr);
    if (automatic && nCtrlPts < 2) {
        Vector centre, normal;
        fitPlaneToSurface(boundaryCurves, centre, normal);
        nCtrlPts = ctrlPtsForTolerance(boundaryCurves, mesh, dTol, normal, progress);
    }
    if (boundaryCurves.count != 4)
        return nullptr;
    for (int i = 0; i < 4; ++i)
        if (boundaryCurves[i] == nullptr)
            return nullptr;

    // The count goes to the longer pair of sides, the shorter pair gets its
    // share by length.
    const double lenU =
        std::max(boundaryCurves[0]->computeLength(), boundaryCurves[2]->computeLength());
    const double lenV =
        std::max(boundaryCurves[1]->computeLength(), boundaryCurves[3]->computeLength());
    int nU = nCtrlPts, nV = nCtrlPts;
    if (lenU > lenV)
        nV = int(std::ceil(nCtrlPts * lenV / lenU));
    else if (lenV > 0.0)
        nU = int(std::ceil(nCtrlPts * lenU / lenV));

    const Kor::Array<Fenwo::NurbsSurf*> sides(boundaryCurves);
    Vector centre, direction;
    fitPlaneToSurface(sides, centre, direction);
    CurvePtr start[4];
    Kor::Array<Fenwo::NurbsSurf*> startCurves;
    for (int i = 0; i < 4; ++i) {
        start[i] = startCurve(boundaryCurves[i], i % 2 == 0 ? nU : nV, degree, mesh, direction,
                              !tightenBoundaries);
        if (start[i] == nullptr)
            return nullptr;
        startCurves.append(start[i].get());
    }
    CurvePtr surface(orderCurveLoops(startCurves, 1, 1, nullptr));
    dump("c:/tmp/start.out", surface.get(), false);
    for (int i = 0; i < 4; ++i)
        dump("c:/tmp/start.out", boundaryCurves[i], true);
    for (int i = 0; i < 4; ++i)
        dump("c:/tmp/start.out", start[i].get(), true);
    for (CurvePtr& c : start)
        c.reset();
    if (surface == nullptr)
        return nullptr;

    selectHitsAndUpdate(surface.get(), mesh);
    label(progress, "Step1: ");
    fitSurfaceWithConstraints(surface.get(), mesh, true, false, nullptr, nullptr, false, true,
                              false, progress, false, 2.0, true, -1.0);
    dump("c:/tmp/1.out", surface.get(), false);
    const bool healed = surface->healSpikes(kSpikeAngle);
    if (healed)
        dump("c:/tmp/1-healed.out", surface.get(), false);
    const bool goOn = !cancelled(progress);

    if (!healed && goOn) {
        for (int k = 0; k < 3; ++k) {
            refineKnots(surface.get(), 0, 1, false);
            refineKnots(surface.get(), 1, 1, false);
            surface->regularizeNet(true);
            char text[32];
            std::snprintf(text, sizeof text, "Step%1i: ", k + 2);
            label(progress, text);
            fitSurfaceWithConstraints(surface.get(), mesh, true, tightenBoundaries, nullptr,
                                      nullptr, k == 2, true, false, progress, false, 2.0, true,
                                      -1.0);
            std::snprintf(text, sizeof text, "c:/tmp/%1d.out", k + 2);
            dump(text, surface.get(), false);
            // A healed spike ends the refinement after this pass.
            const bool last = surface->healSpikes(kSpikeAngle);
            if (last)
                dump("c:/tmp/2plus.out", surface.get(), true);
            if (tightenBoundaries) {
                if (progress != nullptr) {
                    progress->setLabel("tighten boundary curves");
                    progress->reset(0);
                    progress->begin(1, 5);
                }
                for (int s = 0; s < 4; ++s) {
                    if (progress != nullptr) {
                        progress->step(1);
                        if (progress->isCancelled())
                            break;
                    }
                    Fenwo::NurbsSurf* curve = boundaryCurves[s];
                    const BoundaryPosition side =
                        getBoundaryPOsOfPoints(curve->getStartPoint(), curve->getEndPoint(),
                                               surface.get(), nullptr, nullptr, nullptr);
                    if (side != undefinedPosition)
                        tightenBoundaryCurves(*surface, side, *curve, false, true, false, true,
                                              false, 0.001, 2500);
                }
            }
            if (last)
                break;
        }
    }
    if (automatic && goOn)
        refineV2(surface.get(), mesh, dTol, progress, maxDeviation);
    return surface.release();
}
