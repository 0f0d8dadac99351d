#include "curves/PolylineToNurbs.h"

#include "foundation/IndexSubset.h"
#include "foundation/PointSequence.h"
#include "foundation/Statistic.h"
#include "foundation/Vector.h"
#include "geometry/BoundaryConstraint.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iostream>
#include <memory>
#include <vector>

namespace {

// The thinning keeps vertices 25 tolerances off the chords: the Newton fit
// that follows recovers the detail, and fewer control points keep it fair.
constexpr double kThinningFactor = 25.0;
// Shorter tangents carry no direction.
constexpr double kMinTangentLength = 1e-6;
// A leg whose projection onto the tangent line is shorter than this fraction
// of the leg would collapse onto the end point.
constexpr double kMinProjectedLeg = 1e-3;
// Iteration limit of the parameter refinement before the fit.
constexpr int kInversionIterations = 20;
// Start-parameter samples per control point of a closed curve.
constexpr int kInversionSamples = 5;
// Bound of the damped Newton steps, in units of the step scale.
constexpr double kStepLimit = 3.0;

// The first three coordinates of a point, missing or non-finite ones 0, so
// that the poly-line helpers can read three doubles per point.
std::array<double, 3> coordinatesOf(const CFitPoint& fp)
{
    std::array<double, 3> xyz{0.0, 0.0, 0.0};
    for (int d = 0; d < 3 && d < fp.Point.n; ++d)
        if (std::isfinite(fp.Point[d]))
            xyz[d] = fp.Point[d];
    return xyz;
}

// Indices of the kept vertices, 0 first and n - 1 last, strictly ascending.
std::vector<int> thinPolyline(const std::vector<std::array<double, 3>>& xyz, double tol)
{
    const int n = static_cast<int>(xyz.size());
    std::vector<const double*> pointers(n);
    for (int i = 0; i < n; ++i)
        pointers[i] = xyz[i].data();
    // Room for n written indices after the implied start point.
    std::vector<int> keep(n + 1, 0);
    const int found =
        simplifyPolyline(pointers.data(), n, keep.data() + 1, kThinningFactor * tol, false, true);
    std::vector<int> kept{0};
    for (int k = 1; k <= found && k <= n; ++k)
        if (keep[k] > kept.back() && keep[k] < n)
            kept.push_back(keep[k]);
    if (kept.back() != n - 1)
        kept.push_back(n - 1);
    return kept;
}

// Moves control point `inner` onto the tangent line through the end control
// point `end` and keeps the tangent direction in the fit. `inward` (+1 at
// the start, -1 at the end) is the side of the end point on which the inner
// point lies along the tangent when the leg gives no side of its own.
void imposeEndTangent(Fenwo::NurbsSurf& curve, const Vector& tangent, int end, int inner,
                      BoundaryPosition side, double inward)
{
    if (tangent.n != 3)
        return;
    const double length = std::sqrt(std::max(dot(tangent, tangent), 0.0));
    if (!(length > kMinTangentLength) || !std::isfinite(length))
        return;
    const Vector d = tangent / length;
    Vector P0, P1;
    curve.getControlPoint(end, 0, P0);
    curve.getControlPoint(inner, 0, P1);
    const Vector leg = P1 - P0;
    const double legLength = norm(leg);
    double s = dot(leg, d);
    // A leg (nearly) perpendicular to the tangent would project onto the end
    // point: the end derivative would vanish and with it the direction the
    // constraint keeps. The inner point keeps its distance instead.
    if (std::fabs(s) <= kMinProjectedLeg * legLength)
        s = inward * legLength;
    Vector moved = P0;
    moved.addScaled(s, d);
    curve.setControlPoint(inner, 0, moved, 1.0);
    curve.addConstraint(
        new Fenwo::CBoundaryConstraint(side, Fenwo::BoundaryConstraintKind::epsG1Fix, moved, d));
}

// Parameters by index between the Greville abscissae of the kept vertices.
void interpolateParameters(Fenwo::NurbsSurf& curve, Kor::Array<CFitPoint>& points,
                           const std::vector<int>& keep)
{
    const knots& k = *curve.uKnots;
    // Unwrapped abscissae ascend also on a cyclic vector; the interpolated
    // values are wrapped afterwards.
    Vector g;
    k.getGrevilleAbscissae(g);
    const bool cyclic = k.endCondition == knots::CyclicEnd;
    const int m = static_cast<int>(keep.size());
    for (int j = 1; j < m && j < g.n; ++j) {
        const int a = keep[j - 1];
        const int b = keep[j];
        const double s = std::max(b - a, 1);
        for (int i = a; i <= b; ++i) {
            const double r = (i - a) / s;
            double t = (1.0 - r) * g[j - 1] + r * g[j];
            if (cyclic)
                k.clampToRange(t);
            points.data[i].uv[0] = t;
        }
    }
}

// Translation and size that bring the points' box to unit size: the fit's
// internal thresholds (step floors, rank and stop tests) are absolute, so the
// work runs on unit-sized coordinates and the result is mapped back.
struct UnitFrame {
    Vector centre = Vector(3);
    double size = 1.0;
};

UnitFrame unitFrameOf(const std::vector<std::array<double, 3>>& xyz)
{
    std::array<double, 3> lo = xyz[0];
    std::array<double, 3> hi = xyz[0];
    for (const auto& q : xyz)
        for (int d = 0; d < 3; ++d) {
            lo[d] = std::min(lo[d], q[d]);
            hi[d] = std::max(hi[d], q[d]);
        }
    UnitFrame f;
    double size = 0.0;
    for (int d = 0; d < 3; ++d)
        size = std::max(size, hi[d] - lo[d]);
    if (!(size > 0.0) || !std::isfinite(size))
        return f;
    for (int d = 0; d < 3; ++d)
        f.centre[d] = 0.5 * (lo[d] + hi[d]);
    f.size = size;
    return f;
}

// After the fit damped its steps coordinate by coordinate, an inner control
// point may have left its tangent line by a rounding-sized amount; it is put
// back so that the end tangent holds exactly.
void restoreTangentLines(Fenwo::NurbsSurf& curve)
{
    const int m = curve.getUCount();
    for (int k = 0; k < curve.constraints.count; ++k) {
        auto* b = dynamic_cast<Fenwo::CBoundaryConstraint*>(curve.constraints.data[k]);
        if (b == nullptr || b->m_kind != Fenwo::BoundaryConstraintKind::epsG1Fix)
            continue;
        const bool atEnd = b->m_position == uvEast;
        const int end = atEnd ? m - 1 : 0;
        const int inner = atEnd ? m - 2 : 1;
        const Vector d = normalized(b->m_normal);
        if (norm(d) == 0.0)
            continue;
        Vector P0, P1;
        double w = 1.0;
        curve.getControlPoint(end, 0, P0);
        curve.getControlPointAndWeight(P1, inner, 0, w);
        Vector moved = P0;
        moved.addScaled(dot(P1 - P0, d), d);
        curve.setControlPoint(inner, 0, moved, w);
        b->m_vector = moved;
    }
}

// Maps the curve's control points and the points carried by its tangent
// constraints from the unit frame back to the model.
void mapCurveToModel(Fenwo::NurbsSurf& curve, const UnitFrame& f)
{
    for (int i = 0; i < curve.getUCount(); ++i) {
        Vector xyz;
        double w = 1.0;
        curve.getControlPointAndWeight(xyz, i, 0, w);
        xyz *= f.size;
        xyz += f.centre;
        curve.setControlPoint(i, 0, xyz, w);
    }
    for (int k = 0; k < curve.constraints.count; ++k) {
        auto* b = dynamic_cast<Fenwo::CBoundaryConstraint*>(curve.constraints.data[k]);
        if (b != nullptr && b->m_kind == Fenwo::BoundaryConstraintKind::epsG1Fix) {
            b->m_vector *= f.size;
            b->m_vector += f.centre;
        }
    }
}

} // namespace

Fenwo::NurbsSurf* polyLineToNurbs(Kor::Array<CFitPoint>& points, bool closed, double tol,
                                  int degree, bool approximate)
{
    const int n = points.count;
    if (n < 2)
        return nullptr;
    // A negative or undefined tolerance keeps every vertex.
    if (!(tol >= 0.0) || !std::isfinite(tol))
        tol = 0.0;

    std::vector<std::array<double, 3>> xyz(n);
    for (int i = 0; i < n; ++i)
        xyz[i] = coordinatesOf(points.data[i]);
    const UnitFrame frame = unitFrameOf(xyz);
    for (auto& q : xyz)
        for (int d = 0; d < 3; ++d)
            q[d] = (q[d] - frame.centre[d]) / frame.size;
    const std::vector<int> keep = thinPolyline(xyz, tol / frame.size);
    const int m = static_cast<int>(keep.size());

    const int p = degree < 1 ? 1 : std::min(degree, m - 1);
    std::unique_ptr<Fenwo::NurbsSurf> curve;
    {
        const knots k(m - 1, p, 0.0, 1.0, closed ? knots::CyclicEnd : knots::ClampedEnd,
                      knots::Uniform);
        if (!k.isHealthy || k.getControlPointCount() != m)
            return nullptr;
        curve = std::make_unique<Fenwo::NurbsSurf>(k);
    }
    if (curve->uKnots == nullptr || curve->getUCount() != m)
        return nullptr;

    for (int j = 0; j < m; ++j) {
        const std::array<double, 3>& q = xyz[keep[j]];
        curve->setControlPoint(j, 0, Vector(q[0], q[1], q[2]), 1.0);
    }

    if (!closed) {
        using Fenwo::BoundaryConstraintKind;
        curve->addConstraint(new Fenwo::CBoundaryConstraint(uvWest, BoundaryConstraintKind::C0Fix));
        curve->addConstraint(new Fenwo::CBoundaryConstraint(uvEast, BoundaryConstraintKind::C0Fix));
        // With fewer than four control points the two tangents would pull at
        // the same inner point.
        if (m >= 4) {
            imposeEndTangent(*curve, points.data[0].Tangent, 0, 1, uvWest, 1.0);
            imposeEndTangent(*curve, points.data[keep[m - 1]].Tangent, m - 1, m - 2, uvEast, -1.0);
        }
    }

    // The points in the unit frame; everything but the coordinates travels
    // back unchanged, distances scaled.
    CFitPointArray work;
    work.setCapacity(n);
    for (int i = 0; i < n; ++i) {
        work.append(points.data[i]);
        CFitPoint& fp = work.data[work.count - 1];
        fp.Point = Vector(xyz[i][0], xyz[i][1], xyz[i][2]);
        // Inversion and fit read and write (u, v) pairs.
        if (fp.uv.n < 2)
            fp.uv.resize(2);
    }
    IndexSubset<CFitPoint> all(work);
    all.selectAll();
    if (!curve->isClosed())
        interpolateParameters(*curve, work, keep);
    else
        curve->invertPoints(all, kInversionSamples, 1, false);

    if (approximate) {
        curve->PointInversion(all, kInversionIterations);
        curve->newtonApproximation(all, 0, 2, false, true, 0, nullptr, 1.0, 0.0, -1.0);
        curve->stepLimit = kStepLimit;
        curve->dampSteps = 1;
        curve->newtonApproximation(all, 0, 3, false, true, 1, nullptr, 1.0, 0.0, -1.0);
        curve->dampSteps = 0;
        restoreTangentLines(*curve);
    }
    mapCurveToModel(*curve, frame);
    for (int i = 0; i < n; ++i) {
        CFitPoint& fp = work.data[i];
        fp.Point = points.data[i].Point;
        if (approximate) {
            fp.dist2 *= frame.size * frame.size;
            fp.AbsErr *= frame.size;
        }
        points.data[i] = fp;
    }

    if (approximate) {
        IndexSubset<CFitPoint> model(points);
        model.selectAll();
        const CStatistic stat = fitErrorStatistics(model, nullptr, "", 0.0, 0);
        std::cout << "polyLineToNurbs, approx, Histo(sub)=" << std::endl;
        std::cout << stat << std::endl;
    }
    // The closure test ran on the control polygon; the fitted curve is
    // measured afresh when asked.
    curve->closedComputed = false;
    return curve.release();
}
