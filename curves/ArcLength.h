// Arc length of curves: a sampled curve length and a table of (parameter,
// length) pairs from which the parameter at a given length, or at a given
// fraction of the whole length, is interpolated, and back.
//
// Curves are parametrised by their knots, not by length; algorithms that need
// equal steps along a curve build a CArcLengthParametrisation once and then
// look parameters up by binary search.
//
// Ownership: the table owns its pairs; the measured curve is never owned and
// must outlive the table only while build() runs (look-ups do not touch it).
// Thread-safety: building and sampling evaluate the curve (its derivative
// table is overwritten); one thread per curve. Look-ups are read-only.
#pragma once

#include <vector>

#include "foundation/KorList.h"
#include "foundation/KorSet.h"
#include "foundation/Vector.h"
#include "geometry/Interval.h"

class CParametricGeometry;

// One entry of the arc-length table: a curve parameter and the arc length
// from the curve's start to it.
class CLengthParameterPair {
public:
    double parameter = 0.0;
    double length = 0.0;

    CLengthParameterPair() = default;
    CLengthParameterPair(double parameter, double length) : parameter(parameter), length(length) {}
    CLengthParameterPair(const CLengthParameterPair&) = default;
    CLengthParameterPair& operator=(const CLengthParameterPair&) = default;
    virtual ~CLengthParameterPair() = default;
};

class CArcLengthParametrisation {
public:
    CParametricGeometry* curve = nullptr; // measured curve, not owned
    Kor::Set<CLengthParameterPair> table; // pairs in increasing length, owned
    double totalLength = 0.0;             // length at the last pair; 0 when empty

    // Measures the curve (build). A null curve gives an empty table.
    explicit CArcLengthParametrisation(CParametricGeometry* curve);
    // When lengths has exactly one entry fewer than parameters the table is
    // taken from them: (parameters[0], 0), then (parameters[i], running sum)
    // for every segment length lengths[i - 1] > 2.2e-16 (shorter, negative or
    // undefined segments add no pair). Otherwise the curve is measured.
    CArcLengthParametrisation(CParametricGeometry* curve, const Vector& lengths,
                              const Kor::List<double>& parameters);
    CArcLengthParametrisation(const CArcLengthParametrisation&) = delete;
    CArcLengthParametrisation& operator=(const CArcLengthParametrisation&) = delete;
    virtual ~CArcLengthParametrisation();

    // Rebuilds the table from the curve: facet parameters (chord tolerance
    // 0.01, at most 2000 steps; 4 uniform parameters when faceting fails),
    // each interval halved, then sub-steps of about 2.5 % of the curve's
    // length. Leaves an empty table for a null curve, and prints
    // "Error second level, even nFacetCurve 3 failed." when not even uniform
    // parameters can be had.
    void build();

    double getTotalLength() const { return totalLength; }
    // False when the table has no pair (the look-ups then answer 0).
    bool isEmpty() const { return table.getCount() == 0; }
    int getPairCount() const { return table.getCount(); }
    const CLengthParameterPair& getPair(int i) const { return *table[i]; }

    // The parameter at arc length L: the first parameter below the first
    // length (and for an undefined L), the last one beyond the last length,
    // linear between the two pairs around L otherwise. 0 on an empty table.
    double parameterAtLength(double L) const;
    // parameterAtLength of s x total length, s clamped to [0, 1] (an
    // undefined s counts as 0).
    double getParameter(double s) const;
    // The fraction of the total length at curve parameter t: 0 at or before
    // the first parameter, 1 at or after the last one, linear in between.
    // 0 on an empty table.
    double interpolateTable(double t) const;

private:
    // Appends (t, length) and makes it the total; a length that does not grow
    // the table (equal after rounding) adds nothing.
    void appendPair(double t, double length);
};

// Length of a curve from n uniform parameter steps over its u domain: the
// sum of the chords (hermite false), or of the lengths of cubic Hermite
// segments through the sample points and unit tangents (hermite true), which
// follows the bending between samples. 0 for a null curve or n < 1; steps
// whose length is undefined add nothing. A curve of more than three
// coordinates is measured by chords.
double sampledCurveLength(CParametricGeometry* curve, int n, bool hermite);

// Appends n + 1 equally spaced parameters of the geometry's u domain to out
// and returns n; 0 with nothing appended for n < 1 or a null geometry.
int sampleDomainUniform(CParametricGeometry* geometry, Kor::List<double>& out, int n);

// Appends to out, ascending, range.min, the curve's u breakpoints strictly
// inside the range and range.max, with `refine` equally spaced values
// inserted between every two of them. Returns the number appended; 0 for a
// null curve.
int breakpointsInInterval(CParametricGeometry* curve, const Interval& range, Kor::List<double>& out,
                          int refine);

// Arc length of the curve between the parameters a and b (in either order):
// the curve's sample parameters refined five-fold (and three-fold more when
// fewer than 10 result) split [min(a, b), max(a, b)], and each piece is
// measured by the 5-point Gauss-Legendre rule. 0 for a = b.
double curveLengthBetween(CParametricGeometry& curve, double a, double b);
// The arc lengths between consecutive parameters of at (ascending): entry i
// is curveLengthBetween(curve, at[i], at[i + 1]), to the last bit, with the
// curve's sample parameters taken once for all stretches (a curve with a
// control point per entry would otherwise cost the square of its entries).
// Empty for fewer than two parameters.
std::vector<double> curveLengthsBetween(CParametricGeometry& curve, const std::vector<double>& at);
