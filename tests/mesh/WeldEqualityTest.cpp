// The exact weld and the edge table of a flat mesh against plain reference
// computations of the same results (a stable sort of the vertices by their
// coordinates; a stable sort of the coedges by their undirected key), on the
// real STL files and on generated meshes: the welded coordinates bit for
// bit, the rewritten polygons and every edge record in its place.
#include "mesh/FlatMesh.h"
#include "mesh/SimpleVertex.h"
#include "mesh/SpatialHash.h"
#include "mesh/StlFormat.h"
#include "support/ScanLikeMesh.h"
#include "support/TestMeshes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <numeric>
#include <string>
#include <vector>

namespace {

using mwtest::MeshSoup;

// A float as an unsigned number of the same order, both zeros alike.
std::uint32_t orderedBits(float f)
{
    if (f == 0.0f)
        return 0x80000000u;
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return (u & 0x80000000u) != 0 ? ~u : (u | 0x80000000u);
}

std::vector<float> coordinatesOf(CFlatMesh& mesh)
{
    std::vector<float> xyz;
    CVertex<float, 3> p;
    for (int v = 0; v < mesh.getVertexCount(true); ++v) {
        mesh.getVertex(v, p);
        xyz.insert(xyz.end(), p.data, p.data + 3);
    }
    return xyz;
}

std::vector<std::vector<int>> polygonsOf(CFlatMesh& mesh)
{
    std::vector<std::vector<int>> polygons(mesh.getFacetCount());
    for (int p = 0; p < mesh.getFacetCount(); ++p)
        for (int k = 0; k < mesh.getPolygonSize(p); ++k)
            polygons[p].push_back(mesh.getPolygonVertexIndex(p, k));
    return polygons;
}

// The coordinates of a soup of triangles as an STL reader adds them (each
// corner the next vertex); none for another mesh.
std::vector<float> soupCorners(CFlatMesh& mesh)
{
    std::vector<std::vector<int>> soup;
    for (int v = 0; v < mesh.getVertexCount(true); v += 3)
        soup.push_back({v, v + 1, v + 2});
    return polygonsOf(mesh) == soup ? coordinatesOf(mesh) : std::vector<float>();
}

// Every facet with corners of its own, as an STL reader leaves a mesh.
void fillUnshared(const MeshSoup& soup, CFlatMesh& mesh)
{
    for (const std::vector<int>& f : soup.facets) {
        std::vector<int> corners;
        for (int i : f)
            corners.push_back(mesh.addVertex(CVertex<float, 3>(
                float(soup.xyz[3 * i]), float(soup.xyz[3 * i + 1]), float(soup.xyz[3 * i + 2]))));
        mesh.addPolygon(corners.data(), int(corners.size()), -1);
    }
    mesh.computeBoundingBox();
}

// The weld by its definition: vertices in coordinate order (stable), equal
// points one new vertex with the coordinates of the first of them.
void expectWeldAsDefined(CFlatMesh& mesh)
{
    const std::vector<float> before = coordinatesOf(mesh);
    const std::vector<std::vector<int>> polygons = polygonsOf(mesh);
    const int n = int(before.size() / 3);
    std::vector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    auto key = [&](int v) {
        return std::make_tuple(orderedBits(before[3 * v]), orderedBits(before[3 * v + 1]),
                               orderedBits(before[3 * v + 2]));
    };
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return key(a) < key(b); });
    std::vector<int> newIndex(n);
    std::vector<float> points;
    for (int s = 0; s < n; ++s) {
        const int v = order[s];
        bool differs = s == 0;
        for (int c = 0; c < 3 && !differs; ++c)
            differs = before[3 * v + c] != before[3 * order[s - 1] + c];
        if (differs)
            points.insert(points.end(), &before[3 * v], &before[3 * v] + 3);
        newIndex[v] = int(points.size() / 3) - 1;
    }

    ASSERT_TRUE(mesh.weldEqualVertices(1e-4));
    const std::vector<float> after = coordinatesOf(mesh);
    ASSERT_EQ(after.size(), points.size());
    EXPECT_EQ(0, std::memcmp(after.data(), points.data(), points.size() * sizeof(float)));
    const std::vector<std::vector<int>> welded = polygonsOf(mesh);
    ASSERT_EQ(welded.size(), polygons.size());
    for (std::size_t p = 0; p < polygons.size(); ++p)
        for (std::size_t k = 0; k < polygons[p].size(); ++k) {
            const int old = polygons[p][k];
            ASSERT_EQ(welded[p][k], old >= 0 && old < n ? newIndex[old] : old) << p << " " << k;
        }
}

// The edge table by its definition: one coedge per polygon side, ordered
// stably by (lower, higher vertex) from the order by polygon and start
// vertex; each record in its place with its polygon and length.
void expectEdgeTableAsDefined(CFlatMesh& mesh)
{
    ASSERT_TRUE(mesh.buildTopology());
    using Edge = Mesh::CBaseMesh::CPolygonEdge;
    std::vector<Edge> expected;
    CVertex<float, 3> a, b;
    for (int p = 0; p < mesh.getFacetCount(); ++p) {
        const int n = mesh.getPolygonSize(p);
        std::vector<Edge> own;
        for (int k = 1; k <= n; ++k) {
            Edge e;
            e.vertex0 = mesh.getPolygonVertexIndex(p, k - 1);
            e.vertex1 = mesh.getPolygonVertexIndex(p, k % n);
            e.facet1 = p;
            float length = 0.0f;
            if (mesh.getVertex(e.vertex0, a) && mesh.getVertex(e.vertex1, b))
                length = pointDistance(a, b);
            e.length = std::max(length, 2.2e-16f);
            own.push_back(e);
        }
        std::stable_sort(own.begin(), own.end(),
                         [](const Edge& x, const Edge& y) { return x.vertex0 < y.vertex0; });
        expected.insert(expected.end(), own.begin(), own.end());
    }
    auto key = [](const Edge& e) {
        return std::make_pair(std::min(e.vertex0, e.vertex1), std::max(e.vertex0, e.vertex1));
    };
    std::stable_sort(expected.begin(), expected.end(),
                     [&](const Edge& x, const Edge& y) { return key(x) < key(y); });
    ASSERT_EQ(mesh.edges.count, int(expected.size()));
    for (int i = 0; i < mesh.edges.count; ++i) {
        const Edge& got = mesh.edges.data[i];
        ASSERT_EQ(got.vertex0, expected[i].vertex0) << i;
        ASSERT_EQ(got.vertex1, expected[i].vertex1) << i;
        ASSERT_EQ(got.facet1, expected[i].facet1) << i;
        ASSERT_EQ(0, std::memcmp(&got.length, &expected[i].length, sizeof(float))) << i;
    }
}

// The tolerance merge by its definition, through the spatial hash: each
// vertex in order takes the first stored vertex strictly closer than the
// cell size around it, else it is stored.
std::vector<std::vector<int>> mergedAsDefined(CFlatMesh& mesh, double tolerance)
{
    const int n = mesh.getVertexCount(true);
    std::vector<CVertex<float, 3>> points(n);
    Mesh::C3DHash<CSimpleVertex3f, float> hash;
    hash.setCellSize(tolerance);
    std::vector<CSimpleVertex3f> views(n);
    std::vector<int> representative(n);
    for (int v = 0; v < n; ++v) {
        mesh.getVertex(v, points[v]);
        views[v].view(points[v].data);
        if (hash.findNearest(views[v], float(hash.cellSize), true)) {
            representative[v] = int(hash.results[0] - views.data());
        } else {
            hash.insert(views[v], true, true);
            representative[v] = v;
        }
    }
    hash.clear();
    std::vector<std::vector<int>> polygons = polygonsOf(mesh);
    for (auto& polygon : polygons)
        for (int& v : polygon)
            v = representative[v];
    return polygons;
}

struct WeldCase {
    const char* name;
    std::function<bool(CFlatMesh&)> fill; // false: the input is missing (skip)
};

bool fillScanLike(CFlatMesh& mesh, int columns, int rows)
{
    const mwtest::ScanLikeMesh scan = mwtest::scanLikeMesh(columns, rows);
    MeshSoup s;
    s.xyz = scan.xyz;
    for (std::size_t t = 0; t < scan.triangles.size(); t += 3)
        s.facets.push_back({scan.triangles[t], scan.triangles[t + 1], scan.triangles[t + 2]});
    fillUnshared(s, mesh);
    return true;
}

bool fromRealFile(CFlatMesh& mesh, const char* name)
{
    const std::string path = mwtest::realDataFile("stl", name);
    return !path.empty() && readSTL(mesh, path.c_str(), false);
}

TEST(WeldEquality, WeldAndEdgeTableMatchTheirDefinitions)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const WeldCase cases[] = {
        {"scan-like patch", [](CFlatMesh& m) { return fillScanLike(m, 60, 40); }},
        {"sphere of quads", [](CFlatMesh& m) { fillUnshared(mwtest::sphereSoup(2.0, 24, 12), m); return true; }},
        {"signed zeros and duplicates",
         [](CFlatMesh& m) {
             MeshSoup s;
             s.addPoint(0.0, 0.0, 0.0);
             s.addPoint(-0.0, 1.0, 0.0);
             s.addPoint(1.0, -0.0, 0.0);
             s.addPoint(-0.0, -0.0, -0.0);
             s.addPoint(0.0, 1.0, -0.0);
             s.facets = {{0, 1, 2}, {3, 4, 2}, {2, 1, 0}, {0, 2, 4}};
             fillUnshared(s, m);
             return true;
         }},
        {"a point that is not a number",
         [nan](CFlatMesh& m) {
             fillUnshared(mwtest::gridSoup(4, 3, 1.0, 1.0, true), m);
             m.setVertex(5, CVertex<float, 3>(nan, 1.0f, 0.0f));
             m.setVertex(9, CVertex<float, 3>(1.0f, nan, 0.0f));
             return true;
         }},
        {"vertex indices spread far apart",
         [](CFlatMesh& m) {
             for (int v = 0; v < 30000; ++v)
                 m.addVertex(CVertex<float, 3>(float(v % 7), float(v % 5), float(v % 3)));
             const int tris[][3] = {{0, 29999, 15000}, {15000, 29999, 7}, {7, 29999, 0}};
             for (const auto& t : tris)
                 m.addPolygon(t, 3, -1);
             return true;
         }},
        {"Spider_binary.stl", [](CFlatMesh& m) { return fromRealFile(m, "Spider_binary.stl"); }},
        {"sphereWithHole.stl", [](CFlatMesh& m) { return fromRealFile(m, "sphereWithHole.stl"); }},
        {"angle_block.STL", [](CFlatMesh& m) { return fromRealFile(m, "angle_block.STL"); }},
        {"torus.STL", [](CFlatMesh& m) { return fromRealFile(m, "torus.STL"); }},
        {"unit_sphere.STL", [](CFlatMesh& m) { return fromRealFile(m, "unit_sphere.STL"); }},
        {"featuretype.STL", [](CFlatMesh& m) { return fromRealFile(m, "featuretype.STL"); }},
        {"scan-like patch past the tolerant merge's size",
         [](CFlatMesh& m) { return fillScanLike(m, 300, 300); }},
    };
    for (const WeldCase& c : cases) {
        SCOPED_TRACE(c.name);
        CFlatMesh mesh;
        if (!c.fill(mesh))
            continue;
        // The edge table of the soup as read, then the weld and the table
        // of the welded mesh.
        expectEdgeTableAsDefined(mesh);
        const std::vector<float> corners = soupCorners(mesh);
        expectWeldAsDefined(mesh);
        if (!corners.empty()) {
            // Welded as a large STL file's read adds them: at the reader's
            // tolerance past the tolerant merge's size, else at 0.
            const int triangles = int(corners.size() / 9);
            const bool large = 3 * triangles > 500000;
            CFlatMesh direct;
            EXPECT_EQ(direct.addWeldedTriangles(corners.data(), triangles, 1e-4), large);
            EXPECT_TRUE(large || direct.addWeldedTriangles(corners.data(), triangles, 0.0));
            const std::vector<float> welded = coordinatesOf(mesh), added = coordinatesOf(direct);
            ASSERT_EQ(added.size(), welded.size());
            EXPECT_EQ(0, std::memcmp(added.data(), welded.data(), welded.size() * sizeof(float)));
            EXPECT_EQ(polygonsOf(direct), polygonsOf(mesh));
            EXPECT_FALSE(direct.addWeldedTriangles(corners.data(), 1, 0.0));
        }
        expectEdgeTableAsDefined(mesh);
    }
}

TEST(WeldEquality, ToleranceMergeMatchesItsDefinition)
{
    // Vertices moved by up to twice the tolerance, so that some merge, some
    // chain without merging and some exact copies follow merged places.
    const mwtest::ScanLikeMesh scan = mwtest::scanLikeMesh(40, 30);
    unsigned state = 7u;
    auto nudge = [&state]() {
        state = state * 1664525u + 1013904223u;
        return (double(state >> 8) / double(1u << 24) * 2.0 - 1.0) * 2e-4;
    };
    const struct {
        const char* name;
        int nudged; // every nudged-th corner moved
    } cases[] = {{"exact copies only", 0}, {"every corner moved", 1}, {"every third moved", 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CFlatMesh mesh;
        for (std::size_t t = 0; t < scan.triangles.size(); t += 3) {
            int corners[3];
            for (int k = 0; k < 3; ++k) {
                const double* p = &scan.xyz[3 * std::size_t(scan.triangles[t + k])];
                const bool move = c.nudged > 0 && (t + k) % std::size_t(c.nudged) == 0;
                corners[k] = mesh.addVertex(CVertex<float, 3>(float(p[0] + (move ? nudge() : 0.0)),
                                                              float(p[1] + (move ? nudge() : 0.0)),
                                                              float(p[2])));
            }
            mesh.addPolygon(corners, 3, -1);
        }
        const std::vector<std::vector<int>> expected = mergedAsDefined(mesh, 1e-4);
        ASSERT_TRUE(mesh.mergeVertices(1e-4, 0));
        EXPECT_EQ(polygonsOf(mesh), expected);
    }
}

} // namespace
