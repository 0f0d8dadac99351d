// Parameter (uv) curve of a space curve on a NURBS surface.

#include "curves/ParameterCurve.h"

#include "curves/ArcLength.h"
#include "curves/CurveInterpolation.h"
#include "curves/CurveOperations.h"
#include "curves/PolylineToNurbs.h"
#include "curves/Projections.h"
#include "curves/StartValues.h"
#include "curves/SubCurves.h"
#include "foundation/PointSequence.h"
#include "geometry/NurbsSurf.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>
#include <vector>

using Fenwo::NurbsSurf;

namespace {

// The least thinning tolerance of the uv points, as a share of the
// surface's larger parameter span.
constexpr double kThinningFloorShare = 5e-6;

Vector uvPoint(double u, double v)
{
    return Vector(u, v, 0.0);
}

// Interpolates the thinned points of `pts` (all of them).
NurbsSurf* interpolateThinned(CFitPointArray& pts, double tol2, int degree, bool closed)
{
    if (pts.getCount() < 2)
        return nullptr;
    Kor::List<int> keep;
    thinPolylineIndices(pts, tol2, keep, false);
    IndexSubset<CFitPoint> sel(pts, keep.getCount());
    for (int k : keep)
        sel.append(k);
    return interpolateCurve(sel, 2, degree, true, closed);
}

} // namespace

int thinPolylineIndices(const IndexSubset<CFitPoint>& selection, double tol, Kor::List<int>& out,
                        bool closed)
{
    out.clear();
    const int n = selection.getCount();
    if (n < 2)
        return 0;
    std::vector<const double*> rows(n);
    std::vector<double> coords(3 * static_cast<size_t>(n), 0.0);
    for (int i = 0; i < n; ++i) {
        const Vector& P = selection[i].Point;
        for (int d = 0; d < std::min(P.n, 3); ++d)
            coords[3 * i + d] = P[d];
        rows[i] = &coords[3 * i];
    }
    std::vector<int> keep(n);
    const int m = simplifyPolyline(rows.data(), n, keep.data(), tol, closed, true);
    if (!closed)
        out.append(0);
    for (int k = 0; k < m; ++k)
        if (out.getCount() == 0 || out[out.getCount() - 1] != keep[k])
            out.append(keep[k]);
    if (out.getCount() == 1 && out[0] != n - 1)
        out.append(n - 1);
    return out.getCount();
}

int thinPolylineIndices(Kor::Array<CFitPoint>& points, double tol, Kor::List<int>& out, bool closed)
{
    IndexSubset<CFitPoint> all(points);
    all.selectAll();
    return thinPolylineIndices(all, tol, out, closed);
}

NurbsSurf* approximateControlPolygon(NurbsSurf* P, double tol, int degree)
{
    if (P == nullptr || P->uKnots == nullptr)
        return nullptr;
    const int count = P->getUCount();
    CFitPointArray pts;
    Vector xyz;
    for (int i = 0; i < count; ++i) {
        P->getControlPoint(i, 0, xyz);
        Vector p3(0.0, 0.0, 0.0);
        for (int d = 0; d < std::min(xyz.n, 3); ++d)
            p3[d] = xyz[d];
        Vector uv(2);
        uv[0] = static_cast<double>(i) / std::max(count - 1, 1);
        uv[1] = 0.0;
        pts.append(CFitPoint(p3, uv));
    }
    const bool cyclic = P->uKnots->endCondition == knots::CyclicEnd;
    return polyLineToNurbs(pts, cyclic, tol, degree, true);
}

NurbsSurf* fitUVPointsAcrossSeams(NurbsSurf* surface, bool closed,
                                  const IndexSubset<CFitPoint>& selection, bool wrap, double tol2,
                                  int degree)
{
    const int n = selection.getCount();
    if (surface == nullptr || n < 2)
        return nullptr;
    knots* kn[2] = {surface->uKnots, surface->vKnots};
    std::vector<double> c[2] = {std::vector<double>(n), std::vector<double>(n)};
    for (int i = 0; i < n; ++i) {
        const Vector& uv = selection[i].uv;
        if (uv.n < 2)
            return nullptr;
        for (int d = 0; d < 2; ++d) {
            c[d][i] = uv[d];
            if (wrap && kn[d] != nullptr)
                kn[d]->clampToRange(c[d][i]);
        }
    }
    bool periodic[2] = {false, false};
    double lo[2] = {0.0, 0.0}, period[2] = {0.0, 0.0};
    for (int d = 0; d < 2; ++d) {
        periodic[d] = wrap && kn[d] != nullptr && kn[d]->endCondition == knots::CyclicEnd;
        const Interval D = surface->getDomain(d);
        lo[d] = D.min;
        period[d] = D.max - D.min;
        periodic[d] = periodic[d] && period[d] > 0.0;
    }

    CFitPointArray pts;
    if (!periodic[0] && !periodic[1]) {
        for (int i = 0; i < n; ++i)
            pts.append(CFitPoint(uvPoint(c[0][i], c[1][i])));
        return interpolateThinned(pts, tol2, degree, closed);
    }

    // Seam crossings: a step of more than 0.8 of a period. A closed sequence
    // includes the step from its last point back to its first one.
    const int steps = closed ? n : n - 1;
    int primary = -1, crossing = -1, sign = 0;
    for (int d = 0; d < 2 && primary < 0; ++d) {
        if (!periodic[d])
            continue;
        for (int i = 0; i < steps; ++i) {
            const double delta = c[d][(i + 1) % n] - c[d][i];
            if (std::fabs(delta) > 0.8 * period[d]) {
                primary = d;
                crossing = i;
                sign = delta > 0.0 ? 1 : -1;
                break;
            }
        }
    }
    // An open sequence starts where it starts; a closed one right after its
    // first crossing, so that this crossing becomes the step from the last
    // point back to the first.
    const int start = (closed && primary >= 0) ? (crossing + 1) % n : 0;
    std::vector<double> w[2] = {std::vector<double>(n), std::vector<double>(n)};
    double offset[2] = {0.0, 0.0};
    for (int k = 0; k < n; ++k) {
        const int i = (start + k) % n;
        for (int d = 0; d < 2; ++d) {
            if (k > 0 && periodic[d]) {
                const double delta = c[d][i] - c[d][(i + n - 1) % n];
                if (std::fabs(delta) > 0.8 * period[d])
                    offset[d] += delta > 0.0 ? -period[d] : period[d];
            }
            w[d][k] = c[d][i] + offset[d];
        }
    }
    if (!closed || primary < 0) {
        // Nothing to cut: the continuous sequence is fitted as it is.
        for (int k = 0; k < n; ++k)
            pts.append(CFitPoint(uvPoint(w[0][k], w[1][k])));
        return interpolateThinned(pts, tol2, closed ? degree : 2, closed && primary < 0);
    }
    if (sign != 1 && sign != -1) {
        std::cout << "unknown cross-sign, return nothing." << std::endl;
        return nullptr;
    }
    const int p = primary, o = 1 - primary;
    // The crossing runs from the last point to the first: jumping up it
    // leaves the domain at its lower end, so the sequence starts at the
    // upper end, and the other way round.
    const double seamStart = sign > 0 ? lo[p] + period[p] : lo[p];
    const double seamEnd = seamStart + offset[p] - sign * period[p];
    // The other coordinate of both seam points: the mean of the two points
    // across the seam, each taken in the frame of the end it is added to.
    const double across = 0.5 * (w[o][0] + w[o][n - 1] - offset[o]);
    const bool snapStart = std::fabs(w[p][0] - seamStart) < 1e-6;
    const bool snapEnd = std::fabs(w[p][n - 1] - seamEnd) < 1e-6;
    if (snapStart)
        w[p][0] = seamStart;
    if (snapEnd)
        w[p][n - 1] = seamEnd;
    auto seamPoint = [&](double periodicValue, double other) {
        double uv[2];
        uv[p] = periodicValue;
        uv[o] = other;
        return CFitPoint(uvPoint(uv[0], uv[1]));
    };
    if (!snapStart)
        pts.append(seamPoint(seamStart, across));
    for (int k = 0; k < n; ++k)
        pts.append(CFitPoint(uvPoint(w[0][k], w[1][k])));
    if (!snapEnd)
        pts.append(seamPoint(seamEnd, across + offset[o]));
    return interpolateThinned(pts, tol2, 2, false);
}

NurbsSurf* buildPCurve(CParametricGeometry* curve, NurbsSurf* surface, bool interpolate, int degree,
                       double tol, double accuracy)
{
    if (curve == nullptr || surface == nullptr)
        return nullptr;
    if (!(accuracy > 0.0))
        accuracy = kDefaultPCurveAccuracy;
    // Samples: facet parameters, or equal arc-length steps when the curve is
    // straight enough to facet into its two ends.
    const double L = sampledCurveLength(curve, 20, false);
    Kor::List<double> params;
    curve->facetCurve(params, accuracy, false, 10000, false, false, 0.01 * L);
    if (params.getCount() == 2) {
        const double length = curve->getLength();
        const double scaled = std::isfinite(length) ? std::min(5.0 * length, 1e4) : 0.0;
        const int n = std::max(static_cast<int>(scaled), 5);
        params.clear();
        arcLengthParameters(curve, n, params, 10000);
    }
    if (params.getCount() < 2)
        return nullptr;
    const bool closed = curve->isClosed();

    CFitPointArray points;
    for (double t : params) {
        Vector uv(2);
        uv[0] = t;
        uv[1] = 0.0;
        points.append(CFitPoint(curve->getPoint(t, 0.0), uv));
    }
    // A closed curve's last sample repeats its first; the closed fits close
    // the curve themselves, and a doubled point would leave a span of zero
    // length.
    if (closed && points.getCount() > 3 &&
        norm(points[points.getCount() - 1].Point - points[0].Point) <= 0.005 * L)
        removeAt(points, points.getCount() - 1);

    double u = 0.0, v = 0.0;
    startParametersOnSurface(surface, u, v, points[0].Point, 10);
    for (CFitPoint& fp : points) {
        projectPointOnSurface(surface, fp.Point, u, v);
        fp.uv[0] = u;
        fp.uv[1] = v;
    }
    IndexSubset<CFitPoint> all(points);
    all.selectAll();
    // The thinning keeps at least a small share of the parameter domain: a
    // domain in arc length is as large as the surface, so the share follows
    // the model's size where a fixed value would not.
    const double span = std::max(surface->getDomain(0).getLength(), surface->getDomain(1).getLength());
    const double tol2 = std::max(0.25 * uvToleranceAlongPoints(surface, all, accuracy),
                                 kThinningFloorShare * (span > 0.0 ? span : 1.0));

    NurbsSurf* result = fitUVPointsAcrossSeams(surface, closed, all, true, tol2, degree);
    if (result == nullptr) {
        for (CFitPoint& fp : points)
            fp.Point = uvPoint(fp.uv[0], fp.uv[1]);
        if (interpolate)
            result = interpolateCurve(all, 2, degree, true, closed);
        if (result == nullptr) {
            std::unique_ptr<NurbsSurf> polyline(polylineOfAllFitPoints(points, closed));
            result = approximateControlPolygon(polyline.get(), tol, degree);
        }
        if (result == nullptr)
            return nullptr;
    }

    // A cyclic result starts at the first sample.
    if (result->uKnots != nullptr && result->uKnots->endCondition == knots::CyclicEnd &&
        points.getCount() > 0) {
        const Vector first = uvPoint(points[0].uv[0], points[0].uv[1]);
        double t = result->getUMin();
        float dist = projectPointOnCurve(result, first, t);
        if (dist > 0.001f) {
            t = result->getUMax();
            dist = projectPointOnCurve(result, first, t);
        }
        if (dist >= 0.0f)
            result->updateCyclicKnotList(t, false);
    }
    return result;
}

NurbsSurf* euclideanToPCurve(CParametricGeometry* curve, CParametricGeometry* surface, int degree,
                             double tol, double accuracy)
{
    NurbsSurf* nurbs = dynamic_cast<NurbsSurf*>(surface);
    if (nurbs == nullptr) {
        std::cout << "Euclidian to PCurve must fail on Non-Nurbs-Surfaces, sorry" << std::endl;
        return nullptr;
    }
    return buildPCurve(curve, nurbs, false, degree, tol, accuracy);
}
