// The circle layout of a boundary: junctions on the circle, the corner test
// at its limit, and the boundaries that give no layout.
#include "fitting/CircleLayout.h"
#include "geometry/NurbsSurf.h"

#include "support/AnalyticCurves.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

using CurvePtr = std::unique_ptr<CParametricGeometry>;

Kor::List<CParametricGeometry*> listOf(const std::vector<CurvePtr>& curves)
{
    Kor::List<CParametricGeometry*> list;
    for (const CurvePtr& c : curves)
        list.append(c.get());
    return list;
}

// The sides of the closed polygon, each an AnalyticLine.
std::vector<CurvePtr> polygonSides(const std::vector<Vector>& corners, bool closed = true)
{
    std::vector<CurvePtr> sides;
    const int n = static_cast<int>(corners.size());
    for (int k = 0; k + (closed ? 0 : 1) < n; ++k)
        sides.emplace_back(new AnalyticLine(corners[k], corners[(k + 1) % n]));
    return sides;
}

// One closed degree-1 curve whose closing junction at the origin turns by
// `angle`: it leaves along (cos angle, sin angle, 0) and comes back along
// (1, 0, 0). Uniform knots of spans 1/4 keep the end derivatives exact.
std::vector<CurvePtr> closedPolygonCurve(double angle)
{
    auto c = std::make_unique<Fenwo::NurbsSurf>(knots(4, 1, 0.0, 1.0));
    const Vector P[5] = {Vector(0.0, 0.0, 0.0), Vector(std::cos(angle), std::sin(angle), 0.0),
                         Vector(0.0, 1.0, 0.0), Vector(-1.0, 0.0, 0.0), Vector(0.0, 0.0, 0.0)};
    for (int i = 0; i < 5; ++i)
        c->setControlPoint(i, 0, P[i]);
    std::vector<CurvePtr> curves;
    curves.emplace_back(c.release());
    return curves;
}

// Whether the layout of the curves asked for a substitute tangent (its first
// junction is smooth), and whether it made a surface.
std::pair<bool, bool> layOut(const std::vector<CurvePtr>& curves)
{
    CaptureStdout();
    std::unique_ptr<Fenwo::NurbsSurf> s{circleLayoutFit(listOf(curves), true)};
    const bool substitute =
        GetCapturedStdout().find("using substitute tangent=\n") != std::string::npos;
    return {substitute, s != nullptr};
}

} // namespace

TEST(CircleLayout, EqualSidesSitAtQuarterTurns)
{
    const std::vector<CurvePtr> sides =
        polygonSides({Vector(0.0, 0.0, 1.0), Vector(4.0, 0.0, 1.0), Vector(4.0, 4.0, 1.0),
                      Vector(0.0, 4.0, 1.0)});
    CCircleLayout layout(listOf(sides), true);
    const double R = 16.0 / (2.0 * std::numbers::pi);
    ASSERT_EQ(layout.junctions.count, 4);
    for (int i = 0; i < 4; ++i) {
        const double phi = i * std::numbers::pi / 2.0;
        EXPECT_NEAR(layout.junctions[i].uv[0], R * std::cos(phi), 1e-9) << i;
        EXPECT_NEAR(layout.junctions[i].uv[1], R * std::sin(phi), 1e-9) << i;
        EXPECT_NEAR(layout.squaredLengths[i], 16.0, 1e-9);
    }
    std::unique_ptr<Fenwo::NurbsSurf> s{layout.takeResult()};
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(s->isSurface());
}

TEST(CircleLayout, CornerLimitAndBoundariesWithoutLayout)
{
    const double limit = 4.0 * std::numbers::pi / 180.0;
    ASSERT_EQ(limit, 0.06981317007977318);
    EXPECT_EQ(layOut(closedPolygonCurve(limit)), std::make_pair(true, false));
    EXPECT_FALSE(layOut(closedPolygonCurve(4.5 * std::numbers::pi / 180.0)).first);

    // A full circle, whole or in four smooth pieces: no ribbon direction.
    std::vector<CurvePtr> circle, quarters;
    circle.emplace_back(
        new AnalyticCircle(Vector(0.0, 0.0, 0.0), 3.0, 0.0, 2.0 * std::numbers::pi));
    for (int k = 0; k < 4; ++k)
        quarters.emplace_back(new AnalyticCircle(Vector(0.0, 0.0, 0.0), 3.0,
                                                 k * std::numbers::pi / 2.0,
                                                 (k + 1) * std::numbers::pi / 2.0));
    EXPECT_EQ(layOut(circle), std::make_pair(true, false));
    EXPECT_EQ(layOut(quarters), std::make_pair(true, false));

    // An open chain.
    EXPECT_EQ(layOut(polygonSides({Vector(0.0, 0.0, 0.0), Vector(4.0, 0.0, 0.0),
                                   Vector(4.0, 4.0, 0.0), Vector(0.0, 4.0, 0.0)},
                                  false)),
              std::make_pair(false, false));
    EXPECT_EQ(circleLayoutFit(Kor::List<CParametricGeometry*>(), true), nullptr);
}
