// The surface of one face as the net computes it while the user waits
// (createFaceSurface, automatic): on a Gaussian bump of about 10k vertices
// and on the cap of the real unit sphere between four great-circle arcs, at
// 1e-3 and 1e-4 of the extent, with the count from the tolerance (request
// 0) or a fixed request of 12. Outside the timed region the mesh vertices
// inside the face are inverted onto the result: the counters report the
// control points and the 0.98 quantile and largest distance in units of the
// tolerance.
#include "fitting/FaceSurface.h"

#include "curves/CurveInterpolation.h"
#include "foundation/FitPoint.h"
#include "foundation/PointSequence.h"
#include "geometry/NurbsSurf.h"
#include "mesh/FlatMesh.h"
#include "mesh/StlFormat.h"

#include "FitBenchSupport.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>

namespace {

// A cubic through `count` points of the path at t = 0 .. 1.
Fenwo::NurbsSurf* curveThrough(const std::function<Vector(double)>& path, int count)
{
    CFitPointArray points;
    for (int k = 0; k < count; ++k)
        points.append(CFitPoint(path(double(k) / (count - 1))));
    IndexSubset<CFitPoint> all(points);
    all.selectAll();
    return interpolateCurve(all, 1, 3, false, false);
}

struct Face {
    std::unique_ptr<CFlatMesh> mesh;
    Kor::Array<Fenwo::NurbsSurf*> sides; // owned
    double extent = 1.0;
    std::function<bool(const Vector&)> inside;
    ~Face()
    {
        for (int i = 0; i < sides.count; ++i)
            delete sides[i];
    }
};

void bumpFace(Face& f)
{
    f.mesh = bumpMesh(99);
    f.extent = kSize;
    const Vector c[4] = {Vector(0, 0, 0), Vector(kSize, 0, 0), Vector(kSize, kSize, 0),
                         Vector(0, kSize, 0)};
    for (int i = 0; i < 4; ++i)
        f.sides.append(curveThrough(
            [&](double t) {
                Vector p = (1.0 - t) * c[i] + t * c[(i + 1) % 4];
                p[2] = bumpHeight(p[0], p[1]);
                return p;
            },
            21));
    f.inside = [](const Vector& p) {
        return p[0] > 0.1 && p[0] < kSize - 0.1 && p[1] > 0.1 && p[1] < kSize - 0.1;
    };
}

// The real unit sphere of the real-data folder (the environment's
// MW_REALDATA_DIR, else the folder the build was configured with); false
// when it is not there.
bool sphereCapFace(Face& f)
{
    const char* dir = std::getenv("MW_REALDATA_DIR");
    const std::filesystem::path file =
        std::filesystem::path(dir != nullptr ? dir : MW_REALDATA_DIR) / "stl" / "unit_sphere.STL";
    f.mesh = std::make_unique<CFlatMesh>();
    std::ostringstream quiet;
    std::streambuf* old = std::cout.rdbuf(quiet.rdbuf());
    const bool read =
        std::filesystem::exists(file) && readSTL(*f.mesh, file.string().c_str(), true);
    std::cout.rdbuf(old);
    if (!read)
        return false;
    f.mesh->computeBoundingBox();
    f.extent = 2.0;
    const double h = std::sqrt(0.5);
    static const Vector corner[4] = {Vector(0.5, -0.5, h), Vector(0.5, 0.5, h),
                                     Vector(-0.5, 0.5, h), Vector(-0.5, -0.5, h)};
    for (int i = 0; i < 4; ++i)
        f.sides.append(curveThrough(
            [&](double t) { return normalized((1.0 - t) * corner[i] + t * corner[(i + 1) % 4]); },
            9));
    f.inside = [](const Vector& p) {
        for (int i = 0; i < 4; ++i)
            if (dot(crossProduct(corner[i], corner[(i + 1) % 4]), p) < 0.01)
                return false;
        return true;
    };
    return true;
}

// Arguments: shape (0 bump, 1 sphere cap), -log10 of the tolerance relative
// to the extent, requested count.
void BM_CreateFaceSurface(benchmark::State& state)
{
    Face face;
    if (state.range(0) == 0)
        bumpFace(face);
    else if (!sphereCapFace(face)) {
        state.SkipWithError("unit_sphere.STL not found");
        return;
    }
    const double dTol = std::pow(10.0, -double(state.range(1))) * face.extent;
    const int request = int(state.range(2));
    std::unique_ptr<Fenwo::NurbsSurf> s;
    for (auto _ : state) {
        QuietStdout quiet;
        s.reset(createFaceSurface(face.mesh.get(), face.sides, request, nullptr, true, dTol, 3,
                                  false, nullptr));
    }
    if (s == nullptr) {
        state.SkipWithError("no surface");
        return;
    }
    const VertexDistances d = vertexDistances(*face.mesh, *s, face.inside);
    state.counters["controlPoints"] = s->getUCount() * s->getVCount();
    state.counters["q98/dTol"] = d.q98 / dTol;
    state.counters["max/dTol"] = d.max / dTol;
}
BENCHMARK(BM_CreateFaceSurface)
    ->ArgsProduct({{0, 1}, {3, 4}, {0, 12}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

} // namespace
