#include "geometry/SurfaceBoundaryPoint.h"

#include "geometry/NurbsSurf.h"

#include <iostream>

void CPointOnSurfaceBoundary::setPosition(BoundaryPosition where, double t)
{
    position = where;
    parameter = t;
    if (surface == nullptr)
        return;
    const bool alongU = where == uvSouth || where == uvNorth;
    if (!alongU && where != uvWest && where != uvEast)
        return;
    const Interval domain = surface->getDomain(alongU ? 0 : 1);
    const bool atMin = t == domain.min;
    const bool atMax = t == domain.max;
    if (!atMin && !atMax)
        return;
    switch (where) {
    case uvSouth:
        position = atMin ? uvSouthWest : uvSouthEast;
        break;
    case uvNorth:
        position = atMin ? uvNorthWest : uvNorthEast;
        break;
    case uvWest:
        position = atMin ? uvSouthWest : uvNorthWest;
        break;
    default: // uvEast
        position = atMin ? uvSouthEast : uvNorthEast;
        break;
    }
}

bool CPointOnSurfaceBoundary::isCorner() const
{
    return position >= uvSouthWest && position <= uvNorthWest;
}

Vector CPointOnSurfaceBoundary::getPoint() const
{
    Vector result(3);
    if (surface == nullptr) {
        if (fallbackCurve != nullptr)
            result = fallbackCurve->getPoint(parameter, 0.0);
        return result;
    }
    if (isSurfaceUnusable(surface)) {
        std::cout << "failed to evaluate in CPointOnSurfaceBoundary::getPoint" << std::endl;
        return result;
    }
    Fenwo::NurbsSurf& s = *surface;
    switch (position) {
    case uvSouth:
        return s.getPoint(parameter, s.getVMin());
    case uvNorth:
        return s.getPoint(parameter, s.getVMax());
    case uvWest:
        return s.getPoint(s.getUMin(), parameter);
    case uvEast:
        return s.getPoint(s.getUMax(), parameter);
    case uvSouthWest:
        s.getControlPoint(0, 0, result);
        break;
    case uvSouthEast:
        s.getControlPoint(-1, 0, result);
        break;
    case uvNorthEast:
        s.getControlPoint(-1, -1, result);
        break;
    case uvNorthWest:
        s.getControlPoint(0, -1, result);
        break;
    default:
        std::cout << "CCoedge::getPoint: do not knwo how to evaluate: " << int(position)
                  << std::endl;
        break;
    }
    return result;
}

bool isSurfaceUnusable(const Fenwo::NurbsSurf* surface)
{
    if (surface == nullptr || surface->kind != 1 || !surface->valid)
        return true;
    const knots* u = surface->uKnots;
    const knots* v = surface->vKnots;
    return u == nullptr || v == nullptr || u->distinctCount < 1 || v->distinctCount < 1;
}

BoundaryPosition mirrorCorner(BoundaryPosition corner, const Fenwo::NurbsSurf* surface)
{
    if (surface == nullptr || surface->degenerateSides.count == 0)
        return corner;
    const BoundaryPosition side = *surface->degenerateSides.items[0];
    auto swapPair = [corner](BoundaryPosition a, BoundaryPosition b) {
        return corner == a ? b : corner == b ? a : corner;
    };
    switch (side) {
    case uvSouth:
        return swapPair(uvSouthWest, uvSouthEast);
    case uvNorth:
        return swapPair(uvNorthEast, uvNorthWest);
    case uvWest:
        return swapPair(uvSouthWest, uvNorthWest);
    case uvEast:
        return swapPair(uvSouthEast, uvNorthEast);
    default:
        return corner;
    }
}

int spansForAngle(double angle)
{
    static const double bounds[] = {3.0, 10.0, 15.0, 30.0, 60.0, 120.0, 180.0, 270.0};
    for (int k = 0; k < 8; ++k)
        if (angle < bounds[k])
            return k + 2;
    return 12;
}
