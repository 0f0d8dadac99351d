#include "healing/CurveListOperations.h"

#include "support/AnalyticCurves.h"
#include "support/NurbsFixtures.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

struct ChainCase {
    const char* name;
    std::vector<std::pair<Vector, Vector>> candidates; // start and end of each line
    double tolerance;
    int index, orientation, endCode, gapCode;
    bool reversal;
};

} // namespace

TEST(CurveListOperations, FindNextChainCurveChoosesNearestEndWithItsCodes)
{
    // The chain runs from the origin to (1, 0, 0) (a short one for the tie).
    const Vector E(1, 0, 0), S(0, 0, 0);
    // clang-format off
    const std::vector<ChainCase> cases = {
        {"exact start beats end 0.0005 away",
         {{Vector(1, 1, 0), Vector(1.0005, 0, 0)}, {E, Vector(2, 0, 0)}}, 0.1, 1, 1, 0, 0, false},
        {"start beyond the end", {{Vector(1.01, 0, 0), Vector(2, 0, 0)}}, 0.1, 0, 1, 0, 1, false},
        {"start back inside", {{Vector(0.99, 0, 0), Vector(0.99, 1, 0)}}, 0.1, 0, 1, 0, 2, false},
        {"distance equal to the tolerance",
         {{Vector(1.25, 0, 0), Vector(2, 0, 0)}}, 0.25, -1, 1, -1, -1, false},
        {"end meeting the end, running back", {{Vector(0.5, 0, 0), E}}, 0.1, 0, -1, 1, 0, true},
        {"end meeting the end, reversed fits", {{Vector(2, 0, 0), E}}, 0.1, 0, -1, 1, 0, false},
        {"end before the start", {{Vector(-1, 0, 0), Vector(-0.01, 0, 0)}}, 0.1, 0, 1, 3, 1, false},
        {"start on the start", {{S, Vector(0, -1, 0)}}, 0.1, 0, -1, 2, 0, false},
        {"empty list", {}, 0.1, -1, 1, -1, -1, false},
    };
    // clang-format on
    AnalyticLine chain(S, E);
    for (const ChainCase& c : cases) {
        std::vector<std::unique_ptr<AnalyticLine>> lines;
        Kor::List<CParametricGeometry*> list;
        for (const auto& [a, b] : c.candidates) {
            lines.push_back(std::make_unique<AnalyticLine>(a, b));
            list.append(lines.back().get());
        }
        int orientation = 7, endCode = 7, gapCode = 7;
        bool reversal = true;
        EXPECT_EQ(findNextChainCurve(&chain, list, &orientation, c.tolerance, &endCode, &gapCode,
                                     &reversal),
                  c.index)
            << c.name;
        EXPECT_EQ(orientation, c.orientation) << c.name;
        EXPECT_EQ(endCode, c.endCode) << c.name;
        EXPECT_EQ(gapCode, c.gapCode) << c.name;
        EXPECT_EQ(reversal, c.reversal) << c.name;
    }

    // A point as far from the chain's end as from its start: the end wins.
    AnalyticLine shortChain(S, Vector(0.1, 0, 0));
    AnalyticLine middle(Vector(0.05, 0.04, 0), Vector(0.05, 1, 0));
    Kor::List<CParametricGeometry*> one;
    one.append(&middle);
    int endCode = -2;
    EXPECT_EQ(findNextChainCurve(&shortChain, one, nullptr, 0.1, &endCode, nullptr, nullptr), 0);
    EXPECT_EQ(endCode, 0);
}

TEST(CurveListOperations, SortByLengthPutsLongestFirstAndDropsNulls)
{
    OwnedCurves owned;
    for (double length : {1.0, 3.0, 2.0})
        owned.curves.push_back(clampedCurve({Vector(0, 0, 0), Vector(length, 0, 0)}, 1));
    Kor::List<Fenwo::NurbsSurf*> list;
    list.append(owned.curves[0].get());
    list.append(nullptr);
    list.append(owned.curves[1].get());
    list.append(owned.curves[2].get());
    EXPECT_TRUE(sortCurvesByLength(list));
    ASSERT_EQ(list.count, 3);
    EXPECT_EQ(list[0], owned.curves[1].get());
    EXPECT_EQ(list[1], owned.curves[2].get());
    EXPECT_EQ(list[2], owned.curves[0].get());

    Kor::List<Fenwo::NurbsSurf*> empty;
    EXPECT_TRUE(sortCurvesByLength(empty));
    EXPECT_EQ(empty.count, 0);
}
