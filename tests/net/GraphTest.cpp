// The half-edge graph of the poly-line net: the cycle search, the linking of
// found cycles with the kinds it leaves on the twins, the face test on nodes
// that are no grid points, and a loop's own copy of a cycle.
#include "net/Graph.h"
#include "net/FaceRecords.h"
#include "net/Topology.h"

#include "support/TestMeshes.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>
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

// The search leaves a walk only where it cannot close at the length
// sought: the bound on the pieces between two nodes is never more than
// their distance, and a piece is passed over at a length only when the
// shortest cycle along it is longer (which the search measures exactly).
// Against breadth-first distances, on a grid whose columns are drawn in
// strokes, with a piece that ends nowhere, three pieces between two nodes
// and one from a node to itself, beside a ring and a lone piece that no
// piece joins to the rest.
TEST(Graph, SearchBoundsNeverExceedDistancesInTheGraph)
{
    std::deque<Point> points;
    const auto at = [&](float x, float y) { return &points.emplace_back(x, y, 0.f); };
    Graph g;
    Point* grid[4][3];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 3; ++j)
            grid[i][j] = at(float(i), float(j));
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 3; ++j) {
            if (i + 1 < 4)
                addEdge(g, grid[i][j], grid[i + 1][j]);
            if (j + 1 < 3) {
                Point* last = grid[i][j];
                for (int m = 1; m <= 3; ++m) {
                    Point* next = m == 3 ? grid[i][j + 1] : at(float(i), float(j) + m / 3.f);
                    addEdge(g, last, next);
                    last = next;
                }
            }
        }
    addEdge(g, grid[3][2], at(5, 3));
    Point* p = at(-2, 0);
    for (int k = 0; k < 3; ++k)
        g.addEdge(new _CVertex(grid[0][0]), new _CVertex(p), nullptr, 0, k);
    g.addEdge(new _CVertex(p), new _CVertex(p), nullptr, 1, 2);
    std::vector<Point*> ring;
    for (int k = 0; k < 7; ++k)
        ring.push_back(at(20.f + k, 20.f + k % 2));
    for (int k = 0; k < 7; ++k)
        addEdge(g, ring[k], ring[(k + 1) % 7]);
    addEdge(g, at(30, 0), at(31, 0));
    g.setCycleLength(4);

    // Breadth first from a node, over all half-edges but the piece of `without`.
    const auto distances = [&](const Vertex* from, const CHalfEdge* without) {
        std::map<const Vertex*, int> d{{from, 0}};
        std::vector<const Vertex*> queue{from};
        for (std::size_t k = 0; k < queue.size(); ++k)
            for (int i = 0; i < queue[k]->outgoing.count; ++i)
                if (const CHalfEdge* e = queue[k]->outgoing[i];
                    e != without && e->twin != without &&
                    d.emplace(e->target, d[queue[k]] + 1).second)
                    queue.push_back(e->target);
        return d;
    };
    for (int i = 0; i < g.vertices.count; ++i) {
        const Vertex* a = g.vertices[i];
        const auto d = distances(a, nullptr);
        for (int j = 0; j < g.vertices.count; ++j) {
            const Vertex* b = g.vertices[j];
            const auto found = d.find(b);
            if (found == d.end())
                EXPECT_GT(g.piecesAtLeast(a, b), 24);
            else
                EXPECT_LE(g.piecesAtLeast(a, b), found->second);
        }
    }
    int onNoCycle = 0;
    std::vector<bool> onNone;
    for (int i = 0; i < g.halfEdges.count; ++i) {
        const CHalfEdge* h = g.halfEdges[i];
        const Vertex* source = h->twin->target;
        const auto d = distances(h->target, h);
        const auto back = d.find(source);
        const int shortest = source == h->target ? 1 : back != d.end() ? back->second + 1 : 99;
        onNone.push_back(shortest > 24);
        if (shortest > 24) {
            EXPECT_FALSE(g.onCycleAsShortAs(h, 24));
            ++onNoCycle;
            continue;
        }
        EXPECT_TRUE(g.onCycleAsShortAs(h, shortest));
        EXPECT_FALSE(g.onCycleAsShortAs(h, shortest - 1)) << shortest;
    }
    EXPECT_EQ(onNoCycle, 4); // the piece that ends nowhere and the lone one
    // The pieces that hang off the net are those on no cycle, the piece from
    // a node to itself not among them.
    EXPECT_EQ(g.markDanglingPieces(), 2);
    for (int i = 0; i < g.halfEdges.count; ++i)
        EXPECT_EQ(g.halfEdges[i]->dangling, bool(onNone[std::size_t(i)])) << i;
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
