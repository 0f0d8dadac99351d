#include "platform/Diagnostics.h"

#include "platform/RegularFile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <set>
#include <system_error>
#include <vector>

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

// Opens `path` (relative to the folder open as `at`) as a folder of the
// user's own, without following a link at its name; the folder is made (mode
// 0700) when missing and `make` is set. A folder of the user's own that
// others may enter is closed to them. -1 when anything else stands at the
// name.
int openOwnFolder(const std::string& path, bool make, int at = AT_FDCWD)
{
    if (make && ::mkdirat(at, path.c_str(), 0700) != 0 && errno != EEXIST)
        return -1;
    const int fd = ::openat(at, path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
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
// "meshwright-<uid>", or the first free numbered folder inside it; where
// something not the user's holds that name, the user's fallback folder
// "meshwright-<uid>-XXXXXX" (or a free numbered folder inside it), made once
// and found again by later runs, so runs never pile up folders. The folder
// chosen is held open for the run: debug files are opened relative to it, so
// a link put in its place later cannot lead them elsewhere.
struct DefaultFolder {
    std::mutex mutex;
    std::string base; // the temporary folder it was chosen in
    std::string folder;
    int folderFd = -1;
    int lock = -1;

    static constexpr int kSlots = 64;

    // Takes the first numbered slot of the user's folder `top` (open as
    // topFd) that no other run holds; false when all are held.
    bool takeSlot(const std::string& top, int topFd)
    {
        for (int slot = 1; slot <= kSlots; ++slot) {
            const std::string path = slot == 1 ? top : top + "/" + std::to_string(slot);
            const int fd = slot == 1 ? ::fcntl(topFd, F_DUPFD_CLOEXEC, 0)
                                     : openOwnFolder(std::to_string(slot), true, topFd);
            if (fd < 0)
                continue;
            if (lockFolder(fd, lock)) {
                folder = path;
                folderFd = fd;
                return true;
            }
            ::close(fd);
        }
        return false;
    }

    // The user's fallback folders in temp, by name: only real folders of
    // the user's own are ever opened among them.
    static std::vector<std::string> fallbackNames(const std::string& temp,
                                                  const std::string& prefix)
    {
        std::vector<std::string> names;
        std::error_code ec;
        for (std::filesystem::directory_iterator it(temp, ec), end; !ec && it != end;
             it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0)
                names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    bool takeIn(const std::string& top, bool make)
    {
        const int fd = openOwnFolder(top, make);
        if (fd < 0)
            return false;
        const bool taken = takeSlot(top, fd);
        ::close(fd);
        return taken;
    }

    std::string choose(const std::string& temp, int* fdOut)
    {
        std::lock_guard<std::mutex> guard(mutex);
        if (folder.empty() || base != temp) {
            for (int* fd : {&lock, &folderFd})
                if (*fd >= 0)
                    ::close(*fd);
            lock = folderFd = -1;
            base = temp;
            folder.clear();
            const std::string own = temp + "/meshwright-" + std::to_string(::geteuid());
            if (!takeIn(own, true)) {
                const std::string prefix = "meshwright-" + std::to_string(::geteuid()) + "-";
                for (const std::string& name : fallbackNames(temp, prefix))
                    if (takeIn(temp + "/" + name, false))
                        break;
            }
            if (folder.empty()) {
                // Made by this run, mode 0700, under a name no one can guess.
                std::string pattern = own + "-XXXXXX";
                if (::mkdtemp(pattern.data()) != nullptr)
                    takeIn(pattern, false);
            }
        }
        if (fdOut != nullptr)
            *fdOut = folderFd >= 0 ? ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0) : -1;
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

// The diagnostics folder; with `fd`, also an open descriptor of it that the
// caller closes (-1 when it cannot be opened).
std::string chooseFolder(int* fd)
{
    if (fd != nullptr)
        *fd = -1;
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
        return defaultFolder().choose(temp, fd);
    }
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    std::error_code ec;
    if (!std::filesystem::exists(folder, ec)) {
        std::filesystem::create_directories(folder, ec);
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ec);
    }
    if (fd != nullptr)
        *fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return folder;
}

// Opens the name `relative` inside the folder open as `folder`, one part at
// a time, never through a link: the folders on the way must be there.
int openWithin(int folder, const std::string& relative, int flags)
{
    int at = folder;
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = relative.find('/', start);
        const std::string part = relative.substr(start, slash - start);
        if (slash == std::string::npos) {
            const int fd = ::openat(at, part.c_str(), flags | O_NOFOLLOW, 0600);
            if (at != folder)
                ::close(at);
            return fd;
        }
        start = slash + 1;
        if (part.empty())
            continue;
        const int next =
            ::openat(at, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (at != folder)
            ::close(at);
        if (next < 0)
            return -1;
        at = next;
    }
}

} // namespace

std::string diagnosticsFolder()
{
    return chooseFolder(nullptr);
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
    const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    int fd = -1;
    if (debugName[0] == '/') {
        fd = ::open(path.c_str(), flags, 0600); // an absolute name of the caller's choice
    } else {
        // Relative to the folder held open, not by its path, which another
        // hand may have turned into a link since the folder was chosen.
        int folder = -1;
        const std::string chosen = chooseFolder(&folder);
        if (folder < 0)
            return -1;
        if (path.size() > chosen.size() + 1 && path.compare(0, chosen.size(), chosen) == 0 &&
            path[chosen.size()] == '/')
            fd = openWithin(folder, path.substr(chosen.size() + 1), flags);
        ::close(folder);
    }
    if (fd < 0)
        return -1;
    struct stat st;
    const int status = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
        st.st_nlink != 1 || status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
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
