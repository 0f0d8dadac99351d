#include "mesh/GridPoint.h"

#include "support/TestMeshes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

using Gridbench::CGridPoint;
using Point = CVertex<float, 3>;

TEST(GridPoint, SerialsDirectionsAndCopies)
{
    CGridPoint a;
    CGridPoint b;
    EXPECT_EQ(b.serial, a.serial + 1);
    EXPECT_EQ(CGridPoint::peekNextSerial(), b.serial + 1);
    EXPECT_TRUE(a.changed && a.direction1Flag && a.direction2Flag);
    EXPECT_FALSE(a.direction1Set || a.direction2Set);
    EXPECT_EQ(a.useCount, 0);
    EXPECT_LT(a.savedIndex, 0);

    // A direction set with the flag false is stored normalised all the same.
    CVector<float, 3> out(9, 9, 9);
    a.setDirection1(CVector<float, 3>(0, 3, 4), false);
    EXPECT_FALSE(a.getDirection1(out));
    EXPECT_FLOAT_EQ(out.data[1], 0.6f);
    EXPECT_FLOAT_EQ(out.data[2], 0.8f);
    a.setDirection2(CVector<float, 3>(0, 0, -2), true);
    EXPECT_TRUE(a.getDirection2(out));
    EXPECT_FLOAT_EQ(out.data[2], -1.0f);

    Mesh::CBaseMesh::CBaseHitInfo hit;
    hit.data[0] = 1.5f;
    hit.facet = 17;
    hit.normal.data[2] = 1.0f;
    CGridPoint fromHit(hit);
    EXPECT_EQ(fromHit.serial, b.serial + 1);
    EXPECT_EQ(fromHit.facet, 17);
    EXPECT_EQ(fromHit.getNormal().data[2], 1.0f);
    EXPECT_EQ(fromHit.data[0], 1.5f);

    a.useCount = 3;
    a.savedIndex = 11;
    a.changed = false;
    a.facet = 8;
    CGridPoint copy(a);
    fromHit = a;
    for (const CGridPoint* c : {&copy, &fromHit}) {
        EXPECT_EQ(std::tuple(c->serial, c->useCount, c->savedIndex, c->changed, c->facet),
                  std::tuple(a.serial, 3, 11, false, 8));
        EXPECT_TRUE(c->direction2Set);
        EXPECT_FLOAT_EQ(c->direction1.data[2], 0.8f);
        EXPECT_NE(c->direction1.data, a.direction1.data); // storage of its own
    }
}

TEST(GridPoint, NearestMeshPointLandsOnTheMeshOrChangesNothing)
{
    CFlatMesh grid;
    mwtest::fillFlatMesh(mwtest::gridSoup(10, 10, 1.0, 1.0, true), grid);
    grid.buildFacetHash(10.0, -1.0, nullptr);
    CGridPoint above;
    above.data[0] = 3.3f;
    above.data[1] = 4.6f;
    above.data[2] = 0.2f;
    CVector<float, 3> normal;
    ASSERT_TRUE(nearestMeshPoint(&grid, above, normal));
    EXPECT_FLOAT_EQ(above.data[0], 3.3f);
    EXPECT_FLOAT_EQ(above.data[1], 4.6f);
    EXPECT_NEAR(above.data[2], 0.0f, 1e-6);
    EXPECT_NEAR(std::fabs(normal.data[2]), 1.0f, 1e-6);
    EXPECT_GE(above.facet, 0);

    CGridPoint far;
    far.data[0] = 500.0f;
    far.facet = 3;
    CVector<float, 3> untouched(1, 2, 3);
    EXPECT_FALSE(nearestMeshPoint(&grid, far, untouched));
    EXPECT_FALSE(nearestMeshPoint(nullptr, far, untouched));
    EXPECT_EQ(far.data[0], 500.0f);
    EXPECT_EQ(far.facet, 3);
    EXPECT_EQ(untouched.data[2], 3.0f);
}
