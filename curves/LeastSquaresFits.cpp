#include "curves/LeastSquaresFits.h"

#include "curves/CurveFamilySurface.h"
#include "foundation/Progress.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "geometry/SparseMatrix.h"
#include "geometry/SparseSolvers.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>
#include <vector>

using Fenwo::NurbsSurf;

namespace {

const char* const kResidualMessages[3] = {"resx too large:", "resy too large:", "resz too large:"};
constexpr double kCurveResidualLimit = 1.0;
constexpr double kGridResidualLimit = 0.1;

bool hasPosition(const CFitPoint& fp)
{
    return fp.Point.size() >= 3 && std::isfinite(fp.Point[0]) && std::isfinite(fp.Point[1]) &&
           std::isfinite(fp.Point[2]);
}

bool hasParameters(const CFitPoint& fp, int count)
{
    if (fp.uv.size() < count)
        return false;
    for (int k = 0; k < count; ++k)
        if (!std::isfinite(fp.uv[k]))
            return false;
    return true;
}

// 0.5 |A x - b|^2, the objective both least-squares solvers report.
double leastSquaresObjective(const SparseMatrix& A, const Vector& x, const Vector& b)
{
    Vector r;
    A.multiply(x, r);
    double f = 0.0;
    for (int i = 0; i < r.size(); ++i)
        f += (r[i] - b[i]) * (r[i] - b[i]);
    return 0.5 * f;
}

// The point at parameter t of the poly-line through the selected points at
// their parameters (clamped to its ends).
Vector polylineAt(const IndexSubset<CFitPoint>& points, double t)
{
    const int n = points.getCount();
    int k = 1;
    while (k < n - 1 && points[k].uv[0] < t)
        ++k;
    const CFitPoint& a = points[k - 1];
    const CFitPoint& b = points[k];
    const double span = b.uv[0] - a.uv[0];
    const double s = span > 0.0 ? std::clamp((t - a.uv[0]) / span, 0.0, 1.0) : 0.0;
    Vector p(3);
    for (int d = 0; d < 3; ++d)
        p[d] = (1.0 - s) * a.Point[d] + s * b.Point[d];
    return p;
}

// N = A^T A of a matrix whose columns appear in few rows, row by row through
// the transposed structure and a dense accumulator.
void buildNormalMatrix(const SparseMatrix& A, SparseMatrix& N)
{
    const int m = A.columns;
    std::vector<std::vector<int>> rowsOfColumn(m);
    for (int r = 0; r < A.rows; ++r)
        for (int e = 0; e < A[r].count; ++e) {
            std::vector<int>& rowsOf = rowsOfColumn[A[r].columnIndices[e]];
            if (rowsOf.empty() || rowsOf.back() != r)
                rowsOf.push_back(r);
        }
    std::vector<double> sum(m, 0.0);
    std::vector<int> touched;
    std::vector<char> seen(m, 0);
    for (int c = 0; c < m; ++c) {
        touched.clear();
        for (int r : rowsOfColumn[c]) {
            const SparseMatrixRow& row = A[r];
            double a = 0.0;
            for (int e = 0; e < row.count; ++e)
                if (row.columnIndices[e] == c)
                    a += row.values[e];
            for (int e = 0; e < row.count; ++e) {
                const int d = row.columnIndices[e];
                if (!seen[d]) {
                    seen[d] = 1;
                    touched.push_back(d);
                }
                sum[d] += a * row.values[e];
            }
        }
        std::sort(touched.begin(), touched.end());
        N[c].reserve(int(touched.size()));
        for (int d : touched) {
            N[c].append(d, sum[d]);
            sum[d] = 0.0;
            seen[d] = 0;
        }
    }
}

// Clamped uniform knots of degree min(degree, count - 1) (at least 1) with
// count control points on [a, b].
knots defaultKnots(int count, int degree, double a, double b)
{
    const int p = std::max(1, std::min(degree, count - 1));
    return knots(count - 1, p, a, b, knots::ClampedEnd, knots::Uniform);
}

// Index of the entry of `means` nearest to t (means ascending or not).
int nearestIndex(const std::vector<double>& means, double t)
{
    int best = 0;
    for (int k = 1; k < int(means.size()); ++k)
        if (std::fabs(means[k] - t) < std::fabs(means[best] - t))
            best = k;
    return best;
}

bool checkGrid(const CFitPointArray2D& grid, int parameterCount, const char* who)
{
    if (grid.rows < 2 || grid.cols < 2) {
        std::cout << who << ": the grid needs at least 2 x 2 records." << std::endl;
        return false;
    }
    for (int r = 0; r < grid.rows * grid.cols; ++r)
        if (!hasPosition(grid.items[r]) || !hasParameters(grid.items[r], parameterCount)) {
            std::cout << who << ": record " << r
                      << (parameterCount > 0 ? " has no 3-D point or parameters."
                                             : " has no 3-D point.")
                      << std::endl;
            return false;
        }
    return true;
}

} // namespace

NurbsSurf* fitCurveThroughPoints(IndexSubset<CFitPoint>& points, int degree)
{
    const int n = points.getCount();
    if (n < 2)
        return nullptr;
    if (degree < 1) {
        std::cout << "fitCurveThroughPoints: degree " << degree << " is below 1." << std::endl;
        return nullptr;
    }
    for (int i = 0; i < n; ++i)
        if (!hasPosition(points[i]) || !hasParameters(points[i], 1) ||
            (i > 0 && points[i].uv[0] < points[i - 1].uv[0])) {
            std::cout << "fitCurveThroughPoints: point " << i
                      << " lacks a 3-D position or an ascending parameter." << std::endl;
            return nullptr;
        }

    const int p = degree;
    auto k = std::make_unique<knots>(n + p - 2, p, points[0].uv[0], points[n - 1].uv[0],
                                     knots::ClampedEnd, knots::Uniform);
    for (int i = 1; i < n - 1; ++i) {
        CFitPoint& fp = points[i];
        if (fp.Normal.size() == 3) {
            fp.Normal.resize(0);
            fp.group = 2;
        }
    }
    int withDerivative = 0;
    for (int i = 0; i < n; ++i) {
        k->setKnotValue(i + p, points[i].uv[0]);
        if (points[i].Normal.size() == 3)
            ++withDerivative;
    }
    if (withDerivative >= 2)
        return newtonCurveThroughPoints(points, degree);
    if (!k->checkHealth(1))
        return nullptr;

    const int columns = k->getControlPointCount();
    const int rows = n + withDerivative;
    SparseMatrix A(rows, columns);
    Vector b[3] = {Vector(rows), Vector(rows), Vector(rows)};
    // A derivative row times the mean parameter step compares lengths.
    const double h = (points[n - 1].uv[0] - points[0].uv[0]) / (n - 1);
    int row = 0;
    for (int i = 0; i < n; ++i) {
        const CFitPoint& fp = points[i];
        double t = fp.uv[0];
        const int span = k->clampToKnots(t);
        const Vector* basis = k->basisDerivatives(span, 1, t);
        const int order = fp.Normal.size() == 3 ? 1 : 0;
        for (int r = 0; r <= order; ++r, ++row) {
            const double scale = r == 0 ? 1.0 : h;
            A[row].reserve(p + 1);
            for (int j = 0; j <= p; ++j)
                A[row].append(span - p + j, scale * basis[r][j]);
            for (int d = 0; d < 3; ++d)
                b[d][row] = scale * (r == 0 ? fp.Point[d] : fp.Normal[d]);
        }
    }

    // Start from the control polygon interpolating the points linearly at
    // the Greville abscissae; the solve then only corrects it.
    Vector x[3] = {Vector(columns), Vector(columns), Vector(columns)};
    for (int j = 0; j < columns; ++j) {
        const Vector g = polylineAt(points, k->getGrevilleAbscissa(j));
        for (int d = 0; d < 3; ++d)
            x[d][j] = g[d];
    }
    for (int d = 0; d < 3; ++d) {
        const double f = sparseLScg(&A, &b[d], &x[d], 4 * columns + 20, 0, 0.0, 0, nullptr);
        if (!(f <= kCurveResidualLimit)) {
            std::cout << kResidualMessages[d] << f << std::endl;
            return nullptr;
        }
    }
    auto curve = std::make_unique<NurbsSurf>(*k);
    for (int j = 0; j < columns; ++j)
        curve->setControlPoint(j, 0, Vector(x[0][j], x[1][j], x[2][j]), 1.0);
    return curve.release();
}

bool parameterizeGrid(CFitPointArray2D& grid, const knots* u, const knots* v)
{
    if (!checkGrid(grid, 0, "parameterizeGrid"))
        return false;
    const int nu = grid.rows;
    const int nv = grid.cols;
    auto knotsFor = [](const knots* given, int count) {
        if (given == nullptr)
            return defaultKnots(count, 3, 0.0, count - 1);
        if (given->getControlPointCount() == count)
            return *given;
        const Interval range = given->getDomain();
        return defaultKnots(count, 3, range.min, range.max);
    };
    const knots U = knotsFor(u, nu);
    const knots V = knotsFor(v, nv);
    if (!U.isHealthy || !V.isHealthy) {
        std::cout << "parameterizeGrid: unhealthy knot vector." << std::endl;
        return false;
    }
    NurbsSurf net(U, &V);
    CFitPointArray records;
    records.setCapacity(nu * nv);
    for (int j = 0; j < nv; ++j)
        for (int i = 0; i < nu; ++i) {
            const Vector P(grid.at(i, j).Point.data, 3);
            net.setControlPoint(i, j, P, 1.0);
            records.append(CFitPoint(P));
        }
    IndexSubset<CFitPoint> all(records);
    all.selectAll();
    const int resU = std::clamp(nu / 10, 1, 4);
    const int resV = std::clamp(nv / 10, 1, 4);
    net.invertPoints(all, resU, resV, false);
    net.PointInversion(all, 20);

    const Interval du = U.getDomain();
    const Interval dv = V.getDomain();
    for (int j = 0; j < nv; ++j)
        for (int i = 0; i < nu; ++i) {
            const CFitPoint& r = records[i + nu * j];
            CFitPoint& fp = grid.at(i, j);
            fp.uv.resize(2);
            fp.uv[0] = i == 0 ? du.min : i == nu - 1 ? du.max : r.uv[0];
            fp.uv[1] = j == 0 ? dv.min : j == nv - 1 ? dv.max : r.uv[1];
        }
    return true;
}

NurbsSurf* fitNurbsToPoints(CFitPointArray2D& grid, const knots* u, const knots* v,
                            CProgress* progress, bool parameterize, int uDegree, int vDegree,
                            const double* weights)
{
    if (!checkGrid(grid, parameterize ? 0 : 2, "fitNurbsToPoints"))
        return nullptr;
    const int nu = grid.rows;
    const int nv = grid.cols;
    const knots U = u != nullptr ? *u : defaultKnots(nu, uDegree, 0.0, nu - 1);
    const knots V = v != nullptr ? *v : defaultKnots(nv, vDegree, 0.0, nv - 1);
    if (!U.isHealthy || !V.isHealthy) {
        std::cout << "fitNurbsToPoints: unhealthy knot vector." << std::endl;
        return nullptr;
    }
    if (U.getControlPointCount() > nu || V.getControlPointCount() > nv) {
        std::cout << "fitNurbsToPoints: the knots ask for more control points ("
                  << U.getControlPointCount() << " x " << V.getControlPointCount()
                  << ") than the grid has records (" << nu << " x " << nv << ")." << std::endl;
        return nullptr;
    }
    if (parameterize && !parameterizeGrid(grid, u, v))
        return nullptr;

    auto surface = std::make_unique<NurbsSurf>(U, &V);
    const int nU = surface->getUCount();
    const int nV = surface->getVCount();
    const int variables = nU * nV;
    const int rows = nu * nv;
    knots Ku(U); // basis evaluation writes into the knot vectors
    knots Kv(V);
    const int p = Ku.p;
    const int q = Kv.p;
    SparseMatrix A(rows, variables);
    Vector b[3] = {Vector(rows), Vector(rows), Vector(rows)};
    std::vector<double> Nu(p + 1);
    for (int r = 0; r < rows; ++r) {
        const CFitPoint& fp = grid.items[r];
        double s = fp.uv[0];
        double t = fp.uv[1];
        const int su = Ku.clampToKnots(s);
        const Vector& bu = Ku.basisFunctions(su, s);
        std::copy(bu.data, bu.data + p + 1, Nu.begin());
        const int sv = Kv.clampToKnots(t);
        const Vector& Nv = Kv.basisFunctions(sv, t);
        A[r].reserve((p + 1) * (q + 1));
        double denominator = 1.0; // sum of the weighted products: the rational basis
        if (weights != nullptr) {
            denominator = 0.0;
            for (int jb = 0; jb <= q; ++jb)
                for (int ia = 0; ia <= p; ++ia)
                    denominator += Nu[ia] * Nv[jb] *
                                   weights[((su - p + ia) % nU + nU) % nU +
                                           nU * (((sv - q + jb) % nV + nV) % nV)];
            if (!(std::fabs(denominator) > 0.0))
                denominator = 1.0;
        }
        for (int jb = 0; jb <= q; ++jb) {
            const int j = ((sv - q + jb) % nV + nV) % nV;
            for (int ia = 0; ia <= p; ++ia) {
                const int i = ((su - p + ia) % nU + nU) % nU;
                const double w = weights != nullptr ? weights[i + nU * j] : 1.0;
                A[r].append(i + nU * j, Nu[ia] * Nv[jb] * w / denominator);
            }
        }
        for (int d = 0; d < 3; ++d)
            b[d][r] = fp.Point[d];
    }

    // Start values: the records nearest to the Greville abscissae, found
    // through the mean parameters of the grid's rows and columns.
    std::vector<double> meanU(nu, 0.0), meanV(nv, 0.0);
    for (int j = 0; j < nv; ++j)
        for (int i = 0; i < nu; ++i) {
            meanU[i] += grid.at(i, j).uv[0] / nv;
            meanV[j] += grid.at(i, j).uv[1] / nu;
        }
    Vector x[3] = {Vector(variables), Vector(variables), Vector(variables)};
    for (int j = 0; j < nV; ++j) {
        const int jr = nearestIndex(meanV, Kv.getGrevilleAbscissa(j));
        for (int i = 0; i < nU; ++i) {
            const CFitPoint& start = grid.at(nearestIndex(meanU, Ku.getGrevilleAbscissa(i)), jr);
            for (int d = 0; d < 3; ++d)
                x[d][i + nU * j] = start.Point[d];
        }
    }

    SparseMatrix N(variables, variables);
    buildNormalMatrix(A, N);
    N.progress = progress;
    if (progress != nullptr)
        progress->begin(0, 3);
    for (int d = 0; d < 3; ++d) {
        if (progress != nullptr) {
            progress->step(1);
            if (progress->isCancelled())
                return nullptr;
        }
        const Vector rhs = multiplyTransposed(b[d], A);
        const double tol = 1e-26 * std::max(normSquared(rhs), 1e-300);
        sparseCG(&N, &rhs, &x[d], 2 * variables, tol);
        double f = leastSquaresObjective(A, x[d], b[d]);
        if (f > kGridResidualLimit)
            f = sparseLScgSerial(&A, &b[d], &x[d], 6 * variables, 0, 0.0, 0, nullptr);
        if (progress != nullptr && progress->isCancelled())
            return nullptr;
        if (!(f <= kGridResidualLimit)) {
            std::cout << kResidualMessages[d] << f << std::endl;
            return nullptr;
        }
    }
    for (int j = 0; j < nV; ++j)
        for (int i = 0; i < nU; ++i) {
            const int c = i + nU * j;
            surface->setControlPoint(i, j, Vector(x[0][c], x[1][c], x[2][c]),
                                     weights != nullptr ? weights[c] : 1.0);
        }
    return surface.release();
}
