#include "curves/KnotMerging.h"

#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

using Fenwo::NurbsSurf;

namespace {

// A clamped rational curve (v knots absent) or surface (cubic v knots on the
// positions vPos) with u knot positions 1 .. n + p.
std::unique_ptr<NurbsSurf> make(std::vector<double> uPos, int p, double phase = 0.0,
                                std::vector<double> vPos = {})
{
    const int n = static_cast<int>(uPos.size()) - p;
    knots u(Vector(uPos.data(), n + p), n, p);
    std::unique_ptr<knots> v;
    if (!vPos.empty())
        v = std::make_unique<knots>(Vector(vPos.data(), vPos.size() - 3), int(vPos.size()) - 3, 3);
    auto s = std::make_unique<NurbsSurf>(u, v.get());
    for (int j = 0; j < s->getVCount(); ++j)
        for (int i = 0; i < s->getUCount(); ++i)
            s->setControlPoint(i, j, Vector(1.3 * i, 2.0 * std::sin(1.1 * i + phase + j), 0.7 * j),
                               1.0 + 0.2 * ((i + j) % 3));
    return s;
}

bool sameKnots(const knots& a, const knots& b)
{
    bool same = a.p == b.p && a.n == b.n;
    for (int i = 0; same && i <= a.n + a.p + 1; ++i)
        same = std::fabs(a.valueAt(i) - b.valueAt(i)) <= 1e-8;
    return same;
}

double mapInto(double t, const Interval& from, const Interval& to)
{
    return to.min + (t - from.min) / (from.max - from.min) * (to.max - to.min);
}

// Largest distance between a merged member and its original over a grid, the
// original's parameters mapped affinely from the merged domains.
double shapeGap(NurbsSurf& m, NurbsSurf& o)
{
    const Interval mu = m.uKnots->getDomain(), ou = o.uKnots->getDomain();
    const Interval mv = m.vKnots->getDomain(), ov = o.vKnots->getDomain();
    const int nv = m.getVCount() > 1 ? 15 : 0;
    double worst = 0.0;
    for (int i = 0; i <= 60; ++i)
        for (int j = 0; j <= nv; ++j) {
            const double u = mu.min + (mu.max - mu.min) * i / 60.0;
            const double v = nv > 0 ? mv.min + (mv.max - mv.min) * j / nv : mv.min;
            Vector a, b;
            m.evaluatePoint(a, u, v);
            o.evaluatePoint(b, mapInto(u, mu, ou), nv > 0 ? mapInto(v, mv, ov) : ov.min);
            worst = std::max(worst, std::sqrt(squaredDistance(a, b)));
        }
    return worst;
}

struct Family {
    std::vector<std::unique_ptr<NurbsSurf>> members, originals;
    Kor::Array<NurbsSurf*> list;

    void add(std::unique_ptr<NurbsSurf> s)
    {
        originals.push_back(std::make_unique<NurbsSurf>(*s));
        list.append(s.get());
        members.push_back(std::move(s));
    }
    knots& k(size_t i, int dir) { return *(dir == 0 ? members[i]->uKnots : members[i]->vKnots); }
    void expectCommonAndUnchanged(int dir)
    {
        for (size_t i = 0; i < members.size(); ++i) {
            EXPECT_TRUE(sameKnots(k(0, dir), k(i, dir))) << "member " << i;
            EXPECT_LT(shapeGap(*members[i], *originals[i]), 1e-12) << "member " << i;
        }
    }
    void expectUntouched()
    {
        for (size_t i = 0; i < members.size(); ++i)
            EXPECT_TRUE(sameKnots(k(i, 0), *originals[i]->uKnots));
    }
};

} // namespace

TEST(ClassicKnotMerge, CurvesShareDomainKnotsAndKeepTheirShapes)
{
    Family f;
    f.add(make({0, 0, 0, 0.3, 1, 1, 1}, 3));
    f.add(make({0, 0, 0, 0.5, 0.5, 1.2, 2, 2, 2}, 3, 0.4));
    f.add(make({0, 0, 0, 0.500000001, 2, 2, 2}, 3, 0.7)); // same knot as 0.5
    ASSERT_TRUE(ClassicKnotMerge(f.list, 0));
    f.expectCommonAndUnchanged(0);
    EXPECT_DOUBLE_EQ(f.k(0, 0).getDomain().min, 0.0);
    EXPECT_DOUBLE_EQ(f.k(0, 0).getDomain().max, 2.0);
    EXPECT_EQ(f.k(0, 0).spacing, knots::NonUniform);
    EXPECT_EQ(f.members[2]->getUCount(), 8); // 0.5 once more, 0.6 and 1.2 added
    EXPECT_EQ(f.k(2, 0).getMultiplicity(0.5), 2);
}

TEST(ClassicKnotMerge, SingleMemberKeepsItsDomainAndShape)
{
    Family f;
    f.add(make({1, 1, 1.7, 4, 4}, 2));
    ASSERT_TRUE(ClassicKnotMerge(f.list, 0));
    f.expectCommonAndUnchanged(0);
    EXPECT_DOUBLE_EQ(f.k(0, 0).getDomain().min, 1.0);
    EXPECT_DOUBLE_EQ(f.k(0, 0).getDomain().max, 4.0);
    Kor::Array<NurbsSurf*> empty;
    EXPECT_TRUE(ClassicKnotMerge(empty, 0));
}

TEST(ClassicKnotMerge, MixedDegreesAreRejectedWithMessageAndNothingChanged)
{
    Family f;
    f.add(make({0, 0, 0.4, 1, 1}, 2));
    f.add(make({0, 0, 0, 0.6, 2, 2, 2}, 3));
    testing::internal::CaptureStdout();
    EXPECT_FALSE(ClassicKnotMerge(f.list, 0));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "classicmerge failed, u-degrees are not homogen. \n");
    EXPECT_FALSE(ClassicKnotMerge(f.list, 2)); // no such direction
    f.expectUntouched();
}

TEST(ClassicKnotMerge, NullMemberIsRejectedBeforeAnyChange)
{
    Family f;
    f.add(make({0, 0, 0.4, 1, 1}, 2));
    f.add(make({0, 0, 0.7, 2, 2}, 2));
    f.list.append(nullptr);
    EXPECT_FALSE(ClassicKnotMerge(f.list, 0));
    EXPECT_FALSE(mergeAllKnots(f.list, 1));
    EXPECT_FALSE(mergeCurveKnots(f.list, 2));
    f.expectUntouched();
}

TEST(ClassicKnotMerge, SurfacesMergeInEitherDirection)
{
    Family f;
    f.add(make({0, 0, 1, 1}, 2, 0.0, {0, 0, 0, 0.25, 1, 1, 1}));
    f.add(make({0, 0, 0.5, 2, 2}, 2, 0.3, {0, 0, 0, 0.6, 0.6, 1.5, 1.5, 1.5}));
    ASSERT_TRUE(ClassicKnotMerge(f.list, 1));
    f.expectCommonAndUnchanged(1);
    ASSERT_TRUE(ClassicKnotMerge(f.list, 0));
    f.expectCommonAndUnchanged(0);
    f.expectCommonAndUnchanged(1);
}

TEST(ClassicKnotMerge, CyclicMembersMergeKnotsOfTheLastSpan)
{
    Family f;
    for (int extra = 0; extra < 2; ++extra) {
        auto c = std::make_unique<NurbsSurf>(knots(6, 3, 0.0, 7.0, knots::CyclicEnd));
        if (extra == 1)
            c->insertKnots(6.5, 1, 0);
        for (int i = 0; i < c->getUCount(); ++i) {
            const double a = 2.0 * M_PI * i / c->getUCount();
            c->setControlPoint(i, 0, Vector(3.0 * std::cos(a), 2.0 * std::sin(a), 0.3 * i));
        }
        f.add(std::move(c));
    }
    ASSERT_TRUE(ClassicKnotMerge(f.list, 0));
    f.expectCommonAndUnchanged(0);
}

TEST(MergeCurveKnots, MixedDegreesAreRaisedAndMerged)
{
    for (int mode : {1, 2}) {
        Family f;
        f.add(make({0, 0, 0.4, 1, 1}, 2));
        f.add(make({0, 0, 0, 0.2, 0.7, 2, 2, 2}, 3, 0.5));
        f.add(make({0, 0.3, 0.6, 1}, 1, 1.1));
        ASSERT_TRUE(mergeCurveKnots(f.list, mode)) << "mode " << mode;
        EXPECT_EQ(f.k(2, 0).p, 3);
        f.expectCommonAndUnchanged(0);
    }
}

TEST(MergeAllKnots, PairwiseMergeHandsLaterKnotsBackToEarlyCurves)
{
    // The first curve meets the widest one before the last curve's knots
    // (and domain) arrive there.
    Family f;
    f.add(make({0, 0, 0, 0.1, 1, 1, 1}, 3));
    f.add(make({0, 0, 0, 0.3, 0.5, 0.7, 1, 1, 1}, 3, 0.3));
    f.add(make({0, 0, 0, 0.9, 3, 3, 3}, 3, 0.6));
    ASSERT_TRUE(mergeAllKnots(f.list, 2));
    f.expectCommonAndUnchanged(0);
}

TEST(MergeAllKnots, PairwiseMergeOfEqualCountsStillMergesKnots)
{
    Family f;
    f.add(make({0, 0, 0, 0.3, 1, 1, 1}, 3));
    f.add(make({0, 0, 0, 0.6, 1, 1, 1}, 3, 0.3));
    ASSERT_TRUE(mergeAllKnots(f.list, 2));
    f.expectCommonAndUnchanged(0);
    EXPECT_EQ(f.members[0]->getUCount(), 6);
}

TEST(MergeAllKnots, CountEqualisationTakesTheWidestKnotsOtherModesOnlyDegrees)
{
    Family f;
    f.add(make({0, 0, 0, 0.5, 1, 1, 1}, 3));
    f.add(make({0, 0, 0, 0.2, 0.4, 0.6, 0.8, 1, 1, 1}, 3, 0.3));
    f.add(make({0, 0, 1, 1}, 2, 0.6));
    ASSERT_TRUE(mergeAllKnots(f.list, 3));
    for (size_t i = 0; i < 3; ++i)
        EXPECT_TRUE(sameKnots(f.k(i, 0), f.k(1, 0)));
    Family g;
    g.add(make({0, 0, 1, 1}, 2));
    g.add(make({0, 0, 0, 0.5, 1, 1, 1}, 3));
    EXPECT_TRUE(mergeAllKnots(g.list, 0));
    EXPECT_EQ(g.k(0, 0).p, 3);
    EXPECT_LT(shapeGap(*g.members[0], *g.originals[0]), 1e-12);
    EXPECT_EQ(g.members[1]->getUCount(), 5);
}
