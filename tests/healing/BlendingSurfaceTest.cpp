#include "healing/BlendingSurface.h"

#include "support/NurbsFixtures.h"
#include "support/TestMeshes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

struct LoopCase {
    const char* name;
    std::vector<Vector> corners; // the loop's corners; straight sides between them
    bool surface;
    bool swept;
};

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
        OwnedCurves owned;
        const int n = static_cast<int>(c.corners.size());
        for (int i = 0; i < n; ++i)
            owned.curves.push_back(clampedCurve({c.corners[i], c.corners[(i + 1) % n]}, 1));
        const OwnedCurves before = owned.copy();
        Kor::List<Fenwo::NurbsSurf*> list;
        for (const auto& curve : owned.curves)
            list.append(curve.get());
        std::unique_ptr<Fenwo::NurbsSurf> s;
        const std::string out =
            mwtest::capturedStdout([&] { s.reset(makeBlendingSurface(list, 0.01)); });
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
