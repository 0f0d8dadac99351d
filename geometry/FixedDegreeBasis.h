// Basis functions of a B-spline and their derivatives for a degree known at
// compile time: the kernel behind knots::basisDerivativesInto for degrees 0
// to 4, also inlined into the surface evaluation. Pure functions of their
// arguments; no state, safe from any thread.
#pragma once

#include <utility>

// Basis functions span - P .. span and their derivatives up to `order`
// (0 <= order <= P) at t, for a degree known at compile time: the triangle
// of the general routine (the knot differences in its lower half, the basis
// values in its upper half) with its loops unrolled into locals. Up to
// degree 3 each knot difference the derivative rows need is inverted once,
// so that they do not divide; degree 4 divides, as the general routine did
// before it had this kernel, so that its curves and surfaces evaluate as
// they always have.
// The value of knot position k is v[pd[k]]; positions i + 1 - P .. i + P
// are read. Row r goes to out + r (P + 1).
template <int P>
inline void fixedDegreeBasis(const double* v, const int* pd, int i, double t, int order,
                             double* out)
{
    constexpr int W = P + 1;
    double L[W];
    double R[W];
    double ndu[W][W]; // upper triangle: basis values; lower: knot differences
    ndu[0][0] = 1.0;
    for (int j = 1; j <= P; ++j) {
        L[j] = t - v[pd[i + 1 - j]];
        R[j] = v[pd[i + j]] - t;
        double saved = 0.0;
        for (int r = 0; r < j; ++r) {
            ndu[j][r] = R[r + 1] + L[j - r];
            const double temp = ndu[r][j - 1] / ndu[j][r];
            ndu[r][j] = saved + R[r + 1] * temp;
            saved = L[j - r] * temp;
        }
        ndu[j][j] = saved;
    }
    for (int j = 0; j <= P; ++j)
        out[j] = ndu[j][P];
    if (order <= 0)
        return;
    // The knot differences the derivative rows divide by (rows P - order + 1
    // .. P of the lower triangle), inverted once up to degree 3.
    constexpr bool inverted = P <= 3;
    double inv[W][W];
    if constexpr (inverted)
        for (int j = P - order + 1; j <= P; ++j)
            for (int r = 0; r < j; ++r)
                inv[j][r] = 1.0 / ndu[j][r];
    const auto over = [&](double x, int j, int r) {
        if constexpr (inverted)
            return x * inv[j][r];
        else
            return x / ndu[j][r];
    };
    // Row k of the coefficients follows from row k - 1 (the alternating pair
    // of the general routine, here one row per order, so that the unrolled
    // loops address every coefficient by constants).
    for (int r = 0; r <= P; ++r) {
        double a[W + 1][W] = {};
        a[0][0] = 1.0;
        for (int k = 1; k <= P; ++k) {
            if (k > order)
                break;
            double d = 0.0;
            const int rk = r - k;
            const int pk = P - k;
            const double* prev = a[k - 1];
            double* cur = a[k];
            if (r >= k) {
                cur[0] = over(prev[0], pk + 1, rk);
                d = cur[0] * ndu[rk][pk];
            }
            const int j1 = rk >= -1 ? 1 : -rk;
            const int j2 = (r - 1 <= pk) ? k - 1 : P - r;
            for (int j = j1; j <= j2; ++j) {
                cur[j] = over(prev[j] - prev[j - 1], pk + 1, rk + j);
                d += cur[j] * ndu[rk + j][pk];
            }
            if (r <= pk) {
                cur[k] = over(-prev[k - 1], pk + 1, r);
                d += cur[k] * ndu[r][pk];
            }
            out[k * W + r] = d;
        }
    }
    double factor = P;
    for (int k = 1; k <= order; ++k) {
        for (int j = 0; j <= P; ++j)
            out[k * W + j] *= factor;
        factor *= (P - k);
    }
}
