#include "mesh/StlFormat.h"

#include "mesh/FlatMesh.h"
#include "support/RealData.h"
#include "support/ScratchDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Point = CVertex<float, 3>;
using Triangles = std::vector<std::vector<float>>; // 9 floats each

std::string tempPath(const char* name)
{
    return mwtest::scratchPath(name);
}

std::string writeFile(const char* name, const std::string& bytes)
{
    const std::string path = tempPath(name);
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    return path;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::uint32_t getUint32(const std::string& s, std::size_t at)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(s[at + i]);
    return v;
}

float getFloat(const std::string& s, std::size_t at)
{
    const std::uint32_t bits = getUint32(s, at);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

// A binary STL image: header text padded to 80 bytes, count, records with
// zero normals.
std::string binaryImage(std::string s, const Triangles& tris, bool bigEndian = false)
{
    auto put = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            s.push_back(char((v >> (bigEndian ? 24 - 8 * i : 8 * i)) & 0xffu));
    };
    s.resize(80, ' ');
    put(std::uint32_t(tris.size()));
    for (const auto& t : tris) {
        s.append(12, '\0');
        for (float f : t) {
            std::uint32_t bits;
            std::memcpy(&bits, &f, 4);
            put(bits);
        }
        s.append(2, '\0');
    }
    return s;
}

void expectCorner(Mesh::CBaseMesh& mesh, int facet, int k, float x, float y, float z, float tol = 0)
{
    Point p;
    ASSERT_TRUE(mesh.getFacetCorner(facet, k, p));
    EXPECT_NEAR(p.data[0], x, tol);
    EXPECT_NEAR(p.data[1], y, tol);
    EXPECT_NEAR(p.data[2], z, tol);
}

// readSTL of a file with the given bytes; returns what it printed.
std::string readCaptured(CFlatMesh& mesh, const std::string& bytes, bool& ok)
{
    const std::string path = writeFile("read.stl", bytes);
    testing::internal::CaptureStdout();
    ok = readSTL(mesh, path.c_str(), false);
    return testing::internal::GetCapturedStdout();
}

const Triangles kTwo = {{0, 0, 0, 1, 0, 0, 0, 1, 0}, {1, 0, 0, 1, 1, 0, 0, 1, 0}};

} // namespace

TEST(StlFormatTest, WriteThenReadRoundTrip)
{
    CFlatMesh mesh;
    const float pts[][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},   {2, 0, 0},
                            {3, 0, 1}, {3, 1, 2}, {2, 2, 1}, {1.5f, 1, 0}};
    for (const auto& p : pts)
        mesh.addVertex(Point(p[0], p[1], p[2]));
    const int quad[] = {0, 1, 2, 3}, penta[] = {4, 5, 6, 7, 8}, pair[] = {0, 4};
    mesh.addPolygon(quad, 4, -1);
    mesh.addPolygon(penta, 5, -1);
    mesh.addPolygon(pair, 2, -1); // fewer than 3 corners: nothing written, not counted

    const std::string path = tempPath("roundtrip.stl");
    ASSERT_TRUE(mesh.writeBinarySTL(path.c_str(), nullptr, -1));
    const std::string bytes = readFile(path);
    ASSERT_EQ(bytes.size(), 84u + 50u * 5u);
    EXPECT_EQ(bytes.compare(0, 41, "Binary Big-Endian STL-File generated  by "), 0);
    EXPECT_EQ(getUint32(bytes, 80), 5u);
    EXPECT_FLOAT_EQ(getFloat(bytes, 84 + 8), 1.0f); // unit normal +z of the quad's first triangle

    CFlatMesh back;
    ASSERT_TRUE(readSTL(back, path.c_str(), false));
    EXPECT_TRUE(back.modified);
    ASSERT_EQ(back.getFacetCount(), 5);
    EXPECT_EQ(back.getVertexCount(true), 15);
    // Quad (0,1,2), (2,3,0); pentagon (0,1,2), (2,3,4), (0,2,4) in its own corners.
    const int expected[][3] = {{0, 1, 2}, {2, 3, 0}, {4, 5, 6}, {6, 7, 8}, {4, 6, 8}};
    for (int f = 0; f < 5; ++f)
        for (int k = 0; k < 3; ++k) {
            const float* p = pts[expected[f][k]];
            expectCorner(back, f, k, p[0], p[1], p[2]);
        }
    const CBox<float, 3> box = back.getBoundingBox();
    EXPECT_EQ(box.max.data[0], 3.0f);
    EXPECT_EQ(box.max.data[2], 2.0f);

    const std::string again = tempPath("roundtrip2.stl");
    ASSERT_TRUE(back.writeBinarySTL(again.c_str(), nullptr, -1));
    EXPECT_EQ(readFile(again), bytes);

    // A list longer than the mesh is cut to its facets; an empty list writes
    // no record; an unwritable path fails.
    const int list[] = {1, 1, 0, 0, 0};
    ASSERT_TRUE(mesh.writeBinarySTL(path.c_str(), list, 5));
    EXPECT_EQ(getUint32(readFile(path), 80), 8u);
    ASSERT_TRUE(mesh.writeBinarySTL(path.c_str(), list, 0));
    EXPECT_EQ(readFile(path).size(), 84u);
    EXPECT_FALSE(mesh.writeBinarySTL(tempPath("no/dir/x.stl").c_str(), nullptr, -1));
}

TEST(StlFormatTest, WriterGivesEveryPolygonSizeNMinusTwoTriangles)
{
    CFlatMesh mesh;
    std::vector<int> idx;
    for (int n = 3; n <= 40; ++n) {
        idx.clear();
        for (int k = 0; k < n; ++k)
            idx.push_back(mesh.addVertex(
                Point(float(std::cos(2 * M_PI * k / n)), float(std::sin(2 * M_PI * k / n)), 0)));
        const int f = mesh.addPolygon(idx.data(), n, -1);
        const std::string path = tempPath("ngon.stl");
        ASSERT_TRUE(mesh.writeBinarySTL(path.c_str(), &f, 1));
        const std::string bytes = readFile(path);
        ASSERT_EQ(bytes.size(), 84u + 50u * std::size_t(n - 2)) << n << " corners";
        for (int t = 0; t < n - 2; ++t) // convex: every triangle counter-clockwise
            EXPECT_NEAR(getFloat(bytes, 84 + 50 * t + 8), 1.0f, 1e-5f) << n << " corners";
    }
}

TEST(StlFormatTest, WriterLeavesOutTrianglesWithUnreadableCorners)
{
    CFlatMesh mesh;
    for (int i = 0; i < 3; ++i)
        mesh.addVertex(Point(float(i), float(i * i), 0));
    const int good[] = {0, 1, 2}, bad[] = {0, 1, 7};
    mesh.addPolygon(good, 3, -1);
    mesh.addPolygon(bad, 3, -1);
    const std::string path = tempPath("badcorner.stl");
    testing::internal::CaptureStdout();
    EXPECT_TRUE(mesh.writeBinarySTL(path.c_str(), nullptr, -1));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("oops wCount != facetCount !! attention1 facetCount=2"), std::string::npos);
    const std::string bytes = readFile(path);
    EXPECT_EQ(getUint32(bytes, 80), 1u); // the count matches the records written
    EXPECT_EQ(bytes.size(), 134u);
}

TEST(StlFormatTest, BinaryDetection)
{
    // A header beginning with "solid", a big-endian file, zero facets.
    for (const bool bigEndian : {false, true}) {
        const std::string path =
            writeFile("detect.stl", binaryImage("solid part", kTwo, bigEndian));
        EXPECT_TRUE(isBinarySTL(path.c_str()));
        CFlatMesh mesh;
        ASSERT_TRUE(readSTL(mesh, path.c_str(), false));
        ASSERT_EQ(mesh.getFacetCount(), 2);
        expectCorner(mesh, 1, 1, 1, 1, 0);
    }
    CFlatMesh empty;
    EXPECT_TRUE(readSTL(empty, writeFile("empty.stl", binaryImage("e", {})).c_str(), true));
    EXPECT_EQ(empty.getFacetCount(), 0);
    EXPECT_FALSE(isBinarySTL(writeFile("short.stl", "solid").c_str()));
    EXPECT_FALSE(readSTL(empty, tempPath("missing.stl").c_str(), true));
}

// A binary file whose size is not 84 + 50 x its count was refused whole,
// as a text holding binary data. Bytes after the last facet are passed
// over, and a file cut short (or whose count declares more than it holds)
// gives its whole facets; either is said in one line. A file cut inside its
// first facet has none to give.
TEST(StlFormatTest, BinaryOfAnotherSizeThanItsCountIsNotRefusedWhole)
{
    const std::string image = binaryImage("solid cut", kTwo);
    std::string farCount = image;
    farCount[82] = char(0x7f); // a count far beyond the file
    std::string zeroCount = image, noFacet = image;
    zeroCount[80] = 0;
    noFacet[84 + 3] = 0x3e; // the first record's normal (0.125, 0, 0)
    const struct {
        const char* what;
        std::string bytes;
        int facets; // -1: refused
        const char* said;
    } cases[] = {
        {"a byte after", image + "x", 2,
         "STL file holds 1 byte after the last of its 2 facets: passed over\n"},
        {"CR LF after", image + "\r\n", 2,
         "STL file holds 2 bytes after the last of its 2 facets: passed over\n"},
        {"80 blanks after", image + std::string(80, ' '), 2,
         "STL file holds 80 bytes after the last of its 2 facets: passed over\n"},
        {"cut inside facet 2", image.substr(0, image.size() - 30), 1,
         "STL file ends inside facet 2 of the 2 its header declares: 1 read, 1 left out\n"},
        {"a count beyond the file", farCount, 2,
         "STL file ends inside facet 3 of the 8323074 its header declares: 2 read, 8323072 "
         "left out\n"},
        {"cut inside facet 1", image.substr(0, 84 + 30), -1,
         "STL file too short: it ends inside the first of the 2 facets its header declares "
         "(114 bytes)\n"},
        // A count left 0 over whole facets loaded none of them.
        {"a count of 0", zeroCount, 2, "STL file's count says 0 facets, but it holds 2 whole "
                                       "facets: 2 read\n"},
        {"a count of 0 and a byte after", zeroCount + "x", 2,
         "STL file's count says 0 facets, but it holds 2 whole facets: 2 read, 1 byte after them "
         "passed over\n"},
        // Records that are no facets (a normal neither unit nor zero) in a
        // file of another size than its count's are other binary data.
        {"a cut file of other data", noFacet.substr(0, noFacet.size() - 30), -1,
         "not an STL file: its count of 2 facets does not match its 154 bytes, and record 1 after "
         "its header is no STL facet\n"},
        {"other data with bytes after", noFacet + "x", -1,
         "not an STL file: its count of 2 facets does not match its 185 bytes, and record 1 after "
         "its header is no STL facet\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CFlatMesh mesh;
        bool ok = false;
        EXPECT_EQ(readCaptured(mesh, c.bytes, ok), c.said);
        EXPECT_EQ(ok, c.facets >= 0);
        EXPECT_EQ(mesh.getFacetCount(), std::max(c.facets, 0));
        if (c.facets > 0)
            expectCorner(mesh, 0, 1, 1, 0, 0);
    }
}

TEST(StlFormatTest, AsciiFacetsAndFaults)
{
    // CR LF, a TAB after "solid", capitals, two solids, signed, exponent and
    // leading-point numbers, a missing coordinate, a solid name beginning
    // with a digit, a fourth vertex, a facet of two vertices, a malformed
    // number. A facet with a coordinate missing or not a number is left out
    // (a 0 in its place put it where the file never had it), and so is the
    // facet of two vertices; one line per cause says so.
    const std::string text =
        "solid\t1st\r\n facet normal 0 0 1\r\n  OUTER LOOP\r\n   VERTEX +1.0e+000 -2 .5\r\n"
        "   vertex 1 0 0\r\n   vertex 0 1\r\n   vertex 9 9 9\r\n  ENDLOOP\r\n ENDFACET\r\n"
        "endsolid\nsolid b\nfacet\nvertex 5 5 5\nvertex 6 6 6\nendfacet\n"
        "facet\nvertex 3 3 0\nvertex 2 3x 0\nvertex 0 2 0\nendfacet\nendsolid";
    CFlatMesh mesh;
    bool ok = false;
    const std::string out = readCaptured(mesh, text, ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(out, "not a triangle !\nendfacet on incomplete facet ! \n"
                   "bad number in STL text: 3x\n"
                   "left out 1 facets: facet 2 (line 12) has 2 vertices\n"
                   "left out 2 facets, the first: vertex 3 of facet 1 (line 6) has 2 "
                   "coordinates\n");
    EXPECT_EQ(mesh.getFacetCount(), 0);

    CFlatMesh junk; // text without any STL keyword
    readCaptured(junk, "hello world 1 2 3\n", ok);
    EXPECT_FALSE(ok);
}

namespace {

// The text of four facets as writers lay it out: facet k (from 1) opens on
// line 7k - 5, its vertices stand on the three lines after "outer loop".
std::string fourFacetText(const char* lineEnd = "\n")
{
    std::string s = std::string("solid part") + lineEnd;
    for (int k = 0; k < 4; ++k) {
        s += std::string(" facet normal 0 0 1") + lineEnd + "  outer loop" + lineEnd;
        for (int v = 0; v < 3; ++v)
            s += "   vertex " + std::to_string(k + (v == 1)) + " " + std::to_string(v == 2) +
                 " " + std::to_string(k) + ".5" + lineEnd;
        s += std::string("  endloop") + lineEnd + " endfacet" + lineEnd;
    }
    return s + "endsolid part" + lineEnd;
}

// Where the nth occurrence (from 1) of what begins in s.
std::size_t nthFind(const std::string& s, const std::string& what, int nth)
{
    std::size_t at = s.find(what);
    for (int i = 1; i < nth; ++i)
        at = s.find(what, at + 1);
    return at;
}

// The text with the nth occurrence of what replaced by by.
std::string edited(std::string s, const std::string& what, const std::string& by, int nth = 1)
{
    return s.replace(nthFind(s, what, nth), what.size(), by);
}

// The text with every occurrence of what replaced by by.
std::string editedAll(std::string s, const std::string& what, const std::string& by)
{
    for (std::size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + by.size()))
        s.replace(at, what.size(), by);
    return s;
}

std::string repeated(const std::string& piece, int times)
{
    std::string s;
    for (int i = 0; i < times; ++i)
        s += piece;
    return s;
}

} // namespace

// Damage at every kind of place of a text: inside a record and at its
// boundaries, a field of the wrong type, a line missing or repeated. Each
// read answers with the facets that are whole, and one line per cause says
// how many were left out and where the first was (the file used to load in
// part without a word); a message given per facet is shown for the first
// few and then counted, so that a million broken facets print five lines.
TEST(StlFormatTest, DamagedTextSaysWhatItLeftOut)
{
    const std::string good = fourFacetText();
    const std::string vertex2of2 = "   vertex 2 0 1.5\n"; // line 12
    const struct {
        const char* damage;
        std::string text;
        int facets;
        std::string printed;
    } cases[] = {
        {"cut inside a vertex line", good.substr(0, good.find(vertex2of2) + 12), 1,
         "left out 1 facets: the file ends inside facet 2 (line 9)\n"},
        {"cut inside a number", good.substr(0, good.find(vertex2of2) + 16), 1,
         "left out 1 facets: the file ends inside facet 2 (line 9)\n"},
        {"cut after the last vertex of a facet", good.substr(0, nthFind(good, "  endloop", 2)),
         1, "left out 1 facets: the file ends inside facet 2 (line 9)\n"},
        {"cut between facets", good.substr(0, nthFind(good, " facet normal", 2)), 1,
         "STL text ends without endsolid after facet 1: the file may be cut short\n"},
        {"cut before endsolid", good.substr(0, good.find("endsolid")), 4,
         "STL text ends without endsolid after facet 4: the file may be cut short\n"},
        {"cut after the solid line", "solid part\n", 0, ""},
        {"endfacet missing", edited(good, " endfacet\n", "", 2), 4,
         "facet 2 (line 9) has no endfacet: it ends at line 15\n"},
        {"endfacet repeated", edited(good, " endfacet\n", " endfacet\n endfacet\n", 2), 4, ""},
        {"facet line missing", edited(good, " facet normal 0 0 1\n", "", 2), 4, ""},
        {"vertex line missing", edited(good, vertex2of2, ""), 3,
         "endfacet on incomplete facet ! \nleft out 1 facets: facet 2 (line 9) has 2 vertices\n"},
        {"vertex line repeated", edited(good, vertex2of2, vertex2of2 + vertex2of2), 4,
         "not a triangle !\n"},
        {"coordinate not a number", edited(good, vertex2of2, "   vertex 2 abc 1.5\n"), 3,
         "bad number in STL text: abc\n"
         "left out 1 facets: vertex 2 of facet 2 (line 12): 'abc' is not a number\n"},
        {"coordinate malformed", edited(good, vertex2of2, "   vertex 2 0 1.5.1\n"), 3,
         "bad number in STL text: 1.5.1\n"
         "left out 1 facets: vertex 2 of facet 2 (line 12): '1.5.1' is not a number\n"},
        {"coordinate missing", edited(good, vertex2of2, "   vertex 2 0\n"), 3,
         "left out 1 facets: vertex 2 of facet 2 (line 12) has 2 coordinates\n"},
        {"coordinate past the range of a float", edited(good, vertex2of2, "   vertex 2 0 1e39\n"),
         3, "left out 1 facets with non-finite coordinates\n"},
        {"coordinate nan", edited(good, vertex2of2, "   vertex 2 NaN 1\n"), 3,
         "left out 1 facets with non-finite coordinates\n"},
        {"a thousand facets without vertices",
         repeated("facet normal 0 0 1\nouter loop\nendloop\nendfacet\n", 1000), 0,
         repeated("endfacet on incomplete facet ! \n", 3) +
             "left out 1000 facets, the first: facet 1 (line 1) has 0 vertices\n"},
        {"a thousand fourth vertices",
         "facet\n" + repeated("vertex 1 2 3\n", 1003) + "endfacet\n", 1,
         repeated("not a triangle !\n", 3) + "not a triangle ! [1000 times in all]\n"},
        // Valid variants load whole and say nothing.
        {"CR LF line ends", fourFacetText("\r\n"), 4, ""},
        {"tabs, trailing blanks and capitals",
         editedAll(editedAll(editedAll(good, "   vertex ", "\tVERTEX\t"), " endfacet\n",
                             " ENDFACET  \n"),
                   "solid part\n", "solid\tpart   \n"),
         4, ""},
        {"signed, exponent and leading-point numbers",
         edited(good, vertex2of2, "   vertex +2.0e+000 -0 .15E1\n"), 4, ""},
        {"solids named after keywords",
         edited(edited(good, "solid part\n", "solid solid\n"), "endsolid part", "endsolid facet"),
         4, ""},
        {"no final line end", good.substr(0, good.size() - 1), 4, ""},
        {"a byte-order mark", "\xef\xbb\xbf" + good, 4, ""},
        // NULs padding the text refused it whole, or made it binary.
        {"NUL padding", good + std::string(600, '\0'), 4, ""},
        {"a byte-order mark and a NUL at the end", "\xef\xbb\xbf" + good + std::string(1, '\0'),
         4, ""},
        {"a number of 150 characters",
         edited(good, vertex2of2, "   vertex 2 0 1.5" + std::string(147, '0') + "\n"), 4, ""},
        // Too small for a double, it was "bad number in STL text".
        {"a number too small for a double", edited(good, vertex2of2, "   vertex 2 1e-400 1.5\n"),
         4, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.damage);
        CFlatMesh mesh;
        bool ok = false;
        const std::string out = readCaptured(mesh, c.text, ok);
        EXPECT_TRUE(ok);
        EXPECT_EQ(mesh.getFacetCount(), c.facets);
        EXPECT_EQ(out, c.printed);
    }
    // The valid variants give the very corners of the text they vary.
    CFlatMesh plain, varied;
    bool ok = false;
    readCaptured(plain, good, ok);
    readCaptured(varied, edited(good, vertex2of2, "   vertex +2.0e+000 -0 .15E1\n"), ok);
    ASSERT_EQ(varied.getFacetCount(), 4);
    for (int f = 0; f < 4; ++f)
        for (int k = 0; k < 3; ++k) {
            Point a, b;
            ASSERT_TRUE(plain.getFacetCorner(f, k, a) && varied.getFacetCorner(f, k, b));
            EXPECT_TRUE(a == b) << f << " " << k;
        }
}

TEST(StlFormatTest, MergeJoinsCornersWithinTolerance)
{
    Triangles tris = kTwo;
    tris[1][7] = 1.00005f; // within 0.0001 of (0, 1, 0)
    CFlatMesh merged;
    ASSERT_TRUE(readSTL(merged, writeFile("merge.stl", binaryImage("m", tris)).c_str(), true));
    ASSERT_EQ(merged.getFacetCount(), 2);
    // Merged-away vertices stay stored; the polygons share the survivors.
    EXPECT_EQ(merged.getPolygonVertexIndex(0, 1), merged.getPolygonVertexIndex(1, 0));
    EXPECT_EQ(merged.getPolygonVertexIndex(0, 2), merged.getPolygonVertexIndex(1, 2));
    // Without merge every corner keeps its own vertex.
    CFlatMesh apart;
    ASSERT_TRUE(readSTL(apart, tempPath("merge.stl").c_str(), false));
    EXPECT_NE(apart.getPolygonVertexIndex(0, 2), apart.getPolygonVertexIndex(1, 2));
    // Beyond the binary tolerance corners stay apart.
    tris[1][7] = 1.001f;
    CFlatMesh far;
    ASSERT_TRUE(readSTL(far, writeFile("far.stl", binaryImage("m", tris)).c_str(), true));
    EXPECT_EQ(far.getPolygonVertexIndex(0, 1), far.getPolygonVertexIndex(1, 0));
    EXPECT_NE(far.getPolygonVertexIndex(0, 2), far.getPolygonVertexIndex(1, 2));
}

namespace {

// The triangles of an around x across torus (closed: every edge shared by
// two triangles) or, open, of a height-field grid.
Triangles surfaceTriangles(int around, int across, bool closed)
{
    auto at = [&](int i, int j) {
        const double a = 2.0 * M_PI * i / around, b = 2.0 * M_PI * j / across;
        if (closed)
            return std::vector<float>{float((3 + std::cos(b)) * std::cos(a)),
                                      float((3 + std::cos(b)) * std::sin(a)), float(std::sin(b))};
        return std::vector<float>{float(0.5 * i), float(-0.25 * j), float(std::sin(i + 0.5 * j))};
    };
    Triangles tris;
    auto add = [&](std::vector<float> p, std::vector<float> q, std::vector<float> r) {
        p.insert(p.end(), q.begin(), q.end());
        p.insert(p.end(), r.begin(), r.end());
        tris.push_back(p);
    };
    for (int j = 0; j < across; ++j)
        for (int i = 0; i < around; ++i) {
            const int i1 = closed ? (i + 1) % around : i + 1;
            const int j1 = closed ? (j + 1) % across : j + 1;
            add(at(i, j), at(i1, j), at(i1, j1));
            add(at(i, j), at(i1, j1), at(i, j1));
        }
    return tris;
}

std::string asciiImage(const Triangles& tris)
{
    std::string s = "solid generated\n";
    char line[128];
    for (const auto& t : tris) {
        s += " facet normal 0 0 1\n  outer loop\n";
        for (int k = 0; k < 3; ++k) {
            std::snprintf(line, sizeof line, "   vertex %.9g %.9g %.9g\n", t[3 * k], t[3 * k + 1],
                          t[3 * k + 2]);
            s += line;
        }
        s += "  endloop\n endfacet\n";
    }
    return s + "endsolid generated\n";
}

} // namespace

TEST(StlFormatTest, TextAndBinaryFormsLoadToTheSameMeshAndEdgeTable)
{
    // A closed torus, an open grid, and the grid with duplicate and
    // degenerate facets: both forms, merged or not, must give the same
    // vertices, facets and edge table, and the merged meshes their known
    // vertex counts and edge pairing.
    struct Case {
        Triangles tris;
        int mergedVertices, boundaryEdges;
    };
    std::vector<Case> cases = {{surfaceTriangles(30, 20, true), 600, 0},
                               {surfaceTriangles(20, 10, false), 231, 60}};
    Case faulty = cases[1];
    const Triangles repeated(faulty.tris.begin(), faulty.tris.begin() + 7);
    faulty.tris.insert(faulty.tris.end(), repeated.begin(), repeated.end());
    faulty.tris.push_back({1, 1, 0, 1, 1, 0, 2, 2, 0}); // repeated corner
    faulty.tris.push_back({0, 0, 0, 1, 0, 0, 2, 0, 0}); // collinear
    faulty.mergedVertices = -1;
    faulty.boundaryEdges = -1;
    cases.push_back(faulty);
    for (size_t c = 0; c < cases.size(); ++c) {
        const std::string text = writeFile("t.stl", asciiImage(cases[c].tris));
        const std::string bin = writeFile("b.stl", binaryImage("b", cases[c].tris));
        for (bool merge : {false, true}) {
            SCOPED_TRACE("case " + std::to_string(c) + (merge ? " merged" : ""));
            CFlatMesh a, b;
            ASSERT_TRUE(readSTL(a, text.c_str(), merge));
            ASSERT_TRUE(readSTL(b, bin.c_str(), merge));
            ASSERT_EQ(a.getVertexCount(true), b.getVertexCount(true));
            ASSERT_EQ(a.getFacetCount(), int(cases[c].tris.size()));
            ASSERT_EQ(a.getFacetCount(), b.getFacetCount());
            Point p, q;
            for (int v = 0; v < a.getVertexCount(true); ++v) {
                ASSERT_TRUE(a.getVertex(v, p) && b.getVertex(v, q));
                ASSERT_TRUE(p == q) << v;
            }
            for (int f = 0; f < a.getFacetCount(); ++f)
                for (int k = 0; k < 3; ++k)
                    ASSERT_EQ(a.getPolygonVertexIndex(f, k), b.getPolygonVertexIndex(f, k));
            ASSERT_EQ(a.edges.count, b.edges.count);
            int boundary = 0;
            for (int e = 0; e < a.edges.count; ++e) {
                const auto &x = a.edges.data[e], &y = b.edges.data[e];
                ASSERT_TRUE(x.vertex0 == y.vertex0 && x.vertex1 == y.vertex1 &&
                            x.facet1 == y.facet1 && x.facet2 == y.facet2 && x.length == y.length);
                if (e > 0) { // ordered by the undirected key
                    ASSERT_LE(std::min(a.edges.data[e - 1].vertex0, a.edges.data[e - 1].vertex1),
                              std::min(x.vertex0, x.vertex1));
                }
                boundary += x.facet2 < 0;
            }
            if (merge && cases[c].mergedVertices >= 0) {
                std::vector<int> used;
                for (int f = 0; f < a.getFacetCount(); ++f)
                    for (int k = 0; k < 3; ++k)
                        used.push_back(a.getPolygonVertexIndex(f, k));
                std::sort(used.begin(), used.end());
                used.erase(std::unique(used.begin(), used.end()), used.end());
                EXPECT_EQ(int(used.size()), cases[c].mergedVertices);
                EXPECT_EQ(boundary, cases[c].boundaryEdges);
            }
        }
    }
}

TEST(StlFormatTest, WeldJoinsEqualCornersAndOrdersVerticesByCoordinates)
{
    // Both zeros are equal coordinates; negative, positive and repeated
    // values in every axis.
    const float values[] = {-2.5f, -0.0f, 0.0f, 1e-30f, -1e-30f, 3.0f};
    CFlatMesh mesh;
    std::vector<int> before;
    unsigned x = 7u;
    for (int k = 0; k < 90; ++k) {
        x = x * 1664525u + 1013904223u;
        mesh.addVertex(Point(values[(x >> 8) % 6], values[(x >> 12) % 6], values[(x >> 16) % 6]));
    }
    for (int f = 0; f + 2 < 90; f += 3) {
        const int idx[3] = {f, f + 1, f + 2};
        mesh.addPolygon(idx, 3, -1);
    }
    std::vector<std::vector<float>> corners;
    Point p;
    for (int f = 0; f < mesh.getFacetCount(); ++f)
        for (int k = 0; k < 3; ++k) {
            ASSERT_TRUE(mesh.getFacetCorner(f, k, p));
            corners.push_back({p.data[0], p.data[1], p.data[2]});
        }
    ASSERT_TRUE(mesh.weldEqualVertices(0.0));
    // Distinct and ascending in (x, y, z); every corner where it was.
    const int n = mesh.getVertexCount(true);
    Point q;
    for (int v = 1; v < n; ++v) {
        ASSERT_TRUE(mesh.getVertex(v - 1, p) && mesh.getVertex(v, q));
        const bool ascending = p.data[0] != q.data[0]   ? p.data[0] < q.data[0]
                               : p.data[1] != q.data[1] ? p.data[1] < q.data[1]
                                                        : p.data[2] < q.data[2];
        EXPECT_TRUE(ascending) << v;
    }
    int c = 0;
    for (int f = 0; f < mesh.getFacetCount(); ++f)
        for (int k = 0; k < 3; ++k, ++c) {
            ASSERT_TRUE(mesh.getFacetCorner(f, k, p));
            for (int a = 0; a < 3; ++a)
                EXPECT_EQ(p.data[a], corners[c][a]);
        }
}

// Files written by other programs.
class StlRealDataTest : public testing::Test {
protected:
    void SetUp() override { MW_REALDATA_DIR_OR_SKIP(found, "stl"); }
    bool read(CFlatMesh& mesh, const char* name, bool merge = false)
    {
        return readSTL(mesh, (dir / name).string().c_str(), merge);
    }
    fs::path dir = fs::path(MW_REALDATA_DIR) / "stl";
};

TEST_F(StlRealDataTest, AsciiAndBinarySpiderAgree)
{
    CFlatMesh ascii, binary;
    ASSERT_TRUE(read(ascii, "Spider_ascii.stl"));
    ASSERT_TRUE(read(binary, "Spider_binary.stl"));
    ASSERT_EQ(ascii.getFacetCount(), 1368);
    ASSERT_EQ(binary.getFacetCount(), 1368);
    Point a, b;
    for (int f = 0; f < 1368; ++f)
        for (int k = 0; k < 3; ++k) {
            ASSERT_TRUE(ascii.getFacetCorner(f, k, a) && binary.getFacetCorner(f, k, b));
            for (int c = 0; c < 3; ++c)
                ASSERT_NEAR(a.data[c], b.data[c], 1e-4f * (1 + std::fabs(b.data[c])));
        }
}

TEST_F(StlRealDataTest, FilesOfEveryKind)
{
    CFlatMesh twoSolids, tray, block, empty, sphere, holed;
    ASSERT_TRUE(read(twoSolids, "triangle_with_two_solids.stl"));
    EXPECT_EQ(twoSolids.getFacetCount(), 2);
    expectCorner(twoSolids, 1, 0, 3, 3, 0);
    ASSERT_TRUE(read(tray, "1002_tray_bottom.STL")); // CR LF, exponents
    EXPECT_EQ(tray.getFacetCount(), 4520);
    expectCorner(tray, 0, 0, 101.8757f, 3.175f, -14.31162f, 1e-4f);
    ASSERT_TRUE(read(block, "angle_block.STL")); // binary with a "solid" header
    EXPECT_EQ(block.getFacetCount(), 704);
    ASSERT_TRUE(read(empty, "stl_empty_bin.stl", true));
    EXPECT_EQ(empty.getFacetCount(), 0);

    // Vertices on spheres: the unit sphere (binary) and one of radius 1.5
    // about (1.5, 1.5, 1.5) with a TAB after "solid" (ASCII, 5 decimals).
    ASSERT_TRUE(read(sphere, "unit_sphere.STL"));
    ASSERT_TRUE(read(holed, "sphereWithHole.stl"));
    EXPECT_EQ(sphere.getFacetCount(), 1280);
    EXPECT_EQ(holed.getFacetCount(), 285);
    Point p;
    for (int v = 0; v < sphere.getVertexCount(true); ++v)
        ASSERT_TRUE(sphere.getVertex(v, p) &&
                    std::fabs(std::hypot(p.data[0], p.data[1], p.data[2]) - 1) < 1e-6);
    for (int v = 0; v < holed.getVertexCount(true); ++v)
        ASSERT_TRUE(holed.getVertex(v, p) &&
                    std::fabs(std::hypot(p.data[0] - 1.5, p.data[1] - 1.5, p.data[2] - 1.5) - 1.5) <
                        1e-3);
}

// Every file, read as the mesh loader reads it (merge on). The expected
// counts come from a separate scan of the files, not from this reader: the
// facets are the record count (size - 84) / 50 of a binary file and the
// "endfacet" keywords of a text file; the vertices are the distinct corner
// positions, a corner joining the nearest earlier one within the merge
// tolerance (1e-4 binary, 1e-8 text).
TEST_F(StlRealDataTest, EveryFileHasItsExactFacetAndVertexCounts)
{
    const struct {
        const char* name;
        int facets;
        int vertices;
    } files[] = {
        {"1002_tray_bottom.STL", 4520, 2216},
        {"Spider_ascii.stl", 1368, 722},
        {"Spider_binary.stl", 1368, 722},
        {"angle_block.STL", 704, 352},
        {"featuretype.STL", 3476, 1722},
        {"sphereWithHole.stl", 285, 146},
        {"stl_empty_bin.stl", 0, 0},
        {"torus.STL", 8700, 4350},
        {"triangle_with_two_solids.stl", 2, 6},
        {"unit_sphere.STL", 1280, 642},
    };
    for (const auto& f : files) {
        CFlatMesh mesh;
        testing::internal::CaptureStdout(); // the merge reports its counts
        ASSERT_TRUE(read(mesh, f.name, true)) << f.name;
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(mesh.getFacetCount(), f.facets) << f.name;
        EXPECT_EQ(mwtest::usedVertexCount(mesh), f.vertices) << f.name;
    }
}
