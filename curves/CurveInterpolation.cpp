#include "curves/CurveInterpolation.h"

#include "curves/Projections.h"
#include "curves/StartValues.h"
#include "curves/SubCurves.h"
#include "foundation/Logging.h"
#include "foundation/Vector.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "geometry/PointParameters.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <iostream>
#include <memory>
#include <vector>

namespace {

// Parameterisation mode that keeps the parameters stored in the points.
constexpr int kKeepParameters = 5;
// Iteration limit of the parameter refinement on the base curve.
constexpr int kInversionIterations = 30;

// The first three coordinates of a fit point, missing ones 0.
Vector coordinatesOf(const CFitPoint& fp)
{
    Vector xyz(3);
    for (int d = 0; d < 3 && d < fp.Point.n; ++d)
        xyz[d] = fp.Point[d];
    return xyz;
}

void setParameter(CFitPoint& fp, double t)
{
    if (fp.uv.n < 2)
        fp.uv.resize(2);
    fp.uv[0] = t;
}

// Curve on k whose control points are the selected points (weight 1.0).
std::unique_ptr<Fenwo::NurbsSurf> controlPolygonCurve(const knots& k,
                                                      const IndexSubset<CFitPoint>& points)
{
    auto curve = std::make_unique<Fenwo::NurbsSurf>(k);
    const int count = std::min(curve->getUCount(), points.count);
    for (int i = 0; i < count; ++i)
        curve->setControlPoint(i, 0, coordinatesOf(points[i]), 1.0);
    return curve;
}

// Moves the parameters onto the closest points of the base curve. A closed
// curve is walked around from the first point so that every point finds the
// branch of the loop that follows its predecessor, not the nearest one.
void improveParametersOnBase(const knots& k, IndexSubset<CFitPoint>& points, bool closed)
{
    std::unique_ptr<Fenwo::NurbsSurf> base = controlPolygonCurve(k, points);
    if (closed) {
        double t = base->getUMin();
        startParameterOnCurve(*base, coordinatesOf(points[0]), t);
        setParameter(points[0], t);
        for (int i = 0; i < points.count; ++i) {
            projectPointOnCurve(base.get(), coordinatesOf(points[i]), t);
            setParameter(points[i], t);
        }
    }
    base->PointInversion(points, kInversionIterations);
    if (isLoggingEnabled()) {
        std::ofstream dump;
        if (openLogStream(dump, "c:/tmp/basecurve.out")) {
            dump.precision(16);
            base->write(dump);
            dump << std::endl;
        }
    }
}

// The unsound knot vector: tell which points were involved, keep their
// poly-line for inspection, and give no curve.
void reportEmergency(const IndexSubset<CFitPoint>& points)
{
    const int n = points.count;
    std::cout << "emergency case in Interpolation of " << n << " points encountered." << std::endl;
    const int shown = std::min(n, 5);
    for (int i = 0; i < shown; ++i)
        std::cout << "mp=" << points[i].Point << std::endl;
    for (int i = 0; i < shown; ++i)
        std::cout << "mp=" << points[n - 1 - i].Point << std::endl;
    std::unique_ptr<Fenwo::NurbsSurf> polyline(polylineOfFitPoints(points, false));
    if (polyline != nullptr && isLoggingEnabled()) {
        std::ofstream dump;
        if (openLogStream(dump, "c:/tmp/ipolfail.out")) {
            dump.precision(16);
            polyline->write(dump);
            dump << std::endl;
        }
    }
}

// interpolateWithKnots through xyz[i] * scale at the parameter of the i-th
// selected point; the caller owns the new curve, null when the solve fails.
std::unique_ptr<Fenwo::NurbsSurf> solveScaled(const knots& k, const IndexSubset<CFitPoint>& points,
                                              const std::vector<Vector>& xyz, double scale)
{
    CFitPointArray work;
    work.setCapacity(points.count);
    for (int i = 0; i < points.count; ++i) {
        Vector q = xyz[i];
        q *= scale;
        work.append(CFitPoint(q, points[i].uv));
    }
    IndexSubset<CFitPoint> all(work);
    all.selectAll();
    return std::unique_ptr<Fenwo::NurbsSurf>(interpolateWithKnots(k, all));
}

// The collocation solve of interpolateWithKnots stops and judges its
// residual by absolute thresholds. Solving on points of unit size and then
// once more on the remaining deviations (also brought to unit size) keeps
// the result independent of the model's scale and lets the curve pass
// through its points to rounding precision. Interpolation is affine
// invariant, so the curve is the same as the one on the raw points.
Fenwo::NurbsSurf* interpolateOnUnitScale(const knots& k, const IndexSubset<CFitPoint>& points)
{
    const int n = points.count;
    const std::array<Vector, 2> box = boundingBox(points);
    Vector centre = box[0] + box[1];
    centre *= 0.5;
    double size = 0.0;
    for (int d = 0; d < 3; ++d)
        size = std::max(size, box[1][d] - box[0][d]);
    if (!(size > 0.0) || !std::isfinite(size))
        return interpolateWithKnots(k, points);

    std::vector<Vector> local(n);
    for (int i = 0; i < n; ++i)
        local[i] = coordinatesOf(points[i]) - centre;
    std::unique_ptr<Fenwo::NurbsSurf> curve = solveScaled(k, points, local, 1.0 / size);
    if (curve == nullptr)
        return nullptr;

    std::vector<Vector> deviation(n);
    double largest = 0.0;
    for (int i = 0; i < n; ++i) {
        Vector target = local[i];
        target *= 1.0 / size;
        deviation[i] = target - curve->getPoint(points[i].uv[0], 0.0);
        for (int d = 0; d < 3; ++d)
            largest = std::max(largest, std::fabs(deviation[i][d]));
    }
    if (largest > 0.0 && std::isfinite(largest)) {
        std::unique_ptr<Fenwo::NurbsSurf> correction =
            solveScaled(k, points, deviation, 1.0 / largest);
        if (correction != nullptr) {
            for (int i = 0; i < curve->getUCount(); ++i) {
                Vector a, b;
                curve->getControlPoint(i, 0, a);
                correction->getControlPoint(i, 0, b);
                a.addScaled(largest, b);
                curve->setControlPoint(i, 0, a, 1.0);
            }
        }
    }
    for (int i = 0; i < curve->getUCount(); ++i) {
        Vector a;
        curve->getControlPoint(i, 0, a);
        a *= size;
        a += centre;
        curve->setControlPoint(i, 0, a, 1.0);
    }
    return curve.release();
}

} // namespace

Fenwo::NurbsSurf* interpolateCurve(IndexSubset<CFitPoint>& points, int mode, int degree,
                                   bool improveOnBase, bool closed)
{
    const int n = points.count;
    if (n < 2 || points.array == nullptr)
        return nullptr;
    const int p = std::max(std::min(degree, n - 1), 1);
    const bool keepParameters = mode == kKeepParameters;

    // Parameters of the n points, continued by those of the p points that
    // follow the seam of a closed sequence.
    std::vector<double> u(n + (closed ? p : 0));
    if (keepParameters) {
        for (int i = 0; i < n; ++i) {
            if (points[i].uv.n < 1)
                return nullptr;
            u[i] = points[i].uv[0];
        }
        // The caller's parameters describe one period: the points after the
        // seam continue it by its length.
        if (closed)
            for (int k = 0; k < p; ++k)
                u[n + k] = u[k] + (1.0 - u[0]);
    } else {
        // A closed sequence is parameterised with its first p points repeated
        // at the end, so that the parameters run on across the seam.
        if (closed)
            for (int k = 0; k < p; ++k)
                points.append(points.array->append(points[k]));
        parameterizePoints(points, 1.0, mode, 3);
        for (int i = 0; i < points.count; ++i)
            u[i] = points[i].uv[0];
        if (closed) {
            for (int k = 0; k < p; ++k) {
                removeAt(*points.array, points.indices[points.count - 1]);
                points.removeAt(points.count - 1);
            }
        }
    }

    // Knot averages of p consecutive parameters.
    const int m = static_cast<int>(u.size()) - p + 1;
    std::vector<double> avg(m);
    for (int j = 0; j < m; ++j) {
        double sum = 0.0;
        for (int k = 0; k < p; ++k)
            sum += u[j + k];
        avg[j] = sum / p;
    }
    avg[0] = u[0];
    avg[m - 1] = 1.0;
    // Averages out of order or not finite (parameters outside [0, 1] or
    // descending) would give knots the span search cannot handle.
    bool ordered = true;
    for (int j = 0; j < m; ++j)
        if (!std::isfinite(avg[j]) || (j > 0 && avg[j] < avg[j - 1]))
            ordered = false;

    if (!ordered) {
        reportEmergency(points);
        return nullptr;
    }

    const knots::EndCondition end = closed ? knots::CyclicEnd : knots::ClampedEnd;
    knots k(n - 1, p, avg[0], avg[m - 1], end, knots::NonUniform);
    if (closed) {
        // One period: positions 0 and 1 at the start, one knot per point, and
        // the period's end, from which the cyclic tail is continued.
        k.setDistinctKnot(0, 2, avg[0]);
        for (int j = 1; j <= n; ++j)
            k.setDistinctKnot(j, 1, avg[j]);
    } else {
        k.setDistinctKnot(0, p + 1, avg[0]);
        for (int j = 1; j <= m - 2; ++j)
            k.setDistinctKnot(j, 1, avg[j]);
        k.setDistinctKnot(m - 1, p + 1, avg[m - 1]);
    }
    k.checkHealth(1);
    if (!k.isHealthy || k.getControlPointCount() != n) {
        reportEmergency(points);
        return nullptr;
    }

    if (p == 1)
        return controlPolygonCurve(k, points).release();

    if (improveOnBase)
        improveParametersOnBase(k, points, closed);
    return interpolateOnUnitScale(k, points);
}
