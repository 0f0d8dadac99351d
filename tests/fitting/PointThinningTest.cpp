#include "fitting/PointThinning.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

std::vector<int> keptIndices(std::vector<Vector>& pts, double minDist)
{
    Kor::List<Vector*> list;
    for (Vector& p : pts)
        list.append(&p);
    Kor::List<int> kept;
    EXPECT_TRUE(thinPoints(list, kept, minDist));
    return std::vector<int>(kept.begin(), kept.end());
}

// Kept points pairwise at least minDist apart; every other point within
// minDist of a point kept before it.
void expectGreedySpacing(const std::vector<Vector>& pts, const std::vector<int>& kept,
                         double minDist)
{
    const double d2 = minDist * minDist;
    std::vector<bool> isKept(pts.size(), false);
    for (std::size_t a = 0; a < kept.size(); ++a) {
        isKept[kept[a]] = true;
        for (std::size_t b = 0; b < a; ++b)
            ASSERT_GE(squaredDistance(pts[kept[a]], pts[kept[b]]), d2);
    }
    for (int i = 0; i < int(pts.size()); ++i) {
        bool covered = isKept[i];
        for (std::size_t a = 0; !covered && a < kept.size() && kept[a] < i; ++a)
            covered = squaredDistance(pts[kept[a]], pts[i]) < d2;
        ASSERT_TRUE(covered) << i;
    }
}

IndexSubset<CFitPoint> subsetOf(CFitPointArray& array, std::initializer_list<int> indices)
{
    IndexSubset<CFitPoint> s(array);
    for (int i : indices)
        s.append(i);
    return s;
}

} // namespace

TEST(PointThinning, SpacingIsStrictAndComparedWithKeptPointsOnly)
{
    // 0.1 is not a float: two points exactly 0.1 apart must both stay.
    std::vector<Vector> exact{Vector(0.0, 0.0, 0.0), Vector(0.1, 0.0, 0.0)};
    EXPECT_EQ(keptIndices(exact, 0.1), (std::vector<int>{0, 1}));

    // The second point is dropped against the first across a cell border;
    // the third is judged against the first only, not the dropped second.
    std::vector<Vector> chain{Vector(0.49, 0.0, 0.0), Vector(0.84, 0.0, 0.0),
                              Vector(1.19, 0.0, 0.0), Vector(0.2, 0.3, 0.0)};
    EXPECT_EQ(keptIndices(chain, 0.5), (std::vector<int>{0, 2}));

    // A random cloud keeps the greedy invariants, also far from the origin
    // at a spacing whose cell keys leave the int range.
    std::mt19937 gen(9);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (const Vector& offset : {Vector(0.0, 0.0, 0.0), Vector(3e9, -3e9, 1e9)}) {
        std::vector<Vector> cloud;
        for (int i = 0; i < 400; ++i)
            cloud.push_back(offset + Vector(unit(gen), unit(gen), unit(gen)));
        const double minDist = offset[0] == 0.0 ? 0.12 : 1e-3;
        expectGreedySpacing(cloud, keptIndices(cloud, minDist), minDist);
    }

    // No spacing keeps everything, even coincident points; no points, no result.
    std::vector<Vector> twins{Vector(1.0, 1.0, 1.0), Vector(1.0, 1.0, 1.0)};
    EXPECT_EQ(keptIndices(twins, 0.0).size(), 2u);
    Kor::List<Vector*> none;
    Kor::List<int> kept;
    EXPECT_FALSE(thinPoints(none, kept, 1.0));
    EXPECT_FALSE(thinToTargetCount(none, 5, kept));
}

TEST(PointThinning, SelectedSubsetKeepsTargetCountAndSpacing)
{
    CFitPointArray array;
    for (int j = 0; j < 40; ++j)
        for (int i = 0; i < 40; ++i)
            array.append(CFitPoint(Vector(0.1 * i, 0.1 * j, 0.01 * ((i * 7 + j * 3) % 5))));

    // One point per cell of a grid tuned to about targetCount cells: the
    // tuning stops within 20 % of the count.
    Kor::List<Vector*> points;
    for (CFitPoint& p : array)
        points.append(&p.Point);
    Kor::List<int> chosen;
    ASSERT_TRUE(thinToTargetCount(points, 120, chosen));
    EXPECT_GE(chosen.count, 96);
    EXPECT_LE(chosen.count, 144);
    std::vector<int> sorted(chosen.begin(), chosen.end());
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
    // The tuning starts from the points' own size: the same points a
    // thousand times smaller or larger keep the same ones (it started from an
    // absolute 10). Powers of two keep the single-precision rounding, and so
    // the ties between points on the cells' borders, alike.
    for (const double scale : {1.0 / 1024.0, 1024.0}) {
        SCOPED_TRACE(scale);
        std::vector<Vector> scaled;
        for (const CFitPoint& p : array)
            scaled.push_back(scale * p.Point);
        Kor::List<Vector*> list;
        for (Vector& p : scaled)
            list.append(&p);
        Kor::List<int> same;
        ASSERT_TRUE(thinToTargetCount(list, 120, same));
        EXPECT_EQ(std::vector<int>(same.begin(), same.end()),
                  std::vector<int>(chosen.begin(), chosen.end()));
    }

    // More points than asked for: about targetCount survive, spaced.
    IndexSubset<CFitPoint> many(array);
    many.selectAll();
    ASSERT_TRUE(selectThinnedSubset(many, 120, 0.25));
    EXPECT_LE(many.count, chosen.count);
    std::vector<Vector> selected;
    std::vector<int> all;
    for (int k = 0; k < many.count; ++k) {
        selected.push_back(many[k].Point);
        all.push_back(k);
    }
    expectGreedySpacing(selected, all, 0.25);

    // No more points than targetCount: only the spacing acts, so the subset
    // is exactly what thinPoints keeps.
    IndexSubset<CFitPoint> few(array);
    std::vector<Vector> fewPoints;
    for (int k = 0; k < 200; k += 2) {
        few.append(k);
        fewPoints.push_back(array[k].Point);
    }
    const std::vector<int> expected = keptIndices(fewPoints, 0.25);
    ASSERT_TRUE(selectThinnedSubset(few, 100, 0.25));
    ASSERT_EQ(few.count, int(expected.size()));
    for (int k = 0; k < few.count; ++k)
        EXPECT_EQ(few.indices[k], 2 * expected[k]);
}

TEST(PointThinning, IntersectionOfSubsets)
{
    CFitPointArray array, other;
    for (int i = 0; i < 10; ++i) {
        array.append(CFitPoint(Vector(i, 0.0, 0.0)));
        other.append(CFitPoint(Vector(i, 0.0, 0.0)));
    }
    IndexSubset<CFitPoint> a = subsetOf(array, {7, 1, 4, 9, 2});
    IndexSubset<CFitPoint> b = subsetOf(array, {2, 8, 7, 0});
    IndexSubset<CFitPoint> disjoint = subsetOf(array, {3, 5});
    IndexSubset<CFitPoint> elsewhere = subsetOf(other, {1, 2, 4});
    const IndexSubset<CFitPoint> ab = intersectSubsets(a, b);
    ASSERT_EQ(ab.count, 2);
    EXPECT_EQ(ab.indices[0], 2);
    EXPECT_EQ(ab.indices[1], 7);
    EXPECT_EQ(a.indices[0], 1); // both lists end sorted
    EXPECT_EQ(b.indices[0], 0);
    EXPECT_EQ(intersectSubsets(a, disjoint).count, 0);
    EXPECT_EQ(intersectSubsets(a, elsewhere).count, 0);
}
