// Monotonic tick source for the stopwatches and the local time of log headers.
//
// Ticks are wall time read from a steady (never adjusted, never decreasing)
// clock and counted from a process-wide origin fixed on the first read, so the
// values stay small enough for a double to hold them to the tick. They measure
// elapsed real time, not processor time of the process.
//
// Thread-safety: all functions may be called from any thread.
#pragma once

#include <string>

namespace Platform {

// Ticks elapsed since the process-wide origin; never decreases.
double monotonicTicks();

// Number of ticks in one second (constant for the process).
double monotonicTicksPerSecond();

// The current local time in the C library's ctime form ("Wed Jun 30 21:49:08
// 1993"), without the trailing line end; empty when the time is unavailable.
std::string localTimeText();

} // namespace Platform
