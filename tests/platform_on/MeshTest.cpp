#include "platform/on/OpenNurbsSubset.h"

#include <gtest/gtest.h>

#include <array>

namespace {

std::array<int, 4> topFace(const ON_MeshTopology& top, int fi)
{
    std::array<int, 4> v{-9, -9, -9, -9};
    EXPECT_TRUE(top.GetTopFaceVertices(fi, v.data())) << fi;
    return v;
}

} // namespace

TEST(OnMesh, IdenticalPointsShareOneTopologicalVertex)
{
    // Two triangles over the diagonal (1,0)-(0,1) of the unit square, each
    // with its own three vertices, plus a quad with distinct corners and one
    // whose last two corners coincide.
    const double pts[][3] = {{0, 0, 0},    {1, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 0},
                             {0, 1, -0.0}, {2, 0, 0}, {3, 0, 0}, {3, 1, 0}, {2, 1, 0},
                             {5, 0, 0},    {6, 0, 0}, {6, 1, 0}, {6, 1, 0}};
    ON_Mesh mesh;
    for (int i = 0; i < 14; ++i)
        ASSERT_TRUE(mesh.SetVertex(i, ON_3dPoint(pts[i][0], pts[i][1], pts[i][2])));
    EXPECT_FALSE(mesh.SetVertex(20, ON_3dPoint(0, 0, 0)));
    ASSERT_TRUE(mesh.SetTriangle(0, 0, 1, 2));
    ASSERT_TRUE(mesh.SetTriangle(1, 3, 4, 5));
    ASSERT_TRUE(mesh.SetQuad(2, 6, 7, 8, 9));
    ASSERT_TRUE(mesh.SetQuad(3, 10, 11, 12, 13));
    EXPECT_TRUE(mesh.IsValid());

    const ON_MeshTopology& top = mesh.Topology();
    EXPECT_EQ(top.TopVertexCount(), 4 + 4 + 3);
    EXPECT_EQ(top.TopFaceCount(), 4);
    EXPECT_EQ(topFace(top, 0), (std::array<int, 4>{0, 1, 2, 2}));
    EXPECT_EQ(topFace(top, 1), (std::array<int, 4>{1, 3, 2, 2}));
    EXPECT_EQ(topFace(top, 2), (std::array<int, 4>{4, 5, 6, 7}));
    std::array<int, 4> collapsed = topFace(top, 3);
    EXPECT_EQ(collapsed[2], collapsed[3]) << "a quad with coincident corners reads as a triangle";
    EXPECT_EQ(top.TopVertexPoint(3), ON_3dPoint(1, 1, 0));
    EXPECT_EQ(top.TopVertexPoint(99).x, ON_UNSET_VALUE);
    int untouched[4] = {7, 7, 7, 7};
    EXPECT_FALSE(top.GetTopFaceVertices(4, untouched));
    EXPECT_EQ(untouched[0], 7);

    // Changing a vertex drops the topology; the next one sees the change.
    ASSERT_TRUE(mesh.SetVertex(3, ON_3dPoint(1, 0, 0.5)));
    EXPECT_EQ(mesh.Topology().TopVertexCount(), 12);
}

TEST(OnMesh, FacesNamingMissingVerticesAreRefusedSafely)
{
    ON_Mesh mesh;
    for (int i = 0; i < 3; ++i)
        mesh.SetVertex(i, ON_3dPoint(i, i * i, 0));
    mesh.SetTriangle(0, 0, 1, 2);
    mesh.SetTriangle(1, 0, 2, 7);
    ON_wString why;
    ON_TextLog log(why);
    EXPECT_FALSE(mesh.IsValid(&log));
    EXPECT_NE(why.Str().find(L"m_F[1]"), std::wstring::npos) << why.ToUtf8();
    int v[4];
    EXPECT_TRUE(mesh.Topology().GetTopFaceVertices(0, v));
    EXPECT_FALSE(mesh.Topology().GetTopFaceVertices(1, v));

    ON_BoundingBox box = mesh.BoundingBox();
    EXPECT_EQ(box.m_min, ON_3dPoint(0, 0, 0));
    EXPECT_EQ(box.m_max, ON_3dPoint(2, 4, 0));
    EXPECT_TRUE(ON_Mesh().BoundingBox().IsEmpty());
    EXPECT_EQ(ON_Mesh().ObjectType(), ON::mesh_object);
    EXPECT_EQ(ON::mesh_object, 32);
}
