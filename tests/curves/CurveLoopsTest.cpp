#include "curves/CurveLoops.h"

#include "curves/CurveInterpolation.h"
#include "geometry/NurbsSurf.h"
#include "mesh/FlatMesh.h"
#include "mesh/StlFormat.h"
#include "support/NurbsFixtures.h"
#include "support/ScratchDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <vector>

using Fenwo::NurbsSurf;

namespace {

using Path = std::function<Vector(double)>; // a curve over s in [0, 1]

Vector pointAt(NurbsSurf& s, double u, double v)
{
    Vector p(3);
    s.evaluatePoint(p, u, v);
    return p;
}

Path pathOf(NurbsSurf& curve)
{
    return [&curve](double s) {
        const Interval d = curve.getDomain(0);
        return pointAt(curve, d.min + s * (d.max - d.min), 0.0);
    };
}

// Side 0 is the row v = v min, 1 the column u = u max, 2 the row v = v max,
// 3 the column u = u min.
Path sideOf(NurbsSurf& patch, int side)
{
    return [&patch, side](double s) {
        const Interval U = patch.getDomain(0);
        const Interval V = patch.getDomain(1);
        const double u = side == 1 ? U.max : side == 3 ? U.min : U.min + s * (U.max - U.min);
        const double v = side == 0 ? V.min : side == 2 ? V.max : V.min + s * (V.max - V.min);
        return pointAt(patch, u, v);
    };
}

// Largest distance between two paths sampled at the same fractions, the
// second run in whichever direction fits better.
double deviation(const Path& a, const Path& b)
{
    double forward = 0.0, backward = 0.0;
    for (int k = 0; k <= 24; ++k) {
        const double s = k / 24.0;
        forward = std::max(forward, std::sqrt(squaredDistance(a(s), b(s))));
        backward = std::max(backward, std::sqrt(squaredDistance(a(s), b(1 - s))));
    }
    return std::min(forward, backward);
}

struct Loop {
    std::vector<std::unique_ptr<NurbsSurf>> curves;
    Kor::Array<NurbsSurf*> list() const
    {
        Kor::Array<NurbsSurf*> out;
        for (const auto& c : curves)
            out.append(c.get());
        return out;
    }
};

// Cubic sides with equally spaced control points between the corners, in
// loop order.
Loop straightLoop(const std::vector<Vector>& corners)
{
    Loop loop;
    for (size_t k = 0; k < corners.size(); ++k) {
        const Vector& a = corners[k];
        const Vector& b = corners[(k + 1) % corners.size()];
        std::vector<Vector> cps;
        for (int i = 0; i <= 3; ++i)
            cps.push_back(a + (i / 3.0) * (b - a));
        loop.curves.push_back(clampedCurve(cps, 3));
    }
    return loop;
}

void expectEachCurveOnce(const int positions[4], int count)
{
    std::vector<int> seen(positions, positions + 4);
    std::sort(seen.begin(), seen.end());
    std::vector<int> expected;
    if (count == 3)
        expected.push_back(-1);
    for (int i = 0; i < count; ++i)
        expected.push_back(i);
    EXPECT_EQ(expected, seen);
}

} // namespace

TEST(CurveLoops, ShuffledSidesOfTheHyperbolicParaboloidSpanIt)
{
    const std::vector<Vector> corners = {Vector(0, 0, 0), Vector(1, 0, 0), Vector(1, 1, 1),
                                         Vector(0, 1, 0)};
    Loop ordered = straightLoop(corners);
    std::unique_ptr<NurbsSurf> reference(orderCurveLoops(ordered.list(), 1, 1, nullptr));
    ASSERT_NE(nullptr, reference);

    std::mt19937 random(7);
    for (int trial = 0; trial < 6; ++trial) {
        SCOPED_TRACE(trial);
        Loop loop = straightLoop(corners);
        std::shuffle(loop.curves.begin(), loop.curves.end(), random);
        std::vector<std::unique_ptr<NurbsSurf>> originals;
        for (auto& c : loop.curves) {
            if (random() % 2)
                c->invertDirection(0);
            originals.emplace_back(new NurbsSurf(*c));
        }
        int positions[4];
        std::unique_ptr<NurbsSurf> patch(orderCurveLoops(loop.list(), 1, 1, positions));
        ASSERT_NE(nullptr, patch);
        expectEachCurveOnce(positions, 4);

        const Interval U = patch->getDomain(0);
        const Interval V = patch->getDomain(1);
        for (int i = 0; i < 20; ++i)
            for (int j = 0; j < 20; ++j) {
                const Vector p = pointAt(*patch, U.min + i / 19.0 * (U.max - U.min),
                                         V.min + j / 19.0 * (V.max - V.min));
                ASSERT_NEAR(p[0] * p[1], p[2], 1e-12);
            }
        for (int side = 0; side < 4; ++side) {
            double best = 1e300;
            for (int r = 0; r < 4; ++r)
                best = std::min(best, deviation(sideOf(*patch, side), sideOf(*reference, r)));
            EXPECT_LT(best, 1e-12) << "side " << side;
            EXPECT_LT(deviation(sideOf(*patch, side), pathOf(*originals[positions[side]])), 1e-12);
        }
        for (size_t k = 0; k < originals.size(); ++k)
            EXPECT_LT(deviation(pathOf(*originals[k]), pathOf(*loop.curves[k])), 1e-10);
    }
}

TEST(CurveLoops, PatchBoundariesReproduceGeneralAndPlanarLoops)
{
    struct Case {
        const char* name;
        std::vector<std::vector<Vector>> sides; // control points, in loop order
        std::vector<int> degrees;
        bool planar;
    };
    const Vector n = normalized(Vector(0.2, -0.3, 1.0)); // plane of the square
    const Vector e1 = normalized(crossProduct(n, Vector(1, 0, 0)));
    const Vector e2 = crossProduct(n, e1);
    auto sq = [&](double a, double b) { return Vector(1, 2, 3) + 4.0 * a * e1 + 4.0 * b * e2; };
    const std::vector<Case> cases = {
        {"general cubics",
         {{Vector(0, 0, 0), Vector(1, -0.5, 0.3), Vector(2.2, 0.4, -0.2), Vector(3, 0, 0)},
          {Vector(3, 0, 0), Vector(3.4, 1, 0.5), Vector(2.8, 1.6, 0.2), Vector(3.3, 2.4, -0.4),
           Vector(3, 3, 0)},
          {Vector(3, 3, 0), Vector(2, 3.5, 1), Vector(1, 2.7, -0.6), Vector(0, 3, 0.2)},
          {Vector(0, 3, 0.2), Vector(-0.4, 2, 0.1), Vector(0.3, 1, -0.3), Vector(0, 0, 0)}},
         {3, 3, 3, 2},
         false},
        {"planar square",
         {{sq(0, 0), sq(0.5, 0), sq(1, 0)},
          {sq(1, 0), sq(1.1, 0.3), sq(0.9, 0.7), sq(1, 1)},
          {sq(1, 1), sq(0, 1)},
          {sq(0, 1), sq(0.1, 0.4), sq(0, 0)}},
         {2, 3, 1, 2},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Loop loop;
        for (size_t k = 0; k < c.sides.size(); ++k)
            loop.curves.push_back(clampedCurve(c.sides[k], c.degrees[k], 0.0, 1.0 + k));
        std::swap(loop.curves[1], loop.curves[3]);
        loop.curves[2]->invertDirection(0);
        std::vector<std::unique_ptr<NurbsSurf>> originals;
        for (auto& curve : loop.curves)
            originals.emplace_back(new NurbsSurf(*curve));

        int positions[4];
        std::unique_ptr<NurbsSurf> patch(orderCurveLoops(loop.list(), 1, 1, positions));
        ASSERT_NE(nullptr, patch);
        expectEachCurveOnce(positions, 4);
        for (int side = 0; side < 4; ++side)
            EXPECT_LT(deviation(sideOf(*patch, side), pathOf(*originals[positions[side]])), 1e-9);
        if (c.planar)
            for (int j = 0; j < patch->getVCount(); ++j)
                for (int i = 0; i < patch->getUCount(); ++i) {
                    Vector p;
                    patch->getControlPoint(i, j, p);
                    EXPECT_NEAR(0.0, dot(p - sq(0, 0), n), 1e-12);
                }
    }
}

TEST(CurveLoops, ThreeSidedOctantCollapsesTheCornerOppositeTheShortestSide)
{
    const Vector o(0, 0, 0), X(1, 0, 0), Y(0, 1, 0), Z(0, 0, 1);
    Loop loop;
    loop.curves.push_back(rationalArc(o, X, Y, 1.0, 1));
    loop.curves.push_back(rationalArc(o, X, Z, 1.0, 1)); // runs against the loop
    loop.curves.push_back(rationalArc(o, Y, Z, 1.0, 1));
    int positions[4];
    std::unique_ptr<NurbsSurf> patch(orderCurveLoops(loop.list(), 1, 1, positions));
    ASSERT_NE(nullptr, patch);
    expectEachCurveOnce(positions, 3);
    EXPECT_EQ(1, patch->degenerateSides.getCount());

    const int collapsed = int(std::find(positions, positions + 4, -1) - positions);
    // The collapsed corner is the octant corner that the opposite side misses.
    NurbsSurf& opposite = *loop.curves[positions[(collapsed + 2) % 4]];
    Vector corner(0, 0, 0);
    for (const Vector& axis : {X, Y, Z}) {
        Vector a, b;
        opposite.getControlPoint(0, 0, a);
        opposite.getControlPoint(opposite.getUCount() - 1, 0, b);
        if (squaredDistance(a, axis) > 1e-20 && squaredDistance(b, axis) > 1e-20)
            corner = axis;
    }
    for (int side = 0; side < 4; ++side)
        for (int k = 0; k <= 30; ++k) {
            const Vector p = sideOf(*patch, side)(k / 30.0);
            if (side == collapsed)
                EXPECT_LT(std::sqrt(squaredDistance(p, corner)), 1e-12);
            else
                EXPECT_NEAR(1.0, norm(p), 1e-10);
        }
}

TEST(CurveLoops, OpenOrBrokenLoopsFail)
{
    const std::vector<Vector> corners = {Vector(0, 0, 0), Vector(2, 0, 0), Vector(2, 1, 0),
                                         Vector(0, 1, 0), Vector(-1, 0.5, 0)};
    struct Case {
        const char* name;
        int count;
        double gap; // moves the last curve's end away from the first corner
        bool message;
    };
    const Case cases[] = {{"empty", 0, 0.0, false},
                          {"two curves", 2, 0.0, false},
                          {"five curves", 5, 0.0, false},
                          {"gap above half the shortest side", 4, 0.6, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(mwtest::scratchPath("orderfailed.out"));
        std::vector<Vector> ends(corners.begin(), corners.begin() + std::max(c.count, 2));
        Loop loop = c.count == 2 ? Loop() : straightLoop(ends);
        if (c.count == 2) {
            loop.curves.push_back(clampedCurve({corners[0], corners[1]}, 1));
            loop.curves.push_back(clampedCurve({corners[1], corners[0] + Vector(0, 0.1, 0)}, 1));
        }
        if (c.count == 0)
            loop.curves.clear();
        if (c.gap > 0.0) {
            NurbsSurf& last = *loop.curves.back();
            last.setControlPoint(3, 0, corners[0] + Vector(0, -c.gap, 0), 1.0);
        }
        testing::internal::CaptureStdout();
        std::unique_ptr<NurbsSurf> patch(orderCurveLoops(loop.list(), 1, 1, nullptr));
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(nullptr, patch);
        EXPECT_EQ(c.message, out.find("orderCurveLoopsfailed") != std::string::npos) << out;
        EXPECT_EQ(c.message, std::filesystem::exists(mwtest::scratchPath("orderfailed.out")));
    }
}

TEST(CurveLoops, ChainsFromAnInnerCurveInBothDirections)
{
    // Pieces of the poly-line 0 - 1 - 2 - 3 - 4, listed from the middle and
    // partly reversed.
    auto seg = [](double a, double b) {
        return clampedCurve({Vector(a, 0.1 * a * a, 0), Vector(b, 0.1 * b * b, 0)}, 1);
    };
    Loop open;
    open.curves.push_back(seg(2, 3));
    open.curves.push_back(seg(1, 0));
    open.curves.push_back(seg(3, 4));
    open.curves.push_back(seg(2, 1));
    Kor::List<int> indices, flags;
    Kor::Array<NurbsSurf*> chain;
    ASSERT_EQ(1, findCurveChain(open.list(), indices, flags, 0.1, &chain));
    const int expectedIndices[] = {1, 3, 0, 2};
    const int expectedFlags[] = {-1, -1, 1, 1};
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

    open.curves.push_back(seg(5, 6)); // unreachable
    EXPECT_EQ(-1, findCurveChain(open.list(), indices, flags, 0.1));
    EXPECT_FALSE(orientCurveChain(open.list(), ordered, 10.0));
    EXPECT_EQ(0, ordered.getCount());
}

TEST(CurveLoops, RealSphereOctantFromMeshVertices)
{
    const std::filesystem::path path =
        std::filesystem::path(MW_REALDATA_DIR) / "stl" / "unit_sphere.STL";
    if (!std::filesystem::exists(path)) {
        if (const char* ci = std::getenv("CI"); ci != nullptr && std::string(ci) == "true")
            FAIL() << "missing " << path;
        GTEST_SKIP() << "no real data";
    }
    CFlatMesh mesh;
    ASSERT_TRUE(readSTL(mesh, path.string().c_str(), true));

    // The vertices on the three great circles bounding the first octant,
    // each quarter ordered by its angle.
    Loop loop;
    for (int c = 0; c < 3; ++c) {
        const int a = (c + 1) % 3, b = (c + 2) % 3; // the circle lies in the a-b plane
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
    int positions[4];
    std::unique_ptr<NurbsSurf> patch(orderCurveLoops(loop.list(), 1, 1, positions));
    ASSERT_NE(nullptr, patch);
    expectEachCurveOnce(positions, 3);
    EXPECT_EQ(1, patch->degenerateSides.getCount());
    for (int side = 0; side < 4; ++side) {
        if (positions[side] < 0)
            continue;
        for (int k = 0; k <= 40; ++k)
            EXPECT_NEAR(1.0, norm(sideOf(*patch, side)(k / 40.0)), 1e-3);
    }
}
