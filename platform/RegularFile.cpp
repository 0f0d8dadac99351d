#include "platform/RegularFile.h"

#include <algorithm>
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

namespace {

constexpr std::size_t kLinePiece = std::size_t(1) << 16;
constexpr std::size_t kShortLine = 32;

} // namespace

BoundedLines::BoundedLines(std::istream& in, std::size_t keep, std::size_t most)
    : source(in.rdbuf()), keep(keep), most(most), piece(kLinePiece)
{
}

LineRead BoundedLines::nextInPieces(std::string& line)
{
    line.clear();
    std::size_t length = 0;
    bool any = false;
    for (;;) {
        if (at == end) {
            const std::streamsize n =
                source == nullptr ? 0 : source->sgetn(piece.data(), std::streamsize(piece.size()));
            at = 0;
            end = n > 0 ? std::size_t(n) : 0;
            if (end == 0) {
                unterminated = any;
                return any ? LineRead::line : LineRead::end;
            }
        }
        any = true;
        // Short lines are looked through here, longer ones searched at once.
        const char* const from = piece.data() + at;
        const char* const last = piece.data() + end;
        const char* feed = from;
        for (const char* near = from + std::min<std::size_t>(kShortLine, end - at);
             feed < near && *feed != '\n';)
            ++feed;
        if (feed < last && *feed != '\n') {
            const void* found = std::memchr(feed, '\n', std::size_t(last - feed));
            feed = found != nullptr ? static_cast<const char*>(found) : last;
        }
        const std::size_t n = std::size_t(feed - from);
        length += n;
        if (length > most) {
            source = nullptr; // the text ends here for its reader
            at = end = 0;
            return LineRead::tooLong;
        }
        if (line.size() < keep)
            line.append(from, std::min(n, keep - line.size()));
        at += n;
        if (feed < last) {
            ++at;
            unterminated = false;
            return LineRead::line;
        }
    }
}

long firstLineLongerThan(const std::string& path, std::size_t most)
{
    const int fd = openRegularFile(path);
    if (fd < 0)
        return 0;
    // No line inside a piece is longer than the piece: only the line a
    // piece goes on with can run past `most`, and the lines after it are
    // counted at once.
    std::vector<char> piece(std::max<std::size_t>(1, std::min(kLinePiece, most)));
    long number = 1;        // of the open line
    std::size_t length = 0; // of the open line so far
    long found = 0;
    for (;;) {
        const ssize_t n = ::read(fd, piece.data(), piece.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        const char* at = piece.data();
        const char* end = at + n;
        const void* feed = std::memchr(at, '\n', std::size_t(n));
        const char* first = feed != nullptr ? static_cast<const char*>(feed) : end;
        if (length + std::size_t(first - at) > most) {
            found = number;
            break;
        }
        if (feed == nullptr) {
            length += std::size_t(n);
            continue;
        }
        const char* last = end - 1;
        while (*last != '\n')
            --last;
        number += long(std::count(first, last + 1, '\n'));
        length = std::size_t(end - last - 1);
    }
    ::close(fd);
    return found;
}

std::string descriptorPath(int fd)
{
    return "/proc/self/fd/" + std::to_string(fd);
}

} // namespace Platform
