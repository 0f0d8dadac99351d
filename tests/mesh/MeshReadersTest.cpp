// What every mesh reader promises on a failed read: the mesh it was given is
// left exactly as it was, and one line says why.
#include "mesh/AutoFormReader.h"
#include "mesh/FlatMesh.h"
#include "mesh/NastranReader.h"
#include "mesh/PolFormat.h"
#include "mesh/StlFormat.h"
#include "mesh/VrmlReader.h"
#include "support/ScratchDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>

namespace {

using Reader = std::function<bool(CFlatMesh&, const std::string& path)>;

bool readVrmlFile(CFlatMesh& mesh, const std::string& path)
{
    Kor::List<CParametricGeometry*> curves;
    return readVRML(mesh, path.c_str(), curves);
}

bool readPolStream(CFlatMesh& mesh, const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    std::istringstream image(bytes.str());
    return mesh.readPOL(image, std::uint32_t(bytes.str().size()));
}

} // namespace

TEST(MeshReaders, FailedReadsLeaveTheMeshAsItWasAndSayWhyInOneLine)
{
    const Reader stl = [](CFlatMesh& m, const std::string& p) {
        return readSTL(m, p.c_str(), true);
    };
    const Reader pol = [](CFlatMesh& m, const std::string& p) { return m.readPOL(p.c_str()); };
    const Reader nastran = [](CFlatMesh& m, const std::string& p) {
        return readNastran(m, p.c_str());
    };
    const Reader autoform = [](CFlatMesh& m, const std::string& p) {
        return readAutoForm(m, p.c_str(), 0, nullptr);
    };
    // A POL header of one vertex (12 bytes): the file holds none of them.
    std::string polHeader(512, '\0');
    polHeader[196] = 1;
    polHeader[200] = 12;
    // One vertex and one polygon of one word: the loop count 1, after which
    // the block ends before the loop's corner count.
    std::string polCut = polHeader + std::string(12, '\0') + std::string("\x01\0\0\0", 4);
    polCut[204] = 1;
    polCut[208] = 4;
    const struct {
        const char* name;
        Reader read;
        std::string bytes; // written to the file; null text: no file at all
        bool noFile;
        const char* message;
    } cases[] = {
        {"missing.stl", stl, "", true, "cannot open STL file "},
        {"binary-short.stl", stl, std::string(80, 'x') + std::string("\x05\0\0\0", 4) + "abc",
         false, "STL text contains binary data"},
        {"words.stl", stl, "no keywords here\n", false, "no STL keyword in "},
        {"missing.pol", pol, "", true, "cannot open POL file "},
        {"short.pol", pol, polHeader, false, "POL header unreadable or its sizes do not match"},
        {"stream.pol", readPolStream, polCut, false, "POL polygon block"},
        {"missing.wrl", readVrmlFile, "", true, "cannot open VRML file "},
        {"header.wrl", readVrmlFile, "Shape { }\n", false, "no #VRML header line in "},
        {"open.wrl", readVrmlFile, "#VRML V2.0 utf8\nShape { geometry IndexedFaceSet {\n", false,
         "VRML file ends inside a node"},
        {"missing.bdf", nastran, "", true, "cannot open Nastran file "},
        {"nogrid.bdf", nastran, "CTRIA3         1       1       1       2       3\n", false,
         "no GRID card in Nastran file "},
        {"missing.af", autoform, "", true, "cannot open AutoForm file "},
        {"nopoints.af", autoform, "FACETS\n1 1 2 3\n", false, "no POINTS in AutoForm file "},
    };
    for (const auto& c : cases) {
        const std::string path = mwtest::scratchPath(c.name);
        if (!c.noFile)
            std::ofstream(path, std::ios::binary) << c.bytes;
        CFlatMesh mesh;
        const int corners[3] = {mesh.addVertex(CVertex<float, 3>(0, 0, 0)),
                                mesh.addVertex(CVertex<float, 3>(1, 0, 0)),
                                mesh.addVertex(CVertex<float, 3>(0, 1, 0))};
        mesh.addPolygon(corners, 3, -1);
        const double cellSize = mesh.facetHash.cellSize;
        testing::internal::CaptureStdout();
        EXPECT_FALSE(c.read(mesh, path)) << c.name;
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(mesh.getVertexCount(true), 3) << c.name;
        EXPECT_EQ(mesh.getFacetCount(), 1) << c.name;
        EXPECT_EQ(mesh.facetHash.cellSize, cellSize) << c.name;
        EXPECT_EQ(out.rfind(c.message, 0), 0u) << c.name << ": " << out;
        EXPECT_EQ(out.find('\n'), out.size() - 1) << c.name << ": " << out;
    }
}
