// The distance of a trimmed face from the mesh, both ways (see the header).
#include "net/FaceMeshDistance.h"

#include "foundation/FitPoint.h"
#include "foundation/VertexList.h"
#include "geometry/NurbsSurf.h"
#include "mesh/BaseMesh.h"
#include "mesh/MeshProjection.h"
#include "mesh/VertexFacets.h"
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
// The band along the face's boundary, in grid spacings (tolerances), whose
// mesh vertices are measured but lead no further: within it the mesh may
// turn round the rim of a thin part onto its far side, whose vertices lie
// over the face as well.
constexpr double kBoundaryBand = 3.0;
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
// reach, as far as the measure needs it. The point measured last (`last`,
// its distance; negative for none) bounds it: it lies within the distance
// between the two points of the last one's. Where that bound shows it
// neither beyond the largest so far nor on the other side of the limit
// than the bound's upper end, that end is answered unsought: a face far
// off the mesh has every facet about as far from each of its points, and
// seeking the nearest measures them all. Else it is sought no farther than
// that upper end, where a facet is sure to be, and `last` becomes p. The
// point's foot is not kept: the mesh vertices and the points to meet are
// sought within the reach only.
double distanceBeyondReach(Mesh::CBaseMesh& mesh, const Vector& p, std::pair<Vector, double>& last,
                           double largest, double limit)
{
    Mesh::MeshFoot foot;
    if (last.second >= 0.0) {
        const double apart = norm(p - last.first);
        const double lower = last.second - apart, upper = last.second + apart;
        if (upper <= largest && (lower > limit || upper <= limit))
            return upper;
        if (Mesh::nearestMeshPoint(&mesh, p.data, upper * (1.0 + 1e-9) + 1e-300, foot)) {
            last = {p, foot.distance};
            return foot.distance;
        }
    }
    const double distance =
        Mesh::nearestMeshPoint(&mesh, p.data, HUGE_VAL, foot) ? foot.distance : HUGE_VAL;
    last = {p, distance};
    return distance;
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

// How deep (u, v) lies inside the polygon, in space as the scales of the
// two parameter directions (lengths per parameter) measure it: the
// distance to the nearest edge, negative outside. Inside by the crossing
// rule of rowCrossings.
double depthInside(const CVertexList& polygon, double u, double v, const double scale[2])
{
    const int n = polygon.getCount();
    bool inside = false;
    double nearest = HUGE_VAL;
    for (int k = 0; k < n; ++k) {
        const double* a = polygon.vertices[k]->data;
        const double* b = polygon.vertices[(k + 1) % n]->data;
        if ((a[1] >= v) != (b[1] >= v) && u < a[0] + (v - a[1]) * (b[0] - a[0]) / (b[1] - a[1]))
            inside = !inside;
        const double e[2] = {(b[0] - a[0]) * scale[0], (b[1] - a[1]) * scale[1]};
        const double q[2] = {(u - a[0]) * scale[0], (v - a[1]) * scale[1]};
        const double e2 = e[0] * e[0] + e[1] * e[1];
        const double t = e2 > 0.0 ? std::clamp((q[0] * e[0] + q[1] * e[1]) / e2, 0.0, 1.0) : 0.0;
        nearest = std::min(nearest, std::hypot(q[0] - t * e[0], q[1] - t * e[1]));
    }
    return inside ? nearest : -nearest;
}

// A facet the surface lies on, the parameters of the grid point that found
// it, and which way it faces against the surface's normal there: +1 along
// it, -1 against it, 0 across.
struct Seed {
    int facet;
    double u, v;
    int side;
};

// The part of the mesh a face encloses: the facets reached from the seeds
// across sides whose two ends lie deep inside the face (their feet on the
// surface inside the trim and beyond the boundary band), and the vertices
// of every facet reached, each inverted onto the surface from the foot of
// the vertex it was reached from. A feature inside the face (a spike, a
// pit, a rib) is reached however far it stands off the surface and
// whichever way its facets face; another sheet (a thin part's far side, a
// floor under a body, a second body beside) only across the face's
// boundary, where the walk stops. Each facet and each vertex is taken once:
// the cost follows the part of the mesh under the face.
class EnclosedPart {
public:
    EnclosedPart(NurbsSurf& s, Mesh::CBaseMesh& mesh, const CVertexList& polygon,
                 const double scale[2], double band, double limit)
        : s(s), mesh(mesh), polygon(polygon), scale{scale[0], scale[1]}, band(band), limit(limit),
          around(Mesh::CVertexFacets::of(mesh))
    {
        around.startWalk();
    }

    // The vertices of the part reached from the seeds, inverted onto the
    // surface (their dist2, uv and boundary flag set).
    CFitPointArray& collect(const std::vector<Seed>& seeds)
    {
        for (const Seed& seed : seeds)
            take(seed.facet, seed.u, seed.v);
        std::vector<int> facets, across;
        while (!next.empty()) {
            invertPending();
            facets.swap(next);
            next.clear();
            for (int facet : facets) {
                const std::span<const int> corners = around.corners(facet);
                const std::size_t n = corners.size();
                for (std::size_t k = 0; k < n; ++k) {
                    const int a = corners[k], b = corners[(k + 1) % n];
                    if (a == b || !isDeep(a) || !isDeep(b))
                        continue;
                    around.across(facet, a, b, across);
                    // By value: taking a facet appends to the points.
                    const Vector from = points[around.vertexMark(a)].uv;
                    for (int g : across)
                        take(g, from[0], from[1]);
                }
            }
        }
        return points;
    }

    // Whether a facet of the part with the point's vertex for a corner faces
    // as the face's sheet does (`sheet` +1 along the surface's normal, -1
    // against it) at the point's foot.
    bool facesTheSheet(int point, int sheet)
    {
        const CFitPoint& fp = points[point];
        Vector foot(3), normal(3);
        s.evaluatePointAndNormal(fp.uv[0], fp.uv[1], foot, normal);
        const double length = norm(normal);
        Mesh::CBaseMesh::Direction facetNormal;
        for (int facet : around.around(vertexOf[std::size_t(point)])) {
            if (around.facetMark(facet) < 0 || !mesh.getFacetNormal(facet, facetNormal))
                continue;
            double c = 0.0, facetLength = 0.0;
            for (int a = 0; a < 3; ++a) {
                c += double(facetNormal.data[a]) * normal[a];
                facetLength += double(facetNormal.data[a]) * facetNormal.data[a];
            }
            if (sheet * c >= kSheetCosine * length * std::sqrt(facetLength) && c != 0.0)
                return true;
        }
        return false;
    }

private:
    NurbsSurf& s;
    Mesh::CBaseMesh& mesh;
    const CVertexList& polygon;
    const double scale[2];
    const double band, limit;
    // The mesh's table; its marks: each vertex's point, each facet reached.
    Mesh::CVertexFacets& around;
    std::vector<unsigned char> deep; // each point: leads on
    std::vector<int> vertexOf;        // each point's vertex
    CFitPointArray points;
    std::vector<int> next, pending; // facets reached, points not yet inverted

    // The facet joins the part, and its corners not reached before, to be
    // inverted from (u, v).
    void take(int facet, double u, double v)
    {
        if (around.corners(facet).empty() || around.facetMark(facet) >= 0)
            return;
        around.setFacetMark(facet, 1);
        next.push_back(facet);
        CVertex<float, 3> corner;
        for (int vertex : around.corners(facet)) {
            if (around.vertexMark(vertex) >= 0 || !mesh.getVertex(vertex, corner) ||
                !Mesh::isFinitePoint(corner.data))
                continue;
            const int at = points.count;
            around.setVertexMark(vertex, at);
            CFitPoint fp(
                Vector(double(corner.data[0]), double(corner.data[1]), double(corner.data[2])),
                Vector(u, v));
            fp.state = 1;
            points.append(fp);
            pending.push_back(at);
            deep.push_back(0);
            vertexOf.push_back(vertex);
        }
    }

    void invertPending()
    {
        if (pending.empty())
            return;
        IndexSubset<CFitPoint> batch(points, int(pending.size()));
        for (int k : pending)
            batch.append(k);
        s.PointInversion(batch, kVertexInversion);
        for (int k : pending) {
            const CFitPoint& fp = points[k];
            deep[std::size_t(k)] = fp.boundary == 0 && fp.uv.n >= 2 &&
                                   (std::sqrt(fp.dist2) <= limit || isFoot(s, fp)) &&
                                   depthInside(polygon, fp.uv[0], fp.uv[1], scale) > band;
        }
        pending.clear();
    }

    bool isDeep(int vertex) const
    {
        const int at = around.vertexMark(vertex);
        return at >= 0 && deep[std::size_t(at)] != 0;
    }
};

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
    // The facets the surface lies on (nearest to a grid point, within the
    // limit), with the parameters of that grid point and whether the facet
    // faces along the surface's normal there: the seeds of the part of the
    // mesh the face encloses.
    std::vector<Seed> seeds;
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
    int beyond = 0;
    Vector p(3);
    // The surface point measured last, and its distance from the mesh.
    std::pair<Vector, double> measured{Vector(3), -1.0};
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
            if (Mesh::nearestMeshPoint(&mesh, p.data, reach, foot)) {
                distance = foot.distance;
                measured = {p, distance};
            } else {
                distance = distanceBeyondReach(mesh, p, measured, result.surfaceLargest, limit);
            }
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
            const double c = cosine(foot.facet);
            facing += c >= 0.0 ? 1 : -1;
            if (distance <= limit)
                seeds.push_back({foot.facet, u, v,
                                 c >= kSheetCosine    ? 1
                                 : -c >= kSheetCosine ? -1
                                                      : 0});
        }
    }
    if (result.surfacePoints > 0)
        result.shareBeyond = double(beyond) / result.surfacePoints;
    // The facets that face the other way belong to another sheet: a thin
    // part's far side, a trailing edge's lower skin.
    const int sheet = facing >= 0 ? 1 : -1;
    std::erase_if(seeds, [sheet](const Seed& seed) { return seed.side != sheet; });
    if (seeds.empty()) {
        result.largest = result.surfaceLargest;
        return result;
    }
    const double scale[2] = {lengths[0] / (high[0] - low[0]), lengths[1] / (high[1] - low[1])};
    const double band = std::min(kBoundaryBand * grid, 0.25 * std::min(lengths[0], lengths[1]));
    EnclosedPart part(*s, mesh, polygon, scale, band, limit);
    CFitPointArray& points = part.collect(seeds);

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
    // The vertices beyond the limit, farthest first, are measured unless
    // another sheet's facets cross the line to them nearer the surface
    // (the part's far side, reached through a hole in it): only until the
    // largest is found, and those the fit takes (on the face's sheet,
    // within the reach: not a feature it cannot follow, which it would
    // chase into a bulge all round it: a spike, a rib, a wall).
    std::vector<std::pair<double, int>> far;
    CVertex<double, 3> uv;
    for (int k = 0; k < points.count; ++k) {
        const CFitPoint& fp = points[k];
        const double distance = std::sqrt(fp.dist2);
        if (distance > limit && !isFoot(*s, fp))
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
        if (distance > limit) {
            far.emplace_back(distance, k);
            continue;
        }
        ++result.meshVertices;
        result.vertexLargest = std::max(result.vertexLargest, distance);
    }
    std::sort(far.begin(), far.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    std::vector<int> taken;
    bool largestFound = false;
    for (const auto& [distance, k] : far) {
        const bool fitTakes =
            beyondPoints != nullptr && distance <= reach && part.facesTheSheet(k, sheet);
        if ((largestFound && !fitTakes) || behindTheSheet(*s, mesh, points[k], distance))
            continue;
        ++result.meshVertices;
        if (!largestFound)
            result.vertexLargest = std::max(result.vertexLargest, distance);
        largestFound = true;
        if (fitTakes)
            taken.push_back(k);
    }
    std::sort(taken.begin(), taken.end());
    for (int k : taken)
        beyondPoints->append(CFitPoint(points[k].Point, points[k].uv));
    result.largest = std::max(result.surfaceLargest, result.vertexLargest);
    return result;
}
