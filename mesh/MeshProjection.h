#pragma once
// Projection onto the mesh: where a point, a line or a ray meets a mesh, and
// the mesh normal near a point. Used by the grid editing (snapping grid points
// and poly-line segments onto the mesh), the per-face approximation and the
// seam sampling. Works on any Mesh::CBaseMesh through its virtual operations.
//
// Two layers: the candidate layer collects the facets near a point or a line
// through the mesh's facet hash and measures candidate lists; the hit search
// casts a ray against candidates, and the entry operations choose the
// candidates, the ray and the retries. Every query radius is a factor of the
// facet hash's cell size. None of these operations builds the facet hash:
// without hash cells they find nothing.
//
// Ownership: hit sets and candidate lists belong to the caller. The entry
// operations empty the hit set first (deleting the records an owning set
// holds); the records added are new copies owned by the set.
// Thread-safety: the facet hash keeps the results of its last radius query
// inside itself and the hit search uses the mesh's ray frame and scratch
// members. meshNormalNearPoint, meshHitsNearPoint and meshHitsAlongDirection
// hold the mesh's lock for their whole run; meshHitsOnLine and the
// lower-level operations take no lock, so a caller sharing the mesh between
// threads holds mesh->lock() around them.

#include "foundation/KorList.h"
#include "foundation/KorSet.h"
#include "foundation/Vertex.h"
#include "mesh/BaseMesh.h"

#include <vector>

namespace Mesh {

using HitSet = Kor::Set<CBaseMesh::CBaseHitInfo>;

// Candidate layer ----------------------------------------------------------

// The facets with a hashed point within factor x cell size of p, ascending
// and without duplicates. False (list empty) for a null mesh, a mesh without
// hash cells, or when nothing lies within the radius.
bool facetsNearPoint(CBaseMesh* mesh, const CVertex<float, 3>& p, Kor::List<int>& list,
                     double factor);

// The facets of every hash cell whose box centre lies within factor x cell
// size of the line through p with direction d (any length; a zero direction
// measures the distance from p). Tests only the cells along the line (all
// of them for a zero direction). Ascending, no duplicates; false (list
// empty) when none.
bool facetsNearLine(CBaseMesh* mesh, const CVertex<float, 3>& p, const CVertex<float, 3>& d,
                    Kor::List<int>& list, double factor);

// Area-weighted mean of the unit normals of the listed facets, each turned to
// agree with the running sum (so inconsistently oriented facets do not
// cancel); facets of non-finite area are skipped. Unit length at every
// scale, or the zero vector when nothing contributes.
CVector<float, 3> meanFacetNormal(CBaseMesh* mesh, const Kor::List<int>& list);

// Mean position of the distinct vertices of the listed facets; (0, 0, 0) for
// an empty list.
CVertex<float, 3> facetVertexCentroid(CBaseMesh* mesh, const Kor::List<int>& list);

// The unit normal of facet `facet`; with smooth, the mean normal of the
// listed facets that share a corner with it (corners closer than 1e-3, a
// distance that shrinks with facets smaller than unit size). Falls back to
// the facet's own normal when no listed facet qualifies.
CVector<float, 3> smoothedFacetNormal(CBaseMesh* mesh, const Kor::List<int>& list, int facet,
                                      bool smooth);

// Hit search -----------------------------------------------------------------

// Casts the line through p along d (any non-zero length) against the listed
// facets, hit from either side, and adds one record per distinct distance
// |t| along the unit direction. With fallback and no hit, the nearest edge
// of the nearest listed facet (facets of at most 20 corners) gives one hit:
// the point of the line nearest to that edge, its facet, the largest double
// as its distance value, a normal smoothed over the facets around it and
// flag 1. The set comes back ordered by distance. True when it is not empty.
// A zero or non-finite direction searches nothing.
bool meshHitSearch(CBaseMesh* mesh, const Kor::List<int>& list, const CVertex<float, 3>& p,
                   const CVertex<float, 3>& d, HitSet& hits, bool fallback, double tolerance);

// Appends a copy of the record at the end of the set, without ordering;
// returns the copy (owned like the set's other records).
CBaseMesh::CBaseHitInfo* appendHit(HitSet& hits, const CBaseMesh::CBaseHitInfo& hit);

// Entry operations -------------------------------------------------------------

// The facets a mean normal near a point was last taken over (ascending),
// each facet's area and unit normal as the mean weighed them, and that
// normal: points a little apart (along a curve) mostly meet the same
// facets, whose mean normal is the same, and where the facets differ by a
// few at the rim, the others are not read again. Valid for one mesh while
// it is not edited; the caller keeps it for a run of queries.
struct NearNormalReuse {
    struct Weight {
        double area;
        float normal[3];
    };
    Kor::List<int> facets;
    std::vector<Weight> weights; // of each facet, in the same order
    CVector<float, 3> normal;
};

// The mean facet normal near p (within 0.6 cell sizes, else 1.75). False
// (out untouched) without hash cells, without facets near p, or when their
// normals give no direction. With `reuse`, facets the same as the last
// query's give its normal without reading them again. Holds the mesh's lock.
bool meshNormalNearPoint(CBaseMesh* mesh, const CVertex<float, 3>& p, CVector<float, 3>& out,
                         NearNormalReuse* reuse = nullptr);

// The hits of the line through p along the mean normal of the facets near p
// (radius factor x cell size, widened by 35/12 when the first search finds
// no facet or no hit), nearest first. With synthesise, when there is no hit
// and at least 3 candidate facets, one synthetic hit (facet -1, flag 1,
// normal the mean normal) where that line meets the plane through the
// candidates' vertex centroid. False with an empty set otherwise. Holds the
// mesh's lock.
bool meshHitsNearPoint(CBaseMesh* mesh, const CVertex<float, 3>& p, HitSet& hits, double factor,
                       bool synthesise);

// The hits of the line through p along d against the facets whose hash cells
// lie within factor x cell size of the line, with the nearest-edge fallback
// of meshHitSearch. Takes no lock.
bool meshHitsOnLine(CBaseMesh* mesh, const CVertex<float, 3>& p, const CVertex<float, 3>& d,
                    HitSet& hits, double factor);

// The hits of the line through p along d against the facets near p (radius
// factor x cell size, widened by 19/6 when needed), nearest first. With
// synthesise and no hit, one synthetic hit (facet -1, flag 1, normal the
// candidates' mean normal n) where the line meets the plane through the
// candidates' vertex centroid with normal n, unless the line runs almost
// parallel to that plane (|n . d/|d|| <= 1e-8). Holds the mesh's lock.
bool meshHitsAlongDirection(CBaseMesh* mesh, const CVertex<float, 3>& p, const CVertex<float, 3>& d,
                            HitSet& hits, double factor, bool synthesise);

// The point of the mesh's facets nearest a point: where it lies, how far,
// and on which facet.
struct MeshFoot {
    double point[3] = {0.0, 0.0, 0.0};
    double distance = 0.0;
    int facet = -1;
};

// The point of the mesh's facets (the hashed ones: slivers never are)
// nearest p, when one lies nearer than `within`. The search walks the facet
// hash's cells outwards from p's cell, measures the facets of the items it
// meets exactly (triangles, and larger polygons fanned into triangles), and
// stops once it has met every item within the distance found plus the
// hash's coverage (CFacetHashIndex::coverage): its cost follows the cells
// within that distance, not the mesh's size. False (foot.facet -1) without
// hash cells or when no facet lies nearer than `within`. Holds the mesh's
// lock.
bool nearestMeshPoint(CBaseMesh* mesh, const double p[3], double within, MeshFoot& foot);

} // namespace Mesh

// Squared distance of p from the segment a-b, measured in the plane
// perpendicular to `normal` (any length; a zero normal measures in space).
// t receives the unclamped parameter of p's foot on the segment's line, 0 for
// a segment that is a point in that plane; the distance is taken to the foot
// clamped to the segment.
float pointSegmentDistance2InPlane(const CVertex<float, 3>& a, const CVertex<float, 3>& b,
                                   const CVertex<float, 3>& p, const CVertex<float, 3>& normal,
                                   double& t);
