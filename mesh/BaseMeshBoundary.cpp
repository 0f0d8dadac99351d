// Boundary frames, angles, slicing and the free-space test at a boundary
// edge of Mesh::CBaseMesh. Everything here works on the edge table that the
// concrete mesh's buildTopology fills: a boundary edge is a record with
// facet1 set and facet2 = -1, and vertex0 -> vertex1 is its direction in
// facet1. A mesh without an edge table has no boundary edges.

#include "mesh/BaseMesh.h"
#include "mesh/MeshGeometry.h"
#include "mesh/MeshSlice.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace Mesh {

namespace {

bool isBoundaryEdge(const CBaseMesh::CPolygonEdge& e)
{
    return e.facet1 != -1 && e.facet2 == -1;
}

void setZero(CVertex<float, 3>& v)
{
    for (int k = 0; k < 3; ++k)
        v[k] = 0.0f;
}

// Removes from u its component along the unit vector n and normalises the
// rest; a u parallel to n becomes the zero vector.
void projectIntoPlane(CVertex<float, 3>& u, const CVertex<float, 3>& n)
{
    addScaled(u, -double(dotProduct(u, n)), n);
    normalize(u);
}

// acos of a cosine that rounding may have pushed just outside [-1, 1].
double clampedAngle(double cosine)
{
    return std::acos(std::clamp(cosine, -1.0, 1.0));
}

// A crossing parameter may miss [0, 1] by rounding when an end point lies on
// the slice plane; anything further off is not a crossing of the edge.
constexpr double kCrossingSlack = 1e-6;

} // namespace

bool CBaseMesh::getBoundaryEdgeFrame(const CPolygonEdge& e, Direction& side, Direction& normal)
{
    if (!isBoundaryEdge(e))
        return false;
    Point a, b;
    if (!getVertex(e.vertex0, a) || !getVertex(e.vertex1, b))
        return false;
    if (!getFacetNormal(e.facet1, normal))
        return false;
    // For a facet running counter-clockwise about its normal the side points
    // away from the facet, out of the mesh. A zero-length edge (or a facet
    // without a normal) has no side: that is a failure, not a frame.
    crossProductInto(b - a, normal, side);
    return normalize(side) > 0.0;
}

bool CBaseMesh::getBoundaryEdgeFrameByVertices(int a, int b, Direction& side, Direction& normal)
{
    for (int i = 0; i < edges.count; ++i) {
        const CPolygonEdge& e = edges.data[i];
        if (!isBoundaryEdge(e))
            continue;
        if ((e.vertex0 == a && e.vertex1 == b) || (e.vertex0 == b && e.vertex1 == a))
            return getBoundaryEdgeFrame(e, side, normal);
    }
    return false;
}

bool CBaseMesh::getBoundaryVertexFrame(int v, Direction& side, Direction& normal)
{
    setZero(side);
    setZero(normal);
    Direction sideSum, normalSum, edgeSide, edgeNormal;
    int collected = 0;
    for (int i = 0; i < edges.count && collected < 2; ++i) {
        const CPolygonEdge& e = edges.data[i];
        if (!isBoundaryEdge(e))
            continue;
        for (int end = 0; end < 2 && collected < 2; ++end) {
            if ((end == 0 ? e.vertex0 : e.vertex1) != v)
                continue;
            if (!getBoundaryEdgeFrame(e, edgeSide, edgeNormal))
                return false;
            sideSum += edgeSide;
            normalSum += edgeNormal;
            ++collected;
        }
    }
    // A vertex that touches no boundary edge has no boundary frame.
    if (collected == 0)
        return false;
    normal = normalSum;
    normalize(normal);
    side = sideSum;
    normalize(side);
    projectIntoPlane(side, normal);
    return true;
}

double CBaseMesh::getVertexAngle(int a, int b, int c, const Direction* normal)
{
    Direction t;
    if (!getVertexTriangleNormal(a, b, c, t))
        return -1.0;
    Direction n;
    if (normal != nullptr) {
        n = *normal;
    } else {
        int facet = -1;
        if (!findFacetWithEdge(a, b, facet) || !getFacetNormal(facet, n))
            return -1.0;
    }
    // The projection below needs a unit normal; a given normal need not be.
    if (normalize(n) <= 0.0)
        return -1.0;
    Point pa, pb, pc;
    if (!getVertex(a, pa) || !getVertex(b, pb) || !getVertex(c, pc))
        return -1.0;
    Direction u(pb - pa), w(pc - pb);
    projectIntoPlane(u, n);
    projectIntoPlane(w, n);
    const double alpha = clampedAngle(dotProduct(u, w));
    return dotProduct(t, n) >= 0.0f ? std::numbers::pi - alpha : std::numbers::pi + alpha;
}

double CBaseMesh::getBoundaryAngle(int v)
{
    Point pv;
    if (!getVertex(v, pv) || edges.count == 0)
        return -1.0;
    int previous = -1, next = -1;
    bool foundPrevious = false, foundNext = false;
    Direction n, facetNormal;
    for (int i = 0; i < edges.count && !(foundPrevious && foundNext); ++i) {
        const CPolygonEdge& e = edges.data[i];
        if (!isBoundaryEdge(e))
            continue;
        if (!foundNext && e.vertex0 == v) {
            next = e.vertex1;
            foundNext = true;
        } else if (!foundPrevious && e.vertex1 == v) {
            previous = e.vertex0;
            foundPrevious = true;
        } else {
            continue;
        }
        if (!getFacetNormal(e.facet1, facetNormal))
            return -1.0;
        n += facetNormal;
    }
    if (!foundPrevious || !foundNext)
        return -1.0;
    Point pa, pc;
    if (!getVertex(previous, pa) || !getVertex(next, pc))
        return -1.0;
    if (normalize(n) <= 0.0)
        return -1.0;
    Direction u(pv - pa), w(pc - pv);
    projectIntoPlane(u, n);
    projectIntoPlane(w, n);
    const double alpha = clampedAngle(dotProduct(u, w));
    Direction turn;
    crossProductInto(u, w, turn);
    // A straight boundary (alpha 0) stays 0 whatever the rounding of the
    // turn's sign, so that the result remains below 2 pi.
    if (dotProduct(turn, n) < 0.0f && alpha > 0.0)
        return 2.0 * std::numbers::pi - alpha;
    return alpha;
}

bool CBaseMesh::pickNearBoundaryEdge(const CPolygonEdge& e, float t, float dist)
{
    Direction side, normal;
    if (!getBoundaryEdgeFrame(e, side, normal))
        return false;
    Point a, b;
    if (!getVertex(e.vertex0, a) || !getVertex(e.vertex1, b))
        return false;
    return pickAlongRay(lerp(t, a, b), side, normal, dist);
}

bool CBaseMesh::slice(int v, Kor::Set<Slice>& out, const Kor::List<int>* edgeList, float dist,
                      int tag)
{
    if (tag == -10)
        return false;
    out.removeAll(false, true);
    Point p;
    Direction side, normal;
    if (!getVertex(v, p) || !getBoundaryVertexFrame(v, side, normal))
        return false;
    // Mesh just outside v: the strip across the boundary is not free.
    if (!pickAlongRay(p, side, normal, dist))
        return false;
    // The plane across the boundary at v, spanned by side and normal.
    Direction w;
    crossProductInto(normal, side, w);
    normalize(w);

    const bool listed = edgeList != nullptr && edgeList->count > 0;
    const int candidates = listed ? edgeList->count : edges.count;
    Point a, b;
    for (int k = 0; k < candidates; ++k) {
        const int i = listed ? edgeList->data[k] : k;
        if (i < 0 || i >= edges.count)
            continue;
        CPolygonEdge& e = edges.data[i];
        if (!isBoundaryEdge(e) || e.vertex0 == v || e.vertex1 == v)
            continue;
        if (!getVertex(e.vertex0, a) || !getVertex(e.vertex1, b))
            continue;
        const double da = dotProduct(a - p, w);
        const double db = dotProduct(b - p, w);
        const double dab = dotProduct(b - a, w);
        if (da * db >= 1e-8 || std::fabs(dab) <= 1e-16)
            continue;
        // The product test is absolute, so on a finely scaled mesh it also
        // passes edges that lie wholly on one side of the plane; only a
        // parameter on the edge is a crossing.
        double s = -da / dab;
        if (s < -kCrossingSlack || s > 1.0 + kCrossingSlack)
            continue;
        s = std::clamp(s, 0.0, 1.0);
        if (!pickNearBoundaryEdge(e, float(s), dist))
            continue;
        const Direction d(lerp(s, a, b) - p);
        Slice crossing;
        crossing.x = dotProduct(d, side);
        crossing.y = dotProduct(d, normal);
        crossing.r = std::sqrt(crossing.x * crossing.x + crossing.y * crossing.y);
        crossing.edge = &e;
        crossing.t = float(s);
        int index = -1;
        if (out.find(&crossing, index, lessSliceX))
            continue;
        out.insertAt(new Slice(crossing), index);
    }
    return out.count > 0;
}

} // namespace Mesh
