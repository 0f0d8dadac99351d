#include "platform/on/Surface.h"

#include "platform/on/BSpline.h"

#include <algorithm>
#include <cmath>

namespace {

ON_3dVector cross(const ON_3dVector& a, const ON_3dVector& b)
{
    return ON_3dVector(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

} // namespace

bool ON_Surface::Ev2Der(double s, double t, ON_3dPoint& point, ON_3dVector& ds, ON_3dVector& dt,
                        ON_3dVector& dss, ON_3dVector& dst, ON_3dVector& dtt, int quadrant,
                        int* hint) const
{
    ON_3dVector v[6];
    if (!EvDerivatives(s, t, 2, v, quadrant, hint))
        return false;
    point = ON_3dPoint(v[0]);
    ds = v[1];
    dt = v[2];
    dss = v[3];
    dst = v[4];
    dtt = v[5];
    return true;
}

bool ON_Surface::EvPoint(double s, double t, ON_3dPoint& point, int quadrant, int* hint) const
{
    ON_3dVector v[1];
    if (!EvDerivatives(s, t, 0, v, quadrant, hint))
        return false;
    point = ON_3dPoint(v[0]);
    return true;
}

namespace {

// The unit normal d/ds x d/dt from the first derivatives; false where they
// are parallel (or either vanishes).
bool unitNormal(const ON_3dVector& du, const ON_3dVector& dv, ON_3dVector& normal)
{
    ON_3dVector n = cross(du, dv);
    const double scale = du.Length() * dv.Length();
    if (scale > 0.0 && n.Length() > 1e-12 * scale && n.Unitize()) {
        normal = n;
        return true;
    }
    return false;
}

} // namespace

bool ON_Surface::EvNormal(double s, double t, ON_3dVector& normal, int quadrant, int* hint) const
{
    ON_3dPoint point;
    return EvNormal(s, t, point, normal, quadrant, hint);
}

bool ON_Surface::EvNormal(double s, double t, ON_3dPoint& point, ON_3dVector& normal,
                          int quadrant, int* hint) const
{
    const ON_Interval ds = Domain(0), dt = Domain(1);
    if (!ds.IsValid() || !dt.IsValid())
        return false;
    // Steps toward the middle of the domain, for points where d/ds and d/dt
    // are parallel; the first is no step at all, and gives the point.
    static const double steps[] = {0.0, 1e-8, 1e-6, 1e-4};
    const double sMid = 0.5 * (ds[0] + ds[1]), tMid = 0.5 * (dt[0] + dt[1]);
    ON_3dPoint at;
    for (double step : steps) {
        const double ss = s + step * (sMid - s), tt = t + step * (tMid - t);
        ON_3dVector v[3];
        if (!EvDerivatives(ss, tt, 1, v, quadrant, hint))
            return false;
        if (step == 0.0)
            at = ON_3dPoint(v[0]);
        if (unitNormal(v[1], v[2], normal)) {
            point = at;
            return true;
        }
    }
    return false;
}

ON_3dPoint ON_Surface::PointAt(double s, double t) const
{
    ON_3dPoint p;
    if (!EvPoint(s, t, p))
        return ON_3dPoint(ON_UNSET_VALUE, ON_UNSET_VALUE, ON_UNSET_VALUE);
    return p;
}

// ---------------------------------------------------------------- proxy

bool ON_SurfaceProxy::IsValid(ON_TextLog* textLog) const
{
    if (!m_surface) {
        if (textLog)
            textLog->Print("ON_SurfaceProxy has no surface.\n");
        return false;
    }
    return m_surface->IsValid(textLog);
}

int ON_SurfaceProxy::Dimension() const
{
    return m_surface ? m_surface->Dimension() : 0;
}

bool ON_SurfaceProxy::GetBBox(double* boxmin, double* boxmax, bool bGrowBox) const
{
    return m_surface && m_surface->GetBBox(boxmin, boxmax, bGrowBox);
}

ON_Interval ON_SurfaceProxy::Domain(int dir) const
{
    return m_surface ? m_surface->Domain(dir) : ON_Interval();
}

bool ON_SurfaceProxy::EvDerivatives(double s, double t, int derCount, ON_3dVector* v, int quadrant,
                                    int* hint) const
{
    return m_surface && m_surface->EvDerivatives(s, t, derCount, v, quadrant, hint);
}

int ON_SurfaceProxy::NurbsSurface(ON_NurbsSurface* nurbs, double tolerance,
                                  const ON_Interval* sSubdomain,
                                  const ON_Interval* tSubdomain) const
{
    return m_surface ? m_surface->NurbsSurface(nurbs, tolerance, sSubdomain, tSubdomain) : 0;
}

// ---------------------------------------------------------------- NURBS

bool ON_NurbsSurface::Create(int dim, bool isRational, int order0, int order1, int cvCount0,
                             int cvCount1)
{
    Destroy();
    if (dim < 1 || order0 < 2 || order1 < 2 || cvCount0 < order0 || cvCount1 < order1)
        return false;
    m_dim = dim;
    m_is_rat = isRational ? 1 : 0;
    m_order[0] = order0;
    m_order[1] = order1;
    m_cvCount[0] = cvCount0;
    m_cvCount[1] = cvCount1;
    m_cvStride = CVSize();
    for (int dir = 0; dir < 2; ++dir)
        m_knot[dir].assign(static_cast<size_t>(KnotCount(dir)), 0.0);
    m_cv.assign(static_cast<size_t>(cvCount0) * static_cast<size_t>(cvCount1) *
                    static_cast<size_t>(m_cvStride),
                0.0);
    if (m_is_rat)
        for (int i = 0; i < cvCount0; ++i)
            for (int j = 0; j < cvCount1; ++j)
                CV(i, j)[m_dim] = 1.0;
    return true;
}

void ON_NurbsSurface::Destroy()
{
    m_dim = m_is_rat = m_cvStride = 0;
    for (int dir = 0; dir < 2; ++dir) {
        m_order[dir] = m_cvCount[dir] = 0;
        m_knot[dir].clear();
    }
    m_cv.clear();
}

int ON_NurbsSurface::KnotCount(int dir) const
{
    const int d = dir ? 1 : 0;
    return m_cvCount[d] > 0 ? m_order[d] + m_cvCount[d] - 2 : 0;
}

bool ON_NurbsSurface::storageFits() const
{
    return m_dim >= 1 && m_cvCount[0] > 0 && m_cvCount[1] > 0 && CVSize() <= m_cvStride;
}

double* ON_NurbsSurface::CV(int i, int j)
{
    if (i < 0 || j < 0 || i >= m_cvCount[0] || j >= m_cvCount[1] || !storageFits())
        return nullptr;
    return m_cv.data() +
           (static_cast<size_t>(i) * static_cast<size_t>(m_cvCount[1]) + static_cast<size_t>(j)) *
               static_cast<size_t>(m_cvStride);
}

const double* ON_NurbsSurface::CV(int i, int j) const
{
    return const_cast<ON_NurbsSurface*>(this)->CV(i, j);
}

bool ON_NurbsSurface::SetCV(int i, int j, const ON_4dPoint& point)
{
    double* cv = CV(i, j);
    const double h[4] = {point.x, point.y, point.z, point.w};
    return cv && OnSubset::setHomogeneous(cv, m_dim, m_is_rat != 0, h);
}

bool ON_NurbsSurface::SetCV(int i, int j, const ON_3dPoint& point)
{
    double* cv = CV(i, j);
    if (!cv)
        return false;
    const double p[3] = {point.x, point.y, point.z};
    OnSubset::setEuclidean(cv, m_dim, m_is_rat != 0, p);
    return true;
}

bool ON_NurbsSurface::GetCV(int i, int j, ON_4dPoint& point) const
{
    const double* cv = CV(i, j);
    if (!cv)
        return false;
    double h[4];
    OnSubset::getHomogeneous(cv, m_dim, m_is_rat != 0, h);
    point = ON_4dPoint(h[0], h[1], h[2], h[3]);
    return true;
}

bool ON_NurbsSurface::GetCV(int i, int j, ON_3dPoint& point) const
{
    ON_4dPoint h;
    if (!GetCV(i, j, h) || h.w == 0.0)
        return false;
    point = ON_3dPoint(h.x / h.w, h.y / h.w, h.z / h.w);
    return true;
}

double ON_NurbsSurface::Weight(int i, int j) const
{
    const double* cv = CV(i, j);
    return cv && m_is_rat ? cv[m_dim] : 1.0;
}

bool ON_NurbsSurface::SetKnot(int dir, int k, double value)
{
    if (k < 0 || k >= KnotCount(dir))
        return false;
    m_knot[dir ? 1 : 0][static_cast<size_t>(k)] = value;
    return true;
}

double ON_NurbsSurface::Knot(int dir, int k) const
{
    return k >= 0 && k < KnotCount(dir) ? m_knot[dir ? 1 : 0][static_cast<size_t>(k)]
                                        : ON_UNSET_VALUE;
}

ON_Interval ON_NurbsSurface::Domain(int dir) const
{
    const int d = dir ? 1 : 0;
    if (m_order[d] < 2 || m_cvCount[d] < m_order[d])
        return ON_Interval();
    return ON_Interval(m_knot[d][static_cast<size_t>(m_order[d] - 2)],
                       m_knot[d][static_cast<size_t>(m_cvCount[d] - 1)]);
}

bool ON_NurbsSurface::IsValid(ON_TextLog* textLog) const
{
    auto fail = [&](const char* why) {
        if (textLog)
            textLog->Print("ON_NurbsSurface: %s.\n", why);
        return false;
    };
    for (int dir = 0; dir < 2; ++dir)
        if (m_order[dir] < 2 || m_cvCount[dir] < m_order[dir])
            return fail("order below 2 or fewer control points than the order");
    if (!storageFits())
        return fail("dimension or rational flag changed after Create");
    for (int dir = 0; dir < 2; ++dir)
        if (!OnSubset::knotsAreValid(m_order[dir], m_cvCount[dir], m_knot[dir].data()))
            return fail("knots decrease, repeat order times or leave an empty domain");
    if (!OnSubset::controlPointsAreValid(m_cv.data(), m_cvCount[0] * m_cvCount[1], m_cvStride,
                                         m_dim, m_is_rat != 0))
        return fail("a control point is not finite or a weight not positive");
    return true;
}

bool ON_NurbsSurface::GetBBox(double* boxmin, double* boxmax, bool bGrowBox) const
{
    ON_BoundingBox box;
    for (int i = 0; i < m_cvCount[0]; ++i)
        for (int j = 0; j < m_cvCount[1]; ++j) {
            ON_3dPoint p;
            if (GetCV(i, j, p))
                box.Set(p, true);
        }
    return OnSubset::storeBox(box, boxmin, boxmax, bGrowBox);
}

bool ON_NurbsSurface::Transform(const ON_Xform& xform)
{
    for (int i = 0; i < m_cvCount[0]; ++i)
        for (int j = 0; j < m_cvCount[1]; ++j) {
            ON_4dPoint h;
            if (!GetCV(i, j, h))
                return false;
            SetCV(i, j, xform * h);
        }
    return true;
}

bool ON_NurbsSurface::EvDerivatives(double s, double t, int derCount, ON_3dVector* v,
                                    int quadrant, int*) const
{
    if (!storageFits() || derCount < 0 || derCount > 2)
        return false;
    const int entries = OnSubset::surfaceRowCount(derCount);
    OnSubset::Scratch rows(static_cast<size_t>(entries * m_dim)); // rows of m_dim doubles
    const double* knots[2] = {m_knot[0].data(), m_knot[1].data()};
    const int sSide = quadrant == 2 || quadrant == 3 ? -1 : 1;
    const int tSide = quadrant == 3 || quadrant == 4 ? -1 : 1;
    if (!OnSubset::evaluateSurface(m_dim, m_is_rat != 0, m_order, m_cvCount, m_cvStride, knots,
                                   m_cv.data(), s, t, sSide, tSide, rows.data(), derCount))
        return false;
    for (int e = 0; e < entries; ++e) {
        v[e] = ON_3dVector();
        for (int c = 0; c < std::min(m_dim, 3); ++c)
            v[e][c] = rows[static_cast<size_t>(e * m_dim + c)];
    }
    return true;
}

int ON_NurbsSurface::NurbsSurface(ON_NurbsSurface* nurbs, double, const ON_Interval* sSubdomain,
                                  const ON_Interval* tSubdomain) const
{
    if (!nurbs || !IsValid())
        return 0;
    const ON_Interval* sub[2] = {sSubdomain, tSubdomain};
    for (int dir = 0; dir < 2; ++dir) {
        ON_Interval d = Domain(dir);
        if (sub[dir] && (sub[dir]->Min() > d.Min() || sub[dir]->Max() < d.Max()))
            return 0;
    }
    if (nurbs != this)
        *nurbs = *this;
    return 1;
}
