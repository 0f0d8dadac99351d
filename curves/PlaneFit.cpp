#include "curves/PlaneFit.h"

#include "foundation/Matrix.h"

#include <algorithm>
#include <cmath>

namespace {

// Packed symmetric scatter matrix sum (p - c)(p - c)^T over the indexed
// points, divided by its trace so that the eigen solvers, whose pivot and
// convergence thresholds are absolute, see entries of order one whatever the
// scale of the model. The eigenvectors are unchanged by the scaling. Returns
// the trace before scaling (0 when the points coincide or there are none).
double buildScatterMatrix(const IndexSubset<CFitPoint>& subset, const Vector& c, Matrix& S)
{
    S.resize(3, SymmetricMatrix);
    for (int k = 0; k < subset.getCount(); ++k) {
        const Vector& p = subset[k].Point;
        double d[3];
        for (int i = 0; i < 3; ++i)
            d[i] = (i < p.n ? p[i] : 0.0) - c[i];
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j <= i; ++j)
                S.at(i, j) += d[i] * d[j];
    }
    const double trace = S.at(0, 0) + S.at(1, 1) + S.at(2, 2);
    if (!(trace > 0.0) || !std::isfinite(trace))
        return 0.0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j <= i; ++j)
            S.at(i, j) /= trace;
    return trace;
}

// Spread below this fraction of the total counts as none.
constexpr double kFlatSpread = 1e-12;

// The eigen-decomposition of the packed symmetric scatter matrix.
void symmetricEigen3(const Matrix& S, double lambda[3], double V[3][3])
{
    double A[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            A[i][j] = S.at(i, j);
    ::symmetricEigen3(A, lambda, V);
}

Vector column(const double V[3][3], int k)
{
    return Vector(V[0][k], V[1][k], V[2][k]);
}

} // namespace

bool fitPlaneToSubset(const IndexSubset<CFitPoint>& subset, Vector& centroid, Vector& normal)
{
    centroid = ::centroid(subset);
    normal = Vector(3);
    Matrix S;
    if (buildScatterMatrix(subset, centroid, S) == 0.0)
        return false;

    double lambda[3];
    double V[3][3];
    symmetricEigen3(S, lambda, V);
    // The trace is 1: a middle eigenvalue of 0 means the points lie on a line
    // and the plane through them is free.
    if (lambda[1] < kFlatSpread)
        return false;
    normal = column(V, 0);
    return true;
}

bool fitAxisToSubset(const IndexSubset<CFitPoint>& subset, Vector& centroid, Vector& axis)
{
    centroid = ::centroid(subset);
    axis = Vector(3);
    Matrix S;
    if (buildScatterMatrix(subset, centroid, S) == 0.0)
        return false;
    double lambda[3];
    double V[3][3];
    symmetricEigen3(S, lambda, V);
    axis = column(V, 2);
    return true;
}

bool fitPlane(const CFitPointArray& points, Vector& centroid, Vector& normal)
{
    // The subset only reads the points.
    IndexSubset<CFitPoint> all(const_cast<CFitPointArray*>(&points));
    all.selectAll();
    return fitPlaneToSubset(all, centroid, normal);
}

bool enclosedAreaNormal(const double* xyz, int count, double normal[3])
{
    if (xyz == nullptr || count < 3)
        return false;
    double centre[3] = {0.0, 0.0, 0.0};
    for (int i = 0; i < count; ++i)
        for (int k = 0; k < 3; ++k)
            centre[k] += xyz[3 * i + k] / count;
    double area[3] = {0.0, 0.0, 0.0};
    for (int i = 0; i < count; ++i) {
        const double* p = xyz + 3 * i;
        const double* q = xyz + 3 * ((i + 1) % count);
        const double a[3] = {p[0] - centre[0], p[1] - centre[1], p[2] - centre[2]};
        const double b[3] = {q[0] - centre[0], q[1] - centre[1], q[2] - centre[2]};
        area[0] += a[1] * b[2] - a[2] * b[1];
        area[1] += a[2] * b[0] - a[0] * b[2];
        area[2] += a[0] * b[1] - a[1] * b[0];
    }
    const double length = std::sqrt(area[0] * area[0] + area[1] * area[1] + area[2] * area[2]);
    if (!(length > 0.0) || !std::isfinite(length))
        return false;
    for (int k = 0; k < 3; ++k)
        normal[k] = area[k] / length;
    return true;
}

namespace {

// True for a direction a caller supplies: 3 finite entries, not all zero.
bool isGivenDirection(const Vector& a)
{
    if (a.n != 3)
        return false;
    for (int i = 0; i < 3; ++i)
        if (!std::isfinite(a[i]))
            return false;
    return a[0] != 0.0 || a[1] != 0.0 || a[2] != 0.0;
}

// a / |a| at any scale; the zero 3-vector when a has no length.
Vector unitOf(const Vector& a)
{
    const double len = norm(a);
    return len > 0.0 && std::isfinite(len) ? a / len : Vector(3);
}

// The first three coordinates of a point (missing ones 0).
Vector firstThree(const Vector& p)
{
    Vector out(3);
    for (int i = 0; i < std::min(p.n, 3); ++i)
        out[i] = p[i];
    return out;
}

// The part of a perpendicular to the unit vector n, normalised; a unit vector
// perpendicular to n when a is (nearly) parallel to n or zero.
Vector perpendicularUnit(const Vector& a, const Vector& n)
{
    Vector r = a;
    r.addScaled(-dot(a, n), n);
    const double len = norm(r);
    if (len > 1e-12 * norm(a) && len > 0.0)
        return r / len;
    // The coordinate axis least aligned with n has the largest perpendicular part.
    int k = 0;
    for (int i = 1; i < 3; ++i)
        if (std::fabs(n[i]) < std::fabs(n[k]))
            k = i;
    Vector e(3);
    e[k] = 1.0;
    e.addScaled(-n[k], n);
    return unitOf(e);
}

} // namespace

bool fitPlaneFrame(const IndexSubset<CFitPoint>& pts, Vector& normal, Vector& uAxis, Vector& vAxis,
                   Vector& centre, double& uMin, double& uMax, double& vMin, double& vMax)
{
    const int count = pts.getCount();
    bool determined = true;
    Vector n;
    if (isGivenDirection(normal)) {
        n = unitOf(normal);
        if (centre.n != 3)
            centre = ::centroid(pts);
    } else {
        Vector fitted;
        const bool planeFound = fitPlaneToSubset(pts, centre, fitted);
        bool allHaveNormals = count > 0;
        Vector sum(3);
        for (int k = 0; k < count && allHaveNormals; ++k) {
            const Vector& pn = pts[k].Normal;
            if (pn.n != 3)
                allHaveNormals = false;
            else
                sum = sum + pn;
        }
        if (allHaveNormals && isGivenDirection(sum)) {
            n = unitOf(sum);
        } else if (planeFound) {
            n = fitted;
        } else {
            // No plane through the points: any plane containing their line.
            determined = false;
            Vector c, along;
            fitAxisToSubset(pts, c, along);
            n = perpendicularUnit(Vector(1.0, 0.0, 0.0),
                                  isGivenDirection(along) ? along : Vector(0.0, 0.0, 1.0));
        }
    }

    Vector u;
    if (isGivenDirection(uAxis)) {
        u = uAxis;
    } else {
        Vector c;
        fitAxisToSubset(pts, c, u);
    }
    u = perpendicularUnit(u, n);
    const Vector v = unitOf(crossProduct(n, u));
    normal = n;
    uAxis = u;
    vAxis = v;

    uMin = uMax = vMin = vMax = 0.0;
    for (int k = 0; k < count; ++k) {
        const Vector d = firstThree(pts[k].Point) - centre;
        const double du = dot(d, u);
        const double dv = dot(d, v);
        if (k == 0) {
            uMin = uMax = du;
            vMin = vMax = dv;
        } else {
            uMin = std::min(uMin, du);
            uMax = std::max(uMax, du);
            vMin = std::min(vMin, dv);
            vMax = std::max(vMax, dv);
        }
    }
    return count > 0 && determined;
}

void symmetricEigen3(const double S[3][3], double lambda[3], double V[3][3])
{
    double A[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            A[i][j] = S[i][j];
            V[i][j] = i == j ? 1.0 : 0.0;
        }
    for (int sweep = 0; sweep < 50; ++sweep) {
        const double off = A[0][1] * A[0][1] + A[0][2] * A[0][2] + A[1][2] * A[1][2];
        if (!(off > 1e-40))
            break;
        for (int p = 0; p < 2; ++p)
            for (int q = p + 1; q < 3; ++q) {
                if (A[p][q] == 0.0)
                    continue;
                const double theta = (A[q][q] - A[p][p]) / (2.0 * A[p][q]);
                const double t = (theta >= 0.0 ? 1.0 : -1.0) /
                                 (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
                const double c = 1.0 / std::sqrt(t * t + 1.0);
                const double sn = t * c;
                for (int k = 0; k < 3; ++k) { // A := A J
                    const double akp = A[k][p], akq = A[k][q];
                    A[k][p] = c * akp - sn * akq;
                    A[k][q] = sn * akp + c * akq;
                }
                for (int k = 0; k < 3; ++k) { // A := J^T A
                    const double apk = A[p][k], aqk = A[q][k];
                    A[p][k] = c * apk - sn * aqk;
                    A[q][k] = sn * apk + c * aqk;
                }
                for (int k = 0; k < 3; ++k) { // V := V J
                    const double vkp = V[k][p], vkq = V[k][q];
                    V[k][p] = c * vkp - sn * vkq;
                    V[k][q] = sn * vkp + c * vkq;
                }
            }
    }
    int order[3] = {0, 1, 2};
    std::sort(order, order + 3, [&](int a, int b) { return A[a][a] < A[b][b]; });
    double W[3][3];
    for (int k = 0; k < 3; ++k) {
        lambda[k] = A[order[k]][order[k]];
        for (int i = 0; i < 3; ++i)
            W[i][k] = V[i][order[k]];
    }
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 3; ++k)
            V[i][k] = W[i][k];
}
