// The records of the poly-line graph that the net's topology step builds and
// that every face loop keeps a copy of: the node (GraphAlgorithm::Vertex and
// _CVertex, which wraps one grid point), the half-edge
// (GraphAlgorithm::CHalfEdge) and the cycle of half-edges around a region
// (GraphAlgorithm::Cycle).
//
// Ownership: a node does not own its outgoing half-edges; a half-edge does
// not own its target, twin, neighbours or poly-line; a cycle does not own its
// half-edges. Whoever builds a graph (or a loop's copy of a cycle) releases
// what it made. A _CVertex does not own its grid point.
// Thread-safety: plain records; one graph serves one thread.
#pragma once

#include "foundation/CreationOrder.h"
#include "foundation/KorSubSet.h"
#include "foundation/Vertex.h"

#include <cstdint>

class COffset_PointList;

namespace GraphAlgorithm {

class CHalfEdge;

class Vertex {
public:
    Kor::SubSet<CHalfEdge> outgoing; // not owned
    int index = -1;
    const CreationOrder creation; // the node's identity in orders and ids

    Vertex() = default;
    virtual ~Vertex() = default;
    Vertex(const Vertex&) = delete;
    Vertex& operator=(const Vertex&) = delete;

    // A new node of the same kind standing for the same thing, with no
    // outgoing half-edges and index -1; owned by the caller.
    virtual Vertex* clone() const { return new Vertex(); }
    // Order of nodes; the base orders by creation (the order of `creation`).
    virtual bool isLess(const Vertex& other) const;
    // Writes the node's point into out; a node without a point leaves it.
    virtual void getPoint(CVertex<float, 3>& out) const;
    // The node's identity: the base node's creation number.
    virtual std::intptr_t getId() const;

    // Appends h to the outgoing half-edges unless it is there already.
    void addOutgoing(CHalfEdge* h);
};

class CHalfEdge {
public:
    int kind = 0; // 2: this and its twin lie on accepted cycles; 3: only the twin does
    bool twinMarked = false;
    bool used = false;
    // The piece hangs off the net (see Graph::markDanglingPieces): it lies
    // on no cycle and bounds no region.
    bool dangling = false;
    Vertex* target = nullptr;
    void* extra = nullptr; // copied with the half-edge; no meaning of its own
    CHalfEdge* next = nullptr;
    CHalfEdge* twin = nullptr;
    CHalfEdge* previous = nullptr;
    COffset_PointList* polyLine = nullptr; // the poly-line of the piece
    // The entries of the poly-line at the piece's source and target: the
    // piece runs over the entries between them. A point the poly-line passes
    // twice (a ring that returns to its first point) has two entries, and
    // only these tell which run is the piece's. -1 when not known.
    int sourceEntry = -1;
    int targetEntry = -1;
    // The poly-line's place in the grid's list (-1: not known), by which the
    // graph orders the pieces of different poly-lines: the net as it stands
    // decides the order of the cycle search, not the order in which its
    // poly-lines were once made.
    int polyLineRank = -1;
    // The half-edge's identity in the graph's order; a copy has its own.
    CreationOrder creation;

    CHalfEdge() = default;
    CHalfEdge(const CHalfEdge&) = default;
    CHalfEdge& operator=(const CHalfEdge&) = default;
    virtual ~CHalfEdge() = default;

    // Stores v as the target and returns it; a null target is reported
    // ("CHalfEdge::setting target to NULL").
    Vertex* setTarget(Vertex* v);
    // A new half-edge with every member copied and, as its target, a copy of
    // this one's target node (see Vertex::clone); owned by the caller, who
    // owns the new target node as well.
    CHalfEdge* clone() const;
};

// The half-edges of one cycle in order (not owned) and whether every twin
// was free when the cycle was found.
class Cycle : public Kor::SubSet<CHalfEdge> {
public:
    bool freeTwins = false;
};

} // namespace GraphAlgorithm

// A node that wraps one grid point of the net.
class _CVertex : public GraphAlgorithm::Vertex {
public:
    CVertex<float, 3>* point; // not owned

    explicit _CVertex(CVertex<float, 3>* p = nullptr) : point(p) {}

    // A new _CVertex of the same grid point.
    GraphAlgorithm::Vertex* clone() const override { return new _CVertex(point); }
    // The wrapped points compared exactly by x, then y, then z. A node
    // without a point (or another kind of node) orders by creation.
    bool isLess(const GraphAlgorithm::Vertex& other) const override;
    void getPoint(CVertex<float, 3>& out) const override;
    // The grid point's serial number when the point is a grid point, else
    // the point's address taken as a number.
    std::intptr_t getId() const override;
};
