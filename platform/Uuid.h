// Random unique ids in the RFC 4122 version-4 text form.
//
// The geometry objects take their ids from here: 36 lower-case characters,
// "xxxxxxxx-xxxx-4xxx-yxxx-xxxxxxxxxxxx" with y one of 8, 9, a, b. The 122
// random bits come from the kernel's random source, so ids made by different
// processes do not collide either.
//
// Thread-safety: makeUuid may be called from any thread; the test switch
// below is a process-wide setting and not thread-safe.
#pragma once

#include <string>

namespace Platform {

// Length of the text form of an id, without terminator.
constexpr int uuidTextLength = 36;

// A new version-4 id as text. Returns the empty string when the system cannot
// supply random bytes (the caller then falls back to an id of its own).
std::string makeUuid();

// Tests make makeUuid fail to reach the fallback paths of its callers;
// false restores normal operation.
void setUuidFailureForTesting(bool fail);

} // namespace Platform
