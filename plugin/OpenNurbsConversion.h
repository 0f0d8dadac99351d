// The bridge between the system's NURBS geometry (Fenwo::NurbsSurf with its
// `knots`, curves on surfaces, trimmed faces CFace with their CLoop trim
// loops) and the host's openNURBS objects (ON_NurbsCurve, ON_NurbsSurface,
// ON_Brep).
//
// The two representations correspond one to one for n + 1 control points of
// degree p in a direction: the order is p + 1; openNURBS keeps n + p knots,
// the kernel n + p + 2, and openNURBS knot k is kernel knot k + 1; control
// points are homogeneous (w x, w y, w z, w) on both sides for rational
// objects. A cyclic kernel knot vector has no openNURBS counterpart: every
// conversion towards openNURBS works on an opened copy of the geometry.
//
// Ownership: every function returns a new object owned by the caller
// (openNURBS objects come from the openNURBS allocator, so a host document
// can take them over). Inputs are never kept; faceToBrep adds what it makes
// to the caller's Brep, which owns it.
// Thread-safety: none; the geometry is evaluated (which writes its tables)
// and faceToBrep uses the process-wide projection solvers.
#pragma once

#include <string>

#include "platform/on/OpenNurbsSubset.h"

class CFace;
namespace Fenwo {
class NurbsSurf;
}

// The surface as an openNURBS surface; null for a null surface, one without
// both knot vectors or one openNURBS cannot hold (a direction of degree 0).
ON_NurbsSurface* toONNurbsSurface(const Fenwo::NurbsSurf* s);

// The curve as a 3-D curve (spatial) or as a 2-D curve of a surface's
// parameter plane (x and y of the control points); null for a null curve or
// one openNURBS cannot hold. A curve flagged reversed in u is converted in
// its logical direction: the result starts at the curve's logical start. The
// input is left as it was.
ON_NurbsCurve* toONNurbsCurve(Fenwo::NurbsSurf* c, bool spatial);

// The curve as a kernel curve (a 2-D curve gets z = 0); null when its knots
// do not make a valid kernel knot vector.
Fenwo::NurbsSurf* fromONNurbsCurve(const ON_NurbsCurve& c);

// The surface as a kernel surface; null when either knot list does not make
// a valid kernel knot vector.
Fenwo::NurbsSurf* fromONNurbsSurface(const ON_NurbsSurface& s);

// The Brep face as a trimmed face: its surface's NURBS form and one trim
// loop per Brep loop, in order, each trim a curve on that surface. A trim
// whose curve has no usable NURBS form is left out of its loop. Null when
// the surface has no NURBS form, it cannot be converted, or the face has no
// loops.
CFace* faceFromBrepFace(const ON_BrepFace& f);

// Adds the face to the Brep: its surface, one face, and for each trim loop
// (at most the first 10000; loop 0 outer, the others inner) one trim with
// its parameter-plane curve and one edge per curve, the edge curve
// re-approximated in space within tolerance. The loops' (u, v) curves are
// first made to meet end to start exactly. Returns whether the Brep is valid
// afterwards; when it is not, "bRepTrim failed!." is printed (a curve whose
// edge cannot be made gets neither trim nor edge). False for a null face or
// a surface that cannot be converted (then nothing is added). The Brep's
// validity report goes to the diagnostics file "c:/tmp/on_dump.txt"; on
// false, *why (when given) says what failed in one line: the report's
// first finding, or that the face or its surface is missing.
bool faceToBrep(CFace* face, ON_Brep& brep, double tolerance, std::string* why = nullptr);
