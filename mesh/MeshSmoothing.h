#pragma once
// The per-vertex steps of the triangle mesh's smoothing (the operations
// themselves are members of Mesh::CMesh<Mesh::CSTLVertex>, declared with the
// mesh): the Umbrella displacement of one vertex and the normal update of
// the far end of an edge.
//
// Both read the per-vertex edge lists that exist only while a smoothing
// runs. Thread-safety: none; they write the vertices and triangles of their
// mesh.

#include "mesh/TriangleMesh.h"

// Stores in v.work the vertex's Umbrella displacement: half the mean, over
// the triangles of its edges (each adjacent triangle of each edge), of
// d n with n the vertex normal and d = n.(c - v), c the triangle's centroid.
// Zero without edge list or triangles.
void umbrellaSmoothVertex(Mesh::CTriangleMesh& mesh, Mesh::CSTLVertex& v);

// Recomputes the normal of the end of e that is not v from the triangles of
// its edges (the area-weighted sum of their recomputed normals, normalised;
// a vertex whose triangles give no direction keeps its normal). False when
// that end has no edge list.
bool updateVertexNormalFromEdge(Mesh::CSTLVertex& v, Mesh::CTriangularEdge& e);
