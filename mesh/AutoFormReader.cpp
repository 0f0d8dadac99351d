#include "mesh/AutoFormReader.h"

#include "mesh/BaseMesh.h"
#include "mesh/CharScanner.h"
#include "mesh/MeshIdMap.h"
#include "mesh/NastranReader.h"
#include "mesh/NumberText.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iostream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

enum class Section { None, Points, Normals, Facets, PostVariable };

constexpr float kNoValue = -FLT_MAX; // -3.4028235e38
constexpr const char* kPostVariableMark = "Post variable:";

using Traits = std::istream::traits_type;

bool isSpace(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Takes the word that starts here (up to white space) and the blanks after
// it on the same line.
std::string takeWord(std::istream& in)
{
    std::string word;
    for (int c = in.peek(); c != Traits::eof() && !isSpace(c); c = in.peek())
        word.push_back(Traits::to_char_type(in.get()));
    for (int c = in.peek(); c == ' ' || c == '\t'; c = in.peek())
        in.get();
    return word;
}

// The next token of an entry, without crossing the line end: false (nothing
// taken beyond blanks) when the line or the file ends first.
bool takeEntryToken(std::istream& in, std::string& token)
{
    int c = in.peek();
    while (c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f') {
        in.get();
        c = in.peek();
    }
    if (c == Traits::eof() || c == '\n')
        return false;
    token = takeWord(in);
    return true;
}

bool takeInteger(std::istream& in, int& value)
{
    std::string t;
    return takeEntryToken(in, t) && parseWholeInteger(t, value);
}

// A finite number that a float can hold.
bool takeReal(std::istream& in, double& value)
{
    std::string t;
    return takeEntryToken(in, t) && parseWholeFloatRange(t, value);
}

bool takeReals(std::istream& in, double* values, int n)
{
    for (int k = 0; k < n; ++k)
        if (!takeReal(in, values[k]))
            return false;
    return true;
}

// The coordinates of a point: false when one is cut short or malformed;
// notFinite tells of a number that is NaN or beyond the range of a float.
bool takeCoordinates(std::istream& in, double* xyz, bool& notFinite)
{
    notFinite = false;
    for (int k = 0; k < 3; ++k) {
        std::string t;
        if (!takeEntryToken(in, t))
            return false;
        if (!parseWholeFloatRange(t, xyz[k])) {
            if (!isNonFiniteNumber(t))
                return false;
            notFinite = true;
        }
    }
    return true;
}

// The id map's mark of a point whose coordinates are not all finite: it has
// no vertex, and the facets that use it are left out.
constexpr int kNonFinitePoint = -2;

void skipRestOfLine(std::istream& in)
{
    in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
}

// The reading state of one file.
struct CAutoFormReader {
    Mesh::CBaseMesh& mesh;
    bool wantValues;
    CMeshIdMap ids;
    Section section = Section::None;
    int pointsRead = 0;
    long nonFiniteFacets = 0;
    std::vector<int> facetsAdded;
    std::unique_ptr<float[]> values; // the last post-variable array
    int valueCount = 0;

    CAutoFormReader(Mesh::CBaseMesh& m, bool keepValues) : mesh(m), wantValues(keepValues) {}

    void readKeyword(std::istream& in)
    {
        const std::string word = takeWord(in);
        if (word == "POINTS") {
            section = Section::Points;
        } else if (word == "NORMALS") {
            section = Section::Normals;
        } else if (word == "FACETS") {
            section = Section::Facets;
            ids.sortById();
        }
    }

    // One entry of the current section; false when it is cut short or holds
    // a malformed number (the caller then skips the rest of the line).
    bool readEntry(std::istream& in)
    {
        int id = 0;
        double xyz[3];
        switch (section) {
        case Section::None:
            return false;
        case Section::Points: {
            bool notFinite = false;
            if (!takeInteger(in, id) || !takeCoordinates(in, xyz, notFinite))
                return false;
            if (notFinite) {
                ids.append(id, kNonFinitePoint);
                return true;
            }
            const Mesh::CBaseMesh::Point p{float(xyz[0]), float(xyz[1]), float(xyz[2])};
            ids.append(id, mesh.addVertex(p));
            ++pointsRead;
            return true;
        }
        case Section::Normals:
            return takeInteger(in, id) && takeReals(in, xyz, 3);
        case Section::Facets: {
            int corner[3];
            bool finite = true;
            if (!takeInteger(in, id))
                return false;
            for (int k = 0; k < 3; ++k) {
                if (!takeInteger(in, id))
                    return false;
                const int v = ids.findIdIndex(id);
                finite = finite && v != kNonFinitePoint;
                corner[k] = v >= 0 ? v : 0;
            }
            if (!finite) {
                ++nonFiniteFacets;
                return true;
            }
            const int p = mesh.addPolygon(corner, 3, -1);
            if (p >= 0)
                facetsAdded.push_back(p);
            return true;
        }
        case Section::PostVariable: {
            double value = 0.0;
            if (!takeInteger(in, id) || !takeReal(in, value))
                return false;
            if (values && id >= 0 && id < valueCount)
                values[id] = float(value);
            return true;
        }
        }
        return false;
    }

    void readOtherLine(std::istream& in)
    {
        std::string line;
        std::getline(in, line);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::size_t mark = line.find(kPostVariableMark);
        if (mark == std::string::npos) {
            std::cout << "skipping line=" << line << std::endl;
            return;
        }
        section = Section::PostVariable;
        std::cout << "Variable name=" << line.substr(mark + std::strlen(kPostVariableMark))
                  << std::endl;
        if (!wantValues)
            return;
        // Only the array of the last section reaches the caller; an earlier
        // one is released here rather than lost.
        valueCount = std::max(0, mesh.getFacetCount());
        values = std::make_unique<float[]>(std::size_t(valueCount));
        std::fill(values.get(), values.get() + valueCount, kNoValue);
    }

    void read(std::istream& in)
    {
        for (;;) {
            char next = 0;
            const int cls = peekTokenClass(in, &next, true);
            if (!in.good() || in.peek() == Traits::eof())
                return;
            if (cls == TokenClassLetter) {
                readKeyword(in);
            } else if (cls == TokenClassNumber) {
                if (!readEntry(in))
                    skipRestOfLine(in);
            } else {
                readOtherLine(in);
            }
        }
    }
};

} // namespace

bool readAutoForm(Mesh::CBaseMesh& mesh, const char* path, int /*reserved*/, float** values)
{
    if (path == nullptr)
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::cout << "cannot open AutoForm file " << path << std::endl;
        return false;
    }

    CAutoFormReader reader(mesh, values != nullptr);
    reader.read(in);
    Mesh::reportNonFiniteFacets(reader.nonFiniteFacets);

    // Facets without any point would refer to a vertex that does not exist.
    if (reader.pointsRead == 0) {
        if (!reader.facetsAdded.empty())
            mesh.deleteFacets(reader.facetsAdded.data(), int(reader.facetsAdded.size()), false);
        std::cout << "no POINTS in AutoForm file " << path << std::endl;
        return false;
    }
    mesh.facetHash.setCellSize(kFiniteElementHashCellSize);
    if (values != nullptr && reader.values)
        *values = reader.values.release();

    mesh.buildTopology();
    mesh.computeBoundingBox();
    mesh.modified = true;
    return true;
}
