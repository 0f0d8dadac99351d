#include "plugin/HostWrappers.h"

#include "curves/CurveOnSurface.h"
#include "foundation/Logging.h"

#include <cmath>

namespace {

void copy3(double* to, const double* from)
{
    if (to == nullptr)
        return;
    to[0] = from[0];
    to[1] = from[1];
    to[2] = from[2];
}

void setRow(Vector& row, const double* xyz, double sign)
{
    for (int i = 0; i < 3 && i < row.size(); ++i)
        row[i] = sign * xyz[i];
}

// A curve on a host surface that owns both of its wrappers.
class HostCONS : public CCONS {
public:
    HostCONS(ciCurve* uv, ciSurface* s) : CCONS(uv, s) { ownsUVCurve = true; }
    ~HostCONS() override { delete surface; }
};

} // namespace

// ---- CVezadCurveInterface -------------------------------------------------------------------

bool CVezadCurveInterface::getDomain(double& t0, double& t1)
{
    const ON_Interval d = curve->Domain();
    t0 = d.Min();
    t1 = d.Max();
    return true;
}

bool CVezadCurveInterface::evaluate(double t, double* point, double* first, double* second,
                                    double* normal)
{
    const bool ok = curve->Ev2Der(t, p, d1, d2);
    copy3(point, &p.x);
    copy3(first, &d1.x);
    copy3(second, &d2.x);
    if (normal != nullptr)
        normal[0] = normal[1] = normal[2] = 0.0;
    const ON_BrepTrim* trim = ON_BrepTrim::Cast(curve);
    if (ok && trim != nullptr && trim->Face() != nullptr) {
        const ON_BrepFace* face = trim->Face();
        if (point != nullptr) {
            ON_3dPoint q;
            face->EvPoint(p.x, p.y, q);
            copy3(point, &q.x);
        }
        if (normal != nullptr && face->EvNormal(p.x, p.y, n))
            copy3(normal, &n.x);
    }
    return ok;
}

bool CVezadCurveInterface::evaluateOne(double t, int which, double& x, double& y, double& z)
{
    // A failed evaluation leaves the values given, the normal excepted.
    double r[4][3] = {};
    if (which != 3)
        r[which][0] = x, r[which][1] = y, r[which][2] = z;
    const bool ok = evaluate(t, which == 0 ? r[0] : nullptr, which == 1 ? r[1] : nullptr,
                             which == 2 ? r[2] : nullptr, which == 3 ? r[3] : nullptr);
    x = r[which][0], y = r[which][1], z = r[which][2];
    return ok;
}

bool CVezadCurveInterface::getPoint(double t, double& x, double& y, double& z)
{
    return evaluateOne(t, 0, x, y, z);
}

bool CVezadCurveInterface::getFirstDerivative(double t, double& x, double& y, double& z)
{
    return evaluateOne(t, 1, x, y, z);
}

bool CVezadCurveInterface::getSecondDerivative(double t, double& x, double& y, double& z)
{
    return evaluateOne(t, 2, x, y, z);
}

bool CVezadCurveInterface::getNormal(double t, double& x, double& y, double& z)
{
    return evaluateOne(t, 3, x, y, z) && x * x + y * y + z * z > 0.001;
}

// ---- ciCurve --------------------------------------------------------------------------------

ciCurve::ciCurve(C3DCurveInterface* c, bool owns) : curve(c), ownsCurve(owns)
{
    domain = sourceDomain = Interval(0.0, 0.0);
    double t0 = 0.0, t1 = 0.0;
    if (curve != nullptr)
        curve->getDomain(t0, t1);
    if (t0 <= t1) {
        sourceDomain = Interval(t0, t1);
        domain = Interval(t0, t1);
    } else {
        sourceDomain = Interval(0.0, 1.0);
        wrapped = true;
        t1 += sourceDomain.getLength();
        if (t1 < t0)
            ioLog() << " upps, a Single enhancement did not suceed " << Interval(t0, t1) << " "
                    << sourceDomain << std::endl;
        domain = Interval(std::min(t0, t1), std::max(t0, t1));
    }
    allocateDerivativeTable(table, 3);
}

ciCurve::~ciCurve()
{
    freeDerivativeTable(table, 3);
    if (ownsCurve)
        delete curve;
}

double ciCurve::wrap(double t) const
{
    const double a = sourceDomain.min, b = sourceDomain.max;
    const double r = std::fmod(t - a, b - a);
    if (std::fabs(r) < 1e-8)
        return a;
    return a <= t ? a + r : b + r;
}

Vector** ciCurve::evaluate(int order, double t, double)
{
    if (wrapped)
        t = wrap(t);
    const bool reversed = isUReversed();
    if (reversed)
        t = domain.max - t + domain.min;
    if (order < 0 || curve == nullptr)
        return table;
    double p[3] = {0.0, 0.0, 0.0}, d1[3] = {0.0, 0.0, 0.0}, d2[3] = {0.0, 0.0, 0.0};
    const bool ok =
        curve->evaluate(t, p, order > 0 ? d1 : nullptr, order > 1 ? d2 : nullptr, nullptr);
    if (ok)
        setRow(table[0][0], p, 1.0);
    if (order > 0)
        setRow(table[1][0], d1, reversed ? -1.0 : 1.0);
    if (order > 1)
        setRow(table[2][0], d2, 1.0);
    return table;
}

bool ciCurve::hasNormal() const
{
    if (curve == nullptr)
        return false;
    double t = 0.5 * domain.min + 0.5 * domain.max, x = 0.0, y = 0.0, z = 0.0;
    if (wrapped)
        t = wrap(t);
    return curve->getNormal(t, x, y, z);
}

Vector ciCurve::getNormal(double t, double)
{
    double x = 0.0, y = 0.0, z = 0.0;
    if (curve != nullptr)
        curve->getNormal(wrapped ? wrap(t) : t, x, y, z);
    return Vector(x, y, z);
}

bool ciCurve::evaluateCurve(double t, double* point, double* d1, double* d2, double* normal)
{
    return curve != nullptr && curve->evaluate(t, point, d1, d2, normal);
}

bool ciCurve::getUnitRange(double& a, double& b) const
{
    a = 0.0;
    b = 1.0;
    return true;
}

// ---- ciSurface ------------------------------------------------------------------------------

ciSurface::ciSurface(const ON_Surface* s) : surface(s)
{
    kind = 1;
    const ON_Interval du = s->Domain(0), dv = s->Domain(1);
    u = Interval(du.Min(), du.Max());
    v = Interval(dv.Min(), dv.Max());
    allocateDerivativeTable(table, 3);
}

ciSurface::~ciSurface()
{
    freeDerivativeTable(table, 3);
}

Vector** ciSurface::evaluate(int order, double s, double t)
{
    ON_3dPoint p;
    ON_3dVector du, dv, duu, duv, dvv;
    surface->Ev2Der(s, t, p, du, dv, duu, duv, dvv);
    if (order < 0)
        return table;
    setRow(table[0][0], &p.x, 1.0);
    if (order > 0) {
        setRow(table[1][0], &du.x, isUReversed() ? -1.0 : 1.0);
        setRow(table[0][1], &dv.x, isVReversed() ? -1.0 : 1.0);
    }
    if (order > 1) {
        setRow(table[2][0], &duu.x, 1.0);
        setRow(table[1][1], &duv.x, 1.0);
        setRow(table[0][2], &dvv.x, 1.0);
    }
    return table;
}

// ---- collectPatchBoundary -------------------------------------------------------------------

CParametricGeometry* collectPatchBoundary(const ON_Curve* c)
{
    if (c == nullptr)
        return nullptr;
    const ON_BrepTrim* trim = nullptr;
    if (const ON_CurveProxy* proxy = ON_CurveProxy::Cast(c)) {
        if (const ON_BrepEdge* edge = ON_BrepEdge::Cast(proxy)) {
            for (int i = 0; i < edge->TrimCount(); ++i)
                trim = edge->Trim(i);
        } else {
            trim = ON_BrepTrim::Cast(proxy);
        }
    }
    if (trim != nullptr && trim->TrimCurveOf() != nullptr && trim->SurfaceOf() != nullptr)
        return new HostCONS(new ciCurve(new CVezadCurveInterface(trim->TrimCurveOf()), true),
                            new ciSurface(trim->SurfaceOf()));
    return new ciCurve(new CVezadCurveInterface(c), true);
}
