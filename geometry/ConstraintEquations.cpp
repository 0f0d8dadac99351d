#include "geometry/ConstraintEquations.h"

#include "geometry/NurbsSurf.h"

#include <algorithm>
#include <iostream>
#include <utility>

namespace Fenwo {

namespace {

// Index along a knot vector: wrapped on a cyclic vector, as given otherwise
// (the row builder rejects it when it falls outside the grid).
int alongIndex(const knots* k, int index, int count)
{
    if (k != nullptr && k->endCondition == knots::CyclicEnd && count > 0)
        return ((index % count) + count) % count;
    return index;
}

// Collects the cells of one equation on the surface's unknowns.
class RowBuilder {
public:
    explicit RowBuilder(const NurbsSurf* surf) : nU(surf->getUCount()), nV(surf->getVCount()) {}

    // Adds c to the coefficient of unknown (d, i, j); zero contributions are
    // skipped, coefficients on one unknown summed.
    void add(int d, int i, int j, double c)
    {
        if (c == 0.0)
            return;
        if (i < 0 || i >= nU || j < 0 || j >= nV) {
            outside = true;
            return;
        }
        row.add(d + 4 * (i + nU * j), c);
    }

    // Appends the equation unless it names a point outside the grid or has
    // no coefficient left. Returns the number of rows appended.
    int appendTo(EquationList& eqs, double rhs)
    {
        if (outside || row.getCellCount() == 0)
            return 0;
        const int at = eqs.append(CSparseLinearEquation());
        eqs[at].row = std::move(row);
        eqs[at].rhs = rhs;
        eqs[at].tag = 0;
        return 1;
    }

private:
    int nU;
    int nV;
    bool outside = false;
    CSparseNumericVector<double> row;
};

bool insideGrid(const NurbsSurf* surf, int i, int j)
{
    return i >= 0 && i < surf->getUCount() && j >= 0 && j < surf->getVCount();
}

Vector firstThree(const Vector& v)
{
    Vector r(3);
    for (int k = 0; k < std::min(3, v.n); ++k)
        r[k] = v[k];
    return r;
}

// The p + 1 non-zero basis functions of one knot vector at t with their first
// derivatives; function a belongs to control index first + a.
struct LocalBasis {
    int first = 0;
    Vector value;
    Vector derivative;
};

LocalBasis localBasis(knots* k, double t)
{
    LocalBasis b;
    const int span = k->clampToKnots(t);
    const Vector* D = k->basisDerivatives(span, 1, t);
    b.first = span - k->p;
    b.value = D[0];
    b.derivative = D[1];
    return b;
}

bool isSide(BoundaryPosition position)
{
    return position == uvSouth || position == uvNorth || position == uvWest || position == uvEast;
}

// Geometry of one side: whether the side parameter is u (uvWest, uvEast), its
// value, and the Greville abscissae along the side (one per control point).
struct SideFrame {
    bool acrossU = false;
    double s0 = 0.0;
    Vector abscissae;
    int count = 0;
};

SideFrame sideFrame(NurbsSurf* surf, BoundaryPosition position)
{
    SideFrame f;
    f.acrossU = position == uvWest || position == uvEast;
    const Interval across = surf->getDomain(f.acrossU ? 0 : 1);
    f.s0 = (position == uvWest || position == uvSouth) ? across.min : across.max;
    const knots* along = f.acrossU ? surf->vKnots : surf->uKnots;
    along->getGrevilleAbscissae(f.abscissae);
    // A cyclic vector repeats its first abscissa at the end; that point has
    // its rows already.
    f.count = std::min(f.abscissae.n, f.acrossU ? surf->getVCount() : surf->getUCount());
    return f;
}

// Adds n[d] times the basis products of one derivative to the row: the
// derivative across the side (across = true) or along it, at the side point
// whose bases are bu (u) and bv (v).
void addDerivativeRow(RowBuilder& row, const NurbsSurf* surf, const Vector& n, const LocalBasis& bu,
                      const LocalBasis& bv, bool inU)
{
    const Vector& fu = inU ? bu.derivative : bu.value;
    const Vector& fv = inU ? bv.value : bv.derivative;
    const int nU = surf->getUCount();
    const int nV = surf->getVCount();
    for (int a = 0; a < fu.n; ++a) {
        const int i = alongIndex(surf->uKnots, bu.first + a, nU);
        for (int b = 0; b < fv.n; ++b) {
            const int j = alongIndex(surf->vKnots, bv.first + b, nV);
            const double basis = fu[a] * fv[b];
            if (basis == 0.0)
                continue;
            for (int d = 0; d < 3; ++d)
                row.add(d, i, j, n[d] * basis);
        }
    }
}

} // namespace

void firstDerivativesInKnotParameters(NurbsSurf* surf, double u, double v, Vector& Su, Vector& Sv)
{
    // evaluate() maps reversed directions; that map is its own inverse, so
    // mapping first lands on (u, v) of the knots, and the derivatives of a
    // reversed direction come back negated.
    double gu = u;
    double gv = v;
    surf->toInternalParameters(gu, gv);
    Vector** T = surf->evaluate(1, gu, gv);
    Su = firstThree(T[1][0]);
    Sv = firstThree(T[0][1]);
    if (surf->isUReversed())
        Su *= -1.0;
    if (surf->isVReversed() && surf->isSurface())
        Sv *= -1.0;
}

bool isControlPointFixed(const NurbsSurf* surf, int i, int j)
{
    const int key = i + surf->getUCount() * j;
    for (int k = 0; k < surf->fixedControlPoints.count; ++k)
        if (surf->fixedControlPoints[k] == key)
            return true;
    return false;
}

int addFixControlPointEquations(NurbsSurf* surf, int i, int j, EquationList& eqs)
{
    if (!insideGrid(surf, i, j) || isControlPointFixed(surf, i, j))
        return 0;
    int added = 0;
    for (int d = 0; d < 3; ++d) {
        RowBuilder row(surf);
        row.add(d, i, j, 1.0);
        added += row.appendTo(eqs, 0.0);
    }
    surf->fixedControlPoints.append(i + surf->getUCount() * j);
    return added;
}

int addInPlaneEquation(NurbsSurf* surf, int i, int j, const Vector& n, double rhs,
                       EquationList& eqs)
{
    if (isControlPointFixed(surf, i, j))
        return 0;
    RowBuilder row(surf);
    for (int d = 0; d < std::min(3, n.n); ++d)
        row.add(d, i, j, n[d]);
    return row.appendTo(eqs, rhs);
}

int addInLineEquations(NurbsSurf* surf, int i, int j, const Vector& dir, EquationList& eqs)
{
    const Vector d = firstThree(dir);
    // A zero direction gives zero planes: both rows come out empty and are
    // dropped, leaving the point free rather than fixing it by accident.
    const Vector e1 = normalized(pointOnHyperplane(d, 0.0));
    const Vector e2 = normalized(crossProduct(d, e1));
    return addInPlaneEquation(surf, i, j, e1, 0.0, eqs) +
           addInPlaneEquation(surf, i, j, e2, 0.0, eqs);
}

int fixControlPointRow(NurbsSurf* surf, int j, EquationList& eqs)
{
    int added = 0;
    for (int i = 0; i < surf->getUCount(); ++i)
        added += addFixControlPointEquations(surf, i, j, eqs);
    return added;
}

int fixControlPointColumn(NurbsSurf* surf, int i, EquationList& eqs)
{
    int added = 0;
    for (int j = 0; j < surf->getVCount(); ++j)
        added += addFixControlPointEquations(surf, i, j, eqs);
    return added;
}

int addRelationEquation(NurbsSurf* surf, int i0, int j0, int i1, int j1, EquationList& eqs)
{
    int added = 0;
    for (int d = 0; d < 3; ++d) {
        RowBuilder row(surf);
        row.add(d, i0, j0, 1.0);
        row.add(d, i1, j1, -1.0);
        added += row.appendTo(eqs, 0.0);
    }
    return added;
}

int addRelationEquations(NurbsSurf* surf, int i0, int j0, int i1, int j1, int i2, int j2, double t,
                         EquationList& eqs)
{
    int added = 0;
    for (int d = 0; d < 3; ++d) {
        RowBuilder row(surf);
        row.add(d, i0, j0, 1.0);
        row.add(d, i1, j1, -(1.0 - t));
        row.add(d, i2, j2, -t);
        added += row.appendTo(eqs, 0.0);
    }
    return added;
}

int addSymmetryEquations(NurbsSurf* surf, int i0, int j0, int i1, int j1, const Vector& n,
                         EquationList& eqs)
{
    const Vector m = firstThree(n);
    int added = 0;
    for (int c = 0; c < 3; ++c) {
        RowBuilder row(surf);
        row.add(c, i0, j0, -1.0);
        for (int d = 0; d < 3; ++d)
            row.add(d, i1, j1, (c == d ? 1.0 : 0.0) - m[c] * m[d]);
        added += row.appendTo(eqs, 0.0);
    }
    return added;
}

int addKnotContinuityEquations(NurbsSurf* surf, int /*count*/, int k, int c, bool inU,
                               bool /*option*/, EquationList& eqs)
{
    knots* K = inU ? surf->uKnots : surf->vKnots;
    if (K == nullptr)
        return 0;
    const int p = K->p;
    const int m = K->getMultiplicityAt(k);
    const int r = p - m + 1;
    Vector A;
    Vector B;
    K->getBasisDerivativesAtKnot(k, r, A, B);
    const int alongCount = inU ? surf->getUCount() : surf->getVCount();
    int added = 0;
    for (int d = 0; d < 3; ++d) {
        RowBuilder row(surf);
        for (int t = 0; t <= p; ++t) {
            const int left = alongIndex(K, k - p - m + t, alongCount);
            const int right = alongIndex(K, k - p + t, alongCount);
            if (t < A.n) {
                if (inU)
                    row.add(d, left, c, A[t]);
                else
                    row.add(d, c, left, A[t]);
            }
            if (t < B.n) {
                if (inU)
                    row.add(d, right, c, -B[t]);
                else
                    row.add(d, c, right, -B[t]);
            }
        }
        added += row.appendTo(eqs, 0.0);
    }
    return added;
}

int fixNormal(NurbsSurf* surf, BoundaryPosition position, EquationList& eqs)
{
    if (!isSide(position)) {
        std::cout << "invalid boundary position for fixNormal" << std::endl;
        return 0;
    }
    const SideFrame f = sideFrame(surf, position);
    int added = 0;
    Vector Su;
    Vector Sv;
    for (int k = 0; k < f.count; ++k) {
        const double u = f.acrossU ? f.s0 : f.abscissae[k];
        const double v = f.acrossU ? f.abscissae[k] : f.s0;
        firstDerivativesInKnotParameters(surf, u, v, Su, Sv);
        const Vector n = normalized(crossProduct(Su, Sv));
        const LocalBasis bu = localBasis(surf->uKnots, u);
        const LocalBasis bv = localBasis(surf->vKnots, v);
        // First the derivative across the side, then the one along it.
        RowBuilder across(surf);
        addDerivativeRow(across, surf, n, bu, bv, f.acrossU);
        added += across.appendTo(eqs, 0.0);
        RowBuilder along(surf);
        addDerivativeRow(along, surf, n, bu, bv, !f.acrossU);
        added += along.appendTo(eqs, 0.0);
    }
    return added;
}

int fixNormalDirection(NurbsSurf* surf, BoundaryPosition position, EquationList& eqs)
{
    if (!isSide(position)) {
        std::cout << "invalid boundary position for fixNormal" << std::endl;
        return 0;
    }
    const SideFrame f = sideFrame(surf, position);
    const int lastI = surf->getUCount() - 1;
    const int lastJ = surf->getVCount() - 1;
    int added = 0;
    Vector Su;
    Vector Sv;
    for (int k = 0; k < f.count; ++k) {
        const double u = f.acrossU ? f.s0 : f.abscissae[k];
        const double v = f.acrossU ? f.abscissae[k] : f.s0;
        firstDerivativesInKnotParameters(surf, u, v, Su, Sv);
        const Vector tu = normalized(Su);
        const Vector tv = normalized(Sv);
        // The cross-boundary tangent made orthogonal to the side tangent; the
        // two rows then leave only the normal direction free.
        const Vector& cross = f.acrossU ? tu : tv;
        const Vector& side = f.acrossU ? tv : tu;
        const Vector a = cross - dot(cross, side) * side;
        int i = k;
        int j = k;
        if (position == uvWest)
            i = 0;
        else if (position == uvEast)
            i = lastI;
        else if (position == uvSouth)
            j = 0;
        else
            j = lastJ;
        RowBuilder first(surf);
        RowBuilder second(surf);
        for (int d = 0; d < 3; ++d) {
            first.add(d, i, j, a[d]);
            second.add(d, i, j, side[d]);
        }
        added += first.appendTo(eqs, 0.0);
        added += second.appendTo(eqs, 0.0);
    }
    return added;
}

int fixg1(NurbsSurf* surf, BoundaryPosition position, EquationList& eqs)
{
    Vector Su;
    Vector Sv;
    if (!surf->isSurface()) {
        const Interval domain = surf->getDomain(0);
        const bool atEnd = position == uvEast;
        firstDerivativesInKnotParameters(surf, atEnd ? domain.max : domain.min, 0.0, Su, Sv);
        const int i = atEnd ? surf->getUCount() - 2 : 1;
        return addInLineEquations(surf, i, 0, normalized(Su), eqs);
    }
    if (!isSide(position)) {
        std::cout << "invalid boundary position for fixg1" << std::endl;
        return 0;
    }
    const SideFrame f = sideFrame(surf, position);
    int added = 0;
    for (int k = 0; k < f.count; ++k) {
        const double u = f.acrossU ? f.s0 : f.abscissae[k];
        const double v = f.acrossU ? f.abscissae[k] : f.s0;
        firstDerivativesInKnotParameters(surf, u, v, Su, Sv);
        const Vector n = normalized(crossProduct(Su, Sv));
        const Vector& D = f.acrossU ? Su : Sv;
        const LocalBasis bu = localBasis(surf->uKnots, u);
        const LocalBasis bv = localBasis(surf->vKnots, v);
        RowBuilder row(surf);
        addDerivativeRow(row, surf, n, bu, bv, f.acrossU);
        added += row.appendTo(eqs, -dot(n, D));
    }
    return added;
}

} // namespace Fenwo
