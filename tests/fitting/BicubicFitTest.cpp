// The bicubic fit of a point cloud: the refined shape of the result, its
// start net over a planar cloud, and the accuracy on a curved patch.
#include "fitting/BicubicFit.h"
#include "geometry/NurbsSurf.h"

#include "support/ScratchDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <string>

namespace {

using SurfacePtr = std::unique_ptr<Fenwo::NurbsSurf>;

// n x n points of z = h(x, y) over [0, 10]^2.
template <class Height> CFitPointArray cloud(int n, Height h)
{
    CFitPointArray points;
    for (int k = 0; k < n * n; ++k) {
        const double x = 10.0 * (k % n) / (n - 1), y = 10.0 * (k / n) / (n - 1);
        points.append(CFitPoint(Vector(x, y, h(x, y))));
    }
    return points;
}

// 7 x 7 bicubic on [0, 1]^2, whatever the points.
void expectBicubicOnUnitSquare(const Fenwo::NurbsSurf& s)
{
    for (const knots* k : {s.uKnots, s.vKnots}) {
        EXPECT_EQ(k->p, 3);
        EXPECT_EQ(k->n, 6);
        EXPECT_EQ(k->getDomain().min, 0.0);
        EXPECT_EQ(k->getDomain().max, 1.0);
    }
}

} // namespace

TEST(BicubicFit, PlanarCloudStartsFlatAtItsCentreAndStaysInItsPlane)
{
    auto plane = [](double x, double y) { return 0.3 * x - 0.2 * y + 1.0; };
    CFitPointArray points = cloud(8, plane);
    // Lopsided: the centre is not the middle of the extents.
    for (int k = 0; k < 6; ++k)
        points.append(CFitPoint(Vector(9.0 + 0.1 * k, 9.5, plane(9.0 + 0.1 * k, 9.5))));
    const Vector normal = normalized(Vector(-0.3, 0.2, 1.0));
    auto expectInPlane = [&](const Fenwo::NurbsSurf& s) {
        Vector P;
        for (int j = 0; j < s.getVCount(); ++j)
            for (int i = 0; i < s.getUCount(); ++i) {
                s.getControlPoint(i, j, P);
                EXPECT_NEAR(dot(P - Vector(0.0, 0.0, 1.0), normal), 0.0, 1e-9);
            }
    };
    SurfacePtr s{fitBicubic(points)};
    ASSERT_NE(s, nullptr);
    expectBicubicOnUnitSquare(*s);
    expectInPlane(*s);

    // The dump holds the start net first, its middle at the centroid.
    std::ifstream dump(mwtest::scratchPath("fitbicubic.out"));
    std::string word;
    dump >> word;
    Fenwo::NurbsSurf start(dump, true);
    ASSERT_TRUE(start.valid);
    EXPECT_EQ(start.getUCount() * start.getVCount(), 9);
    expectInPlane(start);
    Vector P;
    start.getControlPoint(1, 1, P);
    EXPECT_NEAR(norm(P - centroid(points)), 0.0, 1e-9);

    // Five points are enough, four are not.
    points.count = 5;
    s.reset(fitBicubic(points));
    ASSERT_NE(s, nullptr);
    expectBicubicOnUnitSquare(*s);
    points.count = 4;
    EXPECT_EQ(fitBicubic(points), nullptr);
}

TEST(BicubicFit, CurvedPatchWithinOnePercentOfItsSize)
{
    // Off its apex, so the best-fit plane is tilted and no biquadratic is exact.
    CFitPointArray points = cloud(15, [](double x, double y) { return 0.08 * (x * x + y * y); });
    SurfacePtr s{fitBicubic(points)};
    ASSERT_NE(s, nullptr);
    IndexSubset<CFitPoint> all(points);
    all.selectAll();
    s->PointInversion(all, 20);
    double sum = 0.0;
    for (const CFitPoint& p : points)
        sum += p.dist2;
    EXPECT_LT(std::sqrt(sum / points.count), 0.1);
}
