#include "mesh/MeshProjection.h"

#include "mesh/FlatMesh.h"
#include "mesh/StlFormat.h"

#include "support/RealData.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <filesystem>
#include <vector>

namespace {

using Hit = Mesh::CBaseMesh::CBaseHitInfo;
using Point = CVertex<float, 3>;
using Direction = CVector<float, 3>;

int add(CFlatMesh& mesh, double x, double y, double z)
{
    return mesh.addVertex(Point(float(x), float(y), float(z)));
}
void polygon(CFlatMesh& mesh, std::vector<int> idx)
{
    mesh.addPolygon(idx.data(), int(idx.size()), -1);
}
void finish(CFlatMesh& mesh)
{
    mesh.computeBoundingBox();
    mesh.buildFacetHash(10.0, -1.0, nullptr);
}
// An n x n grid of square cells of side s in the plane z = height, each cell
// split into two triangles.
void addPlaneGrid(CFlatMesh& mesh, int n, double s, double height = 0.0)
{
    const int first = mesh.getVertexCount(true);
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i)
            add(mesh, i * s, j * s, height);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int v = first + j * (n + 1) + i;
            polygon(mesh, {v, v + 1, v + n + 2});
            polygon(mesh, {v, v + n + 2, v + n + 1});
        }
}
// A quarter cylinder of radius 5 s around the z axis, height 4 s, as quads.
void addCylinderPatch(CFlatMesh& mesh, double s)
{
    const int around = 40, up = 16;
    for (int j = 0; j <= up; ++j)
        for (int i = 0; i <= around; ++i) {
            const double a = 0.5 * M_PI * i / around;
            add(mesh, 5 * s * std::cos(a), 5 * s * std::sin(a), 4 * s * j / up);
        }
    for (int j = 0; j < up; ++j)
        for (int i = 0; i < around; ++i) {
            const int v = j * (around + 1) + i;
            polygon(mesh, {v, v + 1, v + around + 2, v + around + 1});
        }
}
double distance(const Point& a, double x, double y, double z)
{
    return std::sqrt(std::pow(a.data[0] - x, 2) + std::pow(a.data[1] - y, 2) +
                     std::pow(a.data[2] - z, 2));
}
double absDot(const Direction& n, double x, double y, double z)
{
    return std::fabs(n.data[0] * x + n.data[1] * y + n.data[2] * z);
}

} // namespace

TEST(MeshProjection, EveryEntryFailsWithoutHashCellsAndEmptiesTheHits)
{
    CFlatMesh mesh;
    addPlaneGrid(mesh, 3, 1.0);
    mesh.computeBoundingBox(); // no facet hash
    Mesh::HitSet hits;
    const Point p(1.2f, 1.3f, 0.5f);
    const Direction down(0, 0, -1);
    for (int k = 0; k < 4; ++k) {
        Mesh::appendHit(hits, Hit()); // a stale record
        const bool found = k == 0   ? Mesh::meshHitsNearPoint(&mesh, p, hits, 1.0, true)
                           : k == 1 ? Mesh::meshHitsAlongDirection(&mesh, p, down, hits, 1.0, true)
                           : k == 2
                               ? Mesh::meshHitsOnLine(&mesh, p, down, hits, 1.0)
                               : Mesh::meshHitsAlongDirection(nullptr, p, down, hits, 1.0, true);
        EXPECT_FALSE(found);
        EXPECT_EQ(hits.count, 0);
    }
    Direction n(7, 7, 7);
    EXPECT_FALSE(Mesh::meshNormalNearPoint(&mesh, p, n));
    EXPECT_EQ(n.data[0], 7.0f);
}

TEST(MeshProjection, HitsNearPointAreTheNearestSurfacePointsInDistanceOrder)
{
    // Two parallel layers: the line along the normal meets both, nearer first.
    CFlatMesh layers;
    addPlaneGrid(layers, 10, 1.0, 0.0);
    addPlaneGrid(layers, 10, 1.0, 1.5);
    finish(layers);
    Mesh::HitSet hits;
    ASSERT_TRUE(Mesh::meshHitsNearPoint(&layers, Point(3.3f, 4.7f, 0.4f), hits, 1.0, false));
    ASSERT_EQ(hits.count, 2);
    EXPECT_LT(distance(*hits[0], 3.3, 4.7, 0.0), 1e-5);
    EXPECT_NEAR(hits[0]->distance, 0.4, 1e-5);
    EXPECT_LT(distance(*hits[1], 3.3, 4.7, 1.5), 1e-5);
    EXPECT_NEAR(hits[1]->distance, 1.1, 1e-5);
    EXPECT_NEAR(absDot(hits[0]->normal, 0, 0, 1), 1.0, 1e-6);
    EXPECT_EQ(hits[0]->flag, 0);
}

TEST(MeshProjection, SyntheticHitNearPointNeedsThreeCandidates)
{
    CFlatMesh mesh;
    addPlaneGrid(mesh, 10, 1.0);
    finish(mesh);
    Mesh::HitSet hits;
    const Point beside(10.5f, 5.2f, 0.3f); // the normal line misses the grid
    EXPECT_FALSE(Mesh::meshHitsNearPoint(&mesh, beside, hits, 1.0, false));
    EXPECT_EQ(hits.count, 0);
    ASSERT_TRUE(Mesh::meshHitsNearPoint(&mesh, beside, hits, 1.0, true));
    ASSERT_EQ(hits.count, 1);
    EXPECT_EQ(hits[0]->facet, -1);
    EXPECT_EQ(hits[0]->flag, 1);
    EXPECT_LT(distance(*hits[0], 10.5, 5.2, 0.0), 1e-5);

    CFlatMesh two; // only two candidate facets
    two.addTriangle(Point(0, 0, 0), Point(1, 0, 0), Point(0, 1, 0));
    two.addTriangle(Point(1, 0, 0), Point(1, 1, 0), Point(0, 1, 0));
    finish(two);
    EXPECT_FALSE(Mesh::meshHitsNearPoint(&two, Point(1.1f, 0.5f, 0.1f), hits, 1.0, true));
    EXPECT_EQ(hits.count, 0);
}

TEST(MeshProjection, HitsAlongDirectionAndTheirSyntheticFallback)
{
    CFlatMesh mesh;
    addPlaneGrid(mesh, 10, 1.0);
    finish(mesh); // cell size 2
    Mesh::HitSet hits;
    // A direction of any length; the distance runs along the unit direction.
    ASSERT_TRUE(Mesh::meshHitsAlongDirection(&mesh, Point(2.3f, 2.6f, 1.0f), Direction(1, 0, -1),
                                             hits, 1.0, false));
    ASSERT_EQ(hits.count, 1);
    EXPECT_LT(distance(*hits[0], 3.3, 2.6, 0.0), 1e-5);
    EXPECT_NEAR(hits[0]->distance, std::sqrt(2.0), 1e-5);

    // The line leaves the grid: no hit, or the meeting with the grid's plane.
    const Point p(9.5f, 5.2f, 0.5f);
    EXPECT_FALSE(Mesh::meshHitsAlongDirection(&mesh, p, Direction(1, 0, -0.1f), hits, 1.0, false));
    ASSERT_TRUE(Mesh::meshHitsAlongDirection(&mesh, p, Direction(1, 0, -0.1f), hits, 1.0, true));
    ASSERT_EQ(hits.count, 1);
    EXPECT_EQ(hits[0]->facet, -1);
    EXPECT_EQ(hits[0]->flag, 1);
    EXPECT_LT(distance(*hits[0], 14.5, 5.2, 0.0), 1e-4);
    // Almost parallel to the plane: no synthetic hit.
    EXPECT_FALSE(Mesh::meshHitsAlongDirection(&mesh, p, Direction(1, 0, 1e-9f), hits, 1.0, true));
    EXPECT_EQ(hits.count, 0);
}

TEST(MeshProjection, SyntheticHitAlongDirectionDoesNotDependOnTheDirectionsLength)
{
    CFlatMesh mesh;
    addPlaneGrid(mesh, 10, 1.0);
    finish(mesh);
    Mesh::HitSet hits;
    // The same line as (1, 0, -0.1), given by a very short direction.
    ASSERT_TRUE(Mesh::meshHitsAlongDirection(&mesh, Point(9.5f, 5.2f, 0.5f),
                                             Direction(1e-9f, 0, -1e-10f), hits, 1.0, true));
    EXPECT_LT(distance(*hits[0], 14.5, 5.2, 0.0), 1e-4);
}

TEST(MeshProjection, LineBesideTheMeshHitsTheNearestEdge)
{
    CFlatMesh mesh;
    addPlaneGrid(mesh, 10, 1.0);
    finish(mesh);
    Mesh::HitSet hits;
    // A line through the grid hits it.
    ASSERT_TRUE(Mesh::meshHitsOnLine(&mesh, Point(3.3f, 4.4f, 7), Direction(0, 0, 1), hits, 1.0));
    EXPECT_LT(distance(*hits[0], 3.3, 4.4, 0.0), 1e-5);
    EXPECT_EQ(hits[0]->flag, 0);

    // Beside the edge x = 10: the line's point nearest to that edge.
    ASSERT_TRUE(Mesh::meshHitsOnLine(&mesh, Point(10.7f, 5.3f, 3), Direction(0, 0, 2), hits, 1.0));
    ASSERT_EQ(hits.count, 1);
    EXPECT_LT(distance(*hits[0], 10.7, 5.3, 0.0), 1e-5);
    EXPECT_EQ(hits[0]->distance, DBL_MAX);
    EXPECT_EQ(hits[0]->flag, 1);
    EXPECT_GE(hits[0]->facet, 0);
    EXPECT_NEAR(absDot(hits[0]->normal, 0, 0, 1), 1.0, 1e-6);

    // A line parallel to the facets, above them: the facets' planes are never
    // met, yet the hit is a finite point of the line level with an edge.
    ASSERT_TRUE(Mesh::meshHitsOnLine(&mesh, Point(-5, 3.3f, 0.5f), Direction(1, 0, 0), hits, 1.0));
    ASSERT_EQ(hits.count, 1);
    EXPECT_EQ(hits[0]->distance, DBL_MAX);
    EXPECT_TRUE(std::isfinite(hits[0]->data[0]));
    EXPECT_GE(hits[0]->data[0], 0.0f);
    EXPECT_LE(hits[0]->data[0], 10.0f);
    EXPECT_NEAR(hits[0]->data[1], 3.3, 1e-6);
    EXPECT_NEAR(hits[0]->data[2], 0.5, 1e-6);
}

TEST(MeshProjection, FacetsOfMoreThanTwentyCornersNeverWinTheEdgeFallback)
{
    CFlatMesh mesh;
    std::vector<int> disc;
    for (int k = 0; k < 24; ++k)
        disc.push_back(add(mesh, std::cos(2 * M_PI * k / 24), std::sin(2 * M_PI * k / 24), 0));
    polygon(mesh, disc);
    mesh.addTriangle(Point(5, 0, 0), Point(6, 0, 0), Point(5, 1, 0));
    finish(mesh);
    Mesh::HitSet hits;
    ASSERT_TRUE(Mesh::meshHitsOnLine(&mesh, Point(1.5f, 0, 0), Direction(0, 0, 1), hits, 10.0));
    ASSERT_EQ(hits.count, 1);
    EXPECT_EQ(hits[0]->facet, 1);
}

TEST(MeshProjection, SmoothedNormalAtSmallScaleKeepsToSharedCorners)
{
    // A floor and a wall meeting at a right angle, a few micrometres wide: the
    // floor facet far from the wall shares no corner with it.
    const double s = 1e-6;
    CFlatMesh mesh;
    const int a = add(mesh, 0, 0, 0), b = add(mesh, s, 0, 0), c = add(mesh, s, s, 0),
              d = add(mesh, 0, s, 0);
    const int e = add(mesh, 2 * s, 0, 0), f = add(mesh, 2 * s, s, 0);
    const int g = add(mesh, 2 * s, 0, s), h = add(mesh, 2 * s, s, s);
    polygon(mesh, {a, b, c, d});
    polygon(mesh, {b, e, f, c});
    polygon(mesh, {e, g, h, f});
    Kor::List<int> all;
    for (int i = 0; i < 3; ++i)
        all.append(i);
    const Direction n = Mesh::smoothedFacetNormal(&mesh, all, 0, true);
    EXPECT_NEAR(absDot(n, 0, 0, 1), 1.0, 1e-6);
    // Without any listed neighbour the facet keeps its own normal.
    Kor::List<int> wallOnly;
    wallOnly.append(2);
    EXPECT_NEAR(absDot(Mesh::smoothedFacetNormal(&mesh, wallOnly, 0, true), 0, 0, 1), 1.0, 1e-6);
}

TEST(MeshProjection, MeanFacetNormalIsUnitLengthOnTinyFacets)
{
    CFlatMesh mesh;
    addPlaneGrid(mesh, 4, 1e-9);
    Kor::List<int> all;
    for (int i = 0; i < mesh.getFacetCount(); ++i)
        all.append(i);
    const Direction n = Mesh::meanFacetNormal(&mesh, all);
    EXPECT_NEAR(absDot(n, 0, 0, 1), 1.0, 1e-6);
}

TEST(MeshProjection, CylinderProjectionIsScaleInvariant)
{
    // Points outside and inside a curved patch project to their feet on it,
    // with the radial normal, at every scale.
    const double a = 0.83;
    const double cosA = std::cos(a), sinA = std::sin(a);
    for (double s : {1e-8, 1.0, 1e8})
        for (double r : {5.3, 4.6}) {
            SCOPED_TRACE(s * r);
            CFlatMesh mesh;
            addCylinderPatch(mesh, s);
            finish(mesh);
            Mesh::HitSet hits;
            const double z = 2.3 * s;
            const Point p(float(r * s * cosA), float(r * s * sinA), float(z));
            ASSERT_TRUE(Mesh::meshHitsNearPoint(&mesh, p, hits, 1.0, false));
            EXPECT_LT(distance(*hits[0], 5 * s * cosA, 5 * s * sinA, z), 0.01 * s);
            EXPECT_NEAR(hits[0]->distance, std::fabs(r - 5) * s, 0.01 * s);
            const Direction towardsAxis(float(-cosA), float(-sinA), 0);
            ASSERT_TRUE(Mesh::meshHitsAlongDirection(&mesh, p, towardsAxis, hits, 1.0, false));
            EXPECT_LT(distance(*hits[0], 5 * s * cosA, 5 * s * sinA, z), 0.01 * s);
            Direction n;
            ASSERT_TRUE(Mesh::meshNormalNearPoint(&mesh, p, n));
            EXPECT_GT(absDot(n, cosA, sinA, 0.0), 0.999);
        }
}

TEST(MeshProjection, RealSphereHitsAndNormals)
{
    MW_REALDATA_DIR_OR_SKIP(dir, "stl");
    const std::filesystem::path path = std::filesystem::path(dir) / "unit_sphere.STL";
    CFlatMesh mesh;
    ASSERT_TRUE(readSTL(mesh, path.string().c_str(), true));
    finish(mesh);
    const CBox<float, 3> box = mesh.getBoundingBox();
    double centre[3], radius = 0.0;
    for (int c = 0; c < 3; ++c) {
        centre[c] = 0.5 * (box.min.data[c] + box.max.data[c]);
        radius = std::max(radius, 0.5 * double(box.max.data[c] - box.min.data[c]));
    }
    Mesh::HitSet hits;
    const double dirs[4][3] = {{0.48, 0.6, 0.64}, {-0.8, 0.0, 0.6}, {0.0, -0.6, -0.8}, {1, 0, 0}};
    for (const auto& u : dirs)
        for (double r : {1.2, 0.85}) {
            Point p;
            for (int c = 0; c < 3; ++c)
                p.data[c] = float(centre[c] + r * radius * u[c]);
            ASSERT_TRUE(Mesh::meshHitsNearPoint(&mesh, p, hits, 1.0, false));
            for (int k = 1; k < hits.count; ++k)
                EXPECT_LE(hits[k - 1]->distance, hits[k]->distance);
            EXPECT_LT(distance(*hits[0], centre[0] + radius * u[0], centre[1] + radius * u[1],
                               centre[2] + radius * u[2]),
                      0.03 * radius);
            Direction n;
            ASSERT_TRUE(Mesh::meshNormalNearPoint(&mesh, p, n));
            EXPECT_GT(absDot(n, u[0], u[1], u[2]), 0.99);
        }
}
