// Meshes of the openNURBS subset: ON_Mesh with single-precision vertices and
// four-index faces (a triangle repeats its third index as the fourth), and
// ON_MeshTopology, which merges vertices with identical coordinates into
// topological vertices.
//
// The mesh owns its topology, built on first use. Changing m_V or m_F
// directly requires DestroyRuntimeCache; SetVertex, SetTriangle and SetQuad
// drop the topology themselves. Not thread-safe: the first Topology() call
// builds the cache.
#pragma once

#include "platform/on/Object.h"

#include <memory>
#include <vector>

struct ON_MeshFace {
    int vi[4] = {0, 0, 0, 0};

    bool IsTriangle() const { return vi[2] == vi[3]; }
    bool IsQuad() const { return vi[2] != vi[3]; }
};

class ON_Mesh;

class ON_MeshTopology {
public:
    // Topological vertices, numbered in the order their first mesh vertex
    // appears in the mesh.
    int TopVertexCount() const { return static_cast<int>(m_firstVertex.size()); }
    // One per mesh face.
    int TopFaceCount() const;
    // ON_UNSET_VALUE coordinates for an index out of range.
    ON_3dPoint TopVertexPoint(int topVertex) const;
    // The topological vertex of mesh vertex vi; -1 out of range.
    int TopVertexOf(int vi) const;
    // The topological vertices of face fi, a triangle with its third index
    // repeated. False (output unchanged) for a face out of range or one that
    // names a vertex the mesh does not have.
    bool GetTopFaceVertices(int fi, int topVertices[4]) const;

private:
    friend class ON_Mesh;
    void build(const ON_Mesh& mesh);

    const ON_Mesh* m_mesh = nullptr;
    std::vector<int> m_topOfVertex;
    std::vector<int> m_firstVertex;
};

class ON_Mesh : public ON_Geometry {
public:
    ON_SimpleArray<ON_3fPoint> m_V;
    ON_SimpleArray<ON_MeshFace> m_F;

    ON_Mesh() = default;
    ON_Mesh(const ON_Mesh& other) : ON_Geometry(other), m_V(other.m_V), m_F(other.m_F) {}
    ON_Mesh& operator=(const ON_Mesh& other);

    static ON_Mesh* Cast(ON_Object* object) { return dynamic_cast<ON_Mesh*>(object); }
    static const ON_Mesh* Cast(const ON_Object* object)
    {
        return dynamic_cast<const ON_Mesh*>(object);
    }

    ON::object_type ObjectType() const override { return ON::mesh_object; }

    int VertexCount() const { return m_V.Count(); }
    int FaceCount() const { return m_F.Count(); }
    // Sets vertex i; i == VertexCount() appends. False for other indices.
    bool SetVertex(int i, const ON_3dPoint& point);
    // Sets face fi (fi == FaceCount() appends); vertex indices are checked by
    // IsValid, not here. False for other face indices.
    bool SetTriangle(int fi, int a, int b, int c);
    bool SetQuad(int fi, int a, int b, int c, int d);

    const ON_MeshTopology& Topology() const;

    // Faces name existing vertices, triangles have three distinct indices,
    // quads four, and every vertex is finite.
    bool IsValid(ON_TextLog* textLog = nullptr) const override;
    bool GetBBox(double* boxmin, double* boxmax, bool bGrowBox = false) const override;
    bool Transform(const ON_Xform& xform) override;
    void DestroyRuntimeCache(bool bDelete = true) override;

private:
    bool setFace(int fi, const ON_MeshFace& face);

    mutable std::unique_ptr<ON_MeshTopology> m_topology;
};
