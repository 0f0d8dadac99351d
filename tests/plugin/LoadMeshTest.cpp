// "MWLoadMesh" in the host: the file road with its replace and merge
// questions, the picked road over host meshes and the boundary option.
#include "MeshwrightHost.h"

#include "mesh/GridPoint.h"
#include "net/SurfaceNet.h"

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
        EXPECT_EQ(result, answers.size() < 10 ? 1 : 0);
        EXPECT_EQ(only(), object);
        expectLoaded(object, 128);
    }
    EXPECT_TRUE(boxShown("There is already a MW Mesh Object. Replace contents ?", "MWLoadMesh"));
    EXPECT_TRUE(boxShown("Merge new mesh into existing ?", "MWLoadMesh"));

    EXPECT_EQ(command("_MWLoadMesh File=Yes no yes file:" + small), 0);
    EXPECT_EQ(only(), object);
    expectLoaded(object, 136);
    // Replacing the contents keeps the net, which goes onto the new mesh.
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

    EXPECT_EQ(command("_MWLoadMesh File=Yes yes file:" + bump), 0);
    CMWMeshObject* fresh = only();
    expectLoaded(fresh, 128);
    EXPECT_EQ(doc().ObjectCount(), 1) << "the old object is purged";
    assertNoUnansweredPrompts();

    ASSERT_TRUE(hosttest::passes(run("-_MWLoadMesh\n!expect-result 3")));
    EXPECT_NE(printed("The \"MWLoadMesh\" command is under construction."), std::string::npos);
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
    assertNoUnansweredPrompts();
}

} // namespace
