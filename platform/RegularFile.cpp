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

namespace {

// The lone surrogates that stand for the bytes 0x80 to 0xFF of a name.
constexpr unsigned long kEscapedByte = 0xDC00;

} // namespace

std::wstring wideFileName(const std::string& name)
{
    std::wstring wide;
    const auto* s = reinterpret_cast<const unsigned char*>(name.data());
    const std::size_t n = name.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char b = s[i];
        const std::size_t length = b < 0x80             ? 1
                                   : (b & 0xE0) == 0xC0 ? 2
                                   : (b & 0xF0) == 0xE0 ? 3
                                   : (b & 0xF8) == 0xF0 ? 4
                                                        : 0;
        unsigned long cp = length == 1 ? b : b & (0x7Fu >> length);
        bool good = length > 0 && i + length <= n;
        for (std::size_t k = 1; good && k < length; ++k) {
            good = (s[i + k] & 0xC0) == 0x80;
            cp = cp << 6 | (s[i + k] & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are no UTF-8.
        static const unsigned long least[5] = {0, 0, 0x80, 0x800, 0x10000};
        good = good && cp >= least[length] && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
        wide.push_back(static_cast<wchar_t>(good ? cp : kEscapedByte + b));
        i += good ? length : 1;
    }
    return wide;
}

std::string narrowFileName(const std::wstring& name)
{
    std::string narrow;
    for (const wchar_t c : name) {
        unsigned long cp = static_cast<std::uint32_t>(c);
        if (cp >= kEscapedByte + 0x80 && cp <= kEscapedByte + 0xFF) {
            narrow.push_back(static_cast<char>(cp - kEscapedByte));
            continue;
        }
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            cp = 0xFFFD;
        if (cp < 0x80) {
            narrow.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            narrow.push_back(static_cast<char>(0xC0 | cp >> 6));
            narrow.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            narrow.push_back(static_cast<char>(0xE0 | cp >> 12));
            narrow.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
            narrow.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            narrow.push_back(static_cast<char>(0xF0 | cp >> 18));
            narrow.push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
            narrow.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
            narrow.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return narrow;
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
