// Display cost of large flat meshes in the offscreen context: the mesh
// entity's drawing of a 1,000,000-triangle mesh (drawn straight, above the
// size the entity compiles into a display list), plain and coloured by
// normal variation, and the base drawing of 800,000 and 2,000,000 facets,
// every facet drawn.
#include "display/entities/OpenGLMesh.h"
#include "mesh/FlatMesh.h"
#include "platform/GLContext.h"

#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <memory>

namespace {

// One small context for every benchmark: vertex work dominates, not the fill.
bool viewReady()
{
    static Platform::GLContext context;
    static const bool ready = [] {
        if (!context.create(64, 64))
            return false;
        glViewport(0, 0, 64, 64);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-1.0, 1.0, -1.0, 1.0, -2.0, 2.0);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glEnable(GL_LIGHT0);
        return true;
    }();
    return ready;
}

// A wavy height field over [-1, 1]^2 of about `triangles` triangles, kept
// for the process so that each size is built once.
CFlatMesh& gridMesh(long triangles)
{
    static std::map<long, std::unique_ptr<CFlatMesh>> meshes;
    std::unique_ptr<CFlatMesh>& mesh = meshes[triangles];
    if (mesh)
        return *mesh;
    mesh = std::make_unique<CFlatMesh>();
    const int n = int(std::ceil(std::sqrt(triangles / 2.0)));
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            const float x = -1.0f + 2.0f * i / n, y = -1.0f + 2.0f * j / n;
            mesh->addVertex(
                CVertex<float, 3>(x, y, 0.2f * std::sin(7.0f * x) * std::cos(5.0f * y)));
        }
    long added = 0;
    for (int j = 0; j < n && added < triangles; ++j)
        for (int i = 0; i < n && added < triangles; ++i) {
            const int a = j * (n + 1) + i, b = a + 1, c = a + n + 2, d = a + n + 1;
            const int first[3] = {a, b, c}, second[3] = {a, c, d};
            mesh->addPolygon(first, 3, -1);
            if (++added < triangles)
                mesh->addPolygon(second, 3, -1);
            ++added;
        }
    return *mesh;
}

void BM_DrawMeshEntity(benchmark::State& state)
{
    if (!viewReady()) {
        state.SkipWithError("no offscreen OpenGL context");
        return;
    }
    const bool coloured = state.range(0) != 0;
    CFlatMesh& mesh = gridMesh(1000000);
    int mode = 8;
    if (coloured) {
        // The facet values are computed once; the benchmark draws with them.
        mesh.draw(0x80);
        mode = 0x80;
    } else {
        mesh.facetValues.removeAll();
    }
    COpenGLMesh entity("MeshwrightMesh", &mesh, 0.2f, 0.3f, 0.5f, 1.f, 0.5f, 0.2f, 0.2f, 1.f);
    entity.meshDrawMode = mode;
    for (auto _ : state) {
        entity.setDirty();
        benchmark::DoNotOptimize(entity.draw());
        glFinish();
    }
    state.SetItemsProcessed(state.iterations() * mesh.getFacetCount());
}

void BM_BaseDraw(benchmark::State& state)
{
    if (!viewReady()) {
        state.SkipWithError("no offscreen OpenGL context");
        return;
    }
    CFlatMesh& mesh = gridMesh(state.range(0));
    mesh.facetValues.removeAll();
    for (auto _ : state) {
        mesh.modified = true;
        mesh.Mesh::CBaseMesh::draw(0);
        glFinish();
    }
    state.SetItemsProcessed(state.iterations() * mesh.getFacetCount());
}

} // namespace

BENCHMARK(BM_DrawMeshEntity)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BaseDraw)->Arg(800000)->Arg(2000000)->Unit(benchmark::kMillisecond);
