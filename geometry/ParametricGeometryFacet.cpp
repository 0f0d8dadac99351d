// CParametricGeometry::facetCurve: the parameter list of a curve whose chords
// keep within a chord tolerance.

#include "geometry/ParametricGeometry.h"

#include "foundation/Logging.h"
#include "geometry/ExactFacetPoint.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <vector>

namespace {

constexpr double kParameterEps = 2e-8; // parameters this close count as equal
constexpr double kMinStep = 5e-7;      // no step is shorter
constexpr double kTiny = 2.2e-16;
// A facet split by maxLength gets at most this many inserted parameters, so
// that a tiny maxLength cannot exhaust memory.
constexpr double kMaxInsertedPerFacet = 1e6;
// A span takes at most this many times maxFacets steps, and a call (with
// maxFacets > 0) spends at most its maxWork curve evaluations, a search of
// the variant counted as kVariantWork. Beyond either the tolerance is out of
// reach for the curve (each step is verified and halved up to 10 times,
// which alone would allow 1024 times maxFacets steps of up to 671
// evaluations), and the rest of the span is stepped at the span over
// maxFacets. A curve that reaches its tolerance in a few hundred chords
// takes well under half of either at the default work.
constexpr int kStepsPerFacetCap = 4;
constexpr long kVariantWork = 250;
// Points of the poly-line from which chordToleranceWithin estimates a
// curve's length and turning.
constexpr int kEstimateSamples = 64;

// Squared distance of p from the segment a-b.
double squaredDistanceFromSegment(const Vector& p, const Vector& a, const Vector& b)
{
    const Vector ab = b - a;
    const Vector ap = p - a;
    const double len2 = normSquared(ab);
    double s = len2 > 0.0 ? dot(ap, ab) / len2 : 0.0;
    s = std::clamp(s, 0.0, 1.0);
    return squaredDistance(p, a + s * ab);
}

// The span ends: the domain's ends and, unless ignored, the interior C0
// kinks, ascending and each once.
std::vector<double> spanEnds(const CParametricGeometry& curve, const Interval& domain,
                             bool ignoreKinks)
{
    std::vector<double> ends;
    ends.push_back(domain.min);
    Vector kinks;
    if (!ignoreKinks && curve.getUKinks(kinks)) {
        std::vector<double> inner;
        for (int i = 0; i < kinks.n; ++i)
            if (kinks[i] > domain.min && kinks[i] < domain.max)
                inner.push_back(kinks[i]);
        std::sort(inner.begin(), inner.end());
        for (double k : inner)
            if (k > ends.back())
                ends.push_back(k);
    }
    if (domain.max > ends.back() || ends.size() == 1)
        ends.push_back(domain.max);
    return ends;
}

} // namespace

int CParametricGeometry::facetCurve(Kor::List<double>& tList, double tol, bool verify,
                                    int maxFacets, bool variant, bool ignoreKinks, double maxLength,
                                    long maxWork)
{
    const Interval domain = getDomain(0);
    tList.removeAll();
    if (getLength() < 1e-12) {
        tList.append(domain.min);
        tList.append(domain.max);
        return 2;
    }

    const double tolSq = tol * tol;
    int nf = 0;    // step evaluations (derivatives at the step's start)
    int calls = 0; // every curve evaluation made here
    long variantWork = 0;
    const long workCap = maxFacets > 0 ? maxWork : 0;
    CExactFacetPoint exact;

    const std::vector<double> ends = spanEnds(*this, domain, ignoreKinks);
    for (std::size_t k = 1; k < ends.size(); ++k) {
        const double lo = std::min(ends[k - 1], ends[k]);
        const double hi = std::max(ends[k - 1], ends[k]);
        if (k == 1)
            tList.append(lo);
        double t = lo;
        const int stepCap = maxFacets > 0 ? kStepsPerFacetCap * maxFacets : 0;
        int steps = 0;
        while (std::fabs(t - hi) > kParameterEps) {
            if (stepCap > 0 && (++steps > stepCap || calls + variantWork > workCap)) {
                // The rest of the span in equal steps of about the span over
                // maxFacets, counted, so that a step lost in the rounding
                // of t cannot repeat without end.
                const double rest = std::ceil((hi - t) / (hi - lo) * maxFacets);
                const int count = static_cast<int>(std::clamp(rest, 1.0, double(maxFacets)));
                const double from = t;
                for (int j = 1; j < count; ++j)
                    tList.append(from + (hi - from) * j / count);
                tList.append(hi);
                break;
            }
            // a. Derivatives at the step's start.
            ++nf;
            ++calls;
            Vector** d = evaluate(2, t, 0.0);
            if (d == nullptr)
                break;
            const Vector start = d[0][0];
            const Vector d1 = d[1][0];
            const Vector d2 = d[2][0];
            const double speed = norm(d1);
            if (speed < kTiny)
                break;

            // b. Step from the curvature: the chord whose sagitta is about tol.
            // |C' x C''|^2 = |C'|^2 |C''|^2 - (C'.C'')^2 holds in any dimension.
            const double dd = dot(d1, d2);
            const double cross =
                std::sqrt(std::max(0.0, normSquared(d1) * normSquared(d2) - dd * dd));
            double kappa = cross / (speed * speed * speed);
            // A straight stretch is taken as an arc of radius 1 / kTiny, and
            // at tolerances above 1 of tol / kTiny: a radius fixed in length
            // units would cut a straight curve many orders of magnitude
            // larger than that into chords about tol long, as many as its
            // size over tol, however few pieces it is made of.
            kappa = std::max(kappa, kTiny / std::max(1.0, tol)); // NaN stays NaN
            double s = std::sqrt(tolSq + 2.0 * tol / kappa) / speed;
            if (!std::isfinite(s) || !std::isfinite(kappa))
                s = kMinStep;

            // c. Optional refinement of the chord's end.
            if (variant) {
                variantWork += kVariantWork;
                if (hi < t + 1.2 * s && hi - t <= s)
                    s = hi - t;
                double u =
                    exact.findMaxDeviation(this, t, std::min(t + 1.2 * s, hi), t + 0.5 * s, tol);
                if (exact.matched && u > t) {
                    s = u - t;
                } else {
                    u = exact.findMaxDeviation(this, t, std::min(t + 0.3 * s, hi), t + 0.15 * s,
                                               tol);
                    if (exact.matched && u > t)
                        s = u - t;
                }
            }

            // d. Limits of the step.
            s = std::max(s, kMinStep);
            if (maxFacets > 0)
                s = std::max(s, std::fabs(hi - lo) / maxFacets);
            s = std::min(s, hi - t);

            // e. Verification: halve the chord until the curve stays within tol
            // of it at the sample points.
            if (verify) {
                const int samples = std::isfinite(kappa) && std::fabs(kappa) < 0.001 ? 60 : 6;
                double k2 = 1.0;
                double lastSq = 0.0;
                for (int halvings = 0;; ++halvings) {
                    const double step = k2 * s;
                    ++calls;
                    const Vector end = getPoint(t + step, 0.0);
                    bool within = true;
                    for (int i = 1; i <= samples; ++i) {
                        ++calls;
                        const Vector q = getPoint(t + step * i / (samples + 1.0), 0.0);
                        lastSq = squaredDistanceFromSegment(q, start, end);
                        if (!(lastSq < tolSq)) {
                            within = false;
                            break;
                        }
                    }
                    if (within)
                        break;
                    if (halvings == 10) {
                        std::cout << "dTol=" << tol << "  not reached actTol=" << std::sqrt(lastSq)
                                  << std::endl;
                        break;
                    }
                    k2 *= 0.5;
                }
                s *= k2;
            }

            // f. Advance. A step lost in the rounding of a t far from zero
            // ends the span.
            const double previous = t;
            t += std::max(s, kMinStep);
            if (t >= hi - kParameterEps || !(t > previous)) {
                tList.append(hi);
                break;
            }
            tList.append(t);
        }
    }

    profileLog() << "facetCurve ends with tList.getCard()=" << tList.getCount() << " nf=" << nf
                 << '\n';

    // The list ends at the domain's end: appended when missing, and a last
    // parameter within 2e-8 of it (a span too short to step through) is
    // moved onto it.
    if (tList.getCount() == 0)
        tList.append(domain.min);
    if (tList.getCount() == 1 || domain.max - tList[tList.getCount() - 1] > kParameterEps)
        tList.append(domain.max);
    else
        tList[tList.getCount() - 1] = domain.max;

    if (maxLength > 0.0) {
        const int count = tList.getCount();
        std::vector<Vector> points;
        points.reserve(count);
        for (int i = 0; i < count; ++i) {
            ++calls;
            points.push_back(getPoint(tList[i], 0.0));
        }
        Kor::List<double> split;
        split.setCapacity(count, false);
        split.append(tList[0]);
        for (int i = 1; i < count; ++i) {
            const double length = std::sqrt(squaredDistance(points[i], points[i - 1]));
            if (length > maxLength) {
                const double inserted =
                    std::min(std::floor(length / maxLength), kMaxInsertedPerFacet);
                const int m = static_cast<int>(inserted);
                const double a = tList[i - 1];
                const double b = tList[i];
                for (int j = 1; j <= m; ++j) {
                    const double f = static_cast<double>(j) / (m + 1);
                    split.append((1.0 - f) * a + f * b);
                }
            }
            split.append(tList[i]);
        }
        tList = split;
    }

    const int count = tList.getCount();
    profileLog() << "#number functions calls in facetCurve=" << calls
                 << " for tList.getCard()=" << count << " dTol=" << tol << '\n';
    return count;
}

double chordToleranceWithin(CParametricGeometry& curve, double tol, int maxChords)
{
    if (maxChords <= 0)
        return tol;
    // Length from the chords, turning from the tangents at the same points:
    // the chords alone would miss a turn made within the first of them.
    const Interval domain = curve.getDomain(0);
    double length = 0.0, turning = 0.0;
    Vector previousPoint, previousTangent;
    for (int i = 0; i <= kEstimateSamples; ++i) {
        const double s = double(i) / kEstimateSamples;
        Vector** d = curve.evaluate(1, (1.0 - s) * domain.min + s * domain.max, 0.0);
        if (d == nullptr)
            return tol;
        const Vector& point = d[0][0];
        const Vector& tangent = d[1][0];
        if (i > 0)
            length += std::sqrt(squaredDistance(point, previousPoint));
        if (normSquared(tangent) > 0.0) {
            if (previousTangent.n > 0) {
                const double c = dot(tangent, previousTangent) /
                                 std::sqrt(normSquared(tangent) * normSquared(previousTangent));
                turning += std::acos(std::clamp(c, -1.0, 1.0));
            }
            previousTangent = tangent;
        }
        previousPoint = point;
    }
    // A chord c across an arc of radius r keeps within c^2 / (8 r) of it, so
    // a curve of length L turning by the angle T needs at most
    // sqrt(T L / (8 tol)) chords.
    const double demand = turning * length / 8.0;
    const double cap = double(maxChords) * maxChords;
    if (!std::isfinite(demand) || !(demand > tol * cap))
        return tol;
    return demand / cap;
}

void thinParameters(Kor::List<double>& tList, int count)
{
    const int n = tList.count;
    if (count < 2 || n <= count)
        return;
    Kor::List<double> thinned;
    thinned.setCapacity(count, false);
    for (int i = 0; i < count; ++i)
        thinned.append(tList[int(long(i) * (n - 1) / (count - 1))]);
    tList = thinned;
}
