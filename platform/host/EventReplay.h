// What a user does with mouse, keyboard and menus, replayed: mouse events in
// a view, key presses through the message hooks, menu commands, and the
// main window that receives them. Scripts reach them through directives:
//   !mouse down|move|up [left|right|middle] <x> <y> [shift] [ctrl] [alt]
//          [key=<letter>] [view=<n>] [answers...]
//   !key <name> [dialog] [answers...]   (Delete, Escape, Enter, Space, Tab,
//                                        Backspace, a letter or a digit)
//   !menu <id> [answers...]
//   !terminate-after <n>   presses Terminate at the n-th message pump of the
//                          work that follows, and asks long work to stop
//   !view <n> shaded|wireframe
//   !redraw [<n>]
//   !capture <n> <file.png>
// Views are counted from 0. The answers after an event are the input its
// prompts (context menus, dialogs, message boxes) take; answers left over
// fail the line.
//
// Not thread-safe: everything runs on the host's user-interface thread.
#pragma once

#include "platform/host/HeadlessHost.h"
#include "platform/mfc/Wnd.h"
#include "platform/on/OpenNurbsSubset.h"

#include <memory>
#include <string>

class CVezadObject;
class CVezadView;

namespace VezadHost {

struct MouseEvent {
    enum Action { down, move, up };
    Action action = down;
    // 1 left, 2 right, 3 middle; 0 for a move without a button held.
    int button = 1;
    int x = 0;
    int y = 0;
    bool shift = false;
    bool ctrl = false;
    bool alt = false;
    // A further key held during the event (a virtual-key code), or 0.
    int key = 0;
    int view = 0;
};

// Holds the event's keys, calls the enabled mouse callbacks in order (see
// platform/host/MouseCallback.h) and, when none handles a left press,
// selects the object under the cursor: alone, added with Shift, taken out
// of the selection with Ctrl; a press on nothing without keys clears the
// selection. Then one turn of the message loop runs. False, with the
// reason, for a view that does not exist.
bool sendMouseEvent(const MouseEvent& event, std::string& reason);

// Posts WM_KEYDOWN for the key to the active window (with inDialog, the
// newest visible modeless dialog is made active first) and runs one turn of
// the message loop: the WM_GETMESSAGE hooks see the key, then its window.
// False, with the reason, when inDialog finds no dialog.
bool pressKey(int virtualKey, bool inDialog, std::string& reason);

// Takes every waiting message of the thread's queue through the hooks, the
// windows' PreTranslateMessage and dispatch.
void runMessageLoop();

// The virtual-key code of a key name (above); 0 when unknown.
int virtualKeyFromName(const std::string& name);

// The visible object nearest along the pick line of a pixel; null when the
// line meets none. hitPoint and hitNormal, when given, receive where the line
// meets it and the object's normal there (the point unchanged, the normal
// zero when the pick has none).
CVezadObject* objectAt(CVezadView& view, int x, int y, ON_3dPoint* hitPoint = nullptr,
                       ON_3dVector* hitNormal = nullptr);

// Offers a menu command to the plug-ins: the one whose inserted menu holds
// the id first, then every loaded plug-in in load order, until one takes it.
bool runMenuCommand(UINT id);

// The host's main window: menu commands (WM_COMMAND) go to the plug-ins, an
// unhooked Delete key deletes the selected objects.
class MainWindow : public CWnd {
public:
    MainWindow();

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};

// The event directives of a host and the state of !terminate-after.
class EventReplay {
public:
    explicit EventReplay(HeadlessHost& host);
    ~EventReplay();
    EventReplay(const EventReplay&) = delete;
    EventReplay& operator=(const EventReplay&) = delete;

    // Forgets a !terminate-after that has not fired.
    void scriptEnded();

private:
    struct State;
    std::shared_ptr<State> m_state;
};

} // namespace VezadHost
