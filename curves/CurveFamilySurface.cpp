#include "curves/CurveFamilySurface.h"

#include "curves/SubCurves.h"
#include "geometry/FitHelpers.h"
#include "geometry/NurbsSurf.h"
#include "geometry/SparseMatrix.h"
#include "geometry/SparseSolvers.h"

#include <cmath>
#include <iostream>
#include <memory>

using Fenwo::NurbsSurf;

namespace {

// The four components of control point i of a curve as right-hand side
// entries: homogeneous for a rational family, Euclidean otherwise (so a curve
// of constant weight other than 1 keeps its shape). False for a point not set
// or, without rationality, of weight 0.
bool controlPointComponents(const NurbsSurf& curve, int i, bool rational, double out[4])
{
    const Vector& P = curve.getWrappedControlPoint(i, 0);
    if (P.n < 4)
        return false;
    if (rational) {
        for (int d = 0; d < 4; ++d)
            out[d] = P[d];
        return true;
    }
    const double w = P[3];
    if (w == 0.0 || !std::isfinite(w))
        return false;
    for (int d = 0; d < 3; ++d)
        out[d] = P[d] / w;
    out[3] = 1.0;
    return true;
}

} // namespace

NurbsSurf* fitRationalNurbsToPoints(const Kor::Array<NurbsSurf*>& curves, const Vector& vParameters,
                                    const knots& vKnots)
{
    const int m = curves.count;
    if (m <= 0 || vParameters.size() < m || !vKnots.isHealthy || vKnots.getControlPointCount() != m)
        return nullptr;
    const NurbsSurf* first = curves.data[0];
    if (first == nullptr || first->uKnots == nullptr)
        return nullptr;
    const int c = first->getUCount();
    bool rational = false;
    for (int k = 0; k < m; ++k) {
        const NurbsSurf* curve = curves.data[k];
        // Every curve fills c rows of the system: a differing count would
        // leave rows empty or read beyond a control net.
        if (curve == nullptr || !curve->valid || curve->uKnots == nullptr ||
            curve->getUCount() != c || curve->controlNetSize < c)
            return nullptr;
        if (curve->isRational())
            rational = true;
    }

    const int N = m * c;
    // Basis evaluation writes into the knot vector's work arrays.
    knots V(vKnots);
    const int q = V.p;
    SparseMatrix A(N, N);
    Vector b[4] = {Vector(N), Vector(N), Vector(N), Vector(N)};
    for (int k = 0; k < m; ++k) {
        double t = vParameters[k];
        V.clampToRange(t);
        const int s = V.clampToKnots(t);
        const Vector& Nj = V.basisFunctions(s, t);
        for (int i = 0; i < c; ++i) {
            double P[4];
            if (!controlPointComponents(*curves.data[k], i, rational, P))
                return nullptr;
            const int r = k * c + i;
            A[r].reserve(q + 1);
            for (int j = 0; j <= q; ++j)
                A[r].append((((s - q + j) % m + m) % m) * c + i, Nj[j]);
            for (int d = 0; d < 4; ++d)
                b[d][r] = P[d];
        }
    }

    // The curves' own control points are close to the surface's rows, so
    // they are the start of every solve.
    Vector x[4] = {b[0], b[1], b[2], b[3]};
    if (!rational)
        x[3].fill(1.0);
    const char* names[4] = {
        "resx too large:", "resy too large:", "resz too large:", "resw too large:"};
    const int solved = rational ? 4 : 3;
    for (int d = 0; d < solved; ++d) {
        const double f = sparseLScg(&A, &b[d], &x[d], N, 0, 0.0, 0, nullptr);
        if (!(f <= 1.0)) {
            std::cout << names[d] << f << std::endl;
            return nullptr;
        }
    }

    auto surface = std::make_unique<NurbsSurf>(*first->uKnots, &vKnots);
    if (surface->getUCount() != c || surface->getVCount() != m)
        return nullptr;
    for (int k = 0; k < m; ++k)
        for (int i = 0; i < c; ++i) {
            const int r = k * c + i;
            Vector P(4);
            P[0] = x[0][r];
            P[1] = x[1][r];
            P[2] = x[2][r];
            P[3] = rational ? x[3][r] : 1.0;
            surface->setHomogeneousControlPoint(i, k, P);
        }
    surface->rational = rational;
    return surface.release();
}

NurbsSurf* newtonCurveThroughPoints(IndexSubset<CFitPoint>& points, int degree)
{
    const int count = points.getCount();
    if (count < 2 || degree < 1)
        return nullptr;
    // The parameters become the knots, so they must ascend; a descending pair
    // would give a knot vector out of order that no repair sets right.
    for (int i = 0; i < count; ++i) {
        const CFitPoint& fp = points[i];
        if (fp.Point.size() < 3 || fp.uv.size() < 1 || !std::isfinite(fp.uv[0]))
            return nullptr;
        if (i > 0 && fp.uv[0] < points[i - 1].uv[0])
            return nullptr;
    }
    const double lo = points[0].uv[0];
    const double hi = points[count - 1].uv[0];
    if (!(hi > lo))
        return nullptr;

    const int p = degree;
    knots k(count + p - 2, p, lo, hi, knots::ClampedEnd, knots::Uniform);
    if (!k.isHealthy)
        return nullptr;
    for (int i = 0; i < count; ++i)
        k.setKnotValue(i + p, points[i].uv[0]);
    if (!k.checkHealth(1))
        return nullptr;

    std::unique_ptr<NurbsSurf> polyline(polylineOfFitPoints(points, false));
    if (!polyline)
        return nullptr;
    auto curve = std::make_unique<NurbsSurf>(k);
    const int n = curve->uKnots->n;
    if (n < 1)
        return nullptr;

    for (int i = 0; i < count; ++i) {
        CFitPoint& fp = points[i];
        fp.group = fp.Normal.size() == 3 ? 2 : 1;
    }

    const Interval domain = polyline->getDomain(0);
    Vector P;
    for (int i = 0; i <= n; ++i) {
        const double a = static_cast<double>(i) / n;
        polyline->evaluatePoint(P, (1.0 - a) * domain.min + a * domain.max, 0.0);
        curve->setControlPoint(i, 0, P, 1.0);
    }
    polyline.reset();

    curve->addFixedPointConstraint(0, 0);
    curve->addFixedPointConstraint(n, 0);

    // The neighbours of the ends start near the end legs. With fewer than
    // three control points there is no inner point: index 1 or n - 1 would
    // be a fixed end.
    if (n >= 2) {
        const Vector P0(points[0].Point.data, 3);
        const Vector P1(points[1].Point.data, 3);
        Vector inner1;
        Vector innerLast;
        if (count > 2) {
            const Vector Pa(points[count - 2].Point.data, 3);
            const Vector Pb(points[count - 1].Point.data, 3);
            lerp(inner1, P0, P1, 0.6);
            lerp(innerLast, Pa, Pb, 0.4);
        } else {
            lerp(inner1, P0, P1, 0.3);
            lerp(innerLast, P0, P1, 0.7);
        }
        curve->setControlPointPosition(1, 0, inner1);
        curve->setControlPointPosition(n - 1, 0, innerLast);
    }

    curve->PointInversion(points, 10);
    curve->newtonApproximation(points, 0, 5, false, true, 1, nullptr, 10.0, 0.0, -1.0);
    return curve.release();
}
