// The host application: CVezadApp, reached through VezadApp(), with its
// settings, the command-line transcript, the input queue, the message-box
// and prompt logs, the main window and the views, the key table, the cursor
// tool-tip and the wait cursor (the last two kept by the Win32 and class-
// library layers, so that GetKeyboardState and CWaitCursor see them).
//
// The application is constructed on first use, so the plug-in's static
// globals may use it while they are constructed, before a host runs; it
// holds a document only while a HeadlessHost runs (platform/host/
// HeadlessHost.h), which shuts down before static destruction begins.
//
// Ownership: the application owns the active document, the views, the
// toolbar manager and the logs; the main window belongs to the running
// HeadlessHost; loaded plug-ins are static objects it only points to.
// Not thread-safe: everything belongs to the host's user-interface thread;
// only the keep-running flag may be read from any thread.
#pragma once

#include "platform/host/InputQueue.h"
#include "platform/on/OpenNurbsSubset.h"
#include "platform/win32/WindowsSubset.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

class CVezadDoc;
class CVezadPlugIn;
class CVezadUiToolBarManager;
class CVezadView;
class CWnd;

// The host's cursor tool-tip switch and where the tip sits beside the cursor.
struct CVezadCursorToolTipSettings {
    bool m_bEnableCursorToolTips = false;
    int m_offsetX = 16;
    int m_offsetY = 16;
};

class CVezadAppSettings {
public:
    CVezadCursorToolTipSettings CursorToolTipSettings() const { return m_cursorToolTips; }
    void SetCursorToolTipSettings(const CVezadCursorToolTipSettings& settings)
    {
        m_cursorToolTips = settings;
    }

private:
    CVezadCursorToolTipSettings m_cursorToolTips;
};

// One message box as it was shown and answered.
struct CVezadMessageBoxRecord {
    std::string title;
    std::string text;
    UINT flags = 0;
    int answer = 0;
    // False when the queue held no fitting answer and the default was taken.
    bool answered = false;
};

// A plug-in menu inserted into the host's menu bar.
struct CVezadPlugInMenu {
    HMENU menu = nullptr;
    int position = 0;
    const CVezadPlugIn* plugIn = nullptr;
};

class CVezadApp {
public:
    CVezadApp(const CVezadApp&) = delete;
    CVezadApp& operator=(const CVezadApp&) = delete;

    // The document of the running host; null when no host runs.
    CVezadDoc* ActiveDoc() const { return m_doc.get(); }

    // printf-style text on the command line: appended to the transcript and
    // written to standard output. In the wide form "%ls" takes a wide string.
    void Print(const wchar_t* format, ...);
    void Print(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // Runs script as typed input: its tokens go to the front of the input
    // queue and the commands they name run now, nested in whatever runs; a
    // command may go on to take the tokens that follow the script. With echo
    // each command is printed before it runs. False when no host runs, the
    // script does not parse or it named an unknown command.
    bool RunScript(const wchar_t* script, int echo = 1);

    CVezadAppSettings& AppSettings() { return m_settings; }
    CVezadUiToolBarManager& ToolBarManager();

    // The text shown beside the cursor while tool-tips are on; empty hides it.
    void SetCursorToolTip(const wchar_t* text) { m_cursorToolTip = ON_wString(text); }
    const ON_wString& CursorToolTip() const { return m_cursorToolTip; }

    // Nested wait-cursor requests; the cursor waits while the count is above 0.
    void BeginWaitCursor();
    void EndWaitCursor();
    int WaitCursorCount() const;

    // Keys held down, by virtual-key code (the high bit of a byte is set for
    // a held key), as the keyboard-state query reports them.
    const BYTE* KeyStates() const;
    void SetKeyDown(int virtualKey, bool down);
    bool IsKeyDown(int virtualKey) const;

    // The main window; null when no host runs.
    CWnd* MainWnd() const;
    // The view that takes commands and the one last clicked; null without
    // views.
    CVezadView* ActiveView() const;

    // Plug-in menus in the host's menu bar, in the order inserted.
    const std::vector<CVezadPlugInMenu>& PlugInMenus() const { return m_menus; }

    // A kind of line a plug-in prints when something fails, for the host's
    // verdict on a failed script (HeadlessHost::addFailureLine): the marker
    // of the line that names what failed, and the markers of the lines
    // printed before it that tell why. Empty markers are left out.
    struct FailureLine {
        std::string what;
        std::vector<std::string> causes;
    };
    void RegisterFailureLine(const std::string& what, const std::vector<std::string>& causes = {});
    const std::vector<FailureLine>& FailureLines() const { return m_failureLines; }

    // ---- Host side: the running host, its scripts and tests. ----

    CVezadInputQueue& InputQueue() { return m_queue; }

    // Complete transcript lines (a line still being printed is not among
    // them until its end of line).
    const std::vector<std::string>& Transcript() const { return m_transcript; }
    const std::vector<CVezadMessageBoxRecord>& MessageBoxes() const { return m_boxes; }
    // Prompts that found no answer, in the order they were shown.
    const std::vector<std::string>& UnansweredPrompts() const { return m_unanswered; }
    // Command tokens that named no command.
    int UnknownCommandCount() const { return m_unknownCommands; }
    // The result of the command that ended last (3 after an unknown name).
    int LastCommandResult() const { return m_lastResult; }

    // Prints promptLine and takes the next token as its answer. An empty
    // queue logs the prompt as unanswered and gives false.
    bool takeAnswer(const std::string& promptLine, std::string& token);
    void logUnansweredPrompt(const std::string& prompt);
    void logMessageBox(const CVezadMessageBoxRecord& record);

    // Runs commands from the queue while it holds more than floor tokens.
    void runQueuedCommands(std::size_t floor, bool echo);
    // Runs one command token (`_Name`, `-_Name`, `Name`); its result.
    int runCommandToken(const std::string& token, bool echo);

    // Installs a new, empty document (the old one must be closed first) or
    // removes it.
    CVezadDoc& createDocument();
    void destroyDocument();

    // Plug-ins the loader has loaded, in load order, with their files.
    struct LoadedPlugIn {
        CVezadPlugIn* plugIn = nullptr;
        std::wstring name;
        std::wstring fileName;
    };
    const std::vector<LoadedPlugIn>& LoadedPlugIns() const { return m_plugIns; }
    void addLoadedPlugIn(const LoadedPlugIn& plugIn) { m_plugIns.push_back(plugIn); }
    void removeLoadedPlugIn(const CVezadPlugIn* plugIn);
    void clearLoadedPlugIns() { m_plugIns.clear(); }
    const LoadedPlugIn* findLoadedPlugIn(const CVezadPlugIn* plugIn) const;
    const LoadedPlugIn* findLoadedPlugIn(const ON_UUID& plugInId) const;

    void addPlugInMenu(const CVezadPlugInMenu& menu) { m_menus.push_back(menu); }
    bool removePlugInMenu(HMENU menu, const CVezadPlugIn* plugIn);

    // The user's request to stop long work (see CVezadWorkerThread).
    bool keepRunning() const { return m_keepRunning.load(); }
    void setKeepRunning(bool keepRunning) { m_keepRunning.store(keepRunning); }

    // Views of the running host, in the order they were made (index 0
    // first); the first is active until another one is made active.
    const std::vector<std::unique_ptr<CVezadView>>& views() const { return m_views; }
    CVezadView* addView(int width, int height, bool shaded, bool ownContext);
    void setActiveView(CVezadView* view) { m_activeView = view; }
    void destroyViews();

    // Clears the queue, logs, transcript, keys, tool-tip and failure lines: a
    // fresh session.
    void resetSession();

private:
    friend CVezadApp& VezadApp();
    CVezadApp();
    ~CVezadApp();

    void printUtf8(const std::string& text);

    std::unique_ptr<CVezadDoc> m_doc;
    std::unique_ptr<CVezadUiToolBarManager> m_toolBars;
    CVezadAppSettings m_settings;
    CVezadInputQueue m_queue;
    std::vector<std::string> m_transcript;
    std::string m_partialLine;
    std::vector<CVezadMessageBoxRecord> m_boxes;
    std::vector<std::string> m_unanswered;
    std::vector<LoadedPlugIn> m_plugIns;
    std::vector<CVezadPlugInMenu> m_menus;
    std::vector<FailureLine> m_failureLines;
    std::vector<std::unique_ptr<CVezadView>> m_views;
    CVezadView* m_activeView = nullptr;
    CVezadView* m_shareView = nullptr;
    ON_wString m_cursorToolTip;
    int m_unknownCommands = 0;
    int m_lastResult = 0;
    int m_commandDepth = 0;
    std::atomic<bool> m_keepRunning{true};
};

// The application, constructed on first use.
CVezadApp& VezadApp();
