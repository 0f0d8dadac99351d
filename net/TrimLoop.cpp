// CLoop: access, ordering into a closed chain, the gap check in space,
// inversion, orientation, the (u, v) polygon; and the host compatibility of
// a loop's (u, v) curves.
#include "net/Face.h"

#include "curves/ArcLength.h"
#include "curves/CurveChain.h"
#include "curves/ParCurve.h"
#include "foundation/Logging.h"
#include "geometry/FitHelpers.h"
#include "geometry/NurbsSurf.h"
#include "platform/Uuid.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <fstream>
#include <iostream>

namespace {

// A joint of a loop whose ends lie at most this share of the face's
// tolerance apart in space, or this share of the loop's length when that is
// more, is closed; without a tolerance the share of it gives way to an
// absolute gap.
constexpr double kClosedToleranceShare = 0.1;
constexpr double kClosedShare = 1e-3;
constexpr double kClosedGap = 0.05;
// Below this share of the tolerance (or this absolute gap without one) a gap
// that turns back against the end is an overlap of the next curve.
constexpr double kOverlapToleranceShare = 2.0;
constexpr double kOverlapGap = 1.0;

// Writes a curve's NURBS text to a debug stream; other kinds are skipped.
void writeCurve(std::ofstream& os, CParametricGeometry* curve)
{
    if (Fenwo::NurbsSurf* nurbs = asNurbsSurf(curve)) {
        nurbs->write(os);
        os << '\n';
    }
}

double spaceGap(CParCurve* from, CParCurve* to)
{
    return std::sqrt(squaredDistance(to->getStartPoint(), from->getEndPoint()));
}

// Moves A's last and B's first control point to their midpoint (weights
// kept), a reversal flag of either first moved into its control points.
void meetHalfWay(Fenwo::NurbsSurf& A, Fenwo::NurbsSurf& B)
{
    for (Fenwo::NurbsSurf* curve : {&A, &B}) {
        if (curve->isUReversed()) {
            curve->reverseU();
            curve->invertDirection(0);
        }
    }
    Vector a, b;
    A.getControlPoint(-1, 0, a);
    B.getControlPoint(0, 0, b);
    const Vector m = lerp(a, b, 0.5);
    A.setControlPointPosition(-1, 0, m);
    B.setControlPointPosition(0, 0, m);
}

// A curve like c on the rebuilt (u, v) curve c holds, which it gives over;
// c is deleted. The edge record and the samples follow the (u, v) curve
// again.
CParCurve* rebuilt(CParCurve* c)
{
    CParametricGeometry* surface = c->surface;
    CParametricGeometry* uv = c->takeUVCurve();
    delete c;
    return new CParCurve(uv, surface, true);
}

} // namespace

CLoop::~CLoop()
{
    curves.deleteAll();
}

CParCurve* CLoop::getCurve(int i) const
{
    const int n = curves.count;
    if (n == 0)
        return nullptr;
    int k = i % n;
    if (k < 0)
        k += n;
    return curves[k];
}

void CLoop::setSurface(CParametricGeometry* s)
{
    for (CParCurve* curve : curves)
        curve->setSurface(s);
}

double CLoop::getLength() const
{
    double length = 0.0;
    for (CParCurve* curve : curves)
        length += sampledCurveLength(curve, 25, false);
    return length;
}

bool CLoop::checkGaps(double tol)
{
    std::ofstream dump;
    bool dumpOpened = false;
    double largest = 0.0;
    for (int i = 0; i < curves.count; ++i) {
        CParCurve* a = curves[i];
        CParCurve* b = getCurve(i + 1);
        const double gap = spaceGap(a, b);
        largest = std::max(largest, gap);
        if (gap > tol && isLoggingEnabled()) {
            std::cout << "dTol=" << tol << std::endl;
            if (!dumpOpened)
                dumpOpened = openLogStream(dump, "c:/tmp/3dgap.out", std::ios::out | std::ios::app);
            if (dumpOpened) {
                const Platform::SideIdScope sideIds; // the dump's curve
                const Vector end = a->getEndPoint(), start = b->getStartPoint();
                Fenwo::NurbsSurf* line = makeCurve(end.data, start.data);
                writeCurve(dump, line);
                delete line;
            }
        }
    }
    return largest < tol;
}

void CLoop::invert()
{
    // Each curve reverses its (u, v) curve and space curve together and
    // samples itself again.
    for (CParCurve* curve : curves)
        curve->reverseU();
    std::reverse(curves.begin(), curves.end());
    if (!checkGaps(0.01))
        std::cout << " Loop after invert() is bad" << std::endl;
}

bool CLoop::orderCurves(bool reorder, bool sides, double tolerance)
{
    if (curves.count == 0)
        return false;
    if (reorder) {
        Kor::List<CParametricGeometry*> uvCurves;
        for (CParCurve* curve : curves)
            if (curve->getUVCurve() != nullptr)
                uvCurves.append(curve->getUVCurve());
        // Any gap is accepted: the closing pass below bridges what is left.
        Kor::List<bool> reversed;
        const int missed = chainCurvesByEndGaps(uvCurves, 0, std::sqrt(DBL_MAX), reversed);
        if (missed != 0)
            std::cout << "orderCurves failed, missed " << missed << " curves " << std::endl;
        // A piece left out is no side between its neighbours in the chain.
        sides = sides && missed == 0;
        // The pieces left out of the chain stay in the loop behind it, as do
        // curves without a (u, v) curve: ordering never loses a curve.
        Kor::List<CParCurve*> previous(curves);
        curves.removeAll();
        for (int k = 0; k < uvCurves.count; ++k) {
            for (CParCurve*& owner : previous) {
                if (owner == nullptr || owner->getUVCurve() != uvCurves[k])
                    continue;
                if (k < reversed.count && reversed[k])
                    owner->reverseU();
                curves.append(owner);
                owner = nullptr;
                break;
            }
        }
        for (CParCurve* rest : previous)
            if (rest != nullptr)
                curves.append(rest);
    }

    // Close the loop in the parameter plane. The joint after curve i is
    // measured cyclically, so i = count - 1 is the closing joint. A gap is
    // judged against the face's tolerance and the loop's own size: the ends
    // of neighbouring pieces, each approximated on its own, part by a share
    // of the loop however large the model's units are, and such a gap is no
    // hole to bridge (a bridge would give the face a sliver of an extra
    // side); a gap the tolerance notices is one, in metres as in
    // millimetres.
    const bool known = tolerance > 0.0;
    const double closed = std::max(known ? kClosedToleranceShare * tolerance : kClosedGap,
                                   kClosedShare * getLength());
    const double overlap = known ? kOverlapToleranceShare * tolerance : kOverlapGap;
    std::ofstream dump;
    const bool logging = openLogStream(dump, "c:/tmp/uvloop.out");
    for (int i = 0; i <= curves.count;) {
        CParCurve* a = getCurve(i);
        CParCurve* b = getCurve(i + 1);
        if (logging)
            writeCurve(dump, a->getUVCurve());
        const Vector end = a->getEndPoint();
        const Vector start = b->getStartPoint();
        const double d = std::sqrt(squaredDistance(start, end));
        if (d <= closed) {
            ++i;
            continue;
        }
        if (d < overlap) {
            // A gap that turns back against the curve's end is an overlap of
            // the next curve, not a hole to bridge.
            const Vector tangent = normalized(a->getEndTangent());
            const Vector gap = normalized(start - end);
            if (dot(tangent, gap) < -0.9) {
                ++i;
                continue;
            }
        }
        // Two sides meet at their corner where their own approximations put
        // it: their ends move half-way, as the host conversion moves them.
        Fenwo::NurbsSurf* A = asNurbsSurf(a->getUVCurve());
        Fenwo::NurbsSurf* B = asNurbsSurf(b->getUVCurve());
        if (sides && A != nullptr && B != nullptr) {
            meetHalfWay(*A, *B);
            const int at = i % curves.count, next = (i + 1) % curves.count;
            curves[at] = rebuilt(a);
            if (next != at)
                curves[next] = rebuilt(b);
            ++i;
            continue;
        }
        const Vector uvEnd = a->getEndUVPoint();
        const Vector uvStart = b->getStartUVPoint();
        const double p[3] = {uvEnd[0], uvEnd[1], 0.0};
        const double q[3] = {uvStart[0], uvStart[1], 0.0};
        auto* bridge = new CParCurve(makeCurve(p, q), a->surface, true);
        if (logging)
            writeCurve(dump, bridge->getUVCurve());
        curves.insertAfter(bridge, i % curves.count);
        i += 2;
    }
    return true;
}

void CLoop::orient(int wanted)
{
    CVertexList polygon;
    getPolygon(polygon, 1, 0.1);
    if (polygon.getCount() > 0 && polygon.orientation() != wanted)
        invert();
}

bool CLoop::getPolygon(CVertexList& out, int, double tol)
{
    for (CParCurve* curve : curves) {
        if (curve->uvPoints.count == 0)
            curve->updateSpacePoints(tol);
        // The last sample of a curve is the first one of the next.
        for (int k = 0; k + 1 < curve->uvPoints.count; ++k)
            out.appendPoint(Vector(curve->uvPoints[k][0], curve->uvPoints[k][1], 0.0));
    }
    return out.getCount() > 0;
}

void CLoop::clearUVSamples()
{
    for (CParCurve* curve : curves)
        curve->uvPoints.removeAll();
}

void makeVezadCompat(CLoop& loop)
{
    const int n = loop.getCard();
    if (n < 2)
        return;
    for (int i = 0; i < n; ++i) {
        Fenwo::NurbsSurf* A = asNurbsSurf(loop.getCurve(i)->getUVCurve());
        Fenwo::NurbsSurf* B = asNurbsSurf(loop.getCurve(i + 1)->getUVCurve());
        // The host reads control points only: a reversal flag goes into them.
        if (A != nullptr && B != nullptr)
            meetHalfWay(*A, *B);
    }
    std::ofstream dump;
    if (openLogStream(dump, "c:/tmp/makeVezadCompat.out", std::ios::out | std::ios::app))
        for (CParCurve* curve : loop.curves)
            writeCurve(dump, curve->getUVCurve());
}
