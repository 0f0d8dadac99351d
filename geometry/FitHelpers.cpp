#include "geometry/FitHelpers.h"

#include <algorithm>
#include <cmath>

namespace {

Vector firstThree(const Vector& v)
{
    Vector r(3);
    for (int k = 0; k < std::min(3, v.n); ++k)
        r[k] = v[k];
    return r;
}

} // namespace

CAxis::CAxis(const Vector& p, const Vector& dir) : point(firstThree(p)), direction(firstThree(dir))
{
    // normalized() keeps a zero vector zero instead of dividing by a tiny norm.
    direction = normalized(direction);
}

void CAxis::orthonormalPair(Vector& u, Vector& v) const
{
    u = normalized(pointOnHyperplane(direction, 0.0));
    v = normalized(crossProduct(direction, u));
}

Vector CAxis::footOnLine(const Vector& x) const
{
    return point + dot(firstThree(x) - point, direction) * direction;
}

Vector CAxis::footOnPlane(const Vector& x) const
{
    const Vector c = firstThree(x);
    return c - dot(c - point, direction) * direction;
}

double angleBetween(const Vector& a, const Vector& b)
{
    return std::acos(std::clamp(cosineBetween(a, b), -1.0, 1.0));
}

bool areParallel(const Vector& a, const Vector& b)
{
    return std::fabs(std::fabs(cosineBetween(a, b)) - 1.0) < 1e-6;
}

Vector& lerp(Vector& out, const Vector& a, const Vector& b, double t)
{
    const int m = std::min(a.n, b.n);
    out.setSize(m);
    for (int k = 0; k < m; ++k)
        out[k] = (1.0 - t) * a[k] + t * b[k];
    return out;
}

Vector lerp(const Vector& a, const Vector& b, double t)
{
    Vector out;
    lerp(out, a, b, t);
    return out;
}

double pointSegmentDistance(const double* a, const double* b, const double* p, int n, double* tOut)
{
    double ab2 = 0.0;
    double apab = 0.0;
    for (int k = 0; k < n; ++k) {
        const double e = b[k] - a[k];
        ab2 += e * e;
        apab += (p[k] - a[k]) * e;
    }
    const double t = ab2 < 2.2e-16 ? -1.0 : apab / ab2;
    if (tOut != nullptr)
        *tOut = t;
    const double tc = std::clamp(t, 0.0, 1.0);
    double d2 = 0.0;
    for (int k = 0; k < n; ++k) {
        const double e = (1.0 - tc) * a[k] + tc * b[k] - p[k];
        d2 += e * e;
    }
    return d2;
}

double segmentDistanceAcross(const double* a, const double* b, const double* p, const double* n,
                             double radius)
{
    double ap[3], d[3];
    for (int k = 0; k < 3; ++k) {
        ap[k] = a[k] - p[k];
        d[k] = b[k] - a[k];
    }
    const auto dot = [](const double* u, const double* v) {
        return u[0] * v[0] + u[1] * v[1] + u[2] * v[2];
    };
    // The stretch of the segment within radius of p: |a - p + t d| <= radius.
    const double dd = dot(d, d), half = dot(ap, d), c = dot(ap, ap) - radius * radius;
    double t0 = 0.0, t1 = 0.0;
    if (dd > 0.0) {
        const double disc = half * half - dd * c;
        if (disc < 0.0)
            return HUGE_VAL;
        const double root = std::sqrt(disc);
        t0 = std::max(0.0, (-half - root) / dd);
        t1 = std::min(1.0, (-half + root) / dd);
    } else if (c > 0.0) {
        return HUGE_VAL;
    }
    if (t0 > t1)
        return HUGE_VAL;
    // The distance across n is least where the segment, seen along n,
    // passes nearest p.
    double a2[3], d2[3];
    const double apn = dot(ap, n), dn = dot(d, n);
    for (int k = 0; k < 3; ++k) {
        a2[k] = ap[k] - apn * n[k];
        d2[k] = d[k] - dn * n[k];
    }
    const double dd2 = dot(d2, d2);
    const double t = std::clamp(dd2 > 0.0 ? -dot(a2, d2) / dd2 : t0, t0, t1);
    const double q[3] = {a2[0] + t * d2[0], a2[1] + t * d2[1], a2[2] + t * d2[2]};
    return std::sqrt(dot(q, q));
}

bool closestPointsOfAxes(const CAxis& a, const CAxis& b, double* s, double* t, Vector& mid,
                         double* d)
{
    const Vector w = a.point - b.point;
    const double c = dot(a.direction, b.direction);
    const double wa = dot(w, a.direction);
    const double wb = dot(w, b.direction);
    const double n2 = normSquared(crossProduct(a.direction, b.direction));
    double sa = 0.0;
    double tb = 0.0;
    bool unique = n2 >= 1e-16;
    if (unique) {
        // Minimise |w + s dA - t dB|^2 with unit directions: the normal
        // equations s - c t = -w.dA and c s - t = -w.dB have determinant
        // c^2 - 1 = -|dA x dB|^2, bounded away from zero here.
        const double det = 1.0 - c * c;
        sa = (c * wb - wa) / det;
        tb = (wb - c * wa) / det;
    } else {
        tb = wb; // foot of A's point on B
    }
    const Vector pa = a.point + sa * a.direction;
    const Vector pb = b.point + tb * b.direction;
    mid = lerp(pa, pb, 0.5);
    if (s != nullptr)
        *s = sa;
    if (t != nullptr)
        *t = tb;
    if (d != nullptr)
        *d = std::sqrt(squaredDistance(pa, pb));
    return unique;
}
