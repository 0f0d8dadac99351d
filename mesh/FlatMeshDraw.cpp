// Drawing of a flat mesh (vertex normals, boundary edges, polygons coloured
// by a per-facet value) and the curvature-indicator statistics.
#include "mesh/FlatMesh.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>

#include "foundation/StopUhr.h"
#include "foundation/Vector.h"
#include "mesh/MeshGeometry.h"
#include "mesh/MeshVertex.h"
#include "mesh/PointNormal.h"

namespace {

constexpr int kPlainFacets = 0x8;
constexpr int kBoundaryEdges = 0x10;
constexpr int kNormalVariation = 0x80;
constexpr int kVertexNormals = 0x200;
constexpr double kSmallestMaximum = 1e-16;

// Every value becomes sign(v) (|v| / m)^0.2, which spreads small values
// over the colour range. Nothing changes when m is not positive.
void compressValues(float* values, int n, double m)
{
    if (!(m > 0.0))
        return;
    for (int i = 0; i < n; ++i) {
        const double v = values[i];
        const double c = std::pow(std::fabs(v) / m, 0.2);
        values[i] = float(v < 0.0 ? -c : c);
    }
}

double largestMagnitude(const float* values, int n)
{
    double m = 0.0;
    for (int i = 0; i < n; ++i)
        m = std::max(m, double(std::fabs(values[i])));
    return m;
}

} // namespace

void CFlatMesh::draw(int mode)
{
    if (!hasFacetValues() && (mode & kNormalVariation) == 0 && (mode & kPlainFacets) != 0)
        Mesh::CBaseMesh::draw(kPlainFacets);

    if ((mode & kVertexNormals) != 0 && derived.vertexCount > 0) {
        glPointSize(1.0f);
        glColor3f(1.0f, 1.0f, 1.0f);
        const CStatistic stat = getEdgeLengthStatistics();
        const double length =
            stat.count > 1 ? std::sqrt(stat.sumSquares / (stat.count - 1)) : double(stat.count - 1);
        std::cout << "drawing VertexNormals with len = " << length << std::endl;
        glBegin(GL_LINES);
        for (int v = 0; v < derived.vertexCount; ++v) {
            const MeshVertex& vertex = derived.vertices[v];
            glVertex3fv(vertex.data);
            glVertex3f(float(vertex.data[0] + length * vertex.normal.data[0]),
                       float(vertex.data[1] + length * vertex.normal.data[1]),
                       float(vertex.data[2] + length * vertex.normal.data[2]));
        }
        glEnd();
    }

    if ((mode & kBoundaryEdges) != 0) {
        if (edges.count == 0)
            buildTopology();
        glDisable(GL_LIGHTING);
        glDisable(GL_DEPTH_TEST);
        glColor3f(1.0f, 0.0f, 0.0f);
        Point a, b;
        glBegin(GL_LINES);
        for (int e = 0; e < edges.count; ++e) {
            const CPolygonEdge& edge = edges.data[e];
            if (edge.facet1 < 0 || edge.facet2 != -1)
                continue;
            if (getVertex(edge.vertex0, a) && getVertex(edge.vertex1, b)) {
                glVertex3fv(a.data);
                glVertex3fv(b.data);
            }
        }
        glEnd();
    }

    if ((mode & kNormalVariation) != 0) {
        glDisable(GL_LIGHTING);
        glDisable(GL_DEPTH_TEST);
        if (!hasFacetValues()) {
            const bool builtHere = edges.count == 0;
            if (builtHere)
                buildTopology();
            const int n = getFacetCount();
            facetValues.removeAll();
            facetValues.setCapacity(n, false);
            for (int i = 0; i < n; ++i)
                facetValues.append(0.0f);
            std::unique_ptr<CPointNormal[]> frames(new CPointNormal[std::max(n, 1)]);
            for (int i = 0; i < n; ++i) {
                getFacetCentroid(i, frames[i].point);
                getFacetAreaAndNormal(i, frames[i].normal);
                frames[i].index = i;
            }
            for (int e = 0; e < edges.count; ++e)
                edges.data[e].mark = false;
            float* values = facetValues.data;
            for (int e = 0; e < edges.count; ++e) {
                CPolygonEdge& edge = edges.data[e];
                if (edge.facet2 < 0 || edge.mark || edge.facet1 < 0 || edge.facet1 >= n ||
                    edge.facet2 >= n)
                    continue;
                edge.mark = true;
                const CPointNormal& A = frames[edge.facet1];
                const CPointNormal& B = frames[edge.facet2];
                const CVertex<float, 3> d = B.point - A.point;
                const CVertex<float, 3> turn = B.normal - A.normal;
                const double length = std::sqrt(double(dot(d, d)));
                if (!(length > 0.0))
                    continue;
                const float v = float(double(dot(d, turn)) / length);
                // Each facet keeps the variation of largest magnitude.
                for (int f : {edge.facet1, edge.facet2})
                    if (values[f] == 0.0f || std::fabs(v) > std::fabs(values[f]))
                        values[f] = v;
            }
            compressValues(values, n, std::max(largestMagnitude(values, n), kSmallestMaximum));
            const float q10 = quantile(values, n, 0.1f, nullptr, nullptr);
            const float q90 = quantile(values, n, 0.9f, nullptr, nullptr);
            const auto [lo, hi] = std::minmax_element(values, values + n);
            std::cout << "Extreme Range=" << (n > 0 ? *lo : 0.0f) << " to " << (n > 0 ? *hi : 0.0f)
                      << std::endl;
            valueMin = q10;
            valueMax = q90;
            std::cout << "dMin=" << q10 << " dMax=" << q90 << std::endl;
            if (builtHere)
                edges.removeAll();
        }
    }

    if (hasFacetValues()) {
        glEnable(GL_DEPTH_TEST);
        glDisable(GL_LIGHTING);
        glDisable(GL_LIGHT0);
        StopUhr watch(true, "render colored polygons");
        const int n = getFacetCount();
        float rgba[4];
        Point& corner = drawCorner();
        auto emit = [&](int p, int size) {
            if (getFacetValueColour(p, rgba))
                glColor4fv(rgba);
            for (int k = 0; k < size; ++k)
                if (getFacetCorner(p, k, corner))
                    glVertex3fv(corner.data);
        };
        for (int corners : {3, 4}) {
            glBegin(corners == 3 ? GL_TRIANGLES : GL_QUADS);
            for (int p = 0; p < n; ++p)
                if (getFacetSize(p) == corners)
                    emit(p, corners);
            glEnd();
        }
        for (int p = 0; p < n; ++p) {
            const int size = getFacetSize(p);
            if (size == 3 || size == 4)
                continue;
            glBegin(GL_POLYGON);
            emit(p, size);
            glEnd();
        }
    }
}

bool CFlatMesh::printStatistics()
{
    if (derived.vertexCount == 0)
        computeDerivedData();
    const int n = getFacetCount();
    std::unique_ptr<float[]> values(new float[std::max(n, 1)]());
    CVertex<float, 3> corner[4], normal[4], nA, nG;
    for (int p = 0; p < n; ++p) {
        const int size = getFacetSize(p);
        if (size > 4)
            continue;
        bool ok = true;
        for (int k = 0; k < 4 && ok; ++k) {
            const int v = getPolygonVertexIndex(p, k);
            ok = v >= 0 && v < derived.vertexCount && getFacetCorner(p, k, corner[k]);
            if (ok)
                normal[k] = derived.vertices[v].normal;
        }
        if (!ok)
            continue;
        double a = triangleNormalAndArea(corner[0], corner[1], corner[2], nA);
        double g = triangleNormalAndArea(normal[0], normal[1], normal[2], nG);
        if (size == 4) {
            a += triangleNormalAndArea(corner[2], corner[3], corner[0], nA);
            g += triangleNormalAndArea(normal[2], normal[3], normal[0], nG);
        }
        // The normals' triangle turns against the corners' on a saddle.
        const double sign = dot(nA, nG) < 0.0f ? -1.0 : 1.0;
        const double k = sign * g / std::max(a, 1e-12);
        values[p] = float(k >= 0.0 ? std::log(1.0 + k) : -std::log(1.0 - k));
    }
    // With every value 0 (m = 0) the values stay 0.
    compressValues(values.get(), n, largestMagnitude(values.get(), n));

    facetValues.removeAll();
    facetValues.setCapacity(n, false);
    for (int p = 0; p < n; ++p) {
        if (p < derived.facetCount)
            derived.facets[p].curvature = values[p];
        facetValues.append(std::fabs(values[p]));
    }
    const float* magnitudes = facetValues.data;
    const float q10 = quantile(magnitudes, n, 0.1f, nullptr, nullptr);
    const float q90 = quantile(magnitudes, n, 0.9f, nullptr, nullptr);
    std::cout << "quantile=[" << q10 << " " << q90 << "]" << std::endl;
    const auto [lo, hi] = std::minmax_element(magnitudes, magnitudes + n);
    std::cout << "MinMax[" << (n > 0 ? *lo : 0.0f) << " " << (n > 0 ? *hi : 0.0f) << "]"
              << std::endl;
    valueMin = std::min(std::fabs(q10), std::fabs(q90));
    valueMax = std::max(std::fabs(q10), std::fabs(q90));
    return true;
}
