#include "curves/StartValues.h"

#include "curves/BoundaryCurves.h"
#include "curves/CurveOnSurface.h"
#include "geometry/FitHelpers.h"
#include "geometry/NurbsSurf.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <memory>

namespace {

// The first three entries of p, missing ones 0.
Vector firstThree(const Vector& p)
{
    Vector q(3);
    for (int k = 0; k < 3 && k < p.n; ++k)
        q[k] = p[k];
    return q;
}

// Nearest segment of the poly-line through the curve points at params.
bool nearestFacetParameter(CParametricGeometry& curve, const Kor::List<double>& params,
                           const Vector& p, double& t)
{
    const Vector x = firstThree(p);
    double best = FLT_MAX;
    bool found = false;
    Vector a = firstThree(curve.getPoint(params.count > 0 ? params[0] : 0.0, 0.0));
    for (int k = 1; k < params.count; ++k) {
        const Vector b = firstThree(curve.getPoint(params[k], 0.0));
        double s = -1.0;
        const double d = pointSegmentDistance(a.data, b.data, x.data, 3, &s);
        if (d < best) {
            best = d;
            found = true;
            t = (s >= 0.0 && s <= 1.0) ? (1.0 - s) * params[k - 1] + s * params[k]
                                       : 0.5 * (params[k - 1] + params[k]);
        }
        a = b;
    }
    return found;
}

} // namespace

bool startParameterOnCurve(CParametricGeometry& curve, const Vector& p, double& t)
{
    const double tol = std::min(1.0, 0.01 * curve.getLength());
    Kor::List<double> params;
    curve.facetCurve(params, tol, false, 2000, false, false, -1.0);
    if (params.count == 2)
        curve.facetCurve(params, tol, true, 2000, false, false, -1.0);
    if (params.count < 2) {
        // The curve's own side line over its domain: its facet parameters
        // map back onto the curve through the u of the uv line.
        std::unique_ptr<CCONS> fallback(boundaryCCONS(&curve, 1));
        if (fallback == nullptr)
            return false;
        fallback->facetCurve(params, tol, false, 2000, false, false, -1.0);
        for (double& s : params)
            s = fallback->getUVPoint(s)[0];
    }
    return nearestFacetParameter(curve, params, p, t);
}

bool startParametersOnSurface(CParametricGeometry* surface, double& u, double& v, const Vector& p,
                              int n)
{
    auto* nurbs = dynamic_cast<Fenwo::NurbsSurf*>(surface);
    if (nurbs == nullptr)
        return startParametersByBisection(surface, u, v, p, n);
    if (n < 1)
        return false;
    const Interval U = nurbs->getDomain(0), V = nurbs->getDomain(1);
    const Vector x = firstThree(p);
    CFitPointArray grid;
    grid.setCapacity((n + 1) * (n + 1));
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            Vector uv(2);
            uv[0] = (1.0 - double(i) / n) * U.min + (double(i) / n) * U.max;
            uv[1] = (1.0 - double(j) / n) * V.min + (double(j) / n) * V.max;
            grid.append(CFitPoint(x, uv));
        }
    IndexSubset<CFitPoint> all(grid);
    all.selectAll();
    nurbs->PointInversion(all, 20);
    int best = 0;
    for (int k = 1; k < grid.count; ++k)
        if (grid[k].dist2 < grid[best].dist2)
            best = k;
    u = grid[best].uv[0];
    v = grid[best].uv[1];
    return true;
}

bool startParametersByBisection(CParametricGeometry* surface, double& u, double& v, const Vector& p,
                                int n)
{
    if (surface == nullptr)
        return false;
    const Interval U = surface->getDomain(0), V = surface->getDomain(1);
    double ulo = U.min, uhi = U.max, vlo = V.min, vhi = V.max;
    double bestDistance = DBL_MAX;
    double bu = 0.5 * ulo + 0.5 * uhi, bv = 0.5 * vlo + 0.5 * vhi;
    int cu = 0, cv = 0;
    const Vector x = firstThree(p);
    for (int pass = 0; pass <= n; ++pass) {
        const double corners[4][2] = {{ulo, vlo}, {uhi, vlo}, {uhi, vhi}, {ulo, vhi}};
        const int flags[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        for (int c = 0; c < 4; ++c) {
            const double d = std::sqrt(
                squaredDistance(firstThree(surface->getPoint(corners[c][0], corners[c][1])), x));
            if (d < bestDistance) {
                bestDistance = d;
                bu = corners[c][0];
                bv = corners[c][1];
                cu = flags[c][0];
                cv = flags[c][1];
            }
        }
        const double um = 0.5 * ulo + 0.5 * uhi, vm = 0.5 * vlo + 0.5 * vhi;
        (cu == 0 ? uhi : ulo) = um;
        (cv == 0 ? vhi : vlo) = vm;
    }
    u = bu;
    v = bv;
    return true;
}

double uvDirectionScale(CParametricGeometry* surface, double u, double v, const Vector& direction)
{
    Vector** D = surface->evaluate(1, u, v);
    if (D == nullptr)
        return 1e16;
    Vector d(2);
    for (int k = 0; k < 2 && k < direction.n; ++k)
        d[k] = direction[k];
    if (std::fabs(normSquared(d) - 1.0) > 1e-8)
        d.normalize();
    Vector step = d[0] * D[1][0];
    step.addScaled(d[1], D[0][1]);
    const double L = norm(step);
    return L < 1e-16 ? 1.0 / 1e-16 : 1.0 / L;
}

double uvToleranceAlongPoints(CParametricGeometry* surface, const IndexSubset<CFitPoint>& points,
                              double tol)
{
    if (surface == nullptr || points.count == 0)
        return -1.0;
    double smallest = -1.0;
    for (int k = 1; k < points.count; ++k) {
        const Vector& a = points[k - 1].uv;
        const Vector& b = points[k].uv;
        if (a.n < 2 || b.n < 2)
            continue;
        Vector d(2);
        d[0] = a[0] - b[0];
        d[1] = a[1] - b[1];
        if (!(normSquared(d) > 0.0))
            continue;
        const double scale = uvDirectionScale(surface, b[0], b[1], d);
        if (smallest < 0.0 || scale < smallest)
            smallest = scale;
    }
    return smallest < 0.0 ? -1.0 : smallest * tol;
}
