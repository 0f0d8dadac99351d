#include "platform/RegularFile.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {
namespace {

void say(std::string* problem, std::string text)
{
    if (problem != nullptr)
        *problem = std::move(text);
}

// The words for what stands at a name that is not a regular file.
std::string kindProblem(mode_t mode)
{
    if (S_ISDIR(mode))
        return "is a folder";
    if (S_ISFIFO(mode))
        return "is not a regular file (a FIFO)";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "is not a regular file (a device)";
    if (S_ISSOCK(mode))
        return "is not a regular file (a socket)";
    return "is not a regular file";
}

} // namespace

int openRegularFile(const std::string& path, std::string* problem)
{
    if (path.empty()) {
        say(problem, "not found");
        return -1;
    }
    // Not blocking: a FIFO opens at once instead of waiting for a writer,
    // and is refused below like any other file that is not regular. No
    // terminal becomes the process's own.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        struct stat st;
        if (error == ENOENT || error == ENOTDIR)
            say(problem, "not found");
        else if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
            say(problem, kindProblem(st.st_mode)); // a socket, or a folder without access
        else
            say(problem, "cannot be read (" + std::system_category().message(error) + ")");
        return -1;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        say(problem, "cannot be read (" + std::system_category().message(errno) + ")");
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        say(problem, kindProblem(st.st_mode));
        ::close(fd);
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        say(problem, "cannot be read (" + std::system_category().message(errno) + ")");
        ::close(fd);
        return -1;
    }
    return fd;
}

bool isRegularFile(const std::string& path, std::string* problem)
{
    const int fd = openRegularFile(path, problem);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

bool openRegularStream(std::ifstream& s, const std::string& path, std::ios_base::openmode mode,
                       std::string* problem)
{
    if (s.is_open())
        s.close();
    s.clear();
    const int fd = openRegularFile(path, problem);
    if (fd < 0) {
        s.setstate(std::ios::failbit);
        return false;
    }
    // The stream opens the very file checked, through its descriptor, never
    // the name again.
    s.open(descriptorPath(fd), mode | std::ios::in);
    ::close(fd);
    if (!s.is_open()) {
        say(problem, "cannot be read");
        s.setstate(std::ios::failbit);
        return false;
    }
    return true;
}

namespace {

// Reads fd to its end into bytes, at most maxBytes of it; closes fd.
bool readToEnd(int fd, std::vector<unsigned char>& bytes, std::size_t maxBytes,
               std::string* problem)
{
    // Read to the end, not to the size seen: a file that grows or shrinks
    // meanwhile gives what it held at the end.
    unsigned char piece[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, piece, sizeof piece);
        if (n > 0 && bytes.size() + static_cast<std::size_t>(n) > maxBytes) {
            say(problem, "is larger than " + std::to_string(maxBytes) + " bytes");
            break;
        }
        if (n > 0) {
            bytes.insert(bytes.end(), piece, piece + n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            say(problem, "cannot be read (" + std::system_category().message(errno) + ")");
        else {
            ::close(fd);
            return true;
        }
        break;
    }
    bytes.clear();
    ::close(fd);
    return false;
}

// The regular file at path read whole into bytes, when it holds at most
// maxBytes.
bool readRegularUpTo(const std::string& path, std::vector<unsigned char>& bytes,
                     std::size_t maxBytes, std::string* problem)
{
    const int fd = openRegularFile(path, problem);
    if (fd < 0)
        return false;
    struct stat st;
    if (::fstat(fd, &st) == 0 && st.st_size > 0) {
        if (static_cast<std::uint64_t>(st.st_size) > maxBytes) {
            say(problem, "is larger than " + std::to_string(maxBytes) + " bytes");
            ::close(fd);
            return false;
        }
        bytes.reserve(static_cast<std::size_t>(st.st_size));
    }
    return readToEnd(fd, bytes, maxBytes, problem);
}

} // namespace

bool readRegularFile(const std::string& path, std::vector<unsigned char>& bytes,
                     std::string* problem)
{
    bytes.clear();
    return readRegularUpTo(path, bytes, std::numeric_limits<std::size_t>::max(), problem);
}

bool readRegularFileOrPipe(const std::string& path, std::vector<unsigned char>& bytes,
                           std::size_t maxBytes, std::string* problem)
{
    bytes.clear();
    // A pipe is opened again through the descriptor of the one checked, now
    // to wait for its writer, as any reader of it does.
    const int probe =
        path.empty() ? -1 : ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat st;
    if (probe >= 0 && ::fstat(probe, &st) == 0 && S_ISFIFO(st.st_mode)) {
        const int fd = ::open(descriptorPath(probe).c_str(), O_RDONLY | O_CLOEXEC);
        const int error = errno;
        ::close(probe);
        if (fd < 0) {
            say(problem, "cannot be read (" + std::system_category().message(error) + ")");
            return false;
        }
        return readToEnd(fd, bytes, maxBytes, problem);
    }
    if (probe >= 0)
        ::close(probe);
    return readRegularUpTo(path, bytes, maxBytes, problem);
}

LineRead readLineWithin(std::istream& in, std::string& line, std::size_t keep, std::size_t most)
{
    line.clear();
    std::streambuf* source = in.rdbuf();
    std::size_t length = 0;
    for (;;) {
        const int c = source == nullptr ? EOF : source->sbumpc();
        if (c == EOF) {
            in.setstate(length > 0 ? std::ios::eofbit : std::ios::eofbit | std::ios::failbit);
            return length > 0 ? LineRead::line : LineRead::end;
        }
        if (c == '\n')
            return LineRead::line;
        if (++length > most)
            return LineRead::tooLong;
        if (line.size() < keep)
            line.push_back(char(c));
    }
}

long firstLineLongerThan(const std::string& path, std::size_t most)
{
    const int fd = openRegularFile(path);
    if (fd < 0)
        return 0;
    std::vector<char> piece(std::size_t(1) << 16);
    long number = 1;
    std::size_t length = 0; // of the line so far
    for (;;) {
        const ssize_t n = ::read(fd, piece.data(), piece.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        const char* at = piece.data();
        const char* end = at + n;
        while (at < end) {
            const void* feed = std::memchr(at, '\n', std::size_t(end - at));
            const char* stop = feed != nullptr ? static_cast<const char*>(feed) : end;
            length += std::size_t(stop - at);
            if (length > most) {
                ::close(fd);
                return number;
            }
            if (feed == nullptr)
                break;
            ++number;
            length = 0;
            at = stop + 1;
        }
    }
    ::close(fd);
    return 0;
}

std::string descriptorPath(int fd)
{
    return "/proc/self/fd/" + std::to_string(fd);
}

} // namespace Platform
