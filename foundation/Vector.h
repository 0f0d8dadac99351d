// Dense vector of doubles and its free operations.
//
// `Vector` carries points, parameters, normals, right-hand sides and the
// unknowns of every solver. It owns one array of at least `n` doubles (`data`,
// null when nothing is allocated); the array may be longer than `n` after a
// shrink, so code that reads `data` directly must stop at `n`.
//
// Binary operations expect operands of equal length; where the lengths differ
// they run over the entries both operands have, so a wrong length never reads
// or writes outside an array.
//
// Thread-safety: a Vector is a plain value. The vector output precision used by
// the text writer is a process-wide setting and not thread-safe; everything
// else (including the index sort) keeps no global state.
#pragma once

#include <iosfwd>

class Vector {
public:
    int n = 0;              // number of entries
    double* data = nullptr; // owned storage of at least n doubles

    Vector() = default;
    // n entries, all 0.0 (none for n <= 0).
    explicit Vector(int n);
    // The 2-vector (a, b): a parameter pair.
    Vector(double a, double b);
    // The 3-vector (x, y, z).
    Vector(double x, double y, double z);
    // Copies of the first n values of an array (empty for n <= 0 or a null array).
    Vector(const double* a, int n);
    Vector(const float* a, int n);

    Vector(const Vector& other);
    Vector(Vector&& other) noexcept;
    // Reallocates only when the source is longer than this vector's n; a long
    // vector assigned a short one keeps its storage. Moving takes over the
    // source's storage only where a copy would have reallocated.
    Vector& operator=(const Vector& other);
    Vector& operator=(Vector&& other) noexcept;
    virtual ~Vector();

    // Unchecked access; 0 <= i < n is the caller's guarantee.
    double& operator[](int i) { return data[i]; }
    const double& operator[](int i) const { return data[i]; }
    int size() const { return n; }
    bool empty() const { return n <= 0; }

    // Changes the number of entries; always returns true.
    // Growing allocates exactly `newSize` doubles, keeps the old values and sets
    // the new entries to 0.0. Shrinking without discard only lowers n and keeps
    // the storage; with discard the storage is replaced by a fresh zeroed array
    // of `newSize` doubles (none for 0). Negative sizes count as 0.
    bool resize(int newSize, bool discard = false);
    // As resize; returns this vector.
    Vector& setSize(int newSize, bool discard = false);

    // Sets every entry to v; returns n.
    int fill(double v);

    // this[i] += b[i] / -= b[i] over the entries both have.
    Vector& operator+=(const Vector& b);
    Vector& operator-=(const Vector& b);
    Vector& operator*=(double s);
    // Divides every entry by s; a zero s leaves the vector unchanged.
    Vector& operator/=(double s);
    // this[i] += s * b[i] for i < min(n, b.n).
    Vector& addScaled(double s, const Vector& b);

    // Grows by one entry: the entries after position i move up by one and
    // value goes to position i + 1 (i = -1 inserts at the front; i is
    // clamped into [-1, n - 1]).
    void insertAfter(double value, int i);

    // Divides every entry by the norm; a norm below 2.2e-16 is replaced by
    // 2.2e-16 so that a zero vector stays finite.
    Vector& normalize();

private:
    void release();
};

// New vectors of a's length. Entries that b lacks are taken from a unchanged.
Vector operator+(const Vector& a, const Vector& b);
Vector operator-(const Vector& a, const Vector& b);
Vector operator*(double s, const Vector& a);
Vector operator*(const Vector& a, double s);
// Each entry times -1.0.
Vector operator-(const Vector& a);
// A copy of a divided by s; unchanged when s is 0.
Vector operator/(const Vector& a, double s);

// Sum of a[i]*b[i], accumulated from 0.0, over min(a.n, b.n) entries.
double dot(const Vector& a, const Vector& b);
// Sum of a[i]*b[i], i < n, in four interleaved partial sums: the summation of
// the dense matrix products, shared so that every product path gives
// bit-identical results.
double dotRange(const double* a, const double* b, int n);
// a.a; 0 when that is not positive.
double normSquared(const Vector& a);
double norm(const Vector& a);
// a / |a|; the zero vector of a's length when |a| <= 1e-9.
Vector normalized(const Vector& a);
// a.b / (|a| |b|); 0.0 when |a| <= 1e-8 or |b| <= 1e-8.
double cosineBetween(const Vector& a, const Vector& b);
// The 3-vector a x b; both operands need at least 3 entries.
Vector crossProduct(const Vector& a, const Vector& b);
// The same on plain triples, into out, and the length of a triple as norm
// takes it: for the hot paths that keep their points in arrays.
void crossProduct3(const double* a, const double* b, double* out);
double norm3(const double* a);
// Sum of (a[i] - b[i])^2 over min(a.n, b.n) entries. Inline: the nearest-
// point searches call it once per candidate.
inline double squaredDistance(const Vector& a, const Vector& b)
{
    const int m = a.n < b.n ? a.n : b.n;
    double s = 0.0;
    for (int i = 0; i < m; ++i) {
        const double d = a.data[i] - b.data[i];
        s += d * d;
    }
    return s;
}
// The smallest entry; `index` (when given) receives the position of its first
// occurrence. An empty vector gives 0.0 and index -1.
double minElement(const Vector& v, int* index = nullptr);
// Sum of the entries.
double sumElements(const Vector& v);

// A vector x of a's length with a.x = d: x[imin] = 1 and x[imax] solves the
// equation, imax/imin being the first positions of the largest/smallest |a[i]|
// (imin = 0, imax = 1 when they coincide; imax = 0 for a 1-vector).
// A zero vector a has no solution: the zero vector of a's length is returned.
Vector pointOnHyperplane(const Vector& a, double d);

// k equally spaced values inserted between every two consecutive entries:
// length (n - 1) k + n; an empty v gives an empty vector.
Vector refineValues(const Vector& v, int k);

// a := a - ((a.axis)/(axis.axis)) axis, the part of a orthogonal to axis.
// A zero axis leaves a unchanged. Returns a.
Vector& orthogonalize(Vector& a, const Vector& axis);

// Index sort. Allocates *index with new[] (max(n, 1) entries; the caller frees
// it with delete[]) when it is null, fills it with 0..n-1 and sorts it so that
// values[index[i]] ascend (descend when ascending is false). With signedValues
// false the magnitudes are compared. NaN values sort behind every number. The
// order of equal values is unspecified.
void sortIndex(const double* values, int** index, int n, bool ascending = true,
               bool signedValues = true);
void sortIndex(const Vector& values, int** index, bool ascending = true, bool signedValues = true);

// The q-quantile of values (q clamped into [0, 1]): the value at position
// min(n - 1, max(0, floor(q n))) of the ascending index sort, its magnitude when
// signedValues is false (the sort then orders magnitudes). Unless reuseIndex is
// set and *index exists, the index is built with sortIndex (allocated when
// *index is null; caller frees with delete[]). A null `index` sorts into a
// temporary index. `position` (when given) receives the position used.
// n <= 0 gives 0.0 with position 0.
double quantile(const double* values, int n, double q, int** index, int* position,
                bool reuseIndex = false, bool signedValues = true);
double quantile(const Vector& values, double q, int** index, int* position, bool reuseIndex = false,
                bool signedValues = true);
// Builds and frees its own index; returns the signed value.
double quantile(const Vector& values, double q);
// The same rule for floats (signed values): `order` is the index array,
// `index` receives the position used.
float quantile(const float* values, int n, float q, int** order, int* index,
               bool reuseOrder = false);

// Text form: "[" entries separated by "," "]". Entries of magnitude at most
// 1e-323 are written as "0", others at the vector output precision (stream
// width respected). After every k-th entry, k = 119 / (width + precision + 3),
// a line end and a blank follow. The stream's precision is restored.
std::ostream& operator<<(std::ostream& os, const Vector& v);

// Reads either exactly v.n white-space separated numbers (input not starting
// with "["), or a bracketed list "[a, b c,-d]" of any length that resizes v.
// Malformed bracketed input prints
//   format error/empty number reading vector:'C'
// (C the offending character) to standard output, keeps the entries read before
// the fault (v.n = their count) and leaves the stream failed.
std::istream& operator>>(std::istream& is, Vector& v);

// Process-wide precision (significant digits) of the Vector text writer; 20 at
// start. The setter returns the previous value.
int vectorOutputPrecision();
int setVectorOutputPrecision(int digits);
void resetVectorOutputPrecision();

// Sets the vector output precision for its lifetime and restores the previous
// value afterwards (for writers that need a fixed precision temporarily).
class ScopedVectorOutputPrecision {
public:
    explicit ScopedVectorOutputPrecision(int digits) : previous(setVectorOutputPrecision(digits)) {}
    ~ScopedVectorOutputPrecision() { setVectorOutputPrecision(previous); }
    ScopedVectorOutputPrecision(const ScopedVectorOutputPrecision&) = delete;
    ScopedVectorOutputPrecision& operator=(const ScopedVectorOutputPrecision&) = delete;

private:
    int previous;
};
