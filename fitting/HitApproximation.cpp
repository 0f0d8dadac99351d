// Approximation on mesh hits and its curve road.
#include "fitting/HitApproximation.h"

#include "curves/CurveInterpolation.h"
#include "curves/LeastSquaresFits.h"
#include "fitting/FitMeshHits.h"
#include "foundation/FitPoint.h"
#include "foundation/Progress.h"
#include "foundation/Statistic.h"
#include "foundation/StopUhr.h"
#include "geometry/NurbsSurf.h"
#include "mesh/MeshProjection.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>

namespace {

using Mesh::CBaseMesh;

// First hit of the mesh along N through P: hits near the normal line, else a
// plain ray. Null when none.
const CBaseMesh::CBaseHitInfo* hitAlongNormal(CBaseMesh* mesh, const Vector& P, const Vector& N,
                                              Mesh::HitSet& hits)
{
    const CBaseMesh::Point p = toMeshPoint(P);
    const CBaseMesh::Direction d = toMeshDirection(N);
    if (Mesh::meshHitsAlongDirection(mesh, p, d, hits, 0.6, false) ||
        mesh->hit(p, d, hits, true, false, false, nullptr, 0.0))
        return hits[0];
    return nullptr;
}

void setLabel(CProgress* progress, const char* label)
{
    if (progress != nullptr)
        progress->setLabel(label);
}

// Copies the stored rows j in rows and columns i in rows (counted from both
// ends) from `from` into `to`.
void copyBorderRows(Fenwo::NurbsSurf& to, const Fenwo::NurbsSurf& from, int rows)
{
    const int nU = to.getUCount(), nV = to.getVCount();
    if (nU != from.getUCount() || nV != from.getVCount())
        return;
    for (int r = 0; r < rows; ++r) {
        for (int i = 0; i < nU; ++i) {
            to.setHomogeneousControlPoint(i, r, from.controlPointAt(i, r));
            to.setHomogeneousControlPoint(i, nV - 1 - r, from.controlPointAt(i, nV - 1 - r));
        }
        for (int j = 0; j < nV; ++j) {
            to.setHomogeneousControlPoint(r, j, from.controlPointAt(r, j));
            to.setHomogeneousControlPoint(nU - 1 - r, j, from.controlPointAt(nU - 1 - r, j));
        }
    }
}

// Distances from the surface to the mesh at the middle of every span pair.
CStatistic spanMidpointDistances(Fenwo::NurbsSurf& surface, CBaseMesh* mesh)
{
    CStatistic stat;
    Vector ub, vb, P(3), N(3);
    surface.uKnots->getBreakpoints(ub, 1);
    surface.vKnots->getBreakpoints(vb, 1);
    Mesh::HitSet hits;
    for (int i = 1; i < ub.n; ++i)
        for (int j = 1; j < vb.n; ++j) {
            const double u = 0.5 * (ub[i - 1] + ub[i]), v = 0.5 * (vb[j - 1] + vb[j]);
            surface.evaluatePoint(P, u, v);
            surface.getRawNormal(N, u, v);
            if (Mesh::meshHitsAlongDirection(mesh, toMeshPoint(P), toMeshDirection(N), hits, 0.6,
                                             false))
                stat.add(std::sqrt(squaredDistance(hitPosition(*hits[0]), P)));
        }
    hits.removeAll(true, true);
    return stat;
}

} // namespace

Fenwo::NurbsSurf* approximateOnHits(Fenwo::NurbsSurf* geometry, Mesh::CBaseMesh* mesh,
                                    bool holdBoundary, bool keepTangentRows, CProgress* progress)
{
    if (geometry == nullptr)
        return nullptr;
    if (!geometry->isSurface())
        return collectCurveFitPoints(geometry, mesh);
    if (mesh == nullptr || geometry->uKnots == nullptr || geometry->vKnots == nullptr)
        return nullptr;
    Vector us, vs;
    geometry->uKnots->getGrevilleAbscissae(us);
    geometry->vKnots->getGrevilleAbscissae(vs);
    const int nu = us.n, nv = vs.n;
    CFitPointArray2D grid(nu, nv);

    setLabel(progress, "get hits");
    if (progress != nullptr)
        progress->begin(1, nu * nv);
    Mesh::HitSet hits;
    Vector P(3), N(3);
    for (int i = 0; i < nu; ++i)
        for (int j = 0; j < nv; ++j) {
            if (progress != nullptr) {
                progress->step(1);
                if (progress->isCancelled())
                    return nullptr;
            }
            geometry->evaluatePoint(P, us[i], vs[j]);
            geometry->getRawNormal(N, us[i], vs[j]);
            CFitPoint& fp = grid.at(i, j);
            fp.Point = P;
            fp.uv = Vector(us[i], vs[j]);
            if (const CBaseMesh::CBaseHitInfo* h = hitAlongNormal(mesh, P, N, hits))
                fp.Point = hitPosition(*h);
        }
    hits.removeAll(true, true);

    setLabel(progress, "perform exact approx");
    std::cout << "start interpoaltion on " << nu * nv << " " << nu << "," << nv << std::endl;
    std::unique_ptr<Fenwo::NurbsSurf> result(
        fitNurbsToPoints(grid, geometry->uKnots, geometry->vKnots, progress, false,
                         geometry->uKnots->p, geometry->vKnots->p));
    const bool ownKnots = result != nullptr;
    if (!ownKnots) {
        // Fresh parameters: the uniform knots do not share the surface's domain.
        result.reset(fitNurbsToPoints(grid, nullptr, nullptr, progress, true, 3, 3));
        if (result == nullptr)
            return nullptr;
    }
    if (holdBoundary && ownKnots && result->uKnots->p == geometry->uKnots->p &&
        result->vKnots->p == geometry->vKnots->p)
        copyBorderRows(*result, *geometry, keepTangentRows ? 2 : 1);

    setLabel(progress, "measure distance");
    {
        StopUhr watch(true, "measure distance");
        std::cout << "interpolate dStat = " << spanMidpointDistances(*result, mesh) << std::endl;
    }
    return result.release();
}

Fenwo::NurbsSurf* collectCurveFitPoints(Fenwo::NurbsSurf* curve, Mesh::CBaseMesh* mesh,
                                        std::vector<HeldCurvePoint>* held)
{
    if (curve == nullptr || mesh == nullptr || curve->uKnots == nullptr)
        return nullptr;
    Vector ts;
    curve->uKnots->getGrevilleAbscissae(ts);
    std::sort(ts.data, ts.data + ts.n);
    const int unique = int(std::unique(ts.data, ts.data + ts.n) - ts.data);

    // The samples: the Greville parameters, with each held point at its own
    // parameter. The fresh chord-length parameters of the interpolation
    // below carry no parameter of the given curve over, so only a sample
    // pins the result: a held point that were no sample (a junction inside
    // a poly-line whose stretches differ in length lies between two
    // Greville parameters) would be missed by the sag of the curve between
    // the samples around it. A held point takes the place of the Greville
    // sample it lies near, so that no two samples crowd each other.
    struct Sample {
        double t;
        int held; // index into *held, -1 for a Greville sample
    };
    std::vector<Sample> samples;
    std::vector<bool> taken(std::size_t(std::max(unique, 0)), false);
    const int heldCount = held != nullptr ? int(held->size()) : 0;
    for (int h = 0; h < heldCount; ++h) {
        const double t = (*held)[std::size_t(h)].t;
        const int k = int(std::lower_bound(ts.data, ts.data + unique, t) - ts.data);
        int nearest = -1;
        for (int c : {k - 1, k})
            if (c >= 0 && c < unique &&
                (nearest < 0 || std::fabs(ts[c] - t) < std::fabs(ts[nearest] - t)))
                nearest = c;
        if (nearest >= 0 && !taken[std::size_t(nearest)]) {
            double reach = HUGE_VAL;
            if (nearest > 0)
                reach = std::min(reach, ts[nearest] - ts[nearest - 1]);
            if (nearest + 1 < unique)
                reach = std::min(reach, ts[nearest + 1] - ts[nearest]);
            if (std::fabs(ts[nearest] - t) <= 0.5 * reach)
                taken[std::size_t(nearest)] = true;
        }
        samples.push_back({t, h});
    }
    for (int k = 0; k < unique; ++k)
        if (!taken[std::size_t(k)])
            samples.push_back({ts[k], -1});
    std::stable_sort(samples.begin(), samples.end(),
                     [](const Sample& a, const Sample& b) { return a.t < b.t; });

    CFitPointArray points;
    std::vector<int> sampleOf(std::size_t(heldCount), -1);
    Mesh::HitSet hits;
    Vector P(3);
    const CBaseMesh::Direction up(0.0f, 0.0f, 1.0f);
    int hitCount = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const Sample& s = samples[i];
        // One sample per parameter (held points sort before a Greville
        // sample of the same parameter): two held points there share it.
        if (i > 0 && samples[i - 1].t == s.t) {
            if (s.held >= 0)
                sampleOf[std::size_t(s.held)] = points.count - 1;
            continue;
        }
        if (s.held >= 0) {
            P = (*held)[std::size_t(s.held)].point;
        } else {
            curve->evaluatePoint(P, s.t, 0.0);
        }
        const CBaseMesh::Point p = toMeshPoint(P);
        const bool hit = Mesh::meshHitsNearPoint(mesh, p, hits, 0.6, false) ||
                         mesh->hit(p, up, hits, true, false, false, nullptr, 0.0);
        hitCount += hit ? 1 : 0;
        if (s.held >= 0) {
            sampleOf[std::size_t(s.held)] = points.count;
            points.append(hit ? CFitPoint(P, Vector(s.t, 0.0), hitNormal(*hits[0]))
                              : CFitPoint(P, Vector(s.t, 0.0)));
        } else if (hit) {
            points.append(CFitPoint(hitPosition(*hits[0]), Vector(s.t, 0.0), hitNormal(*hits[0])));
        } else {
            // Dropping the sample would move the others along the new
            // curve, so that it no longer passes where the curve's own
            // points were.
            points.append(CFitPoint(P, Vector(s.t, 0.0)));
        }
    }
    hits.removeAll(true, true);
    if (hitCount < 2)
        return nullptr;
    IndexSubset<CFitPoint> all(points);
    all.selectAll();
    Fenwo::NurbsSurf* result = interpolateCurve(all, 1, curve->uKnots->p, false, false);
    // The interpolation leaves each point's parameter on the new curve.
    if (result != nullptr)
        for (int h = 0; h < heldCount; ++h)
            (*held)[std::size_t(h)].t = points[sampleOf[std::size_t(h)]].uv[0];
    return result;
}
