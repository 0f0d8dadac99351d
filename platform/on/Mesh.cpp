#include "platform/on/Mesh.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// Bit patterns of the coordinates, -0 folded onto +0: equal keys are exactly
// the identical points, and the order is a strict weak one even for NaN.
std::array<std::uint32_t, 3> keyOf(const ON_3fPoint& p)
{
    std::array<std::uint32_t, 3> key;
    const float c[3] = {p.x, p.y, p.z};
    for (int i = 0; i < 3; ++i) {
        float v = c[i] == 0.0f ? 0.0f : c[i];
        std::memcpy(&key[static_cast<size_t>(i)], &v, sizeof v);
    }
    return key;
}

} // namespace

int ON_MeshTopology::TopFaceCount() const
{
    return m_mesh ? m_mesh->FaceCount() : 0;
}

ON_3dPoint ON_MeshTopology::TopVertexPoint(int topVertex) const
{
    const ON_3fPoint* p = m_mesh && topVertex >= 0 && topVertex < TopVertexCount()
                              ? m_mesh->m_V.At(m_firstVertex[static_cast<size_t>(topVertex)])
                              : nullptr;
    if (!p)
        return ON_3dPoint(ON_UNSET_VALUE, ON_UNSET_VALUE, ON_UNSET_VALUE);
    return *p;
}

int ON_MeshTopology::TopVertexOf(int vi) const
{
    return vi >= 0 && vi < static_cast<int>(m_topOfVertex.size())
               ? m_topOfVertex[static_cast<size_t>(vi)]
               : -1;
}

bool ON_MeshTopology::GetTopFaceVertices(int fi, int topVertices[4]) const
{
    if (!m_mesh || fi < 0 || fi >= m_mesh->FaceCount() || !topVertices)
        return false;
    int out[4];
    for (int k = 0; k < 4; ++k) {
        out[k] = TopVertexOf(m_mesh->m_F[fi].vi[k]);
        if (out[k] < 0)
            return false;
    }
    std::copy(out, out + 4, topVertices);
    return true;
}

void ON_MeshTopology::build(const ON_Mesh& mesh)
{
    m_mesh = &mesh;
    const int n = mesh.VertexCount();
    std::vector<int> order(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        order[static_cast<size_t>(i)] = i;
    // Identical points become neighbours; ties keep mesh order, so the first
    // of each run is the lowest index.
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return keyOf(mesh.m_V[a]) < keyOf(mesh.m_V[b]); });
    std::vector<int> runLeader(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) {
        const int v = order[static_cast<size_t>(k)];
        const bool sameAsPrevious =
            k > 0 && keyOf(mesh.m_V[order[static_cast<size_t>(k - 1)]]) == keyOf(mesh.m_V[v]);
        runLeader[static_cast<size_t>(v)] =
            sameAsPrevious ? runLeader[static_cast<size_t>(order[static_cast<size_t>(k - 1)])] : v;
    }
    // Number the topological vertices in the order their leaders appear.
    m_topOfVertex.assign(static_cast<size_t>(n), -1);
    m_firstVertex.clear();
    for (int v = 0; v < n; ++v) {
        const int leader = runLeader[static_cast<size_t>(v)];
        if (leader == v) {
            m_topOfVertex[static_cast<size_t>(v)] = static_cast<int>(m_firstVertex.size());
            m_firstVertex.push_back(v);
        } else {
            m_topOfVertex[static_cast<size_t>(v)] = m_topOfVertex[static_cast<size_t>(leader)];
        }
    }
}

ON_Mesh& ON_Mesh::operator=(const ON_Mesh& other)
{
    if (this != &other) {
        ON_Geometry::operator=(other);
        m_V = other.m_V;
        m_F = other.m_F;
        m_topology.reset();
    }
    return *this;
}

bool ON_Mesh::SetVertex(int i, const ON_3dPoint& point)
{
    if (i < 0 || i > VertexCount())
        return false;
    if (i == VertexCount())
        m_V.Append(ON_3fPoint(point));
    else
        m_V[i] = ON_3fPoint(point);
    m_topology.reset();
    return true;
}

bool ON_Mesh::setFace(int fi, const ON_MeshFace& face)
{
    if (fi < 0 || fi > FaceCount())
        return false;
    if (fi == FaceCount())
        m_F.Append(face);
    else
        m_F[fi] = face;
    m_topology.reset();
    return true;
}

bool ON_Mesh::SetTriangle(int fi, int a, int b, int c)
{
    return setFace(fi, ON_MeshFace{{a, b, c, c}});
}

bool ON_Mesh::SetQuad(int fi, int a, int b, int c, int d)
{
    return setFace(fi, ON_MeshFace{{a, b, c, d}});
}

const ON_MeshTopology& ON_Mesh::Topology() const
{
    if (!m_topology) {
        m_topology = std::make_unique<ON_MeshTopology>();
        m_topology->build(*this);
    }
    return *m_topology;
}

bool ON_Mesh::IsValid(ON_TextLog* textLog) const
{
    for (int i = 0; i < VertexCount(); ++i) {
        const ON_3fPoint& p = m_V[i];
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
            if (textLog)
                textLog->Print("ON_Mesh.m_V[%d] is not finite.\n", i);
            return false;
        }
    }
    for (int f = 0; f < FaceCount(); ++f) {
        const int* v = m_F[f].vi;
        bool inRange = true;
        for (int k = 0; k < 4; ++k)
            inRange = inRange && v[k] >= 0 && v[k] < VertexCount();
        bool distinct = v[0] != v[1] && v[0] != v[2] && v[1] != v[2] &&
                        (m_F[f].IsTriangle() || (v[3] != v[0] && v[3] != v[1]));
        if (!inRange || !distinct) {
            if (textLog)
                textLog->Print("ON_Mesh.m_F[%d] = (%d, %d, %d, %d) is not a triangle or quad of "
                               "the mesh's %d vertices.\n",
                               f, v[0], v[1], v[2], v[3], VertexCount());
            return false;
        }
    }
    return true;
}

bool ON_Mesh::GetBBox(double* boxmin, double* boxmax, bool bGrowBox) const
{
    ON_BoundingBox box;
    for (const ON_3fPoint& p : m_V)
        box.Set(p, true);
    return OnSubset::storeBox(box, boxmin, boxmax, bGrowBox);
}

bool ON_Mesh::Transform(const ON_Xform& xform)
{
    for (ON_3fPoint& p : m_V)
        p = ON_3fPoint(xform * ON_3dPoint(p));
    m_topology.reset();
    return true;
}

void ON_Mesh::DestroyRuntimeCache(bool)
{
    m_topology.reset();
}
