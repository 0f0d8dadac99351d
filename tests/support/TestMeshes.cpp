#include "support/TestMeshes.h"

#include "geometry/NurbsSurf.h"
#include "mesh/StlFormat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>

namespace mwtest {

int MeshSoup::addPoint(double x, double y, double z)
{
    xyz.insert(xyz.end(), {x, y, z});
    return pointCount() - 1;
}

MeshSoup gridSoup(int nx, int ny, double sx, double sy, bool triangles, double x0, double y0)
{
    MeshSoup soup;
    for (int j = 0; j <= ny; ++j)
        for (int i = 0; i <= nx; ++i)
            soup.addPoint(x0 + i * sx, y0 + j * sy, 0.0);
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) {
            const int v = j * (nx + 1) + i;
            const int a = v, b = v + 1, c = v + nx + 2, d = v + nx + 1;
            if (triangles) {
                soup.facets.push_back({a, b, c});
                soup.facets.push_back({a, c, d});
            } else {
                soup.facets.push_back({a, b, c, d});
            }
        }
    return soup;
}

MeshSoup sphereSoup(double r, int around, int rings, double cx, double cy, double cz)
{
    MeshSoup soup;
    const int south = soup.addPoint(cx, cy, cz - r);
    for (int j = 1; j < rings; ++j) {
        const double theta = M_PI * j / rings - M_PI / 2.0;
        for (int i = 0; i < around; ++i) {
            const double phi = 2.0 * M_PI * i / around;
            soup.addPoint(cx + r * std::cos(theta) * std::cos(phi),
                          cy + r * std::cos(theta) * std::sin(phi), cz + r * std::sin(theta));
        }
    }
    const int north = soup.addPoint(cx, cy, cz + r);
    auto at = [&](int j, int i) { return 1 + (j - 1) * around + (i % around); };
    for (int i = 0; i < around; ++i) {
        soup.facets.push_back({south, at(1, i + 1), at(1, i)});
        for (int j = 1; j + 1 < rings; ++j)
            soup.facets.push_back({at(j, i), at(j, i + 1), at(j + 1, i + 1), at(j + 1, i)});
        soup.facets.push_back({at(rings - 1, i), at(rings - 1, i + 1), north});
    }
    return soup;
}

MeshSoup shapeSoup(const std::string& name, double facetSize, double scale)
{
    MeshSoup soup;
    if (!(facetSize > 0.0))
        return soup;
    if (name == "bump") {
        const int n = std::max(2, int(std::lround(100.0 / facetSize)));
        soup = gridSoup(n, n, 100.0 / n, 100.0 / n, true);
        for (std::size_t k = 0; k < soup.xyz.size(); k += 3) {
            const double x = soup.xyz[k] - 50.0, y = soup.xyz[k + 1] - 50.0;
            soup.xyz[k + 2] = 20.0 * std::exp(-(x * x + y * y) / 800.0);
        }
    } else if (name == "arch") {
        const int n = std::max(2, int(std::lround(24.0 / facetSize)));
        soup = gridSoup(n, n, 24.0 / n, 24.0 / n, true);
        for (std::size_t k = 0; k < soup.xyz.size(); k += 3) {
            const double y = (soup.xyz[k + 1] - 12.0) / 10.0;
            soup.xyz[k + 2] = 3.0 * (1.0 - y * y);
        }
    } else if (name == "wave" || name == "steps") {
        const int nx = std::max(2, int(std::lround(100.0 / facetSize)));
        const int ny = std::max(2, int(std::lround(70.0 / facetSize)));
        soup = gridSoup(nx, ny, 100.0 / nx, 70.0 / ny, true);
        for (std::size_t k = 0; k < soup.xyz.size(); k += 3) {
            const double x = soup.xyz[k], y = soup.xyz[k + 1];
            soup.xyz[k + 2] = name == "wave" ? 4.0 * std::sin(2.0 * M_PI * x / 45.0) *
                                                       std::cos(2.0 * M_PI * y / 38.0) +
                                                   1.5 * std::sin(0.07 * x + 0.11 * y)
                                             : 0.5 * (1.0 + std::tanh((y - 35.0) / 0.05));
        }
    } else if (name == "eggcrate" || name == "saddle") {
        const int n = std::max(2, int(std::lround(100.0 / facetSize)));
        soup = gridSoup(n, n, 100.0 / n, 100.0 / n, true);
        for (std::size_t k = 0; k < soup.xyz.size(); k += 3) {
            const double x = soup.xyz[k], y = soup.xyz[k + 1];
            soup.xyz[k + 2] = name == "eggcrate"
                                  ? 5.0 * std::sin(M_PI * x / 25.0) * std::sin(M_PI * y / 25.0)
                                  : ((x - 50.0) * (x - 50.0) - (y - 50.0) * (y - 50.0)) / 200.0;
        }
    } else if (name == "sphere") {
        const int around = std::max(8, int(std::lround(2.0 * M_PI * 50.0 / facetSize)));
        soup = sphereSoup(50.0, around, std::max(4, around / 2));
    } else if (name == "ellipsoid") {
        // Rows and columns by the equator's length and the meridian's.
        const int around = std::max(8, int(std::lround(2.0 * M_PI * 60.0 / facetSize)));
        const int rings = std::max(4, int(std::lround(M_PI * 45.0 / facetSize)));
        soup = sphereSoup(1.0, around, rings);
        for (std::size_t k = 0; k < soup.xyz.size(); k += 3) {
            soup.xyz[k] *= 60.0;
            soup.xyz[k + 1] *= 40.0;
            soup.xyz[k + 2] *= 25.0;
        }
    }
    for (double& x : soup.xyz)
        x *= scale;
    return soup;
}

MeshSoup cubeSoup(double s)
{
    MeshSoup soup;
    for (int k = 0; k < 8; ++k)
        soup.addPoint((k & 1) ? s : 0.0, (k & 2) ? s : 0.0, (k & 4) ? s : 0.0);
    soup.facets = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                   {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    return soup;
}

MeshSoup scannedSoup(int n, unsigned seed)
{
    // A linear congruential generator: the same numbers everywhere.
    std::uint32_t state = seed;
    auto uniform = [&state](double lo, double hi) {
        state = state * 1664525u + 1013904223u;
        return lo + (hi - lo) * (state >> 8) / double(1u << 24);
    };
    auto edges = [&] {
        std::vector<double> at(n + 1, 0.0);
        for (int i = 1; i <= n; ++i)
            at[i] = at[i - 1] + uniform(0.6, 1.4);
        for (double& a : at)
            a = 2.0 * a / at[n] - 1.0;
        return at;
    };
    const std::vector<double> xs = edges(), ys = edges();
    MeshSoup soup;
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            double x = xs[i], y = ys[j];
            if (i > 0 && i < n)
                x += 0.3 * uniform(-1.0, 1.0) * std::min(xs[i] - xs[i - 1], xs[i + 1] - xs[i]);
            if (j > 0 && j < n)
                y += 0.3 * uniform(-1.0, 1.0) * std::min(ys[j] - ys[j - 1], ys[j + 1] - ys[j]);
            const double z = 0.12 * std::sin(2.3 * x + 0.4) * std::cos(1.9 * y - 0.3) +
                             0.04 * std::cos(5.1 * x) * std::sin(4.3 * y + 0.7) +
                             uniform(-0.002, 0.002);
            soup.addPoint(x, y, z);
        }
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int a = j * (n + 1) + i, b = a + 1, c = a + n + 2, d = a + n + 1;
            if (uniform(0.0, 1.0) < 0.5) {
                soup.facets.push_back({a, b, c});
                soup.facets.push_back({a, c, d});
            } else {
                soup.facets.push_back({a, b, d});
                soup.facets.push_back({b, c, d});
            }
        }
    return soup;
}

void fillFlatMesh(const MeshSoup& soup, CFlatMesh& mesh)
{
    const int first = mesh.getVertexCount(true);
    for (int v = 0; v < soup.pointCount(); ++v)
        mesh.addVertex(CVertex<float, 3>(float(soup.xyz[3 * v]), float(soup.xyz[3 * v + 1]),
                                         float(soup.xyz[3 * v + 2])));
    for (std::vector<int> f : soup.facets) {
        for (int& i : f)
            i += first;
        mesh.addPolygon(f.data(), int(f.size()), -1);
    }
    mesh.computeBoundingBox();
}

void fillTriangleMesh(const MeshSoup& soup, Mesh::CTriangleMesh& mesh)
{
    auto point = [&](int v) {
        return CVertex<float, 3>(float(soup.xyz[3 * v]), float(soup.xyz[3 * v + 1]),
                                 float(soup.xyz[3 * v + 2]));
    };
    for (const std::vector<int>& f : soup.facets)
        for (std::size_t k = 1; k + 1 < f.size(); ++k)
            mesh.addTriangle(point(f[0]), point(f[k]), point(f[k + 1]));
    mesh.computeVertexNormals();
}

std::string realDataFile(const std::string& folder, const std::string& name)
{
    // The environment may point at the folder (a worktree sits elsewhere).
    const char* dir = std::getenv("MW_REALDATA_DIR");
    const std::filesystem::path path =
        std::filesystem::path(dir != nullptr ? dir : MW_REALDATA_DIR) / folder / name;
    if (std::filesystem::is_regular_file(path))
        return path.string();
    const char* ci = std::getenv("CI");
    if (ci != nullptr && std::string(ci) == "true")
        ADD_FAILURE() << "real data file missing under CI: " << path;
    return "";
}

Vector controlPoint(Fenwo::NurbsSurf& curve, int i)
{
    Vector p;
    curve.getControlPointXYZ(p, i, 0);
    return p;
}

std::string capturedStdout(const std::function<void()>& run)
{
    testing::internal::CaptureStdout();
    run();
    return testing::internal::GetCapturedStdout();
}

bool readHashedMesh(CFlatMesh& mesh, const std::string& path, double hashCells)
{
    bool read = false;
    capturedStdout([&] { read = readSTL(mesh, path.c_str(), true); });
    if (!read)
        return false;
    mesh.computeBoundingBox();
    mesh.buildFacetHash(hashCells, -1.0, nullptr);
    return true;
}

} // namespace mwtest
