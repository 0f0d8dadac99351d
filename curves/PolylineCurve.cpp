#include "curves/PolylineCurve.h"

#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "geometry/ParametricGeometry.h"

Fenwo::NurbsSurf* makePolylineCurve(CParametricGeometry* curve, const Kor::List<double>& params)
{
    if (curve == nullptr || params.getCount() < 2)
        return nullptr;
    const knots u(params.getCount() - 1, 1, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    auto* polyline = new Fenwo::NurbsSurf(u, nullptr);
    for (int i = 0; i < params.getCount(); ++i) {
        const Vector p = curve->getPoint(params[i], 0.0);
        // The poly-line is a 3-D curve: a shorter point is padded with zeros
        // (a longer one would be read as carrying a weight).
        Vector xyz(3);
        for (int k = 0; k < 3 && k < p.n; ++k)
            xyz[k] = p[k];
        polyline->setControlPoint(i, 0, xyz);
    }
    return polyline;
}

Fenwo::NurbsSurf* facetCurveToPolyline(CParametricGeometry* curve, double tol,
                                       Kor::List<double>* tList, int maxFacets, double maxLength)
{
    if (curve == nullptr)
        return nullptr;
    Kor::List<double> own;
    Kor::List<double>& params = tList != nullptr ? *tList : own;
    curve->facetCurve(params, tol, true, maxFacets, false, false, maxLength);
    if (params.getCount() < 2) {
        const Interval domain = curve->getDomain(0);
        params.removeAll();
        params.append(domain.min);
        params.append(domain.max);
    }
    return makePolylineCurve(curve, params);
}

Fenwo::NurbsSurf* makeSegmentCurve(const CVertex<float, 3>& a, const CVertex<float, 3>& b)
{
    const Vector from(a.data, 3), to(b.data, 3);
    return makeCurve(from.data, to.data);
}
