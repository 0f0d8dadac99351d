#pragma once
// Fitting constraints attached to a NURBS surface.
//
// A `Fenwo::CConstraint` restricts the increments of a surface's control
// points in a constrained fit. The surface keeps its constraints in an owning
// `Kor::List<Fenwo::CConstraint*>` (see Fenwo::NurbsSurf::addConstraint), in
// which a new constraint replaces an equal one; equality comes from the
// ordering of Fenwo::CSetElement. Each record class states its own identity
// through operator<, a strict weak ordering by type first and then by the
// fields that make up the record's identity.
//
// This file holds the base, the type keywords, the weights constraint that
// every surface carries and the record factory of the surface reader. The
// other records live in BoundaryConstraint.h, IJConstraints.h and
// KnotAndNormalConstraints.h; the equation builders they share in
// ConstraintEquations.h.
//
// Text form: every record writes its type keyword and one blank, then its
// fields; `read` reads the fields after the keyword. Keywords are compared as
// whole words, case sensitive.
//
// Ownership: a constraint owns its fields; the surface owns the constraint.
// Thread-safety: none; constraints change with their surface, and the text
// writers use the process-wide Vector output precision.

#include "foundation/KorList.h"
#include "foundation/SetElement.h"

#include <iosfwd>

class CSparseLinearEquation;

namespace Fenwo {

class NurbsSurf;

// Kind of a constraint, the first field of every record; the value is the
// position of its keyword in the surface text ("boundary", "ij_region",
// "weights", "ij_relation", "single_cp", "knot_continuity",
// "is_simple_geometry", "all_normals").
enum ConstraintType : int {
    boundaryConstraint = 0,
    ijRegionConstraint = 1,
    weightsConstraint = 2,
    ijRelationConstraint = 3,
    singleCpConstraint = 4,
    knotContinuityConstraint = 5,
    isSimpleGeometryConstraint = 6, // a keyword without a record
    allNormalsConstraint = 7,
};

class CConstraint : public CSetElement {
public:
    int m_type; // ConstraintType

    explicit CConstraint(int type) : m_type(type) {}
    ~CConstraint() override = default;

    // The type keyword, one blank, then the record's fields (the surface
    // writer adds the line end). Returns the stream.
    virtual std::ostream& write(std::ostream& os) const = 0;
    // Reads the fields that follow the type keyword. Returns the stream
    // (failed when a field could not be read; the fields not reached keep
    // their values).
    virtual std::istream& read(std::istream& is) = 0;
    // A copy of the record, every field as it stands; the caller owns it.
    virtual CConstraint* clone() const = 0;
    // Appends the constraint's linear equations on the increments of the fit
    // variables d + 4 (i + nU j) of control point (i, j) (d = 0..2 the
    // coordinates, 3 the weight) to eqs. Fixing requests consult and extend
    // the surface's fixed control-point list. The base adds none.
    virtual void addEquations(Kor::List<CSparseLinearEquation>& eqs, NurbsSurf* surf, int nU,
                              int nV);
    // Draws the constraint on the surface's control net into the current
    // OpenGL context, markers of half-size `size`; the int is not read. The
    // line state is restored. The base draws nothing.
    virtual void draw(NurbsSurf* surf, int unused, double size);
    // Called after `count` knots were inserted into direction dir (0 u, 1 v)
    // of the surface: a record that names control points by index raises
    // every index of that direction above `threshold` by count (the
    // single-control-point constraint does). The base names none.
    virtual void shiftControlPointIndices(int dir, int threshold, int count);

protected:
    // Ordering shared by every record: by type first. Returns true and sets
    // `less` when the types differ or `other` is no constraint (never less
    // than a non-constraint); returns false when the types are equal and the
    // record's own fields must decide.
    bool orderByType(const CSetElement& other, bool& less) const;
};

// Writes the keyword of a constraint type and one blank. A value outside the
// table prints "unknown enum on write!" on standard output and writes nothing.
std::ostream& writeConstraintType(std::ostream& os, int type);
// Sets type to 0 (boundary), skips white space and reads one word; on a
// failed stream it returns at once. A word that is no type keyword prints
// "unknown enum key on read!" and the word in single quotes on standard
// output and leaves 0.
std::istream& readConstraintType(std::istream& is, int& type);

// The record of the given type, constructed from the fields that follow its
// keyword in the stream; the caller owns it. Type 6 and types outside the
// table print "unKnown constraint " with the keyword and " found." on
// standard output, read nothing and give null.
CConstraint* newConstraintFromStream(int type, std::istream& is);

// How many weights a CFixWeightsConstraint holds.
enum FixWeightsMode : int {
    fixAllWeights = 0,    // every control point's weight
    fixCornerWeights = 1, // the weights of the corner points only
};

// Keeps control-point weights fixed in a fit. Every surface carries one; at
// most one per surface (any two are equal, so the newest replaces the older).
class CFixWeightsConstraint final : public CConstraint {
public:
    int m_mode = fixAllWeights; // FixWeightsMode

    CFixWeightsConstraint() : CConstraint(weightsConstraint) {}
    explicit CFixWeightsConstraint(FixWeightsMode mode)
        : CConstraint(weightsConstraint), m_mode(mode)
    {
    }
    // Reads the mode word from the stream, as read() does.
    explicit CFixWeightsConstraint(std::istream& is);

    // Ordered by type only: two weights constraints are equal whatever their
    // modes. A non-constraint element is never less.
    bool operator<(const CSetElement& other) const override;
    // "weights " followed by "fixAllWeights " or "fixCornerWeights "; a mode
    // outside the table writes no mode word.
    std::ostream& write(std::ostream& os) const override;
    // Reads one word: one that begins with "fixAllWeights" gives
    // fixAllWeights, one that begins with "fixCornerWeights" gives
    // fixCornerWeights; any other prints "unknown weights-String:" with the
    // word on standard output and gives fixAllWeights.
    std::istream& read(std::istream& is) override;
    CConstraint* clone() const override { return new CFixWeightsConstraint(*this); }
    // One row "weight increment = 0" per held weight: every control point
    // (fixAllWeights) or the corners (fixCornerWeights; a one-row or
    // one-column surface has two, a single point one). The fixed list is not
    // consulted: the weight is free even on fixed points.
    void addEquations(Kor::List<CSparseLinearEquation>& eqs, NurbsSurf* surf, int nU,
                      int nV) override;
};

} // namespace Fenwo
