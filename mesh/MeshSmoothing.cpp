// Smoothing of the triangle mesh: the z-move along the vertex normals and the
// Umbrella operator after a robust relaxation of the normals.

#include "mesh/MeshSmoothing.h"

#include "foundation/Random15.h"
#include "foundation/Statistic.h"
#include "mesh/MeshGeometry.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <vector>

namespace Mesh {

namespace {

// Edges shorter than this take no part in the z-move.
constexpr double kShortestEdge = 1e-6;
// Vertices with this many edges or more keep their normal in the relaxation.
constexpr int kMaxRelaxedEdges = 100;

double dot3(const CVertex<float, 3>& a, const CVertex<float, 3>& b)
{
    return double(a.data[0]) * b.data[0] + double(a.data[1]) * b.data[1] +
           double(a.data[2]) * b.data[2];
}

CSTLVertex* otherEnd(const CTriangularEdge& e, const CSTLVertex* v)
{
    return e.a == v ? e.b : e.a;
}

template <class Visit> void forEachVertex(C3DHash<CSTLVertex, float>& hash, Visit visit)
{
    for (int c = 0; c < hash.cells.count; ++c) {
        auto* cell = hash.cells.items[c];
        for (int n = 0; n < cell->items.count; ++n)
            visit(*cell->items.items[n]);
    }
}

void setNormal(CSTLVertex& v, const CVertex<float, 3>& n)
{
    v.direction = n;
    v.normal = n;
}

// The vertex normal from the triangles of its edges, each recomputed first
// (normal and area); unchanged when they give no direction.
void recomputeNormal(CSTLVertex& v)
{
    if (v.edgeList == nullptr)
        return;
    double sum[3] = {0.0, 0.0, 0.0};
    for (CTriangularEdge* e : *v.edgeList)
        for (CTriData* t : {e->first, e->second}) {
            if (t == nullptr)
                continue;
            const double area = triangleNormalAndArea(*t->v[0], *t->v[1], *t->v[2], t->normal);
            t->value = float(area);
            for (int c = 0; c < 3; ++c)
                sum[c] += area * t->normal.data[c];
        }
    const double length = std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
    if (!(length > 0.0) || !std::isfinite(length))
        return;
    setNormal(v, CVertex<float, 3>(float(sum[0] / length), float(sum[1] / length),
                                   float(sum[2] / length)));
}

// The relaxation step of one vertex: its normal plus the normals of the
// neighbours ranked 20 % .. 80 % by their agreement with it.
void relaxNormal(CSTLVertex& v)
{
    if (v.edgeList == nullptr || v.edgeList->count == 0)
        return;
    const int k = v.edgeList->count;
    if (k >= kMaxRelaxedEdges) {
        std::cout << "more than 100 spValues, expect problems. eList=" << k << std::endl;
        return;
    }
    double agreement[kMaxRelaxedEdges];
    int order[kMaxRelaxedEdges];
    for (int j = 0; j < k; ++j) {
        agreement[j] = dot3(v.direction, otherEnd(*v.edgeList->data[j], &v)->direction);
        order[j] = j;
    }
    std::stable_sort(order, order + k, [&](int a, int b) { return agreement[a] < agreement[b]; });
    int lo = int(std::floor(0.2 * k));
    int hi = int(std::ceil(0.8 * (k - 1)));
    if (lo > hi)
        lo = hi = k / 2;
    lo = std::clamp(lo, 0, k - 1);
    hi = std::clamp(hi, 0, k - 1);
    double s[3] = {v.direction.data[0], v.direction.data[1], v.direction.data[2]};
    for (int r = lo; r <= hi; ++r) {
        const CSTLVertex* w = otherEnd(*v.edgeList->data[order[r]], &v);
        for (int c = 0; c < 3; ++c)
            s[c] += w->direction.data[c];
    }
    CVertex<float, 3> n(static_cast<float>(s[0]), static_cast<float>(s[1]),
                        static_cast<float>(s[2]));
    normalize(n);
    setNormal(v, n);
}

// A random index in 0 .. count - 1 from the 15-bit generator.
int randomIndex(int count)
{
    const int r = int(double(globalRandom15().next()) / double(CRandom15::maxValue) * count);
    return std::clamp(r, 0, count - 1);
}

} // namespace

void CMesh<CSTLVertex>::buildVertexEdgeLists()
{
    if (edgeSet.count == 0)
        buildEdgeTable();
    forEachVertex(vertexHash, [](CSTLVertex& v) { v.edgeList = nullptr; });
    for (int n = 0; n < edgeSet.count; ++n) {
        CTriangularEdge* e = edgeSet.items[n];
        for (CSTLVertex* end : {e->a, e->b}) {
            if (end->edgeList == nullptr)
                end->edgeList = new Kor::List<CTriangularEdge*>;
            end->edgeList->append(e);
        }
    }
}

void CMesh<CSTLVertex>::deleteVertexEdgeLists()
{
    forEachVertex(vertexHash, [](CSTLVertex& v) {
        delete v.edgeList;
        v.edgeList = nullptr;
    });
}

void CMesh<CSTLVertex>::rehashVertices()
{
    std::vector<CSTLVertex*> all;
    for (int c = 0; c < vertexHash.cells.count; ++c) {
        auto* cell = vertexHash.cells.items[c];
        for (int n = 0; n < cell->items.count; ++n)
            all.push_back(cell->items.items[n]);
    }
    vertexHash.clear(); // the vertices live on in `all`
    for (CSTLVertex* v : all) {
        int i, j, k;
        vertexHash.cellKey(*v, i, j, k);
        auto* cell = vertexHash.findOrCreateCell(i, j, k);
        int index = -1;
        // Two vertices moved onto one point both stay: the triangles refer
        // to each of them.
        cell->items.find(v, index, &lessVertex<CSTLVertex>);
        cell->items.insertAt(v, index);
        cell->box.add(*v);
    }
    modified = true;
    releaseFacetHash();
}

void CMesh<CSTLVertex>::zMoveSmooth()
{
    buildVertexEdgeLists();
    CStatistic moves;
    forEachVertex(vertexHash, [&](CSTLVertex& v) {
        const CVector<float, 3> n = v.direction;
        double sum = 0.0;
        int counted = 0;
        if (v.edgeList != nullptr)
            for (CTriangularEdge* e : *v.edgeList) {
                if (e->a != &v && e->b != &v) {
                    std::cout << "wrong edge !" << std::endl;
                    continue;
                }
                const CSTLVertex& w = *otherEnd(*e, &v);
                const CVector<float, 3> edge = w - v;
                const double d = std::sqrt(dot3(edge, edge));
                if (d < kShortestEdge) {
                    std::cout << "di too small di=" << d << std::endl;
                    continue;
                }
                const double g = dot3(n, w.direction);
                if (g < 0.0)
                    continue;
                const double c = dot3(n, edge) / d;
                double q = (1.0 - g) * (1.0 - c * c) / std::max(1.0 + g, 1e-8);
                if (q < 1e-16)
                    q = 1e-16;
                sum += (std::sqrt(q) + c) * d;
                ++counted;
            }
        const double z = sum / (2.0 * std::max(counted, 1));
        if (counted > 0) {
            addScaled(v, z, n);
            recomputeNormal(v);
            for (CTriangularEdge* e : *v.edgeList)
                updateVertexNormalFromEdge(v, *e);
        }
        moves.add(std::fabs(z));
    });
    if (moves.count > 0)
        std::cout << "zMove-Statistics = " << moves << " with d0=" << d0 << std::endl;
    deleteVertexEdgeLists();
    rehashVertices();
}

void CMesh<CSTLVertex>::umbrellaSmooth(int iterations)
{
    if (iterations < 1)
        return;
    buildVertexEdgeLists();
    int vertexCount = 0;
    forEachVertex(vertexHash, [&](CSTLVertex& v) {
        v.work = v.direction;
        ++vertexCount;
    });
    const long steps = long(vertexCount) * iterations;
    for (long s = 0; s < steps; ++s) {
        auto* cell = vertexHash.cells.items[randomIndex(vertexHash.cells.count)];
        if (cell->items.count > 0)
            relaxNormal(*cell->items.items[randomIndex(cell->items.count)]);
    }
    std::cout << "applying Umbrella operator" << std::endl;
    forEachVertex(vertexHash, [&](CSTLVertex& v) { umbrellaSmoothVertex(*this, v); });
    std::cout << "applygin changes" << std::endl;
    forEachVertex(vertexHash, [](CSTLVertex& v) { v += v.work; });
    std::cout << "deleting data" << std::endl;
    deleteVertexEdgeLists();
    for (CTriData& t : triangles)
        t.value = float(triangleNormalAndArea(*t.v[0], *t.v[1], *t.v[2], t.normal));
    rehashVertices();
}

} // namespace Mesh

void umbrellaSmoothVertex(Mesh::CTriangleMesh&, Mesh::CSTLVertex& v)
{
    double sum[3] = {0.0, 0.0, 0.0};
    int count = 0;
    if (v.edgeList != nullptr)
        for (Mesh::CTriangularEdge* e : *v.edgeList)
            for (Mesh::CTriData* t : {e->first, e->second}) {
                if (t == nullptr)
                    continue;
                double d = 0.0;
                for (int c = 0; c < 3; ++c) {
                    const double centroid =
                        (double(t->v[0]->data[c]) + t->v[1]->data[c] + t->v[2]->data[c]) / 3.0;
                    d += double(v.direction.data[c]) * (centroid - v.data[c]);
                }
                for (int c = 0; c < 3; ++c)
                    sum[c] += d * v.direction.data[c];
                ++count;
            }
    for (int c = 0; c < 3; ++c)
        v.work.data[c] = float(0.5 * sum[c] / std::max(count, 1));
}

bool updateVertexNormalFromEdge(Mesh::CSTLVertex& v, Mesh::CTriangularEdge& e)
{
    Mesh::CSTLVertex* far = e.a == &v ? e.b : e.a;
    if (far == nullptr || far->edgeList == nullptr)
        return false;
    Mesh::recomputeNormal(*far);
    return true;
}
