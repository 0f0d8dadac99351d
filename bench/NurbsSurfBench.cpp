// Evaluation cost of bicubic NURBS surfaces: a point, a point with first
// derivatives, and a point with first and second derivatives, on polynomial
// and rational nets of 10 x 10 and 100 x 100 control points.
//
// BM_VsReference measures the same evaluations against a reference kernel in
// the same run: a plain bicubic over a flat array of the same knots and
// control points (binary span search, Cox-de Boor basis, tensor sum), the
// arithmetic floor of one evaluation. The two are timed in alternating
// batches (a timed iteration is one batch of 256 evaluations; "ns" is the
// time of one evaluation); "vs_reference" is the ratio of their times (the surface's point
// against the reference point, derivatives of order 1 and 2 against the
// reference point with first derivatives) and "max_difference" the largest
// coordinate difference of their results, which must stay at rounding level.
#include "geometry/NurbsSurf.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <vector>

namespace {

std::unique_ptr<Fenwo::NurbsSurf> makeBicubic(int n, bool rational)
{
    const knots k(n - 1, 3, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    auto s = std::make_unique<Fenwo::NurbsSurf>(k, &k);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            s->setControlPoint(i, j, Vector(i, j, std::sin(0.3 * i) * std::cos(0.2 * j)),
                               rational ? 1.0 + 0.5 * std::sin(1.3 * i + 0.7 * j) : 1.0);
    return s;
}

// Fixed pseudo-random parameters, so that every run visits the same spans.
std::vector<double> parameters()
{
    std::vector<double> t(1024);
    unsigned x = 12345u;
    for (double& v : t) {
        x = x * 1664525u + 1013904223u;
        v = (x >> 8) / double(1u << 24);
    }
    return t;
}

void BM_Point(benchmark::State& state)
{
    auto s = makeBicubic(static_cast<int>(state.range(0)), state.range(1) != 0);
    const std::vector<double> t = parameters();
    Vector out(3);
    size_t k = 0;
    for (auto _ : state) {
        s->evaluatePoint(out, t[k & 1023], t[(k + 511) & 1023]);
        benchmark::DoNotOptimize(out.data[0]);
        ++k;
    }
}

void BM_Derivatives(benchmark::State& state)
{
    auto s = makeBicubic(static_cast<int>(state.range(0)), state.range(1) != 0);
    const int order = static_cast<int>(state.range(2));
    const std::vector<double> t = parameters();
    size_t k = 0;
    for (auto _ : state) {
        Vector** D = s->evaluate(order, t[k & 1023], t[(k + 511) & 1023]);
        benchmark::DoNotOptimize(D[order][0].data[0]);
        ++k;
    }
}

// A face's fitted surface: one patch of degree 4 (5 x 5 control points), the
// degree the fits make; a point (order 0) or its derivatives up to the order
// into a flat table, as the fits and the inversions ask for them.
void BM_FitPatch(benchmark::State& state)
{
    const int order = static_cast<int>(state.range(0));
    const knots k(4, 4, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    Fenwo::NurbsSurf s(k, &k);
    for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 5; ++i)
            s.setControlPoint(i, j, Vector(i, j, std::sin(0.3 * i) * std::cos(0.2 * j)), 1.0);
    const std::vector<double> t = parameters();
    double D[27];
    size_t n = 0;
    for (auto _ : state) {
        if (order == 0)
            s.evaluatePointInto(t[n & 1023], t[(n + 511) & 1023], D);
        else
            s.computeDerivativesInto(order, t[n & 1023], t[(n + 511) & 1023], D);
        benchmark::DoNotOptimize(D[0]);
        ++n;
    }
}

// The reference: a clamped uniform bicubic of n x n points on [0, 1]^2 over
// a flat array, written plainly.
class ReferenceBicubic {
public:
    explicit ReferenceBicubic(Fenwo::NurbsSurf& s) : n(s.getUCount())
    {
        for (int i = 0; i < n + 4; ++i)
            knots.push_back(*s.uKnots->knotAt(i));
        Vector P;
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                s.getControlPoint(i, j, P);
                points.insert(points.end(), P.data, P.data + 3);
            }
    }

    // The span of t: the last knot position i in 3 .. n - 1 with knot i <= t.
    int span(double t) const
    {
        const auto it = std::upper_bound(knots.begin() + 4, knots.begin() + n, t);
        return static_cast<int>(it - knots.begin()) - 1;
    }

    // Cubic basis values N[0..3] at t in span i and, when dN is given, their
    // first derivatives from the quadratic basis.
    void basis(int i, double t, double* N, double* dN) const
    {
        const double* U = knots.data();
        double left[4], right[4], N2[3] = {};
        N[0] = 1.0;
        for (int j = 1; j <= 3; ++j) {
            left[j] = t - U[i + 1 - j];
            right[j] = U[i + j] - t;
            double saved = 0.0;
            for (int r = 0; r < j; ++r) {
                const double temp = N[r] / (right[r + 1] + left[j - r]);
                N[r] = saved + right[r + 1] * temp;
                saved = left[j - r] * temp;
            }
            N[j] = saved;
            if (j == 2)
                std::copy(N, N + 3, N2);
        }
        if (dN == nullptr)
            return;
        for (int r = 0; r <= 3; ++r) {
            const double a = r > 0 ? N2[r - 1] / (U[i + r] - U[i + r - 3]) : 0.0;
            const double b = r < 3 ? N2[r] / (U[i + r + 1] - U[i + r - 2]) : 0.0;
            dN[r] = 3.0 * (a - b);
        }
    }

    void point(double u, double v, double* S) const
    {
        const int su = span(u);
        const int sv = span(v);
        double Nu[4], Nv[4];
        basis(su, u, Nu, nullptr);
        basis(sv, v, Nv, nullptr);
        S[0] = S[1] = S[2] = 0.0;
        for (int l = 0; l < 4; ++l) {
            const double* row = points.data() + 3 * ((sv - 3 + l) * n + su - 3);
            for (int r = 0; r < 4; ++r) {
                const double b = Nu[r] * Nv[l];
                for (int c = 0; c < 3; ++c)
                    S[c] += b * row[3 * r + c];
            }
        }
    }

    // S, S_u and S_v into D[0..2], D[3..5], D[6..8].
    void pointAndFirst(double u, double v, double* D) const
    {
        const int su = span(u);
        const int sv = span(v);
        double Nu[4], Nv[4], dNu[4], dNv[4];
        basis(su, u, Nu, dNu);
        basis(sv, v, Nv, dNv);
        std::fill(D, D + 9, 0.0);
        for (int l = 0; l < 4; ++l) {
            const double* row = points.data() + 3 * ((sv - 3 + l) * n + su - 3);
            for (int r = 0; r < 4; ++r) {
                const double* P = row + 3 * r;
                for (int c = 0; c < 3; ++c) {
                    D[c] += Nu[r] * Nv[l] * P[c];
                    D[3 + c] += dNu[r] * Nv[l] * P[c];
                    D[6 + c] += Nu[r] * dNv[l] * P[c];
                }
            }
        }
    }

private:
    int n;
    std::vector<double> knots;
    std::vector<double> points;
};

// Arguments: n, rational, order (0 a point), path (0 evaluatePoint or
// evaluate, 1 evaluatePointInto or computeDerivativesInto).
void BM_VsReference(benchmark::State& state)
{
    using Clock = std::chrono::steady_clock;
    auto s = makeBicubic(static_cast<int>(state.range(0)), state.range(1) != 0);
    const int order = static_cast<int>(state.range(2));
    const bool flat = state.range(3) != 0;
    const ReferenceBicubic reference(*s);
    const std::vector<double> t = parameters();
    constexpr int kBatch = 256;
    Vector out(3);
    double D[48];
    double R[9];
    double surfaceTime = 0.0;
    double referenceTime = 0.0;
    double difference = 0.0;
    size_t k = 0;
    auto ours = [&](double u, double v) -> const double* {
        if (order == 0) {
            if (flat) {
                s->evaluatePointInto(u, v, D);
                return D;
            }
            s->evaluatePoint(out, u, v);
            return out.data;
        }
        if (flat) {
            s->computeDerivativesInto(order, u, v, D);
            return D;
        }
        return s->evaluate(order, u, v)[0][0].data;
    };
    for (auto _ : state) {
        const auto t0 = Clock::now();
        for (int b = 0; b < kBatch; ++b) {
            const double* r = ours(t[(k + b) & 1023], t[(k + b + 511) & 1023]);
            benchmark::DoNotOptimize(r[0]);
        }
        const auto t1 = Clock::now();
        for (int b = 0; b < kBatch; ++b) {
            if (order == 0)
                reference.point(t[(k + b) & 1023], t[(k + b + 511) & 1023], R);
            else
                reference.pointAndFirst(t[(k + b) & 1023], t[(k + b + 511) & 1023], R);
            benchmark::DoNotOptimize(R[0]);
        }
        const auto t2 = Clock::now();
        k += kBatch;
        const double a = std::chrono::duration<double>(t1 - t0).count();
        surfaceTime += a;
        referenceTime += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(a);
    }
    // Agreement of the two at a few parameters (outside the timing).
    for (int m = 0; m < 64; ++m) {
        const double u = t[m];
        const double v = t[(m + 511) & 1023];
        const double* r = ours(u, v);
        if (order == 0) {
            reference.point(u, v, R);
            for (int c = 0; c < 3; ++c)
                difference = std::max(difference, std::fabs(r[c] - R[c]));
        } else if (!state.range(1)) {
            reference.pointAndFirst(u, v, R);
            Vector** T = s->computeDerivatives(1, u, v, nullptr);
            for (int c = 0; c < 3; ++c)
                difference =
                    std::max({difference, std::fabs(T[0][0][c] - R[c]),
                              std::fabs(T[1][0][c] - R[3 + c]), std::fabs(T[0][1][c] - R[6 + c])});
            Fenwo::NurbsSurf::freeDerivativeTable(T, 1);
        }
    }
    state.counters["vs_reference"] = surfaceTime / referenceTime;
    state.counters["ns"] = 1e9 * surfaceTime / (double(state.iterations()) * kBatch);
    state.counters["reference_ns"] = 1e9 * referenceTime / (double(state.iterations()) * kBatch);
    state.counters["max_difference"] = difference;
}

} // namespace

// Arguments: control points per direction, rational.
BENCHMARK(BM_Point)->ArgNames({"n", "rational"})->ArgsProduct({{10, 100}, {0, 1}});
// Argument: derivative order.
BENCHMARK(BM_FitPatch)->ArgName("order")->DenseRange(0, 2);
// Arguments: control points per direction, rational, derivative order.
BENCHMARK(BM_Derivatives)
    ->ArgNames({"n", "rational", "order"})
    ->ArgsProduct({{10, 100}, {0, 1}, {1, 2}});
// Arguments: control points per direction, rational, order, flat output.
BENCHMARK(BM_VsReference)
    ->ArgNames({"n", "rational", "order", "flat"})
    ->ArgsProduct({{10, 100}, {0, 1}, {0, 1, 2}, {0, 1}})
    ->UseManualTime();
