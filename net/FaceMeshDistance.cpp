// The distance of a trimmed face from the mesh, both ways (see the header).
#include "net/FaceMeshDistance.h"

#include "foundation/FitPoint.h"
#include "foundation/VertexList.h"
#include "geometry/NurbsSurf.h"
#include "mesh/BaseMesh.h"
#include "mesh/MeshProjection.h"
#include "mesh/VertexSampling.h"
#include "net/Face.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace {

using Fenwo::NurbsSurf;

// Iso lines, and chords along each, by which the face's extent in space is
// estimated in either direction.
constexpr int kExtentLines = 5;
constexpr int kExtentChords = 16;
// Newton iterations of a mesh vertex's inversion onto the surface.
constexpr int kVertexInversion = 10;
// The iterations of a second inversion for the vertices the first left
// beyond the limit, and how far off the surface's normal the line from a
// foot to its vertex may turn (the sine of the angle).
constexpr int kVertexReinversion = 60;
constexpr double kFootSine = 0.05;
// A facet faces as the face's sheet does within 60 degrees of the surface's
// normal (the right way round).
constexpr double kSheetCosine = 0.5;
// The facets sought across a vertex's normal line, in hash cells around its
// foot, and the share of its distance by which a crossing must be nearer.
constexpr double kSheetSearch = 2.0;
constexpr double kSheetMargin = 1e-6;

// Whether the mesh crosses the surface's normal line through the vertex's
// foot nearer to the surface than the vertex: the vertex lies behind the
// sheet the face follows (a wing's lower skin under a trailing edge whose
// facets reach over to it), not on it.
bool behindTheSheet(NurbsSurf& s, Mesh::CBaseMesh& mesh, const CFitPoint& vertex, double distance)
{
    Vector foot(3), normal(3);
    s.evaluatePointAndNormal(vertex.uv[0], vertex.uv[1], foot, normal);
    const CVertex<float, 3> from{float(foot[0]), float(foot[1]), float(foot[2])};
    const CVertex<float, 3> along{float(normal[0]), float(normal[1]), float(normal[2])};
    Mesh::HitSet hits;
    bool behind = false;
    if (Mesh::meshHitsAlongDirection(&mesh, from, along, hits, kSheetSearch, false))
        for (int k = 0; k < hits.count && !behind; ++k) {
            double d2 = 0.0;
            for (int a = 0; a < 3; ++a) {
                const double d = double(hits[k]->data[a]) - foot[a];
                d2 += d * d;
            }
            behind = std::sqrt(d2) < distance - kSheetMargin * (1.0 + distance);
        }
    hits.removeAll(true, true);
    return behind;
}

// Whether the point's inversion ended at a foot of it: the line from the
// surface point to it runs along the surface's normal there.
bool isFoot(NurbsSurf& s, const CFitPoint& fp)
{
    Vector foot(3), normal(3);
    s.evaluatePointAndNormal(fp.uv[0], fp.uv[1], foot, normal);
    const Vector d = fp.Point - foot;
    const double length = norm(d), across = norm(normal);
    if (!(length > 0.0) || !(across > 0.0))
        return true;
    const double along = dot(d, normal) / across;
    return std::sqrt(std::max(0.0, length * length - along * along)) <= kFootSine * length;
}

// The mesh point a surface point p that lies `distance` from the mesh
// (its nearest mesh point `foot`) is to meet: where its normal line meets
// the mesh, within twice that distance; else the foot. The nearest point
// alone may not do: where the surface rounds a step or a crease of the
// mesh, the foot lies nearer to other points of the surface than to p, and
// a fit to it leaves p where it is.
Vector pointToMeet(Mesh::CBaseMesh& mesh, const Vector& p, const Vector& normal,
                   const Mesh::MeshFoot& foot, double distance)
{
    Vector meet(foot.point[0], foot.point[1], foot.point[2]);
    const CVertex<float, 3> from{float(p[0]), float(p[1]), float(p[2])};
    const CVertex<float, 3> along{float(normal[0]), float(normal[1]), float(normal[2])};
    const double factor = std::max(kSheetSearch, 2.0 * distance / mesh.facetHash.cellSize);
    Mesh::HitSet hits;
    double nearest = 2.0 * distance;
    if (Mesh::meshHitsAlongDirection(&mesh, from, along, hits, factor, false))
        for (int k = 0; k < hits.count; ++k) {
            Vector hit(double(hits[k]->data[0]), double(hits[k]->data[1]),
                       double(hits[k]->data[2]));
            if (const double d = norm(hit - p); d < nearest) {
                nearest = d;
                meet = hit;
            }
        }
    hits.removeAll(true, true);
    return meet;
}

// The distance from the mesh of a surface point p with no facet within the
// reach: sought no farther than the last point measured (`last`, its
// distance; negative for none) lies from the mesh plus its distance from
// p, where a facet is sure to be, so a face far off the mesh costs about
// what a face on it does. The point's foot is not kept: the mesh vertices
// and the points to meet are sought within the reach only.
double distanceBeyondReach(Mesh::CBaseMesh& mesh, const Vector& p,
                           const std::pair<Vector, double>& last)
{
    Mesh::MeshFoot foot;
    if (last.second >= 0.0) {
        const double bound = last.second + norm(p - last.first);
        if (Mesh::nearestMeshPoint(&mesh, p.data, bound * (1.0 + 1e-9) + 1e-300, foot))
            return foot.distance;
    }
    return Mesh::nearestMeshPoint(&mesh, p.data, HUGE_VAL, foot) ? foot.distance : HUGE_VAL;
}

// The (u, v) box of the polygon.
bool polygonBox(const CVertexList& polygon, double low[2], double high[2])
{
    if (polygon.getCount() < 3)
        return false;
    low[0] = low[1] = HUGE_VAL;
    high[0] = high[1] = -HUGE_VAL;
    for (const CVertex<double, 3>* v : polygon.vertices)
        for (int a = 0; a < 2; ++a) {
            low[a] = std::min(low[a], v->data[a]);
            high[a] = std::max(high[a], v->data[a]);
        }
    return high[0] > low[0] && high[1] > low[1];
}

// The mean length in space of iso lines across the box: along u (dir 0) or
// along v (dir 1).
double isoLength(NurbsSurf& s, const double low[2], const double high[2], int dir)
{
    double sum = 0.0;
    Vector a(3), b(3);
    for (int line = 0; line < kExtentLines; ++line) {
        const double across = (line + 0.5) / kExtentLines;
        double length = 0.0;
        for (int k = 0; k <= kExtentChords; ++k) {
            const double along = double(k) / kExtentChords;
            const double t[2] = {dir == 0 ? along : across, dir == 0 ? across : along};
            s.evaluatePoint(b, low[0] + t[0] * (high[0] - low[0]),
                            low[1] + t[1] * (high[1] - low[1]));
            if (k > 0)
                length += norm(b - a);
            std::swap(a, b);
        }
        sum += length;
    }
    return sum / kExtentLines;
}

// The u values where the polygon's edges cross the line v = const, in
// ascending order: between the first and second, third and fourth ... lies
// the inside. An edge's lower end counts as above the line, so that a
// vertex on the line is crossed once or not at all.
void rowCrossings(const CVertexList& polygon, double v, std::vector<double>& crossings)
{
    crossings.clear();
    const int n = polygon.getCount();
    for (int k = 0; k < n; ++k) {
        const double* a = polygon.vertices[k]->data;
        const double* b = polygon.vertices[(k + 1) % n]->data;
        if ((a[1] >= v) == (b[1] >= v))
            continue;
        crossings.push_back(a[0] + (v - a[1]) * (b[0] - a[0]) / (b[1] - a[1]));
    }
    std::sort(crossings.begin(), crossings.end());
}

bool insideRow(const std::vector<double>& crossings, double u)
{
    const auto above = std::upper_bound(crossings.begin(), crossings.end(), u);
    return (above - crossings.begin()) % 2 == 1;
}

} // namespace

FaceMeshDistance measureFaceMeshDistance(CFace& face, Mesh::CBaseMesh& mesh, double tolerance,
                                         double limit, double reach)
{
    NurbsSurf* s = face.getNurbsSurf();
    if (s == nullptr)
        return {};
    CVertexList built;
    if (face.uvPolygon.getCount() == 0)
        face.buildUVPolygon(built, 1, 0.1);
    const CVertexList& polygon = face.uvPolygon.getCount() > 0 ? face.uvPolygon : built;
    return measureSurfaceMeshDistance(*s, polygon, mesh, tolerance, limit, reach, nullptr, true);
}

FaceMeshDistance measureSurfaceMeshDistance(NurbsSurf& surface, const CVertexList& polygon,
                                            Mesh::CBaseMesh& mesh, double grid, double limit,
                                            double reach, CFitPointArray* beyondPoints,
                                            bool withVertices)
{
    FaceMeshDistance result;
    NurbsSurf* s = &surface;
    if (!(grid > 0.0) || mesh.facetHash.cells.count == 0)
        return result;
    double low[2], high[2];
    if (!polygonBox(polygon, low, high))
        return result;

    // The grid: cells about `grid` wide in space, fewer on a large face.
    const double lengths[2] = {isoLength(*s, low, high, 0), isoLength(*s, low, high, 1)};
    double spacing = grid;
    if (lengths[0] * lengths[1] > kMaxFaceMeshPoints * spacing * spacing)
        spacing = std::sqrt(lengths[0] * lengths[1] / kMaxFaceMeshPoints);
    int counts[2];
    for (int a = 0; a < 2; ++a) {
        const double n = std::ceil(lengths[a] / spacing);
        counts[a] = std::isfinite(n) ? int(std::clamp(n, 1.0, double(kMaxFaceMeshPoints))) : 1;
    }
    // Each mesh vertex found near the surface, with the parameters of the
    // grid point it was found from (the start of its inversion) and whether
    // the facet it was found on faces along the surface's normal there.
    struct Found {
        int vertex, point;
        int side; // +1 along the normal, -1 against it, 0 across
    };
    std::vector<Found> found;
    std::vector<std::pair<double, double>> parameters;
    // Which way the mesh's sheet faces against the surface's normal: the
    // facets nearest the grid points vote.
    int facing = 0;
    Vector n(3);
    Mesh::CBaseMesh::Direction facetNormal;
    const auto cosine = [&](int facet) {
        if (!mesh.getFacetNormal(facet, facetNormal))
            return 0.0;
        double c = 0.0, length = 0.0;
        for (int a = 0; a < 3; ++a) {
            c += double(facetNormal.data[a]) * n[a];
            length += double(facetNormal.data[a]) * facetNormal.data[a];
        }
        return length > 0.0 ? c / std::sqrt(length) : 0.0;
    };
    std::vector<double> crossings;
    Kor::List<int> facets, vertices;
    int beyond = 0;
    Vector p(3);
    // The surface point measured last, and its distance from the mesh.
    std::pair<Vector, double> measured{Vector(3), -1.0};
    const double nearFactor = spacing / mesh.facetHash.cellSize;
    for (int j = 0; j < counts[1]; ++j) {
        const double v = low[1] + (j + 0.5) * (high[1] - low[1]) / counts[1];
        rowCrossings(polygon, v, crossings);
        for (int i = 0; i < counts[0]; ++i) {
            const double u = low[0] + (i + 0.5) * (high[0] - low[0]) / counts[0];
            if (!insideRow(crossings, u))
                continue;
            s->evaluatePoint(p, u, v);
            Mesh::MeshFoot foot;
            double distance = reach;
            if (Mesh::nearestMeshPoint(&mesh, p.data, reach, foot))
                distance = foot.distance;
            else
                distance = distanceBeyondReach(mesh, p, measured);
            measured = {p, distance};
            ++result.surfacePoints;
            result.surfaceLargest = std::max(result.surfaceLargest, distance);
            if (distance > limit)
                ++beyond;
            if (foot.facet < 0)
                continue;
            s->getRawNormal(n, u, v);
            if (const double length = norm(n); length > 0.0)
                n *= 1.0 / length;
            if (beyondPoints != nullptr && distance > limit)
                beyondPoints->append(CFitPoint(pointToMeet(mesh, p, n, foot, distance), Vector(u, v)));
            if (!withVertices)
                continue;
            facing += cosine(foot.facet) >= 0.0 ? 1 : -1;
            const CVertex<float, 3> near{float(foot.point[0]), float(foot.point[1]),
                                         float(foot.point[2])};
            if (!Mesh::facetsNearPoint(&mesh, near, facets, nearFactor)) {
                facets.count = 0;
                facets.append(foot.facet);
            }
            const int point = int(parameters.size());
            parameters.emplace_back(u, v);
            Kor::List<int> one;
            for (int facet : facets) {
                one.count = 0;
                one.append(facet);
                if (!collectFacetVertices(&mesh, one, vertices))
                    continue;
                const double c = cosine(facet);
                const int side = c >= kSheetCosine ? 1 : -c >= kSheetCosine ? -1 : 0;
                for (int vertex : vertices)
                    found.push_back({vertex, point, side});
            }
        }
    }
    // The vertices of facets that face the other way belong to another
    // sheet: a thin part's far side, a trailing edge's lower skin.
    const int sheet = facing >= 0 ? 1 : -1;
    std::erase_if(found, [sheet](const Found& f) { return f.side != sheet; });
    if (result.surfacePoints > 0)
        result.shareBeyond = double(beyond) / result.surfacePoints;

    // Every vertex once, starting from the first grid point that found it.
    std::stable_sort(found.begin(), found.end(),
                     [](const Found& a, const Found& b) { return a.vertex < b.vertex; });
    found.erase(std::unique(found.begin(), found.end(),
                            [](const Found& a, const Found& b) { return a.vertex == b.vertex; }),
                found.end());
    CFitPointArray points;
    float xyz[3];
    for (const auto& [vertex, point, side] : found) {
        CVertex<float, 3> corner;
        if (!mesh.getVertex(vertex, corner))
            continue;
        for (int a = 0; a < 3; ++a)
            xyz[a] = corner.data[a];
        CFitPoint fp(Vector(xyz, 3), Vector(parameters[std::size_t(point)].first,
                                            parameters[std::size_t(point)].second));
        fp.state = 1;
        points.append(fp);
    }
    IndexSubset<CFitPoint> all(points);
    all.selectAll();
    s->PointInversion(all, kVertexInversion);
    // A vertex found beyond the limit may have been inverted from a start
    // far along a long facet, into a foot that is not its nearest (a local
    // minimum of the distance, where the surface bends) or no foot at all:
    // it is inverted again from the surface's samples nearest to it, and
    // keeps the nearer of the two. One still without a foot is not
    // measured: its distance would be that of a surface point it is not
    // nearest to.
    IndexSubset<CFitPoint> again(points);
    std::vector<CFitPoint> first;
    for (int k = 0; k < points.count; ++k)
        if (std::sqrt(points[k].dist2) > limit) {
            first.push_back(points[k]);
            points[k].state = 1;
            again.append(k);
        }
    if (again.count > 0) {
        s->invertPoints(again, 3, 3, false);
        s->PointInversion(again, kVertexReinversion);
        for (int k = 0; k < again.count; ++k) {
            CFitPoint& fp = again[k];
            const CFitPoint& was = first[std::size_t(k)];
            if (was.boundary == 0 && (fp.boundary != 0 || was.dist2 < fp.dist2)) {
                fp.uv = was.uv;
                fp.dist2 = was.dist2;
                fp.boundary = was.boundary;
            }
        }
    }
    CVertex<double, 3> uv;
    for (int k = 0; k < points.count; ++k) {
        const CFitPoint& fp = points[k];
        if (std::sqrt(fp.dist2) > limit && !isFoot(*s, fp))
            continue;
        // A vertex that far from the surface belongs to another sheet (a
        // floor under a body, seen along a wall): the surface points show
        // a face that far from its own sheet.
        if (std::sqrt(fp.dist2) > reach)
            continue;
        // A vertex whose foot lies on the domain's edge or outside the trim
        // lies beyond the face.
        if (fp.boundary != 0 || fp.uv.n < 2)
            continue;
        uv.data[0] = fp.uv[0];
        uv.data[1] = fp.uv[1];
        uv.data[2] = 0.0;
        if (!polygon.isInside(uv, false))
            continue;
        const double distance = std::sqrt(fp.dist2);
        if (distance > limit && behindTheSheet(*s, mesh, fp, distance))
            continue;
        if (beyondPoints != nullptr && distance > limit)
            beyondPoints->append(CFitPoint(fp.Point, fp.uv));
        ++result.meshVertices;
        result.vertexLargest = std::max(result.vertexLargest, distance);
    }
    result.largest = std::max(result.surfaceLargest, result.vertexLargest);
    return result;
}
