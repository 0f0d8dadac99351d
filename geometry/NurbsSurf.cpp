#include "geometry/NurbsSurf.h"

#include "geometry/Binomial.h"
#include "geometry/IJConstraints.h"
#include "geometry/SparseLinearEquation.h"

#include <algorithm>
#include <cmath>
#include <iostream>

namespace Fenwo {

namespace {

// i modulo n into [0, n); n >= 1.
inline int wrapIndex(int i, int n)
{
    const int r = i % n;
    return r < 0 ? r + n : r;
}

// Control-point count of a knot vector, 1 without one; never below 1 so
// that wrapped indices stay defined on malformed knots.
int controlPointCount(const knots* k)
{
    return k == nullptr ? 1 : std::max(k->getControlPointCount(), 1);
}

} // namespace

// ---- Construction -------------------------------------------------------------

NurbsSurf::NurbsSurf(const knots& u, const knots* v)
{
    uKnots = new knots(u);
    vKnots =
        v != nullptr ? new knots(*v) : new knots(0, 0, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    dimension = 3;
    allocateStorage();
    valid = true;
}

NurbsSurf::NurbsSurf(const NurbsSurf& other) : CParametricGeometry(other)
{
    fixedControlPoints = other.fixedControlPoints;
    copyGeometryFrom(other);
    dampSteps = other.dampSteps;
    checkFolds = other.checkFolds;
    stepLimit = other.stepLimit;
    valid = other.valid;
}

NurbsSurf::~NurbsSurf()
{
    release();
    freeDerivativeTable(repairTable, 3);
}

void NurbsSurf::release()
{
    delete uKnots;
    uKnots = nullptr;
    delete vKnots;
    vKnots = nullptr;
    controlNet.reset();
    controlNetSize = 0;
    homogeneousOrder = -1;
    clearRecords();
    constraints.deleteAll();
    nullSpace.reset();
    freeDerivativeTable(evaluation, 3);
}

void NurbsSurf::copyGeometryFrom(const NurbsSurf& other)
{
    uKnots = new knots(*other.uKnots);
    vKnots = new knots(*other.vKnots);
    allocateStorage();
    rational = other.rational;
    const int n = std::min(controlNetSize, other.controlNetSize);
    for (int k = 0; k < n; ++k)
        controlNet[k] = other.controlNet[k];
    layer = other.layer;
    colour = other.colour;
    bkColour = other.bkColour;
}

void NurbsSurf::copyFrom(const NurbsSurf& other)
{
    if (&other == this)
        return;
    release();
    copyGeometryFrom(other);
    degenerateSides.removeAll(false, true);
    for (BoundaryPosition* side : other.degenerateSides)
        if (side != nullptr)
            addDegenerateSide(*side);
}

void NurbsSurf::copyFitSetupFrom(const NurbsSurf& other)
{
    if (&other == this)
        return;
    // Appended, not added: a copy keeps every record and its order, which
    // orders the constraint equations.
    constraints.deleteAll();
    for (const CConstraint* c : other.constraints)
        if (c != nullptr)
            constraints.append(c->clone());
    commentLines = other.commentLines;
    degenerateSides.removeAll(false, true);
    for (BoundaryPosition* side : other.degenerateSides)
        if (side != nullptr)
            addDegenerateSide(*side);
    freeKnots = other.freeKnots;
    invalidateFitState();
}

void NurbsSurf::allocateStorage()
{
    dimension = 3;
    const int nU = getUCount();
    const int nV = getVCount();
    controlNetSize = std::max(nU * nV, 2);
    controlNet.reset(new Vector[controlNetSize]);
    for (int k = 0; k < 4; ++k)
        fitVectors[k] = Vector(3);
    fitVectors[4] = Vector(std::max(nU * nV, 2));
    homogeneousOrder = -1;
    // The null space and the variable arrays describe the previous net: they
    // are rebuilt for the new one when a fit needs them.
    invalidateFitState();
    freeKnots = false;
    addConstraint(new CFixWeightsConstraint());
    rational = false;
    kind = vKnots != nullptr && vKnots->n != 0 ? 1 : 0;
    freeDerivativeTable(evaluation, 3);
    allocateDerivativeTable(evaluation, 3);
}

void NurbsSurf::invalidateFitState()
{
    nullSpace.reset();
    fixedVariables.setCapacity(0);
    variableState.setCapacity(0);
    freeVariables.setCapacity(0);
    constrainedVariables.setCapacity(0);
    fitWorkspace.reset();
}

void NurbsSurf::releaseFitScratch()
{
    fitWorkspace.reset();
    fitJacobianScratch = FitJacobianScratch();
    rationalBasis = Vector();
}

bool NurbsSurf::buildSparseSystem()
{
    invalidateFitState();
    return prepareFitWorkspace();
}

int NurbsSurf::getUCount() const
{
    return controlPointCount(uKnots);
}

int NurbsSurf::getVCount() const
{
    return controlPointCount(vKnots);
}

// ---- Control points -----------------------------------------------------------

Vector& NurbsSurf::getWrappedControlPoint(int i, int j)
{
    const int nU = getUCount();
    return controlNet[wrapIndex(i, nU) + nU * wrapIndex(j, getVCount())];
}

const Vector& NurbsSurf::getWrappedControlPoint(int i, int j) const
{
    const int nU = getUCount();
    return controlNet[wrapIndex(i, nU) + nU * wrapIndex(j, getVCount())];
}

void NurbsSurf::setHomogeneousControlPoint(int i, int j, const Vector& P)
{
    controlPointAt(i, j) = P;
}

void NurbsSurf::setControlPoint(int i, int j, const Vector& p)
{
    Vector& P = getWrappedControlPoint(i, j);
    const int dim = dimension;
    P.resize(dim + 1);
    const int m = std::min(p.n, dim);
    for (int k = 0; k < m; ++k)
        P[k] = p[k];
    for (int k = m; k < dim; ++k)
        P[k] = 0.0;
    double w = 1.0;
    if (p.n >= dim + 1) {
        w = p[dim];
        for (int k = 0; k < dim; ++k)
            P[k] *= w;
        if (w != 1.0)
            rational = true;
    }
    P[dim] = w;
}

void NurbsSurf::setControlPoint(int i, int j, const Vector& p, double w)
{
    Vector pw(4);
    for (int k = 0; k < std::min(p.n, 3); ++k)
        pw[k] = p[k];
    pw[3] = w;
    setControlPoint(i, j, pw);
}

void NurbsSurf::setControlPointPosition(int i, int j, const Vector& xyz)
{
    const int dim = dimension;
    i = wrapIndex(i, getUCount());
    j = wrapIndex(j, getVCount());
    Vector& P = getWrappedControlPoint(i, j);
    if (P.n != dim + 1) {
        P.resize(dim + 1, true);
        P[dim] = 1.0;
    }
    const double w = P[dim];
    const int m = std::min(xyz.n, dim);
    for (int k = 0; k < dim; ++k)
        P[k] = k < m ? xyz[k] : 0.0;
    if (w != 1.0)
        for (int k = 0; k < dim; ++k)
            P[k] *= w;
    for (BoundaryPosition* side : degenerateSides) {
        if (side == nullptr || *side < uvSouth || *side > uvEast)
            continue;
        if (isOnBoundary(i, j, *side)) {
            const Vector copy = P; // P itself is one of the points overwritten
            setBoundaryControlPoints(*side, copy);
        }
    }
}

void NurbsSurf::toEuclidean(Vector& out, const Vector& P) const
{
    const int dim = dimension;
    out.resize(dim);
    out.fill(0.0);
    if (P.n < dim + 1)
        return;
    const double w = P[dim];
    if (w == 0.0)
        return;
    for (int k = 0; k < dim; ++k)
        out[k] = P[k] / w;
}

void NurbsSurf::getControlPoint(int i, int j, Vector& out) const
{
    toEuclidean(out, getWrappedControlPoint(i, j));
}

void NurbsSurf::getControlPointXYZ(Vector& out, int i, int j) const
{
    toEuclidean(out, getWrappedControlPoint(i, j));
    out.resize(3);
}

void NurbsSurf::getControlPointAndWeight(Vector& xyz, int i, int j, double& w) const
{
    const Vector& P = getWrappedControlPoint(i, j);
    w = P.n > dimension ? P[dimension] : 0.0;
    toEuclidean(xyz, P);
    xyz.resize(3);
}

Vector* NurbsSurf::getControlPointBox() const
{
    Vector* box2 = new Vector[2];
    box2[0] = Vector(3);
    box2[1] = Vector(3);
    const int count = getUCount() * getVCount();
    Vector p;
    for (int k = 0; k < std::min(count, controlNetSize); ++k) {
        toEuclidean(p, controlNet[k]);
        for (int c = 0; c < 3; ++c) {
            const double x = c < p.n ? p[c] : 0.0;
            if (k == 0 || x < box2[0][c])
                box2[0][c] = x;
            if (k == 0 || x > box2[1][c])
                box2[1][c] = x;
        }
    }
    return box2;
}

bool NurbsSurf::isRational() const
{
    const int count = std::min(getUCount() * getVCount(), controlNetSize);
    if (controlNet == nullptr || count <= 0 || controlNet[0].n < 4)
        return false;
    const double w0 = controlNet[0][3];
    for (int k = 1; k < count; ++k)
        if (controlNet[k].n >= 4 && std::fabs(controlNet[k][3] - w0) > 1e-8)
            return true;
    return false;
}

// ---- Boundary and unknowns ----------------------------------------------------

bool NurbsSurf::isOnBoundary(int i, int j, int side) const
{
    switch (side) {
    case 1:
        return j == 0;
    case 2:
        return j == getVCount() - 1 || j == -1;
    case 3:
        return i == 0;
    case 4:
        return i == getUCount() - 1 || i == -1;
    default:
        return false;
    }
}

void NurbsSurf::setBoundaryControlPoints(int side, const Vector& P)
{
    const int nU = getUCount();
    const int nV = getVCount();
    switch (side) {
    case 1:
    case 2:
        for (int i = 0; i < nU; ++i)
            getWrappedControlPoint(i, side == 1 ? 0 : -1) = P;
        break;
    case 3:
    case 4:
        for (int j = 0; j < nV; ++j)
            getWrappedControlPoint(side == 3 ? 0 : -1, j) = P;
        break;
    default:
        break;
    }
}

bool NurbsSurf::isNearBoundary(int i, int j, int ring) const
{
    const int nu = uKnots->n;
    const int nv = vKnots->n;
    if (ring == 0)
        return i == 0 || i == nu || j == 0 || j == nv;
    if (ring == 1)
        return i == 0 || i == 1 || i == nu || i == nu - 1 || j == 0 || j == 1 || j == nv ||
               j == nv - 1;
    return false;
}

void NurbsSurf::splitUnknownIndex(int k, int& i, int& j, int& d) const
{
    const int nU = getUCount();
    d = k % 4;
    const int m = (k - d) / 4;
    i = m % nU;
    j = m / nU;
}

int NurbsSurf::countUnknowns() const
{
    int count = 4 * getUCount() * getVCount();
    if (freeKnots)
        count += uKnots->countSimpleInteriorKnots();
    return count;
}

int NurbsSurf::getSystemSize() const
{
    return (nullSpace != nullptr ? nullSpace->cols : 0) + freeVariables.count;
}

Vector& NurbsSurf::expandUnknowns(Vector& full, const Vector& reduced) const
{
    full.resize(countUnknowns());
    full.fill(0.0);
    const int knotCount = freeKnots ? uKnots->countSimpleInteriorKnots() : 0;
    const int f = std::max(freeVariables.count - knotCount, 0);
    auto put = [&](int variable, double value) {
        if (variable >= 0 && variable < full.n)
            full[variable] = value;
    };
    for (int e = 0; e < f && e < reduced.n; ++e)
        put(freeVariables[e], reduced[e]);
    if (nullSpace != nullptr) {
        const int rows = std::min(nullSpace->rows, constrainedVariables.count);
        const int cols = std::min(nullSpace->cols, std::max(reduced.n - f, 0));
        for (int r = 0; r < rows; ++r) {
            double sum = 0.0;
            for (int c = 0; c < cols; ++c)
                sum += nullSpace->at(r, c) * reduced[f + c];
            const int variable = constrainedVariables[r];
            if (variable >= 0 && variable < full.n)
                full[variable] += sum;
        }
    }
    // The knot variables follow the null-space coordinates.
    const int knotOffset = nullSpace != nullptr ? nullSpace->cols : 0;
    for (int e = f; e < freeVariables.count && e + knotOffset < reduced.n; ++e)
        put(freeVariables[e], reduced[e + knotOffset]);
    return full;
}

void NurbsSurf::clearRecords()
{
    for (FitRecord& record : fitRecords) {
        delete record.item;
        record.item = nullptr;
        record.state = 2;
    }
    fitRecords.count = 0;
}

// ---- Constraints --------------------------------------------------------------

CConstraint* NurbsSurf::addConstraint(CConstraint* c)
{
    if (c == nullptr)
        return nullptr;
    for (int k = 0; k < constraints.count; ++k) {
        CConstraint* e = constraints[k];
        if (e != nullptr && *e == *c) {
            constraints.deleteAt(k);
            break;
        }
    }
    constraints.append(c);
    return c;
}

CConstraint* NurbsSurf::addFixedPointConstraint(int i, int j)
{
    Vector position;
    getControlPointXYZ(position, i, j);
    return addConstraint(
        new CIJSingleConstraint(*this, i, j, position, position, SingleCpKind::fixed));
}

CConstraint* NurbsSurf::findRegionConstraint() const
{
    for (CConstraint* c : constraints)
        if (c != nullptr && c->m_type == ijRegionConstraint)
            return c;
    return nullptr;
}

void NurbsSurf::addConstraintEquations(Kor::List<CSparseLinearEquation>& eqs)
{
    eqs.removeAll();
    fixedControlPoints.count = 0;
    const int nU = getUCount();
    const int nV = getVCount();
    // The region constraint fixes everything outside its rectangle; it goes
    // first so that later constraints see those points in the fixed list.
    CConstraint* region = findRegionConstraint();
    if (region != nullptr)
        region->addEquations(eqs, this, nU, nV);
    for (CConstraint* c : constraints)
        if (c != nullptr && c != region)
            c->addEquations(eqs, this, nU, nV);
}

bool NurbsSurf::shiftSingleConstraints(int index, int count, int dir)
{
    const knots* k = dir == 0 ? uKnots : vKnots;
    const int threshold = index - (k != nullptr ? k->p : 0);
    for (CConstraint* c : constraints)
        if (c != nullptr)
            c->shiftControlPointIndices(dir, threshold, count);
    return true;
}

void NurbsSurf::addDegenerateSide(BoundaryPosition side)
{
    degenerateSides.findOrInsert(side, lessBoundaryPosition);
}

bool NurbsSurf::hasDegenerateSide(BoundaryPosition side) const
{
    int index = -1;
    return degenerateSides.find(&side, index, lessBoundaryPosition);
}

// ---- Geometry interface -------------------------------------------------------

long NurbsSurf::memorySize() const
{
    return 80L * (uKnots->n + vKnots->n +
                  2L * (static_cast<long>(getUCount()) * getVCount() + commentLines.count));
}

CParametricGeometry* NurbsSurf::clone() const
{
    NurbsSurf* copy = new NurbsSurf(*this);
    copy->uReversed = uReversed;
    copy->vReversed = vReversed;
    copy->setDomain(0, getDomain(0));
    if (copy->isSurface())
        copy->setDomain(1, getDomain(1));
    return copy;
}

Interval NurbsSurf::getDomain(int dir) const
{
    return dir == 0 ? uKnots->range : vKnots->range;
}

void NurbsSurf::setDomain(int dir, const Interval& domain)
{
    if (dir != 0 && dir != 1)
        return;
    knots* k = dir == 0 ? uKnots : vKnots;
    const bool reversed = dir == 0 ? isUReversed() : isVReversed();
    if (!reversed) {
        k->range = domain;
        return;
    }
    const Interval current = k->range;
    const Interval mirrored(current.min + current.max - domain.min,
                            current.min + current.max - domain.max);
    if (dir == 0 && (mirrored.min < current.min || mirrored.max > current.max))
        std::cout << "Range trim invalid! ";
    k->range = mirrored;
}

bool NurbsSurf::getUKinks(Vector& kinks) const
{
    return uKnots->getKinks(kinks);
}

bool NurbsSurf::getVKinks(Vector& kinks) const
{
    return vKnots->getKinks(kinks);
}

} // namespace Fenwo

Fenwo::NurbsSurf* makeCurve(const double* a, const double* b)
{
    const knots u(1, 1, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    auto* curve = new Fenwo::NurbsSurf(u, nullptr);
    curve->setControlPoint(0, 0, Vector(a, 3));
    curve->setControlPoint(1, 0, Vector(b, 3));
    return curve;
}

Fenwo::NurbsSurf* makeLineCurve(const Vector& a, const Vector& b)
{
    double p[3] = {0.0, 0.0, 0.0}, q[3] = {0.0, 0.0, 0.0};
    for (int k = 0; k < 3; ++k) {
        p[k] = k < a.n ? a[k] : 0.0;
        q[k] = k < b.n ? b[k] : 0.0;
    }
    return makeCurve(p, q);
}

Fenwo::NurbsSurf* asNurbsSurf(CParametricGeometry* g)
{
    return dynamic_cast<Fenwo::NurbsSurf*>(g);
}
