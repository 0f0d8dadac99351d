#include "MeshwrightHost.h"

#include "fitting/FitFixtures.h"
#include "geometry/NurbsSurf.h"
#include "plugin/Commit.h"
#include "plugin/OpenNurbsConversion.h"
#include "support/NurbsFixtures.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

namespace {

// Each face of the net gets the plane over its square, as a finished
// surface update leaves them.
void givePlanesToFaces(GB::CSurfaceNet& net)
{
    net.fittingOff = true;
    net.computeSurfaces(false, false, nullptr); // the coedges, and no loop left modified
    for (GB::Face* face = net.firstFace; face != nullptr; face = face->next) {
        CBox<float, 3> box;
        for (const CCoEdge* coedge : face->firstLoop->coedges)
            for (int k = coedge->firstIndex; k <= coedge->secondIndex; ++k)
                box.add(*coedge->polyLine->vertices[k]);
        const fitfix::SurfaceFrame frame{box.min[0], box.min[1], box.max[0] - box.min[0],
                                         box.max[1] - box.min[1]};
        net.setFaceSurface(face,
                           fitfix::heightFieldSurface(4, 4, frame, fitfix::flat(0.0)).release());
        face->computedState = face->requestedState;
    }
    EXPECT_EQ(net.countSurfaces(nullptr), 4);
}

// Live Breps per layer.
std::vector<int> brepsPerLayer(CVezadDoc& doc)
{
    std::vector<int> counts(static_cast<std::size_t>(doc.LayerTable().LayerCount()), 0);
    CVezadObjectIterator it(doc);
    for (CVezadObject* object = it.First(); object; object = it.Next())
        if (object->ObjectType() == ON::brep_object)
            ++counts[static_cast<std::size_t>(object->Attributes().m_layer_index)];
    return counts;
}

bool allValid(CVezadDoc& doc)
{
    CVezadObjectIterator it(doc);
    for (CVezadObject* object = it.First(); object; object = it.Next())
        if (object->ObjectType() == ON::brep_object && !object->Geometry()->IsValid())
            return false;
    return true;
}

// Cancels the first step of the Brep conversion.
class CancelConversion : public CSimpleProgress {
public:
    void step(int n) override
    {
        CSimpleProgress::step(n);
        if (std::string(getLabel() ? getLabel() : "").rfind("convert ", 0) == 0)
            setCancelled(true);
    }
};

// The commit puts its Breps on the first empty layer and replaces the last
// commit's Breps, or keeps them; the references follow the last commit.
TEST_F(MeshwrightHost, CommitAddsBrepsToTheFirstEmptyLayerAndReplacesTheLastCommit)
{
    addMeshObject(true, 8);
    addHashNet(0.75f);
    givePlanesToFaces(plugIn().net);
    ASSERT_TRUE(run("_MWEditGrid").status == ScriptResult::passed);
    EXPECT_EQ(command("_MWCommit Enter"), 0);
    EXPECT_NE(transcript().find("Converted 4 Surfaces to Vezad into Layer 1."), std::string::npos);
    EXPECT_EQ(brepsPerLayer(doc()), (std::vector<int>{0, 4}));
    EXPECT_TRUE(allValid(doc()));
    EXPECT_EQ(plugIn().objectRefs.count, 4);
    EXPECT_FALSE(plugIn().editGrid);

    // Saved and reopened, the references still name the Breps to replace.
    ASSERT_TRUE(saveAndReopen());
    ASSERT_EQ(plugIn().objectRefs.count, 4);
    EXPECT_EQ(command("_MWCommit Heal=No Enter"), 0);
    EXPECT_NE(m_host.standardOutput().find("try delete 4 old surfaces."), std::string::npos);
    EXPECT_EQ(brepsPerLayer(doc()), (std::vector<int>{0, 4}));

    EXPECT_EQ(command("_MWCommit Delete_old_srfs=No Heal=No Enter"), 0);
    EXPECT_EQ(brepsPerLayer(doc()), (std::vector<int>{0, 4, 4}));
    ASSERT_EQ(plugIn().objectRefs.count, 4);
    for (const CVezadObjRef& ref : plugIn().objectRefs)
        EXPECT_EQ(ref.Object()->Attributes().m_layer_index, 2);
    assertNoUnansweredPrompts();
}

// A commit cancelled during the Brep conversion adds and deletes nothing
// and leaves editing on; curves only adds the mesh object's curves, then
// the poly-lines' curves.
TEST_F(MeshwrightHost, CancelledCommitAddsNothingAndCurvesOnlyAddsCurves)
{
    CMWMeshObject* object = addMeshObject(true, 8);
    addHashNet(0.75f);
    givePlanesToFaces(plugIn().net);
    ASSERT_TRUE(run("_MWEditGrid").status == ScriptResult::passed);
    EXPECT_EQ(command("_MWCommit Heal=No Enter"), 0);
    const int objects = doc().ObjectCount();
    CancelConversion sink;
    sink.setPrint(false);
    plugIn().net.setProgress(&sink);
    ASSERT_TRUE(run("_MWEditGrid").status == ScriptResult::passed);
    EXPECT_FALSE(plugIn().convertFacesToVezad(false, true, false));
    plugIn().net.setProgress(&plugIn().infoDialog);
    EXPECT_NE(m_host.standardOutput().find("Face Creation cancelled"), std::string::npos);
    EXPECT_EQ(doc().ObjectCount(), objects);
    EXPECT_EQ(brepsPerLayer(doc()), (std::vector<int>{0, 4}));
    EXPECT_EQ(plugIn().objectRefs.count, 4);
    EXPECT_TRUE(plugIn().editGrid);

    const int meshCurves = object->curves.count;
    ASSERT_GT(meshCurves, 0);
    EXPECT_EQ(command("_MWCommit Commit_Surfaces=No Enter"), 0);
    ASSERT_EQ(doc().ObjectCount(), objects + meshCurves + 6);
    const ON_Curve* first = CVezadObjRef(doc().ObjectAt(objects)).Curve();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->PointAtStart().DistanceTo(object->curves[0]->PointAtStart()) < 1e-12);

    EXPECT_NEAR(commitMatchTolerance(0.1, 0.01), 1.0, 1e-15);
    EXPECT_NEAR(commitMatchTolerance(0.5, 0.01), 2.0, 1e-15);
    assertNoUnansweredPrompts();
}

// Four faces fitted on a bump become four valid Breps whose surfaces keep
// the mesh vertices inside their squares within the net's tolerance.
TEST_F(MeshwrightHost, CommittedFacesFollowTheMesh)
{
    const auto height = [](double x, double y) { return 0.5 * std::exp(-(x * x + y * y) / 0.64); };
    ASSERT_EQ(command("_MWLoadMesh File=Yes file:" + writeBumpStl("bump.stl", 40, 0.5, 0.8)), 0);
    Gridbench::CGridPoint* p[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            const float x = 0.6f * float(i - 1), y = 0.6f * float(j - 1);
            p[i][j] = mwtest::gridPoint(x, y, float(height(x, y)));
            p[i][j]->normal.data[2] = 1.f;
        }
    GB::CSurfaceNet& net = plugIn().net;
    for (int k = 0; k < 3; ++k) {
        mwtest::polyLine(net, {p[0][k], p[1][k], p[2][k]})->interpolate();
        mwtest::polyLine(net, {p[k][0], p[k][1], p[k][2]})->interpolate();
    }
    const double t = 0.01;
    net.surfaceTolerance = t;
    net.buildTopology(false);
    net.computeSurfaces(true, false, nullptr);
    ASSERT_EQ(net.countSurfaces(nullptr), 4);

    EXPECT_EQ(command("_MWCommit Enter"), 0);
    EXPECT_EQ(brepsPerLayer(doc()), (std::vector<int>{0, 4}));
    EXPECT_TRUE(allValid(doc()));
    for (const CVezadObjRef& ref : plugIn().objectRefs) {
        const ON_BrepFace& face = ref.Brep()->m_F[0];
        const ON_3dPoint middle =
            face.PointAt(face.Domain(0).ParameterAt(0.5), face.Domain(1).ParameterAt(0.5));
        // The square of the face: the quadrant its middle lies in.
        const double x0 = middle.x < 0.0 ? -0.6 : 0.0, y0 = middle.y < 0.0 ? -0.6 : 0.0;
        std::unique_ptr<Fenwo::NurbsSurf> surface(
            fromONNurbsSurface(*ON_NurbsSurface::Cast(ref.Brep()->m_S[0])));
        ASSERT_NE(surface, nullptr);
        std::vector<double> distances;
        for (int j = 0; j <= 40; ++j)
            for (int i = 0; i <= 40; ++i) {
                const double x = -1.0 + 0.05 * i, y = -1.0 + 0.05 * j;
                if (x > x0 + 0.06 && x < x0 + 0.54 && y > y0 + 0.06 && y < y0 + 0.54)
                    distances.push_back(distanceToSurface(*surface, Vector(x, y, height(x, y))));
            }
        ASSERT_GE(distances.size(), 64u);
        std::sort(distances.begin(), distances.end());
        EXPECT_LE(distances[distances.size() * 98 / 100], 1.05 * t);
        EXPECT_LE(distances.back(), 3.0 * t);
    }
    assertNoUnansweredPrompts();
}

} // namespace
