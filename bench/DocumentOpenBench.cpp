// Opening a saved document of a big net as a user does (_Open through the
// script runner, in a process of its own): nets of n x n four-sided faces
// (30, 60 and 100: 900, 3,600 and 10,000 faces) on a flat plate of 20,000
// facets, imported from a net text and saved once per size beforehand. The
// time is the runner's wall-clock time for `_New` and `_Open`; "faces" is the
// net's size. An open should cost in proportion to the document: the
// 10,000-face document within a few times the 3,600-face one. Measured
// (one process, 8 cores): 0.60 s, 2.1 s and 6.5 s; the same opens of
// 200 x 200 and 300 x 300 nets (40,000 and 90,000 faces, not run here:
// importing and saving them takes minutes) took 27.5 s and 67 s, against
// 8.1 s, 62 s and 322 s for 100, 200 and 300 while every look-up of a
// face's display walked all display entities. Most of an open is now the
// faceting of the trim curves of each face read. "Damaged"
// opens the largest document with one bit of its compressed net text
// flipped: the check sum refuses it before the text is read, in well under a
// second. A run that does not answer as expected (0 for a whole document, 3
// for a damaged one) is reported as an error.
#include "HostBenchSupport.h"
#include "mesh/FlatMesh.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace {

std::string inScratch(const std::string& name)
{
    static const hostbench::Scratch folder("mw-document-open-bench-");
    return (folder.path / name).string();
}

// The plate [0, 100]^2 in 100 x 100 quads, as a binary STL.
std::string plateFile()
{
    static std::string path;
    if (!path.empty())
        return path;
    constexpr int n = 100;
    CFlatMesh mesh;
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i)
            mesh.addVertex(CVertex<float, 3>(float(100.0 * i / n), float(100.0 * j / n), 0.f));
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int a = j * (n + 1) + i, b = a + 1, c = a + n + 2, d = a + n + 1;
            const int first[3] = {a, b, c}, second[3] = {a, c, d};
            mesh.addPolygon(first, 3, -1);
            mesh.addPolygon(second, 3, -1);
        }
    const std::string file = inScratch("plate.stl");
    if (mesh.writeBinarySTL(file.c_str(), nullptr, -1))
        path = file;
    return path;
}

// The version-2 net text of n + 1 rows and n + 1 columns over [5, 95]^2.
std::string netFile(int n)
{
    std::ostringstream text;
    text << "Version 2\nNodes " << (n + 1) * (n + 1) << "\n";
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i)
            text << j * (n + 1) + i << ' ' << 5.0 + 90.0 * i / n << ' ' << 5.0 + 90.0 * j / n
                 << " 0 0 0 1\n0\t1\t0 0 0\n0\t1\t0 0 0\n";
    text << "Polylines " << 2 * (n + 1) << "\n";
    for (int k = 0; k <= n; ++k)
        for (const bool row : {true, false}) {
            text << n + 1 << "\n 1\n";
            for (int m = 0; m <= n; ++m)
                text << (row ? k * (n + 1) + m : m * (n + 1) + k) << (m < n ? ' ' : '\n');
        }
    const std::string path = inScratch("net" + std::to_string(n) + ".grid");
    std::ofstream(path) << text.str();
    return path;
}

// Runs the script text through the runner; the runner's exit code, or -1
// when it cannot run.
int runScript(const std::string& name, const std::string& body)
{
    const std::string script = inScratch(name + ".vzs");
    std::ofstream(script) << body;
    const std::string out = inScratch("out");
    return hostbench::runHost({"--script", script, "--out", out}, out, out + "/" + name + ".log");
}

// The saved document of the n x n net, made once per size.
std::string documentFile(int n)
{
    static std::map<int, std::string> documents;
    std::string& path = documents[n];
    if (!path.empty())
        return path;
    const std::string plate = plateFile();
    if (plate.empty())
        return path;
    const std::string document = inScratch("net" + std::to_string(n) + ".vzd");
    const int code = runScript("make" + std::to_string(n),
                               "_MWLoadMesh File=Yes file:" + plate +
                                   "\n!expect-result 0\n"
                                   "_MWOptions RMS_of_Mesh=~0.3 Online_Face_Computation=No OK "
                                   "Cancel\n!expect-result 0\n"
                                   "_MWImportGridV1 file:" +
                                   netFile(n) + "\n!expect-result 0\n-_Save \"" + document +
                                   "\"\n!expect-result 0\n");
    if (code == 0)
        path = document;
    return path;
}

// The document with one bit flipped 1000 bytes before its end: inside the
// compressed net text, the last buffer of the plug-in's record, which ends
// the file.
std::string damagedFile(const std::string& document)
{
    std::ifstream in(document, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 2000)
        return "";
    bytes[bytes.size() - 1000] = char(bytes[bytes.size() - 1000] ^ 0x10);
    const std::string path = inScratch("damaged.vzd");
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

std::string openScript(const std::string& document, int result)
{
    return "_New\n_Open \"" + document + "\"\n!expect-result " + std::to_string(result) + "\n";
}

void BM_OpenDocument(benchmark::State& state)
{
    const int n = int(state.range(0));
    const std::string document = documentFile(n);
    if (document.empty()) {
        state.SkipWithError("cannot make the document");
        return;
    }
    const std::string script = openScript(document, 0);
    for (auto _ : state)
        if (runScript("open", script) != 0) {
            state.SkipWithError("the open did not answer 0");
            return;
        }
    state.counters["faces"] = double(n) * n;
}
BENCHMARK(BM_OpenDocument)->Arg(30)->Arg(60)->Arg(100)->Unit(benchmark::kSecond)->UseRealTime();

void BM_OpenDamagedDocument(benchmark::State& state)
{
    const int n = int(state.range(0));
    const std::string document = documentFile(n);
    const std::string damaged = document.empty() ? "" : damagedFile(document);
    if (damaged.empty()) {
        state.SkipWithError("cannot make the damaged document");
        return;
    }
    const std::string script = openScript(damaged, 3);
    for (auto _ : state)
        if (runScript("damaged", script) != 0) {
            state.SkipWithError("the open of the damaged document did not answer 3");
            return;
        }
    state.counters["faces"] = double(n) * n;
}
BENCHMARK(BM_OpenDamagedDocument)->Arg(100)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace
