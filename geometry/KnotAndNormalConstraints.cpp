#include "geometry/KnotAndNormalConstraints.h"

#include "geometry/ConstraintEquations.h"
#include "geometry/NurbsSurf.h"

#include <algorithm>
#include <istream>
#include <ostream>
#include <tuple>

namespace Fenwo {

// ---- Knot continuity ----------------------------------------------------------

CRemoveKnotsConstraint::CRemoveKnotsConstraint(std::istream& is)
    : CConstraint(knotContinuityConstraint)
{
    read(is);
}

bool CRemoveKnotsConstraint::operator<(const CSetElement& other) const
{
    bool less = false;
    if (orderByType(other, less))
        return less;
    const auto& o = static_cast<const CRemoveKnotsConstraint&>(other);
    return std::tie(m_inU, m_firstKnot, m_lastKnot, m_first, m_last) <
           std::tie(o.m_inU, o.m_firstKnot, o.m_lastKnot, o.m_first, o.m_last);
}

std::ostream& CRemoveKnotsConstraint::write(std::ostream& os) const
{
    writeConstraintType(os, m_type);
    os << m_firstKnot << ' ' << m_lastKnot << ' ' << m_first << ' ' << m_last << ' '
       << (m_inU ? 1 : 0) << ' ' << (m_option ? 1 : 0) << ' ' << m_counts.count << ' ';
    for (int k = 0; k < m_counts.count; ++k)
        os << m_counts[k] << ' ';
    return os;
}

std::istream& CRemoveKnotsConstraint::read(std::istream& is)
{
    int n = 0;
    if (!(is >> m_firstKnot >> m_lastKnot >> m_first >> m_last >> m_inU >> m_option >> n))
        return is;
    // Counts are appended one by one, so a wrong number in the text costs
    // nothing beyond the entries that are really there.
    for (int k = 0; k < n; ++k) {
        int value = 0;
        if (!(is >> value))
            break;
        m_counts.append(value);
    }
    return is;
}

void CRemoveKnotsConstraint::addEquations(Kor::List<CSparseLinearEquation>& eqs, NurbsSurf* surf,
                                          int, int)
{
    if (m_counts.count == 0)
        for (int k = m_firstKnot; k <= m_lastKnot; ++k)
            m_counts.append(1);
    for (int c = m_first; c <= m_last; ++c) {
        for (int k = m_firstKnot; k <= m_lastKnot; ++k) {
            const int at = k - m_firstKnot;
            const int count = at < m_counts.count ? m_counts[at] : 1;
            addKnotContinuityEquations(surf, count, k, c, m_inU, m_option, eqs);
        }
    }
}

// ---- All normals --------------------------------------------------------------

bool CAllNormalsConstraint::operator<(const CSetElement& other) const
{
    bool less = false;
    orderByType(other, less);
    return less;
}

std::ostream& CAllNormalsConstraint::write(std::ostream& os) const
{
    return writeConstraintType(os, m_type);
}

void CAllNormalsConstraint::addEquations(Kor::List<CSparseLinearEquation>& eqs, NurbsSurf* surf,
                                         int nU, int nV)
{
    Vector g;
    Vector h;
    surf->uKnots->getGrevilleAbscissae(g);
    surf->vKnots->getGrevilleAbscissae(h);
    Vector Su;
    Vector Sv;
    for (int i = 0; i < std::min(nU, g.n); ++i) {
        for (int j = 0; j < std::min(nV, h.n); ++j) {
            firstDerivativesInKnotParameters(surf, g[i], h[j], Su, Sv);
            addInLineEquations(surf, i, j, crossProduct(Su, Sv), eqs);
        }
    }
}

} // namespace Fenwo
