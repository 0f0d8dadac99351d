// The surface net: its defaults, its faces and what leaves with them, the
// editing entries while busy or while "Y" is held, its displays and drawing in
// an offscreen view, and a net of ray hits on the real unit sphere.
#include "net/SurfaceNet.h"
#include "curves/IsoParametricCurve.h"
#include "display/entities/OpenGLSasSurf.h"
#include "geometry/NurbsSurf.h"
#include "mesh/FlatMesh.h"
#include "mesh/GridPoint.h"
#include "mesh/MeshGeometry.h"
#include "mesh/StlFormat.h"
#include "net/OpenGLPointList.h"
#include "platform/InputState.h"
#include "platform/MessageBox.h"

#include "support/GLView.h"
#include "support/GridFixtures.h"
#include "support/NurbsFixtures.h"
#include "support/ScratchDir.h"
#include "support/TestMeshes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <set>
#include <string>

namespace {

using GB::CSurfaceNet;
using Gridbench::CGridPoint;
using mwtest::gridPoint;
using mwtest::NotificationCounter;
using mwtest::polyLine;
using Point = CVertex<float, 3>;

// The bilinear patch over [-s, s]^2 in the plane z = 0.
Fenwo::NurbsSurf* square(double s)
{
    const knots k(1, 1, 0.0, 1.0);
    auto* patch = new Fenwo::NurbsSurf(k, &k);
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j)
            patch->setControlPoint(i, j, Vector(s * (2 * i - 1), s * (2 * j - 1), 0.0));
    return patch;
}

// A face at the head of the net's chain, with a display of its name.
GB::Face* addFace(CSurfaceNet& net, FaceState state, CParametricGeometry* surface)
{
    auto* face = new GB::Face(new GB::Loop());
    face->requestedState = state;
    face->surface = surface;
    face->next = net.firstFace;
    net.firstFace = face;
    char name[32];
    CSurfaceNet::getFaceDisplayName(face, name, sizeof name);
    net.displayContainer.addEntity(new COpenGLSasSurf(
        name, dynamic_cast<Fenwo::NurbsSurf*>(surface), 1, 1, 1, 1, true, false, false));
    return face;
}

TEST(SurfaceNet, NewNetDefaults)
{
    COpenGLEntity* asEntity = nullptr;
    {
        auto* net = new CSurfaceNet();
        asEntity = net;
        EXPECT_TRUE(net->draftOnly && net->liveEdit && net->editAllowed && net->markerColour);
        EXPECT_EQ(net->surfaceQuality, 2);
        EXPECT_EQ(net->surfaceTolerance, 0.1);
        EXPECT_EQ(net->getTolerance1(), 0.01);
        EXPECT_EQ(net->getTolerance2(), 0.1);
        EXPECT_EQ(net->getTolerance3(), 0.5);
        EXPECT_EQ(net->mode, 0);
        EXPECT_EQ(net->sideCount, 5);
        EXPECT_EQ(net->numCtrlPts, 100);
        EXPECT_EQ(net->getPickRadius(), 1.0);
        EXPECT_EQ(net->snapFactor, 0.5);
        EXPECT_EQ(net->pointSize, 4);
        EXPECT_EQ(net->alternativeSnapDistance, 0.1);
        EXPECT_EQ(net->statusText, "nothing loaded");
        EXPECT_EQ(net->vertexListName, "VertexList");
        const CColorCoding& grid = net->colorCoding;
        EXPECT_EQ(grid.mode, 3);
        EXPECT_EQ(grid.minimum, -0.15);
        EXPECT_EQ(grid.maximum, 0.15);
        EXPECT_EQ(grid.count, 360);
        const CColorCoding& faces = *net->faceColorCoding;
        EXPECT_EQ(faces.mode, 1);
        EXPECT_EQ(faces.minimum, -0.1);
        EXPECT_EQ(faces.maximum, 0.1);
        const float expected[11][4] = {
            {0.5f, 0.5f, 0.5f, 1}, {1, 0.5f, 0, 1},       {1, 0, 1, 1},   {0, 1, 1, 1},
            {1, 0, 0, 1},          {1, 0.41f, 0.506f, 1}, {1, 1, 0, 1},   {1, 1, 1, 1},
            {1, 0, 0, 1},          {1, 1, 1, 1},          {0.5f, 0, 0, 1}};
        EXPECT_TRUE(std::equal(&expected[0][0], &expected[0][0] + 44, &net->colours[0][0]));
        EXPECT_EQ(net->displayContainer.findEntity(net->key), asEntity);
        polyLine(*net, {gridPoint(0, 0), gridPoint(1, 0)});
    }
    delete asEntity; // through the drawable: the whole net goes (leak checker)
}

TEST(SurfaceNet, FacesLeaveWithWhatTheyOwn)
{
    auto net = std::make_unique<CSurfaceNet>();
    std::unique_ptr<Fenwo::NurbsSurf> trimmedSurface(square(1.0)), base(square(1.0));
    COffset_PointList* ribbonLine = polyLine(*net, {gridPoint(0, 0), gridPoint(1, 0)});
    Kor::List<double> t;
    ribbonLine->setCurve(clampedCurve({Vector(0, 0, 0), Vector(1, 0, 0)}, 1).release(), t, 0, -1);

    GB::Face* ribbon = addFace(*net, Ribbon, ribbonLine->getCurve());
    EXPECT_TRUE(net->hasSurfaces()); // a Ribbon face counts
    Kor::List<Fenwo::NurbsSurf*> surfaces;
    EXPECT_EQ(net->getSurfaces(surfaces), 0);
    GB::Face* trimmed = addFace(*net, Trimmed, trimmedSurface.get());
    addFace(*net, ComplexApprox, new CIsoParametricCurve(base.get(), uvSouth));
    GB::Face* fitted = addFace(*net, ComplexApprox, square(0.5));
    addFace(*net, Draft, nullptr);
    EXPECT_EQ(net->getSurfaces(surfaces), 2); // the trimmed and the fitted surface
    EXPECT_EQ(surfaces.count, 2);
    EXPECT_EQ(surfaces[0], fitted->surface);

    // Every live face has a display name of its own.
    std::set<std::string> names;
    for (GB::Face* f = net->firstFace; f != nullptr; f = f->next) {
        ASSERT_NE(net->findFaceDisplay(f), nullptr);
        names.insert(net->findFaceDisplay(f)->getName().c_str());
    }
    EXPECT_EQ(names.size(), 5u);

    // A trimmed face detaches the coedges of its first loop first.
    COffset_PointList other(nullptr);
    CCoEdge seam(0, 1, &other);
    seam.leftLoop = trimmed->firstLoop;
    seam.setLeftSurface(trimmedSurface.get());
    seam.setRightSurface(base.get());
    trimmed->firstLoop->coedges.append(&seam);
    ASSERT_TRUE(net->removeFace(trimmed));
    EXPECT_FALSE(seam.leftSet);
    EXPECT_EQ(seam.leftSideSurface, nullptr);
    EXPECT_TRUE(seam.rightSet);
    EXPECT_NE(trimmedSurface->getPoint(0.5, 0.5).size(), 0);

    // A Ribbon face leaves its poly-line's curve alive.
    ASSERT_TRUE(net->removeFace(ribbon));
    ASSERT_NE(ribbonLine->getCurve(), nullptr);
    EXPECT_EQ(ribbonLine->getCurve()->getPoint(1.0, 0.0)[0], 1.0);
    EXPECT_FALSE(net->removeFace(nullptr));
    GB::Face stray;
    EXPECT_FALSE(net->removeFace(&stray)); // not the net's

    // deleteAll(true) without poly-lines keeps the faces; false removes them.
    // (The topology is off: it would remove the faces no cycle bounds.)
    net->topologySwitch = false;
    net->removePointList(ribbonLine, false);
    EXPECT_EQ(net->deleteAll(true), 0);
    EXPECT_NE(net->firstFace, nullptr);
    EXPECT_EQ(net->deleteAll(false), 0);
    EXPECT_EQ(net->firstFace, nullptr);
    for (const std::string& name : names)
        EXPECT_EQ(net->displayContainer.findEntityByName(name.c_str()), nullptr);
}

// The net asks no question before it removes poly-lines and faces, unlike
// the grid alone.
TEST(SurfaceNet, NetDeleteAllAsksNoQuestion)
{
    int asked = 0;
    auto previous =
        Platform::setMessageBoxHandler([&](const std::string&, Platform::MessageBoxButtons) {
            ++asked;
            return Platform::MessageBoxAnswer::No;
        });
    CSurfaceNet net;
    polyLine(net, {gridPoint(0, 0), gridPoint(1, 0)});
    addFace(net, ComplexApprox, square(1.0));
    EXPECT_EQ(net.deleteAll(true), 1);
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(net.getNumPointLists(), 0);
    EXPECT_EQ(net.firstFace, nullptr);
    Platform::setMessageBoxHandler(previous);
}

TEST(SurfaceNet, EditingEntriesWaitWhileBusyOrWhileYIsHeld)
{
    NotificationCounter sent;
    bool yHeld = false;
    auto previous = Platform::setKeyStateQuery([&](int key) { return yHeld && key == 'Y'; });
    CFlatMesh mesh;
    CSurfaceNet net;
    net.setNotifyWindow(mwtest::testWindow(), 1);
    CGridMouseEvent click;
    EXPECT_FALSE(net.update()); // no mesh
    net.setMesh(&mesh);
    EXPECT_TRUE(net.update());
    EXPECT_EQ(sent.take(), 2); // the surface update's and the grid's
    yHeld = true;
    EXPECT_TRUE(net.update());
    EXPECT_EQ(sent.take(), 0);
    yHeld = false;
    net.busy = true;
    EXPECT_FALSE(net.update());
    EXPECT_FALSE(net.onMouseDown(click, 0));
    EXPECT_EQ(mwtest::capturedStdout([&] { EXPECT_FALSE(net.onRButtonDown(click, 0)); }), "");
    EXPECT_EQ(sent.take(), 0);
    net.busy = false;

    // A new surface quality resets the faces without recomputing them.
    GB::Face* face = addFace(net, ComplexApprox, nullptr);
    face->computedState = Draft;
    net.setMode(2);
    EXPECT_EQ(net.setSurfaceQuality(2), 2);
    EXPECT_EQ(face->computedState, Draft);
    EXPECT_EQ(net.mode, 2);
    EXPECT_EQ(net.setSurfaceQuality(1), 1);
    EXPECT_EQ(face->computedState, Naked);
    EXPECT_EQ(net.mode, 0);
    EXPECT_EQ(net.surfaceQuality, 1);
    Platform::setKeyStateQuery(previous);
}

TEST(SurfaceNet, ReadingAMissingFileChangesNothing)
{
    CSurfaceNet net;
    polyLine(net, {gridPoint(0, 0), gridPoint(1, 0)});
    const std::string path = mwtest::scratchPath("missing.net");
    EXPECT_EQ(mwtest::capturedStdout([&] { EXPECT_FALSE(net.readFile(path.c_str())); }),
              "cannot open the net file " + path + ": file not found\n");
    EXPECT_EQ(net.getNumPointLists(), 1);
}

using SurfaceNetView = mwtest::GLView;

TEST_F(SurfaceNetView, RightClickThatEditsNothingReportsNoPick)
{
    CSurfaceNet net;
    CGridMouseEvent click;
    click.point = CVertex<double, 3>(0.5, -0.5, 0.0);
    EXPECT_EQ(mwtest::capturedStdout([&] { EXPECT_FALSE(net.onRButtonDown(click, 0)); }),
              "no pick at48 48\n");
}

TEST_F(SurfaceNetView, DisplaysTakeTheSwitchesAndTheNetDrawsAroundTheCurrentLine)
{
    NotificationCounter sent;
    {
        CSurfaceNet net;
        net.setNotifyWindow(mwtest::testWindow(), 1);
        COffset_PointList* pl = polyLine(net, {gridPoint(-0.5f, -0.5f), gridPoint(0.5f, -0.5f)});
        net.setCurrentPointList(pl);
        auto* display =
            dynamic_cast<COpenGLPointList*>(net.displayContainer.findEntity(displayKeyOf(*pl)));
        ASSERT_NE(display, nullptr);
        EXPECT_NE(display->quadric, nullptr);
        EXPECT_EQ(display->layer, COpenGLEntity::LayerTop);
        EXPECT_EQ(display->lineWidth, 8.f);
        GB::Face* face = addFace(net, ComplexApprox, square(0.5));
        auto* faceDisplay = dynamic_cast<COpenGLSasSurf*>(net.findFaceDisplay(face));
        CCoEdge piece(0, 1, pl);
        face->firstLoop->coedges.append(&piece);
        sent.take();

        EXPECT_TRUE(net.setDepthTest(true));
        EXPECT_TRUE(display->depthTest && faceDisplay->depthTest);
        EXPECT_EQ(sent.take(), 2); // the grid's and the net's
        EXPECT_FALSE(net.setDepthTest(true));
        EXPECT_EQ(sent.take(), 0);
        net.setWireframe(false);
        EXPECT_TRUE(faceDisplay->shaded);
        net.showSurfaces(false);
        net.showGridEntities(false);
        EXPECT_TRUE(faceDisplay->hidden && display->hidden);

        // With the current poly-line on the face's loop the net draws the
        // face's surface, unless the face's display is hidden.
        faceDisplay->hidden = false;
        clear();
        net.displayContainer.draw();
        EXPECT_EQ(net.layer, COpenGLEntity::LayerTop);
        const int drawn = litPixels();
        EXPECT_GT(drawn, 0);
        faceDisplay->hidden = true;
        clear();
        net.displayContainer.draw();
        EXPECT_EQ(litPixels(), 0);
        face->firstLoop->coedges.removeAll();
    }
}

TEST(SurfaceNet, RealSphereNetOfRayHits)
{
    MW_REQUIRE_REAL_FILE(path, "stl", "unit_sphere.STL");
    CFlatMesh mesh;
    ASSERT_TRUE(mwtest::readHashedMesh(mesh, path));
    auto net = std::make_unique<CSurfaceNet>();
    net->setMesh(&mesh);

    // Rays straight down at x, y in {-0.5, 0, 0.5} hit the upper half.
    const float c[3] = {-0.5f, 0.f, 0.5f};
    CGridPoint* at[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            Kor::Set<Mesh::CBaseMesh::CBaseHitInfo> hits;
            ASSERT_TRUE(mesh.hit(Point(c[i], c[j], 5.f), CVector<float, 3>(0, 0, -1), hits, true,
                                 false, false, nullptr, 0.0));
            at[i][j] = new CGridPoint(*hits[0]);
            EXPECT_NEAR(at[i][j]->data[2], std::sqrt(1.0 - c[i] * c[i] - c[j] * c[j]), 0.02);
        }
    // Three poly-lines each way; the inner ones end on the outer ones.
    for (int k = 0; k < 3; ++k) {
        polyLine(*net, {at[0][k], at[1][k], at[2][k]});
        polyLine(*net, {at[k][0], at[k][1], at[k][2]});
    }
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            const CGridPoint* p = at[i][j];
            EXPECT_EQ(p->useCount, 2);
            const bool centre = i == 1 && j == 1, corner = i != 1 && j != 1;
            EXPECT_EQ(net->isCrossing(p), centre) << i << j;
            EXPECT_EQ(net->isTJunction(p), !centre && !corner) << i << j;
        }
    const Kor::SubSet<CVertex<float, 3>> points = net->collectGridPoints(false);
    ASSERT_EQ(points.count, 9);
    std::set<const CVertex<float, 3>*> collected(points.items, points.items + points.count);
    for (auto& row : at)
        for (CGridPoint* p : row)
            EXPECT_EQ(collected.count(p), 1u);
    for (int k = 1; k < points.count; ++k)
        EXPECT_TRUE(isLessVertex(*points[k - 1], *points[k]));
}

} // namespace
