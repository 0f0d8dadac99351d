#include "curves/ChainedCurves.h"

#include "curves/CurveChain.h"
#include "curves/CurveOnSurface.h"
#include "curves/SubCurves.h"
#include "foundation/Rounding.h"
#include "foundation/VertexList.h"
#include "geometry/NurbsSurf.h"
#include "geometry/ParametricGeometry.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <iostream>
#include <numbers>

namespace {

constexpr double kDegrees = 180.0 / std::numbers::pi;

double distance(const Vector& a, const Vector& b)
{
    return std::sqrt(squaredDistance(a, b));
}

// The angle between two directions in degrees, the cosine clamped.
double angleDegrees(const Vector& a, const Vector& b)
{
    return std::acos(std::clamp(dot(normalized(a), normalized(b)), -1.0, 1.0)) * kDegrees;
}

// Where the chain enters (leaves) a member: its start (end), or the other end
// when the member runs backwards.
Vector entryPoint(CParametricGeometry* c, bool reversed)
{
    return reversed ? c->getEndPoint() : c->getStartPoint();
}
Vector exitPoint(CParametricGeometry* c, bool reversed)
{
    return reversed ? c->getStartPoint() : c->getEndPoint();
}

void insertUnique(Kor::Set<double>& set, double value)
{
    set.findOrInsert(value, lessDouble);
}

} // namespace

CChainedCurves::~CChainedCurves() = default;

CParametricGeometry* CChainedCurves::adoptCurve(CParametricGeometry* curve)
{
    if (curve != nullptr)
        owned.emplace_back(curve);
    return curve;
}

void CChainedCurves::draw(double tolerance, bool withColour, int n)
{
    for (CParametricGeometry* c : curves)
        if (c != nullptr)
            c->draw(tolerance, withColour, n);
}

void CChainedCurves::setColour(double r, double g, double b)
{
    for (CParametricGeometry* c : curves)
        if (c != nullptr)
            c->setColour(r, g, b);
}

bool CChainedCurves::getlocalParameter(double t, double& local, CParametricGeometry*& member,
                                       int* index) const
{
    member = nullptr;
    const int n = std::min(curves.count, intervals.count);
    if (n == 0)
        return false;
    const double a = globalInterval.min, b = globalInterval.max;
    // A closed chain is periodic; an interval of zero length has no period.
    if (chainClosed && (t < a || t > b) && b - a > 0.0) {
        const double r = std::fmod(t - a, b - a);
        t = std::fabs(r) < 1e-8 ? a : r + (t < a ? b : a);
    }
    t = std::clamp(t, a, b);
    // The first member whose interval ends strictly after t.
    const Interval* first = intervals.data;
    const Interval* found = std::upper_bound(
        first, first + n, t, [](double v, const Interval& iv) { return v < iv.max; });
    const int k = found == first + n ? n - 1 : static_cast<int>(found - first);
    member = curves[k];
    if (member == nullptr)
        return false;
    const Interval& iv = intervals[k];
    const double length = iv.max - iv.min;
    const double s = length > 2.2e-15 ? (t - iv.min) / length : 0.0;
    const Interval d = member->getDomain(0);
    local = (1.0 - s) * d.min + s * d.max;
    if (index != nullptr)
        *index = k;
    return isMemberReversed(k);
}

Vector** CChainedCurves::evaluateLocal(int order, double t)
{
    double local = 0.0;
    CParametricGeometry* member = nullptr;
    bool backwards = getlocalParameter(t, local, member);
    if (member == nullptr) {
        std::cout << "getlocalParameter returned nothing. " << std::endl;
        std::cout << "nCurves=" << curves.count << " ranges=";
        for (const Interval& iv : intervals)
            std::cout << iv;
        std::cout << std::endl << "using first curve, expect problems." << std::endl;
        if (curves.count <= 1 || curves[0] == nullptr)
            return nullptr;
        member = curves[0];
        backwards = false;
        const Interval d = member->getDomain(0);
        local = std::clamp(t, d.min, d.max);
    }
    if (backwards) {
        const Interval d = member->getDomain(0);
        local = d.min + d.max - local;
    }
    Vector** D = member->evaluate(order, local, 0.0);
    if (D != nullptr && backwards)
        for (int i = 1; i <= order; i += 2)
            D[i][0] *= -1.0;
    return D;
}

bool CChainedCurves::isClosed(double tol)
{
    if (curves.count == 0)
        return false;
    Vector** D = evaluateLocal(0, globalInterval.min);
    if (D == nullptr)
        return false;
    const Vector start = D[0][0];
    D = evaluateLocal(0, globalInterval.max);
    return D != nullptr && distance(start, D[0][0]) < tol;
}

void CChainedCurves::junction(int i, bool tangents, Vector& leaving, Vector& entering)
{
    leaving = Vector(3);
    entering = Vector(3);
    const int n = curves.count;
    if (n == 0)
        return;
    const int a = ((i % n) + n) % n, b = (a + 1) % n;
    CParametricGeometry* before = curves[a];
    CParametricGeometry* after = curves[b];
    const bool ra = isMemberReversed(a), rb = isMemberReversed(b);
    if (before != nullptr)
        leaving = !tangents ? exitPoint(before, ra)
                  : ra      ? -before->getStartTangent()
                            : before->getEndTangent();
    if (after != nullptr)
        entering = !tangents ? entryPoint(after, rb)
                   : rb      ? -after->getEndTangent()
                             : after->getStartTangent();
}

void CChainedCurves::getJunctionTangents(int i, Vector& endTangent, Vector& startTangent)
{
    junction(i, true, endTangent, startTangent);
}

void CChainedCurves::getJunctionPoints(int i, Vector& endPoint, Vector& startPoint)
{
    junction(i, false, endPoint, startPoint);
}

template <class Visit> void CChainedCurves::forEachJoint(Visit visit)
{
    const bool closes = isClosed(1.0);
    const int n = std::min(curves.count, intervals.count);
    double at = globalInterval.min;
    for (int i = 0; i < (closes ? n : n - 1); ++i) {
        if (curves[i] != nullptr)
            at += curves[i]->getDomain(0).getLength();
        visit(i, at);
    }
}

bool CChainedCurves::getKinks(Kor::Set<double>& kinks, double angleLimit)
{
    kinks.removeAll(false, true);
    forEachJoint([&](int i, double at) {
        Vector out, in;
        getJunctionTangents(i, out, in);
        if (angleDegrees(out, in) > angleLimit)
            insertUnique(kinks, at);
    });
    return true;
}

bool CChainedCurves::getJointStatistics(CJointStatistics& stats)
{
    forEachJoint([&](int i, double at) {
        Vector out, in, end, start;
        getJunctionTangents(i, out, in);
        getJunctionPoints(i, end, start);
        const Vector m = normalized(normalized(out) + normalized(in));
        const Vector g = start - end;
        const double along = dot(g, m);
        const double values[3] = {norm(g - along * m), std::fabs(along), angleDegrees(out, in)};
        c_pair<double, double>* pairs[3] = {&stats.crossGap, &stats.alongGap, &stats.angle};
        for (int k = 0; k < 3; ++k)
            if (values[k] >= pairs[k]->first)
                *pairs[k] = {values[k], at};
    });
    stats.crossGap.first = roundToDigits(stats.crossGap.first, 4);
    stats.alongGap.first = roundToDigits(stats.alongGap.first, 4);
    stats.angle.first = roundToDigits(stats.angle.first, 4);
    return true;
}

bool CChainedCurves::findNearestEnd(const CVertex<float, 3>& p)
{
    const Vector target(p.data[0], p.data[1], p.data[2]);
    int best = -1;
    double bestDistance = DBL_MAX;
    for (int i = 0; i < curves.count; ++i) {
        if (curves[i] == nullptr)
            continue;
        const double d = distance(entryPoint(curves[i], isMemberReversed(i)), target);
        if (best < 0 || d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    if (best <= 0)
        return false;
    const int n = curves.count;
    Kor::List<CParametricGeometry*> rotated;
    Kor::List<bool> flags;
    for (int k = 0; k < n; ++k) {
        rotated.append(curves[(best + k) % n]);
        flags.append(isMemberReversed((best + k) % n));
    }
    curves = std::move(rotated);
    reversed = std::move(flags);
    updateIntervals();
    return true;
}

void CChainedCurves::sortCurves(int start, bool fillGaps)
{
    if (curves.count == 0)
        return;
    const CParametricGeometry* head = start >= 0 && start < curves.count ? curves[start] : nullptr;
    const int missed = chainCurvesByEndGaps(curves, start, std::sqrt(DBL_MAX), reversed);
    if (missed > 0)
        std::cout << "oops, missed " << missed << " curves in sorting." << std::endl;
    // Null members are behind the chain; they carry nothing to keep.
    while (curves.count > 0 && curves[curves.count - 1] == nullptr) {
        curves.removeAt(curves.count - 1);
        reversed.removeAt(reversed.count - 1);
    }
    if (!fillGaps) {
        updateIntervals();
        return;
    }
    const int n = curves.count;
    for (int i = 1; i < n; ++i) {
        CParametricGeometry* before = curves[i - 1];
        CParametricGeometry* after = curves[i];
        const bool rb = isMemberReversed(i - 1), ra = isMemberReversed(i);
        const Vector end = exitPoint(before, rb);
        const Vector start = entryPoint(after, ra);
        if (distance(end, start) <= 0.01)
            continue;
        const Vector endTangent = rb ? -before->getStartTangent() : before->getEndTangent();
        const Vector startTangent = ra ? -after->getEndTangent() : after->getStartTangent();
        Fenwo::NurbsSurf* bridge = hermiteSegment(end, normalized(endTangent), start,
                                                  normalized(startTangent), 3, 0.353552, 0.35355);
        if (bridge != nullptr)
            curves.append(adoptCurve(bridge));
    }
    // The second pass starts again from the member the first one started
    // from, so the bridged chain keeps its head and its direction.
    int again = 0;
    while (again < curves.count && curves[again] != head)
        ++again;
    sortCurves(again < curves.count ? again : 0, false);
}

bool CChainedCurves::getJointParameters(Kor::Set<double>& joints)
{
    joints.removeAll(false, true);
    if (intervals.count == 0)
        return true;
    double r = intervals[0].min;
    for (int i = 0; i + 1 < curves.count; ++i) {
        if (curves[i] != nullptr)
            r += curves[i]->getDomain(0).getLength();
        insertUnique(joints, r);
    }
    return true;
}

void CChainedCurves::updateIntervals()
{
    intervals.removeAll();
    if (curves.count == 0)
        return;
    double end = 0.0;
    for (int i = 0; i < curves.count; ++i) {
        // A null member holds no parameter length.
        const Interval d = curves[i] != nullptr ? curves[i]->getDomain(0) : Interval(end, end);
        const double shift = i == 0 ? 0.0 : end - d.min;
        intervals.append(Interval(d.min + shift, d.max + shift));
        end = intervals[i].max;
    }
    globalInterval = Interval(intervals[0].min, intervals[intervals.count - 1].max);
    savedInterval = globalInterval;
    chainClosed = false;
    chainClosed = isClosed(0.1);
}

bool CChainedCurves::getSurfaceNormal(double t, Vector& normal)
{
    normal = Vector(3);
    double local = 0.0;
    CParametricGeometry* member = nullptr;
    const bool backwards = getlocalParameter(t, local, member);
    auto* cons = dynamic_cast<CCONS*>(member);
    if (cons == nullptr)
        return false;
    if (backwards) {
        const Interval d = member->getDomain(0);
        local = d.min + d.max - local;
    }
    normal = cons->getRawNormal(local, 0.0);
    return true;
}

void CChainedCurves::orientInPlace()
{
    const int n = curves.count;
    reversed.removeAll();
    for (int i = 0; i < n; ++i)
        reversed.append(false);
    if (n < 2 || curves[0] == nullptr)
        return;
    // The first member runs towards the second: its end lies nearer to
    // either end of the second member than its start does.
    if (curves[1] != nullptr) {
        const Vector s1 = curves[1]->getStartPoint(), e1 = curves[1]->getEndPoint();
        const Vector s0 = curves[0]->getStartPoint(), e0 = curves[0]->getEndPoint();
        reversed[0] = std::min(distance(s0, s1), distance(s0, e1)) <
                      std::min(distance(e0, s1), distance(e0, e1));
    }
    for (int i = 1; i < n; ++i) {
        if (curves[i] == nullptr || curves[i - 1] == nullptr)
            continue;
        const Vector leave = exitPoint(curves[i - 1], reversed[i - 1]);
        reversed[i] =
            distance(leave, curves[i]->getEndPoint()) < distance(leave, curves[i]->getStartPoint());
    }
}
