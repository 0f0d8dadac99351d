#include "curves/PolylineToNurbs.h"

#include "geometry/BoundaryConstraint.h"
#include "geometry/NurbsSurf.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

using Fenwo::NurbsSurf;
using Curve = std::unique_ptr<NurbsSurf>;

namespace {

// n samples of a smooth open space curve (or of a closed loop), scaled.
CFitPointArray sampleCurve(int n, bool closed, double scale = 1.0)
{
    CFitPointArray a;
    for (int i = 0; i < n; ++i) {
        const double s = closed ? 2.0 * M_PI * i / n : 2.0 * i / (n - 1);
        Vector p = closed ? Vector(3.0 * std::cos(s), 2.0 * std::sin(s), 0.3 * std::sin(s))
                          : Vector(2.0 * std::cos(s), 2.0 * std::sin(s), 0.3 * s);
        p *= scale;
        a.append(CFitPoint(p));
    }
    return a;
}

// Largest distance between a point and the curve at the point's parameter.
double largestDeviation(NurbsSurf& c, const CFitPointArray& a)
{
    double worst = 0.0;
    for (int i = 0; i < a.count; ++i)
        worst = std::max(
            worst, std::sqrt(squaredDistance(c.getPoint(a.data[i].uv[0], 0.0), a.data[i].Point)));
    return worst;
}

Curve fitCapturing(CFitPointArray& a, bool closed, double tol, int degree, bool approximate,
                   std::string& out)
{
    testing::internal::CaptureStdout();
    Curve c(polyLineToNurbs(a, closed, tol, degree, approximate));
    out = testing::internal::GetCapturedStdout();
    return c;
}

int countBoundaryConstraints(const NurbsSurf& c, Fenwo::BoundaryConstraintKind kind)
{
    int count = 0;
    for (int k = 0; k < c.constraints.count; ++k) {
        auto* b = dynamic_cast<Fenwo::CBoundaryConstraint*>(c.constraints.data[k]);
        if (b != nullptr && b->m_kind == kind)
            ++count;
    }
    return count;
}

} // namespace

TEST(PolyLineToNurbs, DenseSmoothSamplesAreApproximatedWithinTolerance)
{
    // The thinning keeps vertices 25 tolerances off their chords; the Newton
    // fit must bring every point well inside that and far below the rough
    // control-polygon form.
    for (bool closed : {false, true}) {
        CFitPointArray a = sampleCurve(300, closed);
        CFitPointArray rough = a;
        const double tol = 0.002;
        std::string out;
        Curve c = fitCapturing(a, closed, tol, 3, true, out);
        Curve r = fitCapturing(rough, closed, tol, 3, false, out);
        ASSERT_NE(c, nullptr);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(c->uKnots->p, 3);
        EXPECT_LT(c->getUCount(), a.count / 8) << "the poly-line was not thinned";
        const double fitted = largestDeviation(*c, a);
        EXPECT_LT(fitted, 5.0 * tol) << "closed=" << closed;
        EXPECT_LT(fitted, 0.25 * largestDeviation(*r, rough)) << "closed=" << closed;
        for (int i = 0; i < a.count; ++i)
            ASSERT_NEAR(std::sqrt(a.data[i].dist2), 0.0, fitted * (1.0 + 1e-6));
        fitCapturing(a, closed, tol, 3, true, out);
        EXPECT_EQ(out.rfind("polyLineToNurbs, approx, Histo(sub)=\nn=300 in [", 0), 0u) << out;
    }
}

TEST(PolyLineToNurbs, OpenEndsAreKeptAndGivenTangentsHold)
{
    CFitPointArray a = sampleCurve(200, false);
    // Tangents of the sampled curve at both ends.
    a.data[0].Tangent = Vector(0.0, 2.0, 0.3);
    a.data[a.count - 1].Tangent = Vector(-2.0 * std::sin(2.0), 2.0 * std::cos(2.0), 0.3);
    std::string out;
    Curve c = fitCapturing(a, false, 0.002, 3, true, out);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(countBoundaryConstraints(*c, Fenwo::BoundaryConstraintKind::C0Fix), 0);
    EXPECT_EQ(countBoundaryConstraints(*c, Fenwo::BoundaryConstraintKind::epsG1Fix), 2);
    EXPECT_NEAR(squaredDistance(c->getStartPoint(), a.data[0].Point), 0.0, 1e-20);
    EXPECT_NEAR(squaredDistance(c->getEndPoint(), a.data[a.count - 1].Point), 0.0, 1e-20);
    EXPECT_NEAR(cosineBetween(c->getStartTangent(), a.data[0].Tangent), 1.0, 1e-9);
    EXPECT_NEAR(cosineBetween(c->getEndTangent(), a.data[a.count - 1].Tangent), 1.0, 1e-9);

    // Without tangents (or with unusable ones) only the end points are pinned.
    CFitPointArray b = sampleCurve(200, false);
    b.data[0].Tangent = Vector(2); // two entries
    b.data[0].Tangent[0] = 1.0;
    b.data[b.count - 1].Tangent = Vector(1e-7, 0, 0); // too short
    Curve d = fitCapturing(b, false, 0.002, 3, true, out);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(countBoundaryConstraints(*d, Fenwo::BoundaryConstraintKind::C0Fix), 2);
    EXPECT_EQ(countBoundaryConstraints(*d, Fenwo::BoundaryConstraintKind::epsG1Fix), 0);
    EXPECT_NEAR(squaredDistance(d->getStartPoint(), b.data[0].Point), 0.0, 1e-20);
    EXPECT_NEAR(squaredDistance(d->getEndPoint(), b.data[b.count - 1].Point), 0.0, 1e-20);
}

TEST(PolyLineToNurbs, PerpendicularEndTangentDoesNotCollapseTheFirstLeg)
{
    // Four kept vertices: a zig-zag whose first leg is perpendicular to the
    // tangent given at the start.
    CFitPointArray a;
    for (const Vector& p : {Vector(0, 0, 0), Vector(0, 1, 0), Vector(1, 1, 0), Vector(1, 2, 0)})
        a.append(CFitPoint(p));
    a.data[0].Tangent = Vector(1.0, 0.0, 0.0);
    std::string out;
    Curve c = fitCapturing(a, false, 1e-4, 3, false, out);
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(c->getUCount(), 4);
    Vector p0, p1;
    c->getControlPoint(0, 0, p0);
    c->getControlPoint(1, 0, p1);
    EXPECT_NEAR(std::sqrt(squaredDistance(p0, p1)), 1.0, 1e-12);
    EXPECT_NEAR(cosineBetween(c->getStartTangent(), a.data[0].Tangent), 1.0, 1e-12);
}

TEST(PolyLineToNurbs, StraightPolylineGivesStraightCurve)
{
    CFitPointArray a;
    for (int i = 0; i < 50; ++i) {
        const double s = i * i / 49.0; // uneven spacing
        a.append(CFitPoint(Vector(1.0 + 2.0 * s, -1.0 + s, 0.5 * s)));
    }
    std::string out;
    Curve c = fitCapturing(a, false, 1e-3, 3, true, out);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->getUCount(), 2);
    EXPECT_EQ(c->uKnots->p, 1);
    const Vector dir = normalized(a.data[49].Point - a.data[0].Point);
    for (int k = 0; k <= 20; ++k) {
        Vector off = c->getPoint(k / 20.0, 0.0) - a.data[0].Point;
        orthogonalize(off, dir);
        EXPECT_LT(norm(off), 1e-12);
    }
    EXPECT_LT(largestDeviation(*c, a), 1e-9);
}

TEST(PolyLineToNurbs, ResultScalesWithTheModel)
{
    CFitPointArray unit = sampleCurve(200, false);
    unit.data[0].Tangent = Vector(0.0, 1.0, 0.15);
    std::string out;
    Curve ref = fitCapturing(unit, false, 0.002, 3, true, out);
    ASSERT_NE(ref, nullptr);
    const double unitDeviation = largestDeviation(*ref, unit);
    for (double scale : {1e-8, 1e8}) {
        CFitPointArray a = sampleCurve(200, false, scale);
        a.data[0].Tangent = Vector(0.0, 1.0, 0.15);
        Curve c = fitCapturing(a, false, 0.002 * scale, 3, true, out);
        ASSERT_NE(c, nullptr);
        ASSERT_EQ(c->getUCount(), ref->getUCount()) << scale;
        // The fit's rounding differs from scale to scale; its quality must not.
        EXPECT_LT(largestDeviation(*c, a) / scale, 2.0 * unitDeviation) << scale;
        EXPECT_LT(squaredDistance(c->getStartPoint(), a.data[0].Point), 1e-24 * scale * scale);
        EXPECT_NEAR(cosineBetween(c->getStartTangent(), a.data[0].Tangent), 1.0, 1e-12) << scale;
    }
}

TEST(PolyLineToNurbs, RoughFormParametersByIndexBetweenKeptVertices)
{
    // An L: kept vertices 0, the corner 3 and the end 9; spacing uneven.
    CFitPointArray a;
    for (double x : {0.0, 0.1, 0.9, 1.0})
        a.append(CFitPoint(Vector(x, 0.0, 0.0)));
    for (double y : {0.05, 0.1, 0.2, 0.4, 0.7, 1.0})
        a.append(CFitPoint(Vector(1.0, y, 0.0)));
    std::string out;
    Curve c = fitCapturing(a, false, 1e-4, 3, false, out);
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(out.empty()) << out;
    ASSERT_EQ(c->getUCount(), 3);
    EXPECT_EQ(c->uKnots->p, 2);
    // Greville abscissae 0, 0.5, 1 of the uniform clamped quadratic.
    const double expected[] = {
        0.0,  1 / 6.0,        2 / 6.0,        0.5, 0.5 + 1 / 12.0, 0.5 + 2 / 12.0,
        0.75, 0.5 + 4 / 12.0, 0.5 + 5 / 12.0, 1.0};
    for (int i = 0; i < a.count; ++i)
        EXPECT_NEAR(a.data[i].uv[0], expected[i], 1e-15) << i;
    Vector corner;
    c->getControlPoint(1, 0, corner);
    EXPECT_NEAR(squaredDistance(corner, Vector(1.0, 0.0, 0.0)), 0.0, 1e-30);
}

TEST(PolyLineToNurbs, DegenerateInputs)
{
    std::string out;
    CFitPointArray none;
    EXPECT_EQ(fitCapturing(none, false, 0.01, 3, true, out), nullptr);
    CFitPointArray one;
    one.append(CFitPoint(Vector(1, 2, 3)));
    EXPECT_EQ(fitCapturing(one, true, 0.01, 3, true, out), nullptr);
    EXPECT_TRUE(out.empty());

    // Two points: a straight segment of degree 1 with both ends pinned.
    CFitPointArray two;
    two.append(CFitPoint(Vector(0, 0, 0)));
    two.append(CFitPoint(Vector(2, 0, 0)));
    two.data[0].Tangent = Vector(0, 1, 0);
    Curve c = fitCapturing(two, false, 0.01, 3, true, out);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->uKnots->p, 1);
    EXPECT_EQ(countBoundaryConstraints(*c, Fenwo::BoundaryConstraintKind::C0Fix), 2);
    EXPECT_EQ(countBoundaryConstraints(*c, Fenwo::BoundaryConstraintKind::epsG1Fix), 0);
    EXPECT_DOUBLE_EQ(two.data[0].uv[0], 0.0);
    EXPECT_DOUBLE_EQ(two.data[1].uv[0], 1.0);

    // Coincident points and an undefined tolerance still give a curve.
    CFitPointArray same;
    for (int i = 0; i < 5; ++i)
        same.append(CFitPoint(Vector(1, 1, 1)));
    Curve s = fitCapturing(same, false, std::nan(""), 3, true, out);
    ASSERT_NE(s, nullptr);
    EXPECT_NEAR(squaredDistance(s->getStartPoint(), Vector(1, 1, 1)), 0.0, 1e-30);
}
