// Healing a skin: the match tolerance the driver takes from the data, the
// heal order and its seeds, gaps and kinks closed along shared edges,
// faces kept with their surfaces and loops through failures, cancels and
// broken loops, the net's own healing, and faces fitted to a real mesh.
#include "healing/SkinTopology.h"

#include "SkinTestSupport.h"
#include "fitting/BicubicFit.h"
#include "foundation/MatrixThreads.h"
#include "foundation/Progress.h"
#include "mesh/FlatMesh.h"
#include "mesh/StlFormat.h"
#include "net/FaceRecords.h"
#include "net/SurfaceNet.h"
#include "support/RealData.h"
#include "support/ScopedEnv.h"
#include "support/ScratchDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using FENWO_SKIN::CSkinTopology;
using skintest::Faces;
using skintest::insetRectangle;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

std::vector<double> controlNet(const CFace* f)
{
    auto* S = dynamic_cast<Fenwo::NurbsSurf*>(f->surface);
    std::vector<double> out;
    Vector P;
    for (int j = 0; S != nullptr && j < S->getVCount(); ++j)
        for (int i = 0; i < S->getUCount(); ++i) {
            S->getControlPoint(i, j, P);
            out.insert(out.end(), {P[0], P[1], P[2]});
        }
    return out;
}

// The (u, v) of X on S, inverted from a grid start.
Vector uvOn(CParametricGeometry* S, const Vector& X)
{
    double u = 0.5, v = 0.5;
    startParametersOnSurface(S, u, v, X, 10);
    projectPointOnSurface(S, X, u, v);
    return Vector(u, v);
}

// Runs healSkin with output captured into out.
bool heal(Kor::List<CFace*>& faces, double dTol, Kor::List<CFace*>* fixed, int mode,
          std::string& out, CProgress* progress = nullptr, double matchTol = 0.0,
          const FENWO_SKIN::FaceNeighbours* neighbours = nullptr)
{
    CaptureStdout();
    const bool ok =
        healSkin(faces, dTol, progress, fixed, matchTol, mode, true, nullptr, neighbours);
    out = GetCapturedStdout();
    return ok;
}

TEST(HealSkin, MatchToleranceFollowsTheShortestCurveOfTheHealedFaces)
{
    // shortestSound: the shortest curve that is not degenerate. One longer
    // than the tolerance leaves it (1.2); a shorter one (0.9) keeps its ends
    // apart by cutting it to 0.75 of that.
    const struct {
        double shortest, shortestSound, expected;
    } cases[] = {{2.0, HUGE_VAL, 1.0}, {0.5, HUGE_VAL, 0.375}, {0.05, HUGE_VAL, 1.0},
                 {1.1, 1.2, 1.0},      {0.05, 0.9, 0.675}};
    for (const auto& c : cases) {
        CaptureStdout();
        EXPECT_DOUBLE_EQ(healMatchTolerance(0.0, 0.01, c.shortest, c.shortestSound), c.expected)
            << c.shortest << " " << c.shortestSound;
        EXPECT_EQ(contains(GetCapturedStdout(), "reducing dMatchTol to"), c.expected != 1.0);
    }
    // A narrow face shortens it while healed, not as a boundary face.
    for (bool narrowHealed : {true, false}) {
        Faces faces, boundary;
        (narrowHealed ? faces : boundary).add(insetRectangle(0, 0, 2, 0.5, 0.0, 0.25));
        faces.add(insetRectangle(0, 0.5, 2, 2.5, 0.0, 0.25));
        std::string out;
        heal(faces.list, 0.01, &boundary.list, 0, out);
        EXPECT_EQ(contains(out, "reducing dMatchTol to0.375"), narrowHealed) << out;
    }
}

// Four faces 0.05 across, a net of 2 x 2 on a plane, one of them lifted by
// half the tolerance, all their curves shorter than 10 dTol: the match
// tolerance stayed 100 dTol, larger than the faces, every curve end of a
// face fell into one skin vertex, and the healing rebuilt each loop it
// moved from those (a loop running back and forth along one side, which
// trims the face away). It now stays below the faces' curves, and every
// face keeps a loop around its rectangle: also below the short sides of
// rectangles 0.05 x 0.09 (cut to 0.75 of their long sides, 0.0675, the
// ends of each short side fell into one vertex, pairings crossed and the
// healing failed), and below the sides of faces half dTol across, each
// within 2 dTol (they left the tolerance at 1.0 and the whole net fell
// into one vertex).
TEST(HealSkin, FacesSmallerThanTheMatchToleranceLostTheirLoops)
{
    const double dTol = 0.01;
    const struct {
        double width, height;
        const char* reduced;
    } cases[] = {{0.05, 0.05, "0.0375"}, {0.05, 0.09, "0.0375"}, {0.005, 0.005, "0.00375"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        Faces faces;
        for (int i = 0; i < 2; ++i)
            for (int j = 0; j < 2; ++j)
                faces.add(insetRectangle(i * c.width, j * c.height, (i + 1) * c.width,
                                         (j + 1) * c.height, i + j == 2 ? 0.5 * dTol : 0.0,
                                         0.5 * c.width));
        std::string out;
        heal(faces.list, dTol, nullptr, 0, out);
        EXPECT_TRUE(contains(out, std::string("reducing dMatchTol to") + c.reduced)) << out;
        EXPECT_FALSE(contains(out, "overwriting a Partner")) << out;
        EXPECT_FALSE(contains(out, "Heal failed")) << out;
        for (int f = 0; f < 4; ++f) {
            SCOPED_TRACE(f);
            ASSERT_EQ(faces[f]->trimLoops.count, 1);
            EXPECT_EQ(faces[f]->trimLoops[0]->getCard(), 4);
            // The loop's points in space span the face's rectangle.
            double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL};
            double hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
            for (CParCurve* curve : faces[f]->trimLoops[0]->curves) {
                const Interval d = curve->getDomain(0);
                for (int k = 0; k <= 8; ++k) {
                    const Vector p = curve->getPoint(d.min + k * (d.max - d.min) / 8.0, 0.0);
                    for (int a = 0; a < 2; ++a) {
                        lo[a] = std::min(lo[a], p[a]);
                        hi[a] = std::max(hi[a], p[a]);
                    }
                }
            }
            EXPECT_NEAR(hi[0] - lo[0], c.width, 0.2 * c.width);
            EXPECT_NEAR(hi[1] - lo[1], c.height, 0.2 * c.width);
        }
        EXPECT_LT(skintest::largestEdgeGap(faces.list, 0.75 * c.width, dTol), dTol);
    }
}

// A 2 x 2 square and a 2 x 1 rectangle beside it, moved 0.05 along the
// normal: the square, of larger area over squared loop length, is the seed;
// its shared side goes half the gap and its far side stays, and the
// rectangle's edge comes onto the square's; its loop is rebuilt from
// straight (u, v) pieces. The net heals them the same way. The seed used to
// stay and the rectangle to go the whole gap, which on a fitted mesh put it
// the gap off the mesh beside the seam.
TEST(HealSkin, MovedRectangleAndTheSeedEachGoHalfTheGap)
{
    for (bool byNet : {false, true}) {
        SCOPED_TRACE(byNet);
        // The net matches curve ends within 2.0: its faces are larger.
        const double k = byNet ? 10.0 : 1.0;
        GB::CSurfaceNet net; // owns the faces it heals
        Faces faces;
        CFace* rect = faces.add(insetRectangle(2 * k, 0, 3 * k, 2 * k, 0.05, 0.5 * k));
        CFace* square = faces.add(insetRectangle(0, 0, 2 * k, 2 * k, 0.0, 0.5 * k));
        const CLoop* oldLoop = rect->trimLoops[0];
        const double dTol = byNet ? 0.005 : 0.01;
        EXPECT_NEAR(skintest::largestEdgeGap(faces.list, 0.5 * k, dTol), 0.05, 1e-9);
        std::string out;
        if (byNet) {
            for (auto& f : faces.owned) {
                auto* record = new GB::Face();
                record->trimmedFace = f.release();
                record->next = net.firstFace;
                net.firstFace = record;
            }
            CaptureStdout();
            EXPECT_TRUE(net.healFaces());
            out = GetCapturedStdout();
        } else {
            EXPECT_TRUE(heal(faces.list, dTol, nullptr, 0, out));
            EXPECT_TRUE(contains(out, "len used=0.38198")) << out;
        }
        EXPECT_LT(skintest::largestEdgeGap(faces.list, 0.5 * k, dTol), dTol);
        EXPECT_EQ(square->spareFlag, 1);
        EXPECT_EQ(rect->spareFlag, 2);
        const auto height = [](CFace* f, double x, double y) {
            const Vector uv = uvOn(f->surface, Vector(x, y, 0.0));
            return f->surface->getPoint(uv[0], uv[1])[2];
        };
        EXPECT_NEAR(height(square, 2 * k, k), 0.025, 0.5 * dTol);
        EXPECT_NEAR(height(square, 0.0, k), 0.0, 0.1 * dTol);
        ASSERT_EQ(rect->trimLoops.count, 1);
        EXPECT_NE(rect->trimLoops[0], oldLoop);
        EXPECT_EQ(rect->trimLoops[0]->getCard(), 4);
        // The small rectangle's sides give too few points for more than
        // straight (u, v) curves; they are still used.
        EXPECT_EQ(contains(out, "logging a linear probaly bad uv curve"), !byNet) << out;
        EXPECT_TRUE(byNet || std::filesystem::exists(mwtest::scratchPath("baduv.out")));
        EXPECT_FALSE(multithreadingAllowed);
    }
}

// Two planar bicubic patches meeting at x = 0 with a kink of 10 degrees, the
// flat one fixed: every mode closes the edge, modes 1 and 2 also turn the
// tilted patch's normals towards the flat one's along it; mode 2 adds the
// second row without its two points at each end; modes out of range are
// clamped.
TEST(HealSkin, ContinuityModesBendTheKinkedNeighbour)
{
    const ScopedEnv logging("FENWO_LOGGING", "1");
    const double slope = std::tan(10.0 * M_PI / 180.0), dTol = 0.005;
    // Along y the edge is long enough for several continuity points.
    auto plane = [](double x0, double z0, double dz) {
        return skintest::bicubic([=](int i, int j) {
            const double x = x0 + 2.0 * i / 3.0;
            return Vector(x, -1.0 + 6.0 * j / 3.0, z0 + dz * (x - x0));
        });
    };
    auto kinkAngle = [](CFace* f) {
        double worst = 0.0;
        for (double y = 0.2; y < 3.9; y += 0.2) {
            const Vector uv = uvOn(f->surface, Vector(0.0, y, 0.0));
            const Vector n = normalized(f->surface->getNormal(uv[0], uv[1]));
            worst = std::max(worst, std::acos(std::min(1.0, std::fabs(n[2]))) * 180.0 / M_PI);
        }
        return worst;
    };
    std::vector<double> nets[5], angles(5);
    int rows[5] = {0, 0, 0, 0, 0};
    const int modes[5] = {-1, 0, 1, 2, 5};
    for (int m = 0; m < 5; ++m) {
        SCOPED_TRACE(modes[m]);
        Faces faces, fixed;
        fixed.add(skintest::trimmed(plane(-1.5, 0.0, 0.0), 0.25, 1.0 / 6.0, 0.75, 5.0 / 6.0));
        CFace* tilted = faces.add(
            skintest::trimmed(plane(-0.5, -0.5 * slope, slope), 0.25, 1.0 / 6.0, 0.75, 5.0 / 6.0));
        EXPECT_NEAR(kinkAngle(tilted), 10.0, 1e-6);
        std::string out;
        EXPECT_TRUE(heal(faces.list, dTol, &fixed.list, modes[m], out));
        Kor::List<CFace*> both = faces.list;
        both.append(fixed[0]);
        EXPECT_LT(skintest::largestEdgeGap(both, 0.5, dTol), dTol);
        nets[m] = controlNet(tilted);
        angles[m] = kinkAngle(tilted);
        std::ifstream shape(mwtest::scratchPath("shape-1.mp"));
        for (std::string line; std::getline(shape, line);)
            rows[m] += contains(line, "group=-") ? 1 : 0;
    }
    EXPECT_EQ(nets[0], nets[1]);
    EXPECT_EQ(nets[4], nets[3]);
    EXPECT_EQ(rows[1], 0);
    EXPECT_GT(rows[2], 4);
    EXPECT_EQ(rows[3], 2 * rows[2] - 4);
    EXPECT_LT(angles[2], 0.5 * angles[1]);
    EXPECT_LT(angles[3], 0.5 * angles[1]);
}

// A sink that cancels when the healing reaches the given label.
class CancelAt : public CSimpleProgress {
public:
    explicit CancelAt(std::string label) : label(std::move(label)) {}
    bool setLabel(const char* text) override
    {
        if (label == text)
            setCancelled(true);
        return CSimpleProgress::setLabel(text);
    }
    std::string label;
};

// A sink that cancels at its given poll after the label was set.
class CancelAfterLabel : public CSimpleProgress {
public:
    CancelAfterLabel(std::string label, int polls) : label(std::move(label)), polls(polls)
    {
        setPrint(false);
    }
    bool setLabel(const char* text) override
    {
        counting = counting || label == text;
        return CSimpleProgress::setLabel(text);
    }
    bool isCancelled() override
    {
        if (counting && ++seen == polls)
            setCancelled(true);
        return CSimpleProgress::isCancelled();
    }
    std::string label;
    int polls;
    int seen = 0;
    bool counting = false;
};

// Nothing to heal, a cancel before the last face and a face loop that
// cannot be walked; no face is lost or changed except those healed before
// the cancel.
TEST(HealSkin, NothingToHealCancelsAndBrokenLoops)
{
    {
        Faces faces;
        faces.add(insetRectangle(0, 0, 1, 1, 0.0, 0.2));
        faces.add(insetRectangle(3, 0, 4, 1, 0.3, 0.2));
        const std::vector<double> before = controlNet(faces[1]);
        std::string out;
        EXPECT_TRUE(heal(faces.list, 0.01, nullptr, 2, out));
        EXPECT_FALSE(contains(out, "Start Face")) << out;
        EXPECT_EQ(controlNet(faces[1]), before);
    }
    {
        // A square with two rectangles on its right side, both raised.
        Faces faces, fixed;
        fixed.add(insetRectangle(0, 0, 2, 2, 0.0, 0.5));
        faces.add(insetRectangle(2, 0, 3, 1, 0.05, 0.4));
        faces.add(insetRectangle(2, 1, 3, 2, 0.05, 0.4));
        const std::vector<double> before[2] = {controlNet(faces[0]), controlNet(faces[1])};
        CancelAt cancel("healing face 3 / 3");
        cancel.setPrint(false);
        std::string out;
        EXPECT_FALSE(heal(faces.list, 0.01, &fixed.list, 0, out, &cancel));
        for (int i = 0; i < 2; ++i) {
            const bool healed = faces[i]->spareFlag == 2;
            EXPECT_EQ(controlNet(faces[i]) != before[i], healed) << i;
            EXPECT_EQ(faces[i]->trimLoops.count, 1);
        }
    }
    {
        // Cancelled during the build of the skin (the square's side is cut
        // at the T-joins of the two rectangles): no face is healed, and the
        // cancel is no success.
        Faces faces, fixed;
        fixed.add(insetRectangle(0, 0, 2, 2, 0.0, 0.5));
        faces.add(insetRectangle(2, 0, 3, 1, 0.05, 0.4));
        faces.add(insetRectangle(2, 1, 3, 2, 0.05, 0.4));
        const std::vector<double> before = controlNet(faces[0]);
        CancelAt cancel("connect edges (2.1/3)");
        cancel.setPrint(false);
        std::string out;
        EXPECT_FALSE(heal(faces.list, 0.01, &fixed.list, 0, out, &cancel));
        EXPECT_FALSE(contains(out, "Start Face")) << out;
        EXPECT_EQ(controlNet(faces[0]), before);
        // The faces' trim curves are linked to each other again.
        for (CFace* f : {fixed[0], faces[0], faces[1]})
            for (CParCurve* c : f->trimLoops[0]->curves)
                EXPECT_TRUE(
                    f->trimLoops[0]->curves.contains(static_cast<CParCurve*>(c->getNext())));
    }
    // Cancelled at every thirteenth of the 154 polls of the second face's
    // healing in turn, and at the last: the knot insertion changes the
    // control net first and the correction moves the surface's shape at the
    // last poll; either way the surface has its loop rebuilt on it, never
    // keeps its old one.
    int moved = 0;
    for (int poll : {1, 14, 27, 40, 53, 66, 79, 92, 105, 118, 131, 144, 154}) {
        SCOPED_TRACE(poll);
        Faces faces, fixed;
        fixed.add(insetRectangle(0, 0, 2, 2, 0.0, 0.5));
        CFace* rect = faces.add(insetRectangle(2, 0, 3, 2, 0.05, 0.5));
        const std::vector<double> before = controlNet(rect);
        const CLoop* oldLoop = rect->trimLoops[0];
        CancelAfterLabel cancel("healing face 2 / 2", poll);
        std::string out;
        EXPECT_FALSE(heal(faces.list, 0.01, &fixed.list, 0, out, &cancel));
        if (controlNet(rect) != before) {
            ++moved;
            EXPECT_NE(rect->trimLoops[0], oldLoop);
        }
    }
    EXPECT_GT(moved, 0);
    for (const char* message : {"No pHalf here.", "No pNext here."}) {
        // One curve of the second face is left out of the skin: the walk
        // meets it as its own curve, or as the next of the one before.
        Faces faces;
        faces.add(insetRectangle(0, 0, 2, 2, 0.0, 0.5));
        CFace* broken = faces.add(insetRectangle(2, 0, 3, 2, 0.05, 0.5));
        CSkinTopology skin;
        Kor::List<CParametricGeometry*> curves;
        for (CFace* f : faces.list) {
            skin.lend(f);
            for (CCONS* c : f->getAllCONS(false, true))
                curves.append(c);
        }
        curves.remove(broken->trimLoops[0]->curves[2]);
        CaptureStdout();
        ASSERT_TRUE(FENWO_SKIN::buildSkin(curves, &skin, 0.5, nullptr));
        Kor::List<CFace*> fixed;
        fixed.append(faces[0]);
        EXPECT_FALSE(skin.healFaces(0.01, &fixed, 0));
        const std::string out = GetCapturedStdout();
        EXPECT_TRUE(contains(out, message)) << out;
        EXPECT_TRUE(contains(out, "Abort, damaged Pointers.")) << out;
        EXPECT_NE(broken->surface, nullptr);
    }
}

// A 2 x 2 net of rectangles whose surfaces reach a little past their trims,
// as fitted faces do, the corner face diagonal to the seed next in value
// order. It came second, met the seed at the centre only, took corner
// targets that lie beyond its sides, and was left unhealed with "Heal
// failed". The heal order now grows from the seed: a face that shares an
// edge with one placed before it comes first. Scaled down below the
// continuity distance (mode 2), the faces' continuity rows lie beyond
// their neighbours and their targets were thinned to one or two a side:
// no correction ran, and the face diagonal to the seed, lifted 3 dTol,
// failed. Its targets are now thinned to a sixth of its side, and it meets
// its neighbours.
TEST(HealSkin, HealOrderGrowsFromTheSeedAndFacesNarrowerThanTheRowsMeet)
{
    const struct {
        double scale, lift; // lift: of the face diagonal to the seed, in dTol
        int mode;
        bool failed;
    } cases[] = {{1.0, 0.5, 0, false}, {0.1, 0.5, 2, false}, {0.1, 3.0, 2, false}};
    const double dTol = 0.01;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.scale << " " << c.lift << " " << c.mode);
        const double w[2] = {1.0 * c.scale, 1.2 * c.scale}, h[2] = {1.0 * c.scale, 1.1 * c.scale};
        const double x[3] = {0.0, w[0], w[0] + w[1]}, y[3] = {0.0, h[0], h[0] + h[1]};
        Faces faces;
        for (int i = 0; i < 2; ++i)
            for (int j = 0; j < 2; ++j)
                faces.add(insetRectangle(x[i], y[j], x[i + 1], y[j + 1],
                                         i + j == 2 ? c.lift * dTol : 0.0, 0.05 * c.scale));
        std::string out;
        EXPECT_TRUE(heal(faces.list, dTol, nullptr, c.mode, out));
        EXPECT_EQ(contains(out, "Heal failed"), c.failed) << out;
        // Faces 0 (the seed, a square), 1 above it, 2 beside it, 3 diagonal.
        EXPECT_EQ(faces[0]->spareFlag, 1);
        EXPECT_EQ(faces[1]->spareFlag, 2);
        EXPECT_EQ(faces[3]->spareFlag, 3);
        if (!c.failed) {
            EXPECT_LT(skintest::largestEdgeGap(faces.list, 0.05 * c.scale, dTol), dTol);
        }
    }
}

// A fixed flat square and a neighbour whose side along their straight
// shared edge bows away from it, 0.75 bulge dTol in the middle and 0.42
// bulge dTol at its ends. A straight edge used to give targets at its two
// ends only: the correction pulled the ends in and left the middle a third
// of the bulge off, and the face was taken as healed. The neighbour now
// meets the edge along its length.
TEST(HealSkin, SideBowingBetweenTheEndsOfAStraightEdgeMeetsIt)
{
    const struct {
        double bulge; // in dTol
        int mode;
    } cases[] = {{12.0, 0}, {12.0, 2}, {40.0, 2}};
    const double dTol = 0.01, margin = 0.25, span = 1.0 + 2.0 * margin;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bulge << " " << c.mode);
        Faces faces, fixed;
        fixed.add(insetRectangle(0, 0, 1, 1, 0.0, margin));
        CFace* bowed = faces.add(skintest::trimmed(
            skintest::bicubic([&](int i, int j) {
                return Vector(1.0 - margin + span * i / 3.0, -margin + span * j / 3.0,
                              j == 1 || j == 2 ? c.bulge * dTol : 0.0);
            }),
            margin / span, margin / span, 1.0 - margin / span, 1.0 - margin / span));
        Kor::List<CFace*> both = faces.list;
        both.append(fixed[0]);
        EXPECT_NEAR(skintest::largestEdgeGap(both, 0.5, dTol), 0.75 * c.bulge * dTol, 1e-3);
        std::string out;
        EXPECT_TRUE(heal(faces.list, dTol, &fixed.list, c.mode, out));
        EXPECT_FALSE(contains(out, "Heal failed")) << out;
        EXPECT_LT(skintest::largestEdgeGap(both, 0.5, dTol), dTol);
        EXPECT_EQ(bowed->trimLoops[0]->getCard(), 4);
    }
}

// The first face of an empty fixed list, whose only neighbour comes after
// it: it used to keep its loop and surface ("Heal failed"), and its
// neighbour went the whole gap; it now goes half the gap, its neighbour the
// other half, and both keep the sides they had far from the seam. A
// fixed-list search without boundary faces is refused and leaves the faces
// alone.
TEST(HealSkin, FirstFaceOfAnEmptyFixedListGoesHalfTheGap)
{
    Faces faces, fixed;
    faces.add(insetRectangle(0, 0, 2, 2, 0.0, 0.5));
    faces.add(insetRectangle(2, 0, 3, 2, 0.05, 0.5));
    std::vector<double> nets[2] = {controlNet(faces[0]), controlNet(faces[1])};
    const CLoop* loops[2] = {faces[0]->trimLoops[0], faces[1]->trimLoops[0]};

    CaptureStdout();
    EXPECT_FALSE(healSkin(faces.list, 0.01, nullptr, nullptr, 0.0, 0, false));
    EXPECT_FALSE(healSkin(faces.list, 0.01, nullptr, &fixed.list, 0.0, 0, false));
    GetCapturedStdout();
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(controlNet(faces[i]), nets[i]);
        EXPECT_EQ(faces[i]->trimLoops[0], loops[i]);
    }

    std::string out;
    EXPECT_TRUE(heal(faces.list, 0.01, &fixed.list, 0, out));
    EXPECT_FALSE(contains(out, "Heal failed")) << out;
    EXPECT_EQ(faces[0]->spareFlag, 1);
    EXPECT_EQ(faces[1]->spareFlag, 2);
    for (int i = 0; i < 2; ++i)
        EXPECT_NE(faces[i]->trimLoops[0], loops[i]);
    const auto height = [&](int f, double x) {
        const Vector uv = uvOn(faces[f]->surface, Vector(x, 1.0, 0.0));
        return faces[f]->surface->getPoint(uv[0], uv[1])[2];
    };
    EXPECT_NEAR(height(0, 2.0), 0.025, 0.005);
    EXPECT_NEAR(height(0, 0.0), 0.0, 0.001);
    EXPECT_LT(skintest::largestEdgeGap(faces.list, 0.5, 0.01), 0.01);
}

// A square and a rectangle beside it, `rise` higher and `apart` farther
// off in the plane, each going half the gap, healed as the commit heals them
// where the fit's tolerance lies far below the document's (an allowance of
// 0.6 and 0.06 dTol at x100 and x1000). A side moves across the face no
// farther than the allowance, as the commit's region check measures the
// edges across the mesh: a rise is closed however small the allowance, and
// the seam to a share of it; a gap in the plane that asks more of a side
// than the allowance is no heal: the faces fail and keep their shapes. The
// heal placed the sides to a quarter of dTol however small the allowance,
// and the commit's region check then refused the faces.
TEST(HealSkin, SidesMoveNoFartherAcrossThanTheEdgeAllowance)
{
    const double dTol = 0.01;
    const struct {
        double rise, apart, allowance;
        bool heals;
    } cases[] = {{0.005, 0.0, HUGE_VAL, true}, {0.005, 0.0, 0.006, true},
                 {0.005, 0.0, 0.002, true},    {0.0005, 0.0, 0.0006, true},
                 {0.0, 0.005, 0.006, true},    {0.0, 0.005, 0.002, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rise << " " << c.apart << " " << c.allowance);
        Faces faces;
        faces.add(insetRectangle(0, 0, 2, 2, 0.0, 0.5));
        faces.add(insetRectangle(2 + c.apart, 0, 3, 2, c.rise, 0.5));
        const std::vector<double> nets[2] = {controlNet(faces[0]), controlNet(faces[1])};
        Kor::List<CFace*> failed;
        CaptureStdout();
        EXPECT_TRUE(healSkin(faces.list, dTol, nullptr, nullptr, 0.0, 0, true, &failed, nullptr,
                             c.allowance));
        const std::string out = GetCapturedStdout();
        EXPECT_EQ(failed.count == 0, c.heals) << out;
        const double gap = skintest::largestEdgeGap(faces.list, 0.5, dTol);
        if (!c.heals) {
            EXPECT_EQ(controlNet(faces[0]), nets[0]);
            EXPECT_EQ(controlNet(faces[1]), nets[1]);
            EXPECT_NEAR(gap, c.apart, 1e-6);
            continue;
        }
        EXPECT_LT(gap, 0.25 * std::min(dTol, c.allowance));
        // Each face's surface along the seam and at its far side.
        const auto height = [&](int f, double x) {
            const Vector uv = uvOn(faces[f]->surface, Vector(x, 1.0, 0.0));
            return faces[f]->surface->getPoint(uv[0], uv[1])[2];
        };
        for (int f = 0; f < 2; ++f) {
            const double z = f == 0 ? 0.0 : c.rise;
            EXPECT_LE(std::fabs(height(f, 2.0 + c.apart / 2) - z), 0.75 * c.rise + 1e-9) << f;
            EXPECT_LE(std::fabs(height(f, f == 0 ? 0.0 : 3.0) - z), 0.1 * c.rise + 1e-9) << f;
        }
    }
}

// The fixed square [0, 1]^2 on a plane over [-0.5, 1.5]^2, (u, v) in
// quarters: its right side runs from (0.75, 0.25) to (0.75, 0.75) by
// (0.75 - depth, 0.5), x = 1 - depth in the middle.
CFace* squareWithBowedSide(double depth)
{
    auto* plane = skintest::bilinear(Vector(-0.5, -0.5, 0), Vector(1.5, -0.5, 0),
                                     Vector(-0.5, 1.5, 0), Vector(1.5, 1.5, 0));
    auto* bowed = new Fenwo::NurbsSurf(knots(2, 2, 0.0, 1.0));
    bowed->setControlPoint(0, 0, Vector(0.75, 0.25, 0.0));
    bowed->setControlPoint(1, 0, Vector(0.75 - depth, 0.5, 0.0));
    bowed->setControlPoint(2, 0, Vector(0.75, 0.75, 0.0));
    auto* square = new CFace(plane, nullptr);
    auto* loop = new CLoop();
    const double corners[4][2] = {{0.25, 0.25}, {0.75, 0.25}, {0.75, 0.75}, {0.25, 0.75}};
    for (int k = 0; k < 4; ++k) {
        const double a[3] = {corners[k][0], corners[k][1], 0.0};
        const double b[3] = {corners[(k + 1) % 4][0], corners[(k + 1) % 4][1], 0.0};
        loop->curves.append(new CParCurve(k == 1 ? bowed : makeCurve(a, b), plane, true));
    }
    if (!square->setOuterLoop(loop))
        delete loop;
    return square;
}

// A fixed square whose shared side bows 0.3 into it, in its plane, beside a
// square whose surface reaches 0.1 past its trim: the targets in the middle
// of the side lie beyond that surface, where no correction reaches, and the
// heal fails. The face used to keep what the corrections made of its
// surface and a loop rebuilt along its domain's side; it now keeps the
// surface and the loop it had. Asked for a list of the faces that failed
// (as the commit asks, which judges the faces together), the healing lists
// the face there instead of announcing it.
TEST(HealSkin, FaceWhoseHealFailsKeepsItsSurfaceAndLoop)
{
    for (bool listed : {false, true}) {
        SCOPED_TRACE(listed ? "listed" : "announced");
        Faces faces, fixed;
        fixed.add(squareWithBowedSide(0.3));
        CFace* face = faces.add(insetRectangle(1, 0, 2, 1, 0.0, 0.1));
        const std::vector<double> net = controlNet(face);
        const CLoop* faceLoop = face->trimLoops[0];
        Kor::List<CFace*> failed;
        CaptureStdout();
        EXPECT_TRUE(healSkin(faces.list, 0.01, nullptr, &fixed.list, 0.0, 0, true,
                             listed ? &failed : nullptr));
        const std::string out = GetCapturedStdout();
        EXPECT_TRUE(contains(out, "Start Face 2/2")) << out;
        EXPECT_EQ(contains(out, "Heal failed for dTol=0.01"), !listed) << out;
        EXPECT_EQ(failed.count, listed ? 1 : 0);
        EXPECT_TRUE(!listed || failed.contains(face));
        EXPECT_EQ(controlNet(face), net);
        EXPECT_EQ(face->trimLoops[0], faceLoop);
    }
}

// A healed side meets its neighbour within the tolerance, as the commit
// judges the edges, or the heal has failed: the square's side bows past the
// reach of the face's surface by a little less or a little more than dTol,
// and the face's side follows it as far as the surface reaches. A side left
// 1.02 dTol off was taken for healed (1.5 dTol were allowed), without "Heal
// failed", and the commit found the shared edge beyond the tolerance; the
// face now fails and keeps its shape.
TEST(HealSkin, SideLeftBeyondTheToleranceIsAFailedHeal)
{
    const double dTol = 0.01;
    const struct {
        double depth; // of the bow; the surface reaches 0.1 past the face's side
        bool heals;
    } cases[] = {{0.108, true}, {0.11, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.depth);
        Faces faces, fixed;
        CFace* square = fixed.add(squareWithBowedSide(c.depth));
        CFace* face = faces.add(insetRectangle(1, 0, 2, 1, 0.0, 0.1));
        const std::vector<double> net = controlNet(face);
        std::string out;
        EXPECT_TRUE(heal(faces.list, dTol, &fixed.list, 0, out));
        EXPECT_EQ(contains(out, "Heal failed for dTol=0.01"), !c.heals) << out;
        EXPECT_EQ(controlNet(face) != net, c.heals);
        // How far the face's left side lies from the square's bowed side.
        CParCurve* bowed = square->trimLoops[0]->getCurve(1);
        double apart = 0.0;
        for (CParCurve* side : face->trimLoops[0]->curves) {
            const Interval d = side->getDomain(0);
            for (int k = 0; k <= 50; ++k) {
                const Vector p = side->getPoint(d.min + (d.max - d.min) * k / 50.0, 0.0);
                if (p[0] > 0.5 && p[0] < 1.2 && p[1] > 0.02 && p[1] < 0.98) {
                    double t = 0.5;
                    startParameterOnCurve(*bowed, p, t);
                    apart = std::max(apart, double(projectPointOnCurve(bowed, p, t)));
                }
            }
        }
        if (c.heals)
            EXPECT_LE(apart, dTol);
        else
            EXPECT_NEAR(apart, c.depth, 1e-6);
    }
}

// A fixed face that shares no edge with the faces to heal is no seed: the
// seeds are counted among the faces of the heal set. Counting the whole
// fixed list (two here) left the rectangle unhealed, 0.05 off its fixed
// neighbour.
TEST(HealSkin, FixedFaceOutsideTheHealSetTakesNoSeedPlace)
{
    Faces faces, fixed;
    fixed.add(insetRectangle(0, 0, 2, 2, 0.0, 0.5));
    fixed.add(insetRectangle(10, 10, 11, 11, 0.0, 0.2));
    faces.add(insetRectangle(2, 0, 3, 2, 0.05, 0.5));
    std::string out;
    EXPECT_TRUE(heal(faces.list, 0.01, &fixed.list, 0, out));
    EXPECT_TRUE(contains(out, "Start Face 2/2")) << out;
    Kor::List<CFace*> all;
    for (CFace* f : {fixed[0], faces[0]})
        all.append(f);
    EXPECT_LT(skintest::largestEdgeGap(all, 0.5, 0.01), 0.01);
}

// A run of no length (its curve a single point) moves as its start; its
// arc-length fractions are not 0 / 0.
TEST(HealSkin, ZeroLengthRunMovesAsItsStart)
{
    std::unique_ptr<Fenwo::NurbsSurf> S(
        skintest::bilinear(Vector(0, 0, 0), Vector(1, 0, 0), Vector(0, 1, 0), Vector(1, 1, 0)));
    const double at[3] = {0.5, 0.5, 0.0};
    auto* point = new CParCurve(makeCurve(at, at), S.get(), false);
    std::unique_ptr<CParCurve> own(point);
    CSkinTopology::CHalfEdge h(nullptr, point);
    Kor::List<CSkinTopology::CHalfEdge*> chain;
    chain.append(&h);
    Kor::List<CCONS*> curves;
    curves.append(point);
    CFitPointArray targets;
    IndexSubset<CFitPoint> all(targets);
    const Vector corner(0.5, 0.5, 0.02);
    EXPECT_TRUE(
        FENWO_SKIN::addVertexOnlyTargets(chain, targets, all, *S, corner, corner, 0.01, curves));
    ASSERT_GT(targets.count, 0);
    for (int k = 0; k < targets.count; ++k) {
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(targets[k].Point[c], corner[c], 1e-9) << k;
        EXPECT_EQ(targets[k].group, 1);
    }
}

// The groups of the targets of the second healed face, from its shape file.
std::vector<int> shapeGroups()
{
    std::vector<int> groups;
    std::ifstream shape(mwtest::scratchPath("shape-1.mp"));
    for (std::string line; std::getline(shape, line);)
        if (const auto at = line.find("group="); at != std::string::npos)
            groups.push_back(std::stoi(line.substr(at + 6)));
    return groups;
}

// A 2 x 2 net of squares lifted like a chessboard 3 dTol apart, seen at
// three sizes and two modes. Each seam closes with each face going about
// half its gap there; the faces' far corners and their middles stay where
// they were. The seed used to stay and the others to go the whole gap, the
// last face over its whole area, which put fitted faces 1.2 to 2.4
// tolerances off the mesh to close seams of 1.1 to 1.3. On squares 40 dTol
// wide, narrower than twice the continuity distance, the moves faded out over
// that distance, nothing held the middles, and they went 1.1 dTol with the
// seams. The moves of the unit squares, in tolerances, are the same at
// every size, but for the curves' facets of the targets (whose check counts
// a curve flatter than a radius of 1000 straight, in model units).
TEST(HealSkin, SeamsCloseHalfWayAndTheFacesFarCornersAndMiddlesStay)
{
    std::map<int, std::vector<double>> first; // the moves of each mode at size 1
    const std::pair<double, double> sizes[] = {{1.0, 1.0}, {1.0, 1e-3}, {1.0, 1e3},
                                               {0.4, 1.0}, {0.4, 1e-3}, {0.4, 1e3}};
    for (const auto& [width, scale] : sizes)
        for (const int mode : {0, 2}) {
            SCOPED_TRACE(testing::Message() << width << " " << scale << " " << mode);
            const double dTol = 0.01 * scale, gap = 3.0 * dTol, w = width * scale;
            Faces faces;
            for (int i = 0; i < 2; ++i)
                for (int j = 0; j < 2; ++j)
                    faces.add(insetRectangle(i * w, j * w, (i + 1) * w, (j + 1) * w,
                                             (i + j) % 2 ? gap : 0.0, 0.05 * w));
            std::string out;
            EXPECT_TRUE(heal(faces.list, dTol, nullptr, mode, out));
            EXPECT_FALSE(contains(out, "Heal failed")) << out;
            EXPECT_LT(skintest::largestEdgeGap(faces.list, 0.5 * w, dTol), dTol);
            std::vector<double> moves; // in dTol: far corner, seam, middle of each face
            for (int f = 0; f < 4; ++f) {
                const double i = f / 2, j = f % 2, z = (f == 1 || f == 2) ? gap : 0.0;
                const auto moved = [&](double x, double y) {
                    const Vector uv = uvOn(faces[f]->surface, Vector(x * w, y * w, z));
                    return std::fabs(faces[f]->surface->getPoint(uv[0], uv[1])[2] - z) / dTol;
                };
                moves.push_back(moved(2.0 * i, 2.0 * j));
                moves.push_back(moved(1.0, j + 0.5));
                moves.push_back(moved(i + 0.5, j + 0.5));
                EXPECT_LT(moves[moves.size() - 3], 0.1) << f;
                EXPECT_GT(moves[moves.size() - 2], 0.75) << f;
                EXPECT_LT(moves[moves.size() - 2], 2.25) << f;
                EXPECT_LT(moves.back(), 0.25) << f;
            }
            first.emplace(mode, moves);
            for (std::size_t k = 0; k < moves.size() && width == 1.0; ++k)
                EXPECT_NEAR(moves[k], first[mode][k], 0.25) << k;
        }
}

// Unmatched edges of a healed face: a run of them gives targets inside, also
// when it is shorter than 14 continuity distances (there the margins of 7 s
// at its ends left it none, and the correction swung the face's free sides
// off); a face that touches the fixed face only at a corner takes four
// corner targets from its two curves there.
TEST(HealSkin, UnmatchedEdgesFollowTheirCorners)
{
    const ScopedEnv logging("FENWO_LOGGING", "1");
    for (double dTol : {0.01, 0.001}) {
        Faces faces, fixed;
        fixed.add(insetRectangle(0, 0, 2, 2, 0.0, 0.5));
        faces.add(insetRectangle(2, 0, 3, 2, 0.05, 0.5));
        std::string out;
        EXPECT_TRUE(heal(faces.list, dTol, &fixed.list, 0, out));
        const std::vector<int> groups = shapeGroups();
        ASSERT_FALSE(groups.empty());
        const bool inner =
            std::any_of(groups.begin(), groups.end(), [&](int g) { return g != groups[0]; });
        // The run around the three free sides is 4 long; 14 s is 5.3 at
        // dTol 0.01 and 0.53 at 0.001.
        EXPECT_TRUE(inner) << dTol;
    }
    Faces faces, fixed;
    fixed.add(insetRectangle(0, 0, 1, 1, 0.0, 0.3));
    CFace* diagonal = faces.add(insetRectangle(1, 1, 2, 2, 0.02, 1.3));
    const std::vector<double> before = controlNet(diagonal);
    std::string out;
    EXPECT_TRUE(heal(faces.list, 0.01, &fixed.list, 0, out));
    const std::vector<int> groups = shapeGroups();
    EXPECT_EQ(std::count(groups.begin(), groups.end(), -4), 4) << out;
    EXPECT_EQ(diagonal->spareFlag, 2);
    EXPECT_NE(controlNet(diagonal), before) << out;
    const Vector corner(1.0, 1.0, 0.0), uv = uvOn(diagonal->surface, corner);
    EXPECT_LT(norm(diagonal->surface->getPoint(uv[0], uv[1]) - corner), 0.01);
    // The vertex-only chain, all four trim curves of the face, is logged
    // with its curves on the surface.
    std::ifstream chains(mwtest::scratchPath("vonly.out"));
    int curves = 0;
    for (std::string line; std::getline(chains, line);)
        curves += line == "GeoObject Begin" ? 1 : 0;
    EXPECT_GE(curves, 4);
}

// Faces round a node that share only the node, as the commit hands them
// over, the first one fixed: each a rhombus from the node out along two rays
// (angles in degrees), on a plane of its own lifted to part the corners at
// the node. A face meets the others at the node and nowhere else: its
// corner there goes to the fixed face's, its other corners stay in the
// plane. Where a slot tapers to the node, the faces' corners at its open end
// fall into one skin vertex, and the corner there went across the slot onto
// the other face's (10 tolerances; 26 in the fans). Faces whose corners
// meet already are not healed. The same at every scale.
TEST(HealSkin, FacesThatShareOnlyANodeMeetThereAndNowhereElse)
{
    const struct {
        const char* layout;
        std::vector<std::array<double, 2>> rays; // of each face, the fixed one first
        std::vector<double> lifts;               // of each face, in dTol
    } cases[] = {
        {"two squares touching at a corner", {{180, 270}, {0, 90}}, {0, 2}},
        {"a slot of 6 degrees tapering to the corner", {{0, 90}, {96, 186}}, {0, 2}},
        {"a slot of 6 degrees, the corners meeting", {{0, 90}, {96, 186}}, {0, 0}},
        {"a fan of 3", {{0, 105}, {120, 225}, {240, 345}}, {0, 2, -2}},
        {"a fan of 4", {{0, 80}, {90, 170}, {180, 260}, {270, 350}}, {0, 2, -2, 2}},
        {"a fan of 5", {{0, 62}, {72, 134}, {144, 206}, {216, 278}, {288, 350}}, {0, 2, -2, 2, -2}},
    };
    for (const auto& c : cases)
        for (const double scale : {0.01, 1.0, 100.0}) {
            SCOPED_TRACE(testing::Message() << c.layout << " at " << scale);
            const double dTol = 0.01 * scale, w = 3.0 * scale; // the planes' half width
            Faces faces, fixed;
            FENWO_SKIN::FaceNeighbours neighbours;
            for (std::size_t f = 0; f < c.rays.size(); ++f) {
                std::vector<std::array<double, 2>> uv{{0.5, 0.5}};
                for (const double a : {c.rays[f][0], c.rays[f][1]})
                    uv.push_back(
                        {0.5 + std::cos(a * M_PI / 180) / 6, 0.5 + std::sin(a * M_PI / 180) / 6});
                uv.insert(uv.begin() + 2, {uv[1][0] + uv[2][0] - 0.5, uv[1][1] + uv[2][1] - 0.5});
                const double z = c.lifts[f] * dTol;
                Fenwo::NurbsSurf* plane = skintest::bilinear(Vector(-w, -w, z), Vector(w, -w, z),
                                                             Vector(-w, w, z), Vector(w, w, z));
                CFace* face = (f == 0 ? fixed : faces).add(skintest::trimmedPolygon(plane, uv));
                for (int g = 0; g < int(f); ++g)
                    neighbours.addPoint(g == 0 ? fixed[0] : faces[g - 1], face,
                                        CVertex<double, 3>(0.0, 0.0, 0.0));
            }
            const auto loopCorners = [](const CFace* f) {
                std::vector<Vector> corners;
                for (CParCurve* curve : f->trimLoops[0]->curves)
                    corners.push_back(curve->getStartPoint());
                return corners;
            };
            std::vector<std::vector<Vector>> before;
            for (CFace* f : faces.list)
                before.push_back(loopCorners(f));
            std::string out;
            EXPECT_TRUE(heal(faces.list, dTol, &fixed.list, 0, out, nullptr, 0.0, &neighbours));
            EXPECT_FALSE(contains(out, "Heal failed")) << out;
            const bool apart = c.lifts.back() != 0.0;
            for (int f = 0; f < faces.list.count; ++f) {
                SCOPED_TRACE(f + 1);
                EXPECT_EQ(faces[f]->spareFlag != 0, apart);
                // Each corner as healed, in the plane, against the nearest
                // as found; the one at the node meets the fixed face's.
                for (const Vector& corner : loopCorners(faces[f])) {
                    double nearest = HUGE_VAL;
                    for (const Vector& p : before[std::size_t(f)])
                        nearest = std::min(nearest, std::hypot(corner[0] - p[0], corner[1] - p[1]));
                    EXPECT_LT(nearest, 0.05 * dTol);
                    if (apart && std::hypot(corner[0], corner[1]) < 0.5 * scale) {
                        EXPECT_LT(norm(corner), dTol);
                    }
                }
            }
        }
}

// Four neighbouring faces fitted to the real torus mesh (tube radius 0.5
// around the z axis at distance 1), a 2 x 2 net by the angles around the
// axis and around the tube, each trimmed between its corners on the torus;
// and the same torus scaled by 0.1 and by 1000 with the tolerance, healed
// as the commit heals (tangent planes and bending too): the heal's lengths
// follow the tolerance and the model's size, and the faces meet as closely
// in tolerances at every scale. The heal order's face areas, tessellated at
// spacings in model units, ordered the faces in thousands otherwise and left
// them a third closer.
TEST(HealSkin, FacesFittedToTheRealTorusMeetAfterHealingAtEveryScale)
{
    MW_REALDATA_DIR_OR_SKIP(dir, "stl");
    CFlatMesh mesh;
    CaptureStdout();
    ASSERT_TRUE(readSTL(mesh, (std::filesystem::path(dir) / "torus.STL").string().c_str(), true));
    GetCapturedStdout();
    auto torus = [](double a, double b) {
        const double r = 1.0 + 0.5 * std::cos(b);
        return Vector(r * std::cos(a), r * std::sin(a), 0.5 * std::sin(b));
    };
    const double as[3] = {0.0, 0.6, 1.2}, bs[3] = {0.2, 0.9, 1.6}, margin = 0.2;
    std::vector<double> gaps; // after the heal, in tolerances, at each scale
    for (const double scale : {1.0, 0.1, 1000.0}) {
        SCOPED_TRACE(scale);
        CaptureStdout();
        Faces faces;
        for (int i = 0; i < 2; ++i)
            for (int j = 0; j < 2; ++j) {
                CFitPointArray points;
                Mesh::CBaseMesh::Point p;
                for (int k = 0; k < mesh.getVertexCount(true); ++k) {
                    if (!mesh.getVertex(k, p))
                        continue;
                    const Vector X(p.data[0], p.data[1], p.data[2]);
                    const double a = std::atan2(X[1], X[0]);
                    const double b = std::atan2(X[2], std::hypot(X[0], X[1]) - 1.0);
                    if (a > as[i] - margin && a < as[i + 1] + margin && b > bs[j] - margin &&
                        b < bs[j + 1] + margin)
                        points.append(CFitPoint(scale * X));
                }
                Fenwo::NurbsSurf* S = fitBicubic(points);
                ASSERT_NE(S, nullptr);
                Vector corners[5];
                for (int k = 0; k < 4; ++k)
                    corners[k] =
                        uvOn(S, scale * torus(as[i + (k == 1 || k == 2)], bs[j + (k >= 2)]));
                corners[4] = corners[0];
                auto* loop = new CLoop();
                for (int k = 0; k < 4; ++k) {
                    const double a[3] = {corners[k][0], corners[k][1], 0.0};
                    const double b[3] = {corners[k + 1][0], corners[k + 1][1], 0.0};
                    loop->curves.append(new CParCurve(makeCurve(a, b), S, true));
                }
                faces.add(new CFace(S, nullptr))->setOuterLoop(loop);
            }
        GetCapturedStdout();
        const double dTol = 0.005 * scale;
        const double before = skintest::largestEdgeGap(faces.list, 0.1 * scale, dTol);
        std::string out;
        EXPECT_TRUE(heal(faces.list, dTol, nullptr, 2, out, nullptr, 100.0 * dTol));
        const double after = skintest::largestEdgeGap(faces.list, 0.1 * scale, dTol);
        std::cout << "scale " << scale << ": largest edge gap before " << before / dTol
                  << " after " << after / dTol << " tolerances" << std::endl;
        EXPECT_GT(before, dTol);
        EXPECT_LT(after, dTol);
        gaps.push_back(after / dTol);
        for (CFace* f : faces.list) {
            EXPECT_NE(f->surface, nullptr);
            EXPECT_EQ(f->trimLoops.count, 1);
        }
    }
    ASSERT_EQ(gaps.size(), 3u);
    EXPECT_NEAR(gaps[1], gaps[0], 0.02 + 0.01 * gaps[0]);
    EXPECT_NEAR(gaps[2], gaps[0], 0.02 + 0.01 * gaps[0]);
}

} // namespace
