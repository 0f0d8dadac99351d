// Error-coloured fit points in the offscreen view: the coded colours reach
// the pixels, and the OpenGL state the drawing changes is restored.
#include "fitting/FitPointDisplay.h"

#include "display/ColorCoding.h"

#include "support/GLView.h"

#include <GL/gl.h>

namespace {

class FitPointDisplay : public mwtest::GLView {};

TEST_F(FitPointDisplay, ColourCodedPointsRestoreTheOpenGLState)
{
    CFitPointArray points;
    for (auto [x, error] : {std::pair{-0.5, -0.1}, {0.5, 0.12}}) {
        CFitPoint fp(Vector(x, 0.0, 0.0));
        fp.dist2 = error * error;
        fp.side = error < 0.0 ? -1 : 1;
        points.append(fp);
    }
    CColorCoding coding;
    coding.setRange(-0.15, 0.15);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
    glPointSize(1.0f);
    clear();
    drawErrorColouredPoints(points, coding);
    glFinish();

    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    GLfloat size = 0.0f;
    glGetFloatv(GL_POINT_SIZE, &size);
    EXPECT_EQ(1.0f, size);
    for (int k = 0; k < points.count; ++k) {
        float rgba[4];
        coding.getColour(rgba, signedError(points[k]));
        const int x0 = k == 0 ? 0 : width / 2;
        EXPECT_EQ(16, countPixels(mwtest::rgb(rgba[0], rgba[1], rgba[2]), 3,
                                  mwtest::Region{x0, 0, x0 + width / 2, height}));
    }
}

} // namespace
