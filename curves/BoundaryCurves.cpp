#include "curves/BoundaryCurves.h"

#include "curves/CurveOnSurface.h"
#include "curves/CurveOperations.h"
#include "curves/SubCurves.h"
#include "geometry/IJConstraints.h"
#include "geometry/NurbsSurf.h"

#include <iostream>
#include <memory>
#include <vector>

using Fenwo::NurbsSurf;

namespace {

bool hasOneRow(const NurbsSurf& s)
{
    return s.vKnots == nullptr || s.vKnots->n == 0;
}

// Carries the single control-point constraints of row j over to column i of
// the curve's only row.
void copyRowConstraints(const NurbsSurf& surface, int j, NurbsSurf& curve)
{
    for (Fenwo::CConstraint* c : surface.constraints) {
        auto* single = dynamic_cast<Fenwo::CIJSingleConstraint*>(c);
        if (single == nullptr || single->m_j != j || single->m_i >= curve.getUCount())
            continue;
        curve.addConstraint(new Fenwo::CIJSingleConstraint(curve, single->m_i, 0, single->m_point,
                                                           single->m_direction, single->m_kind));
    }
}

} // namespace

CCONS* boundaryCCONS(CParametricGeometry* surface, int side)
{
    if (surface == nullptr)
        return nullptr;
    const double u0 = surface->getUMin(), u1 = surface->getUMax();
    const double v0 = surface->getVMin(), v1 = surface->getVMax();
    double from[2], to[2];
    switch (side) {
    case 1:
        from[0] = u0, from[1] = v0, to[0] = u1, to[1] = v0;
        break;
    case 2:
        from[0] = u1, from[1] = v1, to[0] = u0, to[1] = v1;
        break;
    case 3:
        from[0] = u0, from[1] = v1, to[0] = u0, to[1] = v0;
        break;
    case 4:
        from[0] = u1, from[1] = v0, to[0] = u1, to[1] = v1;
        break;
    default:
        std::cout << "unknown boundaryposition!" << std::endl;
        return nullptr;
    }
    const double a[3] = {from[0], from[1], 0.0}, b[3] = {to[0], to[1], 0.0};
    auto* cons = new CCONS(makeCurve(a, b), surface);
    cons->ownsUVCurve = true;
    return cons;
}

NurbsSurf* surfaceBoundaryCurves(NurbsSurf* surface, int side)
{
    if (surface == nullptr)
        return nullptr;
    if (hasOneRow(*surface))
        return side == 1 ? new NurbsSurf(*surface) : nullptr;
    NurbsSurf* iso = nullptr;
    switch (side) {
    case 1:
        iso = extractIsoCurve(surface, surface->getVMin(), 3);
        break;
    case 2:
        iso = extractIsoCurve(surface, surface->getVMax(), 3);
        break;
    case 3:
        iso = extractIsoCurve(surface, surface->getUMin(), 2);
        break;
    case 4:
        iso = extractIsoCurve(surface, surface->getUMax(), 2);
        break;
    default:
        return nullptr;
    }
    if (iso != nullptr && (side == 1 || side == 2))
        copyRowConstraints(*surface, side == 1 ? 0 : surface->getVCount() - 1, *iso);
    return iso;
}

bool splitCurve(NurbsSurf* curve, double t, NurbsSurf*& first, NurbsSurf*& second)
{
    if (curve == nullptr)
        return false;
    first = getSubCurve(curve, curve->getUMin(), t);
    second = getSubCurve(curve, t, curve->getUMax());
    return true;
}

bool splitCurveAt(NurbsSurf* surface, double t, NurbsSurf*& first, NurbsSurf*& second)
{
    if (surface == nullptr || hasOneRow(*surface))
        return false;
    surface->swapuv();
    splitCurve(surface, t, first, second);
    for (NurbsSurf* piece : {first, second})
        if (piece != nullptr)
            piece->swapuv();
    surface->swapuv();
    return true;
}

NurbsSurf* makeAcisCompliantCurve(NurbsSurf* curve)
{
    if (curve == nullptr || curve->uKnots == nullptr || curve->vKnots == nullptr)
        return curve != nullptr ? new NurbsSurf(*curve) : nullptr;
    const double u0 = curve->getUMin(), u1 = curve->getUMax();
    std::unique_ptr<NurbsSurf> piece;
    if (curve->uKnots->endCondition == knots::CyclicEnd ||
        curve->vKnots->endCondition == knots::CyclicEnd) {
        std::unique_ptr<NurbsSurf> open(expandCyclicKnots(curve));
        if (open != nullptr)
            piece.reset(getSubCurve(open.get(), u0, u1));
    } else {
        piece.reset(getSubCurve(curve, u0, u1));
        if (piece != nullptr && piece->uKnots->rangeDiffersFromKnots()) {
            piece->swapuv();
            NurbsSurf* across = getSubCurve(piece.get(), piece->getUMin(), piece->getUMax());
            piece->swapuv();
            if (across != nullptr) {
                across->swapuv();
                piece.reset(across);
            }
        }
    }
    if (piece == nullptr) {
        std::cout << "emergency AcisCompliant Curve is NULL !" << std::endl;
        piece.reset(getSubCurve(curve, u0, u1));
    }
    return piece != nullptr ? piece.release() : new NurbsSurf(*curve);
}

bool offsetNurbs(NurbsSurf* surface, int side, double distance, bool secondPass, bool refine)
{
    if (surface == nullptr || !(distance > 0.0) || side < 1 || side > 4 ||
        surface->uKnots == nullptr || surface->vKnots == nullptr || hasOneRow(*surface))
        return false;
    const knots& across = side <= 2 ? *surface->vKnots : *surface->uKnots;
    if (across.endCondition == knots::CyclicEnd)
        return false;
    bool reversed = false, swapped = false;
    double parameter = 0.0;
    orientSurfaceSide(surface, side, reversed, swapped, parameter);

    // The side is now the u maximum: S_u there points out of the surface,
    // along its tangent plane. Moving the side's control points that way
    // runs the surface on beyond its former side, which stays (nearly) on
    // it; along the normals the side would lift off the surface instead.
    const int last = surface->getUCount() - 1;
    Vector peaks;
    surface->vKnots->getBasisMaxima(peaks);
    std::vector<Vector> offsets;
    for (int j = 0; j < surface->getVCount() && j < peaks.n; ++j) {
        Vector du, dv, normal;
        surfaceDerivativesAndNormalEx(surface, surface->getUMax(), peaks[j], du, dv, normal);
        offsets.push_back(distance * du);
    }
    Vector p;
    for (int j = 0; j < static_cast<int>(offsets.size()); ++j)
        for (int i = last; i >= (secondPass ? last - 1 : last) && i >= 0; --i) {
            surface->getControlPointXYZ(p, i, j);
            surface->setControlPointPosition(i, j, p + offsets[j]);
        }
    if (refine) {
        const knots& u = *surface->uKnots;
        surface->insertKnots(0.5 * (u.valueAt(u.n) + u.valueAt(u.n + 1)), 1, 0);
    }
    if (reversed)
        surface->invertDirection(0);
    if (swapped)
        surface->swapuv();
    return true;
}
