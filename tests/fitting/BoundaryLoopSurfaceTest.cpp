// The surface over a boundary loop: exact development of planar loops, the
// counts with their messages, the kernel switch, the refusal of crossing
// developments and the fall-back on a bad fitted net.
#include "fitting/BoundaryLoopSurface.h"
#include "fitting/ScatteredDataRBF.h"
#include "geometry/NurbsSurf.h"

#include "support/ScopedEnv.h"
#include "support/ScratchDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

using SurfacePtr = std::unique_ptr<Fenwo::NurbsSurf>;

// n samples of a closed loop: point and normal at s = k / n.
CFitPointArray loopOf(int n, const std::function<void(double s, Vector& p, Vector& nrm)>& at)
{
    CFitPointArray loop;
    Vector p, nrm;
    for (int k = 0; k < n; ++k) {
        at(double(k) / n, p, nrm);
        loop.append(CFitPoint(p, Vector(0.0, 0.0), nrm));
    }
    return loop;
}

// The closed polygon of the corners, 3 samples per side, normal nrm.
CFitPointArray polygonLoop(const std::vector<Vector>& c, const Vector& nrm)
{
    const int m = static_cast<int>(c.size());
    return loopOf(3 * m, [&](double s, Vector& p, Vector& n) {
        const int k = static_cast<int>(s * m);
        const double f = s * m - k;
        p = (1.0 - f) * c[k] + f * c[(k + 1) % m];
        n = nrm;
    });
}

// A square of side 4 through (1, 2, 3) spanned by the unit vectors a and b.
CFitPointArray square(const Vector& a, const Vector& b)
{
    const Vector o(1.0, 2.0, 3.0);
    return polygonLoop({o, o + 4.0 * a, o + 4.0 * (a + b), o + 4.0 * b},
                       normalized(crossProduct(a, b)));
}

Vector controlPoint(const Fenwo::NurbsSurf& s, int i, int j)
{
    Vector P;
    s.getControlPoint(i, j, P);
    return P;
}

} // namespace

TEST(BoundaryLoopSurface, PlanarLoopDevelopsExactly)
{
    // An exact development makes the map a rigid motion: the start net is an
    // undistorted grid over the enlarged box in the loop's plane.
    const Vector a = normalized(Vector(1.0, 1.0, 0.0)), b = normalized(Vector(-1.0, 1.0, 1.0));
    CFitPointArray loop = square(a, b);
    SurfacePtr g0{fitWithKnotRefinement(loop, true, false)};
    ASSERT_NE(g0, nullptr);
    const Vector o = controlPoint(*g0, 0, 0), du = controlPoint(*g0, 1, 0) - o,
                 dv = controlPoint(*g0, 0, 1) - o;
    EXPECT_NEAR(dot(du, dv), 0.0, 1e-9);
    EXPECT_NEAR(dot(du, crossProduct(a, b)), 0.0, 1e-9);
    EXPECT_GT(norm(du) * (g0->getUCount() - 1), 4.8);
    for (int j = 0; j < g0->getVCount(); ++j)
        for (int i = 0; i < g0->getUCount(); ++i)
            EXPECT_NEAR(norm(controlPoint(*g0, i, j) - (o + double(i) * du + double(j) * dv)), 0.0,
                        1e-9);
}

TEST(BoundaryLoopSurface, SquareBoxCountsAndMessages)
{
    CFitPointArray loop = square(Vector(1.0, 0.0, 0.0), Vector(0.0, 1.0, 0.0));
    CaptureStdout();
    SurfacePtr g0{fitWithKnotRefinement(loop, true, false)};
    EXPECT_EQ(GetCapturedStdout(), "");
    ASSERT_NE(g0, nullptr);
    EXPECT_EQ(g0->getUCount(), 12);
    EXPECT_EQ(g0->getVCount(), 13);

    CaptureStdout();
    SurfacePtr g{fitWithKnotRefinement(loop, false, false)};
    const std::string out = GetCapturedStdout();
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->getUCount(), 3);
    EXPECT_EQ(g->getVCount(), 3);
    double uChange = -1.0, vChange = -1.0;
    EXPECT_EQ(std::sscanf(out.c_str(), "uMaxChange=%lf vMaxChange=%lf", &uChange, &vChange), 2);
    EXPECT_LT(std::fabs(uChange) + std::fabs(vChange), 1e-3);
    EXPECT_NE(out.find("\nnew nu=3 new nv = 3\n"), std::string::npos) << out;
}

TEST(BoundaryLoopSurface, LoopsThatSpanNothing)
{
    const Vector up(0.0, 0.0, 1.0);
    CFitPointArray eight = polygonLoop({Vector(0.0, 0.0, 0.0), Vector(4.0, 2.0, 0.0),
                                        Vector(4.0, 0.0, 0.0), Vector(0.0, 2.0, 0.0)},
                                       up);
    CFitPointArray line =
        polygonLoop({Vector(0.0, 0.0, 0.0), Vector(4.0, 0.0, 0.0), Vector(8.0, 0.0, 0.0)}, up);
    CFitPointArray two = line;
    two.count = 2;
    for (CFitPointArray* loop : {&eight, &line, &two})
        EXPECT_EQ(fitWithKnotRefinement(*loop, true, false), nullptr);
}

TEST(BoundaryLoopSurface, StartNetSamplesTheMapOfTheDumpedDevelopment)
{
    // Thin-plate kernel (code 1) up to 10 samples, the cubic one (code 2) above.
    ScopedEnv logging("FENWO_LOGGING", "1");
    for (const int n : {10, 11}) {
        CFitPointArray loop = loopOf(n, [](double s, Vector& p, Vector& nrm) {
            const double x = 3.0 * std::cos(2.0 * std::numbers::pi * s),
                         y = 3.0 * std::sin(2.0 * std::numbers::pi * s);
            p = Vector(x, y, 0.1 * (x * x - y * y));
            nrm = normalized(Vector(-0.2 * x, 0.2 * y, 1.0));
        });
        SurfacePtr g0{fitWithKnotRefinement(loop, true, false)};
        ASSERT_NE(g0, nullptr);
        // The dump: the samples' poly-line, the development before and after
        // closing, after alignment, then g0.
        std::ifstream in(mwtest::scratchPath("x0map.out"));
        std::vector<SurfacePtr> dump;
        for (std::string word; in >> word && word == "GeoObject";)
            dump.push_back(std::make_unique<Fenwo::NurbsSurf>(in, true));
        ASSERT_EQ(dump.size(), 5u);
        Fenwo::NurbsSurf& developed = *dump[3];
        ASSERT_EQ(developed.getUCount(), n);
        Vector lo, hi, P;
        developed.getBoundingBox(lo, hi, 0);
        const Vector corner = lo - 0.1 * (hi - lo);
        Vector expected[3];
        for (const int kernel : {1, 2}) {
            std::unique_ptr<iPolScatteredData> map(newScatteredDataRBF());
            map->setKernelType(kernel);
            for (int i = 0; i < n; ++i) {
                developed.getControlPoint(i, 0, P);
                map->setSample(Vector(P[0], P[1], 0.0), loop[i].Point);
            }
            map->recompute(false);
            expected[kernel] = map->evaluate(Vector(corner[0], corner[1], 0.0));
        }
        const int kernel = n > 10 ? 2 : 1;
        EXPECT_NEAR(norm(controlPoint(*g0, 0, 0) - expected[kernel]), 0.0, 1e-9) << n;
        EXPECT_GT(norm(controlPoint(*g0, 0, 0) - expected[3 - kernel]), 1e-6) << n;
    }
}

TEST(BoundaryLoopSurface, BadFittedNetFallsBackOnTheStartNet)
{
    // The boundary of a strip of the cylinder of radius 2 about the x axis,
    // 3 radians around and 0.5 long: its bicubic parameters fold the net.
    CFitPointArray first = loopOf(22, [](double s, Vector& p, Vector& nrm) {
        const int k = static_cast<int>(std::lround(s * 22));
        const double a = k < 8    ? 3.0 * (k / 8.0 - 0.5)
                         : k < 11 ? 1.5
                         : k < 19 ? 3.0 * (0.5 - (k - 11) / 8.0)
                                  : -1.5;
        const double x = k < 8    ? 0.0
                         : k < 11 ? 0.5 * (k - 8) / 3.0
                         : k < 19 ? 0.5
                                  : 0.5 * (22 - k) / 3.0;
        p = Vector(x, 2.0 * std::sin(a), 2.0 * std::cos(a));
        nrm = Vector(0.0, std::sin(a), std::cos(a));
    });
    CFitPointArray second = first;
    SurfacePtr g0{fitWithKnotRefinement(first, true, true)};
    CaptureStdout();
    SurfacePtr g{fitWithKnotRefinement(second, false, true)};
    const std::string out = GetCapturedStdout();
    ASSERT_NE(g0, nullptr);
    ASSERT_NE(g, nullptr);
    EXPECT_NE(out.find("g is a bad surface. using sampled g0 as start surface\n"),
              std::string::npos);
    ASSERT_EQ(g->getUCount() * g->getVCount(), g0->getUCount() * g0->getVCount());
    for (int j = 0; j < g0->getVCount(); ++j)
        for (int i = 0; i < g0->getUCount(); ++i)
            EXPECT_EQ(norm(controlPoint(*g, i, j) - controlPoint(*g0, i, j)), 0.0);
}
