#include "healing/SectionPlane.h"

#include <cmath>

int intersectPlanes(const CAxis& a, const CAxis& b, CPlane& line)
{
    line.normal = crossProduct(a.direction, b.direction);
    if (norm(line.normal) < 1e-10) {
        const double d = dot(b.point - a.point, a.direction);
        return std::fabs(d) < 1e-9 ? 2 : 0;
    }
    // w lies in plane b across the line; walking along it from b's point
    // reaches plane a.
    const Vector w = crossProduct(line.normal, b.direction);
    const double s = dot(a.point - b.point, a.direction) / dot(w, a.direction);
    line.point = b.point + s * w;
    return 1;
}

CMinSumOfDistance::CMinSumOfDistance(const Vector* A, const CAxis& planeB, const CPlane* line)
    : CConjugateGradient(1, true), A(A), planeB(planeB), line(line), x(1), LA(3), BL(3), L(3)
{
    solve(x, 100, 0);
}

double CMinSumOfDistance::evaluate(int mode, Vector& g, const Vector& xv, double alpha,
                                   const Vector& p)
{
    t = xv[0] + alpha * p[0];
    L = line->pointAlongNormal(t);
    LA = L - *A;
    BL = planeB.point - L;
    const double d1 = norm(LA);
    const double d2 = norm(BL);
    f = d1 + d2;
    if (mode == 1) {
        const Vector& dir = line->normal;
        g[0] = (d1 > 0.0 ? dot(LA, dir) / d1 : 0.0) - (d2 > 0.0 ? dot(BL, dir) / d2 : 0.0);
    }
    return f;
}

Vector sectionPlaneNormal(const Vector& A, const Vector& B, const Vector& nA, const Vector& nB,
                          Vector& M)
{
    const CAxis planeA(A, nA);
    const CAxis planeB(B, nB);
    CPlane line;
    if (intersectPlanes(planeA, planeB, line) != 1)
        return Vector();
    const CMinSumOfDistance minimiser(&planeA.point, planeB, &line);
    M = line.pointAlongNormal(minimiser.x[0]);
    return normalized(crossProduct(planeA.point - M, planeB.point - M));
}
