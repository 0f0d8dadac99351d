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

CRotation::CRotation(const Vector& from, const Vector& to) : Matrix(3, 3)
{
    Vector a(3), b(3);
    for (int d = 0; d < 3; ++d) {
        a[d] = d < from.n ? from[d] : 0.0;
        b[d] = d < to.n ? to[d] : 0.0;
    }
    if (norm(a) <= 1e-300 || norm(b) <= 1e-300) {
        set(Vector(0.0, 0.0, 1.0), 0.0);
        return;
    }
    // atan2 keeps the angle accurate for nearly parallel directions too.
    Vector axisOfTurn = crossProduct(a, b);
    const double angle = std::atan2(norm(axisOfTurn), dot(a, b));
    if (norm(axisOfTurn) <= 1e-12 * norm(a) * norm(b)) {
        // Parallel: any axis orthogonal to `from` turns it by 0 or pi; take the
        // one across the coordinate axis `from` leans on least.
        int least = 0;
        for (int d = 1; d < 3; ++d)
            if (std::fabs(a[d]) < std::fabs(a[least]))
                least = d;
        Vector e(3);
        e[least] = 1.0;
        axisOfTurn = crossProduct(a, e);
    }
    // Unit length before set(), whose normalisation drops axes shorter than 1e-9.
    axisOfTurn /= norm(axisOfTurn);
    set(axisOfTurn, angle);
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
