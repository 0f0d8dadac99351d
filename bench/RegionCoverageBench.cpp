// The commit's check of its Breps against the areas the net's lines enclose
// on the mesh (plugin/RegionCoverage.h), on a 30 x 30 net of unit cells over
// a flat mesh of unit facets, one planar Brep a cell, at fit tolerances of
// 0.1 and 0.01 (the net 300 and 3000 tolerances across), with every Brep in
// place, one left out, one shifted by 10, 20 or 40 tolerances and one lifted
// by 10. Its cost should follow the lines' length over the tolerance, not
// how far a Brep strays: a search of the Brep's sides that doubled its reach
// up to 100 tolerances over every cube within it took 2.1, 6.6 and 55.8 s
// for a Brep shifted 10, 20 and 40 tolerances. The label says what the check
// found, a check that the work is real: the areas and the first fault.
#include "BrepBenchSupport.h"
#include "NetBenchSupport.h"
#include "mesh/FlatMesh.h"
#include "net/Face.h"
#include "net/FaceRecords.h"
#include "plugin/RegionCoverage.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

enum Tamper { none, leftOut, shifted10, shifted20, shifted40, lifted10 };

void BM_RegionCoverage(benchmark::State& state)
{
    const double tolerance = state.range(0) == 0 ? 0.1 : 0.01;
    const auto tamper = Tamper(state.range(1));
    netbench::QuietOutput quiet;
    // The plane z = 0 over [-5, 35]^2 in unit squares of two triangles.
    CFlatMesh mesh;
    for (int j = 0; j <= 40; ++j)
        for (int i = 0; i <= 40; ++i)
            mesh.addVertex(CVertex<float, 3>(float(i - 5), float(j - 5), 0.f));
    for (int j = 0; j < 40; ++j)
        for (int i = 0; i < 40; ++i) {
            const int a = j * 41 + i, t0[3] = {a, a + 1, a + 42}, t1[3] = {a, a + 42, a + 41};
            mesh.addPolygon(t0, 3, -1);
            mesh.addPolygon(t1, 3, -1);
        }
    mesh.computeBoundingBox();
    mesh.buildFacetHash(200.0, -1.0, nullptr);
    std::unique_ptr<GB::CSurfaceNet> net = netbench::gridNet();
    // The lines' curves as the net's own, which its regions' sides follow.
    for (COffset_PointList* line : net->pointLists)
        line->setCurveLocked(false);
    net->setMesh(&mesh);
    net->surfaceTolerance = tolerance;
    net->buildTopology(false);
    // A Brep over each face's cell (its nodes' middle), the first one
    // tampered with.
    std::vector<std::unique_ptr<ON_Brep>> breps;
    std::vector<int> numbers;
    int number = 0;
    for (const GB::Face* face = net->firstFace; face != nullptr; face = face->next) {
        ++number;
        Kor::List<CVertex<float, 3>*> nodes;
        face->firstLoop->getNodePoints(nodes);
        double x = 0.0, y = 0.0;
        for (const CVertex<float, 3>* p : nodes) {
            x += p->data[0] / nodes.count;
            y += p->data[1] / nodes.count;
        }
        const bool first = number == 1;
        if (first && tamper == leftOut)
            continue;
        const double shift = !first                ? 0.0
                             : tamper == shifted10 ? 10.0
                             : tamper == shifted20 ? 20.0
                             : tamper == shifted40 ? 40.0
                                                   : 0.0;
        const double lift = first && tamper == lifted10 ? 10.0 : 0.0;
        breps.push_back(std::make_unique<ON_Brep>(brepbench::rectangleBrep(
            std::floor(x) + shift * tolerance, std::floor(y), lift * tolerance)));
        numbers.push_back(number);
    }
    const std::vector<CommittedBrep> committed = committedBreps(*net, breps, numbers);
    RegionCoverage found;
    for (auto _ : state) {
        found = checkRegionCoverage(*net, committed, tolerance);
        benchmark::DoNotOptimize(found.areas);
    }
    state.SetLabel("areas " + std::to_string(found.areas) + ", " +
                   std::to_string(found.faults.size()) + " faults" +
                   (found.faults.empty() ? "" : ": " + found.faults.front().substr(0, 60)));
}
BENCHMARK(BM_RegionCoverage)
    ->ArgsProduct({{0, 1}, {none, leftOut, shifted10, shifted20, shifted40, lifted10}})
    ->Unit(benchmark::kMillisecond);

} // namespace
