#include "foundation/Logging.h"

#include "platform/Clock.h"
#include "platform/Diagnostics.h"

#include <cstdlib>
#include <string>

namespace {

struct DiagnosticSwitches {
    bool timer = false;
    bool profiler = false;
    bool logging = false;

    void readEnvironment()
    {
        timer = std::getenv("FENWO_TIMER") != nullptr;
        profiler = std::getenv("FENWO_PROFILER") != nullptr;
        logging = std::getenv("FENWO_LOGGING") != nullptr;
    }
};

DiagnosticSwitches& switches()
{
    static DiagnosticSwitches values = [] {
        DiagnosticSwitches s;
        s.readEnvironment();
        return s;
    }();
    return values;
}

struct GlobalLogs {
    std::ofstream first;
    std::ofstream second;
    bool opened = false;
};

// Never destroyed: objects with static storage may write to the logs from
// their destructors in any order at exit.
GlobalLogs& globalLogs()
{
    static GlobalLogs* logs = new GlobalLogs;
    return *logs;
}

bool openUnitBuffered(std::ofstream& s, const char* name, std::ios_base::openmode mode)
{
    if (s.is_open())
        s.close();
    s.clear();
    if (!name || !*name)
        return false;
    s.open(Platform::diagnosticsPath(name), mode | std::ios::out);
    if (!s.is_open()) {
        // Leave the stream closed but in its failed state, so writes are dropped.
        return false;
    }
    s << std::unitbuf;
    return !s.fail();
}

void truncateFile(const char* name)
{
    std::ofstream file(Platform::diagnosticsPath(name), std::ios::out | std::ios::trunc);
}

} // namespace

bool isLoggingEnabled()
{
    return switches().logging;
}

bool isTimerEnabled()
{
    return switches().timer;
}

bool isProfilerEnabled()
{
    return switches().profiler;
}

void reloadDiagnosticSwitches()
{
    switches().readEnvironment();
}

bool openLogStream(std::ofstream& s, const char* name, std::ios_base::openmode mode)
{
    if (!isLoggingEnabled()) {
        if (s.is_open())
            s.close();
        return false;
    }
    if (s.is_open())
        s.close();
    s.clear();
    if (!name || !*name)
        return false;
    s.open(Platform::diagnosticsPath(name), mode | std::ios::out);
    return s.is_open() && !s.fail();
}

bool openLogStream(std::ofstream& s, const char* name, int mode)
{
    std::ios_base::openmode open = std::ios::out;
    if (mode & 0x01)
        open |= std::ios::in;
    if (mode & 0x04)
        open |= std::ios::ate;
    if (mode & 0x08)
        open |= std::ios::app;
    if (mode & 0x10)
        open |= std::ios::trunc;
    if (mode & 0x20)
        open |= std::ios::binary;
    return openLogStream(s, name, open);
}

void openGlobalLogs(const char* first, const char* second)
{
    GlobalLogs& logs = globalLogs();
    if (logs.opened)
        return;
    logs.opened = true;
    if (openUnitBuffered(logs.first, first, std::ios::out | std::ios::trunc))
        logs.first << "Opened at:" << Platform::localTimeText() << '\n';
    openUnitBuffered(logs.second, second, std::ios::out | std::ios::trunc);
    if (isLoggingEnabled()) {
        truncateFile("c:/tmp/iolog.out");
        truncateFile("c:/tmp/profiles.out");
    }
}

void closeGlobalLogs()
{
    GlobalLogs& logs = globalLogs();
    logs.first.close();
    logs.first.clear();
    logs.second.close();
    logs.second.clear();
    logs.opened = false;
}

std::ofstream& profileLog()
{
    return globalLogs().first;
}

std::ofstream& ioLog()
{
    return globalLogs().second;
}
