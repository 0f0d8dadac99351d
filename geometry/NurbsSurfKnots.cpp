// Knot insertion and knot removal of Fenwo::NurbsSurf.
//
// Both work on the homogeneous control points (w x, w y, w z, w), one row of
// the net at a time, so weights travel with the points and a rational
// surface keeps its shape. A cyclic direction is handled on its unrolled
// points (the n + 1 points read with wrapped indices); the results are
// written back into the distinct points so that the points computed next to
// the changed knot win over stale wrapped copies.

#include "geometry/NurbsSurf.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <vector>

namespace Fenwo {

namespace {

// One homogeneous control point.
using Homogeneous = std::array<double, 4>;

// The homogeneous point stored in P; entries P lacks (a point never set)
// count as 0, as they do in evaluation.
Homogeneous toHomogeneous(const Vector& P)
{
    Homogeneous h{0.0, 0.0, 0.0, 0.0};
    const int m = std::min(P.n, 4);
    for (int k = 0; k < m; ++k)
        h[k] = P[k];
    return h;
}

Vector toVector(const Homogeneous& h)
{
    return Vector(h.data(), 4);
}

// a A + b B.
Homogeneous combine(double a, const Homogeneous& A, double b, const Homogeneous& B)
{
    return {a * A[0] + b * B[0], a * A[1] + b * B[1], a * A[2] + b * B[2], a * A[3] + b * B[3]};
}

double distance4(const Homogeneous& A, const Homogeneous& B)
{
    double sum = 0.0;
    for (int k = 0; k < 4; ++k)
        sum += (A[k] - B[k]) * (A[k] - B[k]);
    return std::sqrt(sum);
}

int wrap(int i, int count)
{
    const int r = i % count;
    return r < 0 ? r + count : r;
}

// Result of removing one knot from one row of control points.
struct RowRemoval {
    int removed = 0;      // removals accepted
    int lastChanged = -1; // largest unrolled index rewritten by an accepted removal
};

// Removes the knot u = U(r) (r the last position of its run, multiplicity s)
// up to num times from the unrolled points Pw (n + 1 of them), each removal
// only while it moves the control polygon by no more than tol. On success the
// first n + 1 - removed entries of Pw are the new points; the knot vector is
// left to the caller. Pw is untouched when nothing is removed.
RowRemoval removeKnotFromRow(const knots& U, std::vector<Homogeneous>& Pw, int r, int s, int num,
                             double tol)
{
    RowRemoval result;
    const int p = U.p;
    const int n = U.n;
    const int ord = p + 1;
    const double u = U.valueAt(r);
    const int fout = (2 * r - s - p) / 2;
    int first = r - p;
    int last = r - s;
    std::vector<Homogeneous> temp(2 * p + 1);

    int t = 0;
    for (; t < num; ++t) {
        const int off = first - 1;
        temp[0] = Pw[off];
        temp[last + 1 - off] = Pw[last + 1];
        int i = first;
        int j = last;
        int ii = 1;
        int jj = last - off;
        // Unknown points from both ends towards the middle.
        while (j - i > t) {
            const double ai = (u - U.valueAt(i)) / (U.valueAt(i + ord + t) - U.valueAt(i));
            const double aj = (u - U.valueAt(j - t)) / (U.valueAt(j + ord) - U.valueAt(j - t));
            temp[ii] = combine(1.0 / ai, Pw[i], -(1.0 - ai) / ai, temp[ii - 1]);
            temp[jj] = combine(1.0 / (1.0 - aj), Pw[j], -aj / (1.0 - aj), temp[jj + 1]);
            ++i;
            ++ii;
            --j;
            --jj;
        }
        // The two sweeps must meet: the knot is removable when they agree
        // within the tolerance (a non-finite coefficient never agrees).
        bool removable;
        if (j - i < t) {
            removable = distance4(temp[ii - 1], temp[jj + 1]) <= tol;
        } else {
            const double ai = (u - U.valueAt(i)) / (U.valueAt(i + ord + t) - U.valueAt(i));
            removable =
                distance4(Pw[i], combine(ai, temp[ii + t + 1], 1.0 - ai, temp[ii - 1])) < tol;
        }
        if (!removable)
            break;
        i = first;
        j = last;
        while (j - i > t) {
            Pw[i] = temp[i - off];
            Pw[j] = temp[j - off];
            result.lastChanged = std::max(result.lastChanged, j);
            ++i;
            --j;
        }
        --first;
        ++last;
    }
    result.removed = t;
    if (t == 0)
        return result;

    // Close the gap the removed points leave.
    int j = fout;
    int i = fout;
    for (int k = 1; k < t; ++k) {
        if (k % 2 == 1)
            ++i;
        else
            --j;
    }
    for (int k = i + 1; k <= n; ++k)
        Pw[j++] = Pw[k];
    return result;
}

} // namespace

int NurbsSurf::insertKnots(double t, int r, int direction)
{
    // Nothing inserted is reported as 0 whatever the reason, so that callers
    // never count an invalid request as a refinement.
    if (r <= 0 || (direction != 0 && direction != 1) || !std::isfinite(t))
        return 0;
    knots* K = direction == 0 ? uKnots : vKnots;
    if (K == nullptr || K->n <= 0 || K->p <= 0 || !K->isHealthy)
        return 0;
    const int p = K->p;
    const int n = K->n;
    const bool cyclic = K->endCondition == knots::CyclicEnd;
    const int count = direction == 0 ? getUCount() : getVCount();
    const int otherCount = direction == 0 ? getVCount() : getUCount();

    // Only values of the domain are inserted; on a clamped vector only
    // strictly interior ones (the ends already have full multiplicity).
    K->clampToRange(t);
    if (K->endCondition == knots::ClampedEnd) {
        if (t <= K->valueAt(p) || t >= K->valueAt(n + 1))
            return 0;
    } else if (cyclic) {
        if (t < K->valueAt(0) || t >= K->valueAt(n + p))
            return 0;
    }

    // An existing knot takes at most p - s more; its stored value is used so
    // that rounding does not create a second knot next to it.
    const int distinct = K->findKnot(t);
    const int s = distinct >= 0 ? K->multiplicities[distinct] : 0;
    r = std::min(r, p - s);
    if (r <= 0)
        return 0;

    // k: the span of t, for an existing knot the last position of its run.
    int k;
    if (distinct >= 0) {
        t = K->values[distinct];
        k = K->cumulativeMultiplicities[distinct] - 1;
    } else {
        double tc = t;
        k = K->clampToKnots(tc);
    }
    if (cyclic)
        k = wrap(k - p, count) + p;
    // The points k - p .. k - s and the knots up to k + p - s must exist.
    if (k < p || k - s > n)
        return 0;

    auto fresh = std::make_unique<knots>(*K);
    fresh->insertKnot(t, r);
    const int newCount = count + r;
    if (fresh->n != n + r || fresh->p != p || fresh->getControlPointCount() != newCount)
        return 0;

    // alpha(j, i) = (t - U(L + i)) / (U(i + k + 1) - U(L + i)), L = k - p + j.
    std::vector<double> alpha(static_cast<size_t>(r + 1) * (p + 1), 1.0);
    for (int j = 1; j <= r; ++j) {
        const int L = k - p + j;
        for (int i = 0; i <= p - j - s; ++i) {
            const double a = (t - K->valueAt(L + i)) / (K->valueAt(i + k + 1) - K->valueAt(L + i));
            alpha[j * (p + 1) + i] = std::isfinite(a) ? a : 1.0;
        }
    }

    // Row b of the net along the direction: point (a, b) is (a, b) in u and
    // (b, a) in v.
    auto pointAt = [&](int a, int b) -> const Vector& {
        return direction == 0 ? getWrappedControlPoint(a, b) : getWrappedControlPoint(b, a);
    };

    const int firstChanged = k - p + 1;
    const int lastChanged = k - s + r - 1;
    std::vector<Homogeneous> newNet(static_cast<size_t>(newCount) * otherCount);
    std::vector<Homogeneous> P(n + 1), Q(n + r + 1), R(p + 1);
    for (int b = 0; b < otherCount; ++b) {
        for (int a = 0; a <= n; ++a)
            P[a] = toHomogeneous(pointAt(a, b));
        for (int a = 0; a <= k - p; ++a)
            Q[a] = P[a];
        for (int a = k - s; a <= n; ++a)
            Q[a + r] = P[a];
        for (int i = 0; i <= p - s; ++i)
            R[i] = P[k - p + i];
        int L = k - p;
        for (int j = 1; j <= r; ++j) {
            L = k - p + j;
            for (int i = 0; i <= p - j - s; ++i) {
                const double a = alpha[j * (p + 1) + i];
                R[i] = combine(a, R[i + 1], 1.0 - a, R[i]);
            }
            Q[L] = R[0];
            Q[k + r - j - s] = R[p - j - s];
        }
        for (int i = L + 1; i < k - s; ++i)
            Q[i] = R[i - L];

        // Unrolled points to distinct points: the copied points first, then
        // the new ones, which replace stale wrapped copies across the seam.
        Homogeneous* row = newNet.data() + static_cast<size_t>(b) * newCount;
        for (int a = 0; a <= n + r; ++a)
            if (a < firstChanged || a > lastChanged)
                row[wrap(a, newCount)] = Q[a];
        for (int a = firstChanged; a <= lastChanged; ++a)
            row[wrap(a, newCount)] = Q[a];
    }

    const bool wasRational = rational;
    if (direction == 0) {
        delete uKnots;
        uKnots = fresh.release();
    } else {
        delete vKnots;
        vKnots = fresh.release();
    }
    // A net of another size: the storage allocation also drops the fit state
    // (null space, variable arrays) that describes the old one.
    allocateStorage();
    rational = wasRational;
    for (int b = 0; b < otherCount; ++b)
        for (int a = 0; a < newCount; ++a) {
            const Vector P = toVector(newNet[static_cast<size_t>(b) * newCount + a]);
            if (direction == 0)
                controlPointAt(a, b) = P;
            else
                controlPointAt(b, a) = P;
        }
    shiftSingleConstraints(k, r, direction);
    return r;
}

void NurbsSurf::removeKnots(int r, int num, int* removed, double tol)
{
    int count = 0;
    if (removed != nullptr)
        *removed = 0;
    knots* U = uKnots;
    if (U == nullptr || !U->isHealthy || num <= 0)
        return;
    const int p = U->p;
    const int n = U->n;
    if (r <= p || r > n)
        return;
    // The removal formulas need the last position of the knot's run.
    while (r < n + p + 1 && U->valueAt(r + 1) == U->valueAt(r))
        ++r;
    if (r > n)
        return;
    const int s = U->getMultiplicityAt(r);
    if (s > p)
        return;
    // Each removal reaches one point further back; never before point 0.
    num = std::min({num, s, r - p});
    if (num <= 0)
        return;

    const bool cyclic = U->endCondition == knots::CyclicEnd;
    const int nU = getUCount();
    const int nV = getVCount();

    // Every row must lose the knot the same number of times.
    std::vector<std::vector<Homogeneous>> rows(nV, std::vector<Homogeneous>(n + 1));
    std::vector<int> lastChanged(nV, -1);
    for (int j = 0; j < nV; ++j) {
        for (int i = 0; i <= n; ++i)
            rows[j][i] = toHomogeneous(getWrappedControlPoint(i, j));
        const RowRemoval rowResult = removeKnotFromRow(*U, rows[j], r, s, num, tol);
        if (rowResult.removed == 0 || (j > 0 && rowResult.removed != count))
            return;
        count = rowResult.removed;
        lastChanged[j] = rowResult.lastChanged;
    }

    auto fresh = std::make_unique<knots>(*U);
    fresh->removeKnot(U->positionToDistinct[r], count);
    const int newCount = nU - count;
    const int newN = n - count;
    if (fresh->n != newN || fresh->getControlPointCount() != newCount || newCount < 1)
        return;

    const bool wasRational = rational;
    delete uKnots;
    uKnots = fresh.release();
    allocateStorage();
    rational = wasRational;
    for (int j = 0; j < nV; ++j) {
        // On a cyclic row whose rewritten points reach the wrapped tail, the
        // whole unrolled row is written so that the tail lands on the first
        // points; otherwise the distinct points alone.
        const int written = cyclic && lastChanged[j] >= newN - p ? newN + 1 : newCount;
        for (int i = 0; i < written; ++i)
            controlPointAt(wrap(i, newCount), j) = toVector(rows[j][i]);
    }
    if (removed != nullptr)
        *removed = count;
}

} // namespace Fenwo
