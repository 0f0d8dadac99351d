#include "mesh/VertexSampling.h"

#include "foundation/SparsePointHash.h"
#include "mesh/MeshGeometry.h"

#include <cmath>
#include <vector>

bool sampleVerticesByHash(Mesh::CBaseMesh* mesh, const Kor::List<int>& vertexIndices,
                          int targetCount, Kor::List<int>& result)
{
    result.count = 0;
    if (mesh == nullptr || vertexIndices.count == 0)
        return true;
    std::vector<float> xyz;
    std::vector<int> owner; // the vertex of each stored point
    xyz.reserve(3 * std::size_t(vertexIndices.count));
    CVertex<float, 3> p;
    for (int v : vertexIndices)
        if (mesh->getVertex(v, p) && std::isfinite(p.data[0]) && std::isfinite(p.data[1]) &&
            std::isfinite(p.data[2])) {
            xyz.insert(xyz.end(), {p.data[0], p.data[1], p.data[2]});
            owner.push_back(v);
        }
    if (owner.empty())
        return true;
    Kor::List<float*> points;
    points.setCapacity(int(owner.size()), false);
    for (std::size_t k = 0; k < owner.size(); ++k)
        points.append(&xyz[3 * k]);

    CSparsePointHash hash;
    hash.cellSize = 10.0;
    hash.fitCellSize(points, targetCount, hash.cellSize, 0.1);
    hash.clear();
    hash.invCellSize = 1.0 / std::max(hash.cellSize, 1e-8);
    for (float* q : points)
        hash.insert(q);

    while (CSparsePointHash::Leaf* cell = hash.nextCell()) {
        const CVertex<double, 3>& centre = cell->centroid();
        int nearest = 0;
        double d2 = 0.0;
        if (!cell->findNearest(centre.data, nearest, d2))
            nearest = 0;
        result.append(owner[std::size_t(cell->points.data[nearest] - xyz.data()) / 3]);
    }
    hash.clear();
    return true;
}

bool collectFacetVertices(Mesh::CBaseMesh* mesh, const Kor::List<int>& facets,
                          Kor::List<int>& vertices)
{
    vertices.count = 0;
    if (mesh == nullptr)
        return false;
    for (int f : facets) {
        const int size = mesh->getFacetSize(f);
        for (int k = 0; k < size; ++k) {
            const int v = mesh->getPolygonVertexIndex(f, k);
            if (v >= 0)
                vertices.append(v);
        }
    }
    vertices.count = sortUnique(vertices.data, vertices.count);
    return vertices.count > 0;
}
