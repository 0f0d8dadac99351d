// Poly-lines of the grid: nearest points and directions, use counts through
// every edit and its undo, the locked curve, the pending point, the curve
// pick along a ray and the dump.
#include "mesh/GridPoint.h"
#include "net/OffsetGrid.h"

#include "support/GridFixtures.h"
#include "support/NurbsFixtures.h"
#include "support/TestMeshes.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

namespace {

using Gridbench::CGridPoint;
using mwtest::gridPoint;
using mwtest::NotificationCounter;
using mwtest::polyLine;
using Point = CVertex<float, 3>;

TEST(PointList, NearestVertexIsTheFirstWithinElseTheNearestOverall)
{
    COffset_Grid grid(nullptr);
    CGridPoint *a = gridPoint(0, 0), *b = gridPoint(1, 0), *c = gridPoint(1.1f, 0);
    COffset_PointList* pl = polyLine(grid, {a, b, c});
    struct Case {
        float x;
        double maxDist;
        bool within;
        CVertex<float, 3>* found;
        double dist;
    } cases[] = {{1.08f, 0.2, true, b, 0.08},   // c is nearer, b comes first
                 {1.08f, 0.01, false, c, 0.02}, // none within: the nearest
                 {-3.f, 1.0, false, a, 3.0}};
    for (const Case& k : cases) {
        CVertex<float, 3>* found = nullptr;
        double dist = 0.0;
        EXPECT_EQ(pl->findNearestVertex(Point(k.x, 0, 0), k.maxDist, found, dist, false), k.within);
        EXPECT_EQ(found, k.found) << k.x;
        EXPECT_NEAR(dist, k.dist, 1e-6);
    }
    COffset_PointList empty(&grid);
    CVertex<float, 3>* found = a;
    double dist = 0.0;
    EXPECT_FALSE(empty.findNearestVertex(Point(0, 0, 0), 1.0, found, dist, false));
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(dist, FLT_MAX);

    // Over the grid: the point within and its poly-line; a miss reports the
    // nearest point beyond with its own poly-line.
    CGridPoint* far = gridPoint(5, 5);
    COffset_PointList* other = polyLine(grid, {far});
    COffset_PointList* at = nullptr;
    CVertex<float, 3>* beyond = nullptr;
    EXPECT_EQ(grid.findNearestVertex(Point(1.08f, 0, 0), 0.2, &at, false, &beyond), b);
    EXPECT_EQ(at, pl);
    EXPECT_EQ(grid.findNearestVertex(Point(5, 4.5f, 0), 0.2, &at, false, &beyond), nullptr);
    EXPECT_EQ(beyond, far);
    EXPECT_EQ(at, other);
}

TEST(PointList, DirectionIsTakenAtTheLastOccurrence)
{
    COffset_Grid grid(nullptr);
    CGridPoint *a = gridPoint(0, 0), *b = gridPoint(0, 2), *c = gridPoint(3, 0),
               *d = gridPoint(9, 9);
    COffset_PointList* pl = polyLine(grid, {a, b, a, c});
    EXPECT_EQ(useCountOf(a), 2); // a point twice in one poly-line
    struct Case {
        CVertex<float, 3>* v;
        int result;
        float x, y;
    } cases[] = {{a, 1, 3.f / std::sqrt(13.f), -2.f / std::sqrt(13.f)}, // (a - b) + (c - a)
                 {c, 2, 1.f, 0.f},
                 {b, 1, 0.f, 0.f},   // there and back: no direction
                 {d, -1, 0.f, 1.f}}; // absent: out kept (then normalised)
    for (const Case& k : cases) {
        CVector<float, 3> out(0.f, 5.f, 0.f);
        EXPECT_EQ(pl->getDirectionAtVertex(k.v, out), k.result);
        EXPECT_NEAR(out.data[0], k.x, 1e-6);
        EXPECT_NEAR(out.data[1], k.y, 1e-6);
    }
    delete d;
}

// Use counts do not drift: a snap moves the use from the old point to the new
// one, every undo item restores the counts it changed, removing an absent
// point changes no count, and a point no poly-line uses goes to the grid.
TEST(PointList, UseCountsStayExactThroughEditsAndUndo)
{
    COffset_Grid grid(nullptr);
    CGridPoint *a = gridPoint(0, 0), *b = gridPoint(1, 0), *c = gridPoint(2, 0),
               *d = gridPoint(1, 1), *x = gridPoint(7, 7);
    COffset_PointList* pl = polyLine(grid, {a, b, c});
    COffset_PointList* other = polyLine(grid, {c, gridPoint(2, 2)});

    ASSERT_TRUE(pl->snapVertex(b, d));
    EXPECT_EQ(pl->vertices[1], d);
    EXPECT_EQ(useCountOf(b), 0);
    EXPECT_EQ(useCountOf(d), 1);
    EXPECT_EQ(grid.pointSet.count, 1); // b waits in the grid's set
    grid.undoList[grid.undoList.count - 1]->undo(&grid);
    EXPECT_EQ(pl->vertices[1], b);
    EXPECT_EQ(useCountOf(b), 1);
    EXPECT_EQ(useCountOf(d), 0);
    EXPECT_TRUE(b->changed);

    EXPECT_FALSE(pl->removeVertex(x));
    EXPECT_EQ(useCountOf(x), 0);
    EXPECT_TRUE(pl->removeVertex(c));
    EXPECT_EQ(useCountOf(c), 1);
    pl->appendVertex(c);

    // A removed poly-line gives its uses back until its undo returns it.
    ASSERT_TRUE(grid.removePointList(other, true));
    EXPECT_EQ(useCountOf(c), 1);
    auto* item = dynamic_cast<CUndoRemovePointList*>(grid.undoList[grid.undoList.count - 1]);
    ASSERT_NE(item, nullptr);
    item->undo(&grid);
    EXPECT_EQ(grid.indexOfPointList(other), 1);
    EXPECT_EQ(grid.currentPointList, other);
    EXPECT_NE(grid.displayContainer.findEntity(displayKeyOf(*other)), nullptr);
    EXPECT_EQ(useCountOf(c), 2);
    grid.recountUse();
    EXPECT_EQ(useCountOf(c), 2);
    EXPECT_EQ(useCountOf(a), 1);
    delete x; // never entered a poly-line: not the grid's

    // The entries given back by a vertex list's undo are changed where their
    // neighbours differ, and so is the point it takes out; the stretch it
    // leaves as it stood is not (the faces along it keep their surfaces).
    CUndoVertexList before(pl);
    CGridPoint* junction = gridPoint(1.5, 0);
    pl->removeVertex(c);
    pl->appendVertex(junction);
    pl->appendVertex(c);
    for (CGridPoint* p : {a, b, c, junction})
        p->changed = false;
    before.undo(&grid);
    EXPECT_EQ(pl->getCount(), 3);
    EXPECT_EQ(std::vector<bool>({a->changed, b->changed, c->changed, junction->changed}),
              std::vector<bool>({false, true, true, true}));
}

TEST(PointList, LockedCurveSurvivesRemoveSnapAndUndo)
{
    COffset_Grid grid(nullptr);
    CGridPoint *a = gridPoint(0, 0), *b = gridPoint(1, 0), *c = gridPoint(2, 0);
    COffset_PointList* pl = polyLine(grid, {a, b, c});
    Kor::List<double> t;
    for (double v : {0.0, 0.5, 1.0})
        t.append(v);
    auto* curve = clampedCurve({Vector(0, 0, 0), Vector(2, 0, 0)}, 1).release();
    pl->setCurve(curve, t, 0, 2);
    pl->setCurve(curve, t, 0, 2); // the same curve again stays
    ASSERT_TRUE(pl->hasValidCurve());

    pl->modified = false;
    EXPECT_TRUE(pl->snapVertex(b, gridPoint(1, 1)));
    grid.undoList[grid.undoList.count - 1]->undo(&grid);
    EXPECT_TRUE(pl->removeVertex(c));
    ASSERT_TRUE(grid.removePointList(pl, false));
    EXPECT_EQ(pl->getCurve(), curve);
    EXPECT_EQ(pl->parameters.count, 3);
    EXPECT_FALSE(pl->dropCurve());

    // Unlocked, any change drops the curve and marks the poly-line.
    COffset_PointList* loose = polyLine(grid, {gridPoint(0, 5), gridPoint(1, 5)});
    loose->setCurve(clampedCurve({Vector(0, 5, 0), Vector(1, 5, 0)}, 1).release(), t, 0, 1);
    loose->setCurveLocked(false);
    loose->modified = false;
    EXPECT_TRUE(loose->removeVertex(loose->vertices[1]));
    EXPECT_EQ(loose->getCurve(), nullptr);
    EXPECT_TRUE(loose->modified);
}

// setCurve with a new curve releases the one it replaces (leak checker).
TEST(PointList, SetCurveReleasesTheCurveItReplaces)
{
    COffset_PointList pl(nullptr);
    Kor::List<double> t;
    for (int k = 0; k < 3; ++k) {
        t.append(k);
        pl.setCurve(clampedCurve({Vector(0, 0, 0), Vector(k + 1, 0, 0)}, 1).release(), t, 1, 0);
    }
    EXPECT_EQ(pl.parameters.count, 0); // first > last takes none
    EXPECT_TRUE(pl.curveLocked);
}

TEST(PointList, RollBackAndCommitOfThePendingPoint)
{
    COffset_Grid grid(nullptr);
    CGridPoint *a = gridPoint(0, 0), *j = gridPoint(1, 0), *p = gridPoint(2, 0),
               *e = gridPoint(1, 1);
    polyLine(grid, {a, j});
    COffset_PointList* pl = polyLine(grid, {e, j, p});

    // A pending junction: only this poly-line's entry goes.
    pl->pendingVertex = j;
    std::string out = mwtest::capturedStdout([&] { EXPECT_TRUE(pl->RollBack()); });
    EXPECT_EQ(out, "uups, RollBack:: deleting a used Vertex! \n");
    EXPECT_EQ(pl->getCount(), 2);
    EXPECT_EQ(useCountOf(j), 1);
    EXPECT_EQ(grid.firstPointListAt(j)->getCount(), 2);
    EXPECT_FALSE(pl->RollBack());

    // A pending point of its own goes to the grid, and its closing with it.
    pl->pendingVertex = p;
    pl->closed = pl->closedByPending = true;
    out = mwtest::capturedStdout([&] { EXPECT_TRUE(pl->RollBack()); });
    EXPECT_EQ(out, "");
    EXPECT_FALSE(pl->closed);
    EXPECT_EQ(grid.pointSet.count, 1);
    // So on one that runs back to its first point, which lost its last entry.
    COffset_PointList* back = polyLine(grid, {e, a, gridPoint(2, 2), e, p});
    back->pendingVertex = p;
    back->closed = back->closedByPending = true;
    EXPECT_TRUE(back->RollBack());
    EXPECT_EQ(back->getCount(), 4);
    // So when another poly-line is made current: the point that follows the
    // cursor is the drawn one's, and closed it for the topology step.
    CGridPoint* q = gridPoint(3, 3);
    back->appendVertex(q);
    back->pendingVertex = q;
    back->closed = back->closedByPending = true;
    grid.currentPointList = back;
    grid.setCurrentPointList(pl);
    EXPECT_FALSE(back->closed);
    EXPECT_EQ(back->getCount(), 4);

    // Committing at the front records an insertion; its undo marks the new
    // first entry changed.
    pl->appendVertex(p);
    pl->vertices[0] = p; // p first, e second
    pl->vertices[1] = e;
    for (CVertex<float, 3>* v : pl->vertices)
        static_cast<CGridPoint*>(v)->changed = false;
    pl->pendingVertex = p;
    pl->commitPending();
    EXPECT_EQ(grid.selectedPoint, p);
    ASSERT_NE(dynamic_cast<CUndoInsert*>(grid.undoList[0]), nullptr);
    grid.undoList[0]->undo(&grid);
    EXPECT_EQ(pl->getCount(), 1);
    EXPECT_TRUE(static_cast<CGridPoint*>(pl->vertices[0])->changed);
    EXPECT_EQ(useCountOf(p), 0);
}

// The pick compares the distance across the ray itself, not its square.
TEST(PointList, CurvePickComparesTheTrueDistanceNotItsSquare)
{
    COffset_PointList pl(nullptr);
    Kor::List<double> t;
    for (double v : {0.0, 0.5, 1.0})
        t.append(v);
    pl.setCurve(clampedCurve({Vector(0, 0, 0), Vector(4, 0, 0)}, 1).release(), t, 0, 2);
    const Point origin(2.5f, 0.5f, 10.f);
    const CVector<float, 3> down(0.f, 0.f, -1.f);
    double dist = 0.0;
    EXPECT_FALSE(pl.pickCurveAlongRay(origin, down, 0.3, dist)); // 0.5 away; its square 0.25
    EXPECT_NEAR(dist, 0.5, 1e-6);
    EXPECT_TRUE(pl.pickCurveAlongRay(origin, down, 0.6, dist));
    EXPECT_NEAR(pl.pickedParameter, 0.625, 1e-5);

    COffset_PointList single(nullptr);
    Kor::List<double> one;
    one.append(0.0);
    single.setCurve(clampedCurve({Vector(0, 0, 0), Vector(4, 0, 0)}, 1).release(), one, 0, 0);
    EXPECT_FALSE(single.pickCurveAlongRay(origin, down, 100.0, dist));
    EXPECT_EQ(dist, FLT_MAX);
}

TEST(PointList, DumpPrintsJunctionsAndPoints)
{
    COffset_Grid grid(nullptr);
    CGridPoint* j = gridPoint(1, 2, 3);
    polyLine(grid, {j, gridPoint(0.5f, 0.25f, 0)});
    COffset_PointList* pl = polyLine(grid, {gridPoint(-1, 0, 0), j});
    const std::string out = mwtest::capturedStdout([&] { EXPECT_TRUE(PointList_Dump(*pl)); });
    EXPECT_EQ(out, "   0:  Point\n"
                   "      -1.000 0.000  0.000\n"
                   "   1:  Vertex, Usecount: 2\n"
                   "      1.000 2.000  3.000\n");
}

} // namespace
