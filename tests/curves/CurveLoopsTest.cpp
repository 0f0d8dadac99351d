#include "curves/CurveLoops.h"

#include "curves/CurveInterpolation.h"
#include "geometry/NurbsSurf.h"
#include "mesh/FlatMesh.h"
#include "mesh/StlFormat.h"
#include "support/NurbsFixtures.h"
#include "support/ScratchDir.h"

#include "support/RealData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>

using Fenwo::NurbsSurf;

namespace {

using Path = std::function<Vector(double)>; // a curve over s in [0, 1]

Path pathOf(NurbsSurf& curve)
{
    return [&curve](double s) {
        const Interval d = curve.getDomain(0);
        return pointAt(curve, d.min + s * (d.max - d.min));
    };
}

// Side 0 is the row v = v min, 1 the column u = u max, 2 the row v = v max,
// 3 the column u = u min.
Path sideOf(NurbsSurf& patch, int side)
{
    return [&patch, side](double s) {
        const Interval U = patch.getDomain(0), V = patch.getDomain(1);
        const double u = side == 1 ? U.max : side == 3 ? U.min : U.min + s * (U.max - U.min);
        const double v = side == 0 ? V.min : side == 2 ? V.max : V.min + s * (V.max - V.min);
        return pointAt(patch, u, v);
    };
}

// Largest distance between two paths at equal fractions, the second run in
// whichever direction fits better.
double deviation(const Path& a, const Path& b)
{
    double forward = 0.0, backward = 0.0;
    for (int k = 0; k <= 24; ++k) {
        forward = std::max(forward, std::sqrt(squaredDistance(a(k / 24.0), b(k / 24.0))));
        backward = std::max(backward, std::sqrt(squaredDistance(a(k / 24.0), b(1 - k / 24.0))));
    }
    return std::min(forward, backward);
}

// Sides from corner to corner whose control points follow bump(side, t).
OwnedCurves loopThrough(const std::vector<Vector>& corners, int degree, int count,
                        const std::function<Vector(int, double)>& bump)
{
    OwnedCurves loop;
    for (size_t k = 0; k < corners.size(); ++k) {
        const Vector& a = corners[k];
        const Vector& b = corners[(k + 1) % corners.size()];
        std::vector<Vector> cps;
        for (int i = 0; i < count; ++i) {
            const double t = i / (count - 1.0);
            cps.push_back(a + t * (b - a) + bump(int(k), t));
        }
        loop.curves.push_back(clampedCurve(cps, degree, 0.0, 1.0 + k));
    }
    return loop;
}

// The patch of the loop, with the promises every patch keeps: positions name
// each curve once, each side reproduces its curve, and the caller's curves
// keep their shapes.
std::unique_ptr<NurbsSurf> spanLoop(const OwnedCurves& loop, int positions[4], double tol)
{
    const OwnedCurves originals = loop.copy();
    std::unique_ptr<NurbsSurf> patch(orderCurveLoops(loop.list(), 1, 1, positions));
    if (patch == nullptr) {
        ADD_FAILURE() << "no patch";
        return patch;
    }
    std::vector<int> seen(positions, positions + 4), expected;
    std::sort(seen.begin(), seen.end());
    for (int i = loop.curves.size() == 3 ? -1 : 0; i < int(loop.curves.size()); ++i)
        expected.push_back(i);
    EXPECT_EQ(expected, seen);
    for (int side = 0; side < 4; ++side) {
        const int k = positions[side];
        EXPECT_TRUE(k < 0 || deviation(sideOf(*patch, side), pathOf(*originals.curves[k])) < tol);
    }
    for (size_t k = 0; k < loop.curves.size(); ++k)
        EXPECT_LT(deviation(pathOf(*originals.curves[k]), pathOf(*loop.curves[k])), 1e-10);
    return patch;
}

// A three-sided loop bounding the first octant of the unit sphere: one side
// collapses onto the corner that the side opposite it misses.
void expectOctantPatch(const OwnedCurves& loop, double tol)
{
    int positions[4];
    std::unique_ptr<NurbsSurf> patch = spanLoop(loop, positions, 1e-9);
    ASSERT_NE(nullptr, patch);
    EXPECT_EQ(1, patch->degenerateSides.getCount());
    const int collapsed = int(std::find(positions, positions + 4, -1) - positions);
    NurbsSurf& opposite = *loop.curves[positions[(collapsed + 2) % 4]];
    Vector corner;
    for (const Vector& axis : {Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1)})
        if (squaredDistance(opposite.getStartPoint(), axis) > 0.01 &&
            squaredDistance(opposite.getEndPoint(), axis) > 0.01)
            corner = axis;
    for (int side = 0; side < 4; ++side)
        for (int k = 0; k <= 30; ++k) {
            const Vector p = sideOf(*patch, side)(k / 30.0);
            if (side == collapsed)
                EXPECT_LT(std::sqrt(squaredDistance(p, corner)), tol);
            else
                EXPECT_NEAR(1.0, norm(p), tol);
        }
}

} // namespace

TEST(CurveLoops, ShuffledSidesOfTheHyperbolicParaboloidSpanIt)
{
    const std::vector<Vector> corners = {Vector(0, 0, 0), Vector(1, 0, 0), Vector(1, 1, 1),
                                         Vector(0, 1, 0)};
    std::mt19937 random(7);
    for (int trial = 0; trial < 6; ++trial) {
        SCOPED_TRACE(trial);
        OwnedCurves loop = loopThrough(corners, 3, 4, [](int, double) { return Vector(0, 0, 0); });
        std::shuffle(loop.curves.begin(), loop.curves.end(), random);
        for (auto& c : loop.curves)
            if (random() % 2)
                c->invertDirection(0);
        int positions[4];
        std::unique_ptr<NurbsSurf> patch = spanLoop(loop, positions, 1e-12);
        ASSERT_NE(nullptr, patch);
        const Interval U = patch->getDomain(0), V = patch->getDomain(1);
        for (int i = 0; i < 20; ++i)
            for (int j = 0; j < 20; ++j) {
                const Vector p = pointAt(*patch, U.min + i / 19.0 * (U.max - U.min),
                                         V.min + j / 19.0 * (V.max - V.min));
                ASSERT_NEAR(p[0] * p[1], p[2], 1e-12);
            }
    }
}

TEST(CurveLoops, GeneralAndPlanarLoopsBoundTheirPatches)
{
    const Vector n = normalized(Vector(0.2, -0.3, 1.0));
    const Vector e1 = normalized(crossProduct(n, Vector(1, 0, 0))), e2 = crossProduct(n, e1);
    const std::vector<Vector> corners = {Vector(1, 2, 3), Vector(1, 2, 3) + 4.0 * e1,
                                         Vector(1, 2, 3) + 4.0 * (e1 + e2),
                                         Vector(1, 2, 3) + 4.0 * e2};
    for (bool planar : {false, true}) {
        SCOPED_TRACE(planar ? "planar" : "general");
        OwnedCurves loop = loopThrough(corners, 3, 6, [&](int k, double t) {
            const double b = std::sin(M_PI * t) * std::sin(3.0 * t + k);
            return planar ? b * (k % 2 ? e1 : e2) : b * Vector(0.3, -0.2 * k, 0.5);
        });
        std::swap(loop.curves[1], loop.curves[3]);
        loop.curves[2]->invertDirection(0);
        int positions[4];
        std::unique_ptr<NurbsSurf> patch = spanLoop(loop, positions, 1e-9);
        ASSERT_NE(nullptr, patch);
        for (int j = 0; planar && j < patch->getVCount(); ++j)
            for (int i = 0; i < patch->getUCount(); ++i) {
                Vector p;
                patch->getControlPoint(i, j, p);
                EXPECT_NEAR(0.0, dot(p - corners[0], n), 1e-12);
            }
    }
}

TEST(CurveLoops, ThreeArcsOfTheSphereOctantCollapseOneSide)
{
    const Vector o(0, 0, 0), X(1, 0, 0), Y(0, 1, 0), Z(0, 0, 1);
    OwnedCurves loop;
    loop.curves.push_back(rationalArc(o, X, Y, 1.0, 1));
    loop.curves.push_back(rationalArc(o, X, Z, 1.0, 1)); // runs against the loop
    loop.curves.push_back(rationalArc(o, Y, Z, 1.0, 1));
    expectOctantPatch(loop, 1e-10);
}

TEST(CurveLoops, RealSphereOctantFromMeshVertices)
{
    MW_REALDATA_DIR_OR_SKIP(dir, "stl");
    const std::filesystem::path path = std::filesystem::path(dir) / "unit_sphere.STL";
    CFlatMesh mesh;
    ASSERT_TRUE(readSTL(mesh, path.string().c_str(), true));
    // The vertices of each great circle in the first octant, by angle.
    OwnedCurves loop;
    for (int c = 0; c < 3; ++c) {
        const int a = (c + 1) % 3, b = (c + 2) % 3; // the circle's plane
        std::vector<std::pair<double, Vector>> found;
        for (int i = 0; i < mesh.getVertexCount(true); ++i) {
            CFlatMesh::Point v;
            ASSERT_TRUE(mesh.getVertex(i, v));
            const Vector p(v.data[0], v.data[1], v.data[2]);
            const bool known = std::any_of(found.begin(), found.end(), [&](const auto& f) {
                return squaredDistance(f.second, p) < 1e-12;
            });
            if (!known && std::fabs(p[c]) < 1e-5 && p[a] > -1e-5 && p[b] > -1e-5)
                found.emplace_back(std::atan2(p[b], p[a]), p);
        }
        ASSERT_EQ(9u, found.size());
        std::sort(found.begin(), found.end(),
                  [](const auto& x, const auto& y) { return x.first < y.first; });
        CFitPointArray points;
        for (const auto& f : found)
            points.append(CFitPoint(f.second));
        IndexSubset<CFitPoint> all(points);
        all.selectAll();
        loop.curves.emplace_back(interpolateCurve(all, 1, 3, false, false));
        ASSERT_NE(nullptr, loop.curves.back());
    }
    expectOctantPatch(loop, 1e-3);
}

TEST(CurveLoops, OpenOrMiscountedLoopsGiveNoPatch)
{
    const std::vector<Vector> corners = {Vector(0, 0, 0), Vector(2, 0, 0), Vector(2, 1, 0),
                                         Vector(0, 1, 0), Vector(-1, 0.5, 0)};
    const auto flat = [](int, double) { return Vector(0, 0, 0); };
    struct Case {
        const char* name;
        int count;
        double gap; // the last side misses the first corner by this much
    };
    for (const Case& c : {Case{"empty", 0, 0.0}, Case{"two", 2, 0.0}, Case{"five", 5, 0.0},
                          Case{"gap above half the shortest side", 4, 0.6}}) {
        SCOPED_TRACE(c.name);
        std::vector<Vector> ends(corners.begin(), corners.begin() + c.count);
        OwnedCurves loop = loopThrough(ends, 1, 2, flat);
        if (c.gap > 0.0)
            loop.curves.back()->setControlPoint(1, 0, Vector(0, -c.gap, 0), 1.0);
        testing::internal::CaptureStdout();
        std::unique_ptr<NurbsSurf> patch(orderCurveLoops(loop.list(), 1, 1, nullptr));
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(nullptr, patch);
        const bool failed = c.gap > 0.0;
        EXPECT_EQ(failed ? "orderCurveLoopsfailed\n" : "", out);
        EXPECT_EQ(failed, std::filesystem::exists(mwtest::scratchPath("orderfailed.out")));
    }
}

TEST(CurveLoops, ChainsFromAnInnerCurveInBothDirections)
{
    // Pieces of one poly-line over x = 0 .. 4, from the middle, partly reversed.
    const auto seg = [](double a, double b) {
        return clampedCurve({Vector(a, 0.1 * a * a, 0), Vector(b, 0.1 * b * b, 0)}, 1);
    };
    OwnedCurves open;
    for (const auto& ab : {std::pair(2, 3), std::pair(1, 0), std::pair(3, 4), std::pair(2, 1)})
        open.curves.push_back(seg(ab.first, ab.second));
    Kor::List<int> indices, flags;
    Kor::Array<NurbsSurf*> chain;
    ASSERT_EQ(1, findCurveChain(open.list(), indices, flags, 0.1, &chain));
    const int expectedIndices[] = {1, 3, 0, 2}, expectedFlags[] = {-1, -1, 1, 1};
    ASSERT_EQ(4, indices.getCount());
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(expectedIndices[k], indices[k]);
        EXPECT_EQ(expectedFlags[k], flags[k]);
        EXPECT_EQ(open.curves[expectedIndices[k]].get(), chain[k]);
    }
    Kor::Array<NurbsSurf*> ordered;
    ASSERT_TRUE(orientCurveChain(open.list(), ordered, 10.0));
    for (int k = 0; k + 1 < 4; ++k)
        EXPECT_LT(squaredDistance(ordered[k]->getEndPoint(), ordered[k + 1]->getStartPoint()),
                  1e-24);

    open.curves.push_back(seg(5, 6)); // out of reach
    EXPECT_EQ(-1, findCurveChain(open.list(), indices, flags, 0.1));
    EXPECT_FALSE(orientCurveChain(open.list(), ordered, 10.0));
    EXPECT_EQ(0, ordered.getCount());
}
