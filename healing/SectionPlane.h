#pragma once
// The plane of a cross-section between two rails: given a point and a
// surface normal on each rail, the two tangent planes are intersected, the
// point M of their common line with the least sum of distances to both rail
// points is found by a one-variable minimisation, and the section plane is
// the plane through the two points and M.
//
// Ownership: plain values; nothing is allocated for the caller.
// Thread-safety: no shared state.

#include "foundation/ConjugateGradient.h"
#include "foundation/Plane.h"
#include "foundation/Vector.h"
#include "geometry/FitHelpers.h"

// The line where the planes a and b (point and unit normal each) meet:
// 1 when they meet in a line, written to `line` (a point on both planes and
// the direction a.normal x b.normal, not normalised); 0 when they are
// parallel and distinct, 2 when they are the same plane. For 0 and 2 the
// line's direction is the (nearly) zero cross product and its point is left.
int intersectPlanes(const CAxis& a, const CAxis& b, CPlane& line);

// Minimises |L(t) - A| + |B - L(t)| over the points L(t) = point + t
// direction of a line, from t = 0, with the Goldstein line search and at most
// 100 iterations. The whole minimisation runs in the constructor; x[0] then
// holds the parameter of the minimising point. The points and the line must
// outlive the constructor only.
class CMinSumOfDistance : public CConjugateGradient {
public:
    CMinSumOfDistance(const Vector* A, const CAxis& planeB, const CPlane* line);

    // The objective at x + alpha p; with mode 1 its derivative into g[0]. A
    // term whose distance is 0 contributes 0 to the derivative (the distance
    // has no derivative there, and 0 is the one-sided mean).
    double evaluate(int mode, Vector& g, const Vector& x, double alpha, const Vector& p) override;

    const Vector* A = nullptr; // first point, not owned
    CAxis planeB;              // copy of the second point and its normal
    const CPlane* line = nullptr;
    double t = 0.0; // line parameter of the last evaluation
    double f = 0.0; // objective of the last evaluation
    Vector x;       // the variable: the line parameter
    Vector LA;      // L - A of the last evaluation
    Vector BL;      // B - L
    Vector L;       // the line point
};

// The unit normal of the section plane through A, B and the apex M of the two
// tangent planes (A with normal nA, B with normal nB); M receives the apex.
// An empty Vector, M unchanged, when the tangent planes are parallel (the
// same plane included); the zero 3-vector when A, M and B are collinear.
Vector sectionPlaneNormal(const Vector& A, const Vector& B, const Vector& nA, const Vector& nB,
                          Vector& M);
