#include "mesh/VrmlReader.h"

#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "mesh/CharScanner.h"
#include "mesh/FlatMesh.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
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

// Everything a file holds for the mesh and the curves, collected before
// anything is added so that a faulty file changes nothing.
struct ParsedFile {
    std::vector<std::vector<float>> blocks; // point blocks, x y z per point
    struct IndexedSet {
        int block = -1;          // its points; -1 when it has none
        int group = 0;           // sets of one group share a mesh
        std::vector<int> values; // coordIndex values, -1 separators kept
    };
    std::vector<IndexedSet> faceSets;
    std::vector<IndexedSet> lineSets;
    std::map<std::string, int> namedBlocks; // DEF name -> block

    int addBlock(const std::vector<double>& numbers)
    {
        std::vector<float> points;
        const std::size_t n = numbers.size() / 3 * 3; // a point needs all three coordinates
        points.reserve(n);
        for (std::size_t i = 0; i < n; ++i)
            points.push_back(toCoordinate(numbers[i]));
        blocks.push_back(std::move(points));
        return int(blocks.size()) - 1;
    }
};

// Reads a field value of numbers: a bracketed list, or a single value of
// `single` numbers written without brackets. Other tokens inside a list
// (commas, words) are passed over. False when the input ends inside the list
// or a brace turns up in it.
bool readNumbers(CVRMLFile& f, std::vector<double>& out, int single)
{
    out.clear();
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
            if (f.tokenClass == CVRMLFile::TokenNumber)
                out.push_back(f.number);
        }
    }
    for (int taken = 0; f.tokenClass == CVRMLFile::TokenNumber;) {
        out.push_back(f.number);
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
    const bool ok = readFields(f, {"point"}, [&](int) { return readNumbers(f, numbers, 3); });
    return ok ? parsed.addBlock(numbers) : -2;
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
    auto onField = [&](int k) {
        if (k == 1)
            return readCoordField(f, parsed, set.block);
        if (!readNumbers(f, numbers, 1))
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
    std::ifstream in(path, std::ios::binary);
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

// Adds the face sets to the meshes: a new mesh (with a mesh list) whenever a
// set of another group adds its first face. A block's points are added to a
// mesh when its first face there is added, all but those with a coordinate
// that is not finite: a face with such a corner is left out (their count in
// one line).
void buildMeshes(const ParsedFile& parsed, CFlatMesh& mesh, Kor::List<CFlatMesh*>* meshes)
{
    CFlatMesh* current = &mesh;
    bool currentUsed = false;
    int currentGroup = 0;
    // The mesh vertex of each point of each block in the current mesh (-1
    // for a point that is not finite); empty while the block is not added.
    std::vector<std::vector<int>> added(parsed.blocks.size());
    std::vector<int> face;
    long nonFinite = 0;
    for (const ParsedFile::IndexedSet& set : parsed.faceSets) {
        static const std::vector<float> noPoints;
        const std::vector<float>& points = set.block >= 0 ? parsed.blocks[set.block] : noPoints;
        const long pointCount = long(points.size() / 3);
        const std::size_t n = set.values.size();
        std::size_t start = 0;
        while (start < n) {
            std::size_t end = start;
            while (end < n && set.values[end] != -1)
                ++end;
            // values[start, end) is one face; the last may lack its -1.
            bool valid = true;
            bool finite = true;
            for (std::size_t k = start; k < end; ++k) {
                const int v = set.values[k];
                if (v < 0 || v >= pointCount) {
                    std::cout << "referenced Vertex: " << v << " at " << (k - start)
                              << " not found." << std::endl;
                    valid = false;
                } else if (!Mesh::isFinitePoint(points.data() + 3 * std::size_t(v))) {
                    finite = false;
                }
            }
            if (valid && end - start > 2 && !finite)
                ++nonFinite;
            if (valid && end - start > 2 && finite) {
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
    Mesh::reportNonFiniteFacets(nonFinite);
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

} // namespace

CVRMLFile::CVRMLFile(const char* path) : in(path, std::ios::binary) {}

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

bool CVRMLFile::readToken()
{
    int c = in.peek();
    while (c != kEof && isBlank(c)) {
        in.get();
        c = in.peek();
    }
    if (c == kEof)
        return false;
    in.get();
    const int cls = characterClass(c);
    if (cls == TokenClassLetter || c == '_') {
        tokenClass = TokenWord;
        word.assign(1, char(c));
        while (isNameCharacter(in.peek())) {
            const char next = char(in.get());
            if (word.size() <= std::size_t(kWordLength))
                word.push_back(next);
        }
        return true;
    }
    if (c == '#') {
        tokenClass = TokenComment;
        word.assign(1, '#');
        for (int next = in.peek(); next != kEof && next != '\n'; next = in.peek()) {
            in.get();
            if (next != '\r' && word.size() < std::size_t(kWordLength))
                word.push_back(char(next));
        }
        return true;
    }
    if (cls == TokenClassNumber || (c == '.' && isDigit(in.peek()))) {
        tokenClass = TokenNumber;
        in.unget();
        const std::streampos before = in.tellg();
        double value = 0.0;
        in >> value;
        if (in.fail() || in.bad()) {
            std::cout << "bad stream sfter dVal =" << value << std::endl;
            in.clear();
            // A lone sign or point must not stop the reader on the spot.
            if (in.tellg() == before)
                in.get();
        }
        number = value;
        return true;
    }
    if (c == '"') {
        tokenClass = TokenString;
        for (;;) {
            const int next = in.get();
            if (next == kEof) {
                corrupt = true; // the input ends inside the string
                return false;
            }
            if (next == '"')
                return true;
            if (next == '\\')
                in.get();
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

    bool found = false;
    while (!found && file.readToken())
        found = file.tokenClass == CVRMLFile::TokenComment && file.word.rfind("#VRML", 0) == 0;
    if (!found) {
        std::cout << "no #VRML header line in " << path << std::endl;
        return false;
    }
    const bool version1 = file.word.rfind("#VRML V1", 0) == 0;
    // Only what follows the header line counts for the nesting.
    file.braceDepth = 0;
    file.bracketDepth = 0;
    file.corrupt = false;

    ParsedFile parsed;
    const bool ok = version1 ? parseVersion1(file, parsed) : parseVersion2(file, parsed);
    if (!ok || file.corrupt || file.braceDepth != 0 || file.bracketDepth != 0) {
        std::cout << "VRML file ends inside a node, list or string, or closes more than it "
                     "opens: "
                  << path << std::endl;
        return false;
    }

    prepareMesh(mesh);
    buildMeshes(parsed, mesh, meshes);
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
