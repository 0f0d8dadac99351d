#include "healing/SectionPlane.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

void expectNear(const Vector& a, const Vector& b, double tol, const char* what)
{
    ASSERT_EQ(a.n, b.n) << what;
    for (int d = 0; d < a.n; ++d)
        EXPECT_NEAR(a[d], b[d], tol) << what << " [" << d << "]";
}

} // namespace

TEST(SectionPlane, IntersectPlanesTellsParallelSameAndCrossingPlanes)
{
    const Vector z(0, 0, 1);
    CPlane line;
    EXPECT_EQ(intersectPlanes(CAxis(Vector(0, 0, 0), z), CAxis(Vector(0, 0, 5e-10), z), line), 2);
    EXPECT_EQ(intersectPlanes(CAxis(Vector(0, 0, 0), z), CAxis(Vector(0, 0, 1), z), line), 0);

    const CAxis a(Vector(0, 0, 0), z), b(Vector(1, 0, 0), Vector(1, 0, 0));
    ASSERT_EQ(intersectPlanes(a, b, line), 1);
    expectNear(line.normal, Vector(0, 1, 0), 1e-15, "direction");
    EXPECT_NEAR(dot(line.point - a.point, a.direction), 0.0, 1e-15);
    EXPECT_NEAR(dot(line.point - b.point, b.direction), 0.0, 1e-15);
}

TEST(SectionPlane, NormalThroughBothPointsAndTheApexOfLeastDistance)
{
    Vector M(9, 9, 9);
    const Vector n =
        sectionPlaneNormal(Vector(0, 1, 0), Vector(2, 0, 0), Vector(0, 1, 0), Vector(1, 0, 0), M);
    expectNear(M, Vector(2, 1, 0), 1e-6, "apex");
    expectNear(n, Vector(0, 0, 1), 1e-9, "normal");

    // Planes z = 0 and x = 3 meet along y; the apex minimising the distances
    // to A (3 from the line) and B (1 from it, 2 further along) sits at y = 1.5,
    // where the line's start point (y = 2) is not.
    const Vector A(0, 0, 0), B(3, 2, 1);
    const Vector w = sectionPlaneNormal(A, B, Vector(0, 0, 2), Vector(3, 0, 0), M);
    expectNear(M, Vector(3, 1.5, 0), 1e-6, "apex off the start");
    EXPECT_NEAR(norm(w), 1.0, 1e-12);
    EXPECT_NEAR(dot(w, A - M), 0.0, 1e-9);
    EXPECT_NEAR(dot(w, B - M), 0.0, 1e-9);

    // Parallel tangent planes: no section plane, M untouched.
    const Vector apex = M;
    const Vector none = sectionPlaneNormal(A, B, Vector(0, 0, 1), Vector(0, 0, 1), M);
    EXPECT_EQ(none.n, 0);
    expectNear(M, apex, 0.0, "M kept");
}

TEST(SectionPlane, DerivativeIsFiniteWhereTheLinePassesThroughAPoint)
{
    // The line through A: the distance |L - A| vanishes at t = 0, which is
    // also the minimum (|L - A| + |B - L| >= |B - A|).
    const Vector A(0, 0, 0);
    const CPlane line(A, Vector(1, 0, 0));
    CMinSumOfDistance m(&A, CAxis(Vector(2, 1, 0), Vector(0, 1, 0)), &line);
    Vector g(1);
    const Vector zero(1);
    const double f = m.evaluate(1, g, zero, 0.0, zero);
    EXPECT_NEAR(g[0], -2.0 / std::sqrt(5.0), 1e-15);
    EXPECT_NEAR(f, std::sqrt(5.0), 1e-15);
    EXPECT_NEAR(m.x[0], 0.0, 1e-6);
}
