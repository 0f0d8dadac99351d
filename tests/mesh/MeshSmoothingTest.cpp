#include "mesh/MeshSmoothing.h"

#include "foundation/Random15.h"
#include "foundation/Statistic.h"
#include "support/TestMeshes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

using Mesh::CSTLVertex;
using Mesh::CTriangleMesh;
using Point = CVertex<float, 3>;

namespace {

std::vector<CSTLVertex*> vertices(CTriangleMesh& mesh)
{
    std::vector<CSTLVertex*> all;
    for (auto* cell : mesh.vertexHash.cells)
        for (CSTLVertex* v : cell->items)
            all.push_back(v);
    return all;
}

// The standard deviation of the vertices' distances from (3, 3, 3).
double radialSpread(CTriangleMesh& mesh)
{
    CStatistic r;
    for (const CSTLVertex* v : vertices(mesh))
        r.add(norm(Vector(v->data[0] - 3.0, v->data[1] - 3.0, v->data[2] - 3.0)));
    return std::sqrt(r.sumSquares / r.count - r.mean() * r.mean());
}

// A sphere of radius 10 around (3, 3, 3) whose points are moved radially by
// up to +-0.2 (reproducible noise).
void noisySphere(CTriangleMesh& mesh)
{
    mwtest::MeshSoup soup = mwtest::sphereSoup(10.0, 36, 18, 3.0, 3.0, 3.0);
    CRandom15 noise(7);
    for (int v = 0; v < soup.pointCount(); ++v) {
        const double f = 1.0 + 0.02 * (noise.next() / 32767.0 - 0.5);
        for (int c = 0; c < 3; ++c)
            soup.xyz[3 * v + c] = 3.0 + (soup.xyz[3 * v + c] - 3.0) * f;
    }
    mwtest::fillTriangleMesh(soup, mesh);
}

} // namespace

TEST(MeshSmoothing, EmptyMeshesPrintOnlyTheUmbrellaProgress)
{
    CTriangleMesh empty;
    EXPECT_EQ(mwtest::capturedStdout([&] { empty.zMoveSmooth(); }), "");
    EXPECT_EQ(mwtest::capturedStdout([&] { empty.umbrellaSmooth(0); }), "");
    EXPECT_EQ(mwtest::capturedStdout([&] { empty.umbrellaSmooth(1); }),
              "applying Umbrella operator\napplygin changes\ndeleting data\n");
}

TEST(MeshSmoothing, FlatMeshBarelyMovesAndNoisySphereGetsRounder)
{
    CTriangleMesh flat, plane;
    mwtest::fillTriangleMesh(mwtest::gridSoup(6, 6, 1.0, 1.0, true), flat);
    mwtest::fillTriangleMesh(mwtest::gridSoup(6, 6, 1.0, 1.0, true), plane);
    const std::string text = mwtest::capturedStdout([&] { flat.zMoveSmooth(); });
    EXPECT_NE(text.find("zMove-Statistics = "), std::string::npos);
    EXPECT_NE(text.find(" with d0=0"), std::string::npos);
    for (const CSTLVertex* v : vertices(flat))
        EXPECT_NEAR(v->data[2], 0.0f, 1e-7f);
    // The Umbrella step moves no vertex of a plane: every vertex is still
    // at a grid point.
    globalRandom15().seed(3);
    mwtest::capturedStdout([&] { plane.umbrellaSmooth(2); });
    for (const CSTLVertex* v : vertices(plane))
        EXPECT_EQ(std::vector<float>(v->data, v->data + 3),
                  (std::vector<float>{std::round(v->data[0]), std::round(v->data[1]), 0.0f}));

    CTriangleMesh zMoved, umbrella;
    noisySphere(zMoved);
    noisySphere(umbrella);
    const double spread = radialSpread(zMoved);
    ASSERT_GT(spread, 0.02);
    mwtest::capturedStdout([&] { zMoved.zMoveSmooth(); });
    globalRandom15().seed(11);
    mwtest::capturedStdout([&] { umbrella.umbrellaSmooth(1); });
    EXPECT_LT(radialSpread(zMoved), 0.8 * spread);
    EXPECT_LT(radialSpread(umbrella), 0.8 * spread);
}

TEST(MeshSmoothing, SmoothedVerticesAreFoundAtTheirNewPositions)
{
    CTriangleMesh mesh;
    noisySphere(mesh);
    mwtest::capturedStdout([&] {
        mesh.zMoveSmooth();
        mesh.umbrellaSmooth(1);
    });
    for (const Mesh::CTriData& t : mesh.triangles)
        for (CSTLVertex* corner : t.v)
            EXPECT_EQ(mesh.findVertex(*corner), corner);
}

TEST(MeshSmoothing, VertexOfManyEdgesKeepsItsNormal)
{
    // A fan of 120 triangles around a lifted centre.
    CTriangleMesh fan;
    const Point centre(0.0f, 0.0f, 2.0f);
    for (int i = 0; i < 120; ++i) {
        const double a = 2.0 * M_PI * i / 120, b = 2.0 * M_PI * ((i + 1) % 120) / 120;
        fan.addTriangle(centre, Point(float(20 * std::cos(a)), float(20 * std::sin(a)), 0.0f),
                        Point(float(20 * std::cos(b)), float(20 * std::sin(b)), 0.0f));
    }
    fan.computeVertexNormals();
    CSTLVertex* hub = fan.findVertex(centre);
    ASSERT_NE(hub, nullptr);
    hub->direction = CVector<float, 3>(0.6f, 0.0f, 0.8f);
    globalRandom15().seed(1);
    const std::string text = mwtest::capturedStdout([&] { fan.umbrellaSmooth(3); });
    EXPECT_NE(text.find("more than 100 spValues, expect problems. eList=120"), std::string::npos);
    EXPECT_EQ(hub->direction.data[0], 0.6f);
    EXPECT_EQ(hub->direction.data[2], 0.8f);
}

TEST(MeshSmoothing, NearestOtherVertexAndIntSort)
{
    Mesh::C3DHash<CSTLVertex, float> hash;
    for (Point p : {Point(0, 0, 0), Point(1, 0, 0), Point(0.5f, 0.2f, 0), Point(40, 40, 40)}) {
        CSTLVertex v(p);
        hash.insert(v, true, false);
    }
    // Within the cell size; a stored point is not its own neighbour; none
    // near (after inserting the point): the nearest cell's vertex.
    CSTLVertex probes[3] = {CSTLVertex(Point(0.9f, 0, 0)), CSTLVertex(Point(0, 0, 0)),
                            CSTLVertex(Point(30, 30, 30))};
    const float nearestX[3] = {1.0f, 0.5f, 40.0f};
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(hash.findOrInsertVertex(probes[c], true, c == 2)->data[0], nearestX[c]);
    EXPECT_NE(hash.findVertex(probes[2]), nullptr);
    Mesh::C3DHash<CSTLVertex, float> lone;
    EXPECT_EQ(lone.findOrInsertVertex(probes[0], true, true), nullptr);

    Kor::List<int> values;
    for (int x : {5, -2, 9, 5, 0})
        values.append(x);
    values.sort();
    EXPECT_EQ(std::vector<int>(values.begin(), values.end()), (std::vector<int>{-2, 0, 5, 5, 9}));
}
