// How each fitting constraint draws itself on its surface's control net.
#include <GL/gl.h>

#include "display/Markers.h"
#include "geometry/BoundaryConstraint.h"
#include "geometry/IJConstraints.h"
#include "geometry/KnotAndNormalConstraints.h"
#include "geometry/NurbsSurf.h"

namespace Fenwo {

namespace {

constexpr int kSquareMarker = 3;
constexpr int kTriangleMarker = 5;
constexpr int kCubeMarker = 7;

void controlVertex(NurbsSurf* surf, int i, int j)
{
    Vector p;
    surf->getControlPoint(i, j, p);
    p.resize(3);
    glVertex3dv(p.data);
}

void markControlPoint(NurbsSurf* surf, int i, int j, double size)
{
    Vector p;
    surf->getControlPoint(i, j, p);
    p.resize(3);
    NurbsSurf::drawPointMarker(p[0], p[1], p[2], kSquareMarker, size);
}

} // namespace

void CConstraint::draw(NurbsSurf*, int, double) {}

void CIJSingleConstraint::draw(NurbsSurf* surf, int, double size)
{
    glPushAttrib(GL_LINE_BIT);
    markControlPoint(surf, m_i, m_j, size);
    glPopAttrib();
}

void CIJRelationConstraint::draw(NurbsSurf* surf, int, double size)
{
    glPushAttrib(GL_LINE_BIT);
    if (m_threePoint == 0) {
        markControlPoint(surf, m_i0, m_j0, size);
    } else {
        glLineWidth(2.0f);
        glBegin(GL_LINE_STRIP);
        controlVertex(surf, m_i1, m_j1);
        controlVertex(surf, m_i0, m_j0);
        controlVertex(surf, m_i2, m_j2);
        glEnd();
    }
    glPopAttrib();
}

void CIJRegionConstraint::draw(NurbsSurf* surf, int, double)
{
    glPushAttrib(GL_LINE_BIT | GL_POLYGON_BIT);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glLineWidth(2.0f);
    glBegin(GL_QUADS);
    for (int i = m_i0; i < m_i1; ++i)
        for (int j = m_j0; j < m_j1; ++j) {
            controlVertex(surf, i, j);
            controlVertex(surf, i + 1, j);
            controlVertex(surf, i + 1, j + 1);
            controlVertex(surf, i, j + 1);
        }
    glEnd();
    glPopAttrib();
}

void CBoundaryConstraint::draw(NurbsSurf* surf, int, double size)
{
    int rows = 0, kind = kTriangleMarker;
    switch (m_kind) {
    case BoundaryConstraintKind::C0Fix:
    case BoundaryConstraintKind::epsG1Fix:
        rows = 1;
        break;
    case BoundaryConstraintKind::C1Fix:
        rows = 2;
        break;
    case BoundaryConstraintKind::C2Fix:
        rows = 3;
        break;
    case BoundaryConstraintKind::inPlane:
    case BoundaryConstraintKind::symmetry:
        rows = 1;
        kind = kSquareMarker;
        break;
    default:
        return;
    }
    const int nU = surf->getUCount(), nV = surf->getVCount();
    for (int r = 0; r < rows; ++r) {
        switch (m_position) {
        case uvSouth:
            surf->drawRowMarkers(r, size, kind);
            break;
        case uvNorth:
            surf->drawRowMarkers(nV - 1 - r, size, kind);
            break;
        case uvWest:
            surf->drawColumnMarkers(r, size, kind);
            break;
        case uvEast:
            surf->drawColumnMarkers(nU - 1 - r, size, kind);
            break;
        default:
            return;
        }
    }
}

void CRemoveKnotsConstraint::draw(NurbsSurf* surf, int, double size)
{
    const knots& across = m_inU ? *surf->uKnots : *surf->vKnots;
    const knots& along = m_inU ? *surf->vKnots : *surf->uKnots;
    CMarkerFrame frame;
    Vector p;
    for (int c = m_first; c <= m_last; ++c)
        for (int k = m_firstKnot; k <= m_lastKnot; ++k) {
            const bool cyclic = across.endCondition == knots::CyclicEnd;
            if (!cyclic && (k < 0 || k > across.n + across.p + 1))
                continue;
            // Knot positions continue across the period of a cyclic vector.
            const double knot = cyclic ? across.getUnrolledKnot(k) : across.valueAt(k);
            const double greville = along.getGrevilleAbscissa(c);
            surf->evaluatePoint(p, m_inU ? knot : greville, m_inU ? greville : knot);
            drawMarker(p[0], p[1], p[2], kCubeMarker, true, &frame, size);
        }
}

} // namespace Fenwo
