#include "geometry/IJConstraints.h"

#include "geometry/ConstraintEquations.h"
#include "geometry/FitHelpers.h"
#include "geometry/NurbsSurf.h"

#include <atomic>
#include <istream>
#include <ostream>
#include <string>
#include <tuple>

namespace Fenwo {

// ---- Region -------------------------------------------------------------------

CIJRegionConstraint::CIJRegionConstraint(std::istream& is) : CConstraint(ijRegionConstraint)
{
    read(is);
}

bool CIJRegionConstraint::operator<(const CSetElement& other) const
{
    bool less = false;
    if (orderByType(other, less))
        return less;
    const auto& o = static_cast<const CIJRegionConstraint&>(other);
    return std::tie(m_i0, m_i1, m_j0, m_j1) < std::tie(o.m_i0, o.m_i1, o.m_j0, o.m_j1);
}

std::ostream& CIJRegionConstraint::write(std::ostream& os) const
{
    writeConstraintType(os, m_type);
    return os << m_i0 << ' ' << m_i1 << ' ' << m_j0 << ' ' << m_j1;
}

std::istream& CIJRegionConstraint::read(std::istream& is)
{
    return is >> m_i0 >> m_i1 >> m_j0 >> m_j1;
}

void CIJRegionConstraint::addEquations(Kor::List<CSparseLinearEquation>& eqs, NurbsSurf* surf,
                                       int nU, int nV)
{
    for (int j = 0; j < nV; ++j)
        for (int i = 0; i < nU; ++i)
            if (i < m_i0 || i > m_i1 || j < m_j0 || j > m_j1)
                addFixControlPointEquations(surf, i, j, eqs);
}

// ---- Relation -----------------------------------------------------------------

CIJRelationConstraint::CIJRelationConstraint(std::istream& is) : CConstraint(ijRelationConstraint)
{
    read(is);
}

bool CIJRelationConstraint::operator<(const CSetElement& other) const
{
    bool less = false;
    if (orderByType(other, less))
        return less;
    const auto& o = static_cast<const CIJRelationConstraint&>(other);
    return std::tie(m_threePoint, m_i0, m_j0, m_i1, m_i2, m_serial) <
           std::tie(o.m_threePoint, o.m_i0, o.m_j0, o.m_i1, o.m_i2, o.m_serial);
}

std::uint64_t CIJRelationConstraint::nextRelationSerial()
{
    static std::atomic<std::uint64_t> counter{0};
    return ++counter;
}

std::ostream& CIJRelationConstraint::write(std::ostream& os) const
{
    writeConstraintType(os, m_type);
    return os << m_i0 << ' ' << m_j0 << ' ' << m_i1 << ' ' << m_j1 << ' ' << m_i2 << ' ' << m_j2
              << ' ' << m_t;
}

std::istream& CIJRelationConstraint::read(std::istream& is)
{
    is >> m_i0 >> m_j0 >> m_i1 >> m_j1 >> m_i2 >> m_j2 >> m_t;
    m_threePoint = (m_i2 != -1 && m_j2 != -1) ? 1 : 0;
    return is;
}

void CIJRelationConstraint::addEquations(Kor::List<CSparseLinearEquation>& eqs, NurbsSurf* surf,
                                         int, int)
{
    if (m_threePoint != 0)
        addRelationEquations(surf, m_i0, m_j0, m_i1, m_j1, m_i2, m_j2, m_t, eqs);
    else
        addRelationEquation(surf, m_i0, m_j0, m_i1, m_j1, eqs);
}

// ---- Single control point -----------------------------------------------------

namespace {

const char* const singleKindWords[] = {"inPlane", "inLine", "fixed"};
constexpr int singleKindWordCount = sizeof(singleKindWords) / sizeof(singleKindWords[0]);

} // namespace

std::ostream& writeSingleCpKind(std::ostream& os, SingleCpKind kind)
{
    const int k = static_cast<int>(kind);
    if (k >= 0 && k < singleKindWordCount)
        os << singleKindWords[k] << ' ';
    return os;
}

std::istream& readSingleCpKind(std::istream& is, SingleCpKind& kind)
{
    kind = SingleCpKind::inPlane;
    std::string word;
    if (!(is >> word))
        return is;
    if (word == "inPlane")
        kind = SingleCpKind::inPlane;
    else if (word == "inLine")
        kind = SingleCpKind::inLine;
    else
        kind = SingleCpKind::fixed;
    return is;
}

CIJSingleConstraint::CIJSingleConstraint(NurbsSurf& surf, int i, int j, const Vector& point,
                                         const Vector& direction, SingleCpKind kind)
    : CConstraint(singleCpConstraint), m_kind(kind), m_i(i), m_j(j),
      m_point(point.n > 0 ? point : Vector(3)), m_direction(direction.n > 0 ? direction : Vector(3))
{
    // initTarget takes its point by reference and copies it into m_point.
    const Vector target = m_point;
    initTarget(surf, target);
}

CIJSingleConstraint::CIJSingleConstraint(std::istream& is) : CConstraint(singleCpConstraint)
{
    read(is);
}

void CIJSingleConstraint::initTarget(NurbsSurf& surf, const Vector& point)
{
    m_point = point;
    if (m_kind == SingleCpKind::fixed)
        return;
    if (m_i < 0 || m_i >= surf.getUCount() || m_j < 0 || m_j >= surf.getVCount())
        return;
    const CAxis axis(m_point, m_direction);
    // A zero direction defines neither a plane nor a line; the equations of
    // such a record leave the point free, so the point is not moved either.
    if (normSquared(axis.direction) == 0.0)
        return;
    Vector c;
    double w = 0.0;
    surf.getControlPointAndWeight(c, m_i, m_j, w);
    const Vector target =
        m_kind == SingleCpKind::inPlane ? axis.footOnPlane(c) : axis.footOnLine(c);
    surf.setControlPoint(m_i, m_j, target, w);
}

bool CIJSingleConstraint::operator<(const CSetElement& other) const
{
    bool less = false;
    if (orderByType(other, less))
        return less;
    const auto& o = static_cast<const CIJSingleConstraint&>(other);
    return std::tie(m_kind, m_i, m_j) < std::tie(o.m_kind, o.m_i, o.m_j);
}

std::ostream& CIJSingleConstraint::write(std::ostream& os) const
{
    ScopedVectorOutputPrecision precision(16);
    writeConstraintType(os, m_type);
    writeSingleCpKind(os, m_kind);
    return os << m_i << ' ' << m_j << ' ' << m_point << ' ' << m_direction;
}

std::istream& CIJSingleConstraint::read(std::istream& is)
{
    readSingleCpKind(is, m_kind);
    return is >> m_i >> m_j >> m_point >> m_direction;
}

void CIJSingleConstraint::addEquations(Kor::List<CSparseLinearEquation>& eqs, NurbsSurf* surf, int,
                                       int)
{
    switch (m_kind) {
    case SingleCpKind::fixed:
        addFixControlPointEquations(surf, m_i, m_j, eqs);
        break;
    case SingleCpKind::inLine:
        addInLineEquations(surf, m_i, m_j, m_direction, eqs);
        break;
    case SingleCpKind::inPlane:
        addInPlaneEquation(surf, m_i, m_j, m_direction, 0.0, eqs);
        break;
    }
}

void CIJSingleConstraint::shiftControlPointIndices(int dir, int threshold, int count)
{
    int& index = dir == 0 ? m_i : m_j;
    if (index > threshold)
        index += count;
}

} // namespace Fenwo
