// CCompositeCurve: a chain of member curves (CChainedCurves) that is itself
// a curve (CParametricGeometry), so a face boundary or a rail of several
// pieces serves wherever one curve is expected. Its parameter is the chain's
// global parameter, limited to its own domain; the text block
// "CompositeCurve Begin" ... "CompositeCurve End" names the members by id.
//
// Building: append the members to `curves`, then orderCurves sorts and
// orients them and sets the domain to the chain's global interval.
//
// Ownership: members appended by a caller stay the caller's; the member
// clones of `clone` belong to the new composite, which deletes them.
// Thread-safety: evaluation writes into the members' tables; one thread per
// composite and its members.
#pragma once

#include "curves/ChainedCurves.h"
#include "geometry/ParametricGeometry.h"

#include <iosfwd>

class CGeoRef;

class CCompositeCurve : public CParametricGeometry, public CChainedCurves {
public:
    Interval domain; // own domain within the global parameter; [0, 0] until ordered or set

    CCompositeCurve() = default;
    CCompositeCurve(const CCompositeCurve&) = delete;
    CCompositeCurve& operator=(const CCompositeCurve&) = delete;
    ~CCompositeCurve() override;

    using CChainedCurves::isClosed;
    using CParametricGeometry::isClosed;
    using CParametricGeometry::read;

    // sortCurves(start, no gap filling), then the domain becomes the chain's
    // global interval.
    virtual void orderCurves(int start);
    // Reads the block after the word "CompositeCurve" (taken by the caller):
    // "Begin", the GeoObject block, the member count, the global interval and
    // the domain, the member ids (resolved in the registry; an id that is
    // missing or names no curve prints "reference relocation failed. " and is
    // skipped), then "CompositeCurve End". The members replace the present
    // ones in the order read; their orientation is taken from their end gaps
    // and their intervals rebuilt, the domain is the one read. False, with
    // the composite unchanged, when the block is malformed or ends early;
    // skipped members do not make it false.
    virtual bool read(std::istream& is, const CGeoRef& registry);

    // The member count; joints (when given) receives the chain's boundaries:
    // the first interval's lower end and the upper end of every member
    // interval (count + 1 values; empty without members).
    int getNumCurves(Vector* joints = nullptr) const;

    // 320 + 100 per member.
    long memorySize() const override { return 320L + 100L * curves.count; }
    // The CompositeCurve block (numbers at precision 16). Null members are
    // left out.
    bool writeGeometry(std::ostream& os) const override;
    // A composite of clones of the members (owned by it) in the same order
    // and orientation, with the same domain and reversal; null when a member
    // cannot be cloned.
    CParametricGeometry* clone() const override;
    // The chain's table at t, t mirrored in the domain while the composite
    // is reversed in u (odd derivatives then negated).
    Vector** evaluate(int order, double u, double v) override;
    Interval getDomain(int) const override { return domain; }
    // Stores the domain, mirrored within the present one while reversed.
    void setDomain(int dir, const Interval& d) override;
    // The domain's ends and every member's upper end (also shifted by one
    // period of the chain) that lie in the domain. Prints "oops, unexpected
    // getNumCurves=0" and gives false without members; true otherwise.
    bool getUKinks(Vector& kinks) const override;
    bool getVKinks(Vector&) const override { return false; }
    // The domain's ends and the members' breakpoints placed in their own
    // intervals of the global parameter (within the domain), ascending and
    // distinct; the ends only when withEnds. Always true.
    bool getUBreakpoints(Kor::List<double>& out, bool withEnds) const override;
    // The kinks with 5 values inserted into every interval, and 10 more into
    // each resulting interval for a single member.
    void getUSampleParameters(Vector& out) const override;
    // True when there are members and every one has a normal.
    bool hasNormal() const override;
    // The member's normal at the point of t when it has one, else (0, 0, 0).
    Vector getNormal(double t, double v) override;
    // The member's side vector at the point of t, turned with the chain's
    // direction (negated on a member that runs backwards); (0, 0, 0) without
    // a member.
    Vector getSideVector(double t) override;
    // t mirrored as in evaluate, then the chain's surface normal.
    bool getSurfaceNormal(double t, Vector& normal) override;
    // Each member draws itself; setColour colours the composite and every
    // member.
    void draw(double tolerance, bool withColour, int n) override;
    void setColour(double r, double g, double b) override;

private:
    // t of the composite mapped to the chain's global parameter.
    double toChainParameter(double t) const;
    // The member of the chain parameter t and its own parameter at that
    // point (mirrored on a reversed member); null without one.
    CParametricGeometry* memberAt(double t, double& local, bool& backwards) const;
};
