// The surface update of the net: which loops it takes and in which order,
// its progress labels, cancellation and change marks, the face colours and
// the clearing of a face, and the poly-line display it leans on.
#include "display/entities/OpenGLSasSurf.h"
#include "foundation/Progress.h"
#include "geometry/NurbsSurf.h"
#include "mesh/FlatMesh.h"
#include "mesh/GridPoint.h"
#include "net/Face.h"
#include "net/FaceRecords.h"
#include "net/OpenGLPointList.h"
#include "net/SurfaceNet.h"

#include "curves/Projections.h"
#include "curves/StartValues.h"
#include "fitting/FitFixtures.h"
#include "support/GLView.h"
#include "support/GridFixtures.h"
#include "support/NurbsFixtures.h"
#include "support/TestMeshes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

using GB::CSurfaceNet;

// A sink that records its labels and cancels when a label is set for the
// given time.
class RecordingProgress : public CSimpleProgress {
public:
    std::vector<std::string> labels;
    int cancelAtLabel = -1;

    RecordingProgress() { setPrint(false); }
    bool setLabel(const char* label) override
    {
        labels.emplace_back(label != nullptr ? label : "");
        if (int(labels.size()) == cancelAtLabel)
            setCancelled(true);
        return CSimpleProgress::setLabel(label);
    }
};

// The "#" on a flat mesh under it, fitting off.
struct UpdateNet : mwtest::HashNet {
    CFlatMesh mesh;
    RecordingProgress sink;

    UpdateNet() : mwtest::HashNet(0.f, 0.f, 1.f)
    {
        mwtest::fillFlatMesh(mwtest::gridSoup(4, 4, 0.5, 0.5, true), mesh);
        net.setMesh(&mesh);
        net.setProgress(&sink);
        net.fittingOff = true;
        net.setMode(2);
    }

    std::string update(bool onlyModified = false, GB::Face* only = nullptr)
    {
        sink.labels.clear();
        return mwtest::capturedStdout([&] { net.computeSurfaces(false, onlyModified, only); });
    }
};

TEST(SurfaceUpdate, LoopsTakenLabelsCancellationAndChangeMarks)
{
    UpdateNet t;
    ASSERT_EQ(t.faces().size(), 4u);
    mwtest::NotificationCounter sent;
    t.net.setNotifyWindow(mwtest::testWindow(), 1);

    t.update();
    EXPECT_EQ(t.sink.labels, (std::vector<std::string>{"update face 1 / 4", "update face 2 / 4",
                                                       "update face 3 / 4", "update face 4 / 4",
                                                       "Incremental surface creation finished."}));
    EXPECT_GT(t.mesh.facetHash.cells.count, 0); // built for the update
    EXPECT_FALSE(t.net.busy);
    EXPECT_EQ(sent.take(), 1);
    for (COffset_PointList* pl : t.lines)
        EXPECT_FALSE(pl->modified);
    EXPECT_FALSE(t.at[1][1]->changed);
    t.update(false, t.faces()[2]);
    EXPECT_EQ(t.sink.labels,
              (std::vector<std::string>{"update face", "Incremental surface creation finished."}));
    EXPECT_EQ(sent.take(), 1);

    // Blending faces last; failed loops never; a loop along 25 poly-lines
    // as any other (a region drawn stroke by stroke round many cells).
    std::vector<GB::Face*> faces = t.faces();
    faces[0]->requestedState = Blending;
    faces[3]->firstLoop->failed = true;
    auto* wide = new GB::Face(new GB::Loop());
    std::vector<std::unique_ptr<COffset_PointList>> many;
    for (int k = 0; k < 25; ++k) {
        many.push_back(std::make_unique<COffset_PointList>(nullptr));
        auto* h = new GraphAlgorithm::CHalfEdge();
        h->polyLine = many.back().get();
        wide->firstLoop->cycle.append(h);
    }
    wide->next = t.net.firstFace;
    t.net.firstFace = wide;
    const Kor::List<GB::Loop*> list = t.net.collectLoopsToUpdate(false, nullptr);
    ASSERT_EQ(list.count, 4);
    EXPECT_EQ(list[0], wide->firstLoop);
    EXPECT_EQ(list[3], faces[0]->firstLoop);
    for (int k = 0; k < list.count; ++k)
        EXPECT_NE(list[k], faces[3]->firstLoop);
    t.net.removeFace(wide);

    // Cancelled while the second face is labelled: the marks go all the same.
    faces[3]->firstLoop->failed = false;
    t.lines[0]->modified = true;
    t.at[1][1]->changed = true;
    t.sink.cancelAtLabel = 2;
    t.update();
    EXPECT_EQ(t.sink.labels.size(), 3u);
    EXPECT_EQ(t.sink.labels.back(), "Incremental surface creation finished.");
    EXPECT_FALSE(t.lines[0]->modified);
    EXPECT_FALSE(t.at[1][1]->changed);
    EXPECT_EQ(sent.take(), 1);

    // Nothing to take: notified and marks cleared, no label.
    for (GB::Face* f : faces) {
        t.net.setFaceSurface(f, clampedCurve({Vector(0, 0, 0), Vector(1, 0, 0)}, 1).release());
        f->computedState = f->requestedState;
    }
    t.lines[2]->modified = true;
    t.sink.cancelAtLabel = -1;
    t.update(true);
    EXPECT_TRUE(t.sink.labels.empty());
    EXPECT_FALSE(t.lines[2]->modified);
    EXPECT_EQ(sent.take(), 1);

    // While busy nothing happens.
    t.net.busy = true;
    t.lines[2]->modified = true;
    t.update();
    EXPECT_TRUE(t.lines[2]->modified);
    t.net.busy = false;
}

TEST(SurfaceUpdate, FaceColoursByStateAndClearing)
{
    UpdateNet t;
    GB::Face* face = t.faces()[0];
    struct Case {
        FaceState state;
        float rgb[3];
    };
    const Case cases[] = {{Initial, {0.125f, 0.698f, 0.666f}},
                          {Draft, {0.4666f, 0.53333f, 0.6f}},
                          {Imprint, {0.8235294f, 0.4117647f, 0.11764706f}},
                          {Planar, {0.596f, 0.984f, 0.596f}},
                          {Blending, {0.9f, 0.9f, 0.2f}},
                          {ComplexApprox, {0.9f, 0.9f, 0.2f}}};
    t.net.fittingOff = false;
    auto* surface = clampedCurve({Vector(0, 0, 0), Vector(1, 0, 0)}, 1).release();
    face->surface = surface;
    std::string said;
    for (const Case& c : cases) {
        face->requestedState = c.state;
        said = mwtest::capturedStdout(
            [&] { EXPECT_TRUE(GB::redisplayFace(&t.net, surface, face->firstLoop)); });
        auto* display = dynamic_cast<COpenGLSasSurf*>(t.net.findFaceDisplay(face));
        ASSERT_NE(display, nullptr);
        EXPECT_EQ(display->surface, surface);
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(display->colour[k], c.rgb[k]);
        EXPECT_EQ(display->alpha, 1.f);
    }
    EXPECT_EQ(said.rfind("redisplay id=Face ", 0), 0u);
    // The reader's table gives Blending a colour of its own.
    float rgba[4];
    GB::faceStateColour(Blending, true, rgba);
    EXPECT_EQ(rgba[1], 0.7019608f);
    EXPECT_FALSE(GB::redisplayFace(&t.net, nullptr, face->firstLoop));

    face->requestedState = Ribbon;
    EXPECT_FALSE(t.net.clearFaceSurface(face));
    face->requestedState = Draft;
    EXPECT_TRUE(t.net.clearFaceSurface(face));
    EXPECT_EQ(face->surface, nullptr);
    EXPECT_EQ(t.net.findFaceDisplay(face), nullptr);
    EXPECT_FALSE(t.net.clearFaceSurface(face));

    CSurfaceNet empty;
    Kor::Set<HistogramItem> histogram;
    EXPECT_EQ(empty.countSurfaces(&histogram), 0);
    EXPECT_EQ(histogram.count, 0);
}

TEST(SurfaceUpdate, CoonsAndEquispacedPathsBuildAndShowSurfaces)
{
    UpdateNet t;
    std::vector<GB::Face*> faces = t.faces();
    faces[1]->requestedState = Imprint;
    faces[1]->imprint[0] = 3;
    faces[1]->imprint[1] = 300; // 300 across the side, resampled with at most 200 points
    const std::string said = t.update();

    // Fitting off: Coons patches spanned by the boundaries, shown unfitted.
    for (GB::Face* f : {faces[0], faces[2], faces[3]}) {
        EXPECT_EQ(f->computedState, Initial);
        ASSERT_NE(f->surface, nullptr);
        EXPECT_NE(dynamic_cast<COpenGLSasSurf*>(t.net.findFaceDisplay(f)), nullptr);
    }
    // Imprint: the equispaced path, shown as a trimmed face that owns the surface.
    GB::Face* imprint = faces[1];
    // The faces of the "#" are squares, so either side may measure the longer
    // by a rounding: the 300 goes to whichever it is.
    EXPECT_TRUE(said.find("nu=300 nv=3") != std::string::npos ||
                said.find("nu=3 nv=300") != std::string::npos)
        << said;
    EXPECT_EQ(imprint->computedState, Imprint);
    ASSERT_NE(imprint->trimmedFace, nullptr);
    EXPECT_EQ(imprint->surface, imprint->trimmedFace->surface);
    auto* s = dynamic_cast<Fenwo::NurbsSurf*>(imprint->surface);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(std::max(s->getUCount(), s->getVCount()), 200);
    EXPECT_EQ(std::min(s->getUCount(), s->getVCount()), 3);
    // The coedges shared by two faces hold each face's side of them.
    int shared = 0;
    for (int k = 0; k < t.net.coedges.count; ++k) {
        const CCoEdge* c = t.net.coedges.items[k];
        if (c->leftLoop != nullptr && c->rightLoop != nullptr) {
            ++shared;
            EXPECT_NE(c->leftPosition, undefinedPosition);
            EXPECT_NE(c->rightPosition, undefinedPosition);
        }
    }
    EXPECT_EQ(shared, 4);
    // Clearing leaves nothing dangling: the trimmed face goes with its surface.
    EXPECT_TRUE(t.net.clearFaceSurface(imprint));
    EXPECT_EQ(imprint->trimmedFace, nullptr);
    EXPECT_EQ(imprint->surface, nullptr);
    EXPECT_EQ(t.net.findFaceDisplay(imprint), nullptr);

    // Mode 3, fitting off: the sides' equispaced samples span the surface.
    t.net.setMode(3);
    t.net.numCtrlPts = 6;
    EXPECT_NE(t.update(false, faces[0]).find("nu=6 nv=6"), std::string::npos);
    auto* spanned = dynamic_cast<Fenwo::NurbsSurf*>(faces[0]->surface);
    ASSERT_NE(spanned, nullptr);
    EXPECT_EQ(spanned->getUCount() * spanned->getVCount(), 36);
    EXPECT_NE(faces[0]->trimmedFace, nullptr);

    // Mode 3 with fitting on: the face from the face-surface builder, as a
    // trimmed face.
    t.net.fittingOff = false;
    t.net.surfaceTolerance = 0.01;
    faces = t.faces();
    const std::string built = t.update(false, faces[2]);
    EXPECT_EQ(built.find("approx Coons failed."), std::string::npos);
    EXPECT_EQ(faces[2]->computedState, Imprint);
    ASSERT_NE(faces[2]->trimmedFace, nullptr);
    EXPECT_NE(dynamic_cast<Fenwo::NurbsSurf*>(faces[2]->surface), nullptr);
}

// The "#" of step 1 on a wavy mesh, fitting on, mode 2: every face takes
// the Coons path and is fitted to the mesh inside it (within 0.022, the
// Coons patches alone 0.016: the boundary poly-lines of three points are
// kept). The bottom row, along the mesh's border, carries an attached
// curve that passes through its grid points: each of the two faces on it
// matches its seam to it once, and the seams close within the matching's
// 0.001, also at the corner the two faces share (once 0.044 off, when the
// curve lost its samples beyond the border and missed that corner).
TEST(SurfaceUpdate, CoonsPathFitsTheMeshAndMatchesSeamsAlongAttachedCurves)
{
    const auto z = [](double x, double y) {
        return 0.3 * std::sin(1.3 * x) * std::sin(1.1 * y) + 0.1 * x * x;
    };
    const std::unique_ptr<CFlatMesh> mesh = fitfix::heightFieldMesh(24, 2.0, z);
    CSurfaceNet net;
    Gridbench::CGridPoint* at[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            at[i][j] = mwtest::gridPoint(float(i), float(j), float(z(i, j)));
            at[i][j]->normal.data[2] = 1.f;
        }
    std::vector<COffset_PointList*> lines;
    for (int j = 0; j < 3; ++j)
        lines.push_back(mwtest::polyLine(net, {at[0][j], at[1][j], at[2][j]}));
    for (int i = 0; i < 3; ++i)
        lines.push_back(mwtest::polyLine(net, {at[i][0], at[i][1], at[i][2]}));
    net.setMesh(mesh.get());
    const std::string interpolated = mwtest::capturedStdout([&] {
        for (COffset_PointList* pl : lines)
            pl->interpolate();
    });
    EXPECT_EQ(interpolated.find("** severe"), std::string::npos) << interpolated;
    lines[0]->curveLocked = true;
    mwtest::capturedStdout([&] { net.buildTopology(false); });
    net.fittingOff = false;
    net.setMode(2);
    net.surfaceTolerance = 0.01;
    const std::string said =
        mwtest::capturedStdout([&] { net.computeSurfaces(false, false, nullptr); });

    std::size_t seams = 0;
    for (std::size_t at = said.find("refreshing #seams=1\n"); at != std::string::npos;
         at = said.find("refreshing #seams=1\n", at + 1))
        ++seams;
    EXPECT_EQ(seams, 2u) << said;
    int samples = 0;
    for (int k = 0; k < net.coedges.count; ++k) {
        CCoEdge* c = net.coedges.items[k];
        for (int s = 0; c->polyLine == lines[0] && s < c->samples.count; ++s, ++samples) {
            CSeamSide face, curve;
            ASSERT_TRUE(c->evaluateSample(s, face, curve, 0));
            EXPECT_LT(norm(face.d[0][0] - curve.d[0][0]), 0.001) << k << " " << s;
        }
    }
    EXPECT_GT(samples, 20);
    for (GB::Face* f = net.firstFace; f != nullptr; f = f->next) {
        EXPECT_EQ(f->computedState, ComplexApprox);
        auto* s = dynamic_cast<Fenwo::NurbsSurf*>(f->surface);
        ASSERT_NE(s, nullptr);
        // The mesh inside the face's square, kept 0.1 from its sides.
        Kor::List<CVertex<float, 3>*> corners;
        f->firstLoop->getNodePoints(corners);
        float x0 = 2.f, y0 = 2.f;
        for (const CVertex<float, 3>* p : corners) {
            x0 = std::min(x0, p->data[0]);
            y0 = std::min(y0, p->data[1]);
        }
        const std::vector<double> d = fitfix::vertexDistances(*mesh, *s, [&](const Vector& p) {
            return p[0] > x0 + 0.1 && p[0] < x0 + 0.9 && p[1] > y0 + 0.1 && p[1] < y0 + 0.9;
        });
        ASSERT_FALSE(d.empty());
        EXPECT_LT(d.back(), 3.0 * net.surfaceTolerance) << x0 << " " << y0;
    }
}

// A Blending face among fitted neighbours, fitting on: it is computed after
// them and gets a blend surface that meets them; a Blending face without
// two neighbours to lean on has none.
TEST(SurfaceUpdate, BlendLeansOnItsFittedNeighbours)
{
    const auto z = [](double x, double y) { return 0.1 * std::sin(1.3 * x) * std::sin(1.1 * y); };
    const std::unique_ptr<CFlatMesh> mesh = fitfix::heightFieldMesh(24, 3.0, z);
    CSurfaceNet net;
    const float xs[4] = {0.f, 1.f, 2.2f, 3.f}; // the middle face is 1.2 x 1
    Gridbench::CGridPoint* at[4][4];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            at[i][j] = mwtest::gridPoint(xs[i], float(j), float(z(xs[i], j)));
            at[i][j]->normal.data[2] = 1.f;
        }
    net.setMesh(mesh.get());
    for (int k = 0; k < 4; ++k) {
        mwtest::polyLine(net, {at[0][k], at[1][k], at[2][k], at[3][k]})->interpolate();
        mwtest::polyLine(net, {at[k][0], at[k][1], at[k][2], at[k][3]})->interpolate();
    }
    mwtest::capturedStdout([&] { net.buildTopology(false); });
    net.fittingOff = false;
    net.setMode(2);
    net.surfaceTolerance = 0.01;
    GB::Face* middle = nullptr;
    for (GB::Face* f = net.firstFace; f != nullptr; f = f->next) {
        Kor::List<CVertex<float, 3>*> corners;
        f->firstLoop->getNodePoints(corners);
        bool inside = true;
        for (const CVertex<float, 3>* p : corners)
            inside = inside && p->data[0] > 0.5f && p->data[0] < 2.5f && p->data[1] > 0.5f &&
                     p->data[1] < 2.5f;
        if (inside)
            middle = f;
    }
    ASSERT_NE(middle, nullptr);
    middle->requestedState = Blending;
    mwtest::capturedStdout([&] { net.computeSurfaces(false, false, nullptr); });
    EXPECT_EQ(middle->computedState, Blending);
    auto* blend = dynamic_cast<Fenwo::NurbsSurf*>(middle->surface);
    ASSERT_NE(blend, nullptr);
    // The blend runs from one neighbour's side to the other's.
    for (const float x : {1.f, 2.2f}) {
        const Vector side(x, 1.5, z(x, 1.5));
        double u = 0.5, v = 0.5;
        startParametersOnSurface(blend, u, v, side, 10);
        EXPECT_LT(projectPointOnSurface(blend, side, u, v), 0.01) << x;
    }

    CSurfaceNet alone;
    Gridbench::CGridPoint* c[4] = {mwtest::gridPoint(0, 0), mwtest::gridPoint(1, 0),
                                   mwtest::gridPoint(1, 1), mwtest::gridPoint(0, 1)};
    alone.setMesh(mesh.get());
    for (int k = 0; k < 4; ++k) {
        c[k]->normal.data[2] = 1.f;
        mwtest::polyLine(alone, {c[k], c[(k + 1) % 4]})->interpolate();
    }
    mwtest::capturedStdout([&] { alone.buildTopology(false); });
    alone.fittingOff = false;
    ASSERT_NE(alone.firstFace, nullptr);
    alone.firstFace->requestedState = Blending;
    const std::string said =
        mwtest::capturedStdout([&] { alone.computeSurfaces(false, false, nullptr); });
    EXPECT_NE(said.find("not enough CONS found. actual=0\n"), std::string::npos) << said;
    EXPECT_EQ(alone.firstFace->computedState, Blending);
    EXPECT_EQ(alone.firstFace->surface, nullptr);
}

// Large enough for the point spheres (1.5 % of the view wide) to cover
// pixels.
class PointListView : public mwtest::GLView {
protected:
    PointListView() : mwtest::GLView(600, 600) {}
};

TEST_F(PointListView, SpheresKeepTheirScreenSizeAndDraggedLinesTakeTheirColour)
{
    CSurfaceNet net;
    std::vector<Gridbench::CGridPoint*> at;
    for (float x : {-0.5f, 0.f, 0.5f})
        at.push_back(mwtest::gridPoint(x, 0.f));
    COffset_PointList* pl = mwtest::polyLine(net, {at[0], at[1], at[2]});
    Kor::List<double> t;
    t.append(0.0), t.append(0.5), t.append(1.0);
    pl->setCurve(clampedCurve({Vector(-0.5, 0, 0), Vector(0.5, 0, 0)}, 1).release(), t, 0, 2);
    COpenGLPointList display(pl);
    display.vertexColour[2] = 1.f; // blue points; the line black as the background
    light();
    auto drawn = [&] {
        clear();
        display.draw();
        return litPixels();
    };
    const int three = drawn();
    const unsigned int list = display.listId;
    EXPECT_GT(three, 0);
    // The selected and highlighted points get no sphere.
    net.selectedPoint = at[0];
    net.highlightedPoint = at[2];
    EXPECT_NEAR(drawn(), three / 3, three / 10);
    // Zoomed out four times: the spheres keep their size on the screen, and
    // the list is not compiled again.
    net.selectedPoint = net.highlightedPoint = nullptr;
    ortho(-4, 4, -4, 4);
    const int zoomed = drawn(); // in the list they would cover a sixteenth
    EXPECT_GT(zoomed, three * 3 / 4);
    EXPECT_LT(zoomed, three * 4 / 3);
    EXPECT_EQ(display.listId, list);
    EXPECT_FALSE(display.dirty);

    // A dragged point: the line in its own colour after the next compile.
    ortho(-1, 1, -1, 1);
    pl->pendingVertex = at[1];
    display.setDirty();
    drawn();
    EXPECT_GT(countPixels(mwtest::rgb(0.596, 0.984, 0.196)), 0);
    pl->pendingVertex = nullptr;
}

} // namespace
