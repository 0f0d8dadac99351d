#pragma once
// Hit selection: pairs points of a surface with points of the mesh.
// selectHitsSecondStage samples a surface (at its control points or at
// refined Greville parameters), casts rays along the surface normal onto the
// mesh, chooses one hit per sample through a cascade of fallbacks and records
// it as a CFitPoint; in control-point mode it can move the control points
// onto their hits and correct them for the gap between a control point and
// the surface it shapes. selectHitsAndUpdate turns a start surface so that it
// faces the mesh; selectPolygonHits collects fit points inside a (u, v)
// polygon; appendFacetPoints gives points within a coarse mesh's facets.
//
// Ownership: the fit-point arrays are the caller's; these operations append
// to them. Surfaces are changed in place where stated.
// Thread-safety: runs on the calling thread; the mesh routines take the
// mesh's own lock, the surface's evaluation tables are written.

#include "foundation/FitPoint.h"
#include "foundation/KorList.h"

class CProgress;
class CVertexList;
namespace Fenwo {
class NurbsSurf;
}
namespace Mesh {
class CBaseMesh;
}

// Samples the surface and appends one fit point per sample that found a
// mesh hit: position the hit, uv the sample's parameters, Normal the hit
// facet's normal (emptied again before returning), dist2 the squared distance
// of hit and sample point, kind and facet from the hit, gridI / gridJ the
// sample's indices.
//
// Samples: control-point mode takes control point (i, j) and its projection
// onto the surface; otherwise the Greville abscissae refined with three
// values between neighbours. A surface normal shorter than 0.9 skips the
// sample. Hit attempts, each while none was found: hits near the line along
// the normal; a ray with nearest-facet fallback and rayTolerance; with
// snapToHits a ray with nearestFallback; a ray from the point of the normal
// line nearest to a neighbour's fit point (findPreviousNeighbourHit).
// consistentOrientation makes every chosen hit face like the first sample's
// first hit; a sample without such a hit prints " no suitable hit found."
// and tries a plain ray, choosing the first hit that faces like a neighbour's
// facet normal ("selection on second stage: no success." when none).
// A minCosine >= 0 accepts a hit only when |cos(surface normal, facet
// normal)| reaches it.
//
// With orientationFlag: only the vote is taken, true when more than half of
// the fit points (integer division) have a facet normal against the surface
// normal at their parameters; nothing moves.
// Control-point mode otherwise: sigma = sqrt(sum dist2 / (n - 1)) (0 for one
// point); with snapToHits every control point (gridI, gridJ) moves onto its
// hit, else fit points farther than 4.5 sigma from their control point are
// pulled onto that sphere. With peakCorrection every fit point whose kind is
// not 1 moves its control point by f d, d the gap (hit - surface point)
// along the facet normal, f = sqrt(sqrt(3) 1.2 (p - 2) (1 - B)), p the larger
// degree (at least 3) and B the product of the two basis peaks; all gaps are
// measured before any control point moves.
//
// Returns the number of fit points in the array; 0 for a null surface or mesh
// or a cancelled progress sink (points appended before stay).
int selectHitsSecondStage(Fenwo::NurbsSurf* surface, Mesh::CBaseMesh* mesh,
                          CFitPointArray& fitPoints, bool controlPointMode, bool peakCorrection,
                          bool snapToHits, bool consistentOrientation, CProgress* progress,
                          double rayTolerance, double minCosine, bool* orientationFlag,
                          bool nearestFallback);

// Reverses the surface in u when most of its control points' hits face
// against its normal (the vote of selectHitsSecondStage). False only for a
// null mesh; a null surface does nothing and gives true.
bool selectHitsAndUpdate(Fenwo::NurbsSurf* surface, Mesh::CBaseMesh* mesh);

// index := the first fit point, in array order, whose grid indices are one of
// (i, j - 1), (i - 1, j + 1), (i - 1, j), (i - 1, j - 1); -1 when none.
// True when one was found.
bool findPreviousNeighbourHit(const CFitPointArray& fitPoints, int i, int j, int& index);

// Fit points inside a (u, v) polygon: the Greville abscissae of the surface,
// refined with `refinement` values between neighbours when positive, skipped
// outside the polygon (when given) or where the normal is shorter than 0.9;
// hits near the normal line, else a plain ray; the first hit facing like the
// surface (sameSide) or against it (otherwise) becomes a fit point. The
// mesh's own progress sink is stepped once per sample; a cancel ends the
// sampling.
// With addVertices and a thinning level of 3 or less the array is replaced by
// the vertices of the hit facets (uv (0, 0)); "polNums.getCard() = " and
// " vNums.getCard() = " report the counts; the facets are appended to
// `facets` when given. A higher level first thins the vertices through a
// sparse point hash to count / 2^(level - 3) of them.
// Returns the number of fit points; 0 for a null surface or mesh.
int selectPolygonHits(Fenwo::NurbsSurf* surface, Mesh::CBaseMesh* mesh, CFitPointArray& fitPoints,
                      bool sameSide, int refinement, const CVertexList* polygon,
                      Kor::List<int>* facets, bool addVertices, int thinningLevel);

// Appends points within the facet (its polygon fanned into triangles), its
// corners left out, for fitting a surface to a mesh that is coarse against
// the fit: each triangle with a side longer than `coarse` (and than twice
// `spacing`) gives the points of a barycentric grid whose rows divide its
// longest side into parts within the spacing (at most 100), the sides
// included. A finer triangle gives none: its corners shape a fit as a fine
// mesh's do. Points outside the box [low, high] (when given) are skipped:
// a facet reaching far beyond a face gives the points near it alone. Each
// point carries the facet's index (facet), uv (0, 0). Returns the number
// appended; 0 for a null mesh or a spacing that is not positive.
int appendFacetPoints(Mesh::CBaseMesh* mesh, int facet, double spacing, double coarse,
                      CFitPointArray& out, const double* low = nullptr,
                      const double* high = nullptr);
