// Hit selection of the surface fitting: samples of a surface paired with
// mesh hits along the surface normal.
#include "fitting/HitSelection.h"

#include "curves/Projections.h"
#include "fitting/FitMeshHits.h"
#include "foundation/Progress.h"
#include "foundation/VertexList.h"
#include "geometry/NurbsSurf.h"
#include "mesh/BaseMesh.h"
#include "mesh/MeshGeometry.h"
#include "mesh/MeshProjection.h"
#include "mesh/VertexSampling.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <vector>

namespace {

using Mesh::CBaseMesh;
using Mesh::HitSet;

// The rows of a facet's points at the most (a facet 100 spacings long).
constexpr int kMaxFacetDivisions = 100;

// +1 when the hit's facet normal and n make a non-negative dot product.
int orientationSign(const CBaseMesh::CBaseHitInfo& hit, const Vector& n)
{
    return facetNormalDot(hit, n) >= 0.0 ? 1 : -1;
}

// The fit point of a chosen hit for sample (i, j) at (u, v) with point P.
CFitPoint fitPointOfHit(const CBaseMesh::CBaseHitInfo& hit, const Vector& P, double u, double v,
                        int i, int j)
{
    CFitPoint fp(hitPosition(hit), Vector(u, v), hitNormal(hit));
    fp.dist2 = squaredDistance(fp.Point, P);
    fp.kind = hit.flag;
    fp.gridI = i;
    fp.gridJ = j;
    fp.facet = hit.facet;
    return fp;
}

// The cascade of hit attempts of one sample at P with unit normal N; true
// when the hit set is not empty afterwards.
bool sampleHits(CBaseMesh* mesh, const Vector& P, const Vector& N, HitSet& hits, bool snapToHits,
                bool nearestFallback, double rayTolerance, const CFitPointArray& fitPoints, int i,
                int j)
{
    const CBaseMesh::Point p = toMeshPoint(P);
    const CBaseMesh::Direction d = toMeshDirection(N);
    if (Mesh::meshHitsAlongDirection(mesh, p, d, hits, 0.6, false))
        return true;
    if (mesh->hit(p, d, hits, true, true, false, nullptr, rayTolerance))
        return true;
    if (snapToHits && mesh->hit(p, d, hits, true, nearestFallback, false, nullptr, 0.0))
        return true;
    int q = -1;
    if (findPreviousNeighbourHit(fitPoints, i, j, q)) {
        // Start the ray level with the neighbour's hit, on the normal line.
        const Vector Pq = P + dot(fitPoints[q].Point - P, N) * N;
        if (mesh->hit(toMeshPoint(Pq), d, hits, true, nearestFallback, false, nullptr, 0.0))
            return true;
    }
    return false;
}

// Second stage of a sample whose hits all face the wrong way: a plain ray,
// then the first hit facing like a previous neighbour's facet. Null when
// nothing qualifies.
const CBaseMesh::CBaseHitInfo* secondStageHit(CBaseMesh* mesh, const Vector& P, const Vector& N,
                                              HitSet& hits, const CFitPointArray& fitPoints, int i,
                                              int j)
{
    mesh->hit(toMeshPoint(P), toMeshDirection(N), hits, true, false, false, nullptr, 0.0);
    int q = -1;
    if (hits.count > 0 && findPreviousNeighbourHit(fitPoints, i, j, q)) {
        for (int k = 0; k < hits.count; ++k)
            if (facetNormalDot(*hits[k], fitPoints[q].Normal) > 0.0)
                return hits[k];
    }
    return nullptr;
}

// The Greville abscissae of both knot vectors; false for a null surface or
// one without knots.
bool grevilleSamples(const Fenwo::NurbsSurf* surface, Vector& us, Vector& vs)
{
    if (surface == nullptr || surface->uKnots == nullptr || surface->vKnots == nullptr)
        return false;
    surface->uKnots->getGrevilleAbscissae(us);
    surface->vKnots->getGrevilleAbscissae(vs);
    return true;
}

} // namespace

bool findPreviousNeighbourHit(const CFitPointArray& fitPoints, int i, int j, int& index)
{
    index = -1;
    const int candidates[4][2] = {{i, j - 1}, {i - 1, j + 1}, {i - 1, j}, {i - 1, j - 1}};
    for (int k = 0; k < fitPoints.count && index < 0; ++k) {
        const CFitPoint& fp = fitPoints[k];
        for (const auto& c : candidates)
            if (fp.gridI == c[0] && fp.gridJ == c[1]) {
                index = k;
                break;
            }
    }
    return index != -1;
}

int selectHitsSecondStage(Fenwo::NurbsSurf* surface, Mesh::CBaseMesh* mesh,
                          CFitPointArray& fitPoints, bool controlPointMode, bool peakCorrection,
                          bool snapToHits, bool consistentOrientation, CProgress* progress,
                          double rayTolerance, double minCosine, bool* orientationFlag,
                          bool nearestFallback)
{
    Vector us, vs;
    if (mesh == nullptr || !grevilleSamples(surface, us, vs))
        return 0;
    if (controlPointMode) {
        us.resize(std::min(us.n, surface->getUCount()));
        vs.resize(std::min(vs.n, surface->getVCount()));
    } else {
        us = refineValues(us, 3);
        vs = refineValues(vs, 3);
    }
    if (progress != nullptr)
        progress->begin(1, us.n * vs.n);

    const int first = fitPoints.count;
    int sign = 0; // orientation fixed by the first sample with hits
    HitSet hits;
    Vector P(3), N(3);
    for (int i = 0; i < us.n; ++i) {
        for (int j = 0; j < vs.n; ++j) {
            if (progress != nullptr) {
                progress->step(1);
                if (progress->isCancelled())
                    return 0;
            }
            double u = us[i], v = vs[j];
            if (controlPointMode) {
                surface->getControlPoint(i, j, P);
                projectPointOnSurface(surface, P, u, v);
            } else {
                surface->evaluatePoint(P, u, v);
            }
            surface->getRawNormal(N, u, v);
            if (norm(N) < 0.9)
                continue;
            if (!sampleHits(mesh, P, N, hits, snapToHits, nearestFallback, rayTolerance, fitPoints,
                            i, j))
                continue; // missed
            const CBaseMesh::CBaseHitInfo* chosen = hits[0];
            if (consistentOrientation) {
                if (sign == 0)
                    sign = orientationSign(*hits[0], N);
                chosen = nullptr;
                for (int k = 0; k < hits.count && chosen == nullptr; ++k)
                    if (orientationSign(*hits[k], N) == sign)
                        chosen = hits[k];
                if (chosen == nullptr) {
                    std::cout << " no suitable hit found." << std::endl;
                    chosen = secondStageHit(mesh, P, N, hits, fitPoints, i, j);
                    if (chosen == nullptr) {
                        std::cout << "selection on second stage: no success." << std::endl;
                        continue;
                    }
                }
            }
            if (minCosine >= 0.0 && std::fabs(cosineBetween(N, hitNormal(*chosen))) < minCosine)
                continue;
            fitPoints.append(fitPointOfHit(*chosen, P, u, v, i, j));
        }
    }
    hits.removeAll(true, true);

    const int count = fitPoints.count - first;
    if (orientationFlag != nullptr) {
        int against = 0;
        for (int k = first; k < fitPoints.count; ++k) {
            CFitPoint& fp = fitPoints[k];
            if (fp.Normal.n < 3)
                continue;
            surface->getRawNormal(N, fp.uv[0], fp.uv[1]);
            if (dot(fp.Normal, N) < 0.0)
                ++against;
        }
        *orientationFlag = against > count / 2;
    } else if (controlPointMode && count > 0) {
        double sum = 0.0;
        for (int k = first; k < fitPoints.count; ++k)
            sum += fitPoints[k].dist2;
        const double sigma = count > 1 ? std::sqrt(sum / (count - 1)) : 0.0;
        const double radius = 4.5 * sigma;
        for (int k = first; k < fitPoints.count; ++k) {
            CFitPoint& fp = fitPoints[k];
            if (fp.gridI < 0 || fp.gridJ < 0)
                continue;
            if (snapToHits) {
                surface->setControlPointPosition(fp.gridI, fp.gridJ, fp.Point);
            } else if (std::sqrt(fp.dist2) > radius) {
                surface->getControlPoint(fp.gridI, fp.gridJ, P);
                const Vector dir = normalized(fp.Point - P);
                fp.Point = P + radius * dir;
            }
        }
        if (peakCorrection) {
            const int p = std::max({surface->uKnots->p, surface->vKnots->p, 3});
            // Each gap is measured on the surface as the corrections before
            // it in the array left it.
            for (int k = first; k < fitPoints.count; ++k) {
                CFitPoint& fp = fitPoints[k];
                if (fp.kind == 1 || fp.gridI < 0 || fp.gridJ < 0 || fp.Normal.n < 3)
                    continue;
                surface->evaluatePoint(P, fp.uv[0], fp.uv[1]);
                const Vector n = normalized(fp.Normal);
                const double B = (1.0 - surface->uKnots->getBasisMaximum(fp.gridI, nullptr)) *
                                 (1.0 - surface->vKnots->getBasisMaximum(fp.gridJ, nullptr));
                const double f = std::sqrt(std::sqrt(3.0) * 1.2 * (p - 2) * std::max(0.0, 1.0 - B));
                const Vector d = (f * dot(fp.Point - P, n)) * n;
                surface->getControlPoint(fp.gridI, fp.gridJ, P);
                surface->setControlPointPosition(fp.gridI, fp.gridJ, P + d);
            }
        }
    }
    for (int k = first; k < fitPoints.count; ++k)
        fitPoints[k].Normal.resize(0, true);
    return fitPoints.count;
}

bool selectHitsAndUpdate(Fenwo::NurbsSurf* surface, Mesh::CBaseMesh* mesh)
{
    if (mesh == nullptr)
        return false;
    CFitPointArray fitPoints;
    bool against = false;
    selectHitsSecondStage(surface, mesh, fitPoints, true, false, false, false, nullptr, 0.0, -1.0,
                          &against, false);
    if (against && surface != nullptr)
        surface->invertDirection(0);
    return true;
}

int selectPolygonHits(Fenwo::NurbsSurf* surface, Mesh::CBaseMesh* mesh, CFitPointArray& fitPoints,
                      bool sameSide, int refinement, const CVertexList* polygon,
                      Kor::List<int>* facets, bool addVertices, int thinningLevel)
{
    Vector us, vs;
    if (mesh == nullptr || !grevilleSamples(surface, us, vs))
        return 0;
    if (refinement > 0) {
        us = refineValues(us, refinement);
        vs = refineValues(vs, refinement);
    }
    CProgress* progress = mesh->progress;
    if (progress != nullptr)
        progress->begin(0, us.n * vs.n);
    const int wanted = sameSide ? 1 : -1;
    std::vector<int> hitFacets;
    HitSet hits;
    Vector P(3), N(3);
    CVertex<double, 3> uvPoint;
    bool cancelled = false;
    for (int i = 0; i < us.n && !cancelled; ++i) {
        for (int j = 0; j < vs.n; ++j) {
            if (progress != nullptr) {
                progress->step(1);
                if (progress->isCancelled()) {
                    cancelled = true;
                    break;
                }
            }
            const double u = us[i], v = vs[j];
            if (polygon != nullptr) {
                uvPoint[0] = u;
                uvPoint[1] = v;
                uvPoint[2] = 0.0;
                if (!polygon->isInside(uvPoint, false))
                    continue;
            }
            surface->evaluatePoint(P, u, v);
            surface->getRawNormal(N, u, v);
            if (norm(N) < 0.9)
                continue;
            const CBaseMesh::Point p = toMeshPoint(P);
            const CBaseMesh::Direction d = toMeshDirection(N);
            if (!Mesh::meshHitsAlongDirection(mesh, p, d, hits, 0.6, false) &&
                !mesh->hit(p, d, hits, true, false, false, nullptr, 0.0))
                continue;
            for (int k = 0; k < hits.count; ++k) {
                if (orientationSign(*hits[k], N) != wanted)
                    continue;
                CFitPoint fp = fitPointOfHit(*hits[k], P, u, v, -1, -1);
                fp.Normal.resize(0, true);
                fitPoints.append(fp);
                hitFacets.push_back(hits[k]->facet);
                break;
            }
        }
    }
    hits.removeAll(true, true);

    if (addVertices && !hitFacets.empty()) {
        std::sort(hitFacets.begin(), hitFacets.end());
        hitFacets.erase(std::unique(hitFacets.begin(), hitFacets.end()), hitFacets.end());
        Kor::List<int> facetList;
        for (int f : hitFacets)
            if (f >= 0) {
                facetList.append(f);
                if (facets != nullptr)
                    facets->append(f);
            }
        Kor::List<int> vertices;
        collectFacetVertices(mesh, facetList, vertices);
        if (thinningLevel > 3 && vertices.count > 1) {
            const int shift = std::min(thinningLevel - 3, 30);
            const int target = std::max(1, vertices.count >> shift);
            Kor::List<int> thinned;
            sampleVerticesByHash(mesh, vertices, target, thinned);
            vertices.removeAll();
            for (int k = 0; k < thinned.count; ++k)
                vertices.append(thinned[k]);
        }
        std::cout << "polNums.getCard() = " << facetList.count
                  << " vNums.getCard() = " << vertices.count << std::endl;
        fitPoints.count = 0;
        float xyz[3];
        for (int k = 0; k < vertices.count; ++k)
            if (mesh->getVertex(vertices[k], xyz))
                fitPoints.append(CFitPoint(Vector(xyz, 3), Vector(0.0, 0.0)));
    }
    return fitPoints.count;
}

int appendFacetPoints(Mesh::CBaseMesh* mesh, int facet, double spacing, double coarse,
                      CFitPointArray& out, const double* low, const double* high)
{
    if (mesh == nullptr || !(spacing > 0.0))
        return 0;
    const int before = out.count;
    Mesh::CPolyTriangulator fan(mesh, facet);
    CVertex<float, 3> a, b, c;
    while (fan.next(a, b, c)) {
        const double length =
            std::max({pointDistance(a, b), pointDistance(b, c), pointDistance(c, a)});
        if (!(length > 2.0 * spacing) || !(length > coarse))
            continue;
        const double divisions = std::ceil(length / spacing);
        if (!std::isfinite(divisions))
            continue;
        // Every point (i a + j b + k c) / n with i + j + k = n but the
        // corners. A side two triangles share (of two facets, or a fanned
        // polygon's diagonal) gives its points twice where both divide it
        // alike: they weigh twice, as the facets on either side do.
        const int n = int(std::min(divisions, double(kMaxFacetDivisions)));
        for (int i = 0; i <= n; ++i)
            for (int j = 0; i + j <= n; ++j) {
                const int k = n - i - j;
                if (i == n || j == n || k == n)
                    continue;
                double xyz[3];
                bool inside = true;
                for (int d = 0; d < 3; ++d) {
                    xyz[d] =
                        (i * double(a.data[d]) + j * double(b.data[d]) + k * double(c.data[d])) / n;
                    if (low != nullptr && high != nullptr)
                        inside = inside && xyz[d] >= low[d] && xyz[d] <= high[d];
                }
                if (!inside)
                    continue;
                CFitPoint fp(Vector(xyz[0], xyz[1], xyz[2]), Vector(0.0, 0.0));
                fp.facet = facet;
                out.append(fp);
            }
    }
    return out.count - before;
}
