#include "curves/CurveApproximation.h"

#include "curves/EdgeFitting.h"
#include "curves/PolylineToNurbs.h"
#include "curves/Projections.h"
#include "curves/SubCurves.h"
#include "foundation/FitPoint.h"
#include "foundation/Progress.h"
#include "geometry/NurbsSurf.h"

#include <algorithm>
#include <iostream>
#include <memory>

using Fenwo::NurbsSurf;

namespace {

bool isPolyline(CParametricGeometry* curve)
{
    const NurbsSurf* nurbs = asNurbsSurf(curve);
    return nurbs != nullptr && nurbs->isCurve() && nurbs->uKnots != nullptr &&
           nurbs->uKnots->p == 1;
}

CFitPoint fitPointAt(CParametricGeometry* curve, double t, bool withTangent)
{
    Vector uv(2);
    uv[0] = t;
    CFitPoint fp(curve->getPoint(t, 0.0), uv);
    if (withTangent) {
        Vector tangent = curve->getTangent(t);
        if (norm(tangent) > 1e-6)
            fp.Tangent = tangent;
    }
    return fp;
}

void collectFitPoints(CParametricGeometry* curve, double tol, int n, bool tangents, bool closed,
                      CFitPointArray& points)
{
    if (isPolyline(curve)) {
        NurbsSurf* polyline = asNurbsSurf(curve);
        Vector xyz;
        for (int i = 0; i < polyline->getUCount(); ++i) {
            polyline->getControlPoint(i, 0, xyz);
            Vector uv(2);
            uv[0] = polyline->uKnots->getGrevilleAbscissa(i);
            points.append(CFitPoint(xyz, uv));
        }
        return;
    }
    Kor::List<double> params;
    curve->facetCurve(params, 0.75 * tol, false, 2000, false, false, -1.0);
    const int parts = std::max(n, 1);
    for (int k = 1; k < params.count; ++k) {
        const double a = std::min(params[k - 1], params[k]);
        const double b = std::max(params[k - 1], params[k]);
        for (int j = 0; j < parts; ++j) {
            const double s = double(j) / parts;
            points.append(fitPointAt(curve, (1.0 - s) * a + s * b, tangents));
        }
    }
    if (!closed && params.count > 0)
        points.append(fitPointAt(curve, params[params.count - 1], tangents));
}

// The piece of c between the feet of the curve's end points.
NurbsSurf* cutToCurveEnds(NurbsSurf* c, CParametricGeometry* curve)
{
    double ts = c->getUMin(), te = c->getUMax();
    projectPointOnCurve(c, curve->getStartPoint(), ts);
    projectPointOnCurve(c, curve->getEndPoint(), te);
    return getSubCurve(c, ts, te);
}

} // namespace

NurbsSurf* approximateCurve(CParametricGeometry* curve, double tol,
                            const CurveApproximationSettings& settings, bool* failed,
                            CProgress* progress)
{
    if (progress != nullptr) {
        progress->reset(0);
        progress->begin(0, 2);
    }
    if (curve == nullptr)
        return nullptr;
    const int n = settings.samplesPerInterval;
    const bool closed = curve->isClosed();
    CFitPointArray points;
    collectFitPoints(curve, tol, n, settings.tangents, closed, points);

    std::unique_ptr<NurbsSurf> c;
    for (int pass = 0; pass < 2; ++pass) {
        const double passTol = pass == 0 ? tol : tol / 5.0;
        const double f = std::clamp(passTol / 15.0, 0.0, 0.5);
        c.reset(polyLineToNurbs(points, closed, f, n, true));
        if (progress != nullptr)
            progress->step(1);
        if (!settings.refine || c == nullptr)
            break;
        if (c->uKnots->p == 1 && (c->vKnots == nullptr || c->vKnots->p <= 1) && n > 1)
            for (int k = 1; k < n; ++k)
                elevateCurveDegree(c.get(), 0);
        NurbsSurf* edge = c.get();
        // A fit within the tolerance goes on to the finer pass all the same:
        // the fit points are approximated again at a fifth of the tolerance,
        // which leaves the result more room below the tolerance.
        if (tearToCurves(edge, *curve, passTol, nullptr, true, true, settings.reparametrize,
                         settings.fixEnds, false, 2500))
            continue;
        if (!c->checkTurningAngles()) {
            if (failed != nullptr)
                *failed = true;
            const bool cyclic = c->uKnots->endCondition == knots::CyclicEnd;
            if (!cyclic && !settings.fixEnds) {
                NurbsSurf* piece = cutToCurveEnds(c.get(), curve);
                if (piece != nullptr)
                    c.reset(piece);
            }
            break;
        }
    }
    return c.release();
}

NurbsSurf* approximateCurveWithLengthCheck(CParametricGeometry* curve, double tol,
                                           const CurveApproximationSettings& settings,
                                           bool checkLength, bool* failed, CProgress* progress)
{
    if (failed != nullptr)
        *failed = false;
    if (curve == nullptr)
        return nullptr;
    const double L0 = curve->getLength();
    std::unique_ptr<NurbsSurf> c(approximateCurve(curve, tol, settings, failed, progress));
    if (!checkLength || c == nullptr)
        return c.release();
    auto lengthMatches = [L0](double L) { return L >= 0.85 * L0 && L <= 1.15 * L0; };
    const double L1 = c->getLength();
    if (lengthMatches(L1))
        return c.release();
    std::cout << "Length of Curves do not match. " << L0 << ' ' << L1 << std::endl;
    c.reset(approximateCurve(curve, tol / 5.0, settings, failed, progress));
    if (c == nullptr)
        return nullptr;
    const double L2 = c->getLength();
    if (lengthMatches(L2))
        return c.release();
    std::cout << " lNew not Reached at second stage, returning NULL lNew=" << L2
              << " current l=" << L0 << std::endl;
    return nullptr;
}
