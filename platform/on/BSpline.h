// The B-spline evaluation of the openNURBS subset: knot spans, basis
// functions with derivatives and the evaluation of (rational) curves and
// tensor-product surfaces with up to two derivatives.
//
// Knot vectors are in the subset's convention: a curve of order k (degree
// k - 1) with n control points has n + k - 2 knots, the two outermost knots
// of the textbook vector left out (they never influence the curve). The
// domain is [knot[k - 2], knot[n - 1]].
//
// Control points are rows of `stride` doubles: dim coordinates, then the
// weight for a rational object, stored homogeneous (w·x, ..., w).
//
// Pure functions; thread-safe.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace OnSubset {

// The span index j (order - 2 <= j <= cvCount - 2) with knot[j] <= t <
// knot[j + 1], clamped to the first and last span outside the domain; at an
// interior knot, side < 0 takes the span below it. -1 when the domain is
// empty.
int findSpan(int order, int cvCount, const double* knot, double t, int side);

// The order nonzero basis functions of span j at t and their derivatives up
// to derCount (<= 2): ders[d * order + r] is the d-th derivative of the
// function of control point j - order + 2 + r. False when a knot interval the
// recursion divides by is empty.
bool basisDerivatives(int order, const double* knot, int span, double t, int derCount,
                      double* ders);

// Evaluates a curve: out receives derCount + 1 rows of dim doubles (point,
// first, second derivative). False for an unusable curve or a zero weight.
bool evaluateCurve(int dim, bool rational, int order, int cvCount, int stride, const double* knot,
                   const double* cv, double t, int side, int derCount, double* out);

// n doubles of zeros: on the stack for the orders surfaces and curves have,
// on the heap beyond. An evaluation is made for every point of a render
// mesh and a trim's samples, where allocations would cost more than the
// arithmetic.
class Scratch {
public:
    explicit Scratch(std::size_t n)
    {
        if (n > kLocal)
            m_heap.assign(n, 0.0);
        else
            std::fill(m_local, m_local + n, 0.0);
    }
    double* data() { return m_heap.empty() ? m_local : m_heap.data(); }
    double& operator[](std::size_t k) { return data()[k]; }

private:
    static constexpr std::size_t kLocal = 96;
    double m_local[kLocal];
    std::vector<double> m_heap;
};

// The rows of a surface's evaluation up to derCount: 1, 3 or 6 for derCount
// 0, 1 or 2.
constexpr int surfaceRowCount(int derCount)
{
    return (derCount + 1) * (derCount + 2) / 2;
}

// Evaluates a surface whose control point (i, j) starts at
// cv[(i * cvCount[1] + j) * stride]. out receives rows of dim doubles:
// point, d/ds, d/dt, d2/ds2, d2/dsdt, d2/dt2, the first one, three or six of
// them for derCount 0, 1 or 2. sSide and tSide choose spans at knots as for
// findSpan.
bool evaluateSurface(int dim, bool rational, const int order[2], const int cvCount[2], int stride,
                     const double* const knot[2], const double* cv, double s, double t, int sSide,
                     int tSide, double* out, int derCount = 2);

// True when the knots do not decrease, no value is repeated order times or
// more (every basis function has a nonempty support) and the domain is not
// empty.
bool knotsAreValid(int order, int cvCount, const double* knot);

// Control point storage shared by curves and surfaces. A homogeneous
// (w·x, w·y, w·z, w) is kept as it is when rational and stored as the
// Euclidean point otherwise (false for w = 0); a Euclidean point gets the
// weight 1. Only the first dim (at most 3) coordinates are kept.
bool setHomogeneous(double* cv, int dim, bool rational, const double h[4]);
void setEuclidean(double* cv, int dim, bool rational, const double p[3]);
// The homogeneous form (w = 1 when not rational; missing coordinates 0).
void getHomogeneous(const double* cv, int dim, bool rational, double h[4]);
// Every stored value finite and every weight positive.
bool controlPointsAreValid(const double* cv, int count, int stride, int dim, bool rational);

} // namespace OnSubset
