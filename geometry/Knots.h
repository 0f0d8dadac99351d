// B-spline knot vector of every curve and surface direction.
//
// `knots` stores its knots compactly: the distinct values ascending with their
// multiplicities, plus two index maps (knot position -> distinct knot, and the
// running sums of the multiplicities), so that the value of a position is two
// array reads and the span search is a binary search over the distinct values.
// There are n + p + 2 knot positions; the active domain runs from the value of
// position p (`t0`) to the value of position n + 1 (`t1`). A `CyclicEnd`
// vector counts the p wrapped control points in n and keeps a periodic tail.
//
// Every constructor and modifier ends in the health test `checkHealth`, which
// merges knots closer than 5e-9, folds a simple first and last knot into their
// neighbours, rebuilds the maps and sets `isHealthy` false (for good) when a
// multiplicity is too high or the domain is empty. Unhealthy vectors can still
// be evaluated; the text writer refuses them.
//
// Ownership: a knot vector owns its store and its evaluation work arrays.
// `basisFunctions`, `basisDerivatives` and `basisKnotDerivatives` return
// references into those arrays, which the next call overwrites.
// Thread-safety: evaluation writes into the object, so a knot vector is used by
// one thread at a time; there is no shared state between vectors.
#pragma once

#include "foundation/ConjugateGradient.h"
#include "foundation/KorArray.h"
#include "foundation/KorList.h"
#include "foundation/Vector.h"
#include "geometry/Interval.h"

#include <iosfwd>
#include <type_traits>
#include <vector>

// Sensitivity of the basis to the knots, the result of
// `knots::basisKnotDerivatives`: entry (j, r, m) is the change of the r-th
// derivative (r = 0..2) of local basis function j (0..p) per unit change of the
// knot at position span - p + m (m = 0..2p + 1).
struct KnotDerivativeTable {
    int basisCount = 0; // p + 1
    int orderCount = 3; // derivative orders 0, 1, 2
    int knotCount = 0;  // 2p + 2
    std::vector<double> entries;

    double operator()(int j, int r, int m) const
    {
        return entries[(j * orderCount + r) * knotCount + m];
    }
    double& operator()(int j, int r, int m)
    {
        return entries[(j * orderCount + r) * knotCount + m];
    }
};

struct KnotText;

class knots {
public:
    enum EndCondition : int { ClampedEnd = 0, OpenEnd = 1, CyclicEnd = 2 };
    enum Spacing : int { Uniform = 0, NonUniform = 1 };

    // ---- Data model ---------------------------------------------------------
    bool isHealthy = true; // cleared by the health test or the reader, never set back
    double t0 = 0.0;       // value of position p
    double t1 = 0.0;       // value of position n + 1
    Interval range;        // parameter range the owning geometry reports
    EndCondition endCondition = ClampedEnd;
    Spacing spacing = Uniform;
    int n = 0;               // last control-point index (CyclicEnd: includes the p wrapped ones)
    int p = 0;               // degree
    int distinctCount = 0;   // distinct knot values in use
    IntArray multiplicities; // per distinct knot
    IntArray positionToDistinct;       // per position 0 .. n + p + 1
    IntArray cumulativeMultiplicities; // entry k: positions covered by distinct knots 0 .. k
    Vector values;                     // distinct values, ascending; first distinctCount in use
    // 1 once the vector was re-parametrised to the arc length of its surface
    // (the arc-length re-parametrisation, the face approximation's result);
    // 0 otherwise. Copied with the vector; not part of its text form.
    int reparametrized = 0;

    // ---- Construction -------------------------------------------------------
    // Uniform knots on [t0, t1]. ClampedEnd: t0 and t1 with multiplicity p + 1
    // (t0 at least 2). OpenEnd: every position its own knot. CyclicEnd: the
    // open knots made periodic; n grows by p. Another end condition prints
    // "end Conditions not implemented" on the error stream and gives an
    // unhealthy vector without knots, as do negative n or p.
    knots(int n, int p, double t0, double t1, EndCondition e = ClampedEnd, Spacing s = Uniform);
    // NonUniform, every value its own knot, n = count - p - 2. Cyclic: only the
    // first count - p values are used; the tail follows from the period.
    // A null array or too few values give an unhealthy vector without knots.
    // (A template only so that a literal 0 as first argument, as in
    // knots(0, 0, 0, 1), selects the uniform constructor.)
    template <class T, class = std::enable_if_t<std::is_same_v<T, double>>>
    knots(const T* values, int count, int p, bool cyclic)
    {
        buildFromArray(values, count, p, cyclic);
    }
    // ClampedEnd, NonUniform. n + p + 2 values give the positions directly; at
    // least n + p values give positions 1 .. n + p, the outer two repeating the
    // first and the (n + p)-th value. Fewer values give an unhealthy vector
    // without knots.
    knots(const Kor::List<double>& values, int n, int p);
    knots(const Vector& values, int n, int p);
    // A healthy source is copied; an unhealthy one gives an unhealthy vector
    // with p = n = 3 and no knots.
    knots(const knots& other);
    knots& operator=(const knots& other);
    // Reads the text form written by `write`. A fault prints its
    // "unhealthy cause" message on standard output and leaves an unhealthy
    // vector; the stream stays where reading stopped.
    explicit knots(std::istream& is);
    // Builds the vector a text holds (`readText`). The uniform short form
    // names its knot count in the header alone; a count whose store would
    // exceed 16 MB is refused with the line "knot vector of N positions too
    // large." and gives an unhealthy vector without knots.
    explicit knots(const KnotText& text);
    // Reads one vector's text; a header fault prints its "unhealthy cause"
    // message on standard output. False when the record is unusable (the
    // vector built from it is unhealthy). While the stream carries a
    // GeoTextAsWritten, the header and each knot pair are read as whole
    // lines as the writer writes them, and a line of another form is
    // refused (its cause reported, its line end left in the stream).
    static bool readText(std::istream& is, KnotText& text);
    virtual ~knots();

    // Pointer to the value of position i (clamped into 0 .. n + p + 1).
    virtual double* knotAt(int i);
    const double* knotAt(int i) const;
    // Value of position i, unchecked: 0 <= i <= n + p + 1.
    double valueAt(int i) const { return values.data[positionToDistinct.data[i]]; }

    // ---- Queries ------------------------------------------------------------
    // n + 1, less p on a CyclicEnd vector.
    int getControlPointCount() const;
    // Ordered values of positions p and n + 1.
    Interval getDomain() const;
    // Multiplicity of the distinct knot of position i (0 outside the positions).
    int getMultiplicityAt(int i) const;
    // Multiplicity of the knot `findKnot` finds for t, 0 when none.
    int getMultiplicity(double t) const;
    // Index of the first distinct knot strictly within 1e-8 of t, -1 when none.
    int findKnot(double t) const;
    // Stores multiplicity and value of distinct knot k (ignored outside the store).
    void setDistinctKnot(int k, int mult, double value);
    // Sets the distinct value of position i; a change makes the vector NonUniform.
    void setKnotValue(int i, double value);
    // Position in p .. n + 1 (1 .. n + 1 when CyclicEnd) whose value is nearest
    // to t; ties go to the lower position.
    int findNearestKnot(double t) const;
    // Index k of the distinct interval [values[k], values[k+1]] holding t; at
    // the end of the domain the last interval of the domain.
    int findKnotInterval(double t) const;
    // Clamps t into [t0, t1], or wraps it into the period on a CyclicEnd vector.
    void clampToRange(double& t) const;
    // Clamps (wraps) t and returns its span: the last position i with
    // value(i) <= t < value(i + 1); at the end of the domain the last
    // non-empty span.
    int clampToKnots(double& t) const;
    // The same with a search hint: the distinct-knot index found by a previous
    // call (any value is safe). The hint and an interpolated guess are tried
    // before the bisection; the result is the same, and hint receives the index
    // found. Callers that keep their own hint stay free of shared state.
    int clampToKnots(double& t, int& hint) const;
    // Interval k of the unrolled knots (see getUnrolledKnot); returns isHealthy.
    bool getKnotInterval(int k, Interval& out) const;
    // Value of position 1 continued by the lengths of knot intervals 0 .. i - 2;
    // keeps growing past the period on a cyclic vector.
    double getUnrolledKnot(int i) const;
    // Mean of the values of positions i + 1 .. i + p (0 for degree 0), wrapped
    // on a cyclic vector; t0 for i < 0, t1 for i at or beyond the count.
    double getGrevilleAbscissa(int i) const;
    // All abscissae (not wrapped); a cyclic vector appends the first one wrapped.
    void getGrevilleAbscissae(Vector& out) const;
    // Parameter of the peak of basis function i into *t (when not null);
    // returns 1 - the peak value.
    double getBasisMaximum(int i, double* t);
    // Peak parameters of every basis function (out[0] = t0 when n = 0).
    void getBasisMaxima(Vector& out);
    // Distinct values of positions p .. n + 1 (p .. n on a cyclic vector with
    // mode 2), ascending, each once.
    void getBreakpoints(Vector& out, int mode) const;
    // Range ends plus every distinct value inside the range of multiplicity at
    // least p, ascending, each once; true when there are interior kinks.
    bool getKinks(Vector& out) const;
    // Appends to out the pieces between knots of multiplicity >= p - 1 (C1)
    // or >= p (C0); always true.
    bool splitAtC1Breaks(Kor::List<Kor::List<double>>& out) const;
    bool splitAtC0Breaks(Kor::List<Kor::List<double>>& out) const;
    // Number of positions p + 1 .. n whose knot is simple.
    int countSimpleInteriorKnots() const;
    // True when `range` and `getDomain` differ by more than 4.4e-16.
    bool rangeDiffersFromKnots() const;

    // ---- Evaluation (no allocation; results overwritten by the next call) ---
    // The p + 1 basis functions span - p .. span at t (t clamped into [t0, t1]).
    const Vector& basisFunctions(int span, double t);
    // Rows r = 0 .. order of the r-th derivatives of basis functions
    // span - p .. span at t. Rows beyond p are zero; rows 0 .. max(p, 3) exist.
    const Vector* basisDerivatives(int span, int order, double t);
    // Flat form: rows r = 0 .. order (order clamped into 0 .. p) of the same
    // derivatives, row r at out + r (p + 1); order 0 computes no derivative
    // row. Degrees 1 to 3 run with the degree known at compile time and no
    // division in the derivative rows. Writes nothing else; returns the order
    // used.
    int basisDerivativesInto(int span, int order, double t, double* out);
    // Number of rows of the table basisDerivatives returns.
    int derivativeRowCount() const { return static_cast<int>(derivativeRows.size()); }
    // One-sided derivatives of order `order` at the knot of position i:
    // right from span i, left from span i - multiplicity.
    void getBasisDerivativesAtKnot(int i, int order, Vector& left, Vector& right);
    // Forward-difference sensitivity of the basis (orders 0..2) to the
    // interior knots near t; span receives the span of t (t clamped).
    const KnotDerivativeTable& basisKnotDerivatives(double t, int& span);

    // ---- Modification ---------------------------------------------------------
    // Health test and repair (see the file comment); rebuild is nonzero except
    // in the test's own second pass. Returns isHealthy.
    bool checkHealth(int rebuild);
    // Inserts t count times (count <= 0: nothing); an existing knot never
    // exceeds multiplicity p. Every modifier ends in the health test except
    // shift, rescale and the non-cyclic invert, which keep the maps themselves.
    void insertKnot(double t, int count);
    // Lowers the multiplicity of distinct knot k by count (at most its
    // multiplicity), removing it when nothing is left. A k outside the
    // distinct knots, count <= 0, or a removal that would make n negative
    // changes nothing.
    void removeKnot(int k, int count);
    // Raises p by one and every knot of the domain by one multiplicity.
    void elevateDegree();
    // Mirrors the knots (reverses the parameter direction).
    void invert();
    // Moves every knot and the range by d.
    void shift(double d);
    // Maps the domain affinely onto [a, b].
    void rescale(double a, double b);

    // ---- Text -----------------------------------------------------------------
    // Writes the text form at the stream's precision. An unhealthy vector
    // prints two "Uh, Oh" lines on standard output and writes nothing. A
    // CyclicEnd vector is written as it reads back (its periodic tail
    // rebuilt from the knots printed), so that its text read and written
    // again is the same text.
    static std::ostream& write(std::ostream& os, const knots& k);

private:
    // The text form of the vector's knots as they stand.
    static std::ostream& writeAsItStands(std::ostream& os, const knots& k);
    void setEmpty(int n, int p);
    bool buildUniform(int n, int p, double a, double b, EndCondition e);
    void buildFromPositions(const double* positionValues, int count);
    void buildFromList(const double* data, int size, int n, int p);
    void buildFromArray(const double* values, int count, int p, bool cyclic);
    void resizeStore(int positions);
    // Fresh zeroed index arrays and values for the given number of positions.
    void allocateStore(int positions);
    void allocateWork();
    void rebuildMaps();
    void rebuildCyclicTail();
    void recomputeCyclicStart();
    double positionValue(int i) const;
    bool evaluableSpan(int span, int& i) const;
    int lastKnotAtOrBelow(int lo, int hi, double t) const
    {
        // Largest k in lo .. hi with values[k] <= t (lo when there is none),
        // by a bisection without data-dependent branches.
        const double* v = values.data;
        int base = lo;
        int length = hi - lo + 1;
        while (length > 1) {
            const int half = length / 2;
            base = (v[base + half] <= t) ? base + half : base;
            length -= half;
        }
        return base;
    }
    void buildFromText(const KnotText& text);
    void splitAtBreaks(Kor::List<Kor::List<double>>& out, int minMult) const;

    // Evaluation work arrays, sized by p.
    std::vector<double> left, right;    // p + 1 each
    Vector basis;                       // p + 1: result of basisFunctions
    std::vector<double> nduTable;       // (p + 1) x (p + 1)
    std::vector<double> aTable;         // 2 x (p + 1)
    std::vector<Vector> derivativeRows; // max(p + 1, 4) rows of p + 1
    std::vector<double> flatRows;       // (p + 1) x (p + 1): basisDerivativesInto's rows
    std::vector<Vector> savedRows;      // three rows kept by basisKnotDerivatives
    KnotDerivativeTable knotDerivativeTable;
};

inline int knots::clampToKnots(double& t, int& hint) const
{
    if (endCondition == CyclicEnd) {
        clampToRange(t);
    } else {
        const double lo = valueAt(p);
        const double hi = valueAt(n + 1);
        if (t < lo)
            t = lo;
        else if (t > hi)
            t = hi;
    }
    // The distinct knot starting the interval that holds t, searched among
    // the knots of the domain: the largest k in lo .. hi with values[k] <= t.
    // Tried first: the hint, then the index that linear interpolation
    // between the domain ends predicts (exact on uniform knots) and its
    // neighbour; on ascending values the test below accepts only the one k
    // the bisection would find, so the result is the same.
    const int lo = positionToDistinct.data[p];
    const int hi = positionToDistinct.data[n + 1];
    const double* v = values.data;
    // Whether k, moved into lo .. hi, starts the interval of t; evaluated
    // without short-circuit branches, so that a miss costs no misprediction.
    auto holds = [&](int& k) {
        k = k < lo ? lo : (k > hi ? hi : k);
        const double next = v[k < hi ? k + 1 : hi];
        return (v[k] <= t) & ((k == hi) | (t < next));
    };
    int mid = hint;
    if (lo >= hi) {
        mid = lo;
    } else if (!holds(mid)) {
        const double width = v[hi] - v[lo];
        const double guess = width > 0.0 ? (t - v[lo]) / width * (hi - lo) : 0.0;
        // Only a finite guess inside the domain's knots is tried, then the
        // neighbour on the side of t.
        mid = guess >= 0.0 && guess <= hi - lo ? lo + static_cast<int>(guess) : lo;
        if (!holds(mid)) {
            mid += v[mid] <= t ? 1 : -1;
            if (!holds(mid))
                mid = lastKnotAtOrBelow(lo, hi, t);
        }
    }
    hint = mid;
    int span = cumulativeMultiplicities.data[mid] - 1;
    // At the end of the domain the knot found starts no span of the domain:
    // take the last position of the knot before it.
    if (span > n)
        span -= multiplicities.data[mid];
    return span > 0 ? span : 0;
}

// What the text form of one knot vector holds, read without building the
// knots: the header, the optional range line and, for NonUniform spacing, the
// value and multiplicity pairs. A reader of several vectors (the surface
// text) reads all of their texts first, so that the counts their headers
// name are checked together before any store is allocated.
struct KnotText {
    bool headerRead = false;   // false: a header fault was reported, nothing follows
    bool recordFailed = false; // the stream failed or a pair was out of order
    int p = 0;
    int n = 0; // as written: a CyclicEnd vector's n without its p wrapped points
    knots::EndCondition endCondition = knots::ClampedEnd;
    knots::Spacing spacing = knots::Uniform;
    double rangeMin = 0.0;
    double rangeMax = 0.0;
    std::vector<double> values;      // NonUniform: the distinct values read
    std::vector<int> multiplicities; // and their multiplicities
    // The control-point count the header names (n + 1 for every end
    // condition), 0 when the header was not read.
    long controlPointCount() const { return headerRead ? long(n) + 1 : 0; }
};

// Peak of one basis function: minimises 1 - N_i(t) from the Greville abscissa.
class CBasisMax : public CConjugateGradient {
public:
    // Runs the minimisation (at most 30 iterations) and writes the peak
    // parameter, wrapped into the range, to *out (when not null).
    CBasisMax(knots& k, int index, double* out);

    double evaluate(int mode, Vector& g, const Vector& x, double alpha, const Vector& p) override;

    int index;               // the basis function
    knots* knotVector;       // not owned
    double lastValue = 1e10; // last objective value, 1 - N_i(t)
};

// True when b[0] lies in [a[0] - tol, a[0] + tol] and b[1] in
// [a[1] - tol, a[1] + tol] by the containment rule of Interval (a band
// narrower than 2.2e-15 accepts values within 1.1e-15 of its lower end).
bool rangesMatchWithin(const double a[2], const double b[2], double tol);

// Largest entry of v; *index (when not null) receives its first position.
// An empty vector gives the lowest double and index -1.
double argMax(const Vector& v, int* index);
