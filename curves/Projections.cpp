#include "curves/Projections.h"

#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "geometry/ParametricGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace {

// Bounds that leave a cyclic direction free: the wrap keeps it in the domain.
constexpr double kOpenCurveBound = 1.3407807929942596e154;  // sqrt of the largest double
constexpr double kOpenSurfaceBound = 3.4028234663852886e38; // the largest float
// Objective reported where the geometry cannot be evaluated: large enough for
// the line search to back off, small enough to keep its arithmetic finite.
constexpr double kFailedObjective = 1e300;

// Marks a solver as running for the lifetime of the guard.
class BusyGuard {
public:
    explicit BusyGuard(bool& flag) : m_flag(flag) { m_flag = true; }
    ~BusyGuard() { m_flag = false; }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

private:
    bool& m_flag;
};

CVertex<float, 3> toFloatVertex(const Vector& p)
{
    CVertex<float, 3> v;
    for (int k = 0; k < 3 && k < p.n; ++k)
        v[k] = static_cast<float>(p[k]);
    return v;
}

// r := c - p formed in single precision (c's coordinates rounded to float,
// missing ones 0); returns r.r.
double floatResidual(const Vector& c, const CVertex<float, 3>& p, Vector& r)
{
    double d2 = 0.0;
    for (int k = 0; k < 3; ++k) {
        const float ck = k < c.n ? static_cast<float>(c[k]) : 0.0f;
        const float rk = ck - p[k];
        r[k] = rk;
        d2 += double(rk) * double(rk);
    }
    return d2;
}

// v.r over the (at most three) coordinates v has.
double dotResidual(const Vector& v, const Vector& r)
{
    double s = 0.0;
    for (int k = 0; k < 3 && k < v.n; ++k)
        s += v[k] * r[k];
    return s;
}

// 1 / d2, the scale that makes the start objective 0.5; 1 when the start is
// on target (or the residual is not usable), where the objective is 0 anyway.
double inverseScale(double d2)
{
    return (d2 > 1e-280 && std::isfinite(d2)) ? 1.0 / d2 : 1.0;
}

// t moved by whole periods into [a, b]; values within 1e-8 (relative for
// short domains) of a period boundary become a.
double wrapIntoDomain(double t, double a, double b)
{
    const double period = b - a;
    if (!(period > 0.0) || !std::isfinite(t))
        return t;
    const double m = std::fmod(t - a, period);
    if (std::fabs(m) < 1e-8 * std::min(1.0, period))
        return a;
    return t < a ? m + b : m + a;
}

// [lo, hi] (either order) intersected with the domain; a range wholly outside
// the domain becomes its nearer end.
void rangeWithinDomain(const Interval& domain, double lo, double hi, double& a, double& b)
{
    if (lo > hi)
        std::swap(lo, hi);
    if (hi < domain.min) {
        a = b = domain.min;
    } else if (lo > domain.max) {
        a = b = domain.max;
    } else {
        a = std::max(lo, domain.min);
        b = std::min(hi, domain.max);
    }
}

// A usable start value within [a, b].
double startWithin(double t, double a, double b)
{
    if (!std::isfinite(t))
        return a;
    return std::clamp(t, a, b);
}

bool isCyclicDirection(CParametricGeometry* g, int dir, const Interval& range)
{
    Fenwo::NurbsSurf* surface = asNurbsSurf(g);
    if (surface == nullptr)
        return false;
    const knots* k = dir == 0 ? surface->uKnots : surface->vKnots;
    if (k == nullptr || k->endCondition != knots::CyclicEnd)
        return false;
    const Interval domain = surface->getDomain(dir);
    const double d[2] = {domain.min, domain.max};
    const double r[2] = {range.min, range.max};
    return equalWithinEps2(d, r);
}

// Runs a projection on the process-wide solver, or on a temporary one when the
// process-wide solver is already running further up the call stack.
template <class Solver, class... Args> float runProjection(Solver& shared, Args&&... args)
{
    if (!shared.isBusy())
        return shared.project(std::forward<Args>(args)...);
    Solver local;
    return local.project(std::forward<Args>(args)...);
}

} // namespace

// ---- point onto curve -----------------------------------------------------------

CSimpleCurvePointProjection::CSimpleCurvePointProjection()
    : CConjugateGradient(1, true), m_r(3), m_x(1), m_lo(1), m_hi(1)
{
    setLowerBounds(m_lo);
    setUpperBounds(m_hi);
}

double CSimpleCurvePointProjection::evaluate(int mode, Vector& g, const Vector& x, double alpha,
                                             const Vector& p)
{
    ++m_loop;
    double t = x[0] + alpha * p[0];
    // On a closed curve the objective is periodic: value it where the wrapped
    // step will land, so that a clamping evaluator does not flatten it.
    if (m_closed)
        t = wrapIntoDomain(t, m_curve->getUMin(), m_curve->getUMax());
    Vector** d = m_curve->evaluate(mode == 1 ? 1 : 0, t, 0.0);
    if (d == nullptr) {
        if (mode == 1)
            g[0] = 0.0;
        return kFailedObjective;
    }
    m_dist2 = floatResidual(d[0][0], *m_point, m_r);
    if (mode == 1)
        g[0] = dotResidual(d[1][0], m_r) * m_invScale2;
    return 0.5 * m_dist2 * m_invScale2;
}

void CSimpleCurvePointProjection::applyStep(Vector& x, double alpha, const Vector& p)
{
    if (!m_closed) {
        CConjugateGradient::applyStep(x, alpha, p);
        return;
    }
    const Interval domain = m_curve->getDomain(0);
    x[0] = wrapIntoDomain(x[0] + alpha * p[0], domain.min, domain.max);
}

float CSimpleCurvePointProjection::project(CParametricGeometry* curve,
                                           const CVertex<float, 3>& point, double& t, double lo,
                                           double hi)
{
    if (curve == nullptr)
        return -1.0f;
    if (lo > hi)
        std::swap(lo, hi);
    const Interval domain = curve->getDomain(0);
    double a = 0.0, b = 0.0;
    rangeWithinDomain(domain, lo, hi, a, b);
    // Only a search over the whole closed curve may cross the seam; a smaller
    // range on a closed curve is a range like any other.
    const bool coversDomain = lo <= domain.min && hi >= domain.max;
    m_closed = coversDomain && domain.max > domain.min && curve->isClosed();

    double start = startWithin(t, a, b);
    if (m_closed) {
        m_lo[0] = -kOpenCurveBound;
        m_hi[0] = kOpenCurveBound;
        start = wrapIntoDomain(std::isfinite(t) ? t : a, domain.min, domain.max);
    } else {
        m_lo[0] = a;
        m_hi[0] = b;
    }
    setLowerBounds(m_lo);
    setUpperBounds(m_hi);

    BusyGuard busy(m_busy);
    m_curve = curve;
    m_point = &point;
    m_loop = 0;
    m_invScale2 = 1.0;
    m_x[0] = start;
    const double f0 = evaluate(0, m_g, m_x, 0.0, m_p);
    if (f0 >= kFailedObjective) {
        m_curve = nullptr;
        m_point = nullptr;
        return -1.0f;
    }
    m_invScale2 = inverseScale(m_dist2);

    solve(m_x, m_closed ? 60 : 20, 0);

    double result = m_x[0];
    if (!std::isfinite(result))
        result = start;
    result = m_closed ? wrapIntoDomain(result, domain.min, domain.max) : std::clamp(result, a, b);
    m_x[0] = result;
    const double f = evaluate(0, m_g, m_x, 0.0, m_p);
    m_curve = nullptr;
    m_point = nullptr;
    if (f >= kFailedObjective)
        return -1.0f;
    t = result;
    return std::sqrt(static_cast<float>(m_dist2));
}

// ---- point onto surface ---------------------------------------------------------

CSimpleSurfacePointProjection::CSimpleSurfacePointProjection()
    : CConjugateGradient(2, true), m_r(3), m_trial(2), m_best(2), m_x(2), m_lo(2), m_hi(2)
{
    setLowerBounds(m_lo);
    setUpperBounds(m_hi);
}

double CSimpleSurfacePointProjection::evaluate(int mode, Vector& g, const Vector& x, double alpha,
                                               const Vector& p)
{
    m_trial[0] = x[0] + alpha * p[0];
    m_trial[1] = x[1] + alpha * p[1];
    Vector** d = m_surface->evaluate(mode == 1 ? 1 : 0, m_trial[0], m_trial[1]);
    if (d == nullptr) {
        if (mode == 1)
            g[0] = g[1] = 0.0;
        return kFailedObjective;
    }
    m_dist2 = floatResidual(d[0][0], *m_point, m_r);
    if (mode == 1) {
        g[0] = dotResidual(d[1][0], m_r) * m_invScale2;
        g[1] = dotResidual(d[0][1], m_r) * m_invScale2;
    }
    // Trial steps of the line search may leave the box; a point there is not
    // an admissible answer, however close it is.
    const bool inside = m_trial[0] >= m_lo[0] && m_trial[0] <= m_hi[0] && m_trial[1] >= m_lo[1] &&
                        m_trial[1] <= m_hi[1];
    if (inside && m_dist2 < m_bestDist2) {
        m_bestDist2 = m_dist2;
        m_best[0] = m_trial[0];
        m_best[1] = m_trial[1];
    }
    return 0.5 * m_dist2 * m_invScale2;
}

float CSimpleSurfacePointProjection::project(CParametricGeometry* surface,
                                             const CVertex<float, 3>& point, double& u, double& v,
                                             const Interval& U, const Interval& V)
{
    if (surface == nullptr)
        return -1.0f;
    const Interval ranges[2] = {Interval(U.min, U.max), Interval(V.min, V.max)};
    bool cyclic[2];
    Interval domains[2];
    double start[2] = {u, v};
    for (int dir = 0; dir < 2; ++dir) {
        domains[dir] = surface->getDomain(dir);
        cyclic[dir] = isCyclicDirection(surface, dir, ranges[dir]);
        if (cyclic[dir]) {
            m_lo[dir] = -kOpenSurfaceBound;
            m_hi[dir] = kOpenSurfaceBound;
            start[dir] = wrapIntoDomain(std::isfinite(start[dir]) ? start[dir] : domains[dir].min,
                                        domains[dir].min, domains[dir].max);
        } else {
            m_lo[dir] = ranges[dir].min;
            m_hi[dir] = ranges[dir].max;
            start[dir] = startWithin(start[dir], ranges[dir].min, ranges[dir].max);
        }
    }
    setLowerBounds(m_lo);
    setUpperBounds(m_hi);

    BusyGuard busy(m_busy);
    m_surface = surface;
    m_point = &point;
    m_invScale2 = 1.0;
    m_bestDist2 = std::numeric_limits<double>::max();
    m_x[0] = start[0];
    m_x[1] = start[1];
    const double f0 = evaluate(0, m_g, m_x, 0.0, m_p);
    if (f0 >= kFailedObjective) {
        m_surface = nullptr;
        m_point = nullptr;
        return -1.0f;
    }
    m_invScale2 = inverseScale(m_dist2);

    // Up to three runs of 50 iterations: a run that used them all is resumed
    // from where it stopped, with a fresh steepest-descent direction.
    for (int run = 0; run < 3; ++run) {
        solve(m_x, 50, 0);
        if (m_iter <= 49)
            break;
    }

    if (m_bestDist2 < std::numeric_limits<double>::max()) {
        m_x[0] = m_best[0];
        m_x[1] = m_best[1];
    }
    for (int dir = 0; dir < 2; ++dir) {
        if (!std::isfinite(m_x[dir]))
            m_x[dir] = start[dir];
        m_x[dir] = cyclic[dir] ? wrapIntoDomain(m_x[dir], domains[dir].min, domains[dir].max)
                               : std::clamp(m_x[dir], m_lo[dir], m_hi[dir]);
    }
    const double f = evaluate(0, m_g, m_x, 0.0, m_p);
    m_surface = nullptr;
    m_point = nullptr;
    if (f >= kFailedObjective)
        return -1.0f;
    u = m_x[0];
    v = m_x[1];
    return std::sqrt(static_cast<float>(m_dist2));
}

// ---- curve onto line ------------------------------------------------------------

CSimpleCurveLineProjection::CSimpleCurveLineProjection()
    : CConjugateGradient(1, true), m_r(3), m_x(1), m_lo(1), m_hi(1)
{
    setLowerBounds(m_lo);
    setUpperBounds(m_hi);
}

double CSimpleCurveLineProjection::evaluate(int mode, Vector& g, const Vector& x, double alpha,
                                            const Vector& p)
{
    const double t = x[0] + alpha * p[0];
    Vector** d = m_curve->evaluate(mode == 1 ? 1 : 0, t, 0.0);
    if (d == nullptr) {
        if (mode == 1)
            g[0] = 0.0;
        return kFailedObjective;
    }
    floatResidual(d[0][0], *m_a, m_r);
    // Keep only the part of C - A across the line.
    double s = 0.0;
    for (int k = 0; k < 3; ++k)
        s += m_d[k] * m_r[k];
    m_length = s;
    m_dist2 = 0.0;
    for (int k = 0; k < 3; ++k) {
        m_r[k] -= s * m_d[k];
        m_dist2 += m_r[k] * m_r[k];
    }
    if (mode == 1) {
        // The derivative of the across part is the across part of C'.
        const Vector& c1 = d[1][0];
        double dc = 0.0;
        for (int k = 0; k < 3 && k < c1.n; ++k)
            dc += m_d[k] * c1[k];
        double gt = 0.0;
        for (int k = 0; k < 3; ++k)
            gt += ((k < c1.n ? c1[k] : 0.0) - dc * m_d[k]) * m_r[k];
        g[0] = gt * m_invScale2;
    }
    return 0.5 * m_dist2 * m_invScale2;
}

float CSimpleCurveLineProjection::project(CParametricGeometry* curve, const CVertex<float, 3>& a,
                                          const CVertex<float, 3>& d, double& t, double lo,
                                          double hi)
{
    if (curve == nullptr)
        return -1.0f;
    // The objective needs a unit direction; a caller's D of any length is
    // normalised here (a zero D leaves the distance to A).
    const double len = std::sqrt(double(d[0]) * d[0] + double(d[1]) * d[1] + double(d[2]) * d[2]);
    for (int k = 0; k < 3; ++k)
        m_d[k] = len > 0.0 && std::isfinite(len) ? static_cast<float>(d[k] / len) : 0.0f;

    double rlo = 0.0, rhi = 0.0;
    rangeWithinDomain(curve->getDomain(0), lo, hi, rlo, rhi);
    m_lo[0] = rlo;
    m_hi[0] = rhi;
    setLowerBounds(m_lo);
    setUpperBounds(m_hi);
    const double start = startWithin(t, rlo, rhi);

    BusyGuard busy(m_busy);
    m_curve = curve;
    m_a = &a;
    m_invScale2 = 1.0;
    m_x[0] = start;
    const double f0 = evaluate(0, m_g, m_x, 0.0, m_p);
    if (f0 >= kFailedObjective) {
        m_curve = nullptr;
        m_a = nullptr;
        return -1.0f;
    }
    m_invScale2 = inverseScale(m_dist2);

    solve(m_x, 20, 0);

    double result = std::isfinite(m_x[0]) ? std::clamp(m_x[0], rlo, rhi) : start;
    m_x[0] = result;
    const double f = evaluate(0, m_g, m_x, 0.0, m_p);
    m_curve = nullptr;
    m_a = nullptr;
    if (f >= kFailedObjective)
        return -1.0f;
    t = result;
    return std::sqrt(static_cast<float>(m_dist2));
}

// ---- process-wide solvers and drivers -------------------------------------------

CSimpleCurvePointProjection& curvePointProjection()
{
    static CSimpleCurvePointProjection solver;
    return solver;
}

CSimpleSurfacePointProjection& surfacePointProjection()
{
    static CSimpleSurfacePointProjection solver;
    return solver;
}

CSimpleCurveLineProjection& curveLineProjection()
{
    static CSimpleCurveLineProjection solver;
    return solver;
}

float projectPointOnCurveInRange(CParametricGeometry* curve, const Vector& p, double& t, double lo,
                                 double hi)
{
    const CVertex<float, 3> point = toFloatVertex(p);
    return runProjection(curvePointProjection(), curve, point, t, lo, hi);
}

float projectPointOnCurve(CParametricGeometry* curve, const Vector& p, double& t)
{
    if (curve == nullptr)
        return -1.0f;
    return projectPointOnCurveInRange(curve, p, t, curve->getUMin(), curve->getUMax());
}

float projectVertexOnCurve(CParametricGeometry* curve, const CVertex<float, 3>& p, double& t)
{
    if (curve == nullptr)
        return -1.0f;
    if (curve->isClosed()) {
        const double big = std::numeric_limits<double>::max();
        return runProjection(curvePointProjection(), curve, p, t, -big, big);
    }
    return runProjection(curvePointProjection(), curve, p, t, curve->getUMin(), curve->getUMax());
}

float projectVertexOnSurface(CParametricGeometry* surface, const CVertex<float, 3>& p, double& u,
                             double& v)
{
    if (surface == nullptr)
        return -1.0f;
    const Interval U = surface->getDomain(0);
    const Interval V = surface->getDomain(1);
    return runProjection(surfacePointProjection(), surface, p, u, v, U, V);
}

float projectPointOnSurface(CParametricGeometry* surface, const Vector& p, double& u, double& v)
{
    const CVertex<float, 3> point = toFloatVertex(p);
    return projectVertexOnSurface(surface, point, u, v);
}

float projectLineOnCurve(CParametricGeometry* curve, const Vector& a, const Vector& d, double& t)
{
    if (curve == nullptr)
        return -1.0f;
    const CVertex<float, 3> pa = toFloatVertex(a);
    const CVertex<float, 3> pd = toFloatVertex(d);
    return runProjection(curveLineProjection(), curve, pa, pd, t, curve->getUMin(),
                         curve->getUMax());
}
