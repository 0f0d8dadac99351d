#include "curves/BoundaryCurves.h"

#include "curves/CurveOnSurface.h"
#include "geometry/IJConstraints.h"
#include "geometry/NurbsSurf.h"
#include "support/AnalyticCurves.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <string>

using Fenwo::NurbsSurf;

namespace {

double gap(CParametricGeometry& a, double s, CParametricGeometry& b, double t)
{
    return norm(a.getPoint(s, 0.0) - b.getPoint(t, 0.0));
}

// A closed cubic on cyclic knots around an uneven loop.
std::unique_ptr<NurbsSurf> cyclicCubic()
{
    auto c = std::make_unique<NurbsSurf>(knots(6, 3, 0.0, 1.0, knots::CyclicEnd));
    for (int i = 0; i < c->getUCount(); ++i) {
        const double a = 2.0 * std::numbers::pi * i / c->getUCount();
        c->setControlPoint(i, 0, Vector(3.0 * std::cos(a), 2.0 * std::sin(a), std::sin(3 * a)));
    }
    return c;
}

} // namespace

TEST(BoundaryCurves, SidesOfTheDomainFormACounterClockwiseLoop)
{
    auto s = makeWavyBicubic(Interval(0.0, 2.0), Interval(1.0, 5.0));
    double area = 0.0;
    Vector previousEnd;
    for (int side : {1, 4, 2, 3}) {
        std::unique_ptr<CCONS> edge(boundaryCCONS(s.get(), side));
        ASSERT_NE(edge, nullptr);
        const Vector a = edge->getStartUVPoint(), b = edge->getEndUVPoint();
        if (previousEnd.n > 0) {
            EXPECT_LT(norm(a - previousEnd), 1e-15);
        }
        previousEnd = b;
        area += 0.5 * (a[0] * b[1] - b[0] * a[1]);
        const Vector mid = 0.5 * (a + b);
        EXPECT_LT(norm(edge->getPoint(0.5, 0.0) - s->getPoint(mid[0], mid[1])), 1e-15);
    }
    EXPECT_NEAR(area, 8.0, 1e-12);
    std::unique_ptr<CCONS> first(boundaryCCONS(s.get(), 1));
    EXPECT_LT(norm(first->getStartUVPoint() - previousEnd), 1e-15);

    testing::internal::CaptureStdout();
    EXPECT_EQ(boundaryCCONS(s.get(), 5), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("unknown boundaryposition!"),
              std::string::npos);
}

TEST(BoundaryCurves, SideIsoCurvesCarryTheSideRowConstraints)
{
    auto s = makeWavyBicubic(Interval(0.0, 2.0), Interval(1.0, 5.0));
    s->addFixedPointConstraint(2, 0);
    s->addFixedPointConstraint(3, 1);
    const double fixed[4][2] = {{-1, 1.0}, {-1, 5.0}, {0.0, -1}, {2.0, -1}};
    for (int side = 1; side <= 4; ++side) {
        std::unique_ptr<NurbsSurf> iso(surfaceBoundaryCurves(s.get(), side));
        ASSERT_NE(iso, nullptr) << side;
        for (int k = 0; k <= 8; ++k) {
            const double t = iso->getUMin() + (iso->getUMax() - iso->getUMin()) * k / 8;
            const double u = side <= 2 ? t : fixed[side - 1][0];
            const double v = side <= 2 ? fixed[side - 1][1] : t;
            EXPECT_LT(norm(iso->getPoint(t, 0.0) - s->getPoint(u, v)), 1e-12) << side;
        }
        int singles = 0;
        for (Fenwo::CConstraint* c : iso->constraints)
            if (auto* single = dynamic_cast<Fenwo::CIJSingleConstraint*>(c)) {
                ++singles;
                EXPECT_EQ(single->m_i, 2);
                EXPECT_EQ(single->m_j, 0);
            }
        EXPECT_EQ(singles, side == 1 ? 1 : 0) << side;
    }
    std::unique_ptr<NurbsSurf> row(surfaceBoundaryCurves(s.get(), 1));
    std::unique_ptr<NurbsSurf> copy(surfaceBoundaryCurves(row.get(), 1));
    ASSERT_NE(copy, nullptr);
    EXPECT_LT(gap(*copy, 0.7, *row, 0.7), 1e-15);
}

TEST(BoundaryCurves, SplittingAndTheExportFormKeepTheShape)
{
    auto c = cyclicCubic();
    std::unique_ptr<NurbsSurf> clamped(makeAcisCompliantCurve(c.get()));
    ASSERT_NE(clamped, nullptr);
    EXPECT_EQ(clamped->uKnots->endCondition, knots::ClampedEnd);
    // The whole period, its last span included.
    EXPECT_EQ(clamped->getUMin(), c->getUMin());
    EXPECT_EQ(clamped->getUMax(), c->getUMax());
    for (int k = 0; k <= 20; ++k) {
        const double t = c->getUMin() + (c->getUMax() - c->getUMin()) * k / 20.0;
        EXPECT_LT(gap(*clamped, t, *c, t), 1e-10) << k;
    }
    EXPECT_EQ(makeAcisCompliantCurve(nullptr), nullptr);

    NurbsSurf* first = nullptr;
    NurbsSurf* second = nullptr;
    ASSERT_TRUE(splitCurve(clamped.get(), 0.37, first, second));
    std::unique_ptr<NurbsSurf> a(first), b(second);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    for (int k = 0; k <= 10; ++k) {
        const double s = 0.037 * k, t = 0.37 + 0.063 * k;
        EXPECT_LT(gap(*a, s, *c, s), 1e-10);
        EXPECT_LT(gap(*b, t, *c, t), 1e-10);
    }

    auto surface = makeWavyBicubic(Interval(0.0, 2.0), Interval(1.0, 5.0));
    ASSERT_TRUE(splitCurveAt(surface.get(), 2.2, first, second));
    std::unique_ptr<NurbsSurf> lower(first), upper(second);
    ASSERT_NE(lower, nullptr);
    ASSERT_NE(upper, nullptr);
    EXPECT_LT(norm(lower->getPoint(0.6, 1.9) - surface->getPoint(0.6, 1.9)), 1e-10);
    EXPECT_LT(norm(upper->getPoint(1.3, 4.1) - surface->getPoint(1.3, 4.1)), 1e-10);
    first = second = nullptr;
    EXPECT_FALSE(splitCurveAt(c.get(), 0.5, first, second));
    EXPECT_EQ(first, nullptr);
}

TEST(BoundaryCurves, OffsetMovesOnlyTheSideOutwardAlongTheSurface)
{
    // Side 1 is v min, 2 v max, 3 u min, 4 u max; control point (i, j) of
    // the plate lies at (0.5 i, 1 + j).
    const Vector outward[5] = {Vector(0, 0, 0), Vector(0, -0.5, 0), Vector(0, 0.5, 0),
                               Vector(-0.5, 0, 0), Vector(0.5, 0, 0)};
    for (int side = 1; side <= 4; ++side) {
        auto plate = makeWavyBicubic(Interval(0.0, 2.0), Interval(1.0, 5.0));
        for (int j = 0; j < 5; ++j)
            for (int i = 0; i < 5; ++i)
                plate->setControlPoint(i, j, Vector(0.5 * i, 1.0 + j, 0.0));
        EXPECT_FALSE(offsetNurbs(plate.get(), side, 0.0, false, false));
        ASSERT_TRUE(offsetNurbs(plate.get(), side, 0.5, false, false));
        Vector p;
        for (int j = 0; j < 5; ++j)
            for (int i = 0; i < 5; ++i) {
                const bool onSide = (side == 1 && j == 0) || (side == 2 && j == 4) ||
                                    (side == 3 && i == 0) || (side == 4 && i == 4);
                plate->getControlPointXYZ(p, i, j);
                const Vector moved = onSide ? outward[side] : Vector(0, 0, 0);
                EXPECT_LT(norm(p - Vector(0.5 * i, 1.0 + j, 0.0) - moved), 1e-12)
                    << side << ' ' << i << ' ' << j;
            }
    }
}
