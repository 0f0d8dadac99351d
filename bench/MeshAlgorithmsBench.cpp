// Mesh algorithms on a generated mesh of 1,000,000 triangles and on the
// largest real mesh (bwb_geom.blk, skipped when absent): plane sections,
// principal sections, both smoothings, the offset, the dual mesh and the
// vertex thinning. Each run does the whole operation once. The outline of
// triangles scattered over 1,000 points (20,000 and 200,000 facets sharing
// few edges), which no surface gives, shows what a section broken into a
// piece per cut facet costs.
#include "geometry/NurbsSurf.h"
#include "mesh/FlatMesh.h"
#include "mesh/NastranReader.h"
#include "mesh/PlaneSection.h"
#include "mesh/PrincipalSections.h"
#include "mesh/TriangleMesh.h"
#include "mesh/VertexSampling.h"
#include "support/ScanLikeMesh.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>

namespace {

using Point = CVertex<float, 3>;

// A wavy sheet of n x n cells, two triangles each.
constexpr int kCells = 708; // 1,002,528 triangles

Point sheetPoint(int i, int j)
{
    const double x = i * 0.01, y = j * 0.01;
    return Point(float(x), float(y), float(0.2 * std::sin(3.0 * x) * std::cos(2.0 * y)));
}

void fillSheet(CFlatMesh& mesh)
{
    for (int j = 0; j <= kCells; ++j)
        for (int i = 0; i <= kCells; ++i)
            mesh.addVertex(sheetPoint(i, j));
    for (int j = 0; j < kCells; ++j)
        for (int i = 0; i < kCells; ++i) {
            const int v = j * (kCells + 1) + i;
            const int a[3] = {v, v + 1, v + kCells + 2}, b[3] = {v, v + kCells + 2, v + kCells + 1};
            mesh.addPolygon(a, 3, -1);
            mesh.addPolygon(b, 3, -1);
        }
    mesh.computeBoundingBox();
}

std::string realMeshPath()
{
    const char* dir = std::getenv("MW_REALDATA_DIR");
    const std::filesystem::path base =
        dir != nullptr ? std::filesystem::path(dir)
                       : std::filesystem::path(__FILE__).parent_path() / "../../shared/realdata";
    const std::filesystem::path path = base / "nastran" / "bwb_geom.blk";
    return std::filesystem::exists(path) ? path.string() : std::string();
}

// The flat mesh of the case: 0 the generated sheet, 1 the real mesh. Null
// (the benchmark skipped) when the real mesh is absent.
std::unique_ptr<CFlatMesh> flatMesh(benchmark::State& state)
{
    auto mesh = std::make_unique<CFlatMesh>();
    if (state.range(0) == 0) {
        fillSheet(*mesh);
        return mesh;
    }
    const std::string path = realMeshPath();
    if (path.empty() || !readNastran(*mesh, path.c_str())) {
        state.SkipWithError("bwb_geom.blk not found");
        return nullptr;
    }
    return mesh;
}

// The same mesh as triangles (quads split).
std::unique_ptr<Mesh::CTriangleMesh> triangleMesh(benchmark::State& state)
{
    std::unique_ptr<CFlatMesh> flat = flatMesh(state);
    if (!flat)
        return nullptr;
    auto mesh = std::make_unique<Mesh::CTriangleMesh>();
    Point a, b, c;
    for (int f = 0; f < flat->getFacetCount(); ++f) {
        const int size = flat->getFacetSize(f);
        flat->getFacetCorner(f, 0, a);
        for (int k = 1; k + 1 < size; ++k) {
            flat->getFacetCorner(f, k, b);
            flat->getFacetCorner(f, k + 1, c);
            mesh->addTriangle(a, b, c);
        }
    }
    mesh->computeVertexNormals();
    return mesh;
}

// Runs body once per iteration with the standard output silenced.
template <class Body> void quietly(Body body)
{
    std::ostringstream sink;
    std::streambuf* old = std::cout.rdbuf(sink.rdbuf());
    body();
    std::cout.rdbuf(old);
}

void freeCurves(Kor::List<Fenwo::NurbsSurf*>& curves)
{
    curves.deleteAll();
}

void BM_PlaneSection27(benchmark::State& state)
{
    std::unique_ptr<CFlatMesh> mesh = flatMesh(state);
    if (!mesh)
        return;
    const CBox<float, 3> box = mesh->getBoundingBox();
    const CVector<float, 3> n(1, 0, 0);
    for (auto _ : state) {
        Kor::List<Fenwo::NurbsSurf*> curves;
        quietly([&] {
            MeshFunctions::meshPlaneSection(mesh.get(), Point(), n, n, 27,
                                            Interval(box.min.data[0], box.max.data[0]), curves,
                                            nullptr, nullptr, nullptr, -1.0, false);
        });
        state.counters["curves"] = curves.count;
        freeCurves(curves);
    }
}

void BM_PrincipalSections(benchmark::State& state)
{
    std::unique_ptr<CFlatMesh> mesh = flatMesh(state);
    if (!mesh)
        return;
    for (auto _ : state) {
        Kor::List<Fenwo::NurbsSurf*> curves;
        quietly([&] { meshPrincipalSections(mesh.get(), curves, 25, true); });
        state.counters["curves"] = curves.count;
        freeCurves(curves);
    }
}

// Principal sections with the boundary, as a mesh object's outline draws
// them, of state.range(0) triangles scattered over 1,000 points.
void BM_ScatteredOutline(benchmark::State& state)
{
    const mwtest::ScanLikeMesh scattered = mwtest::scatteredTriangles(int(state.range(0)), 1000);
    CFlatMesh mesh;
    for (std::size_t k = 0; k < scattered.xyz.size(); k += 3)
        mesh.addVertex(Point(float(scattered.xyz[k]), float(scattered.xyz[k + 1]),
                             float(scattered.xyz[k + 2])));
    for (std::size_t t = 0; t < scattered.triangles.size(); t += 3)
        mesh.addPolygon(&scattered.triangles[t], 3, -1);
    mesh.computeBoundingBox();
    for (auto _ : state) {
        Kor::List<Fenwo::NurbsSurf*> curves;
        quietly([&] { meshPrincipalSections(&mesh, curves, 25, true); });
        state.counters["curves"] = curves.count;
        freeCurves(curves);
    }
}

void BM_ZMoveSmooth(benchmark::State& state)
{
    std::unique_ptr<Mesh::CTriangleMesh> mesh = triangleMesh(state);
    if (!mesh)
        return;
    for (auto _ : state)
        quietly([&] { mesh->zMoveSmooth(); });
}

void BM_UmbrellaIteration(benchmark::State& state)
{
    std::unique_ptr<Mesh::CTriangleMesh> mesh = triangleMesh(state);
    if (!mesh)
        return;
    for (auto _ : state)
        quietly([&] { mesh->umbrellaSmooth(1); });
}

void BM_Offset(benchmark::State& state)
{
    std::unique_ptr<CFlatMesh> mesh = flatMesh(state);
    if (!mesh)
        return;
    const double distance = 0.002 * maxExtent(mesh->getBoundingBox());
    for (auto _ : state) {
        CFlatMesh target;
        quietly([&] { state.counters["facets"] = mesh->offset(distance, 0.0, &target, nullptr); });
    }
}

void BM_VoronoiFaces(benchmark::State& state)
{
    std::unique_ptr<CFlatMesh> mesh = flatMesh(state);
    if (!mesh)
        return;
    for (auto _ : state) {
        std::unique_ptr<CFlatMesh> dual;
        quietly([&] { dual.reset(mesh->buildVoronoiFaces(nullptr)); });
        state.counters["facets"] = dual->getFacetCount();
    }
}

void BM_SampleVertices(benchmark::State& state)
{
    std::unique_ptr<CFlatMesh> mesh = flatMesh(state);
    if (!mesh)
        return;
    Kor::List<int> all, result;
    for (int v = 0; v < mesh->getVertexCount(true); ++v)
        all.append(v);
    for (auto _ : state) {
        sampleVerticesByHash(mesh.get(), all, 10000, result);
        state.counters["kept"] = result.count;
    }
}

// Argument 0: the generated mesh of a million triangles; 1: bwb_geom.blk.
#define MESH_BENCHMARK(name)                                                                       \
    BENCHMARK(name)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond)

MESH_BENCHMARK(BM_PlaneSection27);
MESH_BENCHMARK(BM_PrincipalSections);
BENCHMARK(BM_ScatteredOutline)->Arg(20000)->Arg(200000)->Iterations(1)->Unit(benchmark::kMillisecond);
MESH_BENCHMARK(BM_ZMoveSmooth);
MESH_BENCHMARK(BM_UmbrellaIteration);
MESH_BENCHMARK(BM_Offset);
MESH_BENCHMARK(BM_VoronoiFaces);
BENCHMARK(BM_SampleVertices)->Arg(0)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
