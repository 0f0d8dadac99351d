// Degree-1 curves through points of another curve: the poly-line through a
// curve's points at given parameters, and the poly-line through the facet
// points of a curve (its parameters from CParametricGeometry::facetCurve).
//
// Ownership: both return a new curve owned by the caller; the source curve is
// not touched beyond evaluation. Thread-safety: evaluating the source curve
// overwrites its derivative table; one thread per source curve.
#pragma once

#include "foundation/KorList.h"
#include "foundation/Vertex.h"

class CParametricGeometry;
namespace Fenwo {
class NurbsSurf;
}

// A new degree-1 curve on the uniform clamped knots of range [0, 1] whose
// last index is (number of parameters - 1); control point i is the source
// curve's point (first three coordinates) at parameter i of the list. Null for
// a null curve or fewer than two parameters.
Fenwo::NurbsSurf* makePolylineCurve(CParametricGeometry* curve, const Kor::List<double>& params);

// Facets the curve with chord tolerance tol (verification on, no variant,
// kinks kept, at most maxFacets steps per span, facets split at maxLength
// when it is positive) into *tList when given, else into a list of its own,
// and returns the poly-line through the facet points (makePolylineCurve).
// Fewer than two facet parameters are replaced by the domain's ends. Null for
// a null curve; *tList is then left unchanged.
Fenwo::NurbsSurf* facetCurveToPolyline(CParametricGeometry* curve, double tol,
                                       Kor::List<double>* tList = nullptr, int maxFacets = 2000,
                                       double maxLength = -1.0);

// A new degree-1 curve on [0, 1] from a to b (makeCurve), owned by the caller.
Fenwo::NurbsSurf* makeSegmentCurve(const CVertex<float, 3>& a, const CVertex<float, 3>& b);
