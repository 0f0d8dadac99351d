#pragma once
// The boundary of a mesh as curves: the boundary edges of the mesh's edge
// table (records with one facet) are chained into loops, straightest
// continuation first where loops touch, and every loop becomes a closed
// degree-1 curve, optionally split at its corners.
//
// Ownership: the boundary edge list holds copies of the mesh's edge records
// (their mark is the chaining's used flag; the mesh's own records are never
// marked); the loops point into that list. Curves appended to a caller's
// list are new objects owned by the caller.
// Thread-safety: the operations build the mesh's topology when it has none;
// one caller per mesh.

#include "foundation/KorList.h"
#include "mesh/BaseMesh.h"

namespace Fenwo {
class NurbsSurf;
}

using BoundaryEdgeList = Kor::List<Mesh::CBaseMesh::CPolygonEdge>;
// Edges in walking order: each edge starts where the previous one ends.
using BoundaryLoop = Kor::List<const Mesh::CBaseMesh::CPolygonEdge*>;
using BoundaryLoopList = Kor::List<BoundaryLoop>;

// Builds the mesh's topology when it has no edge table, copies every
// boundary edge (first facet set, second facet -1) into edges and chains
// them into loops (chainBoundaryEdges). True, also when there is no
// boundary (loops empty then); false for a null mesh.
bool collectBoundaryLoops(Mesh::CBaseMesh* mesh, BoundaryEdgeList& edges, BoundaryLoopList& loops);

// Sorts the edges by start vertex and walks them into loops: from the first
// unused edge, each step takes among the edges leaving the current edge's
// end the one whose direction is closest to the current edge's (the first
// found on a tie). A loop closes when the chosen edge ends at the loop's
// start (the edge is taken into the loop) or was used already; loops of more
// than 2 edges are kept. A boundary that touches itself in a vertex thus
// gives two loops when a walk starts there, and one through that vertex
// when it starts elsewhere. A walk that reaches a vertex without a leaving
// edge is dropped. False (no loops) when there are no edges.
bool chainBoundaryEdges(BoundaryEdgeList& edges, BoundaryLoopList& loops, Mesh::CBaseMesh* mesh);

// Appends one curve per boundary loop of at least 3 edges: the clamped
// degree-1 curve through the loop's vertices, its first vertex repeated at
// its end for a closed loop; with split, instead, the pieces of
// boundaryLoopToCurves at 60 degrees. True when the curve list is not empty
// afterwards.
bool meshBoundaryToCurves(Mesh::CBaseMesh* mesh, Kor::List<Fenwo::NurbsSurf*>& curves, bool split);

// A surface's boundary passes each of its vertices once, or a few times
// where it touches itself (the real meshes' boundaries: 1.4 times at most on
// average). One that passes them more often than this on average is no
// surface's, and its walks compare every edge leaving a vertex at each
// step.
inline constexpr int kMostBoundaryPasses = 64;

// meshBoundaryToCurves without split, as a mesh's outline draws the
// boundary, given up where the boundary is no surface's: when the walks'
// steps would compare more than kMostBoundaryPasses edges per boundary edge
// on average (the steps reaching a vertex compare the edges leaving it), or
// when the loops outnumber maxLoops (maxLoops <= 0: no bound). Given up, it
// prints one line saying why, appends nothing and returns false; otherwise
// it appends the curves and returns true (also when there is no boundary).
bool meshBoundaryToCurvesWithin(Mesh::CBaseMesh* mesh, Kor::List<Fenwo::NurbsSurf*>& curves,
                                int maxLoops);
