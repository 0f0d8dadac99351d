// Test fixture: an offscreen OpenGL view to draw into and look at.
//
// Every test case of a fixture derived from GLView gets a fresh context of
// `width` x `height` pixels (64 x 64 unless the fixture asks otherwise), made
// current, with the viewport covering it, an orthographic projection of
// [-1, 1] in every direction, identity model-view, depth test off and a black
// background. Without a context the case is skipped. Pixels are addressed
// from the bottom-left corner, as OpenGL numbers them; colours are 0xRRGGBB.
#pragma once

#include "platform/GLContext.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace mwtest {

// Pixels x0 <= x < x1, y0 <= y < y1 of a view (clipped to it).
struct Region {
    int x0 = 0, y0 = 0, x1 = 1 << 30, y1 = 1 << 30;
};

// 0xRRGGBB of a colour given in [0, 1] per channel.
unsigned int rgb(double r, double g, double b);

class GLView : public ::testing::Test {
protected:
    explicit GLView(int w = 64, int h = 64) : width(w), height(h) {}

    int width;
    int height;
    Platform::GLContext context;

    void SetUp() override;

    // glOrtho over an identity projection; the model-view becomes identity.
    void ortho(double left, double right, double bottom, double top, double zNear = -1.0,
               double zFar = 1.0);
    void clear(float r = 0.f, float g = 0.f, float b = 0.f);
    // Light 0 on (shining along -z onto what faces the viewer) without any
    // ambient light, so that a lit facet facing the viewer shows exactly its
    // diffuse colour.
    void light();

    unsigned int pixel(int x, int y);
    // Pixels within `tolerance` (per 8-bit channel) of colour.
    int countPixels(unsigned int colour, int tolerance = 3, Region region = Region());
    // Pixels other than the background colour.
    int litPixels(unsigned int background = 0, Region region = Region());
    // Width and height of the box around the pixels other than background
    // (0, 0 when there are none).
    std::pair<int, int> litExtent(unsigned int background = 0);

    // What `draw` sends through the pipeline, counted in feedback mode
    // (primitives clipped away are not counted).
    struct Primitives {
        int points = 0;
        int lines = 0;    // line segments
        int polygons = 0; // triangles, quads and polygons after clipping
        // Window depths of the polygons' vertices (1 and 0 without any).
        float minDepth = 1.f;
        float maxDepth = 0.f;
    };
    Primitives feedback(const std::function<void()>& draw);

    // Writes the view as a PNG into the diagnostics folder; its path, empty
    // when it could not be written.
    std::string capture(const std::string& name);

private:
    std::vector<unsigned char> m_pixels;
    void read();
};

} // namespace mwtest
