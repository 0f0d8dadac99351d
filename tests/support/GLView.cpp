#include "GLView.h"

#include "platform/Diagnostics.h"
#include "platform/PngWriter.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace mwtest {

unsigned int rgb(double r, double g, double b)
{
    auto channel = [](double c) {
        return static_cast<unsigned int>(std::lround(std::clamp(c, 0.0, 1.0) * 255.0));
    };
    return (channel(r) << 16) | (channel(g) << 8) | channel(b);
}

void GLView::SetUp()
{
    if (!context.create(width, height))
        GTEST_SKIP() << "no offscreen OpenGL context available: " << context.lastError();
    glViewport(0, 0, width, height);
    glDisable(GL_DEPTH_TEST);
    ortho(-1.0, 1.0, -1.0, 1.0);
    clear();
}

void GLView::ortho(double left, double right, double bottom, double top, double zNear, double zFar)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(left, right, bottom, top, zNear, zFar);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void GLView::clear(float r, float g, float b)
{
    glClearColor(r, g, b, 1.f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void GLView::light()
{
    const GLfloat none[4] = {0.f, 0.f, 0.f, 1.f};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, none);
    glEnable(GL_LIGHT0);
}

void GLView::read()
{
    EXPECT_TRUE(context.readPixels(m_pixels));
    m_pixels.resize(static_cast<std::size_t>(width) * height * 4);
}

unsigned int GLView::pixel(int x, int y)
{
    read();
    const unsigned char* p = m_pixels.data() + (static_cast<std::size_t>(y) * width + x) * 4;
    return (unsigned(p[0]) << 16) | (unsigned(p[1]) << 8) | unsigned(p[2]);
}

namespace {

bool near(const unsigned char* p, unsigned int colour, int tolerance)
{
    for (int c = 0; c < 3; ++c)
        if (std::abs(int(p[c]) - int((colour >> (16 - 8 * c)) & 0xffu)) > tolerance)
            return false;
    return true;
}

} // namespace

int GLView::countPixels(unsigned int colour, int tolerance, Region r)
{
    read();
    int n = 0;
    for (int y = std::max(r.y0, 0); y < std::min(r.y1, height); ++y)
        for (int x = std::max(r.x0, 0); x < std::min(r.x1, width); ++x)
            n += near(&m_pixels[(static_cast<std::size_t>(y) * width + x) * 4], colour, tolerance)
                     ? 1
                     : 0;
    return n;
}

int GLView::litPixels(unsigned int background, Region r)
{
    const int w = std::min(r.x1, width) - std::max(r.x0, 0);
    const int h = std::min(r.y1, height) - std::max(r.y0, 0);
    return std::max(w, 0) * std::max(h, 0) - countPixels(background, 0, r);
}

std::pair<int, int> GLView::litExtent(unsigned int background)
{
    read();
    int x0 = width, y0 = height, x1 = -1, y1 = -1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (!near(&m_pixels[(static_cast<std::size_t>(y) * width + x) * 4], background, 0)) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
                y0 = std::min(y0, y);
                y1 = std::max(y1, y);
            }
    if (x1 < 0)
        return {0, 0};
    return {x1 - x0 + 1, y1 - y0 + 1};
}

GLView::Primitives GLView::feedback(const std::function<void()>& draw)
{
    std::vector<GLfloat> buffer(1 << 16);
    GLint used = -1;
    while (true) {
        glFeedbackBuffer(GLsizei(buffer.size()), GL_3D, buffer.data());
        glRenderMode(GL_FEEDBACK);
        draw();
        used = glRenderMode(GL_RENDER);
        if (used >= 0 || buffer.size() >= (std::size_t(1) << 28))
            break;
        buffer.resize(buffer.size() * 4);
    }
    Primitives counts;
    // Each vertex is three floats in GL_3D feedback.
    for (GLint i = 0; i < used;) {
        const GLint token = GLint(buffer[i++]);
        switch (token) {
        case GL_POINT_TOKEN:
            ++counts.points;
            i += 3;
            break;
        case GL_LINE_TOKEN:
        case GL_LINE_RESET_TOKEN:
            ++counts.lines;
            i += 6;
            break;
        case GL_POLYGON_TOKEN: {
            const GLint n = GLint(buffer[i++]);
            ++counts.polygons;
            for (GLint k = 0; k < n; ++k, i += 3) {
                counts.minDepth = std::min(counts.minDepth, buffer[i + 2]);
                counts.maxDepth = std::max(counts.maxDepth, buffer[i + 2]);
            }
            break;
        }
        case GL_BITMAP_TOKEN:
        case GL_DRAW_PIXEL_TOKEN:
        case GL_COPY_PIXEL_TOKEN:
            i += 3;
            break;
        case GL_PASS_THROUGH_TOKEN:
            i += 1;
            break;
        default:
            ADD_FAILURE() << "unknown feedback token " << token;
            return counts;
        }
    }
    return counts;
}

std::string GLView::capture(const std::string& name)
{
    read();
    const std::string path = Platform::diagnosticsPath(name);
    if (!Platform::writePng(path, m_pixels.data(), width, height))
        return std::string();
    return path;
}

} // namespace mwtest
