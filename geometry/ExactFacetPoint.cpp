#include "geometry/ExactFacetPoint.h"

#include "geometry/ParametricGeometry.h"

#include <algorithm>
#include <cmath>

namespace {

// Squared distance of p from the line through a with direction d (|d|^2 = dd > 0),
// summed in place without a vector for p - a.
double squaredDistanceFromLine(const Vector& p, const Vector& a, const Vector& d, double dd)
{
    const int common = std::min(p.n, a.n);
    auto r = [&](int i) { return i < common ? p[i] - a[i] : p[i]; };
    double along = 0.0;
    for (int i = 0; i < std::min(p.n, d.n); ++i)
        along += r(i) * d[i];
    double rr = 0.0;
    for (int i = 0; i < p.n; ++i)
        rr += r(i) * r(i);
    return std::max(0.0, std::max(rr, 0.0) - along * along / dd);
}

// C(t) into `point`, reusing its storage.
void pointAt(CParametricGeometry& curve, double t, Vector& point)
{
    Vector** d = curve.evaluate(0, t, 0.0);
    if (d != nullptr)
        point = d[0][0];
    else
        point = Vector(curve.getDimension());
}

} // namespace

CExactFacetPoint::CExactFacetPoint() : CConjugateGradient(2, true), m_x(2)
{
    m_gradientStep = 5e-8;
    m_numericGradient = true;
}

double CExactFacetPoint::findMaxDeviation(CParametricGeometry* curve, double t0, double tEnd,
                                          double tMid, double tol)
{
    matched = false;
    if (curve == nullptr)
        return tEnd;
    m_curve = curve;
    m_t0 = t0;
    m_tol = tol;
    m_chordStart = curve->getPoint(t0, 0.0);
    m_chordKnown = false;
    m_pointKnown = false;

    const double lo = t0 + 5e-8;
    const double hi = curve->getDomain(0).max;
    Vector lower(2), upper(2);
    lower[0] = lower[1] = lo;
    upper[0] = upper[1] = std::max(lo, hi);
    setLowerBounds(lower);
    setUpperBounds(upper);

    m_x.resize(2);
    m_x[0] = std::clamp(tEnd, lower[0], upper[0]);
    m_x[1] = std::clamp(tMid, lower[1], upper[1]);
    solve(m_x, 25, 0);

    // The flag is raised by any evaluation, the difference probes included;
    // it is meant to describe the point returned, so that point decides.
    Vector g(2), none(2);
    matched = false;
    evaluate(0, g, m_x, 0.0, none);
    return m_x[0];
}

double CExactFacetPoint::evaluate(int mode, Vector& g, const Vector& x, double alpha,
                                  const Vector& p)
{
    const double tolSq = m_tol * m_tol;
    double u = x[0] + alpha * p[0];
    double v = x[1] + alpha * p[1];
    if (m_lowerBounds && m_upperBounds) {
        u = std::clamp(u, (*m_lowerBounds)[0], (*m_upperBounds)[0]);
        v = std::clamp(v, (*m_lowerBounds)[1], (*m_upperBounds)[1]);
    }

    if (mode == 1)
        g.fill(0.0);
    if (m_curve == nullptr)
        return 0.5 * tolSq;
    if (!m_chordKnown || u != m_chordU || m_curve != m_chordCurve || m_t0 != m_chordT0 ||
        m_tol != m_chordTol) {
        pointAt(*m_curve, u, m_chordEnd);
        m_chord = m_chordEnd - m_chordStart;
        m_chordSq = normSquared(m_chord);
        m_chordLength = std::sqrt(m_chordSq);
        // Curve samples between the chord's ends that lie beyond the tolerance.
        m_excess = 0.0;
        if (std::isfinite(m_chordLength) && m_chordLength >= 2.2e-8)
            for (int i = 0; i < 10; ++i) {
                const double s = i / 10.0;
                pointAt(*m_curve, (1.0 - s) * m_t0 + s * u, m_sample);
                const double dist =
                    std::sqrt(squaredDistanceFromLine(m_sample, m_chordStart, m_chord, m_chordSq));
                if (dist > m_tol)
                    m_excess += (dist - m_tol) * (dist - m_tol);
            }
        m_chordU = u;
        m_chordCurve = m_curve;
        m_chordT0 = m_t0;
        m_chordTol = m_tol;
        m_chordKnown = true;
    }
    if (!std::isfinite(m_chordLength) || m_chordLength < 2.2e-8)
        return 0.5 * tolSq;

    if (!m_pointKnown || v != m_pointV || m_curve != m_pointCurve) {
        pointAt(*m_curve, v, m_curvePoint);
        m_pointV = v;
        m_pointCurve = m_curve;
        m_pointKnown = true;
    }
    m_deviation =
        std::sqrt(squaredDistanceFromLine(m_curvePoint, m_chordStart, m_chord, m_chordSq));
    const double excess = m_excess;

    const double miss = m_deviation - m_tol;
    if (excess < 0.1 * tolSq && std::fabs(miss) < 0.05 * m_tol) {
        matched = true;
        return 0.0;
    }
    return miss * miss + excess;
}
