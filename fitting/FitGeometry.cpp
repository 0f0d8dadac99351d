// Geometric and numeric helpers of the surface fitting.
#include "fitting/FitGeometry.h"

#include "curves/PlaneFit.h"
#include "foundation/FitPoint.h"
#include "geometry/NurbsSurf.h"

#include <algorithm>
#include <cmath>

int spanCountForAngle(double turn)
{
    if (!(turn > 5.0))
        return 1;
    if (turn < 20.0)
        return 2;
    if (turn < 35.0)
        return 3;
    if (turn < 60.0)
        return 4;
    if (turn < 100.0)
        return 5;
    if (turn < 150.0)
        return 6;
    if (turn < 220.0)
        return 8;
    return 9;
}

int uSpanCount(const Fenwo::NurbsSurf* surface)
{
    if (surface == nullptr || surface->uKnots == nullptr)
        return 0;
    Vector breaks;
    surface->uKnots->getBreakpoints(breaks, 1);
    return breaks.n - 1 + (surface->uKnots->endCondition == knots::CyclicEnd ? 1 : 0);
}

Fenwo::NurbsSurf* extrudeCurve(const Fenwo::NurbsSurf* curve, Vector dir, Interval range)
{
    if (curve == nullptr || curve->uKnots == nullptr)
        return nullptr;
    const double lo = range.min, hi = range.max;
    const knots v(1, 1, 0.0, std::max(std::fabs(hi - lo), 1e-6), knots::ClampedEnd, knots::Uniform);
    auto* s = new Fenwo::NurbsSurf(*curve->uKnots, &v);
    Vector P(3);
    double w = 1.0;
    for (int i = 0; i < curve->getUCount(); ++i) {
        curve->getControlPointAndWeight(P, i, 0, w);
        s->setControlPoint(i, 0, P + hi * dir, w);
        s->setControlPoint(i, 1, P + lo * dir, w);
    }
    return s;
}

void wrapParameter(double& x, double lo, double hi)
{
    const double r = std::fmod(x - lo, hi - lo);
    if (std::fabs(r) < 1e-8)
        x = lo;
    else
        x = x >= lo ? lo + r : hi + r;
}

bool fitPlaneToVectors(const Kor::List<Vector>& points, Vector& centroid, Vector& normal)
{
    CFitPointArray records;
    for (int k = 0; k < points.count; ++k)
        records.append(CFitPoint(points[k]));
    const bool found = fitPlane(records, centroid, normal);
    if (points.count == 0)
        centroid = Vector(3);
    return found;
}

void normalizedDerivative(const Vector& v, const Vector& dv, double len, Vector& out)
{
    out = dv / len - (dot(v, dv) / (len * len * len)) * v;
}

double curvature(const Vector& d1, const Vector& d2)
{
    const double l = norm(d1);
    if (l <= 0.0)
        return 0.0;
    return norm(crossProduct(d1, d2)) / (l * l * l);
}

CSegment::CSegment(const Vector& a, const Vector& b) : start(a), direction(b - a)
{
    const double l2 = normSquared(direction);
    length = l2 > 0.0 ? std::sqrt(l2) : 0.0;
    angle = std::atan2(direction.n > 1 ? direction[1] : 0.0, direction.n > 0 ? direction[0] : 0.0);
}

int getVLastIndex(const Fenwo::NurbsSurf* surface)
{
    return surface != nullptr && surface->vKnots != nullptr ? surface->vKnots->n : 0;
}
