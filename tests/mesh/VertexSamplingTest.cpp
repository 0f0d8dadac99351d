#include "mesh/VertexSampling.h"

#include "mesh/MeshGeometry.h"
#include "support/TestMeshes.h"

#include <gtest/gtest.h>

using Point = CVertex<float, 3>;

TEST(VertexSampling, ThinsVerticesAndCollectsFacetVertices)
{
    // Equal points: one cell, one vertex.
    CFlatMesh same;
    Kor::List<int> all, result;
    for (int v = 0; v < 20; ++v) {
        same.addVertex(Point(1.0f, 2.0f, 3.0f));
        all.append(v);
    }
    ASSERT_TRUE(sampleVerticesByHash(&same, all, 5, result));
    EXPECT_EQ(result.count, 1);

    // A 60 x 60 grid thinned to about 100 distinct, well spread vertices.
    CFlatMesh grid;
    mwtest::fillFlatMesh(mwtest::gridSoup(59, 59, 1.0, 1.0, false), grid);
    all.count = 0;
    for (int v = 0; v < grid.getVertexCount(true); ++v)
        all.append(v);
    ASSERT_TRUE(sampleVerticesByHash(&grid, all, 100, result));
    EXPECT_NEAR(result.count, 100, 15);
    Kor::List<int> sorted = result;
    sorted.sort();
    EXPECT_EQ(sortUnique(sorted.data, sorted.count), result.count);

    Kor::List<int> facets, vertices;
    for (int f : {7, 3, 7})
        facets.append(f);
    ASSERT_TRUE(collectFacetVertices(&grid, facets, vertices));
    ASSERT_EQ(vertices.count, 8);
    for (int k = 1; k < vertices.count; ++k)
        EXPECT_LT(vertices[k - 1], vertices[k]);
    facets.count = 0;
    EXPECT_FALSE(collectFacetVertices(&grid, facets, vertices));

    EXPECT_TRUE(addUniqueIndex(vertices, 4));
    EXPECT_FALSE(addUniqueIndex(vertices, 4));
    EXPECT_EQ(vertices.count, 1);

    // The float segment distance agrees with the double one.
    const float fa[3] = {0, 0, 0}, fb[3] = {2, 0, 0}, fp[3] = {3, 1, 0};
    const double da[3] = {0, 0, 0}, db[3] = {2, 0, 0}, dp[3] = {3, 1, 0};
    float ft = 0.0f;
    double dt = 0.0;
    EXPECT_FLOAT_EQ(pointSegmentDistance2(fa, fb, fp, 3, &ft),
                    float(pointSegmentDistance2(da, db, dp, 3, &dt)));
    EXPECT_FLOAT_EQ(ft, float(dt));
    EXPECT_FLOAT_EQ(ft, 1.5f);
    EXPECT_FLOAT_EQ(pointSegmentDistance2(fa, fa, fp, 3, &ft), 10.0f);
    EXPECT_EQ(ft, -1.0f);
}
