// Cost of loading STL files: a generated torus of about 1,000,000 triangles
// as binary STL, one of about 200,000 triangles as ASCII and as binary STL
// (the same triangles, so the ASCII read can be set against the binary read
// of the same mesh), and a scan-like patch of 70,000 jittered, uneven
// triangles as binary STL, each read with and without the tolerance merge
// (the torus above 500,000 vertices is welded exactly, the scan-like patch
// merged within the tolerance).
// The files are written once per run into a folder of their own under the
// system's temporary folder and removed at exit. "vertices" reports the
// vertex count after loading (merged or not), a check that both forms weld
// alike.
#include "mesh/FlatMesh.h"
#include "mesh/StlFormat.h"
#include "support/ScanLikeMesh.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// The corners of triangle t of an around x across torus (major radius 3,
// minor radius 1, slight ripple), two triangles per quad.
void torusTriangle(int around, int across, int t, float out[9])
{
    const int quad = t / 2;
    const int i = quad % around;
    const int j = quad / around;
    const int di[2][3] = {{0, 1, 1}, {0, 1, 0}};
    const int dj[2][3] = {{0, 0, 1}, {0, 1, 1}};
    for (int c = 0; c < 3; ++c) {
        const double a = 2.0 * M_PI * ((i + di[t % 2][c]) % around) / around;
        const double b = 2.0 * M_PI * ((j + dj[t % 2][c]) % across) / across;
        const double r = 1.0 + 0.02 * std::sin(7.0 * a) * std::cos(5.0 * b);
        out[3 * c] = float((3.0 + r * std::cos(b)) * std::cos(a));
        out[3 * c + 1] = float((3.0 + r * std::cos(b)) * std::sin(a));
        out[3 * c + 2] = float(r * std::sin(b));
    }
}

void writeBinary(const fs::path& path, int around, int across)
{
    std::ofstream os(path, std::ios::binary);
    char header[80] = {};
    os.write(header, 80);
    const unsigned count = unsigned(2 * around * across);
    const unsigned char c4[4] = {
        static_cast<unsigned char>(count), static_cast<unsigned char>(count >> 8),
        static_cast<unsigned char>(count >> 16), static_cast<unsigned char>(count >> 24)};
    os.write(reinterpret_cast<const char*>(c4), 4);
    float corners[9];
    for (unsigned t = 0; t < count; ++t) {
        torusTriangle(around, across, int(t), corners);
        const float normal[3] = {0.0f, 0.0f, 0.0f};
        // Little-endian floats field by field (this machine is little-endian).
        os.write(reinterpret_cast<const char*>(normal), 12);
        os.write(reinterpret_cast<const char*>(corners), 36);
        const char attribute[2] = {0, 0};
        os.write(attribute, 2);
    }
}

// The scan-like patch as binary STL (250 x 140 cells, 70,000 triangles).
void writeScanLike(const fs::path& path)
{
    const mwtest::ScanLikeMesh scan = mwtest::scanLikeMesh(250, 140);
    std::ofstream os(path, std::ios::binary);
    char header[80] = {};
    os.write(header, 80);
    const unsigned count = unsigned(scan.triangles.size() / 3);
    const unsigned char c4[4] = {
        static_cast<unsigned char>(count), static_cast<unsigned char>(count >> 8),
        static_cast<unsigned char>(count >> 16), static_cast<unsigned char>(count >> 24)};
    os.write(reinterpret_cast<const char*>(c4), 4);
    for (unsigned t = 0; t < count; ++t) {
        float record[12] = {};
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < 3; ++k)
                record[3 + 3 * c + k] = float(scan.xyz[3 * std::size_t(scan.triangles[3 * t + c]) + k]);
        os.write(reinterpret_cast<const char*>(record), 48);
        const char attribute[2] = {0, 0};
        os.write(attribute, 2);
    }
}

void writeAscii(const fs::path& path, int around, int across)
{
    std::FILE* f = std::fopen(path.c_str(), "w");
    std::fprintf(f, "solid torus\n");
    float c[9];
    for (int t = 0; t < 2 * around * across; ++t) {
        torusTriangle(around, across, t, c);
        std::fprintf(f, "  facet normal 0 0 0\n    outer loop\n");
        for (int k = 0; k < 3; ++k)
            std::fprintf(f, "      vertex %.9g %.9g %.9g\n", c[3 * k], c[3 * k + 1], c[3 * k + 2]);
        std::fprintf(f, "    endloop\n  endfacet\n");
    }
    std::fprintf(f, "endsolid torus\n");
    std::fclose(f);
}

// The generated files, written on first use.
struct Files {
    fs::path dir, large, smallBinary, smallAscii, scanLike;
    Files()
    {
        dir = fs::temp_directory_path() / ("mw-meshload-" + std::to_string(getpid()));
        fs::create_directories(dir);
        large = dir / "large.stl";
        smallBinary = dir / "small.stl";
        smallAscii = dir / "small-ascii.stl";
        writeBinary(large, 708, 707);
        writeBinary(smallBinary, 317, 316);
        writeAscii(smallAscii, 317, 316);
        scanLike = dir / "scan-like.stl";
        writeScanLike(scanLike);
    }
    ~Files() { fs::remove_all(dir); }
};

const Files& files()
{
    static const Files f;
    return f;
}

// args: file (0 the 1,000,000-triangle binary, 1 the 200,000-triangle
// binary, 2 the same as ASCII, 3 the scan-like binary), merge.
void BM_Load(benchmark::State& state)
{
    const Files& f = files();
    const fs::path& path = state.range(0) == 0   ? f.large
                           : state.range(0) == 1 ? f.smallBinary
                           : state.range(0) == 2 ? f.smallAscii
                                                 : f.scanLike;
    const bool merge = state.range(1) != 0;
    int vertices = 0;
    for (auto _ : state) {
        CFlatMesh mesh;
        benchmark::DoNotOptimize(readSTL(mesh, path.c_str(), merge));
        vertices = mesh.getVertexCount(false);
    }
    state.counters["vertices"] = vertices;
}
BENCHMARK(BM_Load)
    ->ArgNames({"file", "merge"})
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK(BM_Load)
    ->ArgNames({"file", "merge"})
    ->ArgsProduct({{3}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

} // namespace
