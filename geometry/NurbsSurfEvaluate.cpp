// Evaluation of Fenwo::NurbsSurf: points, derivative tables (polynomial and
// rational), the evaluation slot with its repairs at collapsed sides and
// corners, and the seam wrapping of cyclic parameters.
#include "geometry/Binomial.h"
#include "geometry/FitHelpers.h"
#include "geometry/NurbsSurf.h"

#include <algorithm>
#include <cmath>
#include <iostream>

namespace Fenwo {

namespace {

inline int wrapIndex(int i, int n)
{
    const int r = i % n;
    return r < 0 ? r + n : r;
}

// Tensor-product sums of one span, W entries per control point:
// out[(k (d + 1) + l) W + c] = sum over s of nv[l][s] sum over r of
// nu[k][r] P(r, s)[c] for k <= du, l <= dv, k + l <= d, zero elsewhere.
// pts[s (p + 1) + r] points at the entries of control point (r, s) of the
// span; nu[k] and nv[l] are the basis derivative rows. P1 and Q1 are p + 1
// and q + 1 when known at compile time (0: taken from p and q), so the
// common low degrees run fully unrolled. The row sums go through rowSums;
// the accumulators are locals, which the compiler keeps in registers because
// nothing can alias them.
template <int W, int P1, int Q1>
void sumSpanKernel(const double* const* pts, int p, int q, const double* const* nu,
                   const double* const* nv, int du, int dv, int d, double* rowSums, double* out)
{
    const int p1 = P1 > 0 ? P1 : p + 1;
    const int q1 = Q1 > 0 ? Q1 : q + 1;
    for (int l = 0; l < q1; ++l) {
        const double* const* rowPts = pts + l * p1;
        for (int k = 0; k <= du; ++k) {
            const double* b = nu[k];
            double acc[W] = {};
            for (int r = 0; r < p1; ++r) {
                const double* P = rowPts[r];
                const double br = b[r];
                for (int c = 0; c < W; ++c)
                    acc[c] += br * P[c];
            }
            double* o = rowSums + (k * q1 + l) * W;
            for (int c = 0; c < W; ++c)
                o[c] = acc[c];
        }
    }
    const int stride = d + 1;
    for (int x = 0; x < stride * stride * W; ++x)
        out[x] = 0.0;
    for (int k = 0; k <= du; ++k) {
        const double* rows = rowSums + k * q1 * W;
        const int lmax = dv < d - k ? dv : d - k;
        for (int l = 0; l <= lmax; ++l) {
            const double* b = nv[l];
            double acc[W] = {};
            for (int s = 0; s < q1; ++s) {
                const double bs = b[s];
                for (int c = 0; c < W; ++c)
                    acc[c] += bs * rows[s * W + c];
            }
            double* o = out + (k * stride + l) * W;
            for (int c = 0; c < W; ++c)
                o[c] = acc[c];
        }
    }
}

using SpanKernel = void (*)(const double* const*, int, int, const double* const*,
                            const double* const*, int, int, int, double*, double*);

// The kernel for width W and degrees p, q: unrolled for degrees 1..3 in each
// direction (degree 0 of a curve's v direction included), generic otherwise.
template <int W> SpanKernel selectKernel(int p, int q)
{
    static constexpr SpanKernel table[4][4] = {
        {sumSpanKernel<W, 1, 1>, sumSpanKernel<W, 1, 2>, sumSpanKernel<W, 1, 3>,
         sumSpanKernel<W, 1, 4>},
        {sumSpanKernel<W, 2, 1>, sumSpanKernel<W, 2, 2>, sumSpanKernel<W, 2, 3>,
         sumSpanKernel<W, 2, 4>},
        {sumSpanKernel<W, 3, 1>, sumSpanKernel<W, 3, 2>, sumSpanKernel<W, 3, 3>,
         sumSpanKernel<W, 3, 4>},
        {sumSpanKernel<W, 4, 1>, sumSpanKernel<W, 4, 2>, sumSpanKernel<W, 4, 3>,
         sumSpanKernel<W, 4, 4>},
    };
    if (p >= 0 && p <= 3 && q >= 0 && q <= 3)
        return table[p][q];
    return sumSpanKernel<W, 0, 0>;
}

} // namespace

void NurbsSurf::sumSpan(int su, int sv, const Vector* Nu, int du, const Vector* Nv, int dv, int d,
                        int width)
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
    if (nU * nV > controlNetSize || p < 0 || q < 0) {
        // The net does not match the knots (it is reallocated with them):
        // nothing to sum.
        std::fill(out, out + outSize, 0.0);
        return;
    }

    if (width != 3 && width != 4) {
        // Only three-dimensional nets exist; anything else evaluates to zero.
        std::fill(out, out + outSize, 0.0);
        return;
    }

    // Pointers to the (p + 1) x (q + 1) control points of the span, row by
    // row. Wrapping matters only for cyclic directions (or malformed spans);
    // the common clamped case takes plain offsets.
    const int count = (p + 1) * (q + 1);
    if (pointWork.size() < static_cast<size_t>(count))
        pointWork.resize(count);
    if (paddedWork.size() < static_cast<size_t>(count) * width)
        paddedWork.resize(static_cast<size_t>(count) * width);
    const double** pts = pointWork.data();
    const Vector* net = controlNet.get();
    bool allFull = true;
    if (su - p >= 0 && su < nU && sv - q >= 0 && sv < nV) {
        const Vector* first = net + static_cast<size_t>(sv - q) * nU + (su - p);
        for (int l = 0; l <= q; ++l) {
            const Vector* row = first + static_cast<size_t>(l) * nU;
            const double** rowPts = pts + l * (p + 1);
            for (int r = 0; r <= p; ++r) {
                rowPts[r] = row[r].data;
                allFull &= row[r].n >= width;
            }
        }
    } else {
        for (int l = 0; l <= q; ++l) {
            const Vector* row = net + static_cast<size_t>(wrapIndex(sv - q + l, nV)) * nU;
            for (int r = 0; r <= p; ++r) {
                const Vector& P = row[wrapIndex(su - p + r, nU)];
                pts[l * (p + 1) + r] = P.data;
                allFull &= P.n >= width;
            }
        }
    }
    if (!allFull) {
        // Some point is not fully set: read every short one through a
        // zero-padded copy, so it contributes only the entries it has.
        for (int l = 0; l <= q; ++l) {
            const Vector* row = net + static_cast<size_t>(wrapIndex(sv - q + l, nV)) * nU;
            for (int r = 0; r <= p; ++r) {
                const Vector& P = row[wrapIndex(su - p + r, nU)];
                if (P.n >= width)
                    continue;
                const int at = l * (p + 1) + r;
                double* padded = paddedWork.data() + static_cast<size_t>(at) * width;
                for (int c = 0; c < width; ++c)
                    padded[c] = c < P.n ? P.data[c] : 0.0;
                pts[at] = padded;
            }
        }
    }

    // The basis rows, read in place.
    if (basisRowWork.size() < static_cast<size_t>(du + dv + 2))
        basisRowWork.resize(du + dv + 2);
    const double** nu = basisRowWork.data();
    const double** nv = nu + du + 1;
    for (int k = 0; k <= du; ++k)
        nu[k] = Nu[k].data;
    for (int l = 0; l <= dv; ++l)
        nv[l] = Nv[l].data;

    const size_t rowSize = static_cast<size_t>(du + 1) * (q + 1) * width;
    if (rowWork.size() < rowSize)
        rowWork.resize(rowSize);
    double* rowSums = rowWork.data();
    const SpanKernel kernel = width == 4 ? selectKernel<4>(p, q) : selectKernel<3>(p, q);
    kernel(pts, p, q, nu, nv, du, dv, d, rowSums, out);
}

const double* NurbsSurf::getHomogeneousDerivative(int k, int l) const
{
    if (homogeneousOrder < 0 || k < 0 || l < 0 || k > homogeneousOrder || l > homogeneousOrder)
        return nullptr;
    return homogeneousWork.data() + (k * (homogeneousOrder + 1) + l) * homogeneousWidth;
}

void NurbsSurf::evaluatePoint(Vector& out, double u, double v)
{
    const int dim = dimension;
    out.resize(3);
    out.fill(0.0);
    double uu = u;
    double vv = v;
    const int su = uKnots->clampToKnots(uu);
    const int sv = vKnots->clampToKnots(vv);
    const Vector& Nu = uKnots->basisFunctions(su, uu);
    const Vector& Nv = vKnots->basisFunctions(sv, vv);
    sumSpan(su, sv, &Nu, 0, &Nv, 0, 0, dim + 1);
    const double* Sw = homogeneousWork.data();
    const double w = Sw[dim];
    if (w == 0.0)
        return;
    for (int c = 0; c < std::min(dim, 3); ++c)
        out[c] = Sw[c] / w;
}

Vector** NurbsSurf::computeDerivatives(int d, double u, double v, Vector** T)
{
    d = std::max(d, 0);
    if (T == nullptr)
        allocateDerivativeTable(T, d);
    // Control points are three-dimensional (four homogeneous entries); the
    // loops below use that as a compile-time size.
    constexpr int dim = 3;
    constexpr int W = dim + 1;
    const int p = uKnots->p;
    const int q = vKnots->p;
    double uu = u;
    double vv = v;
    const int su = uKnots->clampToKnots(uu);
    const int sv = vKnots->clampToKnots(vv);
    lastUSpan = su;
    lastVSpan = sv;
    const int du = std::max(std::min(d, p), 0);
    const int dv = std::max(std::min(d, q), 0);
    const Vector* Nu = uKnots->basisDerivatives(su, du, uu);
    const Vector* Nv = vKnots->basisDerivatives(sv, dv, vv);
    const int stride = d + 1;
    const bool valid3 = dimension == dim;

    if (!rational) {
        sumSpan(su, sv, Nu, du, Nv, dv, d, valid3 ? dim : 0);
        const double* hw = homogeneousWork.data();
        for (int k = 0; k <= d; ++k) {
            for (int l = 0; l <= d; ++l) {
                Vector& e = T[k][l];
                if (e.n != dim)
                    e.resize(dim);
                const double* src = hw + (k * stride + l) * dim;
                for (int c = 0; c < dim; ++c)
                    e.data[c] = valid3 ? src[c] : 0.0;
            }
        }
        return T;
    }

    // Rational: homogeneous derivatives A[k][l] of (w x, w y, w z, w), then
    // the quotient rule S = (A - sum of binomial terms w^(i,j) S) / w, in
    // the order in which every right-hand S is already known.
    sumSpan(su, sv, Nu, du, Nv, dv, d, valid3 ? W : 0);
    const double* hw = homogeneousWork.data();
    auto weightAt = [&](int k, int l) { return hw[(k * stride + l) * W + dim]; };
    const double w0 = valid3 ? weightAt(0, 0) : 0.0;
    for (int k = 0; k <= d; ++k) {
        for (int l = 0; l <= d; ++l) {
            Vector& S = T[k][l];
            if (S.n != dim)
                S.resize(dim);
            double* s = S.data;
            if (k + l > d || w0 == 0.0) {
                s[0] = s[1] = s[2] = 0.0;
                continue;
            }
            const double* a = hw + (k * stride + l) * W;
            double x[dim] = {a[0], a[1], a[2]};
            for (int j = 1; j <= l; ++j) {
                const double c = static_cast<double>(binomial(l, j)) * weightAt(0, j);
                const double* t = T[k][l - j].data;
                for (int e = 0; e < dim; ++e)
                    x[e] -= c * t[e];
            }
            for (int i = 1; i <= k; ++i) {
                const double bki = static_cast<double>(binomial(k, i));
                for (int j = 0; j <= l; ++j) {
                    const double c = bki * static_cast<double>(binomial(l, j)) * weightAt(i, j);
                    const double* t = T[k - i][l - j].data;
                    for (int e = 0; e < dim; ++e)
                        x[e] -= c * t[e];
                }
            }
            for (int e = 0; e < dim; ++e)
                s[e] = x[e] / w0;
        }
    }
    return T;
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
