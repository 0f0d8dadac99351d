#include "geometry/Constraint.h"
#include "geometry/BoundaryConstraint.h"
#include "geometry/ConstraintEquations.h"
#include "geometry/IJConstraints.h"
#include "geometry/KnotAndNormalConstraints.h"
#include "geometry/NurbsSurf.h"
#include "geometry/SparseLinearEquation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <string>

using namespace Fenwo;

namespace {

// A planar nU x nV surface in z = 0 with control point (i, j) at (i, j, 0),
// degree min(3, count - 1) in each direction.
std::unique_ptr<NurbsSurf> planarSurface(int nU, int nV)
{
    knots u(nU - 1, std::min(3, nU - 1), 0.0, 1.0);
    std::unique_ptr<NurbsSurf> s;
    if (nV > 1) {
        knots v(nV - 1, std::min(3, nV - 1), 0.0, 1.0);
        s = std::make_unique<NurbsSurf>(u, &v);
    } else {
        s = std::make_unique<NurbsSurf>(u);
    }
    for (int j = 0; j < nV; ++j)
        for (int i = 0; i < nU; ++i)
            s->setControlPoint(i, j, Vector(i, j, 0.0), 1.0);
    return s;
}

// Equations of one constraint alone (fresh fixed list).
EquationList equationsOf(CConstraint& c, NurbsSurf& s)
{
    EquationList eqs;
    s.fixedControlPoints.count = 0;
    c.addEquations(eqs, &s, s.getUCount(), s.getVCount());
    return eqs;
}

// Largest |row . x - rhs| over the equations.
double largestResidual(const EquationList& eqs, const Vector& x)
{
    double worst = 0.0;
    for (const CSparseLinearEquation& e : eqs) {
        double sum = 0.0;
        for (int k = 0; k < e.row.getCellCount(); ++k)
            sum += e.row.cellAt(k).value * x[e.row.cellAt(k).index];
        worst = std::max(worst, std::fabs(sum - e.rhs));
    }
    return worst;
}

// Random increments of all 4 nU nV unknowns.
Vector randomIncrements(const NurbsSurf& s, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    Vector x(4 * s.getUCount() * s.getVCount());
    for (int k = 0; k < x.n; ++k)
        x[k] = dist(gen);
    return x;
}

int unknown(const NurbsSurf& s, int i, int j, int d)
{
    return d + 4 * (i + s.getUCount() * j);
}

std::string textOf(const CConstraint& c)
{
    std::ostringstream os;
    os.precision(16);
    c.write(os);
    return os.str();
}

// Reads a record back the way the surface reader does: keyword, then the
// record by type.
std::unique_ptr<CConstraint> readBack(const std::string& text)
{
    std::istringstream is(text);
    int type = -1;
    readConstraintType(is, type);
    return std::unique_ptr<CConstraint>(newConstraintFromStream(type, is));
}

} // namespace

// ---- Sparse rows --------------------------------------------------------------

TEST(SparseLinearEquation, RowKeepsSortedNonZeroCellsAndCopiesDeeply)
{
    CSparseNumericVector<double> row;
    row.set(9, 2.0);
    row.set(1, -1.0);
    row.add(5, 0.5);
    row.add(5, 0.25);
    row.add(7, 0.0); // zero contribution: no cell
    ASSERT_EQ(row.getCellCount(), 3);
    EXPECT_EQ(row.cellAt(0).index, 1);
    EXPECT_EQ(row.cellAt(1).index, 5);
    EXPECT_DOUBLE_EQ(row.cellAt(1).value, 0.75);
    EXPECT_EQ(row.cellAt(2).index, 9);

    row.set(9, 0.0); // setting zero removes the cell
    row.add(1, 1.0); // a sum of zero removes it too
    ASSERT_EQ(row.getCellCount(), 1);
    EXPECT_DOUBLE_EQ(row.get(5), 0.75);
    EXPECT_DOUBLE_EQ(row.get(1), 0.0);

    CSparseLinearEquation e(row, 3.0, 0);
    row.set(5, 4.0);
    EXPECT_DOUBLE_EQ(e.row.get(5), 0.75);
    EquationList list;
    list.append(e);
    list.append(e); // growth copies the rows, never shares the cells
    list[0].row.set(2, 1.0);
    EXPECT_EQ(list[1].row.getCellCount(), 1);
    EXPECT_DOUBLE_EQ(list[1].rhs, 3.0);
}

// ---- Text ---------------------------------------------------------------------

TEST(ConstraintText, EveryRecordWritesReadsAndWritesIdentically)
{
    auto surf = planarSurface(4, 4);
    CRemoveKnotsConstraint knotsC(4, 5, 0, 3, false);
    knotsC.m_option = true;
    knotsC.m_counts.append(2);
    knotsC.m_counts.append(1);
    CIJRelationConstraint shortRelation(0, 0, 1, 2);
    CIJRelationConstraint longRelation(1, 1, 0, 1, 2, 1, 1.0 / 3.0);
    CIJSingleConstraint single(*surf, 2, 3, Vector(0.1, -2.5, 1e-7), Vector(0.0, 0.6, 0.8),
                               SingleCpKind::inLine);
    CBoundaryConstraint corner(uvNorthWest, BoundaryConstraintKind::symmetry,
                               Vector(1.5, 0.0, -3.0), Vector(0.0, 0.0, 1.0));
    CIJRegionConstraint region(1, 2, 0, 3);
    CFixWeightsConstraint weights(fixCornerWeights);
    CAllNormalsConstraint normals;

    ScopedVectorOutputPrecision precision(16);
    const CConstraint* all[] = {&knotsC, &shortRelation, &longRelation, &single,
                                &corner, &region,        &weights,      &normals};
    for (const CConstraint* c : all) {
        const std::string first = textOf(*c);
        std::unique_ptr<CConstraint> back = readBack(first);
        ASSERT_NE(back, nullptr) << first;
        EXPECT_EQ(back->m_type, c->m_type);
        // A relation equals only itself; every other record equals its copy.
        EXPECT_EQ(*back == *c, c->m_type != Fenwo::ijRelationConstraint) << first;
        EXPECT_EQ(textOf(*back), first);
    }

    // The record layouts.
    EXPECT_EQ(textOf(region), "ij_region 1 2 0 3");
    EXPECT_EQ(textOf(shortRelation), "ij_relation 0 0 1 2 -1 -1 0");
    EXPECT_EQ(textOf(knotsC), "knot_continuity 4 5 0 3 0 1 2 2 1 ");
    EXPECT_EQ(textOf(weights), "weights fixCornerWeights ");
    EXPECT_EQ(textOf(normals), "all_normals ");
    EXPECT_EQ(textOf(corner), "boundary uvNorthWest symmetry \n [1.5,0,-3]\n [0,0,1]");

    // Field values survive, the short form is recognised by its -1 indices.
    auto rel = readBack(textOf(longRelation));
    const auto& r = static_cast<const CIJRelationConstraint&>(*rel);
    EXPECT_EQ(r.m_threePoint, 1);
    EXPECT_NEAR(r.m_t, 1.0 / 3.0, 1e-15);
    auto shortBack = readBack(textOf(shortRelation));
    EXPECT_EQ(static_cast<const CIJRelationConstraint&>(*shortBack).m_threePoint, 0);
    auto sb = readBack(textOf(single));
    const auto& s = static_cast<const CIJSingleConstraint&>(*sb);
    EXPECT_EQ(s.m_kind, SingleCpKind::inLine);
    EXPECT_NEAR(s.m_point[2], 1e-7, 1e-22);
    EXPECT_NEAR(s.m_direction[2], 0.8, 1e-15);
    auto kb = readBack(textOf(knotsC));
    const auto& k = static_cast<const CRemoveKnotsConstraint&>(*kb);
    EXPECT_FALSE(k.m_inU);
    EXPECT_TRUE(k.m_option);
    ASSERT_EQ(k.m_counts.count, 2);
    EXPECT_EQ(k.m_counts[0], 2);
}

TEST(ConstraintText, SingleRecordWritesItsVectorsAtSixteenDigits)
{
    auto surf = planarSurface(3, 3);
    CIJSingleConstraint c(*surf, 0, 0, Vector(1.0 / 3.0, 0.0, 0.0), Vector(0.0, 0.0, 1.0),
                          SingleCpKind::fixed);
    ScopedVectorOutputPrecision wide(20);
    EXPECT_EQ(textOf(c), "single_cp fixed 0 0 [0.3333333333333333,0,0] [0,0,1]");
    EXPECT_EQ(vectorOutputPrecision(), 20);
}

TEST(ConstraintText, KeywordReadersReportUnknownWords)
{
    testing::internal::CaptureStdout();
    std::istringstream types("Boundary weights");
    int type = 5;
    readConstraintType(types, type);
    EXPECT_EQ(type, 0);
    readConstraintType(types, type);
    EXPECT_EQ(type, 2);
    std::istringstream weights("FixAllWeights");
    CFixWeightsConstraint w(fixCornerWeights);
    w.read(weights);
    EXPECT_EQ(w.m_mode, fixAllWeights);
    std::istringstream kinds("C3Fix");
    BoundaryConstraintKind kind = BoundaryConstraintKind::C2Fix;
    readBoundaryConstraintKind(kinds, kind);
    EXPECT_EQ(kind, BoundaryConstraintKind::inPlane);
    std::ostringstream sink;
    writeConstraintType(sink, 8);
    writeBoundaryConstraintKind(sink, static_cast<BoundaryConstraintKind>(9));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "unknown enum key on read!\n'Boundary'\n"
                   "unknown weights-String:FixAllWeights\n"
                   "unknown enum key on read!\n'C3Fix'\n"
                   "unknown enum on write!\nunknown enum on write!\n");
    EXPECT_EQ(sink.str(), "");

    // Prefix match of the weights words; the single kind reader has no message.
    std::istringstream prefixed("fixCornerWeightsX");
    w.read(prefixed);
    EXPECT_EQ(w.m_mode, fixCornerWeights);
    std::istringstream other("sideways");
    SingleCpKind sk = SingleCpKind::inLine;
    readSingleCpKind(other, sk);
    EXPECT_EQ(sk, SingleCpKind::fixed);

    testing::internal::CaptureStdout();
    std::istringstream simple("7");
    EXPECT_EQ(newConstraintFromStream(isSimpleGeometryConstraint, simple), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "unKnown constraint is_simple_geometry  found.\n");
}

TEST(ConstraintText, EmptyVectorsAreStoredAsZeroVectorsSoTheRecordReadsBack)
{
    CBoundaryConstraint c(uvEast, BoundaryConstraintKind::C0Fix, Vector(), Vector());
    auto back = readBack(textOf(c));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(static_cast<const CBoundaryConstraint&>(*back).m_normal.n, 3);
}

// ---- Identity and adding --------------------------------------------------------

TEST(ConstraintIdentity, AddingReplacesOnlyEqualConstraints)
{
    auto surf = planarSurface(4, 5);
    ASSERT_EQ(surf->constraints.count, 1); // the weights constraint of every surface

    surf->addConstraint(new CBoundaryConstraint(uvSouth, BoundaryConstraintKind::inPlane, Vector(3),
                                                Vector(0.0, 0.0, 1.0)));
    surf->addConstraint(new CBoundaryConstraint(uvNorth, BoundaryConstraintKind::C0Fix));
    CConstraint* c1 =
        surf->addConstraint(new CBoundaryConstraint(uvSouth, BoundaryConstraintKind::C1Fix));
    ASSERT_EQ(surf->constraints.count, 3);
    EXPECT_EQ(surf->constraints[2], c1);
    EXPECT_EQ(static_cast<CBoundaryConstraint*>(c1)->m_kind, BoundaryConstraintKind::C1Fix);

    CConstraint* w = surf->addConstraint(new CFixWeightsConstraint(fixCornerWeights));
    EXPECT_EQ(surf->constraints.count, 3);
    EXPECT_EQ(surf->constraints[2], w);

    surf->addConstraint(new CIJRelationConstraint(0, 0, 1, 1));
    surf->addConstraint(new CIJRelationConstraint(0, 0, 1, 2)); // differs in j1: kept
    surf->addConstraint(new CIJRelationConstraint(0, 0, 1, 1)); // identical: kept as well
    EXPECT_EQ(surf->constraints.count, 6);

    surf->addConstraint(new CIJSingleConstraint(*surf, 2, 3, Vector(2.0, 3.0, 0.0),
                                                Vector(1.0, 0.0, 0.0), SingleCpKind::inLine));
    surf->addConstraint(new CIJSingleConstraint(*surf, 2, 3, Vector(2.0, 3.0, 0.0), Vector(3),
                                                SingleCpKind::fixed));
    EXPECT_EQ(surf->constraints.count, 8);

    surf->addConstraint(new CRemoveKnotsConstraint(4, 4, 0, 3, true));
    surf->addConstraint(new CRemoveKnotsConstraint(4, 4, 0, 3, false));
    surf->addConstraint(new CAllNormalsConstraint());
    surf->addConstraint(new CAllNormalsConstraint());
    EXPECT_EQ(surf->constraints.count, 11);
    // Records of different types never compare equal.
    CIJRegionConstraint region(0, 0, 0, 0);
    for (CConstraint* c : surf->constraints)
        EXPECT_FALSE(*c == region);
}

// The ordering of relation constraints is a strict ordering in which a
// relation equals only itself (and its copies): (0,0,1,..) orders before
// (0,0,2,..) one way only, and relations whose indices tie are told apart by
// their order of construction, so none replaces another in a surface's list.
TEST(ConstraintIdentity, RelationOrderingIsStrictAndEqualsOnlyItself)
{
    CIJRelationConstraint a(0, 0, 1, 5);
    CIJRelationConstraint b(0, 0, 2, 0);
    EXPECT_FALSE(a < a);
    EXPECT_TRUE(a == a);
    EXPECT_TRUE(a < b);
    EXPECT_FALSE(b < a);
    const CIJRelationConstraint copy(a);
    EXPECT_TRUE(copy == a);
    CIJRelationConstraint same(0, 0, 1, 5);
    CIJRelationConstraint otherJ1(0, 0, 1, 9);
    EXPECT_FALSE(same == a);
    EXPECT_TRUE(a < same && same < otherJ1); // j1 takes no part: construction order decides
    EXPECT_FALSE(same < a);
    CIJRelationConstraint longA(0, 0, 1, 5, 2, 2, 0.5);
    EXPECT_FALSE(longA == a);
    EXPECT_TRUE(a < longA); // the form decides before the indices
}

// ---- Placement of single control points ------------------------------------------

TEST(SingleConstraint, InitTargetProjectsOntoPlaneOrLineKeepingTheWeight)
{
    auto surf = planarSurface(3, 3);
    surf->setControlPoint(1, 1, Vector(1.0, 2.0, 3.0), 0.5);
    CIJSingleConstraint plane(*surf, 1, 1, Vector(0.0, 0.0, 0.0), Vector(0.0, 0.0, 2.0),
                              SingleCpKind::inPlane);
    Vector p;
    double w = 0.0;
    surf->getControlPointAndWeight(p, 1, 1, w);
    EXPECT_NEAR(p[0], 1.0, 1e-15);
    EXPECT_NEAR(p[1], 2.0, 1e-15);
    EXPECT_NEAR(p[2], 0.0, 1e-15);
    EXPECT_DOUBLE_EQ(w, 0.5);

    surf->setControlPoint(2, 1, Vector(1.0, 2.0, 3.0), 2.0);
    CIJSingleConstraint line(*surf, 2, 1, Vector(3), Vector(1.0, 0.0, 0.0), SingleCpKind::inLine);
    surf->getControlPointAndWeight(p, 2, 1, w);
    EXPECT_NEAR(p[0], 1.0, 1e-15);
    EXPECT_NEAR(p[1], 0.0, 1e-15);
    EXPECT_NEAR(p[2], 0.0, 1e-15);
    EXPECT_DOUBLE_EQ(w, 2.0);

    surf->setControlPoint(0, 2, Vector(4.0, 5.0, 6.0), 1.0);
    CIJSingleConstraint fixed(*surf, 0, 2, Vector(3), Vector(0.0, 0.0, 1.0), SingleCpKind::fixed);
    CIJSingleConstraint zero(*surf, 0, 2, Vector(3), Vector(3), SingleCpKind::inLine);
    CIJSingleConstraint outside(*surf, 7, 2, Vector(3), Vector(0.0, 0.0, 1.0),
                                SingleCpKind::inPlane);
    surf->getControlPointAndWeight(p, 0, 2, w);
    EXPECT_DOUBLE_EQ(p[2], 6.0);
    EXPECT_DOUBLE_EQ(p[0], 4.0);
    surf->getControlPointAndWeight(p, 1, 2, w); // (7 wraps to 1) untouched
    EXPECT_DOUBLE_EQ(p[0], 1.0);
}

TEST(SingleConstraint, KnotInsertionShiftsIndicesAboveTheThreshold)
{
    auto surf = planarSurface(5, 5);
    auto* a = static_cast<CIJSingleConstraint*>(surf->addConstraint(
        new CIJSingleConstraint(*surf, 3, 1, Vector(3), Vector(3), SingleCpKind::fixed)));
    auto* b = static_cast<CIJSingleConstraint*>(surf->addConstraint(
        new CIJSingleConstraint(*surf, 1, 3, Vector(3), Vector(3), SingleCpKind::fixed)));
    surf->shiftSingleConstraints(4, 2, 0); // threshold 4 - 3 = 1 in u
    EXPECT_EQ(a->m_i, 5);
    EXPECT_EQ(b->m_i, 1);
    surf->shiftSingleConstraints(4, 1, 1);
    EXPECT_EQ(a->m_j, 1);
    EXPECT_EQ(b->m_j, 4);
}

// ---- Equations: counts and assembly -------------------------------------------------

TEST(ConstraintEquations, RowCountsOfFixingConstraints)
{
    auto s44 = planarSurface(4, 4);
    CIJRegionConstraint region(1, 2, 1, 2);
    EXPECT_EQ(equationsOf(region, *s44).count, 36);

    auto s56 = planarSurface(5, 6);
    CBoundaryConstraint north(uvNorth, BoundaryConstraintKind::C1Fix);
    EXPECT_EQ(equationsOf(north, *s56).count, 30);
    CBoundaryConstraint west(uvWest, BoundaryConstraintKind::C2Fix);
    EXPECT_EQ(equationsOf(west, *s56).count, 54);
    CBoundaryConstraint ortho(uvWest, BoundaryConstraintKind::orthoPlane);
    EXPECT_EQ(equationsOf(ortho, *s56).count, 0);
    CBoundaryConstraint cornerFix(uvNorthEast, BoundaryConstraintKind::C0Fix);
    EXPECT_EQ(equationsOf(cornerFix, *s56).count, 0);

    CFixWeightsConstraint all;
    EXPECT_EQ(equationsOf(all, *s56).count, 30);
    CFixWeightsConstraint corners(fixCornerWeights);
    EXPECT_EQ(equationsOf(corners, *s56).count, 4);
    auto row = planarSurface(5, 1);
    EquationList eqs = equationsOf(corners, *row);
    ASSERT_EQ(eqs.count, 2);
    EXPECT_EQ(eqs[0].row.cellAt(0).index, 3);
    EXPECT_EQ(eqs[1].row.cellAt(0).index, 3 + 4 * 4);
}

TEST(ConstraintEquations, RegionGoesFirstAndSuppressesLaterFixingOutsideIt)
{
    auto surf = planarSurface(4, 4);
    surf->constraints.deleteAll();
    surf->addConstraint(
        new CIJSingleConstraint(*surf, 0, 0, Vector(3), Vector(3), SingleCpKind::fixed));
    surf->addConstraint(new CIJSingleConstraint(*surf, 0, 1, Vector(3), Vector(0.0, 0.0, 1.0),
                                                SingleCpKind::inPlane));
    surf->addConstraint(new CIJRegionConstraint(1, 2, 1, 2));
    EquationList eqs;
    surf->addConstraintEquations(eqs);
    EXPECT_EQ(eqs.count, 36);
    EXPECT_EQ(surf->fixedControlPoints.count, 12);
    // Inside the region the single constraint still adds its row.
    surf->addConstraint(new CIJSingleConstraint(*surf, 1, 1, Vector(3), Vector(0.0, 0.0, 1.0),
                                                SingleCpKind::inPlane));
    surf->addConstraintEquations(eqs);
    EXPECT_EQ(eqs.count, 37);
}

TEST(ConstraintEquations, InvalidPositionsPrintTheirMessageAndAddNothing)
{
    auto surf = planarSurface(4, 4);
    CBoundaryConstraint g1(uvSouthWest, BoundaryConstraintKind::epsG1Fix);
    CBoundaryConstraint normal(undefinedPosition, BoundaryConstraintKind::normal);
    CBoundaryConstraint direction(uvNorthEast, BoundaryConstraintKind::normalDirection);
    testing::internal::CaptureStdout();
    EXPECT_EQ(equationsOf(g1, *surf).count, 0);
    EXPECT_EQ(equationsOf(normal, *surf).count, 0);
    EXPECT_EQ(equationsOf(direction, *surf).count, 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "invalid boundary position for fixg1\n"
                                                      "invalid boundary position for fixNormal\n"
                                                      "invalid boundary position for fixNormal\n");
}

// ---- Equations: satisfied by respecting increments, violated otherwise -------------

TEST(ConstraintEquations, FixingAndWeightConstraintsHoldExactlyForRespectingIncrements)
{
    auto surf = planarSurface(4, 5);
    CIJRegionConstraint region(1, 2, 1, 3);
    CBoundaryConstraint c1(uvEast, BoundaryConstraintKind::C1Fix);
    CFixWeightsConstraint weights;
    auto outsideRegion = [](int i, int j) { return i < 1 || i > 2 || j < 1 || j > 3; };
    auto nearEast = [](int i, int) { return i >= 2; };
    struct Case {
        CConstraint* c;
        std::function<bool(int, int, int)> held; // is unknown (i, j, d) held at 0?
    } cases[] = {
        {&region, [&](int i, int j, int d) { return d < 3 && outsideRegion(i, j); }},
        {&c1, [&](int i, int j, int d) { return d < 3 && nearEast(i, j); }},
        {&weights, [](int, int, int d) { return d == 3; }},
    };
    for (Case& c : cases) {
        const EquationList eqs = equationsOf(*c.c, *surf);
        Vector x = randomIncrements(*surf, 7);
        for (int j = 0; j < 5; ++j)
            for (int i = 0; i < 4; ++i)
                for (int d = 0; d < 4; ++d)
                    if (c.held(i, j, d))
                        x[unknown(*surf, i, j, d)] = 0.0;
        EXPECT_EQ(largestResidual(eqs, x), 0.0) << textOf(*c.c);
        // Moving one held unknown breaks an equation.
        for (int j = 0; j < 5; ++j)
            for (int i = 0; i < 4; ++i)
                for (int d = 0; d < 4; ++d)
                    if (c.held(i, j, d)) {
                        Vector y = x;
                        y[unknown(*surf, i, j, d)] = 0.5;
                        EXPECT_GT(largestResidual(eqs, y), 0.1) << textOf(*c.c);
                    }
    }
}

TEST(ConstraintEquations, RelationsTieIncrementsTogether)
{
    auto surf = planarSurface(4, 4);
    CIJRelationConstraint shortForm(0, 0, 3, 2);
    CIJRelationConstraint longForm(1, 1, 0, 1, 3, 1, 0.25);
    Vector x = randomIncrements(*surf, 3);
    for (int d = 0; d < 3; ++d) {
        x[unknown(*surf, 0, 0, d)] = x[unknown(*surf, 3, 2, d)];
        x[unknown(*surf, 1, 1, d)] =
            0.75 * x[unknown(*surf, 0, 1, d)] + 0.25 * x[unknown(*surf, 3, 1, d)];
    }
    const EquationList s = equationsOf(shortForm, *surf);
    const EquationList l = equationsOf(longForm, *surf);
    ASSERT_EQ(s.count, 3);
    ASSERT_EQ(l.count, 3);
    EXPECT_LT(largestResidual(s, x), 1e-15);
    EXPECT_LT(largestResidual(l, x), 1e-15);
    x[unknown(*surf, 1, 1, 2)] += 0.1;
    x[unknown(*surf, 3, 2, 0)] += 0.1;
    EXPECT_GT(largestResidual(s, x), 0.05);
    EXPECT_GT(largestResidual(l, x), 0.05);

    // t = 0 drops the third point: two cells per row.
    CIJRelationConstraint t0(1, 1, 0, 1, 3, 1, 0.0);
    for (const CSparseLinearEquation& e : equationsOf(t0, *surf))
        EXPECT_EQ(e.row.getCellCount(), 2);
}

// A relation of a control point with itself says nothing: it must not fix the
// point (a replacing rather than summing coefficient would leave -1 alone).
TEST(ConstraintEquations, RelationOfAPointWithItselfAddsNoEquation)
{
    auto surf = planarSurface(3, 3);
    CIJRelationConstraint self(1, 1, 1, 1);
    EXPECT_EQ(equationsOf(self, *surf).count, 0);
    // Long form with the first point repeated: (1 - t)(x0 - x1) = 0.
    CIJRelationConstraint repeated(1, 1, 0, 0, 1, 1, 0.5);
    const EquationList eqs = equationsOf(repeated, *surf);
    ASSERT_EQ(eqs.count, 3);
    EXPECT_DOUBLE_EQ(eqs[0].row.get(unknown(*surf, 1, 1, 0)), 0.5);
    EXPECT_DOUBLE_EQ(eqs[0].row.get(unknown(*surf, 0, 0, 0)), -0.5);
}

TEST(ConstraintEquations, IndicesOutsideTheGridAddNoRows)
{
    auto surf = planarSurface(3, 3);
    CIJRelationConstraint rel(0, 0, 5, 0);
    CIJSingleConstraint fixed(*surf, -1, 0, Vector(3), Vector(3), SingleCpKind::fixed);
    CIJRegionConstraint region(0, 9, 0, 9);
    EXPECT_EQ(equationsOf(rel, *surf).count, 0);
    EXPECT_EQ(equationsOf(fixed, *surf).count, 0);
    EXPECT_EQ(equationsOf(region, *surf).count, 0);
}

TEST(ConstraintEquations, SingleConstraintsAllowExactlyTheirMotion)
{
    auto surf = planarSurface(4, 4);
    const Vector dir = normalized(Vector(1.0, 2.0, 2.0));
    CIJSingleConstraint plane(*surf, 1, 2, Vector(1.0, 2.0, 0.0), dir, SingleCpKind::inPlane);
    CIJSingleConstraint line(*surf, 2, 1, Vector(2.0, 1.0, 0.0), dir, SingleCpKind::inLine);
    CIJSingleConstraint fixed(*surf, 3, 3, Vector(3.0, 3.0, 0.0), dir, SingleCpKind::fixed);
    const EquationList pe = equationsOf(plane, *surf);
    const EquationList le = equationsOf(line, *surf);
    const EquationList fe = equationsOf(fixed, *surf);
    EXPECT_EQ(pe.count, 1);
    EXPECT_EQ(le.count, 2);
    EXPECT_EQ(fe.count, 3);

    Vector x = randomIncrements(*surf, 11);
    const Vector inPlane = crossProduct(dir, Vector(0.0, 0.0, 1.0));
    for (int d = 0; d < 3; ++d) {
        x[unknown(*surf, 1, 2, d)] = 0.3 * inPlane[d];
        x[unknown(*surf, 2, 1, d)] = -0.7 * dir[d];
        x[unknown(*surf, 3, 3, d)] = 0.0;
    }
    EXPECT_LT(largestResidual(pe, x), 1e-15);
    EXPECT_LT(largestResidual(le, x), 1e-15);
    EXPECT_EQ(largestResidual(fe, x), 0.0);
    for (int d = 0; d < 3; ++d) {
        x[unknown(*surf, 1, 2, d)] += 0.2 * dir[d];
        x[unknown(*surf, 2, 1, d)] += 0.2 * inPlane[d];
        x[unknown(*surf, 3, 3, d)] = 0.2;
    }
    EXPECT_GT(largestResidual(pe, x), 0.1);
    EXPECT_GT(largestResidual(le, x), 0.1);
    EXPECT_GT(largestResidual(fe, x), 0.1);

    // A zero line direction constrains nothing rather than fixing the point.
    CIJSingleConstraint zero(*surf, 0, 0, Vector(3), Vector(3), SingleCpKind::inLine);
    EXPECT_EQ(equationsOf(zero, *surf).count, 0);
}

TEST(ConstraintEquations, BoundaryPlaneAndSymmetryRows)
{
    auto surf = planarSurface(4, 5);
    const Vector n(0.0, 0.0, 1.0);
    CBoundaryConstraint plane(uvNorth, BoundaryConstraintKind::inPlane, Vector(3), n);
    CBoundaryConstraint sym(uvWest, BoundaryConstraintKind::symmetry, Vector(3), n);
    const EquationList pe = equationsOf(plane, *surf);
    const EquationList se = equationsOf(sym, *surf);
    EXPECT_EQ(pe.count, 4);
    EXPECT_EQ(se.count, 15);
    // The z row of a symmetric point has no cell on its neighbour.
    EXPECT_EQ(se[2].row.getCellCount(), 1);

    Vector x = randomIncrements(*surf, 5);
    for (int i = 0; i < 4; ++i)
        x[unknown(*surf, i, 4, 2)] = 0.0;
    for (int j = 0; j < 5; ++j) {
        x[unknown(*surf, 0, j, 0)] = x[unknown(*surf, 1, j, 0)];
        x[unknown(*surf, 0, j, 1)] = x[unknown(*surf, 1, j, 1)];
        x[unknown(*surf, 0, j, 2)] = 0.0;
    }
    EXPECT_LT(largestResidual(pe, x), 1e-15);
    EXPECT_LT(largestResidual(se, x), 1e-15);
    x[unknown(*surf, 2, 4, 2)] = 0.3;
    x[unknown(*surf, 0, 3, 2)] = 0.3;
    EXPECT_GT(largestResidual(pe, x), 0.2);
    EXPECT_GT(largestResidual(se, x), 0.2);
}

// On the plane z = 0 the normal is (0, 0, 1): increments without z keep every
// tangent plane and normal direction; a z increment near a side tilts it.
TEST(ConstraintEquations, TangentPlaneAndNormalRowsOfASide)
{
    auto surf = planarSurface(4, 5);
    CBoundaryConstraint normal(uvWest, BoundaryConstraintKind::normal);
    CBoundaryConstraint g1(uvSouth, BoundaryConstraintKind::epsG1Fix);
    CBoundaryConstraint direction(uvEast, BoundaryConstraintKind::normalDirection);
    CAllNormalsConstraint all;
    const EquationList ne = equationsOf(normal, *surf);
    const EquationList ge = equationsOf(g1, *surf);
    const EquationList de = equationsOf(direction, *surf);
    const EquationList ae = equationsOf(all, *surf);
    EXPECT_EQ(ne.count, 10);     // two rows per abscissa along v
    EXPECT_EQ(ge.count, 12 + 4); // the fixed south row, then one row per abscissa
    EXPECT_EQ(de.count, 10);
    EXPECT_EQ(ae.count, 40);

    Vector x = randomIncrements(*surf, 13);
    for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 4; ++i)
            x[unknown(*surf, i, j, 2)] = 0.0;
    for (int i = 0; i < 4; ++i)
        for (int d = 0; d < 3; ++d)
            x[unknown(*surf, i, 0, d)] = 0.0; // the fixed south row
    EXPECT_LT(largestResidual(ne, x), 1e-12);
    EXPECT_LT(largestResidual(ge, x), 1e-12);

    // Normal directions: the east column and every point move along z only.
    Vector z(x.n);
    for (int k = 2; k < z.n; k += 4)
        z[k] = 0.1 * k;
    EXPECT_LT(largestResidual(de, z), 1e-12);
    EXPECT_LT(largestResidual(ae, z), 1e-12);
    z[unknown(*surf, 3, 2, 0)] = 0.4;
    EXPECT_GT(largestResidual(de, z), 0.1);
    EXPECT_GT(largestResidual(ae, z), 0.1);

    Vector tilt = x;
    tilt[unknown(*surf, 1, 2, 2)] = 0.5; // next to the west side, and above the south row
    tilt[unknown(*surf, 2, 1, 2)] = 0.5;
    EXPECT_GT(largestResidual(ne, tilt), 0.01);
    EXPECT_GT(largestResidual(ge, tilt), 0.01);

    // Raising the side point and its inward neighbour together keeps the
    // cross derivative at the side but bends the side itself: only the
    // along-the-side rows see it.
    Vector bend = x;
    bend[unknown(*surf, 0, 2, 2)] = 0.5;
    bend[unknown(*surf, 1, 2, 2)] = 0.5;
    EXPECT_GT(largestResidual(ne, bend), 0.01);
    for (int k = 0; k < ne.count; k += 2) {
        EquationList across;
        across.append(ne[k]);
        EXPECT_LT(largestResidual(across, bend), 1e-12);
    }
}

// The rows address control points, so they are built in the parameters of
// the control net: flagging a direction as reversed changes no row (up to
// the sign of the whole row), and a rigid translation of a curved surface
// keeps every tangent plane.
TEST(ConstraintEquations, SideRowsOfACurvedSurfaceIgnoreReversalFlags)
{
    auto surf = planarSurface(4, 5);
    for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 4; ++i)
            surf->setControlPoint(i, j, Vector(i, j, 0.3 * i * i - 0.2 * i * j + 0.1 * j * j), 1.0);
    CBoundaryConstraint normal(uvEast, BoundaryConstraintKind::normal);
    CBoundaryConstraint g1(uvNorth, BoundaryConstraintKind::epsG1Fix);
    const EquationList plain = equationsOf(normal, *surf);
    const EquationList plainG1 = equationsOf(g1, *surf);
    for (const CSparseLinearEquation& e : plainG1)
        EXPECT_LT(std::fabs(e.rhs), 1e-12);

    Vector shift(4 * 20);
    for (int k = 0; k < shift.n; ++k)
        shift[k] = k % 4 == 3 ? 0.0 : 0.1 * (k % 4 + 1);
    EXPECT_LT(largestResidual(plain, shift), 1e-12);

    surf->reverseU();
    surf->reverseV();
    const EquationList reversed = equationsOf(normal, *surf);
    const EquationList reversedG1 = equationsOf(g1, *surf);
    ASSERT_EQ(reversed.count, plain.count);
    ASSERT_EQ(reversedG1.count, plainG1.count);
    auto sameUpToSign = [](const CSparseLinearEquation& a, const CSparseLinearEquation& b) {
        if (a.row.getCellCount() != b.row.getCellCount())
            return false;
        const double sign = a.row.cellAt(0).value * b.row.cellAt(0).value < 0.0 ? -1.0 : 1.0;
        for (int k = 0; k < a.row.getCellCount(); ++k)
            if (a.row.cellAt(k).index != b.row.cellAt(k).index ||
                std::fabs(a.row.cellAt(k).value - sign * b.row.cellAt(k).value) > 1e-12)
                return false;
        return true;
    };
    for (int k = 0; k < plain.count; ++k)
        EXPECT_TRUE(sameUpToSign(plain[k], reversed[k])) << k;
    for (int k = 0; k < plainG1.count; ++k)
        EXPECT_TRUE(sameUpToSign(plainG1[k], reversedG1[k])) << k;
}

TEST(ConstraintEquations, EpsG1OnACurveKeepsTheSecondPointOnTheEndTangent)
{
    auto curve = planarSurface(5, 1); // points (i, 0, 0): tangent along x
    CBoundaryConstraint start(uvWest, BoundaryConstraintKind::epsG1Fix);
    CBoundaryConstraint end(uvEast, BoundaryConstraintKind::epsG1Fix);
    const EquationList se = equationsOf(start, *curve);
    const EquationList ee = equationsOf(end, *curve);
    ASSERT_EQ(se.count, 5);
    ASSERT_EQ(ee.count, 5);
    Vector x(4 * 5);
    x[unknown(*curve, 1, 0, 0)] = 0.3; // along the tangent
    x[unknown(*curve, 3, 0, 0)] = -0.2;
    EXPECT_LT(largestResidual(se, x), 1e-15);
    EXPECT_LT(largestResidual(ee, x), 1e-15);
    x[unknown(*curve, 1, 0, 1)] = 0.3;
    x[unknown(*curve, 3, 0, 2)] = 0.3;
    EXPECT_GT(largestResidual(se, x), 0.2);
    EXPECT_GT(largestResidual(ee, x), 0.2);
}

// Knot continuity on a cubic u knot vector 0 0 0 0 1 2 2 2 3 3 3 3: the
// simple knot 1 (position 4) keeps the third derivative, the triple knot 2
// (positions 5..7) the first. Increments that are a linear function of the
// Greville abscissae (linear precision) are smooth across both; a kink at the
// triple knot breaks the first, a bump breaks the third derivative.
TEST(ConstraintEquations, KnotContinuityHoldsForSmoothIncrements)
{
    Kor::List<double> values;
    for (double v : {0.0, 0.0, 0.0, 0.0, 1.0, 2.0, 2.0, 2.0, 3.0, 3.0, 3.0, 3.0})
        values.append(v);
    knots u(values, 7, 3);
    knots v(1, 1, 0.0, 1.0);
    NurbsSurf surf(u, &v);
    ASSERT_EQ(surf.getUCount(), 8);
    Vector g;
    surf.uKnots->getGrevilleAbscissae(g);

    CRemoveKnotsConstraint simple(4, 4, 0, 1, true);
    CRemoveKnotsConstraint triple(7, 7, 1, 1, true);
    const EquationList se = equationsOf(simple, surf);
    const EquationList te = equationsOf(triple, surf);
    EXPECT_EQ(se.count, 6);
    EXPECT_EQ(te.count, 3);
    EXPECT_EQ(simple.m_counts.count, 1);

    Vector x(4 * 8 * 2);
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 8; ++i)
            for (int d = 0; d < 3; ++d)
                x[unknown(surf, i, j, d)] = (d + 1.0) * g[i] - 0.5 * j;
    EXPECT_LT(largestResidual(se, x), 1e-12);
    EXPECT_LT(largestResidual(te, x), 1e-12);

    Vector kink = x;
    for (int i = 0; i < 8; ++i)
        kink[unknown(surf, i, 1, 0)] = std::fabs(g[i] - 2.0);
    EXPECT_GT(largestResidual(te, kink), 0.1);
    Vector bump = x;
    bump[unknown(surf, 2, 0, 1)] += 0.5;
    EXPECT_GT(largestResidual(se, bump), 0.01);

    // The same rows along v: control indices c run over i.
    NurbsSurf swapped(v, &u);
    CRemoveKnotsConstraint inV(7, 7, 0, 0, false);
    const EquationList ve = equationsOf(inV, swapped);
    ASSERT_EQ(ve.count, 3);
    for (int k = 0; k < ve[0].row.getCellCount(); ++k)
        EXPECT_EQ(ve[0].row.cellAt(k).index % 8, 0); // i = 0: index 4 (2 j) + d
}

// ---- Constraints inside the surface text --------------------------------------------

TEST(ConstraintText, SurfaceWritesAndReadsItsConstraintListUnchanged)
{
    auto surf = planarSurface(4, 4);
    surf->addConstraint(new CBoundaryConstraint(uvNorthWest, BoundaryConstraintKind::C1Fix,
                                                Vector(0.1, 0.2, 0.3), Vector(0.0, 1.0, 0.0)));
    surf->addConstraint(new CIJRelationConstraint(0, 0, 1, 1, 2, 2, 0.125));
    surf->addConstraint(new CIJSingleConstraint(*surf, 1, 2, Vector(1.0, 2.0, 0.0),
                                                Vector(0.0, 0.0, 1.0), SingleCpKind::inPlane));
    surf->addConstraint(new CRemoveKnotsConstraint(3, 3, 0, 3, true));
    surf->addConstraint(new CAllNormalsConstraint());
    std::ostringstream first;
    surf->writeGeometry(first);
    EXPECT_NE(first.str().find("Begin(Constraints)\n6\nweights fixAllWeights \nboundary "),
              std::string::npos);

    std::istringstream in(first.str());
    NurbsSurf back(in, false);
    ASSERT_TRUE(back.valid);
    ASSERT_EQ(back.constraints.count, surf->constraints.count);
    for (int k = 0; k < back.constraints.count; ++k)
        EXPECT_EQ(back.constraints[k]->m_type, surf->constraints[k]->m_type) << k;
    std::ostringstream second;
    back.writeGeometry(second);
    EXPECT_EQ(second.str(), first.str());

    surf->constraints.deleteAll();
    std::ostringstream none;
    surf->writeGeometry(none);
    EXPECT_EQ(none.str().find("Begin(Constraints)"), std::string::npos);
}
