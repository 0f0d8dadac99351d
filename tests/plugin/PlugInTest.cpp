#include "MeshwrightHost.h"

#include "foundation/MatrixThreads.h"
#include "platform/Diagnostics.h"
#include "platform/win32/Win32Host.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

namespace {

TEST_F(MeshwrightHost, LoadsMenusVersionFileTypesExportsAndHelp)
{
    CMeshwrightPlugIn& p = plugIn();
    // "Fenwo Tools" with its items; the "local select" pop-up load appends
    // is gone again, so the context menu's "activate" is nowhere.
    ASSERT_EQ(VezadApp().PlugInMenus().size(), 1u);
    CMenu* bar = CMenu::FromHandle(VezadApp().PlugInMenus()[0].menu);
    CString title;
    bar->GetMenuString(0, title, MF_BYPOSITION);
    EXPECT_EQ(title.str(), L"Fenwo Tools");
    CMenu* tools = bar->GetSubMenu(0);
    std::vector<UINT> ids;
    for (int i = 0; i < tools->GetMenuItemCount(); ++i)
        ids.push_back(tools->GetMenuItemID(i));
    EXPECT_EQ(ids, (std::vector<UINT>{33001, 33006, 33008, 33013, 33004, 33010, 0, 33007, 33005}));
    EXPECT_EQ(bar->GetMenuState(33023, MF_BYCOMMAND), static_cast<UINT>(-1));

    // "Meshwright V2 8.0 Mmm dd yyyy  hh:mm:ss": the date's digits and
    // letters where they belong.
    const std::string version = ON_wString(p.PlugInVersion()).ToUtf8();
    const std::string pattern = "Meshwright V2 8.0 Aaa Dd dddd  dd:dd:dd";
    ASSERT_EQ(version.size(), pattern.size()) << version;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = version[i];
        const char want = pattern[i];
        const bool fits = want == 'A'   ? std::isupper(c)
                          : want == 'a' ? std::islower(c)
                          : want == 'd' ? std::isdigit(c)
                          : want == 'D' ? c == ' ' || (c >= '1' && c <= '3')
                                        : c == want;
        EXPECT_TRUE(fits) << version << " at " << i;
    }

    ON_ClassArray<CVezadFileType> types;
    p.AddFileType(types, CVezadFileReadOptions());
    ASSERT_EQ(types.Count(), 3);
    const wchar_t* expected[3][2] = {{L"Knotwork Files (*.out)", L"out"},
                                     {L"STL Mesh Files (*.stl)", L"stl"},
                                     {L"POL Mesh Files (*.pol)", L"pol"}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(types[i].Description(), expected[i][0]);
        EXPECT_EQ(types[i].Extension(), expected[i][1]);
        EXPECT_TRUE(types[i].FileTypePlugInID() == p.PlugInID());
    }

    const CVezadPlugInExports& exports = VezadHost::findPlugInModule(L"Meshwright")->Exports();
    EXPECT_EQ(exports.VezadPlugInSdkVersion(), 200612060);
    EXPECT_EQ(exports.VezadPlugInSdkServiceRelease(), 200707034);
    EXPECT_EQ(exports.VezadPlugInUpdateURL, exports.VezadPlugInDeveloperWebsite);
    EXPECT_EQ(&exports.VezadPlugInObject(), &p);

    // Loaded with an active view: the draw callback is registered; the
    // watcher switched the cursor tool-tips on; without FENWO_LOGGING no log
    // is opened; worker threads for matrix products stay off.
    const auto& callbacks = VezadHost::drawCallbacks();
    EXPECT_NE(std::find(callbacks.begin(), callbacks.end(), p.drawCallback), callbacks.end());
    EXPECT_TRUE(VezadApp().AppSettings().CursorToolTipSettings().m_bEnableCursorToolTips);
    EXPECT_FALSE(std::filesystem::exists(Platform::diagnosticsPath("c:/tmp/mw.txt")));
    EXPECT_FALSE(std::filesystem::exists(Platform::diagnosticsPath("c:/tmp/mw.log")));
    EXPECT_FALSE(multithreadingAllowed);

    p.OnDisplayPlugInHelp(nullptr);
    ASSERT_FALSE(Win32Subset::shellExecuteLog().empty());
    const Win32Subset::ShellExecuteRecord& help = Win32Subset::shellExecuteLog().back();
    EXPECT_EQ(help.verb, L"open");
    EXPECT_EQ(ON_wString(help.file.c_str()).ToUtf8(),
              mwtest::scratchDir() + "/Meshwright/Tutorial/Tutorial_Eng.pdf");
    EXPECT_EQ(help.showCommand, SW_SHOWNORMAL);
}

TEST_F(MeshwrightHost, ToolbarChangesOnlyWhenItsStateDiffers)
{
    const std::string file = mwtest::scratchPath("Meshwright.tb");
    EXPECT_EQ(showToolbar(false), 0); // no ".tb" file
    std::ofstream(file) << "toolbar Meshwright visible=0\n";
    EXPECT_EQ(showToolbar(true), 0); // hidden already
    EXPECT_EQ(showToolbar(false), 1);
    CVezadUiToolBarCollection* toolbars =
        VezadApp().ToolBarManager().FindCollection(ON_wString(file.c_str()));
    ASSERT_NE(toolbars, nullptr);
    EXPECT_TRUE(toolbars->IsToolBarVisible(toolbars->FindToolBar(L"Meshwright")));
    EXPECT_EQ(showToolbar(false), 0); // visible already
    EXPECT_EQ(showToolbar(true), 1);
    EXPECT_FALSE(toolbars->IsToolBarVisible(toolbars->FindToolBar(L"Meshwright")));
}

class MeshwrightWithoutView : public MeshwrightHost {
protected:
    HeadlessHostSettings settings() const override
    {
        HeadlessHostSettings s = MeshwrightHost::settings();
        s.views.clear();
        return s;
    }
};

TEST_F(MeshwrightWithoutView, LoadsWithoutDrawCallback)
{
    EXPECT_EQ(VezadApp().LoadedPlugIns().size(), 1u);
    EXPECT_EQ(plugIn().drawCallback, nullptr);
    EXPECT_TRUE(VezadHost::drawCallbacks().empty());
    EXPECT_EQ(VezadApp().PlugInMenus().size(), 1u);
}

TEST_F(MeshwrightHost, UnloadLeavesNoHookCallbackOrMenuBehind)
{
    addMeshObject();
    ASSERT_EQ(command("_MWEditGrid"), 0);
    ASSERT_NE(deleteKeyHookHandle(), nullptr);
    m_host.shutdown();
    EXPECT_EQ(deleteKeyHookHandle(), nullptr);
    EXPECT_FALSE(plugIn().editGrid);
    EXPECT_FALSE(plugIn().mouseCallback.IsEnabled());
    EXPECT_EQ(plugIn().drawCallback, nullptr);
    EXPECT_TRUE(VezadHost::drawCallbacks().empty());
    EXPECT_TRUE(VezadApp().PlugInMenus().empty());
}

} // namespace
