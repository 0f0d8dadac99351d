#include "mesh/AutoFormReader.h"

#include "mesh/FlatMesh.h"
#include "support/ScratchDir.h"

#include <gtest/gtest.h>

#include <cfloat>
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

std::vector<int> corners(CFlatMesh& mesh, int p)
{
    std::vector<int> c;
    for (int k = 0; k < mesh.getFacetSize(p); ++k)
        c.push_back(mesh.getPolygonVertexIndex(p, k));
    return c;
}

void expectVertex(CFlatMesh& mesh, int i, float x, float y, float z)
{
    Point p;
    ASSERT_TRUE(mesh.getVertex(i, p));
    EXPECT_FLOAT_EQ(p[0], x);
    EXPECT_FLOAT_EQ(p[1], y);
    EXPECT_FLOAT_EQ(p[2], z);
}

// Points out of id order, normals, a facet with an unknown id, two
// post-variable entries outside the facet range.
const std::string kFile = "AutoForm mesh\n"
                          "POINTS\n"
                          "  30 1.0 1.0 0.0\n"
                          "  10 0.0 0.0 0.0\r\n"
                          "  20 1.0 0.0 -2.5e-1\n"
                          "NORMALS\n"
                          "  10 0 0 1\n"
                          "  20 0 0 1\n"
                          "FACETS\n"
                          "  1 10 20 30\n"
                          "  2 10 30 99\n"
                          "# Post variable: thinning\n"
                          "  0 0.125\n"
                          "  1 -2\n"
                          "  2 7\n"
                          "  -1 7\n"
                          "% end of data\n";

TEST(AutoFormReader, PointsFacetsAndPostVariable)
{
    CFlatMesh mesh;
    float* values = nullptr;
    testing::internal::CaptureStdout();
    const bool ok = readAutoForm(mesh, writeFile("mesh.af", kFile).c_str(), 0, &values);
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(ok);
    ASSERT_EQ(mesh.getVertexCount(true), 3);
    expectVertex(mesh, 2, 1.0f, 0.0f, -0.25f);
    // The facet on the unknown id 99 is left out (a corner at vertex 0 put
    // it where the file never had it), and the post variable has one entry
    // per facet read.
    ASSERT_EQ(mesh.getFacetCount(), 1);
    EXPECT_EQ(corners(mesh, 0), (std::vector<int>{1, 2, 0}));
    EXPECT_EQ(out, "Variable name= thinning\nskipping line=% end of data\n"
                   "left out 1 facets: facet 2 (line 11) names point 99, which no POINTS entry "
                   "before it defines\n");
    ASSERT_NE(values, nullptr);
    EXPECT_FLOAT_EQ(values[0], 0.125f);
    delete[] values;

    EXPECT_TRUE(mesh.modified);
    EXPECT_GT(mesh.edges.count, 0);
    EXPECT_FLOAT_EQ(mesh.getBoundingBox().min[2], -0.25f);
    EXPECT_DOUBLE_EQ(mesh.facetHash.cellSize, 12.0);
}

TEST(AutoFormReader, ValuesPointerAndSections)
{
    // Without a values pointer the section is still reported; without a
    // section the caller's pointer is untouched.
    CFlatMesh a;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(readAutoForm(a, writeFile("mesh.af", kFile).c_str(), 0, nullptr));
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Variable name= thinning"),
              std::string::npos);

    CFlatMesh b;
    float sentinel = 1.0f;
    float* values = &sentinel;
    const std::string plain = "POINTS\n1 0 0 0\n2 1 0 0\n3 0 1 0\nFACETS\n1 1 2 3\n";
    EXPECT_TRUE(readAutoForm(b, writeFile("plain.af", plain).c_str(), 0, &values));
    EXPECT_EQ(values, &sentinel);

    // Unset entries keep the "no value" mark; the array has one entry per
    // facet present when the section began, and only the last section's
    // array is handed out (the earlier one must not leak).
    const std::string twice = plain + "* Post variable:first\n0 1\n" + "FACETS\n2 3 2 1\n" +
                              "* Post variable:second\n1 5\n";
    CFlatMesh c;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(readAutoForm(c, writeFile("twice.af", twice).c_str(), 0, &values));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Variable name=first\nVariable name=second\n");
    ASSERT_NE(values, &sentinel);
    EXPECT_EQ(values[0], -FLT_MAX);
    EXPECT_FLOAT_EQ(values[1], 5.0f);
    delete[] values;
}

TEST(AutoFormReader, FacetsBeforePointsAndStrayNumbers)
{
    // Facets before any POINTS section name points not defined yet and are
    // left out; a number before any section is skipped with the rest of its
    // line; words other than the keywords keep the section.
    const std::string text = "17 18 19 20 21\n"
                             "FACETS\n"
                             "1 10 20 30\n"
                             "POINTS title 1 5 6 7\n"
                             "2 8 9 10\n";
    CFlatMesh mesh;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(readAutoForm(mesh, writeFile("early.af", text).c_str(), 0, nullptr));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "left out 1 facets: facet 1 (line 3) names point 10, which no POINTS entry before "
              "it defines\n");
    EXPECT_EQ(mesh.getFacetCount(), 0);
    ASSERT_EQ(mesh.getVertexCount(true), 2);
    expectVertex(mesh, 0, 5.0f, 6.0f, 7.0f);
    expectVertex(mesh, 1, 8.0f, 9.0f, 10.0f);
}

TEST(AutoFormReader, TruncatedOrCorruptInputFailsCleanly)
{
    CFlatMesh mesh;
    float* values = nullptr;
    EXPECT_FALSE(readAutoForm(mesh, "/nonexistent/folder/none.af", 0, &values));

    // Facets but no point: false, and no polygon is left that refers to a
    // missing vertex; the values pointer stays untouched.
    testing::internal::CaptureStdout();
    EXPECT_FALSE(readAutoForm(
        mesh, writeFile("nopoints.af", "FACETS\n1 1 2 3\n# Post variable: t\n0 1\n").c_str(), 0,
        &values));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(mesh.getFacetCount(), 0);
    EXPECT_EQ(values, nullptr);

    // Binary bytes are no AutoForm file.
    std::string binary(300, '\0');
    for (std::size_t i = 0; i < binary.size(); ++i)
        binary[i] = char((i * 53 + 7) % 256);
    CFlatMesh junk;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(readAutoForm(junk, writeFile("binary.af", binary).c_str(), 0, nullptr));
    testing::internal::GetCapturedStdout();

    // Entries cut short by their line end or holding a malformed number are
    // left out; the keyword on the next line still counts, a point defined
    // again in good form is taken, and a file cut off inside an entry keeps
    // what is complete.
    const std::string text = "POINTS\n1 0 0 0\n2 1 0\nFACETS\n3 1e999 0 0\n"
                             "POINTS\n2 1 0 0\n3 0 1 x\n3 0 1 0\nFACETS\n7 1 2 3\n8 1 2";
    CFlatMesh cut;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(readAutoForm(cut, writeFile("cut.af", text).c_str(), 0, nullptr));
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(cut.getVertexCount(true), 3);
    expectVertex(cut, 1, 1.0f, 0.0f, 0.0f);
    expectVertex(cut, 2, 0.0f, 1.0f, 0.0f);
    ASSERT_EQ(cut.getFacetCount(), 1);
    EXPECT_EQ(corners(cut, 0), (std::vector<int>{0, 1, 2}));
}

// Damage at every kind of place of a file: inside an entry and at entry
// boundaries, fields of the wrong type, ids past an int. Each read keeps
// what is whole and says in one line per cause how many points or facets
// it left out and where the first one was (a facet naming point 2147483648
// used to vanish without a word, one naming an unknown point to take vertex
// 0). Valid variants load whole without a word.
TEST(AutoFormReader, DamagedFileSaysWhatItLeftOut)
{
    const std::string good =
        "POINTS\n1 0 0 0\n2 1 0 0\n3 1 1 0\n4 0 1 0\nFACETS\n10 1 2 3\n11 1 3 4\n";
    auto replaced = [&](const std::string& what, const std::string& by) {
        std::string t = good;
        return t.replace(t.find(what), what.size(), by);
    };
    std::string skipped;
    for (int i = 0; i < 1000; ++i)
        skipped += "% remark\n";
    const struct {
        const char* damage;
        std::string text;
        int facets;
        std::string printed;
    } cases[] = {
        {"cut inside the last facet", good.substr(0, good.size() - 3), 1,
         "left out 1 facets: the file ends inside facet 11 (line 8)\n"},
        {"cut inside a point", good.substr(0, good.find("4 0 1 0") + 5), 0,
         "left out 1 points: the file ends inside point 4 (line 5)\n"},
        {"cut between facets", good.substr(0, good.find("11 1 3 4")), 1, ""},
        {"point id not an integer", replaced("4 0 1 0", "4.5 0 1 0"), 1,
         "left out 1 points: '4.5' of line 5 is not a point id\n"
         "left out 1 facets: facet 11 (line 8) names point 4, which no POINTS entry before it "
         "defines\n"},
        {"point id past int", replaced("4 0 1 0", "2147483648 0 1 0"), 1,
         "left out 1 points: '2147483648' of line 5 is not a point id\n"
         "left out 1 facets: facet 11 (line 8) names point 4, which no POINTS entry before it "
         "defines\n"},
        {"coordinate not a number", replaced("4 0 1 0", "4 0 abc 0"), 1,
         "left out 1 points: 'abc' of point 4 (line 5) is not a number\n"
         "left out 1 facets: facet 11 (line 8) uses point 4, which was left out\n"},
        {"coordinate missing", replaced("4 0 1 0", "4 0 1"), 1,
         "left out 1 points: point 4 (line 5) has 2 coordinates\n"
         "left out 1 facets: facet 11 (line 8) uses point 4, which was left out\n"},
        {"facet naming point 2147483648", replaced("11 1 3 4", "11 1 3 2147483648"), 1,
         "left out 1 facets: '2147483648' of facet 11 (line 8) is not a point id\n"},
        {"facet id not an integer", replaced("11 1 3 4", "11.5 1 3 4"), 1,
         "left out 1 facets: '11.5' of line 8 is not a facet id\n"},
        {"facet naming an undefined point", replaced("11 1 3 4", "11 1 3 7"), 1,
         "left out 1 facets: facet 11 (line 8) names point 7, which no POINTS entry before it "
         "defines\n"},
        {"facet of two points", replaced("10 1 2 3", "10 1 2"), 1,
         "left out 1 facets: facet 10 (line 7) names 2 points\n"},
        {"facets before their points",
         "FACETS\n10 1 2 3\n11 1 3 4\n" + good.substr(0, good.find("FACETS")), 0,
         "left out 2 facets, the first: facet 10 (line 2) names point 1, which no POINTS entry "
         "before it defines\n"},
        {"coordinate nan", replaced("4 0 1 0", "4 0 nan 0"), 1,
         "left out 1 facets with non-finite coordinates\n"},
        {"a thousand unknown lines", skipped + good, 2,
         "skipping line=% remark\nskipping line=% remark\nskipping line=% remark\n"
         "skipping line= [1000 times in all]\n"},
        // Valid variants.
        {"CR LF, tabs and trailing blanks", replaced("2 1 0 0\n", "2\t1 0  0 \r\n"), 2, ""},
        {"no final line end", good.substr(0, good.size() - 1), 2, ""},
        {"a byte-order mark", "\xef\xbb\xbf" + good, 2, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.damage);
        CFlatMesh mesh;
        testing::internal::CaptureStdout();
        const bool read = readAutoForm(mesh, writeFile("damaged.af", c.text).c_str(), 0, nullptr);
        const std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_TRUE(read);
        EXPECT_EQ(mesh.getFacetCount(), c.facets);
        EXPECT_EQ(printed, c.printed);
    }
}

} // namespace
