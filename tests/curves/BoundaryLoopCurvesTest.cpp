#include "curves/BoundaryLoopCurves.h"

#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <vector>

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

struct Pieces {
    Kor::List<Fenwo::NurbsSurf*> list;
    explicit Pieces(Kor::List<Fenwo::NurbsSurf*>&& l) : list(std::move(l)) {}
    ~Pieces() { list.deleteAll(); }
};

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
    struct Case {
        std::unique_ptr<Fenwo::NurbsSurf> curve;
        double length;
    } cases[3] = {{polyline(closedSquare), 2.0}, {polyline(square, true), 2.0}, {nullptr, 0}};
    cases[2].curve = polyline(midSide);
    for (int c = 0; c < 3; ++c) {
        Pieces pieces(boundaryLoopToCurves(cases[c].curve.get(), 45.0));
        ASSERT_EQ(pieces.list.count, 4) << c;
        double total = 0.0;
        for (Fenwo::NurbsSurf* piece : pieces.list) {
            EXPECT_EQ(piece->uKnots->p, 1);
            EXPECT_EQ(piece->uKnots->endCondition, knots::ClampedEnd);
            Vector a, b;
            piece->getControlPointXYZ(a, 0, 0);
            piece->getControlPointXYZ(b, -1, 0);
            // Straight pieces between corners.
            EXPECT_NEAR(piece->computeLength(), std::sqrt(squaredDistance(a, b)), 1e-12) << c;
            total += piece->computeLength();
            if (c < 2) {
                EXPECT_NEAR(piece->computeLength(), cases[c].length, 1e-12);
            }
        }
        EXPECT_NEAR(total, c < 2 ? 8.0 : 10.0, 1e-12);
    }
}

TEST(BoundaryLoopCurves, OpenCurvesAndRefusedInput)
{
    auto open = polyline({{0, 0}, {1, 0}, {2, 0}, {2, 1}});
    Pieces two(boundaryLoopToCurves(open.get(), 60.0));
    ASSERT_EQ(two.list.count, 2);
    EXPECT_EQ(two.list[0]->getUCount(), 3);
    EXPECT_EQ(two.list[1]->getUCount(), 2);

    // The turn must exceed the angle.
    Pieces straight(boundaryLoopToCurves(open.get(), 90.0));
    for (Fenwo::NurbsSurf* piece : straight.list)
        EXPECT_NE(piece->uKnots->p, 1);

    const knots cubic(4, 3, 0.0, 1.0);
    Fenwo::NurbsSurf notLinear(cubic, nullptr);
    const knots linear(1, 1, 0.0, 1.0);
    Fenwo::NurbsSurf surface(linear, &linear);
    EXPECT_EQ(Pieces(boundaryLoopToCurves(nullptr, 45.0)).list.count, 0);
    EXPECT_EQ(Pieces(boundaryLoopToCurves(&notLinear, 45.0)).list.count, 0);
    EXPECT_EQ(Pieces(boundaryLoopToCurves(&surface, 45.0)).list.count, 0);
}
