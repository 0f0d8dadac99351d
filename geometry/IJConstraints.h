#pragma once
// Constraints that name control points by their indices (i along u, j along
// v): the free region, relations between control points, and conditions on
// a single control point.
//
// Identity (what makes a new constraint replace a stored one):
// - CIJRegionConstraint: all four bounds equal.
// - CIJRelationConstraint: same form and all six indices equal (t ignored),
//   so a series of relations that differ in any index stays complete.
// - CIJSingleConstraint: same kind and same control point (vectors ignored);
//   another kind on the same point stays beside it.
//
// Ownership: each record owns its vectors; the surface owns the records.
// Thread-safety: none (see Constraint.h).

#include "foundation/Vector.h"
#include "geometry/Constraint.h"

#include <cstdint>
#include <iosfwd>

namespace Fenwo {

// The inclusive index rectangle i0 <= i <= i1, j0 <= j <= j1 of control
// points that stay free; every control point outside it is fixed. The
// surface applies it before all other constraints, so their fixing, in-plane
// and in-line rows outside the region are suppressed.
class CIJRegionConstraint final : public CConstraint {
public:
    int m_i0 = 0;
    int m_j0 = 0;
    int m_i1 = 0;
    int m_j1 = 0;

    CIJRegionConstraint() : CConstraint(ijRegionConstraint) {}
    CIJRegionConstraint(int i0, int i1, int j0, int j1)
        : CConstraint(ijRegionConstraint), m_i0(i0), m_j0(j0), m_i1(i1), m_j1(j1)
    {
    }
    // Reads the fields from the stream as read() does.
    explicit CIJRegionConstraint(std::istream& is);

    // Same type: lexicographic over i0, i1, j0, j1.
    bool operator<(const CSetElement& other) const override;
    // "ij_region " then i0, i1, j0, j1 separated by single blanks.
    std::ostream& write(std::ostream& os) const override;
    std::istream& read(std::istream& is) override;
    CConstraint* clone() const override { return new CIJRegionConstraint(*this); }
    // Fixes every control point of the nU x nV grid outside the rectangle.
    void addEquations(Kor::List<CSparseLinearEquation>& eqs, NurbsSurf* surf, int nU,
                      int nV) override;
    // Outlines every cell of the free rectangle's control net (width 2).
    void draw(NurbsSurf* surf, int unused, double size) override;
};

// Short form (m_threePoint 0): control point (i0, j0) moves by the same
// increment as (i1, j1). Long form (1): its increment is (1 - t) times that
// of (i1, j1) plus t times that of (i2, j2). The short form keeps
// i2 = j2 = -1 and t = 0.
class CIJRelationConstraint final : public CConstraint {
public:
    int m_threePoint = 0; // 0 short form, 1 long form
    int m_i0 = 0;
    int m_j0 = 0;
    int m_i1 = 0;
    int m_j1 = 0;
    int m_i2 = -1;
    int m_j2 = -1;
    double m_t = 0.0;
    // Order of construction: it decides between relations whose indices tie,
    // so that no two relations built apart compare equal (a copy keeps it).
    std::uint64_t m_serial = nextRelationSerial();

    CIJRelationConstraint() : CConstraint(ijRelationConstraint) {}
    // Short form.
    CIJRelationConstraint(int i0, int j0, int i1, int j1)
        : CConstraint(ijRelationConstraint), m_i0(i0), m_j0(j0), m_i1(i1), m_j1(j1)
    {
    }
    // Long form.
    CIJRelationConstraint(int i0, int j0, int i1, int j1, int i2, int j2, double t)
        : CConstraint(ijRelationConstraint), m_threePoint(1), m_i0(i0), m_j0(j0), m_i1(i1),
          m_j1(j1), m_i2(i2), m_j2(j2), m_t(t)
    {
    }
    // Reads the fields from the stream as read() does.
    explicit CIJRelationConstraint(std::istream& is);

    // Same type: lexicographic over the form flag, i0, j0, i1, i2 and the
    // serial (j1, j2 and t take no part). A strict ordering in which a
    // relation equals only itself and its copies, so adding a relation to a
    // surface never replaces another one, not even an identical one: the
    // fitting adds series of relations that differ only in j1 and needs every
    // one of them.
    bool operator<(const CSetElement& other) const override;

    // The next serial, from a process-wide counter.
    static std::uint64_t nextRelationSerial();
    // "ij_relation " then i0, j0, i1, j1, i2, j2, t separated by single
    // blanks (t at the stream's precision), no blank after t.
    std::ostream& write(std::ostream& os) const override;
    // Reads the seven values; the long form is set exactly when i2 and j2
    // are both other than -1.
    std::istream& read(std::istream& is) override;
    CConstraint* clone() const override { return new CIJRelationConstraint(*this); }
    // Three rows relating the increments (see the class comment).
    void addEquations(Kor::List<CSparseLinearEquation>& eqs, NurbsSurf* surf, int nU,
                      int nV) override;
    // Short form: a code-3 marker at (i0, j0); long form: a line (width 2)
    // through (i1, j1), (i0, j0), (i2, j2).
    void draw(NurbsSurf* surf, int unused, double size) override;
};

// What a single control-point constraint keeps.
enum class SingleCpKind : int {
    inPlane = 0, // the point moves in the plane through m_point with normal m_direction
    inLine = 1,  // the point moves on the line through m_point along m_direction
    fixed = 2,   // the point does not move
};

// Writes the kind's word and one blank ("inLine "); nothing for a value
// outside the table.
std::ostream& writeSingleCpKind(std::ostream& os, SingleCpKind kind);
// Sets kind to inPlane, skips white space and reads one word (returns at
// once on a failed stream): "inPlane" gives inPlane, "inLine" inLine, any
// other word fixed, without a message.
std::istream& readSingleCpKind(std::istream& is, SingleCpKind& kind);

class CIJSingleConstraint final : public CConstraint {
public:
    SingleCpKind m_kind = SingleCpKind::fixed;
    int m_i = 0;
    int m_j = 0;
    Vector m_point;     // a point of the plane or line (for fixed: the position)
    Vector m_direction; // plane normal (inPlane), line direction (inLine); ignored for fixed

    // Copies the vectors (an empty one becomes a zero 3-vector, so that the
    // record can be written and read back) and places control point (i, j)
    // of the surface so that the constraint holds at once (see initTarget).
    CIJSingleConstraint(NurbsSurf& surf, int i, int j, const Vector& point, const Vector& direction,
                        SingleCpKind kind);
    // Reads kind, i, j and the two vectors from the stream as read() does.
    // The surface is not touched.
    explicit CIJSingleConstraint(std::istream& is);

    // Moves control point (i, j) onto the constraint: inPlane to its
    // orthogonal projection onto the plane through `point` with normal
    // m_direction, inLine to its projection onto the line through `point`
    // along m_direction (the direction normalised). The weight is kept.
    // m_point becomes a copy of `point`. fixed leaves the surface alone, as
    // does an index outside the grid or a zero direction.
    void initTarget(NurbsSurf& surf, const Vector& point);

    // Same type: lexicographic over kind, i, j (vectors take no part).
    bool operator<(const CSetElement& other) const override;
    // "single_cp ", kind word and blank, i, blank, j, blank, m_point, blank,
    // m_direction; the vectors at 16 significant digits whatever the
    // process-wide Vector precision (restored afterwards).
    std::ostream& write(std::ostream& os) const override;
    std::istream& read(std::istream& is) override;
    CConstraint* clone() const override { return new CIJSingleConstraint(*this); }
    // fixed: the three fixing rows; inLine: two in-line rows along
    // m_direction; inPlane: one in-plane row with normal m_direction. Nothing
    // when the point is fixed already.
    void addEquations(Kor::List<CSparseLinearEquation>& eqs, NurbsSurf* surf, int nU,
                      int nV) override;
    // A code-3 (square) point marker at control point (i, j).
    void draw(NurbsSurf* surf, int unused, double size) override;
    // Raises i (dir 0) or j (dir 1) by count when it exceeds threshold.
    void shiftControlPointIndices(int dir, int threshold, int count) override;
};

} // namespace Fenwo
