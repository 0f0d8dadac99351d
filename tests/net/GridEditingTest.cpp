// Editing the grid with pick rays: picks within the view's pick radius,
// clicks that start, extend and select, splits at sharp end turns,
// hovering, snaps, drags, removals, joins, direction flags, and undo back to
// each checkpoint. Rays run straight down onto flat meshes in z = 0 (and
// onto the real unit sphere) in an offscreen view of known world width.
#include "display/OpenGLPoint.h"
#include "geometry/NurbsSurf.h"
#include "mesh/FlatMesh.h"
#include "mesh/GridPoint.h"
#include "mesh/StlFormat.h"
#include "net/OpenGLPointList.h"
#include "net/SurfaceNet.h"

#include "support/GLView.h"
#include "support/GridFixtures.h"
#include "support/NurbsFixtures.h"
#include "support/TestMeshes.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <numbers>
#include <vector>

namespace {

using Gridbench::CGridPoint;
using mwtest::gridPoint;
using mwtest::polyLine;
using Point = CVertex<float, 3>;
const CVector<float, 3> kDown(Point(0.f, 0.f, -1.f));

// The view is 15 units wide: the pick radius is 0.2.
class GridEditing : public mwtest::GLView {
protected:
    CFlatMesh mesh;
    void SetUp() override
    {
        GLView::SetUp();
        ortho(-7.5, 7.5, -7.5, 7.5, -10.0, 10.0);
        // Unit cells split along their diagonals; picks stay off the edges.
        mwtest::fillFlatMesh(mwtest::gridSoup(12, 12, 1.0, 1.0, true, -6.0, -6.0), mesh);
    }
    static CGridMouseEvent ray(float x, float y)
    {
        return {Point(x, y, 5.f), kDown, CVertex<double, 3>(x, y, 0.0)};
    }
    static bool click(COffset_Grid& grid, float x, float y)
    {
        return grid.editAtMouseDown(ray(x, y), 0);
    }
};

// A two-point poly-line with an unlocked straight curve.
COffset_PointList* lineWithCurve(COffset_Grid& grid, CGridPoint* a, CGridPoint* b)
{
    COffset_PointList* pl = polyLine(grid, {a, b});
    Kor::List<double> t;
    t.append(0.0);
    t.append(1.0);
    pl->setCurve(clampedCurve({Vector(a->data, 3), Vector(b->data, 3)}, 1).release(), t, 0, 1);
    pl->setCurveLocked(false);
    return pl;
}

using Points = std::vector<CVertex<float, 3>*>;
using Lists = std::vector<COffset_PointList*>;
Points pointsOf(const COffset_PointList* pl)
{
    return Points(pl->vertices.begin(), pl->vertices.end());
}

void expectAt(const CVertex<float, 3>* p, float x, float y, const char* what = "")
{
    ASSERT_NE(p, nullptr) << what;
    EXPECT_NEAR(p->data[0], x, 1e-5) << what;
    EXPECT_NEAR(p->data[1], y, 1e-5) << what;
}

TEST_F(GridEditing, PicksTakeGridPointsWithinTheViewsPickRadius)
{
    COffset_Grid grid(&mesh);
    CGridPoint* p = gridPoint(1.1f, 1.1f);
    CGridPoint* off = gridPoint(7.f, 1.f); // beside the mesh
    polyLine(grid, {p, gridPoint(3.1f, 1.1f), off});
    struct Case {
        float x, y;
        bool allowMesh, meshOnly, picked;
        float atX, atY;
        const char* what;
    } cases[] = {
        {1.25f, 1.1f, false, false, true, 1.1f, 1.1f, "grid point 0.15 from the hit"},
        {1.35f, 1.1f, false, false, false, 0, 0, "0.25 away, no mesh points"},
        {1.35f, 1.1f, true, false, true, 1.35f, 1.1f, "0.25 away: the mesh point"},
        {1.25f, 1.1f, false, true, true, 1.25f, 1.1f, "mesh only"},
        {7.1f, 1.f, false, false, true, 7.f, 1.f, "off the mesh: 0.1 from the ray"},
        {7.3f, 1.f, true, false, false, 0, 0, "off the mesh, nothing near"},
    };
    for (const Case& k : cases) {
        CGridPoint out;
        EXPECT_EQ(grid.pickPoint(Point(k.x, k.y, 5.f), kDown, out, k.allowMesh, k.meshOnly, true),
                  k.picked)
            << k.what;
        EXPECT_NEAR(grid.pickRadius, 0.2, 1e-6);
        if (k.picked)
            expectAt(&out, k.atX, k.atY, k.what);
    }
    // A view without width keeps the radius.
    glViewport(0, 0, 0, 0);
    grid.pickRadius = 0.5;
    CGridPoint out;
    EXPECT_TRUE(grid.pickPoint(Point(1.5f, 1.1f, 5.f), kDown, out, false, false, true));
    EXPECT_EQ(grid.pickRadius, 0.5);
}

// Moves jump far between two events when the mouse is quick. The mesh
// point found from the last hit's tangent plane then lay where the curved
// mesh meets its normal, off the ray: off the cursor by 0.31 after the
// first move here, beyond the pick radius of 0.2. The pick lands on the ray,
// on the sheet of the last hit: a bowl z = 0.15 r^2 under a flat sheet at
// z = 2, which every ray meets first.
TEST_F(GridEditing, PickAfterALongMoveOverACurvedMeshLandsUnderTheCursor)
{
    CFlatMesh sheets;
    auto bowl = [](double x, double y) { return 0.15 * (x * x + y * y); };
    mwtest::MeshSoup lower = mwtest::gridSoup(24, 24, 0.25, 0.25, true, -3.0, -3.0);
    for (int k = 0; k < lower.pointCount(); ++k)
        lower.xyz[3 * k + 2] = bowl(lower.xyz[3 * k], lower.xyz[3 * k + 1]);
    mwtest::fillFlatMesh(lower, sheets);
    mwtest::MeshSoup upper = mwtest::gridSoup(6, 6, 1.0, 1.0, true, -3.0, -3.0);
    for (int k = 0; k < upper.pointCount(); ++k)
        upper.xyz[3 * k + 2] = 2.0;
    mwtest::fillFlatMesh(upper, sheets);
    sheets.buildFacetHash(20.0, -1.0, nullptr); // cells of 0.6: the guess is found
    COffset_Grid grid(&sheets);

    CGridPoint last; // a hit on the bowl, under the upper sheet
    last.set(Point(0.3f, 0.2f, float(bowl(0.3, 0.2))).data);
    last.normal = CVector<float, 3>(Point(-0.09f, -0.06f, 1.f));
    last.normal.normalize();
    for (const auto& [x, y] : {std::pair{2.0f, 1.5f}, {1.0f, 2.2f}, {-0.5f, 1.8f}}) {
        grid.lastMouseHit = &last;
        CGridPoint out;
        ASSERT_TRUE(grid.pickPoint(Point(x, y, 5.f), kDown, out, true, true, true)) << x << y;
        grid.lastMouseHit = nullptr;
        EXPECT_NEAR(out.data[0], x, 1e-4);
        EXPECT_NEAR(out.data[1], y, 1e-4);
        EXPECT_NEAR(out.data[2], bowl(x, y), 0.02); // facets cut under the bowl
        last = out;
    }
}

TEST_F(GridEditing, ClicksStartExtendSelectAndReuseGridPoints)
{
    COffset_Grid grid(&mesh);
    ASSERT_EQ(mesh.facetHash.cells.count, 0);
    ASSERT_TRUE(click(grid, 0.3f, 0.3f));
    EXPECT_GT(mesh.facetHash.cells.count, 0);
    ASSERT_EQ(grid.getNumPointLists(), 1);
    COffset_PointList* first = grid.pointLists[0];
    ASSERT_EQ(first->getCount(), 1);
    EXPECT_EQ(grid.selectedPoint, first->vertices[0]);

    ASSERT_TRUE(click(grid, 1.3f, 0.3f));
    ASSERT_TRUE(click(grid, 2.3f, 0.3f));
    ASSERT_EQ(first->getCount(), 3);
    EXPECT_EQ(grid.selectedPoint, first->vertices[2]);
    // A click within the pick radius of a point selects it.
    ASSERT_TRUE(click(grid, 1.4f, 0.35f));
    EXPECT_EQ(first->getCount(), 3);
    EXPECT_EQ(grid.selectedPoint, first->vertices[1]);

    // The line refuses a right-angle turn at its start: the point starts a
    // poly-line of its own, which the next click extends.
    ASSERT_TRUE(click(grid, 0.3f, 1.3f));
    ASSERT_TRUE(click(grid, 1.3f, 1.3f));
    ASSERT_EQ(grid.getNumPointLists(), 2);
    COffset_PointList* second = grid.pointLists[1];
    EXPECT_TRUE(first->getCount() == 3 && second->getCount() == 2);
    EXPECT_EQ(grid.currentPointList, second);
    // A grid point of the other poly-line: selected, its poly-line current.
    ASSERT_TRUE(click(grid, 2.35f, 0.35f));
    EXPECT_EQ(grid.currentPointList, first);
    EXPECT_EQ(grid.selectedPoint, first->vertices[2]);

    // A point within half the pick radius of a grid point re-uses it.
    grid.selectPointList(second);
    CGridPoint* end = static_cast<CGridPoint*>(first->vertices[2]);
    auto nearEnd = std::unique_ptr<CGridPoint>(gridPoint(2.35f, 0.3f));
    ASSERT_TRUE(grid.addGridPoint(nearEnd.get(), false, false, nullptr));
    EXPECT_TRUE(second->vertices[2] == end && end->useCount == 2 && grid.topologyChanged);

    // Without marks undo takes everything back, the first points included.
    grid.undo();
    EXPECT_TRUE(grid.getNumPointLists() == 0 && end->useCount == 0);
}

TEST_F(GridEditing, SharpEndTurnSplitsAtTheCorner)
{
    const double degree = std::numbers::pi / 180.0;
    for (int insertionCase : {2, 0})
        for (double turn : {71.9, 72.1}) {
            COffset_Grid grid(&mesh);
            // The turn lies at q1; insertion case 0 has the line reversed.
            CGridPoint* q[4] = {
                gridPoint(-1, 0), gridPoint(0, 0), gridPoint(1, 0),
                gridPoint(float(1 + std::cos(turn * degree)), float(std::sin(turn * degree)))};
            COffset_PointList* pl = insertionCase == 2 ? polyLine(grid, {q[0], q[1], q[2], q[3]})
                                                       : polyLine(grid, {q[3], q[2], q[1], q[0]});
            pl->insertionCase = insertionCase;
            grid.selectPointList(pl);
            const bool split = turn > 72.0;
            EXPECT_EQ(grid.splitAtSharpEndTurn(), split) << insertionCase << " " << turn;
            ASSERT_EQ(grid.getNumPointLists(), split ? 2 : 1);
            if (!split)
                continue;
            // Case 2 goes on from the corner; case 0 keeps the new start.
            const Points expected = insertionCase == 2 ? Points{q[2], q[3]} : Points{q[3], q[2]};
            EXPECT_EQ(pointsOf(grid.currentPointList), expected);
            EXPECT_EQ(q[2]->useCount, 2);
            grid.undo();
            EXPECT_TRUE(grid.getNumPointLists() == 1 && grid.pointLists[0] == pl &&
                        q[2]->useCount == 1);
        }
}

TEST_F(GridEditing, HoverMarksPointsAndCurvesAndMouseUpSnaps)
{
    COffset_Grid grid(&mesh);
    COffset_PointList* lower = lineWithCurve(grid, gridPoint(0.3f, 0.3f), gridPoint(2.3f, 0.3f));
    COffset_PointList* upper = lineWithCurve(grid, gridPoint(0.3f, 2.3f), gridPoint(2.3f, 2.3f));
    grid.selectPointList(upper);
    grid.pickRadius = 0.2;
    mesh.buildFacetHash(500.0, -1.0, nullptr); // points on curves go onto the mesh

    // The current poly-line's display: wider, large vertices, third colour.
    auto* display =
        dynamic_cast<COpenGLPointList*>(grid.displayContainer.findEntity(displayKeyOf(*upper)));
    ASSERT_NE(display, nullptr);
    EXPECT_TRUE(display->lineWidth == 8.f && display->vertexSize == 8.f &&
                display->useMarkerColour && display->markerColour[1] == 0.24f);

    // Over the lower curve without a selected point: no marker.
    COffset_PointList* pl = nullptr;
    CVertex<float, 3>* gp = nullptr;
    auto marker = [&] {
        return dynamic_cast<COpenGLPoint*>(
            grid.displayContainer.findEntityByName("SelectedPointOnSegment"));
    };
    ASSERT_TRUE(grid.hoverPick(Point(1.3f, 0.35f, 0.f), kDown, pl, gp));
    EXPECT_TRUE(pl == lower && grid.segmentList == lower && grid.grabbedPoint == nullptr);
    EXPECT_EQ(marker(), nullptr);
    // With a selected point the curve point is marked; a grid point of
    // another poly-line is marked with its third colour component 1.
    grid.highlightPoint(upper->vertices[1]);
    ASSERT_TRUE(grid.hoverPick(Point(1.3f, 0.35f, 0.f), kDown, pl, gp));
    ASSERT_NE(marker(), nullptr);
    expectAt(&marker()->point, 1.3f, 0.3f);
    EXPECT_TRUE(marker()->layer == COpenGLEntity::LayerTop && marker()->pointSize == 6.0 &&
                marker()->colour[2] == 0.506f);
    ASSERT_TRUE(grid.hoverPick(Point(2.25f, 0.3f, 0.f), kDown, pl, gp));
    EXPECT_TRUE(gp == lower->vertices[1] && grid.grabbedPoint == gp);
    EXPECT_EQ(marker()->colour[2], 1.f);

    // Mouse-up snaps the selected point onto the grabbed one: a corner.
    CVertex<float, 3>* old = upper->vertices[1];
    ASSERT_TRUE(grid.onMouseUp(true));
    EXPECT_TRUE(upper->vertices[1] == gp && grid.selectedPoint == gp && useCountOf(gp) == 2);
    grid.undo();
    EXPECT_TRUE(upper->vertices[1] == old && useCountOf(gp) == 1 && useCountOf(old) == 1);

    // Over the lower curve again, mouse-up inserts a point there and into
    // the current poly-line; a middle click makes the lower one current.
    grid.highlightPoint(upper->vertices[1]);
    ASSERT_TRUE(grid.hoverPick(Point(1.3f, 0.35f, 0.f), kDown, pl, gp));
    ASSERT_TRUE(grid.onMouseUp(false));
    ASSERT_EQ(lower->getCount(), 3);
    expectAt(lower->vertices[1], 1.3f, 0.3f);
    EXPECT_TRUE(upper->contains(lower->vertices[1]));
    EXPECT_EQ(useCountOf(lower->vertices[1]), 2);
    ASSERT_TRUE(grid.pickPointListAt(Point(0.8f, 0.35f, 5.f), kDown));
    EXPECT_EQ(grid.currentPointList, lower);
    // A split with no point given snaps a point onto the hovered curve and
    // splits there: both halves hold it.
    grid.selectPointList(upper);
    ASSERT_TRUE(grid.hoverPick(Point(1.8f, 0.35f, 0.f), kDown, pl, gp) && pl == lower);
    ASSERT_TRUE(grid.splitAtPoint(nullptr));
    EXPECT_EQ(grid.getNumPointLists(), 3);
    expectAt(grid.lastSnappedPoint, 1.8f, 0.3f);
    EXPECT_EQ(useCountOf(grid.lastSnappedPoint), 2);
}

TEST_F(GridEditing, DraggingDropsCurvesAndUndoPutsThePointBack)
{
    COffset_Grid grid(&mesh);
    CGridPoint* shared = gridPoint(1.3f, 1.3f);
    shared->facet = 7;
    COffset_PointList* a = lineWithCurve(grid, gridPoint(0.3f, 1.3f), shared);
    COffset_PointList* b = lineWithCurve(grid, shared, gridPoint(1.3f, 2.3f));
    grid.pickRadius = 0.2;
    CGridPoint target; // the last hit, 0.14 from the point, found from it
    target.set(Point(1.4f, 1.4f, 0.f).data);
    target.facet = 9;
    grid.lastMouseHit = &target;
    CVertex<float, 3>* vertex = nullptr;
    ASSERT_TRUE(grid.moveVertex(vertex));
    EXPECT_EQ(vertex, shared);
    expectAt(shared, 1.4f, 1.4f);
    EXPECT_EQ(shared->facet, 9);
    EXPECT_TRUE(a->getCurve() == nullptr && b->getCurve() == nullptr);
    grid.undo();
    expectAt(shared, 1.3f, 1.3f);
    EXPECT_EQ(shared->facet, 7);
}

TEST_F(GridEditing, RemovalsTakeEmptiedPolyLinesAndDeleteTakesTheCurrent)
{
    COffset_Grid grid(&mesh);
    COffset_PointList* ring = polyLine(grid, {gridPoint(2.3f, 4.3f), gridPoint(3.3f, 4.3f)});
    ring->closed = true;
    COffset_PointList* single = polyLine(grid, {gridPoint(4.3f, 4.3f)});
    polyLine(grid, {gridPoint(0, 3), gridPoint(1, 3)});
    COffset_PointList* last = polyLine(grid, {gridPoint(0, 4), gridPoint(1, 4)});
    grid.selectPointList(single);
    ASSERT_TRUE(grid.onRButtonDown(ray(4.35f, 4.3f), 0));
    EXPECT_EQ(grid.getNumPointLists(), 3);
    EXPECT_NE(dynamic_cast<CUndoRemovePointList*>(grid.undoList[grid.undoList.count - 1]), nullptr);
    grid.selectPointList(ring); // a closed poly-line keeps its points
    EXPECT_FALSE(grid.onRButtonDown(ray(2.35f, 4.3f), 0));
    EXPECT_EQ(ring->getCount(), 2);
    grid.clearSelectedPoint(); // nothing selected: the current poly-line goes
    EXPECT_TRUE(grid.deleteSelection());
    EXPECT_EQ(grid.getNumPointLists(), 2);
    EXPECT_EQ(grid.currentPointList, last);
    grid.highlightPoint(last->vertices[0]); // a selected point goes alone
    EXPECT_TRUE(grid.deleteSelection());
    EXPECT_TRUE(last->getCount() == 1 && grid.selectedPoint == nullptr);
}

TEST_F(GridEditing, JoinsAtSharedEndsAndUndoRestoresBoth)
{
    struct Case {
        bool firstReversed, secondClosed, jointInside;
        const char* what;
    } cases[] = {{false, false, false, "end to start"},
                 {true, false, false, "at the first's first point"},
                 {false, true, false, "a closed poly-line"},
                 {false, false, true, "not an end of the second"}};
    for (const Case& k : cases) {
        COffset_Grid grid(&mesh);
        grid.pickRadius = 0.2;
        CGridPoint *p0 = gridPoint(-0.7f, 0.3f), *p1 = gridPoint(0.3f, 0.3f),
                   *j = gridPoint(1.3f, 0.3f), *s1 = gridPoint(2.3f, 0.3f),
                   *s2 = gridPoint(3.3f, 0.3f);
        COffset_PointList* first =
            k.firstReversed ? polyLine(grid, {j, p1, p0}) : polyLine(grid, {p0, p1, j});
        COffset_PointList* second =
            k.jointInside ? polyLine(grid, {s1, j, s2}) : polyLine(grid, {j, s1, s2});
        second->closed = k.secondClosed;
        polyLine(grid, {gridPoint(0, -2), gridPoint(1, -2)}); // after both
        const Lists lists(grid.pointLists.begin(), grid.pointLists.end());
        const Points before[2] = {pointsOf(first), pointsOf(second)};
        EXPECT_TRUE(grid.joinAtPoint(j)) << k.what;
        const bool joins = !k.secondClosed && !k.jointInside;
        const Points expected = !joins            ? before[0]
                                : k.firstReversed ? Points{s2, s1, j, p1, p0}
                                                  : Points{p0, p1, j, s1, s2};
        EXPECT_EQ(pointsOf(first), expected) << k.what;
        EXPECT_EQ(grid.getNumPointLists(), joins ? 2 : 3) << k.what;
        EXPECT_EQ(j->useCount, joins ? 1 : 2) << k.what;
        grid.undo(); // both poly-lines get their points and places back
        const Lists after(grid.pointLists.begin(), grid.pointLists.end());
        EXPECT_TRUE(after == lists && pointsOf(first) == before[0] &&
                    pointsOf(second) == before[1] && j->useCount == 2)
            << k.what;
    }
}

// No edit leaves a piece of no length, nor a poly-line without points. The
// menu's split at a pick on a curve's start split at the end, leaving the
// end alone; a point dropped onto its neighbour stayed beside it; a drop
// whose dragged point lay outside the current poly-line took the grabbed
// point out of that one and put nothing in; a join at two ends at one
// position kept both.
TEST_F(GridEditing, EditsLeaveNoPieceOfNoLength)
{
    mesh.buildFacetHash(500.0, -1.0, nullptr); // points on curves go onto the mesh
    using Edit = std::function<bool(COffset_Grid&, COffset_PointList*, COffset_PointList*)>;
    const struct Case {
        const char* what;
        Edit edit; // on the line a, m, b along y = 0.3 and the current column c, d at x = 4.3
        std::vector<int> line; // the line's points afterwards: a, m, b, c, d from 0, -1 another
    } cases[] = {
        {"the menu's split at a pick at the line's start",
         [](COffset_Grid& g, COffset_PointList* line, COffset_PointList*) {
             COffset_PointList* pl = nullptr;
             CVertex<float, 3>* gp = nullptr;
             const bool hovered = g.hoverPick(Point(0.8f, 0.35f, 0.f), kDown, pl, gp);
             line->pickedParameter = line->parameters[0];
             return hovered && !g.splitAtPoint(nullptr) && g.getNumPointLists() == 2;
         },
         {0, 1, 2}},
        {"the middle dropped onto its neighbour",
         [](COffset_Grid& g, COffset_PointList* line, COffset_PointList*) {
             CGridPoint target(*static_cast<CGridPoint*>(line->vertices[2]));
             g.lastMouseHit = &target;
             CVertex<float, 3>* middle = line->vertices[1];
             g.highlightPoint(middle);
             const bool dropped = g.moveVertex(middle) && g.onMouseUp(true);
             g.lastMouseHit = nullptr;
             return dropped;
         },
         {0, 2}},
        {"a drop onto a point of the current poly-line from another",
         [](COffset_Grid& g, COffset_PointList* line, COffset_PointList* column) {
             g.highlightPoint(line->vertices[2]);
             g.setSelectedPointOnSegment(column, *column->vertices[0], column->vertices[0]);
             return g.onMouseUp(true) && column->getCount() == 2;
         },
         {0, 1, 3}},
        {"a join at two ends at one position",
         [](COffset_Grid& g, COffset_PointList* line, COffset_PointList*) {
             polyLine(g, {gridPoint(2.3f, 0.3f), gridPoint(3.3f, 0.3f)});
             return g.joinPointListsAt(*line->vertices[2]) && g.getNumPointLists() == 2;
         },
         {0, 1, 2, -1}},
    };
    for (const Case& k : cases) {
        COffset_Grid grid(&mesh);
        grid.pickRadius = 0.2;
        const Points points{gridPoint(0.3f, 0.3f), gridPoint(1.3f, 0.3f), gridPoint(2.3f, 0.3f),
                            gridPoint(4.3f, 1.3f), gridPoint(4.3f, 2.3f)};
        COffset_PointList* line = polyLine(grid, {points[0], points[1], points[2]});
        COffset_PointList* column = polyLine(grid, {points[3], points[4]});
        line->interpolate();
        grid.selectPointList(column);
        EXPECT_TRUE(k.edit(grid, line, column)) << k.what;
        Points expected;
        for (int i : k.line)
            expected.push_back(i < 0 ? line->vertices[line->getCount() - 1]
                                     : points[std::size_t(i)]);
        EXPECT_EQ(pointsOf(line), expected) << k.what;
        for (const COffset_PointList* each : grid.pointLists) {
            EXPECT_GT(each->getCount(), 0) << k.what;
            for (int i = 0; i + 1 < each->getCount(); ++i)
                EXPECT_FALSE(samePosition(each->vertices[i], each->vertices[i + 1])) << k.what;
        }
    }
}

TEST_F(GridEditing, DirectionFlagsAtJunctions)
{
    for (bool crossing : {false, true}) {
        COffset_Grid grid(&mesh);
        grid.pickRadius = 0.2;
        // Along x through c; the stem runs along +y into c (or crosses it).
        CGridPoint* c = gridPoint(1.f, 1.f);
        c->normal.data[2] = 1.f;
        COffset_PointList* along = polyLine(grid, {gridPoint(0, 1), c, gridPoint(2, 1)});
        polyLine(grid, crossing ? std::initializer_list<CVertex<float, 3>*>{gridPoint(1, 0), c,
                                                                            gridPoint(1, 2)}
                                : std::initializer_list<CVertex<float, 3>*>{gridPoint(1, 0), c});
        c->direction1Set = c->direction2Set = true;
        grid.currentPointList = along;
        EXPECT_TRUE(grid.updateDirectionsAt(*c));
        // Direction 1 = x cross z = -y: against the stem, so direction 2
        // (+y) keeps its flag at the T; a crossing clears both.
        EXPECT_NEAR(c->direction1.data[1], -1.f, 1e-6);
        EXPECT_NEAR(c->direction2.data[1], 1.f, 1e-6);
        EXPECT_FALSE(c->direction1Set);
        EXPECT_EQ(c->direction2Set, !crossing);
    }
}

// An undo that takes the selected point out of the grid takes the selection
// and its marker along: kept, the next Delete removed the current
// poly-line's point nearest to where the selected one had been, a point the
// user never chose. With nothing selected, Delete takes the current
// poly-line, the one the user sees highlighted.
TEST_F(GridEditing, UndoneSelectedPointLeavesNoSelectionForDeleteToMistake)
{
    mesh.buildFacetHash(200.0, -1.0, nullptr); // coarse: the fine one of a first click is slow
    COffset_Grid grid(&mesh);
    ASSERT_TRUE(click(grid, 0.3f, 0.3f));
    ASSERT_TRUE(click(grid, 2.3f, 0.3f));
    grid.undoMarks.append(grid.undoList.count);
    ASSERT_TRUE(click(grid, 4.3f, 0.3f));
    COffset_PointList* line = grid.pointLists[0];
    ASSERT_EQ(line->getCount(), 3);
    ASSERT_EQ(grid.selectedPoint, line->vertices[2]);
    ASSERT_NE(grid.displayContainer.findEntityByName("SelectedPoint"), nullptr);

    grid.undo();
    ASSERT_EQ(line->getCount(), 2);
    EXPECT_EQ(grid.selectedPoint, nullptr);
    EXPECT_EQ(grid.displayContainer.findEntityByName("SelectedPoint"), nullptr);
    EXPECT_TRUE(grid.deleteSelection());
    EXPECT_EQ(grid.getNumPointLists(), 0);

    // A selected point the undo leaves in the grid stays selected.
    ASSERT_TRUE(click(grid, 0.3f, 2.3f));
    ASSERT_TRUE(click(grid, 2.3f, 2.3f));
    grid.undoMarks.append(grid.undoList.count);
    ASSERT_TRUE(click(grid, 4.3f, 2.3f));
    ASSERT_TRUE(click(grid, 0.35f, 2.35f)); // selects the first point
    CVertex<float, 3>* first = grid.currentPointList->vertices[0];
    ASSERT_EQ(grid.selectedPoint, first);
    grid.undo();
    EXPECT_EQ(grid.currentPointList->getCount(), 2);
    EXPECT_EQ(grid.selectedPoint, first);
    EXPECT_NE(grid.displayContainer.findEntityByName("SelectedPoint"), nullptr);
}

// Undo items that write their number into a shared log when undone.
struct LoggedItem : UndoGridEdit {
    std::vector<int>* log;
    int id;
    LoggedItem(std::vector<int>* l, int i) : log(l), id(i) {}
    void undo(COffset_Grid*) override { log->push_back(id); }
};

// One undo, one mark: the host's undo record and the mark taken with it go
// together, so a mark that encloses no items (an edit that changed nothing)
// undoes nothing. Passing over it to an earlier mark took back the edit of
// an earlier record, whose own undo then took back one more: every undo
// after an empty one ran an edit ahead.
TEST(GridUndo, MarkThatEnclosesNoItemsUndoesNothing)
{
    struct Case {
        std::vector<int> marks;
        std::vector<std::vector<int>> undone; // by each undo in turn
    } cases[] = {
        {{}, {{4, 3, 2, 1, 0}, {}}},
        {{2, 5}, {{}, {4, 3, 2}, {1, 0}}},        // the last mark encloses nothing
        {{1, 3, 5, 5}, {{}, {}, {4, 3}, {2, 1}}}, // nor do two equal marks
        {{2, 9}, {{}, {4, 3, 2}}},                // a mark beyond the list
        {{5}, {{}, {4, 3, 2, 1, 0}}},
        {{0, 4}, {{4}, {3, 2, 1, 0}, {}}},
    };
    for (const Case& k : cases) {
        COffset_Grid grid(nullptr);
        std::vector<int> log;
        for (int i = 0; i < 5; ++i)
            grid.addUndo(new LoggedItem(&log, i));
        for (int m : k.marks)
            grid.undoMarks.append(m);
        int left = 5;
        for (std::size_t u = 0; u < k.undone.size(); ++u) {
            log.clear();
            grid.undo();
            EXPECT_EQ(log, k.undone[u]) << "undo " << u;
            left -= int(k.undone[u].size());
            EXPECT_EQ(grid.undoList.count, left);
            EXPECT_EQ(grid.undoMarks.count, std::max(int(k.marks.size()) - int(u) - 1, 0));
        }
    }
}

// The state undo must restore: the poly-lines in order with their points,
// and the use count of every grid point seen.
struct GridState {
    std::vector<Points> lists;
    std::map<CGridPoint*, int> uses; // a point seen later counts 0 here
    bool operator==(const GridState&) const = default;
};

GridState stateOf(const COffset_Grid& grid, std::map<CGridPoint*, int>& seen)
{
    GridState s;
    for (COffset_PointList* pl : grid.pointLists) {
        s.lists.push_back(pointsOf(pl));
        for (CVertex<float, 3>* v : pl->vertices)
            seen[dynamic_cast<CGridPoint*>(v)] = 0;
    }
    for (auto& [p, n] : seen)
        s.uses[p] = p->useCount;
    return s;
}

TEST_F(GridEditing, RealSphereQuadByClicksAndSnapsUndoesToEveryMark)
{
    MW_REQUIRE_REAL_FILE(path, "stl", "unit_sphere.STL");
    CFlatMesh sphere;
    ASSERT_TRUE(mwtest::readHashedMesh(sphere, path)); // coarse: the fine one of a click is slow
    ortho(-1.5, 1.5, -1.5, 1.5, -10.0, 10.0);          // pick radius 0.04
    GB::CSurfaceNet net;
    net.setMesh(&sphere);
    net.topologySwitch = false; // no rebuilds while drawing
    net.fittingOff = true;

    std::vector<GridState> states;
    std::map<CGridPoint*, int> seen;
    auto mark = [&] {
        net.undoMarks.append(net.undoList.count);
        states.push_back(stateOf(net, seen));
    };
    mark(); // the empty grid
    // A click; then, for a drag onto the grid point at (sx, sy), a hover
    // over the scene point there and the mouse-up that snaps onto it.
    auto gesture = [&](float x, float y, float sx, float sy) {
        ASSERT_TRUE(net.editAtMouseDown(ray(x, y), 0)) << x << " " << y;
        mark();
        if (sx == 9)
            return;
        Mesh::CBaseMesh::CBaseHitInfo under;
        int hits = 0;
        COffset_PointList* pl = nullptr;
        CVertex<float, 3>* gp = nullptr;
        ASSERT_TRUE(COffset_Grid::pickMeshAlongRay(&sphere, ray(sx, sy).rayOrigin, kDown, under, 1,
                                                   true, false, hits));
        ASSERT_TRUE(net.hoverPick(under, kDown, pl, gp) && gp != nullptr);
        ASSERT_TRUE(net.onMouseUp(true));
        mark();
    };
    // Corners A (-0.31, -0.29), B (0.29, -0.31), C (0.31, 0.29), D (-0.29,
    // 0.31), a point halfway along each side. A line refuses the turn at a
    // corner, so each side starts on its own and is dragged onto the corner.
    // The last click lies outside the pick radius of A and is dragged onto it.
    const float gestures[][4] = {
        {-0.31f, -0.29f, 9, 9},         {-0.01f, -0.30f, 9, 9},  {0.29f, -0.31f, 9, 9},
        {0.31f, -0.01f, 0.29f, -0.31f}, {0.30f, 0.01f, 9, 9},    {0.31f, 0.29f, 9, 9},
        {0.01f, 0.30f, 0.31f, 0.29f},   {0.0f, 0.32f, 9, 9},     {-0.29f, 0.31f, 9, 9},
        {-0.30f, 0.0f, -0.29f, 0.31f},  {-0.305f, -0.01f, 9, 9}, {-0.36f, -0.26f, -0.31f, -0.29f}};
    for (const auto& g : gestures)
        gesture(g[0], g[1], g[2], g[3]);
    ASSERT_EQ(net.getNumPointLists(), 4);
    for (COffset_PointList* pl : net.pointLists)
        EXPECT_EQ(pl->getCount(), 3);

    net.topologySwitch = true;
    mwtest::capturedStdout([&] { net.buildTopology(false); });
    ASSERT_NE(net.firstFace, nullptr);
    EXPECT_EQ(net.firstFace->next, nullptr);
    EXPECT_EQ(net.firstFace->firstLoop->getCycleLength(), 4);

    // Every undo goes back to its own mark, to the empty grid at last; the
    // last mark, taken after the last edit, encloses nothing.
    for (int k = int(states.size()) - 1; k >= 0; --k) {
        net.undo();
        for (auto& [p, n] : seen)
            states[k].uses.try_emplace(p, 0);
        EXPECT_EQ(stateOf(net, seen), states[k]) << "mark " << k;
    }
    EXPECT_EQ(net.getNumPointLists(), 0);
}

} // namespace
