#include "geometry/ParametricGeometry.h"

#include "geometry/NumericRoutines.h"

#include <cmath>
#include <limits>

CParametricGeometry::CParametricGeometry(const CParametricGeometry& other)
    : CGeoObject(other), dimension(other.dimension), kind(other.kind)
{
}

void CParametricGeometry::reverseU()
{
    uReversed = !uReversed;
    if (uReversed)
        uMirror = getDomain(0);
}

void CParametricGeometry::reverseV()
{
    vReversed = !vReversed;
    if (vReversed)
        vMirror = getDomain(1);
}

bool CParametricGeometry::getUBreakpoints(Kor::List<double>& out, bool withEnds) const
{
    if (withEnds) {
        Interval d = getDomain(0);
        out.append(d.min);
        out.append(d.max);
    }
    return true;
}

bool CParametricGeometry::getVBreakpoints(Kor::List<double>& out, bool withEnds) const
{
    if (withEnds) {
        Interval d = getDomain(1);
        out.append(d.min);
        out.append(d.max);
    }
    return true;
}

void CParametricGeometry::getUSampleParameters(Vector& out) const
{
    Interval d = getDomain(0);
    out.resize(2);
    out[0] = d.min;
    out[1] = d.max;
}

void CParametricGeometry::getVSampleParameters(Vector& out) const
{
    if (isSurface()) {
        Interval d = getDomain(1);
        out.resize(2);
        out[0] = d.min;
        out[1] = d.max;
    } else {
        out.resize(1);
        out[0] = 0.0;
    }
}

namespace {

// Adds a point's first three coordinates to a float box (missing ones as 0).
void addToBox(CBox<float, 3>& box, const Vector& p)
{
    CVertex<float, 3> v;
    for (int k = 0; k < 3; ++k)
        v.data[k] = k < p.n ? static_cast<float>(p[k]) : 0.0f;
    box.add(v);
}

} // namespace

bool CParametricGeometry::getBoundingBox(Vector& min, Vector& max, int)
{
    const int dim = getDimension();
    min.resize(dim);
    max.resize(dim);
    min.fill(0.0);
    max.fill(0.0);

    Vector us;
    getUSampleParameters(us);
    if (us.n < 3)
        us = refineValues(us, 5);
    Vector vs;
    if (isSurface()) {
        getVSampleParameters(vs);
        if (vs.n < 3)
            vs = refineValues(vs, 5);
    } else {
        vs = Vector(1);
    }

    bool first = true;
    for (int i = 0; i < us.n; ++i) {
        for (int j = 0; j < vs.n; ++j) {
            Vector p = getPoint(us[i], vs[j]);
            const int m = p.n < dim ? p.n : dim;
            for (int k = 0; k < m; ++k) {
                if (first || p[k] < min[k])
                    min[k] = p[k];
                if (first || p[k] > max[k])
                    max[k] = p[k];
            }
            first = false;
        }
    }
    if (first)
        return false;

    box.setEmpty();
    addToBox(box, min);
    addToBox(box, max);

    if (isCurve()) {
        // Finer samples widen the float box only: min and max stay the
        // values at the sample parameters.
        for (int k = 1; k < us.n; ++k) {
            for (int i = 0; i < 20; ++i) {
                const double s = i / 20.0;
                addToBox(box, getPoint(s * us[k] + (1.0 - s) * us[k - 1], 0.0));
            }
        }
    }
    return true;
}

bool CParametricGeometry::updateBoundingBox(int mode)
{
    Vector min, max;
    return getBoundingBox(min, max, mode);
}

const CBox<float, 3>& CParametricGeometry::getCachedBoundingBox()
{
    if (box.min.data[0] == std::numeric_limits<float>::max())
        updateBoundingBox(0);
    return box;
}

double CParametricGeometry::getLength()
{
    Vector us;
    getUSampleParameters(us);
    double length = 0.0;
    for (int k = 1; k < us.n; ++k)
        length += gaussLegendreLength(*this, us[k - 1], us[k], 5);
    return length;
}

Vector CParametricGeometry::getPoint(double u, double v)
{
    Vector** d = evaluate(0, u, v);
    return d != nullptr ? d[0][0] : Vector(getDimension());
}

Vector CParametricGeometry::getDerivativeU(double u, double v)
{
    Vector** d = evaluate(1, u, v);
    return d != nullptr ? d[1][0] : Vector(getDimension());
}

Vector CParametricGeometry::getDerivativeV(double u, double v)
{
    Vector** d = evaluate(1, u, v);
    return d != nullptr ? d[0][1] : Vector(getDimension());
}

bool CParametricGeometry::evaluateCurve(double t, double* point, double* d1, double* d2,
                                        double* normal)
{
    Vector** d = evaluate(2, t, 0.0);
    if (d == nullptr)
        return false;
    auto copy3 = [](const Vector& from, double* to) {
        for (int k = 0; k < 3; ++k)
            to[k] = k < from.n ? from[k] : 0.0;
    };
    if (point != nullptr)
        copy3(d[0][0], point);
    if (d1 != nullptr)
        copy3(d[1][0], d1);
    if (d2 != nullptr)
        copy3(d[2][0], d2);
    if (normal != nullptr) {
        if (hasNormal())
            copy3(getNormal(t, 0.0), normal);
        else
            normal[0] = normal[1] = normal[2] = 0.0;
    }
    return true;
}

Vector CParametricGeometry::getSideVector(double t)
{
    if (isSurface())
        return Vector(0.0, 0.0, 1.0);
    Vector u = normalized(getTangent(t));
    if (hasNormal())
        return normalized(crossProduct(getNormal(t, 0.0), u));
    return pointOnHyperplane(u, 0.0);
}

Vector CParametricGeometry::getNormal(double u, double v)
{
    Vector du = getDerivativeU(u, v);
    Vector dv = getDerivativeV(u, v);
    return normalized(crossProduct(du, dv));
}

bool CParametricGeometry::getPrincipalCurvatures(double u, double v, Vector& normal, double& k1,
                                                 double& k2)
{
    if (!isSurface())
        return false;
    Vector** d = evaluate(2, u, v);
    if (d == nullptr) {
        k1 = k2 = 0.0;
        return false;
    }
    const Vector& du = d[1][0];
    const Vector& dv = d[0][1];
    normal = normalized(crossProduct(du, dv));

    const double e = dot(du, du);
    const double f = dot(du, dv);
    const double g = dot(dv, dv);
    const double l = dot(normal, d[2][0]);
    const double m = dot(normal, d[1][1]);
    const double n = dot(normal, d[0][2]);

    const double b = l * g - 2.0 * f * m + n * e;
    const double den = 2.0 * (f * f - e * g);
    double disc = b * b - 4.0 * (e * g - f * f) * (l * n - m * m);
    // At umbilic points the discriminant is zero up to rounding; a slightly
    // negative value must not turn both curvatures into NaN.
    if (disc < 0.0)
        disc = 0.0;
    if (std::fabs(den) > 1e-16) {
        const double root = std::sqrt(disc);
        k1 = (root - b) / den;
        k2 = (-b - root) / den;
        return true;
    }
    k1 = k2 = 0.0;
    return false;
}

bool CParametricGeometry::isClosed()
{
    if (!isCurve())
        return false;
    if (closedComputed)
        return closed;
    const double length = getLength();
    const double gap = std::sqrt(squaredDistance(getStartPoint(), getEndPoint()));
    closed = gap < 0.005 * length;
    closedComputed = true;
    return closed;
}

bool CParametricGeometry::toInternalParameters(double& u, double& v) const
{
    if (isUReversed()) {
        Interval d = getDomain(0);
        u = d.max - (u - d.min);
    }
    if (isVReversed()) {
        Interval d = getDomain(1);
        v = d.max - (v - d.min);
    }
    return true;
}

void CParametricGeometry::allocateDerivativeTable(Vector**& table, int order) const
{
    if (table != nullptr || order < 0)
        return;
    const int dim = getDimension();
    table = new Vector*[order + 1];
    for (int i = 0; i <= order; ++i) {
        table[i] = new Vector[order + 1];
        for (int j = 0; j <= order; ++j)
            table[i][j] = Vector(dim);
    }
}

void CParametricGeometry::freeDerivativeTable(Vector**& table, int order)
{
    if (table == nullptr)
        return;
    for (int i = 0; i <= order; ++i)
        delete[] table[i];
    delete[] table;
    table = nullptr;
}
