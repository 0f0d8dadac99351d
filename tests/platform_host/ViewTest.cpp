// Views on the real offscreen driver: what a shaded view draws, the order of
// the draw stages, captures read back through libpng, display lists shared
// within a share group only, and the display-mode commands.
#include "platform/ChangeNotification.h"
#include "platform/InputState.h"
#include "platform/MessageBox.h"
#include "platform/SystemError.h"
#include "platform/host/RenderMesh.h"
#include "platform_host/TestHost.h"
#include "support/HostFixture.h"
#include "support/ReadPng.h"
#include "support/ScratchDir.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>

namespace {

// A square mesh from (x0, y0) to (x1, y1) in the plane z = 0.
CVezadMeshObject* addSquare(CVezadDoc& doc, double x0, double y0, double x1, double y1)
{
    ON_Mesh mesh;
    mesh.SetVertex(0, ON_3dPoint(x0, y0, 0));
    mesh.SetVertex(1, ON_3dPoint(x1, y0, 0));
    mesh.SetVertex(2, ON_3dPoint(x1, y1, 0));
    mesh.SetVertex(3, ON_3dPoint(x0, y1, 0));
    mesh.SetQuad(0, 0, 1, 2, 3);
    return doc.AddMeshObject(mesh);
}

std::array<unsigned char, 4> pixel(CVezadView& view, int x, int y)
{
    std::array<unsigned char, 4> rgba{};
    EXPECT_TRUE(view.pixel(x, y, rgba.data()));
    return rgba;
}

// Records the stages it runs in, with the context current in the middle
// stage, and draws a red list compiled once, in the view that draws first.
class StageRecorder : public CVezadDrawCallback {
public:
    void DrawBackground(CVezadViewport& vp, CVezadDoc&) override { note("background", vp); }
    void DrawMiddleground(CVezadViewport& vp, CVezadDoc&) override
    {
        note("middle", vp);
        contextInMiddle = wglGetCurrentContext();
        if (list == 0) {
            list = glGenLists(1);
            glNewList(list, GL_COMPILE);
            glDisable(GL_DEPTH_TEST);
            glColor3ub(255, 0, 0);
            glRectd(-0.1, -0.1, 0.1, 0.1);
            glEndList();
        }
        listKnown = glIsList(list) == GL_TRUE;
        glCallList(list);
    }
    void DrawForeground(CVezadViewport& vp, CVezadDoc&) override { note("foreground", vp); }
    void DrawPostForeground(CVezadViewport& vp, CVezadDoc&) override { note("post", vp); }

    std::vector<std::string> stages;
    std::vector<bool> shaded;
    HGLRC contextInMiddle = nullptr;
    GLuint list = 0;
    bool listKnown = false;

private:
    void note(const char* stage, CVezadViewport& vp)
    {
        stages.push_back(stage);
        shaded.push_back(vp.DisplayModeIsShaded());
    }
};

// The square [-0.8, 0.8]^2 of the plane z = 0 with a square hole
// [-0.2, 0.2]^2, as one face of a bilinear surface over [-1, 1]^2 (so the
// trims lie inside its domain).
ON_Brep squareWithHole()
{
    ON_Brep brep;
    auto* plane = new ON_NurbsSurface(3, false, 2, 2, 2, 2);
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j)
            plane->SetCV(i, j, ON_3dPoint(2 * i - 1, 2 * j - 1, 0));
    for (int dir = 0; dir < 2; ++dir) {
        plane->SetKnot(dir, 0, -1.0);
        plane->SetKnot(dir, 1, 1.0);
    }
    ON_BrepFace& face = brep.NewFace(brep.AddSurface(plane));
    for (double half : {0.8, 0.2}) {
        ON_BrepLoop& loop =
            brep.NewLoop(half > 0.5 ? ON_BrepLoop::outer : ON_BrepLoop::inner, face);
        // The outer loop runs counter-clockwise, the hole clockwise.
        const double s = half > 0.5 ? half : -half;
        const ON_3dPoint corners[4] = {{-s, -s, 0}, {s, -s, 0}, {s, s, 0}, {-s, s, 0}};
        for (int i = 0; i < 4; ++i) {
            const ON_3dPoint a = corners[i], b = corners[(i + 1) % 4];
            ON_BrepEdge& edge = brep.NewEdge(brep.AddEdgeCurve(hosttest::segment(3, a, b)));
            edge.m_tolerance = 1e-6;
            brep.NewTrim(edge, false, loop, brep.AddTrimCurve(hosttest::segment(2, a, b))).m_type =
                ON_BrepTrim::boundary;
        }
    }
    brep.SetVertices();
    brep.SetTolerancesBoxesAndFlags();
    return brep;
}

class ThreeViews : public HostFixture {
protected:
    HeadlessHostSettings settings() const override
    {
        HeadlessHostSettings s = HostFixture::settings();
        HeadlessViewSettings own;
        own.ownContext = true;
        s.views = {HeadlessViewSettings(), HeadlessViewSettings(), own};
        return s;
    }
};

} // namespace

using ViewHost = HostFixture;

TEST_F(ViewHost, ShadedViewDrawsTheMeshAndItsCaptureIsTheViewUpright)
{
    ASSERT_TRUE(view().hasContext());
    // The square covers the upper half of the view only, so that a flipped
    // capture shows.
    addSquare(doc(), -0.5, 0.1, 0.5, 0.9);
    StageRecorder recorder;
    ASSERT_TRUE(view().AddDrawCallback(&recorder));
    EXPECT_FALSE(view().AddDrawCallback(&recorder));
    const std::string path = mwtest::scratchPath("view.png");
    ASSERT_EQ(run("!capture 0 \"" + path + "\" 320x240").status, ScriptResult::passed);

    EXPECT_EQ(recorder.stages,
              (std::vector<std::string>{"background", "middle", "foreground", "post"}));
    EXPECT_EQ(recorder.contextInMiddle, view().contextHandle());
    const auto background = pixel(view(), 5, 235);
    EXPECT_NE(pixel(view(), 120, 80), background); // beside the red list, on the mesh
    EXPECT_EQ(pixel(view(), 120, 160), background);
    EXPECT_EQ(pixel(view(), 160, 120), (std::array<unsigned char, 4>{255, 0, 0, 255}));

    int width = 0, height = 0;
    std::vector<unsigned char> png;
    ASSERT_TRUE(mwtest::readPng(path, width, height, png));
    ASSERT_EQ(width, 320);
    ASSERT_EQ(height, 240);
    for (int y = 0; y < height; y += 7)
        for (int x = 0; x < width; x += 5) {
            const unsigned char* p = &png[(static_cast<std::size_t>(y) * width + x) * 4];
            ASSERT_EQ((std::array<unsigned char, 4>{p[0], p[1], p[2], p[3]}), pixel(view(), x, y))
                << x << "," << y;
        }

    // The display mode follows the commands; a wireframe view draws the mesh
    // as its edges only.
    recorder.shaded.clear();
    ASSERT_EQ(run("_WireframeViewport\n!redraw 0").status, ScriptResult::passed);
    EXPECT_EQ(pixel(view(), 120, 80), background);
    ASSERT_FALSE(recorder.shaded.empty());
    EXPECT_FALSE(recorder.shaded.back());
    ASSERT_EQ(run("_ShadedViewport").status, ScriptResult::passed);
    EXPECT_NE(pixel(view(), 120, 80), background);
    EXPECT_TRUE(recorder.shaded.back());
}

// Redraw requests cost nothing until the view is read: the requests of a
// gesture make one drawing, a second read without a change none, and a
// camera moved without a request is drawn all the same.
TEST_F(ViewHost, RedrawRequestsDrawOnceWhenTheViewIsRead)
{
    addSquare(doc(), -0.5, 0.1, 0.5, 0.9);
    const auto background = pixel(view(), 5, 235);
    const auto square = pixel(view(), 160, 60);
    EXPECT_NE(square, background);
    const long drawn = view().drawCount();
    EXPECT_FALSE(view().stale());
    for (int k = 0; k < 5; ++k)
        view().Redraw();
    EXPECT_EQ(view().drawCount(), drawn);
    EXPECT_EQ(pixel(view(), 160, 60), square);
    std::vector<float> depths;
    ASSERT_TRUE(view().depths(depths));
    EXPECT_EQ(view().drawCount(), drawn + 1);

    ON_Viewport& vp = view().ActiveViewport().VP();
    vp.SetCameraLocation(vp.CameraLocation() + ON_3dVector(0.0, 0.8, 0.0));
    EXPECT_TRUE(view().stale());
    EXPECT_EQ(pixel(view(), 160, 60), background);
    EXPECT_EQ(view().drawCount(), drawn + 2);
}

TEST_F(ThreeViews, ListsCompiledInOneViewDrawInItsShareGroupOnly)
{
    StageRecorder recorder;
    view(0).AddDrawCallback(&recorder);
    const std::array<unsigned char, 4> red{255, 0, 0, 255};
    for (int i = 0; i < 3; ++i) {
        view(i).drawNow();
        EXPECT_EQ(recorder.contextInMiddle, view(i).contextHandle());
        EXPECT_EQ(recorder.listKnown, i < 2) << "view " << i;
        EXPECT_EQ(pixel(view(i), 160, 120) == red, i < 2) << "view " << i;
    }
    EXPECT_TRUE(wglShareLists(view(0).contextHandle(), view(1).contextHandle()));
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(wglShareLists(view(0).contextHandle(), view(2).contextHandle()));
    EXPECT_EQ(Platform::lastSystemErrorText(),
              L"The operation is not valid for the objects given.");
}

TEST_F(ViewHost, SystemSeamsAnswerThroughTheHost)
{
    // The system's message boxes take their answers from the input queue.
    VezadApp().InputQueue().pushFront({"yes"});
    EXPECT_EQ(Platform::showMessageBox("Replace?", Platform::MessageBoxButtons::YesNo),
              Platform::MessageBoxAnswer::Yes);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].title, "Meshwright");
    EXPECT_TRUE(boxes()[0].answered);

    // The font lists are built in the current view's context, for its
    // device only.
    view().Redraw();
    HDC device = wglGetCurrentDC();
    ASSERT_NE(device, nullptr);
    EXPECT_FALSE(wglUseFontBitmapsW(reinterpret_cast<HDC>(8), 0, 256, 1000));
    ASSERT_TRUE(wglUseFontBitmapsW(device, 0, 256, 1000));
    EXPECT_TRUE(glIsList(1000 + 'A'));

    // Keys, the wait cursor and change notifications are the host's.
    VezadApp().SetKeyDown('Y', true);
    EXPECT_TRUE(Platform::isKeyDown("Y"));
    {
        Platform::WaitCursor wait;
        EXPECT_EQ(VezadApp().WaitCursorCount(), 1);
    }
    EXPECT_EQ(VezadApp().WaitCursorCount(), 0);
    UINT received = 0;
    HWND window = Win32Subset::createWindow({}, [&](HWND, UINT message, WPARAM, LPARAM) {
        received = message;
        return LRESULT(0);
    });
    EXPECT_TRUE(Platform::sendChangeNotification(window, WM_USER + 5));
    EXPECT_EQ(received, WM_USER + 5);
}

// A shaded Brep is its render mesh clipped to its trims, in its colour over a
// mesh that lies a little in front of it, with its edges on top; a wireframe
// view draws the edges alone. A capture draws the view at its own size for
// the picture only.
TEST_F(ViewHost, ShadedBrepsShowOverTheirMeshAndCapturesTakeTheirOwnSize)
{
    const ON_Brep brep = squareWithHole();
    const VezadHost::RenderMesh render = VezadHost::brepRenderMesh(brep);
    double area = 0.0;
    for (std::size_t k = 0; k < render.triangles.size(); k += 3) {
        const ON_3dPoint& a = render.points[static_cast<std::size_t>(render.triangles[k])];
        const ON_3dPoint& b = render.points[static_cast<std::size_t>(render.triangles[k + 1])];
        const ON_3dPoint& c = render.points[static_cast<std::size_t>(render.triangles[k + 2])];
        area += 0.5 * ((b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y));
    }
    EXPECT_NEAR(area, 1.6 * 1.6 - 0.4 * 0.4, 0.01);

    ON_Mesh mesh;
    const double corners[4][2] = {{-0.9, -0.9}, {0.9, -0.9}, {0.9, 0.9}, {-0.9, 0.9}};
    for (int k = 0; k < 4; ++k)
        mesh.SetVertex(k, ON_3dPoint(corners[k][0], corners[k][1], 0.002));
    mesh.SetQuad(0, 0, 1, 2, 3);
    ASSERT_NE(doc().AddMeshObject(mesh), nullptr);
    ASSERT_NE(doc().AddBrepObject(brep), nullptr);
    const std::string path = mwtest::scratchPath("brep.png");
    ASSERT_EQ(run("!capture 0 \"" + path + "\"").status, ScriptResult::passed);
    // World (x, y) is pixel (160 + 120 x, 120 - 120 y).
    const auto onFace = pixel(view(), 160 + 60, 120 - 60);
    const auto inHole = pixel(view(), 160, 120);
    const auto onMesh = pixel(view(), 160 + 102, 120 - 102);
    EXPECT_GT(onFace[2], onFace[0] + 40); // the Brep's blue
    EXPECT_EQ(inHole, onMesh);
    EXPECT_NE(onFace, onMesh);
    EXPECT_EQ(view().width(), 320);

    int width = 0, height = 0;
    std::vector<unsigned char> png;
    ASSERT_TRUE(mwtest::readPng(path, width, height, png));
    ASSERT_EQ(width, 800);
    ASSERT_EQ(height, 600);
    // The picture shows the view's scene at 2.5 times the view's pixels.
    const unsigned char* face = &png[4 * (static_cast<std::size_t>(300 - 150) * 800 + 400 + 150)];
    EXPECT_EQ((std::array<unsigned char, 4>{face[0], face[1], face[2], face[3]}), onFace);

    ASSERT_EQ(run("!view 0 wireframe").status, ScriptResult::passed);
    EXPECT_EQ(pixel(view(), 160 + 60, 120 - 60), pixel(view(), 5, 235));
}

// The net's square lies on the sheet the view shows, zoomed in until it is
// big enough to draw in; a sheet whose outside faces away has the view
// turned round to it. A sheet less than 4 tolerances across carries no
// square: zoomed in on, the square found on a tray spanned 0.76 tolerances,
// four faces each a fifth of one wide.
TEST_F(ViewHost, NetPlacementFindsTheSheetThatFacesTheViewer)
{
    const auto plate = [&](bool facing) {
        ON_Mesh mesh;
        const double corners[4][2] = {{-0.4, -0.3}, {0.4, -0.3}, {0.4, 0.3}, {-0.4, 0.3}};
        for (int k = 0; k < 4; ++k)
            mesh.SetVertex(k, ON_3dPoint(corners[k][0], corners[k][1], 0.0));
        facing ? mesh.SetQuad(0, 0, 1, 2, 3) : mesh.SetQuad(0, 0, 3, 2, 1);
        return doc().AddMeshObject(mesh);
    };
    CVezadObject* front = plate(true);
    ASSERT_EQ(run("!place-net NET 0.5\n!mouse down left ${NET_X0} ${NET_Y2}").status,
              ScriptResult::passed);
    EXPECT_NE(transcript().find("(as it was, zoomed"), std::string::npos);
    EXPECT_TRUE(front->IsSelected()); // the square's corner lies on the plate

    ASSERT_TRUE(doc().DeleteObject(CVezadObjRef(front)));
    CVezadObject* back = plate(false);
    ASSERT_EQ(run("!place-net NET 0.5").status, ScriptResult::passed);
    EXPECT_NE(transcript().find("(turned along an axis"), std::string::npos);
    EXPECT_GT(view().ActiveViewport().VP().CameraDirection().z, 0.9);

    ASSERT_TRUE(doc().DeleteObject(CVezadObjRef(back)));
    plate(true);
    ASSERT_TRUE(doc().SetAbsoluteTolerance(0.2)); // the plate: 4 x 3 tolerances
    EXPECT_EQ(run("!place-net NET 0.5").status, ScriptResult::noRegion);
    EXPECT_NE(transcript().find("no square of 16 pixels and 4 tolerances or more"),
              std::string::npos);
}

// A scan's noise below the document's tolerance tilts each of its facets
// its own way; judged between neighbouring pixels, those tilts were folds,
// and a sheet facing the viewer with noise of a sixth or a third of the
// tolerance showed no square, or none that held when zoomed in on.
TEST_F(ViewHost, NetPlacementTookScanNoiseForFolds)
{
    const double tolerance = 0.004;
    ASSERT_TRUE(doc().SetAbsoluteTolerance(tolerance));
    CVezadObject* sheet = nullptr;
    for (const double noise : {tolerance / 6.0, tolerance / 3.0}) {
        if (sheet) {
            ASSERT_TRUE(doc().DeleteObject(CVezadObjRef(sheet)));
        }
        const int n = 120;
        std::mt19937 random(11);
        std::normal_distribution<double> lift(0.0, noise);
        ON_Mesh mesh;
        for (int j = 0; j <= n; ++j)
            for (int i = 0; i <= n; ++i)
                mesh.SetVertex(j * (n + 1) + i,
                               ON_3dPoint(-0.6 + 1.2 * i / n, -0.6 + 1.2 * j / n, lift(random)));
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                const int a = j * (n + 1) + i;
                mesh.SetQuad(j * n + i, a, a + 1, a + n + 2, a + n + 1);
            }
        sheet = doc().AddMeshObject(mesh);
        const std::size_t before = transcript().size();
        ASSERT_EQ(run("!place-net NET 0.5").status, ScriptResult::passed) << "noise " << noise;
        EXPECT_NE(transcript().find("(as it was, zoomed", before), std::string::npos);
    }
}

// A feature across a sheet that faces the viewer, near the view's centre:
// a crease of 50 degrees, a rim (a ridge 5 tolerances wide and 5 high, half
// a stretch) and a groove as narrow and deep. The square keeps off it, sides and all:
// the world x of the square's sides lies on one side of the feature, a
// tolerance away at the least. Slopes judged between stretches laid end to
// end saw nothing of a crease that ran within half a stretch of the square's
// side, and shared out the turn of a rim or a groove narrower than a stretch
// between bends at two of their ends; the faces drawn across them folded, or
// failed to heal.
TEST_F(ViewHost, NetPlacementPutItsSquareAcrossACrease)
{
    const double tolerance = 0.004;
    ASSERT_TRUE(doc().SetAbsoluteTolerance(tolerance));
    struct Case {
        const char* name;
        double at;    // world x of the feature
        double width; // of a rim or groove (0: a crease)
        double height;
    };
    const Case cases[] = {
        {"crease", 0.03, 0.0, 0.0},          {"crease", -0.11, 0.0, 0.0},
        {"rim", 0.05, 5.0 * tolerance, 5.0 * tolerance},
        {"groove", -0.07, 5.0 * tolerance, -5.0 * tolerance},
    };
    CVezadObject* sheet = nullptr;
    const ON_Viewport own = view().ActiveViewport().VP();
    for (const Case& c : cases) {
        if (sheet) {
            ASSERT_TRUE(doc().DeleteObject(CVezadObjRef(sheet)));
        }
        view().ActiveViewport().VP() = own;
        const auto height = [&](double x) {
            if (c.width == 0.0)
                return x > c.at ? (x - c.at) * std::tan(50.0 * std::numbers::pi / 180.0) : 0.0;
            return std::fabs(x - c.at) < 0.5 * c.width ? c.height : 0.0;
        };
        // Columns at every 120th of the sheet and at the feature's edges.
        std::vector<double> xs;
        for (int i = 0; i <= 120; ++i)
            xs.push_back(-0.6 + 1.2 * i / 120);
        for (double x : {c.at - 0.5 * c.width, c.at + 0.5 * c.width})
            for (double side : {-1e-4, 1e-4})
                xs.push_back(x + side);
        std::sort(xs.begin(), xs.end());
        const int n = 60, m = static_cast<int>(xs.size()) - 1;
        ON_Mesh mesh;
        for (int j = 0; j <= n; ++j)
            for (int i = 0; i <= m; ++i)
                mesh.SetVertex(j * (m + 1) + i, ON_3dPoint(xs[std::size_t(i)], -0.6 + 1.2 * j / n,
                                                           height(xs[std::size_t(i)])));
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < m; ++i) {
                const int a = j * (m + 1) + i;
                mesh.SetQuad(j * m + i, a, a + 1, a + m + 2, a + m + 1);
            }
        sheet = doc().AddMeshObject(mesh);
        const std::size_t before = transcript().size();
        ASSERT_EQ(run("!place-net NET 0.5").status, ScriptResult::passed) << c.name << " " << c.at;
        int x0 = 0, x2 = 0, y0 = 0, y2 = 0;
        const std::size_t at = transcript().find("Net square: x ", before);
        ASSERT_NE(at, std::string::npos);
        ASSERT_EQ(std::sscanf(transcript().c_str() + at, "Net square: x %d..%d, y %d..%d", &x0,
                              &x2, &y0, &y2),
                  4);
        ON_Line left, right;
        ASSERT_TRUE(view().ActiveViewport().VP().GetFrustumLine(x0 + 0.5, y0 + 0.5, left));
        ASSERT_TRUE(view().ActiveViewport().VP().GetFrustumLine(x2 + 0.5, y0 + 0.5, right));
        const double from = std::min(left.from.x, right.from.x);
        const double to = std::max(left.from.x, right.from.x);
        const double margin = 0.5 * c.width + tolerance;
        EXPECT_TRUE(to < c.at - margin || from > c.at + margin)
            << c.name << " at " << c.at << ": the square spans x " << from << " to " << to;
    }
}
