// Picking on the grid: the pick radius from the view, the mesh and grid
// point under a pick ray, selecting a grid point and the current poly-line,
// hovering over grid points and poly-line curves, and the marker of the
// point on a segment.

#include "display/OpenGLPoint.h"
#include "display/ViewProjection.h"
#include "geometry/ParametricGeometry.h"
#include "mesh/GridPoint.h"
#include "mesh/MeshGeometry.h"
#include "mesh/MeshProjection.h"
#include "net/OffsetGrid.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace {

// The pick radius is this fraction of the view's world width.
constexpr double kViewWidthsPerPickRadius = 75.0;
// A poly-line's curve is looked for within this many pick radii of a ray.
constexpr double kCurvePickReach = 15.0;
// Below this |n . d| the ray runs along the last hit's tangent plane.
constexpr double kParallelRay = 1e-8;

CVertex<float, 3> toVertex(const Vector& p)
{
    return CVertex<float, 3>(float(p[0]), float(p[1]), float(p[2]));
}

// Copies a grid point's record (as much of it as v carries) into out.
void copyPointRecord(const CVertex<float, 3>& v, Gridbench::CGridPoint& out)
{
    out.set(v.data);
    if (const auto* hit = dynamic_cast<const Mesh::CBaseMesh::CBaseHitInfo*>(&v)) {
        out.facet = hit->facet;
        out.distance = hit->distance;
        out.normal = hit->normal;
    }
    if (const auto* g = dynamic_cast<const Gridbench::CGridPoint*>(&v))
        out.lastValue = g->lastValue;
}

// The guess of the mesh point under the ray from the last hit: where the
// mesh meets its normal through the ray's point on the last hit's tangent
// plane. That lies off the ray by as much as the mesh bends away from the
// plane, pixels off the cursor after a long move over a curved mesh. The
// ray's own hit nearest the guess lies on the same sheet, under the cursor,
// and replaces it; one farther from the guess than the move reaches (plus
// slack) is another sheet, or the ray meets none: the guess stays.
void moveGuessOntoRay(Mesh::CBaseMesh* mesh, const CVertex<float, 3>& origin,
                      const CVector<float, 3>& direction, const CVertex<float, 3>& lastHit,
                      double slack, Mesh::CBaseMesh::CBaseHitInfo& guess)
{
    Mesh::HitSet along;
    if (!mesh->hit(origin, direction, along, true, false, false, nullptr, 0.0))
        return;
    const Mesh::CBaseMesh::CBaseHitInfo* best = nullptr;
    double bestDistance = pointDistance(guess, lastHit) + slack;
    for (int i = 0; i < along.count; ++i) {
        const double d = pointDistance(*along[i], guess);
        if (d <= bestDistance) {
            bestDistance = d;
            best = along[i];
        }
    }
    if (best != nullptr)
        guess = *best;
}

} // namespace

bool COffset_Grid::pickMeshAlongRay(Mesh::CBaseMesh* mesh, const CVertex<float, 3>& origin,
                                    const CVector<float, 3>& direction,
                                    Mesh::CBaseMesh::CBaseHitInfo& out, int mode, bool nearest,
                                    bool retry, int& count)
{
    count = 0;
    if (mesh == nullptr)
        return false;
    Mesh::HitSet hits;
    if (!mesh->hit(origin, direction, hits, mode != 0, retry, false, nullptr, 0.0) ||
        hits.count == 0)
        return false;
    count = hits.count;
    int best = 0;
    if (nearest)
        for (int i = 1; i < hits.count; ++i)
            if (hits[i]->distance < hits[best]->distance)
                best = i;
    out = *hits[best];
    return true;
}

bool COffset_Grid::pickPoint(const CVertex<float, 3>& origin, const CVector<float, 3>& direction,
                             Gridbench::CGridPoint& out, bool allowMesh, bool meshOnly,
                             bool nearest)
{
    const double width = pixelSize();
    if (width > 0.0)
        pickRadius = width / kViewWidthsPerPickRadius;
    if (meshOnly)
        allowMesh = true;

    bool meshHit = false;
    Mesh::CBaseMesh::CBaseHitInfo hit;
    if (mesh != nullptr) {
        // While dragging over the mesh the surface near the last hit is the
        // better guess than the first facet along the ray.
        if (lastMouseHit != nullptr) {
            const CVertex<float, 3>& n = lastMouseHit->normal;
            const double dn = dot(direction, n);
            if (std::fabs(dn) >= kParallelRay) {
                const double t = dot(*lastMouseHit - origin, n) / dn;
                CVertex<float, 3> q(origin);
                addScaled(q, t, direction);
                Mesh::HitSet near;
                if (meshHitsNearPoint(mesh, q, near, 1.2, false) && near.count > 0) {
                    hit = *near[0];
                    meshHit = true;
                    moveGuessOntoRay(mesh, origin, direction, *lastMouseHit, pickRadius, hit);
                }
            }
        }
        int count = 0;
        if (!meshHit)
            meshHit = pickMeshAlongRay(mesh, origin, direction, hit, 1, nearest, false, count);
    }

    if (!meshOnly) {
        const CVertex<float, 3>* winner = nullptr;
        float best = FLT_MAX;
        for (COffset_PointList* pl : pointLists)
            for (CVertex<float, 3>* v : pl->vertices) {
                const float d = meshHit ? pointDistance(*v, hit)
                                        : std::sqrt(pointLineDistance2(*v, origin, direction));
                if (d < best) {
                    best = d;
                    winner = v;
                }
            }
        if (winner != nullptr && best <= pickRadius) {
            copyPointRecord(*winner, out);
            std::copy(winner->data, winner->data + 3, lastPickPosition);
            return true;
        }
    }
    if (!allowMesh || !meshHit)
        return false;
    static_cast<Mesh::CBaseMesh::CBaseHitInfo&>(out) = hit;
    std::copy(hit.data, hit.data + 3, lastPickPosition);
    return true;
}

bool COffset_Grid::selectPointAt(const CVertex<float, 3>& origin,
                                 const CVector<float, 3>& direction)
{
    clearHighlightPoint();
    Gridbench::CGridPoint hit;
    if (!pickPoint(origin, direction, hit, false, false, false) || currentPointList == nullptr)
        return false;
    COffset_PointList* pl = nullptr;
    CVertex<float, 3>* found = findNearestVertex(hit, pickRadius, &pl, false, nullptr);
    if (found == nullptr)
        return false;
    if (!currentPointList->contains(found))
        setCurrentPointList(pl);
    highlightPoint(found);
    return true;
}

bool COffset_Grid::hoverPick(const CVertex<float, 3>& point, const CVector<float, 3>& direction,
                             COffset_PointList*& pl, CVertex<float, 3>*& gridPoint)
{
    pl = nullptr;
    gridPoint = nullptr;
    COffset_PointList* list = nullptr;
    CVertex<float, 3>* beyond = nullptr;
    CVertex<float, 3>* taken = findNearestVertex(point, pickRadius, &list, true, &beyond);
    // A grid point seen right behind the cursor counts although the scene
    // point lies farther from it (on another sheet along the line of
    // sight), and is the point to snap to as well.
    bool seenBehind = false;
    if (taken == nullptr && beyond != nullptr &&
        distanceToLine(beyond, &point, &direction) < pickRadius) {
        taken = beyond;
        seenBehind = true;
    }
    if (taken != nullptr) {
        pl = list;
        gridPoint = taken;
        if (seenBehind || pointDistance(*taken, point) < pickRadius)
            setSelectedPointOnSegment(list, *taken, taken);
        return true;
    }
    pl = findPointListNear(point, direction, true, true);
    if (pl == nullptr)
        return false;
    const CVertex<float, 3> onCurve = toVertex(pl->getCurve()->getPoint(pl->pickedParameter, 0.0));
    if (!(pointDistance(onCurve, point) < pickRadius))
        return false;
    setSelectedPointOnSegment(pl, onCurve, nullptr);
    return true;
}

COffset_PointList* COffset_Grid::findPointListNear(const CVertex<float, 3>& origin,
                                                   const CVector<float, 3>& direction,
                                                   bool withinRadius, bool skipCurrent)
{
    COffset_PointList* best = nullptr;
    double bestDistance = FLT_MAX;
    for (COffset_PointList* pl : pointLists) {
        CParametricGeometry* curve = pl->getCurve();
        if (curve == nullptr || (skipCurrent && pl == currentPointList))
            continue;
        // A cheap test first: the ray must pass the curve's box closely.
        const CBox<float, 3>& box = curve->getCachedBoundingBox();
        if (box.isEmpty())
            continue;
        const CVertex<float, 3> centre = lerp(0.5, box.min, box.max);
        if (!(pointLineDistance2(centre, origin, direction) <
              3.0f * squaredPointDistance(box.min, box.max)))
            continue;
        double d = FLT_MAX;
        if (!pl->pickCurveAlongRay(origin, direction, pickRadius * kCurvePickReach, d))
            continue;
        if (withinRadius && !(d < pickRadius))
            continue;
        if (d < bestDistance) {
            bestDistance = d;
            best = pl;
        }
    }
    return best;
}

bool COffset_Grid::pickPointListAt(const CVertex<float, 3>& origin,
                                   const CVector<float, 3>& direction)
{
    if (busy || mesh == nullptr || !editAllowed)
        return false;
    COffset_PointList* pl = findPointListNear(origin, direction, false, false);
    if (pl == nullptr)
        return false;
    setCurrentPointList(pl);
    clearHighlightPoint();
    notify();
    return true;
}

void COffset_Grid::setSelectedPointOnSegment(COffset_PointList* pl, const CVertex<float, 3>& point,
                                             CVertex<float, 3>* gridPoint)
{
    displayContainer.removeEntityByName("SelectedPointOnSegment");
    grabbedPoint = gridPoint;
    segmentList = pl;
    if (gridPoint == selectedPoint)
        return;
    float c[4];
    std::copy(colours[PointOnSegmentColour], colours[PointOnSegmentColour] + 4, c);
    if (gridPoint != nullptr)
        c[2] = 1.0f; // a grid point to snap to looks different from a curve point
    displayContainer.addEntity(new COpenGLPoint("SelectedPointOnSegment",
                                                gridPoint != nullptr ? *gridPoint : point, c[0],
                                                c[1], c[2], c[3], 1, pointSize + 2, -1),
                               true);
}
