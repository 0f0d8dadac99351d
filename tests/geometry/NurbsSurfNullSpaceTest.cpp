#include "foundation/IndexSubset.h"
#include "geometry/BoundaryConstraint.h"
#include "geometry/IJConstraints.h"
#include "geometry/NurbsSurf.h"
#include "geometry/SparseLinearEquation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using Fenwo::NurbsSurf;

namespace {

// Constraint that appends the equations it is given, to build any system.
class EquationConstraint : public Fenwo::CConstraint {
public:
    using Row = std::vector<std::pair<int, double>>;
    std::vector<Row> rows;
    int id;
    EquationConstraint(int identity, std::vector<Row> r)
        : CConstraint(Fenwo::knotContinuityConstraint), rows(std::move(r)), id(identity)
    {
    }
    bool operator<(const Fenwo::CSetElement& o) const override
    {
        return id < dynamic_cast<const EquationConstraint&>(o).id;
    }
    std::ostream& write(std::ostream& os) const override { return os; }
    std::istream& read(std::istream& is) override { return is; }
    CConstraint* clone() const override { return new EquationConstraint(*this); }
    void addEquations(Kor::List<CSparseLinearEquation>& eqs, NurbsSurf*, int, int) override
    {
        for (const Row& r : rows) {
            CSparseLinearEquation eq;
            for (const auto& [index, value] : r)
                eq.row.add(index, value);
            eqs.append(eq);
        }
    }
};

// Bicubic-by-biquadratic surface on a slightly curved grid of nU x nV points.
std::unique_ptr<NurbsSurf> makeSurface(int nU, int nV)
{
    const knots u(nU - 1, 3, 0.0, 1.0);
    const knots v(nV - 1, 2, 0.0, 1.0);
    auto s = std::make_unique<NurbsSurf>(u, &v);
    for (int j = 0; j < nV; ++j)
        for (int i = 0; i < nU; ++i)
            s->setControlPoint(i, j, Vector(i, j, 0.1 * i * j - 0.05 * j * j));
    return s;
}

// Surface without any constraint (not even the weights constraint).
std::unique_ptr<NurbsSurf> unconstrainedSurface(int nU, int nV)
{
    auto s = makeSurface(nU, nV);
    s->constraints.deleteAll();
    return s;
}

bool contains(const Kor::Array<int>& a, int v)
{
    return std::find(a.begin(), a.end(), v) != a.end();
}

// Largest |row . increment| over the surface's equations for the full
// increment of a reduced vector of pseudo-random entries.
double largestEquationResidual(NurbsSurf& s, Vector& full)
{
    Vector reduced(s.getSystemSize());
    for (int e = 0; e < reduced.n; ++e)
        reduced[e] = std::sin(1.7 * e + 0.3);
    s.expandUnknowns(full, reduced);
    Kor::List<CSparseLinearEquation> eqs;
    s.addConstraintEquations(eqs);
    double worst = 0.0;
    for (const CSparseLinearEquation& eq : eqs) {
        double sum = 0.0;
        for (int k = 0; k < eq.row.getCellCount(); ++k)
            sum += eq.row.cellAt(k).value * full[eq.row.cellAt(k).index];
        worst = std::max(worst, std::fabs(sum));
    }
    return worst;
}

// Every variable is exactly one of fixed, free and constrained, as its state says.
void expectConsistentClassification(const NurbsSurf& s)
{
    ASSERT_EQ(s.variableState.count, s.countUnknowns());
    EXPECT_EQ(s.fixedVariables.count + s.freeVariables.count + s.constrainedVariables.count,
              s.countUnknowns());
    for (int v : s.fixedVariables)
        EXPECT_EQ(s.variableState[v], 0) << v;
    for (int v : s.freeVariables)
        EXPECT_EQ(s.variableState[v], 1) << v;
    for (int v : s.constrainedVariables)
        EXPECT_EQ(s.variableState[v], 2) << v;
    EXPECT_TRUE(std::is_sorted(s.constrainedVariables.begin(), s.constrainedVariables.end()));
    ASSERT_NE(s.nullSpace, nullptr);
    EXPECT_EQ(s.nullSpace->rows, s.constrainedVariables.count);
}

} // namespace

TEST(NurbsSurfNullSpace, WithoutConstraintsEveryVariableIsFree)
{
    auto s = unconstrainedSurface(5, 4);
    Matrix* Z = s->buildConstraintNullSpace();
    ASSERT_NE(Z, nullptr);
    EXPECT_EQ(Z->rows, 0);
    EXPECT_EQ(Z->cols, 0);
    EXPECT_EQ(s->freeVariables.count, 80);
    EXPECT_EQ(s->fixedVariables.count, 0);
    for (int v = 0; v < 80; ++v)
        EXPECT_EQ(s->variableState[v], 1);
    EXPECT_EQ(s->getSystemSize(), 80);
    expectConsistentClassification(*s);
}

TEST(NurbsSurfNullSpace, SingleCellEquationsFixTheirVariables)
{
    // A fixed control point: its x, y, z are fixed, its weight stays free.
    auto s = unconstrainedSurface(5, 4);
    s->addConstraint(new Fenwo::CIJSingleConstraint(*s, 2, 1, Vector(2, 1, 0), Vector(3),
                                                    Fenwo::SingleCpKind::fixed));
    s->buildConstraintNullSpace();
    for (int d = 0; d < 3; ++d) {
        EXPECT_EQ(s->variableState[s->getUnknownIndex(2, 1, d)], 0);
        EXPECT_TRUE(contains(s->fixedVariables, s->getUnknownIndex(2, 1, d)));
    }
    EXPECT_EQ(s->variableState[s->getUnknownIndex(2, 1, 3)], 1);
    EXPECT_EQ(s->nullSpace->cols, 0);
    expectConsistentClassification(*s);

    // The weights constraint every surface carries fixes all weights the same way.
    auto w = makeSurface(4, 3);
    w->buildConstraintNullSpace();
    for (int c = 0; c < 12; ++c) {
        EXPECT_EQ(w->variableState[4 * c + 3], 0);
        EXPECT_EQ(w->variableState[4 * c], 1);
    }
    expectConsistentClassification(*w);
}

TEST(NurbsSurfNullSpace, DependentEquationsLoseRankAndKeepTheTrueNullSpace)
{
    // Three points tied in a cycle: the third relation follows from the
    // first two, so 3 of the 9 equations are dependent, and the 9 coupled
    // coordinates keep 3 degrees of freedom (the common translation).
    auto s = unconstrainedSurface(5, 4);
    s->addConstraint(new Fenwo::CIJRelationConstraint(0, 0, 1, 0));
    s->addConstraint(new Fenwo::CIJRelationConstraint(1, 0, 2, 0));
    s->addConstraint(new Fenwo::CIJRelationConstraint(0, 0, 2, 0));
    testing::internal::CaptureStdout();
    Matrix* Z = s->buildConstraintNullSpace();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "loss of rank 3 columns from 9 columns \n");
    ASSERT_NE(Z, nullptr);
    EXPECT_EQ(Z->rows, 9);
    EXPECT_EQ(Z->cols, 3);
    expectConsistentClassification(*s);
    Vector full;
    EXPECT_LT(largestEquationResidual(*s, full), 1e-12);
    // The coupled points move together.
    for (int d = 0; d < 3; ++d) {
        EXPECT_NEAR(full[s->getUnknownIndex(0, 0, d)], full[s->getUnknownIndex(2, 0, d)], 1e-12);
        EXPECT_GT(std::fabs(full[s->getUnknownIndex(0, 0, d)]), 1e-3);
    }

    // A second call hands back the cached basis without rebuilding.
    testing::internal::CaptureStdout();
    EXPECT_EQ(s->buildConstraintNullSpace(), Z);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(NurbsSurfNullSpace, VariablesPinnedByCoupledEquationsBecomeFixed)
{
    // x0 = 0 and x0 - x4 = 0 pin both x0 and x4 (neither equation is settled
    // by classification); x8 + x12 = 0 leaves one degree of freedom.
    auto s = unconstrainedSurface(4, 3);
    s->addConstraint(
        new EquationConstraint(1, {{{0, 1.0}}, {{0, 1.0}, {4, -1.0}}, {{8, 1.0}, {12, 1.0}}}));
    Matrix* Z = s->buildConstraintNullSpace();
    ASSERT_NE(Z, nullptr);
    EXPECT_EQ(Z->cols, 1);
    ASSERT_EQ(s->constrainedVariables.count, 2);
    EXPECT_EQ(s->constrainedVariables[0], 8);
    EXPECT_EQ(s->constrainedVariables[1], 12);
    EXPECT_NEAR(std::fabs(Z->at(0, 0)), std::sqrt(0.5), 1e-14);
    EXPECT_NEAR(Z->at(0, 0), -Z->at(1, 0), 1e-14);
    EXPECT_EQ(s->variableState[0], 0);
    EXPECT_EQ(s->variableState[4], 0);
    EXPECT_TRUE(contains(s->fixedVariables, 0));
    EXPECT_TRUE(contains(s->fixedVariables, 4));
    expectConsistentClassification(*s);
    Vector full;
    EXPECT_LT(largestEquationResidual(*s, full), 1e-12);
    EXPECT_EQ(full[0], 0.0);
    EXPECT_EQ(full[4], 0.0);
}

TEST(NurbsSurfNullSpace, IncrementsSatisfyBoundaryConstraints)
{
    // In-plane sides meet at the corners, symmetry couples two rows, a
    // relation and an in-line point add more: every increment Z y must keep
    // every equation.
    auto s = makeSurface(7, 6);
    Vector n(1.0, 2.0, 2.0);
    n *= 1.0 / 3.0;
    s->addConstraint(new Fenwo::CBoundaryConstraint(uvSouth, Fenwo::BoundaryConstraintKind::inPlane,
                                                    Vector(3), n));
    s->addConstraint(new Fenwo::CBoundaryConstraint(uvWest, Fenwo::BoundaryConstraintKind::inPlane,
                                                    Vector(3), Vector(0.6, 0.0, 0.8)));
    s->addConstraint(new Fenwo::CBoundaryConstraint(
        uvNorth, Fenwo::BoundaryConstraintKind::symmetry, Vector(3), Vector(0.0, 1.0, 0.0)));
    s->addConstraint(new Fenwo::CBoundaryConstraint(uvEast, Fenwo::BoundaryConstraintKind::C0Fix));
    s->addConstraint(new Fenwo::CIJRelationConstraint(3, 3, 2, 2, 4, 2, 0.25));
    s->addConstraint(new Fenwo::CIJSingleConstraint(*s, 3, 2, Vector(3, 2, 0), Vector(1, 1, 1),
                                                    Fenwo::SingleCpKind::inLine));
    testing::internal::CaptureStdout();
    Matrix* Z = s->buildConstraintNullSpace();
    testing::internal::GetCapturedStdout();
    ASSERT_NE(Z, nullptr);
    EXPECT_GT(Z->cols, 0);
    expectConsistentClassification(*s);
    // The columns are orthonormal.
    for (int a = 0; a < Z->cols; ++a)
        for (int b = 0; b < Z->cols; ++b) {
            double dot = 0.0;
            for (int r = 0; r < Z->rows; ++r)
                dot += Z->at(r, a) * Z->at(r, b);
            EXPECT_NEAR(dot, a == b ? 1.0 : 0.0, 1e-12);
        }
    Vector full;
    EXPECT_LT(largestEquationResidual(*s, full), 1e-12);
    for (int v : s->fixedVariables)
        EXPECT_EQ(full[v], 0.0) << v;
    // The fixed east column does not move, the south side moves in its plane.
    EXPECT_EQ(full[s->getUnknownIndex(6, 3, 1)], 0.0);
    const int c = s->getUnknownIndex(2, 0, 0);
    EXPECT_NEAR(n[0] * full[c] + n[1] * full[c + 1] + n[2] * full[c + 2], 0.0, 1e-12);
}

TEST(NurbsSurfNullSpace, KnotVariablesFollowTheNullSpaceCoordinates)
{
    const knots u(6, 3, 0.0, 1.0); // three simple interior knots
    NurbsSurf c(u, nullptr);
    for (int i = 0; i < 7; ++i)
        c.setControlPoint(i, 0, Vector(i, 0.5 * i * i, 0.0));
    c.freeKnots = true;
    c.addConstraint(new Fenwo::CIJRelationConstraint(1, 0, 2, 0));
    c.buildConstraintNullSpace();
    expectConsistentClassification(c);
    const int U = 28;
    ASSERT_EQ(c.countUnknowns(), U + 3);
    EXPECT_EQ(c.freeVariables[c.freeVariables.count - 3], U);
    EXPECT_EQ(c.freeVariables[c.freeVariables.count - 1], U + 2);
    const int zCols = c.nullSpace->cols;
    ASSERT_EQ(zCols, 3);
    const int f = c.freeVariables.count - 3;

    // Knot and null-space coordinates have reduced indices of their own.
    Vector reduced(c.getSystemSize());
    for (int k = 0; k < 3; ++k)
        reduced[f + zCols + k] = 10.0 + k;
    Vector full;
    c.expandUnknowns(full, reduced);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(full[U + k], 10.0 + k);
    for (int v = 0; v < U; ++v)
        EXPECT_EQ(full[v], 0.0);
    reduced.fill(0.0);
    reduced[f] = 1.0;
    c.expandUnknowns(full, reduced);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(full[U + k], 0.0);

    EXPECT_EQ(c.getKnotUnknownIndex(4), U);
    EXPECT_EQ(c.getKnotUnknownIndex(6), U + 2);
    EXPECT_EQ(c.getKnotUnknownIndex(3), -1);
    EXPECT_EQ(c.getKnotUnknownIndex(7), -1);
    EXPECT_EQ(c.getKnotPosition(U + 1), 5);
    EXPECT_EQ(c.getKnotPosition(U + 3), -1);
    EXPECT_EQ(c.getKnotPosition(3), -1);
}

TEST(NurbsSurfNullSpace, KnotVariablesMapThroughSimpleInteriorKnotsOnly)
{
    // Interior knots 0.25 (double) and 0.5, 0.75 (simple): positions 4 and 5
    // hold the double knot and are no variables.
    const std::vector<double> values = {0, 0, 0, 0, 0.25, 0.25, 0.5, 0.75, 1, 1, 1, 1};
    const knots u(values.data(), static_cast<int>(values.size()), 3, false);
    ASSERT_EQ(u.countSimpleInteriorKnots(), 2);
    NurbsSurf c(u, nullptr);
    const int U = 4 * c.getUCount();
    EXPECT_EQ(c.getKnotUnknownIndex(4), -1);
    EXPECT_EQ(c.getKnotUnknownIndex(5), -1);
    EXPECT_EQ(c.getKnotUnknownIndex(6), U);
    EXPECT_EQ(c.getKnotUnknownIndex(7), U + 1);
    EXPECT_EQ(c.getKnotPosition(U), 6);
    EXPECT_EQ(c.getKnotPosition(U + 1), 7);
}

TEST(NurbsSurfNullSpace, PrepareFitWorkspaceSizesTheTableAndFollowsFreeKnots)
{
    auto s = makeSurface(5, 4);
    EXPECT_TRUE(s->prepareFitWorkspace());
    ASSERT_NE(s->fitWorkspace, nullptr);
    ASSERT_NE(s->nullSpace, nullptr);
    // Derivative orders up to 2, all the fit evaluates.
    for (int a = 0; a < 4; ++a)
        for (int b = 0; b < 4; ++b) {
            ASSERT_EQ(static_cast<int>(s->fitWorkspace->entries[a][b].size()), a + b <= 2 ? 80 : 0);
            if (a + b <= 2) {
                EXPECT_EQ(s->fitWorkspace->entries[a][b][79].n, 3);
            }
        }
    const Matrix* before = s->nullSpace.get();
    EXPECT_TRUE(s->prepareFitWorkspace());
    EXPECT_EQ(s->nullSpace.get(), before);

    // Switching free knots on changes the variables: the classification is rebuilt.
    s->freeKnots = true;
    EXPECT_TRUE(s->prepareFitWorkspace());
    EXPECT_EQ(s->fitWorkspace->variableCount, 81);
    EXPECT_EQ(s->variableState.count, 81);
    EXPECT_EQ(s->variableState[80], 1);
}

// ---- Interpolation through a knot vector ------------------------------------

namespace {

struct PointSet {
    Kor::Array<CFitPoint> points;
    IndexSubset<CFitPoint> subset;
    void add(double t, const Vector& p)
    {
        Vector uv(2);
        uv[0] = t;
        points.append(CFitPoint(p, uv));
    }
    IndexSubset<CFitPoint>& all()
    {
        subset = IndexSubset<CFitPoint>(points);
        subset.selectAll();
        return subset;
    }
};

double largestMiss(NurbsSurf& c, PointSet& ps)
{
    double worst = 0.0;
    Vector q;
    for (const CFitPoint& fp : ps.points) {
        c.evaluatePoint(q, fp.uv[0], 0.0);
        q -= fp.Point;
        worst = std::max(worst, norm(q));
    }
    return worst;
}

} // namespace

TEST(NurbsSurfNullSpace, InterpolationPassesThroughThePoints)
{
    // Clamped cubic through 9 points of a helix at Greville-like parameters.
    const knots k(8, 3, 0.0, 2.0);
    PointSet ps;
    for (int m = 0; m < 9; ++m) {
        const double t = k.getGrevilleAbscissa(m);
        ps.add(t, Vector(std::cos(2 * t), std::sin(2 * t), 0.3 * t));
    }
    std::unique_ptr<NurbsSurf> c(interpolateWithKnots(k, ps.all()));
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(c->isCurve());
    EXPECT_EQ(c->getUCount(), 9);
    EXPECT_LT(largestMiss(*c, ps), 1e-9);
    Vector xyz;
    double w = 0.0;
    c->getControlPointAndWeight(xyz, 4, 0, w);
    EXPECT_EQ(w, 1.0);
}

TEST(NurbsSurfNullSpace, InterpolationWrapsOnACyclicKnotVector)
{
    const knots k(7, 3, 0.0, 1.0, knots::CyclicEnd);
    ASSERT_EQ(k.getControlPointCount(), 8);
    const Interval domain = k.getDomain();
    PointSet ps;
    for (int m = 0; m < 8; ++m) {
        // Span midpoints would make the circulant system singular.
        const double t = domain.min + (m + 0.3) / 8.0 * (domain.max - domain.min);
        ps.add(t, Vector(std::cos(6.283185307179586 * t), std::sin(6.283185307179586 * t),
                         0.1 * std::sin(12.566370614359172 * t)));
    }
    std::unique_ptr<NurbsSurf> c(interpolateWithKnots(k, ps.all()));
    ASSERT_NE(c, nullptr);
    EXPECT_LT(largestMiss(*c, ps), 1e-9);
    // The closed curve meets itself at the seam.
    Vector a, b;
    c->evaluatePoint(a, domain.min, 0.0);
    c->evaluatePoint(b, domain.max - 1e-12, 0.0);
    b -= a;
    EXPECT_LT(norm(b), 1e-9);
}

TEST(NurbsSurfNullSpace, InterpolationReportsAnInconsistentSystem)
{
    // Four different points at one parameter: the rows are equal, the
    // right-hand sides are not.
    const knots k(3, 3, 0.0, 1.0);
    PointSet ps;
    for (int m = 0; m < 4; ++m)
        ps.add(0.5, Vector(10.0 * m, 0.0, 0.0));
    testing::internal::CaptureStdout();
    NurbsSurf* c = interpolateWithKnots(k, ps.all());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(c, nullptr);
    EXPECT_EQ(out.rfind("resx too large:", 0), 0u) << out;
    delete c;
}

TEST(NurbsSurfNullSpace, InterpolationRejectsCountMismatch)
{
    // Five points on a vector of six control points would index past the
    // system; the mismatch is refused.
    const knots k(5, 3, 0.0, 1.0);
    PointSet ps;
    for (int m = 0; m < 5; ++m)
        ps.add(m / 4.0, Vector(m, 0.0, 0.0));
    EXPECT_EQ(interpolateWithKnots(k, ps.all()), nullptr);
    PointSet none;
    EXPECT_EQ(interpolateWithKnots(k, none.all()), nullptr);
}
