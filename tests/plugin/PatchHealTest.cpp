#include "MeshwrightHost.h"

#include "curves/ParCurve.h"
#include "fitting/FitFixtures.h"
#include "net/Face.h"
#include "plugin/OpenNurbsConversion.h"

#include <cmath>
#include <limits>

namespace {

// The Brep of a height-field surface over [x0, x0 + sx] x [y0, y0 + sy],
// trimmed to the part inside the given share of each side (1: bounded by
// its domain).
const CVezadObject* addBrep(CVezadDoc& doc, fitfix::SurfaceFrame frame,
                            const fitfix::HeightField& z, double inset = 0.0)
{
    auto* surface = fitfix::heightFieldSurface(6, 6, frame, z).release();
    CFace face(surface);
    if (inset > 0.0) {
        auto* loop = new CLoop;
        const double a = inset, b = 1.0 - inset;
        const double corners[5][3] = {{a, a, 0}, {b, a, 0}, {b, b, 0}, {a, b, 0}, {a, a, 0}};
        for (int k = 0; k < 4; ++k)
            loop->curves.append(
                new CParCurve(makeCurve(corners[k], corners[k + 1]), surface, false));
        EXPECT_TRUE(face.setOuterLoop(loop));
    }
    ON_Brep brep;
    EXPECT_TRUE(faceToBrep(&face, brep, 1e-5));
    return doc.AddBrepObject(brep);
}

std::vector<ON_3dPoint> edgeSamples(const ON_BrepEdge& edge, int n)
{
    std::vector<ON_3dPoint> points;
    const ON_Interval d = edge.Domain();
    for (int i = 0; i < n; ++i)
        points.push_back(edge.PointAt(d.ParameterAt(double(i) / (n - 1))));
    return points;
}

// The largest distance from the samples of `from` to the nearest point of
// the densely sampled edges of `to`.
double edgeDistance(const std::vector<ON_3dPoint>& from, const ON_Brep& to)
{
    std::vector<ON_3dPoint> dense;
    for (int e = 0; e < to.m_E.Count(); ++e)
        for (const ON_3dPoint& p : edgeSamples(to.m_E[e], 4000))
            dense.push_back(p);
    double worst = 0.0;
    for (const ON_3dPoint& p : from) {
        double nearest = std::numeric_limits<double>::max();
        for (const ON_3dPoint& q : dense)
            nearest = std::min(nearest, p.DistanceTo(q));
        worst = std::max(worst, nearest);
    }
    return worst;
}

const ON_Brep* lastBrep(CVezadDoc& doc)
{
    for (int i = doc.ObjectCount() - 1; i >= 0; --i)
        if (!doc.ObjectAt(i)->IsDeleted() && doc.ObjectAt(i)->ObjectType() == ON::brep_object)
            return CVezadObjRef(doc.ObjectAt(i)).Brep();
    return nullptr;
}

// A patch over the four edges of a face follows the edges within its
// tolerance, 0.75 of the document's, or says by how much it misses them:
// the fit checks the points it keeps, not the boundary between them, and on
// a sphere of radius 3 the patch left its boundary by 0.00106 while the
// command answered plain success (it follows that sphere since its fields
// are thinned and judged flat by the points' own size, not by absolute
// lengths; waves it still misses). The edges' object is shown again. One
// line is no boundary, and a mesh bounds nothing: both answer failure, the
// mesh said why before anything was hidden (it answered success, saying
// nothing).
TEST_F(MeshwrightHost, PatchFollowsThePickedEdgesOrSaysByHowMuchItMisses)
{
    const double tol = doc().AbsoluteTolerance();
    const struct {
        const char* name;
        fitfix::HeightField shape;
        bool within;
    } cases[] = {
        {"plane", fitfix::flat(0.5), true},
        {"cylinder", [](double, double y) { return std::sqrt(16.0 - y * y); }, true},
        {"sphere", [](double x, double y) { return std::sqrt(9.0 - x * x - y * y); }, true},
        {"waves", [](double x, double y) { return 0.5 * std::sin(3.0 * x) * std::cos(3.0 * y); },
         false},
    };
    const std::string said = "MWPatch: the patch leaves its boundary by up to ";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CVezadObject* source = addBrep(doc(), {0.0, -1.0, 2.0, 2.0}, c.shape);
        const std::string picks = "pick:edge:id:" + source->ModelObjectId().ToString() + ":";
        std::string script = "_MWPatch";
        for (int e = 0; e < 4; ++e)
            script += " " + picks + std::to_string(e);
        const std::size_t before = transcript().size();
        EXPECT_EQ(command(script + " Enter Enter"), 0);
        const ON_Brep* patch = lastBrep(doc());
        ASSERT_NE(patch, nullptr);
        ASSERT_NE(patch, CVezadObjRef(source).Brep());
        EXPECT_TRUE(patch->IsValid());
        std::vector<ON_3dPoint> samples;
        for (int e = 0; e < 4; ++e)
            for (const ON_3dPoint& p : edgeSamples(CVezadObjRef(source).Brep()->m_E[e], 50))
                samples.push_back(p);
        const double gap = edgeDistance(samples, *patch);
        const std::size_t at = transcript().find(said, before);
        if (c.within) {
            EXPECT_LT(gap, 0.75 * tol + 1e-6);
            EXPECT_EQ(at, std::string::npos);
        } else {
            EXPECT_GT(gap, 0.75 * tol);
            ASSERT_NE(at, std::string::npos);
            const double told = std::stod(transcript().substr(at + said.size()));
            EXPECT_NEAR(told, gap, 0.01 * gap);
            EXPECT_NE(transcript().find(", more than the tolerance 0.00075.", at),
                      std::string::npos);
        }
        EXPECT_FALSE(source->IsHidden());
        ASSERT_TRUE(doc().DeleteObject(CVezadObjRef(source)));
    }

    const int objects = doc().ObjectCount();
    doc().AddCurveObject(ON_LineCurve(ON_3dPoint(0, 0, 0), ON_3dPoint(1, 0, 0)));
    EXPECT_EQ(command("_MWPatch pick:type:curve Enter Enter"), 3);
    EXPECT_NE(transcript().find("MWPatch did not create a face."), std::string::npos);
    EXPECT_EQ(doc().ObjectCount(), objects + 1);
    const CMWMeshObject* mesh = addMeshObject();
    EXPECT_EQ(command("_MWPatch pick:type:mesh Enter Enter"), 3);
    EXPECT_NE(transcript().find("MWPatch: no boundary curve in the 1 picked objects"),
              std::string::npos);
    EXPECT_FALSE(mesh->IsHidden());
    EXPECT_EQ(doc().ObjectCount(), objects + 2);
    assertNoUnansweredPrompts();
}

// Picked surfaces are replaced by their healed Breps; a Terminate before
// the heal keeps them. The match distance keeps within its limits.
TEST_F(MeshwrightHost, HealJoinsNeighboursAndKeepsThePicksWhenTerminated)
{
    // Unit squares trimmed from surfaces twice their size, side by side.
    const CVezadObject* a = addBrep(doc(), {-0.5, -0.5, 2.0, 2.0}, fitfix::flat(0.0), 0.25);
    const CVezadObject* b = addBrep(doc(), {0.5, -0.5, 2.0, 2.0}, fitfix::flat(0.05), 0.25);
    const std::string pick = "pick:face:#0:0 pick:face:#1:0 Enter Enter";

    ASSERT_TRUE(run("!terminate-after 1\n_MWHeal " + pick).status == ScriptResult::passed);
    EXPECT_EQ(VezadApp().LastCommandResult(), 1);
    EXPECT_FALSE(a->IsDeleted());
    EXPECT_FALSE(b->IsDeleted());
    EXPECT_NE(m_host.standardOutput().find("dEdgeTol to use = 0.1"), std::string::npos);

    EXPECT_EQ(command("_MWHeal EdgeMatchDistance=3 EdgeMatchDistance=0.0005 " + pick), 0);
    EXPECT_NE(transcript().find("EdgeMatchDistance"), std::string::npos);
    EXPECT_TRUE(a->IsDeleted());
    EXPECT_TRUE(b->IsDeleted());
    std::vector<const ON_Brep*> healed;
    CVezadObjectIterator it(doc());
    for (CVezadObject* object = it.First(); object; object = it.Next())
        healed.push_back(CVezadObjRef(object).Brep());
    ASSERT_EQ(healed.size(), 2u);
    for (const ON_Brep* brep : healed)
        ASSERT_TRUE(brep != nullptr && brep->IsValid());
    // The edge of the first along x = 1 against the second's edges.
    std::vector<ON_3dPoint> seam;
    for (int e = 0; e < healed[0]->m_E.Count(); ++e) {
        const std::vector<ON_3dPoint> s = edgeSamples(healed[0]->m_E[e], 50);
        if (std::fabs(s.front().x - 1.0) < 0.01 && std::fabs(s.back().x - 1.0) < 0.01)
            seam = s;
    }
    ASSERT_FALSE(seam.empty());
    EXPECT_LT(edgeDistance(seam, *healed[1]), 2.0 * doc().AbsoluteTolerance());
    assertNoUnansweredPrompts();
}

} // namespace
