#include "geometry/PointParameters.h"

#include "foundation/PointSequence.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

// Cumulative parameters t[0] = 0, t[i] = t[i - 1] + step of modes 1, 2, 3 and
// the uniform default; d[i] is the chord from point i - 1 to point i.
std::vector<double> stepParameters(const IndexSubset<CFitPoint>& points,
                                   const std::vector<double>& d, int mode)
{
    const int n = points.count;
    // Turning angle at vertex j (radians, at most pi/2); none at the ends.
    auto turning = [&](int j) {
        if (j <= 0 || j >= n - 1)
            return 0.0;
        const double inner =
            threePointAngle(points.at(j - 1).Point, points.at(j).Point, points.at(j + 1).Point) /
            57.29577951308232;
        return std::min(std::numbers::pi - inner, std::numbers::pi / 2.0);
    };

    std::vector<double> t(static_cast<std::size_t>(n), 0.0);
    for (int i = 1; i < n; ++i) {
        double step;
        switch (mode) {
        case 1:
            step = d[i];
            break;
        case 2:
            step = std::sqrt(d[i]);
            break;
        case 3: {
            double k = 1.0;
            if (i >= 2 && d[i - 1] > 1e-8)
                k += 3.0 * turning(i - 1) * d[i - 1] / (2.0 * (d[i - 1] + d[i]));
            if (i + 1 < n && d[i + 1] > 1e-8)
                k += 3.0 * turning(i) * d[i + 1] / (2.0 * (d[i] + d[i + 1]));
            step = d[i] * k;
            break;
        }
        default:
            step = 1.0;
            break;
        }
        t[i] = t[i - 1] + step;
    }
    return t;
}

// Parameters of the points' closest points on the clamped uniform B-spline
// curve on [0, length] whose control polygon is the sequence. The inversion
// runs on copies of the points, so that their state (a state-2 point would
// keep its old parameters) and inversion records stay the caller's. False
// when no such curve can be built or its closest points do not follow the
// sequence, which would make the parameters useless for interpolation.
bool projectedParameters(const IndexSubset<CFitPoint>& points, const std::vector<double>& d,
                         double length, int degree, std::vector<double>& t)
{
    const int n = points.count;
    const int p = std::min(degree, n - 1);
    if (n < 2 || p < 1 || !(length > 0.0) || !std::isfinite(length))
        return false;

    const knots u(n - 1, p, 0.0, length);
    if (!u.isHealthy)
        return false;
    Fenwo::NurbsSurf curve(u, nullptr);
    CFitPointArray copies;
    copies.setCapacity(n);
    for (int i = 0; i < n; ++i) {
        const Vector& src = points.at(i).Point;
        Vector xyz(3);
        for (int k = 0; k < std::min(src.n, 3); ++k)
            xyz[k] = src[k];
        curve.setControlPoint(i, 0, xyz, 1.0);
        copies.append(CFitPoint(xyz, Vector(2)));
    }
    IndexSubset<CFitPoint> all(copies, n);
    all.selectAll();
    curve.invertPoints(all, 5, 1, false);
    curve.PointInversion(all, 10);

    t.assign(static_cast<std::size_t>(n), 0.0);
    for (int i = 0; i < n; ++i) {
        const double ti = copies[i].uv.n > 0 ? copies[i].uv[0] : 0.0;
        if (!std::isfinite(ti))
            return false;
        t[i] = ti;
    }
    // The ends of a clamped curve are its first and last control points.
    t[0] = 0.0;
    for (int i = 1; i < n; ++i)
        if (t[i] < t[i - 1] || (t[i] == t[i - 1] && d[i] > 0.0))
            return false;
    return true;
}

} // namespace

void parameterizePoints(IndexSubset<CFitPoint>& points, double length, int mode, int degree)
{
    const int n = points.count;
    if (n == 0)
        return;
    std::vector<double> d(static_cast<std::size_t>(n), 0.0);
    for (int i = 1; i < n; ++i)
        d[i] = std::sqrt(squaredDistance(points.at(i).Point, points.at(i - 1).Point));

    std::vector<double> t;
    if (mode != 4 || !projectedParameters(points, d, length, degree, t))
        t = stepParameters(points, d, mode == 4 ? 1 : mode);

    const double scale = length / std::max(t[n - 1], 2.2e-16);
    for (int i = 0; i < n; ++i) {
        Vector& uv = points.at(i).uv;
        if (uv.n < 2)
            uv.resize(2);
        uv[0] = t[i] * scale;
        uv[1] = 0.0;
    }
}
