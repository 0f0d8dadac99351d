// The viewport of the openNURBS subset: a camera (location, direction, up),
// a parallel or perspective view frustum in camera coordinates, and the
// screen port it is drawn into, with y growing downwards.
//
// From these it answers the line under a pixel, the pixels per world unit at
// a point, the OpenGL projection and model-view matrices, and zooms to a box.
// A plain value; not thread-safe for concurrent changes.
#pragma once

#include "platform/on/Object.h"

class ON_Viewport : public ON_Geometry {
public:
    // A parallel view down -Z with +Y up from (0, 0, 100), frustum
    // [-1, 1] x [-1, 1] with near 0.1 and far 1000, port 1 x 1.
    ON_Viewport() = default;

    bool SetProjection(ON::view_projection projection);
    ON::view_projection Projection() const { return m_projection; }
    bool IsParallelProjection() const { return m_projection == ON::parallel_view; }
    bool IsPerspectiveProjection() const { return m_projection == ON::perspective_view; }

    // Each false (unchanged) for a non-finite or zero argument.
    bool SetCameraLocation(const ON_3dPoint& location);
    bool SetCameraDirection(const ON_3dVector& direction);
    bool SetCameraUp(const ON_3dVector& up);
    ON_3dPoint CameraLocation() const { return m_location; }
    ON_3dVector CameraDirection() const { return m_direction; }
    ON_3dVector CameraUp() const { return m_up; }
    // The camera's unit axes: x to the right, y up (the up vector made
    // perpendicular to the direction), z backwards (against the direction).
    // False when the direction and up are parallel.
    bool GetCameraFrame(ON_3dVector& x, ON_3dVector& y, ON_3dVector& z) const;

    // The frustum in camera coordinates: left < right and bottom < top on
    // the near plane, near and far distances in front of the camera (near > 0
    // for a perspective view). False (unchanged) otherwise.
    bool SetFrustum(double left, double right, double bottom, double top, double nearDist,
                    double farDist);
    bool GetFrustum(double* left, double* right, double* bottom, double* top, double* nearDist,
                    double* farDist) const;
    // The pixel rectangle; with y down, bottom is the larger value (a
    // 200 x 100 port is left 0, right 200, bottom 100, top 0). False
    // (unchanged) for an empty port.
    bool SetScreenPort(int left, int right, int bottom, int top, int nearZ = 0, int farZ = 0);
    bool GetScreenPort(int* left, int* right, int* bottom, int* top) const;

    bool IsValid(ON_TextLog* textLog = nullptr) const override;

    // The line of world points seen at screen point (x, y): `to` on the near
    // plane, `from` on the far plane. False for an invalid viewport.
    bool GetFrustumLine(double screenX, double screenY, ON_Line& line) const;
    // Pixels per world unit at a point (for a perspective view, at the
    // point's depth). False for an invalid viewport or a point not in front
    // of a perspective camera.
    bool GetWorldToScreenScale(const ON_3dPoint& point, double* pixelsPerUnit) const;
    // Column-major matrices for glLoadMatrixd: the projection (glOrtho or
    // glFrustum of the frustum) and the model-view transformation from world
    // to camera coordinates. False for an invalid viewport.
    bool GetOpenGLProjectionMatrix(double matrix[16]) const;
    bool GetOpenGLModelViewMatrix(double matrix[16]) const;

    // Keeps direction, up and (for a perspective view) the viewing angles,
    // and moves the camera and sets the frustum so that the sphere around
    // the box fits the port. False (unchanged) for an empty box or an
    // invalid viewport.
    bool ZoomToBox(const ON_BoundingBox& box);

private:
    ON::view_projection m_projection = ON::parallel_view;
    ON_3dPoint m_location{0.0, 0.0, 100.0};
    ON_3dVector m_direction{0.0, 0.0, -1.0};
    ON_3dVector m_up{0.0, 1.0, 0.0};
    double m_frustum[6] = {-1.0, 1.0, -1.0, 1.0, 0.1, 1000.0}; // l, r, b, t, n, f
    int m_port[6] = {0, 1, 1, 0, 0, 0};                        // l, r, b, t, near, far
};
