// The host's keep-running query, polled by long computations on a host worker
// thread to learn whether they should stop early.
//
// The host layer implements KeepRunningQuery and installs it; until then (and
// whenever none is installed) the answer is always "keep running", so no
// computation is ever cancelled through this seam.
//
// Ownership: the installed query is not owned; the installer keeps it alive
// until it installs another one or null.
// Thread-safety: installing and polling may happen on different threads; the
// query's own keepRunning() must be safe to call from the polling thread.
#pragma once

namespace Platform {

class KeepRunningQuery {
public:
    virtual ~KeepRunningQuery() = default;

    // False asks the computation running on the calling thread to stop.
    virtual bool keepRunning() = 0;
};

// Installs the host's query; null restores the default that never cancels.
void setKeepRunningQuery(KeepRunningQuery* query);

// The installed query's answer, or true when none is installed.
bool keepRunning();

} // namespace Platform
