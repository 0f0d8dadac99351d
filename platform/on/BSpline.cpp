#include "platform/on/BSpline.h"

#include "platform/on/Values.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace OnSubset {

int findSpan(int order, int cvCount, const double* knot, double t, int side)
{
    const int lo = order - 2, hi = cvCount - 2;
    if (order < 2 || cvCount < order || !knot || !(knot[lo] < knot[hi + 1]))
        return -1;
    // The last j in [lo, hi] with knot[j] <= t.
    int j = static_cast<int>(std::upper_bound(knot + lo, knot + hi + 1, t) - knot) - 1;
    j = std::clamp(j, lo, hi);
    if (side < 0 && t == knot[j] && j > lo) {
        // At a knot, from below: the span that ends at t.
        while (j > lo && knot[j] >= t)
            --j;
    }
    return j;
}

bool basisDerivatives(int order, const double* knot, int span, double t, int derCount, double* ders)
{
    const int p = order - 1;
    const int n = std::min(derCount, p);
    // ndu[r][s]: basis values in the upper triangle, knot differences in the
    // lower one (row-major, order x order).
    Scratch ndu(static_cast<size_t>(order * order)), left(static_cast<size_t>(order)),
        right(static_cast<size_t>(order));
    auto at = [&](int r, int s) -> double& { return ndu[static_cast<size_t>(r * order + s)]; };
    at(0, 0) = 1.0;
    for (int r = 1; r <= p; ++r) {
        left[r] = t - knot[span + 1 - r];
        right[r] = knot[span + r] - t;
        double saved = 0.0;
        for (int s = 0; s < r; ++s) {
            at(r, s) = right[s + 1] + left[r - s];
            if (at(r, s) == 0.0)
                return false;
            double temp = at(s, r - 1) / at(r, s);
            at(s, r) = saved + right[s + 1] * temp;
            saved = left[r - s] * temp;
        }
        at(r, r) = saved;
    }
    std::fill(ders, ders + (derCount + 1) * order, 0.0);
    for (int s = 0; s <= p; ++s)
        ders[s] = at(s, p);

    // Derivatives from differences of the lower-degree functions, two rows
    // of coefficients used alternately.
    Scratch a(static_cast<size_t>(2 * order));
    auto coef = [&](int row, int k) -> double& { return a[static_cast<size_t>(row * order + k)]; };
    for (int s = 0; s <= p; ++s) {
        int s1 = 0, s2 = 1;
        coef(0, 0) = 1.0;
        for (int k = 1; k <= n; ++k) {
            double d = 0.0;
            const int rk = s - k, pk = p - k;
            if (s >= k) {
                coef(s2, 0) = coef(s1, 0) / at(pk + 1, rk);
                d = coef(s2, 0) * at(rk, pk);
            }
            const int j1 = rk >= -1 ? 1 : -rk;
            const int j2 = s - 1 <= pk ? k - 1 : p - s;
            for (int jj = j1; jj <= j2; ++jj) {
                coef(s2, jj) = (coef(s1, jj) - coef(s1, jj - 1)) / at(pk + 1, rk + jj);
                d += coef(s2, jj) * at(rk + jj, pk);
            }
            if (s <= pk) {
                coef(s2, k) = -coef(s1, k - 1) / at(pk + 1, s);
                d += coef(s2, k) * at(s, pk);
            }
            ders[k * order + s] = d;
            std::swap(s1, s2);
        }
    }
    double factor = p;
    for (int k = 1; k <= n; ++k) {
        for (int s = 0; s <= p; ++s)
            ders[k * order + s] *= factor;
        factor *= p - k;
    }
    return true;
}

namespace {

// Homogeneous derivatives A[k] (k = 0..2, cvSize values each) into
// Euclidean ones out[k] (dim values each): C = A/w, C' = (A' - w'C)/w,
// C'' = (A'' - 2w'C' - w''C)/w.
bool divideCurveWeights(int dim, bool rational, int derCount, const double* A, int cvSize,
                        double* out)
{
    if (!rational) {
        for (int k = 0; k <= derCount; ++k)
            std::copy(A + k * cvSize, A + k * cvSize + dim, out + k * dim);
        return true;
    }
    const double w0 = A[dim];
    if (w0 == 0.0 || !std::isfinite(w0))
        return false;
    for (int c = 0; c < dim; ++c) {
        double c0 = A[c] / w0;
        out[c] = c0;
        if (derCount >= 1) {
            double w1 = A[cvSize + dim];
            double c1 = (A[cvSize + c] - w1 * c0) / w0;
            out[dim + c] = c1;
            if (derCount >= 2) {
                double w2 = A[2 * cvSize + dim];
                out[2 * dim + c] = (A[2 * cvSize + c] - 2.0 * w1 * c1 - w2 * c0) / w0;
            }
        }
    }
    return true;
}

} // namespace

bool evaluateCurve(int dim, bool rational, int order, int cvCount, int stride, const double* knot,
                   const double* cv, double t, int side, int derCount, double* out)
{
    const int cvSize = dim + (rational ? 1 : 0);
    if (dim < 1 || stride < cvSize || derCount < 0 || derCount > 2 || !cv || !std::isfinite(t))
        return false;
    const int span = findSpan(order, cvCount, knot, t, side);
    if (span < 0)
        return false;
    Scratch ders(static_cast<size_t>((derCount + 1) * order));
    if (!basisDerivatives(order, knot, span, t, derCount, ders.data()))
        return false;
    Scratch homogeneous(static_cast<size_t>((derCount + 1) * cvSize));
    const int first = span - order + 2;
    for (int k = 0; k <= derCount; ++k)
        for (int r = 0; r < order; ++r) {
            const double b = ders[static_cast<size_t>(k * order + r)];
            const double* P = cv + static_cast<size_t>(first + r) * static_cast<size_t>(stride);
            for (int c = 0; c < cvSize; ++c)
                homogeneous[static_cast<size_t>(k * cvSize + c)] += b * P[c];
        }
    return divideCurveWeights(dim, rational, derCount, homogeneous.data(), cvSize, out);
}

bool evaluateSurface(int dim, bool rational, const int order[2], const int cvCount[2], int stride,
                     const double* const knot[2], const double* cv, double s, double t, int sSide,
                     int tSide, double* out, int derCount)
{
    const int cvSize = dim + (rational ? 1 : 0);
    if (dim < 1 || stride < cvSize || derCount < 0 || derCount > 2 || !cv || !std::isfinite(s) ||
        !std::isfinite(t))
        return false;
    const int su = findSpan(order[0], cvCount[0], knot[0], s, sSide);
    const int sv = findSpan(order[1], cvCount[1], knot[1], t, tSide);
    if (su < 0 || sv < 0)
        return false;
    // Rows of derivatives up to derCount only: each row, and each sum
    // below, is formed as in the full evaluation, so the values asked for
    // are the same.
    const int rows = derCount + 1;
    Scratch Nu(static_cast<size_t>(rows * order[0])), Nv(static_cast<size_t>(rows * order[1]));
    if (!basisDerivatives(order[0], knot[0], su, s, derCount, Nu.data()) ||
        !basisDerivatives(order[1], knot[1], sv, t, derCount, Nv.data()))
        return false;

    // A[(k, l)] for (0,0), (1,0), (0,1), (2,0), (1,1), (0,2): the first one,
    // three or six.
    static const int kOf[6] = {0, 1, 0, 2, 1, 0}, lOf[6] = {0, 0, 1, 0, 1, 2};
    const int entries = surfaceRowCount(derCount);
    Scratch A(static_cast<size_t>(entries * cvSize));
    Scratch row(static_cast<size_t>(rows * cvSize));
    const int i0 = su - order[0] + 2, j0 = sv - order[1] + 2;
    for (int a = 0; a < order[0]; ++a) {
        // row[l] = sum over b of Nv[l][b] * P(i0 + a, j0 + b)
        std::fill(row.data(), row.data() + rows * cvSize, 0.0);
        for (int b = 0; b < order[1]; ++b) {
            const double* P = cv + (static_cast<size_t>(i0 + a) * static_cast<size_t>(cvCount[1]) +
                                    static_cast<size_t>(j0 + b)) *
                                       static_cast<size_t>(stride);
            for (int l = 0; l < rows; ++l) {
                const double nv = Nv[static_cast<size_t>(l * order[1] + b)];
                for (int c = 0; c < cvSize; ++c)
                    row[static_cast<size_t>(l * cvSize + c)] += nv * P[c];
            }
        }
        for (int e = 0; e < entries; ++e) {
            const double nu = Nu[static_cast<size_t>(kOf[e] * order[0] + a)];
            for (int c = 0; c < cvSize; ++c)
                A[static_cast<size_t>(e * cvSize + c)] +=
                    nu * row[static_cast<size_t>(lOf[e] * cvSize + c)];
        }
    }
    auto Ae = [&](int e, int c) { return A[static_cast<size_t>(e * cvSize + c)]; };
    if (!rational) {
        for (int e = 0; e < entries; ++e)
            for (int c = 0; c < dim; ++c)
                out[e * dim + c] = Ae(e, c);
        return true;
    }
    const double w = Ae(0, dim);
    if (w == 0.0 || !std::isfinite(w))
        return false;
    for (int c = 0; c < dim; ++c) {
        const double S = Ae(0, c) / w;
        out[c] = S;
        if (derCount == 0)
            continue;
        const double ws = Ae(1, dim), wt = Ae(2, dim);
        const double Ss = (Ae(1, c) - ws * S) / w;
        const double St = (Ae(2, c) - wt * S) / w;
        out[dim + c] = Ss;
        out[2 * dim + c] = St;
        if (derCount == 1)
            continue;
        const double wss = Ae(3, dim), wst = Ae(4, dim), wtt = Ae(5, dim);
        out[3 * dim + c] = (Ae(3, c) - 2.0 * ws * Ss - wss * S) / w;
        out[4 * dim + c] = (Ae(4, c) - wst * S - ws * St - wt * Ss) / w;
        out[5 * dim + c] = (Ae(5, c) - 2.0 * wt * St - wtt * S) / w;
    }
    return true;
}

bool knotsAreValid(int order, int cvCount, const double* knot)
{
    if (order < 2 || cvCount < order || !knot)
        return false;
    const int count = order + cvCount - 2;
    for (int i = 0; i < count; ++i)
        if (!std::isfinite(knot[i]) || (i > 0 && knot[i] < knot[i - 1]))
            return false;
    for (int i = 0; i + order - 1 < count; ++i)
        if (!(knot[i] < knot[i + order - 1]))
            return false;
    return knot[order - 2] < knot[cvCount - 1];
}

bool setHomogeneous(double* cv, int dim, bool rational, const double h[4])
{
    if (rational) {
        for (int c = 0; c < dim; ++c)
            cv[c] = c < 3 ? h[c] : 0.0;
        cv[dim] = h[3];
        return true;
    }
    if (h[3] == 0.0)
        return false;
    for (int c = 0; c < dim; ++c)
        cv[c] = c < 3 ? h[c] / h[3] : 0.0;
    return true;
}

void setEuclidean(double* cv, int dim, bool rational, const double p[3])
{
    for (int c = 0; c < dim; ++c)
        cv[c] = c < 3 ? p[c] : 0.0;
    if (rational)
        cv[dim] = 1.0;
}

void getHomogeneous(const double* cv, int dim, bool rational, double h[4])
{
    h[0] = h[1] = h[2] = 0.0;
    for (int c = 0; c < std::min(dim, 3); ++c)
        h[c] = cv[c];
    h[3] = rational ? cv[dim] : 1.0;
}

bool controlPointsAreValid(const double* cv, int count, int stride, int dim, bool rational)
{
    const int size = dim + (rational ? 1 : 0);
    for (int i = 0; i < count; ++i) {
        const double* p = cv + static_cast<size_t>(i) * static_cast<size_t>(stride);
        for (int c = 0; c < size; ++c)
            if (!std::isfinite(p[c]) || p[c] == ON_UNSET_VALUE)
                return false;
        if (rational && !(p[dim] > 0.0))
            return false;
    }
    return true;
}

} // namespace OnSubset
