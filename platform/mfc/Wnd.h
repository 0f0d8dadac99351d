// Windows of the class-library subset: CString, CWnd (a window with a
// procedure, found again from its handle), the application object CWinApp,
// the wait cursor and the module-state macro.
//
// A CWnd that created its window destroys it with itself; one that only
// attached to a window (a control bound by data exchange) leaves it alone.
// Messages reach a window's WindowProc; WM_COMMAND goes on to OnCommand, in
// place of the class library's message maps.
//
// Not thread-safe: windows belong to the host's user-interface thread.
#pragma once

#include "platform/win32/Win32Host.h"

#include <string>

// A wide string with the few operations callers use.
class CString {
public:
    CString() = default;
    CString(const wchar_t* text) : m_text(text ? text : L"") {}
    CString(std::wstring text) : m_text(std::move(text)) {}

    operator const wchar_t*() const { return m_text.c_str(); }
    const wchar_t* GetString() const { return m_text.c_str(); }
    int GetLength() const { return static_cast<int>(m_text.size()); }
    bool IsEmpty() const { return m_text.empty(); }
    const std::wstring& str() const { return m_text; }
    bool operator==(const CString& other) const { return m_text == other.m_text; }

private:
    std::wstring m_text;
};

class CWnd {
public:
    CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    virtual ~CWnd();

    HWND m_hWnd = nullptr;
    HWND GetSafeHwnd() const { return m_hWnd; }

    // The object that created the window, or the one the window was handed
    // to with registerWindowObject; null for an unknown window.
    static CWnd* FromHandle(HWND window);

    // Binds this object to a window it did not create (FALSE when it holds
    // one already or the window is unknown); Detach releases it.
    BOOL Attach(HWND window);
    HWND Detach();

    // The previous visibility (non-zero when it was visible).
    BOOL ShowWindow(int showCommand);
    BOOL IsWindowVisible() const;
    void SetWindowText(const wchar_t* text);
    int GetWindowText(CString& text) const;
    // Non-zero when the window was disabled before, as on Windows.
    BOOL EnableWindow(BOOL enable = TRUE);
    BOOL IsWindowEnabled() const;
    // The dialog control with that id, as the object its dialog keeps; null
    // when there is none.
    CWnd* GetDlgItem(int id) const;
    int GetDlgCtrlID() const;
    CWnd* GetParent() const;
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    BOOL RedrawWindow(const RECT* update = nullptr, HRGN region = nullptr,
                      UINT flags = RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
    void ClientToScreen(POINT* point) const;
    virtual BOOL DestroyWindow();

    // Asked by message pumps before a message is translated and dispatched;
    // TRUE keeps it from being dispatched. The base handles nothing.
    virtual BOOL PreTranslateMessage(MSG* message);

protected:
    // Creates this object's window; its messages go to WindowProc. FALSE
    // when the object holds a window already.
    BOOL createWindow(const Win32Subset::WindowSettings& settings);
    // WM_COMMAND goes to OnCommand; everything else answers 0.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // A command from a control or menu: LOWORD(wParam) is its id, HIWORD the
    // notification, lParam the control's window. TRUE when handled.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);

private:
    bool m_ownsWindow = false;
};

namespace AfxSubset {

// Makes FromHandle answer object for window (a window made outside CWnd,
// such as a control the dialog keeps a generic object for).
void registerWindowObject(HWND window, CWnd* object);
void unregisterWindowObject(HWND window);

// Calls InitInstance of every application object not initialised yet, as a
// library's load does; answers false when one refused.
bool initApplications();

// Nested wait-cursor requests; the cursor waits while the count is above 0.
void beginWaitCursor();
void endWaitCursor();
int waitCursorCount();

} // namespace AfxSubset

// The application object of a library; one global instance per library,
// initialised when the host loads it.
class CWinApp {
public:
    explicit CWinApp(const wchar_t* appName = nullptr);
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;
    virtual ~CWinApp();

    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return 0; }

    const wchar_t* m_pszAppName = nullptr;

private:
    friend bool AfxSubset::initApplications();
    bool m_initialised = false;
};

// The host's main window; null without a host.
CWnd* AfxGetMainWnd();

// Shows the wait cursor while it lives.
class CWaitCursor {
public:
    CWaitCursor() { AfxSubset::beginWaitCursor(); }
    ~CWaitCursor() { AfxSubset::endWaitCursor(); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
    // Shows the wait cursor again after something changed the cursor.
    void Restore() {}
};

// A library switches the class library to its own module state for the
// rest of a call; this headless library has one state, so it does nothing.
struct AFX_MODULE_STATE;
inline AFX_MODULE_STATE* AfxGetStaticModuleState()
{
    return nullptr;
}
#define AFX_MANAGE_STATE(state) ((void)(state))
