#include "curves/CurveIntersections.h"

#include "geometry/NurbsSurf.h"

#include <algorithm>
#include <cmath>

namespace {

// Largest float: the "no bound" of a cyclic parameter.
constexpr double kUnbounded = 3.4028234663852886e38;
// Objective of a point where the curve cannot be evaluated.
constexpr double kUnevaluable = 1e300;

} // namespace

// ---------------------------------------------------------------------------
// CIntersectCurvePlane

CIntersectCurvePlane::CIntersectCurvePlane(CParametricGeometry* c, const CPlane& p)
    : CConjugateGradient(1, false), curve(c), plane(p), work(3)
{
}

void CIntersectCurvePlane::setBounds(double a, double b)
{
    Vector lo(1);
    Vector hi(1);
    lo[0] = a;
    hi[0] = b;
    setLowerBounds(lo);
    setUpperBounds(hi);
}

double CIntersectCurvePlane::wrapParameter(double t) const
{
    if (period > 0.0 && curve != nullptr) {
        const Interval d = curve->getDomain(0);
        while (t > d.max)
            t -= period;
    }
    return t;
}

bool CIntersectCurvePlane::signedDistance(double t, double& s)
{
    if (curve == nullptr)
        return false;
    Vector** D = curve->evaluate(0, wrapParameter(t), 0.0);
    if (D == nullptr)
        return false;
    work = D[0][0];
    s = plane.signedDistance(work);
    return true;
}

double CIntersectCurvePlane::evaluate(int mode, Vector& g, const Vector& x, double alpha,
                                      const Vector& p)
{
    const double t = wrapParameter(x[0] + alpha * p[0]);
    g.resize(1);
    g[0] = 0.0;
    Vector** D = curve != nullptr ? curve->evaluate(1, t, 0.0) : nullptr;
    if (D == nullptr)
        return kUnevaluable;
    work = D[0][0];
    const double s = plane.signedDistance(work);
    if (mode == 1) {
        const Vector& d1 = D[1][0];
        double slope = 0.0;
        for (int i = 0; i < std::min({3, d1.n, plane.normal.n}); ++i)
            slope += d1[i] * plane.normal[i];
        g[0] = slope * s;
    }
    return 0.5 * s * s;
}

// ---------------------------------------------------------------------------
// CCurveCurveCorrector

bool isCyclicCurve(const CParametricGeometry* curve)
{
    const auto* nurbs = dynamic_cast<const Fenwo::NurbsSurf*>(curve);
    return nurbs != nullptr && nurbs->uKnots != nullptr &&
           nurbs->uKnots->endCondition == knots::CyclicEnd;
}

CCurveCurveCorrector::CCurveCurveCorrector(CParametricGeometry* c1, CParametricGeometry* c2)
    : CConjugateGradient(2, false), curve1(c1), curve2(c2), delta(3), point(2), tangent1(3),
      tangent2(3)
{
    Vector lo(2);
    Vector hi(2);
    CParametricGeometry* curves[2] = {c1, c2};
    for (int k = 0; k < 2; ++k) {
        if (curves[k] == nullptr || isCyclicCurve(curves[k])) {
            lo[k] = -kUnbounded;
            hi[k] = kUnbounded;
        } else {
            const Interval d = curves[k]->getDomain(0);
            lo[k] = d.min;
            hi[k] = d.max;
        }
    }
    setLowerBounds(lo);
    setUpperBounds(hi);
}

double CCurveCurveCorrector::evaluate(int mode, Vector& g, const Vector& x, double alpha,
                                      const Vector& p)
{
    point.resize(2);
    point[0] = x[0] + alpha * p[0];
    point[1] = x[1] + alpha * p[1];
    g.resize(2);
    g[0] = g[1] = 0.0;
    if (curve1 == nullptr || curve2 == nullptr)
        return kUnevaluable;
    table1 = curve1->evaluate(1, point[0], 0.0);
    if (table1 == nullptr)
        return kUnevaluable;
    // Copies: both curves may be the same object, whose table the second
    // evaluation overwrites.
    const Vector c1 = table1[0][0];
    tangent1 = table1[1][0];
    table2 = curve2->evaluate(1, point[1], 0.0);
    if (table2 == nullptr)
        return kUnevaluable;
    tangent2 = table2[1][0];
    delta = c1 - table2[0][0];
    const double q = dot(delta, delta);
    if (!useGap) {
        if (mode == 1) {
            g[0] = dot(tangent1, delta);
            g[1] = -dot(tangent2, delta);
        }
        return 0.5 * q;
    }
    const double e = std::max(std::max(q, 0.0) - gapSquared, 0.0);
    if (mode == 1) {
        g[0] = 2.0 * e * dot(tangent1, delta);
        g[1] = -2.0 * e * dot(tangent2, delta);
    }
    return 0.5 * e * e;
}

double correctCurveCurve(CParametricGeometry* c1, CParametricGeometry* c2, double& s, double& t,
                         double gap)
{
    if (c1 == nullptr || c2 == nullptr)
        return -1.0;
    CCurveCurveCorrector corrector(c1, c2);
    corrector.gap = gap;
    corrector.gapSquared = gap * gap;
    corrector.useGap = !(gap <= 1e-6);

    Vector x(2);
    x[0] = s;
    x[1] = t;
    corrector.solve(x, 50, 0);

    // The distance at the point reached; a failed evaluation leaves s, t as
    // they were.
    Vector g(2);
    const Vector none(2);
    const double value = corrector.evaluate(0, g, x, 0.0, none);
    if (value >= kUnevaluable)
        return -1.0;

    // Cyclic parameters may have run past the domain: the same points, named
    // by parameters inside it.
    CParametricGeometry* curves[2] = {c1, c2};
    for (int k = 0; k < 2; ++k) {
        if (!isCyclicCurve(curves[k]))
            continue;
        const Interval d = curves[k]->getDomain(0);
        const double length = d.max - d.min;
        if (length > 0.0 && (x[k] < d.min || x[k] > d.max)) {
            x[k] = d.min + std::fmod(x[k] - d.min, length);
            if (x[k] < d.min)
                x[k] += length;
        }
    }
    s = x[0];
    t = x[1];

    if (!corrector.useGap)
        return std::sqrt(2.0 * value);
    return std::sqrt(std::sqrt(2.0 * value) + corrector.gapSquared);
}

// ---------------------------------------------------------------------------
// Intersections with a plane

bool intersectCurvePlaneIntervals(CParametricGeometry* curve, const CPlane& plane,
                                  const Kor::List<double>& params, Kor::List<double>& out,
                                  double tol)
{
    const int count = params.count;
    if (curve == nullptr || count < 2)
        return false;

    CIntersectCurvePlane solver(curve, plane);
    const bool closed = curve->isClosed();
    const double length = curve->getDomain(0).getLength();
    if (closed)
        solver.period = length;

    double sPrevious = 0.0;
    if (!solver.signedDistance(params.data[0], sPrevious))
        return false;

    // Candidate intervals first, searched afterwards by the one solver.
    Kor::List<double> lows;
    Kor::List<double> highs;
    const int last = closed ? count : count - 1;
    for (int k = 1; k <= last; ++k) {
        double t = params.data[k % count];
        if (k == count)
            t += length;
        double s = 0.0;
        if (!solver.signedDistance(t, s))
            return false;
        if (std::fabs(sPrevious) < tol || std::fabs(s) < tol || sPrevious * s < 0.001) {
            lows.append(std::min(params.data[k - 1], t));
            highs.append(std::max(params.data[k - 1], t));
        }
        sPrevious = s;
    }

    const int before = out.count;
    Vector x(1);
    for (int c = 0; c < lows.count; ++c) {
        x[0] = 0.5 * (lows.data[c] + highs.data[c]);
        solver.setBounds(lows.data[c], highs.data[c]);
        solver.solve(x, 30, 0);
        double s = 0.0;
        if (solver.signedDistance(x[0], s) && std::fabs(s) < tol)
            out.append(solver.wrapParameter(x[0]));
    }
    return out.count > before;
}
