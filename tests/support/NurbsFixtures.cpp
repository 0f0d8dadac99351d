#include "NurbsFixtures.h"

#include "foundation/IndexSubset.h"
#include "foundation/KorList.h"
#include "geometry/GeoTokenizer.h"
#include "geometry/Knots.h"

#include <cmath>
#include <fstream>

Kor::Array<Fenwo::NurbsSurf*> OwnedCurves::list() const
{
    Kor::Array<Fenwo::NurbsSurf*> out;
    for (const auto& c : curves)
        out.append(c.get());
    return out;
}

OwnedCurves OwnedCurves::copy() const
{
    OwnedCurves out;
    for (const auto& c : curves)
        out.curves.emplace_back(c ? new Fenwo::NurbsSurf(*c) : nullptr);
    return out;
}

Vector pointAt(Fenwo::NurbsSurf& s, double u, double v)
{
    Vector p(3);
    s.evaluatePoint(p, u, v);
    return p;
}

std::unique_ptr<Fenwo::NurbsSurf> clampedCurve(const std::vector<Vector>& controlPoints, int degree,
                                               double t0, double t1)
{
    const int n = static_cast<int>(controlPoints.size()) - 1;
    auto curve = std::make_unique<Fenwo::NurbsSurf>(
        knots(n, degree, t0, t1, knots::ClampedEnd, knots::Uniform));
    for (int i = 0; i <= n; ++i)
        curve->setControlPoint(i, 0, controlPoints[i], 1.0);
    return curve;
}

std::unique_ptr<Fenwo::NurbsSurf> rationalArc(const Vector& centre, const Vector& x,
                                              const Vector& y, double radius, int quarters)
{
    Kor::List<double> positions;
    for (int k = 0; k < 3; ++k)
        positions.append(0.0);
    for (int q = 1; q < quarters; ++q) {
        positions.append(double(q) / quarters);
        positions.append(double(q) / quarters);
    }
    for (int k = 0; k < 3; ++k)
        positions.append(1.0);
    auto arc = std::make_unique<Fenwo::NurbsSurf>(knots(positions, 2 * quarters, 2));
    for (int q = 0; q <= quarters; ++q) {
        const double a = q * M_PI / 2;
        arc->setControlPoint(2 * q, 0, centre + radius * (std::cos(a) * x + std::sin(a) * y), 1.0);
        if (q == quarters)
            break;
        const double b = (q + 1) * M_PI / 2;
        const Vector corner =
            centre + radius * ((std::cos(a) + std::cos(b)) * x + (std::sin(a) + std::sin(b)) * y);
        arc->setControlPoint(2 * q + 1, 0, corner, std::sqrt(0.5));
    }
    return arc;
}

double distanceToSurface(Fenwo::NurbsSurf& s, const Vector& p)
{
    const Interval U = s.getDomain(0), V = s.getDomain(1);
    double best = 1e300, bu = U.min, bv = V.min;
    for (int i = 0; i <= 40; ++i)
        for (int j = 0; j <= 40; ++j) {
            const double u = U.min + (U.max - U.min) * i / 40.0;
            const double v = V.min + (V.max - V.min) * j / 40.0;
            const double d = squaredDistance(pointAt(s, u, v), p);
            if (d < best) {
                best = d;
                bu = u;
                bv = v;
            }
        }
    Vector uv(2);
    uv[0] = bu;
    uv[1] = bv;
    CFitPointArray points;
    points.append(CFitPoint(p, uv));
    IndexSubset<CFitPoint> subset(points);
    subset.selectAll();
    s.PointInversion(subset, 30);
    return std::sqrt(points[0].dist2);
}

std::vector<std::unique_ptr<Fenwo::NurbsSurf>> readCurves(const std::string& path)
{
    std::vector<std::unique_ptr<Fenwo::NurbsSurf>> out;
    std::ifstream in(path);
    while (in && readGeoToken(in, true) == 13) {
        auto c = std::make_unique<Fenwo::NurbsSurf>(in, true);
        if (!c->valid)
            break;
        out.push_back(std::move(c));
    }
    return out;
}
