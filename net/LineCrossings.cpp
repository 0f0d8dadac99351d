// The junctions the topology step puts where two poly-lines of the net cross
// between their points: the drawing's regions meet there, and the graph of
// the net knows only the points the poly-lines share.

#include "geometry/ParametricGeometry.h"
#include "mesh/GridPoint.h"
#include "mesh/MeshProjection.h"
#include "net/PointList.h"
#include "net/SurfaceNet.h"
#include "net/Topology.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <map>
#include <set>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

using P3 = std::array<double, 3>;

// Samples of each stretch between two entries of a poly-line.
constexpr int kStretchSamples = 12;
// A crossing nearer a node both pieces end at than this share of the
// shorter of their reaches from there (the farthest entry of each) is the
// pen's doing at that node (a stroke that ran past it and came back, a
// hook, two lobes of one stroke touching there), not a crossing.
constexpr double kNodeShare = 0.35;
// Lines that cross at less than this angle's sine only touch.
constexpr double kLeastSine = 0.05;
// The most crossings one step puts junctions at, per poly-line piece: more
// than that is no drawing but lines thrown across one another.
constexpr int kCrossingsPerPiece = 8;

double dot(const P3& a, const P3& b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
P3 minus(const P3& a, const P3& b)
{
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
P3 cross(const P3& a, const P3& b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double length(const P3& a)
{
    return std::sqrt(dot(a, a));
}
P3 toP3(const CVertex<float, 3>& v)
{
    return {double(v.data[0]), double(v.data[1]), double(v.data[2])};
}

// One segment of a poly-line's sampled curve: its stretch (from entry
// `stretch` to the next) and where along the stretch it runs.
struct Segment {
    int line = 0;
    int stretch = 0;
    double from = 0.0, to = 1.0; // shares of the stretch
    P3 a, b;
};

// The piece of a poly-line a stretch lies on: its end nodes, the entries
// before and after it that the poly-line shares with others or itself
// (or its ends), and how far its entries reach from each.
struct Piece {
    const CVertex<float, 3>* first = nullptr;
    const CVertex<float, 3>* last = nullptr;
    double fromFirst = 0.0, fromLast = 0.0;
};

// A crossing found: the two segments and the shares along each.
struct Crossing {
    int a = 0, b = 0; // segments
    double sa = 0.0, sb = 0.0;
};

bool samePlace(const CVertex<float, 3>* p, const CVertex<float, 3>* q)
{
    return p != nullptr && q != nullptr &&
           (p == q ||
            (p->data[0] == q->data[0] && p->data[1] == q->data[1] && p->data[2] == q->data[2]));
}

// The point of the stretch at share s (on the curve between the entries'
// parameters, else on the straight line between them).
P3 stretchPoint(const COffset_PointList& pl, int stretch, double s)
{
    double ta = 0.0, tb = 0.0;
    CParametricGeometry* curve = pl.getCurve();
    if (curve != nullptr && pl.entryParameter(stretch, ta) && pl.entryParameter(stretch + 1, tb)) {
        const Vector p = curve->getPoint((1.0 - s) * ta + s * tb, 0.0);
        return {p[0], p[1], p[2]};
    }
    const P3 a = toP3(*pl.entryAt(stretch)), b = toP3(*pl.entryAt(stretch + 1));
    return {(1.0 - s) * a[0] + s * b[0], (1.0 - s) * a[1] + s * b[1], (1.0 - s) * a[2] + s * b[2]};
}

// Whether the segments p and q cross, seen along `normal`: where, as shares
// along each. Segments that run side by side, at less than kLeastSine, or
// lie farther apart in space than `gap` do not.
bool segmentsCross(const Segment& p, const Segment& q, const P3& normal, double gap, double& sp,
                   double& sq)
{
    const P3 d = minus(p.b, p.a), e = minus(q.b, q.a);
    // Seen along the normal: the parts of d, e and of the way between the
    // starts across it.
    const auto flat = [&](const P3& v) {
        const double along = dot(v, normal);
        return P3{v[0] - along * normal[0], v[1] - along * normal[1], v[2] - along * normal[2]};
    };
    const P3 fd = flat(d), fe = flat(e), fw = flat(minus(q.a, p.a));
    const double turn = dot(cross(fd, fe), normal);
    const double ld = length(fd), le = length(fe);
    if (!(ld > 0.0 && le > 0.0) || std::fabs(turn) < kLeastSine * ld * le)
        return false;
    sp = dot(cross(fw, fe), normal) / turn;
    sq = dot(cross(fw, fd), normal) / turn;
    // Each segment from its start on up to its end: lines that cross at a
    // sample point cross once.
    if (!(sp >= 0.0 && sp < 1.0 && sq >= 0.0 && sq < 1.0))
        return false;
    const P3 x = {p.a[0] + sp * d[0], p.a[1] + sp * d[1], p.a[2] + sp * d[2]};
    const P3 y = {q.a[0] + sq * e[0], q.a[1] + sq * e[1], q.a[2] + sq * e[2]};
    return length(minus(x, y)) <= gap;
}

} // namespace

namespace GB {

int CSurfaceNet::putJunctionsWhereLinesCross(
    double least, std::set<std::pair<const COffset_PointList*, int>>& uncut)
{
    // The stretches of every poly-line sampled along its curve as it now
    // stands, and the pieces they lie on.
    std::vector<Segment> segments;
    std::vector<std::vector<Piece>> pieces(std::size_t(pointLists.count));
    for (int line = 0; line < pointLists.count; ++line) {
        COffset_PointList* pl = pointLists[line];
        if (pl == nullptr || pl->vertices.count < 2)
            continue;
        pl->currentCurve();
        const int count = pl->vertices.count;
        const int stretches = pl->closed ? count : count - 1;
        std::vector<Piece>& onPiece = pieces[std::size_t(line)];
        onPiece.assign(std::size_t(stretches), Piece());
        const auto isNode = [&](int entry) {
            return useCountOf(pl->entryAt(entry)) > 1 ||
                   (!pl->closed && (entry == 0 || entry == count - 1));
        };
        for (int k = 0; k < stretches; ++k) {
            int before = k, after = k + 1;
            while (before > 0 && !isNode(before))
                --before;
            while (after < count - 1 + (pl->closed ? 1 : 0) && !isNode(after))
                ++after;
            Piece& piece = onPiece[std::size_t(k)];
            piece = {pl->entryAt(before), pl->entryAt(after)};
            // A ring too small to hold a face is no line of the drawing.
            if (samePlace(piece.first, piece.last) && ringArea(*pl, before, after) < least)
                continue;
            for (int e = before; e <= after; ++e) {
                const P3 at = toP3(*pl->entryAt(e));
                piece.fromFirst = std::max(piece.fromFirst, length(minus(at, toP3(*piece.first))));
                piece.fromLast = std::max(piece.fromLast, length(minus(at, toP3(*piece.last))));
            }
            P3 last = stretchPoint(*pl, k, 0.0);
            for (int s = 1; s <= kStretchSamples; ++s) {
                const double share = double(s) / kStretchSamples;
                const P3 next = stretchPoint(*pl, k, share);
                segments.push_back({line, k, double(s - 1) / kStretchSamples, share, last, next});
                last = next;
            }
        }
    }
    if (segments.empty())
        return 0;

    // Each stretch's box, grown by the gap, in the cells of a grid as wide
    // as a stretch's box is across at the middle: two stretches that cross
    // share a cell.
    const double gap = surfaceTolerance > 0.0 ? surfaceTolerance : 0.1;
    struct Box {
        P3 lo{HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi{-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
        bool meets(const Box& o) const
        {
            for (std::size_t k = 0; k < 3; ++k)
                if (hi[k] < o.lo[k] || o.hi[k] < lo[k])
                    return false;
            return true;
        }
    };
    const auto boxOf = [&](const Segment& s) {
        Box box;
        for (std::size_t k = 0; k < 3; ++k) {
            box.lo[k] = std::min(s.a[k], s.b[k]) - gap;
            box.hi[k] = std::max(s.a[k], s.b[k]) + gap;
        }
        return box;
    };
    std::vector<std::pair<int, int>> stretchSegments; // first segment, count
    std::vector<Box> stretchBoxes;
    std::vector<double> across;
    for (int i = 0; i < int(segments.size()); ++i) {
        const Segment& s = segments[std::size_t(i)];
        if (i == 0 || s.line != segments[std::size_t(i) - 1].line ||
            s.stretch != segments[std::size_t(i) - 1].stretch) {
            stretchSegments.emplace_back(i, 0);
            stretchBoxes.emplace_back();
        }
        ++stretchSegments.back().second;
        const Box box = boxOf(s);
        Box& all = stretchBoxes.back();
        for (std::size_t k = 0; k < 3; ++k) {
            all.lo[k] = std::min(all.lo[k], box.lo[k]);
            all.hi[k] = std::max(all.hi[k], box.hi[k]);
        }
    }
    for (const Box& box : stretchBoxes)
        across.push_back(length(minus(box.hi, box.lo)));
    std::vector<double> sorted = across;
    std::nth_element(sorted.begin(), sorted.begin() + std::ptrdiff_t(sorted.size() / 2),
                     sorted.end());
    const double cell = std::max(sorted[sorted.size() / 2], 1e-9);
    // A stretch whose box covers more cells than this is met with every
    // other one.
    constexpr long long kMostCells = 512;
    std::unordered_map<std::uint64_t, std::vector<int>> cells;
    std::vector<int> large;
    // Counted in doubles: a stretch out at a far coordinate (a point read
    // from a damaged text) spans more cells than a long long can count, and
    // its product wrapped round to a small number whose loops ran forever.
    const auto cellRange = [&](const Box& box, long long lo[3], long long hi[3]) {
        double count = 1.0;
        for (std::size_t k = 0; k < 3; ++k) {
            const double from = std::floor(box.lo[k] / cell), to = std::floor(box.hi[k] / cell);
            count *= to - from + 1.0;
            if (!(count <= double(kMostCells)))
                return kMostCells + 1;
            lo[k] = (long long)from;
            hi[k] = (long long)to;
        }
        return (long long)count;
    };
    const auto key = [](long long x, long long y, long long z) {
        const auto part = [](long long v) { return std::uint64_t(v + (1LL << 20)) & 0x1FFFFFu; };
        return part(x) | part(y) << 21 | part(z) << 42;
    };
    for (int t = 0; t < int(stretchBoxes.size()); ++t) {
        long long lo[3], hi[3];
        if (cellRange(stretchBoxes[std::size_t(t)], lo, hi) > kMostCells) {
            large.push_back(t);
            continue;
        }
        for (long long x = lo[0]; x <= hi[0]; ++x)
            for (long long y = lo[1]; y <= hi[1]; ++y)
                for (long long z = lo[2]; z <= hi[2]; ++z)
                    cells[key(x, y, z)].push_back(t);
    }

    std::vector<Crossing> found;
    std::vector<int> metBy(stretchBoxes.size(), -1);
    for (int t = 0; t < int(stretchBoxes.size()); ++t) {
        std::vector<int> others = large;
        long long lo[3], hi[3];
        if (cellRange(stretchBoxes[std::size_t(t)], lo, hi) > kMostCells) {
            others.resize(stretchBoxes.size());
            for (int u = 0; u < int(others.size()); ++u)
                others[std::size_t(u)] = u;
        } else {
            for (long long x = lo[0]; x <= hi[0]; ++x)
                for (long long y = lo[1]; y <= hi[1]; ++y)
                    for (long long z = lo[2]; z <= hi[2]; ++z)
                        if (const auto at = cells.find(key(x, y, z)); at != cells.end())
                            others.insert(others.end(), at->second.begin(), at->second.end());
        }
        const Segment& first = segments[std::size_t(stretchSegments[std::size_t(t)].first)];
        const COffset_PointList* pl = pointLists[first.line];
        const int stretches = int(pieces[std::size_t(first.line)].size());
        // Seen along the mesh normal at the stretch's first entry.
        const auto* g = dynamic_cast<const Gridbench::CGridPoint*>(pl->entryAt(first.stretch));
        const P3 entryNormal = g != nullptr ? toP3(g->normal) : P3{0.0, 0.0, 0.0};
        for (const int u : others) {
            if (u <= t || metBy[std::size_t(u)] == t ||
                !stretchBoxes[std::size_t(t)].meets(stretchBoxes[std::size_t(u)]))
                continue;
            metBy[std::size_t(u)] = t;
            const Segment& other = segments[std::size_t(stretchSegments[std::size_t(u)].first)];
            // A poly-line crosses itself only between stretches that do not
            // meet.
            if (first.line == other.line &&
                (std::abs(first.stretch - other.stretch) <= 1 ||
                 (pl->closed && std::abs(first.stretch - other.stretch) == stretches - 1)))
                continue;
            const Piece& a = pieces[std::size_t(first.line)][std::size_t(first.stretch)];
            const Piece& b = pieces[std::size_t(other.line)][std::size_t(other.stretch)];
            for (int i = stretchSegments[std::size_t(t)].first;
                 i < stretchSegments[std::size_t(t)].first + stretchSegments[std::size_t(t)].second;
                 ++i) {
                const Segment& p = segments[std::size_t(i)];
                const Box pBox = boxOf(p);
                for (int j = stretchSegments[std::size_t(u)].first;
                     j <
                     stretchSegments[std::size_t(u)].first + stretchSegments[std::size_t(u)].second;
                     ++j) {
                    const Segment& q = segments[std::size_t(j)];
                    if (!pBox.meets(boxOf(q)))
                        continue;
                    P3 normal = entryNormal;
                    if (!(length(normal) > 0.0))
                        normal = cross(minus(p.b, p.a), minus(q.b, q.a));
                    if (!(length(normal) > 0.0))
                        continue;
                    const double l = length(normal);
                    normal = {normal[0] / l, normal[1] / l, normal[2] / l};
                    double sp = 0.0, sq = 0.0;
                    if (!segmentsCross(p, q, normal, gap, sp, sq))
                        continue;
                    // Not where both pieces end at one node, within the
                    // stretch a pen leaves there.
                    const P3 at = {p.a[0] + sp * (p.b[0] - p.a[0]), p.a[1] + sp * (p.b[1] - p.a[1]),
                                   p.a[2] + sp * (p.b[2] - p.a[2])};
                    bool pen = false;
                    for (int ea = 0; ea < 2; ++ea)
                        for (int eb = 0; eb < 2; ++eb) {
                            const CVertex<float, 3>* end = ea == 0 ? a.first : a.last;
                            if (!samePlace(end, eb == 0 ? b.first : b.last))
                                continue;
                            const double reach = std::min(ea == 0 ? a.fromFirst : a.fromLast,
                                                          eb == 0 ? b.fromFirst : b.fromLast);
                            pen = pen || length(minus(at, toP3(*end))) < kNodeShare * reach;
                        }
                    if (!pen)
                        found.push_back({i, j, sp, sq});
                }
            }
        }
    }
    if (found.empty())
        return 0;

    // Each crossing's point: on the mesh where there is one, else between
    // the two curves; inserted into both stretches in order along them.
    struct Insertion {
        int line, stretch;
        double share;
        Gridbench::CGridPoint* point;
    };
    std::vector<Insertion> insertions;
    std::vector<Gridbench::CGridPoint*> made;
    std::map<std::pair<int, int>, int> perPiece;
    for (const Crossing& c : found) {
        const Segment& p = segments[std::size_t(c.a)];
        const Segment& q = segments[std::size_t(c.b)];
        if (++perPiece[{p.line, p.stretch}] > kCrossingsPerPiece ||
            ++perPiece[{q.line, q.stretch}] > kCrossingsPerPiece) {
            std::cout << "too many crossings of the net's lines: no junctions put where they cross"
                      << std::endl;
            for (const Crossing& left : found)
                for (const int segment : {left.a, left.b})
                    uncut.emplace(pointLists[segments[std::size_t(segment)].line],
                                  segments[std::size_t(segment)].stretch);
            return 0;
        }
    }
    for (const Crossing& c : found) {
        const Segment& p = segments[std::size_t(c.a)];
        const Segment& q = segments[std::size_t(c.b)];
        Mesh::CBaseMesh::CBaseHitInfo hit;
        for (std::size_t k = 0; k < 3; ++k)
            hit.data[k] = float(
                0.5 * (p.a[k] + c.sa * (p.b[k] - p.a[k]) + q.a[k] + c.sb * (q.b[k] - q.a[k])));
        if (const auto* near =
                dynamic_cast<const Gridbench::CGridPoint*>(pointLists[p.line]->entryAt(p.stretch)))
            hit.normal = near->normal;
        Mesh::HitSet hits;
        if (mesh != nullptr && Mesh::meshHitsNearPoint(mesh, hit, hits, 1.2, false) &&
            hits.count > 0)
            hit = *hits[0];
        made.push_back(new Gridbench::CGridPoint(hit));
        insertions.push_back({p.line, p.stretch, p.from + c.sa * (p.to - p.from), made.back()});
        insertions.push_back({q.line, q.stretch, q.from + c.sb * (q.to - q.from), made.back()});
    }
    // Back to front along each poly-line, so that the entries before stay
    // where they are. A locked curve keeps its shape: the new entry takes
    // its parameter there; any other curve is fitted anew through it.
    std::sort(insertions.begin(), insertions.end(), [](const Insertion& x, const Insertion& y) {
        return std::tie(x.line, y.stretch, y.share) < std::tie(y.line, x.stretch, x.share);
    });
    int lastLine = -1;
    for (const Insertion& at : insertions) {
        COffset_PointList* pl = pointLists[at.line];
        if (at.line != lastLine) {
            addUndo(new CUndoVertexList(pl));
            lastLine = at.line;
        }
        double ta = 0.0, tb = 0.0;
        if (pl->curveLocked && pl->entryParameter(at.stretch, ta) &&
            pl->entryParameter(at.stretch + 1, tb) && pl->parameters.count == pl->vertices.count)
            pl->parameters.insertAfter((1.0 - at.share) * ta + at.share * tb, at.stretch);
        pl->vertices.insertAfter(at.point, at.stretch);
        pl->changeUse(at.point, +1);
        pl->modified = true;
        pl->dropCurve();
    }
    for (Gridbench::CGridPoint* point : made)
        adoptGridPoint(point);
    const std::set<const CVertex<float, 3>*> junctions(made.begin(), made.end());
    for (COffset_PointList* pl : pointLists)
        for (int i = 0; pl != nullptr && i < pl->vertices.count; ++i)
            if (junctions.count(pl->vertices[i]) > 0)
                pl->markChanged(i);
    std::cout << found.size() << " junctions put where the net's lines cross" << std::endl;
    return int(found.size());
}

} // namespace GB
