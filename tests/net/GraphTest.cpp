// The half-edge graph of the poly-line net: the cycle search, the linking of
// found cycles with the kinds it leaves on the twins, the face test on nodes
// that are no grid points, and a loop's own copy of a cycle.
#include "net/Graph.h"
#include "net/FaceRecords.h"
#include "net/Topology.h"

#include "support/TestMeshes.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using GraphAlgorithm::CHalfEdge;
using GraphAlgorithm::Cycle;
using GraphAlgorithm::Graph;
using GraphAlgorithm::Vertex;
using Point = CVertex<float, 3>;

// The graph's node at p's position.
Vertex* nodeAt(Graph& g, Point* p)
{
    auto* probe = new _CVertex(p);
    Vertex* node = g.findOrAddVertex(probe);
    if (node != probe)
        delete probe;
    return node;
}

// The half-edge from a's node to b's node.
CHalfEdge* halfEdge(Graph& g, Point* a, Point* b)
{
    Vertex* from = nodeAt(g, a);
    Vertex* to = nodeAt(g, b);
    for (int i = 0; i < from->outgoing.count; ++i)
        if (from->outgoing[i]->target == to)
            return from->outgoing[i];
    return nullptr;
}

void addEdge(Graph& g, Point* a, Point* b)
{
    g.addEdge(new _CVertex(a), new _CVertex(b), nullptr);
}

// The square A B C D with the diagonal A C; C's half-edge back to A comes
// before the one to D, so a walk from A over B meets A again too early.
struct DiagonalSquare {
    Point A{0, 0, 0}, B{1, 0, 0}, C{1, 1, 0}, D{0, 1, 0};
    Graph g;
    DiagonalSquare()
    {
        addEdge(g, &A, &B);
        addEdge(g, &B, &C);
        addEdge(g, &C, &A);
        addEdge(g, &C, &D);
        addEdge(g, &D, &A);
    }
    // Every closed walk of `length` half-edges that starts with a->b.
    Kor::List<Cycle> walksFrom(Point* a, Point* b, int length)
    {
        g.setCycleLength(length);
        g.startVertex = nodeAt(g, a);
        Kor::List<Cycle> found;
        g.findCycle(0, halfEdge(g, a, b), &found);
        return found;
    }
};

TEST(Graph, CycleSearchFindsWalksOfExactlyTheSoughtLength)
{
    DiagonalSquare s;
    EXPECT_EQ(s.g.vertexCount(), 4);
    EXPECT_EQ(s.g.halfEdges.count, 10);

    // Length 3 from A->B: the triangle A B C only, in that direction.
    Kor::List<Cycle> triangles = s.walksFrom(&s.A, &s.B, 3);
    ASSERT_EQ(triangles.count, 1);
    const Cycle& abc = triangles[0];
    EXPECT_EQ(abc[1], halfEdge(s.g, &s.B, &s.C));
    EXPECT_EQ(abc[2], halfEdge(s.g, &s.C, &s.A));
    EXPECT_TRUE(abc.freeTwins);

    // Length 4: C->A closes too early and is passed over; C->D goes on.
    Kor::List<Cycle> squares = s.walksFrom(&s.A, &s.B, 4);
    ASSERT_EQ(squares.count, 1);
    EXPECT_EQ(squares[0][2], halfEdge(s.g, &s.C, &s.D));
    EXPECT_EQ(squares[0][3], halfEdge(s.g, &s.D, &s.A));

    // Nodes that are no grid points are no face.
    bool bad = false;
    const Kor::List<COffset_PointList*> none;
    EXPECT_EQ(mwtest::capturedStdout([&] { EXPECT_EQ(getOrientation(abc, none, bad), -1); }),
              "runtime cast failed!   aborting the loop \n");
    EXPECT_TRUE(bad);

    // Linking A B C leaves the opposite half-edges free with kind 3.
    GraphAlgorithm::linkCycle(abc);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(abc[i]->next, abc[(i + 1) % 3]);
        EXPECT_EQ(abc[i]->kind, 0);
        EXPECT_EQ(abc[i]->twin->next, nullptr);
        EXPECT_EQ(abc[i]->twin->kind, 3);
    }
    // The neighbour A C D turns the shared diagonal to kind 2 on both sides.
    // From A->C both triangles close: A C D, and A C B against A B C.
    Kor::List<Cycle> fromAC = s.walksFrom(&s.A, &s.C, 3);
    ASSERT_EQ(fromAC.count, 2);
    const Cycle& acd = fromAC[fromAC[0][1] == halfEdge(s.g, &s.C, &s.D) ? 0 : 1];
    EXPECT_EQ(acd[1], halfEdge(s.g, &s.C, &s.D));
    EXPECT_FALSE(acd.freeTwins); // C->A lies on A B C
    GraphAlgorithm::linkCycle(acd);
    EXPECT_EQ(halfEdge(s.g, &s.A, &s.C)->kind, 2);
    EXPECT_EQ(halfEdge(s.g, &s.C, &s.A)->kind, 2);
    EXPECT_EQ(halfEdge(s.g, &s.D, &s.C)->kind, 3);

    // Linked half-edges are taken: with both directions of the diagonal
    // linked, no triangle is left to find.
    Kor::List<Cycle> batch;
    s.g.setCycleLength(3);
    EXPECT_FALSE(s.g.nextCycles(batch));
}

// The two half-edges of a piece from one node to itself have equal keys in
// the half-edge set; both stay, each the other's twin. A piece seen twice
// between two nodes is one edge.
TEST(Graph, SelfPointingEdgeKeepsBothHalfEdges)
{
    Point a(1, 2, 3), sameSpot(1, 2, 3), b(0, 0, 0);
    Graph g;
    addEdge(g, &a, &sameSpot);
    ASSERT_EQ(g.vertexCount(), 1);
    ASSERT_EQ(g.halfEdges.count, 2);
    EXPECT_EQ(g.halfEdges[0]->twin, g.halfEdges[1]);
    EXPECT_EQ(g.halfEdges[1]->twin, g.halfEdges[0]);
    addEdge(g, &a, &b);
    addEdge(g, &b, &a);
    EXPECT_EQ(g.halfEdges.count, 4);
}

TEST(Graph, LoopCopiesItsCycleWithoutPointersIntoTheGraph)
{
    GB::Loop loop;
    std::vector<Point*> corners;
    {
        DiagonalSquare s;
        Kor::List<Cycle> found = s.walksFrom(&s.A, &s.B, 4);
        ASSERT_EQ(found.count, 1);
        loop.setCycle(found[0]);
        for (int i = 0; i < 4; ++i)
            corners.push_back(static_cast<_CVertex*>(found[0][i]->target)->point);
    } // the graph is gone; the copies keep their own nodes of the same points
    ASSERT_EQ(loop.getCycleLength(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(loop.cycle[i]->twin, nullptr);
        EXPECT_EQ(loop.cycle[i]->next, loop.cycle[(i + 1) % 4]);
        EXPECT_EQ(loop.cycle[i]->previous, loop.cycle[(i + 3) % 4]);
        EXPECT_EQ(static_cast<_CVertex*>(loop.cycle[i]->target)->point, corners[i]);
        EXPECT_EQ(loop.cycle[i]->target->outgoing.count, 0);
    }

    // A cycle of one half-edge is its own next and previous.
    Point p(0, 0, 0);
    _CVertex node(&p);
    CHalfEdge single;
    single.target = &node;
    Cycle one;
    one.append(&single);
    loop.setCycle(one);
    ASSERT_EQ(loop.getCycleLength(), 1);
    EXPECT_EQ(loop.cycle[0]->next, loop.cycle[0]);
    EXPECT_EQ(loop.cycle[0]->previous, loop.cycle[0]);
    EXPECT_EQ(mwtest::capturedStdout([&] { single.setTarget(nullptr); }),
              "CHalfEdge::setting target to NULL\n");
}

} // namespace
