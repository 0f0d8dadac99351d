// The patch from a selected boundary: the sphere cap end to end with either
// orientation of its boundary normals, the planar boundary, curves without
// normals, a failed tolerance fit, the inputs that give no face, an RC curve
// closing the loop, and the orientation vote at exactly half.
#include "healing/BoundaryPatch.h"
#include "curves/ParCurve.h"
#include "foundation/Logging.h"
#include "foundation/Progress.h"
#include "geometry/NurbsSurf.h"
#include "net/Face.h"

#include "support/AnalyticCurves.h"
#include "support/ScratchDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <memory>
#include <numbers>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

using FacePtr = std::unique_ptr<CFace>;
using CurveList = Kor::List<CParametricGeometry*>;

// The square [0, 4]^2 at height z whose sides carry the normal (0, 0, 1),
// the third one tilted by `tilt` degrees towards +x.
CurveVector squareBoundary(double z, double tilt)
{
    const Vector c[4] = {Vector(0.0, 0.0, z), Vector(4.0, 0.0, z), Vector(4.0, 4.0, z),
                         Vector(0.0, 4.0, z)};
    CurveVector sides;
    for (int k = 0; k < 4; ++k) {
        const double t = k == 2 ? tilt * std::numbers::pi / 180.0 : 0.0;
        const Vector n(std::sin(t), 0.0, std::cos(t));
        sides.emplace_back(new CurveWithNormals(new AnalyticLine(c[k], c[(k + 1) % 4]),
                                                [n](const Vector&) { return n; }));
    }
    return sides;
}

FacePtr patch(const CurveList& boundary, double dTol, const CurveList& interior = CurveList(),
              CFitPointArray* extra = nullptr, CProgress* progress = nullptr,
              const Vector& direction = Vector(3), bool startSurfaceOnly = true, int continuity = 1)
{
    return FacePtr(approxAndTrim(boundary, dTol, direction, CurveList(), interior, extra, progress,
                                 startSurfaceOnly, continuity));
}

// Largest distance of 50 samples of each curve from the surface.
double largestDistance(Fenwo::NurbsSurf& S, const CurveVector& curves)
{
    CFitPointArray points;
    for (const auto& c : curves)
        for (int k = 0; k < 50; ++k)
            points.append(
                CFitPoint(c->getPoint(c->getUMin() + k * c->getDomain(0).getLength() / 49.0, 0.0)));
    IndexSubset<CFitPoint> all(points);
    all.selectAll();
    S.invertPoints(all, 4, 4, false);
    all.selectAll();
    S.PointInversion(all, 30);
    double largest = 0.0;
    for (const CFitPoint& p : points)
        largest = std::max(largest, std::sqrt(p.dist2));
    return largest;
}

} // namespace

TEST(BoundaryPatch, SphereCapFacesTheWayItsBoundaryNormalsPoint)
{
    // Both orientations, with and without the tangent planes of the boundary.
    for (const auto& [side, continuity] : {std::pair(1.0, 1), std::pair(-1.0, 0)}) {
        const CurveVector arcs = sphereCapBoundary(10.0, 4.0, side);
        FacePtr face =
            patch(listOf(arcs), 0.01, CurveList(), nullptr, nullptr, Vector(3), true, continuity);
        ASSERT_NE(face, nullptr);
        Fenwo::NurbsSurf* S = face->getNurbsSurf();
        ASSERT_NE(S, nullptr);
        ASSERT_EQ(face->trimLoops.count, 1);
        EXPECT_EQ(face->trimLoops[0]->getCard(), 4);
        EXPECT_TRUE(face->trimLoops[0]->checkGaps(0.01));
        EXPECT_LT(largestDistance(*S, arcs), 0.02);
        Vector P, N;
        for (const double s : {0.2, 0.5, 0.8}) {
            ASSERT_TRUE(face->getPointAndNormal(S->getUMin() + s * S->getDomain(0).getLength(),
                                                S->getVMin() + s * S->getDomain(1).getLength(), P,
                                                N));
            EXPECT_GT(side * dot(N, normalized(P)), 0.99) << side;
        }
        std::stringstream text;
        ASSERT_TRUE(face->write(text));
        CFace back;
        ASSERT_TRUE(back.read(text));
        ASSERT_NE(back.getNurbsSurf(), nullptr);
        EXPECT_EQ(back.getNurbsSurf()->getUCount(), S->getUCount());
        ASSERT_EQ(back.trimLoops.count, 1);
        EXPECT_EQ(back.trimLoops[0]->getCard(), 4);
    }
}

TEST(BoundaryPatch, PlanarBoundaryKeepsItsPlanarStartSurface)
{
    // Normals within 0.81 degrees of each other make the boundary planar: the
    // two-step planar surface fits it within the tolerance and stays as it is.
    // Beyond, the 25-step imprint is fitted.
    for (const double tilt : {0.5, 1.5}) {
        const CurveVector sides = squareBoundary(1.0, tilt);
        FacePtr face = patch(listOf(sides), 0.01);
        ASSERT_NE(face, nullptr);
        const Fenwo::NurbsSurf& S = *face->getNurbsSurf();
        if (tilt < 0.81) {
            EXPECT_EQ(S.getUCount() * S.getVCount(), 9);
        } else {
            EXPECT_GE(S.getUCount() * S.getVCount(), 26 * 26);
        }
    }
}

TEST(BoundaryPatch, CurvesWithoutNormalsStartFromTheCircleLayout)
{
    const CurveVector arcs = sphereCapBoundary(10.0, 4.0, 0.0);
    FacePtr face = patch(listOf(arcs), 0.01);
    ASSERT_NE(face, nullptr);
    EXPECT_LT(largestDistance(*face->getNurbsSurf(), arcs), 0.02);
}

TEST(BoundaryPatch, FailedToleranceFitStillGivesAFace)
{
    // An interior curve far above a flat boundary: the correction field
    // errs beyond 120 times the tolerance and the fit gives up.
    const CurveVector sides = squareBoundary(0.0, 0.0);
    CurveVector inner;
    inner.emplace_back(new AnalyticLine(Vector(1.0, 2.0, 30.0), Vector(3.0, 2.0, 30.0)));
    CaptureStdout();
    FacePtr face = patch(listOf(sides), 0.001, listOf(inner));
    const std::string out = GetCapturedStdout();
    EXPECT_NE(face, nullptr);
    EXPECT_NE(out.find("Interpolation to dTol = 0.001 failed \n"), std::string::npos) << out;
}

TEST(BoundaryPatch, InputsThatGiveNoFace)
{
    const CurveVector arcs = sphereCapBoundary(10.0, 4.0, 1.0);
    EXPECT_EQ(patch(CurveList(), 0.01), nullptr);
    CSimpleProgress cancelled;
    cancelled.setCancelled(true);
    EXPECT_EQ(patch(listOf(arcs), 0.01, CurveList(), nullptr, &cancelled), nullptr);

    // Normals at right angles to the given direction: given up, unless only
    // a start surface is asked for.
    const CurveVector sides = squareBoundary(0.0, 0.0);
    const Vector sideways(1.0, 0.0, 0.0);
    EXPECT_EQ(patch(listOf(sides), 0.01, CurveList(), nullptr, nullptr, sideways, false), nullptr);
    EXPECT_NE(patch(listOf(sides), 0.01, CurveList(), nullptr, nullptr, sideways, true), nullptr);
}

TEST(BoundaryPatch, BoundaryWithoutTrimCurvesGivesNoFace)
{
    // Points enough for a surface, but no curve to trim it with.
    CurveList nothing;
    nothing.append(nullptr);
    CFitPointArray extra;
    for (int k = 0; k < 25; ++k)
        extra.append(CFitPoint(Vector(k % 5, k / 5, 0.1 * (k % 3))));
    EXPECT_EQ(patch(nothing, 0.01, CurveList(), &extra), nullptr);
}

TEST(BoundaryPatch, RCCurveClosesTheLoopAsItsLastCurve)
{
    // Three arcs of the cap bound it, the fourth is an RC curve: the fit
    // takes the RC road (logged to the first log stream) and the loop ends
    // with the RC curve.
    closeGlobalLogs();
    openGlobalLogs("c:/tmp/general.txt", nullptr);
    const CurveVector arcs = sphereCapBoundary(10.0, 4.0, 1.0);
    CurveList boundary, rc;
    for (int k = 0; k < 3; ++k)
        boundary.append(arcs[std::size_t(k)].get());
    rc.append(arcs[3].get());
    FacePtr face(
        approxAndTrim(boundary, 0.01, Vector(3), rc, CurveList(), nullptr, nullptr, true, 1));
    closeGlobalLogs();
    ASSERT_NE(face, nullptr);
    std::ifstream logFile(mwtest::scratchPath("general.txt"));
    std::stringstream log;
    log << logFile.rdbuf();
    EXPECT_NE(log.str().find(" h(RCCurve)= "), std::string::npos);
    EXPECT_LT(largestDistance(*face->getNurbsSurf(), arcs), 0.02);
    ASSERT_EQ(face->trimLoops.count, 1);
    CLoop& loop = *face->trimLoops[0];
    ASSERT_EQ(loop.getCard(), 4);
    EXPECT_TRUE(loop.checkGaps(0.01));
    const Vector a = loop.getCurve(-1)->getStartPoint(), b = loop.getCurve(-1)->getEndPoint();
    const Vector p = arcs[3]->getStartPoint(), q = arcs[3]->getEndPoint();
    EXPECT_LT(std::min(norm(a - p) + norm(b - q), norm(a - q) + norm(b - p)), 0.02);
}

TEST(BoundaryPatch, ExactlyHalfTheBoundaryNormalsAgainstKeepTheOrientation)
{
    // Two arcs carry the outward normals, two the inward ones: half of the
    // samples face against the surface whichever way it faces, and half is
    // not more than half. The planar start surface faces the given
    // direction, and so does the patch.
    const CurveVector out = sphereCapBoundary(10.0, 4.0, 1.0),
                      in = sphereCapBoundary(10.0, 4.0, -1.0);
    const CurveList mixed = [&] {
        CurveList list;
        for (int k = 0; k < 4; ++k)
            list.append((k < 2 ? out : in)[std::size_t(k)].get());
        return list;
    }();
    for (double up : {1.0, -1.0}) {
        FacePtr face = patch(mixed, 0.01, CurveList(), nullptr, nullptr, Vector(0.0, 0.0, up));
        ASSERT_NE(face, nullptr);
        Fenwo::NurbsSurf* S = face->getNurbsSurf();
        Vector P, N;
        ASSERT_TRUE(face->getPointAndNormal(S->getUMin() + 0.5 * S->getDomain(0).getLength(),
                                            S->getVMin() + 0.5 * S->getDomain(1).getLength(), P,
                                            N));
        EXPECT_GT(up * N[2], 0.9) << up;
    }
}
