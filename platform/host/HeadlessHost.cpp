#include "platform/host/HeadlessHost.h"

#include "platform/ChangeNotification.h"
#include "platform/Diagnostics.h"
#include "platform/InputState.h"
#include "platform/KeepRunning.h"
#include "platform/MessageBox.h"
#include "platform/RegularFile.h"
#include "platform/SystemError.h"
#include "platform/host/App.h"
#include "platform/host/BuiltInCommands.h"
#include "platform/host/Document.h"
#include "platform/host/EdgeGaps.h"
#include "platform/host/EventReplay.h"
#include "platform/host/HostText.h"
#include "platform/host/MessageBox.h"
#include "platform/host/NetPlacement.h"
#include "platform/host/PlugIn.h"
#include "platform/host/View.h"
#include "platform/mfc/AnswerSource.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <tuple>
#include <unistd.h>

namespace {

// Everything the process writes to standard output goes to a temporary file
// while the host runs; poll() reads what is new, keeps it for the checks and
// passes it on to the real standard output.
class OutputCapture {
public:
    bool start()
    {
        std::fflush(stdout);
        m_file = std::tmpfile();
        m_saved = m_file ? ::dup(STDOUT_FILENO) : -1;
        if (m_saved < 0 || ::dup2(::fileno(m_file), STDOUT_FILENO) < 0) {
            stop();
            return false;
        }
        return true;
    }

    void poll()
    {
        if (m_saved < 0)
            return;
        std::cout.flush();
        std::wcout.flush();
        std::fflush(stdout);
        char buffer[4096];
        for (;;) {
            ssize_t n = ::pread(::fileno(m_file), buffer, sizeof buffer, m_read);
            if (n <= 0)
                break;
            m_read += n;
            m_text.append(buffer, static_cast<std::size_t>(n));
            for (ssize_t done = 0; done < n;) {
                ssize_t w = ::write(m_saved, buffer + done, static_cast<std::size_t>(n - done));
                if (w <= 0)
                    break;
                done += w;
            }
        }
    }

    void stop()
    {
        poll();
        if (m_saved >= 0) {
            std::fflush(stdout);
            ::dup2(m_saved, STDOUT_FILENO);
            ::close(m_saved);
            m_saved = -1;
        }
        if (m_file)
            std::fclose(m_file);
        m_file = nullptr;
    }

    const std::string& text() const { return m_text; }

private:
    std::FILE* m_file = nullptr;
    int m_saved = -1;
    off_t m_read = 0;
    std::string m_text;
};

// Long work asks the host's worker-thread flag whether to go on.
class HostKeepRunning : public Platform::KeepRunningQuery {
public:
    bool keepRunning() override { return CVezadWorkerThread::KeepRunning(); }
};

// Dialogs, menus and file dialogs answer from the host's input queue.
class HostAnswers : public AfxSubset::AnswerSource {
public:
    bool takeAnswer(const std::string& promptLine, std::string& token) override
    {
        return VezadApp().takeAnswer(promptLine, token);
    }
    const std::string* peekAnswer() override { return VezadApp().InputQueue().peek(); }
    void dropAnswer() override
    {
        std::string token;
        VezadApp().InputQueue().pop(token);
    }
    void print(const std::string& line) override { VezadApp().Print("%s", line.c_str()); }
    void logUnanswered(const std::string& prompt) override
    {
        VezadApp().logUnansweredPrompt(prompt);
    }
};

// The system's own message boxes are host message boxes with the system's
// caption, answered from the input queue.
Platform::MessageBoxAnswer hostMessageBox(const std::string& text,
                                          Platform::MessageBoxButtons buttons)
{
    using Platform::MessageBoxButtons;
    const UINT flags = buttons == MessageBoxButtons::OkCancel      ? MB_OKCANCEL
                       : buttons == MessageBoxButtons::YesNo       ? MB_YESNO
                       : buttons == MessageBoxButtons::YesNoCancel ? MB_YESNOCANCEL
                                                                   : MB_OK;
    switch (VezadMessageBox(VezadHost::toWide(text).c_str(), L"Meshwright", flags)) {
    case IDOK:
        return Platform::MessageBoxAnswer::Ok;
    case IDYES:
        return Platform::MessageBoxAnswer::Yes;
    case IDNO:
        return Platform::MessageBoxAnswer::No;
    default:
        return Platform::MessageBoxAnswer::Cancel;
    }
}

// The last error of the Win32 subset, as FormatMessageW words it (without
// its line break); empty when there is none.
std::wstring lastWin32ErrorText()
{
    const DWORD code = GetLastError();
    wchar_t text[512] = {};
    if (code == ERROR_SUCCESS ||
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                       text, 512, nullptr) == 0)
        return std::wstring();
    std::wstring message(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r'))
        message.pop_back();
    return message;
}

bool hostStartedInThisProcess = false;

std::string programFolder()
{
    std::error_code error;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : exe.parent_path().string();
}

} // namespace

struct HeadlessHost::Impl {
    HeadlessHostSettings settings;
    OutputCapture capture;
    HostKeepRunning keepRunning;
    HostAnswers answers;
    std::unique_ptr<VezadHost::MainWindow> mainWindow;
    std::unique_ptr<VezadHost::EventReplay> events;
    std::unique_ptr<VezadHost::BuiltInCommands> commands;
    // The host's wait cursor while the system shows one.
    std::optional<CWaitCursor> waitCursor;
    std::map<std::string, ScriptDirective> directives;
    // Where the previous script ended in the transcript, the captured output
    // and the message-box log: checks look no further back.
    std::size_t transcriptStart = 0;
    std::size_t outputStart = 0;
    std::size_t boxStart = 0;
    // The defines of the running script; null between scripts.
    VezadHost::ScriptDefines* defines = nullptr;
    // The kinds of lines that name what failed: each one's marker, and the
    // markers of the lines before it that tell why.
    std::vector<std::pair<std::string, std::vector<std::string>>> failureLines;
    // Where the standard output stood when the running script's first check
    // failed; npos before.
    std::size_t failureOutput = std::string::npos;
};

HeadlessHost::HeadlessHost() : m_impl(std::make_unique<Impl>())
{
    using namespace std::placeholders;
    addDirective("expect-print", std::bind(&HeadlessHost::expectPrint, this, _1, _2));
    addDirective("expect-no-print", std::bind(&HeadlessHost::expectNoPrint, this, _1, _2));
    addDirective("expect-same-print", std::bind(&HeadlessHost::expectSamePrint, this, _1, _2));
    addDirective("expect-box", std::bind(&HeadlessHost::expectBox, this, _1, _2));
    addDirective("expect-result", std::bind(&HeadlessHost::expectResult, this, _1, _2));
    addDirective("dump-doc", std::bind(&HeadlessHost::dumpDoc, this, _1, _2));
    addDirective("require-file", std::bind(&HeadlessHost::requireFile, this, _1, _2));
    addDirective("place-net", std::bind(&HeadlessHost::placeNet, this, _1, _2));
    addDirective("diagonal", std::bind(&HeadlessHost::diagonal, this, _1, _2));
    addDirective("edge-gaps", std::bind(&HeadlessHost::edgeGaps, this, _1, _2));
    addDirective("default", [this](const std::vector<std::string>& arguments, std::string& reason) {
        if (arguments.size() != 2 || arguments[0].empty()) {
            reason = "expects a name and a value";
            return DirectiveOutcome::failed;
        }
        if (m_impl->defines && m_impl->defines->count(arguments[0]) == 0)
            define(arguments[0], arguments[1]);
        return DirectiveOutcome::passed;
    });
    m_impl->events = std::make_unique<VezadHost::EventReplay>(*this);
}

HeadlessHost::~HeadlessHost()
{
    shutdown();
}

bool HeadlessHost::start(const HeadlessHostSettings& settings)
{
    if (hostStartedInThisProcess) {
        std::fprintf(stderr, "HeadlessHost: a host ran in this process already; the plug-ins "
                             "are static and load once, so each host needs a process of its "
                             "own\n");
        return false;
    }
    hostStartedInThisProcess = true;
    m_impl->settings = settings;
    if (m_impl->settings.plugInFolder.empty())
        m_impl->settings.plugInFolder = programFolder();
    if (m_impl->settings.outputFolder.empty())
        m_impl->settings.outputFolder = Platform::diagnosticsFolder();
    // Without a diagnostics folder the outputs go to the working folder, not
    // to the root a path "${OUT}/name" would name.
    if (m_impl->settings.outputFolder.empty())
        m_impl->settings.outputFolder = ".";
    if (settings.captureStandardOutput)
        m_impl->capture.start();

    CVezadApp& app = VezadApp();
    app.resetSession();
    CVezadDoc& doc = app.createDocument();
    doc.SetAbsoluteTolerance(settings.absoluteTolerance);
    m_impl->commands = std::make_unique<VezadHost::BuiltInCommands>();
    m_impl->mainWindow = std::make_unique<VezadHost::MainWindow>();
    Win32Subset::setMainWindow(m_impl->mainWindow->m_hWnd);
    for (const HeadlessViewSettings& view : settings.views)
        app.addView(view.width, view.height, view.shaded, view.ownContext);
    AfxSubset::setAnswerSource(&m_impl->answers);
    // The system's platform seams lead to the host's windows, keys and
    // cursor.
    Platform::setMessageBoxHandler(hostMessageBox);
    Platform::setLastErrorTextProvider(lastWin32ErrorText);
    Platform::setKeyStateQuery([](int virtualKey) {
        BYTE keys[256];
        return GetKeyboardState(keys) && virtualKey >= 0 && virtualKey < 256 &&
               (keys[virtualKey] & 0x80) != 0;
    });
    Impl* impl = m_impl.get();
    Platform::setWaitCursorHooks(
        {[impl] { impl->waitCursor.emplace(); }, [impl] { impl->waitCursor.reset(); }});
    Platform::setChangeNotificationHandler([](Platform::WindowToken window, unsigned int message) {
        SendMessageW(static_cast<HWND>(window), message, 0, 0);
    });
    Platform::setKeepRunningQuery(&m_impl->keepRunning);
    AfxSubset::initApplications();
    m_running = true;

    bool loaded = true;
    for (const std::wstring& name : settings.plugIns)
        loaded = loadPlugIn(name) && loaded;
    return loaded;
}

bool HeadlessHost::loadPlugIn(const std::wstring& baseName)
{
    if (!m_running)
        return false;
    bool loaded = VezadHost::loadPlugIn(baseName, m_impl->settings.plugInFolder);
    m_impl->capture.poll();
    return loaded;
}

CVezadDoc& HeadlessHost::doc()
{
    return *VezadApp().ActiveDoc();
}

const std::string& HeadlessHost::standardOutput()
{
    m_impl->capture.poll();
    return m_impl->capture.text();
}

void HeadlessHost::shutdown()
{
    if (!m_running)
        return;
    CVezadApp& app = VezadApp();
    // The document closes while the plug-ins live: their objects' destructors
    // and their watchers still reach them.
    app.ActiveDoc()->closeContents();
    VezadHost::unloadPlugIns();
    m_impl->commands.reset();
    app.destroyViews();
    app.destroyDocument();
    app.InputQueue().clear();
    AfxSubset::setAnswerSource(nullptr);
    Platform::setMessageBoxHandler(nullptr);
    Platform::setLastErrorTextProvider(nullptr);
    Platform::setKeyStateQuery(nullptr);
    Platform::setWaitCursorHooks({});
    m_impl->waitCursor.reset();
    Platform::setChangeNotificationHandler(nullptr);
    Win32Subset::setMainWindow(nullptr);
    m_impl->mainWindow.reset();
    Platform::setKeepRunningQuery(nullptr);
    m_impl->capture.stop();
    m_running = false;
}

void HeadlessHost::addFailureLine(const std::string& what, const std::vector<std::string>& causes)
{
    if (what.empty())
        return;
    std::vector<std::string> markers;
    for (const std::string& cause : causes)
        if (!cause.empty())
            markers.push_back(cause);
    m_impl->failureLines.emplace_back(what, std::move(markers));
}

std::string HeadlessHost::failureCause(std::size_t from, std::size_t to,
                                       const std::vector<std::size_t>& lineStarts,
                                       const ScriptFailure& first)
{
    const std::string& output = standardOutput();
    to = std::min(to, output.size());
    from = std::min(from, to);
    auto holdsAny = [](const std::string& line, const std::vector<std::string>& markers) {
        for (const std::string& marker : markers)
            if (line.find(marker) != std::string::npos)
                return true;
        return false;
    };
    // The host's own kinds, then those the plug-ins registered: the order in
    // which a failure of one kind is held to come before one of another.
    std::vector<std::pair<std::string, std::vector<std::string>>> kinds = m_impl->failureLines;
    for (const CVezadApp::FailureLine& registered : VezadApp().FailureLines())
        kinds.emplace_back(registered.what, registered.causes);
    // Each printed line with the script line that printed it and the first
    // kind whose failure it names (kinds.size() for none).
    struct Printed {
        std::string text;
        std::size_t scriptLine = 0;
        std::size_t kind = 0;
    };
    std::vector<Printed> printed;
    std::size_t chosen = kinds.size();
    for (std::size_t at = from; at < to;) {
        const std::size_t end = std::min(output.find('\n', at), to);
        Printed line{VezadHost::trimmed(output.substr(at, end - at)),
                     std::size_t(std::upper_bound(lineStarts.begin(), lineStarts.end(), at) -
                                 lineStarts.begin()),
                     kinds.size()};
        at = end + 1;
        // The host's lines of failed checks quote what they looked for.
        if (line.text.rfind("Script line ", 0) == 0)
            continue;
        for (std::size_t k = 0; k < kinds.size() && line.kind == kinds.size(); ++k)
            if (line.text.find(kinds[k].first) != std::string::npos)
                line.kind = k;
        chosen = std::min(chosen, line.kind);
        printed.push_back(std::move(line));
    }
    if (chosen == kinds.size())
        return "line " + std::to_string(first.line) + ": " + first.message;
    // A later command goes over what an earlier one found again (the commit
    // fits every face anew and numbers them as they stand then): of the
    // kind that comes first, the first line printed by the last script line
    // that printed one.
    std::size_t named = printed.size();
    for (std::size_t i = printed.size(); i-- > 0;)
        if (printed[i].kind == chosen &&
            (named == printed.size() || printed[i].scriptLine == printed[named].scriptLine))
            named = i;
    // With the line that tells why: the last before it among the lines of
    // its own script line; else, where a line of its kind was printed
    // before (the commit names a face again that a fit gave up on), the one
    // that told why then; else the last before it.
    const auto isCause = [&](std::size_t i) {
        return printed[i].kind == kinds.size() && holdsAny(printed[i].text, kinds[chosen].second);
    };
    std::size_t said = named, cause = printed.size();
    for (bool again = true; again && cause == printed.size();) {
        again = false;
        for (std::size_t i = said; i-- > 0 && printed[i].scriptLine == printed[said].scriptLine;)
            if (isCause(i)) {
                cause = i;
                break;
            }
        for (std::size_t i = said; cause == printed.size() && i-- > 0;)
            if (printed[i].kind == chosen) {
                said = i;
                again = true;
                break;
            }
    }
    for (std::size_t i = said; cause == printed.size() && i-- > 0;)
        if (isCause(i))
            cause = i;
    if (cause < printed.size())
        return printed[named].text + " (after \"" + printed[cause].text + "\")";
    return printed[named].text;
}

void HeadlessHost::addDirective(const std::string& name, ScriptDirective directive)
{
    m_impl->directives[name] = std::move(directive);
}

void HeadlessHost::define(const std::string& name, const std::string& value)
{
    if (m_impl->defines)
        (*m_impl->defines)[name] = value;
}

ScriptResult HeadlessHost::runScriptFile(const std::string& path,
                                         const VezadHost::ScriptDefines& defines)
{
    // The runner reads a script front to back, so it may come from a pipe;
    // read whole before its first line runs, it is refused beyond a size no
    // script written or generated for it comes near.
    std::vector<unsigned char> bytes;
    std::string problem;
    if (!Platform::readRegularFileOrPipe(path, bytes, kLongestScript, &problem)) {
        std::fprintf(stderr, "Script %s cannot be read: file %s\n", path.c_str(), problem.c_str());
        ScriptResult result;
        result.status = ScriptResult::unreadable;
        result.failures.push_back({0, "script cannot be read: " + path + ": file " + problem});
        return result;
    }
    std::string folder = std::filesystem::path(path).parent_path().string();
    std::string text(bytes.begin(), bytes.end());
    std::vector<unsigned char>().swap(bytes);
    return runScript(text, defines, folder.empty() ? "." : folder);
}

ScriptResult HeadlessHost::runScript(const std::string& text,
                                     const VezadHost::ScriptDefines& defines,
                                     const std::string& scriptFolder)
{
    ScriptResult result;
    if (!m_running) {
        result.status = ScriptResult::failed;
        result.failures.push_back({0, "no host runs"});
        return result;
    }
    VezadHost::ScriptDefines all{{"OUT", m_impl->settings.outputFolder},
                                 {"SCRIPT_DIR", scriptFolder.empty() ? "." : scriptFolder}};
    for (const auto& [name, value] : defines)
        all[name] = value;

    CVezadApp& app = VezadApp();
    std::istringstream lines(text);
    std::string line;
    const std::size_t outputStart = m_impl->outputStart;
    VezadHost::ScriptDefines* outer = m_impl->defines;
    const std::size_t outerFailureOutput = m_impl->failureOutput;
    m_impl->defines = &all;
    m_impl->failureOutput = std::string::npos;
    // Where each line's output begins.
    std::vector<std::size_t> lineStarts;
    for (int number = 1; std::getline(lines, line); ++number) {
        lineStarts.push_back(standardOutput().size());
        runLine(line, number, all, result);
        m_impl->capture.poll();
        if (result.status == ScriptResult::skipped || result.status == ScriptResult::noRegion)
            break;
    }
    m_impl->defines = outer;
    app.InputQueue().clear();
    m_impl->events->scriptEnded();
    // A script that found no region after a check failed failed for that
    // check.
    // A check that failed before the script was skipped (a required file
    // missing) failed it all the same.
    const bool checkFailed =
        result.status == ScriptResult::passed || result.status == ScriptResult::skipped
            ? !result.failures.empty()
            : result.status == ScriptResult::noRegion && result.failures.size() > 1;
    if (checkFailed)
        result.cause =
            failureCause(outputStart, m_impl->failureOutput, lineStarts, result.failures.front());
    m_impl->failureOutput = outerFailureOutput;
    m_impl->transcriptStart = app.Transcript().size();
    m_impl->outputStart = standardOutput().size();
    m_impl->boxStart = app.MessageBoxes().size();
    if ((result.status == ScriptResult::passed || result.status == ScriptResult::skipped) &&
        !result.failures.empty())
        result.status = ScriptResult::failed;
    return result;
}

void HeadlessHost::runLine(std::string_view rawLine, int number,
                           const VezadHost::ScriptDefines& defines, ScriptResult& result)
{
    CVezadApp& app = VezadApp();
    auto fail = [&](const std::string& message) {
        if (result.failures.empty())
            m_impl->failureOutput = standardOutput().size();
        app.Print("Script line %d failed: %s\n", number, message.c_str());
        result.failures.push_back({number, message});
    };
    if (rawLine.size() > kLongestScriptLine) {
        fail("the line runs past " + std::to_string(kLongestScriptLine) +
             " characters, more than any script line holds");
        return;
    }
    if (rawLine.find('\0') != std::string_view::npos) {
        fail("the line holds a NUL byte at character " + std::to_string(rawLine.find('\0') + 1) +
             ", which no script line does");
        return;
    }
    const std::string line = VezadHost::trimmed(std::string(rawLine));
    if (line.empty() || line[0] == '#')
        return;
    std::vector<std::string> tokens;
    std::string error;
    if (!VezadHost::splitTokens(line, &defines, tokens, error)) {
        fail(error);
        return;
    }
    if (tokens.empty())
        return;
    const std::size_t unansweredBefore = app.UnansweredPrompts().size();
    runTokens(line[0] == '!', tokens, number, fail, result);
    // The messages the line posted (paints, menu commands) are taken now,
    // and every prompt it left without an answer fails it.
    VezadHost::runMessageLoop();
    for (std::size_t i = unansweredBefore; i < app.UnansweredPrompts().size(); ++i)
        fail("unanswered prompt: " + app.UnansweredPrompts()[i]);
}

void HeadlessHost::runTokens(bool isDirective, const std::vector<std::string>& tokens, int number,
                             const std::function<void(const std::string&)>& fail,
                             ScriptResult& result)
{
    CVezadApp& app = VezadApp();
    if (isDirective) {
        auto directive = m_impl->directives.find(tokens[0].substr(1));
        if (directive == m_impl->directives.end()) {
            fail("unknown directive " + tokens[0]);
            return;
        }
        std::vector<std::string> arguments(tokens.begin() + 1, tokens.end());
        std::string reason;
        switch (directive->second(arguments, reason)) {
        case DirectiveOutcome::passed:
            break;
        case DirectiveOutcome::failed:
            fail(tokens[0] + ": " + reason);
            break;
        case DirectiveOutcome::skipScript:
            app.Print("Script skipped at line %d: %s\n", number, reason.c_str());
            result.status = ScriptResult::skipped;
            break;
        case DirectiveOutcome::noRegion:
            app.Print("No region at line %d: %s\n", number, reason.c_str());
            result.status = ScriptResult::noRegion;
            result.failures.push_back({number, "no region: " + reason});
            break;
        }
        return;
    }
    const int unknownBefore = app.UnknownCommandCount();
    app.InputQueue().clear();
    app.InputQueue().pushFront(tokens);
    app.runQueuedCommands(0, true);
    if (app.UnknownCommandCount() > unknownBefore)
        fail("unknown command");
}

namespace {

bool oneArgument(const std::vector<std::string>& arguments, std::string& reason)
{
    if (arguments.size() == 1)
        return true;
    reason = "expects one argument (quote text with blanks)";
    return false;
}

} // namespace

bool HeadlessHost::findPrinted(const std::string& wanted, std::string& line)
{
    const auto& transcript = VezadApp().Transcript();
    for (std::size_t i = m_impl->transcriptStart; i < transcript.size(); ++i)
        if (transcript[i].find(wanted) != std::string::npos) {
            line = transcript[i];
            return true;
        }
    const std::string& output = standardOutput();
    const std::size_t at = output.find(wanted, std::min(m_impl->outputStart, output.size()));
    if (at == std::string::npos)
        return false;
    const std::size_t begin = output.rfind('\n', at);
    const std::size_t end = output.find('\n', at);
    line = output.substr(begin == std::string::npos ? 0 : begin + 1,
                         end == std::string::npos
                             ? std::string::npos
                             : end - (begin == std::string::npos ? 0 : begin + 1));
    return true;
}

DirectiveOutcome HeadlessHost::expectPrint(const std::vector<std::string>& arguments,
                                           std::string& reason)
{
    if (!oneArgument(arguments, reason))
        return DirectiveOutcome::failed;
    std::string line;
    if (findPrinted(arguments[0], line))
        return DirectiveOutcome::passed;
    reason = "nothing printed holds \"" + arguments[0] + "\"";
    // A count that came out otherwise ("model has 3 loops" where 4 were
    // expected) tells what went wrong: the last line that holds the text's
    // words before its first figure is quoted.
    const std::string& wanted = arguments[0];
    const std::size_t figure = wanted.find_first_of("0123456789");
    if (figure == std::string::npos || figure < 4)
        return DirectiveOutcome::failed;
    const std::string& output = standardOutput();
    std::istringstream lines(output.substr(std::min(m_impl->outputStart, output.size())));
    std::string nearest;
    for (std::string printed; std::getline(lines, printed);)
        if (printed.find(wanted.substr(0, figure)) != std::string::npos &&
            printed.rfind("Script line ", 0) != 0)
            nearest = VezadHost::trimmed(printed);
    if (!nearest.empty())
        reason += " (printed: " + nearest + ")";
    return DirectiveOutcome::failed;
}

DirectiveOutcome HeadlessHost::expectNoPrint(const std::vector<std::string>& arguments,
                                             std::string& reason)
{
    if (!oneArgument(arguments, reason))
        return DirectiveOutcome::failed;
    std::string line;
    if (!findPrinted(arguments[0], line))
        return DirectiveOutcome::passed;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    reason = "printed: " + line;
    return DirectiveOutcome::failed;
}

DirectiveOutcome HeadlessHost::expectSamePrint(const std::vector<std::string>& arguments,
                                               std::string& reason)
{
    if (arguments.size() != 2) {
        reason = "expects two arguments (quote text with blanks)";
        return DirectiveOutcome::failed;
    }
    std::string rest[2];
    for (int k = 0; k < 2; ++k) {
        std::string line;
        if (!findPrinted(arguments[k], line)) {
            reason = "nothing printed holds \"" + arguments[k] + "\"";
            return DirectiveOutcome::failed;
        }
        rest[k] = line.substr(line.find(arguments[k]) + arguments[k].size());
        while (!rest[k].empty() &&
               (rest[k].back() == '\n' || rest[k].back() == '\r' || rest[k].back() == ' '))
            rest[k].pop_back();
    }
    if (rest[0] == rest[1])
        return DirectiveOutcome::passed;
    reason = "printed " + arguments[0] + rest[0] + " and " + arguments[1] + rest[1];
    // The first word where the two part, by its place: with per-item lists
    // ("Edges per Brep: 4 5" and "Sides per Brep: 4 4") the item that differs.
    std::istringstream words[2] = {std::istringstream(rest[0]), std::istringstream(rest[1])};
    std::string word[2];
    for (int place = 1;; ++place) {
        const bool more[2] = {bool(words[0] >> word[0]), bool(words[1] >> word[1])};
        if (more[0] && more[1] && word[0] == word[1])
            continue;
        if (!more[0] && !more[1])
            break; // they differ in blanks only
        reason += ", which part at word " + std::to_string(place) + " (" +
                  (more[0] ? word[0] : "nothing") + " and " + (more[1] ? word[1] : "nothing") + ")";
        break;
    }
    return DirectiveOutcome::failed;
}

DirectiveOutcome HeadlessHost::expectBox(const std::vector<std::string>& arguments,
                                         std::string& reason)
{
    if (!oneArgument(arguments, reason))
        return DirectiveOutcome::failed;
    const auto& boxes = VezadApp().MessageBoxes();
    for (std::size_t i = m_impl->boxStart; i < boxes.size(); ++i)
        if (boxes[i].text.find(arguments[0]) != std::string::npos)
            return DirectiveOutcome::passed;
    reason = "no message box holds \"" + arguments[0] + "\"";
    return DirectiveOutcome::failed;
}

DirectiveOutcome HeadlessHost::expectResult(const std::vector<std::string>& arguments,
                                            std::string& reason)
{
    int wanted = 0;
    if (!oneArgument(arguments, reason) || !VezadHost::parseInteger(arguments[0], wanted)) {
        reason = "expects a result number";
        return DirectiveOutcome::failed;
    }
    const int last = VezadApp().LastCommandResult();
    if (last == wanted)
        return DirectiveOutcome::passed;
    reason = "the last command's result was " + std::to_string(last) + ", not " + arguments[0];
    return DirectiveOutcome::failed;
}

DirectiveOutcome HeadlessHost::dumpDoc(const std::vector<std::string>&, std::string&)
{
    // Counted by layer, type and state, in the order of the states' flags.
    std::map<std::tuple<int, std::string, int>, int> counts;
    const char* stateNames[] = {"normal", "hidden", "deleted"};
    const CVezadDoc& document = doc();
    for (int i = 0; i < document.ObjectCount(); ++i) {
        const CVezadObject* object = document.ObjectAt(i);
        int state = object->IsDeleted() ? 2 : (object->IsHidden() ? 1 : 0);
        ++counts[{object->Attributes().m_layer_index,
                  VezadHost::objectTypeName(object->ObjectType()), state}];
    }
    for (const auto& [key, count] : counts)
        VezadApp().Print("doc: layer %d %s %s %d\n", std::get<0>(key), std::get<1>(key).c_str(),
                         stateNames[std::get<2>(key)], count);
    return DirectiveOutcome::passed;
}

DirectiveOutcome HeadlessHost::requireFile(const std::vector<std::string>& arguments,
                                           std::string& reason)
{
    if (!oneArgument(arguments, reason))
        return DirectiveOutcome::failed;
    std::error_code error;
    if (std::filesystem::exists(arguments[0], error))
        return DirectiveOutcome::passed;
    reason = "required file missing: " + arguments[0];
    return DirectiveOutcome::skipScript;
}

DirectiveOutcome HeadlessHost::placeNet(const std::vector<std::string>& arguments,
                                        std::string& reason)
{
    std::string name;
    double share = 0.5;
    int viewIndex = 0;
    ON_3dVector look(0, 0, 0);
    double zoom = 1.0;
    for (const std::string& a : arguments) {
        if (a.rfind("view=", 0) == 0) {
            if (!VezadHost::parseInteger(a.substr(5), viewIndex)) {
                reason = "expects view=<n>";
                return DirectiveOutcome::failed;
            }
        } else if (a.rfind("look=", 0) == 0) {
            std::string rest = a.substr(5);
            for (int k = 0; k < 3; ++k) {
                const std::size_t comma = k < 2 ? rest.find(',') : rest.size();
                if (comma == std::string::npos ||
                    !VezadHost::parseNumber(rest.substr(0, comma), look[k])) {
                    reason = "expects look=<x>,<y>,<z>";
                    return DirectiveOutcome::failed;
                }
                rest = k < 2 ? rest.substr(comma + 1) : "";
            }
        } else if (a.rfind("zoom=", 0) == 0) {
            if (!VezadHost::parseNumber(a.substr(5), zoom) || !(zoom >= 1.0)) {
                reason = "expects zoom=<factor of 1 or more>";
                return DirectiveOutcome::failed;
            }
        } else if (name.empty()) {
            name = a;
        } else if (!VezadHost::parseNumber(a, share)) {
            reason = "expects a name, a share of the extent and view=<n>";
            return DirectiveOutcome::failed;
        }
    }
    const auto& views = VezadApp().views();
    if (name.empty() || viewIndex < 0 || viewIndex >= static_cast<int>(views.size())) {
        reason = "expects a name and a view that exists";
        return DirectiveOutcome::failed;
    }
    CVezadView& view = *views[static_cast<std::size_t>(viewIndex)];
    // A view direction or zoom given: the view is set so, and the square is
    // searched there only.
    const bool setView = !look.IsZero() || zoom != 1.0;
    if (setView &&
        !VezadHost::lookAtVisible(
            view, look.IsZero() ? -view.ActiveViewport().VP().CameraDirection() : look, zoom)) {
        reason = "nothing is visible in the view";
        return DirectiveOutcome::noRegion;
    }
    VezadHost::NetSquare square;
    if (!VezadHost::placeNetSquare(view, share, square, reason, !setView))
        return DirectiveOutcome::noRegion;
    const int h = square.half, third = (square.half + 1) / 3;
    const int xs[3] = {square.centreX - h, square.centreX, square.centreX + h};
    const int ys[3] = {square.centreY - h, square.centreY, square.centreY + h};
    const int from[3] = {ys[0] + third, ys[1] - third, ys[2] - third};
    for (int k = 0; k < 3; ++k) {
        const std::string suffix = std::to_string(k);
        define(name + "_X" + suffix, std::to_string(xs[k]));
        define(name + "_Y" + suffix, std::to_string(ys[k]));
        define(name + "_Y" + suffix + "_FROM", std::to_string(from[k]));
    }
    const char* how = setView         ? "as look and zoom set it"
                      : square.turned ? "turned along an axis"
                                      : "as it was";
    VezadApp().Print("Net square: x %d..%d, y %d..%d in view %d (%s, zoomed %.2f times)\n", xs[0],
                     xs[2], ys[0], ys[2], viewIndex, how, square.zoom);
    return DirectiveOutcome::passed;
}

DirectiveOutcome HeadlessHost::diagonal(const std::vector<std::string>& arguments,
                                        std::string& reason)
{
    double divisor = 1.0;
    if (arguments.empty() || arguments.size() > 2 ||
        (arguments.size() == 2 &&
         !(VezadHost::parseNumber(arguments[1], divisor) && divisor > 0.0))) {
        reason = "expects a name and a positive divisor";
        return DirectiveOutcome::failed;
    }
    const auto& views = VezadApp().views();
    const ON_BoundingBox box =
        views.empty() ? ON_BoundingBox() : VezadHost::visibleExtents(*views[0]);
    if (!box.IsValid()) {
        reason = "no visible object has a box";
        return DirectiveOutcome::failed;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", box.Diagonal().Length() / divisor);
    define(arguments[0], text);
    VezadApp().Print("%s = %s\n", arguments[0].c_str(), text);
    return DirectiveOutcome::passed;
}

DirectiveOutcome HeadlessHost::edgeGaps(const std::vector<std::string>& arguments,
                                        std::string& reason)
{
    double factor = 0.0;
    if (arguments.size() > 1 || (arguments.size() == 1 &&
                                 !(VezadHost::parseNumber(arguments[0], factor) && factor > 0.0))) {
        reason = "expects at most a positive factor of the document's tolerance";
        return DirectiveOutcome::failed;
    }
    const VezadHost::EdgeGaps gaps = VezadHost::sharedEdgeGaps(doc());
    const double tolerance = doc().AbsoluteTolerance();
    VezadApp().Print("Largest gap between neighbouring Breps' shared edges: %.6g (%d shared edges "
                     "of %d Breps, document tolerance %.6g)\n",
                     gaps.largest, gaps.sharedEdges, gaps.brepCount, tolerance);
    std::string counts;
    for (int count : gaps.edgesPerBrep) {
        counts += ' ';
        counts += std::to_string(count);
    }
    VezadApp().Print("Edges per Brep:%s\n", counts.c_str());
    if (arguments.empty())
        return DirectiveOutcome::passed;
    // A single Brep has no neighbour to share an edge with: nothing to
    // measure, and nothing left apart. Breps a plug-in's net describes share
    // what it says, maybe nothing (faces with a slot between them); others
    // that pair no edge at all are more likely missed than apart.
    if (gaps.brepCount == 0) {
        reason = "no Breps";
        return DirectiveOutcome::failed;
    }
    if (gaps.sharedEdges == 0 && gaps.brepCount > 1 && gaps.describedBreps == 0) {
        reason = "no Breps share an edge";
        return DirectiveOutcome::failed;
    }
    // A side the net says two Breps share and that is not found along their
    // edges leaves its gap unknown.
    if (gaps.measuredSides < gaps.describedSides) {
        reason = "the plug-in's net says the Breps share " + std::to_string(gaps.describedSides) +
                 (gaps.describedSides == 1 ? " side" : " sides") + ", of which " +
                 (gaps.measuredSides == 0 ? std::string("none")
                                          : "only " + std::to_string(gaps.measuredSides)) +
                 " is found along their edges";
        return DirectiveOutcome::failed;
    }
    if (gaps.largest > factor * tolerance) {
        char figures[96];
        std::snprintf(figures, sizeof figures, "%.6g, between Breps %d and %d,", gaps.largest,
                      gaps.largestBetween[0] + 1, gaps.largestBetween[1] + 1);
        reason = std::string("the largest gap ") + figures + " exceeds " + arguments[0] +
                 " x the document's tolerance";
        std::snprintf(figures, sizeof figures, " %.6g", tolerance);
        reason += figures;
        return DirectiveOutcome::failed;
    }
    return DirectiveOutcome::passed;
}
