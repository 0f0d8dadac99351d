// "MWLoadMesh" in the host: the file road with its replace and merge
// questions, the picked road over host meshes and the boundary option.
#include "MeshwrightHost.h"

#include "mesh/GridPoint.h"
#include "mesh/PolFormat.h"
#include "net/SurfaceNet.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include <sys/stat.h>

namespace {

// The host mesh of a soup's triangles.
ON_Mesh hostMesh(const mwtest::MeshSoup& soup)
{
    ON_Mesh mesh;
    for (int k = 0; k < soup.pointCount(); ++k)
        mesh.SetVertex(k, ON_3dPoint(soup.xyz[3 * k], soup.xyz[3 * k + 1], soup.xyz[3 * k + 2]));
    for (std::size_t f = 0; f < soup.facets.size(); ++f) {
        const std::vector<int>& c = soup.facets[f];
        if (c.size() == 4)
            mesh.SetQuad(int(f), c[0], c[1], c[2], c[3]);
        else
            mesh.SetTriangle(int(f), c[0], c[1], c[2]);
    }
    return mesh;
}

class LoadMesh : public MeshwrightHost {
protected:
    CMWMeshObject* only()
    {
        EXPECT_EQ(plugIn().meshObjects.count, 1);
        return plugIn().meshObjects.count > 0 ? plugIn().meshObjects[0] : nullptr;
    }
    // The object is in the document, the list, the watcher's collection
    // and under the net.
    void expectLoaded(CMWMeshObject* object, int facets)
    {
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(doc().ownObject(object), object);
        EXPECT_FALSE(object->IsDeleted());
        EXPECT_TRUE(plugIn().watcher.FindUuid(object->ModelObjectId()));
        EXPECT_EQ(plugIn().net.mesh, object->mesh);
        EXPECT_EQ(object->mesh->getFacetCount(), facets);
    }
    // Where the line first appears in the transcript (npos when absent).
    std::size_t printed(const std::string& line) const { return transcript().find(line); }
};

TEST_F(LoadMesh, FileRoadLoadsReplacesAndMergesWithoutLosingTheMesh)
{
    const std::string bump = writeBumpStl("bump.stl", 8, 0.3, 0.5);   // 128 facets
    const std::string small = writeBumpStl("small.stl", 2, 0.3, 0.5); // 8 facets
    EXPECT_EQ(command("_MWLoadMesh File=Yes file:" + bump), 0);
    CMWMeshObject* object = only();
    expectLoaded(object, 128);
    EXPECT_TRUE(plugIn().editGrid) << "the grips switch editing on";
    const std::size_t shaded = printed("Command ShadedViewport");
    EXPECT_LT(shaded, printed("Command Zoom"));
    EXPECT_LT(printed("Command Zoom"), printed("Command MaxViewPort"));
    EXPECT_TRUE(view().IsMaximized());
    const ON_UUID id = object->ModelObjectId();

    // Cancelled questions and a cancelled file dialog change nothing.
    for (const std::string answers : {"cancel", "no cancel", "no no cancel", "yes cancel"}) {
        SCOPED_TRACE(answers);
        const int result = command("_MWLoadMesh File=Yes " + answers);
        EXPECT_EQ(result, 1);
        EXPECT_EQ(only(), object);
        expectLoaded(object, 128);
    }
    EXPECT_TRUE(boxShown("There is already a MW Mesh Object. Replace contents ?", "MWLoadMesh"));
    EXPECT_TRUE(boxShown("Merge new mesh into existing ?", "MWLoadMesh"));

    EXPECT_EQ(command("_MWLoadMesh File=Yes no yes file:" + small), 0);
    EXPECT_EQ(only(), object);
    expectLoaded(object, 136);
    // Replacing the contents keeps the net, which goes onto the new mesh:
    // its regions are found and its faces computed on that mesh.
    addHashNet(0.5f);
    GB::CSurfaceNet& net = plugIn().net;
    const GB::Face* face = net.firstFace;
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(command("_MWLoadMesh File=Yes no no file:" + small), 0);
    EXPECT_EQ(only(), object);
    expectLoaded(object, 8);
    EXPECT_EQ(object->ModelObjectId(), id);
    EXPECT_NE(object->glEntity(), nullptr);
    EXPECT_EQ(net.getNumPointLists(), 6);
    EXPECT_EQ(net.firstFace, face);
    for (const GB::Face* f = net.firstFace; f != nullptr; f = f->next)
        EXPECT_NE(f->surface, nullptr);

    // A replacing load deletes the old object as its undo can bring it
    // back, and the net onto it; it was purged, and the undo left the net
    // on no mesh.
    EXPECT_EQ(command("_MWLoadMesh File=Yes yes file:" + bump), 0);
    CMWMeshObject* fresh = only();
    expectLoaded(fresh, 128);
    EXPECT_EQ(net.mesh, fresh->mesh);
    EXPECT_EQ(command("_Undo"), 0);
    EXPECT_EQ(only(), object);
    expectLoaded(object, 8);
    EXPECT_EQ(net.mesh, object->mesh);
    EXPECT_EQ(net.getNumPointLists(), 6);
    for (const GB::Face* f = net.firstFace; f != nullptr; f = f->next)
        EXPECT_NE(f->surface, nullptr);
    // A face whose fit failed on a mesh away from the net was never fitted
    // again, on any mesh the net went onto later.
    const std::string away =
        writeStl("away.stl", mwtest::gridSoup(2, 2, 1.0, 1.0, true, 100.0, 100.0));
    EXPECT_EQ(command("_MWLoadMesh File=Yes no no file:" + away), 0);
    EXPECT_EQ(net.firstFace->surface, nullptr);
    EXPECT_EQ(command("_MWLoadMesh File=Yes no no file:" + small), 0);
    for (const GB::Face* f = net.firstFace; f != nullptr; f = f->next)
        EXPECT_NE(f->surface, nullptr);

    // Names of Latin-1 bytes open on every road: the load and the grid
    // import answered 3 ("cannot open ... b?mp.stl"), the open did not.
    const std::string latin = mwtest::scratchPath("b\xfcmp.stl");
    const std::string grid = mwtest::scratchPath("n\xe9t.grid");
    const std::string document = mwtest::scratchPath("d\xf6sk.vzd");
    std::filesystem::copy_file(bump, latin);
    {
        std::ofstream text(grid);
        ASSERT_TRUE(net.write(text));
    }
    EXPECT_EQ(command("_MWLoadMesh File=Yes no no file:" + latin), 0);
    expectLoaded(object, 128);
    EXPECT_EQ(command("_MWImportGridV1 file:" + grid), 0);
    EXPECT_EQ(command("-_Save \"" + document + "\""), 0);
    EXPECT_EQ(command("_Open \"" + document + "\""), 0);
    EXPECT_EQ(command("_Import \"" + small + "\" Yes"), 0);
    expectLoaded(only(), 8);
    EXPECT_EQ(command("_Import \"" + latin + "\" Yes"), 0);
    expectLoaded(only(), 128);
    assertNoUnansweredPrompts();

    ASSERT_TRUE(hosttest::passes(run("-_MWLoadMesh\n!expect-result 3")));
    EXPECT_NE(printed("The \"MWLoadMesh\" command is under construction."), std::string::npos);
}

// A file that gives no facet (empty, cut, every facet NaN or infinite)
// answers failure on every road of the file with a line that names it, and
// leaves the mesh and the net the user had; a missing file cancels the file
// dialog, and the command. Facets with a corner that is not finite are left
// out of a file that has others, their count in one line. The failures
// answered 0 (success), and NaN facets came into the mesh.
TEST_F(LoadMesh, FileWithoutFacetsFailsAndKeepsTheMeshAndNet)
{
    const std::string bump = writeBumpStl("bump.stl", 8, 0.3, 0.5); // 128 facets
    std::string image;
    {
        std::stringstream bytes;
        bytes << std::ifstream(bump, std::ios::binary).rdbuf();
        image = bytes.str();
    }
    const auto write = [](const std::string& name, const std::string& bytes) {
        const std::string path = mwtest::scratchPath(name);
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    };
    // The bump with a NaN vertex inside and an infinite one at a corner, and
    // with every coordinate NaN.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    mwtest::MeshSoup soup = mwtest::gridSoup(8, 8, 0.25, 0.25, true, -1.0, -1.0);
    soup.xyz[3 * 40] = nan;
    soup.xyz[3 * 80 + 2] = std::numeric_limits<double>::infinity();
    int finiteFacets = 0;
    for (const std::vector<int>& facet : soup.facets)
        finiteFacets += std::all_of(facet.begin(), facet.end(), [&](int k) {
            return std::isfinite(soup.xyz[3 * k]) && std::isfinite(soup.xyz[3 * k + 2]);
        });
    ASSERT_LT(finiteFacets, 126);
    const std::string partly = writeStl("partly-nan.stl", soup);
    std::fill(soup.xyz.begin(), soup.xyz.end(), nan);
    CFlatMesh nanMesh;
    mwtest::fillFlatMesh(soup, nanMesh);
    const std::string nanPol = mwtest::scratchPath("nan.pol");
    ASSERT_TRUE(writePOLFile(&nanMesh, nanPol.c_str()));
    const std::string facet = "facet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\n";
    const std::vector<std::string> noFacets = {
        write("empty.stl", ""),
        write("cut.stl", image.substr(0, 84 + 25)), // cut inside its first facet
        writeStl("nan.stl", soup),
        nanPol,
        write("nan-text.stl", "solid s\n" + facet + "vertex nan 1 0\nendloop\nendfacet\n" + facet +
                                  "vertex 0 1e39 -inf\nendloop\nendfacet\nendsolid s\n"),
    };
    // What is not a regular file cancels the dialog with its cause: a FIFO
    // held the load, and a folder or device was said to be missing.
    const std::string fifo = mwtest::scratchPath("fifo.stl"), link = mwtest::scratchPath("l.stl");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directory_symlink(mwtest::scratchDir(), link);
    const std::pair<std::string, std::string> refused[] = {
        {mwtest::scratchPath("missing.stl"), "not found"},
        {mwtest::scratchDir(), "is a folder"},
        {link, "is a folder"},
        {fifo, "is not a regular file (a FIFO)"},
        {"/dev/null", "is not a regular file (a device)"},
    };

    // Without a mesh loaded.
    for (const std::string& file : noFacets) {
        SCOPED_TRACE(file);
        EXPECT_EQ(command("_MWLoadMesh File=Yes file:" + file), 3);
        EXPECT_NE(printed("No facets have been imported from " + file), std::string::npos);
        EXPECT_EQ(plugIn().meshObjects.count, 0);
        EXPECT_EQ(doc().ObjectCount(), 0);
    }
    for (const auto& [file, cause] : refused) {
        EXPECT_EQ(command("_MWLoadMesh File=Yes file:" + file), 1);
        EXPECT_NE(printed("File " + cause + ": " + file + "; the file dialog is cancelled"),
                  std::string::npos);
    }

    // A mesh and a net on it stay through every road.
    EXPECT_EQ(command("_MWLoadMesh File=Yes file:" + bump), 0);
    CMWMeshObject* object = only();
    addHashNet(0.5f);
    GB::CSurfaceNet& net = plugIn().net;
    const GB::Face* face = net.firstFace;
    for (const std::string& file : noFacets)
        for (const std::string road : {"yes", "no yes", "no no"}) {
            SCOPED_TRACE(file + " " + road);
            EXPECT_EQ(command("_MWLoadMesh File=Yes " + road + " file:" + file), 3);
            EXPECT_EQ(only(), object);
            expectLoaded(object, 128);
            EXPECT_EQ(net.getNumPointLists(), 6);
            EXPECT_EQ(net.firstFace, face);
        }
    for (const auto& [file, cause] : refused)
        EXPECT_EQ(command("_MWLoadMesh File=Yes no no file:" + file), 1);
    expectLoaded(object, 128);

    const std::size_t before = m_host.standardOutput().size();
    EXPECT_EQ(command("_MWLoadMesh File=Yes no no file:" + partly), 0);
    expectLoaded(object, finiteFacets);
    EXPECT_NE(m_host.standardOutput().find("left out " + std::to_string(128 - finiteFacets) +
                                               " facets with non-finite coordinates\n",
                                           before),
              std::string::npos);
    const CBox<float, 3> box = object->mesh->getBoundingBox();
    for (int c = 0; c < 3; ++c) {
        EXPECT_GE(box.min.data[c], c < 2 ? -1.0f : 0.0f);
        EXPECT_LE(box.max.data[c], c < 2 ? 1.0f : 0.3f);
    }
    assertNoUnansweredPrompts();
}

TEST_F(LoadMesh, PickedRoadConvertsHostMeshesAndDeletesThemOnlyOnceConverted)
{
    // Two halves of one grid; a cancelled pick and a conversion stopped
    // with Terminate delete nothing.
    doc().AddMeshObject(hostMesh(mwtest::gridSoup(2, 4, 0.5, 0.5, true, -1.0, -1.0)));
    doc().AddMeshObject(hostMesh(mwtest::gridSoup(2, 4, 0.5, 0.5, true, 0.0, -1.0)));
    for (const char* script : {"_MWLoadMesh pick:type:mesh Escape",
                               "!terminate-after 1\n_MWLoadMesh pick:type:mesh Enter"}) {
        SCOPED_TRACE(script);
        EXPECT_EQ(command(script), 0);
        EXPECT_EQ(plugIn().meshObjects.count, 0);
        EXPECT_FALSE(doc().ObjectAt(0)->IsDeleted());
        EXPECT_FALSE(doc().ObjectAt(1)->IsDeleted());
    }

    EXPECT_EQ(command("_MWLoadMesh pick:type:mesh Enter"), 0);
    CMWMeshObject* object = only();
    expectLoaded(object, 32);
    EXPECT_TRUE(doc().ObjectAt(0)->IsDeleted());
    EXPECT_TRUE(doc().ObjectAt(1)->IsDeleted());
    EXPECT_EQ(printed("Command Zoom"), std::string::npos);
    EXPECT_NE(printed("Command ShadedViewport"), std::string::npos);

    // A closed host mesh replaces the loaded object, which keeps its place
    // in the plug-in's list; it has no boundary to convert.
    mwtest::MeshSoup cube = mwtest::cubeSoup(1.0);
    doc().AddMeshObject(hostMesh(cube));
    EXPECT_EQ(command("_MWLoadMesh ConvertMeshBoundary=Yes pick:#3 Enter"), 0);
    EXPECT_TRUE(boxShown("Mesh does not contain a boundary.", "Meshwright"));
    CMWMeshObject* replacement = only();
    EXPECT_NE(replacement, object);
    expectLoaded(replacement, 6);
    EXPECT_EQ(plugIn().net.getNumPointLists(), 0);

    // An open grid, its host mesh kept: its square boundary becomes four
    // poly-lines that share their corners.
    doc().AddMeshObject(hostMesh(mwtest::gridSoup(4, 4, 0.5, 0.5, true, -1.0, -1.0)));
    EXPECT_EQ(command("_MWLoadMesh ConvertMeshBoundary=Yes DeleteVezadMesh=No pick:#5 Enter"), 0);
    EXPECT_FALSE(doc().ObjectAt(5)->IsDeleted());
    GB::CSurfaceNet& net = plugIn().net;
    ASSERT_EQ(net.getNumPointLists(), 4);
    int corners = 0;
    for (const COffset_PointList* pl : net.pointLists)
        for (const CVertex<float, 3>* v : pl->vertices)
            corners += useCountOf(v) == 2 ? 1 : 0;
    EXPECT_EQ(corners, 8) << "each corner ends two poly-lines";
    // Undone, the load gives the net to the object it had replaced.
    EXPECT_EQ(command("_Undo"), 0);
    EXPECT_EQ(net.mesh, replacement->mesh);
    assertNoUnansweredPrompts();
}

} // namespace
