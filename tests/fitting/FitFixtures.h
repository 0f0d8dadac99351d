// Test fixtures of the surface fitting: meshes with known shape (a planar
// grid, a Gaussian bump of known height, a cylinder strip), bicubic surfaces
// laid over a height field, straight and circular curves, and the distance
// of mesh vertices from a surface.
//
// Ownership: every builder returns a new object owned by the caller.
// Thread-safety: each call builds its own objects.
#pragma once

#include "foundation/FitPoint.h"
#include "geometry/NurbsSurf.h"
#include "mesh/FlatMesh.h"

#include "support/NurbsFixtures.h"
#include "support/TestMeshes.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

namespace fitfix {

using HeightField = std::function<double(double, double)>;

// The soup poured into a flat mesh with its facet hash (`cells` across).
inline std::unique_ptr<CFlatMesh> meshOf(const mwtest::MeshSoup& soup, double cells = 40.0)
{
    auto mesh = std::make_unique<CFlatMesh>();
    mwtest::fillFlatMesh(soup, *mesh);
    mesh->buildFacetHash(cells, -1.0, nullptr);
    return mesh;
}

// n x n triangulated cells over [0, size]^2 at height z(x, y), normals up.
inline std::unique_ptr<CFlatMesh> heightFieldMesh(int n, double size, const HeightField& z)
{
    mwtest::MeshSoup soup = mwtest::gridSoup(n, n, size / n, size / n, true);
    for (int k = 0; k < soup.pointCount(); ++k)
        soup.xyz[3 * k + 2] = z(soup.xyz[3 * k], soup.xyz[3 * k + 1]);
    return meshOf(soup);
}

// The plane z = 0 over [0, size]^2.
inline std::unique_ptr<CFlatMesh> planarGridMesh(int n, double size)
{
    return heightFieldMesh(n, size, [](double, double) { return 0.0; });
}

// A Gaussian bump of height `height` in the middle of [0, size]^2 (standard
// deviation size / 6), zero near the border.
inline HeightField bump(double size, double height)
{
    return [size, height](double x, double y) {
        const double s = size / 6.0, dx = x - 0.5 * size, dy = y - 0.5 * size;
        return height * std::exp(-(dx * dx + dy * dy) / (2.0 * s * s));
    };
}
inline std::unique_ptr<CFlatMesh> bumpMesh(int n, double size, double height)
{
    return heightFieldMesh(n, size, bump(size, height));
}

// Part of the cylinder of radius r around the x axis: x in [0, length],
// angle from -halfAngle to +halfAngle about +z, facets facing outwards.
inline std::unique_ptr<CFlatMesh> cylinderStripMesh(double r, double length, double halfAngle,
                                                    int around, int along)
{
    mwtest::MeshSoup soup = mwtest::gridSoup(along, around, length / along, 1.0 / around, true);
    for (int k = 0; k < soup.pointCount(); ++k) {
        const double a = -halfAngle + 2.0 * halfAngle * soup.xyz[3 * k + 1];
        soup.xyz[3 * k + 1] = r * std::sin(a);
        soup.xyz[3 * k + 2] = r * std::cos(a);
    }
    return meshOf(soup);
}

// A clamped surface of the degrees over [0, 1]^2 with nu x nv control points
// at (x0 + sx g_i, y0 + sy g_j, z + offset), g the Greville abscissae: u runs
// along x and v along y, so the normal points up.
struct SurfaceFrame {
    double x0 = 0.0, y0 = 0.0, sx = 1.0, sy = 1.0;
};
inline std::unique_ptr<Fenwo::NurbsSurf> heightFieldSurface(int nu, int nv, SurfaceFrame f,
                                                            const HeightField& z,
                                                            double offset = 0.0, int pu = 3,
                                                            int pv = 3)
{
    const knots ku(nu - 1, pu, 0.0, 1.0), kv(nv - 1, pv, 0.0, 1.0);
    auto s = std::make_unique<Fenwo::NurbsSurf>(ku, &kv);
    for (int j = 0; j < nv; ++j)
        for (int i = 0; i < nu; ++i) {
            const double x = f.x0 + f.sx * ku.getGrevilleAbscissa(i);
            const double y = f.y0 + f.sy * kv.getGrevilleAbscissa(j);
            s->setControlPoint(i, j, Vector(x, y, z(x, y) + offset));
        }
    return s;
}
inline HeightField flat(double z)
{
    return [z](double, double) { return z; };
}

// The straight curve from a to b (degree 1) and the circular arc of radius r
// around the origin in the xy plane from angle 0 over `quarters` quarters.
inline std::unique_ptr<Fenwo::NurbsSurf> straightCurve(const Vector& a, const Vector& b)
{
    return clampedCurve({a, b}, 1);
}
inline std::unique_ptr<Fenwo::NurbsSurf> circularArc(double r, int quarters)
{
    return rationalArc(Vector(0.0, 0.0, 0.0), Vector(1.0, 0.0, 0.0), Vector(0.0, 1.0, 0.0), r,
                       quarters);
}

// The distances of the mesh's vertices accepted by `inside` (all when it is
// empty) from the surface, ascending.
inline std::vector<double> vertexDistances(CFlatMesh& mesh, Fenwo::NurbsSurf& surface,
                                           const std::function<bool(const Vector&)>& inside = {})
{
    CFitPointArray points;
    float xyz[3];
    for (int k = 0; k < mesh.getVertexCount(true); ++k)
        if (mesh.getVertex(k, xyz) && (!inside || inside(Vector(xyz, 3))))
            points.append(CFitPoint(Vector(xyz, 3)));
    IndexSubset<CFitPoint> all(points);
    all.selectAll();
    surface.invertPoints(all, 8, 8, false);
    all.selectAll();
    surface.PointInversion(all, 20);
    std::vector<double> d;
    for (int k = 0; k < points.count; ++k)
        d.push_back(std::sqrt(points[k].dist2));
    std::sort(d.begin(), d.end());
    return d;
}

// Root mean square distance of the mesh's vertices from the surface.
inline double vertexRmsDistance(CFlatMesh& mesh, Fenwo::NurbsSurf& surface)
{
    double sum = 0.0;
    const std::vector<double> d = vertexDistances(mesh, surface);
    for (double x : d)
        sum += x * x;
    return std::sqrt(sum / std::max<double>(double(d.size()), 1.0));
}

// How often word occurs in text (overlapping counts).
inline int occurrences(const std::string& text, const std::string& word)
{
    int n = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        ++n;
    return n;
}

} // namespace fitfix
