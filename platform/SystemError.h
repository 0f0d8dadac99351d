// Platform::lastSystemErrorText: the text of the calling thread's last system
// error, for messages that report why a platform call failed.
//
// On this platform the last error is errno and its text strerror's. A host
// layer with an error state of its own replaces what is behind this seam.
// Thread-safety: errno is per thread; the text is built per call.
#pragma once

#include <string>

namespace Platform {

// The text of the last system error as an owned wide string; empty when the
// last error is 0.
std::wstring lastSystemErrorText();

} // namespace Platform
