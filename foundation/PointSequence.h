#pragma once
// Helpers on ordered point sequences and fit-point sets: the size of a file,
// the angle at a poly-line vertex, chord-based poly-line simplification, and
// the error statistics of a fit (quantiles, best/worst subsets, histogram).
//
// The squared error of a fit point is its dist2; its error is the square
// root of that.
//
// Ownership: bestQuantileSubset returns a new subset owned by the caller;
// everything else writes only into what the caller passes. No shared state.

#include "foundation/FitPoint.h"
#include "foundation/IndexSubset.h"
#include "foundation/Statistic.h"
#include "foundation/Vector.h"

#include <cstdint>
#include <iosfwd>
#include <memory>

// Size of the file in bytes (64-bit, so files beyond 2 GiB are measured
// correctly): -1 when it cannot be opened, 0 when seeking to its end fails.
std::int64_t fileSize(const char* path);

// The angle at p (degrees) of the poly-line a-p-b: 180 when p lies on the
// line through a and b, 90 at a right angle; 0 when a and b coincide
// (|b - a|^2 < 1e-16).
double threePointAngle(const Vector& a, const Vector& p, const Vector& b);

// Points are 3-D, given by pointer; n is the number of points of the whole
// sequence. The chord runs from points[first] to points[last]; when
// last <= first it is a chord of a closed sequence and the points between
// are first + 1 .. n - 1, then 0 .. last - 1.
// Returns the first point between them whose distance from the chord's line
// exceeds tol (with *dist that distance), or, when none does, the point of
// largest distance (the first on ties; `last` when there is no point
// between) with *dist its distance. |last - first| < 2 returns first with
// *dist = 0.
int farthestFromChord(const double* const* points, int first, int last, double tol, double* dist,
                      int n);

// Moves a split point between first and last, starting at candidate, first
// backwards, then forwards, as long as the larger of the deviations of the
// chords first-split and split-last decreases. Returns the split point.
int farthestPointSplit(const double* const* points, int first, int last, int candidate, int n);

// Chooses the points of the poly-line points[0..n) to keep so that every
// dropped point lies within tol of the chord between its kept neighbours,
// writes their indices into keep (room for n entries) in ascending order and
// returns their number. refine moves each split point to where the larger
// deviation of its two chords is smallest.
// Open (closed false): the start point 0 is implied and not written; the
// list ends with n - 1. Closed: the sequence wraps from n - 1 to 0; every
// kept index is written (0 and n - 1 only when they are needed), at least
// two of them. n < 2 returns 0.
int simplifyPolyline(const double* const* points, int n, int* keep, double tol, bool closed,
                     bool refine);

// Square root of the squared error at position ceil(|q| n), clamped into
// [0, n - 1], of the ascending squared errors: q = 0 gives the smallest error,
// q = 1 the largest. -1.0 for an empty subset.
double errorQuantile(const IndexSubset<CFitPoint>& points, double q);

// A new subset over the same array (owned by the caller) of k = ceil(|q| n)
// (at most n) points: for q > 0 the k smallest squared errors in ascending
// order, for q <= 0 the k largest, largest first.
std::unique_ptr<IndexSubset<CFitPoint>> bestQuantileSubset(const IndexSubset<CFitPoint>& points,
                                                           double q);

// Histogram of the errors in bins + 1 bins over [min, max] (the largest error
// falls into the extra last bin; when all errors are equal every one falls
// into the first) and in five classes of scale: <= scale, <= 2 scale,
// <= 3 scale, <= 5 scale, above. Writes seven lines, each led by the prefix,
// to os when os is given:
//   " mean-error=" mean " sigma=" sigma
//   " Histo(" n ")=[" min "," max "]=[" counts separated by "," "]"
//   " [0-" scale "]:" count, " [" scale "-" 2 scale "]:" count, ... ,
//   " [" 5 scale "-infty]:" count
// Nothing happens for an empty vector.
void printErrorHistogram(const Vector& errors, int bins, double scale, std::ostream* os,
                         const char* prefix);

// The statistic of the points' errors; their histogram (10 bins, scale 0.2)
// goes to os when given. An empty subset gives an empty statistic.
// mode 0 with q != 0: writes "qVal=" with the q-quantile of the errors (Vector
// quantile) and " qindex=" with its position, then keeps in `points` only the
// points up to that position of the ascending errors.
// mode 1 with q > 0: keeps only the points whose error is below q times the
// rms of the errors.
// After such a trimming the subset keeps its original order, and the
// histogram and the statistic line of the kept points are written; the
// statistic returned is theirs.
CStatistic fitErrorStatistics(IndexSubset<CFitPoint>& points, std::ostream* os, const char* prefix,
                              double q, int mode);
