// Small numeric routines of the geometry code: the least-squares line fit,
// the Gauss-Legendre arc length behind every geometry's getLength, an
// ascending sort of an int array through an index permutation, the int
// comparator of Kor::Set<int>, and the text form of a list of doubles.
//
// Ownership: nothing is kept between calls. Thread-safety: the routines keep
// no state; gaussLegendreLength evaluates the geometry and so overwrites its
// derivative table.
#pragma once

#include "foundation/KorList.h"
#include "foundation/VertexList.h"

#include <array>
#include <iosfwd>

class CParametricGeometry;

// Least-squares line y = a*x + b through the points (x, y): the normal
// equations [Sxx Sx; Sx n] (a, b) = (Sxy, Sy) factorised and solved by the
// dense Matrix. False, with a and b untouched, when the system is singular:
// fewer than two distinct x, judged relative to the data's scale (the spread
// of the x values at most 2.2e-16 of their mean square), or a failed
// factorisation.
bool fitLine(const Kor::List<std::array<double, 2>>& points, double& a, double& b);

// Arc length of g's u direction between a and b at v = 0: the n-point
// Gauss-Legendre rule applied to |D[1][0]| of evaluate(1, t, 0). n is
// clamped into 3 .. 10. A negative result for b < a. Points where the
// geometry cannot be evaluated count with speed 0.
double gaussLegendreLength(CParametricGeometry& g, double a, double b, int n);

// The n-point Gauss-Legendre rule (n clamped into 3 .. 10): the non-negative
// half of its nodes, ascending, with their weights; for odd n the first node
// is the midpoint 0.
struct GaussRule {
    int count;
    double nodes[5];
    double weights[5];
};
const GaussRule& gaussLegendreRule(int n);

// Integral of f over [a, b] by the n-point Gauss-Legendre rule (n clamped into
// 3 .. 10); negative for b < a.
template <class F> double gaussLegendreIntegral(double a, double b, int n, F&& f)
{
    const bool odd = (n < 3 ? 3 : n > 10 ? 10 : n) % 2 == 1;
    const GaussRule& rule = gaussLegendreRule(n);
    const double mid = 0.5 * (a + b);
    const double half = 0.5 * (b - a);
    double sum = 0.0;
    int k = 0;
    if (odd) {
        sum += rule.weights[0] * f(mid);
        k = 1;
    }
    for (; k < rule.count; ++k) {
        const double x = rule.nodes[k] * half;
        sum += rule.weights[k] * (f(mid + x) + f(mid - x));
    }
    return sum * half;
}

// Sorts values[0 .. n-1] ascending through a sorted index permutation; for
// n <= 1 nothing happens.
void sortIntArrayByKey(int* values, int n);

// lessInt, the comparator of Kor::Set<int>, comes with foundation/VertexList.h.

// Every value followed by a line end.
std::ostream& operator<<(std::ostream& os, const Kor::List<double>& values);
