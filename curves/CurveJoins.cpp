#include "curves/CurveJoins.h"

#include "curves/SubCurves.h"
#include "geometry/FitHelpers.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <iostream>
#include <vector>

using Fenwo::NurbsSurf;

namespace {

// First u derivative of a curve at its start (atEnd false) or end.
Vector endDerivative(NurbsSurf* c, bool atEnd)
{
    Vector** t = c->evaluate(1, atEnd ? c->getUMax() : c->getUMin(), 0.0);
    return t[1][0];
}

// Puts B's u knots onto [A's end, A's end + B's length]; tiny lengths count
// as 1e-6 so that the knot vector never collapses.
void reparametrizeByLength(NurbsSurf* A, NurbsSurf* B)
{
    double L = B->getLength();
    if (1e-6 > L)
        L = 1e-6;
    const double u = A->getUMax();
    B->uKnots->rescale(u, u + L);
}

// Relative size of B's start derivative against the target tangent that the
// trial knot of CMakeC1Parametric reaches comfortably: the knot may move only
// between B's start and its next knot, i.e. the first span may shrink but not
// grow, and not towards zero.
constexpr double kLowestRatio = 0.05;
constexpr double kHighestRatio = 0.95;
// Relative tangent mismatch accepted as a C1 joint.
constexpr double kTangentTolerance = 1e-4;

} // namespace

// ---------------------------------------------------------------------------
// CMakeC1Parametric

CMakeC1Parametric::CMakeC1Parametric(NurbsSurf* a, NurbsSurf* b)
    : CConjugateGradient(4, true), A(a), B(b)
{
    m_numericGradient = true;
    A->uKnots->getBreakpoints(breakpointsA, 1);
    B->uKnots->getBreakpoints(breakpointsB, 1);
    targetTangent = endDerivative(A, true);

    const int p = B->uKnots->p;
    upperBounds = std::make_unique<Vector>(4);
    lowerBounds = std::make_unique<Vector>(4);
    (*upperBounds)[0] = *B->uKnots->knotAt(p + 2) - 1e-7;
    (*lowerBounds)[0] = (breakpointsB.n > 0 ? breakpointsB[0] : B->uKnots->t0) + 1e-7;
    for (int i = 1; i < 4; ++i) {
        (*upperBounds)[i] = DBL_MAX;
        (*lowerBounds)[i] = -DBL_MAX;
    }
    savedKnot = *B->uKnots->knotAt(p + 1);
}

CMakeC1Parametric::~CMakeC1Parametric()
{
    CParametricGeometry::freeDerivativeTable(table, 1);
}

double CMakeC1Parametric::evaluate(int /*mode*/, Vector& /*grad*/, const Vector& x, double alpha,
                                   const Vector& p)
{
    double y[4];
    for (int i = 0; i < 4; ++i) {
        y[i] = x[i] + alpha * p[i];
        if (y[i] < (*lowerBounds)[i])
            y[i] = (*lowerBounds)[i];
        if (y[i] > (*upperBounds)[i])
            y[i] = (*upperBounds)[i];
    }

    knots* k = B->uKnots;
    const int deg = k->p;
    // The homogeneous point is saved so that restoring it is exact.
    const Vector saved = B->controlPointAt(1, 0);
    B->setControlPointPosition(1, 0, Vector(y[1], y[2], y[3]));
    k->setKnotValue(deg + 1, y[0]);
    table = B->computeDerivatives(1, B->getUMin(), 0.0, table);
    k->setKnotValue(deg + 1, savedKnot);
    B->setHomogeneousControlPoint(1, 0, saved);

    const Vector d = table[1][0] - targetTangent;
    return 0.5 * std::sqrt(std::max(dot(d, d), 0.0));
}

// ---------------------------------------------------------------------------
// Joints

bool makeJointC1(NurbsSurf* A, NurbsSurf* B)
{
    if (A == nullptr || B == nullptr)
        return false;
    const int nA = A->getUCount();
    Vector a2, a1, b0, b1;
    A->getControlPointXYZ(a2, nA - 2, 0);
    A->getControlPointXYZ(a1, nA - 1, 0);
    B->getControlPointXYZ(b0, 0, 0);
    B->getControlPointXYZ(b1, 1, 0);

    const Vector m = (a1 + b0) * 0.5;
    Vector d = (a1 - a2) + (b1 - b0);
    d.normalize();
    const CAxis axis(m, d);

    const Vector a2p = axis.footOnLine(a2);
    const Vector a1p = axis.footOnLine(a1);
    const Vector b0p = axis.footOnLine(b0);
    const Vector b1p = axis.footOnLine(b1);
    const Vector joint = (a1p + b0p) * 0.5;

    A->setControlPointPosition(nA - 2, 0, a2p);
    A->setControlPointPosition(nA - 1, 0, joint);
    B->setControlPointPosition(0, 0, joint);
    B->setControlPointPosition(1, 0, b1p);
    return true;
}

bool optimiseJointC1(NurbsSurf* A, NurbsSurf* B)
{
    if (A == nullptr || B == nullptr || A->uKnots == nullptr || B->uKnots == nullptr)
        return false;
    knots* ka = A->uKnots;
    knots* kb = B->uKnots;
    if (ka->p != kb->p || ka->p < 1 || ka->endCondition != knots::ClampedEnd ||
        kb->endCondition != knots::ClampedEnd || A->getUCount() < 2 || B->getUCount() < 2)
        return false;

    Vector a2, a1, b0, b1;
    const int nA = A->getUCount();
    A->getControlPointXYZ(a2, nA - 2, 0);
    A->getControlPointXYZ(a1, nA - 1, 0);
    B->getControlPointXYZ(b0, 0, 0);
    B->getControlPointXYZ(b1, 1, 0);
    if (!areParallel(a1 - a2, b1 - b0)) {
        reparametrizeByLength(A, B);
        return false;
    }

    // Parallel legs may still point against each other (a cusp), and then no
    // parametrisation gives equal derivatives.
    const Vector target = endDerivative(A, true);
    const Vector start = endDerivative(B, false);
    const double targetNorm = norm(target);
    const double startNorm = norm(start);
    if (!(targetNorm > 1e-12) || !(startNorm > 1e-12) || dot(target, start) <= 0.0) {
        reparametrizeByLength(A, B);
        return false;
    }
    // The trial knot stays between B's start and its next knot, so it can only
    // shorten the first span. Stretch B beforehand so that the matching knot
    // lies inside that range; otherwise the optimum sits on the bound and the
    // rescaled B would not meet A's derivative.
    const double ratio = startNorm / targetNorm;
    if (ratio < kLowestRatio || ratio > kHighestRatio) {
        const double lo = kb->t0;
        kb->rescale(lo, lo + (kb->t1 - lo) * 2.0 * ratio);
    }

    CMakeC1Parametric problem(A, B);
    if (problem.breakpointsB.n < 2) {
        reparametrizeByLength(A, B);
        return false;
    }
    // Only the knot result is used (the trial control point is restored by
    // every evaluation), so the control point is pinned: were it free, the
    // optimiser would absorb part of the mismatch with it and the knot alone
    // would not make the joint C1.
    Vector x(4);
    x[0] = 0.5 * (problem.breakpointsB[0] + problem.breakpointsB[1]);
    for (int i = 0; i < 3; ++i) {
        x[i + 1] = b1[i];
        (*problem.lowerBounds)[i + 1] = b1[i];
        (*problem.upperBounds)[i + 1] = b1[i];
    }
    problem.solve(x, 20, 0);
    x[0] = std::clamp(x[0], (*problem.lowerBounds)[0], (*problem.upperBounds)[0]);

    const double delta1 = x[0] - problem.breakpointsB[0];
    std::cout << "delta1 = " << delta1 << std::endl;
    double s = (problem.breakpointsB[1] - problem.breakpointsB[0]) / std::max(2.2e-16, delta1);
    s = std::max(s, 2.2e-16);
    const double newEnd = (kb->t1 - kb->t0) / s + ka->t1;
    if (newEnd > ka->t1) {
        kb->rescale(ka->t1, newEnd);
        const Vector reached = endDerivative(B, false);
        if (norm(reached - target) <= kTangentTolerance * targetNorm)
            return true;
    }
    reparametrizeByLength(A, B);
    return false;
}

// ---------------------------------------------------------------------------
// Degrees and the join

void elevateDegreesToCommon(IndexSubset<NurbsSurf*>& curves, bool vDirection)
{
    auto degreeOf = [vDirection](NurbsSurf* c) {
        const knots* k = vDirection ? c->vKnots : c->uKnots;
        return k != nullptr ? k->p : 0;
    };
    int maxDegree = 0;
    for (int i = 0; i < curves.getCount(); ++i)
        if (curves[i] != nullptr)
            maxDegree = std::max(maxDegree, degreeOf(curves[i]));
    for (int i = 0; i < curves.getCount(); ++i) {
        NurbsSurf* c = curves[i];
        if (c == nullptr || c->uKnots == nullptr)
            continue;
        // elevateCurveDegree ignores the direction on a curve, which would
        // raise u for a request in v.
        if (vDirection && c->getVCount() <= 1)
            continue;
        const int steps = maxDegree - degreeOf(c);
        for (int s = 0; s < steps; ++s)
            elevateCurveDegree(c, vDirection ? 1 : 0);
    }
}

NurbsSurf* joinCurvesC1(IndexSubset<NurbsSurf*>& curves, Kor::Array<int> keepDirection,
                        double tolerance, bool simplify, bool makeC1)
{
    const int count = curves.getCount();
    if (count == 0)
        return nullptr;
    for (int i = 0; i < count; ++i)
        if (curves[i] == nullptr || curves[i]->uKnots == nullptr || curves[i]->vKnots == nullptr)
            return nullptr;

    elevateDegreesToCommon(curves, false);
    const int p = curves[0]->uKnots->p;
    for (int i = 1; i < count; ++i)
        if (curves[i]->uKnots->p != p)
            return nullptr;

    std::vector<double> values;
    values.reserve(10 * static_cast<size_t>(count));
    double cum = 0.0;
    int total = 0;
    bool anyC1 = false;

    for (int i = 0; i < count; ++i) {
        NurbsSurf* c = curves[i];
        const bool keep = i >= keepDirection.getCount() || keepDirection[i] == 1;
        if (!keep)
            c->invertDirection(0);

        if (!makeC1) {
            knots* k = c->uKnots;
            const double span = std::fabs(*k->knotAt(k->n + 1) - *k->knotAt(k->p));
            k->rescale(cum, cum + std::max(span, 1e-6));
        }
        if (simplify)
            removeKnotsWithinTolerance(c, 1e-6, nullptr);
        if (i >= 1 && makeC1) {
            NurbsSurf* previous = curves[i - 1];
            if (makeJointC1(previous, c) && optimiseJointC1(previous, c)) {
                anyC1 = true;
            } else {
                double L = c->getLength();
                if (1e-6 > L)
                    L = 1e-6;
                c->uKnots->rescale(cum, cum + L);
            }
        }

        total += c->getUCount();
        const knots* k = c->uKnots;
        const int k0 = i == 0 ? 1 : p + 1;
        for (int r = k0; r <= k->n + p; ++r)
            values.push_back(*k->knotAt(r));
        cum = c->getUMax();
    }

    // Cyclic pieces list their wrapped tail too; the joined vector takes
    // exactly the n + p values its control points need.
    const int n = total - count;
    const int used = std::min(static_cast<int>(values.size()), n + p);
    const knots joinedU(Vector(values.data(), used), n, p);
    if (!joinedU.isHealthy || joinedU.getControlPointCount() != n + 1)
        return nullptr;

    const knots* v = curves[0]->vKnots;
    for (int i = 1; i < count; ++i)
        if (curves[i]->vKnots->n < v->n)
            v = curves[i]->vKnots;
    auto* joined = new NurbsSurf(joinedU, v);

    const int rows = joined->getVCount();
    int offset = 0;
    for (int i = 0; i < count; ++i) {
        NurbsSurf* c = curves[i];
        const int first = i == 0 ? 0 : 1;
        // The joint keeps the previous curve's end point; scaling this curve's
        // homogeneous points to that point's weight keeps its rational shape.
        double factor = 1.0;
        if (i > 0) {
            NurbsSurf* previous = curves[i - 1];
            Vector xyz;
            double wPrevious = 0.0, wFirst = 0.0;
            previous->getControlPointAndWeight(xyz, previous->getUCount() - 1, 0, wPrevious);
            c->getControlPointAndWeight(xyz, 0, 0, wFirst);
            if (wPrevious > 0.0 && wFirst > 0.0)
                factor = wPrevious / wFirst;
        }
        const int nU = c->getUCount();
        const int cRows = std::min(rows, c->getVCount());
        for (int j = 0; j < cRows; ++j)
            for (int ii = first; ii < nU; ++ii) {
                Vector P = c->controlPointAt(ii, j);
                if (factor != 1.0)
                    P *= factor;
                joined->setHomogeneousControlPoint(offset + ii - first, j, P);
            }
        offset += nU - first;
    }

    if (anyC1 && simplify)
        removeKnotsWithinTolerance(joined, tolerance, nullptr);
    joined->rational = joined->isRational();
    return joined;
}
