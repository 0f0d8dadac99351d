#pragma once
// Process-wide stop flag of the iterative surface fit. A fit clears it when
// it starts and polls it between samples; an interrupt request (onCtrlC), a
// cancelled progress sink, a reached error target or the user's cancel set it.
// No signal handler is installed here: a host that wants Ctrl-C to stop a
// fit calls onCtrlC from its own handler or thread.
//
// Ownership: nothing is owned.
// Thread-safety: the flag is atomic and may be set from any thread. Being
// process-wide, two fits at the same time share it.

namespace Platform {

// True while a stop is requested.
bool fitStopRequested();
// Requests a stop (value 1) or stores any other value; 0 clears the request.
void setFitStopFlag(int value);
// Clears the request.
void resetFitStopFlag();

// The interrupt request: prints "CTRL-C received, terminating on next
// iteration." and a line break on standard output and sets the flag.
void onCtrlC();

} // namespace Platform
