#pragma once
// Approximation on mesh hits: a surface (or a curve) replaced by a new one of
// the same knot vectors that passes through the mesh points found along the
// normals at its Greville parameters; the deviation of the result from the
// mesh is measured at the middle of every knot span.
//
// Ownership: the results are new objects owned by the caller (null on
// failure); the geometry and the mesh are only read.
// Thread-safety: the sparse solvers are process-wide; one fit at a time.

#include "foundation/Vector.h"

#include <vector>

class CProgress;
namespace Fenwo {
class NurbsSurf;
}
namespace Mesh {
class CBaseMesh;
}

// A surface: the grid of Greville samples, each replaced by its first mesh
// hit along the surface normal (hits near the normal line, else a plain ray;
// a sample without a hit keeps the surface point), fitted on the surface's
// own knots ("start interpoaltion on" with the counts on standard output);
// when that fit fails, on uniform knots of degree 3 with fresh parameters.
// holdBoundary (own-knots fit only): the first and last rows and columns are
// the input's; keepTangentRows also the second and last but one. Then the
// distances to the mesh at the span midpoints are printed as
// "interpolate dStat = " and their statistic.
// A curve-like geometry takes collectCurveFitPoints.
// Null for a null geometry or mesh, a cancelled sink or failing fits.
Fenwo::NurbsSurf* approximateOnHits(Fenwo::NurbsSurf* geometry, Mesh::CBaseMesh* mesh,
                                    bool holdBoundary, bool keepTangentRows, CProgress* progress);

// A point the curve road's result must pass through: the point at
// parameter t of the given curve is replaced by `point` itself instead of a
// mesh hit near it (a poly-line's ends and junctions, which lie on the mesh
// and where other poly-lines meet it).
struct HeldCurvePoint {
    double t = 0.0;
    Vector point;
};

// The curve road: at every distinct Greville parameter of the curve the
// first mesh hit near the curve point (else along +z) becomes a fit point,
// a sample without a hit keeps the curve point, and a curve of the same
// degree is interpolated through them by chord length.
// held (may be null): each held point is a sample of its own at its
// parameter, in place of the Greville sample it lies near (within half the
// way to that sample's neighbours), or between two samples; the result
// passes through it. On success each held point's t is its parameter on the
// new curve; on failure the held points are unchanged.
// Null for a null curve or mesh or fewer than two hits.
Fenwo::NurbsSurf* collectCurveFitPoints(Fenwo::NurbsSurf* curve, Mesh::CBaseMesh* mesh,
                                        std::vector<HeldCurvePoint>* held = nullptr);
