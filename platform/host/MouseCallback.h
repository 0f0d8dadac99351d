// Mouse callbacks: how a plug-in sees the mouse in the host's views. An
// enabled callback gets every button press, move and release in any view,
// after the callbacks enabled before it; the first one that answers non-zero
// handles the event, unless its PassThrough answers non-zero, which lets the
// event go on. An event no callback handles goes to the host (a left press
// selects the object under the cursor).
//
// Buttons: 1 left, 2 right, 3 middle. Flags: the MK_ bits of the buttons
// held and of Shift and Ctrl (Alt is read from the key state). Coordinates
// are pixels of the view, y down.
//
// Ownership: the host keeps the enabled callbacks in a list it never owns;
// a callback leaves it when disabled or destroyed. Not thread-safe.
#pragma once

#include "platform/win32/WindowsSubset.h"

#include <vector>

class CVezadView;

class CVezadMouseCallback {
public:
    CVezadMouseCallback() = default;
    CVezadMouseCallback(const CVezadMouseCallback&) = delete;
    CVezadMouseCallback& operator=(const CVezadMouseCallback&) = delete;
    virtual ~CVezadMouseCallback();

    // Enabling puts the callback last in the order of enabled callbacks (an
    // enabled one keeps its place); disabling takes it out. True.
    bool Enable(bool bEnable = true);
    bool IsEnabled() const;

    // 0 leaves the event to the next callback and the host; non-zero
    // handles it. The base handles nothing.
    virtual int OnMouseDown(CVezadView& view, int button, UINT flags, int x, int y);
    virtual int OnMouseMove(CVezadView& view, UINT flags, int x, int y);
    virtual int OnMouseUp(CVezadView& view, int button, UINT flags, int x, int y);
    // Asked after the callback handled an event: non-zero lets the event go
    // on as if it had not been handled. The base answers 0.
    virtual int PassThrough();
};

namespace VezadHost {

// The enabled callbacks in the order they were enabled.
const std::vector<CVezadMouseCallback*>& enabledMouseCallbacks();

} // namespace VezadHost
