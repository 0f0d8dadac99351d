// Projection helpers against a known orthographic view of 200 x 100 pixels.
#include "display/ViewProjection.h"

#include "support/GLView.h"

#include <GL/gl.h>

namespace {

class ViewProjection : public mwtest::GLView {
protected:
    ViewProjection() : GLView(200, 100) {}
};

void expectAxis(const Vector& v, double x, double y, double z)
{
    ASSERT_EQ(v.n, 3);
    EXPECT_NEAR(v[0], x, 1e-7); // OpenGL keeps its matrices in float
    EXPECT_NEAR(v[1], y, 1e-7);
    EXPECT_NEAR(v[2], z, 1e-7);
}

TEST_F(ViewProjection, MeasuresAndProjectsTheView)
{
    ortho(-2, 2, -1, 1);
    EXPECT_NEAR(pixelSize(), 4.0, 1e-6);
    EXPECT_NEAR(screenDistanceToWorld(0, 50, 50, 50), 1.0, 1e-6);

    int x = -1, y = -1;
    float depth = -1.f;
    ASSERT_TRUE(projectToWindow(CVertex<double, 3>(-2.0, 1.0, 0.0), x, y, depth));
    EXPECT_LE(std::abs(x), 1);
    EXPECT_LE(std::abs(y), 1); // the top-left corner: window rows run top-down
    EXPECT_NEAR(depth, 0.5f, 1e-6);
    ASSERT_TRUE(projectToWindow(CVertex<double, 3>(1.0, -0.5, 0.0), x, y, depth));
    EXPECT_EQ(x, 150);
    EXPECT_EQ(y, 75);

    Vector nearPoint, farPoint;
    unprojectWindowPoint(150, 75, nearPoint, farPoint);
    expectAxis(nearPoint, 1.0, -0.5, 1.0);
    expectAxis(farPoint, 1.0, -0.5, -1.0);

    Vector depthAxis, right, up;
    viewAxes(depthAxis, right, up);
    expectAxis(right, 1, 0, 0);
    expectAxis(up, 0, 1, 0);
    expectAxis(depthAxis, 0, 0, -1);
    glRotated(90.0, 0.0, 0.0, 1.0);
    viewAxes(depthAxis, right, up);
    expectAxis(right, 0, -1, 0);
    expectAxis(up, 1, 0, 0);

    ortho(-1, 1, -0.5, 0.5);
    EXPECT_NEAR(pixelSize(), 2.0, 1e-6);
    glViewport(0, 0, 0, 0);
    EXPECT_EQ(pixelSize(), -1.0);
}

} // namespace
