#pragma once
// The facet hash of a mesh and the ray and point hits answered through it.
//
// The members of Mesh::CBaseMesh that build the facet hash (buildFacetHash)
// and cast rays or points against the mesh (setRay, rayFacetHit, hit,
// hitWithFacetHash, hitNearest, getFirstHit, pickAlongRay,
// findNearestVertex, addHit) are declared in mesh/BaseMesh.h and defined in
// mesh/FacetHash.cpp. This header adds the ordering of hit records that the
// hit sets share.
//
// Ownership: a hit set (Kor::Set<CBaseHitInfo>) owns its records; addHit
// inserts copies. The facet hash holds pointers into the mesh's centroid
// array, which the mesh owns.
// Thread-safety: the hit operations use the mesh's ray frame and the hash's
// query lists; one caller at a time per mesh (the projection routines take
// the mesh's lock around them).

#include "mesh/BaseMesh.h"

// Order of hit records by their distance along the ray; records with equal
// distances are the same hit for a hit set. An overload of the foundation's
// comparison of records by their third double: a hit's distance is its own
// field, not the third double of its storage.
bool lessByThirdDouble(const Mesh::CBaseMesh::CBaseHitInfo* a,
                       const Mesh::CBaseMesh::CBaseHitInfo* b);

namespace Mesh {

// Orders items[0..n) by ascending distance, keeping the order of equal
// distances. Does nothing for n < 2 or null items.
void sortHits(CBaseMesh::CBaseHitInfo** items, int n);

} // namespace Mesh
