#include "foundation/Progress.h"
#include "mesh/FlatMesh.h"
#include "support/TestMeshes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>

using Point = CVertex<float, 3>;

namespace {

// The z of every vertex the target's polygons use; false when they differ.
bool commonHeight(CFlatMesh& mesh, float& z)
{
    bool first = true;
    Point p;
    for (int f = 0; f < mesh.getFacetCount(); ++f)
        for (int k = 0; k < mesh.getFacetSize(f); ++k) {
            mesh.getFacetCorner(f, k, p);
            if (!first && std::fabs(p.data[2] - z) > 1e-6f)
                return false;
            z = p.data[2];
            first = false;
        }
    return !first;
}

} // namespace

TEST(FlatMeshOffset, FlatGridMovesAlongItsNormalAndKeepsEveryPolygon)
{
    struct Case {
        double a, b;
        float height;
    } cases[] = {{1.0, 0.0, 1.0f}, {-2.0, 0.5, -2.0f}, {-2.0, -0.5, -2.0f}, {0.5, -0.5, 0.5f}};
    for (const Case& c : cases) {
        CFlatMesh grid, target;
        mwtest::fillFlatMesh(mwtest::gridSoup(6, 4, 1.0, 1.0, false), grid);
        int facets = 0;
        const std::string text =
            mwtest::capturedStdout([&] { facets = grid.offset(c.a, c.b, &target, nullptr); });
        EXPECT_NE(text.find("tumbleCount=0"), std::string::npos) << c.a;
        EXPECT_EQ(facets, 24) << c.a;
        float z = 0.0f;
        ASSERT_TRUE(commonHeight(target, z));
        EXPECT_FLOAT_EQ(z, c.height);
        EXPECT_EQ(target.box.min.data[0], 0.0f);
        EXPECT_EQ(target.box.max.data[0], 6.0f);
    }

    // b takes a's sign, so a + b = 0 only for a copy: nothing is probed and
    // no facet hash of cell size 0 is built.
    CFlatMesh grid, copy;
    mwtest::fillFlatMesh(mwtest::gridSoup(3, 3, 1.0, 1.0, true), grid);
    const std::string text =
        mwtest::capturedStdout([&] { EXPECT_EQ(grid.offset(0.0, 0.0, &copy, nullptr), 18); });
    EXPECT_EQ(text.find("isAtLeast"), std::string::npos);
    EXPECT_EQ(grid.facetHash.cells.count, 0);

    // A cancelled run adds no polygon.
    CFlatMesh cancelledTarget;
    CSimpleProgress sink;
    sink.setPrint(false);
    sink.setCancelled(true);
    mwtest::capturedStdout([&] { EXPECT_EQ(grid.offset(1.0, 0.0, &cancelledTarget, &sink), 0); });
    EXPECT_EQ(cancelledTarget.getFacetCount(), 0);
    EXPECT_EQ(grid.offset(1.0, 0.0, nullptr, nullptr), 0);
}

TEST(FlatMeshOffset, SphereOffsetInwardsBeyondItsCentreKeepsNothing)
{
    CFlatMesh sphere, inner;
    mwtest::fillFlatMesh(mwtest::sphereSoup(4.0, 24, 12), sphere);
    mwtest::capturedStdout([&] { EXPECT_EQ(sphere.offset(-6.0, 0.0, &inner, nullptr), 0); });
    EXPECT_EQ(inner.getFacetCount(), 0);
}

TEST(FlatMeshOffset, DualMeshHasOnePolygonPerInnerVertex)
{
    CFlatMesh cube;
    mwtest::fillFlatMesh(mwtest::cubeSoup(2.0), cube);
    std::unique_ptr<CFlatMesh> dual;
    std::string text = mwtest::capturedStdout([&] { dual.reset(cube.buildVoronoiFaces(nullptr)); });
    EXPECT_NE(text.find(" generated 8 Voronoi faces "), std::string::npos);
    ASSERT_EQ(dual->getFacetCount(), 8);
    for (int f = 0; f < 8; ++f)
        EXPECT_EQ(dual->getFacetSize(f), 3);
    // The eight triangles close up: every edge has two of them.
    for (const auto& e : dual->edges)
        EXPECT_NE(e.facet2, -1);

    // Only the 2 x 2 inner vertices of a 3 x 3 grid get a dual polygon; the
    // centres projected onto a parallel grid lie on it.
    CFlatMesh grid, above, far;
    mwtest::fillFlatMesh(mwtest::gridSoup(3, 3, 1.0, 1.0, false), grid);
    mwtest::MeshSoup lifted = mwtest::gridSoup(3, 3, 1.0, 1.0, true);
    for (int v = 0; v < lifted.pointCount(); ++v)
        lifted.xyz[3 * v + 2] = 0.5;
    mwtest::fillFlatMesh(lifted, above);
    above.buildFacetHash(10.0, -1.0, nullptr);
    text = mwtest::capturedStdout([&] { dual.reset(grid.buildVoronoiFaces(&above)); });
    EXPECT_NE(text.find(" generated 4 Voronoi faces "), std::string::npos);
    EXPECT_EQ(text.find("midfailcount"), std::string::npos);
    ASSERT_EQ(dual->getFacetCount(), 4);
    float z = 0.0f;
    ASSERT_TRUE(commonHeight(*dual, z));
    EXPECT_FLOAT_EQ(z, 0.5f);

    // A vertex of 120 polygons gets its dual polygon of 120 corners.
    mwtest::MeshSoup fanSoup;
    const int hub = fanSoup.addPoint(0.0, 0.0, 0.0);
    for (int i = 0; i < 120; ++i)
        fanSoup.addPoint(std::cos(2.0 * M_PI * i / 120), std::sin(2.0 * M_PI * i / 120), 0.0);
    for (int i = 0; i < 120; ++i)
        fanSoup.facets.push_back({hub, 1 + i, 1 + (i + 1) % 120});
    CFlatMesh fan;
    mwtest::fillFlatMesh(fanSoup, fan);
    mwtest::capturedStdout([&] { dual.reset(fan.buildVoronoiFaces(nullptr)); });
    ASSERT_EQ(dual->getFacetCount(), 1);
    EXPECT_EQ(dual->getFacetSize(0), 120);

    mwtest::fillFlatMesh(mwtest::gridSoup(2, 2, 1.0, 1.0, true, 100.0, 100.0), far);
    far.buildFacetHash(10.0, -1.0, nullptr);
    text = mwtest::capturedStdout([&] { dual.reset(grid.buildVoronoiFaces(&far)); });
    EXPECT_NE(text.find("voronoi midfailcount=9"), std::string::npos);
    EXPECT_EQ(dual->getFacetCount(), 4);
}
