#include "curves/EdgeFitting.h"

#include "geometry/NurbsSurf.h"
#include "platform/Diagnostics.h"
#include "support/AnalyticCurves.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <numbers>
#include <string>

using Fenwo::NurbsSurf;

namespace {

constexpr double kPi = std::numbers::pi;

// A straight cubic from a to b on one span over [0, 1].
template <class Edge = NurbsSurf>
std::unique_ptr<Edge> straightCubic(const Vector& a, const Vector& b)
{
    auto edge = std::make_unique<Edge>(knots(3, 3, 0.0, 1.0));
    for (int i = 0; i < 4; ++i)
        edge->setControlPoint(i, 0, a + (i / 3.0) * (b - a));
    return edge;
}

// An edge that reports its length 16 % too long.
class LongEdge : public NurbsSurf {
public:
    using NurbsSurf::NurbsSurf;
    double getLength() override { return 1.16 * NurbsSurf::getLength(); }
};

double deviationFromCircle(NurbsSurf& edge, double radius)
{
    double worst = 0.0;
    for (int k = 0; k <= 1000; ++k)
        worst = std::max(worst, std::fabs(norm(edge.getPoint(k / 1000.0, 0.0)) - radius));
    return worst;
}

// The distinct interior knots of the edge, each once.
Vector interiorKnots(const NurbsSurf& edge)
{
    Vector breaks;
    edge.uKnots->getBreakpoints(breaks, 1);
    Vector inner(breaks.n - 2);
    for (int i = 1; i + 1 < breaks.n; ++i)
        inner[i - 1] = breaks[i];
    return inner;
}

} // namespace

TEST(EdgeFitting, StraightEdgeIsFittedToAQuarterCircleByBothStrategies)
{
    AnalyticCircle quarter(Vector(0.0, 0.0, 0.0), 10.0, 0.0, kPi / 2);
    struct Case {
        bool newton;
        double tol;
    };
    for (const Case& c : {Case{false, 0.25}, Case{false, 1e-3}, Case{true, 1e-3}}) {
        auto owned = straightCubic(Vector(10.0, 0.0, 0.0), Vector(0.0, 10.0, 0.0));
        NurbsSurf* edge = owned.get();
        Kor::List<double> inserted;
        Interval matched;
        const bool fitted = c.newton ? tearToCurve(edge, quarter, c.tol, matched, &inserted, true,
                                                   false, true, 2500)
                                     : tearToCurveInterpolate(edge, quarter, c.tol, &inserted);
        ASSERT_TRUE(fitted) << c.newton << ' ' << c.tol;
        EXPECT_EQ(edge, owned.get());
        // Every knot the edge gained is in the list, once.
        const Vector knotsNow = interiorKnots(*edge);
        ASSERT_EQ(knotsNow.n, inserted.count);
        for (int i = 0; i < knotsNow.n; ++i)
            EXPECT_TRUE(inserted.contains(knotsNow[i])) << knotsNow[i];
        // At 0.25 the interpolation of the first pass alone is good enough (its
        // samples within tol): that pass inserts nothing.
        if (c.tol == 0.25)
            EXPECT_EQ(inserted.count, 0);
        else
            EXPECT_LT(deviationFromCircle(*edge, 10.0), 1.2 * c.tol) << c.newton;
        if (c.newton) {
            // With the ends fixed the edge matches the whole arc.
            EXPECT_NEAR(matched.min, 0.0, 1e-6);
            EXPECT_NEAR(matched.max, kPi / 2, 1e-6);
        }
    }
}

TEST(EdgeFitting, SideOfAStripSurfaceIsFittedAlongItsOwnRow)
{
    // A strip whose side v = 0 is the chord under a quarter circle, leaning
    // up and out towards the arc. Fit points that keep v = 0 measure and pull
    // that side; let free they find their feet on the strip above it (0.41
    // left on the side after every pass).
    AnalyticCircle quarter(Vector(0.0, 0.0, 0.0), 10.0, 0.0, kPi / 2);
    const knots across(1, 1, 0.0, 1.0);
    NurbsSurf strip(knots(3, 3, 0.0, 1.0), &across);
    const Vector out = normalized(Vector(1.0, 1.0, 0.0));
    for (int i = 0; i < 4; ++i) {
        const Vector chord = Vector(10.0, 0.0, 0.0) + (i / 3.0) * Vector(-10.0, 10.0, 0.0);
        strip.setControlPoint(i, 0, chord);
        strip.setControlPoint(i, 1, chord + Vector(0.0, 0.0, 1.0) + 0.5 * out);
    }
    ASSERT_TRUE(strip.isSurface());
    NurbsSurf* edge = &strip;
    Interval matched;
    testing::internal::CaptureStdout();
    const bool fitted = tearToCurve(edge, quarter, 1e-3, matched, nullptr, true, false, true, 2500);
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(fitted);
    double worst = 0.0;
    for (int k = 0; k <= 1000; ++k)
        worst = std::max(worst, std::fabs(norm(strip.getPoint(k / 1000.0, 0.0)) - 10.0));
    EXPECT_LT(worst, 1.2e-3);
}

TEST(EdgeFitting, EdgeAlreadyWithinToleranceIsKept)
{
    AnalyticLine line(Vector(0.0, 0.0, 0.0), Vector(3.0, 4.0, 0.0));
    auto owned = straightCubic(Vector(0.0, 0.0, 0.0), Vector(3.0, 4.0, 0.0));
    NurbsSurf* edge = owned.get();
    Kor::List<double> inserted;
    EXPECT_TRUE(tearToCurveInterpolate(edge, line, 1e-6, &inserted));
    EXPECT_EQ(inserted.count, 0);
    EXPECT_EQ(edge->getUCount(), 4);
    EXPECT_TRUE(tearToCurves(edge, line, 1e-6, nullptr, true, true, false, false, true, 2500));
}

TEST(EdgeFitting, ControlPointLimitStopsWithEmptyKnotListAndDumps)
{
    AnalyticCircle quarter(Vector(0.0, 0.0, 0.0), 10.0, 0.0, kPi / 2);
    auto owned = straightCubic(Vector(10.0, 0.0, 0.0), Vector(0.0, 10.0, 0.0));
    NurbsSurf* edge = owned.get();
    Kor::List<double> inserted;
    inserted.append(0.5); // the caller's list is replaced by the saved one
    Interval matched;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(tearToCurve(edge, quarter, 1e-3, matched, &inserted, true, false, false, 3));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("nuMax reached. terminating."), std::string::npos);
    EXPECT_EQ(inserted.count, 0);
    EXPECT_EQ(edge->getUCount(), 4);
    for (const char* name : {"c:/tmp/tearToCurvenu.mp", "c:/tmp/solutionsnu.out"})
        EXPECT_GT(std::filesystem::file_size(Platform::diagnosticsPath(name)), 0u) << name;
}

TEST(EdgeFitting, LengthCheckRefusesAnEdge16PercentLonger)
{
    AnalyticLine line(Vector(0.0, 0.0, 0.0), Vector(3.0, 4.0, 0.0));
    auto owned = straightCubic<LongEdge>(Vector(0.0, 0.0, 0.0), Vector(3.0, 4.0, 0.0));
    NurbsSurf* edge = owned.get();
    testing::internal::CaptureStdout();
    EXPECT_FALSE(tearToCurves(edge, line, 1e-6, nullptr, true, true, false, false, true, 2500));
    EXPECT_NE(testing::internal::GetCapturedStdout().find(
                  "Length of Curves (tier to Curve) do not match."),
              std::string::npos);
    // Without the check the fit itself stands.
    EXPECT_TRUE(tearToCurves(edge, line, 1e-6, nullptr, true, true, false, false, false, 2500));
}
