#include "net/Graph.h"

#include "mesh/MeshGeometry.h"
#include "net/PointList.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <unordered_set>
#include <utility>

namespace GraphAlgorithm {

namespace {

bool lessVertexNode(const Vertex* a, const Vertex* b)
{
    return a->isLess(*b);
}

Vertex* sourceOf(const CHalfEdge* h)
{
    return h->twin != nullptr ? h->twin->target : nullptr;
}

// Target, then poly-line, then source, all by identity: their creation
// order, which, unlike their addresses, is the same from run to run, so the
// scan meets the half-edges (and finds the cycles, from the same start) in
// the same order. Poly-lines with their places in the grid's list go by
// those: an edit that made them in another order than they are listed
// (a split's halves, an undo that puts one back) leaves the net to be
// searched as a fresh copy of it is. Then the entries of the two ends, which keep apart the
// pieces of a poly-line that runs between the same two nodes more than
// once. The two half-edges of a piece that starts and ends at one node
// without known entries have equal keys; their own creation keeps them
// apart, so neither is taken for a copy of the other.
bool lessHalfEdge(const CHalfEdge* a, const CHalfEdge* b)
{
    if (a->target != b->target)
        return lessByCreation(a->target, b->target);
    if (a->polyLine != b->polyLine)
        return a->polyLineRank >= 0 && b->polyLineRank >= 0 && a->polyLineRank != b->polyLineRank
                   ? a->polyLineRank < b->polyLineRank
                   : lessByCreation(a->polyLine, b->polyLine);
    const Vertex* sa = sourceOf(a);
    const Vertex* sb = sourceOf(b);
    if (sa != sb)
        return lessByCreation(sa, sb);
    if (a->sourceEntry != b->sourceEntry)
        return a->sourceEntry < b->sourceEntry;
    if (a->targetEntry != b->targetEntry)
        return a->targetEntry < b->targetEntry;
    return sa == a->target && a->creation < b->creation;
}

} // namespace

Graph::~Graph()
{
    halfEdges.removeAll(true, true);
    vertices.removeAll(true, true);
}

Vertex* Graph::findOrAddVertex(Vertex* v)
{
    int index = -1;
    if (vertices.find(v, index, lessVertexNode))
        return vertices.items[index];
    return vertices.insertAt(v, index);
}

void Graph::addEdge(Vertex* a, Vertex* b, COffset_PointList* polyLine, int aEntry, int bEntry,
                    int polyLineRank)
{
    Vertex* keptA = findOrAddVertex(a);
    if (keptA != a)
        delete a;
    Vertex* keptB = findOrAddVertex(b);
    if (keptB != b && b != a)
        delete b;

    auto* ab = new CHalfEdge();
    auto* ba = new CHalfEdge();
    ab->setTarget(keptB);
    ba->setTarget(keptA);
    ab->twin = ba;
    ba->twin = ab;
    ab->polyLine = ba->polyLine = polyLine;
    ab->sourceEntry = ba->targetEntry = aEntry;
    ab->targetEntry = ba->sourceEntry = bEntry;
    ab->polyLineRank = ba->polyLineRank = polyLineRank;

    // A piece already in the graph has both of its half-edges there: keep
    // the present pair so that twins stay twins.
    int indexAB = -1;
    int indexBA = -1;
    if (halfEdges.find(ab, indexAB, lessHalfEdge) && halfEdges.find(ba, indexBA, lessHalfEdge)) {
        CHalfEdge* presentAB = halfEdges.items[indexAB];
        CHalfEdge* presentBA = halfEdges.items[indexBA];
        delete ab;
        delete ba;
        ab = presentAB;
        ba = presentBA;
    } else {
        halfEdges.insertAt(ab, indexAB);
        halfEdges.find(ba, indexBA, lessHalfEdge);
        halfEdges.insertAt(ba, indexBA);
    }
    keptA->addOutgoing(ab);
    keptB->addOutgoing(ba);
}

int Graph::markDanglingPieces()
{
    // Depth first over the pieces not marked (Tarjan): a piece to a node
    // first reached over it is taken out of the net when nothing below that
    // node reaches back above it.
    const int count = vertices.count;
    for (int i = 0; i < count; ++i)
        vertices.items[i]->index = i;
    const auto numberOf = [&](const Vertex* v) {
        const int i = v != nullptr ? v->index : -1;
        return i >= 0 && i < count && vertices.items[i] == v ? i : -1;
    };
    std::vector<int> reachedAt(std::size_t(count), -1), lowest(std::size_t(count), -1);
    struct Step {
        int node;
        CHalfEdge* in; // the half-edge the node was first reached over
        int k;         // the next outgoing half-edge to follow
    };
    std::vector<Step> stack;
    int clock = 0, marked = 0;
    for (int root = 0; root < count; ++root) {
        if (reachedAt[std::size_t(root)] >= 0)
            continue;
        reachedAt[std::size_t(root)] = lowest[std::size_t(root)] = clock++;
        stack.push_back({root, nullptr, 0});
        while (!stack.empty()) {
            Step& step = stack.back();
            const int v = step.node;
            const Vertex* node = vertices.items[v];
            if (step.k < node->outgoing.count) {
                CHalfEdge* e = node->outgoing.items[step.k++];
                if (e == nullptr || e->dangling || e->twin == nullptr ||
                    (step.in != nullptr && e == step.in->twin))
                    continue;
                const int w = numberOf(e->target);
                if (w < 0)
                    continue;
                if (reachedAt[std::size_t(w)] < 0) {
                    reachedAt[std::size_t(w)] = lowest[std::size_t(w)] = clock++;
                    stack.push_back({w, e, 0});
                } else {
                    lowest[std::size_t(v)] =
                        std::min(lowest[std::size_t(v)], reachedAt[std::size_t(w)]);
                }
                continue;
            }
            CHalfEdge* in = step.in;
            stack.pop_back();
            if (in == nullptr || stack.empty())
                continue;
            const int parent = stack.back().node;
            lowest[std::size_t(parent)] =
                std::min(lowest[std::size_t(parent)], lowest[std::size_t(v)]);
            if (lowest[std::size_t(v)] > reachedAt[std::size_t(parent)]) {
                in->dangling = in->twin->dangling = true;
                ++marked;
            }
        }
    }
    return marked;
}

void Graph::linkRegionWalks(const std::function<void(std::vector<CHalfEdge*>&)>& orderRound)
{
    for (int p = 0; p < halfEdges.count; ++p) {
        halfEdges.items[p]->next = nullptr;
        halfEdges.items[p]->kind = 0;
    }
    std::vector<CHalfEdge*> around;
    for (int i = 0; i < vertices.count; ++i) {
        const Vertex* v = vertices.items[i];
        around.clear();
        for (int k = 0; k < v->outgoing.count; ++k) {
            CHalfEdge* e = v->outgoing.items[k];
            if (e != nullptr && !e->dangling && e->twin != nullptr && e->target != nullptr)
                around.push_back(e);
        }
        std::sort(around.begin(), around.end(),
                  [](const CHalfEdge* a, const CHalfEdge* b) { return a->creation < b->creation; });
        orderRound(around);
        // A half-edge arriving here goes on clockwise from its twin.
        for (std::size_t k = 0; k < around.size(); ++k)
            around[k]->twin->next = around[(k + around.size() - 1) % around.size()];
    }
}

std::vector<Cycle> Graph::regionWalks() const
{
    std::vector<Cycle> walks;
    std::unordered_set<const CHalfEdge*> walked;
    for (int p = 0; p < halfEdges.count; ++p) {
        CHalfEdge* first = halfEdges.items[p];
        if (first->next == nullptr || walked.count(first) > 0)
            continue;
        Cycle walk;
        for (CHalfEdge* h = first; h != nullptr && walked.insert(h).second; h = h->next)
            walk.append(h);
        walks.push_back(walk);
    }
    return walks;
}

void Graph::prepareSearch()
{
    const int count = vertices.count;
    preparedNodes = count;
    preparedHalfEdges = halfEdges.count;
    for (int i = 0; i < count; ++i)
        vertices.items[i]->index = i;
    searchNodes.assign(std::size_t(count), SearchNode());
    landmarkDistance.assign(std::size_t(count) * kLandmarks, 0);
    const auto node = [&](int i) -> SearchNode& { return searchNodes[std::size_t(i)]; };
    const auto numberOf = [&](const CHalfEdge* e) {
        return e != nullptr && e->target != nullptr ? preparedIndex(e->target) : -1;
    };
    // Each node's outgoing half-edges as slots, with the nodes they lead
    // to, side by side for the walks below.
    firstOutgoing.assign(std::size_t(count) + 1, 0);
    for (int i = 0; i < count; ++i)
        firstOutgoing[std::size_t(i) + 1] =
            firstOutgoing[std::size_t(i)] + vertices.items[i]->outgoing.count;
    slotTarget.assign(std::size_t(firstOutgoing[std::size_t(count)]), -1);
    for (int i = 0; i < count; ++i) {
        const Vertex* v = vertices.items[i];
        for (int k = 0; k < v->outgoing.count; ++k)
            slotTarget[std::size_t(firstOutgoing[std::size_t(i)] + k)] =
                numberOf(v->outgoing.items[k]);
    }

    // Breadth first over all pieces, either way: the distance in pieces of
    // every node of the part from `from`, and the part's nodes in the order
    // reached.
    std::vector<int> hops(std::size_t(count), -1), members;
    const auto measureFrom = [&](int from) {
        for (int m : members)
            hops[std::size_t(m)] = -1;
        members.clear();
        hops[std::size_t(from)] = 0;
        members.push_back(from);
        for (std::size_t next = 0; next < members.size(); ++next) {
            const int at = members[next];
            for (int a = firstOutgoing[std::size_t(at)]; a < firstOutgoing[std::size_t(at) + 1];
                 ++a) {
                const int w = slotTarget[std::size_t(a)];
                if (w >= 0 && hops[std::size_t(w)] < 0) {
                    hops[std::size_t(w)] = hops[std::size_t(members[next])] + 1;
                    members.push_back(w);
                }
            }
        }
    };
    // The node of the part farthest from the landmarks so far (the first in
    // node order among equals).
    std::vector<int> nearest(std::size_t(count), 0);
    const auto farthest = [&]() {
        int best = members.front();
        for (int m : members)
            if (nearest[std::size_t(m)] > nearest[std::size_t(best)] ||
                (nearest[std::size_t(m)] == nearest[std::size_t(best)] && m < best))
                best = m;
        return best;
    };
    for (int first = 0; first < count; ++first) {
        if (node(first).part >= 0)
            continue;
        measureFrom(first);
        for (int m : members) {
            node(m).part = first;
            nearest[std::size_t(m)] = hops[std::size_t(m)];
        }
        // Each landmark is the node farthest from those before it (the first
        // the one farthest from the part's first node): on a grid they go
        // to its corners, where the distances bound those between any two
        // crossings exactly.
        for (int j = 0; j < kLandmarks; ++j) {
            measureFrom(farthest());
            for (int m : members) {
                const int d = hops[std::size_t(m)];
                landmarkDistance[std::size_t(m) * kLandmarks + j] = d;
                nearest[std::size_t(m)] = j == 0 ? d : std::min(nearest[std::size_t(m)], d);
            }
        }
    }

    // Chains: nodes with two pieces to other nodes lie inside a chain from
    // one end node to another (or on a ring of such nodes alone).
    const auto inChain = [&](int i) {
        const Vertex* v = vertices.items[i];
        return v->outgoing.count == 2 && numberOf(v->outgoing.items[0]) != i &&
               numberOf(v->outgoing.items[1]) != i;
    };
    for (int i = 0; i < count; ++i) {
        node(i).exit[0] = node(i).exit[1] = i;
        node(i).chainLength = 0;
    }
    int chains = 0;
    std::vector<int> run;
    // Walks on over e (e's target a node inside a chain) to the
    // chain's far end or, round a ring, back to e's target; the nodes passed
    // go into run. Answers the node it stopped at.
    const auto walkChain = [&](const CHalfEdge* e) {
        run.clear();
        const int start = numberOf(e);
        int at = start;
        while (at >= 0 && inChain(at) && (run.empty() || at != start)) {
            run.push_back(at);
            const Vertex* v = vertices.items[at];
            e = v->outgoing.items[0] == e->twin ? v->outgoing.items[1] : v->outgoing.items[0];
            at = numberOf(e);
        }
        return at;
    };
    for (int i = 0; i < count; ++i) {
        if (inChain(i))
            continue;
        const Vertex* v = vertices.items[i];
        for (int k = 0; k < v->outgoing.count; ++k) {
            const CHalfEdge* e = v->outgoing.items[k];
            const int w = numberOf(e);
            if (w < 0 || !inChain(w) || node(w).chain >= 0)
                continue;
            const int end = walkChain(e);
            const int length = int(run.size()) + 1;
            for (int p = 0; p < int(run.size()); ++p) {
                SearchNode& n = node(run[std::size_t(p)]);
                n.chain = chains;
                n.along = p + 1;
                n.chainLength = length;
                n.exit[0] = i;
                n.toExit[0] = p + 1;
                n.exit[1] = end;
                n.toExit[1] = length - p - 1;
            }
            ++chains;
        }
    }
    for (int i = 0; i < count; ++i) {
        if (!inChain(i) || node(i).chain >= 0)
            continue;
        walkChain(vertices.items[i]->outgoing.items[0]->twin);
        for (int p = 0; p < int(run.size()); ++p) {
            SearchNode& n = node(run[std::size_t(p)]);
            n.chain = chains;
            n.along = p;
            n.chainLength = int(run.size());
            n.exit[0] = n.exit[1] = -1;
        }
        ++chains;
    }
    prepareShortestCycles();
}

void Graph::prepareShortestCycles()
{
    const int count = preparedNodes;
    const std::size_t slots = std::size_t(firstOutgoing[std::size_t(count)]);
    shortestCycle.assign(slots, -1);
    slotNode.assign(slots, 0);
    arcs.assign(slots, Arc());
    int chains = 0;
    for (const SearchNode& n : searchNodes)
        chains = std::max(chains, n.chain + 1);
    chainCycle.assign(std::size_t(chains), -1);
    chainArc.assign(std::size_t(chains), -1);

    // The graph of the chains' ends: from a node off any chain, each piece
    // leads on to the node at its other end, or over a whole chain to the
    // chain's far end.
    for (int i = 0; i < count; ++i) {
        const SearchNode& node = searchNodes[std::size_t(i)];
        const Vertex* v = vertices.items[i];
        for (int k = 0; k < v->outgoing.count; ++k) {
            const int a = firstOutgoing[std::size_t(i)] + k;
            slotNode[std::size_t(a)] = i;
            if (node.chain >= 0) {
                if (node.exit[0] < 0) // a ring is its one cycle
                    chainCycle[std::size_t(node.chain)] =
                        std::min(node.chainLength, kMeasuredCycles + 1);
                continue;
            }
            const CHalfEdge* e = v->outgoing.items[k];
            const int w = slotTarget[std::size_t(a)];
            if (w < 0)
                continue;
            Arc& arc = arcs[std::size_t(a)];
            const SearchNode& n = searchNodes[std::size_t(w)];
            if (n.chain < 0) {
                arc.to = w;
                arc.length = 1;
                arc.piece = e;
            } else {
                // The chain was walked from one of its ends: the far end is
                // the other one, whichever end this is.
                const bool fromFirst = n.exit[0] == i && n.toExit[0] == 1;
                arc.to = fromFirst ? n.exit[1] : n.exit[0];
                arc.length = n.chainLength;
                arc.chain = n.chain;
                chainArc[std::size_t(n.chain)] = a;
            }
        }
    }
    distance.assign(std::size_t(count), -1);
    reached.clear();
    buckets.assign(std::size_t(kMeasuredCycles) + 1, std::vector<int>());

    // The same slots in the order the scan meets the half-edges.
    startSlot.assign(std::size_t(halfEdges.count), -1);
    for (int p = 0; p < halfEdges.count; ++p) {
        const CHalfEdge* h = halfEdges.items[p];
        const Vertex* source = sourceOf(h);
        const int i = preparedIndex(source);
        for (int k = 0; i >= 0 && k < source->outgoing.count; ++k)
            if (source->outgoing.items[k] == h)
                startSlot[std::size_t(p)] = firstOutgoing[std::size_t(i)] + k;
    }
}

int Graph::shortestWay(int from, int to, const Arc& without, int limit)
{
    // Nodes by their distance, in one bucket per distance: arcs are at
    // least one piece long, so a bucket only grows into later ones.
    for (int m : reached)
        distance[std::size_t(m)] = -1;
    reached.clear();
    for (std::vector<int>& bucket : buckets)
        bucket.clear();
    distance[std::size_t(from)] = 0;
    reached.push_back(from);
    buckets[0].push_back(from);
    for (int d = 0; d <= limit; ++d)
        for (std::size_t q = 0; q < buckets[std::size_t(d)].size(); ++q) {
            const int at = buckets[std::size_t(d)][q];
            if (distance[std::size_t(at)] != d)
                continue;
            if (at == to)
                return d;
            for (int a = firstOutgoing[std::size_t(at)]; a < firstOutgoing[std::size_t(at) + 1];
                 ++a) {
                const Arc& arc = arcs[std::size_t(a)];
                if (arc.to < 0 || (arc.chain >= 0 && arc.chain == without.chain) ||
                    (arc.piece != nullptr &&
                     (arc.piece == without.piece || arc.piece->twin == without.piece)))
                    continue;
                const int next = d + arc.length;
                int& known = distance[std::size_t(arc.to)];
                if (next > limit || (known >= 0 && known <= next))
                    continue;
                if (known < 0)
                    reached.push_back(arc.to);
                known = next;
                buckets[std::size_t(next)].push_back(arc.to);
            }
        }
    return limit + 1;
}

int Graph::shortestCycleAt(int slot)
{
    int& known = shortestCycle[std::size_t(slot)];
    if (known >= 0)
        return known;
    constexpr int none = kMeasuredCycles + 1;
    const auto measure = [&](int a) {
        const Arc& arc = arcs[std::size_t(a)];
        const int from = slotNode[std::size_t(a)];
        if (arc.to < 0 || arc.length > kMeasuredCycles)
            return none;
        const int way =
            arc.to == from ? 0 : shortestWay(from, arc.to, arc, kMeasuredCycles - arc.length);
        return std::min(arc.length + way, none);
    };
    // A chain lies on the same cycles from each of its pieces, a piece from
    // each of its ends.
    const int node = slotNode[std::size_t(slot)];
    const int chain = searchNodes[std::size_t(node)].chain >= 0
                          ? searchNodes[std::size_t(node)].chain
                          : arcs[std::size_t(slot)].chain;
    if (chain >= 0) {
        int& cycle = chainCycle[std::size_t(chain)];
        if (cycle < 0)
            cycle =
                chainArc[std::size_t(chain)] >= 0 ? measure(chainArc[std::size_t(chain)]) : none;
        return known = cycle;
    }
    known = measure(slot);
    const Arc& arc = arcs[std::size_t(slot)];
    if (arc.to >= 0) {
        const Vertex* far = vertices.items[arc.to];
        for (int k = 0; k < far->outgoing.count; ++k)
            if (far->outgoing.items[k] == arc.piece->twin)
                shortestCycle[std::size_t(firstOutgoing[std::size_t(arc.to)] + k)] = known;
    }
    return known;
}

int Graph::preparedIndex(const Vertex* v) const
{
    const int i = v != nullptr ? v->index : -1;
    return i >= 0 && i < preparedNodes && vertices.items[i] == v ? i : -1;
}

int Graph::landmarkBound(int i, int j) const
{
    int least = 0;
    const int* di = &landmarkDistance[std::size_t(i) * kLandmarks];
    const int* dj = &landmarkDistance[std::size_t(j) * kLandmarks];
    for (int k = 0; k < kLandmarks; ++k)
        least = std::max(least, std::abs(di[k] - dj[k]));
    return least;
}

int Graph::piecesAtLeast(const Vertex* a, const Vertex* b) const
{
    const int i = preparedIndex(a);
    const int j = preparedIndex(b);
    if (i < 0 || j < 0)
        return 0;
    const SearchNode& A = searchNodes[std::size_t(i)];
    const SearchNode& B = searchNodes[std::size_t(j)];
    if (A.part != B.part)
        return 1 << 20;
    int least = 1 << 20;
    if (A.chain >= 0 && A.chain == B.chain) {
        const int along = std::abs(A.along - B.along);
        if (A.exit[0] < 0) // a ring: either way round
            return std::min(along, A.chainLength - along);
        least = along;
    }
    // A node off chains is its own exit, both ways.
    for (int x = 0; x < (A.exit[0] == A.exit[1] ? 1 : 2); ++x)
        for (int y = 0; y < (B.exit[0] == B.exit[1] ? 1 : 2); ++y)
            least =
                std::min(least, A.toExit[x] + B.toExit[y] + landmarkBound(A.exit[x], B.exit[y]));
    return least;
}

bool Graph::onCycleAsShortAs(const CHalfEdge* h, int length)
{
    const Vertex* source = sourceOf(h);
    const int i = preparedIndex(source);
    if (i < 0)
        return true;
    for (int k = 0; k < source->outgoing.count; ++k)
        if (source->outgoing.items[k] == h)
            return shortestCycleAt(firstOutgoing[std::size_t(i)] + k) <= length;
    return true;
}

bool Graph::passed(const Vertex* v, int depth) const
{
    const int i = preparedIndex(v);
    if (i >= 0)
        return searchNodes[std::size_t(i)].onPath;
    for (int k = 0; k <= depth; ++k)
        if (path.items[k] != nullptr && path.items[k]->target == v)
            return true;
    return false;
}

void Graph::setCycleLength(int length)
{
    if (preparedNodes != vertices.count || preparedHalfEdges != halfEdges.count)
        prepareSearch();
    cycleLength = length;
    scanPosition = 0;
    path.removeAll();
    for (int i = 0; i < length; ++i)
        path.append(nullptr);
}

bool Graph::nextCycles(Kor::List<Cycle>& batch)
{
    batch.removeAll();
    while (batch.count == 0 && scanPosition < halfEdges.count && !searchCut) {
        CHalfEdge* h = halfEdges.items[scanPosition];
        // Short lengths find the faces of most nets before measuring a
        // piece's shortest cycle pays.
        const int slot =
            preparedHalfEdges == halfEdges.count ? startSlot[std::size_t(scanPosition)] : -1;
        const bool onShortCycle =
            cycleLength < kMeasuredFrom || h->next != nullptr ||
            (slot >= 0 ? shortestCycleAt(slot) <= cycleLength : onCycleAsShortAs(h, cycleLength));
        if (h->next == nullptr && !h->dangling && onShortCycle) {
            startVertex = sourceOf(h);
            findCycle(0, h, &batch);
        }
        ++scanPosition;
    }
    // The marks only tell the search what it found; nothing judged later
    // rests on them.
    for (const Cycle& c : batch)
        for (int i = 0; i < c.count; ++i) {
            c.items[i]->used = false;
            if (c.items[i]->twin != nullptr)
                c.items[i]->twin->twinMarked = false;
        }
    return batch.count > 0;
}

void Graph::findCycle(int depth, CHalfEdge* h, Kor::List<Cycle>* found)
{
    if (stepsLeft == 0) {
        searchCut = true;
        return;
    }
    if (stepsLeft > 0)
        --stepsLeft;
    const int n = cycleLength;
    if (depth >= n || depth < 0 || h == nullptr)
        return;
    path.items[depth] = h;
    Vertex* at = h->target;
    // A walk back at its start has closed, whatever its length.
    if (depth >= n - 1 || at == nullptr || at == startVertex || passed(at, depth - 1))
        return;

    const int slot = preparedIndex(at);
    if (slot >= 0)
        searchNodes[std::size_t(slot)].onPath = true;
    const Kor::SubSet<CHalfEdge>& leaving = at->outgoing;
    const bool measuring = slot >= 0 && n >= kMeasuredFrom;
    for (int k = 0; k < leaving.count && !searchCut; ++k) {
        CHalfEdge* e = leaving.items[k];
        if (e == nullptr || e == h->twin || e->next != nullptr || e->target == nullptr ||
            e->dangling || (measuring && shortestCycleAt(firstOutgoing[std::size_t(slot)] + k) > n))
            continue;
        if (e->target != startVertex) {
            // Passing a node twice would also walk a piece twice or turn
            // back; the node must leave room to come back in time.
            if (depth + 3 <= n && !passed(e->target, depth) &&
                depth + 2 + piecesAtLeast(e->target, startVertex) <= n)
                findCycle(depth + 1, e, found);
            continue;
        }
        // e closes the walk; only a walk of exactly n half-edges is a cycle.
        path.items[depth + 1] = e;
        if (depth + 1 != n - 1 || found == nullptr)
            continue;
        // Keeping the walk is a step for each of its half-edges; a bounded
        // batch holds at most as many walks as the graph has half-edges.
        if (stepsLeft >= 0 && (stepsLeft < n || found->count >= halfEdges.count)) {
            stepsLeft = 0;
            searchCut = true;
            break;
        }
        if (stepsLeft > 0)
            stepsLeft -= n;
        Cycle cycle;
        for (int i = 0; i < n; ++i)
            cycle.append(path.items[i]);
        markCycleUsed(cycle);
        if (cycleTwinsFree(cycle)) {
            markCycleTwins(cycle);
            cycle.freeTwins = true;
        }
        found->append(cycle);
    }
    if (slot >= 0)
        searchNodes[std::size_t(slot)].onPath = false;
}

void Graph::linkReversedCycle(Cycle& c)
{
    const int n = c.count;
    for (int i = 0; i < n; ++i) {
        CHalfEdge* twin = c.items[i]->twin;
        if (twin != nullptr)
            twin->next = c.items[(i + n - 1) % n]->twin;
    }
}

void markCycleUsed(const Cycle& c)
{
    for (int i = 0; i < c.count; ++i)
        if (c.items[i] != nullptr)
            c.items[i]->used = true;
}

void markCycleTwins(const Cycle& c)
{
    for (int i = 0; i < c.count; ++i)
        if (c.items[i] != nullptr && c.items[i]->twin != nullptr)
            c.items[i]->twin->twinMarked = true;
}

bool cycleTwinsFree(const Cycle& c)
{
    for (int i = 0; i < c.count; ++i)
        if (c.items[i] != nullptr && c.items[i]->twin != nullptr &&
            c.items[i]->twin->next != nullptr)
            return false;
    return true;
}

void linkCycle(const Cycle& c)
{
    const int m = c.count;
    for (int i = 0; i < m; ++i) {
        CHalfEdge* h = c.items[i];
        h->next = c.items[(i + 1) % m];
        CHalfEdge* twin = h->twin;
        if (twin == nullptr)
            continue;
        if (twin->next != nullptr)
            h->kind = twin->kind = 2;
        else
            twin->kind = 3;
    }
}

Vertex* CHalfEdge::setTarget(Vertex* v)
{
    if (v == nullptr)
        std::cout << "CHalfEdge::setting target to NULL" << std::endl;
    target = v;
    return v;
}

CHalfEdge* CHalfEdge::clone() const
{
    auto* copy = new CHalfEdge(*this);
    copy->setTarget(target != nullptr ? target->clone() : nullptr);
    return copy;
}

void Vertex::addOutgoing(CHalfEdge* h)
{
    addUniqueIndex(outgoing, h);
}

} // namespace GraphAlgorithm
