// Platform::lastSystemErrorText: the text of the calling thread's last system
// error, for messages that report why a platform call failed.
//
// On this platform the last error is errno and its text strerror's. A host
// layer with an error state of its own installs a provider that answers
// first (the headless host answers the Win32 subset's last error).
// Thread-safety: errno is per thread; the text is built per call. The
// provider is a process-wide setting: install it before the user-interface
// code runs.
#pragma once

#include <functional>
#include <string>

namespace Platform {

// Answers the text of the last error of the calling thread, or empty text
// when its own error state holds none (the errno text is taken then).
using LastErrorTextProvider = std::function<std::wstring()>;
// Installs provider (an empty one restores errno alone); returns the
// previous one.
LastErrorTextProvider setLastErrorTextProvider(LastErrorTextProvider provider);

// The text of the last system error as an owned wide string: the installed
// provider's, else errno's; empty when there is none.
std::wstring lastSystemErrorText();

} // namespace Platform
