#include "curves/CurveUtilities.h"

#include "curves/ArcLength.h"
#include "curves/CurveInterpolation.h"
#include "curves/CurveOperations.h"
#include "curves/IsoParametricCurve.h"
#include "foundation/IndexSubset.h"
#include "foundation/Statistic.h"
#include "geometry/FitHelpers.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>
#include <numbers>
#include <vector>

namespace {

constexpr double kLargestFloat = 3.4028234663852886e38;

double distance(const Vector& a, const Vector& b)
{
    return std::sqrt(squaredDistance(a, b));
}

// The meeting point of the line through a0 and a1 with the line through b0
// and b1 (the midpoint of their closest points), and its distance from p.
double meetingPoint(const Vector& a0, const Vector& a1, const Vector& b0, const Vector& b1,
                    const Vector& p, Vector& at)
{
    closestPointsOfAxes(CAxis(a0, a1 - a0), CAxis(b0, b1 - b0), nullptr, nullptr, at, nullptr);
    return distance(p, at);
}

void updateCandidates(CVInfo* r)
{
    const CVInfo* prev = r->previous;
    const CVInfo* next = r->next;
    r->firstDistance = meetingPoint(*prev->previous, *prev, *r, *next, *r, r->firstPosition);
    r->secondDistance = meetingPoint(*r, *prev, *next, *next->next, *r, r->secondPosition);
}

} // namespace

// ---- Parameter estimate ---------------------------------------------------------

CEstimateCurveParam::CEstimateCurveParam(CParametricGeometry* g, double tol) : curve(g)
{
    if (g == nullptr)
        return;
    parameters.removeAll();
    g->facetCurve(parameters, tol, true, 3000, false, false, 20.0 * tol);
    if (parameters.count == 0)
        tryIsoCurves(g, tol);
}

bool CEstimateCurveParam::tryIsoCurves(CParametricGeometry* g, double tol)
{
    if (g == nullptr)
        return false;
    std::cout << "trying pIso, uvSouth " << std::endl;
    auto* iso = new CIsoParametricCurve(g, g->getDomain(1).min, 3);
    if (ownsCurve)
        delete curve;
    curve = iso;
    ownsCurve = true;
    parameters.removeAll();
    iso->facetCurve(parameters, tol, true, 3000, false, false, 20.0 * tol);
    return true;
}

CEstimateCurveParam::~CEstimateCurveParam()
{
    if (ownsCurve)
        delete curve;
}

double CEstimateCurveParam::estimate(const Vector& p, bool segments)
{
    distance = kLargestFloat;
    double result = curve != nullptr ? curve->getDomain(0).min : 0.0;
    if (curve == nullptr || parameters.count == 0)
        return result;
    const Vector q(p.data, 3);
    double best = -1.0;
    if (!segments) {
        for (double t : parameters) {
            const double d2 = squaredDistance(q, curve->getPoint(t, 0.0));
            if (best < 0.0 || d2 < best) {
                best = d2;
                result = t;
            }
        }
    } else {
        Vector a = curve->getPoint(parameters[0], 0.0);
        for (int i = 1; i < parameters.count; ++i) {
            const Vector b = curve->getPoint(parameters[i], 0.0);
            double s = -1.0;
            const double d2 = pointSegmentDistance(a.data, b.data, q.data, 3, &s);
            if (s >= 0.0 && s <= 1.0 && (best < 0.0 || d2 < best)) {
                best = d2;
                result = (1.0 - s) * parameters[i - 1] + s * parameters[i];
            }
            a = b;
        }
    }
    if (best >= 0.0)
        distance = std::sqrt(best);
    return result;
}

// ---- Polygon simplification -----------------------------------------------------

Fenwo::NurbsSurf* buildCyclicPolyline(Fenwo::NurbsSurf* curve, int target)
{
    if (curve == nullptr || target < 3)
        return nullptr;
    const int n = curve->getUCount();
    if (n < 3)
        return nullptr;
    std::vector<std::unique_ptr<CVInfo>> records;
    Vector p(3);
    for (int i = 0; i < n; ++i) {
        curve->getControlPointXYZ(p, i, 0);
        records.push_back(std::make_unique<CVInfo>(Vector(p.data, 3)));
    }
    for (int i = 0; i < n; ++i) {
        records[i]->next = records[(i + 1) % n].get();
        records[i]->previous = records[(i + n - 1) % n].get();
    }
    for (auto& r : records)
        updateCandidates(r.get());

    CVInfo* head = records[0].get();
    for (int count = n; count > target; --count) {
        CVInfo* best = head;
        double bestDistance = std::min(head->firstDistance, head->secondDistance);
        for (CVInfo* r = head->next; r != head; r = r->next) {
            const double d = std::min(r->firstDistance, r->secondDistance);
            if (d < bestDistance) {
                best = r;
                bestDistance = d;
            }
        }
        const bool dropPrevious = best->firstDistance < best->secondDistance;
        static_cast<Vector&>(*best) = dropPrevious ? best->firstPosition : best->secondPosition;
        CVInfo* gone = dropPrevious ? best->previous : best->next;
        gone->previous->next = gone->next;
        gone->next->previous = gone->previous;
        updateCandidates(best);
        updateCandidates(best->previous);
        updateCandidates(best->next);
        head = best;
    }

    const int count = std::min(n, target);
    auto* polyline = new Fenwo::NurbsSurf(knots(count - 1, 1, 0.0, 1.0, knots::CyclicEnd));
    CVInfo* r = head;
    for (int i = 0; i < count; ++i, r = r->next)
        polyline->setControlPoint(i, 0, *r);
    return polyline;
}

// ---- Miter offset ---------------------------------------------------------------

bool adjustControlPointsAlongDifferences(Fenwo::NurbsSurf* curve, double distance)
{
    if (curve == nullptr)
        return false;
    const int n = curve->getUCount();
    std::vector<Vector> points(n, Vector(3));
    for (int i = 0; i < n; ++i)
        curve->getControlPoint(i, 0, points[i]);
    std::vector<Vector> moved(points);
    if (n >= 3) {
        Vector before = normalized(points[1] - points[0]);
        for (int i = 1; i + 1 < n; ++i) {
            const Vector after = normalized(points[i + 1] - points[i]);
            const Vector w = normalized(before - after);
            const double c = dot(before, w);
            const double s = std::max(std::sqrt(std::max(0.0, 1.0 - c * c)), 0.1);
            moved[i].addScaled(distance / s, w);
            before = after;
        }
    }
    for (int i = 1; i + 1 < n; ++i)
        curve->setControlPointPosition(i, 0, moved[i]);
    return true;
}

// ---- Tangent turning ------------------------------------------------------------

double totalTangentTurnAngle(CParametricGeometry* curve)
{
    Kor::List<double> params;
    if (!arcLengthParameters(curve, 10000, params, 10000) || params.count < 2)
        return 0.0;
    double sum = 0.0;
    Vector before = curve->getTangent(params[0]);
    for (int i = 1; i < params.count; ++i) {
        Vector after = curve->getTangent(params[i]);
        sum += std::acos(std::clamp(cosineBetween(before, after), -1.0, 1.0));
        before = std::move(after);
    }
    return sum * 180.0 / std::numbers::pi;
}

// ---- Bounding rectangle ---------------------------------------------------------

bool minAreaBoundingRectangle(const Kor::List<CVertex<float, 2>>& points,
                              Kor::List<CVertex<float, 2>>& corners, double& angle, double margin)
{
    angle = -1.0;
    if (points.count == 0)
        return false;
    double bestArea = 0.0, lo[2] = {}, hi[2] = {};
    for (int step = 0; step < 180; ++step) {
        const double a = 0.5 * step;
        const double c = std::cos(a * std::numbers::pi / 180.0);
        const double s = std::sin(a * std::numbers::pi / 180.0);
        double xmin = 0, xmax = 0, ymin = 0, ymax = 0;
        for (int i = 0; i < points.count; ++i) {
            const double x = points[i].data[0], y = points[i].data[1];
            const double X = x * c + y * s, Y = y * c - x * s;
            if (i == 0 || X < xmin)
                xmin = X;
            if (i == 0 || X > xmax)
                xmax = X;
            if (i == 0 || Y < ymin)
                ymin = Y;
            if (i == 0 || Y > ymax)
                ymax = Y;
        }
        const double area = std::fabs(xmax - xmin) * std::fabs(ymax - ymin);
        if (angle < 0.0 || area < bestArea) {
            bestArea = area;
            angle = a;
            lo[0] = xmin - margin;
            lo[1] = ymin - margin;
            hi[0] = xmax + margin;
            hi[1] = ymax + margin;
        }
    }
    const double xs[4] = {lo[0], hi[0], hi[0], lo[0]}, ys[4] = {lo[1], lo[1], hi[1], hi[1]};
    for (int k = 0; k < 4; ++k)
        corners.append(CVertex<float, 2>(static_cast<float>(xs[k]), static_cast<float>(ys[k])));
    return true;
}

// ---- Curvature ------------------------------------------------------------------

bool curvatureStatistics(CParametricGeometry* curve, double& length, double& maxRadius,
                         double& minRadius, double& minCurvature, double& maxCurvature)
{
    if (curve == nullptr)
        return false;
    const Interval d = curve->getDomain(0);
    length = curveLengthBetween(*curve, d.min, d.max);
    Vector base;
    if (dynamic_cast<Fenwo::NurbsSurf*>(curve) != nullptr) {
        Kor::List<double> breaks;
        curve->getUBreakpoints(breaks, true);
        base = Vector(breaks.data, breaks.count);
    } else {
        curve->getUSampleParameters(base);
    }
    const Vector params = refineValues(base, 15);
    CStatistic curvature;
    for (int i = 0; i < params.n; ++i) {
        Vector** D = curve->evaluate(2, params[i], 0.0);
        if (D == nullptr)
            continue;
        const double speed = norm(D[1][0]);
        const double k = norm(crossProduct(D[1][0], D[2][0])) / (speed * speed * speed);
        if (std::isfinite(k))
            curvature.add(k);
    }
    minCurvature = curvature.min;
    maxCurvature = curvature.max;
    maxRadius = 1.0 / std::max(minCurvature, 2.2e-16);
    minRadius = 1.0 / std::max(maxCurvature, 2.2e-16);
    return true;
}

// ---- Interpolation --------------------------------------------------------------

Fenwo::NurbsSurf* interpolatePoints(CFitPointArray& points, int mode, int degree,
                                    bool improveOnBase, bool closed)
{
    IndexSubset<CFitPoint> all(points);
    all.selectAll();
    return interpolateCurve(all, mode, degree, improveOnBase, closed);
}
