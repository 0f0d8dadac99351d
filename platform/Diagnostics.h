// Where the system's debug dumps and log files go, and how they are opened.
//
// The system names its debug files as "c:/tmp/NAME". On this platform they all
// land in one diagnostics folder: the folder named by the environment variable
// FENWO_DIAGNOSTICS_DIR when it is set and not empty (created, mode 0700, when
// missing), else a private folder of the user's own in the system's temporary
// folder, "meshwright-<uid>", mode 0700. That folder is used only when it is a
// real folder (not a link) owned by the user; where something else holds the
// name (a file, a folder or link planted by another user) the run takes the
// user's fallback folder "meshwright-<uid>-XXXXXX" instead: the first such
// real folder of the user's own, made (with a name no one can guess) only
// when there is none, so later runs reuse it rather than leave a folder each.
// A run holds its folder for its whole life; a run that starts while another
// holds it takes the first free numbered folder inside it ("2", "3", ...), so
// runs side by side never write into each other's files, and the files of one
// run replace those of the last run that used the same folder.
//
// Every debug file is opened through openDiagnosticsFile: relative to the
// default folder held open since it was chosen (a link put at its name later
// leads nowhere), created with mode 0600 without following a symbolic link at
// its name or at a folder on its way, and written only when it is a regular
// file of the user's own with no other name, so a link or a file planted at a
// debug file's name is never written through. The first opening of a file in
// a run starts it empty, appending or not; later openings in the same run
// append where asked. So no debug file holds more than one run wrote.
//
// Thread-safety: the folder is read from the environment on every call; the
// default folder is chosen once per run (and again when the temporary folder
// changes) under a lock, and the record of files opened in this run is kept
// under a lock. The test override below is a process-wide setting and not
// thread-safe.
#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <ios>
#include <string>

namespace Platform {

// Maps a debug file name to its path in the diagnostics folder. Names of the
// form "c:/tmp/NAME" or "c:\tmp\NAME" (any case of the drive letter) keep only
// NAME; any other relative name is placed in the folder as it stands; an
// absolute POSIX path is returned unchanged. Empty for a relative name when
// there is no diagnostics folder.
std::string diagnosticsPath(const std::string& debugName);

// The diagnostics folder itself (no trailing slash). Empty only when no
// private folder could be made (then no debug file can be opened).
std::string diagnosticsFolder();

// Tests point the folder elsewhere; an empty string restores the default rule.
void setDiagnosticsFolderOverride(const std::string& folder);

// Opens the debug file `debugName` (placed by diagnosticsPath) for writing and
// returns its file descriptor, which the caller owns and closes; -1 when the
// name is empty, its folder is missing, a link, a folder or anything but a
// regular file of the user's own with a single name stands at the name, or the
// file cannot be created. A file opened for the first time in this run is
// emptied; a later opening keeps its contents when `append` is set and
// empties it otherwise. `size`, when given, receives the bytes the file holds
// after opening.
int openDiagnosticsFile(const std::string& debugName, bool append, std::uintmax_t* size = nullptr);

// openDiagnosticsFile on a stream: s is closed first, then opened on the file
// with `mode` (std::ios::app appends, as above), through the descriptor's
// name under /proc/self/fd, so the stream gets the very file that was
// checked. False, s left closed and failed (writes are dropped), when the
// file cannot be opened.
bool openDiagnosticsStream(std::ofstream& s, const std::string& debugName,
                           std::ios_base::openmode mode = std::ios::out | std::ios::trunc,
                           std::uintmax_t* size = nullptr);

// openDiagnosticsFile as a C stream ("a" or "w"); null when it cannot be
// opened. The caller closes it with std::fclose.
std::FILE* openDiagnosticsStdio(const std::string& debugName, bool append);

// Hands a writer that takes a path (a mesh format's file writer) a path that
// names the debug file, opened as openDiagnosticsFile opens it, empty; the
// writer must write the file at that path in place. False when the file cannot
// be opened or the writer fails.
bool writeDiagnosticsFile(const std::string& debugName,
                          const std::function<bool(const std::string& path)>& writer);

} // namespace Platform
