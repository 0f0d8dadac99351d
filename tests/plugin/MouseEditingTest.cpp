// Mouse editing of the grid in the host: clicks, drags and moves replayed
// as the user's events in the offscreen view, the undo records they leave,
// the context menu, the feedback of moves, and four poly-lines drawn around
// a region of a bump that the net turns into a face.
#include "MeshwrightHost.h"

#include "fitting/FitFixtures.h"
#include "mesh/GridPoint.h"
#include "net/SurfaceNet.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
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
// at the corners and at `inner` points along each side while the rubber band
// follows the cursor; the inner points but the last wander off the side by
// +-wander, alternately. A poly-line cannot turn a corner, so sides two to four start
// 20 pixels beside their corner and are dragged onto it, as is the last
// point onto the first corner.
std::string squareScript(double h, double cx = 0.0, double cy = 0.0, int inner = 1,
                         double wander = 0.0)
{
    double scale = 1.0;
    VezadApp().ActiveView()->ActiveViewport().VP().GetWorldToScreenScale(ON_3dPoint(cx, cy, 0),
                                                                         &scale);
    const double d = 20.0 / scale;
    const double corner[5][2] = {
        {cx - h, cy - h}, {cx + h, cy - h}, {cx + h, cy + h}, {cx - h, cy + h}, {cx - h, cy - h}};
    std::string script;
    for (int side = 0; side < 4; ++side) {
        const double* a = corner[side];
        const double* b = corner[side + 1];
        const double ux = (b[0] - a[0]) / (2.0 * h), uy = (b[1] - a[1]) / (2.0 * h);
        script += side == 0 ? click(a[0], a[1]) : drag(a[0] + d * ux, a[1] + d * uy, a[0], a[1]);
        for (int k = 1; k <= inner; ++k) {
            const double t = double(k) / (inner + 1);
            const double off = k == inner ? 0.0 : k % 2 ? wander : -wander;
            script +=
                click(a[0] + t * (b[0] - a[0]) - off * uy, a[1] + t * (b[1] - a[1]) + off * ux);
        }
        if (side < 3)
            script += click(b[0], b[1]);
    }
    return script + drag(cx - h, cy - h + d, cx - h, cy - h);
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
        addMeshObject()->mesh->buildFacetHash(200.0, -1.0, nullptr); // as a restore builds it
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

    // The right press changed nothing; a click's release takes the whole
    // click back, its press then nothing.
    const int counts[] = {3, 2, 2, 1, 1};
    for (int count : counts) {
        EXPECT_EQ(command("_Undo"), 0);
        ASSERT_EQ(net().pointLists[0]->getCount(), count);
    }
    EXPECT_TRUE(near(net().pointLists[0]->vertices[0], -0.5, 0.1));
}

TEST_F(MouseEditing, ModifierClicksGoToTheHostOrTheViewAndAltRightToTheNet)
{
    ASSERT_TRUE(hosttest::passes(run(click(-0.5, 0.0) + click(0.0, 0.0))));
    // The points drawn, without the one following the cursor.
    const auto drawn = [this] {
        return net().pointLists[0]->getCount() - (net().pointLists[0]->hasPending() ? 1 : 0);
    };
    const int records = doc().undoRecordCount();
    // Shift and Ctrl clicks are the host's, press and release: Ctrl takes
    // the mesh object out of the selection, Shift selects it; the releases
    // finish no insert of the grid's selection and record nothing.
    for (const std::string keys : {" ctrl", " shift"})
        ASSERT_TRUE(
            hosttest::passes(run("!mouse move " + at(0.5, 0.5) + "\n!mouse down left " +
                                 at(0.5, 0.5) + keys + "\n!mouse up left " + at(0.5, 0.5) + keys)));
    EXPECT_EQ(doc().undoRecordCount(), records);
    EXPECT_EQ(drawn(), 2);
    // Delete deletes what the host selected, and no point of the net.
    ASSERT_TRUE(hosttest::passes(key("Delete")));
    EXPECT_EQ(doc().undoRecordCount(), records + 1);
    EXPECT_EQ(doc().newestUndoRecordName(), L"Delete");
    EXPECT_EQ(drawn(), 2);
    ASSERT_EQ(command("_Undo"), 0);

    // "Y" held: the view looks at the clicked point; the grid stays.
    ASSERT_TRUE(hosttest::passes(mouse("down left " + at(0.5, 0.5) + " key=Y")));
    EXPECT_EQ(doc().newestUndoRecordName(), L"MW LButtonDown");
    const ON_3dPoint target = view().ActiveViewport().Target();
    EXPECT_NEAR(target.x, 0.5, 1e-3);
    EXPECT_NEAR(target.y, 0.5, 1e-3);
    EXPECT_EQ(drawn(), 2);

    // Its release has nothing to finish.
    ASSERT_TRUE(hosttest::passes(mouse("up left " + at(0.5, 0.5))));
    EXPECT_EQ(doc().newestUndoRecordName(), L"MW LButtonDown");
    EXPECT_EQ(drawn(), 2);

    // Alt with a right click on an end point: the net's own right-button
    // edit removes it.
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

// A poly-line of the net through new grid points at (x, y) on the mesh
// (z = 0, normals +z).
COffset_PointList* lineThrough(GB::CSurfaceNet& net,
                               std::initializer_list<std::pair<float, float>> xy)
{
    std::vector<CVertex<float, 3>*> points;
    for (const auto& [x, y] : xy) {
        Gridbench::CGridPoint* p = mwtest::gridPoint(x, y);
        p->normal.data[2] = 1.f;
        points.push_back(p);
    }
    return mwtest::polyLine(net, points);
}

// The rubber band of the poly-line (-0.5, 0), (0, 0), (0.5, 0), whose ends
// reach 1.0 (the length of the two end segments): a point it refuses for a
// sharp turn leaves the snap target at the end it grows at, or at the
// active grid point where that lies nearer (or the mark flag is set), none
// where the active point lies beyond both ends' reach. Live editing does
// not matter.
TEST_F(MouseEditing, RubberBandSnapsWhereThePolyLineGrows)
{
    enum Where { none, first, last, active };
    struct Case {
        float x, y;   // the cursor
        bool mark;    // the poly-line's mark flag
        float ax, ay; // the active grid point (none for ax = 9)
        Where pending, target;
        const char* what;
    } cases[] = {
        {0.8f, 0.05f, false, 9, 0, last, none, "on along the end: pending there"},
        {-0.8f, -0.05f, false, 9, 0, first, none, "on along the start"},
        {0.55f, 0.4f, false, 9, 0, none, last, "turn at the end"},
        {-0.55f, 0.4f, false, 9, 0, none, first, "turn at the start"},
        {0.1f, 0.4f, false, 9, 0, none, none, "beside a segment: no growth"},
        {0.55f, 0.4f, false, 0.6f, 0.55f, none, active, "the active point nearer"},
        {0.55f, 0.4f, false, 0.0f, 0.9f, none, last, "the active point farther"},
        {0.55f, 0.4f, true, 0.0f, 0.9f, none, active, "farther, but marked"},
        {-0.55f, 0.4f, true, 9, 0, none, first, "marked without an active point"},
        {0.55f, 0.4f, false, -0.6f, -0.8f, none, none, "the active point beyond reach"},
    };
    for (bool live : {true, false})
        for (const Case& k : cases) {
            SCOPED_TRACE(std::string(k.what) + (live ? ", live" : ""));
            net().deleteAll(false);
            net().liveEdit = live;
            COffset_PointList* line = lineThrough(net(), {{-0.5f, 0.f}, {0.f, 0.f}, {0.5f, 0.f}});
            Gridbench::CGridPoint* activePoint = nullptr;
            if (k.ax != 9) {
                COffset_PointList* other = lineThrough(net(), {{k.ax, k.ay}, {k.ax - 0.3f, k.ay}});
                activePoint = dynamic_cast<Gridbench::CGridPoint*>(other->vertices[0]);
            }
            net().pendingStartPoint = activePoint;
            net().setCurrentPointList(line);
            line->markFlag = k.mark;
            ASSERT_TRUE(hosttest::passes(mouse("move " + at(k.x, k.y))));
            const Where pending = !line->hasPending()                        ? none
                                  : line->pendingVertex == line->vertices[0] ? first
                                                                             : last;
            EXPECT_EQ(pending, k.pending);
            if (k.pending != none) {
                EXPECT_TRUE(near(line->pendingVertex, k.x, k.y));
            }
            const CVertex<float, 3>* target = net().lastSnappedPoint;
            const Where snapped = target == nullptr             ? none
                                  : target == activePoint       ? active
                                  : target == line->vertices[0] ? first
                                  : target == line->vertices[2] ? last
                                                                : none;
            EXPECT_EQ(snapped, k.target);
            EXPECT_EQ(snapped != none, target != nullptr);
        }
}

// A click while the rubber band holds a pending vertex past an end of
// (-0.5, 0), (0, 0), (0.5, 0), at (0.8, 0.05) or (-0.8, -0.05): it commits
// the vertex (a marked poly-line then goes on as a new one from its middle
// grid point, entry count / 2), or, with a grid point selected on another
// poly-line, asks with the menu; an active grid point starts a poly-line
// from itself to the click. Press and release are records, each with its
// mark, and two undos take the click back. Live editing does not matter.
TEST_F(MouseEditing, ClickCommitsThePendingVertexSplitsAMarkedLineOrAsks)
{
    enum Selected { nothing, ownEnd, otherPoint, activePoint };
    struct Case {
        bool atStart; // the poly-line grows at its start
        bool mark;
        Selected selected;
        bool menu;
        std::vector<int> counts; // the points of each poly-line after the click
        float splitX;            // where a marked poly-line is split
        const char* what;
    } cases[] = {
        {false, false, nothing, false, {4, 2}, 0, "commit at the end"},
        {true, false, nothing, false, {4, 2}, 0, "commit at the start"},
        {false, true, nothing, false, {3, 2, 2}, 0.5f, "commit at the end, split"},
        {true, true, nothing, false, {3, 2, 2}, 0.0f, "commit at the start, split"},
        {false, false, ownEnd, false, {4, 2}, 0, "the current poly-line's end selected"},
        {false, false, otherPoint, true, {4, 2}, 0, "another poly-line's point selected"},
        {true, false, activePoint, false, {4, 2, 2}, 0, "the active point selected"},
    };
    for (bool live : {true, false})
        for (const Case& k : cases) {
            SCOPED_TRACE(std::string(k.what) + (live ? ", live" : ""));
            net().deleteAll(false);
            net().liveEdit = live;
            COffset_PointList* other = lineThrough(net(), {{-0.5f, 0.6f}, {0.f, 0.6f}});
            COffset_PointList* line = lineThrough(net(), {{-0.5f, 0.f}, {0.f, 0.f}, {0.5f, 0.f}});
            net().setCurrentPointList(line);
            line->markFlag = k.mark;
            CVertex<float, 3>* selected = k.selected == ownEnd    ? line->vertices[2]
                                          : k.selected == nothing ? nullptr
                                                                  : other->vertices[1];
            net().highlightPoint(selected);
            net().pendingStartPoint = k.selected == activePoint
                                          ? dynamic_cast<Gridbench::CGridPoint*>(selected)
                                          : nullptr;
            const double x = k.atStart ? -0.8 : 0.8, y = k.atStart ? -0.05 : 0.05;
            ASSERT_TRUE(hosttest::passes(mouse("move " + at(x, y))));
            ASSERT_TRUE(line->hasPending());
            ASSERT_EQ(line->insertionCase, k.atStart ? 0 : 2);
            const std::size_t printed = m_host.standardOutput().size();
            const std::size_t menus = transcript().size();
            const int marks = net().undoMarks.count;
            ASSERT_TRUE(hosttest::passes(
                run("!mouse down left " + at(x, y) + "\n!mouse up left " + at(x, y))));
            EXPECT_EQ(transcript().find("[context menu]", menus) != std::string::npos, k.menu);
            if (k.menu) {
                EXPECT_EQ(lastMenu(), "enabled: 33023 33019");
            }
            // The release commits a vertex the menu left pending.
            EXPECT_FALSE(line->hasPending());
            EXPECT_EQ(net().undoMarks.count, marks + 2);
            // A committed vertex is taken into the net's regions at once: at
            // the press, or at the release that commits what the menu left.
            EXPECT_NE(m_host.standardOutput().find("model has 0 loops", printed),
                      std::string::npos);
            std::vector<int> counts;
            for (const COffset_PointList* pl : net().pointLists)
                counts.push_back(pl->getCount());
            std::sort(counts.begin(), counts.end(), std::greater<int>());
            EXPECT_EQ(counts, k.counts);
            if (k.mark) {
                const COffset_PointList* second = net().pointLists[2];
                EXPECT_TRUE(near(second->vertices[0], k.splitX, 0.0));
                EXPECT_EQ(net().pointLists[1]->vertices[2], second->vertices[0]);
            }
            if (k.selected == activePoint) {
                EXPECT_TRUE(net().pointLists[2]->vertices[0] == selected &&
                            near(net().pointLists[2]->vertices[1], x, y));
            }

            EXPECT_EQ(command("_Undo"), 0);
            EXPECT_EQ(command("_Undo"), 0);
            ASSERT_EQ(net().getNumPointLists(), 2);
            EXPECT_TRUE(net().pointLists[1] == line && line->getCount() == 3 &&
                        !line->hasPending());
            net().pendingStartPoint = nullptr;
        }
}

// Every click selects the point it adds, so a selected point of the
// current poly-line that opened the menu (activate or snap) would make every
// click after the first ask instead of drawing.
TEST_F(MouseEditing, EveryClickAfterTheFirstDrawsOnWithoutAskingActivateOrSnap)
{
    ASSERT_TRUE(hosttest::passes(run(click(-0.5, 0.1) + click(0.0, 0.1) + click(0.5, 0.1))));
    EXPECT_EQ(transcript().find("[context menu]"), std::string::npos);
    ASSERT_EQ(net().getNumPointLists(), 1);
    EXPECT_EQ(net().pointLists[0]->getCount(), 3);
}

// The ray through the cursor takes the facet nearest the viewer, where a
// ray meets two sheets of the mesh.
TEST_F(MeshwrightHost, ClickWhereTwoSheetsLieBehindEachOtherLandsOnTheOneInFront)
{
    // The sheet in front (z = 0.5) first, the one behind it (z = 0) after.
    mwtest::MeshSoup sheets = mwtest::gridSoup(2, 2, 0.5, 0.5, true, -0.5, -0.5);
    for (int k = 0; k < sheets.pointCount(); ++k)
        sheets.xyz[3 * k + 2] = 0.5;
    const mwtest::MeshSoup back = mwtest::gridSoup(4, 4, 0.5, 0.5, true, -1.0, -1.0);
    const int first = sheets.pointCount();
    sheets.xyz.insert(sheets.xyz.end(), back.xyz.begin(), back.xyz.end());
    for (std::vector<int> f : back.facets) {
        for (int& i : f)
            i += first;
        sheets.facets.push_back(f);
    }
    CMWMeshObject* object = addMeshObject(sheets);
    object->mesh->buildFacetHash(10.0, -1.0, nullptr); // coarse: the first click builds none
    ASSERT_EQ(command("_MWEditGrid"), 0);
    for (const bool front : {true, false}) {
        double x = 0.0, y = 0.0;
        view().ActiveViewport().worldToScreen(ON_3dPoint(front ? 0.1 : 0.8, 0.2, 0.0), x, y);
        const std::string pixel =
            std::to_string(std::lround(x)) + " " + std::to_string(std::lround(y));
        ASSERT_TRUE(hosttest::passes(run("!mouse move " + pixel + "\n!mouse down left " + pixel +
                                         "\n!mouse up left " + pixel)));
    }
    ASSERT_EQ(plugIn().net.getNumPointLists(), 1);
    const COffset_PointList* line = plugIn().net.pointLists[0];
    ASSERT_EQ(line->getCount(), 2);
    EXPECT_NEAR(line->vertices[0]->data[2], 0.5, 1e-6);
    EXPECT_NEAR(line->vertices[1]->data[2], 0.0, 1e-6); // beside the front sheet
}

// A grid point dragged to a new place and released there, with nothing to
// snap to, still leaves its faces recomputed: finishing an insert or snap
// that is not there must not stand for the surface update.
TEST_F(MouseEditing, DraggedCornerWithNothingToSnapToLeavesNoStaleFace)
{
    addHashNet(0.5f);
    GB::CSurfaceNet& n = net();
    n.computeSurfaces(true, false, nullptr);
    ASSERT_EQ(n.countSurfaces(nullptr), 4);
    // The corner (0.5, 0.5) is an end of the third row, made current.
    COffset_PointList* row = n.pointLists[4];
    ASSERT_TRUE(near(row->vertices[2], 0.5, 0.5));
    n.setCurrentPointList(row);
    // Pressed without hovering first (the cursor came from off the mesh), the
    // junction is dragged rather than offered in the menu.
    ASSERT_TRUE(hosttest::passes(run("!mouse move 2 2\n!mouse down left " + at(0.5, 0.5) +
                                     "\n!mouse move " + at(0.7, 0.7) + "\n!mouse up left " +
                                     at(0.7, 0.7))));
    ASSERT_TRUE(near(row->vertices[2], 0.7, 0.7));
    // The face at that corner reaches it: the corners of its surface (which
    // reaches a little past the face) surround the new corner.
    int reaching = 0;
    for (GB::Face* face = n.firstFace; face != nullptr; face = face->next) {
        CParametricGeometry& surface = *face->surface;
        const Vector low = surface.getPoint(surface.getUMin(), surface.getVMin());
        const Vector high = surface.getPoint(surface.getUMax(), surface.getVMax());
        if (low[0] < 0.7 && low[1] < 0.7 && high[0] > 0.7 && high[1] > 0.7)
            ++reaching;
    }
    EXPECT_EQ(reaching, 1);
}

// Undoing the release that closed a region opens it again, and the face of
// the region goes with it: a face kept after its region is gone shows and
// commits a surface no poly-line bounds any more. Record by record, undo
// then takes every edit of the drawing back. Gestures after the drawing
// that change nothing leave records that undo nothing: passing over them,
// the second undo after a click on a point took the closed region away and
// every later undo ran one gesture ahead of its record.
TEST_F(MouseEditing, UndoneEditThatClosedARegionTakesItsFaceAlong)
{
    const int records = doc().undoRecordCount();
    const struct {
        const char* what;
        std::function<std::string()> gesture;
        int gestureRecords;
    } cases[] = {
        {"nothing after the drawing", [] { return std::string(); }, 0},
        {"a click on a point of the current poly-line", [] { return click(-0.5, 0.0); }, 2},
        {"a right click inside the region",
         [] {
             return "!mouse move " + at(0.0, 0.0) + "\n!mouse down right " + at(0.0, 0.0) + "\n";
         },
         1},
        {"the point clicked twice", [] { return click(-0.5, 0.0) + click(-0.5, 0.0); }, 4},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        ASSERT_TRUE(hosttest::passes(run(squareScript(0.5))));
        ASSERT_EQ(net().getNumPointLists(), 4);
        ASSERT_EQ(net().countSurfaces(nullptr), 1);
        const int items = net().undoList.count;
        ASSERT_TRUE(hosttest::passes(run(k.gesture())));
        ASSERT_EQ(net().undoList.count, items) << "the gesture changed the grid";
        ASSERT_EQ(doc().undoRecordCount(), records + 24 + k.gestureRecords);
        for (int record = 0; record < k.gestureRecords; ++record) {
            EXPECT_EQ(command("_Undo"), 0);
            EXPECT_EQ(net().undoList.count, items);
            EXPECT_EQ(net().countSurfaces(nullptr), 1);
        }
        EXPECT_EQ(command("_Undo"), 0);
        EXPECT_EQ(doc().newestUndoRecordName(), L"MW LButtonDown");
        EXPECT_EQ(net().firstFace, nullptr);
        // Twelve gestures, a press and a release each.
        for (int record = 1; record < 24; ++record)
            EXPECT_EQ(command("_Undo"), 0);
        EXPECT_EQ(net().getNumPointLists(), 0);
        EXPECT_EQ(net().firstFace, nullptr);
        EXPECT_EQ(doc().undoRecordCount(), records);
    }
}

// Each face's loops, each as the sorted corner positions (to 1e-4) of its
// cycle, the faces sorted.
using Corners = std::vector<std::array<long, 3>>;
std::vector<std::vector<Corners>> faceCorners(const GB::CSurfaceNet& net)
{
    std::vector<std::vector<Corners>> faces;
    for (const GB::Face* face = net.firstFace; face != nullptr; face = face->next) {
        std::vector<Corners> loops;
        for (const GB::Loop* loop = face->firstLoop; loop != nullptr; loop = loop->next) {
            Kor::List<CVertex<float, 3>*> nodes;
            loop->getNodePoints(nodes);
            Corners corners;
            for (const CVertex<float, 3>* p : nodes)
                corners.push_back({std::lround(p->data[0] * 1e4), std::lround(p->data[1] * 1e4),
                                   std::lround(p->data[2] * 1e4)});
            std::sort(corners.begin(), corners.end());
            loops.push_back(corners);
        }
        faces.push_back(loops);
    }
    std::sort(faces.begin(), faces.end());
    return faces;
}

// A grid point on the mesh under (x, y), seen from above.
Gridbench::CGridPoint* pointOnMesh(Mesh::CBaseMesh* mesh, float x, float y)
{
    Mesh::CBaseMesh::CBaseHitInfo hit;
    int hits = 0;
    EXPECT_TRUE(COffset_Grid::pickMeshAlongRay(mesh, CVertex<float, 3>(x, y, 5.f),
                                               CVector<float, 3>(CVertex<float, 3>(0.f, 0.f, -1.f)),
                                               hit, 1, true, false, hits));
    return new Gridbench::CGridPoint(hit);
}

// Nets on a scanned-like mesh whose sides wander off their straight lines
// over the bumps: save and open give back their loops and faces, corner for
// corner. One is drawn with the mouse; the other is a "#" of three rows and
// three columns whose four faces share their wandering sides.
TEST_F(MeshwrightHost, SaveAndOpenKeepTheFacesOfNetsWanderingOverABumpyMesh)
{
    CMWMeshObject* object = addMeshObject(mwtest::scannedSoup(20, 7));
    object->mesh->buildFacetHash(200.0, -1.0, nullptr);
    ASSERT_EQ(command("_MWEditGrid"), 0);
    GB::CSurfaceNet& net = plugIn().net;
    ASSERT_TRUE(hosttest::passes(run(squareScript(0.45, 0.0, 0.0, 3, 0.06))));
    ASSERT_EQ(net.getNumPointLists(), 4);
    auto before = faceCorners(net);
    ASSERT_EQ(before.size(), 1u);
    ASSERT_EQ(before[0].size(), 1u);
    EXPECT_EQ(before[0][0].size(), 4u);
    ASSERT_TRUE(saveAndReopen());
    EXPECT_EQ(net.getNumPointLists(), 4);
    EXPECT_EQ(faceCorners(net), before);

    net.deleteAll(false);
    Mesh::CBaseMesh* mesh = net.mesh;
    const float line[3] = {-0.45f, 0.f, 0.45f};
    Gridbench::CGridPoint* node[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            node[i][j] = pointOnMesh(mesh, line[i], line[j]);
    // Two points between neighbouring nodes, 0.05 off to either side.
    for (int k = 0; k < 3; ++k)
        for (const bool row : {true, false}) {
            std::vector<CVertex<float, 3>*> points;
            for (int m = 0; m < 3; ++m) {
                points.push_back(row ? node[m][k] : node[k][m]);
                for (int q = 1; m < 2 && q <= 2; ++q) {
                    const float along = line[m] + 0.15f * q;
                    const float off = line[k] + (q == 1 ? 0.05f : -0.05f);
                    points.push_back(row ? pointOnMesh(mesh, along, off)
                                         : pointOnMesh(mesh, off, along));
                }
            }
            mwtest::polyLine(net, points)->interpolate();
        }
    mwtest::capturedStdout([&] {
        net.buildTopology(false);
        net.computeSurfaces(true, false, nullptr);
    });
    before = faceCorners(net);
    ASSERT_EQ(before.size(), 4u);
    const int surfaces = net.countSurfaces(nullptr);
    EXPECT_EQ(surfaces, 4);
    ASSERT_TRUE(saveAndReopen());
    EXPECT_EQ(net.getNumPointLists(), 6);
    EXPECT_EQ(faceCorners(net), before);
    EXPECT_EQ(net.countSurfaces(nullptr), surfaces);
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

// The region of the scanned-like patch drawn as a user draws it, in the
// pixels of the view the load zoomed (the mesh fills it about pixel (160,
// 120)): corners 35 pixels off the centre each way, sides two to four
// started 20 pixels beside their corner and dragged onto it, as is the last
// point onto the first corner. The middle point of side `turned` (0 the
// lower side, then counter-clockwise on the screen) lies `off` pixels
// outwards of its straight line (inwards when negative).
std::string regionDrawnWithOneSideTurned(int turned, int off)
{
    int middle[4][2] = {{160, 155}, {195, 120}, {160, 85}, {125, 120}};
    const int outward[4][2] = {{0, 1}, {1, 0}, {0, -1}, {-1, 0}};
    middle[turned][0] += off * outward[turned][0];
    middle[turned][1] += off * outward[turned][1];
    auto pixel = [](int x, int y) { return std::to_string(x) + " " + std::to_string(y); };
    auto click = [&](int x, int y) {
        return "!mouse move " + pixel(x, y) + "\n!mouse down left " + pixel(x, y) +
               "\n!mouse up left " + pixel(x, y) + "\n";
    };
    auto drag = [&](int x, int y, int tx, int ty) {
        return "!mouse move " + pixel(x, y) + "\n!mouse down left " + pixel(x, y) +
               "\n!mouse move " + pixel(tx, ty) + "\n!mouse up left " + pixel(tx, ty) + "\n";
    };
    return click(125, 155) + click(middle[0][0], middle[0][1]) + click(195, 155) +
           drag(195, 135, 195, 155) + click(middle[1][0], middle[1][1]) + click(195, 85) +
           drag(175, 85, 195, 85) + click(middle[2][0], middle[2][1]) + click(125, 85) +
           drag(125, 105, 125, 85) + click(middle[3][0], middle[3][1]) + drag(125, 135, 125, 155);
}

// Whichever side turns, by 5 or 10 pixels either way, the region closes
// into one loop and its face fits the mesh within the tolerance. A turned
// side can make the two longest sides opposite: the face then starts from
// the blending surface of its four sides. One side per test case.
class ScannedRegion : public MeshwrightHost, public ::testing::WithParamInterface<int> {};

TEST_P(ScannedRegion, ClosesAndFitsWithTheSideTurnedEitherWay)
{
    const int side = GetParam();
    const double t = 0.01;
    const std::string file = writeStl("scanned.stl", mwtest::scannedSoup(20, 7));
    ASSERT_TRUE(hosttest::passes(run("_MWLoadMesh File=Yes file:" + file +
                                     "\n_MWOptions RMS_of_Mesh=0.01 "
                                     "Online_Face_Computation=Yes OK Cancel\n")));
    GB::CSurfaceNet& net = MeshwrightPlugIn().net;
    auto* mesh = dynamic_cast<CFlatMesh*>(net.mesh);
    ASSERT_NE(mesh, nullptr);
    for (int off : {5, 10, -5, -10}) {
        const std::string what = "side " + std::to_string(side) + " off " + std::to_string(off);
        const std::size_t from = m_host.standardOutput().size();
        EXPECT_TRUE(hosttest::passes(
            run(regionDrawnWithOneSideTurned(side, off) + "!expect-print \"model has 1 loops\"\n")))
            << what;
        EXPECT_EQ(m_host.standardOutput().find("bad surface", from), std::string::npos) << what;
        Kor::List<Fenwo::NurbsSurf*> surfaces;
        if (net.firstFace == nullptr || net.firstFace->next != nullptr ||
            net.firstFace->firstLoop->getCycleLength() != 4 || net.getSurfaces(surfaces) != 1) {
            ADD_FAILURE() << what << ": no four-sided face with its surface";
        } else {
            // The vertices well inside the region (its corners lie 0.41 off
            // the centre, a side turned inwards 0.12 less at its middle).
            const std::vector<double> d =
                fitfix::vertexDistances(*mesh, *surfaces[0], [](const Vector& p) {
                    return std::fabs(p[0]) < 0.25 && std::fabs(p[1]) < 0.25;
                });
            ASSERT_GT(d.size(), 20u) << what;
            EXPECT_LE(d.back(), t) << what;
        }
        net.deleteAll(false);
    }
    assertNoUnansweredPrompts();
}

INSTANTIATE_TEST_SUITE_P(EachSide, ScannedRegion, ::testing::Range(0, 4));

} // namespace
