#include "mesh/NastranReader.h"

#include "mesh/BaseMesh.h"
#include "mesh/MeshIdMap.h"
#include "mesh/NumberText.h"

#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <fstream>
#include <iostream>
#include <string>

namespace {

// Lines are looked at up to this many characters; the rest of a longer line
// is dropped (not read as a line of its own).
constexpr std::size_t kLongestLine = 1024;

enum class CardKind { Other, SmallGrid, LargeGrid, Triangle, Quad };

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The lines of the file, with CR dropped and long lines cut; one line can be
// given back to be read again.
class CLineSource {
public:
    explicit CLineSource(std::istream& stream) : in(stream) {}

    bool next(std::string& line)
    {
        if (havePending) {
            havePending = false;
            line.swap(pending);
            return true;
        }
        if (!std::getline(in, line))
            return false;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() > kLongestLine)
            line.resize(kLongestLine);
        return true;
    }

    void giveBack(std::string& line)
    {
        pending.swap(line);
        havePending = true;
    }

private:
    std::istream& in;
    std::string pending;
    bool havePending = false;
};

// The line without its leading blanks.
std::string dropLeadingBlanks(const std::string& line)
{
    std::size_t i = 0;
    while (i < line.size() && isBlank(line[i]))
        ++i;
    return line.substr(i);
}

// Columns first .. last (counted from 1) of the line, clipped to its length,
// without the blanks around them.
std::string field(const std::string& line, std::size_t first, std::size_t last)
{
    if (first > line.size())
        return std::string();
    std::string f = line.substr(first - 1, last - first + 1);
    std::size_t a = 0, b = f.size();
    while (a < b && isBlank(f[a]))
        ++a;
    while (b > a && isBlank(f[b - 1]))
        --b;
    return f.substr(a, b - a);
}

// The card named in columns 1-8 of a card line. Blanks inside the name are
// dropped ("GRID   *" is "GRID*"); the name must match as a whole, so that
// "GRIDB", "CTRIA3*" or a free-field "GRID,1,..." is not read as a card of
// another layout.
CardKind cardKind(const std::string& card)
{
    std::string name;
    for (char c : field(card, 1, 8)) {
        if (isBlank(c))
            continue;
        name.push_back((c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c);
    }
    if (name == "GRID*")
        return CardKind::LargeGrid;
    if (name == "GRID")
        return CardKind::SmallGrid;
    if (name == "CTRIA3")
        return CardKind::Triangle;
    if (name == "CQUAD4")
        return CardKind::Quad;
    return CardKind::Other;
}

// An integer field: optional sign and digits only. False, value unchanged,
// for anything else (a blank field included).
bool parseInteger(const std::string& f, int& value)
{
    return parseWholeInteger(f, value);
}

// A real field in the Nastran forms: [sign] digits [. digits] followed by
// an optional exponent written "E", "D" or only its sign ("1.5-3" is
// 1.5e-3). A blank field is 0. False, value 0, for anything else or a value
// a float cannot hold; for the latter (a number beyond the range of a float,
// "1.+39") notFinite is set as well.
bool parseReal(const std::string& f, float& value, bool& notFinite)
{
    value = 0.0f;
    if (f.empty())
        return true;
    std::string s;
    std::size_t i = 0;
    if (f[i] == '+' || f[i] == '-') {
        if (f[i] == '-')
            s.push_back('-');
        ++i;
    }
    bool digits = false;
    while (i < f.size() && f[i] >= '0' && f[i] <= '9') {
        s.push_back(f[i++]);
        digits = true;
    }
    if (i < f.size() && f[i] == '.') {
        s.push_back(f[i++]);
        while (i < f.size() && f[i] >= '0' && f[i] <= '9') {
            s.push_back(f[i++]);
            digits = true;
        }
    }
    if (!digits)
        return false;
    if (i < f.size()) {
        const char c = f[i];
        if (c == 'e' || c == 'E' || c == 'd' || c == 'D')
            ++i;
        else if (c != '+' && c != '-')
            return false;
        s.push_back('e');
        if (i < f.size() && (f[i] == '+' || f[i] == '-')) {
            if (f[i] == '-')
                s.push_back('-');
            ++i;
        }
        bool exponentDigits = false;
        while (i < f.size() && f[i] >= '0' && f[i] <= '9') {
            s.push_back(f[i++]);
            exponentDigits = true;
        }
        if (!exponentDigits || i != f.size())
            return false;
    }
    double v = 0.0;
    if (!parseWholeFloatRange(s, v)) {
        notFinite = notFinite || isNonFiniteNumber(s);
        return false;
    }
    value = float(v);
    return true;
}

// Reads the next card line: a line whose first non-blank character is a
// letter, returned without its leading blanks. False at the end of the file.
bool nextCard(CLineSource& lines, std::string& card)
{
    std::string line;
    while (lines.next(line)) {
        card = dropLeadingBlanks(line);
        if (!card.empty() && isLetter(card[0]))
            return true;
    }
    return false;
}

// The continuation line of a large-field card: the next line that is not a
// comment, unless that line starts a card of its own (then it is given back
// and the result is false). Continuation lines keep their columns as they
// stand; their first field may be blank.
bool nextContinuation(CLineSource& lines, std::string& continuation)
{
    while (lines.next(continuation)) {
        const std::string text = dropLeadingBlanks(continuation);
        if (!text.empty() && text[0] == '$')
            continue;
        if (!text.empty() && isLetter(text[0])) {
            lines.giveBack(continuation);
            return false;
        }
        return true;
    }
    return false;
}

// The id map's mark of a grid whose coordinates are not all finite: it has
// no vertex, and the elements that use it are left out.
constexpr int kNonFiniteGrid = -2;

// Pass 1: every readable grid becomes a vertex and an entry of the id map. A
// grid without a readable id is skipped; an unreadable coordinate is 0, as is
// X3 of a large-field grid whose continuation line is missing; a coordinate
// beyond the range of a float marks the grid kNonFiniteGrid.
void readGrids(std::istream& in, Mesh::CBaseMesh& mesh, CMeshIdMap& ids)
{
    CLineSource lines(in);
    std::string card, continuation;
    while (nextCard(lines, card)) {
        const CardKind kind = cardKind(card);
        if (kind != CardKind::SmallGrid && kind != CardKind::LargeGrid)
            continue;
        int id = 0;
        float x[3] = {0.0f, 0.0f, 0.0f};
        bool valid;
        bool notFinite = false;
        if (kind == CardKind::LargeGrid) {
            valid = parseInteger(field(card, 9, 24), id);
            parseReal(field(card, 41, 56), x[0], notFinite);
            parseReal(field(card, 57, 72), x[1], notFinite);
            if (nextContinuation(lines, continuation))
                parseReal(field(continuation, 9, 24), x[2], notFinite);
        } else {
            valid = parseInteger(field(card, 9, 16), id);
            parseReal(field(card, 25, 32), x[0], notFinite);
            parseReal(field(card, 33, 40), x[1], notFinite);
            parseReal(field(card, 41, 48), x[2], notFinite);
        }
        if (!valid)
            continue;
        const Mesh::CBaseMesh::Point p(x[0], x[1], x[2]);
        ids.append(id, notFinite ? kNonFiniteGrid : mesh.addVertex(p));
    }
}

// Pass 2: every element whose grid fields are integers becomes a polygon;
// ids not in the map take vertex 0. An element on a grid that is not finite
// is left out (their count in one line).
void readElements(std::istream& in, Mesh::CBaseMesh& mesh, CMeshIdMap& ids)
{
    long nonFinite = 0;
    static constexpr std::size_t gridColumns[4] = {25, 33, 41, 49};
    CLineSource lines(in);
    std::string card;
    while (nextCard(lines, card)) {
        const CardKind kind = cardKind(card);
        if (kind != CardKind::Triangle && kind != CardKind::Quad)
            continue;
        const int corners = kind == CardKind::Triangle ? 3 : 4;
        int index[4] = {0, 0, 0, 0};
        bool valid = true;
        bool finite = true;
        for (int k = 0; k < corners && valid; ++k) {
            int id = 0;
            valid = parseInteger(field(card, gridColumns[k], gridColumns[k] + 7), id);
            const int v = ids.findIdIndex(id);
            finite = finite && v != kNonFiniteGrid;
            index[k] = v >= 0 ? v : 0;
        }
        if (valid && !finite)
            ++nonFinite;
        else if (valid)
            mesh.addPolygon(index, corners, -1);
    }
    Mesh::reportNonFiniteFacets(nonFinite);
}

} // namespace

bool readNastran(Mesh::CBaseMesh& mesh, const char* path)
{
    if (path == nullptr)
        return false;
    // Both passes' streams are opened before anything is added, so that a
    // file that vanishes between them cannot leave half a mesh.
    std::ifstream grids(path, std::ios::binary);
    std::ifstream elements(path, std::ios::binary);
    if (!grids || !elements) {
        std::cout << "cannot open Nastran file " << path << std::endl;
        return false;
    }

    CMeshIdMap ids;
    readGrids(grids, mesh, ids);
    grids.close();
    // A file without grid points (not a bulk data file at all, or one cut
    // off before its grids) is a failed read, not an empty mesh.
    if (ids.count() == 0) {
        std::cout << "no GRID card in Nastran file " << path << std::endl;
        return false;
    }
    mesh.facetHash.setCellSize(kFiniteElementHashCellSize);
    ids.sortById();
    readElements(elements, mesh, ids);

    mesh.buildTopology();
    mesh.computeBoundingBox();
    mesh.modified = true;
    return true;
}
