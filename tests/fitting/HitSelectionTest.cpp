// Hit selection: orientation vote, clipping at 4.5 sigma, snapping, peak
// correction, the neighbour search and the second stage of consistent
// orientation.
#include "fitting/HitSelection.h"

#include "fitting/FitFixtures.h"
#include "foundation/FitPoint.h"
#include "foundation/VertexList.h"
#include "geometry/NurbsSurf.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

using fitfix::SurfaceFrame;

// The plane z = 0 over [0, 5]^2 whose facets right of x = 2.5 face down.
std::unique_ptr<CFlatMesh> halfFlippedMesh()
{
    mwtest::MeshSoup soup = mwtest::gridSoup(20, 20, 0.25, 0.25, true);
    for (auto& f : soup.facets) {
        double cx = 0.0;
        for (int v : f)
            cx += soup.xyz[3 * v] / f.size();
        if (cx > 2.5)
            std::swap(f[1], f[2]);
    }
    return fitfix::meshOf(soup);
}

TEST(HitSelection, OrientationVoteReversesOnlyASurfaceMostlyFacingAway)
{
    auto flatMesh = fitfix::planarGridMesh(20, 5.0);
    auto halfMesh = halfFlippedMesh();
    struct Case {
        const char* name;
        CFlatMesh* mesh;
        bool facingDown; // surface normal -z
        bool reversed;
    } cases[] = {
        {"facing the facets", flatMesh.get(), false, false},
        {"facing away", flatMesh.get(), true, true},
        {"half against", halfMesh.get(), true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto s =
            fitfix::heightFieldSurface(4, 4, SurfaceFrame{1.0, 1.0, 3.0, 3.0}, fitfix::flat(0.1));
        if (c.facingDown)
            s->swapuv();
        Vector before(3), after(3), n(3);
        s->getControlPoint(0, 0, before);
        ASSERT_TRUE(selectHitsAndUpdate(s.get(), c.mesh));
        s->getControlPoint(0, 0, after);
        EXPECT_EQ(c.reversed, squaredDistance(before, after) > 1.0);
        s->getRawNormal(n, 0.5, 0.5);
        EXPECT_EQ(c.facingDown != c.reversed, n[2] < 0.0);
    }
    EXPECT_FALSE(selectHitsAndUpdate(nullptr, nullptr));
}

TEST(HitSelection, ErrorsBeyondFourAndAHalfSigmaArePulledOntoTheSphere)
{
    // A pit 2.0 deep under control point (2, 2); every other hit is 0.1 away.
    auto s = fitfix::heightFieldSurface(6, 6, SurfaceFrame{1.0, 1.0, 5.0, 5.0}, fitfix::flat(0.1));
    Vector pit(3);
    s->getControlPoint(2, 2, pit);
    auto mesh = fitfix::heightFieldMesh(28, 7.0, [&](double x, double y) {
        return std::hypot(x - pit[0], y - pit[1]) < 0.3 ? -1.9 : 0.0;
    });
    CFitPointArray points;
    ASSERT_EQ(36, selectHitsSecondStage(s.get(), mesh.get(), points, true, false, false, false,
                                        nullptr, 0.0, -1.0, nullptr, false));
    const double radius = 4.5 * std::sqrt((35 * 0.01 + 4.0) / 35.0);
    Vector cp(3);
    for (int k = 0; k < points.count; ++k) {
        const CFitPoint& fp = points[k];
        s->getControlPoint(fp.gridI, fp.gridJ, cp);
        const double d = std::sqrt(squaredDistance(fp.Point, cp));
        if (fp.gridI == 2 && fp.gridJ == 2) {
            EXPECT_NEAR(radius, d, 1e-6);
            EXPECT_NEAR(pit[2] - radius, fp.Point[2], 1e-6); // straight down, as the hit
        } else {
            EXPECT_NEAR(0.1, d, 1e-6);
        }
        EXPECT_EQ(0, fp.Normal.n);
    }
}

TEST(HitSelection, SnappingPutsEveryControlPointOnItsHit)
{
    const double R = 2.0;
    auto mesh = fitfix::cylinderStripMesh(R, 5.0, 0.6, 24, 20);
    auto s = fitfix::heightFieldSurface(
        5, 5, SurfaceFrame{1.0, -0.8, 3.0, 1.6},
        [R](double, double y) { return std::sqrt(R * R - y * y); }, 0.2);
    CFitPointArray points;
    ASSERT_EQ(25, selectHitsSecondStage(s.get(), mesh.get(), points, true, false, true, false,
                                        nullptr, 0.0, -1.0, nullptr, true));
    Vector cp(3);
    for (int k = 0; k < points.count; ++k) {
        s->getControlPoint(points[k].gridI, points[k].gridJ, cp);
        EXPECT_EQ(0.0, squaredDistance(cp, points[k].Point));
        EXPECT_NEAR(R, std::hypot(cp[1], cp[2]), 1e-3);
    }
}

TEST(HitSelection, PeakCorrectionOfADegreeTwoSurfaceUsesDegreeThree)
{
    // Bezier of degree 2 at 0.1 above the plane: basis peaks 1, 0.5, 1.
    auto mesh = fitfix::planarGridMesh(20, 5.0);
    auto s = fitfix::heightFieldSurface(3, 3, SurfaceFrame{1.0, 1.0, 3.0, 3.0}, fitfix::flat(0.1),
                                        0.0, 2, 2);
    CFitPointArray points;
    ASSERT_EQ(9, selectHitsSecondStage(s.get(), mesh.get(), points, true, true, false, false,
                                       nullptr, 0.0, -1.0, nullptr, false));
    auto factor = [](double peaks) {
        return std::sqrt(std::sqrt(3.0) * 1.2 * (3 - 2) * (1.0 - peaks));
    };
    // The corners and the side points measure the gap 0.1: no point before
    // them in the array moved the surface there.
    const struct {
        int i, j;
        double peaks; // B
    } cases[] = {{0, 0, 1.0}, {1, 0, 0.5}, {0, 1, 0.5}, {2, 1, 0.5}, {2, 2, 1.0}};
    Vector cp(3);
    for (const auto& c : cases) {
        s->getControlPoint(c.i, c.j, cp);
        EXPECT_NEAR(0.1 - 0.1 * factor(c.peaks), cp[2], 1e-6) << c.i << "," << c.j;
    }
    // The centre comes after (0, 1) and (1, 0): its gap is measured on the
    // surface they moved (Bezier weights 1/16 per corner, 1/8 per side
    // point, 1/4 at the centre).
    const double side = 0.1 - 0.1 * factor(0.5);
    const double gap = 4 * 0.1 / 16 + (2 * side + 2 * 0.1) / 8 + 0.1 / 4;
    s->getControlPoint(1, 1, cp);
    EXPECT_NEAR(0.1 - gap * factor(0.25), cp[2], 1e-6);
}

TEST(HitSelection, NeighbourSearchTakesTheEarliestFitPoint)
{
    auto array = [](std::initializer_list<std::pair<int, int>> ij) {
        CFitPointArray a;
        for (auto [i, j] : ij) {
            CFitPoint fp;
            fp.gridI = i;
            fp.gridJ = j;
            a.append(fp);
        }
        return a;
    };
    const struct {
        CFitPointArray points;
        int expected;
    } cases[] = {
        {array({{4, 4}, {2, 2}, {3, 2}}), 1},  // (i - 1, j - 1) before (i, j - 1)
        {array({{2, 4}, {3, 2}}), 0},          // (i - 1, j + 1)
        {array({{3, 4}, {4, 3}, {2, 3}}), 2},  // (i - 1, j) only
        {array({{3, 3}, {4, 2}, {1, 1}}), -1}, // itself, later and far points are no neighbours
    };
    for (const auto& c : cases) {
        int index = 7;
        EXPECT_EQ(c.expected >= 0, findPreviousNeighbourHit(c.points, 3, 3, index));
        EXPECT_EQ(c.expected, index);
    }
}

TEST(HitSelection, HitsFacingAgainstTheFirstFallToTheSecondStage)
{
    auto mesh = halfFlippedMesh();
    auto s = fitfix::heightFieldSurface(4, 4, SurfaceFrame{1.0, 1.0, 3.0, 3.0}, fitfix::flat(0.1));
    CFitPointArray points;
    int count = 0;
    const std::string out = mwtest::capturedStdout([&] {
        count = selectHitsSecondStage(s.get(), mesh.get(), points, true, false, false, true,
                                      nullptr, 0.0, -1.0, nullptr, false);
    });
    EXPECT_EQ(8, count);
    for (int k = 0; k < points.count; ++k)
        EXPECT_LT(points[k].Point[0], 2.5);
    EXPECT_EQ(8, fitfix::occurrences(out, " no suitable hit found."));
    EXPECT_EQ(8, fitfix::occurrences(out, "selection on second stage: no success."));
}

TEST(HitSelection, PolygonHitsKeepSamplesInsideAndOnTheWantedSide)
{
    auto mesh = fitfix::planarGridMesh(20, 5.0);
    auto s = fitfix::heightFieldSurface(4, 4, SurfaceFrame{1.0, 1.0, 3.0, 3.0}, fitfix::flat(0.1));
    CFitPointArray points;
    // Greville 0, 1/3, 2/3, 1 refined once: 7 x 7 samples, all facing the facets.
    EXPECT_EQ(49,
              selectPolygonHits(s.get(), mesh.get(), points, true, 1, nullptr, nullptr, false, -1));
    points.count = 0;
    EXPECT_EQ(
        0, selectPolygonHits(s.get(), mesh.get(), points, false, 1, nullptr, nullptr, false, -1));
    // A (u, v) square around the first three samples of each direction.
    CVertexList square;
    for (auto [u, v] : {std::pair{-0.1, -0.1}, {0.45, -0.1}, {0.45, 0.45}, {-0.1, 0.45}})
        square.appendPoint(Vector(u, v, 0.0));
    points.count = 0;
    EXPECT_EQ(9,
              selectPolygonHits(s.get(), mesh.get(), points, true, 1, &square, nullptr, false, -1));
}

// A fit to a coarse mesh's corners alone leaves its surface free between
// them: triangles with a side longer than twice the spacing and the coarse
// length give points within them, corners left out, each with its facet.
TEST(HitSelection, CoarseFacetsGiveFitPointsWithinThem)
{
    // 2 x 2 cells of 2 as 8 triangles, sides 2 and diagonals 2.83.
    auto mesh = fitfix::planarGridMesh(2, 4.0);
    const double low[3] = {-1.0, -1.0, -1.0}, high[3] = {2.0, 5.0, 1.0};
    // {spacing, coarse, within x <= 2, points}: 28 - 3 of a triangle's grid
    // of 6 parts; left of x = 2, 4 triangles and the side x = 2 of 2 more.
    const double cases[][4] = {{0.0, 0.0, 0, 0},
                               {1.5, 0.0, 0, 0},
                               {1.0, 0.0, 0, 8 * 7},
                               {0.5, 0.0, 0, 8 * 25},
                               {0.5, 2.9, 0, 0},
                               {0.5, 2.5, 0, 8 * 25},
                               {0.5, 0.0, 1, 4 * 25 + 2 * 5}};
    for (const auto& c : cases) {
        CFitPointArray points;
        for (int facet = 0; facet < mesh->getFacetCount(); ++facet)
            appendFacetPoints(mesh.get(), facet, c[0], c[1], points, c[2] > 0 ? low : nullptr,
                              c[2] > 0 ? high : nullptr);
        ASSERT_EQ(points.count, int(c[3])) << "spacing " << c[0] << " coarse " << c[1];
        for (int k = 0; k < points.count; ++k) {
            EXPECT_NEAR(points[k].Point[2], 0.0, 1e-12);
            EXPECT_GE(points[k].Point[0], -1e-12);
            EXPECT_LE(points[k].Point[0], (c[2] > 0 ? 2.0 : 4.0) + 1e-12);
            EXPECT_GE(points[k].facet, 0);
        }
    }
}

} // namespace
