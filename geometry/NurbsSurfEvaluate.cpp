// Evaluation of Fenwo::NurbsSurf: points, derivative tables (polynomial and
// rational), the evaluation slot with its repairs at collapsed sides and
// corners, and the seam wrapping of cyclic parameters.
#include "geometry/Binomial.h"
#include "geometry/FitHelpers.h"
#include "geometry/FixedDegreeBasis.h"
#include "geometry/NurbsSurf.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <iostream>

namespace Fenwo {

namespace {

inline int wrapIndex(int i, int n)
{
    const int r = i % n;
    return r < 0 ? r + n : r;
}

// The fixed-degree bodies are built twice on x86-64 with GCC, for processors
// with four-lane vectors and for all others, the one to run chosen when the
// program loads (other compilers cannot clone templates: one plain body).
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define MW_FIXED_DEGREE_ATTRIBUTES [[gnu::flatten, gnu::target_clones("avx2", "default")]]
#else
#define MW_FIXED_DEGREE_ATTRIBUTES [[gnu::flatten]]
#endif

// The four entries of a control point handled as one value (the compiler's
// generic vectors: four lanes where the target has them, two pairs or plain
// code elsewhere). Each lane computes exactly what the scalar code computes
// for its coordinate.
using Quad = double __attribute__((vector_size(32)));

// Tensor-product sums of one span, W entries per control point:
// out[(k (d + 1) + l) W + c] = sum over s of nv[l][s] sum over r of
// nu[k][r] P(r, s)[c] for k <= du, l <= dv, k + l <= d, zero elsewhere;
// every sum runs over its index in order from zero.
// Control point (r, s) of the span is read at first + s rowStride + 4 r (the
// flat net keeps four entries per point, a width-3 sum reads the first
// three); nu[k] = nu + k (p + 1) and nv[l] = nv + l (q + 1) are the basis
// derivative rows. P1 and Q1 are p + 1 and q + 1 when known at compile time
// (0: taken from p and q), so the common low degrees run fully unrolled with
// the row sums in locals, a point's four entries as two pairs; the general
// case keeps them in rowSums.
template <int W, int P1, int Q1>
void sumSpanKernel(const double* first, std::ptrdiff_t rowStride, int p, int q, const double* nu,
                   const double* nv, int du, int dv, int d, double* rowSums, double* out)
{
    const int stride = d + 1;
    // Entries beyond the degrees or the order are zero; written one by one,
    // which for a small table costs less than clearing it first.
    for (int k = 0; k <= d; ++k) {
        const int lmax = k > du ? -1 : (dv < d - k ? dv : d - k);
        for (int l = lmax + 1; l <= d; ++l)
            for (int c = 0; c < W; ++c)
                out[(k * stride + l) * W + c] = 0.0;
    }
    if constexpr (P1 > 0 && Q1 > 0) {
        // Row sums of the derivative rows k <= du, one per row of points.
        Quad rowSum[P1][Q1];
        for (int l = 0; l < Q1; ++l) {
            const double* rowPts = first + l * rowStride;
            Quad acc[P1] = {};
            for (int r = 0; r < P1; ++r) {
                Quad point;
                std::memcpy(&point, rowPts + 4 * r, sizeof point);
                for (int k = 0; k < P1; ++k) {
                    if (k > du)
                        break;
                    const double b = nu[k * P1 + r];
                    acc[k] += Quad{b, b, b, b} * point;
                }
            }
            for (int k = 0; k < P1; ++k)
                rowSum[k][l] = acc[k];
        }
        for (int k = 0; k < P1; ++k) {
            if (k > du)
                break;
            const int lmax = dv < d - k ? dv : d - k;
            for (int l = 0; l < Q1; ++l) {
                if (l > lmax)
                    break;
                Quad acc = {};
                for (int s = 0; s < Q1; ++s) {
                    const double b = nv[l * Q1 + s];
                    acc += Quad{b, b, b, b} * rowSum[k][s];
                }
                double* o = out + (k * stride + l) * W;
                for (int c = 0; c < W; ++c)
                    o[c] = acc[c];
            }
        }
        return;
    }
    const int p1 = p + 1;
    const int q1 = q + 1;
    double* rows = rowSums; // rows[(k q1 + l) W + c]
    for (int l = 0; l < q1; ++l) {
        const double* rowPts = first + l * rowStride;
        for (int k = 0; k <= du; ++k) {
            const double* b = nu + k * p1;
            double acc[W] = {};
            for (int r = 0; r < p1; ++r) {
                const double* P = rowPts + 4 * r;
                const double br = b[r];
                for (int c = 0; c < W; ++c)
                    acc[c] += br * P[c];
            }
            double* o = rows + (k * q1 + l) * W;
            for (int c = 0; c < W; ++c)
                o[c] = acc[c];
        }
    }
    for (int k = 0; k <= du; ++k) {
        const double* krows = rows + k * q1 * W;
        const int lmax = dv < d - k ? dv : d - k;
        for (int l = 0; l <= lmax; ++l) {
            const double* b = nv + l * q1;
            double acc[W] = {};
            for (int s = 0; s < q1; ++s) {
                const double bs = b[s];
                for (int c = 0; c < W; ++c)
                    acc[c] += bs * krows[s * W + c];
            }
            double* o = out + (k * stride + l) * W;
            for (int c = 0; c < W; ++c)
                o[c] = acc[c];
        }
    }
}

using SpanKernel = void (*)(const double*, std::ptrdiff_t, int, int, const double*, const double*,
                            int, int, int, double*, double*);

// The kernel for width W and degrees p, q: unrolled for degrees 0..4 in each
// direction (degree 0 of a curve's v direction included; degree 4, the fits'
// own, included), generic otherwise.
template <int W> SpanKernel selectKernel(int p, int q)
{
    static constexpr SpanKernel table[5][5] = {
        {sumSpanKernel<W, 1, 1>, sumSpanKernel<W, 1, 2>, sumSpanKernel<W, 1, 3>,
         sumSpanKernel<W, 1, 4>, sumSpanKernel<W, 1, 5>},
        {sumSpanKernel<W, 2, 1>, sumSpanKernel<W, 2, 2>, sumSpanKernel<W, 2, 3>,
         sumSpanKernel<W, 2, 4>, sumSpanKernel<W, 2, 5>},
        {sumSpanKernel<W, 3, 1>, sumSpanKernel<W, 3, 2>, sumSpanKernel<W, 3, 3>,
         sumSpanKernel<W, 3, 4>, sumSpanKernel<W, 3, 5>},
        {sumSpanKernel<W, 4, 1>, sumSpanKernel<W, 4, 2>, sumSpanKernel<W, 4, 3>,
         sumSpanKernel<W, 4, 4>, sumSpanKernel<W, 4, 5>},
        {sumSpanKernel<W, 5, 1>, sumSpanKernel<W, 5, 2>, sumSpanKernel<W, 5, 3>,
         sumSpanKernel<W, 5, 4>, sumSpanKernel<W, 5, 5>},
    };
    if (p >= 0 && p <= 4 && q >= 0 && q <= 4)
        return table[p][q];
    return sumSpanKernel<W, 0, 0>;
}

// One evaluation for degrees and order known at compile time: the basis
// rows of both directions on the stack, then the span's sums, all inlined
// into one body (flatten). iu and iv are the spans, u and v already clamped
// into the domain; D is the order d of the table (0..2).
template <int W, int P, int Q, int D>
MW_FIXED_DEGREE_ATTRIBUTES void fixedDegreeSums(const knots& U, const knots& V, int iu, double u, int iv,
                                      double v, const double* first, std::ptrdiff_t rowStride,
                                      double* out)
{
    constexpr int du = D < P ? D : P;
    constexpr int dv = D < Q ? D : Q;
    double nu[(du + 1) * (P + 1)];
    double nv[(dv + 1) * (Q + 1)];
    fixedDegreeBasis<P>(U.values.data, U.positionToDistinct.data, iu, u, du, nu);
    fixedDegreeBasis<Q>(V.values.data, V.positionToDistinct.data, iv, v, dv, nv);
    sumSpanKernel<W, P + 1, Q + 1>(first, rowStride, P, Q, nu, nv, du, dv, D, nullptr, out);
}

using FixedDegreeSums = void (*)(const knots&, const knots&, int, double, int, double,
                                 const double*, std::ptrdiff_t, double*);

template <int W, int D, int P> constexpr std::array<FixedDegreeSums, 5> fixedDegreeRow()
{
    return {fixedDegreeSums<W, P, 0, D>, fixedDegreeSums<W, P, 1, D>, fixedDegreeSums<W, P, 2, D>,
            fixedDegreeSums<W, P, 3, D>, fixedDegreeSums<W, P, 4, D>};
}

template <int W, int D> constexpr std::array<std::array<FixedDegreeSums, 5>, 5> fixedDegreeTable()
{
    return {fixedDegreeRow<W, D, 0>(), fixedDegreeRow<W, D, 1>(), fixedDegreeRow<W, D, 2>(),
            fixedDegreeRow<W, D, 3>(), fixedDegreeRow<W, D, 4>()};
}

// The fixed-degree evaluation for width W, degrees p, q in 0..4 and order d
// in 0..2; null for another order.
template <int W> FixedDegreeSums selectFixedDegreeSums(int p, int q, int d)
{
    static constexpr std::array<std::array<FixedDegreeSums, 5>, 5> tables[3] = {
        fixedDegreeTable<W, 0>(), fixedDegreeTable<W, 1>(), fixedDegreeTable<W, 2>()};
    return d >= 0 && d <= 2 ? tables[d][p][q] : nullptr;
}

// Control points of a direction, as getUCount and getVCount count them.
inline int pointCount(const knots& k)
{
    const int count = k.n + 1 - (k.endCondition == knots::CyclicEnd ? k.p : 0);
    return count > 1 ? count : 1;
}

// Binomial coefficients of the quotient rule for the orders a table holds.
constexpr double kBinomial[4][4] = {{1, 0, 0, 0}, {1, 1, 0, 0}, {1, 2, 1, 0}, {1, 3, 3, 1}};

inline double binomialOf(int n, int k)
{
    return n <= 3 ? kBinomial[n][k] : static_cast<double>(::binomial(n, k));
}

// The quotient rule of a rational table: from the homogeneous derivatives
// A[k][l] of (w x, w y, w z, w) (four entries each, hw), S = (A - sum of
// binomial terms w^(i,j) S) / w, in the order in which every right-hand S is
// already known; entries beyond the order are zero. D is the order d when
// known at compile time (0: taken from d), so that the small tables run
// with constant bounds and coefficients.
template <int D> void quotientRule(const double* hw, int dRuntime, double* out)
{
    constexpr int dim = 3;
    constexpr int W = dim + 1;
    const int d = D > 0 ? D : dRuntime;
    const int stride = d + 1;
    auto weightAt = [&](int k, int l) { return hw[(k * stride + l) * W + dim]; };
    const double w0 = weightAt(0, 0);
    for (int k = 0; k <= d; ++k) {
        for (int l = 0; l <= d; ++l) {
            double* s = out + (k * stride + l) * dim;
            if (k + l > d || w0 == 0.0) {
                s[0] = s[1] = s[2] = 0.0;
                continue;
            }
            const double* a = hw + (k * stride + l) * W;
            double x[dim] = {a[0], a[1], a[2]};
            for (int j = 1; j <= l; ++j) {
                const double c = binomialOf(l, j) * weightAt(0, j);
                const double* t = out + (k * stride + l - j) * dim;
                for (int e = 0; e < dim; ++e)
                    x[e] -= c * t[e];
            }
            for (int i = 1; i <= k; ++i) {
                const double bki = binomialOf(k, i);
                for (int j = 0; j <= l; ++j) {
                    const double c = bki * binomialOf(l, j) * weightAt(i, j);
                    const double* t = out + ((k - i) * stride + l - j) * dim;
                    for (int e = 0; e < dim; ++e)
                        x[e] -= c * t[e];
                }
            }
            for (int e = 0; e < dim; ++e)
                s[e] = x[e] / w0;
        }
    }
}

} // namespace


void NurbsSurf::rebuildFlatNet(int count)
{
    const int points = std::min(count, controlNetSize);
    flatNet.assign(4 * static_cast<std::size_t>(std::max(points, 0)), 0.0);
    unitWeights = true;
    const ControlNet& net = controlNet;
    for (int k = 0; k < points; ++k) {
        const Vector& P = net[k];
        double* f = flatNet.data() + 4 * static_cast<std::size_t>(k);
        for (int c = 0; c < std::min(P.n, 4); ++c)
            f[c] = P.data[c];
        // A point without its weight entry is read as weight 0, as the
        // zero-padded sum always did.
        unitWeights &= f[3] == 1.0;
    }
    flatNetCount = count;
    controlNet.changed = false;
}

bool NurbsSurf::sumSpanFlat(int su, int sv, const double* nu, int du, const double* nv, int dv,
                            int d, int width)
{
    const int p = uKnots->p;
    const int q = vKnots->p;
    const int nU = getUCount();
    const int nV = getVCount();
    const int stride = d + 1;
    const size_t outSize = static_cast<size_t>(stride) * stride * width;
    if (homogeneousWork.size() < outSize)
        homogeneousWork.resize(outSize);
    homogeneousOrder = d;
    homogeneousWidth = width;
    double* out = homogeneousWork.data();
    // A net that does not match the knots (it is reallocated with them), or
    // of another dimension than three, sums to zero.
    if (nU * nV > controlNetSize || p < 0 || q < 0 || (width != 3 && width != 4)) {
        std::fill(out, out + outSize, 0.0);
        return false;
    }
    refreshFlatNet(nU * nV);

    // The span's points are read in place when they lie in the net as one
    // block; across the seam of a cyclic direction (or for a malformed span)
    // they are first gathered into a block of their own.
    const double* first;
    std::ptrdiff_t rowStride;
    if (su - p >= 0 && su < nU && sv - q >= 0 && sv < nV) {
        rowStride = 4 * static_cast<std::ptrdiff_t>(nU);
        first = flatNet.data() + (sv - q) * rowStride + 4 * (su - p);
    } else {
        rowStride = 4 * static_cast<std::ptrdiff_t>(p + 1);
        const size_t blockSize = static_cast<size_t>(q + 1) * rowStride;
        if (spanBlock.size() < blockSize)
            spanBlock.resize(blockSize);
        for (int l = 0; l <= q; ++l) {
            const double* row =
                flatNet.data() + 4 * static_cast<size_t>(wrapIndex(sv - q + l, nV)) * nU;
            for (int r = 0; r <= p; ++r)
                std::copy_n(row + 4 * wrapIndex(su - p + r, nU), 4,
                            spanBlock.data() + l * rowStride + 4 * r);
        }
        first = spanBlock.data();
    }
    const size_t rowSize = static_cast<size_t>(du + 1) * (q + 1) * width;
    if (rowWork.size() < rowSize)
        rowWork.resize(rowSize);
    const SpanKernel kernel = width == 4 ? selectKernel<4>(p, q) : selectKernel<3>(p, q);
    kernel(first, rowStride, p, q, nu, nv, du, dv, d, rowWork.data(), out);
    return true;
}

void NurbsSurf::sumSpan(int su, int sv, const Vector* Nu, int du, const Vector* Nv, int dv, int d,
                        int width)
{
    const int p1 = uKnots->p + 1;
    const int q1 = vKnots->p + 1;
    const size_t need = static_cast<size_t>(du + 1) * p1 + static_cast<size_t>(dv + 1) * q1;
    if (basisWork.size() < need)
        basisWork.resize(need);
    double* nu = basisWork.data();
    double* nv = nu + (du + 1) * p1;
    for (int k = 0; k <= du; ++k)
        for (int r = 0; r < p1; ++r)
            nu[k * p1 + r] = r < Nu[k].n ? Nu[k].data[r] : 0.0;
    for (int l = 0; l <= dv; ++l)
        for (int s = 0; s < q1; ++s)
            nv[l * q1 + s] = s < Nv[l].n ? Nv[l].data[s] : 0.0;
    sumSpanFlat(su, sv, nu, du, nv, dv, d, width);
}

const double* NurbsSurf::getHomogeneousDerivative(int k, int l) const
{
    if (homogeneousOrder < 0 || k < 0 || l < 0 || k > homogeneousOrder || l > homogeneousOrder)
        return nullptr;
    return homogeneousWork.data() + (k * (homogeneousOrder + 1) + l) * homogeneousWidth;
}

bool NurbsSurf::sumAt(double u, double v, int du, int dv, int d, int width, int& su, int& sv)
{
    const knots& U = *uKnots;
    const knots& V = *vKnots;
    su = U.clampToKnots(u, uSpanHint);
    sv = V.clampToKnots(v, vSpanHint);
    const int p = U.p;
    const int q = V.p;
    const int nU = pointCount(U);
    const int nV = pointCount(V);
    // Degrees up to 4 on spans whose points lie in the net as one block (no
    // seam) take the inlined fixed-degree body; everything else the general
    // basis routine and kernel.
    const FixedDegreeSums sums = p < 0 || p > 4 || q < 0 || q > 4 ? nullptr
                                 : width == 4 ? selectFixedDegreeSums<4>(p, q, d)
                                 : width == 3 ? selectFixedDegreeSums<3>(p, q, d)
                                              : nullptr;
    if (sums != nullptr && du == std::min(d, p) && dv == std::min(d, q) &&
        nU * nV <= controlNetSize && su >= p && su < nU && su + p < U.positionToDistinct.count &&
        sv >= q && sv < nV && sv + q < V.positionToDistinct.count) {
        // The basis is evaluated within [t0, t1], as the knot vector's own
        // routine does.
        u = std::clamp(u, U.t0, U.t1);
        v = std::clamp(v, V.t0, V.t1);
        refreshFlatNet(nU * nV);
        const int stride = d + 1;
        const size_t outSize = static_cast<size_t>(stride) * stride * width;
        if (homogeneousWork.size() < outSize)
            homogeneousWork.resize(outSize);
        homogeneousOrder = d;
        homogeneousWidth = width;
        const std::ptrdiff_t rowStride = 4 * static_cast<std::ptrdiff_t>(nU);
        const double* first = flatNet.data() + (sv - q) * rowStride + 4 * (su - p);
        sums(U, V, su, u, sv, v, first, rowStride, homogeneousWork.data());
        return true;
    }
    const int p1 = p + 1;
    const int q1 = q + 1;
    const size_t need = static_cast<size_t>(du + 1) * p1 + static_cast<size_t>(dv + 1) * q1;
    if (basisWork.size() < need)
        basisWork.resize(need);
    double* nu = basisWork.data();
    double* nv = nu + (du + 1) * p1;
    uKnots->basisDerivativesInto(su, du, u, nu);
    vKnots->basisDerivativesInto(sv, dv, v, nv);
    return sumSpanFlat(su, sv, nu, du, nv, dv, d, width);
}

void NurbsSurf::evaluatePoint(Vector& out, double u, double v)
{
    if (out.n != 3)
        out.resize(3);
    evaluatePointInto(u, v, out.data);
}

void NurbsSurf::evaluatePointInto(double u, double v, double* out)
{
    out[0] = out[1] = out[2] = 0.0;
    // A polynomial net (every weight exactly 1) needs neither the weight sum
    // nor the division by it.
    refreshFlatNet(pointCount(*uKnots) * pointCount(*vKnots));
    const bool polynomial = !rational && unitWeights && dimension == 3;
    const int width = polynomial ? 3 : dimension + 1;
    int su, sv;
    if (!sumAt(u, v, 0, 0, 0, width, su, sv))
        return;
    const double* Sw = homogeneousWork.data();
    if (polynomial) {
        std::copy(Sw, Sw + 3, out);
        return;
    }
    const double w = Sw[3];
    if (w == 0.0)
        return;
    for (int c = 0; c < 3; ++c)
        out[c] = Sw[c] / w;
}

Vector** NurbsSurf::computeDerivatives(int d, double u, double v, Vector** T)
{
    d = std::max(d, 0);
    if (T == nullptr)
        allocateDerivativeTable(T, d);
    const int stride = d + 1;
    const size_t size = static_cast<size_t>(stride) * stride * 3;
    if (derivativeWork.size() < size)
        derivativeWork.resize(size);
    // A polynomial table is read from the span's sums as they stand; a
    // rational one goes through the quotient rule first.
    const double* src = polynomialDerivatives(d, u, v);
    if (src == nullptr) {
        computeDerivativesInto(d, u, v, derivativeWork.data());
        src = derivativeWork.data();
    }
    for (int k = 0; k <= d; ++k) {
        Vector* row = T[k];
        const double* from = src + k * stride * 3;
        for (int l = 0; l <= d; ++l, from += 3) {
            const double x = from[0], y = from[1], z = from[2];
            Vector& e = row[l];
            if (e.n != 3)
                e.resize(3);
            double* to = e.data;
            to[0] = x;
            to[1] = y;
            to[2] = z;
        }
    }
    return T;
}

const double* NurbsSurf::polynomialDerivatives(int d, double u, double v)
{
    if (rational || dimension != 3)
        return nullptr;
    const int du = std::max(std::min(d, uKnots->p), 0);
    const int dv = std::max(std::min(d, vKnots->p), 0);
    int su = 0;
    int sv = 0;
    if (!sumAt(u, v, du, dv, d, 3, su, sv))
        return nullptr;
    lastUSpan = su;
    lastVSpan = sv;
    return homogeneousWork.data();
}

void NurbsSurf::computeDerivativesInto(int d, double u, double v, double* out)
{
    d = std::max(d, 0);
    // Control points are three-dimensional (four homogeneous entries); the
    // loops below use that as a compile-time size.
    constexpr int dim = 3;
    constexpr int W = dim + 1;
    const int stride = d + 1;
    const int entries = stride * stride * dim;
    const int du = std::max(std::min(d, uKnots->p), 0);
    const int dv = std::max(std::min(d, vKnots->p), 0);
    const bool valid3 = dimension == dim;
    int su = 0;
    int sv = 0;
    const bool summed = sumAt(u, v, du, dv, d, valid3 ? (rational ? W : dim) : 0, su, sv);
    lastUSpan = su;
    lastVSpan = sv;

    if (!rational) {
        if (!summed) {
            std::fill(out, out + entries, 0.0);
            return;
        }
        std::copy_n(homogeneousWork.data(), entries, out);
        return;
    }

    // Rational: homogeneous derivatives A[k][l] of (w x, w y, w z, w), then
    // the quotient rule S = (A - sum of binomial terms w^(i,j) S) / w, in
    // the order in which every right-hand S is already known.
    if (!summed) {
        std::fill(out, out + entries, 0.0);
        return;
    }
    using Rule = void (*)(const double*, int, double*);
    static constexpr Rule rules[4] = {quotientRule<0>, quotientRule<1>, quotientRule<2>,
                                      quotientRule<3>};
    (d <= 3 ? rules[d] : quotientRule<0>)(homogeneousWork.data(), d, out);
}

Vector** NurbsSurf::evaluate(int order, double u, double v)
{
    allocateDerivativeTable(evaluation, 3);
    toInternalParameters(u, v);
    const int o = std::clamp(order, 0, 3);
    computeDerivatives(o, u, v, evaluation);
    if (order > 0) {
        repairDegenerateSides(o, u, v);
        repairParallelCorner(o, u, v);
    }
    if (isUReversed())
        for (int k = 1; k <= o; k += 2)
            for (int l = 0; l <= o; ++l)
                evaluation[k][l] *= -1.0;
    if (isVReversed() && isSurface())
        for (int l = 1; l <= o; l += 2)
            for (int k = 0; k <= o; ++k)
                evaluation[k][l] *= -1.0;
    return evaluation;
}

void NurbsSurf::repairDegenerateSides(int o, double u, double v)
{
    if (degenerateSides.getCount() == 0)
        return;
    const double umin = getUMin();
    const double umax = getUMax();
    const double vmin = getVMin();
    const double vmax = getVMax();
    if (!(u == umin || u == umax || v == vmin || v == vmax))
        return;
    const double umid = (umin + umax) / 2.0;
    const double vmid = (vmin + vmax) / 2.0;
    // Along a collapsed side the derivative along the side vanishes. It is
    // replaced by the cross-boundary derivative at the far end of the side,
    // signed so that S_u x S_v keeps the orientation of the patch.
    Vector& Su = evaluation[1][0];
    Vector& Sv = evaluation[0][1];
    allocateDerivativeTable(repairTable, 3);
    Vector** T = repairTable;
    for (BoundaryPosition* side : degenerateSides) {
        if (side == nullptr)
            continue;
        switch (*side) {
        case uvSouth:
            if (v < 0.9 * vmin + 0.1 * vmax) {
                const bool low = u < umid;
                computeDerivatives(o, low ? umax : umin, v, T);
                Su = T[0][1];
                if (!low)
                    Su *= -1.0;
            }
            break;
        case uvNorth:
            if (v > (1.0 - 0.9) * vmin + 0.9 * vmax) {
                const bool low = u < umid;
                computeDerivatives(o, low ? umax : umin, v, T);
                Su = T[0][1];
                if (low)
                    Su *= -1.0;
            }
            break;
        case uvWest:
            if (u < 0.9 * umin + 0.1 * umax) {
                const bool low = v < vmid;
                computeDerivatives(o, u, low ? vmax : vmin, T);
                Sv = T[1][0];
                if (!low)
                    Sv *= -1.0;
            }
            break;
        case uvEast:
            if (u > (1.0 - 0.9) * umin + 0.9 * umax) {
                const bool low = v < vmid;
                computeDerivatives(o, u, low ? vmax : vmin, T);
                Sv = T[1][0];
                if (low)
                    Sv *= -1.0;
            }
            break;
        default:
            break;
        }
    }
}

void NurbsSurf::repairParallelCorner(int o, double u, double v)
{
    const Interval ud = getDomain(0);
    const Interval vd = getDomain(1);
    const double umin = ud.min;
    const double umax = ud.max;
    const double vmin = vd.min;
    const double vmax = vd.max;
    if (!((u == umin || u == umax) && (v == vmin || v == vmax)))
        return;
    if (!areParallel(evaluation[1][0], evaluation[0][1]))
        return;
    // No tangent plane at the corner itself: evaluate just inside instead.
    if (u == umin)
        u += 1e-6;
    if (v == vmin)
        v += 1e-6;
    if (u == umax)
        u -= 1e-6;
    if (v == vmax)
        v -= 1e-6;
    computeDerivatives(o, u, v, evaluation);
    if (areParallel(evaluation[1][0], evaluation[0][1]))
        std::cout << "u,v still Collinear!" << std::endl;
}

void NurbsSurf::wrapCyclicParameters(Vector& uv) const
{
    if (uv.n >= 1 && uKnots->endCondition == knots::CyclicEnd) {
        const double umin = getUMin();
        const double umax = getUMax();
        if (uv[0] < umin + 0.01)
            uv[0] += umax - umin;
        if (uv[0] > umax - 0.01)
            uv[0] = umin + (uv[0] - umax);
    }
    if (uv.n >= 2 && vKnots->n != 0 && vKnots->endCondition == knots::CyclicEnd) {
        const double vmin = getVMin();
        const double vmax = getVMax();
        if (uv[1] < vmin)
            uv[1] += vmax - vmin;
        if (uv[1] > vmax)
            uv[1] = vmin + (uv[1] - vmax);
    }
}

} // namespace Fenwo
