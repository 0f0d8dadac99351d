// The grid base: change notifications, the question before deleting, poly-lines
// by index, splitting, junction tests, removing and the small helpers.
#include "net/OffsetGrid.h"
#include "geometry/NurbsSurf.h"
#include "mesh/GridPoint.h"
#include "platform/MessageBox.h"

#include "support/GridFixtures.h"
#include "support/NurbsFixtures.h"
#include "support/TestMeshes.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <string>
#include <vector>

namespace {

using Gridbench::CGridPoint;
using mwtest::gridPoint;
using mwtest::NotificationCounter;
using mwtest::polyLine;
using Point = CVertex<float, 3>;

TEST(OffsetGrid, ModeDepthTestAndRedisplayNotifyOnlyOnChange)
{
    NotificationCounter sent;
    COffset_Grid grid(nullptr);
    EXPECT_FALSE(grid.notify()); // no window yet
    grid.setNotifyWindow(mwtest::testWindow(), 0);
    EXPECT_FALSE(grid.notify()); // no message id
    grid.setNotifyWindow(mwtest::testWindow(), 0x8001);
    EXPECT_TRUE(grid.notify());
    EXPECT_EQ(sent.take(), 1);

    struct Case {
        int mode;
        bool constrained, coons;
        int notices;
    } cases[] = {{1, true, false, 1},  {1, true, false, 0}, {2, false, true, 1},
                 {3, false, false, 1}, {1, true, false, 1}, {0, false, false, 1}};
    for (const Case& k : cases) {
        grid.setMode(k.mode);
        EXPECT_EQ(grid.constrainedStart, k.constrained) << k.mode;
        EXPECT_EQ(grid.directCoons, k.coons) << k.mode;
        EXPECT_EQ(sent.take(), k.notices) << k.mode;
    }
    grid.showPointLists = false; // a mode change shows the poly-lines again
    grid.setMode(2);
    EXPECT_TRUE(grid.showPointLists);
    EXPECT_EQ(sent.take(), 2);

    EXPECT_FALSE(grid.setDepthTest(false));
    EXPECT_EQ(sent.take(), 0);
    EXPECT_TRUE(grid.setDepthTest(true));
    EXPECT_EQ(sent.take(), 1);

    // redisplayCurrent notifies for one poly-line showing one point only.
    COffset_PointList* one = polyLine(grid, {gridPoint(0, 0)});
    EXPECT_EQ(grid.redisplayCurrent(true), 0);
    grid.currentPointList = one;
    EXPECT_EQ(grid.redisplayCurrent(true), 1);
    EXPECT_EQ(sent.take(), 1);
    one->appendVertex(gridPoint(1, 0));
    EXPECT_EQ(grid.redisplayCurrent(true), 2);
    EXPECT_EQ(sent.take(), 0);
    one->removeVertex(one->vertices[1]);
    polyLine(grid, {gridPoint(5, 5)});
    EXPECT_EQ(grid.redisplayCurrent(true), 1);
    EXPECT_EQ(sent.take(), 0);
}

TEST(OffsetGrid, DeleteAllAnsweredNoChangesNothing)
{
    NotificationCounter sent;
    std::vector<std::string> asked;
    Platform::MessageBoxAnswer answer = Platform::MessageBoxAnswer::No;
    auto previous = Platform::setMessageBoxHandler(
        [&](const std::string& text, Platform::MessageBoxButtons buttons) {
            asked.push_back(text);
            EXPECT_EQ(buttons, Platform::MessageBoxButtons::YesNo);
            return answer;
        });
    COffset_Grid grid(nullptr);
    grid.setNotifyWindow(mwtest::testWindow(), 7);
    EXPECT_EQ(grid.deleteAll(true), 0); // nothing to ask about
    EXPECT_TRUE(asked.empty());
    CGridPoint* shared = gridPoint(1, 0);
    polyLine(grid, {gridPoint(0, 0), shared});
    COffset_PointList* second = polyLine(grid, {shared, gridPoint(2, 0)});
    grid.removePointList(second, true);
    grid.highlightPoint(shared);
    sent.take();

    EXPECT_EQ(grid.deleteAll(true), 0);
    EXPECT_EQ(grid.getNumPointLists(), 1);
    EXPECT_EQ(grid.undoList.count, 1);
    EXPECT_EQ(sent.take(), 0);
    answer = Platform::MessageBoxAnswer::Yes;
    EXPECT_EQ(grid.deleteAll(true), 1);
    EXPECT_EQ(asked, std::vector<std::string>(2, "delete all point lists ?"));
    EXPECT_EQ(grid.getNumPointLists(), 0);
    EXPECT_EQ(grid.undoList.count, 0);
    EXPECT_EQ(grid.selectedPoint, nullptr);
    EXPECT_EQ(grid.displayContainer.findEntityByName("SelectedPoint"), nullptr);
    EXPECT_EQ(sent.take(), 1);
    Platform::setMessageBoxHandler(previous);
}

// An index wraps round the poly-lines; without any there is none (no
// division by zero), and a pointer counts only when it is the grid's.
TEST(OffsetGrid, PointListByIndexNeverDividesByZero)
{
    COffset_Grid grid(nullptr);
    EXPECT_EQ(grid.getPointList(5), nullptr);
    EXPECT_FALSE(grid.selectPointList(0));
    COffset_PointList* lists[3];
    for (int k = 0; k < 3; ++k)
        lists[k] = polyLine(grid, {gridPoint(float(k), 0)});
    EXPECT_EQ(grid.getPointList(5), lists[2]);
    EXPECT_EQ(grid.getPointList(-1), lists[2]);
    EXPECT_EQ(grid.getPointList(3), lists[0]);
    COffset_PointList foreign(nullptr);
    EXPECT_FALSE(grid.selectPointList(&foreign));
    EXPECT_TRUE(grid.selectPointList(lists[1]));
    EXPECT_EQ(grid.currentPointList, lists[1]);
    EXPECT_FALSE(grid.addPointList(lists[1]));
    EXPECT_EQ(grid.getNextPointListNumber(), 4);
}

// A split keeps the split point in both halves; with the option flag, or on
// a closed poly-line (whose closing segment would be lost otherwise), the
// second half runs on to the first point.
TEST(OffsetGrid, SplitKeepsTheSplitPointInBothHalves)
{
    for (int variant : {0, 1, 2}) {
        const bool option = variant == 1, closed = variant == 2, wraps = option || closed;
        COffset_Grid grid(nullptr);
        CGridPoint* p[5];
        for (int k = 0; k < 5; ++k)
            p[k] = gridPoint(float(k), 0.f);
        COffset_PointList* pl = polyLine(grid, {p[0], p[1], p[2], p[3], p[4]});
        pl->optionFlag = option;
        pl->closed = closed;
        Kor::List<double> t;
        for (int k = 0; k < 5; ++k)
            t.append(0.25 * k);
        pl->setCurve(
            clampedCurve({Vector(0, 0, 0), Vector(1, 1, 0), Vector(3, -1, 0), Vector(4, 0, 0)}, 3)
                .release(),
            t, 0, 4);
        const Point copyOfSplitPoint(*p[2]); // found by position
        ASSERT_TRUE(grid.splitPointList(&copyOfSplitPoint, nullptr));
        ASSERT_EQ(grid.getNumPointLists(), 2);
        COffset_PointList* a = grid.getPointList(0);
        COffset_PointList* b = grid.getPointList(1);
        EXPECT_EQ(grid.currentPointList, a);
        EXPECT_EQ(a->getCount(), 3);
        EXPECT_EQ(b->getCount(), wraps ? 4 : 3);
        EXPECT_EQ(a->vertices[2], p[2]);
        EXPECT_EQ(b->vertices[0], p[2]);
        EXPECT_EQ(b->vertices[b->getCount() - 1], wraps ? p[0] : p[4]);
        EXPECT_EQ(useCountOf(p[2]), 2);
        EXPECT_EQ(useCountOf(p[4]), 1);
        auto* ca = dynamic_cast<Fenwo::NurbsSurf*>(a->getCurve());
        auto* cb = dynamic_cast<Fenwo::NurbsSurf*>(b->getCurve());
        ASSERT_TRUE(ca != nullptr && cb != nullptr);
        auto* whole = dynamic_cast<Fenwo::NurbsSurf*>(pl->getCurve());
        const Vector joint = whole->getPoint(0.5, 0.0);
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(ca->getEndPoint()[c], cb->getStartPoint()[c], 1e-9);
            EXPECT_NEAR(ca->getEndPoint()[c], joint[c], 1e-9);
        }
        EXPECT_EQ(b->parameters.count, 3);
    }
    COffset_Grid grid(nullptr);
    const Point nowhere(9, 9, 9);
    EXPECT_FALSE(grid.splitPointList(&nowhere, nullptr));
}

TEST(OffsetGrid, JunctionsCrossingsAndTheStemTangent)
{
    COffset_Grid grid(nullptr);
    CGridPoint *w = gridPoint(-1, 0), *m = gridPoint(0, 0), *e = gridPoint(1, 0),
               *s = gridPoint(0, -2), *n = gridPoint(0, 1);
    COffset_PointList* across = polyLine(grid, {w, m, e});
    polyLine(grid, {s, m}); // ends inside `across`
    EXPECT_TRUE(grid.isTJunction(m));
    EXPECT_FALSE(grid.isCrossing(m));
    CVector<float, 3> stem;
    ASSERT_TRUE(grid.getStemTangent(m, stem));
    EXPECT_NEAR(stem.data[1], 1.0f, 1e-6); // from the stem into the junction
    COffset_PointList* interior = nullptr;
    int count = 0;
    EXPECT_TRUE(grid.findListsAtVertex(m, &interior, count));
    EXPECT_EQ(interior, across);
    EXPECT_EQ(count, 2);

    // The stem drawn the other way gives the same tangent.
    COffset_Grid reversed(nullptr);
    CGridPoint *m2 = gridPoint(0, 0), *s2 = gridPoint(0, -2);
    polyLine(reversed, {gridPoint(-1, 0), m2, gridPoint(1, 0)});
    polyLine(reversed, {m2, s2});
    ASSERT_TRUE(reversed.getStemTangent(m2, stem));
    EXPECT_NEAR(stem.data[1], 1.0f, 1e-6);

    // A third poly-line through the junction: no stem of use count 2.
    polyLine(grid, {gridPoint(0, 3), n, m, gridPoint(0, -5)});
    EXPECT_FALSE(grid.getStemTangent(m, stem));
    EXPECT_TRUE(grid.isCrossing(m)); // inside the first and the last poly-line
    // Two poly-lines meeting end to end: neither; both ends in the other.
    COffset_Grid corner(nullptr);
    CGridPoint *a = gridPoint(0, 0), *b = gridPoint(1, 0), *c = gridPoint(1, 1);
    polyLine(corner, {a, b});
    polyLine(corner, {b, c, a});
    EXPECT_FALSE(corner.isTJunction(b) || corner.isCrossing(b));
    EXPECT_FALSE(corner.findListsAtVertex(b, &interior, count));
    EXPECT_EQ(count, 0);
}

TEST(OffsetGrid, SinglePointListsGoAndTheLastLineBecomesCurrent)
{
    NotificationCounter sent;
    COffset_Grid grid(nullptr);
    grid.setNotifyWindow(mwtest::testWindow(), 3);
    COffset_PointList* kept = polyLine(grid, {gridPoint(0, 0), gridPoint(1, 0)});
    COffset_PointList* single = polyLine(grid, {gridPoint(5, 5)});
    polyLine(grid, {gridPoint(6, 6)});
    COffset_PointList* last = polyLine(grid, {gridPoint(0, 1), gridPoint(1, 1)});
    grid.setCurrentPointList(single);
    grid.highlightPoint(single->vertices[0]);
    sent.take();
    EXPECT_EQ(grid.removeSinglePointLists(), 0);
    EXPECT_EQ(grid.getNumPointLists(), 2);
    EXPECT_EQ(grid.selectedPoint, nullptr);
    EXPECT_GE(sent.take(), 2);
    EXPECT_EQ(grid.undoList.count, 2);

    grid.setCurrentPointList(kept);
    EXPECT_TRUE(grid.deleteCurrentPointList());
    EXPECT_EQ(grid.currentPointList, last);
    EXPECT_TRUE(grid.deleteCurrentPointList());
    EXPECT_EQ(grid.currentPointList, nullptr);
    EXPECT_FALSE(grid.deleteCurrentPointList());
}

TEST(OffsetGrid, ChainsDistancesAndPointsAtOnePlace)
{
    Kor::List<Kor::List<int>> lists;
    for (std::vector<int> items : {std::vector<int>{1, 2, 3}, {3, 4, 5}, {5, 6, 1}}) {
        Kor::List<int> l;
        for (int v : items)
            l.append(v);
        lists.append(l);
    }
    CChainCursor cursor;
    cursor.lists = &lists;
    std::vector<int> walked;
    for (int k = 0; k < 9; ++k)
        walked.push_back(COffset_Grid::nextChainPoint(cursor));
    EXPECT_EQ(walked, (std::vector<int>{1, 2, 3, 4, 5, 6, 1, 0, 0}));

    const Point a(1, 1, 1), onLine(4, 1, 1), off(2, 4, 1);
    const CVector<float, 3> d(1, 0, 0);
    EXPECT_EQ(COffset_Grid::distanceToLine(&onLine, &a, &d), 0.f);
    EXPECT_FLOAT_EQ(COffset_Grid::distanceToLine(&off, &a, &d), 3.f);
    EXPECT_EQ(COffset_Grid::distanceToLine(&off, nullptr, &d), FLT_MAX);

    COffset_Grid grid(nullptr);
    CGridPoint first;
    first.data[1] = 2.f;
    CGridPoint second(first);
    EXPECT_EQ(mwtest::capturedStdout([&] {
                  EXPECT_TRUE(grid.registerGridPoint(&first));
                  EXPECT_TRUE(grid.registerGridPoint(&first));
                  EXPECT_TRUE(grid.registerGridPoint(&second));
                  EXPECT_FALSE(grid.registerGridPoint(nullptr));
              }),
              "double delete! a Vertex \n");
    grid.unregisterGridPoint(&first);
    EXPECT_EQ(grid.pointSet.count, 0);
}

} // namespace
