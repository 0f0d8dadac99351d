// The main job end to end on the bundled bump: examples/main-job.vzs loads
// it, draws a four-sided region, commits, saves, reopens and captures.
#include "MeshwrightHost.h"

#include "geometry/NurbsSurf.h"
#include "plugin/OpenNurbsConversion.h"
#include "support/NurbsFixtures.h"
#include "support/ReadPng.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

// The bundled mesh's vertices: 41 x 41 over [0, 100]^2 on the Gaussian bump
// of height 20.
double bumpHeight(double x, double y)
{
    const double s = 100.0 / 6.0, dx = x - 50.0, dy = y - 50.0;
    return 20.0 * std::exp(-(dx * dx + dy * dy) / (2.0 * s * s));
}

TEST_F(MeshwrightHost, MainJobCommitsTheFittedFaceAndReopensIt)
{
    const std::string source = MW_SOURCE_DIR;
    const ScriptResult result = m_host.runScriptFile(source + "/examples/main-job.vzs",
                                                     {{"MESH", source + "/examples/bump.stl"}});
    ASSERT_TRUE(hosttest::passes(result));
    assertNoUnansweredPrompts();

    int width = 0, height = 0;
    std::vector<unsigned char> rgba;
    ASSERT_TRUE(mwtest::readPng(mwtest::scratchPath("main-job.png"), width, height, rgba));
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
    const unsigned char* centre = &rgba[4 * (120 * 320 + 160)];
    EXPECT_GT(centre[0], centre[1]); // the mesh's tan under grey light
    EXPECT_GT(centre[1], centre[2]);

    // The mesh's vertices well inside the reopened net's region lie within
    // the net's tolerance of the reopened Brep's surface.
    const ON_Brep* brep = nullptr;
    CVezadObjectIterator it(doc());
    for (CVezadObject* object = it.First(); object; object = it.Next())
        if (object->ObjectType() == ON::brep_object)
            brep = CVezadObjRef(object).Brep();
    ASSERT_NE(brep, nullptr);
    const ON_NurbsSurface* nurbs = ON_NurbsSurface::Cast(brep->m_S[0]);
    ASSERT_NE(nurbs, nullptr);
    std::unique_ptr<Fenwo::NurbsSurf> surface(fromONNurbsSurface(*nurbs));
    ASSERT_NE(surface, nullptr);
    CBox<float, 3> region;
    for (const COffset_PointList* polyLine : plugIn().net.pointLists)
        for (const CVertex<float, 3>* p : polyLine->vertices)
            region.add(*p);
    ASSERT_FALSE(region.isEmpty());
    const double margin[2] = {0.1 * (region.max[0] - region.min[0]),
                              0.1 * (region.max[1] - region.min[1])};
    const double t = 0.05;
    std::vector<double> distances;
    for (int j = 0; j <= 40; ++j)
        for (int i = 0; i <= 40; ++i) {
            const double x = 2.5 * i, y = 2.5 * j;
            if (x > region.min[0] + margin[0] && x < region.max[0] - margin[0] &&
                y > region.min[1] + margin[1] && y < region.max[1] - margin[1])
                distances.push_back(distanceToSurface(*surface, Vector(x, y, bumpHeight(x, y))));
        }
    ASSERT_GE(distances.size(), 20u);
    std::sort(distances.begin(), distances.end());
    EXPECT_LE(distances[distances.size() * 98 / 100], 1.05 * t);
    EXPECT_LE(distances.back(), 3.0 * t);
}

} // namespace
