#include "mesh/FlatMeshNormals.h"

#include "mesh/FlatMesh.h"
#include "mesh/MeshGeometry.h"
#include "mesh/MeshVertex.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

namespace {

using Point = CVertex<float, 3>;

// Deterministic noise in [-1, 1].
double noise(int i)
{
    const double s = std::sin(12.9898 * i + 78.233) * 43758.5453;
    return 2.0 * (s - std::floor(s)) - 1.0;
}

// An (n+1) x (n+1) grid of quads with spacing h, vertex (i, j) at index
// i + (n + 1) j; height(i, j, index) gives z. Quads run counter-clockwise
// seen from +z.
template <class Height> void fillQuadGrid(CFlatMesh& mesh, int n, float h, Height height)
{
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i)
            mesh.addVertex(Point(i * h, j * h, float(height(i, j, i + (n + 1) * j))));
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int a = i + (n + 1) * j;
            const int quad[4] = {a, a + 1, a + n + 2, a + n + 1};
            mesh.addPolygon(quad, 4, -1);
        }
}

bool onGridBoundary(int i, int j, int n)
{
    return i == 0 || j == 0 || i == n || j == n;
}

// Mean of 1 - n_z over the vertex normals.
double meanTilt(CFlatMesh& mesh)
{
    double sum = 0.0;
    for (int i = 0; i < mesh.derived.vertexCount; ++i)
        sum += 1.0 - mesh.derived.vertices[i].normal[2];
    return sum / mesh.derived.vertexCount;
}

void setAllNormals(CFlatMesh& mesh, float x, float y, float z)
{
    for (int i = 0; i < mesh.derived.vertexCount; ++i) {
        CSimpleVector3f& normal = mesh.derived.vertices[i].normal;
        normal[0] = x;
        normal[1] = y;
        normal[2] = z;
    }
}

TEST(FlatMeshRelaxVertices, RelaxedNormalsOfNoisyPlaneApproachPlaneNormal)
{
    CFlatMesh mesh;
    fillQuadGrid(mesh, 10, 1.0f, [](int, int, int k) { return 0.15 * noise(k); });
    ASSERT_TRUE(mesh.computeDerivedData());
    const double before = meanTilt(mesh);
    ASSERT_GT(before, 1e-3);

    testing::internal::CaptureStdout();
    EXPECT_TRUE(mesh.relaxVertices(-20, 0.1, false));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("number of Vertices = 121"), std::string::npos);
    EXPECT_NE(out.find("Iterations = 20"), std::string::npos);
    EXPECT_EQ(out.find("estimated iterations="), std::string::npos);
    EXPECT_TRUE(mesh.normalsRelaxed);

    EXPECT_LT(meanTilt(mesh), 0.2 * before);
    for (int i = 0; i < mesh.derived.vertexCount; ++i) {
        const CSimpleVector3f& normal = mesh.derived.vertices[i].normal;
        EXPECT_NEAR(std::sqrt(dotProduct(normal, normal)), 1.0, 1e-5);
    }
}

TEST(FlatMeshRelaxVertices, SweepCountIsGivenOrEstimatedAndClippedTo250)
{
    CFlatMesh mesh;
    fillQuadGrid(mesh, 10, 0.01f, [](int, int, int) { return 0.0; });

    testing::internal::CaptureStdout();
    EXPECT_TRUE(mesh.relaxVertices(-7, 0.2, false));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("eLenStat="), std::string::npos);
    EXPECT_NE(out.find("Iterations = 7\n"), std::string::npos);
    EXPECT_EQ(out.find("estimated"), std::string::npos);

    testing::internal::CaptureStdout();
    EXPECT_TRUE(mesh.relaxVertices(-1000, 0.2, false));
    out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Iterations = 250\n"), std::string::npos);

    // Small spacing: the estimate (about 6000) is clipped.
    testing::internal::CaptureStdout();
    EXPECT_TRUE(mesh.relaxVertices(0, 0.2, false));
    out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find(" clipping to 250 iterations "), std::string::npos);
    EXPECT_NE(out.find("estimated iterations=250"), std::string::npos);
    EXPECT_NE(out.find("Iterations = 250\n"), std::string::npos);
}

// A vertex with 100 or more edges is not averaged; its normal must survive
// the simultaneous copy of the targets at the end of each sweep.
TEST(FlatMeshRelaxVertices, VertexWithManyEdgesKeepsItsNormalAcrossSweeps)
{
    CFlatMesh mesh;
    const int rim = 120;
    mesh.addVertex(Point(0, 0, 0));
    for (int k = 0; k < rim; ++k) {
        const double a = 2.0 * std::numbers::pi * k / rim;
        mesh.addVertex(Point(float(std::cos(a)), float(std::sin(a)), float(0.3 * std::sin(3 * a))));
    }
    for (int k = 0; k < rim; ++k) {
        const int tri[3] = {0, 1 + k, 1 + (k + 1) % rim};
        mesh.addPolygon(tri, 3, -1);
    }
    ASSERT_TRUE(mesh.computeDerivedData());
    const CSimpleVector3f& centre = mesh.derived.vertices[0].normal;
    const float initial[3] = {centre[0], centre[1], centre[2]};
    ASSERT_GT(initial[2], 0.9f);

    testing::internal::CaptureStdout();
    EXPECT_TRUE(mesh.relaxVertices(-3, 0.2, false));
    testing::internal::GetCapturedStdout();
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(mesh.derived.vertices[0].normal[c], initial[c]);
}

TEST(FitPointsToVertexNormals, FittingToGivenNormalsFlattensNoisyPlane)
{
    const int n = 8;
    CFlatMesh mesh;
    fillQuadGrid(mesh, n, 1.0f, [&](int i, int j, int k) {
        return onGridBoundary(i, j, n) ? 0.0 : 0.1 * noise(k);
    });
    ASSERT_TRUE(mesh.computeDerivedData());
    setAllNormals(mesh, 0.0f, 0.0f, 1.0f);

    testing::internal::CaptureStdout();
    CFitPointsToVertexNormals fit(mesh, 300);
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(fit.solved());
    // Every polygon corner is one leg; boundary edges sit in both lists.
    EXPECT_NE(out.find("nLegs=256 testCount=256\ntotal eCount=288\n"), std::string::npos);
    EXPECT_NE(out.find("f="), std::string::npos);

    double before = 0.0, after = 0.0;
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            const CFlatMesh::MeshVertex& v = mesh.derived.vertices[i + (n + 1) * j];
            EXPECT_EQ(v.displacement[0], 0.0f);
            EXPECT_EQ(v.displacement[1], 0.0f);
            if (onGridBoundary(i, j, n)) {
                EXPECT_TRUE(fit.isBoundaryVertex(i + (n + 1) * j));
                EXPECT_EQ(v.displacement[2], 0.0f);
                continue;
            }
            before += double(v[2]) * v[2];
            after += double(v[2] + v.displacement[2]) * (v[2] + v.displacement[2]);
        }
    EXPECT_LT(std::sqrt(after), 0.1 * std::sqrt(before));
    EXPECT_LT(fit.finalObjective(), 1e-6);
}

TEST(FitPointsToVertexNormals, FlatMeshWithPlaneNormalsKeepsDisplacements)
{
    CFlatMesh mesh;
    fillQuadGrid(mesh, 4, 1.0f, [](int, int, int) { return 0.0; });
    ASSERT_TRUE(mesh.computeDerivedData());
    CSimpleVector3f& moved = mesh.derived.vertices[12].displacement;
    moved[0] = 0.5f;
    moved[2] = -0.25f;

    testing::internal::CaptureStdout();
    CFitPointsToVertexNormals fit(mesh, 50);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(fit.finalObjective(), 0.0);
    for (int i = 0; i < fit.distances().n; ++i)
        EXPECT_EQ(fit.distances()[i], 0.0);
    EXPECT_EQ(moved[0], 0.5f);
    EXPECT_EQ(moved[1], 0.0f);
    EXPECT_EQ(moved[2], -0.25f);
    // The mesh's own legs stay attached for the ring walks.
    Kor::List<int> ring;
    EXPECT_TRUE(mesh.getVertexRing(12, ring, nullptr));
    EXPECT_EQ(ring.count, 4);
}

// The gradient handed to the line search is the gradient of the objective,
// including the factor 2 of the square.
TEST(FitPointsToVertexNormals, GradientIncludesFactorTwoOfTheSquare)
{
    const int n = 5;
    CFlatMesh mesh;
    fillQuadGrid(mesh, n, 1.0f, [](int, int, int k) { return 0.2 * noise(k); });
    ASSERT_TRUE(mesh.computeDerivedData());

    testing::internal::CaptureStdout();
    CFitPointsToVertexNormals fit(mesh, 1);
    testing::internal::GetCapturedStdout();

    const int count = mesh.derived.vertexCount;
    Vector x(count), d(count), g(count), unused(count);
    for (int i = 0; i < count; ++i) {
        x[i] = 0.1 * noise(100 + i);
        d[i] = noise(200 + i);
    }
    fit.evaluate(1, g, x, 0.0, d);
    const double h = 1e-6;
    int checked = 0;
    for (int i = 0; i < count; ++i) {
        if (fit.isBoundaryVertex(i)) {
            EXPECT_EQ(g[i], 0.0);
            continue;
        }
        Vector e(count);
        e[i] = 1.0;
        const double fp = fit.evaluate(0, unused, x, h, e);
        const double fm = fit.evaluate(0, unused, x, -h, e);
        EXPECT_NEAR(g[i], (fp - fm) / (2 * h), 1e-6 + 1e-5 * std::fabs(g[i])) << "vertex " << i;
        ++checked;
    }
    EXPECT_EQ(checked, (n - 1) * (n - 1));
}

TEST(EstimatePolygonNormal, PlanarAndSlightlyWarpedPolygons)
{
    CEstimatePolygonNormal estimate;

    // A triangle: the normal of (P1 - P0) x (P2 - P1).
    const Point tri[3] = {Point(0, 0, 0), Point(2, 0, 0), Point(0, 0, 1)};
    ASSERT_TRUE(estimate.estimate(tri, 3));
    EXPECT_NEAR(estimate.normal[0], 0.0f, 1e-6f);
    EXPECT_NEAR(estimate.normal[1], -1.0f, 1e-6f);
    EXPECT_NEAR(estimate.normal[2], 0.0f, 1e-6f);

    // A planar quad far from the origin, given as a list.
    Kor::List<Point> quad;
    quad.append(Point(1e4f, 1e4f, 5.0f));
    quad.append(Point(1e4f + 1.0f, 1e4f, 5.0f));
    quad.append(Point(1e4f + 1.0f, 1e4f + 1.0f, 5.0f));
    quad.append(Point(1e4f, 1e4f + 1.0f, 5.0f));
    ASSERT_TRUE(estimate.estimate(quad));
    EXPECT_NEAR(estimate.normal[2], 1.0f, 1e-6f);

    // A slightly warped quad: the two odd corners' turns, summed.
    const Point warped[4] = {Point(0, 0, 0), Point(1, 0, 0), Point(1, 1, 0.1f), Point(0, 1, 0)};
    ASSERT_TRUE(estimate.estimate(warped, 4));
    // Turn at corner 1: (1,0,0) x (0,1,0.1) = (0,-0.1,1); at corner 3:
    // (-1,0,-0.1) x (0,-1,0) = (-0.1,0,1).
    const double len = std::sqrt(0.01 + 0.01 + 4.0);
    EXPECT_NEAR(estimate.normal[0], -0.1 / len, 1e-6);
    EXPECT_NEAR(estimate.normal[1], -0.1 / len, 1e-6);
    EXPECT_NEAR(estimate.normal[2], 2.0 / len, 1e-6);
}

TEST(EstimatePolygonNormal, DegeneratePolygonsReportFailure)
{
    CEstimatePolygonNormal estimate;
    const Point line[4] = {Point(0, 0, 0), Point(1, 1, 1), Point(2, 2, 2), Point(3, 3, 3)};
    EXPECT_FALSE(estimate.estimate(line, 2));
    EXPECT_FALSE(estimate.estimate(nullptr, 3));
    EXPECT_FALSE(estimate.estimate(line, 4));
    EXPECT_EQ(estimate.normal[0], 0.0f);
    EXPECT_EQ(estimate.normal[1], 0.0f);
    EXPECT_EQ(estimate.normal[2], 0.0f);
    const Point same[3] = {Point(1, 2, 3), Point(1, 2, 3), Point(1, 2, 3)};
    EXPECT_FALSE(estimate.estimate(same, 3));
}

} // namespace
