#include "curves/CurveChain.h"

#include "support/AnalyticCurves.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

namespace {

constexpr double pi = std::numbers::pi;

// The unit circle cut into `count` arcs, arc k over [2 pi k / count, 2 pi (k + 1) / count].
std::vector<std::unique_ptr<AnalyticCircle>> circleArcs(int count, double scale = 1.0)
{
    std::vector<std::unique_ptr<AnalyticCircle>> arcs;
    for (int k = 0; k < count; ++k)
        arcs.push_back(std::make_unique<AnalyticCircle>(
            Vector(0.0, 0.0, 0.0), scale, 2.0 * pi * k / count, 2.0 * pi * (k + 1) / count));
    return arcs;
}

// The point where piece i of the chain is left (its end, or its start when reversed).
Vector exitPoint(CParametricGeometry* c, bool reversed)
{
    return reversed ? c->getStartPoint() : c->getEndPoint();
}
Vector entryPoint(CParametricGeometry* c, bool reversed)
{
    return reversed ? c->getEndPoint() : c->getStartPoint();
}

void expectJointsClose(const Kor::List<CParametricGeometry*>& chain,
                       const Kor::List<bool>& reversed, double tol)
{
    ASSERT_EQ(chain.getCount(), reversed.getCount());
    for (int i = 1; i < chain.getCount(); ++i) {
        const double gap = std::sqrt(squaredDistance(exitPoint(chain[i - 1], reversed[i - 1]),
                                                     entryPoint(chain[i], reversed[i])));
        EXPECT_LT(gap, tol) << i;
    }
}

} // namespace

TEST(CurveChain, ShuffledPiecesAreOrderedAlongTheChain)
{
    for (double scale : {1.0, 1e-8, 1e8}) {
        auto arcs = circleArcs(6, scale);
        Kor::List<CParametricGeometry*> chain;
        for (int k : {0, 3, 5, 1, 4, 2})
            chain.append(arcs[k].get());
        Kor::List<bool> reversed;
        reversed.append(true); // emptied first
        EXPECT_TRUE(chainCurvesByEndGaps(chain, reversed));
        ASSERT_EQ(chain.getCount(), 6);
        for (int k = 0; k < 6; ++k) {
            EXPECT_EQ(chain[k], arcs[k].get()) << k;
            EXPECT_FALSE(reversed[k]) << k;
        }
        expectJointsClose(chain, reversed, 1e-12 * scale);
    }
}

TEST(CurveChain, PiecesRunningBackwardsAreFlagged)
{
    auto arcs = circleArcs(5);
    arcs[2]->reverseU();
    arcs[4]->reverseU();
    Kor::List<CParametricGeometry*> chain;
    for (int k : {0, 4, 2, 3, 1})
        chain.append(arcs[k].get());
    Kor::List<bool> reversed;
    EXPECT_TRUE(chainCurvesByEndGaps(chain, reversed));
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(chain[k], arcs[k].get()) << k;
        EXPECT_EQ(reversed[k], k == 2 || k == 4) << k;
    }
    expectJointsClose(chain, reversed, 1e-12);
}

TEST(CurveChain, ChainStartedInsideGrowsAtBothEnds)
{
    // Open chain of four segments listed from an inner piece: pieces that meet
    // the chain's front are put in front.
    AnalyticLine a(Vector(0, 0, 0), Vector(1, 0, 0));
    AnalyticLine b(Vector(1, 0, 0), Vector(1, 1, 0));
    AnalyticLine c(Vector(1, 1, 0), Vector(2, 1, 0));
    AnalyticLine d(Vector(2, 1, 0), Vector(2, 3, 0));
    Kor::List<CParametricGeometry*> chain;
    chain.append(&c);
    chain.append(&a);
    chain.append(&d);
    chain.append(&b);
    Kor::List<bool> reversed;
    EXPECT_TRUE(chainCurvesByEndGaps(chain, reversed));
    ASSERT_EQ(chain.getCount(), 4);
    EXPECT_EQ(chain[0], &a);
    EXPECT_EQ(chain[1], &b);
    EXPECT_EQ(chain[2], &c);
    EXPECT_EQ(chain[3], &d);
    for (int k = 0; k < 4; ++k)
        EXPECT_FALSE(reversed[k]) << k;
    expectJointsClose(chain, reversed, 1e-15);
}

TEST(CurveChain, GapsBeyondTheJoinShareAreReported)
{
    // A joint gap of 0.004 of the pieces' length closes; 0.006 does not.
    for (double gap : {0.004, 0.006}) {
        AnalyticLine a(Vector(0, 0, 0), Vector(1, 0, 0));
        AnalyticLine b(Vector(1 + gap, 0, 0), Vector(2, 0, 0));
        Kor::List<CParametricGeometry*> chain;
        chain.append(&a);
        chain.append(&b);
        Kor::List<bool> reversed;
        EXPECT_EQ(chainCurvesByEndGaps(chain, reversed), gap < 0.005) << gap;
        EXPECT_EQ(chain[0], &a);
        EXPECT_EQ(chain[1], &b);
    }
}

TEST(CurveChain, NullPiecesGoToTheBack)
{
    auto arcs = circleArcs(3);
    Kor::List<CParametricGeometry*> chain;
    chain.append(arcs[1].get());
    chain.append(nullptr);
    chain.append(arcs[2].get());
    chain.append(arcs[0].get());
    Kor::List<bool> reversed;
    EXPECT_FALSE(chainCurvesByEndGaps(chain, reversed));
    ASSERT_EQ(chain.getCount(), 4);
    EXPECT_EQ(chain[0], arcs[1].get());
    EXPECT_EQ(chain[1], arcs[2].get());
    EXPECT_EQ(chain[2], arcs[0].get());
    EXPECT_EQ(chain[3], nullptr);
    EXPECT_FALSE(reversed[3]);

    Kor::List<CParametricGeometry*> empty;
    EXPECT_TRUE(chainCurvesByEndGaps(empty, reversed));
    EXPECT_EQ(reversed.getCount(), 0);
}

TEST(CurveChain, StartIndexAndGapLimitLeavePiecesOut)
{
    // Three segments along x with a gap of 0.5 before the third; a stray null.
    AnalyticLine a(Vector(0, 0, 0), Vector(1, 0, 0));
    AnalyticLine b(Vector(1, 0, 0), Vector(2, 0, 0));
    AnalyticLine c(Vector(2.5, 0, 0), Vector(3, 0, 0));
    struct Case {
        int start;
        double limit;
        int missed;
        std::vector<CParametricGeometry*> order;
    };
    const Case cases[] = {
        {0, 1e300, 1, {&a, &b, &c, nullptr}}, // from b: a joins in front, c behind
        {1, 1e300, 1, {&a, &b, &c, nullptr}}, // starting on the null takes the next piece
        {0, 0.1, 2, {&a, &b, &c, nullptr}},   // c stays out beyond the limit
        {3, 0.1, 3, {&c, &b, &a, nullptr}},   // c alone: neither neighbour within 0.1
    };
    for (const Case& k : cases) {
        Kor::List<CParametricGeometry*> chain;
        for (CParametricGeometry* g : std::vector<CParametricGeometry*>{&b, nullptr, &a, &c})
            chain.append(g);
        Kor::List<bool> reversed;
        EXPECT_EQ(chainCurvesByEndGaps(chain, k.start, k.limit, reversed), k.missed) << k.start;
        ASSERT_EQ(chain.getCount(), 4);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(chain[i], k.order[i]) << k.start << " " << i;
            EXPECT_FALSE(reversed[i]);
        }
    }
}
