// Null space of the boundary constraints of a 20 x 20 bicubic net, and the
// Jacobian of one fit point on it. Each null-space iteration drops the cached
// basis and builds it again from the constraint equations.
#include "geometry/BoundaryConstraint.h"
#include "geometry/NurbsSurf.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <iostream>
#include <memory>

namespace {

using Fenwo::BoundaryConstraintKind;

std::unique_ptr<Fenwo::NurbsSurf> makeNet(int n)
{
    const knots u(n - 1, 3, 0.0, 1.0);
    const knots v(n - 1, 3, 0.0, 1.0);
    auto s = std::make_unique<Fenwo::NurbsSurf>(u, &v);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            s->setControlPoint(i, j, Vector(i, j, 0.2 * std::sin(0.3 * i) * std::cos(0.4 * j)));
    return s;
}

// 0: every side fixed (settled by classification alone); 1: every side kept
// in a plane (coupled equations, a dense system); 2: a mix of in-plane,
// symmetry and fixed rows.
void addSides(Fenwo::NurbsSurf& s, int kind)
{
    const BoundaryPosition sides[4] = {uvSouth, uvNorth, uvWest, uvEast};
    const Vector normals[4] = {Vector(0.0, 0.6, 0.8), Vector(0.0, 0.8, 0.6), Vector(0.6, 0.0, 0.8),
                               Vector(0.8, 0.0, 0.6)};
    for (int k = 0; k < 4; ++k) {
        BoundaryConstraintKind c = BoundaryConstraintKind::C0Fix;
        if (kind == 1 || (kind == 2 && k < 2))
            c = BoundaryConstraintKind::inPlane;
        if (kind == 2 && k == 2)
            c = BoundaryConstraintKind::symmetry;
        s.addConstraint(new Fenwo::CBoundaryConstraint(sides[k], c, Vector(3), normals[k]));
    }
}

void BM_BuildConstraintNullSpace(benchmark::State& state)
{
    auto s = makeNet(20);
    addSides(*s, static_cast<int>(state.range(0)));
    // The mixed sides meet in dependent corner rows: keep the rank message
    // out of the report.
    std::streambuf* out = std::cout.rdbuf(nullptr);
    for (auto _ : state) {
        s->nullSpace.reset();
        benchmark::DoNotOptimize(s->buildConstraintNullSpace());
    }
    std::cout.rdbuf(out);
    std::cout.clear();
    state.counters["constrained"] = s->constrainedVariables.count;
    state.counters["dof"] = s->nullSpace->cols;
}
BENCHMARK(BM_BuildConstraintNullSpace)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

void BM_FitJacobianPoint(benchmark::State& state)
{
    auto s = makeNet(20);
    addSides(*s, 1);
    s->prepareFitWorkspace();
    Vector** P = nullptr;
    Fenwo::NurbsSurf::FitJacobianTable* J = nullptr;
    Kor::Array<int> active;
    Vector params(2);
    int k = 0;
    for (auto _ : state) {
        // Points along a diagonal, near the constrained sides and inside.
        params[0] = 0.005 + 0.99 * ((k * 37) % 100) / 100.0;
        params[1] = 0.005 + 0.99 * ((k * 53) % 100) / 100.0;
        ++k;
        s->evaluateFitJacobian(params, P, J, active, 2);
        benchmark::DoNotOptimize(active.count);
    }
    Fenwo::NurbsSurf::freeDerivativeTable(P, 2);
    delete J;
}
BENCHMARK(BM_FitJacobianPoint)->Unit(benchmark::kMicrosecond);

} // namespace
