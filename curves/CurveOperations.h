// Small operations shared by the curve algorithms, the net update, the
// surface fitting and the healing code: ordering and orienting curves into
// chains, choosing sample parameters along a curve (equal arc length,
// Greville abscissae, subdivision), derivative frames of a surface, and a few
// vector and record helpers.
//
// Ownership: curve lists and chains hold pointers they do not own; curves
// are changed in place only by orientCurvesConsistently (reversal).
// Thread-safety: every routine that measures or evaluates a curve overwrites
// that curve's derivative table (and its knot vectors' work arrays); one
// thread per curve. There is no process-wide state here.
#pragma once

#include "foundation/IndexSubset.h"
#include "foundation/KorArray.h"
#include "foundation/KorList.h"
#include "foundation/KorSet.h"
#include "foundation/Vector.h"

#include <cmath>
#include <memory>

class CParametricGeometry;
class CArcLengthParametrisation;
class knots;
namespace Fenwo {
class NurbsSurf;
}

// ---- Chaining and orientation ---------------------------------------------

// The curve's start (end) point, in its own reversal-aware parameters, into
// out; returns out. A null curve leaves out empty.
Vector& curveStartPoint(Vector& out, CParametricGeometry* curve);
Vector& curveEndPoint(Vector& out, CParametricGeometry* curve);

// Walks the curves in order and reverses curve i in u (invertDirection) when
// its unit chord (end - start) points against that of curve i - 1, taken
// after any reversal of i - 1, i.e. when their dot product is negative.
// Closed curves (zero chord) and null entries are never reversed; a null
// entry also breaks the comparison for the curve after it.
void orientCurvesConsistently(Kor::Array<Fenwo::NurbsSurf*>& curves);

// The position k in `candidates` of the curve whose start or end lies nearest
// to p among those strictly closer than tol; -1 when there is none (direction
// then untouched). direction receives 1 when the curve's start matched, -1
// when its end matched (a start wins a tie with its own end). Null
// candidates are skipped.
int nearestCurveEnd(const Vector& p, IndexSubset<CParametricGeometry*>& candidates, int& direction,
                    double tol);

// Chains the curves starting with curves[0] in firstDirection (1: run
// forwards, -1: backwards). Each further curve is the remaining one whose
// start or end is nearest (strictly within tol) to the chain's free end, with
// direction 1 when its start meets the chain and -1 when its end does.
// chain and directions are emptied first and receive the chained curves and
// their directions; order (when given) is emptied and receives the index in
// `curves` of each chained curve.
// Returns -1 when the input is empty or starts with a null curve, or when a
// curve cannot be attached (the outputs then hold the partial chain); 0 when
// every curve is chained and the chain's free end meets its free start
// within tol (a closed chain); 1 when every curve is chained but the chain
// stays open.
int buildCurveChain(const Kor::Array<CParametricGeometry*>& curves,
                    Kor::Array<CParametricGeometry*>& chain, Kor::List<int>& directions, double tol,
                    int firstDirection, Kor::List<int>* order = nullptr);

// ---- Parameter sampling ---------------------------------------------------

// Appends the parameters at the arc-length fractions i / (m + c), i = 0..m,
// with m = min(max(n, 1), nMax) but at least 1, c = 1 for a closed curve
// (isClosed) and 0 otherwise: a closed curve does not repeat its start.
// False (nothing appended) for a null curve or a curve whose length table
// cannot be built.
bool arcLengthParameters(CParametricGeometry* curve, int n, Kor::List<double>& out, int nMax);

// Appends the parameters at fractions i / n, i = 0..n, of the table's total
// length. True when any was appended; false (nothing appended) for n < 1 or
// an empty table.
bool sampleArcLengthParameters(int n, Kor::List<double>& out,
                               const CArcLengthParametrisation& table);

// Builds the arc-length table of the curve and samples it with
// sampleArcLengthParameters. False for a null curve or an empty table.
bool equalArcLengthParameters(CParametricGeometry* curve, int n, Kor::List<double>& out);

// Parameters of steps of about `step` along the curve: n = ceil(length / h),
// h = max(step, 1e-6) (an undefined step counts as 1e-6), n kept within
// 2 .. 10000, then sampleArcLengthParameters with n. False as there.
bool arcLengthSamples(CParametricGeometry* curve, double step, Kor::List<double>& out);

// Inserts k equally spaced values into every interval of the list:
// (j / (k + 1)) t(i) + (1 - j / (k + 1)) t(i - 1), j = 1..k. Returns the
// number inserted; 0 (list unchanged) for k <= 0 or fewer than two values.
int subdivideParameterList(Kor::List<double>& params, int k);

// Clears out, then fills it with the Greville abscissae of the curve's u
// knots that lie in [range[0], range[1]] (a range shorter than 2.2e-15
// takes those within 1.1e-15 of its start), ascending, the first replaced by
// range[0] and the last by range[1]; with fewer than two inside, out is
// (range[0], range[1]). Then subdivideParameterList with k. Returns the
// count of out; 0 (out empty) for a null curve or a curve without u knots.
int grevilleAbscissaeInInterval(Fenwo::NurbsSurf* curve, const double range[2],
                                Kor::List<double>& out, int k);

// ---- Geometry ---------------------------------------------------------------

// du := first u-derivative at (u, v) (geometry parameters). On a surface
// with more than one row of control points also dv := the first
// v-derivative and normal := unit (du x dv) (zero where du and dv are
// parallel or vanish); on a curve dv and normal are untouched.
// False (outputs untouched) for a null surface.
bool surfaceDerivativesAndNormal(Fenwo::NurbsSurf* surface, double u, double v, Vector& du,
                                 Vector& dv, Vector& normal);
// The same with du and dv replaced by their unit vectors (normalized: zero
// when shorter than 1e-9) before the cross product.
bool surfaceDerivativesAndNormalEx(Fenwo::NurbsSurf* surface, double u, double v, Vector& du,
                                   Vector& dv, Vector& normal);

// The angle from a to b turning about axis, in [0, 2 pi): a and b are first
// made orthogonal to the axis; the angle between them counts as positive
// turning when (a x b) . axis >= 0, else it is 2 pi minus that angle. A
// vector parallel to the axis (or zero) has no direction in the plane and
// gives pi / 2 (its cosine counts as 0).
double signedAngleAroundAxis(const Vector& a, const Vector& b, const Vector& axis);

// The p + 1 non-zero basis functions at t (clamped, or wrapped on a cyclic
// knot vector): the sum of those of control points with index <= i goes to
// below, the rest to above. Both 0 when the knots cannot be evaluated.
void basisPartialSums(knots& k, int i, double t, double& below, double& above);

// lengths := one entry per curve, its length (computeLength); 0 for a null
// entry.
void curveLengths(const Kor::List<Fenwo::NurbsSurf*>& curves, Vector& lengths);

// The best-fit plane of the surfaces' points at every pair of Greville
// abscissae (u_i, v_j) of each (a curve: of its u knots): centre and unit
// normal as fitPlane gives them. False when the points determine no plane
// (or there are none); centre is then the centroid, normal zero. Null
// entries are skipped.
bool fitPlaneToSurface(const Kor::Array<Fenwo::NurbsSurf*>& surfaces, Vector& centre,
                       Vector& normal);

// ---- Vector and record helpers -------------------------------------------

// A pair of vectors held by value.
struct VectorPair {
    Vector first;
    Vector second;
    VectorPair() = default;
    VectorPair(const Vector& a, const Vector& b) : first(a), second(b) {}
};

// rows x cols default Vectors in one array, row-major; no array for zero (or
// negative) rows or columns.
class VectorMatrix {
public:
    int rows = 0;
    int cols = 0;
    std::unique_ptr<Vector[]> data; // owned; null when empty

    VectorMatrix() = default;
    VectorMatrix(int rows, int cols);

    // Unchecked: 0 <= i < rows and 0 <= j < cols is the caller's guarantee.
    Vector& at(int i, int j) { return data[i * cols + j]; }
    const Vector& at(int i, int j) const { return data[i * cols + j]; }
    bool empty() const { return data == nullptr; }
};

// A new vector of src's entries from .. to (inclusive), the bounds clamped
// into src; empty when nothing is left.
Vector subVector(const Vector& src, int from, int to);

// Orders records by their second value: true when a.second < b.second.
template <class Record> bool compareBySecond(const Record& a, const Record& b)
{
    return a.second < b.second;
}

// Scans the knot records (anything with a double `value`) from the start:
// true with index = the position of the first whose value lies within 1e-8
// of value; false with index = the count otherwise. Null entries are skipped.
template <class Knot> bool findKnotValue(const Kor::Set<Knot>& set, double value, int& index)
{
    const int count = set.getCount();
    for (index = 0; index < count; ++index) {
        const Knot* k = set[index];
        if (k != nullptr && std::fabs(k->value - value) < 1e-8)
            return true;
    }
    index = count;
    return false;
}
