#include "foundation/VertexList.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace {

using V3 = CVertex<double, 3>;
using XY = std::vector<std::pair<double, double>>;

void fill(CVertexList& list, const XY& xy, bool reversed = false)
{
    const int n = static_cast<int>(xy.size());
    for (int k = 0; k < n; ++k) {
        const auto& p = xy[reversed ? n - 1 - k : k];
        list.appendPoint(Vector(p.first, p.second, 0.0));
    }
}

double shoelace(const XY& xy)
{
    double a = 0.0;
    for (std::size_t i = 0; i < xy.size(); ++i) {
        const auto& p = xy[i];
        const auto& q = xy[(i + 1) % xy.size()];
        a += p.first * q.second - q.first * p.second;
    }
    return std::fabs(a) / 2.0;
}

double signedArea(const CVertexList& list, const CTGTriangle& t)
{
    const V3& a = *list.vertices[t.i];
    const V3& b = *list.vertices[t.j];
    const V3& c = *list.vertices[t.k];
    return ((b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0])) / 2.0;
}

const XY kLShape{{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}};
// A comb: a base bar with four teeth pointing up.
const XY kComb{{0, 0}, {7, 0}, {7, 3}, {6, 3}, {6, 1}, {5, 1}, {5, 3}, {4, 3},
               {4, 1}, {3, 1}, {3, 3}, {2, 3}, {2, 1}, {1, 1}, {1, 3}, {0, 3}};

XY regularPolygon(int n, double r)
{
    XY xy;
    for (int i = 0; i < n; ++i) {
        const double a = 2.0 * std::numbers::pi * i / n;
        xy.push_back({r * std::cos(a), r * std::sin(a)});
    }
    return xy;
}

// Triangulates and checks the promises of a simple polygon: n - 2 triangles,
// all with the polygon's orientation, whose areas add up to its area.
void expectFullTriangulation(const XY& xy, bool reversed, bool withPoint)
{
    CVertexList list;
    fill(list, xy, reversed);
    Kor::List<CTGTriangle> tris;
    const V3 switchPoint;
    ASSERT_TRUE(list.triangulate(tris, withPoint ? &switchPoint : nullptr));
    const int n = static_cast<int>(xy.size());
    ASSERT_EQ(tris.count, n - 2);
    double sum = 0.0;
    const double area = shoelace(xy);
    const double sign = reversed ? -1.0 : 1.0;
    for (const CTGTriangle& t : tris) {
        EXPECT_EQ(t.polygon, &list);
        const double a = sign * signedArea(list, t);
        EXPECT_GE(a, -1e-12 * area);
        sum += a;
    }
    EXPECT_NEAR(sum, area, 1e-9 * area);
}

} // namespace

TEST(VertexList, GetVertexWrapsAndAppendCopies)
{
    CVertexList list;
    EXPECT_EQ(list.getVertex(3), nullptr);
    fill(list, kLShape);
    EXPECT_EQ(list.getVertex(-1), list.vertices[5]);
    EXPECT_EQ(list.getVertex(7), list.vertices[1]);
    const V3 c = list.cornerCentroid(0, 1, 5);
    EXPECT_NEAR(c[0], 2.0 / 3.0, 1e-15);
    EXPECT_NEAR(c[1], 2.0 / 3.0, 1e-15);
    const V3 s = scaledVertex(2.0, *list.vertices[2]);
    EXPECT_EQ(s[0], 4.0);
    EXPECT_EQ(s[1], 2.0);
}

TEST(VertexList, OrientationAndWinding)
{
    const XY square{{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    CVertexList ccw, cw, two, l;
    fill(ccw, square);
    fill(cw, square, true);
    fill(two, {{0, 0}, {1, 0}});
    fill(l, kLShape, true);
    EXPECT_EQ(ccw.orientation(), -1);
    EXPECT_EQ(cw.orientation(), 1);
    EXPECT_EQ(two.orientation(), 0);
    EXPECT_EQ(l.orientation(), 1);
    // A square with a spike out of its lower side, from every start corner
    // and both ways round: the spike's corners, whose centroids lie on the
    // spike, decide nothing.
    const XY spiked{{0.5, 0}, {0.5, -0.5}, {0.5, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}};
    for (int start = 0; start < int(spiked.size()); ++start)
        for (bool reversed : {false, true}) {
            XY turned(spiked.begin() + start, spiked.end());
            turned.insert(turned.end(), spiked.begin(), spiked.begin() + start);
            CVertexList list;
            fill(list, turned, reversed);
            EXPECT_EQ(list.orientation(), reversed ? 1 : -1) << start;
        }
    EXPECT_NEAR(ccw.windingAngle(V3(0.3, 0.6, 0)), 2 * std::numbers::pi, 1e-12);
    EXPECT_NEAR(cw.windingAngle(V3(0.3, 0.6, 0)), -2 * std::numbers::pi, 1e-12);
    EXPECT_NEAR(ccw.windingAngle(V3(3, 0.5, 0)), 0.0, 1e-12);
    EXPECT_EQ(CVertexList().windingAngle(V3()), 0.0);
    EXPECT_TRUE(ccw.isInside(V3(1, 1, 0), true));
    EXPECT_TRUE(ccw.isInside(V3(0.5, 0, 0), true));
    EXPECT_FALSE(ccw.isInside(V3(0.5, -0.1, 0), true));
}

TEST(VertexList, SegmentCrossings)
{
    CVertexList square;
    fill(square, {{0, 0}, {1, 0}, {1, 1}, {0, 1}});
    Kor::Set<double> params;
    EXPECT_TRUE(square.segmentCrossParams(V3(-1, 0.5, 0), V3(3, 0.5, 0), params));
    ASSERT_EQ(params.count, 2);
    EXPECT_DOUBLE_EQ(*params[0], 0.25);
    EXPECT_DOUBLE_EQ(*params[1], 0.5);

    // Through two corners: each corner is met by two edges. The second hit at
    // the upper corner is moved 2e-8 away from the first.
    Kor::Set<CIntersectionVertex> hits;
    EXPECT_TRUE(square.segmentCrossVertices(V3(-1, -1, 0), V3(2, 2, 0), hits));
    ASSERT_EQ(hits.count, 4);
    for (int k = 0; k + 1 < hits.count; ++k)
        EXPECT_LE(hits[k]->t, hits[k + 1]->t);
    EXPECT_NEAR(hits[0]->t, 1.0 / 3.0, 1e-15);
    EXPECT_NEAR(hits[3]->t - hits[2]->t, 2e-8, 1e-15);
    for (const CIntersectionVertex* h : hits) {
        EXPECT_EQ(h->polygon, &square);
        EXPECT_EQ(h->m_i, -1);
        EXPECT_NEAR(h->point[0], h->point[1], 1e-15);
    }

    Kor::Set<double> none;
    EXPECT_FALSE(square.segmentCrossParams(V3(2, 2, 0), V3(3, 5, 0), none));
    EXPECT_EQ(none.count, 0);
}

TEST(VertexList, SelfIntersection)
{
    CVertexList bowTie, l, tri;
    fill(bowTie, {{0, 0}, {2, 2}, {2, 0}, {0, 2}});
    fill(l, kLShape);
    fill(tri, {{0, 0}, {1, 0}, {0, 1}});
    EXPECT_TRUE(bowTie.selfIntersects());
    EXPECT_FALSE(l.selfIntersects());
    EXPECT_FALSE(tri.selfIntersects());
}

TEST(VertexList, InsertFromMovesVerticesCyclically)
{
    CVertexList a, b;
    fill(a, {{0, 0}, {1, 0}, {2, 0}});
    fill(b, {{10, 0}, {11, 0}, {12, 0}});
    const V3* b1 = b.vertices[1];
    a.insertFrom(b, 0, 1);
    EXPECT_EQ(b.getCount(), 0);
    ASSERT_EQ(a.getCount(), 6);
    const double xs[] = {0, 11, 12, 10, 1, 2};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ((*a.vertices[i])[0], xs[i]);
    EXPECT_EQ(a.vertices[1], b1); // moved, not copied
    a.deleteVertices();
    EXPECT_EQ(a.getCount(), 0);
}

TEST(VertexList, TriangulatesConvexLAndCombInBothOrientations)
{
    for (bool reversed : {false, true}) {
        for (bool withPoint : {false, true}) {
            SCOPED_TRACE(testing::Message() << "reversed " << reversed << " point " << withPoint);
            expectFullTriangulation(regularPolygon(3, 1.0), reversed, withPoint);
            expectFullTriangulation(regularPolygon(9, 2.0), reversed, withPoint);
            expectFullTriangulation(kLShape, reversed, withPoint);
            expectFullTriangulation(kComb, reversed, withPoint);
            // Collinear edge midpoints give zero-area ears, still n - 2.
            expectFullTriangulation({{0, 0}, {0.5, 0}, {1, 0}, {1, 0.5}, {1, 1}, {0, 1}}, reversed,
                                    withPoint);
        }
    }
}

TEST(VertexList, TriangulatesPolygonWithBridgedHole)
{
    // A square with a square hole, joined by a bridge whose end vertices
    // appear twice (as a trim polygon with holes is built).
    const XY bridged{{0, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 0},
                     {1, 1}, {1, 3}, {3, 3}, {3, 1}, {1, 1}};
    CVertexList list;
    fill(list, bridged);
    Kor::List<CTGTriangle> tris;
    ASSERT_TRUE(list.triangulate(tris));
    ASSERT_EQ(tris.count, 8);
    double sum = 0.0;
    for (const CTGTriangle& t : tris) {
        EXPECT_GE(signedArea(list, t), 0.0);
        sum += signedArea(list, t);
    }
    EXPECT_NEAR(sum, 12.0, 1e-12);
}

TEST(VertexList, TriangulatesRandomStarPolygonsAtAnyScale)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> radius(0.3, 1.0);
    for (double scale : {1e-6, 1.0, 1e6}) {
        for (int trial = 0; trial < 10; ++trial) {
            const int n = 5 + 4 * trial;
            XY xy;
            for (int i = 0; i < n; ++i) {
                const double a = 2.0 * std::numbers::pi * i / n;
                const double r = scale * radius(rng);
                xy.push_back({r * std::cos(a), r * std::sin(a)});
            }
            SCOPED_TRACE(testing::Message() << "scale " << scale << " n " << n);
            expectFullTriangulation(xy, false, false);
        }
    }
}

TEST(VertexList, TriangulateTooFewVerticesAddsNothing)
{
    CVertexList two;
    fill(two, {{0, 0}, {1, 0}});
    Kor::List<CTGTriangle> tris;
    EXPECT_FALSE(two.triangulate(tris));
    EXPECT_EQ(tris.count, 0);
}

TEST(VertexList, TriangulateEmergencyBreakReportsFailure)
{
    // A pentagram winds twice: no corner is an ear.
    const XY pentagon = regularPolygon(5, 1.0);
    XY star;
    for (int k = 0; k < 5; ++k)
        star.push_back(pentagon[(2 * k) % 5]);
    CVertexList list;
    fill(list, star);
    Kor::List<CTGTriangle> tris;
    testing::internal::CaptureStdout();
    const bool ok = list.triangulate(tris);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(ok);
    EXPECT_EQ(out, "emergency break, PV not removed.\n");
    EXPECT_LT(tris.count, 3);
}
