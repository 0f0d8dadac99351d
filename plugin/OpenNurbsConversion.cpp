// Curves and surfaces between the kernel and openNURBS. The trimmed faces'
// conversion, which builds on these, is in BrepConversion.cpp.
#include "plugin/OpenNurbsConversion.h"

#include "curves/BoundaryCurves.h"
#include "foundation/Logging.h"
#include "foundation/Vector.h"
#include "geometry/NurbsSurf.h"

#include <fstream>
#include <memory>

namespace {

bool isCyclic(const knots* k)
{
    return k != nullptr && k->endCondition == knots::CyclicEnd;
}

ON_4dPoint homogeneousPoint(const Vector& h)
{
    auto at = [&h](int k) { return k < h.n ? h[k] : (k == 3 ? 1.0 : 0.0); };
    return ON_4dPoint(at(0), at(1), at(2), at(3));
}

// openNURBS knot k is kernel knot k + 1: the kernel's two outermost knots
// never influence the curve and openNURBS does not keep them.
template <class SetKnot> void copyKnots(const knots& k, int count, SetKnot setKnot)
{
    for (int i = 0; i <= count + k.p - 2; ++i)
        setKnot(i, *k.knotAt(i + 1));
}

// A kernel knot vector from openNURBS knots, which lack the two outermost
// values; the kernel repeats the first and the last as those. Null when the
// list does not make a healthy vector.
std::unique_ptr<knots> knotsFromList(const double* values, int order, int cvCount)
{
    if (values == nullptr || order < 2 || cvCount < order)
        return nullptr;
    Vector list(order + cvCount - 2);
    for (int k = 0; k < list.n; ++k)
        list[k] = values[k];
    auto result = std::make_unique<knots>(list, cvCount - 1, order - 1);
    if (!result->isHealthy)
        return nullptr;
    return result;
}

// Appends the converted object's text form to the conversion log (only
// written while logging is on).
void logConversion(const Fenwo::NurbsSurf& s)
{
    std::ofstream log;
    if (openLogStream(log, "c:/tmp/nurbslog.out", std::ios::out | std::ios::app)) {
        s.write(log);
        log << std::endl;
    }
}

std::vector<double> curveKnots(const ON_NurbsCurve& c)
{
    std::vector<double> values(static_cast<size_t>(c.KnotCount()));
    for (int k = 0; k < c.KnotCount(); ++k)
        values[static_cast<size_t>(k)] = c.Knot(k);
    return values;
}

std::vector<double> surfaceKnots(const ON_NurbsSurface& s, int dir)
{
    std::vector<double> values(static_cast<size_t>(s.KnotCount(dir)));
    for (int k = 0; k < s.KnotCount(dir); ++k)
        values[static_cast<size_t>(k)] = s.Knot(dir, k);
    return values;
}

} // namespace

ON_NurbsSurface* toONNurbsSurface(const Fenwo::NurbsSurf* s)
{
    if (s == nullptr || s->uKnots == nullptr || s->vKnots == nullptr)
        return nullptr;
    std::unique_ptr<Fenwo::NurbsSurf> opened;
    if (isCyclic(s->uKnots) || isCyclic(s->vKnots)) {
        Fenwo::NurbsSurf copy(*s);
        opened.reset(makeAcisCompliantCurve(&copy));
        if (opened == nullptr)
            return nullptr;
        s = opened.get();
    }
    const knots& u = *s->uKnots;
    const knots& v = *s->vKnots;
    const int nU = s->getUCount(), nV = s->getVCount();
    auto result = std::make_unique<ON_NurbsSurface>();
    if (!result->Create(3, s->rational, u.p + 1, v.p + 1, nU, nV))
        return nullptr;
    for (int i = 0; i < nU; ++i)
        for (int j = 0; j < nV; ++j)
            result->SetCV(i, j, homogeneousPoint(s->getWrappedControlPoint(i, j)));
    copyKnots(u, nU, [&](int k, double value) { result->SetKnot(0, k, value); });
    copyKnots(v, nV, [&](int k, double value) { result->SetKnot(1, k, value); });
    return result.release();
}

ON_NurbsCurve* toONNurbsCurve(Fenwo::NurbsSurf* c, bool spatial)
{
    if (c == nullptr || c->uKnots == nullptr)
        return nullptr;
    // The stored control points run in the curve's physical direction: a
    // curve flagged reversed is converted from a copy turned round, so the
    // result runs in its logical direction and the input stays exactly as
    // it was.
    std::unique_ptr<Fenwo::NurbsSurf> copy;
    if (isCyclic(c->uKnots))
        copy.reset(makeAcisCompliantCurve(c));
    else if (c->isUReversed())
        copy = std::make_unique<Fenwo::NurbsSurf>(*c);
    if (copy == nullptr && (isCyclic(c->uKnots) || c->isUReversed()))
        return nullptr;
    Fenwo::NurbsSurf* work = copy != nullptr ? copy.get() : c;
    if (c->isUReversed())
        work->invertDirection(0);

    const knots& u = *work->uKnots;
    const int count = work->getUCount();
    auto result = std::make_unique<ON_NurbsCurve>();
    bool made = result->Create(spatial ? 3 : 2, work->rational, u.p + 1, count);
    for (int i = 0; made && i < count; ++i) {
        const ON_4dPoint h = homogeneousPoint(work->getWrappedControlPoint(i, 0));
        if (spatial || work->rational)
            // A rational parameter-plane point keeps its homogeneous
            // (w u, w v, w); only a non-rational one may be set from x and y.
            result->SetCV(i, spatial ? h : ON_4dPoint(h.x, h.y, 0.0, h.w));
        else
            result->SetCV(i, ON_3dPoint(h.x, h.y, h.w));
    }
    if (made)
        copyKnots(u, count, [&](int k, double value) { result->SetKnot(k, value); });
    return made ? result.release() : nullptr;
}

Fenwo::NurbsSurf* fromONNurbsCurve(const ON_NurbsCurve& c)
{
    const std::vector<double> values = curveKnots(c);
    std::unique_ptr<knots> u = knotsFromList(values.data(), c.Order(), c.CVCount());
    if (u == nullptr)
        return nullptr;
    auto curve = std::make_unique<Fenwo::NurbsSurf>(*u);
    const int dim = c.m_dim < 3 ? c.m_dim : 3;
    for (int i = 0; i < c.CVCount(); ++i) {
        const double* cv = c.CV(i);
        double h[4] = {0.0, 0.0, 0.0, 1.0};
        for (int d = 0; d < dim; ++d)
            h[d] = cv[d];
        if (c.IsRational())
            h[3] = cv[c.m_dim];
        curve->setHomogeneousControlPoint(i, 0, Vector(h, 4));
    }
    curve->rational = c.IsRational();
    logConversion(*curve);
    return curve.release();
}

Fenwo::NurbsSurf* fromONNurbsSurface(const ON_NurbsSurface& s)
{
    const std::vector<double> uValues = surfaceKnots(s, 0);
    std::unique_ptr<knots> u = knotsFromList(uValues.data(), s.Order(0), s.CVCount(0));
    if (u == nullptr)
        return nullptr;
    const std::vector<double> vValues = surfaceKnots(s, 1);
    std::unique_ptr<knots> v = knotsFromList(vValues.data(), s.Order(1), s.CVCount(1));
    if (v == nullptr)
        return nullptr;
    auto surface = std::make_unique<Fenwo::NurbsSurf>(*u, v.get());
    for (int i = 0; i < s.CVCount(0); ++i)
        for (int j = 0; j < s.CVCount(1); ++j) {
            if (s.IsRational()) {
                ON_4dPoint h;
                s.GetCV(i, j, h);
                const double values[4] = {h.x, h.y, h.z, h.w};
                surface->setHomogeneousControlPoint(i, j, Vector(values, 4));
            } else {
                ON_3dPoint p;
                s.GetCV(i, j, p);
                surface->setControlPointPosition(i, j, Vector(p.x, p.y, p.z));
            }
        }
    surface->rational = s.IsRational();
    surface->updateBoundaryPositions();
    logConversion(*surface);
    return surface.release();
}
