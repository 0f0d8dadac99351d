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
#include "platform/Uuid.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <iostream>
#include <map>
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
    const Platform::SideIdScope sideIds; // a debug dump's curve
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

bool samePlace(const Point& a, const Point& b)
{
    return a[0] == b[0] && a[1] == b[1];
}

// Appends p unless it is where the last point already is: crossings that
// meet at a vertex or at a grid node add one corner, not several.
void appendPoint(CVertexList& polygon, const Point& p)
{
    const int n = polygon.getCount();
    if (n > 0 && samePlace(*polygon.vertices[n - 1], p))
        return;
    polygon.appendVertex(new Point(p));
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

// ---- Triangles without flat ones --------------------------------------------------------

// Twice the signed area of the triangle (a, b, c).
double area2(const Point& a, const Point& b, const Point& c)
{
    return (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
}

double squaredLength(const Point& a, const Point& b)
{
    const double du = b[0] - a[0], dv = b[1] - a[1];
    return du * du + dv * dv;
}

// A triangle whose corners lie on one line up to rounding: it covers
// nothing, and a neighbour that runs along its long side would meet its
// middle corner in the middle of an edge.
bool isFlat(const Point& a, const Point& b, const Point& c)
{
    const double longest =
        std::max({squaredLength(a, b), squaredLength(b, c), squaredLength(c, a)});
    return std::fabs(area2(a, b, c)) <= 1e-12 * longest;
}

void appendTriangle(Kor::List<triDataType>& triangles, const Point& a, const Point& b,
                    const Point& c)
{
    triDataType t;
    const Point* corners[3] = {&a, &b, &c};
    for (int k = 0; k < 3; ++k) {
        t.u[k] = (*corners[k])[0];
        t.v[k] = (*corners[k])[1];
    }
    triangles.append(t);
}

// The triangulation of a polygon some of whose corners are straight (on the
// line through their neighbours): the polygon without them is triangulated
// by ear clipping, and each triangle with a side that held straight corners
// is fanned from its opposite corner through them, so that every corner of
// the polygon stays a corner of the triangles next to it and none of them
// is flat. Corners where the polygon turns back on itself (a spike of no
// width) are left out. A polygon of no area gives nothing.
class StraightCornerTriangulation {
public:
    StraightCornerTriangulation(const CVertexList& polygon, Kor::List<triDataType>& triangles)
        : polygon(polygon), triangles(triangles)
    {
    }

    void run()
    {
        const int n = polygon.getCount();
        std::vector<int> prev(static_cast<std::size_t>(n)), next(static_cast<std::size_t>(n));
        std::vector<unsigned char> alive(static_cast<std::size_t>(n), 1), straight(alive.size(), 0);
        for (int k = 0; k < n; ++k) {
            prev[k] = (k + n - 1) % n;
            next[k] = (k + 1) % n;
        }
        // A place the polygon passes twice (the ends of a slit) keeps its
        // corners: the slit's two sides must stay the same edges, each the
        // other's reverse, however straight the polygon runs through them.
        std::vector<unsigned char> twice(alive.size(), 0);
        {
            std::vector<int> order(static_cast<std::size_t>(n));
            for (int k = 0; k < n; ++k)
                order[k] = k;
            std::sort(order.begin(), order.end(), [this](int x, int y) {
                return at(x)[0] < at(y)[0] || (at(x)[0] == at(y)[0] && at(x)[1] < at(y)[1]);
            });
            for (int r = 0; r + 1 < n; ++r)
                if (samePlace(at(order[r]), at(order[r + 1])))
                    twice[order[r]] = twice[order[r + 1]] = 1;
        }
        int remaining = n;
        std::vector<int> pending(static_cast<std::size_t>(n));
        for (int k = 0; k < n; ++k)
            pending[k] = n - 1 - k;
        while (!pending.empty() && remaining >= 3) {
            const int k = pending.back();
            pending.pop_back();
            if (!alive[k] || twice[k])
                continue;
            const Point &a = at(prev[k]), &p = at(k), &b = at(next[k]);
            if (!isFlat(a, p, b))
                continue;
            const bool through =
                (p[0] - a[0]) * (b[0] - p[0]) + (p[1] - a[1]) * (b[1] - p[1]) > 0.0;
            straight[k] = through ? 1 : 0;
            alive[k] = 0;
            next[prev[k]] = next[k];
            prev[next[k]] = prev[k];
            pending.push_back(prev[k]);
            pending.push_back(next[k]);
            --remaining;
        }
        if (remaining < 3)
            return;

        // The corners kept, and for each side of the kept polygon the
        // straight corners that lay on it, in order.
        CVertexList kept;
        std::vector<int> keptIndex;
        int start = 0;
        while (!alive[start])
            ++start;
        for (int k = start; keptIndex.empty() || k != start; k = next[k]) {
            keptIndex.push_back(k);
            kept.appendVertex(new Point(at(k)));
        }
        const int m = int(keptIndex.size());
        for (int r = 0; r < m; ++r) {
            const int from = keptIndex[r], to = keptIndex[(r + 1) % m];
            std::vector<int>& side = sides[{from, to}];
            double last = 0.0;
            for (int k = (from + 1) % n; k != to; k = (k + 1) % n) {
                if (!straight[k])
                    continue;
                // Kept only while it lies on the side, after the one before.
                const Point &a = at(from), &b = at(to), &p = at(k);
                const double s = ((p[0] - a[0]) * (b[0] - a[0]) + (p[1] - a[1]) * (b[1] - a[1])) /
                                 squaredLength(a, b);
                if (s > last && s < 1.0 && isFlat(a, p, b)) {
                    side.push_back(k);
                    last = s;
                }
            }
        }
        Kor::List<CTGTriangle> ears;
        kept.triangulate(ears);
        for (const CTGTriangle& ear : ears) {
            const int a = keptIndex[ear.i % m], p = keptIndex[ear.j % m], b = keptIndex[ear.k % m];
            if (isFlat(at(a), at(p), at(b)))
                clipFlat(a, p, b);
            else
                emit(a, p, b);
        }
    }

private:
    const CVertexList& polygon;
    Kor::List<triDataType>& triangles;
    std::map<std::pair<int, int>, std::vector<int>> sides;

    const Point& at(int k) const { return *polygon.vertices[k]; }

    // An ear of no area clipped at p (a corner kept straight, or a spike):
    // it covers nothing, and the side from a to b that it leaves takes over
    // the corners of its two sides that lie between a and b, p among them
    // when the polygon runs straight through it, so that the triangle later
    // made on that side is fanned through them.
    void clipFlat(int a, int p, int b)
    {
        std::vector<std::pair<double, int>> through;
        auto take = [&](int k) {
            const double s = ((at(k)[0] - at(a)[0]) * (at(b)[0] - at(a)[0]) +
                              (at(k)[1] - at(a)[1]) * (at(b)[1] - at(a)[1])) /
                             squaredLength(at(a), at(b));
            if (s > 0.0 && s < 1.0)
                through.push_back({s, k});
        };
        auto takeSide = [&](int from, int to) {
            auto found = sides.find({from, to});
            if (found == sides.end())
                return;
            for (int k : found->second)
                take(k);
            sides.erase(found);
        };
        takeSide(a, p);
        take(p);
        takeSide(p, b);
        std::stable_sort(through.begin(), through.end(),
                         [](const auto& x, const auto& y) { return x.first < y.first; });
        std::vector<int>& side = sides[{a, b}];
        for (const auto& [s, k] : through)
            if (side.empty() || !samePlace(at(side.back()), at(k)))
                side.push_back(k);
    }

    // The triangle (a, b, c), fanned through the straight corners of its
    // sides.
    void emit(int a, int b, int c)
    {
        const int corners[3] = {a, b, c};
        for (int e = 0; e < 3; ++e) {
            const int from = corners[e], to = corners[(e + 1) % 3], apex = corners[(e + 2) % 3];
            auto found = sides.find({from, to});
            if (found == sides.end() || found->second.empty())
                continue;
            std::vector<int> through = std::move(found->second);
            sides.erase(found);
            int last = from;
            for (int k : through) {
                emit(last, k, apex);
                last = k;
            }
            emit(last, to, apex);
            return;
        }
        if (!isFlat(at(a), at(b), at(c)))
            appendTriangle(triangles, at(a), at(b), at(c));
    }
};

// The ear-clipping triangles of polygon, appended in the triangulation's
// corner order; a polygon with straight corners is triangulated around
// them, and a flat triangle is never appended.
void appendTriangles(CVertexList& polygon, Kor::List<triDataType>& triangles)
{
    const int n = polygon.getCount();
    for (int k = 0; k < n; ++k)
        if (n > 3 &&
            isFlat(*polygon.getVertex(k - 1), *polygon.getVertex(k), *polygon.getVertex(k + 1))) {
            StraightCornerTriangulation(polygon, triangles).run();
            return;
        }
    Kor::List<CTGTriangle> ears;
    polygon.triangulate(ears);
    for (const CTGTriangle& ear : ears) {
        const Point& a = *polygon.getVertex(ear.i);
        const Point& b = *polygon.getVertex(ear.j);
        const Point& c = *polygon.getVertex(ear.k);
        if (!isFlat(a, b, c))
            appendTriangle(triangles, a, b, c);
    }
}

// ---- Ties with the iso lines ------------------------------------------------------------
//
// A trim vertex may lie exactly on an iso line, a trim edge may run along
// one, and an iso line may meet the polygon exactly at a grid node. Each
// such tie is decided as if the trim polygon were moved by an infinitely
// small amount, the iso lines staying where they are. The move has three
// orders, each infinitely smaller than the one before:
// - a slit to a hole opens: each corner at it moves inwards, so that the
//   slit becomes a gap and an iso line or a grid node on it lies outside;
// - every vertex moves by e1 * su in u,
// - and then by e2 * sv in v, where su and sv (+1 or -1) are its tie
//   sides. A vertex of an edge that runs along the line moves towards the
//   face's side of that edge, so that an iso line along a trim edge counts
//   as just outside the face; a vertex whose neighbours on its loop lie both
//   on one side of the line reaches just across it, so that the line meets
//   the polygon there and the cells on both sides have the vertex as a
//   corner; every other vertex moves towards increasing u and v. The two
//   places of a slit's end decide by the loop through them.
// Which edges a line crosses, the order of the crossings along the line
// and along the polygon, and which grid nodes lie inside all follow from
// this one moved polygon, so the u lines, the v lines and the walk agree;
// away from ties nothing changes.

constexpr int kU = 0; // the coordinate fixed on a u line
constexpr int kV = 1; // the coordinate fixed on a v line

// The move of a vertex along one coordinate, by order (slit, e1, e2).
using Move = std::array<double, 3>;

// The first non-zero order of m: +1, -1, or 0 when there is none.
int signOf(const Move& m)
{
    for (double x : m)
        if (x != 0.0)
            return x > 0.0 ? 1 : -1;
    return 0;
}

class TieSides {
public:
    // With openSlits the slits to the holes open as above (the cut cells);
    // without, a slit stays closed, the face lying on both of its sides
    // (the scan lines): its sides are no boundary of the face, and each of
    // its ends lies where the loop through that place puts it.
    explicit TieSides(const CVertexList& polygon, bool openSlits = true)
        : polygon(polygon), openSlits(openSlits)
    {
        const int n = polygon.getCount();
        findSlits();
        for (int f : {kU, kV}) {
            sides[f].resize(std::size_t(n));
            for (int k = 0; k < n; ++k)
                sides[f][std::size_t(k)] = static_cast<signed char>(decide(k, f));
        }
    }

    // The move of vertex k along coordinate f.
    Move move(int k, int f) const
    {
        const double open = opening[std::size_t(k)][std::size_t(f)];
        const double side = sides[f][std::size_t(k)];
        return f == kU ? Move{open, side, 0.0} : Move{open, 0.0, side};
    }

    // True when the edge from vertex k to the next is a side of a slit (the
    // polygon runs the same edge back elsewhere).
    bool isSlit(int k) const { return slit[std::size_t(k)] != 0; }

    // +1 or -1: the side of the line on which vertex k lies, the line being
    // where coordinate f is c.
    int side(int k, int f, double c) const
    {
        const double x = (*polygon.vertices[k])[f];
        if (x != c)
            return x > c ? 1 : -1;
        const double open = opening[std::size_t(k)][std::size_t(f)];
        return open != 0.0 ? (open > 0.0 ? 1 : -1) : sides[f][std::size_t(k)];
    }

private:
    const CVertexList& polygon;
    const bool openSlits;
    std::vector<signed char> sides[2];
    // The other vertex at the same place (the two ends of a slit to a hole
    // stand twice), or -1.
    std::vector<int> twin;
    // For a vertex of a slit, how its corner moves inwards when the slit
    // opens (each of the corner's edges by one towards the face); zero
    // elsewhere.
    std::vector<std::array<double, 2>> opening;
    // Per edge (from vertex k to the next): a side of a slit.
    std::vector<unsigned char> slit;
    // With closed slits, for a vertex at a place the polygon passes several
    // times: the copies there whose edge in and whose edge out are no slit
    // (the loop through the place), or the place's first copy when every
    // edge there is a slit; the vertex itself elsewhere.
    std::vector<int> loopIn, loopOut;

    const Point& at(int k) const { return *polygon.getVertex(k); }
    int wrap(int k) const { return (k + polygon.getCount()) % polygon.getCount(); }

    void findSlits()
    {
        const int n = polygon.getCount();
        twin.assign(std::size_t(n), -1);
        opening.assign(std::size_t(n), {0.0, 0.0});
        std::vector<int> order(static_cast<std::size_t>(n));
        for (int k = 0; k < n; ++k)
            order[std::size_t(k)] = k;
        std::sort(order.begin(), order.end(), [this](int x, int y) {
            return at(x)[0] < at(y)[0] || (at(x)[0] == at(y)[0] && at(x)[1] < at(y)[1]);
        });
        std::vector<int> place(std::size_t(n), 0);
        for (int r = 0; r < n;) {
            int e = r + 1;
            while (e < n && samePlace(at(order[std::size_t(e)]), at(order[std::size_t(r)])))
                ++e;
            if (e == r + 2) {
                twin[std::size_t(order[std::size_t(r)])] = order[std::size_t(r + 1)];
                twin[std::size_t(order[std::size_t(r + 1)])] = order[std::size_t(r)];
            }
            for (int m = r; m < e; ++m)
                place[std::size_t(order[std::size_t(m)])] = r;
            r = e;
        }
        // An edge is a slit's side when the polygon runs it back elsewhere.
        std::vector<std::pair<int, int>> edges(static_cast<std::size_t>(n));
        for (int k = 0; k < n; ++k)
            edges[std::size_t(k)] = {place[std::size_t(k)], place[std::size_t(wrap(k + 1))]};
        std::vector<std::pair<int, int>> sorted = edges;
        std::sort(sorted.begin(), sorted.end());
        slit.assign(std::size_t(n), 0);
        for (int k = 0; k < n; ++k) {
            const auto [from, to] = edges[std::size_t(k)];
            slit[std::size_t(k)] =
                from != to && std::binary_search(sorted.begin(), sorted.end(), std::pair{to, from});
        }
        loopIn.resize(std::size_t(n));
        loopOut.resize(std::size_t(n));
        for (int r = 0; r < n;) {
            int e = r + 1;
            while (e < n && place[std::size_t(order[std::size_t(e)])] == r)
                ++e;
            int in = -1, out = -1;
            for (int m = r; m < e; ++m) {
                const int k = order[std::size_t(m)];
                if (in < 0 && !slit[std::size_t(wrap(k - 1))])
                    in = k;
                if (out < 0 && !slit[std::size_t(k)])
                    out = k;
            }
            // A place all of whose edges are slits lies inside the face:
            // its first copy decides for all.
            if (in < 0 || out < 0)
                in = out = order[std::size_t(r)];
            for (int m = r; m < e; ++m) {
                const int k = order[std::size_t(m)];
                loopIn[std::size_t(k)] = openSlits ? k : in;
                loopOut[std::size_t(k)] = openSlits ? k : out;
            }
            r = e;
        }
        for (int k = 0; k < n; ++k) {
            if (!openSlits || !(slit[std::size_t(k)] || slit[std::size_t(wrap(k - 1))]))
                continue;
            // The corner moves inwards, each of its two edges by the same
            // distance towards the face.
            double normal[2][2];
            for (int e = 0; e < 2; ++e) {
                const Point& p = at(wrap(k + e - 1));
                const Point& q = at(wrap(k + e));
                const double du = q[0] - p[0], dv = q[1] - p[1];
                const double length = std::hypot(du, dv);
                normal[e][0] = length > 0.0 ? -dv / length : 0.0;
                normal[e][1] = length > 0.0 ? du / length : 0.0;
            }
            const double bend = 1.0 + normal[0][0] * normal[1][0] + normal[0][1] * normal[1][1];
            if (bend > 1e-12)
                for (int d = 0; d < 2; ++d)
                    opening[std::size_t(k)][std::size_t(d)] = (normal[0][d] + normal[1][d]) / bend;
        }
    }

    int decide(int k, int f) const
    {
        const int a = 1 - f;
        const int t = twin[std::size_t(k)];
        const bool leaves = t >= 0 && samePlace(at(wrap(k + 1)), at(wrap(t - 1)));
        const bool arrives = t >= 0 && samePlace(at(wrap(k - 1)), at(wrap(t + 1)));
        // The edges to look at, (from, to): at the end of a slit its side
        // first, then the loop through the two places; and the vertex's
        // neighbours on that loop. (Where the slit's side runs along the
        // line its opening decides first anyway.)
        std::pair<int, int> edges[3] = {{wrap(k - 1), k}, {k, wrap(k + 1)}, {-1, -1}};
        int before = wrap(k - 1), after = wrap(k + 1);
        if (leaves && !arrives) {
            after = wrap(t + 1);
            edges[0] = {k, wrap(k + 1)};
            edges[1] = {wrap(k - 1), k};
            edges[2] = {t, after};
        } else if (arrives && !leaves) {
            before = wrap(t - 1);
            edges[0] = {wrap(k - 1), k};
            edges[1] = {k, wrap(k + 1)};
            edges[2] = {before, t};
        }
        if (!openSlits) {
            // A closed slit is no edge: the loop through the place decides,
            // the same way for every copy of the place.
            const int in = loopIn[std::size_t(k)], out = loopOut[std::size_t(k)];
            before = wrap(in - 1);
            after = wrap(out + 1);
            edges[0] = {before, in};
            edges[1] = {out, after};
            edges[2] = {-1, -1};
        }
        for (const auto& [from, to] : edges) {
            if (from < 0 || at(from)[f] != at(to)[f] || at(from)[a] == at(to)[a])
                continue;
            // The face lies left of the edge: towards -u of an edge that runs
            // up, towards +v of one that runs right.
            return (f == kU ? -1 : 1) * (at(to)[a] > at(from)[a] ? 1 : -1);
        }
        if (at(before)[f] > at(k)[f] && at(after)[f] > at(k)[f])
            return -1;
        return 1;
    }
};

// The value of W nearest to x when it lies within `near` of x; null when
// none does.
const double* nearestWithin(const Vector& W, double x, double near)
{
    const double* begin = W.data;
    const double* end = begin + W.size();
    const double* k = std::lower_bound(begin, end, x);
    const double* best = nullptr;
    if (k != end && *k - x <= near)
        best = k;
    if (k != begin && x - k[-1] <= near && (best == nullptr || x - k[-1] < *best - x))
        best = k - 1;
    return best;
}

double snapped(const Vector& W, double x, double near)
{
    const double* w = nearestWithin(W, x, near);
    return w != nullptr ? *w : x;
}

using Corner = std::array<double, 3>;

bool sameCorner(const Corner& a, const Corner& b)
{
    return a[0] == b[0] && a[1] == b[1];
}

// The closed polygon with every edge along an iso direction split where
// another edge along the same line ends inside it, so that two edges that
// run along one another (the sides of a spike, or of a slit that meets a
// spike) become the same edge, run once each way. At most as many vertices
// are added as the polygon has: a polygon that overlaps itself more than
// that is left partly unsplit.
void splitOverlaps(std::vector<Corner>& vertices)
{
    const std::size_t n = vertices.size();
    if (n < 3)
        return;
    // Per edge, the places along it where it is split.
    std::vector<std::vector<double>> splits(n);
    std::size_t added = 0;
    for (int f : {kU, kV}) {
        const int g = 1 - f;
        // The edges along lines where coordinate f is fixed, by line, and
        // the ends of the edges on each line.
        std::map<double, std::pair<std::vector<std::size_t>, std::vector<double>>> lines;
        for (std::size_t k = 0; k < n; ++k) {
            const Corner &a = vertices[k], &b = vertices[(k + 1) % n];
            if (a[f] != b[f] || a[g] == b[g])
                continue;
            auto& line = lines[a[f]];
            line.first.push_back(k);
            line.second.push_back(a[g]);
            line.second.push_back(b[g]);
        }
        for (auto& [at, line] : lines) {
            auto& [edges, ends] = line;
            if (edges.size() < 2)
                continue;
            std::sort(ends.begin(), ends.end());
            ends.erase(std::unique(ends.begin(), ends.end()), ends.end());
            for (std::size_t k : edges) {
                const double a = vertices[k][g], b = vertices[(k + 1) % n][g];
                auto first = std::upper_bound(ends.begin(), ends.end(), std::min(a, b));
                auto last = std::lower_bound(ends.begin(), ends.end(), std::max(a, b));
                if (first >= last || added + std::size_t(last - first) > n)
                    continue;
                added += std::size_t(last - first);
                splits[k].assign(first, last);
                if (a > b)
                    std::reverse(splits[k].begin(), splits[k].end());
            }
        }
    }
    if (added == 0)
        return;
    std::vector<Corner> out;
    out.reserve(n + added);
    for (std::size_t k = 0; k < n; ++k) {
        const Corner &a = vertices[k], &b = vertices[(k + 1) % n];
        out.push_back(a);
        const int f = a[kU] == b[kU] ? kU : kV, g = 1 - f;
        for (double w : splits[k]) {
            const double s = (w - a[g]) / (b[g] - a[g]);
            Corner p;
            p[f] = a[f];
            p[g] = w;
            p[2] = a[2] + s * (b[2] - a[2]);
            out.push_back(p);
        }
    }
    vertices = std::move(out);
}

// The closed polygon without the spikes of no width it may hold: a vertex
// at which it turns straight back goes, and so does a vertex repeating its
// neighbour, until none is left. A spike covers nothing, but an iso line
// along it would meet its two sides with nothing between them, and its
// sides would lie on top of each other in the cut polygons. A polygon that
// is spikes alone gives nothing.
void dropSpikes(std::vector<Corner>& vertices)
{
    const int n = int(vertices.size());
    if (n < 3)
        return;
    const std::size_t count = std::size_t(n);
    std::vector<int> prev(count), next(count), pending(count);
    std::vector<unsigned char> alive(std::size_t(n), 1);
    for (int k = 0; k < n; ++k) {
        prev[k] = (k + n - 1) % n;
        next[k] = (k + 1) % n;
        pending[k] = n - 1 - k;
    }
    int remaining = n;
    while (!pending.empty() && remaining >= 3) {
        const int k = pending.back();
        pending.pop_back();
        if (!alive[k])
            continue;
        const Corner &a = vertices[prev[k]], &p = vertices[k], &b = vertices[next[k]];
        const double du0 = p[0] - a[0], dv0 = p[1] - a[1], du1 = b[0] - p[0], dv1 = b[1] - p[1];
        const double longest = std::max(du0 * du0 + dv0 * dv0, du1 * du1 + dv1 * dv1);
        const bool back =
            du0 * du1 + dv0 * dv1 < 0.0 && std::fabs(du0 * dv1 - dv0 * du1) <= 1e-12 * longest;
        if (!sameCorner(p, b) && !back)
            continue;
        alive[k] = 0;
        next[prev[k]] = next[k];
        prev[next[k]] = prev[k];
        pending.push_back(next[k]);
        pending.push_back(prev[k]);
        --remaining;
    }
    std::vector<Corner> kept;
    if (remaining >= 3)
        for (int k = 0; k < n; ++k)
            if (alive[k])
                kept.push_back(vertices[k]);
    vertices = std::move(kept);
}

// The trim polygon as the cells cut it: a coordinate within `near` of an
// iso value takes that value, a vertex repeating the one before goes, and
// so do spikes of no width (dropSpikes); an edge that passes within `near`
// of a grid node gets a vertex there. So rounding leaves no tie undecided.
// Away from the iso values, the nodes and the spikes the polygon is
// unchanged.
void buildCutPolygon(const CVertexList& polygon, const Vector& U, const Vector& V, double near,
                     CVertexList& out)
{
    std::vector<Corner> vertices;
    for (const Point* p : polygon.vertices) {
        const Corner q = {snapped(U, (*p)[0], near), snapped(V, (*p)[1], near), (*p)[2]};
        if (vertices.empty() || !sameCorner(q, vertices.back()))
            vertices.push_back(q);
    }
    while (vertices.size() > 1 && sameCorner(vertices.front(), vertices.back()))
        vertices.pop_back();
    splitOverlaps(vertices);
    dropSpikes(vertices);

    const Vector* values[2] = {&U, &V};
    std::vector<std::pair<double, Corner>> onEdge;
    const std::size_t n = vertices.size();
    for (std::size_t k = 0; k < n; ++k) {
        const Corner& a = vertices[k];
        const Corner& b = vertices[(k + 1) % n];
        out.appendVertex(new Point(a[0], a[1], a[2]));
        onEdge.clear();
        for (int f : {kU, kV}) {
            const int g = 1 - f;
            const Vector& W = *values[f];
            const Vector& O = *values[g];
            const double lo = std::min(a[f], b[f]), hi = std::max(a[f], b[f]);
            const double* first = std::upper_bound(W.data, W.data + W.size(), lo);
            const double* last = std::lower_bound(W.data, W.data + W.size(), hi);
            for (const double* w = first; w < last; ++w) {
                const double s = (*w - a[f]) / (b[f] - a[f]);
                const double* node = nearestWithin(O, a[g] + s * (b[g] - a[g]), near);
                if (node == nullptr)
                    continue;
                Corner p;
                p[f] = *w;
                p[g] = *node;
                p[2] = a[2] + s * (b[2] - a[2]);
                onEdge.push_back({s, p});
            }
        }
        std::sort(onEdge.begin(), onEdge.end(),
                  [](const auto& x, const auto& y) { return x.first < y.first; });
        const Corner* last = &a;
        for (const auto& [s, p] : onEdge)
            if (!sameCorner(p, *last) && !sameCorner(p, b)) {
                out.appendVertex(new Point(p[0], p[1], p[2]));
                last = &p;
            }
    }
}

// One crossing of an iso line with the cut polygon while the line is cut.
struct LineCrossing {
    CIntersectionVertex* x = nullptr;
    double w = 0.0; // the coordinate along the line of its point
    int sense = 0;  // +1 where the line enters the face, -1 where it leaves
    // For a crossing at a vertex, where the moved polygon crosses relative
    // to w, by order.
    Move beside = {0.0, 0.0, 0.0};
};

// The order along the line; crossings at one place by where the moved
// polygon crosses, and the line leaving the face before it enters again
// (the two sides of a slit).
bool alongLine(const LineCrossing& a, const LineCrossing& b)
{
    if (a.w != b.w)
        return a.w < b.w;
    if (a.beside != b.beside)
        return a.beside < b.beside;
    return a.sense < b.sense;
}

// +1 when the crossing lies beyond the grid node at w along the line, -1
// when before it.
int beyond(const LineCrossing& c, double w)
{
    if (c.w != w)
        return c.w > w ? 1 : -1;
    return signOf(c.beside) < 0 ? -1 : 1;
}

// The state of one cut-cell tessellation: the cut polygon, the iso values,
// the three byte grids, the crossing set X and the node set S (both owning
// their records, so that every exit frees them).
class CutCells {
public:
    CutCells(CFaceter& faceter, const CVertexList& trimPolygon, const Vector& U, const Vector& V,
             std::ofstream& isoLog)
        : faceter(faceter), U(U), V(V), nu(U.size()), nv(V.size()), isoLog(isoLog),
          nodeInside(std::size_t(nu) * nv, 0),
          vEdgeInside(std::size_t(nu) * std::max(nv - 1, 0), 0),
          uEdgeInside(std::size_t(std::max(nu - 1, 0)) * nv, 0), nodeIndex(std::size_t(nu) * nv)
    {
        const double extent = std::max(U[nu - 1] - U[0], V[nv - 1] - V[0]);
        buildCutPolygon(trimPolygon, U, V, 1e-12 * extent, polygon);
        tieSides = std::make_unique<TieSides>(polygon);
    }

    void run()
    {
        for (int i = 0; i < nu; ++i)
            cutLine(kU, i);
        for (int j = 0; j < nv; ++j)
            cutLine(kV, j);
        closeCutCells();
        for (int i = 0; i + 1 < nu; ++i)
            for (int j = 0; j + 1 < nv; ++j)
                if (vEdge(i, j) && vEdge(i + 1, j) && uEdge(i, j) && uEdge(i, j + 1))
                    appendQuad(faceter.quads, U[i], V[j], U[i + 1], V[j + 1]);
    }

private:
    // What the walk needs of a crossing: its place in X, its line, and
    // whether it ends its inside interval on the low or the high side.
    struct CrossingInfo {
        int position = -1;
        bool onULine = false;
        bool lowEnd = false;
    };

    CFaceter& faceter;
    CVertexList polygon;
    std::unique_ptr<TieSides> tieSides;
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

    std::unordered_map<const CIntersectionVertex*, CrossingInfo> info;
    // For each node (at j nu + i), the crossings linked to it, by the
    // direction in which they lie from it: +u, +v, -u, -v.
    std::unordered_map<std::size_t, std::array<CIntersectionVertex*, 4>> linkedTo;
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

    // The crossings of the line where coordinate f is c, from the iso
    // segment la-lb (along which t runs), in no order.
    void crossLine(int f, double c, const Point& la, const Point& lb,
                   std::vector<LineCrossing>& hits)
    {
        const int a = 1 - f;
        const int n = polygon.getCount();
        const TieSides& ties = *tieSides;
        for (int k = 0; k < n; ++k) {
            const int k1 = k + 1 < n ? k + 1 : 0;
            const int sa = ties.side(k, f, c), sb = ties.side(k1, f, c);
            if (sa == sb)
                continue;
            const Point& e0 = *polygon.vertices[k];
            const Point& e1 = *polygon.vertices[k1];
            auto* x = new CIntersectionVertex();
            x->vIndex = k;
            x->polygon = &polygon;
            LineCrossing h;
            h.x = x;
            h.sense = (f == kU) == (sb > sa) ? 1 : -1;
            const int at = e0[f] == c ? k : e1[f] == c ? k1 : -1;
            if (at >= 0) {
                // At a vertex: exactly there, and the moved polygon crosses
                // just beside it, by the slope of the edge.
                const Point& p = at == k ? e0 : e1;
                const Point& q = at == k ? e1 : e0;
                x->param = at == k ? 0.0 : 1.0;
                x->point = p;
                h.w = p[a];
                x->t = (h.w - la[a]) / (lb[a] - la[a]);
                const double df = q[f] - p[f], slope = df != 0.0 ? (q[a] - p[a]) / df : 0.0;
                const Move along = ties.move(at, a), across = ties.move(at, f);
                for (std::size_t o = 0; o < h.beside.size(); ++o)
                    h.beside[o] = along[o] - slope * across[o];
            } else {
                // Inside the edge: the intersection of the iso segment and
                // the edge, computed as for any two segments.
                const double dx = lb[0] - la[0], dy = lb[1] - la[1];
                const double ex = e1[0] - e0[0], ey = e1[1] - e0[1];
                const double det = dx * ey - dy * ex;
                const double wx = e0[0] - la[0], wy = e0[1] - la[1];
                x->t = (wx * ey - wy * ex) / det;
                const double s = std::clamp((wx * dy - wy * dx) / det, 0.0, 1.0);
                x->param = s;
                for (int d = 0; d < 3; ++d)
                    x->point[d] = (1.0 - s) * e0[d] + s * e1[d];
                h.w = x->point[a];
            }
            hits.push_back(h);
        }
    }

    // Cuts u line `index` (f = kU) or v line `index` with the polygon, marks
    // the nodes and edges inside and links the crossings.
    void cutLine(int f, int index)
    {
        const bool alongV = f == kU;
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

        std::vector<LineCrossing> hits;
        crossLine(f, fixed, a, b, hits);
        std::stable_sort(hits.begin(), hits.end(), alongLine);
        // Crossings the rounding put the wrong way round at one place (the
        // two sides of a slit): the line leaves the face before it enters.
        int expected = 1;
        for (std::size_t k = 0; k < hits.size(); ++k) {
            if (hits[k].sense != expected && k + 1 < hits.size() &&
                std::fabs(hits[k + 1].x->t - hits[k].x->t) < 1e-7 && hits[k + 1].sense == expected)
                std::swap(hits[k], hits[k + 1]);
            expected = -hits[k].sense;
        }

        for (std::size_t k = 0; k < hits.size(); ++k)
            info[hits[k].x] = CrossingInfo{-1, alongV, k % 2 == 0};
        for (std::size_t k = 0; k + 1 < hits.size(); k += 2) {
            const LineCrossing& P = hits[k];
            const LineCrossing& Q = hits[k + 1];
            const double tP = P.x->t, tQ = Q.x->t;
            // Two crossings at one vertex bound the tip of the moved polygon
            // there: a piece of the line, however short.
            const bool atOneVertex = P.w == Q.w && samePlace(P.x->point, Q.x->point) &&
                                     (P.x->param == 0.0 || P.x->param == 1.0) &&
                                     (Q.x->param == 0.0 || Q.x->param == 1.0);
            if (!atOneVertex && std::fabs(tP - tQ) < 1e-7) {
                std::cout << (alongV ? "skipping a segmet " : "skipping a segment ") << tP << " "
                          << tQ << std::endl;
                continue;
            }
            P.x->pNext = Q.x;
            Q.x->pNext = P.x;
            if (isoLog.is_open()) {
                if (alongV)
                    writeSegmentCurve(isoLog, fixed, P.w, fixed, Q.w, 0.0, 1.0, 0.0);
                else
                    writeSegmentCurve(isoLog, P.w, fixed, Q.w, fixed, 0.0, 0.0, 1.0);
            }
            int first = -1, last = -1;
            bool previousInside = false;
            for (int m = int(std::lower_bound(W.data, W.data + nw, std::min(P.w, Q.w)) - W.data);
                 m < nw && W[m] <= std::max(P.w, Q.w); ++m) {
                const bool inside = beyond(P, W[m]) < 0 && beyond(Q, W[m]) > 0;
                if (inside) {
                    const int i = alongV ? index : m, j = alongV ? m : index;
                    node(i, j) = 1;
                    faceter.gridPoints.append(uvPoint(U[i], V[j]));
                    if (first < 0)
                        first = m;
                    last = m;
                    if (previousInside) {
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
            P.x->pNext = lower;
            Q.x->pNext = lower;
            if (last != first)
                Q.x->pNext =
                    alongV ? nodeRecord(index, last, true) : nodeRecord(last, index, false);
        }

        for (const LineCrossing& h : hits) {
            CIntersectionVertex* x = h.x;
            if (!alongV && x->pNext == nullptr) {
                std::cout << "null not expected." << std::endl;
                info.erase(x);
                delete x;
                continue;
            }
            X.insertAt(x, X.count - 1);
        }
    }

    // The points the walk of one cut polygon has added, those that fell on
    // the point before them included.
    int walked = 0;

    void add(CVertexList& C, const Point& p)
    {
        ++walked;
        appendPoint(C, p);
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
            add(C, *polygon.getVertex(k % n));
    }

    // A step between neighbouring nodes, or the direction of one.
    struct Step {
        int di = 0, dj = 0;
        Step turnedLeft() const { return Step{-dj, di}; }
        int slot() const { return di > 0 ? 0 : dj > 0 ? 1 : di < 0 ? 2 : 3; }
    };

    // The direction from crossing x along its line towards the node it leads
    // to (from the low end of an interval upwards).
    Step towardsLink(const CIntersectionVertex* x) const
    {
        auto found = info.find(x);
        if (found == info.end())
            return Step{};
        const int sign = found->second.lowEnd ? 1 : -1;
        return found->second.onULine ? Step{0, sign} : Step{sign, 0};
    }

    // The crossing linked to node p that lies from p in direction r.
    CIntersectionVertex* crossingTowards(const CIntersectionVertex* p, Step r) const
    {
        auto found = linkedTo.find(std::size_t(p->m_j) * nu + p->m_i);
        return found == linkedTo.end() ? nullptr : found->second[std::size_t(r.slot())];
    }

    // Closes and triangulates the cut polygon that begins with the piece of
    // the trim polygon from crossing A to crossing B.
    void walk(CIntersectionVertex* A, CIntersectionVertex* B)
    {
        const int N = polygon.getCount();
        const int n = X.count;
        CVertexList C;
        walked = 0;
        add(C, A->point);
        appendBoundaryRun(C, *A, *B);
        add(C, B->point);
        CIntersectionVertex* const goal = A->pNext;
        const bool partners = A->pNext == B && B->pNext == A;
        const bool complete =
            partners || B->pNext == nullptr || (goal != nullptr && goal == B->pNext);
        if (goal != nullptr && goal == B->pNext && !partners)
            add(C, goal->point);
        if (!complete) {
            CIntersectionVertex* p = B->pNext;
            Step d = towardsLink(B);
            while (p != nullptr && p != goal && walked < 2 * N) {
                if (isNode(p)) {
                    add(C, Point(U[p->m_i], V[p->m_j], 0.0));
                    const Step r = d.turnedLeft();
                    CIntersectionVertex* next = crossingTowards(p, r);
                    if (next == nullptr) {
                        const int i = p->m_i + r.di, j = p->m_j + r.dj;
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
                    d = r;
                    p = next;
                    if (p == goal)
                        add(C, p->point);
                } else {
                    const auto slot = info.find(p);
                    if (slot == info.end() || slot->second.position < 0)
                        break;
                    const int s = slot->second.position;
                    CIntersectionVertex* T = X.items[(s + 1) % n];
                    done[std::size_t(s)] = 1;
                    add(C, p->point);
                    appendBoundaryRun(C, *p, *T);
                    add(C, T->point);
                    if (T->pNext == nullptr) {
                        std::cout << "facetFaceQuads unxpected p->pNext == NULL " << std::endl;
                        break;
                    }
                    d = towardsLink(T);
                    if (T == goal)
                        break;
                    p = T->pNext;
                    if (p == goal)
                        add(C, p->point);
                }
            }
        }
        if (walked >= 2 * N) {
            std::cout << "extraordinary long loop found: " << walked << std::endl;
            return;
        }
        // The walk ends where it began.
        while (C.getCount() > 1 && samePlace(*C.vertices[0], *C.vertices[C.getCount() - 1]))
            delete C.vertices.data[--C.vertices.count];
        if (C.getCount() >= 3)
            appendTriangles(C, faceter.triangles);
    }

    // How far along its edge the moved polygon meets the line of crossing
    // x, which lies at a vertex, from that vertex, by order.
    Move fromVertex(const CIntersectionVertex* x)
    {
        const int f = info[x].onULine ? kU : kV;
        const int n = polygon.getCount();
        const int p = x->param == 0.0 ? x->vIndex : (x->vIndex + 1) % n;
        const int q = x->param == 0.0 ? (x->vIndex + 1) % n : x->vIndex;
        const double df = (*polygon.vertices[q])[f] - (*polygon.vertices[p])[f];
        Move d = tieSides->move(p, f);
        for (double& o : d)
            o = df != 0.0 ? -o / df : 0.0;
        return d;
    }

    void closeCutCells()
    {
        // Along the polygon; two crossings at one vertex (the vertex on a
        // grid node) in the order the moved polygon meets them.
        std::stable_sort(X.items, X.items + X.count,
                         [this](const CIntersectionVertex* a, const CIntersectionVertex* b) {
                             if (a->vIndex != b->vIndex)
                                 return a->vIndex < b->vIndex;
                             if (a->param != b->param)
                                 return a->param < b->param;
                             if (a->param != 0.0 && a->param != 1.0)
                                 return false;
                             const Move da = fromVertex(a), db = fromVertex(b);
                             return a->param == 0.0 ? da < db : db < da;
                         });
        const int n = X.count;
        done.assign(std::size_t(n), 0);
        for (int s = 0; s < n; ++s) {
            CIntersectionVertex* x = X.items[s];
            CrossingInfo& about = info[x];
            about.position = s;
            if (x->pNext == nullptr || !isNode(x->pNext))
                continue;
            // The direction from the node to the crossing, against the one
            // the crossing leads in.
            const int sign = about.lowEnd ? -1 : 1;
            const Step from = about.onULine ? Step{0, sign} : Step{sign, 0};
            auto& slots = linkedTo[std::size_t(x->pNext->m_j) * nu + x->pNext->m_i];
            if (slots[std::size_t(from.slot())] == nullptr)
                slots[std::size_t(from.slot())] = x;
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
    const Platform::SideIdScope sideIds; // a debug dump's curve
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

void CFaceter::facetPolygon(const CVertexList& polygon, const Vector& U, const Vector& V)
{
    if (U.size() == 0 || V.size() == 0)
        return;
    std::ofstream isoLog;
    openLogStream(isoLog, "c:/tmp/iseg.out", std::ios::out | std::ios::app);
    CutCells(*this, polygon, U, V, isoLog).run();
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

    Vector U, V;
    if (face.MeshType != 0) {
        Fenwo::NurbsSurf* nurbs = face.getNurbsSurf();
        if (face.MeshType == 17 && nurbs != nullptr)
            isoParametersForArcTolerance(nurbs, face.MeshArcTol, U, V);
        else
            isoParametersForDistance(face.surface, face.MeshDistance, U, V);
        if (U.size() == 0 || V.size() == 0)
            return 0;
    }
    // Cells need two distinct values a direction: a domain without width
    // (or one whose width is lost in rounding) is drawn from its trim
    // polygon alone, as type 0 draws every face.
    const bool cells = face.MeshType != 0 && U[0] < U[U.size() - 1] && V[0] < V[V.size() - 1];
    if (cells) {
        pullEndsInwards(U);
        pullEndsInwards(V);
        facetPolygon(polygon, U, V);
    } else if (quads.count == 0 && triangles.count == 0) {
        // Spikes of no width cover nothing; their sides would lie on top
        // of each other in the triangulation.
        std::vector<Corner> corners;
        for (const Point* p : polygon.vertices)
            corners.push_back({(*p)[0], (*p)[1], (*p)[2]});
        splitOverlaps(corners);
        dropSpikes(corners);
        CVertexList spikeFree;
        for (const Corner& c : corners)
            spikeFree.appendVertex(new Point(c[0], c[1], c[2]));
        appendTriangles(spikeFree, triangles);
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

// The pieces of the scan line a-b (where coordinate f is fixed) inside the
// polygon into row, as pairs of end points: the line's crossings, decided
// for vertices on the line as the cut cells decide them but with the slits
// to the holes closed (a line along a slit runs on through it, the face
// lying on both of its sides), taken in pairs along it; a piece of no
// length (a vertex touching the line) is left out.
// The row is emptied first, so a line that misses the polygon leaves
// nothing of the previous line behind.
void scanLine(const CVertexList& polygon, const TieSides& ties, int f, const Point& a,
              const Point& b, Kor::List<tuple<float, 2>>& row)
{
    row.removeAll();
    const int g = 1 - f;
    const double c = a[f];
    const int n = polygon.getCount();
    std::vector<double> params;
    for (int k = 0; k < n; ++k) {
        const int k1 = k + 1 < n ? k + 1 : 0;
        if (ties.side(k, f, c) == ties.side(k1, f, c))
            continue;
        const Point& e0 = *polygon.vertices[k];
        const Point& e1 = *polygon.vertices[k1];
        // A slit along the line is no boundary: the line runs on through it.
        if (e0[f] == c && e1[f] == c && ties.isSlit(k))
            continue;
        if (e0[f] == c || e1[f] == c) {
            params.push_back(((e0[f] == c ? e0 : e1)[g] - a[g]) / (b[g] - a[g]));
            continue;
        }
        // The parameter on a-b where it meets the edge, computed as for any
        // two segments.
        const double dx = b[0] - a[0], dy = b[1] - a[1];
        const double ex = e1[0] - e0[0], ey = e1[1] - e0[1];
        const double wx = e0[0] - a[0], wy = e0[1] - a[1];
        params.push_back((wx * ey - wy * ex) / (dx * ey - dy * ex));
    }
    std::sort(params.begin(), params.end());
    auto at = [&](double t) { return uvPoint(a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1])); };
    for (std::size_t m = 0; m + 1 < params.size(); m += 2) {
        const double p = std::max(params[m], 0.0), q = std::min(params[m + 1], 1.0);
        if (p >= q)
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
        // The polygon as the cut cells take it: snapped onto the scan
        // values it lies within rounding of, and without spikes of no
        // width, which hold no piece of a line along them (the face lies on
        // both of their sides, a cut into it, or on neither).
        CVertexList scanned;
        const double extent = std::max(U[nu - 1] - U[0], V[nv - 1] - V[0]);
        buildCutPolygon(polygon, U, V, 1e-12 * extent, scanned);
        const TieSides ties(scanned, false);
        // The outermost scan lines keep just inside the domain.
        const double e = 1e-6;
        Kor::List<tuple<float, 2>> row;
        U[0] += e;
        U[nu - 1] -= e;
        for (int k = 0; k < nu; ++k) {
            scanLine(scanned, ties, kU, Point(U[k], V[0] - e, 0.0), Point(U[k], V[nv - 1] + e, 0.0),
                     row);
            if (row.count > 1)
                scanSegments.append(row);
        }
        const int uRowCount = scanSegments.count;
        U[0] -= e;
        U[nu - 1] += e;
        V[0] += e;
        V[nv - 1] -= e;
        for (int k = 0; k < nv; ++k) {
            scanLine(scanned, ties, kV, Point(U[0] - e, V[k], 0.0), Point(U[nu - 1] + e, V[k], 0.0),
                     row);
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
