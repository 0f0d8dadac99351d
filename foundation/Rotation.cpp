#include "foundation/Rotation.h"

#include <cmath>

CRotation::CRotation() : Matrix(3, 3)
{
    set(Vector(0.0, 0.0, 1.0), 0.0);
}

CRotation::CRotation(const Vector& ax, double angleRad) : Matrix(3, 3)
{
    set(ax, angleRad);
}

void CRotation::set(const Vector& ax, double angleRad)
{
    // A factorised matrix no longer holds R: start from a fresh 3 x 3.
    if (rows != 3 || cols != 3 || type != FullMatrix || solveMethod != NoSolveMethod)
        resize(3, 3);
    angle = angleRad;
    Vector a(3);
    for (int d = 0; d < 3 && d < ax.n; ++d)
        a[d] = ax[d];
    axis = normalized(a);
    cosAngle = std::cos(angleRad);
    sinAngle = std::sin(angleRad);
    const double c = cosAngle, s = sinAngle, t = 1.0 - c;
    const double x = axis[0], y = axis[1], z = axis[2];
    at(0, 0) = c + t * x * x;
    at(0, 1) = t * x * y - s * z;
    at(0, 2) = t * x * z + s * y;
    at(1, 0) = t * y * x + s * z;
    at(1, 1) = c + t * y * y;
    at(1, 2) = t * y * z - s * x;
    at(2, 0) = t * z * x - s * y;
    at(2, 1) = t * z * y + s * x;
    at(2, 2) = c + t * z * z;
}
