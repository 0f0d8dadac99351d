#pragma once
// The derived records of a CFlatMesh, built by computeDerivedData and
// pairPolygonLegs: one CFlatMesh::MeshVertex per vertex (its coordinates,
// normal, target normal and displacement, the edge-table records at the
// vertex and its polygon legs), one CFlatMesh::CFacetRecord per polygon and
// the CFlatMesh::CPolygonLeg records the vertices' leg lists view.
//
// Ownership: every record is a view. The coordinates live in the mesh's
// coordinate blocks, the vectors in the mesh's normal arrays, the edges in the
// base's edge table and the legs in the mesh's leg array; the records free
// none of them (the edge sub-set frees only its own pointer array). Any
// operation that rebuilds the coordinate blocks or the edge table must clear
// the derived data first.
// Thread-safety: none; the records belong to their mesh.

#include "foundation/KorList.h"
#include "foundation/KorSubSet.h"
#include "mesh/FlatMesh.h"
#include "mesh/SimpleVertex.h"

// One corner of a polygon seen from a vertex: the vertex that follows it in
// the polygon, the one that precedes it, and the polygon; -1 when unset.
struct CFlatMesh::CPolygonLeg {
    int next = -1;
    int previous = -1;
    int polygon = -1;
};

// Per-polygon derived values: the unit normal (a view of the polygon's three
// floats of the facet normal storage), the area and a curvature value.
struct CFlatMesh::CFacetRecord {
    CSimpleVector3f normal;
    float area = 0.0f;
    float curvature = 0.0f;
};

// Per-vertex derived record; the base views the vertex's coordinates.
class CFlatMesh::MeshVertex : public CSimpleVertex3f {
public:
    CSimpleVector3f normal;       // vertex normal
    CSimpleVector3f target;       // next value of the normal during relaxation
    CSimpleVector3f displacement; // displacement along the normal
    // Every interior coedge starting at this vertex and every boundary edge
    // with this vertex at either end, each once.
    Kor::SubSet<Mesh::CBaseMesh::CPolygonEdge> edges;
    // This vertex's slice of the mesh's leg array.
    Kor::SimpleList<CFlatMesh::CPolygonLeg> legs;

    MeshVertex() = default;
    MeshVertex(const MeshVertex&) = delete;
    MeshVertex& operator=(const MeshVertex&) = delete;
    ~MeshVertex() override = default;
};
