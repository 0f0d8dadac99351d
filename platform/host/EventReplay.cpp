#include "platform/host/EventReplay.h"

#include "platform/host/App.h"
#include "platform/host/Document.h"
#include "platform/host/HostText.h"
#include "platform/host/MouseCallback.h"
#include "platform/host/PlugIn.h"
#include "platform/host/View.h"
#include "platform/mfc/Menu.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace VezadHost {

namespace {

// True while the host's own message loop runs: its turns are no pumps of
// long work.
bool g_hostLoop = false;

CVezadView* viewAt(int index)
{
    const auto& views = VezadApp().views();
    return index >= 0 && index < static_cast<int>(views.size())
               ? views[static_cast<std::size_t>(index)].get()
               : nullptr;
}

// The newest visible modeless dialog, else the newest one; null when none.
HWND newestDialog()
{
    HWND found = nullptr;
    for (HWND window : Win32Subset::children(nullptr)) {
        const auto* settings = Win32Subset::windowSettings(window);
        if (settings->className != L"#32770")
            continue;
        if (settings->visible || !found || !Win32Subset::windowSettings(found)->visible)
            found = window;
    }
    return found;
}

int mouseCall(CVezadMouseCallback& callback, const MouseEvent& event, CVezadView& view, UINT flags)
{
    switch (event.action) {
    case MouseEvent::down:
        return callback.OnMouseDown(view, event.button, flags, event.x, event.y);
    case MouseEvent::move:
        return callback.OnMouseMove(view, flags, event.x, event.y);
    case MouseEvent::up:
        return callback.OnMouseUp(view, event.button, flags, event.x, event.y);
    }
    return 0;
}

void selectAt(CVezadView& view, const MouseEvent& event)
{
    CVezadDoc* doc = view.GetDocument();
    if (!doc)
        return;
    CVezadObject* hit = objectAt(view, event.x, event.y);
    if (event.ctrl) {
        if (hit)
            hit->Select(false);
    } else {
        if (!event.shift)
            doc->UnselectAll();
        if (hit)
            hit->Select(true);
    }
    doc->UpdateAllViews();
}

} // namespace

int virtualKeyFromName(const std::string& name)
{
    static const std::pair<const char*, int> named[] = {
        {"Delete", VK_DELETE}, {"Escape", VK_ESCAPE}, {"Enter", VK_RETURN},
        {"Space", VK_SPACE},   {"Tab", VK_TAB},       {"Backspace", VK_BACK},
    };
    for (const auto& [text, key] : named)
        if (equalsNoCase(name, text))
            return key;
    if (name.size() == 1 && std::isalnum(static_cast<unsigned char>(name[0])))
        return std::toupper(static_cast<unsigned char>(name[0]));
    return 0;
}

CVezadObject* objectAt(CVezadView& view, int x, int y, ON_3dPoint* hitPoint, ON_3dVector* hitNormal)
{
    CVezadDoc* doc = view.GetDocument();
    if (!doc)
        return nullptr;
    const CVezadPickContext context = view.pickContext(x, y);
    const ON_3dVector direction = context.m_pick_line.Direction();
    CVezadObject* nearest = nullptr;
    double nearestDepth = std::numeric_limits<double>::infinity();
    for (int i = 0; i < doc->ObjectCount(); ++i) {
        CVezadObject* object = doc->ObjectAt(i);
        if (object->IsDeleted() || object->IsHidden())
            continue;
        ON_ClassArray<CVezadObjRef> picks;
        object->Pick(context, picks);
        for (int k = 0; k < picks.Count(); ++k) {
            // A hit without a point ranks behind every hit with one.
            ON_3dPoint point;
            const double depth = picks[k].SelectionPoint(point)
                                     ? (point - context.m_pick_line.from) * direction
                                     : std::numeric_limits<double>::max();
            if (!nearest || depth < nearestDepth) {
                nearest = object;
                nearestDepth = depth;
                if (hitPoint)
                    picks[k].SelectionPoint(*hitPoint);
                if (hitNormal && !picks[k].selectionNormal(*hitNormal))
                    *hitNormal = ON_3dVector(0.0, 0.0, 0.0);
            }
        }
    }
    return nearest;
}

bool sendMouseEvent(const MouseEvent& event, std::string& reason)
{
    CVezadView* view = viewAt(event.view);
    if (!view) {
        reason = "there is no view " + std::to_string(event.view);
        return false;
    }
    CVezadApp& app = VezadApp();
    if (event.action == MouseEvent::down)
        app.setActiveView(view);
    const int keys[] = {event.shift ? VK_SHIFT : 0, event.ctrl ? VK_CONTROL : 0,
                        event.alt ? VK_MENU : 0, event.key};
    for (int key : keys)
        if (key)
            app.SetKeyDown(key, true);
    UINT flags = (event.shift ? MK_SHIFT : 0) | (event.ctrl ? MK_CONTROL : 0);
    if (event.action != MouseEvent::up)
        flags |= event.button == 1   ? MK_LBUTTON
                 : event.button == 2 ? MK_RBUTTON
                 : event.button == 3 ? MK_MBUTTON
                                     : 0;
    bool handled = false;
    // Copied: a callback may enable or disable callbacks; those disabled
    // meanwhile are skipped.
    for (CVezadMouseCallback* callback : std::vector(enabledMouseCallbacks())) {
        if (!callback->IsEnabled())
            continue;
        if (mouseCall(*callback, event, *view, flags) != 0 && callback->PassThrough() == 0) {
            handled = true;
            break;
        }
    }
    if (!handled && event.action == MouseEvent::down && event.button == 1)
        selectAt(*view, event);
    runMessageLoop();
    for (int key : keys)
        if (key)
            app.SetKeyDown(key, false);
    return true;
}

bool pressKey(int virtualKey, bool inDialog, std::string& reason)
{
    HWND target = GetActiveWindow();
    if (inDialog) {
        target = newestDialog();
        if (!target) {
            reason = "no modeless dialog to make active";
            return false;
        }
        Win32Subset::setActiveWindow(target);
    }
    CVezadApp& app = VezadApp();
    PostMessageW(target, WM_KEYDOWN, static_cast<WPARAM>(virtualKey), 1);
    app.SetKeyDown(virtualKey, true);
    runMessageLoop();
    app.SetKeyDown(virtualKey, false);
    if (inDialog)
        Win32Subset::setActiveWindow(nullptr);
    return true;
}

void runMessageLoop()
{
    const bool outer = g_hostLoop;
    g_hostLoop = true;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        bool taken = false;
        for (HWND w = message.hwnd; w && !taken; w = Win32Subset::windowSettings(w)->parent) {
            if (CWnd* window = CWnd::FromHandle(w))
                taken = window->PreTranslateMessage(&message) != FALSE;
            if (!IsWindow(w))
                break;
        }
        if (!taken) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    g_hostLoop = outer;
}

bool runMenuCommand(UINT id)
{
    CVezadApp& app = VezadApp();
    std::vector<CVezadPlugIn*> order;
    for (const CVezadPlugInMenu& menu : app.PlugInMenus()) {
        CMenu* m = CMenu::FromHandle(menu.menu);
        if (m && m->GetMenuState(id, MF_BYCOMMAND) != static_cast<UINT>(-1))
            order.push_back(const_cast<CVezadPlugIn*>(menu.plugIn));
    }
    for (const auto& loaded : app.LoadedPlugIns())
        order.push_back(loaded.plugIn);
    for (CVezadPlugIn* plugIn : order)
        if (plugIn->OnPlugInMenuCommand(id))
            return true;
    app.Print("No plug-in takes the menu command %u\n", id);
    return false;
}

MainWindow::MainWindow()
{
    Win32Subset::WindowSettings settings;
    settings.className = L"VezadMain";
    settings.text = L"Vezad";
    settings.visible = true;
    createWindow(settings);
}

LRESULT MainWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND && lParam == 0) {
        runMenuCommand(LOWORD(wParam));
        return 0;
    }
    CVezadDoc* doc = VezadApp().ActiveDoc();
    if (message == WM_KEYDOWN && wParam == VK_DELETE && doc) {
        doc->BeginUndoRecord(L"Delete");
        int deleted = 0;
        for (int i = 0; i < doc->ObjectCount(); ++i)
            if (CVezadObject* object = doc->ObjectAt(i); object->IsSelected())
                deleted += doc->DeleteObject(CVezadObjRef(object), true) ? 1 : 0;
        doc->EndUndoRecord();
        if (deleted > 0) {
            VezadApp().Print("%d objects deleted\n", deleted);
            doc->UpdateAllViews();
        }
        return 0;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}

// ---- Directives ----

struct EventReplay::State {
    int terminateAfter = 0; // pumps left until Terminate is pressed; 0: none
};

namespace {

using Arguments = std::vector<std::string>;

bool parseView(const std::string& text, int& view, std::string& reason)
{
    if (parseInteger(text, view) && viewAt(view))
        return true;
    reason = "there is no view " + text;
    return false;
}

// Runs an event with its answers in front of the input queue; answers it
// did not take fail the line.
DirectiveOutcome withAnswers(const Arguments& answers, std::string& reason,
                             const std::function<bool(std::string&)>& event)
{
    CVezadInputQueue& queue = VezadApp().InputQueue();
    queue.clear();
    queue.pushFront(answers);
    const bool ok = event(reason);
    if (ok && !queue.empty()) {
        reason = "answers left unused:";
        std::string token;
        while (queue.pop(token))
            reason += " " + token;
        return DirectiveOutcome::failed;
    }
    queue.clear();
    return ok ? DirectiveOutcome::passed : DirectiveOutcome::failed;
}

// Where the mouse of each view was last, for moves in steps.
std::vector<std::pair<int, int>>& mousePositions()
{
    static std::vector<std::pair<int, int>> positions;
    return positions;
}

DirectiveOutcome mouseDirective(const Arguments& a, std::string& reason)
{
    MouseEvent event;
    int steps = 1;
    std::size_t i = 0;
    const std::string action = i < a.size() ? a[i++] : "";
    if (equalsNoCase(action, "down"))
        event.action = MouseEvent::down;
    else if (equalsNoCase(action, "move"))
        event.action = MouseEvent::move;
    else if (equalsNoCase(action, "up"))
        event.action = MouseEvent::up;
    else {
        reason = "expects down, move or up";
        return DirectiveOutcome::failed;
    }
    const char* buttons[] = {"left", "right", "middle"};
    event.button = event.action == MouseEvent::move ? 0 : -1;
    for (int b = 0; b < 3 && i < a.size(); ++b)
        if (equalsNoCase(a[i], buttons[b])) {
            event.button = b + 1;
            ++i;
        }
    if (event.button < 0 || i + 2 > a.size() || !parseInteger(a[i], event.x) ||
        !parseInteger(a[i + 1], event.y)) {
        reason = "expects a button (left, right or middle) and the pixel x y";
        return DirectiveOutcome::failed;
    }
    i += 2;
    Arguments answers;
    for (; i < a.size(); ++i) {
        const std::string& t = a[i];
        if (equalsNoCase(t, "shift"))
            event.shift = true;
        else if (equalsNoCase(t, "ctrl"))
            event.ctrl = true;
        else if (equalsNoCase(t, "alt"))
            event.alt = true;
        else if (t.rfind("key=", 0) == 0 && (event.key = virtualKeyFromName(t.substr(4))) != 0)
            continue;
        else if (t.rfind("steps=", 0) == 0 && event.action == MouseEvent::move) {
            if (!parseInteger(t.substr(6), steps) || steps < 1) {
                reason = "expects steps=<n> from 1";
                return DirectiveOutcome::failed;
            }
        } else if (t.rfind("view=", 0) == 0) {
            if (!parseView(t.substr(5), event.view, reason))
                return DirectiveOutcome::failed;
        } else
            answers.push_back(t);
    }
    auto& positions = mousePositions();
    if (positions.size() <= static_cast<std::size_t>(event.view))
        positions.resize(static_cast<std::size_t>(event.view) + 1, {event.x, event.y});
    const auto [fromX, fromY] = positions[static_cast<std::size_t>(event.view)];
    positions[static_cast<std::size_t>(event.view)] = {event.x, event.y};
    return withAnswers(answers, reason, [&, fromX = fromX, fromY = fromY](std::string& r) {
        // A move in steps passes the pixels between as a hand moves the
        // mouse: each step is a move of its own.
        MouseEvent step = event;
        for (int k = 1; k < steps; ++k) {
            step.x = fromX + (event.x - fromX) * k / steps;
            step.y = fromY + (event.y - fromY) * k / steps;
            if (!sendMouseEvent(step, r))
                return false;
        }
        return sendMouseEvent(event, r);
    });
}

DirectiveOutcome keyDirective(const Arguments& a, std::string& reason)
{
    const int key = a.empty() ? 0 : virtualKeyFromName(a[0]);
    if (key == 0) {
        reason = "expects a key name (Delete, Escape, Enter, Space, Tab, Backspace, a letter or "
                 "a digit)";
        return DirectiveOutcome::failed;
    }
    const bool inDialog = a.size() > 1 && equalsNoCase(a[1], "dialog");
    const Arguments answers(a.begin() + (inDialog ? 2 : 1), a.end());
    return withAnswers(answers, reason, [&](std::string& r) { return pressKey(key, inDialog, r); });
}

DirectiveOutcome menuDirective(const Arguments& a, std::string& reason)
{
    int id = 0;
    if (a.empty() || !parseInteger(a[0], id) || id <= 0) {
        reason = "expects a menu item id";
        return DirectiveOutcome::failed;
    }
    UINT state = static_cast<UINT>(-1);
    for (const CVezadPlugInMenu& menu : VezadApp().PlugInMenus())
        if (CMenu* m = CMenu::FromHandle(menu.menu); m && state == static_cast<UINT>(-1))
            state = m->GetMenuState(static_cast<UINT>(id), MF_BYCOMMAND);
    if (state == static_cast<UINT>(-1) || (state & (MF_GRAYED | MF_DISABLED))) {
        reason = "the host's menus have no enabled item " + a[0];
        return DirectiveOutcome::failed;
    }
    const Arguments answers(a.begin() + 1, a.end());
    return withAnswers(answers, reason, [&](std::string&) {
        SendMessageW(Win32Subset::mainWindow(), WM_COMMAND, static_cast<WPARAM>(id), 0);
        runMessageLoop();
        return true;
    });
}

DirectiveOutcome viewDirective(const Arguments& a, std::string& reason)
{
    int index = 0;
    if (a.size() != 2 || !parseView(a[0], index, reason) ||
        !(equalsNoCase(a[1], "shaded") || equalsNoCase(a[1], "wireframe"))) {
        if (reason.empty())
            reason = "expects a view and shaded or wireframe";
        return DirectiveOutcome::failed;
    }
    CVezadView* view = viewAt(index);
    view->ActiveViewport().setShaded(equalsNoCase(a[1], "shaded"));
    view->Redraw();
    return DirectiveOutcome::passed;
}

DirectiveOutcome redrawDirective(const Arguments& a, std::string& reason)
{
    int index = 0;
    if (a.size() > 1 || (a.size() == 1 && !parseView(a[0], index, reason))) {
        if (reason.empty())
            reason = "expects at most a view";
        return DirectiveOutcome::failed;
    }
    if (a.empty()) {
        for (const auto& view : VezadApp().views())
            view->Redraw();
    } else {
        viewAt(index)->Redraw();
    }
    return DirectiveOutcome::passed;
}

// A picture size written WIDTHxHEIGHT.
bool parseSize(const std::string& text, int& width, int& height)
{
    const std::size_t x = text.find('x');
    return x != std::string::npos && parseInteger(text.substr(0, x), width) &&
           parseInteger(text.substr(x + 1), height) && width > 0 && height > 0;
}

DirectiveOutcome captureDirective(const Arguments& a, std::string& reason)
{
    int index = 0, width = 800, height = 600;
    if (a.size() < 2 || a.size() > 3 || !parseView(a[0], index, reason) ||
        (a.size() == 3 && !parseSize(a[2], width, height))) {
        if (reason.empty())
            reason = "expects a view, a PNG file and a size WIDTHxHEIGHT";
        return DirectiveOutcome::failed;
    }
    return viewAt(index)->captureAt(a[1], width, height, reason) ? DirectiveOutcome::passed
                                                                 : DirectiveOutcome::failed;
}

// Presses the Terminate button of the newest visible dialog that has one.
void pressTerminate()
{
    CVezadApp& app = VezadApp();
    app.setKeepRunning(false);
    const std::vector<HWND> windows = Win32Subset::children(nullptr);
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        const auto* dialog = Win32Subset::windowSettings(*it);
        if (dialog->className != L"#32770" || !dialog->visible)
            continue;
        for (HWND control : Win32Subset::children(*it)) {
            const auto* button = Win32Subset::windowSettings(control);
            if (button->text == L"Terminate" && button->enabled) {
                app.Print("[terminate] Terminate pressed\n");
                PostMessageW(*it, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(button->id), BN_CLICKED),
                             reinterpret_cast<LPARAM>(control));
                return;
            }
        }
    }
    app.Print("[terminate] no Terminate button; long work is asked to stop\n");
}

} // namespace

EventReplay::EventReplay(HeadlessHost& host) : m_state(std::make_shared<State>())
{
    host.addDirective("mouse", mouseDirective);
    host.addDirective("key", keyDirective);
    host.addDirective("menu", menuDirective);
    host.addDirective("view", viewDirective);
    host.addDirective("redraw", redrawDirective);
    host.addDirective("capture", captureDirective);
    std::weak_ptr<State> weak = m_state;
    host.addDirective("terminate-after", [weak](const Arguments& a, std::string& reason) {
        int pumps = 0;
        if (a.size() != 1 || !parseInteger(a[0], pumps) || pumps < 1) {
            reason = "expects a number of pumps from 1";
            return DirectiveOutcome::failed;
        }
        if (auto state = weak.lock())
            state->terminateAfter = pumps;
        return DirectiveOutcome::passed;
    });
    Win32Subset::setPumpObserver([weak] {
        auto state = weak.lock();
        if (!state || g_hostLoop || state->terminateAfter == 0)
            return;
        if (--state->terminateAfter == 0)
            pressTerminate();
    });
}

EventReplay::~EventReplay()
{
    Win32Subset::setPumpObserver(nullptr);
}

void EventReplay::scriptEnded()
{
    m_state->terminateAfter = 0;
}

} // namespace VezadHost
