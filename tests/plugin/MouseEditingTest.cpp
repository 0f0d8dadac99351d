// Mouse editing of the grid in the host: clicks, drags and moves replayed
// as the user's events in the offscreen view, the undo records they leave,
// the context menu, the feedback of moves, and four poly-lines drawn around
// a region of a bump that the net turns into a face.
#include "MeshwrightHost.h"

#include "fitting/FitFixtures.h"
#include "mesh/GridPoint.h"
#include "net/SurfaceNet.h"

#include <cmath>
#include <sstream>

namespace {

// The pixel of a world point in the active view.
std::string at(double x, double y)
{
    double sx = 0.0, sy = 0.0;
    VezadApp().ActiveView()->ActiveViewport().worldToScreen(ON_3dPoint(x, y, 0.0), sx, sy);
    return std::to_string(std::lround(sx)) + " " + std::to_string(std::lround(sy));
}

// A click at a world point after the cursor moved there.
std::string click(double x, double y, const std::string& extra = "")
{
    return "!mouse move " + at(x, y) + "\n!mouse down left " + at(x, y) + extra +
           "\n!mouse up left " + at(x, y) + "\n";
}

// A press at (x, y) released over (tx, ty).
std::string drag(double x, double y, double tx, double ty)
{
    return "!mouse move " + at(x, y) + "\n!mouse down left " + at(x, y) + "\n!mouse move " +
           at(tx, ty) + "\n!mouse up left " + at(tx, ty) + "\n";
}

// Four poly-lines around the square of corners (cx +- h, cy +- h), clicked
// at the corners and side middles while the rubber band follows the cursor.
// A poly-line cannot turn a corner, so sides two to four start 20 pixels
// beside their corner and are dragged onto it, as is the last point onto
// the first corner.
std::string squareScript(double h, double cx = 0.0, double cy = 0.0)
{
    double scale = 1.0;
    VezadApp().ActiveView()->ActiveViewport().VP().GetWorldToScreenScale(ON_3dPoint(cx, cy, 0),
                                                                         &scale);
    const double d = 20.0 / scale;
    const double l = cx - h, r = cx + h, b = cy - h, t = cy + h;
    return click(l, b) + click(cx, b) + click(r, b) + drag(r, b + d, r, b) + click(r, cy) +
           click(r, t) + drag(r - d, t, r, t) + click(cx, t) + click(l, t) + drag(l, t - d, l, t) +
           click(l, cy) + drag(l, b + d, l, b);
}

bool near(const CVertex<float, 3>* p, double x, double y)
{
    return p != nullptr && std::fabs(p->data[0] - x) < 1e-3 && std::fabs(p->data[1] - y) < 1e-3;
}

class MouseEditing : public MeshwrightHost {
protected:
    GB::CSurfaceNet& net() { return plugIn().net; }

    void SetUp() override
    {
        MeshwrightHost::SetUp();
        addMeshObject();
        ASSERT_EQ(command("_MWEditGrid"), 0);
    }

    // The enabled ids of the context menu opened last.
    std::string lastMenu() const
    {
        const std::string text = transcript();
        const std::size_t from = text.rfind("enabled:");
        return from == std::string::npos ? "" : text.substr(from, text.find(" ->", from) - from);
    }
};

TEST_F(MouseEditing, ClicksDrawAPolyLineEveryPressIsARecordAndUndoGoesBackToItsMark)
{
    const int records = doc().undoRecordCount();
    ASSERT_TRUE(hosttest::passes(run(click(-0.5, 0.1) + click(0.0, 0.1))));
    ASSERT_TRUE(hosttest::passes(
        run("!mouse move " + at(0.5, 0.1) + "\n!mouse down left " + at(0.5, 0.1))));
    EXPECT_EQ(doc().newestUndoRecordName(), L"MW LButtonDown");
    ASSERT_TRUE(hosttest::passes(mouse("up left " + at(0.5, 0.1))));
    EXPECT_EQ(doc().newestUndoRecordName(), L"MW LButtonUp");
    // A right click away from the grid points is left to the host.
    ASSERT_TRUE(hosttest::passes(run("!mouse move " + at(0.5, -0.6) + "\n!mouse down right " +
                                     at(0.5, -0.6) + "\n!mouse up right " + at(0.5, -0.6))));
    EXPECT_EQ(doc().newestUndoRecordName(), L"MW RButtonDown");
    EXPECT_EQ(doc().undoRecordCount(), records + 7);

    ASSERT_EQ(net().getNumPointLists(), 1);
    const COffset_PointList* line = net().pointLists[0];
    ASSERT_EQ(line->getCount(), 3);
    EXPECT_FALSE(line->hasPending());
    EXPECT_TRUE(near(line->vertices[0], -0.5, 0.1));
    EXPECT_TRUE(near(line->vertices[1], 0.0, 0.1));
    EXPECT_TRUE(near(line->vertices[2], 0.5, 0.1));

    // Each undo rolls the grid back to the newest mark that holds edits:
    // the right press changed nothing, so the third press goes first.
    EXPECT_EQ(command("_Undo"), 0);
    ASSERT_EQ(net().pointLists[0]->getCount(), 2);
    EXPECT_TRUE(near(net().pointLists[0]->vertices[1], 0.0, 0.1));
    EXPECT_EQ(command("_Undo"), 0);
    ASSERT_EQ(net().pointLists[0]->getCount(), 1);
    EXPECT_TRUE(near(net().pointLists[0]->vertices[0], -0.5, 0.1));
}

TEST_F(MouseEditing, ModifierClicksGoToTheHostOrTheViewAndAltRightToTheNet)
{
    ASSERT_TRUE(hosttest::passes(run(click(-0.5, 0.0) + click(0.0, 0.0))));
    const int records = doc().undoRecordCount();
    // Shift and Ctrl clicks are the host's: it selects the mesh object.
    ASSERT_TRUE(hosttest::passes(mouse("down left " + at(0.5, 0.5) + " shift")));
    ASSERT_TRUE(hosttest::passes(mouse("down left " + at(0.5, 0.5) + " ctrl")));
    EXPECT_EQ(doc().undoRecordCount(), records);
    EXPECT_EQ(net().pointLists[0]->getCount(), 2);

    // "Y" held: the view looks at the clicked point; the grid stays.
    ASSERT_TRUE(hosttest::passes(mouse("down left " + at(0.5, 0.5) + " key=Y")));
    EXPECT_EQ(doc().newestUndoRecordName(), L"MW LButtonDown");
    const ON_3dPoint target = view().ActiveViewport().Target();
    EXPECT_NEAR(target.x, 0.5, 1e-3);
    EXPECT_NEAR(target.y, 0.5, 1e-3);
    EXPECT_EQ(net().pointLists[0]->getCount(), 2);

    // Alt with a right click on an end point: the net's own right-button
    // edit removes it.
    ASSERT_TRUE(hosttest::passes(mouse("up left " + at(0.5, 0.5))));
    ASSERT_TRUE(hosttest::passes(mouse("down right " + at(0.5, 0.5))));
    ASSERT_TRUE(hosttest::passes(mouse("down right " + at(0.0, 0.0) + " alt")));
    EXPECT_EQ(net().pointLists[0]->getCount(), 1);
}

TEST_F(MouseEditing, ContextMenuOffersWhatFitsTheSelection)
{
    // A second poly-line ends beside the first one's middle point.
    ASSERT_TRUE(hosttest::passes(
        run(click(-0.5, 0.0) + click(0.0, 0.0) + click(0.5, 0.0) + click(0.0, -0.6))));
    ASSERT_TRUE(hosttest::passes(run(click(0.0, -0.3))));
    ASSERT_EQ(net().getNumPointLists(), 2);

    // Hovering over a grid point of the other poly-line selects it on its
    // segment: a click offers activate, snap, insert and split.
    ASSERT_TRUE(hosttest::passes(mouse("move " + at(0.0, 0.0))));
    ASSERT_NE(net().getSelectedSegmentList(), nullptr);
    // "activate" reaches the menu handler: the hovered poly-line goes on.
    ASSERT_EQ(net().currentPointList, net().pointLists[1]);
    ASSERT_TRUE(hosttest::passes(mouse("down left " + at(0.0, 0.0) + " menu:33023")));
    EXPECT_EQ(lastMenu(), "enabled: 33023 33019 33024 33020");
    EXPECT_EQ(doc().newestUndoRecordName(), L"MW LButtonDown");
    EXPECT_EQ(net().currentPointList, net().pointLists[0]);

    // A grid point selected away from the current poly-line while a snap
    // target waits: activate or snap.
    net().clearSelectedPointOnSegment();
    net().highlightPoint(net().pointLists[0]->vertices[0]);
    net().setCurrentPointList(net().pointLists[1]);
    net().lastSnappedPoint = dynamic_cast<Gridbench::CGridPoint*>(net().pointLists[1]->vertices[0]);
    ASSERT_TRUE(hosttest::passes(mouse("down left " + at(0.9, 0.9))));
    EXPECT_EQ(lastMenu(), "enabled: 33023 33019");
    net().lastSnappedPoint = nullptr;
}

TEST_F(MouseEditing, MovesFollowTheCursorWithRadiusToolTipsAndReadOuts)
{
    ASSERT_TRUE(hosttest::passes(run(click(-0.5, 0.0) + click(0.0, 0.0) + click(0.5, 0.0))));
    COffset_PointList* line = net().pointLists[0];
    // The pending vertex follows the cursor at the poly-line's end.
    ASSERT_TRUE(hosttest::passes(mouse("move " + at(0.8, 0.0))));
    ASSERT_TRUE(line->hasPending());
    EXPECT_TRUE(near(line->pendingVertex, 0.8, 0.0));
    EXPECT_NE(itemText(plugIn().infoDialog, 6049).find(L"0.8"), std::wstring::npos);
    // Off the mesh: no read-out and no pending vertex.
    ASSERT_TRUE(hosttest::passes(mouse("move 2 2")));
    EXPECT_FALSE(line->hasPending());
    EXPECT_EQ(itemText(plugIn().infoDialog, 6049), L"");

    // Over the middle point a right click would split, over an end where two
    // poly-lines meet it would join.
    ASSERT_TRUE(hosttest::passes(mouse("move " + at(0.0, 0.0))));
    EXPECT_EQ(VezadApp().CursorToolTip(), L"RButton:Split");
    ASSERT_TRUE(hosttest::passes(run(drag(0.5, 0.17, 0.5, 0.0) + click(0.5, 0.6))));
    ASSERT_EQ(net().getNumPointLists(), 2);
    ASSERT_TRUE(hosttest::passes(mouse("down right " + at(0.9, -0.9))));
    ASSERT_TRUE(hosttest::passes(mouse("move " + at(0.5, 0.0))));
    EXPECT_EQ(VezadApp().CursorToolTip(), L"RButton:Join");

    // While the net is busy a release leaves the grid alone: no record.
    const int records = doc().undoRecordCount();
    net().busy = true;
    ASSERT_TRUE(hosttest::passes(mouse("up left " + at(0.5, 0.0))));
    net().busy = false;
    EXPECT_EQ(doc().undoRecordCount(), records);

    // At 3 pixels per unit the 15-pixel pick radius is 5 units.
    view().ActiveViewport().VP().SetFrustum(-160.0 / 3.0, 160.0 / 3.0, -40.0, 40.0, 0.1, 1000.0);
    ASSERT_TRUE(hosttest::passes(mouse("move 161 121")));
    EXPECT_NEAR(net().getPickRadius(), 5.0, 1e-9);
}

// The main road: the mesh file loaded, the net's tolerance t set with
// online face computation, the square of half-size h about (cx, cy) drawn;
// the net finds one four-sided face whose surface it fits. The distances of
// the mesh vertices above the height `above` over the inner part of the
// square from that surface, ascending.
class MainRoad : public MeshwrightHost {
protected:
    std::vector<double> fitOnRoad(const std::string& file, double t, double h, double cx, double cy,
                                  double above);
};

std::vector<double> MainRoad::fitOnRoad(const std::string& file, double t, double h, double cx,
                                        double cy, double above)
{
    GB::CSurfaceNet& net = MeshwrightPlugIn().net;
    std::ostringstream options;
    options << "_MWOptions RMS_of_Mesh=" << t << " Online_Face_Computation=Yes OK Cancel";
    // The square's pixels follow the view the load zoomed.
    EXPECT_TRUE(hosttest::passes(run("_MWLoadMesh File=Yes file:" + file + "\n" + options.str())));
    EXPECT_TRUE(hosttest::passes(run(squareScript(h, cx, cy))));
    EXPECT_FALSE(net.draftOnly);
    EXPECT_EQ(net.surfaceTolerance, t);
    EXPECT_EQ(net.getNumPointLists(), 4);
    Kor::List<Fenwo::NurbsSurf*> surfaces;
    if (net.firstFace == nullptr || net.firstFace->next != nullptr ||
        net.firstFace->firstLoop->getCycleLength() != 4 || net.getSurfaces(surfaces) != 1) {
        ADD_FAILURE() << "no four-sided face with its surface";
        return {};
    }
    auto* mesh = dynamic_cast<CFlatMesh*>(net.mesh);
    const double inner = h - 0.05;
    return fitfix::vertexDistances(*mesh, *surfaces[0], [&](const Vector& p) {
        return std::fabs(p[0] - cx) < inner && std::fabs(p[1] - cy) < inner && p[2] > above;
    });
}

TEST_F(MainRoad, FitsTheFaceDrawnWithTheMouseOnABump)
{
    // A bump z = 0.3 exp(-r^2 / 0.25) on 40 x 40 cells over [-1, 1]^2.
    const double t = 0.01;
    const std::vector<double> d =
        fitOnRoad(writeBumpStl("bump.stl", 40, 0.3, 0.5), t, 0.5, 0.0, 0.0, -1.0);
    ASSERT_GT(d.size(), 300u);
    EXPECT_LE(d[d.size() * 98 / 100], 1.05 * t);
    EXPECT_LE(d.back(), 3.0 * t);
    assertNoUnansweredPrompts();
}

TEST_F(MainRoad, FitsTheFaceDrawnWithTheMouseOnTheRealSphere)
{
    MW_REQUIRE_REAL_FILE(path, "stl", "sphereWithHole.stl");
    const double t = 0.05;
    const std::vector<double> d = fitOnRoad(path, t, 0.75, 1.5, 1.5, 1.5);
    ASSERT_GE(d.size(), 5u);
    EXPECT_LE(d.back(), t);
    assertNoUnansweredPrompts();
}

} // namespace
