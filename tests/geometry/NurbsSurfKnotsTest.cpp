#include "geometry/IJConstraints.h"
#include "geometry/NurbsSurf.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

using Fenwo::NurbsSurf;

namespace {

knots fromValues(std::initializer_list<double> values, int n, int p)
{
    Kor::List<double> list;
    for (double x : values)
        list.append(x);
    return knots(list, n, p);
}

// Bicubic patch on non-uniform knots, 6 x 5 points, wavy net; weights in
// [0.6, 1.8] when rational.
std::unique_ptr<NurbsSurf> bicubic(bool rational)
{
    const knots u = fromValues({0, 0, 0, 0, 0.3, 0.55, 1, 1, 1, 1}, 5, 3);
    const knots v = fromValues({-1, -1, -1, -1, 0.2, 2, 2, 2, 2}, 4, 3);
    auto s = std::make_unique<NurbsSurf>(u, &v);
    for (int j = 0; j < s->getVCount(); ++j)
        for (int i = 0; i < s->getUCount(); ++i) {
            const Vector p(i + 0.3 * std::sin(1.7 * j), j + 0.2 * std::cos(i),
                           std::sin(0.9 * i) * std::cos(0.6 * j) + 0.1 * i * j);
            s->setControlPoint(i, j, p, rational ? 1.2 + 0.6 * std::sin(2.3 * i + 1.1 * j) : 1.0);
        }
    return s;
}

// Closed cubic curve (cyclic u knots) through a wobbly ring of 7 points.
std::unique_ptr<NurbsSurf> cyclicCurve(bool rational)
{
    const knots u(6, 3, 0.0, 1.0, knots::CyclicEnd, knots::Uniform);
    auto c = std::make_unique<NurbsSurf>(u, nullptr);
    const int n = c->getUCount();
    for (int i = 0; i < n; ++i) {
        const double a = 2.0 * M_PI * i / n;
        c->setControlPoint(i, 0, Vector((1.0 + 0.2 * i) * std::cos(a), std::sin(a), 0.1 * i * i),
                           rational ? 1.0 + 0.3 * (i % 3) : 1.0);
    }
    return c;
}

// Clamped cubic curve with 7 points that bend irregularly, so that none of
// its knots is removable at a small tolerance.
std::unique_ptr<NurbsSurf> wavyCurve()
{
    const knots u = fromValues({0, 0, 0, 0, 0.2, 0.45, 0.7, 1, 1, 1, 1}, 6, 3);
    auto c = std::make_unique<NurbsSurf>(u, nullptr);
    const double y[] = {0.0, 1.3, -0.4, 2.1, 0.7, -1.2, 0.5};
    for (int i = 0; i < 7; ++i)
        c->setControlPoint(i, 0, Vector(i, y[i], 0.3 * i * y[i]));
    return c;
}

// Points of the surface on an m x m grid of its domain (m points along u
// only for a curve).
std::vector<Vector> sample(NurbsSurf& s, int m)
{
    const Interval U = s.getDomain(0);
    const Interval V = s.getDomain(1);
    const int mv = s.isCurve() ? 1 : m;
    std::vector<Vector> out;
    for (int j = 0; j < mv; ++j)
        for (int i = 0; i < m; ++i) {
            const double u = U.min + (U.max - U.min) * i / (m - 1);
            const double v = mv == 1 ? V.min : V.min + (V.max - V.min) * j / (mv - 1);
            Vector p;
            s.evaluatePoint(p, u, v);
            out.push_back(p);
        }
    return out;
}

double maxDistance(const std::vector<Vector>& a, const std::vector<Vector>& b)
{
    double m = 0.0;
    for (size_t k = 0; k < std::min(a.size(), b.size()); ++k)
        m = std::max(m, norm(a[k] - b[k]));
    return a.size() == b.size() ? m : std::numeric_limits<double>::infinity();
}

// Largest difference of the homogeneous control points of two nets of the
// same size (infinity for different sizes).
double netDistance(const NurbsSurf& a, const NurbsSurf& b)
{
    if (a.getUCount() != b.getUCount() || a.getVCount() != b.getVCount())
        return std::numeric_limits<double>::infinity();
    double m = 0.0;
    for (int j = 0; j < a.getVCount(); ++j)
        for (int i = 0; i < a.getUCount(); ++i)
            for (int k = 0; k < 4; ++k)
                m = std::max(m, std::fabs(a.controlPointAt(i, j)[k] - b.controlPointAt(i, j)[k]));
    return m;
}

// Last knot position of the value t in the u knots, -1 when it is no knot.
int positionOf(const NurbsSurf& s, double t)
{
    const int d = s.uKnots->findKnot(t);
    return d < 0 ? -1 : s.uKnots->cumulativeMultiplicities[d] - 1;
}

} // namespace

// ---- Insertion ------------------------------------------------------------------

TEST(NurbsSurfInsertKnots, InteriorValueKeepsShapeInBothDirections)
{
    for (bool rational : {false, true}) {
        for (int dir : {0, 1}) {
            auto s = bicubic(rational);
            const auto before = sample(*s, 100);
            const int nU = s->getUCount();
            const int nV = s->getVCount();
            const double t = dir == 0 ? 0.42 : 0.9;
            ASSERT_EQ(s->insertKnots(t, 1, dir), 1) << rational << dir;
            EXPECT_EQ(s->getUCount(), nU + (dir == 0));
            EXPECT_EQ(s->getVCount(), nV + (dir == 1));
            EXPECT_EQ(s->rational, rational);
            EXPECT_LE(maxDistance(before, sample(*s, 100)), 1e-12) << rational << dir;
        }
    }
}

TEST(NurbsSurfInsertKnots, CountIsCappedByTheDegree)
{
    auto s = bicubic(false);
    const auto before = sample(*s, 40);
    const int nU = s->getUCount();
    // A new value takes at most p insertions.
    EXPECT_EQ(s->insertKnots(0.7, 5, 0), 3);
    EXPECT_EQ(s->getUCount(), nU + 3);
    EXPECT_EQ(s->uKnots->getMultiplicity(0.7), 3);
    // A knot of multiplicity 2 takes one more.
    EXPECT_EQ(s->insertKnots(0.3, 1, 0), 1);
    EXPECT_EQ(s->insertKnots(0.3, 2, 0), 1);
    EXPECT_EQ(s->uKnots->getMultiplicity(0.3), 3);
    // Full multiplicity takes nothing.
    EXPECT_EQ(s->insertKnots(0.3, 1, 0), 0);
    EXPECT_EQ(s->getUCount(), nU + 5);
    EXPECT_LE(maxDistance(before, sample(*s, 40)), 1e-12);
}

// Invalid directions and v on a curve used to report the requested count,
// which callers read as a successful refinement. Every request that inserts
// nothing reports 0 and leaves the surface alone.
TEST(NurbsSurfInsertKnots, InvalidDirectionReportsZeroNotRequestCount)
{
    auto s = bicubic(false);
    const auto reference = bicubic(false);
    EXPECT_EQ(s->insertKnots(0.5, 2, 2), 0);
    EXPECT_EQ(s->insertKnots(0.5, 2, -1), 0);
    EXPECT_EQ(s->insertKnots(0.0, 1, 0), 0); // domain ends
    EXPECT_EQ(s->insertKnots(1.0, 2, 0), 0);
    EXPECT_EQ(s->insertKnots(-3.0, 1, 0), 0); // clamped onto the start
    EXPECT_EQ(s->insertKnots(2.0, 1, 1), 0);
    EXPECT_EQ(s->insertKnots(0.5, 0, 0), 0);
    EXPECT_EQ(s->insertKnots(std::nan(""), 1, 0), 0);
    EXPECT_EQ(netDistance(*s, *reference), 0.0);
    EXPECT_EQ(s->uKnots->n, reference->uKnots->n);
    EXPECT_EQ(s->vKnots->n, reference->vKnots->n);
    auto c = wavyCurve();
    EXPECT_EQ(c->insertKnots(0.5, 2, 1), 0);
    EXPECT_EQ(c->vKnots->n, 0);
    EXPECT_EQ(c->getUCount(), 7);
}

TEST(NurbsSurfInsertKnots, SingleConstraintsFollowTheirPoints)
{
    // Uniform clamped cubic with 10 points in u: t = 0.5 lies in span 6.
    const knots u(9, 3, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    const knots v(3, 3, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    NurbsSurf s(u, &v);
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 10; ++i)
            s.setControlPoint(i, j, Vector(i, j, 0.0));
    auto* moved = new Fenwo::CIJSingleConstraint(s, 5, 2, Vector(5.0, 2.0, 0.0), Vector(3),
                                                 Fenwo::SingleCpKind::fixed);
    auto* kept = new Fenwo::CIJSingleConstraint(s, 1, 2, Vector(1.0, 2.0, 0.0), Vector(3),
                                                Fenwo::SingleCpKind::fixed);
    s.addConstraint(moved);
    s.addConstraint(kept);
    double t = 0.5;
    ASSERT_EQ(s.uKnots->clampToKnots(t), 6);
    ASSERT_EQ(s.insertKnots(0.5, 1, 0), 1);
    EXPECT_EQ(moved->m_i, 6);
    EXPECT_EQ(moved->m_j, 2);
    EXPECT_EQ(kept->m_i, 1);
    // Beyond the changed points the constraint still names the same point.
    auto* far = new Fenwo::CIJSingleConstraint(s, 8, 2, Vector(8.0, 2.0, 0.0), Vector(3),
                                               Fenwo::SingleCpKind::fixed);
    s.addConstraint(far);
    Vector before, after;
    s.getControlPoint(8, 2, before);
    ASSERT_EQ(s.insertKnots(0.5, 1, 0), 1);
    EXPECT_EQ(far->m_i, 9);
    EXPECT_EQ(moved->m_i, 7);
    s.getControlPoint(far->m_i, far->m_j, after);
    EXPECT_LE(norm(after - before), 1e-12);
    // Insertion in v moves the v index.
    ASSERT_EQ(s.insertKnots(0.1, 1, 1), 1);
    EXPECT_EQ(moved->m_j, 3);
    EXPECT_EQ(moved->m_i, 7);
}

// The null space and variable arrays describe the old net; keeping them
// after the net grew would index past its variables.
TEST(NurbsSurfInsertKnots, ResizedNetDropsFitState)
{
    auto s = bicubic(false);
    s->nullSpace = std::make_unique<Matrix>(4, 2);
    s->freeVariables.append(3);
    s->constrainedVariables.append(7);
    ASSERT_EQ(s->insertKnots(0.5, 1, 0), 1);
    EXPECT_EQ(s->nullSpace, nullptr);
    EXPECT_EQ(s->freeVariables.count, 0);
    EXPECT_EQ(s->constrainedVariables.count, 0);
    EXPECT_EQ(s->fitVectors[4].n, s->getUCount() * s->getVCount());

    s->nullSpace = std::make_unique<Matrix>(4, 2);
    int removed = -1;
    s->removeKnots(positionOf(*s, 0.5), 1, &removed, 1e-6);
    EXPECT_EQ(removed, 1);
    EXPECT_EQ(s->nullSpace, nullptr);
}

TEST(NurbsSurfInsertKnots, CyclicCurveKeepsShapeAcrossTheSeam)
{
    // First span, an existing knot, last span, next to the seam, and a value
    // one period on (wrapped), as fractions of the domain.
    for (bool rational : {false, true}) {
        for (double f : {0.03, 2.0 / 7.0, 0.6, 0.97, 0.999, 1.3}) {
            auto c = cyclicCurve(rational);
            const Interval D = c->getDomain(0);
            const double t = D.min + f * (D.max - D.min);
            const auto before = sample(*c, 200);
            const int n = c->getUCount();
            ASSERT_EQ(c->insertKnots(t, 1, 0), 1) << f;
            EXPECT_EQ(c->getUCount(), n + 1);
            EXPECT_EQ(c->uKnots->endCondition, knots::CyclicEnd);
            EXPECT_LE(maxDistance(before, sample(*c, 200)), 1e-12) << rational << " " << f;
            // Up to multiplicity p at the same value: the curve stays closed.
            double tw = t;
            c->uKnots->clampToRange(tw);
            const int more = 3 - c->uKnots->getMultiplicity(tw);
            ASSERT_EQ(c->insertKnots(t, 5, 0), more) << f;
            EXPECT_EQ(c->uKnots->getMultiplicity(tw), 3);
            EXPECT_LE(maxDistance(before, sample(*c, 200)), 1e-12) << rational << " " << f;
        }
    }
}

TEST(NurbsSurfInsertKnots, CyclicVDirectionKeepsShape)
{
    const knots u = fromValues({0, 0, 0, 0.4, 1, 1, 1}, 3, 2);
    const knots v(5, 2, 0.0, 1.0, knots::CyclicEnd, knots::Uniform);
    NurbsSurf s(u, &v);
    for (int j = 0; j < s.getVCount(); ++j)
        for (int i = 0; i < s.getUCount(); ++i) {
            const double a = 2.0 * M_PI * j / s.getVCount();
            s.setControlPoint(
                i, j,
                Vector((2.0 + 0.3 * i) * std::cos(a), (2.0 + 0.1 * j) * std::sin(a), i + 0.05 * j));
        }
    const auto before = sample(s, 60);
    for (double t : {0.02, 0.61, 0.95}) {
        ASSERT_EQ(s.insertKnots(t, 1, 1), 1) << t;
        EXPECT_LE(maxDistance(before, sample(s, 60)), 1e-12) << t;
    }
    EXPECT_EQ(s.getVCount(), 9);
    EXPECT_EQ(s.getUCount(), 4);
}

// ---- Removal ----------------------------------------------------------------------

TEST(NurbsSurfRemoveKnots, InsertThenRemoveRestoresControlPoints)
{
    for (bool rational : {false, true}) {
        auto s = bicubic(rational);
        const auto reference = bicubic(rational);
        ASSERT_EQ(s->insertKnots(0.42, 1, 0), 1);
        int removed = -1;
        s->removeKnots(positionOf(*s, 0.42), 1, &removed, 1e-6);
        EXPECT_EQ(removed, 1);
        EXPECT_EQ(s->uKnots->findKnot(0.42), -1);
        EXPECT_LE(netDistance(*s, *reference), 1e-9) << rational;

        auto c = wavyCurve();
        const auto curveReference = wavyCurve();
        ASSERT_EQ(c->insertKnots(0.33, 2, 0), 2);
        c->removeKnots(positionOf(*c, 0.33), 3, &removed, 1e-6); // 3 asked, 2 possible
        EXPECT_EQ(removed, 2);
        EXPECT_LE(netDistance(*c, *curveReference), 1e-9);
    }
}

// A position inside a run of equal knots used to be taken as the last one,
// which puts the removal formulas on the wrong points.
TEST(NurbsSurfRemoveKnots, PositionInsideARunMeansThatKnot)
{
    auto c = wavyCurve();
    const auto reference = wavyCurve();
    ASSERT_EQ(c->insertKnots(0.6, 2, 0), 2);
    const int last = positionOf(*c, 0.6);
    int removed = -1;
    c->removeKnots(last - 1, 2, &removed, 1e-6);
    EXPECT_EQ(removed, 2);
    EXPECT_LE(netDistance(*c, *reference), 1e-9);
}

TEST(NurbsSurfRemoveKnots, RejectedRemovalsLeaveTheCurveAlone)
{
    auto c = wavyCurve();
    const auto reference = wavyCurve();
    int removed = -1;
    // Positions outside p + 1 .. n and counts below 1.
    for (int r : {-1, 0, 3, 7, 9, 40}) {
        c->removeKnots(r, 1, &removed, 1e6);
        EXPECT_EQ(removed, 0) << r;
    }
    c->removeKnots(4, 0, &removed, 1e6);
    EXPECT_EQ(removed, 0);
    // A knot the curve needs does not meet a small tolerance.
    c->removeKnots(4, 1, &removed, 1e-6);
    EXPECT_EQ(removed, 0);
    c->removeKnots(5, 1, &removed, 1e-6);
    EXPECT_EQ(removed, 0);
    c->removeKnots(5, 1, nullptr, 1e-6);
    EXPECT_EQ(netDistance(*c, *reference), 0.0);
    EXPECT_EQ(c->uKnots->n, 6);

    // The needed knot doubled: the copy goes, the original stays.
    const auto before = sample(*c, 100);
    ASSERT_EQ(c->insertKnots(0.45, 1, 0), 1);
    c->removeKnots(positionOf(*c, 0.45), 2, &removed, 1e-6);
    EXPECT_EQ(removed, 1);
    EXPECT_EQ(c->uKnots->getMultiplicity(0.45), 1);
    EXPECT_LE(maxDistance(before, sample(*c, 100)), 1e-9);
    // A large tolerance takes the original too.
    c->removeKnots(5, 1, &removed, 1e6);
    EXPECT_EQ(removed, 1);
    EXPECT_EQ(c->getUCount(), 6);
}

TEST(NurbsSurfRemoveKnots, SurfaceLosesAKnotOnlyWhenAllRowsAgree)
{
    // Two rows in v; the inserted knot is removable in both.
    const knots u = fromValues({0, 0, 0, 0, 0.2, 0.45, 0.7, 1, 1, 1, 1}, 6, 3);
    const knots v(1, 1, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    NurbsSurf s(u, &v);
    auto c = wavyCurve();
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 7; ++i) {
            Vector p;
            c->getControlPoint(i, 0, p);
            s.setControlPoint(i, j, Vector(p[0], p[1] + j, p[2] - j));
        }
    ASSERT_EQ(s.insertKnots(0.6, 1, 0), 1);
    // Row 1 gets a kink, so that the knot is needed there.
    Vector q;
    s.getControlPoint(5, 1, q);
    s.setControlPointPosition(5, 1, Vector(q[0], q[1] + 0.5, q[2]));
    NurbsSurf copy(s);
    int removed = -1;
    s.removeKnots(positionOf(s, 0.6), 1, &removed, 1e-6);
    EXPECT_EQ(removed, 0);
    EXPECT_EQ(netDistance(s, copy), 0.0);
    EXPECT_EQ(s.uKnots->n, copy.uKnots->n);
    // Undo the kink: both rows agree and the knot leaves.
    s.setControlPointPosition(5, 1, q);
    s.removeKnots(positionOf(s, 0.6), 1, &removed, 1e-6);
    EXPECT_EQ(removed, 1);
    EXPECT_EQ(s.getUCount(), 7);
    EXPECT_EQ(s.getVCount(), 2);
}

TEST(NurbsSurfRemoveKnots, CyclicRemovalNearTheSeamKeepsShape)
{
    for (double f : {0.03, 2.0 / 7.0, 0.6, 0.97}) {
        auto c = cyclicCurve(true);
        const auto reference = cyclicCurve(true);
        const Interval D = c->getDomain(0);
        const double t = D.min + f * (D.max - D.min);
        const auto before = sample(*c, 200);
        ASSERT_EQ(c->insertKnots(t, 1, 0), 1) << t;
        const int r = positionOf(*c, t);
        ASSERT_GT(r, 0) << t;
        int removed = -1;
        c->removeKnots(r, 1, &removed, 1e-6);
        EXPECT_EQ(removed, 1) << t;
        EXPECT_EQ(c->getUCount(), 7);
        EXPECT_LE(maxDistance(before, sample(*c, 200)), 1e-9) << t;
        EXPECT_LE(netDistance(*c, *reference), 1e-9) << t;
    }
}

// At the seam of a closed curve the knot takes up to p insertions like any
// other; one more would need a knot the vector cannot hold, so nothing is
// inserted rather than a net that no longer matches its knots.
TEST(NurbsSurfInsertKnots, CyclicSeamFullMultiplicityInsertsNothing)
{
    auto c = cyclicCurve(false);
    const Interval D = c->getDomain(0);
    const auto before = sample(*c, 200);
    const int inserted = c->insertKnots(D.min, 5, 0);
    ASSERT_GE(inserted, 1);
    EXPECT_EQ(c->uKnots->getMultiplicity(D.min), 3);
    EXPECT_LE(maxDistance(before, sample(*c, 200)), 1e-12);
    NurbsSurf copy(*c);
    EXPECT_EQ(c->insertKnots(D.min, 1, 0), 0);
    EXPECT_EQ(c->insertKnots(D.max, 1, 0), 0); // the same point of the period
    EXPECT_EQ(netDistance(*c, copy), 0.0);
    EXPECT_EQ(c->uKnots->n, copy.uKnots->n);
}
