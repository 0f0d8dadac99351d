// The surface of one face: counts from the request, the side lengths and
// the tolerance (not the mesh density), the stages with their dumps, the
// tolerance met on a bump and on a cap of the real unit sphere, sides
// tightened to the boundary curves, and a spike healed after the first fit.
#include "fitting/FaceSurface.h"

#include "curves/BoundaryCurves.h"
#include "curves/CurveInterpolation.h"
#include "curves/Projections.h"
#include "curves/StartValues.h"
#include "fitting/FitFixtures.h"
#include "foundation/Progress.h"
#include "mesh/StlFormat.h"
#include "platform/Diagnostics.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

// A silent sink that keeps every label it was given.
class LabelLog : public CSimpleProgress {
public:
    std::string labels;
    LabelLog() { setPrint(false); }
    bool setLabel(const char* label) override
    {
        labels += std::string(label != nullptr ? label : "") + "|";
        return CSimpleProgress::setLabel(label);
    }
};

Kor::Array<Fenwo::NurbsSurf*> arrayOf(mwtest::OwnedCurves& c, int n = 4)
{
    Kor::Array<Fenwo::NurbsSurf*> a;
    for (int i = 0; i < n; ++i)
        a.append(c.list[i % c.count()]);
    return a;
}

// The face of `sides` on the mesh in automatic mode at tol: the mesh
// vertices accepted by `inside` lie within 1.05 tol at the 0.98 quantile
// and 3 tol at most, the corners within tol of the sides' ends, and the
// normal in the middle faces `up`.
std::unique_ptr<Fenwo::NurbsSurf> expectFaceWithin(CFlatMesh& mesh, mwtest::OwnedCurves& sides,
                                                   double tol, const Vector& up,
                                                   const std::function<bool(const Vector&)>& inside,
                                                   LabelLog* log, std::string& out)
{
    std::unique_ptr<Fenwo::NurbsSurf> s;
    out = mwtest::capturedStdout([&] {
        s.reset(createFaceSurface(&mesh, arrayOf(sides), 0, log, true, tol, 3, false, nullptr));
    });
    if (s == nullptr) {
        ADD_FAILURE() << out;
        return s;
    }
    const std::vector<double> d = fitfix::vertexDistances(mesh, *s, inside);
    EXPECT_LT(d[size_t(std::ceil(0.98 * d.size())) - 1], 1.05 * tol);
    EXPECT_LT(d.back(), 3.0 * tol);
    Vector p;
    for (auto [i, j] : {std::pair{0, 0}, {-1, 0}, {-1, -1}, {0, -1}}) {
        s->getControlPointXYZ(p, i, j);
        double nearest = 1e9;
        for (int k = 0; k < 4; ++k)
            nearest = std::min(
                {nearest, norm(p - sides[k].getStartPoint()), norm(p - sides[k].getEndPoint())});
        EXPECT_LT(nearest, tol) << i << "," << j;
    }
    EXPECT_GT(cosineBetween(s->getRawNormal(0.5 * s->getUMax(), 0.5 * s->getVMax()), up), 0.9);
    return s;
}

// createFaceSurface of the four sides at tolerance 0.01 (not automatic),
// its printing kept from the test's output.
std::unique_ptr<Fenwo::NurbsSurf> faceSurface(CFlatMesh& mesh, mwtest::OwnedCurves& sides,
                                              int count, LabelLog& log, bool tighten)
{
    std::unique_ptr<Fenwo::NurbsSurf> s;
    mwtest::capturedStdout([&] {
        s.reset(createFaceSurface(&mesh, arrayOf(sides), count, &log, false, 0.01, 3, tighten,
                                  nullptr));
    });
    return s;
}

// The four sides, in loop order, of a bicubic lying on the bump of height 2
// over [0, size]^2.
void appendBumpSides(double size, mwtest::OwnedCurves& sides)
{
    auto frame = fitfix::heightFieldSurface(12, 12, fitfix::SurfaceFrame{0.0, 0.0, size, size},
                                            fitfix::bump(size, 2.0));
    for (int side : {1, 4, 2, 3})
        sides.list.append(surfaceBoundaryCurves(frame.get(), side));
}

TEST(FaceSurface, CountsFollowTheRequestTheSidesAndTheToleranceNotTheMesh)
{
    const Vector c[4] = {Vector(0, 0, 0), Vector(10, 0, 0), Vector(10, 5, 0), Vector(0, 5, 0)};
    mwtest::OwnedCurves sides;
    for (int i = 0; i < 4; ++i)
        sides.list.append(fitfix::straightCurve(c[i], c[(i + 1) % 4]).release());
    auto mesh = fitfix::meshOf(mwtest::gridSoup(20, 10, 0.5, 0.5, true));
    // 12 requested: 12 along the long sides and 6 along the short ones, so
    // start curves on knots(5, 3) and knots(4, 3) (3 and 2 cubic spans),
    // eight times as many spans after the passes; none requested: knots(3, 3).
    for (auto [request, uSpans, vSpans] : {std::tuple{12, 24, 16}, {0, 8, 8}}) {
        LabelLog log;
        std::unique_ptr<Fenwo::NurbsSurf> s;
        mwtest::capturedStdout([&] {
            s.reset(createFaceSurface(mesh.get(), arrayOf(sides), request, &log, false, 0.01, 3,
                                      false, nullptr));
        });
        ASSERT_NE(nullptr, s);
        EXPECT_EQ(s->uKnots->distinctCount - 1, uSpans);
        EXPECT_EQ(s->vKnots->distinctCount - 1, vSpans);
        EXPECT_EQ(log.labels, "Step1: |Step2: |Step3: |Step4: |");
    }
    for (const char* name : {"start.out", "1.out", "2.out", "3.out", "4.out"})
        EXPECT_TRUE(
            std::filesystem::exists(Platform::diagnosticsPath(std::string("c:/tmp/") + name)));
    for (int n : {3, 5})
        EXPECT_EQ(nullptr, createFaceSurface(mesh.get(), arrayOf(sides, n), 12, nullptr, false,
                                             0.01, 3, false, nullptr));

    // A flat face needs one facet per section at any mesh density; no
    // section of the mesh across the face gives no count.
    const Vector up(0, 0, 1);
    auto fine = fitfix::meshOf(mwtest::gridSoup(80, 40, 0.125, 0.125, true));
    auto far = fitfix::meshOf(mwtest::gridSoup(2, 2, 1.0, 1.0, true, 50.0, 50.0));
    int counts[3] = {};
    const std::string out = mwtest::capturedStdout([&] {
        counts[0] = ctrlPtsForTolerance(arrayOf(sides), mesh.get(), 1e-4, up, nullptr);
        counts[1] = ctrlPtsForTolerance(arrayOf(sides), fine.get(), 1e-4, up, nullptr);
        counts[2] = ctrlPtsForTolerance(arrayOf(sides), far.get(), 0.01, up, nullptr);
    });
    EXPECT_EQ(counts[0], 5);
    EXPECT_EQ(counts[1], 5);
    EXPECT_EQ(counts[2], 0);
    EXPECT_NE(out.find("no section"), std::string::npos);
}

TEST(FaceSurface, BumpMeetsTheToleranceInAutomaticMode)
{
    const double size = 10.0, tol = 1e-3 * size;
    auto mesh = fitfix::bumpMesh(16, size, 2.0);
    mwtest::OwnedCurves sides;
    appendBumpSides(size, sides);
    LabelLog log;
    std::string out;
    expectFaceWithin(
        *mesh, sides, tol, Vector(0, 0, 1),
        [&](const Vector& p) {
            return std::min(p[0], p[1]) > 0.01 && std::max(p[0], p[1]) < size - 0.01;
        },
        &log, out);
    const size_t v2 = out.find("V2 Maximal Deviation (");
    EXPECT_LT(out.find("#ctrlPts = "), v2);
    EXPECT_LT(v2, out.find("V2 success!, tolerance level reached."));
    EXPECT_EQ(log.labels.find("automagic #ctrlpts|Step1: |Step2: |Step3: |Step4: |"), 0u);
}

TEST(FaceSurface, RealSphereCapMeetsTheToleranceOnTheSphere)
{
    MW_REQUIRE_REAL_FILE(path, "stl", "unit_sphere.STL");
    CFlatMesh mesh;
    mwtest::capturedStdout([&] { ASSERT_TRUE(readSTL(mesh, path.c_str(), true)); });
    mesh.computeBoundingBox();
    const double h = std::sqrt(0.5), tol = 0.01;
    const Vector corner[4] = {Vector(0.5, -0.5, h), Vector(0.5, 0.5, h), Vector(-0.5, 0.5, h),
                              Vector(-0.5, -0.5, h)};
    // Each side a cubic through 9 points of its great-circle arc.
    mwtest::OwnedCurves sides;
    for (int i = 0; i < 4; ++i) {
        CFitPointArray points;
        for (double t = 0.0; t <= 1.0; t += 0.125)
            points.append(CFitPoint(normalized((1.0 - t) * corner[i] + t * corner[(i + 1) % 4])));
        IndexSubset<CFitPoint> all(points);
        all.selectAll();
        sides.list.append(interpolateCurve(all, 1, 3, false, false));
    }
    std::string out;
    auto s = expectFaceWithin(
        mesh, sides, tol, Vector(0, 0, 1),
        [&](const Vector& p) {
            for (int i = 0; i < 4; ++i)
                if (dot(crossProduct(corner[i], corner[(i + 1) % 4]), p) < 0.01)
                    return false;
            return true;
        },
        nullptr, out);
    ASSERT_NE(nullptr, s);
    double offSphere = 0.0;
    for (double u = 0.0; u <= 1.0; u += 0.05)
        for (double v = 0.0; v <= 1.0; v += 0.05)
            offSphere = std::max(
                offSphere, std::fabs(norm(s->getPoint(u * s->getUMax(), v * s->getVMax())) - 1.0));
    EXPECT_LT(offSphere, tol + 0.005);
}

TEST(FaceSurface, TightenedSidesHoldTheBoundaryCurves)
{
    // Start curves stay on the sides (not laid onto the mesh), the refits
    // keep the boundary control points, and every pass tightens the four
    // sides to the boundary curves.
    const double size = 10.0;
    auto mesh = fitfix::bumpMesh(16, size, 2.0);
    mwtest::OwnedCurves sides;
    appendBumpSides(size, sides);
    LabelLog log;
    auto s = faceSurface(*mesh, sides, 8, log, true);
    ASSERT_NE(nullptr, s);
    EXPECT_EQ(log.labels, "Step1: |Step2: |tighten boundary curves|Step3: |tighten boundary "
                          "curves|Step4: |tighten boundary curves|");
    double worst = 0.0;
    for (int side = 1; side <= 4; ++side) {
        std::unique_ptr<Fenwo::NurbsSurf> edge(surfaceBoundaryCurves(s.get(), side));
        for (int k = 0; k <= 20; ++k) {
            const Vector p = edge->getPoint(
                edge->getUMin() + 0.05 * k * (edge->getUMax() - edge->getUMin()), 0.0);
            double nearest = 1e9;
            for (int c = 0; c < 4; ++c) {
                double t = sides[c].getUMin();
                startParameterOnCurve(sides[c], p, t);
                nearest = std::min(nearest, double(projectPointOnCurve(&sides[c], p, t)));
            }
            worst = std::max(worst, nearest);
        }
    }
    EXPECT_LT(worst, 2e-3);
}

TEST(FaceSurface, SpikeHealedAfterTheFirstFitEndsTheRun)
{
    // A needle under a control point of the first start curve: the start
    // surface and the snapping fit stand on it, the healing puts the point
    // back between its neighbours, and no refinement pass follows.
    const double size = 10.0, c = size / 3.0, needle = 50.0;
    auto mesh = fitfix::heightFieldMesh(30, size, [=](double x, double y) {
        return std::fabs(x - c) < 0.4 && std::fabs(y) < 0.4 ? needle : 0.0;
    });
    const Vector k[4] = {Vector(0, 0, 0), Vector(size, 0, 0), Vector(size, size, 0),
                         Vector(0, size, 0)};
    mwtest::OwnedCurves sides;
    for (int i = 0; i < 4; ++i)
        sides.list.append(fitfix::straightCurve(k[i], k[(i + 1) % 4]).release());
    const std::string healed = Platform::diagnosticsPath("c:/tmp/1-healed.out");
    std::filesystem::remove(healed);
    LabelLog log;
    auto s = faceSurface(*mesh, sides, 0, log, false);
    ASSERT_NE(nullptr, s);
    EXPECT_EQ(log.labels, "Step1: |");
    EXPECT_TRUE(std::filesystem::exists(healed));
    EXPECT_FALSE(s->checkControlNetAngles());
    Vector p;
    for (int j = 0; j < s->getVCount(); ++j)
        for (int i = 0; i < s->getUCount(); ++i) {
            s->getControlPointXYZ(p, i, j);
            EXPECT_LT(p[2], 0.5 * needle) << i << "," << j;
        }
}

} // namespace
