#include "mesh/VrmlReader.h"

#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "mesh/FlatMesh.h"
#include "support/RealData.h"
#include "support/ScratchDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string writeFile(const char* name, const std::string& text)
{
    const std::string path = mwtest::scratchPath(name);
    std::ofstream(path, std::ios::binary).write(text.data(), std::streamsize(text.size()));
    return path;
}

// Owns what readVRML hands out.
struct Result {
    CFlatMesh mesh;
    Kor::List<CParametricGeometry*> curves;
    Kor::List<CFlatMesh*> meshes;
    bool ok = false;
    std::string output;

    ~Result()
    {
        for (CParametricGeometry* c : curves)
            delete c;
        for (CFlatMesh* m : meshes)
            delete m;
    }
};

// The reader's own messages: the report lines of the vertex merge are left out.
std::string readerMessages(const std::string& all)
{
    std::string kept;
    std::size_t start = 0;
    while (start < all.size()) {
        std::size_t end = all.find('\n', start);
        end = end == std::string::npos ? all.size() : end + 1;
        const std::string line = all.substr(start, end - start);
        if (line.rfind("new count =", 0) != 0)
            kept += line;
        start = end;
    }
    return kept;
}

void read(Result& r, const std::string& path, bool withList = false)
{
    testing::internal::CaptureStdout();
    r.ok = readVRML(r.mesh, path.c_str(), r.curves, withList ? &r.meshes : nullptr);
    r.output = readerMessages(testing::internal::GetCapturedStdout());
}

const char* const kSquare2 = "#VRML V2.0 utf8\n"
                             "Shape { geometry IndexedFaceSet {\n"
                             "  coord Coordinate { point [ 0 0 0, 1 0 0, 1 1 0, 0 1 0 ] }\n"
                             "  coordIndex [ 0, 1, 2, -1, 2, 3, 0, -1 ]\n"
                             "} }\n";

const char* const kSquare1 = "#VRML V1.0 ascii\r\n"
                             "Separator {\r\n"
                             "  Coordinate3 { point [ 0 0 0, 1 0 0, 1 1 0, 0 1 0 ] }\r\n"
                             "  IndexedFaceSet { coordIndex [ 0, 1, 2, -1, 2, 3, 0, -1 ] }\r\n"
                             "}\r\n";

void expectFace(CFlatMesh& m, int p, std::initializer_list<int> corners)
{
    ASSERT_EQ(m.getFacetSize(p), int(corners.size()));
    int k = 0;
    for (int v : corners)
        EXPECT_EQ(m.getPolygonVertexIndex(p, k++), v) << "polygon " << p;
}

std::string square2WithIndex(const char* coordIndex)
{
    return std::string(
               "#VRML V2.0 utf8\n"
               "IndexedFaceSet { coord Coordinate { point [ 0 0 0, 1 0 0, 1 1 0, 0 1 0 ] }\n"
               "  coordIndex [ ") +
           coordIndex + " ] }\n";
}

TEST(VrmlReader, BothVersionsGiveTwoTrianglesOnAFinishedMesh)
{
    for (const char* text : {kSquare2, kSquare1}) {
        Result r;
        read(r, writeFile("square.wrl", text));
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.mesh.getVertexCount(true), 4);
        ASSERT_EQ(r.mesh.getFacetCount(), 2);
        expectFace(r.mesh, 0, {0, 1, 2});
        expectFace(r.mesh, 1, {2, 3, 0});
        // Topology built: one record per polygon side, the diagonal paired.
        ASSERT_EQ(r.mesh.edges.getCount(), 6);
        int boundary = 0;
        for (const auto& e : r.mesh.edges)
            boundary += e.facet2 == -1 ? 1 : 0;
        EXPECT_EQ(boundary, 4);
        EXPECT_TRUE(r.mesh.modified);
        EXPECT_FLOAT_EQ(r.mesh.box.max[0], 1.0f);
        EXPECT_FLOAT_EQ(r.mesh.box.max[1], 1.0f);
        EXPECT_DOUBLE_EQ(r.mesh.facetHash.cellSize, 12.0);
        EXPECT_DOUBLE_EQ(r.mesh.facetHash.inverseCellSize, 1.0 / 12.0);
        EXPECT_EQ(r.curves.getCount(), 0);
        EXPECT_TRUE(r.output.empty()) << r.output;
    }
}

TEST(VrmlReader, FaceRulesOfTheCoordIndexList)
{
    {
        Result r; // two corners make no face
        read(r, writeFile("two.wrl", square2WithIndex("0, 1, -1")));
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.mesh.getFacetCount(), 0);
    }
    {
        Result r; // faces of any length; numbers rounded toward zero
        read(r, writeFile("quad.wrl", square2WithIndex("0 1 2.9 3 -1")));
        ASSERT_TRUE(r.ok);
        ASSERT_EQ(r.mesh.getFacetCount(), 1);
        expectFace(r.mesh, 0, {0, 1, 2, 3});
    }
}

TEST(VrmlReader, LastFaceWithoutClosingMinusOneIsKept)
{
    Result r;
    read(r, writeFile("open.wrl", square2WithIndex("0, 1, 2, -1, 2, 3, 0")));
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.mesh.getFacetCount(), 2);
    expectFace(r.mesh, 1, {2, 3, 0});
}

TEST(VrmlReader, FaceWithUnknownVertexIsDroppedWithMessage)
{
    Result r;
    read(r, writeFile("unknown.wrl", square2WithIndex("0, 1, 7, -1, 2, 3, 0, -1")));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.output, "referenced Vertex: 7 at 2 not found.\n"
                        "left out 1 facets: face 1 of the IndexedFaceSet of line 2 names point 7, "
                        "of 4\n");
    ASSERT_EQ(r.mesh.getFacetCount(), 1);
    expectFace(r.mesh, 0, {2, 3, 0});
}

TEST(VrmlReader, TwoFaceSetsWithAndWithoutMeshList)
{
    const std::string text = std::string(kSquare2) +
                             "Shape { geometry IndexedFaceSet {\n"
                             "  coordIndex [ 0 1 2 -1 ]\n" // before its coord: order is free
                             "  coord Coordinate { point [ 5 0 0, 6 0 0, 6 1 0 ] }\n"
                             "} }\n";
    const std::string path = writeFile("twosets.wrl", text);
    {
        Result r;
        read(r, path);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.mesh.getVertexCount(true), 7);
        ASSERT_EQ(r.mesh.getFacetCount(), 3);
        expectFace(r.mesh, 2, {4, 5, 6}); // the second node's numbers start again at 0
    }
    {
        Result r;
        read(r, path, true);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.mesh.getFacetCount(), 2);
        ASSERT_EQ(r.meshes.getCount(), 1);
        CFlatMesh& second = *r.meshes[0];
        EXPECT_EQ(second.getVertexCount(true), 3);
        ASSERT_EQ(second.getFacetCount(), 1);
        expectFace(second, 0, {0, 1, 2});
        EXPECT_EQ(second.edges.getCount(), 3);
        EXPECT_TRUE(second.modified);
        EXPECT_DOUBLE_EQ(second.facetHash.cellSize, 12.0);
        EXPECT_FLOAT_EQ(second.box.min[0], 5.0f);
    }
}

TEST(VrmlReader, NamesAndCaseOfNodesAndFields)
{
    // Lower-case keywords match; DEF names that contain node names, digits
    // or hyphens are not nodes; a Coordinate shared with USE gives its points.
    const std::string text = "#VRML V2.0 utf8\n"
                             "DEF IndexedFaceSet-01 Transform { children [\n"
                             "  shape { geometry indexedfaceset { coord DEF pts_1 coordinate {\n"
                             "    point [ 0 0 0, 1 0 0, 1 1 0 ] } coordindex [ 0 1 2 -1 ] } }\n"
                             "  Shape { geometry IndexedFaceSet { coord USE pts_1\n"
                             "    coordIndex [ 0 2 1 -1 ] } }\n"
                             "  Shape { geometry USE IndexedFaceSet }\n"
                             "  WorldInfo { info [ \"IndexedFaceSet { coord\" ] }\n"
                             "] }\n";
    Result r;
    read(r, writeFile("names.wrl", text));
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(r.output.empty()) << r.output;
    EXPECT_EQ(r.mesh.getVertexCount(true), 3); // the shared points are added once
    ASSERT_EQ(r.mesh.getFacetCount(), 2);
    expectFace(r.mesh, 1, {0, 2, 1});
}

TEST(VrmlReader, Version1TakesTheLastCoordinate3)
{
    const std::string text = "#VRML V1.0 ascii\n"
                             "Separator { Coordinate3 { point [ 0 0 0, 1 0 0, 1 1 0, 0 1 0 ] }\n"
                             "  DEF f IndexedFaceSet { coordIndex [ 0, 1, 2, -1 ] }\n"
                             "  IndexedFaceSet { coordIndex [ 0, 2, 3, -1 ] }\n"
                             "  Coordinate3 { point 9 9 9 }\n"
                             "  Coordinate3 { point [ 5 0 0, 6 0 0, 6 1 0 ] }\n"
                             "  USE f\n"
                             "  IndexedFaceSet { coordIndex [ 0, 1, 2, -1 ] } }\n";
    const std::string path = writeFile("v1.wrl", text);
    Result r;
    read(r, path);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.mesh.getVertexCount(true), 7); // the unused single point is not added
    ASSERT_EQ(r.mesh.getFacetCount(), 3);
    expectFace(r.mesh, 1, {0, 2, 3});
    expectFace(r.mesh, 2, {4, 5, 6});
    Result listed;
    read(listed, path, true);
    EXPECT_EQ(listed.mesh.getFacetCount(), 2);
    ASSERT_EQ(listed.meshes.getCount(), 1);
    EXPECT_EQ(listed.meshes[0]->getFacetCount(), 1);
}

TEST(VrmlReader, LineSetPolylinesBecomeSeparateCurves)
{
    const std::string text = "#VRML V2.0 utf8\n"
                             "Shape { geometry IndexedLineSet {\n"
                             "  coord Coordinate { point [ 0 0 0, 1 0 0, 1 1 0, 5 5 5, 6 5 5 ] }\n"
                             "  coordIndex [ 0 1 2 0 -1 3 4 -1 4 99 -1 ] } }\n";
    Result r;
    read(r, writeFile("lines.wrl", text));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.mesh.getFacetCount(), 0);
    ASSERT_EQ(r.curves.getCount(), 2); // "4 99" keeps one index only: no curve
    auto* closed = static_cast<Fenwo::NurbsSurf*>(r.curves[0]);
    EXPECT_EQ(closed->uKnots->endCondition, knots::CyclicEnd);
    EXPECT_EQ(closed->getUCount(), 3);
    auto* open = static_cast<Fenwo::NurbsSurf*>(r.curves[1]);
    EXPECT_EQ(open->uKnots->endCondition, knots::ClampedEnd);
    const Vector a = open->getPoint(0.0, 0.0);
    const Vector b = open->getPoint(1.0, 0.0);
    EXPECT_NEAR(a[0], 5.0, 1e-12);
    EXPECT_NEAR(b[0], 6.0, 1e-12);
    EXPECT_NEAR(open->getPoint(0.5, 0.0)[0], 5.5, 1e-12);
}

TEST(VrmlReader, IndexedPolylineToCurve)
{
    Kor::List<CVertex<float, 3>> points;
    points.append(CVertex<float, 3>(0, 0, 0));
    points.append(CVertex<float, 3>(2, 0, 0));
    points.append(CVertex<float, 3>(2, 2, 0));
    Kor::List<int> indices;
    indices.append(0);
    EXPECT_EQ(indexedPolylineToCurve(points, indices), nullptr);
    indices.append(5);
    EXPECT_EQ(indexedPolylineToCurve(points, indices), nullptr); // index out of range
    indices[1] = 1;
    indices.append(0); // 0 1 0: there and back, open
    std::unique_ptr<Fenwo::NurbsSurf> c(indexedPolylineToCurve(points, indices));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->uKnots->endCondition, knots::ClampedEnd);
    EXPECT_EQ(c->getUCount(), 3);
    EXPECT_NEAR(c->getPoint(0.5, 0.0)[0], 2.0, 1e-12);
}

TEST(VrmlReader, UnreadableOrFaultyFilesFailAndLeaveTheMeshUnchanged)
{
    const std::string square(kSquare2);
    const std::pair<const char*, std::string> cases[] = {
        {"noheader.wrl", "Shape { geometry IndexedFaceSet { coordIndex [ 0 1 2 ] } }\n"},
        {"truncated.wrl", square.substr(0, square.find("2, 3, 0"))},
        {"unclosed.wrl", square.substr(0, square.size() - 3)},
        {"string.wrl", "#VRML V2.0 utf8\nWorldInfo { title \"abc"},
        {"extra.wrl", square + "}\n"},
        {"nul.wrl", square + std::string(1, '\0')},
    };
    for (const auto& [name, text] : cases) {
        Result r;
        read(r, writeFile(name, text), true);
        EXPECT_FALSE(r.ok) << name;
        EXPECT_EQ(r.mesh.getVertexCount(true), 0) << name;
        EXPECT_EQ(r.mesh.getFacetCount(), 0) << name;
        EXPECT_EQ(r.meshes.getCount(), 0) << name;
        EXPECT_DOUBLE_EQ(r.mesh.facetHash.cellSize, 5.0) << name;
    }
    Result missing;
    read(missing, mwtest::scratchPath("missing.wrl"));
    EXPECT_FALSE(missing.ok);
}

TEST(VrmlReader, BadNumberIsReportedAndReadingGoesOn)
{
    // The lone "-" holds the place of an index of the second face, which is
    // left out (it was read as index 0, a corner the face never had).
    Result r;
    read(r, writeFile("badnumber.wrl", square2WithIndex("0 1 2 -1 - 2 3 0 -1")));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.output.rfind("bad stream sfter dVal =", 0), 0u) << r.output;
    EXPECT_EQ(r.mesh.getFacetCount(), 1);
}

// Damage at every kind of place of a face set: inside a point or an index
// list, at the boundaries of its faces, values of the wrong type, indices
// past the points and past an int. Every value keeps its place, so a bad
// one spoils only its own point or face; each read says in one line per
// cause how many faces it left out and where the first was (a word in a
// point list once shifted every later point, and a face with a lone "-"
// took point 0). Valid variants load whole without a word, and transforms
// passed over are told where they would move what was read.
TEST(VrmlReader, DamagedFaceSetSaysWhatItLeftOut)
{
    const std::string points = "0 0 0, 1 0 0, 1 1 0, 0 1 0";
    const auto text = [](const std::string& pointList, const std::string& coordIndex) {
        return "#VRML V2.0 utf8\nShape { geometry IndexedFaceSet {\n  coord Coordinate { point [ " +
               pointList + " ] }\n  coordIndex [ " + coordIndex + " ]\n} }\n";
    };
    const std::string faces = "0, 1, 2, -1, 2, 3, 0, -1";
    std::string manyUnknown;
    for (int i = 0; i < 1000; ++i)
        manyUnknown += "0 1 9 -1 ";
    const std::string set = " of the IndexedFaceSet of line 2";
    const std::string shape = "Shape { geometry IndexedFaceSet { coord Coordinate { point [ " +
                              points + " ] } coordIndex [ " + faces + " ] } }";
    const std::string passed = "passed over ";
    const struct {
        const char* damage;
        std::string text;
        int facets;
        std::string printed;
    } cases[] = {
        {"index past the points", text(points, "0, 1, 9, -1, 2, 3, 0, -1"), 1,
         "referenced Vertex: 9 at 2 not found.\nleft out 1 facets: face 1" + set +
             " names point 9, of 4\n"},
        {"index past int", text(points, "0, 1, 2147483648, -1, 2, 3, 0, -1"), 1,
         "left out 1 facets: face 1" + set + " holds '2147483648' (line 4), not a point number\n"},
        {"index a word", text(points, "0, 1, 2, -1, 2, three, 0, -1"), 1,
         "left out 1 facets: face 2" + set + " holds 'three' (line 4), not a point number\n"},
        {"index a malformed number", text(points, "0, 1, 2.2.2, -1, 2, 3, 0, -1"), 1,
         "bad stream sfter dVal =2.2.2\nleft out 1 facets: face 1" + set +
             " holds '2.2.2' (line 4), not a point number\n"},
        {"face of two corners", text(points, "0, 1, -1, 2, 3, 0, -1"), 1,
         "left out 1 facets: face 1" + set + " has 2 corners\n"},
        {"separator missing", text(points, "0, 1, 2, 2, 3, 0, -1"), 1, ""},
        {"coordinate a word", text("0 0 0, 1 abc 0, 1 1 0, 0 1 0", faces), 1,
         "left out 1 facets: face 1" + set + " uses point 1, whose value 'abc' (line 3) is not "
                                             "a number\n"},
        {"coordinate malformed", text("0 0 0, 1 0 0, 1 1 0, 0 1 -", faces), 1,
         "bad stream sfter dVal =-\nleft out 1 facets: face 2" + set +
             " uses point 3, whose value '-' (line 3) is not a number\n"},
        {"coordinate nan", text("0 0 0, 1 0 0, 1 1 0, 0 nan 0", faces), 1,
         "left out 1 facets with non-finite coordinates\n"},
        {"coordinate past a float", text("0 0 0, 1 0 0, 1 1 0, 0 1 -1e39", faces), 1,
         "left out 1 facets with non-finite coordinates\n"},
        {"coordinate missing", text("0 0 0, 1 0 0, 1 1 0, 0 1", faces), 1,
         "referenced Vertex: 3 at 1 not found.\nthe point list of line 3 holds 11 numbers, not "
         "three to a point: its last point is left out\nleft out 1 facets: face 2" +
             set + " names point 3, of 3\n"},
        {"a thousand faces past the points", text(points, manyUnknown), 0,
         "referenced Vertex: 9 at 2 not found.\nreferenced Vertex: 9 at 2 not found.\n"
         "referenced Vertex: 9 at 2 not found.\n"
         "referenced Vertex: ... not found. [1000 times in all]\nleft out 1000 facets, the "
         "first: face 1" +
             set + " names point 9, of 4\n"},
        // Valid variants.
        {"CR LF, no commas, signs, exponents and a hexadecimal index",
         "#VRML V2.0 utf8\r\nShape { geometry IndexedFaceSet {\r\n coord Coordinate { point [ "
         "0 0 0 +1 0 0 1e0 1 0 0 1.0 0 ] }\r\n coordIndex [ 0 1 0x2 -1 2 3 0 ] } }\r\n",
         2, ""},
        {"a byte-order mark", "\xef\xbb\xbf" + text(points, faces), 2, ""},
        // Transforms are passed over: those that would move a set read are
        // told (a field off its default, or one that is no number; in 1.0,
        // a transform moves what follows it in its node), those at their
        // defaults or around no set read are not.
        {"a translation",
         "#VRML V2.0 utf8\nTransform { translation 0 0 5 children [ " + shape + " ] }\n", 2,
         passed + "1 transform ('Transform'), on line 2, that would move 1 face or line set: it is "
                  "loaded where its own coordinates put it\n"},
        {"transforms at their defaults, or around no face set",
         "#VRML V2.0 utf8\nTransform { translation 0 0 0 rotation 0 0 1 0 scale 1 1 1 children [ " +
             shape +
             " ] }\nTransform { translation 1 0 0 children [ Shape { geometry Sphere { } } ] }\n",
         2, ""},
        {"nested, the inner one turning, its field after its children",
         "#VRML V2.0 utf8\nTransform { children [\n Transform { children [ " + shape +
             " ] rotation 0 0 1 1.5 }\n " + shape + " ] }\n",
         4,
         passed + "1 transform ('Transform'), on line 3, that would move 1 face or line set: it is "
                  "loaded where its own coordinates put it\n"},
        {"a scale that is no number, over a face set and a line set",
         "#VRML V2.0 utf8\nTransform { scale 1 x 1 children [ " + shape +
             " Shape { geometry IndexedLineSet { coord Coordinate { point [ 0 0 0, 1 0 0 ] } "
             "coordIndex [ 0 1 ] } } ] }\n",
         2,
         passed + "1 transform ('Transform'), on line 2, that would move 2 face and line sets: "
                  "they are loaded where their own coordinates put them\n"},
        {"1.0: transforms before some face sets, in and out of a separator",
         "#VRML V1.0 ascii\nSeparator { Coordinate3 { point [ 0 0 0, 1 0 0, 1 1 0 ] }\n"
         "  Separator { Translation { translation 2 0 0 }\n"
         "    IndexedFaceSet { coordIndex [ 0, 1, 2 ] } }\n"
         "  IndexedFaceSet { coordIndex [ 0, 2, 1 ] }\n"
         "  MatrixTransform { matrix 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1 }\n"
         "  IndexedFaceSet { coordIndex [ 1, 2, 0 ] }\n"
         "  Transform { rotation 0 0 1 0.5 } IndexedFaceSet { coordIndex [ 2, 0, 1 ] } }\n",
         4,
         passed + "2 transforms ('Transform', 'Translation'), the first on line 3, that would "
                  "move 2 face and line sets: they are loaded where their own coordinates put "
                  "them\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.damage);
        Result r;
        read(r, writeFile("damaged.wrl", c.text));
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(r.mesh.getFacetCount(), c.facets);
        EXPECT_EQ(r.output, c.printed);
    }
}

// Real files written by other programs.
class VrmlRealData : public testing::Test {
protected:
    fs::path dir = fs::path(MW_REALDATA_DIR) / "vrml";
    void SetUp() override { MW_REALDATA_DIR_OR_SKIP(found, "vrml"); }
    std::string path(const char* name) { return (dir / name).string(); }
};

// The expected counts come from a separate scan of the files, not from this
// reader: the faces of every IndexedFaceSet node's coordIndex list with at
// least three corners, all of them points of the node, and the distinct
// positions those faces use (equal within the merge tolerance of 1e-8).
TEST_F(VrmlRealData, Version1Files)
{
    // Four face sets of the same five faces (USE adds none) over the one
    // Coordinate3 of eight points.
    Result r;
    read(r, path("vrml1_indexedfaceset.wrl"));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.mesh.getFacetCount(), 20);
    EXPECT_EQ(mwtest::usedVertexCount(r.mesh), 8);
    expectFace(r.mesh, 0, {0, 1, 2, 3});
    EXPECT_TRUE(r.output.empty()) << r.output;

    // Only the last of four face sets has a face.
    Result c;
    read(c, path("vrml1_coordinate3.wrl"));
    ASSERT_TRUE(c.ok);
    EXPECT_EQ(c.mesh.getFacetCount(), 1);
    EXPECT_EQ(mwtest::usedVertexCount(c.mesh), 4);
    expectFace(c.mesh, 0, {0, 1, 2, 3});
}

TEST_F(VrmlRealData, Version2Files)
{
    Result w;
    read(w, path("Wuson.wrl"));
    ASSERT_TRUE(w.ok);
    EXPECT_TRUE(w.output.empty()) << w.output.substr(0, 200);
    EXPECT_EQ(w.mesh.getFacetCount(), 3732);
    EXPECT_EQ(mwtest::usedVertexCount(w.mesh), 2117);
    for (int p = 0; p < w.mesh.getFacetCount(); ++p)
        ASSERT_EQ(w.mesh.getFacetSize(p), 3);
    EXPECT_GT(w.mesh.edges.getCount(), 0);

    // 24 face sets: into one mesh, or into the given mesh and 23 new ones.
    Result one;
    read(one, path("MotionCaptureROM.WRL"));
    ASSERT_TRUE(one.ok);
    EXPECT_EQ(one.mesh.getFacetCount(), 2000);
    EXPECT_EQ(mwtest::usedVertexCount(one.mesh), 803);
    Result m;
    read(m, path("MotionCaptureROM.WRL"), true);
    ASSERT_TRUE(m.ok);
    // Every face set lies under the skeleton's transforms, which scale,
    // turn and move it (Wuson's one transform around geometry is the
    // identity: no word).
    EXPECT_EQ(m.output, "passed over 25 transforms ('Transform'), the first on line 6, that "
                        "would move 24 face and line sets: they are loaded where their own "
                        "coordinates put them\n");
    ASSERT_EQ(m.meshes.getCount(), 23);
    int facets = m.mesh.getFacetCount();
    for (CFlatMesh* mesh : m.meshes) {
        EXPECT_GT(mesh->getFacetCount(), 0);
        facets += mesh->getFacetCount();
    }
    EXPECT_EQ(facets, 2000);

    Result h;
    read(h, path("HelloWorld.wrl"));
    ASSERT_TRUE(h.ok);
    EXPECT_EQ(h.mesh.getFacetCount(), 0);
    EXPECT_EQ(h.mesh.getVertexCount(true), 0);
}

} // namespace
