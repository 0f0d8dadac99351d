#include "geometry/Knots.h"

#include "foundation/TextFields.h"
#include "geometry/FixedDegreeBasis.h"
#include "geometry/GeoTokenizer.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <iomanip>
#include <iostream>
#include <limits>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr double kMergeTolerance = 5e-9; // neighbours closer than this become one knot
constexpr double kFindTolerance = 1e-8;  // findKnot's match distance
constexpr double kKnotStep = 1e-6;       // forward-difference step of the knot sensitivity
constexpr int kMinDerivativeRows = 4;    // derivative rows 0..3 always exist
constexpr int kMaxTextDegree = 64;       // largest degree the reader accepts
constexpr int kMaxTextIndex = 1 << 24;   // largest last index the reader accepts
constexpr std::streamsize kMaxWord = 32; // end-condition and spacing words
// The uniform short form names its knot count in the header alone: its
// store (a value and three indices a position) is built only within this
// budget. The writer uses the form only for a single span.
constexpr long kBytesPerPosition = sizeof(double) + 3 * sizeof(int);
constexpr long kUniformStoreBudget = 16L << 20;

const char* const kEndNames[] = {"ClampedEnd", "OpenEnd", "CyclicEnd"};
const char* const kSpacingNames[] = {"Uniform", "NonUniform"};

bool sameWordIgnoringCase(const std::string& a, const char* b)
{
    std::size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && b[i] == '\0';
}

bool validEndCondition(int e)
{
    return e >= knots::ClampedEnd && e <= knots::CyclicEnd;
}

// A field "p=<digits>" (or "n=..."): the key and a whole number from 0.
bool readHeaderNumber(std::string_view field, const char* key, int& value)
{
    return field.size() > 2 && sameWordIgnoringCase(std::string(field.substr(0, 2)), key) &&
           field[2] != '-' && parseWholeField(field.substr(2), value);
}

} // namespace

// ---------------------------------------------------------------------------
// Store and work arrays

void knots::resizeStore(int positions)
{
    positions = std::max(positions, 1);
    multiplicities.resize(positions);
    positionToDistinct.resize(positions);
    cumulativeMultiplicities.resize(positions);
    values.resize(positions);
    distinctCount = std::min(distinctCount, positions);
}

void knots::allocateStore(int positions)
{
    multiplicities = IntArray(positions);
    positionToDistinct = IntArray(positions);
    cumulativeMultiplicities = IntArray(positions);
    values = Vector(positions);
}

void knots::allocateWork()
{
    const int w = p + 1;
    left.assign(w, 0.0);
    right.assign(w, 0.0);
    basis = Vector(w);
    nduTable.assign(static_cast<std::size_t>(w) * w, 0.0);
    aTable.assign(2 * static_cast<std::size_t>(w), 0.0);
    derivativeRows.assign(std::max(w, kMinDerivativeRows), Vector(w));
    flatRows.assign(static_cast<std::size_t>(w) * w, 0.0);
    savedRows.assign(3, Vector(w));
    knotDerivativeTable.basisCount = w;
    knotDerivativeTable.orderCount = 3;
    knotDerivativeTable.knotCount = 2 * p + 2;
    knotDerivativeTable.entries.assign(static_cast<std::size_t>(w) * 3 * (2 * p + 2), 0.0);
}

void knots::setEmpty(int nn, int pp)
{
    n = std::max(nn, 0);
    p = std::max(pp, 0);
    if (!validEndCondition(endCondition))
        endCondition = ClampedEnd;
    distinctCount = 0;
    const int positions = n + p + 2;
    allocateStore(positions);
    allocateWork();
    t0 = t1 = 0.0;
    range = Interval();
    isHealthy = false;
}

void knots::rebuildMaps()
{
    const int positions = positionToDistinct.count;
    const int limit = std::min(n + p + 2, positions);
    int pos = 0;
    int sum = 0;
    for (int k = 0; k < distinctCount; ++k) {
        const int m = multiplicities[k];
        sum += std::max(m, 0);
        cumulativeMultiplicities[k] = sum;
        for (int c = 0; c < m && pos < limit; ++c)
            positionToDistinct[pos++] = k;
    }
    for (int k = distinctCount; k < cumulativeMultiplicities.count; ++k)
        cumulativeMultiplicities[k] = sum;
    // Positions the multiplicities do not cover map to the last knot, so that
    // every position can be read.
    const int last = std::max(distinctCount - 1, 0);
    while (pos < positions)
        positionToDistinct[pos++] = last;
}

double knots::positionValue(int i) const
{
    const int c = std::clamp(i, 0, std::max(positionToDistinct.count - 1, 0));
    return values.data[positionToDistinct.data[c]];
}

void knots::buildFromPositions(const double* positionValues, int count)
{
    count = std::min(count, multiplicities.count);
    for (int i = 0; i < count; ++i) {
        values[i] = positionValues[i];
        multiplicities[i] = 1;
    }
    distinctCount = count;
    rebuildMaps();
}

bool knots::buildUniform(int nn, int pp, double a, double b, EndCondition e)
{
    if (!validEndCondition(e))
        return false;
    n = nn;
    p = pp;
    endCondition = e;
    const double m = std::max(n - p + 1, 1);
    auto u = [&](int k) {
        const double s = k / m;
        return (1.0 - s) * a + s * b;
    };

    if (e == ClampedEnd) {
        const int positions = n + p + 2;
        allocateStore(positions);
        int k = 0;
        values[k] = a;
        multiplicities[k++] = std::max(p + 1, 2);
        for (int j = 1; j <= n - p; ++j) {
            values[k] = u(j);
            multiplicities[k++] = 1;
        }
        values[k] = b;
        multiplicities[k++] = p + 1;
        distinctCount = k;
        allocateWork();
        rebuildMaps();
        return true;
    }

    // Open knots: position p + k holds u(k), k = -p .. n + 1.
    const int openCount = n + p + 2;
    std::vector<double> w(openCount);
    for (int i = 0; i < openCount; ++i)
        w[i] = u(i - p);

    if (e == CyclicEnd) {
        // Continue the knots periodically: the p positions past the end repeat
        // the spacing of the start, the last position doubles its neighbour.
        const int full = n + 2 * p + 2;
        std::vector<double> d(std::max(2 * p - 2, 0));
        for (int k = 0; k < static_cast<int>(d.size()); ++k) {
            const int i2 = std::min(k + 2, openCount - 1);
            const int i1 = std::min(k + 1, openCount - 1);
            d[k] = w[i2] - w[i1];
        }
        w.resize(full, w.back());
        for (int k = 0; k < static_cast<int>(d.size()); ++k)
            w[n + k + 3] = w[n + k + 2] + d[k];
        w[n + 2 * p + 1] = w[n + 2 * p];
        n += p;
    }

    const int positions = n + p + 2;
    allocateStore(positions);
    allocateWork();
    buildFromPositions(w.data(), static_cast<int>(w.size()));
    return true;
}

void knots::buildFromList(const double* data, int size, int nn, int pp)
{
    spacing = NonUniform;
    endCondition = ClampedEnd;
    if (nn < 0 || pp < 0 || data == nullptr || size < std::max(nn + pp, 1)) {
        setEmpty(nn, pp);
        return;
    }
    n = nn;
    p = pp;
    const int positions = n + p + 2;
    allocateStore(positions);
    allocateWork();
    std::vector<double> pv(positions);
    if (size == positions) {
        std::copy(data, data + positions, pv.begin());
    } else {
        const int inner = n + p;
        std::copy(data, data + inner, pv.begin() + 1);
        pv[0] = data[0];
        pv[positions - 1] = data[inner - 1];
    }
    buildFromPositions(pv.data(), positions);
    checkHealth(1);
}

// ---------------------------------------------------------------------------
// Construction

knots::knots(int nn, int pp, double a, double b, EndCondition e, Spacing s)
{
    spacing = s;
    endCondition = e;
    if (nn < 0 || pp < 0) {
        setEmpty(nn, pp);
        return;
    }
    if (!buildUniform(nn, pp, a, b, e)) {
        std::cerr << "end Conditions not implemented" << std::endl;
        setEmpty(nn, pp);
        return;
    }
    checkHealth(1);
}

void knots::buildFromArray(const double* vals, int count, int pp, bool cyclic)
{
    spacing = NonUniform;
    endCondition = cyclic ? CyclicEnd : ClampedEnd;
    const int nn = count - pp - 2;
    if (vals == nullptr || pp < 0 || nn < 0) {
        setEmpty(nn, pp);
        return;
    }
    n = nn;
    p = pp;
    const int positions = n + p + 2;
    allocateStore(positions);
    allocateWork();
    // A cyclic vector takes only its first count - p values; the health test
    // rebuilds the periodic tail.
    buildFromPositions(vals, cyclic ? count - p : count);
    checkHealth(1);
}

knots::knots(const Kor::List<double>& list, int nn, int pp)
{
    buildFromList(list.data, list.count, nn, pp);
}

knots::knots(const Vector& list, int nn, int pp)
{
    buildFromList(list.data, list.n, nn, pp);
}

knots::knots(const knots& other)
{
    *this = other;
}

knots& knots::operator=(const knots& other)
{
    if (this == &other)
        return *this;
    isHealthy = true;
    range = Interval();
    endCondition = ClampedEnd;
    spacing = Uniform;
    reparametrized = other.reparametrized;
    if (!other.isHealthy) {
        setEmpty(3, 3);
        return *this;
    }
    n = other.n;
    p = other.p;
    distinctCount = other.distinctCount;
    t0 = other.t0;
    t1 = other.t1;
    endCondition = other.endCondition;
    spacing = other.spacing;
    values = other.values;
    multiplicities = other.multiplicities;
    positionToDistinct = other.positionToDistinct;
    cumulativeMultiplicities = other.cumulativeMultiplicities;
    range = other.range;
    allocateWork();
    return *this;
}

knots::knots(std::istream& is)
{
    KnotText text;
    readText(is, text);
    buildFromText(text);
}

knots::~knots() = default;

// ---------------------------------------------------------------------------
// Queries

double* knots::knotAt(int i)
{
    const int c = std::clamp(i, 0, std::max(positionToDistinct.count - 1, 0));
    return &values.data[positionToDistinct.data[c]];
}

const double* knots::knotAt(int i) const
{
    const int c = std::clamp(i, 0, std::max(positionToDistinct.count - 1, 0));
    return &values.data[positionToDistinct.data[c]];
}

int knots::getControlPointCount() const
{
    return n + 1 - (endCondition == CyclicEnd ? p : 0);
}

Interval knots::getDomain() const
{
    return Interval(positionValue(p), positionValue(n + 1));
}

int knots::getMultiplicityAt(int i) const
{
    if (i < 0 || i >= positionToDistinct.count)
        return 0;
    return multiplicities[positionToDistinct[i]];
}

int knots::getMultiplicity(double t) const
{
    const int k = findKnot(t);
    return k < 0 ? 0 : multiplicities[k];
}

int knots::findKnot(double t) const
{
    for (int k = 0; k < distinctCount; ++k)
        if (std::fabs(values[k] - t) < kFindTolerance)
            return k;
    return -1;
}

void knots::setDistinctKnot(int k, int mult, double value)
{
    if (k < 0 || k >= multiplicities.count)
        return;
    multiplicities[k] = mult;
    values[k] = value;
}

void knots::setKnotValue(int i, double value)
{
    if (i < 0 || i >= positionToDistinct.count)
        return;
    double& v = values[positionToDistinct[i]];
    if (v != value) {
        v = value;
        if (spacing == Uniform)
            spacing = NonUniform;
    }
}

int knots::findNearestKnot(double t) const
{
    const int lo = endCondition == CyclicEnd ? 1 : p;
    int best = lo;
    double bestDistance = std::fabs(positionValue(lo) - t);
    for (int i = lo + 1; i <= n + 1; ++i) {
        const double d = std::fabs(positionValue(i) - t);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

int knots::findKnotInterval(double t) const
{
    // At the end of the domain: the interval that ends there.
    if (t == valueAt(n + 1))
        return std::max(positionToDistinct[n + 1] - 1, 0);
    // The interval [values[k], values[k + 1]] holding t, k at most the last
    // distinct index less one.
    const int last = positionToDistinct[n + p + 1];
    return lastKnotAtOrBelow(0, std::max(last - 1, 0), t);
}

void knots::clampToRange(double& t) const
{
    if (endCondition != CyclicEnd) {
        if (t < t0)
            t = t0;
        else if (t > t1)
            t = t1;
        return;
    }
    const double period = t1 - t0;
    if (!(period > 0.0)) {
        t = t0;
        return;
    }
    const double r = std::fmod(t - t0, period);
    if (std::fabs(r) < 1e-8)
        t = t0;
    else if (t < t0)
        t = t1 + r;
    else
        t = t0 + r;
}

int knots::clampToKnots(double& t) const
{
    int hint = -1;
    return clampToKnots(t, hint);
}

bool knots::getKnotInterval(int k, Interval& out) const
{
    int count;
    if (endCondition == CyclicEnd)
        count = n - p + 2 - (p == 1 ? 1 : 0);
    else
        count = n + p - 1;
    const int period = std::max(count - 1, 1);
    int kk = k % period;
    if (kk < 0)
        kk += period;
    out = Interval(positionValue(kk + 1), positionValue(kk + 2));
    return isHealthy;
}

double knots::getUnrolledKnot(int i) const
{
    double t = positionValue(1);
    Interval interval;
    for (int k = 0; k <= i - 2; ++k) {
        getKnotInterval(k, interval);
        t += interval.getLength();
    }
    return t;
}

double knots::getGrevilleAbscissa(int i) const
{
    if (i < 0)
        return t0;
    if (i >= getControlPointCount())
        return t1;
    if (p == 0)
        return 0.0;
    double sum = 0.0;
    for (int j = i + 1; j <= i + p; ++j)
        sum += positionValue(j);
    double g = sum / p;
    if (endCondition == CyclicEnd)
        clampToRange(g);
    return g;
}

void knots::getGrevilleAbscissae(Vector& out) const
{
    const int count = std::max(getControlPointCount(), 0);
    const bool cyclic = endCondition == CyclicEnd;
    out = Vector(count + (cyclic && count > 0 ? 1 : 0));
    for (int i = 0; i < count; ++i) {
        if (p == 0)
            continue;
        double sum = 0.0;
        for (int j = i + 1; j <= i + p; ++j)
            sum += positionValue(j);
        out[i] = sum / p;
    }
    if (cyclic && count > 0) {
        double g = out[0];
        clampToRange(g);
        out[count] = g;
    }
}

double knots::getBasisMaximum(int i, double* t)
{
    CBasisMax peak(*this, i, t);
    return peak.lastValue;
}

void knots::getBasisMaxima(Vector& out)
{
    const int count = std::max(getControlPointCount(), 1);
    out = Vector(count);
    if (n == 0) {
        out[0] = t0;
        return;
    }
    for (int i = 0; i < count; ++i)
        CBasisMax(*this, i, &out[i]);
}

void knots::getBreakpoints(Vector& out, int mode) const
{
    const int lastPosition = (endCondition == CyclicEnd && mode == 2) ? n : n + 1;
    const int first = positionToDistinct[std::clamp(p, 0, positionToDistinct.count - 1)];
    const int last = positionToDistinct[std::clamp(lastPosition, 0, positionToDistinct.count - 1)];
    out = Vector(std::max(last - first + 1, 0));
    for (int k = first; k <= last; ++k)
        out[k - first] = values[k];
}

bool knots::getKinks(Vector& out) const
{
    std::vector<double> kinks;
    kinks.push_back(range.min);
    for (int k = 0; k < distinctCount; ++k) {
        const double v = values[k];
        if (multiplicities[k] >= p && range.contains(v) && v > kinks.back())
            kinks.push_back(v);
    }
    if (range.max > kinks.back())
        kinks.push_back(range.max);
    out = Vector(kinks.data(), static_cast<int>(kinks.size()));
    return out.n > 2;
}

void knots::splitAtBreaks(Kor::List<Kor::List<double>>& out, int minMult) const
{
    const int last = positionToDistinct[positionToDistinct.count - 1];
    if (last < 0)
        return;
    Kor::List<double> piece;
    for (int k = 0; k <= last && k < distinctCount; ++k) {
        piece.append(values[k]);
        if (multiplicities[k] >= minMult && piece.count >= 2) {
            out.append(piece);
            piece.removeAll();
            piece.append(values[k]);
        }
    }
    // A trailing piece that ends at no break still carries knots: keep it
    // unless it is the single value that closed the last piece.
    if (piece.count >= 2)
        out.append(piece);
}

bool knots::splitAtC1Breaks(Kor::List<Kor::List<double>>& out) const
{
    splitAtBreaks(out, p - 1);
    return true;
}

bool knots::splitAtC0Breaks(Kor::List<Kor::List<double>>& out) const
{
    splitAtBreaks(out, p);
    return true;
}

int knots::countSimpleInteriorKnots() const
{
    int count = 0;
    for (int i = p + 1; i <= n && i < positionToDistinct.count; ++i)
        if (multiplicities[positionToDistinct[i]] == 1)
            ++count;
    return count;
}

bool knots::rangeDiffersFromKnots() const
{
    const Interval domain = getDomain();
    const double a[2] = {range.min, range.max};
    const double b[2] = {domain.min, domain.max};
    return !rangesMatchWithin(a, b, 4.4e-16);
}

// ---------------------------------------------------------------------------
// Evaluation

bool knots::evaluableSpan(int span, int& i) const
{
    // The triangle reads positions i + 1 - p .. i + p: spans outside
    // p - 1 .. n + 1 are moved inside; a vector with fewer positions than a
    // span needs has no evaluable span.
    i = span;
    if (i > n + 1)
        i = n + 1;
    if (i < p - 1)
        i = p - 1;
    return p == 0 || (i + 1 - p >= 0 && i + p < positionToDistinct.count);
}

const Vector& knots::basisFunctions(int span, double t)
{
    if (p >= 1 && p <= 3) {
        basisDerivativesInto(span, 0, t, basis.data);
        return basis;
    }
    if (t < t0)
        t = t0;
    else if (t > t1)
        t = t1;
    double* N = basis.data;
    int i;
    if (!evaluableSpan(span, i)) {
        std::fill(N, N + p + 1, 0.0);
        return basis;
    }
    const double* v = values.data;
    const int* pd = positionToDistinct.data;
    double* L = left.data();
    double* R = right.data();
    N[0] = 1.0;
    for (int j = 1; j <= p; ++j) {
        L[j] = t - v[pd[i + 1 - j]];
        R[j] = v[pd[i + j]] - t;
        double saved = 0.0;
        for (int r = 0; r < j; ++r) {
            const double temp = N[r] / (R[r + 1] + L[j - r]);
            N[r] = saved + R[r + 1] * temp;
            saved = L[j - r] * temp;
        }
        N[j] = saved;
    }
    return basis;
}

const Vector* knots::basisDerivatives(int span, int order, double t)
{
    if (order > p) {
        for (Vector& row : derivativeRows)
            row.fill(0.0);
        order = p;
    }
    order = std::max(order, 0);
    int i;
    if (!evaluableSpan(span, i)) {
        for (Vector& row : derivativeRows)
            row.fill(0.0);
        return derivativeRows.data();
    }
    const int w = p + 1;
    basisDerivativesInto(span, order, t, flatRows.data());
    Vector* D = derivativeRows.data();
    for (int k = 0; k <= order; ++k)
        std::copy(flatRows.data() + k * w, flatRows.data() + (k + 1) * w, D[k].data);
    return D;
}

int knots::basisDerivativesInto(int span, int order, double t, double* out)
{
    if (t < t0)
        t = t0;
    else if (t > t1)
        t = t1;
    order = std::clamp(order, 0, p);
    const int w = p + 1;
    int i;
    if (!evaluableSpan(span, i)) {
        std::fill(out, out + (order + 1) * w, 0.0);
        return order;
    }
    const double* v = values.data;
    const int* pd = positionToDistinct.data;
    switch (p) {
    case 0:
        out[0] = 1.0;
        return order;
    case 1:
        fixedDegreeBasis<1>(v, pd, i, t, order, out);
        return order;
    case 2:
        fixedDegreeBasis<2>(v, pd, i, t, order, out);
        return order;
    case 3:
        fixedDegreeBasis<3>(v, pd, i, t, order, out);
        return order;
    case 4:
        fixedDegreeBasis<4>(v, pd, i, t, order, out);
        return order;
    default:
        break;
    }
    double* L = left.data();
    double* R = right.data();
    double* ndu =
        nduTable.data();       // ndu[j * w + r]: basis values (upper) and knot differences (lower)
    double* a = aTable.data(); // two alternating coefficient rows

    ndu[0] = 1.0;
    for (int j = 1; j <= p; ++j) {
        L[j] = t - v[pd[i + 1 - j]];
        R[j] = v[pd[i + j]] - t;
        double saved = 0.0;
        for (int r = 0; r < j; ++r) {
            ndu[j * w + r] = R[r + 1] + L[j - r];
            const double temp = ndu[r * w + j - 1] / ndu[j * w + r];
            ndu[r * w + j] = saved + R[r + 1] * temp;
            saved = L[j - r] * temp;
        }
        ndu[j * w + j] = saved;
    }
    for (int j = 0; j <= p; ++j)
        out[j] = ndu[j * w + p];

    for (int r = 0; r <= p && order > 0; ++r) {
        int s1 = 0;
        int s2 = 1;
        a[0] = 1.0;
        for (int k = 1; k <= order; ++k) {
            double d = 0.0;
            const int rk = r - k;
            const int pk = p - k;
            if (r >= k) {
                a[s2 * w] = a[s1 * w] / ndu[(pk + 1) * w + rk];
                d = a[s2 * w] * ndu[rk * w + pk];
            }
            const int j1 = rk >= -1 ? 1 : -rk;
            const int j2 = (r - 1 <= pk) ? k - 1 : p - r;
            for (int j = j1; j <= j2; ++j) {
                a[s2 * w + j] = (a[s1 * w + j] - a[s1 * w + j - 1]) / ndu[(pk + 1) * w + rk + j];
                d += a[s2 * w + j] * ndu[(rk + j) * w + pk];
            }
            if (r <= pk) {
                a[s2 * w + k] = -a[s1 * w + k - 1] / ndu[(pk + 1) * w + r];
                d += a[s2 * w + k] * ndu[r * w + pk];
            }
            out[k * w + r] = d;
            std::swap(s1, s2);
        }
    }
    double factor = p;
    for (int k = 1; k <= order; ++k) {
        for (int j = 0; j <= p; ++j)
            out[k * w + j] *= factor;
        factor *= (p - k);
    }
    return order;
}

void knots::getBasisDerivativesAtKnot(int i, int order, Vector& leftSide, Vector& rightSide)
{
    const int position = std::clamp(i, 0, positionToDistinct.count - 1);
    if (order < 0 || order >= derivativeRowCount()) {
        leftSide = Vector(p + 1);
        rightSide = Vector(p + 1);
        return;
    }
    const double t = valueAt(position);
    rightSide = basisDerivatives(position, order, t)[order];
    leftSide = basisDerivatives(position - getMultiplicityAt(position), order, t)[order];
}

const KnotDerivativeTable& knots::basisKnotDerivatives(double t, int& span)
{
    span = clampToKnots(t);
    const Vector* D = basisDerivatives(span, 2, t);
    for (int r = 0; r < 3; ++r)
        savedRows[r] = D[r];
    KnotDerivativeTable& T = knotDerivativeTable;
    std::fill(T.entries.begin(), T.entries.end(), 0.0);
    for (int m = span - p; m <= span + p + 1; ++m) {
        if (m <= p || m >= n + 1)
            continue;
        spacing = NonUniform;
        // Every position of the knot moves at once. The value is restored
        // exactly, so repeated calls never let the knot drift.
        double& knot = values[positionToDistinct[m]];
        const double original = knot;
        knot = original + kKnotStep;
        D = basisDerivatives(span, 2, t);
        knot = original;
        const int column = m - span + p;
        for (int j = 0; j <= p; ++j)
            for (int r = 0; r < 3; ++r)
                T(j, r, column) = (D[r][j] - savedRows[r][j]) / kKnotStep;
    }
    return T;
}

// ---------------------------------------------------------------------------
// Health test

void knots::rebuildCyclicTail()
{
    const int positions = n + p + 2;
    resizeStore(positions);
    std::vector<double> w(positions);
    for (int i = 0; i < positions; ++i)
        w[i] = positionValue(std::min(i, n + 1));
    // The spacing of the start, taken before the tail is written.
    const int dCount = std::max(2 * p - 2, 1);
    std::vector<double> d(dCount);
    for (int k = 0; k < dCount; ++k)
        d[k] = positionValue(std::min(k + 2, n + 1)) - positionValue(std::min(k + 1, n + 1));
    const int base = n - p - (p == 1 ? 1 : 0);
    for (int k = 0; k < dCount; ++k) {
        const int j = base + k;
        if (j + 2 >= 0 && j + 3 < positions)
            w[j + 3] = w[j + 2] + d[k];
    }
    if (n + p >= 0)
        w[n + p + 1] = w[n + p];
    buildFromPositions(w.data(), positions);
}

void knots::recomputeCyclicStart()
{
    for (int j = 1; j <= p - 1; ++j) {
        if (p - j < 0 || n - j + 2 >= positionToDistinct.count)
            continue;
        const double v =
            positionValue(p - j + 1) - (positionValue(n - j + 2) - positionValue(n - j + 1));
        values[positionToDistinct[p - j]] = v;
    }
}

bool knots::checkHealth(int rebuild)
{
    const bool cyclicRebuild = rebuild != 0 && endCondition == CyclicEnd;
    if (cyclicRebuild)
        n -= p;
    const int positions = n + p + 2;
    const int stored = std::min(distinctCount, multiplicities.count);

    // Merge runs of neighbours closer than the tolerance into their last knot.
    int out = 0;
    int covered = 0;
    for (int k = 0; k < stored && covered < positions;) {
        int m = multiplicities[k];
        int j = k + 1;
        while (j < stored && std::fabs(values[j] - values[j - 1]) < kMergeTolerance)
            m += multiplicities[j++];
        values[out] = values[j - 1];
        multiplicities[out] = m;
        covered += m;
        ++out;
        k = j;
    }
    distinctCount = out;

    // The first and last positions never influence the basis on the domain:
    // fold a simple end knot into its neighbour.
    if (distinctCount >= 2 && multiplicities[0] == 1) {
        multiplicities[1] += 1;
        for (int k = 0; k + 1 < distinctCount; ++k) {
            values[k] = values[k + 1];
            multiplicities[k] = multiplicities[k + 1];
        }
        --distinctCount;
    }
    if (distinctCount >= 2 && multiplicities[distinctCount - 1] == 1) {
        multiplicities[distinctCount - 2] += 1;
        --distinctCount;
    }

    if (p != 1 && distinctCount >= 2 && multiplicities[0] == p + 1 &&
        multiplicities[distinctCount - 1] == p + 1 && endCondition != CyclicEnd)
        endCondition = ClampedEnd;

    if (p > 0 && distinctCount >= 2) {
        if (multiplicities[0] > p + 1) {
            std::cout << "setting isHealthy to false! start p=" << p << std::endl;
            isHealthy = false;
        }
        const int lastMult = multiplicities[distinctCount - 1];
        if (lastMult > p + 1) {
            std::cout << "setting isHealthy to false end! p=" << p << " n=" << n
                      << " Mult=" << lastMult << std::endl;
            isHealthy = false;
        }
        for (int k = 1; k + 1 < distinctCount; ++k) {
            if (multiplicities[k] > p) {
                std::cout << "Multiplicity too high mult=" << multiplicities[k] << " p=" << p
                          << " Knot=" << values[k] << std::endl;
                isHealthy = false;
            }
        }
    }

    rebuildMaps();

    if (cyclicRebuild) {
        n += p;
        rebuildCyclicTail();
        checkHealth(0);
    }

    t0 = positionValue(p);
    t1 = positionValue(n + 1);
    range = Interval(t0, t1);
    if (n >= 1 && p >= 1 && t0 == t1)
        isHealthy = false;
    if (spacing == Uniform && p >= 1 && t1 != 1.0)
        spacing = NonUniform;
    return isHealthy;
}

// ---------------------------------------------------------------------------
// Modification

void knots::insertKnot(double t, int count)
{
    if (count <= 0)
        return;
    spacing = NonUniform;
    const int oldN = n;
    const int k = findKnot(t);
    if (k >= 0) {
        const int m = multiplicities[k];
        count = std::min(count, std::max(p - m, 0));
        if (m < p)
            multiplicities[k] += count;
    } else {
        resizeStore(n + count + p + 2);
        // Keep the distinct values ascending.
        const int at = static_cast<int>(
            std::upper_bound(values.data, values.data + distinctCount, t) - values.data);
        for (int j = distinctCount; j > at; --j) {
            values[j] = values[j - 1];
            multiplicities[j] = multiplicities[j - 1];
        }
        values[at] = t;
        multiplicities[at] = count;
        ++distinctCount;
    }
    n += count;
    resizeStore(n + p + 2);
    rebuildMaps();
    t1 = valueAt(n + 1);
    if (endCondition == CyclicEnd && t > positionValue(oldN - p - (p == 1 ? 1 : 0) + 2))
        recomputeCyclicStart();
    checkHealth(1);
}

void knots::removeKnot(int k, int count)
{
    if (k < 0 || k >= distinctCount || count <= 0)
        return;
    // More than the multiplicity cannot leave.
    count = std::min(count, multiplicities[k]);
    if (n - count < 0)
        return;
    if (multiplicities[k] == count) {
        for (int j = k; j + 1 < distinctCount; ++j) {
            values[j] = values[j + 1];
            multiplicities[j] = multiplicities[j + 1];
        }
        --distinctCount;
    } else {
        multiplicities[k] -= count;
    }
    n -= count;
    resizeStore(n + p + 2);
    if (endCondition == CyclicEnd) {
        rebuildMaps();
        recomputeCyclicStart();
    }
    checkHealth(1);
}

void knots::elevateDegree()
{
    const int first = positionToDistinct[p];
    const int last = positionToDistinct[n + 1];
    for (int k = first; k <= last; ++k)
        multiplicities[k] += 1;
    n += last - first + (endCondition == CyclicEnd ? 1 : 0);
    p += 1;
    resizeStore(n + p + 2);
    positionToDistinct.fill(0);
    allocateWork();
    if (endCondition == CyclicEnd) {
        // The higher degree needs one more position before t0; the positions
        // there are the periodic images of the end and must follow it, or the
        // tail rebuilt from them would move t1.
        rebuildMaps();
        recomputeCyclicStart();
    }
    checkHealth(1);
}

void knots::invert()
{
    if (endCondition == CyclicEnd) {
        // Rebuild the positions from the first with the neighbour differences
        // taken from the end backwards.
        const int positions = n + p + 2;
        std::vector<double> w(positions);
        w[0] = positionValue(0);
        for (int k = 1; k <= n + p; ++k) {
            const int i = n + p + 1 - k;
            w[k] = w[k - 1] + (positionValue(i + 1) - positionValue(i));
        }
        w[positions - 1] = w[positions - 2];
        buildFromPositions(w.data(), positions);
        checkHealth(1);
        return;
    }

    const Interval domain = getDomain();
    const double a[2] = {range.min, range.max};
    const double b[2] = {domain.min, domain.max};
    if (!rangesMatchWithin(a, b, 1.2e-7)) {
        const std::streamsize old = std::cout.precision(20);
        std::cout << "uninvertible knot-vector ! range=" << std::endl
                  << range << "defRange=" << std::endl
                  << domain << std::endl;
        std::cout.precision(old);
    }
    const int D = distinctCount;
    std::reverse(multiplicities.data, multiplicities.data + D);
    std::vector<double> w(std::max(D, 1));
    if (D > 0) {
        w[0] = values[0];
        for (int k = 1; k < D; ++k)
            w[k] = w[k - 1] + (values[D - k] - values[D - k - 1]);
        std::copy(w.begin(), w.begin() + D, values.data);
    }
    rebuildMaps();
    t0 = range.min;
    t1 = range.max;
}

void knots::shift(double d)
{
    for (int k = 0; k < distinctCount; ++k)
        values[k] += d;
    t0 += d;
    t1 += d;
    range = Interval(t0, t1);
    // A vector stays Uniform only on a domain ending at 1: the text form
    // rebuilds uniform knots from the counts alone.
    if (spacing == Uniform && p >= 1 && t1 != 1.0)
        spacing = NonUniform;
}

void knots::rescale(double a, double b)
{
    const double lo = positionValue(p);
    const double hi = positionValue(n + 1);
    const double factor = (b - a) / std::max(hi - lo, 1e-16);
    for (int k = 0; k < distinctCount; ++k)
        values[k] = (values[k] - lo) * factor + a;
    t0 = a;
    t1 = b;
    range = Interval(a, b);
    if (spacing == Uniform && p >= 1 && t1 != 1.0)
        spacing = NonUniform;
}

// ---------------------------------------------------------------------------
// Text

std::ostream& knots::write(std::ostream& os, const knots& k)
{
    if (!k.isHealthy) {
        std::cout << "Uh, Oh, try to export a corrupt knot-vector......" << std::endl;
        std::cout << "Uh, Oh, still corrupt after repair knot-vector......" << std::endl;
        return os;
    }
    if (k.endCondition != CyclicEnd)
        return writeAsItStands(os, k);
    // The reader rebuilds a cyclic vector's periodic tail from the knots
    // before it, and the last written positions lie in that tail: written as
    // they stand they read back as the value rebuilt from the printed knots,
    // which can differ in the last digit printed, so that a file saved,
    // opened and saved again would change. What is written is the vector as
    // it reads back, whose text reads back as itself.
    std::ostringstream text;
    text.copyfmt(os);
    writeAsItStands(text, k);
    std::istringstream in(text.str());
    in.imbue(os.getloc());
    const knots readBack(in);
    return readBack.isHealthy ? writeAsItStands(os, readBack) : os << text.str();
}

std::ostream& knots::writeAsItStands(std::ostream& os, const knots& k)
{
    const bool cyclic = k.endCondition == CyclicEnd;
    const bool differs = k.rangeDiffersFromKnots();
    const int e = validEndCondition(k.endCondition) ? k.endCondition : ClampedEnd;
    const int writtenN = k.n - (cyclic ? k.p : 0);
    // The short form "Uniform" reads back as the integer knots of
    // [0, n - p + 1]. Use it only when that is what this vector holds, so that
    // a uniform vector on another domain keeps its parameters through a file.
    bool uniform = k.spacing == Uniform && !differs;
    if (uniform) {
        const knots readBack(writtenN, k.p, 0.0, static_cast<double>(writtenN - k.p + 1),
                             static_cast<EndCondition>(e), Uniform);
        const Interval mine = k.getDomain();
        const Interval theirs = readBack.getDomain();
        const double a[2] = {mine.min, mine.max};
        const double b[2] = {theirs.min, theirs.max};
        uniform = readBack.isHealthy && rangesMatchWithin(a, b, 1e-12 * (1.0 + theirs.max));
    }
    os << "p=" << k.p << " n=" << writtenN << " " << kEndNames[e] << " "
       << kSpacingNames[uniform ? Uniform : NonUniform];
    if (uniform)
        return os;
    os << "\n" << k.range << "\n";
    // A cyclic vector writes positions 0 .. n + 1 only, the knot of position n
    // once more in place of the periodic end; the reader rebuilds the tail.
    const int target = cyclic ? k.n + 2 : k.n + k.p + 2;
    const int seam = cyclic ? k.positionToDistinct[k.n] : -1;
    int covered = 0;
    for (int d = 0; d < k.distinctCount && covered < target; ++d) {
        int m = k.multiplicities[d] + (d == seam ? 1 : 0);
        if (cyclic)
            m = std::min(m, target - covered);
        if (d > 0)
            os << "\n";
        os << k.values[d] << " " << m;
        covered += m;
    }
    return os;
}

bool knots::readText(std::istream& is, KnotText& text)
{
    text = KnotText();
    auto fail = [&](const char* cause, const std::string* read, int degree) {
        std::cout << cause << std::endl;
        if (read != nullptr) {
            if (read->empty())
                std::cout << "empty string.";
            else
                std::cout << "s='" << *read << "'" << std::endl;
        }
        text.p = degree;
        return false;
    };

    // As written (GeoTextAsWritten), the header "p=<degree> n=<index>" with
    // its end condition and spacing stands alone on its line, and so does
    // each pair of a value and its multiplicity: anything else (a number
    // split or added, a word joined to another, a count the pairs do not
    // meet) refuses the record, with the line end of the line that is not
    // as written left in the stream. A reader of other texts takes the last
    // letter before "=" and passes over what follows the pairs it needs.
    const bool asWritten = readsAsWritten(is);
    auto notAsWritten = [&](const std::string& what, const std::string& found) {
        reportGeoTextFault(is,
                           "expected " + what + " in a knot vector, found " + shownInFault(found));
        return false;
    };
    auto restOfLine = [&]() {
        std::string rest;
        for (int c = is.peek(); c != std::char_traits<char>::eof() && c != '\n'; c = is.peek())
            rest.push_back(static_cast<char>(is.get()));
        return rest;
    };
    int degree = -1;
    int lastIndex = -1;
    int e = -1;
    int s = -1;
    if (asWritten) {
        is >> std::ws;
        const std::string line = restOfLine();
        const std::vector<std::string_view> fields = blankSeparatedFields(line);
        // The words compare without regard to case, as any reader of the
        // header does.
        if (fields.size() == 4) {
            for (int k = 0; k < 3; ++k)
                e = sameWordIgnoringCase(std::string(fields[2]), kEndNames[k]) ? k : e;
            for (int k = 0; k < 2; ++k)
                s = sameWordIgnoringCase(std::string(fields[3]), kSpacingNames[k]) ? k : s;
        }
        if (fields.size() != 4 || !readHeaderNumber(fields[0], "p=", degree) ||
            degree > kMaxTextDegree || !readHeaderNumber(fields[1], "n=", lastIndex) ||
            lastIndex > kMaxTextIndex || e < 0 || s < 0)
            return notAsWritten("the header \"p=<degree> n=<last index> <end> <spacing>\"", line);
        // A uniform vector of fewer control points than its degree needs has
        // no domain: no writer writes one.
        if (s == Uniform && e != CyclicEnd && lastIndex < degree)
            return notAsWritten("a last index of at least the degree", line);
    } else {
        char buffer[128];
        is >> std::ws;
        is.get(buffer, sizeof buffer, '=');
        const std::string pText = buffer;
        if (is.fail()) {
            std::cout << "unhealthy 'p=' not present in file, s='" << pText << "'" << std::endl;
            return false;
        }
        if (pText.empty() || pText.back() != 'p')
            return fail("unhealthy cause 2", &pText, 0);
        char c = 0;
        is >> c;
        if (is.fail() || c != '=')
            return fail("unhealthy cause 3", &pText, 0);
        is >> degree;
        if (is.fail() || degree < 0 || degree > kMaxTextDegree)
            return fail("unhealthy cause 4", &pText, 0);

        buffer[0] = '\0';
        is.get(buffer, sizeof buffer, '=');
        const std::string nText = buffer;
        if (nText.empty() || nText.back() != 'n')
            return fail("unhealthy cause 5", &nText, degree);
        c = 0;
        is >> c;
        if (is.fail() || c != '=')
            return fail("unhealthy cause 6", &nText, degree);
        is >> lastIndex;
        if (is.fail() || lastIndex < 0 || lastIndex > kMaxTextIndex)
            return fail("unhealthy cause 7", nullptr, degree);

        std::string endWord;
        std::string spacingWord;
        is >> std::setw(kMaxWord) >> endWord >> std::setw(kMaxWord) >> spacingWord;
        if (is.fail())
            return fail("unhealthy cause 8", nullptr, degree);
        for (int k = 0; k < 3; ++k)
            if (sameWordIgnoringCase(endWord, kEndNames[k]))
                e = k;
        for (int k = 0; k < 2; ++k)
            if (sameWordIgnoringCase(spacingWord, kSpacingNames[k]))
                s = k;
        if (e < 0) {
            std::cerr << "end Conditions not implemented" << std::endl;
            text.p = degree;
            return false;
        }
        if (s < 0)
            return fail("unhealthy cause 8", &spacingWord, degree);
    }
    text.headerRead = true;
    text.p = degree;
    text.n = lastIndex;
    text.endCondition = static_cast<EndCondition>(e);
    text.spacing = static_cast<Spacing>(s);

    // Optional range line; any other word after the header stays in the stream.
    if (is.good())
        is >> std::ws;
    if (is.good() && is.peek() == '[') {
        is.get();
        is >> text.rangeMin >> std::ws;
        if (is.get() != ',')
            is.setstate(std::ios::failbit);
        is >> text.rangeMax >> std::ws;
        if (is.get() != ']')
            is.setstate(std::ios::failbit);
    }

    if (text.spacing == NonUniform) {
        // Each multiplicity must lie in 1 .. p + 1 (2 for degree 0, whose
        // clamped start knot is double) and the values must ascend; the pairs
        // must cover every position. They are gathered here and the store is
        // sized only when they are all there, so a header naming millions of
        // knots costs nothing unless the text holds them.
        const int needed = lastIndex + degree + 2;
        const int maxMult = std::max(degree + 1, 2);
        int covered = 0;
        double previous = -std::numeric_limits<double>::infinity();
        while (is.good() && covered < needed) {
            if (asWritten) {
                // The pair's line, read whole.
                is >> std::ws;
                const std::string line = restOfLine();
                const std::vector<std::string_view> fields = blankSeparatedFields(line);
                double v = 0.0;
                int m = 0;
                if (fields.size() != 2 || !parseNearestReal(fields[0], v) ||
                    !parseWholeField(fields[1], m) || m < 1 || m > maxMult ||
                    v < previous - kMergeTolerance || m > needed - covered) {
                    text.recordFailed = true;
                    return notAsWritten("a knot after " + std::to_string(covered) + " of the " +
                                            std::to_string(needed) +
                                            " its header declares and its multiplicity (1 to " +
                                            std::to_string(std::min(maxMult, needed - covered)) +
                                            "), in ascending order",
                                        line);
                }
                text.values.push_back(v);
                text.multiplicities.push_back(m);
                covered += m;
                previous = v;
                continue;
            }
            double v = 0.0;
            int m = 0;
            is >> v >> m;
            if (is.fail())
                break;
            // Multiplicities that add up past the header's count describe
            // another vector than the header's.
            if (m < 1 || m > maxMult || !std::isfinite(v) || v < previous - kMergeTolerance ||
                m > needed - covered) {
                text.recordFailed = true;
                break;
            }
            text.values.push_back(v);
            text.multiplicities.push_back(m);
            covered += m;
            previous = v;
        }
        if (covered < needed)
            text.recordFailed = true;
    }
    if (is.fail())
        text.recordFailed = true;
    return !text.recordFailed;
}

knots::knots(const KnotText& text)
{
    buildFromText(text);
}

void knots::buildFromText(const KnotText& text)
{
    // A header that was not read leaves a small empty vector: the counts it
    // names are not allocated, since nothing of what they describe was read.
    if (!text.headerRead) {
        setEmpty(0, text.p);
        return;
    }
    endCondition = text.endCondition;
    spacing = text.spacing;
    n = text.n;
    p = text.p;
    distinctCount = 0;
    const int needed = n + p + 2;

    if (spacing == Uniform) {
        // The short form: the header alone defines the knots, so only a count
        // whose store fits the budget is built.
        const long positions = long(needed) + (endCondition == CyclicEnd ? p : 0);
        if (positions * kBytesPerPosition > kUniformStoreBudget) {
            std::cout << "knot vector of " << positions << " positions too large." << std::endl;
            setEmpty(0, text.p);
            return;
        }
        buildUniform(n, p, 0.0, n - p + 1, endCondition);
    } else if (text.recordFailed) {
        setEmpty(0, p);
    } else {
        const int read = static_cast<int>(text.values.size());
        allocateStore(std::max(needed, read));
        allocateWork();
        distinctCount = read;
        for (int k = 0; k < distinctCount; ++k) {
            values[k] = text.values[k];
            multiplicities[k] = text.multiplicities[k];
        }
        if (endCondition == CyclicEnd) {
            n += p;
            resizeStore(n + p + 2);
        }
        rebuildMaps();
        checkHealth(1);
    }

    if (text.recordFailed) {
        std::cout << "unhealthy cause 9" << std::endl;
        isHealthy = false;
        return;
    }
    checkHealth(1);
    if (text.rangeMax - text.rangeMin >= 2.2e-15)
        range = Interval(text.rangeMin, text.rangeMax);
}

// ---------------------------------------------------------------------------
// Peak of a basis function

CBasisMax::CBasisMax(knots& k, int i, double* out)
    : CConjugateGradient(1, false), index(i), knotVector(&k)
{
    Vector x(1);
    x[0] = k.getGrevilleAbscissa(i);
    solve(x, 30, 0);
    double t = x[0];
    k.clampToRange(t);
    // The value at the point returned, not at the last trial of the search.
    Vector g(1);
    Vector none(1);
    x[0] = t;
    evaluate(0, g, x, 0.0, none);
    if (out != nullptr)
        *out = t;
}

double CBasisMax::evaluate(int mode, Vector& g, const Vector& x, double alpha, const Vector& p)
{
    knots& K = *knotVector;
    double t = x[0] + alpha * p[0];
    K.clampToRange(t);
    const int span = K.clampToKnots(t);
    int j = index - span + K.p;
    if (j < 0 && K.endCondition == knots::CyclicEnd)
        j += K.n - K.p + 1;
    if (j < 0 || j > K.p) {
        if (g.n > 0)
            g[0] = 0.0;
        lastValue = 1e10;
        return lastValue;
    }
    const Vector* D = K.basisDerivatives(span, 2, t);
    lastValue = 1.0 - D[0][j];
    if (g.n > 0)
        g[0] = mode == 1 ? -D[1][j] : 0.0;
    return lastValue;
}

// ---------------------------------------------------------------------------
// Free functions

bool rangesMatchWithin(const double a[2], const double b[2], double tol)
{
    return Interval(a[0] - tol, a[0] + tol).contains(b[0]) &&
           Interval(a[1] - tol, a[1] + tol).contains(b[1]);
}

double argMax(const Vector& v, int* index)
{
    if (v.n <= 0) {
        if (index != nullptr)
            *index = -1;
        return std::numeric_limits<double>::lowest();
    }
    int best = 0;
    for (int i = 1; i < v.n; ++i)
        if (v[i] > v[best])
            best = i;
    if (index != nullptr)
        *index = best;
    return v[best];
}
