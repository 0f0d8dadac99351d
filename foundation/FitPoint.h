#pragma once
// Fit-point records: CFitPoint (one sample point of a fit with its
// parameters, optional normals and tangent, error and weight), its growable
// array CFitPointArray, the grid CFitPointArray2D, and the centroid and
// bounding box of a set of fit points.
//
// Ownership: records own their vectors and are copied by value; arrays own
// their records; an IndexSubset<CFitPoint> only refers to an array.
// Not thread-safe.

#include "foundation/IndexSubset.h"
#include "foundation/KorArray.h"
#include "foundation/Vector.h"

#include <array>
#include <iosfwd>

class CFitPoint {
public:
    // A vector member is present when its n is not 0.
    Vector Point;      // the sample point
    Vector uv;         // its parameters (2 entries when set)
    Vector Normal;     // a normal at the point
    Vector SurfNormal; // normal of the fitted surface at the point
    Vector uv2;        // second parameter slot (best trial of a line search); never written out
    Vector Tangent;
    Vector ot;
    double AbsErr = 0.0; // absolute error against the fit
    double weight = 1.0;
    double dist2 = 1e10; // squared distance to the fit
    // Parameter-space direction (u, v) read by point inversion in state 3.
    double dirU = 0.0;
    double dirV = 0.0;
    // The boundary curve a face's boundary sample was taken from (its
    // position in the chain of the face's boundary curves).
    double curveIndex = 0.0;
    // 1: parameters to be computed; 2: keep the parameters, only recompute the
    // distance; 3: move only perpendicular to (dirU, dirV).
    int state = 1;
    int group = 0;
    // Written by point inversion: the control indices whose basis functions
    // are largest at the parameters (-1 until then), the side of the surface
    // (+1 or -1) and the boundary flag (0 inside, 1 u minimum, 2 u maximum,
    // 3 v minimum, 4 v maximum, 9 not inverted).
    // The fitting reads the error sign as `side`, the status code as
    // `boundary` (0: the foot lies inside) and the inversion state as `state`.
    int uIndex = -1;
    int vIndex = -1;
    int side = 1;
    int boundary = 9;
    // Set by the hit selection: the grid indices (i, j) of the sample that
    // produced the point (-1 unset), the kind of the mesh hit (1 also for a
    // synthetic or nearest-facet hit) and the hit facet (-1 none).
    int gridI = -1;
    int gridJ = -1;
    int kind = 1;
    int facet = -1;

    CFitPoint() = default;
    // The point with a 2-entry uv (zero).
    explicit CFitPoint(const Vector& point);
    CFitPoint(const Vector& point, const Vector& params);
    CFitPoint(const Vector& point, const Vector& params, const Vector& normal);
};

// "Point=" Point, then each present one of " uv=", " Normal=", " ot=",
// " Tangent=", " SurfNormal=" with its vector, then " group=", " AbsErr="
// (0 when not finite), " weight=" (1 when not finite), " dist2=" (0 when not
// finite). No line end.
std::ostream& operator<<(std::ostream& os, const CFitPoint& p);
// The same text form.
void printFitPoint(std::ostream& os, const CFitPoint& p);

// The signed error: sqrt(dist2) times the side (+1 or -1).
double signedError(const CFitPoint& p);

// Growable array of fit points (Kor::Array growth rules).
using CFitPointArray = Kor::Array<CFitPoint>;

// Inserts a copy of p at index + 1 (index clamped into [-1, count - 1]);
// index count - 1 appends. A full array grows as by append.
void insertAfter(CFitPointArray& a, const CFitPoint& p, int index);
// Removes the record at index (ignored outside [0, count)), keeping the order.
// Returns whether a record was removed.
bool removeAt(CFitPointArray& a, int index);

// rows x cols default fit points in one array (none when either is 0),
// addressed i + rows * j (i < rows, j < cols).
class CFitPointArray2D {
public:
    CFitPoint* items = nullptr; // owned
    int rows = 0;
    int cols = 0;

    CFitPointArray2D(int rows, int cols);
    ~CFitPointArray2D();
    CFitPointArray2D(const CFitPointArray2D&) = delete;
    CFitPointArray2D& operator=(const CFitPointArray2D&) = delete;

    CFitPoint& at(int i, int j) { return items[i + rows * j]; }
    const CFitPoint& at(int i, int j) const { return items[i + rows * j]; }
};

// Mean of the points' first three coordinates: a zero 3-vector when empty.
Vector centroid(const CFitPointArray& points);
Vector centroid(const IndexSubset<CFitPoint>& points);

// {min, max} of the points' first three coordinates; both zero 3-vectors for
// an empty set.
std::array<Vector, 2> boundingBox(const IndexSubset<CFitPoint>& points);
std::array<Vector, 2> boundingBox(const CFitPointArray& points);
