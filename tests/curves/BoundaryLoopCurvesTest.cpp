#include "curves/BoundaryLoopCurves.h"

#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "support/TestMeshes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <vector>

using Curves = mwtest::OwnedCurves;

namespace {

// A degree-1 curve through the points (x, y), on clamped or cyclic knots.
std::unique_ptr<Fenwo::NurbsSurf> polyline(const std::vector<std::array<double, 2>>& points,
                                           bool cyclic = false)
{
    const int n = int(points.size());
    const knots u(n - 1, 1, 0.0, 1.0, cyclic ? knots::CyclicEnd : knots::ClampedEnd,
                  knots::Uniform);
    auto curve = std::make_unique<Fenwo::NurbsSurf>(u, nullptr);
    for (int i = 0; i < n; ++i)
        curve->setControlPoint(i, 0, Vector(points[i][0], points[i][1], 0.0), 1.0);
    return curve;
}

} // namespace

TEST(BoundaryLoopCurves, ClosedLoopsSplitAtTheirCornersOnly)
{
    // The square as a clamped loop repeating its start, as a cyclic curve,
    // and a rectangle whose loop starts in the middle of a side.
    const std::vector<std::array<double, 2>> square = {{0, 0}, {1, 0}, {2, 0}, {2, 1},
                                                       {2, 2}, {1, 2}, {0, 2}, {0, 1}};
    std::vector<std::array<double, 2>> closedSquare = square;
    closedSquare.push_back(square.front());
    const std::vector<std::array<double, 2>> midSide = {{2, 0}, {4, 0}, {4, 1}, {0, 1},
                                                        {0, 0}, {1, 0}, {2, 0}};
    std::unique_ptr<Fenwo::NurbsSurf> loops[3] = {polyline(closedSquare), polyline(square, true),
                                                  polyline(midSide)};
    for (int c = 0; c < 3; ++c) {
        Curves pieces(boundaryLoopToCurves(loops[c].get(), 45.0));
        ASSERT_EQ(pieces.list.count, 4) << c;
        double total = 0.0;
        for (Fenwo::NurbsSurf* piece : pieces.list) {
            EXPECT_EQ(piece->uKnots->p, 1);
            EXPECT_EQ(piece->uKnots->endCondition, knots::ClampedEnd);
            // Straight pieces between corners.
            const double length = piece->computeLength();
            EXPECT_NEAR(length,
                        norm(mwtest::controlPoint(*piece, 0) - mwtest::controlPoint(*piece, -1)),
                        1e-12);
            EXPECT_TRUE(c == 2 || std::fabs(length - 2.0) < 1e-12) << c;
            total += length;
        }
        EXPECT_NEAR(total, c < 2 ? 8.0 : 10.0, 1e-12);
    }
}

TEST(BoundaryLoopCurves, OpenCurvesAndRefusedInput)
{
    auto open = polyline({{0, 0}, {1, 0}, {2, 0}, {2, 1}});
    Curves two(boundaryLoopToCurves(open.get(), 60.0));
    ASSERT_EQ(two.list.count, 2);
    EXPECT_EQ(two.list[0]->getUCount(), 3);
    EXPECT_EQ(two.list[1]->getUCount(), 2);

    // The turn must exceed the angle: without corners the loop comes back
    // as one cubic through its points, closed for a closed loop.
    const std::vector<std::array<double, 2>> square = {{0, 0}, {2, 0}, {2, 2}, {0, 2}, {0, 0}};
    auto closed = polyline(square);
    for (Fenwo::NurbsSurf* loop : {open.get(), closed.get()}) {
        Curves smooth(boundaryLoopToCurves(loop, 90.0));
        ASSERT_EQ(smooth.count(), 1);
        EXPECT_EQ(smooth[0].uKnots->p, 3);
        EXPECT_EQ(smooth[0].uKnots->endCondition == knots::CyclicEnd, loop == closed.get());
        const Interval domain = smooth[0].getDomain(0);
        for (int i = 0; i < loop->getUCount(); ++i) {
            double nearest = 1e300;
            for (int k = 0; k <= 4000; ++k)
                nearest = std::min(
                    nearest, norm(smooth[0].getPoint(
                                      domain.min + k * (domain.max - domain.min) / 4000, 0.0) -
                                  mwtest::controlPoint(*loop, i)));
            EXPECT_LT(nearest, 0.01);
        }
    }

    const knots cubic(4, 3, 0.0, 1.0);
    Fenwo::NurbsSurf notLinear(cubic, nullptr);
    const knots linear(1, 1, 0.0, 1.0);
    Fenwo::NurbsSurf surface(linear, &linear);
    EXPECT_EQ(Curves(boundaryLoopToCurves(nullptr, 45.0)).list.count, 0);
    EXPECT_EQ(Curves(boundaryLoopToCurves(&notLinear, 45.0)).list.count, 0);
    EXPECT_EQ(Curves(boundaryLoopToCurves(&surface, 45.0)).list.count, 0);
}
