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
    // A stream that cannot be opened is left closed in its failed state, so
    // writes are dropped.
    if (!Platform::openDiagnosticsStream(s, name ? name : "", mode))
        return false;
    s << std::unitbuf;
    return !s.fail();
}

void truncateFile(const char* name)
{
    std::ofstream file;
    Platform::openDiagnosticsStream(file, name, std::ios::out | std::ios::trunc);
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
    return Platform::openDiagnosticsStream(s, name ? name : "", mode);
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

// ---- Bounded debug files ----------------------------------------------------------------

namespace {

// Room beyond the limit for the count lines of an appended file's runs.
constexpr std::uintmax_t kNoteRoom = 4096;

} // namespace

CBoundedDump::CBoundedDump(const char* name, bool append, std::uintmax_t limit) : limit(limit)
{
    if (name == nullptr || *name == '\0')
        return;
    Platform::openDiagnosticsStream(
        file, name, append ? std::ios::out | std::ios::app : std::ios::out | std::ios::trunc,
        &size);
}

CBoundedDump::~CBoundedDump()
{
    close();
}

void CBoundedDump::commitPending()
{
    const std::string text = pending.str();
    if (text.empty())
        return;
    file << text;
    size += text.size();
    pending.str(std::string());
}

std::ostream* CBoundedDump::entry()
{
    commitPending();
    if (!file.is_open() || size >= limit) {
        ++skipped;
        return nullptr;
    }
    return &pending;
}

void CBoundedDump::close()
{
    if (!file.is_open())
        return;
    commitPending();
    if (skipped > 0 && size < limit + kNoteRoom)
        file << skipped << " further entries not written\n";
    file.close();
}
