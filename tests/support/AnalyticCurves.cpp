#include "AnalyticCurves.h"

#include "geometry/NurbsSurf.h"

#include <cmath>
#include <numbers>
#include <ostream>
#include <utility>

namespace {

// k-th derivative of cos and sin at t.
double cosDerivative(double t, int k)
{
    return std::cos(t + k * std::numbers::pi / 2.0);
}
double sinDerivative(double t, int k)
{
    return std::sin(t + k * std::numbers::pi / 2.0);
}

} // namespace

AnalyticGeometry::AnalyticGeometry(int geometryKind, const Interval& u, const Interval& v)
    : uDomain(u), vDomain(v)
{
    kind = geometryKind;
}

AnalyticGeometry::AnalyticGeometry(const AnalyticGeometry& other)
    : CParametricGeometry(other), uDomain(other.uDomain), vDomain(other.vDomain)
{
}

AnalyticGeometry::~AnalyticGeometry()
{
    freeDerivativeTable(table, tableOrder);
}

Vector** AnalyticGeometry::evaluate(int order, double u, double v)
{
    ++evaluations;
    if (order < 0)
        order = 0;
    if (order > tableOrder) {
        freeDerivativeTable(table, tableOrder);
        allocateDerivativeTable(table, order);
        tableOrder = order;
    }
    toInternalParameters(u, v);
    evaluateAt(order, u, v, table);
    for (int i = 0; i <= order; ++i) {
        for (int j = 0; j <= order; ++j) {
            const bool flip = (isUReversed() && i % 2 == 1) != (isVReversed() && j % 2 == 1);
            if (flip)
                table[i][j] *= -1.0;
        }
    }
    return table;
}

void AnalyticGeometry::setDomain(int dir, const Interval& domain)
{
    if (dir == 0)
        uDomain = domain;
    else if (dir == 1)
        vDomain = domain;
}

bool AnalyticGeometry::getUKinks(Vector& kinks) const
{
    kinks = Vector(2);
    kinks[0] = uDomain.min;
    kinks[1] = uDomain.max;
    return false;
}

bool AnalyticGeometry::getVKinks(Vector& kinks) const
{
    kinks = Vector(2);
    kinks[0] = vDomain.min;
    kinks[1] = vDomain.max;
    return false;
}

AnalyticLine::AnalyticLine(const Vector& a, const Vector& b, double t0, double t1)
    : AnalyticGeometry(0, Interval(t0, t1), Interval()), start(a), end(b)
{
    dimension = a.n;
}

bool AnalyticLine::writeGeometry(std::ostream& os) const
{
    os << "AnalyticLine " << start << ' ' << end << '\n';
    return os.good();
}

void AnalyticLine::evaluateAt(int order, double u, double, Vector** d) const
{
    const double span = uDomain.max - uDomain.min;
    const double s = span != 0.0 ? (u - uDomain.min) / span : 0.0;
    for (int i = 0; i <= order; ++i)
        for (int j = 0; j <= order; ++j)
            d[i][j].fill(0.0);
    for (int k = 0; k < dimension; ++k) {
        d[0][0][k] = (1.0 - s) * start[k] + s * end[k];
        if (order >= 1)
            d[1][0][k] = span != 0.0 ? (end[k] - start[k]) / span : 0.0;
    }
}

AnalyticCircle::AnalyticCircle(const Vector& c, double r, double t0, double t1)
    : AnalyticGeometry(0, Interval(t0, t1), Interval()), centre(c), radius(r)
{
}

bool AnalyticCircle::writeGeometry(std::ostream& os) const
{
    os << "AnalyticCircle " << centre << ' ' << radius << '\n';
    return os.good();
}

void AnalyticCircle::evaluateAt(int order, double u, double, Vector** d) const
{
    for (int i = 0; i <= order; ++i) {
        for (int j = 0; j <= order; ++j) {
            d[i][j].fill(0.0);
            if (j != 0)
                continue;
            d[i][0][0] = radius * cosDerivative(u, i) + (i == 0 ? centre[0] : 0.0);
            d[i][0][1] = radius * sinDerivative(u, i) + (i == 0 ? centre[1] : 0.0);
            d[i][0][2] = i == 0 ? centre[2] : 0.0;
        }
    }
}

AnalyticSpaceArc::AnalyticSpaceArc(const Vector& c, const Vector& a, const Vector& b, double r,
                                   double t0, double t1)
    : AnalyticGeometry(0, Interval(t0, t1), Interval()), centre(c), e1(a), e2(b), radius(r)
{
}

bool AnalyticSpaceArc::writeGeometry(std::ostream& os) const
{
    os << "AnalyticSpaceArc " << centre << ' ' << e1 << ' ' << e2 << ' ' << radius << '\n';
    return os.good();
}

void AnalyticSpaceArc::evaluateAt(int order, double u, double, Vector** d) const
{
    for (int i = 0; i <= order; ++i)
        for (int j = 0; j <= order; ++j) {
            d[i][j].fill(0.0);
            if (j != 0)
                continue;
            const double c = radius * cosDerivative(u, i), s = radius * sinDerivative(u, i);
            for (int k = 0; k < 3; ++k)
                d[i][0][k] = c * e1[k] + s * e2[k] + (i == 0 ? centre[k] : 0.0);
        }
}

CurveWithNormals::CurveWithNormals(CParametricGeometry* c, NormalField f)
    : curve(c), field(std::move(f))
{
    kind = 0;
}

CParametricGeometry* CurveWithNormals::clone() const
{
    return new CurveWithNormals(curve->clone(), field);
}

CurveVector sphereCapBoundary(double radius, double half, double side)
{
    const double r = std::sqrt(radius * radius - half * half), a = std::asin(half / r);
    CurveVector arcs;
    for (int k = 0; k < 4; ++k) {
        const double c = std::cos(k * std::numbers::pi / 2.0),
                     s = std::sin(k * std::numbers::pi / 2.0);
        auto* arc = new AnalyticSpaceArc(Vector(half * c, half * s, 0.0), Vector(0.0, 0.0, 1.0),
                                         Vector(-s, c, 0.0), r, -a, a);
        if (side == 0.0)
            arcs.emplace_back(arc);
        else
            arcs.emplace_back(
                new CurveWithNormals(arc, [side](const Vector& p) { return side * p; }));
    }
    return arcs;
}

AnalyticPlane::AnalyticPlane(const Vector& o, const Vector& da, const Vector& db, const Interval& u,
                             const Interval& v)
    : AnalyticGeometry(1, u, v), origin(o), a(da), b(db)
{
}

bool AnalyticPlane::writeGeometry(std::ostream& os) const
{
    os << "AnalyticPlane " << origin << ' ' << a << ' ' << b << '\n';
    return os.good();
}

void AnalyticPlane::evaluateAt(int order, double u, double v, Vector** d) const
{
    for (int i = 0; i <= order; ++i)
        for (int j = 0; j <= order; ++j)
            d[i][j].fill(0.0);
    for (int k = 0; k < 3; ++k) {
        d[0][0][k] = origin[k] + u * a[k] + v * b[k];
        if (order >= 1) {
            d[1][0][k] = a[k];
            d[0][1][k] = b[k];
        }
    }
}

AnalyticSphere::AnalyticSphere(const Vector& c, double r)
    : AnalyticGeometry(1, Interval(0.0, 2.0 * std::numbers::pi),
                       Interval(-std::numbers::pi / 2.0, std::numbers::pi / 2.0)),
      centre(c), radius(r)
{
}

bool AnalyticSphere::writeGeometry(std::ostream& os) const
{
    os << "AnalyticSphere " << centre << ' ' << radius << '\n';
    return os.good();
}

void AnalyticSphere::evaluateAt(int order, double u, double v, Vector** d) const
{
    for (int i = 0; i <= order; ++i) {
        for (int j = 0; j <= order; ++j) {
            const double cv = cosDerivative(v, j);
            d[i][j][0] = radius * cv * cosDerivative(u, i) + (i + j == 0 ? centre[0] : 0.0);
            d[i][j][1] = radius * cv * sinDerivative(u, i) + (i + j == 0 ? centre[1] : 0.0);
            d[i][j][2] = i == 0 ? radius * sinDerivative(v, j) + (j == 0 ? centre[2] : 0.0) : 0.0;
        }
    }
}

std::unique_ptr<Fenwo::NurbsSurf> makeRationalCylinder(double radius, double height)
{
    Kor::List<double> positions;
    for (double t : {0.0, 0.0, 0.0, 0.25, 0.25, 0.5, 0.5, 0.75, 0.75, 1.0, 1.0, 1.0})
        positions.append(t);
    const knots u(positions, 8, 2);
    const knots v(1, 1, 0.0, 1.0);
    auto s = std::make_unique<Fenwo::NurbsSurf>(u, &v);
    const double xy[9][2] = {{1, 0},   {1, 1},  {0, 1},  {-1, 1}, {-1, 0},
                             {-1, -1}, {0, -1}, {1, -1}, {1, 0}};
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 9; ++i) {
            const double w = i % 2 == 0 ? 1.0 : std::sqrt(0.5);
            s->setControlPoint(i, j, Vector(radius * xy[i][0], radius * xy[i][1], j * height), w);
        }
    return s;
}

std::unique_ptr<Fenwo::NurbsSurf> makeWavyBicubic(const Interval& U, const Interval& V)
{
    const knots ku(4, 3, U.min, U.max);
    const knots kv(4, 3, V.min, V.max);
    auto s = std::make_unique<Fenwo::NurbsSurf>(ku, &kv);
    for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 5; ++i) {
            const double x = U.min + (U.max - U.min) * i / 4.0;
            const double y = V.min + (V.max - V.min) * j / 4.0;
            s->setControlPoint(i, j, Vector(x, y, 0.6 * std::sin(1.3 * i) * std::cos(0.9 * j)));
        }
    return s;
}
