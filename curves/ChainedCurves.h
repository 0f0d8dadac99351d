// CChainedCurves: an ordered chain of member curves laid end to end in one
// global parameter. The members are sorted and oriented so that each starts
// where the one before it ends; a global parameter t maps to a member and a
// local parameter of that member. Face boundary loops and the edges the
// healing gathers are such chains; CCompositeCurve (curves/CompositeCurve.h)
// makes a chain usable as one curve.
//
// The global parameter runs through the members' own parameter lengths one
// after the other, starting at the first member's domain; it is not
// normalised. Member i covers intervals[i]; a joint belongs to the member that
// starts there, the global upper end to the last member.
//
// Ownership: the members are the caller's and stay alive as long as the
// chain; the chain deletes only the curves it made itself (the bridging
// segments of sortCurves) or was handed with adoptCurve.
// Thread-safety: evaluation writes into the members' derivative tables; one
// thread per chain and its members.
#pragma once

#include "foundation/KorList.h"
#include "foundation/KorSet.h"
#include "foundation/Tuple.h"
#include "foundation/Vector.h"
#include "foundation/Vertex.h"
#include "geometry/Interval.h"

#include <memory>
#include <vector>

class CParametricGeometry;

// The largest defects at the joints of a chain, each a (value, global
// parameter of the joint) pair. The caller sets the start values; a joint
// replaces a pair when its value is at least the stored one.
struct CJointStatistics {
    c_pair<double, double> crossGap; // gap across the joint's mean tangent
    c_pair<double, double> alongGap; // gap along it
    c_pair<double, double> angle;    // angle between the two tangents, degrees
};

class CChainedCurves {
public:
    Kor::List<CParametricGeometry*> curves; // members in chain order (see Ownership)
    Kor::List<Interval> intervals;          // per member, its interval of the global parameter
    Kor::List<bool> reversed;               // member i runs against the chain when set
    Interval globalInterval;                // first member's lower end .. last one's upper end
    Interval savedInterval;                 // copy of globalInterval made by updateIntervals
    bool chainClosed = false;               // isClosed(0.1) after updateIntervals

    CChainedCurves() = default;
    CChainedCurves(const CChainedCurves&) = delete;
    CChainedCurves& operator=(const CChainedCurves&) = delete;
    // Deletes only the curves the chain owns (see Ownership).
    virtual ~CChainedCurves();

    // draw and setColour of every member with the same arguments.
    virtual void draw(double tolerance, bool withColour, int n);
    virtual void setColour(double r, double g, double b);
    // True when the chain's points at both ends of the global interval are
    // strictly closer than tol; false for an empty chain.
    virtual bool isClosed(double tol);
    // Empties `kinks`, then inserts the global parameter of every joint whose
    // unit tangents differ by more than angleLimit degrees: joints 0 .. n - 2
    // and, when the chain closes within 1.0, the closing joint n - 1 (at the
    // upper end of the global interval). Always true.
    virtual bool getKinks(Kor::Set<double>& kinks, double angleLimit);
    // Over the joints of getKinks: the gap g from the end of the member
    // before a joint to the start of the one after it, split across and
    // along the mean unit tangent, and the angle between the tangents; each
    // pair keeps the largest value (ties to the later joint). The three
    // values end rounded to five decimal places. Always true.
    virtual bool getJointStatistics(CJointStatistics& stats);
    // Rotates the chain so that the member whose entry point (its start, or
    // end when reversed) lies strictly nearest to p comes first, and rebuilds
    // the intervals. False, nothing changed, when that member is already
    // first or the chain is empty.
    virtual bool findNearestEnd(const CVertex<float, 3>& p);
    // Orders and orients the members into a chain from member `start`
    // (chainCurvesByEndGaps without a gap limit) and rebuilds the intervals.
    // Null members leave the chain; every member left out is reported as
    // "oops, missed N curves in sorting.". With fillGaps every joint whose
    // ends lie more than 0.01 apart gets a cubic bridging segment (owned by
    // the chain) and the chain is ordered again.
    virtual void sortCurves(int start, bool fillGaps);
    // Empties `joints` and inserts the global parameter of each interior
    // joint (member domain lengths summed from the first interval's lower
    // end). Always true.
    virtual bool getJointParameters(Kor::Set<double>& joints);
    // Rebuilds the member intervals, the global and the saved interval, and
    // the closed flag (isClosed with 0.1).
    virtual void updateIntervals();
    // The surface normal of a curve-on-surface member at the local parameter
    // of t into normal (sized 3); false, normal zero, for any other member.
    virtual bool getSurfaceNormal(double t, Vector& normal);

    // The member of global parameter t and its local parameter (see the
    // header note; a closed chain wraps t periodically first, and t is
    // clamped into the global interval). Returns whether that member is
    // reversed; false with member null (and local, index untouched) for an
    // empty chain or one whose intervals were not built.
    bool getlocalParameter(double t, double& local, CParametricGeometry*& member,
                           int* index = nullptr) const;
    // The member's derivative table at the local parameter of t, read
    // backwards on a reversed member (odd derivatives negated). The table
    // belongs to the member. Without a member the chain prints three lines
    // and falls back to its first member when it has more than one; null
    // when there is none to fall back on.
    Vector** evaluateLocal(int order, double t);
    // At joint i (between member i and member i + 1, indices modulo the
    // member count, so joint n - 1 closes the chain): the outgoing end of
    // member i and the incoming start of member i + 1, read through the
    // reversal flags. Zero vectors for an empty chain or a null member.
    void getJunctionTangents(int i, Vector& endTangent, Vector& startTangent);
    void getJunctionPoints(int i, Vector& endPoint, Vector& startPoint);

    int memberCount() const { return curves.count; }
    bool isMemberReversed(int i) const { return i >= 0 && i < reversed.count && reversed[i]; }
    // Hands a curve to the chain, which deletes it with itself; returns it.
    CParametricGeometry* adoptCurve(CParametricGeometry* curve);

protected:
    // Sets the reversal flags of the members in their present order from
    // their end gaps: the first member runs towards the second, every other
    // member enters where the one before it leaves.
    void orientInPlace();

private:
    // Joint i's leaving and entering points (tangents when `tangents`).
    void junction(int i, bool tangents, Vector& leaving, Vector& entering);
    // visit(i, global parameter of joint i) over the joints of getKinks.
    template <class Visit> void forEachJoint(Visit visit);

    std::vector<std::unique_ptr<CParametricGeometry>> owned; // bridges and adopted curves
};
