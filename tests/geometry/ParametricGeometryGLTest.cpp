// The OpenGL colour of a geometry, set for real in an offscreen context.
#include "geometry/ParametricGeometry.h"
#include "platform/GLContext.h"
#include "support/AnalyticCurves.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

namespace {

// Compares an RGBA state (the current colour, or a face's diffuse material)
// with (r, g, b, 1).
void expectRgba(GLenum face, double r, double g, double b)
{
    GLfloat c[4] = {};
    if (face == GL_NONE)
        glGetFloatv(GL_CURRENT_COLOR, c);
    else
        glGetMaterialfv(face, GL_DIFFUSE, c);
    const double want[4] = {r, g, b, 1.0};
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(c[k], want[k], 1e-6) << face << ' ' << k;
}

} // namespace

TEST(SetGLColour, ColourAndTwoSidedMaterialsInTheCurrentContext)
{
    AnalyticLine line(Vector(0.0, 0.0, 0.0), Vector(1.0, 0.0, 0.0));
    line.setColour(0.2, 0.4, 0.6);
    line.setGLColour(); // no context yet: nothing happens, nothing breaks

    Platform::GLContext context;
    ASSERT_TRUE(context.create(16, 16)) << context.lastError();
    glColor3f(0.0f, 0.0f, 0.0f);
    line.setGLColour();
    expectRgba(GL_NONE, 0.2, 0.4, 0.6);

    AnalyticSphere sphere(Vector(0.0, 0.0, 0.0), 1.0);
    sphere.setColour(0.9, 0.1, 0.1);
    sphere.setGLColour();
    expectRgba(GL_FRONT, 0.9, 0.1, 0.1);
    expectRgba(GL_BACK, 0.9, 0.1, 0.1);
    sphere.setBkColour(0.1, 0.1, 0.8);
    sphere.setGLColour();
    expectRgba(GL_FRONT, 0.9, 0.1, 0.1);
    expectRgba(GL_BACK, 0.1, 0.1, 0.8);

    // A colour of other than three entries sets nothing.
    AnalyticSphere odd(Vector(0.0, 0.0, 0.0), 1.0);
    odd.colour = Vector(4);
    odd.bkColour = Vector(0.5, 0.5, 0.5);
    odd.setGLColour();
    expectRgba(GL_NONE, 0.9, 0.1, 0.1);
    expectRgba(GL_BACK, 0.1, 0.1, 0.8);
}
