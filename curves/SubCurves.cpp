#include "curves/SubCurves.h"

#include "curves/Projections.h"
#include "curves/StartValues.h"
#include "foundation/Progress.h"
#include "geometry/NurbsSurf.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>
#include <vector>

using Fenwo::NurbsSurf;

namespace {

// Span index of t (t clamped or wrapped by the knot vector).
int spanOf(const knots& k, double t)
{
    return k.clampToKnots(t);
}

double knotValue(const knots& k, int i)
{
    return *k.knotAt(i);
}

// The span of t, moved on by p when t sits just below the next knot: after
// inserting t p times rounding may leave it short of its own copies.
int closerSpanOf(const knots& k, double t)
{
    int i = spanOf(k, t);
    if (i < k.n + 1 && std::fabs(knotValue(k, i + 1) - t) < std::fabs(knotValue(k, i) - t))
        i += k.p;
    return i;
}

bool isCurveLike(const NurbsSurf& s)
{
    return s.vKnots == nullptr || s.vKnots->n == 0;
}

double pointScale(const Vector& p)
{
    double s = 1.0;
    for (int i = 0; i < p.size(); ++i)
        s = std::max(s, std::fabs(p[i]));
    return s;
}

} // namespace

NurbsSurf* getTrivialSubCurve(NurbsSurf* curve, double t1, double t2)
{
    if (curve == nullptr || curve->uKnots == nullptr || std::fabs(t1 - t2) < 1e-8)
        return nullptr;
    auto copy = std::make_unique<NurbsSurf>(*curve);
    const knots::EndCondition inputEnd = curve->uKnots->endCondition;
    {
        const Interval d = curve->uKnots->getDomain();
        const double domain[2] = {d.min, d.max};
        const double wanted[2] = {std::min(t1, t2), std::max(t1, t2)};
        if (inputEnd == knots::ClampedEnd && equalWithinEps2(domain, wanted))
            return copy.release();
    }

    const int p = copy->uKnots->p;
    const int inserted1 = copy->insertKnots(t1, p, 0);
    const int inserted2 = copy->insertKnots(t2, p, 0);
    const knots& k = *copy->uKnots;
    const int n = k.n;

    const int i1 = closerSpanOf(k, t1);
    int i2 = 0;
    if (std::fabs(t2 - knotValue(k, n + 1)) < 1e-8) {
        if (k.endCondition == knots::CyclicEnd)
            i2 = n + (std::fabs(t1 - knotValue(k, p)) < 1e-8 ? inserted1 : inserted2) + 1;
        else
            i2 = p + n;
    } else {
        i2 = closerSpanOf(k, t2);
    }

    const int s = i1 - p;
    int e = i2 - p;
    if (inputEnd == knots::OpenEnd) {
        // The first copy of t2. (The span search would not do: at the end of
        // the domain it answers the last non-empty span, below those copies.)
        i2 = 0;
        while (i2 < n + p + 1 && knotValue(k, i2) < t2 - 1e-8)
            ++i2;
        // Knot positions strictly between the last copy of t1 and the first
        // of t2.
        const int between = std::max(0, i2 - 1 - i1);
        e = p + between + s;
    }

    if (i1 == i2) {
        std::cout << "getTrivialSubCurve: degenerate Span, returning NULL" << std::endl;
        return nullptr;
    }
    if (e - s < p) {
        if (inserted2 == 0 && t2 > knotValue(k, i2)) {
            i2 += p;
            e += p;
        }
        if (e - s < p)
            return nullptr;
    }
    if (s < 0)
        return nullptr;

    const int newN = e - s;
    Vector positions(newN + p);
    for (int q = 0; q < newN + p; ++q)
        positions[q] = knotValue(k, s + q + 1);
    // The constructor runs the health test with repair; a vector that stays
    // unhealthy cannot carry the piece.
    knots newKnots(positions, newN, p);
    if (!newKnots.isHealthy)
        return nullptr;

    auto result = std::make_unique<NurbsSurf>(newKnots, copy->vKnots);
    if (result->getUCount() != newN + 1)
        return nullptr;
    result->dimension = copy->dimension;
    const int rows = copy->getVCount();
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i <= newN; ++i)
            result->setHomogeneousControlPoint(i, j, copy->getWrappedControlPoint(s + i, j));
    result->rational = result->isRational();
    return result.release();
}

NurbsSurf* wrappedSubCurve(NurbsSurf* curve, double t1, double t2)
{
    if (curve == nullptr || curve->uKnots == nullptr ||
        curve->uKnots->endCondition != knots::CyclicEnd || !(t1 > t2))
        return nullptr;
    auto copy = std::make_unique<NurbsSurf>(*curve);
    if (!copy->updateCyclicKnotList(t2, false))
        return nullptr;

    Vector target;
    curve->evaluatePoint(target, t1, 0.0);
    // The rotated copy runs from t2 over one period, so t1 (or t1 a period
    // on) is its parameter of the same point; take it exactly when it checks
    // out, which keeps the seam piece as accurate as the curve itself. Only
    // otherwise fall back to a projection (float accuracy).
    const double period = curve->getUMax() - curve->getUMin();
    double t = t1;
    if (t < copy->getUMin())
        t += period;
    Vector q;
    copy->evaluatePoint(q, t, 0.0);
    const double tol = 1e-12 * pointScale(target);
    if (!(t >= copy->getUMin() && t <= copy->getUMax()) ||
        std::sqrt(squaredDistance(q, target)) > tol) {
        t = copy->getUMin();
        startParameterOnCurve(*copy, target, t);
        if (projectPointOnCurve(copy.get(), target, t) < 0.0f)
            return nullptr;
    }
    if (!(t < copy->getUMax()))
        return nullptr;
    return getSubCurve(copy.get(), t, copy->getUMax());
}

NurbsSurf* getSubCurve(NurbsSurf* curve, double t1, double t2)
{
    if (curve == nullptr || curve->uKnots == nullptr)
        return nullptr;
    NurbsSurf* result = nullptr;
    if (curve->uKnots->endCondition == knots::CyclicEnd) {
        // The end of the period would wrap to its start: keep it at the end.
        const bool t2AtEnd = std::fabs(t2 - curve->getUMax()) < 1e-8;
        curve->uKnots->clampToRange(t1);
        curve->uKnots->clampToRange(t2);
        if (t2AtEnd)
            t2 = curve->getUMax();
        if (t1 <= t2) {
            result = getTrivialSubCurve(curve, t1, t2);
        } else {
            result = wrappedSubCurve(curve, t1, t2);
            if (result != nullptr && result->uKnots->endCondition == knots::OpenEnd) {
                NurbsSurf* clamped = getSubCurve(result, result->getUMin(), result->getUMax());
                delete result;
                result = clamped;
            }
        }
    } else {
        double v = 0.0;
        curve->toInternalParameters(t1, v);
        curve->toInternalParameters(t2, v);
        const double lo = curve->getUMin();
        const double hi = curve->getUMax();
        t1 = std::clamp(t1, lo, hi);
        t2 = std::clamp(t2, lo, hi);
        if (t2 < t1)
            std::swap(t1, t2);
        result = getTrivialSubCurve(curve, t1, t2);
        if (result == nullptr)
            return nullptr;
        if (curve->isUReversed())
            result->invertDirection(0);
    }
    if (result != nullptr) {
        result->rational = result->isRational();
        result->layer = curve->layer;
    }
    return result;
}

void decomposeToBezier(NurbsSurf* curve, Kor::List<int>* counts, Kor::List<double>* values)
{
    if (counts != nullptr)
        counts->clear();
    if (values != nullptr)
        values->clear();
    if (curve == nullptr || curve->uKnots == nullptr)
        return;
    Vector breakpoints;
    curve->uKnots->getBreakpoints(breakpoints,
                                  curve->uKnots->endCondition == knots::CyclicEnd ? 2 : 1);
    for (int k = 0; k < breakpoints.size(); ++k) {
        const double b = breakpoints[k];
        if (values != nullptr)
            values->append(b);
        const int missing = curve->uKnots->p - curve->uKnots->getMultiplicity(b);
        const int inserted = missing > 0 ? curve->insertKnots(b, missing, 0) : 0;
        if (counts != nullptr)
            counts->append(inserted);
    }
}

void elevateCurveDegree(NurbsSurf* g, int direction)
{
    if (g == nullptr || g->uKnots == nullptr)
        return;
    const bool wasRational = g->rational;
    if (g->getVCount() > 1) {
        elevateSurfaceDegree(g, direction);
        g->rational = wasRational;
        return;
    }

    NurbsSurf copy(*g);
    Kor::List<int> counts;
    Kor::List<double> values;
    decomposeToBezier(&copy, &counts, &values);
    knots elevated(*copy.uKnots);
    elevated.elevateDegree();
    if (!elevated.isHealthy)
        return;

    const int p = copy.uKnots->p;
    const int s = spanOf(*copy.uKnots, copy.getUMin()) - p;
    Vector breakpoints;
    copy.uKnots->getBreakpoints(breakpoints, 1);
    const int m = breakpoints.size();

    // Bezier degree elevation of every segment: Q_i = a P_(i-1) + (1 - a) P_i
    // with a = i / (p + 1), the segment's end points kept.
    std::vector<Vector> points;
    for (int k = 0; k <= s; ++k)
        points.push_back(copy.getWrappedControlPoint(k, 0));
    int c = s;
    for (int segment = 0; segment + 1 < m; ++segment) {
        for (int i = 1; i <= p; ++i) {
            const double a = static_cast<double>(i) / (p + 1);
            points.push_back(a * copy.getWrappedControlPoint(c + i - 1, 0) +
                             (1.0 - a) * copy.getWrappedControlPoint(c + i, 0));
        }
        points.push_back(copy.getWrappedControlPoint(c + p, 0));
        c += p;
    }
    const int lastElevated = static_cast<int>(points.size()) - 1;
    for (int k = (m - 1) * p + s + 1; k <= elevated.n; ++k)
        points.push_back(copy.getWrappedControlPoint(k, 0));

    NurbsSurf result(elevated, copy.vKnots);
    const int count = result.getUCount();
    // On a cyclic curve the first s points are the wrapped ends of the last
    // elevated segment, not the unelevated points before the first one.
    if (elevated.endCondition == knots::CyclicEnd)
        for (int i = 0; i < s && count + i <= lastElevated; ++i)
            points[i] = points[count + i];

    result.dimension = g->dimension;
    result.layer = g->layer;
    // Too few points would leave control points unset: keep g as it is.
    if (static_cast<int>(points.size()) < count)
        return;
    for (int i = 0; i < count; ++i)
        result.setHomogeneousControlPoint(i, 0, points[i]);

    // Take out again what the decomposition inserted.
    for (int k = 0; k < counts.getCount() && k < values.getCount(); ++k) {
        if (counts[k] <= 0)
            continue;
        int removed = 0;
        result.removeKnots(spanOf(*result.uKnots, values[k]), counts[k], &removed, 1e-6);
    }
    g->copyFrom(result);
    g->rational = wasRational;
}

void elevateSurfaceDegree(NurbsSurf* s, int direction)
{
    if (s == nullptr || s->uKnots == nullptr || s->vKnots == nullptr)
        return;
    if (direction == 1)
        s->swapuv();
    const bool wasRational = s->rational;
    const int nU = s->getUCount();
    const int nV = s->getVCount();
    std::vector<std::unique_ptr<NurbsSurf>> rows;
    bool consistent = true;
    for (int j = 0; j < nV && consistent; ++j) {
        auto row = std::make_unique<NurbsSurf>(*s->uKnots);
        row->dimension = s->dimension;
        for (int i = 0; i < nU; ++i)
            row->setHomogeneousControlPoint(i, 0, s->controlPointAt(i, j));
        elevateCurveDegree(row.get(), 0);
        // Every row must end on the knots of the first; a row that kept a
        // knot the others lost cannot share the surface's knot vector.
        if (row->uKnots->p != s->uKnots->p + 1)
            consistent = false;
        if (!rows.empty()) {
            const knots& a = *rows.front()->uKnots;
            const knots& b = *row->uKnots;
            if (a.n != b.n || a.p != b.p)
                consistent = false;
            for (int q = 0; consistent && q <= a.n + a.p + 1; ++q)
                if (std::fabs(a.valueAt(q) - b.valueAt(q)) > 1e-12)
                    consistent = false;
        }
        rows.push_back(std::move(row));
    }
    if (consistent && !rows.empty()) {
        NurbsSurf result(*rows.front()->uKnots, s->vKnots);
        result.dimension = s->dimension;
        result.layer = s->layer;
        const int count = result.getUCount();
        for (int j = 0; j < nV; ++j)
            for (int i = 0; i < count; ++i)
                result.setHomogeneousControlPoint(i, j, rows[j]->controlPointAt(i, 0));
        s->copyFrom(result);
        s->rational = wasRational;
    }
    if (direction == 1)
        s->swapuv();
}

bool refineKnots(NurbsSurf* s, int direction, int k, bool twoKnots)
{
    if (s == nullptr || !s->valid || s->uKnots == nullptr || s->vKnots == nullptr ||
        !s->uKnots->isHealthy || !s->vKnots->isHealthy || s->controlNet == nullptr)
        return false;
    if (direction != 0 && direction != 1)
        return false;
    if (direction == 1 && s->getVCount() <= 1)
        return false;
    const knots& kv = direction == 0 ? *s->uKnots : *s->vKnots;
    Vector b;
    kv.getBreakpoints(b, 1);
    const int m = b.size();
    const double lo = direction == 0 ? s->getUMin() : s->getVMin();
    const double hi = direction == 0 ? s->getUMax() : s->getVMax();

    std::vector<double> newKnots;
    if (twoKnots) {
        if (kv.n == kv.p || m < 2) {
            newKnots.push_back(0.8 * lo + 0.2 * hi);
            newKnots.push_back(0.2 * lo + 0.8 * hi);
        } else {
            newKnots.push_back(0.5 * (b[0] + b[1]));
            newKnots.push_back(0.5 * (b[m - 2] + b[m - 1]));
        }
    } else {
        for (int j = 1; j <= k; ++j)
            for (int i = 1; i < m; ++i) {
                const double a = static_cast<double>(j) / (k + 1);
                newKnots.push_back((1.0 - a) * b[i - 1] + a * b[i]);
            }
    }
    for (double t : newKnots)
        s->insertKnots(t, 1, direction);
    return true;
}

int removeKnotsWithinTolerance(NurbsSurf* s, double tol, CProgress* progress)
{
    if (s == nullptr || s->uKnots == nullptr)
        return 0;
    const bool cyclic = s->uKnots->endCondition == knots::CyclicEnd;
    int i = (cyclic ? 0 : s->uKnots->p) + 1;
    int total = 0;
    do {
        if (progress != nullptr) {
            progress->step(1);
            if (progress->isCancelled())
                break;
        }
        const int m = s->uKnots->getMultiplicityAt(i);
        int removed = 0;
        if (m > 0)
            s->removeKnots(i, m, &removed, tol);
        total += removed;
        // When every copy went, the next knot has moved into position i; a
        // position without a knot must be passed, or the loop never ends.
        if (m <= 0 || removed < m)
            ++i;
    } while (i <= (cyclic ? s->uKnots->n + 1 : s->uKnots->n));
    return total;
}

int simplify(NurbsSurf* s, double tol, CProgress* progress)
{
    if (s == nullptr || s->uKnots == nullptr || s->vKnots == nullptr)
        return 0;
    if (progress != nullptr) {
        progress->setLabel("simplify");
        progress->begin(0, (s->getUCount() - s->uKnots->p) + (s->getVCount() - s->vKnots->p));
    }
    int total = removeKnotsWithinTolerance(s, tol, progress);
    s->swapuv();
    total += removeKnotsWithinTolerance(s, tol, progress);
    s->swapuv();
    return total;
}

NurbsSurf* extractIsoCurve(NurbsSurf* s, double t, int code)
{
    if (s == nullptr || s->uKnots == nullptr || s->vKnots == nullptr)
        return nullptr;
    if (code != 2 && code != 3)
        return nullptr;
    if (code == 2 && isCurveLike(*s))
        return nullptr;
    const bool alongV = code == 2;
    knots& running = alongV ? *s->vKnots : *s->uKnots;
    knots& fixed = alongV ? *s->uKnots : *s->vKnots;

    double tt = t;
    const int span = fixed.clampToKnots(tt);
    const Vector basis = fixed.basisFunctions(span, tt); // copied: the next call overwrites it
    const int pf = fixed.p;
    const int dim = s->getDimension();

    auto curve = std::make_unique<NurbsSurf>(running);
    curve->dimension = dim;
    const int count = alongV ? s->getVCount() : s->getUCount();
    if (curve->getUCount() != count)
        return nullptr;
    for (int r = 0; r < count; ++r) {
        // Sum of N_k w_k P_k and of N_k w_k: the homogeneous combination.
        Vector h(dim + 1);
        for (int k = 0; k <= pf; ++k) {
            const int idx = span - pf + k;
            const Vector& P =
                alongV ? s->getWrappedControlPoint(idx, r) : s->getWrappedControlPoint(r, idx);
            if (P.size() < dim + 1)
                return nullptr;
            for (int d = 0; d <= dim; ++d)
                h[d] += basis[k] * P[d];
        }
        const double w = h[dim];
        if (w == 0.0)
            return nullptr;
        Vector xyz(dim);
        for (int d = 0; d < dim; ++d)
            xyz[d] = h[d] / w;
        curve->setControlPoint(r, 0, xyz, w);
    }
    curve->rational = s->rational || curve->isRational();
    curve->layer = s->layer;
    return curve.release();
}

NurbsSurf* controlPolygonCurves(const NurbsSurf* s, int index, int code, int first, int last)
{
    if (s == nullptr || s->uKnots == nullptr || s->vKnots == nullptr)
        return nullptr;
    bool alongV = false;
    if (code == 1 || code == 2)
        alongV = true;
    else if (code != 0 && code != 3)
        return nullptr;
    if (code == 2 && isCurveLike(*s))
        return nullptr;
    const int count = alongV ? s->getVCount() : s->getUCount();
    const int other = alongV ? s->getUCount() : s->getVCount();
    if (index < 0 || index >= other)
        return nullptr;
    if (first < 0)
        first = 0;
    if (last < 0 || last >= count)
        last = count - 1;
    if (last < first)
        std::swap(first, last);
    if (first >= count || last - first < 1)
        return nullptr;

    const knots& kv = alongV ? *s->vKnots : *s->uKnots;
    knots k(last - first, 1, 0.0, static_cast<double>(last - first), kv.endCondition,
            knots::Uniform);
    if (!k.isHealthy)
        return nullptr;
    auto curve = std::make_unique<NurbsSurf>(k);
    curve->dimension = s->dimension;
    if (curve->getUCount() != last - first + 1)
        return nullptr;
    for (int i = first; i <= last; ++i) {
        const Vector& P =
            alongV ? s->getWrappedControlPoint(index, i) : s->getWrappedControlPoint(i, index);
        curve->setHomogeneousControlPoint(i - first, 0, P);
    }
    curve->rational = curve->isRational();
    return curve.release();
}

NurbsSurf* hermiteSegment(const Vector& P0, const Vector& T0, const Vector& P1, const Vector& T1,
                          int degree, double f0, double f1)
{
    knots k(3, 3, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    auto curve = std::make_unique<NurbsSurf>(k);
    const Vector a(P0[0], P0[1], P0[2]);
    const Vector b(P1[0], P1[1], P1[2]);
    // normalized gives the zero vector for a zero tangent.
    const Vector u0 = normalized(Vector(T0[0], T0[1], T0[2]));
    const Vector u1 = normalized(Vector(T1[0], T1[1], T1[2]));
    const double c = std::sqrt(squaredDistance(a, b));
    if (degree <= 3) {
        const double along0 = std::fabs(dot(b - a, u0));
        if (f0 * c > along0)
            f0 = along0 / 3.0 / c;
        const double along1 = std::fabs(dot(a - b, u1));
        if (std::fabs(f1 * c) > along1)
            f1 = along1 / 3.0 / c;
    }
    curve->setControlPoint(0, 0, a);
    curve->setControlPoint(1, 0, a + (f0 * c) * u0);
    curve->setControlPoint(2, 0, b - (f1 * c) * u1);
    curve->setControlPoint(3, 0, b);
    for (int j = 1; j <= degree - 3; ++j)
        curve->insertKnots(static_cast<double>(j) / (degree - 2), 1, 0);
    return curve.release();
}

NurbsSurf* polylineOfFitPoints(const IndexSubset<CFitPoint>& sel, bool closed)
{
    const int count = sel.getCount();
    if (count < 2)
        return nullptr;
    knots k(count - 1, 1, 0.0, 1.0, closed ? knots::CyclicEnd : knots::ClampedEnd, knots::Uniform);
    if (!k.isHealthy)
        return nullptr;
    auto curve = std::make_unique<NurbsSurf>(k);
    if (curve->getUCount() != count)
        return nullptr;
    for (int i = 0; i < count; ++i) {
        const Vector& P = sel[i].Point;
        if (P.size() < 3)
            return nullptr;
        curve->setControlPoint(i, 0, Vector(P[0], P[1], P[2]), 1.0);
    }
    return curve.release();
}

NurbsSurf* polylineOfAllFitPoints(CFitPointArray& points, bool closed)
{
    IndexSubset<CFitPoint> all(points);
    all.selectAll();
    return polylineOfFitPoints(all, closed);
}

void reparametrizeByChordLength(NurbsSurf* c)
{
    if (c == nullptr || c->uKnots == nullptr || c->uKnots->p != 1 ||
        c->uKnots->endCondition == knots::CyclicEnd)
        return;
    Vector legs;
    const double total = c->computeLength(&legs);
    const int n = c->uKnots->n;
    if (!(total > 0.0) || legs.size() < n)
        return;
    // Positions 0 .. n + 2: 0, 0, the running lengths after each leg, total.
    Vector positions(n + 3);
    double running = 0.0;
    for (int i = 0; i < n; ++i) {
        running += legs[i];
        positions[i + 2] = running;
    }
    positions[n + 1] = total;
    positions[n + 2] = total;
    auto k = std::make_unique<knots>(positions, n, 1);
    // A zero-length leg would make a knot of multiplicity 2: keep the old knots.
    if (!k->isHealthy || k->n != n)
        return;
    c->reparametrizeU(k.release());
}

NurbsSurf* expandCyclicKnots(NurbsSurf* s)
{
    if (s == nullptr || s->uKnots == nullptr || s->vKnots == nullptr)
        return nullptr;
    if (s->uKnots->endCondition != knots::CyclicEnd) {
        if (s->vKnots->endCondition != knots::CyclicEnd)
            return nullptr;
        s->swapuv();
        NurbsSurf* expanded = expandCyclicKnots(s);
        s->swapuv();
        if (expanded != nullptr)
            expanded->swapuv();
        return expanded;
    }
    const knots& old = *s->uKnots;
    const int n = old.n;
    const int p = old.p;
    std::vector<double> values(n + p + 2);
    for (int i = 0; i <= n + p + 1; ++i)
        values[i] = old.valueAt(i);
    knots open(values.data(), n + p + 2, p, false);
    open.endCondition = knots::OpenEnd;
    if (!open.checkHealth(1) || open.getControlPointCount() != n + 1)
        return nullptr;

    auto result = std::make_unique<NurbsSurf>(open, s->vKnots);
    result->dimension = s->dimension;
    result->layer = s->layer;
    const int nV = s->getVCount();
    for (int j = 0; j < nV; ++j)
        for (int i = 0; i <= n; ++i)
            result->setHomogeneousControlPoint(i, j, s->getWrappedControlPoint(i, j));
    result->rational = s->rational;
    return result.release();
}

bool orientSurfaceSide(NurbsSurf* s, int code, bool& reversed, bool& swapped, double& parameter)
{
    reversed = false;
    swapped = false;
    if (s == nullptr || s->uKnots == nullptr)
        return false;
    parameter = s->getUMax();
    if (!isCurveLike(*s)) {
        switch (code) {
        case 0:
            return false;
        case 1:
            s->swapuv();
            parameter = s->getUMax();
            s->invertDirection(0);
            reversed = true;
            swapped = true;
            break;
        case 2:
            s->swapuv();
            swapped = true;
            break;
        case 3:
            parameter = s->getUMax();
            s->invertDirection(0);
            reversed = true;
            break;
        default:
            break;
        }
        return true;
    }
    if (code == 1 || code == 3) {
        parameter = s->getUMax();
        s->invertDirection(0);
        reversed = true;
    }
    return true;
}

void distributeKnotsToMatch(NurbsSurf*& c, const knots& target)
{
    if (c == nullptr || c->uKnots == nullptr)
        return;
    const knots& k = *c->uKnots;
    const int n = k.n;
    const int p = k.p;
    const int extra = target.n - n;
    const int spans = std::max(1, n - p);
    std::vector<double> newKnots;
    if (extra > 0) {
        const int q = extra / spans;
        const int r = extra % spans;
        for (int i = 0; i < spans; ++i) {
            const int cnt = i == 0 ? q + r : q;
            const double a = knotValue(k, p + i);
            const double b = knotValue(k, p + i + 1);
            for (int j = 1; j <= cnt; ++j) {
                const double f = static_cast<double>(j) / (cnt + 1);
                newKnots.push_back(f * b + (1.0 - f) * a);
            }
        }
    }
    for (double t : newKnots)
        c->insertKnots(t, 1, 0);
    c->reparametrizeU(new knots(target));
}
