#include "curves/SubCurves.h"

#include "foundation/Progress.h"
#include "geometry/NurbsSurf.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>
#include <vector>

using Fenwo::NurbsSurf;

namespace {

// A clamped curve on the given knot positions 1 .. n + p, points from f.
template <class F> std::unique_ptr<NurbsSurf> makeCurve(std::vector<double> positions, int p, F f)
{
    const int n = static_cast<int>(positions.size()) - p;
    knots k(Vector(positions.data(), n + p), n, p);
    auto c = std::make_unique<NurbsSurf>(k);
    for (int i = 0; i <= n; ++i)
        c->setControlPoint(i, 0, f(i), 1.0 + 0.25 * (i % 3));
    return c;
}

// A non-planar rational cubic on [0, 3] with simple knots 1 and 2.
std::unique_ptr<NurbsSurf> makeCubic(double scale = 1.0)
{
    return makeCurve({0, 0, 0, 1, 2, 3, 3, 3}, 3, [scale](int i) {
        return scale * Vector(i * 1.4, std::sin(1.3 * i) * 2.0, (i % 2) * 1.5);
    });
}

// A cyclic cubic: a closed, twisted loop.
std::unique_ptr<NurbsSurf> makeCyclicCubic()
{
    knots k(6, 3, 0.0, 7.0, knots::CyclicEnd, knots::Uniform);
    auto c = std::make_unique<NurbsSurf>(k);
    const int count = c->getUCount();
    for (int i = 0; i < count; ++i) {
        const double a = 2.0 * M_PI * i / count;
        c->setControlPoint(i, 0, Vector(3.0 * std::cos(a), 2.0 * std::sin(a), 0.3 * i));
    }
    return c;
}

// A rational surface, quadratic in u on [0, 1], cubic Bezier in v on [0, 2].
std::unique_ptr<NurbsSurf> makeSurface()
{
    knots u(4, 2, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    knots v(3, 3, 0.0, 2.0, knots::ClampedEnd, knots::Uniform);
    auto s = std::make_unique<NurbsSurf>(u, &v);
    for (int j = 0; j < s->getVCount(); ++j)
        for (int i = 0; i < s->getUCount(); ++i)
            s->setControlPoint(i, j, Vector(i, j, std::sin(i + 0.5 * j)),
                               1.0 + 0.1 * ((i + j) % 3));
    return s;
}

double distance(NurbsSurf& a, double ua, double va, NurbsSurf& b, double ub, double vb)
{
    Vector p, q;
    a.evaluatePoint(p, ua, va);
    b.evaluatePoint(q, ub, vb);
    return std::sqrt(squaredDistance(p, q));
}

// Largest distance between a(t) and b(t) over [lo, hi].
double curveGap(NurbsSurf& a, NurbsSurf& b, double lo, double hi)
{
    double worst = 0.0;
    for (int i = 0; i <= 200; ++i) {
        const double t = lo + (hi - lo) * i / 200;
        worst = std::max(worst, distance(a, t, 0.0, b, t, 0.0));
    }
    return worst;
}

double surfaceGap(NurbsSurf& a, NurbsSurf& b)
{
    double worst = 0.0;
    for (int i = 0; i <= 10; ++i)
        for (int j = 0; j <= 10; ++j) {
            const double u = a.getUMin() + (a.getUMax() - a.getUMin()) * i / 10;
            const double v = a.getVMin() + (a.getVMax() - a.getVMin()) * j / 10;
            worst = std::max(worst, distance(a, u, v, b, u, v));
        }
    return worst;
}

} // namespace

TEST(SubCurves, SubCurveMatchesTheOriginalOnItsRangeAtEveryScale)
{
    for (double scale : {1e-8, 1.0, 1e8}) {
        auto c = makeCubic(scale);
        for (auto [t1, t2] :
             {std::pair{0.4, 2.3}, {1.0, 2.0}, {0.0, 1.5}, {1.2, 3.0}, {2.5, 0.5}}) {
            std::unique_ptr<NurbsSurf> sub(getSubCurve(c.get(), t1, t2));
            ASSERT_NE(sub, nullptr) << t1 << " " << t2;
            const double lo = std::min(t1, t2), hi = std::max(t1, t2);
            EXPECT_NEAR(sub->getUMin(), lo, 1e-14);
            EXPECT_NEAR(sub->getUMax(), hi, 1e-14);
            EXPECT_LE(curveGap(*sub, *c, lo, hi), 1e-12 * scale) << t1 << " " << t2;
        }
    }
    auto c = makeCubic();
    std::unique_ptr<NurbsSurf> whole(getTrivialSubCurve(c.get(), 0.0, 3.0));
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(whole->getUCount(), c->getUCount());
    EXPECT_EQ(curveGap(*whole, *c, 0.0, 3.0), 0.0);
    EXPECT_EQ(getTrivialSubCurve(c.get(), 1.0, 1.0 + 1e-9), nullptr);
    EXPECT_EQ(getSubCurve(c.get(), 5.0, 7.0), nullptr); // both clamp to the end

    c->reverseU(); // 0.5 .. 2.0 along the reversed curve are 2.5 .. 1.0 inside it
    std::unique_ptr<NurbsSurf> reversed(getSubCurve(c.get(), 0.5, 2.0));
    ASSERT_NE(reversed, nullptr);
    EXPECT_LE(distance(*reversed, reversed->getUMin(), 0, *c, 2.5, 0), 1e-12);
    EXPECT_LE(distance(*reversed, reversed->getUMax(), 0, *c, 1.0, 0), 1e-12);
}

// The piece across the seam is found by its parameter on the rotated copy,
// not by a single-precision projection, so it is as exact as any other piece.
TEST(SubCurves, CyclicPieceCrossesTheSeamAtFullPrecision)
{
    auto c = makeCyclicCubic();
    const double lo = c->getUMin(), hi = c->getUMax(), period = hi - lo;
    for (auto [a, b] : {std::pair{1.2, 3.5}, {0.0, 2.5}, {2.0, period}}) {
        std::unique_ptr<NurbsSurf> inside(getSubCurve(c.get(), lo + a, lo + b));
        ASSERT_NE(inside, nullptr);
        EXPECT_LE(curveGap(*inside, *c, lo + a, lo + b), 1e-12);
    }
    const double t1 = lo + 0.8 * period, t2 = lo + 0.3 * period;
    std::unique_ptr<NurbsSurf> across(getSubCurve(c.get(), t1, t2));
    ASSERT_NE(across, nullptr);
    const double start = across->getUMin(), length = across->getUMax() - start;
    EXPECT_NEAR(length, 0.5 * period, 1e-12);
    double worst = 0.0;
    for (int i = 0; i <= 100; ++i) {
        const double s = length * i / 100;
        worst = std::max(
            worst, distance(*across, start + s, 0, *c, std::fmod(t1 - lo + s, period) + lo, 0));
    }
    EXPECT_LE(worst, 1e-12);

    std::unique_ptr<NurbsSurf> open(expandCyclicKnots(c.get()));
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open->uKnots->endCondition, knots::OpenEnd);
    EXPECT_LE(curveGap(*open, *c, lo, hi), 1e-12);
    std::unique_ptr<NurbsSurf> openPiece(getSubCurve(open.get(), lo + 1.3, lo + 4.1));
    ASSERT_NE(openPiece, nullptr);
    EXPECT_LE(curveGap(*openPiece, *c, lo + 1.3, lo + 4.1), 1e-12);
}

TEST(SubCurves, DegreeElevationKeepsTheShape)
{
    auto c = makeCubic();
    NurbsSurf bezier(*c);
    Kor::List<int> counts;
    Kor::List<double> values;
    decomposeToBezier(&bezier, &counts, &values);
    ASSERT_EQ(values.getCount(), 4);
    EXPECT_EQ(counts[0] + counts[1] + counts[2] + counts[3], 4); // 2 at each interior knot
    EXPECT_EQ(bezier.uKnots->getMultiplicity(1.0), 3);
    EXPECT_LE(curveGap(bezier, *c, 0.0, 3.0), 1e-13);

    // A cubic with one simple interior knot becomes a quartic whose interior
    // knot is double.
    auto one = makeCurve({0, 0, 0, 0.4, 1, 1, 1}, 3,
                         [](int i) { return Vector(i, (i % 2) * 2.0, 0.5 * i * i); });
    NurbsSurf original(*one);
    elevateCurveDegree(one.get(), 0);
    EXPECT_EQ(one->uKnots->p, 4);
    EXPECT_EQ(one->uKnots->getMultiplicity(0.4), 2);
    EXPECT_EQ(one->getUCount(), 7);
    EXPECT_TRUE(one->rational);
    EXPECT_LE(curveGap(*one, original, 0.0, 1.0), 1e-12);

    for (int direction : {0, 1}) {
        auto s = makeSurface();
        NurbsSurf ref(*s);
        elevateCurveDegree(s.get(), direction);
        EXPECT_EQ(s->uKnots->p, direction == 0 ? 3 : 2);
        EXPECT_EQ(s->vKnots->p, direction == 0 ? 3 : 4);
        EXPECT_LE(surfaceGap(*s, ref), 1e-12) << direction;
    }
}

// On a cyclic curve the points before the first Bezier segment are the
// wrapped ends of the last elevated segment; taking the unelevated ones
// bends the curve near the seam.
TEST(SubCurves, CyclicDegreeElevationWrapsTheLastSegment)
{
    auto c = makeCyclicCubic();
    NurbsSurf elevated(*c);
    elevateCurveDegree(&elevated, 0);
    EXPECT_EQ(elevated.uKnots->p, 4);
    EXPECT_EQ(elevated.uKnots->endCondition, knots::CyclicEnd);
    EXPECT_EQ(elevated.getUCount(), 2 * c->getUCount()); // every simple knot becomes double
    EXPECT_LE(curveGap(elevated, *c, c->getUMin(), c->getUMax()), 1e-12);
}

TEST(SubCurves, KnotRefinementKeepsTheShapeInTheGivenOrder)
{
    auto c = makeCurve({0, 0, 1, 3, 3}, 2, [](int i) { return Vector(i, i * i, 1.0 - i); });
    NurbsSurf original(*c);
    ASSERT_TRUE(refineKnots(c.get(), 0, 2, false));
    // Inserted as 1/3, 5/3, 2/3, 7/3: the interior knots after insertion.
    const std::vector<double> expected = {1.0 / 3, 2.0 / 3, 1, 5.0 / 3, 7.0 / 3};
    ASSERT_EQ(c->uKnots->n, 7);
    for (int i = 0; i < 5; ++i)
        EXPECT_NEAR(c->uKnots->valueAt(3 + i), expected[i], 1e-15) << i;
    EXPECT_LE(curveGap(*c, original, 0.0, 3.0), 1e-13);
    EXPECT_FALSE(refineKnots(c.get(), 1, 1, false)); // a curve has no v direction
    EXPECT_FALSE(refineKnots(c.get(), 2, 1, false));

    auto s = makeSurface();
    NurbsSurf ref(*s);
    ASSERT_TRUE(refineKnots(s.get(), 1, 1, true)); // one v span: 0.2 and 0.8 of it
    EXPECT_GE(s->vKnots->findKnot(0.4), 0);
    EXPECT_GE(s->vKnots->findKnot(1.6), 0);
    ASSERT_TRUE(refineKnots(s.get(), 0, 0, true)); // first and last u span midpoints
    EXPECT_GE(s->uKnots->findKnot(1.0 / 6), 0);
    EXPECT_GE(s->uKnots->findKnot(5.0 / 6), 0);
    EXPECT_LE(surfaceGap(*s, ref), 1e-13);
}

TEST(SubCurves, IsoCurvesAndControlPolygonsMatchTheSurface)
{
    auto s = makeSurface();
    for (double t : {0.0, 0.37, 1.0}) {
        std::unique_ptr<NurbsSurf> alongU(extractIsoCurve(s.get(), t * 2.0, 3));
        std::unique_ptr<NurbsSurf> alongV(extractIsoCurve(s.get(), t, 2));
        ASSERT_NE(alongU, nullptr);
        ASSERT_NE(alongV, nullptr);
        for (int i = 0; i <= 20; ++i) {
            EXPECT_LE(distance(*alongU, i / 20.0, 0, *s, i / 20.0, t * 2.0), 1e-13);
            EXPECT_LE(distance(*alongV, i / 10.0, 0, *s, t, i / 10.0), 1e-13);
        }
    }
    EXPECT_EQ(extractIsoCurve(makeCubic().get(), 0.5, 2), nullptr);
    EXPECT_EQ(extractIsoCurve(s.get(), 0.5, 1), nullptr);

    std::unique_ptr<NurbsSurf> column(controlPolygonCurves(s.get(), 2, 1, 3, 1)); // swapped ends
    ASSERT_NE(column, nullptr);
    EXPECT_EQ(column->getUCount(), 3);
    EXPECT_EQ(column->getUMax(), 2.0);
    Vector p, q;
    for (int j = 1; j <= 3; ++j) {
        column->getControlPoint(j - 1, 0, p);
        s->getControlPoint(2, j, q);
        EXPECT_EQ(squaredDistance(p, q), 0.0);
    }
    EXPECT_EQ(controlPolygonCurves(s.get(), 9, 0, 0, -1), nullptr); // no row 9
}

TEST(SubCurves, SimplifyStaysWithinItsTolerance)
{
    auto c = makeCubic();
    NurbsSurf original(*c);
    ASSERT_TRUE(refineKnots(c.get(), 0, 3, false));
    EXPECT_EQ(removeKnotsWithinTolerance(c.get(), 1e-9), 9); // exactly the inserted ones
    EXPECT_EQ(c->uKnots->n, original.uKnots->n);
    EXPECT_EQ(simplify(c.get(), 1e-9), 0); // a curve's v direction has nothing to lose
    EXPECT_TRUE(c->isCurve());
    EXPECT_LE(curveGap(*c, original, 0.0, 3.0), 1e-9);
    auto coarse = makeCubic();
    removeKnotsWithinTolerance(coarse.get(), 0.05);
    EXPECT_LE(curveGap(*coarse, original, 0.0, 3.0), 0.05);

    // A refined Bezier surface becomes Bezier again in both directions.
    auto s = makeSurface();
    std::unique_ptr<NurbsSurf> bezierU(getSubCurve(s.get(), 0.4, 0.6)); // within one u span
    ASSERT_NE(bezierU, nullptr);
    NurbsSurf refined(*bezierU);
    refineKnots(&refined, 0, 2, false);
    refineKnots(&refined, 1, 1, false);
    CSimpleProgress progress;
    std::ostringstream captured;
    std::streambuf* old = std::cout.rdbuf(captured.rdbuf());
    EXPECT_EQ(simplify(&refined, 1e-9, &progress), 3);
    std::cout.rdbuf(old);
    EXPECT_STREQ(progress.getLabel(), "simplify");
    EXPECT_EQ(refined.uKnots->n, refined.uKnots->p);
    EXPECT_EQ(refined.vKnots->n, refined.vKnots->p);
    EXPECT_LE(surfaceGap(refined, *bezierU), 1e-9);

    // A cancelled sink stops the removal before anything goes.
    refineKnots(&refined, 0, 1, false);
    const int before = refined.uKnots->n;
    progress.setCancelled(true);
    old = std::cout.rdbuf(captured.rdbuf());
    EXPECT_EQ(removeKnotsWithinTolerance(&refined, 1e-9, &progress), 0);
    std::cout.rdbuf(old);
    EXPECT_EQ(refined.uKnots->n, before);
}

// A zero tangent has no direction: its inner control point stays on the end
// point instead of becoming NaN.
TEST(SubCurves, HermiteSegmentZeroTangentGivesNoNaN)
{
    const Vector p0(0, 0, 0), p1(4, 0, 0);
    std::unique_ptr<NurbsSurf> h(
        hermiteSegment(p0, Vector(1, 1, 0), p1, Vector(0, 0, 0), 3, 1.0, 0.5));
    ASSERT_NE(h, nullptr);
    Vector q;
    h->getControlPoint(1, 0, q); // f0 cut to a third of the chord's projection on T0
    EXPECT_NEAR(q[0], 4.0 / 3.0 / 2.0, 1e-14);
    h->getControlPoint(2, 0, q);
    EXPECT_EQ(squaredDistance(q, p1), 0.0);
    std::unique_ptr<NurbsSurf> h5(
        hermiteSegment(p0, Vector(1, 1, 0), p1, Vector(0, 2, 0), 5, 0.5, 0.5));
    ASSERT_NE(h5, nullptr);
    EXPECT_EQ(h5->getUCount(), 6); // cubic with two interior knots
}

TEST(SubCurves, PolylinesParametrisationAndOrientation)
{
    CFitPointArray points;
    for (int i = 0; i < 4; ++i)
        points.append(CFitPoint(Vector(i, i % 2, 0)));
    std::unique_ptr<NurbsSurf> open(polylineOfAllFitPoints(points, false));
    std::unique_ptr<NurbsSurf> closed(polylineOfAllFitPoints(points, true));
    ASSERT_NE(open, nullptr);
    ASSERT_NE(closed, nullptr);
    EXPECT_EQ(closed->getUCount(), 4);
    EXPECT_EQ(closed->uKnots->endCondition, knots::CyclicEnd);
    IndexSubset<CFitPoint> none(points);
    EXPECT_EQ(polylineOfFitPoints(none, false), nullptr);

    reparametrizeByChordLength(open.get()); // every leg is sqrt 2 long
    EXPECT_NEAR(open->getUMax(), 3.0 * std::sqrt(2.0), 1e-12);
    Vector q;
    open->evaluatePoint(q, std::sqrt(2.0), 0);
    EXPECT_NEAR(squaredDistance(q, Vector(1, 1, 0)), 0.0, 1e-28);

    // Five knots more spread over the spans, then the target's parameters.
    auto c = makeCubic();
    NurbsSurf original(*c);
    knots target(10, 3, 0.0, 1.0);
    NurbsSurf* pc = c.get();
    distributeKnotsToMatch(pc, target);
    EXPECT_EQ(c->getUCount(), 11);
    EXPECT_EQ(c->getUMax(), 1.0);
    EXPECT_LE(distance(*c, 1.0, 0, original, 3.0, 0), 1e-12);

    auto s = makeSurface();
    bool reversed = false, swapped = false;
    double parameter = 0.0;
    EXPECT_FALSE(orientSurfaceSide(s.get(), 0, reversed, swapped, parameter));
    EXPECT_TRUE(orientSurfaceSide(s.get(), 1, reversed, swapped, parameter));
    EXPECT_TRUE(reversed && swapped);
    EXPECT_EQ(parameter, 2.0); // the v range became u
}
