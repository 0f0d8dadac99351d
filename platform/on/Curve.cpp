#include "platform/on/Curve.h"

#include "platform/on/BSpline.h"

#include <algorithm>
#include <cmath>

bool ON_Curve::EvPoint(double t, ON_3dPoint& point, int side, int* hint) const
{
    ON_3dVector d1, d2;
    return Ev2Der(t, point, d1, d2, side, hint);
}

ON_3dPoint ON_Curve::PointAt(double t) const
{
    ON_3dPoint p;
    if (!EvPoint(t, p))
        return ON_3dPoint(ON_UNSET_VALUE, ON_UNSET_VALUE, ON_UNSET_VALUE);
    return p;
}

// ---------------------------------------------------------------- proxy

void ON_CurveProxy::SetProxyCurve(const ON_Curve* curve)
{
    m_curve = curve;
    m_domain = curve ? curve->Domain() : ON_Interval();
}

void ON_CurveProxy::SetProxyCurve(const ON_Curve* curve, const ON_Interval& domain)
{
    m_curve = curve;
    m_domain = domain;
}

bool ON_CurveProxy::IsValid(ON_TextLog* textLog) const
{
    if (!m_curve) {
        if (textLog)
            textLog->Print("ON_CurveProxy has no curve.\n");
        return false;
    }
    ON_Interval whole = m_curve->Domain();
    if (!m_domain.IsIncreasing() || m_domain.Min() < whole.Min() || m_domain.Max() > whole.Max()) {
        if (textLog)
            textLog->Print("ON_CurveProxy domain [%g, %g] is not inside the curve's [%g, %g].\n",
                           m_domain[0], m_domain[1], whole[0], whole[1]);
        return false;
    }
    return m_curve->IsValid(textLog);
}

int ON_CurveProxy::Dimension() const
{
    return m_curve ? m_curve->Dimension() : 0;
}

bool ON_CurveProxy::GetBBox(double* boxmin, double* boxmax, bool bGrowBox) const
{
    return m_curve && m_curve->GetBBox(boxmin, boxmax, bGrowBox);
}

bool ON_CurveProxy::Ev2Der(double t, ON_3dPoint& point, ON_3dVector& firstDerivative,
                           ON_3dVector& secondDerivative, int side, int* hint) const
{
    return m_curve && m_curve->Ev2Der(t, point, firstDerivative, secondDerivative, side, hint);
}

int ON_CurveProxy::NurbsCurve(ON_NurbsCurve* nurbs, double tolerance,
                              const ON_Interval* subdomain) const
{
    if (!m_curve)
        return 0;
    ON_Interval part = m_domain;
    if (subdomain)
        part.Set(std::max(part.Min(), subdomain->Min()), std::min(part.Max(), subdomain->Max()));
    if (part == m_curve->Domain())
        return m_curve->NurbsCurve(nurbs, tolerance, nullptr);
    return m_curve->NurbsCurve(nurbs, tolerance, &part);
}

// ---------------------------------------------------------------- line

ON_LineCurve::ON_LineCurve(const ON_3dPoint& from, const ON_3dPoint& to) : m_line(from, to)
{
    double length = m_line.Length();
    m_t.Set(0.0, length > 0.0 ? length : 1.0);
}

bool ON_LineCurve::IsValid(ON_TextLog* textLog) const
{
    bool ok = m_t.IsIncreasing() && m_line.from.IsValid() && m_line.to.IsValid() &&
              m_line.from != m_line.to && (m_dim == 2 || m_dim == 3);
    if (!ok && textLog)
        textLog->Print("ON_LineCurve is degenerate or has a bad domain or dimension.\n");
    return ok;
}

bool ON_LineCurve::GetBBox(double* boxmin, double* boxmax, bool bGrowBox) const
{
    ON_BoundingBox box;
    box.Set(m_line.from, false);
    box.Set(m_line.to, true);
    return OnSubset::storeBox(box, boxmin, boxmax, bGrowBox);
}

bool ON_LineCurve::Transform(const ON_Xform& xform)
{
    m_line.from = xform * m_line.from;
    m_line.to = xform * m_line.to;
    return true;
}

bool ON_LineCurve::Ev2Der(double t, ON_3dPoint& point, ON_3dVector& firstDerivative,
                          ON_3dVector& secondDerivative, int, int*) const
{
    if (!m_t.IsIncreasing() || !std::isfinite(t))
        return false;
    point = m_line.PointAt(m_t.NormalizedParameterAt(t));
    firstDerivative = (1.0 / m_t.Length()) * m_line.Direction();
    secondDerivative = ON_3dVector();
    if (m_dim == 2)
        point.z = firstDerivative.z = 0.0;
    return true;
}

int ON_LineCurve::NurbsCurve(ON_NurbsCurve* nurbs, double, const ON_Interval* subdomain) const
{
    if (!nurbs || !IsValid())
        return 0;
    ON_Interval part = subdomain ? *subdomain : m_t;
    if (!part.IsIncreasing())
        return 0;
    ON_NurbsCurve line(m_dim, false, 2, 2);
    line.SetCV(0, PointAt(part[0]));
    line.SetCV(1, PointAt(part[1]));
    line.SetKnot(0, part[0]);
    line.SetKnot(1, part[1]);
    *nurbs = line;
    return 1;
}

// ---------------------------------------------------------------- NURBS

bool ON_NurbsCurve::Create(int dim, bool isRational, int order, int cvCount)
{
    Destroy();
    if (dim < 1 || order < 2 || cvCount < order)
        return false;
    m_dim = dim;
    m_is_rat = isRational ? 1 : 0;
    m_order = order;
    m_cvCount = cvCount;
    m_cvStride = CVSize();
    m_knot.assign(static_cast<size_t>(KnotCount()), 0.0);
    m_cv.assign(static_cast<size_t>(cvCount * m_cvStride), 0.0);
    if (m_is_rat)
        for (int i = 0; i < cvCount; ++i)
            CV(i)[m_dim] = 1.0;
    return true;
}

void ON_NurbsCurve::Destroy()
{
    m_dim = m_is_rat = m_order = m_cvCount = m_cvStride = 0;
    m_knot.clear();
    m_cv.clear();
}

bool ON_NurbsCurve::storageFits() const
{
    return m_dim >= 1 && m_cvCount > 0 && CVSize() <= m_cvStride;
}

double* ON_NurbsCurve::CV(int i)
{
    if (i < 0 || i >= m_cvCount || !storageFits())
        return nullptr;
    return m_cv.data() + static_cast<size_t>(i) * static_cast<size_t>(m_cvStride);
}

const double* ON_NurbsCurve::CV(int i) const
{
    return const_cast<ON_NurbsCurve*>(this)->CV(i);
}

bool ON_NurbsCurve::SetCV(int i, const ON_4dPoint& point)
{
    double* cv = CV(i);
    const double h[4] = {point.x, point.y, point.z, point.w};
    return cv && OnSubset::setHomogeneous(cv, m_dim, m_is_rat != 0, h);
}

bool ON_NurbsCurve::SetCV(int i, const ON_3dPoint& point)
{
    double* cv = CV(i);
    if (!cv)
        return false;
    const double p[3] = {point.x, point.y, point.z};
    OnSubset::setEuclidean(cv, m_dim, m_is_rat != 0, p);
    return true;
}

bool ON_NurbsCurve::GetCV(int i, ON_4dPoint& point) const
{
    const double* cv = CV(i);
    if (!cv)
        return false;
    double h[4];
    OnSubset::getHomogeneous(cv, m_dim, m_is_rat != 0, h);
    point = ON_4dPoint(h[0], h[1], h[2], h[3]);
    return true;
}

bool ON_NurbsCurve::GetCV(int i, ON_3dPoint& point) const
{
    ON_4dPoint h;
    if (!GetCV(i, h) || h.w == 0.0)
        return false;
    point = ON_3dPoint(h.x / h.w, h.y / h.w, h.z / h.w);
    return true;
}

double ON_NurbsCurve::Weight(int i) const
{
    const double* cv = CV(i);
    return cv && m_is_rat ? cv[m_dim] : 1.0;
}

bool ON_NurbsCurve::SetKnot(int k, double value)
{
    if (k < 0 || k >= KnotCount())
        return false;
    m_knot[static_cast<size_t>(k)] = value;
    return true;
}

double ON_NurbsCurve::Knot(int k) const
{
    return k >= 0 && k < KnotCount() ? m_knot[static_cast<size_t>(k)] : ON_UNSET_VALUE;
}

ON_Interval ON_NurbsCurve::Domain() const
{
    if (m_cvCount < m_order || m_order < 2)
        return ON_Interval();
    return ON_Interval(m_knot[static_cast<size_t>(m_order - 2)],
                       m_knot[static_cast<size_t>(m_cvCount - 1)]);
}

bool ON_NurbsCurve::IsValid(ON_TextLog* textLog) const
{
    auto fail = [&](const char* why) {
        if (textLog)
            textLog->Print("ON_NurbsCurve: %s.\n", why);
        return false;
    };
    if (m_order < 2 || m_cvCount < m_order)
        return fail("order below 2 or fewer control points than the order");
    if (!storageFits())
        return fail("dimension or rational flag changed after Create");
    if (!OnSubset::knotsAreValid(m_order, m_cvCount, m_knot.data()))
        return fail("knots decrease, repeat order times or leave an empty domain");
    if (!OnSubset::controlPointsAreValid(m_cv.data(), m_cvCount, m_cvStride, m_dim, m_is_rat != 0))
        return fail("a control point is not finite or a weight not positive");
    return true;
}

bool ON_NurbsCurve::GetBBox(double* boxmin, double* boxmax, bool bGrowBox) const
{
    ON_BoundingBox box;
    for (int i = 0; i < m_cvCount; ++i) {
        ON_3dPoint p;
        if (GetCV(i, p))
            box.Set(p, true);
    }
    return OnSubset::storeBox(box, boxmin, boxmax, bGrowBox);
}

bool ON_NurbsCurve::Transform(const ON_Xform& xform)
{
    for (int i = 0; i < m_cvCount; ++i) {
        ON_4dPoint h;
        if (!GetCV(i, h))
            return false;
        ON_4dPoint moved = xform * h;
        if (!m_is_rat && moved.w != 1.0 && moved.w != 0.0)
            moved = ON_4dPoint(moved.x / moved.w, moved.y / moved.w, moved.z / moved.w, 1.0);
        SetCV(i, moved);
    }
    return true;
}

bool ON_NurbsCurve::Ev2Der(double t, ON_3dPoint& point, ON_3dVector& firstDerivative,
                           ON_3dVector& secondDerivative, int side, int*) const
{
    if (!storageFits())
        return false;
    std::vector<double> rows(static_cast<size_t>(3 * m_dim));
    if (!OnSubset::evaluateCurve(m_dim, m_is_rat != 0, m_order, m_cvCount, m_cvStride,
                                 m_knot.data(), m_cv.data(), t, side, 2, rows.data()))
        return false;
    double out[3 * 3] = {};
    for (int k = 0; k < 3; ++k)
        for (int c = 0; c < std::min(m_dim, 3); ++c)
            out[k * 3 + c] = rows[static_cast<size_t>(k * m_dim + c)];
    point = ON_3dPoint(out[0], out[1], out[2]);
    firstDerivative = ON_3dVector(out[3], out[4], out[5]);
    secondDerivative = ON_3dVector(out[6], out[7], out[8]);
    return true;
}

int ON_NurbsCurve::NurbsCurve(ON_NurbsCurve* nurbs, double, const ON_Interval* subdomain) const
{
    if (!nurbs || !IsValid())
        return 0;
    if (subdomain) {
        ON_Interval d = Domain();
        if (subdomain->Min() > d.Min() || subdomain->Max() < d.Max())
            return 0;
    }
    if (nurbs != this)
        *nurbs = *this;
    return 1;
}
