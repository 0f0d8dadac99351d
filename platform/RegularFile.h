// Opening a file the user named for reading, only when it is a regular file,
// and reading the lines of a text with a bound on their length.
//
// Every road that reads a file the user chose (documents, meshes, nets,
// imports, scripts, toolbars) opens it here first; scripts may come from a
// pipe as well. A folder, a FIFO, a
// device or a socket is refused before a byte is read, with the cause in
// words, so that no road aborts on a folder, waits forever on a FIFO or
// reads an endless device. The check is made on the opened descriptor and
// the reading goes through that descriptor, so a name changed between the
// check and the read cannot slip another kind of file in.
//
// Thread-safety: every function is safe to call from any thread.
#pragma once

#include <fstream>
#include <ios>
#include <istream>
#include <string>
#include <vector>

namespace Platform {

// Opens `path` for reading when it names a regular file (a link at the name
// is followed to its target) and answers its descriptor, which the caller
// owns and closes; reads on it wait for their bytes as usual. -1 otherwise,
// with `problem` (when given) saying why in words that follow "file": "not
// found", "is a folder", "is not a regular file (a FIFO)", "... (a
// device)", "... (a socket)" or "cannot be read (<the system's reason>)".
// The open itself never waits: a FIFO without a writer is refused at once.
int openRegularFile(const std::string& path, std::string* problem = nullptr);

// True when `path` names a regular file that can be opened for reading;
// false with `problem` as openRegularFile says it.
bool isRegularFile(const std::string& path, std::string* problem = nullptr);

// openRegularFile on a stream: s is closed first, then opened (with `mode`
// and std::ios::in) on the very file checked, through the descriptor's name
// under /proc/self/fd. False, s left closed and failed, when the path is not
// a regular file that can be read.
bool openRegularStream(std::ifstream& s, const std::string& path,
                       std::ios_base::openmode mode = std::ios::in, std::string* problem = nullptr);

// Reads the whole regular file at `path` into bytes. False, bytes empty and
// `problem` saying why, when it is not one or a read fails.
bool readRegularFile(const std::string& path, std::vector<unsigned char>& bytes,
                     std::string* problem = nullptr);

// Reads the whole regular file or pipe at `path` into bytes: a FIFO or a
// pipe (a text piped in as /dev/stdin or <(...)) is read to its end, and the
// open waits for its writer as any reader of a FIFO does. A file larger than
// maxBytes is refused before a byte is read ("is larger than N bytes"), a
// pipe once it gives more. False, bytes empty and `problem` saying why, for
// those, for whatever else openRegularFile refuses (a folder, a device, a
// socket) and when a read fails.
bool readRegularFileOrPipe(const std::string& path, std::vector<unsigned char>& bytes,
                           std::size_t maxBytes, std::string* problem = nullptr);

// A file name (the bytes the system opens) as wide text and back, without
// loss: UTF-8 is decoded, and each byte that is no part of a UTF-8 sequence
// (a Latin-1 name) stands as the lone surrogate U+DC00 + byte, which no
// decoded text holds. Every road that hands a name on as wide text (a file
// dialog, an import) converts it so, so that any name the system can open
// opens on every road. narrowFileName(wideFileName(name)) == name.
std::wstring wideFileName(const std::string& name);
std::string narrowFileName(const std::wstring& name);

// How BoundedLines::next ended.
enum class LineRead { line, end, tooLong };

// The lines of a text read from a stream buffer, each with a bound on its
// length. The text is taken a piece at a time and searched for line ends a
// piece at a time, so a line costs a search, not a call per character.
// The stream is read ahead by up to a piece, and its state is left as it is.
class BoundedLines {
public:
    // The lines of `in`, each kept to its first `keep` characters, read no
    // further than `most` (keep <= most).
    BoundedLines(std::istream& in, std::size_t keep, std::size_t most);

    // Reads the next line into `line` (its line feed taken, not kept; a CR
    // before it kept), keeping its first `keep` characters and passing over
    // the rest. A line that runs past `most` characters is read no further:
    // tooLong, `line` holding its first `keep`, and no line after it. end
    // when no character was left. Time and memory are those of `most`
    // characters, however long the line: a text without line ends costs no
    // more than a line of it.
    LineRead next(std::string& line)
    {
        if (at < end && piece[at] == '\n') { // a blank line: no search
            line.clear();
            ++at;
            unterminated = false;
            return LineRead::line;
        }
        return nextInPieces(line);
    }
    // True when the last line read had no line feed: the text ended in it.
    bool lastUnterminated() const { return unterminated; }

private:
    LineRead nextInPieces(std::string& line);

    std::streambuf* source;
    std::size_t keep, most;
    std::vector<char> piece;
    std::size_t at = 0, end = 0; // piece[at, end) is still to be read
    bool unterminated = false;
};

// The number (from 1) of the first line of the regular file at `path` that
// runs past `most` characters; 0 when every line fits or the file cannot be
// read. The file is read once, in pieces, none of it held, and looked at a
// piece at a time (no line inside a piece can be that long): a reader that
// adds to its caller's data as it goes refuses such a file before it starts.
long firstLineLongerThan(const std::string& path, std::size_t most);

// A path that opens the file of a descriptor itself, whatever names it has
// (and whatever now stands at them).
std::string descriptorPath(int fd);

} // namespace Platform
