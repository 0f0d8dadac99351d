#include "healing/SeamPatches.h"

#include "SeamTestSupport.h"
#include "geometry/FitHelpers.h"
#include "net/PointList.h"
#include "support/NurbsFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <string>

using namespace seamtest;

namespace {

// The largest distance and normal angle (degrees) over the seam's samples.
std::pair<double, double> extremes(CCoEdge& seam)
{
    std::pair<double, double> out{0.0, 0.0};
    CSeamSide l, r;
    for (int k = 0; k < seam.samples.count; ++k) {
        EXPECT_TRUE(seam.evaluateSample(k, l, r, 1));
        out.first = std::max(out.first, norm(l.d[0][0] - r.d[0][0]));
        const double angle =
            angleBetween(crossProduct(l.d[1][0], l.d[0][1]), crossProduct(r.d[1][0], r.d[0][1]));
        out.second = std::max(out.second, angle * 180.0 / std::numbers::pi);
    }
    return out;
}

// The variables' positions, each coordinate moved by up to +-jitter.
Vector coordinates(const CSeamPatches& patches, double jitter, unsigned seed = 1)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> move(-jitter, jitter);
    Vector x(3 * patches.variables.count);
    for (int k = 0; k < x.n; ++k)
        x[k] = patches.variables[k / 3]->position[k % 3] + move(random);
    return x;
}

} // namespace

TEST(SeamPatches, NetCallClosesGapsAndKeepsTheRest)
{
    for (const bool opposite : {false, true}) {
        TwoPatchSeam two(0.01, 0.0, opposite);
        const auto leftBefore = controlRows(two.leftSurface(), {0, 1, 2});
        const auto rightBefore = controlRows(two.rightSurface(), {1, 2, 3});
        const auto seamRow = controlRows(two.rightSurface(), {0});
        CSeamPatches patches;
        patches.seams.append(&two.seam);
        ASSERT_TRUE(patches.healSeams(0.001, 10, false, 0.5, 0));
        EXPECT_NEAR(patches.chordTolerance, 0.0087266, 1e-7);
        EXPECT_NEAR(patches.normalWeight, 0.0131313, 1e-7);
        EXPECT_DOUBLE_EQ(patches.distanceThreshold, 0.0007);
        EXPECT_TRUE(patches.stopped) << opposite;
        EXPECT_EQ(patches.variables.count, 8);
        EXPECT_GT(two.seam.samples.count, 0);
        EXPECT_LT(extremes(two.seam).first, 0.001) << opposite;
        EXPECT_EQ(controlRows(two.leftSurface(), {0, 1, 2}), leftBefore);
        EXPECT_EQ(controlRows(two.rightSurface(), {1, 2, 3}), rightBefore);
        EXPECT_NE(controlRows(two.rightSurface(), {0}), seamRow);
    }
}

// The minimiser's line searches move the surfaces to trial points it may
// not keep; afterwards they hold where the run ended: the point where the
// seams came within the tolerances (for the flat seam with tangents asked
// its minimiser's last point lies beyond, at 0.52 degrees), or else the
// minimiser's last point, whose objective it reports.
TEST(SeamPatches, SurfacesEndWhereTheRunEnded)
{
    const double d = 0.001;
    auto objective = [&](CCoEdge& seam) {
        double F = 0.0;
        CSeamSide l, r;
        for (int k = 0; k < seam.samples.count; ++k) {
            EXPECT_TRUE(seam.evaluateSample(k, l, r, 1));
            const double e = norm(l.d[0][0] - r.d[0][0]) - 0.7 * d;
            F += e > 0.0 ? e * e : 0.0;
        }
        return 0.5 * F;
    };
    const struct {
        double gap, kink;
        bool G1;
        int iterations;
    } cases[] = {{0.01, 5.0, false, 1},
                 {0.01, 5.0, false, 3},
                 {0.2, 5.0, false, 1},
                 {0.2, 5.0, false, 6},
                 {0.0, 0.0, true, 2}};
    int stops = 0, runsOut = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.gap << " " << c.kink << " " << c.G1 << " " << c.iterations);
        TwoPatchSeam two(c.gap, c.kink, false);
        CSeamPatches patches;
        patches.seams.append(&two.seam);
        patches.healSeams(d, c.iterations, c.G1, 0.5, 0);
        if (patches.stopped) {
            ++stops;
            const auto [distance, angle] = extremes(two.seam);
            EXPECT_LT(distance, d);
            if (c.G1) {
                EXPECT_LT(angle, 0.5);
            }
        } else {
            ++runsOut;
            EXPECT_NEAR(objective(two.seam), patches.m_f, 1e-12);
        }
    }
    EXPECT_GT(stops, 0);
    EXPECT_GT(runsOut, 0);
}

TEST(SeamPatches, CornersWithinToleranceAreOneVariable)
{
    TwoPatchSeam two(0.0, 0.0, false);
    two.rightSurface()->setControlPointPosition(0, 0, Vector(0.0, 5e-7, 0.0));
    CSeamPatches patches;
    patches.seams.append(&two.seam);
    patches.positionFlag = true;
    patches.G1 = false;
    ASSERT_TRUE(patches.collectSeamVariables(false));
    ASSERT_EQ(patches.variables.count, 4);
    CCtrlPt* corner = patches.variables[0];
    ASSERT_EQ(corner->refs.count, 2);
    corner->position[2] = 0.25;
    corner->apply();
    Vector l, r;
    two.leftSurface()->getControlPoint(0, 3, l);
    two.rightSurface()->getControlPoint(0, 0, r);
    EXPECT_EQ(l[2], 0.25);
    EXPECT_EQ(r[2], 0.25);
}

TEST(SeamPatches, TangentMatchingMovesOnlyTheTwoSeamRows)
{
    TwoPatchSeam two(0.0, 5.0, false);
    const auto leftBefore = controlRows(two.leftSurface(), {0, 1});
    const auto rightBefore = controlRows(two.rightSurface(), {2, 3});
    CSeamPatches patches;
    patches.seams.append(&two.seam);
    patches.healSeams(0.001, 100, true, 0.5, 0);
    EXPECT_TRUE(patches.stopped);
    const auto [distance, angle] = extremes(two.seam);
    EXPECT_LT(distance, 0.001);
    EXPECT_LT(angle, 0.5);
    EXPECT_EQ(controlRows(two.leftSurface(), {0, 1}), leftBefore);
    EXPECT_EQ(controlRows(two.rightSurface(), {2, 3}), rightBefore);

    // On a poly-line with a valid curve only positions count: nothing is
    // apart, no normal is measured, and the run never reports the stop.
    TwoPatchSeam onCurve(0.0, 5.0, false);
    COffset_PointList polyLine(nullptr);
    polyLine.curve = clampedCurve({Vector(0, 0, 0), Vector(1, 0, 0)}, 1).release();
    polyLine.curveLocked = true;
    onCurve.seam.polyLine = &polyLine;
    const auto before = controlRows(onCurve.rightSurface(), {0, 1, 2, 3});
    CSeamPatches positionsOnly;
    positionsOnly.seams.append(&onCurve.seam);
    positionsOnly.healSeams(0.001, 100, true, 0.5, 0);
    EXPECT_FALSE(positionsOnly.stopped);
    EXPECT_EQ(positionsOnly.normalStatistic.count, 0);
    EXPECT_EQ(positionsOnly.m_iter, 0);
    EXPECT_EQ(controlRows(onCurve.rightSurface(), {0, 1, 2, 3}), before);
}

TEST(SeamPatches, IterationLimitFollowsTheVariables)
{
    // A border face with nu control points along its seam; with the
    // attached-curve flag the row's two end points are left out.
    const struct {
        int nu;
        bool attached;
        int variables;
        int limit;
    } cases[] = {{59, false, 59, 35}, {60, false, 60, 36}, {3, true, 1, 0}};
    for (const auto& c : cases) {
        auto left = face(patch([](int i, int j) { return Vector(i, j, 0.0); }, c.nu, 4));
        COffset_PointList polyLine(nullptr);
        polyLine.curveLocked = c.attached;
        CCoEdge seam(0, 1, &polyLine);
        seam.setLeftLoop(left->firstLoop);
        seam.leftPosition = uvNorth;
        seam.leftInterval = Interval(0.0, 1.0);
        CSeamPatches patches;
        patches.seams.append(&seam);
        patches.healSeams(0.001, -1, false, 0.5, 0);
        EXPECT_EQ(patches.variables.count, c.variables);
        EXPECT_EQ(patches.m_maxIter, c.limit) << c.nu;
    }

    TwoPatchSeam two(0.01, 0.0, false);
    for (GB::Face* f : {two.left.get(), two.right.get()}) {
        delete f->surface;
        f->surface = nullptr;
    }
    CSeamPatches nothing;
    nothing.seams.append(&two.seam);
    testing::internal::CaptureStdout();
    nothing.healSeams(0.001, 10, false, 0.5, 0);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("no Variables here. "),
              std::string::npos);
    EXPECT_EQ(nothing.coordinateCount, 0);
    EXPECT_EQ(nothing.m_iter, 0);
}

TEST(SeamPatches, GetCtrlPtIndexOutOfRangeIsRejected)
{
    auto s = std::unique_ptr<Fenwo::NurbsSurf>(
        patch([](int i, int j) { return Vector(i, j, 0); }, 4, 5));
    // Point k = 1, one row in, along each side; then an unknown side and
    // points off the net, which are refused rather than read.
    const struct {
        int position, k, offset;
        bool found;
        int i, j;
        const char* message;
    } table[] = {{uvSouth, 1, 1, true, 1, 1, ""},
                 {uvNorth, 1, 1, true, 1, 3, ""},
                 {uvWest, 1, 1, true, 1, 1, ""},
                 {uvEast, 1, 1, true, 2, 1, ""},
                 {9, 1, 0, false, -1, -1, "getCtrlPtIndex: unknown Position. "},
                 {uvSouth, 4, 0, false, 4, 0, "s_i out of range."},
                 {uvWest, 0, 5, false, 5, 0, "s_i out of range."}};
    for (const auto& t : table) {
        int i = -2, j = -2;
        testing::internal::CaptureStdout();
        EXPECT_EQ(getCtrlPtIndex(s.get(), t.position, t.k, i, j, t.offset), t.found);
        EXPECT_NE(testing::internal::GetCapturedStdout().find(t.message), std::string::npos);
        EXPECT_EQ(i, t.i) << t.position;
        EXPECT_EQ(j, t.j) << t.position;
    }
}

TEST(SeamPatches, SeamsBesideInitialFacesAddNothing)
{
    TwoPatchSeam two(0.01, 0.0, false);
    two.right->requestedState = Initial;
    ASSERT_GT(two.seam.sampleSeams(nullptr), 0);
    CSeamPatches patches;
    patches.seams.append(&two.seam);
    patches.distanceThreshold = 0.0007;
    patches.G1 = false;
    EXPECT_FALSE(patches.collectSeamVariables(true));
    EXPECT_EQ(two.seam.samples.count, 0);
    ASSERT_EQ(patches.variables.count, 8);
    Vector x = coordinates(patches, 0.0), p(24), grad(24);
    grad.fill(1.0);
    EXPECT_EQ(patches.evaluate(1, grad, x, 0.0, p), 0.0);
    EXPECT_EQ(normSquared(grad), 0.0);
}

TEST(SeamPatches, AnalyticGradientMatchesCentralDifferences)
{
    const struct {
        bool g1;
        bool reversed;
    } cases[] = {{false, false}, {true, false}, {true, true}};
    for (const auto& c : cases) {
        TwoPatchSeam two(0.02, 20.0, false);
        CSeamPatches patches;
        patches.seams.append(&two.seam);
        patches.G1 = c.g1;
        patches.distanceTolerance = 0.001;
        patches.distanceThreshold = 0.0007;
        patches.chordTolerance = 0.0087;
        patches.chordThreshold = 0.0044;
        patches.normalWeight = 0.5;
        ASSERT_TRUE(patches.collectSeamVariables(false));
        two.seam.reversed = c.reversed;
        const Vector x = coordinates(patches, 0.002, 7);
        const int n = x.n;
        Vector p(n), grad(n), probe(n);
        patches.evaluate(1, grad, x, 0.0, p);
        Vector numeric(n);
        const double h = 1e-6;
        for (int k = 0; k < n; ++k) {
            Vector xp(x), xm(x);
            xp[k] += h;
            xm[k] -= h;
            numeric[k] =
                (patches.evaluate(0, probe, xp, 0.0, p) - patches.evaluate(0, probe, xm, 0.0, p)) /
                (2.0 * h);
        }
        ASSERT_GT(norm(grad), 1e-4);
        EXPECT_LT(norm(grad - numeric), 1e-5 * norm(grad)) << c.g1 << c.reversed;
        EXPECT_FALSE(patches.stopped);
    }
}
