// Seam sampling of a coedge: pairs of parameters on the left and the right
// boundary curve that belong to one seam point, found by projecting the
// samples of each side onto the other side's curve.
#include "curves/ArcLength.h"
#include "curves/BoundaryCurves.h"
#include "curves/Projections.h"
#include "curves/StartValues.h"
#include "geometry/FitHelpers.h"
#include "geometry/NurbsSurf.h"
#include "net/FaceRecords.h"
#include "net/PointList.h"

#include <cmath>
#include <iostream>
#include <memory>
#include <numbers>

using Fenwo::NurbsSurf;

namespace {

constexpr double kCloseEnough = 0.001;      // a foot this close needs no angle test
constexpr double kPerpendicularSlack = 0.1; // radians off a right angle still accepted
constexpr int kFixedCurveIntervals = 50;    // samples of a fixed curve's domain

struct BoundaryCurve {
    std::unique_ptr<CParametricGeometry> owned; // made here
    CParametricGeometry* curve = nullptr;       // owned or borrowed (a fixed curve)

    void take(CParametricGeometry* made)
    {
        owned.reset(made);
        curve = made;
    }
    void drop() { take(nullptr); }
};

// The copy of the poly-line's attached curve that stands in for a side
// without a face surface, over the parameters of the coedge's end grid
// points. Without both end points on the poly-line (with parameters) the
// message is printed and no curve results.
void polyLineStandIn(const CCoEdge& coedge, BoundaryCurve& side, Interval& interval,
                     const char* rangeLabel, const char* badIndexMessage)
{
    const COffset_PointList* polyLine = coedge.polyLine;
    side.take(surfaceBoundaryCurves(asNurbsSurf(polyLine->getCurve()), uvSouth));
    if (side.curve == nullptr)
        return;
    // The coedge's own range of entries where its ends are those entries: a
    // point the poly-line passes twice, or the closing piece of a closed
    // poly-line (one period on), has its parameter there and not at the
    // point's first entry.
    double ta = 0.0, tb = 0.0;
    bool found = false;
    if (polyLine->entryAt(coedge.firstIndex) == coedge.startGridPoint &&
        polyLine->entryAt(coedge.secondIndex) == coedge.endGridPoint)
        found = polyLine->entryParameter(coedge.firstIndex, ta) &&
                polyLine->entryParameter(coedge.secondIndex, tb);
    else {
        const int a = polyLine->indexOf(coedge.startGridPoint);
        const int b = polyLine->indexOf(coedge.endGridPoint);
        const int parameterCount = polyLine->parameters.count;
        found = a >= 0 && b >= 0 && a < parameterCount && b < parameterCount;
        if (found) {
            ta = polyLine->parameters[a];
            tb = polyLine->parameters[b];
        }
    }
    if (!found) {
        std::cout << badIndexMessage << std::endl;
        side.drop();
        return;
    }
    interval = Interval(ta, tb);
    std::cout << rangeLabel << interval << std::endl;
}

// The parameters of one side: the breakpoints of a curve made here within
// the side's interval, refined by degree + 1; else 51 over a fixed curve's
// domain, which then serves as the boundary curve.
void sideParameters(BoundaryCurve& side, const Interval& interval, CParametricGeometry* fixed,
                    Kor::List<double>& out)
{
    if (side.owned) {
        const NurbsSurf* curve = asNurbsSurf(side.curve);
        const int degree = curve != nullptr ? curve->uKnots->p : 1;
        breakpointsInInterval(side.curve, interval, out, degree + 1);
    } else if (fixed != nullptr) {
        sampleDomainUniform(fixed, out, kFixedCurveIntervals);
        side.curve = fixed;
    }
}

bool meetsAtRightAngle(CParametricGeometry* curve, const Vector& p, double t)
{
    const Vector toFoot = curve->getPoint(t, 0.0) - p;
    const double angle = angleBetween(toFoot, curve->getTangent(t));
    return std::fabs(angle - std::numbers::pi / 2.0) <= kPerpendicularSlack;
}

// Projects the point of `from` at s onto `onto`, starting at t (the foot
// parameter is left in t). Accepted when the foot is close, or when the
// connection meets the curve at a right angle, from t or else from a
// global start.
bool projectSample(CParametricGeometry* from, double s, CParametricGeometry* onto, double& t)
{
    const Vector p = from->getPoint(s, 0.0);
    const float d = projectPointOnCurve(onto, p, t);
    if (d <= kCloseEnough)
        return true;
    if (meetsAtRightAngle(onto, p, t))
        return true;
    startParameterOnCurve(*onto, p, t);
    projectPointOnCurve(onto, p, t);
    return meetsAtRightAngle(onto, p, t);
}

void reverseList(Kor::List<double>& list)
{
    for (int i = 0, j = list.count - 1; i < j; ++i, --j)
        std::swap(list[i], list[j]);
}

} // namespace

int CCoEdge::sampleSeams(Mesh::CBaseMesh* mesh)
{
    if (mesh != nullptr)
        return 0;
    CParametricGeometry* leftGeometry = leftSurface();
    CParametricGeometry* rightGeometry = rightSurface();
    if (leftGeometry == nullptr && rightGeometry == nullptr)
        return 0;

    BoundaryCurve left;
    BoundaryCurve right;
    if (leftLoop != nullptr && leftGeometry != nullptr)
        left.take(surfaceBoundaryCurves(asNurbsSurf(leftGeometry), leftPosition));
    if (rightLoop != nullptr && rightGeometry != nullptr)
        right.take(surfaceBoundaryCurves(asNurbsSurf(rightGeometry), rightPosition));
    const bool attached = polyLine != nullptr && polyLine->curveLocked;
    if (attached && right.curve == nullptr)
        polyLineStandIn(*this, right, rightInterval,
                        "fixed r-range=", "bad right index from getIndex");
    if (attached && left.curve == nullptr)
        polyLineStandIn(*this, left, leftInterval,
                        "fixed l-range=", "bad left index from getIndex");
    if (left.curve == nullptr && right.curve == nullptr)
        return 0;

    reversed = false;
    samples.release();
    samples.init(0, 10);

    Kor::List<double> leftParameters;
    Kor::List<double> rightParameters;
    sideParameters(left, leftInterval, leftSet ? leftSideSurface : nullptr, leftParameters);
    sideParameters(right, rightInterval, rightSet ? rightSideSurface : nullptr, rightParameters);

    CParametricGeometry* L = left.curve;
    CParametricGeometry* R = right.curve;
    if (L != nullptr && R != nullptr && leftParameters.count > 0 && rightParameters.count > 0) {
        const double l0 = leftParameters[0];
        const double lN = leftParameters[leftParameters.count - 1];
        const double r0 = rightParameters[0];
        const double rN = rightParameters[rightParameters.count - 1];
        const Vector L0 = L->getPoint(l0, 0.0);
        const Vector LN = L->getPoint(lN, 0.0);
        const Vector R0 = R->getPoint(r0, 0.0);
        const Vector RN = R->getPoint(rN, 0.0);
        const double same = norm(R0 - L0) + norm(RN - LN);
        const double crossed = norm(RN - L0) + norm(R0 - LN);
        if (same > crossed)
            reverseList(rightParameters);

        double t = rightParameters[0];
        for (const double l : leftParameters)
            if (projectSample(L, l, R, t))
                samples.push({static_cast<float>(l), static_cast<float>(t)});
        double s = leftParameters[0];
        for (const double r : rightParameters)
            if (projectSample(R, r, L, s))
                samples.push({static_cast<float>(s), static_cast<float>(r)});
    }
    left.drop();
    right.drop();

    if (attached && !polyLine->hasValidCurve() && samples.count > 0) {
        CSeamSide a;
        CSeamSide b;
        if (evaluateSample(0, a, b, 1)) {
            const Vector nLeft = crossProduct(a.d[1][0], a.d[0][1]);
            const Vector nRight = crossProduct(b.d[1][0], b.d[0][1]);
            reversed = dot(nLeft, nRight) < 0.0;
        }
    }
    return samples.count;
}
