#include "mesh/FacetHash.h"

#include "mesh/FlatMesh.h"

#include "foundation/Progress.h"
#include "support/ScopedEnv.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

using Hit = Mesh::CBaseMesh::CBaseHitInfo;
using HitSet = Kor::Set<Hit>;
using Point = CVertex<float, 3>;
using Direction = CVector<float, 3>;
const Direction kDown(0, 0, -1);

// Adds a vertex; its index.
int add(CFlatMesh& mesh, double x, double y, double z)
{
    return mesh.addVertex(Point(float(x), float(y), float(z)));
}
void polygon(CFlatMesh& mesh, std::vector<int> idx)
{
    mesh.addPolygon(idx.data(), int(idx.size()), -1);
}
bool cast(CFlatMesh& mesh, const Point& p, const Direction& d, HitSet& hits, bool bothSides = true,
          bool fallback = false)
{
    return mesh.hit(p, d, hits, bothSides, fallback, false, nullptr, 0.0);
}
// The hashed items (of one facet, or all).
int hashed(CFlatMesh& mesh, int facet = -1)
{
    int n = 0;
    for (auto* cell : mesh.facetHash.cells)
        for (auto* item : cell->items)
            n += facet < 0 || item->facet == facet;
    return n;
}

// An n x n grid of unit quads over a bumpy height, scaled by s, each quad
// split in two triangles.
void addGrid(CFlatMesh& mesh, int n, double s = 1.0, double bump = 0.3)
{
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i)
            add(mesh, i * s, j * s, s * bump * std::sin(0.7 * i) * std::cos(0.5 * j));
    for (int v = 0; v < (n + 1) * n; ++v)
        if (v % (n + 1) != n) {
            polygon(mesh, {v, v + 1, v + n + 2});
            polygon(mesh, {v, v + n + 2, v + n + 1});
        }
}

} // namespace

TEST(FacetHash, RayHitsInDistanceOrderOnTheFacingSide)
{
    for (bool withHash : {false, true}) {
        SCOPED_TRACE(withHash);
        CFlatMesh mesh;
        for (float z : {1.0f, 2.0f, 0.0f})
            mesh.addTriangle(Point(0, 0, z), Point(4, 0, z), Point(0, 4, z));
        mesh.computeBoundingBox();
        if (withHash)
            mesh.buildFacetHash(10.0, -1.0, nullptr);
        HitSet hits;
        // A direction of any length; distances run along the unit direction.
        ASSERT_TRUE(cast(mesh, Point(1, 1, 10), Direction(0, 0, -3), hits));
        ASSERT_EQ(hits.count, 3);
        const int facets[3] = {1, 0, 2};
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(hits.items[k]->facet, facets[k]);
            EXPECT_NEAR(hits.items[k]->distance, 8.0 + k, 1e-5);
            EXPECT_NEAR((*hits.items[k])[2], 2.0f - k, 1e-5);
        }
        EXPECT_FLOAT_EQ(hits.items[0]->normal[2], 1.0f);
        EXPECT_EQ(hits.items[0]->flag, 0);
        // From below the facets face away from the ray: hit only from both sides.
        EXPECT_FALSE(cast(mesh, Point(1, 1, -2), Direction(0, 0, 1), hits, false));
        EXPECT_TRUE(cast(mesh, Point(1, 1, -2), Direction(0, 0, 1), hits, true));
        EXPECT_FALSE(cast(mesh, Point(3, 3, 5), kDown, hits));
        EXPECT_EQ(hits.count, 0);
        Point out;
        EXPECT_TRUE(mesh.getFirstHit(Point(1, 2, 5), kDown, out, 0.0));
        EXPECT_FLOAT_EQ(out[2], 2.0f);
        // A ray through a vertex shared by six coplanar triangles: one hit,
        // from the first facet tested.
        CFlatMesh grid;
        addGrid(grid, 2, 1.0, 0.0);
        grid.computeBoundingBox();
        if (withHash)
            grid.buildFacetHash(10.0, -1.0, nullptr);
        ASSERT_TRUE(cast(grid, Point(1, 1, 3), kDown, hits));
        ASSERT_EQ(hits.count, 1);
        EXPECT_EQ(hits.items[0]->facet, 0);
    }
}

TEST(FacetHash, RayThroughTriangleWithCornerOnTestAxisHits)
{
    // The apex lies across the ray on a coordinate axis of the projection
    // frame, the base on the other side; the ray passes through the interior.
    const float apex[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
    for (const auto& a : apex)
        for (float dz : {-1.0f, 1.0f}) {
            CFlatMesh mesh;
            mesh.addTriangle(Point(a[0], a[1], 0), Point(-a[0] - a[1], a[0] - a[1], 0),
                             Point(a[1] - a[0], -a[0] - a[1], 0));
            HitSet hits;
            EXPECT_TRUE(cast(mesh, Point(0, 0, -5 * dz), Direction(0, 0, dz), hits))
                << a[0] << a[1] << dz;
        }
}

TEST(FacetHash, CornerSnapScalesWithTriangleSize)
{
    // 5 % of the triangle's size beside a corner is a miss at every scale;
    // within 1e-4 of a corner of a unit triangle the ray snaps to the corner.
    HitSet hits;
    for (float s : {1e-3f, 1.0f}) {
        CFlatMesh mesh;
        mesh.addTriangle(Point(0, 0, 0), Point(s, 0, 0), Point(0, s, 0));
        EXPECT_FALSE(cast(mesh, Point(0.05f * s, -0.05f * s, 1), kDown, hits)) << s;
        EXPECT_TRUE(cast(mesh, Point(0.1f * s, 0.1f * s, 1), kDown, hits)) << s;
        EXPECT_EQ(cast(mesh, Point(5e-5f, -5e-5f, 1), kDown, hits), s == 1.0f) << s;
    }
}

TEST(FacetHash, FallbackHitsNearestBoundaryAndSkipsSlivers)
{
    for (bool withHash : {false, true}) {
        SCOPED_TRACE(withHash);
        CFlatMesh mesh;
        addGrid(mesh, 2, 1.0, 0.0);
        // A sliver beside the square whose edges are nearest to the ray.
        mesh.addTriangle(Point(3, 0, 0), Point(3, 2, 0), Point(3.000001f, 1, 0));
        mesh.computeBoundingBox();
        if (withHash) {
            mesh.buildFacetHash(10.0, -1.0, nullptr);
            EXPECT_EQ(hashed(mesh, 8), 0);
        }
        HitSet hits;
        EXPECT_FALSE(cast(mesh, Point(3.5, 1, 5), kDown, hits));
        ASSERT_TRUE(cast(mesh, Point(3.5, 1, 5), kDown, hits, true, true));
        ASSERT_EQ(hits.count, 1);
        const Hit& h = *hits.items[0];
        // The line meets the plane of the facet at the nearest edge x = 2.
        EXPECT_EQ(h.flag, 1);
        EXPECT_TRUE(h.facet == 2 || h.facet == 6) << h.facet;
        EXPECT_NEAR(h[0], 3.5f, 1e-6);
        EXPECT_NEAR(h[2], 0.0f, 1e-6);
        EXPECT_NEAR(h.distance, 5.0, 1e-6);
        EXPECT_NEAR(h.normal[2], 1.0f, 1e-6);
        // A line parallel to the mesh plane at height 1 gets the point of the
        // line nearest to the edge instead of a point at infinity.
        ASSERT_TRUE(cast(mesh, Point(1, -3, 1), Direction(0, 1, 0), hits, true, true));
        EXPECT_NEAR((*hits.items[0])[1], 0.0f, 1e-6);
        EXPECT_NEAR((*hits.items[0])[2], 1.0f, 1e-6);
    }
}

TEST(FacetHash, PickAlongRayAndNearestVertex)
{
    CFlatMesh mesh;
    addGrid(mesh, 6);
    Point p0;
    mesh.getVertex(24, p0); // (3, 3)
    int index = 0;
    EXPECT_FALSE(mesh.findNearestVertex(p0, index)); // no hash yet
    EXPECT_EQ(index, INT_MAX);
    mesh.computeBoundingBox();
    mesh.buildFacetHash(10.0, -1.0, nullptr);
    ASSERT_TRUE(mesh.findNearestVertex(p0 + Point(0.2f, -0.3f, 0.5f), index));
    EXPECT_EQ(index, 24);
    const Direction up(0, 0, 1);
    EXPECT_FALSE(mesh.pickAlongRay(p0, up, kDown, 0.5f));
    EXPECT_TRUE(mesh.pickAlongRay(Point(-5, -5, 0), up, kDown, 0.5f));
    EXPECT_TRUE(mesh.pickAlongRay(p0, up, kDown, 0.0f));
}

TEST(FacetHash, LargeFacetsAreReachedThroughSamplePoints)
{
    CFlatMesh mesh;
    mesh.addTriangle(Point(0, 0, 0), Point(100, 0, 0), Point(0, 100, 0));
    polygon(mesh, {add(mesh, 0, 0, 5), add(mesh, 100, 0, 5), add(mesh, 100, 100, 5),
                   add(mesh, 0, 100, 5)});
    mesh.computeBoundingBox();
    HitSet hits;
    mesh.buildFacetHash(50.0, 0.0, nullptr); // cell size 4, centroids only
    EXPECT_DOUBLE_EQ(mesh.facetHash.cellSize, 4.0);
    EXPECT_EQ(hashed(mesh), 2);
    EXPECT_FALSE(cast(mesh, Point(90, 5, 10), kDown, hits));
    mesh.releaseFacetHash();
    mesh.buildFacetHash(50.0, -1.0, nullptr);
    ASSERT_TRUE(cast(mesh, Point(90, 5, 10), kDown, hits));
    ASSERT_EQ(hits.count, 2);
    EXPECT_EQ(hits.items[1]->facet, 0);
    // A second build on a filled hash does nothing.
    const int items = hashed(mesh);
    mesh.buildFacetHash(5.0, -1.0, nullptr);
    EXPECT_EQ(hashed(mesh), items);
}

TEST(FacetHash, LongEdgesOfTheSecondFacetOfAnEdgeRecordAreSampled)
{
    // An edge table of one record per edge (as a triangle mesh keeps it) in
    // which the big triangle is the second facet of each of its long edges.
    CFlatMesh mesh;
    const int a = add(mesh, 0, 0, 0), b = add(mesh, 100, 0, 0), c = add(mesh, 0, 100, 0);
    polygon(mesh, {b, a, add(mesh, 50, -1, 0)});
    polygon(mesh, {c, b, add(mesh, 51, 51, 0)});
    polygon(mesh, {a, c, add(mesh, -1, 50, 0)});
    polygon(mesh, {a, b, c});
    for (auto [v0, v1, f] : {std::array{a, b, 0}, std::array{b, c, 1}, std::array{c, a, 2}})
        mesh.edges.append({v0, v1, f, 3, false, 100.0f});
    mesh.computeBoundingBox();
    mesh.buildFacetHash(50.0, -1.0, nullptr);
    HitSet hits;
    ASSERT_TRUE(cast(mesh, Point(90, 5, 10), kDown, hits));
    EXPECT_EQ(hits.items[0]->facet, 3);
}

TEST(FacetHash, BuildLogsCellSizeAndStopsWhenCancelled)
{
    CFlatMesh mesh;
    addGrid(mesh, 4);
    mesh.computeBoundingBox();
    {
        ScopedEnv logging("FENWO_LOGGING", "1");
        testing::internal::CaptureStdout();
        mesh.buildFacetHash(10.0, -1.0, nullptr);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "::initsearch r=0.8\n");
    }
    // 32 centroids and one sample per triangle (diagonals above 1.6 cells).
    EXPECT_EQ(hashed(mesh), 64);
    mesh.releaseFacetHash();
    CSimpleProgress progress;
    progress.setCancelled(true);
    mesh.progress = &progress;
    testing::internal::CaptureStdout();
    mesh.buildFacetHash(10.0, -1.0, nullptr);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(hashed(mesh), 1);
    mesh.progress = nullptr;
    // A divisor that is not positive gives no hash; hits test every facet.
    mesh.releaseFacetHash();
    mesh.buildFacetHash(0.0, -1.0, nullptr);
    mesh.buildFacetHash(-2.0, -1.0, nullptr);
    EXPECT_EQ(mesh.facetHash.cells.count, 0);
    HitSet hits;
    EXPECT_TRUE(cast(mesh, Point(1.5, 1.5, 5), kDown, hits));
}

TEST(FacetHash, HitsAreScaleInvariant)
{
    // The same rays on the model at 1, 1e-3 and 1e3 give the same facets,
    // with points and distances scaled; the third ray passes beside the mesh.
    const float rays[4][6] = {{2.3f, 3.7f, 4, 0, 0, -1},
                              {0.5f, 5.5f, -3, 0.1f, -0.2f, 1},
                              {8, 5.2f, 2, 0, 0, -1},
                              {1.1f, 1.2f, 3, 1, 1, -1}};
    std::vector<Hit> reference;
    for (float s : {1.0f, 1e-3f, 1e3f}) {
        SCOPED_TRACE(s);
        CFlatMesh mesh;
        addGrid(mesh, 6, s);
        mesh.computeBoundingBox();
        mesh.buildFacetHash(10.0, -1.0, nullptr);
        EXPECT_NEAR(mesh.facetHash.cellSize, 1.2 * s, 1e-6 * s);
        for (int r = 0; r < 4; ++r) {
            const float* ray = rays[r];
            HitSet hits;
            ASSERT_TRUE(cast(mesh, Point(ray[0] * s, ray[1] * s, ray[2] * s), Direction(ray + 3),
                             hits, true, true));
            const Hit& h = *hits.items[0];
            if (s == 1.0f) {
                reference.push_back(h);
                continue;
            }
            const Hit& ref = reference[r];
            EXPECT_EQ(h.facet, ref.facet);
            EXPECT_EQ(h.flag, r == 2 ? 1 : 0);
            EXPECT_NEAR(h.distance, ref.distance * s, 1e-5 * s);
            for (int c = 0; c < 3; ++c) {
                EXPECT_NEAR(h[c], ref[c] * s, 1e-5 * s);
                EXPECT_NEAR(h.normal[c], ref.normal[c], 1e-5);
            }
        }
        int index = -1;
        ASSERT_TRUE(mesh.findNearestVertex(Point(2.9f * s, 4.2f * s, 0.1f * s), index));
        EXPECT_EQ(index, 4 * 7 + 3);
    }
}

namespace {

// A closed sphere of radius r around c as a latitude-longitude triangle mesh.
void addSphere(CFlatMesh& mesh, double r, double cx, int around, int across)
{
    const int first = mesh.getVertexCount(true);
    const int top = add(mesh, cx, 0, r);
    const int bottom = add(mesh, cx, 0, -r);
    for (int j = 1; j < across; ++j)
        for (int i = 0; i < around; ++i) {
            const double a = 2.0 * M_PI * i / around, b = M_PI * j / across;
            add(mesh, cx + r * std::sin(b) * std::cos(a), r * std::sin(b) * std::sin(a),
                r * std::cos(b));
        }
    auto ring = [&](int j, int i) { return first + 2 + (j - 1) * around + (i % around); };
    for (int i = 0; i < around; ++i) {
        polygon(mesh, {top, ring(1, i), ring(1, i + 1)});
        polygon(mesh, {bottom, ring(across - 1, i + 1), ring(across - 1, i)});
        for (int j = 1; j + 1 < across; ++j)
            polygon(mesh, {ring(j, i), ring(j + 1, i), ring(j + 1, i + 1), ring(j, i + 1)});
    }
}

// A torus (major radius R, minor r) around the z axis, triangles.
void addTorus(CFlatMesh& mesh, double R, double r, int around, int across)
{
    const int first = mesh.getVertexCount(true);
    for (int j = 0; j < across; ++j)
        for (int i = 0; i < around; ++i) {
            const double a = 2.0 * M_PI * i / around, b = 2.0 * M_PI * j / across;
            add(mesh, (R + r * std::cos(b)) * std::cos(a), (R + r * std::cos(b)) * std::sin(a),
                r * std::sin(b));
        }
    auto v = [&](int j, int i) { return first + (j % across) * around + (i % around); };
    for (int j = 0; j < across; ++j)
        for (int i = 0; i < around; ++i) {
            polygon(mesh, {v(j, i), v(j, i + 1), v(j + 1, i + 1)});
            polygon(mesh, {v(j, i), v(j + 1, i + 1), v(j + 1, i)});
        }
}

} // namespace

TEST(FacetHash, WalkAlongTheRayFindsWhatTheScanOfAllCellsFinds)
{
    // Sphere, torus, open grid, and a mesh with duplicate and degenerate
    // facets; rays from inside and outside, along the axes (ties of the
    // walk's dominant axis) and through vertices. The hits of the walk must
    // equal those of the scan of every cell (the list of all cells), record
    // for record: facet, point, distance and order.
    std::vector<std::unique_ptr<CFlatMesh>> meshes;
    for (int m = 0; m < 4; ++m) {
        auto mesh = std::make_unique<CFlatMesh>();
        if (m == 0)
            addSphere(*mesh, 3.0, 0.0, 40, 20);
        else if (m == 1)
            addTorus(*mesh, 3.0, 1.0, 60, 24);
        else if (m == 2)
            addGrid(*mesh, 30, 0.25);
        else {
            addGrid(*mesh, 12, 0.5);
            polygon(*mesh, {0, 1, 14}); // a duplicate of the first facet
            polygon(*mesh, {2, 2, 3});  // degenerate: a repeated corner
            polygon(*mesh, {4, 5, 6});  // degenerate: collinear corners
            add(*mesh, 3.0, 3.0, 0.0);
        }
        mesh->computeBoundingBox();
        mesh->buildFacetHash(m == 3 ? 7.0 : 20.0, -1.0, nullptr);
        meshes.push_back(std::move(mesh));
    }
    unsigned x = 99u;
    auto random = [&x](double lo, double hi) {
        x = x * 1664525u + 1013904223u;
        return lo + (hi - lo) * ((x >> 8) / double(1u << 24));
    };
    for (size_t m = 0; m < meshes.size(); ++m) {
        CFlatMesh& mesh = *meshes[m];
        Kor::List<int> all;
        for (int c = 0; c < mesh.facetHash.cells.count; ++c)
            all.append(c);
        HitSet walked, scanned;
        for (int r = 0; r < 300; ++r) {
            Point p(float(random(-5, 9)), float(random(-5, 9)), float(random(-4, 4)));
            Direction d(float(random(-1, 1)), float(random(-1, 1)), float(random(-1, 1)));
            if (r % 5 == 0)
                d = Direction(r % 3 == 0, r % 3 == 1, r % 3 == 2); // along an axis
            if (r % 7 == 0)
                mesh.getVertex(r % mesh.getVertexCount(false), p); // through a vertex
            SCOPED_TRACE("mesh " + std::to_string(m) + " ray " + std::to_string(r));
            const bool fallback = r % 2 == 0;
            mesh.hit(p, d, walked, r % 3 != 0, fallback, false, nullptr, 0.0);
            mesh.hit(p, d, scanned, r % 3 != 0, fallback, false, &all, 0.0);
            ASSERT_EQ(walked.count, scanned.count);
            for (int k = 0; k < walked.count; ++k) {
                EXPECT_EQ(walked.items[k]->facet, scanned.items[k]->facet);
                EXPECT_EQ(walked.items[k]->distance, scanned.items[k]->distance);
                for (int c = 0; c < 3; ++c)
                    EXPECT_EQ(walked.items[k]->data[c], scanned.items[k]->data[c]);
            }
        }
        walked.removeAll(false, true);
        scanned.removeAll(false, true);
    }
}

TEST(FacetHash, PointEnteredAfterTheBuildIsReachedThroughItsCell)
{
    // The ray passes the cell of facet 0 too far for facet 0, but the point
    // entered there later names a large facet it crosses: the cell must not
    // be left out on what the build knew of it.
    Mesh::CFacetCentroid entry(Point(0.3f, 0.3f, 0.0f), 1);
    CFlatMesh mesh;
    polygon(mesh, {add(mesh, 0, 0, 0), add(mesh, 1, 0, 0), add(mesh, 0, 1, 0)});
    mesh.computeBoundingBox();
    mesh.buildFacetHash(1.0, 1.1, nullptr);
    polygon(mesh, {add(mesh, 1.5, -1, 0), add(mesh, 3, -1, 0), add(mesh, 1.5, 2, 0)});
    mesh.facetHash.insert(entry, true, true);
    HitSet hits;
    ASSERT_TRUE(cast(mesh, Point(2.0f, 0.3f, 5.0f), kDown, hits));
    EXPECT_EQ(hits.items[0]->facet, 1);
    EXPECT_FLOAT_EQ(float(hits.items[0]->distance), 5.0f);
}
