#include "geometry/Constraint.h"

#include "geometry/BoundaryConstraint.h"
#include "geometry/ConstraintEquations.h"
#include "geometry/GeoTokenizer.h"
#include "geometry/IJConstraints.h"
#include "geometry/KnotAndNormalConstraints.h"
#include "geometry/SparseLinearEquation.h"

#include <algorithm>
#include <iostream>
#include <string>

namespace Fenwo {

namespace {

// Keywords indexed by ConstraintType value.
const char* const typeWords[] = {"boundary",           "ij_region",  "weights",
                                 "ij_relation",        "single_cp",  "knot_continuity",
                                 "is_simple_geometry", "all_normals"};
constexpr int typeWordCount = sizeof(typeWords) / sizeof(typeWords[0]);

} // namespace

void CConstraint::addEquations(Kor::List<CSparseLinearEquation>&, NurbsSurf*, int, int) {}

void CConstraint::shiftControlPointIndices(int, int, int) {}

bool CConstraint::orderByType(const CSetElement& other, bool& less) const
{
    const auto* c = dynamic_cast<const CConstraint*>(&other);
    if (c == nullptr) {
        less = false;
        return true;
    }
    if (m_type != c->m_type) {
        less = m_type < c->m_type;
        return true;
    }
    // Equal types: the record's own ordering decides. Records of one type
    // share one class, so the caller may cast `other` to its own class.
    return false;
}

std::ostream& writeConstraintType(std::ostream& os, int type)
{
    if (type < 0 || type >= typeWordCount) {
        std::cout << "unknown enum on write!" << std::endl;
        return os;
    }
    return os << typeWords[type] << ' ';
}

std::istream& readConstraintType(std::istream& is, int& type)
{
    type = boundaryConstraint;
    std::string word;
    if (!(is >> word))
        return is;
    for (int k = 0; k < typeWordCount; ++k) {
        if (word == typeWords[k]) {
            type = k;
            return is;
        }
    }
    if (readsAsWritten(is)) {
        reportGeoTextFault(is, "expected the type of a constraint, found " + shownInFault(word));
        is.setstate(std::ios::failbit);
        return is;
    }
    std::cout << "unknown enum key on read!\n'" << word << "'" << std::endl;
    return is;
}

CConstraint* newConstraintFromStream(int type, std::istream& is)
{
    switch (type) {
    case boundaryConstraint:
        return new CBoundaryConstraint(is);
    case ijRegionConstraint:
        return new CIJRegionConstraint(is);
    case weightsConstraint:
        return new CFixWeightsConstraint(is);
    case ijRelationConstraint:
        return new CIJRelationConstraint(is);
    case singleCpConstraint:
        return new CIJSingleConstraint(is);
    case knotContinuityConstraint:
        return new CRemoveKnotsConstraint(is);
    case allNormalsConstraint:
        return new CAllNormalsConstraint();
    default:
        std::cout << "unKnown constraint ";
        writeConstraintType(std::cout, type);
        std::cout << " found." << std::endl;
        return nullptr;
    }
}

// ---- Weights ------------------------------------------------------------------

CFixWeightsConstraint::CFixWeightsConstraint(std::istream& is) : CConstraint(weightsConstraint)
{
    read(is);
}

bool CFixWeightsConstraint::operator<(const CSetElement& other) const
{
    bool less = false;
    orderByType(other, less);
    return less;
}

std::ostream& CFixWeightsConstraint::write(std::ostream& os) const
{
    writeConstraintType(os, m_type);
    if (m_mode == fixAllWeights)
        os << "fixAllWeights ";
    else if (m_mode == fixCornerWeights)
        os << "fixCornerWeights ";
    return os;
}

std::istream& CFixWeightsConstraint::read(std::istream& is)
{
    m_mode = fixAllWeights;
    std::string word;
    if (!(is >> word))
        return is;
    if (readsAsWritten(is) && word != "fixAllWeights" && word != "fixCornerWeights") {
        reportGeoTextFault(is, "expected \"fixAllWeights\" or \"fixCornerWeights\" in a weights "
                               "constraint, found " +
                                   shownInFault(word));
        is.setstate(std::ios::failbit);
    } else if (word.rfind("fixAllWeights", 0) == 0)
        m_mode = fixAllWeights;
    else if (word.rfind("fixCornerWeights", 0) == 0)
        m_mode = fixCornerWeights;
    else
        std::cout << "unknown weights-String:" << word << '\n';
    return is;
}

void CFixWeightsConstraint::addEquations(Kor::List<CSparseLinearEquation>& eqs, NurbsSurf*, int nU,
                                         int nV)
{
    const bool corners = m_mode == fixCornerWeights;
    const int si = corners ? std::max(nU - 1, 1) : 1;
    const int sj = corners ? std::max(nV - 1, 1) : 1;
    for (int j = 0; j < nV; j += sj) {
        for (int i = 0; i < nU; i += si) {
            const int at = eqs.append(CSparseLinearEquation());
            eqs[at].row.set(3 + 4 * (i + nU * j), 1.0);
        }
    }
}

} // namespace Fenwo
