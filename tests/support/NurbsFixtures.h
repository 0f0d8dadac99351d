// Exact NURBS curves for tests of the curve algorithms: clamped curves over
// given control points and rational circular arcs (quadratic, one span per
// quarter turn, middle weights sqrt(1/2)), whose points lie on their circle
// to rounding.
//
// Ownership: every builder returns a new curve owned by the caller.
// Thread-safety: none needed; each call builds its own object.
#pragma once

#include "foundation/KorArray.h"
#include "foundation/Vector.h"
#include "geometry/NurbsSurf.h"

#include <memory>
#include <string>
#include <vector>

// Curves owned together, handed out as the plain pointer list the curve
// algorithms take.
struct OwnedCurves {
    std::vector<std::unique_ptr<Fenwo::NurbsSurf>> curves;
    Kor::Array<Fenwo::NurbsSurf*> list() const;
    // Copies of every curve (null entries stay null).
    OwnedCurves copy() const;
};

// The point at internal parameters (u, v).
Vector pointAt(Fenwo::NurbsSurf& s, double u, double v = 0.0);

// The clamped non-rational curve of the given degree over the control points,
// uniform knots on [t0, t1].
std::unique_ptr<Fenwo::NurbsSurf> clampedCurve(const std::vector<Vector>& controlPoints, int degree,
                                               double t0 = 0.0, double t1 = 1.0);

// The arc centre + radius (cos a x + sin a y), a from 0 to quarters * pi / 2
// (quarters 1 .. 4; 4 is the closed circle), x and y orthonormal; degree 2
// with 2 quarters + 1 control points and a double knot between the quarters,
// on [0, 1].
std::unique_ptr<Fenwo::NurbsSurf> rationalArc(const Vector& centre, const Vector& x,
                                              const Vector& y, double radius, int quarters);

// Distance from p to the nearest point of the surface: the best of a 40 x 40
// grid of its domain refined by point inversion (double precision).
double distanceToSurface(Fenwo::NurbsSurf& s, const Vector& p);

// Every surface or curve written in its text form to a file, in file order.
std::vector<std::unique_ptr<Fenwo::NurbsSurf>> readCurves(const std::string& path);
