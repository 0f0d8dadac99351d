#include "fitting/PointThinning.h"

#include "support/TestMeshes.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

namespace {

struct PointList {
    std::vector<Vector> points;
    Kor::List<Vector*> list()
    {
        Kor::List<Vector*> out;
        for (Vector& p : points)
            out.append(&p);
        return out;
    }
};

std::vector<int> keptIndices(PointList& pts, double minDist)
{
    Kor::List<int> kept;
    EXPECT_TRUE(thinPoints(pts.list(), kept, minDist));
    return std::vector<int>(kept.begin(), kept.end());
}

PointList randomCloud(int n, double scale, const Vector& offset, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    PointList out;
    for (int i = 0; i < n; ++i)
        out.points.push_back(offset + Vector(unit(gen), unit(gen), unit(gen)) * scale);
    return out;
}

// Every kept pair at least minDist apart; every dropped point within minDist
// of a point kept before it.
void expectGreedySpacing(const PointList& pts, const std::vector<int>& kept, double minDist)
{
    const double d2 = minDist * minDist;
    std::set<int> keptSet(kept.begin(), kept.end());
    for (std::size_t a = 0; a < kept.size(); ++a)
        for (std::size_t b = a + 1; b < kept.size(); ++b)
            ASSERT_GE(squaredDistance(pts.points[kept[a]], pts.points[kept[b]]), d2);
    for (int i = 0; i < int(pts.points.size()); ++i) {
        if (keptSet.count(i) != 0)
            continue;
        bool covered = false;
        for (int k : kept)
            covered = covered || (k < i && squaredDistance(pts.points[k], pts.points[i]) < d2);
        ASSERT_TRUE(covered) << i;
    }
}

} // namespace

TEST(PointThinning, SpacingIsStrictAndComparedWithKeptPointsOnly)
{
    // 0.1 is not a float: the two points exactly 0.1 apart must both stay.
    PointList exact{{Vector(0.0, 0.0, 0.0), Vector(0.1, 0.0, 0.0)}};
    EXPECT_EQ(keptIndices(exact, 0.1), (std::vector<int>{0, 1}));

    // The middle point is dropped against the first; the last is judged only
    // against the first (kept), not against the dropped middle one. The
    // points straddle cell borders of the 0.5 grid.
    PointList chain{{Vector(0.49, 0.0, 0.0), Vector(0.84, 0.0, 0.0), Vector(1.19, 0.0, 0.0),
                     Vector(0.2, 0.3, 0.0)}};
    EXPECT_EQ(keptIndices(chain, 0.5), (std::vector<int>{0, 2}));

    // A random cloud keeps the greedy invariants, also far from the origin
    // at a spacing whose cell keys exceed the int range.
    for (const Vector& offset : {Vector(0.0, 0.0, 0.0), Vector(3e9, -3e9, 1e9)}) {
        PointList cloud = randomCloud(400, 1.0, offset, 9);
        const double minDist = offset[0] == 0.0 ? 0.12 : 1e-3;
        expectGreedySpacing(cloud, keptIndices(cloud, minDist), minDist);
    }

    // No spacing keeps everything, even coincident points.
    PointList twins{{Vector(1.0, 1.0, 1.0), Vector(1.0, 1.0, 1.0)}};
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

    // More points than asked for: at most targetCount survive, spaced.
    IndexSubset<CFitPoint> many(array);
    many.selectAll();
    ASSERT_TRUE(selectThinnedSubset(many, 120, 0.25));
    EXPECT_LE(many.count, 120);
    EXPECT_GT(many.count, 30);
    PointList selected;
    for (int k = 0; k < many.count; ++k)
        selected.points.push_back(many[k].Point);
    std::vector<int> all(selected.points.size());
    for (int k = 0; k < int(all.size()); ++k)
        all[k] = k;
    expectGreedySpacing(selected, all, 0.25);

    // No more points than targetCount: only the spacing acts, so the subset
    // is exactly what thinPoints keeps.
    IndexSubset<CFitPoint> few(array);
    for (int k = 0; k < 200; k += 2)
        few.append(k);
    PointList fewPoints;
    for (int k = 0; k < few.count; ++k)
        fewPoints.points.push_back(few[k].Point);
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
    IndexSubset<CFitPoint> a(array), b(array), c(array), d(other);
    for (int i : {7, 1, 4, 9, 2})
        a.append(i);
    for (int i : {2, 8, 7, 0})
        b.append(i);
    for (int i : {3, 5})
        c.append(i);
    for (int i : {1, 2, 4})
        d.append(i);
    const IndexSubset<CFitPoint> ab = intersectSubsets(a, b);
    ASSERT_EQ(ab.count, 2);
    EXPECT_EQ(ab.indices[0], 2);
    EXPECT_EQ(ab.indices[1], 7);
    EXPECT_EQ(a.indices[0], 1); // both lists end sorted
    EXPECT_EQ(b.indices[0], 0);
    EXPECT_EQ(intersectSubsets(a, c).count, 0);
    EXPECT_EQ(intersectSubsets(a, d).count, 0);
}
