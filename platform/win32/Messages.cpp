// Windows, message queues and hook chains of the Win32 subset.
#include "platform/win32/Win32Host.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <unordered_map>

namespace {

struct WindowRecord {
    Win32Subset::WindowSettings settings;
    Win32Subset::WindowProcedure procedure;
    std::vector<HWND> children;
};

} // namespace

struct HHOOK__ {
    HOOKPROC procedure = nullptr;
    bool removed = false;
};

namespace {

struct WindowRegistry {
    // Handles are numbers that are never used twice, so a stale handle kept
    // by a destroyed window's owner can never reach a newer window.
    std::uintptr_t lastHandle = 0;
    std::unordered_map<HWND, std::shared_ptr<WindowRecord>> windows;
    std::vector<HWND> order; // creation order, for children()
    HWND mainWindow = nullptr;
    HWND activeWindow = nullptr;
    std::function<void()> pumpObserver;
};

// Never destroyed: plug-in globals destroy their windows during static
// destruction, after any registry with a destructor would be gone.
WindowRegistry& registry()
{
    static WindowRegistry* r = new WindowRegistry;
    return *r;
}

std::shared_ptr<WindowRecord> find(HWND window)
{
    auto& windows = registry().windows;
    auto it = windows.find(window);
    return it == windows.end() ? nullptr : it->second;
}

// The calling thread's queue and hook chain. Hooks removed while the chain
// runs stay in place (marked) until the outermost hook call returns, so a
// running chain can always find its next hook.
struct ThreadMessages {
    std::deque<MSG> queue;
    std::vector<std::unique_ptr<HHOOK__>> hooks; // newest first
    std::vector<std::size_t> running;            // chain positions being called
    bool pumpIdle = true;

    void purgeRemovedHooks()
    {
        if (!running.empty())
            return;
        hooks.erase(std::remove_if(hooks.begin(), hooks.end(),
                                   [](const std::unique_ptr<HHOOK__>& h) { return h->removed; }),
                    hooks.end());
    }

    // Calls the first live hook at or after position; 0 when none is left.
    LRESULT callFrom(std::size_t position, int code, WPARAM wParam, LPARAM lParam)
    {
        while (position < hooks.size() && hooks[position]->removed)
            ++position;
        if (position >= hooks.size())
            return 0;
        running.push_back(position);
        LRESULT result = hooks[position]->procedure(code, wParam, lParam);
        running.pop_back();
        purgeRemovedHooks();
        return result;
    }
};

ThreadMessages& thread()
{
    thread_local ThreadMessages messages;
    return messages;
}

bool matches(const MSG& message, HWND window, UINT filterMin, UINT filterMax)
{
    if (window && message.hwnd != window)
        return false;
    if (filterMin == 0 && filterMax == 0)
        return true;
    return message.message >= filterMin && message.message <= filterMax;
}

} // namespace

namespace Win32Subset {

HWND createWindow(const WindowSettings& settings, WindowProcedure procedure)
{
    auto record = std::make_shared<WindowRecord>();
    record->settings = settings;
    record->procedure = std::move(procedure);
    WindowRegistry& r = registry();
    HWND handle = reinterpret_cast<HWND>(++r.lastHandle * 16);
    if (auto parent = find(settings.parent))
        parent->children.push_back(handle);
    else
        record->settings.parent = nullptr;
    r.windows.emplace(handle, std::move(record));
    r.order.push_back(handle);
    return handle;
}

bool destroyWindow(HWND window)
{
    WindowRegistry& r = registry();
    auto record = find(window);
    if (!record)
        return false;
    for (HWND child : std::vector<HWND>(record->children))
        destroyWindow(child);
    if (auto parent = find(record->settings.parent)) {
        auto& siblings = parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), window), siblings.end());
    }
    r.windows.erase(window);
    r.order.erase(std::remove(r.order.begin(), r.order.end(), window), r.order.end());
    if (r.activeWindow == window)
        r.activeWindow = nullptr;
    if (r.mainWindow == window)
        r.mainWindow = nullptr;
    // Messages still queued for the window are dropped when they are taken.
    return true;
}

const WindowSettings* windowSettings(HWND window)
{
    auto record = find(window);
    return record ? &record->settings : nullptr;
}

// Sets one setting of a live window; false for an unknown handle.
template <class Value>
bool setSetting(HWND window, Value WindowSettings::*setting, const Value& value)
{
    auto record = find(window);
    if (record)
        record->settings.*setting = value;
    return record != nullptr;
}

bool setWindowText(HWND window, const std::wstring& text)
{
    return setSetting(window, &WindowSettings::text, text);
}

bool showWindow(HWND window, bool visible)
{
    return setSetting(window, &WindowSettings::visible, visible);
}

bool enableWindow(HWND window, bool enabled)
{
    return setSetting(window, &WindowSettings::enabled, enabled);
}

HWND childWithId(HWND parent, int id)
{
    auto record = find(parent);
    if (!record)
        return nullptr;
    for (HWND child : record->children)
        if (find(child)->settings.id == id)
            return child;
    return nullptr;
}

std::vector<HWND> children(HWND parent)
{
    if (!parent) {
        std::vector<HWND> topLevel;
        for (HWND window : registry().order)
            if (!find(window)->settings.parent)
                topLevel.push_back(window);
        return topLevel;
    }
    auto record = find(parent);
    return record ? record->children : std::vector<HWND>();
}

void setMainWindow(HWND window)
{
    registry().mainWindow = window;
}

HWND mainWindow()
{
    return registry().mainWindow;
}

void setActiveWindow(HWND window)
{
    registry().activeWindow = window;
}

void setPumpObserver(std::function<void()> observer)
{
    registry().pumpObserver = std::move(observer);
}

} // namespace Win32Subset

HHOOK SetWindowsHookExW(int idHook, HOOKPROC procedure, HINSTANCE, DWORD threadId)
{
    if (idHook != WH_GETMESSAGE) {
        SetLastError(ERROR_INVALID_HOOK_FILTER);
        return nullptr;
    }
    if (!procedure || (threadId != 0 && threadId != GetCurrentThreadId())) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto& hooks = thread().hooks;
    hooks.insert(hooks.begin(), std::make_unique<HHOOK__>());
    hooks.front()->procedure = procedure;
    // Positions of running calls move with the insertion.
    for (std::size_t& position : thread().running)
        ++position;
    return hooks.front().get();
}

BOOL UnhookWindowsHookEx(HHOOK hook)
{
    ThreadMessages& t = thread();
    for (auto& h : t.hooks) {
        if (h.get() == hook && !h->removed) {
            h->removed = true;
            t.purgeRemovedHooks();
            return TRUE;
        }
    }
    SetLastError(ERROR_INVALID_HOOK_HANDLE);
    return FALSE;
}

LRESULT CallNextHookEx(HHOOK, int code, WPARAM wParam, LPARAM lParam)
{
    ThreadMessages& t = thread();
    if (t.running.empty())
        return 0;
    return t.callFrom(t.running.back() + 1, code, wParam, lParam);
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (window && !find(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    MSG msg;
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    thread().queue.push_back(msg);
    return TRUE;
}

BOOL PeekMessageW(MSG* message, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags)
{
    ThreadMessages& t = thread();
    if (t.pumpIdle) {
        // Copied: the observer may replace itself.
        if (auto observer = registry().pumpObserver)
            observer();
    }
    auto it = std::find_if(t.queue.begin(), t.queue.end(),
                           [&](const MSG& m) { return matches(m, window, filterMin, filterMax); });
    if (it == t.queue.end() || !message) {
        t.pumpIdle = true;
        return FALSE;
    }
    t.pumpIdle = false;
    *message = *it;
    if (removeFlags & PM_REMOVE)
        t.queue.erase(it);
    t.callFrom(0, HC_ACTION, removeFlags & PM_REMOVE, reinterpret_cast<LPARAM>(message));
    return TRUE;
}

BOOL TranslateMessage(const MSG* message)
{
    return message && message->message >= WM_KEYFIRST && message->message <= WM_KEYLAST;
}

LRESULT DispatchMessageW(const MSG* message)
{
    if (!message || !message->hwnd)
        return 0;
    return SendMessageW(message->hwnd, message->message, message->wParam, message->lParam);
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // The record is held for the call: the procedure may destroy its window.
    auto record = find(window);
    if (!record || !record->procedure)
        return 0;
    return record->procedure(window, message, wParam, lParam);
}

BOOL IsWindow(HWND window)
{
    return find(window) ? TRUE : FALSE;
}

HWND GetActiveWindow()
{
    WindowRegistry& r = registry();
    return r.activeWindow ? r.activeWindow : r.mainWindow;
}

BOOL ClientToScreen(HWND window, POINT* point)
{
    auto record = find(window);
    if (!record || !point) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    point->x += record->settings.origin.x;
    point->y += record->settings.origin.y;
    return TRUE;
}

BOOL RedrawWindow(HWND window, const RECT*, HRGN, UINT flags)
{
    if (!find(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (!(flags & (RDW_INVALIDATE | RDW_INTERNALPAINT)))
        return TRUE;
    if (flags & (RDW_UPDATENOW | RDW_ERASENOW))
        SendMessageW(window, WM_PAINT, 0, 0);
    else
        PostMessageW(window, WM_PAINT, 0, 0);
    return TRUE;
}
