#pragma once
// Plane sections of a mesh: a family of parallel planes cuts the mesh, each
// facet gives at most one segment per plane, the segments' end points are
// merged into section vertices (kept in a grid of cells keyed as the
// spatial hash keys its cells), the segments are chained into paths, and
// every path becomes a degree-1 NURBS curve (a Fenwo::NurbsSurf used as a
// curve): CyclicEnd when the path closes, ClampedEnd otherwise. Works on any
// Mesh::CBaseMesh through its virtual operations.
//
// Ownership: curves appended to a caller's list are new objects owned by the
// caller. Segment lists hold their records by value.
// Thread-safety: the operations read the mesh through its facet operations
// and keep their own vertices; distinct meshes may be cut concurrently.

#include "foundation/KorList.h"
#include "foundation/Vertex.h"
#include "geometry/Interval.h"
#include "mesh/BaseMesh.h"

namespace Fenwo {
class NurbsSurf;
}

namespace MeshFunctions {

// One segment of a facet cut by plane `plane` of a family.
class PolyPlaneIntersection {
public:
    int plane = 0;  // index of the plane in its family
    int second = 0; // set to 0 by the section code
    CVertex<float, 3> first;
    CVertex<float, 3> last;

    PolyPlaneIntersection() = default;
    PolyPlaneIntersection(const CVertex<float, 3>& a, const CVertex<float, 3>& b, int planeIndex,
                          int secondIndex)
        : plane(planeIndex), second(secondIndex), first(a), last(b)
    {
    }
    virtual ~PolyPlaneIntersection() = default;
};

using SegmentList = Kor::List<PolyPlaneIntersection>;
using CurveList = Kor::List<Fenwo::NurbsSurf*>;

// (v - o).a summed in double: the height of a point along an axis. The
// section heights and the mesh extents use this one formula, so a plane
// placed at an extreme height meets the extreme vertex exactly.
double heightAlong(const CVertex<float, 3>& v, const CVertex<float, 3>& o,
                   const CVertex<float, 3>& a);

// Cuts the mesh with count planes perpendicular to n: plane i (t = i /
// max(count - 1, 1)) lies at the height (n.m) x ((1 - t) range.min +
// t range.max) along n from p, the factor n.m taken as exactly 1 when m is
// n itself. Each facet gives plane i one segment between the first and the
// last distinct crossing points of its edges with the plane (a corner on the
// plane counts once; an edge lying in the plane is given by its corners;
// "efCount=3, mystery" is printed where three crossings were found). A
// facet that only touches the plane gives none. Segments are then filtered:
// without side, when maxDistance > 0, a segment with both ends farther than
// maxDistance from p is dropped; with side, a segment wholly behind the
// plane through start (or wholly beyond the plane through end) with normal
// side is dropped, and so is a segment equal to one its plane already has
// (the same two ends, either way round). The segments are appended plane by
// plane, facets in index order. False (list empty) for a null mesh or
// count < 1; otherwise true when the list is not empty. The range's validity is not read.
bool intersectMeshWithPlanes(Mesh::CBaseMesh* mesh, const CVertex<float, 3>& p,
                             const CVector<float, 3>& n, const CVector<float, 3>& m, int count,
                             Interval range, SegmentList& segments,
                             const CVector<float, 3>* side = nullptr,
                             const CVertex<float, 3>* start = nullptr,
                             const CVertex<float, 3>* end = nullptr, double maxDistance = -1.0);

// Chains the segments into paths and appends one degree-1 curve per path.
// Ends of one plane closer than the merge radius r = sqrt(max(tolerance^2,
// shortest squared segment length / 5)) become one vertex (the first vertex
// found within r, cells in key order and a cell's vertices in the order of
// their positions); ends of different planes stay apart, except that an end
// at exactly a vertex's position takes that vertex. A path runs from a
// vertex of degree 1 where there is one, else from the first vertex in cell
// order that still has neighbours, and follows the first untraced
// neighbour; where it ends, a vertex of the same plane with untraced
// neighbours within r continues it ("new Path continuation found, fMin="
// and the distance are printed). Tracing ends when no vertex keeps
// neighbours. A path returning to its start (or
// ending within squared distance 0.1 of it) is closed and gives a CyclicEnd
// curve through its distinct vertices; paths whose curve is shorter than
// 2 r^2 are dropped. Always true.
bool followSectionPath(const SegmentList& segments, CurveList& curves, double tolerance);

// The whole section: intersectMeshWithPlanes, then followSectionPath with
// tolerance 0.001, either over all segments or, with perPlane, plane by
// plane, the pieces of one plane joined into one curve and the output
// oriented by orientSectionCurves. True when the curve list is not empty.
bool meshPlaneSection(Mesh::CBaseMesh* mesh, const CVertex<float, 3>& p, const CVector<float, 3>& n,
                      const CVector<float, 3>& m, int count, Interval range, CurveList& curves,
                      const CVector<float, 3>* side, const CVertex<float, 3>* start,
                      const CVertex<float, 3>* end, double maxDistance, bool perPlane);

// meshPlaneSection with m = n, no side, end points or distance filter and
// not per plane, given up where the section breaks into more than maxPieces
// pieces: the ends are merged plane by plane, and when, after a plane's last
// segment, the segments merged so far form more than maxPieces separate
// parts (sets of segments connected through their merged ends: each open
// path and each loop of a section one), nothing is traced. A section that
// never has more than maxPieces parts gives the curves meshPlaneSection
// gives; a mesh whose facets share no edges gives a part per segment and
// is given up after its first planes' segments. False, with nothing
// appended, when given up; true otherwise (also when the planes miss the
// mesh). maxPieces <= 0 sets no bound.
bool meshPlaneSectionWithin(Mesh::CBaseMesh* mesh, const CVertex<float, 3>& p,
                            const CVector<float, 3>& n, int count, Interval range,
                            CurveList& curves, int maxPieces);

// Reverses each curve whose chord points against the previous curve's
// (orientCurvesConsistently).
void orientSectionCurves(CurveList& curves);

} // namespace MeshFunctions
