// The host's side of the Win32 subset: what the headless host fills in and
// reads back behind the functions of WindowsSubset.h.
//
// Windows are records with a procedure: the host's main window and views,
// the dialogs and their controls. A window handle stays valid until its
// window is destroyed; a window destroyed while its procedure runs lives
// until that call returns. Destroying a window destroys its children first.
//
// Ownership: the registry owns the window records; procedures are copied in.
// The registry outlives every static object (it is never destroyed), so
// plug-in globals may destroy their windows at exit.
// Not thread-safe: windows, keys and modules belong to the host's user-
// interface thread; message queues and hooks are per thread.
#pragma once

#include "platform/win32/WindowsSubset.h"

#include <functional>
#include <string>
#include <vector>

namespace Win32Subset {

using WindowProcedure = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

struct WindowSettings {
    std::wstring className;
    std::wstring text;
    HWND parent = nullptr;
    // The control id of a child window (its dialog finds it by the id).
    int id = 0;
    // Where the client area's (0, 0) lies on the screen.
    POINT origin;
    bool visible = false;
    bool enabled = true;
};

// A new window; its procedure gets every message sent or dispatched to it
// (a null procedure answers 0 to everything).
HWND createWindow(const WindowSettings& settings, WindowProcedure procedure);
// Destroys the window and its children; false for an unknown handle.
bool destroyWindow(HWND window);

// The settings of a live window, changed in place by the setters below;
// null for an unknown handle.
const WindowSettings* windowSettings(HWND window);
bool setWindowText(HWND window, const std::wstring& text);
bool showWindow(HWND window, bool visible);
bool enableWindow(HWND window, bool enabled);
// The child of parent with that control id; null when none.
HWND childWithId(HWND parent, int id);
// The children of a window in the order they were created; with a null
// parent, the top-level windows.
std::vector<HWND> children(HWND parent);

// The host's main window (what GetActiveWindow answers unless another
// window was made active) and the active window itself.
void setMainWindow(HWND window);
HWND mainWindow();
void setActiveWindow(HWND window);

// The key table behind GetKeyboardState.
void setKeyDown(int virtualKey, bool down);
bool isKeyDown(int virtualKey);
const BYTE* keyStates();
void releaseAllKeys();

// Modules GetModuleHandleW and GetModuleFileNameW know: a file name and its
// full path. A module registered again keeps its handle with the new path.
HMODULE registerModule(const std::wstring& fullPath);

// One ShellExecuteW call as it was made (null texts are empty).
struct ShellExecuteRecord {
    std::wstring verb;
    std::wstring file;
    std::wstring parameters;
    std::wstring directory;
    int showCommand = 0;
};
const std::vector<ShellExecuteRecord>& shellExecuteLog();
void clearShellExecuteLog();

// Called when a PeekMessageW call starts a new pump on the calling thread
// (the first call after one that found no message): the host counts the
// pumps of long work there. Empty: nobody observes.
void setPumpObserver(std::function<void()> observer);

} // namespace Win32Subset
