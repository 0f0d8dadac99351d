#include "MeshwrightHost.h"

#include "foundation/Progress.h"
#include "geometry/ParametricGeometry.h"
#include "mesh/PolFormat.h"
#include "mesh/StlFormat.h"
#include "mesh/VrmlReader.h"
#include "plugin/MeshLoading.h"
#include "support/RealData.h"
#include "support/ScratchDir.h"

#include <filesystem>
#include <memory>

namespace {

const char* const noFacets = "No facets have been imported";
const char* const largeNote = "Note: the Mesh consists of more than 750'000 facets. Graphic "
                              "performace may be degraded. Split or decimate the mesh for faster "
                              "response.";

// A sink that keeps its labels and cancels at the given step (0: never).
class RecordingProgress : public CSimpleProgress {
public:
    explicit RecordingProgress(int cancelAt) : cancelAt(cancelAt) { setPrint(false); }
    bool setLabel(const char* label) override
    {
        labels.emplace_back(label);
        stepsAtLabel.push_back(steps);
        return CSimpleProgress::setLabel(label);
    }
    void step(int n) override
    {
        CSimpleProgress::step(n);
        if (++steps == cancelAt)
            setCancelled(true);
    }
    int cancelAt;
    int steps = 0;
    std::vector<std::string> labels;
    std::vector<int> stepsAtLabel;
};

// The test's mesh loaded through the file dialog.
std::unique_ptr<CFlatMesh> loadThroughDialog(const std::string& path)
{
    VezadApp().InputQueue().pushFront({"file:" + path});
    return std::unique_ptr<CFlatMesh>(loadMeshFile());
}

// nx x ny cells of two triangles, and one triangle more when asked, as a
// POL or a binary STL file.
std::string writeGridFile(const std::string& name, int nx, int ny, bool oneMore, bool pol)
{
    mwtest::MeshSoup soup = mwtest::gridSoup(nx, ny, 0.01, 0.01, true);
    if (oneMore)
        soup.facets.push_back({0, 1, nx + 1});
    CFlatMesh mesh;
    mwtest::fillFlatMesh(soup, mesh);
    const std::string path = mwtest::scratchPath(name);
    if (pol)
        EXPECT_TRUE(writePOLFile(&mesh, path.c_str()));
    else
        EXPECT_TRUE(mesh.writeBinarySTL(path.c_str(), nullptr, -1));
    return path;
}

TEST_F(MeshwrightHost, FileExtensionChoosesTheReaderAndEmptyMeshesAreReported)
{
    const std::string stl = writeGridFile("grid.stl", 3, 2, false, false);
    for (const char* copy : {"file.STLB", "file.obj", "file.ply"})
        std::filesystem::copy_file(stl, mwtest::scratchPath(copy));
    const struct {
        std::string path;
        int facets;
    } cases[] = {{mwtest::scratchPath("file.STLB"), 12},
                 {writeGridFile("grid.Pol", 2, 2, true, true), 9},
                 {mwtest::scratchPath("file.obj"), 0},
                 {mwtest::scratchPath("file.ply"), 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const std::size_t before = boxes().size();
        std::unique_ptr<CFlatMesh> mesh = loadThroughDialog(c.path);
        ASSERT_NE(mesh, nullptr);
        EXPECT_EQ(mesh->getFacetCount(), c.facets);
        EXPECT_EQ(boxes().size(), before + (c.facets == 0 ? 1 : 0));
        EXPECT_EQ(boxShown(noFacets, "Meshwright"), c.facets == 0 || before > 0);
        if (c.facets > 0) { // the hash's cells follow the extent / 200
            EXPECT_NEAR(mesh->facetHash.cellSize, 2.0 * (c.facets == 12 ? 0.03 : 0.02) / 200.0,
                        1e-9);
        }
    }

    VezadApp().InputQueue().pushFront({"cancel"});
    EXPECT_EQ(loadMeshFile(), nullptr);
    VezadApp().InputQueue().pushFront({"file:" + mwtest::scratchPath("file.obj")});
    EXPECT_EQ(loadMeshObject(), nullptr);
    VezadApp().InputQueue().pushFront({"file:" + stl});
    std::unique_ptr<CMWMeshObject> object(loadMeshObject());
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->Attributes().m_name, ON_wString(stl.c_str()));
    EXPECT_EQ(object->mesh->getFacetCount(), 12);
    EXPECT_GT(object->sectionCurves().count, 0);
    assertNoUnansweredPrompts();
}

TEST_F(MeshwrightHost, LargeMeshNoteAppearsAbove750000Facets)
{
    for (bool above : {false, true}) {
        SCOPED_TRACE(above ? "750001" : "750000");
        const std::string path =
            writeGridFile(above ? "above.pol" : "at.pol", 750, 500, above, true);
        std::unique_ptr<CFlatMesh> mesh = loadThroughDialog(path);
        ASSERT_NE(mesh, nullptr);
        EXPECT_EQ(mesh->getFacetCount(), above ? 750001 : 750000);
        EXPECT_EQ(boxShown(largeNote, "Meshwright"), above);
    }
}

TEST_F(MeshwrightHost, HostMeshesJoinThroughTheirTopology)
{
    // The square [0, 1]^2 as two triangles, one corner stored twice (as a
    // host does for normals); the square [1, 2] x [0, 1] as a quad beside
    // it, and a quad whose last two corners lie on one point.
    ON_Mesh left, right;
    for (const auto& p : {ON_3dPoint(0, 0, 0), ON_3dPoint(1, 0, 0), ON_3dPoint(1, 1, 0),
                          ON_3dPoint(0, 1, 0), ON_3dPoint(0, 0, 0)})
        left.SetVertex(left.VertexCount(), p);
    left.SetTriangle(0, 0, 1, 2);
    left.SetTriangle(1, 4, 2, 3);
    for (const auto& p :
         {ON_3dPoint(1, 0, 0), ON_3dPoint(2, 0, 0), ON_3dPoint(2, 1, 0), ON_3dPoint(1, 1, 0),
          ON_3dPoint(3, 0, 0), ON_3dPoint(3, 1, 0), ON_3dPoint(3, 1, 0)})
        right.SetVertex(right.VertexCount(), p);
    right.SetQuad(0, 0, 1, 2, 3);
    right.SetQuad(1, 1, 4, 5, 6);
    ON_SimpleArray<const ON_Mesh*> meshes;
    meshes.Append(&left);
    meshes.Append(&right);

    RecordingProgress progress(0);
    std::unique_ptr<CFlatMesh> mesh(meshFromVezadMesh(&progress, meshes));
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->getFacetCount(), 4);
    const int sizes[4] = {3, 3, 4, 3};
    for (int f = 0; f < 4; ++f)
        EXPECT_EQ(mesh->getFacetSize(f), sizes[f]) << f;
    EXPECT_EQ(mwtest::usedVertexCount(*mesh), 8); // the shared edge's ends merged
    EXPECT_EQ(progress.labels, (std::vector<std::string>{"stitch", "init search"}));
    EXPECT_EQ(mesh->progress, nullptr);
    EXPECT_NEAR(mesh->facetHash.cellSize, 2.0 * 3.0 / 350.0, 1e-9);

    RecordingProgress cancelling(2);
    EXPECT_EQ(meshFromVezadMesh(&cancelling, meshes), nullptr);
    EXPECT_FALSE(cancelling.isCancelled());
    // The cancel ends the left mesh's face loop and the right one's at once.
    ASSERT_FALSE(cancelling.stepsAtLabel.empty());
    EXPECT_EQ(cancelling.stepsAtLabel[0], 2 + 1);

    std::unique_ptr<CFlatMesh> silent(meshFromVezadMesh(nullptr, meshes));
    ASSERT_NE(silent, nullptr);
    EXPECT_EQ(silent->getFacetCount(), 4);
}

TEST_F(MeshwrightHost, RealFilesLoadWithTheFacetsOfTheirReaders)
{
    MW_REALDATA_DIR_OR_SKIP(stlDir, "stl");
    MW_REALDATA_DIR_OR_SKIP(vrmlDir, "vrml");
    MW_REALDATA_DIR_OR_SKIP(nastranDir, "nastran");
    for (const char* folder : {"stl", "vrml", "nastran"})
        for (const auto& entry : std::filesystem::directory_iterator(mwtest::realDataDir(folder))) {
            const std::string path = entry.path().string();
            SCOPED_TRACE(path);
            CFlatMesh direct;
            if (std::string(folder) == "stl") {
                readSTL(direct, path.c_str(), true);
            } else if (std::string(folder) == "vrml") {
                Kor::List<CParametricGeometry*> scratch;
                readVRML(direct, path.c_str(), scratch);
                scratch.deleteAll();
            } // the Nastran files have extensions without a reader
            const std::size_t before = boxes().size();
            std::unique_ptr<CFlatMesh> mesh = loadThroughDialog(path);
            ASSERT_NE(mesh, nullptr);
            EXPECT_EQ(mesh->getFacetCount(), direct.getFacetCount());
            const bool empty = direct.getFacetCount() == 0;
            EXPECT_EQ(boxes().size(), before + (empty ? 1 : 0));
            if (entry.path().filename() == "stl_empty_bin.stl" ||
                std::string(folder) == "nastran") {
                EXPECT_TRUE(empty);
            }
        }
    assertNoUnansweredPrompts();
}

} // namespace
