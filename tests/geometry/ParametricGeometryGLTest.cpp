// The OpenGL colour of a geometry, set for real in an offscreen context.
#include "geometry/ParametricGeometry.h"
#include "platform/GLContext.h"
#include "support/AnalyticCurves.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

namespace {

struct Rgba {
    GLfloat v[4];
};

Rgba currentColour()
{
    Rgba c{};
    glGetFloatv(GL_CURRENT_COLOR, c.v);
    return c;
}

Rgba material(GLenum face)
{
    Rgba c{};
    glGetMaterialfv(face, GL_DIFFUSE, c.v);
    return c;
}

void expectRgba(const Rgba& c, double r, double g, double b)
{
    EXPECT_NEAR(c.v[0], r, 1e-6);
    EXPECT_NEAR(c.v[1], g, 1e-6);
    EXPECT_NEAR(c.v[2], b, 1e-6);
    EXPECT_NEAR(c.v[3], 1.0, 1e-6);
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
    expectRgba(currentColour(), 0.2, 0.4, 0.6);

    AnalyticSphere sphere(Vector(0.0, 0.0, 0.0), 1.0);
    sphere.setColour(0.9, 0.1, 0.1);
    sphere.setGLColour();
    expectRgba(material(GL_FRONT), 0.9, 0.1, 0.1);
    expectRgba(material(GL_BACK), 0.9, 0.1, 0.1);
    sphere.setBkColour(0.1, 0.1, 0.8);
    sphere.setGLColour();
    expectRgba(material(GL_FRONT), 0.9, 0.1, 0.1);
    expectRgba(material(GL_BACK), 0.1, 0.1, 0.8);

    // A colour of other than three entries sets nothing.
    AnalyticSphere odd(Vector(0.0, 0.0, 0.0), 1.0);
    odd.colour = Vector(4);
    odd.bkColour = Vector(0.5, 0.5, 0.5);
    odd.setGLColour();
    expectRgba(currentColour(), 0.9, 0.1, 0.1);
    expectRgba(material(GL_BACK), 0.1, 0.1, 0.8);
}
