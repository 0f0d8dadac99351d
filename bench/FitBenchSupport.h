#pragma once
// Shared by the fitting benchmarks: the Gaussian bump mesh, the silencing of
// the fitting's reports, and the distances of mesh vertices from a result.
//
// Ownership: bumpMesh returns a new mesh owned by the caller.

#include "foundation/FitPoint.h"
#include "foundation/PointSequence.h"
#include "geometry/NurbsSurf.h"
#include "mesh/FlatMesh.h"

#include <cmath>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>

inline constexpr double kSize = 100.0, kHeight = 20.0;

inline double bumpHeight(double x, double y)
{
    const double s = kSize / 6.0, dx = x - 0.5 * kSize, dy = y - 0.5 * kSize;
    return kHeight * std::exp(-(dx * dx + dy * dy) / (2.0 * s * s));
}

// (n + 1)^2 vertices over [0, kSize]^2, two triangles per cell, facet hash
// of 500 cells across as the face road builds it.
inline std::unique_ptr<CFlatMesh> bumpMesh(int n)
{
    auto mesh = std::make_unique<CFlatMesh>();
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            const double x = kSize * i / n, y = kSize * j / n;
            mesh->addVertex(CVertex<float, 3>(float(x), float(y), float(bumpHeight(x, y))));
        }
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int a = j * (n + 1) + i, b = a + 1, c = a + n + 2, d = a + n + 1;
            int t1[3] = {a, b, c}, t2[3] = {a, c, d};
            mesh->addPolygon(t1, 3, -1);
            mesh->addPolygon(t2, 3, -1);
        }
    mesh->computeBoundingBox();
    mesh->buildFacetHash(500.0, -1.0, nullptr);
    return mesh;
}

// Silences the fitting's reports while it is timed.
struct QuietStdout {
    std::ostringstream sink;
    std::streambuf* old = std::cout.rdbuf(sink.rdbuf());
    ~QuietStdout() { std::cout.rdbuf(old); }
};

// The mesh vertices accepted by `inside` (all without it) inverted onto the
// surface: their number, the 0.98 quantile and the largest distance.
struct VertexDistances {
    int count = 0;
    double q98 = -1.0;
    double max = -1.0;
};
inline VertexDistances vertexDistances(CFlatMesh& mesh, Fenwo::NurbsSurf& s,
                                       const std::function<bool(const Vector&)>& inside = {})
{
    CFitPointArray points;
    float xyz[3];
    for (int k = 0; k < mesh.getVertexCount(true); ++k)
        if (mesh.getVertex(k, xyz) && (!inside || inside(Vector(xyz, 3))))
            points.append(CFitPoint(Vector(xyz, 3)));
    IndexSubset<CFitPoint> all(points);
    all.selectAll();
    QuietStdout quiet;
    s.invertPoints(all, 4, 4, false);
    all.selectAll();
    s.PointInversion(all, 20);
    return {points.count, errorQuantile(all, 0.98), errorQuantile(all, 1.0)};
}
