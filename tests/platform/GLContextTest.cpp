// Offscreen context: a triangle rendered into the buffer, the capture written
// as PNG and read back through libpng.
#include "platform/GLContext.h"
#include "platform/PngWriter.h"
#include "support/ReadPng.h"
#include "support/ScratchDir.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <vector>

namespace {

constexpr int kW = 64;
constexpr int kH = 48;

// The pixel (x, y) of a bottom-up buffer as OpenGL reads it back.
const unsigned char* pixelAt(const std::vector<unsigned char>& p, int width, int x, int y)
{
    return p.data() + (static_cast<std::size_t>(y) * width + x) * 4;
}

// Fills the lower-left half of the viewport with a red triangle on blue.
void drawLowerLeftTriangle()
{
    glViewport(0, 0, kW, kH);
    glClearColor(0.f, 0.f, 1.f, 1.f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor3f(1.f, 0.f, 0.f);
    glBegin(GL_TRIANGLES);
    glVertex2f(-1.f, -1.f);
    glVertex2f(1.f, -1.f);
    glVertex2f(-1.f, 1.f);
    glEnd();
}

#define CREATE_OR_SKIP(ctx, w, h)                                                                  \
    if (!(ctx).create((w), (h)))                                                                   \
    GTEST_SKIP() << "no offscreen OpenGL context available: " << (ctx).lastError()

TEST(GLContext, TriangleIsRenderedIntoTheBufferBottomUp)
{
    Platform::GLContext ctx;
    CREATE_OR_SKIP(ctx, kW, kH);
    EXPECT_TRUE(ctx.isCurrent());
    EXPECT_TRUE(Platform::GLContext::isAnyCurrent());
    drawLowerLeftTriangle();
    ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    std::vector<unsigned char> pixels;
    ASSERT_TRUE(ctx.readPixels(pixels));
    ASSERT_EQ(pixels.size(), static_cast<std::size_t>(kW * kH * 4));
    const unsigned char* inside = pixelAt(pixels, kW, 4, 4); // near the bottom-left corner
    EXPECT_EQ(inside[0], 255);
    EXPECT_EQ(inside[1], 0);
    EXPECT_EQ(inside[2], 0);
    const unsigned char* outside = pixelAt(pixels, kW, kW - 4, kH - 4);
    EXPECT_EQ(outside[0], 0);
    EXPECT_EQ(outside[2], 255);

    ctx.destroy();
    EXPECT_FALSE(ctx.isValid());
    EXPECT_FALSE(Platform::GLContext::isAnyCurrent());
    EXPECT_FALSE(ctx.readPixels(pixels));
    EXPECT_TRUE(pixels.empty());
}

TEST(GLContext, InvalidSizesAreRefusedAndRecreationReplacesTheContext)
{
    Platform::GLContext ctx;
    EXPECT_FALSE(ctx.create(0, 10));
    EXPECT_FALSE(ctx.create(10, -1));
    EXPECT_FALSE(ctx.isValid());
    EXPECT_FALSE(ctx.makeCurrent());
    CREATE_OR_SKIP(ctx, 8, 8);
    ASSERT_TRUE(ctx.create(16, 4));
    EXPECT_EQ(ctx.width(), 16);
    EXPECT_EQ(ctx.height(), 4);
    std::vector<unsigned char> pixels;
    ASSERT_TRUE(ctx.readPixels(pixels));
    EXPECT_EQ(pixels.size(), 16u * 4u * 4u);
}

TEST(PngWriter, CaptureRoundTripsUprightThroughLibpng)
{
    Platform::GLContext ctx;
    CREATE_OR_SKIP(ctx, kW, kH);
    drawLowerLeftTriangle();
    std::vector<unsigned char> pixels;
    ASSERT_TRUE(ctx.readPixels(pixels));

    const std::string path = mwtest::scratchPath("mw_glcontext_capture.png");
    ASSERT_TRUE(Platform::writePng(path, pixels.data(), kW, kH));
    int w = 0, h = 0;
    std::vector<unsigned char> back;
    ASSERT_TRUE(mwtest::readPng(path, w, h, back));
    std::remove(path.c_str());
    ASSERT_EQ(w, kW);
    ASSERT_EQ(h, kH);
    // The file is top-down: the red corner of the view is the file's last rows.
    const unsigned char* bottomLeft = back.data() + (static_cast<std::size_t>(kH - 5) * kW + 4) * 4;
    EXPECT_EQ(bottomLeft[0], 255);
    EXPECT_EQ(bottomLeft[2], 0);
    EXPECT_EQ(bottomLeft[3], 255);
    // Near the top-right corner the view is background; unflipped rows would
    // put the red bottom edge of the view there.
    const unsigned char* topRight = back.data() + (static_cast<std::size_t>(1) * kW + kW - 2) * 4;
    EXPECT_EQ(topRight[0], 0);
    EXPECT_EQ(topRight[2], 255);
}

TEST(PngWriter, UnwritableTargetsAndBadArgumentsFail)
{
    const unsigned char px[4] = {1, 2, 3, 4};
    EXPECT_FALSE(Platform::writePng("/nonexistent-folder/x.png", px, 1, 1));
    EXPECT_FALSE(Platform::writePng("", px, 1, 1));
    EXPECT_FALSE(Platform::writePng("/tmp/mw_never.png", nullptr, 1, 1));
    EXPECT_FALSE(Platform::writePng("/tmp/mw_never.png", px, 0, 1));
    EXPECT_FALSE(std::filesystem::exists("/tmp/mw_never.png"));
}

} // namespace
