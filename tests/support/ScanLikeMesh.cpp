#include "support/ScanLikeMesh.h"

#include <cmath>
#include <cstdint>

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

ScanLikeMesh scatteredTriangles(int triangles, int points)
{
    ScanLikeMesh mesh;
    std::uint64_t state = 64;
    auto next = [&state]() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return std::uint32_t(state >> 33);
    };
    const int count = points > 0 ? points : 3 * triangles;
    for (int k = 0; k < 3 * count; ++k)
        mesh.xyz.push_back(double(float(next() % 1000000u) * 1e-4f));
    for (int t = 0; t < triangles; ++t) {
        int corner[3] = {3 * t, 3 * t + 1, 3 * t + 2};
        if (points > 0)
            do {
                for (int& c : corner)
                    c = int(next() % unsigned(points));
            } while (corner[0] == corner[1] || corner[1] == corner[2] || corner[0] == corner[2]);
        mesh.triangles.insert(mesh.triangles.end(), corner, corner + 3);
    }
    return mesh;
}

} // namespace mwtest
