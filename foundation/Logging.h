// Diagnostic switches, debug dump files and the two global log streams.
//
// Three environment variables switch diagnostics on when they are set (to any
// value, even an empty one):
//   FENWO_TIMER     stopwatch reports (the text form of StopUhr),
//   FENWO_PROFILER  profiler reports (the text form of CSimpleProfiler),
//   FENWO_LOGGING   debug dump files and the global log files.
// They are read once, on first use, and kept; reloadDiagnosticSwitches reads
// them again (tests set or unset the variables and then reload).
//
// Debug files the system names "c:/tmp/NAME" are written to the diagnostics
// folder (Platform::diagnosticsPath), every one opened through
// Platform::openDiagnosticsFile: never through a link at its name, and empty
// at its first opening in a run, so a file appended to holds what this run
// wrote only. There is no console window: diagnostics go to standard output.
//
// Ownership: the global log streams live for the whole process and are never
// destroyed, so objects destroyed late may still write to them; they flush
// after every write, so nothing is lost at exit.
// Thread-safety: none of this is thread-safe; the switches may be read
// concurrently once loaded, but reloading, opening and writing the logs must
// happen on one thread.
#pragma once

#include <cstdint>
#include <fstream>
#include <ios>
#include <sstream>

// True when FENWO_LOGGING is set: debug dumps and log files are written.
bool isLoggingEnabled();

// True when FENWO_TIMER is set: stopwatches write their text form.
bool isTimerEnabled();

// True when FENWO_PROFILER is set: profilers write their report.
bool isProfilerEnabled();

// Reads the three switches from the environment again.
void reloadDiagnosticSwitches();

// Opens the debug file `name` on s, only when FENWO_LOGGING is set; a
// "c:/tmp/NAME" name lands in the diagnostics folder, opened as
// Platform::openDiagnosticsStream opens it. The stream is always opened for
// output; `mode` adds truncation or appending. Returns true when
// the file is open and usable. Returns false (s left closed, writes to it are
// dropped) when logging is off, the name is null or empty, or the file cannot
// be opened.
bool openLogStream(std::ofstream& s, const char* name,
                   std::ios_base::openmode mode = std::ios::out | std::ios::trunc);

// The same with the classic integer mode bits the system's callers pass:
// 0x01 in, 0x02 out, 0x04 at end, 0x08 append, 0x10 truncate, 0x20 binary
// (18 = output, truncating). Other bits (sharing, protection) are ignored.
bool openLogStream(std::ofstream& s, const char* name, int mode);

// Opens the two global log streams on their first call only; later calls do
// nothing until closeGlobalLogs. The first log is opened truncating and starts
// with "Opened at:" and the local time; the second is opened truncating. A
// null or empty name leaves that log closed. When FENWO_LOGGING is set the
// files "c:/tmp/iolog.out" and "c:/tmp/profiles.out" are truncated as well.
void openGlobalLogs(const char* first, const char* second);

// Closes both global log streams and lets the next openGlobalLogs work again.
void closeGlobalLogs();

// The first global log stream (profile log): solver and fitting diagnostics,
// profiler reports. Closed (writes dropped) until openGlobalLogs opens it.
std::ofstream& profileLog();

// The second global log stream (io log). Closed until openGlobalLogs.
std::ofstream& ioLog();

// A debug file of entries (a curve, a point, a line each) that keeps to a
// size, however many entries its writer makes: entries are written while
// the file holds less than `limit` bytes (an appended file counts what
// earlier dumps of this run wrote to it), the others only counted; closing
// writes one line with their count, "<n> further entries not written",
// unless the file already holds 4 KB beyond the limit (the notes of earlier
// dumps of an appended file). The file is opened at once under the
// diagnostics folder (Platform::openDiagnosticsStream), like the plain files
// the system writes whenever that folder exists.
// Not copyable; closed by its destructor.
class CBoundedDump {
public:
    static constexpr std::uintmax_t kDefaultLimit = 512 * 1024;

    // Opens the file `name` ("c:/tmp/NAME" lands in the diagnostics folder)
    // truncated, or appended with append set. A file that cannot be opened
    // takes every entry as counted only.
    explicit CBoundedDump(const char* name, bool append = false,
                          std::uintmax_t limit = kDefaultLimit);
    ~CBoundedDump();
    CBoundedDump(const CBoundedDump&) = delete;
    CBoundedDump& operator=(const CBoundedDump&) = delete;

    // The stream the next entry is written to, or null when the entry is
    // only counted (the file is full or not open). What is written goes to
    // the file when the next entry begins or the dump is closed.
    std::ostream* entry();
    // Writes the last entry and the count line, and closes the file.
    void close();

    bool isOpen() const { return file.is_open(); }
    long skippedEntries() const { return skipped; }

private:
    void commitPending();

    std::ofstream file;
    std::ostringstream pending;
    std::uintmax_t size = 0; // bytes in the file
    std::uintmax_t limit;
    long skipped = 0;
};
