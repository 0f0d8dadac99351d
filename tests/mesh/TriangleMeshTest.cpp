#include "mesh/TriangleMesh.h"

#include "mesh/MeshGeometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using Mesh::CSTLVertex;
using Mesh::CTriangleMesh;
using Mesh::CTriangularEdge;
using Point = CVertex<float, 3>;

namespace {

int countOf(const std::string& text, const std::string& word)
{
    int n = 0;
    for (std::size_t at = text.find(word); at != std::string::npos;
         at = text.find(word, at + word.size()))
        ++n;
    return n;
}

// A sphere patch of radius r around the pole (0, 0, r): the grid
// (u, v) in [-0.3, 0.3]^2 projected radially, two triangles per cell.
void buildSpherePatch(CTriangleMesh& mesh, float r, int n)
{
    auto at = [&](int i, int j) {
        const double u = -0.3 + 0.6 * i / n, v = -0.3 + 0.6 * j / n;
        const double s = r / std::sqrt(u * u + v * v + 1.0);
        return Point(float(u * s), float(v * s), float(s));
    };
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            mesh.addTriangle(at(i, j), at(i + 1, j), at(i + 1, j + 1));
            mesh.addTriangle(at(i, j), at(i + 1, j + 1), at(i, j + 1));
        }
}

} // namespace

TEST(TriangleMesh, VerticesAddedThroughHashAreShared)
{
    CTriangleMesh mesh;
    // Corners on both sides of cell borders (cell size 5).
    const Point a(-5.0f, 0.0f, 0.0f), b(5.0f, 0.0f, 0.0f), c(0.0f, 4.999f, 0.0f),
        d(0.0f, -7.5f, 0.0f);
    EXPECT_EQ(mesh.addTriangle(a, b, c), 0);
    EXPECT_EQ(mesh.addTriangle(b, a, d), 1);
    EXPECT_EQ(mesh.getHashVertexCount(), 4);
    EXPECT_EQ(mesh.triangles.data[0].v[0], mesh.triangles.data[1].v[1]);
    EXPECT_EQ(mesh.triangles.data[0].v[1], mesh.triangles.data[1].v[0]);
    EXPECT_EQ(mesh.findVertex(c), mesh.triangles.data[0].v[2]);
    // Welding is by exact coordinates only.
    const Point nearC(0.0f, std::nextafter(4.999f, 5.0f), 0.0f);
    EXPECT_EQ(mesh.findVertex(nearC), nullptr);
    EXPECT_EQ(mesh.insertVertex(c), mesh.findVertex(c));
    EXPECT_EQ(mesh.getHashVertexCount(), 4);

    // Corners that weld into one vertex give no facet.
    EXPECT_EQ(mesh.addTriangle(a, b, Point(-5.0f, 0.0f, 0.0f)), -1);
    EXPECT_EQ(mesh.getTriangleCount(), 2);

    // A quadrilateral follows the triangles; its corners wrap both ways.
    const Point e(10.0f, 10.0f, 0.0f);
    EXPECT_EQ(mesh.addQuad(b, e, c, Point(7.0f, 3.0f, 1.0f), false), 2);
    EXPECT_EQ(mesh.getHashVertexCount(), 6);
    EXPECT_EQ(mesh.getFacetCount(), 3);
    EXPECT_EQ(mesh.getFacetSize(1), 3);
    EXPECT_EQ(mesh.getFacetSize(2), 4);
    EXPECT_EQ(mesh.getFacetSize(3), 0);
    EXPECT_EQ(mesh.getFacetSize(-1), 0);
    Point out;
    ASSERT_TRUE(mesh.getFacetCorner(2, -1, out));
    EXPECT_EQ(out.data[2], 1.0f);
    ASSERT_TRUE(mesh.getFacetCorner(2, 5, out));
    EXPECT_TRUE(out == e);
    ASSERT_TRUE(mesh.getFacetCorner(0, -1, out));
    EXPECT_TRUE(out == c);
    EXPECT_FALSE(mesh.getFacetCorner(3, 0, out));
    EXPECT_FALSE(mesh.getTriangleCorner(2, 0, out));
    float rec[12];
    EXPECT_FALSE(mesh.getTriangleRecord(2, rec));
    ASSERT_TRUE(mesh.getTriangleRecord(0, rec));
    EXPECT_FLOAT_EQ(rec[2], 1.0f); // counter-clockwise in the xy plane
    EXPECT_EQ(rec[3], -5.0f);
    EXPECT_EQ(rec[10], 4.999f);

    const CBox<float, 3> box = mesh.getBoundingBox();
    EXPECT_EQ(box.min.data[0], -5.0f);
    EXPECT_EQ(box.max.data[1], 10.0f);
    EXPECT_EQ(box.min.data[1], -7.5f);
}

TEST(TriangleMesh, EdgeTableCountsSharedAndOpenEdges)
{
    CTriangleMesh mesh;
    const Point a(0, 0, 0), b(1, 0, 0), c(1, 1, 0), d(0, 1, 0);
    mesh.addTriangle(a, b, c);
    mesh.addTriangle(a, c, d);
    ASSERT_TRUE(mesh.buildEdgeTable());
    ASSERT_EQ(mesh.edgeSet.count, 5);
    int open = 0;
    for (int n = 0; n < mesh.edgeSet.count; ++n) {
        const CTriangularEdge* e = mesh.edgeSet.items[n];
        if (n > 0) {
            EXPECT_TRUE(CTriangularEdge::less(mesh.edgeSet.items[n - 1], e));
        }
        if (e->second == nullptr) {
            ++open;
            EXPECT_EQ(e->value, 10.0f);
        } else {
            EXPECT_FLOAT_EQ(e->value, 1.0f);
        }
    }
    EXPECT_EQ(open, 4);

    // The edges point into the triangle list: a new facet empties them.
    mesh.addTriangle(a, d, Point(-1, 0.5f, 0));
    EXPECT_EQ(mesh.edgeSet.count, 0);
    ASSERT_TRUE(mesh.buildEdgeTable());
    EXPECT_EQ(mesh.edgeSet.count, 7);

    CTriangleMesh empty;
    EXPECT_FALSE(empty.buildEdgeTable());
}

TEST(TriangleMesh, EdgeTableOfClosedTetrahedron)
{
    CTriangleMesh mesh;
    const Point p0(1, 1, 1), p1(1, -1, -1), p2(-1, 1, -1), p3(-1, -1, 1);
    // Outward orientation.
    mesh.addTriangle(p0, p1, p2);
    mesh.addTriangle(p0, p3, p1);
    mesh.addTriangle(p0, p2, p3);
    mesh.addTriangle(p1, p3, p2);
    EXPECT_EQ(mesh.getHashVertexCount(), 4);
    ASSERT_TRUE(mesh.buildEdgeTable());
    ASSERT_EQ(mesh.edgeSet.count, 6);
    for (int n = 0; n < mesh.edgeSet.count; ++n) {
        const CTriangularEdge* e = mesh.edgeSet.items[n];
        ASSERT_NE(e->second, nullptr);
        EXPECT_NE(e->first, e->second);
        EXPECT_NEAR(e->value, -1.0 / 3.0, 1e-6);
        // Both triangles have both vertices of the edge.
        for (const Mesh::CTriData* t : {e->first, e->second}) {
            int shared = 0;
            for (CSTLVertex* v : t->v)
                shared += (v == e->a || v == e->b) ? 1 : 0;
            EXPECT_EQ(shared, 2);
        }
    }

    // A third triangle on edge (p0, p1) is reported once and ignored.
    mesh.addTriangle(p0, p1, Point(3, 0, 0));
    testing::internal::CaptureStdout();
    ASSERT_TRUE(mesh.buildEdgeTable());
    const std::string text = testing::internal::GetCapturedStdout();
    EXPECT_EQ(countOf(text, "adding a third triangle !"), 1);
    EXPECT_EQ(mesh.edgeSet.count, 8);
    CTriangularEdge key;
    key.a = mesh.findVertex(p0);
    key.b = mesh.findVertex(p1);
    if (std::less<CSTLVertex*>()(key.b, key.a))
        std::swap(key.a, key.b);
    int index = -1;
    ASSERT_TRUE(mesh.edgeSet.find(&key, index, &CTriangularEdge::less));
    const CTriangularEdge* e = mesh.edgeSet.items[index];
    EXPECT_EQ(e->first, &mesh.triangles.data[0]);
    EXPECT_EQ(e->second, &mesh.triangles.data[1]);
}

TEST(TriangleMesh, CurvatureOnSpherePatchApproachesInverseRadiusAtAllScales)
{
    for (float r : {1e-3f, 1.0f, 1e3f}) {
        CTriangleMesh mesh;
        buildSpherePatch(mesh, r, 6);
        const Point pole(0.0f, 0.0f, r);
        ASSERT_NE(mesh.findVertex(pole), nullptr) << r;

        // Exact radial normals: the estimate is theta / (2 R sin(theta / 2)).
        for (int c = 0; c < mesh.vertexHash.cells.count; ++c)
            for (CSTLVertex* v : mesh.vertexHash.cells.items[c]->items) {
                v->normal = *v;
                normalize(v->normal);
            }
        double lo = 0.0, hi = 0.0;
        CVector<float, 3> loDir, hiDir;
        ASSERT_TRUE(mesh.getVertexCurvature(pole, lo, hi, loDir, hiDir)) << r;
        EXPECT_NEAR(lo * r, 1.0, 2e-3) << r;
        EXPECT_NEAR(hi * r, 1.0, 2e-3) << r;
        EXPECT_LE(lo, hi);
        EXPECT_NEAR(dotProduct(loDir, loDir), 1.0, 1e-5);
        // An edge from the pole dips by half its angle (at most 0.05 here).
        EXPECT_LT(std::fabs(loDir.data[2]), 0.06);

        // Normals estimated from the facets.
        mesh.computeVertexNormals();
        ASSERT_TRUE(mesh.getVertexCurvature(pole, lo, hi, loDir, hiDir)) << r;
        EXPECT_NEAR(lo * r, 1.0, 0.1) << r;
        EXPECT_NEAR(hi * r, 1.0, 0.1) << r;

        // Not a vertex.
        EXPECT_FALSE(mesh.getVertexCurvature(Point(0.0f, 0.0f, 0.5f * r), lo, hi, loDir, hiDir));
    }
}

TEST(TriangleMesh, CurvatureOfFlatPatchIsZeroNotNaN)
{
    // Unit normals whose float dot product rounds above 1 made acos NaN.
    CTriangleMesh mesh;
    const Point a(0, 0, 0), b(1, 0, 0), c(0, 1, 0), d(1, 1, 0);
    mesh.addTriangle(a, b, d);
    mesh.addTriangle(a, d, c);
    CVector<float, 3> n(0.140028015f, 0.140028015f, 0.980196059f);
    for (const Point* p : {&a, &b, &c, &d})
        mesh.findVertex(*p)->normal = n;
    ASSERT_GT(double(n.data[0]) * n.data[0] + double(n.data[1]) * n.data[1] +
                  double(n.data[2]) * n.data[2],
              1.0);
    double lo = -1.0, hi = -1.0;
    CVector<float, 3> loDir, hiDir;
    ASSERT_TRUE(mesh.getVertexCurvature(a, lo, hi, loDir, hiDir));
    EXPECT_EQ(lo, 0.0);
    EXPECT_EQ(hi, 0.0);

    CTriangleMesh small;
    small.insertVertex(a);
    small.insertVertex(b);
    EXPECT_FALSE(small.getVertexCurvature(a, lo, hi, loDir, hiDir));
}

TEST(TriangleMesh, HitOrNearestFallsBackToNearestVertexPlane)
{
    CTriangleMesh mesh;
    buildSpherePatch(mesh, 10.0f, 4);
    mesh.computeVertexNormals();
    Kor::Set<Mesh::CBaseMesh::CBaseHitInfo> hits;
    const CVector<float, 3> down(0.0f, 0.0f, -1.0f);

    ASSERT_TRUE(
        mesh.hitOrNearest(Point(0.1f, 0.2f, 20.0f), down, hits, true, true, false, nullptr, 1e-6));
    EXPECT_EQ(hits.items[0]->flag, 0);
    EXPECT_NEAR(hits.items[0]->data[2], 10.0, 0.05);

    // Beside the patch: no facet is hit.
    const Point beside(8.0f, 0.0f, 20.0f);
    EXPECT_FALSE(mesh.hitOrNearest(beside, down, hits, true, false, false, nullptr, 1e-6));
    ASSERT_TRUE(mesh.hitOrNearest(beside, down, hits, true, true, false, nullptr, 1e-6));
    ASSERT_EQ(hits.count, 1);
    const auto& h = *hits.items[0];
    EXPECT_EQ(h.flag, 1);
    EXPECT_GE(h.facet, 0);
    EXPECT_EQ(h.data[0], 8.0f);
    EXPECT_EQ(h.data[1], 0.0f);
    // The hit lies on the plane through the nearest vertex (the patch's
    // corner of largest x) perpendicular to its normal.
    const double u = 0.3 / std::sqrt(1.09);
    CSTLVertex* v = mesh.findVertex(Point(float(10.0 * u), 0.0f, float(10.0 / std::sqrt(1.09))));
    ASSERT_NE(v, nullptr);
    const CVertex<float, 3> rel = h - *v;
    EXPECT_NEAR(dotProduct(rel, v->direction), 0.0, 1e-4);
    EXPECT_NEAR(h.distance, 20.0 - h.data[2], 1e-4);
}
