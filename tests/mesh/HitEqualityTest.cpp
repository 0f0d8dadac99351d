// The hits of the facet hash bit for bit as they were before its searches
// went through the hash's flat mirror: rays through the hash (both sides and
// the facing side, with the boundary fallback), hits near a point and along
// a direction (with and without the synthetic hit), hits on a line, the
// candidate facets near a point and the nearest vertex, for fixed queries on
// generated and real meshes, each reduced to a digest of every field of
// every hit in its order and compared with the digest recorded from the
// earlier searches.
#include "mesh/FlatMesh.h"
#include "mesh/MeshProjection.h"
#include "mesh/StlFormat.h"
#include "support/ScanLikeMesh.h"
#include "support/TestMeshes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <string>

namespace {

using Point = CVertex<float, 3>;
using Direction = CVector<float, 3>;

struct Digest {
    std::uint64_t h = 1469598103934665603ull;
    void bytes(const void* p, std::size_t n)
    {
        for (std::size_t b = 0; b < n; ++b) {
            h ^= static_cast<const unsigned char*>(p)[b];
            h *= 1099511628211ull;
        }
    }
    void add(int v) { bytes(&v, sizeof v); }
    void add(float v) { bytes(&v, sizeof v); }
    void add(double v) { bytes(&v, sizeof v); }
    void add(const Mesh::HitSet& hits)
    {
        add(hits.count);
        for (const Mesh::CBaseMesh::CBaseHitInfo* hit : hits) {
            for (int c = 0; c < 3; ++c)
                add(hit->data[c]);
            add(hit->facet);
            add(hit->distance);
            for (int c = 0; c < 3; ++c)
                add(hit->normal.data[c]);
            add(hit->flag);
        }
    }
};

// Queries over the mesh's box: rays from anywhere in it, points near its
// facets (a facet's centroid moved off it) with directions near its normal.
std::uint64_t hitDigest(CFlatMesh& mesh, int queries)
{
    std::mt19937 gen(17);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::normal_distribution<double> normal(0.0, 1.0);
    const CBox<float, 3>& box = mesh.box;
    const double cell = mesh.facetHash.cellSize;
    Digest digest;
    Mesh::HitSet hits;
    Kor::List<int> facets;
    Mesh::NearNormalReuse reuse;
    for (int q = 0; q < queries; ++q) {
        Point p;
        for (int c = 0; c < 3; ++c)
            p.data[c] = float(box.min.data[c] +
                              (box.max.data[c] - box.min.data[c]) * (1.2 * unit(gen) - 0.1));
        const Direction d(float(normal(gen)), float(normal(gen)), float(normal(gen)));
        const bool both = q % 3 != 0;
        digest.add(int(mesh.hit(p, d, hits, both, q % 5 == 0, false, nullptr, 0.0)));
        digest.add(hits);
        digest.add(int(Mesh::meshHitsOnLine(&mesh, p, d, hits, 1.0)));
        digest.add(hits);

        Point near;
        Direction n;
        const int f = int(unit(gen) * mesh.getFacetCount()) % mesh.getFacetCount();
        mesh.getFacetCentroid(f, near);
        mesh.getFacetNormal(f, n);
        const double off = 0.4 * cell * (2.0 * unit(gen) - 1.0);
        for (int c = 0; c < 3; ++c)
            near.data[c] += float(off * n.data[c] + 0.1 * cell * normal(gen));
        const Direction along(float(n.data[0] + 0.3 * normal(gen)),
                              float(n.data[1] + 0.3 * normal(gen)),
                              float(n.data[2] + 0.3 * normal(gen)));
        const double factor = q % 4 == 0 ? 0.3 : 1.0;
        digest.add(int(Mesh::meshHitsNearPoint(&mesh, near, hits, factor, q % 2 == 0)));
        digest.add(hits);
        digest.add(int(Mesh::meshHitsAlongDirection(&mesh, near, along, hits, factor, q % 2 == 1)));
        digest.add(hits);
        digest.add(int(Mesh::facetsNearPoint(&mesh, near, facets, factor)));
        for (int g : facets)
            digest.add(g);
        int vertex = -1;
        digest.add(int(mesh.findNearestVertex(near, vertex)));
        digest.add(vertex);
        Direction meshNormal;
        digest.add(int(Mesh::meshNormalNearPoint(&mesh, near, meshNormal)));
        for (int c = 0; c < 3; ++c)
            digest.add(meshNormal.data[c]);
        // The normal taken again a little aside, through the last query's
        // facets where they are the same, and farther aside, where most of
        // them are read from the last query's weights, is the one taken
        // afresh.
        for (float step : {0.0f, float(0.01 * cell), float(0.2 * cell)}) {
            near.data[0] += step;
            Direction fresh, reused;
            const bool ok = Mesh::meshNormalNearPoint(&mesh, near, fresh);
            EXPECT_EQ(Mesh::meshNormalNearPoint(&mesh, near, reused, &reuse), ok);
            EXPECT_TRUE(!ok || std::memcmp(fresh.data, reused.data, sizeof(float) * 3) == 0);
        }
    }
    hits.removeAll(false, true);
    return digest.h;
}

struct HitCase {
    const char* name;
    std::function<bool(CFlatMesh&)> fill; // false: the input is missing (skip)
    double divisor;
    int queries;
    std::uint64_t expected;
};

// A scan-like patch of 9,600 uneven triangles.
bool fillScanLike(CFlatMesh& m)
{
    const mwtest::ScanLikeMesh scan = mwtest::scanLikeMesh(80, 60);
    for (std::size_t v = 0; v < scan.xyz.size(); v += 3)
        m.addVertex(Point(float(scan.xyz[v]), float(scan.xyz[v + 1]), float(scan.xyz[v + 2])));
    for (std::size_t t = 0; t < scan.triangles.size(); t += 3)
        m.addPolygon(&scan.triangles[t], 3, -1);
    m.buildTopology();
    m.computeBoundingBox();
    return true;
}

bool fromRealFile(CFlatMesh& mesh, const char* name)
{
    const std::string path = mwtest::realDataFile("stl", name);
    return !path.empty() && readSTL(mesh, path.c_str(), true);
}

TEST(HitEquality, HitsAreThoseOfTheEarlierSearches)
{
    const HitCase cases[] = {
        {"scan-like patch", fillScanLike, 200.0, 150, 0xfe7c3cfe698511afull},
        // Cells far coarser than the facets: a query meets hundreds of
        // entries, cell by cell.
        {"scan-like patch, coarse cells", fillScanLike, 12.0, 150, 0xd731c66072f3eca0ull},
        {"sphere of quads", [](CFlatMesh& m) { mwtest::fillFlatMesh(mwtest::sphereSoup(3.0, 40, 30), m); return true; },
         60.0, 150, 0x3b462c7d002fc34full},
        {"sphereWithHole.stl", [](CFlatMesh& m) { return fromRealFile(m, "sphereWithHole.stl"); }, 200.0, 150, 0x30838ec67bf264f6ull},
        {"torus.STL", [](CFlatMesh& m) { return fromRealFile(m, "torus.STL"); }, 200.0, 150, 0x7f4abd39a3e1d228ull},
        {"featuretype.STL", [](CFlatMesh& m) { return fromRealFile(m, "featuretype.STL"); }, 350.0, 150, 0xaf41b0d1f0bf2cfeull},
        {"Spider_binary.stl", [](CFlatMesh& m) { return fromRealFile(m, "Spider_binary.stl"); }, 200.0, 150, 0x37145990b1a50200ull},
    };
    for (const HitCase& c : cases) {
        SCOPED_TRACE(c.name);
        CFlatMesh mesh;
        if (!c.fill(mesh))
            continue;
        testing::internal::CaptureStdout(); // far hits report their size
        mesh.buildFacetHash(c.divisor, -1.0, nullptr);
        const std::uint64_t digest = hitDigest(mesh, c.queries);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(digest, c.expected) << std::hex << "hits 0x" << digest;
    }
}

// A crowded cell's items are searched by their groups: the nearest point
// through cells of hundreds of items each is as near as through cells of a
// few, wherever the query lies, on the mesh or off it.
TEST(HitEquality, NearestPointDoesNotDependOnTheCellSize)
{
    CFlatMesh fine, coarse;
    fillScanLike(fine);
    fillScanLike(coarse);
    fine.buildFacetHash(200.0, -1.0, nullptr);
    coarse.buildFacetHash(12.0, -1.0, nullptr);
    std::mt19937 gen(5);
    std::uniform_real_distribution<double> unit(-0.1, 1.1);
    const CBox<float, 3>& box = fine.box;
    for (int q = 0; q < 400; ++q) {
        double p[3];
        for (int c = 0; c < 3; ++c)
            p[c] = box.min.data[c] + (box.max.data[c] - box.min.data[c]) * unit(gen);
        Mesh::MeshFoot a, b;
        ASSERT_TRUE(Mesh::nearestMeshPoint(&fine, p, HUGE_VAL, a));
        ASSERT_TRUE(Mesh::nearestMeshPoint(&coarse, p, HUGE_VAL, b));
        EXPECT_EQ(a.distance, b.distance) << "query " << q;
    }
}

} // namespace

// The flat mirror keeps copies of the facets' corners: an edit of the mesh
// after the hash was built (a vertex moved, a facet turned over) must not
// leave the searches on the old corners. The mean normal near a point is
// set against the one computed from the mesh itself.
TEST(HitEquality, SearchesFollowEditsMadeAfterTheHashWasBuilt)
{
    struct Edit {
        const char* name;
        std::function<void(CFlatMesh&, int facet)> apply;
    };
    const Edit edits[] = {
        {"vertex moved",
         [](CFlatMesh& m, int facet) {
             Point q;
             const int v = m.getPolygonVertexIndex(facet, 0);
             m.getVertex(v, q);
             q.data[2] += 0.05f;
             m.setVertex(v, q);
         }},
        {"facet turned over", [](CFlatMesh& m, int facet) { m.flipFacet(facet); }},
    };
    for (const Edit& edit : edits) {
        SCOPED_TRACE(edit.name);
        CFlatMesh mesh;
        mwtest::fillFlatMesh(mwtest::scannedSoup(20, 3), mesh);
        mesh.buildFacetHash(40.0, -1.0, nullptr);
        const int facet = 200;
        Point p;
        mesh.getFacetCentroid(facet, p);
        Direction before;
        ASSERT_TRUE(Mesh::meshNormalNearPoint(&mesh, p, before));
        edit.apply(mesh, facet);
        Direction after;
        ASSERT_TRUE(Mesh::meshNormalNearPoint(&mesh, p, after));
        Kor::List<int> near;
        ASSERT_TRUE(Mesh::facetsNearPoint(&mesh, p, near, 0.6));
        const Direction fromMesh = Mesh::meanFacetNormal(&mesh, near);
        EXPECT_NE(std::memcmp(before.data, after.data, sizeof(float) * 3), 0);
        EXPECT_EQ(std::memcmp(after.data, fromMesh.data, sizeof(float) * 3), 0);
    }
}
