// Curve fitting helpers of the surface fitting.
#include "fitting/CurveFitting.h"

#include "curves/ArcLength.h"
#include "curves/CurveLoops.h"
#include "curves/CurveOperations.h"
#include "fitting/FitGeometry.h"
#include "foundation/FitPoint.h"
#include "geometry/FitHelpers.h"
#include "geometry/IJConstraints.h"
#include "geometry/NurbsSurf.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

Fenwo::NurbsSurf* fitCurveToPoints(CParametricGeometry* c, int n, bool bezier)
{
    if (c == nullptr || n < 1)
        return nullptr;
    Kor::List<double> params;
    if (!equalArcLengthParameters(c, n, params) || params.count < 2)
        return nullptr;
    // Extra parameters in the first and last step hold the end tangents.
    params.insertAfter(0.5 * (params[0] + params[1]), 0);
    params.insertAfter(0.5 * (params[params.count - 2] + params[params.count - 1]),
                       params.count - 2);
    const int m = params.count - 1;
    const knots k(m, bezier ? m : std::min(m, 4), 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    auto curve = std::make_unique<Fenwo::NurbsSurf>(k);
    for (int i = 0; i <= m; ++i) {
        const Vector P = c->getPoint(params[i], 0.0);
        const Vector T = c->getTangent(params[i]);
        curve->setControlPoint(i, 0, P);
        const auto kind =
            i == 0 || i == m ? Fenwo::SingleCpKind::fixed : Fenwo::SingleCpKind::inPlane;
        curve->addConstraint(new Fenwo::CIJSingleConstraint(*curve, i, 0, P, T, kind));
    }

    sampleDomainUniform(c, params, 5 * m);
    CFitPointArray points;
    for (int i = 0; i < params.count; ++i)
        points.append(CFitPoint(c->getPoint(params[i], 0.0), Vector(0.0, 0.0)));
    IndexSubset<CFitPoint> all(points);
    all.selectAll();
    curve->invertPoints(all, m, 1, false);
    all.selectAll();
    curve->PointInversion(all, 10);
    curve->buildSparseSystem();
    curve->newtonApproximation(all, 0, 5, false, true, 1, nullptr, 1.0, 0.0, -1.0);
    curve->invalidateFitState();
    return curve.release();
}

double maxTangentTurnAngle(CParametricGeometry* c, int n)
{
    Kor::List<double> params;
    if (c == nullptr || n < 1 || !equalArcLengthParameters(c, n, params))
        return 0.0;
    std::vector<Vector> tangents;
    for (int i = 0; i < params.count; ++i)
        tangents.push_back(c->getTangent(params[i]));
    double largest = 0.0;
    for (size_t a = 0; a < tangents.size(); ++a)
        for (size_t b = a + 1; b < tangents.size(); ++b)
            largest = std::max(largest, angleBetween(tangents[a], tangents[b]));
    return largest * 180.0 / std::numbers::pi;
}

bool fitCompatibleCurves(CParametricGeometry* a, CParametricGeometry* b, Fenwo::NurbsSurf*& outA,
                         Fenwo::NurbsSurf*& outB, int requested, bool bezier)
{
    const double turn =
        0.5 * maxTangentTurnAngle(a, 3 * requested) + 0.5 * maxTangentTurnAngle(b, 3 * requested);
    const int c = int(std::ceil(spanCountForAngle(turn) * 0.8 + 1.0));
    const int n = c < 1 ? 1 : std::min(requested, c);
    outA = fitCurveToPoints(a, n, bezier);
    outB = fitCurveToPoints(b, n, bezier);
    return true;
}

Fenwo::NurbsSurf* fitCurveToPolyline(CParametricGeometry* c, int requested, bool bezier)
{
    const int m = spanCountForAngle(maxTangentTurnAngle(c, 3 * requested)) + 1;
    const int n = m < 1 ? 1 : std::min(requested, m);
    return fitCurveToPoints(c, n, bezier);
}

bool chainCurveList(Kor::Array<Fenwo::NurbsSurf*>& curves)
{
    if (curves.count == 0)
        return false;
    Kor::Array<Fenwo::NurbsSurf*> ordered;
    if (!orientCurveChain(curves, ordered, 10.0))
        return false;
    curves.count = 0;
    for (int i = 0; i < ordered.count; ++i)
        curves.append(ordered[i]);
    return true;
}
