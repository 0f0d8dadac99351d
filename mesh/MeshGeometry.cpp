#include "mesh/MeshGeometry.h"

#include <cfloat>
#include <cmath>
#include <ostream>

CVector<float, 3> operator-(const CVector<float, 3>& v)
{
    return CVector<float, 3>(-v.data[0], -v.data[1], -v.data[2]);
}

CVertex<float, 3>& operator+=(CVertex<float, 3>& a, const CVertex<float, 3>& b)
{
    for (int i = 0; i < 3; ++i)
        a.data[i] += b.data[i];
    return a;
}

CVertex<float, 3>& operator-=(CVertex<float, 3>& a, const CVertex<float, 3>& b)
{
    for (int i = 0; i < 3; ++i)
        a.data[i] -= b.data[i];
    return a;
}

void addScaled(CVertex<float, 3>& a, double s, const CVertex<float, 3>& b)
{
    const float f = float(s);
    for (int i = 0; i < 3; ++i)
        a.data[i] += f * b.data[i];
}

CVertex<float, 3> lerp(double t, const CVertex<float, 3>& a, const CVertex<float, 3>& b)
{
    CVertex<float, 3> result;
    lerpInto(t, a.data, b.data, result.data);
    return result;
}

void lerpInto(double t, const float* a, const float* b, float* out)
{
    const float wb = float(t);
    const float wa = 1.0f - wb;
    for (int i = 0; i < 3; ++i)
        out[i] = wa * a[i] + wb * b[i];
}

float dotProduct(const CVertex<float, 3>& a, const CVertex<float, 3>& b)
{
    return a.data[0] * b.data[0] + a.data[1] * b.data[1] + a.data[2] * b.data[2];
}

void crossProductInto(const CVertex<float, 3>& a, const CVertex<float, 3>& b,
                      CVertex<float, 3>& out)
{
    const float x = a.data[1] * b.data[2] - a.data[2] * b.data[1];
    const float y = a.data[2] * b.data[0] - a.data[0] * b.data[2];
    const float z = a.data[0] * b.data[1] - a.data[1] * b.data[0];
    out.data[0] = x;
    out.data[1] = y;
    out.data[2] = z;
}

void triangleNormal(const CVertex<float, 3>& a, const CVertex<float, 3>& b,
                    const CVertex<float, 3>& c, CVertex<float, 3>& out)
{
    const float e1[3] = {b.data[0] - a.data[0], b.data[1] - a.data[1], b.data[2] - a.data[2]};
    const float e2[3] = {c.data[0] - a.data[0], c.data[1] - a.data[1], c.data[2] - a.data[2]};
    out.data[0] = e1[1] * e2[2] - e1[2] * e2[1];
    out.data[1] = e1[2] * e2[0] - e1[0] * e2[2];
    out.data[2] = e1[0] * e2[1] - e1[1] * e2[0];
}

double normalize(CVertex<float, 3>& v)
{
    return normalizeCoordinates<float, 3>(v.data);
}

double triangleNormalAndArea(const CVertex<float, 3>& a, const CVertex<float, 3>& b,
                             const CVertex<float, 3>& c, CVertex<float, 3>& out)
{
    triangleNormal(a, b, c, out);
    return 0.5 * normalize(out);
}

float squaredPointDistance(const CVertex<float, 3>& a, const CVertex<float, 3>& b)
{
    return squaredDistance(a, b);
}

float pointDistance(const CVertex<float, 3>& a, const CVertex<float, 3>& b)
{
    return std::sqrt(squaredDistance(a, b));
}

float pointLineDistance2(const CVertex<float, 3>& p, const CVertex<float, 3>& base,
                         const CVertex<float, 3>& d)
{
    if (p.data == nullptr || base.data == nullptr || d.data == nullptr)
        return FLT_MAX;
    float r[3];
    for (int i = 0; i < 3; ++i)
        r[i] = p.data[i] - base.data[i];
    const float t = r[0] * d.data[0] + r[1] * d.data[1] + r[2] * d.data[2];
    float s = 0.0f;
    for (int i = 0; i < 3; ++i) {
        const float e = r[i] - t * d.data[i];
        s += e * e;
    }
    return s;
}

namespace {

template <class T> T segmentDistance2(const T* a, const T* b, const T* p, int dims, T* t)
{
    T len2 = T(0), proj = T(0);
    for (int i = 0; i < dims; ++i) {
        const T e = b[i] - a[i];
        len2 += e * e;
        proj += (p[i] - a[i]) * e;
    }
    const bool degenerate = !(len2 >= T(2.2e-16));
    const T u = degenerate ? T(-1) : proj / len2;
    if (t != nullptr)
        *t = u;
    const T c = degenerate ? T(0) : clampValue(T(0), T(1), u);
    T s = T(0);
    for (int i = 0; i < dims; ++i) {
        const T e = p[i] - (a[i] + c * (b[i] - a[i]));
        s += e * e;
    }
    return s;
}

} // namespace

double pointSegmentDistance2(const double* a, const double* b, const double* p, int dims, double* t)
{
    return segmentDistance2(a, b, p, dims, t);
}

float pointSegmentDistance2(const float* a, const float* b, const float* p, int dims, float* t)
{
    return segmentDistance2(a, b, p, dims, t);
}

CVector<float, 3> anyPerpendicular(const CVertex<float, 3>& v)
{
    int small = 0, large = 0;
    for (int i = 1; i < 3; ++i) {
        if (std::fabs(v.data[i]) < std::fabs(v.data[small]))
            small = i;
        if (std::fabs(v.data[i]) > std::fabs(v.data[large]))
            large = i;
    }
    if (small == large) { // all components of equal size
        small = 1;
        large = 0;
    }
    CVector<float, 3> w;
    w.data[small] = 1.0f;
    // w.v = v[small] + w[large] v[large] = 0.
    if (v.data[large] != 0.0f)
        w.data[large] = -v.data[small] / v.data[large];
    return w;
}

double nearestPolygonEdgeInPlane(const CVertex<float, 3>* pts, int n, const CVertex<float, 3>& o,
                                 const CVertex<float, 3>& u, const CVertex<float, 3>& v, int& e0,
                                 int& e1)
{
    if (n < 2 || pts == nullptr)
        return DBL_MAX;
    auto project = [&](int k, double out[2]) {
        const CVertex<float, 3> r = pts[k] - o;
        out[0] = dotProduct(r, u);
        out[1] = dotProduct(r, v);
    };
    const double origin[2] = {0.0, 0.0};
    double best = DBL_MAX;
    for (int k = 0; k < n; ++k) {
        double a[2], b[2], t = -1.0;
        project(k, a);
        project((k + 1) % n, b);
        const double d2 = pointSegmentDistance2(a, b, origin, 2, &t);
        if (t >= 0.0 && t <= 1.0 && d2 < best) {
            best = d2;
            e0 = k;
            e1 = (k + 1) % n;
        }
    }
    return best;
}

std::ostream& operator<<(std::ostream& os, const CVertex<float, 3>& p)
{
    return os << p.data[0] << ' ' << p.data[1] << ' ' << p.data[2];
}

bool lessUnorderedPair(const int* a, const int* b)
{
    const int a0 = std::min(a[0], a[1]), a1 = std::max(a[0], a[1]);
    const int b0 = std::min(b[0], b[1]), b1 = std::max(b[0], b[1]);
    return a0 != b0 ? a0 < b0 : a1 < b1;
}

double triangleQuality(double a, double b, double c)
{
    const double longest = std::max({a, b, c});
    if (longest <= 2.3e-16)
        return 0.0;
    const double s = 0.5 * (a + b + c);
    const double r2 = std::max((s - a) * (s - b) * (s - c) / s, 2.2e-16);
    return std::sqrt(12.0) * std::sqrt(r2) / longest;
}
