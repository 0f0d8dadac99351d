#include "geometry/NurbsSurf.h"
#include "geometry/Binomial.h"
#include "geometry/IJConstraints.h"
#include "geometry/SparseLinearEquation.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <sstream>
#include <string>

using Fenwo::NurbsSurf;

namespace {

// nU x nV bilinear-knotted... degree-1 surface with point (i, j) at (i, j, i*j).
std::unique_ptr<NurbsSurf> gridSurface(int nU, int nV)
{
    const knots u(nU - 1, 1, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    const knots v(nV - 1, 1, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    auto s = std::make_unique<NurbsSurf>(u, &v);
    for (int j = 0; j < nV; ++j)
        for (int i = 0; i < nU; ++i)
            s->setControlPoint(i, j, Vector(i, j, i * j));
    return s;
}

int countType(const NurbsSurf& s, int type)
{
    int n = 0;
    for (const Fenwo::CConstraint* c : s.constraints)
        n += c->m_type == type;
    return n;
}

// Constraint that names one control point, to watch the index shift.
class PointConstraint : public Fenwo::CConstraint {
public:
    int i, j;
    PointConstraint(int i0, int j0) : CConstraint(Fenwo::singleCpConstraint), i(i0), j(j0) {}
    bool operator<(const Fenwo::CSetElement& o) const override
    {
        const auto& c = dynamic_cast<const PointConstraint&>(o);
        return i != c.i ? i < c.i : j < c.j;
    }
    std::ostream& write(std::ostream& os) const override { return os << "single_cp "; }
    std::istream& read(std::istream& is) override { return is; }
    CConstraint* clone() const override { return new PointConstraint(*this); }
    void addEquations(Kor::List<CSparseLinearEquation>& eqs, NurbsSurf* surf, int, int) override
    {
        CSparseLinearEquation eq;
        eq.row.set(surf->getUnknownIndex(i, j, 0), 1.0);
        eqs.append(eq);
    }
    void shiftControlPointIndices(int dir, int threshold, int count) override
    {
        int& index = dir == 0 ? i : j;
        if (index > threshold)
            index += count;
    }
};

class CountedItem : public Fenwo::CFitRecordItem {
public:
    explicit CountedItem(int* deaths) : deaths(deaths) {}
    ~CountedItem() override { ++*deaths; }
    int* deaths;
};

} // namespace

TEST(NurbsSurf, ConstructionSetsCountsKindAndOneWeightsConstraint)
{
    auto s = gridSurface(4, 3);
    EXPECT_EQ(s->getUCount(), 4);
    EXPECT_EQ(s->getVCount(), 3);
    EXPECT_TRUE(s->isSurface());
    EXPECT_TRUE(s->valid);
    EXPECT_EQ(s->controlNetSize, 12);
    EXPECT_EQ(s->constraints.count, 1);
    EXPECT_EQ(s->constraints[0]->m_type, Fenwo::weightsConstraint);
    EXPECT_EQ(s->fitVectors[4].n, 12);
    EXPECT_EQ(s->stepLimit, DBL_MAX);

    const knots u(2, 2, 0.0, 1.0);
    NurbsSurf curve(u, nullptr);
    EXPECT_TRUE(curve.isCurve());
    EXPECT_EQ(curve.getVCount(), 1);
    EXPECT_EQ(curve.controlNetSize, 3);
    // A one-point net still has two slots.
    const knots single(0, 0, 0.0, 1.0);
    NurbsSurf dot(single, nullptr);
    EXPECT_EQ(dot.getUCount() * dot.getVCount(), 1);
    EXPECT_EQ(dot.controlNetSize, 2);
}

TEST(NurbsSurf, ControlPointsAreHomogeneousAndWrapped)
{
    auto s = gridSurface(4, 3);
    EXPECT_FALSE(s->rational);
    EXPECT_FALSE(s->isRational());
    s->setControlPoint(1, 2, Vector(1, 2, 3), 2.0);
    const Vector& P = s->controlPointAt(1, 2);
    ASSERT_EQ(P.n, 4);
    EXPECT_EQ(P[0], 2.0);
    EXPECT_EQ(P[1], 4.0);
    EXPECT_EQ(P[2], 6.0);
    EXPECT_EQ(P[3], 2.0);
    EXPECT_TRUE(s->rational);
    EXPECT_TRUE(s->isRational());
    Vector e;
    s->getControlPoint(1, 2, e);
    EXPECT_EQ(e.n, 3);
    EXPECT_EQ(e[2], 3.0);
    double w = 0;
    s->getControlPointAndWeight(e, 1, 2, w);
    EXPECT_EQ(w, 2.0);
    EXPECT_EQ(e[1], 2.0);

    // Wrapped indices: -1 is the last, nU the first.
    EXPECT_EQ(&s->getWrappedControlPoint(-1, 0), &s->controlPointAt(3, 0));
    EXPECT_EQ(&s->getWrappedControlPoint(4, 0), &s->controlPointAt(0, 0));
    EXPECT_EQ(&s->getWrappedControlPoint(-5, -1), &s->controlPointAt(3, 2));
    s->setControlPoint(-1, -1, Vector(9, 9, 9));
    EXPECT_EQ(s->controlPointAt(3, 2)[0], 9.0);

    // Moving a point keeps its weight.
    s->setControlPointPosition(1, 2, Vector(5, 6, 7));
    EXPECT_EQ(s->controlPointAt(1, 2)[0], 10.0);
    EXPECT_EQ(s->controlPointAt(1, 2)[3], 2.0);
}

TEST(NurbsSurf, UnsetOrZeroWeightPointsReadAsZeros)
{
    const knots u(2, 2, 0.0, 1.0);
    NurbsSurf s(u, nullptr);
    Vector e(3);
    e.fill(7.0);
    s.getControlPoint(1, 0, e); // never set: no weight to read
    EXPECT_EQ(norm(e), 0.0);
    double w = -1;
    s.getControlPointAndWeight(e, 1, 0, w);
    EXPECT_EQ(w, 0.0);
    Vector zeroWeight(4);
    zeroWeight[0] = 1.0;
    s.toEuclidean(e, zeroWeight);
    EXPECT_EQ(norm(e), 0.0);
}

TEST(NurbsSurf, CollapsedSideStaysCollapsed)
{
    auto s = gridSurface(3, 3);
    s->addDegenerateSide(uvWest);
    s->addDegenerateSide(uvWest);
    EXPECT_EQ(s->degenerateSides.getCount(), 1);
    s->setControlPointPosition(0, 1, Vector(-1, 5, 0));
    for (int j = 0; j < 3; ++j) {
        Vector e;
        s->getControlPoint(0, j, e);
        EXPECT_EQ(e[1], 5.0) << j;
    }
    Vector e;
    s->getControlPoint(1, 1, e);
    EXPECT_EQ(e[1], 1.0);
}

TEST(NurbsSurf, ControlPointBox)
{
    auto s = gridSurface(3, 2);
    std::unique_ptr<Vector[]> box(s->getControlPointBox());
    EXPECT_EQ(box[0][0], 0.0);
    EXPECT_EQ(box[1][0], 2.0);
    EXPECT_EQ(box[1][1], 1.0);
    EXPECT_EQ(box[1][2], 2.0);
}

TEST(NurbsSurf, CopiesCarryGeometryButNotConstraints)
{
    auto s = gridSurface(3, 2);
    s->setControlPoint(1, 1, Vector(1, 1, 1), 3.0);
    s->addConstraint(new PointConstraint(1, 1));
    s->addDegenerateSide(uvNorth);
    s->dampSteps = 2;
    s->setColour(1, 0, 0);
    s->layer = 4;
    s->fixedControlPoints.append(3);

    NurbsSurf copy(*s);
    EXPECT_EQ(copy.getUCount(), 3);
    EXPECT_TRUE(copy.rational);
    EXPECT_EQ(copy.controlPointAt(1, 1)[3], 3.0);
    EXPECT_EQ(copy.dampSteps, 2);
    EXPECT_EQ(copy.layer, 4);
    EXPECT_EQ(copy.colour.n, 3);
    EXPECT_EQ(copy.fixedControlPoints.count, 1);
    EXPECT_EQ(copy.constraints.count, 1); // only the weights constraint
    EXPECT_EQ(copy.degenerateSides.getCount(), 0);
    EXPECT_NE(copy.uKnots, s->uKnots);

    auto other = gridSurface(5, 5);
    other->addConstraint(new PointConstraint(0, 0));
    other->copyFrom(*s);
    EXPECT_EQ(other->getUCount(), 3);
    EXPECT_EQ(other->controlNetSize, 6);
    EXPECT_EQ(other->controlPointAt(1, 1)[3], 3.0);
    EXPECT_EQ(other->constraints.count, 1);
    EXPECT_TRUE(other->hasDegenerateSide(uvNorth));
    EXPECT_EQ(other->dampSteps, 0); // settings stay the target's

    other->copyFrom(*other); // self copy leaves it intact
    EXPECT_EQ(other->controlPointAt(1, 1)[3], 3.0);
}

TEST(NurbsSurf, ReallocatingNetDropsNullSpaceAndVariableArrays)
{
    auto s = gridSurface(3, 3);
    s->nullSpace = std::make_unique<Matrix>(4, 2);
    s->freeVariables.append(1);
    s->constrainedVariables.append(2);
    s->fixedVariables.append(3);
    s->variableState.append(1);
    s->fitWorkspace = std::make_unique<Fenwo::FitDerivativeWorkspace>();
    s->freeKnots = true;
    delete s->uKnots;
    s->uKnots = new knots(4, 1, 0.0, 1.0);
    s->allocateStorage();
    EXPECT_EQ(s->nullSpace, nullptr);
    EXPECT_EQ(s->freeVariables.count, 0);
    EXPECT_EQ(s->constrainedVariables.count, 0);
    EXPECT_EQ(s->fixedVariables.count, 0);
    EXPECT_EQ(s->variableState.count, 0);
    EXPECT_EQ(s->fitWorkspace, nullptr);
    EXPECT_FALSE(s->freeKnots);
    EXPECT_EQ(s->controlNetSize, 15);
    EXPECT_EQ(s->getSystemSize(), 0);
    EXPECT_EQ(countType(*s, Fenwo::weightsConstraint), 1);
}

TEST(NurbsSurf, AddConstraintReplacesEqualOnes)
{
    auto s = gridSurface(3, 3);
    EXPECT_EQ(s->addConstraint(nullptr), nullptr);
    auto* corner = new Fenwo::CFixWeightsConstraint();
    corner->m_mode = Fenwo::fixCornerWeights;
    EXPECT_EQ(s->addConstraint(corner), corner);
    s->addConstraint(new PointConstraint(1, 1));
    s->addConstraint(new PointConstraint(1, 2));
    s->addConstraint(new PointConstraint(1, 1));
    ASSERT_EQ(s->constraints.count, 3);
    EXPECT_EQ(s->constraints[0], corner);
    EXPECT_EQ(countType(*s, Fenwo::weightsConstraint), 1);

    Kor::List<CSparseLinearEquation> eqs;
    s->addConstraintEquations(eqs);
    // Four corner weights, then the two point equations.
    ASSERT_EQ(eqs.count, 6);
    EXPECT_EQ(eqs[0].row.cellAt(0).index, 3);
    EXPECT_EQ(eqs[3].row.cellAt(0).index, 3 + 4 * 8);
    EXPECT_EQ(eqs[4].row.cellAt(0).index, s->getUnknownIndex(1, 2, 0));

    corner->m_mode = Fenwo::fixAllWeights;
    s->addConstraintEquations(eqs);
    EXPECT_EQ(eqs.count, 9 + 2);

    // A curve has two corners.
    const knots u(3, 2, 0.0, 1.0);
    NurbsSurf curve(u, nullptr);
    static_cast<Fenwo::CFixWeightsConstraint*>(curve.constraints[0])->m_mode =
        Fenwo::fixCornerWeights;
    curve.addConstraintEquations(eqs);
    EXPECT_EQ(eqs.count, 2);
}

TEST(NurbsSurf, WeightsConstraintText)
{
    Fenwo::CFixWeightsConstraint c;
    std::ostringstream os;
    c.write(os);
    EXPECT_EQ(os.str(), "weights fixAllWeights ");
    std::istringstream is("fixCornerWeights_x");
    Fenwo::CFixWeightsConstraint d(is);
    EXPECT_EQ(d.m_mode, Fenwo::fixCornerWeights);
    testing::internal::CaptureStdout();
    std::istringstream bad("none");
    Fenwo::CFixWeightsConstraint e(bad);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "unknown weights-String:none\n");
    EXPECT_EQ(e.m_mode, Fenwo::fixAllWeights);
}

TEST(NurbsSurf, ShiftSingleConstraintsRaisesIndicesBeyondInsertion)
{
    const knots u(4, 2, 0.0, 1.0);
    const knots v(2, 1, 0.0, 1.0);
    NurbsSurf s(u, &v);
    auto* low = new PointConstraint(1, 0);
    auto* high = new PointConstraint(3, 2);
    s.addConstraint(low);
    s.addConstraint(high);
    EXPECT_TRUE(s.shiftSingleConstraints(3, 2, 0)); // threshold 3 - p = 1
    EXPECT_EQ(low->i, 1);
    EXPECT_EQ(high->i, 5);
    EXPECT_TRUE(s.shiftSingleConstraints(2, 1, 1)); // threshold 2 - q = 1
    EXPECT_EQ(low->j, 0);
    EXPECT_EQ(high->j, 3);
}

TEST(NurbsSurf, FixedPointConstraintFollowsKnotInsertionShift)
{
    auto s = gridSurface(4, 3);
    auto* fixed = dynamic_cast<Fenwo::CIJSingleConstraint*>(s->addFixedPointConstraint(2, 1));
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->m_point[0], 2.0);
    EXPECT_EQ(fixed->m_point[2], 2.0);
    s->addFixedPointConstraint(2, 1); // replaces the first
    EXPECT_EQ(countType(*s, Fenwo::singleCpConstraint), 1);
    fixed = dynamic_cast<Fenwo::CIJSingleConstraint*>(s->constraints[s->constraints.count - 1]);
    s->shiftSingleConstraints(2, 1, 0); // threshold 2 - p = 1
    EXPECT_EQ(fixed->m_i, 3);
    EXPECT_EQ(fixed->m_j, 1);
}

TEST(NurbsSurf, BoundarySidesAndRings)
{
    auto s = gridSurface(4, 3);
    EXPECT_TRUE(s->isOnBoundary(2, 0, 1));
    EXPECT_TRUE(s->isOnBoundary(2, 2, 2));
    EXPECT_TRUE(s->isOnBoundary(2, -1, 2));
    EXPECT_TRUE(s->isOnBoundary(3, 0, 4));
    EXPECT_TRUE(s->isOnBoundary(-1, 0, 4));
    EXPECT_FALSE(s->isOnBoundary(2, 1, 3));
    EXPECT_FALSE(s->isOnBoundary(0, 0, 5));

    Vector P(4);
    P[3] = 1.0;
    s->setBoundaryControlPoints(4, P);
    for (int j = 0; j < 3; ++j)
        EXPECT_EQ(s->controlPointAt(3, j)[0], 0.0);
    EXPECT_EQ(s->controlPointAt(2, 1)[0], 2.0);
    s->setBoundaryControlPoints(7, P); // no such side
    EXPECT_EQ(s->controlPointAt(2, 1)[0], 2.0);

    // On a curve the south and north rows are the same row.
    const knots u(2, 1, 0.0, 1.0);
    NurbsSurf curve(u, nullptr);
    EXPECT_TRUE(curve.isOnBoundary(1, 0, 1));
    EXPECT_TRUE(curve.isOnBoundary(1, 0, 2));
    curve.setBoundaryControlPoints(2, P);
    EXPECT_EQ(curve.controlPointAt(2, 0).n, 4);

    EXPECT_TRUE(s->isNearBoundary(0, 1, 0));
    EXPECT_FALSE(s->isNearBoundary(1, 1, 0));
    EXPECT_TRUE(s->isNearBoundary(1, 1, 1));
    EXPECT_FALSE(s->isNearBoundary(1, 1, 2));
}

TEST(NurbsSurf, UnknownIndicesAndExpansion)
{
    auto s = gridSurface(3, 2);
    for (int k = 0; k < 24; ++k) {
        int i, j, d;
        s->splitUnknownIndex(k, i, j, d);
        EXPECT_EQ(s->getUnknownIndex(i, j, d), k);
    }
    EXPECT_EQ(s->countUnknowns(), 24);

    // Two free variables, two constrained ones coupled through one null-space
    // column.
    s->freeVariables.append(0);
    s->freeVariables.append(5);
    s->constrainedVariables.append(8);
    s->constrainedVariables.append(9);
    s->nullSpace = std::make_unique<Matrix>(2, 1);
    s->nullSpace->at(0, 0) = 1.0;
    s->nullSpace->at(1, 0) = -2.0;
    EXPECT_EQ(s->getSystemSize(), 3);
    Vector reduced(3);
    reduced[0] = 1.5;
    reduced[1] = -1.0;
    reduced[2] = 0.5;
    Vector full;
    s->expandUnknowns(full, reduced);
    ASSERT_EQ(full.n, 24);
    EXPECT_EQ(full[0], 1.5);
    EXPECT_EQ(full[5], -1.0);
    EXPECT_EQ(full[8], 0.5);
    EXPECT_EQ(full[9], -1.0);
    EXPECT_EQ(sumElements(full), 1.5 - 1.0 + 0.5 - 1.0);

    // Free knots add the simple interior u knots as variables.
    const knots u(5, 2, 0.0, 1.0);
    NurbsSurf c(u, nullptr);
    c.freeKnots = true;
    EXPECT_EQ(c.countUnknowns(), 4 * 6 + u.countSimpleInteriorKnots());
    EXPECT_EQ(u.countSimpleInteriorKnots(), 3);
}

TEST(NurbsSurf, ClearRecordsDeletesItems)
{
    auto s = gridSurface(2, 2);
    int deaths = 0;
    s->fitRecords.append({new CountedItem(&deaths), 0});
    s->fitRecords.append({new CountedItem(&deaths), 1});
    Fenwo::FitRecord* records = s->fitRecords.data;
    s->clearRecords();
    EXPECT_EQ(deaths, 2);
    EXPECT_EQ(s->fitRecords.count, 0);
    EXPECT_EQ(records[1].state, 2);
    EXPECT_EQ(records[1].item, nullptr);
    s->fitRecords.append({new CountedItem(&deaths), 0});
    s.reset(); // the destructor clears them too
    EXPECT_EQ(deaths, 3);
}

TEST(NurbsSurf, BoundaryPositionWords)
{
    std::ostringstream os;
    for (int k = 0; k <= 9; ++k)
        writeBoundaryPosition(os, static_cast<BoundaryPosition>(k));
    EXPECT_EQ(os.str(), "undefinedPosition uvSouth uvNorth uvWest uvEast uvSouthWest "
                        "uvSouthEast uvNorthEast uvNorthWest undefinedPosition ");
    std::istringstream is(os.str());
    for (int k = 0; k <= 8; ++k) {
        BoundaryPosition p = uvEast;
        readBoundaryPosition(is, p);
        EXPECT_EQ(p, k);
    }
    std::istringstream caps("UVSOUTH");
    BoundaryPosition p = uvEast;
    readBoundaryPosition(caps, p);
    EXPECT_EQ(p, undefinedPosition);
    std::istringstream empty("");
    readBoundaryPosition(empty, p);
    EXPECT_EQ(p, undefinedPosition);
    EXPECT_TRUE(empty.fail());
}

TEST(NurbsSurf, ReadSignedInt)
{
    std::istringstream is("  -42,+7 x 19");
    EXPECT_EQ(readSignedInt(is), -42);
    EXPECT_EQ(is.get(), ',');
    EXPECT_EQ(readSignedInt(is), 7);
    EXPECT_EQ(readSignedInt(is), 0); // no digit: 0, stream stays good
    EXPECT_TRUE(is.good());
    EXPECT_EQ(is.get(), 'x');
    EXPECT_EQ(readSignedInt(is), 19);
}

TEST(NurbsSurf, ReadSignedIntDoesNotOverflow)
{
    std::istringstream big("99999999999999999999999 5");
    EXPECT_EQ(readSignedInt(big), INT_MAX);
    EXPECT_TRUE(big.fail());
    std::istringstream low("-2147483648");
    EXPECT_EQ(readSignedInt(low), INT_MIN);
    EXPECT_FALSE(low.fail());
    std::istringstream lower("-2147483649");
    EXPECT_EQ(readSignedInt(lower), INT_MIN);
    EXPECT_TRUE(lower.fail());
}

TEST(NurbsSurf, Binomial)
{
    EXPECT_EQ(binomial(3, 1), 3);
    EXPECT_EQ(binomial(10, 5), 252);
    EXPECT_EQ(binomial(20, 10), 184756);
    EXPECT_EQ(binomial(40, 3), 9880);
    EXPECT_EQ(binomial(5, 0), 1);
    EXPECT_EQ(binomial(0, 0), 1);
    EXPECT_EQ(binomial(4, 5), 0);
    EXPECT_EQ(binomial(4, -1), 0);
    EXPECT_EQ(NurbsSurf::binomial(6, 2), 15);
    for (int n = 1; n <= 12; ++n)
        for (int k = 1; k < n; ++k)
            EXPECT_EQ(binomial(n, k), binomial(n - 1, k - 1) + binomial(n - 1, k));
}

TEST(NurbsSurf, MakeCurveAndDownCast)
{
    const double a[] = {1, 2, 3};
    const double b[] = {3, 2, 1};
    std::unique_ptr<NurbsSurf> c(makeCurve(a, b));
    EXPECT_TRUE(c->isCurve());
    EXPECT_EQ(c->getUCount(), 2);
    Vector p;
    c->evaluatePoint(p, 0.5, 0.0);
    EXPECT_DOUBLE_EQ(p[0], 2.0);
    EXPECT_DOUBLE_EQ(p[2], 2.0);
    EXPECT_EQ(asNurbsSurf(c.get()), c.get());
    EXPECT_EQ(asNurbsSurf(nullptr), nullptr);
}
