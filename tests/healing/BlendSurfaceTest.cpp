#include "healing/BlendSurface.h"

#include "curves/CurveOnSurface.h"
#include "platform/Diagnostics.h"
#include "support/AnalyticCurves.h"
#include "support/NurbsFixtures.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Straight boundary curves on the plane z = 0, whose (u, v) are (x, y).
struct Boundary {
    AnalyticPlane plane{Vector(0, 0, 0), Vector(1, 0, 0), Vector(0, 1, 0), Interval(-20, 20),
                        Interval(-20, 20)};
    std::vector<std::unique_ptr<Fenwo::NurbsSurf>> uv;
    std::vector<std::unique_ptr<CCONS>> curves;
    Kor::List<CCONS*> list;

    explicit Boundary(const std::vector<std::pair<Vector, Vector>>& sides)
    {
        for (const auto& [a, b] : sides) {
            uv.push_back(clampedCurve({a, b}, 1));
            curves.push_back(std::make_unique<CCONS>(uv.back().get(), &plane));
            list.append(curves.back().get());
        }
    }
};

struct BlendCase {
    const char* name;
    std::vector<std::pair<Vector, Vector>> sides;
    std::vector<int> kept; // the sides left as rails
    bool surface;
};

} // namespace

TEST(BlendSurface, ShortSidesAreDroppedAndTheOthersSpanned)
{
    const Vector p00(0, 0, 0), p02(0, 2, 0), p102(10, 2, 0), p100(10, 0, 0);
    const Vector p22(2, 2, 0), p20(2, 0, 0);
    // clang-format off
    const std::vector<BlendCase> cases = {
        {"closed four sides, short pair dropped",
         {{p00, p02}, {p02, p102}, {p102, p100}, {p100, p00}}, {1, 3}, true},
        {"open U, middle dropped", {{p02, p00}, {p00, p100}, {p100, p102}}, {0, 2}, true},
        {"closed three sides, shortest dropped",
         {{p00, p100}, {p100, Vector(4, 5, 0)}, {Vector(4, 5, 0), p00}}, {0, 1}, false},
        {"equal pairs", {{p00, p02}, {p02, p22}, {p22, p20}, {p20, p00}}, {0, 1, 2, 3}, false},
        {"five sides",
         {{p00, p02}, {p02, Vector(5, 3, 0)}, {Vector(5, 3, 0), p102}, {p102, p100}, {p100, p00}},
         {0, 1, 2, 3, 4}, false},
        // Two gaps, so that one stays inside the chain however it is ordered;
        // the pieces that connect within 0.5 become the rails.
        {"gap of 0.5 or more",
         {{p00, p02}, {p02, p102}, {Vector(10, 2.6, 0), Vector(10, 0.6, 0)}, {p100, p00}},
         {0, 1, 2, 3}, true},
        {"one curve", {{p00, p100}}, {0}, false},
    };
    // clang-format on
    for (const BlendCase& c : cases) {
        Boundary boundary(c.sides);
        std::unique_ptr<Fenwo::NurbsSurf> s(blendFromBoundaryCurves(boundary.list));
        ASSERT_EQ(boundary.list.count, static_cast<int>(c.kept.size())) << c.name;
        for (size_t k = 0; k < c.kept.size(); ++k)
            EXPECT_EQ(boundary.list[static_cast<int>(k)], boundary.curves[c.kept[k]].get())
                << c.name;
        ASSERT_EQ(s != nullptr, c.surface) << c.name;
        if (!s)
            continue;
        // Every section starts on one rail and ends on the other, on the surface.
        const auto sections = readCurves(Platform::diagnosticsPath("c:/tmp/ipolset.out"));
        ASSERT_GE(sections.size(), 4u) << c.name;
        for (const auto& section : sections)
            for (double t : {0.0, 1.0}) {
                const Vector p = pointAt(*section, t);
                double nearest = 1e300;
                for (CCONS* rail : boundary.list) {
                    const Vector a = rail->getStartPoint(), b = rail->getEndPoint();
                    nearest = std::min(nearest, norm(crossProduct(p - a, normalized(b - a))));
                }
                EXPECT_LT(nearest, 1e-9) << c.name;
                EXPECT_LT(distanceToSurface(*s, p), 1e-6) << c.name;
            }
    }
}
