#include "platform/on/OpenNurbsSubset.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Normalised device coordinates of a world point through the OpenGL
// matrices (column-major), as the pipeline computes them.
ON_3dPoint toDevice(const ON_Viewport& vp, const ON_3dPoint& p)
{
    double proj[16], view[16];
    EXPECT_TRUE(vp.GetOpenGLProjectionMatrix(proj) && vp.GetOpenGLModelViewMatrix(view));
    auto apply = [](const double* m, const double v[4], double out[4]) {
        for (int row = 0; row < 4; ++row)
            out[row] = m[row] * v[0] + m[4 + row] * v[1] + m[8 + row] * v[2] + m[12 + row] * v[3];
    };
    double world[4] = {p.x, p.y, p.z, 1.0}, eye[4], clip[4];
    apply(view, world, eye);
    apply(proj, eye, clip);
    return ON_3dPoint(clip[0] / clip[3], clip[1] / clip[3], clip[2] / clip[3]);
}

// Pixel coordinates (y down) of a device point in a width x height port.
ON_3dPoint toPixel(const ON_3dPoint& ndc, double width, double height)
{
    return ON_3dPoint(0.5 * (ndc.x + 1) * width, height - 0.5 * (ndc.y + 1) * height, ndc.z);
}

ON_Viewport camera(ON::view_projection projection)
{
    ON_Viewport vp;
    EXPECT_TRUE(vp.SetCameraLocation(ON_3dPoint(0, 0, 10)));
    EXPECT_TRUE(vp.SetCameraDirection(ON_3dVector(0, 0, -1)));
    EXPECT_TRUE(vp.SetCameraUp(ON_3dVector(0, 1, 0)));
    EXPECT_TRUE(vp.SetProjection(projection));
    if (projection == ON::parallel_view)
        EXPECT_TRUE(vp.SetFrustum(-10, 10, -5, 5, 1, 100));
    else
        EXPECT_TRUE(vp.SetFrustum(-1, 1, -0.5, 0.5, 1, 100));
    EXPECT_TRUE(vp.SetScreenPort(0, 200, 100, 0));
    return vp;
}

} // namespace

TEST(OnViewport, ParallelLinesScaleAndMatrices)
{
    ON_Viewport vp = camera(ON::parallel_view);
    ON_Line line;
    ASSERT_TRUE(vp.GetFrustumLine(100, 50, line));
    EXPECT_EQ(line.to, ON_3dPoint(0, 0, 9)) << "on the near plane";
    EXPECT_EQ(line.from, ON_3dPoint(0, 0, -90)) << "on the far plane";
    ASSERT_TRUE(vp.GetFrustumLine(0, 0, line));
    EXPECT_EQ(line.to, ON_3dPoint(-10, 5, 9)) << "the top left pixel";
    double scale = 0;
    ASSERT_TRUE(vp.GetWorldToScreenScale(ON_3dPoint(3, 4, -20), &scale));
    EXPECT_DOUBLE_EQ(scale, 10.0);

    ON_3dPoint corner = toPixel(toDevice(vp, ON_3dPoint(10, 5, 0)), 200, 100);
    EXPECT_NEAR(corner.x, 200, 1e-12);
    EXPECT_NEAR(corner.y, 0, 1e-12) << "the top right corner of the port";
}

TEST(OnViewport, FrustumLinesProjectBackOntoTheirPixel)
{
    for (auto projection : {ON::parallel_view, ON::perspective_view}) {
        ON_Viewport vp = camera(projection);
        for (auto [x, y] : {std::pair{0.0, 0.0}, {200.0, 100.0}, {37.5, 81.0}, {150.0, 20.0}}) {
            ON_Line line;
            ASSERT_TRUE(vp.GetFrustumLine(x, y, line));
            ON_3dPoint nearPixel = toPixel(toDevice(vp, line.to), 200, 100);
            ON_3dPoint farPixel = toPixel(toDevice(vp, line.from), 200, 100);
            EXPECT_NEAR(nearPixel.x, x, 1e-9);
            EXPECT_NEAR(nearPixel.y, y, 1e-9);
            EXPECT_NEAR(nearPixel.z, -1.0, 1e-9) << "near plane";
            EXPECT_NEAR(farPixel.x, x, 1e-7);
            EXPECT_NEAR(farPixel.y, y, 1e-7);
            EXPECT_NEAR(farPixel.z, 1.0, 1e-9) << "far plane";
            if (projection == ON::perspective_view) {
                // Every line passes through the camera.
                ON_3dVector d = line.Direction();
                ON_3dVector w = ON_3dPoint(0, 0, 10) - line.from;
                double along = (w * d) / (d * d);
                EXPECT_NEAR((w - along * d).Length(), 0.0, 1e-12);
            }
        }
    }
    ON_Viewport vp = camera(ON::perspective_view);
    double scale = 0;
    ASSERT_TRUE(vp.GetWorldToScreenScale(ON_3dPoint(0, 0, 6), &scale));
    EXPECT_DOUBLE_EQ(scale, 200.0 / (2.0 * 4.0)) << "a 2-unit wide frustum at depth 4";
    EXPECT_FALSE(vp.GetWorldToScreenScale(ON_3dPoint(0, 0, 11), &scale)) << "behind the camera";
}

TEST(OnViewport, ZoomToBoxFramesTheBoxAndRefusesNonsense)
{
    const ON_BoundingBox box(ON_3dPoint(100, -3, 5), ON_3dPoint(104, 9, 6));
    for (auto projection : {ON::parallel_view, ON::perspective_view}) {
        ON_Viewport vp = camera(projection);
        ASSERT_TRUE(vp.ZoomToBox(box));
        ON_3dPoint center = toDevice(vp, box.Center());
        EXPECT_NEAR(center.x, 0.0, 1e-12);
        EXPECT_NEAR(center.y, 0.0, 1e-12);
        for (int k = 0; k < 8; ++k) {
            ON_3dPoint c((k & 1) ? box.m_max.x : box.m_min.x, (k & 2) ? box.m_max.y : box.m_min.y,
                         (k & 4) ? box.m_max.z : box.m_min.z);
            ON_3dPoint d = toDevice(vp, c);
            EXPECT_TRUE(std::fabs(d.x) <= 1 && std::fabs(d.y) <= 1 && std::fabs(d.z) <= 1)
                << projection << " corner " << k << " at " << d.x << ", " << d.y << ", " << d.z;
        }
        EXPECT_EQ(vp.CameraDirection(), ON_3dVector(0, 0, -1));
    }

    ON_Viewport vp = camera(ON::parallel_view);
    EXPECT_FALSE(vp.ZoomToBox(ON_BoundingBox()));
    EXPECT_FALSE(vp.SetFrustum(1, -1, 0, 1, 1, 2));
    EXPECT_FALSE(vp.SetScreenPort(0, 0, 100, 0));
    EXPECT_FALSE(vp.SetCameraDirection(ON_3dVector()));
    ASSERT_TRUE(vp.SetCameraUp(ON_3dVector(0, 0, 2))); // parallel to the direction
    ON_Line line;
    EXPECT_FALSE(vp.GetFrustumLine(1, 1, line));
    double m[16];
    EXPECT_FALSE(vp.GetOpenGLModelViewMatrix(m));
}
