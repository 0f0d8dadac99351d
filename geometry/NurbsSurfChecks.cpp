// Control-net checks and repairs of Fenwo::NurbsSurf: fold and spike tests of
// the control net, their repairs, net regularisation, the seam move of a
// cyclic u knot vector, the collapsed-side bookkeeping and the curvature of a
// curve-like surface.

#include "foundation/PointSequence.h"
#include "geometry/FitHelpers.h"
#include "geometry/NumericRoutines.h"
#include "geometry/NurbsSurf.h"
#include "geometry/SparseSolvers.h"
#include "platform/Diagnostics.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <numbers>
#include <utility>
#include <vector>

namespace Fenwo {

namespace {

constexpr double kPi = 3.14159265358979323846;

// A net the tests can read: valid, both knot vectors present and healthy,
// control points allocated.
bool isTestable(const NurbsSurf& s)
{
    return s.valid && s.uKnots != nullptr && s.vKnots != nullptr && s.uKnots->isHealthy &&
           s.vKnots->isHealthy && s.controlNet != nullptr && s.controlNetSize > 0;
}

Vector euclidean(const NurbsSurf& s, int i, int j)
{
    Vector out(3);
    s.getControlPointXYZ(out, i, j);
    return out;
}

// Turning angles (radians) of row 0 at the points 1 .. nU - 2, in order: the
// angle between the legs into and out of each point.
std::vector<double> turningAngles(const NurbsSurf& s)
{
    const int nU = s.getUCount();
    std::vector<double> angles;
    if (nU < 3)
        return angles;
    angles.reserve(nU - 2);
    Vector before = euclidean(s, 1, 0) - euclidean(s, 0, 0);
    for (int i = 2; i < nU; ++i) {
        Vector after = euclidean(s, i, 0) - euclidean(s, i - 1, 0);
        const double c = std::clamp(cosineBetween(before, after), -1.0, 1.0);
        angles.push_back(std::acos(c));
        before = std::move(after);
    }
    return angles;
}

// Angle (degrees) at control point (i, j) between its neighbours along u
// (alongU) or along v.
double netAngle(const NurbsSurf& s, int i, int j, bool alongU)
{
    const int di = alongU ? 1 : 0;
    const int dj = alongU ? 0 : 1;
    return threePointAngle(euclidean(s, i - di, j - dj), euclidean(s, i, j),
                           euclidean(s, i + di, j + dj));
}

// Spike test of one row (alongU) or column: a single angle below 35 degrees,
// or two consecutive ones adding up to less than 140.
bool lineHasSpike(const NurbsSurf& s, int fixed, int count, bool alongU)
{
    std::vector<double> angles;
    for (int k = 1; k + 1 < count; ++k) {
        const double a = alongU ? netAngle(s, k, fixed, true) : netAngle(s, fixed, k, false);
        if (a < 35.0)
            return true;
        angles.push_back(a);
    }
    for (size_t k = 1; k < angles.size(); ++k)
        if (angles[k - 1] + angles[k] < 140.0)
            return true;
    return false;
}

// Point at the arc-length fraction s of a poly-line (closed: back to the
// first point). Chord-length parameters make the fraction of the domain of
// the degree-1 curve through the points exactly this fraction of its length.
Vector pointAtLengthFraction(const std::vector<Vector>& pts, const std::vector<double>& cumulative,
                             double s)
{
    const double target = s * cumulative.back();
    const int legs = static_cast<int>(cumulative.size()) - 1;
    int k = 0;
    while (k + 1 < legs && cumulative[k + 1] < target)
        ++k;
    const double length = cumulative[k + 1] - cumulative[k];
    const double f = length > 0.0 ? std::clamp((target - cumulative[k]) / length, 0.0, 1.0) : 0.0;
    const Vector& a = pts[k];
    const Vector& b = pts[(k + 1) % pts.size()];
    return (1.0 - f) * a + f * b;
}

// Resamples the control points of one row (alongU) or column at equal
// arc-length steps of their own polygon, closed when the direction is cyclic.
void regularizeLine(NurbsSurf& s, int fixed, int count, bool cyclic, bool alongU)
{
    if (count < 2)
        return;
    std::vector<Vector> pts;
    pts.reserve(count);
    for (int k = 0; k < count; ++k)
        pts.push_back(alongU ? euclidean(s, k, fixed) : euclidean(s, fixed, k));
    const int legs = cyclic ? count : count - 1;
    std::vector<double> cumulative(legs + 1, 0.0);
    for (int k = 0; k < legs; ++k)
        cumulative[k + 1] =
            cumulative[k] + std::sqrt(squaredDistance(pts[k], pts[(k + 1) % count]));
    if (!(cumulative.back() > 0.0))
        return; // a collapsed line has no length to share out
    const double steps = cyclic ? count : count - 1;
    for (int k = 0; k < count; ++k) {
        const Vector q = pointAtLengthFraction(pts, cumulative, k / steps);
        if (alongU)
            s.setControlPointPosition(k, fixed, q);
        else
            s.setControlPointPosition(fixed, k, q);
    }
}

// |C' x C''| / |C'|^3 and the unit direction normalize(normalize(C' x C'') x C')
// from a derivative table of a curve (entries [1][0] and [2][0]).
double curvatureFromTable(Vector** T, Vector& direction)
{
    const Vector& d1 = T[1][0];
    const Vector& d2 = T[2][0];
    const double speed = norm(d1);
    const Vector c = crossProduct(d1, d2);
    direction = Vector(3);
    if (!(speed > 1e-12))
        return 0.0;
    const double kappa = norm(c) / (speed * speed * speed);
    if (!std::isfinite(kappa))
        return 0.0;
    direction = normalized(crossProduct(normalized(c), d1));
    return kappa;
}

// Removes every u knot that can go within tol: each position from the first
// interior one on loses as many of its knots as the tolerance allows; when
// all went, the next knot has moved into the same position.
void removeRemovableKnots(NurbsSurf& s, double tol)
{
    const bool cyclic = s.uKnots->endCondition == knots::CyclicEnd;
    int i = (cyclic ? 0 : s.uKnots->p) + 1;
    while (i <= (cyclic ? s.uKnots->n + 1 : s.uKnots->n)) {
        const int m = s.uKnots->getMultiplicityAt(i);
        int removed = 0;
        if (m > 0)
            s.removeKnots(i, m, &removed, tol);
        if (m <= 0 || removed < m)
            ++i;
    }
}

} // namespace

bool NurbsSurf::checkTurningAngles() const
{
    if (!isTestable(*this))
        return true;
    const int nU = getUCount();
    if (nU == 2)
        return false;
    const std::vector<double> angles = turningAngles(*this);
    for (double a : angles)
        if (a > 0.9 * kPi)
            return true;
    for (size_t k = 1; k < angles.size(); ++k)
        if (angles[k - 1] + angles[k] > 1.2 * kPi)
            return true;
    return false;
}

bool NurbsSurf::untangleControlPolygon()
{
    if (!isTestable(*this) || getUCount() < 3)
        return false;
    const std::vector<double> angles = turningAngles(*this);
    // Angle k is measured at control point k + 1.
    bool swapped = false;
    size_t k = 1;
    while (k < angles.size()) {
        if (angles[k - 1] + angles[k] > 1.5 * kPi) {
            const int a = static_cast<int>(k);
            const Vector pa = euclidean(*this, a, 0);
            const Vector pb = euclidean(*this, a + 1, 0);
            setControlPointPosition(a, 0, pb);
            setControlPointPosition(a + 1, 0, pa);
            swapped = true;
            k += 2;
        } else {
            k += 1;
        }
    }
    return swapped;
}

bool NurbsSurf::checkControlNetAngles() const
{
    if (!isTestable(*this))
        return true;
    const int nU = getUCount();
    const int nV = getVCount();
    if (nU * nV < 4)
        return true;
    for (int j = 0; j < nV; ++j)
        if (lineHasSpike(*this, j, nU, true))
            return true;
    for (int i = 0; i < nU; ++i)
        if (lineHasSpike(*this, i, nV, false))
            return true;
    return false;
}

bool NurbsSurf::healSpikes(double angleLimit)
{
    if (!isTestable(*this))
        return false;
    const int nU = getUCount();
    const int nV = getVCount();
    int count = 0;
    std::vector<std::pair<int, int>> spikes;
    for (int i = 1; i + 1 < nU; ++i)
        for (int j = 0; j < nV; ++j)
            if (netAngle(*this, i, j, true) < angleLimit) {
                setControlPointPosition(
                    i, j, 0.5 * (euclidean(*this, i - 1, j) + euclidean(*this, i + 1, j)));
                ++count;
                spikes.emplace_back(i, j);
            }
    for (int i = 0; i < nU; ++i)
        for (int j = 1; j + 1 < nV; ++j)
            if (netAngle(*this, i, j, false) < angleLimit) {
                setControlPointPosition(
                    i, j, 0.5 * (euclidean(*this, i, j - 1) + euclidean(*this, i, j + 1)));
                ++count;
                spikes.emplace_back(i, j);
            }
    if (count > 0) {
        std::cout << "healed #spikes=" << count << std::endl;
        for (const auto& [i, j] : spikes)
            fairControlNetWindow(i - 2, j - 2, i + 2, j + 2, this, 1);
    }
    return count > (nU * nV) / 10;
}

void NurbsSurf::regularizeNet(bool reparametrize)
{
    if (uKnots == nullptr || vKnots == nullptr || controlNet == nullptr)
        return;
    const int nU = getUCount();
    const int nV = getVCount();
    const bool cyclicU = uKnots->endCondition == knots::CyclicEnd;
    const bool cyclicV = vKnots->endCondition == knots::CyclicEnd;
    for (int j = 0; j < nV; ++j)
        regularizeLine(*this, j, nU, cyclicU, true);
    for (int i = 0; i < nU; ++i)
        regularizeLine(*this, i, nV, cyclicV, false);
    if (reparametrize) {
        reparametrizeU(nullptr);
        reparametrizeV(nullptr);
    }
}

bool NurbsSurf::updateCyclicKnotList(double t, bool removeRedundantKnots)
{
    if (uKnots == nullptr || uKnots->endCondition != knots::CyclicEnd) {
        std::cout << "sorry, not a cyclic knot vector! " << std::endl;
        return false;
    }
    uKnots->clampToRange(t);
    if (uKnots->findKnot(t) < 0)
        insertKnots(t, 1, 0);

    double tt = t;
    const int s = uKnots->clampToKnots(tt);
    const int n = uKnots->n;
    const int p = uKnots->p;
    std::vector<double> unrolled(n + p + 3);
    for (int q = 0; q <= n + p + 2; ++q)
        unrolled[q] = uKnots->getUnrolledKnot(q - p + s);
    auto rotated = std::make_unique<knots>(unrolled.data(), n + p + 2, p, true);

    const int nU = getUCount();
    const int nV = getVCount();
    // A rotated vector with another control-point count could not carry the
    // net; it is refused like an unhealthy one.
    if (rotated->isHealthy && rotated->getControlPointCount() == nU) {
        std::vector<Vector> old(static_cast<size_t>(nU) * nV);
        for (int j = 0; j < nV; ++j)
            for (int i = 0; i < nU; ++i)
                old[i + static_cast<size_t>(nU) * j] = controlPointAt(i, j);
        for (int j = 0; j < nV; ++j)
            for (int i = 0; i < nU; ++i) {
                const int target = (((p - s + i) % nU) + nU) % nU;
                setHomogeneousControlPoint(target, j, old[i + static_cast<size_t>(nU) * j]);
            }
        delete uKnots;
        uKnots = rotated.release();
        if (removeRedundantKnots)
            removeRemovableKnots(*this, 1e-6);
        return true;
    }

    std::ofstream dump;
    Platform::openDiagnosticsStream(dump, "c:/tmp/c-debug.out");
    dump << std::setprecision(16);
    write(dump);
    std::cout << "new knotlist=" << std::endl;
    dump << std::setprecision(16) << " knotList =" << std::endl;
    for (int q = 0; q < n + p + 2; ++q)
        dump << unrolled[q] << ' ';
    dump << std::endl;
    return false;
}

bool NurbsSurf::updateBoundaryPositions()
{
    const int u = classifySide(0);
    if (u == 1 || u == 3)
        addDegenerateSide(uvSouth);
    if (u == 2 || u == 3)
        addDegenerateSide(uvNorth);
    const int v = classifySide(1);
    if (v == 1 || v == 3)
        addDegenerateSide(uvWest);
    if (v == 2 || v == 3)
        addDegenerateSide(uvEast);
    return true;
}

double NurbsSurf::curveCurvature(double t, Vector& direction)
{
    direction = Vector(3);
    if (uKnots == nullptr || (vKnots != nullptr && vKnots->n > 0))
        return 0.0;
    const int p = uKnots->p;
    if (p == 1)
        return polylineCurvature(t, direction);

    Vector** T = nullptr;
    double kappa = 0.0;
    const int k = uKnots->findKnot(t);
    const int mult = k >= 0 ? uKnots->multiplicities[k] : 0;
    const bool interior = k > 0 && k + 1 < uKnots->distinctCount &&
                          uKnots->values[k] > uKnots->t0 + 1e-8 &&
                          uKnots->values[k] < uKnots->t1 - 1e-8;
    if (interior && (mult == p || mult == p - 1)) {
        // The curvature jumps at a C1 joint: average the two sides.
        const double knot = uKnots->values[k];
        const double h = std::sqrt(1e-8);
        const double hb = std::min(h, 0.5 * (knot - uKnots->values[k - 1]));
        const double ha = std::min(h, 0.5 * (uKnots->values[k + 1] - knot));
        Vector n1, n2;
        T = computeDerivatives(2, knot - hb, 0.0, nullptr);
        const double k1 = curvatureFromTable(T, n1);
        computeDerivatives(2, knot + ha, 0.0, T);
        const double k2 = curvatureFromTable(T, n2);
        kappa = 0.5 * (k1 + k2);
        direction = normalized(n1 + n2);
    } else {
        T = computeDerivatives(2, t, 0.0, nullptr);
        kappa = curvatureFromTable(T, direction);
    }
    freeDerivativeTable(T, 2);
    return kappa;
}

double NurbsSurf::getCurvature(double t)
{
    Vector direction;
    return curveCurvature(t, direction);
}

double NurbsSurf::polylineCurvature(double t, Vector& direction)
{
    direction = Vector(3);
    const int nU = getUCount();
    if (uKnots == nullptr || nU < 3)
        return 0.0;
    // The control point whose Greville abscissa is nearest to t, among those
    // with two neighbours.
    int best = 1;
    double bestDistance = std::fabs(uKnots->getGrevilleAbscissa(1) - t);
    for (int i = 2; i + 1 < nU; ++i) {
        const double d = std::fabs(uKnots->getGrevilleAbscissa(i) - t);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    // The turning angle of the poly-line against its length, over the legs
    // around that point: one pair (arc length at the middle of a leg, angle
    // turned before it) per leg, and the slope of the least-squares line
    // through the pairs is the curvature. Turns above 0.4 pi are corners, not
    // curvature, and are left out; so are points with a leg below 1e-6.
    const int lo = std::max(best - 2, 0);
    const int hi = std::min(best + 2, nU - 1);
    Kor::List<std::array<double, 2>> pairs;
    double length = 0.0;
    double turned = 0.0;
    for (int j = lo; j < hi; ++j) {
        const Vector leg = euclidean(*this, j + 1, 0) - euclidean(*this, j, 0);
        const double legLength = norm(leg);
        if (j > lo) {
            const Vector before = euclidean(*this, j, 0) - euclidean(*this, j - 1, 0);
            const double beforeLength = norm(before);
            if (beforeLength >= 1e-6 && legLength >= 1e-6) {
                direction += (1.0 / legLength) * leg - (1.0 / beforeLength) * before;
                double angle = angleBetween(before, leg);
                if (!std::isfinite(angle))
                    angle = 0.0;
                if (angle <= 0.4 * std::numbers::pi)
                    turned += angle;
            }
        }
        if (legLength >= 1e-6)
            pairs.append({length + 0.5 * legLength, turned});
        length += legLength;
    }
    if (norm(direction) > 0.0)
        direction.normalize();
    double slope = 0.0;
    double intercept = 0.0;
    if (!fitLine(pairs, slope, intercept) || !std::isfinite(slope))
        return 0.0;
    return slope;
}

} // namespace Fenwo

bool fairControlNetWindow(int i0, int j0, int i1, int j1, Fenwo::NurbsSurf* surface, int border)
{
    if (surface == nullptr || surface->controlNet == nullptr)
        return false;
    const int nU = surface->getUCount();
    const int nV = surface->getVCount();
    i0 = std::clamp(i0, 0, nU - 1);
    i1 = std::clamp(i1, 0, nU - 1);
    j0 = std::clamp(j0, 0, nV - 1);
    j1 = std::clamp(j1, 0, nV - 1);
    if (i0 > i1)
        std::swap(i0, i1);
    if (j0 > j1)
        std::swap(j0, j1);
    border = std::max(border, 1);
    if (i1 == i0 || j1 == j0)
        return false;

    const int width = i1 - i0 + 1;
    const int height = j1 - j0 + 1;
    std::vector<Vector> grid(static_cast<size_t>(width) * height);
    // The points to be faired are left out of the grid, so fairControlNet
    // recomputes them from the ring of points around them; points it is
    // given stay as they are.
    auto inner = [&](int i, int j) {
        return i >= i0 + border && i <= i1 - border && j >= j0 + border && j <= j1 - border;
    };
    bool any = false;
    for (int j = j0; j <= j1; ++j)
        for (int i = i0; i <= i1; ++i) {
            const size_t k = static_cast<size_t>(width) * (j - j0) + (i - i0);
            if (inner(i, j)) {
                any = true;
                continue;
            }
            grid[k] = Vector(3);
            surface->getControlPointXYZ(grid[k], i, j);
        }
    if (!any)
        return true; // nothing lies inside the border
    if (!fairControlNet(grid.data(), width, height, 0.98))
        return false;
    for (int j = j0 + border; j <= j1 - border; ++j)
        for (int i = i0 + border; i <= i1 - border; ++i) {
            const size_t k = static_cast<size_t>(width) * (j - j0) + (i - i0);
            surface->setControlPointPosition(i, j, Vector(grid[k].data, 3));
        }
    return true;
}
