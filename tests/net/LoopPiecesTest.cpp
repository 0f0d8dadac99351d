// The pieces of a face loop: merged runs along one poly-line, the loop of
// given curves that gets no face, the points and nodes of the ring, and the
// closing piece of a closed poly-line.
#include "geometry/Interval.h"
#include "geometry/NurbsSurf.h"
#include "mesh/GridPoint.h"
#include "net/FaceRecords.h"
#include "net/OffsetGrid.h"

#include "support/GridFixtures.h"
#include "support/TestMeshes.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using mwtest::gridPoint;
using mwtest::polyLine;

// Appends to the loop's ring the half-edges along pl from entry `from` to
// each of `to` in turn, linked to their predecessors.
void addRun(GB::Loop& loop, COffset_PointList* pl, std::initializer_list<int> entries)
{
    for (int e : entries) {
        auto* h = new GraphAlgorithm::CHalfEdge();
        h->target = new _CVertex(pl->vertices[e]);
        h->polyLine = pl;
        loop.cycle.append(h);
    }
}

void closeRing(GB::Loop& loop)
{
    const int n = loop.cycle.count;
    for (int i = 0; i < n; ++i) {
        loop.cycle.items[i]->previous = loop.cycle.items[(i + n - 1) % n];
        loop.cycle.items[i]->next = loop.cycle.items[(i + 1) % n];
    }
}

Vector at(const CVertex<float, 3>* v)
{
    return Vector(v->data, 3);
}

TEST(LoopPieces, MergedRunsGiveOneCurvePerPolyLineWhereverTheRingStarts)
{
    COffset_Grid grid(nullptr);
    auto *p0 = gridPoint(0, 0), *p3 = gridPoint(3, 0);
    COffset_PointList* a = polyLine(grid, {p0, gridPoint(1, 0.2f), gridPoint(2, -0.1f), p3});
    COffset_PointList* b = polyLine(grid, {p3, gridPoint(1.5f, 2), p0});
    GB::Loop loop;
    // From the node at a's entry 1: a to 2 and 3, b back to a's start, a to 1.
    addRun(loop, a, {2, 3});
    addRun(loop, b, {2});
    addRun(loop, a, {1});
    closeRing(loop);

    EXPECT_EQ(loop.countPolyLines(), 2);
    Kor::List<CVertex<float, 3>*> nodes, points;
    loop.getNodePoints(nodes);
    ASSERT_EQ(nodes.count, 4);
    EXPECT_EQ(nodes[1], p3);
    loop.getVertexList(points);
    EXPECT_EQ(points.count, 9);     // three pieces of two points, one of three
    EXPECT_TRUE(loop.isModified()); // no face yet

    mwtest::OwnedCurves merged, pieces;
    Kor::List<CParametricGeometry*> out;
    ASSERT_TRUE(loop.getBoundaryCurves(out, true));
    ASSERT_EQ(out.count, 2);
    for (CParametricGeometry* c : out)
        merged.list.append(dynamic_cast<Fenwo::NurbsSurf*>(c));
    // b's run comes first; a's three pieces make one curve over all of a.
    EXPECT_LT(norm(merged[0].getStartPoint() - at(p3)), 1e-9);
    EXPECT_LT(norm(merged[1].getStartPoint() - at(p0)), 1e-9);
    EXPECT_LT(norm(merged[1].getEndPoint() - at(p3)), 1e-9);
    out.removeAll();
    ASSERT_TRUE(loop.getBoundaryCurves(out, false));
    for (CParametricGeometry* c : out)
        pieces.list.append(dynamic_cast<Fenwo::NurbsSurf*>(c));
    EXPECT_EQ(pieces.count(), 4);

    // A poly-line drawn back to its first point runs on round it: a ring
    // from the node y on it, through its first point f to the node x and
    // back to y along a line across is two curves (the ring's were two, an
    // edge more than the region's sides).
    CVertex<float, 3>*f = gridPoint(0, 5), *x = gridPoint(2, 5), *y = gridPoint(2, 7);
    COffset_PointList* ring =
        polyLine(grid, {f, gridPoint(1, 4.5f), x, gridPoint(3, 6), y, gridPoint(1, 7.5f), f});
    COffset_PointList* across = polyLine(grid, {x, y});
    GB::Loop round;
    addRun(round, ring, {6, 2});
    addRun(round, across, {1});
    closeRing(round);
    const int entries[3][2] = {{4, 6}, {0, 2}, {0, 1}};
    for (int i = 0; i < 3; ++i) {
        round.cycle.items[i]->sourceEntry = entries[i][0];
        round.cycle.items[i]->targetEntry = entries[i][1];
    }
    Kor::List<CParametricGeometry*> sides;
    ASSERT_TRUE(round.getBoundaryCurves(sides, true));
    mwtest::OwnedCurves owned;
    for (CParametricGeometry* c : sides)
        owned.list.append(dynamic_cast<Fenwo::NurbsSurf*>(c));
    ASSERT_EQ(owned.count(), 2);
    // The ring's curve from y through f to x.
    EXPECT_LT(norm(owned[0].getStartPoint() - at(y)), 1e-6);
    EXPECT_LT(norm(owned[0].getEndPoint() - at(x)), 1e-6);
    const Interval domain = owned[0].getDomain(0);
    double fromF = HUGE_VAL;
    for (int k = 0; k <= 100; ++k)
        fromF = std::min(
            fromF, norm(owned[0].getPoint(domain.min + k * domain.getLength() / 100, 0.0) - at(f)));
    EXPECT_LT(fromF, 0.05);

    // Given curves only: no face.
    a->setCurveLocked(true);
    b->setCurveLocked(true);
    out.removeAll();
    const std::string text =
        mwtest::capturedStdout([&] { EXPECT_FALSE(loop.getBoundaryCurves(out, true)); });
    EXPECT_NE(text.find("skipping an 'outer' loop"), std::string::npos);
    EXPECT_EQ(out.count, 0);
}

TEST(LoopPieces, ClosedPolyLinePieceFromItsFirstEntryRunsToTheCurveEnd)
{
    COffset_Grid grid(nullptr);
    COffset_PointList* ring =
        polyLine(grid, {gridPoint(0, 0), gridPoint(2, 0), gridPoint(2, 2), gridPoint(0, 2)});
    ring->closed = true;
    COffset_PointList* chord = polyLine(grid, {ring->vertices[2], ring->vertices[0]});
    GB::Loop loop;
    addRun(loop, chord, {1});
    addRun(loop, ring, {2}); // from entry 0 to entry 2 the long way round
    closeRing(loop);
    Interval piece;
    ASSERT_TRUE(loop.getPieceInterval(1, ring, piece));
    EXPECT_EQ(piece.min, ring->parameters[2]);
    EXPECT_EQ(piece.max, ring->curve->getUMax());
    EXPECT_FALSE(loop.getPieceInterval(2, ring, piece));
    EXPECT_FALSE(loop.getPieceInterval(0, nullptr, piece));

    // A piece whose poly-line lost a node is skipped.
    COffset_PointList* other = polyLine(grid, {gridPoint(5, 5), gridPoint(6, 6)});
    loop.cycle.items[0]->polyLine = other;
    Kor::List<CVertex<float, 3>*> points;
    const std::string text = mwtest::capturedStdout([&] { loop.getVertexList(points); });
    EXPECT_NE(text.find("-1 -1 loop is referencing a deleted Vertex."), std::string::npos);
    EXPECT_EQ(points.count, 3);
}

} // namespace
