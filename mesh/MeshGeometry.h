#pragma once
// Point and vector functions shared by the mesh code: float 3-points
// (CVertex<float,3>) and 3-vectors (CVector<float,3>), triangle normals and
// areas, point-line and point-segment distances, box distances, the exact
// lexicographic point order used by every point hash, and a few array
// helpers (findSortedRecord; sortUnique comes from foundation/Sort.h,
// roundToDigits from foundation/Rounding.h).
//
// Ownership: results are returned as new values or written into outputs the
// caller owns. Thread-safety: the functions keep no state.

#include "foundation/Box.h"
#include "foundation/KorSubSet.h"
#include "foundation/Rounding.h"
#include "foundation/Sort.h"
#include "foundation/Vertex.h"

#include <cfloat>
#include <cmath>
#include <iosfwd>

// Exact lexicographic order of positions: x, then y, then z. Two points with
// equal coordinates are the same point for every hash.
template <class R> bool isLessVertex(const CVertex<R, 3>& a, const CVertex<R, 3>& b)
{
    if (a.data[0] != b.data[0])
        return a.data[0] < b.data[0];
    if (a.data[1] != b.data[1])
        return a.data[1] < b.data[1];
    return a.data[2] < b.data[2];
}

// isLessVertex on pointers, in the comparator form of Kor::Set<T>; T is any
// class derived from CVertex<R,3>.
template <class T> bool lessVertex(const T* a, const T* b)
{
    return isLessVertex(*a, *b);
}

// Unary minus: a new vector -v.
CVector<float, 3> operator-(const CVector<float, 3>& v);
// In place a += b and a -= b on the three coordinates.
CVertex<float, 3>& operator+=(CVertex<float, 3>& a, const CVertex<float, 3>& b);
CVertex<float, 3>& operator-=(CVertex<float, 3>& a, const CVertex<float, 3>& b);
// In place a += (float)s * b.
void addScaled(CVertex<float, 3>& a, double s, const CVertex<float, 3>& b);
// (1 - t) a + t b with the weights formed in float.
CVertex<float, 3> lerp(double t, const CVertex<float, 3>& a, const CVertex<float, 3>& b);
// The same into three floats at out, without a vertex of its own.
void lerpInto(double t, const float* a, const float* b, float* out);

float dotProduct(const CVertex<float, 3>& a, const CVertex<float, 3>& b);
// out = a x b (out may be a or b).
void crossProductInto(const CVertex<float, 3>& a, const CVertex<float, 3>& b,
                      CVertex<float, 3>& out);
// out = (b - a) x (c - a), not normalised.
void triangleNormal(const CVertex<float, 3>& a, const CVertex<float, 3>& b,
                    const CVertex<float, 3>& c, CVertex<float, 3>& out);
// out = the unit normal of the triangle (a zero normal for a degenerate one);
// returns the triangle's area (half the cross-product length).
double triangleNormalAndArea(const CVertex<float, 3>& a, const CVertex<float, 3>& b,
                             const CVertex<float, 3>& c, CVertex<float, 3>& out);
// Divides v by its length (at least kUnitLengthFloor, the rule of
// CVector::normalize); returns the length before normalisation.
double normalize(CVertex<float, 3>& v);

float squaredPointDistance(const CVertex<float, 3>& a, const CVertex<float, 3>& b);
float pointDistance(const CVertex<float, 3>& a, const CVertex<float, 3>& b);
// |p - (base + t d)|^2 with t = (p - base).d for a unit direction d; the
// largest float when a point has no storage.
float pointLineDistance2(const CVertex<float, 3>& p, const CVertex<float, 3>& base,
                         const CVertex<float, 3>& d);
// Squared distance of p to the segment a-b over the first `dims` coordinates
// of double arrays. *t (when given) receives the projection parameter, -1 for
// a segment shorter than sqrt(2.2e-16) (the distance is then taken to a); the
// distance uses t clamped to [0, 1].
double pointSegmentDistance2(const double* a, const double* b, const double* p, int dims,
                             double* t);
// The same over float arrays, computed the same way in float.
float pointSegmentDistance2(const float* a, const float* b, const float* p, int dims, float* t);

// The largest absolute coordinate.
template <class T, int N> T maxNorm(const CVertex<T, N>& v)
{
    T m = T(0);
    for (int i = 0; i < N; ++i)
        m = std::max(m, T(std::fabs(v.data[i])));
    return m;
}
// The largest absolute coordinate of max - min.
template <class T, int N> T maxExtent(const CBox<T, N>& box)
{
    T m = T(0);
    for (int i = 0; i < N; ++i)
        m = std::max(m, T(std::fabs(box.max.data[i] - box.min.data[i])));
    return m;
}
// Distance of coordinate `axis` of p to the box's interval on that axis
// (0 inside it).
template <class T> T boxAxisDistance(const CBox<T, 3>& box, const CVertex<T, 3>& p, int axis)
{
    const T x = p.data[axis];
    if (x < box.min.data[axis])
        return box.min.data[axis] - x;
    if (x > box.max.data[axis])
        return x - box.max.data[axis];
    return T(0);
}
// Sum of the squared axis distances of p to the box.
template <class T> T boxSquaredDistance(const CBox<T, 3>& box, const CVertex<T, 3>& p)
{
    T s = T(0);
    for (int axis = 0; axis < 3; ++axis) {
        const T d = boxAxisDistance(box, p, axis);
        s += d * d;
    }
    return s;
}
// lo when lo > x, else hi when x > hi, else x.
template <class T> T clampValue(T lo, T hi, T x)
{
    return lo > x ? lo : (x > hi ? hi : x);
}

// A vector w with w.v = 0: 1 at the index of the smallest |component| of v,
// the component at the index of the largest |component| solved from w.v = 0,
// the third 0.
CVector<float, 3> anyPerpendicular(const CVertex<float, 3>& v);

// Squared distance from the origin of the plane frame (o, u, v) to the
// nearest edge (k, k+1 mod n) of the closed polygon pts[0..n) projected into
// that frame, taking only edges whose foot point lies on the edge; e0, e1
// receive that edge. DBL_MAX (edges untouched) when n < 2 or no edge
// qualifies.
double nearestPolygonEdgeInPlane(const CVertex<float, 3>* pts, int n, const CVertex<float, 3>& o,
                                 const CVertex<float, 3>& u, const CVertex<float, 3>& v, int& e0,
                                 int& e1);

// Writes the three coordinates separated by single spaces.
std::ostream& operator<<(std::ostream& os, const CVertex<float, 3>& p);

// Appends value to the index list unless it holds it already; true when it
// was appended. A linear scan: meant for the short lists of a facet's or a
// vertex's neighbours.
template <class List> bool addUniqueIndex(List& list, int value)
{
    for (int i = 0; i < list.count; ++i)
        if (list.data[i] == value)
            return false;
    list.append(value);
    return true;
}

// The same for a sub-set of pointers: appends item unless it is held already.
template <class T> bool addUniqueIndex(Kor::SubSet<T>& set, T* item)
{
    for (int i = 0; i < set.count; ++i)
        if (set.items[i] == item)
            return false;
    set.append(item);
    return true;
}

// Binary search of key in the sorted records[0..n): the index of a record
// equivalent to key (neither less than the other), or -1 (also for n < 1).
template <class R, class Less>
int findSortedRecord(const R& key, const R* records, int n, Less less)
{
    int lo = 0, hi = n - 1;
    while (lo <= hi) {
        const int mid = lo + (hi - lo) / 2;
        if (less(records[mid], key))
            lo = mid + 1;
        else if (less(key, records[mid]))
            hi = mid - 1;
        else
            return mid;
    }
    return -1;
}

// Order of int pairs taken as unordered pairs: (min, max) of a before
// (min, max) of b, lexicographically.
bool lessUnorderedPair(const int* a, const int* b);

// Quality of a triangle with edge lengths a, b, c: sqrt(12) times the
// inradius over the longest edge; 1 for an equilateral triangle, 0 for a
// triangle whose longest edge is at most 2.3e-16.
double triangleQuality(double a, double b, double c);
