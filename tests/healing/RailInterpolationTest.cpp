#include "healing/RailInterpolation.h"

#include "curves/CompositeCurve.h"
#include "curves/CurveOnSurface.h"
#include "platform/Diagnostics.h"
#include "support/AnalyticCurves.h"
#include "support/NurbsFixtures.h"
#include "support/TestMeshes.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// The sections of the last interpolation (each is written twice).
std::vector<std::unique_ptr<Fenwo::NurbsSurf>> lastSections()
{
    auto all = readCurves(Platform::diagnosticsPath("c:/tmp/ipolset.out"));
    std::vector<std::unique_ptr<Fenwo::NurbsSurf>> once;
    for (size_t k = 0; k < all.size(); k += 2)
        once.push_back(std::move(all[k]));
    return once;
}

// Each rail of a single member.
void railsOf(CCompositeCurve& railA, CParametricGeometry* a, CCompositeCurve& railB,
             CParametricGeometry* b)
{
    railA.curves.append(a);
    railB.curves.append(b);
    railA.orderCurves(0);
    railB.orderCurves(0);
}

} // namespace

TEST(RailInterpolation, FilletArmsFollowBothTangentPlanes)
{
    // Rail A lies on the plane z = 0, rail B on the plane y = 6, 10 apart and
    // drawn the other way: the sections join points at equal x, and their
    // arms leave each rail inside its plane, 4 units long.
    AnalyticPlane floor(Vector(0, -5, 0), Vector(1, 0, 0), Vector(0, 1, 0), Interval(0, 10),
                        Interval(0, 10));
    AnalyticPlane wall(Vector(0, 6, 0), Vector(1, 0, 0), Vector(0, 0, 1), Interval(0, 10),
                       Interval(0, 10));
    auto uvA = clampedCurve({Vector(0, 5, 0), Vector(10, 5, 0)}, 1);
    auto uvB = clampedCurve({Vector(10, 8, 0), Vector(0, 8, 0)}, 1);
    CCONS onFloor(uvA.get(), &floor), onWall(uvB.get(), &wall);
    CCompositeCurve railA, railB;
    railsOf(railA, &onFloor, railB, &onWall);
    std::unique_ptr<Fenwo::NurbsSurf> s(interpolateBetweenRails(&railA, &railB, 0.001, 0.4, 0.4));
    ASSERT_TRUE(s);
    const auto sections = lastSections();
    ASSERT_GE(sections.size(), 2u);
    for (const auto& c : sections) {
        const double x = mwtest::controlPoint(*c, 0)[0];
        EXPECT_LT(norm(mwtest::controlPoint(*c, 0) - Vector(x, 0, 0)), 1e-9);
        EXPECT_LT(norm(mwtest::controlPoint(*c, 1) - Vector(x, 4, 0)), 1e-9);
        EXPECT_LT(norm(mwtest::controlPoint(*c, 2) - Vector(x, 6, 4)), 1e-9);
        EXPECT_LT(norm(mwtest::controlPoint(*c, 3) - Vector(x, 6, 8)), 1e-9);
        for (double t : {0.0, 0.5, 1.0})
            EXPECT_LT(distanceToSurface(*s, pointAt(*c, t)), 1e-6);
    }
}

TEST(RailInterpolation, ClosedRailsOfOppositeSenseGiveACyclicSurface)
{
    auto bottom = rationalArc(Vector(0, 0, 0), Vector(1, 0, 0), Vector(0, 1, 0), 1.0, 4);
    auto top = rationalArc(Vector(0, 0, 1), Vector(0, 1, 0), Vector(1, 0, 0), 1.0, 4);
    CCompositeCurve railA, railB;
    railsOf(railA, bottom.get(), railB, top.get());
    std::unique_ptr<Fenwo::NurbsSurf> s;
    const std::string out = mwtest::capturedStdout(
        [&] { s.reset(interpolateBetweenRails(&railA, &railB, 0.001, 0.4, 0.4)); });
    ASSERT_TRUE(s) << out;
    EXPECT_TRUE(railA.isUReversed());
    EXPECT_EQ(s->vKnots->endCondition, knots::CyclicEnd);
    for (const auto& c : lastSections())
        for (double t : {0.0, 1.0}) {
            const Vector p = pointAt(*c, t);
            EXPECT_NEAR(std::hypot(p[0], p[1]), 1.0, 1e-9);
            EXPECT_LT(distanceToSurface(*s, p), 1e-6);
        }
    for (int i = 0; i <= 20; ++i)
        for (int j = 0; j <= 40; ++j) {
            const Vector p = pointAt(*s, s->getUMin() + (s->getUMax() - s->getUMin()) * i / 20,
                                     s->getVMin() + (s->getVMax() - s->getVMin()) * j / 40);
            EXPECT_NEAR(std::hypot(p[0], p[1]), 1.0, 1e-3) << i << " " << j;
        }
}

TEST(RailInterpolation, SectionsThroughOnePointGiveNullAfterTheLastResort)
{
    // Rail B is rail A mirrored through the origin; equal sums of end
    // distances count as running the same way, so every section runs
    // through the origin and no curve can pass through their middles.
    auto a = clampedCurve({Vector(1, 0, 0), Vector(3, 0, 0)}, 1);
    auto b = clampedCurve({Vector(-1, 0, 0), Vector(-3, 0, 0)}, 1);
    CCompositeCurve railA, railB;
    railsOf(railA, a.get(), railB, b.get());
    Fenwo::NurbsSurf* s = nullptr;
    const std::string out = mwtest::capturedStdout(
        [&] { s = interpolateBetweenRails(&railA, &railB, 0.001, 0.4, 0.4); });
    EXPECT_EQ(s, nullptr);
    EXPECT_NE(out.find("resorting to linear curves.. \n"), std::string::npos) << out;
    for (const auto& c : lastSections())
        EXPECT_LT(norm(pointAt(*c, 0.5)), 1e-12);
}
