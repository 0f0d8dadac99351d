#include "net/Graph.h"

#include "mesh/MeshGeometry.h"
#include "net/PointList.h"

#include <iostream>

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
// the same order. Then the entries of the two ends, which keep apart the
// pieces of a poly-line that runs between the same two nodes more than
// once. The two half-edges of a piece that starts and ends at one node
// without known entries have equal keys; their own creation keeps them
// apart, so neither is taken for a copy of the other.
bool lessHalfEdge(const CHalfEdge* a, const CHalfEdge* b)
{
    if (a->target != b->target)
        return lessByCreation(a->target, b->target);
    if (a->polyLine != b->polyLine)
        return lessByCreation(a->polyLine, b->polyLine);
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

void Graph::addEdge(Vertex* a, Vertex* b, COffset_PointList* polyLine, int aEntry, int bEntry)
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

void Graph::setCycleLength(int length)
{
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
        if (h->next == nullptr) {
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
    if (depth >= n - 1 || h->target == nullptr)
        return;

    // A piece may be walked once only, in either direction.
    auto pieceOnPath = [&](const CHalfEdge* e) {
        for (int k = 0; k <= depth; ++k)
            if (path.items[k] == e || path.items[k] == e->twin)
                return true;
        return false;
    };

    const Kor::SubSet<CHalfEdge>& leaving = h->target->outgoing;
    for (int k = 0; k < leaving.count && !searchCut; ++k) {
        CHalfEdge* e = leaving.items[k];
        if (e == nullptr || e == h->twin || e->next != nullptr || pieceOnPath(e))
            continue;
        if (e->target != startVertex) {
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
            return;
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
