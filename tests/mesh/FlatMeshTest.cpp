#include "mesh/FlatMesh.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Point = CVertex<float, 3>;

// The first corner of every live polygon, in polygon order.
std::vector<int> firstCorners(CFlatMesh& mesh)
{
    std::vector<int> out;
    for (int p = 0; p < mesh.getFacetCount(); ++p)
        out.push_back(mesh.getPolygonVertexIndex(p, 0));
    return out;
}

// Five triangles; polygon i is (i, i + 10, i + 20), so its first corner
// names it.
void addFiveTriangles(CFlatMesh& mesh)
{
    for (int i = 0; i < 5; ++i) {
        const int idx[3] = {i, i + 10, i + 20};
        mesh.addPolygon(idx, 3, -1);
    }
}

} // namespace

TEST(FlatMesh, NewMeshIsEmptyWithHeaderAndModifiedFlag)
{
    CFlatMesh mesh;
    EXPECT_EQ(mesh.getVertexCount(true), 0);
    EXPECT_EQ(mesh.getFacetCount(), 0);
    EXPECT_EQ(mesh.getTriangleCount(), 0);
    EXPECT_EQ(mesh.getFacetSize(0), 0);
    EXPECT_EQ(mesh.getPolygonStart(0), -1);
    EXPECT_TRUE(mesh.modified);
    EXPECT_STREQ(reinterpret_cast<const char*>(mesh.header.bytes), "PolyWorks File Ver 1.0");
    EXPECT_STREQ(reinterpret_cast<const char*>(mesh.header.bytes + 64), "Fenwo GmbH Vorlach");
}

TEST(FlatMesh, VertexBlocksGrowWithoutMovingVertices)
{
    CFlatMesh mesh;
    for (int i = 0; i < 8000; ++i)
        EXPECT_EQ(mesh.addVertex(Point(float(i), 1.0f, 2.0f)), i);
    const float* first = mesh.coordinates.pointer(0);
    EXPECT_EQ(mesh.addVertex(Point(-1.0f, -2.0f, -3.0f)), 8000);
    EXPECT_EQ(mesh.coordinates.blockCount, 2);
    EXPECT_EQ(mesh.coordinates.pointer(0), first);
    EXPECT_EQ(mesh.getVertexCount(true), 8001);

    Point p;
    ASSERT_TRUE(mesh.getVertex(8000, p));
    EXPECT_EQ(p, Point(-1.0f, -2.0f, -3.0f));
    EXPECT_FALSE(mesh.getVertex(8001, p));
}

TEST(FlatMesh, QuadsTrianglesAndCornerAccess)
{
    CFlatMesh mesh;
    const Point a(0, 0, 0), b(1, 0, 0), c(1, 1, 0), d(0, 1, 0);
    EXPECT_EQ(mesh.addQuad(a, b, c, d, true), 1);
    EXPECT_EQ(mesh.addQuad(a, b, c, d, false), 2);
    EXPECT_EQ(mesh.addTriangle(a, b, c), 3);
    EXPECT_EQ(mesh.getVertexCount(true), 11);
    EXPECT_EQ(mesh.getFacetSize(0), 3);
    EXPECT_EQ(mesh.getPolygonSize(2), 4);
    const int split[2][3] = {{0, 1, 2}, {0, 2, 3}};
    for (int p = 0; p < 2; ++p)
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(mesh.getPolygonVertexIndex(p, k), split[p][k]);
    // Corners wrap: k = n is corner 0, k = -1 the last corner.
    EXPECT_EQ(mesh.getPolygonVertexIndex(2, 4), 4);
    EXPECT_EQ(mesh.getPolygonVertexIndex(2, -1), 7);

    Point corner;
    ASSERT_TRUE(mesh.getFacetCorner(1, 2, corner));
    EXPECT_EQ(corner, d);

    float rec[12];
    std::fill(rec, rec + 12, 9.0f);
    EXPECT_FALSE(mesh.getTriangleRecord(2, rec));
    ASSERT_TRUE(mesh.getTriangleRecord(3, rec));
    EXPECT_EQ(rec[0], 9.0f); // the normal slot is left alone
    EXPECT_EQ(rec[6], 1.0f);
    EXPECT_EQ(rec[10], 1.0f);
    EXPECT_FALSE(mesh.getTriangleCorner(0, 0, corner));
}

TEST(FlatMesh, OutOfRangeIndicesAreReportedOnStandardOutput)
{
    CFlatMesh mesh;
    mesh.addVertex(Point(1, 2, 3));
    const int idx[3] = {0, 5, 0};
    mesh.addPolygon(idx, 3, 7);
    EXPECT_EQ(mesh.groupIds.count, 1);
    EXPECT_EQ(mesh.groupIds.data[0], 7);

    Point corner;
    testing::internal::CaptureStdout();
    EXPECT_EQ(mesh.getPolygonVertexIndex(4, 0), 0);
    EXPECT_FALSE(mesh.getFacetCorner(0, 1, corner));
    // The three corners at once say the same of the one that cannot be read,
    // and read the others.
    Point a, b(7, 7, 7), c;
    EXPECT_TRUE(mesh.getTriangleCorners(0, a, b, c));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "pol out of range. 4 1\npIndex out of range. 5 3\npIndex out of range. 5 3\n");
    EXPECT_TRUE(a.data[2] == 3.0f && b.data[0] == 7.0f && c.data[1] == 2.0f);
}

TEST(FlatMesh, PolygonWithoutCornersHasNoCornerToRead)
{
    CFlatMesh mesh;
    mesh.addPolygon(nullptr, 0, -1);
    const int idx[3] = {4, 5, 6};
    mesh.addPolygon(idx, 3, -1);
    EXPECT_EQ(mesh.getFacetSize(0), 0);
    // Corner 0 of the empty polygon would otherwise be the next record's
    // loop count.
    EXPECT_EQ(mesh.getPolygonVertexIndex(0, 0), -1);
    EXPECT_EQ(mesh.addPolygon(nullptr, 3, -1), -1);
    EXPECT_EQ(mesh.addPolygon(idx, -1, -1), -1);
    EXPECT_EQ(mesh.getFacetCount(), 2);
}

TEST(FlatMesh, HeaderVertexCountBeyondStoredCoordinatesIsNotRead)
{
    CFlatMesh mesh;
    mesh.addVertex(Point(1, 2, 3));
    mesh.header.setWord(CPOLHeader::vertexCountOffset, 100000);
    Point p;
    EXPECT_TRUE(mesh.getVertex(0, p));
    EXPECT_FALSE(mesh.getVertex(1, p));
    EXPECT_FALSE(mesh.getVertex(99999, p));
    EXPECT_FALSE(mesh.setVertex(50000, p));
}

TEST(FlatMesh, DeleteAndUndoRestorePolygonsAtTheEnd)
{
    CFlatMesh mesh;
    addFiveTriangles(mesh);
    mesh.modified = false;
    const int doomed[3] = {1, 3, 9};
    EXPECT_TRUE(mesh.deleteFacets(doomed, 3, true));
    EXPECT_TRUE(mesh.modified);
    EXPECT_EQ(firstCorners(mesh), (std::vector<int>{0, 2, 4}));
    EXPECT_EQ(mesh.getTriangleCount(), 5);
    EXPECT_TRUE(mesh.canUndo());

    mesh.modified = false;
    EXPECT_TRUE(mesh.undo());
    EXPECT_TRUE(mesh.modified);
    EXPECT_EQ(firstCorners(mesh), (std::vector<int>{0, 2, 4, 1, 3}));
    EXPECT_EQ(mesh.getTriangleCount(), 5);
    EXPECT_FALSE(mesh.canUndo());
    EXPECT_FALSE(mesh.undo());

    EXPECT_FALSE(mesh.deleteFacets(nullptr, 2, true));
    EXPECT_FALSE(mesh.deleteFacets(doomed, 0, true));
    EXPECT_TRUE(mesh.deleteFacets(doomed, 1, false));
    EXPECT_FALSE(mesh.canUndo());
    EXPECT_EQ(mesh.getFacetCount(), 4);
}

TEST(FlatMesh, DeletingAPolygonListedTwiceRestoresItOnce)
{
    CFlatMesh mesh;
    addFiveTriangles(mesh);
    const int doomed[3] = {2, 2, 0};
    EXPECT_TRUE(mesh.deleteFacets(doomed, 3, true));
    EXPECT_EQ(firstCorners(mesh), (std::vector<int>{1, 3, 4}));
    EXPECT_TRUE(mesh.undo());
    EXPECT_EQ(firstCorners(mesh), (std::vector<int>{1, 3, 4, 2, 0}));
}

TEST(FlatMesh, FacetInfoGrowsWithDefaultRecords)
{
    CFlatMesh mesh;
    int tag = 0;
    double first = 0, second = 0;
    EXPECT_TRUE(mesh.setFacetInfo(5, 4, 2.5, 3.5));
    EXPECT_EQ(mesh.facetInfo.count, 6);
    ASSERT_TRUE(mesh.getFacetInfo(4, tag, first, second));
    EXPECT_EQ(tag, -1);
    EXPECT_EQ(first, -1.0);
    EXPECT_EQ(second, -1.0);
    EXPECT_FALSE(mesh.getFacetInfo(6, tag, first, second));
}

TEST(FlatMesh, NormalsComeFromDerivedData)
{
    CFlatMesh mesh;
    mesh.addTriangle(Point(0, 0, 0), Point(1, 0, 0), Point(0, 1, 0));
    CVector<float, 3> n;
    EXPECT_FALSE(mesh.getVertexNormal(0, n));
    ASSERT_TRUE(mesh.getFacetNormal(0, n));
    EXPECT_NEAR(n[2], 1.0f, 1e-6f);

    // Stored normals: vertex 0 zero, vertex 1 along x; facet 0 along y.
    float vectors[27] = {};
    vectors[3] = 1.0f;
    float facetNormals[3] = {0.0f, 1.0f, 0.0f};
    mesh.derived.vertexVectors = vectors;
    mesh.derived.facetNormals = facetNormals;
    mesh.derived.vertexCount = 3;
    mesh.derived.facetCount = 1;
    EXPECT_FALSE(mesh.getVertexNormal(0, n));
    EXPECT_TRUE(mesh.getVertexNormal(1, n));
    EXPECT_EQ(n[0], 1.0f);
    EXPECT_FALSE(mesh.getVertexNormal(3, n));
    ASSERT_TRUE(mesh.getFacetNormal(0, n));
    EXPECT_EQ(n[1], 1.0f);
    EXPECT_FALSE(mesh.getFacetNormal(1, n));
    mesh.derived = CFlatMesh::CDerivedData();
}

TEST(FlatMesh, FlipReversesCornerOrder)
{
    CFlatMesh mesh;
    const int quad[4] = {0, 1, 2, 3}, pair[2] = {4, 5}, single[1] = {6};
    mesh.addPolygon(quad, 4, -1);
    mesh.addPolygon(pair, 2, -1);
    mesh.addPolygon(single, 1, -1);
    mesh.modified = false;
    const int list[4] = {0, 1, 2, 17};
    EXPECT_TRUE(mesh.flipFacets(list, 4));
    EXPECT_TRUE(mesh.modified);
    const int flipped[4] = {3, 2, 1, 0};
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(mesh.getPolygonVertexIndex(0, k), flipped[k]);
    EXPECT_EQ(mesh.getPolygonVertexIndex(1, 0), 5);
    EXPECT_EQ(mesh.getPolygonVertexIndex(1, 1), 4);
    EXPECT_EQ(mesh.getPolygonVertexIndex(2, 0), 6);
    EXPECT_FALSE(mesh.flipFacets(nullptr, 1));
    EXPECT_FALSE(mesh.flipFacets(list, 0));

    mesh.modified = false;
    EXPECT_TRUE(mesh.flipFacet(0));
    EXPECT_TRUE(mesh.flipFacet(99));
    EXPECT_FALSE(mesh.modified);
    EXPECT_EQ(mesh.getPolygonVertexIndex(0, 0), 0);
}

TEST(FlatMesh, DeletionDropsDerivedDataAndEdgeTable)
{
    CFlatMesh mesh;
    const Point a(0, 0, 0), b(1, 0, 0), c(1, 1, 0), d(0, 1, 0);
    mesh.addQuad(a, b, c, d, true);
    mesh.mergeVertices(1e-6, 1);
    mesh.computeDerivedData();
    ASSERT_GT(mesh.derived.vertexCount, 0);
    ASSERT_GT(mesh.edges.count, 0);
    CVector<float, 3> n;
    ASSERT_TRUE(mesh.getFacetNormal(1, n));
    EXPECT_NEAR(n[2], 1.0f, 1e-5f);

    const int doomed = 0;
    EXPECT_TRUE(mesh.deleteFacets(&doomed, 1, true));
    EXPECT_EQ(mesh.derived.vertexCount, 0);
    EXPECT_EQ(mesh.edges.count, 0);
    EXPECT_FALSE(mesh.getVertexNormal(0, n));
}
