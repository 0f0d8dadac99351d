// Event replay in the host: mouse events through the enabled callbacks to the
// host's selection, the Delete key through the message hooks, Terminate
// pressed at a pump of long work, and menu commands reaching the plug-in.
#include "support/HostFixture.h"

#include "platform/host/EventReplay.h"
#include "plugin/resources/MeshwrightResources.h"

namespace {

struct MouseCall {
    std::string callback;
    int button;
    UINT flags;
    int x, y;
    bool shiftInKeyTable;
};
std::vector<MouseCall> g_mouse;

class RecordingCallback : public CVezadMouseCallback {
public:
    RecordingCallback(std::string name, int answer) : m_name(std::move(name)), m_answer(answer) {}
    int OnMouseDown(CVezadView&, int button, UINT flags, int x, int y) override
    {
        BYTE keys[256];
        GetKeyboardState(keys);
        g_mouse.push_back({m_name, button, flags, x, y, (keys[VK_SHIFT] & 0x80) != 0});
        return m_answer;
    }

private:
    std::string m_name;
    int m_answer;
};

void addCentreSquare(CVezadDoc& doc)
{
    ON_Mesh mesh;
    mesh.SetVertex(0, ON_3dPoint(-0.5, -0.5, 0));
    mesh.SetVertex(1, ON_3dPoint(0.5, -0.5, 0));
    mesh.SetVertex(2, ON_3dPoint(0.5, 0.5, 0));
    mesh.SetVertex(3, ON_3dPoint(-0.5, 0.5, 0));
    mesh.SetQuad(0, 0, 1, 2, 3);
    ASSERT_NE(doc.AddMeshObject(mesh), nullptr);
}

struct HookSeen {
    UINT message;
    WPARAM key;
    WPARAM removal;
    bool mainWindowActive;
};
std::vector<HookSeen> g_hookSeen;
bool g_swallowDelete = false;

LRESULT CALLBACK deleteHook(int code, WPARAM wParam, LPARAM lParam)
{
    MSG* msg = reinterpret_cast<MSG*>(lParam);
    if (code >= 0) {
        g_hookSeen.push_back(
            {msg->message, msg->wParam, wParam, GetActiveWindow() == VezadApp().MainWnd()->m_hWnd});
        if (g_swallowDelete)
            msg->message = WM_NULL;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Long work beside a progress dialog that pumps at each step, as the
// plug-in's progress dialog does; Terminate (button 1) cancels it.
class LongWorkCommand : public CVezadCommand {
public:
    ON_UUID CommandUUID() override { return ON_UUID(); }
    const wchar_t* EnglishCommandName() override { return L"TestLongWork"; }
    result RunCommand(const CVezadCommandContext&) override
    {
        struct Progress : CDialog {
            Progress() : CDialog(6019)
            {
                MapCommand(IDOK, [this] { cancelled = true; });
            }
            bool cancelled = false;
        } dialog;
        dialog.Create(6019);
        dialog.ShowWindow(SW_SHOW);
        for (stoppedAt = 1; stoppedAt <= 10 && !dialog.cancelled; ++stoppedAt) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                if (!dialog.PreTranslateMessage(&msg)) {
                    TranslateMessage(&msg);
                    DispatchMessageW(&msg);
                }
        }
        keptRunning = CVezadWorkerThread::KeepRunning();
        return dialog.cancelled ? cancel : success;
    }
    int stoppedAt = 0;
    bool keptRunning = true;
} g_longWork;

// A plug-in with the tools menu that tracks the context menu at a press.
class MenuPlugIn : public CVezadPlugIn, public CVezadMouseCallback {
public:
    ON_UUID PlugInID() const override
    {
        ON_UUID id;
        id.SetFromString("7a1e0c55-3d2b-4b8f-9e61-0c4d2a8b9f13");
        return id;
    }
    const wchar_t* PlugInName() const override { return L"MenuPlugIn"; }
    const wchar_t* PlugInVersion() const override { return L"1"; }
    BOOL OnLoadPlugIn() override
    {
        registerMeshwrightResources();
        tools.LoadMenu(6017);
        context.LoadMenu(6023);
        return InsertPlugInMenuToVezadMenu(tools.m_hMenu, 0);
    }
    BOOL OnPlugInMenuCommand(WPARAM id) override
    {
        commands.push_back(static_cast<UINT>(id));
        return id >= 33001 && id <= 33024;
    }
    int OnMouseDown(CVezadView& view, int, UINT, int x, int y) override
    {
        POINT at{x, y};
        ::ClientToScreen(view.m_hWnd, &at);
        context.GetSubMenu(0)->TrackPopupMenu(TPM_RIGHTBUTTON | TPM_CENTERALIGN, at.x, at.y,
                                              VezadApp().MainWnd());
        return 1;
    }
    CMenu tools, context;
    std::vector<UINT> commands;
} g_menuPlugIn;

int sdkVersion()
{
    return VezadPlugInSdkVersionNeeded;
}
CVezadPlugIn& menuPlugIn()
{
    return g_menuPlugIn;
}
CVezadPlugInModule g_menuModule(L"MenuPlugIn", {.VezadPlugInSdkVersion = sdkVersion,
                                                .VezadPlugInObject = menuPlugIn});

class MenuHost : public HostFixture {
protected:
    std::vector<std::wstring> plugIns() const override { return {L"MenuPlugIn"}; }
};

} // namespace

using EventHost = HostFixture;

TEST_F(EventHost, PressGoesToEnabledCallbacksInOrderThenSelectsUnderTheCursor)
{
    addCentreSquare(doc());
    CVezadObject* square = doc().ObjectAt(0);
    RecordingCallback first("first", 0), skipped("skipped", 1), second("second", 0);
    first.Enable();
    skipped.Enable();
    second.Enable();
    skipped.Enable(false);

    // The centre's frustum line meets the square.
    EXPECT_EQ(VezadHost::objectAt(view(), 160, 120), square);
    EXPECT_EQ(VezadHost::objectAt(view(), 5, 5), nullptr);

    ASSERT_EQ(mouse("down left 160 120 shift").status, ScriptResult::passed);
    ASSERT_EQ(g_mouse.size(), 2u);
    EXPECT_EQ(g_mouse[0].callback, "first");
    EXPECT_EQ(g_mouse[1].callback, "second");
    for (const MouseCall& call : g_mouse) {
        EXPECT_EQ(call.button, 1);
        EXPECT_EQ(call.flags, MK_LBUTTON | MK_SHIFT);
        EXPECT_EQ(call.x, 160);
        EXPECT_EQ(call.y, 120);
        EXPECT_TRUE(call.shiftInKeyTable);
    }
    EXPECT_FALSE(VezadApp().IsKeyDown(VK_SHIFT));
    EXPECT_TRUE(square->IsSelected());

    // A press on nothing clears the selection; a handled press selects
    // nothing.
    ASSERT_EQ(mouse("down left 5 5").status, ScriptResult::passed);
    EXPECT_FALSE(square->IsSelected());
    RecordingCallback handler("handler", 1);
    handler.Enable();
    ASSERT_EQ(mouse("down left 160 120").status, ScriptResult::passed);
    EXPECT_FALSE(square->IsSelected());
    EXPECT_EQ(g_mouse.back().callback, "handler");
    EXPECT_EQ(mouse("down left 1 1 view=3").status, ScriptResult::failed);
}

TEST_F(EventHost, DeleteKeyPassesTheHooksBeforeItDeletesTheSelection)
{
    addCentreSquare(doc());
    addCentreSquare(doc());
    HHOOK hook = SetWindowsHookExW(WH_GETMESSAGE, deleteHook, nullptr, GetCurrentThreadId());
    doc().ObjectAt(0)->Select(true);

    // A hook that swallows the key keeps the selection.
    g_swallowDelete = true;
    ASSERT_EQ(key("Delete").status, ScriptResult::passed);
    EXPECT_FALSE(doc().ObjectAt(0)->IsDeleted());
    g_swallowDelete = false;
    ASSERT_EQ(key("Delete").status, ScriptResult::passed);
    EXPECT_TRUE(doc().ObjectAt(0)->IsDeleted());
    EXPECT_FALSE(doc().ObjectAt(1)->IsDeleted());
    ASSERT_EQ(g_hookSeen.size(), 2u);
    for (const HookSeen& seen : g_hookSeen) {
        EXPECT_EQ(seen.message, WM_KEYDOWN);
        EXPECT_EQ(seen.key, WPARAM(VK_DELETE));
        EXPECT_EQ(seen.removal, PM_REMOVE);
        EXPECT_TRUE(seen.mainWindowActive);
    }

    // With a modeless dialog active the key goes to the dialog.
    doc().ObjectAt(1)->Select(true);
    EXPECT_EQ(key("Delete dialog").status, ScriptResult::failed);
    registerMeshwrightResources();
    CDialog info(6024);
    ASSERT_TRUE(info.Create(6024));
    ASSERT_EQ(key("Delete dialog").status, ScriptResult::passed);
    EXPECT_FALSE(g_hookSeen.back().mainWindowActive);
    EXPECT_FALSE(doc().ObjectAt(1)->IsDeleted());
    UnhookWindowsHookEx(hook);
}

TEST_F(EventHost, TerminateReachesTheProgressDialogAtTheCountedPump)
{
    registerMeshwrightResources();
    ASSERT_EQ(run("!terminate-after 3\n_TestLongWork\n!expect-result 1").status,
              ScriptResult::passed);
    EXPECT_EQ(g_longWork.stoppedAt, 4); // cancelled by the third pump's message
    EXPECT_FALSE(g_longWork.keptRunning);
    ASSERT_EQ(run("_TestLongWork\n!expect-result 0").status, ScriptResult::passed);
    EXPECT_EQ(g_longWork.stoppedAt, 11);
}

TEST_F(MenuHost, MenuCommandsAndContextMenuChoicesReachThePlugIn)
{
    EXPECT_EQ(run("!menu 33006").status, ScriptResult::passed);
    EXPECT_EQ(run("!menu 33019").status, ScriptResult::failed); // not in the host's menus
    g_menuPlugIn.Enable();
    EXPECT_EQ(mouse("down right 10 20 menu:33019").status, ScriptResult::passed);
    EXPECT_EQ(mouse("down right 10 20").status, ScriptResult::passed); // dismissed
    EXPECT_EQ(mouse("down right 10 20 menu:33019 menu:33020").status, ScriptResult::failed);
    EXPECT_EQ(g_menuPlugIn.commands, (std::vector<UINT>{33006, 33019, 33019}));
    EXPECT_NE(transcript().find("[context menu] at 10,20, enabled: 33023 33019 33024 33020 33021 "
                                "33017 33022 33018 -> 33019"),
              std::string::npos);
    assertNoUnansweredPrompts();
}
