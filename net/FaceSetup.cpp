#include "net/FaceSetup.h"

#include "curves/ArcLength.h"
#include "curves/CurveLoops.h"
#include "curves/CurveOperations.h"
#include "curves/SubCurves.h"
#include "geometry/IJConstraints.h"
#include "geometry/NurbsSurf.h"
#include "mesh/GridPoint.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>
#include <vector>

namespace {

using CurvePtr = std::unique_ptr<Fenwo::NurbsSurf>;

constexpr double kDegenerateLength = 1e-8;
// A cut of a side point's plane with the loop lies ahead of the point when
// it is farther along its direction than this share of the loop's extent
// (0.0001 on a loop some 20 millimetres across); a pair of loop points whose
// distances from the plane differ by less than kInPlaneShare of it lies in
// the plane.
constexpr double kAheadShare = 5e-6;
constexpr double kInPlaneShare = 1e-14;

// Control points of a knot vector as the merge rule counts them: the last
// index, less the degree on a cyclic vector.
int mergeCount(const knots& k)
{
    return k.endCondition == knots::CyclicEnd ? k.n - k.p : k.n;
}

// The running fractions of the total length at the ends of the spans, each
// capped at 1.
void spanFractions(const Vector& spans, double total, std::vector<double>& out)
{
    double sum = 0.0;
    for (int i = 0; i < spans.n; ++i) {
        sum += spans[i];
        out.push_back(std::min(sum / total, 1.0));
    }
}

} // namespace

bool Face_MakeOppositeSidesCompatible(Fenwo::NurbsSurf* a, Fenwo::NurbsSurf* c,
                                      Fenwo::NurbsSurf*& outA, Fenwo::NurbsSurf*& outC, int d)
{
    outA = outC = nullptr;
    if (a == nullptr || c == nullptr || a->uKnots == nullptr || c->uKnots == nullptr)
        return false;
    Vector spansA, spansC;
    const double la = a->computeLength(&spansA);
    const double lc = c->computeLength(&spansC);
    if (!(la >= kDegenerateLength) || !(lc >= kDegenerateLength))
        return false;
    std::vector<double> s = {0.0, 1.0};
    spanFractions(spansA, la, s);
    spanFractions(spansC, lc, s);
    std::sort(s.begin(), s.end());
    s.erase(std::unique(s.begin(), s.end()), s.end());
    reparametrizeByChordLength(a);
    reparametrizeByChordLength(c);

    const int ca = mergeCount(*a->uKnots), cc = mergeCount(*c->uKnots);
    const double mergeDistance = (cc + 1) * 5 < ca + 1 || (ca + 1) * 5 < cc + 1 ? 0.0005 : 0.025;
    // The second and the last value stay: the first and last span keep
    // their ends.
    for (size_t i = 2; i + 1 < s.size();) {
        if (s[i] - s[i - 1] < mergeDistance)
            s.erase(s.begin() + long(i));
        else
            ++i;
    }
    const int m = int(s.size()) - 1;
    if (m < 1)
        return false;
    const knots common(m, std::min(d, m), 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    CurvePtr newA = std::make_unique<Fenwo::NurbsSurf>(common);
    CurvePtr newC = std::make_unique<Fenwo::NurbsSurf>(common);
    for (auto [side, out] : {std::pair{a, newA.get()}, std::pair{c, newC.get()}}) {
        Vector p;
        side->getControlPointXYZ(p, 0, 0);
        out->setControlPoint(0, 0, p, 1.0);
        side->getControlPointXYZ(p, -1, 0);
        out->setControlPoint(m, 0, p, 1.0);
        const double lo = side->getUMin(), hi = side->getUMax();
        for (int i = 1; i < m; ++i)
            out->setControlPoint(i, 0, side->getPoint((1.0 - s[i]) * lo + s[i] * hi, 0.0), 1.0);
    }
    outA = newA.release();
    outC = newC.release();
    return true;
}

Fenwo::NurbsSurf* Face_FitSideToCurve(Fenwo::NurbsSurf* side, Fenwo::NurbsSurf* target)
{
    if (side == nullptr || target == nullptr || side->uKnots == nullptr)
        return side;
    const int n = side->getUCount();
    Vector greville;
    side->uKnots->getGrevilleAbscissae(greville);
    for (int i = 0; i < n; ++i) {
        Vector p, tangent;
        side->getControlPointXYZ(p, i, 0);
        side->getUnitTangent(tangent, greville[std::min(i, greville.n - 1)]);
        const Fenwo::SingleCpKind kind =
            i == 0 || i == n - 1 ? Fenwo::SingleCpKind::fixed : Fenwo::SingleCpKind::inPlane;
        Fenwo::CConstraint* c = new Fenwo::CIJSingleConstraint(*side, i, 0, p, tangent, kind);
        int equal = -1;
        if (side->constraints.findEqual(c, equal))
            side->constraints.deleteAt(equal);
        side->constraints.append(c);
    }
    Kor::List<double> t;
    sampleDomainUniform(target, t, 5 * n);
    CFitPointArray points;
    for (double u : t)
        points.append(CFitPoint(target->getPoint(u, 0.0)));
    IndexSubset<CFitPoint> all(points);
    all.selectAll();
    side->invertPoints(all, n, 1, false);
    side->PointInversion(all, 10);
    side->newtonApproximation(all, 0, 5, false, true, 1, nullptr, 1.0, 0.0, -1.0);
    side->invalidateFitState();
    return side;
}

bool Face_StraightenSide(Fenwo::NurbsSurf* side, const Kor::List<int>& dropped)
{
    if (side == nullptr)
        return false;
    Kor::List<Vector> kept;
    for (int i = 0; i < side->getUCount(); ++i)
        if (!dropped.contains(i)) {
            Vector p;
            side->getControlPointXYZ(p, i, 0);
            kept.append(p);
        }
    if (kept.count < 2)
        return false;
    // The knot vector of the kept points; the control net is rebuilt on it.
    Fenwo::NurbsSurf line(knots(kept.count - 1, 1, 0.0, 1.0, knots::ClampedEnd, knots::Uniform));
    for (int i = 0; i < kept.count; ++i)
        line.setControlPoint(i, 0, kept[i], 1.0);
    side->copyFrom(line);
    return true;
}

bool Face_SideSeesPoint(const CVertex<float, 3>* point, const Kor::List<SidePoints>& sides)
{
    const auto* g = dynamic_cast<const Gridbench::CGridPoint*>(point);
    if (g == nullptr || (!g->direction1Set && !g->direction2Set))
        return false;
    const CVector<float, 3>& dir = g->direction1Set ? g->direction1 : g->direction2;
    const Vector u(dir.data, 3);
    const Vector origin(g->data, 3);
    const Vector normal = normalized(crossProduct(Vector(g->normal.data, 3), u));
    std::vector<CVertex<float, 3>*> polygon;
    for (const SidePoints& side : sides)
        for (CVertex<float, 3>* v : side)
            if (v != nullptr)
                polygon.push_back(v);
    // The lengths are judged against the polygon's size: a net in metres
    // sees what the same net in millimetres sees.
    double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (const CVertex<float, 3>* v : polygon)
        for (int d = 0; d < 3; ++d) {
            lo[d] = std::min(lo[d], double(v->data[d]));
            hi[d] = std::max(hi[d], double(v->data[d]));
        }
    double extent = 0.0;
    for (int d = 0; d < 3 && !polygon.empty(); ++d)
        extent += (hi[d] - lo[d]) * (hi[d] - lo[d]);
    extent = std::sqrt(extent);
    std::vector<double> ahead;
    const size_t n = polygon.size();
    for (size_t k = 0; k < n; ++k) {
        const CVertex<float, 3>* p = polygon[k];
        const CVertex<float, 3>* q = polygon[(k + 1) % n];
        if (p == point || q == point)
            continue;
        const Vector P(p->data, 3), Q(q->data, 3);
        const double fp = dot(P - origin, normal);
        const double fq = dot(Q - origin, normal);
        // Pairs on one side of the plane and pairs in it do not cut it.
        if (fp * fq > 0.0 || !(std::fabs(fq - fp) > kInPlaneShare * extent))
            continue;
        const Vector x = P + (-fp / (fq - fp)) * (Q - P);
        ahead.push_back(dot(x - origin, u));
    }
    return !ahead.empty() &&
           *std::min_element(ahead.begin(), ahead.end()) > kAheadShare * extent;
}

Fenwo::NurbsSurf* Face_OrderLoopAndInit(const Kor::Array<Fenwo::NurbsSurf*>& curves,
                                        const Kor::Array<Fenwo::NurbsSurf*>* targets, int k,
                                        const Kor::List<int>* targetIndices,
                                        const Kor::List<SidePoints>* sidePoints)
{
    Kor::List<Fenwo::NurbsSurf*> list;
    for (int i = 0; i < curves.count; ++i) {
        if (curves[i] == nullptr)
            return nullptr;
        list.append(curves[i]);
    }
    Vector lengths;
    curveLengths(list, lengths);
    if (lengths.n == 0)
        return nullptr;
    Kor::List<int> order, flags;
    if (findCurveChain(curves, order, flags, 0.5 * minElement(lengths)) != 0) {
        std::cout << "order Curve Loops failed" << std::endl;
        return nullptr;
    }
    if (order.count != 4)
        return nullptr;

    // The sides in chain order, as copies running along the loop, with their
    // grid points turned alike.
    CurvePtr side[4];
    Kor::List<SidePoints> points;
    for (int i = 0; i < 4; ++i) {
        side[i] = std::make_unique<Fenwo::NurbsSurf>(*curves[order[i]]);
        SidePoints p;
        if (sidePoints != nullptr && order[i] < sidePoints->count)
            p = (*sidePoints)[order[i]];
        if (flags[i] != 1) {
            side[i]->invertDirection(0);
            std::reverse(p.begin(), p.end());
        }
        points.append(p);
    }
    for (int i = 0; i < 4; ++i) {
        Kor::List<int> dropped;
        for (int j = 1; j + 1 < points[i].count; ++j) {
            const auto* g = dynamic_cast<const Gridbench::CGridPoint*>(points[i][j]);
            const bool bothSet = g != nullptr && g->direction1Set && g->direction2Set;
            if (!bothSet && !Face_SideSeesPoint(points[i][j], points) && !dropped.contains(j))
                dropped.append(j);
        }
        if (dropped.count > 0)
            Face_StraightenSide(side[i].get(), dropped);
    }
    // Opposite sides run the same way.
    side[2]->invertDirection(0);
    side[3]->invertDirection(0);

    Fenwo::NurbsSurf* made[4] = {};
    const bool paired =
        Face_MakeOppositeSidesCompatible(side[0].get(), side[2].get(), made[0], made[2], 3) &&
        Face_MakeOppositeSidesCompatible(side[1].get(), side[3].get(), made[1], made[3], 3);
    CurvePtr fresh[4];
    for (int i = 0; i < 4; ++i)
        fresh[i].reset(made[i]);
    if (!paired)
        return nullptr;
    if (targets != nullptr && targetIndices != nullptr)
        for (int i = 0; i < 4; ++i) {
            const int t = order[i] < targetIndices->count ? (*targetIndices)[order[i]] : -1;
            if (t >= 0 && t < targets->count)
                Face_FitSideToCurve(fresh[i].get(), (*targets)[t]);
        }

    Kor::Array<Fenwo::NurbsSurf*> loop;
    for (int i = 0; i < 4; ++i)
        loop.append(fresh[i].get());
    Fenwo::NurbsSurf* surface = orderCurveLoops(loop, 1, 1, nullptr);
    if (surface == nullptr)
        return nullptr;
    const int nu = surface->uKnots->n, nv = surface->vKnots->n;
    surface->reparametrizeU(
        new knots(nu, nu < 1 ? 1 : std::min(nu, k), 0.0, 1.0, knots::ClampedEnd, knots::Uniform));
    surface->reparametrizeV(
        new knots(nv, nv < 1 ? 1 : std::min(nv, k), 0.0, 1.0, knots::ClampedEnd, knots::Uniform));
    return surface;
}
