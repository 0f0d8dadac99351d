// Host commands. A command is a CVezadCommand subclass with one global
// instance; constructing it registers it with the host (the registry is
// constructed on first use), destroying it unregisters it.
//
// The host runs a command when a command token names it: `_Name` runs it
// interactively, `-_Name` not (CVezadCommandContext::IsInteractive). Names
// compare without regard to case. Every run gets an undo record named after
// the command that captures its object changes; the result (success 0,
// cancel 1, failure 3) goes to the transcript. Not thread-safe.
#pragma once

#include "platform/on/OpenNurbsSubset.h"

#include <string>
#include <vector>

class CVezadCommandContext {
public:
    explicit CVezadCommandContext(bool interactive) : m_interactive(interactive) {}
    bool IsInteractive() const { return m_interactive; }

private:
    bool m_interactive;
};

class CVezadCommand {
public:
    enum result {
        success = 0,
        cancel = 1,
        failure = 3,
    };

    CVezadCommand();
    CVezadCommand(const CVezadCommand&) = delete;
    CVezadCommand& operator=(const CVezadCommand&) = delete;
    virtual ~CVezadCommand();

    virtual ON_UUID CommandUUID() = 0;
    virtual const wchar_t* EnglishCommandName() = 0;
    virtual result RunCommand(const CVezadCommandContext& context) = 0;

    // Host side: whether a run gets its automatic undo record (the host's
    // own document-level commands answer false).
    virtual bool recordsUndo() const { return true; }
};

namespace VezadHost {

// The registered command of that English name; null when none.
CVezadCommand* findCommand(const std::wstring& englishName);
// The registered commands in the order they were constructed.
const std::vector<CVezadCommand*>& registeredCommands();

} // namespace VezadHost
