#pragma once
// Notification seam of a long surface fit running off the user-interface
// thread: the fit tells the user-interface side that an improved surface is
// ready to be shown (and waits until that side has handled it), tells it that
// the fit has ended, and reads a cancel flag the user-interface side sets.
//
// Ownership: the fit borrows the notification object; the caller keeps it
// alive for the whole fit.
// Thread-safety: notify is called on the fitting thread; an implementation
// hands the event to the user-interface thread. `cancel` may be set from any
// thread.

#include <atomic>

namespace Platform {

class FitNotification {
public:
    enum Kind : int {
        IterationImproved = 0, // a better surface is ready; notify returns once it was handled
        FitEnded = 1,          // the fit is over; notify returns without waiting
    };

    virtual ~FitNotification() = default;

    // Delivers the event. For IterationImproved it returns only after the
    // user-interface side has handled it, so the surface is not changed while
    // it is being shown. A caller on the user-interface thread itself must not
    // pass a notification object (the wait could never end).
    virtual void notify(Kind kind) = 0;

    // Set by the user-interface side to ask the fit to stop; the fit reads it
    // at the start of every iteration.
    std::atomic<bool> cancel{false};
};

} // namespace Platform
