#pragma once
// CConvexHull2D: convex hull of points in the x-y plane by a Graham scan.
//
// The constructor does all the work: it finds the pivot (lowest y, then
// largest x), enters every point as a CPolarPoint about it, sorts them by
// angle and walks the hull. The result is `hull`, a list of indices into
// `points`, counter-clockwise. With four or more input points the walk is
// closed: it starts with the last point of the angular order and lists that
// point again at its end. With fewer than four points all of them are kept,
// in input order.
//
// Ownership: the hull owns copies of the points. Not thread-safe.

#include "foundation/IndexSubset.h"
#include "foundation/KorArray.h"
#include "foundation/KorList.h"
#include "foundation/PolarPoint.h"
#include "foundation/Vector.h"

class CConvexHull2D {
public:
    Kor::Array<CPolarPoint> points; // every input point, about the pivot
    IndexSubset<CPolarPoint> hull;  // hull walk: indices into points
    Kor::IntArray order;            // points sorted by angle, then distance
    Vector centre;                  // the pivot

    // Points need at least two coordinates (x, y); further ones are carried.
    explicit CConvexHull2D(const Kor::List<Vector>& input);
    CConvexHull2D(const CConvexHull2D&) = delete;
    CConvexHull2D& operator=(const CConvexHull2D&) = delete;

    // The pivot: lowest y, ties decided by the largest x. Sets `centre`.
    void findPivot(const Kor::List<Vector>& input);
    // Sorts order[first..last] by angle about the pivot, then by squared
    // distance.
    void sortByAngle(int first, int last);
    // The Graham scan over `order`; fills `hull`. A point is kept when the
    // turn from the last hull edge to it exceeds 1e-8, so collinear points
    // are dropped.
    void scan();

    int getCount() const { return hull.count; }
    // The i-th point of the hull walk.
    const Vector& hullPoint(int i) const { return points.data[hull.indices[i]].point; }
};
