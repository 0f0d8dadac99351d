#include "foundation/Vertex.h"
#include "foundation/Box.h"
#include "foundation/Plane.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

using V3f = CVertex<float, 3>;
using V3d = CVertex<double, 3>;

TEST(Vertex, CopiesOwnAndViewsWriteThrough)
{
    EXPECT_EQ(V3d(), V3d(0, 0, 0));
    V3f a(1.0f, 2.0f, 3.0f);
    V3f b(a);
    b[0] = 7.0f;
    EXPECT_EQ(a[0], 1.0f);

    // A viewing vertex writes through to its owner's storage, also when assigned
    // a temporary; copies and moves of it own their values.
    float storage[3] = {0.0f, 0.0f, 0.0f};
    V3f view(storage, VertexStorage::View);
    view = V3f(4.0f, 5.0f, 6.0f);
    EXPECT_EQ(storage[2], 6.0f);
    V3f owned(std::move(view));
    EXPECT_TRUE(owned.ownsData);
    EXPECT_NE(owned.data, storage);

    b = std::move(a);
    EXPECT_EQ(b[0], 1.0f);
    std::vector<V3f> list(3);
    list.push_back(b);
    EXPECT_EQ(list[3], b);
}

// A vertex whose storage was moved away takes values again by copy and by
// move (from an owning or a viewing vertex), can itself be moved on, and
// sorting pairs that hold vertices (which assigns into moved-from
// temporaries) keeps every value.
TEST(Vertex, MovedFromVertexIsAssignable)
{
    V3d a(1, 2, 3);
    V3d taken(std::move(a));
    a = V3d(4, 5, 6);
    EXPECT_EQ(a, V3d(4, 5, 6));
    EXPECT_TRUE(a.ownsData);

    V3d b(std::move(a));
    const V3d source(7, 8, 9);
    b = source;
    EXPECT_EQ(b, source);

    double storage[3] = {10, 11, 12};
    V3d view(storage, VertexStorage::View);
    V3d c(std::move(b));
    c = std::move(b); // empty into empty
    EXPECT_EQ(c.data, nullptr);
    c = std::move(view);
    EXPECT_EQ(c, V3d(10, 11, 12));
    EXPECT_NE(c.data, storage);
    V3d d(std::move(c));
    V3d e(std::move(c)); // a moved-from vertex moves on empty
    EXPECT_EQ(e.data, nullptr);
    view = std::move(e); // an empty source leaves the view as it is
    EXPECT_EQ(storage[0], 10.0);

    std::vector<std::pair<double, V3d>> pairs;
    for (int k = 0; k < 40; ++k)
        pairs.emplace_back((k * 17) % 40, V3d(k, -k, 2.0 * k));
    std::sort(pairs.begin(), pairs.end(),
              [](const auto& x, const auto& y) { return x.first < y.first; });
    for (int k = 0; k < 40; ++k) {
        const double i = pairs[std::size_t(k)].second[0];
        EXPECT_EQ((int(i) * 17) % 40, k);
        EXPECT_EQ(pairs[std::size_t(k)].second, V3d(i, -i, 2.0 * i));
    }
}

TEST(Vertex, WeightedSumRoundsWeightsToFloat)
{
    const V3f p(1.0f, 0.0f, 0.0f), q(0.0f, 1.0f, 0.0f), r(0.0f, 0.0f, 3.0f);
    const V3f s(0.1, p, 0.2, q, 0.5, r);
    EXPECT_EQ(s[0], float(double(0.1f)));
    EXPECT_EQ(s[1], float(double(0.2f)));
    EXPECT_EQ(s[2], 1.5f);
}

TEST(Vertex, CrossProductAndPointsDifferThreshold)
{
    const V3f p(1.0f, 2.0f, 3.0f), q(4.0f, -1.0f, 0.5f);
    const V3f c = crossProduct(p, q);
    EXPECT_NEAR(dot(c, p), 0.0f, 1e-5f);
    EXPECT_NEAR(dot(c, q), 0.0f, 1e-5f);

    EXPECT_EQ(pointsDifferThreshold(), 1e-16f);
    EXPECT_FALSE(pointsDiffer(p, p));
    EXPECT_TRUE(pointsDiffer(p, V3f(1.0f, 2.0f, 3.001f)));
    EXPECT_EQ(setPointsDifferThreshold(0.01f), 1e-16f);
    EXPECT_FALSE(pointsDiffer(p, V3f(1.0f, 2.0f, 3.05f)));
    resetPointsDifferThreshold();
    EXPECT_EQ(pointsDifferThreshold(), 1e-16f);
}

TEST(Box, EmptyBoxGrowsToIncludePoints)
{
    CBox<float, 3> box;
    EXPECT_TRUE(box.isEmpty());
    EXPECT_EQ(box.min[0], 3.4028235e38f);
    EXPECT_EQ(box.max[2], -3.4028235e38f);
    box.add(V3f(1.0f, -2.0f, 3.0f));
    box.add(V3f(0.0f, 5.0f, 3.5f));
    EXPECT_FALSE(box.isEmpty());
    EXPECT_EQ(box.min, V3f(0.0f, -2.0f, 3.0f));
    EXPECT_EQ(box.max, V3f(1.0f, 5.0f, 3.5f));
    EXPECT_EQ(box.count, 0);

    const CBox<double, 3> fromCorners(V3d(0, 1, 2), V3d(3, 4, 5));
    EXPECT_EQ(fromCorners.max[2], 5.0);
}

TEST(Box, BoxCopyViewsItsOwnCorners)
{
    std::vector<CBox<float, 3>> boxes(1);
    for (int i = 0; i < 20; ++i) {
        boxes.push_back(boxes.back());
        boxes.back().add(V3f(float(i), 0.0f, 0.0f));
    }
    EXPECT_EQ(boxes[20].min[0], 0.0f);
    EXPECT_EQ(boxes[20].max[0], 19.0f);
    EXPECT_EQ(boxes[1].max[0], 0.0f);
    CBox<float, 3> assigned;
    assigned = boxes[20];
    boxes[20].setEmpty();
    EXPECT_EQ(assigned.max[0], 19.0f);
}

TEST(Plane, PointDistanceAndProjection)
{
    EXPECT_EQ(CPlane().normal.n, 3);
    const CPlane plane(Vector(1.0, 2.0, 3.0), Vector(0.0, 0.6, 0.8));
    EXPECT_DOUBLE_EQ(plane.signedDistance(plane.pointAlongNormal(2.0)), 2.0);
    const Vector x(5.0, -1.0, 7.0);
    const Vector foot = plane.project(x);
    EXPECT_NEAR(plane.signedDistance(foot), 0.0, 1e-14);
    EXPECT_NEAR(cosineBetween(x - foot, plane.normal), 1.0, 1e-14);
}
