#include "fitting/ScatteredDataRBF.h"

#include "foundation/Logging.h"
#include "foundation/Progress.h"
#include "foundation/SolveLSCG.h"

#include <algorithm>
#include <cmath>
#include <ostream>
#include <type_traits>
#include <vector>

namespace {

// The kernel with its code known at compile time, so that the assembly and
// evaluation loops carry no switch.
template <int K> inline double phi(double r, double eps)
{
    if constexpr (K == 1)
        return r > 1e-12 ? r * r * std::log(r) : 0.0;
    else if constexpr (K == 2)
        return r * r * r;
    else if constexpr (K == 3)
        return std::exp(-(eps * r) * (eps * r));
    else if constexpr (K == 4)
        return std::sqrt((eps * r) * (eps * r) + 1.0);
    else if constexpr (K == 5)
        return 1.0 / std::sqrt((eps * r) * (eps * r) + 1.0);
    else if constexpr (K == 6)
        return 1.0 / ((eps * r) * (eps * r) + 1.0);
    else
        return r;
}

// Calls f(std::integral_constant<int, K>) for the kernel of the code.
template <class F> decltype(auto) withKernel(int code, F&& f)
{
    switch (code) {
    case 1:
        return f(std::integral_constant<int, 1>());
    case 2:
        return f(std::integral_constant<int, 2>());
    case 3:
        return f(std::integral_constant<int, 3>());
    case 4:
        return f(std::integral_constant<int, 4>());
    case 5:
        return f(std::integral_constant<int, 5>());
    case 6:
        return f(std::integral_constant<int, 6>());
    default:
        return f(std::integral_constant<int, 0>());
    }
}

inline double distance3(const double* a, const double* b)
{
    const double dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// The m polynomial terms at p: 1, x, y, z, x^2, y^2, z^2, xy, xz, yz.
inline void polynomialTerms(const double* p, int m, double* t)
{
    t[0] = 1.0;
    if (m < 4)
        return;
    t[1] = p[0];
    t[2] = p[1];
    t[3] = p[2];
    if (m < 10)
        return;
    t[4] = p[0] * p[0];
    t[5] = p[1] * p[1];
    t[6] = p[2] * p[2];
    t[7] = p[0] * p[1];
    t[8] = p[0] * p[2];
    t[9] = p[1] * p[2];
}

// Relative remainder below which a quadratic term counts as dependent: 5 %.
// Samples on a surface fitted over a cap of a sphere leave the dependent
// term a remainder of 0.8 to 2.3 % (caps of the real unit sphere), the
// independent ones 45 % and more. A bound of 1 % keeps the dependent term on
// such a cap, and the field swings to 2.5 between samples whose
// displacements stay below 0.007.
constexpr double kDependentTerm = 5e-2;

// Appends to `out` the quadratic terms the samples leave (nearly)
// undetermined; the solve drops them. Samples on or near a quadric (a
// sphere, a cylinder) satisfy a quadratic equation: that combination of the
// terms vanishes at every sample, so its coefficient follows the noise of
// the values and the field, exact at the samples, swings far off them (on a
// small cap of a sphere by a hundred times the displacements). The columns
// are taken in coordinates centred on the samples and scaled by their
// extent; the linear part is projected out first, then the quadratic terms
// are orthogonalised, the most independent first, until every one left has
// a remainder below kDependentTerm (5 %) of its norm: those are dependent.
// A quadric's equation always has a quadratic coefficient, which is the
// same in raw and centred coordinates, so dropping that raw term breaks the
// dependence. Only for a quadratic part and at least as many samples as
// terms.
void appendDependentTerms(const std::vector<double>& p, int n, int m, Kor::List<int>& out)
{
    if (m < 10 || n < m)
        return;
    double centre[3] = {0.0, 0.0, 0.0}, extent = 0.0;
    for (std::size_t k = 0; k < p.size(); ++k)
        centre[k % 3] += p[k] / n;
    for (std::size_t k = 0; k < p.size(); ++k)
        extent = std::max(extent, std::fabs(p[k] - centre[k % 3]));
    if (extent == 0.0)
        return;
    const std::size_t rows = static_cast<std::size_t>(n), terms = static_cast<std::size_t>(m);
    std::vector<std::vector<double>> columns(terms, std::vector<double>(rows));
    double t[10], q[3];
    for (int i = 0; i < n; ++i) {
        for (int c = 0; c < 3; ++c)
            q[c] = (p[3 * std::size_t(i) + std::size_t(c)] - centre[c]) / extent;
        polynomialTerms(q, m, t);
        for (int l = 0; l < m; ++l)
            columns[std::size_t(l)][std::size_t(i)] = t[l];
    }
    std::vector<double> original(terms);
    for (int l = 0; l < m; ++l)
        original[std::size_t(l)] = std::sqrt(dotRange(columns[l].data(), columns[l].data(), n));
    // Takes column k into the basis: normalises it and removes it from the
    // columns still open.
    std::vector<bool> open(terms, true);
    auto take = [&](int k) {
        open[std::size_t(k)] = false;
        std::vector<double>& b = columns[std::size_t(k)];
        const double length = std::sqrt(dotRange(b.data(), b.data(), n));
        if (length == 0.0)
            return;
        for (double& v : b)
            v /= length;
        for (int l = 0; l < m; ++l) {
            if (!open[std::size_t(l)])
                continue;
            std::vector<double>& c = columns[std::size_t(l)];
            const double along = dotRange(c.data(), b.data(), n);
            for (int i = 0; i < n; ++i)
                c[std::size_t(i)] -= along * b[std::size_t(i)];
        }
    };
    for (int l = 0; l < 4; ++l)
        take(l);
    for (;;) {
        int best = -1;
        double bestRatio = 0.0;
        for (int l = 4; l < m; ++l) {
            if (!open[std::size_t(l)] || original[std::size_t(l)] == 0.0)
                continue;
            const std::vector<double>& c = columns[std::size_t(l)];
            const double ratio =
                std::sqrt(dotRange(c.data(), c.data(), n)) / original[std::size_t(l)];
            if (ratio > bestRatio) {
                best = l;
                bestRatio = ratio;
            }
        }
        if (best < 0 || bestRatio < kDependentTerm)
            break;
        take(best);
    }
    for (int l = 4; l < m; ++l)
        if (open[std::size_t(l)] && original[std::size_t(l)] > 0.0)
            out.append(l);
}

// x y z of every active sample in the frame (centre x y z, scale).
std::vector<double> activePositions(IndexSubset<CFitPoint>* active, const double frame[4])
{
    const int n = active != nullptr ? active->count : 0;
    std::vector<double> p(3 * std::size_t(n));
    for (int i = 0; i < n; ++i) {
        const Vector& position = active->at(i).Tangent;
        for (int c = 0; c < 3; ++c)
            p[3 * std::size_t(i) + std::size_t(c)] =
                ((position.n > c ? position[c] : 0.0) - frame[c]) / frame[3];
    }
    return p;
}

// The frame of the active samples: the middle of their box and half its
// largest side (1 for samples at one point).
void sampleFrame(IndexSubset<CFitPoint>* active, double frame[4])
{
    const double unit[4] = {0.0, 0.0, 0.0, 1.0};
    const std::vector<double> p = activePositions(active, unit);
    double low[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, high[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (std::size_t k = 0; k < p.size(); ++k) {
        low[k % 3] = std::min(low[k % 3], p[k]);
        high[k % 3] = std::max(high[k % 3], p[k]);
    }
    double half = 0.0;
    for (int c = 0; c < 3; ++c) {
        frame[c] = p.empty() ? 0.0 : 0.5 * (low[c] + high[c]);
        half = std::max(half, p.empty() ? 0.0 : 0.5 * (high[c] - low[c]));
    }
    frame[3] = half > 0.0 && std::isfinite(half) ? half : 1.0;
}

// Terms containing each coordinate (degree 1 uses the first entry only).
constexpr int kTermsOf[3][4] = {{1, 4, 7, 8}, {2, 5, 7, 9}, {3, 6, 8, 9}};

// A flat coordinate's sample standard deviation stays below this share of
// the largest standard deviation of the three: flatness is a matter of the
// samples' proportions, not of the model's units (0.2 where the samples of
// a face some 15 millimetres across spread by 4 in their plane).
constexpr double kFlatSpreadShare = 0.05;
// Pivot threshold of the direct factorisation, relative to the entries.
constexpr double kPivotEps = 2.2e-16;

// The threshold below which a column's remainder counts as dependent. A
// repeated sample's column is eliminated only up to rounding, which grows
// with the size and number of the entries (about 1e-16 times the column
// norm times the square root of the order), so a fixed 2.2e-16 misses
// repeats at realistic sizes and in large units. The matrix is symmetric:
// its column norms are its row norms.
double pivotThreshold(const Matrix& A)
{
    double largest = 0.0;
    for (int i = 0; i < A.rows; ++i) {
        const Vector& row = A.rowData[i];
        largest = std::max(largest, dotRange(row.data, row.data, row.n));
    }
    return kPivotEps * std::max(1.0, std::sqrt(double(A.rows) * largest));
}

// |A c - b|, 0 when the squared norm comes out negative.
double residualNorm(const Matrix& A, const Vector& c, const Vector& b)
{
    Vector Ac;
    A.multiply(c, Ac);
    const Vector r = Ac - b;
    const double r2 = dot(r, r);
    return r2 > 0.0 ? std::sqrt(r2) : 0.0;
}

} // namespace

double rbfKernel(int code, double r, double eps)
{
    return withKernel(code, [&](auto k) { return phi<decltype(k)::value>(r, eps); });
}

int rbfInternalKernel(int publicCode)
{
    switch (publicCode) {
    case 1:
        return 1;
    case 2:
        return 2;
    case 3:
        return 4;
    case 4:
        return 5;
    case 5:
        return 6;
    case 6:
        return 3;
    default:
        return 0;
    }
}

int rbfPolynomialDegree(int code)
{
    if (code == 0 || code == 1)
        return 1;
    if (code == 2)
        return 2;
    return code < 0 || code > 6 ? 1 : -1;
}

int rbfPolynomialTerms(int code)
{
    const int degree = rbfPolynomialDegree(code);
    return degree == 1 ? 4 : degree == 2 ? 10 : 0;
}

// ---- CRBFComponent -------------------------------------------------------------

void CRBFComponent::buildRightHandSide(int m)
{
    const int n = active != nullptr ? active->count : 0;
    b.setSize(n + m, true);
    b.fill(0.0);
    for (int i = 0; i < n; ++i) {
        const Vector& value = active->at(i).SurfNormal;
        b[i] = value.n > d ? value[d] : 0.0;
    }
    c.setSize(n + m);
}

// ---- CRBFSystem ----------------------------------------------------------------

bool CRBFSystem::cancelled() const
{
    return progress != nullptr && progress->isCancelled();
}

void CRBFSystem::rbfAssemble(bool withRightHandSides)
{
    const int n = active != nullptr ? active->count : 0;
    const int m = rbfPolynomialTerms(kernel);
    const int N = n + m;
    if (iterative)
        A.resize(N, SymmetricMatrix);
    else
        A.resize(N, N);

    const std::vector<double> p = activePositions(active, frame);

    const double eps = components[0].eps * frame[3];
    const bool full = A.type == FullMatrix;
    withKernel(kernel, [&](auto k) {
        constexpr int K = decltype(k)::value;
        const double diagonal = phi<K>(0.0, eps);
        for (int i = 0; i < n; ++i) {
            double* row = A.rowData[i].data; // full row or packed lower row
            const double* pi = &p[3 * i];
            for (int j = 0; j < i; ++j)
                row[j] = phi<K>(distance3(pi, &p[3 * j]), eps);
            row[i] = diagonal;
        }
    });
    if (full)
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < i; ++j)
                A.rowData[j][i] = A.rowData[i][j];

    if (m > 0) {
        double t[10];
        for (int i = 0; i < n; ++i) {
            polynomialTerms(&p[3 * i], m, t);
            for (int l = 0; l < m; ++l) {
                const double v = removedTerms.contains(l) ? 0.0 : t[l];
                A.at(n + l, i) = v;
                if (full)
                    A.at(i, n + l) = v;
            }
        }
    }

    // A coordinate in which the samples barely vary makes its polynomial
    // columns (nearly) dependent on the constant one; a unit diagonal frees
    // their coefficients instead.
    double spread[3] = {0.0, 0.0, 0.0};
    for (int c = 0; c < 3 && n > 1; ++c) {
        double sum = 0.0, sum2 = 0.0;
        for (int i = 0; i < n; ++i) {
            sum += p[3 * i + c];
            sum2 += p[3 * i + c] * p[3 * i + c];
        }
        spread[c] = std::sqrt(std::max(0.0, sum2 - sum * sum / n) / (n - 1));
    }
    const double largestSpread = std::max({spread[0], spread[1], spread[2]});
    // Fewer samples than polynomial terms determine none of them beyond the
    // constant, wherever they lie (a face healed on six or nine targets):
    // every coordinate is freed, as a flat one is. Kept, the undetermined
    // terms swung the healed face's free sides off their places.
    const bool undetermined = n < m;
    for (int c = 0; c < 3; ++c) {
        flat[c] = false;
        if (n <= 1)
            continue;
        if (undetermined || !(spread[c] > kFlatSpreadShare * largestSpread)) {
            flat[c] = true;
            for (int term : kTermsOf[c])
                if (term < m)
                    A.at(n + term, n + term) = 1.0;
        }
    }
    for (int term : removedTerms)
        if (term >= 0 && term < m)
            A.at(n + term, n + term) = 1.0;

    if (withRightHandSides)
        for (CRBFComponent& component : components)
            component.buildRightHandSide(m);
}

void CRBFSystem::rbfSolve(bool iterativeSolve)
{
    iterative = iterativeSolve;
    if (active == nullptr || active->count == 0)
        return;
    removedTerms.removeAll();
    // The iterative solve keeps the model's own coordinates: its stopping
    // residuals are set in them.
    const double modelFrame[4] = {0.0, 0.0, 0.0, 1.0};
    if (iterative)
        std::copy(modelFrame, modelFrame + 4, frame);
    else
        sampleFrame(active, frame);
    appendDependentTerms(activePositions(active, frame), active->count, rbfPolynomialTerms(kernel),
                         removedTerms);
    rbfAssemble(true);
    if (cancelled())
        return;
    if (!iterative) {
        if (solveDirect())
            keepSolution();
        return;
    }
    for (int d = 0; d < 3; ++d)
        if (!rbfSolveCG(d)) {
            profileLog() << "finally the matrix is singular!" << std::endl;
            break;
        }
    if (!cancelled())
        keepSolution();
}

bool CRBFSystem::solveDirect()
{
    A.progress = progress;
    int result = A.factorize(0, pivotThreshold(A));
    if (cancelled())
        return false;
    // Each retry takes out the sample or polynomial term of the column the
    // factorisation stopped at. A term that is already out and still
    // singular cannot be repaired further.
    while (result == FactorizeSingular) {
        const int k = A.singularColumn;
        const int n = active->count;
        if (k < 0 || k >= A.cols)
            return false;
        if (k < n) {
            profileLog() << "removing point=" << k << std::endl;
            active->removeAt(k);
        } else {
            const int term = k - n;
            if (removedTerms.contains(term))
                return false;
            removedTerms.append(term);
            profileLog() << "removing local Coordinate=" << term << std::endl;
        }
        rbfAssemble(true);
        A.progress = progress;
        result = A.factorize(0, pivotThreshold(A));
        if (cancelled())
            return false;
    }
    for (CRBFComponent& component : components)
        A.solve(component.c, component.b);
    return true;
}

bool CRBFSystem::rbfSolveCG(int d)
{
    CRBFComponent& component = components[d];
    Vector& c = component.c;
    const Vector& b = component.b;
    const int N = b.n;
    c.setSize(N, true);
    c.fill(0.0);
    A.progress = progress;
    A.solveCG(b, c, 0.7, 1e-6, true);
    double res = residualNorm(A, c, b);
    if (res > 0.1 && N < 100) {
        solveLScg(&A, &b, &c, 22 * N);
        res = residualNorm(A, c, b);
    }
    for (int again = 0; again < 2 && N >= 100 && res > 0.1; ++again) {
        A.solveCG(b, c, 0.7, 1e-7, true);
        res = residualNorm(A, c, b);
    }
    return res <= 0.1;
}

void CRBFSystem::keepSolution()
{
    const int n = active->count;
    const int m = rbfPolynomialTerms(kernel);
    solved = false;
    for (const CRBFComponent& component : components)
        if (component.c.n != n + m)
            return;
    centres.assign(3 * std::size_t(n), 0.0);
    weights.assign(3 * std::size_t(n), 0.0);
    polynomial.assign(3 * std::size_t(m), 0.0);
    const std::vector<double> p = activePositions(active, frame);
    for (int i = 0; i < n; ++i) {
        for (int c = 0; c < 3; ++c)
            centres[3 * i + c] = p[3 * std::size_t(i) + std::size_t(c)];
        for (int d = 0; d < 3; ++d)
            weights[3 * i + d] = components[d].c[i];
    }
    for (int d = 0; d < 3; ++d)
        for (int l = 0; l < m; ++l)
            polynomial[m * d + l] = components[d].c[n + l];
    solvedKernel = kernel;
    solvedEps = components[0].eps * frame[3];
    std::copy(frame, frame + 4, solvedFrame);
    solved = true;
}

void CRBFSystem::evaluate(const double* position, double* out) const
{
    out[0] = out[1] = out[2] = 0.0;
    const int n = int(centres.size() / 3);
    if (!solved || n == 0)
        return;
    double x[3];
    for (int c = 0; c < 3; ++c)
        x[c] = (position[c] - solvedFrame[c]) / solvedFrame[3];
    const double* w = weights.data();
    const double eps = solvedEps;
    double s[3] = {0.0, 0.0, 0.0};
    withKernel(solvedKernel, [&](auto k) {
        constexpr int K = decltype(k)::value;
        for (int j = 0; j < n; ++j) {
            const double f = phi<K>(distance3(x, &centres[3 * j]), eps);
            s[0] += w[3 * j] * f;
            s[1] += w[3 * j + 1] * f;
            s[2] += w[3 * j + 2] * f;
        }
    });
    const int m = int(polynomial.size() / 3);
    if (m > 0) {
        double t[10];
        polynomialTerms(x, m, t);
        for (int d = 0; d < 3; ++d)
            for (int l = 0; l < m; ++l)
                s[d] += polynomial[m * d + l] * t[l];
    }
    out[0] = s[0];
    out[1] = s[1];
    out[2] = s[2];
}

// ---- iPolScatteredDataRBF --------------------------------------------------------

iPolScatteredData* newScatteredDataRBF()
{
    return new iPolScatteredDataRBF();
}

iPolScatteredDataRBF::iPolScatteredDataRBF() : active(samples)
{
    system.active = &active;
    for (int d = 0; d < 3; ++d) {
        system.components[d].active = &active;
        system.components[d].d = d;
    }
}

Vector iPolScatteredDataRBF::evaluate(const Vector& x)
{
    Vector result(3);
    double p[3] = {0.0, 0.0, 0.0};
    for (int c = 0; c < 3 && c < x.n; ++c)
        p[c] = x[c];
    system.evaluate(p, result.data);
    return result;
}

void iPolScatteredDataRBF::setSample(const Vector& position, const Vector& value)
{
    if (position.n != 3 || value.n != 3)
        return;
    CFitPoint record(position);
    record.Tangent = position;
    record.SurfNormal = value;
    samples.append(record);
}

bool iPolScatteredDataRBF::getSample(int i, Vector& position, Vector& value)
{
    if (i < 0 || i >= samples.count)
        return false;
    position = samples[i].Tangent;
    value = samples[i].SurfNormal;
    return true;
}

void iPolScatteredDataRBF::setKernelType(int publicCode)
{
    const int code = rbfInternalKernel(publicCode);
    system.kernel = code;
    for (CRBFComponent& component : system.components)
        component.kernel = code;
}

void iPolScatteredDataRBF::setShapeParameter(double eps)
{
    for (CRBFComponent& component : system.components)
        component.eps = eps;
}

void iPolScatteredDataRBF::setKernelParameter(int k)
{
    for (CRBFComponent& component : system.components)
        component.kernelParameter = k;
}

void iPolScatteredDataRBF::recompute(bool iterative)
{
    active.selectAll();
    system.progress = progress;
    system.rbfSolve(iterative);
}
