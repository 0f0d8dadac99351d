// Helpers of the skin tests: trimmed faces over bilinear and bicubic
// patches, a list of faces the test owns, skins built over their trim
// curves, and the largest gap between the two curves of any shared edge.
#pragma once

#include "curves/CurveOnSurface.h"
#include "curves/CurveUtilities.h"
#include "curves/ParCurve.h"
#include "curves/Projections.h"
#include "curves/StartValues.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "healing/SkinTopology.h"
#include "net/Face.h"

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <vector>

namespace skintest {

// The bilinear patch through four corners, on [0, 1]^2: (0, 0) at p00, u
// towards p10, v towards p01.
inline Fenwo::NurbsSurf* bilinear(const Vector& p00, const Vector& p10, const Vector& p01,
                                  const Vector& p11)
{
    const knots k(1, 1, 0.0, 1.0);
    auto* s = new Fenwo::NurbsSurf(k, &k);
    s->setControlPoint(0, 0, p00);
    s->setControlPoint(1, 0, p10);
    s->setControlPoint(0, 1, p01);
    s->setControlPoint(1, 1, p11);
    return s;
}

// A face bounded by its domain on the rectangle [x0, x1] x [y0, y1] at
// height z.
inline CFace* rectangle(double x0, double y0, double x1, double y1, double z = 0.0)
{
    return new CFace(
        bilinear(Vector(x0, y0, z), Vector(x1, y0, z), Vector(x0, y1, z), Vector(x1, y1, z)));
}

// A face on surface trimmed by the (u, v) rectangle [u0, u1] x [v0, v1].
inline CFace* trimmed(Fenwo::NurbsSurf* surface, double u0, double v0, double u1, double v1)
{
    auto* face = new CFace(surface, nullptr);
    auto* loop = new CLoop();
    const double uv[5][2] = {{u0, v0}, {u1, v0}, {u1, v1}, {u0, v1}, {u0, v0}};
    for (int k = 0; k < 4; ++k) {
        const double a[3] = {uv[k][0], uv[k][1], 0.0};
        const double b[3] = {uv[k + 1][0], uv[k + 1][1], 0.0};
        loop->curves.append(new CParCurve(makeCurve(a, b), surface, true));
    }
    if (!face->setOuterLoop(loop))
        delete loop;
    return face;
}

// A face on surface trimmed by the (u, v) polygon of straight sides through
// the corners, in their order.
inline CFace* trimmedPolygon(Fenwo::NurbsSurf* surface,
                             const std::vector<std::array<double, 2>>& uv)
{
    auto* face = new CFace(surface, nullptr);
    auto* loop = new CLoop();
    for (std::size_t k = 0; k < uv.size(); ++k) {
        const std::array<double, 2>& p = uv[k];
        const std::array<double, 2>& q = uv[(k + 1) % uv.size()];
        const double a[3] = {p[0], p[1], 0.0}, b[3] = {q[0], q[1], 0.0};
        loop->curves.append(new CParCurve(makeCurve(a, b), surface, true));
    }
    if (!face->setOuterLoop(loop))
        delete loop;
    return face;
}

// A face trimmed to [x0, x1] x [y0, y1] at height z on a plane that reaches
// margin beyond it on every side.
inline CFace* insetRectangle(double x0, double y0, double x1, double y1, double z, double margin)
{
    const double w = x1 - x0 + 2.0 * margin, h = y1 - y0 + 2.0 * margin;
    const double X0 = x0 - margin, Y0 = y0 - margin;
    return trimmed(bilinear(Vector(X0, Y0, z), Vector(X0 + w, Y0, z), Vector(X0, Y0 + h, z),
                            Vector(X0 + w, Y0 + h, z)),
                   margin / w, margin / h, 1.0 - margin / w, 1.0 - margin / h);
}

// A bicubic patch on [0, 1]^2 with 4 x 4 control points rule(i, j).
inline Fenwo::NurbsSurf* bicubic(const std::function<Vector(int, int)>& rule)
{
    const knots k(3, 3, 0.0, 1.0);
    auto* s = new Fenwo::NurbsSurf(k, &k);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            s->setControlPoint(i, j, rule(i, j));
    return s;
}

// Faces the test owns, with the plain list the healing takes.
struct Faces {
    std::vector<std::unique_ptr<CFace>> owned;
    Kor::List<CFace*> list;

    CFace* add(CFace* f)
    {
        owned.emplace_back(f);
        list.append(f);
        return f;
    }
    CFace* operator[](int i) const { return list.data[i]; }
};

// A skin over all trim curves of the faces (lent to it), linked to their
// loop neighbours; curves receives the curve list after the build.
inline bool buildOver(FENWO_SKIN::CSkinTopology& skin, Kor::List<CFace*>& faces, double tol,
                      Kor::List<CParametricGeometry*>& curves)
{
    for (CFace* f : faces) {
        skin.lend(f);
        for (CCONS* c : f->getAllCONS(false, true))
            curves.append(c);
    }
    return FENWO_SKIN::buildSkin(curves, &skin, tol, nullptr);
}

// The largest distance of a facet point (chord tolerance tol / 10) of one
// curve of a shared edge from the other curve, over a skin built anew with
// match tolerance matchTol.
inline double largestEdgeGap(Kor::List<CFace*>& faces, double matchTol, double tol)
{
    FENWO_SKIN::CSkinTopology skin;
    Kor::List<CParametricGeometry*> curves;
    buildOver(skin, faces, matchTol, curves);
    double gap = 0.0;
    for (FENWO_SKIN::CSkinTopology::CHalfEdge* h : skin.getInnerEdgePairs()) {
        Kor::List<double> ts;
        h->curve->facetCurve(ts, tol / 10.0, true, 2000, false, false, 250.0 * tol);
        for (double t : ts) {
            const Vector p = h->curve->getPoint(t, 0.0);
            double s = 0.0;
            startParameterOnCurve(*h->partner->curve, p, s);
            gap = std::max(gap, double(projectPointOnCurve(h->partner->curve, p, s)));
        }
    }
    return gap;
}

} // namespace skintest
