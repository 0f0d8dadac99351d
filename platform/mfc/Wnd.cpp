#include "platform/mfc/Wnd.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

namespace {

// Never destroyed: plug-in globals destroy their windows at exit.
std::unordered_map<HWND, CWnd*>& windowObjects()
{
    static auto* objects = new std::unordered_map<HWND, CWnd*>;
    return *objects;
}

std::vector<CWinApp*>& applications()
{
    static auto* apps = new std::vector<CWinApp*>;
    return *apps;
}

int g_waitCursorCount = 0;

} // namespace

namespace AfxSubset {

void registerWindowObject(HWND window, CWnd* object)
{
    windowObjects()[window] = object;
}

void unregisterWindowObject(HWND window)
{
    windowObjects().erase(window);
}

bool initApplications()
{
    bool ok = true;
    for (CWinApp* app : applications()) {
        if (!app->m_initialised) {
            app->m_initialised = true;
            ok = app->InitInstance() && ok;
        }
    }
    return ok;
}

void beginWaitCursor()
{
    ++g_waitCursorCount;
}

void endWaitCursor()
{
    if (g_waitCursorCount > 0)
        --g_waitCursorCount;
}

int waitCursorCount()
{
    return g_waitCursorCount;
}

} // namespace AfxSubset

CWnd::~CWnd()
{
    if (m_ownsWindow)
        CWnd::DestroyWindow();
}

CWnd* CWnd::FromHandle(HWND window)
{
    auto& objects = windowObjects();
    auto it = objects.find(window);
    return it != objects.end() && IsWindow(window) ? it->second : nullptr;
}

BOOL CWnd::createWindow(const Win32Subset::WindowSettings& settings)
{
    if (m_hWnd && IsWindow(m_hWnd))
        return FALSE;
    m_hWnd = Win32Subset::createWindow(settings,
                                       [this](HWND, UINT message, WPARAM wParam, LPARAM lParam) {
                                           return WindowProc(message, wParam, lParam);
                                       });
    m_ownsWindow = true;
    AfxSubset::registerWindowObject(m_hWnd, this);
    return TRUE;
}

BOOL CWnd::DestroyWindow()
{
    if (!m_hWnd)
        return FALSE;
    HWND window = m_hWnd;
    m_hWnd = nullptr;
    if (!m_ownsWindow)
        return FALSE;
    m_ownsWindow = false;
    if (FromHandle(window) == this)
        AfxSubset::unregisterWindowObject(window);
    return Win32Subset::destroyWindow(window) ? TRUE : FALSE;
}

BOOL CWnd::Attach(HWND window)
{
    if (m_hWnd || !IsWindow(window))
        return FALSE;
    m_hWnd = window;
    m_ownsWindow = false;
    return TRUE;
}

HWND CWnd::Detach()
{
    HWND window = m_ownsWindow ? nullptr : m_hWnd;
    if (window)
        m_hWnd = nullptr;
    return window;
}

BOOL CWnd::ShowWindow(int showCommand)
{
    BOOL wasVisible = IsWindowVisible();
    Win32Subset::showWindow(m_hWnd, showCommand != SW_HIDE);
    return wasVisible;
}

BOOL CWnd::IsWindowVisible() const
{
    const auto* settings = Win32Subset::windowSettings(m_hWnd);
    return settings && settings->visible ? TRUE : FALSE;
}

void CWnd::SetWindowText(const wchar_t* text)
{
    Win32Subset::setWindowText(m_hWnd, text ? text : L"");
}

int CWnd::GetWindowText(CString& text) const
{
    const auto* settings = Win32Subset::windowSettings(m_hWnd);
    text = settings ? CString(settings->text) : CString();
    return text.GetLength();
}

BOOL CWnd::EnableWindow(BOOL enable)
{
    BOOL wasDisabled = !IsWindowEnabled();
    Win32Subset::enableWindow(m_hWnd, enable != FALSE);
    return wasDisabled;
}

BOOL CWnd::IsWindowEnabled() const
{
    const auto* settings = Win32Subset::windowSettings(m_hWnd);
    return settings && settings->enabled ? TRUE : FALSE;
}

CWnd* CWnd::GetDlgItem(int id) const
{
    return FromHandle(Win32Subset::childWithId(m_hWnd, id));
}

int CWnd::GetDlgCtrlID() const
{
    const auto* settings = Win32Subset::windowSettings(m_hWnd);
    return settings ? settings->id : 0;
}

CWnd* CWnd::GetParent() const
{
    const auto* settings = Win32Subset::windowSettings(m_hWnd);
    return settings ? FromHandle(settings->parent) : nullptr;
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return SendMessageW(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return m_hWnd ? PostMessageW(m_hWnd, message, wParam, lParam) : FALSE;
}

BOOL CWnd::RedrawWindow(const RECT* update, HRGN region, UINT flags)
{
    return ::RedrawWindow(m_hWnd, update, region, flags);
}

void CWnd::ClientToScreen(POINT* point) const
{
    ::ClientToScreen(m_hWnd, point);
}

BOOL CWnd::PreTranslateMessage(MSG*)
{
    return FALSE;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND)
        return OnCommand(wParam, lParam);
    return 0;
}

BOOL CWnd::OnCommand(WPARAM, LPARAM)
{
    return FALSE;
}

CWinApp::CWinApp(const wchar_t* appName) : m_pszAppName(appName)
{
    applications().push_back(this);
}

CWinApp::~CWinApp()
{
    auto& apps = applications();
    apps.erase(std::remove(apps.begin(), apps.end(), this), apps.end());
}

CWnd* AfxGetMainWnd()
{
    return CWnd::FromHandle(Win32Subset::mainWindow());
}
