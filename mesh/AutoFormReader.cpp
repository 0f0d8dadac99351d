#include "mesh/AutoFormReader.h"

#include "mesh/BaseMesh.h"
#include "mesh/CharScanner.h"
#include "mesh/MeshIdMap.h"
#include "mesh/NastranReader.h"
#include "mesh/NumberText.h"
#include "mesh/ReaderReport.h"
#include "platform/RegularFile.h"

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
// An entry is an id and a few numbers, a section keyword or a post
// variable's name: a line of this many characters is none, and a text
// without line ends would be read whole as one line.
constexpr std::size_t kLongestLine = std::size_t(1) << 20;

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// The id map's mark of a point whose coordinates are not all finite: it has
// no vertex, and the facets that use it are left out. A point left out for
// a coordinate that is not a number has a mark below it.
constexpr int kNonFinitePoint = -2;
constexpr int kPointLeftOut = -3;

// One line of the file split into its words: each word with the offset
// where it starts, so that the rest of the line from any word can be had.
struct CLineWords {
    std::string text;
    std::vector<std::size_t> starts, ends;

    void split()
    {
        starts.clear();
        ends.clear();
        std::size_t i = 0;
        while (i < text.size()) {
            while (i < text.size() && isBlank(text[i]))
                ++i;
            if (i == text.size())
                break;
            starts.push_back(i);
            while (i < text.size() && !isBlank(text[i]))
                ++i;
            ends.push_back(i);
        }
    }
    std::size_t count() const { return starts.size(); }
    std::string word(std::size_t k) const { return text.substr(starts[k], ends[k] - starts[k]); }
    std::string rest(std::size_t k) const { return text.substr(starts[k]); }
};

std::string quoted(const std::string& text)
{
    return "'" + text + "'";
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
    long lineNumber = 0;
    bool lastLine = false; // the line is the file's last and has no line end
    long overlongLine = 0; // a line past kLongestLine that ended the read
    Mesh::CLeftOutRecords pointsLeftOut{"points"};
    Mesh::CLeftOutRecords cutShort, unreadableFacets, undefinedPoints, onPointsLeftOut;
    Mesh::CRepeatedWarning otherLines;

    CAutoFormReader(Mesh::CBaseMesh& m, bool keepValues) : mesh(m), wantValues(keepValues) {}

    std::string lineText() const { return "line " + std::to_string(lineNumber); }

    void readKeyword(const std::string& word)
    {
        if (word == "POINTS") {
            section = Section::Points;
        } else if (word == "NORMALS") {
            section = Section::Normals;
        } else if (word == "FACETS") {
            section = Section::Facets;
            ids.sortById();
        }
    }

    // A point entry: id x y z. Left out, and counted, when the id is not an
    // integer, a coordinate is not a number, or the line or the file ends
    // first; a point whose id was read is then marked as left out.
    void readPoint(const CLineWords& words, std::size_t& k)
    {
        const std::string idText = words.word(k++);
        int id = 0;
        if (!parseWholeInteger(idText, id)) {
            pointsLeftOut.add([&] {
                return quoted(idText) + " of " + lineText() + " is not a point id";
            });
            k = words.count();
            return;
        }
        const std::string place = "point " + std::to_string(id) + " (" + lineText() + ")";
        std::string fault;
        double xyz[3] = {0.0, 0.0, 0.0};
        bool notFinite = false;
        for (int c = 0; c < 3 && fault.empty(); ++c) {
            if (k == words.count()) {
                fault = lastLine ? "the file ends inside " + place
                                 : place + " has " + std::to_string(c) + " coordinates";
                break;
            }
            const std::string t = words.word(k++);
            if (parseWholeFloatRange(t, xyz[c]))
                continue;
            if (isNonFiniteNumber(t))
                notFinite = true;
            else
                fault = quoted(t) + " of " + place + " is not a number";
        }
        if (!fault.empty()) {
            pointsLeftOut.add([&] { return fault; });
            ids.append(id, kPointLeftOut);
            k = words.count();
            return;
        }
        if (notFinite) {
            ids.append(id, kNonFinitePoint);
            return;
        }
        const Mesh::CBaseMesh::Point p{float(xyz[0]), float(xyz[1]), float(xyz[2])};
        ids.append(id, mesh.addVertex(p));
        ++pointsRead;
    }

    // A facet entry: facet-id id1 id2 id3. Left out, and counted with its
    // cause, when an id is not an integer, the line or the file ends first,
    // or it names a point the file has not defined so far or one left out.
    void readFacet(const CLineWords& words, std::size_t& k)
    {
        const std::string facetText = words.word(k++);
        int facetId = 0;
        if (!parseWholeInteger(facetText, facetId)) {
            unreadableFacets.add([&] {
                return quoted(facetText) + " of " + lineText() + " is not a facet id";
            });
            k = words.count();
            return;
        }
        const std::string place = "facet " + std::to_string(facetId) + " (" + lineText() + ")";
        // The whole entry is read before its points are looked up, so that
        // a facet left out for its points takes its line with it.
        int id[3];
        for (int c = 0; c < 3; ++c) {
            if (k == words.count()) {
                if (lastLine)
                    cutShort.add([&] { return "the file ends inside " + place; });
                else
                    unreadableFacets.add(
                        [&] { return place + " names " + std::to_string(c) + " points"; });
                return;
            }
            const std::string t = words.word(k++);
            if (!parseWholeInteger(t, id[c])) {
                unreadableFacets.add(
                    [&] { return quoted(t) + " of " + place + " is not a point id"; });
                k = words.count();
                return;
            }
        }
        int corner[3];
        bool finite = true;
        for (int c = 0; c < 3; ++c) {
            const int v = ids.findIdIndex(id[c]);
            if (v == -1) {
                undefinedPoints.add([&] {
                    return place + " names point " + std::to_string(id[c]) +
                           ", which no POINTS entry before it defines";
                });
                return;
            }
            if (v <= kPointLeftOut) {
                onPointsLeftOut.add([&] {
                    return place + " uses point " + std::to_string(id[c]) + ", which was left out";
                });
                return;
            }
            finite = finite && v != kNonFinitePoint;
            corner[c] = v;
        }
        if (!finite) {
            ++nonFiniteFacets;
            return;
        }
        const int p = mesh.addPolygon(corner, 3, -1);
        if (p >= 0)
            facetsAdded.push_back(p);
    }

    // An entry of a section whose values are dropped (normals) or kept
    // without a facet (post variable): a malformed one is passed over with
    // the rest of its line.
    void readOtherEntry(const CLineWords& words, std::size_t& k)
    {
        int id = 0;
        double v[3];
        const int reals = section == Section::Normals ? 3 : 1;
        bool ok = parseWholeInteger(words.word(k++), id);
        for (int c = 0; ok && c < reals; ++c)
            ok = k < words.count() && parseWholeFloatRange(words.word(k++), v[c]);
        if (!ok) {
            k = words.count();
            return;
        }
        if (section == Section::PostVariable && values && id >= 0 && id < valueCount)
            values[id] = float(v[0]);
    }

    void readOtherLine(const std::string& line)
    {
        const std::size_t mark = line.find(kPostVariableMark);
        if (mark == std::string::npos) {
            if (otherLines.show())
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
        CLineWords words;
        Platform::BoundedLines lines(in, kLongestLine, kLongestLine);
        for (;;) {
            const Platform::LineRead got = lines.next(words.text);
            if (got == Platform::LineRead::tooLong)
                overlongLine = lineNumber + 1;
            if (got != Platform::LineRead::line)
                break;
            ++lineNumber;
            lastLine = lines.lastUnterminated();
            // A byte-order mark, as editors put it before a UTF-8 text, is
            // no part of the first line.
            if (lineNumber == 1 && words.text.compare(0, 3, "\xef\xbb\xbf") == 0)
                words.text.erase(0, 3);
            words.split();
            for (std::size_t k = 0; k < words.count();) {
                const int cls = characterClass(static_cast<unsigned char>(words.text[words.starts[k]]));
                if (cls == TokenClassLetter) {
                    readKeyword(words.word(k++));
                } else if (cls == TokenClassNumber) {
                    switch (section) {
                    case Section::None:
                        // Numbers before any section are passed over with
                        // the rest of their line.
                        k = words.count();
                        break;
                    case Section::Points:
                        readPoint(words, k);
                        break;
                    case Section::Facets:
                        readFacet(words, k);
                        break;
                    case Section::Normals:
                    case Section::PostVariable:
                        readOtherEntry(words, k);
                        break;
                    }
                } else {
                    std::string rest = words.rest(k);
                    if (!rest.empty() && rest.back() == '\r')
                        rest.pop_back();
                    readOtherLine(rest);
                    k = words.count();
                }
            }
        }
    }

    void report() const
    {
        if (overlongLine > 0)
            std::cout << "line " << overlongLine << " is longer than " << kLongestLine
                      << " characters, which no line of an AutoForm file is: the file is read "
                         "no further"
                      << std::endl;
        otherLines.reportHidden("skipping line=");
        Mesh::reportNonFiniteFacets(nonFiniteFacets);
        pointsLeftOut.report();
        cutShort.report();
        unreadableFacets.report();
        undefinedPoints.report();
        onPointsLeftOut.report();
    }
};

} // namespace

bool readAutoForm(Mesh::CBaseMesh& mesh, const char* path, int /*reserved*/, float** values)
{
    if (path == nullptr)
        return false;
    std::ifstream in;
    Platform::openRegularStream(in, path, std::ios::binary);
    if (!in) {
        std::cout << "cannot open AutoForm file " << path << std::endl;
        return false;
    }
    // Points become vertices as they are read: a line too long for the file
    // to be one is found before the mesh changes.
    if (const long line = Platform::firstLineLongerThan(path, kLongestLine)) {
        std::cout << "line " << line << " of AutoForm file " << path << " is longer than "
                  << kLongestLine << " characters, which no line of an AutoForm file is"
                  << std::endl;
        return false;
    }

    CAutoFormReader reader(mesh, values != nullptr);
    reader.read(in);

    // Facets without any point would refer to a vertex that does not exist.
    if (reader.pointsRead == 0) {
        if (!reader.facetsAdded.empty())
            mesh.deleteFacets(reader.facetsAdded.data(), int(reader.facetsAdded.size()), false);
        std::cout << "no POINTS in AutoForm file " << path << std::endl;
        return false;
    }
    reader.report();
    mesh.facetHash.setCellSize(kFiniteElementHashCellSize);
    if (values != nullptr && reader.values)
        *values = reader.values.release();

    mesh.buildTopology();
    mesh.computeBoundingBox();
    mesh.modified = true;
    return true;
}
