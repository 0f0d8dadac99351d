#include "mesh/FlatMesh.h"
#include "mesh/MeshSlice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

using Point = CVertex<float, 3>;
using Direction = CVector<float, 3>;
using Edge = Mesh::CBaseMesh::CPolygonEdge;
using Slice = Mesh::CBaseMesh::Slice;
constexpr double kPi = std::numbers::pi;

void fillMesh(CFlatMesh& mesh, const std::vector<Point>& points,
              const std::vector<std::vector<int>>& polygons)
{
    for (const Point& p : points)
        mesh.addVertex(p);
    for (const auto& poly : polygons)
        mesh.addPolygon(poly.data(), int(poly.size()), -1);
    ASSERT_TRUE(mesh.buildTopology());
}

// An (n+1) x (n+1) grid of unit quads in z = 0, counter-clockwise about +z,
// vertex (i, j) at index i + (n + 1) j; the quads in skip are left out.
void fillGrid(CFlatMesh& mesh, int n, const std::vector<int>& skip = {})
{
    std::vector<Point> points;
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i)
            points.push_back(Point(float(i), float(j), 0.0f));
    std::vector<std::vector<int>> quads;
    for (int q = 0; q < n * n; ++q)
        if (std::find(skip.begin(), skip.end(), q) == skip.end()) {
            const int a = q % n + (n + 1) * (q / n);
            quads.push_back({a, a + 1, a + n + 2, a + n + 1});
        }
    fillMesh(mesh, points, quads);
}

// Two strips scaled by s: the lower over y in [0, 1] with vertices 1 at
// (1.5, 0) and 4 at (1.5, 1); the upper over y in [3, 4] with a slanted lower
// right edge (2, 3) -> (4, 3.5). An optional flap lies at z = -0.1 just
// outside vertex 1.
void fillStrips(CFlatMesh& mesh, float s, bool flap = false)
{
    std::vector<Point> p = {Point(0, 0, 0),     Point(1.5f * s, 0, 0),  Point(4 * s, 0, 0),
                            Point(0, s, 0),     Point(1.5f * s, s, 0),  Point(4 * s, s, 0),
                            Point(0, 3 * s, 0), Point(2 * s, 3 * s, 0), Point(4 * s, 3.5f * s, 0),
                            Point(0, 4 * s, 0), Point(2 * s, 4 * s, 0), Point(4 * s, 4 * s, 0)};
    std::vector<std::vector<int>> f = {{0, 1, 4, 3}, {1, 2, 5, 4}, {6, 7, 10, 9}, {7, 8, 11, 10}};
    if (flap) {
        for (Point q : {Point(1, -1, -0.1f), Point(2, -1, -0.1f), Point(2, -0.05f, -0.1f),
                        Point(1, -0.05f, -0.1f)})
            p.push_back(q);
        f.push_back({12, 13, 14, 15});
    }
    fillMesh(mesh, p, f);
}

const Edge& edge(CFlatMesh& mesh, int a, int b)
{
    for (int i = 0; i < mesh.edges.count; ++i)
        if (mesh.edges.data[i].vertex0 == a && mesh.edges.data[i].vertex1 == b)
            return mesh.edges.data[i];
    ADD_FAILURE() << "no edge " << a << "->" << b;
    return mesh.edges.data[0];
}

void expectVector(const Direction& v, float x, float y, float z)
{
    EXPECT_NEAR(v[0], x, 1e-6f);
    EXPECT_NEAR(v[1], y, 1e-6f);
    EXPECT_NEAR(v[2], z, 1e-6f);
}

TEST(BaseMeshBoundary, EdgeAndVertexFramesPointOutOfTheMesh)
{
    CFlatMesh tri;
    fillMesh(tri, {Point(0, 0, 0), Point(1, 0, 0), Point(0, 1, 0)}, {{0, 1, 2}});
    Direction side, normal;
    ASSERT_TRUE(tri.getBoundaryEdgeFrame(edge(tri, 0, 1), side, normal));
    expectVector(side, 0, -1, 0);
    expectVector(normal, 0, 0, 1);
    ASSERT_TRUE(tri.getBoundaryEdgeFrameByVertices(0, 2, side, normal));
    expectVector(side, -1, 0, 0);

    CFlatMesh grid;
    fillGrid(grid, 3);
    EXPECT_FALSE(grid.getBoundaryEdgeFrameByVertices(5, 6, side, normal)); // interior only
    EXPECT_FALSE(grid.getBoundaryEdgeFrame(edge(grid, 5, 6), side, normal));
    ASSERT_TRUE(grid.getBoundaryVertexFrame(1, side, normal));
    expectVector(side, 0, -1, 0);
    expectVector(normal, 0, 0, 1);
    ASSERT_TRUE(grid.getBoundaryVertexFrame(15, side, normal));
    expectVector(side, float(std::sqrt(0.5)), float(std::sqrt(0.5)), 0);
}

TEST(BaseMeshBoundary, InteriorVertexOrZeroLengthEdgeHasNoFrame)
{
    CFlatMesh grid;
    fillGrid(grid, 3);
    Direction side(Point(1, 2, 3)), normal(Point(4, 5, 6));
    EXPECT_FALSE(grid.getBoundaryVertexFrame(5, side, normal));
    expectVector(side, 0, 0, 0);
    Edge degenerate = edge(grid, 0, 1);
    degenerate.vertex1 = degenerate.vertex0;
    EXPECT_FALSE(grid.getBoundaryEdgeFrame(degenerate, side, normal));
}

TEST(BaseMeshBoundary, BoundaryAngles)
{
    CFlatMesh grid;
    fillGrid(grid, 3, {4}); // a hole in the middle
    EXPECT_NEAR(grid.getBoundaryAngle(1), 0.0, 1e-6);
    EXPECT_NEAR(grid.getBoundaryAngle(0), kPi / 2, 1e-6);
    EXPECT_NEAR(grid.getBoundaryAngle(5), 1.5 * kPi, 1e-6); // the hole turns right
    EXPECT_DOUBLE_EQ(grid.getBoundaryAngle(99), -1.0);
    CFlatMesh bare; // no edge table
    bare.addVertex(Point(0, 0, 0));
    EXPECT_DOUBLE_EQ(bare.getBoundaryAngle(0), -1.0);

    // The flat mesh answers from its derived data once built; both agree.
    std::vector<double> angles;
    for (int v = 0; v < 16; ++v)
        angles.push_back(grid.getBoundaryAngle(v));
    ASSERT_TRUE(grid.computeDerivedData());
    for (int v = 0; v < 16; ++v)
        EXPECT_NEAR(grid.getBoundaryAngle(v), angles[v], 1e-5) << v;
}

TEST(BaseMeshBoundary, VertexAngles)
{
    CFlatMesh grid;
    fillGrid(grid, 3);
    const Direction up(Point(0, 0, 1));
    EXPECT_NEAR(grid.getVertexAngle(0, 1, 5, nullptr), kPi / 2, 1e-6);
    EXPECT_NEAR(grid.getVertexAngle(5, 1, 0, &up), 1.5 * kPi, 1e-6);
    EXPECT_DOUBLE_EQ(grid.getVertexAngle(0, 5, 6, nullptr), -1.0); // no facet has 0 -> 5
    EXPECT_DOUBLE_EQ(grid.getVertexAngle(0, 1, 2, &up), -1.0);     // collinear

    CFlatMesh tilted;
    fillMesh(tilted, {Point(0, 0, -1), Point(1, 0, 0), Point(1, 1, 1)}, {{0, 1, 2}});
    const Direction longUp(Point(0, 0, 2));
    EXPECT_NEAR(tilted.getVertexAngle(0, 1, 2, &longUp), kPi / 2, 1e-6); // not a unit normal
}

TEST(BaseMeshBoundary, PickNearBoundaryEdgeSeesMeshJustOutside)
{
    CFlatMesh open, flapped;
    fillStrips(open, 1.0f);
    fillStrips(flapped, 1.0f, true);
    EXPECT_TRUE(open.pickNearBoundaryEdge(edge(open, 0, 1), 0.5f, 0.1f));
    EXPECT_FALSE(flapped.pickNearBoundaryEdge(edge(flapped, 0, 1), 0.8f, 0.1f));
    EXPECT_TRUE(flapped.pickNearBoundaryEdge(edge(flapped, 0, 1), 0.2f, 0.1f)); // beside the flap
    EXPECT_FALSE(open.pickNearBoundaryEdge(Edge{}, 0.5f, 0.1f));
}

TEST(BaseMeshBoundary, SliceCrossingsListTagAndBlockedVertex)
{
    CFlatMesh mesh;
    fillStrips(mesh, 1.0f);
    Kor::Set<Slice> out;
    ASSERT_TRUE(mesh.slice(1, out, nullptr, 0.1f, 0));
    // Both edges at vertex 4 cross at the same x: one slice.
    ASSERT_EQ(out.count, 3);
    const float xs[3] = {-4.0f, -3.0f, -1.0f};
    for (int k = 0; k < 3; ++k) {
        const Slice& s = *out.items[k];
        EXPECT_NEAR(s.x, xs[k], 1e-5f);
        EXPECT_NEAR(s.y, 0.0f, 1e-6f);
        EXPECT_NEAR(s.r, -xs[k], 1e-5f);
        ASSERT_TRUE(s.edge >= mesh.edges.data && s.edge < mesh.edges.data + mesh.edges.count);
        Point a, b;
        ASSERT_TRUE(mesh.getVertex(s.edge->vertex0, a) && mesh.getVertex(s.edge->vertex1, b));
        EXPECT_NEAR(lerp(s.t, a, b)[0], 1.5f, 1e-5f);
    }
    EXPECT_FALSE(mesh.slice(1, out, nullptr, 0.1f, -10));
    EXPECT_EQ(out.count, 3);

    Kor::List<int> list; // indices outside the table are passed over
    list.append(-1);
    list.append(int(&edge(mesh, 6, 7) - mesh.edges.data));
    list.append(mesh.edges.count);
    ASSERT_TRUE(mesh.slice(1, out, &list, 0.1f, 0));
    ASSERT_EQ(out.count, 1);
    EXPECT_NEAR(out.items[0]->t, 0.75f, 1e-5f);

    EXPECT_FALSE(mesh.slice(5 + 100, out, nullptr, 0.1f, 0));
    EXPECT_EQ(out.count, 0);
    CFlatMesh blocked;
    fillStrips(blocked, 1.0f, true);
    EXPECT_FALSE(blocked.slice(1, out, nullptr, 0.2f, 0));
}

// The crossing test's product threshold is absolute, so on a finely scaled
// mesh edges wholly on one side of the plane pass it with parameters off the
// edge. Only true crossings may become slices, at every scale.
TEST(BaseMeshBoundary, SliceIgnoresEdgesOnOneSideOfThePlaneOnFineMeshes)
{
    for (float s : {1e-5f, 1.0f, 1e3f}) {
        CFlatMesh mesh;
        fillStrips(mesh, s);
        Kor::Set<Slice> out;
        ASSERT_TRUE(mesh.slice(1, out, nullptr, 0.1f * s, 0)) << s;
        ASSERT_EQ(out.count, 3) << s;
        for (int k = 0; k < 3; ++k) {
            EXPECT_GE(out.items[k]->t, 0.0f);
            EXPECT_LE(out.items[k]->t, 1.0f);
        }
    }
}

} // namespace
