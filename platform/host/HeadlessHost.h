// HeadlessHost: the host without windows on a screen. It creates the
// application's document, its main window and offscreen views, loads
// plug-ins, runs scripts as a user would type and click, and shuts down in
// order: the document is closed while the plug-ins live, then the plug-ins
// are unloaded and the views destroyed. Tests and the script runner start
// here.
//
// Scripts (".vzs") are lines. A line whose first non-blank character is #
// is a comment; a line starting with ! is a directive; any other line is a
// command line: its tokens go to the input queue and the commands they name
// run (`_Name` interactively, `-_Name` not), taking the tokens that follow
// as typed answers. ${NAME} takes a value defined for the run; OUT (the
// output folder) and SCRIPT_DIR (the script's folder) are always defined.
// Directives built in:
//   !expect-print "<text>"   the text was printed (transcript or standard
//                            output) since the previous script ended (the
//                            failure quotes the last line printed that
//                            begins as the text does, up to its first
//                            figure: "model has 3 loops" for "model has 4
//                            loops")
//   !expect-no-print "<text>"
//                            nothing printed since then holds the text (the
//                            failure names the line that does)
//   !expect-same-print "<text>" "<text>"
//                            the first lines printed since then that hold
//                            the two texts go on alike after them (as
//                            "Edges per Brep:" and "Sides per Brep:"; the
//                            failure names the first word where they part,
//                            by its place after the texts)
//   !expect-box "<text>"     a message box with that text was shown since
//                            then
//   !expect-result <0|1|3>   the result of the last command
//   !dump-doc                prints "doc: layer <k> <type> <state> <count>"
//                            for every layer, object type and state in use
//   !require-file <path>     a missing file skips the rest of the script (a
//                            script in which a check failed before still
//                            fails)
//   !default <NAME> <value>  defines NAME as the value unless it is defined
//   !place-net <NAME> [<share>] [view=<n>] [look=<x>,<y>,<z>] [zoom=<f>]
//                            finds where a net may be drawn (see
//                            platform/host/NetPlacement.h) and defines the
//                            pixels to draw it with: NAME_X0, NAME_X1 and
//                            NAME_X2 (left side, middle, right side),
//                            NAME_Y0, NAME_Y1 and NAME_Y2 (top, middle,
//                            bottom), and NAME_Y0_FROM, NAME_Y1_FROM and
//                            NAME_Y2_FROM, the rows a third of a cell from
//                            each line inside the square (below the top,
//                            above the others) from which a point is dragged
//                            onto that line; where none qualifies the rest
//                            of the script is left out with status "no
//                            region"; with look (the direction towards
//                            the camera; 0,0,0 keeps the view's own) or a
//                            zoom above 1 the view first looks at all it
//                            shows along that direction, zoomed in on its
//                            centre, and is searched there only
//   !diagonal <NAME> [<divisor>]
//                            defines NAME as the diagonal of the box of the
//                            visible objects, divided by the divisor
//   !edge-gaps [<factor>]    prints the largest gap between the edges that
//                            neighbouring Breps share (platform/host/
//                            EdgeGaps.h) and each Brep's edge count; with a
//                            factor, fails when there is no Brep, when two
//                            or more share no edge and no plug-in's net
//                            describes any of them, when a side the net says
//                            two Breps share is not found along their edges,
//                            or when the gap exceeds
//                            factor x the document's tolerance (naming the
//                            gap, the tolerance and the two Breps, by their
//                            place in the document, it lies between)
// with the event directives of platform/host/EventReplay.h (mouse, keys,
// menus, views, captures), and addDirective adds more. After every line the
// host's message loop takes the messages the line posted. A script fails on
// a failed check, an unknown command or directive, a line that does not
// parse, or a prompt left without an answer; each failure names its line.
//
// The plug-ins and commands are static globals, so one process runs one
// host: a second start fails. The host must be shut down (or destroyed)
// before static destruction begins. Not thread-safe.
#pragma once

#include "platform/host/InputQueue.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CVezadDoc;

struct HeadlessViewSettings {
    int width = 320;
    int height = 240;
    bool shaded = true;
    // A context of its own instead of one sharing the other views' lists.
    bool ownContext = false;
};

struct HeadlessHostSettings {
    // The folder of the plug-in files; empty: the folder of the program.
    std::string plugInFolder;
    // Plug-ins to load at start, in this order, by their file's base name.
    std::vector<std::wstring> plugIns;
    double absoluteTolerance = 0.001;
    // The views, made in this order; the first is active. Each looks down
    // -Z at the origin.
    std::vector<HeadlessViewSettings> views{HeadlessViewSettings()};
    // The value of ${OUT}; empty: the diagnostics folder, or the working
    // folder (".") when there is none.
    std::string outputFolder;
    // Standard output is captured (and passed on) so that checks see what
    // the system prints there.
    bool captureStandardOutput = true;
};

struct ScriptFailure {
    int line = 0;
    std::string message;
};

struct ScriptResult {
    enum Status {
        passed = 0,
        failed = 1,
        unreadable = 2,
        // A directive found no region to work on; the rest was left out.
        noRegion = 3,
        skipped = 77,
    };
    Status status = passed;
    std::vector<ScriptFailure> failures;
    // Of a failed script (and of one that found no region after a failed
    // check), in one line, what failed and why. Only what was printed before
    // its first check failed counts: later lines are consequences or
    // reports. Among those, the lines of the kind that names what failed
    // (addFailureLine) and comes first in the kinds' order (a kind's failure
    // may be the cause of a later kind's: a face off the mesh of the seams
    // it leaves open); of these, the first printed by the last script line
    // that printed one (a later command goes over the same ground again,
    // and names the faces as they stand then), with the line that tells why
    // (holds one of that kind's causes): the last before it printed by the
    // same script line; else, where a line of its kind was printed before
    // (said again, as the commit names a face a fit gave up on), the one
    // that told why then; else the last before it: `line (after "cause")`;
    // where
    // none names what failed, the first failed check: "line N: " and its
    // message. Empty when the script did not fail.
    std::string cause;
};

enum class DirectiveOutcome { passed, failed, skipScript, noRegion };
// A directive's work: its arguments (the tokens after the directive's name)
// and, for a failure, a skip or no region, the reason.
using ScriptDirective =
    std::function<DirectiveOutcome(const std::vector<std::string>& arguments, std::string& reason)>;

class HeadlessHost {
public:
    HeadlessHost();
    HeadlessHost(const HeadlessHost&) = delete;
    HeadlessHost& operator=(const HeadlessHost&) = delete;
    ~HeadlessHost();

    // Starts the host and loads the plug-ins of the settings. False when a
    // host ran in this process before (nothing started), or when a plug-in
    // did not load (the host runs without it).
    bool start(const HeadlessHostSettings& settings = {});
    bool isRunning() const { return m_running; }
    // False when the plug-in is missing, refused or fails to load.
    bool loadPlugIn(const std::wstring& baseName);

    // Runs script text; scriptFolder is ${SCRIPT_DIR} (empty: the current
    // folder). The defines add to OUT and SCRIPT_DIR or replace them.
    ScriptResult runScript(const std::string& text, const VezadHost::ScriptDefines& defines = {},
                           const std::string& scriptFolder = "");
    // The longest script runScriptFile reads.
    static constexpr std::size_t kLongestScript = std::size_t(64) << 20;
    // The longest line of a script: a longer line fails unrun, naming its
    // line, as does one that holds a NUL byte (no script line holds one;
    // the words after it would be lost to the file names it cuts).
    static constexpr std::size_t kLongestScriptLine = std::size_t(1) << 20;
    // Runs a script file, or a script from a pipe (/dev/stdin, <(...));
    // ${SCRIPT_DIR} is the folder of the path. Unreadable when it cannot be
    // read, or holds more than kLongestScript bytes (refused before a line
    // runs).
    ScriptResult runScriptFile(const std::string& path,
                               const VezadHost::ScriptDefines& defines = {});
    // Adds or replaces a directive (name without the !).
    void addDirective(const std::string& name, ScriptDirective directive);
    // Defines ${name} for the rest of the running script (directives call
    // it); nothing when no script runs.
    void define(const std::string& name, const std::string& value);
    // Adds a kind of line that names what failed, known by the marker `what`
    // ("has no surface" in "Face 3 of 4 has no surface"), with the markers of
    // the lines printed before such a line that tell why, or where the
    // system was at work ("folded surface, face refused"; "Start Face ", the
    // face a heal works on). Lines that only report progress are no causes;
    // nor are the host's own lines of failed checks. The host's kinds come
    // before those the plug-ins register (CVezadApp::RegisterFailureLine),
    // each in the order added: a kind before the kinds its failures cause.
    void addFailureLine(const std::string& what, const std::vector<std::string>& causes = {});

    CVezadDoc& doc();
    // What the system wrote to standard output since the start (everything
    // printed there, transcript lines included).
    const std::string& standardOutput();

    void shutdown();

private:
    struct Impl;
    DirectiveOutcome expectPrint(const std::vector<std::string>& arguments, std::string& reason);
    DirectiveOutcome expectNoPrint(const std::vector<std::string>& arguments, std::string& reason);
    DirectiveOutcome expectSamePrint(const std::vector<std::string>& arguments,
                                     std::string& reason);
    // The first line printed since the previous script ended that holds the
    // text (transcript first, then standard output); false when none.
    bool findPrinted(const std::string& wanted, std::string& line);
    // The cause of a failure (ScriptResult::cause) among the lines printed
    // in the standard output from `from` up to `to`, the first failure;
    // lineStarts holds where each script line's output began, ascending.
    std::string failureCause(std::size_t from, std::size_t to,
                             const std::vector<std::size_t>& lineStarts,
                             const ScriptFailure& first);
    DirectiveOutcome expectBox(const std::vector<std::string>& arguments, std::string& reason);
    DirectiveOutcome expectResult(const std::vector<std::string>& arguments, std::string& reason);
    DirectiveOutcome dumpDoc(const std::vector<std::string>& arguments, std::string& reason);
    DirectiveOutcome requireFile(const std::vector<std::string>& arguments, std::string& reason);
    DirectiveOutcome placeNet(const std::vector<std::string>& arguments, std::string& reason);
    DirectiveOutcome diagonal(const std::vector<std::string>& arguments, std::string& reason);
    DirectiveOutcome edgeGaps(const std::vector<std::string>& arguments, std::string& reason);
    // A line of the script; one that runs past kLongestScriptLine or holds a
    // NUL byte fails unrun.
    void runLine(std::string_view line, int number, const VezadHost::ScriptDefines& defines,
                 ScriptResult& result);
    void runTokens(bool isDirective, const std::vector<std::string>& tokens, int number,
                   const std::function<void(const std::string&)>& fail, ScriptResult& result);

    std::unique_ptr<Impl> m_impl;
    bool m_running = false;
};
