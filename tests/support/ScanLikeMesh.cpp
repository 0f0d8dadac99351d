#include "support/ScanLikeMesh.h"

#include <cmath>

namespace mwtest {

ScanLikeMesh scanLikeMesh(int columns, int rows)
{
    ScanLikeMesh mesh;
    unsigned state = 20240607u;
    auto jitter = [&state]() {
        state = state * 1664525u + 1013904223u;
        return double(state >> 8) / double(1u << 24) * 2.0 - 1.0; // -1 .. 1
    };
    const double width = 100.0, depth = 70.0;
    // Column i at width (s + 3 s^2) / 4, s = i / columns: spacing grows fourfold.
    auto columnAt = [&](double i) {
        const double s = i / columns;
        return width * (0.25 * s + 0.75 * s * s);
    };
    const double spacingY = depth / rows;
    for (int j = 0; j <= rows; ++j)
        for (int i = 0; i <= columns; ++i) {
            const double spacingX = columnAt(i + 1.0) - columnAt(i);
            const double x = columnAt(i) + jitter() * spacingX / 3.0;
            const double y = j * spacingY + jitter() * spacingY / 3.0;
            const double z = 8.0 * std::sin(x / 13.0) * std::cos(y / 9.0) + 0.02 * jitter();
            mesh.xyz.insert(mesh.xyz.end(), {x, y, z});
        }
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < columns; ++i) {
            const int a = j * (columns + 1) + i, b = a + 1, c = a + columns + 2, d = a + columns + 1;
            if ((i + j) % 2 == 0)
                mesh.triangles.insert(mesh.triangles.end(), {a, b, c, a, c, d});
            else
                mesh.triangles.insert(mesh.triangles.end(), {a, b, d, b, c, d});
        }
    return mesh;
}

} // namespace mwtest
