// Vertex normal fitting, normal relaxation and the polygon normal estimate
// of the flat mesh.

#include "mesh/FlatMeshNormals.h"

#include "foundation/Statistic.h"
#include "mesh/MeshGeometry.h"

#include <algorithm>
#include <cmath>
#include <iostream>

namespace {

using Edge = Mesh::CBaseMesh::CPolygonEdge;
using Leg = CFlatMesh::CPolygonLeg;

constexpr double kAreaFloor = 2.2e-16;
// Vertices with this many edges or more keep their normal in a sweep.
constexpr int kMaxRelaxedEdges = 100;
constexpr int kMaxSweeps = 250;

struct Vec3 {
    double x = 0.0, y = 0.0, z = 0.0;
};

Vec3 load(const double* p)
{
    return {p[0], p[1], p[2]};
}
Vec3 operator+(const Vec3& a, const Vec3& b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec3 operator-(const Vec3& a, const Vec3& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3 operator*(double s, const Vec3& a)
{
    return {s * a.x, s * a.y, s * a.z};
}
double dot3(const Vec3& a, const Vec3& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec3 cross3(const Vec3& a, const Vec3& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
// The part of v perpendicular to n.
Vec3 tangential(const Vec3& v, const Vec3& n)
{
    return v - dot3(v, n) * n;
}

} // namespace

// ---- CFitPointsToVertexNormals ----

CFitPointsToVertexNormals::CFitPointsToVertexNormals(CFlatMesh& target, int maxIterations)
    : CConjugateGradient(1, false), mesh(target)
{
    const CFlatMesh::CDerivedData& derived = mesh.derived;
    if (derived.vertexCount <= 0 || derived.vertices == nullptr)
        return;
    n = derived.vertexCount;
    setDimension(n);
    x.resize(n);

    buildLegs();

    m_positions.assign(3 * std::size_t(n), 0.0);
    m_normals.assign(3 * std::size_t(n), 0.0);
    m_scale.assign(std::size_t(n), 0.0);
    m_boundary.assign(std::size_t(n), 0);
    m_moved.assign(3 * std::size_t(n), 0.0);
    m_residual.assign(3 * std::size_t(n), 0.0);
    for (int i = 0; i < n; ++i) {
        const CFlatMesh::MeshVertex& vertex = derived.vertices[i];
        for (int k = 0; k < 3; ++k) {
            if (vertex.data != nullptr)
                m_positions[3 * i + k] = vertex.data[k];
            if (vertex.normal.data != nullptr)
                m_normals[3 * i + k] = vertex.normal.data[k];
        }
        double area = 0.0;
        for (int l = legStart[i]; l < legStart[i + 1]; ++l)
            if (legs[l].previous >= 0)
                area += derived.facets[legs[l].polygon].area;
        m_scale[i] = 1.0 / std::max(2.0 * area, kAreaFloor);
        for (int k = 0; k < vertex.edges.count; ++k)
            if (vertex.edges.items[k]->facet2 < 0)
                m_boundary[i] = 1;
    }

    x.fill(0.0);
    m_gradientStep = 1e-5;
    m_numericGradient = false;
    m_finalObjective = solve(x, maxIterations, 0);
    m_solved = true;

    // Only the displacement records change; the coordinates stay where they
    // are. Boundary entries never move away from 0 (their gradient is 0).
    for (int i = 0; i < n; ++i) {
        CSimpleVector3f& displacement = derived.vertices[i].displacement;
        if (displacement.data == nullptr)
            continue;
        for (int k = 0; k < 3; ++k)
            displacement[k] += float(x[i] * m_normals[3 * i + k]);
    }
}

CFitPointsToVertexNormals::~CFitPointsToVertexNormals() = default;

void CFitPointsToVertexNormals::buildLegs()
{
    const CFlatMesh::CDerivedData& derived = mesh.derived;
    const int facetCount = derived.facetCount;

    long legCount = 0, testCount = 0, edgeCount = 0;
    std::vector<int> polygons;
    for (int i = 0; i < n; ++i) {
        const CFlatMesh::MeshVertex& vertex = derived.vertices[i];
        polygons.clear();
        for (int k = 0; k < vertex.edges.count; ++k) {
            const Edge& e = *vertex.edges.items[k];
            ++edgeCount;
            if (e.vertex0 != i)
                continue;
            ++legCount;
            if (e.facet1 < 0 || e.facet1 >= facetCount)
                std::cout << "lPoly wrong." << e.facet1 << std::endl;
            polygons.push_back(e.facet1);
        }
        std::sort(polygons.begin(), polygons.end());
        const std::size_t before = polygons.size();
        polygons.erase(std::unique(polygons.begin(), polygons.end()), polygons.end());
        if (polygons.size() < before)
            std::cout << "removed duplicate polygons:" << before - polygons.size() << std::endl;
        testCount += long(polygons.size());
    }
    std::cout << "nLegs=" << legCount << " testCount=" << testCount << std::endl
              << "total eCount=" << edgeCount << std::endl;

    // The mesh's own leg lists are left as they are: the ring walks and the
    // offset keep using them after the fit.
    legs.assign(std::size_t(legCount), Leg{});
    legStart.assign(std::size_t(n) + 1, 0);
    long used = 0;
    for (int i = 0; i < n; ++i) {
        legStart[i] = int(used);
        const CFlatMesh::MeshVertex& vertex = derived.vertices[i];
        for (int k = 0; k < vertex.edges.count; ++k) {
            const Edge& e = *vertex.edges.items[k];
            if (e.vertex0 != i)
                continue;
            Leg& leg = legs[used++];
            leg.next = e.vertex1;
            leg.polygon = e.facet1;
            const bool usable =
                e.facet1 >= 0 && e.facet1 < facetCount && e.vertex1 >= 0 && e.vertex1 < n;
            leg.previous = usable ? mesh.getCornerBeforeEdge(e.facet1, i, e.vertex1) : -1;
            if (leg.previous < 0 || leg.previous >= n) {
                std::cout << "second leg not found." << std::endl;
                leg.previous = -1; // skipped by the objective
            }
        }
    }
    legStart[n] = int(used);
}

void CFitPointsToVertexNormals::onIteration(const Vector&, Vector&)
{
    std::cout << "f=" << m_f << std::endl;
}

double CFitPointsToVertexNormals::evaluate(int mode, Vector& gradient, const Vector& xs, double t,
                                           const Vector& d)
{
    if (n == 0)
        return 0.0;
    const bool alongD = t != 0.0 && d.n >= n;
    for (int i = 0; i < n; ++i) {
        double y = i < xs.n ? xs[i] : 0.0;
        if (alongD)
            y += t * d[i];
        for (int k = 0; k < 3; ++k)
            m_moved[3 * i + k] = m_positions[3 * i + k] + y * m_normals[3 * i + k];
    }

    double f = 0.0;
    for (int i = 0; i < n; ++i) {
        const Vec3 qi = load(&m_moved[3 * i]);
        const Vec3 ni = load(&m_normals[3 * i]);
        Vec3 s;
        for (int l = legStart[i]; l < legStart[i + 1]; ++l) {
            const Leg& leg = legs[l];
            if (leg.previous < 0)
                continue;
            s = s +
                cross3(load(&m_moved[3 * leg.next]) - qi, load(&m_moved[3 * leg.previous]) - qi);
        }
        const Vec3 r = m_scale[i] * tangential(s, ni);
        m_residual[3 * i] = r.x;
        m_residual[3 * i + 1] = r.y;
        m_residual[3 * i + 2] = r.z;
        f += dot3(r, r);
    }
    if (mode != 1)
        return f;

    // The areas are constants of the problem. The factor 2 of the square's
    // derivative is applied so that the line search sees the true slope.
    if (gradient.n != n)
        gradient.resize(n);
    gradient.fill(0.0);
    for (int i = 0; i < n; ++i) {
        const Vec3 r = load(&m_residual[3 * i]);
        if (r.x == 0.0 && r.y == 0.0 && r.z == 0.0)
            continue;
        const Vec3 qi = load(&m_moved[3 * i]);
        const Vec3 ni = load(&m_normals[3 * i]);
        const double c = 2.0 * m_scale[i];
        for (int l = legStart[i]; l < legStart[i + 1]; ++l) {
            const Leg& leg = legs[l];
            if (leg.previous < 0)
                continue;
            const int w = leg.next, u = leg.previous;
            const Vec3 a = load(&m_moved[3 * w]) - qi;
            const Vec3 b = load(&m_moved[3 * u]) - qi;
            const Vec3 dw = cross3(load(&m_normals[3 * w]), b);
            const Vec3 du = cross3(a, load(&m_normals[3 * u]));
            const Vec3 di = cross3(ni, b) + cross3(a, ni);
            gradient[w] += c * dot3(r, tangential(dw, ni));
            gradient[u] += c * dot3(r, tangential(du, ni));
            gradient[i] -= c * dot3(r, tangential(di, ni));
        }
    }
    for (int i = 0; i < n; ++i)
        if (m_boundary[i])
            gradient[i] = 0.0;
    return f;
}

// ---- CEstimatePolygonNormal ----

bool CEstimatePolygonNormal::estimate(const Point* points, int count)
{
    for (int k = 0; k < 3; ++k)
        normal[k] = 0.0f;
    if (points == nullptr || count < 3)
        return false;

    // Sums in double: corners far from the origin keep their small sides.
    Vec3 sum;
    double sideProducts = 0.0;
    for (int j = 1; j < count; j += 2) {
        const Point& p0 = points[j - 1];
        const Point& p1 = points[j];
        const Point& p2 = points[(j + 1) % count];
        const Vec3 b{double(p1[0]) - p0[0], double(p1[1]) - p0[1], double(p1[2]) - p0[2]};
        const Vec3 a{double(p2[0]) - p1[0], double(p2[1]) - p1[1], double(p2[2]) - p1[2]};
        sum = sum + cross3(b, a);
        sideProducts += std::sqrt(dot3(a, a) * dot3(b, b));
    }
    const double length = std::sqrt(dot3(sum, sum));
    // Straight or coincident corners leave only rounding noise, which has no
    // direction worth reporting.
    if (!std::isfinite(length) || !(length > 1e-7 * sideProducts))
        return false;
    normal[0] = float(sum.x / length);
    normal[1] = float(sum.y / length);
    normal[2] = float(sum.z / length);
    return true;
}

bool CEstimatePolygonNormal::estimate(const Kor::List<Point>& points)
{
    return estimate(points.data, points.count);
}

// ---- CFlatMesh::relaxVertices ----

bool CFlatMesh::relaxVertices(int iterations, double q, bool refit)
{
    if (derived.vertexCount == 0 || derived.vertices == nullptr)
        computeDerivedData();
    const int nv = derived.vertexCount;
    if (nv <= 0 || derived.vertices == nullptr)
        return false;

    CStatistic lengths;
    for (int k = 0; k < edges.count; ++k)
        lengths.add(edges.data[k].length);
    std::cout << "eLenStat=" << lengths << std::endl;
    double area = 0.0;
    for (int f = 0; f < derived.facetCount; ++f)
        area += derived.facets[f].area;
    const double r = lengths.count > 1 ? std::sqrt(lengths.sumSquares / (lengths.count - 1))
                                       : double(lengths.count - 1);

    int sweeps = 0;
    if (iterations >= 0) {
        const double estimate = std::ceil(nv * 33000.0 / 1000.0 / area * 1.5 * r);
        // A mesh without area gives an infinite (or undefined) estimate.
        if (!(estimate <= kMaxSweeps)) {
            std::cout << " clipping to 250 iterations " << estimate << std::endl;
            sweeps = kMaxSweeps;
        } else {
            sweeps = std::max(0, int(estimate));
        }
        std::cout << "estimated iterations=" << sweeps << std::endl;
    } else {
        sweeps =
            int(std::min(-static_cast<long long>(iterations), static_cast<long long>(kMaxSweeps)));
    }
    // The quantile fraction selects ranks; outside [0, 1] it has no meaning.
    if (!(q >= 0.0))
        q = 0.0;
    q = std::min(q, 1.0);

    std::vector<double> similarity;
    std::vector<int> foreign;
    std::vector<int> order;
    int updated = 0;
    const long long steps = static_cast<long long>(nv) * sweeps;
    for (long long s = 0; s < steps; ++s) {
        const int i = int(s % nv);
        MeshVertex& vertex = derived.vertices[i];
        bool averaged = false;
        similarity.clear();
        foreign.clear();
        for (int e = 0; e < vertex.edges.count; ++e) {
            const Edge& edge = *vertex.edges.items[e];
            int other = edge.vertex0 == i ? edge.vertex1 : edge.vertex0;
            if (edge.vertex0 == i && edge.vertex1 == i) {
                std::cout << "no foreign Vertex !." << std::endl;
                other = i;
            }
            if (other < 0 || other >= nv)
                continue;
            foreign.push_back(other);
            similarity.push_back(dotProduct(vertex.normal, derived.vertices[other].normal));
        }
        const int k = int(foreign.size());
        if (k > 0 && k < kMaxRelaxedEdges) {
            order.resize(std::size_t(k));
            int* index = order.data();
            sortIndex(similarity.data(), &index, k);
            int lo = int(std::floor(k * q));
            int hi = int(std::ceil((k - 1) * (1.0 - q)));
            if (lo > hi)
                lo = hi = k / 2;
            lo = std::clamp(lo, 0, k - 1);
            hi = std::clamp(hi, 0, k - 1);
            double sum[3] = {0.0, 0.0, 0.0};
            for (int rank = lo; rank <= hi; ++rank) {
                const int other = foreign[order[rank]];
                if (other == i) {
                    std::cout << "no foreign Vertex ! at 2" << std::endl;
                    continue;
                }
                for (int c = 0; c < 3; ++c)
                    sum[c] += derived.vertices[other].normal[c];
            }
            const double length = std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
            if (length > 0.0) {
                for (int c = 0; c < 3; ++c)
                    vertex.target[c] = float(sum[c] / length);
                averaged = true;
            }
        }
        // A vertex that is not averaged keeps its normal: its target must not
        // hold a stale value when the sweep is copied.
        if (!averaged)
            for (int c = 0; c < 3; ++c)
                vertex.target[c] = vertex.normal[c];
        if (++updated == nv) {
            updated = 0;
            for (int j = 0; j < nv; ++j)
                for (int c = 0; c < 3; ++c)
                    derived.vertices[j].normal[c] = derived.vertices[j].target[c];
        }
    }

    std::cout << "number of Vertices = " << nv << std::endl
              << "Iterations = " << sweeps << std::endl;
    normalsRelaxed = true;

    if (refit)
        CFitPointsToVertexNormals fit(*this, 50);
    return true;
}
