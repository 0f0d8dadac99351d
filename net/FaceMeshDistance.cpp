// The distance of a trimmed face from the mesh, both ways (see the header).
#include "net/FaceMeshDistance.h"

#include "foundation/FitPoint.h"
#include "foundation/FitPointGrid.h"
#include "foundation/VertexList.h"
#include "geometry/NurbsSurf.h"
#include "mesh/BaseMesh.h"
#include "mesh/FacetHashIndex.h"
#include "mesh/MeshProjection.h"
#include "mesh/VertexFacets.h"
#include "net/Face.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <memory>
#include <span>
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
// beyond the limit, from the nearest of the surface's samples (about
// kSamplesPerSpan a control point each way, at most kMostSamples), and how
// far off the surface's normal the line from a foot to its vertex may turn
// (the sine of the angle).
constexpr int kVertexReinversion = 60;
constexpr int kSamplesPerSpan = 3, kMostSamples = 300;
constexpr double kFootSine = 0.05;
// A facet faces as the face's sheet does within 60 degrees of the surface's
// normal (the right way round).
constexpr double kSheetCosine = 0.5;
// A foot lies on the face's side where it lies within this share of the
// margin of the trim.
constexpr double kOnTheSide = 1e-9;
// The facets sought across a surface point's normal line, in hash cells
// around it, at the least.
constexpr double kSheetSearch = 2.0;

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

// The distance of q from the segment from the origin to e.
double segmentDistance(const double q[2], const double e[2])
{
    const double e2 = e[0] * e[0] + e[1] * e[1];
    const double t = e2 > 0.0 ? std::clamp((q[0] * e[0] + q[1] * e[1]) / e2, 0.0, 1.0) : 0.0;
    return std::hypot(q[0] - t * e[0], q[1] - t * e[1]);
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
        nearest = std::min(nearest, segmentDistance(q, e));
    }
    return inside ? nearest : -nearest;
}

// A point of the surface and the surface's first derivatives there: the
// tangent plane that puts the start of a mesh vertex's inversion near its
// foot, so that the inversion needs a Newton step fewer than from the
// point's own parameters.
struct TangentFrame {
    double point[3], su[3], sv[3];

    void set(const Vector& p, const Vector& du, const Vector& dv)
    {
        for (int a = 0; a < 3; ++a) {
            point[a] = a < p.n ? p[a] : 0.0;
            su[a] = a < du.n ? du[a] : 0.0;
            sv[a] = a < dv.n ? dv[a] : 0.0;
        }
    }

    // The parameters (u, v) of the frame's point, in start, moved by the
    // least-squares solution d of [S_u S_v] d = xyz - point. Left as they
    // are where that system is singular.
    void startOf(const double xyz[3], double start[2]) const
    {
        double r[3];
        for (int a = 0; a < 3; ++a)
            r[a] = xyz[a] - point[a];
        const double a = su[0] * su[0] + su[1] * su[1] + su[2] * su[2];
        const double b = su[0] * sv[0] + su[1] * sv[1] + su[2] * sv[2];
        const double c = sv[0] * sv[0] + sv[1] * sv[1] + sv[2] * sv[2];
        const double gu = su[0] * r[0] + su[1] * r[1] + su[2] * r[2];
        const double gv = sv[0] * r[0] + sv[1] * r[1] + sv[2] * r[2];
        const double det = a * c - b * b;
        if (!(det > 1e-12 * a * c) || !std::isfinite(det))
            return;
        const double du = (c * gu - b * gv) / det, dv = (a * gv - b * gu) / det;
        if (std::isfinite(du) && std::isfinite(dv)) {
            start[0] += du;
            start[1] += dv;
        }
    }
};

// A facet the surface lies on, the parameters of the grid point that found
// it with the tangent frame there, and which way it faces against the
// surface's normal there: +1 along it, -1 against it, 0 across.
struct Seed {
    int facet;
    double u, v;
    TangentFrame frame;
    int side;
};

// A cell of the facet hash near the surface (its index in the hash's flat
// mirror) and the parameters and tangent frame of a grid point near it, to
// start the inversions of its facets' corners from.
struct NearCell {
    int cell;
    double u, v;
    TangentFrame frame;
};

// What the part knows of one of its mesh vertices beside its point (the
// vertex, its foot's parameters and distance): the surface's unit normal at
// the foot, how deep the foot lies inside the trim (negative outside),
// whether the vertex lies under the face (its foot inside the trim; beyond
// the limit a true foot, and the vertex over or under the face, not beside
// it), whether it lies so beyond the limit but over a foot on the trim
// itself, whether the walk goes on from it, and whether a facet of the
// face's sheet has it for a corner.
struct PartVertex {
    int vertex;
    double normal[3];
    // At the foot (with hasNormal): the starts of the vertices reached from
    // this one.
    TangentFrame frame;
    double depth;
    bool hasNormal;
    bool under;
    bool onSide;
    bool leads;
    bool onSheet;
};

// The part of the mesh under a face: the facets reached from the seeds
// (facets the surface lies on, facing as the face's sheet does) from facet
// to facet across the sides they share, and the vertices of every facet
// reached, each inverted onto the surface from the foot of the vertex it
// was reached from (beyond the limit, again from the surface's nearest
// sample). A feature inside the face (a spike, a pit, a rib, a fold) is
// reached however far it stands off the surface, however steep its facets
// and whatever the sheet's slope, near the face's sides as in its middle.
//
// The walk goes on from a facet only when it does not face against the
// face's sheet, and across a side only where one end leads on and the
// other lies under the face; a vertex leads on where it lies within the
// limit inside the trim, or farther where its foot lies deeper inside than
// the margin. So it does not turn round a thin part's rim onto its far
// side, nor go down (or up) a wall that stands on the face's side. Facets
// near the surface that no walk reached (a separate piece lying on the
// sheet, another sheet) are looked at through the facet hash: one that
// faces as the sheet does and has a corner within the limit under the face
// starts a walk of its own. Where more than two facets meet at a side, the
// walk does not go into a web of a shell model hanging behind the sheet.
// Each facet and each vertex is taken once, and the table of facets round
// the vertices is the mesh's own (built once): the cost follows the part
// under the face.
class EnclosedPart {
public:
    EnclosedPart(NurbsSurf& s, Mesh::CBaseMesh& mesh, const CVertexList& polygon,
                 const double scale[2], double margin, double limit, int sheet,
                 const Vector& meanNormal)
        : s(s), mesh(mesh), polygon(polygon), scale{scale[0], scale[1]}, margin(margin),
          limit(limit), sheet(sheet), meanNormal{meanNormal[0], meanNormal[1], meanNormal[2]},
          table(Mesh::CVertexFacets::of(mesh))
    {
        table.startWalk();
    }

    CFitPointArray points;
    std::vector<PartVertex> vertices; // of each point

    // The part reached from the seeds.
    void walk(const std::vector<Seed>& seeds)
    {
        for (const Seed& seed : seeds)
            take(seed.facet, seed.u, seed.v, &seed.frame);
        spread();
    }

    // The facets with a hash item in the cells that no walk reached: each
    // that faces as the sheet does and has a corner within the limit whose
    // foot lies inside the trim starts a walk (a separate piece lying on the
    // sheet); the corners of the others are the part's points too (counted
    // as left out where they lie under the face beyond the limit).
    void walkFromNearbyFacets(const Mesh::CFacetHashIndex& flat, const std::vector<NearCell>& cells)
    {
        std::vector<int> candidates;
        for (const NearCell& near : cells) {
            const Mesh::CFacetHashIndex::Cell& cell = flat.cells[std::size_t(near.cell)];
            for (int n = 0; n < cell.count; ++n) {
                const int facet = flat.items[std::size_t(cell.first + n)].facet;
                if (table.corners(facet).empty() || table.facetMark(facet) >= 0)
                    continue;
                table.setFacetMark(facet, kSeen);
                candidates.push_back(facet);
                addCorners(facet, near.u, near.v, &near.frame);
            }
        }
        invertPending();
        for (int facet : candidates) {
            if (table.facetMark(facet) == kTaken || !facesAsTheSheet(facet))
                continue;
            for (int vertex : table.corners(facet))
                if (const int at = slotOf(vertex); at >= 0 && vertices[std::size_t(at)].leads &&
                                                   points[at].dist2 <= limit * limit) {
                    take(facet, points[at].uv[0], points[at].uv[1], frameOf(at));
                    break;
                }
        }
        spread();
    }

    // Whether a facet of the part with the point's vertex for a corner faces
    // as the face's sheet does within 60 degrees at the point's foot.
    bool facesTheSheet(int point)
    {
        for (int facet : table.around(vertices[std::size_t(point)].vertex))
            if (table.facetMark(facet) == kTaken && sheet * cosine(facet, point) >= kSheetCosine)
                return true;
        return false;
    }

    // Whether every facet with the point's vertex for a corner faces as the
    // face's sheet does within 60 degrees at the point's foot: the vertex
    // lies on the sheet itself, on no step, wall or feature.
    bool onlyOnTheSheet(int point)
    {
        for (int facet : table.around(vertices[std::size_t(point)].vertex))
            if (sheet * cosine(facet, point) < kSheetCosine)
                return false;
        return true;
    }

    // Whether a facet with the point's vertex for a corner faces against
    // the face's sheet at the point's foot: the vertex lies on the rim of
    // another sheet (a thin part's far side, reached round its rim or
    // through a hole in it), not on a feature of the face's sheet.
    bool touchesAgainst(int point)
    {
        for (int facet : table.around(vertices[std::size_t(point)].vertex))
            if (sheet * cosine(facet, point) <= -kSheetCosine)
                return true;
        return false;
    }

    // Whether a facet of the face's sheet with the point's vertex for a
    // corner has another corner whose foot lies deeper inside the trim than
    // the margin, or faces as the sheet does and has another corner under
    // the face: the vertex belongs to a feature that stands on the face (a
    // spike, a pit, a rib beside its side) or to the sheet itself, not to a
    // wall that stands on the side, whose vertices all have their feet
    // there (and whose foot facets lie beyond it).
    bool standsInside(int point)
    {
        const int vertex = vertices[std::size_t(point)].vertex;
        for (int facet : table.around(vertex)) {
            if (table.facetMark(facet) != kTaken || facesAgainst(facet))
                continue;
            const bool facing = sheet * cosine(facet, point) >= kSheetCosine;
            for (int corner : table.corners(facet)) {
                const int at = slotOf(corner);
                if (corner == vertex || at < 0)
                    continue;
                const PartVertex& other = vertices[std::size_t(at)];
                if (other.depth > margin || (facing && other.under))
                    return true;
            }
        }
        return false;
    }

private:
    // A facet's mark in the walk: looked at and left (a facet near the
    // surface that no walk reached yet), or taken into the part.
    static constexpr int kSeen = 0, kTaken = 1;

    NurbsSurf& s;
    Mesh::CBaseMesh& mesh;
    const CVertexList& polygon;
    const double scale[2];
    const double margin, limit;
    const int sheet;
    const double meanNormal[3];     // the face's, of unit length (or zero)
    Mesh::CVertexFacets& table;     // its marks: each vertex's point, each facet's state
    std::vector<int> next, pending; // facets reached, points not yet inverted
    std::vector<int> across;
    // Points of the surface over its domain with their parameters, and their
    // buckets.
    CFitPointArray samples;
    std::unique_ptr<CFitPointGrid> sampleGrid;
    // The face's outline seen along its mean normal.
    std::vector<std::array<double, 2>> outline;
    // The foot, normal and tangents of the point placed last.
    Vector placeWork[4];
    // A facet's normal and a vertex read last: made once for the part, not
    // for each facet.
    Mesh::CBaseMesh::Direction facetNormalWork;
    CVertex<float, 3> cornerWork;

    int slotOf(int vertex) const { return table.vertexMark(vertex); }

    // The tangent frame at the foot of the part's point, null where it has
    // none.
    const TangentFrame* frameOf(int point) const
    {
        const PartVertex& pv = vertices[std::size_t(point)];
        return pv.hasNormal ? &pv.frame : nullptr;
    }

    // The facet joins the part, and its corners not reached before, to be
    // inverted from (u, v), the parameters of the frame's point.
    void take(int facet, double u, double v, const TangentFrame* frame)
    {
        if (table.corners(facet).empty() || table.facetMark(facet) == kTaken)
            return;
        table.setFacetMark(facet, kTaken);
        next.push_back(facet);
        addCorners(facet, u, v, frame);
    }

    // The facet's corners not reached before become points, to be inverted
    // from where the tangent frame at (u, v) puts them (from (u, v) itself
    // without one). A corner that cannot be read is marked so (-2).
    void addCorners(int facet, double u, double v, const TangentFrame* frame)
    {
        // By value: the frame may be a point's of the part, whose list the
        // corners are appended to.
        const bool framed = frame != nullptr;
        const TangentFrame from = framed ? *frame : TangentFrame{};
        CVertex<float, 3>& corner = cornerWork;
        for (int vertex : table.corners(facet)) {
            if (table.vertexMark(vertex) != -1)
                continue;
            if (!mesh.getVertex(vertex, corner) || !Mesh::isFinitePoint(corner.data)) {
                table.setVertexMark(vertex, -2);
                continue;
            }
            table.setVertexMark(vertex, points.count);
            const double xyz[3] = {double(corner.data[0]), double(corner.data[1]),
                                   double(corner.data[2])};
            double start[2] = {u, v};
            if (framed)
                from.startOf(xyz, start);
            // Filled in place: a copy of a point and its vectors for each
            // vertex cost more than the vertex's own work.
            CFitPoint& fp = points[points.append(CFitPoint())];
            fp.Point.resize(3);
            fp.uv.resize(2);
            std::copy_n(xyz, 3, fp.Point.data);
            std::copy_n(start, 2, fp.uv.data);
            fp.state = 1;
            vertices.push_back(
                {vertex, {0.0, 0.0, 0.0}, {}, -HUGE_VAL, false, false, false, false, false});
            pending.push_back(points.count - 1);
        }
    }

    // The facets reached, layer by layer: each that does not face against
    // the sheet makes its corners the sheet's and leads across its sides
    // where one end leads on and the other lies under the face.
    void spread()
    {
        std::vector<int> facets;
        while (!next.empty()) {
            invertPending();
            facets.swap(next);
            next.clear();
            for (int facet : facets) {
                if (facesAgainst(facet))
                    continue;
                const std::span<const int> corners = table.corners(facet);
                const std::size_t n = corners.size();
                for (int vertex : corners)
                    if (const int at = slotOf(vertex); at >= 0)
                        vertices[std::size_t(at)].onSheet = true;
                for (std::size_t k = 0; k < n; ++k) {
                    const int a = corners[k], b = corners[(k + 1) % n];
                    const int atA = slotOf(a), atB = slotOf(b);
                    if (a == b || atA < 0 || atB < 0)
                        continue;
                    const PartVertex &va = vertices[std::size_t(atA)],
                                     &vb = vertices[std::size_t(atB)];
                    if (!(va.leads && vb.under) && !(va.under && vb.leads))
                        continue;
                    table.across(facet, a, b, across);
                    // Where more than two facets meet at a side, a web of a
                    // shell model hanging behind the sheet (a spar, a rib,
                    // a bulkhead) is not walked into.
                    if (across.size() > 1)
                        std::erase_if(across, [&](int g) { return hangsBehind(g, a, b, atA); });
                    // By value: taking a facet appends to the points.
                    const double u = points[atA].uv[0], v = points[atA].uv[1];
                    for (int g : across)
                        take(g, u, v, frameOf(atA));
                }
            }
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
        invertBeyondAgain();
        for (int k : pending)
            place(k);
        pending.clear();
    }

    // A vertex found beyond the limit may have been inverted from a start
    // far along a long facet or round a bend of the surface, into a foot
    // that is not its nearest (a local minimum of the distance: a vertex
    // beside the face whose line to a steep part of the surface runs along
    // its normal there) or no foot at all: it is inverted again from the
    // surface's sample nearest to it, and keeps the nearer of the two feet,
    // on the domain's edge too (then it lies beyond the face).
    void invertBeyondAgain()
    {
        IndexSubset<CFitPoint> again(points);
        std::vector<CFitPoint> first;
        for (int k : pending)
            if (points[k].dist2 > limit * limit && points[k].uv.n >= 2) {
                first.push_back(points[k]);
                points[k].state = 1;
                const Vector start = nearestSample(points[k].Point);
                points[k].uv[0] = start[0];
                points[k].uv[1] = start[1];
                again.append(k);
            }
        if (again.count == 0)
            return;
        s.PointInversion(again, kVertexReinversion);
        for (int k = 0; k < again.count; ++k) {
            CFitPoint& fp = again[k];
            const CFitPoint& was = first[std::size_t(k)];
            if (was.dist2 <= fp.dist2) {
                fp.uv = was.uv;
                fp.dist2 = was.dist2;
                fp.boundary = was.boundary;
            }
        }
    }

    // The parameters of the sample of the surface nearest to p: samples three
    // to a knot span each way over the whole domain (a cubic piece cannot
    // turn between them so far that the nearest leads Newton's method to
    // another valley of the distance), made at the first call.
    Vector nearestSample(const Vector& p)
    {
        if (sampleGrid == nullptr) {
            const Interval du = s.getDomain(0), dv = s.getDomain(1);
            const int nu = std::clamp(kSamplesPerSpan * s.getUCount(), 8, kMostSamples);
            const int nv = std::clamp(kSamplesPerSpan * s.getVCount(), 8, kMostSamples);
            Vector q(3);
            for (int j = 0; j <= nv; ++j)
                for (int i = 0; i <= nu; ++i) {
                    const double u = du.min + i * du.getLength() / nu,
                                 v = dv.min + j * dv.getLength() / nv;
                    s.evaluatePoint(q, u, v);
                    samples.append(CFitPoint(q, Vector(u, v)));
                }
            const int buckets = std::max(1, int(std::cbrt(double(samples.count))));
            sampleGrid = std::make_unique<CFitPointGrid>(samples, buckets, buckets, buckets);
        }
        int index = -1;
        sampleGrid->findNearestOverall(p, index);
        return index >= 0 ? samples[index].uv : Vector(0.0, 0.0);
    }

    // The point's normal, depth inside the trim, whether it lies under the
    // face and whether it leads on, from its foot.
    void place(int k)
    {
        const CFitPoint& fp = points[k];
        PartVertex& pv = vertices[std::size_t(k)];
        pv.leads = pv.onSide = false;
        pv.depth = -HUGE_VAL;
        pv.hasNormal = fp.uv.n >= 2;
        if (!pv.hasNormal)
            return;
        Vector &foot = placeWork[0], &normal = placeWork[1], &su = placeWork[2], &sv = placeWork[3];
        s.evaluatePointAndNormal(fp.uv[0], fp.uv[1], foot, normal, &su, &sv);
        for (int a = 0; a < 3; ++a)
            pv.normal[a] = normal[a];
        pv.frame.set(foot, su, sv);
        // A foot on the domain's edge lies beyond the face.
        if (fp.boundary != 0)
            return;
        pv.depth = depthInside(polygon, fp.uv[0], fp.uv[1], scale);
        // A foot on the trim, to rounding, lies on the face's side: the foot of
        // a wall straight down or up from it, or of the sheet's own vertex
        // there (onSide: judged once the part is walked).
        const bool inside = pv.depth > kOnTheSide * margin;
        const double distance = std::sqrt(fp.dist2);
        if (distance <= limit) {
            pv.under = pv.leads = inside;
            return;
        }
        // Beyond the limit only at a true foot, and inside the face's
        // outline seen along its mean normal: a vertex outside it lies by
        // the face, not over or under it, though its line to a steep part of
        // the surface near the side (round a bend, or up a feature the face
        // follows) runs along the normal there. Within the margin of the
        // outline it counts as inside: a vertex off a sloped surface shows
        // beside its foot (by its distance times the sine of the slope
        // against the mean normal), and one a little off a wavy or tilted
        // face over a foot just inside the trim (noise on the sheet) shows
        // just outside; it lies over the face, and the fit takes it.
        const bool onTheTrim = !inside && !(pv.depth < -kOnTheSide * margin);
        const bool over = (inside || onTheTrim) && isFoot(s, fp) && insideOutline(fp.Point);
        pv.under = inside && over;
        pv.onSide = onTheTrim && over;
        pv.leads = pv.under && pv.depth > margin;
    }

    // Whether p, seen along the face's mean normal, lies inside the face's
    // outline (the surface's points at the trim's vertices; made at the
    // first call) or within the margin of it.
    bool insideOutline(const Vector& p)
    {
        const double* n = meanNormal;
        // A frame across the mean normal: from the axis least along it.
        const int least = std::fabs(n[0]) <= std::fabs(n[1]) && std::fabs(n[0]) <= std::fabs(n[2])
                              ? 0
                          : std::fabs(n[1]) <= std::fabs(n[2]) ? 1
                                                               : 2;
        double e1[3] = {least == 0 ? 1.0 : 0.0, least == 1 ? 1.0 : 0.0, least == 2 ? 1.0 : 0.0};
        const double along = e1[0] * n[0] + e1[1] * n[1] + e1[2] * n[2];
        for (int a = 0; a < 3; ++a)
            e1[a] -= along * n[a];
        const double e2[3] = {n[1] * e1[2] - n[2] * e1[1], n[2] * e1[0] - n[0] * e1[2],
                              n[0] * e1[1] - n[1] * e1[0]};
        const auto seen = [&](const double* q) {
            return std::array<double, 2>{q[0] * e1[0] + q[1] * e1[1] + q[2] * e1[2],
                                         q[0] * e2[0] + q[1] * e2[1] + q[2] * e2[2]};
        };
        if (outline.empty()) {
            Vector q(3);
            for (const CVertex<double, 3>* v : polygon.vertices) {
                s.evaluatePoint(q, v->data[0], v->data[1]);
                outline.push_back(seen(q.data));
            }
        }
        const std::array<double, 2> at = seen(p.data);
        bool inside = false;
        double nearest = HUGE_VAL;
        for (std::size_t k = 0, n = outline.size(); k < n; ++k) {
            const std::array<double, 2>&a = outline[k], &b = outline[(k + 1) % n];
            if ((a[1] >= at[1]) != (b[1] >= at[1]) &&
                at[0] < a[0] + (at[1] - a[1]) * (b[0] - a[0]) / (b[1] - a[1]))
                inside = !inside;
            const double e[2] = {b[0] - a[0], b[1] - a[1]}, q[2] = {at[0] - a[0], at[1] - a[1]};
            nearest = std::min(nearest, segmentDistance(q, e));
        }
        return inside || nearest <= margin;
    }

    // The cosine between the facet's normal and the surface's normal at the
    // point's foot (0 where either has no direction).
    double cosine(int facet, int point)
    {
        Mesh::CBaseMesh::Direction& n = facetNormalWork;
        if (!mesh.getFacetNormal(facet, n))
            return 0.0;
        const double* normal = vertices[std::size_t(point)].normal;
        double c = 0.0, length = 0.0;
        for (int a = 0; a < 3; ++a) {
            c += double(n.data[a]) * normal[a];
            length += double(n.data[a]) * n.data[a];
        }
        return length > 0.0 ? c / std::sqrt(length) : 0.0;
    }

    // Whether a facet across the side a-b, where more than two facets meet,
    // hangs behind the face's sheet: it does not face as the sheet does, and
    // a corner of it off the side lies behind the surface (on the side the
    // sheet faces away from) by more than the limit, seen from a's foot. A
    // feature's facet rising in front of the sheet (a spike's flank where it
    // stands on a doubled sheet) is walked into.
    bool hangsBehind(int facet, int a, int b, int atA)
    {
        if (sheet * cosine(facet, atA) >= kSheetCosine)
            return false;
        const CFitPoint& fa = points[atA];
        const double* n = vertices[std::size_t(atA)].normal;
        Vector foot(3);
        s.evaluatePoint(foot, fa.uv[0], fa.uv[1]);
        CVertex<float, 3>& corner = cornerWork;
        for (int c : table.corners(facet)) {
            if (c == a || c == b || !mesh.getVertex(c, corner))
                continue;
            double off = 0.0;
            for (int k = 0; k < 3; ++k)
                off += (double(corner.data[k]) - foot[k]) * n[k];
            if (sheet * off < -limit)
                return true;
        }
        return false;
    }

    // Whether the facet faces as the face's sheet does within 60 degrees at
    // the foot of its first corner that has one.
    bool facesAsTheSheet(int facet)
    {
        for (int vertex : table.corners(facet))
            if (const int at = slotOf(vertex); at >= 0 && vertices[std::size_t(at)].hasNormal)
                return sheet * cosine(facet, at) >= kSheetCosine;
        return false;
    }

    // Whether the facet faces against the face's sheet (the far side of a
    // thin part, the underside of a body over the face) at the foot of its
    // first corner that has one.
    bool facesAgainst(int facet)
    {
        for (int vertex : table.corners(facet))
            if (const int at = slotOf(vertex); at >= 0 && vertices[std::size_t(at)].hasNormal)
                return sheet * cosine(facet, at) <= -kSheetCosine;
        return false;
    }
};

// A grid point's key in the facet hash, its parameters, its place and unit
// normal, and the tangent frame there.
struct GridKey {
    std::array<int, 3> key;
    double u, v;
    std::array<double, 3> point, normal;
    TangentFrame frame;
};

// The cells of the facet hash near the surface, ascending, each once with
// the parameters of a grid point near it: the grid points' cells (keys),
// and those their normal lines pass within the reach (another sheet over or
// under the face).
std::vector<NearCell> nearCells(const Mesh::CFacetHashIndex& flat,
                                const Mesh::C3DHash<Mesh::CFacetCentroid, float>& hash,
                                std::vector<GridKey>& keys, double reach)
{
    std::stable_sort(keys.begin(), keys.end(),
                     [](const GridKey& a, const GridKey& b) { return a.key < b.key; });
    keys.erase(std::unique(keys.begin(), keys.end(),
                           [](const GridKey& a, const GridKey& b) { return a.key == b.key; }),
               keys.end());
    std::vector<NearCell> cells;
    const auto add = [&](long long i, long long j, long long k, const GridKey& from) {
        if (i < INT_MIN || i > INT_MAX || j < INT_MIN || j > INT_MAX || k < INT_MIN || k > INT_MAX)
            return;
        if (const int c = flat.cellAt(int(i), int(j), int(k)); c >= 0)
            cells.push_back({c, from.u, from.v, from.frame});
    };
    // Half a cell apart along the normal lines.
    const double step = 0.5 * hash.cellSize;
    const int steps = step > 0.0 ? int(std::min(std::ceil(reach / step), 1e4)) : 0;
    for (const GridKey& g : keys) {
        add(g.key[0], g.key[1], g.key[2], g);
        for (int k = -steps; k <= steps; ++k) {
            int key[3];
            hash.cellKey(CVertex<float, 3>{float(g.point[0] + k * step * g.normal[0]),
                                           float(g.point[1] + k * step * g.normal[1]),
                                           float(g.point[2] + k * step * g.normal[2])},
                         key[0], key[1], key[2]);
            add(key[0], key[1], key[2], g);
        }
    }
    std::stable_sort(cells.begin(), cells.end(),
                     [](const NearCell& a, const NearCell& b) { return a.cell < b.cell; });
    cells.erase(std::unique(cells.begin(), cells.end(),
                            [](const NearCell& a, const NearCell& b) { return a.cell == b.cell; }),
                cells.end());
    return cells;
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
    // The facets the surface lies on (nearest to a grid point, within the
    // limit), with the parameters of that grid point and whether the facet
    // faces along the surface's normal there: the seeds of the part of the
    // mesh the face encloses.
    std::vector<Seed> seeds;
    // Which way the mesh's sheet faces against the surface's normal: the
    // facets nearest the grid points vote.
    int facing = 0;
    Vector n(3), meanNormal(3);
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
    // The hash keys of the grid points near the mesh: the cells round them
    // and along their normal lines hold the facets near the surface.
    std::vector<GridKey> keys;
    std::vector<double> crossings;
    int beyond = 0;
    Vector p(3), su(3), sv(3);
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
                // Into the pair's own vector: a grid point costs no copy made
                // and freed.
                measured.first = p;
                measured.second = distance;
            } else {
                distance = distanceBeyondReach(mesh, p, measured, result.surfaceLargest, limit);
            }
            ++result.surfacePoints;
            result.surfaceLargest = std::max(result.surfaceLargest, distance);
            if (distance > limit)
                ++beyond;
            if (foot.facet < 0)
                continue;
            s->getRawNormal(n, u, v, &su, &sv);
            if (const double length = norm(n); length > 0.0)
                n *= 1.0 / length;
            meanNormal += n;
            if (beyondPoints != nullptr && distance > limit)
                beyondPoints->append(
                    CFitPoint(pointToMeet(mesh, p, n, foot, distance), Vector(u, v)));
            if (!withVertices)
                continue;
            GridKey& key =
                keys.emplace_back(GridKey{{}, u, v, {p[0], p[1], p[2]}, {n[0], n[1], n[2]}, {}});
            key.frame.set(p, su, sv);
            mesh.facetHash.cellKey(CVertex<float, 3>{float(p[0]), float(p[1]), float(p[2])},
                                   key.key[0], key.key[1], key.key[2]);
            const double c = cosine(foot.facet);
            facing += c >= 0.0 ? 1 : -1;
            if (distance <= limit)
                seeds.push_back({foot.facet, u, v, key.frame,
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
    const double margin = std::min(grid, 0.25 * std::min(lengths[0], lengths[1]));
    if (const double length = norm(meanNormal); length > 0.0)
        meanNormal *= 1.0 / length;
    EnclosedPart part(*s, mesh, polygon, scale, margin, limit, sheet, meanNormal);
    part.walk(seeds);
    if (const Mesh::CFacetHashIndex* flat = mesh.flatFacetHash())
        part.walkFromNearbyFacets(*flat, nearCells(*flat, mesh.facetHash, keys, reach));
    CFitPointArray& points = part.points;

    // Every vertex under the face (its foot inside the trim) is measured
    // where it lies on the face's sheet, however far (beyond the limit only
    // at a true foot, and not on the rim of another sheet, which a wall
    // through a hole in the part or round its rim leads to), where its foot
    // lies deeper inside than the margin or it stands on the face beyond the
    // margin (within the margin the mesh may turn down a wall on the face's
    // side). Those
    // beyond the limit that are not measured are counted as left out. The
    // fit takes those on the face's sheet within the reach that face as it
    // does (not a feature it cannot follow, which it would chase into a
    // bulge all round it: a spike, a rib, a wall).
    std::vector<int> taken;
    for (int k = 0; k < points.count; ++k) {
        const CFitPoint& fp = points[k];
        const PartVertex& pv = part.vertices[std::size_t(k)];
        // Beyond the limit over a foot on the trim itself, a vertex is a
        // wall's that stands on the side, or a step's or a feature's there
        // (not measured, not left out), unless every facet round it faces as
        // the sheet does: the face's own sheet at its side or corner (a
        // junction the net was drawn through on a mesh vertex), which the
        // surface left.
        if (!pv.under && !(pv.onSide && pv.onSheet && part.onlyOnTheSheet(k)))
            continue;
        const double distance = std::sqrt(fp.dist2);
        if (distance <= limit) {
            if (pv.onSheet && (pv.depth > margin || part.standsInside(k))) {
                ++result.meshVertices;
                result.vertexLargest = std::max(result.vertexLargest, distance);
            }
            continue;
        }
        if (!pv.onSheet || (!(pv.depth > margin) && !part.standsInside(k)) ||
            part.touchesAgainst(k)) {
            ++result.leftOut;
            result.leftOutLargest = std::max(result.leftOutLargest, distance);
            continue;
        }
        ++result.meshVertices;
        result.vertexLargest = std::max(result.vertexLargest, distance);
        if (beyondPoints != nullptr && distance <= reach && part.facesTheSheet(k))
            taken.push_back(k);
    }
    for (int k : taken)
        beyondPoints->append(CFitPoint(points[k].Point, points[k].uv));
    result.largest = std::max(result.surfaceLargest, result.vertexLargest);
    return result;
}
