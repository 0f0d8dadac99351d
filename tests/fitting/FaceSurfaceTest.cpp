// The surface of one face: the counts per direction from the request and
// the side lengths, the stages of the fit with their dumps, and the
// tolerance met on a bump and on a cap of the real unit sphere.
#include "fitting/FaceSurface.h"

#include "curves/BoundaryCurves.h"
#include "curves/CurveInterpolation.h"
#include "fitting/FitFixtures.h"
#include "foundation/Progress.h"
#include "geometry/NurbsSurf.h"
#include "mesh/StlFormat.h"
#include "platform/Diagnostics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

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

Kor::Array<Fenwo::NurbsSurf*> arrayOf(mwtest::OwnedCurves& c, int n)
{
    Kor::Array<Fenwo::NurbsSurf*> a;
    for (int i = 0; i < n; ++i)
        a.append(c.list[i % c.count()]);
    return a;
}

// The sides of a rectangle [0, w] x [0, h] in loop order.
mwtest::OwnedCurves rectangle(double w, double h)
{
    const Vector c[4] = {Vector(0, 0, 0), Vector(w, 0, 0), Vector(w, h, 0), Vector(0, h, 0)};
    mwtest::OwnedCurves sides;
    for (int i = 0; i < 4; ++i)
        sides.list.append(fitfix::straightCurve(c[i], c[(i + 1) % 4]).release());
    return sides;
}

int spans(const knots* k)
{
    return k->distinctCount - 1;
}

// The 0.98 quantile and the largest distance of the mesh vertices accepted
// by `inside` from the surface.
std::pair<double, double> vertexDistances(CFlatMesh& mesh, Fenwo::NurbsSurf& s,
                                          const std::function<bool(const Vector&)>& inside)
{
    const std::vector<double> d = fitfix::vertexDistances(mesh, s, inside);
    if (d.empty())
        return {-1.0, -1.0};
    return {d[std::min(size_t(std::ceil(0.98 * d.size())), d.size() - 1)], d.back()};
}

// The corners of the result lie within tol of the sides' ends, and its
// normal in the middle points along `up`.
void expectCornersAndFacing(Fenwo::NurbsSurf& s, mwtest::OwnedCurves& sides, double tol,
                            const Vector& up)
{
    Vector p;
    for (auto [i, j] : {std::pair{0, 0}, {-1, 0}, {-1, -1}, {0, -1}}) {
        s.getControlPointXYZ(p, i, j);
        double nearest = 1e9;
        for (int k = 0; k < 4; ++k)
            nearest = std::min(
                {nearest, norm(p - sides[k].getStartPoint()), norm(p - sides[k].getEndPoint())});
        EXPECT_LT(nearest, tol) << i << "," << j;
    }
    const double u = 0.5 * (s.getUMin() + s.getUMax()), v = 0.5 * (s.getVMin() + s.getVMax());
    EXPECT_GT(cosineBetween(s.getRawNormal(u, v), up), 0.9);
}

TEST(FaceSurface, CountsFollowTheRequestAndTheSideLengths)
{
    mwtest::OwnedCurves sides = rectangle(10.0, 5.0);
    auto soup = mwtest::gridSoup(20, 10, 0.5, 0.5, true);
    auto mesh = fitfix::meshOf(soup);
    // nCtrlPts 12: 12 along the long sides, 6 along the short ones, so
    // start curves on knots(5, 3) and knots(4, 3): 3 and 2 cubic spans,
    // eight times as many after three passes; none requested: knots(3, 3).
    struct Case {
        int request, uSpans, vSpans;
    } cases[] = {{12, 24, 16}, {0, 8, 8}};
    for (const Case& k : cases) {
        LabelLog log;
        std::unique_ptr<Fenwo::NurbsSurf> s;
        mwtest::capturedStdout([&] {
            s.reset(createFaceSurface(mesh.get(), arrayOf(sides, 4), k.request, &log, false, 0.01,
                                      3, false, nullptr));
        });
        ASSERT_NE(nullptr, s);
        EXPECT_EQ(spans(s->uKnots), k.uSpans);
        EXPECT_EQ(spans(s->vKnots), k.vSpans);
        EXPECT_EQ(log.labels, "Step1: |Step2: |Step3: |Step4: |");
        expectCornersAndFacing(*s, sides, 1e-6, Vector(0, 0, 1));
    }
    for (const char* name : {"start.out", "1.out", "2.out", "3.out", "4.out"})
        EXPECT_TRUE(
            std::filesystem::exists(Platform::diagnosticsPath(std::string("c:/tmp/") + name)))
            << name;
    for (int n : {3, 5})
        EXPECT_EQ(nullptr, createFaceSurface(mesh.get(), arrayOf(sides, n), 12, nullptr, false,
                                             0.01, 3, false, nullptr));

    // A flat face needs one facet per section at any mesh density; no
    // section of the mesh across the face gives no count.
    const Vector up(0, 0, 1);
    auto fine = fitfix::meshOf(mwtest::gridSoup(80, 40, 0.125, 0.125, true));
    for (CFlatMesh* m : {mesh.get(), fine.get()})
        mwtest::capturedStdout(
            [&] { EXPECT_EQ(5, ctrlPtsForTolerance(arrayOf(sides, 4), m, 1e-4, up, nullptr)); });
    auto far = fitfix::meshOf(mwtest::gridSoup(2, 2, 1.0, 1.0, true, 50.0, 50.0));
    std::string out = mwtest::capturedStdout([&] {
        EXPECT_EQ(0, ctrlPtsForTolerance(arrayOf(sides, 4), far.get(), 0.01, up, nullptr));
    });
    EXPECT_NE(out.find("no section"), std::string::npos);
}

TEST(FaceSurface, BumpMeetsTheToleranceInAutomaticMode)
{
    const double size = 10.0, height = 2.0, tol = 1e-3 * size;
    auto mesh = fitfix::bumpMesh(16, size, height);
    auto frame = fitfix::heightFieldSurface(12, 12, fitfix::SurfaceFrame{0.0, 0.0, size, size},
                                            fitfix::bump(size, height));
    mwtest::OwnedCurves sides;
    for (int side : {1, 4, 2, 3})
        sides.list.append(surfaceBoundaryCurves(frame.get(), side));
    LabelLog log;
    double deviation = -1.0;
    std::unique_ptr<Fenwo::NurbsSurf> s;
    const std::string out = mwtest::capturedStdout([&] {
        s.reset(createFaceSurface(mesh.get(), arrayOf(sides, 4), 0, &log, true, tol, 3, false,
                                  &deviation));
    });
    ASSERT_NE(nullptr, s);
    const size_t count = out.find("#ctrlPts = "), v2 = out.find("V2 Maximal Deviation (");
    EXPECT_LT(count, v2);
    EXPECT_LT(v2, out.find("V2 success!, tolerance level reached."));
    EXPECT_NE(out.find(" for dTol=0.01"), std::string::npos);
    EXPECT_EQ(log.labels.find("automagic #ctrlpts|Step1: |"), 0u);
    EXPECT_NE(log.labels.find("Step4: |"), std::string::npos);
    EXPECT_LT(deviation, tol);
    const auto [q98, worst] = vertexDistances(*mesh, *s, [&](const Vector& p) {
        return p[0] > 0.01 && p[0] < size - 0.01 && p[1] > 0.01 && p[1] < size - 0.01;
    });
    EXPECT_LT(q98, 1.05 * tol);
    EXPECT_LT(worst, 3.0 * tol);
    expectCornersAndFacing(*s, sides, tol, Vector(0, 0, 1));
}

// The great-circle arc of the unit sphere from a to b: a cubic through 9 of
// its points.
Fenwo::NurbsSurf* greatCircleArc(const Vector& a, const Vector& b)
{
    CFitPointArray points;
    for (int k = 0; k <= 8; ++k)
        points.append(CFitPoint(normalized((1.0 - k / 8.0) * a + (k / 8.0) * b)));
    IndexSubset<CFitPoint> all(points);
    all.selectAll();
    return interpolateCurve(all, 1, 3, false, false);
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
    mwtest::OwnedCurves sides;
    for (int i = 0; i < 4; ++i)
        sides.list.append(greatCircleArc(corner[i], corner[(i + 1) % 4]));
    std::unique_ptr<Fenwo::NurbsSurf> s;
    mwtest::capturedStdout([&] {
        s.reset(
            createFaceSurface(&mesh, arrayOf(sides, 4), 0, nullptr, true, tol, 3, false, nullptr));
    });
    ASSERT_NE(nullptr, s);
    // Vertices inside the four great-circle planes, away from them.
    const auto [q98, worst] = vertexDistances(mesh, *s, [&](const Vector& p) {
        for (int i = 0; i < 4; ++i)
            if (dot(crossProduct(corner[i], corner[(i + 1) % 4]), p) < 0.01)
                return false;
        return true;
    });
    EXPECT_LT(q98, 1.05 * tol);
    EXPECT_LT(worst, 3.0 * tol);
    expectCornersAndFacing(*s, sides, tol, Vector(0, 0, 1));
    double offSphere = 0.0;
    for (int i = 0; i <= 20; ++i)
        for (int j = 0; j <= 20; ++j) {
            const double u = s->getUMin() + i / 20.0 * (s->getUMax() - s->getUMin());
            const double v = s->getVMin() + j / 20.0 * (s->getVMax() - s->getVMin());
            offSphere = std::max(offSphere, std::fabs(norm(s->getPoint(u, v)) - 1.0));
        }
    EXPECT_LT(offSphere, tol + 0.005);
}

} // namespace
