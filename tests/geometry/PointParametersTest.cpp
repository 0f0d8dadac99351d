#include "geometry/PointParameters.h"

#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

IndexSubset<CFitPoint> selectAll(CFitPointArray& a)
{
    IndexSubset<CFitPoint> s(a);
    s.selectAll();
    return s;
}

// Points along a rising helix arc with uneven spacing, scaled by `scale`.
CFitPointArray helixPoints(double scale)
{
    CFitPointArray a;
    double theta = 0.0;
    for (int i = 0; i < 9; ++i) {
        a.append(CFitPoint(scale * Vector(std::cos(theta), std::sin(theta), 0.2 * theta)));
        theta += 0.2 + 0.1 * (i % 3);
    }
    return a;
}

std::vector<double> parametersOf(const CFitPointArray& a)
{
    std::vector<double> t;
    for (int i = 0; i < a.count; ++i)
        t.push_back(a[i].uv[0]);
    return t;
}

} // namespace

TEST(PointParameters, ParameterizeModes)
{
    CFitPointArray a;
    for (double x : {0.0, 1.0, 2.0, 4.0})
        a.append(CFitPoint(Vector(x, 0, 0), Vector()));
    IndexSubset<CFitPoint> s(a);
    s.selectAll();

    parameterizePoints(s, 1.0, 1, 3);
    const double chord[] = {0, 0.25, 0.5, 1};
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(a[i].uv.n, 2);
        EXPECT_DOUBLE_EQ(a[i].uv[0], chord[i]);
        EXPECT_EQ(a[i].uv[1], 0.0);
    }
    parameterizePoints(s, 2.0, 2, 3);
    EXPECT_DOUBLE_EQ(a[2].uv[0], 2.0 * 2.0 / (2.0 + std::sqrt(2.0)));
    EXPECT_DOUBLE_EQ(a[3].uv[0], 2.0);
    parameterizePoints(s, 3.0, 0, 3);
    EXPECT_DOUBLE_EQ(a[1].uv[0], 1.0);
    // On a straight line the angle correction vanishes.
    parameterizePoints(s, 1.0, 3, 3);
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(a[i].uv[0], chord[i], 1e-15);
}

TEST(PointParameters, ModifiedChordLengthGrowsStepsAtCorners)
{
    // Equal chords with a right-angle turn at point 2: the steps touching the
    // turn grow by 1 + 3 (pi/2) / 4, the others stay 1.
    CFitPointArray a;
    for (const Vector& p :
         {Vector(0, 0, 0), Vector(1, 0, 0), Vector(2, 0, 0), Vector(2, 1, 0), Vector(2, 2, 0)})
        a.append(CFitPoint(p));
    IndexSubset<CFitPoint> s(a);
    s.selectAll();
    parameterizePoints(s, 1.0, 3, 3);
    const double k = 1.0 + 3.0 * (std::numbers::pi / 2.0) / 4.0;
    const double total = 2.0 + 2.0 * k;
    EXPECT_NEAR(a[1].uv[0], 1.0 / total, 1e-12);
    EXPECT_NEAR(a[2].uv[0], (1.0 + k) / total, 1e-12);
    EXPECT_NEAR(a[3].uv[0], (1.0 + 2.0 * k) / total, 1e-12);
}

TEST(PointParameters, ProjectionModeGivesClosestPointsAndLeavesInversionRecordsAlone)
{
    const double length = 2.5;
    std::vector<double> reference;
    for (double scale : {1e-3, 1.0, 1e3}) {
        // Points in state 2 (keep the parameters) would stay at their stale
        // parameters, and lose their dist2, if the inversion ran on them.
        CFitPointArray a = helixPoints(scale);
        for (int i = 0; i < a.count; ++i) {
            a[i].uv = Vector(2);
            a[i].state = 2;
            a[i].dist2 = 7.0;
        }
        IndexSubset<CFitPoint> s = selectAll(a);
        parameterizePoints(s, length, 4, 3);
        const std::vector<double> t = parametersOf(a);
        const int n = a.count;
        for (int i = 0; i < n; ++i)
            EXPECT_TRUE(a[i].state == 2 && a[i].dist2 == 7.0);
        EXPECT_EQ(t.front(), 0.0);
        EXPECT_NEAR(t.back(), length, 1e-12);
        for (int i = 1; i < n; ++i)
            EXPECT_GT(t[i], t[i - 1]) << "point " << i;

        // The curve the parameters refer to: each parameter is a stationary
        // point of the distance and no sample of the curve is nearer.
        const knots u(n - 1, 3, 0.0, length);
        Fenwo::NurbsSurf curve(u, nullptr);
        for (int i = 0; i < n; ++i)
            curve.setControlPoint(i, 0, a[i].Point);
        for (int i = 1; i + 1 < n; ++i) {
            Vector** D = curve.computeDerivatives(1, t[i], 0.0, nullptr);
            const Vector r = D[0][0] - a[i].Point;
            EXPECT_NEAR(dot(r, D[1][0]) / (norm(D[1][0]) * scale), 0.0, 1e-8) << "point " << i;
            const double best = normSquared(r);
            Fenwo::NurbsSurf::freeDerivativeTable(D, 1);
            Vector c(3);
            for (int k = 0; k <= 400; ++k) {
                curve.evaluatePoint(c, length * k / 400.0, 0.0);
                EXPECT_GE(squaredDistance(c, a[i].Point), best * (1.0 - 1e-9)) << "point " << i;
            }
        }
        // The parameters do not depend on the size of the model.
        if (reference.empty())
            reference = t;
        for (int i = 0; i < n; ++i)
            EXPECT_NEAR(t[i], reference[i], 1e-7 * length);
    }
}

TEST(PointParameters, ProjectionModeFallsBackToChordLengthWhenClosestPointsReverseOrder)
{
    // On the cubic over (0,0) (3,0) (1,0) (2,0) the point (1,0) is reached
    // (t ~ 0.15) before the curve turns near (3,0) (t ~ 0.5): closest points
    // would reorder the sequence, so chord lengths 3, 2, 1 are used.
    CFitPointArray a;
    for (double x : {0.0, 3.0, 1.0, 2.0})
        a.append(CFitPoint(Vector(x, 0.0, 0.0)));
    IndexSubset<CFitPoint> s = selectAll(a);
    parameterizePoints(s, 6.0, 4, 3);
    EXPECT_EQ(parametersOf(a), (std::vector<double>{0.0, 3.0, 5.0, 6.0}));

    // Two points (degree lowered to 1) run from 0 to the length.
    CFitPointArray two;
    two.append(a[0]);
    two.append(a[2]);
    IndexSubset<CFitPoint> s2 = selectAll(two);
    parameterizePoints(s2, 4.0, 4, 3);
    EXPECT_EQ(parametersOf(two), (std::vector<double>{0.0, 4.0}));
}
