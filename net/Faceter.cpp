// The cut-cell tessellation of a trimmed face (CFaceter::facetFace).
//
// The iso lines u = U[i] and v = V[j] form a grid of cells over the face's
// (u, v) plane. Each iso line is cut with the face's trim polygon (one
// closed polygon with zero-width slits to the holes, running with the face
// on its left); the crossings of a line pair up into inside intervals. The
// grid nodes inside an interval are marked, and so are the cell edges whose
// two nodes lie in the same interval; each crossing is linked to the
// nearest inside node on its line (or to its partner when the interval
// holds none). A cell with four inside edges is a quad. What is left along
// the trim polygon is closed cell by cell: from each piece of the polygon
// between two consecutive crossings the walk follows the links inwards and
// then the cell's edges with the cell on its left, taking in further pieces
// of the polygon that enter the same cell, until it is back where the piece
// began. Every such cut polygon is triangulated by ear clipping.
#include "net/Faceter.h"

#include "foundation/KorSet.h"
#include "foundation/Logging.h"
#include "foundation/Vector.h"
#include "foundation/VertexList.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "net/Face.h"
#include "net/IsoParameters.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iostream>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

using Crossings = Kor::Set<CIntersectionVertex>;
using Point = CVertex<double, 3>;

tuple<float, 2> uvPoint(double u, double v)
{
    tuple<float, 2> p;
    p[0] = float(u);
    p[1] = float(v);
    return p;
}

// The degree-1 curve from (ua, va) to (ub, vb) in the given colour, as
// geometry text followed by a line end.
void writeSegmentCurve(std::ostream& os, double ua, double va, double ub, double vb, double r,
                       double g, double b)
{
    const knots k(1, 1, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    Fenwo::NurbsSurf curve(k);
    curve.setControlPoint(0, 0, Vector(ua, va, 0.0), 1.0);
    curve.setControlPoint(1, 0, Vector(ub, vb, 0.0), 1.0);
    curve.setColour(r, g, b);
    curve.write(os);
    os << "\n";
}

// A record of grid node (i, j): no edge, parameter -1, the node's point.
CIntersectionVertex* newNodeRecord(int i, int j, double u, double v, CVertexList* polygon)
{
    auto* node = new CIntersectionVertex();
    node->param = -1.0;
    node->vIndex = -1;
    node->m_i = i;
    node->m_j = j;
    node->polygon = polygon;
    node->point[0] = u;
    node->point[1] = v;
    return node;
}

bool isNode(const CIntersectionVertex* x)
{
    return x->m_i >= 0 && x->m_j >= 0;
}

void appendPoint(CVertexList& polygon, const Point& p)
{
    polygon.appendVertex(new Point(p));
}

// +1 when the trim polygon's edge under the crossing runs so that the face
// (on its left) lies towards increasing t of the line (dx, dy): the line
// enters the face there; -1 when it leaves.
int crossingSense(const CIntersectionVertex& x, double dx, double dy)
{
    const Point& a = *x.polygon->getVertex(x.vIndex);
    const Point& b = *x.polygon->getVertex(x.vIndex + 1);
    const double ex = b[0] - a[0], ey = b[1] - a[1];
    return ex * dy - ey * dx > 0.0 ? 1 : -1;
}

void removeAt(Crossings& hits, int k)
{
    delete hits.items[k];
    for (int i = k; i + 1 < hits.count; ++i)
        hits.items[i] = hits.items[i + 1];
    --hits.count;
}

// Crossings of one line that coincide need a decision the parameter along
// the line cannot make:
// - the line passes through a polygon vertex: the two edges at it give two
//   crossings of the same sense for one passage; the second goes;
// - the line crosses a slit to a hole: the slit's two edges give crossings
//   of opposite sense at one place, which must be ordered so that the line
//   leaves the face before it enters it again, else each half of the line
//   would be bounded by the slit edge of the other side.
void settleCoincidentCrossings(Crossings& hits, double dx, double dy)
{
    const double near = 1e-7;
    const int n = hits.count > 0 ? hits.items[0]->polygon->getCount() : 0;
    for (int k = 0; k + 1 < hits.count;) {
        CIntersectionVertex& a = *hits.items[k];
        CIntersectionVertex& b = *hits.items[k + 1];
        const bool atSharedVertex =
            ((a.vIndex + 1) % n == b.vIndex && a.param > 1.0 - 1e-9 && b.param < 1e-9) ||
            ((b.vIndex + 1) % n == a.vIndex && b.param > 1.0 - 1e-9 && a.param < 1e-9);
        if (std::fabs(a.t - b.t) < near && atSharedVertex &&
            crossingSense(a, dx, dy) == crossingSense(b, dx, dy))
            removeAt(hits, k + 1);
        else
            ++k;
    }
    int expected = 1;
    for (int k = 0; k < hits.count; ++k) {
        int sense = crossingSense(*hits.items[k], dx, dy);
        if (sense != expected && k + 1 < hits.count &&
            std::fabs(hits.items[k + 1]->t - hits.items[k]->t) < near &&
            crossingSense(*hits.items[k + 1], dx, dy) == expected) {
            std::swap(hits.items[k], hits.items[k + 1]);
            sense = expected;
        }
        expected = -sense;
    }
}

// The cell from (ua, va) to (ub, vb), counter-clockwise.
void appendQuad(Kor::List<quadDataType>& quads, double ua, double va, double ub, double vb)
{
    quadDataType q;
    const double us[4] = {ua, ub, ub, ua}, vs[4] = {va, va, vb, vb};
    std::copy(us, us + 4, q.u);
    std::copy(vs, vs + 4, q.v);
    quads.append(q);
}

// The cells of the surface's sample-parameter grid as quads; their count.
int appendSampleGridQuads(CFace& face, Kor::List<quadDataType>& quads)
{
    if (face.surface == nullptr)
        return 0;
    Vector U, V;
    face.surface->getUSampleParameters(U);
    face.surface->getVSampleParameters(V);
    for (int i = 0; i + 1 < U.size(); ++i)
        for (int j = 0; j + 1 < V.size(); ++j)
            appendQuad(quads, U[i], V[j], U[i] + (U[i + 1] - U[i]), V[j] + (V[j + 1] - V[j]));
    return quads.count;
}

// The ear-clipping triangles of polygon, appended in the triangulation's
// corner order.
void appendTriangles(CVertexList& polygon, Kor::List<triDataType>& triangles)
{
    Kor::List<CTGTriangle> ears;
    polygon.triangulate(ears);
    for (const CTGTriangle& ear : ears) {
        triDataType t;
        const int corners[3] = {ear.i, ear.j, ear.k};
        for (int c = 0; c < 3; ++c) {
            const Point& p = *polygon.getVertex(corners[c]);
            t.u[c] = p[0];
            t.v[c] = p[1];
        }
        triangles.append(t);
    }
}

// The state of one cut-cell tessellation: the iso values, the three byte
// grids, the crossing set X and the node set S (both owning their records,
// so that every exit frees them).
class CutCells {
public:
    CutCells(CFaceter& faceter, CVertexList& polygon, const Vector& U, const Vector& V,
             std::ofstream& isoLog)
        : faceter(faceter), polygon(polygon), U(U), V(V), nu(U.size()), nv(V.size()),
          isoLog(isoLog), nodeInside(std::size_t(nu) * nv, 0),
          vEdgeInside(std::size_t(nu) * std::max(nv - 1, 0), 0),
          uEdgeInside(std::size_t(std::max(nu - 1, 0)) * nv, 0), nodeIndex(std::size_t(nu) * nv)
    {
    }

    void run()
    {
        for (int i = 0; i < nu; ++i)
            cutLine(true, i);
        for (int j = 0; j < nv; ++j)
            cutLine(false, j);
        closeCutCells();
        for (int i = 0; i + 1 < nu; ++i)
            for (int j = 0; j + 1 < nv; ++j)
                if (vEdge(i, j) && vEdge(i + 1, j) && uEdge(i, j) && uEdge(i, j + 1))
                    appendQuad(faceter.quads, U[i], V[j], U[i + 1], V[j + 1]);
    }

private:
    CFaceter& faceter;
    CVertexList& polygon;
    const Vector& U;
    const Vector& V;
    const int nu, nv;
    std::ofstream& isoLog;
    std::vector<unsigned char> nodeInside;  // (i, j) at j nu + i
    std::vector<unsigned char> vEdgeInside; // (i, j)-(i, j + 1) at j nu + i
    std::vector<unsigned char> uEdgeInside; // (i, j)-(i + 1, j) at j (nu - 1) + i
    Crossings X;
    Crossings S;
    // The first record of S for each node, so that finding a node's record
    // does not search S.
    std::vector<CIntersectionVertex*> nodeIndex;

    // Filled once X is sorted along the polygon.
    std::unordered_map<const CIntersectionVertex*, int> position;
    // For each node record, the positions in X of the crossings linked to
    // it, ascending.
    std::unordered_map<const CIntersectionVertex*, std::vector<int>> linkedTo;
    std::vector<unsigned char> done;

    unsigned char& node(int i, int j) { return nodeInside[std::size_t(j) * nu + i]; }
    unsigned char& vEdge(int i, int j) { return vEdgeInside[std::size_t(j) * nu + i]; }
    unsigned char& uEdge(int i, int j) { return uEdgeInside[std::size_t(j) * (nu - 1) + i]; }

    // The record of node (i, j): the one S holds, or a new one added to it.
    CIntersectionVertex* nodeRecord(int i, int j, bool addAlways)
    {
        CIntersectionVertex*& first = nodeIndex[std::size_t(j) * nu + i];
        if (first != nullptr && !addAlways)
            return first;
        CIntersectionVertex* record = newNodeRecord(i, j, U[i], V[j], &polygon);
        S.insertAt(record, S.count - 1);
        if (first == nullptr)
            first = record;
        return record;
    }

    // Cuts u line `index` (alongV) or v line `index` with the polygon, marks
    // the nodes and edges inside and links the crossings.
    void cutLine(bool alongV, int index)
    {
        const Vector& W = alongV ? V : U; // the values along the line
        const int nw = W.size();
        const double fixed = alongV ? U[index] : V[index];
        const double ext = 0.3 * std::fabs(W[nw - 1] - W[0]);
        const double w0 = W[0] - ext, w1 = W[nw - 1] + ext;
        const Point a = alongV ? Point(fixed, w0, 0.0) : Point(w0, fixed, 0.0);
        const Point b = alongV ? Point(fixed, w1, 0.0) : Point(w1, fixed, 0.0);
        if (alongV) {
            for (int j = 0; j < nv; ++j)
                node(index, j) = 0;
            for (int j = 0; j + 1 < nv; ++j)
                vEdge(index, j) = 0;
        } else {
            for (int i = 0; i + 1 < nu; ++i)
                uEdge(i, index) = 0;
        }

        Crossings hits;
        polygon.segmentCrossVertices(a, b, hits);
        if (alongV)
            settleCoincidentCrossings(hits, 0.0, 1.0);
        else
            settleCoincidentCrossings(hits, 1.0, 0.0);

        for (int k = 0; k + 1 < hits.count; k += 2) {
            CIntersectionVertex* P = hits.items[k];
            CIntersectionVertex* Q = hits.items[k + 1];
            const double tP = P->t, tQ = Q->t;
            if (std::fabs(tP - tQ) < 1e-7) {
                std::cout << (alongV ? "skipping a segmet " : "skipping a segment ") << tP << " "
                          << tQ << std::endl;
                continue;
            }
            P->pNext = Q;
            Q->pNext = P;
            const double wP = (1.0 - tP) * w0 + tP * w1;
            const double wQ = (1.0 - tQ) * w0 + tQ * w1;
            if (isoLog.is_open()) {
                if (alongV)
                    writeSegmentCurve(isoLog, fixed, wP, fixed, wQ, 0.0, 1.0, 0.0);
                else
                    writeSegmentCurve(isoLog, wP, fixed, wQ, fixed, 0.0, 0.0, 1.0);
            }
            double lo = wP - 1e-7, hi = wQ + 1e-7;
            if (hi < lo)
                std::swap(lo, hi);
            const bool wide = hi - lo >= 2.2e-15;
            int first = -1, last = -1;
            bool previousInside = false;
            for (int m = 0; m < nw; ++m) {
                const bool inside =
                    wide ? (lo <= W[m] && W[m] <= hi) : std::fabs(W[m] - lo) < 1.1e-15;
                if (inside) {
                    const int i = alongV ? index : m, j = alongV ? m : index;
                    node(i, j) = 1;
                    faceter.gridPoints.append(uvPoint(U[i], V[j]));
                    if (first < 0)
                        first = m;
                    last = m;
                    if (m > 0 && previousInside) {
                        if (alongV)
                            vEdge(index, m - 1) = 1;
                        else
                            uEdge(m - 1, index) = 1;
                    }
                }
                previousInside = inside;
            }
            if (first < 0)
                continue;
            // Each crossing leads to the nearest inside node on its line.
            // Records made on the u lines are shared by the v lines.
            CIntersectionVertex* lower =
                alongV ? nodeRecord(index, first, true) : nodeRecord(first, index, false);
            P->pNext = lower;
            Q->pNext = lower;
            if (last != first)
                Q->pNext = alongV ? nodeRecord(index, last, true) : nodeRecord(last, index, false);
        }

        for (int k = 0; k < hits.count; ++k) {
            CIntersectionVertex* x = hits.items[k];
            if (!alongV && x->pNext == nullptr) {
                std::cout << "null not expected." << std::endl;
                delete x;
                continue;
            }
            X.insertAt(x, X.count - 1);
        }
        hits.removeAll(false, false);
    }

    // The polygon vertices between crossing a and crossing b along the
    // polygon, appended to C.
    void appendBoundaryRun(CVertexList& C, const CIntersectionVertex& a,
                           const CIntersectionVertex& b)
    {
        const int n = polygon.getCount();
        int end = b.vIndex;
        if (b.vIndex != a.vIndex && b.vIndex < a.vIndex + 1)
            end += n;
        for (int k = a.vIndex + 1; k <= end; ++k)
            appendPoint(C, *polygon.getVertex(k % n));
    }

    // The first crossing linked to node p that lies from p in direction r.
    CIntersectionVertex* crossingTowards(const CIntersectionVertex* p, double rx, double ry)
    {
        auto found = linkedTo.find(p);
        if (found == linkedTo.end())
            return nullptr;
        const Point pp = p->getPoint();
        const double rn = std::hypot(rx, ry);
        for (int s : found->second) {
            CIntersectionVertex* c = X.items[s];
            const Point pc = c->getPoint();
            const double cx = pc[0] - pp[0], cy = pc[1] - pp[1];
            const double cn = std::hypot(cx, cy);
            if (cn > 0.0 && rn > 0.0 && std::fabs((cx * rx + cy * ry) / (cn * rn) - 1.0) <= 0.001)
                return c;
        }
        return nullptr;
    }

    // Closes and triangulates the cut polygon that begins with the piece of
    // the trim polygon from crossing A to crossing B.
    void walk(CIntersectionVertex* A, CIntersectionVertex* B)
    {
        const int N = polygon.getCount();
        const int n = X.count;
        CVertexList C;
        appendPoint(C, A->getPoint());
        appendBoundaryRun(C, *A, *B);
        appendPoint(C, B->getPoint());
        CIntersectionVertex* const goal = A->pNext;
        const bool complete = (A->pNext == B && B->pNext == A) || B->pNext == nullptr ||
                              (goal != nullptr && goal == B->pNext);
        if (goal != nullptr && goal == B->pNext && !(A->pNext == B && B->pNext == A))
            appendPoint(C, goal->getPoint());
        if (!complete) {
            CIntersectionVertex* p = B->pNext;
            Point from = B->getPoint();
            Point at = p->getPoint();
            double dx = at[0] - from[0], dy = at[1] - from[1];
            while (p != nullptr && p != goal && C.getCount() < 2 * N) {
                const double rx = -dy, ry = dx; // d turned by +90 degrees
                if (isNode(p)) {
                    appendPoint(C, Point(U[p->m_i], V[p->m_j], 0.0));
                    int di = 0, dj = 0;
                    if (std::fabs(ry) < std::fabs(rx))
                        di = rx >= 0.0 ? 1 : -1;
                    else
                        dj = ry >= 0.0 ? 1 : -1;
                    CIntersectionVertex* next = crossingTowards(p, rx, ry);
                    if (next == nullptr) {
                        const int i = p->m_i + di, j = p->m_j + dj;
                        if (i >= 0 && i < nu && j >= 0 && j < nv &&
                            nodeIndex[std::size_t(j) * nu + i])
                            next = nodeIndex[std::size_t(j) * nu + i];
                        else if (i < 0 || i >= nu || j < 0 || j >= nv || !node(i, j)) {
                            std::cout << "facetface: giving up, noXjoins, noInterior! "
                                      << std::endl;
                            break;
                        } else
                            next = nodeRecord(i, j, false);
                    }
                    from = p->getPoint();
                    at = next->getPoint();
                    dx = at[0] - from[0];
                    dy = at[1] - from[1];
                    p = next;
                    if (p == goal)
                        appendPoint(C, at);
                } else {
                    const auto slot = position.find(p);
                    if (slot == position.end())
                        break;
                    const int s = slot->second;
                    CIntersectionVertex* T = X.items[(s + 1) % n];
                    done[std::size_t(s)] = 1;
                    appendPoint(C, p->getPoint());
                    appendBoundaryRun(C, *p, *T);
                    appendPoint(C, T->getPoint());
                    if (T->pNext == nullptr) {
                        std::cout << "facetFaceQuads unxpected p->pNext == NULL " << std::endl;
                        break;
                    }
                    from = T->getPoint();
                    at = T->pNext->getPoint();
                    dx = at[0] - from[0];
                    dy = at[1] - from[1];
                    if (T == goal)
                        break;
                    p = T->pNext;
                    if (p == goal)
                        appendPoint(C, at);
                }
            }
        }
        if (C.getCount() < 2 * N)
            appendTriangles(C, faceter.triangles);
        else
            std::cout << "extraordinary long loop found: " << C.getCount() << std::endl;
    }

    void closeCutCells()
    {
        std::stable_sort(X.items, X.items + X.count,
                         [](const CIntersectionVertex* a, const CIntersectionVertex* b) {
                             return lessAlongPolygon(a, b);
                         });
        const int n = X.count;
        done.assign(std::size_t(n), 0);
        for (int s = 0; s < n; ++s) {
            const CIntersectionVertex* x = X.items[s];
            position[x] = s;
            if (x->pNext != nullptr && isNode(x->pNext))
                linkedTo[x->pNext].push_back(s);
        }
        for (int k = 1; k <= n; ++k)
            if (!done[std::size_t(k - 1)])
                walk(X.items[k - 1], X.items[k % n]);
    }
};

bool isTrimmed(const CFace& face)
{
    return face.trimLoops.count > 0 && face.trimLoops[0]->getCard() > 0;
}

// Both corner orders reversed, for a face whose sense is "reverse".
void reverseCorners(CFaceter& f)
{
    for (quadDataType& q : f.quads) {
        std::swap(q.u[0], q.u[3]);
        std::swap(q.u[1], q.u[2]);
        std::swap(q.v[0], q.v[3]);
        std::swap(q.v[1], q.v[2]);
    }
    for (triDataType& t : f.triangles) {
        std::swap(t.u[0], t.u[2]);
        std::swap(t.v[0], t.v[2]);
    }
}

// Moves the first and the last value 0.1 of their span inwards, so that the
// outermost iso lines do not run along the domain's sides.
void pullEndsInwards(Vector& W)
{
    const int n = W.size();
    if (n < 2)
        return;
    W[0] += 0.1 * (W[1] - W[0]);
    W[n - 1] -= 0.1 * (W[n - 1] - W[n - 2]);
}

} // namespace

void writePolygonCurve(std::ostream& os, const CVertexList& polygon)
{
    const int n = polygon.getCount();
    if (n < 2)
        return;
    const knots k(n - 1, 1, 0.0, 1.0, knots::CyclicEnd, knots::Uniform);
    Fenwo::NurbsSurf curve(k);
    const int count = curve.getUCount();
    for (int i = 0; i < count; ++i) {
        const Point& p = *polygon.getVertex(i);
        curve.setControlPoint(i, 0, Vector(p[0], p[1], p[2]), 1.0);
    }
    curve.write(os);
    os << "\n";
}

int CFaceter::facetFace(CFace& face)
{
    std::ofstream faceLog;
    if (openLogStream(faceLog, "c:/tmp/face.out"))
        faceLog << face << "\n";
    gridPoints.removeAll();

    if (!isTrimmed(face))
        return appendSampleGridQuads(face, quads);

    const double tolerance = face.MeshType == 17 ? face.MeshArcTol * 0.5 : face.MeshDistance / 10.0;
    // No polygon and no iso values can be had for a tolerance that is not
    // positive.
    if (!(tolerance > 0.0) && face.MeshType < 32)
        return 0;
    // The polygon is rebuilt here whoever calls: appending the loops to a
    // polygon that still holds them would run the boundary twice.
    face.clearUVSamples();
    face.uvPolygon.deleteVertices();
    face.buildUVPolygon(face.uvPolygon, 0, tolerance);
    CVertexList& polygon = face.uvPolygon;
    {
        std::ofstream isoLog;
        if (openLogStream(isoLog, "c:/tmp/iseg.out"))
            writePolygonCurve(isoLog, polygon);
    }

    if (face.MeshType >= 32)
        return std::max(facetByVertexList(face, true), 10);

    if (face.MeshType == 0) {
        if (quads.count == 0 && triangles.count == 0)
            appendTriangles(polygon, triangles);
    } else {
        Vector U, V;
        Fenwo::NurbsSurf* nurbs = face.getNurbsSurf();
        if (face.MeshType == 17 && nurbs != nullptr)
            isoParametersForArcTolerance(nurbs, face.MeshArcTol, U, V);
        else
            isoParametersForDistance(face.surface, face.MeshDistance, U, V);
        if (U.size() == 0 || V.size() == 0)
            return 0;
        pullEndsInwards(U);
        pullEndsInwards(V);
        std::ofstream isoLog;
        openLogStream(isoLog, "c:/tmp/iseg.out", std::ios::out | std::ios::app);
        CutCells(*this, polygon, U, V, isoLog).run();
    }
    if (face.sense)
        reverseCorners(*this);
    return quads.count;
}

// ---- The scan-line tessellation -------------------------------------------------------

namespace {

// Refines v with `between` values between neighbours when it holds fewer
// than `below` values.
void refineBelow(Vector& v, int below, int between)
{
    if (v.size() < below)
        v = refineValues(v, between);
}

// The pieces of the segment a-b inside the polygon into row, as pairs of
// end points: between every two neighbouring crossings whose midpoint lies
// inside. The row is emptied first, so a line that misses the polygon
// leaves nothing of the previous line behind.
void scanLine(const CVertexList& polygon, const Point& a, const Point& b,
              Kor::List<tuple<float, 2>>& row)
{
    row.removeAll();
    Kor::Set<double> params;
    if (!polygon.segmentCrossParams(a, b, params))
        return;
    auto at = [&](double t) { return uvPoint(a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1])); };
    for (int m = 0; m + 1 < params.count; ++m) {
        const double p = *params.items[m], q = *params.items[m + 1];
        const double h = 0.5 * (p + q);
        const Point middle(a[0] + h * (b[0] - a[0]), a[1] + h * (b[1] - a[1]), 0.0);
        if (!polygon.isInside(middle, false))
            continue;
        row.append(at(p));
        row.append(at(q));
    }
}

} // namespace

int CFaceter::facetByVertexList(CFace& face, bool outline)
{
    if (!isTrimmed(face)) {
        // The accessor may run this after facetFace has given the same
        // quads; the face must not get them twice.
        if (quads.count > 0)
            return quads.count;
        return appendSampleGridQuads(face, quads);
    }
    CVertexList& polygon = face.uvPolygon;
    polygon.deleteVertices();
    face.buildUVPolygon(polygon, 3, 0.1);
    if (polygon.getCount() > 1) {
        std::ofstream log;
        if (openLogStream(log, "c:/tmp/vList.out"))
            writePolygonCurve(log, polygon);
    }

    Vector U, V;
    if (Fenwo::NurbsSurf* nurbs = face.getNurbsSurf()) {
        nurbs->uKnots->getBreakpoints(U, 1);
        nurbs->vKnots->getBreakpoints(V, 1);
        refineBelow(U, 10, 5);
        refineBelow(V, 10, 5);
    } else if (face.surface != nullptr) {
        face.surface->getUSampleParameters(U);
        face.surface->getVSampleParameters(V);
        refineBelow(U, 10, 5);
        refineBelow(V, 10, 5);
        refineBelow(U, 10, 5);
        refineBelow(V, 10, 5);
    }

    const int nu = U.size(), nv = V.size();
    if (nu > 0 && nv > 0) {
        // The outermost scan lines keep just inside the domain.
        const double e = 1e-6;
        Kor::List<tuple<float, 2>> row;
        U[0] += e;
        U[nu - 1] -= e;
        for (int k = 0; k < nu; ++k) {
            scanLine(polygon, Point(U[k], V[0] - e, 0.0), Point(U[k], V[nv - 1] + e, 0.0), row);
            if (row.count > 1)
                scanSegments.append(row);
        }
        const int uRowCount = scanSegments.count;
        U[0] -= e;
        U[nu - 1] += e;
        V[0] += e;
        V[nv - 1] -= e;
        for (int k = 0; k < nv; ++k) {
            scanLine(polygon, Point(U[0] - e, V[k], 0.0), Point(U[nu - 1] + e, V[k], 0.0), row);
            if (row.count <= 1)
                continue;
            scanSegments.append(row);
            addScanCrossings(scanSegments, uRowCount, row, scanCrossings);
        }
    }

    if (outline)
        for (CLoop* loop : face.trimLoops) {
            CVertexList loopPolygon;
            loop->getPolygon(loopPolygon, 1, 0.1);
            const int n = loopPolygon.getCount();
            Kor::List<tuple<float, 2>> row;
            for (int b = 1; b <= n; ++b) {
                const Point& p = *loopPolygon.getVertex(b - 1);
                const Point& q = *loopPolygon.getVertex(b);
                row.append(uvPoint(p[0], p[1]));
                row.append(uvPoint(q[0], q[1]));
            }
            scanSegments.append(row);
        }
    return scanSegments.count;
}

int addScanCrossings(const Kor::List<Kor::List<tuple<float, 2>>>& rows, int uRowCount,
                     const Kor::List<tuple<float, 2>>& row, Kor::List<tuple<float, 2>>& crossings)
{
    int added = 0;
    uRowCount = std::min(uRowCount, rows.count);
    for (int m = 0; m + 1 < row.count; m += 2) {
        const float v = row[m][1];
        const float ua = row[m][0], ub = row[m + 1][0];
        for (int r = 0; r < uRowCount; ++r) {
            const Kor::List<tuple<float, 2>>& uRow = rows[r];
            if (uRow.count == 0)
                continue;
            const float u = uRow[0][0];
            if (!(ua <= u && u <= ub))
                continue;
            for (int k = 0; k + 1 < uRow.count; k += 2)
                if (uRow[k][1] <= v && v <= uRow[k + 1][1]) {
                    crossings.append(uvPoint(u, v));
                    ++added;
                }
        }
    }
    return added;
}
