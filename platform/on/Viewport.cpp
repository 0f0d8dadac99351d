#include "platform/on/Viewport.h"

#include <algorithm>
#include <cmath>

namespace {

ON_3dVector cross(const ON_3dVector& a, const ON_3dVector& b)
{
    return ON_3dVector(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

bool isUsable(const ON_3dVector& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) && !v.IsZero();
}

enum { L, R, B, T, N, F };

} // namespace

bool ON_Viewport::SetProjection(ON::view_projection projection)
{
    if (projection != ON::parallel_view && projection != ON::perspective_view)
        return false;
    if (projection == ON::perspective_view && !(m_frustum[N] > 0.0))
        return false;
    m_projection = projection;
    return true;
}

bool ON_Viewport::SetCameraLocation(const ON_3dPoint& location)
{
    if (!location.IsValid())
        return false;
    m_location = location;
    return true;
}

bool ON_Viewport::SetCameraDirection(const ON_3dVector& direction)
{
    if (!isUsable(direction))
        return false;
    m_direction = direction;
    return true;
}

bool ON_Viewport::SetCameraUp(const ON_3dVector& up)
{
    if (!isUsable(up))
        return false;
    m_up = up;
    return true;
}

bool ON_Viewport::GetCameraFrame(ON_3dVector& x, ON_3dVector& y, ON_3dVector& z) const
{
    ON_3dVector back = -m_direction;
    if (!back.Unitize())
        return false;
    ON_3dVector right = cross(m_up, back);
    if (right.Length() <= 1e-12 * m_up.Length() || !right.Unitize())
        return false;
    x = right;
    y = cross(back, right);
    z = back;
    return true;
}

bool ON_Viewport::SetFrustum(double left, double right, double bottom, double top, double nearDist,
                             double farDist)
{
    const double v[6] = {left, right, bottom, top, nearDist, farDist};
    for (double d : v)
        if (!std::isfinite(d))
            return false;
    if (!(left < right && bottom < top && nearDist < farDist))
        return false;
    if (m_projection == ON::perspective_view && !(nearDist > 0.0))
        return false;
    std::copy(v, v + 6, m_frustum);
    return true;
}

bool ON_Viewport::GetFrustum(double* left, double* right, double* bottom, double* top,
                             double* nearDist, double* farDist) const
{
    double* out[6] = {left, right, bottom, top, nearDist, farDist};
    for (int i = 0; i < 6; ++i)
        if (out[i])
            *out[i] = m_frustum[i];
    return true;
}

bool ON_Viewport::SetScreenPort(int left, int right, int bottom, int top, int nearZ, int farZ)
{
    if (left == right || bottom == top)
        return false;
    const int v[6] = {left, right, bottom, top, nearZ, farZ};
    std::copy(v, v + 6, m_port);
    return true;
}

bool ON_Viewport::GetScreenPort(int* left, int* right, int* bottom, int* top) const
{
    int* out[4] = {left, right, bottom, top};
    for (int i = 0; i < 4; ++i)
        if (out[i])
            *out[i] = m_port[i];
    return true;
}

bool ON_Viewport::IsValid(ON_TextLog* textLog) const
{
    ON_3dVector x, y, z;
    if (!m_location.IsValid() || !GetCameraFrame(x, y, z)) {
        if (textLog)
            textLog->Print("ON_Viewport: camera location, direction or up is unusable.\n");
        return false;
    }
    return true;
}

bool ON_Viewport::GetFrustumLine(double screenX, double screenY, ON_Line& line) const
{
    ON_3dVector x, y, z;
    if (!IsValid() || !GetCameraFrame(x, y, z) || !std::isfinite(screenX) ||
        !std::isfinite(screenY))
        return false;
    // Screen position as fractions of the port, 0 at the left and the top.
    const double s = (screenX - m_port[L]) / double(m_port[R] - m_port[L]);
    const double t = (screenY - m_port[T]) / double(m_port[B] - m_port[T]);
    const double fx = m_frustum[L] + s * (m_frustum[R] - m_frustum[L]);
    const double fy = m_frustum[T] + t * (m_frustum[B] - m_frustum[T]);
    const ON_3dVector offset = fx * x + fy * y;
    line.to = m_location + offset - m_frustum[N] * z;
    const double spread = IsPerspectiveProjection() ? m_frustum[F] / m_frustum[N] : 1.0;
    line.from = m_location + spread * offset - m_frustum[F] * z;
    return true;
}

bool ON_Viewport::GetWorldToScreenScale(const ON_3dPoint& point, double* pixelsPerUnit) const
{
    ON_3dVector x, y, z;
    if (!pixelsPerUnit || !IsValid() || !GetCameraFrame(x, y, z))
        return false;
    double width = m_frustum[R] - m_frustum[L];
    if (IsPerspectiveProjection()) {
        const double depth = -((point - m_location) * z);
        if (!(depth > 0.0))
            return false;
        width *= depth / m_frustum[N];
    }
    *pixelsPerUnit = std::fabs(double(m_port[R] - m_port[L])) / width;
    return true;
}

bool ON_Viewport::GetOpenGLProjectionMatrix(double m[16]) const
{
    if (!m || !IsValid())
        return false;
    const double l = m_frustum[L], r = m_frustum[R], b = m_frustum[B], t = m_frustum[T],
                 n = m_frustum[N], f = m_frustum[F];
    std::fill(m, m + 16, 0.0);
    // m[column * 4 + row]
    if (IsPerspectiveProjection()) {
        m[0] = 2 * n / (r - l);
        m[5] = 2 * n / (t - b);
        m[8] = (r + l) / (r - l);
        m[9] = (t + b) / (t - b);
        m[10] = -(f + n) / (f - n);
        m[11] = -1.0;
        m[14] = -2 * f * n / (f - n);
    } else {
        m[0] = 2 / (r - l);
        m[5] = 2 / (t - b);
        m[10] = -2 / (f - n);
        m[12] = -(r + l) / (r - l);
        m[13] = -(t + b) / (t - b);
        m[14] = -(f + n) / (f - n);
        m[15] = 1.0;
    }
    return true;
}

bool ON_Viewport::GetOpenGLModelViewMatrix(double m[16]) const
{
    ON_3dVector axis[3];
    if (!m || !IsValid() || !GetCameraFrame(axis[0], axis[1], axis[2]))
        return false;
    const ON_3dVector eye(m_location);
    std::fill(m, m + 16, 0.0);
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col)
            m[col * 4 + row] = axis[row][col];
        m[12 + row] = -(axis[row] * eye);
    }
    m[15] = 1.0;
    return true;
}

bool ON_Viewport::ZoomToBox(const ON_BoundingBox& box)
{
    ON_3dVector x, y, z;
    if (!box.IsValid() || !IsValid() || !GetCameraFrame(x, y, z))
        return false;
    const ON_3dPoint center = box.Center();
    double radius = 0.5 * box.Diagonal().Length();
    if (!(radius > 0.0))
        radius = 1.0;
    // Half extents on a plane at distance 1 (perspective) or of the view
    // itself (parallel) that show a circle of radius 1 in the port.
    const double aspect = std::fabs(double(m_port[R] - m_port[L]) / double(m_port[B] - m_port[T]));
    double halfW = aspect >= 1.0 ? aspect : 1.0;
    double halfH = aspect >= 1.0 ? 1.0 : 1.0 / aspect;
    if (IsPerspectiveProjection()) {
        // Keep the narrower viewing angle and fit the sphere in it.
        const double n = m_frustum[N];
        const double tanHalf =
            std::min(m_frustum[R] - m_frustum[L], m_frustum[T] - m_frustum[B]) / (2.0 * n);
        const double distance = radius * std::sqrt(1.0 + 1.0 / (tanHalf * tanHalf));
        const double nearDist = std::max(distance - 1.01 * radius, 1e-3 * distance);
        const double scale = tanHalf * nearDist;
        m_location = center + distance * z;
        const double v[6] = {-halfW * scale, halfW * scale, -halfH * scale,
                             halfH * scale,  nearDist,      distance + 1.01 * radius};
        std::copy(v, v + 6, m_frustum);
        return true;
    }
    const double distance = 2.0 * radius;
    m_location = center + distance * z;
    const double v[6] = {-halfW * radius, halfW * radius, -halfH * radius,
                         halfH * radius,  0.5 * radius,   3.5 * radius};
    std::copy(v, v + 6, m_frustum);
    return true;
}
