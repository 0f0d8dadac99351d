#include "healing/BlendingSurface.h"

#include "support/NurbsFixtures.h"
#include "support/TestMeshes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

struct LoopCase {
    const char* name;
    std::vector<Vector> corners; // the loop's corners; straight sides between them
    bool surface;
    bool swept;

    // The loop's straight sides, each a curve of degree 1.
    OwnedCurves sides() const
    {
        OwnedCurves owned;
        const int n = static_cast<int>(corners.size());
        for (int i = 0; i < n; ++i)
            owned.curves.push_back(clampedCurve({corners[i], corners[(i + 1) % n]}, 1));
        return owned;
    }
};

// The blending surface over the curves (tolerance 0.01); printed receives
// what it wrote.
std::unique_ptr<Fenwo::NurbsSurf> blend(const OwnedCurves& owned, std::string& printed)
{
    Kor::List<Fenwo::NurbsSurf*> list;
    for (const auto& curve : owned.curves)
        list.append(curve.get());
    std::unique_ptr<Fenwo::NurbsSurf> s;
    printed = mwtest::capturedStdout([&] { s.reset(makeBlendingSurface(list, 0.01)); });
    return s;
}

} // namespace

TEST(BlendingSurface, SweepFallBackOrNothingByShapeAndCallersCurvesKept)
{
    const double a20 = 20.0 * std::numbers::pi / 180.0;
    const Vector o(0, 0, 0), x10(10, 0, 0), x20(20, 0, 0);
    // clang-format off
    const std::vector<LoopCase> cases = {
        {"longest sides adjacent", {o, x10, Vector(9.8, 9.9, 0), Vector(0.2, 9.3, 0)}, false, false},
        {"long and thin", {o, x20, Vector(20, 0.5, 0), Vector(0, 0.5, 0)}, true, true},
        {"short sides of a fifth", {o, x20, Vector(20, 4, 1), Vector(0, 4, 0)}, true, true},
        {"short sides of 70 percent", {o, x10, Vector(10, 7, 0), Vector(0, 7, 0)}, true, false},
        {"short sides of 60 percent or more, unlike",
         {o, x10, Vector(10, 8, 0), Vector(0, 5, 0)}, false, false},
        {"a corner of 20 degrees",
         {o, x20, Vector(20 + 3 * std::cos(a20), 3 * std::sin(a20), 0), Vector(0, 3, 0)}, true, false},
        {"three sides", {o, x10, Vector(5, 5, 0)}, false, false},
        {"five sides", {o, x10, Vector(10, 5, 0), Vector(5, 8, 0), Vector(0, 5, 0)}, false, false},
    };
    // clang-format on
    for (const LoopCase& c : cases) {
        const OwnedCurves owned = c.sides();
        const OwnedCurves before = owned.copy();
        std::string out;
        const std::unique_ptr<Fenwo::NurbsSurf> s = blend(owned, out);
        const int n = static_cast<int>(c.corners.size());
        EXPECT_EQ(s != nullptr, c.surface) << c.name << "\n" << out;
        EXPECT_EQ(out.find("ok we have a blending surface!") != std::string::npos, c.swept)
            << c.name << "\n"
            << out;
        for (int i = 0; i < n; ++i) {
            ASSERT_EQ(owned.curves[i]->getUCount(), before.curves[i]->getUCount()) << c.name;
            for (int k = 0; k < owned.curves[i]->getUCount(); ++k)
                EXPECT_EQ(norm(mwtest::controlPoint(*owned.curves[i], k) -
                               mwtest::controlPoint(*before.curves[i], k)),
                          0.0)
                    << c.name;
        }
    }
}

// The start surface of a face must hold the face's boundary: the sides are
// moved outward along the surface, which then reaches beyond the boundary,
// not along its normals, which lifted the boundary off it by the distance
// (0.2 here). A saddle takes the fall-back, a long thin skew loop the sweep.
TEST(BlendingSurface, StartSurfaceRunsOnBeyondItsBoundaryInsteadOfLiftingOffIt)
{
    const std::vector<LoopCase> cases = {
        {"saddle",
         {Vector(0, 0, 0), Vector(1.2, 0, 0.3), Vector(1.2, 1, 0), Vector(0, 1, 0.3)},
         true,
         false},
        {"long and thin, skew",
         {Vector(0, 0, 0), Vector(4, 0, 0), Vector(4, 0.5, 0.3), Vector(0, 0.5, 0)},
         true,
         true},
    };
    for (const LoopCase& c : cases) {
        std::string out;
        const std::unique_ptr<Fenwo::NurbsSurf> s = blend(c.sides(), out);
        ASSERT_NE(s, nullptr) << c.name;
        EXPECT_EQ(out.find("ok we have a blending surface!") != std::string::npos, c.swept)
            << c.name;
        for (int i = 0; i < 4; ++i)
            for (int k = 0; k <= 10; ++k) {
                const Vector p =
                    c.corners[i] * (1.0 - 0.1 * k) + c.corners[(i + 1) % 4] * (0.1 * k);
                EXPECT_LT(distanceToSurface(*s, p), 0.01) << c.name << ' ' << i << ' ' << k;
            }
        // Each corner of the domain lies outside the loop's plan, by more
        // than half the distance the sides moved (0.1 and more).
        const double xMax = c.corners[2][0], yMax = c.corners[2][1];
        for (const double u : {s->getUMin(), s->getUMax()})
            for (const double v : {s->getVMin(), s->getVMax()}) {
                const Vector p = pointAt(*s, u, v);
                EXPECT_GT(std::max({-p[0], p[0] - xMax, -p[1], p[1] - yMax}), 0.05) << c.name;
            }
    }
}
