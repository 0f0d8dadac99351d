// Fit points from boundary and interior curves.
#include "fitting/BoundaryFitPoints.h"

#include "curves/ArcLength.h"
#include "curves/PlaneFit.h"
#include "foundation/Plane.h"
#include "foundation/Statistic.h"
#include "geometry/ParametricGeometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// Facet parameters of the curve for the sampling tolerance s.
void facetParameters(CParametricGeometry* curve, double s, Kor::List<double>& t)
{
    curve->facetCurve(t, s, true, 2000, false, false, 20.0 * s);
}

struct CurveSample {
    Vector point{3};
    Vector derivative{3};
    Vector normal{3};
};

CurveSample sampleAt(CParametricGeometry* curve, double t)
{
    CurveSample c;
    curve->evaluateCurve(t, c.point.data, c.derivative.data, nullptr, c.normal.data);
    return c;
}

// The angle between a and b in degrees; a vector of norm at most 1e-8 has
// the cosine 0.
double degreesBetween(const Vector& a, const Vector& b)
{
    return std::acos(std::clamp(cosineBetween(a, b), -1.0, 1.0)) * 180.0 / std::numbers::pi;
}

void addToSubset(IndexSubset<CFitPoint>* subset, int index)
{
    if (subset != nullptr)
        subset->append(index);
}

} // namespace

bool sampleCurveFitPoints(CParametricGeometry* curve, CFitPointArray& points,
                          IndexSubset<CFitPoint>* subset, double s, CStatistic* statistic)
{
    if (curve == nullptr)
        return false;
    Kor::List<double> t;
    facetParameters(curve, s, t);
    const int n = t.count;
    if (!curve->hasNormal()) {
        // The end points belong to the neighbouring curves as well.
        for (int k = 1; k < n - 1; ++k)
            addToSubset(subset,
                        points.append(CFitPoint(curve->getPoint(t[k], 0.0), Vector(t[k], 0.0))));
        return n > 0;
    }
    Vector previous;
    for (int k = 0; k < n; ++k) {
        const CurveSample c = sampleAt(curve, t[k]);
        addToSubset(subset, points.append(CFitPoint(c.point, Vector(t[k], 0.0), c.normal)));
        if (statistic != nullptr && points.count > 1)
            statistic->add(std::fabs(dot(points[0].Normal, c.normal)));
        if (k >= 1) {
            const double d = std::sqrt(squaredDistance(c.point, previous));
            const double tm = 0.5 * (t[k - 1] + t[k]);
            const CurveSample m = sampleAt(curve, tm);
            const Vector side = normalized(crossProduct(m.normal, m.derivative));
            for (const double sign : {1.0, -1.0})
                addToSubset(subset,
                            points.append(CFitPoint(m.point + (sign * d) * side, Vector(tm, 0.0))));
        }
        previous = c.point;
    }
    return n > 0;
}

bool sampleBoundaryCurve(CParametricGeometry* curve, CFitPointArray& points,
                         IndexSubset<CFitPoint>& subset, double s, double tol, double angleDeg,
                         int continuity)
{
    if (curve == nullptr)
        return false;
    if (!curve->hasNormal())
        return sampleCurveFitPoints(curve, points, &subset, s, nullptr);
    Kor::List<double> t;
    facetParameters(curve, s, t);
    const int n = t.count;
    Kor::List<int> own;
    for (int k = 0; k < n; ++k) {
        const CurveSample c = sampleAt(curve, t[k]);
        CFitPoint p(c.point, Vector(t[k], 0.0), c.normal);
        p.Tangent = normalized(c.derivative);
        const int index = points.append(p);
        subset.append(index);
        own.append(index);
    }
    const double h = 2.0 * tol / std::atan(angleDeg * std::numbers::pi / 180.0) / 10.0;
    if (continuity > 0)
        for (int k = 0; k < n; ++k) {
            const int prev = std::max(k - 1, 0), next = std::min(k + 1, n - 1);
            const Vector along = normalized(points[own[prev]].Tangent + points[own[next]].Tangent);
            const Vector a = points[own[prev]].Normal;
            Vector b = points[own[next]].Normal;
            const Vector a1 = a - dot(a, along) * along;
            Vector b1 = b - dot(b, along) * along;
            if (dot(a, b) < 0.0) {
                b = -b;
                b1 = -b1;
            }
            const double turn = degreesBetween(a, b);
            const double acrossTurn = degreesBetween(a1, b1);
            Vector dir = curve->getSideVector(t[k]);
            // Normals that turn about an axis across the curve (the surface
            // bends along it) tell the side direction better than the
            // curve's own side vector.
            if (turn > 0.05 && 0.75 * turn > acrossTurn) {
                dir = normalized(crossProduct(a, b));
                if (dot(dir, curve->getSideVector(t[next])) < 0.0)
                    dir = -dir;
            }
            const Vector P = points[own[k]].Point;
            points.append(CFitPoint(P - h * dir, Vector(0.0, 0.0)));
            points.append(CFitPoint(P + h * dir, Vector(0.0, 0.0)));
        }
    return n >= 2;
}

bool boundaryPlane(const Kor::List<CParametricGeometry*>& curves, CPlane& plane)
{
    CFitPointArray samples;
    for (int c = 0; c < curves.count; ++c) {
        if (curves[c] == nullptr)
            continue;
        Kor::List<double> t;
        sampleDomainUniform(curves[c], t, 20);
        for (int k = 0; k < t.count; ++k)
            samples.append(CFitPoint(curves[c]->getPoint(t[k], 0.0)));
    }
    fitPlane(samples, plane.point, plane.normal);
    return samples.count >= 3;
}
