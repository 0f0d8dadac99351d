#include "geometry/BoundaryConstraint.h"

#include "geometry/ConstraintEquations.h"
#include "geometry/NurbsSurf.h"

#include <iostream>
#include <string>

namespace Fenwo {

namespace {

const char* const kindWords[] = {"inPlane", "orthoPlane", "C0Fix",  "C1Fix",          "epsG1Fix",
                                 "C2Fix",   "symmetry",   "normal", "normalDirection"};
constexpr int kindWordCount = sizeof(kindWords) / sizeof(kindWords[0]);

Vector orZero3(const Vector& v)
{
    return v.n > 0 ? v : Vector(3);
}

bool isSide(BoundaryPosition p)
{
    return p == uvSouth || p == uvNorth || p == uvWest || p == uvEast;
}

// Fixes `rows` rows (or columns) of control points counted inward from the side.
void fixInwardRows(NurbsSurf* surf, BoundaryPosition position, int rows, int nU, int nV,
                   EquationList& eqs)
{
    for (int r = 0; r < rows; ++r) {
        switch (position) {
        case uvSouth:
            fixControlPointRow(surf, r, eqs);
            break;
        case uvNorth:
            fixControlPointRow(surf, nV - 1 - r, eqs);
            break;
        case uvWest:
            fixControlPointColumn(surf, r, eqs);
            break;
        case uvEast:
            fixControlPointColumn(surf, nU - 1 - r, eqs);
            break;
        default:
            return;
        }
    }
}

// The control points of a side in increasing index, each with its inward
// neighbour: calls f(i, j, iInner, jInner).
template <class F> void forSidePoints(BoundaryPosition position, int nU, int nV, F f)
{
    if (position == uvSouth || position == uvNorth) {
        const int j = position == uvSouth ? 0 : nV - 1;
        const int inner = position == uvSouth ? 1 : nV - 2;
        for (int i = 0; i < nU; ++i)
            f(i, j, i, inner);
    } else if (position == uvWest || position == uvEast) {
        const int i = position == uvWest ? 0 : nU - 1;
        const int inner = position == uvWest ? 1 : nU - 2;
        for (int j = 0; j < nV; ++j)
            f(i, j, inner, j);
    }
}

} // namespace

std::ostream& writeBoundaryConstraintKind(std::ostream& os, BoundaryConstraintKind kind)
{
    const int k = static_cast<int>(kind);
    if (k < 0 || k >= kindWordCount) {
        std::cout << "unknown enum on write!" << std::endl;
        return os;
    }
    return os << kindWords[k] << ' ';
}

std::istream& readBoundaryConstraintKind(std::istream& is, BoundaryConstraintKind& kind)
{
    kind = BoundaryConstraintKind::inPlane;
    std::string word;
    if (!(is >> word))
        return is;
    for (int k = 0; k < kindWordCount; ++k) {
        if (word == kindWords[k]) {
            kind = static_cast<BoundaryConstraintKind>(k);
            return is;
        }
    }
    std::cout << "unknown enum key on read!\n'" << word << "'" << std::endl;
    return is;
}

CBoundaryConstraint::CBoundaryConstraint(BoundaryPosition position, BoundaryConstraintKind kind,
                                         const Vector& vector, const Vector& normal)
    : CConstraint(boundaryConstraint), m_position(position), m_kind(kind),
      m_vector(orZero3(vector)), m_normal(orZero3(normal))
{
}

CBoundaryConstraint::CBoundaryConstraint(BoundaryPosition position, BoundaryConstraintKind kind)
    : CConstraint(boundaryConstraint), m_position(position), m_kind(kind), m_vector(3), m_normal(3)
{
}

CBoundaryConstraint::CBoundaryConstraint(std::istream& is) : CConstraint(boundaryConstraint)
{
    read(is);
}

bool CBoundaryConstraint::operator<(const CSetElement& other) const
{
    bool less = false;
    if (orderByType(other, less))
        return less;
    return m_position < static_cast<const CBoundaryConstraint&>(other).m_position;
}

std::ostream& CBoundaryConstraint::write(std::ostream& os) const
{
    writeConstraintType(os, m_type);
    writeBoundaryPosition(os, m_position);
    writeBoundaryConstraintKind(os, m_kind);
    return os << "\n " << m_vector << "\n " << m_normal;
}

std::istream& CBoundaryConstraint::read(std::istream& is)
{
    readBoundaryPosition(is, m_position);
    readBoundaryConstraintKind(is, m_kind);
    // The bracketed form resizes the vectors to what the text holds.
    is >> m_vector >> m_normal;
    return is;
}

void CBoundaryConstraint::addEquations(Kor::List<CSparseLinearEquation>& eqs, NurbsSurf* surf,
                                       int nU, int nV)
{
    switch (m_kind) {
    case BoundaryConstraintKind::C0Fix:
        fixInwardRows(surf, m_position, 1, nU, nV, eqs);
        break;
    case BoundaryConstraintKind::epsG1Fix:
        fixInwardRows(surf, m_position, 1, nU, nV, eqs);
        fixg1(surf, m_position, eqs);
        break;
    case BoundaryConstraintKind::C1Fix:
        fixInwardRows(surf, m_position, 2, nU, nV, eqs);
        break;
    case BoundaryConstraintKind::C2Fix:
        fixInwardRows(surf, m_position, 3, nU, nV, eqs);
        break;
    case BoundaryConstraintKind::inPlane:
        if (isSide(m_position))
            forSidePoints(m_position, nU, nV, [&](int i, int j, int, int) {
                addInPlaneEquation(surf, i, j, m_normal, 0.0, eqs);
            });
        break;
    case BoundaryConstraintKind::symmetry:
        if (isSide(m_position))
            forSidePoints(m_position, nU, nV, [&](int i, int j, int ii, int jj) {
                addSymmetryEquations(surf, i, j, ii, jj, m_normal, eqs);
            });
        break;
    case BoundaryConstraintKind::normal:
        fixNormal(surf, m_position, eqs);
        break;
    case BoundaryConstraintKind::normalDirection:
        fixNormalDirection(surf, m_position, eqs);
        break;
    case BoundaryConstraintKind::orthoPlane:
        break;
    }
}

} // namespace Fenwo
