// What the healing asks of a trimmed face, all built on its tessellation:
// samples of the face, the face added to a mesh, its area, and the look-up
// from space back to the face's parameters (a mesh or an interpolant).
#include "net/Face.h"

#include "curves/CurveOnSurface.h"
#include "fitting/RbfFitLoop.h"
#include "fitting/ScatteredDataRBF.h"
#include "foundation/Random15.h"
#include "geometry/NurbsSurf.h"
#include "mesh/FlatMesh.h"
#include "mesh/MeshGeometry.h"
#include "mesh/PolFormat.h"
#include "net/Faceter.h"
#include "platform/Diagnostics.h"

#include <memory>
#include <string>

namespace {

using Point = CVertex<float, 3>;

double random01()
{
    return double(globalRandom15().next()) / double(CRandom15::maxValue);
}

Point toPoint(const Vector& p)
{
    return Point(float(p[0]), float(p[1]), float(p[2]));
}

} // namespace

int CFace::collectSamples(Kor::List<Vector>& out, bool asUV, int, int quadDensity,
                          int triangleDensity, double)
{
    if (faceter == nullptr || surface == nullptr)
        return 0;
    const int before = out.count;
    auto add = [&](double u, double v) {
        out.append(asUV ? Vector(u, v, 0.0) : surface->getPoint(u, v));
    };

    const int perQuad = (quadDensity + 1) * (quadDensity + 1);
    for (const quadDataType& q : faceter->quads)
        for (int n = 0; n < perQuad; ++n) {
            // Random weights that sum to 1, the first drawn at a random corner.
            const int s = globalRandom15().next() % 4;
            double w[4];
            double rest = 1.0;
            for (int k = 0; k < 3; ++k) {
                w[(s + k) % 4] = rest * random01();
                rest -= w[(s + k) % 4];
            }
            w[(s + 3) % 4] = rest;
            double u = 0.0, v = 0.0;
            for (int k = 0; k < 4; ++k) {
                u += w[k] * q.u[k];
                v += w[k] * q.v[k];
            }
            add(u, v);
        }

    const int perTriangle = (triangleDensity + 1) * (triangleDensity + 1);
    for (const triDataType& t : faceter->triangles)
        for (int n = 0; n < perTriangle; ++n) {
            const double a = random01();
            const double b = (1.0 - a) * random01();
            const double c = 1.0 - a - b;
            add(a * t.u[0] + b * t.u[1] + c * t.u[2], a * t.v[0] + b * t.v[1] + c * t.v[2]);
        }

    const double origin[3] = {0.0, 0.0, 0.0};
    std::unique_ptr<Fenwo::NurbsSurf> line(makeCurve(origin, origin));
    CCONS pen(line.get(), surface);
    Kor::List<double> params;
    forEachScanPiece(*faceter, [&](const tuple<float, 2>& a, const tuple<float, 2>& b) {
        line->setControlPoint(0, 0, Vector(a[0], a[1], 0.0), 1.0);
        line->setControlPoint(1, 0, Vector(b[0], b[1], 0.0), 1.0);
        pen.facetCurve(params, 0.1, true, 2000, false, false, -1.0);
        for (double t : params)
            add(a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1]));
    });
    return out.count - before;
}

void CFace::addToMesh(int owner, Mesh::CBaseMesh& mesh, bool splitQuads)
{
    if (faceter == nullptr)
        return;
    Vector point, normal;
    // The mesh keeps positions only; the oriented normal is what the facets'
    // corner order already says.
    auto vertex = [&](double u, double v) {
        if (!getPointAndNormal(u, v, point, normal))
            point = Vector(0.0, 0.0, 0.0);
        return mesh.addVertex(toPoint(point));
    };
    auto facet = [&](const int* corners, int n, const double* u, const double* v) {
        double cu = 0.0, cv = 0.0;
        for (int k = 0; k < n; ++k) {
            cu += u[k];
            cv += v[k];
        }
        const int index = mesh.addPolygon(corners, n, -1);
        mesh.setFacetInfo(index, owner, cu / n, cv / n);
    };

    for (const quadDataType& q : faceter->quads) {
        int c[4];
        for (int k = 0; k < 4; ++k)
            c[k] = vertex(q.u[k], q.v[k]);
        if (!splitQuads) {
            facet(c, 4, q.u, q.v);
            continue;
        }
        const int first[3] = {c[0], c[1], c[2]}, second[3] = {c[0], c[2], c[3]};
        const double u1[3] = {q.u[0], q.u[1], q.u[2]}, v1[3] = {q.v[0], q.v[1], q.v[2]};
        const double u2[3] = {q.u[0], q.u[2], q.u[3]}, v2[3] = {q.v[0], q.v[2], q.v[3]};
        facet(first, 3, u1, v1);
        facet(second, 3, u2, v2);
    }
    for (const triDataType& t : faceter->triangles) {
        int c[3];
        for (int k = 0; k < 3; ++k)
            c[k] = vertex(t.u[k], t.v[k]);
        facet(c, 3, t.u, t.v);
    }
}

double CFace::computeArea()
{
    MeshArcTol = 0.25;
    if (faceter == nullptr || faceter->triangles.count == 0) {
        clearDisplayCache();
        getFaceter(1);
    }
    if (surface == nullptr)
        return 0.0;
    auto at = [&](double u, double v) { return toPoint(surface->getPoint(u, v)); };
    Point normal;
    double area = 0.0;
    for (const quadDataType& q : faceter->quads) {
        const Point p0 = at(q.u[0], q.v[0]), p1 = at(q.u[1], q.v[1]);
        const Point p2 = at(q.u[2], q.v[2]), p3 = at(q.u[3], q.v[3]);
        area += triangleNormalAndArea(p0, p1, p2, normal);
        area += triangleNormalAndArea(p2, p3, p0, normal);
    }
    for (const triDataType& t : faceter->triangles)
        area += triangleNormalAndArea(at(t.u[0], t.v[0]), at(t.u[1], t.v[1]), at(t.u[2], t.v[2]),
                                      normal);
    return area;
}

void CFace::buildLookup(bool asMesh, double tol)
{
    if (!asMesh) {
        MeshType = 32;
        clearDisplayCache();
        getFaceter(1);
        if (surface == nullptr)
            return;
        Kor::List<Vector> samples;
        collectSamples(samples, true, 500, -1, -1, tol);
        delete lookup;
        lookup = newParameterLookup(*surface, samples);
        return;
    }
    MeshType = 0;
    MeshDistance = tol < 0.0 ? 2.0 : tol;
    clearDisplayCache();
    getFaceter(1);
    delete lookupMesh;
    lookupMesh = new CFlatMesh();
    addToMesh(int(serial), *lookupMesh, false);
    lookupMesh->mergeVertices(1e-8, 0);
    lookupMesh->computeBoundingBox();
    lookupMesh->buildFacetHash(350.0, -1.0, nullptr);
    const std::string name = "c:/tmp/face" + std::to_string(serial) + ".pol";
    std::ofstream image;
    if (Platform::openDiagnosticsStream(image, name, std::ios::binary | std::ios::trunc))
        writePOL(*lookupMesh, image);
}
