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
    // and the Nastran number forms including implicit exponents.
    const std::string text =
        "$ comment GRID 99 0 1. 1. 1.\n"
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
    expectVertex(mesh, 0, 150.0f, -0.25f, 0.125f);
    expectVertex(mesh, 1, 150.0f, -0.25f, 0.125f); // the same point in large field
    expectVertex(mesh, 2, 1.42569e-13f, -6e-4f, 30.0f);
    expectVertex(mesh, 3, 1.0f, 2.0f, 3.0f);
    expectVertex(mesh, 4, 0.0f, 0.0f, -7.0f); // blank fields are 0
    EXPECT_EQ(mesh.getFacetCount(), 0);
    EXPECT_TRUE(mesh.modified);
    EXPECT_DOUBLE_EQ(mesh.facetHash.cellSize, 12.0);
    EXPECT_DOUBLE_EQ(mesh.facetHash.inverseCellSize, 1.0 / 12.0);
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
    // Grid id 77 is not defined: that corner takes vertex 0. A card with a
    // blank or non-numeric grid field is cut or corrupt and is skipped.
    const std::string text = kGrids + "CTRIA3        20       1       2      77       3\n"
                                      "CQUAD4        21       1       1       2       3\n"
                                      "CTRIA3        22       1       2      x5       3\n";
    CFlatMesh mesh;
    ASSERT_TRUE(readNastran(mesh, writeFile("unknown.bdf", text).c_str()));
    ASSERT_EQ(mesh.getFacetCount(), 1);
    EXPECT_EQ(corners(mesh, 0), (std::vector<int>{1, 0, 2}));
}

TEST(NastranReader, SimilarCardNamesAreNotReadAsGridsOrElements)
{
    // Cards whose names only begin like GRID, CTRIA3 or CQUAD4, and
    // free-field cards, have other layouts; reading their columns as a grid
    // or an element would add wrong points and polygons.
    const std::string text = kGrids + "GRIDB          8       0      9.      9.      9.\n"
                                      "GRID,9,0,9.,9.,9.\n"
                                      "GRID\t10\t0\t9.\t9.\t9.\n"
                                      "CTRIA3*               30               1               1\n"
                                      "CQUAD8        31       1       1       2       3       4\n"
                                      "CTRIA6        32       1       1       2       3\n";
    CFlatMesh mesh;
    ASSERT_TRUE(readNastran(mesh, writeFile("similar.bdf", text).c_str()));
    EXPECT_EQ(mesh.getVertexCount(true), 5);
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
    // grid is skipped, the coordinate is 0. A coordinate too large for a
    // float leaves its grid without a vertex and its element out (it was
    // read as 0, and the element kept).
    const std::string corrupt = "GRID        abc        0      1.      2.      3.\n"
                                "GRID         9.5       0      1.      2.      3.\n"
                                "GRID           1       0      0.     2.x     1+3\n"
                                "GRID           2       0   1.e50      0.      0.\n"
                                "CTRIA3        1       1       1       1       1\n"
                                "CTRIA3        2       1       1       2       1\n";
    testing::internal::CaptureStdout();
    ASSERT_TRUE(readNastran(mesh, writeFile("corrupt.bdf", corrupt).c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStdout().rfind(
                  "left out 1 facets with non-finite coordinates\n", 0),
              0u);
    ASSERT_EQ(mesh.getVertexCount(true), 1);
    expectVertex(mesh, 0, 0.0f, 0.0f, 1000.0f);
    EXPECT_EQ(mesh.getFacetCount(), 1);

    // A file cut off inside an element card keeps what is complete.
    const std::string whole = kGrids + kElements;
    CFlatMesh cut;
    ASSERT_TRUE(readNastran(cut, writeFile("cut.bdf", whole.substr(0, whole.size() - 12)).c_str()));
    EXPECT_EQ(cut.getVertexCount(true), 5);
    EXPECT_EQ(cut.getFacetCount(), 1);
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
    // exponent; coordinates are kept in the grid's own system (CP 1).
    expectVertex(mesh, 0, -145.524f, -1.42569e-13f, 582.085f);
    // Small-field grids of the same system fit to the large-field ones: no
    // element stretches across the part.
    expectSoundPolygons(mesh, 100.0f);
}

} // namespace
