#include "curves/ArcLength.h"

#include "curves/SubCurves.h"
#include "geometry/Interval.h"
#include "geometry/NumericRoutines.h"
#include "geometry/NurbsSurf.h"
#include "geometry/ParametricGeometry.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>
#include <vector>

namespace {

constexpr double kMinSegment = 2.2e-16; // shorter steps add no pair
constexpr double kStepShare = 0.025;    // table sub-step as a share of the length
constexpr double kFallbackStep = 0.001; // sub-step of a curve whose length is unknown
constexpr int kMaxSubSteps = 100000;    // per facet interval, against a runaway ratio
constexpr double kHermiteFactor0 = 0.353552;
constexpr double kHermiteFactor1 = 0.35355;

bool lengthLess(const CLengthParameterPair* a, const CLengthParameterPair* b)
{
    return a->length < b->length;
}

double distance(const Vector& a, const Vector& b)
{
    return std::sqrt(squaredDistance(a, b));
}

// The first three coordinates of v, missing ones 0 (Hermite segments are
// built in space).
Vector toSpace(const Vector& v)
{
    Vector out(3);
    for (int k = 0; k < std::min(3, v.size()); ++k)
        out[k] = v[k];
    return out;
}

double lerpParameter(double a, double b, double s)
{
    return (1.0 - s) * a + s * b;
}

} // namespace

// ---- Sampled length ----------------------------------------------------------------

double sampledCurveLength(CParametricGeometry* curve, int n, bool hermite)
{
    if (curve == nullptr || n < 1)
        return 0.0;
    if (curve->getDimension() > 3)
        hermite = false;
    const Interval d = curve->getDomain(0);
    double length = 0.0;
    Vector previous = curve->getPoint(d.min, 0.0);
    Vector previousTangent;
    if (hermite)
        previousTangent = normalized(toSpace(curve->getTangent(d.min)));
    for (int i = 1; i <= n; ++i) {
        const double t = lerpParameter(d.min, d.max, static_cast<double>(i) / n);
        Vector p = curve->getPoint(t, 0.0);
        double step = 0.0;
        if (hermite) {
            Vector tangent = normalized(toSpace(curve->getTangent(t)));
            std::unique_ptr<Fenwo::NurbsSurf> segment(
                hermiteSegment(toSpace(previous), previousTangent, toSpace(p), tangent, 3,
                               kHermiteFactor0, kHermiteFactor1));
            step = segment != nullptr ? segment->getLength() : distance(p, previous);
            previousTangent = std::move(tangent);
        } else {
            step = distance(p, previous);
        }
        if (std::isfinite(step))
            length += step;
        previous = std::move(p);
    }
    return length;
}

int sampleDomainUniform(CParametricGeometry* geometry, Kor::List<double>& out, int n)
{
    if (geometry == nullptr || n < 1)
        return 0;
    const Interval d = geometry->getDomain(0);
    for (int i = 0; i <= n; ++i)
        out.append(lerpParameter(d.min, d.max, static_cast<double>(i) / n));
    return n;
}

int breakpointsInInterval(CParametricGeometry* curve, const Interval& range, Kor::List<double>& out,
                          int refine)
{
    if (curve == nullptr)
        return 0;
    Kor::List<double> breaks;
    curve->getUBreakpoints(breaks, false);
    std::vector<double> inside;
    for (const double t : breaks)
        if (t > range.min && t < range.max)
            inside.push_back(t);
    std::sort(inside.begin(), inside.end());
    Vector ends(static_cast<int>(inside.size()) + 2);
    ends[0] = range.min;
    std::copy(inside.begin(), inside.end(), ends.data + 1);
    ends[ends.n - 1] = range.max;
    const Vector values = refineValues(ends, std::max(refine, 0));
    for (int i = 0; i < values.n; ++i)
        out.append(values[i]);
    return values.n;
}

// ---- Arc-length table ----------------------------------------------------------------

CArcLengthParametrisation::CArcLengthParametrisation(CParametricGeometry* curve) : curve(curve)
{
    build();
}

CArcLengthParametrisation::CArcLengthParametrisation(CParametricGeometry* curve,
                                                     const Vector& lengths,
                                                     const Kor::List<double>& parameters)
    : curve(curve)
{
    const int n = parameters.getCount();
    if (n < 1 || lengths.size() != n - 1) {
        build();
        return;
    }
    table.removeAll(false, true);
    totalLength = 0.0;
    appendPair(parameters[0], 0.0);
    double sum = 0.0;
    for (int i = 1; i < n; ++i) {
        // Negative and undefined lengths fail this test as well.
        if (lengths[i - 1] > kMinSegment) {
            sum += lengths[i - 1];
            appendPair(parameters[i], sum);
        }
    }
}

CArcLengthParametrisation::~CArcLengthParametrisation()
{
    table.removeAll(false, true);
}

void CArcLengthParametrisation::appendPair(double t, double length)
{
    const int count = table.getCount();
    if (count > 0 && !(length > table[count - 1]->length))
        return;
    table.insertAt(new CLengthParameterPair(t, length), count - 1);
    totalLength = length;
}

void CArcLengthParametrisation::build()
{
    table.removeAll(false, true);
    totalLength = 0.0;
    if (curve == nullptr)
        return;

    Kor::List<double> params;
    curve->facetCurve(params, 0.01, true, 2000, false, false, -1.0);
    if (params.getCount() < 2) {
        params.removeAll();
        sampleDomainUniform(curve, params, 3);
        if (params.getCount() < 2) {
            std::cout << "Error second level, even nFacetCurve 3 failed." << std::endl;
            return;
        }
    }

    // Halve every interval once, so that an interval whose ends meet (a
    // closed curve faceted to its two ends) still gets measured.
    Kor::List<double> refined;
    refined.setCapacity(2 * params.getCount(), false);
    refined.append(params[0]);
    for (int k = 1; k < params.getCount(); ++k) {
        refined.append(0.5 * (params[k - 1] + params[k]));
        refined.append(params[k]);
    }

    // Sub-steps of a share of the curve's own length, so that short curves
    // are measured as finely as long ones. A length that cannot be had
    // (zero, undefined) falls back to a fixed step.
    double step = kStepShare * sampledCurveLength(curve, 100, true);
    if (!(step > 0.0) || !std::isfinite(step))
        step = kFallbackStep;

    appendPair(refined[0], 0.0);
    double total = 0.0;
    double pending = 0.0; // length of sub-steps too short to make a pair yet
    Vector previous = curve->getPoint(refined[0], 0.0);
    for (int k = 1; k < refined.getCount(); ++k) {
        const double t0 = refined[k - 1];
        const double t1 = refined[k];
        const double ratio = distance(curve->getPoint(t1, 0.0), curve->getPoint(t0, 0.0)) / step;
        // At least one sub-step: an interval whose ends meet still has length.
        int m = 1;
        if (std::isfinite(ratio) && ratio > 1.0)
            m = static_cast<int>(std::min(std::ceil(ratio), static_cast<double>(kMaxSubSteps)));
        for (int j = 1; j <= m; ++j) {
            const double t = lerpParameter(t0, t1, static_cast<double>(j) / m);
            Vector p = curve->getPoint(t, 0.0);
            const double d = distance(p, previous);
            if (!std::isfinite(d))
                continue; // an undefined point is not a place to measure from
            previous = std::move(p);
            pending += d;
            // Short sub-steps are carried to the next pair instead of lost.
            if (pending > kMinSegment && total + pending > total) {
                total += pending;
                pending = 0.0;
                appendPair(t, total);
            }
        }
    }
}

double CArcLengthParametrisation::parameterAtLength(double L) const
{
    const int count = table.getCount();
    if (count == 0)
        return 0.0;
    if (std::isnan(L))
        return table[0]->parameter;
    const CLengthParameterPair key(0.0, L);
    int k = -1;
    table.find(&key, k, lengthLess);
    if (k < 0)
        return table[0]->parameter;
    if (k >= count - 1)
        return table[count - 1]->parameter;
    const CLengthParameterPair& a = *table[k];
    const CLengthParameterPair& b = *table[k + 1];
    const double w = (b.length - L) / (b.length - a.length);
    return w * a.parameter + (1.0 - w) * b.parameter;
}

double CArcLengthParametrisation::getParameter(double s) const
{
    if (!(s > 0.0))
        s = 0.0;
    else if (s > 1.0)
        s = 1.0;
    return parameterAtLength(s * totalLength);
}

double CArcLengthParametrisation::interpolateTable(double t) const
{
    const int count = table.getCount();
    if (count == 0 || std::isnan(t))
        return 0.0;
    if (t <= table[0]->parameter)
        return 0.0;
    if (t >= table[count - 1]->parameter)
        return 1.0;
    for (int k = 1; k < count; ++k) {
        const CLengthParameterPair& a = *table[k - 1];
        const CLengthParameterPair& b = *table[k];
        if (a.parameter <= t && t <= b.parameter) {
            const double w = (b.parameter - t) / (b.parameter - a.parameter);
            return (w * a.length + (1.0 - w) * b.length) / totalLength;
        }
    }
    // Only a table given with unordered parameters gets here.
    return 1.0;
}

namespace {

// The parameters that cut a curve's stretches for measuring: its sample
// parameters refined five-fold (three-fold more when fewer than 10 result).
Vector lengthSamples(CParametricGeometry& curve)
{
    Vector samples;
    curve.getUSampleParameters(samples);
    samples = refineValues(samples, 5);
    if (samples.n < 10)
        samples = refineValues(samples, 3);
    return samples;
}

// The length of [a, b] cut by the samples from `from` on that the range
// holds (Interval::contains); the samples ascend, so the scan ends past the
// range's end and the rounding step contains allows there.
double lengthBetween(CParametricGeometry& curve, const Vector& samples, int from, double a,
                     double b)
{
    const Interval range(a, b);
    Kor::List<double> cuts;
    cuts.append(range.min);
    for (int i = from; i < samples.n; ++i)
        if (range.contains(samples[i]))
            cuts.append(samples[i]);
        else if (samples[i] > range.max + 1.1e-15)
            break;
    cuts.append(range.max);
    double length = 0.0;
    for (int k = 1; k < cuts.count; ++k)
        length += gaussLegendreLength(curve, cuts[k - 1], cuts[k], 5);
    return length;
}

} // namespace

double curveLengthBetween(CParametricGeometry& curve, double a, double b)
{
    return lengthBetween(curve, lengthSamples(curve), 0, a, b);
}

std::vector<double> curveLengthsBetween(CParametricGeometry& curve, const std::vector<double>& at)
{
    std::vector<double> lengths;
    if (at.size() < 2)
        return lengths;
    const Vector samples = lengthSamples(curve);
    int from = 0;
    for (std::size_t i = 0; i + 1 < at.size(); ++i) {
        // Samples below the stretch's start (less a rounding step) lie in
        // no later stretch either.
        const double start = std::min(at[i], at[i + 1]);
        while (from < samples.n && samples[from] < start - 2.2e-15 * (1.0 + std::fabs(start)))
            ++from;
        lengths.push_back(lengthBetween(curve, samples, from, at[i], at[i + 1]));
    }
    return lengths;
}
