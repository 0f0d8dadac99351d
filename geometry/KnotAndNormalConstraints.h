#pragma once
// Constraints on the shape as a whole rather than on named control points:
// continuity across a range of knots (which makes the knots removable) and
// control points that may move only along the surface normal.
//
// Ownership: each record owns its fields; the surface owns the records.
// Thread-safety: none (see Constraint.h).

#include "foundation/KorList.h"
#include "geometry/Constraint.h"

#include <iosfwd>

namespace Fenwo {

// For the knot positions m_firstKnot .. m_lastKnot of the u knots (m_inU) or
// the v knots, and the control indices m_first .. m_last in the other
// direction: the derivative of order p - m + 1 (m the knot's multiplicity)
// is continuous across each knot, so the knot can be removed afterwards.
class CRemoveKnotsConstraint final : public CConstraint {
public:
    int m_firstKnot = 0; // inclusive range of knot positions
    int m_lastKnot = 0;
    int m_first = 0; // inclusive range of control indices across
    int m_last = 0;
    bool m_inU = true;
    bool m_option = false;   // carried, written and read
    Kor::List<int> m_counts; // one entry per knot position; carried and written

    CRemoveKnotsConstraint() : CConstraint(knotContinuityConstraint) {}
    CRemoveKnotsConstraint(int firstKnot, int lastKnot, int first, int last, bool inU)
        : CConstraint(knotContinuityConstraint), m_firstKnot(firstKnot), m_lastKnot(lastKnot),
          m_first(first), m_last(last), m_inU(inU)
    {
    }
    // Reads the fields from the stream as read() does.
    explicit CRemoveKnotsConstraint(std::istream& is);

    // Same type: lexicographic over m_inU, first knot, last knot, first
    // index, last index (m_option and m_counts take no part).
    bool operator<(const CSetElement& other) const override;
    // "knot_continuity " then first knot, last knot, first index, last
    // index, m_inU, m_option (0 or 1), the number of counts, each followed by
    // one blank, then every count followed by one blank.
    std::ostream& write(std::ostream& os) const override;
    // Reads the four ints, the two bools, the number of counts and that many
    // ints, appended to m_counts (after what it holds). Reading stops at the
    // first count that cannot be read; a negative number reads none.
    std::istream& read(std::istream& is) override;
    CConstraint* clone() const override { return new CRemoveKnotsConstraint(*this); }
    // Fills an empty m_counts with 1 per knot position, then three
    // continuity rows per (index, knot position), index outer.
    void addEquations(Kor::List<CSparseLinearEquation>& eqs, NurbsSurf* surf, int nU,
                      int nV) override;
    // A screen-size cube marker at the surface point of every (index, knot
    // position): the knot value across, the Greville abscissa of the index
    // along the other direction.
    void draw(NurbsSurf* surf, int unused, double size) override;
};

// Every control point not yet fixed may move only along the surface normal
// at the Greville abscissae of its indices.
class CAllNormalsConstraint final : public CConstraint {
public:
    CAllNormalsConstraint() : CConstraint(allNormalsConstraint) {}

    // Ordered by type only: at most one per surface.
    bool operator<(const CSetElement& other) const override;
    // "all_normals ".
    std::ostream& write(std::ostream& os) const override;
    // No fields.
    std::istream& read(std::istream& is) override { return is; }
    CConstraint* clone() const override { return new CAllNormalsConstraint(*this); }
    void addEquations(Kor::List<CSparseLinearEquation>& eqs, NurbsSurf* surf, int nU,
                      int nV) override;
};

} // namespace Fenwo
