#include "geometry/NurbsSurf.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <functional>
#include <memory>

using Fenwo::NurbsSurf;

namespace {

// Flat bicubic 4 x 4 net with S(u, v) = (u, v, 0) on [0, 1]^2.
std::unique_ptr<NurbsSurf> flatSurface()
{
    const knots u(3, 3, 0.0, 1.0);
    auto s = std::make_unique<NurbsSurf>(u, &u);
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i)
            s->setControlPoint(i, j, Vector(i / 3.0, j / 3.0, 0.0));
    return s;
}

// Fit points on the plane z = 0.1 above the surface, projected onto it.
void planePoints(NurbsSurf& s, CFitPointArray& pts, IndexSubset<CFitPoint>& sel)
{
    for (int j = 1; j <= 4; ++j)
        for (int i = 1; i <= 4; ++i) {
            const double x = 0.2 * i, y = 0.2 * j;
            pts.append(CFitPoint(Vector(x, y, 0.1), Vector(x + 0.03, y - 0.02, 0.0)));
        }
    sel = IndexSubset<CFitPoint>(pts);
    sel.selectAll();
    s.PointInversion(sel, 10);
}

// Reduced step whose free control-point variables take value(i, j, d) (the
// null-space coordinates 0; no knot variables).
Vector reducedStep(NurbsSurf& s, const std::function<double(int i, int j, int d)>& value)
{
    s.buildConstraintNullSpace();
    Vector y(s.getSystemSize());
    for (int e = 0; e < s.freeVariables.count; ++e) {
        const int var = s.freeVariables[e];
        int i, j, d;
        s.splitUnknownIndex(var, i, j, d);
        y[e] = value(i, j, d);
    }
    return y;
}

double objective(NurbsSurf& s, IndexSubset<CFitPoint>& sel)
{
    double f = 0.0, P = 0.0;
    s.lineSearchObjective(sel, 0.0, false, f, P);
    return f;
}

double maxNetChange(const std::vector<Vector>& a, const std::vector<Vector>& b)
{
    double m = 0.0;
    for (size_t c = 0; c < a.size(); ++c)
        for (int k = 0; k < 4; ++k)
            m = std::max(m, std::fabs(a[c][k] - b[c][k]));
    return m;
}

} // namespace

TEST(NurbsSurfLineSearch, DescentStepReducesObjective)
{
    // Lifting every z by 0.1 fits the points exactly: f(alpha) = f0 (1 - alpha)^2,
    // g = -2 f0.
    for (double alpha0 : {1.0, 1.7}) {
        auto s = flatSurface();
        CFitPointArray pts;
        IndexSubset<CFitPoint> sel;
        planePoints(*s, pts, sel);
        double f0 = objective(*s, sel);
        ASSERT_NEAR(f0, 16 * 0.01, 1e-10);
        const Vector y = reducedStep(*s, [](int, int, int d) { return d == 2 ? -0.1 : 0.0; });
        double scale = 1.0, fOut = -1.0, pOut = -1.0;
        const double a =
            s->newtonLineSearch(y, alpha0, sel, &f0, &scale, -2.0 * f0, &fOut, 0, &pOut, 0.0, 0.0);
        // alpha0 = 1 has ratio 0.5 and is taken at once; 1.7 is not accepted
        // (ratio 0.15) and the quadratic through it leads to the minimum.
        EXPECT_NEAR(a, 1.0, alpha0 == 1.0 ? 0.0 : 1e-9);
        EXPECT_LT(fOut, 1e-16);
        Vector p(3);
        s->getControlPoint(2, 1, p);
        EXPECT_NEAR(p[2], 0.1, 1e-9);
        // The points carry the parameters of the accepted trial and its distances.
        for (int k = 0; k < sel.count; ++k) {
            EXPECT_NEAR(sel[k].uv[0], sel[k].Point[0], 1e-7);
            EXPECT_LT(sel[k].dist2, 1e-16);
        }
    }
}

TEST(NurbsSurfLineSearch, NoImprovingTrialLeavesSurfaceUnchanged)
{
    auto s = flatSurface();
    CFitPointArray pts;
    IndexSubset<CFitPoint> sel;
    planePoints(*s, pts, sel);
    double f0 = objective(*s, sel), scale = 1.0, fOut = -1.0, pOut = -1.0;
    const auto before = s->saveEuclideanNet();
    const Vector down = reducedStep(*s, [](int, int, int d) { return d == 2 ? -0.1 : 0.0; });
    auto search = [&](const Vector& y, double g) {
        return s->newtonLineSearch(y, 1.0, sel, &f0, &scale, g, &fOut, 0, &pOut, 0.0, 0.0);
    };
    // No descent: nothing is tried.
    EXPECT_EQ(search(down, 0.0), 0.0);
    EXPECT_EQ(fOut, f0);
    EXPECT_EQ(maxNetChange(before, s->saveEuclideanNet()), 0.0);
    // The step lowers the surface away from the points although g claims a
    // descent: every trial is worse than f0 and none may be settled on.
    const Vector up = reducedStep(*s, [](int, int, int d) { return d == 2 ? 0.1 : 0.0; });
    EXPECT_EQ(search(up, -0.5), 0.0);
    EXPECT_LT(maxNetChange(before, s->saveEuclideanNet()), 1e-15);
    EXPECT_NEAR(fOut, f0, 1e-12);
}

TEST(NurbsSurfLineSearch, FoldingTrialRejectedWithCheckFolds)
{
    // Cubic curve on the x axis, points on y = 0.1. The step lifts the
    // polygon onto the points and pushes control point 2 back past point 1
    // at alpha > 0.4, folding the polygon; the objective ignores that fold.
    const knots u(4, 3, 0.0, 1.0);
    NurbsSurf c(u, nullptr);
    for (int i = 0; i < 5; ++i)
        c.setControlPoint(i, 0, Vector(i, 0.0, 0.0));
    CFitPointArray pts;
    for (int k = 1; k <= 9; ++k)
        pts.append(CFitPoint(Vector(0.4 * k, 0.1, 0.0), Vector(0.1 * k, 0.0, 0.0)));
    IndexSubset<CFitPoint> sel(pts);
    sel.selectAll();
    c.PointInversion(sel, 10);
    double f0 = objective(c, sel);
    ASSERT_NEAR(f0, 9 * 0.01, 1e-9);
    const Vector y = reducedStep(
        c, [](int i, int, int d) { return d == 1 ? -0.1 : (d == 0 && i == 2 ? 2.5 : 0.0); });
    c.checkFolds = true;
    double scale = 1.0, fOut = -1.0, pOut = -1.0;
    const double a =
        c.newtonLineSearch(y, 1.0, sel, &f0, &scale, -2.0 * f0, &fOut, 0, &pOut, 0.0, 0.0);
    EXPECT_GT(a, 0.0);
    EXPECT_LE(a, 0.4);
    EXPECT_FALSE(c.checkTurningAngles());
    EXPECT_LT(fOut, f0);
}

TEST(NurbsSurfLineSearch, ApplyNewtonStepDampsAndBounds)
{
    auto s = flatSurface();
    const auto saved = s->saveEuclideanNet();
    Vector x(s->countUnknowns());
    const int c = 5; // control point (1, 1)
    x[4 * c + 0] = -3.0;
    x[4 * c + 1] = 0.01;
    x[4 * c + 2] = 1e200;
    x[4 * c + 3] = 5.0; // weight would become negative

    // Undamped: saved - alpha x.
    ASSERT_TRUE(s->applyNewtonStep(saved, x, 0.5, 2.0));
    Vector p(3);
    double w = 0.0;
    s->getControlPointAndWeight(p, 1, 1, w);
    EXPECT_NEAR(p[0], 1.0 / 3.0 + 1.5, 1e-12);
    EXPECT_EQ(w, 1e-4);

    // Damped with stepLimit 0.5 and sqrt(s) = 2: each move bounded by 1.
    s->dampSteps = 1;
    s->stepLimit = 0.5;
    ASSERT_TRUE(s->applyNewtonStep(saved, x, 0.5, 2.0));
    s->getControlPointAndWeight(p, 1, 1, w);
    EXPECT_NEAR(p[0] - 1.0 / 3.0, 1.5 / std::sqrt(1.0 + 1.5 * 1.5), 1e-12);
    EXPECT_NEAR(p[1] - 1.0 / 3.0, -0.005 / std::sqrt(1.0 + 0.005 * 0.005), 1e-15);
    EXPECT_NEAR(p[2], -1.0, 1e-12); // a huge move ends just at the bound
    EXPECT_GE(p[2], -1.0);
}

TEST(NurbsSurfLineSearch, ApplyNewtonStepKeepsFreeKnotsOrdered)
{
    // Cubic curve whose interior knots 1/3 and 2/3 are pushed far past each
    // other.
    const knots u(5, 3, 0.0, 1.0);
    NurbsSurf c(u, nullptr);
    for (int i = 0; i < 6; ++i)
        c.setControlPoint(i, 0, Vector(i, 0.0, 0.0));
    c.freeKnots = true;
    const auto saved = c.saveEuclideanNet();
    Vector x(c.countUnknowns());
    ASSERT_EQ(x.n, 4 * 6 + 2);
    x[c.getKnotUnknownIndex(4)] = -100.0; // up
    x[c.getKnotUnknownIndex(5)] = 100.0;  // down
    ASSERT_TRUE(c.applyNewtonStep(saved, x, 1.0, 1.0));
    for (int m = 3; m <= 5; ++m) // positions 3 .. 6: 0, the two free knots, 1
        EXPECT_GE(c.uKnots->valueAt(m + 1) - c.uKnots->valueAt(m), 1e-8 * 0.999) << m;
    EXPECT_NEAR(c.uKnots->valueAt(4) + c.uKnots->valueAt(5), 2.0 / 3.0 + 1.0 / 3.0, 1e-12);
}

TEST(NurbsSurfLineSearch, StepRulesFindMinimaOfExactPolynomials)
{
    // Quadratic 1 - 2x + x^2, minimum at 1, from a trial at 0.5 or 3.
    EXPECT_NEAR(NurbsSurf::quadraticStep(1.0, -2.0, 0.5, 0.25, DBL_MAX), 1.0, 1e-14);
    EXPECT_NEAR(NurbsSurf::quadraticStep(1.0, -2.0, 3.0, 4.0, DBL_MAX), 1.0, 1e-14);
    // Beyond the bound, or no curvature: a quarter of the trial.
    EXPECT_EQ(NurbsSurf::quadraticStep(1.0, -2.0, 0.5, 0.25, 0.9), 0.125);
    EXPECT_EQ(NurbsSurf::quadraticStep(1.0, -2.0, 0.5, 0.0, DBL_MAX), 0.125);

    // Cubic 1 - 3x + x^3: minimum at 1, maximum at -1.
    auto cubic = [](double x) { return 1.0 - 3.0 * x + x * x * x; };
    EXPECT_NEAR(NurbsSurf::cubicStep(1.0, -3.0, 0.5, cubic(0.5), 2.0, cubic(2.0), DBL_MAX, -1.0),
                1.0, 1e-12);
    // An exact quadratic seen as a cubic (c3 = 0) still gives its minimum.
    auto quad = [](double x) { return 1.0 - 2.0 * x + x * x; };
    EXPECT_NEAR(NurbsSurf::cubicStep(1.0, -2.0, 0.3, quad(0.3), 2.5, quad(2.5), DBL_MAX, -1.0), 1.0,
                1e-12);
    // Minimum beyond the bound, or a singular system: the fallback.
    EXPECT_EQ(NurbsSurf::cubicStep(1.0, -3.0, 0.5, cubic(0.5), 2.0, cubic(2.0), 0.9, -1.0), -1.0);
    EXPECT_EQ(NurbsSurf::cubicStep(1.0, -3.0, 0.5, cubic(0.5), 0.5, cubic(0.5), DBL_MAX, -1.0),
              -1.0);
}

TEST(NurbsSurfLineSearch, CubicStepWithNegativeLeadingCoefficient)
{
    // 2 - x + 3x^2 - x^3 falls, rises to a maximum and falls again: both
    // stationary points 1 -+ sqrt(2/3) are positive and the smaller one is
    // the minimum. The sign of c3 must survive the guard of the divisor.
    auto both = [](double x) { return 2.0 - x + 3.0 * x * x - x * x * x; };
    const double xmin = 1.0 - std::sqrt(2.0 / 3.0);
    EXPECT_NEAR(NurbsSurf::cubicStep(2.0, -1.0, 0.5, both(0.5), 1.5, both(1.5), DBL_MAX, -1.0),
                xmin, 1e-12);
    // A minimum beyond the bound leaves the maximum, which is no step: the
    // second stationary point is taken only when below the bound too.
    EXPECT_EQ(NurbsSurf::cubicStep(2.0, -1.0, 0.5, both(0.5), 1.5, both(1.5), 0.1, -1.0), -1.0);
}

// With the slope and objective handed in understated, the first trial (0.5)
// already hits the exact fit, and the cubic steps that follow close in on it
// from above, each replacing the worse stored entry. The best objective is
// kept through those replacements: were it set to each replacing trial's
// value, a later trial worse than the first would become the result.
TEST(NurbsSurfLineSearch, ReplacedEntryDoesNotLowerTheBestObjective)
{
    auto s = flatSurface();
    CFitPointArray pts;
    IndexSubset<CFitPoint> sel;
    planePoints(*s, pts, sel);
    const Vector y = reducedStep(*s, [](int, int, int d) { return d == 2 ? -0.2 : 0.0; });
    double f0 = 0.1, scale = 1.0, fOut = -1.0, pOut = -1.0;
    const double a =
        s->newtonLineSearch(y, 0.5, sel, &f0, &scale, -0.001, &fOut, 0, &pOut, 0.0, 0.0);
    EXPECT_EQ(a, 0.5);
    EXPECT_LT(fOut, 1e-20);
}
