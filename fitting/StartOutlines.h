#pragma once
// Planar start outlines of a face: a closed degree-1 curve in a plane that
// encloses the face's boundary, for a start surface to be spanned over.
// Either the smallest-area rectangle of the boundary curves' control points
// in the face's plane, or a polygon from the convex hull of the boundary.
// An outline is cyclic (its last corner joins its first) with one control
// point per corner.
//
// Ownership: every outline is new and owned by the caller; the curves
// handed in are only read. Thread-safety: no shared state.

#include "foundation/KorList.h"
#include "foundation/Vector.h"

class CAxis;
class C3DTransformation;
namespace Fenwo {
class NurbsSurf;
}

// The rectangle: the control points of the curves in the plane (its point
// and unit normal), their smallest-area bounding rectangle, its four corners
// back in space. Null when there are no control points.
Fenwo::NurbsSurf* createStartSurface(const Kor::List<Fenwo::NurbsSurf*>& boundaryCurves,
                                     const CAxis& plane);
// The hull: the curves moved by the transformation (transformSurfaceCopy),
// the convex hull of their facet points in their best-fit plane, simplified
// to at most four corners (buildCyclicPolyline). Null without a hull.
Fenwo::NurbsSurf* createStartSurface(const Kor::List<Fenwo::NurbsSurf*>& boundaryCurves,
                                     const C3DTransformation& transformation);

// planarHullCurve of the facet points of the curves (chord tolerance 0.01,
// at most 2000 per curve).
Fenwo::NurbsSurf* planarHullOfCurves(const Kor::List<Fenwo::NurbsSurf*>& curves,
                                     const CAxis* plane);

// The convex hull of the points projected into the plane (or into their
// best-fit plane), as an outline through every hull corner in hull order.
// Points that fall within 1e-6 of a kept one count once. Null with fewer
// than three distinct projected points, collinear ones, or points that fix
// no plane.
Fenwo::NurbsSurf* planarHullCurve(const Kor::List<Vector>& points, const CAxis* plane);
