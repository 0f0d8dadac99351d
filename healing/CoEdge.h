#pragma once
// The coedge's surroundings as the seam matching and the blends see them:
// the evaluation of a surface along one side of its domain, and the blend
// surface of a face spanned between the curves its coedges lead to. The
// members of CCoEdge itself (net/FaceRecords.h) that answer for its sides,
// its blend boundary curve and its seam samples are defined in this
// library (CoEdge.cpp, SeamSampling.cpp).
//
// Ownership: evaluateOnBoundary returns the surface's own table;
// blendFaceFromBoundary returns a new surface owned by the caller and frees
// every curve it made on the way.
// Thread-safety: none; evaluation writes into the surfaces' tables.

#include "foundation/KorList.h"
#include "foundation/Vector.h"

class CCoEdge;
class CParametricGeometry;
namespace Fenwo {
class NurbsSurf;
}

// The parameters of the point at t along side `position` of the surface's
// domain: 1 (t, v min), 2 (t, v max), 3 (u min, t), 4 (u max, t). Any other
// position writes "pos=", the position keyword and " unknown
// BoundaryPosition !" to the diagnostic log and gives (0, 0); false then.
bool boundaryParameters(double t, CParametricGeometry* surface, int position, double& u, double& v);

// The surface's derivative table up to `order` at the point *t along side
// `position` (see boundaryParameters). The table belongs to the surface and
// is overwritten by its next evaluation; null for a null surface or when the
// surface cannot be evaluated.
Vector** evaluateOnBoundary(const float* t, CParametricGeometry* surface, int position, int order);

// The blend surface of the face bounded by these coedges: each coedge's
// blend boundary curve (CCoEdge::blendBoundaryCurve) that is a curve on a
// surface with a base surface and a uv curve (an iso-curve evaluates its
// surface directly and needs none) becomes a boundary curve, and the blend
// is built from them (blendFromBoundaryCurves). Null when that fails. The
// curves made here are deleted before return; a coedge's own fixed curve is
// only borrowed.
Fenwo::NurbsSurf* blendFaceFromBoundary(const Kor::List<CCoEdge*>& coedges);
