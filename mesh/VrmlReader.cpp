#include "mesh/VrmlReader.h"

#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "mesh/CharScanner.h"
#include "mesh/FlatMesh.h"
#include "mesh/NumberText.h"
#include "mesh/ReaderReport.h"
#include "platform/RegularFile.h"

#include <algorithm>
#include <charconv>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <map>
#include <memory>
#include <vector>

namespace {

constexpr int kEof = std::char_traits<char>::eof();

bool isBlank(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool isDigit(int c)
{
    return c >= '0' && c <= '9';
}

// Characters a VRML name may continue with: everything printable except the
// quote, '#', ',', '.', the brackets, the braces and the backslash. Bytes
// above 127 (UTF-8) are allowed as well.
bool isNameCharacter(int c)
{
    if (c == kEof || c <= 0x20 || c == 0x7f)
        return false;
    switch (c) {
    case '"':
    case '\'':
    case '#':
    case ',':
    case '.':
    case '[':
    case ']':
    case '{':
    case '}':
    case '\\':
        return false;
    default:
        return true;
    }
}

bool equalsNoCase(const std::string& a, const char* b)
{
    std::size_t i = 0;
    for (; i < a.size() && b[i] != 0; ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return i == a.size() && b[i] == 0;
}

// A number token as a whole: decimal with an optional sign, point and
// exponent (a value beyond the range of a double is infinite, one below it
// 0; "-inf" and "-nan" are not finite), or a hexadecimal integer "0x1F".
// False for anything else.
bool parseNumber(const std::string& text, double& value)
{
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+')
        ++first; // from_chars takes a '-' but no '+'
    const bool negative = first != last && *first == '-';
    const char* digits = negative ? first + 1 : first;
    if (last - digits > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        unsigned long long h = 0;
        const auto r = std::from_chars(digits + 2, last, h, 16);
        if (r.ec != std::errc() || r.ptr != last)
            return false;
        value = negative ? -double(h) : double(h);
        return true;
    }
    double v = 0.0;
    const auto r = std::from_chars(first, last, v);
    if (first == last || r.ptr != last ||
        (r.ec != std::errc() && r.ec != std::errc::result_out_of_range))
        return false;
    value = r.ec == std::errc() ? v : std::strtod(std::string(first, last).c_str(), nullptr);
    return true;
}

// A coordinate read from the file as the mesh stores it (float32): a double
// beyond the float range is infinite there, and NaN stays NaN, so that the
// faces and polylines through such a point are left out.
float toCoordinate(double v)
{
    if (!(v == v))
        return std::numeric_limits<float>::quiet_NaN();
    if (std::fabs(v) > double(FLT_MAX))
        return v > 0.0 ? std::numeric_limits<float>::infinity()
                       : -std::numeric_limits<float>::infinity();
    return float(v);
}

// An index rounded toward zero. Values beyond the int range become INT_MIN
// or INT_MAX, which no point has as its number.
int toIndex(double v)
{
    if (!(v == v))
        return INT_MIN;
    v = std::trunc(v);
    if (v <= double(INT_MIN))
        return INT_MIN;
    if (v >= double(INT_MAX))
        return INT_MAX;
    return int(v);
}

// A value of a point or index list that is not a number: its place in the
// list and its text.
struct ListFault {
    std::size_t at;
    std::string text;
    long line;
};

// Everything a file holds for the mesh and the curves, collected before
// anything is added so that a faulty file changes nothing.
struct ParsedFile {
    std::vector<std::vector<float>> blocks; // point blocks, x y z per point
    // Per block, its points with a value that is not a number (by point
    // number, ascending); such a point has NaN coordinates.
    std::vector<std::vector<ListFault>> blockFaults;
    struct IndexedSet {
        int block = -1;          // its points; -1 when it has none
        int group = 0;           // sets of one group share a mesh
        std::vector<int> values; // coordIndex values, -1 separators kept
        std::vector<ListFault> faults; // values that are not numbers (INT_MIN there)
        long line = 0;                 // where its node opens
    };
    std::vector<IndexedSet> faceSets;
    std::vector<IndexedSet> lineSets;
    std::map<std::string, int> namedBlocks; // DEF name -> block
    // Point lists whose count of numbers is not a multiple of three.
    long unevenLists = 0;
    std::string firstUnevenList;

    int addBlock(const std::vector<double>& numbers, const std::vector<ListFault>& faults,
                 long line)
    {
        std::vector<float> points;
        const std::size_t n = numbers.size() / 3 * 3; // a point needs all three coordinates
        if (n != numbers.size() && unevenLists++ == 0)
            firstUnevenList = "the point list of line " + std::to_string(line) + " holds " +
                              std::to_string(numbers.size()) +
                              " numbers, not three to a point: its last point is left out";
        points.reserve(n);
        for (std::size_t i = 0; i < n; ++i)
            points.push_back(toCoordinate(numbers[i]));
        std::vector<ListFault> pointFaults;
        for (const ListFault& fault : faults) {
            const std::size_t point = fault.at / 3;
            if (3 * point + 3 > n)
                continue;
            for (std::size_t i = 3 * point; i < 3 * point + 3; ++i)
                points[i] = std::numeric_limits<float>::quiet_NaN();
            if (pointFaults.empty() || pointFaults.back().at != point)
                pointFaults.push_back({point, fault.text, fault.line});
        }
        blocks.push_back(std::move(points));
        blockFaults.push_back(std::move(pointFaults));
        return int(blocks.size()) - 1;
    }
};

// A word standing for a number that a float cannot hold ("nan", "inf",
// "Infinity"; a word never starts with a sign): its value is NaN or
// infinite. False for any other word.
bool nonFiniteWord(const std::string& word, double& value)
{
    if (!isNonFiniteNumber(word))
        return false;
    std::from_chars(word.data(), word.data() + word.size(), value);
    return true;
}

// Reads a field value of numbers: a bracketed list, or a single value of
// `single` numbers written without brackets. Commas inside a list are
// passed over; every other token there (a word, a malformed number, a
// string, a stray character) takes the place of one number and is noted in
// faults with its place, its value being NaN; "nan" and "inf" are numbers
// that a float cannot hold. In a list of indices, a number beyond the range
// of an int and "nan" or "inf" are noted too. False when the input ends
// inside the list or a brace turns up in it.
bool readNumbers(CVRMLFile& f, std::vector<double>& out, int single,
                 std::vector<ListFault>& faults, bool indices = false)
{
    // An index beyond the range of an int names no point: it is told as the
    // number it was written as.
    const auto isNumber = [&] {
        return f.tokenClass == CVRMLFile::TokenNumber && !f.badNumber &&
               (!indices || std::fabs(f.number) < 2147483648.0);
    };
    out.clear();
    faults.clear();
    if (!f.readToken())
        return false;
    if (f.tokenClass == CVRMLFile::TokenOpenBracket) {
        const int level = f.bracketDepth;
        const int braces = f.braceDepth;
        for (;;) {
            if (!f.readToken())
                return false;
            if (f.bracketDepth < level)
                return true;
            if (f.braceDepth != braces || f.bracketDepth != level)
                return false;
            if (f.tokenClass == CVRMLFile::TokenComment ||
                (f.tokenClass == CVRMLFile::TokenOther && f.character == ','))
                continue;
            double value = 0.0;
            if (isNumber()) {
                out.push_back(f.number);
                continue;
            }
            if (!indices && f.tokenClass == CVRMLFile::TokenWord && nonFiniteWord(f.word, value)) {
                out.push_back(value);
                continue;
            }
            std::string text = f.tokenClass == CVRMLFile::TokenNumber ||
                                       f.tokenClass == CVRMLFile::TokenWord
                                   ? f.word
                               : f.tokenClass == CVRMLFile::TokenString ? std::string("a string")
                                                                        : std::string(1, f.character);
            faults.push_back({out.size(), std::move(text), f.line});
            out.push_back(std::numeric_limits<double>::quiet_NaN());
        }
    }
    for (int taken = 0; f.tokenClass == CVRMLFile::TokenNumber;) {
        if (!isNumber()) {
            faults.push_back({out.size(), f.word, f.line});
            out.push_back(std::numeric_limits<double>::quiet_NaN());
        } else {
            out.push_back(f.number);
        }
        if (++taken == single)
            break;
        if (!f.readToken())
            return false;
    }
    return true;
}

// Reads the fields named in `names` of the node whose "{" was the last token,
// up to its "}": each field found at the node's own level is handed to
// onField with the index of its name, and reads its value. False when the
// input ends inside the node or a field reader fails.
template <class OnField>
bool readFields(CVRMLFile& f, std::initializer_list<const char*> names, OnField&& onField)
{
    const int depth = f.braceDepth;
    for (;;) {
        // A field value read without brackets may have taken the "}" itself.
        if (f.braceDepth < depth)
            return true;
        const int k = f.findKeyword(names);
        if (f.braceDepth < depth)
            return true;
        if (k < 0 || !onField(k))
            return false;
    }
}

// The body of a Coordinate (2.0) or Coordinate3 (1.0) node: its point field.
// Returns the new block, or -2 when the file is faulty.
int readCoordinateBody(CVRMLFile& f, ParsedFile& parsed)
{
    std::vector<double> numbers;
    std::vector<ListFault> faults;
    long line = f.line;
    const bool ok = readFields(f, {"point"}, [&](int) {
        line = f.line;
        return readNumbers(f, numbers, 3, faults);
    });
    return ok ? parsed.addBlock(numbers, faults, line) : -2;
}

// The value of a 2.0 coord field: a Coordinate node (possibly named with
// DEF), USE of a named one, or NULL. block receives the points' block, -1
// when there are none. False when the file is faulty.
bool readCoordField(CVRMLFile& f, ParsedFile& parsed, int& block)
{
    block = -1;
    if (!f.readToken())
        return false;
    std::string name;
    if (f.isWord("DEF")) {
        if (!f.readToken())
            return false;
        if (f.tokenClass == CVRMLFile::TokenWord)
            name = f.word;
        if (!f.readToken())
            return false;
    } else if (f.isWord("USE")) {
        if (!f.readToken())
            return false;
        const auto it = parsed.namedBlocks.find(f.word);
        if (f.tokenClass == CVRMLFile::TokenWord && it != parsed.namedBlocks.end())
            block = it->second;
        return true;
    }
    if (!f.isWord("Coordinate"))
        return true; // NULL, or a node type the reader does not know
    if (!f.readToken())
        return false;
    if (f.tokenClass != CVRMLFile::TokenOpenBrace)
        return true;
    block = readCoordinateBody(f, parsed);
    if (block == -2)
        return false;
    if (!name.empty())
        parsed.namedBlocks[name] = block;
    return true;
}

// The body of an IndexedFaceSet or IndexedLineSet node. With ownCoord the
// points come from the node's coord field (2.0); otherwise set.block is kept.
bool readIndexedSetBody(CVRMLFile& f, ParsedFile& parsed, ParsedFile::IndexedSet& set,
                        bool ownCoord)
{
    std::vector<double> numbers;
    set.line = f.line;
    f.noteGeometryRead();
    auto onField = [&](int k) {
        if (k == 1)
            return readCoordField(f, parsed, set.block);
        if (!readNumbers(f, numbers, 1, set.faults, true))
            return false;
        set.values.clear();
        for (double v : numbers)
            set.values.push_back(toIndex(v));
        return true;
    };
    return ownCoord ? readFields(f, {"coordIndex", "coord"}, onField)
                    : readFields(f, {"coordIndex"}, onField);
}

// Reads the node after DEF or USE's name check: true when the next token is
// "{" (the node has a body to read).
bool nextIsOpenBrace(CVRMLFile& f)
{
    return f.readToken() && f.tokenClass == CVRMLFile::TokenOpenBrace;
}

bool parseVersion2(CVRMLFile& f, ParsedFile& parsed)
{
    for (;;) {
        const int node = f.nextGeometryNode();
        if (node == CVRMLFile::NodeEndOfFile)
            return true;
        if (node != CVRMLFile::NodeIndexedFaceSet && node != CVRMLFile::NodeIndexedLineSet)
            continue;
        if (!nextIsOpenBrace(f))
            continue;
        ParsedFile::IndexedSet set;
        if (!readIndexedSetBody(f, parsed, set, true))
            return false;
        if (node == CVRMLFile::NodeIndexedFaceSet) {
            set.group = int(parsed.faceSets.size());
            parsed.faceSets.push_back(std::move(set));
        } else {
            parsed.lineSets.push_back(std::move(set));
        }
    }
}

bool parseVersion1(CVRMLFile& f, ParsedFile& parsed)
{
    int current = -1; // block of the last Coordinate3
    while (f.readToken()) {
        if (f.tokenClass != CVRMLFile::TokenWord)
            continue;
        if (f.isWord("DEF")) {
            if (!f.readToken())
                break;
            if (f.tokenClass != CVRMLFile::TokenWord)
                continue;
            const std::string name = f.word;
            if (!f.readToken())
                break;
            if (f.isWord("Coordinate3") && nextIsOpenBrace(f)) {
                current = readCoordinateBody(f, parsed);
                if (current == -2)
                    return false;
                parsed.namedBlocks[name] = current;
                continue;
            }
        } else if (f.isWord("USE")) {
            // A shared Coordinate3 sets the points again; shared geometry is
            // an instance and is passed over.
            if (!f.readToken())
                break;
            const auto it = parsed.namedBlocks.find(f.word);
            if (f.tokenClass == CVRMLFile::TokenWord && it != parsed.namedBlocks.end())
                current = it->second;
            continue;
        }
        if (f.isWord("Coordinate3")) {
            if (!nextIsOpenBrace(f))
                continue;
            current = readCoordinateBody(f, parsed);
            if (current == -2)
                return false;
        } else if (f.isWord("IndexedFaceSet")) {
            if (!nextIsOpenBrace(f))
                continue;
            ParsedFile::IndexedSet set;
            set.block = current;
            set.group = current;
            if (!readIndexedSetBody(f, parsed, set, false))
                return false;
            parsed.faceSets.push_back(std::move(set));
        }
    }
    return true;
}

// True when the file holds a NUL byte, which VRML text never does.
bool containsNulByte(const char* path)
{
    std::ifstream in;
    Platform::openRegularStream(in, path, std::ios::binary);
    char buffer[65536];
    while (in) {
        in.read(buffer, sizeof buffer);
        const std::streamsize n = in.gcount();
        if (std::find(buffer, buffer + n, '\0') != buffer + n)
            return true;
    }
    return false;
}

void prepareMesh(CFlatMesh& mesh)
{
    mesh.facetHash.setCellSize(kVrmlFacetHashCellSize);
}

void finishMesh(CFlatMesh& mesh)
{
    mesh.mergeVertices(kVrmlMergeTolerance, 0);
    mesh.buildTopology();
    mesh.computeBoundingBox();
    mesh.modified = true;
}

// The faults of a list at place `at`, or null: faults are ordered by place.
const ListFault* faultAt(const std::vector<ListFault>& faults, std::size_t at)
{
    const auto it = std::lower_bound(faults.begin(), faults.end(), at,
                                     [](const ListFault& f, std::size_t a) { return f.at < a; });
    return it != faults.end() && it->at == at ? &*it : nullptr;
}

// What the faces and point lists of a file could not give, told after the
// meshes are built.
struct FaceReport {
    long nonFinite = 0;
    Mesh::CLeftOutRecords fewCorners, unknownPoint, badIndex, badPoint;
    Mesh::CRepeatedWarning unknownPointMessages;

    void report(const ParsedFile& parsed) const
    {
        unknownPointMessages.reportHidden("referenced Vertex: ... not found.");
        if (parsed.unevenLists > 0)
            std::cout << parsed.firstUnevenList
                      << (parsed.unevenLists > 1
                              ? " [" + std::to_string(parsed.unevenLists) + " lists in all]"
                              : std::string())
                      << std::endl;
        Mesh::reportNonFiniteFacets(nonFinite);
        fewCorners.report();
        unknownPoint.report();
        badIndex.report();
        badPoint.report();
    }
};

// Adds the face sets to the meshes: a new mesh (with a mesh list) whenever a
// set of another group adds its first face. A block's points are added to a
// mesh when its first face there is added, all but those with a coordinate
// that is not finite or not a number. A face is left out, and counted with
// its cause, when it has one or two corners, names a point the set does not
// have, holds an index that is not a number, or uses a point that is not
// finite or holds a value that is not a number.
void buildMeshes(const ParsedFile& parsed, CFlatMesh& mesh, Kor::List<CFlatMesh*>* meshes,
                 FaceReport& report)
{
    CFlatMesh* current = &mesh;
    bool currentUsed = false;
    int currentGroup = 0;
    // The mesh vertex of each point of each block in the current mesh (-1
    // for a point that is not finite); empty while the block is not added.
    std::vector<std::vector<int>> added(parsed.blocks.size());
    std::vector<int> face;
    for (const ParsedFile::IndexedSet& set : parsed.faceSets) {
        static const std::vector<float> noPoints;
        static const std::vector<ListFault> noFaults;
        const std::vector<float>& points = set.block >= 0 ? parsed.blocks[set.block] : noPoints;
        const std::vector<ListFault>& pointFaults =
            set.block >= 0 ? parsed.blockFaults[std::size_t(set.block)] : noFaults;
        const long pointCount = long(points.size() / 3);
        const std::size_t n = set.values.size();
        const std::string setName = "the IndexedFaceSet of line " + std::to_string(set.line);
        std::size_t start = 0;
        long faceNumber = 0;
        while (start < n) {
            std::size_t end = start;
            while (end < n && set.values[end] != -1)
                ++end;
            // values[start, end) is one face; the last may lack its -1.
            if (end == start) {
                start = end + 1; // no face between two -1
                continue;
            }
            ++faceNumber;
            const auto place = [&] { return "face " + std::to_string(faceNumber) + " of " + setName; };
            const ListFault* badValue = nullptr;
            const ListFault* badCoordinate = nullptr;
            int unknown = 0;
            bool known = true;
            bool finite = true;
            for (std::size_t k = start; k < end; ++k) {
                const int v = set.values[k];
                if (const ListFault* fault = set.faults.empty() ? nullptr : faultAt(set.faults, k)) {
                    if (badValue == nullptr)
                        badValue = fault;
                    continue;
                }
                if (v < 0 || v >= pointCount) {
                    if (report.unknownPointMessages.show())
                        std::cout << "referenced Vertex: " << v << " at " << (k - start)
                                  << " not found." << std::endl;
                    if (known)
                        unknown = v;
                    known = false;
                } else if (!Mesh::isFinitePoint(points.data() + 3 * std::size_t(v))) {
                    if (!pointFaults.empty() && badCoordinate == nullptr)
                        badCoordinate = faultAt(pointFaults, std::size_t(v));
                    finite = false;
                }
            }
            if (badValue != nullptr) {
                report.badIndex.add([&] {
                    return place() + " holds '" + badValue->text + "' (line " +
                           std::to_string(badValue->line) + "), not a point number";
                });
            } else if (!known) {
                report.unknownPoint.add([&] {
                    return place() + " names point " + std::to_string(unknown) + ", of " +
                           std::to_string(pointCount);
                });
            } else if (end - start < 3) {
                report.fewCorners.add(
                    [&] { return place() + " has " + std::to_string(end - start) + " corners"; });
            } else if (badCoordinate != nullptr) {
                report.badPoint.add([&] {
                    return place() + " uses point " + std::to_string(badCoordinate->at) +
                           ", whose value '" + badCoordinate->text + "' (line " +
                           std::to_string(badCoordinate->line) + ") is not a number";
                });
            } else if (!finite) {
                ++report.nonFinite;
            } else {
                if (meshes != nullptr && currentUsed && set.group != currentGroup) {
                    finishMesh(*current);
                    current = new CFlatMesh();
                    prepareMesh(*current);
                    meshes->append(current);
                    for (std::vector<int>& indices : added)
                        indices.clear();
                    currentUsed = false;
                }
                currentGroup = set.group;
                currentUsed = true;
                std::vector<int>& indices = added[std::size_t(set.block)];
                if (indices.empty()) {
                    indices.assign(std::size_t(pointCount), -1);
                    for (long i = 0; i < pointCount; ++i) {
                        const float* xyz = points.data() + 3 * i;
                        if (Mesh::isFinitePoint(xyz))
                            indices[std::size_t(i)] =
                                current->addVertex(CVertex<float, 3>(xyz[0], xyz[1], xyz[2]));
                    }
                }
                face.clear();
                for (std::size_t k = start; k < end; ++k)
                    face.push_back(indices[std::size_t(set.values[k])]);
                current->addPolygon(face.data(), int(face.size()), -1);
            }
            start = end + 1;
        }
    }
    if (current != &mesh)
        finishMesh(*current);
    finishMesh(mesh);
}

// One curve per polyline of every line set; indices outside the points are
// dropped, and a polyline through a point that is not finite is left out.
void buildCurves(const ParsedFile& parsed, Kor::List<CParametricGeometry*>& curves)
{
    for (const ParsedFile::IndexedSet& set : parsed.lineSets) {
        if (set.block < 0)
            continue;
        const std::vector<float>& coordinates = parsed.blocks[set.block];
        const int pointCount = int(coordinates.size() / 3);
        Kor::List<CVertex<float, 3>> points;
        points.setCapacity(pointCount, false);
        for (int i = 0; i < pointCount; ++i)
            points.append(CVertex<float, 3>(coordinates[3 * i], coordinates[3 * i + 1],
                                            coordinates[3 * i + 2]));
        Kor::List<int> polyline;
        bool finite = true;
        for (std::size_t k = 0; k <= set.values.size(); ++k) {
            if (k == set.values.size() || set.values[k] == -1) {
                if (finite)
                    if (Fenwo::NurbsSurf* curve = indexedPolylineToCurve(points, polyline))
                        curves.append(curve);
                polyline.removeAll();
                finite = true;
            } else if (set.values[k] >= 0 && set.values[k] < pointCount) {
                polyline.append(set.values[k]);
                finite = finite && Mesh::isFinitePoint(coordinates.data() + 3 * set.values[k]);
            }
        }
    }
}

// The transforms passed over that would move geometry read, told in one
// line: how many, of which kinds, the first's line and the sets they would
// move.
void reportPassedTransforms(const CVRMLFile::PassedTransforms& passed)
{
    if (passed.count == 0)
        return;
    const bool one = passed.count == 1;
    std::cout << "passed over " << passed.count << (one ? " transform (" : " transforms (");
    const char* separator = "";
    for (int k = 0; k < CVRMLFile::kTransformKinds; ++k)
        if (passed.kinds & (1u << k)) {
            std::cout << separator << '\'' << CVRMLFile::transformNames[k] << '\'';
            separator = ", ";
        }
    const bool oneSet = passed.sets == 1;
    std::cout << (one ? "), on line " : "), the first on line ") << passed.firstLine
              << ", that would move " << passed.sets
              << (oneSet ? " face or line set: it is" : " face and line sets: they are")
              << " loaded where " << (oneSet ? "its" : "their") << " own coordinates put "
              << (oneSet ? "it" : "them") << std::endl;
}

} // namespace

CVRMLFile::CVRMLFile(const char* path)
{
    Platform::openRegularStream(in, path, std::ios::binary);
    chars = in.rdbuf();
}

bool CVRMLFile::isWord(const char* w) const
{
    return tokenClass == TokenWord && equalsNoCase(word, w);
}

bool CVRMLFile::findKeyword(const char* w)
{
    return findKeyword({w}) == 0;
}

int CVRMLFile::findKeyword(std::initializer_list<const char*> words)
{
    const int braces = braceDepth;
    const int brackets = bracketDepth;
    while (readToken()) {
        if (braceDepth < braces)
            return -1;
        if (tokenClass != TokenWord || braceDepth != braces || bracketDepth != brackets)
            continue;
        int k = 0;
        for (const char* w : words) {
            if (isWord(w))
                return k;
            ++k;
        }
    }
    return -1;
}

const char* const CVRMLFile::transformNames[kTransformKinds] = {
    "Transform", "Translation", "Rotation", "Scale", "MatrixTransform"};

namespace {

// The fields of transform nodes that move what they apply to, and their
// value counts.
enum TransformField { FieldTranslation, FieldRotation, FieldScale, FieldMatrix };
constexpr int kFieldValues[] = {3, 4, 3, 16};

int transformField(const CVRMLFile& f)
{
    if (f.isWord("translation"))
        return FieldTranslation;
    if (f.isWord("rotation"))
        return FieldRotation;
    if (f.isWord("scale") || f.isWord("scaleFactor"))
        return FieldScale;
    if (f.isWord("matrix"))
        return FieldMatrix;
    return -1;
}

} // namespace

void CVRMLFile::followTransforms(bool inVersion1)
{
    following = true;
    version1 = inVersion1;
}

void CVRMLFile::noteGeometryRead()
{
    if (!scopes.empty())
        ++scopes.back().sets;
}

CVRMLFile::PassedTransforms CVRMLFile::passedTransforms()
{
    while (!scopes.empty())
        closeScope();
    return passed;
}

void CVRMLFile::closeScope()
{
    const TransformScope scope = scopes.back();
    scopes.pop_back();
    // The sets read while it applied are moved by it, or by the transforms
    // inside it.
    const long moved = scope.moves ? scope.sets : scope.setsMoved;
    if (scope.moves && scope.sets > 0) {
        ++passed.count;
        passed.kinds |= 1u << scope.kind;
        if (passed.firstLine == 0 || scope.line < passed.firstLine)
            passed.firstLine = scope.line;
    }
    if (scopes.empty()) {
        passed.sets += moved;
    } else {
        scopes.back().sets += scope.sets;
        scopes.back().setsMoved += moved;
    }
}

void CVRMLFile::judgeFieldValue()
{
    // A rotation's axis alone moves nothing; its angle does.
    if (fieldKind == FieldRotation && fieldValues < 3)
        return;
    const double atDefault =
        fieldKind == FieldScale || (fieldKind == FieldMatrix && fieldValues % 5 == 0) ? 1.0 : 0.0;
    if (badNumber || number != atDefault)
        scopes.back().moves = true;
}

void CVRMLFile::followToken()
{
    if (tokenClass == TokenComment)
        return;
    if (fieldKind >= 0) {
        if (tokenClass == TokenNumber) {
            judgeFieldValue();
            if (++fieldValues == kFieldValues[fieldKind])
                fieldKind = -1;
            return;
        }
        scopes.back().moves = true; // a value missing, or one that is no number
        fieldKind = -1;
    }
    const int node = transformNode;
    transformNode = -1;
    switch (tokenClass) {
    case TokenWord:
        if (!scopes.empty()) {
            const TransformScope& top = scopes.back();
            if (top.ownBody && top.depth == braceDepth && top.bracketDepth == bracketDepth) {
                fieldKind = transformField(*this);
                fieldValues = 0;
                if (fieldKind >= 0)
                    return;
            }
        }
        for (int k = 0; k < (version1 ? kTransformKinds : 1); ++k)
            if (isWord(transformNames[k]))
                transformNode = k;
        break;
    case TokenOpenBrace:
        if (node >= 0)
            scopes.push_back({braceDepth, bracketDepth, line, node, true});
        break;
    case TokenCloseBrace:
        while (!scopes.empty() && scopes.back().depth > braceDepth) {
            TransformScope& top = scopes.back();
            if (version1 && top.ownBody) {
                // Its fields are read: from here on it applies to what
                // follows it in the node around it.
                top.ownBody = false;
                top.depth = braceDepth;
                break;
            }
            closeScope();
        }
        break;
    default:
        break;
    }
}

bool CVRMLFile::readToken()
{
    if (!readTokenText())
        return false;
    if (following)
        followToken();
    return true;
}

bool CVRMLFile::readTokenText()
{
    if (overlongLine > 0)
        return false;
    int c = chars->sgetc();
    while (c != kEof && isBlank(c)) {
        line += c == '\n';
        chars->sbumpc();
        c = chars->sgetc();
    }
    if (c == kEof)
        return false;
    chars->sbumpc();
    const int cls = characterClass(c);
    // A token that runs past kLongestToken characters ends the input: no
    // word, number, comment or string of a VRML file comes near, and the
    // rest of a text of one such token would be scanned to its end.
    std::size_t length = 1;
    const auto tooLong = [this, &length] {
        if (++length <= kLongestToken)
            return false;
        overlongLine = line;
        corrupt = true;
        return true;
    };
    if (cls == TokenClassLetter || c == '_') {
        tokenClass = TokenWord;
        word.assign(1, char(c));
        while (isNameCharacter(chars->sgetc())) {
            if (tooLong())
                return false;
            const char next = char(chars->sbumpc());
            if (word.size() <= std::size_t(kWordLength))
                word.push_back(next);
        }
        return true;
    }
    if (c == '#') {
        tokenClass = TokenComment;
        word.assign(1, '#');
        for (int next = chars->sgetc(); next != kEof && next != '\n'; next = chars->sgetc()) {
            if (tooLong())
                return false;
            chars->sbumpc();
            if (next != '\r' && word.size() < std::size_t(kWordLength))
                word.push_back(char(next));
        }
        return true;
    }
    if (cls == TokenClassNumber || (c == '.' && isDigit(chars->sgetc()))) {
        // The number runs up to a blank or a delimiter, and counts only as
        // a whole: "1.2.3" or "2x" is one bad number, not two numbers.
        tokenClass = TokenNumber;
        word.assign(1, char(c));
        bool whole = true;
        for (int next = chars->sgetc(); isNameCharacter(next) || next == '.';
             next = chars->sgetc()) {
            if (tooLong())
                return false;
            chars->sbumpc();
            if (word.size() <= std::size_t(kWordLength))
                word.push_back(char(next));
            else
                whole = false; // a number cut to the buffer would read as another
        }
        badNumber = !whole || !parseNumber(word, number);
        if (badNumber) {
            number = 0.0;
            if (badNumbers.show())
                firstBadNumbers.push_back(word);
        }
        return true;
    }
    if (c == '"') {
        tokenClass = TokenString;
        for (;;) {
            if (tooLong())
                return false;
            const int next = chars->sbumpc();
            if (next == kEof) {
                corrupt = true; // the input ends inside the string
                return false;
            }
            line += next == '\n';
            if (next == '"')
                return true;
            if (next == '\\' && chars->sbumpc() == '\n')
                ++line;
        }
    }
    character = char(c);
    switch (c) {
    case '{':
        tokenClass = TokenOpenBrace;
        ++braceDepth;
        break;
    case '}':
        tokenClass = TokenCloseBrace;
        if (--braceDepth < 0)
            corrupt = true;
        break;
    case '[':
        tokenClass = TokenOpenBracket;
        ++bracketDepth;
        break;
    case ']':
        tokenClass = TokenCloseBracket;
        if (--bracketDepth < 0)
            corrupt = true;
        break;
    default:
        tokenClass = TokenOther;
        break;
    }
    return true;
}

int CVRMLFile::nextGeometryNode()
{
    static const char* const names[] = {"Box",
                                        "Cone",
                                        "Cylinder",
                                        "ElevationGrid",
                                        "Extrusion",
                                        "IndexedFaceSet",
                                        "IndexedLineSet",
                                        "PointSet",
                                        "Sphere",
                                        "Text"};
    while (readToken()) {
        if (tokenClass != TokenWord)
            continue;
        if (isWord("DEF") || isWord("USE")) {
            if (!readToken())
                break;
            continue;
        }
        for (int k = 0; k < NodeEndOfFile; ++k)
            if (isWord(names[k]))
                return k;
    }
    return NodeEndOfFile;
}

bool readVRML(CFlatMesh& mesh, const char* path, Kor::List<CParametricGeometry*>& curves,
              Kor::List<CFlatMesh*>* meshes)
{
    if (path == nullptr)
        return false;
    CVRMLFile file(path);
    if (!file.isOpen()) {
        std::cout << "cannot open VRML file " << path << std::endl;
        return false;
    }
    if (containsNulByte(path)) {
        std::cout << "VRML file contains binary data: " << path << std::endl;
        return false;
    }

    const auto overlong = [&file, path] {
        if (file.overlongLine == 0)
            return false;
        std::cout << "a token on line " << file.overlongLine << " of VRML file " << path
                  << " runs past " << CVRMLFile::kLongestToken
                  << " characters, which no token of a VRML file does" << std::endl;
        return true;
    };
    bool found = false;
    while (!found && file.readToken())
        found = file.tokenClass == CVRMLFile::TokenComment && file.word.rfind("#VRML", 0) == 0;
    if (overlong())
        return false;
    if (!found) {
        std::cout << "no #VRML header line in " << path << std::endl;
        return false;
    }
    const bool version1 = file.word.rfind("#VRML V1", 0) == 0;
    // Only what follows the header line counts for the nesting.
    file.braceDepth = 0;
    file.bracketDepth = 0;
    file.corrupt = false;
    file.followTransforms(version1);

    ParsedFile parsed;
    const bool ok = version1 ? parseVersion1(file, parsed) : parseVersion2(file, parsed);
    if (overlong())
        return false;
    if (!ok || file.corrupt || file.braceDepth != 0 || file.bracketDepth != 0) {
        std::cout << "VRML file ends inside a node, list or string, or closes more than it "
                     "opens: "
                  << path << std::endl;
        return false;
    }

    for (const std::string& text : file.firstBadNumbers)
        std::cout << "bad stream sfter dVal =" << text << std::endl;
    file.badNumbers.reportHidden("bad stream sfter dVal");
    prepareMesh(mesh);
    FaceReport report;
    buildMeshes(parsed, mesh, meshes, report);
    report.report(parsed);
    reportPassedTransforms(file.passedTransforms());
    buildCurves(parsed, curves);
    return true;
}

Fenwo::NurbsSurf* indexedPolylineToCurve(const Kor::List<CVertex<float, 3>>& points,
                                         const Kor::List<int>& indices)
{
    const int m = indices.getCount();
    if (m < 2)
        return nullptr;
    for (int i = 0; i < m; ++i)
        if (indices[i] < 0 || indices[i] >= points.getCount())
            return nullptr;
    // Three distinct corners at least make a closed polyline; 0 1 0 is an
    // open path there and back.
    const bool closed = m >= 4 && indices[0] == indices[m - 1];
    const knots u = closed ? knots(m - 2, 1, 0.0, 1.0, knots::CyclicEnd, knots::Uniform)
                           : knots(m - 1, 1, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    auto curve = std::make_unique<Fenwo::NurbsSurf>(u, nullptr);
    const int count = curve->getUCount();
    for (int i = 0; i < count && i < m; ++i) {
        const CVertex<float, 3>& p = points[indices[i]];
        Vector xyz(3);
        for (int k = 0; k < 3; ++k)
            xyz[k] = p[k];
        curve->setControlPoint(i, 0, xyz);
    }
    return curve.release();
}
