#include "geometry/IJConstraints.h"
#include "geometry/NurbsSurf.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>

using Fenwo::CIJSingleConstraint;
using Fenwo::NurbsSurf;

namespace {

// Rational bicubic patch on knots u, v with a wavy net.
std::unique_ptr<NurbsSurf> patch(const knots& u, const knots& v)
{
    auto s = std::make_unique<NurbsSurf>(u, &v);
    for (int j = 0; j < s->getVCount(); ++j)
        for (int i = 0; i < s->getUCount(); ++i)
            s->setControlPoint(i, j, Vector(i, j, std::sin(0.9 * i) * std::cos(0.6 * j)),
                               1.0 + 0.2 * ((i + j) % 3));
    return s;
}

// m x m fit points at cell centres of [0, uMax] x [0, 1], squared errors
// err(u, v).
Kor::Array<CFitPoint> grid(int m, double uMax, const std::function<double(double, double)>& err)
{
    Kor::Array<CFitPoint> a;
    for (int k = 0; k < m * m; ++k) {
        CFitPoint fp;
        const double uv[2] = {uMax * (k % m + 0.5) / m, (k / m + 0.5) / m};
        fp.uv = Vector(uv, 2);
        fp.dist2 = err(uv[0], uv[1]);
        a.append(fp);
    }
    return a;
}

bool refine(NurbsSurf& s, Kor::Array<CFitPoint>& a, bool inV, int maxNewKnots)
{
    IndexSubset<CFitPoint> pts(a);
    pts.selectAll();
    return s.fixControlPoints(pts, 0.1, false, true, inV, maxNewKnots);
}

// Standard output of a fixing run (which always succeeds).
std::string fix(NurbsSurf& s, Kor::Array<CFitPoint>& a)
{
    IndexSubset<CFitPoint> pts(a);
    pts.selectAll();
    testing::internal::CaptureStdout();
    EXPECT_TRUE(s.fixControlPoints(pts, 0.1, true, true, true, 7));
    return testing::internal::GetCapturedStdout();
}

} // namespace

TEST(NurbsSurfRefine, KnotsGoToTheMidpointsOfTheWorstSpansKeepingTheShape)
{
    // Four spans per direction; the worst points in u [0.5, 0.75) x
    // v [0.25, 0.5), weaker ones in u [0, 0.25) x v [0.75, 1).
    const auto owner = patch(knots(6, 3, 0.0, 1.0), knots(6, 3, 0.0, 1.0));
    NurbsSurf& s = *owner;
    Kor::Array<CFitPoint> good = grid(20, 1.0, [](double, double) { return 0.009; });
    EXPECT_FALSE(refine(s, good, true, 7));
    EXPECT_EQ(s.uKnots->n + s.vKnots->n, 12);

    Vector before[3];
    for (int k = 0; k < 3; ++k)
        s.evaluatePoint(before[k], 0.3 * k + 0.1, 0.7 - 0.3 * k);
    Kor::Array<CFitPoint> a = grid(40, 1.0, [](double u, double v) {
        return u >= 0.5 && u < 0.75 && v >= 0.25 && v < 0.5 ? 0.04
               : u < 0.25 && v >= 0.75                      ? 0.02
                                                            : 0.0;
    });
    ASSERT_TRUE(refine(s, a, true, 1));
    EXPECT_EQ(s.uKnots->n + s.vKnots->n, 14);
    EXPECT_GE(s.uKnots->findKnot(0.625), 0);
    EXPECT_GE(s.vKnots->findKnot(0.375), 0);
    for (int k = 0; k < 3; ++k) {
        Vector p;
        s.evaluatePoint(p, 0.3 * k + 0.1, 0.7 - 0.3 * k);
        EXPECT_LT(norm(p - before[k]), 1e-12) << k;
    }
}

TEST(NurbsSurfRefine, MaxNewKnotsCapsInsertionsToTheWorstSpans)
{
    // Ten u spans of width 0.1, all above tolerance, the error growing with u.
    const auto owner = patch(knots(12, 3, 0.0, 1.0), knots(4, 3, 0.0, 1.0));
    NurbsSurf& s = *owner;
    Kor::Array<CFitPoint> a = grid(50, 1.0, [](double u, double) { return 0.02 + 0.01 * u; });
    ASSERT_TRUE(refine(s, a, false, 7));
    EXPECT_EQ(s.uKnots->n, 19);
    EXPECT_EQ(s.vKnots->n, 4);
    for (int c = 0; c < 10; ++c)
        EXPECT_EQ(s.uKnots->findKnot(0.1 * c + 0.05) >= 0, c >= 3) << c;
}

TEST(NurbsSurfRefine, EqualErrorsInDifferentSpansAreBothRefined)
{
    const auto owner = patch(knots(6, 3, 0.0, 1.0), knots(3, 3, 0.0, 1.0));
    NurbsSurf& s = *owner;
    Kor::Array<CFitPoint> a =
        grid(40, 1.0, [](double u, double) { return u < 0.25 || u >= 0.75 ? 0.5 : 0.0; });
    ASSERT_TRUE(refine(s, a, false, 7));
    EXPECT_EQ(s.uKnots->n, 8);
    EXPECT_GE(s.uKnots->findKnot(0.125), 0);
    EXPECT_GE(s.uKnots->findKnot(0.875), 0);
}

TEST(NurbsSurfRefine, FixingFixesControlPointsWithoutDataOncePerPoint)
{
    // 6 x 5 net; u Greville abscissae 0, 1/9, 1/3, 2/3, 8/9, 1, so badly fitted
    // points with u < 0.5 reach columns 0..2 only and columns 3..5 are fixed.
    const auto owner = patch(knots(5, 3, 0.0, 1.0), knots(4, 3, 0.0, 1.0));
    NurbsSurf& s = *owner;
    Kor::Array<CFitPoint> a = grid(60, 0.5, [](double, double) { return 1.0; });
    for (int run = 0; run < 2; ++run) {
        EXPECT_EQ(fix(s, a), "fixCount=15 out of 30\n");
        int fixed = 0;
        for (int k = 0; k < s.constraints.count; ++k)
            if (auto* c = dynamic_cast<const CIJSingleConstraint*>(s.constraints[k])) {
                ++fixed;
                EXPECT_EQ(c->m_kind, Fenwo::SingleCpKind::fixed);
                EXPECT_GE(c->m_i, 3);
                Vector p;
                s.getControlPointXYZ(p, c->m_i, c->m_j);
                EXPECT_LT(norm(p - c->m_point), 1e-12);
            }
        EXPECT_EQ(fixed, 15) << "run " << run;
    }
}

TEST(NurbsSurfRefine, LastControlPointOfEachDirectionHasItsOwnRegion)
{
    // Badly fitted points everywhere: no control point lacks data, the last
    // column and row included, on an open and on a closed (wrapping) u.
    const auto owner = patch(knots(5, 3, 0.0, 1.0), knots(4, 3, 0.0, 1.0));
    NurbsSurf& s = *owner;
    Kor::Array<CFitPoint> a = grid(60, 1.0, [](double, double) { return 1.0; });
    EXPECT_EQ(fix(s, a), "fixCount=0 out of 30\n");

    const knots cyclic(9, 3, 0.0, 1.0, knots::CyclicEnd, knots::Uniform);
    const auto ring = patch(cyclic, knots(4, 3, 0.0, 1.0));
    Kor::Array<CFitPoint> b = grid(60, cyclic.t1, [](double, double) { return 1.0; });
    EXPECT_EQ(fix(*ring, b), "fixCount=0 out of 50\n");
}

TEST(NurbsSurfRefine, FittedRegionsAreFixedDespiteAStrayPoint)
{
    // One outlier among the 340 points of region (3, 2), which the 98 %
    // quantile leaves out; every other point lies within tolerance.
    const auto owner = patch(knots(5, 3, 0.0, 1.0), knots(4, 3, 0.0, 1.0));
    NurbsSurf& s = *owner;
    Kor::Array<CFitPoint> a = grid(60, 1.0, [](double, double) { return 1e-4; });
    a.data[30 * 60 + 35].dist2 = 100.0;
    EXPECT_EQ(fix(s, a), "fixCount=30 out of 30\n");
}
