#include "platform/host/App.h"

#include "platform/host/Command.h"
#include "platform/host/Document.h"
#include "platform/host/HostText.h"
#include "platform/host/PlugIn.h"
#include "platform/host/ToolBar.h"
#include "platform/host/View.h"
#include "platform/mfc/Wnd.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

CVezadApp& VezadApp()
{
    static CVezadApp app;
    return app;
}

CVezadApp::CVezadApp() : m_toolBars(std::make_unique<CVezadUiToolBarManager>()) {}

CVezadApp::~CVezadApp() = default;

CVezadUiToolBarManager& CVezadApp::ToolBarManager()
{
    return *m_toolBars;
}

void CVezadApp::printUtf8(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    for (char c : text) {
        if (c == '\n') {
            m_transcript.push_back(std::move(m_partialLine));
            m_partialLine.clear();
        } else if (c != '\r') {
            m_partialLine += c;
        }
    }
}

void CVezadApp::Print(const wchar_t* format, ...)
{
    ON_wString text;
    va_list args;
    va_start(args, format);
    bool ok = text.FormatVargs(format, args);
    va_end(args);
    if (ok)
        printUtf8(text.ToUtf8());
}

void CVezadApp::Print(const char* format, ...)
{
    ON_wString text;
    va_list args;
    va_start(args, format);
    bool ok = text.FormatVargs(format, args);
    va_end(args);
    if (ok)
        printUtf8(text.ToUtf8());
}

void CVezadApp::BeginWaitCursor()
{
    AfxSubset::beginWaitCursor();
}

void CVezadApp::EndWaitCursor()
{
    AfxSubset::endWaitCursor();
}

int CVezadApp::WaitCursorCount() const
{
    return AfxSubset::waitCursorCount();
}

const BYTE* CVezadApp::KeyStates() const
{
    return Win32Subset::keyStates();
}

void CVezadApp::SetKeyDown(int virtualKey, bool down)
{
    Win32Subset::setKeyDown(virtualKey, down);
}

bool CVezadApp::IsKeyDown(int virtualKey) const
{
    return Win32Subset::isKeyDown(virtualKey);
}

CWnd* CVezadApp::MainWnd() const
{
    return AfxGetMainWnd();
}

CVezadView* CVezadApp::ActiveView() const
{
    return m_activeView;
}

CVezadView* CVezadApp::addView(int width, int height, bool shaded, bool ownContext)
{
    // The views share one group: each shares with the first view made
    // without a context of its own.
    const CVezadView* partner = ownContext ? nullptr : m_shareView;
    m_views.push_back(std::make_unique<CVezadView>(m_doc.get(), width, height, shaded, partner));
    if (!ownContext && !m_shareView)
        m_shareView = m_views.back().get();
    if (!m_activeView)
        m_activeView = m_views.back().get();
    return m_views.back().get();
}

void CVezadApp::destroyViews()
{
    m_activeView = nullptr;
    m_shareView = nullptr;
    m_views.clear();
}

bool CVezadApp::takeAnswer(const std::string& promptLine, std::string& token)
{
    Print("%s: ", promptLine.c_str());
    if (!m_queue.pop(token)) {
        Print("(unanswered)\n");
        logUnansweredPrompt(promptLine);
        return false;
    }
    Print("%s\n", token.c_str());
    return true;
}

void CVezadApp::logUnansweredPrompt(const std::string& prompt)
{
    m_unanswered.push_back(prompt);
}

void CVezadApp::logMessageBox(const CVezadMessageBoxRecord& record)
{
    m_boxes.push_back(record);
}

bool CVezadApp::RunScript(const wchar_t* script, int echo)
{
    if (!m_doc) {
        Print("No document: the script \"%ls\" does not run\n", script ? script : L"");
        return false;
    }
    std::vector<std::string> tokens;
    std::string error;
    if (!VezadHost::splitTokens(VezadHost::toUtf8(script), nullptr, tokens, error)) {
        Print("Script not run: %s\n", error.c_str());
        return false;
    }
    const int unknownBefore = m_unknownCommands;
    const std::size_t floor = m_queue.size();
    m_queue.pushFront(tokens);
    runQueuedCommands(floor, echo != 0);
    return m_unknownCommands == unknownBefore;
}

void CVezadApp::runQueuedCommands(std::size_t floor, bool echo)
{
    std::string token;
    while (m_queue.size() > floor && m_queue.pop(token)) {
        // Enter and Escape at the command prompt have nothing to end.
        if (VezadHost::equalsNoCase(token, "Enter") || VezadHost::equalsNoCase(token, "Escape"))
            continue;
        runCommandToken(token, echo);
    }
}

int CVezadApp::runCommandToken(const std::string& token, bool echo)
{
    std::string name = token;
    bool interactive = true;
    if (!name.empty() && name[0] == '-') {
        interactive = false;
        name.erase(0, 1);
    }
    if (!name.empty() && name[0] == '_')
        name.erase(0, 1);
    CVezadCommand* command = m_doc ? VezadHost::findCommand(VezadHost::toWide(name)) : nullptr;
    if (!command) {
        Print("Unknown command: %s\n", name.c_str());
        ++m_unknownCommands;
        m_lastResult = CVezadCommand::failure;
        return m_lastResult;
    }
    const std::string englishName = VezadHost::toUtf8(command->EnglishCommandName());
    if (echo)
        Print("Command: %s\n", token.c_str());
    const bool topLevel = m_commandDepth == 0;
    if (topLevel)
        setKeepRunning(true);
    ++m_commandDepth;
    int undoDepth = -1;
    if (command->recordsUndo())
        undoDepth = m_doc->beginCommandRecord(command->EnglishCommandName());
    int result = command->RunCommand(CVezadCommandContext(interactive));
    // The command may have replaced the document's contents, never the
    // document itself.
    m_doc->endCommandRecord(undoDepth);
    --m_commandDepth;
    if (topLevel)
        m_doc->UnselectAll();
    Print("Command %s: result %d\n", englishName.c_str(), result);
    m_lastResult = result;
    return result;
}

CVezadDoc& CVezadApp::createDocument()
{
    m_doc = std::make_unique<CVezadDoc>();
    return *m_doc;
}

void CVezadApp::destroyDocument()
{
    m_doc.reset();
}

const CVezadApp::LoadedPlugIn* CVezadApp::findLoadedPlugIn(const CVezadPlugIn* plugIn) const
{
    for (const LoadedPlugIn& loaded : m_plugIns)
        if (loaded.plugIn == plugIn)
            return &loaded;
    return nullptr;
}

const CVezadApp::LoadedPlugIn* CVezadApp::findLoadedPlugIn(const ON_UUID& plugInId) const
{
    for (const LoadedPlugIn& loaded : m_plugIns)
        if (loaded.plugIn->PlugInID() == plugInId)
            return &loaded;
    return nullptr;
}

void CVezadApp::removeLoadedPlugIn(const CVezadPlugIn* plugIn)
{
    m_plugIns.erase(std::remove_if(m_plugIns.begin(), m_plugIns.end(),
                                   [&](const LoadedPlugIn& p) { return p.plugIn == plugIn; }),
                    m_plugIns.end());
}

bool CVezadApp::removePlugInMenu(HMENU menu, const CVezadPlugIn* plugIn)
{
    auto it = std::find_if(m_menus.begin(), m_menus.end(), [&](const CVezadPlugInMenu& m) {
        return m.menu == menu && m.plugIn == plugIn;
    });
    if (it == m_menus.end())
        return false;
    m_menus.erase(it);
    return true;
}

void CVezadApp::RegisterFailureLine(const std::string& what, const std::vector<std::string>& causes)
{
    if (what.empty())
        return;
    FailureLine line{what, {}};
    for (const std::string& cause : causes)
        if (!cause.empty())
            line.causes.push_back(cause);
    m_failureLines.push_back(std::move(line));
}

void CVezadApp::resetSession()
{
    m_failureLines.clear();
    m_queue.clear();
    m_transcript.clear();
    m_partialLine.clear();
    m_boxes.clear();
    m_unanswered.clear();
    m_menus.clear();
    m_cursorToolTip.Empty();
    Win32Subset::releaseAllKeys();
    Win32Subset::clearShellExecuteLog();
    while (AfxSubset::waitCursorCount() > 0)
        AfxSubset::endWaitCursor();
    m_unknownCommands = 0;
    m_lastResult = 0;
    m_commandDepth = 0;
    m_keepRunning = true;
    m_toolBars = std::make_unique<CVezadUiToolBarManager>();
}
