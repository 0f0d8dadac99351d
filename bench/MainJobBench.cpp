// The main job as a user runs it (examples/main-job.vzs through the script
// runner, in a process of its own) on Gaussian bumps of about 100,000 and
// 1,000,000 facets: load, net placement in the offscreen view, the net drawn
// with mouse events and fitted online, commit and heal, save, open and the
// pictures. The time is the job's wall-clock time; the counter peak_rss_MB
// is the runner's peak resident memory. A job that does not end with exit
// code 0 is reported as an error.
#include "HostBenchSupport.h"
#include "mesh/FlatMesh.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <string>

namespace {

const std::filesystem::path& scratch()
{
    static const hostbench::Scratch folder("mw-main-job-bench-");
    return folder.path;
}

// A binary STL of the bump 20 * exp(-r^2 / (2 * 15^2)) over [0, 100]^2 in
// n x n quads (2 n^2 facets), written once per size.
std::string bumpFile(int n)
{
    static std::map<int, std::string> files;
    std::string& path = files[n];
    if (!path.empty())
        return path;
    CFlatMesh mesh;
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            const double x = 100.0 * i / n, y = 100.0 * j / n;
            const double r2 = (x - 50.0) * (x - 50.0) + (y - 50.0) * (y - 50.0);
            mesh.addVertex(CVertex<float, 3>(float(x), float(y),
                                             float(20.0 * std::exp(-r2 / (2.0 * 15.0 * 15.0)))));
        }
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int a = j * (n + 1) + i, b = a + 1, c = a + n + 2, d = a + n + 1;
            const int first[3] = {a, b, c}, second[3] = {a, c, d};
            mesh.addPolygon(first, 3, -1);
            mesh.addPolygon(second, 3, -1);
        }
    const std::string file = (scratch() / ("bump" + std::to_string(2 * n * n) + ".stl")).string();
    if (mesh.writeBinarySTL(file.c_str(), nullptr, -1))
        path = file;
    return path;
}

// Runs the job; false when it cannot start or does not exit with 0. peakKb
// is the runner's peak resident memory.
bool runJob(const std::string& mesh, long& peakKb)
{
    const std::string out = (scratch() / "out").string();
    std::filesystem::remove_all(out);
    return hostbench::runHost({"--script", MW_SOURCE_DIR "/examples/main-job.vzs", "--define",
                               "MESH=" + mesh, "--out", out},
                              out, out + "/log", &peakKb) == 0;
}

void BM_MainJobOnBump(benchmark::State& state)
{
    const int n = int(state.range(0));
    const std::string mesh = bumpFile(n);
    if (mesh.empty()) {
        state.SkipWithError("cannot write the mesh");
        return;
    }
    long peakKb = 0;
    for (auto _ : state)
        if (!runJob(mesh, peakKb)) {
            state.SkipWithError("the main job did not end with exit code 0");
            return;
        }
    state.counters["facets"] = double(2L * n * n);
    state.counters["peak_rss_MB"] = double(peakKb) / 1024.0;
}

// 224 x 224 quads: 100,352 facets; 708 x 708 quads: 1,002,528 facets.
BENCHMARK(BM_MainJobOnBump)->Arg(224)->Arg(708)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace
