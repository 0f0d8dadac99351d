#include "mesh/StlFormat.h"

#include "foundation/PointSequence.h"
#include "mesh/BaseMesh.h"
#include "mesh/CharScanner.h"

#include <cfloat>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr std::int64_t kHeaderBytes = 80;
constexpr std::int64_t kPreambleBytes = 84; // header and facet count
constexpr std::int64_t kRecordBytes = 50;

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

bool isStlKeyword(const std::string& w)
{
    return w == "solid" || w == "facet" || w == "outer" || w == "loop" || w == "vertex" ||
           w == "endloop" || w == "endfacet" || w == "endsolid";
}

// Takes the word that starts here (up to white space or the end) and
// returns it in lower case. Only the first 1023 characters are kept; a
// longer word is taken whole and matches no keyword.
std::string takeWord(std::istream& in)
{
    std::string word;
    for (;;) {
        const int c = in.peek();
        if (c == std::char_traits<char>::eof() || c == ' ' || c == '\t' || c == '\n' || c == '\r' ||
            c == '\v' || c == '\f')
            break;
        in.get();
        if (word.size() < 1023)
            word.push_back((c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : char(c));
    }
    in.clear(in.rdstate() & ~std::ios::failbit);
    return word;
}

// True when the next non-blank character starts a number: a digit or sign,
// or a point (".5" is a number too, although the scanner puts '.' in no
// class).
bool atNumber(std::istream& in)
{
    char next = 0;
    const int cls = peekTokenClass(in, &next, true);
    return cls == TokenClassNumber || (next == '.' && in.good());
}

// Takes the next word and reads it as a number. False, with value
// unchanged, when the word is not entirely a finite number.
bool takeNumber(std::istream& in, float& value)
{
    const std::string word = takeWord(in);
    const char* first = word.data();
    const char* last = word.data() + word.size();
    if (first != last && *first == '+')
        ++first;
    double v = 0.0;
    const auto result = std::from_chars(first, last, v);
    if (result.ec != std::errc() || result.ptr != last || !(v == v) || v > FLT_MAX ||
        v < -FLT_MAX) {
        std::cout << "bad number in STL text: " << word << std::endl;
        return false;
    }
    value = float(v);
    return true;
}

// True when the file holds a NUL byte. Text never does; a binary file
// (for example a binary STL whose size does not match its facet count, so
// that the size test sent it here) nearly always does.
bool containsNulByte(std::istream& in)
{
    char buffer[65536];
    while (in) {
        in.read(buffer, sizeof buffer);
        if (std::memchr(buffer, 0, std::size_t(in.gcount())) != nullptr)
            return true;
    }
    return false;
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
    std::ifstream in(path, std::ios::binary);
    unsigned char preamble[kPreambleBytes];
    if (!in.read(reinterpret_cast<char*>(preamble), kPreambleBytes))
        return false;
    const std::uint32_t count = decodeUint32(preamble + kHeaderBytes, false);
    return sizeMatches(size, count) || sizeMatches(size, reverseBytes(count));
}

bool readBinarySTL(Mesh::CBaseMesh& mesh, const char* path, bool merge)
{
    const std::int64_t size = fileSize(path);
    std::ifstream in(path, std::ios::binary);
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
    // added: a little-endian count must fit the file; a count that fits only
    // byte-reversed, and then exactly, marks a big-endian file.
    const std::int64_t available = size - kPreambleBytes;
    std::uint32_t count = decodeUint32(preamble + kHeaderBytes, false);
    bool bigEndian = false;
    if (kRecordBytes * std::int64_t(count) > available) {
        const std::uint32_t reversed = reverseBytes(count);
        if (!sizeMatches(size, reversed)) {
            std::cout << "STL file too short: " << count << " facets need "
                      << kRecordBytes * std::int64_t(count) << " bytes, " << available << " present"
                      << std::endl;
            return false;
        }
        count = reversed;
        bigEndian = true;
    }
    // Three vertex indices per facet must stay within int.
    if (std::int64_t(count) * 3 > INT_MAX) {
        std::cout << "STL file too large: " << count << " facets" << std::endl;
        return false;
    }

    // The corners are gathered first: a read that fails part-way adds nothing.
    std::vector<float> corners;
    corners.reserve(std::size_t(9) * count);
    unsigned char record[kRecordBytes];
    for (std::uint32_t f = 0; f < count; ++f) {
        if (!in.read(reinterpret_cast<char*>(record), kRecordBytes)) {
            std::cout << "STL file read error at facet " << f << std::endl;
            return false;
        }
        // Bytes 0..11 hold the stored normal, which is not used; 48..49 the
        // attribute.
        for (int k = 0; k < 9; ++k)
            corners.push_back(decodeFloat(record + 12 + 4 * k, bigEndian));
    }
    CVertex<float, 3> corner;
    for (std::size_t f = 0; f < count; ++f) {
        int idx[3];
        for (int k = 0; k < 3; ++k) {
            for (int c = 0; c < 3; ++c)
                corner.data[c] = corners[9 * f + 3 * k + c];
            idx[k] = mesh.addVertex(corner);
        }
        mesh.addPolygon(idx, 3, -1);
    }
    finishMesh(mesh, merge, kBinaryStlMergeTolerance);
    return true;
}

bool readAsciiSTL(Mesh::CBaseMesh& mesh, const char* path, bool merge)
{
    // Binary mode: CR of CR LF line ends is white space to the scanner, and
    // no byte is translated.
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
        std::cout << "cannot open STL file " << path << std::endl;
        return false;
    }
    if (containsNulByte(in)) {
        std::cout << "STL text contains binary data" << std::endl;
        return false;
    }
    in.clear();
    in.seekg(0);

    int cornerCount = 0;
    int corners[3] = {0, 0, 0};
    bool sawKeyword = false;
    CVertex<float, 3> point;
    for (;;) {
        char next = 0;
        const int cls = peekTokenClass(in, &next, true);
        if (!in.good())
            break; // end of the text
        if (cls == TokenClassLetter) {
            const std::string word = takeWord(in);
            if (isStlKeyword(word))
                sawKeyword = true;
            if (word == "vertex") {
                float xyz[3] = {0.0f, 0.0f, 0.0f};
                for (float& v : xyz)
                    if (atNumber(in))
                        takeNumber(in, v);
                if (cornerCount < 3) {
                    point.data[0] = xyz[0];
                    point.data[1] = xyz[1];
                    point.data[2] = xyz[2];
                    corners[cornerCount++] = mesh.addVertex(point);
                } else {
                    std::cout << "not a triangle !" << std::endl;
                }
            } else if (word == "endfacet") {
                if (cornerCount == 3)
                    mesh.addPolygon(corners, 3, -1);
                else
                    std::cout << "endfacet on incomplete facet ! " << std::endl;
                cornerCount = 0;
            }
        } else if (cls == TokenClassNumber || next == '.') {
            // Numbers outside "vertex" (normals, solid names beginning with
            // a digit) are dropped unread.
            takeWord(in);
        } else {
            in.ignore(1024, '\n');
        }
    }
    if (!sawKeyword) {
        std::cout << "no STL keyword in " << path << std::endl;
        return false;
    }
    finishMesh(mesh, merge, kAsciiStlMergeTolerance);
    return true;
}
