#include "curves/CurveOperations.h"

#include "curves/ArcLength.h"
#include "curves/PlaneFit.h"
#include "foundation/FitPoint.h"
#include "geometry/FitHelpers.h"
#include "geometry/Interval.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "geometry/ParametricGeometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double kNoDistance = 1e10; // start of the nearest-end search
constexpr double kMinSampleStep = 1e-6;
constexpr int kMinSamples = 2;
constexpr int kMaxSamples = 10000;

double distance(const Vector& a, const Vector& b)
{
    return std::sqrt(squaredDistance(a, b));
}

// The point where a curve run in `direction` leaves it (its end when 1).
Vector exitPoint(CParametricGeometry* curve, int direction)
{
    Vector p;
    return direction == 1 ? curveEndPoint(p, curve) : curveStartPoint(p, curve);
}

// The point where a curve run in `direction` is entered (its start when 1).
Vector entryPoint(CParametricGeometry* curve, int direction)
{
    Vector p;
    return direction == 1 ? curveStartPoint(p, curve) : curveEndPoint(p, curve);
}

Vector unitChord(CParametricGeometry* curve)
{
    Vector a;
    Vector b;
    return normalized(curveEndPoint(b, curve) - curveStartPoint(a, curve));
}

} // namespace

// ---- Chaining and orientation ---------------------------------------------

Vector& curveStartPoint(Vector& out, CParametricGeometry* curve)
{
    if (curve == nullptr)
        out.resize(0);
    else
        out = curve->getStartPoint();
    return out;
}

Vector& curveEndPoint(Vector& out, CParametricGeometry* curve)
{
    if (curve == nullptr)
        out.resize(0);
    else
        out = curve->getEndPoint();
    return out;
}

void orientCurvesConsistently(Kor::Array<Fenwo::NurbsSurf*>& curves)
{
    for (int i = 1; i < curves.getCount(); ++i) {
        if (curves[i] == nullptr || curves[i - 1] == nullptr)
            continue;
        if (dot(unitChord(curves[i]), unitChord(curves[i - 1])) < 0.0)
            curves[i]->invertDirection(0);
    }
}

int nearestCurveEnd(const Vector& p, IndexSubset<CParametricGeometry*>& candidates, int& direction,
                    double tol)
{
    double best = kNoDistance;
    int found = -1;
    for (int k = 0; k < candidates.getCount(); ++k) {
        CParametricGeometry* c = candidates[k];
        if (c == nullptr)
            continue;
        Vector end;
        const double dStart = distance(p, curveStartPoint(end, c));
        if (dStart < tol && dStart < best) {
            best = dStart;
            found = k;
            direction = 1;
        }
        const double dEnd = distance(p, curveEndPoint(end, c));
        if (dEnd < tol && dEnd < best) {
            best = dEnd;
            found = k;
            direction = -1;
        }
    }
    return found;
}

int buildCurveChain(const Kor::Array<CParametricGeometry*>& curves,
                    Kor::Array<CParametricGeometry*>& chain, Kor::List<int>& directions, double tol,
                    int firstDirection, Kor::List<int>* order)
{
    chain.count = 0;
    directions.clear();
    if (order != nullptr)
        order->clear();
    if (curves.getCount() == 0 || curves[0] == nullptr)
        return -1;

    chain.append(curves[0]);
    directions.append(firstDirection);
    if (order != nullptr)
        order->append(0);

    Kor::Array<CParametricGeometry*> pool(curves);
    IndexSubset<CParametricGeometry*> remaining(pool, pool.getCount());
    for (int i = 1; i < pool.getCount(); ++i)
        remaining.append(i);

    while (remaining.getCount() > 0) {
        const int last = chain.getCount() - 1;
        const Vector free = exitPoint(chain[last], directions[last]);
        int direction = 1;
        const int k = nearestCurveEnd(free, remaining, direction, tol);
        if (k < 0)
            return -1;
        const int index = remaining.indices[k];
        remaining.removeAt(k);
        chain.append(pool[index]);
        directions.append(direction);
        if (order != nullptr)
            order->append(index);
    }

    const int last = chain.getCount() - 1;
    const Vector freeEnd = exitPoint(chain[last], directions[last]);
    const Vector freeStart = entryPoint(chain[0], directions[0]);
    return distance(freeEnd, freeStart) < tol ? 0 : 1;
}

// ---- Parameter sampling ---------------------------------------------------

bool sampleArcLengthParameters(int n, Kor::List<double>& out,
                               const CArcLengthParametrisation& table)
{
    if (n < 1 || table.isEmpty())
        return false;
    for (int i = 0; i <= n; ++i)
        out.append(table.getParameter(static_cast<double>(i) / n));
    return true;
}

bool arcLengthParameters(CParametricGeometry* curve, int n, Kor::List<double>& out, int nMax)
{
    if (curve == nullptr)
        return false;
    // A bound below 1 would leave no interval to divide (0 / 0 on an open
    // curve), so at least one interval is always sampled.
    const int m = std::max(1, std::min(std::max(n, 1), nMax));
    const int c = curve->isClosed() ? 1 : 0;
    const CArcLengthParametrisation table(curve);
    if (table.isEmpty())
        return false;
    for (int i = 0; i <= m; ++i)
        out.append(table.getParameter(static_cast<double>(i) / (m + c)));
    return true;
}

bool equalArcLengthParameters(CParametricGeometry* curve, int n, Kor::List<double>& out)
{
    if (curve == nullptr)
        return false;
    const CArcLengthParametrisation table(curve);
    return sampleArcLengthParameters(n, out, table);
}

bool arcLengthSamples(CParametricGeometry* curve, double step, Kor::List<double>& out)
{
    if (curve == nullptr)
        return false;
    const CArcLengthParametrisation table(curve);
    const double h = step >= kMinSampleStep ? step : kMinSampleStep; // NaN takes the floor
    // Clamp in double: a long curve over a tiny step would overflow an int.
    double steps = std::ceil(table.getTotalLength() / h);
    if (!(steps >= kMinSamples))
        steps = kMinSamples;
    if (steps > kMaxSamples)
        steps = kMaxSamples;
    return sampleArcLengthParameters(static_cast<int>(steps), out, table);
}

int subdivideParameterList(Kor::List<double>& params, int k)
{
    const int count = params.getCount();
    if (k <= 0 || count < 2)
        return 0;
    Kor::List<double> refined;
    refined.setCapacity(count + (count - 1) * k, false);
    refined.append(params[0]);
    for (int i = 1; i < count; ++i) {
        for (int j = 1; j <= k; ++j) {
            const double s = static_cast<double>(j) / (k + 1);
            refined.append(s * params[i] + (1.0 - s) * params[i - 1]);
        }
        refined.append(params[i]);
    }
    params.clear();
    for (int i = 0; i < refined.getCount(); ++i)
        params.append(refined[i]);
    return (count - 1) * k;
}

int grevilleAbscissaeInInterval(Fenwo::NurbsSurf* curve, const double range[2],
                                Kor::List<double>& out, int k)
{
    out.clear();
    if (curve == nullptr || curve->uKnots == nullptr)
        return 0;
    const double a = range[0];
    const double b = range[1];
    const Interval band(a, b);
    Vector abscissae;
    curve->uKnots->getGrevilleAbscissae(abscissae);
    for (int i = 0; i < abscissae.size(); ++i)
        if (band.contains(abscissae[i]))
            out.append(abscissae[i]);
    if (out.getCount() < 2) {
        out.clear();
        out.append(a);
        out.append(b);
    } else {
        out[0] = a;
        out[out.getCount() - 1] = b;
    }
    subdivideParameterList(out, k);
    return out.getCount();
}

// ---- Geometry ---------------------------------------------------------------

namespace {

bool derivativesAndNormal(Fenwo::NurbsSurf* surface, double u, double v, Vector& du, Vector& dv,
                          Vector& normal, bool unitDerivatives)
{
    if (surface == nullptr)
        return false;
    Vector** d = surface->evaluate(1, u, v);
    if (d == nullptr)
        return false;
    du = unitDerivatives ? normalized(d[1][0]) : d[1][0];
    if (surface->getVCount() > 1) {
        dv = unitDerivatives ? normalized(d[0][1]) : d[0][1];
        normal = normalized(crossProduct(du, dv));
    }
    return true;
}

} // namespace

bool surfaceDerivativesAndNormal(Fenwo::NurbsSurf* surface, double u, double v, Vector& du,
                                 Vector& dv, Vector& normal)
{
    return derivativesAndNormal(surface, u, v, du, dv, normal, false);
}

bool surfaceDerivativesAndNormalEx(Fenwo::NurbsSurf* surface, double u, double v, Vector& du,
                                   Vector& dv, Vector& normal)
{
    return derivativesAndNormal(surface, u, v, du, dv, normal, true);
}

double signedAngleAroundAxis(const Vector& a, const Vector& b, const Vector& axis)
{
    Vector pa(a);
    Vector pb(b);
    orthogonalize(pa, axis);
    orthogonalize(pb, axis);
    const double angle = angleBetween(pa, pb);
    if (dot(crossProduct(pa, pb), axis) >= 0.0)
        return angle;
    const double turned = 2.0 * std::numbers::pi - angle;
    // A tiny negative turn may round to 2 pi, which lies outside the range.
    return turned < 2.0 * std::numbers::pi ? turned : 0.0;
}

void basisPartialSums(knots& k, int i, double t, double& below, double& above)
{
    below = 0.0;
    above = 0.0;
    if (k.distinctCount == 0)
        return;
    const int span = k.clampToKnots(t);
    const Vector& basis = k.basisFunctions(span, t);
    for (int j = 0; j < basis.size() && j <= k.p; ++j) {
        if (span - k.p + j <= i)
            below += basis[j];
        else
            above += basis[j];
    }
}

void curveLengths(const Kor::List<Fenwo::NurbsSurf*>& curves, Vector& lengths)
{
    lengths.resize(curves.getCount(), true);
    for (int i = 0; i < curves.getCount(); ++i)
        lengths[i] = curves[i] != nullptr ? curves[i]->computeLength() : 0.0;
}

bool fitPlaneToSurface(const Kor::Array<Fenwo::NurbsSurf*>& surfaces, Vector& centre,
                       Vector& normal)
{
    CFitPointArray points;
    for (int s = 0; s < surfaces.getCount(); ++s) {
        Fenwo::NurbsSurf* surface = surfaces[s];
        if (surface == nullptr || surface->uKnots == nullptr)
            continue;
        Vector us;
        Vector vs(1); // a curve: v = 0
        surface->uKnots->getGrevilleAbscissae(us);
        if (surface->vKnots != nullptr && surface->getVCount() > 1)
            surface->vKnots->getGrevilleAbscissae(vs);
        for (int j = 0; j < vs.size(); ++j) {
            for (int i = 0; i < us.size(); ++i) {
                Vector p(3);
                surface->evaluatePoint(p, us[i], vs[j]);
                points.append(CFitPoint(p));
            }
        }
    }
    return fitPlane(points, centre, normal);
}

// ---- Vector and record helpers -------------------------------------------

VectorMatrix::VectorMatrix(int rows, int cols)
{
    if (rows > 0 && cols > 0) {
        this->rows = rows;
        this->cols = cols;
        data = std::make_unique<Vector[]>(static_cast<size_t>(rows) * cols);
    }
}

Vector subVector(const Vector& src, int from, int to)
{
    from = std::max(from, 0);
    to = std::min(to, src.size() - 1);
    if (to < from)
        return Vector();
    return Vector(src.data + from, to - from + 1);
}
