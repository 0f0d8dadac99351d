#include "curves/IsoParametricCurve.h"

namespace {

int sideOf(const Interval& constant, double value, int direction)
{
    const int low = direction == 2 ? 3 : 1;
    if (value == constant.min)
        return low;
    if (value == constant.max)
        return low + 1;
    return 0;
}

} // namespace

CIsoParametricCurve::CIsoParametricCurve(CParametricGeometry* s, double constant, int dir)
    : CCONS(nullptr, s), value(constant), direction(dir)
{
    if (surface != nullptr) {
        domain = surface->getDomain(direction == 2 ? 1 : 0);
        side = sideOf(constantDomain(), value, direction);
    }
}

CIsoParametricCurve::CIsoParametricCurve(CParametricGeometry* s, int sideCode)
    : CCONS(nullptr, s), direction(sideCode >= 3 && sideCode <= 4 ? 2 : 3)
{
    if (surface == nullptr)
        return;
    const Interval constant = constantDomain();
    value = sideCode == 2 || sideCode == 4 ? constant.max : constant.min;
    side = sideCode >= 1 && sideCode <= 4 ? sideCode : 0;
    domain = surface->getDomain(direction == 2 ? 1 : 0);
}

Interval CIsoParametricCurve::constantDomain() const
{
    return surface->getDomain(direction == 2 ? 0 : 1);
}

CParametricGeometry* CIsoParametricCurve::clone() const
{
    return new CIsoParametricCurve(surface, value, direction);
}

void CIsoParametricCurve::setParameters(double t)
{
    u = direction == 2 ? value : t;
    v = direction == 2 ? t : value;
}

Vector** CIsoParametricCurve::evaluate(int order, double t, double)
{
    if (surface == nullptr)
        return nullptr;
    Vector** D = memberTable();
    setParameters(t);
    const int o = order < 0 ? 0 : order > 2 ? 2 : order;
    Vector** S = surface->evaluate(o, u, v);
    if (S == nullptr)
        return nullptr;
    D[0][0] = S[0][0];
    for (int k = 1; k <= o; ++k)
        D[k][0] = direction == 2 ? S[0][k] : S[k][0];
    return D;
}

Vector CIsoParametricCurve::insideDomain(const Vector& values, int& inner) const
{
    Vector out(values.n + 2);
    int count = 0;
    out[count++] = domain.min;
    inner = 0;
    for (int i = 1; i + 1 < values.n; ++i)
        if (values[i] > domain.min && values[i] < domain.max) {
            out[count++] = values[i];
            ++inner;
        }
    out[count++] = domain.max;
    out.resize(count);
    return out;
}

bool CIsoParametricCurve::getUKinks(Vector& kinks) const
{
    if (surface == nullptr)
        return false;
    Vector all;
    if (direction == 2)
        surface->getVKinks(all);
    else
        surface->getUKinks(all);
    int inner = 0;
    Vector inside = insideDomain(all, inner);
    if (inner == 0)
        return false;
    kinks = inside;
    return true;
}

void CIsoParametricCurve::getUSampleParameters(Vector& out) const
{
    if (surface == nullptr)
        return;
    Vector all;
    if (direction == 2)
        surface->getVSampleParameters(all);
    else
        surface->getUSampleParameters(all);
    int inner = 0;
    out = insideDomain(all, inner);
}

Vector CIsoParametricCurve::getSideVector(double t, bool orthogonal)
{
    if (surface == nullptr)
        return Vector(3);
    setParameters(t);
    Vector** S = surface->evaluate(1, u, v);
    const Vector along = normalized(direction == 2 ? S[0][1] : S[1][0]);
    Vector across = normalized(direction == 2 ? S[1][0] : S[0][1]);
    if (orthogonal)
        across.addScaled(-dot(across, along), along);
    across.normalize();
    const Interval constant = constantDomain();
    if (0.5 * constant.min + 0.5 * constant.max > value)
        across *= -1.0;
    return across;
}

Vector CIsoParametricCurve::getNormal(double t, double)
{
    setParameters(t);
    return getSurfaceNormal(u, v);
}
