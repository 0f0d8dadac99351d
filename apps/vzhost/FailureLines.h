// The lines the Meshwright system prints when something fails, for the
// runner's last line (HeadlessHost::addFailureLine): a face without a
// surface, after the line of the fit's step that gave up; a failed heal,
// after the line of the face it works on ("Start Face k/n", in the heal's
// own order); the commit's gap between two faces and the reopened
// document's lost loop, which tell their cause themselves. Progress lines
// and reports are no causes.
// Not thread-safe: called while the host is set up.
#pragma once

class HeadlessHost;

namespace VezadRunner {

void addFailureLines(HeadlessHost& host);

} // namespace VezadRunner
