// The junctions an edit puts where a poly-line it drew or moved crosses
// another one (or itself) between their points: the drawing's regions meet
// there, and the graph of the net knows only the points the poly-lines
// share. The crossings are taken once, by the edit that makes them, and
// become points of the net like any other: the topology step, an open, an
// undo and a commit find the junctions in the net and never look for
// crossings themselves.

#include "geometry/ParametricGeometry.h"
#include "mesh/GridPoint.h"
#include "mesh/MeshProjection.h"
#include "net/OffsetGrid.h"
#include "net/PointList.h"
#include "net/Topology.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <map>
#include <numeric>
#include <set>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace {

using P3 = std::array<double, 3>;

// A stretch between two entries is followed along its curve at about this
// many tolerances a sample, with at most kMostSamples samples: a long stroke
// of two clicks runs over the mesh as its curve does, a short stretch of a
// dense stroke is its chord.
constexpr double kSampleSpacing = 2.0;
constexpr int kMostSamples = 64;
// A crossing nearer a node both pieces end at than this share of the
// shorter of their reaches from there (the farthest entry of each), on
// stretches whose way from that node stays that near it, is the pen's
// doing at the node (a stroke that ran past it and came back, a hook, two
// lobes of one stroke touching there), not a crossing: the topology reads
// the way each piece leaves a node only beyond that share of its reach.
constexpr double kNodeShare = 0.35;
// Crossings within this share of the net's tolerance of one another are
// one junction, and one that close to a free end of either stretch is put
// at that end: three strokes through one point meet at one junction, and a
// stroke that ends on a line is joined to it where it ends.
constexpr double kMergeShare = 0.5;
// A crossing within this share of the tolerance of a junction of either
// stretch is put at the junction: a line drawn that near a node (a side
// drawn again a little off, a stroke through a corner) passes through it,
// where the face's fit takes the lines to meet anyway.
constexpr double kJunctionShare = 1.5;
// The most crossings one edit puts junctions at: more is no drawing of a
// net but lines thrown across one another (the junctions' grid points
// alone would take hundreds of megabytes).
constexpr std::size_t kMostCrossings = 200000;

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
P3 lerp(const P3& a, const P3& b, double s)
{
    return {a[0] + s * (b[0] - a[0]), a[1] + s * (b[1] - a[1]), a[2] + s * (b[2] - a[2])};
}

bool samePlace(const CVertex<float, 3>* p, const CVertex<float, 3>* q)
{
    return p != nullptr && q != nullptr &&
           (p == q ||
            (p->data[0] == q->data[0] && p->data[1] == q->data[1] && p->data[2] == q->data[2]));
}

// The way a stretch runs from a node of its piece: the node (null where the
// piece ends at a free end, which no pen left anything at), how far the
// piece's entries reach from it, and whether the poly-line's way from the
// node to the stretch stays within kNodeShare of that reach.
struct NodeEnd {
    const CVertex<float, 3>* node = nullptr;
    double reach = 0.0;
    bool near = false;
};

// One stretch of a poly-line, from entry k to entry k + 1 (round the
// closing segment for the last one of a closed poly-line).
struct Stretch {
    int line = 0;
    int k = 0;
    bool fresh = false; // drawn or moved since the crossings were last taken
    int firstSegment = 0, segments = 0;
    const CVertex<float, 3>* a = nullptr;
    const CVertex<float, 3>* b = nullptr;
    NodeEnd back, ahead; // towards the piece's first and last node
    bool smallRing = false; // on a ring that encloses too little to be one
    int piece = -1;         // the piece between two of its poly-line's nodes
    P3 normal{0.0, 0.0, 0.0};
};

// One segment of a stretch's samples: the shares of the stretch it runs
// over.
struct Segment {
    int stretch = 0;
    double from = 0.0, to = 1.0;
    P3 a, b;
};

// A crossing found: the two stretches, the shares along each, and where.
struct Crossing {
    int p = 0, q = 0;
    double sp = 0.0, sq = 0.0;
    P3 at;
};

// Whether the segments s and t cross, seen along `normal`: where, as shares
// along each, ends included with a little to spare (lines that cross at a
// sample point are found there on either segment, whichever way the
// rounding goes; the same crossing found twice is one junction). Segments
// farther apart in space than `gap` where they cross lie on other sheets
// and do not.
bool segmentsCross(const Segment& s, const Segment& t, const P3& normal, double gap, double& ss,
                   double& st)
{
    const P3 d = minus(s.b, s.a), e = minus(t.b, t.a);
    const auto flat = [&](const P3& v) {
        const double along = dot(v, normal);
        return P3{v[0] - along * normal[0], v[1] - along * normal[1], v[2] - along * normal[2]};
    };
    const P3 fd = flat(d), fe = flat(e), fw = flat(minus(t.a, s.a));
    const double turn = dot(cross(fd, fe), normal);
    const double ld = length(fd), le = length(fe);
    // Segments that run exactly side by side meet nowhere in particular.
    if (!(ld > 0.0 && le > 0.0) || std::fabs(turn) <= 1e-12 * ld * le)
        return false;
    ss = dot(cross(fw, fe), normal) / turn;
    st = dot(cross(fw, fd), normal) / turn;
    constexpr double kSpare = 1e-9;
    if (!(ss >= -kSpare && ss <= 1.0 + kSpare && st >= -kSpare && st <= 1.0 + kSpare))
        return false;
    ss = std::clamp(ss, 0.0, 1.0);
    st = std::clamp(st, 0.0, 1.0);
    return length(minus(lerp(s.a, s.b, ss), lerp(t.a, t.b, st))) <= gap;
}

// The samples of stretch k of the poly-line: its entries at the ends and,
// on a stretch longer than kSampleSpacing tolerances with a curve through
// both entries, points of the curve between them. Where the curve between
// the entries' parameters strays from them by more than they lie apart (the
// parameters of a closed curve's last entry and its first taken a period
// apart, round the whole ring), the stretch is its chord.
int stretchSampleCount(const COffset_PointList& pl, int k, double tolerance)
{
    const double chord = length(minus(toP3(*pl.entryAt(k + 1)), toP3(*pl.entryAt(k))));
    return int(std::clamp(std::ceil(chord / (kSampleSpacing * tolerance)), 1.0,
                          double(kMostSamples)));
}

// (The poly-line's curve is current where a stretch takes samples of it.)
std::vector<P3> stretchSamples(const COffset_PointList& pl, int k, double tolerance)
{
    const P3 a = toP3(*pl.entryAt(k)), b = toP3(*pl.entryAt(k + 1));
    std::vector<P3> samples{a};
    const double chord = length(minus(b, a));
    const int count = stretchSampleCount(pl, k, tolerance);
    double ta = 0.0, tb = 0.0;
    CParametricGeometry* curve = count > 1 ? pl.getCurve() : nullptr;
    if (curve != nullptr && pl.entryParameter(k, ta) && pl.entryParameter(k + 1, tb) && ta < tb) {
        const P3 middle = lerp(a, b, 0.5);
        for (int j = 1; j < count; ++j) {
            const double s = double(j) / count;
            const Vector p = curve->getPoint((1.0 - s) * ta + s * tb, 0.0);
            const P3 at{p.n >= 3 ? p[0] : NAN, p.n >= 3 ? p[1] : NAN, p.n >= 3 ? p[2] : NAN};
            if (!(length(minus(at, middle)) <= chord + tolerance)) {
                samples.resize(1);
                break;
            }
            samples.push_back(at);
        }
    }
    samples.push_back(b);
    return samples;
}

// The key of a stretch as the edits left it: its two points and where they
// stood, the same whichever way it runs.
struct StretchKey {
    const void* a;
    const void* b;
    std::array<float, 6> at;
    bool operator==(const StretchKey& o) const { return a == o.a && b == o.b && at == o.at; }
};

StretchKey stretchKey(const CVertex<float, 3>* a, const CVertex<float, 3>* b)
{
    std::array<float, 6> at{};
    const CVertex<float, 3>* first = a;
    const CVertex<float, 3>* second = b;
    if (std::lexicographical_compare(b->data, b->data + 3, a->data, a->data + 3))
        std::swap(first, second);
    for (int k = 0; k < 3; ++k) {
        at[std::size_t(k)] = first->data[k] + 0.0f;
        at[std::size_t(k) + 3] = second->data[k] + 0.0f;
    }
    return {first, second, at};
}

} // namespace

// The stretches the crossings were last taken on, by their keys' hashes:
// positions only, so that no result depends on where the points lie in
// memory.
struct COffset_Grid::SeenStretches {
    struct Hash {
        std::size_t operator()(const StretchKey& key) const
        {
            std::uint64_t h = 1469598103934665603ull;
            for (float x : key.at) {
                std::uint32_t bits = 0;
                std::memcpy(&bits, &x, sizeof bits);
                h = (h ^ bits) * 1099511628211ull;
            }
            return std::size_t(h);
        }
    };
    std::unordered_map<StretchKey, int, Hash> keys;
};

void COffset_Grid::SeenStretchesDeleter::operator()(SeenStretches* s) const
{
    delete s;
}

namespace {

// Calls visit(line, k, a, b) for every stretch of every poly-line, those
// that end at a point the mouse is still placing left out.
template <typename Visit>
void forEachStretch(const Kor::List<COffset_PointList*>& lines, Visit visit)
{
    for (int line = 0; line < lines.count; ++line) {
        const COffset_PointList* pl = lines[line];
        if (pl == nullptr || pl->vertices.count < 2)
            continue;
        const int stretches = pl->closed ? pl->vertices.count : pl->vertices.count - 1;
        for (int k = 0; k < stretches; ++k) {
            const CVertex<float, 3>* a = pl->entryAt(k);
            const CVertex<float, 3>* b = pl->entryAt(k + 1);
            if (a == nullptr || b == nullptr || a == pl->pendingVertex || b == pl->pendingVertex)
                continue;
            visit(line, k, a, b);
        }
    }
}

} // namespace

void COffset_Grid::takeStretchesAsSeen()
{
    if (!seenStretches)
        seenStretches.reset(new SeenStretches);
    seenStretches->keys.clear();
    forEachStretch(pointLists, [&](int, int, const CVertex<float, 3>* a,
                                   const CVertex<float, 3>* b) {
        ++seenStretches->keys[stretchKey(a, b)];
    });
}

namespace {

// One round of the crossing step on the grid's poly-lines: the crossings of
// the stretches `fresh` picks with any stretch, junctions put there. The
// junctions put (-1, none put, for more than kMostCrossings crossings); the
// poly-lines that hold one of them go to `changed`.
template <typename Fresh>
int putJunctionsOnce(COffset_Grid& grid, Fresh fresh, bool recordUndo,
                     const std::unordered_set<const CVertex<float, 3>*>& nodes0,
                     std::set<int>& changed)
{
    Kor::List<COffset_PointList*>& pointLists = grid.pointLists;
    const double surfaceTolerance = grid.surfaceTolerance;
    Mesh::CBaseMesh* mesh = grid.mesh;
    const double tolerance = surfaceTolerance > 0.0 ? surfaceTolerance : 0.1;
    const double gap = tolerance;
    const double merge = kMergeShare * tolerance;
    const double least = leastRegionArea(pointLists, surfaceTolerance);

    // The stretches of every poly-line, with the pieces they lie on and
    // whether an edit drew or moved them since the crossings were last
    // taken.
    std::vector<Stretch> stretches;
    bool anyFresh = false;
    int pieceCount = 0;
    for (int line = 0; line < pointLists.count; ++line) {
        COffset_PointList* pl = pointLists[line];
        if (pl == nullptr || pl->vertices.count < 2)
            continue;
        const int count = pl->vertices.count;
        const int total = pl->closed ? count : count - 1;
        const std::size_t first = stretches.size();
        for (int k = 0; k < total; ++k) {
            const CVertex<float, 3>* a = pl->entryAt(k);
            const CVertex<float, 3>* b = pl->entryAt(k + 1);
            if (a == nullptr || b == nullptr || a == pl->pendingVertex ||
                b == pl->pendingVertex)
                continue;
            Stretch s;
            s.line = line;
            s.k = k;
            s.a = a;
            s.b = b;
            s.fresh = fresh(line, a, b);
            anyFresh = anyFresh || s.fresh;
            for (const CVertex<float, 3>* p : {a, b})
                if (const auto* g = dynamic_cast<const Gridbench::CGridPoint*>(p))
                    for (std::size_t d = 0; d < 3; ++d)
                        s.normal[d] += g->normal.data[d];
            stretches.push_back(s);
        }
        // The pieces between the poly-line's shared nodes: for each stretch
        // the node behind and ahead of it on its piece, the piece's reach
        // from each, and whether the way there stays within the share of
        // that reach. The entries are walked round a closed poly-line from
        // its first node.
        std::vector<int> nodes;
        for (int i = 0; i < count; ++i)
            if (nodes0.count(pl->vertices[i]) > 0)
                nodes.push_back(i);
        std::vector<std::pair<int, int>> pieces; // entry ranges, unrolled past the end
        if (nodes.empty()) {
            pieces.emplace_back(0, pl->closed ? count : count - 1);
        } else if (pl->closed) {
            for (std::size_t n = 0; n < nodes.size(); ++n)
                pieces.emplace_back(nodes[n],
                                    n + 1 < nodes.size() ? nodes[n + 1] : nodes[0] + count);
        } else {
            pieces.emplace_back(0, nodes.front());
            for (std::size_t n = 0; n + 1 < nodes.size(); ++n)
                pieces.emplace_back(nodes[n], nodes[n + 1]);
            pieces.emplace_back(nodes.back(), count - 1);
        }
        std::unordered_map<int, std::size_t> stretchAt; // k -> index in stretches
        for (std::size_t s = first; s < stretches.size(); ++s)
            stretchAt[stretches[s].k] = s;
        const auto entry = [&](int i) { return pl->vertices[i % count]; };
        for (const auto& [from, to] : pieces) {
            if (to <= from)
                continue;
            ++pieceCount;
            for (int j = from; j < to; ++j)
                if (const auto found = stretchAt.find(j % count); found != stretchAt.end())
                    stretches[found->second].piece = pieceCount;
            // A ring too small to hold a face (a pen's hook at a junction)
            // is no line of the drawing.
            if (samePlace(entry(from), entry(to)) && smallRing(*pl, from, to, least))
                for (int j = from; j < to; ++j)
                    if (const auto found = stretchAt.find(j % count); found != stretchAt.end())
                        stretches[found->second].smallRing = true;
            for (const bool ahead : {false, true}) {
                const int start = ahead ? to : from;
                const CVertex<float, 3>* node = entry(start);
                if (nodes0.count(node) == 0)
                    continue;
                const P3 at = toP3(*node);
                double reach = 0.0;
                for (int i = from; i <= to; ++i)
                    reach = std::max(reach, length(minus(toP3(*entry(i)), at)));
                const double ball = kNodeShare * reach;
                bool within = true;
                // Stretch j runs from entry j to j + 1: from the node behind
                // it the way to it passes entries from..j; from the node
                // ahead, entries j + 1..to.
                for (int step = 0; step < to - from; ++step) {
                    const int j = ahead ? to - 1 - step : from + step;
                    const int passed = ahead ? j + 1 : j;
                    within = within && length(minus(toP3(*entry(passed)), at)) < ball;
                    const auto found = stretchAt.find(j % count);
                    if (found == stretchAt.end())
                        continue;
                    NodeEnd& end = ahead ? stretches[found->second].ahead
                                         : stretches[found->second].back;
                    end = {node, reach, within};
                }
            }
        }
    }
    if (!anyFresh)
        return 0;

    // The samples of the fresh stretches as segments, and the box round
    // them; then those of the other stretches that may reach into it (a
    // stretch's samples stray from its chord's middle by the chord's length
    // and the tolerance at most): only segments there can cross a fresh one.
    std::vector<Segment> segments;
    P3 lo{HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi{-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    std::vector<char> fitted(std::size_t(pointLists.count), 0);
    const auto sample = [&](int s) {
        Stretch& st = stretches[std::size_t(s)];
        COffset_PointList* pl = pointLists[st.line];
        if (!fitted[std::size_t(st.line)] && stretchSampleCount(*pl, st.k, tolerance) > 1) {
            pl->currentCurve();
            fitted[std::size_t(st.line)] = 1;
        }
        const std::vector<P3> samples = stretchSamples(*pl, st.k, tolerance);
        st.firstSegment = int(segments.size());
        st.segments = int(samples.size()) - 1;
        for (std::size_t j = 0; j + 1 < samples.size(); ++j) {
            segments.push_back({s, double(j) / st.segments, double(j + 1) / st.segments,
                                samples[j], samples[j + 1]});
            if (st.fresh)
                for (std::size_t d = 0; d < 3; ++d) {
                    lo[d] = std::min({lo[d], samples[j][d] - gap, samples[j + 1][d] - gap});
                    hi[d] = std::max({hi[d], samples[j][d] + gap, samples[j + 1][d] + gap});
                }
        }
    };
    for (int s = 0; s < int(stretches.size()); ++s)
        if (stretches[std::size_t(s)].fresh)
            sample(s);
    for (int s = 0; s < int(stretches.size()); ++s) {
        const Stretch& st = stretches[std::size_t(s)];
        if (st.fresh)
            continue;
        const P3 a = toP3(*st.a), b = toP3(*st.b), middle = lerp(a, b, 0.5);
        const double reach = length(minus(b, a)) + tolerance + gap;
        bool meetsFresh = true;
        for (std::size_t d = 0; d < 3; ++d)
            meetsFresh = meetsFresh && middle[d] + reach >= lo[d] && middle[d] - reach <= hi[d];
        if (meetsFresh)
            sample(s);
    }

    // The segments within that box in the cells of a grid about as wide as
    // the longest of most of them: two segments that cross share a cell.
    struct Box {
        P3 lo, hi;
    };
    const auto boxOf = [&](const Segment& g) {
        Box box;
        for (std::size_t d = 0; d < 3; ++d) {
            box.lo[d] = std::min(g.a[d], g.b[d]) - gap;
            box.hi[d] = std::max(g.a[d], g.b[d]) + gap;
        }
        return box;
    };
    const auto meets = [](const Box& x, const Box& y) {
        for (std::size_t d = 0; d < 3; ++d)
            if (x.hi[d] < y.lo[d] || y.hi[d] < x.lo[d])
                return false;
        return true;
    };
    const Box freshBox{lo, hi};
    std::vector<int> near;
    std::vector<double> widths;
    for (int i = 0; i < int(segments.size()); ++i)
        if (meets(boxOf(segments[std::size_t(i)]), freshBox)) {
            near.push_back(i);
            const Box box = boxOf(segments[std::size_t(i)]);
            widths.push_back(std::max({box.hi[0] - box.lo[0], box.hi[1] - box.lo[1],
                                       box.hi[2] - box.lo[2]}));
        }
    std::nth_element(widths.begin(), widths.begin() + std::ptrdiff_t(widths.size() * 9 / 10),
                     widths.end());
    const double cell = std::max(widths[widths.size() * 9 / 10], 1e-9);
    // A segment whose box covers more cells than this (a point far out, read
    // from a damaged text) is met with every other one. Counted in doubles:
    // such a box spans more cells than a long long counts.
    constexpr double kMostCells = 4096.0;
    const auto cellRange = [&](const Box& box, long long l[3], long long h[3]) {
        double cells = 1.0;
        for (std::size_t d = 0; d < 3; ++d) {
            const double from = std::floor(box.lo[d] / cell), to = std::floor(box.hi[d] / cell);
            cells *= to - from + 1.0;
            if (!(cells <= kMostCells))
                return false;
            l[d] = (long long)from;
            h[d] = (long long)to;
        }
        return true;
    };
    const auto key = [](long long x, long long y, long long z) {
        const auto part = [](long long v) { return std::uint64_t(v + (1LL << 20)) & 0x1FFFFFu; };
        return part(x) | part(y) << 21 | part(z) << 42;
    };
    std::unordered_map<std::uint64_t, std::vector<int>> cells;
    std::vector<int> large;
    for (const int i : near) {
        long long l[3], h[3];
        if (!cellRange(boxOf(segments[std::size_t(i)]), l, h)) {
            large.push_back(i);
            continue;
        }
        for (long long x = l[0]; x <= h[0]; ++x)
            for (long long y = l[1]; y <= h[1]; ++y)
                for (long long z = l[2]; z <= h[2]; ++z)
                    cells[key(x, y, z)].push_back(i);
    }

    // Whether the crossing at `at` of stretches p and q is one: not where
    // they end at one point, not between neighbouring stretches of one
    // poly-line, not within a small ring, and not the pen's doing at a node
    // both pieces end at.
    const auto isCrossing = [&](const Stretch& p, const Stretch& q, const P3& at) {
        for (const CVertex<float, 3>* x : {p.a, p.b})
            for (const CVertex<float, 3>* y : {q.a, q.b})
                if (samePlace(x, y) && length(minus(at, toP3(*x))) <= merge)
                    return false;
        // Stretches of one piece meet by the pen's doing only where it
        // closes a ring at its node: the way from the node out and the way
        // back in.
        const bool onePiece = p.piece >= 0 && p.piece == q.piece;
        for (const NodeEnd* x : {&p.back, &p.ahead})
            for (const NodeEnd* y : {&q.back, &q.ahead})
                if (x->node != nullptr && x->near && y->near && samePlace(x->node, y->node) &&
                    !(onePiece && (x == &p.back) == (y == &q.back)) &&
                    length(minus(at, toP3(*x->node))) < kNodeShare * std::min(x->reach, y->reach))
                    return false;
        return !p.smallRing && !q.smallRing;
    };

    std::vector<Crossing> found;
    std::vector<int> candidates;
    for (const int i : near) {
        const Segment& g = segments[std::size_t(i)];
        const Stretch& p = stretches[std::size_t(g.stretch)];
        if (!p.fresh)
            continue;
        candidates = large;
        long long l[3], h[3];
        const Box box = boxOf(g);
        if (!cellRange(box, l, h)) {
            candidates = near;
        } else {
            for (long long x = l[0]; x <= h[0]; ++x)
                for (long long y = l[1]; y <= h[1]; ++y)
                    for (long long z = l[2]; z <= h[2]; ++z)
                        if (const auto at = cells.find(key(x, y, z)); at != cells.end())
                            candidates.insert(candidates.end(), at->second.begin(),
                                              at->second.end());
        }
        std::sort(candidates.begin(), candidates.end());
        candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
        for (const int j : candidates) {
            const Segment& t = segments[std::size_t(j)];
            const Stretch& q = stretches[std::size_t(t.stretch)];
            // Each pair once: a fresh stretch meets the others and the fresh
            // ones after it.
            if (t.stretch == g.stretch || (q.fresh && t.stretch < g.stretch) ||
                !meets(box, boxOf(t)))
                continue;
            if (p.line == q.line) {
                const COffset_PointList* pl = pointLists[p.line];
                const int total = pl->closed ? pl->vertices.count : pl->vertices.count - 1;
                const int apart = std::abs(p.k - q.k);
                if (apart <= 1 || (pl->closed && apart == total - 1))
                    continue;
            }
            P3 normal = {p.normal[0] + q.normal[0], p.normal[1] + q.normal[1],
                         p.normal[2] + q.normal[2]};
            if (!(length(normal) > 1e-12))
                normal = cross(minus(g.b, g.a), minus(t.b, t.a));
            const double l = length(normal);
            if (!(l > 0.0))
                continue;
            normal = {normal[0] / l, normal[1] / l, normal[2] / l};
            double sg = 0.0, st = 0.0;
            if (!segmentsCross(g, t, normal, gap, sg, st))
                continue;
            const P3 at = lerp(lerp(g.a, g.b, sg), lerp(t.a, t.b, st), 0.5);
            if (!isCrossing(p, q, at))
                continue;
            found.push_back({g.stretch, t.stretch, g.from + sg * (g.to - g.from),
                             t.from + st * (t.to - t.from), at});
        }
    }
    if (found.empty())
        return 0;
    if (found.size() > kMostCrossings) {
        std::cout << "the net's lines cross " << found.size() << " times, more than "
                  << kMostCrossings << ": no junctions put where they cross" << std::endl;
        return -1;
    }
    std::sort(found.begin(), found.end(), [](const Crossing& x, const Crossing& y) {
        return std::tie(x.p, x.sp, x.q, x.sq) < std::tie(y.p, y.sp, y.q, y.sq);
    });

    // Crossings within `merge` of the first crossing of a junction are that
    // junction (a chain of crossings each near the next, as two strokes one
    // over the other make, spans any length and is many junctions).
    std::map<int, std::vector<int>> clusters; // by their first crossing
    {
        const double size = std::max(merge, 1e-12);
        std::unordered_map<std::uint64_t, std::vector<int>> firsts;
        for (int c = 0; c < int(found.size()); ++c) {
            const P3& x = found[std::size_t(c)].at;
            const long long cx = (long long)std::floor(x[0] / size);
            const long long cy = (long long)std::floor(x[1] / size);
            const long long cz = (long long)std::floor(x[2] / size);
            int into = -1;
            double nearest = merge;
            for (long long dx = -1; dx <= 1; ++dx)
                for (long long dy = -1; dy <= 1; ++dy)
                    for (long long dz = -1; dz <= 1; ++dz)
                        if (const auto other = firsts.find(key(cx + dx, cy + dy, cz + dz));
                            other != firsts.end())
                            for (const int o : other->second)
                                if (const double d = length(minus(found[std::size_t(o)].at, x));
                                    d <= nearest && (into < 0 || d < nearest || o < into)) {
                                    into = o;
                                    nearest = d;
                                }
            if (into < 0) {
                into = c;
                firsts[key(cx, cy, cz)].push_back(c);
            }
            clusters[into].push_back(c);
        }
    }

    // Each junction's point: a junction of one of its stretches within
    // kJunctionShare tolerances of the crossings' middle, or a free end of
    // one within `merge`, or any of their points within a hundredth of the
    // tolerance of it (the nearest of them), that lies
    // between the ends of each other stretch it would enter; else a new grid
    // point on the mesh there (between the curves without a mesh). It enters
    // each of its stretches that does not end there, at its place along the
    // stretch, so that no poly-line runs back and forth through its
    // junctions.
    struct Insertion {
        int line, k;
        double share;
        CVertex<float, 3>* point;
    };
    std::vector<Insertion> insertions;
    std::vector<Gridbench::CGridPoint*> made;
    std::unordered_map<const CVertex<float, 3>*, int> passedTwice;
    // Each poly-line's entries and the points they pass, with those this
    // round enters: a poly-line passes a point once, or twice where it runs
    // through itself, so a junction that would make one pass its points
    // more often than that (as a curve fitted anew through junctions close
    // together may wind about them round after round) is not put; the
    // crossings there stay as they are. The net text reads no such line.
    std::vector<std::unordered_map<const CVertex<float, 3>*, int>> passed(
        std::size_t(pointLists.count));
    std::vector<int> entries(std::size_t(pointLists.count), 0);
    for (int line = 0; line < pointLists.count; ++line) {
        const COffset_PointList* pl = pointLists[line];
        if (pl == nullptr)
            continue;
        for (const CVertex<float, 3>* v : pl->vertices)
            if (++passed[std::size_t(line)][v] == 2)
                passedTwice[v] = 2;
        entries[std::size_t(line)] = pl->vertices.count;
    }
    // The share along the stretch's samples of the point nearest to p, and
    // whether p lies beside the stretch between its ends (up to `slack`
    // past them).
    const auto shareOf = [&](const Stretch& st, const P3& p, double slack = 0.0,
                             bool* beside = nullptr) {
        double best = HUGE_VAL, share = 0.0;
        bool within = false;
        for (int i = st.firstSegment; i < st.firstSegment + st.segments; ++i) {
            const Segment& g = segments[std::size_t(i)];
            const P3 d = minus(g.b, g.a);
            const double dd = dot(d, d);
            const double free = dd > 0.0 ? dot(minus(p, g.a), d) / dd : 0.0;
            const double u = std::clamp(free, 0.0, 1.0);
            const double away = length(minus(p, lerp(g.a, g.b, u)));
            if (away < best) {
                best = away;
                share = g.from + u * (g.to - g.from);
                const double past = std::sqrt(dd) * std::max(-free, free - 1.0);
                within = (i > st.firstSegment || free >= 0.0 || past <= slack) &&
                         (i + 1 < st.firstSegment + st.segments || free <= 1.0 || past <= slack);
            }
        }
        if (beside != nullptr)
            *beside = within;
        return share;
    };
    const auto freeEnd = [&](const Stretch& st, const CVertex<float, 3>* end) {
        const COffset_PointList* pl = pointLists[st.line];
        return !pl->closed && ((end == st.a && st.k == 0) ||
                               (end == st.b && st.k + 2 == pl->vertices.count));
    };
    const double tiny = 0.01 * tolerance;
    for (const auto& [first, members] : clusters) {
        P3 middle{0.0, 0.0, 0.0};
        for (const int c : members)
            for (std::size_t d = 0; d < 3; ++d)
                middle[d] += found[std::size_t(c)].at[d] / double(members.size());
        std::vector<int> onStretches;
        for (const int c : members)
            onStretches.insert(onStretches.end(), {found[std::size_t(c)].p, found[std::size_t(c)].q});
        std::sort(onStretches.begin(), onStretches.end());
        onStretches.erase(std::unique(onStretches.begin(), onStretches.end()), onStretches.end());
        CVertex<float, 3>* point = nullptr;
        std::pair<int, double> chosen{3, HUGE_VAL}; // junctions first, then the nearest
        for (const int s : onStretches) {
            const Stretch& st = stretches[std::size_t(s)];
            for (const CVertex<float, 3>* end : {st.a, st.b}) {
                const double d = length(minus(toP3(*end), middle));
                const int rank = useCountOf(end) > 1 ? 0 : freeEnd(st, end) ? 1 : 2;
                const double reach = rank == 0 ? kJunctionShare * tolerance
                                     : rank == 1 ? merge
                                                 : tiny;
                // A point a poly-line passes twice already takes no third
                // pass.
                if (std::pair{rank, d} >= chosen || d > reach || passedTwice.count(end) > 0 ||
                    dynamic_cast<const Gridbench::CGridPoint*>(end) == nullptr)
                    continue;
                bool between = true;
                for (const int o : onStretches) {
                    const Stretch& other = stretches[std::size_t(o)];
                    if (samePlace(other.a, end) || samePlace(other.b, end))
                        continue;
                    bool beside = false;
                    shareOf(other, toP3(*end), tiny, &beside);
                    between = between && beside;
                }
                if (between) {
                    chosen = {rank, d};
                    point = const_cast<CVertex<float, 3>*>(end);
                }
            }
        }
        // The entries the junction adds to each poly-line (none where a
        // stretch ends at it, one a stretch), and whether they leave it
        // passing its points no more often than a net's poly-line does.
        std::map<int, int> adds;
        for (const int s : onStretches) {
            const Stretch& st = stretches[std::size_t(s)];
            if (point == nullptr || !(samePlace(st.a, point) || samePlace(st.b, point)))
                ++adds[st.line];
        }
        bool fewPasses = true;
        for (const auto& [line, n] : adds) {
            const std::size_t l = std::size_t(line);
            const std::size_t points =
                passed[l].size() + (point != nullptr && passed[l].count(point) > 0 ? 0 : 1);
            fewPasses = fewPasses && !passesPointsTooOften(std::size_t(entries[l] + n), points);
        }
        if (!fewPasses)
            continue;
        if (point == nullptr) {
            Mesh::CBaseMesh::CBaseHitInfo hit;
            for (std::size_t d = 0; d < 3; ++d)
                hit.data[d] = float(middle[d]);
            const Stretch& st = stretches[std::size_t(onStretches.front())];
            if (const auto* g = dynamic_cast<const Gridbench::CGridPoint*>(st.a))
                hit.normal = g->normal;
            Mesh::HitSet hits;
            if (mesh != nullptr && Mesh::meshHitsNearPoint(mesh, hit, hits, 1.2, false) &&
                hits.count > 0)
                hit = *hits[0];
            made.push_back(new Gridbench::CGridPoint(hit));
            point = made.back();
        }
        for (const int s : onStretches) {
            const Stretch& st = stretches[std::size_t(s)];
            if (samePlace(st.a, point) || samePlace(st.b, point))
                continue;
            const double share = shareOf(st, toP3(*point));
            insertions.push_back({st.line, st.k, share, point});
            ++entries[std::size_t(st.line)];
            ++passed[std::size_t(st.line)][point];
        }
    }

    // Back to front along each poly-line, so that the entries before stay
    // where they are; a stretch given one point twice takes it once. A
    // locked curve keeps its shape, its entries placed on it anew as a read
    // places them; any other curve is fitted anew through the junctions.
    std::sort(insertions.begin(), insertions.end(), [](const Insertion& x, const Insertion& y) {
        return std::tie(x.line, y.k, y.share) < std::tie(y.line, x.k, x.share);
    });
    insertions.erase(std::unique(insertions.begin(), insertions.end(),
                                 [](const Insertion& x, const Insertion& y) {
                                     return x.line == y.line && x.k == y.k && x.point == y.point;
                                 }),
                     insertions.end());
    for (std::size_t i = 0; i < insertions.size(); ++i) {
        const Insertion& at = insertions[i];
        COffset_PointList* pl = pointLists[at.line];
        if (i == 0 || insertions[i - 1].line != at.line) {
            if (recordUndo)
                grid.addUndo(new CUndoVertexList(pl));
        }
        pl->vertices.insertAfter(at.point, at.k);
        pl->changeUse(at.point, +1);
        pl->modified = true;
        if (i + 1 == insertions.size() || insertions[i + 1].line != at.line)
            pl->updateParameters();
    }
    for (Gridbench::CGridPoint* point : made)
        grid.adoptGridPoint(point);
    if (!insertions.empty() && !recordUndo)
        ++grid.editCount;
    // The junctions' poly-lines, those that passed an existing point taken
    // as one included: their curves now hold the junction.
    std::vector<const CVertex<float, 3>*> junctions;
    for (const Insertion& at : insertions)
        junctions.push_back(at.point);
    std::sort(junctions.begin(), junctions.end());
    for (int line = 0; line < pointLists.count; ++line) {
        COffset_PointList* pl = pointLists[line];
        for (int i = 0; pl != nullptr && i < pl->vertices.count; ++i)
            if (std::binary_search(junctions.begin(), junctions.end(), pl->vertices[i])) {
                pl->markChanged(i);
                pl->dropCurve();
                changed.insert(line);
            }
    }
    junctions.erase(std::unique(junctions.begin(), junctions.end()), junctions.end());
    return int(junctions.size());
}

} // namespace

int COffset_Grid::putJunctionsWhereLinesCross(bool everyStretch, bool recordUndo)
{
    // A junction enters the curves of its poly-lines, which are fitted anew
    // through it: they cross where they crossed, but the curves about it
    // may meet the others elsewhere by a little. The stretches of the
    // poly-lines a round changed are taken again until a round puts none.
    // Long wobbly strokes over one another settle within a dozen rounds,
    // the last ones putting a junction or two each; the rounds end here
    // all the same.
    constexpr int kRounds = 16;
    // The junctions and the curves through them as the poly-lines now hold
    // their points.
    recountUse();
    // The pieces a pen may have hooked at are those between the nodes the
    // edit left: junctions this step puts are crossings, no pen's.
    std::unordered_set<const CVertex<float, 3>*> nodes0;
    for (const COffset_PointList* pl : pointLists)
        for (int i = 0; pl != nullptr && i < pl->vertices.count; ++i)
            if (useCountOf(pl->vertices[i]) > 1)
                nodes0.insert(pl->vertices[i]);
    std::set<int> changed;
    int put = 0;
    for (int round = 0; round < kRounds; ++round) {
        std::set<int> before;
        before.swap(changed);
        const int once = putJunctionsOnce(
            *this,
            [&](int line, const CVertex<float, 3>* a, const CVertex<float, 3>* b) {
                if (round > 0)
                    return before.count(line) > 0;
                return everyStretch || !seenStretches ||
                       seenStretches->keys.count(stretchKey(a, b)) == 0;
            },
            recordUndo, nodes0, changed);
        if (once < 0)
            return -1;
        put += once;
        if (once == 0)
            break;
    }
    if (put > 0)
        std::cout << put << " junctions put where the net's lines cross" << std::endl;
    return put;
}

int COffset_Grid::putJunctionsAtNewCrossings()
{
    const int put = putJunctionsWhereLinesCross(false, true);
    takeStretchesAsSeen();
    return put;
}
