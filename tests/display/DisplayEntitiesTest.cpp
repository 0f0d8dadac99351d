// The mesh and surface display entities drawn into offscreen views: filled
// meshes, highlighted facets, the branches of the surface display, error
// points, and one scene of both written as a PNG.
#include "display/ColorCoding.h"
#include "display/entities/OpenGLMesh.h"
#include "display/entities/OpenGLSasSurf.h"
#include "geometry/NurbsSurf.h"
#include "mesh/FlatMesh.h"
#include "mesh/StlFormat.h"

#include "support/GLView.h"
#include "support/TestMeshes.h"

#include <GL/gl.h>

#include <filesystem>
#include <memory>
#include <string>

namespace {

using mwtest::rgb;
using Point = CVertex<float, 3>;

using DisplayEntities = mwtest::GLView;

// A bicubic bump over [-0.75, 0.75]^2 rising to z = 0.5 in the middle.
std::unique_ptr<Fenwo::NurbsSurf> bump()
{
    const knots k(3, 3, 0.0, 1.0);
    auto s = std::make_unique<Fenwo::NurbsSurf>(k, &k);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            const bool inner = i % 3 != 0 && j % 3 != 0;
            s->setControlPoint(i, j, Vector(-0.75 + 0.5 * i, -0.75 + 0.5 * j, inner ? 0.5 : 0.0));
        }
    return s;
}

void addSquare(CFlatMesh& mesh)
{
    int idx[4];
    const float c[4][2] = {{-0.5f, -0.5f}, {0.5f, -0.5f}, {0.5f, 0.5f}, {-0.5f, 0.5f}};
    for (int k = 0; k < 4; ++k)
        idx[k] = mesh.addVertex(Point(c[k][0], c[k][1], 0.f));
    mesh.addPolygon(idx, 4, -1);
}

TEST_F(DisplayEntities, MeshIsForcedFilledOncePerCompileAndHighlightsEveryRedraw)
{
    CFlatMesh mesh;
    addSquare(mesh);
    auto* entity =
        new COpenGLMesh("MeshwrightMesh", &mesh, 0.2f, 0.2f, 0.2f, 1.f, 0.5f, 0.f, 0.f, 1.f);
    EXPECT_EQ(entity->key, displayKeyOf(mesh));
    EXPECT_FALSE(entity->depthTestOff);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    testing::internal::CaptureStdout();
    EXPECT_EQ(entity->draw(), 0u);
    EXPECT_EQ(entity->draw(), 0u); // replayed, not compiled
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "OpenGL forcing:GL_FILL \n");
    const unsigned filled = pixel(32, 32);
    EXPECT_NE(filled, 0u);
    EXPECT_EQ(countPixels(filled), 32 * 32);
    GLint mode[2];
    glGetIntegerv(GL_POLYGON_MODE, mode);
    EXPECT_EQ(mode[0], GL_LINE); // the caller's state is left as it was
    entity->setDirty();
    testing::internal::CaptureStdout();
    entity->draw();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "OpenGL forcing:GL_FILL \n");

    // Highlighted facets are drawn outside the list, on every redraw.
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    light();
    entity->highlight.append(0);
    entity->highlightOnly = true;
    const unsigned list = entity->listId;
    for (int redraw = 0; redraw < 2; ++redraw) {
        clear();
        entity->draw();
        EXPECT_EQ(pixel(32, 32), rgb(1, 0, 0)) << redraw;
    }
    EXPECT_EQ(entity->listId, list);

    mesh.modified = false;
    delete entity;
    EXPECT_TRUE(mesh.modified);
}

TEST_F(DisplayEntities, SurfaceDrawsItsBranchesAndErrorPoints)
{
    auto surface = bump();
    struct Branch {
        bool shaded, net;
        unsigned expected; // a colour of lines the branch shows
    };
    const Branch branches[] = {{false, false, rgb(0, 0, 0.9)},    // iso-lines along v
                               {false, true, rgb(0.1, 0.1, 0.9)}, // control-net columns
                               {true, false, rgb(0.498, 1, 0)}};  // boundary curves
    for (const Branch& b : branches) {
        clear(1.f, 1.f, 1.f);
        COpenGLSasSurf entity("surface", surface.get(), 1.f, 1.f, 0.f, 1.f, b.shaded, b.net, false);
        EXPECT_EQ(entity.draw(), 0u);
        EXPECT_GT(countPixels(b.expected), 2 * 48) << b.shaded << b.net;
        EXPECT_GT(litPixels(rgb(1, 1, 1)), b.shaded ? 40 * 40 : 4 * 48) << b.shaded << b.net;
    }

    // Error points in the colour map's colours; an incomplete record is not
    // drawn.
    CColorCoding map;
    map.setRange(-1.0, 1.0);
    COpenGLSasSurf errors("errors", nullptr, 1.f, 1.f, 0.f, 1.f, false, false, false);
    errors.colourMap = &map;
    for (float v : {0.f, 0.f, -0.5f, -0.5f, 0.f, 0.f, 0.f, 0.f, 0.5f, 0.5f, 0.f, 0.f, 0.f, 0.f})
        errors.errorPoints.append(v);
    clear();
    errors.draw();
    float below[4], above[4];
    map.getColour(below, -0.5);
    map.getColour(above, 0.5);
    EXPECT_EQ(countPixels(rgb(below[0], below[1], below[2]), 1, {15, 31, 18, 34}), 9);
    EXPECT_EQ(countPixels(rgb(above[0], above[1], above[2]), 1, {47, 31, 50, 34}), 9);
    EXPECT_EQ(litPixels(), 2 * 9); // two points of size 3

    // A curve is drawn in the entity's colour; a new colour recompiles.
    Fenwo::NurbsSurf curve(knots(3, 3, 0.0, 1.0));
    for (int i = 0; i < 4; ++i)
        curve.setControlPoint(i, 0, Vector(-0.75 + 0.5 * i, 0.4 * (i % 2), 0.0));
    COpenGLSasSurf line("curve", &curve, 1.f, 0.f, 1.f, 1.f, false, false, false);
    clear();
    line.draw();
    EXPECT_GE(countPixels(rgb(1, 0, 1)), 2 * 48); // width 2 across 48 pixels
    line.setColour(0.f, 1.f, 1.f, 1.f);
    EXPECT_TRUE(line.dirty);
    clear();
    line.draw();
    EXPECT_EQ(countPixels(rgb(1, 0, 1)), 0);
    EXPECT_GE(countPixels(rgb(0, 1, 1)), 2 * 48);
}

class DisplayScene : public mwtest::GLView {
protected:
    DisplayScene() : GLView(320, 240) {}
};

TEST_F(DisplayScene, ShadedMeshAndSurfaceWithControlNetAsPng)
{
    CFlatMesh mesh;
    const std::string stl = mwtest::realDataFile("stl", "unit_sphere.STL");
    if (!stl.empty())
        ASSERT_TRUE(readSTL(mesh, stl.c_str(), true));
    else
        mwtest::fillFlatMesh(mwtest::sphereSoup(1.0, 24, 12), mesh);
    mesh.computeBoundingBox();
    const CBox<float, 3> box = mesh.getBoundingBox();
    const double radius = 0.5 * (box.max.data[0] - box.min.data[0]);

    // The sphere on the left, the surface on the right, both seen from above
    // and in front.
    ortho(-4.0 * radius, 4.0 * radius, -3.0 * radius, 3.0 * radius, -10.0 * radius, 10.0 * radius);
    glEnable(GL_DEPTH_TEST);
    clear(0.15f, 0.15f, 0.2f);
    glRotated(-30.0, 1.0, 0.0, 0.0);

    COpenGLMesh sphere("MeshwrightMesh", &mesh, 0.1f, 0.1f, 0.3f, 1.f, 0.3f, 0.1f, 0.1f, 1.f);
    sphere.transformed = true;
    for (int c = 0; c < 3; ++c)
        sphere.translation[c] = -0.5 * (box.min.data[c] + box.max.data[c]);
    sphere.translation[0] -= 1.8 * radius;
    EXPECT_EQ(sphere.draw(), 0u);

    auto surface = bump();
    glPushMatrix();
    glTranslated(1.8 * radius, 0.0, 0.0);
    glScaled(1.5 * radius, 1.5 * radius, 1.5 * radius);
    COpenGLSasSurf shaded("surface", surface.get(), 1.f, 1.f, 0.f, 1.f, true, false, true);
    COpenGLSasSurf net("net", surface.get(), 1.f, 1.f, 0.f, 1.f, false, true, false);
    EXPECT_EQ(shaded.draw(), 0u);
    EXPECT_EQ(net.draw(), 0u);
    glPopMatrix();

    const unsigned background = rgb(0.15, 0.15, 0.2);
    EXPECT_GT(litPixels(background, {0, 0, 150, 240}), 2000);   // the sphere
    EXPECT_GT(litPixels(background, {170, 0, 320, 240}), 2000); // the surface and its net
    EXPECT_GT(countPixels(rgb(0.1, 0.1, 0.9)), 50);
    const std::string png = capture("display-scene.png");
    ASSERT_FALSE(png.empty());
    EXPECT_GT(std::filesystem::file_size(png), 1000u);
}

} // namespace
