#include "fitting/BoundaryPlacement.h"

#include "curves/Projections.h"
#include "curves/StartValues.h"
#include "geometry/Interval.h"
#include "geometry/NurbsSurf.h"
#include "geometry/SurfaceBoundaryPoint.h"

#include <cfloat>
#include <cmath>
#include <iostream>

BoundaryPosition nearestCorner(const Vector& p, CParametricGeometry* s, double tol)
{
    auto* surface = dynamic_cast<Fenwo::NurbsSurf*>(s);
    if (surface == nullptr || p.n < 3)
        return undefinedPosition;
    static constexpr struct {
        BoundaryPosition corner;
        int i, j;
    } corners[4] = {
        {uvSouthWest, 0, 0}, {uvSouthEast, -1, 0}, {uvNorthWest, 0, -1}, {uvNorthEast, -1, -1}};
    BoundaryPosition best = undefinedPosition;
    double bestDistance = FLT_MAX;
    for (const auto& c : corners) {
        Vector q;
        surface->getControlPoint(c.i, c.j, q);
        const double d = std::sqrt(squaredDistance(p, q));
        if (d < bestDistance) {
            bestDistance = d;
            best = c.corner;
        }
    }
    return bestDistance <= tol ? best : undefinedPosition;
}

BoundaryPosition nearestCorner(const CVertex<float, 3>& p, CParametricGeometry* s, double tol)
{
    return nearestCorner(Vector(p.data, 3), s, tol);
}

namespace {

// The domain bound at which `corner` lies along `side`; false when the side
// does not meet the corner.
bool cornerParameter(CParametricGeometry* s, BoundaryPosition corner, BoundaryPosition side,
                     double& t)
{
    const bool alongU = side == uvSouth || side == uvNorth;
    const bool atUMin = corner == uvSouthWest || corner == uvNorthWest;
    const bool atVMin = corner == uvSouthWest || corner == uvSouthEast;
    switch (side) {
    case uvSouth:
        if (!atVMin)
            return false;
        break;
    case uvNorth:
        if (atVMin)
            return false;
        break;
    case uvWest:
        if (!atUMin)
            return false;
        break;
    case uvEast:
        if (atUMin)
            return false;
        break;
    default:
        return false;
    }
    if (alongU)
        t = atUMin ? s->getUMin() : s->getUMax();
    else
        t = atVMin ? s->getVMin() : s->getVMax();
    return true;
}

// Snaps the parameter of one end of a piece onto the domain bound its end
// belongs to: the smaller of the two values onto the minimum, the larger onto
// the maximum, when it lies within 1e-5 of it or its end is a corner.
void snapToBound(double& value, bool isSmaller, bool atCorner, double lo, double hi)
{
    const double bound = isSmaller ? lo : hi;
    if (atCorner || std::fabs(value - bound) < 1e-5)
        value = bound;
}

} // namespace

BoundaryPosition boundaryParameter(const Vector& p, CParametricGeometry* s, double* t,
                                   BoundaryPosition side, double tol)
{
    double parameter = -1.0;
    BoundaryPosition result = nearestCorner(p, s, tol);
    if (result != undefinedPosition) {
        cornerParameter(s, result, side, parameter);
    } else if (s != nullptr) {
        result = side;
        double u = s->getUMin();
        double v = s->getVMin();
        startParametersOnSurface(s, u, v, p, 10);
        projectPointOnSurface(s, p, u, v);
        if (side == uvSouth || side == uvNorth) {
            parameter = u;
        } else if (side == uvWest || side == uvEast) {
            parameter = v;
        } else {
            std::cout << "unhandled searchPos ";
            writeBoundaryPosition(std::cout, side) << std::endl;
        }
    }
    if (t != nullptr)
        *t = parameter;
    return result;
}

BoundaryPosition getBoundaryPOs(const CVertex<float, 3>& a, const CVertex<float, 3>& b,
                                CParametricGeometry* s, Interval* range,
                                CPointOnSurfaceBoundary* endA, CPointOnSurfaceBoundary* endB,
                                double cornerReach)
{
    if (s == nullptr)
        return undefinedPosition;
    const Vector pa(a.data, 3), pb(b.data, 3);
    double ua = s->getUMin(), va = s->getVMin(), ub = ua, vb = va;
    if (!startParametersOnSurface(s, ua, va, pa, 10) ||
        !startParametersOnSurface(s, ub, vb, pb, 10)) {
        std::cout << "Attention: getBoundaryPOs returnung an undefined Position." << std::endl;
        return undefinedPosition;
    }
    auto* surface = dynamic_cast<Fenwo::NurbsSurf*>(s);
    CPointOnSurfaceBoundary cornerA, cornerB;
    cornerA.surface = cornerB.surface = surface;
    cornerA.position = nearestCorner(a, s, cornerReach);
    cornerB.position = nearestCorner(b, s, cornerReach);

    const bool alongV = std::fabs(ub - ua) < std::fabs(vb - va);
    BoundaryPosition side;
    double ta, tb, lo, hi;
    if (alongV) {
        const double mid = 0.5 * (ua + ub);
        side = std::fabs(mid - s->getUMax()) <= std::fabs(mid - s->getUMin()) ? uvEast : uvWest;
        ta = va;
        tb = vb;
        lo = s->getVMin();
        hi = s->getVMax();
    } else {
        const double mid = 0.5 * (va + vb);
        side = std::fabs(mid - s->getVMax()) <= std::fabs(mid - s->getVMin()) ? uvNorth : uvSouth;
        ta = ua;
        tb = ub;
        lo = s->getUMin();
        hi = s->getUMax();
    }
    snapToBound(ta, ta <= tb, cornerA.isCorner(), lo, hi);
    snapToBound(tb, tb < ta, cornerB.isCorner(), lo, hi);
    if (!cornerA.isCorner())
        cornerA.setPosition(side, ta);
    if (!cornerB.isCorner())
        cornerB.setPosition(side, tb);
    if (range != nullptr)
        *range = Interval(ta, tb);
    if (endA != nullptr)
        *endA = cornerA;
    if (endB != nullptr)
        *endB = cornerB;
    return side;
}

BoundaryPosition getBoundaryPOsOfPoints(const Vector& a, const Vector& b, CParametricGeometry* s,
                                        Interval* range, CPointOnSurfaceBoundary* endA,
                                        CPointOnSurfaceBoundary* endB, double cornerReach)
{
    const CVertex<float, 3> fa{static_cast<float>(a[0]), static_cast<float>(a[1]),
                               static_cast<float>(a[2])};
    const CVertex<float, 3> fb{static_cast<float>(b[0]), static_cast<float>(b[1]),
                               static_cast<float>(b[2])};
    return getBoundaryPOs(fa, fb, s, range, endA, endB, cornerReach);
}
