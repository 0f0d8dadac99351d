// Where the system's debug dumps and log files go.
//
// The system names its debug files as "c:/tmp/NAME". On this platform they all
// land in one diagnostics folder: the folder named by the environment variable
// FENWO_DIAGNOSTICS_DIR when it is set and not empty, else the system's
// temporary folder. The folder is created on first use.
//
// Thread-safety: the folder is read from the environment on every call; the
// test override below is a process-wide setting and not thread-safe.
#pragma once

#include <string>

namespace Platform {

// Maps a debug file name to its path in the diagnostics folder. Names of the
// form "c:/tmp/NAME" or "c:\tmp\NAME" (any case of the drive letter) keep only
// NAME; any other relative name is placed in the folder as it stands; an
// absolute POSIX path is returned unchanged.
std::string diagnosticsPath(const std::string& debugName);

// The diagnostics folder itself (no trailing slash).
std::string diagnosticsFolder();

// Tests point the folder elsewhere; an empty string restores the default rule.
void setDiagnosticsFolderOverride(const std::string& folder);

} // namespace Platform
