// How a face of the net meets its surface and is shown: loop corners among
// the grid points, their match to the surface's corners and the sides
// between them, sharp sides, the trimmed face kept by the net with its
// display, trim curves on coedges, and the face display drawn offscreen.
#include "net/FaceDisplay.h"
#include "curves/ParCurve.h"
#include "display/ColorCoding.h"
#include "geometry/NurbsSurf.h"
#include "mesh/GridPoint.h"
#include "net/Face.h"
#include "net/FaceRecords.h"
#include "net/Faceter.h"
#include "net/OpenGLFace.h"
#include "net/SurfaceNet.h"

#include "support/GLView.h"
#include "support/GridFixtures.h"
#include "support/NurbsFixtures.h"
#include "support/ScratchDir.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;
using Point = CVertex<float, 3>;

// The bilinear patch on [0, 1]^2 whose corner control points (0, 0), (1, 0),
// (1, 1), (0, 1) lie at the given points.
Fenwo::NurbsSurf* patch(const Point& sw, const Point& se, const Point& ne, const Point& nw)
{
    const knots k(1, 1, 0.0, 1.0);
    auto* s = new Fenwo::NurbsSurf(k, &k);
    const Point* c[2][2] = {{&sw, &nw}, {&se, &ne}};
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j)
            s->setControlPoint(i, j, Vector(c[i][j]->data[0], c[i][j]->data[1], c[i][j]->data[2]));
    return s;
}

// A loop whose half-edge i runs along pieces[i] to corner i + 1.
GB::Loop* ringLoop(const std::vector<Point*>& corners,
                   const std::vector<COffset_PointList*>& pieces)
{
    auto* loop = new GB::Loop();
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        auto* h = new GraphAlgorithm::CHalfEdge();
        h->target = new _CVertex(corners[(i + 1) % corners.size()]);
        h->polyLine = pieces[i];
        loop->cycle.append(h);
    }
    const int n = loop->cycle.count;
    for (int i = 0; i < n; ++i) {
        loop->cycle.items[i]->next = loop->cycle.items[(i + 1) % n];
        loop->cycle.items[i]->previous = loop->cycle.items[(i + n - 1) % n];
    }
    return loop;
}

// The rectangle (0, 0) - (4, 2) of four poly-lines; the bottom one passes a
// middle point where a stem ends (a T-junction on the side).
struct Rectangle {
    GB::CSurfaceNet net;
    Point* c[4];
    Point* middle;
    COffset_PointList* sides[4];
    GB::Face* face;

    Rectangle()
    {
        const float xy[4][2] = {{0, 0}, {4, 0}, {4, 2}, {0, 2}};
        for (int i = 0; i < 4; ++i)
            c[i] = mwtest::gridPoint(xy[i][0], xy[i][1]);
        middle = mwtest::gridPoint(2, 0);
        mwtest::polyLine(net, {mwtest::gridPoint(2, -1), middle});
        sides[0] = mwtest::polyLine(net, {c[0], middle, c[1]});
        for (int i = 1; i < 4; ++i)
            sides[i] = mwtest::polyLine(net, {c[i], c[(i + 1) % 4]});
        face = new GB::Face(
            ringLoop({c[0], c[1], c[2], c[3]}, {sides[0], sides[1], sides[2], sides[3]}));
        face->next = net.firstFace;
        net.firstFace = face;
    }
    GB::Loop* loop() { return face->firstLoop; }
    long serial(int i) const { return static_cast<Gridbench::CGridPoint*>(c[i])->serial; }
};

TEST(FaceDisplay, CornersOfALoopAndTheSidesBetweenThem)
{
    Rectangle r;
    Kor::List<Point*> points;
    r.loop()->getVertexList(points);
    const Point* expected[] = {r.c[0], r.middle, r.c[1], r.c[1], r.c[2],
                               r.c[2], r.c[3],   r.c[3], r.c[0]};
    ASSERT_EQ(points.count, 9);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(points[i], expected[i]) << i;

    Kor::List<Point*> ring;
    for (Point* p : {r.c[0], r.middle, r.c[1], r.c[2], r.c[3]})
        ring.append(p);
    Kor::List<v_attribute> flags;
    Kor::List<int> indices;
    EXPECT_EQ(findLoopCorners(ring, r.net.pointLists, flags, indices), 4);
    const v_attribute corners[] = {Corner, NoCorner, Corner, Corner, Corner};
    ASSERT_EQ(flags.count, 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(flags[i], corners[i]) << i;
    EXPECT_EQ(indices.count, 5);
    EXPECT_EQ(indices[1], 1); // the side, not the stem

    // No poly-line leads on from c1 (the right side is left out): c1 still
    // gets its flag, so that the flags keep naming the right points and the
    // corners stay c0, c2 and c3. Without its flag c1 would take c2's place
    // among the corners and c2 c3's.
    Kor::List<COffset_PointList*> gap;
    for (COffset_PointList* pl : r.net.pointLists)
        if (pl != r.sides[1])
            gap.append(pl);
    EXPECT_EQ(findLoopCorners(ring, gap, flags, indices), 3);
    ASSERT_EQ(flags.count, 5);
    std::vector<Point*> found;
    for (int i = 0; i < 5; ++i)
        if (flags[i] == Corner)
            found.push_back(ring[i]);
    EXPECT_EQ(found, (std::vector<Point*>{r.c[0], r.c[2], r.c[3]}));
    EXPECT_EQ(indices.count, 4); // c1 has no poly-line leading on

    // A poly-line through its own point: a row from a over m to b runs on
    // round the corner outside and back in through m as a column down to d.
    // Each pass runs straight through m, but the cell m b e t turns there
    // from one pass to the other: m is its corner as it would be with the
    // row and the column drawn apart (it was none: the poly-line holds t, m
    // and b, and t and b on both sides of m).
    GB::CSurfaceNet net;
    Point *m = mwtest::gridPoint(0, 0), *b = mwtest::gridPoint(2, 0);
    Point *e = mwtest::gridPoint(2, 2), *t = mwtest::gridPoint(0, 2);
    mwtest::polyLine(net, {mwtest::gridPoint(-2, 0), m, b, mwtest::gridPoint(3, 0),
                           mwtest::gridPoint(3, 3), mwtest::gridPoint(0, 3), t, m,
                           mwtest::gridPoint(0, -2)});
    mwtest::polyLine(net, {b, e});
    mwtest::polyLine(net, {e, t});
    Kor::List<Point*> cell;
    for (Point* p : {m, b, e, t})
        cell.append(p);
    EXPECT_EQ(findLoopCorners(cell, net.pointLists, flags, indices), 4);
    EXPECT_EQ(flags[0], Corner);

    // Corners that tie go to the lower row, then the lower column.
    std::unique_ptr<Fenwo::NurbsSurf> s(patch(*r.c[0], *r.c[1], *r.c[2], *r.c[3]));
    Kor::List<Point*> four;
    for (Point* p : {r.middle, r.middle, r.c[2], r.c[3]})
        four.append(p);
    Kor::List<CPointOnSurfaceBoundary> positions;
    EXPECT_FALSE(matchCornersToSurface(ring, s.get(), positions));
    ASSERT_TRUE(matchCornersToSurface(four, s.get(), positions));
    const BoundaryPosition matched[] = {uvSouthWest, uvSouthEast, uvNorthEast, uvNorthWest};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(positions[i].position, matched[i]) << i;

    const BoundaryPosition c[] = {uvSouthWest, uvSouthEast, uvNorthEast, uvNorthWest};
    const BoundaryPosition sides[] = {uvSouth, uvEast, uvNorth, uvWest};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(sideBetweenCorners(c[i], c[(i + 1) % 4]), sides[i]);
        EXPECT_EQ(sideBetweenCorners(c[(i + 1) % 4], c[i]), sides[i]);
    }
    CaptureStdout();
    EXPECT_EQ(sideBetweenCorners(uvSouthWest, uvNorthEast), undefinedPosition);
    EXPECT_EQ(sideBetweenCorners(uvSouth, uvSouthWest), undefinedPosition);
    EXPECT_EQ(GetCapturedStdout(), "returning undefinedPosition.\nreturning undefinedPosition.\n");
}

TEST(FaceDisplay, BoundaryWalkReportsSharpAndUndefinedSides)
{
    Rectangle r;
    r.face->surface = patch(*r.c[0], *r.c[1], *r.c[2], *r.c[3]);
    r.loop()->coedges.append(nullptr);
    Kor::List<double> none;
    r.sides[1]->setCurve(clampedCurve({Vector(4, 0, 0), Vector(4, 2, 0)}, 1).release(), none, 0,
                         -1);
    CaptureStdout();
    EXPECT_TRUE(r.net.updateFaceBoundary(r.loop()));
    EXPECT_EQ(GetCapturedStdout(), "isSharp! from" + std::to_string(r.serial(1)) + " to" +
                                       std::to_string(r.serial(2)) + "\n");
    EXPECT_EQ(r.loop()->coedges.count, 0);

    // A surface whose corners cross the loop's: two diagonal sides.
    delete r.face->surface;
    r.face->surface = patch(*r.c[0], *r.c[2], *r.c[1], *r.c[3]);
    const std::string deb = mwtest::scratchPath("deb.out");
    EXPECT_FALSE(std::filesystem::exists(deb));
    CaptureStdout();
    r.net.updateFaceBoundary(r.loop());
    const std::string undefined = "returning undefinedPosition.\nreturning undefinedPosition.\n"
                                  "borderpos undefined, could not recreate CoEdge \n";
    EXPECT_EQ(GetCapturedStdout(), undefined + "isSharp! from" + std::to_string(r.serial(1)) +
                                       " to" + std::to_string(r.serial(2)) + "\n" + undefined);
    EXPECT_TRUE(std::filesystem::exists(deb));

    GB::Loop lonely;
    EXPECT_FALSE(r.net.updateFaceBoundary(&lonely));
    EXPECT_FALSE(r.net.updateFaceBoundary(nullptr));
}

TEST(FaceDisplay, NetKeepsTrimmedFacesAndTheirDisplay)
{
    Rectangle r;
    auto* first = new CFace(patch(*r.c[0], *r.c[1], *r.c[2], *r.c[3]));
    r.face->requestedState = Trimmed;
    r.face->surface = first->surface;
    char name[32];
    GB::CSurfaceNet::getFaceDisplayName(r.face, name, sizeof name);

    EXPECT_TRUE(r.net.updateFaceDisplay(first, r.loop(), false));
    EXPECT_EQ(r.face->trimmedFace, first);
    EXPECT_EQ(r.net.displayContainer.findEntityByName(name), nullptr);
    EXPECT_FALSE(r.net.updateFaceDisplay(first, nullptr, true));

    r.face->errorPoints.append(1.f);
    EXPECT_TRUE(r.net.updateFaceDisplay(first, r.loop(), true));
    auto* display = dynamic_cast<COpenGLFace*>(r.net.displayContainer.findEntityByName(name));
    ASSERT_NE(display, nullptr);
    EXPECT_EQ(display->face, first);
    EXPECT_EQ(display->loop, r.loop());
    EXPECT_EQ(display->errorPoints.count, 1);
    EXPECT_EQ(first->MeshType, 17);
    EXPECT_EQ(first->MeshDistance, 0.05);

    // A new trimmed face takes the same display; the old one is deleted.
    for (int i = 0; i < 4; ++i)
        r.loop()->coedges.append(new CCoEdge(0, r.sides[i]->getCount() - 1, r.sides[i]));
    r.loop()->coedges[2]->leftLoop = r.loop();
    auto* second = new CFace(patch(*r.c[0], *r.c[1], *r.c[2], *r.c[3]));
    EXPECT_TRUE(r.net.updateFaceDisplay(second, r.loop(), true));
    EXPECT_EQ(r.net.displayContainer.findEntityByName(name), display);
    EXPECT_EQ(display->face, second);
    EXPECT_EQ(r.face->surface, second->surface);

    // Each trim curve went to the coedge along it, on the face's side.
    for (int i = 0; i < 4; ++i) {
        CCoEdge* coedge = r.loop()->coedges[i];
        ASSERT_TRUE(coedge->leftSet) << i;
        EXPECT_EQ(coedge->leftLoop, r.loop());
        auto* curve = dynamic_cast<CCONS*>(coedge->leftSideSurface);
        ASSERT_NE(curve, nullptr);
        const Vector a = curve->getStartPoint(), b = curve->getEndPoint();
        const Point& p = *r.sides[i]->vertices[0];
        EXPECT_LT(std::min(squaredDistance(a, Vector(p.data[0], p.data[1], 0)),
                           squaredDistance(b, Vector(p.data[0], p.data[1], 0))),
                  1e-20)
            << i;
    }
    GB::Loop other, another;
    CCoEdge* taken = r.loop()->coedges[0];
    taken->leftLoop = &other;
    taken->rightLoop = &another;
    CaptureStdout();
    assignCoEdgeToSegment(second->trimLoops[0]->getCurve(0), r.loop());
    EXPECT_NE(GetCapturedStdout().find("uups, Left and Right are already occupied \n"),
              std::string::npos);
    for (CCoEdge* coedge : r.loop()->coedges)
        delete coedge;
    r.loop()->coedges.removeAll();
}

class FaceView : public mwtest::GLView {
protected:
    FaceView() : GLView(400, 400) {}
    void SetUp() override
    {
        GLView::SetUp();
        ortho(-5, 5, -5, 5);
    }
    // Pixel of world x (or y) in [-5, 5].
    static int pixelOf(double x) { return static_cast<int>((x + 5.0) * 40.0); }
};

TEST_F(FaceView, DrawsTrimCurvesErrorPointsAndCornerMarkers)
{
    Point sw(-4, -4, 0), se(4, -4, 0), ne(4, 4, 0), nw(-4, 4, 0);
    CFace face(patch(sw, se, ne, nw));
    CColorCoding map;
    map.setRange(-1.0, 1.0);
    Kor::List<float> errors;
    for (float v : {0.f, 0.f, 0.5f, 0.f, 0.f, 0.f})
        errors.append(v);
    COpenGLFace display(&face, errors, &map);
    EXPECT_EQ(display.layer, COpenGLEntity::LayerTop);

    // Trim curves: a strip 1.0 inside the outer loop, in orange.
    display.setFaceDisplayMode(2, true);
    EXPECT_EQ(display.draw(), 0u);
    const unsigned orange = mwtest::rgb(1.0, 0.5647, 0.0);
    EXPECT_GT(countPixels(orange), 4 * 200);
    // The strip runs along x = 3 and y = +-3, each from -4 to 4.
    EXPECT_GT(countPixels(orange, 3, {pixelOf(3) - 2, 150, pixelOf(3) + 3, 250}), 90);
    EXPECT_EQ(countPixels(orange, 3, {pixelOf(3.5), 150, 400, 250}), 0);
    EXPECT_EQ(countPixels(orange, 3, {pixelOf(4.2), 0, 400, 400}), 0);
    float rgba[4];
    map.getColour(rgba, 0.5);
    EXPECT_EQ(countPixels(mwtest::rgb(rgba[0], rgba[1], rgba[2]), 3, {199, 199, 201, 201}), 4);

    // An error list that is not made of whole records draws no point.
    for (int whole : {1, 0}) {
        display.errorPoints.removeAll();
        for (int i = 0; i < 6 + (1 - whole); ++i)
            display.errorPoints.append(0.f);
        display.setDirty();
        EXPECT_EQ(feedback([&] { display.draw(); }).points, whole);
    }

    // Mode 4 compiles an empty list.
    display.setFaceDisplayMode(4, true);
    const Primitives nothing = feedback([&] { display.draw(); });
    EXPECT_EQ(nothing.points + nothing.lines + nothing.polygons, 0);

    // The loop's corners get markers, wherever the face draws nothing.
    COffset_Grid grid(nullptr);
    std::vector<Point*> corners;
    std::vector<COffset_PointList*> sides;
    for (const Point* p : {&sw, &se, &ne, &nw})
        corners.push_back(mwtest::gridPoint(p->data[0], p->data[1]));
    for (int i = 0; i < 4; ++i)
        sides.push_back(mwtest::polyLine(grid, {corners[i], corners[(i + 1) % 4]}));
    std::unique_ptr<GB::Loop> loop(ringLoop(corners, sides));
    display.loop = loop.get();
    display.face = nullptr;
    display.setFaceDisplayMode(0, true);
    clear();
    display.draw();
    const unsigned red = mwtest::rgb(0.8, 0.0, 0.1);
    int nearCorners = 0;
    for (const Point* p : corners) {
        const int x = pixelOf(p->data[0]), y = pixelOf(p->data[1]);
        const int here = countPixels(red, 3, {x - 4, y - 4, x + 5, y + 5});
        EXPECT_GT(here, 4);
        nearCorners += here;
    }
    EXPECT_EQ(countPixels(red), nearCorners);
}

TEST_F(FaceView, FaceDrawsItsListShadingTrimsAndDisplayCurves)
{
    Point sw(-4, -4, 0), se(4, -4, 0), ne(4, 4, 0), nw(-4, 4, 0);
    CFace face(patch(sw, se, ne, nw));
    const double a[3] = {0.1, 0.5, 0.0}, b[3] = {0.9, 0.5, 0.0};
    CCONS across(makeCurve(a, b), face.surface);
    across.ownsUVCurve = true;
    addDisplayCurve(face, &across);
    // A tessellation of one quad over the lower half and one iso line.
    face.faceter = new CFaceter();
    face.faceter->quads.append(quadDataType{{0, 1, 1, 0}, {0, 0, 0.5, 0.5}});
    Kor::List<tuple<float, 2>> iso;
    for (float u : {0.25f, 0.25f}) {
        tuple<float, 2> t;
        t[0] = u;
        t[1] = iso.count == 0 ? 0.5f : 1.0f;
        iso.append(t);
    }
    face.faceter->scanSegments.append(iso);
    light();
    glDisable(GL_DEPTH_TEST);
    face.draw(true, true);
    ASSERT_NE(face.displayList, -1);
    const unsigned shaded = mwtest::rgb(1.0, 0.8, 0.3607);
    EXPECT_GT(countPixels(shaded, 3, {0, 0, 400, 200}), 300 * 150);
    EXPECT_EQ(countPixels(shaded, 3, {0, 210, 400, 400}), 0);
    const unsigned trims = mwtest::rgb(0.11764706, 0.56470588, 1.0);
    EXPECT_GT(countPixels(trims, 3, {pixelOf(-4) - 1, 50, pixelOf(-4) + 2, 350}), 250);
    EXPECT_GT(countPixels(mwtest::rgb(1.0, 0.57406, 0.0), 3, {60, 195, 340, 205}), 250);
    EXPECT_GT(litPixels(0, {pixelOf(-2) - 1, 250, pixelOf(-2) + 2, 350}), 90); // the iso line

    // Replayed from the list; a dropped cache draws nothing from it.
    const unsigned list = static_cast<unsigned>(face.displayList);
    clear();
    face.draw(true, true);
    EXPECT_EQ(static_cast<unsigned>(face.displayList), list);
    EXPECT_GT(countPixels(shaded), 300 * 150);
    face.clearDisplayCache();
    EXPECT_EQ(face.displayList, -1);
    EXPECT_EQ(face.faceter, nullptr);
    EXPECT_FALSE(glIsList(list));
}

} // namespace
