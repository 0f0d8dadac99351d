// The circle layout of a boundary: junctions on the circle, a junction of
// exactly 4 degrees, and the boundaries that give no layout.
#include "fitting/CircleLayout.h"
#include "geometry/NurbsSurf.h"

#include "support/AnalyticCurves.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <string>
#include <utility>

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

constexpr double pi = std::numbers::pi;

// The sides of the polygon of the corners (closed or not), straight lines.
CurveVector polygonSides(const std::vector<Vector>& c, bool closed = true)
{
    CurveVector sides;
    for (std::size_t k = 0; k + (closed ? 0 : 1) < c.size(); ++k)
        sides.emplace_back(new AnalyticLine(c[k], c[(k + 1) % c.size()]));
    return sides;
}

// One closed degree-1 curve whose junction at the origin turns by `angle`:
// it leaves along (cos angle, sin angle, 0) and comes back along (1, 0, 0).
CurveVector closedPolygonCurve(double angle)
{
    auto c = std::make_unique<Fenwo::NurbsSurf>(knots(4, 1, 0.0, 1.0));
    const Vector P[5] = {Vector(0.0, 0.0, 0.0), Vector(std::cos(angle), std::sin(angle), 0.0),
                         Vector(0.0, 1.0, 0.0), Vector(-1.0, 0.0, 0.0), Vector(0.0, 0.0, 0.0)};
    for (int i = 0; i < 5; ++i)
        c->setControlPoint(i, 0, P[i]);
    CurveVector curves;
    curves.emplace_back(c.release());
    return curves;
}

// Whether the layout asked for a substitute tangent (its first junction is
// smooth), and whether it made a surface.
std::pair<bool, bool> layOut(const CurveVector& curves)
{
    CaptureStdout();
    std::unique_ptr<Fenwo::NurbsSurf> s{circleLayoutFit(listOf(curves), true)};
    return {GetCapturedStdout().find("using substitute tangent=\n") != std::string::npos,
            s != nullptr};
}

} // namespace

TEST(CircleLayout, EqualSidesSitAtQuarterTurns)
{
    const CurveVector sides = polygonSides({Vector(0.0, 0.0, 1.0), Vector(4.0, 0.0, 1.0),
                                            Vector(4.0, 4.0, 1.0), Vector(0.0, 4.0, 1.0)});
    CCircleLayout layout(listOf(sides), true);
    const double R = 16.0 / (2.0 * pi);
    ASSERT_EQ(layout.junctions.count, 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(layout.junctions[i].uv[0], R * std::cos(i * pi / 2.0), 1e-9) << i;
        EXPECT_NEAR(layout.junctions[i].uv[1], R * std::sin(i * pi / 2.0), 1e-9) << i;
        EXPECT_NEAR(layout.squaredLengths[i], 16.0, 1e-9);
    }
    std::unique_ptr<Fenwo::NurbsSurf> s{layout.takeResult()};
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(s->isSurface());
}

TEST(CircleLayout, SmoothJunctionsAndOpenChainsGiveNoLayout)
{
    const double limit = 4.0 * pi / 180.0;
    ASSERT_EQ(limit, 0.06981317007977318);
    EXPECT_EQ(layOut(closedPolygonCurve(limit)), std::make_pair(true, false));
    EXPECT_FALSE(layOut(closedPolygonCurve(4.5 * pi / 180.0)).first);

    // A full circle, whole or in four smooth pieces: no ribbon direction.
    CurveVector circle, quarters;
    circle.emplace_back(new AnalyticCircle(Vector(0.0, 0.0, 0.0), 3.0, 0.0, 2.0 * pi));
    for (int k = 0; k < 4; ++k)
        quarters.emplace_back(
            new AnalyticCircle(Vector(0.0, 0.0, 0.0), 3.0, k * pi / 2.0, (k + 1) * pi / 2.0));
    EXPECT_EQ(layOut(circle), std::make_pair(true, false));
    EXPECT_EQ(layOut(quarters), std::make_pair(true, false));
    EXPECT_EQ(layOut(polygonSides({Vector(0.0, 0.0, 0.0), Vector(4.0, 0.0, 0.0),
                                   Vector(4.0, 4.0, 0.0), Vector(0.0, 4.0, 0.0)},
                                  false)),
              std::make_pair(false, false));
    EXPECT_EQ(layOut(CurveVector()), std::make_pair(false, false));
}
