#include "curves/ParCurve.h"

#include "curves/ReInterpolation.h"
#include "geometry/NurbsSurf.h"

namespace {

// The curve evaluations a trim curve's faceting spends per sample it may
// keep: a chord end search (counted as 250) and a verification at 61
// points. A curve that needs more (a fold its size estimate missed) is
// stepped evenly on.
constexpr long kFacetWorkPerSample = 320;

} // namespace

CParCurve::CParCurve(CParametricGeometry* uv, CParametricGeometry* s, bool withEdge) : CCONS(uv, s)
{
    ownsUVCurve = true;
    if (withEdge && uvCurve != nullptr) {
        edge = new CEdge(surface, reApproximateCurve(3, 0.01, false));
        updateSpacePoints(0.1);
    }
}

CParCurve::CParCurve(CParametricGeometry* uv, CParametricGeometry* curve, CParametricGeometry* s)
    : CCONS(uv, s)
{
    ownsUVCurve = true;
    if (curve != nullptr)
        edge = new CEdge(surface, curve);
    updateSpacePoints(0.1);
}

CParCurve::~CParCurve()
{
    delete edge;
}

int CParCurve::updateSpacePoints(double tol)
{
    spacePoints.removeAll();
    uvPoints.removeAll();
    facetParameters.removeAll();
    if (uvCurve == nullptr || surface == nullptr)
        return 0;
    // A curve far larger than tol (a bridge across a face many orders of
    // magnitude wider than its tolerance) is sampled at a tolerance relative
    // to its size: its samples are bounded by the pieces it is made of, not
    // by its size.
    const SampleAllowance allowance = sampleAllowance(*this, tol);
    const int maxSamples = allowance.samples;
    const long maxWork = kFacetWorkPerSample * maxSamples;
    tol = allowance.tol;
    if (facetCurve(facetParameters, tol, true, 2500, true, false, -1.0, maxWork) < 2)
        facetCurve(facetParameters, 0.1 * tol, true, 2000, false, false, -1.0, maxWork);
    // A curve whose turning the estimate missed (a fold or a cusp between
    // its estimate's points) is thinned evenly to the allowance, its ends
    // kept.
    thinParameters(facetParameters, maxSamples);
    for (double t : facetParameters) {
        const Vector uv = uvCurve->getPoint(t, 0.0);
        tuple<double, 2> pair;
        pair[0] = uv[0];
        pair[1] = uv[1];
        uvPoints.append(pair);
        const Vector p = surface->getPoint(uv[0], uv[1]);
        spacePoints.append(CVertex<double, 3>(p[0], p[1], p[2]));
    }
    return spacePoints.count;
}

void CParCurve::reverseU()
{
    CParametricGeometry* edgeCurve = edge != nullptr ? edge->curve : nullptr;
    Fenwo::NurbsSurf* uvNurbs = asNurbsSurf(uvCurve);
    Fenwo::NurbsSurf* edgeNurbs = asNurbsSurf(edgeCurve);
    if (uvNurbs != nullptr && edgeNurbs != nullptr) {
        uvNurbs->invertDirection(0);
        edgeNurbs->invertDirection(0);
    } else {
        if (uvCurve != nullptr)
            uvCurve->reverseU();
        if (edgeCurve != nullptr)
            edgeCurve->reverseU();
    }
    updateSpacePoints(0.1);
}

CParametricGeometry* CParCurve::clone() const
{
    return duplicate();
}

CParCurve* CParCurve::duplicate() const
{
    auto* copy = new CParCurve(uvCurve != nullptr ? uvCurve->clone() : nullptr, surface, false);
    copy->setDomain(0, getDomain(0));
    return copy;
}

void CParCurve::setSurface(CParametricGeometry* s)
{
    surface = s;
    if (edge != nullptr)
        edge->surface = s;
}

void CParCurve::setDomain(int dir, const Interval& domain)
{
    CCONS::setDomain(dir, domain);
    updateSpacePoints(0.1);
}
