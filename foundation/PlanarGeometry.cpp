#include "foundation/PlanarGeometry.h"

#include <algorithm>
#include <cmath>

bool intersectSegments(const CVertex<double, 3>& a1, const CVertex<double, 3>& a2,
                       const CVertex<double, 3>& b1, const CVertex<double, 3>& b2, double& t)
{
    double s = 0.0;
    return intersectSegments(a1, a2, b1, b2, t, s);
}

bool intersectSegments(const CVertex<double, 3>& a1, const CVertex<double, 3>& a2,
                       const CVertex<double, 3>& b1, const CVertex<double, 3>& b2, double& t,
                       double& s)
{
    const double dx = a2[0] - a1[0], dy = a2[1] - a1[1];
    const double ex = b2[0] - b1[0], ey = b2[1] - b1[1];
    const double dLen = std::hypot(dx, dy);
    const double eLen = std::hypot(ex, ey);
    if (dLen < 1e-14 || eLen < 1e-14)
        return false;
    const double det = dx * ey - dy * ex;
    // The parallel test is relative to the segment lengths so that it means
    // the same in model units and in small parameter ranges.
    if (!(std::fabs(det) >= 1e-8 * dLen * eLen))
        return false;
    const double wx = b1[0] - a1[0], wy = b1[1] - a1[1];
    const double ta = (wx * ey - wy * ex) / det;
    const double sb = (wx * dy - wy * dx) / det;
    t = ta;
    s = sb;
    const double slack = 1e-12;
    return ta >= -slack && ta <= 1.0 + slack && sb >= -slack && sb <= 1.0 + slack;
}

double signedAngle(const CVertex<double, 3>& a, const CVertex<double, 3>& p,
                   const CVertex<double, 3>& b)
{
    const double ux = a[0] - p[0], uy = a[1] - p[1];
    const double vx = b[0] - p[0], vy = b[1] - p[1];
    const double nu = std::max(std::hypot(ux, uy), 2.2e-16);
    const double nv = std::max(std::hypot(vx, vy), 2.2e-16);
    // Rounding can push the cosine just beyond +-1; clamping keeps the
    // straight angle at pi instead of losing it as NaN.
    const double c = std::clamp((ux * vx + uy * vy) / (nu * nv), -1.0, 1.0);
    double angle = std::acos(c);
    if (!std::isfinite(angle))
        angle = 0.0;
    const double cross = ux * vy - uy * vx;
    return cross < 0.0 ? -angle : angle;
}

namespace {

template <class PointAt>
bool crossingTest(int n, PointAt pointAt, const CVertex<double, 3>& p, bool useSecondAxis)
{
    if (n <= 0)
        return false;
    const int a = useSecondAxis ? 1 : 0;
    const int b = 1 - a;
    int crossings = 0;
    for (int i = 0; i < n; ++i) {
        const CVertex<double, 3>& v0 = pointAt(i);
        const CVertex<double, 3>& v1 = pointAt((i + 1) % n);
        const double d0 = v0[a] - p[a];
        const double d1 = v1[a] - p[a];
        if ((d0 >= 0.0) != (d1 >= 0.0)) {
            const double c = (v1[b] * d0 - v0[b] * d1) / (d0 - d1);
            if (c >= p[b])
                ++crossings;
        } else if (std::fabs(d0) + std::fabs(d1) < 1e-8) {
            // The edge lies on the test line.
            const double lo = std::min(v0[b], v1[b]);
            const double hi = std::max(v0[b], v1[b]);
            if (hi - lo < 2.2e-15) {
                if (std::fabs(p[b] - lo) < 1.1e-15)
                    return true;
            } else if (lo <= p[b] && p[b] <= hi) {
                return true;
            }
        }
    }
    if (crossings % 2 == 1)
        return true;
    if (useSecondAxis)
        return crossingTest(n, pointAt, p, false);
    return false;
}

} // namespace

bool pointInPolygon(const Kor::List<CVertex<double, 3>*>& polygon, const CVertex<double, 3>& p,
                    bool useSecondAxis)
{
    return crossingTest(
        polygon.count, [&](int i) -> const CVertex<double, 3>& { return *polygon[i]; }, p,
        useSecondAxis);
}

bool pointInVertexArray(const CVertex<double, 3>* const* points, int n, const CVertex<double, 3>& p,
                        bool useSecondAxis)
{
    return crossingTest(
        n, [&](int i) -> const CVertex<double, 3>& { return *points[i]; }, p, useSecondAxis);
}
