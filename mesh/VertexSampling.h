#pragma once
// Thinning the vertices of a mesh through the sparse point hash, and the
// distinct vertices of a set of facets.
//
// Ownership: the results are written into lists the caller owns.
// Thread-safety: the functions read the mesh through its vertex and facet
// operations; one caller per mesh.

#include "foundation/KorList.h"
#include "mesh/BaseMesh.h"

// Thins the listed vertices to about targetCount: the cell size of a
// CSparsePointHash is tuned (from 10.0, within 10 %) until the vertices
// occupy about that many cells, and each occupied cell gives the vertex
// nearest to the centroid of its vertices (the first of equally near ones).
// result (emptied first) receives those vertex indices in cell order.
// Vertices that cannot be read or are not finite take no part. True.
bool sampleVerticesByHash(Mesh::CBaseMesh* mesh, const Kor::List<int>& vertexIndices,
                          int targetCount, Kor::List<int>& result);

// vertices (emptied first) := the vertex indices of every corner of the
// listed facets, ascending and without repeats. True when any.
bool collectFacetVertices(Mesh::CBaseMesh* mesh, const Kor::List<int>& facets,
                          Kor::List<int>& vertices);
