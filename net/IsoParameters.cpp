// Iso-parameter values of the face tessellation, by arc tolerance and by
// distance.
#include "net/IsoParameters.h"

#include "curves/SubCurves.h"
#include "foundation/Vector.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <memory>
#include <vector>

namespace {

// Values per direction at the most. The floors of the steps keep the counts
// near 100 (arc road) and 1000 (distance road), and a step lost in the
// rounding of a value far from zero ends the direction.
constexpr std::size_t kMaxIsoValues = 10000;

// The floors of the distance road's steps, as divisions of the domain: a
// thousandth while the face's cells stay within the budget of 200 x 200, a
// two-hundredth in both directions beyond it. A tolerance a billionth of the
// face's size would otherwise ask for a thousand lines a direction: a
// million cells, half a gigabyte and a second of cutting. Within the budget
// (twice the arc road's lines a direction) the steps are the tolerance's
// own, and a long, thin face keeps up to a thousand lines along its length.
constexpr double kFineDivisions = 1000.0;
constexpr double kCoarseDivisions = 200.0;
constexpr double kMaxDistanceCells = kCoarseDivisions * kCoarseDivisions;

Vector toVector(const std::deque<double>& values)
{
    Vector out(static_cast<int>(values.size()));
    int k = 0;
    for (double x : values)
        out[k++] = x;
    return out;
}

// The arc road in one direction. `curves` are the iso curves running in
// this direction through the breakpoints `across` of the other direction;
// `alongU` says whether the direction is u.
Vector arcToleranceValues(Fenwo::NurbsSurf& s, bool alongU, const Vector& breaks,
                          const Vector& across,
                          const std::vector<std::unique_ptr<Fenwo::NurbsSurf>>& curves,
                          double tolerance, Vector**& table)
{
    const Interval domain = s.getDomain(alongU ? 0 : 1);
    const double lo = domain.min, hi = domain.max;
    const double floorStep = (hi - lo) / 100.0;
    std::deque<double> values;
    if (breaks.size() == 0)
        return Vector();
    const double middle = 0.5 * breaks[breaks.size() - 1] + 0.5 * breaks[0];
    values.push_back(middle);
    for (double sign : {1.0, -1.0}) {
        double c = middle;
        while ((sign > 0.0 ? c < hi : c > lo) && values.size() < kMaxIsoValues) {
            double sum = 0.0;
            int used = 0;
            for (int k = 0; k < across.size(); ++k) {
                Fenwo::NurbsSurf* curve = curves[static_cast<std::size_t>(k)].get();
                if (curve == nullptr)
                    continue;
                const double kappa = std::max(curve->getCurvature(c), 2.2e-16);
                const double u = alongU ? c : across[k], v = alongU ? across[k] : c;
                table = s.computeDerivatives(1, u, v, table);
                const double speed = norm(alongU ? table[1][0] : table[0][1]);
                // A vanishing derivative (a collapsed side) says nothing about
                // the step there.
                if (!(speed > 0.0))
                    continue;
                // A straight iso curve asks for no step at all; one step
                // beyond the whole domain says as much, where the bare chord
                // formula would give some 1e7 and, averaged with the curved
                // ones, stretch every step of the direction past the face.
                sum += std::min(std::sqrt(tolerance * tolerance + 2.0 * tolerance / kappa) / speed,
                                hi - lo);
                ++used;
            }
            double h = used > 0 ? sum / used : 0.0;
            // Also catches a step that is not a number (a negative tolerance).
            if (!(h > floorStep))
                h = floorStep;
            if (!(h > 0.0))
                break; // an empty domain: nothing to step through
            const double previous = c;
            c += sign * h;
            if (c == previous) {
                // The step is lost in the rounding of c: the domain's end
                // closes the direction, so the values still span the face.
                if (sign > 0.0 && hi > previous)
                    values.push_back(hi);
                else if (sign < 0.0 && lo < previous)
                    values.push_front(lo);
                break;
            }
            if (sign > 0.0)
                values.push_back(c);
            else
                values.push_front(c);
        }
    }
    return toVector(values);
}

// The distance road in one direction: from the first breakpoint until the
// domain's end, steps of the tolerance over the mean speed across, never
// below the domain's width over `floorDivisions` (the floor keeps the step
// from vanishing where the surface does not move, and so bounds the number
// of values by about floorDivisions + 2).
Vector distanceValues(Fenwo::NurbsSurf& s, bool alongU, const Vector& breaks, const Vector& across,
                      double tolerance, double floorDivisions)
{
    const double end = alongU ? s.getUMax() : s.getVMax();
    const double start = alongU ? s.getUMin() : s.getVMin();
    double last = breaks[0];
    const double floorStep = (end - std::min(start, last)) / floorDivisions;
    std::vector<double> values{last};
    while (end > last && values.size() < kMaxIsoValues) {
        double sum = 0.0;
        int used = 0;
        for (int k = 0; k < across.size(); ++k) {
            Vector** S = alongU ? s.evaluate(1, last, across[k]) : s.evaluate(1, across[k], last);
            if (S == nullptr)
                continue;
            const double speed = norm(alongU ? S[1][0] : S[0][1]);
            if (!(speed > 0.0))
                continue;
            sum += tolerance / speed;
            ++used;
        }
        double h = used > 0 ? sum / used : 0.0;
        if (!(h >= floorStep))
            h = floorStep;
        if (end < last + h) {
            values.push_back(0.5 * (last + end));
            values.push_back(end);
            break;
        }
        if (last + h == last) {
            // The step is lost in the rounding of last: the domain's end
            // closes the direction, so the values still span the face.
            values.push_back(end);
            break;
        }
        last += h;
        values.push_back(last);
    }
    Vector out(static_cast<int>(values.size()));
    for (std::size_t k = 0; k < values.size(); ++k)
        out[static_cast<int>(k)] = values[k];
    return out;
}

// The cells the iso lines U and V cut the domain into.
double cellCount(const Vector& U, const Vector& V)
{
    return double(std::max(U.size() - 1, 0)) * double(std::max(V.size() - 1, 0));
}

// Refines v with `between` values between neighbours while it holds fewer
// than `below` values; true when it did.
bool refineBelow(Vector& v, int below, int between)
{
    if (v.size() >= below)
        return false;
    v = refineValues(v, between);
    return true;
}

} // namespace

void isoParametersForArcTolerance(Fenwo::NurbsSurf* surface, double tolerance, Vector& U, Vector& V)
{
    if (surface == nullptr || surface->uKnots == nullptr || surface->vKnots == nullptr)
        return;
    Vector uB, vB;
    surface->uKnots->getBreakpoints(uB, 1);
    surface->vKnots->getBreakpoints(vB, 1);
    // The curves along u through the v breakpoints and along v through the u
    // breakpoints, all made before either direction is stepped.
    std::vector<std::unique_ptr<Fenwo::NurbsSurf>> uCurves, vCurves;
    for (int k = 0; k < vB.size(); ++k)
        uCurves.emplace_back(extractIsoCurve(surface, vB[k], 3));
    for (int k = 0; k < uB.size(); ++k)
        vCurves.emplace_back(extractIsoCurve(surface, uB[k], 2));

    Vector** table = nullptr;
    U = arcToleranceValues(*surface, true, uB, vB, uCurves, tolerance, table);
    uCurves.clear();
    V = arcToleranceValues(*surface, false, vB, uB, vCurves, tolerance, table);
    CParametricGeometry::freeDerivativeTable(table, 1);

    // Too few values for the degree: refine evenly.
    const int pu = surface->uKnots->p, pv = surface->vKnots->p;
    if (U.size() <= pu + 1)
        U = refineValues(U, std::max(pu / 2, 1));
    if (V.size() <= pv + 1)
        V = refineValues(V, std::max(pv / 2, 1));
}

void isoParametersForDistance(CParametricGeometry* surface, double tolerance, Vector& U, Vector& V)
{
    if (surface == nullptr)
        return;
    if (!(tolerance > 0.0)) {
        U.resize(0);
        V.resize(0);
        return;
    }
    if (auto* nurbs = dynamic_cast<Fenwo::NurbsSurf*>(surface)) {
        if (nurbs->uKnots == nullptr || nurbs->vKnots == nullptr)
            return;
        Vector uB, vB;
        nurbs->uKnots->getBreakpoints(uB, 1);
        nurbs->vKnots->getBreakpoints(vB, 1);
        if (uB.size() == 0)
            return;
        U = distanceValues(*nurbs, true, uB, vB, tolerance, kFineDivisions);
        if (vB.size() > 0)
            V = distanceValues(*nurbs, false, vB, uB, tolerance, kFineDivisions);
        // Beyond the budget of cells both directions step again, each at
        // least a two-hundredth of its domain.
        if (cellCount(U, V) > kMaxDistanceCells) {
            U = distanceValues(*nurbs, true, uB, vB, tolerance, kCoarseDivisions);
            if (vB.size() > 0)
                V = distanceValues(*nurbs, false, vB, uB, tolerance, kCoarseDivisions);
        }
        return;
    }
    surface->getUSampleParameters(U);
    surface->getVSampleParameters(V);
    refineBelow(U, 15, 7);
    refineBelow(V, 15, 7);
    refineBelow(U, 15, 7);
    refineBelow(V, 15, 7);
}
