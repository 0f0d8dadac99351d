// CParCurve: a curve on a surface that owns its uv curve and keeps a faceted
// image of itself (facet parameters, their uv points and space points) for
// the net, the trimmed faces and the healing. It can carry a companion
// three-dimensional curve (its edge record) refitted from it, which always
// runs the same way as the uv curve.
//
// Ownership: the curve owns its uv curve and its edge record (which owns its
// curve); the surface is not owned. clone returns a new curve owned by the
// caller.
// Thread-safety: as CCONS; faceting and refitting also use the process-wide
// projection solvers.
#pragma once

#include "curves/CurveOnSurface.h"
#include "foundation/KorList.h"
#include "foundation/Tuple.h"
#include "foundation/Vertex.h"
#include "geometry/Edge.h"

namespace Fenwo {
class NurbsSurf;
}

class CParCurve : public CCONS {
public:
    Kor::List<CVertex<double, 3>> spacePoints; // surface points at the facet parameters
    Kor::List<tuple<double, 2>> uvPoints;      // (u, v) at the facet parameters
    Kor::List<double> facetParameters;
    CEdge* edge = nullptr; // owned; null when there is none

    // Takes the uv curve over. With withEdge (and a uv curve) an edge record
    // is made whose curve is reApproximateCurve(3, 0.01, false), and the
    // facet image is built at tolerance 0.1; otherwise the lists stay empty.
    CParCurve(CParametricGeometry* uvCurve, CParametricGeometry* surface, bool withEdge);
    // Takes the uv curve over; the edge record (made only for a curve) pairs
    // the surface with the given space curve, which it then owns. The facet
    // image is built at tolerance 0.1.
    CParCurve(CParametricGeometry* uvCurve, CParametricGeometry* curve,
              CParametricGeometry* surface);
    // Deletes the edge record and the uv curve.
    ~CParCurve() override;

    // Rebuilds the three lists: the facet parameters of the curve (chord
    // tolerance tol, at most 2500, verified, chord ends refined; kinks always
    // kept), or when that gives fewer than two, those at tol / 10 (at most
    // 2000, ends not refined); then each one's uv point and surface point.
    // The tolerance and the samples are those sampleAllowance gives the
    // curve at tol (each polynomial piece of it what it asks for, up to 250
    // chords): the faceting spends at most 320 curve evaluations per sample
    // allowed (a chord end search counted as 250), and no curve keeps more
    // samples than allowed (thinParameters).
    // Returns the number of space points.
    int updateSpacePoints(double tol);

    // Reverses the uv curve and the edge's curve together (physically when
    // both are NURBS curves), then refreshes the lists at 0.1.
    void reverseU() override;
    // A curve on the same surface with a clone of the uv curve and no edge,
    // its lists filled through setDomain with this curve's domain.
    CParametricGeometry* clone() const override;
    // clone, as a trim curve.
    CParCurve* duplicate() const;
    // The edge record's space curve, null without one.
    CParametricGeometry* getSpaceCurve() const { return edge != nullptr ? edge->curve : nullptr; }
    // Refers the curve and its edge record to surface s (not owned).
    void setSurface(CParametricGeometry* s);
    // The uv curve's domain, then the lists refreshed at 0.1.
    void setDomain(int dir, const Interval& domain) override;

    // A NURBS curve in space for this curve (surface and uv curve NURBS): the
    // exact iso curve of the surface when the uv curve runs along a
    // parameter line (cut to its range, reversed when it runs backwards);
    // otherwise reInterpolate with check (approximate false), or the
    // poly-line fit of three samples per facet with tangents (approximate
    // true), whose error statistics are printed. New curve owned by the
    // caller; null when none can be made.
    Fenwo::NurbsSurf* reApproximateCurve(int degree, double tol, bool approximate);
};
