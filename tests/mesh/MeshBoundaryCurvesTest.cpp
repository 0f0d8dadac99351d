#include "mesh/MeshBoundaryCurves.h"

#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "mesh/NastranReader.h"
#include "mesh/PlaneSection.h"
#include "mesh/PolFormat.h"
#include "mesh/PrincipalSections.h"
#include "mesh/StlFormat.h"
#include "support/ScratchDir.h"
#include "support/TestMeshes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

using mwtest::controlPoint;
using Curves = mwtest::OwnedCurves;
using Point = CVertex<float, 3>;

TEST(MeshBoundaryCurves, GridBoundaryIsOneLoopSplitIntoItsFourSides)
{
    CFlatMesh grid;
    mwtest::fillFlatMesh(mwtest::gridSoup(4, 4, 1.0, 1.0, true), grid);
    Curves whole, sides;
    ASSERT_TRUE(meshBoundaryToCurves(&grid, whole.list, false));
    ASSERT_EQ(whole.count(), 1);
    ASSERT_EQ(whole[0].getUCount(), 17);
    EXPECT_EQ(squaredDistance(controlPoint(whole[0], 0), controlPoint(whole[0], 16)), 0.0);

    ASSERT_TRUE(meshBoundaryToCurves(&grid, sides.list, true));
    ASSERT_EQ(sides.count(), 4);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(sides[c].getUCount(), 5);
        EXPECT_NEAR(sides[c].computeLength(), 4.0, 1e-6);
    }

    // A closed mesh has no boundary.
    CFlatMesh cube;
    mwtest::fillFlatMesh(mwtest::cubeSoup(1.0), cube);
    Curves none;
    EXPECT_FALSE(meshBoundaryToCurves(&cube, none.list, false));
    EXPECT_FALSE(meshBoundaryToCurves(nullptr, none.list, true));
}

TEST(MeshBoundaryCurves, HolesTouchingLoopsAndShortLoops)
{
    BoundaryEdgeList edges;
    BoundaryLoopList loops;
    CFlatMesh holed;
    mwtest::MeshSoup grid = mwtest::gridSoup(5, 5, 1.0, 1.0, false);
    grid.facets.erase(grid.facets.begin() + 12);
    mwtest::fillFlatMesh(grid, holed);
    ASSERT_TRUE(collectBoundaryLoops(&holed, edges, loops));
    ASSERT_EQ(loops.count, 2);
    EXPECT_EQ(loops[0].count + loops[1].count, 20 + 4);

    // Two quads meeting in one corner: arriving there along +y, the walk
    // takes the edge that turns least (into the second quad) and closes one
    // loop over all eight edges. A walk that starts at the shared corner
    // closes when it comes back there: two loops of four edges.
    const double pts[7][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {2, 1.5}, {2, 2.5}, {1, 2}};
    for (int shared : {2, 0}) {
        CFlatMesh touching;
        mwtest::MeshSoup soup;
        // Vertex numbers swapped so that the shared corner is `shared`.
        auto id = [shared](int v) { return v == 2 ? shared : v == shared ? 2 : v; };
        for (int v = 0; v < 7; ++v)
            soup.addPoint(pts[id(v)][0], pts[id(v)][1], 0.0);
        soup.facets = {{id(0), id(1), id(2), id(3)}, {id(2), id(4), id(5), id(6)}};
        mwtest::fillFlatMesh(soup, touching);
        ASSERT_TRUE(collectBoundaryLoops(&touching, edges, loops));
        ASSERT_EQ(loops.count, shared == 2 ? 1 : 2);
        for (const BoundaryLoop& loop : loops) {
            ASSERT_EQ(loop.count, shared == 2 ? 8 : 4);
            for (int k = 0; k < loop.count; ++k) {
                EXPECT_EQ(loop[k]->vertex0, loop[(k + loop.count - 1) % loop.count]->vertex1);
                if (loop[k]->vertex0 == 1 && shared == 2) {
                    EXPECT_EQ(loop[(k + 1) % loop.count]->vertex1, 4);
                }
            }
        }
    }

    // Hand-made edges: a loop of two edges is dropped, one of three kept;
    // no edges at all is false.
    CFlatMesh points;
    for (int v = 0; v < 5; ++v)
        points.addVertex(Point(float(v), float(v * v % 3), 0.0f));
    BoundaryEdgeList made;
    for (auto [a, b] : {std::pair{0, 1}, {1, 0}, {2, 3}, {3, 4}, {4, 2}}) {
        Mesh::CBaseMesh::CPolygonEdge e;
        e.vertex0 = a;
        e.vertex1 = b;
        e.facet1 = 0;
        made.append(e);
    }
    ASSERT_TRUE(chainBoundaryEdges(made, loops, &points));
    ASSERT_EQ(loops.count, 1);
    EXPECT_EQ(loops[0].count, 3);
    made.count = 0;
    EXPECT_FALSE(chainBoundaryEdges(made, loops, &points));
}

TEST(MeshBoundaryCurves, FlatSheetPrincipalSectionsAreStraightLinesAcrossIt)
{
    CFlatMesh generated, plate;
    // Quads of 0.1: the plane spacing across it (1 / 26) is below the merge
    // radius of its segments.
    mwtest::fillFlatMesh(mwtest::gridSoup(20, 10, 0.1, 0.1, false, -3.0, 7.0), generated);
    std::vector<CFlatMesh*> sheets = {&generated};
    const std::string platePath = mwtest::realDataFile("nastran", "plate_py.dat");
    if (!platePath.empty() && readNastran(plate, platePath.c_str()))
        sheets.push_back(&plate);

    for (CFlatMesh* sheet : sheets) {
        Point centre;
        CVector<float, 3> minor, major, middle;
        ASSERT_TRUE(meshPrincipalAxes(sheet, centre, minor, major, false));
        crossProductInto(major, minor, middle);
        EXPECT_NEAR(std::fabs(minor.data[2]), 1.0, 1e-9);
        Interval i[3];
        ASSERT_TRUE(meshExtentAlongAxes(sheet, centre, major, middle, minor, i[0], i[1], i[2]));
        const double half[3] = {1.0, 0.5, 0.0};
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(i[k].min, -half[k], 1e-6);
            EXPECT_NEAR(i[k].max, half[k], 1e-6);
        }

        Curves sections;
        ASSERT_TRUE(meshPrincipalSections(sheet, sections.list, 25, true));
        ASSERT_EQ(sections.count(), 27 + 27 + 1);
        int across = 0, along = 0, edges = 0;
        for (int c = 0; c < 54; ++c) {
            const Vector a = controlPoint(sections[c], 0), b = controlPoint(sections[c], -1);
            const double length = sections[c].computeLength();
            // Straight: the poly-line is as long as its chord.
            EXPECT_NEAR(length, std::sqrt(squaredDistance(a, b)), 1e-5);
            across += std::fabs(length - 1.0) < 1e-5;
            along += std::fabs(length - 2.0) < 1e-5;
            const double h = MeshFunctions::heightAlong(
                Point(float(a[0]), float(a[1]), float(a[2])), centre, c < 27 ? major : middle);
            edges += std::fabs(std::fabs(h) - (c < 27 ? 1.0 : 0.5)) < 1e-6;
        }
        EXPECT_EQ(across, 27);
        EXPECT_EQ(along, 27);
        EXPECT_EQ(edges, 4);
        EXPECT_NEAR(sections[54].computeLength(), 6.0, 1e-5);
    }
    if (platePath.empty())
        GTEST_SKIP() << "plate_py.dat not found";
}

TEST(MeshBoundaryCurves, RealSphereHoleIsTwoLoopsOnTheSphere)
{
    // The hole's nine boundary edges pass its first vertex twice: the walk
    // from there closes a loop of three edges, the next one of six.
    MW_REQUIRE_REAL_FILE(path, "stl", "sphereWithHole.stl");
    CFlatMesh mesh;
    ASSERT_TRUE(readSTL(mesh, path.c_str(), true));
    Curves loops;
    ASSERT_TRUE(meshBoundaryToCurves(&mesh, loops.list, false));
    ASSERT_EQ(loops.count(), 2);
    EXPECT_EQ(loops[0].getUCount(), 4);
    EXPECT_EQ(loops[1].getUCount(), 7);
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(squaredDistance(controlPoint(loops[c], 0), controlPoint(loops[c], -1)), 0.0);
        EXPECT_EQ(squaredDistance(controlPoint(loops[c], 0), controlPoint(loops[0], 0)), 0.0);
        for (int i = 0; i < loops[c].getUCount(); ++i)
            EXPECT_NEAR(norm(controlPoint(loops[c], i) - Vector(1.5, 1.5, 1.5)), 1.5, 1e-5);
    }
}

TEST(MeshBoundaryCurves, WritePOLFileWritesThePOLImageOrNothing)
{
    CFlatMesh grid;
    mwtest::fillFlatMesh(mwtest::gridSoup(3, 2, 1.0, 1.0, false), grid);
    std::ostringstream image;
    ASSERT_TRUE(writePOL(grid, image));
    const std::string path = mwtest::scratchPath("grid.pol");
    ASSERT_TRUE(writePOLFile(&grid, path.c_str()));
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, image.str());

    const std::string unwritable = mwtest::scratchPath("no/such/folder/grid.pol");
    EXPECT_FALSE(writePOLFile(&grid, unwritable.c_str()));
    EXPECT_FALSE(writePOLFile(nullptr, path.c_str()));
    EXPECT_FALSE(std::filesystem::exists(unwritable + ".part"));
    const auto entries = std::distance(std::filesystem::directory_iterator(mwtest::scratchDir()),
                                       std::filesystem::directory_iterator());
    EXPECT_EQ(entries, 1);
}

TEST(MeshBoundaryCurves, BoundaryOfNoSurfaceIsLeftOutOfTheOutline)
{
    // A grid with two cells cut out: three loops.
    mwtest::MeshSoup holed = mwtest::gridSoup(6, 6, 1.0, 1.0, false);
    holed.facets.erase(holed.facets.begin() + 28);
    holed.facets.erase(holed.facets.begin() + 7);
    // Triangles sharing one corner and no edge: the walks reaching the
    // corner compare every edge leaving it, n^2 in all.
    auto fan = [](int n) {
        mwtest::MeshSoup soup;
        soup.addPoint(0, 0, 0);
        for (int i = 0; i < n; ++i) {
            const double a = 2.0 * M_PI * i / n, b = a + M_PI / n;
            const int p = soup.addPoint(std::cos(a), std::sin(a), 0.0);
            const int q = soup.addPoint(std::cos(b), std::sin(b), 0.1);
            soup.facets.push_back({0, p, q});
        }
        return soup;
    };
    struct Case {
        const char* what;
        mwtest::MeshSoup soup;
        int maxLoops;
        const char* line; // why it is left out; null when drawn
    } cases[] = {
        {"three loops, three allowed", holed, 3, nullptr},
        {"three loops, two allowed", holed, 2,
         "the mesh's boundary breaks into more than 2 loops: it is left out of its outline.\n"},
        // 100 x 100 + 200 comparisons for 300 edges; 200 x 200 + 400 for 600.
        {"100 triangles round a corner", fan(100), 1000, nullptr},
        {"200 triangles round a corner", fan(200), 1000,
         "the mesh's boundary passes each of its vertices 67 times on average: it is left out of "
         "its outline.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CFlatMesh mesh;
        mwtest::fillFlatMesh(c.soup, mesh);
        Curves all, outline;
        meshBoundaryToCurves(&mesh, all.list, false);
        bool drawn = false;
        const std::string printed = mwtest::capturedStdout(
            [&] { drawn = meshBoundaryToCurvesWithin(&mesh, outline.list, c.maxLoops); });
        EXPECT_EQ(printed, c.line != nullptr ? c.line : "");
        EXPECT_EQ(drawn, c.line == nullptr);
        ASSERT_EQ(outline.count(), drawn ? all.count() : 0);
        for (int k = 0; k < outline.count(); ++k) {
            ASSERT_EQ(outline[k].getUCount(), all[k].getUCount());
            for (int i = 0; i < all[k].getUCount(); ++i)
                EXPECT_EQ(squaredDistance(controlPoint(outline[k], i), controlPoint(all[k], i)),
                          0.0);
        }
    }
}
