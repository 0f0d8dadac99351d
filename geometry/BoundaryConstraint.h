#pragma once
// CBoundaryConstraint: a condition on one side of a surface (or one end of a
// curve: uvWest its start, uvEast its end) in a constrained fit, and the
// keyword table of its kinds.
//
// A surface holds at most one boundary constraint per position: two of them
// are equal when their positions are, whatever their kinds and vectors, so
// adding one replaces the one on that side.
//
// Ownership: the record owns its two vectors; the surface owns the record.
// Thread-safety: none (see Constraint.h).

#include "foundation/Vector.h"
#include "geometry/BoundaryPosition.h"
#include "geometry/Constraint.h"

#include <iosfwd>

namespace Fenwo {

// What a boundary constraint keeps along its side. Rows of control points
// are counted inward from the side.
enum class BoundaryConstraintKind : int {
    inPlane = 0,         // the side's control points move in the plane of m_normal
    orthoPlane = 1,      // no equation
    C0Fix = 2,           // the side's row is fixed
    C1Fix = 3,           // the side's row and the next one are fixed
    epsG1Fix = 4,        // the side's row is fixed, the cross derivative stays in the tangent plane
    C2Fix = 5,           // three rows are fixed
    symmetry = 6,        // the side's increments mirror the inward neighbour's about m_normal
    normal = 7,          // the tangent planes along the side stay
    normalDirection = 8, // the side's control points move along the surface normal only
};

// Writes the kind's word and one blank ("C1Fix "). A value outside the table
// prints "unknown enum on write!" on standard output and writes nothing.
std::ostream& writeBoundaryConstraintKind(std::ostream& os, BoundaryConstraintKind kind);
// Sets kind to inPlane, skips white space and reads one word (returns at once
// on a failed stream). A word outside the table prints
// "unknown enum key on read!" and the word in single quotes on standard
// output and leaves inPlane.
std::istream& readBoundaryConstraintKind(std::istream& is, BoundaryConstraintKind& kind);

class CBoundaryConstraint final : public CConstraint {
public:
    BoundaryPosition m_position = undefinedPosition;
    BoundaryConstraintKind m_kind = BoundaryConstraintKind::inPlane;
    Vector m_vector; // carried, written and read; no equation uses it
    Vector m_normal; // plane normal of the inPlane and symmetry kinds

    // Copies both vectors; an empty one becomes a zero 3-vector so that the
    // record can always be written and read back.
    CBoundaryConstraint(BoundaryPosition position, BoundaryConstraintKind kind,
                        const Vector& vector, const Vector& normal);
    // Both vectors zero 3-vectors.
    CBoundaryConstraint(BoundaryPosition position, BoundaryConstraintKind kind);
    // Reads the fields from the stream as read() does.
    explicit CBoundaryConstraint(std::istream& is);

    // Same type: ordered by position only (one boundary constraint per side).
    bool operator<(const CSetElement& other) const override;
    // "boundary ", position word and blank, kind word and blank, then on two
    // further lines one blank and m_vector, one blank and m_normal.
    std::ostream& write(std::ostream& os) const override;
    std::istream& read(std::istream& is) override;
    CConstraint* clone() const override { return new CBoundaryConstraint(*this); }
    // By kind, for the sides uvSouth .. uvEast (corners and undefinedPosition
    // add nothing): C0Fix / epsG1Fix fix the side's row (epsG1Fix then adds
    // the tangent-plane rows), C1Fix two rows, C2Fix three; inPlane one
    // in-plane row per side point; symmetry ties each side point to its
    // inward neighbour; normal and normalDirection keep the tangent planes or
    // the normal directions; orthoPlane adds nothing.
    void addEquations(Kor::List<CSparseLinearEquation>& eqs, NurbsSurf* surf, int nU,
                      int nV) override;
    // Marks control rows or columns from the side inward with code-5 point
    // markers: one for C0Fix and epsG1Fix, two for C1Fix, three for C2Fix;
    // inPlane and symmetry mark the side itself with code 3.
    void draw(NurbsSurf* surf, int unused, double size) override;
};

} // namespace Fenwo
