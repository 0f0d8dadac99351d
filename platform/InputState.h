// The user's input state as the system sees it: whether a key is held down,
// and the wait cursor shown while a long computation runs.
//
// Keys: isKeyDown names a key by one letter ("Y") or as "Shift", "Ctrl" or
// "Alt"; every other name is never down. The held state comes from a query
// the host installs (GetKeyboardState there); without one no key is held.
// Wait cursor: a WaitCursor object shows the wait cursor for its lifetime.
// Nesting counts; the host installs hooks that show and hide its cursor, and
// without hooks nothing is shown.
// Thread-safety: the query and the hooks are process-wide settings; install
// them before the user-interface code runs. Both are used on the
// user-interface thread only.
#pragma once

#include <functional>

namespace Platform {

// Whether the key with this virtual-key code is held ('A'..'Z' are their
// capital letters, Shift 0x10, Ctrl 0x11 and Alt 0x12, as on Windows).
using KeyStateQuery = std::function<bool(int virtualKey)>;

// Installs query (an empty one means no key is held); returns the previous one.
KeyStateQuery setKeyStateQuery(KeyStateQuery query);

// True while the named key is held: a single letter names that letter's key
// (either case), "Shift", "Ctrl" and "Alt" the modifier keys. False for any
// other name.
bool isKeyDown(const char* keyName);

// Called when the first wait cursor appears and when the last one goes.
struct WaitCursorHooks {
    std::function<void()> show;
    std::function<void()> hide;
};

// Installs hooks (empty ones show nothing); returns the previous ones.
WaitCursorHooks setWaitCursorHooks(WaitCursorHooks hooks);

// Shows the wait cursor while it lives.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace Platform
