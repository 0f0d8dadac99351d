#include "MeshwrightHost.h"

#include "plugin/OptionsDialog.h"

namespace {

// The options dialog on a new net (no mesh: the editing switch's box takes
// the first "ok"), OK applying what it shows.
TEST_F(MeshwrightHost, OptionsDialogShowsTheNetAndOkAppliesIt)
{
    GB::CSurfaceNet& net = plugIn().net;
    struct Case {
        double before;
        double after;
    };
    for (const Case& c : {Case{0.1, 0.1}, Case{0.3, 0.5}, Case{0.003, 0.005}, Case{7.0, 10.0}}) {
        SCOPED_TRACE(c.before);
        net.surfaceTolerance = c.before;
        EXPECT_EQ(command("_MWOptions ok OK Cancel"), 0);
        EXPECT_EQ(net.surfaceTolerance, c.after);
        // Unchanged by OK: "Online Face Computation" unchecked, "Smooth Face"
        // chosen, "Depth" and "Surf Mesh Distance" unchecked.
        EXPECT_TRUE(net.draftOnly);
        EXPECT_EQ(net.surfaceQuality, 2);
        EXPECT_FALSE(net.depthTest);
        EXPECT_FALSE(net.surfaceMeshDistance);
    }
    EXPECT_EQ(command("_MWOptions ok Online_Face_Computation=Yes Fast_Skin Depth=Yes OK Cancel"),
              0);
    EXPECT_FALSE(net.draftOnly);
    EXPECT_EQ(net.surfaceQuality, 1);
    EXPECT_TRUE(net.depthTest);

    // A display radio applies at once; Cancel keeps it.
    EXPECT_EQ(command("_MWOptions ok Outline Cancel"), 0);
    int mode = -1;
    bool edges = false;
    net.displayContainer.getFaceDisplayMode(mode, edges);
    EXPECT_EQ(mode, 2);
    EXPECT_TRUE(edges);
    assertNoUnansweredPrompts();
}

TEST_F(MeshwrightHost, ProgressDialogsShowPumpAndTerminate)
{
    CDlgEditInfo& info = plugIn().infoDialog;
    EXPECT_FALSE(info.IsWindowVisible());
    info.begin(0, 200);
    EXPECT_TRUE(info.IsWindowVisible());
    int lower = -1, upper = -1;
    info.progressBar.GetRange(lower, upper);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(upper, 200);

    // Steps pump the thread's messages: a menu command posted to the main
    // window runs during the work.
    PostMessageW(AfxGetMainWnd()->m_hWnd, WM_COMMAND, 33016, 0);
    for (int i = 0; i < 100; ++i)
        info.step(1);
    EXPECT_TRUE(boxShown("pop1", "mw"));
    EXPECT_EQ(info.progressBar.GetPos(), 100);

    // Terminate pressed twice: the second press changes nothing.
    const CWnd* terminate = info.GetDlgItem(6052);
    for (int press = 0; press < 2; ++press) {
        SendMessageW(info.m_hWnd, WM_COMMAND, MAKEWPARAM(6052, BN_CLICKED), 0);
        EXPECT_EQ(itemText(info, 6052), L"Terminating...") << press;
        EXPECT_FALSE(terminate->IsWindowEnabled()) << press;
        EXPECT_TRUE(info.isCancelled()) << press;
    }
    info.begin(0, 10); // the button comes back; the request stays
    EXPECT_EQ(itemText(info, 6052), L"Terminate");
    EXPECT_TRUE(terminate->IsWindowEnabled());
    EXPECT_TRUE(info.isCancelled());

    CMWDlgProgress& progress = plugIn().progressDialog;
    progress.begin(0, 10);
    EXPECT_TRUE(progress.IsWindowVisible());
    progress.OnOK(); // button 1 is Terminate
    EXPECT_FALSE(progress.GetDlgItem(IDOK)->IsWindowEnabled());
    EXPECT_TRUE(progress.isCancelled());
    progress.setCancelled(false);
    EXPECT_TRUE(progress.GetDlgItem(IDOK)->IsWindowEnabled());
    EXPECT_EQ(itemText(progress, IDOK), L"Terminating...");
}

TEST_F(MeshwrightHost, InformationDialogReadOuts)
{
    CDlgEditInfo& info = plugIn().infoDialog;
    // Holes are boundary loops less one: a closed cube has none, a grid one
    // loop, a grid with two cells cut out three.
    mwtest::MeshSoup holed = mwtest::gridSoup(6, 6, 1.0, 1.0, false);
    holed.facets.erase(holed.facets.begin() + 28); // cell (4, 4)
    holed.facets.erase(holed.facets.begin() + 7);  // cell (1, 1)
    const std::pair<mwtest::MeshSoup, std::wstring> meshes[] = {
        {mwtest::cubeSoup(1.0), L"8, 6, 0"},
        {mwtest::gridSoup(4, 4, 0.5, 0.5, true), L"25, 32, 0"},
        {holed, L"49, 34, 2"},
    };
    for (const auto& [soup, expected] : meshes) {
        CFlatMesh mesh;
        mwtest::fillFlatMesh(soup, mesh);
        info.showMeshInfo(&mesh);
        EXPECT_EQ(itemText(info, 6048), expected);
    }
    info.showMeshInfo(nullptr);
    EXPECT_EQ(itemText(info, 6048), L"not assigned");

    CVertex<float, 3> point(1.0f, -2.0f, 0.5f);
    info.showCurrentPoint(&point);
    EXPECT_EQ(itemText(info, 6049), L"x 1.000 y-2.000 z 0.500");
    EXPECT_TRUE(info.pointAssigned);
    info.showCurrentPoint(nullptr);
    EXPECT_EQ(itemText(info, 6049), L"");
    EXPECT_FALSE(info.pointAssigned);
    info.showCurveInfo(nullptr);
    EXPECT_EQ(itemText(info, 6050), L"not assigned");
}

} // namespace
