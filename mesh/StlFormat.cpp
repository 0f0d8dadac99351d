#include "mesh/StlFormat.h"

#include "foundation/PointSequence.h"
#include "mesh/BaseMesh.h"
#include "mesh/CharScanner.h"
#include "mesh/FlatMesh.h"
#include "mesh/NumberText.h"
#include "mesh/ReaderReport.h"
#include "platform/RegularFile.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <typeinfo>
#include <vector>

namespace {

constexpr std::int64_t kHeaderBytes = 80;
constexpr std::int64_t kPreambleBytes = 84; // header and facet count
constexpr std::int64_t kRecordBytes = 50;
// How far the length of a stored unit normal may be from 1: writers
// normalise in float or double, and some round the normal to a few digits.
constexpr double kNormalLengthSlack = 0.01;

std::uint32_t decodeUint32(const unsigned char* b, bool bigEndian)
{
    if (bigEndian)
        return (std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) |
               (std::uint32_t(b[2]) << 8) | std::uint32_t(b[3]);
    return std::uint32_t(b[0]) | (std::uint32_t(b[1]) << 8) | (std::uint32_t(b[2]) << 16) |
           (std::uint32_t(b[3]) << 24);
}

std::uint32_t reverseBytes(std::uint32_t v)
{
    return ((v & 0xffu) << 24) | ((v & 0xff00u) << 8) | ((v >> 8) & 0xff00u) | (v >> 24);
}

float decodeFloat(const unsigned char* b, bool bigEndian)
{
    const std::uint32_t bits = decodeUint32(b, bigEndian);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// The size test of a binary file, in 64-bit arithmetic so that no count can
// wrap around to a matching size.
bool sizeMatches(std::int64_t size, std::uint32_t count)
{
    return kPreambleBytes + kRecordBytes * std::int64_t(count) == size;
}

// Merge, topology, bounding box and modified flag: what every reader does
// after the last facet.
void finishMesh(Mesh::CBaseMesh& mesh, bool merge, double tolerance)
{
    if (merge)
        mesh.mergeVertices(tolerance, 0);
    mesh.buildTopology();
    mesh.computeBoundingBox();
    mesh.modified = true;
}

// The text of a file read in large pieces, one character at a time. The
// end of the text is the end of the file or the first read that fails.
class TextCursor {
public:
    // The text is the first `length` bytes of the stream (to its end when
    // negative).
    TextCursor(std::istream& in, std::int64_t length) : in(in), buffer(kPiece), left(length) {}

    // The next character, or -1 at the end.
    int peek()
    {
        if (at == filled && !refill())
            return -1;
        return static_cast<unsigned char>(buffer[at]);
    }
    void advance() { ++at; }
    // The line the next character stands on, counted from 1.
    long line() const { return lineNumber; }
    // Skips white space as a stream's std::ws does (space, tab, line feed,
    // vertical tab, form feed, carriage return).
    void skipSpace()
    {
        for (int c = peek(); c == ' ' || (c >= '\t' && c <= '\r'); c = peek()) {
            lineNumber += c == '\n';
            advance();
        }
    }
    // Skips blanks and tabs: the white space that stays on the line.
    void skipBlanks()
    {
        for (int c = peek(); c == ' ' || c == '\t'; c = peek())
            advance();
    }
    // Skips up to 1024 characters, through the first line feed among them,
    // as istream::ignore(1024, '\n') does.
    void skipLine()
    {
        for (int n = 0; n < 1024; ++n) {
            const int c = peek();
            if (c < 0)
                return;
            advance();
            if (c == '\n') {
                ++lineNumber;
                return;
            }
        }
    }
    // The word that starts here (up to white space or the end). A word that
    // lies within the piece read so far comes back as it stands in the text;
    // any other is gathered into scratch, in lower case and cut to its first
    // 1023 characters (a longer word is taken whole). Either way only the
    // case of letters can differ from the word in lower case.
    std::string_view takeWord(std::string& scratch)
    {
        if (at == filled && !refill())
            return {};
        std::size_t end = at;
        while (end < filled && !isWordEnd(buffer[end]))
            ++end;
        if (end < filled && end - at <= 1023) {
            const std::string_view word(buffer.data() + at, end - at);
            at = end;
            return word;
        }
        scratch.clear();
        for (;;) {
            for (std::size_t k = at; k < end && scratch.size() < 1023; ++k)
                scratch.push_back(lowerCase(buffer[k]));
            at = end;
            if (end < filled || !refill())
                return scratch;
            end = at;
            while (end < filled && !isWordEnd(buffer[end]))
                ++end;
        }
    }

private:
    static constexpr std::size_t kPiece = 1 << 20;
    std::istream& in;
    std::vector<char> buffer;
    std::size_t at = 0;
    std::size_t filled = 0;
    long lineNumber = 1;
    std::int64_t left; // bytes of the text not yet read; negative: to the end

    static char lowerCase(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }
    static bool isWordEnd(char c)
    {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
    }
    bool refill()
    {
        if (!in || left == 0)
            return false;
        const std::int64_t want =
            left < 0 ? std::int64_t(buffer.size()) : std::min<std::int64_t>(left, buffer.size());
        in.read(buffer.data(), std::streamsize(want));
        filled = std::size_t(in.gcount());
        if (left > 0)
            left -= std::int64_t(filled);
        at = 0;
        return filled > 0;
    }
};

// How a coordinate of "vertex" read.
enum class NumberRead { Finite, NotFinite, Malformed };

std::string lowerCaseText(std::string_view word)
{
    std::string lower(word);
    for (char& c : lower)
        c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    return lower;
}

// Reads word as a number. A word that is entirely a number, but NaN or
// beyond the range of a float ("nan", "inf", "1e39"), is NotFinite; any
// other word that is not entirely a number is Malformed. value is set only
// for Finite.
NumberRead parseNumber(std::string_view word, float& value)
{
    const std::string text(word);
    double v = 0.0;
    if (parseWholeFloatRange(text, v)) {
        value = float(v);
        return NumberRead::Finite;
    }
    if (isNonFiniteNumber(text))
        return NumberRead::NotFinite;
    return NumberRead::Malformed;
}

// The keywords of the grammar; Other for any other word.
enum class StlWord { Other, Keyword, Solid, EndSolid, Facet, Vertex, EndFacet };

// The keyword a word is, letters compared without regard to case.
StlWord classifyWord(std::string_view word)
{
    static const struct {
        const char* text;
        StlWord kind;
    } keywords[] = {{"solid", StlWord::Solid},       {"facet", StlWord::Facet},
                    {"outer", StlWord::Keyword},     {"loop", StlWord::Keyword},
                    {"vertex", StlWord::Vertex},     {"endloop", StlWord::Keyword},
                    {"endfacet", StlWord::EndFacet}, {"endsolid", StlWord::EndSolid}};
    if (word.size() < 4 || word.size() > 8)
        return StlWord::Other;
    for (const auto& k : keywords) {
        const std::size_t n = std::strlen(k.text);
        if (n != word.size())
            continue;
        std::size_t i = 0;
        while (i < n && ((word[i] >= 'A' && word[i] <= 'Z') ? char(word[i] - 'A' + 'a')
                                                             : word[i]) == k.text[i])
            ++i;
        if (i == n)
            return k.kind;
    }
    return StlWord::Other;
}

// The start of a file that tells an STL text from binary data.
constexpr std::int64_t kTextLook = 1 << 16;

// True when the bytes begin, after a byte-order mark and white space, with
// "solid" and hold
// "facet" or "vertex" after the 84 bytes of a binary preamble (in any
// case): an STL text. A binary file whose header begins with "solid" holds
// neither word among its floats.
bool isStlText(const std::vector<char>& start)
{
    std::string lower(start.begin(), start.end());
    for (char& c : lower)
        c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    const std::size_t first =
        lower.find_first_not_of(" \t\r\n", lower.compare(0, 3, "\xef\xbb\xbf") == 0 ? 3 : 0);
    if (first == std::string::npos || lower.compare(first, 5, "solid") != 0)
        return false;
    const std::size_t body = std::size_t(kPreambleBytes);
    return lower.find("facet", body) != std::string::npos ||
           lower.find("vertex", body) != std::string::npos;
}

// The length of the text of a file: the whole file, or the bytes before
// the run of NUL bytes it ends with (the padding of writers that fill a
// block). -1 when a NUL byte stands before a byte that is not one: binary
// data, which no text holds (a binary STL whose size does not match its
// count, a picture, a text a damaged byte gave a NUL).
std::int64_t textLength(std::istream& in)
{
    char buffer[65536];
    std::int64_t at = 0, run = -1; // where the run of NULs seen last begins
    while (in) {
        in.read(buffer, sizeof buffer);
        const std::size_t n = std::size_t(in.gcount());
        const char* nul = static_cast<const char*>(std::memchr(buffer, 0, n));
        if (run >= 0 && n > 0 && buffer[0] != 0)
            return -1;
        if (nul != nullptr) {
            const std::size_t first = std::size_t(nul - buffer);
            for (std::size_t k = first; k < n; ++k)
                if (buffer[k] != 0)
                    return -1;
            if (run < 0)
                run = at + std::int64_t(first);
        }
        at += std::int64_t(n);
    }
    return run < 0 ? at : run;
}

// True when the bytes, from the first NUL among them on, are all NUL and
// the file holds nothing but NULs after them: a text padded with NULs (a
// file of NULs alone is none).
bool endsInNulPadding(const std::vector<char>& start, std::int64_t fileBytes, const char* path)
{
    // NULs from the first byte on pad no text.
    const char* nul = static_cast<const char*>(std::memchr(start.data(), 0, start.size()));
    if (nul == nullptr || nul == start.data())
        return false;
    for (const char* p = nul; p != start.data() + start.size(); ++p)
        if (*p != 0)
            return false;
    if (std::int64_t(start.size()) == fileBytes)
        return true;
    std::ifstream in;
    Platform::openRegularStream(in, path, std::ios::binary);
    in.seekg(std::streamoff(start.size()));
    return textLength(in) == 0;
}

// The facet of a binary record as a writer writes it: a stored normal of
// unit length or zero, and not every number zero (a corner that is not
// finite leaves the facet out, as in any file). A file whose size is not
// that of its count is read as binary facets only when every record is
// one; other binary data (a picture, an archive) gives none.
bool isStlFacet(const unsigned char* record, const float* normal)
{
    // A record of zero bytes is no facet: blank or padded space.
    const unsigned char* end = record + 48;
    if (std::find_if(record, end, [](unsigned char b) { return b != 0; }) == end)
        return false;
    const double length = std::sqrt(double(normal[0]) * normal[0] + double(normal[1]) * normal[1] +
                                    double(normal[2]) * normal[2]);
    return length == 0.0 || std::fabs(length - 1.0) <= kNormalLengthSlack;
}

} // namespace

bool readSTL(Mesh::CBaseMesh& mesh, const char* path, bool merge)
{
    mesh.modified = true;
    if (isBinarySTL(path))
        return readBinarySTL(mesh, path, merge);
    return readAsciiSTL(mesh, path, merge);
}

bool isBinarySTL(const char* path)
{
    const std::int64_t size = fileSize(path);
    if (size < kPreambleBytes)
        return false;
    std::ifstream in;
    Platform::openRegularStream(in, path, std::ios::binary);
    std::vector<char> start(std::size_t(std::min<std::int64_t>(size, kTextLook)));
    in.read(start.data(), std::streamsize(start.size()));
    if (in.gcount() < kPreambleBytes)
        return false;
    start.resize(std::size_t(in.gcount()));
    const auto* preamble = reinterpret_cast<const unsigned char*>(start.data());
    const std::uint32_t count = decodeUint32(preamble + kHeaderBytes, false);
    if (sizeMatches(size, count) || sizeMatches(size, reverseBytes(count)))
        return true;
    // A size that does not match: bytes after the last facet, a file cut
    // short, a count left 0, or no STL at all. Binary data has NUL bytes
    // (the high bytes of the count, the attributes) with other bytes after
    // them; a text has none but for NULs padding its end, and an STL text
    // that a damaged byte gave one still reads as text ("solid", then its
    // keywords).
    return std::memchr(start.data(), 0, start.size()) != nullptr && !isStlText(start) &&
           !endsInNulPadding(start, size, path);
}

bool readBinarySTL(Mesh::CBaseMesh& mesh, const char* path, bool merge)
{
    const std::int64_t size = fileSize(path);
    std::ifstream in;
    Platform::openRegularStream(in, path, std::ios::binary);
    if (!in.is_open()) {
        std::cout << "cannot open STL file " << path << std::endl;
        return false;
    }
    unsigned char preamble[kPreambleBytes];
    if (size < kPreambleBytes || !in.read(reinterpret_cast<char*>(preamble), kPreambleBytes)) {
        std::cout << "STL file too short for its header: " << path << std::endl;
        return false;
    }

    // The count is checked against the bytes that follow before any facet is
    // added. A little-endian count whose facets fit is the file's (bytes
    // after them are passed over); a count that fits only byte-reversed,
    // and then exactly, marks a big-endian file. A count of more facets
    // than the file holds (a file cut short) or of none where whole facets
    // follow (a writer that never went back to fill it in) disagrees with
    // the size: the whole facets the size holds are read. Where the size is
    // not exactly the count's, every facet read must be one as writers
    // write it, so that other binary data is refused. Each of these is said
    // in one line.
    const std::int64_t available = size - kPreambleBytes;
    const std::uint32_t declared = decodeUint32(preamble + kHeaderBytes, false);
    std::uint32_t count = declared;
    bool bigEndian = false;
    bool disagrees = false;
    // Facets of a file whose size is not exactly that of its count are read
    // only when they look like facets.
    const bool checked = !sizeMatches(size, declared) && !sizeMatches(size, reverseBytes(declared));
    if (kRecordBytes * std::int64_t(count) > available &&
        sizeMatches(size, reverseBytes(declared))) {
        count = reverseBytes(declared);
        bigEndian = true;
    } else if (kRecordBytes * std::int64_t(count) > available ||
               (count == 0 && available >= kRecordBytes)) {
        disagrees = true;
        const std::int64_t whole = available / kRecordBytes;
        if (whole == 0) {
            std::cout << "STL file too short: it ends inside the first of the " << declared
                      << " facets its header declares (" << size << " bytes)" << std::endl;
            return false;
        }
        if (whole * 3 > INT_MAX) {
            std::cout << "STL file too large: " << whole << " facets" << std::endl;
            return false;
        }
        count = std::uint32_t(whole);
    }
    // Three vertex indices per facet must stay within int.
    if (std::int64_t(count) * 3 > INT_MAX) {
        std::cout << "STL file too large: " << count << " facets" << std::endl;
        return false;
    }

    // The corners are gathered first: a read that fails part-way adds nothing.
    // The records are read a few thousand at a time. Records that may be
    // other data are gathered as they pass their check, so that a large
    // file of other data costs no store for the facets it does not hold.
    std::vector<float> corners;
    if (!checked)
        corners.reserve(std::size_t(9) * count);
    constexpr std::uint32_t kRecordsPerPiece = 20000;
    std::vector<unsigned char> piece(std::size_t(kRecordBytes) *
                                     std::min<std::uint32_t>(count, kRecordsPerPiece));
    for (std::uint32_t f = 0; f < count;) {
        const std::uint32_t n = std::min(count - f, kRecordsPerPiece);
        if (!in.read(reinterpret_cast<char*>(piece.data()), std::streamsize(kRecordBytes) * n)) {
            // The first record that could not be read whole.
            const std::uint32_t whole = std::uint32_t(in.gcount() / kRecordBytes);
            std::cout << "STL file read error at facet " << f + whole << std::endl;
            return false;
        }
        corners.resize(std::size_t(9) * (f + n));
        for (std::uint32_t r = 0; r < n; ++r) {
            // Bytes 0..11 hold the stored normal, which is not used but to
            // tell facets from other data; 48..49 the attribute.
            const unsigned char* record = piece.data() + std::size_t(kRecordBytes) * r;
            float* out = corners.data() + std::size_t(9) * (f + r);
            for (int k = 0; k < 9; ++k)
                out[k] = decodeFloat(record + 12 + 4 * k, bigEndian);
            if (!checked)
                continue;
            const float normal[3] = {decodeFloat(record, false), decodeFloat(record + 4, false),
                                     decodeFloat(record + 8, false)};
            if (!isStlFacet(record, normal)) {
                std::cout << "not an STL file: its count of " << declared
                          << " facets does not match its " << size << " bytes, and record "
                          << f + r + 1 << " after its header is no STL facet" << std::endl;
                return false;
            }
        }
        f += n;
    }
    const std::int64_t trailing = available - kRecordBytes * std::int64_t(count);
    if (!disagrees && trailing > 0)
        std::cout << "STL file holds " << trailing << (trailing == 1 ? " byte" : " bytes")
                  << " after the last of its " << count << " facets: passed over" << std::endl;
    if (disagrees) {
        if (declared == 0)
            std::cout << "STL file's count says 0 facets, but it holds " << count
                      << " whole facets: " << count << " read";
        else
            std::cout << "STL file ends inside facet " << count + 1 << " of the " << declared
                      << " its header declares: " << count << " read, "
                      << declared - std::int64_t(count) << " left out";
        if (declared == 0 && trailing > 0)
            std::cout << ", " << trailing << (trailing == 1 ? " byte" : " bytes")
                      << " after them passed over";
        std::cout << std::endl;
    }
    // Facets with a corner that is not finite are left out (and counted);
    // the others close up in place.
    long nonFinite = 0;
    std::size_t kept = 0;
    for (std::size_t f = 0; f < count; ++f) {
        const float* xyz = corners.data() + 9 * f;
        if (!Mesh::isFinitePoint(xyz) || !Mesh::isFinitePoint(xyz + 3) ||
            !Mesh::isFinitePoint(xyz + 6)) {
            ++nonFinite;
            continue;
        }
        if (kept != f)
            std::copy_n(xyz, 9, corners.data() + 9 * kept);
        ++kept;
    }
    Mesh::reportNonFiniteFacets(nonFinite);
    // A large file's facets are welded straight from the corners read: the
    // corners as vertices of their own, and a copy of them for the weld,
    // would cost twice their memory again.
    if (merge && typeid(mesh) == typeid(CFlatMesh) &&
        static_cast<CFlatMesh&>(mesh).addWeldedTriangles(corners.data(), int(kept),
                                                         kBinaryStlMergeTolerance)) {
        std::vector<float>().swap(corners);
        finishMesh(mesh, false, kBinaryStlMergeTolerance);
        return true;
    }
    CVertex<float, 3> corner;
    for (std::size_t f = 0; f < kept; ++f) {
        const float* xyz = corners.data() + 9 * f;
        int idx[3];
        for (int k = 0; k < 3; ++k) {
            for (int c = 0; c < 3; ++c)
                corner.data[c] = xyz[3 * k + c];
            idx[k] = mesh.addVertex(corner);
        }
        mesh.addPolygon(idx, 3, -1);
    }
    finishMesh(mesh, merge, kBinaryStlMergeTolerance);
    return true;
}

namespace {

// The text grammar read facet by facet. A facet runs from its "facet" (or,
// where that line is missing, its first "vertex") to its "endfacet". Its
// end may be missing too: the next "facet", "solid" or "endsolid" ends it
// then, and it is taken when it is whole. A facet is left out, and counted
// with its cause, when it has fewer than three corners, when a coordinate
// is missing or not a number (a coordinate of 0 in its place would put the
// facet where the file never had it), or when the file ends inside it.
class CAsciiStlReader {
public:
    CAsciiStlReader(Mesh::CBaseMesh& mesh, std::istream& in, std::int64_t length)
        : mesh(mesh), text(in, length)
    {
    }

    // Reads to the end of the text; false when it holds no STL keyword.
    bool read()
    {
        for (;;) {
            StlWord kind = pending;
            pending = StlWord::Other;
            if (kind == StlWord::Other) {
                text.skipSpace();
                const int next = text.peek();
                if (next < 0)
                    break; // end of the text
                const int cls = characterClass(next);
                if (cls == TokenClassNumber || next == '.') {
                    // Numbers outside "vertex" (normals, solid names
                    // beginning with a digit) are dropped unread.
                    text.takeWord(word);
                    continue;
                }
                if (cls != TokenClassLetter) {
                    text.skipLine();
                    continue;
                }
                kind = classifyWord(text.takeWord(word));
            }
            if (kind != StlWord::Other)
                sawKeyword = true;
            switch (kind) {
            case StlWord::Solid:
            case StlWord::EndSolid:
                if (facet.open)
                    endWithoutEndFacet();
                solidOpen = kind == StlWord::Solid;
                skipName();
                break;
            case StlWord::Facet:
                if (facet.open)
                    endWithoutEndFacet();
                begin();
                break;
            case StlWord::Vertex:
                if (!facet.open)
                    begin();
                readVertex();
                break;
            case StlWord::EndFacet:
                // An "endfacet" with no facet open (a repeated line) ends
                // nothing.
                if (facet.open)
                    end(true);
                break;
            case StlWord::Keyword:
            case StlWord::Other:
                break;
            }
        }
        if (facet.open)
            cutShort.add([&] {
                return "the file ends inside facet " + facetPlace(facet.number, facet.line);
            });
        else if (solidOpen && facetsBegun > 0)
            std::cout << "STL text ends without endsolid after facet " << facetsBegun
                      << ": the file may be cut short" << std::endl;
        return sawKeyword;
    }

    // The lines on what was left out or repeated, after the last facet.
    void report() const
    {
        fourthCorners.reportHidden("not a triangle !");
        badNumbers.reportHidden("bad number in STL text");
        missingEnds.reportHidden("facet without endfacet");
        Mesh::reportNonFiniteFacets(nonFinite);
        cutShort.report();
        incomplete.report();
        malformed.report();
    }

private:
    Mesh::CBaseMesh& mesh;
    TextCursor text;
    std::string word;
    StlWord pending = StlWord::Other; // a keyword met where a coordinate was due
    bool sawKeyword = false;
    bool solidOpen = false;
    long facetsBegun = 0;
    long nonFinite = 0;
    struct {
        bool open = false;
        int corners = 0;
        CVertex<float, 3> corner[3];
        bool finite = true;
        bool malformed = false;
        std::string fault; // what is wrong with its first malformed coordinate
        long number = 0;   // counted from 1 over the facets begun
        long line = 0;     // where it begins
    } facet;
    Mesh::CLeftOutRecords cutShort, incomplete, malformed;
    Mesh::CRepeatedWarning fourthCorners, incompleteEnds, badNumbers, missingEnds;

    static std::string facetPlace(long number, long line)
    {
        return std::to_string(number) + " (line " + std::to_string(line) + ")";
    }

    void begin()
    {
        facet.open = true;
        facet.corners = 0;
        facet.finite = true;
        facet.malformed = false;
        facet.number = ++facetsBegun;
        facet.line = text.line();
    }

    // The name of a solid stands on the keyword's line; it is passed over
    // whatever it is, so that a solid named "solid" or "facet" opens none.
    void skipName()
    {
        text.skipBlanks();
        const int c = text.peek();
        if (c >= 0 && c != '\n' && c != '\r')
            text.takeWord(word);
    }

    // A number starts with a digit, a sign or a point; "nan" and "inf" (in
    // any case) start with a letter that begins no keyword of the grammar.
    bool atNumber()
    {
        text.skipSpace();
        const int c = text.peek();
        return c >= 0 && (characterClass(c) == TokenClassNumber || c == '.' || c == 'n' ||
                          c == 'N' || c == 'i' || c == 'I');
    }

    // Keeps what is wrong with the first malformed vertex of the facet. A
    // vertex past the third is dropped, and spoils nothing.
    void noteMalformed(int vertex, long line, const std::string& what)
    {
        if (facet.malformed || vertex > 3)
            return;
        facet.malformed = true;
        facet.fault = "vertex " + std::to_string(vertex) + " of facet " +
                      facetPlace(facet.number, line) + what;
    }

    void readVertex()
    {
        const int vertex = facet.corners + 1;
        const long line = text.line();
        float xyz[3] = {0.0f, 0.0f, 0.0f};
        bool finite = true;
        int read = 0;
        for (; read < 3; ++read) {
            if (!atNumber())
                break;
            const std::string_view w = text.takeWord(word);
            const NumberRead r = parseNumber(w, xyz[read]);
            if (r == NumberRead::NotFinite) {
                finite = false;
            } else if (r == NumberRead::Malformed) {
                const std::string lower = lowerCaseText(w);
                if (badNumbers.show())
                    std::cout << "bad number in STL text: " << lower << std::endl;
                noteMalformed(vertex, line, ": '" + lower + "' is not a number");
            }
        }
        if (read < 3) {
            // A word where a coordinate was due: a keyword goes back to the
            // grammar; any other word is named.
            text.skipSpace();
            const int c = text.peek();
            std::string found;
            if (c >= 0 && characterClass(c) == TokenClassLetter) {
                const std::string_view w = text.takeWord(word);
                pending = classifyWord(w);
                if (pending == StlWord::Other) {
                    found = lowerCaseText(w);
                    if (badNumbers.show())
                        std::cout << "bad number in STL text: " << found << std::endl;
                }
            }
            noteMalformed(vertex, line,
                          found.empty() ? " has " + std::to_string(read) + " coordinates"
                                        : ": '" + found + "' is not a number");
        }
        if (facet.corners < 3) {
            facet.corner[facet.corners++] = CVertex<float, 3>(xyz[0], xyz[1], xyz[2]);
            facet.finite = facet.finite && finite;
        } else if (fourthCorners.show()) {
            std::cout << "not a triangle !" << std::endl;
        }
    }

    // Ends the open facet: added when it has three corners, each with three
    // finite coordinates; otherwise left out and counted.
    void end(bool atEndFacet)
    {
        facet.open = false;
        if (facet.malformed) {
            malformed.add([&] { return facet.fault; });
        } else if (facet.corners < 3) {
            if (atEndFacet && incompleteEnds.show())
                std::cout << "endfacet on incomplete facet ! " << std::endl;
            incomplete.add([&] {
                return "facet " + facetPlace(facet.number, facet.line) + " has " +
                       std::to_string(facet.corners) + " vertices";
            });
        } else if (!facet.finite) {
            ++nonFinite;
        } else {
            const int added[3] = {mesh.addVertex(facet.corner[0]), mesh.addVertex(facet.corner[1]),
                                  mesh.addVertex(facet.corner[2])};
            mesh.addPolygon(added, 3, -1);
        }
    }

    // A facet whose "endfacet" is missing: whole, it is taken all the same
    // (its end is only told), else left out as any facet that is not whole.
    void endWithoutEndFacet()
    {
        if (facet.corners == 3 && !facet.malformed && missingEnds.show())
            std::cout << "facet " << facetPlace(facet.number, facet.line)
                      << " has no endfacet: it ends at line " << text.line() << std::endl;
        end(false);
    }
};

} // namespace

bool readAsciiSTL(Mesh::CBaseMesh& mesh, const char* path, bool merge)
{
    // Binary mode: CR of CR LF line ends is white space, and no byte is
    // translated. The text is read in large pieces and parsed from them.
    std::ifstream in;
    Platform::openRegularStream(in, path, std::ios::binary);
    if (!in.is_open()) {
        std::cout << "cannot open STL file " << path << std::endl;
        return false;
    }
    // NULs that pad the end of a text are no part of it; a NUL before other
    // bytes is binary data.
    const std::int64_t length = textLength(in);
    if (length < 0) {
        std::cout << "STL text contains binary data" << std::endl;
        return false;
    }
    in.clear();
    in.seekg(0);

    CAsciiStlReader reader(mesh, in, length);
    if (!reader.read()) {
        std::cout << "no STL keyword in " << path << std::endl;
        return false;
    }
    reader.report();
    finishMesh(mesh, merge, kAsciiStlMergeTolerance);
    return true;
}
