// vzhost: runs a script (.vzs) in the headless host with every plug-in linked
// into the program, with the directives of the host and the runner's own
// report of the Meshwright net's fits (apps/vzhost/FaceFits.h).
//
//   vzhost --script file.vzs [--define NAME=value]... [--out dir]
//
// Exit codes: 0 every check passed; 1 a check failed, a command was unknown
// or a prompt went unanswered (each failure names its script line on
// standard error, and a last line "file.vzs: failed: ..." names what failed
// and why, from what the system printed before the first check failed: the
// face without a surface and why, the Brep farthest off the mesh, the failed
// heal and the face it was on, the gap and the faces it lies between, the
// reopened document's lost loop, the first of these kinds that was printed
// (a face's own fault before the seams it leaves open), as the last command
// that printed it numbers the faces;
// else the first failed check, which names what it found: the Brep whose
// edges are not its region's sides, the count printed in place of the one
// expected, the largest gap between two Breps);
// 2 the script cannot be read or the arguments are wrong;
// 3 no region: a directive found nothing to work on (say !place-net, on a
// mesh without a smooth sheet to draw on), which it says in one line, unless
// a check failed before it (a mesh file that gave no facet leaves nothing to
// draw on): that failure is the cause, and the exit code 1;
// 77 a required file is missing (the script is skipped), except under CI
// (CI=true), where missing data is a failure (1), and except after a failed
// check, which fails the script (1) whatever follows. Without --out the
// outputs (${OUT}) go to the working folder. Ctrl-C asks a
// running surface fit to stop at its next iteration; a second Ctrl-C ends
// the program at once.
#include "FaceFits.h"
#include "platform/FitStopFlag.h"
#include "platform/host/HeadlessHost.h"
#include "platform/host/PlugIn.h"

#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <malloc.h>
#include <pthread.h>
#include <string>
#include <thread>

namespace {

int usage(const char* message)
{
    std::fprintf(stderr,
                 "vzhost: %s\n"
                 "usage: vzhost --script file.vzs [--define NAME=value]... [--out dir]\n",
                 message);
    return ScriptResult::unreadable;
}

// Ctrl-C is taken by a thread of its own, where the fit's stop request may
// print and set its flag safely (a signal handler may do neither).
void watchCtrlC()
{
    sigset_t interrupt;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    pthread_sigmask(SIG_BLOCK, &interrupt, nullptr);
    std::thread([interrupt] {
        for (int count = 0;; ++count) {
            int signal = 0;
            if (sigwait(&interrupt, &signal) != 0)
                return;
            if (count > 0)
                std::_Exit(130);
            Platform::onCtrlC();
        }
    }).detach();
}

// The meshes and the measures allocate and free arrays of up to tens of
// megabytes again and again (a mesh's corners, its facet hash and edge
// table, each measure's and check's tables). Mapped anew for each and
// unmapped at its free, or given back from the top of the heap, each such
// array had its pages faulted in and zeroed by the system again: on a mesh
// of a million facets a third of loading and opening it. Arrays below the
// allocator's largest heap threshold (32 MB) come from the heap, and freed
// memory stays there for the next one. Larger arrays are still mapped for
// themselves: kept in the heap, they would leave holes that raise the peak
// of a long job by a quarter. The heap is not backed with huge pages: on a
// virtual machine that hands freed memory back to its host, each huge page
// faulted in is backed anew by the host, which costs more than its fewer
// translation entries save.
void keepFreedMemory()
{
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, INT_MAX);
#endif
}

} // namespace

int main(int argc, char** argv)
{
    std::string script;
    std::string out;
    VezadHost::ScriptDefines defines;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc)
            return usage(("missing value after " + option).c_str());
        const std::string value = argv[++i];
        if (option == "--script") {
            script = value;
        } else if (option == "--out") {
            out = value;
        } else if (option == "--define") {
            const std::size_t equals = value.find('=');
            if (equals == 0 || equals == std::string::npos)
                return usage(("--define needs NAME=value, not " + value).c_str());
            defines[value.substr(0, equals)] = value.substr(equals + 1);
        } else {
            return usage(("unknown option " + option).c_str());
        }
    }
    if (script.empty())
        return usage("no script given");
    if (!out.empty()) {
        std::error_code error;
        std::filesystem::create_directories(out, error);
        if (!std::filesystem::is_directory(out, error))
            return usage(("cannot make the output folder " + out).c_str());
    }
    keepFreedMemory();
    watchCtrlC();

    HeadlessHostSettings settings;
    if (out.empty()) {
        std::error_code error;
        out = std::filesystem::current_path(error).string();
        if (error || out.empty())
            out.assign(1, '.');
    }
    settings.outputFolder = out;
    settings.plugIns = VezadHost::plugInModuleNames();
    HeadlessHost host;
    VezadRunner::addFaceFitsDirective(host);
    if (!host.start(settings))
        std::fprintf(stderr, "vzhost: a plug-in did not load; the script runs without it\n");
    const ScriptResult result = host.runScriptFile(script, defines);
    host.shutdown();
    // The failures come last, after all the system printed; the last line
    // names what failed and why.
    std::cout.flush();
    std::fflush(stdout);
    for (const ScriptFailure& failure : result.failures)
        std::fprintf(stderr, "%s:%d: %s\n", script.c_str(), failure.line, failure.message.c_str());
    if (!result.cause.empty())
        std::fprintf(stderr, "%s: failed: %s\n", script.c_str(), result.cause.c_str());
    // The no-region failure is the last one recorded; any before it is its
    // cause.
    if (result.status == ScriptResult::noRegion && result.failures.size() > 1)
        return ScriptResult::failed;
    if (result.status == ScriptResult::skipped) {
        const char* ci = std::getenv("CI");
        if (ci && std::strcmp(ci, "true") == 0) {
            std::fprintf(stderr, "%s: a required file is missing, which fails under CI\n",
                         script.c_str());
            return ScriptResult::failed;
        }
        std::fprintf(stderr, "%s: skipped\n", script.c_str());
    }
    return result.status;
}
