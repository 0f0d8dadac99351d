#include "mesh/NastranReader.h"

#include "mesh/FlatMesh.h"

#include "support/RealData.h"
#include "support/ScratchDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Point = CVertex<float, 3>;

std::string writeFile(const char* name, const std::string& text)
{
    // The test case's own folder: cases run side by side.
    const std::string path = mwtest::scratchPath(name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

Point vertex(CFlatMesh& mesh, int i)
{
    Point p;
    EXPECT_TRUE(mesh.getVertex(i, p)) << "vertex " << i;
    return p;
}

void expectVertex(CFlatMesh& mesh, int i, float x, float y, float z)
{
    const Point p = vertex(mesh, i);
    EXPECT_FLOAT_EQ(p[0], x) << "vertex " << i;
    EXPECT_FLOAT_EQ(p[1], y) << "vertex " << i;
    EXPECT_FLOAT_EQ(p[2], z) << "vertex " << i;
}

std::vector<int> corners(CFlatMesh& mesh, int p)
{
    std::vector<int> c;
    for (int k = 0; k < mesh.getFacetSize(p); ++k)
        c.push_back(mesh.getPolygonVertexIndex(p, k));
    return c;
}

const std::string kGrids = "GRID           1       0      0.      0.      0.\n"
                           "GRID           2       0      1.      0.      0.\n"
                           "GRID           3       0      1.      1.      0.\n"
                           "GRID           4       0      0.      1.      0.\n"
                           "GRID           5       0      2.      0.      0.\n";
const std::string kElements = "CQUAD4        10       1       1       2       3       4\n"
                              "CTRIA3        11       1       2       5       3\n";

TEST(NastranReader, GridCardsInAllForms)
{
    // Small field, large field in both spellings, lower case, leading blanks,
    // and the Nastran number forms including implicit exponents; grids 7
    // and 8 in a system moved +100 in x.
    const std::string text =
        "$ comment GRID 99 0 1. 1. 1.\n"
        "CORD2R         1            100.      0.      0.    100.      0.      1.\n"
        "+           101.      0.      0.\n"
        "GRID           7       1  1.5+2 -2.5E-1   .125\n"
        "GRID*                  8               1           150.0          -0.25\n"
        "*             .125\n"
        "GRID   *               9                1.42569-13                 -6.-4\n"
        "*G1           3.0D+1\n"
        "  grid          10       0      1.      2.      3.\n"
        "GRID          11       0                   -7\n"
        "ENDDATA\n";
    CFlatMesh mesh;
    ASSERT_TRUE(readNastran(mesh, writeFile("forms.bdf", text).c_str()));
    ASSERT_EQ(mesh.getVertexCount(true), 5);
    expectVertex(mesh, 0, 250.0f, -0.25f, 0.125f);
    expectVertex(mesh, 1, 250.0f, -0.25f, 0.125f); // the same point in large field
    expectVertex(mesh, 2, 1.42569e-13f, -6e-4f, 30.0f);
    expectVertex(mesh, 3, 1.0f, 2.0f, 3.0f);
    expectVertex(mesh, 4, 0.0f, 0.0f, -7.0f); // blank fields are 0
    EXPECT_EQ(mesh.getFacetCount(), 0);
    EXPECT_TRUE(mesh.modified);
    EXPECT_DOUBLE_EQ(mesh.facetHash.cellSize, 12.0);
    EXPECT_DOUBLE_EQ(mesh.facetHash.inverseCellSize, 1.0 / 12.0);
}

// Grids in rectangular, cylindrical and spherical systems, and in one whose
// reference system is cylindrical, in each card format, at known places.
TEST(NastranReader, GridsArePlacedInTheirCoordinateSystems)
{
    const std::string text =
        "CORD2R*                1                              0.              0.\n"
        "*                    10.              0.              1.             10.\n"
        "*                     1.              1.             10.\n"
        "CORD2C,2,0,0.,0.,0.,0.,0.,1.,+\n+,1.,0.,0.\n"
        "CORD2S         3       0      0.      0.      5.      0.      0.      6.\n"
        "+             1.      0.      5.\n"
        "CORD2R         4       2      2.     90.      0.      2.     90.      1.\n"
        "+             2.    180.      0.\n"
        "GRID           1       1      1.      2.      3.\n"
        "GRID,2,2,2.,90.,4.\n"
        "GRID           3       3      2.     90.     90.\n"
        "GRID           4       4      1.      0.      0.\n";
    CFlatMesh mesh;
    ASSERT_TRUE(readNastran(mesh, writeFile("systems.bdf", text).c_str()));
    const float expected[4][3] = {
        {1.0f, 3.0f, 8.0f}, // from (0, 0, 10): x along x, y along -z, z along y
        {0.0f, 2.0f, 4.0f}, // R 2 at 90 degrees
        {0.0f, 2.0f, 5.0f}, // R 2 at 90 degrees from z, 90 from x, about (0, 0, 5)
        // From (0, 2, 0), x along (-1, -1, 0) / sqrt 2: A and C at R 2 and
        // 90 and 180 degrees of system 2.
        {-0.70710678f, 1.29289322f, 0.0f},
    };
    ASSERT_EQ(mesh.getVertexCount(true), 4);
    for (int i = 0; i < 4; ++i)
        for (int d = 0; d < 3; ++d)
            EXPECT_NEAR(vertex(mesh, i)[d], expected[i][d], 1e-5f) << i << " " << d;
}

TEST(NastranReader, ElementsBeforeGridsReadTheSame)
{
    CFlatMesh first, last;
    ASSERT_TRUE(readNastran(first, writeFile("gridsfirst.bdf", kGrids + kElements).c_str()));
    ASSERT_TRUE(readNastran(last, writeFile("gridslast.bdf", kElements + kGrids).c_str()));
    ASSERT_EQ(first.getFacetCount(), 2);
    EXPECT_EQ(corners(first, 0), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(corners(first, 1), (std::vector<int>{1, 4, 2}));
    for (int p = 0; p < 2; ++p)
        EXPECT_EQ(corners(first, p), corners(last, p));
    // Topology and box are in place: the shared edge 2-3 pairs two facets.
    EXPECT_EQ(first.edges.count, 7);
    EXPECT_FLOAT_EQ(first.getBoundingBox().max[0], 2.0f);
    EXPECT_FLOAT_EQ(first.getBoundingBox().max[1], 1.0f);
}

TEST(NastranReader, UnknownAndMalformedGridIdsOfElements)
{
    // Grid id 77 is not defined: the element is left out (a corner at vertex
    // 0 put it where the file never had it). A card with a blank or
    // non-numeric grid field is cut or corrupt and is left out too; one line
    // per cause says how many and where the first was.
    const std::string text = kGrids + "CTRIA3        20       1       2      77       3\n"
                                      "CQUAD4        21       1       1       2       3\n"
                                      "CTRIA3        22       1       2      x5       3\n";
    CFlatMesh mesh;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(readNastran(mesh, writeFile("unknown.bdf", text).c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "left out 2 facets, the first: grid 4 of CQUAD4 21 (line 7) is blank\n"
              "left out 1 facets: CTRIA3 20 (line 6) names GRID 77, which no GRID card defines\n");
    EXPECT_EQ(mesh.getFacetCount(), 0);
}

TEST(NastranReader, SimilarCardNamesAreNotReadAsGridsOrElements)
{
    // Cards whose names only begin like GRID, CTRIA3 or CQUAD4 have other
    // layouts; reading their columns as a grid or an element would add wrong
    // points and polygons. A free-field card and one of tab-separated fields
    // are GRID cards of their own formats and are read; a large-field
    // element is read in its own columns (here its grids are blank); shell
    // elements of other kinds are told as left out.
    const std::string text = kGrids + "GRIDB          8       0      9.      9.      9.\n"
                                      "GRID,9,0,9.,9.,9.\n"
                                      "GRID\t10\t0\t9.\t9.\t9.\n"
                                      "CTRIA3*               30               1               1\n"
                                      "CQUAD8        31       1       1       2       3       4\n"
                                      "CTRIA6        32       1       1       2       3\n";
    CFlatMesh mesh;
    ASSERT_TRUE(readNastran(mesh, writeFile("similar.bdf", text).c_str()));
    EXPECT_EQ(mesh.getVertexCount(true), 7);
    expectVertex(mesh, 6, 9.0f, 9.0f, 9.0f);
    EXPECT_EQ(mesh.getFacetCount(), 0);
}

TEST(NastranReader, LargeFieldGridWithoutContinuationDoesNotSwallowNextCard)
{
    // The continuation of grid 1 is missing (X3 is 0); the next GRID card
    // must still be read as a grid, and a continuation separated by a
    // comment is still found.
    const std::string text =
        "GRID*                  1                              1.              2.\n"
        "GRID           2       0      4.      5.      6.\n"
        "GRID*                  3                              7.              8.\n"
        "$ comment between card and continuation\n"
        "*                     9.\n"
        "GRID*                  4                              1.              1.\n";
    CFlatMesh mesh;
    ASSERT_TRUE(readNastran(mesh, writeFile("nocont.bdf", text).c_str()));
    ASSERT_EQ(mesh.getVertexCount(true), 4);
    expectVertex(mesh, 0, 1.0f, 2.0f, 0.0f);
    expectVertex(mesh, 1, 4.0f, 5.0f, 6.0f);
    expectVertex(mesh, 2, 7.0f, 8.0f, 9.0f);
    expectVertex(mesh, 3, 1.0f, 1.0f, 0.0f); // cut off at the end of the file
}

TEST(NastranReader, LongLineTailIsNotReadAsCard)
{
    // A line longer than 1024 characters is one line: its tail must not be
    // read as a card of its own. CR LF line ends are accepted.
    const std::string tail = "GRID           9       0      9.      9.      9.";
    const std::string text = "$" + std::string(1023, 'x') + tail + "\r\n" + "PARAM" +
                             std::string(1019, ' ') + tail + "\r\n" +
                             "GRID           1       0      1.      2.      3.\r\n";
    CFlatMesh mesh;
    ASSERT_TRUE(readNastran(mesh, writeFile("longline.bdf", text).c_str()));
    ASSERT_EQ(mesh.getVertexCount(true), 1);
    expectVertex(mesh, 0, 1.0f, 2.0f, 3.0f);
}

TEST(NastranReader, UnreadableInputFailsCleanly)
{
    CFlatMesh mesh;
    EXPECT_FALSE(readNastran(mesh, "/nonexistent/folder/none.bdf"));
    EXPECT_FALSE(readNastran(mesh, nullptr));

    // No grid at all: a text without cards, elements alone, binary bytes.
    EXPECT_FALSE(readNastran(mesh, writeFile("empty.bdf", "").c_str()));
    EXPECT_FALSE(readNastran(mesh, writeFile("elementsonly.bdf", kElements).c_str()));
    std::string binary(600, '\0');
    for (std::size_t i = 0; i < binary.size(); ++i)
        binary[i] = char((i * 37 + 11) % 256);
    EXPECT_FALSE(readNastran(mesh, writeFile("binary.bdf", binary).c_str()));
    EXPECT_EQ(mesh.getVertexCount(true), 0);
    EXPECT_EQ(mesh.getFacetCount(), 0);

    // Grid ids and coordinates that are not numbers or out of range: the
    // grid is left out, and so are the elements on it (a coordinate once
    // read as 0 put them where the file never had them). A coordinate too
    // large for a float leaves its grid without a vertex; a file whose
    // grids are all of that kind or left out is still read, and every loss
    // is told.
    const std::string corrupt = "GRID        abc        0      1.      2.      3.\n"
                                "GRID         9.5       0      1.      2.      3.\n"
                                "GRID           1       0      0.     2.x     1+3\n"
                                "GRID           2       0   1.e50      0.      0.\n"
                                "CTRIA3        1       1       1       1       1\n"
                                "CTRIA3        2       1       2       2       2\n";
    testing::internal::CaptureStdout();
    ASSERT_TRUE(readNastran(mesh, writeFile("corrupt.bdf", corrupt).c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "left out 1 facets with non-finite coordinates\n"
              "left out 3 grids, the first: the GRID card of line 1 has the id 'abc', not an "
              "integer\n"
              "left out 1 facets: CTRIA3 1 (line 5) uses GRID 1, which was left out\n");
    EXPECT_EQ(mesh.getVertexCount(true), 0);
    EXPECT_EQ(mesh.getFacetCount(), 0);

    // A file cut off inside an element card keeps what is complete.
    const std::string whole = kGrids + kElements;
    CFlatMesh cut;
    ASSERT_TRUE(readNastran(cut, writeFile("cut.bdf", whole.substr(0, whole.size() - 12)).c_str()));
    EXPECT_EQ(cut.getVertexCount(true), 5);
    EXPECT_EQ(cut.getFacetCount(), 1);
}

namespace {

// The 8-column fields of a small-field card line, without their blanks.
std::vector<std::string> smallFields(const std::string& line)
{
    std::vector<std::string> fields;
    for (std::size_t at = 0; at < line.size(); at += 8) {
        std::string f = line.substr(at, 8);
        f.erase(0, f.find_first_not_of(' '));
        f.erase(f.find_last_not_of(' ') + 1);
        fields.push_back(f);
    }
    return fields;
}

// Every card line of text rewritten by `rewrite`, line by line.
template <class Rewrite> std::string rewritten(const std::string& text, Rewrite rewrite)
{
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        out += rewrite(text.substr(at, end - at)) + "\n";
        at = end + 1;
    }
    return out;
}

// The fields of a small-field line joined by `separator` ("BEGIN BULK",
// which has no fields, as it stands).
std::string joinedFields(const std::string& line, const char* separator)
{
    if (line.rfind("BEGIN", 0) == 0)
        return line;
    std::string out;
    for (const std::string& f : smallFields(line))
        out += (out.empty() ? "" : separator) + f;
    return out;
}

// A small-field line as an editor that keeps tab stops of 8 writes it: the
// blanks that end a field become a tab.
std::string tabsAtStops(const std::string& line)
{
    std::string out;
    for (std::size_t at = 0; at < line.size(); at += 8) {
        const std::string chunk = line.substr(at, 8);
        const std::size_t last = chunk.find_last_not_of(' ');
        out += chunk.size() == 8 && last + 1 < 8 ? chunk.substr(0, last + 1) + "\t" : chunk;
    }
    return out;
}

// n CORD2R cards, system k moved by 1 along x in system k - 1 (the last in
// the first for a ring).
std::string systemChain(int n, bool ring)
{
    std::string text;
    for (int k = 1; k <= n; ++k)
        text += "CORD2R," + std::to_string(k) + "," +
                std::to_string(k > 1 ? k - 1 : (ring ? n : 0)) + ",1.,0.,0.,1.,0.,1.\n,2.,0.,0.\n";
    return text;
}

} // namespace

// Damage at every kind of place of a bulk data file: inside a card and at
// each card boundary, fields of the wrong type, counts past an int. Each
// read keeps what is whole and says in one line per cause how many grids or
// facets it left out and where the first one was (the file used to load in
// part without a word, elements on a missing grid at vertex 0). Valid
// variants of the formats (tabs, free field, large field, CR LF, trailing
// blanks, lower case) load whole, without a word.
TEST(NastranReader, DamagedBulkDataSaysWhatItLeftOut)
{
    const std::string head = "BEGIN BULK\n";
    const std::string good = head + kGrids + kElements + "ENDDATA\n";
    const std::string grid3 = "GRID           3       0      1.      1.      0.\n"; // line 4
    const std::string tria = "CTRIA3        11       1       2       5       3\n";   // line 8
    const std::string cutShort = "the Nastran file ends before the ENDDATA of its BEGIN BULK "
                                 "(line 1): it may be cut short\n";
    auto replaced = [&](const std::string& what, const std::string& by) {
        std::string s = good;
        return s.replace(s.find(what), what.size(), by);
    };
    const struct {
        const char* damage;
        std::string text;
        bool read;
        int facets;
        std::string printed;
        bool asGood; // the very corners of the good text
    } cases[] = {
        {"cut inside the last element", good.substr(0, good.find(tria) + 36), true, 1,
         "left out 1 facets: the file ends inside CTRIA3 11 (line 8)\n" + cutShort, false},
        {"cut inside a grid's number", good.substr(0, good.find(grid3) + 31), true, 0,
         "left out 1 grids: the file ends inside GRID 3 (line 4)\n" + cutShort, false},
        {"cut between elements", good.substr(0, good.find(tria)), true, 1, cutShort, false},
        {"cut before ENDDATA", good.substr(0, good.find("ENDDATA")), true, 2, cutShort, true},
        {"cut after BEGIN BULK", head, false, 0, "", false},
        {"coordinate not a number",
         replaced(grid3, "GRID           3       0      1.     abc      0.\n"), true, 0,
         "left out 1 grids: field 'abc' of GRID 3 (line 4) is not a number\n"
         "left out 2 facets, the first: CQUAD4 10 (line 7) uses GRID 3, which was left out\n",
         false},
        {"grid id not an integer",
         replaced(grid3, "GRID         3.0       0      1.      1.      0.\n"), true, 0,
         "left out 1 grids: the GRID card of line 4 has the id '3.0', not an integer\n"
         "left out 2 facets, the first: CQUAD4 10 (line 7) names GRID 3, which no GRID card "
         "defines\n",
         false},
        {"grid id past int", replaced(grid3, "GRID,2147483648,0,1.,1.,0.\n"), true, 0,
         "left out 1 grids: the GRID card of line 4 has the id '2147483648', not an integer\n"
         "left out 2 facets, the first: CQUAD4 10 (line 7) names GRID 3, which no GRID card "
         "defines\n",
         false},
        {"coordinate system not an integer",
         replaced(grid3, "GRID           3     0.5      1.      1.      0.\n"), true, 0,
         "left out 1 grids: field '0.5' of GRID 3 (line 4) is not a coordinate system id\n"
         "left out 2 facets, the first: CQUAD4 10 (line 7) uses GRID 3, which was left out\n",
         false},
        {"element grid not an integer",
         replaced(tria, "CTRIA3        11       1       2      x5       3\n"), true, 1,
         "left out 1 facets: field 'x5' of CTRIA3 11 (line 8) is not a grid id\n", false},
        {"element grid blank", replaced(tria, "CTRIA3        11       1       2       5\n"), true,
         1, "left out 1 facets: grid 3 of CTRIA3 11 (line 8) is blank\n", false},
        {"element grid past int", replaced(tria, "CTRIA3,11,1,2,5,2147483648\n"), true, 1,
         "left out 1 facets: field '2147483648' of CTRIA3 11 (line 8) is not a grid id\n", false},
        {"element id not an integer",
         replaced(tria, "CTRIA3       1.1       1       2       5       3\n"), true, 1,
         "left out 1 facets: the CTRIA3 card of line 8 has the id '1.1', not an integer\n", false},
        {"element naming an undefined grid",
         replaced(tria, "CTRIA3        11       1       2      77       3\n"), true, 1,
         "left out 1 facets: CTRIA3 11 (line 8) names GRID 77, which no GRID card defines\n",
         false},
        {"element of a kind not read",
         replaced(tria, "CTRIA6        11       1       2       5       3\n"), true, 1,
         "left out 1 facets: CTRIA6 of line 8 is an element of a kind not read (CTRIA3 and "
         "CQUAD4 are)\n",
         false},
        // A grid in a system the file does not place was placed as if in
        // the basic one, unsaid.
        {"a grid in a system no card defines",
         replaced(grid3, "GRID           3       7      1.      1.      0.\n"), true, 0,
         "left out 1 grids: GRID 3 (line 4) is in coordinate system 7, which no CORD2R, CORD2C "
         "or CORD2S card of the file defines\n"
         "left out 2 facets, the first: CQUAD4 10 (line 7) uses GRID 3, which was left out\n",
         false},
        {"a grid in a system by grid points",
         replaced(grid3, "CORD1R         3       1       2       4\n"
                         "GRID           3       3      1.      1.      0.\n"),
         true, 0,
         "left out 1 grids: GRID 3 (line 5) is in coordinate system 3 (CORD1R 3 (line 4)) is a "
         "CORD1R 3 (line 4), placed by grid points, which this reader does not do\n"
         "left out 2 facets, the first: CQUAD4 10 (line 8) uses GRID 3, which was left out\n"
         "passed over 1 card of kinds not read ('CORD1R'), the first on line 4\n",
         false},
        // A ring told each system the whole chain: 8,000 systems took
        // 3.65 GB. Each now names its ring, or the first system of its
        // references that cannot be placed.
        {"a system whose reference leads back to it",
         replaced(grid3, "CORD2R,1,2,0.,0.,0.,0.,0.,1.\n,1.,0.,0.\nCORD2R,2,1,0.,0.,0.,0.,0.,1.\n"
                         ",1.,0.,0.\nGRID,3,2,1.,1.,0.\n"),
         true, 0,
         "left out 1 grids: GRID 3 (line 8) is in coordinate system 2 (CORD2R 2 (line 6)), whose "
         "reference systems lead back to it (a ring of 2 systems)\n"
         "left out 2 facets, the first: CQUAD4 10 (line 11) uses GRID 3, which was left out\n",
         false},
        {"a ring of 20000 systems",
         replaced(grid3, systemChain(20000, true) + "GRID,3,1,1.,1.,0.\n"), true, 0,
         "left out 1 grids: GRID 3 (line 40004) is in coordinate system 1 (CORD2R 1 (line 4)), "
         "whose reference systems lead back to it (a ring of 20000 systems)\n"
         "left out 2 facets, the first: CQUAD4 10 (line 40007) uses GRID 3, which was left out\n",
         false},
        {"a system of points on one line",
         replaced(grid3, "CORD2R,1,,0.,0.,0.,0.,0.,1.\n,0.,0.,2.\nGRID,3,1,1.,1.,0.\n"), true, 0,
         "left out 1 grids: GRID 3 (line 6) is in coordinate system 1 (CORD2R 1 (line 4)), whose "
         "points A, B and C do not stand apart, off one line\n"
         "left out 2 facets, the first: CQUAD4 10 (line 9) uses GRID 3, which was left out\n",
         false},
        {"coordinate past the range of a float",
         replaced(grid3, "GRID           3       0   1.+39      1.      0.\n"), true, 0,
         "left out 2 facets with non-finite coordinates\n", false},
        // A damaged card name made an element pass as a card of another
        // kind, and a line that starts no card was passed over, unsaid.
        {"a damaged card name",
         replaced(tria, "CTRIB3        11       1       2       5       3\n"), true, 1,
         "passed over 1 card of kinds not read ('CTRIB3'), the first on line 8\n", false},
        {"a line that starts no card",
         replaced(tria, "1TRIA3        11       1       2       5       3\n"), true, 1,
         "passed over 1 card of kinds not read ('1TRIA3'), the first on line 8\n", false},
        // A card's line end lost put the next card into fields that were
        // not read: it was gone without a word.
        {"a grid's line end lost",
         replaced(kGrids + "CQUAD4", kGrids.substr(0, kGrids.size() - 1) + "CQUAD4"), true, 0,
         "left out 1 grids: field 'CQUAD4' of GRID 5 (line 6) is not a number\n"
         "left out 1 facets: CTRIA3 11 (line 7) uses GRID 5, which was left out\n",
         false},
        {"an element's line end lost", replaced("4\nCTRIA3", "4CTRIA3"), true, 0,
         "left out 1 facets: field 'CTRIA3' of CQUAD4 10 (line 7) is not a number\n", false},
        {"cards before BEGIN BULK and of other kinds",
         "SOL 101\nCEND\n" + replaced(tria, tria + "PSHELL         1       1      1.\n"), true, 2,
         "passed over 1 card of kinds not read ('PSHELL'), the first on line 11\n", false},
        // Valid variants.
        {"tabs at the field stops", rewritten(good, tabsAtStops), true, 2, "", true},
        {"one tab between fields",
         rewritten(good, [](const std::string& l) { return joinedFields(l, "\t"); }), true, 2, "",
         true},
        {"free field", rewritten(good, [](const std::string& l) { return joinedFields(l, ","); }),
         true, 2, "", true},
        {"CR LF and trailing blanks",
         rewritten(good, [](const std::string& l) { return l + "   \r"; }), true, 2, "", true},
        {"large field",
         replaced(grid3, "GRID*                  3               0              1.              "
                         "1.\n*                     0.\n"),
         true, 2, "", true},
        {"large field element",
         replaced(tria, "CTRIA3*               11               1               2               "
                        "5\n*                      3\n"),
         true, 2, "", true},
        {"lower case and leading blanks",
         replaced(tria, "  ctria3        11       1       2       5       3\n"), true, 2, "", true},
        {"comments after the fields", replaced(grid3, "GRID,3,0,1.,1.,0. $ a corner, free\n"), true,
         2, "", true},
        {"a comment after fixed fields",
         replaced(tria, "CTRIA3        11       1       2       5       3$ last\n"), true, 2, "",
         true},
        {"a byte-order mark before the first card", "\xef\xbb\xbf" + kGrids + kElements, true, 2,
         "", true},
        {"a grid in a moved and turned system",
         replaced(grid3,
                  "CORD2R         5       0      1.      0.      0.      1.      0.      1.\n"
                  "              1.      1.      0.\n"
                  "GRID           3       5      1.      0.      0.\n"),
         true, 2, "", true},
        // 12,000 systems each in the one before overflowed the stack.
        {"a chain of 20000 systems",
         replaced(grid3, systemChain(20000, false) + "GRID,3,20000,-19999.,1.,0.\n"), true, 2, "",
         true},
        {"a coordinate too small for a double",
         replaced(grid3, "GRID           3       0      1.      1.  1.-400\n"), true, 2, "", true},
    };
    CFlatMesh base;
    ASSERT_TRUE(readNastran(base, writeFile("good.bdf", good).c_str()));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.damage);
        CFlatMesh mesh;
        testing::internal::CaptureStdout();
        const bool read = readNastran(mesh, writeFile("damaged.bdf", c.text).c_str());
        const std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_EQ(read, c.read);
        EXPECT_EQ(mesh.getFacetCount(), c.facets);
        if (c.read) {
            EXPECT_EQ(printed, c.printed);
        }
        if (!c.asGood)
            continue;
        ASSERT_EQ(mesh.getFacetCount(), base.getFacetCount());
        for (int p = 0; p < base.getFacetCount(); ++p) {
            ASSERT_EQ(mesh.getFacetSize(p), base.getFacetSize(p));
            for (int k = 0; k < base.getFacetSize(p); ++k) {
                Point a, b;
                ASSERT_TRUE(base.getFacetCorner(p, k, a) && mesh.getFacetCorner(p, k, b));
                EXPECT_TRUE(a == b) << p << " " << k;
            }
        }
    }
}

// ---- Files written by other programs ----
// The expected counts come from a separate scan of the card names, not from
// this reader: one vertex per GRID or GRID* card (the reader merges none),
// one polygon per CTRIA3 or CQUAD4 card.

fs::path realFile(const char* name)
{
    return fs::path(MW_REALDATA_DIR) / "nastran" / name;
}

// Every polygon has distinct corners, so no element fell back to vertex 0,
// and every edge is shorter than maxEdge.
void expectSoundPolygons(CFlatMesh& mesh, float maxEdge)
{
    int bad = 0;
    float longest = 0.0f;
    for (int p = 0; p < mesh.getFacetCount(); ++p) {
        const std::vector<int> c = corners(mesh, p);
        for (std::size_t k = 0; k < c.size(); ++k) {
            for (std::size_t j = k + 1; j < c.size(); ++j)
                bad += c[k] == c[j];
            const Point a = vertex(mesh, c[k]);
            const Point b = vertex(mesh, c[(k + 1) % c.size()]);
            longest = std::max(longest, std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]));
        }
    }
    EXPECT_EQ(bad, 0);
    EXPECT_LT(longest, maxEdge);
}

TEST(NastranReaderRealData, PlateAndWing)
{
    MW_REALDATA_DIR_OR_SKIP(dir, "nastran");

    CFlatMesh plate;
    ASSERT_TRUE(readNastran(plate, realFile("plate_py.dat").string().c_str()));
    EXPECT_EQ(plate.getVertexCount(true), 231);
    EXPECT_EQ(plate.getFacetCount(), 200);
    const CBox<float, 3> pb = plate.getBoundingBox();
    EXPECT_FLOAT_EQ(pb.min[0], 0.0f);
    EXPECT_FLOAT_EQ(pb.max[0], 2.0f);
    EXPECT_FLOAT_EQ(pb.min[1], 0.0f);
    EXPECT_FLOAT_EQ(pb.max[1], 1.0f);
    EXPECT_FLOAT_EQ(pb.max[2] - pb.min[2], 0.0f);
    expectSoundPolygons(plate, 0.2f);

    // Elements come before the grids.
    CFlatMesh wing;
    ASSERT_TRUE(readNastran(wing, realFile("0012_20.bdf").string().c_str()));
    EXPECT_EQ(wing.getVertexCount(true), 2112);
    EXPECT_EQ(wing.getFacetCount(), 2108 + 4);
    const CBox<float, 3> wb = wing.getBoundingBox();
    EXPECT_NEAR(wb.max[0] - wb.min[0], 1.0f, 1e-3f);  // chord
    EXPECT_NEAR(wb.max[1] - wb.min[1], 10.0f, 1e-3f); // span
    EXPECT_LT(wb.max[2] - wb.min[2], 0.2f);
    expectSoundPolygons(wing, 2.0f);
}

TEST(NastranReaderRealData, BlendedWingBodyWithoutBulkHeader)
{
    MW_REALDATA_DIR_OR_SKIP(dir, "nastran");
    CFlatMesh mesh;
    ASSERT_TRUE(readNastran(mesh, realFile("bwb_geom.blk").string().c_str()));
    EXPECT_EQ(mesh.getVertexCount(true), 10135);
    EXPECT_EQ(mesh.getFacetCount(), 9236 + 136);
    expectVertex(mesh, 0, 742.959f, 270.0f, 89.4568f);
    EXPECT_GT(mesh.edges.count, 0);
    expectSoundPolygons(mesh, 500.0f);
}

TEST(NastranReaderRealData, MixedFieldsInLocalCoordinateSystem)
{
    MW_REALDATA_DIR_OR_SKIP(dir, "nastran");
    CFlatMesh mesh;
    ASSERT_TRUE(readNastran(mesh, realFile("bend_A1_105.bdf").string().c_str()));
    EXPECT_EQ(mesh.getVertexCount(true), 3028 + 627);
    EXPECT_EQ(mesh.getFacetCount(), 3534 + 6);
    // Grid 11031 is the first grid, a large-field card with an implicit
    // exponent, at (-145.524, 0, 582.085) in system 1 (a large-field
    // CORD2R): origin (0, 1200, 0), z along (291.048, 1164.17, 0) / 1200,
    // y along -z of the basic system. It was left in its own coordinates.
    const Point first = vertex(mesh, 0);
    EXPECT_NEAR(first[0], 0.0f, 1e-3f);
    EXPECT_NEAR(first[1], 1800.0f, 1e-3f);
    EXPECT_NEAR(first[2], 0.0f, 1e-3f);
    // Small-field grids of the same system fit to the large-field ones: no
    // element stretches across the part.
    expectSoundPolygons(mesh, 100.0f);
}

} // namespace
