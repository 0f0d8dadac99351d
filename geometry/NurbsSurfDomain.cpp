// Domain, parameter and measure operations of Fenwo::NurbsSurf: breakpoints,
// sample parameters, arc length and unit tangent of the curve-like surface,
// the raw normal, reparametrisation, the exchange of u and v, the collapsed
// border test and two small numeric helpers of the fitting line search.
#include "geometry/NumericRoutines.h"
#include "geometry/NurbsSurf.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <iostream>
#include <memory>
#include <set>
#include <vector>

namespace Fenwo {

namespace {

// a / |a| as a 3-vector; the zero 3-vector when |a| is 0 or not finite. No
// absolute threshold, so tiny models keep their directions.
Vector unitOrZero(const Vector& a)
{
    Vector out(3);
    const int m = std::min(a.n, 3);
    double sq = 0.0;
    for (int k = 0; k < m; ++k)
        sq += a[k] * a[k];
    const double len = std::sqrt(sq);
    if (!(len > 0.0) || !std::isfinite(len))
        return out;
    for (int k = 0; k < m; ++k)
        out[k] = a[k] / len;
    return out;
}

// Sample parameters of one direction: the domain ends plus the abscissae
// that the domain contains, ascending, each once.
void sampleParameters(const knots& k, const Interval& domain, Vector& out)
{
    Vector greville;
    k.getGrevilleAbscissae(greville);
    std::set<double> values{domain.min, domain.max};
    const bool degenerate = domain.max - domain.min < 2.2e-15;
    for (int i = 0; i < greville.n; ++i) {
        const double g = greville[i];
        const bool inside =
            degenerate ? std::fabs(g - domain.min) < 1.1e-15 : (domain.min <= g && g <= domain.max);
        if (inside)
            values.insert(g);
    }
    out.resize(static_cast<int>(values.size()), true);
    int i = 0;
    for (double v : values)
        out[i++] = v;
}

// Appends the distinct knots of the domain, the outer two only with ends.
void appendBreakpoints(const knots& k, Kor::List<double>& out, bool withEnds)
{
    Vector b;
    k.getBreakpoints(b, 1);
    for (int i = 0; i < b.n; ++i) {
        if (!withEnds && (i == 0 || i == b.n - 1))
            continue;
        out.append(b[i]);
    }
}

// True when some stored weight is not 1: together with isRational this keeps
// the rational path for a net of equal weights other than 1, whose
// homogeneous coordinates the polynomial path would take as points.
bool hasWeightOtherThanOne(const NurbsSurf& s)
{
    const int count = std::min(s.getUCount() * s.getVCount(), s.controlNetSize);
    for (int k = 0; k < count; ++k) {
        const Vector& P = s.controlNet[k];
        if (P.n > s.dimension && P[s.dimension] != 1.0)
            return true;
    }
    return false;
}

BoundaryPosition swappedSide(BoundaryPosition side)
{
    switch (side) {
    case uvWest:
        return uvSouth;
    case uvEast:
        return uvNorth;
    case uvSouth:
        return uvWest;
    case uvNorth:
        return uvEast;
    default:
        return side;
    }
}

bool domainsDiffer(const Interval& a, const Interval& b)
{
    return std::fabs(a.min - b.min) > 5e-9 || std::fabs(a.max - b.max) > 5e-9;
}

} // namespace

// ---- Domain ---------------------------------------------------------------------

bool NurbsSurf::getUBreakpoints(Kor::List<double>& out, bool withEnds) const
{
    appendBreakpoints(*uKnots, out, withEnds);
    return true;
}

bool NurbsSurf::getVBreakpoints(Kor::List<double>& out, bool withEnds) const
{
    appendBreakpoints(*vKnots, out, withEnds);
    return true;
}

void NurbsSurf::getUSampleParameters(Vector& out) const
{
    sampleParameters(*uKnots, getDomain(0), out);
}

void NurbsSurf::getVSampleParameters(Vector& out) const
{
    sampleParameters(*vKnots, getDomain(1), out);
}

// ---- Measures -------------------------------------------------------------------

double NurbsSurf::getLength()
{
    return computeLength(nullptr);
}

void NurbsSurf::getRawNormal(Vector& out, double u, double v, Vector* suOut, Vector* svOut)
{
    // The first derivatives straight from the flat table of the evaluation
    // (entry (k, l) at 3 (2 k + l)): a measure takes a normal at every point
    // of a grid of tolerance spacing, and a table of vectors allocated and
    // freed for each point cost more than the derivatives themselves. The
    // arithmetic is that of the vector operations it stands for.
    double D[12];
    computeDerivativesInto(1, u, v, D);
    const double* su = D + 6;
    const double* sv = D + 3;
    const auto put = [](Vector& to, const double* xyz) {
        if (to.n != 3)
            to.resize(3);
        std::copy_n(xyz, 3, to.data);
    };
    if (suOut != nullptr)
        put(*suOut, su);
    if (svOut != nullptr)
        put(*svOut, sv);
    double cross[3];
    crossProduct3(su, sv, cross);
    // Parallel derivatives leave a cross product of rounding noise, whose
    // direction means nothing: measured against |S_u| |S_v| so that the test
    // does not depend on the size of the model.
    double unit[3] = {0.0, 0.0, 0.0};
    const double len = norm3(cross);
    if (len > 1e-14 * norm3(su) * norm3(sv) && std::isfinite(len))
        for (int k = 0; k < 3; ++k)
            unit[k] = cross[k] / len;
    put(out, unit);
}

Vector NurbsSurf::getRawNormal(double u, double v)
{
    Vector out;
    getRawNormal(out, u, v);
    return out;
}

double NurbsSurf::gaussSpanLength(double a, double b, int m)
{
    Vector** T = nullptr;
    allocateDerivativeTable(T, 1);
    const double sum = gaussLegendreIntegral(
        a, b, m, [&](double t) { return norm(computeDerivatives(1, t, 0.0, T)[1][0]); });
    freeDerivativeTable(T, 1);
    return sum;
}

double NurbsSurf::computeLength(Vector* perSpan)
{
    const int p = uKnots->p;
    const int n = uKnots->n;
    double total = 0.0;
    if (p < 3) {
        if (perSpan != nullptr)
            perSpan->resize(std::max(n, 0), true);
        Vector a, b;
        getControlPoint(0, 0, a);
        for (int i = 0; i < n; ++i) {
            getControlPoint(i + 1, 0, b);
            const double len = std::sqrt(squaredDistance(a, b));
            total += len;
            if (perSpan != nullptr)
                (*perSpan)[i] = len;
            std::swap(a, b);
        }
        return total;
    }
    if (perSpan != nullptr)
        perSpan->resize(std::max(n - p + 1, 0), true);
    const int m = std::min(p, 10);
    for (int i = p; i <= n; ++i) {
        const double a = uKnots->valueAt(i);
        const double b = uKnots->valueAt(i + 1);
        const double len = b > a ? gaussSpanLength(a, b, m) : 0.0;
        total += len;
        if (perSpan != nullptr)
            (*perSpan)[i - p] = len;
    }
    return total;
}

void NurbsSurf::getUnitTangent(Vector& out, double t)
{
    const int p = uKnots->p;
    const int multiplicity = uKnots->getMultiplicity(t);
    double clamped = t;
    const int span = uKnots->clampToKnots(clamped);
    Vector** T = nullptr;
    allocateDerivativeTable(T, 1);
    if (multiplicity != p || span == p || span > uKnots->n) {
        out = unitOrZero(computeDerivatives(1, t, 0.0, T)[1][0]);
    } else {
        // A C0 knot: the one-sided tangents may differ, so their bisector.
        const double h = std::sqrt(1e-8);
        Vector sum = unitOrZero(computeDerivatives(1, t - h, 0.0, T)[1][0]);
        sum += unitOrZero(computeDerivatives(1, t + h, 0.0, T)[1][0]);
        out = unitOrZero(sum);
    }
    freeDerivativeTable(T, 1);
}

// ---- Reparametrisation and exchange of u and v ------------------------------------

bool NurbsSurf::reparametrizeU(knots* k)
{
    const int nU = getUCount();
    std::unique_ptr<knots> fresh(k != nullptr ? k
                                              : new knots(nU - 1, uKnots->p, 0.0, nU - uKnots->p,
                                                          uKnots->endCondition, knots::Uniform));
    // A vector for another number of control points would leave points
    // unset or dropped: refused.
    if (fresh->getControlPointCount() != nU)
        return rational;
    const int count = controlNetSize;
    std::unique_ptr<Vector[]> net = controlNet.take();
    knots* keptV = vKnots;
    vKnots = nullptr;
    release();
    uKnots = fresh.release();
    vKnots = keptV;
    allocateStorage();
    for (int i = 0; i < std::min(count, controlNetSize); ++i)
        controlNet[i] = std::move(net[i]);
    rational = hasWeightOtherThanOne(*this) || isRational();
    return rational;
}

bool NurbsSurf::reparametrizeV(knots* k)
{
    const int nV = getVCount();
    std::unique_ptr<knots> fresh(k != nullptr ? k
                                              : new knots(nV - 1, vKnots->p, 0.0, nV - vKnots->p,
                                                          vKnots->endCondition, knots::Uniform));
    if (fresh->getControlPointCount() != nV)
        return rational;
    const int count = controlNetSize;
    std::unique_ptr<Vector[]> net = controlNet.take();
    knots* keptU = uKnots;
    uKnots = nullptr;
    release();
    uKnots = keptU;
    vKnots = fresh.release();
    allocateStorage();
    for (int i = 0; i < std::min(count, controlNetSize); ++i)
        controlNet[i] = std::move(net[i]);
    rational = hasWeightOtherThanOne(*this) || isRational();
    return rational;
}

void NurbsSurf::swapuv()
{
    std::vector<BoundaryPosition> sides;
    for (BoundaryPosition* side : degenerateSides)
        if (side != nullptr)
            sides.push_back(swappedSide(*side));
    degenerateSides.removeAll(false, true);
    for (BoundaryPosition side : sides)
        addDegenerateSide(side);

    const Interval oldU = getDomain(0);
    const Interval oldV = getDomain(1);
    const int nU = getUCount();
    const int nV = getVCount();

    // Point (i, j) moves to (j, i) of the exchanged net, index j + nV i.
    std::unique_ptr<Vector[]> swapped(new Vector[controlNetSize]);
    for (int j = 0; j < nV; ++j)
        for (int i = 0; i < nU; ++i)
            swapped[j + nV * i] = std::move(controlNet[i + nU * j]);
    controlNet = std::move(swapped);
    std::swap(uKnots, vKnots);
    std::swap(lastUSpan, lastVSpan);
    kind = vKnots->n != 0 ? 1 : 0;
    // Variable numbers of the fit follow the net's layout.
    invalidateFitState();

    if (domainsDiffer(getDomain(1), oldU))
        std::cout << " swapuv u-error";
    if (domainsDiffer(getDomain(0), oldV))
        std::cout << " swapuv u-error";
}

// ---- Collapsed borders --------------------------------------------------------------

int NurbsSurf::classifySide(int direction) const
{
    const int nU = getUCount();
    const int nV = getVCount();
    // Sum over x, y, z of the extent of the Euclidean points of one border.
    auto extent = [&](bool row, int index) {
        double lo[3] = {DBL_MAX, DBL_MAX, DBL_MAX};
        double hi[3] = {-DBL_MAX, -DBL_MAX, -DBL_MAX};
        const int count = row ? nU : nV;
        Vector p;
        for (int k = 0; k < count; ++k) {
            getControlPointXYZ(p, row ? k : index, row ? index : k);
            for (int c = 0; c < 3; ++c) {
                lo[c] = std::min(lo[c], p[c]);
                hi[c] = std::max(hi[c], p[c]);
            }
        }
        return (hi[0] - lo[0]) + (hi[1] - lo[1]) + (hi[2] - lo[2]);
    };
    const bool rows = direction == 0;
    const int last = rows ? nV - 1 : nU - 1;
    int result = 0;
    if (extent(rows, 0) < 0.0005)
        result |= 1;
    if (extent(rows, last) < 0.0005)
        result |= 2;
    return result;
}

// ---- Numeric helpers ------------------------------------------------------------------

double NurbsSurf::smallestPositiveSlope(const Vector& x, const Vector& t, Vector& s)
{
    const double huge = std::sqrt(DBL_MAX);
    const int m = std::max(std::min(x.n, t.n) - 1, 0);
    s.resize(m, true);
    double best = huge;
    for (int i = 0; i < m; ++i) {
        const double dt = t[i + 1] - t[i];
        s[i] = std::fabs(dt) < 1e-16 ? huge : (x[i] - x[i + 1]) / dt;
        if (s[i] > 0.0 && s[i] < best)
            best = s[i];
    }
    return best;
}

double NurbsSurf::dotProduct(const double* a, const double* b, int n)
{
    return dotRange(a, b, n);
}

} // namespace Fenwo
