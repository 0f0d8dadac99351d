#include "healing/InternalG1.h"

#include "support/NurbsFixtures.h"
#include "support/TestMeshes.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

std::unique_ptr<Fenwo::NurbsSurf> curveOnKnots(const std::vector<double>& k, int p,
                                               const std::vector<Vector>& points)
{
    Vector values(k.data(), static_cast<int>(k.size()));
    auto c =
        std::make_unique<Fenwo::NurbsSurf>(knots(values, static_cast<int>(points.size()) - 1, p));
    for (int i = 0; i < static_cast<int>(points.size()); ++i)
        c->setControlPoint(i, 0, points[i]);
    return c;
}

double distanceToLine(const Vector& x, const Vector& a, const Vector& b)
{
    return norm(crossProduct(x - a, normalized(b - a)));
}

} // namespace

TEST(InternalG1, CubicJointBecomesCollinearWithALinearFade)
{
    // Knot 1 of multiplicity 3 joins the pieces at control point 4; point 3
    // sits off the line 4 - 5 and its move fades over points 2 and 1.
    const std::vector<Vector> P = {Vector(0, 0, 0), Vector(1, 0.5, 0), Vector(2, 1, 0),
                                   Vector(3, 2, 0), Vector(4, 1, 0),   Vector(5, 1.5, 0.5),
                                   Vector(6, 1, 0), Vector(7, 0, 0)};
    auto c = curveOnKnots({0, 0, 0, 0, 0.5, 1, 1, 1, 2, 2, 2, 2}, 3, P);
    const double w = 0.7; // a weight that must survive
    Vector weighted(4, 1, 0);
    c->setControlPoint(4, 0, weighted, w);
    EXPECT_TRUE(AdjustInternalG1(c.get()));

    const Vector moved = mwtest::controlPoint(*c, 3);
    EXPECT_LT(distanceToLine(moved, P[4], P[5]), 1e-12);
    for (int i : {0, 1, 4, 5, 6, 7})
        EXPECT_LT(norm(mwtest::controlPoint(*c, i) - P[i]), 1e-12) << i;
    const Vector delta = moved - P[3];
    EXPECT_GT(norm(delta), 0.1);
    EXPECT_LT(norm(mwtest::controlPoint(*c, 2) - (P[2] + 0.5 * delta)), 1e-12);
    EXPECT_DOUBLE_EQ(c->getWrappedControlPoint(4, 0)[3], w);
}

TEST(InternalG1, QuadraticJointMovesToItsFootAndSmoothCurvesStay)
{
    const std::vector<Vector> P = {Vector(0, 0, 0), Vector(1, 1, 0), Vector(2, 2, 1),
                                   Vector(3, 1, 0), Vector(4, 0, 0)};
    auto c = curveOnKnots({0, 0, 0, 1, 1, 2, 2, 2}, 2, P);
    AdjustInternalG1(c.get());
    const Vector foot = P[1] + dot(P[2] - P[1], normalized(P[3] - P[1])) * normalized(P[3] - P[1]);
    EXPECT_LT(norm(mwtest::controlPoint(*c, 2) - foot), 1e-12);
    for (int i : {0, 1, 3, 4})
        EXPECT_LT(norm(mwtest::controlPoint(*c, i) - P[i]), 1e-14) << i;

    // One piece: nothing moves.
    auto smooth = clampedCurve(P, 3);
    AdjustInternalG1(smooth.get());
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(norm(mwtest::controlPoint(*smooth, i) - P[i]), 0.0) << i;
}
