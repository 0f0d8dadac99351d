// Test helper: every test case gets a fresh folder of its own.
//
// The test main installs a listener that, before each test case, creates an
// empty folder named after the process and the case, points the diagnostics
// folder (and gtest's TempDir) at it, and removes it again after a passing
// case. Test cases run as separate processes in parallel, so nothing a case
// writes can be read by another.
#pragma once

#include <string>

namespace mwtest {

// The current test case's own folder (no trailing slash).
const std::string& scratchDir();

// A path inside the current test case's folder.
std::string scratchPath(const std::string& name);

// Installs the listener; called once by the test main.
void installScratchDirListener();

} // namespace mwtest
