// GraphAlgorithm::Graph: the half-edge graph of the poly-line net, built for
// one topology step. Its nodes are the junctions of the grid, its edges the
// pieces of poly-lines between consecutive junctions, one half-edge in each
// direction. The topology step orders each node's pieces round it as the
// drawing shows them and links the walks round the regions of the drawing
// (linkRegionWalks), the pieces that hang off the net left out
// (markDanglingPieces).
//
// The graph also holds a search for closed cycles of a given length,
// shortest lengths first; a half-edge that an accepted cycle linked (its
// `next` set) is no longer free, so short cycles claim their half-edges
// before longer ones that would enclose them. A walk passes each node once,
// and the search does not follow a walk that can no longer come back to
// its start within the length sought, nor over a piece that lies on no
// cycle that short (see piecesAtLeast and onCycleAsShortAs).
//
// Also here: the marking and linking of found cycles (markCycleUsed,
// markCycleTwins, cycleTwinsFree, linkCycle).
//
// Ownership: the graph owns its nodes and half-edges and deletes them when
// destroyed; cycles only refer to half-edges, so a batch of cycles must not
// outlive its graph. Thread-safety: none; one graph serves one thread.
#pragma once

#include "foundation/KorList.h"
#include "foundation/KorSet.h"
#include "foundation/KorSubSet.h"
#include "net/GraphRecords.h"

#include <functional>
#include <vector>

class COffset_PointList;

namespace GraphAlgorithm {

class Graph {
public:
    Kor::Set<Vertex> vertices;             // owned, ordered by Vertex::isLess
    Kor::Set<CHalfEdge> halfEdges;         // owned, ordered by target, poly-line, source, entries
    Kor::List<Kor::Set<int>> vertexGroups; // left empty by the topology step
    int cycleLength = 0;                   // the length L being searched
    int scanPosition = 0;                  // next start half-edge in halfEdges
    Vertex* startVertex = nullptr;         // source of the current start half-edge
    Kor::SubSet<CHalfEdge> path;           // L slots of the walk being searched
    long stepsLeft = -1;                   // search steps still allowed; negative: no bound
    bool searchCut = false;                // a step was refused: the search is cut short

    Graph() = default;
    virtual ~Graph();
    Graph(const Graph&) = delete;
    Graph& operator=(const Graph&) = delete;

    // Adds the edge a-b along the poly-line as the half-edges a->b and b->a
    // (each the other's twin). a and b (new nodes, handed over) are replaced
    // by the graph's nodes at the same positions when there are such; a node
    // that was already there is kept and the new one deleted. A half-edge
    // equal to one already in the set (the same piece seen twice) is deleted
    // and the present one kept. a->b joins a's outgoing half-edges, b->a b's.
    // aEntry and bEntry are the poly-line's entries at a and b (-1: not
    // known); a->b runs from aEntry to bEntry, b->a back. polyLineRank is
    // the poly-line's place in the grid's list (see CHalfEdge).
    void addEdge(Vertex* a, Vertex* b, COffset_PointList* polyLine, int aEntry = -1,
                 int bEntry = -1, int polyLineRank = -1);

    // The node of the set equal to v (v itself is then not taken), else v,
    // inserted.
    Vertex* findOrAddVertex(Vertex* v);

    // Marks both half-edges of every piece that lies on no cycle of the
    // pieces not marked yet: a piece that parts the net in two where it is
    // taken out. That is a spur, branched or not, a tree of them, and the
    // stick between two parts of the net (a ring at the end of a spur, or
    // at the end of a stroke from a side of the net). Such a piece closes
    // nothing: the regions are walked without it, and a part it held to
    // the rest lies inside the region around it. A piece from a node to
    // itself lies on its own cycle. The number of pieces marked.
    int markDanglingPieces();

    // Links the half-edges of the pieces that do not hang off the net into
    // the walks round the regions of the net's drawing: each half-edge's
    // next is, at its target, the half-edge leaving there that comes first
    // clockwise from its twin, each node's half-edges put in order
    // counter-clockwise by `orderRound` (they come to it by creation). So
    // the region lies on the left of every half-edge of its walk, which
    // passes a node once for each time the region touches it (a ring
    // touching the region's side at a node, two rings meeting at one).
    // Every other next is emptied and every kind set to 0.
    void linkRegionWalks(const std::function<void(std::vector<CHalfEdge*>&)>& orderRound);
    // The closed walks linkRegionWalks linked, each once, from its first
    // half-edge in the set's order on, in that order.
    std::vector<Cycle> regionWalks() const;

    // Sets the sought length L, restarts the scan at the first half-edge and
    // makes the path L empty slots.
    void setCycleLength(int length);

    // Empties the batch, then scans the half-edges from the scan position on
    // until a free one (no next) starts at least one closed walk of exactly L
    // half-edges; every such walk goes into the batch. A half-edge whose
    // piece lies on no cycle as short as L is passed over. Successive calls
    // go on where the last stopped. True while the batch holds a cycle. Once
    // the steps run out the batch keeps the walks found so far, and later
    // calls find none.
    bool nextCycles(Kor::List<Cycle>& batch);

    // One level of the search: puts h into the path at `depth` and walks on
    // over the free outgoing half-edges of h's target that do not turn back,
    // lie on some cycle as short as L and lead to a node the walk has not
    // passed, from which the start node may still be reached within L
    // half-edges in all. A walk that returns
    // to the start node after exactly L half-edges is appended to `found`,
    // with its free-twins flag set when every twin along it is free; a walk
    // that meets the start node earlier ends there. The caller sets L and
    // the start node (the source of h) and calls with depth 0. Each call is
    // one step, and each walk kept L more. With the steps bounded, a call or
    // a walk the steps left cannot pay for, or a walk beyond as many in
    // `found` as the graph has half-edges, sets searchCut and ends the
    // search.
    void findCycle(int depth, CHalfEdge* h, Kor::List<Cycle>* found);

    // Links the reversed walk of c: for every position i of the n half-edges,
    // next(twin(c[i])) := twin(c[(i - 1) mod n]).
    void linkReversedCycle(Cycle& c);

    // A lower bound on the number of pieces of any walk from a to b: a
    // number larger than any cycle length when they lie in parts of the
    // graph no piece joins, 0 for a node the search was not prepared for.
    // Distances to a few landmark nodes of the part bound the distance
    // between two nodes from below (by the most by which theirs differ);
    // a node on a chain (a run of nodes with two pieces each, as on a side
    // drawn in several strokes) is left through one of the chain's two
    // ends, so its bound adds its way to that end, or counts along the
    // chain when both nodes lie on it.
    int piecesAtLeast(const Vertex* a, const Vertex* b) const;

    // Whether h's piece may lie on a cycle of `length` pieces: false when
    // the shortest cycle along it, over all pieces, is longer (true for a
    // half-edge the search was not prepared for).
    bool onCycleAsShortAs(const CHalfEdge* h, int length);

    int vertexCount() const { return vertices.count; }

private:
    // Numbers the nodes (Vertex::index: their place in `vertices`), finds
    // the parts, their landmarks and chains, once for the graph as it
    // stands; setCycleLength calls it when nodes or half-edges were added
    // since.
    void prepareSearch();
    // The landmark part of piecesAtLeast, for the nodes numbered i and j of
    // one part.
    int landmarkBound(int i, int j) const;
    // The search's view of the graph of the chains' ends, for measuring the
    // shortest cycles along pieces (shortestCycleAt) when asked.
    void prepareShortestCycles();
    // The fewest pieces of a cycle along the piece of a node's outgoing
    // half-edge (its slot: firstOutgoing of the node + its place in
    // `outgoing`), over all pieces, claimed or free, or kMeasuredCycles + 1
    // when that is more. Measured once, on the graph of the chains' ends.
    int shortestCycleAt(int slot);
    // Whether node v is a target of the walk's first depth + 1 half-edges.
    bool passed(const Vertex* v, int depth) const;
    // The number of a node prepared for the search, else -1.
    int preparedIndex(const Vertex* v) const;

    // What the search knows of a node.
    struct SearchNode {
        int part = -1;        // the least node number of its part
        int chain = -1;       // the chain it lies inside, or -1
        int along = 0;        // pieces from the chain's first end (on a ring, from a node of it)
        int chainLength = 0;  // pieces of the chain, or of the ring
        int exit[2] = {0, 0}; // the chain's two ends (the node itself off a chain; -1 on a ring)
        int toExit[2] = {0, 0};
        bool onPath = false; // a target of the walk so far
    };
    static constexpr int kLandmarks = 8;
    // Cycles up to this length are measured; below kMeasuredFrom the search
    // does not ask (most nets' faces are found there before it would pay).
    static constexpr int kMeasuredCycles = 32;
    static constexpr int kMeasuredFrom = 5;
    int preparedNodes = -1;
    int preparedHalfEdges = -1;
    std::vector<SearchNode> searchNodes;
    std::vector<int> landmarkDistance; // per node, kLandmarks distances in pieces

    // A step of the graph of the chains' ends: a piece (either of its
    // half-edges) or a whole chain, as long as the pieces it takes.
    struct Arc {
        int to = -1;
        int length = 0;
        int chain = -1;
        const CHalfEdge* piece = nullptr;
    };
    // The shortest way from `from` to `to` without the arc `without`, or
    // limit + 1 when it is longer.
    int shortestWay(int from, int to, const Arc& without, int limit);
    std::vector<int> firstOutgoing; // per node, its first slot
    std::vector<int> slotTarget;    // per slot, the node its half-edge leads to, or -1
    std::vector<int> slotNode;      // per slot, its node
    std::vector<Arc> arcs;          // per slot of a node off chains
    std::vector<int> shortestCycle; // per slot; -1 until measured
    std::vector<int> chainCycle;    // per chain; -1 until measured
    std::vector<int> chainArc;      // per chain, a slot whose arc takes it; -1 for a ring
    std::vector<int> startSlot;     // per half-edge in the order of halfEdges
    std::vector<int> distance, reached;
    std::vector<std::vector<int>> buckets;
};

// Used mark on every half-edge of the cycle.
void markCycleUsed(const Cycle& c);
// Twin mark on the twin of every half-edge of the cycle.
void markCycleTwins(const Cycle& c);
// True when no half-edge of the cycle has a twin that lies on a cycle (also
// for an empty cycle).
bool cycleTwinsFree(const Cycle& c);
// Links the cycle forward, next(c[i]) := c[(i + 1) mod m]; a half-edge whose
// twin already has a next gets kind 2 with its twin, otherwise the twin gets
// kind 3.
void linkCycle(const Cycle& c);

} // namespace GraphAlgorithm
