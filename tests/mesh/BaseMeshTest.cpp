#include "mesh/BaseMesh.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

namespace {

using Point = CVertex<float, 3>;
using Direction = CVector<float, 3>;

// A polygon mesh over plain vectors: just the storage operations.
class TestMesh : public Mesh::CBaseMesh {
public:
    std::vector<std::array<float, 3>> vertices;
    std::vector<std::vector<int>> polygons;
    int merges = 0, topologies = 0;
    std::vector<int> drawn;

    int getTriangleCount() override { return int(polygons.size()); }
    bool getTriangleRecord(int, float*) override { return false; }
    int getFacetCount() override { return int(polygons.size()); }
    int getVertexCount(bool) override { return int(vertices.size()); }
    bool getVertex(int i, Point& out) override
    {
        if (i < 0 || i >= int(vertices.size()))
            return false;
        out.set(vertices[i].data());
        return true;
    }
    using Mesh::CBaseMesh::getVertex;
    int getFacetSize(int i) override
    {
        return i >= 0 && i < getFacetCount() ? int(polygons[i].size()) : 0;
    }
    int getPolygonVertexIndex(int p, int k) override
    {
        const auto& poly = polygons[p];
        return poly[((k % int(poly.size())) + poly.size()) % poly.size()];
    }
    bool getTriangleCorner(int i, int k, Point& out) override
    {
        return getVertex(getPolygonVertexIndex(i, k), out);
    }
    int addVertex(const Point& p) override
    {
        vertices.push_back({p[0], p[1], p[2]});
        return int(vertices.size()) - 1;
    }
    int addPolygon(const int* idx, int n, int) override
    {
        polygons.emplace_back(idx, idx + n);
        return int(polygons.size()) - 1;
    }
    bool mergeVertices(double, int) override { return ++merges > 0; }
    bool buildTopology() override { return ++topologies > 0; }
    bool drawFacet(int i, bool) override
    {
        drawn.push_back(i);
        return true;
    }

    int add(float x, float y, float z) { return addVertex(Point(x, y, z)); }
};

// Only the abstract operations, with no storage.
class BareMesh : public Mesh::CBaseMesh {
public:
    int getTriangleCount() override { return 0; }
    bool getTriangleRecord(int, float*) override { return false; }
    bool getTriangleCorner(int, int, Point&) override { return false; }
};

// A mesh of many facets whose corners cannot be read: each is drawn alone.
class CountMesh : public BareMesh {
public:
    int facets = 0;
    long drawnCount = 0;
    int lastDrawn = -1;
    int getTriangleCount() override { return facets; }
    bool drawFacet(int i, bool) override
    {
        ++drawnCount;
        lastDrawn = i;
        return true;
    }
};

struct CountedUndo : Mesh::CMeshUndoItem {
    int* deleted;
    explicit CountedUndo(int* d) : deleted(d) {}
    ~CountedUndo() override { ++*deleted; }
    bool undo() override { return false; }
};

void makeUnitSquare(TestMesh& m)
{
    m.add(0, 0, 0);
    m.add(1, 0, 0);
    m.add(1, 1, 0);
    m.add(0, 1, 0);
    m.polygons = {{0, 1, 2, 3}};
}

TEST(BaseMesh, BareMeshAnswersNotSupported)
{
    BareMesh m;
    EXPECT_EQ(m.getFacetCount(), 0);
    EXPECT_EQ(m.getVertexCount(true), 0);
    EXPECT_EQ(m.getFacetSize(0), 0);
    EXPECT_EQ(m.getFacetSize(-1), 0);
    m.computeBoundingBox();
    EXPECT_TRUE(m.getBoundingBox().isEmpty());
    Point p;
    float xyz[3];
    Direction n;
    EXPECT_FALSE(m.getVertex(0, p));
    EXPECT_FALSE(m.getVertex(0, xyz));
    EXPECT_EQ(m.addVertex(p), -1);
    EXPECT_EQ(m.addPolygon(nullptr, 0, 0), -1);
    EXPECT_EQ(m.getPolygonVertexIndex(0, 0), -1);
    EXPECT_FALSE(m.getFacetCorner(0, 0, p));
    EXPECT_FALSE(m.getFacetNormal(0, n));
    EXPECT_FALSE(m.getFacetCentroid(0, p));
    EXPECT_FALSE(m.deleteFacet(m.getFacetCount()));
    EXPECT_FALSE(m.modified);
    EXPECT_FALSE(m.buildTopology());
    EXPECT_TRUE(m.hasFacetValues());
    EXPECT_EQ(m.reserved, -1);
    EXPECT_TRUE(m.lock());
    EXPECT_TRUE(m.lock()); // recursive
    EXPECT_TRUE(m.unlock());
    EXPECT_TRUE(m.unlock());
    const Mesh::CBaseMesh::CPolygonEdge e;
    EXPECT_EQ(e.vertex0, -1);
    EXPECT_EQ(e.vertex1, -1);
    EXPECT_EQ(e.facet1, -1);
    EXPECT_EQ(e.facet2, -1);
    EXPECT_FALSE(e.mark);
}

TEST(BaseMesh, TriangulatorSplitsByStepDoubling)
{
    TestMesh m;
    for (int k = 0; k < 7; ++k)
        m.add(std::cos(k * 0.9f), std::sin(k * 0.9f), 0);
    m.polygons = {{0, 1, 2}, {0, 1, 2, 3}, {0, 1, 2, 3, 4}, {0, 1, 2, 3, 4, 5, 6}, {0, 1}};
    const std::vector<std::vector<std::array<int, 3>>> expected = {
        {{0, 1, 2}},
        {{0, 1, 2}, {2, 3, 4}},
        {{0, 1, 2}, {2, 3, 4}, {0, 2, 4}},
        {{0, 1, 2}, {2, 3, 4}, {4, 5, 6}, {0, 2, 4}, {4, 6, 7}},
    };
    for (int f = 0; f < 4; ++f) {
        Mesh::CPolyTriangulator t(&m, f);
        for (size_t n = 0; n < expected[f].size(); ++n) {
            std::array<int, 3> k;
            EXPECT_TRUE(t.nextCorners(k[0], k[1], k[2]));
            EXPECT_EQ(k, expected[f][n]) << "facet " << f << " triangle " << n;
        }
        int a, b, c;
        EXPECT_FALSE(t.nextCorners(a, b, c));
    }
    Mesh::CPolyTriangulator line(&m, 4);
    Point a, b, c;
    EXPECT_FALSE(line.next(a, b, c));
}

TEST(BaseMesh, FacetGeometryOfPolygons)
{
    TestMesh m;
    makeUnitSquare(m);
    EXPECT_DOUBLE_EQ(m.getFacetPerimeter(0), 4.0);
    Direction n;
    EXPECT_NEAR(m.getFacetAreaAndNormal(0, n), 1.0, 1e-7);
    EXPECT_FLOAT_EQ(n[2], 1.0f);
    EXPECT_NEAR(m.getFacetArea(0), 1.0, 1e-7);
    Point c;
    ASSERT_TRUE(m.getFacetCentroid(0, c));
    EXPECT_TRUE((c == Point(0.5f, 0.5f, 0.0f)));
    const float w[4] = {0.0f, 0.5f, 0.5f, 0.0f};
    ASSERT_TRUE(m.evalFacetPoint(0, c, w));
    EXPECT_TRUE((c == Point(1.0f, 0.5f, 0.0f)));
    EXPECT_FALSE(m.evalFacetPoint(0, c, nullptr));
    m.computeBoundingBox();
    EXPECT_TRUE((m.getBoundingBox().max == Point(1, 1, 0)));

    // A folded quad triangulated as (0,1,2), (2,3,0): its normal is the
    // normalised sum of the two unit triangle normals, not area weighted.
    m.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {1, 1, 2}};
    ASSERT_TRUE(m.getFacetNormal(0, n));
    Direction t1, t2, sum;
    triangleNormalAndArea(Point(0, 0, 0), Point(1, 0, 0), Point(1, 1, 0), t1);
    triangleNormalAndArea(Point(1, 1, 0), Point(1, 1, 2), Point(0, 0, 0), t2);
    sum = t1;
    sum += t2;
    normalize(sum);
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(n[k], sum[k], 1e-6f);
}

TEST(BaseMesh, TinyTriangleNormalFallsBackToTriangulatedSum)
{
    TestMesh m;
    m.add(0, 0, 0);
    m.add(1e-3f, 0, 0);
    m.add(0, 1e-3f, 0);
    m.polygons = {{0, 1, 2}};
    Direction n;
    EXPECT_FALSE(m.getTriangleNormal(0, n)); // area 5e-7
    ASSERT_TRUE(m.getFacetNormal(0, n));
    EXPECT_NEAR(n[2], 1.0f, 1e-6f);
    EXPECT_TRUE(m.getVertexTriangleNormal(0, 1, 2, n)); // area above 1e-8
    EXPECT_FALSE(m.getVertexTriangleNormal(0, 1, 9, n));
}

TEST(BaseMesh, FacetQualityAndEdges)
{
    TestMesh m;
    m.add(0, 0, 0);
    m.add(1, 0, 0);
    m.add(0.5f, std::sqrt(3.0f) / 2, 0);
    m.add(0.5f, -1, 0);
    m.polygons = {{0, 1, 2}, {1, 0, 3}, {0, 1}};
    EXPECT_NEAR(m.facetQuality(0), 1.0, 1e-6);
    EXPECT_LT(m.facetQuality(1), 1.0);
    EXPECT_EQ(m.facetQuality(2), DBL_MAX);
    int facet = -1;
    EXPECT_TRUE(m.findFacetWithEdge(1, 0, facet));
    EXPECT_EQ(facet, 1);
    EXPECT_TRUE(m.findFacetWithEdge(2, 0, facet)); // closing edge
    EXPECT_EQ(facet, 0);
    EXPECT_FALSE(m.findFacetWithEdge(2, 1, facet));

    // Without an edge table every facet's edges count, shared ones twice.
    m.polygons = {{0, 1, 2}, {1, 0, 3}};
    CStatistic s = m.getEdgeLengthStatistics();
    EXPECT_EQ(s.count, 6);
    EXPECT_NEAR(s.min, 1.0, 1e-6);
    Mesh::CBaseMesh::CPolygonEdge e;
    e.length = 2.5f;
    m.edges.append(e);
    s = m.getEdgeLengthStatistics();
    EXPECT_EQ(s.count, 1);
    EXPECT_EQ(s.max, 2.5);

    Kor::List<int> loop;
    Kor::List<float> lengths;
    loop.append(0);
    EXPECT_FALSE(m.getLoopEdgeLengths(loop, lengths));
    loop.append(1);
    loop.append(3);
    ASSERT_TRUE(m.getLoopEdgeLengths(loop, lengths));
    ASSERT_EQ(lengths.count, 3);
    EXPECT_FLOAT_EQ(lengths[0], 1.0f);
    EXPECT_FLOAT_EQ(lengths[2], std::sqrt(1.25f)); // closing edge 3 -> 0
}

// Meshes of 786,432 facets and more were drawn by every second (third, ...)
// facet: a sheet full of holes, where no net could be placed.
TEST(BaseMesh, DrawOfVeryLargeMeshesLeftHoles)
{
    CountMesh m;
    m.facets = 800000;
    m.draw(0);
    EXPECT_EQ(m.drawnCount, 0); // not modified
    m.modified = true;
    m.draw(0);
    EXPECT_EQ(m.drawnCount, 800000);
    EXPECT_EQ(m.lastDrawn, 799999);
    EXPECT_FALSE(m.modified);
}

TEST(BaseMesh, UndoItemsAreOwnedByTheMesh)
{
    int deleted = 0;
    {
        BareMesh m;
        EXPECT_FALSE(m.canUndo());
        EXPECT_FALSE(m.addUndoItem(nullptr));
        EXPECT_TRUE(m.addUndoItem(new CountedUndo(&deleted)));
        EXPECT_TRUE(m.canUndo());
        EXPECT_TRUE(m.clearUndo());
        EXPECT_EQ(deleted, 1);
        EXPECT_FALSE(m.canUndo());
        m.addUndoItem(new CountedUndo(&deleted));
        m.addUndoItem(new CountedUndo(&deleted));
    }
    EXPECT_EQ(deleted, 3);
}

TEST(BaseMesh, DeleteFacetChecksTheIndex)
{
    TestMesh m;
    makeUnitSquare(m);
    EXPECT_FALSE(m.deleteFacet(1));
    EXPECT_FALSE(m.modified);
    EXPECT_FALSE(m.deleteFacet(0)); // base deleteFacets: not supported
    EXPECT_TRUE(m.modified);
}

TEST(BaseMesh, ReleaseFacetHashEmptiesTheHashBeforeFreeingTheCentroids)
{
    TestMesh m;
    makeUnitSquare(m);
    m.facetCentroids = new Mesh::CFacetCentroid[2];
    m.facetCentroids[0] = Mesh::CFacetCentroid(Point(0.5f, 0.5f, 0), 0);
    m.facetCentroids[1] = Mesh::CFacetCentroid(Point(9, 9, 9), 0);
    m.facetHash.insert(m.facetCentroids[0], true, true);
    m.facetHash.insert(m.facetCentroids[1], true, true);
    m.releaseFacetHash();
    EXPECT_EQ(m.facetCentroids, nullptr);
    EXPECT_EQ(m.facetHash.cells.count, 0);
    // And again through the destructor.
    m.facetCentroids = new Mesh::CFacetCentroid[1];
    m.facetHash.insert(m.facetCentroids[0], true, true);
}

TEST(BaseMesh, CopyMeshLeavesOutFacetsOfMoreThanTwentyCorners)
{
    TestMesh source;
    makeUnitSquare(source);
    std::vector<int> big;
    for (int k = 0; k < 21; ++k)
        big.push_back(source.add(std::cos(k * 0.3f), std::sin(k * 0.3f), 2));
    source.polygons.push_back(big);
    source.polygons.push_back({0, 1, 2});
    TestMesh target;
    ASSERT_TRUE(target.copyMesh(source));
    ASSERT_EQ(target.polygons.size(), 2u);
    EXPECT_EQ(target.vertices.size(), 7u); // corners copied one by one
    EXPECT_EQ(target.polygons[1], (std::vector<int>{4, 5, 6}));
    EXPECT_EQ(target.merges, 1);
    EXPECT_EQ(target.topologies, 1);
    EXPECT_TRUE(target.modified);
    EXPECT_TRUE((target.getBoundingBox().max == Point(1, 1, 0)));
}

} // namespace
