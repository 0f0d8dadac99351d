// Records of the net's faces: points on a surface boundary, coedges, the
// span count for an angle, corners across a collapsed side, the index ranges
// of a loop and the graph node of a grid point.
#include "net/FaceRecords.h"
#include "geometry/NurbsSurf.h"
#include "geometry/SurfaceBoundaryPoint.h"
#include "mesh/GridPoint.h"
#include "net/PointList.h"

#include "support/NurbsFixtures.h"
#include "support/TestMeshes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

namespace {

// The bilinear patch over [0, 2] x [0, 1] with corners (u, v, u v).
std::unique_ptr<Fenwo::NurbsSurf> patch()
{
    const knots u(1, 1, 0.0, 2.0), v(1, 1, 0.0, 1.0);
    auto s = std::make_unique<Fenwo::NurbsSurf>(u, &v);
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j)
            s->setControlPoint(i, j, Vector(2.0 * i, 1.0 * j, 2.0 * i * j));
    return s;
}

TEST(FaceRecords, BoundaryPointTurnsSidesIntoCornersAtDomainEnds)
{
    auto s = patch();
    struct Case {
        BoundaryPosition side;
        double t;
        BoundaryPosition expected;
    } cases[] = {{uvSouth, 0.0, uvSouthWest},    {uvSouth, 2.0, uvSouthEast},
                 {uvSouth, 1.0, uvSouth},        {uvNorth, 0.0, uvNorthWest},
                 {uvNorth, 2.0, uvNorthEast},    {uvWest, 0.0, uvSouthWest},
                 {uvWest, 1.0, uvNorthWest},     {uvEast, 1.0, uvNorthEast},
                 {uvEast, 0.5, uvEast},          {uvWest, 2.0, uvWest}, // 2 is beyond the v domain
                 {uvNorthEast, 0.0, uvNorthEast}};
    for (const Case& k : cases) {
        CPointOnSurfaceBoundary p;
        p.surface = s.get();
        p.setPosition(k.side, k.t);
        EXPECT_EQ(p.position, k.expected) << k.side << " " << k.t;
        EXPECT_EQ(p.isCorner(), k.expected >= uvSouthWest);
        CPointOnSurfaceBoundary bare; // without a surface the side stays
        bare.setPosition(k.side, k.t);
        EXPECT_EQ(bare.position, k.side);
    }
}

TEST(FaceRecords, BoundaryPointEvaluatesAndReportsWhatItCannot)
{
    auto s = patch();
    auto curve = clampedCurve({Vector(0, 0, 0), Vector(4, 2, 0)}, 1);
    struct Case {
        BoundaryPosition where;
        double t;
        Fenwo::NurbsSurf* surface;
        CParametricGeometry* curve;
        double x, y, z;
        const char* printed;
    } cases[] = {
        {uvSouth, 0.5, nullptr, nullptr, 0, 0, 0, ""},
        {uvSouth, 0.5, nullptr, curve.get(), 2, 1, 0, ""}, // the fallback curve
        {uvSouth, 0.5, s.get(), nullptr, 0.5, 0, 0, ""},
        {uvNorth, 1.5, s.get(), nullptr, 1.5, 1, 1.5, ""},
        {uvWest, 0.25, s.get(), nullptr, 0, 0.25, 0, ""},
        {uvEast, 0.25, s.get(), nullptr, 2, 0.25, 0.5, ""},
        {uvNorthEast, 0, s.get(), nullptr, 2, 1, 2, ""},
        {uvSouthEast, 0, s.get(), nullptr, 2, 0, 0, ""},
        {undefinedPosition, 0, s.get(), nullptr, 0, 0, 0,
         "CCoedge::getPoint: do not knwo how to evaluate: 0\n"},
        {uvSouth, 0.5, curve.get(), nullptr, 0, 0, 0,
         "failed to evaluate in CPointOnSurfaceBoundary::getPoint\n"},
    };
    for (const Case& k : cases) {
        CPointOnSurfaceBoundary p;
        p.surface = k.surface;
        p.fallbackCurve = k.curve;
        p.position = k.where;
        p.parameter = k.t;
        Vector at;
        EXPECT_EQ(mwtest::capturedStdout([&] { at = p.getPoint(); }), k.printed);
        ASSERT_EQ(at.size(), 3);
        EXPECT_NEAR(at[0], k.x, 1e-12) << k.where;
        EXPECT_NEAR(at[1], k.y, 1e-12) << k.where;
        EXPECT_NEAR(at[2], k.z, 1e-12) << k.where;
    }
    EXPECT_TRUE(isSurfaceUnusable(nullptr));
    EXPECT_FALSE(isSurfaceUnusable(s.get()));
}

TEST(FaceRecords, CoEdgesSpansAndMirroredCorners)
{
    COffset_PointList p(nullptr), q(nullptr);
    CCoEdge e(7, 3, &p);
    EXPECT_EQ(e.firstIndex, 3);
    EXPECT_EQ(e.secondIndex, 7);
    auto s = patch();
    e.setLeftSurface(s.get());
    EXPECT_TRUE(e.leftSet);
    EXPECT_EQ(e.leftInterval.max, 2.0);
    e.setLeftSurface(nullptr);
    EXPECT_FALSE(e.leftSet);
    EXPECT_EQ(e.leftSideSurface, nullptr);

    CCoEdge a(1, 2, &p), b(1, 3, &p), c(1, 3, &q);
    EXPECT_TRUE(a < b && !(b < a));
    EXPECT_NE(b < c, c < b); // equal indices: by poly-line
    EXPECT_TRUE(a < e);

    const std::pair<double, int> spans[] = {{0, 2},     {2.99, 2}, {3, 3},   {10, 4},
                                            {14.9, 4},  {30, 6},   {119, 7}, {180, 9},
                                            {269.9, 9}, {270, 12}, {400, 12}};
    for (auto [angle, n] : spans)
        EXPECT_EQ(spansForAngle(angle), n) << angle;

    EXPECT_EQ(mirrorCorner(uvSouthWest, s.get()), uvSouthWest); // no collapsed side
    s->addDegenerateSide(uvWest);
    EXPECT_EQ(mirrorCorner(uvSouthWest, s.get()), uvNorthWest);
    EXPECT_EQ(mirrorCorner(uvNorthWest, s.get()), uvSouthWest);
    EXPECT_EQ(mirrorCorner(uvSouthEast, s.get()), uvSouthEast);
    EXPECT_EQ(mirrorCorner(uvSouthEast, nullptr), uvSouthEast);
}

TEST(FaceRecords, LoopRangesAndGraphNodes)
{
    COffset_PointList p(nullptr), q(nullptr);
    CCoEdge pieces[] = {{4, 2, &p}, {0, 1, &q}, {5, 7, &p}};
    GB::Loop loop;
    for (CCoEdge& c : pieces)
        loop.coedges.append(&c);
    Kor::List<COffset_PointList*> lines;
    lines.append(&q);
    const Kor::List<Interval> ranges = loop.getPolyLineRanges(lines);
    ASSERT_EQ(lines.count, 2);
    ASSERT_EQ(ranges.count, 2);
    const int ip = lines[0] == &p ? 0 : 1;
    EXPECT_EQ(lines[1 - ip], &q);
    EXPECT_EQ(ranges[ip].min, 2.0);
    EXPECT_EQ(ranges[ip].max, 7.0);
    EXPECT_EQ(ranges[1 - ip].max, 1.0);

    Gridbench::CGridPoint g;
    CVertex<float, 3> plain(1.f, 0.f, 0.f);
    _CVertex node(&g), other(&plain);
    EXPECT_EQ(node.getId(), g.serial);
    EXPECT_EQ(other.getId(), reinterpret_cast<std::intptr_t>(&plain));
    EXPECT_TRUE(node.isLess(other)); // (0, 0, 0) before (1, 0, 0)
    EXPECT_FALSE(other.isLess(node));
    CVertex<float, 3> out(5.f, 5.f, 5.f);
    other.getPoint(out);
    EXPECT_EQ(out, plain);

    // The loop releases its half-edge copies with their cloned nodes.
    for (int k = 0; k < 3; ++k) {
        auto* h = new GraphAlgorithm::CHalfEdge();
        h->target = node.clone();
        loop.cycle.append(h);
    }
    EXPECT_EQ(static_cast<_CVertex*>(loop.cycle[0]->target)->point, &g);
    loop.clearCycle();
    EXPECT_EQ(loop.cycle.count, 0);
    loop.cycle.append(new GraphAlgorithm::CHalfEdge()); // freed by the destructor
    loop.coedges.removeAll();
}

} // namespace
