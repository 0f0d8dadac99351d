#include "foundation/Rotation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

TEST(Rotation, QuarterTurnAboutUnnormalisedZ)
{
    const CRotation r(Vector(0.0, 0.0, 2.0), std::numbers::pi / 2.0);
    const double expected[3][3] = {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            EXPECT_NEAR(r.at(i, j), expected[i][j], 1e-15) << i << "," << j;
    EXPECT_NEAR(r.axis[2], 1.0, 1e-15);
    const Vector y = r * Vector(1.0, 0.0, 0.0);
    EXPECT_NEAR(y[0], 0.0, 1e-15);
    EXPECT_NEAR(y[1], 1.0, 1e-15);
    EXPECT_NEAR(y[2], 0.0, 1e-15);
}

TEST(Rotation, IsOrthonormalKeepsAxisAndTurnsByAngle)
{
    const Vector axis(1.0, -2.0, 0.5);
    const double angle = 0.7;
    CRotation r(axis, angle);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double s = 0.0;
            for (int k = 0; k < 3; ++k)
                s += r.at(k, i) * r.at(k, j);
            EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-14);
        }
    const Vector fixed = r * axis;
    for (int d = 0; d < 3; ++d)
        EXPECT_NEAR(fixed[d], axis[d], 1e-14);
    // A vector perpendicular to the axis turns by exactly the angle.
    const Vector u(2.0, 1.0, 0.0);
    EXPECT_NEAR(std::acos(cosineBetween(u, r * u)), angle, 1e-12);

    // set() rebuilds the same object; turning back gives the identity.
    r.set(axis, -angle);
    const Vector back = r * fixed;
    EXPECT_NEAR(back[0], axis[0], 1e-14);
    EXPECT_DOUBLE_EQ(r.cosAngle, std::cos(angle));
    EXPECT_DOUBLE_EQ(r.sinAngle, -std::sin(angle));
}

TEST(Rotation, FromOneDirectionToAnother)
{
    const Vector pairs[][2] = {{Vector(1, 0, 0), Vector(0, 2, 0)},
                               {Vector(1, 2, 3), Vector(-0.5, 0.1, 4)},
                               {Vector(0, 0, 3), Vector(0, 0, 1)},
                               {Vector(1, 1, 0), Vector(-2, -2, 0)}, // antiparallel
                               {Vector(1, 1e-13, 0), Vector(-1, 0, 0)}};
    for (const auto& [from, to] : pairs) {
        const CRotation r(from, to);
        const Vector turned = r * normalized(from);
        const Vector target = normalized(to);
        for (int d = 0; d < 3; ++d)
            EXPECT_NEAR(turned[d], target[d], 1e-12);
        // A proper rotation: determinant +1.
        const double det = r.at(0, 0) * (r.at(1, 1) * r.at(2, 2) - r.at(1, 2) * r.at(2, 1)) -
                           r.at(0, 1) * (r.at(1, 0) * r.at(2, 2) - r.at(1, 2) * r.at(2, 0)) +
                           r.at(0, 2) * (r.at(1, 0) * r.at(2, 1) - r.at(1, 1) * r.at(2, 0));
        EXPECT_NEAR(det, 1.0, 1e-14);
    }
    const CRotation none(Vector(3), Vector(1, 0, 0));
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            EXPECT_EQ(none.at(i, j), i == j ? 1.0 : 0.0);
}
