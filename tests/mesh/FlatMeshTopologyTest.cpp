#include "mesh/FlatMesh.h"
#include "mesh/MeshVertex.h"
#include "platform/Diagnostics.h"
#include "support/ScratchDir.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <fstream>
#include <map>
#include <numbers>
#include <set>
#include <sstream>
#include <utility>

namespace {

using Point = CVertex<float, 3>;
using Direction = CVector<float, 3>;
using Edge = Mesh::CBaseMesh::CPolygonEdge;

// A mesh of shared vertices and the given polygons.
void fillMesh(CFlatMesh& mesh, const std::vector<Point>& points,
              const std::vector<std::vector<int>>& polygons)
{
    for (const Point& p : points)
        mesh.addVertex(p);
    for (const auto& poly : polygons)
        mesh.addPolygon(poly.data(), int(poly.size()), -1);
}

// The tetrahedron, outward oriented.
void fillTetrahedron(CFlatMesh& mesh)
{
    fillMesh(mesh, {Point(0, 0, 0), Point(1, 0, 0), Point(0, 1, 0), Point(0, 0, 1)},
             {{0, 2, 1}, {0, 1, 3}, {1, 2, 3}, {0, 3, 2}});
}

// An (n+1) x (n+1) grid of quads over z = height(x, y), spacing h; vertex
// (i, j) has index i + (n + 1) j. Quads run counter-clockwise seen from +z.
template <class Height> void fillQuadGrid(CFlatMesh& mesh, int n, float h, Height height)
{
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i)
            mesh.addVertex(Point(i * h, j * h, height(i * h, j * h)));
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int a = i + (n + 1) * j;
            const int quad[4] = {a, a + 1, a + n + 2, a + n + 1};
            mesh.addPolygon(quad, 4, -1);
        }
}

// Every interior coedge has exactly one partner on the same edge running the
// other way, in the partner's polygon.
void expectConsistentPairs(CFlatMesh& mesh)
{
    std::map<std::pair<int, int>, int> directed;
    for (int i = 0; i < mesh.edges.count; ++i)
        ++directed[{mesh.edges.data[i].vertex0, mesh.edges.data[i].vertex1}];
    for (int i = 0; i < mesh.edges.count; ++i) {
        const Edge& e = mesh.edges.data[i];
        EXPECT_EQ(directed[std::make_pair(e.vertex0, e.vertex1)], 1)
            << e.vertex0 << "->" << e.vertex1;
        if (e.facet2 == -1)
            continue;
        int partners = 0;
        for (int k = 0; k < mesh.edges.count; ++k) {
            const Edge& f = mesh.edges.data[k];
            if (f.vertex0 == e.vertex1 && f.vertex1 == e.vertex0) {
                ++partners;
                EXPECT_EQ(f.facet1, e.facet2);
                EXPECT_EQ(f.facet2, e.facet1);
            }
        }
        EXPECT_EQ(partners, 1);
    }
}

TEST(FlatMeshTopology, EdgeTableOfClosedAndOpenMeshes)
{
    CFlatMesh closed;
    fillTetrahedron(closed);
    ASSERT_TRUE(closed.buildTopology());
    ASSERT_EQ(closed.edges.count, 12);
    for (int i = 0; i < closed.edges.count; ++i) {
        EXPECT_NE(closed.edges.data[i].facet2, -1);
        EXPECT_GT(closed.edges.data[i].length, 0.0f);
    }
    expectConsistentPairs(closed);

    // Two triangles of their own vertices sharing a side: the merge joins
    // the shared corners without compacting the stored vertices.
    CFlatMesh open;
    open.addTriangle(Point(0, 0, 0), Point(1, 0, 0), Point(0, 1, 0));
    open.addTriangle(Point(1, 0, 0), Point(1, 1, 0), Point(0, 1, 0));
    testing::internal::CaptureStdout();
    ASSERT_TRUE(open.mergeVertices(1e-8, 0));
    EXPECT_NE(testing::internal::GetCapturedStdout().find("new count =4 old # v=6 dTol= "),
              std::string::npos);
    EXPECT_EQ(open.getVertexCount(true), 6);
    std::set<int> referenced;
    for (int p = 0; p < 2; ++p)
        for (int k = 0; k < 3; ++k)
            referenced.insert(open.getPolygonVertexIndex(p, k));
    EXPECT_EQ(referenced.size(), 4u);

    ASSERT_TRUE(open.buildTopology());
    ASSERT_EQ(open.edges.count, 6);
    int boundary = 0;
    for (int i = 0; i < 6; ++i) {
        const Edge& e = open.edges.data[i];
        if (e.facet2 == -1)
            ++boundary;
        else
            EXPECT_EQ(e.facet2, 1 - e.facet1);
    }
    EXPECT_EQ(boundary, 4);
    expectConsistentPairs(open);
}

TEST(FlatMeshTopology, IsolatedWronglyOrientedPolygonIsFlipped)
{
    CFlatMesh mesh;
    fillMesh(mesh, {Point(0, 0, 0), Point(1, 0, 0), Point(0, 1, 0), Point(0, 0, 1)},
             {{0, 2, 1}, {0, 1, 3}, {3, 2, 1}, {0, 3, 2}});
    ASSERT_TRUE(mesh.buildTopology());
    EXPECT_EQ(mesh.getPolygonVertexIndex(2, 0), 1);
    EXPECT_EQ(mesh.getPolygonVertexIndex(2, 1), 2);
    EXPECT_EQ(mesh.getPolygonVertexIndex(2, 2), 3);
    expectConsistentPairs(mesh);
}

TEST(FlatMeshTopology, NonManifoldEdgeDoesNotHideWronglyOrientedNeighbour)
{
    // A tetrahedron with polygon 1 reversed, and three triangles on the edge
    // 0-1 whose coedges sort just before those of the reversed polygon.
    CFlatMesh mesh;
    fillMesh(mesh,
             {Point(0, 0, 0), Point(-1, 0, 0), Point(1, 0, 0), Point(0, 1, 0), Point(0, 0, 1),
              Point(-0.5f, 1, 0), Point(-0.5f, -1, 0), Point(-0.5f, 0, 1)},
             {{0, 3, 2}, {4, 2, 0}, {2, 3, 4}, {0, 4, 3}, {0, 1, 5}, {1, 0, 6}, {1, 0, 7}});
    testing::internal::CaptureStdout();
    ASSERT_TRUE(mesh.buildTopology());
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(mesh.getPolygonVertexIndex(1, 0), 0);
    EXPECT_EQ(mesh.getPolygonVertexIndex(1, 1), 2);
    EXPECT_EQ(mesh.getPolygonVertexIndex(1, 2), 4);
}

TEST(FlatMeshTopology, CoedgesOnOnePolygonAreReportedAndDumped)
{
    Platform::setDiagnosticsFolderOverride(mwtest::scratchDir());
    CFlatMesh mesh;
    fillMesh(mesh, {Point(0, 0, 0), Point(1, 0, 0), Point(0, 1, 0)}, {{0, 1, 0, 2}});
    testing::internal::CaptureStdout();
    EXPECT_TRUE(mesh.buildTopology());
    EXPECT_NE(testing::internal::GetCapturedStdout().find("uups coedges on the same polygon ! 0 "),
              std::string::npos);
    std::ifstream dump(Platform::diagnosticsPath("c:/tmp/coedge-error.out"));
    std::stringstream text;
    text << dump.rdbuf();
    EXPECT_FALSE(text.str().empty());
    Platform::setDiagnosticsFolderOverride("");
}

TEST(FlatMeshTopology, WeldingAndMerging)
{
    // Exact weld: equal points share one index, numbered in coordinate order.
    CFlatMesh weld;
    fillMesh(weld, {Point(1, 0, 0), Point(0, 0, 0), Point(1, 0, 0)}, {{0, 1, 2}});
    ASSERT_TRUE(weld.weldEqualVertices(0.5));
    ASSERT_EQ(weld.getVertexCount(true), 2);
    Point p;
    ASSERT_TRUE(weld.getVertex(0, p));
    EXPECT_EQ(p, Point(0, 0, 0));
    ASSERT_TRUE(weld.getVertex(1, p));
    EXPECT_EQ(p, Point(1, 0, 0));
    EXPECT_EQ(weld.getPolygonVertexIndex(0, 0), 1);
    EXPECT_EQ(weld.getPolygonVertexIndex(0, 1), 0);
    EXPECT_EQ(weld.getPolygonVertexIndex(0, 2), 1);
    EXPECT_FLOAT_EQ(weld.getBoundingBox().max[0], 1.0f);

    // Tolerance merge: 1 joins 0, but 2 (close to 1 only) is not chained to 0.
    CFlatMesh merge;
    fillMesh(merge, {Point(0, 0, 0), Point(0.6f, 0, 0), Point(1.2f, 0, 0), Point(0, 5, 0)},
             {{0, 1, 3}, {1, 2, 3}});
    testing::internal::CaptureStdout();
    ASSERT_TRUE(merge.mergeVertices(1.0, 0));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(merge.getPolygonVertexIndex(0, 1), 0);
    EXPECT_EQ(merge.getPolygonVertexIndex(1, 0), 0);
    EXPECT_EQ(merge.getPolygonVertexIndex(1, 1), 2);
    EXPECT_EQ(merge.getVertexCount(true), 4);

    // Too few vertices: refused, nothing changed.
    CFlatMesh tiny;
    fillMesh(tiny, {Point(0, 0, 0), Point(0, 0, 0)}, {{0, 1, 1}});
    ASSERT_TRUE(tiny.buildTopology());
    EXPECT_FALSE(tiny.mergeVertices(1e-8, 0));
    EXPECT_FALSE(tiny.weldEqualVertices(1e-8));
    EXPECT_EQ(tiny.getPolygonVertexIndex(0, 0), 0);
    EXPECT_EQ(tiny.getPolygonVertexIndex(0, 1), 1);
    EXPECT_EQ(tiny.edges.count, 3);
}

// A mesh merged into another, as the loaded mesh takes a file's: every place
// of the two stays one vertex, shared places become one, and the merge says
// how many it kept, also far from the origin, where cells of 1e-8 have keys
// beyond the int range.
TEST(FlatMeshTopology, MergeOfMeshesFarFromTheOriginKeepsEveryVertex)
{
    const int n = 24; // 625 vertices a grid
    auto grid = [n](CFlatMesh& mesh, float x0, float y0, float z0) {
        CFlatMesh source;
        fillQuadGrid(source, n, 0.5f, [](float, float y) { return 0.01f * y * y; });
        for (int v = 0; v < source.getVertexCount(true); ++v) {
            Point p;
            source.getVertex(v, p);
            source.setVertex(v, Point(p[0] + x0, p[1] + y0, p[2] + z0));
        }
        testing::internal::CaptureStdout();
        mesh.copyMesh(source);
        return testing::internal::GetCapturedStdout();
    };
    const struct {
        const char* name;
        float first[3], second[3];
        int kept;
    } cases[] = {
        {"far apart", {0, 0, 0}, {1.2e4f, 1.2e4f, 1.2e4f}, 2 * 625},
        {"both far, apart", {1.2e4f, 1.2e4f, 1.2e4f}, {1.2e4f, 1.2e4f + 50, 1.2e4f}, 2 * 625},
        {"both far, overlapping", {1.2e4f, -1.2e4f, 1.2e4f}, {1.2e4f, -1.2e4f, 1.2e4f}, 625},
        {"half shared at a million", {1e6f, 1e6f, 1e6f}, {1e6f + 6, 1e6f, 1e6f}, 2 * 625 - 13 * 25},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CFlatMesh mesh;
        grid(mesh, c.first[0], c.first[1], c.first[2]);
        const std::string said = grid(mesh, c.second[0], c.second[1], c.second[2]);
        std::set<int> referenced;
        std::set<std::array<float, 3>> places;
        for (int p = 0; p < mesh.getFacetCount(); ++p)
            for (int k = 0; k < mesh.getPolygonSize(p); ++k) {
                const int v = mesh.getPolygonVertexIndex(p, k);
                Point q;
                ASSERT_TRUE(mesh.getVertex(v, q));
                referenced.insert(v);
                places.insert({q[0], q[1], q[2]});
            }
        EXPECT_EQ(mesh.getFacetCount(), 2 * n * n);
        EXPECT_EQ(int(referenced.size()), c.kept);
        EXPECT_EQ(int(places.size()), c.kept);
        EXPECT_NE(said.find("new count =" + std::to_string(c.kept) + " old # v="),
                  std::string::npos)
            << said;
    }
}

TEST(FlatMeshTopology, NonPositiveToleranceWeldsExactly)
{
    CFlatMesh mesh;
    fillMesh(mesh, {Point(0, 0, 0), Point(1, 0, 0), Point(0, 0, 0), Point(0, 1, 0)},
             {{0, 1, 3}, {2, 3, 1}});
    ASSERT_TRUE(mesh.mergeVertices(0.0, 0));
    EXPECT_EQ(mesh.getVertexCount(true), 3);
    EXPECT_EQ(mesh.getPolygonVertexIndex(0, 0), mesh.getPolygonVertexIndex(1, 0));
}

TEST(FlatMeshTopology, UndoAfterWeldDoesNotRestoreStaleIndices)
{
    CFlatMesh mesh;
    fillMesh(mesh, {Point(2, 0, 0), Point(0, 0, 0), Point(2, 0, 0), Point(0, 1, 0)},
             {{0, 1, 3}, {2, 3, 1}});
    ASSERT_TRUE(mesh.deleteFacet(0));
    ASSERT_TRUE(mesh.canUndo());
    ASSERT_TRUE(mesh.weldEqualVertices(0.0));
    EXPECT_FALSE(mesh.canUndo());
    EXPECT_EQ(mesh.getFacetCount(), 1);
}

TEST(FlatMeshTopology, VertexNormalsOfFlatAndCurvedMeshes)
{
    CFlatMesh flat;
    fillQuadGrid(flat, 3, 1.0f, [](float, float) { return 0.0f; });
    ASSERT_TRUE(flat.computeDerivedData());
    Direction n;
    for (int v = 0; v < 16; ++v) {
        ASSERT_TRUE(flat.getVertexNormal(v, n)) << v;
        EXPECT_NEAR(n[0], 0.0f, 1e-6f);
        EXPECT_NEAR(n[1], 0.0f, 1e-6f);
        EXPECT_NEAR(n[2], 1.0f, 1e-6f) << v;
    }
    ASSERT_TRUE(flat.getFacetNormal(4, n));
    EXPECT_NEAR(n[2], 1.0f, 1e-6f);
    EXPECT_NEAR(flat.derived.facets[4].area, 1.0f, 1e-6f);

    // A paraboloid cap at several scales: interior normals follow the
    // surface normal (-2 c x, -2 c y, 1) normalised.
    for (float scale : {1e-4f, 1.0f, 1e4f}) {
        const int m = 8;
        const float h = 0.25f * scale;
        const float c = 0.3f / scale;
        const float centre = 0.5f * m * h;
        CFlatMesh curved;
        fillQuadGrid(curved, m, h, [&](float x, float y) {
            const float dx = x - centre, dy = y - centre;
            return c * (dx * dx + dy * dy);
        });
        ASSERT_TRUE(curved.computeDerivedData());
        for (int j = 1; j < m; ++j)
            for (int i = 1; i < m; ++i) {
                const int v = i + (m + 1) * j;
                ASSERT_TRUE(curved.getVertexNormal(v, n));
                const double dx = i * h - centre, dy = j * h - centre;
                double e[3] = {-2 * c * dx, -2 * c * dy, 1.0};
                const double len = std::sqrt(e[0] * e[0] + e[1] * e[1] + 1.0);
                const double cosine = (n[0] * e[0] + n[1] * e[1] + n[2] * e[2]) / len;
                EXPECT_GT(cosine, 0.999) << "scale " << scale << " vertex " << v;
            }
    }
}

TEST(FlatMeshTopology, LegsRingsAndBoundaryQueries)
{
    CFlatMesh mesh;
    fillQuadGrid(mesh, 2, 1.0f, [](float, float) { return 0.0f; });
    ASSERT_TRUE(mesh.computeDerivedData());
    ASSERT_EQ(mesh.derived.vertexCount, 9);

    // The centre vertex: four legs, each (following corner, preceding
    // corner, polygon) of one quad around it.
    const CFlatMesh::MeshVertex& centre = mesh.derived.vertices[4];
    ASSERT_EQ(centre.legs.count, 4);
    ASSERT_EQ(centre.edges.count, 4);
    for (int k = 0; k < 4; ++k) {
        const CFlatMesh::CPolygonLeg& leg = centre.legs.data[k];
        EXPECT_EQ(mesh.getCornerBeforeEdge(leg.polygon, 4, leg.next), leg.previous);
    }
    Kor::List<int> ring, polygons;
    ASSERT_TRUE(mesh.getVertexRing(4, ring, &polygons));
    ASSERT_EQ(ring.count, 4);
    ASSERT_EQ(polygons.count, 4);
    // The edge neighbours in turn around the centre; polygon k follows the
    // centre by neighbour k and precedes it by neighbour k + 1.
    std::set<int> seen;
    for (int k = 0; k < 4; ++k) {
        const int a = ring[k], b = ring[(k + 1) % 4];
        EXPECT_TRUE(a == 1 || a == 3 || a == 5 || a == 7) << a;
        EXPECT_NE(a + b, 8); // 1-7 and 3-5 are opposite, never consecutive
        EXPECT_EQ(mesh.getCornerBeforeEdge(polygons[k], 4, a), b);
        seen.insert(a);
    }
    EXPECT_EQ(seen.size(), 4u);

    // A boundary vertex in the middle of a side: three neighbours in order.
    ASSERT_TRUE(mesh.getVertexRing(1, ring, &polygons));
    ASSERT_EQ(ring.count, 3);
    EXPECT_EQ(ring[1], 4);
    EXPECT_TRUE((ring[0] == 0 && ring[2] == 2) || (ring[0] == 2 && ring[2] == 0));

    EXPECT_DOUBLE_EQ(mesh.getBoundaryAngle(4), -1.0);
    // The angle by which the boundary turns: none along a straight side, a
    // quarter turn at a corner.
    EXPECT_NEAR(mesh.getBoundaryAngle(1), 0.0, 1e-3);
    EXPECT_NEAR(mesh.getBoundaryAngle(0), 0.5 * std::numbers::pi, 1e-6);

    Direction side, normal;
    ASSERT_TRUE(mesh.getBoundaryVertexFrame(1, side, normal));
    EXPECT_NEAR(normal[2], 1.0f, 1e-6f);
    EXPECT_NEAR(std::abs(side[1]), 1.0f, 1e-6f);
    EXPECT_FALSE(mesh.getBoundaryVertexFrame(4, side, normal));

    // A corner vertex has two edges and takes its quad's normal.
    EXPECT_EQ(mesh.derived.vertices[0].edges.count, 2);
    ASSERT_TRUE(mesh.getVertexNormal(0, normal));
    EXPECT_NEAR(normal[2], 1.0f, 1e-6f);

    ASSERT_TRUE(mesh.clearDerivedData());
    EXPECT_EQ(mesh.derived.vertexCount, 0);
    EXPECT_EQ(mesh.edges.count, 0);
    EXPECT_FALSE(mesh.getVertexNormal(4, normal));
    EXPECT_FALSE(mesh.getVertexRing(4, ring, nullptr));
}

TEST(FlatMeshTopology, RebuiltTopologyLeavesNoDanglingVertexRecords)
{
    CFlatMesh mesh;
    fillQuadGrid(mesh, 2, 1.0f, [](float, float) { return 0.0f; });
    ASSERT_TRUE(mesh.computeDerivedData());
    ASSERT_TRUE(mesh.buildTopology());
    EXPECT_EQ(mesh.derived.vertexCount, 0);
    EXPECT_EQ(mesh.edges.count, 16);
    Direction n;
    EXPECT_FALSE(mesh.getVertexNormal(4, n));
    ASSERT_TRUE(mesh.computeDerivedData());
    EXPECT_TRUE(mesh.getVertexNormal(4, n));
}

TEST(FlatMeshTopology, NonManifoldEdgeDoesNotMisalignLaterPairs)
{
    // Three triangles on the edge 0-1; the lone third coedge must not take
    // the boundary edge 0-2 that follows it in the table along with it.
    CFlatMesh mesh;
    fillMesh(
        mesh,
        {Point(0, 0, 0), Point(1, 0, 0), Point(0.5f, 1, 0), Point(0.5f, -1, 0), Point(0.5f, 0, 1)},
        {{0, 1, 2}, {1, 0, 3}, {1, 0, 4}});
    testing::internal::CaptureStdout();
    mesh.computeDerivedData();
    EXPECT_NE(testing::internal::GetCapturedStdout().find("partner Indices wrong: 1"),
              std::string::npos);
    EXPECT_EQ(mesh.derived.vertices[2].edges.count, 2);
    Direction n;
    ASSERT_TRUE(mesh.getVertexNormal(2, n));
    EXPECT_NEAR(n[2], 1.0f, 1e-6f);
}

} // namespace
