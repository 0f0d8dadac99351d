// Platform::sendChangeNotification: the seam through which the grid tells one
// window that its display state changed (a synchronous window message with
// both parameters 0, as SendMessageW sends it).
//
// A window is an opaque token; the system never looks inside it. Without a
// handler a notification goes nowhere. The headless host installs a handler
// that dispatches the message to its window; tests install one that records
// what arrives.
// Thread-safety: the handler is a process-wide setting; install it before the
// user-interface code runs. Notifications are sent on the user-interface
// thread, and the handler runs before sendChangeNotification returns.
#pragma once

#include <functional>

namespace Platform {

// Opaque token of a window; null is no window.
using WindowToken = void*;

using ChangeNotificationHandler = std::function<void(WindowToken window, unsigned int message)>;

// Sends message to window and returns once the handler has run. Nothing is
// sent, and false returned, for a null window or a message id of 0.
bool sendChangeNotification(WindowToken window, unsigned int message);

// Installs handler (an empty one drops notifications); returns the previous one.
ChangeNotificationHandler setChangeNotificationHandler(ChangeNotificationHandler handler);

} // namespace Platform
