// Face set-up from four boundary curves: chaining in any order and
// orientation, the corners and knots of the result, the merge distance of
// opposite sides, and the view test of a side's grid points.
#include "net/FaceSetup.h"

#include "curves/BoundaryCurves.h"
#include "geometry/NurbsSurf.h"
#include "mesh/GridPoint.h"

#include "fitting/FitFixtures.h"
#include "support/GridFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

// A degree-1 curve through the points.
std::unique_ptr<Fenwo::NurbsSurf> polyline(std::vector<Vector> points)
{
    return clampedCurve(points, 1);
}

TEST(FaceSetup, FourCurvesInAnyOrderSpanASurfaceThroughTheJunctions)
{
    // Corners of a saddle-like loop, sides bent a little.
    const Vector c[4] = {Vector(0, 0, 0), Vector(4, 0, 1), Vector(4, 3, 0), Vector(0, 3, 1)};
    std::unique_ptr<Fenwo::NurbsSurf> side[4];
    for (int i = 0; i < 4; ++i) {
        const Vector mid = 0.5 * (c[i] + c[(i + 1) % 4]) + Vector(0.0, 0.0, 0.3);
        side[i] = clampedCurve({c[i], mid, c[(i + 1) % 4]}, 2);
    }
    side[1]->invertDirection(0);
    side[2]->invertDirection(0);
    Kor::Array<Fenwo::NurbsSurf*> curves;
    for (int i : {2, 0, 3, 1})
        curves.append(side[i].get());
    std::unique_ptr<Fenwo::NurbsSurf> s(Face_OrderLoopAndInit(curves, nullptr, 2, nullptr));
    ASSERT_NE(nullptr, s);
    Vector p;
    int matched = 0;
    for (auto [i, j] : {std::pair{0, 0}, {-1, 0}, {-1, -1}, {0, -1}}) {
        s->getControlPointXYZ(p, i, j);
        for (const Vector& q : c)
            matched += norm(p - q) < 1e-9;
    }
    EXPECT_EQ(matched, 4);
    for (const knots* k : {s->uKnots, s->vKnots}) {
        EXPECT_EQ(k->getDomain().min, 0.0);
        EXPECT_EQ(k->getDomain().max, 1.0);
        EXPECT_EQ(k->endCondition, knots::ClampedEnd);
        EXPECT_EQ(k->spacing, knots::Uniform);
        EXPECT_EQ(k->p, std::min(k->n, 2));
    }
    // The caller's curves keep their directions.
    EXPECT_LT(norm(side[1]->getStartPoint() - c[2]), 1e-12);

    // Three (an open chain) or five curves, or curves apart: nothing.
    Kor::Array<Fenwo::NurbsSurf*> five(curves), apart(curves);
    five.append(side[0].get());
    auto far = fitfix::straightCurve(Vector(10, 10, 10), Vector(11, 10, 10));
    apart[3] = far.get();
    --curves.count;
    for (const auto* list : {&curves, &five, &apart}) {
        Fenwo::NurbsSurf* none = side[0].get();
        const std::string out = mwtest::capturedStdout(
            [&] { none = Face_OrderLoopAndInit(*list, nullptr, 3, nullptr); });
        EXPECT_EQ(nullptr, none);
        EXPECT_EQ(out, "order Curve Loops failed\n");
    }
    // A closed loop of three: nothing, silently.
    auto ab = fitfix::straightCurve(c[0], c[1]), bc = fitfix::straightCurve(c[1], c[2]),
         ca = fitfix::straightCurve(c[2], c[0]);
    Kor::Array<Fenwo::NurbsSurf*> triangle;
    for (auto* t : {ab.get(), bc.get(), ca.get()})
        triangle.append(t);
    EXPECT_EQ(mwtest::capturedStdout([&] {
                  EXPECT_EQ(nullptr, Face_OrderLoopAndInit(triangle, nullptr, 3, nullptr));
              }),
              "");
}

// The loop (0, 0) - (4, 0) - (4, 3) - (0, 3): the bottom side bends up
// through a grid point that neither has a direction nor sees the loop, so
// the side is straightened; the top side, straight in five pieces, is
// pulled onto a target that bulges up by 0.5 in its middle.
TEST(FaceSetup, SidesStraightenedAndPulledOntoTheirTargetsShapeTheSurface)
{
    const Vector c[4] = {Vector(0, 0, 0), Vector(4, 0, 0), Vector(4, 3, 0), Vector(0, 3, 0)};
    auto bottom = polyline({c[0], Vector(2, 0, 1), c[1]});
    auto right = polyline({c[1], c[2]});
    auto top = polyline({c[2], Vector(3, 3, 0), Vector(2, 3, 0), Vector(1, 3, 0), c[3]});
    auto left = polyline({c[3], c[0]});
    const int topConstraints = top->constraints.count;
    Kor::Array<Fenwo::NurbsSurf*> curves;
    for (auto* side : {bottom.get(), right.get(), top.get(), left.get()})
        curves.append(side);
    std::vector<std::unique_ptr<Gridbench::CGridPoint>> own;
    auto point = [&](const Vector& p) {
        own.emplace_back(mwtest::gridPoint(float(p[0]), float(p[1]), float(p[2])));
        own.back()->normal = CVector<float, 3>(0.f, 0.f, 1.f);
        return own.back().get();
    };
    Kor::List<SidePoints> sidePoints;
    for (const std::vector<Vector>& along : {std::vector<Vector>{c[0], Vector(2, 0, 1), c[1]},
                                             {c[1], c[2]},
                                             {c[2], c[3]},
                                             {c[3], c[0]}}) {
        SidePoints points;
        for (const Vector& p : along)
            points.append(point(p));
        sidePoints.append(points);
    }
    auto target = clampedCurve({c[2], Vector(2, 3, 1), c[3]}, 2);
    Kor::Array<Fenwo::NurbsSurf*> targets;
    targets.append(target.get());
    Kor::List<int> targetIndex;
    for (int t : {-1, -1, 0, -1})
        targetIndex.append(t);

    for (const bool shaped : {false, true}) {
        SCOPED_TRACE(shaped);
        std::unique_ptr<Fenwo::NurbsSurf> s;
        mwtest::capturedStdout([&] {
            s.reset(Face_OrderLoopAndInit(curves, shaped ? &targets : nullptr, 3,
                                          shaped ? &targetIndex : nullptr,
                                          shaped ? &sidePoints : nullptr));
        });
        ASSERT_NE(s, nullptr);
        // The middles of the four sides of the surface; the bottom's and the
        // top's are told apart by y.
        double bottomZ = -1.0, topZ = -1.0;
        for (auto [u, v] : {std::pair{0.5, 0.0}, {0.5, 1.0}, {0.0, 0.5}, {1.0, 0.5}}) {
            const Vector p = s->getPoint(u, v);
            if (std::fabs(p[1]) < 0.1)
                bottomZ = p[2];
            if (std::fabs(p[1] - 3.0) < 0.1)
                topZ = p[2];
        }
        if (shaped) {
            EXPECT_NEAR(bottomZ, 0.0, 1e-9);
            EXPECT_NEAR(topZ, 0.5, 0.02);
        } else {
            EXPECT_GT(bottomZ, 0.5);
            EXPECT_NEAR(topZ, 0.0, 1e-9);
        }
    }
    // The set-up works on copies: the caller's curves keep their shape and
    // take no constraints.
    EXPECT_EQ(bottom->getUCount(), 3);
    EXPECT_EQ(top->constraints.count, topConstraints);
}

TEST(FaceSetup, SideFittedToATargetKeepsItsEndsAndItsConstraintsOnce)
{
    auto arc = fitfix::circularArc(2.0, 1);
    auto side = clampedCurve({Vector(2, 0, 0), Vector(1.6, 0.4, 0), Vector(1.2, 0.8, 0),
                              Vector(0.8, 1.2, 0), Vector(0.4, 1.6, 0), Vector(0, 2, 0)},
                             3);
    for (int pass = 0; pass < 2; ++pass)
        mwtest::capturedStdout([&] { Face_FitSideToCurve(side.get(), arc.get()); });
    EXPECT_EQ(side->constraints.count, 1 + 6); // the weights and one per control point
    EXPECT_LT(norm(side->getStartPoint() - Vector(2, 0, 0)), 1e-9);
    EXPECT_LT(norm(side->getEndPoint() - Vector(0, 2, 0)), 1e-9);
    for (double t : {0.25, 0.5, 0.75})
        EXPECT_NEAR(norm(side->getPoint(t, 0.0)), 2.0, 0.01) << t;
}

TEST(FaceSetup, OppositeSidesMergeCloseBreakpointsFinerWhenCountsDiffer)
{
    // a: two equal legs (breakpoint 0.5); c: a breakpoint at 0.51 among
    // two legs, or among sixteen legs (then more than five times a's).
    auto a = polyline({Vector(0, 0, 0), Vector(1, 0, 0), Vector(2, 0, 0)});
    auto coarse = polyline({Vector(0, 1, 0), Vector(1.02, 1, 0), Vector(2, 1, 0)});
    std::vector<Vector> legs;
    for (double f : {0.0, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.16, 9.0, 10.0, 11.0, 12.0, 13.0,
                     14.0, 15.0, 16.0})
        legs.push_back(Vector(f / 8.0, 1.0, 0.0));
    auto fine = polyline(legs);
    struct Case {
        Fenwo::NurbsSurf* c;
        int m;
    } cases[] = {{coarse.get(), 2}, {fine.get(), 17}};
    for (const Case& k : cases) {
        Fenwo::NurbsSurf *outA = nullptr, *outC = nullptr;
        ASSERT_TRUE(Face_MakeOppositeSidesCompatible(a.get(), k.c, outA, outC, 3));
        std::unique_ptr<Fenwo::NurbsSurf> ownA(outA), ownC(outC);
        EXPECT_EQ(outA->getUCount(), k.m + 1);
        EXPECT_EQ(outC->getUCount(), k.m + 1);
        EXPECT_EQ(outA->uKnots->p, std::min(3, k.m));
        EXPECT_LT(norm(mwtest::controlPoint(*outC, -1) - Vector(2, 1, 0)), 1e-12);
    }
    auto dot = fitfix::straightCurve(Vector(1, 1, 1), Vector(1, 1, 1));
    Fenwo::NurbsSurf *outA = dot.get(), *outC = dot.get();
    EXPECT_FALSE(Face_MakeOppositeSidesCompatible(a.get(), dot.get(), outA, outC, 3));
    EXPECT_EQ(outA, nullptr);
    EXPECT_EQ(outC, nullptr);
}

TEST(FaceSetup, SideSeesPointCountsOnlyPairsThatCrossThePlane)
{
    // The point looks along +x with its normal +z: the plane y = 0. The
    // pairs at y = 0.005 lie on one side of it and must count neither as a
    // cut behind the point nor divide by their equal distances.
    std::unique_ptr<Gridbench::CGridPoint> g(mwtest::gridPoint(0, 0));
    g->normal = CVector<float, 3>(0.f, 0.f, 1.f);
    SidePoints loop;
    std::vector<std::unique_ptr<Gridbench::CGridPoint>> own;
    for (auto [x, y] : {std::pair{1.f, -1.f},
                        {1.f, 1.f},
                        {-1.f, 1.f},
                        {-1.f, 0.005f},
                        {0.5f, 0.005f},
                        {0.5f, 0.005f}}) {
        own.emplace_back(mwtest::gridPoint(x, y));
        loop.append(own.back().get());
    }
    Kor::List<SidePoints> sides;
    sides.append(loop);
    EXPECT_FALSE(Face_SideSeesPoint(g.get(), sides)); // no direction set
    g->setDirection1(CVector<float, 3>(1.f, 0.f, 0.f), true);
    EXPECT_TRUE(Face_SideSeesPoint(g.get(), sides));
    g->setDirection1(CVector<float, 3>(-1.f, 0.f, 0.f), true);
    EXPECT_FALSE(Face_SideSeesPoint(g.get(), sides));

    // A side a thousandth of the loop's width ahead is seen at every scale:
    // an absolute 0.0001 hid it from a point of a loop in metres.
    for (const float scale : {1e-3f, 1.f, 1e3f}) {
        SCOPED_TRACE(scale);
        std::unique_ptr<Gridbench::CGridPoint> at(mwtest::gridPoint(0, 0));
        at->normal = CVector<float, 3>(0.f, 0.f, 1.f);
        at->setDirection1(CVector<float, 3>(1.f, 0.f, 0.f), true);
        SidePoints ahead;
        std::vector<std::unique_ptr<Gridbench::CGridPoint>> corners;
        for (auto [x, y] : {std::pair{0.001f, -1.f}, {0.001f, 1.f}, {2.f, 1.f}, {2.f, -1.f}}) {
            corners.emplace_back(mwtest::gridPoint(scale * x, scale * y));
            ahead.append(corners.back().get());
        }
        Kor::List<SidePoints> loop;
        loop.append(ahead);
        EXPECT_TRUE(Face_SideSeesPoint(at.get(), loop));
    }
}

} // namespace
