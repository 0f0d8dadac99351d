#include "platform/Diagnostics.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <set>
#include <system_error>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {
namespace {

std::string& folderOverride()
{
    static std::string value;
    return value;
}

bool hasTmpPrefix(const std::string& name, size_t& rest)
{
    // "c:/tmp/" or "c:\tmp\" with either separator, drive letter in any case.
    if (name.size() < 7)
        return false;
    if (std::tolower(static_cast<unsigned char>(name[0])) != 'c' || name[1] != ':')
        return false;
    auto sep = [](char c) { return c == '/' || c == '\\'; };
    if (!sep(name[2]) || !sep(name[6]))
        return false;
    for (int i = 0; i < 3; ++i)
        if (std::tolower(static_cast<unsigned char>(name[3 + i])) != "tmp"[i])
            return false;
    rest = 7;
    return true;
}

// Opens `path` as a folder of the user's own, without following a link at
// its name; the folder is made (mode 0700) when missing. A folder of the
// user's own that others may enter is closed to them. -1 when anything else
// stands at the name.
int openOwnFolder(const std::string& path)
{
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return -1;
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
        ((st.st_mode & 077) != 0 && ::fchmod(fd, 0700) != 0)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Takes the run's lock of a folder: true, with the lock kept open for the
// run's life in `lock`, when no other run holds it.
bool lockFolder(int folder, int& lock)
{
    lock = ::openat(folder, ".lock", O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (lock < 0)
        return false;
    struct stat st;
    if (::fstat(lock, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
        ::flock(lock, LOCK_EX | LOCK_NB) != 0) {
        ::close(lock);
        lock = -1;
        return false;
    }
    return true;
}

// The default folder, chosen once for a temporary folder: the user's own
// "meshwright-<uid>", or the first free numbered folder inside it, or a
// fresh private folder when the name is held by something not the user's.
struct DefaultFolder {
    std::mutex mutex;
    std::string base; // the temporary folder it was chosen in
    std::string folder;
    int lock = -1;

    static constexpr int kSlots = 64;

    std::string choose(const std::string& temp)
    {
        std::lock_guard<std::mutex> guard(mutex);
        if (!folder.empty() && base == temp)
            return folder;
        if (lock >= 0)
            ::close(lock);
        lock = -1;
        base = temp;
        folder.clear();
        const std::string own = temp + "/meshwright-" + std::to_string(::geteuid());
        const int ownFd = openOwnFolder(own);
        if (ownFd >= 0) {
            for (int slot = 1; slot <= kSlots && folder.empty(); ++slot) {
                const std::string path = slot == 1 ? own : own + "/" + std::to_string(slot);
                const int fd = slot == 1 ? ownFd : openOwnFolder(path);
                if (fd < 0)
                    continue;
                if (lockFolder(fd, lock))
                    folder = path;
                if (fd != ownFd)
                    ::close(fd);
            }
            ::close(ownFd);
        }
        if (folder.empty()) {
            // Made by this run alone, mode 0700, under a name no one can guess.
            std::string pattern = own + "-XXXXXX";
            if (::mkdtemp(pattern.data()) != nullptr)
                folder = pattern;
        }
        return folder;
    }
};

DefaultFolder& defaultFolder()
{
    static DefaultFolder* value = new DefaultFolder; // outlives late writers at exit
    return *value;
}

// The files opened so far in this run, by path: their first opening empties
// them.
struct OpenedFiles {
    std::mutex mutex;
    std::set<std::string> paths;

    bool firstOpening(const std::string& path)
    {
        std::lock_guard<std::mutex> guard(mutex);
        return paths.insert(path).second;
    }
};

OpenedFiles& openedFiles()
{
    static OpenedFiles* value = new OpenedFiles;
    return *value;
}

// A path that opens the file of a descriptor itself, whatever names it has.
std::string descriptorPath(int fd)
{
    return "/proc/self/fd/" + std::to_string(fd);
}

} // namespace

std::string diagnosticsFolder()
{
    std::string folder = folderOverride();
    if (folder.empty()) {
        const char* env = std::getenv("FENWO_DIAGNOSTICS_DIR");
        if (env && *env)
            folder = env;
    }
    if (folder.empty()) {
        std::error_code ec;
        std::string temp = std::filesystem::temp_directory_path(ec).string();
        if (ec || temp.empty())
            temp = "/tmp";
        while (temp.size() > 1 && temp.back() == '/')
            temp.pop_back();
        return defaultFolder().choose(temp);
    }
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    std::error_code ec;
    if (!std::filesystem::exists(folder, ec)) {
        std::filesystem::create_directories(folder, ec);
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ec);
    }
    return folder;
}

std::string diagnosticsPath(const std::string& debugName)
{
    size_t rest = 0;
    std::string name;
    if (hasTmpPrefix(debugName, rest))
        name = debugName.substr(rest);
    else if (!debugName.empty() && debugName[0] == '/')
        return debugName;
    else
        name = debugName;
    for (char& c : name)
        if (c == '\\')
            c = '/';
    const std::string folder = diagnosticsFolder();
    return folder.empty() ? std::string() : folder + "/" + name;
}

void setDiagnosticsFolderOverride(const std::string& folder)
{
    folderOverride() = folder;
}

int openDiagnosticsFile(const std::string& debugName, bool append, std::uintmax_t* size)
{
    if (size != nullptr)
        *size = 0;
    if (debugName.empty())
        return -1;
    const std::string path = diagnosticsPath(debugName);
    if (path.empty())
        return -1;
    // Not blocking: a pipe planted at the name fails here instead of waiting
    // for a reader. Not truncated yet: only a file found to be the user's own
    // is emptied.
    const int fd = ::open(
        path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    struct stat st;
    const int flags = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
        st.st_nlink != 1 || flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return -1;
    }
    const bool keep = !openedFiles().firstOpening(path) && append;
    if (!keep && ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return -1;
    }
    if (size != nullptr)
        *size = keep ? static_cast<std::uintmax_t>(st.st_size) : 0;
    return fd;
}

bool openDiagnosticsStream(std::ofstream& s, const std::string& debugName,
                           std::ios_base::openmode mode, std::uintmax_t* size)
{
    if (s.is_open())
        s.close();
    s.clear();
    const int fd = openDiagnosticsFile(debugName, (mode & std::ios::app) != 0, size);
    if (fd < 0) {
        s.setstate(std::ios::failbit); // writes are dropped
        return false;
    }
    // The stream opens the very file checked above, through its descriptor,
    // never the name again (which another hand may have changed since).
    s.open(descriptorPath(fd), mode | std::ios::out);
    ::close(fd);
    return s.is_open() && !s.fail();
}

std::FILE* openDiagnosticsStdio(const std::string& debugName, bool append)
{
    const int fd = openDiagnosticsFile(debugName, append);
    if (fd < 0)
        return nullptr;
    std::FILE* file = ::fdopen(fd, append ? "a" : "w");
    if (file == nullptr)
        ::close(fd);
    return file;
}

bool writeDiagnosticsFile(const std::string& debugName,
                          const std::function<bool(const std::string& path)>& writer)
{
    const int fd = openDiagnosticsFile(debugName, false);
    if (fd < 0)
        return false;
    const bool written = writer && writer(descriptorPath(fd));
    ::close(fd);
    return written;
}

} // namespace Platform
