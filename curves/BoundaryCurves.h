// Small operations on the sides of surfaces and on NURBS curves: the uv line
// along a side of a surface's domain as a curve on the surface, the side
// iso-curve of a NURBS surface, splitting at a parameter, the clamped form of
// a curve that is handed to the host, and the offset of a surface side
// outward, beyond its former boundary.
//
// Ownership: returned curves are new and owned by the caller (the curve on a
// surface owns its uv line); a surface given to offsetNurbs is changed in
// place.
// Thread-safety: none; sub-curves of cyclic curves use the process-wide
// projection solvers.
#pragma once

class CCONS;
class CParametricGeometry;
namespace Fenwo {
class NurbsSurf;
}

// The degree-1 uv line along side 1 (v min, u rising), 4 (u max, v rising),
// 2 (v max, u falling) or 3 (u min, v falling) of the surface's domain as a
// curve on the surface: in that order the four run counter-clockwise around
// the domain. Another side prints "unknown boundaryposition!" and gives
// null; a null surface gives null.
CCONS* boundaryCCONS(CParametricGeometry* surface, int side);

// The iso-curve along side 1 (v min), 2 (v max), 3 (u min) or 4 (u max).
// A one-row surface (a curve) asked for side 1 gives a copy. On sides 1 and
// 2, each single control-point constraint of the surface's side row is
// carried over to the curve's control point of the same column. Null for a
// null surface, another side, or when no iso-curve can be made.
Fenwo::NurbsSurf* surfaceBoundaryCurves(Fenwo::NurbsSurf* surface, int side);

// first = the piece of the curve from its u minimum to t, second = the piece
// from t to its u maximum (either null where getSubCurve gives none, as for a
// piece of zero length). False only for a null curve.
bool splitCurve(Fenwo::NurbsSurf* curve, double t, Fenwo::NurbsSurf*& first,
                Fenwo::NurbsSurf*& second);

// Splits a surface at v = t into the parts below and above. False, with
// nothing made, for a null surface or a single row (a curve has no v
// extent); the surface is left as it was.
bool splitCurveAt(Fenwo::NurbsSurf* surface, double t, Fenwo::NurbsSurf*& first,
                  Fenwo::NurbsSurf*& second);

// The curve on clamped knots trimmed to its domain, same shape and
// direction: a cyclic direction is expanded first. When no piece can be cut,
// "emergency AcisCompliant Curve is NULL !" is printed and a copy of the
// curve is returned. Null only for a null curve.
Fenwo::NurbsSurf* makeAcisCompliantCurve(Fenwo::NurbsSurf* curve);

// Moves the control points of side 1 to 4 outward by distance along the
// surface's unit tangent across that side (the direction the side's control
// legs run out of the surface), each taken at the peak of its control
// point's basis function along the side: the surface reaches beyond its
// former side, which stays (nearly) on it. secondPass moves the next row by
// the same offsets, keeping the cross-boundary tangents; refine
// inserts a knot in the middle of the boundary span across the side. False,
// with the surface unchanged, for a null surface, a distance of 0 or less, a
// side other than 1 to 4 or a side across a cyclic direction.
bool offsetNurbs(Fenwo::NurbsSurf* surface, int side, double distance, bool secondPass,
                 bool refine);
