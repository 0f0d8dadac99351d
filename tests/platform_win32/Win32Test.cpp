// The Win32 subset: the WH_GETMESSAGE hook chain run by PeekMessageW, window
// messages, and the path, module and error helpers.
#include "platform/win32/Win32Host.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct HookCall {
    int hook;
    int code;
    WPARAM wParam;
    UINT message;
    WPARAM key;
};
std::vector<HookCall> g_calls;
HHOOK g_first = nullptr;
HHOOK g_second = nullptr;
bool g_secondUnhooksItself = false;

LRESULT record(int hook, int code, WPARAM wParam, LPARAM lParam)
{
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    g_calls.push_back({hook, code, wParam, msg->message, msg->wParam});
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK firstHook(int code, WPARAM wParam, LPARAM lParam)
{
    return record(1, code, wParam, lParam);
}

LRESULT CALLBACK secondHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (g_secondUnhooksItself)
        UnhookWindowsHookEx(g_second);
    return record(2, code, wParam, lParam);
}

void postAndTake(UINT message, WPARAM wParam)
{
    ASSERT_TRUE(PostMessageW(nullptr, message, wParam, 0));
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, message);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
}

} // namespace

TEST(Win32Hooks, PeekRunsTheChainNewestFirstAndUnhookingIsSafeInsideACall)
{
    g_first = SetWindowsHookExW(WH_GETMESSAGE, firstHook, nullptr, GetCurrentThreadId());
    g_second = SetWindowsHookExW(WH_GETMESSAGE, secondHook, nullptr, 0);
    ASSERT_TRUE(g_first && g_second);
    EXPECT_EQ(SetWindowsHookExW(4, firstHook, nullptr, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HOOK_FILTER);

    // The newest hook sees the key first, with the removal flag, and passes
    // it on to the next one.
    postAndTake(WM_KEYDOWN, VK_DELETE);
    ASSERT_EQ(g_calls.size(), 2u);
    EXPECT_EQ(g_calls[0].hook, 2);
    EXPECT_EQ(g_calls[1].hook, 1);
    for (const HookCall& call : g_calls) {
        EXPECT_GE(call.code, 0);
        EXPECT_EQ(call.wParam, PM_REMOVE);
        EXPECT_EQ(call.message, WM_KEYDOWN);
        EXPECT_EQ(call.key, WPARAM(VK_DELETE));
    }

    // A hook that unhooks itself inside its call still reaches the next one,
    // and is gone from then on.
    g_calls.clear();
    g_secondUnhooksItself = true;
    postAndTake(WM_KEYDOWN, VK_DELETE);
    ASSERT_EQ(g_calls.size(), 2u);
    EXPECT_EQ(g_calls[1].hook, 1);
    g_calls.clear();
    postAndTake(WM_KEYUP, VK_DELETE);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].hook, 1);
    EXPECT_FALSE(UnhookWindowsHookEx(g_second));

    // After unhooking the last hook nothing sees the messages.
    EXPECT_TRUE(UnhookWindowsHookEx(g_first));
    g_calls.clear();
    postAndTake(WM_KEYDOWN, VK_DELETE);
    EXPECT_TRUE(g_calls.empty());
}

TEST(Win32Windows, MessagesReachTheirWindowsAndStaleHandlesReachNothing)
{
    std::vector<UINT> seen;
    auto procedure = [&](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
        seen.push_back(message);
        return 7;
    };
    Win32Subset::WindowSettings settings;
    settings.origin = {100, 50};
    HWND window = Win32Subset::createWindow(settings, procedure);
    EXPECT_EQ(SendMessageW(window, WM_USER, 0, 0), 7);
    EXPECT_EQ(SendMessageW(nullptr, WM_USER, 0, 0), 0);

    // Posted messages wait for the loop; a posted paint is a redraw later,
    // an update-now redraw paints at once.
    EXPECT_TRUE(RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE));
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_TRUE(RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW));
    EXPECT_EQ(seen.back(), WM_PAINT);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(DispatchMessageW(&msg), 7);
    EXPECT_EQ(seen, (std::vector<UINT>{WM_USER, WM_PAINT, WM_PAINT}));

    POINT point{3, 4};
    EXPECT_TRUE(ClientToScreen(window, &point));
    EXPECT_EQ(point.x, 103);
    EXPECT_EQ(point.y, 54);

    // A destroyed window's handle is never given to another window.
    ASSERT_TRUE(Win32Subset::destroyWindow(window));
    HWND next = Win32Subset::createWindow(settings, procedure);
    EXPECT_NE(next, window);
    EXPECT_FALSE(PostMessageW(window, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_EQ(SendMessageW(window, WM_USER, 0, 0), 0);
    EXPECT_FALSE(ClientToScreen(window, &point));

    Win32Subset::setKeyDown(VK_SHIFT, true);
    BYTE keys[256];
    ASSERT_TRUE(GetKeyboardState(keys));
    EXPECT_EQ(keys[VK_SHIFT] & 0x80, 0x80);
    EXPECT_EQ(keys[VK_CONTROL], 0);
}

TEST(Win32Paths, SplitPathTakesEitherSeparatorAndCutsOverlongParts)
{
    struct Case {
        const char* path;
        const char *drive, *dir, *name, *ext;
    };
    const Case cases[] = {
        {"c:\\plug\\Meshwright.vzp", "c:", "\\plug\\", "Meshwright", ".vzp"},
        {"/opt/vezad/plug-ins/Meshwright.vzp", "", "/opt/vezad/plug-ins/", "Meshwright", ".vzp"},
        {"mesh.tar.STL", "", "", "mesh.tar", ".STL"},
        {"/data/noext", "", "/data/", "noext", ""},
        {"", "", "", "", ""},
    };
    for (const Case& c : cases) {
        char drive[_MAX_DRIVE], dir[_MAX_DIR], name[_MAX_FNAME], ext[_MAX_EXT];
        _splitpath(c.path, drive, dir, name, ext);
        EXPECT_STREQ(drive, c.drive) << c.path;
        EXPECT_STREQ(dir, c.dir) << c.path;
        EXPECT_STREQ(name, c.name) << c.path;
        EXPECT_STREQ(ext, c.ext) << c.path;
    }
    const std::wstring longName(400, L'x');
    wchar_t name[_MAX_FNAME], ext[_MAX_EXT];
    _wsplitpath((L"/d/" + longName + L".stl").c_str(), nullptr, nullptr, name, ext);
    EXPECT_EQ(std::wstring(name), longName.substr(0, _MAX_FNAME - 1));
    EXPECT_EQ(std::wstring(ext), L".stl");
}

TEST(Win32Modules, ModulePathsKeepWideCharactersAndReportTruncation)
{
    const std::wstring path = L"/home/\u00e9l\u00e8ve/\u6a21\u578b/Meshwright.vzp";
    HMODULE module = Win32Subset::registerModule(path);
    EXPECT_EQ(GetModuleHandleW(L"MESHWRIGHT.VZP"), module);
    wchar_t buffer[_MAX_PATH];
    EXPECT_EQ(GetModuleFileNameW(module, buffer, _MAX_PATH), path.size());
    EXPECT_EQ(std::wstring(buffer), path);
    EXPECT_EQ(GetModuleFileNameW(module, buffer, 5), 5u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::wstring(buffer), path.substr(0, 4));
    EXPECT_EQ(GetModuleHandleW(L"Other.vzp"), nullptr);

    EXPECT_GT(reinterpret_cast<std::intptr_t>(
                  ShellExecuteW(nullptr, L"open", L"/x/t.pdf", nullptr, nullptr, SW_SHOWNORMAL)),
              32);
    ASSERT_EQ(Win32Subset::shellExecuteLog().size(), 1u);
    EXPECT_EQ(Win32Subset::shellExecuteLog()[0].verb, L"open");
    EXPECT_EQ(Win32Subset::shellExecuteLog()[0].file, L"/x/t.pdf");

    wchar_t* text = nullptr;
    ASSERT_GT(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
                             ERROR_INVALID_WINDOW_HANDLE, 0, reinterpret_cast<LPWSTR>(&text), 0,
                             nullptr),
              0u);
    EXPECT_EQ(std::wstring(text), L"Invalid window handle.\r\n");
    LocalFree(text);
    wchar_t small[8];
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 999999, 0, small, 8, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), ERROR_MR_MID_NOT_FOUND);
}
