// Drawing of the base, flat and triangle meshes into a 64 x 64 view of
// [-1, 1]^2, checked by pixels, feedback counts and printed lines.
#include "foundation/Vector.h"
#include "mesh/FlatMesh.h"
#include "mesh/TriangleMesh.h"

#include "support/GLView.h"
#include "support/TestMeshes.h"

#include <GL/gl.h>

#include <cmath>
#include <string>

namespace {

using mwtest::rgb;
using Point = CVertex<float, 3>;

using MeshDraw = mwtest::GLView;

int addPolygon(CFlatMesh& mesh, std::initializer_list<Point> corners)
{
    int idx[8], n = 0;
    for (const Point& p : corners)
        idx[n++] = mesh.addVertex(p);
    return mesh.addPolygon(idx, n, -1);
}

// A triangle (left), a quad (middle) and a pentagon (right).
void addThreeShapes(CFlatMesh& mesh)
{
    addPolygon(mesh, {Point(-0.9f, -0.3f, 0), Point(-0.4f, -0.3f, 0), Point(-0.65f, 0.3f, 0)});
    addPolygon(mesh, {Point(-0.25f, -0.25f, 0), Point(0.25f, -0.25f, 0), Point(0.25f, 0.25f, 0),
                      Point(-0.25f, 0.25f, 0)});
    addPolygon(mesh, {Point(0.45f, -0.2f, 0), Point(0.85f, -0.2f, 0), Point(0.9f, 0.15f, 0),
                      Point(0.65f, 0.35f, 0), Point(0.4f, 0.15f, 0)});
}

TEST_F(MeshDraw, ListedFacetsAreLitInTheirColourWithValuePointsAtTheCentroids)
{
    CFlatMesh mesh;
    addThreeShapes(mesh);
    const int all[3] = {0, 1, 2};
    light();
    const unsigned plain = rgb(0.6784, 0.8471, 0.902);
    for (int flags : {0, 0x100}) {
        clear();
        mesh.drawFacets(flags, all, 3);
        const unsigned colour = flags == 0 ? plain : rgb(1, 0, 0);
        for (int x : {11, 32, 53}) // inside the triangle, the quad, the pentagon
            EXPECT_EQ(pixel(x, 32), colour) << flags << " at " << x;
        EXPECT_EQ(countPixels(colour), litPixels());
    }
    // n limits what is drawn, in pass order: the triangle only.
    clear();
    mesh.drawFacets(0, all, 1);
    EXPECT_EQ(pixel(11, 32), plain);
    EXPECT_EQ(pixel(32, 32), 0u);

    mesh.facetValues.removeAll();
    for (float v : {0.0f, 0.5f, 1.0f})
        mesh.facetValues.append(v);
    mesh.valueMin = 0.0;
    mesh.valueMax = 1.0;
    clear();
    mesh.drawFacets(0, all, 3);
    float rgba[4];
    ASSERT_TRUE(mesh.getFacetValueColour(1, rgba));
    EXPECT_EQ(pixel(32, 32), rgb(rgba[0], rgba[1], rgba[2])); // the quad's centroid
    EXPECT_FALSE(mesh.getFacetValueColour(3, rgba));
    // An empty range colours every value white.
    mesh.valueMax = 0.0;
    ASSERT_TRUE(mesh.getFacetValueColour(2, rgba));
    EXPECT_EQ(rgb(rgba[0], rgba[1], rgba[2]), rgb(1, 1, 1));
}

TEST_F(MeshDraw, FlatMeshDrawsOnlyWhileModifiedAndItsBoundaryOnlyWhenOpen)
{
    CFlatMesh square;
    addPolygon(square, {Point(-0.5f, -0.5f, 0), Point(0.5f, -0.5f, 0), Point(0.5f, 0.5f, 0),
                        Point(-0.5f, 0.5f, 0)});
    glColor3f(0.f, 1.f, 0.f);
    ASSERT_TRUE(square.modified);
    square.draw(8);
    EXPECT_EQ(pixel(32, 32), rgb(0, 1, 0));
    EXPECT_FALSE(square.modified);
    clear();
    square.draw(8);
    EXPECT_EQ(litPixels(), 0);

    square.draw(0x10);
    EXPECT_GT(countPixels(rgb(1, 0, 0)), 4 * 28);
    EXPECT_EQ(pixel(32, 32), 0u);

    CFlatMesh box;
    mwtest::fillFlatMesh(mwtest::cubeSoup(0.5), box);
    clear();
    box.draw(0x10);
    EXPECT_EQ(litPixels(), 0);
}

TEST_F(MeshDraw, FlatMeshVertexNormalsAndNormalVariation)
{
    CFlatMesh square;
    addPolygon(square, {Point(-0.5f, -0.5f, 0), Point(0.5f, -0.5f, 0), Point(0.5f, 0.5f, 0),
                        Point(-0.5f, 0.5f, 0)});
    addPolygon(square, {Point(0.5f, -0.5f, 0), Point(0.9f, -0.5f, 0), Point(0.9f, 0.5f, 0),
                        Point(0.5f, 0.5f, 0)});
    ASSERT_TRUE(square.mergeVertices(1e-6, 1));
    ASSERT_TRUE(square.computeDerivedData());
    // Eight edge records (the shared edge once per polygon): six of length 1
    // and two of 0.4, so L = sqrt(6.32 / 7).
    ortho(-1, 1, -1, 1, -2, 2);
    glRotated(-90.0, 1.0, 0.0, 0.0); // the normals point up the screen
    testing::internal::CaptureStdout();
    square.draw(0x200);
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_EQ(out.rfind("drawing VertexNormals with len = ", 0), 0u) << out;
    const double length = std::sqrt(6.32 / 7.0);
    EXPECT_NEAR(std::stod(out.substr(33)), length, 1e-4);
    // Three vertical white lines (two vertices behind each other per line).
    EXPECT_NEAR(litExtent().second, length * 32, 1.5);
    EXPECT_NEAR(countPixels(rgb(1, 1, 1)), 3 * length * 32, 3);
    EXPECT_FALSE(square.hasFacetValues());

    // A flat mesh turns nowhere: every value stays 0.
    testing::internal::CaptureStdout();
    square.draw(0x80);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Extreme Range=0 to 0\ndMin=0 dMax=0\n");
    ASSERT_TRUE(square.hasFacetValues());
    EXPECT_EQ(square.facetValues[0], 0.0f);
    EXPECT_EQ(square.facetValues[1], 0.0f);
    EXPECT_EQ(square.edges.count, 8); // the table it found is kept
}

TEST_F(MeshDraw, PrintStatisticsSetsTheRangeFromTheQuantiles)
{
    CFlatMesh sphere;
    mwtest::fillFlatMesh(mwtest::sphereSoup(1.0, 16, 8), sphere);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(sphere.printStatistics());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("quantile=["), std::string::npos);
    EXPECT_NE(out.find("\nMinMax["), std::string::npos);
    ASSERT_TRUE(sphere.hasFacetValues());
    const int n = sphere.facetValues.count;
    const float q10 = quantile(sphere.facetValues.data, n, 0.1f, nullptr, nullptr);
    const float q90 = quantile(sphere.facetValues.data, n, 0.9f, nullptr, nullptr);
    EXPECT_EQ(sphere.valueMin, std::min(std::fabs(q10), std::fabs(q90)));
    EXPECT_EQ(sphere.valueMax, std::max(std::fabs(q10), std::fabs(q90)));
    EXPECT_GT(sphere.valueMax, 0.0);
    // The largest value is normalised to 1.
    EXPECT_FLOAT_EQ(quantile(sphere.facetValues.data, n, 1.5f, nullptr, nullptr), 1.0f);
    int index = -1;
    EXPECT_EQ(quantile(sphere.facetValues.data, 0, 0.5f, nullptr, &index), 0.0f);
    EXPECT_EQ(index, 0);
}

TEST_F(MeshDraw, PrintStatisticsOfAFlatMeshLeavesEveryValueZero)
{
    CFlatMesh square;
    addPolygon(square, {Point(-0.5f, -0.5f, 0), Point(0.5f, -0.5f, 0), Point(0.5f, 0.5f, 0),
                        Point(-0.5f, 0.5f, 0)});
    testing::internal::CaptureStdout();
    EXPECT_TRUE(square.printStatistics());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "quantile=[0 0]\nMinMax[0 0]\n");
    EXPECT_EQ(square.facetValues[0], 0.0f);
    EXPECT_EQ(square.valueMin, 0.0);
    EXPECT_EQ(square.valueMax, 0.0);
}

TEST_F(MeshDraw, TriangleMeshThinsOnlyVeryLargeMeshes)
{
    Mesh::CTriangleMesh mesh;
    mesh.addTriangle(Point(0, 0, 0), Point(0.5f, 0, 0), Point(0, 0.5f, 0));
    const Mesh::CTriData one = mesh.triangles.data[0];
    mesh.triangles.setCapacity(250000, false);
    while (mesh.triangles.count < 150000)
        mesh.triangles.append(one);
    testing::internal::CaptureStdout();
    mesh.draw(0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(feedback([&] { mesh.draw(0); }).polygons, 150000);
    while (mesh.triangles.count < 250000)
        mesh.triangles.append(one);
    testing::internal::CaptureStdout();
    mesh.draw(0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Triangular restriction of250000 triangles  every inc=2\n");
    testing::internal::CaptureStdout();
    EXPECT_EQ(feedback([&] { mesh.draw(0); }).polygons, 125000);
    testing::internal::GetCapturedStdout();
}

TEST_F(MeshDraw, TriangleMeshEdgesCurvatureLinesAndOffsetShell)
{
    // Two triangles of a unit square: four boundary edges, no crease.
    Mesh::CTriangleMesh square;
    const Point a(-0.5f, -0.5f, 0), b(0.5f, -0.5f, 0), c(0.5f, 0.5f, 0), d(-0.5f, 0.5f, 0);
    square.addTriangle(a, b, c);
    square.addTriangle(a, c, d);
    glColor3f(0.f, 1.f, 0.f);
    square.draw(Mesh::CTriangleMesh::drawBoundaryEdges | Mesh::CTriangleMesh::drawCreaseEdges);
    EXPECT_GT(countPixels(rgb(0.4, 0, 0.6)), 4 * 28);
    EXPECT_EQ(countPixels(rgb(0.5, 0, 0.8)), 0);

    // A tetrahedron: six creases, no boundary.
    Mesh::CTriangleMesh tetra;
    const Point p0(0.5f, 0.5f, 0.5f), p1(0.5f, -0.5f, -0.5f), p2(-0.5f, 0.5f, -0.5f),
        p3(-0.5f, -0.5f, 0.5f);
    tetra.addTriangle(p0, p1, p2);
    tetra.addTriangle(p0, p3, p1);
    tetra.addTriangle(p0, p2, p3);
    tetra.addTriangle(p1, p3, p2);
    clear();
    tetra.draw(Mesh::CTriangleMesh::drawBoundaryEdges | Mesh::CTriangleMesh::drawCreaseEdges);
    EXPECT_GT(countPixels(rgb(0.5, 0, 0.8)), 100);
    EXPECT_EQ(countPixels(rgb(0.4, 0, 0.6)), 0);

    // Curvature directions only: one line per vertex where the minimum times
    // the maximum is 0 (a flat patch with equal normals), no facets.
    for (const Point* p : {&a, &b, &c, &d}) {
        Mesh::CSTLVertex* v = square.findVertex(*p);
        v->normal = CVector<float, 3>(0.f, 0.f, 1.f);
        v->direction = v->normal;
        v->firstFlag = p != &d ? 1 : 0;
    }
    testing::internal::CaptureStdout();
    const auto curvature =
        feedback([&] { square.draw(Mesh::CTriangleMesh::drawCurvatureDirections); });
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "computng curvatures for 4 points \n");
    EXPECT_EQ(curvature.lines, 4);
    EXPECT_EQ(curvature.polygons, 0);

    // The offset shell: the flagged triangle (a, b, c) at +d and at -d
    // along the normals, window depths (1 - z) / 2.
    square.offsetDistance = 0.25f;
    const auto shell = feedback([&] { square.draw(0); });
    EXPECT_EQ(shell.polygons, 2);
    EXPECT_NEAR(shell.minDepth, 0.375f, 1e-6);
    EXPECT_NEAR(shell.maxDepth, 0.625f, 1e-6);
}

} // namespace
