#include "MeshwrightHost.h"

#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "net/Face.h"
#include "net/FaceDisplay.h"
#include "net/FaceMeshDistance.h"
#include "net/FailureMessages.h"
#include "net/SurfaceNet.h"
#include "platform/host/EdgeGaps.h"
#include "plugin/Commit.h"
#include "plugin/OpenNurbsConversion.h"
#include "plugin/RegionCoverage.h"
#include "plugin/SharedEdgeGaps.h"
#include "support/NetDrawings.h"
#include "support/NurbsFixtures.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

double bumpHeight(double x, double y)
{
    return 0.5 * std::exp(-(x * x + y * y) / 0.64);
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

// n + 1 points of each edge of each Brep, equally spaced in its parameter.
std::vector<std::vector<std::vector<ON_3dPoint>>>
edgeSamples(const std::vector<const ON_Brep*>& breps, int n)
{
    std::vector<std::vector<std::vector<ON_3dPoint>>> samples(breps.size());
    for (std::size_t b = 0; b < breps.size(); ++b)
        for (int e = 0; e < breps[b]->m_E.Count(); ++e) {
            const ON_BrepEdge& edge = breps[b]->m_E[e];
            samples[b].emplace_back();
            for (int k = 0; k <= n; ++k)
                samples[b].back().push_back(edge.PointAt(edge.Domain().ParameterAt(double(k) / n)));
        }
    return samples;
}

// Over the edges of the Breps that run along another Brep (their middle
// within 0.05 of its edges): their count, and the largest distance from
// their 50 samples to the edges of the other Breps.
std::pair<int, double> neighbourEdgeGap(const std::vector<const ON_Brep*>& breps)
{
    const auto polygons = edgeSamples(breps, 1000);
    auto distanceToOthers = [&](std::size_t b, const ON_3dPoint& p) {
        double best = 1e300;
        for (std::size_t o = 0; o < polygons.size(); ++o)
            for (std::size_t e = 0; o != b && e < polygons[o].size(); ++e)
                for (std::size_t k = 0; k + 1 < polygons[o][e].size(); ++k) {
                    const ON_3dPoint& a = polygons[o][e][k];
                    const ON_3dVector d = polygons[o][e][k + 1] - a;
                    best = std::min(
                        best, p.DistanceTo(a + std::clamp((p - a) * d / (d * d), 0.0, 1.0) * d));
                }
        return best;
    };
    const auto samples = edgeSamples(breps, 49);
    int shared = 0;
    double gap = 0.0;
    for (std::size_t b = 0; b < samples.size(); ++b)
        for (const std::vector<ON_3dPoint>& edge : samples[b])
            if (distanceToOthers(b, edge[25]) < 0.05) {
                ++shared;
                for (const ON_3dPoint& p : edge)
                    gap = std::max(gap, distanceToOthers(b, p));
            }
    return {shared, gap};
}

// Four faces fitted on a bump within t become, healed, four valid Breps on
// the first empty layer whose surfaces keep the mesh inside their squares
// within t and whose shared edges meet.
// Committing again replaces them, also after a save and reopen, or keeps
// them; the references follow the last commit. Breps that part by more
// than the tolerance are named.
TEST_F(MeshwrightHost, CommitAddsFittedFacesToTheFirstEmptyLayerAndReplacesTheLastCommit)
{
    ASSERT_EQ(command("_MWLoadMesh File=Yes file:" + writeBumpStl("bump.stl", 40, 0.5, 0.8)), 0);
    addHashNet(0.6f, bumpHeight);
    const double t = 0.01;
    plugIn().net.surfaceTolerance = t;
    plugIn().net.computeSurfaces(true, false, nullptr);
    ASSERT_EQ(plugIn().net.countSurfaces(nullptr), 4);

    EXPECT_EQ(command("_MWCommit Enter"), 0);
    EXPECT_NE(transcript().find("Converted 4 Surfaces to Vezad into Layer 1."), std::string::npos);
    EXPECT_EQ(brepsPerLayer(doc()), (std::vector<int>{0, 4}));
    EXPECT_FALSE(plugIn().editGrid);
    ASSERT_EQ(plugIn().objectRefs.count, 4);
    // Healed, the faces keep their trims: each inner side is two Brep edges
    // that meet within twice the document's tolerance.
    EXPECT_EQ(m_host.standardOutput().find("Heal failed"), std::string::npos);
    std::vector<const ON_Brep*> breps;
    for (const CVezadObjRef& ref : plugIn().objectRefs)
        breps.push_back(ref.Brep());
    const auto [shared, gap] = neighbourEdgeGap(breps);
    EXPECT_EQ(shared, 8);
    EXPECT_LE(gap, 2.0 * doc().AbsoluteTolerance());
    for (const CVezadObjRef& ref : plugIn().objectRefs) {
        const ON_Brep* brep = ref.Brep();
        EXPECT_TRUE(brep->IsValid());
        const ON_BrepFace& face = brep->m_F[0];
        const ON_3dPoint middle =
            face.PointAt(face.Domain(0).ParameterAt(0.5), face.Domain(1).ParameterAt(0.5));
        // The face's square is the quadrant its middle lies in.
        const double x0 = middle.x < 0.0 ? -0.6 : 0.0, y0 = middle.y < 0.0 ? -0.6 : 0.0;
        std::unique_ptr<Fenwo::NurbsSurf> surface(
            fromONNurbsSurface(*ON_NurbsSurface::Cast(brep->m_S[0])));
        ASSERT_NE(surface, nullptr);
        std::vector<double> distances;
        for (int j = 0; j <= 40; ++j)
            for (int i = 0; i <= 40; ++i) {
                const double x = -1.0 + 0.05 * i, y = -1.0 + 0.05 * j;
                if (x > x0 + 0.06 && x < x0 + 0.54 && y > y0 + 0.06 && y < y0 + 0.54)
                    distances.push_back(
                        distanceToSurface(*surface, Vector(x, y, bumpHeight(x, y))));
            }
        ASSERT_GE(distances.size(), 64u);
        std::sort(distances.begin(), distances.end());
        EXPECT_LE(distances[distances.size() * 98 / 100], 1.05 * t);
        EXPECT_LE(distances.back(), 3.0 * t);
    }

    ASSERT_TRUE(saveAndReopen());
    ASSERT_EQ(plugIn().objectRefs.count, 4);
    EXPECT_EQ(command("_MWCommit Heal=No Enter"), 0);
    EXPECT_NE(m_host.standardOutput().find("try delete 4 old surfaces."), std::string::npos);
    EXPECT_EQ(brepsPerLayer(doc()), (std::vector<int>{0, 4}));
    // Unhealed, the faces' Breps part along their four shared sides by
    // about 1e-5, well beyond a tolerance of 5e-6: the commit names the four
    // pairs, by the faces' numbers in the net, in one line.
    ASSERT_TRUE(doc().SetAbsoluteTolerance(5e-6));
    const std::size_t printed = m_host.standardOutput().size();
    EXPECT_EQ(command("_MWCommit Delete_old_srfs=No Heal=No Enter"), 0);
    const std::string out = m_host.standardOutput().substr(printed);
    const std::size_t at = out.find("\nGap between faces ");
    ASSERT_NE(at, std::string::npos) << out;
    const std::string line = out.substr(at + 1, out.find('\n', at + 1) - at - 1);
    EXPECT_NE(line.find(" exceeds the tolerance 5e-06"), std::string::npos) << line;
    std::vector<std::string> pairs;
    for (std::size_t k = line.find("faces "); k != std::string::npos; k = line.find("faces ", k + 1))
        pairs.push_back(line.substr(k + 6, line.find(':', k) - k - 6));
    std::sort(pairs.begin(), pairs.end());
    EXPECT_EQ(pairs, (std::vector<std::string>{"1 and 2", "1 and 3", "2 and 4", "3 and 4"}))
        << line;
    EXPECT_EQ(brepsPerLayer(doc()), (std::vector<int>{0, 4, 4}));
    for (const CVezadObjRef& ref : plugIn().objectRefs)
        EXPECT_EQ(ref.Object()->Attributes().m_layer_index, 2);
    assertNoUnansweredPrompts();
}

// A commit cancelled during the Brep conversion adds and deletes nothing
// and leaves editing on; curves only adds the mesh object's curves, then
// the poly-lines' curves.
TEST_F(MeshwrightHost, CancelledCommitAddsNothingAndCurvesOnlyAddsCurves)
{
    ASSERT_EQ(command("_MWLoadMesh File=Yes file:" + writeBumpStl("bump.stl", 20, 0.5, 0.8)), 0);
    addHashNet(0.6f, bumpHeight);
    plugIn().net.computeSurfaces(true, false, nullptr);
    EXPECT_EQ(command("_MWCommit Heal=No Enter"), 0);
    const int objects = doc().ObjectCount();
    CancelConversion sink;
    sink.setPrint(false);
    plugIn().net.setProgress(&sink);
    ASSERT_EQ(command("_MWEditGrid"), 0);
    EXPECT_FALSE(plugIn().convertFacesToVezad(false, true, false));
    plugIn().net.setProgress(&plugIn().infoDialog);
    EXPECT_NE(m_host.standardOutput().find("Face Creation cancelled"), std::string::npos);
    EXPECT_EQ(doc().ObjectCount(), objects);
    EXPECT_EQ(brepsPerLayer(doc()), (std::vector<int>{0, 4}));
    EXPECT_EQ(plugIn().objectRefs.count, 4);
    EXPECT_TRUE(plugIn().editGrid);

    const CMWMeshObject* object = plugIn().meshObjects[0];
    ASSERT_GT(object->sectionCurves().count, 0);
    EXPECT_EQ(command("_MWCommit Commit_Surfaces=No Enter"), 0);
    ASSERT_EQ(doc().ObjectCount(), objects + object->sectionCurves().count + 6);
    const ON_Curve* first = CVezadObjRef(doc().ObjectAt(objects)).Curve();
    ASSERT_NE(first, nullptr);
    EXPECT_LT(first->PointAtStart().DistanceTo(object->sectionCurves()[0]->PointAtStart()), 1e-12);
    assertNoUnansweredPrompts();
}

// The heal's judge weighs what a face's heal mends against what it breaks.
// Counting only what got worse, it put back a face whose heal closed three
// seams of 3 tolerances because a fourth went from 0.95 to 1.05.
TEST(HealJudge, KeepsAHealThatBringsMoreSeamsWithinThanItTakesOut)
{
    const double t = 0.1;
    const struct {
        const char* name;
        std::vector<SeamChange> seams; // found, healed
        bool kept;
        std::size_t told;
    } cases[] = {
        {"three closed, one just out", {{0.3, 0.05}, {0.3, 0.06}, {0.3, 0.04}, {0.095, 0.105}},
         true, 0},
        {"one out, none closed", {{0.05, 0.04}, {0.095, 0.105}}, false, 1},
        {"one closed, one out", {{0.2, 0.05}, {0.095, 0.105}}, false, 1},
        {"two closed, one out far", {{0.2, 0.05}, {0.2, 0.05}, {0.09, 0.5}}, false, 2},
        {"a seam beyond wider than any found", {{0.3, 0.05}, {0.15, 0.35}}, false, 1},
        {"a seam beyond, narrower than found", {{0.3, 0.2}, {0.15, 0.15}}, true, 0},
        {"a trace across the tolerance", {{0.0999, 0.1005}}, true, 0},
        {"nothing moved", {{0.05, 0.05}, {0.3, 0.3}}, true, 0},
        {"no shared edge", {}, true, 0},
    };
    for (const auto& c : cases) {
        std::size_t told = 99;
        EXPECT_EQ(healKeptOnSeams(c.seams, t, &told), c.kept) << c.name;
        if (!c.kept) {
            EXPECT_EQ(told, c.told) << c.name;
        }
    }
}

// ---- A net in metres -------------------------------------------------------------------------

// A net as users draw it on an ellipsoid 200 x 120 x 60 millimetres across,
// and the same net on the same ellipsoid in metres: the net's faces fitted
// to 1/500 of the box's diagonal and converted as the commit converts them,
// unhealed. Lengths of the system's own that did not follow the model's
// size (the trims put on the surfaces within an absolute 0.001, a
// coordinate of the samples of a field taken for flat below a spread of
// 0.2, the thinning of fields, the spacing of a face's boundary samples)
// parted the faces in metres by several tolerances where in millimetres
// they met within a fraction of one.
struct NetInUnitsCase {
    const char* name;
    int n;
    mwtest::NetStyle style;
    double jitter; // of the lattice points, as a share of a step (seeded)
};

void PrintTo(const NetInUnitsCase& c, std::ostream* os)
{
    *os << c.name;
}

struct CommittedNet {
    int faces = 0;
    std::vector<int> edges, sides; // per Brep, and of its face's region
    double gap = 0.0;              // the largest, in tolerances
    double judged = 0.0;           // the largest the job's judge of the Breps finds
    RegionCoverage coverage;       // the commit's check of the Breps against the drawing
};

CommittedNet commitText(CFlatMesh& mesh, const std::string& netText, double tol,
                        const std::function<void(std::vector<CommittedBrep>&)>& tamper);

// The net of the case drawn on an ellipsoid 200 x 120 x 60 across (times
// scale), fitted and converted as the commit converts it, unhealed; the
// Breps handed to the coverage check as `tamper` leaves them.
CommittedNet commitUnhealed(const NetInUnitsCase& c, double scale,
                            const std::function<void(std::vector<CommittedBrep>&)>& tamper = {})
{
    mwtest::MeshSoup soup = mwtest::sphereSoup(1.0, 64, 32);
    for (std::size_t k = 0; k < soup.xyz.size(); ++k)
        soup.xyz[k] *= scale * (k % 3 == 0 ? 100.0 : k % 3 == 1 ? 60.0 : 30.0);
    CFlatMesh mesh;
    mwtest::fillFlatMesh(soup, mesh);
    mesh.computeBoundingBox();
    mesh.buildFacetHash(200.0, -1.0, nullptr);
    const CBox<float, 3> box = mesh.getBoundingBox();
    double diagonal = 0.0;
    for (int k = 0; k < 3; ++k)
        diagonal += double(box.max[k] - box.min[k]) * double(box.max[k] - box.min[k]);
    const double tol = std::sqrt(diagonal) / 500.0;

    mwtest::NetSpot spot;
    spot.jitter = c.jitter;
    spot.seed = 7;
    if (!mwtest::findNetSpot(mesh, CVector<double, 3>(0.0, 0.0, 1.0), c.n, c.style, spot)) {
        ADD_FAILURE() << "no smooth spot";
        return {};
    }
    return commitText(mesh, mwtest::netText(mesh, spot, c.n, c.style), tol, tamper);
}

// The net of the text on the mesh, committed as above.
CommittedNet commitText(CFlatMesh& mesh, const std::string& netText, double tol,
                        const std::function<void(std::vector<CommittedBrep>&)>& tamper)
{
    CommittedNet out;
    std::istringstream text(netText);
    GB::CSurfaceNet net;
    net.setMesh(&mesh);
    net.surfaceTolerance = tol;
    net.junctionsAtCrossingsOnRead = true; // imported, as a user's drawing
    net.setDraftOnly(false);
    net.setSurfaceQuality(1);
    mwtest::capturedStdout([&] {
        EXPECT_TRUE(net.read(text));
        net.update();
    });
    std::vector<FaceOutline> outlines;
    std::vector<const GB::Face*> netFaces;
    std::vector<std::unique_ptr<ON_Brep>> breps;
    std::vector<int> numbers;
    CVezadDoc doc;
    for (GB::Face* f = net.firstFace; f != nullptr; f = f->next) {
        ++out.faces;
        std::unique_ptr<CFace> face(copyFace(f->trimmedFace));
        auto brep = std::make_unique<ON_Brep>();
        bool converted = false;
        mwtest::capturedStdout(
            [&] { converted = face != nullptr && faceToBrep(face.get(), *brep, 0.75 * tol); });
        if (!converted)
            continue;
        netFaces.push_back(f);
        outlines.push_back(brepOutline(*brep));
        doc.AddBrepObject(*brep);
        out.edges.push_back(brep->m_L.Count() > 0 ? brep->m_L[0].TrimCount() : 0);
        out.sides.push_back(countLoopSides(*f->firstLoop, net.pointLists));
        breps.push_back(std::move(brep));
        numbers.push_back(out.faces);
    }
    for (const SharedEdgeGap& g : sharedEdgeGaps(outlines, sharedSides(netFaces)))
        out.gap = std::max(out.gap, g.gap / tol);
    out.judged = VezadHost::sharedEdgeGaps(doc).largest / tol;
    std::vector<CommittedBrep> committed = committedBreps(net, breps, numbers);
    if (tamper)
        tamper(committed);
    out.coverage = checkRegionCoverage(net, committed, tol);
    return out;
}

class NetInMetres : public ::testing::TestWithParam<NetInUnitsCase> {};

TEST_P(NetInMetres, MeetsAsTheSameNetInMillimetres)
{
    const NetInUnitsCase c = GetParam();
    const CommittedNet mm = commitUnhealed(c, 1.0);
    const CommittedNet m = commitUnhealed(c, 0.001);
    EXPECT_EQ(mm.faces, mwtest::netFaceCount(c.n, c.style));
    EXPECT_EQ(m.faces, mm.faces);
    EXPECT_EQ(mm.edges, mm.sides);
    EXPECT_EQ(m.edges, mm.edges);
    EXPECT_EQ(m.sides, mm.sides);
    EXPECT_LT(mm.gap, 1.0);
    EXPECT_LT(m.gap, 1.0);
    // The job's judge of the Breps, which knows no net, agrees.
    EXPECT_NEAR(mm.judged, mm.gap, 0.01);
    EXPECT_NEAR(m.judged, m.gap, 0.01);
    // The same share of the tolerance, but for the rounding of the mesh's
    // single-precision coordinates.
    EXPECT_LE(std::max(m.gap, mm.gap), 1.25 * std::min(m.gap, mm.gap) + 0.02)
        << "millimetres " << mm.gap << ", metres " << m.gap;
    // Every area the lines enclose lies under one Brep, in either unit.
    EXPECT_EQ(mm.coverage.areas, mm.faces);
    EXPECT_EQ(m.coverage.areas, mm.faces);
    EXPECT_EQ(mm.coverage.faults, std::vector<std::string>{});
    EXPECT_EQ(m.coverage.faults, std::vector<std::string>{});
}

// Regions a user draws inside a cell of the net (before, each lost a face
// or the cell's), and lines inside one that bound none (a spur, a Y, which
// part no area the check judges), on the curved sheet of the ellipsoid.
INSTANTIATE_TEST_SUITE_P(
    Nets, NetInMetres,
    ::testing::Values(NetInUnitsCase{"lasso", 2, mwtest::NetStyle::Lasso, 0.0},
                      NetInUnitsCase{"spur", 2, mwtest::NetStyle::Spur, 0.0},
                      NetInUnitsCase{"y_spur", 2, mwtest::NetStyle::YSpur, 0.0},
                      NetInUnitsCase{"uneven_3x3_long_row", 3, mwtest::NetStyle::MixedRow, 0.25},
                      NetInUnitsCase{"uneven_3x3_tee_lines", 3, mwtest::NetStyle::TeeLines, 0.25},
                      NetInUnitsCase{"figure_eight", 2, mwtest::NetStyle::FigureEight, 0.0},
                      NetInUnitsCase{"lollipop", 2, mwtest::NetStyle::Lollipop, 0.0},
                      NetInUnitsCase{"lollipop_strokes", 2, mwtest::NetStyle::LollipopStrokes, 0.0},
                      NetInUnitsCase{"ring_across", 2, mwtest::NetStyle::RingAcross, 0.0},
                      NetInUnitsCase{"ring_through", 2, mwtest::NetStyle::RingThrough, 0.0},
                      NetInUnitsCase{"island", 2, mwtest::NetStyle::Island, 0.0},
                      NetInUnitsCase{"island_strokes", 2, mwtest::NetStyle::IslandStrokes, 0.0},
                      NetInUnitsCase{"grid_in_face", 2, mwtest::NetStyle::GridInFace, 0.0}),
    [](const ::testing::TestParamInfo<NetInUnitsCase>& info) { return info.param.name; });

// The commit's own check names the area or the face where the Breps it
// hands over miss what the drawing encloses: a face left out, a face
// committed twice, a face given its neighbour's Brep, a Brep slid across
// the mesh beyond the fit's slack (1.5 tolerances of 0.48 on the
// ellipsoid); one slid by a tolerance still follows its sides.
TEST(RegionCoverage, NamesTheAreaOrFaceWhereTheBrepsMissTheDrawing)
{
    const auto slid = [](double by) {
        return [by, moved = std::make_shared<ON_Brep>()](std::vector<CommittedBrep>& breps) {
            *moved = *breps[1].brep;
            ON_Xform shift;
            shift.m_xform[0][3] = 0.6 * by;
            shift.m_xform[1][3] = 0.8 * by;
            moved->Transform(shift);
            breps[1].brep = moved.get();
        };
    };
    const struct {
        const char* what;
        std::function<void(std::vector<CommittedBrep>&)> tamper;
        std::vector<const char*> said;
    } cases[] = {
        {"every face its Brep", {}, {}},
        {"a face left out",
         [](auto& breps) { breps.erase(breps.begin() + 1); },
         {FailureMessages::kAreaWithoutFace}},
        {"a face committed twice",
         [](auto& breps) { breps.push_back(breps[1]); },
         {FailureMessages::kAreaUnderTwoFaces}},
        {"a face given its neighbour's Brep",
         [](auto& breps) { breps[0].brep = breps[1].brep; },
         {FailureMessages::kEdgesOffSides, FailureMessages::kAreaWithoutFace,
          FailureMessages::kAreaUnderTwoFaces}},
        {"a Brep slid by a tolerance", slid(0.48), {}},
        {"a Brep slid by 2.5 tolerances", slid(1.2), {FailureMessages::kEdgesOffSides}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const CommittedNet committed =
            commitUnhealed({"ring", 2, mwtest::NetStyle::Ring, 0.0}, 1.0, c.tamper);
        EXPECT_EQ(committed.coverage.areas, 5);
        std::string all;
        for (const std::string& fault : committed.coverage.faults)
            all += fault + "\n";
        EXPECT_EQ(committed.coverage.faults.empty(), c.said.empty()) << all;
        for (const char* said : c.said)
            EXPECT_NE(all.find(said), std::string::npos) << all;
    }
}

// A strip a fraction of a tolerance to two tolerances wide beside a face,
// on a plane tilted by 30 degrees: the samples of the narrower one all lie
// in the band along its lines, and it is judged by its sides. Either Brep
// left out is named, and the two Breps pass.
TEST(RegionCoverage, JudgesAStripNarrowerThanItsSamples)
{
    const double tilt = 0.5236, c = std::cos(tilt), s = std::sin(tilt), tol = 0.085;
    const auto place = [&](double x, double y) {
        return std::array<double, 3>{x, y * c, y * s};
    };
    mwtest::MeshSoup soup = mwtest::gridSoup(30, 30, 1.0, 1.0, true);
    for (std::size_t k = 0; k < soup.xyz.size(); k += 3) {
        const auto p = place(soup.xyz[k], soup.xyz[k + 1]);
        std::copy(p.begin(), p.end(), soup.xyz.begin() + long(k));
    }
    CFlatMesh mesh;
    mwtest::fillFlatMesh(soup, mesh);
    mesh.computeBoundingBox();
    mesh.buildFacetHash(200.0, -1.0, nullptr);
    for (const double width : {0.06, 0.17}) {
        // Rows at y = 5, 15 and 15 + width from x = 5 to 25, a node a unit
        // apart; the columns at x = 5 and 25 through their ends.
        std::ostringstream nodes, lines;
        int count = 0;
        const auto node = [&](double x, double y) {
            const auto p = place(x, y);
            nodes << count << ' ' << p[0] << ' ' << p[1] << ' ' << p[2] << ' ' << 0 << ' ' << -s
                  << ' ' << c << "\n0\t1\t0 0 0\n0\t1\t0 0 0\n";
            return count++;
        };
        std::vector<std::vector<int>> rows(3), columns(2);
        for (int r = 0; r < 3; ++r)
            for (int x = 5; x <= 25; ++x)
                rows[std::size_t(r)].push_back(node(x, r == 0 ? 5.0 : r == 1 ? 15.0 : 15.0 + width));
        for (int k = 0; k < 2; ++k) {
            std::vector<int>& column = columns[std::size_t(k)];
            column.push_back(rows[0][k == 0 ? 0 : 20]);
            for (int y = 6; y < 15; ++y)
                column.push_back(node(k == 0 ? 5 : 25, y));
            column.push_back(rows[1][k == 0 ? 0 : 20]);
            column.push_back(rows[2][k == 0 ? 0 : 20]);
        }
        lines << "Polylines 5\n";
        for (const auto* set : {&rows, &columns})
            for (const std::vector<int>& line : *set) {
                lines << line.size() << "\n 1\n";
                for (int n : line)
                    lines << n << ' ';
                lines << '\n';
            }
        const std::string text =
            "Version 2\nNodes " + std::to_string(count) + "\n" + nodes.str() + lines.str();
        for (int left = -1; left < 2; ++left) {
            SCOPED_TRACE(std::to_string(width) + " wide, Brep " + std::to_string(left) + " left out");
            const CommittedNet committed = commitText(mesh, text, tol, [left](auto& breps) {
                if (left >= 0)
                    breps.erase(breps.begin() + left);
            });
            EXPECT_EQ(committed.faces, 2);
            EXPECT_EQ(committed.coverage.areas, 2);
            std::string all;
            for (const std::string& fault : committed.coverage.faults)
                all += fault + "\n";
            EXPECT_EQ(all.find(FailureMessages::kAreaWithoutFace) != std::string::npos, left >= 0)
                << all;
            EXPECT_EQ(committed.coverage.faults.size(), left >= 0 ? 1u : 0u) << all;
        }
    }
}

// Four-sided faces bounded by their domains: corners (x, y) in the order of
// a bilinear patch, at a height of their own, each corner raised by its
// lift (a patch with one corner raised bends as a gently curved sheet does).
struct Quad {
    double corners[4][2]; // (0, 0), (1, 0), (0, 1), (1, 1) of the patch
    double z;
    std::array<double, 4> lift{};
};

CFace* quadFace(const Quad& q)
{
    const knots k(1, 1, 0.0, 1.0);
    auto* s = new Fenwo::NurbsSurf(k, &k);
    for (int c = 0; c < 4; ++c)
        s->setControlPoint(c % 2, c / 2,
                           Vector(q.corners[c][0], q.corners[c][1], q.z + q.lift[std::size_t(c)]));
    return new CFace(s);
}

// A piece two faces share, as the net's topology gives it: from (x0, y0)
// to (x1, y1), at height 0.
struct Piece {
    int a, b;
    double from[2], to[2];
};

SharedSide pieceSide(const Piece& p)
{
    SharedSide side{p.a, p.b, {}};
    for (int k = 0; k < 50; ++k) {
        const double t = (k + 0.5) / 50;
        side.along.push_back({(1 - t) * p.from[0] + t * p.to[0], (1 - t) * p.from[1] + t * p.to[1],
                              0.0});
    }
    return side;
}

// Faces laid out as a net of columns and rows of the widths and heights
// given, each at its height: their quads and the pieces neighbours share.
struct Layout {
    std::vector<Quad> faces;
    std::vector<Piece> pieces;
};

Layout lattice(const std::vector<double>& widths, const std::vector<double>& heights,
               const std::vector<double>& z)
{
    Layout out;
    const int m = int(widths.size()), n = int(heights.size());
    double y = 0.0;
    for (int j = 0; j < n; ++j) {
        double x = 0.0;
        for (int i = 0; i < m; ++i) {
            const double x1 = x + widths[std::size_t(i)], y1 = y + heights[std::size_t(j)];
            out.faces.push_back({{{x, y}, {x1, y}, {x, y1}, {x1, y1}}, z[std::size_t(j * m + i)]});
            if (i > 0)
                out.pieces.push_back({j * m + i - 1, j * m + i, {x, y}, {x, y1}});
            if (j > 0)
                out.pieces.push_back({(j - 1) * m + i, j * m + i, {x, y}, {x1, y}});
            x = x1;
        }
        y += heights[std::size_t(j)];
    }
    return out;
}

// Where two faces share a side is the net's own topology; the job's judge
// of the Breps, which knows no net, pairs the edges that are each other's
// nearest, and the two agree. Inferred from how near the edges lay (a
// quarter of the edge's length, 80 % of its samples), both took a narrow
// face's free side for sharing the face beyond its shared side at a gap of
// the strip's width (4.5 for a seam of 0.03 on a strip 20 x 4.5, and on 3 x 3
// nets with a border row 2 high), and missed a seam left open between faces
// narrower than twice its gap. Where a face's side runs along two
// neighbours, each over a part of it (a T-junction), each pair is measured
// only along the part that neighbour shares; faces that meet only at a
// corner share nothing. Told the net's sides, the job's judge measures them
// as the commit does: across a slot it found the slot's width, over a step
// it paired a narrow face's nearer other edge (hiding the opening) or a
// free short side (overstating it), and the commit's measure missed where
// a side parts most at its end.
TEST_F(MeshwrightHost, SharedEdgeGapsFollowTheSharedSidesAndTheJobsJudgeAgrees)
{
    struct Case {
        std::string layout;
        Layout net;
        std::map<std::pair<int, int>, double> gaps; // every pair that shares a side
        bool byEdgesAlone = true;                   // the judge agrees without the net's sides
    };
    std::vector<Case> cases = {
        {"four squares around a corner",
         lattice({1, 1}, {1, 1}, {0.0, 0.05, 0.05, 0.0}),
         {{{0, 1}, 0.05}, {{0, 2}, 0.05}, {{1, 3}, 0.05}, {{2, 3}, 0.05}}},
        // A wide face below two narrow ones split by a leaning side.
        {"T-junction",
         {{{{{0, -1}, {2, -1}, {0, 0}, {2, 0}}, 0.0},
           {{{0, 0}, {1, 0}, {0, 1}, {2.5, 1}}, 0.01},
           {{{1, 0}, {2, 0}, {2.5, 1}, {3, 1}}, 0.01}},
          {{0, 1, {0, 0}, {1, 0}}, {0, 2, {1, 0}, {2, 0}}, {1, 2, {1, 0}, {2.5, 1}}}},
         {{{0, 1}, 0.01}, {{0, 2}, 0.01}, {{1, 2}, 0.0}}},
        // A seam 0.6 open between strips 1 wide: its gap counts in full.
        {"open seam between narrow strips",
         {{{{{0, 0}, {1, 0}, {0, 20}, {1, 20}}, 0.0},
           {{{1.6, 0}, {2.6, 0}, {1.6, 20}, {2.6, 20}}, 0.0}},
          {{0, 1, {1.3, 0}, {1.3, 20}}}},
         {{{0, 1}, 0.6}}},
        {"3 x 3 with a border row 2 high",
         lattice({10, 10, 10}, {2, 10, 10}, {0.0, 0.0, 0.0, 0.02, 0.02, 0.02, 0.0, 0.0, 0.0}),
         {}},
        {"side parting most at its end",
         {{{{{0, -10}, {20, -10}, {0, 0}, {20, 0}}, 0.0},
           {{{0, 0}, {20, 0}, {0, 10}, {20, 10}}, 0.0, {0.0, 0.3, 0.0, 0.0}}},
          {{0, 1, {0, 0}, {20, 0}}}},
         {{{0, 1}, 0.3}},
         false},
        {"slot",
         {{{{{0, 0}, {20, 0}, {0, 10}, {20, 10}}, 0.0},
           {{{0, 12}, {20, 12}, {0, 22}, {20, 22}}, 0.0}},
          {}},
         {},
         false},
        {"band over a step", lattice({20}, {10, 0.3, 10}, {0.0, 1.2, 1.2}), {}, false},
        {"strips over a step", lattice({30}, {2, 2}, {0.0, 1.2}), {}, false},
    };
    // Unit squares 0.5 above a face 4 x 1 along its long side: T-junctions
    // at a step.
    Layout beside{{{{{0, 0}, {4, 0}, {0, 1}, {4, 1}}, 0.0}}, {}};
    for (int i = 0; i < 4; ++i) {
        beside.faces.push_back({{{i + 0.0, 1}, {i + 1.0, 1}, {i + 0.0, 2}, {i + 1.0, 2}}, 0.5});
        beside.pieces.push_back({0, i + 1, {i + 0.0, 1}, {i + 1.0, 1}});
        if (i > 0)
            beside.pieces.push_back({i, i + 1, {i + 0.0, 1}, {i + 0.0, 2}});
    }
    cases.push_back({"small faces beside a wide one at a step", beside, {}, false});
    // A strip 20 long beside a face 20 x 10 on a bent sheet (their free
    // corners raised), the seam 0.03 open, for strips from 0.05 to 0.5 of
    // their length wide.
    for (double w : {1.0, 2.0, 3.0, 4.0, 4.5, 5.0, 7.0, 10.0})
        cases.push_back({"strip 20 x " + std::to_string(w),
                         {{{{{0, -w}, {20, -w}, {0, 0}, {20, 0}}, 0.0, {0.4, 0.0, 0.0, 0.0}},
                           {{{0, 0}, {20, 0}, {0, 10}, {20, 10}}, 0.03, {0.0, 0.0, 0.0, 0.4}}},
                          {{0, 1, {0, 0}, {20, 0}}}},
                         {{{0, 1}, 0.03}}});
    for (Case& c : cases) {
        if (c.gaps.empty()) // a lattice: each piece apart by its faces' heights
            for (const Piece& p : c.net.pieces)
                c.gaps[{p.a, p.b}] =
                    std::fabs(c.net.faces[std::size_t(p.a)].z - c.net.faces[std::size_t(p.b)].z);
        SCOPED_TRACE(c.layout);
        std::vector<std::unique_ptr<CFace>> faces;
        std::vector<FaceOutline> outlines, brepOutlines;
        std::vector<CVezadObjRef> added;
        for (const Quad& q : c.net.faces) {
            faces.emplace_back(quadFace(q));
            outlines.push_back(faceOutline(*faces.back()));
            ON_Brep brep;
            ASSERT_TRUE(faceToBrep(faces.back().get(), brep, 1e-6));
            brepOutlines.push_back(brepOutline(brep));
            CVezadBrepObject* object = doc().AddBrepObject(brep);
            ASSERT_NE(object, nullptr);
            added.emplace_back(object);
        }
        std::vector<SharedSide> sides;
        for (const Piece& p : c.net.pieces)
            sides.push_back(pieceSide(p));
        const VezadHost::EdgeGaps byEdges = VezadHost::sharedEdgeGaps(doc());
        // The judge told the sides as the commit tells them.
        plugIn().committedSides = {};
        for (const CVezadObjRef& ref : added)
            plugIn().committedSides.breps.push_back(ref.m_uuid);
        for (const SharedSide& side : sides) {
            VezadHost::BrepSharedSide told{
                added[std::size_t(side.a)].m_uuid, added[std::size_t(side.b)].m_uuid, {}};
            for (const EdgePoint& p : side.along)
                told.along.emplace_back(p[0], p[1], p[2]);
            plugIn().committedSides.sides.push_back(told);
        }
        const VezadHost::EdgeGaps judged = VezadHost::sharedEdgeGaps(doc());
        for (const auto* measured : {&outlines, &brepOutlines}) {
            std::map<std::pair<int, int>, double> gaps;
            double largest = 0.0;
            for (const SharedEdgeGap& g : sharedEdgeGaps(*measured, sides)) {
                gaps[{g.a, g.b}] = g.gap;
                largest = std::max(largest, g.gap);
            }
            ASSERT_EQ(gaps.size(), c.gaps.size());
            for (const auto& [pair, gap] : c.gaps) {
                ASSERT_EQ(gaps.count(pair), 1u) << pair.first << " and " << pair.second;
                EXPECT_NEAR(gaps[pair], gap, 1e-6) << pair.first << " and " << pair.second;
            }
            EXPECT_NEAR(judged.largest, largest, 1e-6);
            if (c.byEdgesAlone) {
                EXPECT_NEAR(byEdges.largest, largest, 1e-6);
            }
        }
        for (const CVezadObjRef& ref : added)
            ASSERT_TRUE(doc().DeleteObject(ref, true, true));
    }
}

} // namespace

namespace {

// A square face over [2, 18]^2 at height z, bent up in its middle by `bulge`
// (the inner control points of a bicubic patch lifted: the surface's middle
// rises 0.5625 of it) while its sides stay at z.
CFace* bulgingFace(double z, double bulge)
{
    const knots k(3, 3, 0.0, 1.0);
    auto* s = new Fenwo::NurbsSurf(k, &k);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            const bool inner = i > 0 && i < 3 && j > 0 && j < 3;
            s->setControlPoint(i, j, Vector(2.0 + 16.0 * i / 3.0, 2.0 + 16.0 * j / 3.0,
                                            z + (inner ? bulge : 0.0)));
        }
    return new CFace(s);
}

} // namespace

// The commit's judge puts back a face that its heal moved off the mesh, as
// the faces' distance from the mesh measures them both ways: a face fitted
// within 0.12 tolerances ended 2.18 off the mesh after the heal (pulled to
// meet a neighbour's bulge) and was kept, since only the gaps were judged.
// The mesh is one square of two facets 80 tolerances across: a face that
// bulges between their corners, which lie outside it, is off the mesh all
// the same.
TEST(CommitJudge, HealThatMovesAFaceOffTheMeshIsUndone)
{
    CFlatMesh mesh;
    mwtest::fillFlatMesh(mwtest::gridSoup(1, 1, 20.0, 20.0, true), mesh);
    mesh.computeBoundingBox();
    mesh.buildFacetHash(350.0, -1.0, nullptr);
    GB::CSurfaceNet net;
    net.setMesh(&mesh);
    net.surfaceTolerance = 0.25; // the fit's slack: 0.375 from the mesh
    const struct {
        const char* what;
        double found[2], healed[2]; // height and bulge
        bool undone;
        double foundDistance, healedDistance;
    } cases[] = {
        {"healed within the slack", {0.03, 0.0}, {0.3, 0.0}, false, 0.03, 0.3},
        {"healed beyond it", {0.03, 0.0}, {0.5, 0.0}, true, 0.03, 0.5},
        {"healed to bulge beyond it", {0.03, 0.0}, {0.0, 1.0}, true, 0.03, 0.5625},
        {"found beyond it, healed no farther", {0.5, 0.0}, {0.5, 0.0}, false, 0.5, 0.5},
        {"found beyond it, healed farther", {0.5, 0.0}, {0.6, 0.0}, true, 0.5, 0.6},
        // Beyond the reach, where no facet was sought: it was taken for
        // 2.5 away.
        {"healed 21 tolerances off", {0.03, 0.0}, {5.25, 0.0}, true, 0.03, 5.25},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::unique_ptr<CFace>> found;
        found.emplace_back(bulgingFace(c.found[0], c.found[1]));
        std::unique_ptr<CFace> healed(bulgingFace(c.healed[0], c.healed[1]));
        Kor::List<CFace*> faces;
        faces.append(healed.get());
        const std::vector<HealOffTheMesh> off = healsOffTheMesh(found, faces, net);
        ASSERT_EQ(off.size(), c.undone ? 1u : 0u);
        const FaceMeshDistance before =
            measureFaceMeshDistance(*found[0], mesh, 0.25, 0.375, 2.5);
        const FaceMeshDistance after = measureFaceMeshDistance(*healed, mesh, 0.25, 0.375, 2.5);
        // A grid about a tolerance fine finds the top of the bulge within a
        // hundredth of it; no mesh vertex lies inside the face.
        EXPECT_NEAR(before.largest, c.foundDistance, 0.01);
        EXPECT_NEAR(after.largest, c.healedDistance, 0.01);
        EXPECT_GT(after.surfacePoints, 64 * 64 - 1);
        EXPECT_EQ(after.meshVertices, 0);
        if (c.undone) {
            EXPECT_EQ(off[0].face, 0);
            EXPECT_DOUBLE_EQ(off[0].found, before.largest);
            EXPECT_DOUBLE_EQ(off[0].healed, after.largest);
        }
    }
}
