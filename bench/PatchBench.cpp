// The patch from a selected boundary: approxAndTrim of the cap |x|, |y| <= 4
// of the sphere of radius 10, bounded by four arcs that carry the sphere's
// normals, at the tolerances 0.01 and 0.001 with continuity 0 and 1 (as
// "MWPatch" calls it: no direction, start surfaces only).
//
// Counters: "rbf3Calls" the tolerance fits run (the first pass, and the
// refinement on the points with normals when it was needed), "controlPoints"
// of the final surface, "faces" 1 when a face came back.
#include "geometry/NurbsSurf.h"
#include "healing/BoundaryPatch.h"
#include "net/Face.h"

#include "support/AnalyticCurves.h"

#include <benchmark/benchmark.h>

#include <iostream>
#include <memory>
#include <sstream>
#include <string>

namespace {

void BM_PatchSphereCap(benchmark::State& state)
{
    const double dTol = state.range(0) == 2 ? 0.01 : 0.001;
    const int continuity = int(state.range(1));
    const auto arcs = sphereCapBoundary(10.0, 4.0, 1.0);
    Kor::List<CParametricGeometry*> boundary, none;
    for (const auto& arc : arcs)
        boundary.append(arc.get());
    int rbf3Calls = 0, controlPoints = 0, faces = 0;
    for (auto _ : state) {
        std::ostringstream out;
        std::streambuf* previous = std::cout.rdbuf(out.rdbuf());
        std::unique_ptr<CFace> face(approxAndTrim(boundary, dTol, Vector(3), none, none, nullptr,
                                                  nullptr, true, continuity));
        std::cout.rdbuf(previous);
        faces = face != nullptr;
        controlPoints =
            faces ? face->getNurbsSurf()->getUCount() * face->getNurbsSurf()->getVCount() : 0;
        rbf3Calls = 1 + (out.str().find(" needs refinement ") != std::string::npos);
    }
    state.counters["rbf3Calls"] = rbf3Calls;
    state.counters["controlPoints"] = controlPoints;
    state.counters["faces"] = faces;
}
BENCHMARK(BM_PatchSphereCap)
    ->ArgNames({"tolExp", "continuity"})
    ->ArgsProduct({{2, 3}, {0, 1}})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

} // namespace
