// Point markers, sphere points and font lists drawn into a 64 x 64 view of
// [-1, 1]^2 (32 pixels per world unit), checked by pixels and printed lines.
#include "display/Markers.h"
#include "display/Fonts.h"
#include "display/OpenGLPoint.h"

#include "support/GLView.h"

#include <GL/gl.h>

#include <cerrno>
#include <string>

namespace {

using mwtest::rgb;

class Markers : public mwtest::GLView {
protected:
    // Draws one marker at the centre and returns its pixel extent.
    std::pair<int, int> markerExtent(int shape, double size)
    {
        clear();
        drawMarker(0.0, 0.0, 0.0, shape, true, nullptr, size);
        return litExtent();
    }
};

TEST_F(Markers, ShapesLightTheirColoursAroundThePoint)
{
    struct Case {
        int shape;
        unsigned colour;
    };
    // Size 45 is a half-extent of 0.3 world units: about 10 pixels.
    const Case cases[] = {{0, rgb(1, 0, 0)},       {1, rgb(0.1, 0.1, 0.9)}, {2, rgb(0.2, 0.8, 0.0)},
                          {3, rgb(0.8, 0.0, 0.7)}, {4, rgb(0.9, 0.1, 0.1)}, {5, rgb(0.6, 0.6, 0.6)},
                          {7, rgb(1.0, 0.6, 0.6)}};
    for (const Case& c : cases) {
        const auto [w, h] = markerExtent(c.shape, 45.0);
        EXPECT_GT(countPixels(c.colour), 8) << c.shape;
        EXPECT_EQ(litPixels(), countPixels(c.colour)) << c.shape;
        EXPECT_GE(w, 8) << c.shape;
        EXPECT_LE(w, c.shape == 7 ? 42 : 22) << c.shape; // the cube spans 2 s
        EXPECT_GE(h, 8) << c.shape;
    }

    // The circle keeps the current colour: radius pixelSize / 500 * size.
    clear();
    glColor3f(1.f, 1.f, 0.f);
    drawMarker(0.0, 0.0, 0.0, 8, true, nullptr, 75.0);
    EXPECT_NEAR(litExtent().first, 20, 2);
    EXPECT_EQ(litPixels(), countPixels(rgb(1, 1, 0)));

    // Shape 6 reports the current colour and stamps a 3 x 3 block of it.
    clear();
    glColor3f(0.f, 1.f, 1.f);
    testing::internal::CaptureStdout();
    drawMarker(0.0, 0.0, 0.0, 6, true);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "curCol=0 1 1 1\n");
    EXPECT_EQ(countPixels(rgb(0, 1, 1)), 9);

    clear();
    testing::internal::CaptureStdout();
    drawMarker(0.0, 0.0, 0.0, 9, true);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "undefined shape=9\n");
    EXPECT_EQ(litPixels(), 0);
}

TEST_F(Markers, ScreenSizeFollowsTheSizeNotTheZoom)
{
    const auto [w1, h1] = markerExtent(2, 30.0);
    const auto [w2, h2] = markerExtent(2, 60.0);
    EXPECT_NEAR(w2, 2 * w1, 2);
    EXPECT_NEAR(h2, 2 * h1, 2);
    CMarkerFrame wide;           // read from the view before the zoom
    ortho(-0.5, 0.5, -0.5, 0.5); // half the view's width: zoomed in twice
    const auto [w3, h3] = markerExtent(2, 30.0);
    EXPECT_NEAR(w3, w1, 1);
    EXPECT_NEAR(h3, h1, 1);
    // A given frame is drawn in as it is: its world size is that of the
    // wide view, twice the screen size now.
    clear();
    drawMarker(0.0, 0.0, 0.0, 2, true, &wide, 30.0);
    EXPECT_NEAR(litExtent().first, 2 * w1, 2);
    glViewport(0, 0, 0, 0); // no view: no marker of a meaningless size
    EXPECT_EQ(markerExtent(2, 30.0).first, 0);
}

// A view wide enough for the sphere's radius 0.75 pixelSize / 190 to span
// 1.5 pixels.
class SpherePoint : public mwtest::GLView {
protected:
    SpherePoint() : GLView(380, 380) {}
};

TEST_F(SpherePoint, KeepsItsPixelRadiusUnderZoomAndMoves)
{
    COpenGLPoint point("SelectedPoint", CVertex<float, 3>(0.f, 0.f, 0.f), 1.f, 0.f, 0.f, 1.f, 0,
                       3.0, 1);
    EXPECT_TRUE(point.hasName("SelectedPoint"));
    EXPECT_EQ(point.draw(), 0u);
    const auto [w, h] = litExtent();
    EXPECT_GE(w, 2);
    EXPECT_LE(w, 4);
    EXPECT_EQ(h, w);
    ortho(-0.25, 0.25, -0.25, 0.25);
    clear();
    point.draw();
    EXPECT_EQ(litExtent().first, w);
    EXPECT_EQ(point.listId, 0u); // drawn directly, never compiled

    point.setPosition(CVertex<float, 3>(0.125f, 0.f, 0.f)); // 95 pixels right at this zoom
    EXPECT_TRUE(point.dirty);
    clear();
    point.draw();
    EXPECT_EQ(pixel(190, 190), 0u);
    EXPECT_NE(pixel(285, 190) | pixel(284, 189), 0u);
}

TEST_F(Markers, FontListsCoverAllCodesAndAdvance)
{
    ASSERT_TRUE(createFontDisplayLists(nullptr, 1000));
    EXPECT_EQ(fontListBase, 1000u);
    for (unsigned code = 0; code < 256; ++code)
        ASSERT_TRUE(glIsList(1000 + code)) << code;

    auto rasterX = [] {
        GLfloat p[4];
        glGetFloatv(GL_CURRENT_RASTER_POSITION, p);
        return p[0];
    };
    glColor3f(0.f, 1.f, 0.f);
    glRasterPos2f(-0.5f, 0.f);
    const float x0 = rasterX();
    glCallList(1000 + ' ');
    glCallList(1000 + 7); // not printable: empty, but it advances
    EXPECT_EQ(litPixels(), 0);
    glCallList(1000 + 'A');
    EXPECT_FLOAT_EQ(rasterX() - x0, 18.f);
    EXPECT_GT(countPixels(rgb(0, 1, 0)), 10);
    EXPECT_EQ(countPixels(rgb(0, 1, 0)), litPixels());
}

TEST_F(Markers, FontListsNeverOverwriteListsTheyDidNotMake)
{
    // A list of someone else's inside the asked range keeps its content.
    glNewList(2010, GL_COMPILE);
    glColor3f(1.f, 0.f, 0.f);
    glRectf(-1.f, -1.f, 1.f, 1.f);
    glEndList();
    ASSERT_TRUE(createFontDisplayLists(nullptr, 2000));
    EXPECT_NE(fontListBase, 2000u);
    EXPECT_TRUE(glIsList(fontListBase) && glIsList(fontListBase + 255));
    glCallList(2010);
    EXPECT_EQ(pixel(10, 10), rgb(1, 0, 0));
    // Building again at the font's own base replaces only font lists.
    const unsigned base = fontListBase;
    ASSERT_TRUE(createFontDisplayLists(nullptr, base));
    EXPECT_EQ(fontListBase, base);

    errno = 0;
    EXPECT_TRUE(getLastErrorText().empty());
    errno = ENOENT;
    EXPECT_EQ(getLastErrorText(), L"No such file or directory");
}

} // namespace
