// Planar start outlines: the hull of points counted once within 1e-6, the
// outline through every hull corner, and the smallest rectangle through all
// four of its corners.
#include "fitting/StartOutlines.h"

#include "fitting/FitFixtures.h"
#include "geometry/FitHelpers.h"
#include "geometry/Transformation.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Whether every point of `expected` is a control point of the outline, and
// the outline has no other.
bool outlineThrough(Fenwo::NurbsSurf* outline, const std::vector<Vector>& expected)
{
    if (outline == nullptr || outline->uKnots->endCondition != knots::CyclicEnd ||
        outline->uKnots->p != 1 || outline->getUCount() != int(expected.size()))
        return false;
    for (const Vector& e : expected) {
        bool found = false;
        for (int i = 0; i < outline->getUCount(); ++i)
            found = found || norm(mwtest::controlPoint(*outline, i) - e) < 1e-9;
        if (!found)
            return false;
    }
    return true;
}

TEST(StartOutlines, HullCountsNearPointsOnceAndPassesThroughEveryCorner)
{
    // A tilted square with inner points and copies of its corners nudged by
    // less than 1e-6 within the plane z = x.
    const std::vector<Vector> square = {Vector(0, 0, 0), Vector(2, 0, 2), Vector(2, 2, 2),
                                        Vector(0, 2, 0)};
    Kor::List<Vector> points;
    for (const Vector& p : square) {
        points.append(p);
        points.append(p + Vector(2e-7, 3e-7, 2e-7));
    }
    points.append(Vector(1, 1, 1));
    points.append(Vector(0.5, 1.5, 0.5));
    std::unique_ptr<Fenwo::NurbsSurf> hull(planarHullCurve(points, nullptr));
    EXPECT_TRUE(outlineThrough(hull.get(), square));

    // Two distinct places (each given twice), or three on a line: none.
    Kor::List<Vector> two, line;
    for (const Vector& p : {square[0], square[0], square[1], square[1]})
        two.append(p);
    for (int i = 0; i < 3; ++i)
        line.append(Vector(i, i, 0));
    EXPECT_EQ(nullptr, planarHullCurve(two, nullptr));
    EXPECT_EQ(nullptr, planarHullCurve(line, nullptr));

    // The hull of curves moved by a transformation, kept to four corners.
    mwtest::OwnedCurves sides;
    for (int i = 0; i < 4; ++i)
        sides.list.append(fitfix::straightCurve(square[i], square[(i + 1) % 4]).release());
    C3DTransformation shift;
    shift.translation = CVector<double, 3>(0.0, 0.0, 5.0);
    std::unique_ptr<Fenwo::NurbsSurf> moved(createStartSurface(sides.list, shift));
    std::vector<Vector> raised;
    for (const Vector& p : square)
        raised.push_back(p + Vector(0, 0, 5));
    EXPECT_TRUE(outlineThrough(moved.get(), raised));
}

TEST(StartOutlines, RectangleOutlinePassesThroughAllFourCorners)
{
    // Control points of curves in the plane z = 1, spanning a rectangle of
    // 4 x 1 turned by 30 degrees.
    const double a = std::numbers::pi / 6;
    const Vector u(std::cos(a), std::sin(a), 0.0), v(-std::sin(a), std::cos(a), 0.0);
    const Vector o(1.0, 2.0, 1.0);
    const std::vector<Vector> corners = {o, o + 4.0 * u, o + 4.0 * u + v, o + v};
    mwtest::OwnedCurves curves;
    curves.list.append(clampedCurve({corners[0], o + 2.0 * u + 0.5 * v, corners[1]}, 2).release());
    curves.list.append(clampedCurve({corners[2], corners[3]}, 1).release());
    const CAxis plane(Vector(0.0, 0.0, 1.0), Vector(0.0, 0.0, 1.0));
    std::unique_ptr<Fenwo::NurbsSurf> rectangle(createStartSurface(curves.list, plane));
    ASSERT_NE(nullptr, rectangle);
    for (int i = 0; i < rectangle->getUCount(); ++i)
        EXPECT_NEAR(mwtest::controlPoint(*rectangle, i)[2], 1.0, 1e-12);
    // The search turns in half degrees: the corners agree to its resolution.
    ASSERT_EQ(rectangle->getUCount(), 4);
    for (const Vector& c : corners) {
        double nearest = 1e9;
        for (int i = 0; i < 4; ++i)
            nearest = std::min(nearest, norm(mwtest::controlPoint(*rectangle, i) - c));
        EXPECT_LT(nearest, 1e-5) << c[0] << " " << c[1];
    }
    Kor::List<Fenwo::NurbsSurf*> none;
    EXPECT_EQ(nullptr, createStartSurface(none, plane));
}

} // namespace
