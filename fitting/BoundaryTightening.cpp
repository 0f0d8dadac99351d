// Boundary tightening of a fitted surface.
#include "fitting/BoundaryTightening.h"

#include "curves/BoundaryCurves.h"
#include "curves/CurveFamilySurface.h"
#include "curves/EdgeFitting.h"
#include "curves/IsoParametricCurve.h"
#include "curves/Projections.h"
#include "curves/StartValues.h"
#include "curves/SubCurves.h"
#include "foundation/KorArray.h"
#include "foundation/KorList.h"
#include "foundation/Statistic.h"
#include "geometry/FitHelpers.h"
#include "geometry/NurbsSurf.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>
#include <numbers>
#include <vector>

namespace {

bool runsInV(int side)
{
    return side == 3 || side == 4;
}

// Control-point indices of the k-th point of the side's row (ring 0) or of
// its second row (ring 1).
void sideIndex(const Fenwo::NurbsSurf& s, int side, int k, int ring, int& i, int& j)
{
    const int lastU = s.getUCount() - 1, lastV = s.getVCount() - 1;
    switch (side) {
    case 1:
        i = k, j = ring;
        break;
    case 2:
        i = k, j = lastV - ring;
        break;
    case 3:
        i = ring, j = k;
        break;
    default:
        i = lastU - ring, j = k;
        break;
    }
}

int sideCount(const Fenwo::NurbsSurf& s, int side)
{
    return runsInV(side) ? s.getVCount() : s.getUCount();
}

CVertex<float, 3> toVertex(const Vector& p)
{
    return CVertex<float, 3>(float(p[0]), float(p[1]), float(p[2]));
}

// Moves the edge's ends onto the curve's ends, nearest pair first.
void snapEdgeEnds(Fenwo::NurbsSurf& edge, CParametricGeometry& curve, bool both)
{
    const Interval domain = curve.getDomain(0);
    const double t[2] = {domain.min, domain.max};
    const Vector cs = curve.getPoint(t[0], 0.0), ce = curve.getPoint(t[1], 0.0);
    const Vector es = edge.getStartPoint(), ee = edge.getEndPoint();
    const double d[4] = {squaredDistance(es, cs), squaredDistance(es, ce), squaredDistance(ee, cs),
                         squaredDistance(ee, ce)};
    const int k = int(std::min_element(d, d + 4) - d);
    const int last = edge.getUCount() - 1;
    const int index = k < 2 ? 0 : last;
    const int used = k % 2; // 0: t0, 1: t1
    edge.setControlPointPosition(index, 0, curve.getPoint(t[used], 0.0));
    edge.addFixedPointConstraint(index, 0);
    if (both) {
        const int other = index == 0 ? last : 0;
        edge.setControlPointPosition(other, 0, curve.getPoint(t[1 - used], 0.0));
        edge.addFixedPointConstraint(other, 0);
    }
}

// Rulings in the curve's tangent planes along the side, the ribbon skinned
// through them, the second row aligned to it, and the report of distances
// and normal angles.
void alignTangentsToCurve(Fenwo::NurbsSurf& surface, int side, CParametricGeometry& curve,
                          Fenwo::NurbsSurf& edge)
{
    Vector B;
    edge.uKnots->getBasisMaxima(B);
    CIsoParametricCurve iso(&surface, side);
    double tStart = curve.getUMin();
    if (!startParameterOnCurve(curve, iso.getStartPoint(), tStart))
        tStart = curve.getUMin();

    std::vector<std::unique_ptr<Fenwo::NurbsSurf>> rulings;
    Kor::Array<Fenwo::NurbsSurf*> rulingList;
    double t = tStart;
    for (int k = 0; k < B.n; ++k) {
        const Vector P = iso.getPoint(B[k], 0.0);
        Vector N = iso.getSideVector(B[k]);
        projectVertexOnCurve(&curve, toVertex(P), t);
        const Vector M = curve.getRawNormal(t, 0.0);
        N = normalized(N - dot(N, M) * M);
        const Vector Q = P - N;
        rulings.emplace_back(makeCurve(P.data, Q.data));
        rulingList.append(rulings.back().get());
    }
    std::unique_ptr<Fenwo::NurbsSurf> ribbon(fitRationalNurbsToPoints(rulingList, B, *edge.uKnots));
    if (ribbon == nullptr)
        return;
    alignSecondRowToRibbon(surface, side, *ribbon);

    CStatistic dStat, aStat;
    const Vector samples = refineValues(B, 1);
    t = tStart;
    for (int k = 0; k < samples.n; ++k) {
        const Vector P = iso.getPoint(samples[k], 0.0);
        dStat.add(projectVertexOnCurve(&curve, toVertex(P), t));
        const double c =
            cosineBetween(curve.getRawNormal(t, 0.0), iso.getRawNormal(samples[k], 0.0));
        aStat.add(std::acos(std::clamp(c, -1.0, 1.0)) * 180.0 / std::numbers::pi);
    }
    std::cout << " dStat = " << dStat << std::endl;
    std::cout << " aStat = " << aStat << std::endl;
}

} // namespace

bool tightenBoundaryCurves(Fenwo::NurbsSurf& surface, int side, CParametricGeometry& curve,
                           bool alignTangents, bool snapBothEnds, bool snapNearestEnd, bool fixEnds,
                           bool requireSuccess, double tol, int nuMax)
{
    if (side < 1 || side > 4)
        return false;
    if (sideCount(surface, side) == 2) {
        // The raise works on u; a side running in v is turned there and back.
        if (runsInV(side))
            surface.swapuv();
        elevateCurveDegree(&surface, 0);
        elevateCurveDegree(&surface, 0);
        if (runsInV(side))
            surface.swapuv();
    }
    std::unique_ptr<Fenwo::NurbsSurf> edge(surfaceBoundaryCurves(&surface, side));
    if (edge == nullptr)
        return false;
    if (snapBothEnds || snapNearestEnd)
        snapEdgeEnds(*edge, curve, snapBothEnds);
    if (fixEnds) {
        edge->addFixedPointConstraint(0, 0);
        edge->addFixedPointConstraint(edge->getUCount() - 1, 0);
    }
    edge->checkFolds = true;
    Kor::List<double> knotList;
    Fenwo::NurbsSurf* fitted = edge.get(); // refitted in place: the pointer stays
    const bool fit = tearToCurves(fitted, curve, tol, &knotList, false, requireSuccess, false,
                                  false, false, nuMax);
    if (!fit && requireSuccess)
        return false;

    const int direction = runsInV(side) ? 1 : 0;
    for (int k = 0; k < knotList.count; ++k)
        surface.insertKnots(knotList[k], 1, direction);
    copyEdgeToSide(&surface, side, edge.get(), false);
    if (alignTangents)
        alignTangentsToCurve(surface, side, curve, *edge);
    return true;
}

bool copyEdgeToSide(Fenwo::NurbsSurf* surface, int side, Fenwo::NurbsSurf* edge, bool moveSecondRow)
{
    if (surface == nullptr || edge == nullptr || side < 1 || side > 4)
        return false;
    const int count = sideCount(*surface, side);
    if (edge->getUCount() != count)
        return false;
    Vector E(3), S(3), Q(3);
    for (int k = 0; k < count; ++k) {
        int i, j;
        sideIndex(*surface, side, k, 0, i, j);
        edge->getControlPoint(k, 0, E);
        surface->getControlPoint(i, j, S);
        const Vector delta = E - S;
        surface->setHomogeneousControlPoint(i, j, edge->getWrappedControlPoint(k, 0));
        if (moveSecondRow) {
            int i1, j1;
            sideIndex(*surface, side, k, 1, i1, j1);
            surface->getControlPoint(i1, j1, Q);
            surface->setControlPointPosition(i1, j1, Q + delta);
        }
    }
    return true;
}

bool alignSecondRowToRibbon(Fenwo::NurbsSurf& surface, int side, Fenwo::NurbsSurf& ribbon)
{
    if (side < 1 || side > 4)
        return false;
    const int count = sideCount(surface, side);
    if (ribbon.getVCount() != count)
        return false;
    Vector P0(3), P1(3), Q(3);
    for (int k = 0; k < count; ++k) {
        int i0, j0, i1, j1;
        sideIndex(surface, side, k, 0, i0, j0);
        sideIndex(surface, side, k, 1, i1, j1);
        surface.getControlPoint(i0, j0, P0);
        surface.getControlPoint(i1, j1, P1);
        ribbon.getControlPoint(1, k, Q);
        if (normSquared(Q - P0) <= 0.0)
            continue; // no line to align with
        surface.setControlPointPosition(i1, j1, CAxis(P0, Q - P0).footOnLine(P1));
    }
    return true;
}
