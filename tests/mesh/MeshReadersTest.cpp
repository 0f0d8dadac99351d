// What every mesh reader promises on a failed read: the mesh it was given is
// left exactly as it was, and one line says why; and on the real files of
// other programs: nothing is told as left out.
#include "geometry/ParametricGeometry.h"
#include "mesh/AutoFormReader.h"
#include "mesh/FlatMesh.h"
#include "mesh/NastranReader.h"
#include "mesh/StlFormat.h"
#include "mesh/VrmlReader.h"
#include "support/RealData.h"
#include "support/ScratchDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

TEST(MeshReaders, FailedReadsLeaveTheMeshAsItWasAndSayWhyInOneLine)
{
    using Reader = bool (*)(CFlatMesh&, const char* path);
    const Reader stl = [](CFlatMesh& m, const char* p) { return readSTL(m, p, true); };
    const Reader pol = [](CFlatMesh& m, const char* p) { return m.readPOL(p); };
    const Reader vrml = [](CFlatMesh& m, const char* p) {
        Kor::List<CParametricGeometry*> curves;
        return readVRML(m, p, curves);
    };
    const Reader nastran = [](CFlatMesh& m, const char* p) { return readNastran(m, p); };
    const Reader autoform = [](CFlatMesh& m, const char* p) {
        return readAutoForm(m, p, 0, nullptr);
    };
    // POL: a header of one vertex that the file does not hold; then one
    // vertex and one polygon whose block ends after its loop count.
    std::string polHeader(512, '\0');
    polHeader[196] = 1;
    polHeader[200] = 12;
    std::string polCut = polHeader + std::string(12, '\0') + std::string("\x01\0\0\0", 4);
    polCut[204] = 1;
    polCut[208] = 4;
    std::string picture = "\x89PNG\r\n\x1a\n";
    for (unsigned x = 1; picture.size() < 4000;)
        picture.push_back(char((x = x * 1103515245u + 12345u) >> 23));
    // A line (a token for VRML) of 1 MiB and one more character, which no
    // file of these formats holds: a text without line ends was read whole.
    const std::string overlong((std::size_t(1) << 20) + 1, '1');
    const struct {
        const char* name;
        Reader read;
        const char* message;
        std::string bytes; // written to the file; none for the missing files
    } cases[] = {
        {"missing.stl", stl, "cannot open STL file ", ""},
        {"short.stl", stl, "STL file too short: it ends inside the first of the 5 facets",
         std::string(80, 'x') + std::string("\x05\0\0\0", 4) + "abc"},
        {"nul.stl", stl, "STL text contains binary data",
         "solid damaged\n facet normal 0 0 1\n  outer loop\n   vertex 0 0 0\n   vertex 1 0 0\n"
         "   vertex 0 1 0\n  endloop\n endfacet\n" +
             std::string(1, '\0') + "endsolid"},
        // A picture whose size is no binary STL's: its records are no facets.
        {"picture.stl", stl, "not an STL file: its count of ", picture},
        {"words.stl", stl, "no STL keyword in ", "no keywords here\n"},
        {"missing.pol", pol, "cannot open POL file ", ""},
        {"short.pol", pol, "POL header unreadable or its sizes do not match", polHeader},
        {"cut.pol", pol, "POL polygon block ends inside polygon 0", polCut},
        {"missing.wrl", vrml, "cannot open VRML file ", ""},
        {"header.wrl", vrml, "no #VRML header line in ", "Shape { }\n"},
        {"open.wrl", vrml, "VRML file ends inside a node", "#VRML V2.0 utf8\nShape { geometry {\n"},
        {"long.wrl", vrml, "a token on line 2 of VRML file ",
         "#VRML V2.0 utf8\nShape { geometry IndexedFaceSet { coord Coordinate { point [ " +
             overlong},
        {"missing.bdf", nastran, "cannot open Nastran file ", ""},
        {"nogrid.bdf", nastran, "no GRID card in Nastran file ",
         "CTRIA3         1       1       1       2       3\n"},
        {"missing.af", autoform, "cannot open AutoForm file ", ""},
        {"nopoints.af", autoform, "no POINTS in AutoForm file ", "FACETS\n1 1 2 3\n"},
        {"long.af", autoform, "line 6 of AutoForm file ",
         "POINTS\n1 0 0 0\n2 1 0 0\n3 0 1 0\nFACETS\n" + overlong + "\n1 1 2 3\n"},
        {"long.bdf", nastran, "line 3 of Nastran file ",
         "BEGIN BULK\nGRID,1,0,0.,0.,0.\n" + overlong + "\nENDDATA\n"},
    };
    for (const auto& c : cases) {
        const std::string path = mwtest::scratchPath(c.name);
        if (std::string(c.name).rfind("missing", 0) != 0)
            std::ofstream(path, std::ios::binary) << c.bytes;
        CFlatMesh mesh;
        const int corners[3] = {mesh.addVertex({0, 0, 0}), mesh.addVertex({1, 0, 0}),
                                mesh.addVertex({0, 1, 0})};
        mesh.addPolygon(corners, 3, -1);
        const double cellSize = mesh.facetHash.cellSize;
        testing::internal::CaptureStdout();
        EXPECT_FALSE(c.read(mesh, path.c_str())) << c.name;
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_TRUE(mesh.getVertexCount(true) == 3 && mesh.getFacetCount() == 1) << c.name;
        EXPECT_EQ(mesh.facetHash.cellSize, cellSize) << c.name;
        EXPECT_EQ(out.rfind(c.message, 0), 0u) << c.name << ": " << out;
        EXPECT_EQ(out.find('\n'), out.size() - 1) << c.name << ": " << out;
    }
}

// Every real file, read as the mesh loader reads it: the readers that tell
// what they leave out find nothing to tell in a valid file (their facet
// counts are held by each format's own real-data test).
TEST(MeshReaders, RealFilesLoadWithoutAWordOfLoss)
{
    MW_REALDATA_DIR_OR_SKIP(stl, "stl");
    int files = 0;
    for (const char* kind : {"stl", "vrml", "nastran"})
        for (const auto& entry : std::filesystem::directory_iterator(mwtest::realDataDir(kind))) {
            const std::string path = entry.path().string();
            SCOPED_TRACE(path);
            CFlatMesh mesh;
            Kor::List<CParametricGeometry*> curves;
            testing::internal::CaptureStdout();
            const bool read = std::string(kind) == "stl"    ? readSTL(mesh, path.c_str(), true)
                              : std::string(kind) == "vrml" ? readVRML(mesh, path.c_str(), curves)
                                                            : readNastran(mesh, path.c_str());
            const std::string out = testing::internal::GetCapturedStdout();
            curves.deleteAll();
            EXPECT_TRUE(read);
            for (const char* word : {"left out", "cut short", "not found", "bad ", "endfacet",
                                     "not a triangle"})
                EXPECT_EQ(out.find(word), std::string::npos) << word << " in: " << out;
            // The cards of kinds not read (properties, loads, ...) are told
            // in one line however many there are.
            if (std::string(kind) == "nastran") {
                EXPECT_EQ(out.rfind("passed over ", 0), 0u) << out;
                EXPECT_EQ(out.find('\n'), out.size() - 1) << out;
            }
            ++files;
        }
    EXPECT_EQ(files, 19);
}
