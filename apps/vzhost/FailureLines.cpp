#include "FailureLines.h"

#include "platform/host/HeadlessHost.h"

namespace VezadRunner {

void addFailureLines(HeadlessHost& host)
{
    host.addFailureLine("has no surface",
                        {"makro returned a bad surface", "folded surface, face refused",
                         "no start surface", "start surface is a bad surface",
                         "start geometry is not a surface", "fewer than 3 points inside the boundary",
                         "selection Error dMax", "Shortcut delete a degenerate face",
                         "bad surface stage 3", "face fit outside the tolerance"});
    host.addFailureLine("Heal failed", {"Start Face "});
    host.addFailureLine("Gap between faces");
    host.addFailureLine("failed to relocate the loop");
}

} // namespace VezadRunner
